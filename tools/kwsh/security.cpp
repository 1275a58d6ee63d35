// security.cpp - \security: the Table Security dialog at the terminal or driven by actions.
//
// Serves the command table. The dialog belongs to the driver; kwsh only opens it (requests 72 and
// 57, after request 58) and, for a script, acts on it as a person would, through the USER layer's
// user actions, with a presenter of its own that prints what the dialog shows and every message
// box. Whatever the script leaves open is cancelled, so no dialog outlives its command.
#include "security.h"

#include <fmt/format.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <deque>
#include <iostream>

#include "hostlist.h"
#include "kwconst.h"
#include "kwshr.h"
#include "kwuser.h"
#include "shell.h"

namespace kwsh {

namespace {

struct PrivilegeWord {
    const char* word;
    int control;
    const char* label;
};

const PrivilegeWord kPrivileges[] = {
    {"all", IDC_PRIV_ALL, "All"},          {"alter", IDC_PRIV_ALTER, "Alter"},
    {"delete", IDC_PRIV_DELETE, "Delete"}, {"index", IDC_PRIV_INDEX, "Index"},
    {"insert", IDC_PRIV_INSERT, "Insert"}, {"select", IDC_PRIV_SELECT, "Select"},
    {"update", IDC_PRIV_UPDATE, "Update"},
};
static_assert(sizeof kPrivileges / sizeof kPrivileges[0] == IDC_PRIV_UPDATE - IDC_PRIV_ALL + 1,
              "one word per privilege box");

bool sameText(const std::string& a, const std::string& b) {
    return lower(a) == lower(b);
}

std::vector<std::string> splitList(const std::string& text) {
    std::vector<std::string> items;
    size_t start = 0;
    while (start <= text.size()) {
        const size_t comma = std::min(text.find(',', start), text.size());
        if (comma > start) {
            items.push_back(text.substr(start, comma - start));
        }
        start = comma + 1;
    }
    return items;
}

// ---- Reading the dialog ----

std::vector<std::string> listItems(HWND dialog, int control) {
    std::vector<std::string> items;
    const LRESULT count = SendDlgItemMessageA(dialog, control, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        const LRESULT length = SendDlgItemMessageA(dialog, control, LB_GETTEXTLEN, static_cast<WPARAM>(i), 0);
        std::string text(static_cast<size_t>(std::max<LRESULT>(length, 0)) + 1, '\0');
        SendDlgItemMessageA(dialog, control, LB_GETTEXT, static_cast<WPARAM>(i),
                            reinterpret_cast<LPARAM>(text.data()));
        text.resize(length > 0 ? static_cast<size_t>(length) : 0);
        items.push_back(std::move(text));
    }
    return items;
}

bool itemSelected(HWND dialog, int control, size_t index) {
    return SendDlgItemMessageA(dialog, control, LB_GETSEL, static_cast<WPARAM>(index), 0) > 0;
}

bool enabled(HWND dialog, int control) {
    return IsWindowEnabled(GetDlgItem(dialog, control)) != FALSE;
}

// A list as one line: selected items marked with *, "(disabled)" when the person cannot use it.
std::string listLine(HWND dialog, int control, bool single) {
    const std::vector<std::string> items = listItems(dialog, control);
    const LRESULT current = single ? SendDlgItemMessageA(dialog, control, LB_GETCURSEL, 0, 0) : -1;
    std::string line;
    for (size_t i = 0; i < items.size(); ++i) {
        const bool marked = single ? static_cast<LRESULT>(i) == current : itemSelected(dialog, control, i);
        line += (i > 0 ? ", " : "") + std::string(marked ? "*" : "") + items[i];
    }
    line = items.empty() ? "(none)" : line;
    return line + (enabled(dialog, control) ? "" : " (disabled)");
}

std::string describeDialog(HWND dialog) {
    char user[130] = {};
    GetDlgItemTextA(dialog, IDC_GRANTEE, user, sizeof user);
    static const char* const kMarks[] = {"[ ]", "[x]", "[-]"};
    std::string boxes;
    for (const PrivilegeWord& privilege : kPrivileges) {
        const UINT state = IsDlgButtonChecked(dialog, privilege.control);
        boxes += fmt::format("{}{} {}", boxes.empty() ? "" : "  ", state <= 2 ? kMarks[state] : "[?]",
                             privilege.label);
    }
    return fmt::format("  user:       {}\n  tables:     {}\n  privileges: {}\n  columns:    {}\n", user,
                       listLine(dialog, IDC_TABLE_LIST, true), boxes,
                       listLine(dialog, IDC_COLUMN_LIST, false));
}

// ---- The script's presenter ----

class ScriptPresenter {
  public:
    ScriptPresenter(Shell& shell, std::vector<SecurityAction> actions)
        : shell_(shell), actions_(std::move(actions)) {}

