// catalog_live_test.cpp - the catalog requests against the live gateway: the tables a user may
// see (own, granted to the user, to the group, to PUBLIC, system-owned), the columns and their
// types, indexes with their keys, primary and foreign keys and dependent tables, every record
// field as a person reads the schema, and the exact statements the driver sends.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include <sstream>

#include "catalog.h"
#include "driver_host.h"
#include "shell.h"

namespace {

using kwhosttest::items;
using kwhosttest::keyList;
using kwhosttest::Transaction;
using kwtest::Environment;
using Texts = std::vector<std::string>;

const char kSystemOwner[] = "SystemOwner='SYSIBM'";

// Twenty-two key columns, W01 to W22, the primary key in reverse order.
std::string wideTable() {
    std::string columns, key;
    for (int i = 1; i <= 22; ++i) {
        const std::string name = (i < 10 ? "W0" : "W") + std::to_string(i);
        columns += name + " INTEGER NOT NULL, ";
        key = name + (key.empty() ? "" : ", ") + key;
    }
    return "CREATE TABLE WIDE (" + columns + "PRIMARY KEY (" + key + "))";
}

// The schema, in DB2 SQL through the gateway, as JOE and SMITH; system-owned tables by the
// superuser, as the catalog's owner would make them.
void buildSchema() {
    Environment& env = Environment::get();
    Transaction joe, smith;
    ASSERT_EQ(joe.connect(), 0) << joe.message();
    smith.setLogin("", kwtest::kSmith.name, kwtest::kSmith.password);
    ASSERT_EQ(smith.call(REQ_CONNECT), 0) << smith.message();
    const std::string wide = wideTable();
    for (const char* sql : {
             "CREATE TABLE DEPT (DEPTNO CHAR(3) NOT NULL, DEPTNAME VARCHAR(36) NOT NULL, MGRNO INTEGER, "
             "PRIMARY KEY (DEPTNO))",
             "CREATE TABLE EMP (EMPNO INTEGER NOT NULL, WORKDEPT CHAR(3) NOT NULL, LASTNAME VARCHAR(15) NOT "
             "NULL, "
             "PHONE CHAR(4), HIREDATE DATE NOT NULL, PRIMARY KEY (WORKDEPT, EMPNO, HIREDATE), "
             "FOREIGN KEY FDEPT (WORKDEPT) REFERENCES DEPT ON DELETE CASCADE)",
             "CREATE UNIQUE INDEX XEMPNAME ON EMP (LASTNAME, EMPNO DESC)",
             "CREATE INDEX XEMPHIRE ON EMP (HIREDATE DESC) CLUSTER",
             "CREATE INDEX XEMPPH ON EMP (PHONE)",
             "CREATE TABLE PROJ (PROJNO CHAR(6) NOT NULL, RESPEMP INTEGER, DEPTNO CHAR(3), RESPDEPT CHAR(3), "
             "MAJDEPT CHAR(3), RESPHIRE DATE, PRIMARY KEY (PROJNO), "
             "FOREIGN KEY FPDEPT (DEPTNO) REFERENCES DEPT ON DELETE SET NULL, "
             "FOREIGN KEY FPMAJ (MAJDEPT) REFERENCES DEPT ON DELETE RESTRICT, "
             "FOREIGN KEY FPEMP (RESPDEPT, RESPEMP, RESPHIRE) REFERENCES EMP ON DELETE SET NULL)",
             "CREATE TABLE ALLTYPES (C_CHAR CHAR(12), C_VC VARCHAR(40) NOT NULL, C_INT INTEGER, "
             "C_SMALL SMALLINT NOT NULL WITH DEFAULT, C_FLT FLOAT, C_LONG LONG VARCHAR, C_DEC DECIMAL(9,2), "
             "C_DATE DATE, C_TIME TIME, C_TS TIMESTAMP)",
             "CREATE TABLE UNQ (A INTEGER NOT NULL, B CHAR(2) NOT NULL, C INTEGER)",
             "CREATE INDEX XUNQC ON UNQ (C)",
             "CREATE UNIQUE INDEX XUNQ ON UNQ (B, A)",
             wide.c_str(),
             "CREATE TABLE KWCATCOL (KWC_TNAM CHAR(18), KWC_LABL VARCHAR(254))",
             "CREATE VIEW EMPVIEW (EMPNO, LASTNAME) AS SELECT EMPNO, LASTNAME FROM EMP",
             "GRANT ALTER ON DEPT TO SMITH",
         }) {
        ASSERT_EQ(joe.execute(sql), 0) << sql << ": " << joe.message();
    }
    for (const char* sql : {
             "CREATE TABLE SHOWN (K INTEGER)",
             "CREATE TABLE GROUPED (K INTEGER)",
             "CREATE TABLE PUB (K INTEGER)",
             "CREATE TABLE HIDDEN (K INTEGER)",
             "CREATE TABLE ASSIGN (DNO CHAR(3), FOREIGN KEY FAD (DNO) REFERENCES JOE.DEPT)",
             "CREATE TABLE PUBKID (DNO CHAR(3), FOREIGN KEY FPD (DNO) REFERENCES JOE.DEPT)",
             "GRANT SELECT ON SHOWN TO JOE WITH GRANT OPTION",
             "GRANT SELECT ON GROUPED TO DEVS",
             "GRANT SELECT ON PUB TO PUBLIC",
             "GRANT SELECT ON PUBKID TO PUBLIC",
         }) {
        ASSERT_EQ(smith.execute(sql), 0) << sql << ": " << smith.message();
    }
    env.exec(
        "CREATE TABLE sysibm.plain (k INTEGER, v CHAR(2));"
        "CREATE TABLE sysibm.kwcatcol (kwc_tnam CHAR(18), kwc_labl VARCHAR(254), extra INTEGER);"
        "GRANT SELECT ON sysibm.plain, sysibm.kwcatcol TO PUBLIC;"
        // A second catalog owner: KWSYS, whose catalog views read SYSIBM's, and a view it owns.
        "CREATE SCHEMA kwsys; GRANT USAGE ON SCHEMA kwsys TO PUBLIC;"
        "CREATE VIEW kwsys.systabauth AS SELECT * FROM sysibm.systabauth;"
        "CREATE VIEW kwsys.systables AS SELECT * FROM sysibm.systables;"
        "CREATE VIEW kwsys.ownview AS SELECT k FROM sysibm.plain;"
        "GRANT SELECT ON ALL TABLES IN SCHEMA kwsys TO PUBLIC");
}

// A table entry as a person reads it: owner.name and its flags.
using Listed = std::map<std::string, int32_t>;

Listed listed(intptr_t result) {
    Listed out;
    for (const TableEntry* entry : items<TableEntry>(result)) {
        out[std::string(entry->owner) + "." + entry->name] = entry->flags;
    }
    return out;
}

// Frees a table list as the host does: each entry's owner copy, the entry, the list.
void freeTables(KWCTX context, intptr_t result) {
    for (TableEntry* e : items<TableEntry>(result)) {
        kwshr_free(context, e->owner);
        kwshr_free(context, e);
    }
    kwshr_destroyList(reinterpret_cast<HostList*>(result));
}

class CatalogLiveTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { buildSchema(); }

