/*
 * dialog.cpp - modal dialogs: creation from a module's template, the run through the current
 * presenter, ending and destruction.
 *
 * Serves DialogBoxParamA, EndDialog, kwuser_dialogEnded and kwuser_dialogTemplateId. A dialog
 * lives from DialogBoxParamA's creation of it and its controls until its procedure has had
 * WM_NCDESTROY; EndDialog only marks it ended. Dialogs nest: a procedure may open another one
 * (or a message box) while it handles a message, and the innermost open dialog is the active one.
 */
#include <cstring>

#include "action.h"
#include "control.h"
#include "presenter.h"
#include "registry.h"
#include "resource.h"
#include "text.h"
#include "window.h"

namespace kwuser {
namespace {

/* Deeper nesting than this is a procedure opening dialogs without end. */
constexpr size_t kMaximumNesting = 64;
constexpr intptr_t kDialogFailed = -1;

struct WindowClass {
    const char* name;
    WindowKind kind;
};

const WindowClass kWindowClasses[] = {
    {"STATIC", WindowKind::Static},   {"EDIT", WindowKind::Edit},         {"BUTTON", WindowKind::Button},
    {"LISTBOX", WindowKind::ListBox}, {"COMBOBOX", WindowKind::ComboBox},
};
static_assert(sizeof kWindowClasses / sizeof kWindowClasses[0] == 5, "one row per control kind");

const WindowClass* findClass(const char* name) {
    if (name == nullptr) {
        return nullptr;
    }
    for (const WindowClass& row : kWindowClasses) {
        if (compareNoCase(row.name, name) == 0) {
            return &row;
        }
    }
    return nullptr;
}

/* Lock held. Removes a dialog's controls and the dialog itself, as a failed creation must. */
void discardDialog(uint16_t dialog) {
    if (Window* window = findWindow(dialog)) {
        for (uint16_t control : window->controls) {
            removeWindow(control);
        }
    }
    removeWindow(dialog);
}

/* Lock held. Adds one control from its template; false when its class is unknown or no handle
 * is left. */
bool addControl(uint16_t dialog, const KwControlTemplate& item) {
    const WindowClass* windowClass = findClass(item.className);
    if (windowClass == nullptr) {
        return false;
    }
    Window* control = addWindow(windowClass->kind);
    if (control == nullptr) {
        return false;
    }
    control->id = item.id;
    control->style = item.style;
    control->parent = dialog;
    control->enabled = (item.style & WS_DISABLED) == 0;
    bool showsText = windowClass->kind != WindowKind::ListBox && windowClass->kind != WindowKind::ComboBox;
    control->text = showsText && item.text != nullptr ? item.text : "";
    findWindow(dialog)->controls.push_back(control->number);
    return true;
}

/* Lock held. The dialog and its controls, or 0 when the template cannot be built. */
uint16_t createDialog(const KwDialogTemplate& pattern, HWND owner, DLGPROC procedure) {
    Window* window = addWindow(WindowKind::Dialog);
    if (window == nullptr) {
        return 0;
    }
    window->text = pattern.title != nullptr ? pattern.title : "";
    window->owner = owner;
    window->procedure = procedure;
    window->templateId = pattern.id;
    window->focusBefore = focusedWindow();
    uint16_t dialog = window->number;
    for (int i = 0; i < pattern.controlCount; ++i) {
        if (!addControl(dialog, pattern.controls[i])) {
            discardDialog(dialog);
            return 0;
        }
    }
    return dialog;
}

bool canTakeFocus(const Window& control) {
    if (!control.enabled || control.kind == WindowKind::Static) {
        return false;
    }
    return control.kind != WindowKind::Button || (control.style & BS_TYPEMASK) != BS_GROUPBOX;
}

/* Lock held. The control WM_INITDIALOG names: the first enabled tab stop, else the first
 * control that can take the focus. */
uint16_t firstTabStop(uint16_t dialog) {
    const Window* window = findWindow(dialog);
    uint16_t fallback = 0;
    for (uint16_t number : window->controls) {
        const Window* control = findWindow(number);
        if (control == nullptr || !canTakeFocus(*control)) {
            continue;
        }
        if ((control->style & WS_TABSTOP) != 0) {
            return number;
        }
        if (fallback == 0) {
            fallback = number;
        }
    }
    return fallback;
}

bool hasEnded(uint16_t dialog) {
    Lock lock = lockState();
    const Window* window = findWindow(dialog);
    return window == nullptr || window->ended;
}

void markEnded(uint16_t dialog, intptr_t result) {
    Lock lock = lockState();
    if (Window* window = findWindow(dialog); window != nullptr && !window->ended) {
        window->ended = true;
        window->result = result;
    }
}

/* Sends WM_INITDIALOG; a procedure that answers TRUE leaves the focus to the layer, which gives
 * it to the control the message named. */
void initialise(uint16_t dialog, LPARAM parameter) {
    uint16_t first = 0;
    {
        Lock lock = lockState();
        first = firstTabStop(dialog);
    }
    if (callProcedure(dialog, WM_INITDIALOG, static_cast<WPARAM>(first), parameter) != FALSE && first != 0) {
        Lock lock = lockState();
        if (Window* control = findWindow(first); control != nullptr && control->enabled) {
            setFocusedWindow(first);
        }
    }
}

/* A dialog that no one could drive ends as a Cancel: its Cancel button is pressed, as Esc does,
 * so that the procedure's cancel logic runs, and if it is still open after that it ends with 0. */
void cancel(uint16_t dialog) {
    if (hasEnded(dialog)) {
        return;
    }
    pressButton(makeHandle<HWND>(dialog), IDCANCEL);
    markEnded(dialog, 0);
}

/* Destroys the controls, then lets the procedure see WM_NCDESTROY last, then the dialog goes;
 * the focus goes back to where it was before the dialog opened. Answers the EndDialog value. */
intptr_t destroy(uint16_t dialog) {
    {
        Lock lock = lockState();
        Window* window = findWindow(dialog);
        for (uint16_t control : window->controls) {
            removeWindow(control);
        }
        window->controls.clear();
    }
    callProcedure(dialog, WM_NCDESTROY, 0, 0);
    Lock lock = lockState();
    Window* window = findWindow(dialog);
    intptr_t result = window->result;
    uint16_t focusBefore = window->focusBefore;
    popOpenDialog(dialog);
    removeWindow(dialog);
    if (focusedWindow() == 0) {
        setFocusedWindow(focusBefore);
    }
    return result;
}

intptr_t runModal(HINSTANCE module, const char* templateName, HWND owner, DLGPROC procedure,
                  LPARAM parameter) {
    uint16_t dialog = 0;
    {
        Lock lock = lockState();
        const KwDialogTemplate* pattern = findTemplateLocked(module, templateIdOfName(templateName));
        if (pattern == nullptr || openDialogDepth() >= kMaximumNesting) {
            return kDialogFailed;
        }
        dialog = createDialog(*pattern, owner, procedure);
        if (dialog == 0) {
            return kDialogFailed;
        }
        pushOpenDialog(dialog);
    }
    initialise(dialog, parameter);
    if (!hasEnded(dialog)) {
        int shown = presentDialog(makeHandle<HWND>(dialog));
        // A presenter that gave up, or came back with the dialog still open, could not show it.
        if (shown == 0 || !hasEnded(dialog)) {
            cancel(dialog);
        }
    }
    return destroy(dialog);
}

}  // namespace
}  // namespace kwuser

