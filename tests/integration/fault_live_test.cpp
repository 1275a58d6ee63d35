// fault_live_test.cpp - the driver while the gateway or the database fails under it: the gateway
// killed during a connect and during a fetch, frozen during a statement, PostgreSQL stopped and
// started again under live sessions, and storms of cancels. Each fault must end in an error status
// with a message within a stated bound (no hang), leave nothing of the driver's in the block's
// memory context, and leave the next connect working.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "driver_host.h"
#include "kwtest/private_cluster.h"
#include "kwtest/wait.h"

namespace {

using kwhosttest::Transaction;
using kwhosttest::value;
using kwtest::Clock;
using kwtest::Environment;
using kwtest::secondsSince;
using kwtest::waitUntil;
using Rows = std::vector<std::vector<std::string>>;

// Rows enough that a result never fits in the socket buffers between the gateway and the driver.
constexpr int kBigRows = 200000;
const char kSelectBig[] = "SELECT ID, NOTE FROM FAULTROWS ORDER BY ID";

bool containsNoCase(std::string text, std::string part) {
    auto lower = [](std::string& s) {
        std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    };
    lower(text);
    lower(part);
    return text.find(part) != std::string::npos;
}

// Statements of this test database still running in PostgreSQL whose text contains `tag`.
int runningQueries(const std::string& tag) {
    return std::stoi(Environment::get().queryValue(
        "SELECT count(*) FROM pg_stat_activity WHERE state <> 'idle' AND pid <> pg_backend_pid() AND "
        "datname = current_database() AND query ILIKE '%" +
        tag + "%'"));
}

// A result set bound to buffers of the test's own; the descriptors let go of them on destruction.
class Bound {
  public:
    explicit Bound(Transaction& t) : t_(t), bound_(kwhosttest::bindColumns(t)) {}
    ~Bound() {
        for (ColumnDescriptor* d : bound_.columns) {
            d->buffer = nullptr;
            d->indicator = nullptr;
        }
    }
    bool ok() const { return t_.block().status == KW_STATUS_OK && !bound_.columns.empty(); }
    // Fetches up to `n` rows; answers how many came, and leaves the last status in the block.
    int fetch(int n) {
        int got = 0;
        while (got < n &&
               (t_.call(REQ_FETCH) == KW_STATUS_OK || t_.block().status == KW_STATUS_ROW_WITH_WARNING)) {
            ++got;
        }
        return got;
    }

  private:
    Transaction& t_;
    kwhosttest::BoundColumns bound_;
};

// Releases what the driver left in the block after a failure or a cancel, then answers whether
// the context holds exactly `baseline` allocations.
bool backTo(Transaction& t, int64_t baseline) {
    kwshr_releaseBlockData(&t.block());
    return t.liveAllocations() == baseline;
}

class FaultLiveTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        Environment::get().exec(
            "CREATE SCHEMA IF NOT EXISTS joe AUTHORIZATION joe;"
            "CREATE TABLE joe.faultrows AS SELECT g AS id, repeat('n', 100)::varchar(100) AS note "
            "FROM generate_series(1, " +
            std::to_string(kBigRows) +
            ") g;"
            "ALTER TABLE joe.faultrows OWNER TO joe");
    }

    Environment& env = Environment::get();
};

