// ctlib_test.cpp - a Client-Library (ct-library) program against the live gateway: it connects,
// sets and reads server options with ct_options, runs a query, and finds that dynamic SQL and
// cursors are refused with the session still answering. Client-Library sends options as
// OPTIONCMD tokens and cursors and dynamic SQL as their own tokens, which DB-Library never does.
#include <ctpublic.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kwtest/environment.h"

namespace {

using kwtest::Environment;

std::vector<std::string>& serverMessages() {
    static std::vector<std::string> messages;
    return messages;
}

CS_RETCODE onServerMessage(CS_CONTEXT*, CS_CONNECTION*, CS_SERVERMSG* m) {
    serverMessages().push_back(std::to_string(m->msgnumber) + " " + std::string(m->text, m->textlen));
    return CS_SUCCEED;
}

CS_RETCODE onClientMessage(CS_CONTEXT*, CS_CONNECTION*, CS_CLIENTMSG*) {
    return CS_SUCCEED;
}

// One Client-Library connection as JOE to the environment's gateway.
class CtClient {
  public:
    CtClient() {
        if (cs_ctx_alloc(CS_VERSION_100, &ctx_) != CS_SUCCEED ||
            ct_init(ctx_, CS_VERSION_100) != CS_SUCCEED) {
            return;
        }
        ct_callback(ctx_, nullptr, CS_SET, CS_SERVERMSG_CB, reinterpret_cast<CS_VOID*>(onServerMessage));
        ct_callback(ctx_, nullptr, CS_SET, CS_CLIENTMSG_CB, reinterpret_cast<CS_VOID*>(onClientMessage));
        if (ct_con_alloc(ctx_, &conn_) != CS_SUCCEED) {
            return;
        }
        ct_con_props(conn_, CS_SET, CS_USERNAME, const_cast<char*>(kwtest::kJoe.name), CS_NULLTERM, nullptr);
        ct_con_props(conn_, CS_SET, CS_PASSWORD, const_cast<char*>(kwtest::kJoe.password), CS_NULLTERM,
                     nullptr);
        std::string server = Environment::get().serverName();
        connected_ = ct_connect(conn_, server.data(), CS_NULLTERM) == CS_SUCCEED;
    }
    ~CtClient() {
        if (connected_) {
            ct_close(conn_, CS_UNUSED);
        }
        if (conn_) {
            ct_con_drop(conn_);
        }
        if (ctx_) {
            ct_exit(ctx_, CS_FORCE_EXIT);
            cs_ctx_drop(ctx_);
        }
    }
    CtClient(const CtClient&) = delete;
    CtClient& operator=(const CtClient&) = delete;

    bool connected() const { return connected_; }

    CS_RETCODE setInt(CS_INT option, CS_INT value) {
        return ct_options(conn_, CS_SET, option, &value, CS_UNUSED, nullptr);
    }
    CS_RETCODE setBool(CS_INT option, bool on) {
        CS_BOOL value = on ? CS_TRUE : CS_FALSE;
        return ct_options(conn_, CS_SET, option, &value, CS_UNUSED, nullptr);
    }
    CS_INT getInt(CS_INT option) {
        CS_INT value = -1;
        EXPECT_EQ(ct_options(conn_, CS_GET, option, &value, CS_UNUSED, nullptr), CS_SUCCEED) << option;
        return value;
    }

    // Runs a language command; the first column of each row as text, or "FAILED".
    std::vector<std::string> query(const std::string& sql) {
        CS_COMMAND* cmd = nullptr;
        std::vector<std::string> rows;
        if (ct_cmd_alloc(conn_, &cmd) != CS_SUCCEED) {
            return {"FAILED"};
        }
        std::string text = sql;
        ct_command(cmd, CS_LANG_CMD, text.data(), CS_NULLTERM, CS_UNUSED);
        rows = results(cmd, ct_send(cmd));
        ct_cmd_drop(cmd);
        return rows;
    }

    // A command of this connection, for a sequence of sends (drop it with ct_cmd_drop).
    CS_COMMAND* command() {
        CS_COMMAND* cmd = nullptr;
        return ct_cmd_alloc(conn_, &cmd) == CS_SUCCEED ? cmd : nullptr;
    }

    // The results of a sent command: the first column of each row as text, "FAILED" for a
    // command the server failed.
    static std::vector<std::string> results(CS_COMMAND* cmd, CS_RETCODE sent) {
        std::vector<std::string> rows;
        if (sent != CS_SUCCEED) {
            return {"FAILED"};
        }
        CS_INT type = 0;
        CS_RETCODE rc;
        while ((rc = ct_results(cmd, &type)) == CS_SUCCEED) {
            if (type == CS_CMD_FAIL) {
                rows.push_back("FAILED");
            }
            if (type != CS_ROW_RESULT) {
                continue;
            }
            char buf[256] = {};
            CS_INT len = 0;
            CS_SMALLINT indicator = 0;
            CS_DATAFMT fmt{};
            fmt.datatype = CS_CHAR_TYPE;
            fmt.maxlength = sizeof buf - 1;
            fmt.count = 1;
            fmt.format = CS_FMT_NULLTERM;
            ct_bind(cmd, 1, &fmt, buf, &len, &indicator);
            while (ct_fetch(cmd, CS_UNUSED, CS_UNUSED, CS_UNUSED, nullptr) == CS_SUCCEED) {
                rows.emplace_back(indicator == -1 ? "<null>" : buf);
            }
        }
        if (rc != CS_END_RESULTS) {
            rows.push_back("RESULTS FAILED");
        }
        return rows;
    }

