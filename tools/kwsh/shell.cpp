// shell.cpp - running sources, statements and their result sets.
//
// Serves main and the tests. It owns the reading position (source name and line, for failure
// lines) and, while a statement runs at a terminal, the interrupt: Ctrl-C then cancels the
// statement through the driver (request 71 from the host's wait hook, or between two rows) and
// the shell goes on. Results go to the output stream, failures and the trace to the error stream,
// which is written only after the output is flushed, so both read in order on one screen.
#include "shell.h"

#include <fmt/format.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ostream>
#include <sstream>

#include "commands.h"
#include "input.h"
#include "kwconst.h"
#include "kwdbt.h"
#include "kwshr.h"
#include "results.h"
#include "terminal.h"
#include "values.h"

namespace kwsh {

namespace {

volatile std::sig_atomic_t gInterrupted = 0;

extern "C" void noteInterrupt(int) {
    gInterrupted = 1;
}

// The host's message loop while the driver waits for the server: an interrupt cancels the wait.
extern "C" void cancelOnInterrupt(RequestBlock* block, void* context) {
    auto* session = static_cast<Session*>(context);
    if (gInterrupted == 0 || block != &session->block()) {
        return;
    }
    // Called from inside the driver's wait: nothing may be thrown back through it.
    const int32_t code = block->requestCode;
    try {
        session->call(REQ_CANCEL);
    } catch (...) {
    }
    block->requestCode = code;
}

// Ctrl-C cancels the statement instead of ending kwsh, for as long as the guard lives.
class InterruptGuard {
  public:
    InterruptGuard(bool active, Session& session) : active_(active) {
        gInterrupted = 0;
        if (!active_) {
            return;
        }
        struct sigaction action {};
        action.sa_handler = noteInterrupt;
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, &previous_);
        kwhost_setWaitHook(cancelOnInterrupt, &session);
    }
    ~InterruptGuard() {
        if (active_) {
            kwhost_setWaitHook(nullptr, nullptr);
            sigaction(SIGINT, &previous_, nullptr);
        }
    }
    InterruptGuard(const InterruptGuard&) = delete;
    InterruptGuard& operator=(const InterruptGuard&) = delete;

