// ddl_gen_test.cpp - the statement texts the driver writes for the table and index painters
// (requests 139, 205, 208, 201, 147, 148, 140, 145, 206, 209, 172), checked line by line.
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

#include "driver_block.h"
#include "kwuser.h"

namespace {

struct ColumnShape {
    const char* name;
    int32_t db2Type;
    int32_t length;
    int32_t scale;
    bool notNull;
};

class DdlGenTest : public DriverBlockTest {
  protected:
    void SetUp() override {
        DriverBlockTest::SetUp();
        folder = std::filesystem::temp_directory_path() / ("kw-ddl-" + std::to_string(::getpid()));
        std::filesystem::create_directories(folder);
        kwhost_setProfilePath((folder / "kw.ini").c_str());
        kwuser_useScriptedPresenter();
        kwuser_scriptReset();
        block.deriveColumnTypes = 1;  // the column records carry their DB2 types
        table = newTable("emp", "payroll",
                         {{"id", DB2_INTEGER, 4, 0, true}, {"name", DB2_VARCHAR, 40, 0, false}});
    }

    void TearDown() override {
        kwuser_setPresenter(nullptr);
        block.dbproc = nullptr;
        clearStatements();
        for (KeyEntry* key : keys) {
            kwshr_free(context, key);
        }
        for (HostList* list : lists) {
            kwshr_destroyList(list);
        }
        for (TableEntry* t : tables) {
            for (ColumnDescriptor* c : columnsOf(t)) {
                kwshr_free(context, c->name);
                kwshr_free(context, c);
            }
            for (HostListNode* n = t->indexes != nullptr ? t->indexes->first : nullptr; n != nullptr;
                 n = n->next) {
                kwshr_free(context, n->data);
            }
            kwshr_destroyList(t->columns);
            if (t->indexes != nullptr) {
                kwshr_destroyList(t->indexes);
            }
            kwshr_free(context, t->owner);
            kwshr_free(context, t);
        }
        std::filesystem::remove_all(folder);
        DriverBlockTest::TearDown();
    }

    HostList* newList() {
        HostList* list = kwshr_createList(context, 0);
        lists.push_back(list);
        return list;
    }

    TableEntry* newTable(const char* name, const char* owner, std::vector<ColumnShape> columns) {
        auto* t = static_cast<TableEntry*>(kwshr_allocate(context, sizeof(TableEntry), 0));
        std::memset(t, 0, sizeof *t);
        std::strcpy(t->name, name);
        t->owner = kwshr_duplicateString(context, owner, 0);
        t->columns = kwshr_createList(context, 0);
        for (const ColumnShape& shape : columns) {
            auto* c = static_cast<ColumnDescriptor*>(kwshr_allocate(context, sizeof(ColumnDescriptor), 0));
            std::memset(c, 0, sizeof *c);
            c->name = kwshr_duplicateString(context, shape.name, 0);
            c->db2Type = shape.db2Type;
            c->length = shape.length;
            c->scale = shape.scale;
            c->nullability = shape.notNull ? KW_NOT_NULL : KW_NULLABLE;
            kwshr_appendToList(t->columns, c);
        }
        t->columnCount = static_cast<int32_t>(columns.size());
        tables.push_back(t);
        return t;
    }

    std::vector<ColumnDescriptor*> columnsOf(TableEntry* t) {
        std::vector<ColumnDescriptor*> out;
        for (HostListNode* n = t->columns->first; n != nullptr; n = n->next) {
            out.push_back(static_cast<ColumnDescriptor*>(n->data));
        }
        return out;
    }

    IndexEntry* addIndex(TableEntry* t, const char* name, int32_t ascending, int32_t unique,
                         int32_t clustered) {
        auto* index = static_cast<IndexEntry*>(kwshr_allocate(context, sizeof(IndexEntry), 0));
        std::memset(index, 0, sizeof *index);
        std::strcpy(index->name, name);
        index->keyCount = t->columnCount;
        index->ascending = ascending;
        index->unique = unique;
        index->clustered = clustered;
        if (t->indexes == nullptr) {
            t->indexes = kwshr_createList(context, 0);
        }
        kwshr_appendToList(t->indexes, index);
        return index;
    }

