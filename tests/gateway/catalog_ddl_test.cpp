// catalog_ddl_test.cpp - the extended catalog's DDL as the driver sends it (the five CREATE TABLE
// bodies with and without IN clauses, their indexes and grants, the seed rows, the dictionary and
// clean-up statements), the registry of databases and table spaces, and `kwgateway init` run again
// on a database in use.
#include <gtest/gtest.h>

#include <fmt/format.h>

#include "catalog_live.h"

namespace kwcat {
namespace {

struct CatalogTable {
    const char* name;
    const char* body;      // sent after "CREATE TABLE JOE."
    const char* inClause;  // the IN clause the driver appends ("" without a database)
    const char* index;     // the index statement
    const char* dbname;    // what SYSTABLES then shows
    const char* tsname;
};

const CatalogTable kCatalogTables[] = {
    {"KWCATTBL",
     "KWCATTBL (KWT_TNAM CHAR(30),KWT_TID INTEGER,KWT_OWNR CHAR(30),KWD_FHGT SMALLINT,KWD_FWGT "
     "SMALLINT,KWD_FITL "
     "CHAR(1),KWD_FUNL CHAR(1),KWD_FCHR SMALLINT,KWD_FPTC SMALLINT,KWD_FFCE CHAR(18),KWH_FHGT "
     "SMALLINT,KWH_FWGT "
     "SMALLINT,KWH_FITL CHAR(1),KWH_FUNL CHAR(1),KWH_FCHR SMALLINT,KWH_FPTC SMALLINT,KWH_FFCE "
     "CHAR(18),KWL_FHGT "
     "SMALLINT,KWL_FWGT SMALLINT,KWL_FITL CHAR(1),KWL_FUNL CHAR(1),KWL_FCHR SMALLINT,KWL_FPTC "
     "SMALLINT,KWL_FFCE "
     "CHAR(18),KWT_CMNT CHAR(254))",
     "IN DB1.TS1 ", "CREATE UNIQUE INDEX KWCATTBL_IDX   ON JOE.KWCATTBL(KWT_TNAM, KWT_OWNR) ", "DB1", "TS1"},
    {"KWCATCOL",
     "KWCATCOL ( KWC_TNAM CHAR(30),KWC_TID INTEGER,KWC_OWNR CHAR(30),KWC_CNAM CHAR(30),KWC_CID "
     "SMALLINT,KWC_LABL "
     "CHAR(254),KWC_LPOS SMALLINT,KWC_HDR CHAR(254),KWC_HPOS SMALLINT,KWC_JTFY SMALLINT,KWC_MASK "
     "CHAR(31),KWC_CASE "
     "SMALLINT,KWC_HGHT SMALLINT,KWC_WDTH SMALLINT,KWC_PTRN CHAR(31),KWC_BMAP CHAR(1),KWC_INIT "
     "CHAR(254),KWC_CMNT "
     "CHAR(254),KWC_EDIT CHAR(31),KWC_TAG CHAR(254))",
     "IN DATABASE DB1 ", "CREATE UNIQUE INDEX KWCATCOL_IDX  ON JOE.KWCATCOL(KWC_TNAM, KWC_OWNR, KWC_CNAM)",
     "DB1", "KWCATCOL"},
    {"KWCATFMT",
     "KWCATFMT (KWF_NAME CHAR(30) NOT NULL,KWF_FRMT CHAR(254) NOT NULL,KWF_TYPE SMALLINT NOT NULL,KWF_CNTR "
     "int ) ",
     "", "CREATE UNIQUE INDEX KWCATFMT_IDX  ON JOE.KWCATFMT(KWF_NAME) ", "DSNDB04", "KWCATFMT"},
    {"KWCATVLD",
     "KWCATVLD (KWV_NAME CHAR(30) NOT NULL,KWV_VALD CHAR(254) NOT NULL,KWV_TYPE SMALLINT,KWV_CNTR "
     "INTEGER,KWV_MSG "
     "CHAR(254)) ",
     "IN DB1.TS1 ", "CREATE UNIQUE INDEX KWCATVLD_IDX  ON JOE.KWCATVLD(KWV_NAME) CLUSTER ", "DB1", "TS1"},
    {"KWCATEDT",
     "KWCATEDT (KWE_NAME CHAR(30) NOT NULL,KWE_EDIT VARCHAR(254),KWE_TYPE SMALLINT,KWE_CNTR INTEGER,KWE_SEQN "
     "SMALLINT,KWE_FLAG INTEGER,KWE_WORK CHAR(32)  ) ",
     "IN DATABASE DB1 ", "CREATE UNIQUE INDEX KWCATEDT_IDX  ON JOE.KWCATEDT(KWE_NAME, KWE_SEQN) ", "DB1",
     "KWCATEDT"},
};

const struct {
    const char* text;
    int type;
} kFormats[] = {
    {"[General]", 81},
    {"0", 81},
    {"0.00", 81},
    {"#,##0", 81},
    {"#,##0.00", 81},
    {"$#,##0;($#,##0)", 81},
    {"$#,##0;[RED]($#,##0)", 81},
    {"$#,##0.00;($#,##0.00)", 81},
    {"$#,##0.00;[RED]($#,##0.00)", 81},
    {"0%", 81},
    {"0.00%", 81},
    {"0.00E+00", 81},
    {"m/d/yy", 84},
    {"d-mmm-yy", 84},
    {"d-mmm", 84},
    {"mmm-yy", 84},
    {"h:mm AM/PM", 84},
    {"h:mm:ss AM/PM", 84},
    {"h:mm:ss", 84},
    {"m/d/yy h:mm", 84},
};

const struct {
    const char* text;
    const char* work;
} kEditStyles[] = {
    {"###,###.00", "10"},
    {"#####", "10"},
    {"###-##-####", "00"},
    {"MM/DD/YY", "20"},
    {"DD/MM/YY", "20"},
    {"MM/DD/YYYY", "20"},
    {"DD/MM/YYYY", "20"},
    {"DD/MMM/YY", "20"},
    {"DDD/YY", "20"},
    {"DDD/YYYY", "20"},
    {"HH:MM:SS", "30"},
    {"HH:MM:SS:FFF", "30"},
    {"HH:MM:SS:FFFFFF", "30"},
    {"MM/DD/YY HH:MM:SS", "40"},
    {"DD/MM/YY HH:MM:SS", "40"},
    {"MM/DD/YYYY HH:MM:SS", "40"},
    {"DD/MM/YYYY HH:MM:SS", "40"},
    {"DD/MMM/YY HH:MM:SS", "40"},
    {"DDD/YY HH:MM:SS", "40"},
    {"DDD/YYYY HH:MM:SS", "40"},
    {"DD/MM/YY HH:MM:SS:FFFFFF", "40"},
};

class ExtendedCatalog : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        env().exec("SELECT kwgw.add_tablespace('DB1', 'TS1')");
        auto joe = connect(kwtest::kJoe);
        for (const CatalogTable& t : kCatalogTables) {
            must(*joe, std::string("CREATE TABLE JOE.") + t.body + t.inClause);
            must(*joe, t.index);
            must(*joe, fmt::format("GRANT SELECT, UPDATE, INSERT, DELETE ON JOE.{}  TO PUBLIC ", t.name));
        }
        for (const auto& f : kFormats) {
            must(*joe, fmt::format("INSERT INTO JOE.KWCATFMT VALUES ('{0}', '{0}', {1}, 0)", f.text, f.type));
        }
        for (const auto& e : kEditStyles) {
            must(*joe, fmt::format("INSERT INTO JOE.KWCATEDT values ('{0}', '{0}', 90, 1, 1, 32, '{1}')",
                                   e.text, e.work));
        }
    }
    void SetUp() override { joe_ = connect(kwtest::kJoe); }
    std::unique_ptr<kwtest::DbClient> joe_;
};

