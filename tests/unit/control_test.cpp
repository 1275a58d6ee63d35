/*
 * control_test.cpp - window text and its truncation, edit limits, enabled state, focus, the check
 * states of the button styles, list and combo boxes (sorted adds, prefix search, selection, item
 * texts); and what a user does to a control and the notifications that follow: order, ids, codes
 * and handles, disabled controls, and programmatic changes that notify nobody.
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
LRESULT sendWith(HWND dialog, int id, UINT message, WPARAM wParam, const void* pointer) {
    return SendDlgItemMessageA(dialog, id, message, wParam, reinterpret_cast<LPARAM>(pointer));
}

TEST_F(Controls, TextIsSetAndReadEveryWayUnderTheTruncationRule) {
    within(kSignOn, [](HWND dialog) {
        HWND user = GetDlgItem(dialog, kUser);  // "guest"
        const std::function<LRESULT(char*, int)> reads[] = {
            [&](char* buffer, int max) { return GetWindowTextA(user, buffer, max); },
            [&](char* buffer, int max) { return LRESULT{GetDlgItemTextA(dialog, kUser, buffer, max)}; },
            [&](char* buffer, int max) { return sendWith(dialog, kUser, WM_GETTEXT, WPARAM(max), buffer); },
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

        EXPECT_EQ(sendWith(dialog, kUser, WM_SETTEXT, 0, "db2test"), TRUE);
        EXPECT_EQ(windowText(user), "db2test");
        EXPECT_TRUE(SetWindowTextA(user, nullptr));
        EXPECT_EQ(GetWindowTextLengthA(user), 0);
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

Texts items(HWND dialog, int id) {
    Texts out;
    for (int i = 0; i < send(dialog, id, LB_GETCOUNT); ++i) {
        std::string text(static_cast<size_t>(send(dialog, id, LB_GETTEXTLEN, static_cast<WPARAM>(i))), '\0');
        EXPECT_EQ(sendWith(dialog, id, LB_GETTEXT, static_cast<WPARAM>(i), text.data()),
                  static_cast<LRESULT>(text.size()));
        out.push_back(text);
    }
    return out;
}

TEST_F(Controls, SortedListsInsertInCaseInsensitiveOrderOthersAppendAndPrefixSearchWrapsRound) {
    within(kRights, [](HWND dialog) {
        const std::pair<const char*, LRESULT> adds[] = {
            {"emp", 0}, {"DEPT", 0}, {"Project", 2}, {"act", 0}, {"emp_act", 3}};
        for (const auto& [text, at] : adds) {
            EXPECT_EQ(sendWith(dialog, kTables, LB_ADDSTRING, 0, text), at) << text;
        }
        EXPECT_EQ(items(dialog, kTables), (Texts{"act", "DEPT", "emp", "emp_act", "Project"}));
        addItems(dialog, kPlainList, {"emp", "DEPT", "act"});
        EXPECT_EQ(items(dialog, kPlainList), (Texts{"emp", "DEPT", "act"}));
        EXPECT_EQ(send(dialog, kTables, LB_GETTEXTLEN, 5), LB_ERR);
        char buffer[16];
        EXPECT_EQ(sendWith(dialog, kTables, LB_GETTEXT, 9, buffer), LB_ERR);
        EXPECT_EQ(send(dialog, kTables, LB_RESETCONTENT), 0);
        EXPECT_EQ(send(dialog, kTables, LB_GETCOUNT), 0);

        // LB_FINDSTRING searches by prefix after the start and wraps round.
        send(dialog, kPlainList, LB_RESETCONTENT);
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
            EXPECT_EQ(sendWith(dialog, kPlainList, LB_FINDSTRING, static_cast<WPARAM>(start), prefix), found)
                << start << " " << prefix;
        }
        EXPECT_EQ(sendWith(dialog, kColumns, LB_FINDSTRING, static_cast<WPARAM>(-1), "a"), LB_ERR)
            << "an empty list finds nothing";
    });
}

TEST_F(Controls, SingleSelectionKeepsOneItemThatMovesWithSortedInsertsMultipleSelectionSetsMany) {
    within(kRights, [](HWND dialog) {
        addItems(dialog, kTables, {"emp", "staff"});
        EXPECT_EQ(send(dialog, kTables, LB_GETCURSEL), LB_ERR);
        EXPECT_EQ(send(dialog, kTables, LB_SETCURSEL, 1), 1);
        addItems(dialog, kTables, {"act"});  // sorts before the selection
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

        // A multiple-selection list sets items one by one or all at once.
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
        EXPECT_EQ(sendWith(dialog, kColumns, LB_GETSELITEMS, 4, selected), 2);
        EXPECT_EQ(std::vector<int>(selected, selected + 4), (std::vector<int>{1, 3, -7, -7}));
        EXPECT_EQ(send(dialog, kColumns, LB_SETSEL, TRUE, -1), 0);  // all
        EXPECT_EQ(send(dialog, kColumns, LB_GETSELCOUNT), 4);
        EXPECT_EQ(sendWith(dialog, kColumns, LB_GETSELITEMS, 2, selected), 2)
            << "no more than there is room for";
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
        EXPECT_EQ(sendWith(dialog, kTypes, CB_GETLBTEXT, 4, text), 7);
        EXPECT_STREQ(text, "Decimal");
        EXPECT_EQ(sendWith(dialog, kSortedTypes, CB_GETLBTEXT, 1, text), 7);
        EXPECT_STREQ(text, "Decimal") << "CBS_SORT: char, Decimal, int, smallint, varchar";
        EXPECT_EQ(send(dialog, kTypes, CB_GETLBTEXTLEN, 1), 7);
        EXPECT_EQ(send(dialog, kTypes, CB_GETLBTEXTLEN, 5), CB_ERR);
        EXPECT_EQ(send(dialog, kTypes, CB_GETCURSEL), CB_ERR);
        EXPECT_EQ(sendWith(dialog, kTypes, CB_FINDSTRING, static_cast<WPARAM>(-1), "int"), 2);
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

using Commands = std::vector<Command>;

class Actions : public UserTest {
  protected:
    /* Runs the Rights dialog with the queued actions and ends it; answers the commands the
     * procedure received. */
    Commands commandsOf(std::function<void(HWND)> setUp = nullptr) {
        recorder().handler = [setUp](HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) -> BOOL {
            if (message == WM_INITDIALOG && setUp) {
                setUp(dialog);
            }
            return endOnButtons(dialog, message, wParam, lParam);
        };
        inspect([this](HWND dialog) {
            for (int id = 0; id < 64; ++id) {
                handles_[id] = GetDlgItem(dialog, id);
            }
            EndDialog(dialog, 0);
        });
        run(kRights);
        EXPECT_EQ(kwuser_scriptPendingActions(), 0) << "every action and inspection ran";
        return recorder().commands();
    }
    HWND h(int id) { return handles_[id]; }
    // The notification `code` from control `id` of the dialog last run.
    Command from(int id, int code) { return {id, code, h(id)}; }
    HWND handles_[64] = {};
};

