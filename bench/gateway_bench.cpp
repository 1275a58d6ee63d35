// gateway_bench.cpp - reading 1,000,000 rows through kwgateway against reading them from
// PostgreSQL directly, in one run.
//
// Sets up its own database and gateway (the kwtest environment; PGHOST, PGPORT, PGUSER and
// PGPASSWORD name the cluster), fills the benchmark table, then times the same SELECT read with
// libpq (the baseline) and with a plain DB-Library loop that binds every column, and prints both
// wall-clock times and their ratio. The gateway's first read of the statement comes in single-row
// mode (it does not know yet that the statement returns many rows) and is shown apart; each path
// then runs three times and its best time counts. The goal is a ratio of at most 1.25. Last, the
// small statements that must not pay for that: 1-row SELECTs by primary key, through the gateway
// against libpq, the best of three rounds each, as a ratio with no goal.
#include <algorithm>
#include <cstdio>
#include <exception>
#include <string>

#include "bench_rows.h"
#include "kwtest/dblib_client.h"

namespace {

constexpr int kRows = 1000000;
constexpr int kRuns = 3;
constexpr int kKeyedRows = 10000;
constexpr int kSmallStatements = 2000;

std::string keyedSelect(int id) {
    return "SELECT id, amount, day, stamp, name FROM joe.bench_keyed WHERE id = " + std::to_string(id);
}

// Seconds per 1-row SELECT through the gateway, each read to its end.
double smallThroughGateway(DBPROCESS* dbp) {
    const kwbench::Times start = kwbench::now();
    for (int i = 0; i < kSmallStatements; ++i) {
        const std::string sql = keyedSelect(i % kKeyedRows + 1);
        if (dbcmd(dbp, sql.c_str()) != SUCCEED || dbsqlexec(dbp) != SUCCEED) {
            kwbench::giveUp("gateway_bench", "a 1-row SELECT failed through the gateway");
        }
        while (dbresults(dbp) == SUCCEED) {
            while (dbnextrow(dbp) != NO_MORE_ROWS) {
            }
        }
    }
    return kwbench::timeSince(start).wall / kSmallStatements;
}

// Seconds per 1-row SELECT with libpq, each result read.
double smallWithLibpq(PGconn* c) {
    const kwbench::Times start = kwbench::now();
    long checksum = 0;
    for (int i = 0; i < kSmallStatements; ++i) {
        PGresult* r = PQexec(c, keyedSelect(i % kKeyedRows + 1).c_str());
        if (PQntuples(r) != 1) {
            kwbench::giveUp("gateway_bench", "a 1-row SELECT failed with libpq");
        }
        checksum += PQgetlength(r, 0, 4);
        PQclear(r);
    }
    return checksum > 0 ? kwbench::timeSince(start).wall / kSmallStatements : 0;
}

void checkRows(const char* path, int rows) {
    if (rows != kRows) {
        kwbench::giveUp("gateway_bench", std::string(path) + " gave " + std::to_string(rows) + " rows");
    }
}

}  // namespace

int main() {
    try {
        kwtest::Environment& env = kwtest::Environment::get();
        kwbench::fillRows(env, kRows);
        env.exec("CREATE TABLE joe.bench_keyed AS SELECT * FROM joe.bench_rows WHERE id <= " +
                 std::to_string(kKeyedRows));
        env.exec("ALTER TABLE joe.bench_keyed ADD PRIMARY KEY (id)");
        env.exec("ALTER TABLE joe.bench_keyed OWNER TO joe");
        kwbench::Times direct{1e9, 1e9}, gateway{1e9, 1e9}, first{1e9, 1e9};
        long directSum = 0, gatewaySum = 0;
        for (int run = 0; run <= kRuns; ++run) {
            int rows = 0;
            kwbench::keepBest(direct, kwbench::readWithLibpq(env.conninfo(), rows, directSum));
            checkRows("libpq", rows);
            kwtest::DbClient client(env.serverName(), kwtest::kJoe.name, kwtest::kJoe.password);
            if (client.get() == nullptr) {
                kwbench::giveUp("gateway_bench", "cannot log in to the gateway");
            }
            kwbench::keepBest(run == 0 ? first : gateway,
                              kwbench::readWithDbLibrary(client.get(), rows, gatewaySum));
            checkRows("the gateway", rows);
        }
        double smallGateway = 1e9, smallDirect = 1e9;
        {
            kwtest::DbClient client(env.serverName(), kwtest::kJoe.name, kwtest::kJoe.password);
            PGconn* c = PQconnectdb(env.conninfo().c_str());
            if (client.get() == nullptr || PQstatus(c) != CONNECTION_OK) {
                kwbench::giveUp("gateway_bench", "cannot connect for the 1-row SELECTs");
            }
            for (int run = 0; run < kRuns; ++run) {
                smallGateway = std::min(smallGateway, smallThroughGateway(client.get()));
                smallDirect = std::min(smallDirect, smallWithLibpq(c));
            }
            PQfinish(c);
        }
        std::printf("rows:                 %d (INTEGER, DECIMAL(9,2), DATE, TIMESTAMP, VARCHAR(40))\n",
                    kRows);
        std::printf("direct (libpq):       %.3f s\n", direct.wall);
        std::printf("first read through kwgateway (single-row, not yet remembered): %.3f s\n", first.wall);
        std::printf("through kwgateway:    %.3f s\n", gateway.wall);
        std::printf("ratio first read gateway/direct: %.2f (no goal)\n", first.wall / direct.wall);
        std::printf("ratio gateway/direct: %.2f (goal: at most 1.25)\n", gateway.wall / direct.wall);
        std::printf("1-row SELECT by key through kwgateway: %.1f us\n", smallGateway * 1e6);
        std::printf("1-row SELECT by key with libpq:        %.1f us\n", smallDirect * 1e6);
        std::printf("ratio 1-row SELECT gateway/direct: %.2f (no goal)\n", smallGateway / smallDirect);
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "gateway_bench: %s\n", e.what());
        return 1;
    }
}
