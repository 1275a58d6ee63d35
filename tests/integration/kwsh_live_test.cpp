// kwsh_live_test.cpp - kwsh against the live gateway: result sets of every DB2 type as a person
// reads them and as CSV, server errors, row counts, transactions, compile-only describe, several
// result sets, warnings, the trace, a clean disconnect, and the kwsh program itself running the
// demonstration session.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "kwconst.h"
#include "kwtest/environment.h"
#include "shell.h"

#ifndef KWSH_PATH
#error "KWSH_PATH must name the kwsh program"
#endif
#ifndef KWSH_DEMO_DIR
#error "KWSH_DEMO_DIR must name the folder of the demonstration session"
#endif

namespace {

using kwtest::Environment;

const char kSelectAll[] =
    "SELECT C_CHAR, C_VARCHAR, C_INT, C_SMALL, C_FLOAT, C_LONG, C_DEC, C_DATE, C_TIME, C_TS FROM ALLTYPES "
    "ORDER BY C_INT;";

class KwshLiveTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        Environment& env = Environment::get();
        env.exec("CREATE SCHEMA IF NOT EXISTS joe AUTHORIZATION joe");
        env.exec(
            "CREATE TABLE joe.alltypes (c_char CHAR(10), c_varchar VARCHAR(40), c_int INTEGER, c_small "
            "SMALLINT, "
            "c_float FLOAT, c_long TEXT, c_dec DECIMAL(9,2), c_date DATE, c_time TIME, c_ts TIMESTAMP)");
        env.exec(
            "INSERT INTO joe.alltypes VALUES "
            "('abc', 'hello, world', 1, 7, 2.5, 'a long text', 1234.56, '2001-03-05', '07:43:54', "
            "'2001-03-05 07:43:54.00012'), "
            "('', 'say \"hi\"', 2, -32768, -0.125, 'two\nlines', -0.50, '1999-12-31', '23:59:58', "
            "'1999-12-31 23:59:58.999999'), "
            "(NULL, NULL, 3, NULL, NULL, NULL, NULL, NULL, NULL, NULL)");
        env.exec("ALTER TABLE joe.alltypes OWNER TO joe");
        env.exec("CREATE TABLE joe.ledger (id INTEGER, note VARCHAR(20))");
        env.exec("ALTER TABLE joe.ledger OWNER TO joe");
        env.exec(
            "CREATE OR REPLACE FUNCTION joe.warned(v INTEGER) RETURNS INTEGER LANGUAGE plpgsql AS "
            "$$ BEGIN RAISE WARNING 'value % looked odd', v; RETURN v; END $$");
        env.exec("ALTER FUNCTION joe.warned(INTEGER) OWNER TO joe");
        env.exec("CREATE TABLE joe.pcsql_hostlib (req_name CHAR(12), req_text VARCHAR(4046))");
        env.exec("ALTER TABLE joe.pcsql_hostlib OWNER TO joe");
        env.exec(
            "INSERT INTO joe.pcsql_hostlib VALUES ('TWOSETS', "
            "'SELECT C_INT FROM ALLTYPES WHERE C_INT < 3 ORDER BY C_INT; "
            "SELECT C_VARCHAR, C_SMALL FROM ALLTYPES WHERE C_INT = 1')");
    }

    void SetUp() override {
        std::string error;
        driver = kwsh::Driver::load(kwsh::defaultDriverPath(), error);
        ASSERT_NE(driver, nullptr) << error;
        shell = std::make_unique<kwsh::Shell>(*driver, out, err);
        ASSERT_TRUE(shell->connect({env.serverName(), kwtest::kJoe.name, kwtest::kJoe.password, ""}))
            << err.str();
        clear();
    }

    void clear() {
        out.str("");
        err.str("");
    }
    void run(const std::string& text) {
        clear();
        shell->runText(text, "");
    }

    Environment& env = Environment::get();
    std::ostringstream out, err;
    std::unique_ptr<kwsh::Driver> driver;
    std::unique_ptr<kwsh::Shell> shell;
};

TEST_F(KwshLiveTest, ResultSetsOfEveryDb2TypeReadAsAPersonWritesThem) {
    run(kSelectAll);
    EXPECT_EQ(err.str(), "");
    EXPECT_EQ(
        out.str(),
        " c_char |  c_varchar   | c_int | c_small | c_float |   c_long    |  c_dec  |   c_date   |  c_time  "
        "|            c_ts\n"
        "--------+--------------+-------+---------+---------+-------------+---------+------------+----------"
        "+----------------------------\n"
        " abc    | hello, world |     1 |       7 |     2.5 | a long text | 1234.56 | 2001-03-05 | 07.43.54 "
        "| 2001-03-05-07.43.54.000120\n"
        "        | say \"hi\"     |     2 |  -32768 |  -0.125 | two\\nlines  |   -0.50 | 1999-12-31 | "
        "23.59.58 "
        "| 1999-12-31-23.59.58.999999\n"
        " NULL   | NULL         |     3 | NULL    | NULL    | NULL        | NULL    | NULL       | NULL     "
        "| NULL\n"
        "(3 rows)\n\n");
}

