// catalog_test.cpp - the driver's catalog statements, sent to the live gateway exactly as the driver
// writes them (blanks included), answer the rows DB2 would for the fixture schema.
#include <gtest/gtest.h>

#include <map>

#include "catalog_live.h"

namespace kwcat {
namespace {

// The rows of the fixture's tables and the catalog's, sorted.
Rows fixtureRows(const Rows& rows) {
    return sorted(fixtureTables(rows, 0, 1));
}

// The catalog views, which the table list shows to anyone (PUBLIC may read them), and `more`.
Rows withCatalogTables(Rows more) {
    for (const std::string& t : catalogViews()) {
        more.push_back({"SYSIBM", t, "T"});
    }
    return sorted(more);
}

using CatalogStatements = FixtureSessions;

TEST_F(CatalogStatements, TableListShowsWhatEachUserMaySelectOrGrantWithViewsMarked) {
    // SMITH: JOE's EMP (granted), JOE's DEPT (PUBLIC), his own tables and view, the catalog.
    // Not JOE.PROJ (INSERT, ALTER and INDEX are no SELECT) nor JOE.EMPDEPT (not granted).
    EXPECT_EQ(fixtureRows(smith(tableListStatement("SMITH", true))),
              withCatalogTables({{"JOE", "DEPT", "T"},
                                 {"JOE", "EMP", "T"},
                                 {"SMITH", "ASSIGN", "T"},
                                 {"SMITH", "PCSQL_HOSTLIB", "T"},
                                 {"SMITH", "SMITHEMP", "V"}}));
    EXPECT_EQ(fixtureRows(joe(tableListStatement("JOE", true))),
              withCatalogTables({{"JOE", "DEPT", "T"},
                                 {"JOE", "EMP", "T"},
                                 {"JOE", "EMPDEPT", "V"},
                                 {"JOE", "PROJ", "T"},
                                 {"SMITH", "ASSIGN", "T"}}));
    EXPECT_EQ(smith(tableListStatement("SMITH", true, "JOE", "EMP")), (Rows{{"JOE", "EMP", "T"}}));
    EXPECT_EQ(smith(tableListStatement("SMITH", true, "JOE", "PROJ")), Rows{});
    // Grant-only: an owner holds his tables with grant option; a view only with what its base
    // tables allow: SMITH's view of JOE.EMP, which he may read but not grant, is not his to grant.
    EXPECT_EQ(fixtureRows(smith(tableListStatement("SMITH", false))),
              (Rows{{"SMITH", "ASSIGN", "T"}, {"SMITH", "PCSQL_HOSTLIB", "T"}}));
    EXPECT_EQ(
        fixtureRows(joe(tableListStatement("JOE", false))),
        (Rows{{"JOE", "DEPT", "T"}, {"JOE", "EMP", "T"}, {"JOE", "EMPDEPT", "V"}, {"JOE", "PROJ", "T"}}));
}

TEST_F(CatalogStatements, ColumnListGivesDb2TypesLengthsAndNullability) {
    const Answer a = must(*joe_,
                          "SELECT NAME, COLTYPE, LENGTH, SCALE, NULLS, COLNO  FROM SYSIBM.SYSCOLUMNS  WHERE  "
                          "TBNAME = 'EMP'  AND TBCREATOR = 'JOE' ORDER BY COLNO ");
    EXPECT_EQ(a.rows, (Rows{{"EMPNO", "INTEGER", "4", "0", "N", "1"},
                            {"WORKDEPT", "CHAR", "3", "0", "N", "2"},
                            {"LASTNAME", "VARCHAR", "15", "0", "N", "3"},
                            {"SALARY", "DECIMAL", "9", "2", "Y", "4"},
                            {"BONUS", "FLOAT", "8", "0", "Y", "5"},
                            {"EDLEVEL", "SMALLINT", "2", "0", "N", "6"},
                            {"HIREDATE", "DATE", "4", "0", "Y", "7"},
                            {"STARTTIME", "TIME", "3", "0", "Y", "8"},
                            {"CHANGED", "TIMESTMP", "10", "0", "Y", "9"},
                            {"RESUME", "LONGVAR", "32700", "0", "Y", "10"}}));
    // The driver binds NAME into 19 bytes and COLTYPE into 9, LENGTH and SCALE as smallints.
    ASSERT_EQ(a.columns.size(), 6u);
    EXPECT_EQ(a.columns[0].name, "NAME");
    EXPECT_EQ(a.columns[0].length, 18);
    EXPECT_EQ(a.columns[1].length, 8);
    EXPECT_EQ(a.columns[2].length, 2);
    EXPECT_EQ(a.columns[4].length, 1);
    // The probe that tells date, time and timestamp columns apart by COLTYPE.
    for (auto [column, coltype] : {std::pair{"HIREDATE", "DATE"}, std::pair{"STARTTIME", "TIME"},
                                   std::pair{"CHANGED", "TIMESTMP"}, std::pair{"LASTNAME", "VARCHAR"}}) {
        EXPECT_EQ(
            joe(std::string("SELECT COLTYPE FROM SYSIBM.SYSCOLUMNS WHERE  TBNAME = 'EMP' AND NAME = '") +
                column + "' AND TBCREATOR = 'JOE' "),
            (Rows{{coltype}}))
            << column;
    }
    // The existence probe of one column.
    const std::string probe =
        "SELECT TBNAME FROM SYSIBM.SYSCOLUMNS WHERE TBCREATOR = 'JOE' AND TBNAME = 'EMP' AND NAME = ";
    EXPECT_EQ(joe(probe + "'LASTNAME'"), (Rows{{"EMP"}}));
    EXPECT_EQ(joe(probe + "'NOSUCH'"), Rows{});
}

TEST_F(CatalogStatements, IndexesShowPrimaryUniqueAndClusteredOnesWithTheirCreatorsAndKeys) {
    const std::string head =
        "SELECT NAME, UNIQUERULE, CLUSTERED, CREATOR  FROM SYSIBM.SYSINDEXES  WHERE TBNAME = '";
    EXPECT_EQ(
        sorted(joe(head + "EMP' AND TBCREATOR = 'JOE' ")),
        (Rows{{"EMP_PK", "P", "N", "JOE"}, {"XEMPHIRE", "D", "Y", "JOE"}, {"XEMPNAME", "U", "N", "JOE"}}));
    // The unique index on DEPT's key became its primary index.
    EXPECT_EQ(joe(head + "DEPT' AND TBCREATOR = 'JOE' "), (Rows{{"XDEPT", "P", "N", "JOE"}}));
    EXPECT_EQ(sorted(joe(head + "PROJ' AND TBCREATOR = 'JOE' ")),
              (Rows{{"PROJ_PK", "P", "N", "JOE"}, {"XPROJ", "D", "N", "KWCX"}}));
    // Keys: the table's column numbers, positions in the key and order.
    const std::string keys = "SELECT COLNO, COLSEQ, ORDERING FROM SYSIBM.SYSKEYS  WHERE IXNAME = '";
    EXPECT_EQ(sorted(joe(keys + "XEMPNAME' AND IXCREATOR = 'JOE' ")),
              (Rows{{"1", "2", "D"}, {"3", "1", "A"}}));
    EXPECT_EQ(joe(keys + "XEMPHIRE' AND IXCREATOR = 'JOE' "), (Rows{{"7", "1", "D"}}));
    const std::string names = "SELECT COLNAME FROM SYSIBM.SYSKEYS WHERE IXNAME = '";
    EXPECT_EQ(sorted(joe(names + "EMP_PK' AND IXCREATOR = 'JOE' ")), (Rows{{"EMPNO"}, {"WORKDEPT"}}));
    EXPECT_EQ(joe(names + "XPROJ' AND IXCREATOR = 'KWCX' "), (Rows{{"RESPEMP"}}));
}

TEST_F(CatalogStatements, ViewTextIsTheCreateViewAsWrittenInPiecesThatJoinBack) {
    const std::string text = "SELECT TEXT, SEQNO FROM SYSIBM.SYSVIEWS WHERE  NAME = '";
    EXPECT_EQ(joe(text + "EMPDEPT' AND CREATOR = 'JOE' ORDER BY SEQNO"),
              (Rows{{"CREATE VIEW EMPDEPT (EMPNO, LASTNAME, DEPTNAME) AS SELECT E.EMPNO, E.LASTNAME, "
                     "D.DEPTNAME FROM EMP E, DEPT D WHERE E.WORKDEPT = D.DEPTNO",
                     "1"}}));
    std::string statement = "CREATE VIEW LONGVIEW AS SELECT EMPNO,";
    for (int i = 0; i < 40; ++i) {
        statement += " LASTNAME AS NAME_NUMBER_" + std::to_string(i) + ",";
    }
    statement += "         WORKDEPT FROM EMP";
    must(*joe_, statement);
    const Rows pieces = joe(text + "LONGVIEW' AND CREATOR = 'JOE' ORDER BY SEQNO");
    ASSERT_GE(pieces.size(), 4u);
    std::string joined;
    for (size_t i = 0; i < pieces.size(); ++i) {
        EXPECT_EQ(pieces[i][1], std::to_string(i + 1));
        EXPECT_LE(pieces[i][0].size(), 254u);
        joined += pieces[i][0];  // trailing blanks are already stripped: none may be lost
    }
    EXPECT_EQ(joined, statement);
    must(*joe_, "DROP VIEW LONGVIEW");
}

TEST_F(CatalogStatements, PrivilegesOfAGranteeOnATableAreDb2FlagsAndUpdatableColumns) {
    const std::string head =
        "SELECT UPDATECOLS, ALTERAUTH, DELETEAUTH, INDEXAUTH, INSERTAUTH, SELECTAUTH, UPDATEAUTH FROM "
        "SYSIBM.SYSTABAUTH WHERE TCREATOR = 'JOE' AND GRANTEE = '";
    // Blank flags read as empty texts once the binding has stripped them.
    EXPECT_EQ(joe(head + "SMITH' AND TTNAME = 'EMP' "), (Rows{{"*", "Y", "", "", "", "Y", "Y"}}));
    EXPECT_EQ(joe(head + "SMITH' AND TTNAME = 'PROJ' "), (Rows{{"", "G", "", "G", "G", "", ""}}));
    EXPECT_EQ(joe(head + "JOE' AND TTNAME = 'EMP' "), (Rows{{"", "G", "G", "G", "G", "G", "G"}}));
    EXPECT_EQ(joe(head + "PUBLIC' AND TTNAME = 'DEPT' "), (Rows{{"", "", "", "", "", "Y", ""}}));
    EXPECT_EQ(joe(head + "JOE' AND TTNAME = 'EMPDEPT' "), (Rows{{"", "", "", "", "", "G", ""}}));
    EXPECT_EQ(joe(head + "SMITH' AND TTNAME = 'DEPT' "), Rows{});
    EXPECT_EQ(sorted(joe("SELECT COLNAME FROM SYSIBM.SYSCOLAUTH WHERE CREATOR = 'JOE'AND GRANTEE = 'SMITH' "
                         "AND TNAME = 'EMP' ")),
              (Rows{{"BONUS"}, {"SALARY"}}));
}

TEST_F(CatalogStatements, RolesWithNamesTooLongForDb2AreNotShownTruncated) {
    env().exec(
        "DO $$ BEGIN CREATE ROLE kwcat_long_grantee NOLOGIN; EXCEPTION WHEN duplicate_object OR "
        "unique_violation THEN NULL; END $$");
    env().exec("GRANT SELECT, UPDATE (deptname) ON joe.dept TO kwcat_long_grantee");
    EXPECT_EQ(joe("SELECT GRANTEE FROM SYSIBM.SYSTABAUTH WHERE GRANTEE LIKE 'KWCAT_LO%'"), Rows{});
    EXPECT_EQ(joe("SELECT GRANTEE FROM SYSIBM.SYSCOLAUTH WHERE GRANTEE LIKE 'KWCAT_LO%'"), Rows{});
    env().exec("REVOKE ALL ON joe.dept FROM kwcat_long_grantee");
}

TEST_F(CatalogStatements, CatalogColumnsHaveDb2WidthsAndTheCatalogDescribesItself) {
    const Answer a =
        must(*joe_, "SELECT NAME, CREATOR, TYPE, DBNAME, COLCOUNT FROM SYSIBM.SYSTABLES WHERE NAME = 'EMP'");
    ASSERT_EQ(a.columns.size(), 5u);
    EXPECT_EQ(a.columns[0].length, 18);  // NAME VARCHAR(18)
    EXPECT_EQ(a.columns[1].length, 8);   // CREATOR CHAR(8)
    EXPECT_EQ(a.columns[2].length, 1);
    EXPECT_EQ(a.rows, (Rows{{"EMP", "JOE", "T", "DSNDB04", "10"}}));
    EXPECT_EQ(joe("SELECT CREATOR, TYPE, DBNAME FROM SYSIBM.SYSTABLES WHERE NAME = 'SYSTABAUTH'"),
              (Rows{{"SYSIBM", "T", "DSNDB06"}}));
    EXPECT_EQ(joe("SELECT NAME, COLTYPE, LENGTH FROM SYSIBM.SYSCOLUMNS WHERE TBCREATOR = 'SYSIBM' AND TBNAME "
                  "= 'SYSTABAUTH' AND COLNO <= 2 ORDER BY COLNO"),
              (Rows{{"GRANTOR", "CHAR", "8"}, {"GRANTEE", "CHAR", "8"}}));
}

TEST_F(CatalogStatements, CatalogTypesAgreeWithTheColumnsResultSetsDeliver) {
    // A table made behind the gateway's back, with PostgreSQL types DB2 does not have.
    env().exec("CREATE TABLE joe.pgtypes (b bigint, n numeric, t text, f boolean, r real, c char(300))");
    env().exec("ALTER TABLE joe.pgtypes OWNER TO joe");
    EXPECT_EQ(joe("SELECT NAME, COLTYPE, LENGTH, SCALE FROM SYSIBM.SYSCOLUMNS WHERE TBCREATOR = 'JOE' AND "
                  "TBNAME = 'PGTYPES' ORDER BY COLNO"),
              (Rows{{"B", "INTEGER", "4", "0"},
                    {"N", "DECIMAL", "31", "6"},
                    {"T", "LONGVAR", "32700", "0"},
                    {"F", "VARCHAR", "254", "0"},
                    {"R", "FLOAT", "4", "0"},
                    {"C", "CHAR", "300", "0"}}));
    // The wire length of a catalog type: fixed, DECIMAL's text with sign and point, else LENGTH.
    const std::map<std::string, int> fixed = {{"INTEGER", 4}, {"SMALLINT", 2}, {"FLOAT", 8},
                                              {"DATE", 10},   {"TIME", 8},     {"TIMESTMP", 26}};
    for (const std::string table : {"EMP", "PGTYPES"}) {
        const Rows catalog =
            joe("SELECT NAME, COLTYPE, LENGTH FROM SYSIBM.SYSCOLUMNS WHERE TBCREATOR = 'JOE' AND TBNAME = '" +
                table + "' ORDER BY COLNO");
        const Answer result = must(*joe_, "SELECT * FROM JOE." + table + " WHERE 1 = 2");
        ASSERT_EQ(catalog.size(), result.columns.size()) << table;
        for (size_t i = 0; i < result.columns.size(); ++i) {
            const auto& c = catalog[i];
            const int length =
                fixed.count(c[1]) ? fixed.at(c[1]) : std::stoi(c[2]) + (c[1] == "DECIMAL" ? 2 : 0);
            EXPECT_EQ(result.columns[i].name, c[0]) << table;
            EXPECT_EQ(result.columns[i].length, length) << table << "." << c[0] << " " << c[1];
        }
    }
}

}  // namespace
}  // namespace kwcat