  private:
    bool active_;
    struct sigaction previous_ {};
};

// A guard against a server that keeps answering "one more result set" for ever.
constexpr int kMaxResultSets = 10000;

// Sources run one inside another (\i) stop here: a file that runs itself would never end.
constexpr int kMaxDepth = 16;

// The first word of an environment variable list that is set and not empty; `fallback` else. A
// variable set but empty counts as set to nothing when `emptyMeansNone` (a PAGER of "" is none).
std::string fromEnvironment(std::initializer_list<const char*> names, const char* fallback,
                            bool emptyMeansNone) {
    for (const char* name : names) {
        if (const char* value = std::getenv(name); value != nullptr) {
            if (*value != '\0' || emptyMeansNone) {
                return value;
            }
        }
    }
    return fallback;
}

// Runs `command` through the shell with `file` as its one argument ("$1"), so that a name with
// blanks or quotes needs no quoting; answers the command's exit status (-1 when it did not run).
int runWithFile(const std::string& command, const std::string& file) {
    const pid_t child = fork();
    if (child < 0) {
        return -1;
    }
    if (child == 0) {
        const std::string script = command + " \"$1\"";
        execl("/bin/sh", "sh", "-c", script.c_str(), "sh", file.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) {
            return -1;
        }
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Writes a page to the pager's input; answers whether the pager ran. A pager that the person leaves
// early closes its input: the write fails instead of ending kwsh by SIGPIPE.
bool writeToPager(const std::string& command, const std::string& text) {
    struct sigaction ignore {};
    struct sigaction previous {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGPIPE, &ignore, &previous);
    std::fflush(stdout);
    FILE* pager = popen(command.c_str(), "w");
    int status = -1;
    if (pager != nullptr) {
        std::fwrite(text.data(), 1, text.size(), pager);
        status = pclose(pager);
    }
    sigaction(SIGPIPE, &previous, nullptr);
    // A pager the shell could not find (status 127) showed nothing: the text is not lost.
    return status != -1 && !(WIFEXITED(status) && WEXITSTATUS(status) == 127);
}

size_t lineCount(const std::string& text) {
    size_t lines = 0;
    for (const char c : text) {
        lines += c == '\n' ? 1 : 0;
    }
    return lines;
}

}  // namespace

Shell::Shell(const Driver& driver, std::ostream& out, std::ostream& err)
    : session_(driver), terminal_(out), target_(&out), err_(err) {}

Shell::~Shell() = default;

// Confirmations are for a person reading a table; CSV output stays data only.
void Shell::say(const std::string& text) {
    if (!settings_.quiet && settings_.format != Format::Csv) {
        out() << text << '\n';
    }
}

void Shell::failText(const std::string& text) {
    endPaging();  // what was shown so far comes before the failure
    out().flush();
    if (!sourceName_.empty()) {
        err_ << "kwsh:" << sourceName_ << ':' << sourceLine_ << ": ";
    }
    err_ << text << std::endl;
    ++failures_;
}

void Shell::fail(const Outcome& outcome) {
    failText(describeFailure(outcome));
}

std::string Shell::prompt(bool continuation) const {
    const std::string name = session_.connected() ? session_.server() : "kwsh";
    return continuation ? std::string(name.size(), ' ') + "-> " : name + "> ";
}

// At a terminal, the lines typed from one point where no statement is open to the next (a whole
// statement over several lines, a command) become one history entry, and Ctrl-C at the prompt drops
// the statement being typed, as psql does.
bool Shell::run(const LineReader& reader, const std::string& name, const TerminalInput* terminal) {
    const std::string outerName = sourceName_;
    const int outerLine = sourceLine_;
    sourceName_ = name;
    InputSplitter splitter;
    std::string typed;
    int lineNumber = 0;
    bool completed = true;
    while (completed && !quit_) {
        std::optional<std::string> line = reader(prompt(splitter.open()));
        if (!line && terminal != nullptr && terminal->interrupted()) {
            splitter.reset();
            typed.clear();
            continue;
        }
        if (!line) {
            if (auto last = splitter.finish()) {
                completed = runItem(*last, splitter);
            }
            break;
        }
        std::vector<InputItem> items = splitter.feed(*line, ++lineNumber);
        if (terminal != nullptr) {
            typed += (typed.empty() ? "" : "\n") + *line;
            if (!splitter.open()) {
                if (typed.find_first_not_of(" \t") != std::string::npos) {
                    terminal->remember(typed);
                }
                typed.clear();
            }
        }
        for (const InputItem& item : items) {
            if (!(completed = runItem(item, splitter)) || quit_) {
                break;
            }
        }
    }
    sourceName_ = outerName;
    sourceLine_ = outerLine;
    return completed;
}

// One statement or command, with the variables put in; answers false when the source must stop.
// At a terminal its output is gathered first, so that a long answer can go through the pager.
bool Shell::runItem(const InputItem& item, InputSplitter& splitter) {
    sourceLine_ = item.line;
    const std::string text = variables_.interpolate(item.text);
    bool ok;
    const std::string name = text.substr(0, text.find_first_of(" \t"));
    if (item.kind == InputItem::Kind::Command && (name == "e" || name == "edit")) {
        ok = editBuffer(splitter, text, item.line);
    } else {
        const bool paging = beginPaging();
        if (item.kind == InputItem::Kind::Command) {
            ok = runCommand(text);
        } else {
            ok = runStatementSent(text, item.send);
        }
        if (paging) {
            endPaging();
        }
    }
    return ok || !settings_.stopOnError;
}

bool Shell::runText(const std::string& text, const std::string& name) {
    std::istringstream lines(text);
    return run(
        [&lines](const std::string&) -> std::optional<std::string> {
            std::string line;
            if (!std::getline(lines, line)) {
                return std::nullopt;
            }
            return line;
        },
        name);
}

void Shell::beginTrace() {
    if (settings_.showTrace) {
        kwhost_traceClear();
    }
}

void Shell::endTrace() {
    if (!settings_.showTrace) {
        return;
    }
    out().flush();
    for (int32_t i = 0; i < kwhost_traceCount(); ++i) {
        char line[1024] = {};
        kwhost_traceLine(i, line, sizeof line);
        err_ << "trace: " << line << '\n';
    }
    err_.flush();
    kwhost_traceClear();
}

bool Shell::runStatement(const std::string& sql) {
    lastStatement_ = sql;  // \g and \e take it up again, also after a failure
    if (!session_.connected()) {
        failText("ERROR: not connected; use \\connect SERVER USER [PASSWORD] or \\login");
        return false;
    }
    const auto started = std::chrono::steady_clock::now();
    const bool ok = sendStatement(sql);
    if (settings_.timing) {
        const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - started;
        out() << fmt::format("Time: {:.3f} ms", took.count()) << '\n';
    }
    return ok;
}

bool Shell::sendStatement(const std::string& sql) {
    beginTrace();
    InterruptGuard guard(settings_.interactive, session_);
    session_.block().asyncSend = 1;
    session_.setStatement(sql);
    const Outcome sent = session_.call(REQ_EXECUTE);
    session_.setStatement("");
    session_.block().asyncSend = 0;
    bool ok = sent.ok();
    if (!ok) {
        if (gInterrupted != 0) {
            screen() << '\n';  // the prompt starts on a line of its own after the ^C
            failText("ERROR: statement cancelled");
        } else {
            fail(sent);
        }
    } else {
        ok = printResultSets();
    }
    endTrace();
    return ok;
}

bool Shell::printResultSets() {
    for (int sets = 0; sets < kMaxResultSets; ++sets) {
        if (!printResultSet()) {
            session_.call(REQ_CANCEL);  // drops whatever the statement still had to say
            return false;
        }
        const Outcome next = session_.call(REQ_NEXT_RESULT_SET);
        if (next.status == KW_STATUS_NO_MORE_RESULTS) {
            showLateWarnings();
            return true;
        }
        if (!next.ok()) {
            fail(next);
            session_.call(REQ_CANCEL);  // an error ended the statement: nothing more is read
            return false;
        }
    }
    failText("ERROR: the server kept sending result sets; the rest were cancelled");
    session_.call(REQ_CANCEL);
    return false;
}

bool Shell::printResultSet() {
    ResultSet set(session_);
    const Outcome opened = set.open();
    if (!opened.ok()) {
        fail(opened);
        return false;
    }
    if (set.columns().empty()) {
        printRowCount();
        return true;
    }
    std::vector<OutputColumn> columns;
    for (const ResultColumn& c : set.columns()) {
        columns.push_back({c.name, isNumeric(c.hostType)});
    }
    std::unique_ptr<ResultPrinter> printer = newPrinter(!settings_.quiet);
    printer->begin(columns);
    OutputRow row;
    for (;;) {
        if (gInterrupted != 0) {
            printer->end(false);
            failText("ERROR: cancelled; the remaining rows were not fetched");
            return false;
        }
        const Outcome fetched = set.fetch(row);
        if (fetched.status == KW_STATUS_NO_DATA) {
            printer->end(true);
            return true;
        }
        if (fetched.status == KW_STATUS_ROW_WITH_WARNING) {
            out().flush();
            err_ << describeFailure(fetched) << std::endl;
        } else if (!fetched.ok()) {
            printer->end(false);
            fail(fetched);
            return false;
        }
        printer->row(row);
    }
}

// A warning that the server sends after the last row of a statement reaches no fetch: it would
// stay queued for the connection and be taken for the failure of the next statement. The host owns
// the message queues, so the shell shows such warnings now and takes them off the queue; anything
// more severe stays for the driver to report.
void Shell::showLateWarnings() {
    DBPROCESS* dbproc = session_.block().dbproc;
    constexpr int32_t kMostSevereWarning = 10;
    for (MessageRecord* m = kwdbt_firstMessage(dbproc); m != nullptr && m->severity <= kMostSevereWarning;
         m = kwdbt_firstMessage(dbproc)) {
        out().flush();
        err_ << describeFailure({KW_STATUS_ROW_WITH_WARNING, oneLine(m->text != nullptr ? m->text : "")})
             << std::endl;
        kwdbt_freeMessage(m);
    }
}

void Shell::printRowCount() {
    if (settings_.format == Format::Csv) {
        return;
    }
    session_.call(REQ_ROW_COUNT);
    const auto count = static_cast<int64_t>(session_.block().result);
    if (count >= 0) {
        say(rowCountLine(count, true));
    }
}

bool Shell::runCommand(const std::string& line) {
    beginTrace();
    const bool ok = runShellCommand(*this, line);
    endTrace();
    return ok;
}

// A connection the server lost is closed before a new one starts; a live one must be
// disconnected first, on purpose.
void Shell::dropLostConnection() {
    if (session_.lost()) {
        const std::string server = session_.server();
        session_.disconnect();
        say("closed the lost connection to " + server);
    }
}

bool Shell::connect(const LoginValues& login) {
    dropLostConnection();
    const Outcome outcome = session_.connect(login);
    if (!outcome.ok()) {
        fail(outcome);
        return false;
    }
    say("connected to " + session_.server() + " as " + session_.user());
    return true;
}

bool Shell::connectWithDialog(const LoginValues& login, bool alwaysAsk) {
    dropLostConnection();
    const Outcome outcome = session_.connectWithDialog(login, alwaysAsk);
    if (!outcome.ok()) {
        fail(outcome);
        return false;
    }
    say("connected to " + session_.server() + " as " + session_.user());
    return true;
}

bool Shell::disconnect() {
    const std::string server = session_.server();
    const Outcome outcome = session_.disconnect();
    if (!outcome.ok()) {
        fail(outcome);
        return false;
    }
    say("disconnected from " + server);
    return true;
}

bool Shell::transaction(int32_t requestCode, const char* done) {
    if (!session_.connected()) {
        failText("ERROR: not connected");
        return false;
    }
    const Outcome outcome = session_.call(requestCode);
    if (!outcome.ok()) {
        fail(outcome);
        return false;
    }
    say(done);
    return true;
}

bool Shell::describe(const std::string& sql) {
    if (!session_.connected()) {
        failText("ERROR: not connected");
        return false;
    }
    std::vector<ResultColumn> columns;
    const Outcome outcome = describeOnly(session_, sql, columns);
    if (!outcome.ok()) {
        fail(outcome);
        return false;
    }
    if (columns.empty()) {
        say("the statement compiles and returns no rows");
        return true;
    }
    std::unique_ptr<ResultPrinter> printer = newPrinter(!settings_.quiet);
    printer->begin({{"column", false}, {"type", false}, {"host type", true}, {"length", true}});
    for (const ResultColumn& c : columns) {
        printer->row({c.name, describeType(c.db2Type, c.hostType, c.length, c.precision, c.scale),
                      std::to_string(c.hostType), std::to_string(c.length)});
    }
    printer->end(true);
    return true;
}

std::unique_ptr<ResultPrinter> Shell::newPrinter(bool rowCounts) {
    PrintOptions options;
    options.format = settings_.format;
    options.rowCounts = rowCounts;
    options.nullText = settings_.nullText;
    options.expanded = settings_.expanded;
    // Auto-expansion fits the output to the screen it goes to; a file has no width.
    if (screenSize && target_ == &terminal_) {
        options.screenWidth = screenSize().columns;
    }
    return makePrinter(options, out());
}

// A statement ended by \g or \gx: "g FILE" writes its results to FILE, "gx" shows them expanded.
bool Shell::runStatementSent(const std::string& sql, const std::string& send) {
    if (send.empty()) {
        return runStatement(sql);
    }
    std::string error;
    const std::optional<std::vector<std::string>> words = splitWords(send, error);
    if (!words || words->empty() || words->size() > 2) {
        failText("ERROR: usage: \\g [FILE] or \\gx [FILE]" + (error.empty() ? "" : ": " + error));
        return false;
    }
    std::ostream* const outerTarget = target_;
    const Expanded outerExpanded = settings_.expanded;
    std::unique_ptr<std::ofstream> file;
    if (words->size() == 2) {
        file = std::make_unique<std::ofstream>(words->at(1), std::ios::out | std::ios::trunc);
        if (!*file) {
            failText("ERROR: cannot write " + words->at(1));
            return false;
        }
        endPaging();
        target_ = file.get();
    }
    if (words->front() == "gx") {
        settings_.expanded = Expanded::On;
    }
    const bool ok = runStatement(sql);
    settings_.expanded = outerExpanded;
    target_ = outerTarget;
    return ok;
}

bool Shell::sendAgain(const std::string& command) {
    if (lastStatement_.empty()) {
        failText("ERROR: no statement has been sent yet; \\g sends the one being typed");
        return false;
    }
    return runStatementSent(lastStatement_, command);
}

bool Shell::setOutputFile(const std::string& path) {
    if (path.empty()) {
        outputFile_.reset();
        target_ = &terminal_;
        return true;
    }
    auto file = std::make_unique<std::ofstream>(path, std::ios::out | std::ios::trunc);
    if (!*file) {
        failText("ERROR: cannot write " + path);
        return false;
    }
    outputFile_ = std::move(file);
    target_ = outputFile_.get();
    return true;
}

std::string Shell::sourceDirectory() const {
    const size_t slash = sourceName_.rfind('/');
    return slash == std::string::npos ? "" : sourceName_.substr(0, slash);
}

bool Shell::runFile(const std::string& path) {
    if (depth_ >= kMaxDepth) {
        failText("ERROR: " + path + " is run inside " + std::to_string(kMaxDepth) +
                 " other files; a file that runs itself would never end");
        return false;
    }
    std::ifstream in(path);
    if (!in) {
        failText("ERROR: cannot read " + path);
        return false;
    }
    ++depth_;
    const bool completed = run(streamReader(in), path);
    --depth_;
    return completed;
}

// \e [FILE]: the statement being typed (or, when none, the last one sent) goes to the editor in a
// file of its own; what the editor leaves there is read back as if typed: statements that are
// complete run, the rest stays open. With FILE, that file is edited and read back.
bool Shell::editBuffer(InputSplitter& splitter, const std::string& command, int line) {
    std::string error;
    const std::optional<std::vector<std::string>> words = splitWords(command, error);
    if (!words || words->size() > 2) {
        failText("ERROR: usage: \\e [FILE]");
        return false;
    }
    std::string path;
    bool temporary = false;
    if (words->size() == 2) {
        path = words->at(1);
    } else {
        std::string text = splitter.pending();
        text.erase(text.find_last_not_of(" \t\n") + 1);
        if (text.empty()) {
            text = lastStatement_;
        }
        const std::string dir = fromEnvironment({"TMPDIR"}, "/tmp", false);
        std::string name = dir + "/kwsh-edit-XXXXXX.sql";
        const int fd = mkstemps(name.data(), 4);
        if (fd < 0) {
            failText("ERROR: cannot make a file to edit in " + dir);
            return false;
        }
        text += text.empty() ? "" : "\n";
        const bool written = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
        close(fd);
        path = name;
        temporary = true;
        if (!written) {
            std::remove(path.c_str());
            failText("ERROR: cannot write " + path);
            return false;
        }
    }
    const std::string editor = fromEnvironment({"KWSH_EDITOR", "EDITOR", "VISUAL"}, "vi", false);
    out().flush();
    const int status = runWithFile(editor, path);
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string l; std::getline(in, l);) {
        lines.push_back(l);
    }
    in.close();
    if (temporary) {
        std::remove(path.c_str());
    }
    if (status != 0) {
        failText("ERROR: the editor (" + editor + ") ended with status " + std::to_string(status) +
                 "; the statement is kept as it was");
        return false;
    }
    splitter.reset();
    bool completed = true;
    for (const std::string& edited : lines) {
        for (const InputItem& item : splitter.feed(edited, line)) {
            if (!(completed = runItem(item, splitter)) || quit_) {
                return completed;
            }
        }
    }
    return true;
}

bool Shell::editAndRun(const std::string& command) {
    InputSplitter splitter;
    return editBuffer(splitter, command, sourceLine_);
}

// At a terminal that shows the output, a statement's or command's answer is kept until it is
// complete; then it goes to the pager when it is longer than the screen, else straight out.
// Answers whether it began: a source run inside another (\i) adds to its page.
bool Shell::beginPaging() {
    if (paging_ || !settings_.interactive || !settings_.pager || !screenSize || target_ != &terminal_) {
        return false;
    }
    page_.str("");
    paging_ = true;
    return true;
}

void Shell::endPaging() {
    if (!paging_) {
        return;
    }
    paging_ = false;
    const std::string text = page_.str();
    page_.str("");
    const ScreenSize screen = screenSize();
    const std::string pager = fromEnvironment({"KWSH_PAGER", "PAGER"}, "less -FRX", true);
    if (screen.rows > 0 && lineCount(text) >= screen.rows && !pager.empty()) {
        terminal_.flush();
        if (writeToPager(pager, text)) {
            return;
        }
    }
    terminal_ << text;
    terminal_.flush();
}

}  // namespace kwsh
