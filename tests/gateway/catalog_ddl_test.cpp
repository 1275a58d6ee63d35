// catalog_ddl_test.cpp - the extended catalog's DDL as the driver sends it (the five CREATE TABLE
// bodies with and without IN clauses, their indexes and grants, the seed rows, the dictionary and
// clean-up statements), the registry of databases and table spaces, `kwgateway init` run again on
// a database in use, and DB2's rules for keys, indexes and drops.
#include <gtest/gtest.h>

#include <fmt/format.h>

#include "catalog_live.h"

namespace kwcat {
namespace {

const struct {
    const char* name;
    const char* body;      // sent after "CREATE TABLE JOE."
    const char* inClause;  // the IN clause the driver appends ("" without a database)
    const char* index;     // the index statement
    const char* dbname;    // what SYSTABLES then shows
    const char* tsname;
} kCatalogTables[] = {
    {"KWCATTBL",
     "KWCATTBL (KWT_TNAM CHAR(30),KWT_TID INTEGER,KWT_OWNR CHAR(30),KWD_FHGT SMALLINT,KWD_FWGT "
     "SMALLINT,KWD_FITL CHAR(1),KWD_FUNL CHAR(1),KWD_FCHR SMALLINT,KWD_FPTC SMALLINT,KWD_FFCE "
     "CHAR(18),KWH_FHGT SMALLINT,KWH_FWGT SMALLINT,KWH_FITL CHAR(1),KWH_FUNL CHAR(1),KWH_FCHR "
     "SMALLINT,KWH_FPTC SMALLINT,KWH_FFCE CHAR(18),KWL_FHGT SMALLINT,KWL_FWGT SMALLINT,KWL_FITL "
     "CHAR(1),KWL_FUNL CHAR(1),KWL_FCHR SMALLINT,KWL_FPTC SMALLINT,KWL_FFCE CHAR(18),KWT_CMNT CHAR(254))",
     "IN DB1.TS1 ", "CREATE UNIQUE INDEX KWCATTBL_IDX   ON JOE.KWCATTBL(KWT_TNAM, KWT_OWNR) ", "DB1", "TS1"},
    {"KWCATCOL",
     "KWCATCOL ( KWC_TNAM CHAR(30),KWC_TID INTEGER,KWC_OWNR CHAR(30),KWC_CNAM CHAR(30),KWC_CID "
     "SMALLINT,KWC_LABL CHAR(254),KWC_LPOS SMALLINT,KWC_HDR CHAR(254),KWC_HPOS SMALLINT,KWC_JTFY "
     "SMALLINT,KWC_MASK CHAR(31),KWC_CASE SMALLINT,KWC_HGHT SMALLINT,KWC_WDTH SMALLINT,KWC_PTRN "
     "CHAR(31),KWC_BMAP CHAR(1),KWC_INIT CHAR(254),KWC_CMNT CHAR(254),KWC_EDIT CHAR(31),KWC_TAG CHAR(254))",
     "IN DATABASE DB1 ", "CREATE UNIQUE INDEX KWCATCOL_IDX  ON JOE.KWCATCOL(KWC_TNAM, KWC_OWNR, KWC_CNAM)",
     "DB1", "KWCATCOL"},
    {"KWCATFMT",
     "KWCATFMT (KWF_NAME CHAR(30) NOT NULL,KWF_FRMT CHAR(254) NOT NULL,KWF_TYPE SMALLINT NOT NULL,KWF_CNTR "
     "int ) ",
     "", "CREATE UNIQUE INDEX KWCATFMT_IDX  ON JOE.KWCATFMT(KWF_NAME) ", "DSNDB04", "KWCATFMT"},
    {"KWCATVLD",
     "KWCATVLD (KWV_NAME CHAR(30) NOT NULL,KWV_VALD CHAR(254) NOT NULL,KWV_TYPE SMALLINT,KWV_CNTR "
     "INTEGER,KWV_MSG CHAR(254)) ",
     "IN DB1.TS1 ", "CREATE UNIQUE INDEX KWCATVLD_IDX  ON JOE.KWCATVLD(KWV_NAME) CLUSTER ", "DB1", "TS1"},
    {"KWCATEDT",
     "KWCATEDT (KWE_NAME CHAR(30) NOT NULL,KWE_EDIT VARCHAR(254),KWE_TYPE SMALLINT,KWE_CNTR INTEGER,KWE_SEQN "
     "SMALLINT,KWE_FLAG INTEGER,KWE_WORK CHAR(32)  ) ",
     "IN DATABASE DB1 ", "CREATE UNIQUE INDEX KWCATEDT_IDX  ON JOE.KWCATEDT(KWE_NAME, KWE_SEQN) ", "DB1",
     "KWCATEDT"},
};

// Seed rows of the format dictionary (by type: 81 numbers, 84 dates and times) and of the edit
// styles (by work code) as the driver sends them; their texts hold semicolons, brackets and dollars.
const std::pair<int, std::vector<const char*>> kFormats[] = {
    {81, {"[General]", "#,##0", "$#,##0;[RED]($#,##0)", "0.00E+00"}},
    {84, {"h:mm:ss AM/PM", "m/d/yy h:mm"}},
};
const std::pair<const char*, std::vector<const char*>> kEditStyles[] = {{"10", {"###,###.00", "#####"}},
                                                                        {"00", {"###-##-####"}},
                                                                        {"20", {"DD/MMM/YY"}},
                                                                        {"30", {"HH:MM:SS:FFF"}},
                                                                        {"40", {"DD/MM/YY HH:MM:SS:FFFFFF"}}};

class ExtendedCatalog : public Sessions {
  protected:
    static void SetUpTestSuite() {
        env().exec("SELECT kwgw.add_tablespace('DB1', 'TS1')");
        auto joe = kwtest::connectAs(kwtest::kJoe);
        for (const auto& t : kCatalogTables) {
            must(*joe, std::string("CREATE TABLE JOE.") + t.body + t.inClause);
            must(*joe, t.index);
            must(*joe, fmt::format("GRANT SELECT, UPDATE, INSERT, DELETE ON JOE.{}  TO PUBLIC ", t.name));
        }
        for (const auto& [type, texts] : kFormats) {
            for (const char* f : texts) {
                must(*joe, fmt::format("INSERT INTO JOE.KWCATFMT VALUES ('{0}', '{0}', {1}, 0)", f, type));
            }
        }
        for (const auto& [work, texts] : kEditStyles) {
            for (const char* e : texts) {
                must(*joe, fmt::format("INSERT INTO JOE.KWCATEDT values ('{0}', '{0}', 90, 1, 1, 32, '{1}')",
                                       e, work));
            }
        }
    }
};

TEST_F(ExtendedCatalog, ProbesFindTheCreatedTablesAndTheirSeedRowsAndOtherUsersHaveNone) {
    EXPECT_EQ(must(*joe_, "SELECT * FROM JOE.KWCATTBL WHERE 1 = 2").columns.size(), 25u);
    EXPECT_EQ(must(*joe_, "SELECT * FROM JOE.KWCATCOL WHERE 1 = 2").columns.size(), 20u);
    EXPECT_EQ(joe("SELECT COUNT(*) FROM JOE.KWCATFMT "), (Rows{{"6"}}));
    EXPECT_EQ(joe("SELECT * FROM JOE.KWCATVLD WHERE 1 = 2"), Rows{});
    EXPECT_EQ(joe("SELECT * FROM JOE.KWCATEDT").size(), 6u);
    EXPECT_EQ(ask(*smith_, "SELECT * FROM SMITH.KWCATTBL WHERE 1 = 2").sqlcode, "-204");
    EXPECT_EQ(ask(*smith_, "SELECT COUNT(*) FROM SMITH.KWCATFMT ").sqlcode, "-204");
}

TEST_F(ExtendedCatalog, TheCatalogShowsTheirDatabasesTableSpacesIndexesAndGrants) {
    for (const auto& t : kCatalogTables) {
        EXPECT_EQ(
            joe(fmt::format(
                "SELECT DBNAME, TSNAME FROM SYSIBM.SYSTABLES WHERE CREATOR = 'JOE' AND NAME = '{}'", t.name)),
            (Rows{{t.dbname, t.tsname}}))
            << t.name;
        EXPECT_EQ(
            joe(fmt::format("SELECT DELETEAUTH, INSERTAUTH, SELECTAUTH, UPDATEAUTH FROM SYSIBM.SYSTABAUTH "
                            "WHERE TCREATOR = 'JOE' AND GRANTEE = 'PUBLIC' AND TTNAME = '{}' ",
                            t.name)),
            (Rows{{"Y", "Y", "Y", "Y"}}))
            << t.name;
    }
    EXPECT_EQ(joe("SELECT NAME, UNIQUERULE, CLUSTERED, CREATOR  FROM SYSIBM.SYSINDEXES  WHERE TBNAME = "
                  "'KWCATVLD' AND TBCREATOR = 'JOE' "),
              (Rows{{"KWCATVLD_IDX", "U", "Y", "JOE"}}));
}

TEST_F(ExtendedCatalog, UnknownDatabasesAndTableSpacesAreMinus204) {
    const std::pair<const char*, const char*> cases[] = {
        {"IN DATABASE NODB ", "NODB IS AN UNDEFINED NAME"},
        {"IN NODB.TS1 ", "NODB IS AN UNDEFINED NAME"},
        {"IN DB1.NOTS ", "DB1.NOTS IS AN UNDEFINED NAME"},
        {"IN NOTS ", "DSNDB04.NOTS IS AN UNDEFINED NAME"},
    };
    for (auto [in, message] : cases) {
        const Answer a = ask(*joe_, std::string("CREATE TABLE JOE.KWCATXXX (A INTEGER) ") + in);
        EXPECT_EQ(a.sqlcode, "-204") << in;
        EXPECT_EQ(a.message, message) << in;
    }
    EXPECT_EQ(ask(*joe_, "SELECT * FROM JOE.KWCATXXX").sqlcode, "-204");  // nothing was left behind
}

TEST_F(ExtendedCatalog, DictionariesReadBackAndEditStylesChangeByCounter) {
    const Answer formats = must(*joe_, "SELECT KWF_NAME, KWF_FRMT, KWF_TYPE, KWF_CNTR FROM JOE.KWCATFMT");
    ASSERT_EQ(formats.rows.size(), 6u);
    EXPECT_EQ(sorted(formats.rows).front(), (std::vector<std::string>{"#,##0", "#,##0", "81", "0"}));
    must(*joe_, "SELECT KWV_NAME, KWV_VALD, KWV_TYPE, KWV_CNTR, KWV_MSG FROM JOE.KWCATVLD");
    must(*joe_,
         "UPDATE JOE.KWCATEDT SET KWE_EDIT = '#####', KWE_TYPE =  90 , KWE_CNTR = 2 , KWE_FLAG = 32 , "
         "KWE_WORK = '10' where KWE_NAME = '#####' and  KWE_CNTR =  1  and  KWE_SEQN =  1 ");
    EXPECT_EQ(joe("SELECT KWE_NAME, KWE_EDIT, KWE_TYPE, KWE_CNTR, KWE_WORK, KWE_SEQN, KWE_FLAG FROM "
                  "JOE.KWCATEDT WHERE KWE_NAME = '#####'"),
              (Rows{{"#####", "#####", "90", "2", "10", "1", "32"}}));
    must(*joe_, "INSERT INTO JOE.KWCATEDT VALUES('XSTYLE', 'X', 90, 0, 1, 0, '' )");
    must(*joe_, "DELETE FROM JOE.KWCATEDT WHERE KWE_NAME = 'XSTYLE'");
    EXPECT_EQ(joe("SELECT * FROM JOE.KWCATEDT").size(), 6u);
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
    EXPECT_EQ(joe("SELECT KWT_TNAM FROM JOE.KWCATTBL"), (Rows{{"KEEPME"}}));
    EXPECT_EQ(joe("SELECT KWC_CNAM FROM JOE.KWCATCOL"), (Rows{{"A"}}));
}

TEST_F(ExtendedCatalog, InitRunAgainKeepsTablesRowsAndWhatTheCatalogKnows) {
    must(*joe_, "CREATE VIEW KEEPVIEW AS SELECT KWF_NAME FROM KWCATFMT");
    must(*joe_, "GRANT ALTER, INDEX ON KWCATTBL TO SMITH");
    std::string output;
    ASSERT_EQ(env().runKwgateway({"init", "--pg", env().conninfo()}, &output), 0) << output;
    EXPECT_EQ(env().queryValue("SELECT count(*) FROM kwgw.schema_version"), "1");
    EXPECT_EQ(joe("SELECT COUNT(*) FROM JOE.KWCATFMT "), (Rows{{"6"}}));
    EXPECT_EQ(joe("SELECT DBNAME, TSNAME FROM SYSIBM.SYSTABLES WHERE CREATOR = 'JOE' AND NAME = 'KWCATTBL'"),
              (Rows{{"DB1", "TS1"}}));
    EXPECT_EQ(
        joe("SELECT TEXT FROM SYSIBM.SYSVIEWS WHERE  NAME = 'KEEPVIEW' AND CREATOR = 'JOE' ORDER BY SEQNO"),
        (Rows{{"CREATE VIEW KEEPVIEW AS SELECT KWF_NAME FROM KWCATFMT"}}));
    EXPECT_EQ(joe("SELECT ALTERAUTH, INDEXAUTH FROM SYSIBM.SYSTABAUTH WHERE TCREATOR = 'JOE' AND GRANTEE = "
                  "'SMITH' AND TTNAME = 'KWCATTBL' "),
              (Rows{{"Y", "Y"}}));
    EXPECT_EQ(joe("SELECT CLUSTERED FROM SYSIBM.SYSINDEXES WHERE NAME = 'KWCATVLD_IDX'"), (Rows{{"Y"}}));
    EXPECT_EQ(must(*joe_, "CREATE TABLE AFTERINIT (A INTEGER) IN DB1.TS1").ok, true);
}

class Ddl : public Sessions {
  protected:
    Rows indexes(const std::string& table) {
        return sorted(joe("SELECT NAME, UNIQUERULE, CREATOR  FROM SYSIBM.SYSINDEXES  WHERE TBNAME = '" +
                          table + "' AND TBCREATOR = 'JOE' "));
    }
};

TEST_F(Ddl, APrimaryKeyNeedsNotNullColumnsAndItsUniqueIndexBecomesThePrimaryIndex) {
    EXPECT_EQ(ask(*joe_, "CREATE TABLE PKNULL (A INTEGER, PRIMARY KEY (A))").sqlcode, "-542");
    must(*joe_, "CREATE TABLE PKN (A INTEGER, B INTEGER NOT NULL)");
    EXPECT_EQ(ask(*joe_, "ALTER TABLE PKN PRIMARY KEY (A)").sqlcode, "-542");
    must(*joe_, "ALTER TABLE JOE.PKN\n PRIMARY KEY  (\nb) ");
    EXPECT_EQ(indexes("PKN"), (Rows{{"PKN_PK", "P", "JOE"}}));
    EXPECT_EQ(ask(*joe_, "ALTER TABLE PKN PRIMARY KEY (B)").sqlcode, "-624");
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
    EXPECT_EQ(ask(*joe_, "DROP INDEX XIXT").sqlcode, "-204");
    must(*joe_, "DROP INDEX KWCY.XIXT");
    EXPECT_EQ(indexes("IXT"), Rows{});
}

TEST_F(Ddl, DropTableTakesItsViewsAndTheForeignKeysThatReferToIt) {
    must(*joe_, "CREATE TABLE P1 (ID INTEGER NOT NULL, PRIMARY KEY (ID))");
    must(*joe_, "CREATE TABLE C1 (PID INTEGER, FOREIGN KEY FC (PID) REFERENCES P1 ON DELETE SET NULL)");
    must(*joe_, "CREATE VIEW V1P AS SELECT ID FROM P1");
    EXPECT_EQ(joe("sp_fkeys ,,, c1, joe").size(), 1u);
    must(*joe_, "DROP TABLE P1");
    EXPECT_EQ(joe("SELECT NAME FROM SYSIBM.SYSTABLES WHERE CREATOR = 'JOE' AND NAME IN ('P1', 'C1', 'V1P')"),
              (Rows{{"C1"}}));
    EXPECT_EQ(joe("sp_fkeys ,,, c1, joe"), Rows{});
    EXPECT_EQ(joe("SELECT TEXT FROM SYSIBM.SYSVIEWS WHERE NAME = 'V1P'"), Rows{});
}

TEST_F(Ddl, AddedColumnsNeedADefaultToBeNotNull) {
    must(*joe_, "CREATE TABLE ADDC (A INTEGER)");
    must(*joe_, "INSERT INTO ADDC VALUES (1)");
    EXPECT_EQ(ask(*joe_, "ALTER TABLE ADDC ADD B INTEGER NOT NULL").sqlcode, "-193");
    must(*joe_, "ALTER TABLE JOE.\"ADDC\"\nADD \"B\" CHAR(4) NOT NULL WITH DEFAULT");
    must(*joe_, "ALTER TABLE ADDC ADD C DATE");
    EXPECT_EQ(joe("SELECT NAME, COLTYPE, NULLS, \"DEFAULT\" FROM SYSIBM.SYSCOLUMNS WHERE TBCREATOR = 'JOE' "
                  "AND TBNAME = 'ADDC' ORDER BY COLNO"),
              (Rows{{"A", "INTEGER", "Y", "N"}, {"B", "CHAR", "N", "Y"}, {"C", "DATE", "Y", "N"}}));
    EXPECT_EQ(joe("SELECT A, B FROM ADDC"), (Rows{{"1", ""}}));
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
