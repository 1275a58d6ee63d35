// copy_in.cpp - COPY FROM STDIN for bulk copies: the target table, the rows in COPY text, the
// waits for PostgreSQL with the client watched.
//
// Serves the session's bulk load. Owns, per load, the cancel handle of its statements and the
// chunk of rows not yet sent. The table behind the client's SELECT comes from the describe of that
// SELECT (each column's table and attribute number), its names from the catalog, so the COPY names
// exactly the columns the client was shown, quoted by the dialect's quoteIdent. Invariant: a chunk
// holds whole rows and is sent once it passes kChunkBytes, so a load holds at most one chunk.
#include "copy_in.h"

#include <poll.h>

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <map>

#include "dialect.h"
#include "names.h"

namespace gw::backend {
namespace {

constexpr size_t kChunkBytes = 64 * 1024;
// PostgreSQL ignores a cancel that arrives before the backend has read the statement; while a
// cancelled statement still runs, the cancel is sent again this often.
constexpr int kCancelRepeatMs = 500;
// The wrong kind of object: what PostgreSQL says of a COPY into a view.
constexpr const char* kWrongObjectType = "42809";

constexpr const char* kTableColumnsSql =
    "SELECT n.nspname, c.relname, a.attnum, a.attname FROM pg_catalog.pg_class c "
    "JOIN pg_catalog.pg_namespace n ON n.oid = c.relnamespace "
    "JOIN pg_catalog.pg_attribute a ON a.attrelid = c.oid "
    "WHERE c.oid = $1::oid AND a.attnum > 0 AND NOT a.attisdropped";

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// True when text[at...] holds `n` digits.
bool digitsAt(std::string_view text, size_t at, size_t n) {
    if (text.size() < at + n) {
        return false;
    }
    for (size_t i = at; i < at + n; ++i) {
        if (!isDigit(text[i])) {
            return false;
        }
    }
    return true;
}

// hh.mm.ss at text[at...].
bool db2TimeAt(std::string_view text, size_t at) {
    return digitsAt(text, at, 2) && text[at + 2] == '.' && digitsAt(text, at + 3, 2) && text[at + 5] == '.' &&
           digitsAt(text, at + 6, 2);
}

// Appends `text` as a COPY text field: backslash, tab, newline and carriage return escaped.
void appendEscaped(std::string_view text, std::string& out) {
    for (char c : text) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            default:
                out += c;
        }
    }
}

template <typename T>
void appendNumber(T value, std::string& out) {
    char buf[32];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value);
    out.append(buf, ec == std::errc() ? static_cast<size_t>(end - buf) : 0);
}

// Sets the outcome's status from how the statement went.
void settleStatus(PGconn* conn, const ResultWait& wait, bool haveError, Outcome& o) {
    if (PQstatus(conn) != CONNECTION_OK) {
        o.status = Outcome::Status::ConnectionLost;
        if (o.error.message.empty()) {
            o.error.message = PQerrorMessage(conn);
        }
    } else if (wait.stoppedByClient()) {
        o.status = Outcome::Status::Stopped;
    } else if (haveError) {
        o.status = Outcome::Status::Failed;
    }
}

// Reads every result of what was sent: the first of status `want` is kept for the caller (who
// clears it), the first error goes to `o`.
PGresult* collect(PGconn* conn, ResultWait& wait, ExecStatusType want, Outcome& o, bool& haveError) {
    PGresult* kept = nullptr;
    while (PGresult* res = wait.next()) {
        if (!kept && PQresultStatus(res) == want) {
            kept = res;
            continue;
        }
        if (PQresultStatus(res) == PGRES_FATAL_ERROR && !haveError) {
            o.error = errorFields(res, conn);
            haveError = true;
        }
        PQclear(res);
    }
    return kept;
}

