// names_test.cpp - DB2 names: the case swap, delimited names, length limits, quoting.
#include "names.h"

#include <gtest/gtest.h>

#include "failure.h"
#include "lexer.h"

namespace gw::dialect {
namespace {

Ident identOfText(std::string_view text) {
    return identOf(lex(text).front());
}

TEST(Names, EachDb2NameHasItsOwnPostgresName) {
    struct Case {
        const char* written;
        const char* db2;
        const char* pg;
    } cases[] = {
        {"EMP", "EMP", "emp"},          {"emp", "EMP", "emp"},        {"\"EMP\"", "EMP", "emp"},
        {"\"emp\"", "emp", "EMP"},      {"\"Emp\"", "Emp", "eMP"},    {"EMP#NO", "EMP#NO", "emp#no"},
        {"\"A\"\"B\"", "A\"B", "a\"b"}, {"\"EMP   \"", "EMP", "emp"}, {"\"  EMP\"", "  EMP", "  emp"},
    };
    for (const Case& c : cases) {
        const Ident id = identOfText(c.written);
        EXPECT_EQ(id.db2, c.db2) << c.written;
        EXPECT_EQ(id.pg(), c.pg) << c.written;
    }
}

TEST(Names, AnEmptyDelimitedNameIsIllegal) {
    for (const char* text : {"\"\"", "\"   \""}) {
        try {
            identOfText(text);
            ADD_FAILURE() << text;
        } catch (const Failure& f) {
            EXPECT_EQ(f.sqlcode, -104);
        }
    }
}

TEST(Names, SwapIsItsOwnInverseAndLeavesOtherCharactersAlone) {
    EXPECT_EQ(swapCase("Emp#1_é"), "eMP#1_é");
    EXPECT_EQ(swapCase(swapCase("MiXeD")), "MiXeD");
}

TEST(Names, OnlyHashAtOrLeadingDollarNeedQuoting) {
    EXPECT_TRUE(needsQuoting("EMP#NO"));
    EXPECT_TRUE(needsQuoting("@X"));
    EXPECT_TRUE(needsQuoting("$X"));
    EXPECT_FALSE(needsQuoting("X$"));
    EXPECT_FALSE(needsQuoting("EMP_NO"));
}

TEST(Names, LengthLimitsAreDb2sAndCountCharacters) {
    checkLength(Ident{"ABCDEFGHIJKLMNOPQR", false}, kMaxLongName);
    checkLength(Ident{"ÉÉÉÉÉÉÉÉ", false}, kMaxShortName);
    try {
        checkLength(Ident{"ABCDEFGHIJKLMNOPQRS", false}, kMaxLongName);
        ADD_FAILURE();
    } catch (const Failure& f) {
        EXPECT_EQ(f.sqlcode, -107);
        EXPECT_EQ(f.message, "THE NAME ABCDEFGHIJKLMNOPQRS IS TOO LONG. MAXIMUM ALLOWABLE SIZE IS 18");
    }
}

TEST(Names, QuotingDoublesTheQuoteCharacter) {
    EXPECT_EQ(quoteIdent("a\"b"), "\"a\"\"b\"");
    EXPECT_EQ(quoteLiteral("it's"), "'it''s'");
    EXPECT_EQ((QualifiedName{Ident{"JOE", false}, Ident{"emp", true}}.sql()), "\"joe\".\"EMP\"");
}

}  // namespace
}  // namespace gw::dialect
