// extcatalog_test.cpp - the texts of the extended catalog's tables (probe, CREATE TABLE with and
// without IN clauses, index, grant, seed rows), the dictionary queries, the edit-style statements of
// request 217 with their pairing of new and stored rows, and the clean-up statements of request
// 153, as reviewed golden text.
#include <cstring>
#include <string>
#include <vector>

#include "driver_block.h"
#include "kwuser.h"

namespace {

char* nameOf(void* record) {
    return static_cast<DictionaryEntry*>(record)->name;
}

class ExtCatalogTest : public DriverBlockTest {
  protected:
    void SetUp() override {
        DriverBlockTest::SetUp();
        kwuser_setPresenter(nullptr);
        connection.catalogOwner = kwshr_duplicateString(context, "JOE", 0);
        connection.systemOwner = kwshr_duplicateString(context, "SYSIBM", 0);
        block.connection = &connection;
    }

    void TearDown() override {
        clearStatements();
        for (DictionaryEntry* row : rows) {
            kwshr_free(context, row);
        }
        for (HostList* list : lists) {
            kwshr_destroyList(list);
        }
        if (stored != nullptr) {
            kwshr_destroyKeyedSet(stored);
        }
        freeTexts(connection);
        block.connection = nullptr;
        DriverBlockTest::TearDown();
    }

    // The statements of a request that writes one-line statements, one text each.
    std::vector<std::string> texts() {
        std::vector<std::string> out;
        for (const Lines& lines : statements()) {
            EXPECT_EQ(lines.size(), 1u);
            out.push_back(lines.empty() ? "" : lines.front());
        }
        return out;
    }

    DictionaryEntry* row(const char* name, const char* body, int32_t counter, int16_t sequence,
                         const char* work = nullptr) {
        auto* r = static_cast<DictionaryEntry*>(kwshr_allocate(context, sizeof(DictionaryEntry), 0));
        std::memset(r, 0, sizeof *r);
        r->name = const_cast<char*>(name);
        r->text = const_cast<char*>(body);
        r->type = 90;
        r->counter = counter;
        r->flag = 32;
        r->sequence = sequence;
        r->extra = const_cast<char*>(work);
        rows.push_back(r);
        return r;
    }

    HostList* listOf(std::vector<DictionaryEntry*> entries) {
        HostList* list = kwshr_createList(context, 0);
        for (DictionaryEntry* e : entries) {
            kwshr_appendToList(list, e);
        }
        lists.push_back(list);
        return list;
    }

    void store(std::vector<DictionaryEntry*> entries) {
        stored = kwshr_createKeyedSet(KWSHR_KEYED_SET_KIND, nameOf, 0, 0, context, 0);
        for (DictionaryEntry* e : entries) {
            kwshr_addToKeyedSet(stored, e);
        }
        block.editStyleSet = stored;
    }

