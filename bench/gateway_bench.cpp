// gateway_bench.cpp - reading 1,000,000 rows through kwgateway against reading them from
// PostgreSQL directly, in one run.
//
// Sets up its own database and gateway (the kwtest environment; PGHOST, PGPORT, PGUSER and
// PGPASSWORD name the cluster), fills a table of mixed columns (INTEGER, DECIMAL(9,2), DATE,
// TIMESTAMP, VARCHAR(40)), then times the same SELECT read with libpq (the baseline) and with a
// plain DB-Library loop that binds every column, and prints both times and their ratio.
// Each path runs three times and its best time counts. The goal is a ratio of at most 2.
#include <libpq-fe.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "kwtest/dblib_client.h"
#include "kwtest/environment.h"

namespace {

constexpr int kRows = 1000000;
constexpr int kRuns = 3;
const char* const kQuery = "SELECT id, amount, day, stamp, name FROM joe.bench_rows";

using Clock = std::chrono::steady_clock;

// The direct path: one libpq query, every value of every row read.
double readDirect(const std::string& conninfo, long& checksum) {
    PGconn* c = PQconnectdb(conninfo.c_str());
    auto start = Clock::now();
    PGresult* r = PQexec(c, kQuery);
    int rows = PQntuples(r);
    for (int i = 0; i < rows; ++i) {
        checksum += std::atoi(PQgetvalue(r, i, 0));
        for (int col = 1; col < 5; ++col) {
            checksum += PQgetlength(r, i, col) + PQgetvalue(r, i, col)[0];
        }
    }
    double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (rows != kRows) {
        std::fprintf(stderr, "direct read gave %d rows: %s\n", rows, PQresultErrorMessage(r));
        std::exit(1);
    }
    PQclear(r);
    PQfinish(c);
    return seconds;
}

// The gateway path: dbsqlexec, dbresults, every column bound, dbnextrow until the end.
double readThroughGateway(const std::string& server, long& checksum) {
    kwtest::DbClient client(server, kwtest::kJoe.name, kwtest::kJoe.password);
    DBPROCESS* dbp = client.get();
    if (!dbp) {
        std::fprintf(stderr, "cannot log in to the gateway\n");
        std::exit(1);
    }
    DBINT id = 0;
    char amount[16], day[16], stamp[32], name[48];
    auto start = Clock::now();
    if (!client.exec(kQuery) || dbresults(dbp) != SUCCEED) {
        std::fprintf(stderr, "the query failed through the gateway\n");
        std::exit(1);
    }
    dbbind(dbp, 1, INTBIND, 0, reinterpret_cast<BYTE*>(&id));
    dbbind(dbp, 2, NTBSTRINGBIND, sizeof amount, reinterpret_cast<BYTE*>(amount));
    dbbind(dbp, 3, NTBSTRINGBIND, sizeof day, reinterpret_cast<BYTE*>(day));
    dbbind(dbp, 4, NTBSTRINGBIND, sizeof stamp, reinterpret_cast<BYTE*>(stamp));
    dbbind(dbp, 5, NTBSTRINGBIND, sizeof name, reinterpret_cast<BYTE*>(name));
    int rows = 0;
    while (dbnextrow(dbp) == REG_ROW) {
        ++rows;
        checksum += id + dbdatlen(dbp, 2) + amount[0] + dbdatlen(dbp, 3) + day[0] + dbdatlen(dbp, 4) +
                    stamp[0] + dbdatlen(dbp, 5) + name[0];
    }
    double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (rows != kRows) {
        std::fprintf(stderr, "the gateway gave %d rows\n", rows);
        std::exit(1);
    }
    return seconds;
}

}  // namespace

int main() {
    try {
        kwtest::Environment& env = kwtest::Environment::get();
        env.exec(
            "CREATE TABLE joe.bench_rows (id integer, amount decimal(9,2), day date, stamp timestamp(6), "
            "name varchar(40))");
        env.exec(
            "INSERT INTO joe.bench_rows SELECT i, (i % 1000000) / 100.0, DATE '2000-01-01' + i % 3650, "
            "TIMESTAMP '2000-01-01' + i * INTERVAL '1.000123 second', 'name ' || substr(md5(i::text), 1, 30) "
            "FROM generate_series(1, " +
            std::to_string(kRows) + ") i");
        env.exec("ALTER TABLE joe.bench_rows OWNER TO joe");
        env.exec("VACUUM ANALYZE joe.bench_rows");
        double direct = 1e9, gateway = 1e9;
        long directSum = 0, gatewaySum = 0;
        for (int run = 0; run < kRuns; ++run) {
            direct = std::min(direct, readDirect(env.conninfo(), directSum));
            gateway = std::min(gateway, readThroughGateway(env.serverName(), gatewaySum));
        }
        std::printf("rows:                 %d (INTEGER, DECIMAL(9,2), DATE, TIMESTAMP, VARCHAR(40))\n",
                    kRows);
        std::printf("direct (libpq):       %.3f s\n", direct);
        std::printf("through kwgateway:    %.3f s\n", gateway);
        std::printf("ratio gateway/direct: %.2f (goal: at most 2.00)\n", gateway / direct);
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "gateway_bench: %s\n", e.what());
        return 1;
    }
}
