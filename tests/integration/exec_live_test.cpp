// exec_live_test.cpp - statements, result sets, binding and fetching through the driver against
// the live gateway: every DB2 type described and converted, the host's two ways of binding, several
// result sets, warnings, the compile-only protocol, cancel while waiting, and failure paths.
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "driver_host.h"

namespace {

using kwhosttest::FetchedSet;
using kwhosttest::Transaction;
using kwtest::Environment;

const char kSelectAll[] =
    "SELECT C_CHAR, C_VARCHAR, C_INT, C_SMALL, C_FLOAT, C_LONG, C_DEC, C_DATE, C_TIME, C_TS FROM ALLTYPES "
    "ORDER BY C_INT";

class ExecLiveTest : public ::testing::Test {
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
            "('abc', 'hello world', 1, 7, 2.5, 'a long text', 1234.56, '2001-03-05', '07:43:54', "
            "'2001-03-05 07:43:54.00012'), "
            "('', '', 2, -32768, -0.125, '', -0.50, '1999-12-31', '23:59:58', '1999-12-31 23:59:58.999999'), "
            "(NULL, NULL, 3, NULL, NULL, NULL, NULL, NULL, NULL, NULL)");
        env.exec("ALTER TABLE joe.alltypes OWNER TO joe");
        env.exec("CREATE TABLE joe.counter (n INTEGER)");
        env.exec("ALTER TABLE joe.counter OWNER TO joe");
        // A function that raises a warning for every row it is called on.
        env.exec(
            "CREATE OR REPLACE FUNCTION joe.warned(v INTEGER) RETURNS INTEGER LANGUAGE plpgsql AS "
            "$$ BEGIN RAISE WARNING 'value % looked odd', v; RETURN v; END $$");
        env.exec("ALTER FUNCTION joe.warned(INTEGER) OWNER TO joe");
        // A stored request of the gateway: an update and two selects.
        env.exec("CREATE TABLE joe.pcsql_hostlib (req_name CHAR(12), req_text VARCHAR(4046))");
        env.exec("ALTER TABLE joe.pcsql_hostlib OWNER TO joe");
        env.exec(
            "INSERT INTO joe.pcsql_hostlib VALUES ('TWOSETS', "
            "'UPDATE COUNTER SET N = N + 1; SELECT C_INT FROM ALLTYPES WHERE C_INT < 3 ORDER BY C_INT; "
            "SELECT C_VARCHAR, C_SMALL FROM ALLTYPES WHERE C_INT = 1')");
        env.exec("INSERT INTO joe.counter VALUES (0)");
        env.exec("CREATE TABLE joe.zeros (i INTEGER, s SMALLINT, f FLOAT, v VARCHAR(10), k INTEGER)");
        env.exec("ALTER TABLE joe.zeros OWNER TO joe");
        env.exec(
            "INSERT INTO joe.zeros VALUES (5, 6, 1.5, 'x', 1), (0, 0, 0, '', 2), (NULL, NULL, NULL, NULL, "
            "3)");
    }

    void SetUp() override { ASSERT_EQ(t.connectAsJoe(), 0) << t.message(); }

    Environment& env = Environment::get();
    Transaction t;
};

