/*
 * kwuser.h - the subset of the Windows USER interface that the driver uses (libkwuser).
 *
 * Windows, dialogs built from a module's templates, their controls (static, edit, push button,
 * three-state check box, combo box, list box), message boxes, cursors, menus, string resources
 * and the text helpers. Handles are small integers below 65536 carried in pointer-typed handles.
 * A modal dialog is shown by a presenter: scripted (tests), terminal (kwsh) or none (batch use:
 * every dialog is cancelled). The declarations after the USER functions are the host side:
 * module registration, presenters and the script of the scripted presenter.
 */
#ifndef KW_USER_H
#define KW_USER_H

#include "kwtypes.h"

KW_BEGIN_C

/* ---- Helpers and constants ---- */

#define MAKEINTRESOURCEA(id) ((const char*)(uintptr_t)(uint16_t)(id))
#define IS_INTRESOURCE(p) (((uintptr_t)(p) >> 16) == 0)
#define LOWORD(v) ((uint16_t)((uintptr_t)(v) & 0xFFFF))
#define HIWORD(v) ((uint16_t)(((uintptr_t)(v) >> 16) & 0xFFFF))
#define MAKELONG(low, high) ((int32_t)(((uint16_t)(low)) | (((uint32_t)(uint16_t)(high)) << 16)))
#define MAKEWPARAM(low, high) ((WPARAM)(uint32_t)MAKELONG(low, high))

typedef struct RECT {
    int32_t left, top, right, bottom;
} RECT;

/* Messages */
enum {
    WM_SETREDRAW = 0x000B,
    WM_SETTEXT = 0x000C,
    WM_GETTEXT = 0x000D,
    WM_GETTEXTLENGTH = 0x000E,
    WM_NCDESTROY = 0x0082,
    WM_INITDIALOG = 0x0110,
    WM_COMMAND = 0x0111,
    EM_LIMITTEXT = 0x00C5,
    BM_GETCHECK = 0x00F0,
    BM_SETCHECK = 0x00F1,
    CB_GETCOUNT = 0x0146,
    CB_ADDSTRING = 0x0143,
    CB_GETCURSEL = 0x0147,
    CB_GETLBTEXT = 0x0148,
    CB_GETLBTEXTLEN = 0x0149,
    CB_RESETCONTENT = 0x014B,
    CB_FINDSTRING = 0x014C,
    CB_SETCURSEL = 0x014E,
    LB_ADDSTRING = 0x0180,
    LB_RESETCONTENT = 0x0184,
    LB_SETSEL = 0x0185,
    LB_SETCURSEL = 0x0186,
    LB_GETSEL = 0x0187,
    LB_GETCURSEL = 0x0188,
    LB_GETTEXT = 0x0189,
    LB_GETTEXTLEN = 0x018A,
    LB_GETCOUNT = 0x018B,
    LB_FINDSTRING = 0x018F,
    LB_GETSELCOUNT = 0x0190,
    LB_GETSELITEMS = 0x0191,
};
enum { CB_ERR = -1, LB_ERR = -1 };

/* Notifications (high word of wParam in WM_COMMAND) */
enum {
    BN_CLICKED = 0,
    LBN_SELCHANGE = 1,
    CBN_SELCHANGE = 1,
    EN_SETFOCUS = 0x0100,
    EN_KILLFOCUS = 0x0200,
    EN_CHANGE = 0x0300,
};

/* Styles */
enum {
    WS_DISABLED = 0x08000000,
    WS_TABSTOP = 0x00010000,
    ES_PASSWORD = 0x0020,
    ES_AUTOHSCROLL = 0x0080,
    BS_PUSHBUTTON = 0x0,
    BS_DEFPUSHBUTTON = 0x1,
    BS_CHECKBOX = 0x2,
    BS_AUTOCHECKBOX = 0x3,
    BS_3STATE = 0x5,
    BS_AUTO3STATE = 0x6,
    BS_GROUPBOX = 0x7,
    BS_TYPEMASK = 0xF,
    LBS_NOTIFY = 0x0001,
    LBS_SORT = 0x0002,
    LBS_MULTIPLESEL = 0x0008,
    CBS_DROPDOWNLIST = 0x0003,
    CBS_SORT = 0x0100,
};
enum { BST_UNCHECKED = 0, BST_CHECKED = 1, BST_INDETERMINATE = 2 };

