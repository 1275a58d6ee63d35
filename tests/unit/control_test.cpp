/*
 * control_test.cpp - window text and its truncation, edit limits, enabled state, focus, the check
 * states of the button styles, and list and combo boxes: sorted adds, prefix search, single and
 * multiple selection and item texts.
 */
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "kwuser.h"
#include "user_test_module.h"

namespace {

using namespace usertest;
using Texts = std::vector<std::string>;

class Controls : public UserTest {};

LRESULT send(HWND dialog, int id, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
    return SendDlgItemMessageA(dialog, id, message, wParam, lParam);
}

TEST_F(Controls, TextReadsFollowTheTruncationRule) {
    within(kSignOn, [](HWND dialog) {
        HWND user = GetDlgItem(dialog, kUser);  // "guest"
        const std::function<LRESULT(char*, int)> reads[] = {
            [&](char* buffer, int max) { return GetWindowTextA(user, buffer, max); },
            [&](char* buffer, int max) { return LRESULT{GetDlgItemTextA(dialog, kUser, buffer, max)}; },
            [&](char* buffer, int max) {
                return SendMessageA(user, WM_GETTEXT, static_cast<WPARAM>(max),
                                    reinterpret_cast<LPARAM>(buffer));
            },
        };
        const std::tuple<int, const char*, int> cases[] = {
            {100, "guest", 5}, {6, "guest", 5}, {5, "gues", 4}, {2, "g", 1}, {1, "", 0}};
        for (const auto& [bufferMax, text, copied] : cases) {
            for (size_t way = 0; way < std::size(reads); ++way) {
                char buffer[100];
                std::memset(buffer, '#', sizeof buffer);
                EXPECT_EQ(reads[way](buffer, bufferMax), copied) << way << "/" << bufferMax;
                EXPECT_STREQ(buffer, text) << way << "/" << bufferMax;
                EXPECT_EQ(buffer[copied + 1], '#') << way << "/" << bufferMax;
            }
        }
        char untouched[4] = "abc";
        EXPECT_EQ(GetWindowTextA(user, untouched, 0), 0);
        EXPECT_STREQ(untouched, "abc");
        EXPECT_EQ(GetWindowTextLengthA(user), 5);
        EXPECT_EQ(SendMessageA(user, WM_GETTEXTLENGTH, 0, 0), 5);
        char missing[8] = "xyz";
        EXPECT_EQ(GetDlgItemTextA(dialog, 4242, missing, sizeof missing), 0u);
        EXPECT_STREQ(missing, "") << "an unknown control reads as empty";
    });
}

TEST_F(Controls, SetTextReachesEveryWayOfReadingIt) {
    within(kSignOn, [](HWND dialog) {
        HWND server = GetDlgItem(dialog, kServer);
        EXPECT_TRUE(SetDlgItemTextA(dialog, kBanner, "Sign on to the test server:"));
        EXPECT_EQ(windowText(GetDlgItem(dialog, kBanner)), "Sign on to the test server:");
        EXPECT_TRUE(SetWindowTextA(server, "db2prod"));
        EXPECT_EQ(windowText(server), "db2prod");
        EXPECT_EQ(send(dialog, kServer, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("db2test")), TRUE);
        EXPECT_EQ(windowText(server), "db2test");
        EXPECT_TRUE(SetWindowTextA(server, nullptr));
        EXPECT_EQ(GetWindowTextLengthA(server), 0);
        EXPECT_TRUE(SetWindowTextA(dialog, "Another title"));
        EXPECT_EQ(windowText(dialog), "Another title");
        EXPECT_FALSE(SetDlgItemTextA(dialog, 4242, "x"));
    });
}

TEST_F(Controls, EditLimitAppliesToTypingButNotToSetText) {
    recorder().handler = [](HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) -> BOOL {
        applySignOnRules(dialog, message, wParam);  // limits the user name to 8 characters
        return endOnButtons(dialog, message, wParam, lParam);
    };
    kwuser_scriptType(kUser, "ABCDEFGHIJKL");
    inspect([](HWND dialog) {
        EXPECT_EQ(windowText(GetDlgItem(dialog, kUser)), "ABCDEFGH");
        SetDlgItemTextA(dialog, kUser, "0123456789ABCDEF");
        EXPECT_EQ(windowText(GetDlgItem(dialog, kUser)), "0123456789ABCDEF");
        send(dialog, kUser, EM_LIMITTEXT, 0);  // 0 lifts the limit
    });
    kwuser_scriptType(kUser, std::string(300, 'x').c_str());
    within(kSignOn, [](HWND dialog) { EXPECT_EQ(GetWindowTextLengthA(GetDlgItem(dialog, kUser)), 300); });
}

TEST_F(Controls, EnablingAndFocus) {
    within(kSignOn, [](HWND dialog) {
        HWND ok = GetDlgItem(dialog, IDOK);  // starts disabled
        HWND server = GetDlgItem(dialog, kServer), user = GetDlgItem(dialog, kUser);
        SetFocus(server);
        EXPECT_EQ(SetFocus(user), server) << "SetFocus answers the previous focus";
        EXPECT_EQ(GetFocus(), user);
        EXPECT_EQ(SetFocus(ok), nullptr) << "OK is disabled";
        EXPECT_EQ(GetFocus(), user);
        EnableWindow(user, FALSE);
        EXPECT_EQ(GetFocus(), nullptr) << "a disabled window loses the focus";
        EXPECT_EQ(SetFocus(server), nullptr);
        EXPECT_EQ(GetFocus(), server);
        // EnableWindow answers whether the window was disabled.
        EXPECT_TRUE(EnableWindow(ok, TRUE));
        EXPECT_TRUE(IsWindowEnabled(ok));
        EXPECT_FALSE(EnableWindow(ok, TRUE));
        EXPECT_FALSE(EnableWindow(ok, FALSE));
        EXPECT_FALSE(IsWindowEnabled(ok));
        EXPECT_FALSE(IsWindowEnabled(nullptr));
    });
}

TEST_F(Controls, CheckStatesDependOnTheButtonStyle) {
    const std::tuple<int, UINT, UINT> cases[] = {
        {kRead3State, BST_INDETERMINATE, BST_INDETERMINATE},
        {kRead3State, BST_CHECKED, BST_CHECKED},
        {kWriteAuto3State, BST_INDETERMINATE, BST_INDETERMINATE},
        {kGrantCheck, BST_INDETERMINATE, BST_CHECKED},  // a two-state box shows the third state as checked
        {kAuditAutoCheck, BST_CHECKED, BST_CHECKED},
        {kAuditAutoCheck, BST_UNCHECKED, BST_UNCHECKED},
        {IDOK, BST_CHECKED, BST_UNCHECKED},  // a push button has no check state
    };
    within(kRights, [&](HWND dialog) {
        for (const auto& [id, set, expected] : cases) {
            send(dialog, id, BM_SETCHECK, set);
            EXPECT_EQ(static_cast<UINT>(send(dialog, id, BM_GETCHECK)), expected) << id;
            EXPECT_EQ(IsDlgButtonChecked(dialog, id), expected) << id;
        }
        EXPECT_TRUE(CheckDlgButton(dialog, kRead3State, BST_UNCHECKED));
        send(dialog, kRead3State, BM_SETCHECK, 7);  // no such state: ignored
        EXPECT_EQ(IsDlgButtonChecked(dialog, kRead3State), static_cast<UINT>(BST_UNCHECKED));
        EXPECT_FALSE(CheckDlgButton(dialog, 4242, BST_CHECKED));
        EXPECT_EQ(IsDlgButtonChecked(dialog, 4242), 0u);
    });
}

LRESULT add(HWND dialog, int id, const char* text) {
    return send(dialog, id, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
}

Texts items(HWND dialog, int id) {
    Texts out;
    for (int i = 0; i < send(dialog, id, LB_GETCOUNT); ++i) {
        std::string text(static_cast<size_t>(send(dialog, id, LB_GETTEXTLEN, static_cast<WPARAM>(i))), '\0');
        EXPECT_EQ(send(dialog, id, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text.data())),
                  static_cast<LRESULT>(text.size()));
        out.push_back(text);
    }
    return out;
}

TEST_F(Controls, SortedListsInsertInCaseInsensitiveOrderAndOthersAppend) {
    within(kRights, [](HWND dialog) {
        EXPECT_EQ(add(dialog, kTables, "emp"), 0);
        EXPECT_EQ(add(dialog, kTables, "DEPT"), 0);
        EXPECT_EQ(add(dialog, kTables, "Project"), 2);
        EXPECT_EQ(add(dialog, kTables, "act"), 0);
        EXPECT_EQ(add(dialog, kTables, "emp_act"), 3);
        EXPECT_EQ(items(dialog, kTables), (Texts{"act", "DEPT", "emp", "emp_act", "Project"}));
        addItems(dialog, kPlainList, {"emp", "DEPT", "act"});
        EXPECT_EQ(items(dialog, kPlainList), (Texts{"emp", "DEPT", "act"}));
        EXPECT_EQ(send(dialog, kTables, LB_GETTEXTLEN, 3), 7);
        EXPECT_EQ(send(dialog, kTables, LB_GETTEXTLEN, 5), LB_ERR);
        char buffer[16];
        EXPECT_EQ(send(dialog, kTables, LB_GETTEXT, 9, reinterpret_cast<LPARAM>(buffer)), LB_ERR);
        EXPECT_EQ(send(dialog, kTables, LB_RESETCONTENT), 0);
        EXPECT_EQ(send(dialog, kTables, LB_GETCOUNT), 0);
    });
}

TEST_F(Controls, FindStringSearchesByPrefixAfterTheStartAndWrapsRound) {
    within(kRights, [](HWND dialog) {
        addItems(dialog, kPlainList, {"ename", "empno", "job", "Emp_Dept", "sal"});
        const std::tuple<int, const char*, LRESULT> cases[] = {
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
        for (const auto& [start, prefix, found] : cases) {
            EXPECT_EQ(send(dialog, kPlainList, LB_FINDSTRING, static_cast<WPARAM>(start),
                           reinterpret_cast<LPARAM>(prefix)),
                      found)
                << start << " " << prefix;
        }
        EXPECT_EQ(
            send(dialog, kColumns, LB_FINDSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>("a")),
            LB_ERR)
            << "an empty list finds nothing";
    });
}

TEST_F(Controls, SingleSelectionKeepsOneItemThatMovesWithSortedInserts) {
    within(kRights, [](HWND dialog) {
        addItems(dialog, kTables, {"emp", "staff"});
        EXPECT_EQ(send(dialog, kTables, LB_GETCURSEL), LB_ERR);
        EXPECT_EQ(send(dialog, kTables, LB_SETCURSEL, 1), 1);
        EXPECT_EQ(send(dialog, kTables, LB_GETCURSEL), 1);
        add(dialog, kTables, "act");  // sorts before the selection
        EXPECT_EQ(send(dialog, kTables, LB_GETCURSEL), 2);
        EXPECT_EQ(items(dialog, kTables)[2], "staff");
        EXPECT_EQ(send(dialog, kTables, LB_GETSEL, 2), 1);
        EXPECT_EQ(send(dialog, kTables, LB_GETSEL, 0), 0);
        EXPECT_EQ(send(dialog, kTables, LB_SETCURSEL, 0), 0);
        EXPECT_EQ(send(dialog, kTables, LB_GETSEL, 2), 0) << "one item at a time";
        EXPECT_EQ(send(dialog, kTables, LB_SETCURSEL, 8), LB_ERR);
        EXPECT_EQ(send(dialog, kTables, LB_GETCURSEL), LB_ERR) << "a bad index clears the selection";
        send(dialog, kTables, LB_SETCURSEL, 1);
        EXPECT_EQ(send(dialog, kTables, LB_SETCURSEL, static_cast<WPARAM>(-1)), LB_ERR);
        EXPECT_EQ(send(dialog, kTables, LB_GETCURSEL), LB_ERR);
        EXPECT_EQ(send(dialog, kTables, LB_SETSEL, TRUE, 0), LB_ERR) << "multiple selection only";
        EXPECT_EQ(send(dialog, kTables, LB_GETSELCOUNT), LB_ERR);
    });
}

TEST_F(Controls, MultipleSelectionSetsItemsOneByOneOrAllAtOnce) {
    within(kRights, [](HWND dialog) {
        EXPECT_EQ(send(dialog, kColumns, WM_SETREDRAW, FALSE), 0);
        addItems(dialog, kColumns, {"sal", "ename", "job", "comm"});
        EXPECT_EQ(send(dialog, kColumns, WM_SETREDRAW, TRUE), 0);
        EXPECT_EQ(items(dialog, kColumns), (Texts{"comm", "ename", "job", "sal"}))
            << "redraw changes nothing";
        EXPECT_EQ(send(dialog, kColumns, LB_GETSELCOUNT), 0);
        EXPECT_EQ(send(dialog, kColumns, LB_SETSEL, TRUE, 3), 0);
        EXPECT_EQ(send(dialog, kColumns, LB_SETSEL, TRUE, 1), 0);
        EXPECT_EQ(send(dialog, kColumns, LB_SETSEL, TRUE, 9), LB_ERR);
        EXPECT_EQ(send(dialog, kColumns, LB_GETSELCOUNT), 2);
        int selected[4] = {-7, -7, -7, -7};
        EXPECT_EQ(send(dialog, kColumns, LB_GETSELITEMS, 4, reinterpret_cast<LPARAM>(selected)), 2);
        EXPECT_EQ(std::vector<int>(selected, selected + 4), (std::vector<int>{1, 3, -7, -7}));
        EXPECT_EQ(send(dialog, kColumns, LB_SETSEL, TRUE, -1), 0);  // all
        EXPECT_EQ(send(dialog, kColumns, LB_GETSELCOUNT), 4);
        EXPECT_EQ(send(dialog, kColumns, LB_GETSELITEMS, 2, reinterpret_cast<LPARAM>(selected)), 2)
            << "no more than the caller has room for";
        EXPECT_EQ(selected[2], -7);
        EXPECT_EQ(send(dialog, kColumns, LB_SETSEL, FALSE, 2), 0);
        EXPECT_EQ(send(dialog, kColumns, LB_GETSEL, 2), 0);
        EXPECT_EQ(send(dialog, kColumns, LB_SETSEL, FALSE, -1), 0);
        EXPECT_EQ(send(dialog, kColumns, LB_GETSELCOUNT), 0);
        EXPECT_EQ(send(dialog, kColumns, LB_SETCURSEL, 0), LB_ERR) << "single selection only";
    });
}

TEST_F(Controls, ComboBoxesAddFindAndSelect) {
    within(kRights, [](HWND dialog) {
        for (int id : {kTypes, kSortedTypes}) {
            addItems(dialog, id, {"char", "varchar", "int", "smallint", "Decimal"});
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
        EXPECT_EQ(
            send(dialog, kTypes, CB_FINDSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>("int")), 2);
        EXPECT_EQ(send(dialog, kTypes, CB_SETCURSEL, 2), 2);
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

}  // namespace
