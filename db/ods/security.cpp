/*
 * security.cpp - the Table Security dialog and its GRANT / REVOKE statements.
 *
 * Serves requests 72 (the dialog's menu command added to a host menu) and 57 (a driver menu
 * command: 4812 opens the dialog) and the exported procedure TDX_SecurityBoxProc. The dialog lists
 * the tables the user may grant, reads a grantee's privileges on the table taken up from SYSTABAUTH
 * and SYSCOLAUTH into seven three-state boxes and the column list, and turns changes into REVOKE ALL
 * and GRANT statements as soon as they are applied; Done commits, Cancel rolls back. Its state lives
 * in the DialogContext; the table list and the column lists read for it are freed with the dialog.
 * Every name enters a statement through one helper, so no name can change a statement's meaning.
 */
#include <cstdio>
#include <cstring>

#include "internal.h"

namespace {

/* The seven boxes in id order: ALL first, then the six privileges in SYSTABAUTH's order. */
constexpr int kPrivilegeBoxes[] = {IDC_PRIV_ALL,    IDC_PRIV_ALTER,  IDC_PRIV_DELETE, IDC_PRIV_INDEX,
                                   IDC_PRIV_INSERT, IDC_PRIV_SELECT, IDC_PRIV_UPDATE};
constexpr int kPrivilegeCount = sizeof kPrivilegeBoxes / sizeof kPrivilegeBoxes[0];
static_assert(kPrivilegeCount == 7 && IDC_PRIV_UPDATE - IDC_PRIV_ALL == kPrivilegeCount - 1,
              "the boxes are ALL and the six privileges, numbered in a row");
constexpr int kAuthCount = kPrivilegeCount - 1; /* ALTERAUTH ... UPDATEAUTH */

enum {
    GRANTEE_EDIT_LIMIT = 129,
    GRANTEE_EDIT_SIZE = GRANTEE_EDIT_LIMIT + 1,
    PRIVILEGE_WORD_SIZE = 16,
    MENU_TEXT_SIZE = 100,
    CAPTION_SIZE = 65,
    UNDO_TEXT_SIZE = 128,
    COLUMN_NAME_SIZE = 19,
    NOTICE_SIZE = 512,
};

/* One SYSTABAUTH row as read: UPDATECOLS, then the six AUTH codes from ALTERAUTH to UPDATEAUTH. */
struct PrivilegeRead {
    char updateCols;
    char auth[kAuthCount];
};

HWND TDX_Control(const DialogContext* context, int id) {
    return GetDlgItem(context->window, id);
}

LRESULT TDX_SendControl(const DialogContext* context, int id, UINT message, WPARAM wParam, LPARAM lParam) {
    return SendDlgItemMessageA(context->window, id, message, wParam, lParam);
}

/* The text of a list item, when it fits the buffer. */
template <size_t N>
bool TDX_ListItemText(const DialogContext* context, int id, LRESULT index, char (&text)[N]) {
    std::memset(text, 0, N);
    const LRESULT length = TDX_SendControl(context, id, LB_GETTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length == LB_ERR || length >= static_cast<LRESULT>(N)) {
        return false;
    }
    TDX_SendControl(context, id, LB_GETTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text));
    return true;
}

void TDX_SetBox(const DialogContext* context, int id, UINT state) {
    CheckDlgButton(context->window, id, state);
}

void TDX_SetAllBoxes(const DialogContext* context, UINT state) {
    for (int id : kPrivilegeBoxes) {
        TDX_SetBox(context, id, state);
    }
}

void TDX_SelectAllColumns(const DialogContext* context, BOOL selected) {
    TDX_SendControl(context, IDC_COLUMN_LIST, LB_SETSEL, static_cast<WPARAM>(selected), -1);
}

/* A message box over the dialog, captioned with the dialog's title. */
int TDX_ShowMessage(const DialogContext* context, const char* text, UINT style) {
    char caption[CAPTION_SIZE] = {};
    GetWindowTextA(context->window, caption, sizeof caption);
    return MessageBoxA(context->window, text, caption, style);
}

/* Reads the grantee field. Answers false, after saying so in a message box, when it holds more
 * than an authorization id's 8 characters: cutting it would name somebody else. */