// Sends `sql` (with text parameters) and reads its results as collect() does; a statement that
// could not be sent fails with the connection's error.
PGresult* runAndCollect(PGconn* conn, ResultWait& wait, const std::string& sql,
                        std::span<const char* const> params, ExecStatusType want, Outcome& o,
                        bool& haveError) {
    if (!PQsendQueryParams(conn, sql.c_str(), static_cast<int>(params.size()), nullptr, params.data(),
                           nullptr, nullptr, 0)) {
        o.error = errorFields(nullptr, conn);
        haveError = true;
        return nullptr;
    }
    return collect(conn, wait, want, o, haveError);
}

// The table and attribute numbers of a described SELECT's columns; false when they are not all
// columns of one table.
bool tableColumns(const PGresult* described, Oid& table, std::vector<int>& attributes) {
    const int n = PQnfields(described);
    table = n > 0 ? PQftable(described, 0) : InvalidOid;
    attributes.clear();
    for (int i = 0; i < n; ++i) {
        if (PQftable(described, i) != table || PQftablecol(described, i) <= 0) {
            return false;
        }
        attributes.push_back(PQftablecol(described, i));
    }
    return table != InvalidOid;
}

// The COPY statement for `attributes` of `table`, named from the catalog.
bool copyStatement(PGconn* conn, ResultWait& wait, Oid table, const std::vector<int>& attributes,
                   std::string& statement, Outcome& o, bool& haveError) {
    const std::string oid = std::to_string(table);
    const char* params[] = {oid.c_str()};
    PGresult* res = runAndCollect(conn, wait, kTableColumnsSql, params, PGRES_TUPLES_OK, o, haveError);
    if (!res) {
        return false;
    }
    std::map<int, std::string> names;
    for (int r = 0; r < PQntuples(res); ++r) {
        names[std::atoi(PQgetvalue(res, r, 2))] = PQgetvalue(res, r, 3);
    }
    statement.clear();
    if (PQntuples(res) > 0) {
        statement = "COPY " + dialect::quoteIdent(PQgetvalue(res, 0, 0)) + "." +
                    dialect::quoteIdent(PQgetvalue(res, 0, 1)) + " (";
    }
    PQclear(res);
    for (size_t i = 0; i < attributes.size(); ++i) {
        auto found = names.find(attributes[i]);
        if (found == names.end() || statement.empty()) {
            statement.clear();
            return false;
        }
        statement += (i ? ", " : "") + dialect::quoteIdent(found->second);
    }
    statement += ") FROM STDIN";
    return true;
}

}  // namespace

// --- waiting ----------------------------------------------------------------------------

ResultWait::ResultWait(PGconn* conn, ClientWatch* watch) : conn_(conn), watch_(watch) {}

ResultWait::~ResultWait() {
    if (cancel_) {
        PQfreeCancel(cancel_);
    }
}

void ResultWait::sendCancel() {
    if (!cancel_) {
        cancel_ = PQgetCancel(conn_);
    }
    char err[256];
    if (cancel_) {
        PQcancel(cancel_, err, sizeof err);
    }
    cancelSent_ = std::chrono::steady_clock::now();
}

void ResultWait::cancel() {
    if (!cancelled_) {
        cancelled_ = true;
        sendCancel();
    }
}

bool ResultWait::awaitServer() {
    for (;;) {
        if (cancelled_ &&
            std::chrono::steady_clock::now() - cancelSent_ >= std::chrono::milliseconds(kCancelRepeatMs)) {
            sendCancel();
        }
        const bool watching = watch_ && !cancelled_;
        if (watching) {
            watch_->waiting();
        }
        pollfd fds[2] = {{PQsocket(conn_), POLLIN, 0}, {watching ? watch_->clientFd() : -1, POLLIN, 0}};
        const int n = ::poll(fds, watching ? 2 : 1, cancelled_ ? kCancelRepeatMs : -1);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return false;
        }
        if (watching && (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) && watch_->clientSpoke()) {
            clientStop_ = true;
            cancel();
        }
        if (fds[0].revents) {
            return PQconsumeInput(conn_) != 0;
        }
    }
}

