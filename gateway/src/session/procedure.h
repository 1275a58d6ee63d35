// procedure.h - the procedures a client can call, and the arguments of stored requests and
// catalog procedures.
//
// One table, kCatalogProcedures, names every catalog procedure with its parameters in order and
// the SQL function that answers it; language calls (`sp_pkeys emp, joe`, `exec db..sp_x @a = 1`)
// and remote procedure calls both reach it. parseUseProcedure reads `[owner.]name[;n] arguments`
// as the driver sends it (it may have blanked the owner, the point and the group number, so
// blanks may stand anywhere there); substituteArguments puts the arguments (SQL literals) in place
// of &1, &2 ... and &NAME in a stored request's text. Every failure is a message for the client,
// never a crash.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "protocol/dynamic.h"

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

// A catalog procedure: its name as clients call it, its parameters (without the @) in call order,
// and the SQL function that answers it, called with one text argument per parameter.
struct CatalogProcedure {
    std::string_view name;
    std::span<const std::string_view> parameters;
    std::string_view function;
};

// The catalog procedure called `name` (any case), or nullptr.
const CatalogProcedure* findCatalogProcedure(std::string_view name);
// Every catalog procedure, in table order.
std::span<const CatalogProcedure> catalogProcedures();
// SELECT * FROM <function>($1, ..., $n), the statement that answers a call of `procedure`.
std::string catalogStatement(const CatalogProcedure& procedure);

// A procedure's name as a call gives it: [database.[owner].]name, each part a word, a "quoted"
// name or a [bracketed] one.
struct ProcedureName {
    std::string database;  // as written (quotes removed), empty when not given
    std::string owner;     // DB2 name, empty when not given or given as dbo
    std::string name;      // DB2 name: upper case unless it was delimited
};

// Reads the procedure name at the start of `text` (after blanks); `end` is set after it.
std::variant<ProcedureName, ArgumentError> parseProcedureName(std::string_view text, size_t& end);

// One argument of a call, in both forms a procedure may take it.
struct CallArgument {
    std::string name;                  // the parameter's name without @, upper case; empty by position
    std::optional<std::string> value;  // for a catalog procedure: the text, nullopt when not given
    std::string literal;               // for a stored request: an SQL literal (NULL when not given)
    std::string written;               // how the call wrote it, for messages
};
using CallArguments = std::vector<CallArgument>;

// The arguments of a language call: comma-separated, by position or as `@name = value`. An empty
// argument or an unquoted NULL is not given, a quoted one ('x' or "x") is taken as written, an
// unquoted one is a DB2 name and folded to upper case; as literals they stay as written.
std::variant<CallArguments, ArgumentError> languageArguments(std::string_view text);

// The arguments of a remote procedure call: an unnamed parameter by position, `@name` by name;
// values as sent (NULL is not given); literals quoted, except numbers sent as numbers.
CallArguments rpcArguments(const tds::ParamSet& params);

// One value per parameter of `procedure`. Positional arguments come first; @ODBCVer and
// @fUsePattern are accepted and ignored, and a procedure's aliases stand for their parameter. Too
// many arguments, an unknown or repeated name, or a positional argument after a named one is an
// error.
std::variant<CatalogArguments, ArgumentError> bindCatalogArguments(const CatalogProcedure& procedure,
                                                                   const CallArguments& arguments);

// The call of the stored request `name` with `arguments` (&1.. by position, &NAME by name).
// A positional argument after a named one, or a name given twice, is an error.
std::variant<ProcedureCall, ArgumentError> storedRequestCall(const ProcedureName& name,
                                                             const CallArguments& arguments);

// The arguments of a language call of a catalog procedure, bound to its parameters.
std::variant<CatalogArguments, ArgumentError> catalogArguments(std::string_view text,
                                                               const CatalogProcedure& procedure);

}  // namespace gw::session
