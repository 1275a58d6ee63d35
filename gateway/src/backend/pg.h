// pg.h - one session's PostgreSQL connection: run, describe, cancel.
//
// PgSession runs one statement at a time asynchronously, streaming rows to a RowSink in wire form,
// while it watches the client's socket through a ClientWatch, so that an attention cancels the
// query in PostgreSQL (PQcancel) at once. Rows come one at a time as text (single-row mode), or,
// for a plain query that returned many rows the last time it ran (ReadCache), as a binary COPY.
// WARNINGs raised while rows are produced reach the sink no later than the row they came with.
// It knows nothing of TDS.
#pragma once

#include <libpq-fe.h>

#include <cstdint>
#include <list>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "charset.h"
#include "common/result.h"
#include "sqlstate.h"
#include "types.h"

namespace gw::backend {

// The session's side of a running statement: the client socket and what to do when it speaks.
class ClientWatch {
  public:
    virtual ~ClientWatch() = default;
    virtual int clientFd() const = 0;
    // The client socket is readable. Returns true when the statement must stop (an attention,
    // or the client is gone).
    virtual bool clientSpoke() = 0;
    // The backend is about to wait for PostgreSQL: a chance to send what is ready.
    virtual void waiting() = 0;
};

// Where a statement's result goes.
class RowSink {
  public:
    virtual ~RowSink() = default;
    // The row format, once, before the first row (also for a result with no rows).
    virtual void columns(std::span<const ColumnFormat> formats) = 0;
    // One row; false when the client is gone and the statement must stop.
    virtual bool row(std::span<const Cell> cells) = 0;
    // A WARNING raised by the statement.
    virtual void warning(const std::string& text) = 0;
};

struct Outcome {
    enum class Status {
        Ok,
        Failed,          // `error` or `conversion` says why
        Stopped,         // the client asked for it (attention) or went away
        ConnectionLost,  // PostgreSQL is gone
    };
    Status status = Status::Ok;
    bool hasColumns = false;  // the statement returns rows (a row format was produced)
    int64_t rows = 0;         // rows produced, or affected by a data change
    bool countValid = false;  // `rows` means something
    bool copied = false;      // the rows came as a binary COPY
    PgErrorFields error;
    std::optional<ConversionError> conversion;

    bool ok() const { return status == Status::Ok; }
};

using Param = std::optional<std::string>;

// Why PostgreSQL did not take a login, as far as the client is told.
enum class ConnectFailure {
    None,
    Credentials,      // wrong password, unknown role, no right to connect
    Unavailable,      // not reachable, starting, stopping, no such database, no answer in time
    TooManySessions,  // no free connection slot
};

// True when `sql` is one plain query that PostgreSQL can run inside COPY (...) TO STDOUT: it
// begins with SELECT, VALUES or TABLE (after blanks, comments and opening parentheses), holds no
// `;` before its end and no INTO (SELECT INTO creates a table, which COPY refuses).
bool isPlainQuery(std::string_view sql);

// What the gateway remembers of the plain queries that returned many rows the last time they ran,
// so that the next run can read them as a binary COPY: one round trip more to describe the
// statement first (the binary form needs the column types before the rows), repaid many times
// over by rows that PostgreSQL no longer prints as text nor converts to the client's character
// set, and that libpq no longer wraps one by one in a result. A statement is remembered by its
// role and its text, only when it returned at least minRows() rows of types the gateway reads in
// binary, and forgotten when a later run returns fewer; the least recently used is dropped past
// the capacity. Nothing depends on it for correctness: the describe decides before the statement
// runs. Safe to share between sessions' threads.
class ReadCache {
  public:
    static constexpr size_t kDefaultCapacity = 256;
    static constexpr int64_t kDefaultMinRows = 1000;
    static constexpr size_t kMaxKeyBytes = 8192;  // longer statements are not remembered

    explicit ReadCache(size_t capacity = kDefaultCapacity, int64_t minRows = kDefaultMinRows)
        : capacity_(capacity), minRows_(minRows < 1 ? 1 : minRows) {}
    // The one every session uses unless told otherwise.
    static ReadCache& shared();

    // What a statement is remembered by.
    static std::string keyFor(std::string_view role, std::string_view sql);

    int64_t minRows() const { return minRows_; }
    // True when `key` returned many rows last time (and makes it the most recently used).
    bool manyRows(std::string_view key);
    void remember(std::string_view key);
    void forget(std::string_view key);
    size_t size() const;

  private:
    using Order = std::list<std::string>;  // the keys, most recently used first
    mutable std::mutex mutex_;
    Order order_;
    std::unordered_map<std::string_view, Order::iterator> index_;  // views of the keys in order_
    size_t capacity_;
    int64_t minRows_;
};

// The error fields of a failed result (or, with no result, of the connection's last failure).
PgErrorFields errorFields(const PGresult* res, PGconn* conn);

// The failure named by a connection error text. The text carries the SQLSTATE of every error
// PostgreSQL sent ("FATAL:  28P01: ..."); a text with none is a failure to reach it.
ConnectFailure classifyConnectFailure(std::string_view message);

class PgSession {
  public:
    PgSession() = default;
    ~PgSession();
    PgSession(const PgSession&) = delete;
    PgSession& operator=(const PgSession&) = delete;

