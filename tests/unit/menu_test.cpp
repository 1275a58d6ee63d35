/*
 * menu_test.cpp - CreateMenu, InsertMenuA and the menu queries.
 */
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "kwuser.h"

namespace {

using Items = std::vector<std::pair<UINT, std::string>>;

Items itemsOf(HMENU menu) {
    Items items;
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        char text[100];
        GetMenuStringA(menu, static_cast<UINT>(i), text, sizeof text, MF_BYPOSITION);
        items.emplace_back(GetMenuItemID(menu, i), text);
    }
    return items;
}

class Menus : public ::testing::Test {
  protected:
    void SetUp() override { menu_ = CreateMenu(); }
    void TearDown() override { DestroyMenu(menu_); }
    HMENU menu_ = nullptr;
};

TEST_F(Menus, InsertByPositionPlacesTheItemThereAndAppendsPastTheEnd) {
    ASSERT_NE(menu_, nullptr);
    EXPECT_EQ(GetMenuItemCount(menu_), 0);
    EXPECT_TRUE(InsertMenuA(menu_, 0, MF_BYPOSITION | MF_STRING, 10, "&Open"));
    EXPECT_TRUE(InsertMenuA(menu_, 5, MF_BYPOSITION | MF_STRING, 30, "E&xit"));  // past the end
    EXPECT_TRUE(InsertMenuA(menu_, 1, MF_BYPOSITION | MF_STRING, 20, "&Save"));
    EXPECT_TRUE(InsertMenuA(menu_, 0xFFFFFFFF, MF_BYPOSITION | MF_STRING, 40, "&About"));
    // The security command goes in front of whatever the host has there.
    EXPECT_TRUE(InsertMenuA(menu_, 0, MF_BYPOSITION | MF_STRING, 4812, "Table &Security..."));
    EXPECT_EQ(
        itemsOf(menu_),
        (Items{{4812, "Table &Security..."}, {10, "&Open"}, {20, "&Save"}, {30, "E&xit"}, {40, "&About"}}));
}

TEST_F(Menus, InsertByCommandGoesBeforeTheItemWithThatId) {
    InsertMenuA(menu_, 0, MF_BYPOSITION, 10, "one");
    InsertMenuA(menu_, 1, MF_BYPOSITION, 30, "three");
    EXPECT_TRUE(InsertMenuA(menu_, 30, MF_BYCOMMAND | MF_STRING, 20, "two"));
    EXPECT_FALSE(InsertMenuA(menu_, 99, MF_BYCOMMAND | MF_STRING, 50, "nowhere"));
    EXPECT_EQ(itemsOf(menu_), (Items{{10, "one"}, {20, "two"}, {30, "three"}}));
}

TEST_F(Menus, GetMenuStringFollowsTheTruncationRule) {
    InsertMenuA(menu_, 0, MF_BYPOSITION, 7, "Refresh");
    char text[8] = "???????";
    EXPECT_EQ(GetMenuStringA(menu_, 7, text, 5, MF_BYCOMMAND), 4);
    EXPECT_STREQ(text, "Refr");
    EXPECT_EQ(GetMenuStringA(menu_, 0, nullptr, 0, MF_BYPOSITION), 7) << "no buffer: the length";
    EXPECT_EQ(GetMenuStringA(menu_, 3, text, sizeof text, MF_BYPOSITION), 0);
    EXPECT_STREQ(text, "");
    EXPECT_EQ(GetMenuStringA(menu_, 8, text, sizeof text, MF_BYCOMMAND), 0);
}

TEST_F(Menus, RefusesItemsItDoesNotKeepAndMenusThatDoNotExist) {
    const UINT popup = 0x10, separator = 0x800;
    EXPECT_FALSE(InsertMenuA(menu_, 0, MF_BYPOSITION | popup, 1, "Sub"));
    EXPECT_FALSE(InsertMenuA(menu_, 0, MF_BYPOSITION | separator, 0, ""));
    EXPECT_FALSE(InsertMenuA(menu_, 0, MF_BYPOSITION, 1, nullptr));
    EXPECT_EQ(GetMenuItemCount(menu_), 0);
    EXPECT_EQ(GetMenuItemID(menu_, 0), static_cast<UINT>(-1));

    HMENU gone = CreateMenu();
    EXPECT_TRUE(DestroyMenu(gone));
    EXPECT_FALSE(DestroyMenu(gone));
    EXPECT_EQ(GetMenuItemCount(gone), -1);
    EXPECT_FALSE(InsertMenuA(gone, 0, MF_BYPOSITION, 1, "x"));
}

TEST_F(Menus, LiveMenusHaveDistinctSmallHandles) {
    HMENU other = CreateMenu();
    EXPECT_NE(other, menu_);
    EXPECT_NE(other, nullptr);
    EXPECT_LT(reinterpret_cast<uintptr_t>(other), 65536u);
    InsertMenuA(other, 0, MF_BYPOSITION, 1, "x");
    EXPECT_EQ(GetMenuItemCount(menu_), 0) << "menus do not share items";
    DestroyMenu(other);
}

TEST_F(Menus, AHandleComesBackOnlyAfterTheRestOfTheSpaceHasBeenOffered) {
    HMENU first = CreateMenu();
    DestroyMenu(first);
    HMENU second = CreateMenu();
    EXPECT_NE(second, first) << "a handle just released is not handed out again at once";
    DestroyMenu(second);
}

TEST_F(Menus, AnExhaustedHandleSpaceAnswersNullAndRecovers) {
    std::vector<HMENU> menus;
    for (int i = 0; i < 70000; ++i) {
        HMENU menu = CreateMenu();
        if (menu == nullptr) {
            break;
        }
        menus.push_back(menu);
    }
    ASSERT_LT(menus.size(), 65535u) << "the fixture's menu and other objects hold handles too";
    EXPECT_GT(menus.size(), 60000u);
    EXPECT_EQ(CreateMenu(), nullptr);
    EXPECT_TRUE(DestroyMenu(menus.back()));
    menus.pop_back();
    HMENU again = CreateMenu();
    EXPECT_NE(again, nullptr);
    EXPECT_EQ(GetMenuItemCount(again), 0);
    menus.push_back(again);
    for (HMENU menu : menus) {
        DestroyMenu(menu);
    }
    EXPECT_EQ(GetMenuItemCount(menu_), 0) << "the fixture's menu was never touched";
}

}  // namespace
