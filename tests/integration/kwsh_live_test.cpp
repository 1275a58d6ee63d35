// kwsh_live_test.cpp - kwsh against the live gateway: the kwsh program running the demonstration
// session (every DB2 type aligned and as CSV, a server error, transactions, compile-only describe),
// its exit statuses, its quiet output, and text beyond ASCII typed at a terminal; and in process
// what the session does not show: row counts, several result sets, warnings, a failed describe,
// the trace, a clean disconnect, an interrupt.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "kwconst.h"
#include "kwdbt.h"
#include "kwtest/environment.h"
#include "kwtest/terminal_program.h"
#include "shell.h"

#ifndef KWSH_PATH
#error "KWSH_PATH must name the kwsh program"
#endif
#ifndef KWSH_DEMO_DIR
#error "KWSH_DEMO_DIR must name the folder of the demonstration session"
#endif

namespace {

using kwtest::Environment;

// Other test programs share the cluster, each in a database of its own.
const char kActiveSleeps[] =
    "SELECT count(*) FROM pg_stat_activity WHERE query ILIKE '%pg_sleep(60)%' AND state = 'active' "
    "AND pid <> pg_backend_pid() AND datname = current_database()";

std::string readFile(const std::string& path);

class KwshLiveTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        Environment::get().exec(R"SQL(
            CREATE SCHEMA IF NOT EXISTS joe AUTHORIZATION joe;
            SET ROLE joe;
            CREATE TABLE joe.sample (c_varchar VARCHAR(40), c_int INTEGER, c_small SMALLINT,
                c_dec DECIMAL(9,2), c_ts TIMESTAMP);
            INSERT INTO joe.sample VALUES ('hello, world', 1, 7, 1234.56, '2001-03-05 07:43:54.00012'),
                (NULL, 2, NULL, NULL, NULL);
            CREATE TABLE joe.ledger (id INTEGER, note VARCHAR(20));
            CREATE FUNCTION joe.warned(v INTEGER) RETURNS INTEGER LANGUAGE plpgsql AS
                $$ BEGIN RAISE WARNING 'value % looked odd', v; RETURN v; END $$;
            CREATE TABLE joe.pcsql_hostlib (req_name CHAR(12), req_text VARCHAR(4046));
            INSERT INTO joe.pcsql_hostlib VALUES ('TWOSETS', 'SELECT C_INT FROM SAMPLE ORDER BY C_INT;
                SELECT C_VARCHAR, C_SMALL FROM SAMPLE WHERE C_INT = 1');
            RESET ROLE;)SQL");
    }

    void SetUp() override {
        std::string error;
        driver = kwsh::Driver::load(kwsh::defaultDriverPath(), error);
        ASSERT_NE(driver, nullptr) << error;
        shell = std::make_unique<kwsh::Shell>(*driver, out, err);
        ASSERT_TRUE(shell->connect({env.serverName(), kwtest::kJoe.name, kwtest::kJoe.password, ""}))
            << err.str();
        env.exec("DELETE FROM joe.ledger");
    }

    void run(const std::string& text) {
        out.str("");
        err.str("");
        shell->runText(text, "");
    }

    Environment& env = Environment::get();
    std::ostringstream out, err;
    std::unique_ptr<kwsh::Driver> driver;
    std::unique_ptr<kwsh::Shell> shell;
};

