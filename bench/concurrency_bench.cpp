// concurrency_bench.cpp - many sessions reading at once against one session, and what an idle
// logged-in session costs the gateway.
//
// In the kwtest environment (PGHOST/PGPORT/PGUSER/PGPASSWORD), fills the mixed benchmark table
// with 100,000 rows, then:
//   - one session reads it (best of three readings): its rows per second;
//   - 64 sessions log in, then read it all at the same moment, each on a thread of its own: the
//     rows of all of them over the time until the last one ends. Every session must read every row
//     with the same checksum as the single session, and no server error may arrive. The ratio of
//     the two rates has the goal of at least 1.6 (two cores, shared with PostgreSQL);
//   - on a gateway of its own allowing enough sessions, 500 sessions log in and stay idle; the
//     gateway's resident memory before and after, over 500, is one idle session's cost (goal: at
//     most 256 KB). This needs a cluster that accepts 500 more connections; when it does not, the
//     figure is skipped with the reason (bench/run starts a cluster that does).
// It also prints the CPU time the client, the gateway and PostgreSQL spent per 1,000,000 rows in
// each reading, which shows where the cores went.
// Arguments: rows, reading sessions, idle sessions (defaults 100000, 64, 500).
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <latch>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench_rows.h"
#include "kwtest/dblib_client.h"