// The gateway killed under a connect, then under a fetch; a restarted gateway serves the same
// block after each. During the connect it is first stopped (SIGSTOP) so that the login waits in its
// listen queue, and the connection is reset. Bound: the reset is seen at once; this suite's login
// timeout (5 s) is the outer limit, so the failure must come within 10 s. During the fetch, the
// rows already in the socket buffers are read and the next read meets the closed connection at
// once; 10 s covers reading what was buffered under the sanitizers.
TEST_F(FaultLiveTest, AGatewayKilledDuringAConnectOrAFetchFailsCleanlyAndARestartedOneServes) {
    Transaction t;
    t.setLogin("KWGW_FAULT");
    const int64_t before = t.liveAllocations();
    {
        SCOPED_TRACE("killed during a connect");
        const pid_t pid = env.startGateway("KWGW_FAULT", {}).pid();
        ASSERT_EQ(kill(pid, SIGSTOP), 0);
        std::thread killer([pid] {
            std::this_thread::sleep_for(std::chrono::milliseconds(700));
            kill(pid, SIGKILL);
        });
        const auto start = Clock::now();
        const int32_t status = t.call(REQ_CONNECT);
        const double elapsed = secondsSince(start);
        killer.join();
        EXPECT_NE(status, KW_STATUS_OK);
        EXPECT_NE(t.message(), "");
        EXPECT_GE(elapsed, 0.5) << "the connect was still waiting when the gateway died";
        EXPECT_LT(elapsed, 10.0);
        EXPECT_EQ(+t.block().connection, nullptr);
        EXPECT_EQ(+t.block().dbproc, nullptr);
        EXPECT_EQ(kwhost_registeredConnectionCount(), 0);
        EXPECT_EQ(t.liveAllocations(), before);
    }
    SCOPED_TRACE("killed during a fetch");
    const kwtest::Gateway& doomed = env.startGateway("KWGW_FAULT", {});
    ASSERT_EQ(t.call(REQ_CONNECT), KW_STATUS_OK) << t.message();
    EXPECT_EQ(value(t, "SELECT COUNT(*) FROM FAULTROWS"), std::to_string(kBigRows));
    ASSERT_EQ(t.execute(kSelectBig), KW_STATUS_OK) << t.message();
    int fetched = 0;
    {
        Bound bound(t);
        ASSERT_TRUE(bound.ok()) << t.message();
        fetched = bound.fetch(100);
        ASSERT_EQ(fetched, 100) << t.message();
        ASSERT_EQ(kill(doomed.pid(), SIGKILL), 0);
        const auto start = Clock::now();
        fetched += bound.fetch(kBigRows);
        EXPECT_LT(secondsSince(start), 10.0);
    }
    const int32_t status = t.block().status;
    EXPECT_LT(fetched, kBigRows) << "the rows stop where the connection was lost";
    EXPECT_NE(status, KW_STATUS_OK);
    EXPECT_NE(status, KW_STATUS_NO_DATA) << "a lost connection is not the end of the rows";
    EXPECT_NE(t.message(), "");
    // The next request meets the lost connection too, and says so.
    EXPECT_NE(t.execute("SELECT COUNT(*) FROM FAULTROWS"), KW_STATUS_OK);
    EXPECT_NE(t.message(), "");

    const auto start = Clock::now();
    EXPECT_EQ(t.disconnect(), KW_STATUS_OK) << t.message();
    EXPECT_LT(secondsSince(start), 5.0) << "nothing to wait for on a dead connection";
    EXPECT_EQ(+t.block().connection, nullptr);
    EXPECT_EQ(kwhost_registeredConnectionCount(), 0);
    EXPECT_TRUE(backTo(t, before));
    EXPECT_TRUE(waitUntil([] { return runningQueries("faultrows") == 0; }, 10.0))
        << "PostgreSQL let go of the dead gateway's query";

    env.startGateway("KWGW_FAULT", {});
    ASSERT_EQ(t.call(REQ_CONNECT), KW_STATUS_OK) << t.message();
    EXPECT_EQ(value(t, "SELECT MAX(ID) FROM FAULTROWS"), std::to_string(kBigRows));
    EXPECT_EQ(t.disconnect(), KW_STATUS_OK);
    EXPECT_TRUE(backTo(t, before));
}

