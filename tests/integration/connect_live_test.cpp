// connect_live_test.cpp - connect, disconnect and transactions against the live gateway: what the
// driver sends at connect time and at commit and rollback, what the server's refusals look like
// in the block, that data really is committed or rolled back, and that nothing leaks.
#include <dirent.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "driver_host.h"
#include "kwtest/silent_listener.h"

namespace {

using kwhosttest::Transaction;
using kwtest::Environment;

const std::vector<std::string> kConnectCommands = {
    "SELECT @@LONG_TRANS ", "SET CONVERT ALL = STD", "SET ALLOCATE CONNECT",     "SET CONVERT TIMESTAMP CHAR",
    "SET CONVERT DATE ISO", "SET CONVERT TIME ISO",  "SET CONVERT DECIMAL CHAR", "SET TRANSFORM TSQL0",
};

// The statements a connect sent after DB-Library's own post-login batch.
std::vector<std::string> driverRequests(const std::vector<std::string>& logged) {
    std::vector<std::string> out;
    bool afterLogin = false;
    for (const std::string& text : logged) {
        if (afterLogin) {
            out.push_back(text);
        } else if (text.find("@@spid") != std::string::npos) {
            afterLogin = true;
        }
    }
    return out;
}

int openDescriptors() {
    int count = 0;
    if (DIR* dir = opendir("/proc/self/fd")) {
        while (readdir(dir) != nullptr) {
            ++count;
        }
        closedir(dir);
    }
    return count;
}

class ConnectLiveTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        Environment& env = Environment::get();
        env.exec("CREATE SCHEMA IF NOT EXISTS joe AUTHORIZATION joe");
        env.exec("CREATE TABLE IF NOT EXISTS joe.ledger (id INTEGER, note VARCHAR(20))");
        env.exec("ALTER TABLE joe.ledger OWNER TO joe");
        longGateway = &env.startGateway("KWGWLONG", {"--long-trans", "always"});
    }
    // The gateway that runs with long transactions always on.
    static kwtest::Gateway& alwaysLong() { return *longGateway; }
    static kwtest::Gateway* longGateway;
    Environment& env = Environment::get();
};

TEST_F(ConnectLiveTest, ConnectSendsTheEightConnectTimeCommandsInOrder) {
    Transaction t;
    const size_t mark = env.gateway().mark();
    ASSERT_EQ(t.connectAsJoe(), KW_STATUS_OK) << t.message();
    EXPECT_NE(+t.block().dbproc, nullptr);
    ASSERT_NE(+t.block().connection, nullptr);
    EXPECT_EQ(+t.block().connection->longTrans, 0);
    EXPECT_EQ(+t.block().connection->staticBind, 1);
    EXPECT_EQ(driverRequests(env.gateway().requestsSince(mark)), kConnectCommands);
    EXPECT_EQ(+t.block().sqlCode, 0);
}

TEST_F(ConnectLiveTest, DbParmChoosesTheConversionTableAndTheAllocationMode) {
    struct Case {
        const char* claim;
        const char* gateway;
        const char* dbParm;
        std::string convert;
        std::string allocate;
        int32_t longTrans;
    };
    const Case cases[] = {
        {"a conversion table of DbParm", "KWGW", "ConversionTable='MYTAB'", "SET CONVERT ALL = MYTAB",
         "SET ALLOCATE CONNECT", 0},
        {"Request without long transactions", "KWGW", "Request=1", "SET CONVERT ALL = STD",
         "SET ALLOCATE REQUEST", 0},
        {"Request with long transactions always on", "KWGWLONG", "Request=1", "SET CONVERT ALL = STD",
         "SET ALLOCATE CONNECT", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.claim);
        Transaction t;
        kwtest::Gateway& gateway = c.gateway == std::string("KWGW") ? env.gateway() : alwaysLong();
        const size_t mark = gateway.mark();
        ASSERT_EQ(t.connect(gateway.serverName(), kwtest::kJoe.name, kwtest::kJoe.password, c.dbParm), 0)
            << t.message();
        const std::vector<std::string> sent = driverRequests(gateway.requestsSince(mark));
        ASSERT_EQ(sent.size(), kConnectCommands.size());
        EXPECT_EQ(sent[1], c.convert);
        EXPECT_EQ(sent[2], c.allocate);
        EXPECT_EQ(+t.block().connection->longTrans, c.longTrans);
    }
}