using namespace kwuser;

KW_EXPORT intptr_t DialogBoxParamA(HINSTANCE module, const char* templateName, HWND owner, DLGPROC procedure,
                                   LPARAM parameter) {
    return shielded(kDialogFailed,
                    [&] { return runModal(module, templateName, owner, procedure, parameter); });
}

KW_EXPORT BOOL EndDialog(HWND dialog, intptr_t result) {
    return shielded<BOOL>(FALSE, [&] {
        Lock lock = lockState();
        Window* window = findDialog(dialog);
        if (window == nullptr) {
            return FALSE;
        }
        window->ended = true;
        window->result = result;
        return TRUE;
    });
}

/* A window that is not an open dialog has nothing left to drive: it answers TRUE and 0. */
KW_EXPORT BOOL kwuser_dialogEnded(HWND dialog, intptr_t* result) {
    return shielded<BOOL>(TRUE, [&] {
        Lock lock = lockState();
        const Window* window = findDialog(dialog);
        if (result != nullptr) {
            *result = window == nullptr ? 0 : window->result;
        }
        return window == nullptr || window->ended ? TRUE : FALSE;
    });
}

KW_EXPORT int kwuser_dialogTemplateId(HWND dialog) {
    return shielded(0, [&] {
        Lock lock = lockState();
        const Window* window = findDialog(dialog);
        return window == nullptr ? 0 : window->templateId;
    });
}