TEST_F(KwshLiveTest, CsvOutputQuotesWhatNeedsItAndLeavesNullsEmpty) {
    run("\\format csv\n" + std::string(kSelectAll));
    EXPECT_EQ(err.str(), "");
    EXPECT_EQ(
        out.str(),
        "c_char,c_varchar,c_int,c_small,c_float,c_long,c_dec,c_date,c_time,c_ts\n"
        "abc,\"hello, world\",1,7,2.5,a long text,1234.56,2001-03-05,07.43.54,2001-03-05-07.43.54.000120\n"
        "\"\",\"say \"\"hi\"\"\",2,-32768,-0.125,\"two\nlines\",-0.50,1999-12-31,23.59.58,"
        "1999-12-31-23.59.58.999999\n"
        ",,3,,,,,,,\n");
}

TEST_F(KwshLiveTest, AServerErrorIsOneReadableLineAndTheShellGoesOn) {
    run("SELECT * FROM NOSUCHTABLE;\nSELECT C_INT FROM ALLTYPES WHERE C_INT = 1;");
    const std::string error = err.str();
    EXPECT_EQ(error.rfind("ERROR -204: ", 0), 0u) << error;
    EXPECT_NE(error.find("NOSUCHTABLE IS AN UNDEFINED NAME"), std::string::npos) << error;
    EXPECT_EQ(std::count(error.begin(), error.end(), '\n'), 1) << "one line";
    EXPECT_EQ(out.str(), " c_int\n-------\n     1\n(1 row)\n\n");
    EXPECT_EQ(shell->failures(), 1);
}

TEST_F(KwshLiveTest, ChangesReportTheRowsTheyTouched) {
    run("INSERT INTO LEDGER VALUES (1, 'one');\n"
        "INSERT INTO LEDGER VALUES (2, 'two');\n"
        "UPDATE LEDGER SET NOTE = 'changed' WHERE ID > 0;\n"
        "DELETE FROM LEDGER WHERE ID > 100;\n"
        "DELETE FROM LEDGER;");
    EXPECT_EQ(err.str(), "");
    EXPECT_EQ(
        out.str(),
        "(1 row affected)\n(1 row affected)\n(2 rows affected)\n(0 rows affected)\n(2 rows affected)\n");
}

TEST_F(KwshLiveTest, RollbackUndoesALongTransactionAndCommitKeepsIt) {
    run("\\begin\nINSERT INTO LEDGER VALUES (10, 'undone');\n\\rollback");
    EXPECT_EQ(err.str(), "");
    EXPECT_EQ(env.queryValue("SELECT count(*) FROM joe.ledger WHERE id = 10"), "0");
    run("\\begin\nINSERT INTO LEDGER VALUES (11, 'kept');\n\\commit");
    EXPECT_EQ(err.str(), "");
    EXPECT_EQ(out.str(),
              "long transaction begun; end it with \\commit or \\rollback\n(1 row affected)\ncommitted\n");
    EXPECT_EQ(env.queryValue("SELECT note FROM joe.ledger WHERE id = 11"), "kept");
    env.exec("DELETE FROM joe.ledger");
}

TEST_F(KwshLiveTest, CompileOnlyDescribeShowsTheColumnsAndRunsNothing) {
    const size_t mark = env.gateway().mark();
    run("\\describe SELECT C_CHAR, C_INT, C_SMALL, C_FLOAT, C_LONG, C_DEC, C_DATE, C_TIME, C_TS FROM "
        "ALLTYPES\n"
        "\\describe INSERT INTO LEDGER VALUES (99, 'never');");
    EXPECT_EQ(err.str(), "");
    EXPECT_EQ(out.str(),
              " column  |     type     | host type | length\n"
              "---------+--------------+-----------+--------\n"
              " c_char  | CHAR(10)     |         1 |     11\n"
              " c_int   | INTEGER      |         5 |      4\n"
              " c_small | SMALLINT     |         6 |      2\n"
              " c_float | FLOAT        |         3 |     44\n"
              " c_long  | LONG VARCHAR |        14 |  32700\n"
              " c_dec   | DECIMAL(9,2) |         4 |     44\n"
              " c_date  | DATE         |         7 |     11\n"
              " c_time  | TIME         |         8 |     16\n"
              " c_ts    | TIMESTAMP    |         9 |     27\n"
              "(9 rows)\n\n"
              "the statement compiles and returns no rows\n");
    EXPECT_EQ(env.queryValue("SELECT count(*) FROM joe.ledger WHERE id = 99"), "0");
    const std::vector<std::string> sent = env.gateway().requestsSince(mark);
    ASSERT_EQ(sent.size(), 6u);
    EXPECT_EQ(sent[0], "SET NOEXEC YES");
    EXPECT_EQ(sent[2], "SET NOEXEC NO");
    EXPECT_EQ(sent[4], "INSERT INTO LEDGER VALUES (99, 'never')");
}

