// pg.cpp - libpq driving for one session: asynchronous statements, rows streamed in single-row mode
// or as a binary COPY, cancel on attention, WARNING capture, error fields.
//
// Single-row mode costs libpq a whole result object per row and PostgreSQL the text output of
// every value, converted to the client's character set. A plain query that the shared ReadCache
// says returned many rows last time is described first (Parse and Describe of the unnamed
// statement, one round trip) and, when the gateway reads every column's binary form, runs as
// COPY (query) TO STDOUT (FORMAT binary): PostgreSQL sends each row as soon as it is produced, its
// notices in their place among the rows and an error after exactly the rows before it, as in
// single-row mode, and the statement still runs once. Anything else runs in single-row mode.
//
// Serves the session layer. Owns the PGconn and its cancel handle. While a statement runs the
// loop in awaitServer polls the PostgreSQL socket and the client socket together; once the
// client asked to stop, the query is cancelled and its remaining results are drained without
// reaching the sink. Invariant: after run() returns the connection is idle (no result pending).
#include "pg.h"

#include <poll.h>

#include <algorithm>
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
}  // namespace

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

// The progress of one statement.
struct PgSession::RunState {
    RowSink* sink = nullptr;
    ClientWatch* watch = nullptr;
    bool stopped = false;                              // cancel sent; results are drained and dropped
    std::chrono::steady_clock::time_point cancelSent;  // when the cancel was last sent
    bool clientStop = false;                           // the stop came from the client
    bool described = false;
    int sinceCheck = 0;
    bool copyHeaderRead = false;  // a binary COPY's stream has passed its header
    bool binaryRows = false;      // single-row results come in binary (a prepared statement's)
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
// A letter, digit, `_`, `$` or any byte of a non-ASCII character (ASCII tests by hand: every
// statement passes here, and the <cctype> calls cost more than the rest of the scan).
bool wordChar(char c) {
    const auto u = static_cast<unsigned char>(c);
    const unsigned char lower = u | 0x20;
    return (u >= '0' && u <= '9') || (lower >= 'a' && lower <= 'z') || c == '_' || c == '$' || u >= 0x80;
}

bool sameWord(std::string_view word, std::string_view upper) {
    if (word.size() != upper.size()) {
        return false;
    }
    for (size_t i = 0; i < word.size(); ++i) {
        const char c = word[i] >= 'a' && word[i] <= 'z' ? static_cast<char>(word[i] - 'a' + 'A') : word[i];
        if (c != upper[i]) {
            return false;
        }
    }
    return true;
}

// True when INTO stands as a word at or after `from` (which follows a word character): memchr finds
// the places of `i` and `I`, the word is checked there.
bool holdsInto(std::string_view sql, size_t from) {
    for (char first : {'i', 'I'}) {
        for (size_t at = sql.find(first, from); at != std::string_view::npos; at = sql.find(first, at + 1)) {
            if (!wordChar(sql[at - 1]) && sameWord(sql.substr(at, 4), "INTO") &&
                (at + 4 == sql.size() || !wordChar(sql[at + 4]))) {
                return true;
            }
        }
    }
    return false;
}
}  // namespace

bool isPlainQuery(std::string_view sql) {
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
    // A `;` may only end the text: COPY takes one statement.
    size_t last = sql.find_last_not_of(" \t\r\n;");
    if (sql.find(';') < last) {
        return false;
    }
    return !holdsInto(sql, end);
}

ReadCache& ReadCache::shared() {
    static ReadCache cache;
    return cache;
}

std::string ReadCache::keyFor(std::string_view role, std::string_view sql) {
    std::string key;
    key.reserve(role.size() + 1 + sql.size());
    return key.append(role).append(1, '\n').append(sql);
}

bool ReadCache::manyRows(std::string_view key) {
    std::lock_guard lock(mutex_);
    auto it = index_.find(key);
    if (it == index_.end()) {
        return false;
    }
    order_.splice(order_.begin(), order_, it->second);
    return true;
}

void ReadCache::remember(std::string_view key) {
    std::lock_guard lock(mutex_);
    auto it = index_.find(key);
    if (it != index_.end()) {
        order_.splice(order_.begin(), order_, it->second);
        return;
    }
    if (capacity_ == 0) {
        return;
    }
    if (index_.size() >= capacity_) {
        index_.erase(std::string_view(order_.back()));
        order_.pop_back();
    }
    order_.emplace_front(key);
    index_.emplace(std::string_view(order_.front()), order_.begin());
}

