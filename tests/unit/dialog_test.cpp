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

TEST_F(Dialogs, InitDialogComesFirstWithTheFirstTabStopAndTheParameterAndNcDestroyLast) {
    HWND firstTabStop = nullptr;
    inspect([&](HWND dialog) { firstTabStop = GetDlgItem(dialog, kServer); });
    kwuser_scriptClick(IDCANCEL);
    recorder().handler = endOnButtons;
    EXPECT_EQ(run(kSignOn, 4711), IDCANCEL);

    const auto& received = recorder().received;
    ASSERT_GE(received.size(), 3u);
    EXPECT_EQ(received.front().message, static_cast<UINT>(WM_INITDIALOG));
    EXPECT_EQ(received.front().wParam, reinterpret_cast<WPARAM>(firstTabStop));
    EXPECT_EQ(received.front().lParam, 4711);
    EXPECT_EQ(received.back().message, static_cast<UINT>(WM_NCDESTROY));
    EXPECT_EQ(received[received.size() - 2].message, static_cast<UINT>(WM_COMMAND));
}

TEST_F(Dialogs, ControlsStartWithTheTemplateTextsAndStates) {
    inspect([](HWND dialog) {
        EXPECT_EQ(windowText(dialog), "Sign On");
        EXPECT_EQ(windowText(GetDlgItem(dialog, kUser)), "guest");
        EXPECT_EQ(windowText(GetDlgItem(dialog, kServer)), "");
        EXPECT_EQ(windowText(GetDlgItem(dialog, IDCANCEL)), "Cancel");
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, IDOK))) << "WS_DISABLED";
        EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, IDCANCEL)));
        HWND user = GetDlgItem(dialog, kUser);
        EXPECT_EQ(GetDlgCtrlID(user), kUser);
        EXPECT_EQ(GetParent(user), dialog);
        EXPECT_EQ(GetDlgItem(dialog, 9999), nullptr);
        EXPECT_EQ(kwuser_dialogTemplateId(dialog), kSignOn);
    });
    kwuser_scriptClick(IDCANCEL);
    recorder().handler = endOnButtons;
    run(kSignOn);
    EXPECT_EQ(kwuser_scriptPendingActions(), 0);
}

TEST_F(Dialogs, WindowsAreGoneWhenDialogBoxParamReturns) {
    HWND dialog = nullptr, edit = nullptr;
    inspect([&](HWND d) {
        dialog = d;
        edit = GetDlgItem(d, kServer);
    });
    kwuser_scriptClick(IDCANCEL);
    recorder().handler = endOnButtons;
    run(kSignOn);
    ASSERT_NE(dialog, nullptr);
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_FALSE(IsWindow(edit));
    EXPECT_FALSE(EndDialog(dialog, 1));
}

TEST_F(Dialogs, ControlsAreGoneWhenTheProcedureGetsNcDestroy) {
    bool controlAliveAtNcDestroy = true;
    bool dialogAliveAtNcDestroy = false;
    recorder().handler = [&](HWND dialog, UINT message, WPARAM, LPARAM) -> BOOL {
        if (message == WM_NCDESTROY) {
            controlAliveAtNcDestroy = GetDlgItem(dialog, kServer) != nullptr;
            dialogAliveAtNcDestroy = IsWindow(dialog) != FALSE;
        }
        return FALSE;
    };
    run(kSignOn);
    EXPECT_FALSE(controlAliveAtNcDestroy);
    EXPECT_TRUE(dialogAliveAtNcDestroy);
}

TEST_F(Dialogs, AnswersMinusOneForATemplateThatCannotBeBuilt) {
    EXPECT_EQ(run(777), -1);      // no such template
    EXPECT_EQ(run(kBroken), -1);  // a window class the layer does not have
    EXPECT_EQ(DialogBoxParamA(nullptr, MAKEINTRESOURCEA(kSignOn), nullptr, recordingProcedure, 0), -1);
    EXPECT_TRUE(recorder().received.empty()) << "the procedure never hears of a dialog that was not made";
    EXPECT_EQ(GetActiveWindow(), nullptr);
}

TEST_F(Dialogs, TakesTheTemplateByNumberText) {
    recorder().handler = endOnButtons;
    kwuser_scriptClick(IDOK);
    EXPECT_EQ(DialogBoxParamA(module_, "#400", nullptr, recordingProcedure, 0), IDOK);
    EXPECT_EQ(DialogBoxParamA(module_, "#40x", nullptr, recordingProcedure, 0), -1);
    EXPECT_EQ(DialogBoxParamA(module_, "NOTE", nullptr, recordingProcedure, 0), -1);
}

TEST_F(Dialogs, EndDialogInInitDialogSkipsThePresenter) {
    recorder().handler = [](HWND dialog, UINT message, WPARAM, LPARAM) -> BOOL {
        if (message == WM_INITDIALOG) {
            EndDialog(dialog, 42);
        }
        return TRUE;
    };
    kwuser_scriptClick(IDOK);
    EXPECT_EQ(run(kNote), 42);
    EXPECT_EQ(kwuser_scriptPendingActions(), 1) << "no action was taken";
    EXPECT_EQ(kwuser_scriptCancelledDialogs(), 0);
}

