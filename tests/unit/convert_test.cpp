// convert_test.cpp - DB2 date, time and timestamp texts into the host's DateTimeValue and back
// into literals (request 49), the identifier test (request 19) and the widening of long integer
// literals (requests 222 and 251).
#include <algorithm>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "driver_block.h"

namespace {

constexpr int kNoDate = KW_NO_DATE_PART;
constexpr int kNoTime = KW_NO_TIME_PART;

// year - 1900 (or the no-date marker), month - 1, day, hour (or the no-time marker), minute,
// second, microseconds.
using Fields = std::tuple<int, int, int, int, int, int, uint32_t>;

Fields fields(const DateTimeValue& v) {
    return {+v.year, +v.month, +v.day, +v.hour, +v.minute, +v.second, +v.microseconds};
}

DateTimeValue parse(const char* text, int32_t kind, unsigned char fill = 0x5A) {
    DateTimeValue v;
    std::memset(&v, fill, sizeof v);
    TDX_ParseDateTime(&v, text, kind);
    return v;
}

TEST(ParseDateTime, TheGatewaysFixedFormsAndTheirLooserSpellingsReadAlike) {
    // The gateway's own forms are read on a short path; the same values written without leading
    // zeros, with colons or with a blank take the general one. Both must agree to the byte.
    const struct {
        const char *canonical, *loose;
        int32_t kind;
    } cases[] = {
        {"2001-03-05", "2001-3-5", HOST_DATE},
        {"0001-01-01", "1-1-1", HOST_DATE},
        {"9999-12-31", "9999-12-31 ", HOST_DATE},
        {"07.43.54", "7:43:54", HOST_TIME},
        {"00.00.00", "0.0.0", HOST_TIME},
        {"2001-03-05-07.43.54.000120", "2001-3-5 7:43:54.00012", HOST_DATETIME},
        {"1999-12-31-23.59.58.999999", "1999-12-31-23.59.58.999999 ", HOST_DATETIME},
        {"2000-01-01-00.00.00.000000", "2000-1-1-0.0.0", HOST_DATETIME},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.canonical);
        const DateTimeValue fast = parse(c.canonical, c.kind, 0x11), general = parse(c.loose, c.kind, 0x22);
        EXPECT_EQ(std::memcmp(&fast, &general, sizeof fast), 0);
    }
}

TEST(ParseDateTime, NumbersTooLargeForTheirFieldsAreReadWithoutFaultAndTheRestStillCounts) {
    // A year past 31 bits once overflowed a signed subtraction; each field wraps instead, and the
    // fields after it are read as usual.
    const char* texts[] = {
        "2147483648-02-03-04.05.06.7",
        "2147485547-02-03-04.05.06.7",
        "4294967295-02-03-04.05.06.7",
        "99999999999999999999-02-03-04.05.06.7",
    };
    for (const char* text : texts) {
        SCOPED_TRACE(text);
        const DateTimeValue v = parse(text, HOST_DATETIME);
        EXPECT_EQ(fields(v), Fields(+v.year, 1, 3, 4, 5, 6, 700000));
    }
}

// The date, time and timestamp texts as DB2 writes them, one of each kind, and the buffer sizes
// their columns are bound with.
struct FixedForm {
    const char* text;
    int32_t kind;
    size_t boundSize;
};
constexpr FixedForm kForms[] = {
    {"2001-03-05", HOST_DATE, 11},
    {"07.43.54", HOST_TIME, 16},
    {"2001-03-05-07.43.54.000120", HOST_DATETIME, 27},
};

// `text` in a buffer of `size` bytes whose bytes past the text's terminator still hold `stale`
// from there on, as a bound buffer holds what an earlier row left.
std::vector<char> inBuffer(const std::string& text, const std::string& stale, size_t size) {
    std::vector<char> buffer(size, '\x5A');
    std::memcpy(buffer.data(), stale.c_str(), std::min(stale.size() + 1, size));
    std::memcpy(buffer.data(), text.c_str(), text.size() + 1);
    return buffer;
}

DateTimeValue parseIn(const std::vector<char>& buffer, int32_t kind) {
    DateTimeValue v;
    std::memset(&v, 0xA5, sizeof v);
    TDX_ParseDateTimeIn(&v, buffer.data(), buffer.size(), kind);
    return v;
}

