// pg.cpp - libpq driving for one session: asynchronous statements, rows streamed through a
// cursor in batches or in single-row mode, cancel on attention, WARNING capture, error fields.
//
// Rows are read in single-row mode unless the session asks for cursor reads (setFetchRows).
// Single-row mode costs libpq a whole result object per row; a cursor read (DECLARE, then FETCH n
// until fewer than n rows come, the next FETCH sent before the batch in hand is encoded) gets a
// batch per result and cut the gateway's CPU per row by about a third when measured. It is not
// the default because PostgreSQL runs each FETCH to its end before sending its first row: an
// error in a batch (an overflow on row 3, say) would reach the client without the rows before
// it, where single-row mode sends every row produced before the error.
//
// Serves the session layer. Owns the PGconn and its cancel handle. While a statement runs the
// loop in nextResult polls the PostgreSQL socket and the client socket together; once the
// client asked to stop, the query is cancelled and its remaining results are drained without
// reaching the sink. Invariant: after run() returns the connection is idle (no result pending).
#include "pg.h"

#include <poll.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

#include <fmt/format.h>

#include "dialect.h"

namespace gw::backend {

namespace {
constexpr int kRowsBetweenClientChecks = 256;
// PostgreSQL ignores a cancel that reaches the backend before it has read the statement; while a
// cancelled statement still runs (its rows still coming, or none yet), the cancel is sent again
// this often.
constexpr int kCancelRepeatMs = 500;
constexpr size_t kMaxWarningsKept = 100;

std::string field(const PGresult* res, int code) {
    const char* v = PQresultErrorField(res, code);
    return v ? v : "";
}

PgErrorFields errorFields(const PGresult* res, PGconn* conn) {
    PgErrorFields e;
    e.sqlstate = field(res, PG_DIAG_SQLSTATE);
    e.message = field(res, PG_DIAG_MESSAGE_PRIMARY);
    if (e.message.empty()) {
        const char* m = res ? PQresultErrorMessage(res) : PQerrorMessage(conn);
        e.message = m ? m : "";
        while (!e.message.empty() && (e.message.back() == '\n' || e.message.back() == ' ')) {
            e.message.pop_back();
        }
    }
    e.detail = field(res, PG_DIAG_MESSAGE_DETAIL);
    e.schema = field(res, PG_DIAG_SCHEMA_NAME);
    e.table = field(res, PG_DIAG_TABLE_NAME);
    e.column = field(res, PG_DIAG_COLUMN_NAME);
    e.constraint = field(res, PG_DIAG_CONSTRAINT_NAME);
    return e;
}
}  // namespace

// The progress of one statement.
struct PgSession::RunState {
    RowSink* sink = nullptr;
    ClientWatch* watch = nullptr;
    bool stopped = false;                              // cancel sent; results are drained and dropped
    std::chrono::steady_clock::time_point cancelSent;  // when the cancel was last sent
    bool clientStop = false;                           // the stop came from the client
    bool described = false;
    int sinceCheck = 0;
    bool cursorDeclared = false;  // the cursor read's DECLARE succeeded
    size_t valueBytes = 0;        // bytes of the values converted so far
    Outcome outcome;
    bool haveError = false;
};

PgSession::~PgSession() {
    if (cancel_) {
        PQfreeCancel(cancel_);
    }
    if (conn_) {
        PQfinish(conn_);
    }
}

namespace {
constexpr const char* kCursorName = "kwgw_rows";
constexpr size_t kShownStatementBytes = 1000;

bool wordChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '$' ||
           static_cast<unsigned char>(c) >= 0x80;
}

bool sameWord(std::string_view word, std::string_view upper) {
    if (word.size() != upper.size()) {
        return false;
    }
    for (size_t i = 0; i < word.size(); ++i) {
        if (std::toupper(static_cast<unsigned char>(word[i])) != upper[i]) {
            return false;
        }
    }
    return true;
}
}  // namespace

