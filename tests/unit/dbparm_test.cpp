// Text services: decimal text into the 16-byte host decimal, trailing trimming, quote doubling; and
// DbParm text: parsing into parameter entries (values, numbers, blanks, malformed texts), lookup by
// key, and editing one key's value in place.
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "kwconst.h"
#include "kwshr_fixture.h"

namespace {

TEST(TextToDecimal, ConvertsEveryValueTheHostDecimalHoldsExactlyAndSaysWhenItRefuses) {
    const struct {
        const char* text;
        uint8_t scale;
        bool negative;
        uint32_t high;
        uint64_t low;
    } cases[] = {
        {"0", 0, false, 0, 0},
        {"123", 0, false, 0, 123},
        {"-0.50", 2, true, 0, 50},
        {"+7.25", 2, false, 0, 725},
        {"  42  ", 0, false, 0, 42},
        {"\t-1\t", 0, true, 0, 1},
        {".5", 1, false, 0, 5},
        {"5.", 0, false, 0, 5},
        {"-0", 0, false, 0, 0},  // zero is never negative
        {"-0.00", 2, false, 0, 0},
        {"0000000000000000000000000000000012", 0, false, 0, 12},  // leading zeros are not digits that count
        {"18446744073709551616", 0, false, 1, 0},                 // 2^64
        {"9999999999999999999999999999", 0, false, 0x204FCE5Eu, 0x3E2502610FFFFFFFull},
        {"-999999999999999999999999.9999", 4, true, 0x204FCE5Eu, 0x3E2502610FFFFFFFull},
        {"0.0000000000000000000000000001", 28, false, 0, 1},
        // 29 digits where the 96-bit mantissa holds them, up to 2^96 - 1.
        {"79228162514264337593543950335", 0, false, 0xFFFFFFFFu, 0xFFFFFFFFFFFFFFFFull},
        {"-7.9228162514264337593543950335", 28, true, 0xFFFFFFFFu, 0xFFFFFFFFFFFFFFFFull},
        {"1.0000000000000000000000000000", 28, false, 0x204FCE5Eu, 0x3E25026110000000ull},  // 10^28
        // Zeros at the end of the fraction go where the scale or the mantissa needs it, and only
        // those: a DECIMAL(31,30) text, a DECIMAL(31,2) one.
        {"0.100000000000000000000000000000", 28, false, 0x033B2E3Cu, 0x9FD0803CE8000000ull},
        {"1234567890123456789012345678.90", 1, false, 0x27E41B32u, 0x46BEC9B16E398115ull},
        {"-12345678901234567890123456789.00", 0, true, 0x27E41B32u, 0x46BEC9B16E398115ull},
        // Plain texts of at most 19 digits are read in one pass, all others by the general reading:
        // the values on both sides of that line, and every way out of the short reading.
        {"9999999999999999999", 0, false, 0, 0x8AC7230489E7FFFFull},     // 19 digits
        {"18446744073709551615", 0, false, 0, 0xFFFFFFFFFFFFFFFFull},    // 20: 2^64 - 1
        {"99999999999999999999", 0, false, 0x5, 0x6BC75E2D630FFFFFull},  // 20 nines
        {"-999999999.9999999999", 10, true, 0, 0x8AC7230489E7FFFFull},   // 19 around a point
        {"-9999999999999999999", 0, true, 0, 0x8AC7230489E7FFFFull},     // 19, negative, scale 0
        {"-10000000000000000000", 0, true, 0, 0x8AC7230489E80000ull},    // 20, negative, scale 0
        {"-99999", 0, true, 0, 99999},                                   // DECIMAL(5,0)
        {"1234567890123456789.0", 1, false, 0, 0xAB54A98CEB1F0AD2ull},   // 20 around a point
        {".1234567890123456789", 19, false, 0, 0x112210F47DE98115ull},
        {"0000000000000000000001", 0, false, 0, 1},  // 22 digits, most of them leading zeros
        {"-.5", 1, true, 0, 5},
        {"+0", 0, false, 0, 0},
        {"-0.000", 3, false, 0, 0},
        {"1234.56", 2, false, 0, 123456},  // DECIMAL(9,2) as the gateway writes it
        {"-1234.56", 2, true, 0, 123456},
        {"0.01", 2, false, 0, 1},
        {"7 ", 0, false, 0, 7},  // a blank ends the short reading; the general one takes it
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.text);
        HostDecimal value;
        std::memset(&value, 0xA5, sizeof value);
        ASSERT_EQ(kwshr_textToDecimal(&value, test.text), 1);
        EXPECT_EQ(value.reserved, 0);
        EXPECT_EQ(value.scale, test.scale);
        EXPECT_EQ(value.sign, test.negative ? KW_DECIMAL_NEGATIVE : 0);
        EXPECT_EQ(value.high, test.high);
        EXPECT_EQ(value.low, test.low);
    }
    // Texts that are no such number; then values the host decimal cannot hold exactly, which are
    // refused rather than rounded: 2^96, a DECIMAL(31,0) and a DECIMAL(31,30) of 31 digits, a
    // significant 29th digit after the point (also behind a zero); last, a character that is no
    // digit, point or sign wherever the short reading meets it, also a byte above 127 (which a
    // signed char would make a negative number).
    std::vector<std::string> refused = {"",    "   ", "-",   "+",    ".",   "-.",  "1.2.3", "1e5",
                                        "12a", "- 5", "1 2", "0x10", "--1", "1,5", "\u0661"};
    refused.insert(refused.end(), {"79228162514264337593543950336", "1234567890123456789012345678901",
                                   "-1.234567890123456789012345678901", "0.00000000000000000000000000001",
                                   "0.000000000000000000000000000010", "99999999999999999999999999999.0"});
    refused.insert(refused.end(), {"1-", "1.2-", "1\xB5", std::string{'\xB5', '1'}, "12.\xFF", "9:", "5.-"});
    const HostDecimal zero{};
    for (const std::string& text : refused) {
        HostDecimal value;
        std::memset(&value, 0xA5, sizeof value);
        EXPECT_EQ(kwshr_textToDecimal(&value, text.c_str()), 0) << text;
        EXPECT_EQ(std::memcmp(&value, &zero, sizeof value), 0) << text;
    }
    HostDecimal value;
    EXPECT_EQ(kwshr_textToDecimal(&value, nullptr), 0);
}

