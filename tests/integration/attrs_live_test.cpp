// attrs_live_test.cpp - the extended attribute catalog against the live gateway: the check after a
// connect through request 67 (creation with its exact DDL, seeds, nothing on the second connect,
// the host's no-create flag, empty tables seeded, a refused probe), and the round trip of a table's
// attributes written by request 45 and run through request 5, read back by 107, 110, 64 and 70,
// removed by 60; edit styles through 215, 217 and 218; the clean-up statements of 153.
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "driver_host.h"
#include "hostlist.h"
#include "kwuser.h"
#include "shell.h"

namespace {

using kwhosttest::Transaction;
using kwtest::Environment;
using Texts = std::vector<std::string>;

const char kTableBody[] =
    "KWCATTBL (KWT_TNAM CHAR(30),KWT_TID INTEGER,KWT_OWNR CHAR(30),KWD_FHGT SMALLINT,KWD_FWGT SMALLINT,"
    "KWD_FITL CHAR(1),KWD_FUNL CHAR(1),KWD_FCHR SMALLINT,KWD_FPTC SMALLINT,KWD_FFCE CHAR(18),KWH_FHGT "
    "SMALLINT,KWH_FWGT SMALLINT,KWH_FITL CHAR(1),KWH_FUNL CHAR(1),KWH_FCHR SMALLINT,KWH_FPTC SMALLINT,"
    "KWH_FFCE CHAR(18),KWL_FHGT SMALLINT,KWL_FWGT SMALLINT,KWL_FITL CHAR(1),KWL_FUNL CHAR(1),KWL_FCHR "
    "SMALLINT,KWL_FPTC SMALLINT,KWL_FFCE CHAR(18),KWT_CMNT CHAR(254))";

char* columnKeyName(void* record) {
    return static_cast<char*>(record);
}

class AttributesLiveTest : public ::testing::Test {
  protected:
    void SetUp() override {
        kwhost_setProfilePath(profile.c_str());
        kwshr_writeProfileString("database", "TableSpace", "TS1");  // no table-space dialog
        kwuser_useScriptedPresenter();
        kwuser_scriptReset();
        kwuser_messageBoxClear();
        connectContext.caption = caption;
    }
    void TearDown() override {
        EXPECT_EQ(kwuser_scriptPendingActions(), 0);
        kwuser_setPresenter(nullptr);
        std::filesystem::remove(profile);
    }

    // Request 67 with every login value, so no login dialog; answers its status.
    int32_t connect(Transaction& t, const char* dbParm, uint8_t flags = 0) {
        t.setLogin("", nullptr, nullptr, dbParm);
        t.block().flags = flags;
        t.block().arg = &connectContext;
        const int32_t status = t.call(REQ_CONNECT_WITH_DIALOG);
        t.block().arg = nullptr;
        return status;
    }

    Texts sent(size_t mark) { return env.gateway().requestsSince(mark); }

    // The requests from the first probe of the owner's KWCATTBL on.
    Texts fromFirstProbe(size_t mark, const std::string& owner) {
        Texts all = sent(mark);
        const std::string probe = "SELECT * FROM " + owner + ".KWCATTBL WHERE 1 = 2";
        for (size_t i = 0; i < all.size(); ++i) {
            if (all[i] == probe) {
                return Texts(all.begin() + static_cast<std::ptrdiff_t>(i), all.end());
            }
        }
        return {};
    }

    int count(const std::string& sql) { return std::stoi(env.queryValue(sql)); }

    // Lets JOE create objects for another creator, as a member of its role.
    void letJoeCreateFor(const std::string& creator) {
        env.exec("do $$ begin create role " + creator +
                 " nologin; exception when duplicate_object then null; "
                 "end $$; grant " +
                 creator + " to joe");
    }

