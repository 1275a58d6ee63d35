/*
 * dialog_test.cpp - DialogBoxParamA: creation from a template, WM_INITDIALOG and WM_NCDESTROY,
 * the run through the presenter, EndDialog, cancelling, nesting and the active window.
 */
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "kwuser.h"
#include "user_test_module.h"

namespace {

using namespace usertest;

class Dialogs : public UserTest {};

TEST_F(Dialogs, ControlsComeFromTheTemplateBeforeInitDialogAndAreGoneByNcDestroy) {
    HWND dialog = nullptr, user = nullptr, firstTabStop = nullptr;
    bool controlAtNcDestroy = true, dialogAtNcDestroy = false;
    recorder().handler = [&](HWND d, UINT message, WPARAM, LPARAM) -> BOOL {
        if (message == WM_INITDIALOG) {
            firstTabStop = GetDlgItem(d, kServer);
        }
        if (message == WM_NCDESTROY) {
            controlAtNcDestroy = GetDlgItem(d, kServer) != nullptr;
            dialogAtNcDestroy = IsWindow(d) != FALSE;
        }
        return TRUE;
    };
    inspect([&](HWND d) {
        dialog = d;
        user = GetDlgItem(d, kUser);
        EXPECT_EQ(windowText(d), "Sign On");
        EXPECT_EQ(windowText(user), "guest");
        EXPECT_EQ(windowText(GetDlgItem(d, IDCANCEL)), "Cancel");
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(d, IDOK))) << "WS_DISABLED";
        EXPECT_TRUE(IsWindowEnabled(GetDlgItem(d, IDCANCEL)));
        EXPECT_EQ(GetDlgCtrlID(user), kUser);
        EXPECT_EQ(GetParent(user), d);
        EXPECT_EQ(GetDlgItem(d, 9999), nullptr);
        EXPECT_EQ(kwuser_dialogTemplateId(d), kSignOn);
        EndDialog(d, 3);
    });
    EXPECT_EQ(run(kSignOn, 4711), 3);
    const auto& received = recorder().received;
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[0].message, static_cast<UINT>(WM_INITDIALOG));
    EXPECT_EQ(received[0].wParam, reinterpret_cast<WPARAM>(firstTabStop));
    EXPECT_EQ(received[0].lParam, 4711);
    EXPECT_EQ(received[1].message, static_cast<UINT>(WM_NCDESTROY));
    EXPECT_FALSE(controlAtNcDestroy);
    EXPECT_TRUE(dialogAtNcDestroy);
    ASSERT_NE(dialog, nullptr);
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_FALSE(IsWindow(user));
    EXPECT_FALSE(EndDialog(dialog, 1));
}

TEST_F(Dialogs, AnswersMinusOneForATemplateThatCannotBeBuilt) {
    EXPECT_EQ(run(777), -1);      // no such template
    EXPECT_EQ(run(kBroken), -1);  // a window class the layer does not have
    EXPECT_EQ(DialogBoxParamA(nullptr, MAKEINTRESOURCEA(kSignOn), nullptr, recordingProcedure, 0), -1);
    EXPECT_EQ(DialogBoxParamA(module_, "#40x", nullptr, recordingProcedure, 0), -1);
    EXPECT_TRUE(recorder().received.empty()) << "the procedure never hears of a dialog that was not made";
    EXPECT_EQ(GetActiveWindow(), nullptr);
    recorder().handler = endOnButtons;
    kwuser_scriptClick(IDOK);
    EXPECT_EQ(DialogBoxParamA(module_, "#400", nullptr, recordingProcedure, 0), IDOK) << "a name of the id";
}

TEST_F(Dialogs, EndDialogOnlyMarksTheDialogEndedAndInInitDialogSkipsThePresenter) {
    recorder().handler = [](HWND dialog, UINT message, WPARAM wParam, LPARAM) -> BOOL {
        if (message == WM_COMMAND && LOWORD(wParam) == IDOK) {
            EXPECT_FALSE(kwuser_dialogEnded(dialog, nullptr));
            EndDialog(dialog, 7);
            EXPECT_TRUE(IsWindow(GetDlgItem(dialog, kNoteEdit)));
            intptr_t marked = 0;
            EXPECT_TRUE(kwuser_dialogEnded(dialog, &marked));
            EXPECT_EQ(marked, 7);
        }
        return TRUE;
    };
    kwuser_scriptClick(IDOK);
    EXPECT_EQ(run(kNote), 7);

    recorder().handler = [](HWND dialog, UINT message, WPARAM, LPARAM) -> BOOL {
        if (message == WM_INITDIALOG) {
            EndDialog(dialog, 42);
        }
        return TRUE;
    };
    kwuser_scriptClick(IDOK);
    EXPECT_EQ(run(kNote), 42);
    EXPECT_EQ(kwuser_scriptPendingActions(), 1) << "no action was taken";
}

TEST_F(Dialogs, TheFocusGoesToTheFirstTabStopUnlessInitDialogAnswersFalse) {
    for (BOOL answer : {TRUE, FALSE}) {
        recorder().handler = [answer](HWND dialog, UINT message, WPARAM, LPARAM) -> BOOL {
            if (message == WM_INITDIALOG && !answer) {
                SetFocus(GetDlgItem(dialog, kPassword));
            }
            return message == WM_INITDIALOG ? answer : FALSE;
        };
        inspect([answer](HWND dialog) {
            EXPECT_EQ(GetFocus(), GetDlgItem(dialog, answer ? kServer : kPassword)) << answer;
            EndDialog(dialog, 1);
        });
        EXPECT_EQ(run(kSignOn), 1);
        EXPECT_EQ(GetFocus(), nullptr) << "the focus goes back to where it was before the dialog";
    }
}