/* Message boxes */
enum {
    MB_OK = 0x0,
    MB_OKCANCEL = 0x1,
    MB_YESNOCANCEL = 0x3,
    MB_YESNO = 0x4,
    MB_ICONHAND = 0x10,
    MB_ICONSTOP = 0x10,
    MB_ICONQUESTION = 0x20,
    MB_ICONEXCLAMATION = 0x30,
    MB_ICONINFORMATION = 0x40,
};
enum { IDOK = 1, IDCANCEL = 2, IDYES = 6, IDNO = 7 };

/* Cursors and menus */
#define IDC_ARROW MAKEINTRESOURCEA(32512)
#define IDC_WAIT MAKEINTRESOURCEA(32514)
enum { MF_STRING = 0x0000, MF_BYCOMMAND = 0x0000, MF_BYPOSITION = 0x0400 };

/* ---- The USER functions ---- */

KW_EXPORT int LoadStringA(HINSTANCE module, UINT id, char* buffer, int bufferMax);

KW_EXPORT intptr_t DialogBoxParamA(HINSTANCE module, const char* templateName, HWND owner, DLGPROC procedure,
                                   LPARAM parameter);
KW_EXPORT BOOL EndDialog(HWND dialog, intptr_t result);
KW_EXPORT HWND GetDlgItem(HWND dialog, int controlId);
KW_EXPORT int GetDlgCtrlID(HWND control);
KW_EXPORT HWND GetParent(HWND window);
KW_EXPORT BOOL IsWindow(HWND window);
KW_EXPORT LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
KW_EXPORT LRESULT SendDlgItemMessageA(HWND dialog, int controlId, UINT message, WPARAM wParam, LPARAM lParam);
KW_EXPORT UINT GetDlgItemTextA(HWND dialog, int controlId, char* buffer, int bufferMax);
KW_EXPORT BOOL SetDlgItemTextA(HWND dialog, int controlId, const char* text);
KW_EXPORT int GetWindowTextA(HWND window, char* buffer, int bufferMax);
KW_EXPORT int GetWindowTextLengthA(HWND window);
KW_EXPORT BOOL SetWindowTextA(HWND window, const char* text);
KW_EXPORT BOOL EnableWindow(HWND window, BOOL enable);
KW_EXPORT BOOL IsWindowEnabled(HWND window);
KW_EXPORT HWND SetFocus(HWND window);
KW_EXPORT HWND GetFocus(void);
KW_EXPORT BOOL CheckDlgButton(HWND dialog, int controlId, UINT check);
KW_EXPORT UINT IsDlgButtonChecked(HWND dialog, int controlId);
KW_EXPORT BOOL InvalidateRect(HWND window, const RECT* rect, BOOL erase);
KW_EXPORT BOOL UpdateWindow(HWND window);
KW_EXPORT HWND GetActiveWindow(void);

KW_EXPORT int MessageBoxA(HWND owner, const char* text, const char* caption, UINT type);

KW_EXPORT HCURSOR LoadCursorA(HINSTANCE module, const char* cursorName);
KW_EXPORT HCURSOR SetCursor(HCURSOR cursor);
KW_EXPORT HCURSOR GetCursor(void);

KW_EXPORT HMENU CreateMenu(void);
KW_EXPORT BOOL DestroyMenu(HMENU menu);
KW_EXPORT BOOL InsertMenuA(HMENU menu, UINT position, UINT flags, uintptr_t idNewItem, const char* text);
KW_EXPORT int GetMenuItemCount(HMENU menu);
KW_EXPORT UINT GetMenuItemID(HMENU menu, int position);
KW_EXPORT int GetMenuStringA(HMENU menu, UINT item, char* buffer, int bufferMax, UINT flags);

KW_EXPORT char* CharUpperA(char* text);
KW_EXPORT char* CharLowerA(char* text);
KW_EXPORT int lstrcmpiA(const char* a, const char* b);
KW_EXPORT int wsprintfA(char* buffer, const char* format, ...) __attribute__((format(printf, 2, 3)));

/* ---- Host side: module resources ---- */

typedef struct KwControlTemplate {
    const char* className; /* "STATIC", "EDIT", "BUTTON", "LISTBOX", "COMBOBOX" */
    int id;
    const char* text;
    uint32_t style;
    int16_t x, y, cx, cy;  /* dialog units, as the template gives them */
} KwControlTemplate;

typedef struct KwDialogTemplate {
    int id;
    const char* title;
    const char* fontName;
    int fontSize;
    int16_t cx, cy;
    const KwControlTemplate* controls;
    int controlCount;
} KwDialogTemplate;