bool readsThroughCursor(std::string_view sql) {
    size_t i = 0;
    for (;;) {
        while (i < sql.size() && (std::isspace(static_cast<unsigned char>(sql[i])) || sql[i] == '(')) {
            ++i;
        }
        if (sql.substr(i, 2) == "--") {
            i = sql.find('\n', i);
        } else if (sql.substr(i, 2) == "/*") {
            i = sql.find("*/", i);
            i = i == std::string_view::npos ? i : i + 2;
        } else {
            break;
        }
        if (i == std::string_view::npos) {
            return false;
        }
    }
    size_t end = i;
    while (end < sql.size() && wordChar(sql[end])) {
        ++end;
    }
    std::string_view first = sql.substr(i, end - i);
    if (!sameWord(first, "SELECT") && !sameWord(first, "VALUES") && !sameWord(first, "TABLE")) {
        return false;
    }
    // A `;` may only end the text: a second statement would run outside the cursor.
    size_t last = sql.find_last_not_of(" \t\r\n;");
    if (sql.find(';') < last) {
        return false;
    }
    for (size_t at = end; at < sql.size();) {
        if (!wordChar(sql[at])) {
            ++at;
            continue;
        }
        size_t w = at;
        while (at < sql.size() && wordChar(sql[at])) {
            ++at;
        }
        if (sameWord(sql.substr(w, at - w), "INTO")) {
            return false;
        }
    }
    return true;
}

ConnectFailure classifyConnectFailure(std::string_view message) {
    // Credentials outrank the rest: with several addresses tried, one refusing the password
    // means the server was reached and said no.
    ConnectFailure found = ConnectFailure::Unavailable;
    for (size_t at = message.find("FATAL:  "); at != std::string_view::npos;
         at = message.find("FATAL:  ", at + 1)) {
        std::string_view code = message.substr(at + 8, 6);
        if (code.size() < 6 || code[5] != ':' ||
            code.substr(0, 5).find_first_not_of("0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ") !=
                std::string_view::npos) {
            continue;
        }
        // Class 28: invalid authorization (password, role, pg_hba); 42501: no CONNECT right.
        if (code.substr(0, 2) == "28" || code.substr(0, 5) == "42501") {
            return ConnectFailure::Credentials;
        }
        if (code.substr(0, 5) == "53300") {
            found = ConnectFailure::TooManySessions;
        }
    }
    return found;
}

bool PgSession::connect(const std::string& conninfo, const std::string& role, const std::string& password,
                        const Charset& charset, int timeoutMs, std::string& error, ConnectFailure& failure) {
    const std::string encoding(charset.pgEncoding);
    const char* keys[] = {"dbname", "user", "password", "client_encoding", "application_name", nullptr};
    const char* values[] = {conninfo.c_str(), role.c_str(), password.c_str(),
                            encoding.c_str(), "kwgateway",  nullptr};
    bytesPerChar_ = charset.maxBytesPerChar;
    failure = ConnectFailure::None;
    conn_ = PQconnectStartParams(keys, values, 1);
    if (conn_ != nullptr && PQstatus(conn_) != CONNECTION_BAD) {
        // Verbose errors carry the SQLSTATE, which tells a refused password from a full server.
        PQsetErrorVerbosity(conn_, PQERRORS_VERBOSE);
    }
    if (!finishConnect(timeoutMs, error)) {
        failure = classifyConnectFailure(error);
        // Only the first line is for the log; the rest is the SQLSTATE's source location.
        error = error.substr(0, error.find("\nLOCATION:"));
        while (!error.empty() && (error.back() == '\n' || error.back() == ' ')) {
            error.pop_back();
        }
        return false;
    }
    PQsetErrorVerbosity(conn_, PQERRORS_DEFAULT);
    PQsetNoticeReceiver(conn_, &PgSession::onNotice, this);
    cancel_ = PQgetCancel(conn_);
    char* schema = PQescapeIdentifier(conn_, role.c_str(), role.size());
    std::string setup = std::string(
                            "SET DateStyle = 'ISO, YMD'; SET standard_conforming_strings = on; "
                            "SET search_path = ") +
                        (schema ? schema : "\"$user\"") + ", kwgw_fn";
    PQfreemem(schema);
    Outcome o = command(setup);
    if (!o.ok()) {
        error = o.error.message;
        failure = ConnectFailure::Unavailable;
        return false;
    }
    return true;
}

// Drives a started connection to its end within `timeoutMs`; false with `error` set when it
// failed or ran out of time.
bool PgSession::finishConnect(int timeoutMs, std::string& error) {
    if (conn_ == nullptr) {
        error = "out of memory";
        return false;
    }
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    PostgresPollingStatusType state = PGRES_POLLING_WRITING;
    while (PQstatus(conn_) != CONNECTION_BAD && state != PGRES_POLLING_OK && state != PGRES_POLLING_FAILED) {
        auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd p{PQsocket(conn_), static_cast<short>(state == PGRES_POLLING_READING ? POLLIN : POLLOUT), 0};
        int n = left.count() > 0 ? ::poll(&p, 1, static_cast<int>(left.count())) : 0;
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            error = fmt::format("PostgreSQL did not answer the connection within {} ms", timeoutMs);
            return false;
        }
        state = PQconnectPoll(conn_);
    }
    if (PQstatus(conn_) != CONNECTION_OK) {
        error = PQerrorMessage(conn_);
        return false;
    }
    return true;
}

