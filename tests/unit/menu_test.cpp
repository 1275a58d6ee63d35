/*
 * menu_test.cpp - menus (CreateMenu, InsertMenuA, the queries and the handle space) and the system
 * cursors (LoadCursorA, SetCursor, GetCursor).
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
    BOOL insertAt(UINT position, UINT id, const char* text) {
        return InsertMenuA(menu_, position, MF_BYPOSITION | MF_STRING, id, text);
    }
    HMENU menu_ = nullptr;
};

TEST_F(Menus, InsertPlacesTheItemAtItsPositionOrBeforeTheItemWithTheCommandAndTheTextReadsBack) {
    ASSERT_NE(menu_, nullptr);
    EXPECT_EQ(GetMenuItemCount(menu_), 0);
    EXPECT_TRUE(insertAt(0, 10, "&Open"));
    EXPECT_TRUE(insertAt(5, 30, "E&xit"));  // past the end: appended
    EXPECT_TRUE(insertAt(1, 20, "&Save"));
    EXPECT_TRUE(insertAt(0xFFFFFFFF, 40, "&About"));
    EXPECT_TRUE(insertAt(0, 4812, "Table &Security..."));  // in front of whatever the host has there
    EXPECT_TRUE(InsertMenuA(menu_, 30, MF_BYCOMMAND | MF_STRING, 25, "&Print"));
    EXPECT_FALSE(InsertMenuA(menu_, 99, MF_BYCOMMAND | MF_STRING, 50, "nowhere"));
    EXPECT_EQ(itemsOf(menu_), (Items{{4812, "Table &Security..."},
                                     {10, "&Open"},
                                     {20, "&Save"},
                                     {25, "&Print"},
                                     {30, "E&xit"},
                                     {40, "&About"}}));

    char text[8] = "???????";  // GetMenuStringA follows the truncation rule
    EXPECT_EQ(GetMenuStringA(menu_, 20, text, 5, MF_BYCOMMAND), 4);
    EXPECT_STREQ(text, "&Sav");
    EXPECT_EQ(GetMenuStringA(menu_, 1, nullptr, 0, MF_BYPOSITION), 5) << "no buffer: the length";
    EXPECT_EQ(GetMenuStringA(menu_, 6, text, sizeof text, MF_BYPOSITION), 0);
    EXPECT_STREQ(text, "");
    EXPECT_EQ(GetMenuStringA(menu_, 8, text, sizeof text, MF_BYCOMMAND), 0);
}

TEST_F(Menus, RefusesItemsItDoesNotKeepAndMenusThatDoNotExist) {
    const UINT popup = 0x10, separator = 0x800;
    EXPECT_FALSE(InsertMenuA(menu_, 0, MF_BYPOSITION | popup, 1, "Sub"));
    EXPECT_FALSE(InsertMenuA(menu_, 0, MF_BYPOSITION | separator, 0, ""));
    EXPECT_FALSE(insertAt(0, 1, nullptr));
    EXPECT_EQ(GetMenuItemCount(menu_), 0);
    EXPECT_EQ(GetMenuItemID(menu_, 0), static_cast<UINT>(-1));

    HMENU gone = CreateMenu();
    EXPECT_TRUE(DestroyMenu(gone));
    EXPECT_FALSE(DestroyMenu(gone));
    EXPECT_EQ(GetMenuItemCount(gone), -1);
    EXPECT_FALSE(InsertMenuA(gone, 0, MF_BYPOSITION, 1, "x"));
}

TEST_F(Menus, HandlesAreSmallDistinctNotReusedAtOnceAndRecoverFromExhaustion) {
    HMENU first = CreateMenu();
    EXPECT_NE(first, menu_);
    EXPECT_NE(first, nullptr);
    EXPECT_LT(reinterpret_cast<uintptr_t>(first), 65536u);
    InsertMenuA(first, 0, MF_BYPOSITION, 1, "x");
    EXPECT_EQ(GetMenuItemCount(menu_), 0) << "menus do not share items";
    DestroyMenu(first);
    HMENU second = CreateMenu();
    EXPECT_NE(second, first) << "a handle just released is not handed out again at once";

    std::vector<HMENU> menus{second};
    for (HMENU menu = CreateMenu(); menu != nullptr && menus.size() < 70000; menu = CreateMenu()) {
        menus.push_back(menu);
    }
    ASSERT_LT(menus.size(), 65535u) << "the fixture's menu and other objects hold handles too";
    EXPECT_GT(menus.size(), 60000u);
    EXPECT_EQ(CreateMenu(), nullptr);
    EXPECT_TRUE(DestroyMenu(menus.back()));
    menus.back() = CreateMenu();
    EXPECT_NE(menus.back(), nullptr);
    EXPECT_EQ(GetMenuItemCount(menus.back()), 0);
    for (HMENU menu : menus) {
        DestroyMenu(menu);
    }
    EXPECT_EQ(GetMenuItemCount(menu_), 0) << "the fixture's menu was never touched";
}

TEST(Cursors, OnlySystemCursorsExistAndSetCursorAnswersThePreviousOne) {
    HCURSOR arrow = LoadCursorA(nullptr, IDC_ARROW), wait = LoadCursorA(nullptr, IDC_WAIT);
    ASSERT_NE(arrow, nullptr);
    EXPECT_NE(arrow, wait);
    EXPECT_EQ(LoadCursorA(nullptr, IDC_WAIT), wait);
    EXPECT_LT(reinterpret_cast<uintptr_t>(wait), 65536u);
    for (HCURSOR none :
         {LoadCursorA(nullptr, MAKEINTRESOURCEA(1)),
          LoadCursorA(reinterpret_cast<HINSTANCE>(uintptr_t{5}), IDC_ARROW), LoadCursorA(nullptr, "ARROW")}) {
        EXPECT_EQ(none, nullptr);
    }
    SetCursor(arrow);
    EXPECT_EQ(SetCursor(wait), arrow);
    EXPECT_EQ(SetCursor(nullptr), wait);  // hides the cursor
    EXPECT_EQ(GetCursor(), nullptr);
    EXPECT_EQ(SetCursor(arrow), nullptr);
    HMENU menu = CreateMenu();  // a handle, but no cursor: ignored
    EXPECT_EQ(SetCursor(reinterpret_cast<HCURSOR>(menu)), nullptr);
    EXPECT_EQ(SetCursor(reinterpret_cast<HCURSOR>(uintptr_t{0x12345678})), nullptr);
    EXPECT_EQ(GetCursor(), arrow);
    DestroyMenu(menu);
}

}  // namespace
