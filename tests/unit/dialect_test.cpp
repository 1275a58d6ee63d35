// dialect_test.cpp - the dialect's building blocks (lexer, names, cursor, column types) and
// translate() as the session sees it.
#include "dialect.h"

#include <gtest/gtest.h>

#include <tuple>

#include "cursor.h"
#include "failure.h"
#include "types.h"

namespace gw::dialect {
namespace {

// The Failure `f` throws; sqlcode 0 when it throws none.
template <class F>
Failure failureOf(F f) {
    try {
        f();
    } catch (const Failure& e) {
        return e;
    }
    return {0, "no failure"};
}

// The tokens of `sql` as kind:text (Word, Delimited, String, Number, Operator, _ blank, Comment),
// blanks and comments only when `all`.
std::string kinds(std::string_view sql, bool all = false) {
    std::string out;
    for (const Token& t : lex(sql)) {
        if (all || isSignificant(t)) {
            out += std::string(out.empty() ? "" : " ") + "WDSNO_C"[static_cast<int>(t.kind)] + ":" +
                   std::string(t.text);
        }
    }
    return out;
}

TEST(Lexer, SplitsTokensWhereDb2DoesAndJoinsThemBackToTheStatement) {
    const std::pair<const char*, const char*> cases[] = {
        {"SELECT EMP#NO FROM JOE.EMP", "W:SELECT W:EMP#NO W:FROM W:JOE O:. W:EMP"},
        {"select \"My \"\"Col\"\"\" from t", "W:select D:\"My \"\"Col\"\"\" W:from W:t"},
        {"WHERE A = 'it''s' AND B<>1.5E-3", "W:WHERE W:A O:= S:'it''s' W:AND W:B O:<> N:1.5E-3"},
        {"X¬=1 AND Y¬>2 AND Z¬<3", "W:X O:¬= N:1 W:AND W:Y O:¬> N:2 W:AND W:Z O:¬< N:3"},
        {"a||b >= .5", "W:a O:|| W:b O:>= N:.5"},
        {"@X $Y _Z", "W:@X W:$Y W:_Z"},
        {")IN DB1.TS1", "O:) W:IN W:DB1 O:. W:TS1"},
        {"SELECT 1 -- a 'comment\nFROM T /* \"x\" */", "W:SELECT N:1 W:FROM W:T"},
        {"  -- only a comment", ""},
        {"INSERT INTO T VALUES ('é', \"ü\")", "W:INSERT W:INTO W:T W:VALUES O:( S:'é' O:, D:\"ü\" O:)"},
    };
    for (auto [sql, tokens] : cases) {
        EXPECT_EQ(kinds(sql), tokens) << sql;
        std::string joined;
        for (const Token& t : lex(sql)) {
            joined += t.text;
        }
        EXPECT_EQ(joined, sql);
    }
    EXPECT_EQ(kinds("A -- x\n /* y */ B", true), "W:A _:  C:-- x _:\n  C:/* y */ _:  W:B");
}

TEST(Lexer, KeywordsMatchInAnyCaseButNotInsideNamesAndUnterminatedTextIsMinus10) {
    const std::vector<Token> tokens = lex("select \"SELECT\" selected");
    EXPECT_TRUE(isKeyword(tokens[0], "SELECT"));
    EXPECT_FALSE(isKeyword(tokens[2], "SELECT"));
    EXPECT_FALSE(isKeyword(tokens[4], "SELECT"));
    EXPECT_EQ(upperAscii("émp#no"), "éMP#NO");
    for (const char* sql : {"SELECT 'abc FROM T", "SELECT \"abc FROM T", "SELECT 'it''s"}) {
        EXPECT_EQ(failureOf([&] { lex(sql); }).sqlcode, -10) << sql;
    }
}

TEST(Names, EachDb2NameHasItsOwnPostgresName) {
    const std::tuple<const char*, const char*, const char*> cases[] = {
        {"EMP", "EMP", "emp"},           {"emp", "EMP", "emp"},
        {"\"EMP\"", "EMP", "emp"},       {"\"emp\"", "emp", "EMP"},
        {"\"Emp\"", "Emp", "eMP"},       {"EMP#NO", "EMP#NO", "emp#no"},
        {"\"A\"\"B\"", "A\"B", "a\"b"},  {"\"EMP   \"", "EMP", "emp"},
        {"\"  EMP\"", "  EMP", "  emp"}, {"\"Emp#1_é\"", "Emp#1_é", "eMP#1_é"},
    };
    for (auto [written, db2, pg] : cases) {
        const Ident id = identOf(lex(written).front());
        EXPECT_EQ(id.db2, db2) << written;
        EXPECT_EQ(id.pg(), pg) << written;
        EXPECT_EQ(pgName(db2), pg) << written;
        EXPECT_EQ(db2Name(pg), db2) << written;
    }
    for (const char* empty : {"\"\"", "\"   \""}) {
        EXPECT_EQ(failureOf([&] { identOf(lex(empty).front()); }).sqlcode, -104) << empty;
    }
    EXPECT_EQ(resultLabel("name"), "NAME");
    EXPECT_EQ(resultLabel("Mixed"), "mIXED");
    EXPECT_EQ(resultLabel("?column?"), "") << "a derived column has no label";
    for (const char* login : {"JOE", "joe", "Joe"}) {
        EXPECT_EQ(roleForLogin(login), "joe") << "logins are folded to upper case before the swap";
    }
}

TEST(Names, LengthLimitsCountCharactersAndQuotingDoublesQuotes) {
    EXPECT_EQ(failureOf([] { checkLength(Ident{"ABCDEFGHIJKLMNOPQR", false}, kMaxLongName); }).sqlcode, 0);
    EXPECT_EQ(failureOf([] { checkLength(Ident{"ÉÉÉÉÉÉÉÉ", false}, kMaxShortName); }).sqlcode, 0);
    EXPECT_EQ(quoteIdent("a\"b"), "\"a\"\"b\"");
    EXPECT_EQ(quoteLiteral("it's"), "'it''s'");
    EXPECT_EQ((QualifiedName{Ident{"JOE", false}, Ident{"emp", true}}.sql()), "\"joe\".\"EMP\"");
}

TEST(Cursor, ReadsQualifiedNamesWithTheDefaultCreatorAndOneTrailingSemicolon) {
    const std::vector<Token> tokens = lex("EMP, PAYROLL.\"Emp\" ; ");
    Cursor c(tokens);
    EXPECT_EQ(c.expectQualifiedName("JOE").sql(), "\"joe\".\"emp\"");
    c.expectOperator(",");
    EXPECT_EQ(c.expectQualifiedName("JOE").sql(), "\"payroll\".\"eMP\"");
    c.expectEnd();
    EXPECT_TRUE(c.atEnd());
}

TEST(Cursor, RefusesUnexpectedSymbolsNamingThem) {
    const std::pair<const char*, const char*> cases[] = {
        {"( A B )", "ILLEGAL SYMBOL \"B\"."},
        {"( A,", "ILLEGAL SYMBOL \"<END-OF-STATEMENT>\"."},
        {"( [x] )", "ILLEGAL SYMBOL \"[\"."},
    };
    for (auto [sql, message] : cases) {
        const std::vector<Token> tokens = lex(sql);
        const Failure f = failureOf([&] { Cursor(tokens).expectNameList(kMaxLongName); });
        EXPECT_EQ(f.sqlcode, -104) << sql;
        EXPECT_EQ(f.message, message) << sql;
    }
}

// The spellings ddl_test's CREATE TABLE does not use.
TEST(Types, EachDb2TypeHasItsPostgresColumnTypeAndDb2sLimits) {
    const std::pair<const char*, const char*> cases[] = {
        {"FLOAT(21)", "real"},
        {"FLOAT(22)", "double precision"},
        {"REAL", "real"},
        {"DOUBLE PRECISION", "double precision"},
        {"DECIMAL", "numeric(5,0)"},
        {"DEC(7)", "numeric(7,0)"},
        {"CHAR", "char(1)"},
        {"CHARACTER(30)", "char(30)"},
        {"VARCHAR(4046)", "varchar(4046)"},
        {"CHAR VARYING(10)", "varchar(10)"},
        {"CHAR(8) FOR BIT DATA", "char(8)"},
    };
    for (auto [db2, pg] : cases) {
        const std::vector<Token> tokens = lex(db2);
        Cursor cursor(tokens);
        EXPECT_EQ(parseColumnType(cursor).pg, pg) << db2;
        EXPECT_TRUE(cursor.atEnd()) << db2;
    }
    const std::pair<const char*, int> refused[] = {
        {"CHAR(255)", -604},     {"CHAR(0)", -604},      {"VARCHAR(32705)", -604},
        {"DECIMAL(16,2)", -604}, {"DECIMAL(5,6)", -604}, {"FLOAT(54)", -604},
        {"VARCHAR", -104},       {"BOOLEAN", -104},      {"CLOB(1M)", -104}};
    for (auto [db2, sqlcode] : refused) {
        const std::vector<Token> tokens = lex(db2);
        EXPECT_EQ(failureOf([&] {
                      Cursor cursor(tokens);
                      parseColumnType(cursor);
                  }).sqlcode,
                  sqlcode)
            << db2;
    }
}

TEST(Translate, ErrorsComeBackInThePlanWithDb2TextGarbageNeverThrowsAndOneSemicolonEnds) {
    // The authorization id, the statement, its SQLCODE and its message (nullptr: any).
    const std::tuple<const char*, const char*, int, const char*> cases[] = {
        {"JOE", "SELECT EMPLOYEE_NUMBER_LONG FROM EMP", -107,
         "THE NAME EMPLOYEE_NUMBER_LONG IS TOO LONG. MAXIMUM ALLOWABLE SIZE IS 18"},
        {"JOE", "SELECT * FROM PAYROLL12.EMP", -107,
         "THE NAME PAYROLL12 IS TOO LONG. MAXIMUM ALLOWABLE SIZE IS 8"},
        {"JOE", "SELECT 'abc FROM T", -10, "THE STRING CONSTANT BEGINNING 'abc FROM T IS NOT TERMINATED"},
        {"JOE", "SELECT 1 FROM T; DROP TABLE EMP", -104, "ILLEGAL SYMBOL \"DROP\"."},
        {"", "CREATE TABLE T (A INT)", -901, nullptr},  // DDL needs an authorization id
    };
    for (auto [authId, sql, sqlcode, message] : cases) {
        const Plan plan = translate(sql, Context{authId});
        ASSERT_TRUE(plan.error) << sql;
        EXPECT_EQ(plan.error->sqlcode, sqlcode) << sql;
        if (message) {
            EXPECT_EQ(plan.error->message, message) << sql;
        }
        EXPECT_TRUE(plan.statement.empty()) << sql;
    }
    for (const char* sql :
         {"", "   ", "\"", ")))", "CREATE", "CREATE TABLE", "GRANT", "'", "¬", "\xff\xfe"}) {
        EXPECT_NO_THROW(translate(sql, Context{"JOE"})) << sql;
    }
    const Plan semicolon = translate("SELECT \"emp\" FROM T;", Context{"JOE"});
    ASSERT_FALSE(semicolon.error);
    EXPECT_EQ(semicolon.statement, "SELECT \"EMP\" FROM T;") << "one trailing semicolon is accepted";
}

TEST(Translate, StatementsThatAreNotDb2AreRefusedSoNoneCanOpenOrEndATransaction) {
    // The statement, its SQLCODE and its message.
    const std::tuple<const char*, int, const char*> refused[] = {
        {"begin transaction", -104, "ILLEGAL SYMBOL \"begin\"."},
        {"BEGIN", -104, "ILLEGAL SYMBOL \"BEGIN\"."},
        {"start transaction", -104, "ILLEGAL SYMBOL \"start\"."},
        {"END", -104, "ILLEGAL SYMBOL \"END\"."},
        {"abort", -104, "ILLEGAL SYMBOL \"abort\"."},
        {"PREPARE TRANSACTION 'x'", -104, "ILLEGAL SYMBOL \"PREPARE\"."},
        {"SHOW search_path", -104, "ILLEGAL SYMBOL \"SHOW\"."},
        {"SAVEPOINT A", -84, "UNACCEPTABLE SQL STATEMENT: SAVEPOINT"},
        {"RELEASE SAVEPOINT A", -84, "UNACCEPTABLE SQL STATEMENT: RELEASE"},
        {"ROLLBACK TO SAVEPOINT A", -84, "UNACCEPTABLE SQL STATEMENT: ROLLBACK"},
    };
    for (auto [sql, sqlcode, message] : refused) {
        const Plan plan = translate(sql, Context{"JOE"});
        ASSERT_TRUE(plan.error) << sql;
        EXPECT_EQ(plan.error->sqlcode, sqlcode) << sql;
        EXPECT_EQ(plan.error->message, message) << sql;
    }
    for (const char* sql :
         {"COMMENT ON TABLE T IS 'x'", "LABEL ON TABLE T IS 'x'", "SET CURRENT SQLID = 'JOE'", "CALL P(1)",
          "LOCK TABLE T IN SHARE MODE", "(SELECT 1 FROM T)"}) {
        EXPECT_FALSE(translate(sql, Context{"JOE"}).error) << sql;
    }
}

}  // namespace
}  // namespace gw::dialect