void PgSession::onNotice(void* self, const PGresult* res) {
    auto* s = static_cast<PgSession*>(self);
    if (field(res, PG_DIAG_SEVERITY_NONLOCALIZED) == "WARNING" && s->warnings_.size() < kMaxWarningsKept) {
        s->warnings_.push_back(Warning{field(res, PG_DIAG_MESSAGE_PRIMARY), false});
    }
}

std::string PgSession::databaseName() const {
    return conn_ ? PQdb(conn_) : "";
}
int PgSession::backendPid() const {
    return conn_ ? PQbackendPID(conn_) : 0;
}
bool PgSession::inTransaction() const {
    if (!conn_) {
        return false;
    }
    PGTransactionStatusType t = PQtransactionStatus(conn_);
    return t == PQTRANS_INTRANS || t == PQTRANS_INERROR;
}

bool PgSession::alive() const {
    return conn_ && PQstatus(conn_) == CONNECTION_OK;
}

void PgSession::stopQuery(RunState& st) {
    if (st.stopped) {
        return;
    }
    st.stopped = true;
    sendCancel(st);
}

void PgSession::sendCancel(RunState& st) {
    char err[256];
    if (cancel_) {
        PQcancel(cancel_, err, sizeof err);
    }
    st.cancelSent = std::chrono::steady_clock::now();
}

// Notices parsed in a pass that completed a row: once a row has gone out, the pass began with the
// next row's data, so they were raised after it and wait for the row that follows. The pass that
// completes a result's first row begins with whatever came before that row: its notices precede it.
void PgSession::markWarningsAfterRow(const RunState& st, size_t from) {
    if (st.outcome.rows == 0) {
        return;
    }
    for (size_t i = from; i < warnings_.size(); ++i) {
        warnings_[i].afterReadyRow = true;
    }
}

// Waits for the next result, polling the client socket too while PostgreSQL works.
PGresult* PgSession::nextResult(RunState& st) {
    for (;;) {
        if (st.stopped &&
            std::chrono::steady_clock::now() - st.cancelSent >= std::chrono::milliseconds(kCancelRepeatMs)) {
            sendCancel(st);
        }
        size_t before = warnings_.size();
        if (!PQisBusy(conn_)) {
            markWarningsAfterRow(st, before);
            break;
        }
        bool watching = st.watch && !st.stopped;
        if (watching) {
            st.watch->waiting();
        }
        pollfd fds[2] = {{PQsocket(conn_), POLLIN, 0}, {watching ? st.watch->clientFd() : -1, POLLIN, 0}};
        int n = ::poll(fds, watching ? 2 : 1, st.stopped ? kCancelRepeatMs : -1);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            break;
        }
        if (watching && (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) && st.watch->clientSpoke()) {
            st.clientStop = true;
            stopQuery(st);
        }
        if (fds[0].revents && !PQconsumeInput(conn_)) {
            break;
        }
    }
    size_t before = warnings_.size();
    PGresult* res = PQgetResult(conn_);
    markWarningsAfterRow(st, before);
    return res;
}

void PgSession::describeColumns(const PGresult* res, RunState& st) {
    int n = PQnfields(res);
    plans_.clear();
    formats_.clear();
    for (int i = 0; i < n; ++i) {
        plans_.push_back(planColumn(PQftype(res, i), PQfmod(res, i), dialect::resultLabel(PQfname(res, i)),
                                    bytesPerChar_));
        formats_.push_back(plans_.back().format);
    }
    cells_.assign(static_cast<size_t>(n), Cell{});
    scratch_.resize(static_cast<size_t>(n));
    st.described = true;
    st.outcome.hasColumns = n > 0;
    if (st.sink && !st.stopped && n > 0) {
        st.sink->columns(formats_);
    }
}

// Sends the warnings that precede the row about to be sent (all of them at the end).
void PgSession::flushWarnings(RunState& st, bool all) {
    std::vector<Warning> later;
    for (Warning& w : warnings_) {
        if (w.afterReadyRow && !all) {
            later.push_back(Warning{std::move(w.text), false});
        } else if (st.sink && !st.stopped) {
            st.sink->warning(w.text);
        }
    }
    warnings_ = std::move(later);
}

