// attributes_test.cpp - the statements that store and remove a table's extended attributes
// (requests 45 and 60) and the queries that read them, as reviewed golden text: fonts and column
// fields, quotes in free texts, SMALLINT values written back signed, names upper case in the
// statements and lower case in the host's records afterwards.
#include <cstring>
#include <string>
#include <vector>

#include "driver_block.h"
#include "kwuser.h"

namespace {

class AttributesTest : public DriverBlockTest {
  protected:
    void SetUp() override {
        DriverBlockTest::SetUp();
        kwuser_setPresenter(nullptr);
        connection.catalogOwner = kwshr_duplicateString(context, "JOE", 0);
        block.connection = &connection;
        table = static_cast<TableEntry*>(kwshr_allocate(context, sizeof(TableEntry), 0));
        std::memset(table, 0, sizeof *table);
        std::strcpy(table->name, "emp");
        table->owner = kwshr_duplicateString(context, "sales", 0);
        table->columns = kwshr_createList(context, 0);
        column = static_cast<ColumnDescriptor*>(kwshr_allocate(context, sizeof(ColumnDescriptor), 0));
        std::memset(column, 0, sizeof *column);
        column->name = kwshr_duplicateString(context, "dept", 0);
        kwshr_appendToList(table->columns, column);
        arg = kwshr_createList(context, 0);
        kwshr_appendToList(arg, table);
    }

    void TearDown() override {
        clearStatements();
        freeTexts(connection);
        block.connection = nullptr;
        kwshr_free(context, column->name);
        kwshr_free(context, column);
        kwshr_destroyList(table->columns);
        kwshr_free(context, table->owner);
        kwshr_free(context, table);
        kwshr_destroyList(arg);
        DriverBlockTest::TearDown();
    }

    // Fonts and texts of a saved table: a negative height and weight, flags of 1 and 2, a full
    // character set byte, quotes in the face name and the comment.
    void fillTable() {
        table->dataFont = FontAttributes{-10, 400, 0, 0, 0, 0, "Arial"};
        table->headingFont = FontAttributes{12, -100, 1, 2, 255, 34, "O'Brien Sans"};
        comment = "it's";
        table->comment = comment.data();
        label = "Dept's";
        format = "#,##0";
        initial = "'x'";
        edit = "MM/DD/YY";
        empty = "";
        column->label = label.data();
        column->labelPosition = 65535;  // -1 as read from the catalog
        column->headingPosition = -1;   // -1 as the host sets it
        column->justification = 2;
        column->displayFormat = format.data();
        column->caseConversion = 1;
        column->displayHeight = 90;
        column->displayWidth = 300;
        column->bitmap = 1;
        column->initialValue = initial.data();
        column->comment = empty.data();
        column->editStyle = edit.data();
    }

    // Runs one statement writer on a fresh builder.
    template <typename Write>
    Lines written(Write write) {
        clearStatements();
        StatementWriter w;
        EXPECT_EQ(TDX_OpenWriter(&block, &w, 90), 1);
        write(&w);
        TDX_CloseWriter(&w);
        return only();
    }

