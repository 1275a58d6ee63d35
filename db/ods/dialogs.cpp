/*
 * dialogs.cpp - the login dialog, the one-value profile dialogs, their launchers, request 67
 * (connect with the login dialog) and request 94 (the catalog owner).
 *
 * Each open driver dialog has a DialogContext in one module-wide list: its window, the request
 * block it works for (the block in currentDialogBlock when it opened), the table list of the
 * security dialog and, for the login dialog, the host's connect context. A one-value dialog
 * answers in the block's message (empty when cancelled); what the user confirms also goes to the
 * DbParm text, the connection record or the profile, so the next request does not ask again.
 */
#include <cstring>
#include <initializer_list>

#include "internal.h"

namespace {

HostList* dialogContexts = nullptr;
int32_t fieldsChanged = 0;

enum {
    EDIT_TEXT_SIZE = 130,
    DATABASE_TEXT_SIZE = 9,
    LONG_EDIT_LIMIT = 129,
    SHORT_EDIT_LIMIT = 8,
    BANNER_SIZE = 80,
    LOGIN_ERROR_SIZE = 40,
};

/* The login dialog's edits and their limits; a notification from any of them counts as a change. */
struct EditLimit {
    int control;
    int limit;
};
constexpr EditLimit kLoginEdits[] = {
    {IDC_SERVER_NAME, LONG_EDIT_LIMIT},    {IDC_LOGON_ID, SHORT_EDIT_LIMIT},
    {IDC_PASSWORD, LONG_EDIT_LIMIT},       {IDC_GROUP_ID, SHORT_EDIT_LIMIT},
    {IDC_SYSTEM_OWNER, SHORT_EDIT_LIMIT},  {IDC_CATALOG_OWNER, SHORT_EDIT_LIMIT},
    {IDC_DATABASE_NAME, SHORT_EDIT_LIMIT}, {IDC_TABLE_SPACE, SHORT_EDIT_LIMIT},
};

/* What a one-value dialog does with a confirmed text. */
enum class OneValueKind { SystemOwner, CatalogOwner, TableSpace, StoredRequestOwner, Database };
struct OneValueDialog {
    OneValueKind kind;
    int edit;
    int limit;
    int textSize;
};
constexpr OneValueDialog kSystemOwnerDialog = {OneValueKind::SystemOwner, IDC_SYSTEM_OWNER, SHORT_EDIT_LIMIT,
                                               EDIT_TEXT_SIZE};
constexpr OneValueDialog kCatalogOwnerDialog = {OneValueKind::CatalogOwner, IDC_CATALOG_OWNER,
                                                SHORT_EDIT_LIMIT, EDIT_TEXT_SIZE};
constexpr OneValueDialog kTableSpaceDialog = {OneValueKind::TableSpace, IDC_TABLE_SPACE, SHORT_EDIT_LIMIT,
                                              EDIT_TEXT_SIZE};
constexpr OneValueDialog kStoredRequestDialog = {OneValueKind::StoredRequestOwner, IDC_STORED_REQUEST_OWNER,
                                                 LONG_EDIT_LIMIT, EDIT_TEXT_SIZE};
constexpr OneValueDialog kDatabaseDialog = {OneValueKind::Database, IDC_DATABASE_NAME, SHORT_EDIT_LIMIT,
                                            DATABASE_TEXT_SIZE};

}  // namespace

/* ---- The context list ---- */

DialogContext* TDX_FindDialogContext(HWND window) {
    if (dialogContexts == nullptr) {
        return nullptr;
    }
    for (HostListNode* node = dialogContexts->first; node != nullptr; node = node->next) {
        auto* context = static_cast<DialogContext*>(node->data);
        if (context->window == window) {
            return context;
        }
        if (node == dialogContexts->last) {
            break;
        }
    }
    return nullptr;
}

DialogContext* TDX_RegisterDialogContext(HWND window) {
    RequestBlock* block = currentDialogBlock;
    if (block == nullptr) {
        return nullptr;
    }
    auto* context =
        static_cast<DialogContext*>(kwshr_allocate(block->memoryContext, sizeof(DialogContext), 0));
    if (context == nullptr) {
        return nullptr;
    }
    std::memset(context, 0, sizeof *context);
    context->window = window;
    context->block = block;
    if (dialogContexts == nullptr) {
        dialogContexts = kwshr_createList(block->memoryContext, 0);
    }
    if (dialogContexts == nullptr || kwshr_appendToList(dialogContexts, context) == 0) {
        kwshr_free(block->memoryContext, context);
        return nullptr;
    }
    return context;
}

