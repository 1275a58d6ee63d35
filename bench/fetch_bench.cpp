// fetch_bench.cpp - 1,000,000 rows read through the driver, with a plain DB-Library loop and with libpq.
//
// Fills the gateway benchmark's mixed table in its own database and gateway (the kwtest environment,
// PGHOST/PGPORT/PGUSER/PGPASSWORD), then reads it the three ways, five times each, interleaved; the
// best wall-clock time and the best CPU time of this thread (the client's own work: the gateway and
// PostgreSQL are other processes) count. The driver goes through requests 21, 22, 25 and 23, which
// converts decimals, dates and timestamps. Prints the times and the ratios driver / DB-Library
// (goals: at most 1.05 in wall time, at most 1.10 in client CPU time) and DB-Library / libpq. An
// optional argument sets the number of rows, for profilers.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "bench_rows.h"
#include "kwconst.h"
#include "results.h"
#include "session.h"

namespace {

using kwbench::now;
using kwbench::Times;

int gRows = 1000000;
constexpr int kRuns = 5;

[[noreturn]] void giveUp(const std::string& why) {
    kwbench::giveUp("fetch_bench", why);
}

template <typename T>
T load(const char* buffer) {
    T value;
    std::memcpy(&value, buffer, sizeof value);
    return value;
}

// The driver: one request block, statement sent with request 21 (run, not just compiled),
// described (22), bound to host buffers (25) and fetched row by row (23).
Times readThroughDriver(const kwsh::Driver& driver, const std::string& server, long& checksum) {
    kwsh::Session session(driver);
    const kwsh::Outcome connected = session.connect({server, kwtest::kJoe.name, kwtest::kJoe.password, ""});
    if (!connected.ok()) {
        giveUp("driver connect: " + kwsh::describeFailure(connected));
    }
    RequestBlock& block = session.block();
    const Times start = now();
    session.setStatement(kwbench::kQuery);
    block.inValue = 1;
    if (const kwsh::Outcome sent = session.call(REQ_PREPARE); !sent.ok()) {
        giveUp("driver execute: " + kwsh::describeFailure(sent));
    }
    block.inValue = 1;
    session.call(REQ_DESCRIBE);
    const std::vector<ColumnDescriptor*> columns = kwsh::columnDescriptors(block);
    if (columns.size() != 5) {
        giveUp("the driver described " + std::to_string(columns.size()) + " columns, not 5");
    }
    std::vector<std::vector<char>> buffers(columns.size());
    std::vector<int32_t> indicators(columns.size());
    for (size_t i = 0; i < columns.size(); ++i) {
        buffers[i].assign(static_cast<size_t>(std::max<int32_t>(columns[i]->length, 16)) + 1, '\0');
        columns[i]->buffer = buffers[i].data();
        columns[i]->indicator = &indicators[i];
    }
    if (const kwsh::Outcome bound = session.call(REQ_BIND); !bound.ok()) {
        giveUp("driver bind: " + kwsh::describeFailure(bound));
    }
    int rows = 0;
    // The fetch loop calls the driver's entry itself, as a host's fetch loop does: the session's
    // call would also copy the message text of every answer.
    const KW_TDX_RoutFunction entry = driver.entry();
    auto fetch = [&] {
        block.requestCode = REQ_FETCH;
        entry(&block);
        return block.status;
    };
    int32_t status;
    while ((status = fetch()) == KW_STATUS_OK) {
        ++rows;
        const auto amount = load<HostDecimal>(buffers[1].data());
        const auto day = load<DateTimeValue>(buffers[2].data());
        const auto stamp = load<DateTimeValue>(buffers[3].data());
        checksum += load<int32_t>(buffers[0].data()) + static_cast<long>(amount.low) + day.day +
                    stamp.microseconds + buffers[4][0];
    }
    const Times seconds = kwbench::timeSince(start);
    if (status != KW_STATUS_NO_DATA || rows != gRows) {
        giveUp("the driver gave " + std::to_string(rows) + " rows, then status " + std::to_string(status) +
               ": " + block.message);
    }
    for (ColumnDescriptor* c : columns) {
        c->buffer = nullptr;
        c->indicator = nullptr;
    }
    session.setStatement("");
    session.disconnect();
    return seconds;
}

// DB-Library alone on a connection of its own. The driver's host toolkit has installed
// DB-Library's handlers; this connection is not registered with it, so its messages are dropped.
Times readWithDbLibrary(const std::string& server, int& rows, long& checksum) {
    LOGINREC* login = dblogin();
    DBSETLUSER(login, kwtest::kJoe.name);
    DBSETLPWD(login, kwtest::kJoe.password);
    DBPROCESS* dbp = dbopen(login, server.c_str());
    dbloginfree(login);
    if (dbp == nullptr) {
        giveUp("DB-Library cannot log in to the gateway");
    }
    const Times seconds = kwbench::readWithDbLibrary(dbp, rows, checksum);
    dbclose(dbp);
    return seconds;
}

void checkRows(const char* path, int rows) {
    if (rows != gRows) {
        giveUp(std::string(path) + " gave " + std::to_string(rows) + " rows");
    }
}

}  // namespace

int main(int argc, char** argv) {
    try {
        if (argc > 1 && (gRows = std::atoi(argv[1])) <= 0) {
            giveUp("the number of rows must be a positive number");
        }
        std::string error;
        const std::unique_ptr<kwsh::Driver> driver = kwsh::Driver::load(kwsh::defaultDriverPath(), error);
        if (!driver) {
            giveUp(error);
        }
        kwtest::Environment& env = kwtest::Environment::get();
        kwbench::fillRows(env, gRows);
        Times viaDriver{1e9, 1e9}, viaDbLibrary{1e9, 1e9}, viaLibpq{1e9, 1e9};
        long driverSum = 0, dbLibrarySum = 0, libpqSum = 0;
        for (int run = 0; run < kRuns; ++run) {
            int rows = 0;
            kwbench::keepBest(viaLibpq, kwbench::readWithLibpq(env.conninfo(), rows, libpqSum));
            checkRows("libpq", rows);
            kwbench::keepBest(viaDbLibrary, readWithDbLibrary(env.serverName(), rows, dbLibrarySum));
            checkRows("DB-Library", rows);
            kwbench::keepBest(viaDriver, readThroughDriver(*driver, env.serverName(), driverSum));
        }
        std::printf("rows: %d (INTEGER, DECIMAL(9,2), DATE, TIMESTAMP, VARCHAR(40)); best of %d runs\n",
                    gRows, kRuns);
        std::printf("                              wall      client CPU\n");
        std::printf("driver (requests 21-22-25-23) %.3f s   %.3f s\n", viaDriver.wall, viaDriver.cpu);
        std::printf("plain DB-Library loop         %.3f s   %.3f s\n", viaDbLibrary.wall, viaDbLibrary.cpu);
        std::printf("libpq to PostgreSQL           %.3f s   %.3f s\n", viaLibpq.wall, viaLibpq.cpu);
        std::printf("ratio driver/DB-Library wall  %.3f (goal: at most 1.05)\n",
                    viaDriver.wall / viaDbLibrary.wall);
        std::printf("ratio driver/DB-Library CPU   %.3f (goal: at most 1.10)\n",
                    viaDriver.cpu / viaDbLibrary.cpu);
        std::printf("ratio DB-Library/libpq        %.3f     %.3f\n", viaDbLibrary.wall / viaLibpq.wall,
                    viaDbLibrary.cpu / viaLibpq.cpu);
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "fetch_bench: %s\n", e.what());
        return 1;
    }
}