PGresult* ResultWait::next() {
    while (PQisBusy(conn_)) {
        if (!awaitServer()) {
            break;
        }
    }
    return PQgetResult(conn_);
}

// --- the target -------------------------------------------------------------------------

Outcome describeCopyTarget(PGconn* conn, std::string_view selectSql, uint32_t bytesPerChar,
                           ClientWatch* watch, CopyTarget& target) {
    Outcome o;
    bool haveError = false;
    ResultWait wait(conn, watch);
    const std::string sql(selectSql);
    target = CopyTarget{};
    if (!PQsendPrepare(conn, "", sql.c_str(), 0, nullptr)) {
        o.error = errorFields(nullptr, conn);
        haveError = true;
    } else {
        PQclear(collect(conn, wait, PGRES_COMMAND_OK, o, haveError));
    }
    PGresult* described = nullptr;
    if (!haveError && !wait.stoppedByClient()) {
        if (!PQsendDescribePrepared(conn, "")) {
            o.error = errorFields(nullptr, conn);
            haveError = true;
        } else {
            described = collect(conn, wait, PGRES_COMMAND_OK, o, haveError);
        }
    }
    if (described && !haveError) {
        Oid table = InvalidOid;
        std::vector<int> attributes;
        if (!tableColumns(described, table, attributes)) {
            o.error =
                PgErrorFields{kWrongObjectType, "a bulk copy loads columns of one table", {}, {}, {}, {}, {}};
            haveError = true;
        } else {
            for (int i = 0; i < PQnfields(described); ++i) {
                target.columns.push_back(planColumn(PQftype(described, i), PQfmod(described, i),
                                                    dialect::resultLabel(PQfname(described, i)),
                                                    bytesPerChar));
            }
            if (!copyStatement(conn, wait, table, attributes, target.statement, o, haveError) && !haveError) {
                o.error = PgErrorFields{
                    kWrongObjectType, "the table of the bulk copy has gone", {}, {}, {}, {}, {}};
                haveError = true;
            }
        }
    }
    PQclear(described);
    settleStatus(conn, wait, haveError, o);
    return o;
}

// --- values -----------------------------------------------------------------------------

std::string_view pgTime(std::string_view db2, std::string& scratch) {
    if (db2.size() != 8 || !db2TimeAt(db2, 0)) {
        return db2;
    }
    scratch.assign(db2);
    scratch[2] = ':';
    scratch[5] = ':';
    return scratch;
}

std::string_view pgTimestamp(std::string_view db2, std::string& scratch) {
    // yyyy-mm-dd-hh.mm.ss, then at most .nnnnnn
    const bool date =
        digitsAt(db2, 0, 4) && db2[4] == '-' && digitsAt(db2, 5, 2) && db2[7] == '-' && digitsAt(db2, 8, 2);
    if (!date || db2.size() < 19 || db2[10] != '-' || !db2TimeAt(db2, 11)) {
        return db2;
    }
    if (db2.size() > 19 && (db2[19] != '.' || db2.size() > 26 || !digitsAt(db2, 20, db2.size() - 20))) {
        return db2;
    }
    scratch.assign(db2);
    scratch[10] = ' ';
    scratch[13] = ':';
    scratch[16] = ':';
    return scratch;
}

void appendCopyValue(const ColumnPlan& column, const Cell& cell, std::string& out) {
    if (cell.null) {
        out += "\\N";
        return;
    }
    std::string scratch;
    switch (column.format.type) {
        case WireType::Int:
            appendNumber(cell.integer, out);
            return;
        case WireType::Float:
            appendNumber(cell.real, out);
            return;
        default:
            break;
    }
    std::string_view text = cell.text;
    switch (column.conversion) {
        case Conversion::Time:
            text = pgTime(text, scratch);
            break;
        case Conversion::Timestamp:
            text = pgTimestamp(text, scratch);
            break;
        case Conversion::Characters:
        case Conversion::Other:
            // The gateway sends an empty string as one blank (a zero length is NULL on the wire),
            // so one blank coming back is that empty string.
            if (text == " ") {
                text = {};
            }
            break;
        default:
            break;
    }
    appendEscaped(text, out);
}

