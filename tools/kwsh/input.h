// input.h - splits what a person types or a script holds into statements and shell commands.
//
// Serves the shell's three sources (terminal, -f FILE, -c TEXT). A statement ends at a semicolon
// outside quotes and comments, at a line that is only "go", or at \g or \gx (send, with options); a
// line that starts with a backslash while no statement is open is a shell command, and \e inside a
// statement is one too (it edits the statement, which stays open). Comments ("--" to the end of
// the line, "/* */") are taken out of statements; quoted texts and names are kept as written.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace kwsh {

struct InputItem {
    enum class Kind { Statement, Command };
    Kind kind;
    std::string text;       // a statement without its terminator, or a command line without the backslash
    int line;               // where it started in its source, from 1
    std::string send = {};  // a statement ended by \g or \gx: that command without its backslash
};

class InputSplitter {
  public:
    // Feeds one line (without its line break); answers the items the line completed, in order.
    std::vector<InputItem> feed(const std::string& line, int lineNumber);
    // The end of the input: a statement still open is complete without its terminator.
    std::optional<InputItem> finish();
    // Whether a statement has been started and not ended (the shell then prompts for more).
    bool open() const;
    // Drops a statement that was started (an interrupt at the prompt).
    void reset();
    // The statement read so far (without comments), as \e edits it.
    const std::string& pending() const { return text_; }

  private:
    enum class State { Plain, SingleQuote, DoubleQuote, BlockComment };
    void complete(std::vector<InputItem>& items);

    std::string text_;
    State state_ = State::Plain;
    bool started_ = false;  // the statement has a character that is not blank
    int startLine_ = 0;
};

}  // namespace kwsh
