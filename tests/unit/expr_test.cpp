// expr_test.cpp - rewriting DB2 queries and DML: names, special registers, scalar functions,
// datetime constants, and the names refused with -107.
#include "expr.h"

#include <gtest/gtest.h>

#include "dialect.h"

namespace gw::dialect {
namespace {

std::string rewrite(std::string_view sql, RewriteMode mode = RewriteMode::Dml) {
    const std::vector<Token> tokens = lex(sql);
    return rewriteSql(tokens, 0, tokens.size(), mode);
}

struct Case {
    const char* claim;
    const char* db2;
    const char* pg;
};

void expectRewrites(std::initializer_list<Case> cases) {
    for (const Case& c : cases) {
        EXPECT_EQ(rewrite(c.db2), c.pg) << c.claim;
    }
}

TEST(Rewrite, NamesFollowTheCaseSwapAndOrdinaryOnesPassUnchanged) {
    expectRewrites({
        {"ordinary names pass", "SELECT NAME, emp FROM JOE.EMP", "SELECT NAME, emp FROM JOE.EMP"},
        {"delimited names swap", "SELECT \"EMP\", \"emp\", \"Emp\" FROM T",
         "SELECT \"emp\", \"EMP\", \"eMP\" FROM T"},
        {"trailing blanks of a delimited name go", "SELECT \"NAME  \" FROM T", "SELECT \"name\" FROM T"},
        {"# @ and a leading $ are quoted", "SELECT EMP#NO, @X, $Y, Y$ FROM T",
         "SELECT \"emp#no\", \"@x\", \"$y\", Y$ FROM T"},
        {"quotes and comments are untouched", "SELECT 'EMP#NO', \"A\"\"B\" FROM T -- EMP#NO \"x\"",
         "SELECT CAST('EMP#NO' AS VARCHAR(6)) AS \"?column?\", \"a\"\"b\" FROM T -- EMP#NO \"x\""},
        {"CONCAT is the concatenation operator", "SELECT A CONCAT B, CONCAT(A, B) FROM T",
         "SELECT A || B AS \"?column?\", CONCAT(A, B) AS \"?column?\" FROM T"},
        {"not-comparisons take PostgreSQL's spelling", "SELECT * FROM T WHERE A ¬= 1 AND B ¬> 2 AND C ¬< 3",
         "SELECT * FROM T WHERE A <> 1 AND B <= 2 AND C >= 3"},
    });
}

TEST(Rewrite, SpecialRegistersBecomePostgresExpressions) {
    expectRewrites({
        {"CURRENT DATE, TIME, TIMESTAMP", "SELECT CURRENT DATE, CURRENT TIME, CURRENT  TIMESTAMP FROM T",
         "SELECT CURRENT_DATE AS \"?column?\", LOCALTIME(0) AS \"?column?\", LOCALTIMESTAMP AS \"?column?\" "
         "FROM T"},
        {"the underscore forms have no time zone either", "SELECT CURRENT_TIME, CURRENT_TIMESTAMP FROM T",
         "SELECT LOCALTIME(0) AS \"?column?\", LOCALTIMESTAMP AS \"?column?\" FROM T"},
        {"USER and CURRENT SQLID are DB2 authorization ids",
         "SELECT * FROM T WHERE OWNER = USER OR OWNER = CURRENT SQLID",
         "SELECT * FROM T WHERE OWNER = CAST(kwgw.db2name(SESSION_USER) AS CHAR(8)) OR OWNER = "
         "CAST(kwgw.db2name(CURRENT_USER) AS CHAR(8))"},
        {"a column named like a register keeps its name", "SELECT T.USER FROM T", "SELECT T.USER FROM T"},
    });
}

TEST(Rewrite, ScalarFunctionsCallTheKwgwFnShims) {
    expectRewrites({
        {"plain functions",
         "SELECT LENGTH(NAME) L, DAYS(HIRED) - DAYS('2001-01-01') AS D, digits(N) X FROM EMP",
         "SELECT kwgw_fn.length(NAME) L, kwgw_fn.days(HIRED) - kwgw_fn.days('2001-01-01') AS D, "
         "kwgw_fn.digits(N) X FROM EMP"},
        {"CHAR's format keyword becomes a string", "SELECT * FROM EMP WHERE CHAR(HIRED) = CHAR(HIRED, USA)",
         "SELECT * FROM EMP WHERE kwgw_fn.char(HIRED) = kwgw_fn.char(HIRED, 'USA')"},
        {"VALUE is COALESCE", "SELECT VALUE(SAL, 0) S FROM EMP", "SELECT COALESCE(SAL, 0) S FROM EMP"},
        {"DECIMAL with a constant precision keeps it",
         "SELECT DECIMAL(SAL, 9, 2) A, DEC(SAL, 7) B, DECIMAL(SAL) C FROM EMP",
         "SELECT CAST(kwgw_fn.decimal(SAL, 9, 2) AS NUMERIC(9,2)) A, CAST(kwgw_fn.decimal(SAL, 7) AS "
         "NUMERIC(7,0)) B, kwgw_fn.decimal(SAL) C FROM EMP"},
        {"SUBSTR with a constant length is a VARCHAR of it",
         "SELECT SUBSTR(NAME, 2, 3) A, SUBSTR(NAME, 2) B FROM EMP",
         "SELECT CAST(kwgw_fn.substr(NAME, 2, 3) AS VARCHAR(3)) A, kwgw_fn.substr(NAME, 2) B FROM EMP"},
        {"a column named LENGTH is a column",
         "SELECT LENGTH FROM SYSIBM.SYSCOLUMNS WHERE NAME = 'REQ_TEXT' AND       TBNAME = 'PCSQL_HOSTLIB' ",
         "SELECT LENGTH FROM SYSIBM.SYSCOLUMNS WHERE NAME = 'REQ_TEXT' AND       TBNAME = 'PCSQL_HOSTLIB' "},
        {"a type in CAST stays a type", "SELECT CAST(X AS DECIMAL(9,2)) X, CAST(Y AS CHAR(3)) Y FROM T",
         "SELECT CAST(X AS DECIMAL(9,2)) X, CAST(Y AS CHAR(3)) Y FROM T"},
    });
}

TEST(Rewrite, DatetimeConstantsAreTypedWhereADatetimeIsComparedOrAssigned) {
    expectRewrites({
        {"after and before comparisons",
         "SELECT * FROM T WHERE TM = '7.43.54' AND '2001-3-5-7.43.54.000120' < TS AND D >= '5.3.2001'",
         "SELECT * FROM T WHERE TM = kwgw.time_lit('7.43.54') AND "
         "kwgw.timestamp_lit('2001-3-5-7.43.54.000120') < TS AND D >= kwgw.date_lit('5.3.2001')"},
        {"in VALUES rows, one or several",
         "INSERT INTO T (C, TM) VALUES ('10.20.30', '7.43.54'), ('x', '3/5/2001')",
         "INSERT INTO T (C, TM) VALUES (kwgw.time_lit('10.20.30'), kwgw.time_lit('7.43.54')), ('x', "
         "kwgw.date_lit('3/5/2001'))"},
        {"in SET, BETWEEN and IN lists",
         "UPDATE T SET TM = '7.43.54' WHERE TM BETWEEN '7.00.00' AND '8.00.00' OR TM IN ('1.00.00', "
         "'2.00.00')",
         "UPDATE T SET TM = kwgw.time_lit('7.43.54') WHERE TM BETWEEN kwgw.time_lit('7.00.00') AND "
         "kwgw.time_lit('8.00.00') OR TM IN (kwgw.time_lit('1.00.00'), kwgw.time_lit('2.00.00'))"},
    });
}

TEST(Rewrite, CharacterDataThatLooksLikeADatetimeIsLeftAlone) {
    expectRewrites({
        {"selected, concatenated, passed to a function, matched with LIKE",
         "SELECT '10.20.30' A, '10.20.30' || X B, HOUR('10.20.30') C FROM T WHERE C LIKE '10.20.30'",
         "SELECT CAST('10.20.30' AS VARCHAR(8)) A, '10.20.30' || X B, kwgw_fn.hour('10.20.30') C FROM T "
         "WHERE C "
         "LIKE '10.20.30'"},
        {"compared, but as part of an expression", "SELECT * FROM T WHERE C = '10.20.30' || 'X'",
         "SELECT * FROM T WHERE C = '10.20.30' || 'X'"},
        {"forms PostgreSQL reads need nothing", "SELECT * FROM T WHERE D = '2001-3-5' AND TM = '07:43:54'",
         "SELECT * FROM T WHERE D = '2001-3-5' AND TM = '07:43:54'"},
        {"numbers and near misses",
         "SELECT * FROM T WHERE A = '7.43' AND B = '1.2.3' AND C = '2001-3-5-7.43.54.1234567'",
         "SELECT * FROM T WHERE A = '7.43' AND B = '1.2.3' AND C = '2001-3-5-7.43.54.1234567'"},
    });
}

TEST(Rewrite, DerivedColumnsGoUnnamedAndConstantsAggregatesTakeDb2Types) {
    expectRewrites({
        {"COUNT is an INTEGER and an unnamed expression gets no name", "SELECT COUNT(*) FROM T",
         "SELECT CAST(COUNT(*) AS INTEGER) AS \"?column?\" FROM T"},
        {"so CHAR of a count finds its INTEGER form", "SELECT CHAR(COUNT(DISTINCT A)) N FROM T",
         "SELECT kwgw_fn.char(CAST(COUNT(DISTINCT A) AS INTEGER)) N FROM T"},
        {"SUM keeps DB2's result type", "SELECT SUM(N) AS TOTAL FROM T GROUP BY K HAVING SUM(N) > 2",
         "SELECT kwgw_fn.sum(N) AS TOTAL FROM T GROUP BY K HAVING kwgw_fn.sum(N) > 2"},
        {"decimal, float and long integer constants",
         "SELECT 1.5 A, .5 B, 5. C, 1E3 D, 12345678901 E, 2147483647 F FROM T WHERE X = 001.50",
         "SELECT CAST(1.5 AS NUMERIC(2,1)) A, CAST(.5 AS NUMERIC(1,1)) B, CAST(5. AS NUMERIC(1,0)) C, "
         "CAST(1E3 AS DOUBLE PRECISION) D, CAST(12345678901 AS NUMERIC(11,0)) E, 2147483647 F FROM T WHERE X "
         "= "
         "CAST(001.50 AS NUMERIC(5,2))"},
        {"a selected string constant is a VARCHAR of its length", "SELECT 'it''s', '' FROM T",
         "SELECT CAST('it''s' AS VARCHAR(4)) AS \"?column?\", CAST('' AS VARCHAR(1)) AS \"?column?\" FROM T"},
        {"named too", "SELECT 'abc' AS A, 'de' B FROM T",
         "SELECT CAST('abc' AS VARCHAR(3)) AS A, CAST('de' AS VARCHAR(2)) B FROM T"},
        {"columns and named expressions keep their names; CASE, USER and subqueries are derived",
         "SELECT DISTINCT T.A, B AS X, C Y, CASE WHEN A = 1 THEN 2 END, USER, (SELECT MAX(A) FROM U) FROM T",
         "SELECT DISTINCT T.A, B AS X, C Y, CASE WHEN A = 1 THEN 2 END AS \"?column?\", CAST(kwgw.db2name("
         "SESSION_USER) AS CHAR(8)) AS \"?column?\", (SELECT MAX(A) FROM U) AS \"?column?\" FROM T"},
        {"a query that feeds an INSERT names nothing", "INSERT INTO T SELECT A + 1, 'x' FROM U",
         "INSERT INTO T SELECT A + 1, 'x' FROM U"},
    });
}

TEST(Rewrite, PostgresReservedWordsAreQuotedAsColumnNames) {
    expectRewrites({
        {"catalog columns DEFAULT and CHECK",
         "SELECT NAME, DEFAULT FROM SYSIBM.SYSCOLUMNS, SYSIBM.SYSVIEWS V WHERE V.CHECK = 'N'",
         "SELECT NAME, \"default\" FROM SYSIBM.SYSCOLUMNS, SYSIBM.SYSVIEWS V WHERE V.\"check\" = 'N'"},
        {"DEFAULT as a value keeps its meaning", "UPDATE T SET A = DEFAULT", "UPDATE T SET A = DEFAULT"},
        {"FETCH FIRST ... ONLY keeps its meaning", "SELECT * FROM T FETCH FIRST 5 ROWS ONLY",
         "SELECT * FROM T FETCH FIRST 5 ROWS ONLY"},
        {"the isolation clause goes", "SELECT * FROM T WITH UR", "SELECT * FROM T "},
    });
}

TEST(Rewrite, StatementsOfUnknownKindOnlyGetTheirNamesMapped) {
    EXPECT_EQ(rewrite("LABEL ON TABLE EMP#X IS 'CURRENT DATE'", RewriteMode::NamesOnly),
              "LABEL ON TABLE \"emp#x\" IS 'CURRENT DATE'");
    EXPECT_EQ(rewrite("SHOW \"TimeZone\"", RewriteMode::NamesOnly), "SHOW \"tIMEzONE\"");
}

TEST(Rewrite, NamesTooLongForDb2AreMinus107ButLongTableNamesAsQualifiersAreNoCreators) {
    const char* refused[] = {
        "SELECT * FROM EMPLOYEE_ADDRESSES_X",     // a 19-character table
        "SELECT \"abcdefghijklmnopqrs\" FROM T",  // delimited names too
        "SELECT E.NAME FROM PAYROLL.EMP E, PAYROLL12.DEPT D",
        "SELECT PAYROLL12.EMP.NAME FROM PAYROLL.EMP",  // creator of a three-part column name
        "INSERT INTO PAYROLL12.T VALUES (1)",
        "UPDATE PAYROLL12.T SET A = 1",
        "DELETE FROM PAYROLL12.T",
    };
    for (const char* sql : refused) {
        const Plan plan = translate(sql, Context{"JOE"});
        ASSERT_TRUE(plan.error) << "accepted: " << sql;
        EXPECT_EQ(plan.error->sqlcode, -107) << sql;
    }
    const char* sql = "SELECT EMPLOYEE_TABLE_A.NAME FROM EMPLOYEE_TABLE_A WHERE EMPLOYEE_TABLE_A.ID = 1";
    EXPECT_EQ(rewrite(sql), sql);
}

TEST(DatetimeLiteral, OnlyDb2FormsPostgresCannotReadAreTyped) {
    EXPECT_EQ(datetimeLiteral("'2001-3-5-7.43.54'"), "kwgw.timestamp_lit('2001-3-5-7.43.54')");
    EXPECT_EQ(datetimeLiteral("'2001-03-05-07.43.54.5'"), "kwgw.timestamp_lit('2001-03-05-07.43.54.5')");
    EXPECT_EQ(datetimeLiteral("'24.00.00'"), "kwgw.time_lit('24.00.00')");
    EXPECT_EQ(datetimeLiteral("'05.03.2001'"), "kwgw.date_lit('05.03.2001')");
    for (const char* other : {"''", "'2001-03-05'", "'07:43:54'", "'7.43'", "'123.45.67'",
                              "'2001-3-5 7.43.54'", "'A.BC.DE'", "'7.43.54 '"}) {
        EXPECT_EQ(datetimeLiteral(other), "") << other;
    }
}

TEST(IsoDatetime, GivesTheIsoFormOfEachDb2FormAndNothingForOtherText) {
    const std::pair<const char*, const char*> cases[] = {
        {"2001-3-5-7.43.54", "2001-3-5 7:43:54"},
        {"2023-12-31-23.59.58.500000", "2023-12-31 23:59:58.500000"},
        {"2001-03-05-07.43.54.1", "2001-03-05 07:43:54.1"},
        {"7.43.54", "7:43:54"},
        {"24.00.00", "24:00:00"},
        {"05.03.2001", "2001-03-05"},  // EUR: day, month, year
        {"3/5/2001", "2001-3-5"},      // USA: month, day, year
        // Forms PostgreSQL reads itself, and text that only looks like a datetime, stay as they are.
        {"2001-03-05", ""},
        {"07:43:54", ""},
        {"2001-03-05 07:43:54", ""},
        {"7.43", ""},
        {"7.43.54.000001", ""},
        {"O'Brien", ""},
        {"", ""},
    };
    for (const auto& [value, iso] : cases) {
        EXPECT_EQ(isoDatetime(value), iso) << value;
    }
}

}  // namespace
}  // namespace gw::dialect
