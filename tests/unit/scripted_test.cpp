/*
 * scripted_test.cpp - the scripted presenter driving whole dialogs: a sign-on dialog whose OK
 * waits for three fields, a script that runs out, message boxes inside a dialog, and reset.
 */
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kwuser.h"
#include "user_test_module.h"

namespace {

using namespace usertest;

/* A sign-on procedure with the login dialog's rules: OK only when server, user and password
 * are filled in; OK with an unknown server shows a message and stays open. */
BOOL signOnProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    recordingProcedure(dialog, message, wParam, lParam);
    if (message == WM_INITDIALOG) {
        char banner[80];
        LoadStringA(reinterpret_cast<HINSTANCE>(lParam), kBannerText, banner, sizeof banner);
        SetDlgItemTextA(dialog, kBanner, banner);
        SendDlgItemMessageA(dialog, kUser, EM_LIMITTEXT, 8, 0);
        return TRUE;
    }
    if (message != WM_COMMAND) {
        return FALSE;
    }
    int id = LOWORD(wParam);
    if (HIWORD(wParam) == EN_CHANGE) {
        bool filled = GetWindowTextLengthA(GetDlgItem(dialog, kServer)) > 0 &&
                      GetWindowTextLengthA(GetDlgItem(dialog, kUser)) > 0 &&
                      GetWindowTextLengthA(GetDlgItem(dialog, kPassword)) > 0;
        EnableWindow(GetDlgItem(dialog, IDOK), filled);
    } else if (id == IDOK) {
        char server[32];
        GetDlgItemTextA(dialog, kServer, server, sizeof server);
        if (std::string(server) != "db2test") {
            MessageBoxA(dialog, "Invalid server name entered", "Sign On", MB_ICONHAND);
            return TRUE;
        }
        EndDialog(dialog, 1);
    } else if (id == IDCANCEL) {
        if (MessageBoxA(dialog, "Leave?", "Sign On", MB_OKCANCEL | MB_ICONQUESTION) == IDOK) {
            EndDialog(dialog, 0);
        }
    }
    return TRUE;
}

class Scripted : public UserTest {
  protected:
    intptr_t signOn() {
        return DialogBoxParamA(module_, MAKEINTRESOURCEA(kSignOn), nullptr, signOnProcedure,
                               reinterpret_cast<LPARAM>(module_));
    }
};

TEST_F(Scripted, OkWaitsForServerUserAndPasswordThenEndsTheDialog) {
    std::vector<bool> okEnabled;
    std::string banner, user;
    auto noteOk = [&](HWND dialog) {
        okEnabled.push_back(IsWindowEnabled(GetDlgItem(dialog, IDOK)) != FALSE);
    };
    inspect([&](HWND dialog) {
        banner = windowText(GetDlgItem(dialog, kBanner));
        noteOk(dialog);
    });
    kwuser_scriptType(kServer, "db2test");
    inspect(noteOk);
    kwuser_scriptType(kUser, "administrator");
    inspect(noteOk);
    kwuser_scriptClick(IDOK);  // still disabled: ignored
    kwuser_scriptType(kPassword, "secret");
    inspect([&](HWND dialog) {
        noteOk(dialog);
        user = windowText(GetDlgItem(dialog, kUser));
    });
    kwuser_scriptType(kUser, "");
    inspect(noteOk);
    kwuser_scriptType(kUser, "joe");
    kwuser_scriptClick(IDOK);
    EXPECT_EQ(signOn(), 1);
    EXPECT_EQ(banner, "Sign on to the test server:");
    EXPECT_EQ(okEnabled, (std::vector<bool>{false, false, false, true, false}));
    EXPECT_EQ(user, "administ") << "the edit was limited to 8 characters";
    EXPECT_EQ(kwuser_scriptPendingActions(), 0);
    EXPECT_EQ(kwuser_scriptCancelledDialogs(), 0);
    EXPECT_EQ(kwuser_messageBoxCount(), 0);
}

TEST_F(Scripted, AMessageBoxInsideTheDialogTakesTheNextAnswerAndTheDialogStaysOpen) {
    kwuser_scriptType(kServer, "nowhere");
    kwuser_scriptType(kPassword, "pw");
    kwuser_scriptClick(IDOK);  // unknown server: a message box, the dialog stays
    kwuser_scriptType(kServer, "db2test");
    kwuser_scriptClick(IDOK);
    EXPECT_EQ(signOn(), 1);
    ASSERT_EQ(kwuser_messageBoxCount(), 1);
    char text[64];
    kwuser_messageBoxAt(0, text, sizeof text, nullptr, 0, nullptr);
    EXPECT_STREQ(text, "Invalid server name entered");
}

TEST_F(Scripted, AScriptThatRunsOutCancelsTheDialogThroughItsCancelButton) {
    kwuser_scriptType(kServer, "db2test");
    kwuser_scriptAnswer(IDOK);  // "Leave?" - yes
    EXPECT_EQ(signOn(), 0);
    EXPECT_EQ(kwuser_scriptCancelledDialogs(), 1);
    Command last = recorder().commands().back();
    EXPECT_EQ(last.id, IDCANCEL);
    EXPECT_EQ(last.code, BN_CLICKED);
    EXPECT_EQ(kwuser_messageBoxCount(), 1) << "the procedure's cancel logic ran";
}

TEST_F(Scripted, ACancelTheProcedureRefusesStillEndsTheDialog) {
    kwuser_scriptAnswer(IDCANCEL);  // "Leave?" - no
    EXPECT_EQ(signOn(), 0);
    EXPECT_EQ(kwuser_scriptCancelledDialogs(), 1);
}

TEST_F(Scripted, ResetForgetsActionsAnswersAndCancelledDialogs) {
    kwuser_scriptClick(IDCANCEL);
    kwuser_scriptAnswer(IDCANCEL);
    kwuser_setPresenter(nullptr);
    kwuser_useScriptedPresenter();
    EXPECT_EQ(kwuser_scriptPendingActions(), 1) << "choosing the presenter keeps the script";
    kwuser_scriptReset();
    EXPECT_EQ(kwuser_scriptPendingActions(), 0);
    signOn();  // runs out at once
    EXPECT_EQ(kwuser_scriptCancelledDialogs(), 1);
    EXPECT_EQ(MessageBoxA(nullptr, "x", "y", MB_OKCANCEL), IDOK) << "the queued answer is gone";
    kwuser_scriptReset();
    EXPECT_EQ(kwuser_scriptCancelledDialogs(), 0);
}

}  // namespace