    KwPresenter presenter() { return {&ScriptPresenter::runDialog, &ScriptPresenter::messageBox, this}; }
    bool failed() const { return failed_; }
    intptr_t result() const { return result_; }

  private:
    // The USER layer calls these through C: nothing may leave them as an exception. A dialog that
    // could not be driven is cancelled, a box that could not be shown answered Cancel.
    static int runDialog(void* self, HWND dialog) {
        try {
            return static_cast<ScriptPresenter*>(self)->run(dialog);
        } catch (...) {
            static_cast<ScriptPresenter*>(self)->failed_ = true;
            return 0;
        }
    }
    static int messageBox(void* self, HWND, const char* text, const char* caption, UINT type) {
        try {
            return static_cast<ScriptPresenter*>(self)->answer(text, caption, type);
        } catch (...) {
            static_cast<ScriptPresenter*>(self)->failed_ = true;
            return IDCANCEL;
        }
    }

    int run(HWND dialog) {
        if (kwuser_dialogTemplateId(dialog) != IDD_TABLE_SECURITY) {
            shell_.failText("ERROR: the driver opened another dialog; it is cancelled");
            failed_ = true;
            return 0;
        }
        if (!shell_.settings().showTrace) {
            kwhost_traceClear();
        }
        for (const SecurityAction& action : actions_) {
            if (ended(dialog)) {
                shell_.failText("ERROR: \\security: the dialog closed before all actions were played");
                failed_ = true;
                break;
            }
            const bool performed = perform(dialog, action);
            showStatements();
            if (!performed) {
                failed_ = true;
                break;
            }
        }
        if (!ended(dialog)) {
            shell_.say("(the dialog is still open: Cancel)");
            answers_.push_back(IDOK);
            kwuser_click(dialog, IDCANCEL);
        }
        return ended(dialog) ? 1 : 0;
    }

    // The GRANT and REVOKE statements the driver traced while it acted, as "sent:" lines. With
    // \trace on the shell shows the whole trace instead, so the trace is left alone then.
    void showStatements() {
        if (shell_.settings().showTrace) {
            return;
        }
        for (int32_t i = 0; i < kwhost_traceCount(); ++i) {
            char line[1024] = {};
            kwhost_traceLine(i, line, sizeof line);
            const std::string text = line;
            if (text.rfind("GRANT ", 0) == 0 || text.rfind("REVOKE ", 0) == 0) {
                shell_.out() << "  sent: " << text << '\n';
            }
        }
        kwhost_traceClear();
    }

    bool ended(HWND dialog) { return kwuser_dialogEnded(dialog, &result_) != FALSE; }

    bool fail(const std::string& text) {
        shell_.failText("ERROR: \\security: " + text);
        return false;
    }

    bool perform(HWND dialog, const SecurityAction& action) {
        switch (action.kind) {
            case SecurityAction::Kind::User:
                kwuser_typeText(dialog, IDC_GRANTEE, action.text.c_str());
                return true;
            case SecurityAction::Kind::Table:
                return chooseTable(dialog, action.text);
            case SecurityAction::Kind::Tick:
            case SecurityAction::Kind::Clear:
                return setBox(dialog, action.control, action.kind == SecurityAction::Kind::Tick ? 1u : 0u);
            case SecurityAction::Kind::Columns:
                return chooseColumns(dialog, action.columns);
            case SecurityAction::Kind::Show:
                shell_.out() << describeDialog(dialog);
                return true;
            case SecurityAction::Kind::Done:
                kwuser_click(dialog, IDOK);
                return true;
            case SecurityAction::Kind::Cancel:
                kwuser_click(dialog, IDCANCEL);
                return true;
            case SecurityAction::Kind::Answer:
                answers_.push_back(action.answer);
                return true;
        }
        return true;
    }

    bool chooseTable(HWND dialog, const std::string& table) {
        if (!enabled(dialog, IDC_TABLE_LIST)) {
            return fail("type a user ID (user=ID) before choosing a table");
        }
        const std::vector<std::string> items = listItems(dialog, IDC_TABLE_LIST);
        for (size_t i = 0; i < items.size(); ++i) {
            if (sameText(items[i], table)) {
                kwuser_selectItem(dialog, IDC_TABLE_LIST, static_cast<int>(i), TRUE);
                return true;
            }
        }
        std::string known;
        for (const std::string& item : items) {
            known += (known.empty() ? "" : ", ") + item;
        }
        return fail(
            fmt::format("no table {} among those you may grant ({})", table, known.empty() ? "none" : known));
    }

