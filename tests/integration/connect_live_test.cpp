// connect_live_test.cpp - connect, disconnect and transactions against the live gateway: what the
// driver sends at connect time and at commit and rollback, what the server's refusals look like
// in the block, that data really is committed or rolled back, and that nothing leaks.
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "driver_host.h"
#include "kwtest/silent_listener.h"

namespace {

using kwhosttest::Transaction;
using kwtest::Environment;
using Texts = std::vector<std::string>;

// The statements a connect sent after DB-Library's own post-login batch.
Texts driverRequests(const Texts& logged) {
    auto login = std::find_if(logged.begin(), logged.end(), [](const std::string& text) {
        return text.find("@@spid") != std::string::npos;
    });
    return login == logged.end() ? Texts{} : Texts(login + 1, logged.end());
}

class ConnectLiveTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        Environment::get().exec(
            "CREATE SCHEMA IF NOT EXISTS joe AUTHORIZATION joe;"
            "CREATE TABLE joe.ledger (id INTEGER, note VARCHAR(20)); ALTER TABLE joe.ledger OWNER TO joe");
        longGateway = &Environment::get().startGateway("KWGWLONG", {"--long-trans", "always"});
    }
    // The standard gateway, or the one that runs with long transactions always on.
    kwtest::Gateway& gateway(bool alwaysLong) { return alwaysLong ? *longGateway : env.gateway(); }
    int64_t rows(const char* note) {
        return std::stoll(
            env.queryValue(std::string("SELECT count(*) FROM joe.ledger WHERE note = '") + note + "'"));
    }

    static kwtest::Gateway* longGateway;
    Environment& env = Environment::get();
};
kwtest::Gateway* ConnectLiveTest::longGateway = nullptr;

TEST_F(ConnectLiveTest, ConnectSendsItsEightCommandsInOrderAsDbParmAndTheGatewayChooseThem) {
    const struct {
        const char* claim;
        bool alwaysLong;
        const char* dbParm;
        const char *convert, *allocate;
    } cases[] = {
        {"the defaults", false, nullptr, "STD", "CONNECT"},
        {"a conversion table of DbParm", false, "ConversionTable='MYTAB'", "MYTAB", "CONNECT"},
        {"Request without long transactions", false, "Request=1", "STD", "REQUEST"},
        {"Request with long transactions always on", true, "Request=1", "STD", "CONNECT"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.claim);
        Transaction t;
        kwtest::Gateway& gateway = this->gateway(c.alwaysLong);
        const size_t mark = gateway.mark();
        ASSERT_EQ(t.connect(gateway.serverName(), c.dbParm), KW_STATUS_OK) << t.message();
        EXPECT_NE(+t.block().dbproc, nullptr);
        ASSERT_NE(+t.block().connection, nullptr);
        EXPECT_EQ(+t.block().connection->longTrans, c.alwaysLong ? 1 : 0);
        EXPECT_EQ(+t.block().connection->staticBind, 1);
        EXPECT_EQ(+t.block().sqlCode, 0);
        const Texts expected = {"SELECT @@LONG_TRANS ",
                                std::string("SET CONVERT ALL = ") + c.convert,
                                std::string("SET ALLOCATE ") + c.allocate,
                                "SET CONVERT TIMESTAMP CHAR",
                                "SET CONVERT DATE ISO",
                                "SET CONVERT TIME ISO",
                                "SET CONVERT DECIMAL CHAR",
                                "SET TRANSFORM TSQL0"};
        EXPECT_EQ(driverRequests(gateway.requestsSince(mark)), expected);
    }
}

TEST_F(ConnectLiveTest, DisconnectReturnsEverythingAndASecondConnectIsRefused) {
    Transaction t;
    t.setLogin("", nullptr, nullptr, "SystemOwner='sysibm',TableCriteria='X = 1',GroupID='g'");
    const int64_t before = t.liveAllocations();  // the host's own texts
    // The first connect also loads what DB-Library keeps for the whole process.
    ASSERT_EQ(t.call(REQ_CONNECT), 0) << t.message();
    EXPECT_GT(t.liveAllocations(), before);
    EXPECT_STREQ(t.block().connection->systemOwner, "SYSIBM");
    // A second connect on the connected block is refused and leaves the connection as it was.
    ConnectionRecord* const connection = t.block().connection;
    EXPECT_EQ(t.call(REQ_CONNECT), KW_STATUS_DRIVER_FAILURE);
    EXPECT_EQ(t.message(), "This transaction is connected already; disconnect it before connecting again.");
    EXPECT_EQ(+t.block().connection, connection);
    EXPECT_EQ(kwhost_registeredConnectionCount(), 1);
    EXPECT_EQ(t.disconnect(), 0);
    EXPECT_EQ(+t.block().connection, nullptr);
    EXPECT_EQ(+t.block().dbproc, nullptr);
    EXPECT_EQ(t.liveAllocations(), before);
    EXPECT_EQ(kwhost_registeredConnectionCount(), 0);
    // A second disconnect, and a request that needs the server, find nothing to work on.
    EXPECT_EQ(t.disconnect(), 0);
    EXPECT_EQ(t.call(REQ_ROW_COUNT), KW_STATUS_DRIVER_FAILURE);
}

