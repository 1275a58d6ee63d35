/*
 * presenter.cpp - the choice of presenter and the none presenter.
 *
 * Serves kwuser_setPresenter. The current presenter is held as a copy of the host's table; null
 * selects the none presenter, which shows nothing: its dialogs end as a Cancel and its message
 * boxes answer as an unattended box does. Presenters are called with the lock released.
 */
#include "presenter.h"

#include "registry.h"

namespace kwuser {
namespace {

int noneRunDialog(void*, HWND) {
    return 0;
}

int noneMessageBox(void*, HWND, const char*, const char*, UINT type) {
    return unattendedAnswer(type);
}

const KwPresenter kNonePresenter = {noneRunDialog, noneMessageBox, nullptr};

KwPresenter& currentPresenter() {
    static KwPresenter presenter = kNonePresenter;
    return presenter;
}

KwPresenter takePresenter() {
    Lock lock = lockState();
    return currentPresenter();
}

}  // namespace

int presentDialog(HWND dialog) {
    KwPresenter presenter = takePresenter();
    if (presenter.runDialog == nullptr) {
        return 0;
    }
    return shielded(0, [&] { return presenter.runDialog(presenter.self, dialog); });
}

/* A presenter may answer only with a button the box has; anything else counts as a box nobody
 * answered. */
int presentMessageBox(HWND owner, const char* text, const char* caption, UINT type) {
    KwPresenter presenter = takePresenter();
    int answer = 0;
    if (presenter.messageBox != nullptr) {
        answer =
            shielded(0, [&] { return presenter.messageBox(presenter.self, owner, text, caption, type); });
    }
    return boxOffers(type, answer) ? answer : unattendedAnswer(type);
}

}  // namespace kwuser

using namespace kwuser;

KW_EXPORT void kwuser_setPresenter(const KwPresenter* presenter) {
    shieldedVoid([&] {
        Lock lock = lockState();
        currentPresenter() = presenter == nullptr ? kNonePresenter : *presenter;
    });
}