    // A click moves a box on from indeterminate to ticked to clear, so at most two are needed.
    bool setBox(HWND dialog, int control, UINT wanted) {
        for (int clicks = 0; clicks < 2 && IsDlgButtonChecked(dialog, control) != wanted; ++clicks) {
            const UINT before = IsDlgButtonChecked(dialog, control);
            kwuser_click(dialog, control);
            if (IsDlgButtonChecked(dialog, control) == before) {
                return fail("the privileges change only once a user ID is typed (user=ID)");
            }
        }
        return true;
    }

    bool chooseColumns(HWND dialog, const std::vector<std::string>& wanted) {
        if (!enabled(dialog, IDC_COLUMN_LIST)) {
            return fail("the column list opens with +update");
        }
        const std::vector<std::string> items = listItems(dialog, IDC_COLUMN_LIST);
        for (const std::string& column : wanted) {
            if (std::none_of(items.begin(), items.end(),
                             [&](const std::string& item) { return sameText(item, column); })) {
                return fail("the table has no column " + column);
            }
        }
        for (size_t i = 0; i < items.size(); ++i) {
            const bool select = std::any_of(wanted.begin(), wanted.end(), [&](const std::string& column) {
                return sameText(items[i], column);
            });
            if (itemSelected(dialog, IDC_COLUMN_LIST, i) != select) {
                kwuser_selectItem(dialog, IDC_COLUMN_LIST, static_cast<int>(i), select ? TRUE : FALSE);
            }
        }
        return true;
    }

    // Prints the box and answers it: the next queued answer when the box offers it, else its first
    // button (OK).
    int answer(const char* text, const char* caption, UINT type) {
        static const std::pair<UINT, const char*> kIcons[] = {{MB_ICONHAND, "stop"},
                                                              {MB_ICONQUESTION, "question"},
                                                              {MB_ICONEXCLAMATION, "warning"},
                                                              {MB_ICONINFORMATION, "information"}};
        std::string icon;
        for (const auto& [bits, word] : kIcons) {
            icon = (type & 0xF0) == bits ? std::string(" (") + word + ")" : icon;
        }
        int chosen = IDOK;
        const bool offersCancel = (type & 0xF) == MB_OKCANCEL;
        if (!answers_.empty()) {
            chosen = answers_.front() == IDCANCEL && offersCancel ? IDCANCEL : IDOK;
            answers_.pop_front();
        }
        shell_.out() << fmt::format("-- {}{} --\n{}\n[{}]\n", caption != nullptr ? caption : "", icon,
                                    text != nullptr ? text : "", chosen == IDOK ? "OK" : "Cancel");
        failed_ = failed_ || (type & 0xF0) == MB_ICONHAND;
        return chosen;
    }