TEST_F(ExecLiveTest, DescribeGivesEveryDb2TypeItsHostTypeLengthPrecisionAndScale) {
    ASSERT_EQ(t.execute(kSelectAll), 0) << t.message();
    t.block().inValue = 1;
    ASSERT_EQ(t.call(REQ_DESCRIBE), 0) << t.message();
    const auto columns = kwhosttest::descriptors(t.block());
    struct Expected {
        const char* name;
        int32_t db2Type, hostType, length, precision, scale;
    };
    const Expected expected[] = {
        {"c_char", DB2_CHAR, HOST_CHAR, 11, 0, 0},
        {"c_varchar", DB2_CHAR, HOST_CHAR, 41, 0, 0},
        {"c_int", DB2_INTEGER, HOST_INTEGER, 4, 10, 0},
        {"c_small", DB2_SMALLINT, HOST_SMALLINT, 2, 5, 0},
        {"c_float", DB2_FLOAT, HOST_DOUBLE, 44, 0, 0},
        {"c_long", DB2_LONG_VARCHAR, HOST_LONG_TEXT, 32700, 0, 0},
        {"c_dec", DB2_DECIMAL, HOST_DECIMAL, 44, 9, 2},
        {"c_date", DB2_DATE, HOST_DATE, 11, 0, 0},
        {"c_time", DB2_TIME, HOST_TIME, 16, 0, 0},
        {"c_ts", DB2_TIMESTAMP, HOST_DATETIME, 27, 0, 0},
    };
    ASSERT_EQ(columns.size(), std::size(expected));
    for (size_t i = 0; i < columns.size(); ++i) {
        const ColumnDescriptor* d = columns[i];
        SCOPED_TRACE(expected[i].name);
        EXPECT_STREQ(d->name, expected[i].name);
        EXPECT_EQ(+d->db2Type, expected[i].db2Type);
        EXPECT_EQ(+d->hostType, expected[i].hostType);
        EXPECT_EQ(+d->length, expected[i].length);
        EXPECT_EQ(+d->precision, expected[i].precision);
        EXPECT_EQ(+d->scale, expected[i].scale);
        EXPECT_EQ(+d->nameNotIdentifier, 0);
        EXPECT_EQ(+d->resultMarker4, 4);
        EXPECT_EQ(+d->resultMarker6, 6);
        EXPECT_EQ(+d->buffer, nullptr);
        EXPECT_EQ(+d->ordinal, 0);  // catalog fields stay as the fresh descriptor had them
    }
    t.call(REQ_CANCEL);
}

TEST_F(ExecLiveTest, ColumnNamesThatAreNoIdentifiersAreMarked) {
    ASSERT_EQ(t.execute("SELECT C_INT AS \"two words\", C_INT AS \"9LIVES\", C_INT AS OK_1 FROM ALLTYPES"), 0)
        << t.message();
    t.block().inValue = 1;
    ASSERT_EQ(t.call(REQ_DESCRIBE), 0);
    const auto columns = kwhosttest::descriptors(t.block());
    ASSERT_EQ(columns.size(), 3u);
    EXPECT_EQ(+columns[0]->nameNotIdentifier, 1);
    EXPECT_EQ(+columns[1]->nameNotIdentifier, 1);
    EXPECT_EQ(+columns[2]->nameNotIdentifier, 0);
    t.call(REQ_CANCEL);
}

TEST_F(ExecLiveTest, FetchConvertsDecimalsDatesTimesAndTimestampsIntoHostValues) {
    ASSERT_EQ(t.execute(kSelectAll), 0) << t.message();
    const FetchedSet set = kwhosttest::fetchAll(t);
    EXPECT_EQ(set.lastStatus, KW_STATUS_NO_DATA);
    EXPECT_EQ(+t.block().sqlCode, 100);
    const std::vector<std::vector<std::string>> expected = {
        {"abc", "hello world", "1", "7", "2.5", "a long text", "1234.56", "2001-03-05", "07.43.54",
         "2001-03-05-07.43.54.000120"},
        // Empty strings travel as one blank, which the text binding strips again.
        {"", "", "2", "-32768", "-0.125", "", "-0.50", "1999-12-31", "23.59.58",
         "1999-12-31-23.59.58.999999"},
        {"<null>", "<null>", "3", "<null>", "<null>", "<null>", "<null>", "<null>", "<null>", "<null>"},
    };
    EXPECT_EQ(set.rows, expected);
    EXPECT_EQ(t.call(REQ_NEXT_RESULT_SET), KW_STATUS_NO_MORE_RESULTS);
    EXPECT_EQ(+t.block().sqlCode, 100);
}

