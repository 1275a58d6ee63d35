/*
 * terminal.cpp - the terminal presenter: modal dialogs and message boxes as text forms on a
 * terminal in raw mode.
 *
 * Serves kwuser_useTerminalPresenter. It owns the terminal's saved settings while a dialog or box
 * is shown (nested ones share one raw-mode session) and puts them back on every way out: normal
 * return, an exception, or a signal (SIGINT, SIGTERM, SIGHUP, SIGQUIT), whose previous handling
 * then goes on. Once the input has ended every later dialog is cancelled and every box answered
 * as an unattended one. The form and the keys themselves live in form.cpp.
 */
#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <memory>

#include "form.h"
#include "registry.h"

namespace kwuser {
namespace {

const int kRestoringSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
constexpr size_t kSignalCount = sizeof kRestoringSignals / sizeof kRestoringSignals[0];
static_assert(kSignalCount == 4, "interrupt, terminate, hang-up, quit");

/* What the signal handler needs, in objects it may touch. */
volatile std::sig_atomic_t gInterrupted = 0;
volatile std::sig_atomic_t gRawFd = -1;
termios gSavedSettings{};
struct sigaction gPreviousActions[kSignalCount];

struct Terminal {
    int inputFd = -1;
    int outputFd = -1;
    bool inputEnded = false;
    int rawDepth = 0;
    std::unique_ptr<form::KeyReader> keys;
};

Terminal& terminal() {
    static Terminal state;
    return state;
}

/* Puts the terminal back, then lets the signal do what it did before: the default action (the
 * process ends, with a sane terminal), nothing, or the handler that was installed. */
extern "C" void restoreOnSignal(int signal, siginfo_t* info, void* context) {
    if (gRawFd >= 0) {
        tcsetattr(gRawFd, TCSANOW, &gSavedSettings);
    }
    gInterrupted = 1;
    for (size_t i = 0; i < kSignalCount; ++i) {
        if (kRestoringSignals[i] != signal) {
            continue;
        }
        const struct sigaction& previous = gPreviousActions[i];
        if ((previous.sa_flags & SA_SIGINFO) != 0) {
            previous.sa_sigaction(signal, info, context);
        } else if (previous.sa_handler == SIG_DFL) {
            sigaction(signal, &previous, nullptr);
            raise(signal);  // delivered with the default action once this handler returns
        } else if (previous.sa_handler != SIG_IGN) {
            previous.sa_handler(signal);
        }
    }
}

void installSignalHandlers() {
    struct sigaction action {};
    action.sa_sigaction = restoreOnSignal;
    action.sa_flags = SA_SIGINFO;  // no SA_RESTART: a blocked read returns and sees the flag
    sigemptyset(&action.sa_mask);
    for (size_t i = 0; i < kSignalCount; ++i) {
        sigaction(kRestoringSignals[i], &action, &gPreviousActions[i]);
    }
}

void restoreSignalHandlers() {
    for (size_t i = 0; i < kSignalCount; ++i) {
        sigaction(kRestoringSignals[i], &gPreviousActions[i], nullptr);
    }
}

/* Key by key, no echo (the form echoes what it accepts), Ctrl-C and Ctrl-Z as plain keys; output
 * processing stays on so that a newline still starts a new line. */
termios rawSettings(termios settings) {
    settings.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ECHONL | ISIG | IEXTEN);
    settings.c_iflag &= ~static_cast<tcflag_t>(IXON | ICRNL | INLCR | IGNCR | ISTRIP | BRKINT);
    settings.c_cc[VMIN] = 1;
    settings.c_cc[VTIME] = 0;
    return settings;
}

/* One raw-mode session around a dialog or a box; nested ones share the outermost session. */
class RawMode {
  public:
    explicit RawMode(Terminal& state) : state_(state) { active_ = enter(); }
    ~RawMode() {
        if (active_ && --state_.rawDepth == 0) {
            tcsetattr(state_.inputFd, TCSANOW, &gSavedSettings);
            restoreSignalHandlers();
            gRawFd = -1;
        }
    }
    RawMode(const RawMode&) = delete;
    RawMode& operator=(const RawMode&) = delete;
    bool active() const { return active_; }

  private:
    bool enter() {
        if (state_.rawDepth > 0) {
            ++state_.rawDepth;
            return true;
        }
        termios saved{};
        if (tcgetattr(state_.inputFd, &saved) != 0) {
            return false;  // no terminal (any more)
        }
        gSavedSettings = saved;
        gInterrupted = 0;
        gRawFd = state_.inputFd;
        installSignalHandlers();
        termios raw = rawSettings(saved);
        if (tcsetattr(state_.inputFd, TCSANOW, &raw) != 0) {
            restoreSignalHandlers();
            gRawFd = -1;
            return false;
        }
        state_.rawDepth = 1;
        return true;
    }

    Terminal& state_;
    bool active_ = false;
};

/* The terminal presenter is used from the one thread that shows dialogs, and the form calls
 * dialog procedures: its state is not under the layer's lock. Runs `show` on the terminal in raw
 * mode and answers what it answers, or 0 when there is no terminal to show it on. */
template <typename Show>
int onTerminal(Show show) {
    Terminal& state = terminal();
    if (state.inputEnded || state.keys == nullptr) {
        return 0;
    }
    RawMode raw(state);
    if (!raw.active()) {
        return 0;
    }
    form::FdConsole console(*state.keys, state.outputFd);
    const int answer = show(console);
    state.inputEnded = state.keys->inputEnded();
    return answer;
}

int terminalRunDialog(void*, HWND dialog) {
    return onTerminal([dialog](form::FdConsole& console) {
        return form::runForm(dialog, console) == form::FormOutcome::Ended ? 1 : 0;
    });
}

int terminalMessageBox(void*, HWND, const char* text, const char* caption, UINT type) {
    return onTerminal(
        [=](form::FdConsole& console) { return form::runMessageBox(console, text, caption, type); });
}

const KwPresenter kTerminalPresenter = {terminalRunDialog, terminalMessageBox, nullptr};

}  // namespace
}  // namespace kwuser

using namespace kwuser;

/* Answers 1, or 0 (and changes nothing) when inputFd is not a terminal. */
KW_EXPORT int kwuser_useTerminalPresenter(int inputFd, int outputFd) {
    return shielded(0, [&] {
        if (inputFd < 0 || isatty(inputFd) == 0 || terminal().rawDepth > 0) {
            return 0;
        }
        Terminal& state = terminal();
        state.inputFd = inputFd;
        state.outputFd = outputFd;
        state.inputEnded = false;
        state.keys = std::make_unique<form::KeyReader>(inputFd, &gInterrupted);
        kwuser_setPresenter(&kTerminalPresenter);
        return 1;
    });
}
