// shell.cpp - running sources, statements and their result sets.
//
// Serves main and the tests. It owns the reading position (source name and line, for failure
// lines) and, while a statement runs at a terminal, the interrupt: Ctrl-C then cancels the
// statement through the driver (request 71 from the host's wait hook, or between two rows) and
// the shell goes on. Results go to the output stream, failures and the trace to the error stream,
// which is written only after the output is flushed, so both read in order on one screen.
#include "shell.h"

#include <csignal>
#include <ostream>
#include <sstream>

#include "commands.h"
#include "input.h"
#include "kwconst.h"
#include "kwdbt.h"
#include "kwshr.h"
#include "results.h"
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

}  // namespace

Shell::Shell(const Driver& driver, std::ostream& out, std::ostream& err)
    : session_(driver), out_(out), err_(err) {}

Shell::~Shell() = default;

// Confirmations are for a person reading a table; CSV output stays data only.
void Shell::say(const std::string& text) {
    if (!settings_.quiet && settings_.format == Format::Aligned) {
        out_ << text << '\n';
    }
}

void Shell::failText(const std::string& text) {
    out_.flush();
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
    auto runItem = [&](const InputItem& item) {
        sourceLine_ = item.line;
        const bool ok =
            item.kind == InputItem::Kind::Command ? runCommand(item.text) : runStatement(item.text);
        return ok || !settings_.stopOnError;
    };
    while (completed && !quit_) {
        std::optional<std::string> line = reader(prompt(splitter.open()));
        if (!line && terminal != nullptr && terminal->interrupted()) {
            splitter.reset();
            typed.clear();
            continue;
        }
        if (!line) {
            if (auto last = splitter.finish()) {
                completed = runItem(*last);
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
            if (!(completed = runItem(item)) || quit_) {
                break;
            }
        }
    }
    sourceName_ = outerName;
    sourceLine_ = outerLine;
    return completed;
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
    out_.flush();
    for (int32_t i = 0; i < kwhost_traceCount(); ++i) {
        char line[1024] = {};
        kwhost_traceLine(i, line, sizeof line);
        err_ << "trace: " << line << '\n';
    }
    err_.flush();
    kwhost_traceClear();
}

bool Shell::runStatement(const std::string& sql) {
    if (!session_.connected()) {
        failText("ERROR: not connected; use \\connect SERVER USER [PASSWORD] or \\login");
        return false;
    }
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
            out_ << '\n';  // the prompt starts on a line of its own after the ^C
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
    std::unique_ptr<ResultPrinter> printer = makePrinter(settings_.format, out_, !settings_.quiet);
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
            out_.flush();
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
        out_.flush();
        err_ << describeFailure({KW_STATUS_ROW_WITH_WARNING, oneLine(m->text != nullptr ? m->text : "")})
             << std::endl;
        kwdbt_freeMessage(m);
    }
}

void Shell::printRowCount() {
    if (settings_.format != Format::Aligned) {
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

bool Shell::connectWithDialog(const LoginValues& login) {
    dropLostConnection();
    const Outcome outcome = session_.connectWithDialog(login, true);
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
    std::unique_ptr<ResultPrinter> printer = makePrinter(settings_.format, out_, !settings_.quiet);
    printer->begin({{"column", false}, {"type", false}, {"host type", true}, {"length", true}});
    for (const ResultColumn& c : columns) {
        printer->row({c.name, describeType(c.db2Type, c.hostType, c.length, c.precision, c.scale),
                      std::to_string(c.hostType), std::to_string(c.length)});
    }
    printer->end(true);
    return true;
}

}  // namespace kwsh
