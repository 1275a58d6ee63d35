// catalog_keys_test.cpp - sp_pkeys and sp_fkeys, called as the driver calls them, answer the keys of
// the fixture: the rows of one key together and in key order, DB2 names, rules 0 / 1 / 2.
#include <gtest/gtest.h>

#include "catalog_live.h"

namespace kwcat {
namespace {

using KeyProcedures = FixtureSessions;

TEST_F(KeyProcedures, PrimaryKeyColumnsComeInKeyOrderForAnyOwner) {
    const Answer a = must(*joe_, "sp_pkeys emp, joe");
    EXPECT_EQ(a.rows, (Rows{{"<null>", "JOE", "EMP", "EMPNO", "1", "EMP_PK"},
                            {"<null>", "JOE", "EMP", "WORKDEPT", "2", "EMP_PK"}}));
    ASSERT_EQ(a.columns.size(), 6u);
    EXPECT_EQ(a.columns[0].name, "TABLE_QUALIFIER");
    EXPECT_EQ(a.columns[3].name, "COLUMN_NAME");
    EXPECT_EQ(a.columns[4].name, "KEY_SEQ");
    EXPECT_EQ(a.columns[4].type, SYBINT2);
    EXPECT_EQ(a.status, 0) << "the call ends like a procedure";
    EXPECT_EQ(joe("sp_pkeys assign, smith"),
              (Rows{{"<null>", "SMITH", "ASSIGN", "EMPNO", "1", "ASSIGN_PK"},
                    {"<null>", "SMITH", "ASSIGN", "WORKDEPT", "2", "ASSIGN_PK"},
                    {"<null>", "SMITH", "ASSIGN", "PROJNO", "3", "ASSIGN_PK"}}));
    // Without an owner the current user's table is meant; the key's unique index named it.
    EXPECT_EQ(joe("sp_pkeys dept"), (Rows{{"<null>", "JOE", "DEPT", "DEPTNO", "1", "XDEPT"}}));
    EXPECT_EQ(joe("sp_pkeys empdept, joe"), Rows{});
    // A quoted name is passed as written: "emp" is not EMP.
    EXPECT_EQ(joe("sp_pkeys \"EMP\", joe").size(), 2u);
    EXPECT_EQ(joe("sp_pkeys \"emp\", joe"), Rows{});
}

TEST_F(KeyProcedures, ForeignKeysOfATableComeKeyByKeyWithTheirDeleteRules) {
    const Answer a = must(*joe_, "sp_fkeys ,,, proj, joe");
    // PKTABLE_OWNER, PKTABLE_NAME, PKCOLUMN_NAME, FKTABLE_OWNER, FKTABLE_NAME, FKCOLUMN_NAME, KEY_SEQ,
    // UPDATE_RULE, DELETE_RULE, FK_NAME, PK_NAME (the qualifiers are NULL).
    Rows seen;
    for (const auto& r : a.rows) {
        ASSERT_EQ(r.size(), 13u);
        EXPECT_EQ(r[0], "<null>");
        EXPECT_EQ(r[4], "<null>");
        seen.push_back({r[1], r[2], r[3], r[5], r[6], r[7], r[8], r[9], r[10], r[11], r[12]});
    }
    EXPECT_EQ(
        seen,
        (Rows{{"JOE", "DEPT", "DEPTNO", "JOE", "PROJ", "DEPTNO", "1", "1", "2", "FPDEPT", "XDEPT"},
              {"JOE", "EMP", "EMPNO", "JOE", "PROJ", "RESPEMP", "1", "1", "1", "FPEMP", "EMP_PK"},
              {"JOE", "EMP", "WORKDEPT", "JOE", "PROJ", "RESPDEPT", "2", "1", "1", "FPEMP", "EMP_PK"}}));
    ASSERT_EQ(a.columns.size(), 13u);
    EXPECT_EQ(a.columns[10].name, "DELETE_RULE");
}

TEST_F(KeyProcedures, DependentTablesOfEveryOwnerReferToTheParent) {
    Rows seen;
    for (const auto& r : joe("sp_fkeys emp, joe")) {
        seen.push_back({r[5], r[6], r[7], r[3], r[8], r[10], r[11]});
    }
    // FKTABLE_OWNER, FKTABLE_NAME, FKCOLUMN_NAME, PKCOLUMN_NAME, KEY_SEQ, DELETE_RULE, FK_NAME
    EXPECT_EQ(seen, (Rows{{"JOE", "PROJ", "RESPEMP", "EMPNO", "1", "1", "FPEMP"},
                          {"JOE", "PROJ", "RESPDEPT", "WORKDEPT", "2", "1", "FPEMP"},
                          {"SMITH", "ASSIGN", "EMPNO", "EMPNO", "1", "0", "FAEMP"},
                          {"SMITH", "ASSIGN", "WORKDEPT", "WORKDEPT", "2", "0", "FAEMP"}}));
    seen.clear();
    for (const auto& r : joe("sp_fkeys dept, joe")) {
        seen.push_back({r[6], r[7], r[10], r[11]});
    }
    EXPECT_EQ(seen, (Rows{{"EMP", "WORKDEPT", "0", "FDEPT"}, {"PROJ", "DEPTNO", "2", "FPDEPT"}}));
}

// The name columns of both procedures, as a client learns them from the row format.
std::vector<std::pair<int, int>> nameColumns(const Answer& a, std::initializer_list<size_t> positions) {
    std::vector<std::pair<int, int>> out;
    for (size_t p : positions) {
        out.emplace_back(p < a.columns.size() ? a.columns[p].type : -1,
                         p < a.columns.size() ? a.columns[p].length : -1);
    }
    return out;
}

// Sybase's procedures answer names as VARCHAR(32); JDBC clients read a TEXT column as a CLOB, so a
// name must never travel as text. A database whose procedures were installed returning tables of
// their own (which lose the lengths) gets them replaced by `kwgateway init`.
TEST_F(KeyProcedures, NamesTravelAsVarchar32AlsoAfterInitReplacesAnOlderInstallation) {
    // DB-Library reports a VARCHAR column as SYBCHAR, with its length.
    const std::vector<std::pair<int, int>> varchar32(5, {SYBCHAR, 32});
    EXPECT_EQ(nameColumns(must(*joe_, "sp_pkeys emp, joe"), {0, 1, 2, 3, 5}), varchar32);
    EXPECT_EQ(nameColumns(must(*joe_, "sp_fkeys emp, joe"), {1, 2, 3, 6, 7}), varchar32);

    env().exec(
        "DROP FUNCTION kwgw.sp_pkeys(text, text, text);"
        "CREATE FUNCTION kwgw.sp_pkeys(p_table text, p_owner text, p_qualifier text) "
        "RETURNS TABLE (table_qualifier varchar(32), table_owner varchar(32), table_name varchar(32), "
        "column_name varchar(32), key_seq int2, pk_name varchar(32)) LANGUAGE sql "
        "AS $$ SELECT NULL::varchar(32), 'JOE'::varchar(32), 'EMP'::varchar(32), 'EMPNO'::varchar(32), "
        "1::int2, 'EMP_PK'::varchar(32) $$");
    ASSERT_EQ(nameColumns(must(*joe_, "sp_pkeys emp, joe"), {2})[0].first, SYBTEXT)
        << "the older installation answers text";
    std::string output;
    ASSERT_EQ(env().runKwgateway({"init", "--pg", env().conninfo()}, &output), 0) << output;
    const Answer after = must(*joe_, "sp_pkeys emp, joe");
    EXPECT_EQ(nameColumns(after, {0, 1, 2, 3, 5}), varchar32);
    EXPECT_EQ(after.rows.size(), 2u) << "the procedure's own query is back";
}

// How arguments are read (positions, NULL, quotes, names) is CatalogArguments' test; here each
// procedure's own parameter names reach the catalog query.
TEST_F(KeyProcedures, ArgumentsGoByPositionOrByEachProceduresParameterNames) {
    const Rows empKey = joe("sp_pkeys emp");
    ASSERT_EQ(empKey.size(), 2u);
    for (const char* call :
         {"sp_pkeys @table_name = emp", "sp_pkeys @table_name = 'EMP', @table_owner = \"JOE\"",
          "exec sp_pkeys @table_owner = joe, @table_name = emp", "sp_pkeys emp, @table_qualifier = NULL"}) {
        EXPECT_EQ(joe(call), empKey) << call;
    }
    const Rows projKeys = joe("sp_fkeys ,,, proj, joe");
    ASSERT_EQ(projKeys.size(), 3u);
    EXPECT_EQ(joe("sp_fkeys @fktable_name = 'PROJ', @fktable_owner = joe"), projKeys);
    EXPECT_EQ(joe("sp_fkeys @pktable_name = emp"), joe("sp_fkeys emp, joe"));
    EXPECT_EQ(joe("sp_pkeys emp, 'NULL'"), Rows{}) << "a quoted NULL is a name";
}

}  // namespace
}  // namespace kwcat
