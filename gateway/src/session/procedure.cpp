// procedure.cpp - stored request calls and catalog procedure arguments.
//
// Serves the session's USE PROCEDURE, sp_pkeys and sp_fkeys. Arguments are split at commas
// outside quotes and parentheses, catalog procedure arguments go by position or by @name, and a
// stored request's text is rewritten only outside its string literals and delimited identifiers.
// Invariant: a reference to an argument that was not given is an error, never an empty
// substitution.
#include "procedure.h"
#include "common/text.h"

#include <cctype>

#include <fmt/format.h>

namespace gw::session {
namespace {

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

std::variant<CatalogArguments, ArgumentError> catalogArguments(std::string_view text,
                                                               std::span<const std::string_view> parameters) {
    CatalogArguments out(parameters.size());
    std::vector<bool> given(parameters.size(), false);
    if (trim(text).empty()) {
        return out;
    }
    bool sawNamed = false;
    size_t position = 0;
    for (std::string_view arg : splitArguments(text)) {
        size_t slot = position;
        if (!arg.empty() && arg.front() == '@') {
            size_t j = 1;
            while (j < arg.size() && isNameChar(arg[j])) {
                ++j;
            }
            std::string name = upper(arg.substr(1, j - 1));
            size_t eq = skipSpace(arg, j);
            if (eq >= arg.size() || arg[eq] != '=') {
                return ArgumentError{fmt::format("ARGUMENT @{} HAS NO VALUE", name)};
            }
            slot = parameters.size();
            for (size_t k = 0; k < parameters.size(); ++k) {
                if (upper(parameters[k]) == name) {
                    slot = k;
                }
            }
            if (slot == parameters.size()) {
                return ArgumentError{fmt::format("@{} IS NOT A PARAMETER OF THIS PROCEDURE", name)};
            }
            arg = trim(arg.substr(eq + 1));
            sawNamed = true;
        } else if (sawNamed) {
            return ArgumentError{fmt::format("POSITIONAL ARGUMENT {} FOLLOWS A NAMED ONE", arg)};
        } else {
            ++position;
        }
        if (slot >= parameters.size()) {
            return ArgumentError{fmt::format("THE PROCEDURE TAKES AT MOST {} ARGUMENTS", parameters.size())};
        }
        if (given[slot]) {
            return ArgumentError{fmt::format("@{} IS GIVEN TWICE", upper(parameters[slot]))};
        }
        given[slot] = true;
        out[slot] = catalogValue(arg);
    }
    return out;
}

}  // namespace gw::session