TEST_F(Dialogs, ADialogNobodyCanShowEndsAsACancel) {
    auto endsOnCancelWith99 = [](HWND dialog, UINT message, WPARAM wParam, LPARAM) -> BOOL {
        if (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, 99);
        }
        return TRUE;
    };
    auto disablesCancel = [](HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) -> BOOL {
        if (message == WM_INITDIALOG) {
            EnableWindow(GetDlgItem(dialog, IDCANCEL), FALSE);
        }
        return endOnButtons(dialog, message, wParam, lParam);
    };
    struct Case {
        const char* what;
        int templateId;
        std::function<BOOL(HWND, UINT, WPARAM, LPARAM)> handler;
        intptr_t result;
        size_t cancelClicks;
    };
    const Case cases[] = {
        {"the procedure's cancel logic decides", kSignOn, endsOnCancelWith99, 99, 1},
        {"a procedure that stays open is ended with 0", kSignOn,
         [](HWND, UINT, WPARAM, LPARAM) { return TRUE; }, 0, 1},
        {"no Cancel button: ended with 0", kNote, endOnButtons, 0, 0},
        {"a disabled Cancel button is not pressed", kSignOn, disablesCancel, 0, 0},
    };
    kwuser_setPresenter(nullptr);
    for (const Case& c : cases) {
        recorder().clear();
        recorder().handler = c.handler;
        EXPECT_EQ(run(c.templateId), c.result) << c.what;
        auto commands = recorder().commands();
        EXPECT_EQ(commands.size(), c.cancelClicks) << c.what;
        for (const Command& command : commands) {
            EXPECT_EQ((std::pair{command.id, command.code}), (std::pair<int, int>{IDCANCEL, BN_CLICKED}))
                << c.what;
        }
    }
}

TEST_F(Dialogs, APresenterThatCannotShowTheDialogOrLeavesItOpenCancelsIt) {
    struct Case {
        int answer;
        bool endIt;
        intptr_t result;
        int dialogs = 0;
    };
    Case cases[] = {
        {0, false, IDCANCEL},  // could not show it
        {1, false, IDCANCEL},  // claimed to, but left it open
        {1, true, 5},          // drove it to its end
        {0, true, 5},          // ended it and then said it could not: the end stands
    };
    for (Case& c : cases) {
        auto show = [](void* self, HWND dialog) {
            auto* c = static_cast<Case*>(self);
            ++c->dialogs;
            return c->endIt ? (EndDialog(dialog, 5), c->answer) : c->answer;
        };
        KwPresenter presenter = {show, nullptr, &c};
        kwuser_setPresenter(&presenter);
        recorder().handler = endOnButtons;
        EXPECT_EQ(run(kSignOn), c.result) << c.answer << "/" << c.endIt;
        EXPECT_EQ(c.dialogs, 1);
    }
}

TEST_F(Dialogs, NestedDialogsTakeTheNextActionsAndTheInnermostIsActive) {
    HWND main = reinterpret_cast<HWND>(uintptr_t{0x4242}), outer = nullptr;
    kwuser_setMainWindow(main);
    intptr_t innerResult = 0;
    std::string typedInInner;
    std::set<uintptr_t> handles;
    recorder().handler = [&](HWND dialog, UINT message, WPARAM wParam, LPARAM) -> BOOL {
        int id = LOWORD(wParam);
        if (message == WM_INITDIALOG) {
            handles.insert(reinterpret_cast<uintptr_t>(dialog));
            for (int control : std::initializer_list<int>{kGrantee, kNoteEdit, IDOK, IDCANCEL}) {
                handles.insert(reinterpret_cast<uintptr_t>(GetDlgItem(dialog, control)));
            }
        } else if (message == WM_COMMAND && id == kRead3State) {
            outer = dialog;
            EXPECT_EQ(GetActiveWindow(), dialog);
            innerResult = DialogBoxParamA(module_, MAKEINTRESOURCEA(kNote), dialog, recordingProcedure, 0);
            return TRUE;
        } else if (message == WM_COMMAND && id == IDOK && kwuser_dialogTemplateId(dialog) == kNote) {
            EXPECT_EQ(GetActiveWindow(), dialog) << "the innermost dialog";
            EXPECT_EQ(GetParent(dialog), outer);
            typedInInner = windowText(GetDlgItem(dialog, kNoteEdit));
        }
        return endOnButtons(dialog, message, wParam, 0);
    };
    kwuser_scriptClick(kRead3State);        // outer: opens the inner dialog
    kwuser_scriptType(kNoteEdit, "inner");  // inner
    kwuser_scriptClick(IDOK);               // inner: ends it
    kwuser_scriptClick(IDCANCEL);           // outer again
    EXPECT_EQ(run(kRights, 0, main), IDCANCEL);
    EXPECT_EQ(innerResult, IDOK);
    EXPECT_EQ(typedInInner, "inner");
    EXPECT_EQ(GetActiveWindow(), main) << "no dialog open: the host's main window";
    handles.erase(0);  // each template lacks one of the ids asked for
    EXPECT_EQ(handles.size(), 7u) << "two dialogs and five controls, no handle shared";
    EXPECT_LT(*handles.rbegin(), 65536u);
    EXPECT_EQ(kwuser_scriptCancelledDialogs(), 0);
}

}  // namespace
