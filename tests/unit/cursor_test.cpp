// cursor_test.cpp - the statement cursor: qualified names, defaults, limits and -104 positions.
#include "cursor.h"

#include <gtest/gtest.h>

#include "failure.h"

namespace gw::dialect {
namespace {

TEST(Cursor, UnqualifiedNamesGetTheDefaultCreator) {
    const std::vector<Token> tokens = lex("EMP, PAYROLL.\"Emp\"");
    Cursor c(tokens);
    const QualifiedName first = c.expectQualifiedName("JOE");
    EXPECT_EQ(first.sql(), "\"joe\".\"emp\"");
    c.expectOperator(",");
    EXPECT_EQ(c.expectQualifiedName("JOE").sql(), "\"payroll\".\"eMP\"");
    c.expectEnd();
}

TEST(Cursor, CreatorsLongerThanEightAreRefused) {
    const std::vector<Token> tokens = lex("PAYROLL12.EMP");
    Cursor c(tokens);
    try {
        c.expectQualifiedName("JOE");
        ADD_FAILURE();
    } catch (const Failure& f) {
        EXPECT_EQ(f.sqlcode, -107);
    }
}

TEST(Cursor, UnexpectedSymbolsAndEndsAreMinus104NamingThem) {
    struct Case {
        const char* sql;
        const char* message;
    } cases[] = {
        {"( A B )", "ILLEGAL SYMBOL \"B\"."},
        {"( A,", "ILLEGAL SYMBOL \"<END-OF-STATEMENT>\"."},
        {"( [x] )", "ILLEGAL SYMBOL \"[\"."},
    };
    for (const Case& k : cases) {
        const std::vector<Token> tokens = lex(k.sql);
        Cursor c(tokens);
        try {
            c.expectNameList(kMaxLongName);
            ADD_FAILURE() << k.sql;
        } catch (const Failure& f) {
            EXPECT_EQ(f.sqlcode, -104);
            EXPECT_EQ(f.message, k.message);
        }
    }
}

TEST(Cursor, OneTrailingSemicolonEndsAStatement) {
    const std::vector<Token> tokens = lex("A ; ");
    Cursor c(tokens);
    c.expectName(kMaxLongName);
    c.expectEnd();
    EXPECT_TRUE(c.atEnd());
}

}  // namespace
}  // namespace gw::dialect
