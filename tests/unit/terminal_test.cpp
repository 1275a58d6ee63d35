/*
 * terminal_test.cpp - the terminal presenter on a pseudo-terminal: a sign-on form filled in and
 * confirmed, the password never echoed, cancelling, the end of input, message boxes, signals,
 * and the refusal of an input that is no terminal.
 */
#include <gtest/gtest.h>
#include <poll.h>
#include <pthread.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <string>
#include <thread>
#include <vector>

#include "kwuser.h"
#include "user_test_module.h"

namespace {

using namespace usertest;

/* What to wait for, and what to type then. */
using Steps = std::vector<std::pair<std::string, std::string>>;

class Terminal : public UserTest {
  protected:
    void SetUp() override {
        UserTest::SetUp();
        ASSERT_EQ(openpty(&master_, &slave_, nullptr, nullptr, nullptr), 0);
        ASSERT_EQ(tcgetattr(slave_, &before_), 0);
        ASSERT_EQ(kwuser_useTerminalPresenter(slave_, slave_), 1);
        recorder().handler = endOnButtons;
    }
    void TearDown() override {
        kwuser_setPresenter(nullptr);
        closeMaster();
        close(slave_);
        UserTest::TearDown();
    }
    void closeMaster() {
        if (master_ >= 0) {
            close(master_);
            master_ = -1;
        }
    }

    /* Adds what the form writes within `ms` to the transcript: 1 something, 0 nothing, -1 the
     * terminal is gone. */
    int readSome(int ms) {
        pollfd ready{master_, POLLIN, 0};
        char buffer[4096];
        ssize_t got = poll(&ready, 1, ms) <= 0 ? 0 : read(master_, buffer, sizeof buffer);
        if (got > 0) {
            transcript_.append(buffer, static_cast<size_t>(got));
        }
        return got > 0 ? 1 : ready.revents == 0 ? 0 : -1;
    }
    /* Reads until `text` has appeared since the last thing expected, for up to ten seconds. */
    bool expect(const std::string& text) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        size_t at;
        while ((at = transcript_.find(text, mark_)) == std::string::npos) {
            if (std::chrono::steady_clock::now() > deadline || readSome(100) < 0) {
                return false;
            }
        }
        mark_ = at + text.size();
        return true;
    }

    /* Runs `show` while a person at the other end follows the steps; a step of `hangUp` closes the
     * terminal. The person keeps reading so that the form never blocks on a full terminal. */
    template <class Show>
    auto converse(const Steps& steps, Show show) {
        std::atomic<bool> done = false;
        std::string failure;
        transcript_.clear();
        mark_ = 0;
        std::thread person([&] {
            for (const auto& [expected, keys] : steps) {
                if (expected == kHangUp || !expect(expected)) {
                    failure = expected == kHangUp ? "" : "never saw \"" + expected + "\"";
                    closeMaster();  // the form sees the end of its input and gives up
                    return;
                }
                EXPECT_EQ(write(master_, keys.data(), keys.size()), static_cast<ssize_t>(keys.size()));
            }
            while (!done && readSome(20) >= 0) {
            }
            while (readSome(20) > 0) {
            }
        });
        auto result = show();
        done = true;
        person.join();
        EXPECT_EQ(failure, "") << transcript_;
        return result;
    }

    bool terminalRestored() {
        termios now{};
        return tcgetattr(slave_, &now) == 0 && now.c_lflag == before_.c_lflag &&
               now.c_iflag == before_.c_iflag;
    }

    static inline const std::string kHangUp = "<hang up>";
    int master_ = -1, slave_ = -1;
    termios before_{};
    std::string transcript_;
    size_t mark_ = 0;
};

TEST_F(Terminal, ASignOnFormIsFilledInAndConfirmedWithoutShowingThePassword) {
    recorder().handler = [](HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) -> BOOL {
        if (message == WM_COMMAND && LOWORD(wParam) == IDOK) {
            EXPECT_EQ(windowText(GetDlgItem(dialog, kServer)), "db2test");
            EXPECT_EQ(windowText(GetDlgItem(dialog, kUser)), "administ") << "the limit holds while typing";
            EXPECT_EQ(windowText(GetDlgItem(dialog, kPassword)), "s3cret");
        }
        applySignOnRules(dialog, message, wParam);
        return endOnButtons(dialog, message, wParam, lParam);
    };
    intptr_t result = converse({{"4. OK (disabled)", ""},
                                {"> ", "1\r"},
                                {"Server: ", "db2test\r"},
                                {"> ", "2\r"},
                                {"User: guest", "\025administrator\r"},  // Ctrl-U clears the value first
                                {"> ", "3\r"},
                                {"Password: ", "s3cret\r"},
                                {"3. Password : (set)", ""},
                                {"   4. OK   5. Cancel", ""},
                                {"> ", "\r"}},
                               [&] { return run(kSignOn); });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(transcript_.find("s3cret"), std::string::npos) << transcript_;
    EXPECT_NE(transcript_.find("******"), std::string::npos);
    EXPECT_NE(transcript_.find("administ\a"), std::string::npos) << "a refused key rings the bell";
    EXPECT_TRUE(terminalRestored());
}

