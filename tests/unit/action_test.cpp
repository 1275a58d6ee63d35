/*
 * action_test.cpp - what a user does to a control and the notifications that follow: order, ids,
 * codes and handles, disabled controls, and programmatic changes that notify nobody.
 */
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kwuser.h"
#include "user_test_module.h"

namespace {

using namespace usertest;
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
    EXPECT_EQ(commands, (Commands{{kGrantee, EN_SETFOCUS, h(kGrantee)},
                                  {kGrantee, EN_CHANGE, h(kGrantee)},
                                  {kGrantee, EN_CHANGE, h(kGrantee)},
                                  {kGrantee, EN_KILLFOCUS, h(kGrantee)},
                                  {kRead3State, BN_CLICKED, h(kRead3State)},
                                  {kGrantee, EN_SETFOCUS, h(kGrantee)},
                                  {kGrantee, EN_KILLFOCUS, h(kGrantee)},
                                  {kTables, LBN_SELCHANGE, h(kTables)}}));
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
        EXPECT_EQ(commands.back(), (Command{id, BN_CLICKED, h(id)}));
    }
}

TEST_F(Actions, DisabledControlsIgnoreTheUser) {
    kwuser_scriptType(kGrantee, "smith");
    kwuser_scriptClick(kAuditAutoCheck);
    kwuser_scriptSelect(kTables, 0, TRUE);
    kwuser_scriptClick(IDOK);
    inspect([](HWND dialog) {
        EXPECT_EQ(windowText(GetDlgItem(dialog, kGrantee)), "");
        EXPECT_EQ(IsDlgButtonChecked(dialog, kAuditAutoCheck), 0u);
        EXPECT_EQ(SendDlgItemMessageA(dialog, kTables, LB_GETCURSEL, 0, 0), LB_ERR);
    });
    EXPECT_TRUE(commandsOf([](HWND dialog) {
                    addItems(dialog, kTables, {"emp"});
                    for (int id : std::initializer_list<int>{kGrantee, kAuditAutoCheck, kTables, IDOK}) {
                        EnableWindow(GetDlgItem(dialog, id), FALSE);
                    }
                }).empty());
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
    EXPECT_EQ(commands, (Commands{{kColumns, LBN_SELCHANGE, h(kColumns)},
                                  {kColumns, LBN_SELCHANGE, h(kColumns)},
                                  {kColumns, LBN_SELCHANGE, h(kColumns)},
                                  {kTypes, CBN_SELCHANGE, h(kTypes)}}));
}

TEST_F(Actions, ProgrammaticChangesAndActionsOnStaticsGroupBoxesAndEndedDialogsNotifyNobody) {
    kwuser_scriptClick(kPrivileges);  // the group box
    kwuser_scriptClick(-1);           // a label
    kwuser_scriptType(kRead3State, "text into a button");
    kwuser_scriptFocus(4242);
    inspect([](HWND dialog) {
        addItems(dialog, kColumns, {"comm", "ename"});
        SetDlgItemTextA(dialog, kGrantee, "smith");
        SetFocus(GetDlgItem(dialog, kGrantee));
        CheckDlgButton(dialog, kRead3State, BST_INDETERMINATE);
        SendDlgItemMessageA(dialog, kColumns, LB_SETSEL, TRUE, -1);
        SendDlgItemMessageA(dialog, kTables, LB_SETCURSEL, 0, 0);
        EnableWindow(GetDlgItem(dialog, kTables), FALSE);
    });
    EXPECT_TRUE(commandsOf().empty());

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
