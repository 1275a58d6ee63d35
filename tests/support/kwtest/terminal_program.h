// terminal_program.h - a program run on a pseudo-terminal, as a person at a terminal runs it.
//
// kwtest::TerminalProgram starts a program as the leader of a new session whose controlling
// terminal is a pseudo-terminal (so Ctrl-C typed there reaches it as SIGINT, and its line editing
// is on), types keys into it, and reads what it shows. Header only: the unit suites use it without
// the live environment.
#pragma once

#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace kwtest {

class TerminalProgram {
  public:
    // Runs `path` with `args`, in this process's environment with `env` set on top of it.
    TerminalProgram(const std::string& path, const std::vector<std::string>& args,
                    const std::map<std::string, std::string>& env) {
        std::vector<std::string> argv = {path};
        argv.insert(argv.end(), args.begin(), args.end());
        std::vector<std::string> envp;
        for (char** e = environ; *e != nullptr; ++e) {
            const std::string entry = *e;
            if (env.count(entry.substr(0, entry.find('='))) == 0) {
                envp.push_back(entry);
            }
        }
        for (const auto& [name, value] : env) {
            envp.push_back(name + "=" + value);
        }
        // Everything the child needs is made before the fork: it only executes.
        std::vector<char*> argvp, envpp;
        for (std::string& a : argv) {
            argvp.push_back(a.data());
        }
        argvp.push_back(nullptr);
        for (std::string& e : envp) {
            envpp.push_back(e.data());
        }
        envpp.push_back(nullptr);
        winsize size{};
        size.ws_row = 24;
        size.ws_col = 120;
        pid_ = forkpty(&master_, nullptr, nullptr, &size);
        if (pid_ == 0) {
            execve(argvp[0], argvp.data(), envpp.data());
            _exit(127);
        }
    }

    ~TerminalProgram() {
        if (pid_ > 0 && status_ == kRunning) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (master_ >= 0) {
            close(master_);
        }
    }

    TerminalProgram(const TerminalProgram&) = delete;
    TerminalProgram& operator=(const TerminalProgram&) = delete;

    bool started() const { return pid_ > 0; }

    // Types keys as a person would ("\r" is Enter, "\x03" Ctrl-C, "\x1b[A" the up arrow).
    bool type(const std::string& keys) {
        return write(master_, keys.data(), keys.size()) == static_cast<ssize_t>(keys.size());
    }

    // Reads until `text` has appeared since the last thing expected, for up to `limit`.
    bool expect(const std::string& text, std::chrono::seconds limit = std::chrono::seconds(20)) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        size_t at;
        while ((at = transcript_.find(text, mark_)) == std::string::npos) {
            if (std::chrono::steady_clock::now() > deadline || readSome(100) < 0) {
                return false;
            }
        }
        mark_ = at + text.size();
        return true;
    }

    const std::string& transcript() const { return transcript_; }

    // Waits for the program to end, reading what it still shows; answers its exit status, or -1
    // when it did not end by itself within `limit` (it is then killed) or ended by a signal.
    int wait(std::chrono::seconds limit = std::chrono::seconds(20)) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (status_ == kRunning) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
                break;
            }
            if (std::chrono::steady_clock::now() > deadline) {
                kill(pid_, SIGKILL);
                waitpid(pid_, nullptr, 0);
                status_ = -1;
                break;
            }
            if (readSome(50) < 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        }
        while (readSome(0) > 0) {
        }
        return status_;
    }

  private:
    // Adds what the program shows within `ms` to the transcript: 1 something came, 0 nothing,
    // -1 the terminal is closed (the program has ended).
    int readSome(int ms) {
        pollfd ready{master_, POLLIN, 0};
        if (poll(&ready, 1, ms) <= 0) {
            return 0;
        }
        char buffer[4096];
        const ssize_t got = read(master_, buffer, sizeof buffer);
        if (got <= 0) {
            return -1;
        }
        transcript_.append(buffer, static_cast<size_t>(got));
        return 1;
    }

    static constexpr int kRunning = -2;
    pid_t pid_ = -1;
    int master_ = -1;
    int status_ = kRunning;
    std::string transcript_;
    size_t mark_ = 0;
};

}  // namespace kwtest