TEST_F(Terminal, AMessageBoxInsideAFormIsShownAndTheFormComesBack) {
    recorder().handler = [](HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) -> BOOL {
        if (message == WM_COMMAND && LOWORD(wParam) == IDOK &&
            MessageBoxA(dialog, "Really?", "Note", MB_OKCANCEL | MB_ICONQUESTION) != IDOK) {
            return TRUE;
        }
        return endOnButtons(dialog, message, wParam, lParam);
    };
    intptr_t result =
        converse({{"> ", "\r"}, {"[C]ancel  ? ", "c"}, {"== Note ==", ""}, {"> ", "\r"}, {"? ", "o"}},
                 [&] { return run(kNote); });
    EXPECT_EQ(result, IDOK);
    EXPECT_NE(transcript_.find("-- Note (question) --"), std::string::npos);
}

TEST_F(Terminal, EscOrTheEndOfInputCancelsTheFormThroughItsCancelButton) {
    intptr_t result =
        converse({{"> ", "1\r"}, {"Server: ", "abc\x1b"}, {"> ", "\x1b"}}, [&] { return run(kSignOn); });
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(recorder().commands().back().id, IDCANCEL);
    EXPECT_TRUE(terminalRestored());

    recorder().received.clear();
    result = converse({{"> ", ""}, {kHangUp, ""}}, [&] { return run(kSignOn); });
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(recorder().commands().back().id, IDCANCEL);
    EXPECT_EQ(run(kNote), 0) << "no input any more: every later dialog is cancelled at once";
    EXPECT_EQ(MessageBoxA(nullptr, "Sure?", "x", MB_OKCANCEL), IDCANCEL);
}

/* Signals. */
volatile std::sig_atomic_t gInterrupts = 0;
void countInterrupt(int) {
    gInterrupts = gInterrupts + 1;
}

TEST_F(Terminal, AnInterruptRestoresTheTerminalCancelsTheDialogAndCallsTheHostsHandler) {
    struct sigaction count {
    }, previous{};
    count.sa_handler = countInterrupt;
    sigemptyset(&count.sa_mask);
    sigaction(SIGINT, &count, &previous);
    gInterrupts = 0;
    pthread_t shower = pthread_self();
    intptr_t result = converse({{"> ", ""}}, [&] {
        std::thread interrupter([shower] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            pthread_kill(shower, SIGINT);
        });
        intptr_t answer = run(kSignOn);
        interrupter.join();
        return answer;
    });
    sigaction(SIGINT, &previous, nullptr);
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(gInterrupts, 1);
    EXPECT_TRUE(terminalRestored());

    // The input has not ended: the next dialog is shown again.
    result = converse({{"== Note ==", ""}, {"> ", "\r"}}, [&] { return run(kNote); });
    EXPECT_EQ(result, IDOK);
}

TEST_F(Terminal, ATerminatingSignalLeavesTheTerminalAsItWas) {
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        run(kSignOn);
        _exit(3);  // not reached: the signal ends the process
    }
    EXPECT_TRUE(expect("> "));
    termios during{};
    tcgetattr(slave_, &during);
    EXPECT_EQ(during.c_lflag & ICANON, 0u) << "raw while the form waits";
    kill(child, SIGTERM);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGTERM);
    EXPECT_TRUE(terminalRestored());
}

class TerminalRefusal : public UserTest {};

TEST_F(TerminalRefusal, AnInputThatIsNoTerminalIsRefusedAndThePresenterStays) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    kwuser_setPresenter(nullptr);
    EXPECT_EQ(kwuser_useTerminalPresenter(fds[0], fds[1]), 0);
    EXPECT_EQ(kwuser_useTerminalPresenter(-1, 1), 0);
    close(fds[0]);
    close(fds[1]);
    recorder().handler = endOnButtons;
    EXPECT_EQ(run(kSignOn), IDCANCEL) << "the none presenter cancelled it";
    EXPECT_EQ(MessageBoxA(nullptr, "x", "y", MB_YESNO), IDNO);
}

}  // namespace