TEST_F(ExtendedCatalog, ProbesFindTheCreatedTablesAndTheirSeedRows) {
    EXPECT_EQ(must(*joe_, "SELECT * FROM JOE.KWCATTBL WHERE 1 = 2").columns.size(), 25u);
    EXPECT_EQ(must(*joe_, "SELECT * FROM JOE.KWCATCOL WHERE 1 = 2").columns.size(), 20u);
    EXPECT_EQ(must(*joe_, "SELECT COUNT(*) FROM JOE.KWCATFMT ").rows, (Rows{{"20"}}));
    EXPECT_EQ(must(*joe_, "SELECT * FROM JOE.KWCATVLD WHERE 1 = 2").rows, Rows{});
    EXPECT_EQ(must(*joe_, "SELECT * FROM JOE.KWCATEDT").rows.size(), 21u);
}

TEST_F(ExtendedCatalog, ProbesOfTablesThatDoNotExistAreMinus204) {
    auto smith = connect(kwtest::kSmith);
    const Answer a = run(*smith, "SELECT * FROM SMITH.KWCATTBL WHERE 1 = 2");
    EXPECT_EQ(a.sqlcode, "-204");
    EXPECT_EQ(run(*smith, "SELECT COUNT(*) FROM SMITH.KWCATFMT ").sqlcode, "-204");
}