// The reading rules of a date, time or timestamp text, step by step: numbers up to the first
// non-digit (wrapping like unsigned 32-bit numbers), each field up to its separators, at most six
// digits of a fraction.
Fields readByTheRules(const std::string& text, int32_t kind) {
    size_t at = 0;
    auto atEnd = [&] { return at >= text.size(); };
    auto number = [&] {
        uint32_t value = 0;
        for (; !atEnd() && text[at] >= '0' && text[at] <= '9'; ++at) {
            value = value * 10 + static_cast<uint32_t>(text[at] - '0');
        }
        return value;
    };
    auto skipTo = [&](const char* separators) {
        while (!atEnd() && std::strchr(separators, text[at]) == nullptr) {
            ++at;
        }
    };
    auto stepOver = [&] {
        if (atEnd()) {
            return false;
        }
        ++at;
        return true;
    };
    int year = kind == HOST_TIME ? kNoDate : 0, month = 0, day = 0;
    int hour = kind == HOST_DATE ? kNoTime : 0, minute = 0, second = 0;
    uint32_t microseconds = 0;
    if ((kind == HOST_DATE || kind == HOST_DATETIME) && !atEnd()) {
        year = static_cast<int16_t>(number() - 1900u);
        skipTo("-");
        if (stepOver()) {
            month = static_cast<uint8_t>(number() - 1u);
            skipTo("-");
            if (stepOver()) {
                day = static_cast<uint8_t>(number());
                skipTo(" -");
                stepOver();
            }
        }
    }
    if ((kind == HOST_TIME || kind == HOST_DATETIME) && !atEnd()) {
        hour = static_cast<uint8_t>(number());
        skipTo(":.");
        if (stepOver()) {
            minute = static_cast<uint8_t>(number());
            skipTo(":.");
            if (stepOver()) {
                second = static_cast<uint8_t>(number());
                skipTo(".");
            }
        }
    }
    if (!atEnd() && text[at] == '.') {
        ++at;
        uint32_t scale = 1000000, digits = 0;
        for (int n = 0; n < 6 && !atEnd() && text[at] >= '0' && text[at] <= '9'; ++n, ++at) {
            digits = digits * 10 + static_cast<uint32_t>(text[at] - '0');
            scale /= 10;
        }
        microseconds = scale * digits;
    }
    return {year, month, day, hour, minute, second, microseconds};
}

TEST(ParseDateTime, ReadsTheGatewaysTextsAloneAndInABoundBufferUpToTheirLimits) {
    const struct {
        const char* text;
        int32_t kind;
        Fields value;
    } cases[] = {
        {"2001-03-05", HOST_DATE, {101, 2, 5, kNoTime, 0, 0, 0}},
        {"1899-12-31", HOST_DATE, {-1, 11, 31, kNoTime, 0, 0, 0}},
        {"23.59.58", HOST_TIME, {kNoDate, 0, 0, 23, 59, 58, 0}},
        {"07:43:54", HOST_TIME, {kNoDate, 0, 0, 7, 43, 54, 0}},  // colons work as well
        {"24.00.00", HOST_TIME, {kNoDate, 0, 0, 24, 0, 0, 0}},
        {"2001-03-05-07.43.54", HOST_DATETIME, {101, 2, 5, 7, 43, 54, 0}},         // no fraction
        {"2001-03-05-07.43.54.5", HOST_DATETIME, {101, 2, 5, 7, 43, 54, 500000}},  // one digit
        {"2001-03-05-07.43.54.000001", HOST_DATETIME, {101, 2, 5, 7, 43, 54, 1}},  // six digits
        {"2001-03-05-07.43.54.000120", HOST_DATETIME, {101, 2, 5, 7, 43, 54, 120}},
        {"2001-03-05-07.43.54.1234567", HOST_DATETIME, {101, 2, 5, 7, 43, 54, 123456}},  // the 7th is ignored
        {"2001-03-05 07:43:54.25", HOST_DATETIME, {101, 2, 5, 7, 43, 54, 250000}},       // blank and colons
        {"2001-03-05", HOST_DATETIME, {101, 2, 5, 0, 0, 0, 0}},  // a timestamp with only its date
        {"", HOST_DATE, {0, 0, 0, kNoTime, 0, 0, 0}},
        {"", HOST_TIME, {kNoDate, 0, 0, 0, 0, 0, 0}},
        // Almost-fixed texts are not misread: a letter in a digit's place, a long or a short text.
        {"2001-03-0x", HOST_DATE, {101, 2, 0, kNoTime, 0, 0, 0}},
        {"2001-03-05x", HOST_DATE, {101, 2, 5, kNoTime, 0, 0, 0}},
        {"2001-03", HOST_DATE, {101, 2, 0, kNoTime, 0, 0, 0}},
        // The fixed forms up to their limits.
        {"0001-01-01", HOST_DATE, {-1899, 0, 1, kNoTime, 0, 0, 0}},
        {"1900-01-01", HOST_DATE, {0, 0, 1, kNoTime, 0, 0, 0}},
        {"2000-02-29", HOST_DATE, {100, 1, 29, kNoTime, 0, 0, 0}},
        {"9999-12-31", HOST_DATE, {8099, 11, 31, kNoTime, 0, 0, 0}},
        {"00.00.00", HOST_TIME, {kNoDate, 0, 0, 0, 0, 0, 0}},
        {"23.59.59", HOST_TIME, {kNoDate, 0, 0, 23, 59, 59, 0}},
        {"24.00.00", HOST_TIME, {kNoDate, 0, 0, 24, 0, 0, 0}},
        {"0001-01-01-00.00.00.000000", HOST_DATETIME, {-1899, 0, 1, 0, 0, 0, 0}},
        {"9999-12-31-23.59.59.999999", HOST_DATETIME, {8099, 11, 31, 23, 59, 59, 999999}},
        {"2001-03-05-07.43.54.000001", HOST_DATETIME, {101, 2, 5, 7, 43, 54, 1}},
        {"2001-03-05-07.43.54.100000", HOST_DATETIME, {101, 2, 5, 7, 43, 54, 100000}},
        {"2001-03-05-07.43.54.010203", HOST_DATETIME, {101, 2, 5, 7, 43, 54, 10203}},
        // Digits a calendar refuses are still read as written.
        {"2001-00-99-99.99.99.999999", HOST_DATETIME, {101, 255, 99, 99, 99, 99, 999999}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.text) + " as kind " + std::to_string(c.kind));
        const DateTimeValue v = parse(c.text, c.kind);
        EXPECT_EQ(fields(v), c.value) << "as a text alone";
        EXPECT_EQ(+v.zero, 0);
        const size_t exact = std::strlen(c.text) + 1;
        for (size_t size : {exact, exact + 1, size_t{44}}) {
            const DateTimeValue in = parseIn(inBuffer(c.text, "", size), c.kind);
            EXPECT_EQ(fields(in), c.value) << "in a buffer of " << size;
            EXPECT_EQ(+in.zero, 0);
        }
    }
}