void PgSession::takeRow(PGresult* res, RunState& st) {
    if (!st.described) {
        describeColumns(res, st);
    }
    ++st.outcome.rows;
    if (st.stopped || !st.sink) {
        return;
    }
    flushWarnings(st, false);
    sendRow(res, 0, st);
}

void PgSession::sendRow(const PGresult* res, int r, RunState& st) {
    for (size_t i = 0; i < cells_.size(); ++i) {
        Cell& cell = cells_[i];
        int col = static_cast<int>(i);
        if (PQgetisnull(res, r, col)) {
            cell = Cell{};
            continue;
        }
        std::string_view text(PQgetvalue(res, r, col), static_cast<size_t>(PQgetlength(res, r, col)));
        st.valueBytes += text.size();
        if (auto bad = convertValue(plans_[i], text, cell, scratch_[i])) {
            st.outcome.conversion = std::move(*bad);
            stopQuery(st);
            return;
        }
    }
    if (!st.sink->row(cells_)) {
        st.clientStop = true;
        stopQuery(st);
        return;
    }
    if (st.watch && ++st.sinceCheck >= kRowsBetweenClientChecks) {
        st.sinceCheck = 0;
        pollfd p{st.watch->clientFd(), POLLIN, 0};
        if (::poll(&p, 1, 0) > 0 && st.watch->clientSpoke()) {
            st.clientStop = true;
            stopQuery(st);
        }
    }
}

void PgSession::takeResult(PGresult* res, RunState& st) {
    switch (PQresultStatus(res)) {
        case PGRES_SINGLE_TUPLE:
            takeRow(res, st);
            return;
        case PGRES_TUPLES_OK:
            if (!st.described) {
                describeColumns(res, st);
            }
            st.outcome.countValid = true;
            return;
        case PGRES_COMMAND_OK: {
            const char* n = PQcmdTuples(res);
            if (n && *n) {
                st.outcome.rows = std::strtoll(n, nullptr, 10);
                st.outcome.countValid = true;
            }
            return;
        }
        case PGRES_COPY_IN:
            PQputCopyEnd(conn_, "COPY is not supported through the gateway");
            return;
        case PGRES_COPY_OUT: {
            char* buf = nullptr;
            while (PQgetCopyData(conn_, &buf, 0) > 0) {
                PQfreemem(buf);
            }
            st.outcome.error =
                PgErrorFields{"0A000", "COPY is not supported through the gateway", {}, {}, {}, {}, {}};
            st.haveError = true;
            return;
        }
        case PGRES_FATAL_ERROR:
            if (!st.haveError) {
                st.outcome.error = errorFields(res, conn_);
                st.haveError = true;
            }
            return;
        default:
            return;
    }
}

Outcome PgSession::finish(RunState& st) {
    flushWarnings(st, true);
    Outcome& o = st.outcome;
    if (!alive()) {
        o.status = Outcome::Status::ConnectionLost;
        if (o.error.message.empty()) {
            o.error.message = conn_ ? PQerrorMessage(conn_) : "no connection";
        }
    } else if (st.clientStop) {
        o.status = Outcome::Status::Stopped;
    } else if (o.conversion) {
        o.status = Outcome::Status::Failed;
    } else if (st.haveError) {
        o.status = Outcome::Status::Failed;
    }
    return std::move(o);
}

Outcome PgSession::run(std::string_view sql, std::span<const Param> params, RowSink* sink,
                       ClientWatch* watch) {
    if (sink && fetchRows_ > 0 && params.empty() && readsThroughCursor(sql)) {
        return runCursor(sql, sink, watch);
    }
    RunState st;
    st.sink = sink;
    st.watch = watch;
    warnings_.clear();
    std::string text(sql);
    int sent;
    if (params.empty()) {
        sent = PQsendQuery(conn_, text.c_str());
    } else {
        std::vector<const char*> values;
        for (const Param& p : params) {
            values.push_back(p ? p->c_str() : nullptr);
        }
        sent = PQsendQueryParams(conn_, text.c_str(), static_cast<int>(values.size()), nullptr, values.data(),
                                 nullptr, nullptr, 0);
    }
    if (!sent) {
        st.outcome.error = errorFields(nullptr, conn_);
        st.haveError = true;
        return finish(st);
    }
    if (sink) {
        PQsetSingleRowMode(conn_);
    }
    while (PGresult* res = nextResult(st)) {
        takeResult(res, st);
        PQclear(res);
    }
    return finish(st);
}

