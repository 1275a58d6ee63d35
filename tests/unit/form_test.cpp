/*
 * form_test.cpp - the form built from a dialog and its text, and dialogs and message boxes driven
 * from keys fed through a pipe.
 */
#include "form.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <memory>
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

/* Keys from a pipe that holds the bytes given, and a screen that is a string. */
class ScriptedConsole : public Console {
  public:
    explicit ScriptedConsole(const std::string& bytes) {
        int fds[2];
        EXPECT_EQ(pipe(fds), 0);
        EXPECT_EQ(::write(fds[1], bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
        close(fds[1]);
        input_ = fds[0];
        keys_ = std::make_unique<KeyReader>(input_);
    }
    ~ScriptedConsole() override { close(input_); }
    Key readKey() override { return keys_->next(); }
    void write(std::string_view text) override { screen.append(text); }
    std::string screen;

  private:
    int input_ = -1;
    std::unique_ptr<KeyReader> keys_;
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

int consoleRunDialog(void* self, HWND dialog) {
    return runForm(dialog, *static_cast<ScriptedConsole*>(self)) == FormOutcome::Ended ? 1 : 0;
}

int consoleMessageBox(void* self, HWND, const char* text, const char* caption, UINT type) {
    return runMessageBox(*static_cast<ScriptedConsole*>(self), text, caption, type);
}

class FormSession : public UserTest {};

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
    // 11 Done, 12 Cancel. Table 2 (emp); columns (sorted: comm, ename, sal) 1, 3, 1 again, 2, so
    // ename and sal stay; a column 9 that does not exist; two clicks on Write; Enter for Done.
    ScriptedConsole console(
        "6\r2\r"
        "7\r1\r3\r1\r2\r9\r\r"
        "3\r3\r"
        "\r");
    KwPresenter presenter = {consoleRunDialog, consoleMessageBox, &console};
    kwuser_setPresenter(&presenter);
    EXPECT_EQ(run(kRights), IDOK);
    EXPECT_EQ(table, 1);
    EXPECT_EQ(columns, (std::vector<int>{1, 2}));
    EXPECT_EQ(write, static_cast<UINT>(BST_INDETERMINATE)) << "two clicks on an automatic three-state box";
    EXPECT_NE(console.screen.find("No item 9."), std::string::npos);
}

TEST(MessageBoxKeys, ALetterEnterOrEscChoosesAButtonTheBoxHas) {
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
        ScriptedConsole console(c.keys);
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