TEST(ParseDateTime, ATextThatDiffersFromAFixedFormInAnyByteIsReadByTheRulesEvenOverAStaleForm) {
    // Every byte of each form, its terminator included, replaced in turn by a byte that is not
    // the form's there: a neighbour of the digits, another separator, a letter, a blank, a byte
    // above 127 (also one that looks like a digit in its low bits), and the terminator, which
    // cuts the text short over the rest of the form left in the buffer from an earlier row.
    const unsigned char replacements[] = {'/', ':', '.', '-', ' ', 'a', '5', 0x80, 0xB3, 0xFF, '\0'};
    for (const FixedForm& form : kForms) {
        const std::string canonical = form.text;
        for (size_t at = 0; at <= canonical.size(); ++at) {
            for (unsigned char r : replacements) {
                std::string text = canonical;
                if (at == canonical.size()) {
                    if (r == '\0') {
                        continue;
                    }
                    text += static_cast<char>(r);  // one byte too long
                } else if (r == '\0') {
                    text.resize(at);
                } else {
                    text[at] = static_cast<char>(r);
                }
                SCOPED_TRACE("kind " + std::to_string(form.kind) + ", byte " + std::to_string(at) + " made " +
                             std::to_string(r) + ": " + text);
                const Fields expected = readByTheRules(text, form.kind);
                const size_t size = std::max(form.boundSize, text.size() + 1);
                EXPECT_EQ(fields(parseIn(inBuffer(text, canonical, size), form.kind)), expected);
                EXPECT_EQ(fields(parse(text.c_str(), form.kind)), expected) << "as a text alone";
            }
        }
    }
}

TEST(ParseDateTime, ABufferTooSmallForTheFormOrNoneAtAllIsReadAsItsTextAlone) {
    for (const FixedForm& form : kForms) {
        SCOPED_TRACE(form.text);
        const std::string text = form.text;
        const Fields expected = readByTheRules(text, form.kind);
        // A size below the form's is no promise of more bytes: only the text is read.
        for (size_t size : {size_t{0}, text.size()}) {
            DateTimeValue v;
            TDX_ParseDateTimeIn(&v, text.c_str(), size, form.kind);
            EXPECT_EQ(fields(v), expected) << "size " << size;
        }
        DateTimeValue empty;
        TDX_ParseDateTimeIn(&empty, nullptr, 64, form.kind);
        EXPECT_EQ(fields(empty), readByTheRules("", form.kind));
    }
}

