/*
 * control_test.cpp - window text and its truncation, edit limits, enabled state, focus and the
 * check states of the button styles.
 */
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "kwuser.h"
#include "user_test_module.h"

namespace {

using namespace usertest;

/* Runs `check` inside an open Rights dialog, then cancels it. */
class Controls : public UserTest {
  protected:
    void within(int templateId, std::function<void(HWND)> check) {
        inspect(std::move(check));
        kwuser_scriptClick(IDCANCEL);
        recorder().handler = endOnButtons;
        run(templateId);
        EXPECT_EQ(kwuser_scriptPendingActions(), 0) << "the check ran";
    }
};

TEST_F(Controls, TextReadsFollowTheTruncationRule) {
    within(kSignOn, [](HWND dialog) {
        HWND user = GetDlgItem(dialog, kUser);  // "guest"
        struct Case {
            int bufferMax;
            const char* text;
            int copied;
        };
        const Case cases[] = {{100, "guest", 5}, {6, "guest", 5}, {5, "gues", 4}, {2, "g", 1}, {1, "", 0}};
        for (const Case& c : cases) {
            char buffer[100];
            std::memset(buffer, '#', sizeof buffer);
            EXPECT_EQ(GetWindowTextA(user, buffer, c.bufferMax), c.copied);
            EXPECT_STREQ(buffer, c.text);
            std::memset(buffer, '#', sizeof buffer);
            EXPECT_EQ(GetDlgItemTextA(dialog, kUser, buffer, c.bufferMax), static_cast<UINT>(c.copied));
            EXPECT_STREQ(buffer, c.text);
            EXPECT_EQ(buffer[c.copied + 1], '#');
            std::memset(buffer, '#', sizeof buffer);
            EXPECT_EQ(SendMessageA(user, WM_GETTEXT, static_cast<WPARAM>(c.bufferMax),
                                   reinterpret_cast<LPARAM>(buffer)),
                      c.copied);
            EXPECT_STREQ(buffer, c.text);
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
        EXPECT_TRUE(SetDlgItemTextA(dialog, kBanner, "Sign on to the test server:"));
        EXPECT_EQ(windowText(GetDlgItem(dialog, kBanner)), "Sign on to the test server:");
        EXPECT_TRUE(SetWindowTextA(GetDlgItem(dialog, kServer), "db2prod"));
        EXPECT_EQ(windowText(GetDlgItem(dialog, kServer)), "db2prod");
        EXPECT_EQ(SendDlgItemMessageA(dialog, kServer, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("db2test")),
                  TRUE);
        EXPECT_EQ(windowText(GetDlgItem(dialog, kServer)), "db2test");
        EXPECT_TRUE(SetWindowTextA(GetDlgItem(dialog, kServer), nullptr));
        EXPECT_EQ(GetWindowTextLengthA(GetDlgItem(dialog, kServer)), 0);
        EXPECT_TRUE(SetWindowTextA(dialog, "Another title"));
        EXPECT_EQ(windowText(dialog), "Another title");
        EXPECT_FALSE(SetDlgItemTextA(dialog, 4242, "x"));
    });
}

TEST_F(Controls, EditLimitAppliesToTypingButNotToSetText) {
    std::string typed, set, typedAfterLift;
    recorder().handler = [](HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) -> BOOL {
        if (message == WM_INITDIALOG) {
            SendDlgItemMessageA(dialog, kServer, EM_LIMITTEXT, 8, 0);
        }
        return endOnButtons(dialog, message, wParam, lParam);
    };
    kwuser_scriptType(kServer, "ABCDEFGHIJKL");
    inspect([&](HWND dialog) {
        typed = windowText(GetDlgItem(dialog, kServer));
        SetDlgItemTextA(dialog, kServer, "0123456789ABCDEF");
        set = windowText(GetDlgItem(dialog, kServer));
        SendDlgItemMessageA(dialog, kServer, EM_LIMITTEXT, 0, 0);  // 0 lifts the limit
    });
    kwuser_scriptType(kServer, std::string(300, 'x').c_str());
    inspect([&](HWND dialog) { typedAfterLift = windowText(GetDlgItem(dialog, kServer)); });
    kwuser_scriptClick(IDCANCEL);
    run(kSignOn);
    EXPECT_EQ(typed, "ABCDEFGH");
    EXPECT_EQ(set, "0123456789ABCDEF");
    EXPECT_EQ(typedAfterLift.size(), 300u);
}

TEST_F(Controls, EnableWindowAnswersWhetherTheWindowWasDisabled) {
    within(kSignOn, [](HWND dialog) {
        HWND ok = GetDlgItem(dialog, IDOK);  // starts disabled
        EXPECT_TRUE(EnableWindow(ok, TRUE));
        EXPECT_TRUE(IsWindowEnabled(ok));
        EXPECT_FALSE(EnableWindow(ok, TRUE));
        EXPECT_FALSE(EnableWindow(ok, FALSE));
        EXPECT_FALSE(IsWindowEnabled(ok));
        EXPECT_FALSE(IsWindowEnabled(nullptr));
    });
}

TEST_F(Controls, SetFocusAnswersThePreviousFocusAndRefusesDisabledWindows) {
    within(kSignOn, [](HWND dialog) {
        HWND server = GetDlgItem(dialog, kServer), user = GetDlgItem(dialog, kUser);
        SetFocus(server);
        EXPECT_EQ(SetFocus(user), server);
        EXPECT_EQ(GetFocus(), user);
        EXPECT_EQ(SetFocus(GetDlgItem(dialog, IDOK)), nullptr) << "OK is disabled";
        EXPECT_EQ(GetFocus(), user);
        EnableWindow(user, FALSE);
        EXPECT_EQ(GetFocus(), nullptr) << "a disabled window loses the focus";
        EXPECT_EQ(SetFocus(server), nullptr);
        EXPECT_EQ(GetFocus(), server);
    });
}

TEST_F(Controls, CheckStatesDependOnTheButtonStyle) {
    struct Case {
        int id;
        UINT set;
        UINT expected;
    };
    const Case cases[] = {
        {kRead3State, BST_INDETERMINATE, BST_INDETERMINATE},
        {kRead3State, BST_CHECKED, BST_CHECKED},
        {kWriteAuto3State, BST_INDETERMINATE, BST_INDETERMINATE},
        {kGrantCheck, BST_INDETERMINATE, BST_CHECKED},  // a two-state box shows the third state as checked
        {kAuditAutoCheck, BST_CHECKED, BST_CHECKED},
        {kAuditAutoCheck, BST_UNCHECKED, BST_UNCHECKED},
        {IDOK, BST_CHECKED, BST_UNCHECKED},  // a push button has no check state
    };
    within(kRights, [&](HWND dialog) {
        for (const Case& c : cases) {
            SendDlgItemMessageA(dialog, c.id, BM_SETCHECK, c.set, 0);
            EXPECT_EQ(static_cast<UINT>(SendDlgItemMessageA(dialog, c.id, BM_GETCHECK, 0, 0)), c.expected)
                << c.id;
            EXPECT_EQ(IsDlgButtonChecked(dialog, c.id), c.expected) << c.id;
        }
        EXPECT_TRUE(CheckDlgButton(dialog, kRead3State, BST_UNCHECKED));
        SendDlgItemMessageA(dialog, kRead3State, BM_SETCHECK, 7, 0);  // no such state: ignored
        EXPECT_EQ(IsDlgButtonChecked(dialog, kRead3State), static_cast<UINT>(BST_UNCHECKED));
        EXPECT_FALSE(CheckDlgButton(dialog, 4242, BST_CHECKED));
        EXPECT_EQ(IsDlgButtonChecked(dialog, 4242), 0u);
    });
}

}  // namespace