    ConnectionRecord connection{};
    TableEntry* table = nullptr;
    ColumnDescriptor* column = nullptr;
    HostList* arg = nullptr;
    std::string comment, label, format, initial, edit, empty;
};

const Lines kTableUpdate = linesOf(
    "UPDATE  JOE.KWCATTBL SET \nKWD_FHGT = -10, \nKWD_FWGT = 400 ,\nKWD_FITL = 'N', \nKWD_FUNL = 'N', \n"
    "KWD_FCHR = 0, \nKWD_FPTC = 0, \nKWD_FFCE = 'Arial', \nKWH_FHGT = 12, \nKWH_FWGT = -100 ,\n"
    "KWH_FITL = 'Y', \nKWH_FUNL = 'Y', \nKWH_FCHR = 255, \nKWH_FPTC = 34, \nKWH_FFCE = 'O''Brien Sans', \n"
    "KWL_FHGT = 0, \nKWL_FWGT = 0 ,\nKWL_FITL = 'N', \nKWL_FUNL = 'N', \n KWL_FCHR = 0, \nKWL_FPTC = 0, \n"
    "KWL_FFCE = '', \nKWT_CMNT = 'it''s'  \n WHERE KWT_TNAM = 'EMP'  AND KWT_OWNR = 'SALES' ");

const Lines kTableInsert = linesOf(
    "INSERT INTO JOE.KWCATTBL\n(KWT_TNAM, \nKWT_OWNR, \nKWD_FHGT,    \nKWD_FWGT,    \nKWD_FITL,    \n"
    "KWD_FUNL, \nKWD_FCHR,   \nKWD_FPTC, \nKWD_FFCE,  \nKWH_FHGT,    \nKWH_FWGT,    \nKWH_FITL,    \n"
    "KWH_FUNL, \nKWH_FCHR,   \nKWH_FPTC, \nKWH_FFCE,  \nKWL_FHGT,    \nKWL_FWGT,    \nKWL_FITL,    \n"
    "KWL_FUNL, \nKWL_FCHR,   \nKWL_FPTC, \nKWL_FFCE, \nKWT_CMNT)   \nVALUES \n('EMP', \n 'SALES', \n"
    " -10, \n 400, \n 'N', \n 'N', \n 0, \n 0, \n 'Arial', \n 12, \n -100, \n 'Y', \n 'Y', \n 255, \n"
    " 34, \n 'O''Brien Sans', \n 0, \n 0 ,\n 'N', \n 'N', \n 0, \n 0, \n '', \n'it''s') ");

const Lines kColumnUpdate = linesOf(
    "UPDATE JOE.KWCATCOL SET \nKWC_LABL = 'Dept''s', \nKWC_LPOS = -1 ,\nKWC_HDR = '', \nKWC_HPOS = -1 ,\n"
    "KWC_JTFY = 2 ,\nKWC_MASK = '#,##0', \nKWC_CASE = 1 ,\nKWC_HGHT = 90 ,\nKWC_WDTH = 300 ,\n"
    "KWC_PTRN = '', \nKWC_BMAP = 'Y', \nKWC_INIT = '''x''', \nKWC_CMNT = '', \nKWC_EDIT = 'MM/DD/YY' \n"
    "WHERE KWC_OWNR = 'SALES' AND KWC_TNAM = 'EMP' AND KWC_CNAM = 'DEPT'");

const Lines kColumnInsert = linesOf(
    "INSERT INTO JOE.KWCATCOL\n (KWC_TNAM,    \nKWC_OWNR,  \nKWC_CNAM,  \nKWC_LABL,        \nKWC_LPOS,  \n"
    "KWC_HDR,      \nKWC_HPOS, \nKWC_JTFY,      \nKWC_MASK,         \nKWC_CASE,         \n"
    "KWC_HGHT,       \nKWC_WDTH,        \nKWC_PTRN,      \nKWC_BMAP,       \nKWC_INIT,         \n"
    "KWC_CMNT, \nKWC_EDIT, \nKWC_TAG) \n VALUES            \n ('EMP', \n'SALES', \n'DEPT', \n 'Dept''s', \n"
    "-1 ,\n '', \n-1, \n2 ,\n '#,##0', \n1 ,\n90 ,\n300 ,\n '', \n'Y', \n '''x''', \n '', \n 'MM/DD/YY', \n"
    "'') ");

TEST_F(AttributesTest, EachWriterWritesItsStatementLineByLineAndLeavesTheNamesLowerCase) {
    fillTable();
    const struct {
        const char* what;
        void (*write)(StatementWriter*, TableEntry*, ColumnDescriptor*, const char*);
        const Lines& expected;
    } cases[] = {
        {"table update",
         [](StatementWriter* w, TableEntry* t, ColumnDescriptor*, const char* o) {
             TDX_UpdateTableAttributes(w, t, o);
         },
         kTableUpdate},
        {"table insert",
         [](StatementWriter* w, TableEntry* t, ColumnDescriptor*, const char* o) {
             TDX_InsertTableAttributes(w, t, o);
         },
         kTableInsert},
        {"column update", TDX_UpdateColumnAttributes, kColumnUpdate},
        {"column insert", TDX_InsertColumnAttributes, kColumnInsert},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(written([&](StatementWriter* w) { c.write(w, table, column, "JOE"); }), c.expected);
        EXPECT_STREQ(table->name, "emp");
        EXPECT_STREQ(table->owner, "sales");
        EXPECT_STREQ(column->name, "dept");
    }
}

TEST_F(AttributesTest, WithoutAnOwnerTheCatalogTablesAreNamedUnqualified) {
    const Lines update = written([&](StatementWriter* w) { TDX_UpdateTableAttributes(w, table, ""); });
    ASSERT_FALSE(update.empty());
    EXPECT_EQ(update.front(), "UPDATE  KWCATTBL SET ");
    EXPECT_EQ(update[update.size() - 2], "KWT_CMNT = ''  ") << "a null comment is an empty text, not a null";
    const Lines insert =
        written([&](StatementWriter* w) { TDX_InsertColumnAttributes(w, table, column, ""); });
    ASSERT_FALSE(insert.empty());
    EXPECT_EQ(insert.front(), "INSERT INTO KWCATCOL");
}

// Not connected: no probe can be made, so every statement is an INSERT; the owner comes from the
// current user when the connection names none; 60 writes the two DELETEs and is skipped
// entirely when the catalog is unavailable.
TEST_F(AttributesTest, Requests45And60WriteTheirStatementsIntoTheStatementList) {
    fillTable();
    kwshr_free(context, connection.catalogOwner);
    connection.catalogOwner = kwshr_duplicateString(context, "", 0);
    block.currentUser = kwshr_duplicateString(context, "JOE", 0);
    block.arg = arg;
    route(REQ_WRITE_ATTRIBUTES);
    EXPECT_EQ(+block.status, 0) << message();
    EXPECT_EQ(statements(), (std::vector<Lines>{kTableInsert, kColumnInsert}));
    EXPECT_EQ(+block.result, static_cast<intptr_t>(kColumnInsert.size()));
    EXPECT_STREQ(table->name, "emp");

    clearStatements();
    block.arg = arg;
    route(REQ_DELETE_ATTRIBUTES);
    EXPECT_EQ(statements(),
              (std::vector<Lines>{
                  {"DELETE FROM JOE.KWCATTBL", " WHERE KWT_TNAM = 'EMP' ", " AND KWT_OWNR = 'SALES' "},
                  {"DELETE FROM JOE.KWCATCOL", " WHERE KWC_TNAM = 'EMP' ", " AND KWC_OWNR = 'SALES' "},
              }));
    EXPECT_EQ(+block.result, 3);
    EXPECT_STREQ(table->owner, "sales");

    clearStatements();
    block.arg = arg;
    block.flags = FLAG_CATALOG_UNAVAILABLE;
    route(REQ_DELETE_ATTRIBUTES);
    EXPECT_TRUE(statements().empty());
    EXPECT_EQ(+block.result, 0);
}

// Before any connect the requests work on a connection record of their own and give it back.
TEST_F(AttributesTest, Request45BeforeAnyConnectLendsAConnectionRecordAndTakesItBack) {
    freeTexts(connection);
    connection = ConnectionRecord{};
    block.connection = nullptr;
    block.arg = arg;
    route(REQ_WRITE_ATTRIBUTES);
    EXPECT_EQ(+block.status, 0) << message();
    EXPECT_EQ(+block.connection, nullptr);
    const auto all = statements();
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0].front(), "INSERT INTO KWCATTBL") << "no catalog owner, no current user: no qualifier";
}