    Environment& env = Environment::get();
    const std::filesystem::path profile =
        std::filesystem::temp_directory_path() / ("kw-attrs-" + std::to_string(::getpid()) + ".ini");
    char caption[16] = "Catalog";
    HostConnectContext connectContext{};
};

// What the check sends for one missing table: probe, CREATE TABLE, index, grant.
Texts creation(const std::string& o, const std::string& probe, const std::string& body,
               const std::string& index, const std::string& table) {
    return {probe, "CREATE TABLE " + o + "." + body, index,
            "GRANT SELECT, UPDATE, INSERT, DELETE ON " + o + "." + table + "  TO PUBLIC "};
}

TEST_F(AttributesLiveTest, AFreshDatabaseGetsTheFiveTablesAndSeedsAndASecondConnectCreatesNothing) {
    Transaction t;
    size_t mark = env.gateway().mark();
    ASSERT_EQ(connect(t, "KWCatalogOwner=''"), 0) << t.message();
    EXPECT_EQ(t.block().flags & FLAG_CATALOG_UNAVAILABLE, 0);
    EXPECT_EQ(kwuser_messageBoxCount(), 0);

    Texts expected;
    auto add = [&](const Texts& more) { expected.insert(expected.end(), more.begin(), more.end()); };
    add(creation("JOE", "SELECT * FROM JOE.KWCATTBL WHERE 1 = 2", kTableBody,
                 "CREATE UNIQUE INDEX KWCATTBL_IDX   ON JOE.KWCATTBL(KWT_TNAM, KWT_OWNR) ", "KWCATTBL"));
    add(creation("JOE", "SELECT * FROM JOE.KWCATCOL WHERE 1 = 2",
                 "KWCATCOL ( KWC_TNAM CHAR(30),KWC_TID INTEGER,KWC_OWNR CHAR(30),KWC_CNAM CHAR(30),KWC_CID "
                 "SMALLINT,KWC_LABL CHAR(254),KWC_LPOS SMALLINT,KWC_HDR CHAR(254),KWC_HPOS SMALLINT,KWC_JTFY "
                 "SMALLINT,KWC_MASK CHAR(31),KWC_CASE SMALLINT,KWC_HGHT SMALLINT,KWC_WDTH SMALLINT,KWC_PTRN "
                 "CHAR(31),KWC_BMAP CHAR(1),KWC_INIT CHAR(254),KWC_CMNT CHAR(254),KWC_EDIT CHAR(31),KWC_TAG "
                 "CHAR(254))",
                 "CREATE UNIQUE INDEX KWCATCOL_IDX  ON JOE.KWCATCOL(KWC_TNAM, KWC_OWNR, KWC_CNAM)",
                 "KWCATCOL"));
    add(creation(
        "JOE", "SELECT COUNT(*) FROM JOE.KWCATFMT ",
        "KWCATFMT (KWF_NAME CHAR(30) NOT NULL,KWF_FRMT CHAR(254) NOT NULL,KWF_TYPE SMALLINT NOT NULL,"
        "KWF_CNTR int ) ",
        "CREATE UNIQUE INDEX KWCATFMT_IDX  ON JOE.KWCATFMT(KWF_NAME) ", "KWCATFMT"));
    expected.push_back("INSERT INTO JOE.KWCATFMT VALUES ('[General]', '[General]', 81, 0)");
    const size_t firstFormat = expected.size() - 1;
    expected.resize(firstFormat + 20);  // the other 19 formats are checked by count below
    add(creation(
        "JOE", "SELECT * FROM JOE.KWCATVLD WHERE 1 = 2",
        "KWCATVLD (KWV_NAME CHAR(30) NOT NULL,KWV_VALD CHAR(254) NOT NULL,KWV_TYPE SMALLINT,KWV_CNTR "
        "INTEGER,KWV_MSG CHAR(254)) ",
        "CREATE UNIQUE INDEX KWCATVLD_IDX  ON JOE.KWCATVLD(KWV_NAME) CLUSTER ", "KWCATVLD"));
    add(creation(
        "JOE", "SELECT * FROM JOE.KWCATEDT",
        "KWCATEDT (KWE_NAME CHAR(30) NOT NULL,KWE_EDIT VARCHAR(254),KWE_TYPE SMALLINT,KWE_CNTR INTEGER,"
        "KWE_SEQN SMALLINT,KWE_FLAG INTEGER,KWE_WORK CHAR(32)  ) ",
        "CREATE UNIQUE INDEX KWCATEDT_IDX  ON JOE.KWCATEDT(KWE_NAME, KWE_SEQN) ", "KWCATEDT"));
    const size_t firstStyle = expected.size();
    expected.resize(firstStyle + 21);
    expected.push_back("commit tran");

    Texts got = fromFirstProbe(mark, "JOE");
    ASSERT_GE(got.size(), expected.size());
    got.resize(expected.size());
    for (size_t i = firstFormat + 1; i < firstFormat + 20; ++i) {
        EXPECT_EQ(got[i].rfind("INSERT INTO JOE.KWCATFMT VALUES (", 0), 0u) << got[i];
        got[i].clear();
    }
    for (size_t i = firstStyle; i < firstStyle + 21; ++i) {
        EXPECT_EQ(got[i].rfind("INSERT INTO JOE.KWCATEDT values (", 0), 0u) << got[i];
        got[i].clear();
    }
    EXPECT_EQ(got, expected);
    EXPECT_EQ(count("select count(*) from joe.kwcatfmt"), 20);
    EXPECT_EQ(count("select count(*) from joe.kwcatedt"), 21);
    EXPECT_EQ(count("select count(*) from joe.kwcatvld"), 0);
    EXPECT_EQ(count("select count(*) from joe.kwcatfmt where kwf_type = 84"), 8);
    EXPECT_EQ(t.execute("SELECT 1 FROM SYSIBM.SYSDUMMY1"), 0) << "the connection works: " << t.message();
    t.disconnect();

    // The second connect only probes.
    mark = env.gateway().mark();
    Transaction again;
    ASSERT_EQ(connect(again, "KWCatalogOwner=''"), 0) << again.message();
    EXPECT_EQ(fromFirstProbe(mark, "JOE"),
              (Texts{"SELECT * FROM JOE.KWCATTBL WHERE 1 = 2", "SELECT * FROM JOE.KWCATCOL WHERE 1 = 2",
                     "SELECT COUNT(*) FROM JOE.KWCATFMT ", "SELECT * FROM JOE.KWCATVLD WHERE 1 = 2",
                     "SELECT * FROM JOE.KWCATEDT", "commit tran", "SET LONG_TRANS NO"}));
}

// With the host's no-create flag a missing catalog makes the connection go on without one,
// silently; with the flag clear, empty format and edit-style tables are seeded, a non-empty one is
// left alone.
TEST_F(AttributesLiveTest, TheNoCreateFlagAndEmptyTablesSeeded) {
    {
        Transaction t;
        const size_t mark = env.gateway().mark();
        ASSERT_EQ(connect(t, "KWCatalogOwner='KWNONE'", FLAG_NO_CATALOG_CREATE), 0) << t.message();
        EXPECT_NE(t.block().flags & FLAG_CATALOG_UNAVAILABLE, 0);
        EXPECT_EQ(kwuser_messageBoxCount(), 0);
        EXPECT_EQ(fromFirstProbe(mark, "KWNONE").at(1), "commit tran") << "nothing created after the probe";
        EXPECT_EQ(count("select count(*) from pg_tables where schemaname = 'kwnone'"), 0);
    }
    letJoeCreateFor("kwseed");
    {
        Transaction t;
        ASSERT_EQ(connect(t, "KWCatalogOwner='KWSEED'"), 0) << t.message();
        EXPECT_EQ(kwuser_messageBoxCount(), 0);
        EXPECT_EQ(count("select count(*) from kwseed.kwcatfmt"), 20);
    }
    env.exec("delete from kwseed.kwcatedt; delete from kwseed.kwcatfmt where kwf_name <> '0'");
    {
        Transaction t;
        ASSERT_EQ(connect(t, "KWCatalogOwner='KWSEED'", FLAG_NO_CATALOG_CREATE), 0) << t.message();
        EXPECT_EQ(t.block().flags & FLAG_CATALOG_UNAVAILABLE, 0) << "the tables are there";
        EXPECT_EQ(count("select count(*) from kwseed.kwcatedt"), 0) << "not seeded under the no-create flag";
    }
    {
        Transaction t;
        ASSERT_EQ(connect(t, "KWCatalogOwner='KWSEED'"), 0) << t.message();
        EXPECT_EQ(count("select count(*) from kwseed.kwcatedt"), 21);
        EXPECT_EQ(count("select count(*) from kwseed.kwcatfmt"), 1) << "a table with any row is left alone";
    }
}

// A probe refused for another reason than a missing table stops the check: the rest is neither
// probed nor created, the work is rolled back, the user is told, and the connection goes on
// without the catalog.
TEST_F(AttributesLiveTest, AProbeRefusedForAnotherReasonStopsTheCheckWithMessageBox1214) {
    env.exec("create schema if not exists kwdeny; create table if not exists kwdeny.kwcattbl (k int)");
    Transaction t;
    const size_t mark = env.gateway().mark();
    ASSERT_EQ(connect(t, "KWCatalogOwner='KWDENY'"), 0) << t.message();
    EXPECT_NE(t.block().flags & FLAG_CATALOG_UNAVAILABLE, 0);
    EXPECT_EQ(t.message(), "");
    ASSERT_EQ(kwuser_messageBoxCount(), 1);
    char text[300] = {};
    char boxCaption[40] = {};
    UINT type = 0;
    kwuser_messageBoxAt(0, text, sizeof text, boxCaption, sizeof boxCaption, &type);
    EXPECT_STREQ(text, "Catalog tables could not be created and are not available for use.");
    EXPECT_STREQ(boxCaption, caption);
    EXPECT_EQ(type & 0xF0u, static_cast<UINT>(MB_ICONEXCLAMATION));
    const Texts got = fromFirstProbe(mark, "KWDENY");
    ASSERT_GE(got.size(), 2u);
    EXPECT_EQ(got[1], "rollback tran");
    for (const std::string& s : got) {
        EXPECT_EQ(s.find("KWCATCOL"), std::string::npos) << s;
    }
    EXPECT_EQ(t.execute("SELECT 1 FROM SYSIBM.SYSDUMMY1"), 0) << t.message();
    // Requests that need the catalog now skip it.
    TableEntry entry{};
    t.block().arg = &entry;
    const size_t before = env.gateway().mark();
    EXPECT_EQ(t.call(REQ_READ_ATTRIBUTES), 0);
    EXPECT_TRUE(sent(before).empty());
    t.block().arg = nullptr;
}

// A null catalog owner is asked for with the catalog owner dialog before the check.
TEST_F(AttributesLiveTest, ANullCatalogOwnerIsAskedForFirst) {
    letJoeCreateFor("kwasked");
    kwuser_scriptType(IDC_CATALOG_OWNER, "kwasked");
    kwuser_scriptClick(IDOK);
    Transaction t;
    const size_t mark = env.gateway().mark();
    ASSERT_EQ(connect(t, nullptr), 0) << t.message();
    ConnectionRecord* record = t.block().connection;
    ASSERT_NE(record, nullptr);
    EXPECT_STREQ(record->catalogOwner, "KWASKED");
    EXPECT_FALSE(fromFirstProbe(mark, "KWASKED").empty());
    EXPECT_EQ(kwuser_messageBoxCount(), 0);
    EXPECT_EQ(count("select count(*) from kwasked.kwcatedt"), 21);
}

// ---- The round trip ----

class RoundTripTest : public AttributesLiveTest {
  protected:
    void SetUp() override {
        AttributesLiveTest::SetUp();
        ASSERT_EQ(connect(t, "KWCatalogOwner='',SystemOwner='SYSIBM'"), 0) << t.message();
        kwhost_setBlockText(&t.block(), &t.block().currentUser, "JOE");
        ctx = t.block().memoryContext;
    }
    void TearDown() override {
        kwsh::takeStatements(t.block());
        for (auto& [d, texts] : owned) {
            for (char* text : texts) {
                kwshr_free(ctx, text);
            }
        }
        for (HostList* list : lists) {
            kwshr_destroyList(list);
        }
        AttributesLiveTest::TearDown();
    }

