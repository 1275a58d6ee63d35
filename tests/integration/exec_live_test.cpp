// exec_live_test.cpp - statements, result sets, binding and fetching through the driver against
// the live gateway: every DB2 type described and converted, NULL indicators, the host's two ways of
// binding, several result sets, warnings, the compile-only protocol, cancel while waiting, and
// allocation failures.
#include <chrono>
#include <string>
#include <tuple>
#include <vector>

#include "driver_host.h"

namespace {

using kwhosttest::Transaction;
using kwtest::Environment;
using Rows = std::vector<std::vector<std::string>>;

const char kSelectAll[] =
    "SELECT C_CHAR, C_VARCHAR, C_INT, C_SMALL, C_FLOAT, C_LONG, C_DEC, C_DATE, C_TIME, C_TS FROM ALLTYPES "
    "ORDER BY C_INT";

class ExecLiveTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        // TWOSETS is a stored request of the gateway: an update and two selects. WARNED raises a
        // warning for every row it is called on.
        Environment::get().exec(R"SQL(
            CREATE SCHEMA IF NOT EXISTS joe AUTHORIZATION joe;
            SET ROLE joe;
            CREATE TABLE joe.alltypes (c_char CHAR(10), c_varchar VARCHAR(40), c_int INTEGER,
                c_small SMALLINT, c_float FLOAT, c_long TEXT, c_dec DECIMAL(9,2), c_date DATE,
                c_time TIME, c_ts TIMESTAMP);
            INSERT INTO joe.alltypes VALUES
                ('abc', 'hello world', 1, 7, 2.5, 'a long text', 1234.56, '2001-03-05', '07:43:54',
                 '2001-03-05 07:43:54.00012'),
                ('', '', 2, -32768, -0.125, '', -0.50, '1999-12-31', '23:59:58', '1999-12-31 23:59:58.999999'),
                (NULL, NULL, 3, NULL, NULL, NULL, NULL, NULL, NULL, NULL);
            CREATE TABLE joe.counter (n INTEGER);
            INSERT INTO joe.counter VALUES (0);
            CREATE FUNCTION joe.warned(v INTEGER) RETURNS INTEGER LANGUAGE plpgsql AS
                $$ BEGIN RAISE WARNING 'value % looked odd', v; RETURN v; END $$;
            CREATE TABLE joe.pcsql_hostlib (req_name CHAR(12), req_text VARCHAR(4046));
            INSERT INTO joe.pcsql_hostlib VALUES ('TWOSETS', 'UPDATE COUNTER SET N = N + 1;
                SELECT C_INT FROM ALLTYPES WHERE C_INT < 3 ORDER BY C_INT;
                SELECT C_VARCHAR, C_SMALL FROM ALLTYPES WHERE C_INT = 1');
            CREATE TABLE joe.zeros (i INTEGER, s SMALLINT, f FLOAT, v VARCHAR(10), k INTEGER);
            INSERT INTO joe.zeros VALUES (5, 6, 1.5, 'x', 1), (0, 0, 0, '', 2), (NULL, NULL, NULL, NULL, 3);
            RESET ROLE;)SQL");
    }

    void SetUp() override { ASSERT_EQ(t.connect(), 0) << t.message(); }

    std::string count(const std::string& where) {
        return env.queryValue("SELECT count(*) FROM joe.counter WHERE " + where);
    }

    Environment& env = Environment::get();
    Transaction t;
};

