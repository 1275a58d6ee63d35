// terminal.cpp - line sources for the shell: libedit at a terminal, plain streams otherwise.
//
// Serves main. libedit gives the line editing and the history (its readline interface); the
// history file is read once at the start and written once at the end. While the editing terminal
// lives, Ctrl-C never ends kwsh: at the prompt it leaves the line being typed, elsewhere it is left
// to the statement's own handler or ignored. The hidden read turns the terminal's echo off only
// for its own duration and always puts it back.
#include "terminal.h"

#include <editline/readline.h>
#include <langinfo.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <clocale>
#include <csetjmp>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <istream>
#include <utility>

namespace kwsh {

namespace {

constexpr int kHistoryLines = 1000;

// libedit reads a key inside its own loop and, on SIGINT, puts the terminal back in its normal mode
// and passes the signal on; only a jump out of that loop ends the line (the next readline starts
// with an empty line again). The jump is armed only while readline runs.
sigjmp_buf gPromptExit;
volatile std::sig_atomic_t gAtPrompt = 0;

extern "C" void leavePrompt(int) {
    if (gAtPrompt != 0) {
        gAtPrompt = 0;
        siglongjmp(gPromptExit, 1);
    }
}

// readline; nothing with `interrupted` set when Ctrl-C left the line. Nothing here may need a
// destructor: the jump passes over this frame's locals.
char* readLineOrInterrupt(const char* prompt, bool& interrupted) {
    char* volatile typed = nullptr;
    if (sigsetjmp(gPromptExit, 1) == 0) {
        gAtPrompt = 1;
        typed = readline(prompt);
        gAtPrompt = 0;
        interrupted = false;
        return typed;
    }
    std::free(typed);  // the signal came as readline returned
    interrupted = true;
    return nullptr;
}

struct sigaction gPreviousInterrupt {};

// The completer of the editing terminal that lives, and the candidates of the last Tab.
const EditingTerminal::Completer* gCompleter = nullptr;
std::vector<std::string> gCandidates;

extern "C" char* nextCandidate(const char*, int state) {
    static size_t next = 0;
    next = state == 0 ? 0 : next;
    return next < gCandidates.size() ? strdup(gCandidates[next++].c_str()) : nullptr;
}

// libedit's completion hook. The candidates are found by the shell (which may ask the driver, so
// Ctrl-C must not jump out of it meanwhile); none found offers nothing, an absent answer file names.
extern "C" char** completeWord(const char* text, int, int end) {
    rl_attempted_completion_over = 1;
    if (gCompleter == nullptr || !*gCompleter) {
        return nullptr;
    }
    const std::sig_atomic_t atPrompt = gAtPrompt;
    gAtPrompt = 0;
    std::optional<std::vector<std::string>> candidates;
    try {
        candidates = (*gCompleter)(rl_line_buffer != nullptr ? rl_line_buffer : "", static_cast<size_t>(end));
    } catch (...) {
        candidates = std::vector<std::string>{};
    }
    gAtPrompt = atPrompt;
    if (!candidates) {
        rl_attempted_completion_over = 0;
        return nullptr;
    }
    gCandidates = std::move(*candidates);
    if (gCandidates.empty()) {
        return nullptr;
    }
    return rl_completion_matches(text, nextCandidate);
}

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
    // A backslash starts a command, not an escape, and a dot joins owner and table.
    rl_basic_word_break_characters = " \t\n\"'`@$><=;|&{(,";
    rl_completer_word_break_characters = const_cast<char*>(rl_basic_word_break_characters);
    rl_attempted_completion_function = completeWord;
    stifle_history(kHistoryLines);
    if (!historyFile_.empty()) {
        read_history(historyFile_.c_str());
    }
    struct sigaction action {};
    action.sa_handler = leavePrompt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &gPreviousInterrupt);
}

EditingTerminal::~EditingTerminal() {
    if (gCompleter == &completer_) {
        gCompleter = nullptr;
    }
    rl_attempted_completion_function = nullptr;
    sigaction(SIGINT, &gPreviousInterrupt, nullptr);
    if (!historyFile_.empty()) {
        write_history(historyFile_.c_str());
    }
}

// A line typed, or the next line of a history entry of several lines that was called back: libedit
// hands such an entry over whole, and the shell reads line by line.
std::optional<std::string> EditingTerminal::read(const std::string& prompt) {
    if (!entered_.empty()) {
        std::string line = std::move(entered_.front());
        entered_.pop_front();
        return line;
    }
    char* typed = readLineOrInterrupt(prompt.c_str(), interrupted_);
    if (interrupted_) {
        std::fputs("^C\n", stdout);
        std::fflush(stdout);
        return std::nullopt;
    }
    if (typed == nullptr) {
        std::fputc('\n', stdout);
        return std::nullopt;
    }
    const std::string text(typed);
    std::free(typed);
    for (size_t start = 0;;) {
        const size_t end = text.find('\n', start);
        entered_.push_back(text.substr(start, end == std::string::npos ? end : end - start));
        if (end == std::string::npos) {
            break;
        }
        start = end + 1;
    }
    return read(prompt);
}

LineReader EditingTerminal::reader() {
    return [this](const std::string& prompt) { return read(prompt); };
}

TerminalInput EditingTerminal::input() {
    return {[this] { return std::exchange(interrupted_, false); },
            [](const std::string& lines) { add_history(lines.c_str()); }};
}

void EditingTerminal::setCompleter(Completer completer) {
    completer_ = std::move(completer);
    gCompleter = &completer_;
}

ScreenSize outputScreenSize() {
    winsize size{};
    if (isatty(STDOUT_FILENO) == 0 || ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) != 0) {
        return {};
    }
    return {size.ws_row, size.ws_col};
}

std::string useTerminalCharset() {
    const char* name = std::setlocale(LC_CTYPE, "");
    if (name == nullptr || std::strcmp(name, "C") == 0 || std::strcmp(name, "POSIX") == 0) {
        // The locale asked for is missing or knows only ASCII.
        if (std::setlocale(LC_CTYPE, "C.UTF-8") == nullptr) {
            std::setlocale(LC_CTYPE, "C");
        }
    }
    return nl_langinfo(CODESET);
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
