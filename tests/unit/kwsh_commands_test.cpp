// kwsh_commands_test.cpp - where kwsh's lines come from and how they split into statements and
// commands; the shell's session and backslash commands, and its failure lines, with the driver this
// build made but without a server.
#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <utility>

#include "commands.h"
#include "input.h"
#include "kwconst.h"
#include "session.h"
#include "shell.h"
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
    const std::string home = std::getenv("HOME") != nullptr ? std::getenv("HOME") : "";
    setenv("KWSH_HISTORY", "somewhere/history", 1);
    EXPECT_EQ(kwsh::defaultHistoryFile(), "somewhere/history");
    unsetenv("KWSH_HISTORY");
    setenv("HOME", "home/of/joe", 1);
    EXPECT_EQ(kwsh::defaultHistoryFile(), "home/of/joe/.kwsh_history");
    setenv("HOME", home.c_str(), 1);  // put back: the driver the tests below load reads its profile there
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

TEST(DriverLoad, ExplainsWhyAModuleCannotServeAsTheDriver) {
    std::string error;
    EXPECT_EQ(kwsh::Driver::load("no/such/libkwtdx050.so", error), nullptr);
    EXPECT_NE(error.find("cannot load the driver no/such/libkwtdx050.so"), std::string::npos) << error;
    error.clear();
    EXPECT_EQ(kwsh::Driver::load("libc.so.6", error), nullptr);
    EXPECT_NE(error.find("exports no KW_TDX_Rout"), std::string::npos) << error;
}

TEST(FailureText, IsTheStatusAndTheMessageOnOneTrimmedLine) {
    EXPECT_EQ(kwsh::oneLine("\nDB2 Return Code:  -204 JOE.EMPX IS AN UNDEFINED NAME "),
              "DB2 Return Code: -204 JOE.EMPX IS AN UNDEFINED NAME");
    EXPECT_EQ(kwsh::oneLine("Login failed."), "Login failed.");
    EXPECT_EQ(kwsh::oneLine("  \t\n "), "");
    EXPECT_EQ(kwsh::oneLine("a\r\n\tb"), "a b");
    EXPECT_EQ(kwsh::describeFailure({-204, "JOE.EMPX IS AN UNDEFINED NAME"}),
              "ERROR -204: JOE.EMPX IS AN UNDEFINED NAME");
    EXPECT_EQ(kwsh::describeFailure({4002, "Login failed."}), "ERROR 4002: Login failed.");
    EXPECT_EQ(kwsh::describeFailure({KW_STATUS_DRIVER_FAILURE, ""}), "ERROR 999: (no message)");
    EXPECT_EQ(kwsh::describeFailure({KW_STATUS_ROW_WITH_WARNING, "value 1 looked odd"}),
              "WARNING: value 1 looked odd");
}

TEST(SplitWords, SeparatesAtBlanksAndGroupsQuotedText) {
    const struct {
        const char* line;
        std::vector<std::string> words;
    } cases[] = {
        {"connect KWGW JOE pw", {"connect", "KWGW", "JOE", "pw"}},
        {"  trace   on  ", {"trace", "on"}},
        {"connect KWGW JOE 'two words'", {"connect", "KWGW", "JOE", "two words"}},
        {"connect KWGW JOE \"it's\"", {"connect", "KWGW", "JOE", "it's"}},
        {"connect KWGW JOE 'it''s' ''", {"connect", "KWGW", "JOE", "it's", ""}},
        {"a'b c'd", {"ab cd"}},
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_EQ(kwsh::splitWords(c.line, error), c.words) << c.line;
    }
    std::string error;
    EXPECT_EQ(kwsh::splitWords("connect 'KWGW", error), std::nullopt);
    EXPECT_EQ(error, "the quote ' is not closed");
}

class ShellTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string error;
        driver = kwsh::Driver::load(kwsh::defaultDriverPath(), error);
        ASSERT_NE(driver, nullptr) << error;
        ASSERT_NE(driver->entry(), nullptr);
        shell = std::make_unique<kwsh::Shell>(*driver, out, err);
    }
    std::ostringstream out, err;
    std::unique_ptr<kwsh::Driver> driver;
    std::unique_ptr<kwsh::Shell> shell;
};

TEST_F(ShellTest, SessionRefusesADisconnectAndReportsACancelledLoginKeepingOnlyItsTexts) {
    kwsh::Session session(*driver);
    EXPECT_FALSE(session.connected());
    kwsh::Outcome outcome = session.disconnect();
    EXPECT_EQ(outcome.status, KW_STATUS_DRIVER_FAILURE);
    EXPECT_EQ(outcome.message, "not connected");
    EXPECT_EQ(session.liveAllocations(), 0);
    // No presenter can show a dialog here, so the driver's login dialog ends as if cancelled.
    outcome = session.connectWithDialog({"KWGW", "JOE", "", ""}, true);
    EXPECT_EQ(outcome.status, KW_STATUS_DRIVER_FAILURE);
    EXPECT_EQ(outcome.message, "login cancelled");
    EXPECT_FALSE(session.connected());
    EXPECT_EQ(session.liveAllocations(), 2) << "the server name and the user, nothing of the driver's";
}