    // The texts the driver copied into a record, freed at the end as the host frees them.
    void own(ColumnDescriptor* d) {
        owned.push_back({d,
                         {d->comment, d->label, d->heading, d->displayFormat, d->validationRule,
                          d->initialValue, d->editStyle}});
    }
    void own(TableEntry* e) { owned.push_back({nullptr, {e->comment}}); }

    HostList* listOf(std::vector<void*> items) {
        HostList* list = kwshr_createList(ctx, 0);
        for (void* item : items) {
            kwshr_appendToList(list, item);
        }
        lists.push_back(list);
        return list;
    }

    // Asks a writer request and runs what it wrote through request 5, as the host does.
    Texts runWritten(int32_t code, void* arg) {
        t.block().arg = arg;
        EXPECT_EQ(t.call(code), 0) << t.message();
        const Texts texts = kwsh::takeStatements(t.block());
        for (const std::string& text : texts) {
            EXPECT_EQ(t.execute(text), 0) << text << ": " << t.message();
        }
        t.block().arg = nullptr;
        return texts;
    }

    // A dictionary read, its records freed at the end.
    std::vector<DictionaryEntry*> dictionary(int32_t code) {
        EXPECT_EQ(t.call(code), 0) << t.message();
        auto set = reinterpret_cast<KWSET>(t.block().result);
        std::vector<DictionaryEntry*> out;
        for (void* r = kwshr_firstInKeyedSet(set); r != nullptr; r = kwshr_nextInKeyedSet(set)) {
            out.push_back(static_cast<DictionaryEntry*>(r));
        }
        sets.push_back(set);
        return out;
    }
    void freeDictionaries() {
        for (KWSET set : sets) {
            for (void* r = kwshr_firstInKeyedSet(set); r != nullptr; r = kwshr_nextInKeyedSet(set)) {
                auto* e = static_cast<DictionaryEntry*>(r);
                kwshr_free(ctx, e->name);
                kwshr_free(ctx, e->text);
                kwshr_free(ctx, e->extra);
                kwshr_free(ctx, e);
            }
            kwshr_destroyKeyedSet(set);
        }
        sets.clear();
    }

