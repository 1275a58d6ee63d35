// kwsh_terminal_test.cpp - the kwsh program at a terminal (a pseudo-terminal), without a server:
// text beyond ASCII kept as typed, Ctrl-C at the prompt, a statement of several lines kept and
// called back as one history entry, Tab completing commands, the pager, \e with an editor, the
// expanded display, the start-up file; and the charset kwsh takes from the locale.
#include <editline/readline.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <clocale>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "kwtest/terminal_program.h"
#include "terminal.h"

#ifndef KWSH_PATH
#error "KWSH_PATH must name the kwsh program"
#endif

namespace {

using kwtest::TerminalProgram;

const char kUp[] = "\x1b[A";
const char kCtrlC[] = "\x03";

class KwshTerminal : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = ::testing::TempDir() + "kwsh-terminal-XXXXXX";
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        history_ = dir_ + "/history";
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    std::string write(const std::string& name, const std::string& text, bool executable = false) {
        const std::string path = dir_ + "/" + name;
        std::ofstream(path) << text;
        if (executable) {
            std::filesystem::permissions(path, std::filesystem::perms::owner_all);
        }
        return path;
    }

    std::string read(const std::string& name) {
        std::ifstream in(dir_ + "/" + name);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    // kwsh with no connection, its history in this test's folder, in the locale `lang`.
    std::unique_ptr<TerminalProgram> start(const std::string& lang = "C.UTF-8",
                                           const std::vector<std::string>& args = {},
                                           std::map<std::string, std::string> env = {}) {
        env.insert(
            {{"HOME", dir_}, {"KWSH_HISTORY", history_}, {"LANG", lang}, {"LC_ALL", ""}, {"LC_CTYPE", ""}});
        auto kwsh = std::make_unique<TerminalProgram>(KWSH_PATH, args, env);
        EXPECT_TRUE(kwsh->started());
        EXPECT_TRUE(kwsh->expect("kwsh> ")) << kwsh->transcript();
        return kwsh;
    }

    // Types \q and expects kwsh to end well.
    static void quit(TerminalProgram& kwsh) {
        ASSERT_TRUE(kwsh.type("\\q\r"));
        EXPECT_EQ(kwsh.wait(), 0) << kwsh.transcript();
    }

    // The history file's entries, read back with libedit as kwsh reads it.
    std::vector<std::string> history() {
        clear_history();
        std::vector<std::string> entries;
        if (read_history(history_.c_str()) != 0) {
            return entries;
        }
        for (int i = 0; i < history_length; ++i) {
            if (HIST_ENTRY* entry = history_get(history_base + i); entry != nullptr) {
                entries.emplace_back(entry->line);
            }
        }
        clear_history();
        return entries;
    }

    std::string dir_, history_;
};

TEST_F(KwshTerminal, KeepsTextBeyondAsciiAsTypedAlsoWhenTheLocaleIsThePlainOne) {
    for (const char* lang : {"C.UTF-8", "C"}) {
        SCOPED_TRACE(lang);
        auto kwsh = start(lang);
        ASSERT_TRUE(kwsh->type("\\echo José 日本 naïve\r"));
        EXPECT_TRUE(kwsh->expect("\r\nJosé 日本 naïve\r\n")) << kwsh->transcript();
        quit(*kwsh);
    }
}

TEST_F(KwshTerminal, CtrlCAtThePromptDropsWhatIsBeingTypedAndKwshGoesOn) {
    auto kwsh = start();
    // A statement open over two lines, then Ctrl-C in the middle of the second.
    ASSERT_TRUE(kwsh->type("SELECT 1,\r"));
    ASSERT_TRUE(kwsh->expect("    -> ")) << kwsh->transcript();
    ASSERT_TRUE(kwsh->type("2"));
    ASSERT_TRUE(kwsh->expect("2"));
    ASSERT_TRUE(kwsh->type(kCtrlC));
    EXPECT_TRUE(kwsh->expect("^C\r\nkwsh> ")) << "a fresh prompt, the statement dropped\n"
                                              << kwsh->transcript();
    // What comes next is not part of the dropped statement: a command line is one again.
    ASSERT_TRUE(kwsh->type("\\echo alive\r"));
    EXPECT_TRUE(kwsh->expect("\r\nalive\r\nkwsh> ")) << kwsh->transcript();
    // Ctrl-C at an empty prompt does not end kwsh either.
    ASSERT_TRUE(kwsh->type(kCtrlC));
    EXPECT_TRUE(kwsh->expect("^C\r\nkwsh> ")) << kwsh->transcript();
    ASSERT_TRUE(kwsh->type("\\echo still here\r"));
    EXPECT_TRUE(kwsh->expect("\r\nstill here\r\n")) << kwsh->transcript();
    quit(*kwsh);
    EXPECT_EQ(history(), (std::vector<std::string>{"\\echo alive", "\\echo still here", "\\q"}))
        << "nothing of the dropped statement";
}

TEST_F(KwshTerminal, AStatementOfSeveralLinesIsOneHistoryEntryAndRunsAgainWhenCalledBack) {
    {
        auto kwsh = start();
        // The comment makes the lines matter: read as one line, the semicolon would be in it.
        ASSERT_TRUE(kwsh->type("SELECT 1 -- one;\r"));
        ASSERT_TRUE(kwsh->expect("    -> ")) << kwsh->transcript();
        ASSERT_TRUE(kwsh->type(";\r"));
        EXPECT_TRUE(kwsh->expect("ERROR: not connected")) << kwsh->transcript();
        ASSERT_TRUE(kwsh->type("\\echo a; \\echo b\r"));
        EXPECT_TRUE(kwsh->expect("\r\na; \\echo b\r\n")) << kwsh->transcript();
        quit(*kwsh);
    }
    EXPECT_EQ(history(), (std::vector<std::string>{"SELECT 1 -- one;\n;", "\\echo a; \\echo b", "\\q"}));
    {
        // A new kwsh reads the history: two entries back is the statement, which runs as before
        // and leaves no statement open.
        auto kwsh = start();
        ASSERT_TRUE(kwsh->type(std::string(kUp) + kUp + kUp));
        ASSERT_TRUE(kwsh->expect("SELECT 1 -- one;")) << kwsh->transcript();
        ASSERT_TRUE(kwsh->type("\r"));
        EXPECT_TRUE(kwsh->expect("ERROR: not connected")) << kwsh->transcript();
        EXPECT_TRUE(kwsh->expect("kwsh> ")) << kwsh->transcript();
        quit(*kwsh);
        EXPECT_EQ(kwsh->transcript().find("    -> "), std::string::npos) << kwsh->transcript();
    }
    EXPECT_EQ(history(), (std::vector<std::string>{"SELECT 1 -- one;\n;", "\\echo a; \\echo b", "\\q",
                                                   "SELECT 1 -- one;\n;", "\\q"}));
}

TEST_F(KwshTerminal, TabCompletesCommandNamesAndListsTheChoicesWhenThereAreSeveral) {
    auto kwsh = start();
    // One command starts so: Tab writes the rest of it.
    ASSERT_TRUE(kwsh->type("\\conni\t"));
    ASSERT_TRUE(kwsh->expect("nfo")) << kwsh->transcript();
    ASSERT_TRUE(kwsh->type("\r"));
    EXPECT_TRUE(kwsh->expect("\r\nnot connected\r\nkwsh> ")) << kwsh->transcript();
    // Two do: Tab writes what they share, Tab again lists them, and the line is still there to go
    // on typing.
    ASSERT_TRUE(kwsh->type("\\con\t\t"));
    EXPECT_TRUE(kwsh->expect("\\connect   \\conninfo")) << kwsh->transcript();
    ASSERT_TRUE(kwsh->type("info\r"));
    EXPECT_TRUE(kwsh->expect("\r\nnot connected\r\nkwsh> ")) << kwsh->transcript();
    quit(*kwsh);
}

// The screen is 24 rows: the help is longer and goes to the pager (a stub that keeps what it is
// given), a short answer does not, and \pset pager off shows everything on the terminal.
TEST_F(KwshTerminal, AnswersLongerThanTheScreenGoThroughThePager) {
    const std::string paged = dir_ + "/paged";
    auto kwsh = start("C.UTF-8", {}, {{"PAGER", "cat >>" + paged}});
    ASSERT_TRUE(kwsh->type("\\?\r"));
    ASSERT_TRUE(kwsh->expect("kwsh> ")) << kwsh->transcript();
    EXPECT_EQ(kwsh->transcript().find("Statements end with"), std::string::npos) << kwsh->transcript();
    EXPECT_EQ(read("paged").rfind("Statements end with", 0), 0u) << read("paged");
    EXPECT_NE(read("paged").find("\\quit"), std::string::npos) << "the whole answer";
    ASSERT_TRUE(kwsh->type("\\echo short\r"));
    EXPECT_TRUE(kwsh->expect("\r\nshort\r\nkwsh> ")) << kwsh->transcript();
    ASSERT_TRUE(kwsh->type("\\pset pager off\r\\?\r"));
    EXPECT_TRUE(kwsh->expect("Statements end with")) << kwsh->transcript();
    quit(*kwsh);
    EXPECT_EQ(read("paged").find("short"), std::string::npos);
}

// The stub editor turns the statement being typed into a command and shows what it was given.
TEST_F(KwshTerminal, BackslashEEditsTheStatementBeingTypedInTheEditor) {
    const std::string editor = write("editor.sh",
                                     "#!/bin/sh\ncp \"$1\" \"$(dirname \"$0\")/seen\"\n"
                                     "printf '%s\\n' '\\echo edited by the editor' >\"$1\"\n",
                                     true);
    auto kwsh = start("C.UTF-8", {}, {{"EDITOR", editor}, {"VISUAL", ""}, {"KWSH_EDITOR", ""}});
    ASSERT_TRUE(kwsh->type("SELECT 1,\r"));
    ASSERT_TRUE(kwsh->expect("    -> ")) << kwsh->transcript();
    ASSERT_TRUE(kwsh->type("2 \\e\r"));
    EXPECT_TRUE(kwsh->expect("edited by the editor\r\nkwsh> ")) << kwsh->transcript();
    EXPECT_EQ(read("seen"), "SELECT 1,\n2\n");
    quit(*kwsh);
}

// The type list fits a screen of 120 columns: with \x auto it stays a table, \x shows it as records
// (longer than the screen, but an empty PAGER shows them without one).
TEST_F(KwshTerminal, ExpandedDisplayShowsRecordsAndAutoKeepsTablesThatFit) {
    auto kwsh = start("C.UTF-8", {}, {{"PAGER", ""}});
    ASSERT_TRUE(kwsh->type("\\x auto\r\\dT\r"));
    EXPECT_TRUE(kwsh->expect("Expanded display is used automatically.\r\n")) << kwsh->transcript();
    EXPECT_TRUE(kwsh->expect(" CHAR         |    1 |")) << kwsh->transcript();
    ASSERT_TRUE(kwsh->type("\\x on\r\\dT\r"));
    EXPECT_TRUE(kwsh->expect("-[ RECORD 1 ]-"));
    EXPECT_TRUE(kwsh->expect("-\r\nType           | CHAR\r\nCode           | 1\r\n")) << kwsh->transcript();
    quit(*kwsh);
}

TEST_F(KwshTerminal, ReadsTheStartUpFileUnlessToldNotTo) {
    write(".kwshrc", "\\set greeting 'hello from the start-up file'\n\\pset null '(none)'\n");
    const std::pair<std::vector<std::string>, const char*> runs[] = {
        {{}, "\r\nhello from the start-up file\r\n"}, {{"-X"}, "\r\n:greeting\r\n"}};
    for (const auto& [args, echoed] : runs) {
        auto kwsh = start("C.UTF-8", args);
        ASSERT_TRUE(kwsh->type("\\echo :greeting\r"));
        EXPECT_TRUE(kwsh->expect(echoed)) << kwsh->transcript();
        quit(*kwsh);
    }
}

// The last locale is one that is not installed.
TEST(TerminalCharset, IsTheLocalesOrUtf8WhenTheLocaleKnowsOnlyAscii) {
    const std::string saved = std::setlocale(LC_CTYPE, nullptr);
    const struct {
        const char* lcAll;
        const char* charset;
    } cases[] = {
        {"C.UTF-8", "UTF-8"}, {"C", "UTF-8"}, {"POSIX", "UTF-8"}, {"xx_NOWHERE.ISO-8859-1", "UTF-8"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.lcAll);
        setenv("LC_ALL", c.lcAll, 1);
        EXPECT_EQ(kwsh::useTerminalCharset(), c.charset);
    }
    unsetenv("LC_ALL");
    std::setlocale(LC_CTYPE, saved.c_str());
}

}  // namespace