bool TDX_ReadGrantee(const DialogContext* context, char (&grantee)[TDX_GRANTEE_MAX + 1]) {
    char text[GRANTEE_EDIT_SIZE] = {};
    GetDlgItemTextA(context->window, IDC_GRANTEE, text, sizeof text);
    if (std::strlen(text) > TDX_GRANTEE_MAX) {
        char format[NOTICE_SIZE] = {};
        char notice[NOTICE_SIZE] = {};
        LoadStringA(moduleInstance, IDS_GRANTEE_TOO_LONG, format, sizeof format);
        std::snprintf(notice, sizeof notice, format, text);
        TDX_ShowMessage(context, notice, MB_OK | MB_ICONSTOP);
        grantee[0] = '\0';
        return false;
    }
    TDX_CopyText(grantee, sizeof grantee, text);
    return true;
}

/* ---- Names in statements ---- */

/* Appends a name: an ordinary DB2 identifier as it is, any other name delimited with double
 * quotes (a double quote inside doubled), so a quote or a blank in a name stays part of it. */
void TDX_AppendName(RequestBlock* block, CatalogStatement* statement, const char* name) {
    if (TDX_IsIdentifierText(name)) {
        TDX_AppendStatement(block, statement, "%s", {name});
        return;
    }
    TDX_AppendStatement(block, statement, "\"", {});
    for (const char* p = name; *p != '\0'; ++p) {
        const char piece[2] = {*p, '\0'};
        TDX_AppendStatement(block, statement, *p == '"' ? "\"\"" : "%s", {piece});
    }
    TDX_AppendStatement(block, statement, "\"", {});
}

void TDX_AppendString(RequestBlock* block, CatalogStatement* statement, UINT id) {
    char text[PRIVILEGE_WORD_SIZE] = {};
    LoadStringA(moduleInstance, id, text, sizeof text);
    TDX_AppendStatement(block, statement, "%s", {text});
}

/* " ON " owner "." table */
void TDX_AppendTable(RequestBlock* block, CatalogStatement* statement, const TableEntry* entry) {
    TDX_AppendString(block, statement, IDS_ON);
    TDX_AppendName(block, statement, entry->owner != nullptr ? entry->owner : "");
    TDX_AppendStatement(block, statement, ".", {});
    TDX_AppendName(block, statement, entry->name);
}

/* ---- The table list ---- */

bool TDX_OwnedByLogin(const RequestBlock* block, const TableEntry* entry) {
    return block->loginId != nullptr && entry->owner != nullptr &&
           lstrcmpiA(entry->owner, block->loginId) == 0;
}

/* The list shows the user's own tables by name and every other table as owner.name, so that each
 * text finds its entry again (a bare name stands for the logged-on user's table). An own table
 * whose name holds a point is shown qualified too. */