// The gateway freezes (SIGSTOP) with the statement or its rows under way. The connection's
// timeout (2 s) applies: the statement times out, the cancel sent then gets no answer within
// another timeout, and the connection is given up. Bound: two timeouts and DB-Library's
// one-second polling, about 5 s; asserted within 15 s.
TEST_F(FaultLiveTest, AGatewayFrozenDuringAStatementTimesTheStatementOutAndGivesTheConnectionUp) {
    const struct {
        const char* claim;
        const char* sql;
        int rowsBeforeFreeze;  // -1: freeze while the statement runs, before any answer
    } cases[] = {
        {"frozen while the statement runs", "SELECT PG_SLEEP(20) AS FROZEN_SLEEP", -1},
        {"frozen while rows are fetched", kSelectBig, 50},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.claim);
        const kwtest::Gateway& frozen = env.startGateway("KWGW_FROZEN", {});
        env.addServer("KWGW_FROZEN_TIMEOUT", frozen.port(), {"timeout = 2"});
        const pid_t pid = frozen.pid();
        Transaction t;
        t.setLogin("KWGW_FROZEN_TIMEOUT");
        const int64_t before = t.liveAllocations();
        ASSERT_EQ(t.call(REQ_CONNECT), KW_STATUS_OK) << t.message();

        Clock::time_point start;
        int32_t status = KW_STATUS_OK;
        if (c.rowsBeforeFreeze < 0) {
            std::thread freezer([pid] {
                std::this_thread::sleep_for(std::chrono::milliseconds(500));
                kill(pid, SIGSTOP);
            });
            start = Clock::now();
            status = t.execute(c.sql);
            freezer.join();
        } else {
            ASSERT_EQ(t.execute(c.sql), KW_STATUS_OK) << t.message();
            Bound bound(t);
            ASSERT_TRUE(bound.ok()) << t.message();
            ASSERT_EQ(bound.fetch(c.rowsBeforeFreeze), c.rowsBeforeFreeze) << t.message();
            ASSERT_EQ(kill(pid, SIGSTOP), 0);
            start = Clock::now();
            EXPECT_LT(bound.fetch(kBigRows), kBigRows);
            status = t.block().status;
        }
        const double elapsed = secondsSince(start);
        EXPECT_NE(status, KW_STATUS_OK);
        EXPECT_NE(status, KW_STATUS_NO_DATA);
        EXPECT_TRUE(containsNoCase(t.message(), "time")) << "the message names the timeout: " << t.message();
        if (c.rowsBeforeFreeze < 0) {
            // With the limit of its freetds.conf entry, not "EOF".
            EXPECT_EQ(t.message().rfind("Timeout: the server answered neither the statement nor its cancel "
                                        "within 2 seconds (the timeout set for this server); the connection "
                                        "was closed.",
                                        0),
                      0u)
                << t.message();
        }
        EXPECT_GE(elapsed, 1.5) << "not before the timeout";
        EXPECT_LT(elapsed, 15.0);
        kill(pid, SIGCONT);

        EXPECT_EQ(t.disconnect(), KW_STATUS_OK) << t.message();
        EXPECT_EQ(kwhost_registeredConnectionCount(), 0);
        EXPECT_TRUE(backTo(t, before));
        // Woken up, the gateway finds its client gone and stops the statement in PostgreSQL.
        EXPECT_TRUE(waitUntil(
            [] { return runningQueries("frozen_sleep") + runningQueries("faultrows") == 0; }, 10.0));
        ASSERT_EQ(t.call(REQ_CONNECT), KW_STATUS_OK) << "the woken gateway serves again: " << t.message();
        EXPECT_EQ(value(t, "SELECT MIN(ID) FROM FAULTROWS"), "1");
        EXPECT_EQ(t.disconnect(), KW_STATUS_OK);
    }
}

// A session's request while PostgreSQL is down, on a thread of its own: its status, its message
// and how long it took.
struct Outcome {
    int32_t status = KW_STATUS_OK;
    std::string message;
    double seconds = 0;
};

Outcome run(Transaction& t, const std::string& sql) {
    const auto start = Clock::now();
    Outcome o;
    o.status = t.execute(sql);
    o.message = t.message();
    o.seconds = secondsSince(start);
    kwshr_releaseBlockData(&t.block());
    return o;
}