namespace {

using kwbench::Times;

int gRows = 100000;
int gSessions = 64;
int gIdle = 500;

[[noreturn]] void giveUp(const std::string& why) {
    kwbench::giveUp("concurrency_bench", why);
}

// The first server message of severity above 10 a client received, or "".
std::string firstError(const kwtest::DbClient& client) {
    for (const kwtest::Message& m : client.messages()) {
        if (m.severity > 10) {
            return (m.server ? "server message " : "DB-Library error ") + std::to_string(m.number) + ": " +
                   m.text;
        }
    }
    return {};
}

struct Reading {
    int rows = 0;
    long checksum = 0;
    std::string error;
};

Reading readOnce(kwtest::DbClient& client) {
    Reading r;
    kwbench::readWithDbLibrary(client.get(), r.rows, r.checksum);
    r.error = firstError(client);
    return r;
}

std::unique_ptr<kwtest::DbClient> logIn(const std::string& server) {
    auto client = std::make_unique<kwtest::DbClient>(server, kwtest::kJoe.name, kwtest::kJoe.password);
    if (!client->connected()) {
        const std::string error = firstError(*client);
        giveUp("cannot log in to the gateway" + (error.empty() ? std::string() : ": " + error));
    }
    return client;
}

// The CPU time a set of processes has used so far, in seconds, by the kind of process.
struct Cpu {
    double client = 0, gateway = 0, postgres = 0;
};

// A process's user and system CPU time, from /proc; 0 when it has gone.
double cpuSeconds(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(stat, line);
    const size_t end = line.rfind(')');
    if (end == std::string::npos) {
        return 0;
    }
    // After the command name: state, then fields 4 to 13, then utime and stime.
    std::istringstream fields(line.substr(end + 2));
    std::string field;
    for (int i = 3; i <= 13 && fields >> field; ++i) {
    }
    double user = 0, system = 0;
    fields >> user >> system;
    return (user + system) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// This process's, the gateway's and JOE's PostgreSQL backends' CPU time so far.
Cpu sampleCpu(kwtest::Environment& env) {
    Cpu cpu;
    rusage self{};
    getrusage(RUSAGE_SELF, &self);
    cpu.client = static_cast<double>(self.ru_utime.tv_sec + self.ru_stime.tv_sec) +
                 static_cast<double>(self.ru_utime.tv_usec + self.ru_stime.tv_usec) * 1e-6;
    cpu.gateway = cpuSeconds(env.gateway().pid());
    PGresult* r =
        PQexec(env.admin(),
               "SELECT pid FROM pg_stat_activity WHERE usename = 'joe' AND backend_type = 'client backend'");
    for (int i = 0; i < PQntuples(r); ++i) {
        cpu.postgres += cpuSeconds(static_cast<pid_t>(std::atol(PQgetvalue(r, i, 0))));
    }
    PQclear(r);
    return cpu;
}

// Prints where the CPU of a reading went, per 1,000,000 rows; answers the cores it kept busy on
// average over its `wall` seconds.
double printCpu(const char* who, const Cpu& before, const Cpu& after, double rows, double wall) {
    const double per = 1e6 / rows;
    std::printf("CPU per 1,000,000 rows, %-12s client %.2f s, gateway %.2f s, PostgreSQL %.2f s\n", who,
                (after.client - before.client) * per, (after.gateway - before.gateway) * per,
                (after.postgres - before.postgres) * per);
    return (after.client - before.client + after.gateway - before.gateway + after.postgres -
            before.postgres) /
           wall;
}

// The rate of one session: the best of three readings.
double oneSessionRate(kwtest::Environment& env, long& checksum) {
    auto client = logIn(env.serverName());
    double best = 1e9, total = 0;
    const Cpu before = sampleCpu(env);
    for (int run = 0; run < 3; ++run) {
        const Times start = kwbench::now();
        const Reading r = readOnce(*client);
        const double wall = kwbench::timeSince(start).wall;
        best = std::min(best, wall);
        total += wall;
        if (r.rows != gRows || !r.error.empty()) {
            giveUp("one session read " + std::to_string(r.rows) + " rows" +
                   (r.error.empty() ? "" : ", then " + r.error));
        }
        checksum = r.checksum;
    }
    const double cores = printCpu("one session:", before, sampleCpu(env), 3.0 * gRows, total);
    // Many sessions can at best keep both cores busy, so the ratio cannot pass 2 / cores.
    std::printf("one session kept %.2f cores busy on average\n", cores);
    return gRows / best;
}

// The aggregate rate of `gSessions` sessions reading at once; every reading checked against the
// single session's checksum.
double manySessionsRate(kwtest::Environment& env, long checksum) {
    std::vector<std::unique_ptr<kwtest::DbClient>> clients;
    for (int i = 0; i < gSessions; ++i) {
        clients.push_back(logIn(env.serverName()));
    }
    std::vector<Reading> readings(static_cast<size_t>(gSessions));
    std::latch ready(gSessions + 1);
    std::latch go(1);
    std::vector<std::thread> threads;
    for (int i = 0; i < gSessions; ++i) {
        threads.emplace_back([&, i] {
            ready.count_down();
            go.wait();
            readings[static_cast<size_t>(i)] = readOnce(*clients[static_cast<size_t>(i)]);
        });
    }
    ready.arrive_and_wait();
    const Cpu before = sampleCpu(env);
    const Times start = kwbench::now();
    go.count_down();
    for (std::thread& t : threads) {
        t.join();
    }
    const double seconds = kwbench::timeSince(start).wall;
    printCpu("all sessions:", before, sampleCpu(env), static_cast<double>(gRows) * gSessions, seconds);
    for (size_t i = 0; i < readings.size(); ++i) {
        const Reading& r = readings[i];
        if (r.rows != gRows || r.checksum != checksum || !r.error.empty()) {
            giveUp("session " + std::to_string(i) + " of " + std::to_string(gSessions) + " read " +
                   std::to_string(r.rows) + " of " + std::to_string(gRows) + " rows" +
                   (r.checksum != checksum ? " with another checksum" : "") +
                   (r.error.empty() ? "" : ", then " + r.error));
        }
    }
    return static_cast<double>(gRows) * gSessions / seconds;
}

// A process's resident memory in KB, from /proc.
long residentKb(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string key;
    long value = -1;
    while (status >> key) {
        if (key == "VmRSS:") {
            status >> value;
            break;
        }
        status.ignore(1 << 12, '\n');
    }
    if (value < 0) {
        giveUp("cannot read the resident memory of process " + std::to_string(pid));
    }
    return value;
}

// Connections the cluster accepts beyond those open now.
long connectionsLeft(kwtest::Environment& env) {
    return std::atol(env.queryValue("SHOW max_connections").c_str()) -
           std::atol(env.queryValue("SELECT count(*) FROM pg_stat_activity").c_str()) -
           std::atol(env.queryValue("SHOW superuser_reserved_connections").c_str());
}

// The gateway's resident memory per idle logged-in session, in KB; negative when skipped.
double idleSessionKb(kwtest::Environment& env) {
    const long left = connectionsLeft(env);
    if (left < gIdle + 10) {
        std::printf(
            "idle session memory: skipped: the cluster accepts %ld more connections, %d needed "
            "(raise max_connections)\n",
            left, gIdle + 10);
        return -1;
    }
    kwtest::Gateway& gateway = env.startGateway("KWIDLE", {"--max-sessions", std::to_string(gIdle + 10)});
    // One session in and out first, so that what every session shares (libraries paged in, the
    // first thread's arena) is counted before.
    logIn(gateway.serverName()).reset();
    const long before = residentKb(gateway.pid());
    std::vector<std::unique_ptr<kwtest::DbClient>> clients(static_cast<size_t>(gIdle));
    // Logins are slow (PostgreSQL authenticates each one), so a few threads make them.
    constexpr int kLoginThreads = 8;
    std::vector<std::thread> threads;
    for (int t = 0; t < kLoginThreads; ++t) {
        threads.emplace_back([&, t] {
            for (size_t i = static_cast<size_t>(t); i < clients.size(); i += kLoginThreads) {
                clients[i] = std::make_unique<kwtest::DbClient>(gateway.serverName(), kwtest::kJoe.name,
                                                                kwtest::kJoe.password);
            }
        });
    }
    for (std::thread& t : threads) {
        t.join();
    }
    for (const auto& client : clients) {
        if (!client->connected()) {
            giveUp("an idle session could not log in: " + firstError(*client));
        }
    }
    const long after = residentKb(gateway.pid());
    std::printf("gateway resident memory: %ld KB before, %ld KB with %d idle sessions\n", before, after,
                gIdle);
    clients.clear();
    gateway.stop();
    return static_cast<double>(after - before) / gIdle;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        const char* what[] = {"rows", "reading sessions", "idle sessions"};
        int* value[] = {&gRows, &gSessions, &gIdle};
        for (int i = 1; i < argc && i <= 3; ++i) {
            if ((*value[i - 1] = std::atoi(argv[i])) <= 0) {
                giveUp(std::string("the number of ") + what[i - 1] + " must be a positive number");
            }
        }
        kwtest::Environment& env = kwtest::Environment::get();
        kwbench::fillRows(env, gRows);
        long checksum = 0;
        const double one = oneSessionRate(env, checksum);
        const double many = manySessionsRate(env, checksum);
        std::printf(
            "rows: %d (INTEGER, DECIMAL(9,2), DATE, TIMESTAMP, VARCHAR(40)), read in full by each session\n",
            gRows);
        std::printf("one session                  %.0f rows/s\n", one);
        std::printf("%d sessions at once          %.0f rows/s in all, every row of every session read\n",
                    gSessions, many);
        std::printf("ratio sessions %d/1          %.3f (goal: at least 1.6)\n", gSessions, many / one);
        const double idle = idleSessionKb(env);
        if (idle >= 0) {
            std::printf("idle session memory KB       %.1f (goal: at most 256)\n", idle);
        }
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "concurrency_bench: %s\n", e.what());
        return 1;
    }
}
