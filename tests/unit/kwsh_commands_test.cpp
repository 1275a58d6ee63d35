// kwsh_commands_test.cpp - where kwsh's lines come from and how they split into statements and
// commands; the shell's session and backslash commands, and its failure lines, with the driver this
// build made but without a server.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <utility>

#include "commands.h"
#include "completion.h"
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

TEST(InputSplitter, SendsAStatementAtBackslashGAndHandsBackslashEOverKeepingTheStatementOpen) {
    const struct {
        const char* claim;
        std::vector<std::string> lines;
        std::vector<std::string> items;  // "LINE: KIND TEXT [send]"
        bool open;
    } cases[] = {
        {"\\g on a line of its own", {"SELECT 1", "\\g"}, {"1: statement SELECT 1 [g]"}, false},
        {"\\g FILE at the end of a line",
         {"SELECT 1 \\g 'out file.txt'"},
         {"1: statement SELECT 1 [g 'out file.txt']"},
         false},
        {"\\gx", {"SELECT 1, 2 \\gx"}, {"1: statement SELECT 1, 2 [gx]"}, false},
        {"\\g with nothing typed is a command", {"\\g f"}, {"1: command g f"}, false},
        {"inside a quoted text it is text", {"SELECT '\\g'", ";"}, {"1: statement SELECT '\\g'"}, false},
        {"another command inside a statement is text",
         {"SELECT 1 \\gexec", ";"},
         {"1: statement SELECT 1 \\gexec"},
         false},
        {"\\e inside a statement leaves it open", {"SELECT 1,", "\\e"}, {"2: command e"}, true},
        {"\\e after text on its line", {"SELECT 1 \\e"}, {"1: command e"}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.claim);
        kwsh::InputSplitter splitter;
        std::vector<std::string> items;
        int number = 0;
        for (const std::string& line : c.lines) {
            for (const InputItem& item : splitter.feed(line, ++number)) {
                items.push_back(std::to_string(item.line) + ": " +
                                (item.kind == Kind::Command ? "command " : "statement ") + item.text +
                                (item.send.empty() ? "" : " [" + item.send + "]"));
            }
        }
        EXPECT_EQ(items, c.items);
        EXPECT_EQ(splitter.open(), c.open);
    }
    kwsh::InputSplitter splitter;
    splitter.feed("SELECT A, -- the first", 1);
    splitter.feed("  B", 2);
    splitter.feed("\\e", 3);
    EXPECT_EQ(splitter.pending(), "SELECT A, \n  B\n") << "what \\e edits: the statement, comments out";
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
    // An input run in a fresh shell's settings, and what it must print on each stream.
    struct Run {
        const char* claim;
        const char* input;
        const char* out;
        const char* err;
        bool quiet = false;
    };
    void expectRuns(std::initializer_list<Run> runs) {
        for (const Run& run : runs) {
            SCOPED_TRACE(run.claim);
            out.str("");
            err.str("");
            shell->settings() = kwsh::ShellSettings{};
            shell->settings().quiet = run.quiet;
            shell->runText(run.input, "");
            EXPECT_EQ(out.str(), run.out);
            EXPECT_EQ(err.str(), run.err);
        }
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
    expectRuns({
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
    });
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

TEST_F(ShellTest, SetsAndShowsVariablesAndOutputSettingsAsPsqlDoes) {
    expectRuns({
        {"values set, words joined, listed by name", "\\set b x 'y z'\n\\set a 1\n\\set e\n\\set",
         "a = '1'\nb = 'xy z'\ne = ''\n", ""},
        {"a variable may even name the command", "\\set c conninfo\n\\:c", "not connected\n", ""},
        {"a value with a quote", "\\set v 'it''s'\n\\echo [:v] [:'v'] [:\"v\"]",
         "[it's] ['it''s'] [\"it's\"]\n", ""},
        {"a variable removed is text again", "\\set w 1\n\\unset w\n\\echo :w", ":w\n", ""},
        {"a bad name", "\\set a-b 1", "", "ERROR: \"a-b\" is no variable name (letters, digits and _)\n"},
        {"ON_ERROR_STOP takes a switch only", "\\set ON_ERROR_STOP sometimes", "",
         "ERROR: ON_ERROR_STOP takes on or off, not \"sometimes\"\n"},
        {"expanded display turned over, set, automatic", "\\x\n\\x\n\\x auto\n\\x\n\\pset expanded on",
         "Expanded display is on.\nExpanded display is off.\nExpanded display is used automatically.\n"
         "Expanded display is off.\nExpanded display is on.\n",
         ""},
        {"a wrong expanded word", "\\x wide", "", "ERROR: \\x takes on, off or auto, not \"wide\"\n"},
        {"timing", "\\timing\n\\timing off\n\\timing maybe", "Timing is on.\nTiming is off.\n",
         "ERROR: \\timing takes on or off, not \"maybe\"\n"},
        {"formats by \\pset and \\format alike",
         "\\pset format unaligned\n\\format\n\\pset format\n\\format aligned",
         "Output format is unaligned.\nunaligned\nOutput format is unaligned.\n", ""},
        {"an unknown format", "\\pset format wrapped", "",
         "ERROR: \\pset format takes aligned, unaligned or csv, not \"wrapped\"\n"},
        {"null text and pager", "\\pset null '(nil)'\n\\pset pager off\n\\pset pager\n\\pset",
         "Null display is \"(nil)\".\nPager usage is off.\nPager usage is on.\n"
         "expanded off\nformat aligned\nnull '(nil)'\npager on\n",
         ""},
        {"an unknown setting", "\\pset border 2", "",
         "ERROR: \\pset knows format, null, pager and expanded, not \"border\"\n"},
        {"a wrong pager word", "\\pset pager always", "",
         "ERROR: \\pset pager takes on or off, not \"always\"\n"},
        {"nothing to send again", "\\g", "",
         "ERROR: no statement has been sent yet; \\g sends the one being typed\n"},
    });
}

TEST_F(ShellTest, OnErrorStopIsAVariableThatStopsTheScriptAtItsFirstFailure) {
    EXPECT_FALSE(shell->runText("\\set ON_ERROR_STOP\n\\echo before\n\\nosuch\n\\echo after", "s.sql"));
    EXPECT_EQ(out.str(), "before\n");
    EXPECT_TRUE(shell->settings().stopOnError);
    EXPECT_EQ(shell->variables().get("ON_ERROR_STOP"), "on") << "set without a value it is on";
    out.str("");
    EXPECT_TRUE(shell->runText("\\set ON_ERROR_STOP off\n\\nosuch\n\\echo after", "s.sql"));
    EXPECT_EQ(out.str(), "after\n");
    EXPECT_TRUE(kwsh::setShellVariable(*shell, "ON_ERROR_STOP", "1"));
    EXPECT_TRUE(shell->settings().stopOnError);
    EXPECT_TRUE(shell->runText("\\unset ON_ERROR_STOP", ""));
    EXPECT_FALSE(shell->settings().stopOnError);
}

// A folder of files for one test, removed with everything in it.
class Files {
  public:
    Files() {
        std::string pattern = ::testing::TempDir() + "kwsh-files-XXXXXX";
        dir = mkdtemp(pattern.data()) != nullptr ? pattern : "";
    }
    ~Files() { std::filesystem::remove_all(dir); }
    std::string write(const std::string& name, const std::string& text, bool executable = false) {
        const std::string path = dir + "/" + name;
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        std::ofstream(path) << text;
        if (executable) {
            std::filesystem::permissions(path, std::filesystem::perms::owner_all);
        }
        return path;
    }
    std::string read(const std::string& name) const {
        std::ifstream in(dir + "/" + name);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    std::string dir;
};

TEST_F(ShellTest, IncludesFilesWithTheirOwnNamesInFailureLinesAndRelativeToTheRunningFile) {
    Files files;
    ASSERT_FALSE(files.dir.empty());
    const std::string main = files.write("main.sql", "\\echo main :v\n\\ir sub/inc.sql\n\\echo back");
    const std::string inc = files.write("sub/inc.sql", "\\set v changed\n\\nosuch");
    files.write("loop.sql", "\\ir loop.sql");
    shell->runText("\\set v first\n\\i " + main + "\n\\echo :v\n\\i " + files.dir + "/nosuch.sql", "top.sql");
    EXPECT_EQ(out.str(), "main first\nback\nchanged\n");
    EXPECT_EQ(err.str(), "kwsh:" + inc + ":2: ERROR: unknown command \\nosuch; \\help lists the commands\n" +
                             "kwsh:top.sql:4: ERROR: cannot read " + files.dir + "/nosuch.sql\n");
    err.str("");
    const int before = shell->failures();
    shell->runText("\\i " + files.dir + "/loop.sql\n\\echo went on", "");
    EXPECT_EQ(shell->failures(), before + 1);
    EXPECT_NE(err.str().find("loop.sql is run inside 16 other files"), std::string::npos) << err.str();
    EXPECT_NE(out.str().find("went on"), std::string::npos);
    // A file that stops at a failure stops the one that ran it too.
    out.str("");
    shell->settings().stopOnError = true;
    EXPECT_FALSE(shell->runText("\\i " + main + "\n\\echo not reached", ""));
    EXPECT_EQ(out.str(), "main changed\n");
}

TEST_F(ShellTest, SendsResultsToAFileWithBackslashOWhileEchoStaysOnTheTerminal) {
    Files files;
    const std::string path = files.dir + "/results.txt";
    shell->runText(
        "\\o " + path + "\n\\qecho to the file\n\\echo to the terminal\n\\conninfo\n\\x\n\\o\n\\conninfo",
        "");
    EXPECT_EQ(out.str(), "to the terminal\nnot connected\n");
    EXPECT_EQ(files.read("results.txt"), "to the file\nnot connected\nExpanded display is on.\n");
    EXPECT_EQ(err.str(), "");
    shell->runText("\\o " + files.dir + "/no/such/folder/x.txt\n\\conninfo", "");
    EXPECT_EQ(err.str(), "ERROR: cannot write " + files.dir + "/no/such/folder/x.txt\n");
    EXPECT_EQ(out.str(), "to the terminal\nnot connected\nnot connected\n") << "still the terminal";
}

// The stub editor keeps what it was given (a copy each time, apart by "--") and leaves a command
// and an unfinished statement in its place.
TEST_F(ShellTest, EditsTheStatementBeingTypedOrTheLastOneAndReadsTheEditedTextBackAsTyped) {
    Files files;
    const std::string editor = files.write("editor.sh",
                                           "#!/bin/sh\ncat \"$1\" >>\"$(dirname \"$0\")/seen\"\n"
                                           "echo -- >>\"$(dirname \"$0\")/seen\"\n"
                                           "printf '%s\\n' '\\echo edited' 'SELECT 2' >\"$1\"\n",
                                           true);
    setenv("KWSH_EDITOR", editor.c_str(), 1);
    // Typed: a statement of two lines, \e; the edited text runs \echo, leaves SELECT 2 open, and
    // ";" sends it. Then \e with nothing typed edits the statement last sent.
    shell->runText("SELECT 1,\n  2\n\\e\n;\n\\e", "");
    EXPECT_EQ(files.read("seen"), "SELECT 1,\n  2\n--\nSELECT 2\n--\n");
    EXPECT_EQ(out.str(), "edited\nedited\n");
    EXPECT_EQ(shell->failures(), 2) << "SELECT 2 sent twice, without a connection: " << err.str();
    // An editor that fails leaves the statement as it was: ";" then sends it unchanged.
    setenv("KWSH_EDITOR", "false", 1);
    err.str("");
    shell->runText("SELECT 3\n\\e\n;", "");
    unsetenv("KWSH_EDITOR");
    EXPECT_EQ(err.str(),
              "ERROR: the editor (false) ended with status 1; the statement is kept as it was\n"
              "ERROR: not connected; use \\connect SERVER USER [PASSWORD] or \\login\n");
    // \e FILE edits that file and keeps it.
    setenv("KWSH_EDITOR", editor.c_str(), 1);
    out.str("");
    const std::string script = files.write("script.sql", "\\echo original\n");
    shell->runText("\\e " + script + "\n\\echo after", "");
    unsetenv("KWSH_EDITOR");
    EXPECT_EQ(files.read("script.sql"), "\\echo edited\nSELECT 2\n");
    EXPECT_EQ(out.str(), "edited\n") << "SELECT 2 stays open and ends with the text, so \\echo after is SQL";
}

TEST_F(ShellTest, ExpandsAutomaticallyOnlyWhatIsWiderThanTheScreenAndPagesOnlyWhatIsLongerThanIt) {
    Files files;
    kwsh::ScreenSize screen{24, 40};
    shell->screenSize = [&screen] { return screen; };
    shell->runText("\\x auto\n\\dT", "");
    EXPECT_NE(out.str().find("-[ RECORD 1 ]"), std::string::npos) << "\\dT is wider than 40 columns";
    out.str("");
    screen.columns = 200;
    shell->runText("\\dT", "");
    EXPECT_EQ(out.str().find("-[ RECORD 1 ]"), std::string::npos) << out.str();
    EXPECT_NE(out.str().find("| Code |"), std::string::npos) << out.str();

    // The pager: at a terminal, for an answer of at least as many lines as the screen has.
    const std::string paged = files.dir + "/paged.txt";
    setenv("KWSH_PAGER", ("cat >>" + paged).c_str(), 1);
    shell->settings().interactive = true;
    out.str("");
    shell->runText("\\echo short\n\\help", "");
    EXPECT_EQ(out.str(), "short\n");
    EXPECT_EQ(files.read("paged.txt").rfind("Statements end with", 0), 0u) << files.read("paged.txt");
    shell->runText("\\pset pager off\n\\help", "");
    EXPECT_NE(out.str().find("Statements end with"), std::string::npos) << "not paged when off";
    // A pager that cannot be found shows nothing: the answer comes to the terminal instead.
    setenv("KWSH_PAGER", "no-such-pager-program", 1);
    out.str("");
    shell->runText("\\pset pager on\n\\help", "");
    EXPECT_NE(out.str().find("Statements end with"), std::string::npos) << out.str();
    unsetenv("KWSH_PAGER");
}

TEST_F(ShellTest, HelpListsEveryCommandWithItsAliases) {
    shell->runText("\\?", "");
    const std::string help = out.str();
    for (const std::string& name : kwsh::commandNames()) {
        EXPECT_TRUE(help.find("  \\" + name + " ") != std::string::npos ||
                    help.find("  \\" + name + "\n") != std::string::npos ||
                    help.find("(also \\" + name + ")") != std::string::npos)
            << name;
    }
    for (const char* alias : {"(also \\c)", "(also \\?)", "(also \\q)", "(also \\include)"}) {
        EXPECT_NE(help.find(alias), std::string::npos) << alias;
    }
}

TEST_F(ShellTest, CompletesCommandNamesAndOffersFileNamesAfterTheCommandsThatTakeAFile) {
    using Names = std::vector<std::string>;
    EXPECT_EQ(kwsh::completeLine(*shell, "\\con", 4), (Names{"\\connect", "\\conninfo"}));
    EXPECT_EQ(kwsh::completeLine(*shell, "\\tim", 4), (Names{"\\timing"}));
    EXPECT_EQ(kwsh::completeLine(*shell, "\\dT", 3), (Names{"\\dT"})) << "commands keep their case";
    EXPECT_EQ(kwsh::completeLine(*shell, "\\i ", 3), std::nullopt);
    EXPECT_EQ(kwsh::completeLine(*shell, "\\o res", 6), std::nullopt);
    EXPECT_EQ(kwsh::completeLine(*shell, "\\d ST", 5), Names{}) << "no connection, no tables";
    EXPECT_EQ(kwsh::completeLine(*shell, "SELECT * FROM ST", 16), Names{});
    EXPECT_EQ(kwsh::completeLine(*shell, "\\echo \\con", 10), Names{}) << "a command's word, not a command";
}

TEST(Completion, FindsTheWordBeforeTheCursorAndSpellsNamesInTheCaseTyped) {
    EXPECT_EQ(kwsh::wordStart("SELECT A,BC", 11), 9u);
    EXPECT_EQ(kwsh::wordStart("COUNT(ID", 8), 6u);
    EXPECT_EQ(kwsh::wordStart("\\d joe.st", 9), 3u) << "a dot joins owner and name";
    EXPECT_EQ(kwsh::wordStart("SELECT A,BC", 7), 7u);
    const std::vector<std::string> names = {"staff", "STAFF_X", "dept", "joe.staff", "staff"};
    using Names = std::vector<std::string>;
    EXPECT_EQ(kwsh::matchingNames(names, "st"), (Names{"staff", "staff_x"}));
    EXPECT_EQ(kwsh::matchingNames(names, "ST"), (Names{"STAFF", "STAFF_X"}));
    EXPECT_EQ(kwsh::matchingNames(names, "Sta"), (Names{"Staff", "Staff_x"})) << "what was typed stays";
    EXPECT_EQ(kwsh::matchingNames(names, "JOE."), (Names{"JOE.STAFF"}));
    EXPECT_EQ(kwsh::matchingNames(names, "x"), Names{});
    EXPECT_EQ(kwsh::matchingNames(names, "").size(), 4u);
}

}  // namespace