    Transaction t;
    KWCTX ctx = nullptr;
    std::vector<std::pair<void*, std::vector<char*>>> owned;
    std::vector<HostList*> lists;
    std::vector<KWSET> sets;
};

struct Saved {
    TableEntry table{};
    ColumnDescriptor id{}, name{};
    std::string idName = "id", nameName = "name", owner = "joe";
};

// Everything the painter saves, at the edges: negative heights and weights, -1 positions, flags of
// 1 and 2, a full character-set byte, quotes in every text, texts of the longest lengths.
void fill(Saved& s) {
    std::strcpy(s.table.name, "emp");
    s.table.owner = s.owner.data();
    s.table.dataFont = FontAttributes{-10, 700, 1, 0, 255, 34, "O'Brien Sans Bold"};
    s.table.headingFont = FontAttributes{12, -100, 0, 2, 0, 18, "Arial"};
    s.table.labelFont = FontAttributes{0, 0, 0, 0, 0, 0, ""};
    static std::string comment = "it's " + std::string(249, 'c');
    s.table.comment = comment.data();
    s.id.name = s.idName.data();
    s.id.hostType = HOST_INTEGER;
    static std::string label = "Emp's " + std::string(248, 'l');
    static std::string heading = "Id", format = "#,##0", rule = "id > 0 AND id <> 'x'", init = "'0'",
                       empty = "", style = "#####";
    s.id.label = label.data();
    s.id.labelPosition = -1;
    s.id.heading = heading.data();
    s.id.headingPosition = 2;
    s.id.justification = 1;
    s.id.displayFormat = format.data();
    s.id.caseConversion = 2;
    s.id.displayHeight = -1;
    s.id.displayWidth = 32767;
    s.id.validationRule = rule.data();
    s.id.bitmap = 1;
    s.id.initialValue = init.data();
    s.id.comment = empty.data();
    s.id.editStyle = style.data();
    s.name.name = s.nameName.data();
    s.name.hostType = HOST_VARCHAR;
}

std::string str(const char* text) {
    return text != nullptr ? text : "<null>";
}

// A column's attributes as a person compares them: 16-bit values as the signed values they are.
std::string attributes(const ColumnDescriptor& d) {
    auto n = [](int32_t v) { return std::to_string(static_cast<int16_t>(v)); };
    return str(d.label) + "|" + n(d.labelPosition) + "|" + str(d.heading) + "|" + n(d.headingPosition) + "|" +
           n(d.justification) + "|" + str(d.displayFormat) + "|" + n(d.caseConversion) + "|" +
           n(d.displayHeight) + "|" + n(d.displayWidth) + "|" + str(d.validationRule) + "|" +
           std::to_string(d.bitmap) + "|" + str(d.initialValue) + "|" + str(d.comment) + "|" +
           str(d.editStyle);
}

std::string font(const FontAttributes& f) {
    return std::to_string(f.height) + "," + std::to_string(f.weight) + "," + std::to_string(f.italic != 0) +
           "," + std::to_string(f.underline != 0) + "," + std::to_string(f.charSet) + "," +
           std::to_string(f.pitchAndFamily) + "," + f.faceName;
}

TEST_F(RoundTripTest, AttributesWrittenBy45ReadBackBy107And110And64And70AndRemovedBy60) {
    ASSERT_EQ(t.execute("CREATE TABLE EMP (ID INTEGER, NAME VARCHAR(10))"), 0) << t.message();
    Saved saved;
    fill(saved);
    saved.table.columns = listOf({&saved.id, &saved.name});
    HostList* arg = listOf({&saved.table});
    // Every statement is an INSERT the first time, an UPDATE the second; both leave the same rows.
    Texts first = runWritten(REQ_WRITE_ATTRIBUTES, arg);
    ASSERT_EQ(first.size(), 3u);
    EXPECT_EQ(first[0].rfind("INSERT INTO JOE.KWCATTBL", 0), 0u);
    Texts second = runWritten(REQ_WRITE_ATTRIBUTES, arg);
    ASSERT_EQ(second.size(), 3u);
    EXPECT_EQ(second[0].rfind("UPDATE  JOE.KWCATTBL SET", 0), 0u);
    EXPECT_EQ(second[1].rfind("UPDATE JOE.KWCATCOL SET", 0), 0u);
    EXPECT_STREQ(saved.table.name, "emp");
    EXPECT_STREQ(saved.id.name, "id");
    EXPECT_EQ(count("select count(*) from joe.kwcatcol where kwc_tnam = 'EMP'"), 2);

    const std::string expectedId = attributes(saved.id);
    // The empty comment is stored as an empty text, which reads back as no comment.
    const std::string expectedIdRead = expectedId.substr(0, expectedId.rfind("||")) + "|<null>|#####";

    // 107: the table entry and its listed columns.
    Saved read;
    std::strcpy(read.table.name, "emp");
    read.table.owner = read.owner.data();
    read.id.name = read.idName.data();
    read.name.name = read.nameName.data();
    read.table.columns = listOf({&read.id, &read.name});
    t.block().arg = &read.table;
    ASSERT_EQ(t.call(REQ_READ_ATTRIBUTES), 0) << t.message();
    own(&read.table);
    own(&read.id);
    own(&read.name);
    for (auto [got, want] : {std::pair{&read.table.dataFont, &saved.table.dataFont},
                             {&read.table.headingFont, &saved.table.headingFont},
                             {&read.table.labelFont, &saved.table.labelFont}}) {
        EXPECT_EQ(font(*got), font(*want));
    }
    EXPECT_EQ(str(read.table.comment), str(saved.table.comment));
    EXPECT_EQ(attributes(read.id), expectedIdRead);
    EXPECT_EQ(+read.id.labelPosition, 65535) << "a 16-bit value is handed over unsigned";
    EXPECT_STREQ(read.id.tableName, "emp");
    EXPECT_EQ(attributes(read.name), "<null>|0|<null>|0|0|<null>|0|0|0|<null>|0|<null>|<null>|<null>");
    EXPECT_STREQ(read.table.name, "emp");
    EXPECT_STREQ(read.table.owner, "joe");

    // 110: column attributes through the host's keys; the format resolved through request 89's set.
    std::vector<DictionaryEntry*> formats = dictionary(REQ_READ_FORMATS);
    ASSERT_EQ(formats.size(), 20u);
    t.block().formatSet = reinterpret_cast<KWSET>(sets.back());
    ColumnDescriptor viaSet{};
    viaSet.name = read.idName.data();
    KWSET keys = kwshr_createKeyedSet(KWSHR_KEYED_SET_KIND, columnKeyName, 1, 0, ctx, 0);
    auto* key = static_cast<ColumnKey*>(kwshr_allocate(ctx, sizeof(ColumnKey), 0));
    std::memset(key, 0, sizeof *key);
    std::strcpy(key->columnName, "ID");
    std::strcpy(key->tableName, "emp");
    std::strcpy(key->ownerName, "joe");
    key->descriptor = &viaSet;
    kwshr_addToKeyedSet(keys, key);
    TableItem item{};
    std::strcpy(item.name, "emp");
    std::strcpy(item.owner, "joe");
    t.block().arg = listOf({&item});
    t.block().sqlText = reinterpret_cast<char*>(keys);
    ASSERT_EQ(t.call(REQ_READ_COLUMN_ATTRIBUTES), 0) << t.message();
    EXPECT_EQ(+t.block().sqlText, nullptr) << "the driver disposed of the keys";
    own(&viaSet);
    EXPECT_EQ(attributes(viaSet), expectedIdRead);
    t.block().formatSet = nullptr;
    freeDictionaries();

    // 64: one result-set column completed.
    ColumnDescriptor input{};
    input.name = read.idName.data();
    input.db2Type = DB2_INTEGER;
    t.block().arg = &input;
    kwhost_setBlockText(&t.block(), &t.block().sqlText, "emp");
    kwhost_setBlockText(&t.block(), &t.block().ownerName, "joe");
    ASSERT_EQ(t.call(REQ_COMPLETE_COLUMN), 0) << t.message();
    const auto completed = kwhosttest::items<ColumnDescriptor>(t.block().result);
    ASSERT_EQ(completed.size(), 1u);
    EXPECT_STREQ(completed[0]->name, "ID") << "left in upper case";
    EXPECT_EQ(attributes(*completed[0]), expectedIdRead);
    own(completed[0]);
    owned.push_back({nullptr, {completed[0]->name, reinterpret_cast<char*>(completed[0])}});
    lists.push_back(reinterpret_cast<HostList*>(t.block().result));

    // 70: the one-table list with the entry's fonts.
    ASSERT_EQ(t.call(REQ_DESCRIBE_TABLE), 0) << t.message();
    const auto described = kwhosttest::items<TableEntry>(t.block().result);
    ASSERT_EQ(described.size(), 1u);
    EXPECT_EQ(font(described[0]->headingFont), font(saved.table.headingFont));
    EXPECT_EQ(str(described[0]->comment), str(saved.table.comment));
    owned.push_back(
        {nullptr, {described[0]->comment, described[0]->owner, reinterpret_cast<char*>(described[0])}});
    lists.push_back(reinterpret_cast<HostList*>(t.block().result));
    kwhost_setBlockText(&t.block(), &t.block().sqlText, nullptr);
    kwhost_setBlockText(&t.block(), &t.block().ownerName, nullptr);

    // 60: both rows go.
    EXPECT_EQ(runWritten(REQ_DELETE_ATTRIBUTES, arg).size(), 2u);
    EXPECT_EQ(count("select count(*) from joe.kwcattbl where kwt_tnam = 'EMP'"), 0);
    EXPECT_EQ(count("select count(*) from joe.kwcatcol where kwc_tnam = 'EMP'"), 0);
}

TEST_F(RoundTripTest, EditStylesThroughRequests215And217And218KeepTheirCounters) {
    std::vector<DictionaryEntry*> seeded = dictionary(REQ_READ_EDIT_STYLES);
    ASSERT_EQ(seeded.size(), 21u);
    for (const DictionaryEntry* e : seeded) {
        EXPECT_EQ(std::tuple(+e->sequence, +e->counter, +e->flag, +e->type), std::tuple(1, 1, 32, 90))
            << e->name;
        EXPECT_STREQ(e->name, e->text);
        ASSERT_NE(+e->extra, nullptr);
    }
    freeDictionaries();

    // A new style of two rows: INSERTs only.
    std::string name = "kw'style", a = "A'1", b = "B", c = "C", work = "w'k";
    DictionaryEntry r1{name.data(), a.data(), 90, 0, 32, 1, work.data(), {}};
    DictionaryEntry r2{name.data(), b.data(), 90, 0, 32, 2, nullptr, {}};
    t.block().editStyleSet = nullptr;
    Texts written = runWritten(REQ_WRITE_EDIT_STYLE, listOf({&r1, &r2}));
    ASSERT_EQ(written.size(), 2u);
    EXPECT_EQ(written[0].rfind("INSERT INTO JOE.KWCATEDT", 0), 0u);

    // Edited into three rows: two UPDATEs that count the stored rows up, one INSERT.
    auto stored = [&] {
        std::vector<DictionaryEntry*> mine;
        for (DictionaryEntry* e : dictionary(REQ_READ_EDIT_STYLES)) {
            if (name == e->name) {
                mine.push_back(e);
            }
        }
        return mine;
    };
    std::vector<DictionaryEntry*> before = stored();
    ASSERT_EQ(before.size(), 2u);
    EXPECT_EQ(std::string(before[0]->text), "A'1");
    EXPECT_EQ(std::string(before[0]->extra), "w'k");
    t.block().editStyleSet = sets.back();
    DictionaryEntry e1{name.data(), c.data(), 90, 0, 32, 1, nullptr, {}};
    DictionaryEntry e2{name.data(), b.data(), 90, 0, 32, 2, nullptr, {}};
    DictionaryEntry e3{name.data(), a.data(), 90, 0, 32, 3, nullptr, {}};
    written = runWritten(REQ_WRITE_EDIT_STYLE, listOf({&e1, &e2, &e3}));
    ASSERT_EQ(written.size(), 3u);
    EXPECT_EQ(+e1.counter, 1);
    EXPECT_EQ(+e2.counter, 1);
    freeDictionaries();
    std::vector<DictionaryEntry*> after = stored();
    ASSERT_EQ(after.size(), 3u);
    EXPECT_EQ(
        std::tuple(std::string(after[0]->text), +after[0]->counter, +after[1]->counter, +after[2]->counter),
        std::tuple(std::string("C"), 1, 1, 0));
    t.block().editStyleSet = nullptr;
    freeDictionaries();

    // 218: every row of the style goes at once.
    kwhost_setBlockText(&t.block(), &t.block().sqlText, name.c_str());
    EXPECT_EQ(t.call(REQ_DROP_EDIT_STYLE), 0) << t.message();
    kwhost_setBlockText(&t.block(), &t.block().sqlText, nullptr);
    EXPECT_TRUE(stored().empty());
    EXPECT_EQ(dictionary(REQ_READ_EDIT_STYLES).size(), 21u) << "the seeded styles stay";
    freeDictionaries();
}

TEST_F(RoundTripTest, CleanUpRemovesExactlyTheRowsOfDroppedTablesAndColumns) {
    ASSERT_EQ(t.execute("CREATE TABLE KEEP (K INTEGER, GONE INTEGER)"), 0) << t.message();
    ASSERT_EQ(t.execute("CREATE TABLE DROPPED (D INTEGER)"), 0) << t.message();
    for (const char* table : {"keep", "dropped"}) {
        Saved s;
        std::strcpy(s.table.name, table);
        s.table.owner = s.owner.data();
        s.idName = table[0] == 'k' ? "k" : "d";
        s.id.name = s.idName.data();
        s.nameName = "gone";
        s.name.name = s.nameName.data();
        s.table.columns = table[0] == 'k' ? listOf({&s.id, &s.name}) : listOf({&s.id});
        runWritten(REQ_WRITE_ATTRIBUTES, listOf({&s.table}));
    }
    ASSERT_EQ(t.execute("DROP TABLE DROPPED"), 0) << t.message();
    env.exec("alter table joe.keep drop column gone");
    EXPECT_EQ(runWritten(REQ_CLEAN_CATALOG, nullptr).size(), 2u);
    EXPECT_EQ(env.queryValue("select string_agg(trim(kwt_tnam), ',' order by kwt_tnam) from joe.kwcattbl "
                             "where kwt_tnam in ('KEEP', 'DROPPED')"),
              "KEEP");
    EXPECT_EQ(
        env.queryValue("select string_agg(trim(kwc_tnam) || '.' || trim(kwc_cnam), ',') from joe.kwcatcol "
                       "where kwc_tnam in ('KEEP', 'DROPPED')"),
        "KEEP.K");
}

// The shell's \\attrs: attributes changed in one session are there after a reconnect; the dictionaries
// list as the catalog holds them.
TEST_F(AttributesLiveTest, KwshAttributesSurviveAWriteAReconnectAndARead) {
    std::string error;
    auto driver = kwsh::Driver::load(kwsh::defaultDriverPath(), error);
    ASSERT_NE(driver, nullptr) << error;
    std::ostringstream out, err;
    const kwsh::LoginValues login{env.serverName(), kwtest::kJoe.name, kwtest::kJoe.password,
                                  "KWCatalogOwner=''"};
    {
        kwsh::Shell shell(*driver, out, err);
        // kwsh always shows the login dialog: confirmed with the password typed.
        kwuser_scriptType(IDC_PASSWORD, kwtest::kJoe.password);
        kwuser_scriptClick(IDOK);
        ASSERT_TRUE(shell.connectWithDialog(login)) << err.str();
        shell.runText(
            "CREATE TABLE STAFF (ID INTEGER, NAME VARCHAR(20));\n"
            "\\attrs staff id label='Staff''s id' label_pos=-1 format=#,##0 bitmap=y comment=\"it's\"\n"
            "\\attrs staff - comment='Who works here' heading.weight=-100 heading.face=Courier\n",
            "");
        EXPECT_EQ(err.str(), "");
        EXPECT_NE(out.str().find("attributes of joe.staff stored (3 statements)"), std::string::npos)
            << out.str();
        out.str("");
        shell.runText("\\attrs staff id label_pos=x\n\\attrs staff nosuch label=a\n", "");
        EXPECT_NE(err.str().find("\"x\" is no 16-bit number; nothing was stored"), std::string::npos)
            << err.str();
        EXPECT_NE(err.str().find("joe.staff has no column \"nosuch\""), std::string::npos) << err.str();
        EXPECT_TRUE(shell.disconnect());
    }
    out.str("");
    err.str("");
    kwsh::Shell shell(*driver, out, err);
    kwuser_scriptType(IDC_PASSWORD, kwtest::kJoe.password);
    kwuser_scriptClick(IDOK);
    ASSERT_TRUE(shell.connectWithDialog(login)) << err.str();
    shell.runText("\\attrs staff\n\\editstyles\n", "");
    EXPECT_EQ(err.str(), "");
    const std::string shown = out.str();
    for (const char* line : {
             "Table joe.staff\n",
             "  comment:      \"Who works here\"\n",
             "  heading font: height 0, weight -100, charset 0, pitch 0, face \"Courier\"\n",
             "  id    label=\"Staff's id\" label_pos=-1 format=\"#,##0\" bitmap=y comment=\"it's\"\n",
             "  name  (no attributes)\n",
             "(21 rows)\n",
         }) {
        EXPECT_NE(shown.find(line), std::string::npos) << line << " in\n" << shown;
    }
    EXPECT_TRUE(shell.disconnect());
}

}  // namespace
