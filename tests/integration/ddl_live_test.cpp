// ddl_live_test.cpp - the statement texts of the table and index painters against the live
// gateway: JOE's tables (every column type, composite keys, foreign keys of each delete rule,
// unique, descending, clustered and plain indexes) are read through the catalog requests, written
// out again by requests 139, 205, 208 and 140 for SMITH, run by request 5 as SMITH, and read back:
// the catalog gives the same columns, types, nullability, keys, rules and indexes.
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "driver_host.h"
#include "shell.h"

namespace {

using kwhosttest::items;
using kwhosttest::keyList;
using kwhosttest::Transaction;
using kwtest::Environment;
using Texts = std::vector<std::string>;

std::string joined(const std::vector<int32_t>& numbers) {
    std::string out;
    for (int32_t n : numbers) {
        out += (out.empty() ? "" : ",") + std::to_string(n);
    }
    return out;
}

// Parents first: a foreign key needs its parent table.
const char* const kTables[] = {"rt_dept", "rt_types", "rt_emp"};

void buildSchema() {
    Transaction joe;
    ASSERT_EQ(joe.connect(), 0) << joe.message();
    for (const char* sql : {
             "CREATE TABLE RT_DEPT (DNO CHAR(3) NOT NULL, DIV SMALLINT NOT NULL, DNAME VARCHAR(36), "
             "PRIMARY KEY (DIV, DNO))",
             "CREATE TABLE RT_TYPES (C_CHAR CHAR(12) NOT NULL, C_VC VARCHAR(40) NOT NULL, C_INT INTEGER, "
             "C_SMALL SMALLINT, C_FLT FLOAT, C_LONG LONG VARCHAR, C_DEC DECIMAL(9,2) NOT NULL, C_DATE DATE, "
             "C_TIME TIME, C_TS TIMESTAMP, PRIMARY KEY (C_DEC, C_CHAR))",
             "CREATE TABLE RT_EMP (ENO INTEGER NOT NULL, DNO CHAR(3), DIV SMALLINT, BOSS INTEGER, "
             "MDNO CHAR(3), MDIV SMALLINT, LNAME VARCHAR(20) NOT NULL, PRIMARY KEY (ENO), "
             "FOREIGN KEY FK_CASC (DIV, DNO) REFERENCES RT_DEPT ON DELETE CASCADE, "
             "FOREIGN KEY FK_NULL (BOSS) REFERENCES RT_EMP ON DELETE SET NULL, "
             "FOREIGN KEY FK_REST (MDIV, MDNO) REFERENCES RT_DEPT ON DELETE RESTRICT)",
             "CREATE UNIQUE INDEX RT_XNAME ON RT_EMP (LNAME DESC, ENO DESC)",
             "CREATE INDEX RT_XDIV ON RT_EMP (DIV) CLUSTER",
             "CREATE INDEX RT_XTS ON RT_TYPES (C_TS, C_INT)",
             "CREATE TABLE RT_K1 (A INTEGER NOT NULL, B CHAR(2) NOT NULL, PRIMARY KEY (B, A))",
             "CREATE TABLE RT_K2 (K INTEGER NOT NULL, A INTEGER, B CHAR(2), PRIMARY KEY (K), "
             "FOREIGN KEY (B, A) REFERENCES RT_K1 ON DELETE SET NULL)",
             "CREATE INDEX RT_XK2 ON RT_K2 (A DESC)",
             "GRANT SELECT ON RT_K1 TO PUBLIC",
             "GRANT SELECT ON RT_K2 TO PUBLIC",
         }) {
        ASSERT_EQ(joe.execute(sql), 0) << sql << ": " << joe.message();
    }
}

// A table as the catalog requests give it: its entry, columns, keys and indexes.
struct ReadTable {
    TableEntry* entry = nullptr;
    std::vector<ColumnDescriptor*> columns;
    KeyEntry* primary = nullptr;
    intptr_t foreignKeys = 0;
    std::vector<IndexEntry*> indexes;
};

class DdlLiveTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { buildSchema(); }

    void SetUp() override {
        ASSERT_EQ(joe.connect(), 0) << joe.message();
        smith.setLogin("", kwtest::kSmith.name, kwtest::kSmith.password);
        ASSERT_EQ(smith.call(REQ_CONNECT), 0) << smith.message();
    }

    static void set(Transaction& t, char** field, const char* text) {
        kwhost_setBlockText(&t.block(), field, text);
    }

