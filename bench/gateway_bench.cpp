// gateway_bench.cpp - reading 1,000,000 rows through kwgateway against reading them from
// PostgreSQL directly, in one run.
//
// Sets up its own database and gateway (the kwtest environment; PGHOST, PGPORT, PGUSER and
// PGPASSWORD name the cluster), fills the benchmark table, then times the same SELECT read with
// libpq (the baseline) and with a plain DB-Library loop that binds every column, and prints both
// wall-clock times and their ratio. Each path runs three times and its best time counts. The goal
// is a ratio of at most 1.25.
#include <cstdio>
#include <exception>
#include <string>

#include "bench_rows.h"
#include "kwtest/dblib_client.h"

namespace {

constexpr int kRows = 1000000;
constexpr int kRuns = 3;

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
        kwbench::Times direct{1e9, 1e9}, gateway{1e9, 1e9};
        long directSum = 0, gatewaySum = 0;
        for (int run = 0; run < kRuns; ++run) {
            int rows = 0;
            kwbench::keepBest(direct, kwbench::readWithLibpq(env.conninfo(), rows, directSum));
            checkRows("libpq", rows);
            kwtest::DbClient client(env.serverName(), kwtest::kJoe.name, kwtest::kJoe.password);
            if (client.get() == nullptr) {
                kwbench::giveUp("gateway_bench", "cannot log in to the gateway");
            }
            kwbench::keepBest(gateway, kwbench::readWithDbLibrary(client.get(), rows, gatewaySum));
            checkRows("the gateway", rows);
        }
        std::printf("rows:                 %d (INTEGER, DECIMAL(9,2), DATE, TIMESTAMP, VARCHAR(40))\n",
                    kRows);
        std::printf("direct (libpq):       %.3f s\n", direct.wall);
        std::printf("through kwgateway:    %.3f s\n", gateway.wall);
        std::printf("ratio gateway/direct: %.2f (goal: at most 1.25)\n", gateway.wall / direct.wall);
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "gateway_bench: %s\n", e.what());
        return 1;
    }
}