    // Request 35 checks no extended catalog, and this database has none (only a user table named
    // like one of its tables): the block says so, as after a failed check, so that requests 70 and
    // 64 answer from the DB2 catalog alone.
    void connect(const std::string& dbParm = kSystemOwner) {
        ASSERT_EQ(t.connect("", dbParm.c_str()), 0) << t.message();
        kwhost_setBlockText(&t.block(), &t.block().currentUser, "joe");
        t.block().flags |= FLAG_CATALOG_UNAVAILABLE;
    }
    void SetUp() override { connect(); }
    void set(char** field, const char* text) { kwhost_setBlockText(&t.block(), field, text); }

    // Request 7 or 8 and the table list it answers.
    intptr_t listTables(int32_t code, const char* table = nullptr, const char* owner = nullptr) {
        set(&t.block().sqlText, table);
        set(&t.block().ownerName, owner);
        t.call(code);
        return t.block().result;
    }
    // The one entry of a table, by request 8.
    TableEntry* entry(const char* table, const char* owner = "joe") {
        auto found = items<TableEntry>(listTables(REQ_LIST_TABLES, table, owner));
        EXPECT_EQ(found.size(), 1u) << owner << "." << table;
        return found.size() == 1 ? found[0] : nullptr;
    }
    // Request 9 on the entry.
    std::vector<ColumnDescriptor*> columns(TableEntry* table) {
        t.block().arg = table;
        t.call(REQ_LIST_COLUMNS);
        table->columns = reinterpret_cast<HostList*>(t.block().result);
        return items<ColumnDescriptor>(t.block().result);
    }
    // Request 10, then request 11 on each index.
    std::vector<IndexEntry*> indexes(TableEntry* table) {
        t.block().arg = table;
        t.call(REQ_LIST_INDEXES);
        auto found = items<IndexEntry>(t.block().result);
        for (IndexEntry* index : found) {
            t.block().arg = index;
            EXPECT_EQ(t.call(REQ_READ_INDEX_KEYS), 0) << t.message();
        }
        return found;
    }
    // Requests 199, 200 and 210 on a table, with its column list.
    intptr_t keys(int32_t code, const char* table, HostList* columns, const char* owner = "joe") {
        set(&t.block().sqlText, table);
        set(&t.block().ownerName, owner);
        t.block().paramKey = reinterpret_cast<char*>(columns);
        t.block().arg = &marker;
        t.call(code);
        t.block().paramKey = nullptr;
        return t.block().result;
    }
    std::vector<std::string> sent(size_t mark) { return env.gateway().requestsSince(mark); }

    Environment& env = Environment::get();
    Transaction t;
    TableEntry marker{};
};