TEST_F(ConnectLiveTest, ARefusedLoginReportsTheServersMessageAndNumber) {
    const struct {
        const char* claim;
        const char* user;
        const char* password;
    } cases[] = {
        {"a wrong password", kwtest::kJoe.name, "wrong"},
        {"an unknown user", "NOBODY", "whatever"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.claim);
        Transaction t;
        t.setText(&t.block().serverName, env.serverName().c_str());
        t.setText(&t.block().loginId, c.user);
        t.setText(&t.block().password, c.password);
        const int64_t before = t.liveAllocations();
        EXPECT_EQ(t.call(REQ_CONNECT), 4002);
        EXPECT_EQ(t.message(), "Login failed.");
        EXPECT_EQ(+t.block().sqlCode, -1);
        EXPECT_EQ(+t.block().connection, nullptr);
        EXPECT_EQ(+t.block().dbproc, nullptr);
        EXPECT_EQ(kwhost_registeredConnectionCount(), 0);
        EXPECT_EQ(t.liveAllocations(), before);
    }
}

TEST_F(ConnectLiveTest, UnreachableServersFailClearlyWithinABoundedTime) {
    kwtest::SilentListener silent;
    const struct {
        const char* claim;
        std::string server;
    } cases[] = {
        {"nothing listening", "127.0.0.1:1"},
        {"a listener that never answers the login", "127.0.0.1:" + std::to_string(silent.port())},
        {"a server name in no configuration", "nosuchserver.invalid"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.claim);
        Transaction t;
        const auto start = std::chrono::steady_clock::now();
        const int32_t status = t.connect(c.server, "JOE", "pw");
        const auto seconds =
            std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start)
                .count();
        EXPECT_NE(status, KW_STATUS_OK);
        EXPECT_NE(t.message(), "");
        EXPECT_EQ(+t.block().connection, nullptr);
        EXPECT_LT(seconds, 30) << "the failure must come within the login wait's bound";
        EXPECT_EQ(kwhost_registeredConnectionCount(), 0);
    }
}

TEST_F(ConnectLiveTest, DisconnectReturnsEverythingAndForgetsTheConnection) {
    Transaction t;
    t.setText(&t.block().serverName, env.serverName().c_str());
    t.setText(&t.block().loginId, kwtest::kJoe.name);
    t.setText(&t.block().password, kwtest::kJoe.password);
    t.setText(&t.block().dbParm, "SystemOwner='sysibm',TableCriteria='X = 1',GroupID='g'");
    const int64_t before = t.liveAllocations();  // the host's own texts
    ASSERT_EQ(t.call(REQ_CONNECT), 0) << t.message();
    EXPECT_GT(t.liveAllocations(), before);
    EXPECT_STREQ(t.block().connection->systemOwner, "SYSIBM");
    EXPECT_EQ(t.disconnect(), 0);
    EXPECT_EQ(+t.block().connection, nullptr);
    EXPECT_EQ(+t.block().dbproc, nullptr);
    EXPECT_EQ(t.liveAllocations(), before);
    EXPECT_EQ(kwhost_registeredConnectionCount(), 0);
    // A second disconnect, and a request that needs the server, find nothing to work on.
    EXPECT_EQ(t.disconnect(), 0);
    EXPECT_EQ(t.call(REQ_ROW_COUNT), KW_STATUS_DRIVER_FAILURE);
}

TEST_F(ConnectLiveTest, AThousandConnectsLeakNeitherMemoryNorDescriptors) {
    Transaction t;
    {
        // The first connect loads what DB-Library keeps for the whole process.
        ASSERT_EQ(t.connectAsJoe(), 0) << t.message();
        t.disconnect();
    }
    const int descriptors = openDescriptors();
    const int64_t live = t.liveAllocations();
    for (int i = 0; i < 1000; ++i) {
        ASSERT_EQ(t.connectAsJoe(), 0) << "connect " << i << ": " << t.message();
        ASSERT_EQ(t.disconnect(), 0);
    }
    EXPECT_EQ(t.liveAllocations(), live);
    EXPECT_EQ(openDescriptors(), descriptors);
    EXPECT_EQ(kwhost_registeredConnectionCount(), 0);
}

