// grants_test.cpp - DB2 GRANT and REVOKE translated into PostgreSQL grants and kwgw calls.
#include "grants.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace gw::dialect {
namespace {

const Context kJoe{"JOE"};

struct Expected {
    std::vector<std::string> setup;
    std::string statement;
    std::vector<std::string> after;
};

void expectPlan(std::string_view db2, const Expected& e) {
    const Plan plan = translate(db2, kJoe);
    ASSERT_FALSE(plan.error) << db2 << "\n" << plan.error->message;
    EXPECT_EQ(plan.setup, e.setup) << db2;
    EXPECT_EQ(plan.statement, e.statement) << db2;
    EXPECT_EQ(plan.after, e.after) << db2;
}

void expectRefused(std::string_view db2, int sqlcode) {
    const Plan plan = translate(db2, kJoe);
    ASSERT_TRUE(plan.error) << "accepted: " << db2;
    EXPECT_EQ(plan.error->sqlcode, sqlcode) << db2 << "\n" << plan.error->message;
}

TEST(Grant, TheSecurityDialogsStatementsBecomePostgresGrants) {
    expectPlan(
        "GRANT SELECT, UPDATE ( ENAME, SAL )  ON JOE.EMP TO SMITH",
        {{"SELECT kwgw.share_schema('joe')", "SELECT kwgw.check_grant('joe', 'emp', 'SELECT', 'UPDATE')",
          "SELECT kwgw.ensure_grantee('smith')"},
         "GRANT SELECT, UPDATE (\"ename\", \"sal\") ON TABLE \"joe\".\"emp\" TO \"smith\"",
         {}});
    expectPlan("GRANT ALL PRIVILEGES ON JOE.EMP TO SMITH",
               {{"SELECT kwgw.share_schema('joe')",
                 "SELECT kwgw.check_grant('joe', 'emp', 'DELETE', 'INSERT', 'SELECT', 'UPDATE')",
                 "SELECT kwgw.ensure_grantee('smith')"},
                "GRANT SELECT, INSERT, UPDATE, DELETE, REFERENCES ON TABLE \"joe\".\"emp\" TO \"smith\"",
                {"CALL kwgw.grant_extra('joe', 'emp', true, true, false, true, 'smith')"}});
}

TEST(Grant, AlterAndIndexGoToTheSideTableAndAlterAllowsForeignKeys) {
    expectPlan("GRANT ALTER, INDEX ON EMP TO SAM, PUBLIC WITH GRANT OPTION",
               {{"SELECT kwgw.share_schema('joe')", "SELECT kwgw.check_grant('joe', 'emp', 'ALTER', 'INDEX')",
                 "SELECT kwgw.ensure_grantee('sam')"},
                "GRANT REFERENCES ON TABLE \"joe\".\"emp\" TO \"sam\" WITH GRANT OPTION",
                {"GRANT REFERENCES ON TABLE \"joe\".\"emp\" TO PUBLIC",
                 "CALL kwgw.grant_extra('joe', 'emp', true, true, true, false, 'sam', NULL)"}});
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

TEST(Grant, DelimitedGranteesKeepTheirCase) {
    expectPlan("GRANT INSERT ON EMP TO \"sam\"",
               {{"SELECT kwgw.share_schema('joe')", "SELECT kwgw.check_grant('joe', 'emp', 'INSERT')",
                 "SELECT kwgw.ensure_grantee('SAM')"},
                "GRANT INSERT ON TABLE \"joe\".\"emp\" TO \"SAM\"",
                {}});
}

TEST(Revoke, OneCallPerTableCarriesEveryGrantee) {
    expectPlan("REVOKE ALL ON JOE.EMP FROM SMITH",
               {{}, "CALL kwgw.revoke_privileges('joe', 'emp', ARRAY['ALL'], 'smith')", {}});
    expectPlan("REVOKE SELECT, ALTER ON EMP, DEPT FROM SAM, PUBLIC",
               {{},
                "CALL kwgw.revoke_privileges('joe', 'emp', ARRAY['ALTER', 'SELECT'], 'sam', NULL)",
                {"CALL kwgw.revoke_privileges('joe', 'dept', ARRAY['ALTER', 'SELECT'], 'sam', NULL)"}});
}

TEST(GrantRevoke, WhatDb2RefusesIsRefusedBeforePostgresRuns) {
    expectRefused("GRANT SELECT ON EMP TO JOE", -554);
    expectRefused("REVOKE SELECT ON EMP FROM JOE", -555);
    expectRefused("GRANT SELECT ON EMP TO SMITH1234", -107);
    expectRefused("GRANT ALL, ALTER ON EMP TO SAM", -104);
    expectRefused("GRANT SELECT ON PAYROLL12.EMP TO SAM", -107);
    expectRefused("GRANT DBADM ON DATABASE DB1 TO SAM", -84);
    expectRefused("GRANT SELECT ON DATABASE DB1 TO SAM", -84);
    expectRefused("REVOKE UPDATE (A) ON EMP FROM SAM", -104);
    expectRefused("REVOKE SELECT ON EMP FROM SAM BY JOE", -84);
    expectRefused("GRANT SELECT, DROP ON EMP TO SAM", -104);
    expectRefused("GRANT SELECT ON EMP SAM", -104);
}

}  // namespace
}  // namespace gw::dialect
