// kwsh_terminal_test.cpp - where kwsh's lines and its history come from, without a terminal.
#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

#include "terminal.h"

namespace {

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
    const char* savedHistory = std::getenv("KWSH_HISTORY");
    const std::string saved = savedHistory != nullptr ? savedHistory : "";
    const std::string savedHome = std::getenv("HOME") != nullptr ? std::getenv("HOME") : "";
    setenv("KWSH_HISTORY", "somewhere/history", 1);
    EXPECT_EQ(kwsh::defaultHistoryFile(), "somewhere/history");
    unsetenv("KWSH_HISTORY");
    setenv("HOME", "home/of/joe", 1);
    EXPECT_EQ(kwsh::defaultHistoryFile(), "home/of/joe/.kwsh_history");
    setenv("HOME", savedHome.c_str(), 1);
    if (savedHistory != nullptr) {
        setenv("KWSH_HISTORY", saved.c_str(), 1);
    }
}

}  // namespace
