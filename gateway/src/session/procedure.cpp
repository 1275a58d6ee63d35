// procedure.cpp - the catalog procedure table, procedure names, and the arguments of calls.
//
// Serves the session's procedure calls (language and remote), USE PROCEDURE, and the catalog
// procedures. Arguments are split at commas outside quotes and parentheses, catalog procedure
// arguments go by position or by @name, and a stored request's text is rewritten only outside its
// string literals and delimited identifiers. Invariant: a reference to an argument that was not
// given is an error, never an empty substitution; a value a client sent enters SQL only as a
// parameter or through the quoting helper.
#include "procedure.h"
#include "common/text.h"

#include <array>
#include <cctype>

#include <fmt/format.h>

#include "dialect/names.h"

namespace gw::session {
namespace {

// The catalog procedures and their parameters, in the order a call gives them by position.
constexpr std::string_view kTablesParameters[] = {"table_name", "table_owner", "table_qualifier",
                                                  "table_type"};
constexpr std::string_view kColumnsParameters[] = {"table_name", "table_owner", "table_qualifier",
                                                   "column_name"};
constexpr std::string_view kStatisticsParameters[] = {"table_name", "table_owner", "table_qualifier",
                                                      "index_name", "is_unique",   "accuracy"};
constexpr std::string_view kSpecialColumnsParameters[] = {"table_name", "table_owner", "table_qualifier",
                                                          "col_type",   "scope",       "nullable"};
constexpr std::string_view kSprocColumnsParameters[] = {"procedure_name", "procedure_owner",
                                                        "procedure_qualifier", "column_name"};
constexpr std::string_view kStoredProceduresParameters[] = {"sp_name", "sp_owner", "sp_qualifier"};
constexpr std::string_view kDatatypeInfoParameters[] = {"data_type"};
constexpr std::string_view kServerInfoParameters[] = {"attribute_id"};
constexpr std::string_view kPkeysParameters[] = {"table_name", "table_owner", "table_qualifier"};
constexpr std::string_view kFkeysParameters[] = {"pktable_name", "pktable_owner", "pktable_qualifier",
                                                 "fktable_name", "fktable_owner", "fktable_qualifier"};

constexpr std::array<CatalogProcedure, 10> kCatalogProcedures = {{
    {"sp_tables", kTablesParameters, "kwgw.sp_tables"},
    {"sp_columns", kColumnsParameters, "kwgw.sp_columns"},
    {"sp_statistics", kStatisticsParameters, "kwgw.sp_statistics"},
    {"sp_special_columns", kSpecialColumnsParameters, "kwgw.sp_special_columns"},
    {"sp_sproc_columns", kSprocColumnsParameters, "kwgw.sp_sproc_columns"},
    {"sp_stored_procedures", kStoredProceduresParameters, "kwgw.sp_stored_procedures"},
    {"sp_datatype_info", kDatatypeInfoParameters, "kwgw.sp_datatype_info"},
    {"sp_server_info", kServerInfoParameters, "kwgw.sp_server_info"},
    {"sp_pkeys", kPkeysParameters, "kwgw.sp_pkeys"},
    {"sp_fkeys", kFkeysParameters, "kwgw.sp_fkeys"},
}};

// Every procedure is answered by the kwgw function of its own name.
constexpr bool answeredByItsOwnFunction() {
    for (const CatalogProcedure& p : kCatalogProcedures) {
        if (p.function.substr(0, 5) != "kwgw." || p.function.substr(5) != p.name || p.parameters.empty()) {
            return false;
        }
    }
    return true;
}
static_assert(answeredByItsOwnFunction());

// Other names a procedure's parameter is called by.
struct ParameterAlias {
    std::string_view procedure;
    std::string_view alias;
    std::string_view parameter;
};
constexpr ParameterAlias kParameterAliases[] = {
    {"sp_special_columns", "qualifier", "table_qualifier"},  // FreeTDS ODBC's SQLSpecialColumns
};

// Every alias stands for a parameter its procedure has.
constexpr bool aliasesNameParameters() {
    for (const ParameterAlias& alias : kParameterAliases) {
        bool found = false;
        for (const CatalogProcedure& p : kCatalogProcedures) {
            for (std::string_view parameter : p.parameters) {
                found = found || (p.name == alias.procedure && parameter == alias.parameter);
            }
        }
        if (!found) {
            return false;
        }
    }
    return true;
}
static_assert(aliasesNameParameters());

// Parameters some clients add to every catalog call (ODBC's version, pattern matching on or off),
// which change nothing here.
constexpr std::string_view kIgnoredParameters[] = {"odbcver", "fusepattern"};

// The procedures whose Sybase and Microsoft forms take the client's ODBC version right after their
// last parameter. jTDS gives it by position (`sp_columns ?, ?, ?, ?, ?` with 3 last); like
// @ODBCVer by name, it changes nothing here.
constexpr std::string_view kTrailingOdbcVersion[] = {"sp_columns", "sp_sproc_columns", "sp_special_columns",
                                                     "sp_datatype_info"};

// Every procedure that takes a trailing ODBC version is in the table.
constexpr bool trailingOdbcVersionsNameProcedures() {
    for (std::string_view name : kTrailingOdbcVersion) {
        bool found = false;
        for (const CatalogProcedure& p : kCatalogProcedures) {
            found = found || p.name == name;
        }
        if (!found) {
            return false;
        }
    }
    return true;
}
static_assert(trailingOdbcVersionsNameProcedures());

bool isNameChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '#' || c == '@' || c == '$';
}

size_t skipSpace(std::string_view s, size_t i) {
    while (i < s.size() && isSpace(s[i])) {
        ++i;
    }
    return i;
}

size_t skipQuoted(std::string_view s, size_t i) {
    char q = s[i];
    for (++i; i < s.size(); ++i) {
        if (s[i] == q) {
            if (i + 1 < s.size() && s[i + 1] == q) {
                ++i;
                continue;
            }
            return i + 1;
        }
    }
    return s.size();
}

// A DB2 name at s[i]: "delimited" (taken as written) or ordinary (folded to upper case).
// Returns the end, or i when there is no name.
size_t readName(std::string_view s, size_t i, std::string& out) {
    if (i < s.size() && s[i] == '"') {
        size_t end = skipQuoted(s, i);
        std::string inner;
        for (size_t k = i + 1; k + 1 < end; ++k) {
            inner.push_back(s[k]);
            if (s[k] == '"') {
                ++k;
            }
        }
        out = inner;
        return end;
    }
    size_t j = i;
    while (j < s.size() && isNameChar(s[j])) {
        ++j;
    }
    out = upper(s.substr(i, j - i));
    return j;
}

// Splits at commas outside quotes and parentheses.
std::vector<std::string_view> splitArguments(std::string_view s) {
    std::vector<std::string_view> out;
    size_t start = 0;
    int depth = 0;
    size_t i = 0;
    while (i < s.size()) {
        char c = s[i];
        if (c == '\'' || c == '"') {
            i = skipQuoted(s, i);
            continue;
        }
        if (c == '(') {
            ++depth;
        } else if (c == ')' && depth > 0) {
            --depth;
        } else if (c == ',' && depth == 0) {
            out.push_back(trim(s.substr(start, i - start)));
            start = i + 1;
        }
        ++i;
    }
    out.push_back(trim(s.substr(start)));
    return out;
}

std::optional<ArgumentError> addArgument(std::string_view arg, ProcedureCall& call) {
    if (arg.empty() || arg[0] != '&') {
        if (!call.named.empty()) {
            return ArgumentError{fmt::format("POSITIONAL ARGUMENT {} FOLLOWS A NAMED ONE", arg)};
        }
        call.positional.emplace_back(arg.empty() ? std::string_view("NULL") : arg);
        return std::nullopt;
    }
    size_t j = 1;
    while (j < arg.size() && isNameChar(arg[j])) {
        ++j;
    }
    std::string name = upper(arg.substr(1, j - 1));
    size_t eq = skipSpace(arg, j);
    if (name.empty() || eq >= arg.size() || arg[eq] != '=') {
        return ArgumentError{fmt::format("ARGUMENT {} HAS NO VALUE", arg)};
    }
    std::string_view value = trim(arg.substr(eq + 1));
    if (value.empty()) {
        return ArgumentError{fmt::format("ARGUMENT &{} HAS NO VALUE", name)};
    }
    call.named.emplace_back(name, std::string(value));
    return std::nullopt;
}

std::optional<std::string_view> namedValue(const ProcedureCall& call, std::string_view name) {
    for (const auto& [n, v] : call.named) {
        if (n == name) {
            return v;
        }
    }
    return std::nullopt;
}

// One catalog procedure argument: empty or an unquoted NULL is "not given", a quoted one is
// taken as written, an unquoted one is a DB2 name and folded to upper case.
std::optional<std::string> catalogValue(std::string_view arg) {
    if (arg.empty() || upper(arg) == "NULL") {
        return std::nullopt;
    }
    if (arg.front() != '\'' && arg.front() != '"') {
        return upper(arg);
    }
    std::string inner;
    size_t end = skipQuoted(arg, 0);
    for (size_t k = 1; k + 1 < end; ++k) {
        inner.push_back(arg[k]);
        if (arg[k] == arg.front()) {
            ++k;
        }
    }
    return inner;
}

// One part of a qualified procedure name at s[i]: a "quoted" name ("" inside stands for one
// quote), a [bracketed] one, or a run of name characters (possibly empty). Returns its end, or npos
// when a delimited part has no closing quote.
size_t readNamePart(std::string_view s, size_t i, std::string& out, bool& delimited) {
    delimited = i < s.size() && (s[i] == '"' || s[i] == '[');
    if (!delimited) {
        size_t j = i;
        while (j < s.size() && isNameChar(s[j])) {
            ++j;
        }
        out = std::string(s.substr(i, j - i));
        return j;
    }
    char close = s[i] == '[' ? ']' : '"';
    for (size_t k = i + 1; k < s.size(); ++k) {
        if (s[k] != close) {
            out.push_back(s[k]);
        } else if (close == '"' && k + 1 < s.size() && s[k + 1] == '"') {
            out.push_back('"');
            ++k;
        } else {
            return k + 1;
        }
    }
    return std::string_view::npos;
}

// A number as the parameter reader writes one: an optional sign, digits, an optional fraction and
// exponent. Anything else (inf, nan) enters SQL as a string.
bool isPlainNumber(std::string_view s) {
    size_t i = 0;
    auto digits = [&] {
        size_t from = i;
        while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) {
            ++i;
        }
        return i > from;
    };
    if (i < s.size() && s[i] == '-') {
        ++i;
    }
    if (!digits()) {
        return false;
    }
    if (i < s.size() && s[i] == '.') {
        ++i;
        if (!digits()) {
            return false;
        }
    }
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
            ++i;
        }
        if (!digits()) {
            return false;
        }
    }
    return i == s.size();
}

