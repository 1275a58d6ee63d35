/*
 * msgbox_test.cpp - MessageBoxA's answers under each presenter, and the log of every box.
 */
#include <gtest/gtest.h>

#include <string>

#include "kwuser.h"
#include "user_test_module.h"

namespace {

using namespace usertest;

class MessageBoxes : public UserTest {};

TEST_F(MessageBoxes, NobodyThereAnswersCancelElseNoElseOk) {
    kwuser_setPresenter(nullptr);
    struct Case {
        UINT type;
        int answer;
    };
    const Case cases[] = {
        {MB_OK, IDOK},
        {MB_OK | MB_ICONHAND, IDOK},
        {MB_OKCANCEL | MB_ICONQUESTION, IDCANCEL},
        {MB_YESNO, IDNO},
        {MB_YESNOCANCEL | MB_ICONEXCLAMATION, IDCANCEL},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(MessageBoxA(nullptr, "text", "caption", c.type), c.answer) << c.type;
    }
}

TEST_F(MessageBoxes, EveryBoxIsLoggedWhateverThePresenter) {
    kwuser_setPresenter(nullptr);
    MessageBoxA(nullptr, "Invalid server name entered", "Login", MB_ICONHAND);
    kwuser_useScriptedPresenter();
    MessageBoxA(nullptr, nullptr, nullptr, MB_OKCANCEL);
    ASSERT_EQ(kwuser_messageBoxCount(), 2);

    char text[64], caption[16];
    UINT type = 0;
    ASSERT_TRUE(kwuser_messageBoxAt(0, text, sizeof text, caption, sizeof caption, &type));
    EXPECT_STREQ(text, "Invalid server name entered");
    EXPECT_STREQ(caption, "Login");
    EXPECT_EQ(type, static_cast<UINT>(MB_ICONHAND));
    ASSERT_TRUE(kwuser_messageBoxAt(1, text, sizeof text, caption, sizeof caption, &type));
    EXPECT_STREQ(text, "");
    EXPECT_STREQ(caption, "Error") << "a box without a caption is captioned as Windows does";

    ASSERT_TRUE(kwuser_messageBoxAt(0, text, 8, nullptr, 0, nullptr));
    EXPECT_STREQ(text, "Invalid") << "read back under the truncation rule";
    EXPECT_FALSE(kwuser_messageBoxAt(2, text, sizeof text, caption, sizeof caption, &type));
    EXPECT_FALSE(kwuser_messageBoxAt(-1, text, sizeof text, caption, sizeof caption, &type));

    kwuser_messageBoxClear();
    EXPECT_EQ(kwuser_messageBoxCount(), 0);
}

TEST_F(MessageBoxes, ScriptedAnswersComeInOrderThenOk) {
    kwuser_scriptAnswer(IDCANCEL);
    kwuser_scriptAnswer(IDYES);
    EXPECT_EQ(MessageBoxA(nullptr, "About to undo", "Table Security", MB_OKCANCEL | MB_ICONQUESTION),
              IDCANCEL);
    EXPECT_EQ(MessageBoxA(nullptr, "Replace?", "Profile", MB_YESNO), IDYES);
    EXPECT_EQ(MessageBoxA(nullptr, "Done", "Profile", MB_OK), IDOK);
    EXPECT_EQ(MessageBoxA(nullptr, "Sure?", "Profile", MB_OKCANCEL), IDOK);
}

TEST_F(MessageBoxes, AnAnswerTheBoxDoesNotOfferCountsAsNoAnswer) {
    kwuser_scriptAnswer(IDYES);
    kwuser_scriptAnswer(IDOK);
    kwuser_scriptAnswer(77);
    EXPECT_EQ(MessageBoxA(nullptr, "a", "b", MB_OKCANCEL), IDCANCEL);
    EXPECT_EQ(MessageBoxA(nullptr, "a", "b", MB_YESNO), IDNO);
    EXPECT_EQ(MessageBoxA(nullptr, "a", "b", MB_OK), IDOK);
}

struct SeenBox {
    HWND owner = nullptr;
    std::string text, caption;
    UINT type = 0;
};

int recordBox(void* self, HWND owner, const char* text, const char* caption, UINT type) {
    *static_cast<SeenBox*>(self) = {owner, text, caption, type};
    return IDYES;
}

int noDialog(void*, HWND) {
    return 0;
}

TEST_F(MessageBoxes, APresenterSeesTheBoxAsGiven) {
    SeenBox seen;
    KwPresenter presenter = {noDialog, recordBox, &seen};
    kwuser_setPresenter(&presenter);
    HWND owner = reinterpret_cast<HWND>(uintptr_t{77});
    EXPECT_EQ(MessageBoxA(owner, "Drop it?", "Catalog", MB_YESNOCANCEL | MB_ICONQUESTION), IDYES);
    EXPECT_EQ(seen.owner, owner);
    EXPECT_EQ(seen.text, "Drop it?");
    EXPECT_EQ(seen.caption, "Catalog");
    EXPECT_EQ(seen.type, static_cast<UINT>(MB_YESNOCANCEL | MB_ICONQUESTION));
}

}  // namespace
