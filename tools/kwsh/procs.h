// procs.h - the shell's stored request and view text commands: \requests, \request, \call, \dv.
//
// Serves the command table. Each command asks the driver as the host's painters do: the stored
// request list (request 73), one request's text (74), a procedure run with one result set of it
// made current (75) and a view's text (97). Whatever the driver hands back is freed here.
#pragma once

#include <optional>
#include <string>

namespace kwsh {

class Shell;

// A \call line taken apart: the statement to run and the result set to show (1 = the first that
// returns rows). A last word "#N" chooses the result set; a statement that does not start with
// EXECUTE or USE PROCEDURE gets "USE PROCEDURE " put in front. Answers nothing (and says why in
// `error`) for an empty statement or a result set that is no number.
struct ProcedureCall {
    std::string statement;
    int32_t resultSet = 1;
};
std::optional<ProcedureCall> parseProcedureCall(const std::string& text, std::string& error);

// A text the driver answered with CR LF line ends, with LF line ends and no last line end.
std::string plainLines(const char* text);

// \requests: the stored requests of the stored request owner (the profile's StoredReqOwner).
bool listStoredRequestsCommand(Shell& shell);
// \request NAME: a stored request's text.
bool showStoredRequestCommand(Shell& shell, const std::string& name);
// \call PROCEDURE [ARGS] [#N]: runs a procedure or stored request and prints one result set.
bool callProcedureCommand(Shell& shell, const std::string& text);
// \dv VIEW: the text of a view ("owner.view", or a view of the login user).
bool viewTextCommand(Shell& shell, const std::string& view);

}  // namespace kwsh