// PostgreSQL (a private cluster, so no other test program loses its database) is stopped with a
// fast shutdown while one session idles, one holds an open transaction and one runs a statement.
// Bound: the running statement fails as soon as its backend is ended, the idle session's next
// statement and a new login fail at once as nothing listens; each within 10 s.
TEST_F(FaultLiveTest, PostgresStoppedUnderLiveSessionsGivesErrorsAndAfterItsRestartNewSessionsWork) {
    kwtest::PrivateCluster pg;
    PGconn* admin = PQconnectdb(pg.conninfo().c_str());
    ASSERT_EQ(PQstatus(admin), CONNECTION_OK) << PQerrorMessage(admin);
    PQclear(PQexec(admin, "CREATE DATABASE kwfault ENCODING 'UTF8' TEMPLATE template0"));
    PQfinish(admin);
    std::string output;
    ASSERT_EQ(env.runKwgateway({"init", "--pg", pg.conninfo("kwfault")}, &output), 0) << output;
    admin = PQconnectdb(pg.conninfo("kwfault").c_str());
    PGresult* r = PQexec(admin,
                         "CREATE ROLE joe LOGIN PASSWORD 'joe-pw-1'; ALTER ROLE joe SET lc_messages = 'C';"
                         "CREATE SCHEMA joe AUTHORIZATION joe; CREATE TABLE joe.kept (id INTEGER);"
                         "ALTER TABLE joe.kept OWNER TO joe; INSERT INTO joe.kept VALUES (1)");
    ASSERT_EQ(PQresultStatus(r), PGRES_COMMAND_OK) << PQerrorMessage(admin);
    PQclear(r);
    PQfinish(admin);

    const std::string dir = env.tempDir();
    kwtest::Gateway gateway(
        "KWGW_PRIVATE", env.kwgatewayPath(),
        {"serve", "--pg", pg.serverConninfo("kwfault"), "--listen", "127.0.0.1:0", "--statement-log",
         dir + "/KWGW_PRIVATE.statements", "--server-name", "KWGW_PRIVATE"},
        dir + "/KWGW_PRIVATE.log", dir + "/KWGW_PRIVATE.statements");
    env.addServer("KWGW_PRIVATE", gateway.port());

    Transaction idle, inTransaction, running;
    std::vector<int64_t> baselines;
    for (Transaction* t : {&idle, &inTransaction, &running}) {
        t->setLogin("KWGW_PRIVATE");
        baselines.push_back(t->liveAllocations());
        ASSERT_EQ(t->call(REQ_CONNECT), KW_STATUS_OK) << t->message();
    }
    ASSERT_EQ(value(idle, "SELECT COUNT(*) FROM KEPT"), "1");
    ASSERT_EQ(inTransaction.call(REQ_BEGIN_LONG_TRANSACTION), KW_STATUS_OK) << inTransaction.message();
    ASSERT_EQ(inTransaction.execute("INSERT INTO KEPT VALUES (99)"), KW_STATUS_OK) << inTransaction.message();

    Outcome runningOutcome;
    std::thread statement([&] { runningOutcome = run(running, "SELECT PG_SLEEP(60) AS DOOMED_SLEEP"); });
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    const auto stopped = Clock::now();
    pg.stop();
    statement.join();
    EXPECT_NE(runningOutcome.status, KW_STATUS_OK);
    EXPECT_NE(runningOutcome.message, "");
    EXPECT_LT(secondsSince(stopped), 10.0);

    const Outcome idleOutcome = run(idle, "SELECT COUNT(*) FROM KEPT");
    EXPECT_NE(idleOutcome.status, KW_STATUS_OK);
    EXPECT_NE(idleOutcome.message, "");
    EXPECT_LT(idleOutcome.seconds, 10.0);

    Transaction refused;
    refused.setLogin("KWGW_PRIVATE");
    const int64_t refusedBaseline = refused.liveAllocations();
    const auto login = Clock::now();
    EXPECT_NE(refused.call(REQ_CONNECT), KW_STATUS_OK);
    EXPECT_LT(secondsSince(login), 10.0);
    EXPECT_NE(refused.message(), "") << "a refused login says why";
    EXPECT_EQ(+refused.block().connection, nullptr);
    EXPECT_EQ(refused.liveAllocations(), refusedBaseline);

    pg.start();
    // The old sessions either went on with a new database connection or end with an error; none
    // hangs and none answers as if nothing had happened to the open transaction.
    const Outcome after = run(inTransaction, "SELECT COUNT(*) FROM KEPT");
    if (after.status == KW_STATUS_OK) {
        EXPECT_EQ(value(inTransaction, "SELECT COUNT(*) FROM KEPT WHERE ID = 99"), "0");
    } else {
        EXPECT_NE(after.message, "");
    }
    EXPECT_LT(after.seconds, 10.0);
    size_t i = 0;
    for (Transaction* t : {&idle, &inTransaction, &running}) {
        SCOPED_TRACE("session " + std::to_string(i));
        EXPECT_EQ(t->disconnect(), KW_STATUS_OK) << t->message();
        EXPECT_TRUE(backTo(*t, baselines[i++]));
    }
    EXPECT_EQ(kwhost_registeredConnectionCount(), 0);

    ASSERT_EQ(refused.call(REQ_CONNECT), KW_STATUS_OK)
        << "a new session after the restart: " << refused.message();
    EXPECT_EQ(value(refused, "SELECT COUNT(*) FROM KEPT"), "1") << "the open transaction's row is gone";
    EXPECT_EQ(refused.execute("INSERT INTO KEPT VALUES (2)"), KW_STATUS_OK) << refused.message();
    EXPECT_EQ(value(refused, "SELECT SUM(ID) FROM KEPT"), "3");
    EXPECT_EQ(refused.disconnect(), KW_STATUS_OK);
    EXPECT_EQ(kill(gateway.pid(), 0), 0) << "the gateway lived through it";
}

