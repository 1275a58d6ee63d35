/*
 * text_test.cpp - CharUpperA, CharLowerA, lstrcmpiA and wsprintfA.
 */
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "kwuser.h"

namespace {

TEST(CharCase, ConvertsAsciiLettersInPlaceAndLeavesOtherBytesAlone) {
    struct Case {
        const char* text;
        const char* upper;
        const char* lower;
    };
    const Case cases[] = {
        {"select * from Emp", "SELECT * FROM EMP", "select * from emp"},
        {"a_Z@[`{09", "A_Z@[`{09", "a_z@[`{09"},  // the bytes around the letter ranges stay
        {"caf\xe9 \xc9T\xc9", "CAF\xe9 \xc9T\xc9", "caf\xe9 \xc9t\xc9"},  // Latin-1 letters are not ASCII
        {"", "", ""},
    };
    for (const Case& c : cases) {
        std::string upper = c.text;
        std::string lower = c.text;
        EXPECT_EQ(CharUpperA(upper.data()), upper.data());
        EXPECT_EQ(CharLowerA(lower.data()), lower.data());
        EXPECT_EQ(upper, c.upper) << c.text;
        EXPECT_EQ(lower, c.lower) << c.text;
    }
}

TEST(CharCase, ConvertsOneCharacterCarriedInThePointerValue) {
    EXPECT_EQ(reinterpret_cast<uintptr_t>(CharUpperA(reinterpret_cast<char*>(uintptr_t{'q'}))),
              uintptr_t{'Q'});
    EXPECT_EQ(reinterpret_cast<uintptr_t>(CharLowerA(reinterpret_cast<char*>(uintptr_t{'Q'}))),
              uintptr_t{'q'});
    EXPECT_EQ(reinterpret_cast<uintptr_t>(CharUpperA(reinterpret_cast<char*>(uintptr_t{'7'}))),
              uintptr_t{'7'});
    EXPECT_EQ(CharUpperA(nullptr), nullptr);
}

int sign(int value) {
    return (value > 0) - (value < 0);
}

TEST(Lstrcmpi, ComparesIgnoringAsciiCaseAndAnswersTheOrder) {
    struct Case {
        const char* a;
        const char* b;
        int order;
    };
    const Case cases[] = {
        {"SYSIBM", "sysibm", 0},
        {"emp", "EMPLOYEE", -1},  // a prefix sorts first
        {"Dept", "dept", 0},
        {"b", "A", 1},
        {"ab", "aC", -1},
        {"_x", "ax", -1},  // '_' sorts before the letters, as in a sorted list box
        {"", "", 0},
        {"", "a", -1},
        {"\xe9", "\xc9", 1},  // non-ASCII bytes are not folded
    };
    for (const Case& c : cases) {
        EXPECT_EQ(sign(lstrcmpiA(c.a, c.b)), c.order) << c.a << " vs " << c.b;
        EXPECT_EQ(sign(lstrcmpiA(c.b, c.a)), -c.order) << c.b << " vs " << c.a;
    }
}

TEST(Wsprintf, FormatsLikeSprintfAndAnswersTheLength) {
    char buffer[1024];
    EXPECT_EQ(wsprintfA(buffer, "%s.%s", "JOE", "EMP"), 7);
    EXPECT_STREQ(buffer, "JOE.EMP");
    EXPECT_EQ(wsprintfA(buffer, "%d rows, %u%%", -3, 40u), 12);
    EXPECT_STREQ(buffer, "-3 rows, 40%");
    EXPECT_EQ(wsprintfA(buffer, "%s", ""), 0);
    EXPECT_STREQ(buffer, "");
}

TEST(Wsprintf, WritesAtMost1024CharactersIncludingTheNul) {
    std::string longText(1500, 'a');
    char buffer[2048];
    std::memset(buffer, 'Z', sizeof buffer);
    EXPECT_EQ(wsprintfA(buffer, "%s", longText.c_str()), 1023);
    EXPECT_EQ(std::strlen(buffer), 1023u);
    EXPECT_EQ(buffer[1024], 'Z') << "nothing is written past the 1024th byte";

    std::memset(buffer, 'Z', sizeof buffer);
    std::string exact(1023, 'b');
    EXPECT_EQ(wsprintfA(buffer, "%s", exact.c_str()), 1023);
    EXPECT_EQ(std::string(buffer), exact);
}

}  // namespace
