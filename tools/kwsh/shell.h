// shell.h - the shell: statements and commands from a source, answers on the screen.
//
// Serves main (terminal, -f FILE, -c TEXT) and the tests. The Shell owns the session (one request
// block, one connection at a time), the output settings (format, null text, expanded display,
// timing, pager, the trace), the variables, where query output goes (\o) and the count of
// failures; every failure is written to the error stream as one line, with the source and line
// when it came from a file, and never ends the shell by itself.
#pragma once

#include <fstream>
#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "input.h"
#include "output.h"
#include "session.h"
#include "variables.h"

namespace kwsh {

struct ShellSettings {
    Format format = Format::Aligned;
    bool quiet = false;        // no row counts or confirmations
    bool stopOnError = false;  // a source stops at its first failure
    bool showTrace = false;    // the driver's new trace lines after each statement
    bool interactive = false;  // a person at a terminal: prompts, interrupts, passwords asked
    bool timing = false;       // how long each statement took
    Expanded expanded = Expanded::Off;
    std::string nullText = "NULL";
    bool pager = true;  // output longer than the screen goes through the pager (at a terminal)
};

// The rows and columns of the screen the output goes to.
struct ScreenSize {
    size_t rows = 0, columns = 0;
};

// Where lines come from: answers the next line without its break, or nothing at the end.
using LineReader = std::function<std::optional<std::string>(const std::string& prompt)>;

// What a person at a terminal adds to a source of lines.
struct TerminalInput {
    // Asked when the reader answered nothing: whether that was Ctrl-C at the prompt rather than
    // the end of the input (the statement being typed is then dropped). Asking clears it.
    std::function<bool()> interrupted;
    // The lines of one statement or command as they were typed, kept as one history entry.
    std::function<void(const std::string& lines)> remember;
};

class Shell {
  public:
    Shell(const Driver& driver, std::ostream& out, std::ostream& err);
    ~Shell();
    Shell(const Shell&) = delete;
    Shell& operator=(const Shell&) = delete;

    ShellSettings& settings() { return settings_; }
    Session& session() { return session_; }

    // Runs every statement and command of a source. Answers false when it stopped at a failure
    // (stopOnError) or a \quit; `name` is empty for the terminal, else used in failure lines.
    // `terminal` is given when a person types the lines.
    bool run(const LineReader& reader, const std::string& name, const TerminalInput* terminal = nullptr);
    // Runs one text (several lines, statements and commands) as a source of its own.
    bool runText(const std::string& text, const std::string& name);
    // Runs a file as a source (\i, the start-up file); a file that cannot be read is a failure.
    bool runFile(const std::string& path);

    // One statement: sent, then every result set printed, or the row count of a change.
    bool runStatement(const std::string& sql);
    // One command line without its backslash.
    bool runCommand(const std::string& line);

    bool connect(const LoginValues& login);
    // Request 67. `alwaysAsk` shows the login dialog even when every value is given; without it
    // the driver shows the dialog only for a missing value.
    bool connectWithDialog(const LoginValues& login, bool alwaysAsk = true);
    bool disconnect();

    int failures() const { return failures_; }
    bool quitRequested() const { return quit_; }
    // Asks for a password without echo (a terminal), or answers nothing.
    std::function<std::optional<std::string>(const std::string& prompt)> askPassword;
    // The size of the screen when the output goes to a terminal (for the pager and \x auto);
    // unset, output is never paged nor expanded automatically.
    std::function<ScreenSize()> screenSize;

    // The pieces of the commands (commands.cpp).
    void say(const std::string& text);
    void fail(const Outcome& outcome);
    void failText(const std::string& text);
    bool describe(const std::string& sql);
    bool transaction(int32_t requestCode, const char* done);
    // Prints the result set the driver made current (described, bound, every row fetched).
    bool printCurrentResultSet() { return printResultSet(); }
    void setQuit() { quit_ = true; }
    // Where results and command answers go: the terminal, the file of \o, or the page being made.
    std::ostream& out() { return paging_ ? page_ : *target_; }
    // The terminal's output even while \o sends results elsewhere (\echo, prompts).
    std::ostream& screen() { return paging_ ? page_ : terminal_; }
    // A printer for a result set with the shell's format, null text and expanded display.
    std::unique_ptr<ResultPrinter> newPrinter(bool rowCounts);
    Variables& variables() { return variables_; }
    // Sends query output to a file from now on ("" back to the terminal).
    bool setOutputFile(const std::string& path);
    // \g [FILE] and \gx [FILE] with nothing typed: the last statement sent, again.
    bool sendAgain(const std::string& command);
    // \e [FILE] with no statement being typed: the last statement (or FILE) edited, then run.
    bool editAndRun(const std::string& command);
    // The directory of the file being run ("" for a terminal or a text), for \ir.
    std::string sourceDirectory() const;

  private:
    bool runItem(const InputItem& item, InputSplitter& splitter);
    bool runStatementSent(const std::string& sql, const std::string& send);
    bool sendStatement(const std::string& sql);
    bool editBuffer(InputSplitter& splitter, const std::string& command, int line);
    bool beginPaging();
    void endPaging();
    bool printResultSets();
    bool printResultSet();
    void printRowCount();
    void showLateWarnings();
    void dropLostConnection();
    void beginTrace();
    void endTrace();
    std::string prompt(bool continuation) const;

    Session session_;
    std::ostream& terminal_;
    std::ostream* target_;
    std::unique_ptr<std::ofstream> outputFile_;
    std::ostringstream page_;
    bool paging_ = false;
    std::ostream& err_;
    ShellSettings settings_;
    Variables variables_;
    std::string lastStatement_;
    int depth_ = 0;  // sources run one inside another (\i)
    std::string sourceName_;
    int sourceLine_ = 0;
    int failures_ = 0;
    bool quit_ = false;
};

}  // namespace kwsh
