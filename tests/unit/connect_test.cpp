// connect_test.cpp - the connection record's DbParm rules (connect and request 170) and the
// driver's settings in the host profile, without a server.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "driver_block.h"
#include "internal.h"

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
        for (char* field : {connection.systemOwner, connection.catalogOwner, connection.groupId,
                            connection.tableCriteria, connection.conversionTable}) {
            if (field != nullptr) {
                kwshr_free(context, field);
            }
        }
        DriverBlockTest::TearDown();
    }

    // Applies the parameters as connect does, through a host list of entries.
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
        }
        kwshr_destroyList(list);
    }

    ConnectionRecord connection{};
};

TEST_F(DbParmTest, OwnerKeysAreCopiedInUpperCaseAndCutTo129Characters) {
    const std::string long130(130, 'o');
    apply({{"SystemOwner", "sysibm", 0}, {"kwcatalogowner", "Joe", 0}, {"GROUPID", long130.c_str(), 0}});
    EXPECT_STREQ(connection.systemOwner, "SYSIBM");
    EXPECT_STREQ(connection.catalogOwner, "JOE");
    EXPECT_EQ(std::string(connection.groupId), std::string(129, 'O'));

    const std::string long129(129, 'g');
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
        Parameter parameter;
        int32_t staticBind;
    } cases[] = {
        {{"StaticBind", "false", 0}, 0}, {{"StaticBind", "NO", 0}, 0},    {{"StaticBind", "no", 0}, 0},
        {{"StaticBind", "0", 0}, 1},  // a text value other than NO/FALSE means yes
        {{"StaticBind", "yes", 0}, 1},   {{"StaticBind", nullptr, 0}, 0},  // only the number 0
        {{"StaticBind", nullptr, 5}, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.parameter.text != nullptr ? c.parameter.text : "(number)");
        connection.staticBind = 7;
        apply({c.parameter});
        EXPECT_EQ(+connection.staticBind, c.staticBind);
    }
}

TEST_F(DbParmTest, NumericKeysApplyOnlyWhenNonzeroAndRequestStaysSet) {
    connection.sqlQualifiers = 3;
    apply({{"SQLQualifiers", nullptr, 0}});
    EXPECT_EQ(+connection.sqlQualifiers, 3);
    apply({{"SQLQualifiers", nullptr, 0x12345}});
    EXPECT_EQ(+connection.sqlQualifiers, 0x2345);  // the low 16 bits

    apply({{"Request", nullptr, 0}});
    EXPECT_EQ(+connection.requestMode, 0);
    apply({{"Request", nullptr, 1}});
    EXPECT_EQ(+connection.requestMode, 1);
    apply({{"Request", nullptr, 0}});
    EXPECT_EQ(+connection.requestMode, 1);
}

TEST_F(DbParmTest, AbsentAndUnknownKeysAndMissingTextValuesChangeNothing) {
    apply({{"SystemOwner", "keep", 0}, {"TableCriteria", "X = 1", 0}});
    apply({{"SystemOwner", nullptr, 9}, {"Unknown", "value", 1}, {"TableCriteria", nullptr, 0}});
    EXPECT_STREQ(connection.systemOwner, "KEEP");
    EXPECT_STREQ(connection.tableCriteria, "X = 1");
    apply({});
    EXPECT_STREQ(connection.systemOwner, "KEEP");
}

TEST_F(DbParmTest, TheCursorIsLeftAtTheEndOfTheList) {
    HostList* list = kwshr_createList(context, 0);
    ParameterEntry entries[2] = {{const_cast<char*>("GroupID"), const_cast<char*>("g"), 0},
                                 {const_cast<char*>("Request"), nullptr, 1}};
    kwshr_appendToList(list, &entries[0]);
    kwshr_appendToList(list, &entries[1]);
    TDX_ApplyDbParm(&block, list);
    EXPECT_EQ(+list->cursor, nullptr);
    EXPECT_STREQ(connection.groupId, "G");
    EXPECT_EQ(+connection.requestMode, 1);
    kwshr_destroyList(list);
}

TEST_F(DbParmTest, Request170WithoutAConnectionRecordOnlySetsTheBlocksOption) {
    block.connection = nullptr;
    apply({{"DelimitIdentifier", "no", 0}, {"SystemOwner", "x", 0}}, true);
    EXPECT_NE(+block.options & OPT_NO_DELIMIT, 0);
    EXPECT_EQ(+connection.systemOwner, nullptr);
    block.connection = &connection;
}

class ProfileSettingTest : public DriverBlockTest {
  protected:
    void SetUp() override {
        DriverBlockTest::SetUp();
        folder = std::filesystem::temp_directory_path() / ("kw-profile-" + std::to_string(::getpid()));
        std::filesystem::create_directories(folder);
        kwhost_setProfilePath((folder / "kw.ini").c_str());
    }
    void TearDown() override {
        std::filesystem::remove_all(folder);
        DriverBlockTest::TearDown();
    }
    std::string stored(const char* key) {
        char value[130] = {};
        kwshr_readProfileString("database", key, "(none)", value, sizeof value);
        return value;
    }
    std::filesystem::path folder;
};

TEST_F(ProfileSettingTest, AnEmptyValueIsStoredAsAStarAndReadsBackEmpty) {
    char value[130] = "";
    TDX_PutProfileSetting("TableSpace", value);
    EXPECT_EQ(stored("TableSpace"), "*");
    EXPECT_STREQ(value, "");  // the caller's buffer is left as it came

    char out[130] = "junk";
    TDX_GetProfileSetting(&block, "TableSpace", out);
    EXPECT_STREQ(out, "");

    char has[130] = {};
    EXPECT_EQ(TDX_HasProfileSetting("TableSpace", has, sizeof has), 1);
    EXPECT_STREQ(has, "*");  // the raw setting, as the login dialog shows it
}

TEST_F(ProfileSettingTest, AStoredValueReadsBackInUpperCase) {
    char value[130] = "ts1";
    TDX_PutProfileSetting("TableSpace", value);
    EXPECT_STREQ(value, "ts1");
    char out[130] = {};
    TDX_GetProfileSetting(&block, "TableSpace", out);
    EXPECT_STREQ(out, "TS1");

    char has[130] = {};
    EXPECT_EQ(TDX_HasProfileSetting("StoredReqOwner", has, sizeof has), 0);
    EXPECT_STREQ(has, "");
}

}  // namespace
