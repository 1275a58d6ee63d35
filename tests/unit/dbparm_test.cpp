// DbParm text: parsing into parameter entries (values, numbers, blanks, malformed texts), lookup
// by key, and editing one key's value in place.
#include <string>
#include <utility>
#include <vector>

#include "kwshr_fixture.h"

namespace {

class DbParmTest : public BlockTest {
  protected:
    // Parses `text` as the driver has it parsed and closes the list again. Answers the entries as
    // KEY='text' or KEY=number (with /number when a text entry has a number), separated by blanks.
    std::string parse(const char* text) {
        block.dbParm = const_cast<char*>(text);
        kwshr_openConnectParameters(&block);
        auto* list = reinterpret_cast<HostList*>(block.result);
        std::string entries;
        for (HostListNode* node = list != nullptr ? list->first : nullptr; node != nullptr;
             node = node->next) {
            auto* e = static_cast<ParameterEntry*>(node->data);
            entries += std::string(entries.empty() ? "" : " ") + e->key + "=" +
                       (e->text != nullptr ? "'" + std::string(e->text) + "'" : std::to_string(e->number)) +
                       (e->text != nullptr && e->number != 0 ? "/" + std::to_string(e->number) : "");
        }
        block.arg = list;
        kwshr_closeConnectParameters(&block);
        block.dbParm = nullptr;
        return entries;
    }
};

TEST_F(DbParmTest, ParsesQuotedTextsNumbersAndWordsAndKeepsWhatCameBeforeAFault) {
    const struct {
        const char* text;
        const char* entries;
        bool fault = false;  // traced, the entries before it kept
    } cases[] = {
        {"SystemOwner='sysibm'", "SystemOwner='sysibm'"},
        {"TableCriteria='name like ''A%'''", "TableCriteria='name like 'A%''"},
        {"SQLQualifiers=3,Request=-1,X=+5", "SQLQualifiers=3 Request=-1 X=5"},
        {"StaticBind=0,StaticBind='0'", "StaticBind=0 StaticBind='0'"},
        {"DelimitIdentifier=no,Big=99999999999", "DelimitIdentifier='no' Big='99999999999'"},
        {" A = 1 , B = 'x, y' , C = two words ", "A=1 B='x, y' C='two words'"},
        {",,A=,B='',", "A='' B=''"},
        {"A=1,B", "A=1", true},         // missing '='
        {"A=1,=5,C=3", "A=1", true},    // empty key
        {"A=1,My Key=2", "A=1", true},  // blank inside a key
        {"A=1,B='open", "A=1", true},   // unterminated quote
        {"A=1,B='it''s", "A=1", true},  // a doubled quote does not close
        {"A='x'y,B=2", "", true},       // text after the closing quote
        {"A=ab'c',B=2", "", true},      // quote inside an unquoted value
        {"LoneWord", "", true},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.text);
        kwhost_traceClear();
        EXPECT_EQ(parse(test.text), test.entries);
        EXPECT_EQ(kwhost_traceCount(), test.fault ? 1 : 0);
    }
    for (const char* text : {static_cast<const char*>(nullptr), "", "   ", ",,"}) {
        block.result = 1;
        block.dbParm = const_cast<char*>(text);
        kwshr_openConnectParameters(&block);
        EXPECT_EQ(+block.result, 0) << "no text or no entry gives no list: " << (text ? text : "(null)");
    }
}

TEST_F(DbParmTest, FindsEntriesByKeyInAnyCaseWithoutMovingTheCursor) {
    block.dbParm = const_cast<char*>("appname='kw',Host='h1',SystemOwner='SYSIBM'");
    kwshr_openConnectParameters(&block);
    auto* list = reinterpret_cast<HostList*>(block.result);
    kwshr_firstListItem(list);
    block.arg = list;
    const std::pair<const char*, const char*> lookups[] = {
        {"HOST", "h1"}, {"host", "h1"}, {"Host", "h1"}, {"hos", nullptr}};
    for (auto [key, text] : lookups) {
        block.paramKey = const_cast<char*>(key);
        kwshr_findConnectParameter(&block);
        auto* entry = reinterpret_cast<ParameterEntry*>(block.result);
        EXPECT_STREQ(entry != nullptr ? entry->text : nullptr, text) << key;
    }
    EXPECT_EQ(+list->cursor, list->first);
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
        SCOPED_TRACE(std::string(test.before ? test.before : "(null)") + " / " + test.key);
        block.dbParm = kwshr_duplicateString(ctx, test.before, 0);
        kwshr_setDbParmValue(&block, test.key, test.value);
        EXPECT_STREQ(block.dbParm, test.after != nullptr ? test.after : test.before);
        kwshr_free(ctx, block.dbParm);
        EXPECT_EQ(stats().liveAllocations, 0) << "the old text is freed";
    }
    // A text the context does not own is left alone: the new one is the context's.
    char userText[] = "Database='DB1'";
    block.dbParm = userText;
    kwshr_setDbParmValue(&block, "database", "'DB2'");
    EXPECT_STREQ(block.dbParm, "Database='DB2'");
    EXPECT_STREQ(userText, "Database='DB1'");
    kwshr_free(ctx, block.dbParm);
}

}  // namespace
