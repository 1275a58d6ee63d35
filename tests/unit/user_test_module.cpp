/*
 * user_test_module.cpp - the USER layer tests' own module and recording dialog procedure.
 */
#include "user_test_module.h"

#include <deque>

namespace usertest {
namespace {

const KwStringResource kStrings[] = {
    {kHello, "Hello"},
    {kEmpty, ""},
    {kBannerText, "Sign on to the test server:"},
    {kLong, "0123456789012345678901234567890123456789"},
};

const KwControlTemplate kSignOnControls[] = {
    {"STATIC", kBanner, "", 0, 8, 6, 180, 8},
    {"STATIC", -1, "&Server:", 0, 8, 22, 60, 8},
    {"EDIT", kServer, "", WS_TABSTOP, 72, 20, 100, 12},
    {"STATIC", -1, "&User:", 0, 8, 38, 60, 8},
    {"EDIT", kUser, "guest", WS_TABSTOP, 72, 36, 100, 12},
    {"STATIC", -1, "&Password:", 0, 8, 54, 60, 8},
    {"EDIT", kPassword, "", WS_TABSTOP | ES_PASSWORD, 72, 52, 100, 12},
    {"BUTTON", IDOK, "OK", WS_TABSTOP | WS_DISABLED | BS_DEFPUSHBUTTON, 40, 72, 44, 14},
    {"BUTTON", IDCANCEL, "Cancel", WS_TABSTOP | BS_PUSHBUTTON, 96, 72, 44, 14},
};

const KwControlTemplate kRightsControls[] = {
    {"STATIC", -1, "Enter &Grantee:", 0, 8, 8, 60, 8},
    {"EDIT", kGrantee, "", WS_TABSTOP, 72, 6, 60, 12},
    {"BUTTON", kPrivileges, "Privileges", BS_GROUPBOX, 8, 24, 200, 40},
    {"BUTTON", kRead3State, "&Read", WS_TABSTOP | BS_3STATE, 16, 36, 50, 10},
    {"BUTTON", kWriteAuto3State, "&Write", WS_TABSTOP | BS_AUTO3STATE, 70, 36, 50, 10},
    {"BUTTON", kGrantCheck, "G&rant", WS_TABSTOP | BS_CHECKBOX, 16, 48, 50, 10},
    {"BUTTON", kAuditAutoCheck, "&Audit", WS_TABSTOP | BS_AUTOCHECKBOX, 70, 48, 50, 10},
    {"STATIC", -1, "Tables:", 0, 8, 70, 60, 8},
    {"LISTBOX", kTables, "", WS_TABSTOP | LBS_SORT | LBS_NOTIFY, 8, 80, 90, 60},
    {"STATIC", -1, "Columns:", 0, 104, 70, 60, 8},
    {"LISTBOX", kColumns, "", WS_TABSTOP | LBS_SORT | LBS_MULTIPLESEL | LBS_NOTIFY, 104, 80, 90, 60},
    {"LISTBOX", kPlainList, "", WS_TABSTOP, 200, 80, 60, 60},
    {"STATIC", -1, "&Type:", 0, 8, 146, 40, 8},
    {"COMBOBOX", kTypes, "", WS_TABSTOP | CBS_DROPDOWNLIST, 50, 144, 80, 60},
    {"COMBOBOX", kSortedTypes, "", WS_TABSTOP | CBS_DROPDOWNLIST | CBS_SORT, 140, 144, 80, 60},
    {"BUTTON", IDOK, "D&one", WS_TABSTOP | BS_DEFPUSHBUTTON, 100, 170, 44, 14},
    {"BUTTON", IDCANCEL, "Cancel", WS_TABSTOP | BS_PUSHBUTTON, 150, 170, 44, 14},
};

const KwControlTemplate kNoteControls[] = {
    {"STATIC", -1, "Say something", 0, 8, 6, 100, 8},
    {"EDIT", kNoteEdit, "", WS_TABSTOP, 8, 20, 100, 12},
    {"BUTTON", IDOK, "OK", WS_TABSTOP | BS_DEFPUSHBUTTON, 40, 40, 44, 14},
};

const KwControlTemplate kBrokenControls[] = {
    {"EDIT", 1, "", WS_TABSTOP, 8, 20, 100, 12},
    {"SCROLLBAR", 2, "", 0, 8, 40, 100, 12},
};

template <size_t N>
constexpr KwDialogTemplate dialog(int id, const char* title, const KwControlTemplate (&controls)[N]) {
    return {id, title, "Helv", 8, 200, 190, controls, static_cast<int>(N)};
}

const KwDialogTemplate kDialogs[] = {
    dialog(kSignOn, "Sign On", kSignOnControls),
    dialog(kRights, "Rights", kRightsControls),
    dialog(kNote, "Note", kNoteControls),
    dialog(kBroken, "Broken", kBrokenControls),
};

std::deque<std::function<void(HWND)>>& inspections() {
    static std::deque<std::function<void(HWND)>> kept;
    return kept;
}

}  // namespace

const KwModuleResources kResources = {"usertest", kStrings, static_cast<int>(std::size(kStrings)), kDialogs,
                                      static_cast<int>(std::size(kDialogs))};

std::vector<Command> Recorder::commands() const {
    std::vector<Command> out;
    for (const Received& r : received) {
        if (r.message == WM_COMMAND) {
            out.push_back({LOWORD(r.wParam), HIWORD(r.wParam), reinterpret_cast<HWND>(r.lParam)});
        }
    }
    return out;
}

Recorder& recorder() {
    static Recorder instance;
    return instance;
}

BOOL recordingProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    recorder().received.push_back({message, wParam, lParam});
    return recorder().handler ? recorder().handler(dialog, message, wParam, lParam) : FALSE;
}

