// catalog_sql_test.cpp - DB2 SQL at the live gateway: names in every form, DB2 datetime constants
// that reach datetime columns while look-alike character data stays as it is, the special
// registers, and the scalar functions with DB2's results.
#include <gtest/gtest.h>

#include <tuple>

#include "catalog_live.h"

namespace kwcat {
namespace {

class Db2Sql : public Sessions {
  protected:
    static void SetUpTestSuite() {
        auto joe = kwtest::connectAs(kwtest::kJoe);
        for (const char* sql : {
                 "CREATE TABLE IDENTS (EMP#NO INTEGER, \"Mixed\" CHAR(2), \"lower\" SMALLINT)",
                 "CREATE TABLE \"idents\" (A INTEGER)",
                 "INSERT INTO IDENTS VALUES (1, 'ab', 2)",
                 "CREATE TABLE TIMES (C CHAR(8), V VARCHAR(30), TM TIME, TS TIMESTAMP, D DATE)",
                 "INSERT INTO TIMES VALUES ('10.20.30', '2001-3-5-7.43.54.000120', '7.43.54', "
                 "'2001-3-5-7.43.54.000120', '5.3.2001')",
                 "CREATE TABLE FN (D DATE, T TIME, TS TIMESTAMP, N SMALLINT, I INTEGER, P DECIMAL(7,2), C "
                 "CHAR(6), V VARCHAR(10), X INTEGER)",
                 "INSERT INTO FN VALUES ('2001-03-05', '07.43.54', '2001-03-05-07.43.54.000120', 5, -123, "
                 "12.37, 'AB', 'ABC', NULL)",
             }) {
            must(*joe, sql);
        }
    }
};

TEST_F(Db2Sql, OrdinaryDelimitedAndSpecialNamesEachNameTheirOwnObject) {
    // IDENTS and "IDENTS" are one table, "idents" another.
    EXPECT_EQ(joe("SELECT COUNT(*) FROM idents"), (Rows{{"1"}}));
    EXPECT_EQ(joe("SELECT COUNT(*) FROM \"IDENTS\""), (Rows{{"1"}}));
    EXPECT_EQ(joe("SELECT COUNT(*) FROM \"idents\""), (Rows{{"0"}}));
    EXPECT_EQ(ask(*joe_, "SELECT COUNT(*) FROM \"Idents\"").sqlcode, "-204");
    EXPECT_EQ(
        sorted(
            joe("SELECT NAME FROM SYSIBM.SYSTABLES WHERE CREATOR = 'JOE' AND NAME IN ('IDENTS', 'idents')")),
        (Rows{{"IDENTS"}, {"idents"}}));
    EXPECT_EQ(joe("SELECT NAME FROM SYSIBM.SYSCOLUMNS WHERE TBCREATOR = 'JOE' AND TBNAME = 'IDENTS' ORDER BY "
                  "COLNO"),
              (Rows{{"EMP#NO"}, {"Mixed"}, {"lower"}}));
    const Answer a = must(*joe_, "SELECT EMP#NO, \"Mixed\", \"lower\" FROM IDENTS");
    ASSERT_EQ(a.columns.size(), 3u);
    EXPECT_EQ(a.columns[0].name, "EMP#NO");
    EXPECT_EQ(a.columns[1].name, "Mixed");
    EXPECT_EQ(a.columns[2].name, "lower");
    EXPECT_EQ(a.rows, (Rows{{"1", "ab", "2"}}));
}

TEST_F(Db2Sql, Db2DatetimeConstantsReachDatetimeColumnsAndCharacterDataStaysAsWritten) {
    EXPECT_EQ(joe("SELECT C, V, TM, TS, D FROM TIMES"),
              (Rows{{"10.20.30", "2001-3-5-7.43.54.000120", "07.43.54", "2001-03-05-07.43.54.000120",
                     "2001-03-05"}}));
    EXPECT_EQ(joe("SELECT COUNT(*) FROM TIMES WHERE TM = '7.43.54' AND TS = '2001-03-05-07.43.54.000120' AND "
                  "D = '05.03.2001' AND C = '10.20.30' AND V = '2001-3-5-7.43.54.000120' AND TM BETWEEN "
                  "'7.00.00' AND '8.00.00'"),
              (Rows{{"1"}}));
    must(*joe_, "UPDATE TIMES SET TM = '8.00.00', C = '8.00.00' WHERE C = '10.20.30'");
    EXPECT_EQ(joe("SELECT C, TM FROM TIMES"), (Rows{{"8.00.00", "08.00.00"}}));
    // Values out of range or malformed are refused as DB2 does.
    EXPECT_EQ(ask(*joe_, "INSERT INTO TIMES (TM) VALUES ('25.00.00')").sqlcode, "-181");
    EXPECT_EQ(ask(*joe_, "INSERT INTO TIMES (D) VALUES ('2001-02-30')").sqlcode, "-181");
    EXPECT_EQ(ask(*joe_, "INSERT INTO TIMES (D) VALUES ('garbage')").sqlcode, "-180");
}

TEST_F(Db2Sql, SpecialRegistersGiveTheCurrentValuesInDb2Form) {
    const Answer a =
        must(*joe_, "SELECT CURRENT DATE, CURRENT TIME, CURRENT TIMESTAMP, USER FROM SYSIBM.SYSDUMMY1");
    ASSERT_EQ(a.rows.size(), 1u);
    const auto& r = a.rows[0];
    EXPECT_EQ(r[0].size(), 10u) << r[0];
    EXPECT_EQ(r[1].size(), 8u) << r[1];
    EXPECT_EQ(r[1][2], '.');
    EXPECT_EQ(r[2].size(), 26u) << r[2];
    EXPECT_EQ(r[2].substr(0, 10), r[0]);
    EXPECT_EQ(r[3], "JOE");
    // Sybase clients ask for the login's name with SUSER_NAME(): the authorization id, a VARCHAR(8)
    // (DB-Library reports a VARCHAR column as SYBCHAR).
    const Answer user = must(*joe_, "SELECT SUSER_NAME() FROM SYSIBM.SYSDUMMY1");
    ASSERT_EQ(user.rows.size(), 1u);
    EXPECT_EQ(user.rows[0], (std::vector<std::string>{"JOE"}));
    EXPECT_EQ(std::make_pair(user.columns[0].type, user.columns[0].length), std::make_pair(int{SYBCHAR}, 8));
    EXPECT_EQ(joe("SELECT COUNT(*) FROM TIMES WHERE CURRENT DATE > D AND CURRENT TIMESTAMP > TS"),
              (Rows{{"1"}}));
}

// DAYS counts 0001-01-01 as day 1, LENGTH of a CHAR(6) counts its padding, DECIMAL truncates.
TEST_F(Db2Sql, ScalarFunctionsGiveDb2Results) {
    const std::pair<const char*, const char*> cases[] = {
        {"CHAR(D)", "2001-03-05"},
        {"CHAR(D, USA)", "03/05/2001"},
        {"CHAR(D, EUR)", "05.03.2001"},
        {"CHAR(T)", "07.43.54"},
        {"CHAR(T, USA)", "07:43 AM"},
        {"CHAR(T, JIS)", "07:43:54"},
        {"CHAR(TS)", "2001-03-05-07.43.54.000120"},
        {"DAYS(D)", "730549"},
        {"DAYS(D) - DAYS('2001-01-01')", "63"},
        {"DATE(730549)", "2001-03-05"},
        {"DATE(TS)", "2001-03-05"},
        {"TIME(TS)", "07.43.54"},
        {"YEAR(D)", "2001"},
        {"MONTH(TS)", "3"},
        {"DAY('2001-03-05')", "5"},
        {"HOUR(T)", "7"},
        {"MINUTE(T)", "43"},
        {"SECOND(TS)", "54"},
        {"MICROSECOND(TS)", "120"},
        {"DIGITS(N)", "00005"},
        {"DIGITS(I)", "0000000123"},
        {"LENGTH(C)", "6"},
        {"LENGTH(V)", "3"},
        {"LENGTH(I)", "4"},
        {"LENGTH(D)", "4"},
        {"SUBSTR(V, 2)", "BC"},
        {"SUBSTR(C, 2, 3) CONCAT '|'", "B  |"},
        {"VALUE(X, I, 0)", "-123"},
        {"DECIMAL(P, 5, 1)", "12.3"},
        {"INTEGER(P)", "12"},
        {"INTEGER(FLOAT(N) * 2.5)", "12"},
        {"HEX(N)", "0005"},
        {"HEX(I)", "FFFFFF85"},
        {"HEX(C)", "414220202020"},
        {"HEX(D)", "20010305"},
    };
    for (auto [expression, value] : cases) {
        EXPECT_EQ(joe(std::string("SELECT ") + expression + " FROM FN"), (Rows{{value}})) << expression;
    }
}

TEST_F(Db2Sql, ConstantsAggregatesAndExpressionsAreDescribedAsDb2DescribesThem) {
    const Answer a = must(*joe_,
                          "SELECT COUNT(*), SUM(I), SUM(N), 1.5, 'abc', I + 1, CHAR(COUNT(*)), I AS NAMED, N "
                          "FROM FN GROUP BY I, N");
    // Label, DB-Library type and length: derived columns have no label; COUNT and SUM of
    // SMALLINT or INTEGER are INTEGER, 1.5 is DECIMAL(2,1) (text of 4), 'abc' a VARCHAR(3).
    const std::tuple<const char*, int, int> described[] = {
        {"", SYBINT4, 4}, {"", SYBINT4, 4},  {"", SYBINT4, 4},      {"", SYBCHAR, 4},  {"", SYBCHAR, 3},
        {"", SYBINT4, 4}, {"", SYBCHAR, 11}, {"NAMED", SYBINT4, 4}, {"N", SYBINT2, 2},
    };
    ASSERT_EQ(a.columns.size(), std::size(described));
    for (size_t i = 0; i < a.columns.size(); ++i) {
        EXPECT_EQ(std::make_tuple(a.columns[i].name, a.columns[i].type, a.columns[i].length),
                  std::make_tuple(std::string(std::get<0>(described[i])), std::get<1>(described[i]),
                                  std::get<2>(described[i])))
            << "column " << i + 1;
    }
    EXPECT_EQ(a.rows, (Rows{{"1", "-123", "5", "1.5", "abc", "-122", "1", "-123", "5"}}));
    must(*joe_, "CREATE TABLE BIG (X INTEGER)");
    must(*joe_, "INSERT INTO BIG VALUES (2147483647)");
    EXPECT_EQ(joe("SELECT SUM(X) FROM BIG"), (Rows{{"2147483647"}}));
    must(*joe_, "INSERT INTO BIG VALUES (1)");
    EXPECT_EQ(ask(*joe_, "SELECT SUM(X) FROM BIG").sqlcode, "-802")
        << "an INTEGER sum past its range overflows";

    // SYSCOLUMNS: a view column taken from a NOT NULL column cannot be null, an expression can;
    // the catalog's own columns are all NOT NULL.
    must(*joe_, "CREATE TABLE NN (A INTEGER NOT NULL, B INTEGER)");
    must(*joe_, "CREATE VIEW NNV AS SELECT A, B, A + 1 AS C FROM NN");
    must(*joe_, "CREATE VIEW NNV2 AS SELECT C, A FROM NNV");
    EXPECT_EQ(joe("SELECT TBNAME, NAME, NULLS FROM SYSIBM.SYSCOLUMNS WHERE TBCREATOR = 'JOE' AND TBNAME LIKE "
                  "'NNV%' ORDER BY TBNAME, COLNO"),
              (Rows{{"NNV", "A", "N"},
                    {"NNV", "B", "Y"},
                    {"NNV", "C", "Y"},
                    {"NNV2", "C", "Y"},
                    {"NNV2", "A", "N"}}));
    EXPECT_EQ(joe("SELECT DISTINCT NULLS FROM SYSIBM.SYSCOLUMNS WHERE TBCREATOR = 'SYSIBM'"), (Rows{{"N"}}));
}

TEST_F(Db2Sql, FixedLengthFunctionResultsTravelWithDb2LengthsAndSubstrOutsideTheStringFails) {
    const Answer a = must(*joe_, "SELECT CHAR(D), CHAR(T), CHAR(TS), DIGITS(N), DECIMAL(P, 5, 1) FROM FN");
    ASSERT_EQ(a.columns.size(), 5u);
    EXPECT_EQ(a.columns[0].length, 10);
    EXPECT_EQ(a.columns[1].length, 8);
    EXPECT_EQ(a.columns[2].length, 26);
    EXPECT_EQ(a.columns[3].length, 5);
    const Answer outside = ask(*joe_, "SELECT SUBSTR(C, 0, 2) FROM FN");
    EXPECT_EQ(outside.sqlcode, "-138");
    EXPECT_NE(outside.message.find("SUBSTR"), std::string::npos) << outside.message;
}

}  // namespace
}  // namespace kwcat
