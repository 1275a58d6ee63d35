// fetch_test.cpp - rows read in batches through a cursor: every row once and in order whatever its
// place against the batch boundaries, NULLs and every wire type alike on both sides of one, an
// error or an attention in a later batch, warnings no later than their row, the session's
// transaction state left as it was, and why single-row mode stays the default; then long answers
// through the gateway with DB-Library.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "backend/pg.h"
#include "dialect.h"
#include "live.h"

namespace {

using namespace kwtest;
using gw::backend::Outcome;
using gw::backend::Param;
using gw::backend::PgSession;

// Keeps what a statement produced, each value as text ("<null>" for NULL).
class Recorder : public gw::backend::RowSink {
  public:
    void columns(std::span<const gw::ColumnFormat> formats) override {
        formats_.assign(formats.begin(), formats.end());
    }
    bool row(std::span<const gw::Cell> cells) override {
        rows.emplace_back();
        for (size_t i = 0; i < cells.size(); ++i) {
            const gw::Cell& c = cells[i];
            if (c.null) {
                rows.back().push_back("<null>");
            } else if (formats_[i].type == gw::WireType::Int) {
                rows.back().push_back(std::to_string(c.integer));
            } else if (formats_[i].type == gw::WireType::Float) {
                rows.back().push_back(std::to_string(c.real));
            } else {
                rows.back().emplace_back(c.text);
            }
        }
        if (onRow) {
            onRow(rows.size());
        }
        return true;
    }
    void warning(const std::string& text) override { warnings.emplace_back(text, rows.size()); }

    Rows rows;
    std::vector<std::pair<std::string, size_t>> warnings;  // text, rows delivered before it
    std::function<void(size_t)> onRow;

  private:
    std::vector<gw::ColumnFormat> formats_;
};

// A client socket that the test can make speak (an attention) at a chosen row.
class FakeClient : public gw::backend::ClientWatch {
  public:
    FakeClient() { EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, fds_), 0); }
    ~FakeClient() override {
        ::close(fds_[0]);
        ::close(fds_[1]);
    }
    void speak() { EXPECT_EQ(::write(fds_[1], "!", 1), 1); }
    int clientFd() const override { return fds_[0]; }
    bool clientSpoke() override {
        char c;
        EXPECT_EQ(::read(fds_[0], &c, 1), 1);
        ++attentions;
        return true;
    }
    void waiting() override {}
    int attentions = 0;

  private:
    int fds_[2] = {-1, -1};
};

std::unique_ptr<PgSession> session(int fetchRows) {
    env();  // the database and JOE exist
    auto s = std::make_unique<PgSession>();
    std::string error;
    gw::backend::ConnectFailure failure;
    const bool ok = s->connect(env().conninfo(), gw::dialect::roleForLogin(kJoe.name), kJoe.password,
                               *gw::backend::findCharset("iso_1"), 10000, error, failure);
    EXPECT_TRUE(ok) << error;
    s->setFetchRows(fetchRows);
    return s;
}

Rows numbers(int from, int to) {
    Rows r;
    for (int i = from; i <= to; ++i) {
        r.push_back({std::to_string(i)});
    }
    return r;
}

TEST(CursorReads, RecogniseThePlainQueriesACursorCanRun) {
    const std::tuple<const char*, bool> cases[] = {
        {"select 1", true},
        {"  SELECT a FROM t WHERE b = 'x'", true},
        {"-- a note\n/* and another */ (select 1) union (select 2)", true},
        {"values (1), (2)", true},
        {"table joe.t", true},
        {"select intox from t;  ", true},
        {"select 1; select 2", false},
        {"select a into joe.copy from t", false},
        {"with x as (delete from t returning a) select * from x", false},
        {"insert into t select * from u", false},
        {"selectx 1", false},
        {"/* never closed select 1", false},
        {"", false},
    };
    for (const auto& [sql, expected] : cases) {
        EXPECT_EQ(gw::backend::readsThroughCursor(sql), expected) << sql;
    }
}