    KeyEntry* newKey(TableEntry* t, const char* name, std::vector<int32_t> positions,
                     const char* refTable = "", const char* refOwner = "", uint8_t rule = 0) {
        auto* key = static_cast<KeyEntry*>(kwshr_allocate(context, sizeof(KeyEntry), 0));
        std::memset(key, 0, sizeof *key);
        std::strcpy(key->name, name);
        key->keyCount = static_cast<int32_t>(positions.size());
        for (size_t i = 0; i < positions.size(); ++i) {
            key->keyColumns[i] = positions[i];
        }
        key->table = t;
        std::strcpy(key->refTable, refTable);
        std::strcpy(key->refOwner, refOwner);
        key->deleteRule = rule;
        keys.push_back(key);
        return key;
    }

    void tableArg(TableEntry* t) {
        HostList* list = newList();
        kwshr_appendToList(list, t);
        block.arg = list;
    }

    void connect(const char* database) {
        block.dbproc = reinterpret_cast<DBPROCESS*>(this);  // only looked at, never used
        databaseName = database;
        block.databaseName = databaseName.data();
    }

    void setTableSpace(const char* value) {
        char text[TDX_PROFILE_VALUE_SIZE] = {};
        std::strcpy(text, value);
        TDX_PutProfileSetting("TableSpace", text);
    }

