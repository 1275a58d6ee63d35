// terminal.cpp - line sources for the shell: libedit at a terminal, plain streams otherwise.
//
// Serves main. libedit gives the line editing and the history (its readline interface); the
// history file is read once at the start and written once at the end. The hidden read turns the
// terminal's echo off only for its own duration and always puts it back.
#include "terminal.h"

#include <editline/readline.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <istream>

namespace kwsh {

namespace {

constexpr int kHistoryLines = 1000;

}  // namespace

LineReader streamReader(std::istream& in) {
    return [&in](const std::string&) -> std::optional<std::string> {
        std::string line;
        if (!std::getline(in, line)) {
            return std::nullopt;
        }
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        return line;
    };
}

std::string defaultHistoryFile() {
    if (const char* file = std::getenv("KWSH_HISTORY"); file != nullptr) {
        return file;
    }
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
        return std::string(home) + "/.kwsh_history";
    }
    return "";
}

EditingTerminal::EditingTerminal(std::string historyFile) : historyFile_(std::move(historyFile)) {
    using_history();
    stifle_history(kHistoryLines);
    if (!historyFile_.empty()) {
        read_history(historyFile_.c_str());
    }
}

EditingTerminal::~EditingTerminal() {
    if (!historyFile_.empty()) {
        write_history(historyFile_.c_str());
    }
}

LineReader EditingTerminal::reader() {
    return [](const std::string& prompt) -> std::optional<std::string> {
        char* typed = readline(prompt.c_str());
        if (typed == nullptr) {
            std::fputc('\n', stdout);
            return std::nullopt;
        }
        std::string line(typed);
        std::free(typed);
        if (line.find_first_not_of(" \t") != std::string::npos) {
            add_history(line.c_str());
        }
        return line;
    };
}

std::optional<std::string> readHidden(const std::string& prompt) {
    if (isatty(STDIN_FILENO) == 0) {
        return std::nullopt;
    }
    termios saved{};
    if (tcgetattr(STDIN_FILENO, &saved) != 0) {
        return std::nullopt;
    }
    termios quiet = saved;
    quiet.c_lflag &= static_cast<tcflag_t>(~ECHO);
    std::fputs(prompt.c_str(), stdout);
    std::fflush(stdout);
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    std::string text;
    int c;
    while ((c = std::fgetc(stdin)) != EOF && c != '\n') {
        text.push_back(static_cast<char>(c));
    }
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
    std::fputc('\n', stdout);
    return text;
}

}  // namespace kwsh
