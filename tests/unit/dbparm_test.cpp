// DbParm text: parsing into parameter entries (values, numbers, blanks, malformed texts), lookup
// by key, and editing one key's value in place.
#include <optional>
#include <string>
#include <vector>

#include "kwshr_fixture.h"

namespace {

struct Entry {
    std::string key;
    std::optional<std::string> text;
    int32_t number;
    bool operator==(const Entry&) const = default;
};
std::ostream& operator<<(std::ostream& out, const Entry& e) {
    return out << e.key << "=" << (e.text ? "'" + *e.text + "'" : "(no text)") << "/" << e.number;
}

class DbParmTest : public BlockTest {
  protected:
    // Parses `text` as the driver has it parsed, reads the entries, and closes the list again.
    std::vector<Entry> parse(const char* text) {
        block.dbParm = const_cast<char*>(text);
        kwshr_openConnectParameters(&block);
        auto* list = reinterpret_cast<HostList*>(block.result);
        std::vector<Entry> entries;
        for (HostListNode* node = list != nullptr ? list->first : nullptr; node != nullptr;
             node = node->next) {
            auto* e = static_cast<ParameterEntry*>(node->data);
            entries.push_back(
                {e->key, e->text ? std::optional<std::string>(e->text) : std::nullopt, e->number});
        }
        block.arg = list;
        kwshr_closeConnectParameters(&block);
        block.dbParm = nullptr;
        return entries;
    }
};

TEST_F(DbParmTest, ParsesQuotedTextsNumbersAndWords) {
    const struct {
        const char* text;
        std::vector<Entry> entries;
    } cases[] = {
        {"SystemOwner='sysibm'", {{"SystemOwner", "sysibm", 0}}},
        {"TableCriteria='name like ''A%'''", {{"TableCriteria", "name like 'A%'", 0}}},
        {"SQLQualifiers=3,Request=-1,X=+5", {{"SQLQualifiers", {}, 3}, {"Request", {}, -1}, {"X", {}, 5}}},
        {"StaticBind=0,StaticBind='0'", {{"StaticBind", {}, 0}, {"StaticBind", "0", 0}}},
        {"DelimitIdentifier=no,Big=99999999999", {{"DelimitIdentifier", "no", 0}, {"Big", "99999999999", 0}}},
        {" A = 1 , B = 'x, y' , C = two words ", {{"A", {}, 1}, {"B", "x, y", 0}, {"C", "two words", 0}}},
        {",,A=,B='',", {{"A", "", 0}, {"B", "", 0}}},
    };
    for (const auto& test : cases) {
        EXPECT_EQ(parse(test.text), test.entries) << test.text;
    }
}

TEST_F(DbParmTest, MalformedTextKeepsTheEntriesBeforeTheFaultAndTracesIt) {
    const struct {
        const char* text;
        std::vector<Entry> kept;
    } cases[] = {
        {"A=1,B", {{"A", {}, 1}}},         // missing '='
        {"A=1,=5,C=3", {{"A", {}, 1}}},    // empty key
        {"A=1,My Key=2", {{"A", {}, 1}}},  // blank inside a key
        {"A=1,B='open", {{"A", {}, 1}}},   // unterminated quote
        {"A=1,B='it''s", {{"A", {}, 1}}},  // a doubled quote does not close
        {"A='x'y,B=2", {}},                // text after the closing quote
        {"A=ab'c',B=2", {}},               // quote inside an unquoted value
        {"LoneWord", {}},
    };
    for (const auto& test : cases) {
        kwhost_traceClear();
        EXPECT_EQ(parse(test.text), test.kept) << test.text;
        EXPECT_EQ(kwhost_traceCount(), 1) << test.text;
    }
}

TEST_F(DbParmTest, NoTextOrNoEntryGivesNoList) {
    for (const char* text : {static_cast<const char*>(nullptr), "", "   ", ",,"}) {
        block.result = 1;
        block.dbParm = const_cast<char*>(text);
        kwshr_openConnectParameters(&block);
        EXPECT_EQ(field(block.result), 0) << (text ? text : "(null)");
    }
    EXPECT_EQ(stats().liveAllocations, 0);
}

TEST_F(DbParmTest, FindsEntriesByKeyInAnyCaseWithoutMovingTheCursor) {
    block.dbParm = const_cast<char*>("appname='kw',Host='h1',SystemOwner='SYSIBM'");
    kwshr_openConnectParameters(&block);
    auto* list = reinterpret_cast<HostList*>(block.result);
    kwshr_firstListItem(list);
    block.arg = list;
    for (const char* key : {"HOST", "host", "Host"}) {
        block.paramKey = const_cast<char*>(key);
        kwshr_findConnectParameter(&block);
        ASSERT_NE(field(block.result), 0) << key;
        EXPECT_STREQ(reinterpret_cast<ParameterEntry*>(block.result)->text, "h1");
    }
    block.paramKey = const_cast<char*>("hos");
    kwshr_findConnectParameter(&block);
    EXPECT_EQ(field(block.result), 0);
    EXPECT_EQ(field(list->cursor), list->first);
    kwshr_closeConnectParameters(&block);
}

TEST_F(DbParmTest, SetValueReplacesTheKeysValueInPlaceOrAppendsTheEntry) {
    const struct {
        const char* before;
        const char* key;
        const char* value;
        const char* after;  // null: refused, text unchanged
    } cases[] = {
        {"A=1,B='x'", "b", "'y'", "A=1,B='y'"},
        {nullptr, "TableSpace", "'TS1'", "TableSpace='TS1'"},
        {"", "K", "'v'", "K='v'"},
        {"A=1", "K", "'it''s'", "A=1,K='it''s'"},
        {"  A = 1 ,  B = 'x' ", "A", "'z'", "  A = 'z' ,  B = 'x' "},
        {"A='it''s',B=2", "A", "'new'", "A='new',B=2"},
        {"A=1,a=2", "A", "3", "A=3,a=3"},
        {"A=1,B='open", "A", "2", "A=2,B='open"},
        {"B='open", "A", "'1'", nullptr},
        {"A=1", "B", "'unterminated", nullptr},
        {"A=1", "my key", "1", nullptr},
        {"A=1", "B", "x,C=2", nullptr},
    };
    for (const auto& test : cases) {
        block.dbParm = kwshr_duplicateString(ctx, test.before, 0);
        kwshr_setDbParmValue(&block, test.key, test.value);
        const char* expected = test.after != nullptr ? test.after : test.before;
        if (expected == nullptr) {
            EXPECT_EQ(field(block.dbParm), nullptr);
        } else {
            EXPECT_STREQ(block.dbParm, expected) << test.before << " / " << test.key;
        }
        kwshr_free(ctx, block.dbParm);
        EXPECT_EQ(stats().liveAllocations, 0) << "the old text is freed";
    }
}

TEST_F(DbParmTest, SetValueLeavesATextTheContextDoesNotOwnAlone) {
    char userText[] = "Database='DB1'";
    block.dbParm = userText;
    kwshr_setDbParmValue(&block, "database", "'DB2'");
    EXPECT_STREQ(block.dbParm, "Database='DB2'");
    EXPECT_STREQ(userText, "Database='DB1'");
    kwshr_free(ctx, block.dbParm);
}

}  // namespace