// Whether a positional argument at `slot` is the ODBC version some clients add after the last
// parameter: a number (or nothing) one past the end of a procedure that takes one there.
bool trailingOdbcVersion(const CatalogProcedure& procedure, size_t slot,
                         const std::optional<std::string>& value) {
    if (slot != procedure.parameters.size() || (value && !isPlainNumber(*value))) {
        return false;
    }
    for (std::string_view name : kTrailingOdbcVersion) {
        if (name == procedure.name) {
            return true;
        }
    }
    return false;
}

bool ignoredParameter(std::string_view name) {
    for (std::string_view ignored : kIgnoredParameters) {
        if (equalsIgnoreCase(ignored, name)) {
            return true;
        }
    }
    return false;
}

// The position of the parameter `name` (upper case, or an alias of it), or the parameter count.
size_t parameterSlot(const CatalogProcedure& procedure, std::string_view name) {
    for (const ParameterAlias& alias : kParameterAliases) {
        if (alias.procedure == procedure.name && equalsIgnoreCase(alias.alias, name)) {
            name = alias.parameter;
        }
    }
    for (size_t k = 0; k < procedure.parameters.size(); ++k) {
        if (equalsIgnoreCase(procedure.parameters[k], name)) {
            return k;
        }
    }
    return procedure.parameters.size();
}

}  // namespace

