/*
 * scripted.cpp - the scripted presenter: tests queue what a user would do and read the dialog.
 *
 * Serves kwuser_useScriptedPresenter and kwuser_script*. Actions are consumed in order by whichever
 * dialog is innermost when its presenter asks for the next one; a dialog that is still open when
 * the queue is empty is cancelled (and counted). Message boxes take their answers from a queue of
 * their own, IDOK when it is empty. Queues are only touched with the lock held; an action runs
 * without it, because it calls the dialog procedure.
 */
#include <deque>
#include <string>

#include "presenter.h"
#include "registry.h"

namespace kwuser {
namespace {

enum class ActionKind { Type, Click, Select, Focus, Inspect };

struct Action {
    ActionKind kind = ActionKind::Click;
    int controlId = 0;
    std::string text = {};
    int index = 0;
    BOOL selected = FALSE;
    void (*inspect)(HWND, void*) = nullptr;
    void* context = nullptr;
};

struct Script {
    std::deque<Action> actions;
    std::deque<int> answers;
    int cancelledDialogs = 0;
};

Script& script() {
    static Script state;
    return state;
}

void queue(Action action) {
    Lock lock = lockState();
    script().actions.push_back(std::move(action));
}

/* The next action, or false (and the dialog counted as cancelled) when there is none. */
bool nextAction(Action& action) {
    Lock lock = lockState();
    if (script().actions.empty()) {
        ++script().cancelledDialogs;
        return false;
    }
    action = std::move(script().actions.front());
    script().actions.pop_front();
    return true;
}

void perform(HWND dialog, const Action& action) {
    switch (action.kind) {
        case ActionKind::Type:
            kwuser_typeText(dialog, action.controlId, action.text.c_str());
            break;
        case ActionKind::Click:
            kwuser_click(dialog, action.controlId);
            break;
        case ActionKind::Select:
            kwuser_selectItem(dialog, action.controlId, action.index, action.selected);
            break;
        case ActionKind::Focus:
            kwuser_focus(dialog, action.controlId);
            break;
        case ActionKind::Inspect:
            if (action.inspect != nullptr) {
                shieldedVoid([&] { action.inspect(dialog, action.context); });
            }
            break;
    }
}

int scriptedRunDialog(void*, HWND dialog) {
    Action action;
    while (!kwuser_dialogEnded(dialog, nullptr)) {
        if (!nextAction(action)) {
            return 0;
        }
        perform(dialog, action);
    }
    return 1;
}

int scriptedMessageBox(void*, HWND, const char*, const char*, UINT) {
    Lock lock = lockState();
    if (script().answers.empty()) {
        return IDOK;
    }
    int answer = script().answers.front();
    script().answers.pop_front();
    return answer;
}

const KwPresenter kScriptedPresenter = {scriptedRunDialog, scriptedMessageBox, nullptr};

}  // namespace
}  // namespace kwuser

using namespace kwuser;

KW_EXPORT void kwuser_useScriptedPresenter(void) {
    kwuser_setPresenter(&kScriptedPresenter);
}

KW_EXPORT void kwuser_scriptReset(void) {
    shieldedVoid([] {
        Lock lock = lockState();
        script() = Script();
    });
}

KW_EXPORT void kwuser_scriptType(int controlId, const char* text) {
    shieldedVoid([&] {
        queue({.kind = ActionKind::Type, .controlId = controlId, .text = text == nullptr ? "" : text});
    });
}

KW_EXPORT void kwuser_scriptClick(int controlId) {
    shieldedVoid([&] { queue({.kind = ActionKind::Click, .controlId = controlId}); });
}

KW_EXPORT void kwuser_scriptSelect(int controlId, int index, BOOL selected) {
    shieldedVoid([&] {
        queue({.kind = ActionKind::Select, .controlId = controlId, .index = index, .selected = selected});
    });
}

KW_EXPORT void kwuser_scriptFocus(int controlId) {
    shieldedVoid([&] { queue({.kind = ActionKind::Focus, .controlId = controlId}); });
}

KW_EXPORT void kwuser_scriptInspect(void (*inspect)(HWND dialog, void* context), void* context) {
    shieldedVoid([&] { queue({.kind = ActionKind::Inspect, .inspect = inspect, .context = context}); });
}

KW_EXPORT void kwuser_scriptAnswer(int answer) {
    shieldedVoid([&] {
        Lock lock = lockState();
        script().answers.push_back(answer);
    });
}

KW_EXPORT int kwuser_scriptPendingActions(void) {
    return shielded(0, [] {
        Lock lock = lockState();
        return static_cast<int>(script().actions.size());
    });
}

KW_EXPORT int kwuser_scriptCancelledDialogs(void) {
    return shielded(0, [] {
        Lock lock = lockState();
        return script().cancelledDialogs;
    });
}