  private:
    CS_CONTEXT* ctx_ = nullptr;
    CS_CONNECTION* conn_ = nullptr;
    bool connected_ = false;
};

using Rows = std::vector<std::string>;

TEST(ClientLibrary, SetsAndReadsOptionsRunsAQueryAndEndsChainedModeWithACommit) {
    Environment& env = Environment::get();
    env.exec("DROP TABLE IF EXISTS joe.ct CASCADE");
    env.exec("CREATE TABLE joe.ct (k int, t text)");
    env.exec("ALTER TABLE joe.ct OWNER TO joe");
    env.exec("INSERT INTO joe.ct VALUES (1, 'abcdefgh'), (2, NULL)");
    CtClient c;
    ASSERT_TRUE(c.connected());
    EXPECT_EQ(c.getInt(CS_OPT_DATEFORMAT), CS_OPT_FMTMDY);
    EXPECT_EQ(c.setBool(CS_OPT_QUOTED_IDENT, true), CS_SUCCEED);
    EXPECT_EQ(c.setInt(CS_OPT_ISOLATION, CS_OPT_LEVEL3), CS_SUCCEED);
    EXPECT_EQ(c.query("select current_setting('transaction_isolation') from sysibm.sysdummy1"),
              (Rows{"serializable"}))
        << "level 3 is PostgreSQL's serializable";
    EXPECT_EQ(c.setInt(CS_OPT_ISOLATION, CS_OPT_LEVEL1), CS_SUCCEED);
    EXPECT_EQ(c.setInt(CS_OPT_TEXTSIZE, 5), CS_SUCCEED);
    EXPECT_EQ(c.setBool(CS_OPT_NOCOUNT, true), CS_SUCCEED);
    EXPECT_EQ(c.query("select t from ct order by k"), (Rows{"abcde", "<null>"}))
        << "TEXT cut to the text size";

    // Chained mode set by Client-Library is a long transaction; switching it off commits.
    ASSERT_EQ(c.setBool(CS_OPT_CHAINXACTS, true), CS_SUCCEED);
    EXPECT_EQ(c.query("insert into ct values (3, 'x')"), Rows{});
    EXPECT_EQ(env.queryValue("SELECT count(*) FROM joe.ct"), "2") << "nothing committed yet";
    ASSERT_EQ(c.setBool(CS_OPT_CHAINXACTS, false), CS_SUCCEED);
    EXPECT_EQ(env.queryValue("SELECT count(*) FROM joe.ct"), "3") << "ending chained mode commits";

    // Options the gateway cannot honour fail the call and leave the session as it was.
    EXPECT_EQ(c.setBool(CS_OPT_ANSINULL, true), CS_FAIL);
    EXPECT_EQ(c.setInt(CS_OPT_DATEFORMAT, CS_OPT_FMTDMY), CS_FAIL);
    EXPECT_EQ(c.query("select 7 from ct where k = 1"), (Rows{"7"}));
}

TEST(ClientLibrary, DynamicSqlAndCursorsAreRefusedAndTheSessionGoesOn) {
    CtClient c;
    ASSERT_TRUE(c.connected());
    serverMessages().clear();
    CS_COMMAND* cmd = c.command();
    ASSERT_TRUE(cmd);
    char id[] = "d1";
    char prepared[] = "select 1";
    ASSERT_EQ(ct_dynamic(cmd, CS_PREPARE, id, CS_NULLTERM, prepared, CS_NULLTERM), CS_SUCCEED);
    CtClient::results(cmd, ct_send(cmd));  // Client-Library reports the refusal by message alone
    ASSERT_EQ(ct_dynamic(cmd, CS_DEALLOC, id, CS_NULLTERM, nullptr, CS_UNUSED), CS_SUCCEED);
    CtClient::results(cmd, ct_send(cmd));
    EXPECT_EQ(c.query("select 2"), Rows{"2"});
    char name[] = "c1";
    char text[] = "select 3";
    ASSERT_EQ(ct_cursor(cmd, CS_CURSOR_DECLARE, name, CS_NULLTERM, text, CS_NULLTERM, CS_READ_ONLY),
              CS_SUCCEED);
    ASSERT_EQ(ct_cursor(cmd, CS_CURSOR_OPEN, nullptr, CS_UNUSED, nullptr, CS_UNUSED, CS_UNUSED), CS_SUCCEED);
    EXPECT_EQ(CtClient::results(cmd, ct_send(cmd)), Rows{"FAILED"}) << "declare and open in one request";
    // Client-Library keeps the cursor until it is deallocated, which is refused too.
    ASSERT_EQ(ct_cursor(cmd, CS_CURSOR_CLOSE, nullptr, CS_UNUSED, nullptr, CS_UNUSED, CS_DEALLOC),
              CS_SUCCEED);
    EXPECT_EQ(CtClient::results(cmd, ct_send(cmd)), Rows{"FAILED"});
    ct_cmd_drop(cmd);
    EXPECT_EQ(c.query("select 4"), Rows{"4"});
    for (const char* what : {"DYNAMIC SQL STATEMENTS ARE NOT SUPPORTED", "CURSORS ARE NOT SUPPORTED"}) {
        bool named = false;
        for (const std::string& m : serverMessages()) {
            named = named || m.find(what) != std::string::npos;
        }
        EXPECT_TRUE(named) << "the refusal says what was refused: " << what;
    }
}

}  // namespace