// The statement of request 7 for JOE by the driver's layout, with `group` among the grantees.
std::string listStatement(const std::string& group = "") {
    return "SELECT DISTINCT SYSIBM.SYSTABAUTH.TCREATOR, SYSIBM.SYSTABAUTH.TTNAME, SYSIBM.SYSTABLES.TYPE FROM "
           "SYSIBM.SYSTABAUTH, SYSIBM.SYSTABLES WHERE ( SYSIBM.SYSTABAUTH.TTNAME = SYSIBM.SYSTABLES.NAME AND "
           "SYSIBM.SYSTABAUTH.TCREATOR = SYSIBM.SYSTABLES.CREATOR AND ( SYSIBM.SYSTABAUTH.GRANTEE = 'JOE' "
           "OR " +
           (group.empty() ? "" : "SYSIBM.SYSTABAUTH.GRANTEE = '" + group + "' OR ") +
           "SYSIBM.SYSTABAUTH.GRANTEE = 'PUBLIC' OR SYSIBM.SYSTABAUTH.GRANTEE = 'public' ) ) AND "
           "(SYSIBM.SYSTABAUTH.SELECTAUTH = 'G' OR SYSIBM.SYSTABAUTH.SELECTAUTH = 'Y') ";
}

std::string replaceAll(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

TEST_F(CatalogLiveTest, TheTableListHoldsWhatTheUserMaySeeFlaggedAsViewOrSystemTable) {
    // A name left in sqlText by an earlier request does not filter request 7.
    set(&t.block().loginId, "Joe");
    const Listed all = listed(listTables(REQ_LIST_ALL_TABLES, "dept", "joe"));
    ASSERT_EQ(+t.block().status, 0) << t.message();
    const std::pair<const char*, int32_t> present[] = {
        {"joe.dept", 0},
        {"joe.empview", KW_TABLE_VIEW},
        {"joe.kwcatcol", KW_TABLE_SYSTEM},
        {"smith.shown", 0},
        {"smith.pub", 0},
        {"smith.pubkid", 0},
        {"sysibm.plain", KW_TABLE_SYSTEM},
        {"sysibm.kwcatcol", KW_TABLE_SYSTEM},
        {"sysibm.systables", KW_TABLE_SYSTEM},
    };
    for (auto [name, flags] : present) {
        ASSERT_TRUE(all.count(name)) << name << " is listed";
        EXPECT_EQ(all.at(name), flags) << name;
    }
    for (const char* name : {"smith.hidden", "smith.grouped", "smith.assign"}) {
        EXPECT_FALSE(all.count(name)) << name << " is not granted to JOE or PUBLIC";
    }
    EXPECT_STREQ(t.block().loginId, "joe") << "the login id is left in lower case";

    // A user of group DEVS also sees what DEVS was granted.
    Transaction grouped;
    ASSERT_EQ(grouped.connect("", "SystemOwner='SYSIBM',GroupID='devs'"), 0) << grouped.message();
    grouped.call(REQ_LIST_ALL_TABLES);
    EXPECT_TRUE(listed(grouped.block().result).count("smith.grouped"));

    // Under another system owner its tables are the system's, and its view has both flags.
    Transaction other;
    ASSERT_EQ(other.connect("", "SystemOwner='kwsys'"), 0) << other.message();
    other.call(REQ_LIST_ALL_TABLES);
    const Listed underKwsys = listed(other.block().result);
    ASSERT_TRUE(underKwsys.count("kwsys.ownview")) << other.message();
    EXPECT_EQ(underKwsys.at("kwsys.ownview"), KW_TABLE_SYSTEM | KW_TABLE_VIEW);
    EXPECT_EQ(underKwsys.at("sysibm.plain"), 0) << "SYSIBM is no longer the system owner";
    EXPECT_EQ(underKwsys.at("joe.kwcatcol"), KW_TABLE_SYSTEM) << "named like the extended catalog";

    // Every field of one entry; the names handed in are lower case again afterwards.
    TableEntry* shown = entry("SHOWN", "Smith");
    ASSERT_NE(shown, nullptr);
    EXPECT_STREQ(shown->name, "shown");
    EXPECT_STREQ(shown->owner, "smith");
    EXPECT_EQ(+shown->flags, 0);
    EXPECT_EQ(+shown->columnCount, 0);
    EXPECT_EQ(static_cast<HostList*>(shown->columns), nullptr);
    EXPECT_STREQ(t.block().sqlText, "shown");
    EXPECT_STREQ(t.block().ownerName, "smith");
    EXPECT_EQ(listTables(REQ_LIST_TABLES, "hidden", "smith"), 0) << "not visible";
    EXPECT_EQ(+t.block().status, 0) << "no visible table is no error";
    EXPECT_EQ(listed(listTables(REQ_DESCRIBE_TABLE, "dept", "joe")), (Listed{{"joe.dept", 0}}));
}

TEST_F(CatalogLiveTest, TheTableListStatementIsSentAsWrittenForEachKindOfUserAndFilter) {
    size_t mark = env.gateway().mark();
    listTables(REQ_LIST_ALL_TABLES);
    EXPECT_EQ(sent(mark), Texts{listStatement()});

    // The filter of request 8; a quote in a name is doubled and finds nothing instead of breaking
    // the statement.
    mark = env.gateway().mark();
    EXPECT_EQ(listTables(REQ_LIST_TABLES, "o'neil", "x'"), 0);
    EXPECT_EQ(+t.block().status, 0) << t.message();
    EXPECT_EQ(sent(mark), Texts{listStatement() + " AND  (CREATOR = 'X''' AND NAME = 'O''NEIL') "});
    EXPECT_STREQ(t.block().sqlText, "o'neil");

    Transaction grouped;
    ASSERT_EQ(grouped.connect("", "SystemOwner='SYSIBM',GroupID='de''v',TableCriteria='CREATOR = ''SMITH'''"),
              0)
        << grouped.message();
    mark = env.gateway().mark();
    grouped.call(REQ_LIST_ALL_TABLES);
    EXPECT_EQ(sent(mark), Texts{listStatement("DE''V") + " AND  (CREATOR = 'SMITH') "});
    EXPECT_EQ(listed(grouped.block().result),
              (Listed{{"smith.pub", 0}, {"smith.pubkid", 0}, {"smith.shown", 0}}))
        << "the criteria filter the list";
}

TEST_F(CatalogLiveTest, LongOwnerGroupAndCriteriaGrowTheStatementAndAFailureIsReported) {
    const std::string owner(129, 'Q'), group(129, 'G');
    std::string criteria = "NAME <> 'X'";
    while (criteria.size() < 600) {
        criteria += " AND NAME <> 'X'";
    }
    Transaction longer;
    const std::string dbParm = "SystemOwner='" + owner + "',GroupID='" + group + "',TableCriteria='" +
                               replaceAll(criteria, "'", "''") + "'";
    ASSERT_EQ(longer.connect("", dbParm.c_str()), 0) << longer.message();
    const size_t mark = env.gateway().mark();
    longer.call(REQ_LIST_ALL_TABLES);
    const Texts texts = sent(mark);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0],
              replaceAll(listStatement(group), "SYSIBM.", owner + ".") + " AND  (" + criteria + ") ");
    EXPECT_NE(+longer.block().status, 0) << "the server refuses the long qualifier, and the block says so";
    EXPECT_NE(longer.message(), "");
    EXPECT_EQ(+longer.block().result, 0);
}

