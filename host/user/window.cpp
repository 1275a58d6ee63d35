/*
 * window.cpp - the window table: lookup, text, enabled state, focus, the active window, and
 * SendMessageA's dispatch.
 *
 * Serves the window functions of the USER subset (GetDlgItem, SendMessageA, Get/SetWindowTextA,
 * EnableWindow, SetFocus, GetActiveWindow ...). It owns every dialog and control by handle
 * number, the focus, and the stack of open dialogs (innermost last); the focus is 0 or a live
 * window. Procedures are called with the lock released, and nothing read before the call is
 * trusted after it: windows are looked up again by number.
 */
#include "window.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>

#include "control.h"
#include "registry.h"
#include "text.h"

namespace kwuser {
namespace {

struct WindowState {
    std::unordered_map<uint16_t, Window> windows;
    std::vector<uint16_t> openDialogs;
    uint16_t focus = 0;
    HWND mainWindow = nullptr;
};

WindowState& state() {
    static WindowState windows;
    return windows;
}

/* Sends a message with the lock held on entry; the lock is released when a dialog procedure
 * has to answer it. */
LRESULT sendLocked(Lock& lock, uint16_t number, UINT message, WPARAM wParam, LPARAM lParam) {
    Window* window = findWindow(number);
    if (window == nullptr) {
        return 0;
    }
    if (std::optional<LRESULT> answer = windowMessage(*window, message, wParam, lParam)) {
        return *answer;
    }
    if (window->kind != WindowKind::Dialog) {
        return 0;
    }
    lock.unlock();
    return callProcedure(number, message, wParam, lParam);
}

LRESULT send(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Lock lock = lockState();
    return sendLocked(lock, handleNumber(window), message, wParam, lParam);
}

int getText(HWND window, char* buffer, int bufferMax) {
    if (buffer == nullptr || bufferMax <= 0) {
        return 0;
    }
    buffer[0] = '\0';
    Lock lock = lockState();
    Window* found = findWindow(window);
    return found == nullptr ? 0 : copyTruncated(windowText(*found), buffer, bufferMax);
}

}  // namespace

Window* findWindow(uint16_t number) {
    auto found = state().windows.find(number);
    return found == state().windows.end() ? nullptr : &found->second;
}

Window* findWindow(HWND handle) {
    return findWindow(handleNumber(handle));
}

Window* findDialog(HWND handle) {
    Window* window = findWindow(handle);
    return window != nullptr && window->kind == WindowKind::Dialog ? window : nullptr;
}

Window* findControl(HWND dialog, int controlId) {
    Window* owner = findDialog(dialog);
    if (owner == nullptr) {
        return nullptr;
    }
    for (uint16_t number : owner->controls) {
        Window* control = findWindow(number);
        if (control != nullptr && control->id == controlId) {
            return control;
        }
    }
    return nullptr;
}

Window* addWindow(WindowKind kind) {
    uint16_t number = allocateHandle(HandleKind::Window);
    if (number == 0) {
        return nullptr;
    }
    Window& window = state().windows[number];
    window.number = number;
    window.kind = kind;
    return &window;
}

void removeWindow(uint16_t number) {
    if (state().windows.erase(number) != 0) {
        releaseHandle(number);
    }
    if (state().focus == number) {
        state().focus = 0;
    }
}

uint16_t focusedWindow() {
    return state().focus;
}

void setFocusedWindow(uint16_t number) {
    state().focus = findWindow(number) != nullptr ? number : 0;
}

void pushOpenDialog(uint16_t number) {
    state().openDialogs.push_back(number);
}

void popOpenDialog(uint16_t number) {
    auto& open = state().openDialogs;
    open.erase(std::remove(open.begin(), open.end(), number), open.end());
}

size_t openDialogDepth() {
    return state().openDialogs.size();
}

BOOL callProcedure(uint16_t dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    DLGPROC procedure = nullptr;
    {
        Lock lock = lockState();
        if (Window* window = findWindow(dialog); window != nullptr && window->kind == WindowKind::Dialog) {
            procedure = window->procedure;
        }
    }
    if (procedure == nullptr) {
        return FALSE;
    }
    // A procedure written in C++ may throw; the layer's state must not be left half-changed.
    return shielded<BOOL>(FALSE,
                          [&] { return procedure(makeHandle<HWND>(dialog), message, wParam, lParam); });
}

void deliver(const Notification& notification) {
    callProcedure(notification.dialog, WM_COMMAND,
                  MAKEWPARAM(static_cast<uint16_t>(notification.controlId), notification.code),
                  static_cast<LPARAM>(notification.control));
}

DialogView viewDialog(HWND dialog) {
    DialogView view;
    Lock lock = lockState();
    Window* window = findDialog(dialog);
    if (window == nullptr) {
        return view;
    }
    view.exists = true;
    view.ended = window->ended;
    view.title = window->text;
    for (uint16_t number : window->controls) {
        if (const Window* control = findWindow(number)) {
            view.controls.push_back({makeHandle<HWND>(number), control->kind, control->id, control->style,
                                     windowText(*control), control->enabled, control->check, control->limit,
                                     control->items});
        }
    }
    return view;
}

}  // namespace kwuser