TEST_F(KwshLiveTest, ScriptsPrintResultSetsRowCountsWarningsAndErrorsAsAPersonReadsThem) {
    const std::string file = env.tempDir() + "/kwsh-g-results.txt";
    const std::string smallTable =
        " c_int | c_small\n-------+---------\n     1 |       7\n     2 | NULL\n(2 rows)\n\n";
    const struct {
        const char* claim;
        std::string script, out, err;
    } cases[] = {
        {"changes report the rows they touched",
         "INSERT INTO LEDGER VALUES (1, 'one');\nINSERT INTO LEDGER VALUES (2, 'two');\n"
         "UPDATE LEDGER SET NOTE = 'changed' WHERE ID > 0;\nDELETE FROM LEDGER WHERE ID > 100;\n"
         "DELETE FROM LEDGER;",
         "(1 row affected)\n(1 row affected)\n(2 rows affected)\n(0 rows affected)\n(2 rows affected)\n", ""},
        // The gateway's statement log shows the text the server was sent, checked below.
        {"variables go in as text (a table name), as a literal with its quote doubled, as a quoted name",
         "\\set tbl LEDGER\n\\set note 'O''Brien; said \"hi\"'\n\\set col NOTE\n"
         "INSERT INTO :tbl VALUES (5, :'note');\nSELECT ID, :\"col\" FROM :tbl WHERE NOTE = :'note';",
         "(1 row affected)\n id |        note\n----+--------------------\n  5 | O'Brien; said \"hi\"\n(1 "
         "row)\n\n",
         ""},
        {"every result set of a stored request in turn", "EXECUTE TWOSETS;",
         " c_int\n-------\n     1\n     2\n(2 rows)\n\n"
         "  c_varchar   | c_small\n--------------+---------\n hello, world |       7\n(1 row)\n\n",
         ""},
        // The gateway sends the warning before the row it came with, or (a known race) after it.
        // Either way it is shown once and the next statement is not taken for a failure.
        {"a row that came with a warning",
         "SELECT WARNED(C_INT) AS W, C_DEC FROM SAMPLE WHERE C_INT = 1;\n"
         "SELECT C_INT FROM SAMPLE WHERE C_INT = 2;",
         " w |  c_dec\n---+---------\n 1 | 1234.56\n(1 row)\n\n c_int\n-------\n     2\n(1 row)\n\n",
         "WARNING: DG21500: value 1 looked odd\n"},
        {"a describe that does not compile, after which statements run again",
         "\\describe SELECT NOSUCHCOLUMN FROM SAMPLE\nINSERT INTO LEDGER VALUES (98, 'ran');",
         "(1 row affected)\n",
         "ERROR -206: DB2 Return Code: -206 NOSUCHCOLUMN IS NOT A COLUMN OF AN INSERTED TABLE, UPDATED "
         "TABLE, OR "
         "ANY TABLE IDENTIFIED IN A FROM CLAUSE\n"},
        // Last, as the settings stay; the file's content is checked below.
        {"\\g FILE sends the statement typed to a file, \\g alone sends the last one again, \\gx shows it "
         "expanded; \\pset null and \\pset format apply to what follows",
         "SELECT C_INT, C_SMALL FROM SAMPLE ORDER BY C_INT \\g " + file +
             "\n\\g\n\\pset null (null)\nSELECT C_INT, C_SMALL FROM SAMPLE WHERE C_INT = 2\n\\gx\n"
             "\\pset format unaligned\n\\g",
         smallTable + "Null display is \"(null)\".\n-[ RECORD 1 ]---\nc_int   | 2\nc_small | (null)\n\n"
                      "Output format is unaligned.\nc_int|c_small\n2|(null)\n(1 row)\n\n",
         ""},
    };
    const size_t mark = env.gateway().mark();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.claim);
        run(c.script);
        EXPECT_EQ(out.str(), c.out);
        EXPECT_EQ(err.str(), c.err);
    }
    EXPECT_EQ(shell->failures(), 1) << "the describe";
    const std::vector<std::string> sent = env.gateway().requestsSince(mark);
    for (const char* text : {"INSERT INTO LEDGER VALUES (5, 'O''Brien; said \"hi\"')",
                             "SELECT ID, \"NOTE\" FROM LEDGER WHERE NOTE = 'O''Brien; said \"hi\"'"}) {
        EXPECT_NE(std::find(sent.begin(), sent.end(), text), sent.end()) << ::testing::PrintToString(sent);
    }
    EXPECT_EQ(env.queryValue("SELECT note FROM joe.ledger WHERE id = 5"), "O'Brien; said \"hi\"");
    EXPECT_EQ(readFile(file), smallTable);
    std::remove(file.c_str());
}