TEST_F(ConnectLiveTest, CommitRollbackAndRequest58SendExactlyTheirCommands) {
    for (bool alwaysLong : {false, true}) {
        SCOPED_TRACE(alwaysLong ? "long transactions always on" : "switchable long transactions");
        kwtest::Gateway& gateway = this->gateway(alwaysLong);
        Transaction t;
        ASSERT_EQ(t.connect(gateway.serverName()), 0) << t.message();
        const struct {
            int32_t code;
            Texts sent;
        } steps[] = {
            {REQ_BEGIN_LONG_TRANSACTION, alwaysLong ? Texts{} : Texts{"SET LONG_TRANS YES"}},
            {REQ_COMMIT, alwaysLong ? Texts{"commit tran"} : Texts{"commit tran", "SET LONG_TRANS NO"}},
            {REQ_ROLLBACK, alwaysLong ? Texts{"rollback tran"} : Texts{"rollback tran", "SET LONG_TRANS NO"}},
        };
        for (const auto& step : steps) {
            const size_t mark = gateway.mark();
            EXPECT_EQ(t.call(step.code), 0) << t.message();
            EXPECT_EQ(gateway.requestsSince(mark), step.sent) << "request " << step.code;
        }
        EXPECT_EQ(+t.block().sqlCode, 0);
    }
}

TEST_F(ConnectLiveTest, RolledBackWorkIsGoneAndCommittedWorkStays) {
    Transaction t;
    ASSERT_EQ(t.connect(), 0) << t.message();
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

    // A failing statement reports its SQL code and keeps the connection.
    EXPECT_EQ(t.execute("SELECT * FROM NOSUCHTABLE"), -204);
    EXPECT_NE(t.message().find("DB2 Return Code:  -204"), std::string::npos) << t.message();
    EXPECT_EQ(+t.block().sqlCode, -1);
    EXPECT_EQ(t.execute("INSERT INTO LEDGER VALUES (5, 'after')"), 0) << t.message();
    EXPECT_EQ(rows("after"), 1);
}

// The login wait of this program: KW_LOGIN_TIMEOUT, else the toolkit's 30 seconds.
int loginTimeoutSeconds() {
    const char* setting = std::getenv("KW_LOGIN_TIMEOUT");
    return setting != nullptr && std::atoi(setting) > 0 ? std::atoi(setting) : 30;
}

TEST_F(ConnectLiveTest, AFailedConnectSaysWhyWithinABoundedTimeAndLeavesNothing) {
    kwtest::Gateway& full = env.startGateway("KWGW_ONE", {"--max-sessions", "1"});
    // A gateway in front of a PostgreSQL that is not there.
    kwtest::Gateway noDatabase("KWGW_NODB", env.kwgatewayPath(),
                               {"serve", "--pg", "host=127.0.0.1 port=1 dbname=none", "--listen",
                                "127.0.0.1:0", "--server-name", "KWGW_NODB"},
                               env.tempDir() + "/KWGW_NODB.log", env.tempDir() + "/KWGW_NODB.statements");
    env.addServer("KWGW_NODB", noDatabase.port());
    kwtest::SilentListener silent;
    Transaction holder;
    ASSERT_EQ(holder.connect(full.serverName()), KW_STATUS_OK) << holder.message();
    const struct {
        const char* claim;
        std::string server;
        const char* password;
        int32_t status;       // 0: any failure
        std::string message;  // "": any message
        bool prefix;          // the message starts with `message`
    } cases[] = {
        {"a wrong password", "", "wrong", 4002, "Login failed.", false},
        {"a gateway serving as many sessions as it may", full.serverName(), nullptr, 21011,
         "DG21011: Login failed: too many sessions; the gateway serves at most 1 at once.", false},
        {"a database server that is not there", "KWGW_NODB", nullptr, 21010,
         "DG21010: Login failed: the database server is unavailable.", false},
        {"nothing listening", "127.0.0.1:1", "pw", 0, "", false},
        {"a server name in no configuration", "nosuchserver.invalid", "pw", 0, "", false},
        // Not a lost connection but the timeout, with its limit.
        {"a listener that never answers the login", "127.0.0.1:" + std::to_string(silent.port()), "pw", 0,
         "Timeout: the server did not answer the login within " + std::to_string(loginTimeoutSeconds()) +
             " seconds",
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.claim);
        Transaction t;
        t.setLogin(c.server, nullptr, c.password);
        const int64_t before = t.liveAllocations();
        const auto start = std::chrono::steady_clock::now();
        const int32_t status = t.call(REQ_CONNECT);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30))
            << "the failure must come within the login wait's bound";
        if (c.status != 0) {
            EXPECT_EQ(status, c.status);
            EXPECT_EQ(+t.block().sqlCode, -1);
        } else {
            EXPECT_NE(status, KW_STATUS_OK);
        }
        if (c.message.empty()) {
            EXPECT_NE(t.message(), "");
        } else if (c.prefix) {
            EXPECT_EQ(t.message().rfind(c.message, 0), 0u) << t.message();
        } else {
            EXPECT_EQ(t.message(), c.message);
        }
        EXPECT_EQ(+t.block().connection, nullptr);
        EXPECT_EQ(+t.block().dbproc, nullptr);
        EXPECT_EQ(kwhost_registeredConnectionCount(), 1) << "only the holder's";
        EXPECT_EQ(t.liveAllocations(), before);
    }
    EXPECT_EQ(holder.disconnect(), KW_STATUS_OK);
    EXPECT_EQ(kwhost_registeredConnectionCount(), 0);
}

}  // namespace
