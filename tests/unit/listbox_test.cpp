/*
 * listbox_test.cpp - list boxes and combo boxes: sorted adds, prefix search, single and multiple
 * selection, item texts, and the type pickers' window-and-control packing.
 */
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kwuser.h"
#include "user_test_module.h"

namespace {

using namespace usertest;

class Lists : public UserTest {
  protected:
    void within(std::function<void(HWND)> check) {
        inspect(std::move(check));
        kwuser_scriptClick(IDCANCEL);
        recorder().handler = endOnButtons;
        run(kRights);
        EXPECT_EQ(kwuser_scriptPendingActions(), 0);
    }
};

LRESULT send(HWND dialog, int id, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
    return SendDlgItemMessageA(dialog, id, message, wParam, lParam);
}

LRESULT add(HWND dialog, int id, const char* text) {
    UINT message = id == kTypes || id == kSortedTypes ? CB_ADDSTRING : LB_ADDSTRING;
    return send(dialog, id, message, 0, reinterpret_cast<LPARAM>(text));
}

std::vector<std::string> items(HWND dialog, int id) {
    std::vector<std::string> out;
    for (int i = 0; i < send(dialog, id, LB_GETCOUNT); ++i) {
        out.push_back(itemText(dialog, id, i));
    }
    return out;
}

using Texts = std::vector<std::string>;

TEST_F(Lists, SortedListsInsertInCaseInsensitiveOrderAndOthersAppend) {
    within([](HWND dialog) {
        EXPECT_EQ(add(dialog, kTables, "emp"), 0);
        EXPECT_EQ(add(dialog, kTables, "DEPT"), 0);
        EXPECT_EQ(add(dialog, kTables, "Project"), 2);
        EXPECT_EQ(add(dialog, kTables, "act"), 0);
        EXPECT_EQ(add(dialog, kTables, "emp_act"), 3);
        EXPECT_EQ(items(dialog, kTables), (Texts{"act", "DEPT", "emp", "emp_act", "Project"}));
        for (const char* text : {"emp", "DEPT", "act"}) {
            add(dialog, kPlainList, text);
        }
        EXPECT_EQ(items(dialog, kPlainList), (Texts{"emp", "DEPT", "act"}));
        EXPECT_EQ(send(dialog, kTables, LB_GETTEXTLEN, 3), 7);
        EXPECT_EQ(send(dialog, kTables, LB_GETTEXTLEN, 5), LB_ERR);
        char buffer[16];
        EXPECT_EQ(send(dialog, kTables, LB_GETTEXT, 9, reinterpret_cast<LPARAM>(buffer)), LB_ERR);
        EXPECT_EQ(send(dialog, kTables, LB_RESETCONTENT), 0);
        EXPECT_EQ(send(dialog, kTables, LB_GETCOUNT), 0);
    });
}

TEST_F(Lists, FindStringSearchesByPrefixAfterTheStartAndWrapsRound) {
    within([](HWND dialog) {
        for (const char* text : {"ename", "empno", "job", "Emp_Dept", "sal"}) {
            add(dialog, kPlainList, text);
        }
        struct Case {
            int start;
            const char* prefix;
            LRESULT found;
        };
        const Case cases[] = {
            {-1, "emp", 1},   // from the top
            {1, "emp", 3},    // after the start; "Emp_Dept" in another case
            {3, "emp", 1},    // wraps round
            {1, "EMPNO", 1},  // the start itself is searched last
            {-1, "salary", LB_ERR},
            {-1, "x", LB_ERR},
            {-1, "", 0},  // an empty prefix matches the next item
            {4, "", 0},
            {17, "job", 2},  // a start out of range searches from the top
        };
        for (const Case& c : cases) {
            EXPECT_EQ(send(dialog, kPlainList, LB_FINDSTRING, static_cast<WPARAM>(c.start),
                           reinterpret_cast<LPARAM>(c.prefix)),
                      c.found)
                << c.start << " " << c.prefix;
        }
        EXPECT_EQ(
            send(dialog, kColumns, LB_FINDSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>("a")),
            LB_ERR)
            << "an empty list finds nothing";
    });
}

TEST_F(Lists, SingleSelectionKeepsOneItemThatMovesWithSortedInserts) {
    within([](HWND dialog) {
        add(dialog, kTables, "emp");
        add(dialog, kTables, "staff");
        EXPECT_EQ(send(dialog, kTables, LB_GETCURSEL), LB_ERR);
        EXPECT_EQ(send(dialog, kTables, LB_SETCURSEL, 1), 1);
        EXPECT_EQ(send(dialog, kTables, LB_GETCURSEL), 1);
        add(dialog, kTables, "act");  // sorts before the selection
        EXPECT_EQ(send(dialog, kTables, LB_GETCURSEL), 2);
        EXPECT_EQ(itemText(dialog, kTables, 2), "staff");
        EXPECT_EQ(send(dialog, kTables, LB_GETSEL, 2), 1);
        EXPECT_EQ(send(dialog, kTables, LB_GETSEL, 0), 0);
        EXPECT_EQ(send(dialog, kTables, LB_SETCURSEL, 0), 0);
        EXPECT_EQ(send(dialog, kTables, LB_GETSEL, 2), 0) << "one item at a time";
        EXPECT_EQ(send(dialog, kTables, LB_SETCURSEL, 8), LB_ERR);
        EXPECT_EQ(send(dialog, kTables, LB_GETCURSEL), LB_ERR) << "a bad index clears the selection";
        send(dialog, kTables, LB_SETCURSEL, 1);
        EXPECT_EQ(send(dialog, kTables, LB_SETCURSEL, static_cast<WPARAM>(-1)), LB_ERR);
        EXPECT_EQ(send(dialog, kTables, LB_GETCURSEL), LB_ERR);
        // Multiple-selection messages do not apply to a single-selection list.
        EXPECT_EQ(send(dialog, kTables, LB_SETSEL, TRUE, 0), LB_ERR);
        EXPECT_EQ(send(dialog, kTables, LB_GETSELCOUNT), LB_ERR);
    });
}

TEST_F(Lists, MultipleSelectionSetsItemsOneByOneOrAllAtOnce) {
    within([](HWND dialog) {
        for (const char* text : {"sal", "ename", "job", "comm"}) {
            add(dialog, kColumns, text);  // sorted: comm, ename, job, sal
        }
        EXPECT_EQ(send(dialog, kColumns, LB_GETSELCOUNT), 0);
        EXPECT_EQ(send(dialog, kColumns, LB_SETSEL, TRUE, 3), 0);
        EXPECT_EQ(send(dialog, kColumns, LB_SETSEL, TRUE, 1), 0);
        EXPECT_EQ(send(dialog, kColumns, LB_SETSEL, TRUE, 9), LB_ERR);
        EXPECT_EQ(send(dialog, kColumns, LB_GETSELCOUNT), 2);
        int selected[4] = {-7, -7, -7, -7};
        EXPECT_EQ(send(dialog, kColumns, LB_GETSELITEMS, 4, reinterpret_cast<LPARAM>(selected)), 2);
        EXPECT_EQ(selected[0], 1);
        EXPECT_EQ(selected[1], 3);
        EXPECT_EQ(selected[2], -7);
        EXPECT_EQ(send(dialog, kColumns, LB_SETSEL, TRUE, -1), 0);  // all
        EXPECT_EQ(send(dialog, kColumns, LB_GETSELCOUNT), 4);
        int firstTwo[2] = {};
        EXPECT_EQ(send(dialog, kColumns, LB_GETSELITEMS, 2, reinterpret_cast<LPARAM>(firstTwo)), 2)
            << "no more than the caller has room for";
        EXPECT_EQ(send(dialog, kColumns, LB_SETSEL, FALSE, 2), 0);
        EXPECT_EQ(send(dialog, kColumns, LB_GETSEL, 2), 0);
        EXPECT_EQ(send(dialog, kColumns, LB_SETSEL, FALSE, -1), 0);
        EXPECT_EQ(send(dialog, kColumns, LB_GETSELCOUNT), 0);
        EXPECT_EQ(send(dialog, kColumns, LB_SETCURSEL, 0), LB_ERR) << "single-selection only";
    });
}

TEST_F(Lists, RedrawSwitchingLeavesTheContentsAlone) {
    within([](HWND dialog) {
        EXPECT_EQ(send(dialog, kColumns, WM_SETREDRAW, FALSE), 0);
        add(dialog, kColumns, "ename");
        EXPECT_EQ(send(dialog, kColumns, WM_SETREDRAW, TRUE), 0);
        EXPECT_EQ(items(dialog, kColumns), (Texts{"ename"}));
    });
}

TEST_F(Lists, ComboBoxesAddFindAndSelect) {
    within([](HWND dialog) {
        for (const char* text : {"char", "varchar", "int", "smallint", "Decimal"}) {
            add(dialog, kTypes, text);
            add(dialog, kSortedTypes, text);
        }
        EXPECT_EQ(send(dialog, kTypes, CB_GETCOUNT), 5);
        char text[32];
        EXPECT_EQ(send(dialog, kTypes, CB_GETLBTEXT, 4, reinterpret_cast<LPARAM>(text)), 7);
        EXPECT_STREQ(text, "Decimal");
        EXPECT_EQ(send(dialog, kSortedTypes, CB_GETLBTEXT, 1, reinterpret_cast<LPARAM>(text)), 7);
        EXPECT_STREQ(text, "Decimal") << "CBS_SORT: char, Decimal, int, smallint, varchar";
        EXPECT_EQ(send(dialog, kTypes, CB_GETLBTEXTLEN, 1), 7);
        EXPECT_EQ(send(dialog, kTypes, CB_GETLBTEXTLEN, 5), CB_ERR);
        EXPECT_EQ(send(dialog, kTypes, CB_GETCURSEL), CB_ERR);
        LRESULT found =
            send(dialog, kTypes, CB_FINDSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>("int"));
        EXPECT_EQ(found, 2);
        EXPECT_EQ(send(dialog, kTypes, CB_SETCURSEL, static_cast<WPARAM>(found)), 2);
        EXPECT_EQ(send(dialog, kTypes, CB_GETCURSEL), 2);
        EXPECT_EQ(windowText(GetDlgItem(dialog, kTypes)), "int") << "a drop-down list shows its selection";
        EXPECT_EQ(send(dialog, kTypes, CB_SETCURSEL, 11), CB_ERR);
        EXPECT_EQ(send(dialog, kTypes, CB_GETCURSEL), CB_ERR);
        EXPECT_EQ(windowText(GetDlgItem(dialog, kTypes)), "");
        EXPECT_FALSE(SetWindowTextA(GetDlgItem(dialog, kTypes), "float")) << "a drop-down list has no edit";
        send(dialog, kTypes, CB_RESETCONTENT);
        EXPECT_EQ(send(dialog, kTypes, CB_GETCOUNT), 0);
    });
}

TEST_F(Lists, AWindowAndAControlIdShareOne32BitValue) {
    within([](HWND dialog) {
        // The type pickers receive the dialog in the high 16 bits and the control id in the low 16.
        int32_t packed = MAKELONG(kSortedTypes, reinterpret_cast<uintptr_t>(dialog));
        HWND window = reinterpret_cast<HWND>(static_cast<uintptr_t>(HIWORD(packed)));
        HWND combo = GetDlgItem(window, LOWORD(packed));
        EXPECT_EQ(window, dialog);
        ASSERT_NE(combo, nullptr);
        EXPECT_EQ(combo, GetDlgItem(dialog, kSortedTypes));
    });
}

}  // namespace
