// failure.h - a DB2 statement refused before PostgreSQL sees it.
//
// The lexer, the name rules and the statement translators throw Failure with DB2's SQLCODE and
// message text; translate() catches it and answers it as the plan's error, so no exception leaves
// the dialect layer. The message is what DB2 would print after "ERROR:" for that SQLCODE.
#pragma once

#include <string>
#include <string_view>
#include <utility>

namespace gw::dialect {

struct Failure {
    int sqlcode;
    std::string message;
};

// -104: the statement has a symbol where DB2 does not accept one.
inline Failure illegalSymbol(std::string_view symbol) {
    return Failure{-104, "ILLEGAL SYMBOL \"" + std::string(symbol) + "\"."};
}

// -084: a statement DB2 knows but this gateway does not carry out.
inline Failure unacceptableStatement(std::string_view what) {
    return Failure{-84, "UNACCEPTABLE SQL STATEMENT: " + std::string(what)};
}

}  // namespace gw::dialect
