// sqltext.cpp - statement builders for calls of the kwgw routines.
//
// The one place where a call's text is put together, so that every argument goes through the
// quoting helpers of names.h.
#include "sqltext.h"

#include "names.h"

namespace gw::dialect {
namespace {

std::string joined(const std::vector<std::string>& items) {
    std::string out;
    for (const std::string& item : items) {
        if (!out.empty()) {
            out += ", ";
        }
        out += item;
    }
    return out;
}

}  // namespace

std::string selectCall(std::string_view routine, const std::vector<std::string>& args) {
    return "SELECT " + std::string(routine) + "(" + joined(args) + ")";
}

std::string procedureCall(std::string_view routine, const std::vector<std::string>& args) {
    return "CALL " + std::string(routine) + "(" + joined(args) + ")";
}

std::string literalOrNull(std::string_view text) {
    return text.empty() ? "NULL" : quoteLiteral(text);
}

std::string textArray(const std::vector<std::string>& items) {
    std::vector<std::string> quoted;
    for (const std::string& item : items) {
        quoted.push_back(quoteLiteral(item));
    }
    return "ARRAY[" + joined(quoted) + "]";
}

}  // namespace gw::dialect