TEST(CursorReads, DeliverEveryRowOnceAtBelowAndAboveTheBatchSizeInAndOutOfATransaction) {
    auto s = session(4);
    for (bool inTransaction : {false, true}) {
        if (inTransaction) {
            ASSERT_TRUE(s->command("BEGIN").ok());
        }
        for (int n : {0, 1, 3, 4, 5, 8, 9, 13}) {
            Recorder r;
            Outcome o =
                s->run("select i from generate_series(1, " + std::to_string(n) + ") i", {}, &r, nullptr);
            const std::string claim =
                std::to_string(n) + (inTransaction ? " rows in a transaction" : " rows");
            EXPECT_TRUE(o.ok()) << claim << ": " << o.error.message;
            EXPECT_TRUE(o.hasColumns) << claim;
            EXPECT_TRUE(o.countValid) << claim;
            EXPECT_EQ(o.rows, n) << claim;
            EXPECT_EQ(r.rows, numbers(1, n)) << claim;
            EXPECT_EQ(s->inTransaction(), inTransaction) << claim << ": the transaction state is kept";
        }
        Recorder ended;
        EXPECT_TRUE(s->run("select 7; ", {}, &ended, nullptr).ok()) << "a statement ended by a semicolon";
        EXPECT_EQ(ended.rows, (Rows{{"7"}}));
        if (inTransaction) {
            ASSERT_TRUE(s->command("COMMIT").ok());
        }
    }
}

TEST(CursorReads, GiveNullsAndEveryTypeAsSingleRowReadsDo) {
    // A parameter keeps the same statement out of the cursor path; both must agree value for value.
    const std::string sql =
        "select i, i::smallint, i * 1.5::float8, (i * 100.25)::numeric(9,2), i * 2.5::numeric, "
        "date '2001-02-03' + i, time '01:02:03' + i * interval '1 minute', "
        "timestamp '2001-02-03 04:05:06.5' + i * interval '1 second', repeat('v', i)::varchar(20), "
        "repeat('t', i)::text, '' || i::text, i::bool "
        "from (select case when g % 3 = 0 then null else g end as i from generate_series(1, 11) g) x";
    auto s = session(4);
    Recorder batched;
    ASSERT_TRUE(s->run(sql, {}, &batched, nullptr).ok());
    Recorder single;
    const Param one[] = {std::string("1")};
    ASSERT_TRUE(s->run(sql + " where $1::int = 1", one, &single, nullptr).ok());
    ASSERT_EQ(batched.rows.size(), 11u);
    EXPECT_EQ(batched.rows, single.rows);
    EXPECT_EQ(batched.rows[2], std::vector<std::string>(12, "<null>")) << "row 3 is all NULL";
    EXPECT_EQ(batched.rows[4][6], "01.07.03") << "a TIME in row 5 (second batch) in its DB2 form";
}

TEST(CursorReads, AnErrorInALaterBatchFailsTheStatementAfterTheEarlierRows) {
    auto s = session(4);
    for (bool inTransaction : {false, true}) {
        if (inTransaction) {
            ASSERT_TRUE(s->command("BEGIN").ok());
        }
        Recorder r;
        Outcome o = s->run("select 10 / (7 - i) from generate_series(1, 10) i", {}, &r, nullptr);
        EXPECT_EQ(o.status, Outcome::Status::Failed);
        EXPECT_EQ(o.error.sqlstate, "22012");
        EXPECT_EQ(r.rows, (Rows{{"1"}, {"2"}, {"2"}, {"3"}})) << "the first batch went out, no later row";
        EXPECT_EQ(s->inTransaction(), inTransaction) << "a failed own transaction is rolled back";
        if (inTransaction) {
            ASSERT_TRUE(s->command("ROLLBACK").ok());
        }
        Recorder next;
        EXPECT_TRUE(s->run("select 42", {}, &next, nullptr).ok()) << "the session goes on";
        EXPECT_EQ(next.rows, (Rows{{"42"}}));
    }
}

TEST(CursorReads, AnErrorAmongTheFirstRowsFollowsExactlyTheRowsBeforeItOnlyInSingleRowMode) {
    createJoeTable("first_rows", "d integer");
    env().exec("INSERT INTO joe.first_rows VALUES (10), (20), (100000), (30)");
    // PostgreSQL runs a FETCH to its end before sending a row, so a failing batch shows none of
    // its rows: the reason cursor reads are not the gateway's default.
    const std::tuple<int, Rows> cases[] = {
        {0, Rows{{"10", "100"}, {"20", "400"}}},
        {gw::backend::kDefaultFetchRows, Rows{}},
    };
    for (const auto& [fetchRows, expected] : cases) {
        auto s = session(fetchRows);
        Recorder r;
        Outcome o = s->run("select d, d * d from joe.first_rows", {}, &r, nullptr);
        EXPECT_EQ(o.status, Outcome::Status::Failed) << fetchRows;
        EXPECT_EQ(o.error.sqlstate, "22003") << fetchRows;
        EXPECT_EQ(r.rows, expected) << fetchRows;
        EXPECT_FALSE(s->inTransaction()) << fetchRows;
    }
}

