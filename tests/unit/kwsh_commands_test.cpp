// kwsh_commands_test.cpp - the shell's backslash commands and its failure lines, without a server.
#include <gtest/gtest.h>

#include <sstream>

#include "commands.h"
#include "shell.h"

namespace {

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

class ShellCommandTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string error;
        driver = kwsh::Driver::load(kwsh::defaultDriverPath(), error);
        ASSERT_NE(driver, nullptr) << error;
        shell = std::make_unique<kwsh::Shell>(*driver, out, err);
    }
    std::ostringstream out, err;
    std::unique_ptr<kwsh::Driver> driver;
    std::unique_ptr<kwsh::Shell> shell;
};

TEST_F(ShellCommandTest, AnswersEachCommandOrSaysClearlyWhatIsWrong) {
    const struct {
        const char* claim;
        const char* input;
        const char* out;
        const char* err;
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
        // Last: once quit, the shell runs nothing more.
        {"quit ends the source", "\\echo a\n\\q\n\\echo b", "a\n", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.claim);
        out.str("");
        err.str("");
        shell->settings() = kwsh::ShellSettings{};
        shell->runText(c.input, "");
        EXPECT_EQ(out.str(), c.out);
        EXPECT_EQ(err.str(), c.err);
    }
}

TEST_F(ShellCommandTest, FailureLinesNameTheScriptAndTheLine) {
    shell->runText("\\echo one\n\n\\nosuch\nSELECT\n  1;", "setup.sql");
    EXPECT_EQ(err.str(),
              "kwsh:setup.sql:3: ERROR: unknown command \\nosuch; \\help lists the commands\n"
              "kwsh:setup.sql:4: ERROR: not connected; use \\connect SERVER USER [PASSWORD] or \\login\n");
    EXPECT_EQ(shell->failures(), 2);
}

TEST_F(ShellCommandTest, StopOnErrorStopsTheSourceAtItsFirstFailure) {
    shell->settings().stopOnError = true;
    EXPECT_FALSE(shell->runText("\\echo before\n\\nosuch\n\\echo after", "s.sql"));
    EXPECT_EQ(out.str(), "before\n");
    shell->settings().stopOnError = false;
    EXPECT_TRUE(shell->runText("\\nosuch\n\\echo after", "s.sql"));
    EXPECT_EQ(out.str(), "before\nafter\n");
}

TEST_F(ShellCommandTest, HelpListsEveryCommandWithItsUse) {
    shell->runText("\\help", "");
    for (const char* use :
         {"\\connect SERVER USER", "\\login", "\\disconnect", "\\commit", "\\rollback", "\\begin",
          "\\describe SQL", "\\format [aligned|csv]", "\\trace [on|off|file PATH]", "\\quit"}) {
        EXPECT_NE(out.str().find(use), std::string::npos) << use;
    }
}

TEST_F(ShellCommandTest, QuietSuppressesConfirmationsButNotFailures) {
    shell->settings().quiet = true;
    shell->runText("\\login\n", "");
    EXPECT_EQ(out.str(), "");
    EXPECT_EQ(err.str(), "ERROR 999: login cancelled\n");
}

}  // namespace