TEST_F(CatalogLiveTest, ColumnsCarryTheirTypeLengthScaleNullabilityAndPosition) {
    TableEntry* table = entry("ALLTYPES", "JOE");
    ASSERT_NE(table, nullptr);
    const auto found = columns(table);
    ASSERT_EQ(+t.block().status, 0) << t.message();
    // name, DB2 type, host type, length, hasLength, scale, nullability
    using Column = std::tuple<std::string, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t>;
    const Column expected[] = {
        {"c_char", DB2_CHAR, HOST_CHAR, 12, 1, 0, KW_NULLABLE},
        {"c_vc", DB2_VARCHAR, HOST_VARCHAR, 40, 1, 0, KW_NOT_NULL},
        {"c_int", DB2_INTEGER, HOST_INTEGER, 0, 0, 0, KW_NULLABLE},
        {"c_small", DB2_SMALLINT, HOST_SMALLINT, 0, 0, 0, KW_NOT_NULL},  // NOT NULL WITH DEFAULT
        {"c_flt", DB2_FLOAT, HOST_DOUBLE, 0, 0, 0, KW_NULLABLE},
        {"c_long", DB2_LONG_VARCHAR, HOST_LONG_TEXT, 0, 0, 0, KW_NULLABLE},
        {"c_dec", DB2_DECIMAL, HOST_DECIMAL, 9, 1, 2, KW_NULLABLE},
        {"c_date", DB2_DATE, HOST_DATE, 0, 0, 0, KW_NULLABLE},
        {"c_time", DB2_TIME, HOST_TIME, 0, 0, 0, KW_NULLABLE},
        {"c_ts", DB2_TIMESTAMP, HOST_DATETIME, 0, 0, 0, KW_NULLABLE},
    };
    ASSERT_EQ(found.size(), std::size(expected));
    for (size_t i = 0; i < found.size(); ++i) {
        const ColumnDescriptor* c = found[i];
        EXPECT_EQ(
            Column(c->name, +c->db2Type, +c->hostType, +c->length, +c->hasLength, +c->scale, +c->nullability),
            expected[i]);
        EXPECT_EQ(+c->ordinal, static_cast<int32_t>(i + 1));
        EXPECT_EQ(+c->systemColumn, 0);
        EXPECT_STREQ(c->tableName, "");
    }
    EXPECT_EQ(+table->columnCount, 10);
    EXPECT_STREQ(table->name, "alltypes");
    EXPECT_STREQ(table->owner, "joe");

    // Columns of system tables: all of them, except in a table named like the extended catalog's,
    // where only that catalog's own columns count (and only when the system owner owns it).
    const std::tuple<const char*, const char*, std::vector<int32_t>> system[] = {
        {"sysibm", "plain", {1, 1}},
        {"sysibm", "kwcatcol", {1, 1, 0}},
        {"joe", "kwcatcol", {0, 0}},  // JOE's KWCATCOL is no system owner's
    };
    for (const auto& [owner, name, flags] : system) {
        TableEntry* owned = entry(name, owner);
        ASSERT_NE(owned, nullptr);
        std::vector<int32_t> got;
        for (ColumnDescriptor* c : columns(owned)) {
            got.push_back(+c->systemColumn);
        }
        EXPECT_EQ(got, flags) << owner << "." << name;
    }

    TableEntry missing{};
    std::snprintf(missing.name, sizeof missing.name, "nosuch");
    std::string owner = "joe";
    missing.owner = owner.data();
    EXPECT_TRUE(columns(&missing).empty());
    EXPECT_EQ(+t.block().status, 0);
    EXPECT_EQ(+missing.columnCount, 0);
}