    std::filesystem::path folder;
    std::string databaseName;
    TableEntry* table = nullptr;
    std::vector<TableEntry*> tables;
    std::vector<HostList*> lists;
    std::vector<KeyEntry*> keys;
};

TEST_F(DdlGenTest, ColumnTypeTextForEveryTypeAndNothingOutsideTheRange) {
    struct Case {
        int32_t type;
        uint32_t length, scale;
        const char* text;
    };
    for (const Case& c :
         {Case{1, 10, 0, "CHAR(10)"}, Case{2, 40, 0, "VARCHAR(40)"}, Case{3, 4, 0, "INTEGER"},
          Case{4, 2, 0, "SMALLINT"}, Case{5, 8, 0, "FLOAT"}, Case{6, 0, 0, "LONG VARCHAR"},
          Case{7, 9, 2, "DECIMAL(9,2)"}, Case{7, 31, 31, "DECIMAL(31,31)"}, Case{8, 0, 0, "DATE"},
          Case{9, 0, 0, "TIME"}, Case{10, 0, 0, "TIMESTAMP"}, Case{2, 65535, 0, "VARCHAR(65535)"}}) {
        char out[64] = {};
        block.inValue = c.type;
        block.arg = reinterpret_cast<void*>(static_cast<uintptr_t>(c.length | (c.scale << 16)));
        TDX_ColumnTypeText(&block, out);
        EXPECT_EQ(+block.result, reinterpret_cast<intptr_t>(out));
        EXPECT_EQ(std::string(out), c.text);
    }
    for (int32_t type : {0, 11, -1}) {
        char out[64] = "untouched";
        block.inValue = type;
        block.result = 5;
        TDX_ColumnTypeText(&block, out);
        EXPECT_EQ(+block.result, 0);
        EXPECT_EQ(std::string(out), "untouched");
    }
}

TEST_F(DdlGenTest, TypeFromHostTypeSearchesTheTypeTableBackwards) {
    for (const TypeRow& row : TYPE_TABLE) {
        block.inValue = row.hostType;
        TDX_TypeFromHostType(&block);
        EXPECT_EQ(+block.result, row.db2Type);
    }
    block.inValue = 0x7777;
    TDX_TypeFromHostType(&block);
    EXPECT_EQ(+block.result, 0);
}

TEST_F(DdlGenTest, CreateTableDelimitedOrNotWithEachInClause) {
    const char* columns = "CREATE TABLE PAYROLL.\"EMP\" \n(\"ID\" INTEGER NOT NULL,\n\"NAME\" VARCHAR(40))";
    const struct Case {
        const char* name;
        bool noDelimit;
        const char* database;  // null: not connected
        const char* tableSpace;
        std::string text;  // the statement's lines apart by "\n"
        int cancelledDialogs;
    } cases[] = {
        {"delimited, not connected", false, nullptr, "TS1", columns, 0},
        {"not delimited", true, nullptr, "",
         "CREATE TABLE PAYROLL.EMP \n(ID INTEGER NOT NULL,\nNAME VARCHAR(40))", 0},
        {"connected with a table space", false, "db1", "ts1", columns + std::string("\n IN DB1.TS1"), 0},
        {"connected, table space dialog cancelled", false, "db1", "",
         columns + std::string("\n IN DATABASE DB1"), 1},
        {"connected without a database name", false, "", "ts1", columns, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        clearStatements();
        kwuser_scriptReset();
        block.options = c.noDelimit ? OPT_NO_DELIMIT : 0;
        block.dbproc = nullptr;
        block.deriveColumnTypes = 1;
        if (c.database != nullptr) {
            connect(c.database);
        }
        setTableSpace(c.tableSpace);
        tableArg(table);
        route(REQ_CREATE_TABLE);
        const Lines lines = linesOf(c.text);
        EXPECT_EQ(only(), lines);
        EXPECT_EQ(+block.result, static_cast<intptr_t>(lines.size()));
        EXPECT_EQ(+block.statementLines, static_cast<int16_t>(lines.size()));
        EXPECT_NE(+block.statementHandle, 0);
        EXPECT_EQ(kwuser_scriptCancelledDialogs(), c.cancelledDialogs);
        EXPECT_STREQ(table->name, "emp") << "the host's names stay lower-case";
        EXPECT_STREQ(table->owner, "payroll");
    }
}

TEST_F(DdlGenTest, CreateTableOneColumnDerivedTypesPlaceholderAndQuotesInNames) {
    TableEntry* one = newTable("t\"x", "o", {{"a\"b", DB2_DECIMAL, 9, 2, false}});
    tableArg(one);
    route(REQ_CREATE_TABLE);
    EXPECT_EQ(only(), (Lines{"CREATE TABLE O.\"T\"\"X\" ", "(\"A\"\"B\" DECIMAL(9,2))"}));

    // Not connected and types not derived: the DB2 type comes from the host type, into the record.
    clearStatements();
    TableEntry* derived = newTable("d", "o", {{"a", 0, 0, 0, false}, {"b", 99, 0, 0, true}});
    columnsOf(derived)[0]->hostType = HOST_DATE;
    columnsOf(derived)[1]->hostType = 0x7777;
    block.deriveColumnTypes = 0;
    tableArg(derived);
    route(REQ_CREATE_TABLE);
    EXPECT_EQ(only(), (Lines{"CREATE TABLE O.\"D\" ", "(\"A\" DATE,", "\"B\" ????? NOT NULL)"}));
    EXPECT_EQ(columnsOf(derived)[0]->db2Type, DB2_DATE);
    EXPECT_EQ(columnsOf(derived)[1]->db2Type, 0);

    clearStatements();
    block.arg = newList();
    block.result = 9;
    route(REQ_CREATE_TABLE);
    EXPECT_EQ(+block.result, 0);
    EXPECT_EQ(+block.statementList, nullptr) << "no table, no statement";
}

TEST_F(DdlGenTest, PrimaryAndForeignKeyClausesCarryTheCreateTableOver) {
    TableEntry* parent = newTable("dept", "payroll", {{"id", DB2_INTEGER, 4, 0, true}});
    TableEntry* child = newTable("emp", "payroll",
                                 {{"id", DB2_INTEGER, 4, 0, true},
                                  {"dept", DB2_INTEGER, 4, 0, true},
                                  {"boss", DB2_INTEGER, 4, 0, false},
                                  {"grp", DB2_INTEGER, 4, 0, false}});
    (void)parent;
    connect("Db1");
    setTableSpace("ts1");
    tableArg(child);
    route(REQ_CREATE_TABLE);
    ASSERT_EQ(statements().size(), 1u);
    intptr_t createHandle = block.statementHandle;

    block.arg = newKey(child, "", {1, 2});
    route(REQ_ADD_PRIMARY_KEY_CLAUSE);
    EXPECT_EQ(+block.inValue, createHandle);
    EXPECT_EQ(+block.inValue2, 6);
    Lines withKey{"CREATE TABLE PAYROLL.\"EMP\" ",
                  "(\"ID\" INTEGER NOT NULL,",
                  "\"DEPT\" INTEGER NOT NULL,",
                  "\"BOSS\" INTEGER,",
                  "\"GRP\" INTEGER",
                  ", PRIMARY KEY (",
                  "id, ",
                  "dept)) IN Db1.TS1"};
    EXPECT_EQ(only(), withKey) << "the old statement is replaced";
    EXPECT_EQ(+block.result, 8);

    HostList* fks = newList();
    kwshr_appendToList(fks, newKey(child, "FK1", {2}, "dept", "payroll", KW_DELETE_CASCADE));
    kwshr_appendToList(fks, newKey(child, "[foreign key 2]", {3, 4}, "emp", "", KW_DELETE_SET_NULL));
    kwshr_appendToList(fks, newKey(child, "FK3", {3}, "emp", "", KW_DELETE_RESTRICT));
    kwshr_appendToList(fks, newKey(child, "FK4", {4}, "emp", "", KW_DELETE_CASCADE | KW_DELETE_SET_NULL));
    block.arg = fks;
    route(REQ_ADD_FOREIGN_KEY_CLAUSES);
    Lines expected(withKey.begin(), withKey.end() - 1);
    expected.insert(expected.end(),
                    {"dept)", ", FOREIGN KEY FK1 (", "dept) REFERENCES payroll.dept ON DELETE  CASCADE ",
                     ", FOREIGN KEY (", "boss,", "grp) REFERENCES emp ON DELETE  SET NULL ",
                     ", FOREIGN KEY FK3 (", "boss) REFERENCES emp ON DELETE  RESTRICT ",
                     ", FOREIGN KEY FK4 (", "grp) REFERENCES emp ON DELETE  CASCADE ", ") IN Db1.TS1"});
    EXPECT_EQ(only(), expected);
    EXPECT_EQ(+block.result, static_cast<intptr_t>(expected.size()));
}

TEST_F(DdlGenTest, LongCreateTableLinesAreCarriedOverIn120CharacterPieces) {
    std::string longName(130, 'c');
    TableEntry* wide = newTable("w", "o", {{longName.c_str(), DB2_INTEGER, 4, 0, true}});
    tableArg(wide);
    route(REQ_CREATE_TABLE);
    std::string second = "(\"" + std::string(130, 'C') + "\" INTEGER NOT NULL";
    EXPECT_EQ(only(), (Lines{"CREATE TABLE O.\"W\" ", second + ")"}));

    block.arg = newKey(wide, "", {1});
    route(REQ_ADD_PRIMARY_KEY_CLAUSE);
    Lines lines = only();
    EXPECT_EQ(lines, (Lines{"CREATE TABLE O.\"W\" ", second.substr(0, 120), second.substr(120),
                            ", PRIMARY KEY (", longName + "))"}));

    HostList* fks = newList();
    kwshr_appendToList(fks, newKey(wide, "F", {1}, "w", "o", 0));
    block.arg = fks;
    route(REQ_ADD_FOREIGN_KEY_CLAUSES);
    Lines carried = only();
    ASSERT_GE(carried.size(), 6u);
    EXPECT_EQ(Lines(carried.begin(), carried.begin() + 5),
              (Lines{"CREATE TABLE O.\"W\" ", second.substr(0, 120), second.substr(120), ", PRIMARY KEY (",
                     longName.substr(0, 120)}));
    EXPECT_EQ(carried[5], longName.substr(120) + ")");
}

TEST_F(DdlGenTest, KeyClausesWithoutACreateTableStillOpenABuilder) {
    block.arg = newKey(table, "", {2});
    route(REQ_ADD_PRIMARY_KEY_CLAUSE);
    EXPECT_EQ(only(), (Lines{", PRIMARY KEY (", "name))"}));

    clearStatements();
    HostList* fks = newList();
    kwshr_appendToList(fks, newKey(table, "F", {1}, "t", "", 0));
    block.arg = fks;
    route(REQ_ADD_FOREIGN_KEY_CLAUSES);
    EXPECT_EQ(only(), (Lines{", FOREIGN KEY F (", "id) REFERENCES t ON DELETE  RESTRICT ", ")"}));
}

TEST_F(DdlGenTest, RequestsWithoutTheirRecordsAnswer999AndWriteNothing) {
    KeyEntry* badKey = newKey(table, "K", {3});
    KeyEntry* noTable = newKey(nullptr, "K", {1});
    HostList* badList = newList();
    kwshr_appendToList(badList, badKey);
    HostList* empty = newList();
    struct Case {
        int32_t code;
        void* arg;
    };
    for (const Case& c :
         {Case{REQ_ADD_COLUMNS, empty}, Case{REQ_DROP_TABLE, empty}, Case{REQ_CREATE_INDEX, empty},
          Case{REQ_DROP_INDEX, empty}, Case{REQ_ADD_COLUMNS, nullptr}, Case{REQ_DELETE_RULE_CHOICES, nullptr},
          Case{REQ_ADD_PRIMARY_KEY_CLAUSE, nullptr}, Case{REQ_ADD_PRIMARY_KEY_CLAUSE, badKey},
          Case{REQ_ALTER_PRIMARY_KEY, noTable}, Case{REQ_ADD_FOREIGN_KEY_CLAUSES, badList},
          Case{REQ_ALTER_FOREIGN_KEYS, nullptr}, Case{REQ_QUOTE_TABLE_NAME, nullptr}}) {
        SCOPED_TRACE("request " + std::to_string(c.code));
        block.status = 0;
        block.message[0] = '\0';
        block.arg = c.arg;
        route(c.code);
        EXPECT_EQ(+block.status, KW_STATUS_DRIVER_FAILURE);
        EXPECT_NE(message(), "");
        EXPECT_EQ(+block.statementList, nullptr);
    }
    // A table with no index for the index requests.
    for (int32_t code : {REQ_CREATE_INDEX, REQ_DROP_INDEX}) {
        block.status = 0;
        tableArg(table);
        route(code);
        EXPECT_EQ(+block.status, KW_STATUS_DRIVER_FAILURE);
        EXPECT_EQ(message(),
                  "The table has no index to " + std::string(code == REQ_CREATE_INDEX ? "create." : "drop."));
    }
    // A bad key leaves the CREATE TABLE in the list, whole.
    tableArg(table);
    route(REQ_CREATE_TABLE);
    Lines before = only();
    block.arg = badKey;
    route(REQ_ADD_PRIMARY_KEY_CLAUSE);
    EXPECT_EQ(only(), before);
}

TEST_F(DdlGenTest, DeleteRuleChoicesRecord) {
    unsigned char record[2 + 2 * sizeof(char*) + 2];
    std::memset(record, 0xAA, sizeof record);
    block.arg = record;
    route(REQ_DELETE_RULE_CHOICES);
    int16_t count = 0, end = 1;
    const char *title = nullptr, *choices = nullptr;
    std::memcpy(&count, record, 2);
    std::memcpy(&title, record + 2, sizeof title);
    std::memcpy(&choices, record + 2 + sizeof title, sizeof choices);
    std::memcpy(&end, record + 2 + 2 * sizeof title, 2);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(end, 0);
    EXPECT_STREQ(title, "On Delete of Primary Table Row");
    Lines texts;
    for (int i = 0; i < count; ++i) {
        texts.push_back(choices);
        choices += texts.back().size() + 1;
    }
    EXPECT_EQ(texts,
              (Lines{"Disallow if Dependent Rows Exist (RESTRICT)", "Delete any Dependent Rows (CASCADE)",
                     "Set Dependent Columns to NULL (SET NULL)"}));
}

TEST_F(DdlGenTest, AddColumnsWritesOneStatementPerColumn) {
    TableEntry* added =
        newTable("emp", "payroll",
                 {{"a", DB2_CHAR, 3, 0, true}, {"b", 0, 0, 0, false}, {"c", DB2_DECIMAL, 15, 5, false}});
    for (bool noDelimit : {false, true}) {
        SCOPED_TRACE(noDelimit ? "not delimited" : "delimited");
        clearStatements();
        block.options = noDelimit ? OPT_NO_DELIMIT : 0;
        tableArg(added);
        route(REQ_ADD_COLUMNS);
        const char* q = noDelimit ? "" : "\"";
        std::string name = std::string("PAYROLL.") + q + "EMP" + q;
        EXPECT_EQ(statements(),
                  (std::vector<Lines>{
                      {"ALTER TABLE " + name, std::string("ADD ") + q + "A" + q + " CHAR(3) NOT NULL"},
                      {"ALTER TABLE " + name, std::string("ADD ") + q + "B" + q + " "},
                      {"ALTER TABLE " + name, std::string("ADD ") + q + "C" + q + " DECIMAL(15,5)"}}));
        EXPECT_EQ(+block.result, 2);
    }
}

TEST_F(DdlGenTest, DropTableOrView) {
    struct Case {
        int32_t flags;
        uint8_t options;
        const char* line;
    };
    for (const Case& c :
         {Case{0, 0, "DROP TABLE PAYROLL.\"EMP\""}, Case{KW_TABLE_VIEW, 0, "DROP VIEW PAYROLL.\"EMP\""},
          Case{KW_TABLE_VIEW, OPT_NO_DELIMIT, "DROP VIEW PAYROLL.EMP"}}) {
        clearStatements();
        table->flags = c.flags;
        block.options = c.options;
        tableArg(table);
        route(REQ_DROP_TABLE);
        EXPECT_EQ(only(), Lines{c.line});
        EXPECT_EQ(+block.result, 1);
    }
}

TEST_F(DdlGenTest, CreateAndDropIndex) {
    const struct Case {
        const char* name;
        int32_t ascending, unique, clustered;
        uint8_t options;
        const char* create;  // lines apart by "\n"
        const char* drop;
    } cases[] = {
        {"unique descending", 0, 1, 0, 0,
         "CREATE UNIQUE INDEX \"X1\"\n ON PAYROLL.\"EMP\"\n(\"ID\" DESC ,\n\"NAME\" DESC )",
         "DROP INDEX \"X1\""},
        {"plain", 1, 0, 0, 0, "CREATE INDEX \"X1\"\n ON PAYROLL.\"EMP\"\n(\"ID\" ,\n\"NAME\" )",
         "DROP INDEX \"X1\""},
        {"clustered, not delimited", 1, 0, 1, OPT_NO_DELIMIT,
         "CREATE INDEX X1\n ON PAYROLL.EMP\n(ID ,\nNAME ) CLUSTER", "DROP INDEX X1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TableEntry* t = newTable("emp", "payroll", {{"id", 3, 4, 0, true}, {"name", 2, 9, 0, false}});
        addIndex(t, "x1", c.ascending, c.unique, c.clustered);
        block.options = c.options;
        clearStatements();
        tableArg(t);
        route(REQ_CREATE_INDEX);
        EXPECT_EQ(only(), linesOf(c.create));
        EXPECT_EQ(+block.result, 4);
        clearStatements();
        route(REQ_DROP_INDEX);
        EXPECT_EQ(only(), Lines{c.drop});
    }
}

TEST_F(DdlGenTest, AlterPrimaryKeyWithAndWithoutDroppingTheOldOne) {
    TableEntry* noOwner = newTable("emp", "", {{"id", 3, 4, 0, true}, {"name", 2, 9, 0, true}});
    struct Case {
        const char* name;
        TableEntry* t;
        int32_t drop;
        std::vector<int32_t> key;
        std::vector<Lines> statements;
    };
    const Case cases[] = {
        {"drop and add",
         table,
         1,
         {1, 2},
         {{"ALTER TABLE PAYROLL.EMP", " DROP PRIMARY KEY "},
          {"ALTER TABLE PAYROLL.EMP", " PRIMARY KEY  (", "id, ", "name) "}}},
        {"add only, no owner", noOwner, 0, {2}, {{"ALTER TABLE EMP", " PRIMARY KEY  (", "name) "}}},
        {"drop, empty key", table, 1, {}, {{"ALTER TABLE PAYROLL.EMP", " DROP PRIMARY KEY "}}},
        {"empty key only", table, 0, {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        clearStatements();
        block.status = 0;
        block.result = 99;
        block.inValue2 = c.drop;
        block.arg = newKey(c.t, "", c.key);
        route(REQ_ALTER_PRIMARY_KEY);
        EXPECT_EQ(+block.status, KW_STATUS_OK);
        EXPECT_EQ(statements(), c.statements);
        EXPECT_EQ(+block.result,
                  c.statements.empty() ? 0 : static_cast<intptr_t>(c.statements.back().size()));
    }
}

TEST_F(DdlGenTest, AlterForeignKeysOneStatementEach) {
    HostList* fks = newList();
    kwshr_appendToList(fks, newKey(table, "FK1", {1, 2}, "dept", "hr", KW_DELETE_SET_NULL));
    kwshr_appendToList(
        fks, newKey(table, "[foreign key 2]", {2}, "emp", "", KW_DELETE_CASCADE | KW_DELETE_SET_NULL));
    kwshr_appendToList(fks, newKey(table, "FK3", {1}, "emp", "", 0));
    block.arg = fks;
    block.options = OPT_NO_DELIMIT;
    route(REQ_ALTER_FOREIGN_KEYS);
    EXPECT_EQ(statements(), (std::vector<Lines>{{"ALTER TABLE PAYROLL.EMP", " FOREIGN KEY FK1 (", "id, ",
                                                 "name) ", " REFERENCES HR.DEPT", " ON DELETE  SET NULL "},
                                                {"ALTER TABLE PAYROLL.EMP", " FOREIGN KEY (", "name) ",
                                                 " REFERENCES EMP", " ON DELETE  CASCADE "},
                                                {"ALTER TABLE PAYROLL.EMP", " FOREIGN KEY FK3 (", "id) ",
                                                 " REFERENCES EMP", " ON DELETE  RESTRICT "}}));
    EXPECT_EQ(+block.result, 5);
    EXPECT_EQ(+block.inValue2, 5);
    EXPECT_EQ(+block.inValue, +block.statementHandle);
    EXPECT_NE(+block.inValue, 0);
}

TEST_F(DdlGenTest, QuoteTableNameWithAndWithoutOwner) {
    struct Case {
        const char* in;
        const char* out;
    };
    for (const Case& c : {Case{"payroll.emp", "PAYROLL.\"EMP\""}, Case{"emp", "\"EMP\""},
                          Case{"a.b.c", "A.\"B.C\""}, Case{"", "\"\""}}) {
        for (uint8_t options : {uint8_t(0), uint8_t(OPT_NO_DELIMIT)}) {
            std::string in = c.in;
            std::vector<char> out(in.size() + 3, 'z');
            block.sqlText = in.data();
            block.arg = out.data();
            block.options = options;
            route(REQ_QUOTE_TABLE_NAME);
            EXPECT_EQ(std::string(out.data(), std::strlen(c.out)), c.out);
            EXPECT_EQ(out[std::strlen(c.out)], '\0');
        }
    }
    block.sqlText = nullptr;
}

}  // namespace