TEST_F(ExtendedCatalog, TheCatalogShowsTheirDatabasesTableSpacesIndexesAndGrants) {
    for (const CatalogTable& t : kCatalogTables) {
        EXPECT_EQ(
            must(*joe_,
                 fmt::format("SELECT DBNAME, TSNAME FROM SYSIBM.SYSTABLES WHERE CREATOR = 'JOE' AND NAME "
                             "= '{}'",
                             t.name))
                .rows,
            (Rows{{t.dbname, t.tsname}}))
            << t.name;
        EXPECT_EQ(
            must(*joe_,
                 fmt::format("SELECT DELETEAUTH, INSERTAUTH, SELECTAUTH, UPDATEAUTH FROM SYSIBM.SYSTABAUTH "
                             "WHERE TCREATOR = 'JOE' AND GRANTEE = 'PUBLIC' AND TTNAME = '{}' ",
                             t.name))
                .rows,
            (Rows{{"Y", "Y", "Y", "Y"}}))
            << t.name;
    }
    EXPECT_EQ(must(*joe_,
                   "SELECT NAME, UNIQUERULE, CLUSTERED, CREATOR  FROM SYSIBM.SYSINDEXES  WHERE TBNAME = "
                   "'KWCATVLD' AND "
                   "TBCREATOR = 'JOE' ")
                  .rows,
              (Rows{{"KWCATVLD_IDX", "U", "Y", "JOE"}}));
    EXPECT_EQ(
        sorted(must(*joe_,
                    "SELECT COLNAME FROM SYSIBM.SYSKEYS WHERE IXNAME = 'KWCATCOL_IDX' AND IXCREATOR = 'JOE' ")
                   .rows),
        (Rows{{"KWC_CNAM"}, {"KWC_OWNR"}, {"KWC_TNAM"}}));
}

TEST_F(ExtendedCatalog, UnknownDatabasesAndTableSpacesAreMinus204) {
    const struct {
        const char* in;
        const char* message;
    } cases[] = {
        {"IN DATABASE NODB ", "NODB IS AN UNDEFINED NAME"},
        {"IN NODB.TS1 ", "NODB IS AN UNDEFINED NAME"},
        {"IN DB1.NOTS ", "DB1.NOTS IS AN UNDEFINED NAME"},
        {"IN NOTS ", "DSNDB04.NOTS IS AN UNDEFINED NAME"},
    };
    for (const auto& c : cases) {
        const Answer a = run(*joe_, std::string("CREATE TABLE JOE.KWCATXXX (A INTEGER) ") + c.in);
        EXPECT_EQ(a.sqlcode, "-204") << c.in;
        EXPECT_EQ(a.message, c.message) << c.in;
    }
    EXPECT_EQ(run(*joe_, "SELECT * FROM JOE.KWCATXXX").sqlcode, "-204");  // nothing was left behind
}

