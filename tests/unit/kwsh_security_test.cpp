// kwsh_security_test.cpp - the words of \security read as actions on the Table Security dialog,
// and the command refused without a connection or, without actions, without a terminal. The
// dialog driven by those actions against a live gateway is in security_live_test.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "kwconst.h"
#include "kwuser.h"
#include "security.h"
#include "shell.h"

namespace {

using kwsh::SecurityAction;
using Kind = SecurityAction::Kind;
using Words = std::vector<std::string>;

// An action as one short text, so that a whole script compares at once.
std::string shown(const SecurityAction& a) {
    switch (a.kind) {
        case Kind::User:
            return "user " + a.text;
        case Kind::Table:
            return "table " + a.text;
        case Kind::Tick:
            return "tick " + std::to_string(a.control);
        case Kind::Clear:
            return "clear " + std::to_string(a.control);
        case Kind::Columns: {
            std::string text = "columns";
            for (const std::string& column : a.columns) {
                text += " " + column;
            }
            return text;
        }
        case Kind::Show:
            return "show";
        case Kind::Done:
            return "done";
        case Kind::Cancel:
            return "cancel";
        case Kind::Answer:
            return a.answer == IDOK ? "answer ok" : "answer cancel";
    }
    return "?";
}

Words parsed(const Words& words, std::string* error = nullptr) {
    std::string why;
    const auto actions = kwsh::parseSecurityWords(words, why);
    if (error != nullptr) {
        *error = why;
    }
    Words out;
    for (const SecurityAction& action : actions.value_or(std::vector<SecurityAction>{})) {
        out.push_back(shown(action));
    }
    return out;
}

TEST(SecurityWords, ReadAsActionsInOrderWithAnEarlyTableChosenOnceTheUserIsTyped) {
    const struct {
        const char* claim;
        Words words;
        Words actions;
    } cases[] = {
        {"the brief form: TABLE first, chosen after the user",
         {"emp", "user=smith", "+select", "+Update", "columns=ename,sal", "done"},
         {"user smith", "table emp", "tick 1013", "tick 1014", "columns ename sal", "done"}},
        {"table= names a table too, in its place after the user",
         {"user=public", "table=joe.emp", "-ALL", "show", "answer=cancel", "cancel", "answer=ok", "cancel"},
         {"user public", "table joe.emp", "clear 1008", "show", "answer cancel", "cancel", "answer ok",
          "cancel"}},
        {"a table and no user at all is played where it stands",
         {"emp", "+select"},
         {"table emp", "tick 1013"}},
        {"every privilege word",
         {"user=a", "+all", "+alter", "+delete", "+index", "+insert", "-select", "-update"},
         {"user a", "tick 1008", "tick 1009", "tick 1010", "tick 1011", "tick 1012", "clear 1013",
          "clear 1014"}},
        {"commas without names add no empty column", {"user=a", "columns=,b,,c,"}, {"user a", "columns b c"}},
        {"no words: no actions (the terminal's dialog)", {}, {}},
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_EQ(parsed(c.words, &error), c.actions) << c.claim;
        EXPECT_EQ(error, "") << c.claim;
    }
}

TEST(SecurityWords, AnUnknownWordIsRefusedWithTheReason) {
    const struct {
        Words words;
        const char* error;
    } cases[] = {
        {{"user=a", "+selekt"},
         "\"+selekt\" names no privilege (all, alter, delete, index, insert, select, update)"},
        {{"grantee=a"}, "\"grantee=a\" is none of user=ID, table=NAME, columns=A,B, answer=ok|cancel"},
        {{"user="}, "\"user=\" is none of user=ID, table=NAME, columns=A,B, answer=ok|cancel"},
        {{"answer=yes"}, "\"answer=yes\" is none of user=ID, table=NAME, columns=A,B, answer=ok|cancel"},
        {{"user=a", ""}, "an empty word is no action"},
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_FALSE(kwsh::parseSecurityWords(c.words, error).has_value()) << c.error;
        EXPECT_EQ(error, c.error);
    }
}

TEST(SecurityCommand, ChecksItsWordsAndThenNeedsAConnection) {
    std::string error;
    auto driver = kwsh::Driver::load(kwsh::defaultDriverPath(), error);
    ASSERT_NE(driver, nullptr) << error;
    std::ostringstream out, err;
    kwsh::Shell shell(*driver, out, err);
    shell.runText("\\security emp user=smith +select done\n\\security user=smith +selekt", "");
    EXPECT_EQ(err.str(),
              "ERROR: not connected\n"
              "ERROR: \\security: \"+selekt\" names no privilege (all, alter, delete, index, insert, select, "
              "update)\n");
    EXPECT_EQ(out.str(), "");
    EXPECT_EQ(shell.failures(), 2);
}

}  // namespace