// The rows of one FETCH go to the sink, preceded by the warnings raised while PostgreSQL produced
// them (their place among the batch's rows is not known, and a warning may come early but never
// after its row). Answers the bytes of text the batch held.
size_t PgSession::takeBatch(const PGresult* res, RunState& st) {
    if (!st.described) {
        describeColumns(res, st);
    }
    const int n = PQntuples(res);
    st.outcome.countValid = true;
    if (st.stopped || !st.sink) {
        st.outcome.rows += n;
        return 0;
    }
    flushWarnings(st, true);
    const size_t before = st.valueBytes;
    for (int r = 0; r < n && !st.stopped; ++r) {
        ++st.outcome.rows;
        sendRow(res, r, st);
    }
    return st.valueBytes - before;
}

// A cursor read: DECLARE and the first FETCH go in one message (after BEGIN when no transaction is
// open, since a cursor lives in one); each later FETCH is sent as soon as the previous batch has
// arrived and before it is encoded. A batch shorter than asked for is the last.
Outcome PgSession::runCursor(std::string_view sql, RowSink* sink, ClientWatch* watch) {
    RunState st;
    st.sink = sink;
    st.watch = watch;
    warnings_.clear();
    const bool own = PQtransactionStatus(conn_) == PQTRANS_IDLE;
    int asked = std::min(kFirstFetchRows, fetchRows_);  // by the FETCH whose result comes next
    int cap = fetchRows_;                               // lowered for wide rows
    auto grown = [&](int rows) {
        return static_cast<int>(std::min<int64_t>(int64_t{rows} * kFetchGrowth, cap));
    };
    int nextAsk = grown(asked);
    // Each FETCH carries the statement as a comment, so that pg_stat_activity shows what it reads
    // (a statement too long for that view's default width is left out).
    std::string shown;
    if (sql.size() <= kShownStatementBytes) {
        shown = " -- ";
        for (char c : sql) {
            shown += c == '\n' || c == '\r' ? ' ' : c;
        }
    }
    // The newline ends a `--` comment at the end of the statement.
    std::string text = fmt::format("{}DECLARE {} NO SCROLL CURSOR FOR {}\n; FETCH {} FROM {}",
                                   own ? "BEGIN; " : "", kCursorName, sql, asked, kCursorName);
    bool more = PQsendQuery(conn_, text.c_str()) != 0;
    if (!more) {
        st.outcome.error = errorFields(nullptr, conn_);
        st.haveError = true;
    }
    while (more) {
        PGresult* batch = nullptr;
        int got = 0;
        while (PGresult* res = nextResult(st)) {
            ExecStatusType status = PQresultStatus(res);
            if (status == PGRES_TUPLES_OK && !batch) {
                batch = res;
                continue;
            }
            if (status == PGRES_COMMAND_OK && std::strcmp(PQcmdStatus(res), "DECLARE CURSOR") == 0) {
                st.cursorDeclared = true;
            } else if (status == PGRES_FATAL_ERROR && !st.haveError) {
                st.outcome.error = errorFields(res, conn_);
                st.haveError = true;
            }
            PQclear(res);
        }
        more = false;
        if (!batch) {
            break;
        }
        got += PQntuples(batch);
        const bool full = got == asked;
        asked = nextAsk;
        nextAsk = grown(nextAsk);
        if (!st.haveError && !st.stopped && full) {
            std::string fetch = fmt::format("FETCH {} FROM {}{}", asked, kCursorName, shown);
            more = PQsendQuery(conn_, fetch.c_str()) != 0;
            if (!more) {
                st.outcome.error = errorFields(nullptr, conn_);
                st.haveError = true;
            }
        }
        const size_t bytes = st.haveError ? 0 : takeBatch(batch, st);
        PQclear(batch);
        if (got > 0 && bytes > kFetchBatchBytes) {
            // Wide rows: later batches ask for fewer, to about kFetchBatchBytes each. The FETCH
            // already sent keeps its count (`asked`).
            cap = std::min(
                cap, std::max(1, static_cast<int>(static_cast<size_t>(got) * kFetchBatchBytes / bytes)));
            nextAsk = std::min(nextAsk, cap);
        }
        if (st.stopped && more) {
            // The FETCH in flight is cancelled (stopQuery) or ends by itself; either way its
            // result is drained and dropped.
            while (PGresult* res = nextResult(st)) {
                PQclear(res);
            }
            more = false;
        }
    }
    flushWarnings(st, true);
    endCursor(st, own, st.cursorDeclared);
    return finish(st);
}

