/*
 * action.cpp - what a user does to a control, as every presenter does it.
 *
 * Serves kwuser_typeText, kwuser_click, kwuser_selectItem, kwuser_focus, and the Enter / Esc key
 * presses (pressButton, which leave the focus alone). Each changes the control's state, then sends
 * the procedure a real control's WM_COMMAND notifications: EN_KILLFOCUS from the edit losing the
 * focus, EN_SETFOCUS, then EN_CHANGE, BN_CLICKED or LBN_SELCHANGE / CBN_SELCHANGE. Disabled
 * controls, controls of a disabled or ended dialog and controls of the wrong kind ignore actions.
 */
#include "action.h"

#include <string>
#include <vector>

#include "control.h"
#include "listbox.h"
#include "registry.h"
#include "window.h"

namespace kwuser {
namespace {

using Notifications = std::vector<Notification>;

bool isGroupBox(const Window& control) {
    return control.kind == WindowKind::Button && (control.style & BS_TYPEMASK) == BS_GROUPBOX;
}

/* Lock held. A control a user can act on now, or null. */
Window* usableControl(uint16_t number) {
    Window* control = findWindow(number);
    if (control == nullptr || control->kind == WindowKind::Dialog || !control->enabled) {
        return nullptr;
    }
    const Window* dialog = findWindow(control->parent);
    return dialog != nullptr && dialog->enabled && !dialog->ended ? control : nullptr;
}

Window* usableControl(HWND dialog, int controlId) {
    Window* control = findControl(dialog, controlId);
    return control == nullptr ? nullptr : usableControl(control->number);
}

/* Lock held. Gives the control the focus as a mouse click or a typed key does, and answers the
 * notifications the edits involved send, in the order Windows sends them. */
Notifications takeFocus(const Window& control) {
    Notifications notifications;
    uint16_t previous = focusedWindow();
    if (previous == control.number || control.kind == WindowKind::Static || isGroupBox(control)) {
        return notifications;
    }
    if (const Window* losing = findWindow(previous); losing != nullptr && losing->kind == WindowKind::Edit) {
        notifications.push_back({losing->parent, losing->id, EN_KILLFOCUS, previous});
    }
    setFocusedWindow(control.number);
    if (control.kind == WindowKind::Edit) {
        notifications.push_back({control.parent, control.id, EN_SETFOCUS, control.number});
    }
    return notifications;
}

void deliverAll(const Notifications& notifications) {
    for (const Notification& notification : notifications) {
        deliver(notification);
    }
}

/* The first half of every action: find the control, check its kind, move the focus. Answers the
 * control's number (0 when the action does not apply) and the focus notifications. */
template <class Accepts>
uint16_t approach(HWND dialog, int controlId, Accepts accepts, Notifications& notifications) {
    Lock lock = lockState();
    Window* control = usableControl(dialog, controlId);
    if (control == nullptr || !accepts(*control)) {
        return 0;
    }
    notifications = takeFocus(*control);
    return control->number;
}

void typeText(HWND dialog, int controlId, const char* text) {
    Notifications focus;
    uint16_t number = approach(
        dialog, controlId, [](const Window& c) { return c.kind == WindowKind::Edit; }, focus);
    if (number == 0) {
        return;
    }
    deliverAll(focus);
    Notification change;
    {
        Lock lock = lockState();
        Window* control = usableControl(number);
        if (control == nullptr) {
            return;  // the procedure disabled or closed it while it took the focus
        }
        std::string typed = text == nullptr ? "" : text;
        if (typed.size() > control->limit) {
            typed.resize(control->limit);
        }
        control->text = std::move(typed);
        change = {control->parent, control->id, EN_CHANGE, number};
    }
    deliver(change);
}

void click(HWND dialog, int controlId) {
    Notifications focus;
    auto isButton = [](const Window& c) { return c.kind == WindowKind::Button && !isGroupBox(c); };
    uint16_t number = approach(dialog, controlId, isButton, focus);
    if (number == 0) {
        return;
    }
    deliverAll(focus);
    Notification clicked;
    {
        Lock lock = lockState();
        Window* control = usableControl(number);
        if (control == nullptr) {
            return;
        }
        control->check = checkAfterClick(control->style, control->check);
        clicked = {control->parent, control->id, BN_CLICKED, number};
    }
    deliver(clicked);
}

void selectItem(HWND dialog, int controlId, int index, bool selected) {
    Notifications focus;
    auto isList = [index](const Window& c) {
        bool list = c.kind == WindowKind::ListBox || c.kind == WindowKind::ComboBox;
        return list && index >= 0 && static_cast<size_t>(index) < c.items.size();
    };
    uint16_t number = approach(dialog, controlId, isList, focus);
    if (number == 0) {
        return;
    }
    deliverAll(focus);
    Notification changed;
    bool notifies = false;
    {
        Lock lock = lockState();
        Window* control = usableControl(number);
        if (control == nullptr) {
            return;
        }
        chooseItem(*control, index, selected);
        // A list box reports selection changes only when it was made with LBS_NOTIFY.
        notifies = control->kind == WindowKind::ComboBox || (control->style & LBS_NOTIFY) != 0;
        static_assert(LBN_SELCHANGE == CBN_SELCHANGE, "one code serves both kinds");
        changed = {control->parent, control->id, LBN_SELCHANGE, number};
    }
    if (notifies) {
        deliver(changed);
    }
}

void focus(HWND dialog, int controlId) {
    Notifications notifications;
    approach(
        dialog, controlId, [](const Window&) { return true; }, notifications);
    deliverAll(notifications);
}

}  // namespace

bool pressButton(HWND dialog, int controlId) {
    Notification clicked;
    {
        Lock lock = lockState();
        Window* control = usableControl(dialog, controlId);
        if (control == nullptr || control->kind != WindowKind::Button || !isPushButton(control->style)) {
            return false;
        }
        clicked = {control->parent, control->id, BN_CLICKED, control->number};
    }
    deliver(clicked);
    return true;
}

}  // namespace kwuser

using namespace kwuser;

KW_EXPORT void kwuser_typeText(HWND dialog, int controlId, const char* text) {
    shieldedVoid([&] { typeText(dialog, controlId, text); });
}

KW_EXPORT void kwuser_click(HWND dialog, int controlId) {
    shieldedVoid([&] { click(dialog, controlId); });
}

KW_EXPORT void kwuser_selectItem(HWND dialog, int controlId, int index, BOOL selected) {
    shieldedVoid([&] { selectItem(dialog, controlId, index, selected != FALSE); });
}

KW_EXPORT void kwuser_focus(HWND dialog, int controlId) {
    shieldedVoid([&] { focus(dialog, controlId); });
}