TEST_F(KwshLiveTest, TheTraceShowsTheDriversStepsAfterEachStatementWhileItIsOn) {
    run("\\trace on\n\\describe SELECT C_INT FROM SAMPLE\n\\trace off\n\\describe SELECT C_INT FROM SAMPLE");
    const std::string trace = err.str();
    EXPECT_NE(trace.find("trace: Set noexec yes succeeded\n"), std::string::npos) << trace;
    EXPECT_NE(trace.find("trace: Cancel result sets\n"), std::string::npos) << trace;
    const size_t first = trace.find("Set noexec no succeeded");
    ASSERT_NE(first, std::string::npos) << trace;
    EXPECT_EQ(trace.find("Set noexec no succeeded", first + 1), std::string::npos)
        << "nothing once it is off";
}

TEST_F(KwshLiveTest, ADisconnectLeavesNothingOfTheDriverInTheBlocksContext) {
    run("SELECT * FROM SAMPLE;\n\\describe SELECT C_INT FROM SAMPLE\nSELECT * FROM "
        "NOSUCHTABLE;\n\\disconnect");
    EXPECT_FALSE(shell->session().connected());
    EXPECT_EQ(err.str().find("kept"), std::string::npos) << err.str();
    EXPECT_NE(out.str().find("disconnected from " + env.serverName()), std::string::npos);
    EXPECT_EQ(shell->session().liveAllocations(), 3) << "the server name, the user and the password";
}

TEST_F(KwshLiveTest, AGatewayThatDiesIsALostConnectionThatConninfoTellsAndConnectReplaces) {
    kwtest::Gateway& doomed = env.startGateway("KWGW_DOOMED", {});
    ASSERT_TRUE(shell->disconnect());
    ASSERT_TRUE(shell->connect({"KWGW_DOOMED", kwtest::kJoe.name, kwtest::kJoe.password, ""})) << err.str();
    run("SELECT C_INT FROM SAMPLE WHERE C_INT = 1;");
    ASSERT_EQ(err.str(), "");
    ASSERT_EQ(kill(doomed.pid(), SIGKILL), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));

    run("SELECT C_INT FROM SAMPLE WHERE C_INT = 1;");
    EXPECT_EQ(out.str(), "");
    // DB-Library sees either a failed write or a connection closed under it, by timing.
    const std::string lost =
        "ERROR 999: The connection to the database server was lost: the server closed it or can no longer "
        "be reached. Disconnect, then connect again.\n";
    const std::string writeFailed = "ERROR 20006: Write to the server failed (KWGW_DOOMED)\n";
    EXPECT_TRUE(err.str() == lost || err.str() == writeFailed) << err.str();
    run("\\conninfo");
    EXPECT_EQ(out.str(),
              "the connection to KWGW_DOOMED as JOE was lost; \\connect or \\login starts a new one\n");

    run("\\connect " + env.serverName() + " JOE " + kwtest::kJoe.password +
        "\nSELECT C_INT FROM SAMPLE WHERE C_INT = 2;");
    EXPECT_EQ(err.str(), "");
    EXPECT_EQ(out.str(), "closed the lost connection to KWGW_DOOMED\nconnected to " + env.serverName() +
                             " as JOE\n c_int\n-------\n     2\n(1 row)\n\n");
    EXPECT_EQ(kwhost_registeredConnectionCount(), 1) << "the lost connection was let go";
}