/* WM_NCDESTROY: the context leaves the list and is freed; the list goes with its last entry. */
void TDX_ReleaseDialogContext(HWND window) {
    if (dialogContexts == nullptr) {
        return;
    }
    for (void* item = kwshr_firstListItem(dialogContexts); item != nullptr;
         item = kwshr_nextListItem(dialogContexts)) {
        auto* context = static_cast<DialogContext*>(item);
        if (context->window != window) {
            continue;
        }
        kwshr_removeCurrentListItem(dialogContexts);
        KWCTX memory = context->block->memoryContext;
        if (context->tableList != nullptr) {
            kwshr_freeResultList(memory, context->tableList);
        }
        kwshr_free(memory, context);
        break;
    }
    if (kwshr_listCount(dialogContexts) == 0) {
        kwshr_destroyList(dialogContexts);
        dialogContexts = nullptr;
    }
}

namespace {

/* ---- Small helpers ---- */

HCURSOR TDX_ShowCursor(const char* cursor) {
    return SetCursor(LoadCursorA(nullptr, cursor));
}

void TDX_LimitEdit(HWND window, int control, int limit) {
    SendDlgItemMessageA(window, control, EM_LIMITTEXT, static_cast<WPARAM>(limit), 0);
}

void TDX_EnableOk(HWND window, bool enable) {
    EnableWindow(GetDlgItem(window, IDOK), enable ? TRUE : FALSE);
}

bool TDX_EditIsEmpty(HWND window, int control) {
    return GetWindowTextLengthA(GetDlgItem(window, control)) == 0;
}

/* Sets a DbParm key to the text between single quotes; a quote inside the text is doubled, so
 * that no text can break the DbParm list. */
void TDX_SetQuotedDbParm(RequestBlock* block, const char* key, const char* text) {
    size_t quotes = 0;
    for (const char* p = text; *p != '\0'; ++p) {
        quotes += *p == '\'' ? 1 : 0;
    }
    const size_t size = std::strlen(text) + quotes + 3;
    char* quoted = static_cast<char*>(kwshr_allocate(block->memoryContext, size, 0));
    if (quoted == nullptr) {
        return;
    }
    char* write = quoted;
    *write++ = '\'';
    for (const char* p = text; *p != '\0'; ++p) {
        *write++ = *p;
        if (*p == '\'') {
            *write++ = '\'';
        }
    }
    *write++ = '\'';
    *write = '\0';
    kwshr_setDbParmValue(block, key, quoted);
    kwshr_free(block->memoryContext, quoted);
}

/* The replacement of a block or record text: `old` is freed and a copy of `text` answered. The
 * caller assigns it; the packed records' fields are never written through their address. */
char* TDX_Replaced(RequestBlock* block, char* old, const char* text) {
    if (old != nullptr) {
        kwshr_free(block->memoryContext, old);
    }
    return kwshr_duplicateString(block->memoryContext, text, 0);
}

/* Stores the block's whole DbParm text in the profile under "DbParm". */
void TDX_SaveDbParm(RequestBlock* block) {
    const char* text = block->dbParm != nullptr ? block->dbParm : "";
    const size_t size = std::strlen(text) + 2; /* room for "*" */
    char* value = static_cast<char*>(kwshr_allocate(block->memoryContext, size, 0));
    if (value == nullptr) {
        return;
    }
    std::memcpy(value, text, std::strlen(text) + 1);
    TDX_PutProfileSetting("DbParm", value);
    kwshr_free(block->memoryContext, value);
}

void TDX_CopyToMessage(RequestBlock* block, const char* text) {
    TDX_CopyText(block->message, sizeof block->message, text);
}

/* ---- One-value dialogs ---- */

void TDX_ConfirmOneValue(DialogContext* context, const OneValueDialog& dialog) {
    char text[EDIT_TEXT_SIZE] = {};
    GetDlgItemTextA(context->window, dialog.edit, text, dialog.textSize);
    TDX_ShowCursor(IDC_WAIT);
    RequestBlock* block = context->block;
    ConnectionRecord* record = block->connection;
    switch (dialog.kind) {
        case OneValueKind::SystemOwner:
            CharUpperA(text);
            TDX_SetQuotedDbParm(block, "SystemOwner", text);
            if (record != nullptr) {
                record->systemOwner = TDX_Replaced(block, record->systemOwner, text);
            }
            TDX_SaveDbParm(block);
            break;
        case OneValueKind::CatalogOwner:
            CharUpperA(text);
            TDX_SetQuotedDbParm(block, "KWCatalogOwner", text);
            if (record != nullptr) {
                record->catalogOwner = TDX_Replaced(block, record->catalogOwner, text);
            }
            break;
        case OneValueKind::TableSpace:
            TDX_PutProfileSetting("TableSpace", text);
            TDX_CopyToMessage(block, text);
            break;
        case OneValueKind::StoredRequestOwner:
            TDX_PutProfileSetting("StoredReqOwner", text);
            TDX_CopyToMessage(block, text);
            break;
        case OneValueKind::Database:
            TDX_PutProfileSetting("Database", text);
            TDX_CopyToMessage(block, text);
            block->databaseName = TDX_Replaced(block, block->databaseName, text);
            break;
    }
    TDX_ShowCursor(IDC_ARROW);
    EndDialog(context->window, 1);
}

BOOL TDX_OneValueProc(const OneValueDialog& dialog, HWND window, UINT message, WPARAM wParam) {
    switch (message) {
        case WM_INITDIALOG: {
            DialogContext* context = TDX_RegisterDialogContext(window);
            TDX_LimitEdit(window, dialog.edit, dialog.limit);
            if (dialog.kind == OneValueKind::Database && context != nullptr) {
                std::memset(context->block->message, 0, sizeof context->block->message);
            }
            TDX_EnableOk(window, false);
            SetFocus(GetDlgItem(window, dialog.edit));
            kwshr_prepareDialog(window);
            return TRUE;
        }
        case WM_COMMAND: {
            DialogContext* context = TDX_FindDialogContext(window);
            const int control = LOWORD(wParam);
            if (control == dialog.edit) {
                TDX_EnableOk(window, true);
            } else if (control == IDOK && context != nullptr) {
                TDX_ConfirmOneValue(context, dialog);
            } else if (control == IDOK || control == IDCANCEL) {
                if (context != nullptr) {
                    context->block->message[0] = '\0';
                }
                EndDialog(window, 0);
            }
            return TRUE;
        }
        case WM_NCDESTROY:
            TDX_ReleaseDialogContext(window);
            return FALSE;
        default:
            return FALSE;
    }
}

/* ---- The login dialog ---- */

/* Sets an edit from a text and answers whether it stayed empty. */
bool TDX_FillEdit(HWND window, int control, const char* text) {
    SetDlgItemTextA(window, control, text != nullptr ? text : "");
    return text == nullptr || text[0] == '\0';
}

/* The group id, system owner and catalog owner fields come from the DbParm text. */
void TDX_FillOwnersFromDbParm(RequestBlock* block, HWND window) {
    if (block->dbParm == nullptr || block->dbParm[0] == '\0') {
        return;
    }
    void* const savedArg = block->arg;
    kwshr_openConnectParameters(block);
    auto* parameters = reinterpret_cast<HostList*>(block->result);
    if (parameters == nullptr) {
        return;
    }
    for (HostListNode* node = parameters->first; node != nullptr; node = node->next) {
        const auto* entry = static_cast<const ParameterEntry*>(node->data);
        if (entry != nullptr && entry->key != nullptr && entry->text != nullptr) {
            if (lstrcmpiA(entry->key, "GroupID") == 0) {
                SetDlgItemTextA(window, IDC_GROUP_ID, entry->text);
            } else if (lstrcmpiA(entry->key, "SystemOwner") == 0) {
                SetDlgItemTextA(window, IDC_SYSTEM_OWNER, entry->text);
            } else if (lstrcmpiA(entry->key, "KWCatalogOwner") == 0) {
                SetDlgItemTextA(window, IDC_CATALOG_OWNER, entry->text);
            }
        }
        if (node == parameters->last) {
            break;
        }
    }
    block->arg = parameters;
    kwshr_closeConnectParameters(block);
    block->arg = savedArg;
}

/* OK is enabled exactly when the server name, the logon id and the password are all typed. */
void TDX_UpdateLoginOk(HWND window) {
    TDX_EnableOk(window, !TDX_EditIsEmpty(window, IDC_SERVER_NAME) &&
                             !TDX_EditIsEmpty(window, IDC_LOGON_ID) &&
                             !TDX_EditIsEmpty(window, IDC_PASSWORD));
}

void TDX_StartLogin(HWND window) {
    fieldsChanged = 0;
    DialogContext* context = TDX_RegisterDialogContext(window);
    char banner[BANNER_SIZE] = {};
    LoadStringA(moduleInstance, IDS_LOGIN_BANNER, banner, sizeof banner);
    SetDlgItemTextA(window, IDC_LOGIN_BANNER, banner);
    for (const EditLimit& edit : kLoginEdits) {
        TDX_LimitEdit(window, edit.control, edit.limit);
    }
    int focus = 0;
    if (context != nullptr) {
        RequestBlock* block = context->block;
        context->connectContext = static_cast<HostConnectContext*>(block->arg);
        char tableSpace[EDIT_TEXT_SIZE] = {};
        TDX_HasProfileSetting("TableSpace", tableSpace, sizeof tableSpace);
        const struct {
            int control;
            const char* text;
        } fields[] = {
            {IDC_SERVER_NAME, block->serverName}, {IDC_LOGON_ID, block->loginId},
            {IDC_PASSWORD, block->password},      {IDC_DATABASE_NAME, block->databaseName},
            {IDC_TABLE_SPACE, tableSpace},
        };
        for (const auto& field : fields) {
            if (TDX_FillEdit(window, field.control, field.text) && focus == 0) {
                focus = field.control;
            }
        }
        TDX_FillOwnersFromDbParm(context->block, window);
    }
    SetFocus(GetDlgItem(window, focus != 0 ? focus : IDC_SERVER_NAME));
    /* The edits were filled by the driver, which sends no change notification: set OK as the
     * notifications would have left it. Notifications the start-up itself caused (the focus
     * moving into an edit) are no change by the user. */
    TDX_UpdateLoginOk(window);
    fieldsChanged = 0;
    kwshr_prepareDialog(window);
}

void TDX_LoginMessage(DialogContext* context, const char* text) {
    const char* caption = context->connectContext != nullptr ? context->connectContext->caption : nullptr;
    MessageBoxA(context->window, text, caption, MB_ICONHAND);
}

/* Reads an edit into a buffer and, when it must not be empty, complains with string `errorId`. */
bool TDX_ReadRequiredEdit(DialogContext* context, int control, char* text, int size, UINT errorId) {
    GetDlgItemTextA(context->window, control, text, size);
    if (text[0] != '\0') {
        return true;
    }
    char error[LOGIN_ERROR_SIZE] = {};
    LoadStringA(moduleInstance, errorId, error, sizeof error);
    TDX_LoginMessage(context, error);
    return false;
}

void TDX_ConfirmLogin(DialogContext* context) {
    HWND window = context->window;
    RequestBlock* block = context->block;
    const HCURSOR previous = TDX_ShowCursor(IDC_WAIT);
    char server[EDIT_TEXT_SIZE] = {}, login[EDIT_TEXT_SIZE] = {};
    if (!TDX_ReadRequiredEdit(context, IDC_SERVER_NAME, server, LONG_EDIT_LIMIT, IDS_INVALID_SERVER_NAME) ||
        !TDX_ReadRequiredEdit(context, IDC_LOGON_ID, login, LONG_EDIT_LIMIT, IDS_INVALID_LOGIN_ID)) {
        SetCursor(previous);
        return;
    }
    if (context->connectContext != nullptr && context->connectContext->reuseConnection != 0 &&
        fieldsChanged == 0) {
        EndDialog(window, 1);
        SetCursor(previous);
        return;
    }
    char password[EDIT_TEXT_SIZE] = {}, group[EDIT_TEXT_SIZE] = {}, systemOwner[EDIT_TEXT_SIZE] = {};
    char catalogOwner[EDIT_TEXT_SIZE] = {}, database[DATABASE_TEXT_SIZE] = {},
         tableSpace[EDIT_TEXT_SIZE] = {};
    GetDlgItemTextA(window, IDC_PASSWORD, password, sizeof password);
    GetDlgItemTextA(window, IDC_GROUP_ID, group, sizeof group);
    GetDlgItemTextA(window, IDC_SYSTEM_OWNER, systemOwner, sizeof systemOwner);
    GetDlgItemTextA(window, IDC_CATALOG_OWNER, catalogOwner, sizeof catalogOwner);
    GetDlgItemTextA(window, IDC_DATABASE_NAME, database, sizeof database);
    GetDlgItemTextA(window, IDC_TABLE_SPACE, tableSpace, sizeof tableSpace);

    block->serverName = TDX_Replaced(block, block->serverName, server);
    block->loginId = TDX_Replaced(block, block->loginId, login);
    block->password = TDX_Replaced(block, block->password, password);
    block->databaseName = TDX_Replaced(block, block->databaseName, database);
    /* Group id, system owner and catalog owner: upper case, into DbParm and, when connected, the record. */
    for (char* text : {group, systemOwner, catalogOwner}) {
        CharUpperA(text);
    }
    TDX_SetQuotedDbParm(block, "GroupID", group);
    TDX_SetQuotedDbParm(block, "SystemOwner", systemOwner);
    TDX_SetQuotedDbParm(block, "KWCatalogOwner", catalogOwner);
    if (ConnectionRecord* record = block->connection) {
        record->groupId = TDX_Replaced(block, record->groupId, group);
        record->systemOwner = TDX_Replaced(block, record->systemOwner, systemOwner);
        record->catalogOwner = TDX_Replaced(block, record->catalogOwner, catalogOwner);
    }
    if (tableSpace[0] != '\0') {
        TDX_PutProfileSetting("TableSpace", tableSpace);
    }
    block->status = KW_STATUS_OK;
    TDX_Connect(block);
    if (block->status != KW_STATUS_OK) {
        TDX_LoginMessage(context, block->message);
    } else {
        EndDialog(window, 1);
    }
    SetCursor(previous);
}

void TDX_CancelLogin(DialogContext* context, HWND window) {
    if (context != nullptr) {
        context->block->message[0] = '\0';
        context->block->status = KW_STATUS_DRIVER_FAILURE;
    }
    EndDialog(window, 0);
}

bool TDX_IsLoginEdit(int control) {
    for (const EditLimit& edit : kLoginEdits) {
        if (edit.control == control) {
            return true;
        }
    }
    return false;
}

}  // namespace