TEST(CursorReads, AnAttentionInTheMiddleOfABatchStopsTheReadAndFreesTheCursor) {
    auto s = session(1000);
    const std::string sql = "select i from generate_series(1, 1000000) i";
    for (bool inTransaction : {false, true}) {
        if (inTransaction) {
            ASSERT_TRUE(s->command("BEGIN").ok());
            ASSERT_TRUE(s->command("SAVEPOINT sp").ok());
        }
        FakeClient client;
        Recorder r;
        r.onRow = [&](size_t n) {
            if (n == 1500) {
                client.speak();
            }
        };
        Outcome o = s->run(sql, {}, &r, &client);
        EXPECT_EQ(o.status, Outcome::Status::Stopped);
        EXPECT_EQ(client.attentions, 1);
        EXPECT_GE(r.rows.size(), 1500u);
        EXPECT_LT(r.rows.size(), 2000u) << "the read stops within the batch it was in";
        if (inTransaction) {
            EXPECT_TRUE(s->inTransaction());
            EXPECT_TRUE(s->command("ROLLBACK TO SAVEPOINT sp").ok());
        } else {
            EXPECT_FALSE(s->inTransaction()) << "the read's own transaction is ended";
        }
        Recorder next;
        EXPECT_TRUE(s->run("select i from generate_series(1, 3) i", {}, &next, nullptr).ok())
            << "the cursor's name is free again";
        EXPECT_EQ(next.rows, numbers(1, 3));
        if (inTransaction) {
            ASSERT_TRUE(s->command("COMMIT").ok());
        }
    }
}

TEST(CursorReads, AWarningComesNoLaterThanItsRowAndOnlyOnce) {
    env().exec(
        "CREATE OR REPLACE FUNCTION joe.warn_at_six(x int) RETURNS int LANGUAGE plpgsql AS $$ BEGIN IF x = 6 "
        "THEN RAISE WARNING 'row six reached'; END IF; RETURN x; END $$");
    auto s = session(4);
    Recorder r;
    ASSERT_TRUE(s->run("select joe.warn_at_six(i) from generate_series(1, 9) i", {}, &r, nullptr).ok());
    EXPECT_EQ(r.rows, numbers(1, 9));
    ASSERT_EQ(r.warnings.size(), 1u);
    EXPECT_EQ(r.warnings[0].first, "row six reached");
    EXPECT_GE(r.warnings[0].second, 4u) << "not before the batch that raised it";
    EXPECT_LE(r.warnings[0].second, 5u) << "before row 6";
}

// Long answers through the gateway with DB-Library: every row, and an error after many rows
// follows exactly the rows before it.
TEST(LongAnswersThroughTheGateway, CountEveryRowAcrossManyPackets) {
    auto c = connectAs(kJoe);
    for (int n : {0, 1, 2047, 2048, 2049, 20001}) {
        ASSERT_TRUE(
            c->exec("select i, case when i % 2 = 0 then null else 'v' || i end from generate_series(1, " +
                    std::to_string(n) + ") i"));
        ASSERT_EQ(dbresults(c->get()), SUCCEED);
        const Rows rows = fetchAll(c->get());
        ASSERT_EQ(rows.size(), static_cast<size_t>(n));
        EXPECT_EQ(dbcount(c->get()), n) << "the row count of the DONE";
        for (int i = 0; i < n; ++i) {
            const std::string v = std::to_string(i + 1);
            ASSERT_EQ(rows[static_cast<size_t>(i)], (std::vector<std::string>{v, i % 2 ? "<null>" : "v" + v}))
                << n << " rows, row " << i + 1;
        }
        c->drain();
    }
}

TEST(LongAnswersThroughTheGateway, AnErrorAfterManyRowsFollowsExactlyTheRowsBeforeIt) {
    auto c = connectAs(kJoe);
    const int failing = 5007;
    ASSERT_TRUE(c->exec("select 1 / (" + std::to_string(failing) + " - i) from generate_series(1, 9000) i"));
    ASSERT_EQ(dbresults(c->get()), SUCCEED);
    const Rows rows = fetchAll(c->get());
    EXPECT_EQ(rows.size(), static_cast<size_t>(failing - 1));
    c->drain();
    EXPECT_EQ(reportedCode(*c), "-802");
    EXPECT_EQ(query(*c, "select 3"), (Rows{{"3"}}));
}

}  // namespace