    // Requests 8, 9, 199, 200, 10 and 11 on one table.
    ReadTable read(Transaction& t, const char* name, const char* owner) {
        ReadTable out;
        RequestBlock& b = t.block();
        set(t, &b.sqlText, name);
        set(t, &b.ownerName, owner);
        t.call(REQ_LIST_TABLES);
        auto entries = items<TableEntry>(b.result);
        EXPECT_EQ(entries.size(), 1u) << owner << "." << name << ": " << t.message();
        if (entries.size() != 1) {
            return out;
        }
        out.entry = entries[0];
        b.arg = out.entry;
        t.call(REQ_LIST_COLUMNS);
        out.entry->columns = reinterpret_cast<HostList*>(b.result);
        out.columns = items<ColumnDescriptor>(b.result);
        out.entry->columnCount = static_cast<int32_t>(out.columns.size());
        for (int32_t code : {REQ_PRIMARY_KEY, REQ_FOREIGN_KEYS}) {
            set(t, &b.sqlText, name);
            set(t, &b.ownerName, owner);
            b.paramKey = reinterpret_cast<char*>(out.entry->columns);
            b.arg = out.entry;
            t.call(code);
            b.paramKey = nullptr;
            if (code == REQ_PRIMARY_KEY) {
                out.primary = reinterpret_cast<KeyEntry*>(b.result);
            } else {
                out.foreignKeys = b.result;
            }
        }
        b.arg = out.entry;
        t.call(REQ_LIST_INDEXES);
        out.entry->indexes = reinterpret_cast<HostList*>(b.result);
        out.indexes = items<IndexEntry>(b.result);
        for (IndexEntry* index : out.indexes) {
            b.arg = index;
            EXPECT_EQ(t.call(REQ_READ_INDEX_KEYS), 0) << t.message();
        }
        return out;
    }

    // What a person compares of a table: every column with its type and nullability, the keys
    // with their column positions, parents and rules, the indexes with their columns.
    static Texts describe(const ReadTable& table) {
        Texts out;
        for (const ColumnDescriptor* c : table.columns) {
            out.push_back(std::string(c->name) + " type " + std::to_string(c->db2Type) + " length " +
                          std::to_string(c->length) + " scale " + std::to_string(c->scale) + " null " +
                          std::to_string(c->nullability));
        }
        if (table.primary != nullptr) {
            out.push_back("primary key " +
                          joined(keyList(table.primary->keyColumns, table.primary->keyCount)));
        }
        for (const KeyEntry* k : items<KeyEntry>(table.foreignKeys)) {
            out.push_back("foreign key " + joined(keyList(k->keyColumns, k->keyCount)) + " to " +
                          k->refTable + " rule " + std::to_string(k->deleteRule));
        }
        for (const IndexEntry* i : table.indexes) {
            // The primary key's own index is named by the server.
            out.push_back(std::string("index ") + (i->primary == 'Y' ? "" : i->name) + " unique " +
                          std::to_string(i->unique != 0) + " clustered " + std::to_string(i->clustered != 0) +
                          " ascending " + std::to_string(i->ascending != 0) + " primary " +
                          std::to_string(i->primary == 'Y') + " columns " +
                          joined(keyList(i->keyColumns, i->keyCount)));
        }
        return out;
    }

    // The statements the painters save for a table read back from the catalog, for a new owner:
    // CREATE TABLE with its primary and foreign keys (139, 205, 208), then CREATE INDEX (140) for
    // each index that is not the primary key's.
    Texts generate(Transaction& t, ReadTable& table, const char* newOwner) {
        RequestBlock& b = t.block();
        KWCTX ctx = b.memoryContext;
        std::string oldOwner = table.entry->owner;
        table.entry->owner = kwshr_duplicateString(ctx, newOwner, 0);
        HostList* args = kwshr_createList(ctx, 0);
        kwshr_appendToList(args, table.entry);
        b.arg = args;
        t.call(REQ_CREATE_TABLE);
        if (table.primary != nullptr && table.primary->keyCount > 0) {
            b.arg = table.primary;
            t.call(REQ_ADD_PRIMARY_KEY_CLAUSE);
        }
        auto foreign = items<KeyEntry>(table.foreignKeys);
        for (KeyEntry* k : foreign) {
            if (oldOwner == k->refOwner) {
                std::snprintf(k->refOwner, sizeof k->refOwner, "%s", newOwner);
            }
        }
        if (!foreign.empty()) {
            b.arg = reinterpret_cast<void*>(table.foreignKeys);
            t.call(REQ_ADD_FOREIGN_KEY_CLAUSES);
        }
        for (IndexEntry* index : table.indexes) {
            if (index->primary == 'Y') {
                continue;
            }
            // The index painter passes the index columns, in index order, as the table's columns.
            TableEntry indexed{};
            std::memcpy(&indexed, table.entry, sizeof indexed);
            indexed.columns = kwshr_createList(ctx, 0);
            indexed.indexes = kwshr_createList(ctx, 0);
            for (int32_t n : keyList(index->keyColumns, index->keyCount)) {
                kwshr_appendToList(indexed.columns, table.columns.at(static_cast<size_t>(n - 1)));
            }
            kwshr_appendToList(indexed.indexes, index);
            kwshr_destroyList(args);
            args = kwshr_createList(ctx, 0);
            kwshr_appendToList(args, &indexed);
            b.arg = args;
            t.call(REQ_CREATE_INDEX);
            kwshr_destroyList(indexed.columns);
            kwshr_destroyList(indexed.indexes);
        }
        kwshr_destroyList(args);
        b.arg = nullptr;
        Texts out;
        for (StatementRecord* record : items<StatementRecord>(reinterpret_cast<intptr_t>(b.statementList))) {
            out.push_back(record->text);
            kwshr_free(ctx, record->text);
            kwshr_free(ctx, record);
        }
        kwshr_destroyList(b.statementList);
        b.statementList = nullptr;
        return out;
    }