TEST_F(Actions, TheNotificationSeesTheNewState) {
    std::vector<std::string> seen;
    kwuser_scriptType(kGrantee, "smith");
    kwuser_scriptClick(kWriteAuto3State);
    kwuser_scriptSelect(kTables, 1, TRUE);
    inspect([](HWND) {});
    recorder().handler = [&](HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) -> BOOL {
        if (message == WM_INITDIALOG) {
            addItems(dialog, kTables, {"dept", "emp"});
        }
        if (message == WM_COMMAND && HIWORD(wParam) == EN_CHANGE) {
            seen.push_back(windowText(GetDlgItem(dialog, kGrantee)));
        }
        if (message == WM_COMMAND && LOWORD(wParam) == kWriteAuto3State) {
            seen.push_back(std::to_string(IsDlgButtonChecked(dialog, kWriteAuto3State)));
        }
        if (message == WM_COMMAND && LOWORD(wParam) == kTables) {
            seen.push_back(std::to_string(SendDlgItemMessageA(dialog, kTables, LB_GETCURSEL, 0, 0)));
        }
        return endOnButtons(dialog, message, wParam, lParam);
    };
    kwuser_scriptClick(IDCANCEL);
    run(kRights);
    EXPECT_EQ(seen, (std::vector<std::string>{"smith", "1", "1"}));
}

TEST_F(Actions, TypingGivesTheFocusOnceAndMovingOnTakesItFromTheEditFirst) {
    kwuser_scriptType(kGrantee, "smith");
    kwuser_scriptType(kGrantee, "jones");  // it has the focus already
    kwuser_scriptClick(kRead3State);
    kwuser_scriptFocus(kGrantee);
    kwuser_scriptSelect(kTables, 0, TRUE);
    kwuser_scriptFocus(kTables);  // has it already: nothing
    Commands commands = commandsOf([](HWND dialog) { addItems(dialog, kTables, {"emp"}); });
    EXPECT_EQ(commands, (Commands{from(kGrantee, EN_SETFOCUS), from(kGrantee, EN_CHANGE),
                                  from(kGrantee, EN_CHANGE), from(kGrantee, EN_KILLFOCUS),
                                  from(kRead3State, BN_CLICKED), from(kGrantee, EN_SETFOCUS),
                                  from(kGrantee, EN_KILLFOCUS), from(kTables, LBN_SELCHANGE)}));
}