// Ends a cursor read: the transaction it opened is committed (rolled back after a failure or a
// stop), a cursor declared in the caller's transaction is closed unless that transaction failed
// (the caller's rollback then closes it).
void PgSession::endCursor(RunState& st, bool ownTransaction, bool declared) {
    if (!alive()) {
        return;
    }
    const PGTransactionStatusType t = PQtransactionStatus(conn_);
    const char* sql = nullptr;
    if (ownTransaction) {
        if (t == PQTRANS_IDLE) {
            return;
        }
        sql = !st.haveError && !st.stopped && t == PQTRANS_INTRANS ? "COMMIT" : "ROLLBACK";
    } else if (declared && t == PQTRANS_INTRANS) {
        sql = "CLOSE kwgw_rows";
    } else {
        return;
    }
    PGresult* res = PQexec(conn_, sql);
    if (PQresultStatus(res) != PGRES_COMMAND_OK && !st.haveError && !st.stopped) {
        st.outcome.error = errorFields(res, conn_);
        st.haveError = true;
    }
    PQclear(res);
}

// The unnamed statement: PostgreSQL parses and describes it, and the next statement replaces it.
Outcome PgSession::describe(std::string_view sql, RowSink& sink, ClientWatch* watch) {
    std::vector<uint32_t> paramTypes;
    return prepareNamed("", sql, paramTypes, sink, watch);
}

Outcome PgSession::command(std::string_view sql) {
    return run(sql, {}, nullptr, nullptr);
}

}  // namespace gw::backend

namespace gw::backend {

// Dynamic SQL: a named prepared statement lives until the session deallocates it (a ROLLBACK does
// not drop it), so one PREPARE serves every EXECUTE of the client's statement.
Outcome PgSession::prepareNamed(std::string_view name, std::string_view sql,
                                std::vector<uint32_t>& paramTypes, RowSink& sink, ClientWatch* watch) {
    RunState st;
    st.sink = &sink;
    st.watch = watch;
    warnings_.clear();
    paramTypes.clear();
    std::string statementName(name);
    std::string text(sql);
    if (!PQsendPrepare(conn_, statementName.c_str(), text.c_str(), 0, nullptr)) {
        st.outcome.error = errorFields(nullptr, conn_);
        st.haveError = true;
        return finish(st);
    }
    while (PGresult* res = nextResult(st)) {
        if (PQresultStatus(res) == PGRES_FATAL_ERROR && !st.haveError) {
            st.outcome.error = errorFields(res, conn_);
            st.haveError = true;
        }
        PQclear(res);
    }
    if (st.haveError || st.stopped || !alive()) {
        return finish(st);
    }
    if (!PQsendDescribePrepared(conn_, statementName.c_str())) {
        st.outcome.error = errorFields(nullptr, conn_);
        st.haveError = true;
        return finish(st);
    }
    while (PGresult* res = nextResult(st)) {
        if (PQresultStatus(res) == PGRES_COMMAND_OK && !st.described && !st.stopped) {
            for (int i = 0; i < PQnparams(res); ++i) {
                paramTypes.push_back(PQparamtype(res, i));
            }
            describeColumns(res, st);
        } else if (PQresultStatus(res) == PGRES_FATAL_ERROR && !st.haveError) {
            st.outcome.error = errorFields(res, conn_);
            st.haveError = true;
        }
        PQclear(res);
    }
    return finish(st);
}

Outcome PgSession::runPrepared(std::string_view name, std::span<const Param> params, RowSink* sink,
                               ClientWatch* watch) {
    RunState st;
    st.sink = sink;
    st.watch = watch;
    warnings_.clear();
    std::string statementName(name);
    std::vector<const char*> values;
    for (const Param& p : params) {
        values.push_back(p ? p->c_str() : nullptr);
    }
    if (!PQsendQueryPrepared(conn_, statementName.c_str(), static_cast<int>(values.size()), values.data(),
                             nullptr, nullptr, 0)) {
        st.outcome.error = errorFields(nullptr, conn_);
        st.haveError = true;
        return finish(st);
    }
    if (sink) {
        PQsetSingleRowMode(conn_);
    }
    while (PGresult* res = nextResult(st)) {
        takeResult(res, st);
        PQclear(res);
    }
    return finish(st);
}

}  // namespace gw::backend