TEST_F(KwshLiveTest, ACompileErrorOfDescribeIsReportedAndTheConnectionRunsStatementsAgain) {
    run("\\describe SELECT NOSUCHCOLUMN FROM ALLTYPES\nINSERT INTO LEDGER VALUES (98, 'ran');");
    EXPECT_EQ(err.str().rfind("ERROR -206: ", 0), 0u) << err.str();
    EXPECT_EQ(out.str(), "(1 row affected)\n");
    EXPECT_EQ(env.queryValue("SELECT count(*) FROM joe.ledger WHERE id = 98"), "1");
    env.exec("DELETE FROM joe.ledger");
}

TEST_F(KwshLiveTest, EveryResultSetOfAStoredRequestIsPrintedInTurn) {
    run("EXECUTE TWOSETS;");
    EXPECT_EQ(err.str(), "");
    EXPECT_EQ(out.str(),
              " c_int\n-------\n     1\n     2\n(2 rows)\n\n"
              "  c_varchar   | c_small\n--------------+---------\n hello, world |       7\n(1 row)\n\n");
}

TEST_F(KwshLiveTest, ARowThatCameWithAWarningIsShownWithTheWarningAndTheNextStatementRunsNormally) {
    // The gateway sends the warning before the row it came with, or (a known race) after it.
    // Either way the warning is shown once and the next statement is not taken for a failure.
    run("SELECT WARNED(C_INT) AS W, C_DEC FROM ALLTYPES WHERE C_INT = 1;\n"
        "SELECT C_INT FROM ALLTYPES WHERE C_INT = 2;");
    EXPECT_EQ(err.str(), "WARNING: DG21500: value 1 looked odd\n");
    EXPECT_EQ(out.str(),
              " w |  c_dec\n---+---------\n 1 | 1234.56\n(1 row)\n\n"
              " c_int\n-------\n     2\n(1 row)\n\n");
}

TEST_F(KwshLiveTest, TheTraceShowsTheDriversStepsAfterEachStatement) {
    run("\\trace on\n\\describe SELECT C_INT FROM ALLTYPES\n\\trace off\n\\describe SELECT C_INT FROM "
        "ALLTYPES");
    const std::string trace = err.str();
    EXPECT_NE(trace.find("trace: Set noexec yes succeeded\n"), std::string::npos) << trace;
    EXPECT_NE(trace.find("trace: Cancel result sets\n"), std::string::npos) << trace;
    const size_t first = trace.find("Set noexec no succeeded");
    ASSERT_NE(first, std::string::npos) << trace;
    EXPECT_EQ(trace.find("Set noexec no succeeded", first + 1), std::string::npos)
        << "nothing once it is off";
}

TEST_F(KwshLiveTest, ADisconnectLeavesNothingOfTheDriverInTheBlocksContext) {
    run(std::string(kSelectAll) +
        "\\describe SELECT C_INT FROM ALLTYPES\nSELECT * FROM NOSUCHTABLE;\n\\disconnect");
    EXPECT_FALSE(shell->session().connected());
    EXPECT_EQ(err.str().find("kept"), std::string::npos) << err.str();
    EXPECT_NE(out.str().find("disconnected from " + env.serverName()), std::string::npos);
    EXPECT_EQ(shell->session().liveAllocations(), 3) << "the server name, the user and the password";
}

TEST_F(KwshLiveTest, AnInterruptAtTheTerminalCancelsTheStatementOnTheServerAndTheShellGoesOn) {
    shell->settings().interactive = true;
    std::thread interrupter([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        kill(getpid(), SIGINT);
    });
    const auto start = std::chrono::steady_clock::now();
    run("SELECT PG_SLEEP(60) AS S FROM ALLTYPES WHERE C_INT = 1;");
    const auto seconds =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start).count();
    interrupter.join();
    EXPECT_LT(seconds, 20) << "cancelled, not waited out";
    EXPECT_EQ(err.str(), "ERROR: statement cancelled\n");
    EXPECT_EQ(env.queryValue("SELECT count(*) FROM pg_stat_activity WHERE query ILIKE '%pg_sleep(60)%' AND "
                             "state = 'active' AND pid <> pg_backend_pid()"),
              "0");
    run("SELECT C_INT FROM ALLTYPES WHERE C_INT = 2;");
    EXPECT_EQ(err.str(), "");
    EXPECT_EQ(out.str(), " c_int\n-------\n     2\n(1 row)\n\n");
}

