// bulk_copy_test.cpp - FreeTDS's freebcp moving tables through the gateway: out of one table and
// into another in character and native mode, every value compared through libpq; a load that
// fails (a duplicate key, no INSERT privilege) leaves the table as it was; a few thousand rows in
// one message and in batches.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "live.h"

namespace {

using namespace kwtest;

#ifndef KW_FREEBCP
#define KW_FREEBCP ""
#endif

constexpr const char* kColumns =
    "id integer PRIMARY KEY, small smallint, real_ double precision, fixed char(5), name varchar(40), "
    "wide varchar(400), amount decimal(9,2), day date, clock time, stamp timestamp, note text";

struct BcpRun {
    int status = -1;
    std::string output;
};

std::string quoted(const std::string& arg) {
    std::string out = "'";
    for (char c : arg) {
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return out + "'";
}

// Runs freebcp with `args` as `user`; its output and exit status.
BcpRun freebcp(const std::vector<std::string>& args, const TestUser& user = kJoe) {
    std::string cmd = quoted(KW_FREEBCP);
    for (const std::string& a : args) {
        cmd += " " + quoted(a);
    }
    cmd += " -S " + quoted(env().serverName()) + " -U " + quoted(user.name) + " -P " + quoted(user.password) +
           " 2>&1";
    BcpRun run;
    FILE* p = ::popen(cmd.c_str(), "r");
    if (!p) {
        return run;
    }
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) {
        run.output.append(buf, n);
    }
    run.status = ::pclose(p);
    return run;
}

std::string hostFile(const std::string& name) {
    return env().tempDir() + "/" + name;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Every row of a table as PostgreSQL writes a row value (NULL as nothing, '' as ""), in key order.
std::vector<std::string> rowsOf(const std::string& table) {
    std::vector<std::string> rows;
    PGresult* r = PQexec(env().admin(), ("SELECT t::text FROM joe." + table + " t ORDER BY 1").c_str());
    EXPECT_EQ(PQresultStatus(r), PGRES_TUPLES_OK) << PQresultErrorMessage(r);
    for (int i = 0; i < PQntuples(r); ++i) {
        rows.emplace_back(PQgetvalue(r, i, 0));
    }
    PQclear(r);
    return rows;
}

// FreeTDS's bcp drops the trailing blanks of a VARCHAR or TEXT value before it sends it (as
// Sybase's bcp does), so no value here ends in one.
class BulkCopy : public ::testing::Test {
  protected:
    void SetUp() override {
        if (std::string(KW_FREEBCP).empty()) {
            GTEST_SKIP() << "freebcp (FreeTDS's freetds-bin) was not found when the tests were configured";
        }
        createJoeTable("BCPSRC", kColumns);
        createJoeTable("BCPDST", kColumns);
        env().exec(
            "INSERT INTO joe.bcpsrc VALUES "
            "(1, 2, 3.5, 'ab', 'it''s', repeat('x', 300), 12.34, '2024-02-29', '13:14:15', "
            "'2024-02-29 13:14:15.123456', rtrim(repeat('long text ', 60))), "
            "(2, NULL, NULL, NULL, '', NULL, NULL, NULL, NULL, NULL, NULL), "
            "(3, -32768, -0.1, 'abcde', 'a \"quoted\" word', '', -9999999.99, '0001-01-01', '00:00:00', "
            "'2000-01-01 00:00:00', ''), "
            "(4, 32767, 1e-300, 'x', 'line', repeat('y', 255), 0, '9999-12-31', '23:59:59', "
            "'9999-12-31 23:59:59.999999', 'short')");
    }
};

TEST_F(BulkCopy, CharacterModeMovesEveryValueBothWays) {
    const std::string file = hostFile("bcpsrc.chr");
    BcpRun out = freebcp({"joe.bcpsrc", "out", file, "-c"});
    ASSERT_EQ(out.status, 0) << out.output;
    EXPECT_NE(out.output.find("4 rows copied"), std::string::npos) << out.output;
    // The file holds DB2's forms of the values.
    const std::string text = readFile(file);
    EXPECT_NE(text.find("\t2024-02-29\t13.14.15\t2024-02-29-13.14.15.123456\t"), std::string::npos) << text;
    EXPECT_NE(text.find("\t-9999999.99\t0001-01-01\t00.00.00\t2000-01-01-00.00.00.000000\t"),
              std::string::npos)
        << text;

    BcpRun in = freebcp({"joe.bcpdst", "in", file, "-c"});
    ASSERT_EQ(in.status, 0) << in.output;
    EXPECT_EQ(in.output.find("Msg 21002"), std::string::npos) << in.output;
    EXPECT_EQ(rowsOf("bcpdst"), rowsOf("bcpsrc"));
}

// Native mode reads the columns from a FMTONLY describe after its batch has ended, and writes each
// value in its binary form. FreeTDS writes a NULL of a fixed-size type (INTEGER, FLOAT) with a zero
// prefix that its own reader takes for a value, so the loaded rows have none.
TEST_F(BulkCopy, NativeModeMovesRowsBothWays) {
    env().exec("DELETE FROM joe.bcpsrc WHERE small IS NULL");
    const std::string file = hostFile("bcpsrc.nat");
    BcpRun out = freebcp({"joe.bcpsrc", "out", file, "-n"});
    ASSERT_EQ(out.status, 0) << out.output;
    EXPECT_NE(out.output.find("3 rows copied"), std::string::npos) << out.output;
    BcpRun in = freebcp({"joe.bcpdst", "in", file, "-n"});
    ASSERT_EQ(in.status, 0) << in.output;
    EXPECT_EQ(rowsOf("bcpdst"), rowsOf("bcpsrc"));
}

TEST_F(BulkCopy, AFailingLoadLeavesTheTableUnchanged) {
    const std::string file = hostFile("bcpsrc-dup.chr");
    ASSERT_EQ(freebcp({"joe.bcpsrc", "out", file, "-c"}).status, 0);
    env().exec("INSERT INTO joe.bcpdst (id, name) VALUES (3, 'already here')");
    const std::vector<std::string> before = rowsOf("bcpdst");

    BcpRun dup = freebcp({"joe.bcpdst", "in", file, "-c"});
    EXPECT_NE(dup.output.find("Database server error code -803"), std::string::npos) << dup.output;
    EXPECT_EQ(rowsOf("bcpdst"), before);

    // SMITH may read nothing of JOE's and insert nothing.
    BcpRun denied = freebcp({"joe.bcpdst", "in", file, "-c"}, kSmith);
    EXPECT_NE(denied.output.find("Database server error code -551"), std::string::npos) << denied.output;
    EXPECT_EQ(rowsOf("bcpdst"), before);

    BcpRun unknown = freebcp({"joe.nosuchtable", "in", file, "-c"});
    EXPECT_NE(unknown.status, 0);
    EXPECT_NE(unknown.output.find("Database server error code -204"), std::string::npos) << unknown.output;
}

// Thousands of rows take many packets; -b makes a message of each batch, each committed alone.
TEST_F(BulkCopy, ThousandsOfRowsInOneMessageAndInBatches) {
    for (const char* table : {"BCPBIG", "BCPBIG2", "BCPBIG3"}) {
        createJoeTable(table,
                       "id integer PRIMARY KEY, name varchar(30), stamp timestamp, amount decimal(11,3)");
    }
    env().exec(
        "INSERT INTO joe.bcpbig SELECT g, 'name ' || g, timestamp '2020-01-01' + g * interval '61.5 "
        "seconds', "
        "g / 7.0 FROM generate_series(1, 4000) g");
    const std::string file = hostFile("bcpbig.chr");
    ASSERT_EQ(freebcp({"joe.bcpbig", "out", file, "-c"}).status, 0);

    BcpRun whole = freebcp({"joe.bcpbig2", "in", file, "-c"});
    ASSERT_EQ(whole.status, 0) << whole.output;
    EXPECT_EQ(rowsOf("bcpbig2"), rowsOf("bcpbig"));

    const size_t mark = env().gateway().mark();
    BcpRun batched = freebcp({"joe.bcpbig3", "in", file, "-c", "-b", "1500"});
    ASSERT_EQ(batched.status, 0) << batched.output;
    EXPECT_EQ(rowsOf("bcpbig3"), rowsOf("bcpbig"));
    size_t starts = 0;
    for (const std::string& r : env().gateway().requestsSince(mark)) {
        starts += r.rfind("insert bulk", 0) == 0 ? 1 : 0;
    }
    EXPECT_GE(starts, 3u);  // 1500 + 1500 + 1000 rows
}

}  // namespace
