/*
 * scripted_test.cpp - MessageBoxA under each presenter and the log of every box; the scripted
 * presenter driving a whole sign-on dialog whose OK waits for three fields, a script that runs
 * out, message boxes inside a dialog, and reset.
 */
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kwuser.h"
#include "user_test_module.h"

namespace {

using namespace usertest;

class MessageBoxes : public UserTest {};

TEST_F(MessageBoxes, NobodyThereAnswersCancelElseNoElseOkAndEveryBoxIsLoggedWhateverThePresenter) {
    kwuser_setPresenter(nullptr);
    const std::pair<UINT, int> cases[] = {{MB_ICONHAND, IDOK},
                                          {MB_OKCANCEL | MB_ICONQUESTION, IDCANCEL},
                                          {MB_YESNO, IDNO},
                                          {MB_YESNOCANCEL | MB_ICONEXCLAMATION, IDCANCEL}};
    for (const auto& [type, answer] : cases) {
        EXPECT_EQ(MessageBoxA(nullptr, "Invalid server name entered", "Login", type), answer) << type;
    }
    kwuser_useScriptedPresenter();
    MessageBoxA(nullptr, nullptr, nullptr, MB_OKCANCEL);
    ASSERT_EQ(kwuser_messageBoxCount(), 5);

    char text[64], caption[16];
    UINT type = 0;
    ASSERT_TRUE(kwuser_messageBoxAt(0, text, sizeof text, caption, sizeof caption, &type));
    EXPECT_STREQ(text, "Invalid server name entered");
    EXPECT_STREQ(caption, "Login");
    EXPECT_EQ(type, static_cast<UINT>(MB_ICONHAND));
    ASSERT_TRUE(kwuser_messageBoxAt(4, text, sizeof text, caption, sizeof caption, &type));
    EXPECT_STREQ(text, "");
    EXPECT_STREQ(caption, "Error") << "a box without a caption is captioned as Windows does";
    ASSERT_TRUE(kwuser_messageBoxAt(0, text, 8, nullptr, 0, nullptr));
    EXPECT_STREQ(text, "Invalid") << "read back under the truncation rule";
    EXPECT_FALSE(kwuser_messageBoxAt(5, text, sizeof text, caption, sizeof caption, &type));
    EXPECT_FALSE(kwuser_messageBoxAt(-1, text, sizeof text, caption, sizeof caption, &type));
    kwuser_messageBoxClear();
    EXPECT_EQ(kwuser_messageBoxCount(), 0);
}

TEST_F(MessageBoxes, ScriptedAnswersComeInOrderAndOnesTheBoxDoesNotOfferCountAsNone) {
    for (int answer : {int{IDCANCEL}, int{IDYES}, int{IDYES}, int{IDOK}, 77}) {
        kwuser_scriptAnswer(answer);
    }
    const std::pair<UINT, int> boxes[] = {
        {MB_OKCANCEL | MB_ICONQUESTION, IDCANCEL},
        {MB_YESNO, IDYES},
        {MB_OKCANCEL, IDCANCEL},  // IDYES is not offered
        {MB_YESNO, IDNO},         // nor IDOK
        {MB_OK, IDOK},            // nor 77
        {MB_OKCANCEL, IDOK},      // the answers have run out
    };
    for (const auto& [type, answer] : boxes) {
        EXPECT_EQ(MessageBoxA(nullptr, "Sure?", "Profile", type), answer) << type;
    }
}

TEST_F(MessageBoxes, APresenterSeesTheBoxAsGiven) {
    std::string seen;
    auto show = [](void* self, HWND owner, const char* text, const char* caption, UINT type) {
        *static_cast<std::string*>(self) = std::to_string(reinterpret_cast<uintptr_t>(owner)) + " " + text +
                                           " / " + caption + " " + std::to_string(type);
        return int{IDYES};
    };
    KwPresenter presenter = {[](void*, HWND) { return 0; }, show, &seen};
    kwuser_setPresenter(&presenter);
    const UINT type = MB_YESNOCANCEL | MB_ICONQUESTION;
    EXPECT_EQ(MessageBoxA(reinterpret_cast<HWND>(uintptr_t{77}), "Drop it?", "Catalog", type), IDYES);
    EXPECT_EQ(seen, "77 Drop it? / Catalog " + std::to_string(type));
}

/* The sign-on rules, a banner from the string table, an unknown server refused with a message,
 * and Cancel only after "Leave?" is confirmed. */
BOOL signOnProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    recordingProcedure(dialog, message, wParam, lParam);
    applySignOnRules(dialog, message, wParam);
    if (message == WM_INITDIALOG) {
        char banner[80];
        LoadStringA(reinterpret_cast<HINSTANCE>(lParam), kBannerText, banner, sizeof banner);
        SetDlgItemTextA(dialog, kBanner, banner);
    } else if (message == WM_COMMAND && LOWORD(wParam) == IDOK) {
        char server[32];
        GetDlgItemTextA(dialog, kServer, server, sizeof server);
        if (std::string(server) != "db2test") {
            MessageBoxA(dialog, "Invalid server name entered", "Sign On", MB_ICONHAND);
        } else {
            EndDialog(dialog, 1);
        }
    } else if (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL &&
               MessageBoxA(dialog, "Leave?", "Sign On", MB_OKCANCEL | MB_ICONQUESTION) == IDOK) {
        EndDialog(dialog, 0);
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

TEST_F(Scripted, OkWaitsForServerUserAndPasswordAndAMessageBoxInsideLeavesTheDialogOpen) {
    std::vector<bool> okEnabled;
    std::string banner;
    auto noteOk = [&](HWND dialog) {
        okEnabled.push_back(IsWindowEnabled(GetDlgItem(dialog, IDOK)) != FALSE);
    };
    inspect([&](HWND dialog) {
        banner = windowText(GetDlgItem(dialog, kBanner));
        noteOk(dialog);
    });
    kwuser_scriptType(kServer, "nowhere");
    inspect(noteOk);
    kwuser_scriptType(kUser, "administrator");
    inspect(noteOk);
    kwuser_scriptClick(IDOK);  // still disabled: ignored
    kwuser_scriptType(kPassword, "secret");
    inspect(noteOk);
    kwuser_scriptType(kUser, "");
    inspect(noteOk);
    kwuser_scriptType(kUser, "joe");
    kwuser_scriptClick(IDOK);  // unknown server: a message box, and the dialog stays
    kwuser_scriptType(kServer, "db2test");
    kwuser_scriptClick(IDOK);
    EXPECT_EQ(signOn(), 1);
    EXPECT_EQ(banner, "Sign on to the test server:");
    EXPECT_EQ(okEnabled, (std::vector<bool>{false, false, false, true, false}));
    EXPECT_EQ(kwuser_scriptPendingActions(), 0);
    EXPECT_EQ(kwuser_scriptCancelledDialogs(), 0);
    ASSERT_EQ(kwuser_messageBoxCount(), 1) << "one box, from the OK that was enabled";
    char text[64];
    kwuser_messageBoxAt(0, text, sizeof text, nullptr, 0, nullptr);
    EXPECT_STREQ(text, "Invalid server name entered");
}

TEST_F(Scripted, AScriptThatRunsOutCancelsTheDialogThroughItsCancelButtonEvenIfRefused) {
    for (int leave : {int{IDOK}, int{IDCANCEL}}) {  // the answer to "Leave?"
        kwuser_scriptReset();
        kwuser_messageBoxClear();
        kwuser_scriptType(kServer, "db2test");
        kwuser_scriptAnswer(leave);
        EXPECT_EQ(signOn(), 0) << leave;
        EXPECT_EQ(kwuser_scriptCancelledDialogs(), 1) << leave;
        EXPECT_EQ(kwuser_messageBoxCount(), 1) << "Cancel was pressed: the procedure's cancel logic ran";
        EXPECT_EQ(recorder().commands().back().id, IDCANCEL);
    }
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
