// Tests of the gateway as a program: real TDS clients from freetds-bin (bsqldb, tsql) reach it,
// `user add` checks DB2 names, and SIGTERM stops a gateway cleanly while a session is open.
#include "server/server.h"

#include <gtest/gtest.h>

#include <cstdio>

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
        EXPECT_EQ(
            env().runKwgateway({"user", "add", name, "--password", "pw", "--pg", env().conninfo()}, &output),
            2)
            << name;
    }
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(env().runKwgateway(
                      {"user", "add", "kwtadd", "--password", "first-pw", "--pg", env().conninfo()}, &output),
                  0)
            << output;
    }
    EXPECT_EQ(env().queryValue("SELECT rolcanlogin FROM pg_roles WHERE rolname = 'kwtadd'"), "t");
    EXPECT_EQ(env().queryValue("SELECT nspowner::regrole::text FROM pg_namespace WHERE nspname = 'kwtadd'"),
              "kwtadd");
    EXPECT_TRUE(kwtest::DbClient(env().serverName(), "KWTADD", "first-pw").connected());
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
