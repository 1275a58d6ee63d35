// kwsh_input_test.cpp - where kwsh's lines come from, and what a person types split into the
// statements and commands kwsh runs.
#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

#include "input.h"
#include "terminal.h"

namespace {

using kwsh::InputItem;
using Kind = InputItem::Kind;

TEST(StreamReader, GivesEachLineWithoutItsBreakAlsoForWindowsLineEnds) {
    std::istringstream in("SELECT 1;\r\n\nlast line without a break");
    const kwsh::LineReader read = kwsh::streamReader(in);
    EXPECT_EQ(read("ignored> "), "SELECT 1;");
    EXPECT_EQ(read(""), "");
    EXPECT_EQ(read(""), "last line without a break");
    EXPECT_EQ(read(""), std::nullopt);
    EXPECT_EQ(read(""), std::nullopt) << "and stays at the end";
}

TEST(DefaultHistoryFile, IsKwshHistoryElseAFileInTheHomeFolder) {
    setenv("KWSH_HISTORY", "somewhere/history", 1);
    EXPECT_EQ(kwsh::defaultHistoryFile(), "somewhere/history");
    unsetenv("KWSH_HISTORY");
    setenv("HOME", "home/of/joe", 1);
    EXPECT_EQ(kwsh::defaultHistoryFile(), "home/of/joe/.kwsh_history");
}

// The items of an input as "LINE: TEXT", a command's text with its backslash again.
std::vector<std::string> split(const std::string& input) {
    kwsh::InputSplitter splitter;
    std::istringstream lines(input);
    std::vector<std::string> items;
    auto add = [&items](const InputItem& item) {
        items.push_back(std::to_string(item.line) + ": " + (item.kind == Kind::Command ? "\\" : "") +
                        item.text);
    };
    int number = 0;
    for (std::string line; std::getline(lines, line);) {
        for (const InputItem& item : splitter.feed(line, ++number)) {
            add(item);
        }
    }
    if (auto last = splitter.finish()) {
        add(*last);
    }
    return items;
}

TEST(InputSplitter, EndsStatementsAtSemicolonsAndGoLinesKeepsQuotedTextAndTakesCommentsOut) {
    const struct {
        const char* claim;
        std::string input;
        std::vector<std::string> items;
    } cases[] = {
        {"one statement", "SELECT 1;", {"1: SELECT 1"}},
        {"two on one line", "SELECT 1; SELECT 2;", {"1: SELECT 1", "1: SELECT 2"}},
        {"a statement over lines keeps its line breaks and its first line",
         "\n  SELECT A,\n         B\n  FROM T;",
         {"2: SELECT A,\n         B\n  FROM T"}},
        {"a go line ends a statement", "SELECT 1\ngo\nselect 2\n  GO  ", {"1: SELECT 1", "3: select 2"}},
        {"the end of the input ends an open statement", "SELECT 1", {"1: SELECT 1"}},
        {"a command line between statements",
         "\\connect KWGW JOE pw\nSELECT 1;\n  \\commit",
         {"1: \\connect KWGW JOE pw", "2: SELECT 1", "3: \\commit"}},
        {"empty statements and blank lines give nothing", ";;\n\n   \n;", {}},
        {"a semicolon inside a quoted text",
         "INSERT INTO T VALUES ('a;b');",
         {"1: INSERT INTO T VALUES ('a;b')"}},
        {"a doubled quote does not end the text",
         "SELECT 'it''s; fine' FROM T;",
         {"1: SELECT 'it''s; fine' FROM T"}},
        {"a quoted name", "SELECT \"A;B\" FROM T;", {"1: SELECT \"A;B\" FROM T"}},
        {"a quoted text over two lines", "SELECT 'one\ntwo';", {"1: SELECT 'one\ntwo'"}},
        {"line comments", "-- about it\nSELECT 1 -- the answer; not a terminator\n;", {"2: SELECT 1"}},
        {"comment markers inside quotes are text", "SELECT '--x', '/*y*/';", {"1: SELECT '--x', '/*y*/'"}},
        {"block comments, also over lines", "SELECT /* a; b */ 1 /* c\n; d */ + 2;", {"1: SELECT   1   + 2"}},
        {"a backslash inside a statement is text", "SELECT\n\\x\n;", {"1: SELECT\n\\x"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.claim);
        EXPECT_EQ(split(c.input), c.items);
    }
}

TEST(InputSplitter, TellsWhetherAStatementIsOpen) {
    kwsh::InputSplitter splitter;
    EXPECT_FALSE(splitter.open());
    splitter.feed("SELECT", 1);
    EXPECT_TRUE(splitter.open());
    EXPECT_EQ(splitter.feed("1;", 2).size(), 1u);
    EXPECT_FALSE(splitter.open());
    splitter.feed("SELECT 'unclosed", 3);
    EXPECT_TRUE(splitter.open());
    splitter.reset();
    EXPECT_FALSE(splitter.open());
    EXPECT_EQ(splitter.feed("\\q", 4).front().kind, Kind::Command);
}

}  // namespace
