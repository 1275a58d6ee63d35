// catalog_test.cpp - the driver's catalog statements, sent to the live gateway exactly as the driver
// writes them (blanks included), answer the rows DB2 would for the fixture schema.
#include <gtest/gtest.h>

#include <set>

#include "catalog_fixture.h"
#include "catalog_live.h"

namespace kwcat {
namespace {

// The rows of the fixture's tables and the catalog's; other tests of this program add tables of
// their own, which the table-list claims here are not about.
Rows fixtureRows(const Rows& rows) {
    static const std::set<std::string> tables = {"DEPT",          "EMP",    "PROJ",    "EMPDEPT",
                                                 "PCSQL_HOSTLIB", "ASSIGN", "SMITHEMP"};
    Rows kept;
    for (const auto& r : rows) {
        if (r[0] == "SYSIBM" || tables.count(r[1]) != 0) {
            kept.push_back(r);
        }
    }
    return sorted(kept);
}

class CatalogStatements : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { buildFixture(); }
    void SetUp() override {
        joe_ = connect(kwtest::kJoe);
        smith_ = connect(kwtest::kSmith);
    }
    std::unique_ptr<kwtest::DbClient> joe_;
    std::unique_ptr<kwtest::DbClient> smith_;
};

TEST_F(CatalogStatements, TableListShowsWhatEachUserMaySelectWithViewsMarked) {
    // SMITH: JOE's EMP (granted), JOE's DEPT (PUBLIC), his own tables and view, the catalog.
    // Not JOE.PROJ (INSERT, ALTER and INDEX are no SELECT) nor JOE.EMPDEPT (not granted).
    EXPECT_EQ(fixtureRows(must(*smith_, tableListStatement("SMITH", true)).rows),
              sorted(concat(catalogTableRows(), {{"JOE", "DEPT", "T"},
                                                 {"JOE", "EMP", "T"},
                                                 {"SMITH", "ASSIGN", "T"},
                                                 {"SMITH", "PCSQL_HOSTLIB", "T"},
                                                 {"SMITH", "SMITHEMP", "V"}})));
    EXPECT_EQ(fixtureRows(must(*joe_, tableListStatement("JOE", true)).rows),
              sorted(concat(catalogTableRows(), {{"JOE", "DEPT", "T"},
                                                 {"JOE", "EMP", "T"},
                                                 {"JOE", "EMPDEPT", "V"},
                                                 {"JOE", "PROJ", "T"},
                                                 {"SMITH", "ASSIGN", "T"}})));
}

TEST_F(CatalogStatements, TableListForOneTableFindsOnlyIt) {
    EXPECT_EQ(must(*smith_, tableListStatement("SMITH", true, "JOE", "EMP")).rows,
              (Rows{{"JOE", "EMP", "T"}}));
    EXPECT_EQ(must(*smith_, tableListStatement("SMITH", true, "JOE", "PROJ")).rows, Rows{});
}

TEST_F(CatalogStatements, GrantOnlyListShowsTablesHeldWithGrantOption) {
    // An owner holds his tables with grant option; a view only with what its base tables allow:
    // SMITH's view of JOE.EMP, which he may read but not grant, is not his to grant.
    EXPECT_EQ(fixtureRows(must(*smith_, tableListStatement("SMITH", false)).rows),
              (Rows{{"SMITH", "ASSIGN", "T"}, {"SMITH", "PCSQL_HOSTLIB", "T"}}));
    EXPECT_EQ(
        fixtureRows(must(*joe_, tableListStatement("JOE", false)).rows),
        (Rows{{"JOE", "DEPT", "T"}, {"JOE", "EMP", "T"}, {"JOE", "EMPDEPT", "V"}, {"JOE", "PROJ", "T"}}));
}

TEST_F(CatalogStatements, ColumnListGivesDb2TypesLengthsAndNullability) {
    const Answer a =
        must(*joe_,
             "SELECT NAME, COLTYPE, LENGTH, SCALE, NULLS, COLNO  FROM SYSIBM.SYSCOLUMNS  WHERE  TBNAME = "
             "'EMP'  AND TBCREATOR = 'JOE' ORDER BY COLNO ");
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
}

TEST_F(CatalogStatements, DatetimeColumnsAreTellableApartByColtype) {
    const struct {
        const char* column;
        const char* coltype;
    } cases[] = {
        {"HIREDATE", "DATE"}, {"STARTTIME", "TIME"}, {"CHANGED", "TIMESTMP"}, {"LASTNAME", "VARCHAR"}};
    for (const auto& c : cases) {
        const std::string sql =
            std::string("SELECT COLTYPE FROM SYSIBM.SYSCOLUMNS WHERE  TBNAME = 'EMP' AND NAME = '") +
            c.column + "' AND TBCREATOR = 'JOE' ";
        EXPECT_EQ(must(*joe_, sql).rows, (Rows{{c.coltype}})) << c.column;
    }
}

TEST_F(CatalogStatements, ColumnExistenceAnswersOneRowOrNone) {
    EXPECT_EQ(
        must(*joe_,
             "SELECT TBNAME FROM SYSIBM.SYSCOLUMNS WHERE TBCREATOR = 'JOE' AND TBNAME = 'EMP' AND NAME = "
             "'LASTNAME'")
            .rows,
        (Rows{{"EMP"}}));
    EXPECT_EQ(
        must(*joe_,
             "SELECT TBNAME FROM SYSIBM.SYSCOLUMNS WHERE TBCREATOR = 'JOE' AND TBNAME = 'EMP' AND NAME = "
             "'NOSUCH'")
            .rows,
        Rows{});
}

TEST_F(CatalogStatements, StoredRequestsAreListedAndTheirTextSizedByReqText) {
    EXPECT_EQ(must(*joe_,
                   "SELECT LENGTH FROM SYSIBM.SYSCOLUMNS WHERE NAME = 'REQ_TEXT' AND       TBNAME = "
                   "'PCSQL_HOSTLIB' AND "
                   "      TBCREATOR = 'SMITH' ")
                  .rows,
              (Rows{{"4046"}}));
    EXPECT_EQ(must(*smith_, "SELECT REQ_NAME FROM SMITH.PCSQL_HOSTLIB").rows, (Rows{{"DEPTLIST"}}));
    EXPECT_EQ(must(*smith_, "SELECT REQ_TEXT FROM SMITH.PCSQL_HOSTLIB WHERE REQ_NAME  = 'DEPTLIST' ").rows,
              (Rows{{"SELECT DEPTNO, DEPTNAME FROM JOE.DEPT"}}));
}

TEST_F(CatalogStatements, IndexListShowsPrimaryUniqueAndClusteredIndexesWithTheirCreators) {
    const std::string head =
        "SELECT NAME, UNIQUERULE, CLUSTERED, CREATOR  FROM SYSIBM.SYSINDEXES  WHERE TBNAME = '";
    EXPECT_EQ(
        sorted(must(*joe_, head + "EMP' AND TBCREATOR = 'JOE' ").rows),
        (Rows{{"EMP_PK", "P", "N", "JOE"}, {"XEMPHIRE", "D", "Y", "JOE"}, {"XEMPNAME", "U", "N", "JOE"}}));
    // The unique index on DEPT's key became its primary index.
    EXPECT_EQ(must(*joe_, head + "DEPT' AND TBCREATOR = 'JOE' ").rows, (Rows{{"XDEPT", "P", "N", "JOE"}}));
    EXPECT_EQ(sorted(must(*joe_, head + "PROJ' AND TBCREATOR = 'JOE' ").rows),
              (Rows{{"PROJ_PK", "P", "N", "JOE"}, {"XPROJ", "D", "N", "KWCX"}}));
}

TEST_F(CatalogStatements, IndexKeysGiveTableColumnNumbersKeyPositionsAndOrder) {
    EXPECT_EQ(
        sorted(
            must(
                *joe_,
                "SELECT COLNO, COLSEQ, ORDERING FROM SYSIBM.SYSKEYS  WHERE IXNAME = 'XEMPNAME' AND IXCREATOR "
                "= 'JOE' ")
                .rows),
        (Rows{{"1", "2", "D"}, {"3", "1", "A"}}));
    EXPECT_EQ(
        must(*joe_,
             "SELECT COLNO, COLSEQ, ORDERING FROM SYSIBM.SYSKEYS  WHERE IXNAME = 'XEMPHIRE' AND IXCREATOR = "
             "'JOE' ")
            .rows,
        (Rows{{"7", "1", "D"}}));
    EXPECT_EQ(sorted(must(*joe_,
                          "SELECT COLNAME FROM SYSIBM.SYSKEYS WHERE IXNAME = 'EMP_PK' AND IXCREATOR = 'JOE' ")
                         .rows),
              (Rows{{"EMPNO"}, {"WORKDEPT"}}));
    EXPECT_EQ(
        must(*joe_, "SELECT COLNAME FROM SYSIBM.SYSKEYS WHERE IXNAME = 'XPROJ' AND IXCREATOR = 'KWCX' ").rows,
        (Rows{{"RESPEMP"}}));
}

TEST_F(CatalogStatements, ViewTextIsTheCreateViewStatementAsWritten) {
    EXPECT_EQ(
        must(*joe_,
             "SELECT TEXT, SEQNO FROM SYSIBM.SYSVIEWS WHERE  NAME = 'EMPDEPT' AND CREATOR = 'JOE' ORDER BY "
             "SEQNO")
            .rows,
        (Rows{
            {"CREATE VIEW EMPDEPT (EMPNO, LASTNAME, DEPTNAME) AS SELECT E.EMPNO, E.LASTNAME, D.DEPTNAME FROM "
             "EMP E, DEPT D WHERE E.WORKDEPT = D.DEPTNO",
             "1"}}));
}

TEST_F(CatalogStatements, LongViewTextComesInPiecesThatJoinBackAndNeverEndInABlank) {
    std::string statement = "CREATE VIEW LONGVIEW AS SELECT EMPNO,";
    for (int i = 0; i < 40; ++i) {
        statement += " LASTNAME AS NAME_NUMBER_" + std::to_string(i) + ",";
    }
    statement += "         WORKDEPT FROM EMP";
    must(*joe_, statement);
    const Answer a =
        must(*joe_,
             "SELECT TEXT, SEQNO FROM SYSIBM.SYSVIEWS WHERE  NAME = 'LONGVIEW' AND CREATOR = 'JOE' ORDER BY "
             "SEQNO");
    ASSERT_GE(a.rows.size(), 4u);
    std::string joined;
    for (size_t i = 0; i < a.rows.size(); ++i) {
        EXPECT_EQ(a.rows[i][1], std::to_string(i + 1));
        EXPECT_LE(a.rows[i][0].size(), 254u);
        joined += a.rows[i][0];  // trailing blanks are already stripped: nothing must be lost
    }
    EXPECT_EQ(joined, statement);
    must(*joe_, "DROP VIEW LONGVIEW");
}

TEST_F(CatalogStatements, PrivilegesOfAGranteeOnATableAreDb2Flags) {
    const std::string head =
        "SELECT UPDATECOLS, ALTERAUTH, DELETEAUTH, INDEXAUTH, INSERTAUTH, SELECTAUTH, UPDATEAUTH FROM "
        "SYSIBM.SYSTABAUTH WHERE TCREATOR = 'JOE' AND GRANTEE = '";
    // Blank flags read as empty texts once the binding has stripped them.
    EXPECT_EQ(must(*joe_, head + "SMITH' AND TTNAME = 'EMP' ").rows,
              (Rows{{"*", "Y", "", "", "", "Y", "Y"}}));
    EXPECT_EQ(must(*joe_, head + "SMITH' AND TTNAME = 'PROJ' ").rows,
              (Rows{{"", "G", "", "G", "G", "", ""}}));
    EXPECT_EQ(must(*joe_, head + "JOE' AND TTNAME = 'EMP' ").rows,
              (Rows{{"", "G", "G", "G", "G", "G", "G"}}));
    EXPECT_EQ(must(*joe_, head + "PUBLIC' AND TTNAME = 'DEPT' ").rows, (Rows{{"", "", "", "", "", "Y", ""}}));
    EXPECT_EQ(must(*joe_, head + "JOE' AND TTNAME = 'EMPDEPT' ").rows, (Rows{{"", "", "", "", "", "G", ""}}));
    EXPECT_EQ(must(*joe_, head + "SMITH' AND TTNAME = 'DEPT' ").rows, Rows{});
}

TEST_F(CatalogStatements, RolesWithNamesTooLongForDb2AreNotShownTruncated) {
    env().exec(
        "DO $$ BEGIN CREATE ROLE kwcat_long_grantee NOLOGIN; EXCEPTION WHEN duplicate_object OR "
        "unique_violation "
        "THEN NULL; END $$");
    env().exec("GRANT SELECT, UPDATE (deptname) ON joe.dept TO kwcat_long_grantee");
    EXPECT_EQ(must(*joe_, "SELECT GRANTEE FROM SYSIBM.SYSTABAUTH WHERE GRANTEE LIKE 'KWCAT_LO%'").rows,
              Rows{});
    EXPECT_EQ(must(*joe_, "SELECT GRANTEE FROM SYSIBM.SYSCOLAUTH WHERE GRANTEE LIKE 'KWCAT_LO%'").rows,
              Rows{});
    env().exec("REVOKE ALL ON joe.dept FROM kwcat_long_grantee");
}

TEST_F(CatalogStatements, ColumnPrivilegesListTheUpdatableColumns) {
    EXPECT_EQ(sorted(must(*joe_,
                          "SELECT COLNAME FROM SYSIBM.SYSCOLAUTH WHERE CREATOR = 'JOE'AND GRANTEE = 'SMITH' "
                          "AND TNAME = "
                          "'EMP' ")
                         .rows),
              (Rows{{"BONUS"}, {"SALARY"}}));
}

TEST_F(CatalogStatements, CatalogColumnsHaveDb2Widths) {
    const Answer a =
        must(*joe_, "SELECT NAME, CREATOR, TYPE, DBNAME, COLCOUNT FROM SYSIBM.SYSTABLES WHERE NAME = 'EMP'");
    ASSERT_EQ(a.columns.size(), 5u);
    EXPECT_EQ(a.columns[0].length, 18);  // NAME VARCHAR(18)
    EXPECT_EQ(a.columns[1].length, 8);   // CREATOR CHAR(8)
    EXPECT_EQ(a.columns[2].length, 1);
    EXPECT_EQ(a.rows, (Rows{{"EMP", "JOE", "T", "DSNDB04", "10"}}));
}

// The wire length a column of this catalog type travels with (the gateway's type table).
int wireLength(const std::string& coltype, int length) {
    if (coltype == "INTEGER") {
        return 4;
    }
    if (coltype == "SMALLINT") {
        return 2;
    }
    if (coltype == "FLOAT") {
        return 8;
    }
    if (coltype == "DECIMAL") {
        return length + 2;
    }
    if (coltype == "DATE") {
        return 10;
    }
    if (coltype == "TIME") {
        return 8;
    }
    if (coltype == "TIMESTMP") {
        return 26;
    }
    return length;  // CHAR, VARCHAR, LONGVAR
}

TEST_F(CatalogStatements, CatalogTypesAgreeWithTheColumnsResultSetsDeliver) {
    // A table made behind the gateway's back, with PostgreSQL types DB2 does not have.
    env().exec("CREATE TABLE joe.pgtypes (b bigint, n numeric, t text, f boolean, r real, c char(300))");
    env().exec("ALTER TABLE joe.pgtypes OWNER TO joe");
    EXPECT_EQ(
        must(
            *joe_,
            "SELECT NAME, COLTYPE, LENGTH, SCALE FROM SYSIBM.SYSCOLUMNS WHERE TBCREATOR = 'JOE' AND TBNAME = "
            "'PGTYPES' ORDER BY COLNO")
            .rows,
        (Rows{{"B", "INTEGER", "4", "0"},
              {"N", "DECIMAL", "31", "6"},
              {"T", "LONGVAR", "32700", "0"},
              {"F", "VARCHAR", "254", "0"},
              {"R", "FLOAT", "4", "0"},
              {"C", "CHAR", "300", "0"}}));
    for (const char* table : {"EMP", "PGTYPES"}) {
        const Answer catalog =
            must(*joe_, std::string("SELECT NAME, COLTYPE, LENGTH FROM SYSIBM.SYSCOLUMNS WHERE "
                                    "TBCREATOR = 'JOE' AND TBNAME = '") +
                            table + "' ORDER BY COLNO");
        const Answer result = must(*joe_, std::string("SELECT * FROM JOE.") + table + " WHERE 1 = 2");
        ASSERT_EQ(catalog.rows.size(), result.columns.size()) << table;
        for (size_t i = 0; i < result.columns.size(); ++i) {
            const auto& c = catalog.rows[i];
            EXPECT_EQ(result.columns[i].name, c[0]) << table;
            EXPECT_EQ(result.columns[i].length, wireLength(c[1], std::stoi(c[2])))
                << table << "." << c[0] << " " << c[1];
        }
    }
}

TEST_F(CatalogStatements, TheCatalogDescribesItself) {
    EXPECT_EQ(
        must(*joe_, "SELECT CREATOR, TYPE, DBNAME FROM SYSIBM.SYSTABLES WHERE NAME = 'SYSTABAUTH'").rows,
        (Rows{{"SYSIBM", "T", "DSNDB06"}}));
    EXPECT_EQ(
        must(*joe_,
             "SELECT NAME, COLTYPE, LENGTH FROM SYSIBM.SYSCOLUMNS WHERE TBCREATOR = 'SYSIBM' AND TBNAME = "
             "'SYSTABAUTH' AND COLNO <= 2 ORDER BY COLNO")
            .rows,
        (Rows{{"GRANTOR", "CHAR", "8"}, {"GRANTEE", "CHAR", "8"}}));
}

}  // namespace
}  // namespace kwcat
