// lexer_test.cpp - the DB2 SQL tokenizer: token kinds and boundaries, text kept exactly.
#include "lexer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "failure.h"

namespace gw::dialect {
namespace {

std::string kinds(std::string_view sql) {
    std::string out;
    for (const Token& t : lex(sql)) {
        if (!isSignificant(t)) {
            continue;
        }
        const char* k = t.kind == TokenKind::Word        ? "W"
                        : t.kind == TokenKind::Delimited ? "D"
                        : t.kind == TokenKind::String    ? "S"
                        : t.kind == TokenKind::Number    ? "N"
                                                         : "O";
        out += std::string(out.empty() ? "" : " ") + k + ":" + std::string(t.text);
    }
    return out;
}

TEST(Lexer, SplitsEachKindOfTokenWhereDb2Does) {
    struct Case {
        const char* sql;
        const char* tokens;
    } cases[] = {
        {"SELECT EMP#NO FROM JOE.EMP", "W:SELECT W:EMP#NO W:FROM W:JOE O:. W:EMP"},
        {"select \"My \"\"Col\"\"\" from t", "W:select D:\"My \"\"Col\"\"\" W:from W:t"},
        {"WHERE A = 'it''s' AND B<>1.5E-3", "W:WHERE W:A O:= S:'it''s' W:AND W:B O:<> N:1.5E-3"},
        {"X¬=1 AND Y¬>2 AND Z¬<3", "W:X O:¬= N:1 W:AND W:Y O:¬> N:2 W:AND W:Z O:¬< N:3"},
        {"a||b >= .5", "W:a O:|| W:b O:>= N:.5"},
        {"@X $Y _Z", "W:@X W:$Y W:_Z"},
        {")IN DB1.TS1", "O:) W:IN W:DB1 O:. W:TS1"},
        {"SELECT 1 -- a 'comment\nFROM T /* \"x\" */", "W:SELECT N:1 W:FROM W:T"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(kinds(c.sql), c.tokens) << c.sql;
    }
}

TEST(Lexer, JoinedTokensGiveTheStatementBack) {
    const char* statements[] = {
        "SELECT NAME, COLTYPE, LENGTH, SCALE, NULLS, COLNO  FROM SYSIBM.SYSCOLUMNS  WHERE  TBNAME = 'EMP'  "
        "AND "
        "TBCREATOR = 'JOE' ORDER BY COLNO ",
        "CREATE TABLE JOE.\"EMP\" \n(\"ID\" INTEGER NOT NULL,\n\"NAME\" VARCHAR(40))\n IN DB1.TS1",
        "  -- only a comment",
        "INSERT INTO T VALUES ('é', \"ü\")",
    };
    for (const char* sql : statements) {
        std::string joined;
        for (const Token& t : lex(sql)) {
            joined += t.text;
        }
        EXPECT_EQ(joined, sql);
    }
}

TEST(Lexer, CommentsAndBlanksAreNotSignificant) {
    const std::vector<Token> tokens = lex("A -- x\n /* y */ B");
    ASSERT_EQ(tokens.size(), 7u);
    EXPECT_EQ(tokens[2].kind, TokenKind::Comment);
    EXPECT_EQ(tokens[2].text, "-- x");
    EXPECT_EQ(tokens[4].kind, TokenKind::Comment);
    EXPECT_FALSE(isSignificant(tokens[1]));
    EXPECT_TRUE(isSignificant(tokens[6]));
}

TEST(Lexer, UnterminatedStringOrNameIsSqlcodeMinus10) {
    for (const char* sql : {"SELECT 'abc FROM T", "SELECT \"abc FROM T", "SELECT 'it''s"}) {
        try {
            lex(sql);
            ADD_FAILURE() << "accepted: " << sql;
        } catch (const Failure& f) {
            EXPECT_EQ(f.sqlcode, -10) << sql;
        }
    }
}

TEST(Lexer, KeywordsMatchInAnyCaseButNotInsideNames) {
    const std::vector<Token> tokens = lex("select \"SELECT\" selected");
    EXPECT_TRUE(isKeyword(tokens[0], "SELECT"));
    EXPECT_FALSE(isKeyword(tokens[2], "SELECT"));
    EXPECT_FALSE(isKeyword(tokens[4], "SELECT"));
    EXPECT_EQ(upperAscii("émp#no"), "éMP#NO");
}

}  // namespace
}  // namespace gw::dialect