std::variant<ProcedureCall, ArgumentError> parseUseProcedure(std::string_view text) {
    ProcedureCall call;
    size_t i = skipSpace(text, 0);
    std::string first;
    i = skipSpace(text, readName(text, i, first));
    if (i < text.size() && text[i] == '.') {
        call.owner = first;
        i = skipSpace(text, i + 1);
        i = skipSpace(text, readName(text, i, first));
    }
    call.name = first;
    if (call.name.empty()) {
        return ArgumentError{"USE PROCEDURE NAMES NO STORED REQUEST"};
    }
    if (i < text.size() && text[i] == ';') {  // group number
        i = skipSpace(text, i + 1);
        while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
            ++i;
        }
    }
    std::string_view args = trim(text.substr(i));
    if (args.empty()) {
        return call;
    }
    for (std::string_view arg : splitArguments(args)) {
        if (auto err = addArgument(arg, call)) {
            return *err;
        }
    }
    return call;
}

std::variant<std::string, ArgumentError> substituteArguments(std::string_view text,
                                                             const ProcedureCall& call) {
    std::string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        char c = text[i];
        if (c == '\'' || c == '"') {
            size_t end = skipQuoted(text, i);
            out.append(text.substr(i, end - i));
            i = end;
            continue;
        }
        bool reference = c == '&' && i + 1 < text.size() &&
                         (std::isalnum(static_cast<unsigned char>(text[i + 1])) || text[i + 1] == '_');
        if (!reference) {
            out.push_back(c);
            ++i;
            continue;
        }
        size_t j = i + 1;
        while (j < text.size() && isNameChar(text[j])) {
            ++j;
        }
        std::string name = upper(text.substr(i + 1, j - i - 1));
        bool numeric = std::isdigit(static_cast<unsigned char>(name[0])) != 0;
        std::optional<std::string_view> value;
        if (numeric) {
            size_t n = static_cast<size_t>(std::strtoul(name.c_str(), nullptr, 10));
            if (n >= 1 && n <= call.positional.size() &&
                name.find_first_not_of("0123456789") == std::string::npos) {
                value = call.positional[n - 1];
            }
        } else {
            value = namedValue(call, name);
        }
        if (!value) {
            return ArgumentError{
                fmt::format("STORED REQUEST {} USES ARGUMENT &{}, WHICH WAS NOT GIVEN", call.name, name)};
        }
        out.append(*value);
        i = j;
    }
    return out;
}