    ConnectionRecord connection{};
    std::vector<DictionaryEntry*> rows;
    std::vector<HostList*> lists;
    KWSET stored = nullptr;
};

const char kTableBody[] =
    "KWCATTBL (KWT_TNAM CHAR(30),KWT_TID INTEGER,KWT_OWNR CHAR(30),KWD_FHGT SMALLINT,KWD_FWGT SMALLINT,"
    "KWD_FITL CHAR(1),KWD_FUNL CHAR(1),KWD_FCHR SMALLINT,KWD_FPTC SMALLINT,KWD_FFCE CHAR(18),KWH_FHGT "
    "SMALLINT,KWH_FWGT SMALLINT,KWH_FITL CHAR(1),KWH_FUNL CHAR(1),KWH_FCHR SMALLINT,KWH_FPTC SMALLINT,"
    "KWH_FFCE CHAR(18),KWL_FHGT SMALLINT,KWL_FWGT SMALLINT,KWL_FITL CHAR(1),KWL_FUNL CHAR(1),KWL_FCHR "
    "SMALLINT,KWL_FPTC SMALLINT,KWL_FFCE CHAR(18),KWT_CMNT CHAR(254))";

TEST_F(ExtCatalogTest, EachTableHasItsProbeBodyIndexAndGrant) {
    struct Case {
        int32_t table;
        const char* probe;
        const char* create;
        const char* index;
    };
    const Case cases[] = {
        {CAT_TABLES, "SELECT * FROM JOE.KWCATTBL WHERE 1 = 2", nullptr,
         "CREATE UNIQUE INDEX KWCATTBL_IDX   ON JOE.KWCATTBL(KWT_TNAM, KWT_OWNR) "},
        {CAT_COLUMNS, "SELECT * FROM JOE.KWCATCOL WHERE 1 = 2",
         "CREATE TABLE JOE.KWCATCOL ( KWC_TNAM CHAR(30),KWC_TID INTEGER,KWC_OWNR CHAR(30),KWC_CNAM CHAR(30),"
         "KWC_CID SMALLINT,KWC_LABL CHAR(254),KWC_LPOS SMALLINT,KWC_HDR CHAR(254),KWC_HPOS SMALLINT,KWC_JTFY "
         "SMALLINT,KWC_MASK CHAR(31),KWC_CASE SMALLINT,KWC_HGHT SMALLINT,KWC_WDTH SMALLINT,KWC_PTRN CHAR(31),"
         "KWC_BMAP CHAR(1),KWC_INIT CHAR(254),KWC_CMNT CHAR(254),KWC_EDIT CHAR(31),KWC_TAG CHAR(254))",
         "CREATE UNIQUE INDEX KWCATCOL_IDX  ON JOE.KWCATCOL(KWC_TNAM, KWC_OWNR, KWC_CNAM)"},
        {CAT_FORMATS, "SELECT COUNT(*) FROM JOE.KWCATFMT ",
         "CREATE TABLE JOE.KWCATFMT (KWF_NAME CHAR(30) NOT NULL,KWF_FRMT CHAR(254) NOT NULL,KWF_TYPE "
         "SMALLINT NOT NULL,"
         "KWF_CNTR int ) ",
         "CREATE UNIQUE INDEX KWCATFMT_IDX  ON JOE.KWCATFMT(KWF_NAME) "},
        {CAT_VALIDATIONS, "SELECT * FROM JOE.KWCATVLD WHERE 1 = 2",
         "CREATE TABLE JOE.KWCATVLD (KWV_NAME CHAR(30) NOT NULL,KWV_VALD CHAR(254) NOT NULL,KWV_TYPE "
         "SMALLINT,KWV_CNTR INTEGER,KWV_MSG CHAR(254)) ",
         "CREATE UNIQUE INDEX KWCATVLD_IDX  ON JOE.KWCATVLD(KWV_NAME) CLUSTER "},
        {CAT_EDIT_STYLES, "SELECT * FROM JOE.KWCATEDT",
         "CREATE TABLE JOE.KWCATEDT (KWE_NAME CHAR(30) NOT NULL,KWE_EDIT VARCHAR(254),KWE_TYPE SMALLINT,"
         "KWE_CNTR INTEGER,KWE_SEQN SMALLINT,KWE_FLAG INTEGER,KWE_WORK CHAR(32)  ) ",
         "CREATE UNIQUE INDEX KWCATEDT_IDX  ON JOE.KWCATEDT(KWE_NAME, KWE_SEQN) "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(TDX_CatalogTableName(c.table));
        EXPECT_EQ(catalogTextOf(TDX_CatalogProbeText, c.table, "JOE"), c.probe);
        if (c.create != nullptr) {
            EXPECT_EQ(catalogTextOf(TDX_CatalogCreateText, c.table, "", "TS1", "JOE"), c.create)
                << "no database: no IN clause, whatever the table space";
        }
        EXPECT_EQ(catalogTextOf(TDX_CatalogIndexText, c.table, "JOE"), c.index);
        EXPECT_EQ(catalogTextOf(TDX_CatalogGrantText, c.table, "JOE"),
                  std::string("GRANT SELECT, UPDATE, INSERT, DELETE ON JOE.") +
                      TDX_CatalogTableName(c.table) + "  TO PUBLIC ");
    }
}

TEST_F(ExtCatalogTest, TheInClauseFollowsTheBodyDirectly) {
    EXPECT_EQ(catalogTextOf(TDX_CatalogCreateText, CAT_TABLES, "DB1", "TS1", "K"),
              std::string("CREATE TABLE K.") + kTableBody + "IN DB1.TS1 ");
    EXPECT_EQ(catalogTextOf(TDX_CatalogCreateText, CAT_TABLES, "DB1", "", "K"),
              std::string("CREATE TABLE K.") + kTableBody + "IN DATABASE DB1 ");
}

// The seed rows (the twenty formats and twenty-one edit styles, in order) and the dictionary
// queries: each a writer of one owner's text from a number.
TEST_F(ExtCatalogTest, SeedRowsAndDictionaryQueriesNameTheOwnersTables) {
    using Writer = void (*)(RequestBlock*, CatalogStatement*, int32_t, const char*);
    const struct {
        Writer write;
        int32_t number;
        const char* text;
    } cases[] = {
        {TDX_SeedFormatText, 0, "INSERT INTO JOE.KWCATFMT VALUES ('[General]', '[General]', 81, 0)"},
        {TDX_SeedFormatText, 5,
         "INSERT INTO JOE.KWCATFMT VALUES ('$#,##0;($#,##0)', '$#,##0;($#,##0)', 81, 0)"},
        {TDX_SeedFormatText, 11, "INSERT INTO JOE.KWCATFMT VALUES ('0.00E+00', '0.00E+00', 81, 0)"},
        {TDX_SeedFormatText, 12, "INSERT INTO JOE.KWCATFMT VALUES ('m/d/yy', 'm/d/yy', 84, 0)"},
        {TDX_SeedFormatText, 19, "INSERT INTO JOE.KWCATFMT VALUES ('m/d/yy h:mm', 'm/d/yy h:mm', 84, 0)"},
        {TDX_SeedEditStyleText, 0,
         "INSERT INTO JOE.KWCATEDT values ('###,###.00', '###,###.00', 90, 1, 1, 32, '10')"},
        {TDX_SeedEditStyleText, 2,
         "INSERT INTO JOE.KWCATEDT values ('###-##-####', '###-##-####', 90, 1, 1, 32, '00')"},
        {TDX_SeedEditStyleText, 10,
         "INSERT INTO JOE.KWCATEDT values ('HH:MM:SS', 'HH:MM:SS', 90, 1, 1, 32, '30')"},
        {TDX_SeedEditStyleText, 20,
         "INSERT INTO JOE.KWCATEDT values ('DD/MM/YY HH:MM:SS:FFFFFF', 'DD/MM/YY HH:MM:SS:FFFFFF', 90, 1, 1, "
         "32, '40')"},
        {TDX_DictionaryQuery, DICT_FORMATS,
         "SELECT KWF_NAME, KWF_FRMT, KWF_TYPE, KWF_CNTR FROM JOE.KWCATFMT"},
        {TDX_DictionaryQuery, DICT_VALIDATIONS,
         "SELECT KWV_NAME, KWV_VALD, KWV_TYPE, KWV_CNTR, KWV_MSG FROM JOE.KWCATVLD"},
        {TDX_DictionaryQuery, DICT_EDIT_STYLES,
         "SELECT KWE_NAME, KWE_EDIT, KWE_TYPE, KWE_CNTR, KWE_WORK, KWE_SEQN, KWE_FLAG FROM JOE.KWCATEDT"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(catalogTextOf(c.write, c.number, "JOE"), c.text);
    }
}

// A style stored with rows 1 and 2: three new rows become two UPDATEs (the counters one up, in the
// statements and in the host's rows) and an INSERT; one new row becomes an UPDATE and a DELETE of
// the stored row 2. Quotes in the name and texts are doubled; a negative type goes back signed.
TEST_F(ExtCatalogTest, Request217PairsNewRowsWithStoredOnesInOrder) {
    store({row("d'x", "##", 3, 1, "10"), row("d'x", "##.#", 7, 2)});
    block.arg = listOf({row("d'x", "A'1", 0, 1, "w'1"), row("d'x", "B", 0, 2), row("d'x", "C", 0, 3, "20")});
    route(REQ_WRITE_EDIT_STYLE);
    EXPECT_EQ(+block.status, 0) << message();
    const std::vector<std::string> three = {
        "UPDATE JOE.KWCATEDT SET KWE_EDIT = 'A''1', KWE_TYPE =  90 , KWE_CNTR = 4 , KWE_FLAG = 32 , KWE_WORK "
        "= "
        "'w''1' where KWE_NAME = 'd''x' and  KWE_CNTR =  3  and  KWE_SEQN =  1 ",
        "UPDATE JOE.KWCATEDT SET KWE_EDIT = 'B', KWE_TYPE =  90 , KWE_CNTR = 8 , KWE_FLAG = 32 , KWE_WORK = "
        "'' "
        "where KWE_NAME = 'd''x' and  KWE_CNTR =  7  and  KWE_SEQN =  2 ",
        "INSERT INTO JOE.KWCATEDT VALUES('d''x', 'C', 90, 0, 3, 32, '20' )",
    };
    EXPECT_EQ(texts(), three);
    EXPECT_EQ(rows[2]->counter, 4);
    EXPECT_EQ(rows[3]->counter, 8);
    EXPECT_EQ(+block.result, 1);

    clearStatements();
    DictionaryEntry* single = row("d'x", "Z", 0, 1);
    single->type = 65535;  // -1 as read back from the SMALLINT
    block.arg = listOf({single});
    route(REQ_WRITE_EDIT_STYLE);
    EXPECT_EQ(texts(),
              (std::vector<std::string>{
                  "UPDATE JOE.KWCATEDT SET KWE_EDIT = 'Z', KWE_TYPE =  -1 , KWE_CNTR = 4 , KWE_FLAG = 32 , "
                  "KWE_WORK = '' where KWE_NAME = 'd''x' and  KWE_CNTR =  3  and  KWE_SEQN =  1 ",
                  "DELETE FROM JOE.KWCATEDT WHERE KWE_NAME = 'd''x' AND  KWE_CNTR =  7  AND  KWE_SEQN =  2 ",
              }));
}

TEST_F(ExtCatalogTest, Request217ForANewStyleInsertsOnly) {
    store({row("other", "##", 1, 1)});
    block.arg = listOf({row("new", "#", 0, 1, "10"), row("new", "##", 0, 2, "10")});
    route(REQ_WRITE_EDIT_STYLE);
    EXPECT_EQ(texts(), (std::vector<std::string>{
                           "INSERT INTO JOE.KWCATEDT VALUES('new', '#', 90, 0, 1, 32, '10' )",
                           "INSERT INTO JOE.KWCATEDT VALUES('new', '##', 90, 0, 2, 32, '10' )",
                       }));
}

// Names longer than the check's working buffers are refused before anything is sent (the block
// has no connection to send on: a statement would crash the test).
TEST_F(ExtCatalogTest, TheCheckRefusesADatabaseOrOwnerNameTooLongForItsBuffers) {
    kwhost_setBlockText(&block, &block.databaseName, std::string(TDX_DATABASE_NAME_MAX + 1, 'D').c_str());
    TDX_CheckCatalog(&block);
    EXPECT_EQ(+block.status, KW_STATUS_DRIVER_FAILURE);
    EXPECT_NE(message().find("database name is longer than 11 characters"), std::string::npos) << message();

    block.status = 0;
    kwhost_setBlockText(&block, &block.databaseName, nullptr);
    kwshr_free(context, connection.catalogOwner);
    connection.catalogOwner = nullptr;
    kwhost_setBlockText(&block, &block.loginId, std::string(TDX_OWNER_NAME_MAX + 1, 'O').c_str());
    TDX_CheckCatalog(&block);  // no catalog owner: the login id, too long
    EXPECT_EQ(+block.status, KW_STATUS_DRIVER_FAILURE);
    EXPECT_NE(message().find("catalog owner name is longer than 129 characters"), std::string::npos)
        << message();
    kwhost_setBlockText(&block, &block.loginId, nullptr);
}

// Before any connect, requests 153 and 217 lend themselves a connection record; an owner too
// long for the driver's buffer stops each before it writes or sends anything, and the lent record
// is given back (the context check at the end of the test finds anything left behind).
TEST_F(ExtCatalogTest, AnOverlongOwnerStopsTheCatalogWritersAndReturnsTheLentConnection) {
    block.connection = nullptr;
    kwhost_setBlockText(&block, &block.currentUser, std::string(TDX_OWNER_NAME_MAX + 1, 'O').c_str());
    for (int32_t code : {REQ_CLEAN_CATALOG, REQ_WRITE_EDIT_STYLE}) {
        SCOPED_TRACE("request " + std::to_string(code));
        block.status = 0;
        route(code);
        EXPECT_EQ(+block.status, KW_STATUS_DRIVER_FAILURE);
        EXPECT_NE(message().find("catalog owner name is longer than 129 characters"), std::string::npos)
            << message();
        EXPECT_EQ(+block.statementList, nullptr);
        EXPECT_EQ(+block.connection, nullptr) << "the lent record is given back";
    }
}

TEST_F(ExtCatalogTest, Request153WritesTheTwoCleanUpStatements) {
    route(REQ_CLEAN_CATALOG);
    const std::vector<Lines> expected = {
        {"DELETE FROM JOE.KWCATTBL", "WHERE NOT EXISTS ", "(SELECT * FROM SYSIBM.SYSTABLES ",
         "WHERE JOE.KWCATTBL.KWT_TNAM = ", "      SYSIBM.SYSTABLES.NAME ",
         "AND   JOE.KWCATTBL.KWT_OWNR = ", "      SYSIBM.SYSTABLES.CREATOR) "},
        {"DELETE FROM JOE.KWCATCOL", " WHERE NOT EXISTS ", "(SELECT * FROM SYSIBM.SYSCOLUMNS ",
         "WHERE   JOE.KWCATCOL.KWC_TNAM = ", "      SYSIBM.SYSCOLUMNS.TBNAME ",
         "AND   JOE.KWCATCOL.KWC_OWNR = ", "      SYSIBM.SYSCOLUMNS.TBCREATOR ",
         "AND JOE.KWCATCOL.KWC_CNAM = ", "      SYSIBM.SYSCOLUMNS.NAME) "},
    };
    EXPECT_EQ(statements(), expected);
    EXPECT_EQ(+block.result, 9);

    // Without a catalog owner the references carry no qualifier; an empty system owner is SYSIBM.
    clearStatements();
    freeTexts(connection);
    connection.catalogOwner = kwshr_duplicateString(context, "", 0);
    connection.systemOwner = kwshr_duplicateString(context, "", 0);
    route(REQ_CLEAN_CATALOG);
    const auto all = statements();
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0][0], "DELETE FROM KWCATTBL");
    EXPECT_EQ(all[0][3], "WHERE KWCATTBL.KWT_TNAM = ");
    EXPECT_EQ(all[1][7], "AND KWCATCOL.KWC_CNAM = ");
    EXPECT_EQ(all[1][8], "      SYSIBM.SYSCOLUMNS.NAME) ");
}

}  // namespace