void ReadCache::forget(std::string_view key) {
    std::lock_guard lock(mutex_);
    auto it = index_.find(key);
    if (it != index_.end()) {
        const Order::iterator entry = it->second;
        index_.erase(it);  // first: its key is a view of the entry
        order_.erase(entry);
    }
}

size_t ReadCache::size() const {
    std::lock_guard lock(mutex_);
    return index_.size();
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
    role_ = role;
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

// Waits until PostgreSQL has sent more, polling the client socket too and repeating the cancel of
// a stopped statement. False when the connection failed.
bool PgSession::awaitServer(RunState& st) {
    for (;;) {
        if (st.stopped &&
            std::chrono::steady_clock::now() - st.cancelSent >= std::chrono::milliseconds(kCancelRepeatMs)) {
            sendCancel(st);
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
            return false;
        }
        if (watching && (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) && st.watch->clientSpoke()) {
            st.clientStop = true;
            stopQuery(st);
        }
        if (fds[0].revents) {
            return PQconsumeInput(conn_) != 0;
        }
    }
}

// Waits for the next result, polling the client socket too while PostgreSQL works.
PGresult* PgSession::nextResult(RunState& st) {
    for (;;) {
        size_t before = warnings_.size();
        if (!PQisBusy(conn_)) {
            markWarningsAfterRow(st, before);
            break;
        }
        if (!awaitServer(st)) {
            break;
        }
    }
    size_t before = warnings_.size();
    PGresult* res = PQgetResult(conn_);
    markWarningsAfterRow(st, before);
    return res;
}

void PgSession::planColumns(const PGresult* res) {
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
}

void PgSession::announceColumns(RunState& st) {
    st.described = true;
    st.outcome.hasColumns = !formats_.empty();
    if (st.sink && !st.stopped && !formats_.empty()) {
        st.sink->columns(formats_);
    }
}

void PgSession::describeColumns(const PGresult* res, RunState& st) {
    planColumns(res);
    announceColumns(st);
}

bool PgSession::allColumnsBinary() const {
    return std::all_of(plans_.begin(), plans_.end(), readsBinary);
}

// Sends the warnings that precede the row about to be sent (all of them at the end).
void PgSession::flushWarnings(RunState& st, bool all) {
    if (warnings_.empty()) {
        return;
    }
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
        std::string_view value(PQgetvalue(res, r, col), static_cast<size_t>(PQgetlength(res, r, col)));
        if (auto bad = st.binaryRows ? convertBinary(plans_[i], value, cell, scratch_[i])
                                     : convertValue(plans_[i], value, cell, scratch_[i])) {
            st.outcome.conversion = std::move(*bad);
            stopQuery(st);
            return;
        }
    }
    deliverRow(st);
}

// Hands the converted row to the sink and now and then looks for an attention in between.
void PgSession::deliverRow(RunState& st) {
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
            takeError(res, st);
            return;
        default:
            return;
    }
}

