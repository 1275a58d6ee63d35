// connect_test.cpp - the connection record's DbParm rules (connect and request 170), without a
// server. The driver's settings in the host profile are tried in dialogs_test, with their dialogs.
#include <string>
#include <vector>

#include "driver_block.h"

namespace {

struct Parameter {
    const char* key;
    const char* text;  // null: no text value
    int32_t number;
};

class DbParmTest : public DriverBlockTest {
  protected:
    void SetUp() override {
        DriverBlockTest::SetUp();
        block.connection = &connection;
    }
    void TearDown() override {
        freeTexts(connection);
        DriverBlockTest::TearDown();
    }

    // Applies the parameters as connect does, or as request 170, through a host list of entries.
    void apply(const std::vector<Parameter>& parameters, bool asRequest170 = false) {
        HostList* list = kwshr_createList(context, 0);
        std::vector<ParameterEntry> entries(parameters.size());
        for (size_t i = 0; i < parameters.size(); ++i) {
            entries[i].key = const_cast<char*>(parameters[i].key);
            entries[i].text = const_cast<char*>(parameters[i].text);
            entries[i].number = parameters[i].number;
            ASSERT_EQ(kwshr_appendToList(list, &entries[i]), 1);
        }
        if (asRequest170) {
            block.arg = list;
            route(REQ_APPLY_DBPARM);
            EXPECT_EQ(+block.status, 0);
        } else {
            TDX_ApplyDbParm(&block, list);
            EXPECT_EQ(+list->cursor, nullptr) << "the cursor is left at the end of the list";
        }
        kwshr_destroyList(list);
    }

    ConnectionRecord connection{};
};

TEST_F(DbParmTest, OwnerKeysAreCopiedInUpperCaseAndCutTo129Characters) {
    const std::string long130(130, 'o'), long129(129, 'g');
    apply({{"SystemOwner", "sysibm", 0}, {"kwcatalogowner", "Joe", 0}, {"GROUPID", long130.c_str(), 0}});
    EXPECT_STREQ(connection.systemOwner, "SYSIBM");
    EXPECT_STREQ(connection.catalogOwner, "JOE");
    EXPECT_EQ(std::string(connection.groupId), std::string(129, 'O'));

    apply({{"GroupID", long129.c_str(), 0}, {"SystemOwner", "other", 0}});
    EXPECT_EQ(std::string(connection.groupId), std::string(129, 'G'));
    EXPECT_STREQ(connection.systemOwner, "OTHER");
}

TEST_F(DbParmTest, TableCriteriaAndConversionTableKeepTheirCaseAndLength) {
    const std::string criteria = "CREATOR = 'Sales' AND NAME LIKE 'T%' " + std::string(200, 'x');
    apply({{"TableCriteria", criteria.c_str(), 0}, {"ConversionTable", "MyTable", 0}}, true);
    EXPECT_EQ(std::string(connection.tableCriteria), criteria);
    EXPECT_STREQ(connection.conversionTable, "MyTable");
}

TEST_F(DbParmTest, DelimitIdentifierNoInAnyCaseSetsTheOptionAndAnythingElseClearsIt) {
    const struct {
        const char* value;
        bool noDelimit;
    } cases[] = {{"no", true}, {"NO", true}, {"No", true}, {"yes", false}, {"nope", false}, {"", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        block.options = static_cast<uint8_t>(c.noDelimit ? 0x01 : 0xFF);
        apply({{"DelimitIdentifier", c.value, 0}});
        EXPECT_EQ((block.options & OPT_NO_DELIMIT) != 0, c.noDelimit);
        // Only the one bit changes.
        EXPECT_EQ(+block.options & ~OPT_NO_DELIMIT, c.noDelimit ? 0x01 : 0xFF & ~OPT_NO_DELIMIT);
    }
}

TEST_F(DbParmTest, StaticBindTakesTextOrNumberForms) {
    const struct {
        const char* text;
        int32_t number, staticBind;
    } cases[] = {
        {"false", 0, 0}, {"NO", 0, 0},
        {"no", 0, 0},    {"0", 0, 1},      // a text value other than NO/FALSE means yes
        {"yes", 0, 1},   {nullptr, 0, 0},  // without a text, only the number 0 means no
        {nullptr, 5, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text != nullptr ? c.text : "(number)");
        connection.staticBind = 7;
        apply({{"StaticBind", c.text, c.number}});
        EXPECT_EQ(+connection.staticBind, c.staticBind);
    }
}

TEST_F(DbParmTest, NumericKeysApplyOnlyWhenNonzeroAndRequestStaysSet) {
    connection.sqlQualifiers = 3;
    apply({{"SQLQualifiers", nullptr, 0}});
    EXPECT_EQ(+connection.sqlQualifiers, 3);
    apply({{"SQLQualifiers", nullptr, 0x12345}});
    EXPECT_EQ(+connection.sqlQualifiers, 0x2345);  // the low 16 bits

    for (const auto& [number, mode] : {std::pair{0, 0}, {1, 1}, {0, 1}}) {
        apply({{"Request", nullptr, number}});
        EXPECT_EQ(+connection.requestMode, mode) << "after Request=" << number;
    }
}

TEST_F(DbParmTest, AbsentAndUnknownKeysAndMissingTextValuesChangeNothing) {
    apply({{"SystemOwner", "keep", 0}, {"TableCriteria", "X = 1", 0}});
    apply({{"SystemOwner", nullptr, 9}, {"Unknown", "value", 1}, {"TableCriteria", nullptr, 0}});
    EXPECT_STREQ(connection.systemOwner, "KEEP");
    EXPECT_STREQ(connection.tableCriteria, "X = 1");
    apply({});
    EXPECT_STREQ(connection.systemOwner, "KEEP");
}

TEST_F(DbParmTest, Request170WithoutAConnectionRecordOnlySetsTheBlocksOption) {
    block.connection = nullptr;
    apply({{"DelimitIdentifier", "no", 0}, {"SystemOwner", "x", 0}}, true);
    EXPECT_NE(+block.options & OPT_NO_DELIMIT, 0);
    EXPECT_EQ(+connection.systemOwner, nullptr);
}

}  // namespace