// Cancels at every point of a statement's life: before its first row, after a few rows of a
// result far too big to have arrived, twice and three times in a row, and while the driver waits
// for an asynchronous statement (from the host's wait hook, several at once). The connection
// answers correctly after each, and nothing runs on in PostgreSQL. Bound: each cancel ends its
// statement at once; the whole storm must finish within 120 s under the sanitizers.
TEST_F(FaultLiveTest, AStormOfCancelsNeverHangsAndTheConnectionStaysUsable) {
    Transaction t;
    t.setLogin();
    const int64_t before = t.liveAllocations();  // the host's own login texts
    ASSERT_EQ(t.call(REQ_CONNECT), KW_STATUS_OK) << t.message();
    const auto start = Clock::now();
    for (int i = 0; i < 150; ++i) {
        SCOPED_TRACE("round " + std::to_string(i));
        ASSERT_EQ(t.execute(kSelectBig), KW_STATUS_OK) << t.message();
        {
            Bound bound(t);
            ASSERT_TRUE(bound.ok()) << t.message();
            const int rows = i % 7;
            ASSERT_EQ(bound.fetch(rows), rows) << t.message();
        }
        for (int n = 0; n <= i % 3; ++n) {
            EXPECT_EQ(t.call(REQ_CANCEL), KW_STATUS_OK) << t.message();
        }
        if (i % 10 == 9) {
            ASSERT_EQ(value(t, "SELECT COUNT(*) FROM FAULTROWS WHERE ID <= " + std::to_string(i)),
                      std::to_string(i))
                << t.message();
        }
    }

    struct Storm {
        Transaction* t;
        int hookCalls = 0;
        int refused = 0;  // cancels answered with a failure
    } storm{&t};
    kwhost_setWaitHook(
        [](RequestBlock* block, void* context) {
            auto* s = static_cast<Storm*>(context);
            if (block != &s->t->block()) {
                return;
            }
            ++s->hookCalls;
            const int32_t code = block->requestCode;
            for (int n = 0; n < 5; ++n) {
                if (s->t->call(REQ_CANCEL) != KW_STATUS_OK) {
                    ++s->refused;
                }
            }
            block->requestCode = code;
        },
        &storm);
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE("asynchronous round " + std::to_string(i));
        t.block().asyncSend = 1;
        const auto sent = Clock::now();
        t.execute("SELECT PG_SLEEP(30) AS STORMED_SLEEP");
        t.block().asyncSend = 0;
        EXPECT_LT(secondsSince(sent), 10.0) << "cancelled, not waited out";
        EXPECT_EQ(+t.block().pendingState, KW_PENDING_NONE);
        kwshr_releaseBlockData(&t.block());
        EXPECT_EQ(value(t, "SELECT COUNT(*) FROM FAULTROWS WHERE ID <= 7"), "7") << t.message();
    }
    kwhost_setWaitHook(nullptr, nullptr);
    EXPECT_GE(storm.hookCalls, 3);
    EXPECT_EQ(storm.refused, 0);
    EXPECT_LT(secondsSince(start), 120.0);

    EXPECT_TRUE(
        waitUntil([] { return runningQueries("faultrows") + runningQueries("stormed_sleep") == 0; }, 5.0))
        << "every cancelled statement stopped in PostgreSQL";
    EXPECT_EQ(t.disconnect(), KW_STATUS_OK) << t.message();
    EXPECT_TRUE(backTo(t, before));
}

