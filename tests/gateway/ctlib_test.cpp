// ctlib_test.cpp - a Client-Library (ct-library) program against the live gateway: it connects,
// sets and reads server options with ct_options, runs a query, prepares, describes and executes
// dynamic SQL with parameters, calls a procedure by RPC, and finds that cursors are refused with
// the session still answering. Client-Library sends options as OPTIONCMD tokens and cursors,
// dynamic SQL and calls as their own tokens, which DB-Library never does (but for its RPCs).
#include <ctpublic.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <tuple>
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

// Creates JOE's table `name` from a column list, behind the gateway's back.
void createJoeTable(const std::string& name, const std::string& columns) {
    Environment& env = Environment::get();
    env.exec("DROP TABLE IF EXISTS joe." + name + " CASCADE");
    env.exec("CREATE TABLE joe." + name + " (" + columns + ")");
    env.exec("ALTER TABLE joe." + name + " OWNER TO joe");
}

// Whether a server message since the last clear contains `text`.
bool sawMessage(const std::string& text) {
    for (const std::string& m : serverMessages()) {
        if (m.find(text) != std::string::npos) {
            return true;
        }
    }
    return false;
}

// Sends the command set up on `cmd` and reads its results.
Rows reply(CS_COMMAND* cmd) {
    return CtClient::results(cmd, ct_send(cmd));
}

// Sets up a dynamic SQL operation (prepare, execute, deallocate) of statement `id`.
CS_RETCODE dynamic(CS_COMMAND* cmd, CS_INT operation, const char* id, const char* text = nullptr) {
    std::string name = id, sql = text ? text : "";
    return ct_dynamic(cmd, operation, name.data(), CS_NULLTERM, text ? sql.data() : nullptr,
                      text ? CS_NULLTERM : CS_UNUSED);
}

// Adds one input parameter, unnamed unless `name` is given: an integer or character value.
void addParam(CS_COMMAND* cmd, CS_INT value, const char* name = "") {
    CS_DATAFMT fmt{};
    std::snprintf(fmt.name, sizeof fmt.name, "%s", name);
    fmt.namelen = static_cast<CS_INT>(std::strlen(name));
    fmt.datatype = CS_INT_TYPE;
    fmt.status = CS_INPUTVALUE;
    fmt.maxlength = sizeof(CS_INT);
    ASSERT_EQ(ct_param(cmd, &fmt, &value, sizeof value, 0), CS_SUCCEED);
}

void addParam(CS_COMMAND* cmd, const std::string& value, const char* name = "") {
    CS_DATAFMT fmt{};
    std::snprintf(fmt.name, sizeof fmt.name, "%s", name);
    fmt.namelen = static_cast<CS_INT>(std::strlen(name));
    fmt.datatype = CS_CHAR_TYPE;
    fmt.status = CS_INPUTVALUE;
    fmt.maxlength = 64;
    std::string text = value;
    ASSERT_EQ(ct_param(cmd, &fmt, text.data(), static_cast<CS_INT>(text.size()), 0), CS_SUCCEED);
}

