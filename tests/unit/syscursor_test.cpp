/*
 * syscursor_test.cpp - LoadCursorA, SetCursor and GetCursor.
 */
#include <gtest/gtest.h>

#include "kwuser.h"

namespace {

TEST(Cursors, SystemCursorsHaveDistinctStableHandles) {
    HCURSOR arrow = LoadCursorA(nullptr, IDC_ARROW);
    HCURSOR wait = LoadCursorA(nullptr, IDC_WAIT);
    ASSERT_NE(arrow, nullptr);
    ASSERT_NE(wait, nullptr);
    EXPECT_NE(arrow, wait);
    EXPECT_EQ(LoadCursorA(nullptr, IDC_ARROW), arrow);
    EXPECT_EQ(LoadCursorA(nullptr, IDC_WAIT), wait);
    EXPECT_LT(reinterpret_cast<uintptr_t>(wait), 65536u);
}

TEST(Cursors, OnlySystemCursorsExist) {
    EXPECT_EQ(LoadCursorA(nullptr, MAKEINTRESOURCEA(1)), nullptr);
    EXPECT_EQ(LoadCursorA(reinterpret_cast<HINSTANCE>(uintptr_t{5}), IDC_ARROW), nullptr);
    EXPECT_EQ(LoadCursorA(nullptr, "ARROW"), nullptr);
}

TEST(Cursors, SetCursorAnswersThePreviousCursor) {
    HCURSOR arrow = LoadCursorA(nullptr, IDC_ARROW);
    HCURSOR wait = LoadCursorA(nullptr, IDC_WAIT);
    SetCursor(arrow);
    EXPECT_EQ(SetCursor(wait), arrow);
    EXPECT_EQ(GetCursor(), wait);
    EXPECT_EQ(SetCursor(nullptr), wait);  // hides the cursor
    EXPECT_EQ(GetCursor(), nullptr);
    EXPECT_EQ(SetCursor(arrow), nullptr);
    EXPECT_EQ(GetCursor(), arrow);
}

TEST(Cursors, SetCursorIgnoresAHandleThatIsNoCursor) {
    HCURSOR arrow = LoadCursorA(nullptr, IDC_ARROW);
    SetCursor(arrow);
    HMENU menu = CreateMenu();
    EXPECT_EQ(SetCursor(reinterpret_cast<HCURSOR>(menu)), nullptr);
    EXPECT_EQ(SetCursor(reinterpret_cast<HCURSOR>(uintptr_t{0x12345678})), nullptr);
    EXPECT_EQ(GetCursor(), arrow);
    DestroyMenu(menu);
}

}  // namespace