typedef struct KwStringResource {
    UINT id;
    const char* text;
} KwStringResource;

typedef struct KwModuleResources {
    const char* moduleName;
    const KwStringResource* strings;
    int stringCount;
    const KwDialogTemplate* dialogs;
    int dialogCount;
} KwModuleResources;

/* Registers a module's resources (they must outlive the registration); answers its instance. */
KW_EXPORT HINSTANCE kwuser_registerModule(const KwModuleResources* resources);
KW_EXPORT void kwuser_unregisterModule(HINSTANCE module);
/* The template of a registered module, or null. */
KW_EXPORT const KwDialogTemplate* kwuser_findTemplate(HINSTANCE module, int templateId);

/* ---- Host side: presenters ---- */

/* Shows one modal dialog. runDialog drives the dialog (its controls answer SendMessageA and the
 * kwuser_ control operations below) until EndDialog has been called for it; it answers 1, or 0
 * when it cannot show the dialog, which then ends as if Cancel had been pressed. messageBox
 * answers IDOK, IDCANCEL, IDYES or IDNO. */
typedef struct KwPresenter {
    int (*runDialog)(void* self, HWND dialog);
    int (*messageBox)(void* self, HWND owner, const char* text, const char* caption, UINT type);
    void* self;
} KwPresenter;

/* Null selects the none presenter (the default): dialogs are cancelled, message boxes answer
 * their cancel or no button, or OK when they have only that. */
KW_EXPORT void kwuser_setPresenter(const KwPresenter* presenter);
KW_EXPORT void kwuser_useScriptedPresenter(void);
/* Shows dialogs and message boxes as text forms on a terminal (kwsh): answers 1, or 0 when
 * inputFd is not a terminal, in which case the current presenter stays. Once the input ends,
 * every later dialog is cancelled. */
KW_EXPORT int kwuser_useTerminalPresenter(int inputFd, int outputFd);

/* What a user does to a control, as every presenter does it: the control's state changes and the
 * dialog procedure gets the notification a real control would send. */
KW_EXPORT void kwuser_typeText(HWND dialog, int controlId, const char* text); /* EN_SETFOCUS, EN_CHANGE */
KW_EXPORT void kwuser_click(HWND dialog, int controlId);                      /* BN_CLICKED */
KW_EXPORT void kwuser_selectItem(HWND dialog, int controlId, int index, BOOL selected); /* LBN_SELCHANGE */
KW_EXPORT void kwuser_focus(HWND dialog, int controlId);                      /* EN_SETFOCUS */
/* Whether EndDialog has been called for the dialog, and with what. */
KW_EXPORT BOOL kwuser_dialogEnded(HWND dialog, intptr_t* result);
/* The template id a dialog was made from. */
KW_EXPORT int kwuser_dialogTemplateId(HWND dialog);

/* The scripted presenter's script: actions are taken in order by whichever dialog is the
 * innermost one open. A dialog that is still open when its actions run out is cancelled, and
 * that is counted (kwuser_scriptCancelledDialogs). Message boxes take their answers from a queue
 * of their own; an empty queue answers IDOK. */
KW_EXPORT void kwuser_scriptReset(void);
KW_EXPORT void kwuser_scriptType(int controlId, const char* text);
KW_EXPORT void kwuser_scriptClick(int controlId);
KW_EXPORT void kwuser_scriptSelect(int controlId, int index, BOOL selected);
KW_EXPORT void kwuser_scriptFocus(int controlId);
/* Runs `inspect` with the dialog at this point of the script. */
KW_EXPORT void kwuser_scriptInspect(void (*inspect)(HWND dialog, void* context), void* context);
KW_EXPORT void kwuser_scriptAnswer(int answer);
KW_EXPORT int kwuser_scriptPendingActions(void);
KW_EXPORT int kwuser_scriptCancelledDialogs(void);

/* Every message box shown, whatever the presenter, is logged. */
KW_EXPORT int kwuser_messageBoxCount(void);
KW_EXPORT BOOL kwuser_messageBoxAt(int index, char* text, int textMax, char* caption, int captionMax, UINT* type);
KW_EXPORT void kwuser_messageBoxClear(void);

/* The window GetActiveWindow answers when no dialog is open (0 unless the host sets one). */
KW_EXPORT void kwuser_setMainWindow(HWND window);

KW_END_C

#endif