BOOL endOnButtons(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED &&
        (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        EndDialog(dialog, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

void applySignOnRules(HWND dialog, UINT message, WPARAM wParam) {
    if (message == WM_INITDIALOG) {
        SendDlgItemMessageA(dialog, kUser, EM_LIMITTEXT, 8, 0);
    }
    if (message == WM_COMMAND && HIWORD(wParam) == EN_CHANGE) {
        bool filled = true;
        for (int id : {kServer, kUser, kPassword}) {
            filled = filled && GetWindowTextLengthA(GetDlgItem(dialog, id)) > 0;
        }
        EnableWindow(GetDlgItem(dialog, IDOK), filled);
    }
}

void inspect(std::function<void(HWND)> check) {
    inspections().push_back(std::move(check));
    kwuser_scriptInspect(
        [](HWND dialog, void* context) { (*static_cast<std::function<void(HWND)>*>(context))(dialog); },
        &inspections().back());
}

std::string windowText(HWND window) {
    char buffer[512];
    int length = GetWindowTextA(window, buffer, sizeof buffer);
    return std::string(buffer, static_cast<size_t>(length));
}

void addItems(HWND dialog, int id, std::initializer_list<const char*> texts) {
    UINT message = id == kTypes || id == kSortedTypes ? CB_ADDSTRING : LB_ADDSTRING;
    for (const char* text : texts) {
        SendDlgItemMessageA(dialog, id, message, 0, reinterpret_cast<LPARAM>(text));
    }
}

void UserTest::SetUp() {
    module_ = kwuser_registerModule(&kResources);
    ASSERT_NE(module_, nullptr);
    recorder().clear();
    inspections().clear();
    kwuser_scriptReset();
    kwuser_messageBoxClear();
    kwuser_setMainWindow(nullptr);
    kwuser_useScriptedPresenter();
}

void UserTest::TearDown() {
    kwuser_setPresenter(nullptr);
    kwuser_scriptReset();
    kwuser_unregisterModule(module_);
    recorder().clear();
}

intptr_t UserTest::run(int templateId, LPARAM parameter, HWND owner) {
    return DialogBoxParamA(module_, MAKEINTRESOURCEA(templateId), owner, recordingProcedure, parameter);
}

void UserTest::within(int templateId, std::function<void(HWND)> check) {
    inspect(std::move(check));
    kwuser_scriptClick(IDCANCEL);
    if (!recorder().handler) {
        recorder().handler = endOnButtons;
    }
    run(templateId);
    EXPECT_EQ(kwuser_scriptPendingActions(), 0) << "the check ran";
}

}  // namespace usertest