void PgSession::takeError(const PGresult* res, RunState& st) {
    if (!st.haveError) {
        st.outcome.error = errorFields(res, conn_);
        st.haveError = true;
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

// A statement without parameters is looked up in the read cache: a plain query it holds is read as
// a binary COPY, one that returns many rows now is remembered. Only those two pay the test for a
// plain query.
Outcome PgSession::run(std::string_view sql, std::span<const Param> params, RowSink* sink,
                       ClientWatch* watch) {
    const bool cacheable =
        sink && cache_ && params.empty() && role_.size() + sql.size() < ReadCache::kMaxKeyBytes;
    if (cacheable) {
        cacheKey_.assign(role_).append(1, '\n').append(sql);
        if (cache_->manyRows(cacheKey_) && isPlainQuery(sql)) {
            return runCopy(sql, sink, watch);
        }
    }
    Outcome o = runSingleRow(sql, params, sink, watch);
    if (cacheable && o.ok() && o.rows >= cache_->minRows() && allColumnsBinary() && isPlainQuery(sql)) {
        cache_->remember(cacheKey_);
    }
    return o;
}

Outcome PgSession::runSingleRow(std::string_view sql, std::span<const Param> params, RowSink* sink,
                                ClientWatch* watch) {
    RunState st;
    st.sink = sink;
    st.watch = watch;
    warnings_.clear();
    const std::string& text = sqlText_.assign(sql);
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

// A read as a binary COPY: the statement is described first, without running it, for the types
// of its columns; when one of them has no binary reader it runs in single-row mode instead (and is
// forgotten). The row format goes to the sink with the first row, or at the end when no row came,
// as in single-row mode, so a statement that fails before its first row shows no columns there.
Outcome PgSession::runCopy(std::string_view sql, RowSink* sink, ClientWatch* watch) {
    RunState st;
    st.sink = sink;
    st.watch = watch;
    warnings_.clear();
    if (!describeUnnamed(sql, st)) {
        return finish(st);
    }
    if (plans_.empty() || !allColumnsBinary()) {
        cache_->forget(cacheKey_);
        return runSingleRow(sql, {}, sink, watch);
    }
    // The newline ends a `--` comment at the end of the statement.
    const std::string_view body = sql.substr(0, sql.find_last_not_of(" \t\r\n;") + 1);
    const std::string text = fmt::format("COPY ({}\n) TO STDOUT (FORMAT binary)", body);
    st.outcome.copied = true;
    if (!PQsendQuery(conn_, text.c_str())) {
        st.outcome.error = errorFields(nullptr, conn_);
        st.haveError = true;
        return finish(st);
    }
    while (PGresult* res = nextResult(st)) {
        switch (PQresultStatus(res)) {
            case PGRES_COPY_OUT:
                readCopy(st);
                break;
            case PGRES_COMMAND_OK:
                if (!st.described) {
                    announceColumns(st);
                }
                st.outcome.countValid = true;
                break;
            case PGRES_FATAL_ERROR:
                takeError(res, st);
                break;
            default:
                break;
        }
        PQclear(res);
    }
    // Fewer rows than the cache's minimum go back to single-row reads; so does a COPY that failed
    // before its first row, lest a failure of COPY's own come back on every run.
    Outcome o = finish(st);
    if ((o.ok() && o.rows < cache_->minRows()) || (o.status == Outcome::Status::Failed && !o.hasColumns)) {
        cache_->forget(cacheKey_);
    }
    return o;
}

// Parse and Describe of the unnamed statement in one pipeline: the row format goes to plans_.
// False (with the error, the stop or the lost connection in `st`) when the statement is not to run.
bool PgSession::describeUnnamed(std::string_view sql, RunState& st) {
    const std::string& text = sqlText_.assign(sql);
    if (!PQenterPipelineMode(conn_)) {
        st.outcome.error = errorFields(nullptr, conn_);
        st.haveError = true;
        return false;
    }
    if (!PQsendPrepare(conn_, "", text.c_str(), 0, nullptr) || !PQsendDescribePrepared(conn_, "") ||
        !PQpipelineSync(conn_)) {
        st.outcome.error = errorFields(nullptr, conn_);
        st.haveError = true;
    }
    plans_.clear();
    int answered = 0;  // the Parse's result, then the Describe's
    bool synced = st.haveError;
    while (!synced && alive()) {
        PGresult* res = nextResult(st);
        if (!res) {
            continue;  // the end of one command's results
        }
        switch (PQresultStatus(res)) {
            case PGRES_PIPELINE_SYNC:
                synced = true;
                break;
            case PGRES_COMMAND_OK:
                if (++answered == 2) {
                    planColumns(res);
                }
                break;
            case PGRES_FATAL_ERROR:
                takeError(res, st);
                break;
            default:
                break;
        }
        PQclear(res);
    }
    PQexitPipelineMode(conn_);
    return synced && !st.haveError && !st.stopped && alive();
}

// The rows of a binary COPY, each message one row, as they arrive; when the client stopped the
// statement they are drained unread.
void PgSession::readCopy(RunState& st) {
    st.copyHeaderRead = false;
    for (;;) {
        char* buf = nullptr;
        const int n = PQgetCopyData(conn_, &buf, 1);
        if (n > 0) {
            if (!st.stopped) {
                takeCopyRow(std::string_view(buf, static_cast<size_t>(n)), st);
            }
            PQfreemem(buf);
        } else if (n == 0) {
            if (!awaitServer(st)) {
                return;
            }
        } else {
            return;  // -1: the COPY is over and its result follows; -2: the connection failed
        }
    }
}

namespace {
// PostgreSQL's binary COPY stream: a header, then per row a field count and each field as a
// 32-bit length (-1 for NULL) and its bytes, then a field count of -1.
constexpr std::string_view kCopySignature("PGCOPY\n\377\r\n\0", 11);
constexpr int kCopyNull = -1;
constexpr int kCopyTrailer = -1;

// Big-endian fields of one COPY message, bounds-checked: a read that does not fit fails the reader
// and yields zeros (or no bytes).
class CopyReader {
  public:
    explicit CopyReader(std::string_view data) : data_(data) {}
    int16_t i16() {
        const char* p = advance(2);
        return p ? static_cast<int16_t>((static_cast<uint8_t>(p[0]) << 8) | static_cast<uint8_t>(p[1])) : 0;
    }
    int32_t i32() {
        const char* p = advance(4);
        if (!p) {
            return 0;
        }
        return static_cast<int32_t>((uint32_t{static_cast<uint8_t>(p[0])} << 24) |
                                    (uint32_t{static_cast<uint8_t>(p[1])} << 16) |
                                    (uint32_t{static_cast<uint8_t>(p[2])} << 8) | static_cast<uint8_t>(p[3]));
    }
    std::string_view bytes(size_t n) {
        const char* p = advance(n);
        return p ? std::string_view(p, n) : std::string_view();
    }
    bool ok() const { return ok_; }
    bool atEnd() const { return at_ == data_.size(); }

  private:
    const char* advance(size_t n) {
        if (data_.size() - at_ < n) {
            ok_ = false;
            at_ = data_.size();
            return nullptr;
        }
        const char* p = data_.data() + at_;
        at_ += n;
        return p;
    }
    std::string_view data_;
    size_t at_ = 0;
    bool ok_ = true;
};

// A COPY stream the gateway cannot read: a statement failure, never a guess at the values.
ConversionError brokenCopy() {
    return ConversionError{-901,
                           "UNSUCCESSFUL EXECUTION CAUSED BY A SYSTEM ERROR: THE DATABASE SERVER SENT "
                           "ROWS OF AN UNEXPECTED FORM"};
}
}  // namespace

// One COPY message: the stream's header before the first row, one row or the trailer.
void PgSession::takeCopyRow(std::string_view data, RunState& st) {
    CopyReader in(data);
    if (!st.copyHeaderRead) {
        const bool signed_ = in.bytes(kCopySignature.size()) == kCopySignature;
        in.i32();  // flags: none that change the rows
        in.bytes(static_cast<size_t>(in.i32()));
        if (!signed_ || !in.ok()) {
            st.outcome.conversion = brokenCopy();
            stopQuery(st);
            return;
        }
        st.copyHeaderRead = true;
    }
    const int fields = in.i16();
    if (fields == kCopyTrailer && in.ok() && in.atEnd()) {
        return;
    }
    if (!in.ok() || static_cast<size_t>(fields) != cells_.size()) {
        st.outcome.conversion = brokenCopy();
        stopQuery(st);
        return;
    }
    if (!st.described) {
        announceColumns(st);
    }
    ++st.outcome.rows;
    flushWarnings(st, true);
    for (size_t i = 0; i < cells_.size(); ++i) {
        const int32_t length = in.i32();
        if (length == kCopyNull) {
            cells_[i] = Cell{};
            continue;
        }
        const std::string_view value = in.bytes(length < 0 ? SIZE_MAX : static_cast<size_t>(length));
        if (!in.ok()) {
            break;
        }
        if (auto bad = convertBinary(plans_[i], value, cells_[i], scratch_[i])) {
            st.outcome.conversion = std::move(*bad);
            stopQuery(st);
            return;
        }
    }
    if (!in.ok() || !in.atEnd()) {
        st.outcome.conversion = brokenCopy();
        stopQuery(st);
        return;
    }
    deliverRow(st);
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
// not drop it), so one PREPARE serves every EXECUTE of the client's statement. Its describe fixes
// the types of its columns for good (PostgreSQL refuses to run it should they change), so when
// the gateway reads all of them in binary, every EXECUTE asks for binary rows.
Outcome PgSession::prepareNamed(std::string_view name, std::string_view sql,
                                std::vector<uint32_t>& paramTypes, RowSink& sink, ClientWatch* watch) {
    RunState st;
    st.sink = &sink;
    st.watch = watch;
    warnings_.clear();
    paramTypes.clear();
    std::string statementName(name);
    binaryPrepared_.erase(statementName);
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
            binaryPrepared_[statementName] = !plans_.empty() && allColumnsBinary();
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
    auto known = binaryPrepared_.find(statementName);
    st.binaryRows = sink && known != binaryPrepared_.end() && known->second;
    if (!PQsendQueryPrepared(conn_, statementName.c_str(), static_cast<int>(values.size()), values.data(),
                             nullptr, nullptr, st.binaryRows ? 1 : 0)) {
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
