/*
 * form_test.cpp - keys decoded from a byte stream, one line edited in place, the form built from a
 * dialog and its text, and dialogs and message boxes driven from keys fed through a pipe.
 */
#include "form.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "keys.h"
#include "kwuser.h"
#include "user_test_module.h"

namespace {

using namespace usertest;
using kwuser::ControlView;
using kwuser::DialogView;
using kwuser::WindowKind;
using namespace kwuser::form;

/* A descriptor that reads the bytes and then the end of input. */
int inputOf(const std::string& bytes) {
    int fds[2];
    EXPECT_EQ(pipe(fds), 0);
    EXPECT_EQ(::write(fds[1], bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    close(fds[1]);
    return fds[0];
}

/* Keys from a pipe that holds the bytes given, and a screen that is a string. */
struct ScriptedConsole : Console {
    explicit ScriptedConsole(const std::string& bytes) : input(inputOf(bytes)), keys(input) {}
    ~ScriptedConsole() override { close(input); }
    Key readKey() override { return keys.next(); }
    void write(std::string_view text) override { screen.append(text); }
    int input;
    KeyReader keys;
    std::string screen;
};

TEST(Keys, BytesAndEscapeSequencesBecomeKeys) {
    auto keysOf = [](const std::string& bytes) {
        ScriptedConsole console(bytes);
        std::vector<Key> keys{console.readKey()};
        while (keys.back().kind != KeyKind::End) {
            keys.push_back(console.readKey());
        }
        EXPECT_TRUE(console.keys.inputEnded());
        return keys;
    };
    using K = KeyKind;
    const std::pair<std::string, std::vector<KeyKind>> cases[] = {
        {"a1 ", {K::Char, K::Char, K::Char}},
        {"\r\n", {K::Enter, K::Enter}},
        {"\x7f\b\x15", {K::Backspace, K::Backspace, K::ClearLine}},
        {"\x03\x04", {K::Interrupt, K::Interrupt}},
        {"\x1b[A\x1b[B\x1bOC\x1b[D", {K::Up, K::Down, K::Right, K::Left}},
        {"\x1b[2~", {K::Other}},          // a sequence without a meaning here
        {"\x1b", {K::Escape}},            // Esc alone
        {"\x1bq", {K::Escape, K::Char}},  // Esc, then a key
        {"\x01", {K::Other}},
        {"", {}},
    };
    for (const auto& [bytes, expected] : cases) {
        std::vector<KeyKind> kinds;
        for (const Key& key : keysOf(bytes)) {
            kinds.push_back(key.kind);
        }
        EXPECT_EQ(kinds.back(), K::End);
        kinds.pop_back();
        EXPECT_EQ(kinds, expected) << testing::PrintToString(bytes);
    }
    std::vector<Key> keys = keysOf("\x1bq\xc3\xa9");
    ASSERT_EQ(keys.size(), 5u);
    EXPECT_EQ(keys[1].ch, 'q');
    EXPECT_EQ(static_cast<unsigned char>(keys[2].ch), 0xC3) << "bytes of UTF-8 text are characters";
}

TEST(LineEditing, TypesEditsAndEndsALine) {
    using S = LineEditor::State;
    const struct {
        const char* what;
        LineEditor editor;
        std::string keys;
        S state;
        std::string text, echo;
    } cases[] = {
        {"typed and accepted", LineEditor("", 20, false), "joe\r", S::Accepted, "joe", "joe"},
        {"starts from the value", LineEditor("db2", 20, false), "x\r", S::Accepted, "db2x", "db2x"},
        {"backspace", LineEditor("ab", 20, false), "\177c\r", S::Accepted, "ac", "ab\b \bc"},
        {"clear the line", LineEditor("abc", 20, false), "\x15z\r", S::Accepted, "z", "abc\b \b\b \b\b \bz"},
        {"the limit refuses more", LineEditor("", 3, false), "abcd\r", S::Accepted, "abc", "abc\a"},
        {"hidden", LineEditor("pw", 20, true), "xy\r", S::Accepted, "pwxy", "****"},
        {"hidden UTF-8", LineEditor("", 20, true), "\xc3\xa9\r", S::Accepted, "\xc3\xa9", "*"},
        {"backspace over UTF-8", LineEditor("a\xc3\xa9", 20, false), "\x7f\r", S::Accepted, "a",
         "a\xc3\xa9\b \b"},
        {"digits only", LineEditor("", 4, false, true), "1x2\r", S::Accepted, "12", "1\a2"},
        {"Esc abandons", LineEditor("old", 20, false), "new\x1b", S::Abandoned, "oldnew", "oldnew"},
        {"Ctrl-C abandons", LineEditor("", 20, false), "a\x03", S::Abandoned, "a", "a"},
        {"end of input", LineEditor("", 20, false), "abc", S::InputEnded, "abc", "abc"},
        {"arrows are ignored", LineEditor("", 20, false), "a\x1b[Db\r", S::Accepted, "ab", "ab"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        LineEditor editor = c.editor;
        ScriptedConsole console(c.keys);
        std::string echo = editor.shown();
        S state = S::Editing;
        while (state == S::Editing) {
            state = editor.feed(console.readKey(), echo);
        }
        EXPECT_EQ(state, c.state);
        EXPECT_EQ(editor.text(), c.text);
        EXPECT_EQ(echo, c.echo);
    }
}

TEST(Accelerators, AreRemovedFromLabelsAndADoubledOneStaysAsOne) {
    const std::pair<const char*, const char*> cases[] = {
        {"&Server Name:", "Server Name:"},
        {"S&ystem Table Owner:", "System Table Owner:"},
        {"D&one", "Done"},
        {"Fish && Chips", "Fish & Chips"},
        {"Trailing&", "Trailing"},
        {"", ""},
    };
    for (const auto& [text, plain] : cases) {
        EXPECT_EQ(stripAccelerator(text), plain) << text;
    }
}

ControlView control(WindowKind kind, int id, const char* text, uint32_t style = 0) {
    return {.kind = kind, .id = id, .style = style, .text = text};
}

/* A dialog like the table security dialog, as a presenter sees it. */
DialogView securityLikeView() {
    DialogView view{.exists = true,
                    .title = "Table Security",
                    .controls = {
                        control(WindowKind::Static, -1, "Enter User ID:"),
                        control(WindowKind::Edit, 1017, "smith"),
                        control(WindowKind::Static, -1, "Select &Table:"),
                        control(WindowKind::ListBox, 1015, "", LBS_SORT | LBS_NOTIFY),
                        control(WindowKind::Button, -1, "Privileges", BS_GROUPBOX),
                        control(WindowKind::Button, 1008, "&All", BS_3STATE),
                        control(WindowKind::Button, 1009, "A&lter", BS_3STATE),
                        control(WindowKind::Button, 1, "D&one", BS_DEFPUSHBUTTON),
                        control(WindowKind::Button, 2, "Cancel", BS_PUSHBUTTON),
                        control(WindowKind::Static, -1, "Changes apply at once."),
                    }};
    view.controls[3].items = {{"dept", false}, {"emp", true}};
    view.controls[5].check = BST_CHECKED;
    view.controls[6].check = BST_INDETERMINATE;
    view.controls[6].enabled = false;
    return view;
}

TEST(FormModel, PairsLabelsWithTheirControlsAndShowsValuesChecksSelectionsAndDisabledFields) {
    Form form = buildForm(securityLikeView());
    const int ids[] = {0, 1017, 1015, 1008, 1009, 1, 2, 0};  // by number: push buttons last, no 0 or 7
    for (int number = 0; number <= 7; ++number) {
        const Field* field = fieldNumbered(form, number);
        EXPECT_EQ(field != nullptr ? field->controlId : 0, ids[number]) << number;
    }
    EXPECT_EQ(form.defaultButton, 6);
    EXPECT_EQ(form.cancelButton, 7);
    EXPECT_EQ(renderForm(form),
              "\n== Table Security ==\n"
              "   1. Enter User ID : smith\n"
              "   2. Select Table  : \n"
              "          dept\n"
              "        * emp\n"
              "-- Privileges --\n"
              "   3. [x] All\n"
              "   4. [-] Alter (disabled)\n"
              "Changes apply at once.\n"
              "   5. Done   6. Cancel\n"
              "Number and Enter: choose a field (Ctrl-U clears a value); Enter alone: Done; Esc: Cancel\n");
}

TEST(FormModel, NeverShowsAPasswordAndKeepsLongListsAndComboBoxesShort) {
    DialogView view{
        .exists = true,
        .title = "Login",
        .controls = {control(WindowKind::Static, -1, "&Password:"),
                     control(WindowKind::Edit, 313, "tiger", ES_PASSWORD),
                     control(WindowKind::Static, -1, "&Group Id:"),
                     control(WindowKind::Edit, 308, "", ES_PASSWORD),
                     control(WindowKind::Static, -1, "&Type:"), control(WindowKind::ComboBox, 6601, ""),
                     control(WindowKind::ListBox, 7, "")}};
    for (int i = 0; i < 14; ++i) {
        view.controls[5].items.push_back({"type" + std::to_string(i), i == 3});
        view.controls[6].items.push_back({"item" + std::to_string(i), false});
    }
    std::string shown = renderForm(buildForm(view));
    EXPECT_EQ(shown.find("tiger"), std::string::npos);
    for (const char* part : {"1. Password : (set)", "2. Group Id : (empty)",
                             "3. Type     : type3 (14 choices)", "item9", "... and 4 more"}) {
        EXPECT_NE(shown.find(part), std::string::npos) << part << "\n" << shown;
    }
    EXPECT_EQ(shown.find("type4"), std::string::npos) << "a combo box shows its choice only";
    EXPECT_EQ(shown.find("item10"), std::string::npos);
    EXPECT_EQ(shown.find("Enter alone"), std::string::npos) << "no default button, no promise";
}

int consoleRunDialog(void* self, HWND dialog) {
    return runForm(dialog, *static_cast<ScriptedConsole*>(self)) == FormOutcome::Ended ? 1 : 0;
}

int consoleMessageBox(void* self, HWND, const char* text, const char* caption, UINT type) {
    return runMessageBox(*static_cast<ScriptedConsole*>(self), text, caption, type);
}

class FormSession : public UserTest {};

TEST_F(FormSession, ListsAreChosenFromAndCheckBoxesClicked) {
    recorder().handler = [](HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) -> BOOL {
        if (message == WM_INITDIALOG) {
            addItems(dialog, kTables, {"emp", "dept"});
            addItems(dialog, kColumns, {"sal", "ename", "comm"});
        }
        if (message == WM_COMMAND && LOWORD(wParam) == IDOK) {
            int selected[3] = {};
            SendDlgItemMessageA(dialog, kColumns, LB_GETSELITEMS, 3, reinterpret_cast<LPARAM>(selected));
            EXPECT_EQ(std::vector<int>(selected, selected + 3), (std::vector<int>{1, 2, 0}));
            EXPECT_EQ(SendDlgItemMessageA(dialog, kTables, LB_GETCURSEL, 0, 0), 1);
            EXPECT_EQ(IsDlgButtonChecked(dialog, kWriteAuto3State), static_cast<UINT>(BST_INDETERMINATE))
                << "two clicks on an automatic three-state box";
        }
        return endOnButtons(dialog, message, wParam, lParam);
    };
    // Fields: 1 grantee, 2-5 the check boxes, 6 tables, 7 columns, 8 plain list, 9-10 combos,
    // 11 Done, 12 Cancel. Table 2 (emp); columns (sorted: comm, ename, sal) 1, 3, 1 again, 2, so
    // ename and sal stay; a column 9 that does not exist; two clicks on Write; Enter for Done.
    ScriptedConsole console("6\r2\r7\r1\r3\r1\r2\r9\r\r3\r3\r\r");
    KwPresenter presenter = {consoleRunDialog, consoleMessageBox, &console};
    kwuser_setPresenter(&presenter);
    EXPECT_EQ(run(kRights), IDOK);
    EXPECT_NE(console.screen.find("No item 9."), std::string::npos);
}

TEST(MessageBoxes, ShowCaptionIconTextAndButtonsAndALetterEnterOrEscChoosesOneTheBoxHas) {
    EXPECT_EQ(renderMessageBox("Invalid login id entered", "Login", MB_ICONHAND),
              "\n-- Login (stop) --\nInvalid login id entered\n[O]K  ? ");
    EXPECT_EQ(renderMessageBox("Undo?", "Table Security", MB_OKCANCEL | MB_ICONQUESTION),
              "\n-- Table Security (question) --\nUndo?\n[O]K  [C]ancel  ? ");
    EXPECT_EQ(renderMessageBox("Save?", "Profile", MB_YESNOCANCEL),
              "\n-- Profile --\nSave?\n[Y]es  [N]o  [C]ancel  ? ");
    const std::tuple<UINT, std::string, int> cases[] = {
        {MB_OK, "\r", IDOK},        {MB_OKCANCEL, "c", IDCANCEL},
        {MB_OKCANCEL, "\r", IDOK},  {MB_YESNO, "xN", IDNO},
        {MB_YESNO, "\x1by", IDYES}, {MB_YESNOCANCEL, "\x1b", IDCANCEL},
        {MB_OK, "\x1b", IDOK},      {MB_YESNO, "", 0},  // the input ended
    };
    for (const auto& [type, keys, answer] : cases) {
        ScriptedConsole console(keys);
        EXPECT_EQ(runMessageBox(console, "Sure?", "Profile", type), answer) << type << " " << keys;
    }
}

}  // namespace