void TDX_FillTableList(DialogContext* context) {
    const RequestBlock* block = context->block;
    for (HostListNode* node = context->tableList != nullptr ? context->tableList->first : nullptr;
         node != nullptr; node = node->next) {
        const auto* entry = static_cast<const TableEntry*>(node->data);
        char text[TDX_SECURITY_TABLE_TEXT] = {};
        if (TDX_OwnedByLogin(block, entry) && std::strchr(entry->name, '.') == nullptr) {
            TDX_CopyText(text, sizeof text, entry->name);
        } else {
            std::snprintf(text, sizeof text, "%s.%s", entry->owner != nullptr ? entry->owner : "",
                          entry->name);
        }
        TDX_SendControl(context, IDC_TABLE_LIST, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
        if (node == context->tableList->last) {
            break;
        }
    }
}

/* 0 when the list text names the entry, else 1: "owner.name", or a bare name of the login's. */
int32_t TDX_MatchTableText(const DialogContext* context, const char* text, const TableEntry* entry) {
    const char* point = std::strchr(text, '.');
    char owner[TDX_SECURITY_TABLE_TEXT] = {};
    const char* name = text;
    if (point != nullptr) {
        const size_t length = static_cast<size_t>(point - text);
        if (length >= sizeof owner) {
            return 1;
        }
        std::memcpy(owner, text, length);
        name = point + 1;
    } else {
        TDX_CopyText(owner, sizeof owner, context->block->loginId);
    }
    const char* entryOwner = entry->owner != nullptr ? entry->owner : "";
    return lstrcmpiA(entryOwner, owner) == 0 && lstrcmpiA(entry->name, name) == 0 ? 0 : 1;
}

TableEntry* TDX_FindSecurityEntry(const DialogContext* context, const char* text) {
    for (HostListNode* node = context->tableList != nullptr ? context->tableList->first : nullptr;
         node != nullptr; node = node->next) {
        auto* entry = static_cast<TableEntry*>(node->data);
        if (TDX_MatchTableText(context, text, entry) == 0) {
            return entry;
        }
        if (node == context->tableList->last) {
            break;
        }
    }
    return nullptr;
}

/* The text of the selected table item; false when none is selected or it does not fit. */
bool TDX_SelectedTableText(const DialogContext* context, char (&text)[TDX_SECURITY_TABLE_TEXT]) {
    const LRESULT index = TDX_SendControl(context, IDC_TABLE_LIST, LB_GETCURSEL, 0, 0);
    if (index == LB_ERR) {
        return false;
    }
    return TDX_ListItemText(context, IDC_TABLE_LIST, index, text);
}

/* Puts the list's selection back on the table taken up last (none when there is none), after a
 * choice the dialog could not take up. */
void TDX_RestoreTableSelection(const DialogContext* context) {
    const LRESULT count = TDX_SendControl(context, IDC_TABLE_LIST, LB_GETCOUNT, 0, 0);
    LRESULT found = -1;
    for (LRESULT i = 0; i < count && found < 0 && context->currentTable[0] != '\0'; ++i) {
        char text[TDX_SECURITY_TABLE_TEXT];
        if (TDX_ListItemText(context, IDC_TABLE_LIST, i, text) &&
            std::strcmp(text, context->currentTable) == 0) {
            found = i;
        }
    }
    TDX_SendControl(context, IDC_TABLE_LIST, LB_SETCURSEL, static_cast<WPARAM>(found), 0);
}

void TDX_FreeSecurityTables(DialogContext* context) {
    HostList* list = context->tableList;
    if (list == nullptr) {
        return;
    }
    KWCTX memory = context->block->memoryContext;
    for (auto* entry = static_cast<TableEntry*>(kwshr_firstListItem(list)); entry != nullptr;
         entry = static_cast<TableEntry*>(kwshr_nextListItem(list))) {
        if (HostList* columns = entry->columns) {
            for (auto* column = static_cast<ColumnDescriptor*>(kwshr_firstListItem(columns));
                 column != nullptr; column = static_cast<ColumnDescriptor*>(kwshr_nextListItem(columns))) {
                kwshr_free(memory, column->name);
                kwshr_free(memory, column);
            }
            kwshr_destroyList(columns);
        }
        kwshr_free(memory, entry->owner);
        kwshr_free(memory, entry);
    }
    kwshr_destroyList(list);
    context->tableList = nullptr;
    context->currentEntry = nullptr;
}

/* ---- Statements ---- */

/* What applying the pending changes came to. */
enum ApplyOutcome {
    APPLY_DONE,   /* nothing pending, the statements ran, or the changes were dropped */
    APPLY_KEPT,   /* the changes stay pending: the grantee cannot be an authorization id */
    APPLY_FAILED, /* a statement failed; its message was shown */
};

/* Shows a failure the block holds, with the stop icon. */
void TDX_ShowFailure(const DialogContext* context) {
    TDX_ShowMessage(context, context->block->message, MB_OK | MB_ICONSTOP);
}

/* Runs one GRANT or REVOKE; a failure goes into the block and on screen. Answers success. */
bool TDX_ExecuteSecurityStatement(DialogContext* context, char* text) {
    RequestBlock* block = context->block;
    block->status = KW_STATUS_OK;
    CharUpperA(text);
    TDX_Trace(block, text);
    const bool ran = TDX_RunCatalogStatement(block, text) != FAIL && !TDX_ErrorPending(block);
    if (!ran) {
        TDX_ReportFailure(block);
        TDX_ShowFailure(context);
    }
    dbcancel(block->dbproc);
    return ran;
}

/* Runs a statement the builder holds, or says that memory ran out while it was built. */
bool TDX_RunBuilt(DialogContext* context, CatalogStatement* statement) {
    if (statement->failed != 0) {
        TDX_ReportNoMemory(context->block);
        TDX_ShowFailure(context);
        return false;
    }
    return TDX_ExecuteSecurityStatement(context, statement->text);
}

bool TDX_BeginSecurityStatement(DialogContext* context, CatalogStatement* statement) {
    if (TDX_BeginStatement(context->block, statement) == 0) {
        TDX_ShowFailure(context);
        return false;
    }
    return true;
}

bool TDX_RevokeAll(DialogContext* context) {
    RequestBlock* block = context->block;
    CatalogStatement statement;
    if (!TDX_BeginSecurityStatement(context, &statement)) {
        return false;
    }
    TDX_AppendString(block, &statement, IDS_REVOKE);
    TDX_AppendString(block, &statement, IDC_PRIV_ALL);
    TDX_AppendTable(block, &statement, context->currentEntry);
    TDX_AppendString(block, &statement, IDS_FROM);
    TDX_AppendName(block, &statement, context->currentGrantee);
    const bool ran = TDX_RunBuilt(context, &statement);
    TDX_EndStatement(block, &statement);
    return ran;
}

/* GRANT with the words of the ticked boxes, the selected columns after UPDATE; nothing is sent
 * when no box is ticked. */
bool TDX_GrantTicked(DialogContext* context, const UINT (&states)[kPrivilegeCount], const int* items, int n,
                     const char* grantee) {
    RequestBlock* block = context->block;
    CatalogStatement statement;
    if (!TDX_BeginSecurityStatement(context, &statement)) {
        return false;
    }
    TDX_AppendString(block, &statement, IDS_GRANT);
    int words = 0;
    for (int i = 0; i < kPrivilegeCount; ++i) {
        if (states[i] == BST_CHECKED) {
            TDX_AppendStatement(block, &statement, words > 0 ? ", " : "", {});
            TDX_AppendString(block, &statement, static_cast<UINT>(kPrivilegeBoxes[i]));
            ++words;
        }
    }
    if (states[kPrivilegeCount - 1] != BST_UNCHECKED && n > 0) {
        TDX_AppendStatement(block, &statement, " ( ", {});
        for (int i = 0; i < n; ++i) {
            char name[TDX_SECURITY_TABLE_TEXT];
            TDX_ListItemText(context, IDC_COLUMN_LIST, items[i], name);
            TDX_AppendStatement(block, &statement, i > 0 ? ", " : "", {});
            TDX_AppendName(block, &statement, name);
        }
        TDX_AppendStatement(block, &statement, " ) ", {});
    }
    bool ran = true;
    if (words > 0) {
        TDX_AppendTable(block, &statement, context->currentEntry);
        TDX_AppendString(block, &statement, IDS_TO);
        TDX_AppendName(block, &statement, grantee);
        ran = TDX_RunBuilt(context, &statement);
    }
    TDX_EndStatement(block, &statement);
    return ran;
}

/* Turns the pending changes into statements on the table taken up and the grantee in the field:
 * REVOKE ALL when the grantee held privileges and ALL is clear, then GRANT of what is ticked (a
 * failed REVOKE does not stop the GRANT). Changes made before any table was taken up wait for the
 * first one; a grantee too long to be an authorization id keeps them pending; an empty grantee
 * drops them. */
ApplyOutcome TDX_ApplyPrivileges(DialogContext* context) {
    if (context->dirty == 0 || context->currentEntry == nullptr) {
        return APPLY_DONE;
    }
    char grantee[TDX_GRANTEE_MAX + 1] = {};
    if (!TDX_ReadGrantee(context, grantee)) {
        return APPLY_KEPT;
    }
    context->dirty = 0;
    if (grantee[0] == '\0') {
        return APPLY_DONE;
    }
    CharUpperA(grantee);
    RequestBlock* block = context->block;
    const HCURSOR previous = SetCursor(LoadCursorA(nullptr, IDC_WAIT));
    const LRESULT count = TDX_SendControl(context, IDC_COLUMN_LIST, LB_GETSELCOUNT, 0, 0);
    const int n = count > 0 ? static_cast<int>(count) : 0;
    auto* items = static_cast<int*>(
        kwshr_allocate(block->memoryContext, sizeof(int) * (static_cast<size_t>(n) + 1), 0));
    if (items == nullptr) {
        TDX_ReportNoMemory(block);
        TDX_ShowFailure(context);
        context->dirty = 1;
        SetCursor(previous);
        return APPLY_FAILED;
    }
    const LRESULT got = n > 0 ? TDX_SendControl(context, IDC_COLUMN_LIST, LB_GETSELITEMS,
                                                static_cast<WPARAM>(n), reinterpret_cast<LPARAM>(items))
                              : 0;
    UINT states[kPrivilegeCount] = {};
    for (int i = 0; i < kPrivilegeCount; ++i) {
        states[i] = IsDlgButtonChecked(context->window, kPrivilegeBoxes[i]);
    }
    bool ran = true;
    if (context->hadPrivileges == 1 && states[0] == BST_UNCHECKED) {
        ran = TDX_RevokeAll(context);
    }
    ran = TDX_GrantTicked(context, states, items, got > 0 ? static_cast<int>(got) : 0, grantee) && ran;
    kwshr_free(block->memoryContext, items);
    SetCursor(previous);
    return ran ? APPLY_DONE : APPLY_FAILED;
}

/* ---- Reading privileges ---- */

/* Sets the boxes and the column list from one SYSTABAUTH read (blanks when there was no row). */
void TDX_ShowPrivileges(const DialogContext* context, const PrivilegeRead& read) {
    bool everything = true;
    for (char auth : read.auth) {
        everything = everything && (auth == 'Y' || auth == 'G');
    }
    TDX_SetBox(context, IDC_PRIV_ALL, everything ? BST_CHECKED : BST_UNCHECKED);
    for (int i = 0; i < kAuthCount; ++i) {
        const bool held = !everything && read.auth[i] != ' ';
        TDX_SetBox(context, kPrivilegeBoxes[i + 1], held ? BST_CHECKED : BST_UNCHECKED);
    }
    /* Only UPDATE held without grant option opens the column list. */
    EnableWindow(TDX_Control(context, IDC_COLUMN_LIST), read.auth[kAuthCount - 1] == 'Y' ? TRUE : FALSE);
    TDX_SelectAllColumns(context, FALSE);
}

/* Selects the columns the grantee may update; stops at the end of the rows or at a failed fetch,
 * which it reports. */
void TDX_SelectGrantedColumns(DialogContext* context, const char* o, const char* grantee, TableEntry* entry) {
    RequestBlock* block = context->block;
    CatalogStatement statement;
    if (TDX_BeginStatement(block, &statement) == 0) {
        return;
    }
    TDX_UpperInPlace(entry->owner);
    CharUpperA(entry->name);
    TDX_AppendStatement(
        block, &statement,
        "SELECT COLNAME FROM %s.SYSCOLAUTH WHERE CREATOR = '%q'AND GRANTEE = '%q' AND TNAME = '%q' ",
        {o, entry->owner, grantee, entry->name});
    TDX_LowerInPlace(entry->owner);
    CharLowerA(entry->name);
    char column[COLUMN_NAME_SIZE] = {};
    bool failed = statement.failed != 0 || TDX_RunCatalogStatement(block, statement.text) == FAIL ||
                  TDX_Bind(block->dbproc, 1, KW_BIND_TEXT, sizeof column, column) == FAIL;
    bool allRead = false;
    if (!failed) {
        while (TDX_NextCatalogRow(block->dbproc, &failed)) {
            const LRESULT index = TDX_SendControl(context, IDC_COLUMN_LIST, LB_FINDSTRING,
                                                  static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(column));
            if (index != LB_ERR) {
                TDX_SendControl(context, IDC_COLUMN_LIST, LB_SETSEL, TRUE, index);
            }
            std::memset(column, 0, sizeof column);
        }
        allRead = !failed;
    }
    TDX_EndStatement(block, &statement);
    if (failed) {
        TDX_ReportFailure(block);
    }
    TDX_FinishCatalogStatement(block, allRead);
}

/* Reads the grantee's privileges on the table into the boxes and the column list. A failed read
 * is reported into the block and leaves the boxes as they were. */
void TDX_ReadPrivileges(DialogContext* context, const char* granteeText, TableEntry* entry) {
    RequestBlock* block = context->block;
    context->hadPrivileges = 0;
    block->status = KW_STATUS_OK;
    const char* o = TDX_CatalogQualifier(block);
    char grantee[TDX_GRANTEE_MAX + 1] = {};
    TDX_CopyText(grantee, sizeof grantee, granteeText);
    CharUpperA(grantee);
    CatalogStatement statement;
    if (TDX_BeginStatement(block, &statement) == 0) {
        return;
    }
    TDX_UpperInPlace(entry->owner);
    CharUpperA(entry->name);
    TDX_AppendStatement(
        block, &statement,
        "SELECT UPDATECOLS, ALTERAUTH, DELETEAUTH, INDEXAUTH, INSERTAUTH, SELECTAUTH, UPDATEAUTH "
        "FROM %s.SYSTABAUTH WHERE TCREATOR = '%q' AND GRANTEE = '%q' AND TTNAME = '%q' ",
        {o, entry->owner, grantee, entry->name});
    TDX_LowerInPlace(entry->owner);
    CharLowerA(entry->name);
    PrivilegeRead read;
    std::memset(&read, ' ', sizeof read);
    DBPROCESS* dbproc = block->dbproc;
    bool failed = statement.failed != 0 || TDX_RunCatalogStatement(block, statement.text) == FAIL ||
                  TDX_Bind(dbproc, 1, KW_BIND_CHARS, 1, &read.updateCols) == FAIL;
    for (int i = 0; i < kAuthCount && !failed; ++i) {
        failed = TDX_Bind(dbproc, i + 2, KW_BIND_CHARS, 1, &read.auth[i]) == FAIL;
    }
    if (!failed) {
        const STATUS row = dbnextrow(dbproc);
        failed = row == FAIL;
        context->hadPrivileges = row == REG_ROW ? 1 : 0;
    }
    TDX_EndStatement(block, &statement);
    if (failed) {
        TDX_ReportFailure(block);
    }
    dbcancel(dbproc);
    if (failed) {
        return;
    }
    TDX_ShowPrivileges(context, read);
    if (read.auth[kAuthCount - 1] == 'Y' && read.updateCols == '*') {
        TDX_SelectGrantedColumns(context, o, grantee, entry);
    }
}

/* ---- Taking up a table ---- */

void TDX_ListEntryColumns(const DialogContext* context, const TableEntry* entry) {
    TDX_SendControl(context, IDC_COLUMN_LIST, LB_RESETCONTENT, 0, 0);
    for (HostListNode* node = entry->columns != nullptr ? entry->columns->first : nullptr; node != nullptr;
         node = node->next) {
        const auto* column = static_cast<const ColumnDescriptor*>(node->data);
        TDX_SendControl(context, IDC_COLUMN_LIST, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(column->name));
        if (node == entry->columns->last) {
            break;
        }
    }
}

/* The columns of the entry, read once with the dialog's block (which keeps request code 9). */
void TDX_ReadEntryColumns(DialogContext* context, TableEntry* entry) {
    if (entry->columns != nullptr) {
        return;
    }
    RequestBlock* block = context->block;
    block->requestCode = REQ_LIST_COLUMNS;
    block->arg = entry;
    KW_TDX_Rout(block);
    entry->columns = reinterpret_cast<HostList*>(block->result);
}

/* Takes up the table selected in the list for the grantee in the field: pending changes are
 * applied to it, then its columns are listed and the grantee's privileges read. A choice that
 * names no entry of the list, or a grantee too long to be one, is not taken up: the selection
 * goes back to the table taken up before. */
void TDX_SelectSecurityTable(DialogContext* context) {
    char grantee[TDX_GRANTEE_MAX + 1] = {};
    char table[TDX_SECURITY_TABLE_TEXT] = {};
    if (!TDX_ReadGrantee(context, grantee) || !TDX_SelectedTableText(context, table)) {
        TDX_RestoreTableSelection(context);
        return;
    }
    const bool tableChanged = std::strcmp(table, context->currentTable) != 0;
    if (!tableChanged && std::strcmp(grantee, context->currentGrantee) == 0) {
        return;
    }
    TableEntry* entry = tableChanged ? TDX_FindSecurityEntry(context, table) : context->currentEntry;
    if (entry == nullptr) {
        TDX_RestoreTableSelection(context);
        return;
    }
    const HCURSOR previous = SetCursor(LoadCursorA(nullptr, IDC_WAIT));
    TDX_CopyText(context->currentTable, sizeof context->currentTable, table);
    TDX_CopyText(context->currentGrantee, sizeof context->currentGrantee, grantee);
    context->currentEntry = entry;
    if (tableChanged) {
        TDX_ReadEntryColumns(context, entry);
    }
    TDX_ApplyPrivileges(context);
    HWND columns = TDX_Control(context, IDC_COLUMN_LIST);
    SendMessageA(columns, WM_SETREDRAW, FALSE, 0);
    if (tableChanged) {
        TDX_ListEntryColumns(context, entry);
    }
    TDX_ReadPrivileges(context, grantee, entry);
    SendMessageA(columns, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(columns, nullptr, TRUE);
    UpdateWindow(columns);
    SetCursor(previous);
}

/* ---- The dialog's commands ---- */

/* A click on a privilege box, with a grantee typed: ALL and the six others exclude each other,
 * and UPDATE opens the column list with every column selected. */
void TDX_ClickPrivilege(DialogContext* context, int id) {
    char text[GRANTEE_EDIT_SIZE] = {};
    GetDlgItemTextA(context->window, IDC_GRANTEE, text, sizeof text);
    if (text[0] == '\0') {
        return;
    }
    context->dirty = 1;
    const UINT old = IsDlgButtonChecked(context->window, id);
    HWND columns = TDX_Control(context, IDC_COLUMN_LIST);
    if (id == IDC_PRIV_ALL) {
        if (old != BST_CHECKED) {
            const UINT update = IsDlgButtonChecked(context->window, IDC_PRIV_UPDATE);
            for (int i = 1; i < kPrivilegeCount; ++i) {
                TDX_SetBox(context, kPrivilegeBoxes[i], BST_UNCHECKED);
            }
            if (update == BST_CHECKED) {
                EnableWindow(columns, FALSE);
                TDX_SelectAllColumns(context, FALSE);
            }
        }
    } else {
        TDX_SetBox(context, IDC_PRIV_ALL, BST_UNCHECKED);
        if (id == IDC_PRIV_UPDATE) {
            EnableWindow(columns, old == BST_CHECKED ? FALSE : TRUE);
            TDX_SelectAllColumns(context, old == BST_CHECKED ? FALSE : TRUE);
        }
    }
    TDX_SetBox(context, id, old == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED);
}

/* Done: what is pending is applied and committed. When a change could not be applied the dialog
 * stays open with the message shown, so the user can correct it, press Done again (nothing is
 * pending then) or Cancel. */
void TDX_SecurityDone(DialogContext* context) {
    if (TDX_ApplyPrivileges(context) != APPLY_DONE) {
        return;
    }
    TDX_Commit(context->block);
    EndDialog(context->window, IDOK);
}

void TDX_SecurityCancel(DialogContext* context) {
    if (context->dirty != 0) {
        char text[UNDO_TEXT_SIZE] = {};
        LoadStringA(moduleInstance, IDS_UNDO_SECURITY_CHANGES, text, sizeof text);
        if (TDX_ShowMessage(context, text, MB_OKCANCEL | MB_ICONQUESTION) != IDOK) {
            return;
        }
    }
    TDX_Rollback(context->block);
    EndDialog(context->window, IDCANCEL);
}

void TDX_SecurityCommand(DialogContext* context, int control, int notification) {
    switch (control) {
        case IDC_TABLE_LIST:
            if (notification == LBN_SELCHANGE) {
                TDX_SelectSecurityTable(context);
            }
            break;
        case IDC_COLUMN_LIST:
            if (notification == LBN_SELCHANGE) {
                context->dirty = 1;
            }
            break;
        case IDC_GRANTEE:
            if (notification == EN_SETFOCUS && TDX_ApplyPrivileges(context) != APPLY_KEPT) {
                TDX_SetAllBoxes(context, BST_UNCHECKED); /* changes kept pending keep their boxes */
            } else if (notification == EN_CHANGE &&
                       GetWindowTextLengthA(TDX_Control(context, IDC_GRANTEE)) > 0) {
                EnableWindow(TDX_Control(context, IDC_TABLE_LIST), TRUE);
            }
            break;
        case IDOK:
            TDX_SecurityDone(context);
            break;
        case IDCANCEL:
            TDX_SecurityCancel(context);
            break;
        default:
            if (notification == BN_CLICKED && control >= IDC_PRIV_ALL && control <= IDC_PRIV_UPDATE) {
                TDX_ClickPrivilege(context, control);
            }
            break;
    }
}

bool TDX_IsSecurityControl(int control) {
    return control == IDOK || control == IDCANCEL || (control >= IDC_PRIV_ALL && control <= IDC_GRANTEE);
}

void TDX_StartSecurity(HWND window) {
    DialogContext* context = TDX_RegisterDialogContext(window);
    if (context == nullptr) {
        EndDialog(window, IDCANCEL); /* no block to work for, or no memory */
        return;
    }
    RequestBlock* block = context->block;
    SetFocus(GetDlgItem(window, IDC_GRANTEE));
    const HCURSOR previous = SetCursor(LoadCursorA(nullptr, IDC_WAIT));
    TDX_ListTables(block, TDX_LIST_GRANTABLE);
    if (block->status == KW_STATUS_OK) {
        context->tableList = reinterpret_cast<HostList*>(block->result);
        TDX_FillTableList(context);
        TDX_SendControl(context, IDC_TABLE_LIST, LB_SETCURSEL, 0, 0);
    }
    block->result = 0;
    context->currentGrantee[0] = '\0';
    SendDlgItemMessageA(window, IDC_GRANTEE, EM_LIMITTEXT, GRANTEE_EDIT_LIMIT, 0);
    EnableWindow(TDX_Control(context, IDC_TABLE_LIST), FALSE);
    EnableWindow(TDX_Control(context, IDC_COLUMN_LIST), FALSE);
    TDX_SetAllBoxes(context, BST_INDETERMINATE);
    kwshr_prepareDialog(window);
    SetCursor(previous);
}

}  // namespace

/* ---- Requests 72 and 57 ---- */

void TDX_AddSecurityMenuItem(RequestBlock* block) {
    char text[MENU_TEXT_SIZE] = {};
    LoadStringA(moduleInstance, IDS_TABLE_SECURITY_MENU, text, sizeof text);
    HMENU menu = reinterpret_cast<HMENU>(static_cast<intptr_t>(block->inValue));
    InsertMenuA(menu, 0, MF_BYPOSITION | MF_STRING, IDM_TABLE_SECURITY, text);
}

/* arg points to two 32-bit values, the owner window and the command id. */
void TDX_MenuCommand(RequestBlock* block) {
    const auto* command = static_cast<const int32_t*>(block->arg);
    if (command == nullptr || command[1] != IDM_TABLE_SECURITY) {
        return;
    }
    if (block->dbproc == nullptr) {
        TDX_LoadMessage(block, IDS_NO_CONNECTION, 255);
        block->status = KW_STATUS_DRIVER_FAILURE;
        return;
    }
    HWND owner = reinterpret_cast<HWND>(static_cast<intptr_t>(command[0]));
    currentDialogBlock = block;
    kwshr_dialogBox(moduleInstance, IDD_TABLE_SECURITY, owner, TDX_SecurityBoxProc, 0);
}

/* ---- The exported dialog procedure ---- */

BOOL TDX_SecurityBoxProc(HWND window, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            TDX_StartSecurity(window);
            return FALSE;
        case WM_COMMAND: {
            const int control = LOWORD(wParam);
            if (!TDX_IsSecurityControl(control)) {
                return FALSE;
            }
            if (DialogContext* context = TDX_FindDialogContext(window)) {
                TDX_SecurityCommand(context, control, HIWORD(wParam));
            } else if (control == IDCANCEL) {
                EndDialog(window, IDCANCEL);
            }
            return TRUE;
        }
        case WM_NCDESTROY:
            if (DialogContext* context = TDX_FindDialogContext(window)) {
                TDX_FreeSecurityTables(context);
            }
            TDX_ReleaseDialogContext(window);
            return FALSE;
        default:
            return FALSE;
    }
}