TEST_F(KwshLiveTest, TimingFollowsEachStatementWithTheTimeItTook) {
    run("\\timing on\nSELECT C_INT FROM SAMPLE WHERE C_INT = 1;\n\\timing off\n"
        "SELECT C_INT FROM SAMPLE WHERE C_INT = 1;");
    const std::string text = out.str();
    const std::string table = " c_int\n-------\n     1\n(1 row)\n\n";
    ASSERT_EQ(text.rfind("Timing is on.\n" + table + "Time: ", 0), 0u) << text;
    const size_t ms = text.find(" ms\nTiming is off.\n" + table);
    ASSERT_NE(ms, std::string::npos) << text;
    const std::string took = text.substr(text.find("Time: ") + 6, ms - text.find("Time: ") - 6);
    EXPECT_GT(std::stod(took), 0.0) << took;
    EXPECT_EQ(took.size() - took.find('.'), 4u) << "milliseconds with three decimals: " << took;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Runs the kwsh program in the demonstration folder, as a person would, with `vars` added to its
// environment; answers its exit status and its output (standard output and standard error
// together, as a terminal shows them).
int runKwsh(std::vector<std::string> args, std::string& output,
            const std::map<std::string, std::string>& vars = {}) {
    const std::string path = Environment::get().tempDir() + "/kwsh-output.txt";
    const pid_t child = fork();
    if (child == 0) {
        if (chdir(KWSH_DEMO_DIR) != 0) {
            _exit(126);
        }
        for (const auto& [name, value] : vars) {
            setenv(name.c_str(), value.c_str(), 1);
        }
        const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(fd, STDOUT_FILENO);
        dup2(fd, STDERR_FILENO);
        dup2(open("/dev/null", O_RDONLY), STDIN_FILENO);
        std::vector<char*> argv{const_cast<char*>(KWSH_PATH)};
        for (std::string& arg : args) {
            argv.push_back(arg.data());
        }
        argv.push_back(nullptr);
        execv(KWSH_PATH, argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(child, &status, 0);
    output = readFile(path);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// kwsh's arguments to log in as JOE on the standard gateway, then `more`.
std::vector<std::string> asJoe(std::vector<std::string> more, const char* password = kwtest::kJoe.password) {
    std::vector<std::string> args = {"-S",    Environment::get().serverName(), "-U", kwtest::kJoe.name, "-P",
                                     password};
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

// kwsh at a UTF-8 terminal (a pseudo-terminal) with `args`, a history file of its own that goes
// with it, and `more` set in its environment.
class Terminal : public kwtest::TerminalProgram {
  public:
    explicit Terminal(const std::vector<std::string>& args, std::map<std::string, std::string> more = {})
        : TerminalProgram(KWSH_PATH, args, withTerminal(std::move(more))) {}
    ~Terminal() { std::remove(history().c_str()); }
    // Types `keys` and waits for `text`.
    bool answers(const std::string& keys, const std::string& text) { return type(keys) && expect(text); }
    // Types \q: kwsh ends with status 0.
    void quit() {
        EXPECT_TRUE(type("\\q\r"));
        EXPECT_EQ(wait(), 0) << transcript();
    }

  private:
    static std::string history() { return Environment::get().tempDir() + "/kwsh-terminal-history"; }
    static std::map<std::string, std::string> withTerminal(std::map<std::string, std::string> more) {
        more.insert({{"LANG", "C.UTF-8"}, {"LC_ALL", ""}, {"KWSH_HISTORY", history()}});
        return more;
    }
};

// A person at a UTF-8 terminal types text beyond ASCII into a statement. kwsh hands the driver the
// bytes typed, in the terminal's charset; with that as the client charset, FreeTDS converts them to
// the charset the gateway speaks, so the server stores the text as typed, and the table shows it
// lined up by the columns it takes.
TEST_F(KwshLiveTest, TextTypedAtTheTerminalIsStoredAsTypedAndShownLinedUp) {
    const kwtest::Gateway& utf8 = env.startGateway("KWGW_UTF8", {"--charset", "utf8"});
    env.addServer("KWGW_UTF8_TERMINAL", utf8.port(), {"client charset = UTF-8"});
    env.addServer("KWGW_ISO1_TERMINAL", env.gateway().port(), {"client charset = UTF-8"});
    const struct {
        const char* claim;
        const char* server;
        std::string text, table, utf8Hex;
    } cases[] = {
        {"a gateway that speaks UTF-8", "KWGW_UTF8_TERMINAL", "José 日本",
         " id |   note\r\n----+-----------\r\n  8 | José 日本\r\n(1 row)\r\n", "4a6f73c3a920e697a5e69cac"},
        {"a gateway that speaks iso_1", "KWGW_ISO1_TERMINAL", "José",
         " id | note\r\n----+------\r\n  8 | José\r\n(1 row)\r\n", "4a6f73c3a9"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.claim);
        env.exec("DELETE FROM joe.ledger");
        Terminal kwsh({"-S", c.server, "-U", kwtest::kJoe.name, "-P", kwtest::kJoe.password});
        const std::string prompt = std::string(c.server) + "> ";
        ASSERT_TRUE(kwsh.expect(prompt)) << kwsh.transcript();
        EXPECT_TRUE(kwsh.answers("INSERT INTO LEDGER VALUES (8, '" + c.text + "');\r",
                                 "(1 row affected)\r\n" + prompt))
            << kwsh.transcript();
        EXPECT_TRUE(kwsh.answers("SELECT ID, NOTE FROM LEDGER WHERE NOTE LIKE 'Jos_%';\r", c.table))
            << kwsh.transcript();
        kwsh.quit();
        EXPECT_EQ(
            env.queryValue("SELECT encode(convert_to(note, 'UTF8'), 'hex') FROM joe.ledger WHERE id = 8"),
            c.utf8Hex)
            << "the bytes of the text typed, in UTF-8";
    }
}

// A password given with -P is in the process list; at a terminal kwsh says so, once, and a
// password from KWSH_PASSWORD or the prompt draws no warning.
TEST_F(KwshLiveTest, AtATerminalAPasswordGivenWithDashPIsWarnedAboutOnce) {
    const std::string warning = "kwsh: warning: other users can read a password given with -P";
    const struct {
        const char* claim;
        std::vector<std::string> args;
        std::map<std::string, std::string> more;
        size_t warnings;
    } cases[] = {
        {"-P typed on the command line", asJoe({"-X"}), {}, 1},
        {"the password in KWSH_PASSWORD",
         {"-S", env.serverName(), "-U", kwtest::kJoe.name, "-X"},
         {{"KWSH_PASSWORD", kwtest::kJoe.password}},
         0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.claim);
        Terminal kwsh(c.args, c.more);
        ASSERT_TRUE(kwsh.expect(env.serverName() + "> ")) << kwsh.transcript();
        kwsh.quit();
        const std::string shown = kwsh.transcript();
        size_t count = 0;
        for (size_t at = shown.find(warning); at != std::string::npos; at = shown.find(warning, at + 1)) {
            ++count;
        }
        EXPECT_EQ(count, c.warnings) << shown;
    }
}

// At a terminal, Ctrl-C during a statement cancels it on the server and kwsh goes on.
TEST_F(KwshLiveTest, CtrlCAtTheTerminalCancelsARunningStatementOnTheServerAndKwshGoesOn) {
    Terminal kwsh(asJoe({}));
    const std::string prompt = env.serverName() + "> ";
    ASSERT_TRUE(kwsh.expect(prompt)) << kwsh.transcript();
    ASSERT_TRUE(kwsh.type("SELECT PG_SLEEP(60) AS S FROM SAMPLE WHERE C_INT = 1;\r"));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (env.queryValue(kActiveSleeps) != "1" && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ASSERT_EQ(env.queryValue(kActiveSleeps), "1") << kwsh.transcript();
    EXPECT_TRUE(kwsh.answers("\x03", "ERROR: statement cancelled\r\n" + prompt)) << kwsh.transcript();
    EXPECT_EQ(env.queryValue(kActiveSleeps), "0");
    EXPECT_TRUE(kwsh.answers("SELECT C_INT FROM SAMPLE WHERE C_INT = 2;\r",
                             " c_int\r\n-------\r\n     2\r\n(1 row)\r\n"))
        << kwsh.transcript();
    kwsh.quit();
}

// At the terminal, Tab completes table names from the catalog and then the column names of the
// table the statement names, in the case typed.
TEST_F(KwshLiveTest, TabCompletesTableAndColumnNamesThroughTheCatalog) {
    Terminal kwsh(asJoe({"-X"}));
    ASSERT_TRUE(kwsh.expect(env.serverName() + "> ")) << kwsh.transcript();
    ASSERT_TRUE(kwsh.answers("SELECT C_VARCHAR FROM SAMP\t", "LE ")) << kwsh.transcript();
    ASSERT_TRUE(kwsh.answers("WHERE C_I\t", "NT ")) << kwsh.transcript();
    EXPECT_TRUE(kwsh.answers("= 1;\r", "  c_varchar\r\n--------------\r\n hello, world\r\n(1 row)\r\n"))
        << kwsh.transcript();
    ASSERT_TRUE(kwsh.answers("\\d joe.sam\t", "ple ")) << kwsh.transcript();
    EXPECT_TRUE(kwsh.answers("\r", "Table \"joe.sample\"")) << kwsh.transcript();
    kwsh.quit();
}

// At a terminal --login-dialog shows the driver's login dialog even when every value is given,
// filled with them; Enter confirms it and the session starts.
TEST_F(KwshLiveTest, AtATerminalTheLoginDialogShowsFilledWithTheValuesGiven) {
    const std::string profile = env.tempDir() + "/kwsh-dialog.ini";
    std::ofstream(profile) << "[database]\nTableSpace=USERSPACE1\n";
    Terminal kwsh(asJoe({"-X", "--login-dialog", "-D", "KWCatalogOwner=''"}), {{"KW_PROFILE", profile}});
    ASSERT_TRUE(kwsh.expect("Login")) << kwsh.transcript();
    ASSERT_TRUE(kwsh.expect(kwtest::kJoe.name)) << kwsh.transcript();
    EXPECT_TRUE(kwsh.answers("\r", "connected to " + env.serverName() + " as JOE\r\n")) << kwsh.transcript();
    ASSERT_TRUE(kwsh.expect(env.serverName() + "> ")) << kwsh.transcript();
    kwsh.quit();
    std::remove(profile.c_str());
}

TEST_F(KwshLiveTest, QuietLeavesOutRowCountsAndConfirmationsButNotTheRows) {
    std::string output;
    EXPECT_EQ(
        runKwsh(asJoe({"-q", "-c",
                       "SELECT C_INT FROM SAMPLE WHERE C_INT = 2;\nINSERT INTO LEDGER VALUES (9, 'quiet');\n"
                       "\\describe SELECT C_INT FROM SAMPLE"}),
                output),
        0);
    EXPECT_EQ(output,
              " c_int\n-------\n     2\n\n"
              " column |  type   | host type | length\n"
              "--------+---------+-----------+--------\n"
              " c_int  | INTEGER |         5 |      4\n\n");
}

// The demonstration session as scripts/demo runs it: the users DEMO and SMITH, SMITH's stored
// requests (setup.sql), a gateway that falls back on them, a private profile naming them, and a
// connect through the login dialog with every value given, which shows no form and creates the
// extended attribute catalog the session then uses.
TEST(KwshProgram, RunsTheDemonstrationSessionAsItsTranscriptSays) {
    Environment& env = Environment::get();
    std::string output;
    ASSERT_EQ(env.runKwgateway({"user", "add", "DEMO", "--pg", env.conninfo()}, &output, "demo-pw\n"), 0)
        << output;
    env.exec(readFile(std::string(KWSH_DEMO_DIR) + "/setup.sql"));
    env.startGateway("KWDEMO", {"--stored-request-owner", "SMITH"});
    const std::string profile = env.tempDir() + "/kwsh-demo.ini";
    std::ofstream(profile) << "[database]\nStoredReqOwner=SMITH\nTableSpace=USERSPACE1\n";
    const char* const catalogTables =
        "SELECT count(*) FROM pg_tables WHERE schemaname = 'demo' AND tablename LIKE 'kwcat%'";
    ASSERT_EQ(env.queryValue(catalogTables), "0");

    EXPECT_EQ(runKwsh({"--login-dialog", "-S", "KWDEMO", "-U", "DEMO", "-D",
                       "SystemOwner='SYSIBM',KWCatalogOwner=''", "-f", "session.sql"},
                      output, {{"KWSH_PASSWORD", "demo-pw"}, {"KW_PROFILE", profile}}),
              3)
        << "the session fails one statement on purpose\n"
        << output;
    EXPECT_EQ(output, readFile(std::string(KWSH_DEMO_DIR) + "/session.expected"));
    EXPECT_EQ(env.queryValue(catalogTables), "5") << "the login dialog created the attribute catalog";
    EXPECT_EQ(
        env.queryValue("SELECT tableowner FROM pg_tables WHERE schemaname = 'smith' AND tablename = 'dept'"),
        "smith");
    for (const char* granted : {"table_privileges", "column_privileges"}) {
        EXPECT_EQ(env.queryValue(std::string("SELECT count(*) FROM information_schema.") + granted +
                                 " WHERE grantee = 'smith' AND table_schema = 'demo'"),
                  "0")
            << granted << ": what the session granted it revoked";
    }
    std::remove(profile.c_str());
}

TEST(KwshProgram, AnErrorAfterSomeRowsComesAfterTheRowsShownAndFailsTheScript) {
    Environment::get().exec(R"SQL(
        CREATE SCHEMA IF NOT EXISTS joe AUTHORIZATION joe;
        SET ROLE joe;
        CREATE TABLE joe.squares (d INTEGER);
        INSERT INTO joe.squares VALUES (10), (20), (100000);
        RESET ROLE;)SQL");
    std::string output;
    EXPECT_EQ(runKwsh(asJoe({"-c", "SELECT D, D * D AS SQ FROM SQUARES;\n\\echo after"}), output), 3)
        << output;
    const size_t rows = output.find(" 10 | 100\n 20 | 400\n");
    const size_t error = output.find("ERROR -802: DB2 Return Code: -802 ");
    const size_t after = output.find("after\n");
    ASSERT_NE(rows, std::string::npos) << output;
    ASSERT_NE(error, std::string::npos) << output;
    EXPECT_LT(rows, error) << output;
    EXPECT_LT(error, after) << "the script goes on after the failure\n" << output;
}

TEST(KwshProgram, ExitStatusesTellARefusedLoginAndAFailedScript) {
    std::string output;
    EXPECT_EQ(runKwsh(asJoe({"-c", "\\echo never"}, "wrong"), output), 2);
    EXPECT_EQ(output, "ERROR 4002: Login failed.\n");
    EXPECT_EQ(runKwsh(asJoe({"-q", "--stop-on-error", "-c",
                             "\\echo before\nSELECT * FROM NOSUCHTABLE;\n\\echo after"}),
                      output),
              3);
    EXPECT_EQ(output.find("after"), std::string::npos) << output;
    EXPECT_EQ(output.rfind("before\nERROR -204: ", 0), 0u) << output;
    // Without --stop-on-error the script goes on, and its status still tells of the failure; a
    // \quit after it does not hide it either.
    EXPECT_EQ(runKwsh(asJoe({"-q", "-c", "SELECT * FROM NOSUCHTABLE;\n\\echo after\n\\quit"}), output), 3);
    EXPECT_NE(output.find("after"), std::string::npos) << output;
    EXPECT_EQ(runKwsh(asJoe({"-q", "-D", "DelimitIdentifier='No'", "-c", "\\echo fine"}), output), 0);
    EXPECT_EQ(output, "fine\n");
    EXPECT_EQ(runKwsh(asJoe({"-f", "no-such-script.sql"}), output), 1);
    EXPECT_EQ(output, "kwsh: cannot read no-such-script.sql\n") << "checked before connecting";
    // The login dialog cannot be shown without a terminal: with the password missing the login
    // counts as cancelled.
    EXPECT_EQ(runKwsh({"--login-dialog", "-S", Environment::get().serverName(), "-U", kwtest::kJoe.name, "-c",
                       "\\echo never"},
                      output),
              2);
    EXPECT_EQ(output, "ERROR 999: login cancelled\n");
    EXPECT_EQ(runKwsh({"--driver", "no/such/driver.so", "-c", "\\echo never"}, output), 1);
    EXPECT_EQ(output.rfind("kwsh: cannot load the driver no/such/driver.so", 0), 0u) << output;
}

}  // namespace