TEST_F(ExecLiveTest, DescribeGivesEveryDb2TypeItsHostTypeLengthPrecisionAndScaleRunOrCompiledOnly) {
    // Name, DB2 type, host type, length, precision, scale; every column is an identifier, has the
    // result markers 4 and 6, no buffer yet, and the catalog fields of a fresh descriptor.
    using Described = std::tuple<std::string, int32_t, int32_t, int32_t, int32_t, int32_t>;
    const Described expected[] = {{"c_char", DB2_CHAR, HOST_CHAR, 11, 0, 0},
                                  {"c_varchar", DB2_CHAR, HOST_CHAR, 41, 0, 0},
                                  {"c_int", DB2_INTEGER, HOST_INTEGER, 4, 10, 0},
                                  {"c_small", DB2_SMALLINT, HOST_SMALLINT, 2, 5, 0},
                                  {"c_float", DB2_FLOAT, HOST_DOUBLE, 44, 0, 0},
                                  {"c_long", DB2_LONG_VARCHAR, HOST_LONG_TEXT, 32700, 0, 0},
                                  {"c_dec", DB2_DECIMAL, HOST_DECIMAL, 44, 9, 2},
                                  {"c_date", DB2_DATE, HOST_DATE, 11, 0, 0},
                                  {"c_time", DB2_TIME, HOST_TIME, 16, 0, 0},
                                  {"c_ts", DB2_TIMESTAMP, HOST_DATETIME, 27, 0, 0}};
    for (int32_t inValue : {1, 0}) {
        SCOPED_TRACE(inValue == 1 ? "a result set" : "compiled only");
        ASSERT_EQ(inValue == 1 ? t.execute(kSelectAll) : t.prepare(kSelectAll, 0), 0) << t.message();
        const auto columns = t.describe(inValue);
        ASSERT_EQ(+t.block().status, 0) << t.message();
        ASSERT_EQ(columns.size(), std::size(expected));
        for (size_t i = 0; i < columns.size(); ++i) {
            const ColumnDescriptor* d = columns[i];
            EXPECT_EQ(Described(std::string(d->name), +d->db2Type, +d->hostType, +d->length, +d->precision,
                                +d->scale),
                      expected[i]);
            EXPECT_EQ(
                std::make_tuple(+d->nameNotIdentifier, +d->resultMarker4, +d->resultMarker6, +d->ordinal),
                std::make_tuple(0, 4, 6, 0))
                << d->name;
            EXPECT_EQ(+d->buffer, nullptr);
        }
        t.call(REQ_CANCEL);
    }

    // Column names that are no identifiers are marked.
    ASSERT_EQ(t.execute("SELECT C_INT AS \"two words\", C_INT AS \"9LIVES\", C_INT AS OK_1 FROM ALLTYPES"), 0)
        << t.message();
    std::vector<int32_t> marked;
    for (const ColumnDescriptor* d : t.describe()) {
        marked.push_back(d->nameNotIdentifier);
    }
    EXPECT_EQ(marked, (std::vector<int32_t>{1, 1, 0}));
    t.call(REQ_CANCEL);
}