class LiteralTest : public DriverBlockTest {};

TEST_F(LiteralTest, Request49WritesDb2LiteralsWithoutLeadingZerosWhereDb2AllowsThem) {
    ConnectionRecord connection{};
    block.connection = &connection;
    // Fields in record order: microseconds, year - 1900, month - 1, day, hour, minute, second.
    const struct {
        DateTimeValue value;
        const char* literal;
    } cases[] = {
        {{120, 101, 2, 5, 7, 43, 54, 0}, "'2001-3-5-7.43.54.000120'"},
        {{0, 101, 2, 5, kNoTime, 0, 0, 0}, "'2001-3-5'"},
        {{999, kNoDate, 0, 0, 7, 43, 54, 0}, "'7.43.54'"},  // a time has no fraction
        {{999999, 99, 11, 31, 23, 5, 9, 0}, "'1999-12-31-23.05.09.999999'"},
        {{0, 101, 0, 1, 0, 0, 0, 0}, "'2001-1-1-0.00.00.000000'"},
        {{1000000, kNoDate, 0, 0, 1, 2, 3, 0}, "'1.02.03'"},  // a time alone writes no fraction
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.literal);
        block.arg = const_cast<DateTimeValue*>(&c.value);
        route(REQ_DATETIME_LITERAL);
        EXPECT_EQ(+block.status, KW_STATUS_OK);
        EXPECT_EQ(+block.result, reinterpret_cast<intptr_t>(connection.literalBuffer));
        EXPECT_STREQ(reinterpret_cast<const char*>(block.result), c.literal);
    }

    // A fraction of a second or more would be cut to another instant: it is refused, and the
    // message names the value.
    for (uint32_t fraction : {1000000u, 12345678u, 0xFFFFFFFFu}) {
        SCOPED_TRACE(fraction);
        const DateTimeValue value{fraction, 101, 0, 1, 0, 0, 0, 0};
        block.arg = const_cast<DateTimeValue*>(&value);
        block.result = 0;
        route(REQ_DATETIME_LITERAL);
        EXPECT_EQ(+block.status, KW_STATUS_DRIVER_FAILURE);
        EXPECT_EQ(+block.result, 0);
        EXPECT_NE(std::string(block.message).find(std::to_string(fraction) + " microseconds"),
                  std::string::npos)
            << block.message;
    }

    // Without a connection record there is no buffer for the literal.
    block.connection = nullptr;
    route(REQ_DATETIME_LITERAL);
    EXPECT_EQ(+block.status, KW_STATUS_DRIVER_FAILURE);
    EXPECT_EQ(+block.result, 0);
}

class IdentifierTest : public DriverBlockTest {};

TEST_F(IdentifierTest, Request19AcceptsDb2OrdinaryIdentifiersOnly) {
    const struct {
        const char* text;
        int32_t status;
    } cases[] = {
        {"a", 0},   {"EMP", 0}, {"_x", 0},          {"emp#no", 0},
        {"a$b", 0}, {"a_1", 0}, {"\xC4nderung", 0},  // bytes of 128 and above count as letters
        {"1a", 1},  {"#a", 1},  {"$a", 1},          {"", 1},
        {"a b", 1}, {"a-b", 1}, {"a.b", 1},         {"a@b", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        block.arg = const_cast<char*>(c.text);
        route(REQ_IS_IDENTIFIER);
        EXPECT_EQ(+block.status, c.status);
        EXPECT_EQ(+block.sqlCode, c.status == 0 ? 0 : 100);
    }
}

TEST_F(IdentifierTest, Requests222And251WidenIntegerLiteralsOfTenOrMoreCharacters) {
    const struct {
        const char *text, *widened;
    } cases[] = {
        {"123456789", "123456789"},        // 9 digits: unchanged
        {"1234567890", "1234567890.0"},    // 10
        {"12345678901", "12345678901.0"},  // 11
        {"-123456789", "-123456789.0"},    // 10 characters with the sign
        {"12345678.901", "12345678.901"},  // a point: unchanged
        {"", ""},
    };
    for (int32_t code : {REQ_WIDEN_LITERAL_222, REQ_WIDEN_LITERAL_251}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.text) + " by request " + std::to_string(code));
            char text[32] = {};
            std::strcpy(text, c.text);
            block.arg = text;
            route(code);
            EXPECT_EQ(+block.status, 0);
            EXPECT_STREQ(text, c.widened);
        }
    }
}

}  // namespace
