// dialect.h - DB2 SQL to PostgreSQL SQL, for one statement at a time.
//
// The session layer splits a batch into statements, recognises the gateway's own commands, and
// hands every other statement to translate(). The dialect layer knows no sockets and no libpq:
// it rewrites text (identifiers, DDL clauses, types, literals, GRANT/REVOKE, CURRENT DATE) and
// refuses what DB2 would refuse before PostgreSQL could see it (names too long: -107).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace gw::dialect {

// What the translation of one statement may depend on.
struct Context {
    std::string authId;  // the session's DB2 authorization id (current SQLID), upper case
};

// A statement refused before it reached PostgreSQL.
struct Error {
    int sqlcode = 0;      // DB2 SQLCODE, for example -107
    std::string message;  // DB2-style text, for example "EMPLOYEE_NUMBER_LONG IS TOO LONG"
};

// The PostgreSQL statements that carry out one DB2 statement, run in this order inside one
// savepoint: `setup` (results discarded), then `statement` (its result is the client's), then
// `after` (results discarded). A failure anywhere fails the DB2 statement.
struct Plan {
    std::vector<std::string> setup;
    std::string statement;
    std::vector<std::string> after;
    std::optional<Error> error;  // set: nothing is run and this is reported
};

Plan translate(std::string_view db2Statement, const Context& context);

// The DB2 name of a PostgreSQL name: ASCII letters swap case (so "emp" is EMP and "EMP" is emp).
std::string db2Name(std::string_view pgName);
// The PostgreSQL name of a DB2 name (the same swap).
std::string pgName(std::string_view db2Name);

// The label a result column gets on the wire: the DB2 name of the PostgreSQL column name, or an
// empty label for a derived column PostgreSQL named itself ("?column?").
std::string resultLabel(std::string_view pgColumnName);

// The PostgreSQL role of a DB2 authorization id as a login names it (any case): the id is folded
// to upper case, as DB2 does, then mapped with pgName, which makes it lower case.
std::string roleForLogin(std::string_view loginName);

}  // namespace gw::dialect