// --- the load ---------------------------------------------------------------------------

CopyLoad::CopyLoad(PGconn* conn, ClientWatch* watch) : conn_(conn), watch_(watch), wait_(conn, nullptr) {}

CopyLoad::~CopyLoad() {
    if (started_) {
        finish("the bulk copy was abandoned");
    }
}

bool CopyLoad::start(const CopyTarget& target) {
    target_ = &target;
    if (!PQsendQuery(conn_, target.statement.c_str())) {
        outcome_.error = errorFields(nullptr, conn_);
        haveError_ = true;
        return false;
    }
    // PGRES_COPY_IN stays the next result until the COPY ends: nothing more is read now.
    PGresult* res = wait_.next();
    if (res && PQresultStatus(res) == PGRES_COPY_IN) {
        PQclear(res);
        started_ = copying_ = true;
        return true;
    }
    if (res && PQresultStatus(res) == PGRES_FATAL_ERROR) {
        outcome_.error = errorFields(res, conn_);
        haveError_ = true;
    }
    PQclear(res);
    takeResults();
    if (!haveError_) {
        outcome_.error = errorFields(nullptr, conn_);
        haveError_ = true;
    }
    return false;
}

void CopyLoad::addRow(std::span<const Cell> cells) {
    if (!copying_) {
        return;
    }
    for (size_t i = 0; i < target_->columns.size(); ++i) {
        if (i > 0) {
            chunk_ += '\t';
        }
        appendCopyValue(target_->columns[i], i < cells.size() ? cells[i] : Cell{}, chunk_);
    }
    chunk_ += '\n';
    if (chunk_.size() >= kChunkBytes) {
        send();
    }
}

// A failed send means PostgreSQL ended the COPY (with an error finish() reads) or the connection
// is gone; either way the rows after it are dropped.
void CopyLoad::send() {
    if (copying_ && !chunk_.empty() &&
        PQputCopyData(conn_, chunk_.data(), static_cast<int>(chunk_.size())) != 1) {
        copying_ = false;
    }
    chunk_.clear();
}

// Reads the COPY's results to their end: the rows loaded, or the first error.
void CopyLoad::takeResults() {
    while (PGresult* res = wait_.next()) {
        const ExecStatusType status = PQresultStatus(res);
        if (status == PGRES_COMMAND_OK) {
            const char* n = PQcmdTuples(res);
            outcome_.rows = n && *n ? std::strtoll(n, nullptr, 10) : 0;
            outcome_.countValid = true;
        } else if (status == PGRES_FATAL_ERROR && !haveError_) {
            outcome_.error = errorFields(res, conn_);
            haveError_ = true;
        }
        PQclear(res);
        // Still copying after a failed send: the COPY is ended here, or its results never end.
        if (status == PGRES_COPY_IN && PQputCopyEnd(conn_, "the bulk copy could not send its rows") != 1) {
            return;
        }
    }
}

Outcome CopyLoad::finish(const char* abandon) {
    if (clientStop_ && !abandon) {
        abandon = "the client cancelled the bulk copy";
    }
    if (started_) {
        if (copying_ && !abandon) {
            send();
        }
        if (copying_) {
            PQputCopyEnd(conn_, abandon);
        }
        started_ = copying_ = false;
        // The message has been read to its end: what the client sends now is an attention.
        wait_.watch(watch_);
        takeResults();
    }
    chunk_.clear();
    if (abandon) {
        outcome_.countValid = false;
    }
    settleStatus(conn_, wait_, haveError_, outcome_);
    if (clientStop_ && outcome_.status != Outcome::Status::ConnectionLost) {
        outcome_.status = Outcome::Status::Stopped;
    }
    return std::move(outcome_);
}

}  // namespace gw::backend