// The kwsh program run as a person would run it; answers its exit status and its output (standard
// output and standard error together, in the order a terminal shows them).
int runKwsh(const std::vector<std::string>& args, std::string& output) {
    const std::string path = Environment::get().tempDir() + "/kwsh-output.txt";
    const pid_t child = fork();
    if (child == 0) {
        // Scripts are named as a person in the demonstration folder names them.
        if (chdir(KWSH_DEMO_DIR) != 0) {
            _exit(126);
        }
        const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(fd, STDOUT_FILENO);
        dup2(fd, STDERR_FILENO);
        const int none = open("/dev/null", O_RDONLY);
        dup2(none, STDIN_FILENO);
        std::vector<char*> argv{const_cast<char*>(KWSH_PATH)};
        for (const std::string& arg : args) {
            argv.push_back(const_cast<char*>(arg.c_str()));
        }
        argv.push_back(nullptr);
        execv(KWSH_PATH, argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(child, &status, 0);
    std::ifstream in(path);
    output.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(KwshProgram, RunsTheDemonstrationSessionAsItsTranscriptSays) {
    Environment& env = Environment::get();
    env.exec("CREATE SCHEMA IF NOT EXISTS joe AUTHORIZATION joe");
    std::string output;
    const int status = runKwsh(
        {"-S", env.serverName(), "-U", kwtest::kJoe.name, "-P", kwtest::kJoe.password, "-f", "session.sql"},
        output);
    EXPECT_EQ(status, 3) << "the session fails one statement on purpose\n" << output;
    std::string expected = readFile(std::string(KWSH_DEMO_DIR) + "/session.expected");
    // The transcript was taken by scripts/demo, as DEMO on its gateway KWDEMO.
    const std::pair<std::string, std::string> renames[] = {
        {"KWDEMO", env.serverName()}, {" as DEMO", " as JOE"}, {"DEMO.NOSUCHTABLE", "JOE.NOSUCHTABLE"}};
    for (const auto& [from, to] : renames) {
        for (size_t at; (at = expected.find(from)) != std::string::npos;) {
            expected.replace(at, from.size(), to);
        }
    }
    EXPECT_EQ(output, expected);
}

TEST(KwshProgram, ExitStatusesTellARefusedLoginAndAFailedScript) {
    Environment& env = Environment::get();
    std::string output;
    EXPECT_EQ(runKwsh({"-S", env.serverName(), "-U", kwtest::kJoe.name, "-P", "wrong", "-c", "\\echo never"},
                      output),
              2);
    EXPECT_EQ(output, "ERROR 4002: Login failed.\n");
    EXPECT_EQ(runKwsh({"-S", env.serverName(), "-U", kwtest::kJoe.name, "-P", kwtest::kJoe.password, "-q",
                       "--stop-on-error", "-c", "\\echo before\nSELECT * FROM NOSUCHTABLE;\n\\echo after"},
                      output),
              3);
    EXPECT_EQ(output.find("after"), std::string::npos) << output;
    EXPECT_EQ(output.rfind("before\nERROR -204: ", 0), 0u) << output;
    // Without --stop-on-error the script goes on, and its status still tells of the failure; a
    // \quit after it does not hide it either.
    EXPECT_EQ(runKwsh({"-S", env.serverName(), "-U", kwtest::kJoe.name, "-P", kwtest::kJoe.password, "-q",
                       "-c", "SELECT * FROM NOSUCHTABLE;\n\\echo after\n\\quit"},
                      output),
              3);
    EXPECT_NE(output.find("after"), std::string::npos) << output;
    EXPECT_EQ(runKwsh({"-S", env.serverName(), "-U", kwtest::kJoe.name, "-P", kwtest::kJoe.password, "-q",
                       "-D", "DelimitIdentifier='No'", "-c", "\\echo fine"},
                      output),
              0);
    EXPECT_EQ(output, "fine\n");
    EXPECT_EQ(runKwsh({"-S", env.serverName(), "-U", kwtest::kJoe.name, "-P", kwtest::kJoe.password, "-f",
                       "no-such-script.sql"},
                      output),
              1);
    EXPECT_EQ(output, "kwsh: cannot read no-such-script.sql\n") << "checked before connecting";
    EXPECT_EQ(runKwsh({"--driver", "no/such/driver.so", "-c", "\\echo never"}, output), 1);
    EXPECT_EQ(output.rfind("kwsh: cannot load the driver no/such/driver.so", 0), 0u) << output;
}

}  // namespace
