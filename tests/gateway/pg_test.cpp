// Tests of the backend's cancel and connection handling through a DB-Library client: an
// attention really cancels the PostgreSQL query and is answered promptly, also in the middle of a
// stream of rows (when idle: connection_test); a session whose PostgreSQL connection dies
// mid-result ends with an error for the client, never a hang.
#include "backend/pg.h"

#include <gtest/gtest.h>

#include "kwtest/wait.h"
#include "live.h"

namespace {

using namespace kwtest;

TEST(Cancel, DuringALongStatementStopsThePostgresQueryPromptly) {
    auto c = connectAs(kJoe);
    ASSERT_EQ(dbcmd(c->get(), "select pg_sleep(60) /* cancel-me-1 */"), SUCCEED);
    ASSERT_EQ(dbsqlsend(c->get()), SUCCEED);
    ASSERT_TRUE(waitUntil([] { return running("cancel-me-1") == 1; }, 10)) << "the query runs in PostgreSQL";
    auto start = Clock::now();
    EXPECT_EQ(dbcancel(c->get()), SUCCEED);
    EXPECT_LT(secondsSince(start), 5.0) << "the attention is answered promptly";
    EXPECT_TRUE(waitUntil([] { return running("cancel-me-1") == 0; }, 5))
        << "the query is gone from PostgreSQL";
    EXPECT_EQ(query(*c, "select 1"), (Rows{{"1"}})) << "the session is usable afterwards";
}

TEST(Cancel, InTheMiddleOfAStreamOfRowsStopsTheStream) {
    auto c = connectAs(kJoe);
    ASSERT_TRUE(c->exec("select i, repeat('x', 100) from generate_series(1, 20000000) i /* cancel-me-2 */"));
    ASSERT_EQ(dbresults(c->get()), SUCCEED);
    for (int i = 0; i < 1000; ++i) {
        ASSERT_EQ(dbnextrow(c->get()), REG_ROW);
    }
    auto start = Clock::now();
    EXPECT_EQ(dbcancel(c->get()), SUCCEED);
    EXPECT_LT(secondsSince(start), 10.0);
    EXPECT_TRUE(waitUntil([] { return running("cancel-me-2") == 0; }, 5));
    EXPECT_EQ(query(*c, "select 5"), (Rows{{"5"}}));
}

TEST(ConnectionLoss, MidResultEndsTheSessionWithAnErrorNotAHang) {
    auto c = connectAs(kJoe);
    dbsettime(20);
    ASSERT_TRUE(c->exec("select i, pg_sleep(0.01) from generate_series(1, 100000) i /* lose-me */"));
    ASSERT_EQ(dbresults(c->get()), SUCCEED);
    ASSERT_EQ(dbnextrow(c->get()), REG_ROW);
    env().exec(
        "SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE query LIKE '%lose-me%' AND pid <> "
        "pg_backend_pid()");
    auto start = Clock::now();
    STATUS st;
    while ((st = dbnextrow(c->get())) == REG_ROW) {
    }
    dbsettime(0);
    EXPECT_LT(secondsSince(start), 15.0) << "no hang until the timeout";
    bool told = false;
    for (const Message& m : c->messages()) {
        told = told || (m.server && m.number == 21002 && m.text.find("ERR1001") != std::string::npos) ||
               (!m.server && m.number == SYBESEOF);
    }
    EXPECT_TRUE(told) << "the client hears of the loss";
    c->drain();
    EXPECT_FALSE(c->exec("select 1")) << "the gateway closed the session";
    EXPECT_TRUE(connectAs(kJoe)->connected()) << "the gateway serves new sessions";
}

}  // namespace