TEST_F(ExecLiveTest, ANullGetsIndicatorMinus1AndIsNotConverted) {
    ASSERT_EQ(t.execute("SELECT C_DEC FROM ALLTYPES WHERE C_INT = 3"), 0) << t.message();
    t.block().inValue = 1;
    ASSERT_EQ(t.call(REQ_DESCRIBE), 0);
    auto columns = kwhosttest::descriptors(t.block());
    ASSERT_EQ(columns.size(), 1u);
    char buffer[64];
    std::memset(buffer, 'Q', sizeof buffer);
    int32_t indicator = 0;
    columns[0]->buffer = buffer;
    columns[0]->indicator = &indicator;
    ASSERT_EQ(t.call(REQ_BIND), 0);
    ASSERT_EQ(t.call(REQ_FETCH), 0) << t.message();
    EXPECT_EQ(indicator, -1);
    // DB-Library writes its empty text for a NULL; the driver must not turn that into a decimal,
    // which would have rewritten the first 16 bytes.
    EXPECT_EQ(buffer[0], '\0');
    EXPECT_EQ(std::string(buffer + 8, 8), std::string(8, 'Q'));
    EXPECT_EQ(t.call(REQ_FETCH), KW_STATUS_NO_DATA);
}

TEST_F(ExecLiveTest, ZerosAndEmptyTextsAreValuesAndNullsAreNullsWhateverTheBufferHeldBefore) {
    ASSERT_EQ(t.execute("SELECT I, S, F, V FROM ZEROS ORDER BY K"), 0) << t.message();
    t.block().inValue = 1;
    ASSERT_EQ(t.call(REQ_DESCRIBE), 0);
    auto columns = kwhosttest::descriptors(t.block());
    ASSERT_EQ(columns.size(), 4u);
    char buffers[4][64];
    int32_t indicators[4];
    for (size_t c = 0; c < 4; ++c) {
        columns[c]->buffer = buffers[c];
        columns[c]->indicator = &indicators[c];
    }
    ASSERT_EQ(t.call(REQ_BIND), 0);
    // Each row is read into buffers that hold the previous row: a value, then zeros and an empty
    // text (what DB-Library also writes for a NULL), then NULLs.
    const int32_t expected[3] = {0, 0, -1};
    for (int row = 0; row < 3; ++row) {
        ASSERT_EQ(t.call(REQ_FETCH), 0) << t.message();
        for (size_t c = 0; c < 4; ++c) {
            EXPECT_EQ(indicators[c], expected[row]) << "row " << row + 1 << ", column " << c + 1;
        }
    }
    EXPECT_EQ(t.call(REQ_FETCH), KW_STATUS_NO_DATA);
}

TEST_F(ExecLiveTest, ARowWithAWarningComesUnconvertedWithStatus2AndTheWarningText) {
    ASSERT_EQ(t.execute("SELECT WARNED(C_INT), C_DEC FROM ALLTYPES WHERE C_INT = 1"), 0) << t.message();
    t.block().inValue = 1;
    ASSERT_EQ(t.call(REQ_DESCRIBE), 0);
    auto columns = kwhosttest::descriptors(t.block());
    ASSERT_EQ(columns.size(), 2u);
    int32_t value = 0;
    char decimal[64] = {};
    int32_t indicators[2] = {7, 7};
    columns[0]->buffer = &value;
    columns[0]->indicator = &indicators[0];
    columns[1]->buffer = decimal;
    columns[1]->indicator = &indicators[1];
    ASSERT_EQ(t.call(REQ_BIND), 0);
    EXPECT_EQ(t.call(REQ_FETCH), KW_STATUS_ROW_WITH_WARNING);
    EXPECT_NE(t.message().find("value 1 looked odd"), std::string::npos) << t.message();
    EXPECT_EQ(+t.block().sqlCode, -1);
    EXPECT_EQ(indicators[0], 4) << "a warned row's indicators hold the buffer lengths";
    EXPECT_EQ(indicators[1], 44);
    EXPECT_STREQ(decimal, "1234.56") << "and its values are left as delivered";
    EXPECT_EQ(t.call(REQ_FETCH), KW_STATUS_NO_DATA);
}

// A host array of bindings for requests 53 to 56, with buffers large enough for any value.
struct Bindings {
    explicit Bindings(int count)
        : records(static_cast<size_t>(count)), buffers(records.size()), indicators(records.size()) {
        for (size_t i = 0; i < records.size(); ++i) {
            buffers[i].assign(64, '\0');
            records[i].buffer = buffers[i].data();
            records[i].indicator = &indicators[i];
        }
    }
    void attach(RequestBlock& block) {
        block.bindArray = records.data();
        block.bindCount = static_cast<int32_t>(records.size());
    }
    std::vector<ColumnBinding> records;
    std::vector<std::vector<char>> buffers;
    std::vector<int32_t> indicators;
};