TEST_F(ShellTest, AnswersEachCommandOrSaysClearlyWhatIsWrong) {
    shell->runText("\\help", "");
    for (const char* use :
         {"\\connect SERVER USER", "\\login", "\\disconnect", "\\commit", "\\rollback", "\\begin",
          "\\describe SQL", "\\format [aligned|csv]", "\\trace [on|off|file PATH]", "\\quit"}) {
        EXPECT_NE(out.str().find(use), std::string::npos) << "help lists " << use;
    }
    const struct {
        const char* claim;
        const char* input;
        const char* out;
        const char* err;
        bool quiet = false;
    } cases[] = {
        {"format set and shown", "\\format csv\n\\format", "csv\n", ""},
        {"an unknown format", "\\format tsv", "", "ERROR: \\format takes aligned or csv, not \"tsv\"\n"},
        {"an unknown command", "\\nosuch", "",
         "ERROR: unknown command \\nosuch; \\help lists the commands\n"},
        {"too few words", "\\connect KWGW", "", "ERROR: usage: \\connect SERVER USER [PASSWORD [DBPARM]]\n"},
        {"too many words", "\\commit now", "", "ERROR: usage: \\commit\n"},
        {"an unclosed quote", "\\connect KWGW 'JOE", "",
         "ERROR: \\connect KWGW 'JOE: the quote ' is not closed\n"},
        {"a lone backslash", "\\", "", "ERROR: a lone backslash is no command; \\help lists them\n"},
        {"echo keeps the text as typed", "\\echo  it's  here ", "it's  here\n", ""},
        {"describe needs a statement", "\\describe", "", "ERROR: usage: \\describe SQL\n"},
        {"a statement without a connection", "SELECT 1;", "",
         "ERROR: not connected; use \\connect SERVER USER [PASSWORD] or \\login\n"},
        {"a commit without a connection", "\\commit", "", "ERROR: not connected\n"},
        {"a compile-only describe without a connection", "\\describe SELECT 1", "", "ERROR: not connected\n"},
        {"a disconnect without a connection", "\\disconnect", "", "ERROR 999: not connected\n"},
        {"the connection shown", "\\conninfo", "not connected\n", ""},
        {"the trace switched and shown", "\\trace on\n\\trace\n\\trace off\n\\trace", "trace on\ntrace off\n",
         ""},
        {"a wrong trace word", "\\trace loud", "",
         "ERROR: use \\trace on, \\trace off or \\trace file PATH ('' turns the file off)\n"},
        {"a confirmation", "\\trace file ''", "trace file off\n", ""},
        {"no confirmation among CSV output", "\\format csv\n\\trace file ''", "", ""},
        {"quiet keeps failures", "\\login\n", "", "ERROR 999: login cancelled\n", true},
        // Last: once quit, the shell runs nothing more.
        {"quit ends the source", "\\echo a\n\\q\n\\echo b", "a\n", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.claim);
        out.str("");
        err.str("");
        shell->settings() = kwsh::ShellSettings{};
        shell->settings().quiet = c.quiet;
        shell->runText(c.input, "");
        EXPECT_EQ(out.str(), c.out);
        EXPECT_EQ(err.str(), c.err);
    }
}

TEST_F(ShellTest, FailureLinesNameTheScriptAndTheLineAndStopOnErrorStopsAtTheFirst) {
    shell->runText("\\echo one\n\n\\nosuch\nSELECT\n  1;", "setup.sql");
    EXPECT_EQ(err.str(),
              "kwsh:setup.sql:3: ERROR: unknown command \\nosuch; \\help lists the commands\n"
              "kwsh:setup.sql:4: ERROR: not connected; use \\connect SERVER USER [PASSWORD] or \\login\n");
    EXPECT_EQ(shell->failures(), 2);
    out.str("");
    shell->settings().stopOnError = true;
    EXPECT_FALSE(shell->runText("\\echo before\n\\nosuch\n\\echo after", "s.sql"));
    EXPECT_EQ(out.str(), "before\n");
    shell->settings().stopOnError = false;
    EXPECT_TRUE(shell->runText("\\nosuch\n\\echo after", "s.sql"));
    EXPECT_EQ(out.str(), "before\nafter\n");
}

TEST_F(ShellTest, AtATerminalCtrlCDropsTheStatementBeingTypedAndEachStatementIsOneHistoryEntry) {
    // What a person types, line by line; nothing stands for Ctrl-C at the prompt. First a statement
    // dropped before it ends and Ctrl-C at an empty prompt, then a command (one again after the
    // drop), a statement whose quote and comment run over three lines, a blank line (no entry), a
    // line that ends one statement and starts another.
    const std::vector<std::optional<std::string>> typed = {
        "SELECT 1,", std::nullopt, std::nullopt,       "\\echo one", "SELECT 'a;", "b' -- c;",
        ";",         "   ",        "SELECT 2; SELECT", "3;",         "\\echo two"};
    size_t next = 0;
    bool interrupted = false;
    std::vector<std::string> prompts, remembered;
    const kwsh::LineReader reader = [&](const std::string& prompt) -> std::optional<std::string> {
        prompts.push_back(prompt);
        if (next == typed.size()) {
            return std::nullopt;
        }
        interrupted = !typed[next].has_value();
        return typed[next++];
    };
    const kwsh::TerminalInput terminal = {[&] { return std::exchange(interrupted, false); },
                                          [&](const std::string& lines) { remembered.push_back(lines); }};
    shell->run(reader, "", &terminal);
    EXPECT_EQ(remembered, (std::vector<std::string>{"\\echo one", "SELECT 'a;\nb' -- c;\n;",
                                                    "SELECT 2; SELECT\n3;", "\\echo two"}));
    const std::string primary = "kwsh> ", more = "    -> ";
    EXPECT_EQ(prompts, (std::vector<std::string>{primary, more, primary, primary, primary, more, more,
                                                 primary, primary, more, primary, primary}));
    EXPECT_EQ(out.str(), "one\ntwo\n");
    EXPECT_EQ(shell->failures(), 3) << "the three statements that ended, without a connection; " << err.str();
}

}  // namespace
