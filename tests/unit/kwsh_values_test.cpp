// kwsh_values_test.cpp - the host values a fetch leaves, as kwsh prints them, and result sets as
// a person reads them (aligned) and as a program reads them (CSV).
#include <gtest/gtest.h>

#include <clocale>
#include <cstring>
#include <sstream>
#include <vector>

#include "kwconst.h"
#include "kwshr.h"
#include "output.h"
#include "values.h"

namespace {

TEST(FormatDecimal, ReadsBackTheHostsTextsAndTheWholeNinetySixBitMantissa) {
    // Texts the host converted into a decimal, up to the 29 digits of the largest mantissa.
    for (const char* text :
         {"1234.56", "-0.50", "0.05", "42", "0", "-7", "100.000", "99999999999999999999.99",
          "9999999999999999999999999999", "-7.922816251426433759354395033", "79228162514264337593543950335",
          "-7.9228162514264337593543950335"}) {
        SCOPED_TRACE(text);
        HostDecimal value{};
        ASSERT_EQ(kwshr_textToDecimal(&value, text), 1);
        EXPECT_EQ(kwsh::formatDecimal(value), text);
    }
    HostDecimal value{};
    value.high = 0xFFFFFFFFu;
    value.low = ~uint64_t{0};
    EXPECT_EQ(kwsh::formatDecimal(value), "79228162514264337593543950335");
    value.scale = 28;
    value.sign = KW_DECIMAL_NEGATIVE;
    EXPECT_EQ(kwsh::formatDecimal(value), "-7.9228162514264337593543950335");
    value.high = 0;
    value.low = 0;
    value.scale = 2;
    EXPECT_EQ(kwsh::formatDecimal(value), "0.00") << "a negative zero reads as zero";
}

DateTimeValue dateTime(int year, int month, int day, int hour, int minute = 0, int second = 0,
                       uint32_t micro = 0) {
    DateTimeValue v{};
    v.year = static_cast<int16_t>(year < 0 ? KW_NO_DATE_PART : year - 1900);
    v.month = static_cast<uint8_t>(month - 1);
    v.day = static_cast<uint8_t>(day);
    v.hour = static_cast<uint8_t>(hour < 0 ? KW_NO_TIME_PART : hour);
    v.minute = static_cast<uint8_t>(minute);
    v.second = static_cast<uint8_t>(second);
    v.microseconds = micro;
    return v;
}

TEST(FormatDateTime, WritesDatesTimesAndTimestampsInDb2Forms) {
    EXPECT_EQ(kwsh::formatDateTime(dateTime(2001, 3, 5, -1)), "2001-03-05");
    EXPECT_EQ(kwsh::formatDateTime(dateTime(-1, 1, 0, 23, 59, 58)), "23.59.58");
    EXPECT_EQ(kwsh::formatDateTime(dateTime(2001, 3, 5, 7, 43, 54, 120)), "2001-03-05-07.43.54.000120");
    EXPECT_EQ(kwsh::formatDateTime(dateTime(1999, 12, 31, 0, 0, 0, 999999)), "1999-12-31-00.00.00.999999");
    EXPECT_EQ(kwsh::formatDateTime(dateTime(1, 1, 1, -1)), "0001-01-01");
}

// A fetch buffer of 44 bytes that starts with the value's bytes (a text's with its zero).
template <typename T>
std::vector<char> bytes(const T& value) {
    std::vector<char> buffer(std::max<size_t>(44, sizeof value), '\0');
    std::memcpy(buffer.data(), &value, sizeof value);
    return buffer;
}

TEST(FormatValue, ReadsEachHostTypeFromItsBuffer) {
    HostDecimal decimal{};
    kwshr_textToDecimal(&decimal, "-12.5");
    const struct {
        const char* claim;
        int32_t hostType;
        std::vector<char> buffer;
        int32_t indicator;
        std::optional<std::string> expected;
    } cases[] = {
        {"an integer", HOST_INTEGER, bytes(int32_t{-2147483647 - 1}), 0, "-2147483648"},
        {"a small integer", HOST_SMALLINT, bytes(int16_t{-32768}), 0, "-32768"},
        {"a double", HOST_DOUBLE, bytes(2.5), 0, "2.5"},
        {"a single float handed over as four bytes", HOST_REAL, bytes(0.25f), 0, "0.25"},
        {"a decimal", HOST_DECIMAL, bytes(decimal), 0, "-12.5"},
        {"a date", HOST_DATE, bytes(dateTime(2024, 2, 29, -1)), 0, "2024-02-29"},
        {"a text", HOST_CHAR, bytes("hello world"), 0, "hello world"},
        {"a long text", HOST_LONG_TEXT, bytes("a long text"), 0, "a long text"},
        {"a NULL", HOST_DECIMAL, bytes("Q"), -1, std::nullopt},
        // A row that came with a warning is not converted: its decimal is still the server's text.
        {"a decimal of a warned row", HOST_DECIMAL, bytes("1234.56"), 44, "1234.56"},
        {"a timestamp of a warned row", HOST_DATETIME, bytes("2001-03-05-07.43.54.000120"), 27,
         "2001-03-05-07.43.54.000120"},
        {"an integer of a warned row", HOST_INTEGER, bytes(int32_t{7}), 4, "7"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.claim);
        EXPECT_EQ(kwsh::formatValue(c.hostType, c.buffer.data(), c.indicator), c.expected);
    }
    // Doubles: the shortest text that reads back as the same value.
    EXPECT_EQ(kwsh::formatDouble(-0.125), "-0.125");
    EXPECT_EQ(kwsh::formatDouble(0.1), "0.1");
    EXPECT_EQ(kwsh::formatDouble(1e20), "1e+20");
    EXPECT_EQ(std::stod(kwsh::formatDouble(1.0 / 3.0)), 1.0 / 3.0);
}

TEST(DescribeType, NamesTheDb2TypeOfADescribedColumnAndTellsNumbers) {
    const struct {
        int32_t db2Type, hostType, length, precision, scale;
        const char* name;
    } cases[] = {
        {DB2_CHAR, HOST_CHAR, 11, 0, 0, "CHAR(10)"},
        {DB2_INTEGER, HOST_INTEGER, 4, 10, 0, "INTEGER"},
        {DB2_FLOAT, HOST_DOUBLE, 44, 0, 0, "FLOAT"},
        {DB2_LONG_VARCHAR, HOST_LONG_TEXT, 32701, 0, 0, "LONG VARCHAR"},
        {DB2_DECIMAL, HOST_DECIMAL, 44, 9, 2, "DECIMAL(9,2)"},
        {DB2_DECIMAL, HOST_DECIMAL, 44, 0, 2, "DECIMAL"},
        {DB2_TIME, HOST_TIME, 16, 0, 0, "TIME"},
        {DB2_TIMESTAMP, HOST_DATETIME, 27, 0, 0, "TIMESTAMP"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(kwsh::describeType(c.db2Type, c.hostType, c.length, c.precision, c.scale), c.name);
    }
    for (int32_t type : {HOST_INTEGER, HOST_SMALLINT, HOST_DOUBLE, HOST_DECIMAL, HOST_REAL}) {
        EXPECT_TRUE(kwsh::isNumeric(type)) << type;
    }
    for (int32_t type : {HOST_CHAR, HOST_VARCHAR, HOST_DATE, HOST_TIME, HOST_DATETIME, HOST_LONG_TEXT}) {
        EXPECT_FALSE(kwsh::isNumeric(type)) << type;
    }
}

using kwsh::Format;
using kwsh::OutputRow;

std::string print(Format format, const std::vector<kwsh::OutputColumn>& columns,
                  const std::vector<OutputRow>& rows, bool complete = true, bool rowCounts = true) {
    std::ostringstream out;
    auto printer = kwsh::makePrinter(format, out, rowCounts);
    printer->begin(columns);
    for (const OutputRow& row : rows) {
        printer->row(row);
    }
    printer->end(complete);
    return out.str();
}

TEST(AlignedOutput, SizesColumnsByCharactersKeepsRowsOnOneLineAndCountsThem) {
    EXPECT_EQ(print(Format::Aligned, {{"id", true}, {"name", false}, {"amount", true}},
                    {{"1", "Ann", "1234.56"}, {"22", "Bartholomew", std::nullopt}, {"3", "", "-0.50"}}),
              " id |    name     | amount\n"
              "----+-------------+---------\n"
              "  1 | Ann         | 1234.56\n"
              " 22 | Bartholomew | NULL\n"
              "  3 |             |   -0.50\n"
              "(3 rows)\n\n");
    EXPECT_EQ(print(Format::Aligned, {{"note", false}, {"n", true}},
                    {{"two\nlines\tand tab", "1"}, {"Grüße", "2"}}),
              "        note         | n\n"
              "---------------------+---\n"
              " two\\nlines\\tand tab | 1\n"
              " Grüße" +
                  std::string(15, ' ') +
                  "| 2\n"
                  "(2 rows)\n\n");
    EXPECT_EQ(print(Format::Aligned, {{"x", false}}, {}), " x\n---\n(0 rows)\n\n");
    EXPECT_EQ(print(Format::Aligned, {{"x", false}}, {{"a"}}, false),
              " x\n---\n a\n(1 row) (incomplete)\n\n");
    EXPECT_EQ(kwsh::rowCountLine(1, true), "(1 row affected)");
    EXPECT_EQ(kwsh::rowCountLine(12, true), "(12 rows affected)");
    EXPECT_EQ(kwsh::escapeForTable("a\r\nb"), "a\\r\\nb");
    EXPECT_EQ(kwsh::escapeForTable(std::string("bell\x07", 5)), "bell\\x07");
    EXPECT_EQ(kwsh::escapeForTable("naïve"), "naïve");
}

// kwsh measures text in the charset of its locale, UTF-8 here as at most terminals.
class Utf8Locale : public ::testing::Environment {
  public:
    void SetUp() override { ASSERT_NE(std::setlocale(LC_CTYPE, "C.UTF-8"), nullptr); }
};
[[maybe_unused]] const auto* const kUtf8Locale = ::testing::AddGlobalTestEnvironment(new Utf8Locale);

TEST(DisplayWidth, CountsTheColumnsATerminalGivesEachCharacter) {
    const struct {
        const char* claim;
        std::string text;
        size_t width;
    } cases[] = {
        {"nothing", "", 0},
        {"ASCII", "plain text", 10},
        {"letters of two bytes", "Grüße", 5},
        {"CJK ideographs are wide", "日本語", 6},
        {"Hangul is wide", "한국어", 6},
        {"full-width forms are wide, half-width ones are not", "Ａｱ", 3},
        {"an emoji is wide", "\xF0\x9F\x98\x80", 2},
        {"a combining accent takes no column", "e\xCC\x81te\xCC\x81", 3},
        {"a byte that starts no character counts one", "a\xFF\x62", 3},
        {"a sequence cut short counts one a byte", "ab\xE6\x97", 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.claim);
        EXPECT_EQ(kwsh::displayWidth(c.text), c.width);
    }
}

TEST(AlignedOutput, LinesUpWideAndCombiningCharactersAsTheTerminalShowsThem) {
    EXPECT_EQ(print(Format::Aligned, {{"name", false}, {"n", true}},
                    {{"日本語", "1"}, {"e\xCC\x81te\xCC\x81", "2"}, {"Grüße", "3"}}),
              "  name  | n\n"
              "--------+---\n"
              " 日本語 | 1\n"
              " e\xCC\x81te\xCC\x81    | 2\n"
              " Grüße  | 3\n"
              "(3 rows)\n\n");
}

TEST(AlignedOutput, LeavesOutTheRowCountWhenQuietButStillSaysATableIsIncomplete) {
    EXPECT_EQ(print(Format::Aligned, {{"x", false}}, {{"a"}}, true, false), " x\n---\n a\n\n");
    EXPECT_EQ(print(Format::Aligned, {{"x", false}}, {{"a"}}, false, false), " x\n---\n a\n(incomplete)\n\n");
}

TEST(CsvOutput, QuotesOnlyWhatNeedsItAndTellsNullFromEmpty) {
    EXPECT_EQ(print(Format::Csv, {{"id", true}, {"text", false}},
                    {{"1", "plain"},
                     {"2", "with, comma"},
                     {"3", "say \"hi\""},
                     {"4", "two\nlines"},
                     {"5", ""},
                     {"6", std::nullopt}}),
              "id,text\n1,plain\n2,\"with, comma\"\n3,\"say \"\"hi\"\"\"\n4,\"two\nlines\"\n5,\"\"\n6,\n");
    // The result sets of one statement are apart by an empty line.
    std::ostringstream out;
    auto printer = kwsh::makePrinter(Format::Csv, out);
    printer->begin({{"a", false}});
    printer->row({"1"});
    printer->end(true);
    printer->begin({{"b", false}, {"c", false}});
    printer->row({"x", "y"});
    printer->end(true);
    EXPECT_EQ(out.str(), "a\n1\n\nb,c\nx,y\n");
}

std::string printWith(const kwsh::PrintOptions& options, const std::vector<kwsh::OutputColumn>& columns,
                      const std::vector<OutputRow>& rows, bool complete = true) {
    std::ostringstream out;
    auto printer = kwsh::makePrinter(options, out);
    printer->begin(columns);
    for (const OutputRow& row : rows) {
        printer->row(row);
    }
    printer->end(complete);
    return out.str();
}

kwsh::PrintOptions expandedOptions(kwsh::Expanded expanded, size_t screenWidth = 0) {
    kwsh::PrintOptions options;
    options.expanded = expanded;
    options.screenWidth = screenWidth;
    return options;
}

TEST(ExpandedOutput, ShowsEachRowAsARecordWithNamesPaddedAndTheRuleAsWideAsTheWidestLine) {
    const kwsh::PrintOptions on = expandedOptions(kwsh::Expanded::On);
    const std::vector<kwsh::OutputColumn> idName = {{"id", true}, {"name", false}}, x = {{"x", false}};
    // Short values: the record line alone.
    EXPECT_EQ(printWith(on, idName, {{"1", "Ann"}, {"22", std::nullopt}}),
              "-[ RECORD 1 ]\nid   | 1\nname | Ann\n-[ RECORD 2 ]\nid   | 22\nname | NULL\n\n");
    // A long value draws the rule out, numbers stay on the left, blanks at the end go.
    EXPECT_EQ(printWith(on, idName, {{"7", "Bartholomew"}, {"8", ""}}),
              "-[ RECORD 1 ]-----\nid   | 7\nname | Bartholomew\n-[ RECORD 2 ]-----\nid   | 8\nname |\n\n");
    EXPECT_EQ(printWith(on, {{"名前", false}, {"n", true}}, {{"日本語", "1"}}),
              "-[ RECORD 1 ]\n名前 | 日本語\nn    | 1\n\n")
        << "wide characters take two columns";
    EXPECT_EQ(printWith(on, {{"note", false}}, {{"a\nb"}}), "-[ RECORD 1 ]\nnote | a\\nb\n\n")
        << "escapes keep one value on one line";
    EXPECT_EQ(printWith(on, x, {}), "(0 rows)\n\n");
    EXPECT_EQ(printWith(on, x, {{"a"}}, false), "-[ RECORD 1 ]\nx | a\n(incomplete)\n\n")
        << "an interrupted fetch says so";
}

TEST(ExpandedOutput, AutoExpandsExactlyTheTablesWiderThanTheScreen) {
    // The aligned table is 25 columns wide: its rule is 12 + 1 + 12.
    const std::vector<kwsh::OutputColumn> columns = {{"a", false}, {"b", false}};
    const std::vector<OutputRow> rows = {{"aaaaaaaaaa", "bbbbbbbbbb"}};
    const std::string table =
        "     a      |     b\n------------+------------\n aaaaaaaaaa | bbbbbbbbbb\n(1 row)\n\n";
    const std::string records = "-[ RECORD 1 ]-\na | aaaaaaaaaa\nb | bbbbbbbbbb\n\n";
    EXPECT_EQ(printWith(expandedOptions(kwsh::Expanded::Auto, 25), columns, rows), table);
    EXPECT_EQ(printWith(expandedOptions(kwsh::Expanded::Auto, 24), columns, rows), records);
    EXPECT_EQ(printWith(expandedOptions(kwsh::Expanded::Auto, 0), columns, rows), table)
        << "no screen (a file, a pipe): never expanded";
    EXPECT_EQ(printWith(expandedOptions(kwsh::Expanded::Off, 10), columns, rows), table);
}

TEST(NullText, ReplacesNullInTablesRecordsAndUnalignedOutputButNeverInCsv) {
    kwsh::PrintOptions options;
    options.nullText = "(null)";
    const std::vector<kwsh::OutputColumn> columns = {{"n", true}, {"t", false}};
    const std::vector<OutputRow> rows = {{"12345678", ""}, {std::nullopt, std::nullopt}};
    EXPECT_EQ(printWith(options, columns, rows),
              "    n     |   t\n----------+--------\n 12345678 |\n (null)   | (null)\n(2 rows)\n\n")
        << "NULL stays on the left of a number column";
    options.expanded = kwsh::Expanded::On;
    EXPECT_EQ(printWith(options, columns, rows),
              "-[ RECORD 1 ]\nn | 12345678\nt |\n-[ RECORD 2 ]\nn | (null)\nt | (null)\n\n");
    options.format = kwsh::Format::Unaligned;
    EXPECT_EQ(printWith(options, columns, rows), "n|t\n12345678|\n(null)|(null)\n(2 rows)\n\n");
    options.format = kwsh::Format::Csv;
    EXPECT_EQ(printWith(options, columns, rows), "n,t\n12345678,\"\"\n,\n");
}

TEST(UnalignedOutput, PutsBarsBetweenFieldsEscapesLineBreaksAndCountsRows) {
    kwsh::PrintOptions options;
    options.format = kwsh::Format::Unaligned;
    EXPECT_EQ(printWith(options, {{"id", true}, {"note", false}}, {{"1", "two\nlines"}, {"22", "x|y"}}),
              "id|note\n1|two\\nlines\n22|x|y\n(2 rows)\n\n");
    options.rowCounts = false;
    EXPECT_EQ(printWith(options, {{"x", false}}, {{"a"}}, false), "x\na\n(incomplete)\n\n");
    for (const auto format : {Format::Aligned, Format::Csv, Format::Unaligned}) {
        EXPECT_EQ(kwsh::formatNamed(kwsh::formatName(format)), format);
    }
    EXPECT_EQ(kwsh::formatNamed("wrapped"), std::nullopt);
}

}  // namespace