TEST_F(ExtendedCatalog, DictionariesReadBackAndEditStylesChangeByCounter) {
    const Answer formats = must(*joe_, "SELECT KWF_NAME, KWF_FRMT, KWF_TYPE, KWF_CNTR FROM JOE.KWCATFMT");
    EXPECT_EQ(formats.rows.size(), 20u);
    EXPECT_EQ(sorted(formats.rows).front(), (std::vector<std::string>{"#,##0", "#,##0", "81", "0"}));
    must(*joe_, "SELECT KWV_NAME, KWV_VALD, KWV_TYPE, KWV_CNTR, KWV_MSG FROM JOE.KWCATVLD");
    must(*joe_,
         "UPDATE JOE.KWCATEDT SET KWE_EDIT = '#####', KWE_TYPE =  90 , KWE_CNTR = 2 , KWE_FLAG = 32 , "
         "KWE_WORK = '10' "
         "where KWE_NAME = '#####' and  KWE_CNTR =  1  and  KWE_SEQN =  1 ");
    EXPECT_EQ(
        must(*joe_,
             "SELECT KWE_NAME, KWE_EDIT, KWE_TYPE, KWE_CNTR, KWE_WORK, KWE_SEQN, KWE_FLAG FROM JOE.KWCATEDT "
             "WHERE KWE_NAME = '#####'")
            .rows,
        (Rows{{"#####", "#####", "90", "2", "10", "1", "32"}}));
    must(*joe_, "INSERT INTO JOE.KWCATEDT VALUES('XSTYLE', 'X', 90, 0, 1, 0, '' )");
    must(*joe_, "DELETE FROM JOE.KWCATEDT WHERE KWE_NAME = 'XSTYLE'");
    EXPECT_EQ(must(*joe_, "SELECT * FROM JOE.KWCATEDT").rows.size(), 21u);
}

TEST_F(ExtendedCatalog, CleanUpRemovesRowsOfTablesAndColumnsThatNoLongerExist) {
    must(*joe_, "CREATE TABLE KEEPME (A INTEGER)");
    must(*joe_, "INSERT INTO JOE.KWCATTBL (KWT_TNAM, KWT_OWNR) VALUES ('KEEPME', 'JOE')");
    must(*joe_, "INSERT INTO JOE.KWCATTBL (KWT_TNAM, KWT_OWNR) VALUES ('GONE', 'JOE')");
    must(*joe_, "INSERT INTO JOE.KWCATCOL (KWC_TNAM, KWC_OWNR, KWC_CNAM) VALUES ('KEEPME', 'JOE', 'A')");
    must(*joe_, "INSERT INTO JOE.KWCATCOL (KWC_TNAM, KWC_OWNR, KWC_CNAM) VALUES ('KEEPME', 'JOE', 'B')");
    must(*joe_,
         "DELETE FROM JOE.KWCATTBL\nWHERE NOT EXISTS \n(SELECT * FROM SYSIBM.SYSTABLES \nWHERE "
         "JOE.KWCATTBL.KWT_TNAM = \n      SYSIBM.SYSTABLES.NAME \nAND   JOE.KWCATTBL.KWT_OWNR = \n      "
         "SYSIBM.SYSTABLES.CREATOR) ");
    must(*joe_,
         "DELETE FROM JOE.KWCATCOL\n WHERE NOT EXISTS \n(SELECT * FROM SYSIBM.SYSCOLUMNS \nWHERE   "
         "JOE.KWCATCOL.KWC_TNAM = \n      SYSIBM.SYSCOLUMNS.TBNAME \nAND   JOE.KWCATCOL.KWC_OWNR = \n      "
         "SYSIBM.SYSCOLUMNS.TBCREATOR \nAND JOE.KWCATCOL.KWC_CNAM = \n      SYSIBM.SYSCOLUMNS.NAME) ");
    EXPECT_EQ(must(*joe_, "SELECT KWT_TNAM FROM JOE.KWCATTBL").rows, (Rows{{"KEEPME"}}));
    EXPECT_EQ(must(*joe_, "SELECT KWC_CNAM FROM JOE.KWCATCOL").rows, (Rows{{"A"}}));
}

