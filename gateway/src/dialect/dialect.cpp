// dialect.cpp - translate(): one DB2 statement to the PostgreSQL plan that carries it out.
//
// Tokenizes the statement, refuses a second statement glued on after a ;, and hands it by its
// leading keyword to the DDL, GRANT / REVOKE or expression translators; statements it does not know
// pass with their names mapped. Every refusal (a Failure, or anything unexpected) becomes the
// plan's error, so nothing escapes to the session. Also the name mappings of the session contract.
#include "dialect.h"

#include <exception>

#include "cursor.h"
#include "ddl.h"
#include "expr.h"
#include "failure.h"
#include "grants.h"
#include "lexer.h"
#include "names.h"

namespace gw::dialect {
namespace {

// Statements whose text is a query or DML, rewritten in full.
constexpr std::string_view kDmlKeywords[] = {"SELECT", "INSERT", "UPDATE",  "DELETE", "VALUES",
                                             "WITH",   "LOCK",   "EXPLAIN", "DECLARE"};

// Other DB2 statements that pass with their names mapped (SET here is SET CURRENT ...; the
// session answers every other SET itself).
constexpr std::string_view kOtherDb2Keywords[] = {"COMMENT", "LABEL", "SET", "CALL"};

// DB2 statements this gateway does not carry out: it keeps the unit of work and a savepoint per
// statement itself, so none of these may reach PostgreSQL.
constexpr std::string_view kUnacceptableKeywords[] = {"SAVEPOINT", "RELEASE", "ROLLBACK", "COMMIT"};

// One statement only: a ; may end it, nothing may follow.
void refuseTrailingStatement(const std::vector<Token>& tokens) {
    bool sawSemicolon = false;
    for (const Token& t : tokens) {
        if (!isSignificant(t)) {
            continue;
        }
        if (sawSemicolon) {
            throw illegalSymbol(t.text);
        }
        sawSemicolon = t.kind == TokenKind::Operator && t.text == ";";
    }
}

bool isDml(const Cursor& cursor) {
    if (cursor.isOperator("(")) {
        return true;
    }
    for (std::string_view keyword : kDmlKeywords) {
        if (cursor.isKeyword(keyword)) {
            return true;
        }
    }
    return false;
}

// Refuses a statement that is not DB2's as DB2 does (-104 at its first word), and a DB2
// transaction statement the gateway does not carry out (-084). PostgreSQL's own statements, such
// as BEGIN, START TRANSACTION, END or ABORT, would otherwise open or end a unit of work the
// session does not know about.
void refuseNonDb2(const Cursor& cursor) {
    for (std::string_view keyword : kOtherDb2Keywords) {
        if (cursor.isKeyword(keyword)) {
            return;
        }
    }
    for (std::string_view keyword : kUnacceptableKeywords) {
        if (cursor.isKeyword(keyword)) {
            throw unacceptableStatement(keyword);
        }
    }
    throw illegalSymbol(cursor.peek().text);
}

Plan passThrough(const std::vector<Token>& tokens, RewriteMode mode) {
    Plan plan;
    plan.statement = rewriteSql(tokens, 0, tokens.size(), mode);
    return plan;
}

Plan dispatch(std::string_view statement, const Context& context) {
    const std::vector<Token> tokens = lex(statement);
    refuseTrailingStatement(tokens);
    Cursor cursor(tokens);
    if (cursor.atEnd()) {
        Plan plan;
        plan.statement = std::string(statement);
        return plan;
    }
    if (cursor.acceptKeyword("CREATE")) {
        return translateCreate(cursor, tokens, context, statement);
    }
    if (cursor.acceptKeyword("ALTER")) {
        return translateAlter(cursor, tokens, context);
    }
    if (cursor.acceptKeyword("DROP")) {
        return translateDrop(cursor, context);
    }
    if (cursor.acceptKeyword("GRANT")) {
        return translateGrant(cursor, context);
    }
    if (cursor.acceptKeyword("REVOKE")) {
        return translateRevoke(cursor, context);
    }
    if (isDml(cursor)) {
        return passThrough(tokens, RewriteMode::Dml);
    }
    refuseNonDb2(cursor);
    return passThrough(tokens, RewriteMode::NamesOnly);
}

}  // namespace

Plan translate(std::string_view db2Statement, const Context& context) {
    try {
        return dispatch(db2Statement, context);
    } catch (const Failure& failure) {
        Plan plan;
        plan.error = Error{failure.sqlcode, failure.message};
        return plan;
    } catch (const std::exception& e) {
        Plan plan;
        plan.error = Error{-901, std::string("UNSUCCESSFUL EXECUTION CAUSED BY A SYSTEM ERROR: ") + e.what()};
        return plan;
    } catch (...) {
        Plan plan;
        plan.error = Error{-901, "UNSUCCESSFUL EXECUTION CAUSED BY A SYSTEM ERROR"};
        return plan;
    }
}

std::string db2Name(std::string_view pg) {
    return swapCase(pg);
}

std::string pgName(std::string_view db2) {
    return swapCase(db2);
}

std::string resultLabel(std::string_view pgColumnName) {
    if (pgColumnName == "?column?") {
        return {};
    }
    return db2Name(pgColumnName);
}

std::string roleForLogin(std::string_view loginName) {
    return pgName(upperAscii(loginName));
}

}  // namespace gw::dialect