using namespace kwuser;

KW_EXPORT HWND GetDlgItem(HWND dialog, int controlId) {
    return shielded<HWND>(nullptr, [&] {
        Lock lock = lockState();
        Window* control = findControl(dialog, controlId);
        return control == nullptr ? nullptr : makeHandle<HWND>(control->number);
    });
}

KW_EXPORT int GetDlgCtrlID(HWND control) {
    return shielded(0, [&] {
        Lock lock = lockState();
        Window* window = findWindow(control);
        return window == nullptr ? 0 : window->id;
    });
}

/* A control's parent is its dialog; a dialog's is the owner it was opened over. */
KW_EXPORT HWND GetParent(HWND window) {
    return shielded<HWND>(nullptr, [&] {
        Lock lock = lockState();
        Window* found = findWindow(window);
        if (found == nullptr) {
            return static_cast<HWND>(nullptr);
        }
        return found->kind == WindowKind::Dialog ? found->owner : makeHandle<HWND>(found->parent);
    });
}

KW_EXPORT BOOL IsWindow(HWND window) {
    return shielded<BOOL>(FALSE, [&] {
        Lock lock = lockState();
        return findWindow(window) != nullptr ? TRUE : FALSE;
    });
}

KW_EXPORT LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return shielded<LRESULT>(0, [&] { return send(window, message, wParam, lParam); });
}

KW_EXPORT LRESULT SendDlgItemMessageA(HWND dialog, int controlId, UINT message, WPARAM wParam,
                                      LPARAM lParam) {
    return shielded<LRESULT>(0, [&] {
        Lock lock = lockState();
        Window* control = findControl(dialog, controlId);
        return control == nullptr ? 0 : sendLocked(lock, control->number, message, wParam, lParam);
    });
}

KW_EXPORT UINT GetDlgItemTextA(HWND dialog, int controlId, char* buffer, int bufferMax) {
    return shielded<UINT>(0, [&] {
        HWND control = GetDlgItem(dialog, controlId);
        return static_cast<UINT>(getText(control, buffer, bufferMax));
    });
}

KW_EXPORT BOOL SetDlgItemTextA(HWND dialog, int controlId, const char* text) {
    return shielded<BOOL>(FALSE, [&] {
        HWND control = GetDlgItem(dialog, controlId);
        return control == nullptr ? FALSE : SetWindowTextA(control, text);
    });
}

KW_EXPORT int GetWindowTextA(HWND window, char* buffer, int bufferMax) {
    return shielded(0, [&] { return getText(window, buffer, bufferMax); });
}

KW_EXPORT int GetWindowTextLengthA(HWND window) {
    return shielded(0, [&] { return static_cast<int>(send(window, WM_GETTEXTLENGTH, 0, 0)); });
}

