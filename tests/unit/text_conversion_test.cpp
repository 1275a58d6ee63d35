// Text services: decimal text into the 16-byte host decimal, trailing trimming, quote doubling.
#include <cstring>
#include <string>
#include <vector>

#include "kwconst.h"
#include "kwshr_fixture.h"

namespace {

TEST(TextToDecimal, ConvertsSignsScalesAndUpToTwentyEightDigitsAndRefusesAllElseAsZero) {
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
    };
    for (const auto& test : cases) {
        HostDecimal value;
        std::memset(&value, 0xA5, sizeof value);
        ASSERT_EQ(kwshr_textToDecimal(&value, test.text), 1) << test.text;
        EXPECT_EQ(value.reserved, 0) << test.text;
        EXPECT_EQ(value.scale, test.scale) << test.text;
        EXPECT_EQ(value.sign, test.negative ? KW_DECIMAL_NEGATIVE : 0) << test.text;
        EXPECT_EQ(value.high, test.high) << test.text;
        EXPECT_EQ(value.low, test.low) << test.text;
    }
    // Texts that are no such number, then 29 digits, 29 digits of which 28 after the point, scale 29.
    std::vector<std::string> refused = {"",    "   ", "-",   "+",    ".",   "-.",  "1.2.3", "1e5",
                                        "12a", "- 5", "1 2", "0x10", "--1", "1,5", "\u0661"};
    refused.insert(refused.end(), {"12345678901234567890123456789", "1.0000000000000000000000000000",
                                   "0.00000000000000000000000000001"});
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

}  // namespace
