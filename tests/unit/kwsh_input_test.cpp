// kwsh_input_test.cpp - what a person types, split into the statements and commands kwsh runs.
#include <gtest/gtest.h>

#include <sstream>

#include "input.h"

namespace {

using kwsh::InputItem;
using Kind = InputItem::Kind;

struct Item {
    Kind kind;
    std::string text;
    int line;
    bool operator==(const Item&) const = default;
};

void PrintTo(const Item& item, std::ostream* os) {
    *os << (item.kind == Kind::Command ? "command " : "statement ") << '"' << item.text << "\" @"
        << item.line;
}

std::vector<Item> split(const std::string& input) {
    kwsh::InputSplitter splitter;
    std::istringstream lines(input);
    std::vector<Item> items;
    std::string line;
    int number = 0;
    while (std::getline(lines, line)) {
        for (const InputItem& item : splitter.feed(line, ++number)) {
            items.push_back({item.kind, item.text, item.line});
        }
    }
    if (auto last = splitter.finish()) {
        items.push_back({last->kind, last->text, last->line});
    }
    return items;
}

TEST(InputSplitter, EndsStatementsAtSemicolonsAndGoLinesAndKeepsCommandsApart) {
    const struct {
        const char* claim;
        std::string input;
        std::vector<Item> items;
    } cases[] = {
        {"one statement", "SELECT 1;", {{Kind::Statement, "SELECT 1", 1}}},
        {"two on one line",
         "SELECT 1; SELECT 2;",
         {{Kind::Statement, "SELECT 1", 1}, {Kind::Statement, "SELECT 2", 1}}},
        {"a statement over lines keeps its line breaks and its first line",
         "\n  SELECT A,\n         B\n  FROM T;",
         {{Kind::Statement, "SELECT A,\n         B\n  FROM T", 2}}},
        {"a go line ends a statement",
         "SELECT 1\ngo\nselect 2\n  GO  ",
         {{Kind::Statement, "SELECT 1", 1}, {Kind::Statement, "select 2", 3}}},
        {"the end of the input ends an open statement", "SELECT 1", {{Kind::Statement, "SELECT 1", 1}}},
        {"a command line between statements",
         "\\connect KWGW JOE pw\nSELECT 1;\n  \\commit",
         {{Kind::Command, "connect KWGW JOE pw", 1},
          {Kind::Statement, "SELECT 1", 2},
          {Kind::Command, "commit", 3}}},
        {"empty statements and blank lines give nothing", ";;\n\n   \n;", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.claim);
        EXPECT_EQ(split(c.input), c.items);
    }
}

TEST(InputSplitter, KeepsQuotedTextExactlyAndTakesCommentsOut) {
    const struct {
        const char* claim;
        std::string input;
        std::vector<Item> items;
    } cases[] = {
        {"a semicolon inside a quoted text",
         "INSERT INTO T VALUES ('a;b');",
         {{Kind::Statement, "INSERT INTO T VALUES ('a;b')", 1}}},
        {"a doubled quote does not end the text",
         "SELECT 'it''s; fine' FROM T;",
         {{Kind::Statement, "SELECT 'it''s; fine' FROM T", 1}}},
        {"a quoted name", "SELECT \"A;B\" FROM T;", {{Kind::Statement, "SELECT \"A;B\" FROM T", 1}}},
        {"a quoted text over two lines", "SELECT 'one\ntwo';", {{Kind::Statement, "SELECT 'one\ntwo'", 1}}},
        {"line comments",
         "-- about it\nSELECT 1 -- the answer; not a terminator\n;",
         {{Kind::Statement, "SELECT 1", 2}}},
        {"comment markers inside quotes are text",
         "SELECT '--x', '/*y*/';",
         {{Kind::Statement, "SELECT '--x', '/*y*/'", 1}}},
        {"block comments, also over lines",
         "SELECT /* a; b */ 1 /* c\n; d */ + 2;",
         {{Kind::Statement, "SELECT   1   + 2", 1}}},
        {"a backslash inside a statement is text", "SELECT\n\\x\n;", {{Kind::Statement, "SELECT\n\\x", 1}}},
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