TEST_F(Actions, AClickChangesOnlyAutomaticCheckBoxes) {
    const std::pair<int, std::vector<UINT>> cases[] = {
        {kRead3State, {0, 0, 0}},       // BS_3STATE: the procedure decides
        {kWriteAuto3State, {1, 2, 0}},  // BS_AUTO3STATE cycles
        {kGrantCheck, {0, 0, 0}},       // BS_CHECKBOX
        {kAuditAutoCheck, {1, 0, 1}},   // BS_AUTOCHECKBOX toggles
    };
    for (const auto& [id, statesAfterClicks] : cases) {
        for (UINT state : statesAfterClicks) {
            kwuser_scriptClick(id);
            inspect(
                [id = id, state](HWND dialog) { EXPECT_EQ(IsDlgButtonChecked(dialog, id), state) << id; });
        }
        recorder().clear();
        Commands commands = commandsOf();
        EXPECT_EQ(commands.size(), 3u) << "every click is reported";
        EXPECT_EQ(commands.back(), from(id, BN_CLICKED));
    }
}

TEST_F(Actions, SelectionNotifiesFromNotifyingListsAndComboBoxesOnly) {
    kwuser_scriptSelect(kPlainList, 1, TRUE);  // no LBS_NOTIFY
    kwuser_scriptSelect(kColumns, 0, TRUE);
    kwuser_scriptSelect(kColumns, 2, TRUE);
    kwuser_scriptSelect(kColumns, 0, FALSE);  // deselects in a multiple-selection list
    kwuser_scriptSelect(kTypes, 1, TRUE);
    kwuser_scriptSelect(kColumns, 7, TRUE);  // no such item: nothing happens
    inspect([](HWND dialog) {
        EXPECT_EQ(SendDlgItemMessageA(dialog, kPlainList, LB_GETCURSEL, 0, 0), 1)
            << "selected, without a word";
        int selected[3] = {};
        EXPECT_EQ(
            SendDlgItemMessageA(dialog, kColumns, LB_GETSELITEMS, 3, reinterpret_cast<LPARAM>(selected)), 1);
        EXPECT_EQ(selected[0], 2);
    });
    Commands commands = commandsOf([](HWND dialog) {
        addItems(dialog, kPlainList, {"a", "b"});
        addItems(dialog, kColumns, {"comm", "ename", "sal"});
        addItems(dialog, kTypes, {"char", "int"});
    });
    EXPECT_EQ(commands, (Commands{from(kColumns, LBN_SELCHANGE), from(kColumns, LBN_SELCHANGE),
                                  from(kColumns, LBN_SELCHANGE), from(kTypes, CBN_SELCHANGE)}));
}

TEST_F(Actions, DisabledControlsStaticsGroupBoxesProgrammaticChangesAndEndedDialogsNotifyNobody) {
    kwuser_scriptType(kGrantee, "smith");  // disabled, as are the next three
    kwuser_scriptClick(kAuditAutoCheck);
    kwuser_scriptSelect(kTables, 0, TRUE);
    kwuser_scriptClick(IDOK);
    kwuser_scriptClick(kPrivileges);  // the group box
    kwuser_scriptClick(-1);           // a label
    kwuser_scriptType(kRead3State, "text into a button");
    kwuser_scriptFocus(4242);
    inspect([](HWND dialog) {
        EXPECT_EQ(windowText(GetDlgItem(dialog, kGrantee)), "");
        EXPECT_EQ(IsDlgButtonChecked(dialog, kAuditAutoCheck), 0u);
        EXPECT_EQ(SendDlgItemMessageA(dialog, kTables, LB_GETCURSEL, 0, 0), LB_ERR);
        addItems(dialog, kColumns, {"comm", "ename"});
        SetDlgItemTextA(dialog, kGrantee, "smith");
        EnableWindow(GetDlgItem(dialog, kGrantee), TRUE);
        SetFocus(GetDlgItem(dialog, kGrantee));
        CheckDlgButton(dialog, kRead3State, BST_INDETERMINATE);
        SendDlgItemMessageA(dialog, kColumns, LB_SETSEL, TRUE, -1);
        SendDlgItemMessageA(dialog, kTables, LB_SETCURSEL, 0, 0);
        EnableWindow(GetDlgItem(dialog, kPlainList), FALSE);
    });
    EXPECT_TRUE(commandsOf([](HWND dialog) {
                    addItems(dialog, kTables, {"emp"});
                    for (int id : std::initializer_list<int>{kGrantee, kAuditAutoCheck, kTables, IDOK}) {
                        EnableWindow(GetDlgItem(dialog, id), FALSE);
                    }
                }).empty());

    // After EndDialog a user can no longer reach the dialog.
    HWND ok = nullptr;
    recorder().clear();
    recorder().handler = [&](HWND dialog, UINT message, WPARAM wParam, LPARAM) -> BOOL {
        if (message == WM_COMMAND && LOWORD(wParam) == IDOK) {
            EndDialog(dialog, 1);
            ok = GetDlgItem(dialog, IDOK);
            kwuser_typeText(dialog, kNoteEdit, "late");
            kwuser_click(dialog, IDOK);
        }
        return FALSE;  // the edit does not take the focus at the start
    };
    kwuser_scriptClick(IDOK);
    run(kNote);
    EXPECT_EQ(recorder().commands(), (Commands{{IDOK, BN_CLICKED, ok}}));
}

}  // namespace
