// ods_catalog_test.cpp - the driver's catalog.cpp without a server: the statement builder with long
// and quoted inputs, and the system-table and extended-catalog-column tests (requests 42, 47).
#include <cstring>
#include <string>
#include <tuple>

#include "driver_block.h"

namespace {

class CatalogTest : public DriverBlockTest {
  protected:
    std::string build(const char* pattern, std::initializer_list<const char*> pieces) {
        CatalogStatement statement;
        EXPECT_EQ(TDX_BeginStatement(&block, &statement), 1);
        TDX_AppendStatement(&block, &statement, pattern, pieces);
        EXPECT_EQ(statement.failed, 0);
        EXPECT_EQ(statement.length, std::strlen(statement.text));
        std::string text = statement.text;
        TDX_EndStatement(&block, &statement);
        return text;
    }
};

TEST_F(CatalogTest, StatementPiecesEnterRawOrWithTheirQuotesDoubled) {
    const struct {
        const char* claim;
        const char* pattern;
        std::initializer_list<const char*> pieces;
        const char* text;
    } cases[] = {
        {"names in literals are doubled",
         "NAME = '%q' AND CREATOR = '%q' ",
         {"O'NEIL", "X'"},
         "NAME = 'O''NEIL' AND CREATOR = 'X''' "},
        {"quotes only", "'%q'", {"''"}, "''''''"},
        {"a qualifier and raw criteria stay as they are",
         "%s.SYSTABLES AND (%s) ",
         {"SYSIBM", "NAME LIKE 'A%'"},
         "SYSIBM.SYSTABLES AND (NAME LIKE 'A%') "},
        {"a % that is no marker is text", "LIKE 'A%' %d %", {}, "LIKE 'A%' %d %"},
        {"a null piece adds nothing", "A'%q'B%sC", {nullptr, nullptr}, "A''BC"},
        {"missing pieces add nothing", "%s-%s-%q", {"x"}, "x--"},
        {"blanks are kept exactly", "  %s  ", {" y "}, "   y   "},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(build(c.pattern, c.pieces), c.text) << c.claim;
    }
}

TEST_F(CatalogTest, ALongQualifierGroupAndCriteriaGrowTheBufferAndNeverRunPastIt) {
    const std::string owner(129, 'Q');
    const std::string group = std::string(64, 'G') + "'" + std::string(64, 'H');
    const std::string criteria(2000, 'c');
    CatalogStatement statement;
    ASSERT_EQ(TDX_BeginStatement(&block, &statement), 1);
    std::string expected;
    for (int i = 0; i < 13; ++i) {
        TDX_AppendStatement(&block, &statement, "%s.SYSTABAUTH.GRANTEE = '%q' OR ",
                            {owner.c_str(), group.c_str()});
        expected +=
            owner + ".SYSTABAUTH.GRANTEE = '" + std::string(64, 'G') + "''" + std::string(64, 'H') + "' OR ";
    }
    TDX_AppendStatement(&block, &statement, " AND  (%s) ", {criteria.c_str()});
    expected += " AND  (" + criteria + ") ";
    EXPECT_EQ(statement.failed, 0);
    EXPECT_EQ(std::string(statement.text), expected);
    EXPECT_GT(statement.size, expected.size());
    TDX_EndStatement(&block, &statement);

    // When the host has no memory to grow it, the statement is marked failed and stays whole.
    ASSERT_EQ(TDX_BeginStatement(&block, &statement), 1);
    TDX_AppendStatement(&block, &statement, "SELECT %s", {"X"});
    kwhost_failAllocation(context, 1);
    TDX_AppendStatement(&block, &statement, "%s", {criteria.c_str()});
    TDX_AppendStatement(&block, &statement, " MORE", {});
    kwhost_failAllocation(context, 0);
    EXPECT_EQ(statement.failed, 1);
    EXPECT_STREQ(statement.text, "SELECT X");
    TDX_EndStatement(&block, &statement);

    kwhost_failAllocation(context, 1);
    EXPECT_EQ(TDX_BeginStatement(&block, &statement), 0);
    kwhost_failAllocation(context, 0);
    EXPECT_EQ(+block.status, KW_STATUS_DRIVER_FAILURE);
}

TEST_F(CatalogTest, SystemTablesAreTheSystemOwnersAndTheExtendedCatalogsWhoeverOwnsThem) {
    ConnectionRecord record{};
    record.systemOwner = kwshr_duplicateString(context, "SYSIBM", 0);
    block.connection = &record;
    // owner, table, request 42
    const std::tuple<const char*, const char*, int> tables[] = {
        {"sysibm", "ordinary", 1}, {"SysIbm", "x", 1},     {"joe", "kwcatcol", 1}, {"joe", "KwCatEdt", 1},
        {"joe", "KWCATTBL", 1},    {"joe", "kwcatfmt", 1}, {"joe", "kwcatvld", 1}, {"joe", "emp", 0},
        {"joe", "kwcatcolx", 0},   {"sysibmx", "emp", 0},  {nullptr, "emp", 0},
    };
    for (auto [owner, table, answer] : tables) {
        block.ownerName = const_cast<char*>(owner);
        block.arg = const_cast<char*>(table);
        route(REQ_IS_SYSTEM_TABLE);
        EXPECT_EQ(+block.result, answer) << (owner ? owner : "(null)") << "." << table;
    }
    // column, table, owner, request 47
    const std::tuple<const char*, const char*, const char*, int> columns[] = {
        {"KWC_LABL", "KWCATCOL", "SYSIBM", 1}, {"kwc_labl", "kwcatcol", "sysibm", 1},
        {"KWC_LABL", "KWCATCOL", "JOE", 0},    {"KWT_TNAM", "KWCATCOL", "SYSIBM", 0},
        {"KWT_TNAM", "KWCATTBL", "SYSIBM", 1}, {"KWL_FFCE", "KWCATTBL", "SYSIBM", 1},
        {"KWE_CNTR", "KWCATEDT", "SYSIBM", 1}, {"KWF_CNTR", "KWCATFMT", "SYSIBM", 1},
        {"KWV_MSG", "KWCATVLD", "SYSIBM", 1},  {"KWV_MSGX", "KWCATVLD", "SYSIBM", 0},
        {"NAME", "KWCATCOL", "SYSIBM", 0},
    };
    for (auto [column, table, owner, answer] : columns) {
        block.arg = const_cast<char*>(column);
        block.sqlText = const_cast<char*>(table);
        block.ownerName = const_cast<char*>(owner);
        route(REQ_IS_CATALOG_COLUMN);
        EXPECT_EQ(+block.result, answer) << owner << "." << table << "." << column;
    }
    block.sqlText = nullptr;
    block.ownerName = nullptr;

    // Without a system owner (the dialog that asks for one is cancelled) only names count.
    kwshr_free(context, record.systemOwner);
    record.systemOwner = nullptr;
    block.ownerName = const_cast<char*>("sysibm");
    block.arg = const_cast<char*>("ordinary");
    route(REQ_IS_SYSTEM_TABLE);
    EXPECT_EQ(+block.result, 0);
    block.arg = const_cast<char*>("kwcatvld");
    route(REQ_IS_SYSTEM_TABLE);
    EXPECT_EQ(+block.result, 1);
    block.connection = nullptr;
}

}  // namespace