    Shell& shell_;
    std::vector<SecurityAction> actions_;
    std::deque<int> answers_;
    bool failed_ = false;
    intptr_t result_ = 0;
};

// Request 72 into a menu of our own: the command id the driver gave its menu item, or 0.
UINT securityMenuCommand(Session& session) {
    HMENU menu = CreateMenu();
    if (menu == nullptr) {
        return 0;
    }
    session.block().inValue = static_cast<int32_t>(reinterpret_cast<intptr_t>(menu));
    const Outcome outcome = session.call(REQ_ADD_SECURITY_MENU);
    session.block().inValue = 0;
    const UINT command = outcome.ok() && GetMenuItemCount(menu) > 0 ? GetMenuItemID(menu, 0) : 0;
    DestroyMenu(menu);
    return command;
}

// The presenter dialogs have outside this command: the terminal's for a person at one, else none
// (a script's other dialogs are cancelled, as before).
void restorePresenter(Shell& shell) {
    if (!shell.settings().interactive || kwuser_useTerminalPresenter(STDIN_FILENO, STDOUT_FILENO) == 0) {
        kwuser_setPresenter(nullptr);
    }
}

}  // namespace

std::optional<std::vector<SecurityAction>> parseSecurityWords(const std::vector<std::string>& words,
                                                              std::string& error) {
    std::vector<SecurityAction> actions;
    std::optional<SecurityAction> earlyTable;
    bool userGiven = false;
    for (const std::string& word : words) {
        const size_t equals = word.find('=');
        const std::string key = lower(word.substr(0, equals));
        const std::string value = equals == std::string::npos ? "" : word.substr(equals + 1);
        SecurityAction action{SecurityAction::Kind::Show};
        if (equals != std::string::npos && key == "user" && !value.empty()) {
            action = {SecurityAction::Kind::User, value};
        } else if (equals != std::string::npos && key == "table" && !value.empty()) {
            action = {SecurityAction::Kind::Table, value};
        } else if (equals != std::string::npos && key == "columns" && !value.empty()) {
            action = {SecurityAction::Kind::Columns, "", 0, splitList(value)};
        } else if (equals != std::string::npos && key == "answer" && (value == "ok" || value == "cancel")) {
            action = {SecurityAction::Kind::Answer, "", 0, {}, value == "ok" ? IDOK : IDCANCEL};
        } else if (equals != std::string::npos) {
            error = "\"" + word + "\" is none of user=ID, table=NAME, columns=A,B, answer=ok|cancel";
            return std::nullopt;
        } else if (word.size() > 1 && (word[0] == '+' || word[0] == '-')) {
            const auto privilege =
                std::find_if(std::begin(kPrivileges), std::end(kPrivileges),
                             [&](const PrivilegeWord& p) { return lower(word.substr(1)) == p.word; });
            if (privilege == std::end(kPrivileges)) {
                error =
                    "\"" + word + "\" names no privilege (all, alter, delete, index, insert, select, update)";
                return std::nullopt;
            }
            action = {word[0] == '+' ? SecurityAction::Kind::Tick : SecurityAction::Kind::Clear, "",
                      privilege->control};
        } else if (lower(word) == "show" || lower(word) == "done" || lower(word) == "cancel") {
            action.kind = lower(word) == "show"   ? SecurityAction::Kind::Show
                          : lower(word) == "done" ? SecurityAction::Kind::Done
                                                  : SecurityAction::Kind::Cancel;
        } else if (!word.empty()) {
            action = {SecurityAction::Kind::Table, word};
        } else {
            error = "an empty word is no action";
            return std::nullopt;
        }
        if (action.kind == SecurityAction::Kind::Table && !userGiven && !earlyTable) {
            earlyTable = action;
            continue;
        }
        actions.push_back(action);
        if (action.kind == SecurityAction::Kind::User && !userGiven) {
            userGiven = true;
            if (earlyTable) {
                actions.push_back(*earlyTable);
                earlyTable.reset();
            }
        }
    }
    if (earlyTable) {
        actions.insert(actions.begin(), *earlyTable);  // played as given: no user ID comes
    }
    return actions;
}

bool securityCommand(Shell& shell, const std::vector<std::string>& words) {
    std::string error;
    std::optional<std::vector<SecurityAction>> actions = parseSecurityWords(words, error);
    if (!actions) {
        shell.failText("ERROR: \\security: " + error);
        return false;
    }
    Session& session = shell.session();
    if (!session.connected()) {
        shell.failText("ERROR: not connected");
        return false;
    }
    const bool atTerminal = actions->empty();
    if (atTerminal && !shell.settings().interactive) {
        shell.failText(
            "ERROR: \\security without actions needs a terminal; a script gives them, e.g. "
            "\\security emp user=SMITH +select done");
        return false;
    }
    const UINT command = securityMenuCommand(session);
    if (command == 0) {
        shell.failText("ERROR: the driver added no Table Security command to the menu");
        return false;
    }
    const Outcome begun = session.call(REQ_BEGIN_LONG_TRANSACTION);
    if (!begun.ok()) {
        shell.fail(begun);
        return false;
    }
    ScriptPresenter script(shell, std::move(*actions));
    const KwPresenter presenter = script.presenter();
    std::cout.flush();
    if (atTerminal) {
        kwuser_useTerminalPresenter(STDIN_FILENO, STDOUT_FILENO);
    } else {
        kwuser_setPresenter(&presenter);
    }
    int32_t pair[2] = {0, static_cast<int32_t>(command)};
    session.block().arg = pair;
    const Outcome outcome = session.call(REQ_MENU_COMMAND);
    session.block().arg = nullptr;
    if (!atTerminal) {
        restorePresenter(shell);
    }
    if (!outcome.ok()) {
        shell.fail(outcome);
        return false;
    }
    if (atTerminal) {
        shell.say("Table Security closed");
        return true;
    }
    shell.say(script.result() == IDOK ? "Table Security: Done, changes committed"
                                      : "Table Security: Cancel, changes rolled back");
    return !script.failed();
}

}  // namespace kwsh
