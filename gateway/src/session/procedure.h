// procedure.h - the arguments of stored requests and catalog procedures.
//
// parseUseProcedure reads `[owner.]name[;n] arguments` as the driver sends it (it may have
// blanked the owner, the point and the group number, so blanks may stand anywhere there);
// substituteArguments puts the arguments (SQL literals) in place of &1, &2 ... and &NAME in a
// stored request's text; catalogArguments reads the comma-separated names of sp_pkeys and
// sp_fkeys. Every failure is a message for the client, never a crash.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace gw::session {

struct ProcedureCall {
    std::string owner;                                       // DB2 name, empty when not given
    std::string name;                                        // DB2 name of the stored request
    std::vector<std::string> positional;                     // literals, in order
    std::vector<std::pair<std::string, std::string>> named;  // NAME (upper case), literal
};

struct ArgumentError {
    std::string message;  // DB2-style text
};

std::variant<ProcedureCall, ArgumentError> parseUseProcedure(std::string_view text);

// The request text with every &n and &NAME outside quotes replaced by its argument.
std::variant<std::string, ArgumentError> substituteArguments(std::string_view text,
                                                             const ProcedureCall& call);

// The arguments of a catalog procedure: an empty one is NULL, a quoted one is taken as written,
// an unquoted one is a DB2 name and folded to upper case.
std::vector<std::optional<std::string>> catalogArguments(std::string_view text);

}  // namespace gw::session