TEST_F(CatalogLiveTest, CompletingAColumnPinsDownItsDateOrTimeTypeAndExistenceIgnoresCase) {
    const struct {
        const char* column;
        int32_t db2Type, hostType, length;
        int32_t expectType, expectHost, expectLength;
        bool asks;
    } cases[] = {
        {"C_Date", DB2_TIMESTAMP, HOST_DATETIME, 27, DB2_DATE, HOST_DATE, 11, true},
        {"c_time", DB2_TIMESTAMP, HOST_DATETIME, 27, DB2_TIME, HOST_TIME, 16, true},
        {"c_ts", DB2_TIMESTAMP, HOST_DATETIME, 27, DB2_TIMESTAMP, HOST_DATETIME, 27, true},
        {"c_int", DB2_INTEGER, HOST_INTEGER, 4, DB2_INTEGER, HOST_INTEGER, 4, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.column);
        std::string name = c.column;
        ColumnDescriptor input{};
        input.name = name.data();
        input.db2Type = c.db2Type;
        input.hostType = c.hostType;
        input.length = c.length;
        input.ordinal = 3;
        t.block().arg = &input;
        set(&t.block().sqlText, "AllTypes");
        set(&t.block().ownerName, "Joe");
        const size_t mark = env.gateway().mark();
        ASSERT_EQ(t.call(REQ_COMPLETE_COLUMN), 0) << t.message();
        EXPECT_EQ(sent(mark).size(), c.asks ? 1u : 0u);
        const auto out = items<ColumnDescriptor>(t.block().result);
        ASSERT_EQ(out.size(), 1u);
        EXPECT_NE(out[0]->name, input.name) << "a copy of its own";
        std::string lower = name;
        std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
        EXPECT_EQ(std::string(out[0]->name), lower);
        EXPECT_EQ(std::tuple(+out[0]->db2Type, +out[0]->hostType, +out[0]->length, +out[0]->ordinal),
                  std::tuple(c.expectType, c.expectHost, c.expectLength, 3));
        EXPECT_STREQ(out[0]->tableName, "alltypes");
        if (c.asks) {
            EXPECT_STREQ(t.block().ownerName, "joe") << "lower case again after the catalog query";
        }
    }

    TableItem table{};
    std::snprintf(table.name, sizeof table.name, "AllTypes");
    std::snprintf(table.owner, sizeof table.owner, "jOE");
    for (auto [column, exists] : {std::pair{"C_Dec", 1}, {"c_nope", 0}, {"it's", 0}}) {
        ColumnDescriptor d{};
        d.name = const_cast<char*>(column);
        t.block().arg = &table;
        t.block().sqlText = reinterpret_cast<char*>(&d);
        t.call(REQ_COLUMN_EXISTS);
        t.block().sqlText = nullptr;
        EXPECT_EQ(+t.block().result, exists) << column;
        EXPECT_EQ(+t.block().status, 0) << column;
    }
}

// An index as a person reads it: name, unique, primary, clustered, ascending, key columns.
using Index = std::tuple<std::string, int32_t, char, int32_t, int32_t, std::vector<int32_t>>;