RequestBlock* currentDialogBlock = nullptr;

/* ---- Exported dialog procedures ---- */

BOOL TDX_LoginProc(HWND window, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            TDX_StartLogin(window);
            return FALSE;
        case WM_COMMAND: {
            const int control = LOWORD(wParam);
            DialogContext* context = TDX_FindDialogContext(window);
            if (TDX_IsLoginEdit(control)) {
                fieldsChanged = 1;
                if (HIWORD(wParam) == EN_CHANGE) {
                    TDX_UpdateLoginOk(window);
                }
            } else if (control == IDOK && context != nullptr) {
                TDX_ConfirmLogin(context);
            } else if (control == IDOK || control == IDCANCEL) {
                TDX_CancelLogin(context, window);
            }
            return TRUE;
        }
        case WM_NCDESTROY:
            TDX_ReleaseDialogContext(window);
            return FALSE;
        default:
            return FALSE;
    }
}

BOOL TDX_SystemOwnerProc(HWND window, UINT message, WPARAM wParam, LPARAM) {
    return TDX_OneValueProc(kSystemOwnerDialog, window, message, wParam);
}
BOOL TDX_KWCatalogOwnerProc(HWND window, UINT message, WPARAM wParam, LPARAM) {
    return TDX_OneValueProc(kCatalogOwnerDialog, window, message, wParam);
}
BOOL TDX_TableSpaceProc(HWND window, UINT message, WPARAM wParam, LPARAM) {
    return TDX_OneValueProc(kTableSpaceDialog, window, message, wParam);
}
BOOL TDX_DatabaseProc(HWND window, UINT message, WPARAM wParam, LPARAM) {
    return TDX_OneValueProc(kDatabaseDialog, window, message, wParam);
}
BOOL TDX_StoredRequestProc(HWND window, UINT message, WPARAM wParam, LPARAM) {
    return TDX_OneValueProc(kStoredRequestDialog, window, message, wParam);
}

