// fault_test.cpp - the gateway against clients that fail: a client process that dies in the middle
// of a statement or of its rows, and clients that storm it with cancels at every point of a
// statement's life. The gateway must stop the PostgreSQL work of a dead client at once, and answer
// every cancel without hanging, losing its place in the protocol or leaving work running.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "kwtest/wait.h"
#include "live.h"

namespace {

using namespace kwtest;

// PostgreSQL backends of this test database (other than ours) whose statement contains `tag`,
// whatever their state: a backend that lingers idle after its client died counts too.
std::vector<std::string> backendsWith(const std::string& tag) {
    PGresult* r = PQexec(env().admin(), ("SELECT pid FROM pg_stat_activity WHERE pid <> pg_backend_pid() AND "
                                         "datname = current_database() AND query ILIKE '%" +
                                         tag + "%' ORDER BY pid")
                                            .c_str());
    std::vector<std::string> pids;
    for (int i = 0; PQresultStatus(r) == PGRES_TUPLES_OK && i < PQntuples(r); ++i) {
        pids.emplace_back(PQgetvalue(r, i, 0));
    }
    PQclear(r);
    return pids;
}

int activeWith(const std::string& tag) {
    return std::stoi(env().queryValue(
        "SELECT count(*) FROM pg_stat_activity WHERE state = 'active' AND pid <> pg_backend_pid() AND "
        "datname = current_database() AND query ILIKE '%" +
        tag + "%'"));
}

bool backendAlive(const std::string& pid) {
    return env().queryValue("SELECT count(*) FROM pg_stat_activity WHERE pid = " + pid) != "0";
}

// The client in a process of its own, so that it can die as a client program dies: it logs in,
// sends `sql`, reads `rows` rows of its answer when rows >= 0 (then stops reading), and waits to
// be killed.
pid_t startDoomedClient(const std::string& sql, int rows) {
    const std::string server = env().serverName();
    const pid_t pid = fork();
    if (pid != 0) {
        return pid;
    }
    DbClient c(server, kJoe.name, kJoe.password);
    if (!c.connected() || dbcmd(c.get(), sql.c_str()) != SUCCEED || dbsqlsend(c.get()) != SUCCEED) {
        _exit(2);
    }
    if (rows >= 0 && (dbsqlok(c.get()) != SUCCEED || dbresults(c.get()) != SUCCEED)) {
        _exit(3);
    }
    for (int i = 0; i < rows; ++i) {
        dbnextrow(c.get());
    }
    for (;;) {
        pause();
    }
}

// A client killed with its statement running in PostgreSQL, or with its rows streaming (the
// gateway blocked writing to a client that stopped reading). Bound: the gateway watches the client
// socket while a statement runs and meets the closed socket on its next write, so both the query
// and the whole PostgreSQL session must be gone within 10 s (in practice well under one).
TEST(ClientGone, MidStatementTheGatewayEndsThePostgresQueryAndSession) {
    const struct {
        const char* claim;
        const char* tag;
        std::string sql;
        int rows;
    } cases[] = {
        {"while the statement runs", "gone_sleep", "select pg_sleep(60) /* gone_sleep */", -1},
        {"while rows stream to a client that stopped reading", "gone_rows",
         "select g, repeat('r', 200) from generate_series(1, 50000000) g /* gone_rows */", 10},
    };
    env();  // the database and gateway exist before the client's process is made
    for (const auto& c : cases) {
        SCOPED_TRACE(c.claim);
        const pid_t client = startDoomedClient(c.sql, c.rows);
        ASSERT_GT(client, 0);
        const bool started = waitUntil([&] { return activeWith(c.tag) == 1; }, 15.0);
        const std::vector<std::string> backends = backendsWith(c.tag);
        kill(client, SIGKILL);
        int status = 0;
        waitpid(client, &status, 0);
        ASSERT_TRUE(started) << "the client's statement ran in PostgreSQL";
        ASSERT_EQ(backends.size(), 1u);
        const auto killed = Clock::now();
        EXPECT_TRUE(waitUntil([&] { return activeWith(c.tag) == 0; }, 10.0)) << "the query is gone";
        EXPECT_TRUE(waitUntil([&] { return !backendAlive(backends[0]); }, 10.0))
            << "the dead client's PostgreSQL session is gone";
        EXPECT_LT(secondsSince(killed), 10.0);
    }
    EXPECT_EQ(query(*connectAs(kJoe), "select 42"), (Rows{{"42"}})) << "the gateway serves on";
}

// One round of the storm: a statement that would run for 20 s or more is sent, then cancelled at a
// point that depends on `round`: before the gateway can have read it, a moment later, once its
// first answer has come, or after a few of its rows. Bound: each cancel is answered within 5 s
// (PostgreSQL stops at its next interrupt check); a cancel that was lost shows as a statement run
// to its end. Answers false (with a failure added) when a step failed.
bool stormRound(DbClient& c, int round, const std::string& tag) {
    const bool streams = round % 2 == 0;
    const std::string sql =
        streams
            ? "select g, repeat('s', 50), pg_sleep(0.001) from generate_series(1, 20000) g /* " + tag + " */"
            : "select pg_sleep(20), " + std::to_string(round) + " /* " + tag + " */";
    if (dbcmd(c.get(), sql.c_str()) != SUCCEED || dbsqlsend(c.get()) != SUCCEED) {
        ADD_FAILURE() << "round " << round << ": the statement could not be sent";
        return false;
    }
    switch (round / 2 % 4) {
        case 0:
            break;
        case 1:
            std::this_thread::sleep_for(std::chrono::milliseconds(round % 7));
            break;
        case 2:
            if (streams) {
                dbsqlok(c.get());
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
            break;
        case 3:
            if (!streams) {
                std::this_thread::sleep_for(std::chrono::milliseconds(150));
            } else if (dbsqlok(c.get()) == SUCCEED && dbresults(c.get()) == SUCCEED) {
                for (int i = 0; i < round % 5; ++i) {
                    dbnextrow(c.get());
                }
            }
            break;
    }
    const auto cancelled = Clock::now();
    if (dbcancel(c.get()) != SUCCEED) {
        ADD_FAILURE() << "round " << round << ": the cancel failed";
        return false;
    }
    if (secondsSince(cancelled) > 5.0) {
        ADD_FAILURE() << "round " << round << ": the cancel took " << secondsSince(cancelled) << " s";
        return false;
    }
    return true;
}

// Four clients at once, each cancelling 100 statements at every point of their lives, and
// checking every tenth round that the session answers the right thing. Bound: a cancel is
// answered at once; the whole storm must end within 120 s under the sanitizers.
TEST(CancelStorm, EveryCancelIsAnsweredAndEverySessionStaysInStep) {
    constexpr int kClients = 4;
    constexpr int kRounds = 100;
    const auto start = Clock::now();
    std::vector<std::thread> clients;
    std::atomic<int> checked{0};
    env();
    for (int k = 0; k < kClients; ++k) {
        clients.emplace_back([k, &checked] {
            auto c = connectAs(kJoe);
            ASSERT_TRUE(c->connected());
            const std::string tag = "storm_" + std::to_string(k);
            for (int round = 0; round < kRounds; ++round) {
                if (!stormRound(*c, round + k, tag)) {
                    return;
                }
                if (round % 10 == 9) {
                    const std::string expected = std::to_string(k * 1000 + round);
                    ASSERT_EQ(query(*c, "select " + expected), (Rows{{expected}})) << "client " << k;
                    ++checked;
                }
            }
        });
    }
    for (std::thread& t : clients) {
        t.join();
    }
    EXPECT_EQ(checked, kClients * kRounds / 10);
    EXPECT_LT(secondsSince(start), 120.0);
    EXPECT_TRUE(waitUntil([] { return activeWith("storm_") == 0; }, 5.0)) << "nothing cancelled runs on";
}

}  // namespace
