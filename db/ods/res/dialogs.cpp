/*
 * dialogs.cpp - the module's dialog templates.
 *
 * Templates 1102 (Table Security) and 1103 to 1108 (the login dialog and the one-value dialogs),
 * with the control ids the dialog procedures address and the texts the user reads. Labels come
 * right before the control they name, so a text presenter can pair them. Positions are dialog
 * units of an 8-point "Helv" font.
 */
#include "res/resources.h"

namespace {

constexpr const char* kFont = "Helv";
constexpr int kFontSize = 8;

constexpr KwControlTemplate label(const char* text, int16_t x, int16_t y, int16_t cx) {
    return {"STATIC", IDC_STATIC, text, 0, x, y, cx, 8};
}
constexpr KwControlTemplate prompt(int id, const char* text, int16_t y, int16_t cx) {
    return {"STATIC", id, text, 0, 8, y, cx, 8};
}
constexpr KwControlTemplate edit(int id, int16_t x, int16_t y, int16_t cx, uint32_t style = 0) {
    return {"EDIT", id, "", WS_TABSTOP | ES_AUTOHSCROLL | style, x, y, cx, 12};
}
constexpr KwControlTemplate button(int id, const char* text, int16_t x, int16_t y, bool isDefault = false) {
    return {"BUTTON", id,
            text,     static_cast<uint32_t>(WS_TABSTOP | (isDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON)),
            x,        y,
            44,       14};
}
constexpr KwControlTemplate checkBox(int id, const char* text, int16_t x, int16_t y) {
    return {"BUTTON", id, text, WS_TABSTOP | BS_3STATE, x, y, 56, 10};
}

const KwControlTemplate kTableSecurity[] = {
    label("Enter User ID:", 8, 8, 60),
    edit(IDC_GRANTEE, 72, 6, 60),
    label("Select Table:", 8, 26, 110),
    {"LISTBOX", IDC_TABLE_LIST, "", WS_TABSTOP | LBS_SORT | LBS_NOTIFY, 8, 36, 110, 80},
    label("Select Column(s):", 126, 26, 126),
    {"LISTBOX", IDC_COLUMN_LIST, "", WS_TABSTOP | LBS_SORT | LBS_MULTIPLESEL | LBS_NOTIFY, 126, 36, 126, 80},
    {"BUTTON", IDC_STATIC, "Privileges", BS_GROUPBOX, 8, 120, 244, 46},
    checkBox(IDC_PRIV_ALL, "&All", 16, 132),
    checkBox(IDC_PRIV_ALTER, "A&lter", 76, 132),
    checkBox(IDC_PRIV_DELETE, "&Delete", 136, 132),
    checkBox(IDC_PRIV_INDEX, "&Index", 196, 132),
    checkBox(IDC_PRIV_INSERT, "I&nsert", 16, 148),
    checkBox(IDC_PRIV_SELECT, "&Select", 76, 148),
    checkBox(IDC_PRIV_UPDATE, "&Update", 136, 148),
    button(IDOK, "D&one", 152, 176, true),
    button(IDCANCEL, "Cancel", 204, 176),
};

const KwControlTemplate kChangeDatabase[] = {
    prompt(IDC_PROMPT_FIRST, "Please enter a Database name: ", 8, 164),
    label("&DB2 Database Name:", 8, 26, 76),
    edit(IDC_DATABASE_NAME, 88, 24, 60),
    button(IDOK, "OK", 40, 48, true),
    button(IDCANCEL, "Cancel", 96, 48),
};

const KwControlTemplate kLogin[] = {
    prompt(IDC_LOGIN_BANNER, "", 6, 184),
    label("&Server Name:", 8, 22, 84),
    edit(IDC_SERVER_NAME, 96, 20, 96),
    label("&Logon Id:", 8, 38, 84),
    edit(IDC_LOGON_ID, 96, 36, 96),
    label("&Password:", 8, 54, 84),
    edit(IDC_PASSWORD, 96, 52, 96, ES_PASSWORD),
    label("&Group Id:", 8, 70, 84),
    edit(IDC_GROUP_ID, 96, 68, 96),
    label("S&ystem Table Owner:", 8, 86, 84),
    edit(IDC_SYSTEM_OWNER, 96, 84, 96),
    label("KW &Catalog Owner:", 8, 102, 84),
    edit(IDC_CATALOG_OWNER, 96, 100, 96),
    label("DB2 &Database Name:", 8, 118, 84),
    edit(IDC_DATABASE_NAME, 96, 116, 96),
    label("DB2 &Tablespace Name:", 8, 134, 84),
    edit(IDC_TABLE_SPACE, 96, 132, 96),
    button(IDOK, "OK", 52, 156, true),
    button(IDCANCEL, "Cancel", 108, 156),
};

const KwControlTemplate kSystemOwner[] = {
    prompt(IDC_PROMPT, "Please enter the System Owner Name", 8, 164),
    label("S&ystem Owner:", 8, 26, 60),
    edit(IDC_SYSTEM_OWNER, 72, 24, 60),
    button(IDOK, "OK", 40, 48, true),
    button(IDCANCEL, "Cancel", 96, 48),
};

const KwControlTemplate kTableSpace[] = {
    prompt(IDC_PROMPT, "Please enter the Table Space Name", 8, 164),
    label("&DB2 Table Space:", 8, 26, 64),
    edit(IDC_TABLE_SPACE, 76, 24, 60),
    button(IDOK, "OK", 40, 48, true),
    button(IDCANCEL, "Cancel", 96, 48),
};

const KwControlTemplate kCatalogOwner[] = {
    prompt(IDC_PROMPT_FIRST + 0, "Please enter the Logon ID that will own the", 8, 184),
    prompt(IDC_PROMPT_FIRST + 1, "Kalwen Catalog information tables.", 16, 184),
    prompt(IDC_PROMPT_FIRST + 2, "This ID should have 'Create Table' authority", 24, 184),
    prompt(IDC_PROMPT_FIRST + 3, "and should be available throughout the", 32, 184),
    prompt(IDC_PROMPT_FIRST + 4, "Kalwen development and maintenance", 40, 184),
    prompt(IDC_PROMPT_FIRST + 5, "cycle.", 48, 184),
    label("&Kalwen Catalog Owner ID:", 8, 64, 100),
    edit(IDC_CATALOG_OWNER, 112, 62, 60),
    button(IDOK, "OK", 52, 84, true),
    button(IDCANCEL, "Cancel", 108, 84),
};

const KwControlTemplate kStoredRequests[] = {
    prompt(IDC_PROMPT_FIRST, "Please enter the owner of the Tandrex Stored Request Table ", 8, 224),
    label("&Stored Request Table Owner:", 8, 26, 108),
    edit(IDC_STORED_REQUEST_OWNER, 120, 24, 100),
    button(IDOK, "OK", 64, 48, true),
    button(IDCANCEL, "Cancel", 120, 48),
};

template <size_t N>
constexpr KwDialogTemplate dialog(int id, const char* title, int16_t cx, int16_t cy,
                                  const KwControlTemplate (&controls)[N]) {
    return {id, title, kFont, kFontSize, cx, cy, controls, static_cast<int>(N)};
}

}  // namespace

constinit const KwDialogTemplate TDX_DIALOGS[] = {
    dialog(IDD_TABLE_SECURITY, "Table Security", 260, 198, kTableSecurity),
    dialog(IDD_CHANGE_DATABASE, "Change Database", 180, 70, kChangeDatabase),
    dialog(IDD_LOGIN, "Login", 200, 178, kLogin),
    dialog(IDD_SYSTEM_OWNER, "System Owner Name", 180, 70, kSystemOwner),
    dialog(IDD_TABLE_SPACE, "Table Space Name", 180, 70, kTableSpace),
    dialog(IDD_CATALOG_OWNER, "Kalwen Catalog Owner Name", 200, 104, kCatalogOwner),
    dialog(IDD_STORED_REQUESTS, "Stored Requests", 240, 70, kStoredRequests),
};
constinit const int TDX_DIALOG_COUNT = sizeof TDX_DIALOGS / sizeof TDX_DIALOGS[0];
static_assert(sizeof TDX_DIALOGS / sizeof TDX_DIALOGS[0] == IDD_STORED_REQUESTS - IDD_TABLE_SECURITY + 1);
