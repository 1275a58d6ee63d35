/*
 * msgbox.cpp - message boxes and their log.
 *
 * Serves MessageBoxA and kwuser_messageBox*. Every box is logged (text, caption, type) before the
 * current presenter shows it, whatever the presenter. The answer is always one of the box's own
 * buttons. The log keeps the latest kLogLimit boxes so that a long session cannot grow it for ever.
 */
#include <cstring>
#include <deque>
#include <string>

#include "presenter.h"
#include "registry.h"
#include "text.h"

namespace kwuser {
namespace {

constexpr size_t kLogLimit = 4096;
constexpr UINT kButtonMask = 0xF;
constexpr const char* kDefaultCaption = "Error";  // what Windows shows for a null caption

struct LoggedBox {
    std::string text;
    std::string caption;
    UINT type = 0;
};

std::deque<LoggedBox>& boxLog() {
    static std::deque<LoggedBox> log;
    return log;
}

/* The buttons of each button set the layer knows, the unattended answer first. */
struct ButtonSet {
    UINT buttons;
    int answers[3];
};

const ButtonSet kButtonSets[] = {
    {MB_OK, {IDOK, 0, 0}},
    {MB_OKCANCEL, {IDCANCEL, IDOK, 0}},
    {MB_YESNOCANCEL, {IDCANCEL, IDNO, IDYES}},
    {MB_YESNO, {IDNO, IDYES, 0}},
};
static_assert(sizeof kButtonSets / sizeof kButtonSets[0] == 4, "OK, OK/Cancel, Yes/No/Cancel, Yes/No");

/* Button sets the layer does not show (Abort/Retry/Ignore ...) are shown as OK. */
const ButtonSet& buttonSet(UINT type) {
    for (const ButtonSet& set : kButtonSets) {
        if (set.buttons == (type & kButtonMask)) {
            return set;
        }
    }
    return kButtonSets[0];
}

void logBox(const char* text, const char* caption, UINT type) {
    Lock lock = lockState();
    if (boxLog().size() == kLogLimit) {
        boxLog().pop_front();
    }
    boxLog().push_back({text, caption, type});
}

}  // namespace

int unattendedAnswer(UINT type) {
    return buttonSet(type).answers[0];
}

bool boxOffers(UINT type, int answer) {
    for (int offered : buttonSet(type).answers) {
        if (offered != 0 && offered == answer) {
            return true;
        }
    }
    return false;
}

}  // namespace kwuser

using namespace kwuser;

KW_EXPORT int MessageBoxA(HWND owner, const char* text, const char* caption, UINT type) {
    return shielded(unattendedAnswer(type), [&] {
        const char* shownText = text == nullptr ? "" : text;
        const char* shownCaption = caption == nullptr ? kDefaultCaption : caption;
        logBox(shownText, shownCaption, type);
        return presentMessageBox(owner, shownText, shownCaption, type);
    });
}

KW_EXPORT int kwuser_messageBoxCount(void) {
    return shielded(0, [] {
        Lock lock = lockState();
        return static_cast<int>(boxLog().size());
    });
}

KW_EXPORT BOOL kwuser_messageBoxAt(int index, char* text, int textMax, char* caption, int captionMax,
                                   UINT* type) {
    return shielded<BOOL>(FALSE, [&] {
        Lock lock = lockState();
        if (index < 0 || static_cast<size_t>(index) >= boxLog().size()) {
            return FALSE;
        }
        const LoggedBox& box = boxLog()[static_cast<size_t>(index)];
        copyTruncated(box.text, text, textMax);
        copyTruncated(box.caption, caption, captionMax);
        if (type != nullptr) {
            *type = box.type;
        }
        return TRUE;
    });
}

KW_EXPORT void kwuser_messageBoxClear(void) {
    shieldedVoid([] {
        Lock lock = lockState();
        boxLog().clear();
    });
}