TEST_F(ExecLiveTest, BindingsAreDescribedBoundAndRefetchedAndOnlyChangedOnesAreRebound) {
    ASSERT_EQ(
        t.execute("SELECT C_VARCHAR, C_INT, C_SMALL, C_FLOAT, C_DEC, C_DATE, C_TIME, C_TS FROM ALLTYPES "
                  "WHERE C_INT < 3 ORDER BY C_INT DESC"),
        0)
        << t.message();
    t.call(REQ_COLUMN_COUNT);
    ASSERT_EQ(+t.block().result, 8);
    Bindings b(8);
    b.attach(t.block());
    ASSERT_EQ(t.call(REQ_DESCRIBE_BINDINGS), 0);
    const struct {
        int32_t hostType, length, scale;
    } described[] = {{HOST_CHAR, 41, 0},   {HOST_INTEGER, 4, 0},  {HOST_VARCHAR, 44, 0},
                     {HOST_DOUBLE, 44, 0}, {HOST_DECIMAL, 44, 2}, {HOST_DATE, 27, 0},
                     {HOST_TIME, 27, 0},   {HOST_DATETIME, 27, 0}};
    for (size_t i = 0; i < 8; ++i) {
        SCOPED_TRACE("binding " + std::to_string(i + 1));
        EXPECT_EQ(+b.records[i].hostType, described[i].hostType);
        EXPECT_EQ(+b.records[i].length, described[i].length);
        EXPECT_EQ(+b.records[i].scale, described[i].scale);
    }
    ASSERT_EQ(t.call(REQ_BIND_BINDINGS), 0) << t.message();
    ASSERT_EQ(t.call(REQ_FETCH_BINDINGS), 0) << t.message();  // the row of C_INT 2
    EXPECT_STREQ(b.buffers[0].data(), "");
    int32_t integer = 0;
    std::memcpy(&integer, b.buffers[1].data(), sizeof integer);
    EXPECT_EQ(integer, 2);
    EXPECT_STREQ(b.buffers[2].data(), "-32768") << "a SMALLINT is a text binding here";
    HostDecimal decimal;
    std::memcpy(&decimal, b.buffers[4].data(), sizeof decimal);
    EXPECT_EQ(kwhosttest::formatDecimal(decimal), "-0.50");
    DateTimeValue when;
    std::memcpy(&when, b.buffers[5].data(), sizeof when);
    EXPECT_EQ(kwhosttest::formatDateTime(when), "1999-12-31");
    std::memcpy(&when, b.buffers[6].data(), sizeof when);
    EXPECT_EQ(kwhosttest::formatDateTime(when), "23.59.58");
    std::memcpy(&when, b.buffers[7].data(), sizeof when);
    EXPECT_EQ(kwhosttest::formatDateTime(when), "1999-12-31-23.59.58.999999");

    // The host turns the INTEGER into text and moves the VARCHAR to another buffer without
    // changing its type: only the first is bound again.
    b.records[1].hostType = HOST_CHAR;
    b.records[1].length = 12;
    std::vector<char> moved(64, '\0');
    b.records[0].buffer = moved.data();
    ASSERT_EQ(t.call(REQ_BIND_BINDINGS), 0) << t.message();
    ASSERT_EQ(t.call(REQ_FETCH_BINDINGS), 0) << t.message();  // the row of C_INT 1
    EXPECT_STREQ(b.buffers[1].data(), "1") << "rebound as text";
    EXPECT_STREQ(b.buffers[0].data(), "hello world") << "not rebound: the value went to the old buffer";
    EXPECT_STREQ(moved.data(), "");
    EXPECT_EQ(t.call(REQ_FETCH_BINDINGS), KW_STATUS_NO_MORE_RESULTS);
}

