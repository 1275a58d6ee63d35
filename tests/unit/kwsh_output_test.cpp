// kwsh_output_test.cpp - result sets as a person reads them (aligned) and as a program reads them (CSV).
#include <gtest/gtest.h>

#include <sstream>

#include "output.h"

namespace {

using kwsh::Format;
using kwsh::OutputRow;

std::string print(Format format, const std::vector<kwsh::OutputColumn>& columns,
                  const std::vector<OutputRow>& rows, bool complete = true) {
    std::ostringstream out;
    auto printer = kwsh::makePrinter(format, out);
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

}  // namespace
