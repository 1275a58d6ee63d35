// terminal.h - where the shell's lines come from: a terminal with line editing and history
// (libedit), or any stream; and a password read without echo.
//
// Serves main. The editing reader owns the history for its lifetime: read from the history file
// when it starts, written back when it ends.
#pragma once

#include <iosfwd>
#include <memory>
#include <optional>
#include <string>

#include "shell.h"

namespace kwsh {

// Lines from a stream, without prompts.
LineReader streamReader(std::istream& in);

// Lines typed at the terminal, with editing and a history kept in `historyFile` ("" keeps none).
class EditingTerminal {
  public:
    explicit EditingTerminal(std::string historyFile);
    ~EditingTerminal();
    EditingTerminal(const EditingTerminal&) = delete;
    EditingTerminal& operator=(const EditingTerminal&) = delete;
    LineReader reader();

  private:
    std::string historyFile_;
};

// The history file: $KWSH_HISTORY, else ~/.kwsh_history, else none.
std::string defaultHistoryFile();

// Asks on the terminal for a text without showing it; nothing when there is no terminal.
std::optional<std::string> readHidden(const std::string& prompt);

}  // namespace kwsh