TEST_F(CatalogLiveTest, IndexesComeWithTheirRulesAndKeyColumnsInKeyOrder) {
    TableEntry* emp = entry("emp");
    ASSERT_NE(emp, nullptr);
    t.block().inValue2 = 0;
    const auto found = indexes(emp);
    EXPECT_EQ(+t.block().inValue2, 1);
    EXPECT_EQ(+emp->indexCount, 4);
    std::map<std::string, Index> got;
    std::string primaryName;
    for (IndexEntry* i : found) {
        EXPECT_STREQ(i->creator, "JOE") << i->name;
        // The record is packed: its fields are read by value.
        got[i->primary == 'Y' ? "(primary)" : i->name] =
            Index{i->name,       +i->unique,    i->primary,
                  +i->clustered, +i->ascending, keyList(i->keyColumns, i->keyCount)};
        if (i->primary == 'Y') {
            primaryName = i->name;
        }
    }
    // XEMPNAME mixes an ascending and a descending key: its flag follows whichever row came last.
    const std::map<std::string, Index> expected = {
        {"(primary)", {primaryName, 1, 'Y', 0, 1, {2, 1, 5}}},
        {"xempname", {"xempname", 1, 0, 0, std::get<4>(got["xempname"]), {3, 1}}},
        {"xemphire", {"xemphire", 0, 0, 1, 0, {5}}},
        {"xempph", {"xempph", 0, 0, 0, 1, {4}}},
    };
    EXPECT_EQ(got, expected);
    EXPECT_STREQ(emp->name, "emp");

    // Twenty-two key columns: the first twenty positions are kept, nothing is written past them.
    TableEntry* wide = entry("wide");
    ASSERT_NE(wide, nullptr);
    const auto wideIndexes = indexes(wide);
    ASSERT_EQ(wideIndexes.size(), 1u);
    const IndexEntry* w = wideIndexes[0];
    std::vector<int32_t> descending;
    for (int32_t k = 22; k > 2; --k) {
        descending.push_back(k);
    }
    EXPECT_EQ(keyList(w->keyColumns, w->keyCount), descending);
    EXPECT_EQ(std::tuple(+w->ascending, +w->unique, +w->clustered), std::tuple(1, 1, 0));

    TableEntry* all = entry("alltypes");
    ASSERT_NE(all, nullptr);
    all->indexCount = 7;
    EXPECT_TRUE(indexes(all).empty());
    EXPECT_EQ(+t.block().status, 0);
    EXPECT_EQ(+all->indexCount, 7) << "kept when there is no index";
}

std::vector<std::string> packedNames(intptr_t result) {
    std::vector<std::string> out;
    for (const char* p = reinterpret_cast<const char*>(result); p != nullptr && *p != '\0';
         p += strlen(p) + 1) {
        out.push_back(p);
    }
    return out;
}

TEST_F(CatalogLiveTest, UniqueKeyColumnsAreThoseOfTheFirstUniqueIndex) {
    const struct {
        const char* table;
        const char* owner;
        std::vector<std::string> columns;
    } cases[] = {
        {"UNQ", "JOE", {"a", "b"}},     // a unique index that is not the primary one
        {"dept", nullptr, {"deptno"}},  // no owner: the current user's table
        {"alltypes", "joe", {}},        // no index at all
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.table);
        set(&t.block().sqlText, c.table);
        set(&t.block().ownerName, c.owner);
        t.call(REQ_UNIQUE_KEY_COLUMNS);
        EXPECT_EQ(+t.block().status, 0) << t.message();
        std::vector<std::string> got = packedNames(t.block().result);
        std::sort(got.begin(), got.end());
        EXPECT_EQ(got, c.columns);
        EXPECT_EQ(t.block().result != 0, !c.columns.empty());
    }
    EXPECT_STREQ(t.block().sqlText, "alltypes");
}

TEST_F(CatalogLiveTest, PrimaryAndForeignKeysGiveColumnPositionsParentsAndDeleteRules) {
    auto columnList = [this](const char* table) {
        TableEntry* e = entry(table);
        return e != nullptr && !columns(e).empty() ? e->columns : nullptr;
    };
    HostList* empColumns = columnList("emp");
    auto* primary = reinterpret_cast<KeyEntry*>(keys(REQ_PRIMARY_KEY, "emp", empColumns));
    ASSERT_NE(primary, nullptr) << t.message();
    EXPECT_STREQ(primary->name, "primary");
    EXPECT_EQ(keyList(primary->keyColumns, primary->keyCount), (std::vector<int32_t>{2, 1, 5}));
    EXPECT_EQ(static_cast<TableEntry*>(primary->table), &marker);
    EXPECT_STREQ(primary->owner, "joe");

    auto* keyless = reinterpret_cast<KeyEntry*>(keys(REQ_PRIMARY_KEY, "emp", nullptr));
    ASSERT_NE(keyless, nullptr);
    EXPECT_EQ(+keyless->keyCount, 0) << "without a column list no position is known";
    EXPECT_EQ(keys(REQ_PRIMARY_KEY, "alltypes", empColumns), 0);
    EXPECT_EQ(+t.block().status, 0);

    auto* wide = reinterpret_cast<KeyEntry*>(keys(REQ_PRIMARY_KEY, "wide", columnList("wide")));
    ASSERT_NE(wide, nullptr);
    EXPECT_EQ(+wide->keyCount, 20);
    EXPECT_EQ(keyList(wide->keyColumns, 20).back(), 3);

    // No owner: the current user's table.
    const auto foreign = items<KeyEntry>(keys(REQ_FOREIGN_KEYS, "proj", columnList("proj"), nullptr));
    ASSERT_EQ(foreign.size(), 3u) << "the two keys to DEPT stay two keys";
    const struct {
        const char *name, *refTable;
        int rule;
        std::vector<int32_t> keys;
    } expected[] = {
        {"[foreign key 1]", "dept", KW_DELETE_SET_NULL, {3}},
        {"[foreign key 2]", "dept", KW_DELETE_RESTRICT, {5}},
        {"[foreign key 3]", "emp", KW_DELETE_SET_NULL, {4, 2, 6}},
    };
    for (size_t i = 0; i < foreign.size(); ++i) {
        const KeyEntry* k = foreign[i];
        EXPECT_STREQ(k->name, expected[i].name);
        EXPECT_STREQ(k->refTable, expected[i].refTable);
        EXPECT_STREQ(k->refOwner, "joe");
        EXPECT_STREQ(k->owner, "joe");
        EXPECT_EQ(static_cast<TableEntry*>(k->table), &marker);
        EXPECT_EQ(+k->deleteRule, expected[i].rule) << k->name;
        EXPECT_EQ(keyList(k->keyColumns, k->keyCount), expected[i].keys) << k->name;
    }
    const auto cascade = items<KeyEntry>(keys(REQ_FOREIGN_KEYS, "emp", empColumns));
    ASSERT_EQ(cascade.size(), 1u);
    EXPECT_EQ(+cascade[0]->deleteRule, +KW_DELETE_CASCADE);
    EXPECT_EQ(keys(REQ_FOREIGN_KEYS, "dept", nullptr), 0);
    EXPECT_EQ(+t.block().status, 0);

    // A quote in a procedure argument keeps it one argument.
    const size_t mark = env.gateway().mark();
    EXPECT_EQ(keys(REQ_PRIMARY_KEY, "o'neil", nullptr), 0);
    EXPECT_EQ(+t.block().status, 0);
    EXPECT_EQ(sent(mark), Texts{"sp_pkeys 'O''NEIL', joe"});
    EXPECT_STREQ(t.block().sqlText, "o'neil");
}