TEST_F(ExecLiveTest, AStoredRequestWithTwoResultSetsIsReadThroughBindings) {
    ASSERT_EQ(t.execute("EXECUTE TWOSETS"), 0) << t.message();
    std::vector<std::string> seen;
    int32_t status = 0;
    int sets = 0;
    for (int guard = 0; guard < 20 && status != KW_STATUS_NO_MORE_RESULTS; ++guard) {
        t.call(REQ_COLUMN_COUNT);
        const int columns = static_cast<int>(t.block().result);
        Bindings b(columns);
        b.attach(t.block());
        ASSERT_EQ(t.call(REQ_DESCRIBE_BINDINGS), 0);
        ASSERT_EQ(t.call(REQ_BIND_BINDINGS), 0) << t.message();
        ++sets;
        while ((status = t.call(REQ_FETCH_BINDINGS)) == KW_STATUS_OK) {
            std::string row;
            for (int c = 0; c < columns; ++c) {
                if (b.records[c].hostType == HOST_INTEGER) {
                    int32_t v;
                    std::memcpy(&v, b.buffers[c].data(), sizeof v);
                    row += std::to_string(v) + ";";
                } else {
                    row += std::string(b.buffers[c].data()) + ";";
                }
            }
            seen.push_back(row);
        }
        ASSERT_TRUE(status == KW_STATUS_NO_DATA || status == KW_STATUS_NO_MORE_RESULTS) << t.message();
    }
    EXPECT_EQ(sets, 2);
    EXPECT_EQ(seen, (std::vector<std::string>{"1;", "2;", "hello world;7;"}));
    EXPECT_EQ(env.queryValue("SELECT n FROM joe.counter"), "1") << "the update ran";
}

TEST_F(ExecLiveTest, CompileOnlyDescribeRunsNothingAndLeavesNormalMode) {
    const size_t mark = env.gateway().mark();
    std::string insert = "INSERT INTO COUNTER VALUES (99)";
    t.block().sqlText = insert.data();
    t.block().inValue = 0;
    ASSERT_EQ(t.call(REQ_PREPARE), 0) << t.message();
    ASSERT_EQ(t.call(REQ_DESCRIBE), 0) << t.message();
    EXPECT_EQ(+t.block().resultColumns, nullptr) << "an insert has no columns";
    EXPECT_EQ(env.gateway().requestsSince(mark),
              (std::vector<std::string>{"SET NOEXEC YES", insert, "SET NOEXEC NO"}));
    EXPECT_EQ(env.queryValue("SELECT count(*) FROM joe.counter WHERE n = 99"), "0");

    std::string select = "SELECT C_INT, C_DATE FROM ALLTYPES";
    t.block().sqlText = select.data();
    ASSERT_EQ(t.call(REQ_PREPARE), 0) << t.message();
    ASSERT_EQ(t.call(REQ_DESCRIBE), 0) << t.message();
    const auto columns = kwhosttest::descriptors(t.block());
    ASSERT_EQ(columns.size(), 2u);
    EXPECT_EQ(+columns[1]->db2Type, DB2_DATE);

    // Normal mode again: a statement runs for real.
    EXPECT_EQ(t.execute("INSERT INTO COUNTER VALUES (98)"), 0) << t.message();
    EXPECT_EQ(env.queryValue("SELECT count(*) FROM joe.counter WHERE n = 98"), "1");
    t.block().sqlText = nullptr;
    // The trace shows the protocol's steps.
    std::vector<std::string> trace;
    for (int i = 0; i < kwhost_traceCount(); ++i) {
        char line[256] = {};
        kwhost_traceLine(i, line, sizeof line);
        trace.push_back(line);
    }
    auto traced = [&](const char* text) {
        for (const std::string& line : trace) {
            if (line.find(text) != std::string::npos) {
                return true;
            }
        }
        return false;
    };
    EXPECT_TRUE(traced("Set noexec yes succeeded"));
    EXPECT_TRUE(traced("Cancel result sets"));
    EXPECT_TRUE(traced("Set noexec no succeeded"));
}

