/*
 * control.cpp - what each kind of window answers: window text for all of them, EM_LIMITTEXT for
 * edits, the check state of buttons, and the list messages of list and combo boxes.
 *
 * Serves SendMessageA and the helpers built on it (Get/SetWindowTextA, CheckDlgButton ...). A
 * check state is always 0, 1 or 2, and 2 only for three-state boxes; changes made here are a
 * program's changes and send no notification.
 */
#include "control.h"

#include <cstring>

#include "listbox.h"
#include "text.h"

namespace kwuser {
namespace {

uint32_t buttonType(uint32_t style) {
    return style & BS_TYPEMASK;
}

bool isThreeState(uint32_t style) {
    return buttonType(style) == BS_3STATE || buttonType(style) == BS_AUTO3STATE;
}

LRESULT setText(Window& window, const char* text) {
    if (window.kind == WindowKind::ComboBox) {
        return CB_ERR;  // a drop-down list shows its selected item; its text cannot be set
    }
    window.text = text == nullptr ? "" : text;
    return TRUE;
}

LRESULT setCheck(Window& window, WPARAM state) {
    if (!isCheckBox(window.style) || state > BST_INDETERMINATE) {
        return 0;
    }
    // A two-state box shows a request for the third state as checked.
    window.check =
        state == BST_INDETERMINATE && !isThreeState(window.style) ? BST_CHECKED : static_cast<int>(state);
    return 0;
}

/* EM_LIMITTEXT: 0 lifts the limit to the largest a single-line edit takes. Text already there
 * is kept; the limit applies to what a user types next. */
LRESULT limitText(Window& window, WPARAM limit) {
    window.limit = limit == 0 || limit > kLargestEditLimit ? kLargestEditLimit : static_cast<size_t>(limit);
    return 0;
}

std::optional<LRESULT> textMessage(Window& window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_SETTEXT:
            return setText(window, reinterpret_cast<const char*>(lParam));
        case WM_GETTEXT: {
            char* buffer = reinterpret_cast<char*>(lParam);
            int bufferMax = wParam > INT32_MAX ? INT32_MAX : static_cast<int>(wParam);
            return copyTruncated(windowText(window), buffer, bufferMax);
        }
        case WM_GETTEXTLENGTH:
            return static_cast<LRESULT>(windowText(window).size());
        default:
            return std::nullopt;
    }
}

std::optional<LRESULT> controlMessage(Window& window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_SETREDRAW) {
        return 0;  // nothing is drawn, so there is nothing to suspend
    }
    switch (window.kind) {
        case WindowKind::Edit:
            if (message == EM_LIMITTEXT) {
                return limitText(window, wParam);
            }
            break;
        case WindowKind::Button:
            if (message == BM_GETCHECK) {
                return isCheckBox(window.style) ? window.check : 0;
            }
            if (message == BM_SETCHECK) {
                return setCheck(window, wParam);
            }
            break;
        case WindowKind::ListBox:
        case WindowKind::ComboBox:
            return listMessage(window, message, wParam, lParam);
        default:
            break;
    }
    return std::nullopt;
}

}  // namespace

bool isCheckBox(uint32_t style) {
    switch (buttonType(style)) {
        case BS_CHECKBOX:
        case BS_AUTOCHECKBOX:
        case BS_3STATE:
        case BS_AUTO3STATE:
            return true;
        default:
            return false;
    }
}

bool isPushButton(uint32_t style) {
    return buttonType(style) == BS_PUSHBUTTON || buttonType(style) == BS_DEFPUSHBUTTON;
}

int checkAfterClick(uint32_t style, int check) {
    switch (buttonType(style)) {
        case BS_AUTOCHECKBOX:
            return check == BST_UNCHECKED ? BST_CHECKED : BST_UNCHECKED;
        case BS_AUTO3STATE:
            return (check + 1) % 3;
        default:
            return check;  // the dialog procedure decides, if it wants to
    }
}

std::string windowText(const Window& window) {
    if (window.kind == WindowKind::ComboBox) {
        int current = currentItem(window);
        return current < 0 ? std::string() : window.items[static_cast<size_t>(current)].text;
    }
    return window.text;
}

std::optional<LRESULT> windowMessage(Window& window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (std::optional<LRESULT> answer = textMessage(window, message, wParam, lParam)) {
        return answer;
    }
    if (window.kind == WindowKind::Dialog) {
        return std::nullopt;
    }
    return controlMessage(window, message, wParam, lParam).value_or(0);
}

}  // namespace kwuser
