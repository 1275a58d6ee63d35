/*
 * text_test.cpp - CharUpperA, CharLowerA, lstrcmpiA and wsprintfA; module registration,
 * LoadStringA and template lookup.
 */
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>

#include "kwuser.h"
#include "user_test_module.h"

namespace {

using namespace usertest;

TEST(CharCase, ConvertsAsciiLettersInPlaceOrOneCharacterCarriedInThePointer) {
    const char* cases[][3] = {
        {"select * from Emp", "SELECT * FROM EMP", "select * from emp"},
        {"a_Z@[`{09", "A_Z@[`{09", "a_z@[`{09"},  // the bytes around the letter ranges stay
        {"caf\xe9 \xc9T\xc9", "CAF\xe9 \xc9T\xc9", "caf\xe9 \xc9t\xc9"},  // Latin-1 letters are not ASCII
        {"", "", ""},
    };
    for (const auto& [text, upper, lower] : cases) {
        std::string up = text, low = text;
        EXPECT_EQ(CharUpperA(up.data()), up.data());
        EXPECT_EQ(CharLowerA(low.data()), low.data());
        EXPECT_EQ(up, upper) << text;
        EXPECT_EQ(low, lower) << text;
    }
    auto one = [](char* (*convert)(char*), uintptr_t c) {
        return reinterpret_cast<uintptr_t>(convert(reinterpret_cast<char*>(c)));
    };
    EXPECT_EQ(one(CharUpperA, 'q'), uintptr_t{'Q'});
    EXPECT_EQ(one(CharLowerA, 'Q'), uintptr_t{'q'});
    EXPECT_EQ(one(CharUpperA, '7'), uintptr_t{'7'});
    EXPECT_EQ(CharUpperA(nullptr), nullptr);
}

TEST(Lstrcmpi, ComparesIgnoringAsciiCaseAndAnswersTheOrder) {
    const std::tuple<const char*, const char*, int> cases[] = {
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
    auto sign = [](int value) { return (value > 0) - (value < 0); };
    for (const auto& [a, b, order] : cases) {
        EXPECT_EQ(sign(lstrcmpiA(a, b)), order) << a << " vs " << b;
        EXPECT_EQ(sign(lstrcmpiA(b, a)), -order) << b << " vs " << a;
    }
}

TEST(Wsprintf, FormatsLikeSprintfAndWritesAtMost1024CharactersIncludingTheNul) {
    char buffer[2048];
    EXPECT_EQ(wsprintfA(buffer, "%s.%s", "JOE", "EMP"), 7);
    EXPECT_STREQ(buffer, "JOE.EMP");
    EXPECT_EQ(wsprintfA(buffer, "%d rows, %u%%", -3, 40u), 12);
    EXPECT_STREQ(buffer, "-3 rows, 40%");
    EXPECT_EQ(wsprintfA(buffer, "%s", ""), 0);
    EXPECT_STREQ(buffer, "");
    for (size_t length : {1023, 1500}) {
        std::string text(length, 'a');
        std::memset(buffer, 'Z', sizeof buffer);
        EXPECT_EQ(wsprintfA(buffer, "%s", text.c_str()), 1023) << length;
        EXPECT_EQ(std::string(buffer), text.substr(0, 1023)) << length;
        EXPECT_EQ(buffer[1024], 'Z') << "nothing is written past the 1024th byte";
    }
}

class Resources : public UserTest {};

TEST_F(Resources, EachModuleAnswersFromItsOwnTablesAndLoadStringCopiesAtMostBufferMaxMinusOne) {
    const std::tuple<UINT, int, const char*, int> cases[] =
        {
            {kHello, 80, "Hello", 5}, {kHello, 6, "Hello", 5}, {kHello, 5, "Hell", 4},
            {kHello, 1, "", 0},       {kEmpty, 80, "", 0},     {kLong, 11, "0123456789", 10},
            {999, 80, "", 0},  // no such string: an empty buffer
        };
    for (const auto& [id, bufferMax, text, copied] : cases) {
        char buffer[100];
        std::memset(buffer, '#', sizeof buffer);
        EXPECT_EQ(LoadStringA(module_, id, buffer, bufferMax), copied) << id << "/" << bufferMax;
        EXPECT_STREQ(buffer, text) << id << "/" << bufferMax;
        EXPECT_EQ(buffer[copied + 1], '#') << "written past the NUL";
    }
    char untouched[4] = "xyz";
    EXPECT_EQ(LoadStringA(module_, kHello, untouched, 0), 0) << "no room: nothing written";
    EXPECT_STREQ(untouched, "xyz");
    EXPECT_EQ(LoadStringA(module_, kHello, nullptr, 10), 0);

    // Each module answers from its own tables.
    const KwStringResource otherStrings[] = {{kHello, "Other"}};
    const KwModuleResources other = {"other", otherStrings, 1, nullptr, 0};
    HINSTANCE second = kwuser_registerModule(&other);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(second, module_);
    EXPECT_LT(reinterpret_cast<uintptr_t>(second), 65536u);

    char buffer[20];
    LoadStringA(second, kHello, buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "Other");
    LoadStringA(module_, kHello, buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "Hello");
    const KwDialogTemplate* found = kwuser_findTemplate(module_, kSignOn);
    ASSERT_NE(found, nullptr);
    EXPECT_STREQ(found->title, "Sign On");
    EXPECT_EQ(kwuser_findTemplate(second, kSignOn), nullptr);
    EXPECT_EQ(kwuser_findTemplate(module_, 12345), nullptr);
    EXPECT_EQ(kwuser_findTemplate(nullptr, kSignOn), nullptr);

    kwuser_unregisterModule(second);
    EXPECT_EQ(LoadStringA(second, kHello, buffer, sizeof buffer), 0);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(LoadStringA(nullptr, kHello, buffer, sizeof buffer), 0);
}

TEST(ModuleRegistration, RefusesTablesWhoseCountsPointAtNothing) {
    const KwDialogTemplate noControls[] = {{1, "x", "Helv", 8, 10, 10, nullptr, 4}};
    const KwModuleResources noStrings = {"bad", nullptr, 3, nullptr, 0},
                            noDialogs = {"bad", nullptr, 0, nullptr, 2},
                            badDialog = {"bad", nullptr, 0, noControls, 1},
                            negative = {"bad", nullptr, -1, nullptr, 0};
    for (const KwModuleResources* bad : std::initializer_list<const KwModuleResources*>{
             nullptr, &noStrings, &noDialogs, &badDialog, &negative}) {
        EXPECT_EQ(kwuser_registerModule(bad), nullptr);
    }
}

}  // namespace
