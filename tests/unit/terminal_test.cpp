/*
 * terminal_test.cpp - the terminal presenter on a pseudo-terminal: a sign-on form filled in and
 * confirmed, the password never echoed, cancelling, the end of input, message boxes, signals,
 * and the refusal of an input that is no terminal.
 */
#include <fcntl.h>
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

constexpr int kPatienceMs = 10000;

/* The person at the other end of a pseudo-terminal: waits for what the form shows and types. */
class Person {
  public:
    explicit Person(int master) : master_(master) {}

    /* Reads until `text` has appeared since the last thing expected. */
    bool expect(const std::string& text) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kPatienceMs);
        while (transcript_.find(text, mark_) == std::string::npos) {
            if (std::chrono::steady_clock::now() > deadline || readSome(100) == Read::Gone) {
                failure_ = "never saw \"" + text + "\"";
                return false;
            }
        }
        mark_ = transcript_.find(text, mark_) + text.size();
        return true;
    }
    void type(const std::string& keys) {
        EXPECT_EQ(write(master_, keys.data(), keys.size()), static_cast<ssize_t>(keys.size()));
    }
    /* Keeps reading so that the form never blocks on a full terminal, until told to stop. */
    void listenUntil(const std::atomic<bool>& done) {
        while (!done && readSome(20) != Read::Gone) {
        }
        while (readSome(20) == Read::Data) {
        }
    }
    const std::string& transcript() const { return transcript_; }
    const std::string& failure() const { return failure_; }

  private:
    enum class Read { Data, Quiet, Gone };
    Read readSome(int timeoutMs) {
        pollfd ready{master_, POLLIN, 0};
        if (poll(&ready, 1, timeoutMs) <= 0) {
            return Read::Quiet;
        }
        char buffer[4096];
        ssize_t got = read(master_, buffer, sizeof buffer);
        if (got <= 0) {
            return Read::Gone;
        }
        transcript_.append(buffer, static_cast<size_t>(got));
        return Read::Data;
    }

    int master_;
    std::string transcript_;
    size_t mark_ = 0;
    std::string failure_;
};

struct Step {
    std::string expect;
    std::string type;
};

class Terminal : public UserTest {
  protected:
    void SetUp() override {
        UserTest::SetUp();
        ASSERT_EQ(openpty(&master_, &slave_, nullptr, nullptr, nullptr), 0);
        ASSERT_EQ(tcgetattr(slave_, &before_), 0);
        ASSERT_EQ(kwuser_useTerminalPresenter(slave_, slave_), 1);
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

    /* Runs `show` while a person follows the steps; a step of `hangUp` closes the terminal. */
    template <class Show>
    auto converse(const std::vector<Step>& steps, Show show) {
        Person person(master_);
        std::atomic<bool> done = false;
        std::thread talker([&] {
            for (const Step& step : steps) {
                if (step.expect == kHangUp) {
                    closeMaster();
                    return;
                }
                if (!person.expect(step.expect)) {
                    closeMaster();  // the form sees the end of its input and gives up
                    return;
                }
                person.type(step.type);
            }
            person.listenUntil(done);
        });
        auto result = show();
        done = true;
        talker.join();
        EXPECT_EQ(person.failure(), "") << person.transcript();
        transcript_ = person.transcript();
        return result;
    }

    bool terminalRestored() {
        termios now{};
        if (tcgetattr(slave_, &now) != 0) {
            return false;
        }
        return now.c_lflag == before_.c_lflag && now.c_iflag == before_.c_iflag;
    }

    static inline const std::string kHangUp = "<hang up>";
    int master_ = -1;
    int slave_ = -1;
    termios before_{};
    std::string transcript_;
};

BOOL signOnRules(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SendDlgItemMessageA(dialog, kUser, EM_LIMITTEXT, 8, 0);
    }
    if (message == WM_COMMAND && HIWORD(wParam) == EN_CHANGE) {
        bool filled = GetWindowTextLengthA(GetDlgItem(dialog, kServer)) > 0 &&
                      GetWindowTextLengthA(GetDlgItem(dialog, kUser)) > 0 &&
                      GetWindowTextLengthA(GetDlgItem(dialog, kPassword)) > 0;
        EnableWindow(GetDlgItem(dialog, IDOK), filled);
    }
    return endOnButtons(dialog, message, wParam, lParam);
}