    Environment& env = Environment::get();
    Transaction joe, smith;
};

TEST_F(DdlLiveTest, TablesWrittenFromTheCatalogRecreateTheSameCatalogRowsInAnotherSchema) {
    // No database name: the statements carry no IN clause (the gateway's database has no spaces).
    set(joe, &joe.block().databaseName, nullptr);
    std::vector<Texts> original;
    for (const char* name : kTables) {
        SCOPED_TRACE(name);
        ReadTable table = read(joe, name, "joe");
        ASSERT_NE(table.entry, nullptr);
        original.push_back(describe(table));
        Texts statements = generate(joe, table, "smith");
        ASSERT_FALSE(statements.empty());
        for (const std::string& sql : statements) {
            for (size_t start = 0, end; start <= sql.size(); start = end + 1) {
                end = sql.find('\n', start);
                end = end == std::string::npos ? sql.size() : end;
                EXPECT_LE(end - start, size_t(KW_STATEMENT_LINE_WIDTH)) << sql;
            }
            EXPECT_EQ(smith.execute(sql), 0) << sql << "\n" << smith.message();
        }
    }
    // The source tables hold what the round trip must carry: every type, both composite keys,
    // each delete rule and each kind of index.
    ASSERT_EQ(original.size(), 3u);
    EXPECT_EQ(original[1].size(), 10u + 1 + 2) << "ten columns, the primary key and two indexes";
    Texts rules;
    for (const std::string& line : original[2]) {
        if (line.rfind("foreign key ", 0) == 0) {
            rules.push_back(line);
        }
    }
    EXPECT_EQ(rules, (Texts{"foreign key 3,2 to rt_dept rule 2", "foreign key 6,5 to rt_dept rule 1",
                            "foreign key 4 to rt_emp rule 4"}));
    for (size_t i = 0; i < original.size(); ++i) {
        SCOPED_TRACE(kTables[i]);
        ReadTable copy = read(smith, kTables[i], "smith");
        ASSERT_NE(copy.entry, nullptr);
        EXPECT_EQ(describe(copy), original[i]);
    }
}

TEST_F(DdlLiveTest, KwshDdlPrintsTheStatementsAndRunsThemForANewOwner) {
    std::string error;
    auto driver = kwsh::Driver::load(kwsh::defaultDriverPath(), error);
    ASSERT_NE(driver, nullptr) << error;
    std::ostringstream out, err;
    kwsh::Shell shell(*driver, out, err);
    ASSERT_TRUE(shell.connect({env.serverName(), kwtest::kSmith.name, kwtest::kSmith.password, ""}))
        << err.str();
    out.str("");
    shell.runText("\\ddl joe.rt_k2", "");
    EXPECT_EQ(out.str(),
              "CREATE TABLE JOE.\"RT_K2\" \n"
              "(\"K\" INTEGER NOT NULL,\n"
              "\"A\" INTEGER,\n"
              "\"B\" CHAR(2)\n"
              ", PRIMARY KEY (\n"
              "k)\n"
              ", FOREIGN KEY (\n"
              "b,\n"
              "a) REFERENCES joe.rt_k1 ON DELETE  SET NULL \n"
              ");\n"
              "CREATE INDEX \"RT_XK2\"\n"
              " ON JOE.\"RT_K2\"\n"
              "(\"A\" DESC );\n")
        << err.str();
    out.str("");
    shell.runText("\\ddl --run smith joe.rt_k1\n\\ddl --run smith joe.rt_k2\n\\ddl nothing.here", "");
    EXPECT_NE(err.str().find("did not find any table named \"nothing.here\""), std::string::npos)
        << err.str();
    for (const char* name : {"rt_k1", "rt_k2"}) {
        SCOPED_TRACE(name);
        ReadTable original = read(joe, name, "joe");
        ReadTable copy = read(smith, name, "smith");
        ASSERT_NE(original.entry, nullptr);
        ASSERT_NE(copy.entry, nullptr) << out.str() << err.str();
        Texts expected = describe(original);
        EXPECT_FALSE(expected.empty());
        EXPECT_EQ(describe(copy), expected);
    }
}

}  // namespace
