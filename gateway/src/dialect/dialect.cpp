// dialect.cpp - first version: statements pass through unchanged; only names are mapped.
#include "dialect.h"

#include <cctype>

namespace gw::dialect {

std::string db2Name(std::string_view pg) {
    std::string out(pg);
    for (char& c : out) {
        unsigned char u = static_cast<unsigned char>(c);
        if (std::islower(u)) {
            c = static_cast<char>(std::toupper(u));
        } else if (std::isupper(u)) {
            c = static_cast<char>(std::tolower(u));
        }
    }
    return out;
}

std::string pgName(std::string_view db2) { return db2Name(db2); }

std::string resultLabel(std::string_view pgColumnName) {
    if (pgColumnName == "?column?") {
        return {};
    }
    return db2Name(pgColumnName);
}

std::string roleForLogin(std::string_view loginName) {
    std::string upper(loginName);
    for (char& c : upper) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return pgName(upper);
}

Plan translate(std::string_view db2Statement, const Context&) {
    Plan plan;
    plan.statement = std::string(db2Statement);
    return plan;
}

}  // namespace gw::dialect