TEST_F(Terminal, ASignOnFormIsFilledInAndConfirmedWithoutShowingThePassword) {
    std::string server, user, password;
    recorder().handler = [&](HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) -> BOOL {
        if (message == WM_COMMAND && LOWORD(wParam) == IDOK) {
            server = windowText(GetDlgItem(dialog, kServer));
            user = windowText(GetDlgItem(dialog, kUser));
            password = windowText(GetDlgItem(dialog, kPassword));
        }
        return signOnRules(dialog, message, wParam, lParam);
    };
    intptr_t result = converse({{"4. OK (disabled)", ""},
                                {"> ", "1\r"},
                                {"Server: ", "db2test\r"},
                                {"> ", "2\r"},
                                {"User: guest",
                                 "\x15"
                                 "administrator\r"},
                                {"> ", "3\r"},
                                {"Password: ", "s3cret\r"},
                                {"3. Password : (set)", ""},
                                {"   4. OK   5. Cancel", ""},
                                {"> ", "\r"}},
                               [&] { return run(kSignOn); });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(server, "db2test");
    EXPECT_EQ(user, "administ") << "the limit holds while typing";
    EXPECT_EQ(password, "s3cret");
    EXPECT_EQ(transcript_.find("s3cret"), std::string::npos) << transcript_;
    EXPECT_NE(transcript_.find("******"), std::string::npos);
    EXPECT_NE(transcript_.find("administ\a"), std::string::npos) << "a refused key rings the bell";
    EXPECT_TRUE(terminalRestored());
}

TEST_F(Terminal, EscCancelsTheFormThroughItsCancelButton) {
    recorder().handler = endOnButtons;
    intptr_t result =
        converse({{"> ", "1\r"}, {"Server: ", "abc\x1b"}, {"> ", "\x1b"}}, [&] { return run(kSignOn); });
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(recorder().commands().back().id, IDCANCEL);
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

TEST_F(Terminal, TheEndOfInputCancelsThisDialogAndEveryLaterOne) {
    recorder().handler = endOnButtons;
    intptr_t result = converse({{"> ", ""}, {kHangUp, ""}}, [&] { return run(kSignOn); });
    EXPECT_EQ(result, IDCANCEL) << "cancelled through the Cancel button";
    EXPECT_EQ(recorder().commands().back().id, IDCANCEL);
    EXPECT_EQ(run(kNote), 0) << "no input any more: cancelled at once";
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
    recorder().handler = endOnButtons;
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
        recorder().handler = endOnButtons;
        run(kSignOn);
        _exit(3);  // not reached: the signal ends the process
    }
    Person person(master_);
    EXPECT_TRUE(person.expect("> "));
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

TEST(TerminalRefusal, AnInputThatIsNoTerminalIsRefusedAndThePresenterStays) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    kwuser_setPresenter(nullptr);
    EXPECT_EQ(kwuser_useTerminalPresenter(fds[0], fds[1]), 0);
    EXPECT_EQ(kwuser_useTerminalPresenter(-1, 1), 0);
    close(fds[0]);
    close(fds[1]);

    HINSTANCE module = kwuser_registerModule(&kResources);
    recorder().clear();
    recorder().handler = endOnButtons;
    EXPECT_EQ(DialogBoxParamA(module, MAKEINTRESOURCEA(kSignOn), nullptr, recordingProcedure, 0), IDCANCEL)
        << "the none presenter cancelled it";
    EXPECT_EQ(MessageBoxA(nullptr, "x", "y", MB_YESNO), IDNO);
    kwuser_unregisterModule(module);
    recorder().clear();
}

}  // namespace