const CatalogProcedure* findCatalogProcedure(std::string_view name) {
    for (const CatalogProcedure& p : kCatalogProcedures) {
        if (equalsIgnoreCase(p.name, name)) {
            return &p;
        }
    }
    return nullptr;
}

std::span<const CatalogProcedure> catalogProcedures() {
    return kCatalogProcedures;
}

std::string catalogStatement(const CatalogProcedure& procedure) {
    std::string args;
    for (size_t i = 1; i <= procedure.parameters.size(); ++i) {
        args += fmt::format("{}${}", i > 1 ? ", " : "", i);
    }
    return fmt::format("SELECT * FROM {}({})", procedure.function, args);
}

std::variant<ProcedureName, ArgumentError> parseProcedureName(std::string_view text, size_t& end) {
    struct Part {
        std::string text;
        bool delimited = false;
    };
    std::vector<Part> parts;
    size_t i = skipSpace(text, 0);
    for (;;) {
        Part part;
        size_t next = readNamePart(text, i, part.text, part.delimited);
        if (next == std::string_view::npos) {
            return ArgumentError{"A DELIMITED PART OF THE PROCEDURE NAME HAS NO CLOSING QUOTE"};
        }
        parts.push_back(std::move(part));
        i = next;
        if (i >= text.size() || text[i] != '.') {
            break;
        }
        if (parts.size() == 3) {
            return ArgumentError{"A PROCEDURE NAME HAS AT MOST A DATABASE AND AN OWNER BEFORE IT"};
        }
        ++i;
    }
    if (parts.back().text.empty()) {
        return ArgumentError{"THE CALL NAMES NO PROCEDURE"};
    }
    auto db2Name = [](const Part& p) { return p.delimited ? p.text : upper(p.text); };
    ProcedureName name;
    name.name = db2Name(parts.back());
    if (parts.size() >= 2) {
        const Part& owner = parts[parts.size() - 2];
        name.owner = db2Name(owner);
        if (!owner.delimited && name.owner == "DBO") {
            name.owner.clear();
        }
    }
    if (parts.size() == 3) {
        name.database = parts[0].text;
    }
    end = i;
    return name;
}