kwtest::Gateway* ConnectLiveTest::longGateway = nullptr;

class TransactionLiveTest : public ConnectLiveTest {
  protected:
    int64_t rows(const char* note) {
        return std::stoll(
            env.queryValue(std::string("SELECT count(*) FROM joe.ledger WHERE note = '") + note + "'"));
    }
};

TEST_F(TransactionLiveTest, CommitRollbackAndRequest58SendExactlyTheirCommands) {
    const struct {
        const char* gateway;
        std::vector<std::string> begin, commit, rollback;
    } cases[] = {
        {"KWGW",
         {"SET LONG_TRANS YES"},
         {"commit tran", "SET LONG_TRANS NO"},
         {"rollback tran", "SET LONG_TRANS NO"}},
        {"KWGWLONG", {}, {"commit tran"}, {"rollback tran"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.gateway);
        kwtest::Gateway& gateway = std::string(c.gateway) == "KWGW" ? env.gateway() : alwaysLong();
        Transaction t;
        ASSERT_EQ(t.connect(gateway.serverName(), kwtest::kJoe.name, kwtest::kJoe.password), 0)
            << t.message();
        size_t mark = gateway.mark();
        EXPECT_EQ(t.call(REQ_BEGIN_LONG_TRANSACTION), 0);
        EXPECT_EQ(gateway.requestsSince(mark), c.begin);
        mark = gateway.mark();
        EXPECT_EQ(t.call(REQ_COMMIT), 0) << t.message();
        EXPECT_EQ(gateway.requestsSince(mark), c.commit);
        mark = gateway.mark();
        EXPECT_EQ(t.call(REQ_ROLLBACK), 0) << t.message();
        EXPECT_EQ(gateway.requestsSince(mark), c.rollback);
        EXPECT_EQ(+t.block().sqlCode, 0);
    }
}

TEST_F(TransactionLiveTest, RolledBackWorkIsGoneAndCommittedWorkStays) {
    Transaction t;
    ASSERT_EQ(t.connectAsJoe(), 0) << t.message();
    ASSERT_EQ(t.call(REQ_BEGIN_LONG_TRANSACTION), 0);
    ASSERT_EQ(t.execute("INSERT INTO LEDGER VALUES (1, 'undone')"), 0) << t.message();
    ASSERT_EQ(t.execute("INSERT INTO LEDGER VALUES (2, 'undone')"), 0) << t.message();
    EXPECT_EQ(rows("undone"), 0) << "not visible before the commit";
    ASSERT_EQ(t.call(REQ_ROLLBACK), 0) << t.message();
    EXPECT_EQ(rows("undone"), 0);

    ASSERT_EQ(t.call(REQ_BEGIN_LONG_TRANSACTION), 0);
    ASSERT_EQ(t.execute("INSERT INTO LEDGER VALUES (3, 'kept')"), 0) << t.message();
    ASSERT_EQ(t.call(REQ_COMMIT), 0) << t.message();
    EXPECT_EQ(rows("kept"), 1);

    // Without a long transaction every statement stands on its own: a rollback undoes nothing.
    ASSERT_EQ(t.execute("INSERT INTO LEDGER VALUES (4, 'autocommit')"), 0) << t.message();
    ASSERT_EQ(t.call(REQ_ROLLBACK), 0) << t.message();
    EXPECT_EQ(rows("autocommit"), 1);
}

TEST_F(TransactionLiveTest, AFailingStatementReportsItsSqlCodeAndKeepsTheConnection) {
    Transaction t;
    ASSERT_EQ(t.connectAsJoe(), 0) << t.message();
    EXPECT_EQ(t.execute("SELECT * FROM NOSUCHTABLE"), -204);
    EXPECT_NE(t.message().find("DB2 Return Code:  -204"), std::string::npos) << t.message();
    EXPECT_EQ(+t.block().sqlCode, -1);
    EXPECT_EQ(t.execute("INSERT INTO LEDGER VALUES (5, 'after')"), 0) << t.message();
}

}  // namespace