TEST_F(ExecLiveTest, FetchConvertsDecimalsDatesTimesAndTimestampsIntoHostValues) {
    ASSERT_EQ(t.execute(kSelectAll), 0) << t.message();
    const auto set = kwhosttest::fetchAll(t);
    EXPECT_EQ(set.lastStatus, KW_STATUS_NO_DATA);
    EXPECT_EQ(+t.block().sqlCode, 100);
    const Rows expected = {
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

TEST_F(ExecLiveTest, NullsGetIndicatorMinus1UnconvertedAndZerosAndEmptyTextsAreNoNulls) {
    ASSERT_EQ(t.execute("SELECT C_DEC FROM ALLTYPES WHERE C_INT = 3"), 0) << t.message();
    auto bound = kwhosttest::bindColumns(t, 'Q');
    ASSERT_EQ(+t.block().status, 0) << t.message();
    ASSERT_EQ(bound.columns.size(), 1u);
    ASSERT_EQ(t.call(REQ_FETCH), 0) << t.message();
    EXPECT_EQ(bound.indicators[0], -1);
    // DB-Library writes its empty text for a NULL; the driver must not turn that into a decimal,
    // which would have rewritten the first 16 bytes.
    EXPECT_EQ(bound.buffers[0][0], '\0');
    EXPECT_EQ(std::string(&bound.buffers[0][8], 8), std::string(8, 'Q'));
    EXPECT_EQ(t.call(REQ_FETCH), KW_STATUS_NO_DATA);

    // Each row is read into buffers that hold the previous row: a value, then zeros and an empty
    // text (what DB-Library also writes for a NULL), then NULLs.
    ASSERT_EQ(t.execute("SELECT I, S, F, V FROM ZEROS ORDER BY K"), 0) << t.message();
    bound = kwhosttest::bindColumns(t);
    ASSERT_EQ(+t.block().status, 0) << t.message();
    ASSERT_EQ(bound.columns.size(), 4u);
    for (int32_t expected : {0, 0, -1}) {
        ASSERT_EQ(t.call(REQ_FETCH), 0) << t.message();
        for (size_t c = 0; c < 4; ++c) {
            EXPECT_EQ(bound.indicators[c], expected) << "expecting " << expected << ", column " << c + 1;
        }
    }
    EXPECT_EQ(t.call(REQ_FETCH), KW_STATUS_NO_DATA);
}

TEST_F(ExecLiveTest, ARowWithAWarningComesUnconvertedWithStatus2AndTheWarningText) {
    ASSERT_EQ(t.execute("SELECT WARNED(C_INT), C_DEC FROM ALLTYPES WHERE C_INT = 1"), 0) << t.message();
    const auto bound = kwhosttest::bindColumns(t);
    ASSERT_EQ(+t.block().status, 0) << t.message();
    ASSERT_EQ(bound.columns.size(), 2u);
    EXPECT_EQ(t.call(REQ_FETCH), KW_STATUS_ROW_WITH_WARNING);
    EXPECT_NE(t.message().find("value 1 looked odd"), std::string::npos) << t.message();
    EXPECT_EQ(+t.block().sqlCode, -1);
    EXPECT_EQ(bound.indicators[0], 4) << "a warned row's indicators hold the buffer lengths";
    EXPECT_EQ(bound.indicators[1], 44);
    EXPECT_EQ(kwhosttest::formatValue(HOST_INTEGER, bound.buffers[0].data(), 0), "1");
    EXPECT_STREQ(bound.buffers[1].data(), "1234.56") << "and its values are left as delivered";
    EXPECT_EQ(t.call(REQ_FETCH), KW_STATUS_NO_DATA);
}

// A host array of bindings for requests 53 to 56, with buffers large enough for any value.
struct Bindings {
    explicit Bindings(Transaction& t) {
        t.call(REQ_COLUMN_COUNT);
        records.resize(static_cast<size_t>(t.block().result));
        buffers.assign(records.size(), std::vector<char>(64, '\0'));
        indicators.resize(records.size());
        for (size_t i = 0; i < records.size(); ++i) {
            records[i].buffer = buffers[i].data();
            records[i].indicator = &indicators[i];
        }
        t.block().bindArray = records.data();
        t.block().bindCount = static_cast<int32_t>(records.size());
    }
    std::vector<std::string> row() const {
        std::vector<std::string> values;
        for (size_t i = 0; i < records.size(); ++i) {
            values.push_back(kwhosttest::formatValue(records[i].hostType, buffers[i].data(), indicators[i]));
        }
        return values;
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
    Bindings b(t);
    ASSERT_EQ(b.records.size(), 8u);
    ASSERT_EQ(t.call(REQ_DESCRIBE_BINDINGS), 0);
    const std::tuple<int32_t, int32_t, int32_t> described[] = {
        // host type, length, scale
        {HOST_CHAR, 41, 0},    {HOST_INTEGER, 4, 0}, {HOST_VARCHAR, 44, 0}, {HOST_DOUBLE, 44, 0},
        {HOST_DECIMAL, 44, 2}, {HOST_DATE, 27, 0},   {HOST_TIME, 27, 0},    {HOST_DATETIME, 27, 0}};
    for (size_t i = 0; i < 8; ++i) {
        EXPECT_EQ(std::make_tuple(+b.records[i].hostType, +b.records[i].length, +b.records[i].scale),
                  described[i])
            << "binding " << i + 1;
    }
    ASSERT_EQ(t.call(REQ_BIND_BINDINGS), 0) << t.message();
    ASSERT_EQ(t.call(REQ_FETCH_BINDINGS), 0) << t.message();  // the row of C_INT 2; a SMALLINT is text here
    EXPECT_EQ(b.row(), (std::vector<std::string>{"", "2", "-32768", "-0.125", "-0.50", "1999-12-31",
                                                 "23.59.58", "1999-12-31-23.59.58.999999"}));

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
    Rows seen;
    int32_t status = 0;
    int sets = 0;
    for (; sets < 20 && status != KW_STATUS_NO_MORE_RESULTS; ++sets) {
        Bindings b(t);
        ASSERT_EQ(t.call(REQ_DESCRIBE_BINDINGS), 0);
        ASSERT_EQ(t.call(REQ_BIND_BINDINGS), 0) << t.message();
        while ((status = t.call(REQ_FETCH_BINDINGS)) == KW_STATUS_OK) {
            seen.push_back(b.row());
        }
        ASSERT_TRUE(status == KW_STATUS_NO_DATA || status == KW_STATUS_NO_MORE_RESULTS) << t.message();
    }
    EXPECT_EQ(sets, 2);
    EXPECT_EQ(seen, (Rows{{"1"}, {"2"}, {"hello world", "7"}}));
    EXPECT_EQ(env.queryValue("SELECT n FROM joe.counter"), "1") << "the update ran";
}

TEST_F(ExecLiveTest, CompileOnlyDescribeRunsNothingAndAlwaysLeavesNormalMode) {
    size_t mark = env.gateway().mark();
    const std::string insert = "INSERT INTO COUNTER VALUES (99)";
    ASSERT_EQ(t.prepare(insert, 0), 0) << t.message();
    t.describe(0);
    EXPECT_EQ(+t.block().status, 0) << t.message();
    EXPECT_EQ(+t.block().resultColumns, nullptr) << "an insert has no columns";
    EXPECT_EQ(env.gateway().requestsSince(mark),
              (std::vector<std::string>{"SET NOEXEC YES", insert, "SET NOEXEC NO"}));
    EXPECT_EQ(count("n = 99"), "0");
    EXPECT_EQ(t.execute("INSERT INTO COUNTER VALUES (98)"), 0) << t.message();
    EXPECT_EQ(count("n = 98"), "1") << "normal mode again: a statement runs for real";

    // A statement that does not compile reports its error and leaves normal mode too.
    mark = env.gateway().mark();
    const std::string bad = "SELECT NOSUCHCOLUMN FROM ALLTYPES";
    EXPECT_EQ(t.prepare(bad, 0), -206) << t.message();
    EXPECT_EQ(env.gateway().requestsSince(mark),
              (std::vector<std::string>{"SET NOEXEC YES", bad, "SET NOEXEC NO"}));
    EXPECT_EQ(t.execute("INSERT INTO COUNTER VALUES (97)"), 0) << t.message();
    EXPECT_EQ(count("n = 97"), "1");

    // With inValue 1, request 21 is a plain execute.
    mark = env.gateway().mark();
    const std::string select = "SELECT C_INT FROM ALLTYPES WHERE C_INT = 2";
    ASSERT_EQ(t.prepare(select, 1), 0) << t.message();
    EXPECT_EQ(env.gateway().requestsSince(mark), std::vector<std::string>{select});
    EXPECT_EQ(kwhosttest::fetchAll(t).rows, Rows{{"2"}});
}

TEST_F(ExecLiveTest, AMessageLeftFromEarlierWorkDoesNotFailTheNextStatement) {
    // A warning that arrived after the last row of a result stays queued.
    kwhost_queueMessage(t.block().dbproc, KW_MESSAGE_SERVER, 21500, 4, "DG21500: left over");
    EXPECT_EQ(t.execute("SELECT C_INT FROM ALLTYPES WHERE C_INT = 1"), 0) << t.message();
    EXPECT_EQ(kwhosttest::fetchAll(t).rows.size(), 1u);
}

// The host's message loop during an asynchronous wait: it records what it saw and cancels.
struct WaitWatch {
    Transaction* transaction = nullptr;
    int calls = 0;
    int32_t pendingSeen = -1, pendingAfterCancel = -1, refusedStatus = -1;
    intptr_t refusedResult = -1;
};

TEST_F(ExecLiveTest, CancelWhileWaitingAsynchronouslyStopsTheStatementOnTheServer) {
    WaitWatch watch{&t};
    kwhost_setWaitHook(
        [](RequestBlock* block, void* context) {
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
        },
        &watch);
    t.block().asyncSend = 1;
    const auto start = std::chrono::steady_clock::now();
    t.execute("SELECT PG_SLEEP(60)");
    const auto elapsed = std::chrono::steady_clock::now() - start;
    kwhost_setWaitHook(nullptr, nullptr);
    t.block().asyncSend = 0;
    EXPECT_GE(watch.calls, 1);
    EXPECT_EQ(watch.pendingSeen, KW_PENDING_RESPONSE);
    EXPECT_EQ(watch.pendingAfterCancel, KW_PENDING_CANCELLED);
    EXPECT_EQ(watch.refusedStatus, 0);
    EXPECT_EQ(watch.refusedResult, 0);
    EXPECT_EQ(+t.block().pendingState, KW_PENDING_NONE);
    EXPECT_LT(elapsed, std::chrono::seconds(20)) << "the statement was cancelled, not waited out";
    // Other test programs share the cluster, each in a database of its own.
    EXPECT_EQ(env.queryValue("SELECT count(*) FROM pg_stat_activity WHERE query ILIKE '%pg_sleep(60)%' AND "
                             "state = 'active' AND pid <> pg_backend_pid() AND datname = current_database()"),
              "0");
    EXPECT_EQ(t.execute("SELECT C_INT FROM ALLTYPES WHERE C_INT = 1"), 0) << t.message();
    EXPECT_EQ(kwhosttest::fetchAll(t).rows.size(), 1u) << "the connection is usable again";
}

TEST_F(ExecLiveTest, EveryAllocationOfADescribeCanFailCleanly) {
    const int64_t baseline = t.liveAllocations();
    // A describe of two columns takes the list, then per column a descriptor, a name buffer and
    // a list node.
    for (int n = 1; n <= 8; ++n) {
        SCOPED_TRACE("allocation " + std::to_string(n));
        ASSERT_EQ(t.execute("SELECT C_INT, C_DATE FROM ALLTYPES"), 0) << t.message();
        kwhost_failAllocation(t.block().memoryContext, n);
        const size_t described = t.describe().size();
        kwhost_failAllocation(t.block().memoryContext, 0);
        if (t.block().status == KW_STATUS_OK) {
            EXPECT_EQ(described, 2u);  // the knob fired past the describe
        } else {
            EXPECT_EQ(+t.block().status, KW_STATUS_DRIVER_FAILURE);
            EXPECT_EQ(t.message(), "The host could not provide the memory this request needs.");
            EXPECT_EQ(+t.block().resultColumns, nullptr);
        }
        t.call(REQ_CANCEL);
        kwshr_releaseBlockData(&t.block());
        EXPECT_EQ(t.liveAllocations(), baseline);
    }
    EXPECT_EQ(t.execute("SELECT C_INT FROM ALLTYPES"), 0)
        << "the connection is still usable: " << t.message();
}

TEST_F(ExecLiveTest, AHundredThousandRowsOfEveryTypeRunThroughDescribeBindAndFetch) {
    env.exec(R"SQL(
        CREATE TABLE joe.many AS SELECT g AS c_int, (g % 30000)::smallint AS c_small, g * 0.5::float8 AS c_float,
            ((g % 1000000) / 100.0)::numeric(9,2) AS c_dec, date '2000-01-01' + (g % 3650) AS c_date,
            time '00:00:00' + (g % 86400) * interval '1 second' AS c_time,
            timestamp '2000-01-01' + g * interval '1 millisecond' AS c_ts, ('row ' || g)::varchar(40) AS c_varchar,
            lpad(g::text, 10)::char(10) AS c_char, repeat('x', g % 50) AS c_long
        FROM generate_series(1, 100000) g;
        ALTER TABLE joe.many OWNER TO joe;)SQL");
    ASSERT_EQ(t.execute("SELECT * FROM MANY ORDER BY C_INT"), 0) << t.message();
    const auto set = kwhosttest::fetchAll(t);
    ASSERT_EQ(set.rows.size(), 100000u);
    EXPECT_EQ(set.lastStatus, KW_STATUS_NO_DATA);
    EXPECT_EQ(set.rows.front(),
              (std::vector<std::string>{"1", "1", "0.5", "0.01", "2000-01-02", "00.00.01",
                                        "2000-01-01-00.00.00.001000", "row 1", "         1", "x"}));
    EXPECT_EQ(set.rows.back()[0], "100000");
    EXPECT_EQ(set.rows.back()[3], "1000.00");
}

}  // namespace
