// ddl_test.cpp - DB2 DDL, GRANT and REVOKE translated into PostgreSQL plans: every form the driver
// writes, the extended catalog's own DDL, and the DB2 errors raised before PostgreSQL runs anything.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dialect.h"

namespace gw::dialect {
namespace {

struct Expected {
    std::vector<std::string> setup;
    std::string statement;
    std::vector<std::string> after;
};

void expectPlan(std::string_view db2, const Expected& e) {
    const Plan plan = translate(db2, Context{"JOE"});
    ASSERT_FALSE(plan.error) << db2 << "\n" << plan.error->message;
    EXPECT_EQ(plan.setup, e.setup) << db2;
    EXPECT_EQ(plan.statement, e.statement) << db2;
    EXPECT_EQ(plan.after, e.after) << db2;
}

TEST(CreateTable, TheDriversTableWithKeysBecomesATablePlusItsKeys) {
    expectPlan(
        "CREATE TABLE PAYROLL.\"EMP\" \n(\"ID\" INTEGER NOT NULL,\n\"DEPT\" CHAR(3), PRIMARY KEY (\nid), "
        "FOREIGN KEY F1 (\ndept) REFERENCES PAYROLL.DEPT ON DELETE  CASCADE \n)\n IN DB1.TS1",
        {{"SELECT kwgw.ensure_creator('payroll')", "SELECT kwgw.check_space('DB1', 'TS1')"},
         "CREATE TABLE \"payroll\".\"emp\" (\"id\" integer NOT NULL, \"dept\" char(3))",
         {"CALL kwgw.add_primary_key('payroll', 'emp', 'id')",
          "ALTER TABLE \"payroll\".\"emp\" ADD CONSTRAINT \"f1\" FOREIGN KEY (\"dept\") REFERENCES "
          "\"payroll\".\"dept\" ON DELETE CASCADE",
          "SELECT kwgw.record_table('payroll', 'emp', 'DB1', 'TS1')",
          "ALTER TABLE \"payroll\".\"emp\" OWNER TO \"payroll\""}});
}

TEST(CreateTable, Db2TypesAndWithDefaultHavePostgresEquivalents) {
    expectPlan(
        "CREATE TABLE T (A LONG VARCHAR, B FLOAT, C DECIMAL(9,2) NOT NULL WITH DEFAULT, D DATE NOT NULL WITH "
        "DEFAULT, E TIME WITH DEFAULT '7.43.54', F TIMESTAMP, G int, H CHAR(3) NOT NULL WITH DEFAULT, I "
        "SMALLINT NOT NULL WITH DEFAULT -1, J VARCHAR(8) WITH DEFAULT USER, K TIME NOT NULL WITH DEFAULT, L "
        "TIMESTAMP NOT NULL WITH DEFAULT)",
        {{"SELECT kwgw.ensure_creator('joe')"},
         "CREATE TABLE \"joe\".\"t\" (\"a\" text, \"b\" double precision, \"c\" numeric(9,2) NOT NULL "
         "DEFAULT 0, \"d\" date NOT NULL DEFAULT CURRENT_DATE, \"e\" time(0) DEFAULT "
         "kwgw.time_lit('7.43.54'), \"f\" timestamp(6), \"g\" integer, \"h\" char(3) NOT NULL DEFAULT '', "
         "\"i\" smallint NOT NULL DEFAULT -1, \"j\" varchar(8) DEFAULT CAST(kwgw.db2name(SESSION_USER) AS "
         "CHAR(8)), \"k\" time(0) NOT NULL DEFAULT LOCALTIME(0), \"l\" timestamp(6) NOT NULL DEFAULT "
         "LOCALTIMESTAMP)",
         {}});
}

TEST(CreateTable, DeleteRulesDefaultToRestrictAndAnUnnamedKeyIsNamedAfterItsColumn) {
    expectPlan(
        "CREATE TABLE C (A INT NOT NULL, DEPARTMENT_NO INT, M INT, FOREIGN KEY (DEPARTMENT_NO) REFERENCES D, "
        "FOREIGN KEY FM (M) REFERENCES C ON DELETE SET NULL, FOREIGN KEY FR (A) REFERENCES PAYROLL.P ON "
        "DELETE RESTRICT, PRIMARY KEY (A))",
        {{"SELECT kwgw.ensure_creator('joe')"},
         "CREATE TABLE \"joe\".\"c\" (\"a\" integer NOT NULL, \"department_no\" integer, \"m\" integer)",
         {"CALL kwgw.add_primary_key('joe', 'c', 'a')",
          "ALTER TABLE \"joe\".\"c\" ADD CONSTRAINT \"departme\" FOREIGN KEY (\"department_no\") REFERENCES "
          "\"joe\".\"d\" ON DELETE RESTRICT",
          "ALTER TABLE \"joe\".\"c\" ADD CONSTRAINT \"fm\" FOREIGN KEY (\"m\") REFERENCES \"joe\".\"c\" ON "
          "DELETE SET NULL",
          "ALTER TABLE \"joe\".\"c\" ADD CONSTRAINT \"fr\" FOREIGN KEY (\"a\") REFERENCES \"payroll\".\"p\" "
          "ON DELETE RESTRICT"}});
}

// The extended catalog's tables with their IN clauses: catalog_ddl_test, live.
TEST(CreateTable, AnInClauseGluedToTheParenthesisCountsAndLikeCopiesColumns) {
    // A table space alone is in DSNDB04.
    expectPlan("CREATE TABLE JOE.KWCATFMT (KWF_NAME CHAR(30) NOT NULL,KWF_CNTR int )IN TS1",
               {{"SELECT kwgw.ensure_creator('joe')", "SELECT kwgw.check_space(NULL, 'TS1')"},
                "CREATE TABLE \"joe\".\"kwcatfmt\" (\"kwf_name\" char(30) NOT NULL, \"kwf_cntr\" integer)",
                {"SELECT kwgw.record_table('joe', 'kwcatfmt', NULL, 'TS1')"}});
    expectPlan("CREATE TABLE T2 LIKE PAYROLL.T1",
               {{"SELECT kwgw.ensure_creator('joe')"},
                "CREATE TABLE \"joe\".\"t2\" (LIKE \"payroll\".\"t1\" INCLUDING DEFAULTS)",
                {}});
}

// Unique, descending and clustered indexes: catalog_test, live.
TEST(CreateIndex, StorageClausesAreIgnoredAndTheCreatorRecorded) {
    expectPlan(
        "CREATE INDEX PAYROLL.X2 ON EMP (NAME ASC) USING STOGROUP SG1 PRIQTY 12 FREEPAGE 0 BUFFERPOOL BP0 "
        "CLOSE NO",
        {{},
         "CREATE INDEX \"x2\" ON \"joe\".\"emp\" (\"name\")",
         {"CALL kwgw.index_created('joe', 'x2', 'payroll', false)"}});
}

TEST(CreateView, TheViewIsCreatedAndItsTextKeptAsWritten) {
    expectPlan("CREATE VIEW V1 (A, B) AS SELECT EMP#NO, CURRENT DATE FROM EMP WITH CHECK OPTION",
               {{"SELECT kwgw.ensure_creator('joe')"},
                "CREATE VIEW \"joe\".\"v1\" (\"a\", \"b\") AS SELECT \"emp#no\", CURRENT_DATE FROM EMP WITH "
                "CASCADED CHECK OPTION",
                {"SELECT kwgw.record_view('joe', 'v1', 'CREATE VIEW V1 (A, B) AS SELECT EMP#NO, CURRENT DATE "
                 "FROM EMP WITH CHECK OPTION', 'Y')"}});
    expectPlan("CREATE VIEW PAYROLL.V2 AS SELECT * FROM EMP WHERE NAME = 'O''Hara' ;",
               {{"SELECT kwgw.ensure_creator('payroll')"},
                "CREATE VIEW \"payroll\".\"v2\" AS SELECT * FROM EMP WHERE NAME = 'O''Hara'",
                {"SELECT kwgw.record_view('payroll', 'v2', 'CREATE VIEW PAYROLL.V2 AS SELECT * FROM EMP "
                 "WHERE NAME = ''O''''Hara''', 'N')",
                 "ALTER VIEW \"payroll\".\"v2\" OWNER TO \"payroll\""}});
}

// The forms catalog_ddl_test does not run against the live gateway.
TEST(AlterDropAndRegistry, EachDb2FormHasItsOneStatementPlan) {
    const std::pair<const char*, const char*> cases[] = {
        {"ALTER TABLE EMP ADD X INT NOT NULL WITH DEFAULT ADD COLUMN Y DATE",
         "ALTER TABLE \"joe\".\"emp\" ADD COLUMN \"x\" integer NOT NULL DEFAULT 0, ADD COLUMN \"y\" date"},
        {"ALTER TABLE PAYROLL.EMP\n FOREIGN KEY F1 (\ndept) \n REFERENCES PAYROLL.DEPT\n ON DELETE  SET "
         "NULL ",
         "ALTER TABLE \"payroll\".\"emp\" ADD CONSTRAINT \"f1\" FOREIGN KEY (\"dept\") REFERENCES "
         "\"payroll\".\"dept\" ON DELETE SET NULL"},
        {"ALTER TABLE EMP DROP FOREIGN KEY F1", "ALTER TABLE \"joe\".\"emp\" DROP CONSTRAINT \"f1\""},
        {"ALTER TABLE EMP AUDIT ALL", "CALL kwgw.check_table('joe', 'emp')"},
        // Views drop with what depends on them.
        {"DROP VIEW V1", "DROP VIEW \"joe\".\"v1\" CASCADE"},
        {"CREATE DATABASE db1 STOGROUP SG1 BUFFERPOOL BP0", "CALL kwgw.create_database('DB1')"},
        {"CREATE TABLESPACE TS1 IN DB1 USING STOGROUP SG1", "CALL kwgw.create_tablespace('DB1', 'TS1')"},
        {"CREATE TABLESPACE TS2", "CALL kwgw.create_tablespace('DSNDB04', 'TS2')"},
    };
    for (auto [db2, statement] : cases) {
        expectPlan(db2, {{}, statement, {}});
    }
}

TEST(Grant, TheSecurityDialogsStatementsBecomePostgresGrants) {
    expectPlan("GRANT ALL PRIVILEGES ON JOE.EMP TO SMITH",
               {{"SELECT kwgw.share_schema('joe')",
                 "SELECT kwgw.check_grant('joe', 'emp', 'DELETE', 'INSERT', 'SELECT', 'UPDATE')",
                 "SELECT kwgw.ensure_grantee('smith')"},
                "GRANT SELECT, INSERT, UPDATE, DELETE, REFERENCES ON TABLE \"joe\".\"emp\" TO \"smith\"",
                {"CALL kwgw.grant_extra('joe', 'emp', true, true, false, true, 'smith')"}});
    // ALTER and INDEX go to the side table; ALTER allows foreign keys.
    expectPlan("GRANT ALTER, INDEX ON EMP TO SAM, PUBLIC WITH GRANT OPTION",
               {{"SELECT kwgw.share_schema('joe')", "SELECT kwgw.check_grant('joe', 'emp', 'ALTER', 'INDEX')",
                 "SELECT kwgw.ensure_grantee('sam')"},
                "GRANT REFERENCES ON TABLE \"joe\".\"emp\" TO \"sam\" WITH GRANT OPTION",
                {"GRANT REFERENCES ON TABLE \"joe\".\"emp\" TO PUBLIC",
                 "CALL kwgw.grant_extra('joe', 'emp', true, true, true, false, 'sam', NULL)"}});
    expectPlan("GRANT INSERT ON EMP TO \"sam\"",
               {{"SELECT kwgw.share_schema('joe')", "SELECT kwgw.check_grant('joe', 'emp', 'INSERT')",
                 "SELECT kwgw.ensure_grantee('SAM')"},
                "GRANT INSERT ON TABLE \"joe\".\"emp\" TO \"SAM\"",
                {}});
}

TEST(Grant, PublicNeverReceivesAGrantOption) {
    expectPlan("GRANT SELECT ON EMP, PAYROLL.DEPT TO SAM, PUBLIC WITH GRANT OPTION",
               {{"SELECT kwgw.share_schema('joe')", "SELECT kwgw.check_grant('joe', 'emp', 'SELECT')",
                 "SELECT kwgw.share_schema('payroll')",
                 "SELECT kwgw.check_grant('payroll', 'dept', 'SELECT')", "SELECT kwgw.ensure_grantee('sam')"},
                "GRANT SELECT ON TABLE \"joe\".\"emp\", \"payroll\".\"dept\" TO \"sam\" WITH GRANT OPTION",
                {"GRANT SELECT ON TABLE \"joe\".\"emp\", \"payroll\".\"dept\" TO PUBLIC"}});
    expectPlan("GRANT ALL ON TABLE EMP TO PUBLIC WITH GRANT OPTION",
               {{"SELECT kwgw.share_schema('joe')",
                 "SELECT kwgw.check_grant('joe', 'emp', 'DELETE', 'INSERT', 'SELECT', 'UPDATE')"},
                "GRANT SELECT, INSERT, UPDATE, DELETE, REFERENCES ON TABLE \"joe\".\"emp\" TO PUBLIC",
                {"CALL kwgw.grant_extra('joe', 'emp', true, true, true, true, NULL)"}});
}

TEST(Revoke, OneCallPerTableCarriesEveryGrantee) {
    expectPlan("REVOKE SELECT, ALTER ON EMP, DEPT FROM SAM, PUBLIC",
               {{},
                "CALL kwgw.revoke_privileges('joe', 'emp', ARRAY['ALTER', 'SELECT'], 'sam', NULL)",
                {"CALL kwgw.revoke_privileges('joe', 'dept', ARRAY['ALTER', 'SELECT'], 'sam', NULL)"}});
}

TEST(Ddl, WhatDb2RefusesIsRefusedBeforePostgresRuns) {
    const std::pair<const char*, int> cases[] = {
        {"CREATE TABLE EMPLOYEE_ADDRESSES_X (A INT)", -107},  // a 19-character name
        {"CREATE TABLE PAYROLL12.EMP (A INT)", -107},         // a 9-character creator
        {"CREATE TABLE T (ABCDEFGHIJKLMNOPQRS INT)", -107},   // a 19-character column
        {"CREATE TABLE T (A INT, FOREIGN KEY FKEY12345 (A) REFERENCES P)", -107},
        {"CREATE TABLE T (A INT) IN DATABASE DATABASE1", -107},
        {"CREATE TABLE T (A INT, FOREIGN KEY [foreign key 1] (A) REFERENCES P)", -104},
        {"CREATE TABLE T (A CHAR(300))", -604},
        {"CREATE TABLE T (A INT NOT NULL, PRIMARY KEY (A), PRIMARY KEY (A))", -624},
        {"CREATE TABLE T (A INT) EDITPROC MYPROC", -84},
        {"CREATE TABLE T (A INT) IN", -104},
        {"CREATE SYNONYM S FOR T", -84},
        {"ALTER TABLE EMP ADD X INT DROP PRIMARY KEY", -104},
        {"ALTER TABLE EMP", -104},
        {"ALTER INDEX X1 CLOSE NO", -84},
        {"DROP TABLESPACE DB1.TS1", -84},
        {"DROP TABLE A B", -104},
        {"CREATE DATABASE DATABASE1", -107},
        {"GRANT SELECT ON EMP TO JOE", -554},
        {"REVOKE SELECT ON EMP FROM JOE", -555},
        {"GRANT SELECT ON EMP TO SMITH1234", -107},
        {"GRANT ALL, ALTER ON EMP TO SAM", -104},
        {"GRANT SELECT ON PAYROLL12.EMP TO SAM", -107},
        {"GRANT DBADM ON DATABASE DB1 TO SAM", -84},
        {"GRANT SELECT ON DATABASE DB1 TO SAM", -84},
        {"REVOKE UPDATE (A) ON EMP FROM SAM", -104},
        {"REVOKE SELECT ON EMP FROM SAM BY JOE", -84},
        {"GRANT SELECT, DROP ON EMP TO SAM", -104},
        {"GRANT SELECT ON EMP SAM", -104},
    };
    for (auto [db2, sqlcode] : cases) {
        const Plan plan = translate(db2, Context{"JOE"});
        ASSERT_TRUE(plan.error) << "accepted: " << db2;
        EXPECT_EQ(plan.error->sqlcode, sqlcode) << db2 << "\n" << plan.error->message;
        EXPECT_TRUE(plan.statement.empty() && plan.setup.empty() && plan.after.empty()) << db2;
    }
}

}  // namespace
}  // namespace gw::dialect
