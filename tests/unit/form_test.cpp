/*
 * form_test.cpp - the terminal-independent half of the terminal presenter: keys from a byte
 * stream, line editing, the form built from a dialog and its text, and a dialog driven from keys
 * fed through a pipe.
 */
#include "form.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "kwuser.h"
#include "user_test_module.h"

namespace {

using namespace usertest;
using kwuser::ControlView;
using kwuser::DialogView;
using kwuser::ListItem;
using kwuser::WindowKind;
using namespace kwuser::form;

/* A pipe whose write end is filled (and closed) before reading starts. */
class Pipe {
  public:
    Pipe() { EXPECT_EQ(pipe(fds_), 0); }
    ~Pipe() {
        closeWrite();
        close(fds_[0]);
    }
    void feed(const std::string& bytes) {
        EXPECT_EQ(write(fds_[1], bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
    void closeWrite() {
        if (fds_[1] >= 0) {
            close(fds_[1]);
            fds_[1] = -1;
        }
    }
    int readFd() const { return fds_[0]; }
    int writeFd() const { return fds_[1]; }

    std::string drain() {
        closeWrite();
        std::string out;
        char buffer[4096];
        ssize_t got;
        while ((got = read(fds_[0], buffer, sizeof buffer)) > 0) {
            out.append(buffer, static_cast<size_t>(got));
        }
        return out;
    }

  private:
    int fds_[2] = {-1, -1};
};

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

std::vector<Key> keysOf(const std::string& bytes) {
    Pipe pipe;
    pipe.feed(bytes);
    pipe.closeWrite();
    KeyReader reader(pipe.readFd());
    std::vector<Key> keys;
    for (Key key = reader.next();; key = reader.next()) {
        keys.push_back(key);
        if (key.kind == KeyKind::End) {
            EXPECT_TRUE(reader.inputEnded());
            return keys;
        }
    }
}

std::vector<KeyKind> kindsOf(const std::vector<Key>& keys) {
    std::vector<KeyKind> kinds;
    for (const Key& key : keys) {
        kinds.push_back(key.kind);
    }
    return kinds;
}

TEST(Keys, BytesAndEscapeSequencesBecomeKeys) {
    using K = KeyKind;
    struct Case {
        std::string bytes;
        std::vector<KeyKind> kinds;
    };
    const Case cases[] = {
        {"a1 ", {K::Char, K::Char, K::Char, K::End}},
        {"\r\n", {K::Enter, K::Enter, K::End}},
        {"\x7f\b\x15", {K::Backspace, K::Backspace, K::ClearLine, K::End}},
        {"\x03\x04", {K::Interrupt, K::Interrupt, K::End}},
        {"\x1b[A\x1b[B\x1bOC\x1b[D", {K::Up, K::Down, K::Right, K::Left, K::End}},
        {"\x1b[2~", {K::Other, K::End}},          // a sequence without a meaning here
        {"\x1b", {K::Escape, K::End}},            // Esc alone
        {"\x1bq", {K::Escape, K::Char, K::End}},  // Esc, then a key
        {"\x01", {K::Other, K::End}},
        {"", {K::End}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(kindsOf(keysOf(c.bytes)), c.kinds) << testing::PrintToString(c.bytes);
    }
    std::vector<Key> keys = keysOf("\x1bq\xc3\xa9");
    ASSERT_EQ(keys.size(), 5u);
    EXPECT_EQ(keys[1].ch, 'q');
    EXPECT_EQ(static_cast<unsigned char>(keys[2].ch), 0xC3) << "bytes of UTF-8 text are characters";
}

/* Feeds keys to a line editor; answers the final state, the text and everything echoed. */
struct Edited {
    LineEditor::State state;
    std::string text;
    std::string echo;
};

Edited edit(LineEditor editor, const std::string& bytes) {
    Pipe pipe;
    pipe.feed(bytes);
    pipe.closeWrite();
    KeyReader reader(pipe.readFd());
    Edited result{LineEditor::State::Editing, "", editor.shown()};
    while (result.state == LineEditor::State::Editing) {
        result.state = editor.feed(reader.next(), result.echo);
    }
    result.text = editor.text();
    return result;
}

TEST(LineEditing, TypesEditsAndEndsALine) {
    using S = LineEditor::State;
    struct Case {
        const char* what;
        LineEditor editor;
        std::string keys;
        S state;
        std::string text;
        std::string echo;
    };
    const Case cases[] = {
        {"typed and accepted", LineEditor("", 20, false), "joe\r", S::Accepted, "joe", "joe"},
        {"starts from the value", LineEditor("db2", 20, false), "x\r", S::Accepted, "db2x", "db2x"},
        {"backspace", LineEditor("ab", 20, false),
         "\x7f"
         "c\r",
         S::Accepted, "ac", "ab\b \bc"},
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
    for (const Case& c : cases) {
        Edited result = edit(c.editor, c.keys);
        EXPECT_EQ(result.state, c.state) << c.what;
        EXPECT_EQ(result.text, c.text) << c.what;
        EXPECT_EQ(result.echo, c.echo) << c.what;
    }
}

ControlView control(WindowKind kind, int id, const char* text, uint32_t style = 0) {
    ControlView view;
    view.kind = kind;
    view.id = id;
    view.text = text;
    view.style = style;
    return view;
}

/* A dialog like the table security dialog, as a presenter sees it. */
DialogView securityLikeView() {
    DialogView view;
    view.exists = true;
    view.title = "Table Security";
    view.controls = {
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
    };
    view.controls[3].items = {{"dept", false}, {"emp", true}};
    view.controls[5].check = BST_CHECKED;
    view.controls[6].check = BST_INDETERMINATE;
    view.controls[6].enabled = false;
    return view;
}

TEST(FormModel, PairsLabelsWithTheirControlsAndPutsPushButtonsLast) {
    Form form = buildForm(securityLikeView());
    struct Expected {
        FieldKind kind;
        int number;
        int id;
        const char* label;
    };
    const Expected expected[] = {
        {FieldKind::Edit, 1, 1017, "Enter User ID"}, {FieldKind::List, 2, 1015, "Select Table"},
        {FieldKind::Heading, 0, 0, "Privileges"},    {FieldKind::CheckBox, 3, 1008, "All"},
        {FieldKind::CheckBox, 4, 1009, "Alter"},     {FieldKind::Text, 0, 0, "Changes apply at once."},
        {FieldKind::Button, 5, 1, "Done"},           {FieldKind::Button, 6, 2, "Cancel"},
    };
    ASSERT_EQ(form.fields.size(), std::size(expected));
    for (size_t i = 0; i < form.fields.size(); ++i) {
        EXPECT_EQ(form.fields[i].kind, expected[i].kind) << i;
        EXPECT_EQ(form.fields[i].number, expected[i].number) << i;
        EXPECT_EQ(form.fields[i].label, expected[i].label) << i;
        if (expected[i].number != 0) {
            EXPECT_EQ(form.fields[i].controlId, expected[i].id) << i;
        }
    }
    EXPECT_EQ(form.defaultButton, 6);
    EXPECT_EQ(form.cancelButton, 7);
    EXPECT_EQ(fieldNumbered(form, 4)->controlId, 1009);
    EXPECT_EQ(fieldNumbered(form, 7), nullptr);
    EXPECT_EQ(fieldNumbered(form, 0), nullptr);
}

TEST(FormModel, ShowsValuesChecksSelectionsAndDisabledFields) {
    const char* expected =
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
        "Number and Enter: choose a field (Ctrl-U clears a value); Enter alone: Done; Esc: Cancel\n";
    EXPECT_EQ(renderForm(buildForm(securityLikeView())), expected);
}

TEST(FormModel, NeverShowsAPassword) {
    DialogView view;
    view.exists = true;
    view.title = "Login";
    view.controls = {
        control(WindowKind::Static, -1, "&Password:"), control(WindowKind::Edit, 313, "tiger", ES_PASSWORD),
        control(WindowKind::Static, -1, "&Group Id:"), control(WindowKind::Edit, 308, "", ES_PASSWORD)};
    std::string shown = renderForm(buildForm(view));
    EXPECT_EQ(shown.find("tiger"), std::string::npos);
    EXPECT_NE(shown.find("1. Password : (set)"), std::string::npos) << shown;
    EXPECT_NE(shown.find("2. Group Id : (empty)"), std::string::npos) << shown;
    EXPECT_EQ(shown.find("Enter alone"), std::string::npos) << "no default button, no promise";
}

TEST(FormModel, LongListsAndComboBoxesStayShort) {
    DialogView view;
    view.exists = true;
    view.title = "Types";
    view.controls = {control(WindowKind::Static, -1, "&Type:"), control(WindowKind::ComboBox, 6601, ""),
                     control(WindowKind::ListBox, 7, "")};
    for (int i = 0; i < 14; ++i) {
        view.controls[1].items.push_back({"type" + std::to_string(i), i == 3});
        view.controls[2].items.push_back({"item" + std::to_string(i), false});
    }
    std::string shown = renderForm(buildForm(view));
    EXPECT_NE(shown.find("1. Type    : type3 (14 choices)"), std::string::npos) << shown;
    EXPECT_EQ(shown.find("type4"), std::string::npos) << "a combo box shows its choice only";
    EXPECT_NE(shown.find("item9"), std::string::npos);
    EXPECT_EQ(shown.find("item10"), std::string::npos);
    EXPECT_NE(shown.find("... and 4 more"), std::string::npos);
}

/* A presenter that drives each dialog from the keys in a pipe and writes the form to another. */
struct PipePresenter {
    Pipe keys;
    Pipe screen;
    std::unique_ptr<KeyReader> reader;
    std::vector<FormOutcome> outcomes;
};

int pipeRunDialog(void* self, HWND dialog) {
    auto* presenter = static_cast<PipePresenter*>(self);
    FdConsole console(*presenter->reader, presenter->screen.writeFd());
    FormOutcome outcome = runForm(dialog, console);
    presenter->outcomes.push_back(outcome);
    return outcome == FormOutcome::Ended ? 1 : 0;
}

int pipeMessageBox(void* self, HWND, const char* text, const char* caption, UINT type) {
    auto* presenter = static_cast<PipePresenter*>(self);
    FdConsole console(*presenter->reader, presenter->screen.writeFd());
    return runMessageBox(console, text, caption, type);
}

class FormSession : public UserTest {
  protected:
    /* Runs a dialog with the keys given; answers the dialog's result. */
    intptr_t runWithKeys(int templateId, const std::string& keys) {
        presenter_.keys.feed(keys);
        presenter_.keys.closeWrite();
        presenter_.reader = std::make_unique<KeyReader>(presenter_.keys.readFd());
        KwPresenter table = {pipeRunDialog, pipeMessageBox, &presenter_};
        kwuser_setPresenter(&table);
        return run(templateId);
    }
    std::string screen() { return presenter_.screen.drain(); }

    PipePresenter presenter_;
};

BOOL signOnRules(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SendDlgItemMessageA(dialog, kUser, EM_LIMITTEXT, 8, 0);
    }
    if (message == WM_COMMAND && HIWORD(wParam) == EN_CHANGE) {
        bool filled = GetWindowTextLengthA(GetDlgItem(dialog, kServer)) > 0 &&
                      GetWindowTextLengthA(GetDlgItem(dialog, kPassword)) > 0;
        EnableWindow(GetDlgItem(dialog, IDOK), filled);
    }
    return endOnButtons(dialog, message, wParam, lParam);
}

TEST_F(FormSession, FieldsChosenByNumberAreTypedIntoAndEnterPressesTheDefaultButton) {
    std::string server, user, password;
    recorder().handler = [&](HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) -> BOOL {
        if (message == WM_COMMAND && LOWORD(wParam) == IDOK) {
            server = windowText(GetDlgItem(dialog, kServer));
            user = windowText(GetDlgItem(dialog, kUser));
            password = windowText(GetDlgItem(dialog, kPassword));
        }
        return signOnRules(dialog, message, wParam, lParam);
    };
    // Enter first: OK is still disabled. Then server, user (past its limit), password, Enter.
    EXPECT_EQ(runWithKeys(kSignOn,
                          "\r1\rdb2test\r2\r\x15"
                          "administrator\r3\rs3cret\r\r"),
              IDOK);
    EXPECT_EQ(server, "db2test");
    EXPECT_EQ(user, "administ");
    EXPECT_EQ(password, "s3cret");
    std::string shown = screen();
    EXPECT_NE(shown.find("OK is disabled."), std::string::npos) << shown;
    EXPECT_EQ(shown.find("s3cret"), std::string::npos) << "the password is never shown";
    EXPECT_NE(shown.find("Password: ******"), std::string::npos) << shown;
    EXPECT_NE(shown.find("3. Password : (set)"), std::string::npos) << shown;
    auto commands = recorder().commands();
    ASSERT_FALSE(commands.empty());
    EXPECT_EQ(commands.front(), (Command{kServer, EN_SETFOCUS, commands.front().control}));
}

TEST_F(FormSession, EscPressesCancelAndEndOfInputGivesUp) {
    recorder().handler = endOnButtons;
    EXPECT_EQ(runWithKeys(kSignOn, "1\rdb\x1b\x1b"), IDCANCEL)
        << "the first Esc leaves the edit, the second the dialog";
    EXPECT_EQ(presenter_.outcomes, (std::vector<FormOutcome>{FormOutcome::Ended}));
    EXPECT_EQ(recorder().commands().back().id, IDCANCEL);
}

TEST_F(FormSession, EndOfInputLeavesTheDialogToBeCancelled) {
    recorder().handler = endOnButtons;
    EXPECT_EQ(runWithKeys(kNote, "1\rhal"), 0) << "no Cancel button: ended with 0";
    EXPECT_EQ(presenter_.outcomes, (std::vector<FormOutcome>{FormOutcome::InputEnded}));
    EXPECT_TRUE(presenter_.reader->inputEnded());
}

TEST_F(FormSession, ListsAreChosenFromAndCheckBoxesClicked) {
    std::vector<int> columns;
    LRESULT table = LB_ERR;
    UINT write = 9;
    recorder().handler = [&](HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) -> BOOL {
        if (message == WM_INITDIALOG) {
            for (const char* text : {"emp", "dept"}) {
                SendDlgItemMessageA(dialog, kTables, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
            }
            for (const char* text : {"sal", "ename", "comm"}) {
                SendDlgItemMessageA(dialog, kColumns, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
            }
        }
        if (message == WM_COMMAND && LOWORD(wParam) == IDOK) {
            int selected[3] = {};
            LRESULT count =
                SendDlgItemMessageA(dialog, kColumns, LB_GETSELITEMS, 3, reinterpret_cast<LPARAM>(selected));
            columns.assign(selected, selected + count);
            table = SendDlgItemMessageA(dialog, kTables, LB_GETCURSEL, 0, 0);
            write = IsDlgButtonChecked(dialog, kWriteAuto3State);
        }
        return endOnButtons(dialog, message, wParam, lParam);
    };
    // Fields: 1 grantee, 2-5 the check boxes, 6 tables, 7 columns, 8 plain list, 9-10 combos,
    // 11 Done, 12 Cancel. Table 2 (emp); columns (sorted: comm, ename, sal) 1, 3, 1 again, 2: ename and sal
    // stay.
    EXPECT_EQ(runWithKeys(kRights,
                          "6\r2\r"
                          "7\r1\r3\r1\r2\r9\r\r"
                          "3\r3\r"
                          "\r"),
              IDOK);
    EXPECT_EQ(table, 1);
    EXPECT_EQ(columns, (std::vector<int>{1, 2}));
    EXPECT_EQ(write, static_cast<UINT>(BST_INDETERMINATE)) << "two clicks on an automatic three-state box";
    EXPECT_NE(screen().find("No item 9."), std::string::npos);
}

TEST_F(FormSession, MessageBoxesTakeALetterEnterOrEsc) {
    struct Case {
        UINT type;
        std::string keys;
        int answer;
    };
    const Case cases[] = {
        {MB_OK, "\r", IDOK},        {MB_OKCANCEL, "c", IDCANCEL},
        {MB_OKCANCEL, "\r", IDOK},  {MB_YESNO, "xN", IDNO},
        {MB_YESNO, "\x1by", IDYES}, {MB_YESNOCANCEL, "\x1b", IDCANCEL},
        {MB_OK, "\x1b", IDOK},      {MB_YESNO, "", 0},
    };
    for (const Case& c : cases) {
        Pipe keys, out;
        keys.feed(c.keys);
        keys.closeWrite();
        KeyReader reader(keys.readFd());
        FdConsole console(reader, out.writeFd());
        EXPECT_EQ(runMessageBox(console, "Sure?", "Profile", c.type), c.answer) << c.type << " " << c.keys;
    }
}

TEST(MessageBoxText, ShowsCaptionIconTextAndTheBoxsButtons) {
    EXPECT_EQ(renderMessageBox("Invalid login id entered", "Login", MB_ICONHAND),
              "\n-- Login (stop) --\nInvalid login id entered\n[O]K  ? ");
    EXPECT_EQ(renderMessageBox("Undo?", "Table Security", MB_OKCANCEL | MB_ICONQUESTION),
              "\n-- Table Security (question) --\nUndo?\n[O]K  [C]ancel  ? ");
    EXPECT_EQ(renderMessageBox("Save?", "Profile", MB_YESNOCANCEL),
              "\n-- Profile --\nSave?\n[Y]es  [N]o  [C]ancel  ? ");
}

}  // namespace
