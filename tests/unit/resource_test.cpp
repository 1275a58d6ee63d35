/*
 * resource_test.cpp - module registration, LoadStringA and template lookup.
 */
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "kwuser.h"
#include "user_test_module.h"

namespace {

using namespace usertest;

class Resources : public UserTest {};

TEST_F(Resources, LoadStringCopiesAtMostBufferMaxMinusOneCharactersAndANul) {
    struct Case {
        UINT id;
        int bufferMax;
        const char* text;
        int copied;
    };
    const Case cases[] =
        {
            {kHello, 80, "Hello", 5}, {kHello, 6, "Hello", 5}, {kHello, 5, "Hell", 4},
            {kHello, 1, "", 0},       {kEmpty, 80, "", 0},     {kLong, 11, "0123456789", 10},
            {999, 80, "", 0},  // no such string: an empty buffer
        };
    for (const Case& c : cases) {
        char buffer[100];
        std::memset(buffer, '#', sizeof buffer);
        EXPECT_EQ(LoadStringA(module_, c.id, buffer, c.bufferMax), c.copied) << c.id << "/" << c.bufferMax;
        EXPECT_STREQ(buffer, c.text) << c.id << "/" << c.bufferMax;
        EXPECT_EQ(buffer[c.copied + 1], '#') << "written past the NUL";
    }
}

TEST_F(Resources, LoadStringWithNoRoomWritesNothing) {
    char buffer[4] = {'x', 'y', 'z', '\0'};
    EXPECT_EQ(LoadStringA(module_, kHello, buffer, 0), 0);
    EXPECT_STREQ(buffer, "xyz");
    EXPECT_EQ(LoadStringA(module_, kHello, nullptr, 10), 0);
}

TEST_F(Resources, EachModuleAnswersFromItsOwnStringTable) {
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

    kwuser_unregisterModule(second);
    EXPECT_EQ(LoadStringA(second, kHello, buffer, sizeof buffer), 0);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(LoadStringA(nullptr, kHello, buffer, sizeof buffer), 0);
}

TEST_F(Resources, FindsTemplatesOfARegisteredModuleOnly) {
    const KwDialogTemplate* found = kwuser_findTemplate(module_, kSignOn);
    ASSERT_NE(found, nullptr);
    EXPECT_STREQ(found->title, "Sign On");
    EXPECT_EQ(kwuser_findTemplate(module_, 12345), nullptr);
    EXPECT_EQ(kwuser_findTemplate(nullptr, kSignOn), nullptr);
}

TEST(ModuleRegistration, RefusesTablesWhoseCountsPointAtNothing) {
    const KwModuleResources noStrings = {"bad", nullptr, 3, nullptr, 0};
    const KwModuleResources noDialogs = {"bad", nullptr, 0, nullptr, 2};
    const KwDialogTemplate noControls[] = {{1, "x", "Helv", 8, 10, 10, nullptr, 4}};
    const KwModuleResources badDialog = {"bad", nullptr, 0, noControls, 1};
    const KwModuleResources negative = {"bad", nullptr, -1, nullptr, 0};
    EXPECT_EQ(kwuser_registerModule(nullptr), nullptr);
    EXPECT_EQ(kwuser_registerModule(&noStrings), nullptr);
    EXPECT_EQ(kwuser_registerModule(&noDialogs), nullptr);
    EXPECT_EQ(kwuser_registerModule(&badDialog), nullptr);
    EXPECT_EQ(kwuser_registerModule(&negative), nullptr);
}

}  // namespace