TEST_F(ExtendedCatalog, InitRunAgainKeepsTablesRowsAndWhatTheCatalogKnows) {
    must(*joe_, "CREATE VIEW KEEPVIEW AS SELECT KWF_NAME FROM KWCATFMT");
    must(*joe_, "GRANT ALTER, INDEX ON KWCATTBL TO SMITH");
    std::string output;
    ASSERT_EQ(env().runKwgateway({"init", "--pg", env().conninfo()}, &output), 0) << output;
    EXPECT_EQ(must(*joe_, "SELECT COUNT(*) FROM JOE.KWCATFMT ").rows, (Rows{{"20"}}));
    EXPECT_EQ(
        must(*joe_, "SELECT DBNAME, TSNAME FROM SYSIBM.SYSTABLES WHERE CREATOR = 'JOE' AND NAME = 'KWCATTBL'")
            .rows,
        (Rows{{"DB1", "TS1"}}));
    EXPECT_EQ(
        must(*joe_,
             "SELECT TEXT FROM SYSIBM.SYSVIEWS WHERE  NAME = 'KEEPVIEW' AND CREATOR = 'JOE' ORDER BY SEQNO")
            .rows,
        (Rows{{"CREATE VIEW KEEPVIEW AS SELECT KWF_NAME FROM KWCATFMT"}}));
    EXPECT_EQ(
        must(
            *joe_,
            "SELECT ALTERAUTH, INDEXAUTH FROM SYSIBM.SYSTABAUTH WHERE TCREATOR = 'JOE' AND GRANTEE = 'SMITH' "
            "AND TTNAME = 'KWCATTBL' ")
            .rows,
        (Rows{{"Y", "Y"}}));
    EXPECT_EQ(must(*joe_, "SELECT CLUSTERED FROM SYSIBM.SYSINDEXES WHERE NAME = 'KWCATVLD_IDX'").rows,
              (Rows{{"Y"}}));
    EXPECT_EQ(must(*joe_, "CREATE TABLE AFTERINIT (A INTEGER) IN DB1.TS1").ok, true);
}

class Ddl : public ::testing::Test {
  protected:
    void SetUp() override { joe_ = connect(kwtest::kJoe); }
    Rows indexes(const std::string& table) {
        return sorted(
            must(*joe_, "SELECT NAME, UNIQUERULE, CREATOR  FROM SYSIBM.SYSINDEXES  WHERE TBNAME = '" + table +
                            "' AND TBCREATOR = 'JOE' ")
                .rows);
    }
    std::unique_ptr<kwtest::DbClient> joe_;
};

TEST_F(Ddl, APrimaryKeyNeedsNotNullColumnsAndItsUniqueIndexBecomesThePrimaryIndex) {
    EXPECT_EQ(run(*joe_, "CREATE TABLE PKNULL (A INTEGER, PRIMARY KEY (A))").sqlcode, "-542");
    must(*joe_, "CREATE TABLE PKN (A INTEGER, B INTEGER NOT NULL)");
    EXPECT_EQ(run(*joe_, "ALTER TABLE PKN PRIMARY KEY (A)").sqlcode, "-542");
    must(*joe_, "ALTER TABLE JOE.PKN\n PRIMARY KEY  (\nb) ");
    EXPECT_EQ(indexes("PKN"), (Rows{{"PKN_PK", "P", "JOE"}}));
    EXPECT_EQ(run(*joe_, "ALTER TABLE PKN PRIMARY KEY (B)").sqlcode, "-624");
    must(*joe_, "CREATE UNIQUE INDEX XPKN ON PKN (B)");
    EXPECT_EQ(indexes("PKN"), (Rows{{"XPKN", "P", "JOE"}}));
    // Dropping the primary index leaves the key with an index of its own name again.
    must(*joe_, "DROP INDEX XPKN");
    EXPECT_EQ(indexes("PKN"), (Rows{{"PKN_PK", "P", "JOE"}}));
    must(*joe_, "ALTER TABLE JOE.PKN\n DROP PRIMARY KEY ");
    EXPECT_EQ(indexes("PKN"), Rows{});
}