/* Sets the text as a program does: no limit applies and no notification is sent. */
KW_EXPORT BOOL SetWindowTextA(HWND window, const char* text) {
    return shielded<BOOL>(FALSE, [&] {
        Lock lock = lockState();
        Window* found = findWindow(window);
        if (found == nullptr) {
            return FALSE;
        }
        std::optional<LRESULT> answer = windowMessage(*found, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
        return answer && *answer == TRUE ? TRUE : FALSE;
    });
}

/* Answers nonzero when the window was disabled before. A disabled window loses the focus. */
KW_EXPORT BOOL EnableWindow(HWND window, BOOL enable) {
    return shielded<BOOL>(FALSE, [&] {
        Lock lock = lockState();
        Window* found = findWindow(window);
        if (found == nullptr) {
            return FALSE;
        }
        BOOL wasDisabled = found->enabled ? FALSE : TRUE;
        found->enabled = enable != FALSE;
        if (!found->enabled && state().focus == found->number) {
            state().focus = 0;
        }
        return wasDisabled;
    });
}

KW_EXPORT BOOL IsWindowEnabled(HWND window) {
    return shielded<BOOL>(FALSE, [&] {
        Lock lock = lockState();
        Window* found = findWindow(window);
        return found != nullptr && found->enabled ? TRUE : FALSE;
    });
}

/* Moves the focus as a program does (no notification); answers the window that had it, or null
 * when the window cannot take it (unknown or disabled). SetFocus(null) clears the focus. */
KW_EXPORT HWND SetFocus(HWND window) {
    return shielded<HWND>(nullptr, [&] {
        Lock lock = lockState();
        uint16_t previous = state().focus;
        if (window != nullptr) {
            Window* found = findWindow(window);
            if (found == nullptr || !found->enabled) {
                return static_cast<HWND>(nullptr);
            }
        }
        state().focus = handleNumber(window);
        return makeHandle<HWND>(previous);
    });
}

KW_EXPORT HWND GetFocus(void) {
    return shielded<HWND>(nullptr, [&] {
        Lock lock = lockState();
        return makeHandle<HWND>(state().focus);
    });
}

KW_EXPORT BOOL CheckDlgButton(HWND dialog, int controlId, UINT check) {
    return shielded<BOOL>(FALSE, [&] {
        Lock lock = lockState();
        Window* control = findControl(dialog, controlId);
        if (control == nullptr) {
            return FALSE;
        }
        windowMessage(*control, BM_SETCHECK, check, 0);
        return TRUE;
    });
}

KW_EXPORT UINT IsDlgButtonChecked(HWND dialog, int controlId) {
    return shielded<UINT>(0, [&] {
        Lock lock = lockState();
        Window* control = findControl(dialog, controlId);
        return control == nullptr ? 0u
                                  : static_cast<UINT>(windowMessage(*control, BM_GETCHECK, 0, 0).value_or(0));
    });
}

/* Nothing is drawn; a valid window (or null, meaning every window) is accepted. */
KW_EXPORT BOOL InvalidateRect(HWND window, const RECT* /*rect*/, BOOL /*erase*/) {
    return shielded<BOOL>(FALSE, [&] {
        Lock lock = lockState();
        return window == nullptr || findWindow(window) != nullptr ? TRUE : FALSE;
    });
}

KW_EXPORT BOOL UpdateWindow(HWND window) {
    return shielded<BOOL>(FALSE, [&] {
        Lock lock = lockState();
        return findWindow(window) != nullptr ? TRUE : FALSE;
    });
}

/* The innermost open dialog, else the host's main window. */
KW_EXPORT HWND GetActiveWindow(void) {
    return shielded<HWND>(nullptr, [&] {
        Lock lock = lockState();
        const auto& open = state().openDialogs;
        return open.empty() ? state().mainWindow : makeHandle<HWND>(open.back());
    });
}

KW_EXPORT void kwuser_setMainWindow(HWND window) {
    shieldedVoid([&] {
        Lock lock = lockState();
        state().mainWindow = window;
    });
}