TEST_F(ExecLiveTest, AStatementThatDoesNotCompileReportsItsErrorAndLeavesNormalMode) {
    const size_t mark = env.gateway().mark();
    std::string bad = "SELECT NOSUCHCOLUMN FROM ALLTYPES";
    t.block().sqlText = bad.data();
    t.block().inValue = 0;
    EXPECT_EQ(t.call(REQ_PREPARE), -206) << t.message();
    EXPECT_EQ(env.gateway().requestsSince(mark),
              (std::vector<std::string>{"SET NOEXEC YES", bad, "SET NOEXEC NO"}));
    t.block().sqlText = nullptr;
    EXPECT_EQ(t.execute("INSERT INTO COUNTER VALUES (97)"), 0) << t.message();
    EXPECT_EQ(env.queryValue("SELECT count(*) FROM joe.counter WHERE n = 97"), "1");
}

TEST_F(ExecLiveTest, AMessageLeftFromEarlierWorkDoesNotFailTheNextStatement) {
    // A warning that arrived after the last row of a result stays queued; the next statement
    // must not be reported as failed because of it.
    kwhost_queueMessage(t.block().dbproc, KW_MESSAGE_SERVER, 21500, 4, "DG21500: left over");
    EXPECT_EQ(t.execute("SELECT C_INT FROM ALLTYPES WHERE C_INT = 1"), 0) << t.message();
    EXPECT_EQ(kwhosttest::fetchAll(t).rows.size(), 1u);
}

TEST_F(ExecLiveTest, Request21WithInValue1IsAPlainExecute) {
    const size_t mark = env.gateway().mark();
    std::string select = "SELECT C_INT FROM ALLTYPES WHERE C_INT = 2";
    t.block().sqlText = select.data();
    t.block().inValue = 1;
    ASSERT_EQ(t.call(REQ_PREPARE), 0) << t.message();
    EXPECT_EQ(env.gateway().requestsSince(mark), std::vector<std::string>{select});
    const FetchedSet set = kwhosttest::fetchAll(t);
    t.block().sqlText = nullptr;
    EXPECT_EQ(set.rows, (std::vector<std::vector<std::string>>{{"2"}}));
}

// The host's message loop during an asynchronous wait: it records what it saw and cancels.
struct WaitWatch {
    Transaction* transaction = nullptr;
    int calls = 0;
    int32_t pendingSeen = -1;
    int32_t pendingAfterCancel = -1;
    int32_t refusedStatus = -1;
    intptr_t refusedResult = -1;
};

void watchAndCancel(RequestBlock* block, void* context) {
    auto* watch = static_cast<WaitWatch*>(context);
    if (block != &watch->transaction->block() || watch->calls++ > 0) {
        return;
    }
    watch->pendingSeen = block->pendingState;
    const int32_t code = block->requestCode;
    watch->transaction->call(REQ_CANCEL);
    watch->pendingAfterCancel = block->pendingState;
    // Every further call while the driver still waits returns at once, doing nothing.
    watch->transaction->call(REQ_MAX_NAME_LENGTH);
    watch->refusedStatus = block->status;
    watch->refusedResult = block->result;
    block->requestCode = code;
}

TEST_F(ExecLiveTest, CancelWhileWaitingAsynchronouslyStopsTheStatementOnTheServer) {
    WaitWatch watch;
    watch.transaction = &t;
    kwhost_setWaitHook(watchAndCancel, &watch);
    t.block().asyncSend = 1;
    const auto start = std::chrono::steady_clock::now();
    t.execute("SELECT PG_SLEEP(60)");
    const auto seconds =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start).count();
    kwhost_setWaitHook(nullptr, nullptr);
    t.block().asyncSend = 0;
    EXPECT_GE(watch.calls, 1);
    EXPECT_EQ(watch.pendingSeen, KW_PENDING_RESPONSE);
    EXPECT_EQ(watch.pendingAfterCancel, KW_PENDING_CANCELLED);
    EXPECT_EQ(watch.refusedStatus, 0);
    EXPECT_EQ(watch.refusedResult, 0);
    EXPECT_EQ(+t.block().pendingState, KW_PENDING_NONE);
    EXPECT_LT(seconds, 20) << "the statement was cancelled, not waited out";
    EXPECT_EQ(env.queryValue("SELECT count(*) FROM pg_stat_activity WHERE query ILIKE '%pg_sleep(60)%' AND "
                             "state = 'active' AND pid <> pg_backend_pid()"),
              "0");
    // The connection is usable again.
    EXPECT_EQ(t.execute("SELECT C_INT FROM ALLTYPES WHERE C_INT = 1"), 0) << t.message();
    EXPECT_EQ(kwhosttest::fetchAll(t).rows.size(), 1u);
}

