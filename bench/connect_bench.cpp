// connect_bench.cpp - connecting through the driver against a bare DB-Library login, in one run.
//
// In the kwtest environment's database and gateway (PGHOST/PGPORT/PGUSER/PGPASSWORD), times a
// series of connect-disconnect cycles each way, five series each, interleaved: request 35 (login,
// the long-transaction probe and the connect-time SET commands) followed by request 4, and a bare
// dbopen followed by dbclose. The best series of each counts. Prints the time of one cycle each
// way, the number of requests the driver sends beyond a bare login (from the gateway's statement log)
// and the ratio driver / bare (goal: at most 1.5). An optional argument sets the cycles per series.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <utility>

#include "bench_rows.h"
#include "kwconst.h"
#include "session.h"

namespace {

using kwbench::now;
using kwbench::Times;

int gCycles = 100;
constexpr int kRuns = 5;

[[noreturn]] void giveUp(const std::string& why) {
    kwbench::giveUp("connect_bench", why);
}

Times connectThroughDriver(const kwsh::Driver& driver, const std::string& server) {
    kwsh::Session session(driver);
    const Times start = now();
    for (int i = 0; i < gCycles; ++i) {
        const kwsh::Outcome connected =
            session.connect({server, kwtest::kJoe.name, kwtest::kJoe.password, ""});
        if (!connected.ok()) {
            giveUp("driver connect: " + kwsh::describeFailure(connected));
        }
        if (const kwsh::Outcome closed = session.disconnect(); !closed.ok()) {
            giveUp("driver disconnect: " + kwsh::describeFailure(closed));
        }
    }
    return kwbench::timeSince(start);
}

// DB-Library alone. The driver's host toolkit has installed DB-Library's handlers; these
// connections are not registered with it, so the login's messages are dropped.
void connectOnce(const std::string& server) {
    LOGINREC* login = dblogin();
    DBSETLUSER(login, kwtest::kJoe.name);
    DBSETLPWD(login, kwtest::kJoe.password);
    DBPROCESS* dbp = dbopen(login, server.c_str());
    dbloginfree(login);
    if (dbp == nullptr) {
        giveUp("DB-Library cannot log in to the gateway");
    }
    dbclose(dbp);
}

Times connectWithDbLibrary(const std::string& server) {
    const Times start = now();
    for (int i = 0; i < gCycles; ++i) {
        connectOnce(server);
    }
    return kwbench::timeSince(start);
}

// The requests the gateway logs for one connect through the driver and for one bare login (which
// DB-Library itself sends while logging in).
std::pair<size_t, size_t> requestsAtConnect(const kwsh::Driver& driver, kwtest::Gateway& gateway) {
    size_t mark = gateway.mark();
    kwsh::Session session(driver);
    if (!session.connect({gateway.serverName(), kwtest::kJoe.name, kwtest::kJoe.password, ""}).ok()) {
        giveUp("driver connect failed");
    }
    session.disconnect();
    const size_t viaDriver = gateway.requestsSince(mark).size();
    mark = gateway.mark();
    connectOnce(gateway.serverName());
    return {viaDriver, gateway.requestsSince(mark).size()};
}

}  // namespace

int main(int argc, char** argv) {
    try {
        if (argc > 1 && (gCycles = std::atoi(argv[1])) <= 0) {
            giveUp("the number of cycles must be a positive number");
        }
        std::string error;
        const std::unique_ptr<kwsh::Driver> driver = kwsh::Driver::load(kwsh::defaultDriverPath(), error);
        if (!driver) {
            giveUp(error);
        }
        kwtest::Environment& env = kwtest::Environment::get();
        const auto [viaDriver, atLogin] = requestsAtConnect(*driver, env.gateway());
        Times driverTimes{1e9, 1e9}, bare{1e9, 1e9};
        for (int run = 0; run < kRuns; ++run) {
            kwbench::keepBest(bare, connectWithDbLibrary(env.serverName()));
            kwbench::keepBest(driverTimes, connectThroughDriver(*driver, env.serverName()));
        }
        const double perCycle = 1000.0 / gCycles;
        std::printf("connect-disconnect cycles: %d per series; best of %d series\n", gCycles, kRuns);
        std::printf("requests at a bare login (DB-Library's own): %zu; the driver sends %zu more\n", atLogin,
                    viaDriver - atLogin);
        std::printf("                              wall/cycle  client CPU/cycle\n");
        std::printf("driver (requests 35 and 4)    %.3f ms    %.3f ms\n", driverTimes.wall * perCycle,
                    driverTimes.cpu * perCycle);
        std::printf("bare dbopen and dbclose       %.3f ms    %.3f ms\n", bare.wall * perCycle,
                    bare.cpu * perCycle);
        std::printf("ratio connect driver/bare     %.3f (goal: at most 1.5)\n", driverTimes.wall / bare.wall);
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "connect_bench: %s\n", e.what());
        return 1;
    }
}