TEST(TrimTrailing, DropsOnlyTrailingCopiesOfTheCharacter) {
    const struct {
        const char* text;
        char character;
        const char* trimmed;
    } cases[] = {{"EMPNO   ", ' ', "EMPNO"}, {"   ", ' ', ""},  {"A B  ", ' ', "A B"},
                 {" lead", ' ', " lead"},    {"x..", '.', "x"}, {"", ' ', ""},
                 {"keep  ", '.', "keep  "}};
    for (const auto& test : cases) {
        std::string text = test.text;
        kwshr_trimTrailing(text.data(), test.character);
        EXPECT_STREQ(text.c_str(), test.trimmed) << '"' << test.text << '"';
    }
}

TEST(MakeSqlStringText, DoublesEverySingleQuoteInHostStorage) {
    const struct {
        const char* text;
        const char* quoted;
    } cases[] = {{"O'Brien", "O''Brien"},     {"''", "''''"}, {"plain", "plain"}, {"", ""}, {nullptr, ""},
                 {"'a' \"b\"", "''a'' \"b\""}};
    for (const auto& test : cases) {
        RequestBlock block{};
        block.arg = const_cast<char*>(test.text);
        kwshr_makeSqlStringText(&block);
        ASSERT_NE(+block.result, 0);
        EXPECT_STREQ(reinterpret_cast<const char*>(block.result), test.quoted);
        EXPECT_EQ(+block.arg, test.text) << "arg is the caller's";
    }
}

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
        const char *before, *key, *value, *after;  // after null: refused, the text unchanged
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
