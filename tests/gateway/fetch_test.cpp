// fetch_test.cpp - rows read as a binary COPY: every value byte for byte and every failure as the
// single-row text read gives them, every row once, an error or an attention after exactly the rows
// before it, warnings just before their row, the statement run once and the transaction state kept,
// the fall back to single-row reads whenever the describe says so; then long answers through the
// gateway with DB-Library, read again once the gateway remembers them.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
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
using gw::backend::PgSession;
using gw::backend::ReadCache;

// Keeps what a statement produced, each value as text ("<null>" for NULL, a double by its exact
// hexadecimal form).
class Recorder : public gw::backend::RowSink {
  public:
    void columns(std::span<const gw::ColumnFormat> formats) override {
        formats_.assign(formats.begin(), formats.end());
        ++formatsSent;
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
                char exact[40];
                std::snprintf(exact, sizeof exact, "%a", c.real);
                rows.back().emplace_back(exact);
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
    const std::vector<gw::ColumnFormat>& formats() const { return formats_; }

    Rows rows;
    int formatsSent = 0;
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

const std::string& joeRole() {
    static const std::string role = gw::dialect::roleForLogin(kJoe.name);
    return role;
}

// A session of JOE reading through `cache` (null: single-row reads only).
std::unique_ptr<PgSession> session(ReadCache* cache) {
    env();  // the database and JOE exist
    auto s = std::make_unique<PgSession>();
    std::string error;
    gw::backend::ConnectFailure failure;
    const bool ok = s->connect(env().conninfo(), joeRole(), kJoe.password, *gw::backend::findCharset("iso_1"),
                               10000, error, failure);
    EXPECT_TRUE(ok) << error;
    s->setReadCache(cache);
    return s;
}

// A cache that remembers `sql` as a statement of many rows, so that its next read is a COPY.
void rememberAsLong(ReadCache& cache, const std::string& sql) {
    cache.remember(ReadCache::keyFor(joeRole(), sql));
}

Rows numbers(int from, int to) {
    Rows r;
    for (int i = from; i <= to; ++i) {
        r.push_back({std::to_string(i)});
    }
    return r;
}

TEST(PlainQueries, AreTheOnesCopyCanRun) {
    const std::tuple<const char*, bool> cases[] = {
        {"select 1", true},
        {"  SELECT a FROM t WHERE b = 'x'", true},
        {"-- a note\n/* and another */ (select 1) union (select 2)", true},
        {"values (1), (2)", true},
        {"table joe.t", true},
        {"select intox from t;  ", true},
        {"select 1; select 2", false},
        {"select a into joe.copy from t", false},
        {"select pinto, intox, \"x\" from t", true},
        {"select 1 from t\nINTO", false},
        {"with x as (delete from t returning a) select * from x", false},
        {"insert into t select * from u", false},
        {"selectx 1", false},
        {"/* never closed select 1", false},
        {"", false},
    };
    for (const auto& [sql, expected] : cases) {
        EXPECT_EQ(gw::backend::isPlainQuery(sql), expected) << sql;
    }
}

TEST(CopyReads, ComeOnlyAfterARunOfManyRowsAndDeliverEveryRowOnceInAndOutOfATransaction) {
    ReadCache cache(16, 3);
    auto s = session(&cache);
    for (bool inTransaction : {false, true}) {
        if (inTransaction) {
            ASSERT_TRUE(s->command("BEGIN").ok());
        }
        // 2 rows stay below the cache's 3; the others are read as a COPY the second time.
        for (int n : {2, 3, 4, 300}) {
            const std::string sql = "select i from generate_series(1, " + std::to_string(n) + ") i" +
                                    (inTransaction ? " -- in a transaction" : ";  ");
            for (int read = 1; read <= 2; ++read) {
                const std::string claim = std::to_string(n) + " rows, read " + std::to_string(read) +
                                          (inTransaction ? " in a transaction" : "");
                Recorder r;
                Outcome o = s->run(sql, {}, &r, nullptr);
                EXPECT_TRUE(o.ok()) << claim << ": " << o.error.message;
                EXPECT_EQ(o.copied, read == 2 && n >= 3) << claim;
                EXPECT_TRUE(o.hasColumns) << claim;
                EXPECT_TRUE(o.countValid) << claim;
                EXPECT_EQ(o.rows, n) << claim;
                EXPECT_EQ(r.formatsSent, 1) << claim;
                EXPECT_EQ(r.rows, numbers(1, n)) << claim;
                EXPECT_EQ(s->inTransaction(), inTransaction) << claim << ": the transaction state is kept";
            }
        }
        if (inTransaction) {
            ASSERT_TRUE(s->command("COMMIT").ok());
        }
    }
    EXPECT_EQ(cache.size(), 6u) << "3, 4 and 300 rows, each in and out of the transaction";
}

// The values at the edges of every type the gateway reads in binary: both reads of one table must
// agree cell for cell, and a value without a DB2 form must fail both the same way.
TEST(CopyReads, GiveEveryValueByteForByteAsTextReadsDo) {
    createJoeTable("edges",
                   "n int, s smallint, i integer, b bigint, r real, f float8, d92 decimal(9,2), "
                   "d50 decimal(5,0), d3810 decimal(38,10), d44 decimal(4,4), free numeric, dt date, "
                   "tm time, ts timestamp, c5 char(5), v40 varchar(40), t text");
    env().exec(
        "INSERT INTO joe.edges VALUES "
        "(1, -32768, -2147483648, -2147483648, 0.1, 0, -1234567.89, -99999, "
        "12345678901234567890.1234567890, 0.0001, 1.23456789, '2000-01-01', '00:00:00', "
        "'2000-01-01 00:00:00', 'ab', '', ''),"
        "(2, 32767, 2147483647, 2147483647, 3.4e38, '-0', 0, 0, -0.0000000001, -0.9999, -0.0000005, "
        "'0001-01-01', '23:59:59.999999', '0001-01-01 00:00:00', '', 'x', 'é'),"
        "(3, 0, 0, 0, 1e-45, 1e308, -0.01, 1, 0, 0, 999999999999999999999999.9999995, '9999-12-31', "
        "'24:00:00', '9999-12-31 23:59:59.999999', 'abcde', repeat('v', 40), repeat('t', 5000)),"
        "(4, -1, -1, -1, 'NaN', 5e-324, 1, -1, 1e27, 0.5, 123e-20, '2000-02-29', '12:34:56.5', "
        "'1999-12-31 23:59:59.999999', 'é', 'àü', 'line\nbreak'),"
        "(5, 1, 1, 1, 16777217, 'NaN', 'NaN', 10, 'NaN', 'NaN', 0, '1900-02-28', '00:00:00.000001', "
        "'2000-02-29 12:00:00.000001', ' ', ' ', ' '),"
        "(6, 2, 2, 2, '-Infinity', 'Infinity', 0.1, 2, 1, 0.1, -1, '1582-10-04', '01:02:03', "
        "'1970-01-01 00:00:00.5', 'x', 'y', 'z'),"
        "(7, 3, 3, 3, 1.17549435e-38, '-Infinity', 9999999.99, 3, 2, 0.2, 100000, '0999-12-31', "
        "'13:00:00', '0999-12-31 23:00:00.25', 'a', 'b', 'c'),"
        "(8, 4, 4, 4, -2.5, 1 / 3.0, -0.5, 4, 3, 0.3, 1, '2400-02-29', '14:00:00', "
        "'2400-02-29 00:00:01', 'q', 'r', 's'),"
        "(9, null, null, null, null, null, null, null, null, null, null, null, null, null, null, null, "
        "null)");
    const std::string sql = "select * from joe.edges order by n";
    auto text = session(nullptr);
    Recorder byText;
    Outcome t = text->run(sql, {}, &byText, nullptr);
    ASSERT_TRUE(t.ok()) << t.error.message;
    ReadCache cache(16, 1);
    rememberAsLong(cache, sql);
    auto binary = session(&cache);
    Recorder byCopy;
    Outcome b = binary->run(sql, {}, &byCopy, nullptr);
    ASSERT_TRUE(b.ok()) << b.error.message;
    EXPECT_TRUE(b.copied);
    ASSERT_EQ(byText.rows.size(), 9u);
    EXPECT_EQ(byCopy.rows, byText.rows);
    ASSERT_EQ(byCopy.formats().size(), byText.formats().size());
    for (size_t i = 0; i < byText.formats().size(); ++i) {
        EXPECT_EQ(byCopy.formats()[i].label, byText.formats()[i].label);
        EXPECT_EQ(byCopy.formats()[i].type, byText.formats()[i].type);
        EXPECT_EQ(byCopy.formats()[i].length, byText.formats()[i].length);
        EXPECT_EQ(byCopy.formats()[i].userType, byText.formats()[i].userType);
    }
    // A prepared statement's rows come in binary too, and the same.
    std::vector<uint32_t> types;
    Recorder format;
    ASSERT_TRUE(binary->prepareNamed("edges", sql + " limit $1", types, format, nullptr).ok());
    const gw::backend::Param all[] = {std::string("100")};
    Recorder byPrepared;
    ASSERT_TRUE(binary->runPrepared("edges", all, &byPrepared, nullptr).ok());
    EXPECT_EQ(byPrepared.rows, byText.rows);
    // A few cells as a DB2 program reads them, so that agreement is not agreement on a wrong form.
    EXPECT_EQ(byText.rows[1][11], "0001-01-01") << "year 1";
    EXPECT_EQ(byText.rows[2][13], "9999-12-31-23.59.59.999999");
    EXPECT_EQ(byText.rows[2][12], "24.00.00");
    EXPECT_EQ(byText.rows[1][10], "-0.000001") << "half away from zero";
    EXPECT_EQ(byText.rows[2][10], "1000000000000000000000000.000000");
    EXPECT_EQ(byText.rows[6][13], "0999-12-31-23.00.00.250000");
    EXPECT_EQ(byText.rows[3][6], "1.00");

    // Values without a DB2 form, one statement each: the same SQLCODE and text, no row before it.
    const char* failing[] = {
        "select date '10000-01-01'",
        "select date '0044-03-15 BC'",
        "select 'infinity'::date",
        "select '-infinity'::date",
        "select timestamp 'infinity'",
        "select timestamp '-infinity'",
        "select timestamp '0044-03-15 10:00:00.5 BC'",
        "select timestamp '10000-01-01 00:00:00'",
        "select 2147483648::bigint",
        "select -2147483649::bigint",
        "select 'NaN'::numeric",
        "select 1e30::numeric",
        "select '-Infinity'::numeric",
    };
    for (const char* bad : failing) {
        Recorder r1, r2, r3, ignored;
        Outcome o1 = text->run(bad, {}, &r1, nullptr);
        rememberAsLong(cache, bad);
        Outcome o2 = binary->run(bad, {}, &r2, nullptr);
        EXPECT_TRUE(o2.copied) << bad;
        ASSERT_TRUE(binary->prepareNamed("bad", bad, types, ignored, nullptr).ok()) << bad;
        Outcome o3 = binary->runPrepared("bad", {}, &r3, nullptr);
        ASSERT_TRUE(binary->command("DEALLOCATE bad").ok());
        ASSERT_TRUE(o1.conversion.has_value()) << bad;
        for (const Outcome* o : {&o2, &o3}) {
            ASSERT_TRUE(o->conversion.has_value()) << bad;
            EXPECT_EQ(o->conversion->sqlcode, o1.conversion->sqlcode) << bad;
            EXPECT_EQ(o->conversion->message, o1.conversion->message) << bad;
            EXPECT_EQ(o->status, Outcome::Status::Failed) << bad;
        }
        EXPECT_TRUE(r2.rows.empty()) << bad;
        EXPECT_TRUE(r3.rows.empty()) << bad;
    }
}

TEST(CopyReads, AnErrorAfterManyRowsFollowsExactlyTheRowsBeforeIt) {
    ReadCache cache(16, 3);
    auto s = session(&cache);
    // No ORDER BY: a sort would compute every row before sending the first, whichever the read.
    const std::string squares = "select d, d * d from joe.overflowing";
    const std::string days = "select n, day + (n / 4) from joe.overflowing";
    for (bool inTransaction : {false, true}) {
        const std::string claim = inTransaction ? "in a transaction" : "on its own";
        createJoeTable("overflowing", "n integer, d integer, day date");
        env().exec(
            "INSERT INTO joe.overflowing VALUES (1, 10, '9999-12-30'), (2, 20, '9999-12-31'), (3, 30, null)");
        Recorder first;
        ASSERT_TRUE(s->run(squares, {}, &first, nullptr).ok()) << claim;
        ASSERT_TRUE(s->run(days, {}, &first, nullptr).ok()) << claim;
        // Now row 4 overflows the integer, and its date passes 9999.
        env().exec("INSERT INTO joe.overflowing VALUES (4, 100000, '9999-12-31'), (5, 40, null)");
        if (inTransaction) {
            ASSERT_TRUE(s->command("BEGIN").ok());
        }
        Recorder r;
        Outcome o = s->run(squares, {}, &r, nullptr);
        EXPECT_TRUE(o.copied) << claim;
        EXPECT_EQ(o.status, Outcome::Status::Failed) << claim;
        EXPECT_EQ(o.error.sqlstate, "22003") << claim;
        EXPECT_EQ(r.rows, (Rows{{"10", "100"}, {"20", "400"}, {"30", "900"}})) << claim;
        EXPECT_EQ(s->inTransaction(), inTransaction) << claim;
        if (inTransaction) {
            ASSERT_TRUE(s->command("ROLLBACK").ok());
            ASSERT_TRUE(s->command("BEGIN").ok());
        }
        Recorder late;
        o = s->run(days, {}, &late, nullptr);
        EXPECT_TRUE(o.copied) << claim;
        ASSERT_TRUE(o.conversion.has_value()) << claim;
        EXPECT_EQ(o.conversion->sqlcode, -181) << claim;
        EXPECT_EQ(o.conversion->message,
                  "THE STRING REPRESENTATION OF A DATETIME VALUE IS NOT A VALID VALUE: 10000-01-01")
            << claim;
        EXPECT_EQ(late.rows, (Rows{{"1", "9999-12-30"}, {"2", "9999-12-31"}, {"3", "<null>"}})) << claim;
        if (inTransaction) {
            ASSERT_TRUE(s->command("ROLLBACK").ok());
        }
        Recorder next;
        EXPECT_TRUE(s->run("select 42", {}, &next, nullptr).ok()) << "the session goes on " << claim;
        EXPECT_EQ(next.rows, (Rows{{"42"}}));
    }
}

TEST(CopyReads, AnAttentionStopsTheReadAndTheSessionGoesOn) {
    ReadCache cache(16, 1);
    auto s = session(&cache);
    const std::string sql = "select i from generate_series(1, 10000000) i";
    rememberAsLong(cache, sql);
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
        EXPECT_TRUE(o.copied);
        EXPECT_EQ(o.status, Outcome::Status::Stopped);
        EXPECT_EQ(client.attentions, 1);
        EXPECT_GE(r.rows.size(), 1500u);
        EXPECT_LT(r.rows.size(), 10000000u) << "the read stopped";
        if (inTransaction) {
            EXPECT_TRUE(s->inTransaction());
            EXPECT_TRUE(s->command("ROLLBACK TO SAVEPOINT sp").ok());
        } else {
            EXPECT_FALSE(s->inTransaction());
        }
        Recorder next;
        EXPECT_TRUE(s->run("select i from generate_series(1, 3) i", {}, &next, nullptr).ok());
        EXPECT_EQ(next.rows, numbers(1, 3));
        if (inTransaction) {
            ASSERT_TRUE(s->command("COMMIT").ok());
        }
    }
}

TEST(CopyReads, AWarningComesJustBeforeItsRowAndOnlyOnce) {
    env().exec(
        "CREATE OR REPLACE FUNCTION joe.warn_at_six(x int) RETURNS int LANGUAGE plpgsql AS $$ BEGIN IF x = 6 "
        "THEN RAISE WARNING 'row six reached'; END IF; RETURN x; END $$");
    ReadCache cache(16, 1);
    auto s = session(&cache);
    const std::string sql = "select joe.warn_at_six(i) from generate_series(1, 9) i";
    rememberAsLong(cache, sql);
    Recorder r;
    Outcome o = s->run(sql, {}, &r, nullptr);
    ASSERT_TRUE(o.ok());
    EXPECT_TRUE(o.copied);
    EXPECT_EQ(r.rows, numbers(1, 9));
    ASSERT_EQ(r.warnings.size(), 1u);
    EXPECT_EQ(r.warnings[0].first, "row six reached");
    EXPECT_EQ(r.warnings[0].second, 5u) << "after row 5, before row 6";
}

TEST(CopyReads, RunTheStatementOnce) {
    env().exec("DROP SEQUENCE IF EXISTS joe.once");
    env().exec("CREATE SEQUENCE joe.once");
    env().exec("ALTER SEQUENCE joe.once OWNER TO joe");
    ReadCache cache(16, 1);
    auto s = session(&cache);
    const std::string sql = "select nextval('joe.once') from generate_series(1, 4)";
    for (const Rows& expected : {Rows{{"1"}, {"2"}, {"3"}, {"4"}}, Rows{{"5"}, {"6"}, {"7"}, {"8"}}}) {
        Recorder r;
        ASSERT_TRUE(s->run(sql, {}, &r, nullptr).ok());
        EXPECT_EQ(r.rows, expected);
    }
    Recorder last;
    ASSERT_TRUE(s->run("select currval('joe.once')", {}, &last, nullptr).ok());
    EXPECT_EQ(last.rows, (Rows{{"8"}})) << "the describe ran nothing, the COPY ran the statement once";
}

// Whatever the cache says, the describe decides: a column without a binary reader, a statement
// that no longer parses, a result that has become small.
TEST(CopyReads, GiveWayToSingleRowReadsWhenTheDescribeOrTheResultSaysSo) {
    createJoeTable("shrinking", "n integer, flag boolean");
    env().exec("INSERT INTO joe.shrinking SELECT i, i % 2 = 0 FROM generate_series(1, 5) i");
    ReadCache cache(16, 3);
    auto s = session(&cache);

    const std::string flags = "select n, flag from joe.shrinking order by n";
    rememberAsLong(cache, flags);
    Recorder r;
    Outcome o = s->run(flags, {}, &r, nullptr);
    EXPECT_TRUE(o.ok());
    EXPECT_FALSE(o.copied) << "a boolean is read as text";
    EXPECT_EQ(r.rows.size(), 5u);
    EXPECT_EQ(r.rows[1], (std::vector<std::string>{"2", "t"}));
    EXPECT_EQ(cache.size(), 0u) << "and the statement is forgotten";

    const std::string numbersOnly = "select n from joe.shrinking order by n";
    ASSERT_TRUE(s->run(numbersOnly, {}, &r, nullptr).ok());
    EXPECT_EQ(cache.size(), 1u);
    env().exec("DELETE FROM joe.shrinking WHERE n > 2");
    Recorder few;
    o = s->run(numbersOnly, {}, &few, nullptr);
    EXPECT_TRUE(o.copied);
    EXPECT_EQ(few.rows, numbers(1, 2));
    EXPECT_EQ(cache.size(), 0u) << "two rows are below the cache's three";

    for (bool inTransaction : {false, true}) {
        const std::string claim = inTransaction ? "in a transaction" : "on its own";
        const std::string gone = "select n from joe.no_such_table";
        rememberAsLong(cache, gone);
        Recorder none;
        if (inTransaction) {
            ASSERT_TRUE(s->command("BEGIN").ok());
        }
        o = s->run(gone, {}, &none, nullptr);
        EXPECT_EQ(o.status, Outcome::Status::Failed) << claim;
        EXPECT_EQ(o.error.sqlstate, "42P01") << claim;
        EXPECT_EQ(o.error.message, "relation \"joe.no_such_table\" does not exist") << claim;
        EXPECT_FALSE(o.hasColumns) << claim;
        EXPECT_EQ(none.formatsSent, 0) << claim;
        EXPECT_EQ(s->inTransaction(), inTransaction) << claim;
        if (inTransaction) {
            ASSERT_TRUE(s->command("ROLLBACK").ok());
        }
    }
    Recorder next;
    EXPECT_TRUE(s->run("select 42", {}, &next, nullptr).ok()) << "the session goes on";
    EXPECT_EQ(next.rows, (Rows{{"42"}}));
}

// Long answers through the gateway with DB-Library: every row, whether single-row or, once the
// gateway remembers a statement of a thousand rows or more, as a COPY; and an error after many rows
// follows exactly the rows before it.
TEST(LongAnswersThroughTheGateway, CountEveryRowAcrossManyPacketsReadAgainAndAgain) {
    auto c = connectAs(kJoe);
    for (int n : {0, 1, 2047, 2048, 2049, 20001}) {
        for (int read = 1; read <= 2; ++read) {
            ASSERT_TRUE(
                c->exec("select i, case when i % 2 = 0 then null else 'v' || i end from generate_series(1, " +
                        std::to_string(n) + ") i"));
            ASSERT_EQ(dbresults(c->get()), SUCCEED);
            const Rows rows = fetchAll(c->get());
            ASSERT_EQ(rows.size(), static_cast<size_t>(n));
            EXPECT_EQ(dbcount(c->get()), n) << "the row count of the DONE";
            for (int i = 0; i < n; ++i) {
                const std::string v = std::to_string(i + 1);
                ASSERT_EQ(rows[static_cast<size_t>(i)],
                          (std::vector<std::string>{v, i % 2 ? "<null>" : "v" + v}))
                    << n << " rows, row " << i + 1 << ", read " << read;
            }
            c->drain();
        }
    }
}

TEST(LongAnswersThroughTheGateway, AnErrorAfterManyRowsFollowsExactlyTheRowsBeforeIt) {
    createJoeTable("divisors", "i integer");
    createJoeTable("knob", "v integer");
    env().exec("INSERT INTO joe.divisors SELECT i FROM generate_series(1, 9000) i");
    env().exec("INSERT INTO joe.knob VALUES (0)");
    auto c = connectAs(kJoe);
    // The same text each time; the third read divides by zero at row 5007.
    const std::string sql = "select 1000000 / (i - (select v from joe.knob)) from joe.divisors";
    for (int read = 1; read <= 3; ++read) {
        if (read == 3) {
            env().exec("UPDATE joe.knob SET v = 5007");
        }
        ASSERT_TRUE(c->exec(sql));
        ASSERT_EQ(dbresults(c->get()), SUCCEED);
        const Rows rows = fetchAll(c->get());
        ASSERT_EQ(rows.size(), read < 3 ? 9000u : 5006u) << "read " << read;
        EXPECT_EQ(rows.back()[0], read < 3 ? "111" : "-1000000") << "read " << read;
        c->drain();
    }
    EXPECT_EQ(reportedCode(*c), "-802");
    EXPECT_EQ(query(*c, "select 3"), (Rows{{"3"}}));
}

}  // namespace
