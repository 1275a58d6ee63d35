// dialect_test.cpp - translate() as the session sees it, and the name mappings of the contract.
#include "dialect.h"

#include <gtest/gtest.h>

namespace gw::dialect {
namespace {

TEST(NameMapping, Db2AndPostgresNamesSwapCase) {
    struct Case {
        const char* pg;
        const char* db2;
    } cases[] = {{"emp", "EMP"}, {"EMP", "emp"}, {"eMP", "Emp"}, {"emp#no", "EMP#NO"}, {"", ""}};
    for (const Case& c : cases) {
        EXPECT_EQ(db2Name(c.pg), c.db2);
        EXPECT_EQ(pgName(c.db2), c.pg);
    }
}

TEST(NameMapping, ResultLabelsAreDb2NamesAndDerivedColumnsHaveNone) {
    EXPECT_EQ(resultLabel("name"), "NAME");
    EXPECT_EQ(resultLabel("Mixed"), "mIXED");
    EXPECT_EQ(resultLabel("?column?"), "");
}

TEST(NameMapping, LoginsAreFoldedToUpperCaseBeforeTheSwap) {
    EXPECT_EQ(roleForLogin("JOE"), "joe");
    EXPECT_EQ(roleForLogin("joe"), "joe");
    EXPECT_EQ(roleForLogin("Joe"), "joe");
}

TEST(Translate, TheDriversCatalogStatementsPassUnchanged) {
    const char* statements[] = {
        "SELECT NAME, COLTYPE, LENGTH, SCALE, NULLS, COLNO  FROM SYSIBM.SYSCOLUMNS  WHERE  TBNAME = 'EMP'  "
        "AND "
        "TBCREATOR = 'JOE' ORDER BY COLNO ",
        "SELECT TEXT, SEQNO FROM SYSIBM.SYSVIEWS WHERE  NAME = 'V1' AND CREATOR = 'JOE' ORDER BY SEQNO",
        "SELECT COLNAME FROM SYSIBM.SYSCOLAUTH WHERE CREATOR = 'JOE'AND GRANTEE = 'SMITH' AND TNAME = 'EMP' ",
        "SELECT COUNT(*) FROM JOE.KWCATFMT ",
        "INSERT INTO JOE.KWCATFMT VALUES ('$#,##0;($#,##0)', '$#,##0;($#,##0)', 81, 0)",
    };
    for (const char* sql : statements) {
        const Plan plan = translate(sql, Context{"JOE"});
        EXPECT_FALSE(plan.error) << sql;
        EXPECT_EQ(plan.statement, sql);
        EXPECT_TRUE(plan.setup.empty() && plan.after.empty());
    }
}

TEST(Translate, ErrorsComeBackInThePlanWithDb2Text) {
    struct Case {
        const char* sql;
        int sqlcode;
        const char* message;
    } cases[] = {
        {"SELECT EMPLOYEE_NUMBER_LONG FROM EMP", -107,
         "THE NAME EMPLOYEE_NUMBER_LONG IS TOO LONG. MAXIMUM ALLOWABLE SIZE IS 18"},
        {"SELECT * FROM PAYROLL12.EMP", -107, "THE NAME PAYROLL12 IS TOO LONG. MAXIMUM ALLOWABLE SIZE IS 8"},
        {"SELECT 'abc FROM T", -10, "THE STRING CONSTANT BEGINNING 'abc FROM T IS NOT TERMINATED"},
        {"SELECT 1 FROM T; DROP TABLE EMP", -104, "ILLEGAL SYMBOL \"DROP\"."},
    };
    for (const Case& c : cases) {
        const Plan plan = translate(c.sql, Context{"JOE"});
        ASSERT_TRUE(plan.error) << c.sql;
        EXPECT_EQ(plan.error->sqlcode, c.sqlcode) << c.sql;
        EXPECT_EQ(plan.error->message, c.message) << c.sql;
        EXPECT_TRUE(plan.statement.empty()) << c.sql;
    }
}

TEST(Translate, OneTrailingSemicolonIsAccepted) {
    const Plan plan = translate("SELECT \"emp\" FROM T;", Context{"JOE"});
    ASSERT_FALSE(plan.error);
    EXPECT_EQ(plan.statement, "SELECT \"EMP\" FROM T;");
}

TEST(Translate, DdlWithoutAnAuthorizationIdIsRefused) {
    const Plan plan = translate("CREATE TABLE T (A INT)", Context{""});
    ASSERT_TRUE(plan.error);
    EXPECT_EQ(plan.error->sqlcode, -901);
}

TEST(Translate, GarbageNeverThrows) {
    for (const char* sql :
         {"", "   ", "\"", ")))", "CREATE", "CREATE TABLE", "GRANT", "'", "¬", "\xff\xfe"}) {
        EXPECT_NO_THROW(translate(sql, Context{"JOE"})) << sql;
    }
}

}  // namespace
}  // namespace gw::dialect
