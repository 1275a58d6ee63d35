// expr.h - rewriting DB2 SQL text (queries, DML, expressions) into PostgreSQL SQL.
//
// Serves SELECT, INSERT, UPDATE, DELETE and the expressions inside DDL (view bodies, defaults,
// check conditions). Names follow the case-swap rule; CURRENT DATE / TIME / TIMESTAMP, USER and
// the other special registers become PostgreSQL expressions; DB2 scalar functions become calls of
// kwgw_fn; DB2 date, time and timestamp string constants that stand where a datetime value is
// compared or assigned become typed literals. Aggregates and constants get DB2's types (COUNT and
// SUM of integers INTEGER, 1.5 DECIMAL(2,1), 1E3 FLOAT), and in a query's own select list a
// string constant is a VARCHAR of its length and a derived column without a name gets none.
// Everything else is copied as written.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "lexer.h"

namespace gw::dialect {

enum class RewriteMode {
    Dml,        // a query or DML statement, or an expression: everything above applies
    NamesOnly,  // a statement the dialect does not know: only names are mapped and checked
};

// Rewrites tokens[begin, end). Throws Failure (-107 for a name that is too long).
std::string rewriteSql(const std::vector<Token>& tokens, std::size_t begin, std::size_t end,
                       RewriteMode mode);

// The typed form of a string constant that is a DB2 time, timestamp or date in a form PostgreSQL
// does not read ('7.43.54', '2001-3-5-7.43.54.000120', '5.3.2001', '3/5/2001'), or "" for any
// other string constant. The argument is the token, quotes included.
std::string datetimeLiteral(std::string_view stringToken);

// The ISO form PostgreSQL reads of a value in one of those DB2 forms ('7.43.54' is 7:43:54,
// '2001-3-5-7.43.54.000120' is 2001-3-5 7:43:54.000120, '5.3.2001' and '3/5/2001' are 2001-3-5),
// or "" for any other text. For the values of parameters PostgreSQL takes as dates and times.
std::string isoDatetime(std::string_view value);

}  // namespace gw::dialect
