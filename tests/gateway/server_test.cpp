// Tests of the gateway as a program: real TDS clients from freetds-bin (bsqldb, tsql) reach it,
// `user add` checks DB2 names, and SIGTERM stops a gateway cleanly while a session is open.
#include "server/server.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "live.h"

namespace {

using kwtest::env;
using kwtest::kJoe;

// Runs a shell pipeline and returns what it printed on stdout and stderr.
std::string shell(const std::string& command) {
    std::string out;
    FILE* p = popen((command + " 2>&1").c_str(), "r");
    if (!p) {
        return out;
    }
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) {
        out.append(buf, n);
    }
    pclose(p);
    return out;
}

TEST(RealClients, BsqldbAndTsqlConnectAndRunAQuery) {
    kwtest::createJoeTable("cli", "name varchar(20), n int");
    env().exec("INSERT INTO joe.cli VALUES ('forty-two', 42)");
    std::string out =
        shell(fmt::format("printf 'select name, n from cli\\n' | timeout 30 bsqldb -S {} -U {} -P {}",
                          env().serverName(), kJoe.name, kJoe.password));
    EXPECT_NE(out.find("forty-two"), std::string::npos) << out;
    EXPECT_NE(out.find("42"), std::string::npos) << out;
    out = shell(
        fmt::format("printf 'select 6 * 7 as answer\\ngo\\nexit\\n' | timeout 30 tsql -S {} -U {} -P {}",
                    env().serverName(), kJoe.name, kJoe.password));
    EXPECT_NE(out.find("ANSWER"), std::string::npos) << out;
    EXPECT_NE(out.find("42"), std::string::npos) << out;
}

TEST(UserAdd, CreatesALoginRoleWithItsSchemaCanBeRepeatedAndRefusesNonDb2Names) {
    std::string output;
    for (const char* name : {"TOOLONGNAME", "1JOE", "JO E", ""}) {
        EXPECT_EQ(env().runKwgateway({"user", "add", name, "--pg", env().conninfo()}, &output, "pw\n"), 2)
            << name;
    }
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(
            env().runKwgateway({"user", "add", "kwtadd", "--pg", env().conninfo()}, &output, "first-pw\n"), 0)
            << output;
    }
    EXPECT_EQ(env().queryValue("SELECT rolcanlogin FROM pg_roles WHERE rolname = 'kwtadd'"), "t");
    EXPECT_EQ(env().queryValue("SELECT nspowner::regrole::text FROM pg_namespace WHERE nspname = 'kwtadd'"),
              "kwtadd");
    EXPECT_TRUE(kwtest::DbClient(env().serverName(), "KWTADD", "first-pw").connected());
}

// A password on the command line is one every user can read in the process list: user add takes
// it from standard input or a file, and --pg strings that hold one are warned about.
TEST(UserAdd, TakesThePasswordFromStandardInputOrAFileAndNeverFromTheCommandLine) {
    const std::string file = env().tempDir() + "/kwtpw.txt";
    FILE* f = fopen(file.c_str(), "w");
    ASSERT_NE(f, nullptr);
    fputs("from-file-pw\r\nsecond line\n", f);
    fclose(f);
    std::string output;
    const struct {
        const char* claim;
        std::vector<std::string> options;
        std::string input;
        int status;            // -1: any failure
        const char* password;  // that logs in afterwards (nullptr: none checked)
    } cases[] = {
        {"the first line of standard input", {}, "from-stdin-pw\nignored\n", 0, "from-stdin-pw"},
        {"the first line of a file, its CR LF dropped", {"--password-file", file}, "", 0, "from-file-pw"},
        {"standard input named as the file", {"--password-file", "-"}, "dash-pw", 0, "dash-pw"},
        {"nothing on standard input", {}, "", 2, nullptr},
        {"a file that is not there", {"--password-file", file + ".none"}, "", 2, nullptr},
        {"the old option", {"--password", "visible-pw"}, "", -1, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.claim);
        std::vector<std::string> args = {"user", "add", "kwtpw", "--pg", env().conninfo()};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const int status = env().runKwgateway(args, &output, c.input);
        if (c.status < 0) {
            EXPECT_NE(status, 0) << output;
        } else {
            EXPECT_EQ(status, c.status) << output;
        }
        if (c.password != nullptr) {
            EXPECT_TRUE(kwtest::DbClient(env().serverName(), "KWTPW", c.password).connected());
        }
    }
    const char* superPassword = std::getenv("PGPASSWORD");
    ASSERT_NE(superPassword, nullptr);
    EXPECT_EQ(env().runKwgateway({"init", "--pg", env().conninfo() + " password=" + superPassword}, &output),
              0)
        << output;
    EXPECT_NE(output.find("warning: the --pg connection string holds a password"), std::string::npos)
        << output;
    EXPECT_EQ(env().runKwgateway({"init", "--pg", env().conninfo()}, &output), 0) << output;
    EXPECT_EQ(output.find("warning"), std::string::npos) << "PGPASSWORD serves without a warning: " << output;
}

TEST(Serve, StopsCleanlyOnSigtermWithASessionOpen) {
    kwtest::Gateway& gw = env().startGateway("KWGW_STOP", {});
    kwtest::DbClient c(gw.serverName(), kJoe.name, kJoe.password);
    ASSERT_TRUE(c.connected());
    ASSERT_TRUE(c.exec("select 1"));
    EXPECT_EQ(gw.stop(), 0) << gw.log();
    EXPECT_NE(gw.log().find("stopped"), std::string::npos);
}

}  // namespace