TEST_F(ExecLiveTest, EveryAllocationOfADescribeAndOfARewriteCanFailCleanly) {
    const int64_t baseline = t.liveAllocations();
    // A describe of two columns takes the list, then a descriptor and a name buffer per column,
    // and a list node per column.
    for (int n = 1; n <= 8; ++n) {
        SCOPED_TRACE("allocation " + std::to_string(n));
        ASSERT_EQ(t.execute("SELECT C_INT, C_DATE FROM ALLTYPES"), 0) << t.message();
        kwhost_failAllocation(t.context(), n);
        t.block().inValue = 1;
        const int32_t status = t.call(REQ_DESCRIBE);
        kwhost_failAllocation(t.context(), 0);
        if (status == KW_STATUS_OK) {
            EXPECT_EQ(kwhosttest::descriptors(t.block()).size(), 2u);  // the knob fired past the describe
        } else {
            EXPECT_EQ(status, KW_STATUS_DRIVER_FAILURE);
            EXPECT_EQ(t.message(), "The host could not provide the memory this request needs.");
            EXPECT_EQ(+t.block().resultColumns, nullptr);
        }
        t.call(REQ_CANCEL);
        kwshr_releaseBlockData(&t.block());
        EXPECT_EQ(t.liveAllocations(), baseline);
    }
    kwhost_failAllocation(t.context(), 1);
    EXPECT_EQ(t.execute("EXECUTE TWOSETS"), KW_STATUS_DRIVER_FAILURE);
    kwhost_failAllocation(t.context(), 0);
    EXPECT_EQ(t.liveAllocations(), baseline);
    EXPECT_EQ(t.execute("SELECT C_INT FROM ALLTYPES"), 0)
        << "the connection is still usable: " << t.message();
}

TEST_F(ExecLiveTest, AHundredThousandRowsOfEveryTypeRunThroughDescribeBindAndFetch) {
    env.exec(
        "CREATE TABLE IF NOT EXISTS joe.many AS SELECT g AS c_int, (g % 30000)::smallint AS c_small, "
        "g * 0.5::float8 AS c_float, ((g % 1000000) / 100.0)::numeric(9,2) AS c_dec, "
        "date '2000-01-01' + (g % 3650) AS c_date, time '00:00:00' + (g % 86400) * interval '1 second' AS "
        "c_time, "
        "timestamp '2000-01-01' + g * interval '1 millisecond' AS c_ts, ('row ' || g)::varchar(40) AS "
        "c_varchar, "
        "lpad(g::text, 10)::char(10) AS c_char, repeat('x', g % 50) AS c_long FROM generate_series(1, "
        "100000) g");
    env.exec("ALTER TABLE joe.many OWNER TO joe");
    std::string select =
        "SELECT C_INT, C_SMALL, C_FLOAT, C_DEC, C_DATE, C_TIME, C_TS, C_VARCHAR, C_CHAR, C_LONG FROM MANY "
        "ORDER BY C_INT";
    t.block().sqlText = select.data();
    t.block().inValue = 1;
    ASSERT_EQ(t.call(REQ_PREPARE), 0) << t.message();
    t.block().sqlText = nullptr;
    const FetchedSet set = kwhosttest::fetchAll(t);
    ASSERT_EQ(set.rows.size(), 100000u);
    EXPECT_EQ(set.lastStatus, KW_STATUS_NO_DATA);
    const std::vector<std::string> first = {
        "1",     "1",          "0.5", "0.01", "2000-01-02", "00.00.01", "2000-01-01-00.00.00.001000",
        "row 1", "         1", "x"};
    EXPECT_EQ(set.rows.front(), first);
    EXPECT_EQ(set.rows.back()[0], "100000");
    EXPECT_EQ(set.rows.back()[3], "1000.00");
}

}  // namespace