TEST_F(Dialogs, EndDialogOnlyMarksTheDialogEnded) {
    bool stillThere = false;
    intptr_t marked = 0;
    recorder().handler = [&](HWND dialog, UINT message, WPARAM wParam, LPARAM) -> BOOL {
        if (message == WM_COMMAND && LOWORD(wParam) == IDOK) {
            EXPECT_FALSE(kwuser_dialogEnded(dialog, nullptr));
            EndDialog(dialog, 7);
            stillThere = IsWindow(GetDlgItem(dialog, kNoteEdit)) != FALSE;
            EXPECT_TRUE(kwuser_dialogEnded(dialog, &marked));
        }
        return TRUE;
    };
    kwuser_scriptClick(IDOK);
    EXPECT_EQ(run(kNote), 7);
    EXPECT_TRUE(stillThere);
    EXPECT_EQ(marked, 7);
}

TEST_F(Dialogs, TheFocusGoesToTheFirstTabStopUnlessInitDialogAnswersFalse) {
    HWND focusWhenTrue = nullptr, focusWhenFalse = nullptr, server = nullptr;
    recorder().handler = [](HWND, UINT message, WPARAM, LPARAM) -> BOOL { return message == WM_INITDIALOG; };
    inspect([&](HWND dialog) {
        focusWhenTrue = GetFocus();
        server = GetDlgItem(dialog, kServer);
        EndDialog(dialog, 1);
    });
    run(kSignOn);
    EXPECT_EQ(focusWhenTrue, server);

    recorder().handler = [](HWND dialog, UINT message, WPARAM, LPARAM) -> BOOL {
        if (message == WM_INITDIALOG) {
            SetFocus(GetDlgItem(dialog, kPassword));
        }
        return FALSE;
    };
    HWND password = nullptr;
    inspect([&](HWND dialog) {
        focusWhenFalse = GetFocus();
        password = GetDlgItem(dialog, kPassword);
        EndDialog(dialog, 1);
    });
    run(kSignOn);
    EXPECT_EQ(focusWhenFalse, password);
    EXPECT_EQ(GetFocus(), nullptr) << "the focus goes back to where it was before the dialog";
}

/* Cancelling, by each way a dialog cannot be shown. */
class Cancelling : public UserTest {};

TEST_F(Cancelling, TheNonePresenterClicksCancelSoThatTheProcedureDecides) {
    kwuser_setPresenter(nullptr);
    recorder().handler = [](HWND dialog, UINT message, WPARAM wParam, LPARAM) -> BOOL {
        if (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, 99);
        }
        return TRUE;
    };
    EXPECT_EQ(run(kSignOn), 99);
    auto commands = recorder().commands();
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0].id, IDCANCEL);
    EXPECT_EQ(commands[0].code, BN_CLICKED);
    EXPECT_NE(commands[0].control, nullptr);
}

TEST_F(Cancelling, ADialogWithoutCancelEndsWithZero) {
    kwuser_setPresenter(nullptr);
    recorder().handler = endOnButtons;
    EXPECT_EQ(run(kNote), 0);
    EXPECT_TRUE(recorder().commands().empty());
}

TEST_F(Cancelling, AProcedureThatStaysOpenOnCancelIsEndedWithZero) {
    kwuser_setPresenter(nullptr);
    recorder().handler = [](HWND, UINT, WPARAM, LPARAM) -> BOOL { return TRUE; };  // ignores Cancel
    EXPECT_EQ(run(kSignOn), 0);
}

TEST_F(Cancelling, ADisabledCancelButtonIsNotClicked) {
    kwuser_setPresenter(nullptr);
    recorder().handler = [](HWND dialog, UINT message, WPARAM, LPARAM) -> BOOL {
        if (message == WM_INITDIALOG) {
            EnableWindow(GetDlgItem(dialog, IDCANCEL), FALSE);
        }
        return endOnButtons(dialog, message, 0, 0);
    };
    EXPECT_EQ(run(kSignOn), 0);
    EXPECT_TRUE(recorder().commands().empty());
}

struct CountingPresenter {
    int dialogs = 0;
    int answer = 0;
    bool endIt = false;
};

int countingRun(void* self, HWND dialog) {
    auto* presenter = static_cast<CountingPresenter*>(self);
    ++presenter->dialogs;
    if (presenter->endIt) {
        EndDialog(dialog, 5);
    }
    return presenter->answer;
}

int countingBox(void*, HWND, const char*, const char*, UINT) {
    return IDOK;
}

TEST_F(Cancelling, APresenterThatCannotShowTheDialogOrLeavesItOpenCancelsIt) {
    struct Case {
        int answer;
        bool endIt;
        intptr_t result;
    };
    const Case cases[] = {
        {0, false, IDCANCEL},  // could not show it
        {1, false, IDCANCEL},  // claimed to, but left it open
        {1, true, 5},          // drove it to its end
        {0, true, 5},          // ended it and then said it could not: the end stands
    };
    for (const Case& c : cases) {
        CountingPresenter counting{0, c.answer, c.endIt};
        KwPresenter presenter = {countingRun, countingBox, &counting};
        kwuser_setPresenter(&presenter);
        recorder().clear();
        recorder().handler = endOnButtons;
        EXPECT_EQ(run(kSignOn), c.result) << c.answer << "/" << c.endIt;
        EXPECT_EQ(counting.dialogs, 1);
    }
}