TEST(ClientLibrary, SetsAndReadsOptionsRunsAQueryAndEndsChainedModeWithACommit) {
    Environment& env = Environment::get();
    createJoeTable("ct", "k int, t text");
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

// The parameter formats of a prepared statement as Client-Library describes its input: the
// count, then each parameter's Client-Library data type.
std::vector<CS_INT> describeInput(CS_COMMAND* cmd, char* id) {
    std::vector<CS_INT> types;
    if (ct_dynamic(cmd, CS_DESCRIBE_INPUT, id, CS_NULLTERM, nullptr, CS_UNUSED) != CS_SUCCEED ||
        ct_send(cmd) != CS_SUCCEED) {
        return {-1};
    }
    CS_INT type = 0;
    while (ct_results(cmd, &type) == CS_SUCCEED) {
        if (type != CS_DESCRIBE_RESULT) {
            continue;
        }
        CS_INT count = 0;
        ct_res_info(cmd, CS_NUMDATA, &count, CS_UNUSED, nullptr);
        for (CS_INT i = 1; i <= count; ++i) {
            CS_DATAFMT fmt{};
            ct_describe(cmd, i, &fmt);
            types.push_back(fmt.datatype);
        }
    }
    return types;
}

TEST(ClientLibrary, DynamicSqlPreparesDescribesAndExecutesWithParameters) {
    Environment& env = Environment::get();
    createJoeTable("ctdyn", "k int, name varchar(20)");
    env.exec("INSERT INTO joe.ctdyn VALUES (1, 'one'), (2, 'O''Brien'), (3, NULL)");
    CtClient c;
    ASSERT_TRUE(c.connected());
    serverMessages().clear();
    CS_COMMAND* cmd = c.command();
    ASSERT_TRUE(cmd);
    char id[] = "d1";
    ASSERT_EQ(dynamic(cmd, CS_PREPARE, id, "select name from ctdyn where k = ? or name = ? order by k"),
              CS_SUCCEED);
    EXPECT_EQ(reply(cmd), Rows{}) << "the prepare returns no rows";
    EXPECT_EQ(describeInput(cmd, id), (std::vector<CS_INT>{CS_INT_TYPE, CS_CHAR_TYPE}))
        << "an integer and a character parameter, as PostgreSQL inferred them";

    // Executed with different values: each execution sees its own. Under FMTONLY the execution
    // is described only, an empty result set, and the next execution is described again.
    const std::tuple<CS_INT, std::string, Rows, const char*> executions[] = {
        {1, "O'Brien", Rows{"one", "O'Brien"}, nullptr},
        {3, "none", Rows{"<null>"}, nullptr},
        // No row: the result set still ends where Client-Library looks for its end.
        {4, "nobody", Rows{}, nullptr},
        {1, "one", Rows{}, "SET FMTONLY ON"},
        {1, "one", Rows{}, nullptr},
        {1, "one", Rows{"one"}, "SET FMTONLY OFF"},
    };
    for (const auto& [key, name, expected, before] : executions) {
        if (before) {
            EXPECT_EQ(c.query(before), Rows{});
        }
        ASSERT_EQ(dynamic(cmd, CS_EXECUTE, id), CS_SUCCEED);
        addParam(cmd, key);
        addParam(cmd, name);
        EXPECT_EQ(reply(cmd), expected) << "key " << key << " after " << (before ? before : "-");
    }

    // An execute with the wrong number of values fails with DB2's -313 and the session goes on.
    ASSERT_EQ(dynamic(cmd, CS_EXECUTE, id), CS_SUCCEED);
    addParam(cmd, 1);
    EXPECT_EQ(reply(cmd), Rows{"FAILED"});
    EXPECT_TRUE(sawMessage("error code -313")) << "the failure carries SQLCODE -313";

    ASSERT_EQ(dynamic(cmd, CS_DEALLOC, id), CS_SUCCEED);
    EXPECT_EQ(reply(cmd), Rows{});

    // A language command with named parameters: the names are the markers, used in any order
    // and more than once.
    char text[] = "select name from ctdyn where k = @k or (k = @k + 1 and name = @n) order by k";
    ASSERT_EQ(ct_command(cmd, CS_LANG_CMD, text, CS_NULLTERM, CS_UNUSED), CS_SUCCEED);
    addParam(cmd, std::string("O'Brien"), "@n");
    addParam(cmd, 1, "@k");
    EXPECT_EQ(reply(cmd), (Rows{"one", "O'Brien"}));
    ct_cmd_drop(cmd);
    EXPECT_EQ(c.query("select 2 from ctdyn where k = 1"), Rows{"2"});
}

// Inside a unit of work (chained mode) a statement that fails to prepare fails alone: work done
// before it stays pending and is committed with the rest.
TEST(ClientLibrary, AFailedPrepareInsideAUnitOfWorkLeavesItsWorkIntact) {
    Environment& env = Environment::get();
    createJoeTable("ctunit", "k int");
    CtClient c;
    ASSERT_TRUE(c.connected());
    ASSERT_EQ(c.setBool(CS_OPT_CHAINXACTS, true), CS_SUCCEED);
    EXPECT_EQ(c.query("insert into ctunit values (1)"), Rows{});
    CS_COMMAND* cmd = c.command();
    ASSERT_TRUE(cmd);
    ASSERT_EQ(dynamic(cmd, CS_PREPARE, "bad", "select no_such_column from ctunit where k = ?"), CS_SUCCEED);
    serverMessages().clear();
    reply(cmd);  // Client-Library reports a failed prepare by message alone
    EXPECT_TRUE(sawMessage("error code -206")) << "the prepare fails with SQLCODE -206";
    ASSERT_EQ(dynamic(cmd, CS_PREPARE, "good", "insert into ctunit values (?)"), CS_SUCCEED);
    EXPECT_EQ(reply(cmd), Rows{});
    ASSERT_EQ(dynamic(cmd, CS_EXECUTE, "good"), CS_SUCCEED);
    addParam(cmd, 2);
    EXPECT_EQ(reply(cmd), Rows{});
    ct_cmd_drop(cmd);
    EXPECT_EQ(env.queryValue("SELECT count(*) FROM joe.ctunit"), "0") << "nothing committed yet";
    ASSERT_EQ(c.setBool(CS_OPT_CHAINXACTS, false), CS_SUCCEED);
    EXPECT_EQ(env.queryValue("SELECT string_agg(k::text, ',' ORDER BY k) FROM joe.ctunit"), "1,2");
}

// A session keeps at most 1000 prepared statements: the next prepare fails with DB2's -904 and
// the session goes on; a deallocate makes room again, and re-preparing an id replaces it.
TEST(ClientLibrary, PreparedStatementsAreBoundedPerSession) {
    CtClient c;
    ASSERT_TRUE(c.connected());
    CS_COMMAND* cmd = c.command();
    ASSERT_TRUE(cmd);
    auto prepare = [cmd](const std::string& id) {
        serverMessages().clear();
        if (dynamic(cmd, CS_PREPARE, id.c_str(), "select 1 from sysibm.sysdummy1 where 1 = ?") !=
            CS_SUCCEED) {
            return std::string("not sent");
        }
        reply(cmd);
        if (sawMessage("error code -904")) {
            return std::string("-904");
        }
        return serverMessages().empty() ? std::string("ok") : serverMessages().front();
    };
    for (int i = 0; i < 1000; ++i) {
        ASSERT_EQ(prepare("s" + std::to_string(i)), "ok") << "statement " << i;
    }
    EXPECT_EQ(prepare("s1000"), "-904") << "the 1001st statement is refused";
    EXPECT_EQ(prepare("s7"), "ok") << "re-preparing a kept id replaces it";
    ASSERT_EQ(dynamic(cmd, CS_DEALLOC, "s7"), CS_SUCCEED);
    EXPECT_EQ(reply(cmd), Rows{});
    EXPECT_EQ(prepare("s1000"), "ok") << "a deallocate makes room";
    ct_cmd_drop(cmd);
    EXPECT_EQ(c.query("select 3 from sysibm.sysdummy1"), Rows{"3"});
}

// jTDS's PreparedStatement batch: one language command, statements run together, markers
// @P0, @P1 ... and the values unnamed. Each statement takes the values its variables name.
TEST(ClientLibrary, UnnamedLanguageParametersServeTheVariablesOfEveryStatementInOrder) {
    Environment& env = Environment::get();
    createJoeTable("ctbatch", "k int, name varchar(20)");
    CtClient c;
    ASSERT_TRUE(c.connected());
    CS_COMMAND* cmd = c.command();
    ASSERT_TRUE(cmd);
    char text[] =
        "INSERT INTO CTBATCH VALUES ( @P0 ,  @P1 ) INSERT INTO CTBATCH VALUES ( @P2 ,  @P3 ) UPDATE CTBATCH "
        "SET NAME = @P1 WHERE K = @P4 ";
    ASSERT_EQ(ct_command(cmd, CS_LANG_CMD, text, CS_NULLTERM, CS_UNUSED), CS_SUCCEED);
    addParam(cmd, 1);
    addParam(cmd, std::string("one"));
    addParam(cmd, 2);
    addParam(cmd, std::string("it's"));
    addParam(cmd, 2);
    EXPECT_EQ(reply(cmd), Rows{});
    EXPECT_EQ(env.queryValue("SELECT string_agg(k || ':' || name, ',' ORDER BY k) FROM joe.ctbatch"),
              "1:one,2:one");

    // A statement of the batch that uses no value is one of the gateway's own commands: chained
    // mode switched on holds the insert after it until the rollback.
    char chained[] = "SET CHAINED ON INSERT INTO CTBATCH VALUES ( @P0 , 'held' )";
    ASSERT_EQ(ct_command(cmd, CS_LANG_CMD, chained, CS_NULLTERM, CS_UNUSED), CS_SUCCEED);
    addParam(cmd, 9);
    EXPECT_EQ(reply(cmd), Rows{});
    EXPECT_EQ(c.query("select count(*) from ctbatch where k = 9"), Rows{"1"});
    EXPECT_EQ(env.queryValue("SELECT count(*) FROM joe.ctbatch WHERE k = 9"), "0")
        << "held in the unit of work";
    EXPECT_EQ(c.query("ROLLBACK"), Rows{});
    EXPECT_EQ(c.query("SET CHAINED OFF"), Rows{});
    EXPECT_EQ(env.queryValue("SELECT count(*) FROM joe.ctbatch WHERE k = 9"), "0") << "and undone";

    // More values than variables: nothing binds by guesswork, so @P0 is taken for a column (-206).
    char one[] = "INSERT INTO CTBATCH VALUES ( @P0 , 'x' )";
    ASSERT_EQ(ct_command(cmd, CS_LANG_CMD, one, CS_NULLTERM, CS_UNUSED), CS_SUCCEED);
    addParam(cmd, 3);
    addParam(cmd, 4);
    serverMessages().clear();
    EXPECT_EQ(reply(cmd), Rows{"FAILED"});
    EXPECT_TRUE(sawMessage("error code -206"));
    ct_cmd_drop(cmd);
    EXPECT_EQ(env.queryValue("SELECT count(*) FROM joe.ctbatch"), "2");
}

// A prepared statement's date, time and timestamp parameters take DB2's forms, as its literals
// do; character data that looks like a time stays as it is.
TEST(ClientLibrary, DatetimeParametersOfAPreparedStatementTakeDb2Forms) {
    Environment& env = Environment::get();
    createJoeTable("cttimes", "d date, t time(0), ts timestamp(6), c varchar(26)");
    CtClient c;
    ASSERT_TRUE(c.connected());
    CS_COMMAND* cmd = c.command();
    ASSERT_TRUE(cmd);
    ASSERT_EQ(dynamic(cmd, CS_PREPARE, "times", "insert into cttimes values (?, ?, ?, ?)"), CS_SUCCEED);
    EXPECT_EQ(reply(cmd), Rows{});
    // The last row: a malformed time is DB2's -180, as a malformed literal is.
    const std::tuple<const char*, const char*, const char*, const char*, Rows> rows[] = {
        {"05.03.2001", "23.59.58", "2023-12-31-23.59.58.500000", "7.43.54", Rows{}},
        {"3/5/2001", "7.43.54", "2001-3-5-7.43.54", "2001-3-5-7.43.54", Rows{}},
        {"2001-03-05", "07:43:54", "2001-03-05 07:43:54", "ISO", Rows{}},
        {"2001-03-05", "garbage", "2001-03-05", "x", Rows{"FAILED"}},
    };
    for (const auto& [d, t, ts, text, expected] : rows) {
        ASSERT_EQ(dynamic(cmd, CS_EXECUTE, "times"), CS_SUCCEED);
        for (const char* v : {d, t, ts, text}) {
            addParam(cmd, std::string(v));
        }
        EXPECT_EQ(reply(cmd), expected) << d << " " << t << " " << ts;
    }
    ct_cmd_drop(cmd);
    EXPECT_EQ(env.queryValue("SELECT string_agg(d || ' ' || t || ' ' || ts || ' ' || c, ',' ORDER BY c) "
                             "FROM joe.cttimes"),
              "2001-03-05 07:43:54 2001-03-05 07:43:54 2001-3-5-7.43.54,"
              "2001-03-05 23:59:58 2023-12-31 23:59:58.5 7.43.54,"
              "2001-03-05 07:43:54 2001-03-05 07:43:54 ISO");
}

// A remote procedure call as Client-Library sends it (ct_command with CS_RPC_CMD, ct_param with
// the parameter's name): the catalog procedure's rows, then its return status as a status result.
// An unknown procedure fails the command and the connection goes on.
TEST(ClientLibrary, RemoteProcedureCallsAnswerRowsAndTheReturnStatus) {
    createJoeTable("ctkey", "a int, b int, PRIMARY KEY (b, a)");
    CtClient c;
    ASSERT_TRUE(c.connected());
    CS_COMMAND* cmd = c.command();
    ASSERT_TRUE(cmd);
    // The rows' fourth column (COLUMN_NAME), the status result's value, and whether a result failed.
    auto callPkeys = [cmd](const char* procedure, const char* table) {
        std::string name = procedure;
        std::tuple<Rows, CS_INT, bool> answer{Rows{}, -1, false};
        auto& [rows, status, failed] = answer;
        if (ct_command(cmd, CS_RPC_CMD, name.data(), CS_NULLTERM, CS_NO_RECOMPILE) != CS_SUCCEED) {
            failed = true;
            return answer;
        }
        addParam(cmd, std::string(table), "@table_name");
        if (ct_send(cmd) != CS_SUCCEED) {
            failed = true;
            return answer;
        }
        CS_INT type = 0;
        while (ct_results(cmd, &type) == CS_SUCCEED) {
            failed = failed || type == CS_CMD_FAIL;
            if (type != CS_ROW_RESULT && type != CS_STATUS_RESULT) {
                continue;
            }
            char buf[64] = {};
            CS_INT number = 0;
            CS_INT len = 0;
            CS_SMALLINT indicator = 0;
            CS_DATAFMT fmt{};
            fmt.count = 1;
            if (type == CS_ROW_RESULT) {
                fmt.datatype = CS_CHAR_TYPE;
                fmt.maxlength = sizeof buf - 1;
                fmt.format = CS_FMT_NULLTERM;
                ct_bind(cmd, 4, &fmt, buf, &len, &indicator);
            } else {
                fmt.datatype = CS_INT_TYPE;
                fmt.maxlength = sizeof number;
                ct_bind(cmd, 1, &fmt, &number, &len, &indicator);
            }
            while (ct_fetch(cmd, CS_UNUSED, CS_UNUSED, CS_UNUSED, nullptr) == CS_SUCCEED) {
                if (type == CS_ROW_RESULT) {
                    rows.emplace_back(buf);
                } else {
                    status = number;
                }
            }
        }
        return answer;
    };
    EXPECT_EQ(callPkeys("sp_pkeys", "CTKEY"), std::make_tuple(Rows{"B", "A"}, CS_INT{0}, false))
        << "the key's columns in key order, then status 0";
    serverMessages().clear();
    EXPECT_EQ(std::get<2>(callPkeys("sp_nosuch", "CTKEY")), true);
    EXPECT_TRUE(sawMessage("error code -440")) << "an unknown procedure is DB2's -440";
    ct_cmd_drop(cmd);
    EXPECT_EQ(c.query("select 5 from sysibm.sysdummy1"), Rows{"5"});
}

TEST(ClientLibrary, CursorsAreRefusedAndTheSessionGoesOn) {
    CtClient c;
    ASSERT_TRUE(c.connected());
    serverMessages().clear();
    CS_COMMAND* cmd = c.command();
    ASSERT_TRUE(cmd);
    char name[] = "c1";
    char text[] = "select 3";
    ASSERT_EQ(ct_cursor(cmd, CS_CURSOR_DECLARE, name, CS_NULLTERM, text, CS_NULLTERM, CS_READ_ONLY),
              CS_SUCCEED);
    ASSERT_EQ(ct_cursor(cmd, CS_CURSOR_OPEN, nullptr, CS_UNUSED, nullptr, CS_UNUSED, CS_UNUSED), CS_SUCCEED);
    EXPECT_EQ(reply(cmd), Rows{"FAILED"}) << "declare and open in one request";
    // Client-Library keeps the cursor until it is deallocated, which is refused too.
    ASSERT_EQ(ct_cursor(cmd, CS_CURSOR_CLOSE, nullptr, CS_UNUSED, nullptr, CS_UNUSED, CS_DEALLOC),
              CS_SUCCEED);
    EXPECT_EQ(reply(cmd), Rows{"FAILED"});
    ct_cmd_drop(cmd);
    EXPECT_EQ(c.query("select 4"), Rows{"4"});
    EXPECT_TRUE(sawMessage("CURSORS ARE NOT SUPPORTED")) << "the refusal says what was refused";
}

}  // namespace