TEST_F(CatalogLiveTest, DependentTablesAreListedOnceEachAndOnlyWhenVisible) {
    const size_t mark = env.gateway().mark();
    EXPECT_EQ(listed(keys(REQ_DEPENDENT_TABLES, "dept", nullptr, "")),
              (Listed{{"joe.emp", 0}, {"joe.proj", 0}, {"smith.pubkid", 0}}))
        << "SMITH.ASSIGN refers to DEPT but JOE may not see it";
    const Texts texts = sent(mark);
    ASSERT_EQ(texts.size(), 5u) << "the call, then one visibility check per dependent table";
    EXPECT_EQ(texts[0], "sp_fkeys dept, joe");
    EXPECT_EQ(texts[1], listStatement() + " AND  (CREATOR = 'SMITH' AND NAME = 'ASSIGN') ");
    EXPECT_EQ(keys(REQ_DEPENDENT_TABLES, "alltypes", nullptr), 0);
    EXPECT_EQ(+t.block().status, 0);
}

TEST_F(CatalogLiveTest, KwshDescribesTablesThroughTheCatalogRequests) {
    std::string error;
    auto driver = kwsh::Driver::load(kwsh::defaultDriverPath(), error);
    ASSERT_NE(driver, nullptr) << error;
    std::ostringstream out, err;
    kwsh::Shell shell(*driver, out, err);
    ASSERT_TRUE(shell.connect({env.serverName(), kwtest::kJoe.name, kwtest::kJoe.password, kSystemOwner}))
        << err.str();
    out.str("");
    // XEMPNAME has an ascending and a descending key column; the order shown is the last row's.
    std::string nameOrder;
    for (IndexEntry* index : indexes(entry("emp"))) {
        if (std::strcmp(index->name, "xempname") == 0) {
            nameOrder = index->ascending ? "ASC  " : "DESC ";
        }
    }
    shell.runText("\\d proj\n\\d dept\n\\di emp\n\\dt smith.pu*\n\\dt nothing?\n\\d smith.hidden", "");
    EXPECT_EQ(out.str(),
              "Table \"joe.proj\"\n"
              "  Column  |  Type   | Length | Scale | Nullable\n"
              "----------+---------+--------+-------+----------\n"
              " projno   | CHAR    |      6 |       | not null\n"
              " respemp  | INTEGER |        |       | yes\n"
              " deptno   | CHAR    |      3 |       | yes\n"
              " respdept | CHAR    |      3 |       | yes\n"
              " majdept  | CHAR    |      3 |       | yes\n"
              " resphire | DATE    |        |       | yes\n"
              "\n"
              "Indexes:\n"
              "    proj_pk PRIMARY (projno)\n"
              "Primary key: (projno)\n"
              "Foreign keys:\n"
              "    [foreign key 1] (deptno) REFERENCES joe.dept ON DELETE SET NULL\n"
              "    [foreign key 2] (majdept) REFERENCES joe.dept ON DELETE RESTRICT\n"
              "    [foreign key 3] (respdept, respemp, resphire) REFERENCES joe.emp ON DELETE SET NULL\n"
              "\n"
              "Table \"joe.dept\"\n"
              "  Column  |  Type   | Length | Scale | Nullable\n"
              "----------+---------+--------+-------+----------\n"
              " deptno   | CHAR    |      3 |       | not null\n"
              " deptname | VARCHAR |     36 |       | not null\n"
              " mgrno    | INTEGER |        |       | yes\n"
              "\n"
              "Indexes:\n"
              "    dept_pk PRIMARY (deptno)\n"
              "Primary key: (deptno)\n"
              "Referenced by:\n"
              "    joe.emp\n"
              "    joe.proj\n"
              "    smith.pubkid\n"
              "\n"
              "  Index   | Creator |    Kind    | Clustered | Order |           Columns\n"
              "----------+---------+------------+-----------+-------+-----------------------------\n"
              " emp_pk   | JOE     | primary    |           | ASC   | (workdept, empno, hiredate)\n"
              " xemphire | JOE     | duplicates | yes       | DESC  | (hiredate)\n"
              " xempname | JOE     | unique     |           | " +
                  nameOrder +
                  " | (lastname, empno)\n"
                  " xempph   | JOE     | duplicates |           | ASC   | (phone)\n"
                  "(4 rows)\n"
                  "\n"
                  " Owner |  Name  | Type  | System\n"
                  "-------+--------+-------+--------\n"
                  " smith | pub    | table |\n"
                  " smith | pubkid | table |\n"
                  "(2 rows)\n"
                  "\n"
                  "Did not find any table named \"nothing?\".\n")
        << err.str();
    EXPECT_EQ(err.str(), "ERROR: did not find any table named \"smith.hidden\" that you may see\n");
    EXPECT_TRUE(shell.disconnect()) << "nothing of the catalog answers is left in the block's context";
}

