// results_test.cpp - converting a fetched value in place: decimals, dates, times and timestamps
// written over the text DB-Library delivered in the same buffer, and a decimal the host decimal
// cannot hold left exactly as it was delivered.
#include <array>
#include <cstring>
#include <string>

#include "driver_block.h"

namespace {

constexpr unsigned char kFill = 0x5A;  // what the buffer holds past the delivered text

// A bound buffer as DB-Library leaves it: the text, its terminator, then whatever was there.
std::array<char, 160> delivered(const std::string& text) {
    std::array<char, 160> buffer;
    std::memset(buffer.data(), kFill, buffer.size());
    std::memcpy(buffer.data(), text.c_str(), text.size() + 1);
    return buffer;
}

// Texts longer than any the gateway sends convert as well as its own.
const std::string kLongZeros(70, '0');

TEST(ConvertValue, ADecimalIsWrittenOverItsTextAsTheHostDecimalOfThatText) {
    const std::string texts[] = {"1234.56",
                                 "-0.50",
                                 "0",
                                 "79228162514264337593543950335",
                                 "1.2345678901234567890123456789",
                                 kLongZeros + "12.5",
                                 "-" + kLongZeros + "7"};
    for (const std::string& text : texts) {
        SCOPED_TRACE(text);
        HostDecimal expected{};
        ASSERT_EQ(kwshr_textToDecimal(&expected, text.c_str()), 1);
        auto buffer = delivered(text);
        ASSERT_TRUE(TDX_ConvertValue(buffer.data(), HOST_DECIMAL));
        EXPECT_EQ(std::memcmp(buffer.data(), &expected, sizeof expected), 0);
    }
    // The values themselves, for two common shapes.
    auto buffer = delivered("-1234.56");
    ASSERT_TRUE(TDX_ConvertValue(buffer.data(), HOST_DECIMAL));
    HostDecimal value;
    std::memcpy(&value, buffer.data(), sizeof value);
    EXPECT_EQ(+value.scale, 2);
    EXPECT_EQ(+value.sign, KW_DECIMAL_NEGATIVE);
    EXPECT_EQ(value.high, 0u);
    EXPECT_EQ(value.low, 123456u);
}

TEST(ConvertValue, ADecimalTheHostDecimalCannotHoldLeavesTheBufferByteForByte) {
    const std::string texts[] = {"1234567890123456789012345678901", "-79228162514264337593543950336",
                                 "1" + kLongZeros, "12x", ""};
    for (const std::string& text : texts) {
        SCOPED_TRACE(text);
        HostDecimal probe{};
        ASSERT_EQ(kwshr_textToDecimal(&probe, text.c_str()), 0);
        const auto before = delivered(text);
        auto buffer = before;
        EXPECT_FALSE(TDX_ConvertValue(buffer.data(), HOST_DECIMAL));
        EXPECT_EQ(buffer, before);
    }
}

TEST(ConvertValue, DatesTimesAndTimestampsAreWrittenOverTheirTextAsParsed) {
    const struct {
        std::string text;
        int32_t kind;
    } cases[] = {
        {"2001-03-05", HOST_DATE},
        {"2001-03-05-07.43.54.000120", HOST_DATETIME},
        {"1999-12-31-23.59.58.999999", HOST_DATETIME},
        {"23.59.58", HOST_TIME},
        {"2001-3-5-7.43.54.12", HOST_DATETIME},  // not the gateway's own form
        {"2001-03-05-07.43.54.000120" + std::string(60, ' '), HOST_DATETIME},
        {"07:43:54" + std::string(70, ' '), HOST_TIME},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        DateTimeValue expected;
        TDX_ParseDateTime(&expected, c.text.c_str(), c.kind);
        auto buffer = delivered(c.text);
        ASSERT_TRUE(TDX_ConvertValue(buffer.data(), c.kind));
        EXPECT_EQ(std::memcmp(buffer.data(), &expected, sizeof expected), 0);
    }
    auto buffer = delivered("2001-03-05-07.43.54.000120");
    ASSERT_TRUE(TDX_ConvertValue(buffer.data(), HOST_DATETIME));
    DateTimeValue value;
    std::memcpy(&value, buffer.data(), sizeof value);
    EXPECT_EQ(value.year, 101);
    EXPECT_EQ(+value.month, 2);
    EXPECT_EQ(+value.day, 5);
    EXPECT_EQ(+value.hour, 7);
    EXPECT_EQ(+value.minute, 43);
    EXPECT_EQ(+value.second, 54);
    EXPECT_EQ(value.microseconds, 120u);
}

TEST(ConvertValue, ABufferOfItsBoundSizeConvertsAsItsTextAloneDoesWhateverItHeldBefore) {
    // The fetch knows how many bytes DB-Library may write into a bound buffer and lets the
    // conversion read that many; what an earlier row left behind the terminator must not count.
    const struct {
        std::string text, stale;
        int32_t kind;
        size_t size;
    } cases[] = {
        {"2001-03-05", "", HOST_DATE, 11},
        {"2001-03", "2001-03-05", HOST_DATE, 11},  // a shorter text over a longer one
        {"23.59.58", "", HOST_TIME, 16},
        {"23.59", "23.59.58", HOST_TIME, 16},
        {"2001-03-05-07.43.54.000120", "", HOST_DATETIME, 27},
        {"2001-03-05-07.43.54.12", "2001-03-05-07.43.54.000120", HOST_DATETIME, 27},
        {"2001-03-05", "2001-03-05-07.43.54.000120", HOST_DATETIME, 27},
        {"1234.56", "", HOST_DECIMAL, 44},
        {"-0.5", "-1234.56", HOST_DECIMAL, 44},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text + " over " + c.stale);
        auto expected = delivered(c.text);
        ASSERT_TRUE(TDX_ConvertValue(expected.data(), c.kind));
        auto buffer = delivered(c.stale);
        std::memcpy(buffer.data(), c.text.c_str(), c.text.size() + 1);
        ASSERT_TRUE(TDX_ConvertValueIn(buffer.data(), c.size, c.kind));
        const size_t converted = c.kind == HOST_DECIMAL ? sizeof(HostDecimal) : sizeof(DateTimeValue);
        EXPECT_EQ(std::memcmp(buffer.data(), expected.data(), converted), 0);
    }
    // The shorter date over the longer one is the date without its day.
    auto buffer = delivered("2001-03-05");
    std::memcpy(buffer.data(), "2001-03", 8);
    ASSERT_TRUE(TDX_ConvertValueIn(buffer.data(), 11, HOST_DATE));
    DateTimeValue value;
    std::memcpy(&value, buffer.data(), sizeof value);
    EXPECT_EQ(value.year, 101);
    EXPECT_EQ(+value.month, 2);
    EXPECT_EQ(+value.day, 0);
}

TEST(ConvertValue, OtherHostTypesLeaveTheBufferAsDelivered) {
    const auto before = delivered("hello");
    for (const int32_t hostType : {HOST_CHAR, HOST_INTEGER, HOST_SMALLINT, HOST_DOUBLE}) {
        auto buffer = before;
        EXPECT_TRUE(TDX_ConvertValue(buffer.data(), hostType));
        EXPECT_EQ(buffer, before) << "host type " << hostType;
    }
}

}  // namespace
