// Tests of the gateway's sessions through a DB-Library client: login, every wire type, batches,
// failures, warnings, SET TEXTSIZE and packet splitting. (The driver's connect sequence of gateway
// commands runs in tests/integration/connect_live_test.)
#include "session/session.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

#include "live.h"

namespace {

using namespace kwtest;

TEST(Login, AcceptsAUserAnswersThePostLoginBatchAndRefusesAnUnknownDatabase) {
    size_t mark = env().gateway().mark();
    auto c = connectAs(kJoe);
    ASSERT_TRUE(c->connected());
    EXPECT_GE(dbspid(c->get()), 1) << "select @@spid answered with an integer row";
    EXPECT_EQ(std::string(dbname(c->get())), env().databaseName());
    auto notice = c->find(5703);
    ASSERT_TRUE(notice);
    EXPECT_EQ(notice->severity, 10);
    EXPECT_EQ(notice->text, "Changed language setting to 'us_english'.");
    EXPECT_EQ(env().gateway().requestsSince(mark), std::vector<std::string>{"select @@spid "});
    // The one database the session reaches may be named; any other is no name there.
    EXPECT_EQ(failure(*c, "use [other db]"), "-204");
    EXPECT_EQ(std::string(dbname(c->get())), env().databaseName());
    run(*c, "use [" + env().databaseName() + "]");
    EXPECT_EQ(std::string(dbname(c->get())), env().databaseName());
}

TEST(Login, RefusesAWrongPasswordAndAnUnknownUser) {
    for (const TestUser& u :
         {TestUser{"JOE", "not-his-password"}, TestUser{"NOBODY", "whatever"}, TestUser{"JOE", ""}}) {
        DbClient c(env().serverName(), u.name, u.password);
        EXPECT_FALSE(c.connected()) << u.name;
        auto refusal = c.find(4002);
        ASSERT_TRUE(refusal) << u.name;
        EXPECT_EQ(refusal->severity, 14);
        EXPECT_EQ(refusal->text, "Login failed.");
    }
    EXPECT_TRUE(connectAs(kSmith)->connected()) << "the gateway goes on serving";
}

// Each column of joe.wire: name (also the label it must arrive with), PostgreSQL type, row 1's SQL
// literal, DB-Library type, user type and length, row 1 as NTBSTRINGBIND text with its dbdatlen,
// and an empty string's literal for row 3 (nullptr: the type has none) with its dbdatlen. Row 2 is
// all NULLs.
struct WireColumn {
    const char *name, *type, *value;
    int coltype, usertype, collen;
    const char* text;
    int datlen;
    const char* empty;
    int emptyDatlen;
};

const WireColumn kWireColumns[] = {
    {"I", "integer", "42", SYBINT4, 0, 4, "42", 4, nullptr, 0},
    {"S", "smallint", "-7", SYBINT2, 0, 2, "-7", 2, nullptr, 0},
    {"F", "double precision", "1.5", SYBFLT8, 0, 8, "1.5", 8, nullptr, 0},
    {"R", "real", "0.25", SYBFLT8, 0, 8, "0.25", 8, nullptr, 0},
    {"B", "bigint", "2147483647", SYBINT4, 0, 4, "2147483647", 4, nullptr, 0},
    {"C", "char(5)", "'ab'", SYBCHAR, 0, 5, "ab", 5, "''", 5},
    {"V", "varchar(40)", "'hello'", SYBCHAR, 0, 40, "hello", 5, "''", 1},
    {"LV", "varchar(300)", "'lc'", SYBCHAR, 0, 300, "lc", 2, "''", 1},
    {"T", "text", "'long text'", SYBTEXT, 0, 32700, "long text", 9, "''", 1},
    {"D", "numeric(9,2)", "1234.5", SYBCHAR, 3 | (9 << 16) | (2 << 24), 11, "1234.50", 7, nullptr, 0},
    {"N", "numeric", "2.5", SYBCHAR, 3 | (31 << 16) | (6 << 24), 33, "2.500000", 8, nullptr, 0},
    {"DT", "date", "'2001-03-05'", SYBCHAR, 9, 10, "2001-03-05", 10, nullptr, 0},
    {"TM", "time", "'07:43:54'", SYBCHAR, 10, 8, "07.43.54", 8, nullptr, 0},
    {"TS", "timestamp(6)", "'2001-03-05 07:43:54.00012'", SYBCHAR, 11, 26, "2001-03-05-07.43.54.000120", 26,
     nullptr, 0},
    {"O", "boolean", "true", SYBCHAR, 0, 254, "t", 1, nullptr, 0},
};

TEST(Results, SendEveryWireTypeWithItsDescriptionValuesNullsAndEmptyStrings) {
    std::string columns, names, values, nulls, empties;
    for (const WireColumn& w : kWireColumns) {
        std::string sep = columns.empty() ? "" : ", ";
        columns += sep + w.name + " " + w.type;
        names += sep + w.name;
        values += sep + w.value;
        nulls += sep + "NULL";
        empties += sep + (w.empty ? w.empty : "NULL");
    }
    createJoeTable("wire", "seq int, " + columns);
    env().exec("INSERT INTO joe.wire VALUES (1, " + values + "), (2, " + nulls + "), (3, " + empties + ")");
    auto c = connectAs(kJoe);
    ASSERT_TRUE(c->exec("select " + names + " from wire order by seq"));
    ASSERT_EQ(dbresults(c->get()), SUCCEED);
    DBPROCESS* dbp = c->get();
    int n = static_cast<int>(std::size(kWireColumns));
    ASSERT_EQ(dbnumcols(dbp), n);
    std::vector<std::vector<char>> buf(static_cast<size_t>(n), std::vector<char>(400));
    for (int i = 1; i <= n; ++i) {
        const WireColumn& w = kWireColumns[i - 1];
        EXPECT_EQ(dbcoltype(dbp, i), w.coltype) << w.name;
        EXPECT_EQ(dbcolutype(dbp, i), w.usertype) << w.name;
        EXPECT_EQ(dbcollen(dbp, i), w.collen) << w.name;
        EXPECT_EQ(std::string(dbcolname(dbp, i)), w.name) << "result labels are DB2 names";
        ASSERT_EQ(dbbind(dbp, i, NTBSTRINGBIND, 400, reinterpret_cast<BYTE*>(buf[i - 1].data())), SUCCEED);
    }
    for (int row = 1; row <= 3; ++row) {
        ASSERT_EQ(dbnextrow(dbp), REG_ROW);
        for (int i = 1; i <= n; ++i) {
            const WireColumn& w = kWireColumns[i - 1];
            if (row == 1) {
                EXPECT_STREQ(buf[i - 1].data(), w.text) << w.name;
                EXPECT_EQ(dbdatlen(dbp, i), w.datlen) << w.name;
            } else if (row == 2) {
                EXPECT_EQ(dbdatlen(dbp, i), 0) << w.name << " is NULL";
            } else if (w.empty) {
                EXPECT_EQ(dbdatlen(dbp, i), w.emptyDatlen)
                    << w.name << ": an empty string arrives as one blank";
                EXPECT_STREQ(buf[i - 1].data(), "") << w.name;
            }
        }
    }
    EXPECT_EQ(dbnextrow(dbp), NO_MORE_ROWS);
    EXPECT_EQ(dbcount(dbp), 3);
}

TEST(Batches, AnswerEachStatementWithItsOwnResult) {
    createJoeTable("b", "x int");
    auto c = connectAs(kJoe);
    DBPROCESS* dbp = c->get();
    ASSERT_TRUE(
        c->exec("insert into b values (1); insert into b values (2); select x from b order by x; update b "
                "set x = x + 10; select x from b where x < 0"));
    // Per result: DBCMDROW, DBROWS, the rows read and dbcount after reading them.
    const std::tuple<bool, bool, size_t, int> expected[] = {
        {false, false, 0, 1}, {false, false, 0, 1}, {true, true, 2, 2},
        {false, false, 0, 2}, {true, false, 0, 0},
    };
    for (auto [cmdrow, rows, rowCount, count] : expected) {
        ASSERT_EQ(dbresults(dbp), SUCCEED);
        EXPECT_EQ(DBCMDROW(dbp) == SUCCEED, cmdrow);
        EXPECT_EQ(DBROWS(dbp) == SUCCEED, rows);
        EXPECT_EQ(fetchAll(dbp).size(), rowCount);
        EXPECT_EQ(dbcount(dbp), count);
    }
    EXPECT_EQ(dbresults(dbp), NO_MORE_RESULTS);
}

TEST(Failures, ReportTheSqlcodeInA21002And21000PairAndFailTheBatch) {
    createJoeTable("uniq", "k int primary key");
    env().exec("INSERT INTO joe.uniq VALUES (1)");
    // The statement, its code and its 21000 text (nullptr: only the code is checked).
    const std::tuple<const char*, const char*, const char*> cases[] = {
        {"select * from nosuch", "-204", "DG21000: JOE.NOSUCH IS AN UNDEFINED NAME"},
        {"select abcdefghijklmnopqrs from uniq", "-107",
         "DG21000: THE NAME ABCDEFGHIJKLMNOPQRS IS TOO LONG. MAXIMUM ALLOWABLE SIZE IS 18"},
        {"select nocolumn from uniq", "-206", nullptr},
        {"insert into uniq values (1)", "-803", nullptr},
        {"select 1 / 0", "-802", nullptr},
        {"SET FROBNICATE 7", "ERR1002", "DG21000: UNKNOWN GATEWAY COMMAND: SET FROBNICATE 7"},
    };
    for (auto [statement, code, expected] : cases) {
        auto c = connectAs(kJoe);
        EXPECT_EQ(failure(*c, statement), code) << statement;
        auto failed = serverMessages(*c, 21002);
        auto text = serverMessages(*c, 21000);
        ASSERT_EQ(failed.size(), 1u) << statement;
        ASSERT_EQ(text.size(), 1u) << statement;
        EXPECT_EQ(failed[0].severity, 16);
        EXPECT_EQ(text[0].severity, 16);
        if (expected) {
            EXPECT_EQ(text[0].text, expected);
        }
        auto all = c->messages();
        auto pos21002 = std::find_if(all.begin(), all.end(), [](auto& m) { return m.number == 21002; });
        auto pos21000 = std::find_if(all.begin(), all.end(), [](auto& m) { return m.number == 21000; });
        EXPECT_LT(pos21002 - all.begin(), pos21000 - all.begin()) << "21002 comes before 21000";
        EXPECT_EQ(query(*c, "select 1"), (Rows{{"1"}})) << "the session goes on after a failure";
    }
    // A value without a DB2 form fails the result it was to be sent in.
    auto c = connectAs(kJoe);
    EXPECT_TRUE(c->exec("select 5000000000::bigint as big"));
    c->drain();
    EXPECT_EQ(reportedCode(*c), "-802");
}

TEST(Warnings, ArriveAsSeverityFourMessagesWithTheRowTheyCameWith) {
    env().exec(
        "CREATE OR REPLACE FUNCTION joe.warn_at_two(x int) RETURNS int LANGUAGE plpgsql AS $$ BEGIN IF x = 2 "
        "THEN RAISE WARNING 'row two reached'; END IF; RETURN x; END $$");
    auto c = connectAs(kJoe);
    c->clearMessages();
    ASSERT_TRUE(c->exec("select warn_at_two(i) from generate_series(1, 3) i"));
    ASSERT_EQ(dbresults(c->get()), SUCCEED);
    auto warnings = [&] {
        const std::vector<Message> all = c->messages();
        return std::count_if(all.begin(), all.end(), [](const Message& m) {
            return m.server && m.severity == 4 && m.text.find("row two reached") != std::string::npos;
        });
    };
    // PostgreSQL raises the warning while it computes row 2. When rows 1 and 2 reach the gateway
    // in one read, libpq gives no way to tell whether the notice came before or after row 1, and
    // the gateway then sends it with row 1; it never comes later than its own row.
    ASSERT_EQ(dbnextrow(c->get()), REG_ROW);
    EXPECT_LE(warnings(), 1);
    ASSERT_EQ(dbnextrow(c->get()), REG_ROW);
    EXPECT_EQ(warnings(), 1) << "the warning arrives with row 2 at the latest";
    ASSERT_EQ(dbnextrow(c->get()), REG_ROW);
    EXPECT_EQ(dbnextrow(c->get()), NO_MORE_ROWS);
    EXPECT_EQ(warnings(), 1) << "and only once";
    c->drain();
}

TEST(GatewayCommands, SetTextsizeCutsTextValues) {
    auto c = connectAs(kJoe);
    ASSERT_TRUE(
        c->exec("set textsize 10 select repeat('y', 50)::text as t, repeat('z', 50)::varchar(60) as v"));
    ASSERT_EQ(dbresults(c->get()), SUCCEED) << "set textsize";
    ASSERT_EQ(dbresults(c->get()), SUCCEED) << "the select";
    ASSERT_EQ(dbnextrow(c->get()), REG_ROW);
    EXPECT_EQ(dbdatlen(c->get(), 1), 10) << "a TEXT value is cut";
    EXPECT_EQ(dbdatlen(c->get(), 2), 50) << "a VARCHAR value is not";
    c->drain();
}

TEST(PacketSplitting, LargeRowsAndStatementsCrossManyPackets) {
    createJoeTable("big", "id int, v varchar(4046), t text");
    Gateway& small = env().startGateway("KWGW_512", {"--packet-size", "512"});
    std::string longText(100000, 'x');
    for (size_t i = 0; i < longText.size(); i += 97) {
        longText[i] = static_cast<char>('a' + (i % 26));
    }
    const std::string varText(4000, 'v');
    // 512-byte packets (FreeTDS's default request), then 8192-byte packets asked for by the client.
    for (auto [server, asked] : {std::pair{small.serverName(), 0}, std::pair{env().serverName(), 8192}}) {
        const int granted = asked ? asked : 512;
        DbClient c(server, kJoe.name, kJoe.password, [asked = asked](LOGINREC* l) {
            if (asked) {
                DBSETLPACKET(l, asked);
            }
        });
        ASSERT_TRUE(c.connected()) << granted;
        run(c, "insert into big values (" + std::to_string(granted) + ", '" + varText + "', '" + longText +
                   "')");
        ASSERT_TRUE(c.exec("select v, t from big where id = " + std::to_string(granted)));
        ASSERT_EQ(dbresults(c.get()), SUCCEED);
        EXPECT_EQ(dbcollen(c.get(), 1), 4046);
        ASSERT_EQ(dbnextrow(c.get()), REG_ROW);
        ASSERT_EQ(dbdatlen(c.get(), 1), 4000) << granted;
        ASSERT_EQ(dbdatlen(c.get(), 2), 100000) << granted;
        EXPECT_EQ(std::string(reinterpret_cast<char*>(dbdata(c.get(), 1)), 4000), varText) << granted;
        EXPECT_EQ(std::string(reinterpret_cast<char*>(dbdata(c.get(), 2)), 100000), longText) << granted;
        c.drain();
    }
    EXPECT_NE(small.log().find("packet size 512"), std::string::npos);
    EXPECT_NE(env().gateway().log().find("packet size 8192"), std::string::npos);
}

}  // namespace
