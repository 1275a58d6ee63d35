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
    return passThrough(tokens, isDml(cursor) ? RewriteMode::Dml : RewriteMode::NamesOnly);
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
