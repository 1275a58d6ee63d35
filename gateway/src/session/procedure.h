// procedure.h - the arguments of stored requests and catalog procedures.
//
// parseUseProcedure reads `[owner.]name[;n] arguments` as the driver sends it (it may have
// blanked the owner, the point and the group number, so blanks may stand anywhere there);
// substituteArguments puts the arguments (SQL literals) in place of &1, &2 ... and &NAME in a
// stored request's text; catalogArguments reads the names given to sp_pkeys and sp_fkeys, by
// position or as @parameter = value. Every failure is a message for the client, never a crash.
#pragma once

#include <optional>
#include <span>
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

// One value per parameter of a catalog procedure; nullopt stands for "not given".
using CatalogArguments = std::vector<std::optional<std::string>>;

// The arguments of a catalog procedure whose parameters are named `parameters` (without the @),
// given by position (comma-separated, an empty one skipped) or as `@name = value` after them. An
// empty argument or an unquoted NULL is not given, a quoted one ('x' or "x") is taken as written,
// an unquoted one is a DB2 name and folded to upper case. Too many arguments, an unknown or
// repeated name, or a positional argument after a named one is an error.
std::variant<CatalogArguments, ArgumentError> catalogArguments(std::string_view text,
                                                               std::span<const std::string_view> parameters);

}  // namespace gw::session
