/*
 * window.h - the window table shared by the dialog, control, user-action and presenter code.
 *
 * A window is a dialog or one of its controls. The table owns them by handle number; a control
 * names its dialog in `parent`, a dialog lists its controls in template order. Everything here
 * is used with the state lock held, except the procedure calls, which must be made without it.
 */
#ifndef KWUSER_WINDOW_H
#define KWUSER_WINDOW_H

#include <cstdint>
#include <string>
#include <vector>

#include "kwuser.h"

namespace kwuser {

enum class WindowKind : uint8_t { Dialog, Static, Edit, Button, ListBox, ComboBox };

struct ListItem {
    std::string text;
    bool selected = false;
};

/* The limit of what a user may type into an edit before EM_LIMITTEXT, and after EM_LIMITTEXT 0. */
constexpr size_t kDefaultEditLimit = 32767;
constexpr size_t kLargestEditLimit = 0x7FFFFFFE;

struct Window {
    uint16_t number = 0;
    WindowKind kind = WindowKind::Static;
    uint32_t style = 0;
    int id = 0;          /* control id; 0 for a dialog */
    uint16_t parent = 0; /* a control's dialog */
    std::string text;    /* window text: a dialog's title, a control's text */
    bool enabled = true;
    int check = BST_UNCHECKED;
    size_t limit = kDefaultEditLimit;
    std::vector<ListItem> items; /* list and combo boxes; a single-selection list selects at most one */
    int caret = -1;              /* the item a multiple-selection list acted on last */

    /* Dialogs only. */
    HWND owner = nullptr;
    DLGPROC procedure = nullptr;
    int templateId = 0;
    std::vector<uint16_t> controls;
    bool ended = false;
    intptr_t result = 0;
    uint16_t focusBefore = 0; /* the focus to give back when the dialog closes */
};

/* Lock held. */
Window* findWindow(uint16_t number);
Window* findWindow(HWND handle);
Window* findDialog(HWND handle);
Window* findControl(HWND dialog, int controlId);
/* A new window with a fresh handle, or null when the handle space is exhausted. */
Window* addWindow(WindowKind kind);
void removeWindow(uint16_t number);

/* Focus and the stack of open dialogs (lock held). */
uint16_t focusedWindow();
void setFocusedWindow(uint16_t number);
void pushOpenDialog(uint16_t number);
void popOpenDialog(uint16_t number);
size_t openDialogDepth();

/* A message to a dialog procedure, made without the lock; answers what the procedure answered
 * (0 when the dialog is gone or has no procedure). */
BOOL callProcedure(uint16_t dialog, UINT message, WPARAM wParam, LPARAM lParam);

/* A WM_COMMAND notification as a control sends it to its dialog. */
struct Notification {
    uint16_t dialog = 0;
    int controlId = 0;
    int code = 0;
    uint16_t control = 0;
};
void deliver(const Notification& notification);

/* A copy of a dialog and its controls for a presenter to show. */
struct ControlView {
    HWND handle = nullptr;
    WindowKind kind = WindowKind::Static;
    int id = 0;
    uint32_t style = 0;
    std::string text = {};
    bool enabled = true;
    int check = 0;
    size_t limit = kDefaultEditLimit;
    std::vector<ListItem> items = {};
};
struct DialogView {
    bool exists = false;
    bool ended = false;
    std::string title;
    std::vector<ControlView> controls;
};
DialogView viewDialog(HWND dialog); /* takes the lock itself */

}  // namespace kwuser

#endif
