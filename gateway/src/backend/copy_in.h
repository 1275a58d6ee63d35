// copy_in.h - loading a table with PostgreSQL's COPY FROM STDIN: what a bulk copy becomes.
//
// describeCopyTarget finds the table a bulk copy names and the wire format of each column, exactly
// as a SELECT of those columns announces it (the client sends its rows in those types), with the
// COPY statement that loads them in that order. CopyLoad starts the COPY, turns each row of cells
// back into PostgreSQL's text input (DB2's TIME and TIMESTAMP forms to ISO, the one blank that
// stands for an empty string to an empty string), sends the rows in chunks of bounded size and
// ends the COPY, watching the client while PostgreSQL finishes, so that an attention cancels it
// (not while it starts: the client's rows may already be on their way, and they are no attention).
// It knows nothing of TDS. Invariant: a CopyLoad leaves the connection idle, its COPY ended.
#pragma once

#include <libpq-fe.h>

#include <chrono>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"
#include "pg.h"
#include "types.h"

namespace gw::backend {

// The table a bulk copy loads.
struct CopyTarget {
    std::vector<ColumnPlan> columns;  // in the order the client sends their values
    std::string statement;            // COPY "schema"."table" ("a", ...) FROM STDIN
};

// Describes `selectSql`, a SELECT of the columns of one table, and builds the COPY that loads
// them. Fails as the SELECT would (an unknown table or column) or, when its columns are not all
// columns of one table, as a statement on the wrong kind of object.
Outcome describeCopyTarget(PGconn* conn, std::string_view selectSql, uint32_t bytesPerChar,
                           ClientWatch* watch, CopyTarget& target);

// Appends the COPY text form of one value of `column` (\N for NULL), escaped.
void appendCopyValue(const ColumnPlan& column, const Cell& cell, std::string& out);

// PostgreSQL's input text for DB2's TIME (hh.mm.ss) and TIMESTAMP (yyyy-mm-dd-hh.mm.ss.nnnnnn)
// forms; any other text is left as it is, for PostgreSQL to take or refuse.
std::string_view pgTime(std::string_view db2, std::string& scratch);
std::string_view pgTimestamp(std::string_view db2, std::string& scratch);

// Waits for the results of a statement, polling the client socket too: when the client asks to
// stop, the statement is cancelled (again every so often while it still runs).
class ResultWait {
  public:
    ResultWait(PGconn* conn, ClientWatch* watch);
    ~ResultWait();
    ResultWait(const ResultWait&) = delete;
    ResultWait& operator=(const ResultWait&) = delete;

    // The statement's next result (the caller clears it), null once it is done or the connection failed.
    PGresult* next();
    // Cancels the statement in PostgreSQL.
    void cancel();
    // Starts (or stops, with null) watching the client while waiting.
    void watch(ClientWatch* watch) { watch_ = watch; }
    bool stoppedByClient() const { return clientStop_; }

  private:
    bool awaitServer();
    void sendCancel();

    PGconn* conn_;
    ClientWatch* watch_;
    PGcancel* cancel_ = nullptr;
    bool cancelled_ = false;
    bool clientStop_ = false;
    std::chrono::steady_clock::time_point cancelSent_;
};

// One COPY FROM STDIN, from start to end.
class CopyLoad {
  public:
    CopyLoad(PGconn* conn, ClientWatch* watch);
    ~CopyLoad();  // abandons a COPY that was not finished
    CopyLoad(const CopyLoad&) = delete;
    CopyLoad& operator=(const CopyLoad&) = delete;

    // Starts the COPY; false when PostgreSQL refused it (finish() says why).
    bool start(const CopyTarget& target);
    // Adds one row, a cell per column of the target; the rows go to PostgreSQL in chunks.
    void addRow(std::span<const Cell> cells);
    // The client asked to stop: finish() then abandons the COPY and reports it stopped.
    void stopByClient() { clientStop_ = true; }
    // Ends the COPY, keeping its rows, or abandoning them with `abandon` as the reason (non-null),
    // and waits for PostgreSQL's answer: the rows loaded, or why none were.
    Outcome finish(const char* abandon = nullptr);

  private:
    void takeResults();
    void send();

    PGconn* conn_;
    ClientWatch* watch_;
    ResultWait wait_;
    const CopyTarget* target_ = nullptr;
    std::string chunk_;     // rows in COPY text not yet sent
    bool started_ = false;  // the COPY began and its results are still to be read
    bool copying_ = false;  // rows still go to PostgreSQL
    bool clientStop_ = false;
    bool haveError_ = false;
    Outcome outcome_;
};

}  // namespace gw::backend