TEST_F(AttributesTest, AnOwnerLongerThanTheCatalogTakesIsRefusedAndNothingIsWritten) {
    kwshr_free(context, connection.catalogOwner);
    connection.catalogOwner =
        kwshr_duplicateString(context, std::string(TDX_OWNER_NAME_MAX + 1, 'A').c_str(), 0);
    block.arg = arg;
    route(REQ_WRITE_ATTRIBUTES);
    EXPECT_EQ(+block.status, KW_STATUS_DRIVER_FAILURE);
    EXPECT_NE(message().find("catalog owner name is longer than 129 characters"), std::string::npos)
        << message();
    EXPECT_TRUE(statements().empty());

    // The longest owner that fits is taken whole.
    kwshr_free(context, connection.catalogOwner);
    connection.catalogOwner = kwshr_duplicateString(context, std::string(TDX_OWNER_NAME_MAX, 'A').c_str(), 0);
    block.arg = arg;
    route(REQ_DELETE_ATTRIBUTES);
    EXPECT_EQ(+block.status, 0) << message();
    ASSERT_EQ(statements().size(), 2u);
    EXPECT_EQ(statements()[0][0], "DELETE FROM " + std::string(TDX_OWNER_NAME_MAX, 'A') + ".KWCATTBL");
}

TEST_F(AttributesTest, TheReadQueriesNameTheTableAndOwnerInUpperCaseWithQuotesDoubled) {
    const std::string select =
        "SELECT KWC_TNAM, KWC_OWNR, KWC_CNAM, KWC_LABL, KWC_LPOS, KWC_HDR, KWC_HPOS, KWC_JTFY, KWC_MASK, "
        "KWC_CASE, KWC_HGHT, KWC_WDTH, KWC_PTRN, KWC_BMAP, KWC_INIT, KWC_EDIT, KWC_CMNT FROM ";
    std::strcpy(table->name, "O'NEIL");
    EXPECT_EQ(
        catalogTextOf(TDX_TableAttributesQuery, table, "JOE"),
        "SELECT KWD_FHGT, KWD_FWGT, KWD_FITL, KWD_FUNL, KWD_FCHR, KWD_FPTC, KWD_FFCE, KWH_FHGT, KWH_FWGT, "
        "KWH_FITL, KWH_FUNL, KWH_FCHR, KWH_FPTC, KWH_FFCE, KWL_FHGT, KWL_FWGT, KWL_FITL, KWL_FUNL, KWL_FCHR, "
        "KWL_FPTC, KWL_FFCE, KWT_CMNT FROM JOE.KWCATTBL WHERE KWT_OWNR = 'sales' AND KWT_TNAM = 'O''NEIL'");
    EXPECT_EQ(catalogTextOf(TDX_ColumnAttributesQuery, "EMP", "SALES", nullptr, "JOE"),
              select + "JOE.KWCATCOL WHERE KWC_TNAM = 'EMP' AND KWC_OWNR = 'SALES' ");
    EXPECT_EQ(catalogTextOf(TDX_ColumnAttributesQuery, "EMP", "SALES", "DEPT", "JOE"),
              select + "JOE.KWCATCOL WHERE KWC_TNAM = 'EMP' AND KWC_OWNR = 'SALES'  AND KWC_CNAM = 'DEPT'");

    TableItem items[2] = {};
    std::strcpy(items[0].name, "emp");
    std::strcpy(items[0].owner, "sales");
    std::strcpy(items[1].name, "dept");
    std::strcpy(items[1].owner, "jo'e");
    HostList* tables = kwshr_createList(context, 0);
    kwshr_appendToList(tables, &items[0]);
    kwshr_appendToList(tables, &items[1]);
    block.arg = tables;
    EXPECT_EQ(catalogTextOf(TDX_ColumnAttributesForTablesQuery, static_cast<HostList*>(block.arg), "JOE"),
              select +
                  "JOE.KWCATCOL WHERE  (KWC_TNAM = 'EMP' AND KWC_OWNR= 'SALES') OR  (KWC_TNAM = 'DEPT' AND "
                  "KWC_OWNR= 'JO''E')");
    EXPECT_STREQ(items[0].name, "EMP") << "the items are left upper case";
    kwshr_destroyList(tables);
    block.arg = nullptr;
}

// The reads are skipped entirely while the catalog is unavailable; without a connection they
// are refused.
TEST_F(AttributesTest, ReadRequestsAreSkippedWithoutTheCatalogAndRefusedWithoutAConnection) {
    for (int32_t code : {REQ_READ_ATTRIBUTES, REQ_READ_COLUMN_ATTRIBUTES}) {
        SCOPED_TRACE(code);
        block.flags = FLAG_CATALOG_UNAVAILABLE;
        block.arg = table;
        route(code);
        EXPECT_EQ(+block.status, 0);
        block.flags = 0;
        route(code);
        EXPECT_EQ(+block.status, KW_STATUS_DRIVER_FAILURE);
    }
}

}  // namespace