// A gateway that serves at most three sessions, filled first by idle TCP connections that never log
// in (what once took every thread of the gateway) and then by logged-in sessions. A login beyond
// the limit gets a clear refusal, not a dropped connection; the gateway itself serves on. Bound:
// the refusal is immediate, within 10 s; idle connections are let go at the login timeout (2 s).
TEST_F(FaultLiveTest, ALoginBeyondTheGatewaysSessionLimitIsRefusedClearlyAndServedOnceOneEnds) {
    const kwtest::Gateway& gateway =
        env.startGateway("KWGW_FULL", {"--max-sessions", "3", "--login-timeout", "2"});
    auto refusedLogin = [&](const char* claim) {
        SCOPED_TRACE(claim);
        Transaction t;
        t.setLogin("KWGW_FULL");
        const int64_t before = t.liveAllocations();
        const auto start = Clock::now();
        EXPECT_NE(t.call(REQ_CONNECT), KW_STATUS_OK);
        EXPECT_LT(secondsSince(start), 10.0);
        EXPECT_TRUE(containsNoCase(t.message(), "too many sessions")) << t.message();
        EXPECT_EQ(+t.block().connection, nullptr);
        EXPECT_EQ(t.liveAllocations(), before);
    };
    {
        std::vector<int> idle;
        for (int i = 0; i < 3; ++i) {
            const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_in addr{};
            addr.sin_family = AF_INET;
            addr.sin_port = htons(gateway.port());
            addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            ASSERT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
            idle.push_back(fd);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        refusedLogin("three idle connections that never log in");
        for (int fd : idle) {
            close(fd);
        }
    }
    std::vector<std::unique_ptr<Transaction>> sessions;
    Transaction* first = nullptr;
    // The idle connections' sessions end at their login deadline at the latest.
    ASSERT_TRUE(waitUntil(
        [&] {
            auto t = std::make_unique<Transaction>();
            if (t->connect("KWGW_FULL") != KW_STATUS_OK) {
                return false;
            }
            sessions.push_back(std::move(t));
            return true;
        },
        10.0));
    for (int i = 1; i < 3; ++i) {
        sessions.push_back(std::make_unique<Transaction>());
        ASSERT_EQ(sessions.back()->connect("KWGW_FULL"), KW_STATUS_OK) << sessions.back()->message();
    }
    first = sessions.front().get();
    refusedLogin("three logged-in sessions");
    EXPECT_EQ(value(*first, "SELECT COUNT(*) FROM FAULTROWS WHERE ID <= 3"), "3") << "the sessions go on";
    EXPECT_EQ(first->disconnect(), KW_STATUS_OK);
    Transaction next;
    EXPECT_TRUE(waitUntil([&] { return next.connect("KWGW_FULL") == KW_STATUS_OK; }, 5.0))
        << "a session that ended makes room: " << next.message();
    EXPECT_EQ(value(next, "SELECT COUNT(*) FROM FAULTROWS WHERE ID <= 2"), "2");
}

}  // namespace
