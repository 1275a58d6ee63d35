// bench_rows.h - the rows both benchmarks read, and the two baseline readers they share.
//
// The table joe.bench_rows holds mixed columns (INTEGER, DECIMAL(9,2), DATE, TIMESTAMP,
// VARCHAR(40)) in the kwtest environment's database. A reading is timed on the wall clock and on
// this thread's CPU clock: the gateway and PostgreSQL are other processes, so the CPU time is the
// client's own work.
#pragma once

#include <libpq-fe.h>
#include <sybdb.h>
#include <sybfront.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include "kwtest/environment.h"

namespace kwbench {

inline const char* const kQuery = "SELECT id, amount, day, stamp, name FROM joe.bench_rows";

// A wall-clock and a thread CPU reading, taken together.
struct Times {
    double wall = 0, cpu = 0;
};

inline Times now() {
    timespec cpu{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpu);
    return {std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count(),
            static_cast<double>(cpu.tv_sec) + static_cast<double>(cpu.tv_nsec) * 1e-9};
}

inline Times timeSince(const Times& start) {
    const Times end = now();
    return {end.wall - start.wall, end.cpu - start.cpu};
}

inline void keepBest(Times& best, const Times& run) {
    best.wall = std::min(best.wall, run.wall);
    best.cpu = std::min(best.cpu, run.cpu);
}

[[noreturn]] inline void giveUp(const char* program, const std::string& why) {
    std::fprintf(stderr, "%s: %s\n", program, why.c_str());
    std::exit(1);
}

// Creates and fills joe.bench_rows with `rows` rows, owned by JOE.
inline void fillRows(kwtest::Environment& env, int rows) {
    env.exec("CREATE SCHEMA IF NOT EXISTS joe AUTHORIZATION joe");
    env.exec(
        "CREATE TABLE joe.bench_rows (id integer, amount decimal(9,2), day date, stamp timestamp(6), "
        "name varchar(40))");
    env.exec(
        "INSERT INTO joe.bench_rows SELECT i, (i % 1000000) / 100.0, DATE '2000-01-01' + i % 3650, "
        "TIMESTAMP '2000-01-01' + i * INTERVAL '1.000123 second', 'name ' || substr(md5(i::text), 1, 30) "
        "FROM generate_series(1, " +
        std::to_string(rows) + ") i");
    env.exec("ALTER TABLE joe.bench_rows OWNER TO joe");
    env.exec("VACUUM ANALYZE joe.bench_rows");
}

// libpq straight to PostgreSQL: one query, every value of every row read. Answers the number of
// rows read through `rows`.
inline Times readWithLibpq(const std::string& conninfo, int& rows, long& checksum) {
    PGconn* c = PQconnectdb(conninfo.c_str());
    const Times start = now();
    PGresult* r = PQexec(c, kQuery);
    rows = PQntuples(r);
    for (int i = 0; i < rows; ++i) {
        checksum += std::atoi(PQgetvalue(r, i, 0));
        for (int col = 1; col < 5; ++col) {
            checksum += PQgetlength(r, i, col) + PQgetvalue(r, i, col)[0];
        }
    }
    const Times seconds = timeSince(start);
    PQclear(r);
    PQfinish(c);
    return seconds;
}

// A plain DB-Library loop on a logged-in connection: the integer bound as INTBIND, the others as
// terminated text, dbnextrow until the end. Answers the number of rows through `rows` (-1 when the
// query failed).
inline Times readWithDbLibrary(DBPROCESS* dbp, int& rows, long& checksum) {
    DBINT id = 0;
    char amount[45], day[12], stamp[28], name[41];
    const Times start = now();
    if (dbcmd(dbp, kQuery) != SUCCEED || dbsqlexec(dbp) != SUCCEED || dbresults(dbp) != SUCCEED) {
        rows = -1;
        return timeSince(start);
    }
    dbbind(dbp, 1, INTBIND, 0, reinterpret_cast<BYTE*>(&id));
    dbbind(dbp, 2, NTBSTRINGBIND, sizeof amount, reinterpret_cast<BYTE*>(amount));
    dbbind(dbp, 3, NTBSTRINGBIND, sizeof day, reinterpret_cast<BYTE*>(day));
    dbbind(dbp, 4, NTBSTRINGBIND, sizeof stamp, reinterpret_cast<BYTE*>(stamp));
    dbbind(dbp, 5, NTBSTRINGBIND, sizeof name, reinterpret_cast<BYTE*>(name));
    rows = 0;
    while (dbnextrow(dbp) == REG_ROW) {
        ++rows;
        checksum += id + dbdatlen(dbp, 2) + amount[0] + dbdatlen(dbp, 3) + day[0] + dbdatlen(dbp, 4) +
                    stamp[0] + dbdatlen(dbp, 5) + name[0];
    }
    return timeSince(start);
}

}  // namespace kwbench