std::variant<CallArguments, ArgumentError> languageArguments(std::string_view text) {
    CallArguments out;
    if (trim(text).empty()) {
        return out;
    }
    for (std::string_view arg : splitArguments(text)) {
        CallArgument a;
        a.written = std::string(arg);
        if (!arg.empty() && arg.front() == '@') {
            size_t j = 1;
            while (j < arg.size() && isNameChar(arg[j])) {
                ++j;
            }
            a.name = upper(arg.substr(1, j - 1));
            size_t eq = skipSpace(arg, j);
            if (a.name.empty() || eq >= arg.size() || arg[eq] != '=') {
                return ArgumentError{fmt::format("ARGUMENT @{} HAS NO VALUE", a.name)};
            }
            arg = trim(arg.substr(eq + 1));
        }
        a.value = catalogValue(arg);
        a.literal = arg.empty() ? std::string("NULL") : std::string(arg);
        out.push_back(std::move(a));
    }
    return out;
}

CallArguments rpcArguments(const tds::ParamSet& params) {
    CallArguments out;
    for (size_t i = 0; i < params.formats.size() && i < params.values.size(); ++i) {
        const tds::ParamDescription& d = params.formats[i];
        CallArgument a;
        std::string_view name = d.name;
        if (!name.empty() && name.front() == '@') {
            name.remove_prefix(1);
        }
        a.name = upper(name);
        a.value = params.values[i];
        if (!a.value) {
            a.literal = "NULL";
        } else if (tds::numericParam(d) && isPlainNumber(*a.value)) {
            a.literal = *a.value;
        } else {
            a.literal = dialect::quoteLiteral(*a.value);
        }
        a.written = a.name.empty() ? a.literal : fmt::format("@{} = {}", a.name, a.literal);
        out.push_back(std::move(a));
    }
    return out;
}

std::variant<CatalogArguments, ArgumentError> bindCatalogArguments(const CatalogProcedure& procedure,
                                                                   const CallArguments& arguments) {
    CatalogArguments out(procedure.parameters.size());
    std::vector<bool> given(procedure.parameters.size(), false);
    bool sawNamed = false;
    size_t position = 0;
    for (const CallArgument& arg : arguments) {
        size_t slot = position;
        if (!arg.name.empty()) {
            sawNamed = true;
            if (ignoredParameter(arg.name)) {
                continue;
            }
            slot = parameterSlot(procedure, arg.name);
            if (slot == procedure.parameters.size()) {
                return ArgumentError{fmt::format("@{} IS NOT A PARAMETER OF THIS PROCEDURE", arg.name)};
            }
        } else if (sawNamed) {
            return ArgumentError{fmt::format("POSITIONAL ARGUMENT {} FOLLOWS A NAMED ONE", arg.written)};
        } else if (trailingOdbcVersion(procedure, position++, arg.value)) {
            continue;
        }
        if (slot >= procedure.parameters.size()) {
            return ArgumentError{
                fmt::format("THE PROCEDURE TAKES AT MOST {} ARGUMENTS", procedure.parameters.size())};
        }
        if (given[slot]) {
            return ArgumentError{fmt::format("@{} IS GIVEN TWICE", upper(procedure.parameters[slot]))};
        }
        given[slot] = true;
        out[slot] = arg.value;
    }
    return out;
}

std::variant<ProcedureCall, ArgumentError> storedRequestCall(const ProcedureName& name,
                                                             const CallArguments& arguments) {
    ProcedureCall call;
    call.owner = name.owner;
    call.name = name.name;
    for (const CallArgument& arg : arguments) {
        if (arg.name.empty()) {
            if (!call.named.empty()) {
                return ArgumentError{fmt::format("POSITIONAL ARGUMENT {} FOLLOWS A NAMED ONE", arg.written)};
            }
            call.positional.push_back(arg.literal);
            continue;
        }
        if (namedValue(call, arg.name)) {
            return ArgumentError{fmt::format("ARGUMENT &{} IS GIVEN TWICE", arg.name)};
        }
        call.named.emplace_back(arg.name, arg.literal);
    }
    return call;
}

std::variant<CatalogArguments, ArgumentError> catalogArguments(std::string_view text,
                                                               const CatalogProcedure& procedure) {
    auto arguments = languageArguments(text);
    if (auto* error = std::get_if<ArgumentError>(&arguments)) {
        return *error;
    }
    return bindCatalogArguments(procedure, std::get<CallArguments>(arguments));
}

}  // namespace gw::session