/* ---- Launchers ---- */

namespace {

/* Runs one driver dialog for the block. A dialog that could not be shown answers as a cancelled
 * one (an empty message). */
intptr_t TDX_RunDialog(RequestBlock* block, int templateId, HWND owner, DLGPROC procedure) {
    currentDialogBlock = block;
    const intptr_t result = kwshr_dialogBox(moduleInstance, templateId, owner, procedure, 0);
    if (result < 0) {
        block->message[0] = '\0';
    }
    return result;
}

}  // namespace

intptr_t TDX_ShowLoginDialog(RequestBlock* block) {
    const auto* connectContext = static_cast<const HostConnectContext*>(block->arg);
    HWND owner = connectContext != nullptr ? connectContext->ownerWindow : nullptr;
    const intptr_t result = TDX_RunDialog(block, IDD_LOGIN, owner, TDX_LoginProc);
    if (result < 0) {
        TDX_LoadMessage(block, IDS_DIALOG_UNAVAILABLE, 255);
        block->status = KW_STATUS_DRIVER_FAILURE;
    }
    return result;
}

intptr_t TDX_AskSystemOwner(RequestBlock* block) {
    const HCURSOR previous = GetCursor();
    const intptr_t result = TDX_RunDialog(block, IDD_SYSTEM_OWNER, GetActiveWindow(), TDX_SystemOwnerProc);
    SetCursor(previous);
    return result;
}