/* Nesting and the active window. */
class Nesting : public UserTest {};

TEST_F(Nesting, AProcedureCanOpenAnotherDialogThatTakesTheNextActions) {
    HWND outer = nullptr, activeInside = nullptr, outerParentOfInner = nullptr;
    intptr_t innerResult = 0;
    std::string typedInInner;
    recorder().handler = [&](HWND dialog, UINT message, WPARAM wParam, LPARAM) -> BOOL {
        if (message == WM_COMMAND && LOWORD(wParam) == kRead3State &&
            kwuser_dialogTemplateId(dialog) == kRights) {
            outer = dialog;
            innerResult = DialogBoxParamA(module_, MAKEINTRESOURCEA(kNote), dialog, recordingProcedure, 0);
            return TRUE;
        }
        if (message == WM_COMMAND && LOWORD(wParam) == IDOK && kwuser_dialogTemplateId(dialog) == kNote) {
            activeInside = GetActiveWindow();
            outerParentOfInner = GetParent(dialog);
            char text[32];
            GetDlgItemTextA(dialog, kNoteEdit, text, sizeof text);
            typedInInner = text;
        }
        return endOnButtons(dialog, message, wParam, 0);
    };
    kwuser_scriptClick(kRead3State);        // outer: opens the inner dialog
    kwuser_scriptType(kNoteEdit, "inner");  // inner
    kwuser_scriptClick(IDOK);               // inner: ends it
    kwuser_scriptClick(IDCANCEL);           // outer again
    EXPECT_EQ(run(kRights), IDCANCEL);
    EXPECT_EQ(innerResult, IDOK);
    EXPECT_EQ(typedInInner, "inner");
    EXPECT_NE(activeInside, outer);
    EXPECT_EQ(kwuser_dialogTemplateId(activeInside), 0) << "the inner dialog is gone by now";
    EXPECT_EQ(outerParentOfInner, outer);
    EXPECT_EQ(kwuser_scriptCancelledDialogs(), 0);
}

TEST_F(Nesting, ActiveWindowIsTheInnermostDialogElseTheMainWindow) {
    HWND main = reinterpret_cast<HWND>(uintptr_t{0x4242});
    EXPECT_EQ(GetActiveWindow(), nullptr);
    kwuser_setMainWindow(main);
    EXPECT_EQ(GetActiveWindow(), main);
    std::set<HWND> handles;
    HWND activeInOuter = nullptr, activeInInner = nullptr, outer = nullptr, inner = nullptr;
    recorder().handler = [&](HWND dialog, UINT message, WPARAM wParam, LPARAM) -> BOOL {
        if (message == WM_INITDIALOG) {
            handles.insert(dialog);
        }
        if (message == WM_COMMAND && LOWORD(wParam) == kAuditAutoCheck) {
            outer = dialog;
            activeInOuter = GetActiveWindow();
            DialogBoxParamA(module_, MAKEINTRESOURCEA(kNote), dialog, recordingProcedure, 0);
            return TRUE;
        }
        if (message == WM_COMMAND && LOWORD(wParam) == IDOK && kwuser_dialogTemplateId(dialog) == kNote) {
            inner = dialog;
            activeInInner = GetActiveWindow();
        }
        return endOnButtons(dialog, message, wParam, 0);
    };
    kwuser_scriptClick(kAuditAutoCheck);
    kwuser_scriptClick(IDOK);
    kwuser_scriptClick(IDCANCEL);
    run(kRights, 0, main);
    EXPECT_EQ(activeInOuter, outer);
    EXPECT_EQ(activeInInner, inner);
    EXPECT_NE(inner, outer);
    EXPECT_EQ(handles.size(), 2u);
    EXPECT_EQ(GetActiveWindow(), main);
}

TEST_F(Nesting, LiveWindowsHaveDistinctHandlesBelow65536) {
    std::set<uintptr_t> handles;
    inspect([&](HWND dialog) {
        handles.insert(reinterpret_cast<uintptr_t>(dialog));
        for (int id : std::initializer_list<int>{kGrantee, kPrivileges, kRead3State, kWriteAuto3State,
                                                 kGrantCheck, kAuditAutoCheck, kTables, kColumns, kPlainList,
                                                 kTypes, kSortedTypes, IDOK, IDCANCEL}) {
            handles.insert(reinterpret_cast<uintptr_t>(GetDlgItem(dialog, id)));
        }
    });
    kwuser_scriptClick(IDCANCEL);
    recorder().handler = endOnButtons;
    run(kRights);
    EXPECT_EQ(handles.size(), 14u);
    EXPECT_EQ(handles.count(0), 0u);
    EXPECT_LT(*handles.rbegin(), 65536u);
}

}  // namespace