TEST_F(Ddl, DropIndexFindsTheIndexThroughItsCreator) {
    must(*joe_, "CREATE TABLE IXT (A INTEGER, B INTEGER)");
    must(*joe_, "CREATE INDEX KWCY.XIXT ON IXT (B DESC)");
    EXPECT_EQ(indexes("IXT"), (Rows{{"XIXT", "D", "KWCY"}}));
    EXPECT_EQ(run(*joe_, "DROP INDEX XIXT").sqlcode, "-204");
    must(*joe_, "DROP INDEX KWCY.XIXT");
    EXPECT_EQ(indexes("IXT"), Rows{});
}

TEST_F(Ddl, DropTableTakesItsViewsAndTheForeignKeysThatReferToIt) {
    must(*joe_, "CREATE TABLE P1 (ID INTEGER NOT NULL, PRIMARY KEY (ID))");
    must(*joe_, "CREATE TABLE C1 (PID INTEGER, FOREIGN KEY FC (PID) REFERENCES P1 ON DELETE SET NULL)");
    must(*joe_, "CREATE VIEW V1P AS SELECT ID FROM P1");
    EXPECT_EQ(must(*joe_, "sp_fkeys ,,, c1, joe").rows.size(), 1u);
    must(*joe_, "DROP TABLE P1");
    EXPECT_EQ(
        must(*joe_, "SELECT NAME FROM SYSIBM.SYSTABLES WHERE CREATOR = 'JOE' AND NAME IN ('P1', 'C1', 'V1P')")
            .rows,
        (Rows{{"C1"}}));
    EXPECT_EQ(must(*joe_, "sp_fkeys ,,, c1, joe").rows, Rows{});
    EXPECT_EQ(must(*joe_, "SELECT TEXT FROM SYSIBM.SYSVIEWS WHERE NAME = 'V1P'").rows, Rows{});
}

TEST_F(Ddl, AddedColumnsNeedADefaultToBeNotNull) {
    must(*joe_, "CREATE TABLE ADDC (A INTEGER)");
    must(*joe_, "INSERT INTO ADDC VALUES (1)");
    EXPECT_EQ(run(*joe_, "ALTER TABLE ADDC ADD B INTEGER NOT NULL").sqlcode, "-193");
    must(*joe_, "ALTER TABLE JOE.\"ADDC\"\nADD \"B\" CHAR(4) NOT NULL WITH DEFAULT");
    must(*joe_, "ALTER TABLE ADDC ADD C DATE");
    EXPECT_EQ(must(*joe_,
                   "SELECT NAME, COLTYPE, NULLS, \"DEFAULT\" FROM SYSIBM.SYSCOLUMNS WHERE TBCREATOR = 'JOE' "
                   "AND TBNAME = 'ADDC' ORDER BY COLNO")
                  .rows,
              (Rows{{"A", "INTEGER", "Y", "N"}, {"B", "CHAR", "N", "Y"}, {"C", "DATE", "Y", "N"}}));
    EXPECT_EQ(must(*joe_, "SELECT A, B FROM ADDC").rows, (Rows{{"1", ""}}));
}

TEST_F(ExtendedCatalog, AnUpgradeThatWouldDropAUsersViewStopsAndNamesIt) {
    env().exec("CALL kwgw.install_view('kwgw.upgrade_probe', 'select 1::integer as a')");
    env().exec("CREATE VIEW joe.probeuser AS SELECT a FROM kwgw.upgrade_probe");
    try {
        env().exec("CALL kwgw.install_view('kwgw.upgrade_probe', 'select ''x''::text as a')");
        ADD_FAILURE() << "the view was replaced under a user's view";
    } catch (const std::exception& e) {
        EXPECT_NE(std::string(e.what()).find("joe.probeuser"), std::string::npos) << e.what();
    }
    env().exec("DROP VIEW joe.probeuser");
    env().exec("CALL kwgw.install_view('kwgw.upgrade_probe', 'select ''x''::text as a')");
    EXPECT_EQ(env().queryValue("SELECT a FROM kwgw.upgrade_probe"), "x");
    env().exec("DROP VIEW kwgw.upgrade_probe");
}

}  // namespace
}  // namespace kwcat
