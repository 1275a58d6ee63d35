// terminal.h - where the shell's lines come from: a terminal with line editing and history
// (libedit), or any stream; a password read without echo; the charset of the terminal.
//
// Serves main. The editing reader owns the history for its lifetime: read from the history file
// when it starts, written back when it ends. One entry is one statement or command as typed,
// line breaks included.
#pragma once

#include <deque>
#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "shell.h"

namespace kwsh {

// Lines from a stream, without prompts.
LineReader streamReader(std::istream& in);

// Lines typed at the terminal, with editing and a history kept in `historyFile` ("" keeps none).
// Ctrl-C at the prompt ends the line being typed as an interrupt, not as the end of the input. A
// history entry of several lines, called back and entered, is read as its lines in turn.
class EditingTerminal {
  public:
    explicit EditingTerminal(std::string historyFile);
    ~EditingTerminal();
    EditingTerminal(const EditingTerminal&) = delete;
    EditingTerminal& operator=(const EditingTerminal&) = delete;
    LineReader reader();
    // The interrupt and the history, for the shell (valid while the terminal lives).
    TerminalInput input();
    // What Tab offers: the candidates for the word that ends at `end` of the line, each one whole,
    // or nothing for file names.
    using Completer =
        std::function<std::optional<std::vector<std::string>>(const std::string& line, size_t end)>;
    void setCompleter(Completer completer);

  private:
    std::optional<std::string> read(const std::string& prompt);

    std::string historyFile_;
    Completer completer_;
    std::deque<std::string> entered_;  // the lines of an entry not yet handed to the shell
    bool interrupted_ = false;
};

// Sets the character type of the process from the person's locale (LC_ALL, LC_CTYPE, LANG), so
// that libedit keeps what is typed beyond ASCII and the output measures text as the terminal shows
// it; DB-Library then takes the same charset as the client charset unless freetds.conf names one.
// The plain C locale holds only ASCII: kwsh then takes UTF-8, the charset of today's terminals.
// Numbers keep the C conventions. Answers the charset in use.
std::string useTerminalCharset();

// The history file: $KWSH_HISTORY, else ~/.kwsh_history, else none.
std::string defaultHistoryFile();

// The rows and columns of the terminal standard output goes to; zeros when it is none.
ScreenSize outputScreenSize();

// Asks on the terminal for a text without showing it; nothing when there is no terminal.
std::optional<std::string> readHidden(const std::string& prompt);

}  // namespace kwsh