intptr_t TDX_AskCatalogOwner(RequestBlock* block) {
    return TDX_RunDialog(block, IDD_CATALOG_OWNER, GetActiveWindow(), TDX_KWCatalogOwnerProc);
}

intptr_t TDX_AskTableSpace(RequestBlock* block) {
    return TDX_RunDialog(block, IDD_TABLE_SPACE, GetActiveWindow(), TDX_TableSpaceProc);
}

intptr_t TDX_AskStoredRequestOwner(RequestBlock* block) {
    return TDX_RunDialog(block, IDD_STORED_REQUESTS, GetActiveWindow(), TDX_StoredRequestProc);
}

/* ---- Requests 67 and 94 ---- */

void TDX_ConnectWithDialog(RequestBlock* block) {
    const HCURSOR previous = TDX_ShowCursor(IDC_WAIT);
    const auto* connectContext = static_cast<const HostConnectContext*>(block->arg);
    const bool alwaysAsk = connectContext != nullptr && connectContext->mode == KW_CONNECT_MODE_ALWAYS_ASK;
    auto filled = [](const char* text) { return text != nullptr && text[0] != '\0'; };
    if (filled(block->serverName) && filled(block->loginId) && filled(block->password) && !alwaysAsk) {
        TDX_Connect(block);
    } else {
        TDX_ShowLoginDialog(block);
    }
    if (block->status == KW_STATUS_OK && block->connection != nullptr &&
        (block->flags & FLAG_CATALOG_UNAVAILABLE) == 0) {
        TDX_ShowCursor(IDC_WAIT);
        TDX_CheckCatalog(block);
        if (block->status != KW_STATUS_OK) {
            /* The connection stays usable without the extended catalog: the user is told once. */
            TDX_LoadMessage(block, IDS_CATALOG_UNAVAILABLE, 255);
            MessageBoxA(connectContext != nullptr ? connectContext->ownerWindow : nullptr, block->message,
                        connectContext != nullptr ? connectContext->caption : nullptr, MB_ICONEXCLAMATION);
            block->flags |= FLAG_CATALOG_UNAVAILABLE;
            block->status = KW_STATUS_OK;
            block->message[0] = '\0';
        }
    }
    SetCursor(previous);
}

void TDX_CatalogOwner(RequestBlock* block) {
    ConnectionRecord* record = block->connection;
    if (record == nullptr) {
        return; /* no connection record: no owner to ask for */
    }
    if (record->catalogOwner == nullptr) {
        TDX_AskCatalogOwner(block);
    }
    block->result = reinterpret_cast<intptr_t>(record->catalogOwner);
}