    // Connects over `conninfo` as `role` with `password` and prepares the session (ISO dates,
    // standard strings, search_path = role's schema then kwgw_fn, client_encoding of the
    // client's character set), giving up after `timeoutMs`. False with `error` and `failure`
    // set when PostgreSQL refuses or does not answer in time.
    bool connect(const std::string& conninfo, const std::string& role, const std::string& password,
                 const Charset& charset, int timeoutMs, std::string& error, ConnectFailure& failure);

    // Runs one statement. Rows go to `sink` (or are discarded when it is null); `watch` (may be
    // null) is polled while the statement runs.
    Outcome run(std::string_view sql, std::span<const Param> params, RowSink* sink, ClientWatch* watch);
    // Parses and describes a statement without running it; the row format goes to `sink`.
    Outcome describe(std::string_view sql, RowSink& sink, ClientWatch* watch);
    // Runs a statement of the gateway's own (BEGIN, SAVEPOINT, ...); no rows, no watch.
    Outcome command(std::string_view sql);
    // Dynamic SQL: prepares `sql` as the named statement `name` and describes it: the types of
    // its parameters go to `paramTypes` (PostgreSQL type oids), its row format to `sink`.
    Outcome prepareNamed(std::string_view name, std::string_view sql, std::vector<uint32_t>& paramTypes,
                         RowSink& sink, ClientWatch* watch);
    // Runs the named prepared statement with `params`, rows streaming to `sink` as run() does (in
    // binary when its describe found every column readable so).
    Outcome runPrepared(std::string_view name, std::span<const Param> params, RowSink* sink,
                        ClientWatch* watch);
    // The cache that decides which plain queries are read as a binary COPY (ReadCache::shared()
    // unless set); null reads every statement in single-row mode.
    void setReadCache(ReadCache* cache) { cache_ = cache; }

    std::string databaseName() const;
    int backendPid() const;
    bool alive() const;
    // True when PostgreSQL is inside a transaction block (open or failed).
    bool inTransaction() const;
    // The libpq connection, for the bulk load (copy_in.h), which drives COPY FROM STDIN on it.
    PGconn* connection() const { return conn_; }

  private:
    struct RunState;
    PGresult* nextResult(RunState& st);
    void stopQuery(RunState& st);
    // Asks PostgreSQL to cancel the statement (again, when an earlier request was lost).
    void sendCancel(RunState& st);
    void takeResult(PGresult* res, RunState& st);
    void takeRow(PGresult* res, RunState& st);
    // Converts row `r` of `res` and hands it to the sink; stops the query when that fails.
    void sendRow(const PGresult* res, int r, RunState& st);
    Outcome runSingleRow(std::string_view sql, std::span<const Param> params, RowSink* sink,
                         ClientWatch* watch);
    Outcome runCopy(std::string_view sql, RowSink* sink, ClientWatch* watch);
    bool describeUnnamed(std::string_view sql, RunState& st);
    void readCopy(RunState& st);
    void takeCopyRow(std::string_view data, RunState& st);
    bool awaitServer(RunState& st);
    // The row format of `res`, planned; then handed to the sink (once per statement).
    void planColumns(const PGresult* res);
    void announceColumns(RunState& st);
    void describeColumns(const PGresult* res, RunState& st);
    bool allColumnsBinary() const;
    void deliverRow(RunState& st);
    void takeError(const PGresult* res, RunState& st);
    Outcome finish(RunState& st);
    void flushWarnings(RunState& st, bool all);
    void markWarningsAfterRow(const RunState& st, size_t from);
    static void onNotice(void* self, const PGresult* res);
    bool finishConnect(int timeoutMs, std::string& error);

    PGconn* conn_ = nullptr;
    PGcancel* cancel_ = nullptr;
    // A WARNING and where it stands among the rows. libpq parses ahead: a notice read in the
    // same pass that completed a row (other than a result's first) follows that row, one read
    // while no row was complete precedes the next row.
    struct Warning {
        std::string text;
        bool afterReadyRow = false;
    };
    std::vector<Warning> warnings_;
    std::vector<ColumnPlan> plans_;
    std::vector<Cell> cells_;
    std::vector<std::string> scratch_;
    std::vector<ColumnFormat> formats_;
    uint32_t bytesPerChar_ = 1;  // of the client's character set
    std::string role_;
    ReadCache* cache_ = &ReadCache::shared();
    std::string cacheKey_;  // role_ and the statement of the read in hand (kept to save allocations)
    std::string sqlText_;   // the statement in hand, as libpq takes it (likewise)
    // Prepared statements by name: true when every column of theirs is read in binary.
    std::unordered_map<std::string, bool> binaryPrepared_;
};

}  // namespace gw::backend
