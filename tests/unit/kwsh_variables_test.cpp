// kwsh_variables_test.cpp - the shell's variables: names, boolean values, and how :NAME, :'NAME'
// and :"NAME" put values into statements and commands, leaving quoted text and casts alone.
#include <gtest/gtest.h>

#include "variables.h"

namespace {

TEST(Variables, PutValuesInAsTextAsALiteralOrAsANameAndLeaveEverythingElseAsWritten) {
    kwsh::Variables vars;
    ASSERT_TRUE(vars.set("name", "O'Brien"));
    ASSERT_TRUE(vars.set("col", "Sal \"net\""));
    ASSERT_TRUE(vars.set("t", "STAFF"));
    ASSERT_TRUE(vars.set("empty", ""));
    const struct {
        const char* claim;
        const char* text;
        const char* expected;
    } cases[] = {
        {"a value as it is", "SELECT * FROM :t WHERE ID = 1", "SELECT * FROM STAFF WHERE ID = 1"},
        {"a literal, its quote doubled", "WHERE NAME = :'name'", "WHERE NAME = 'O''Brien'"},
        {"a name, its double quote doubled", "SELECT :\"col\" FROM :t",
         "SELECT \"Sal \"\"net\"\"\" FROM STAFF"},
        {"a name ends at the first character that is no letter, digit or _", ":t.ID, :t,",
         "STAFF.ID, STAFF,"},
        {"an empty value", "[:empty] [:'empty']", "[] ['']"},
        {"a variable that is not set stays as written", ":nosuch :'nosuch' :\"nosuch\"",
         ":nosuch :'nosuch' :\"nosuch\""},
        {"a cast is no variable", "SELECT X::t", "SELECT X::t"},
        {"a colon alone", "a : b :", "a : b :"},
        {"nothing inside a quoted text", "SELECT ':t', 'it''s :t', :t", "SELECT ':t', 'it''s :t', STAFF"},
        {"nothing inside a quoted name", "SELECT \":t\" FROM :t", "SELECT \":t\" FROM STAFF"},
        {"an unclosed quote keeps the rest", "SELECT ':t", "SELECT ':t"},
        {"an unclosed literal reference", ":'t", ":'t"},
        {"case matters", ":T :t", ":T STAFF"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.claim);
        EXPECT_EQ(vars.interpolate(c.text), c.expected);
    }
}

TEST(Variables, AreNamedByLettersDigitsAndUnderscoresAndCanBeRemoved) {
    kwsh::Variables vars;
    for (const char* bad : {"", "a-b", "a b", "x'", "ä"}) {
        EXPECT_FALSE(vars.set(bad, "v")) << bad;
    }
    EXPECT_TRUE(vars.all().empty());
    EXPECT_TRUE(vars.set("ON_ERROR_STOP", "on"));
    EXPECT_TRUE(vars.set("x1", "a"));
    EXPECT_TRUE(vars.set("x1", "b"));
    EXPECT_EQ(vars.get("x1"), "b");
    vars.unset("x1");
    vars.unset("never_set");
    EXPECT_EQ(vars.get("x1"), std::nullopt);
    EXPECT_EQ(vars.interpolate(":x1"), ":x1");
    EXPECT_EQ(vars.all().size(), 1u);
}

TEST(ParseBoolean, TakesTheWordsPsqlTakesAndNothingElse) {
    const struct {
        const char* text;
        std::optional<bool> value;
    } cases[] = {
        {"on", true},          {"ON", true},           {"true", true},
        {"t", true},           {"yes", true},          {"y", true},
        {"1", true},           {"off", false},         {"OFF", false},
        {"of", false},         {"false", false},       {"f", false},
        {"no", false},         {"n", false},           {"0", false},
        {"o", std::nullopt},   {"", std::nullopt},     {"2", std::nullopt},
        {"onn", std::nullopt}, {"yess", std::nullopt}, {"maybe", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(kwsh::parseBoolean(c.text), c.value) << '"' << c.text << '"';
    }
}

}  // namespace