// Frees a column list as the host does: each descriptor's name, the descriptor, the list.
void freeColumns(KWCTX context, intptr_t result) {
    for (ColumnDescriptor* c : items<ColumnDescriptor>(result)) {
        kwshr_free(context, c->name);
        kwshr_free(context, c);
    }
    kwshr_destroyList(reinterpret_cast<HostList*>(result));
}

TEST_F(CatalogLiveTest, WithoutMemoryAtAnyStepARequestEndsCleanlyAndTheConnectionGoesOn) {
    KWCTX context = t.block().memoryContext;
    TableEntry dept{}, emp{};
    std::snprintf(dept.name, sizeof dept.name, "dept");
    std::snprintf(emp.name, sizeof emp.name, "emp");
    std::string joe = "joe";
    dept.owner = emp.owner = joe.data();
    TableEntry* proj = entry("proj");
    ASSERT_NE(proj, nullptr);
    columns(proj);
    HostList* projColumns = proj->columns;
    const struct {
        const char* claim;
        int32_t code;
        std::function<void()> prepare;
        std::function<void(intptr_t)> release;
    } requests[] = {
        {"one table", REQ_LIST_TABLES,
         [&] { set(&t.block().sqlText, "dept"), set(&t.block().ownerName, "joe"); },
         [&](intptr_t r) { freeTables(context, r); }},
        {"columns", REQ_LIST_COLUMNS, [&] { t.block().arg = &dept; },
         [&](intptr_t r) { freeColumns(context, r); }},
        {"indexes", REQ_LIST_INDEXES, [&] { t.block().arg = &emp; },
         [&](intptr_t r) { kwshr_freeResultList(context, reinterpret_cast<HostList*>(r)); }},
        {"foreign keys", REQ_FOREIGN_KEYS,
         [&] {
             set(&t.block().sqlText, "proj"), set(&t.block().ownerName, "joe");
             t.block().paramKey = reinterpret_cast<char*>(projColumns);
         },
         [&](intptr_t r) { kwshr_freeResultList(context, reinterpret_cast<HostList*>(r)); }},
        {"dependent tables", REQ_DEPENDENT_TABLES,
         [&] { set(&t.block().sqlText, "dept"), set(&t.block().ownerName, "joe"); },
         [&](intptr_t r) { freeTables(context, r); }},
    };
    for (const auto& r : requests) {
        for (int64_t n = 1; n <= 30; ++n) {
            SCOPED_TRACE(std::string(r.claim) + ", allocation " + std::to_string(n) + " fails");
            r.prepare();
            const int64_t before = t.liveAllocations();
            kwhost_failAllocation(context, n);
            t.call(r.code);
            kwhost_failAllocation(context, 0);
            if (t.block().status != 0) {
                EXPECT_EQ(+t.block().result, 0);
                EXPECT_EQ(t.message(), "The host could not provide the memory this request needs.");
            }
            // The last pass fails no allocation: a request that succeeds leaves only its answer.
            EXPECT_TRUE(n < 30 || t.block().status == 0) << t.message();
            r.release(t.block().result);
            EXPECT_EQ(t.liveAllocations(), before);
        }
        ASSERT_EQ(listed(listTables(REQ_LIST_TABLES, "dept", "joe")), (Listed{{"joe.dept", 0}}))
            << "the connection goes on after " << r.claim;
        freeTables(context, t.block().result);
        t.block().paramKey = nullptr;
        t.block().arg = nullptr;
    }
}

}  // namespace
