// exec_live_test.cpp - statements, result sets, binding and fetching through the driver against
// the live gateway: every DB2 type described and converted, decimals wider than the host decimal,
// LONG VARCHAR at its full length, NULL indicators, the host's two ways of binding, several result
// sets, warnings, the compile-only protocol, cancel while waiting, and allocation failures.
#include <algorithm>
#include <chrono>
#include <functional>
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
            CREATE TABLE joe.squares (d INTEGER);
            INSERT INTO joe.squares VALUES (10), (20), (100000);
            CREATE FUNCTION joe.slow_fail(s FLOAT) RETURNS INTEGER LANGUAGE plpgsql AS
                $$ BEGIN PERFORM pg_sleep(s); RETURN 1 / 0; END $$;
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
                                  {"c_long", DB2_LONG_VARCHAR, HOST_LONG_TEXT, 32701, 0, 0},
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

// A host array of bindings: requests 53 and 54, buffers of the described lengths (at least 64
// bytes) filled with `fill`, then request 55. The block lets go of the array on destruction.
struct Bindings {
    explicit Bindings(Transaction& t, char fill = '\0') : t(t) {
        t.call(REQ_COLUMN_COUNT);
        records.resize(static_cast<size_t>(t.block().result));
        indicators.assign(records.size(), 12345);
        t.block().bindArray = records.data();
        t.block().bindCount = static_cast<int32_t>(records.size());
        EXPECT_EQ(t.call(REQ_DESCRIBE_BINDINGS), 0) << t.message();
        for (size_t i = 0; i < records.size(); ++i) {
            buffers.emplace_back(static_cast<size_t>(std::max(records[i].length, 64)), fill);
            records[i].buffer = buffers[i].data();
            records[i].indicator = &indicators[i];
        }
        EXPECT_EQ(t.call(REQ_BIND_BINDINGS), 0) << t.message();
    }
    ~Bindings() {
        t.block().bindArray = nullptr;
        t.block().bindCount = 0;
    }
    std::vector<std::string> row() const {
        std::vector<std::string> values;
        for (size_t i = 0; i < records.size(); ++i) {
            values.push_back(kwhosttest::formatValue(records[i].hostType, buffers[i].data(), indicators[i]));
        }
        return values;
    }
    // Request 56 until it answers no row; its last status stays in the block.
    Rows rows() {
        Rows seen;
        while (t.call(REQ_FETCH_BINDINGS) == KW_STATUS_OK) {
            seen.push_back(row());
        }
        return seen;
    }
    Transaction& t;
    std::vector<ColumnBinding> records;
    std::vector<std::vector<char>> buffers;
    std::vector<int32_t> indicators;
};

// Fetches `rows` rows of `sql` both ways, request 23 through descriptors and request 56 through
// bindings; `check` gets each row's index, status, values and indicators.
void fetchBothWays(Transaction& t, const char* sql, size_t rows, size_t columns,
                   const std::function<void(size_t, int32_t, const std::vector<std::string>&,
                                            const std::vector<int32_t>&)>& check) {
    {
        SCOPED_TRACE("descriptors, request 23");
        ASSERT_EQ(t.execute(sql), 0) << t.message();
        auto bound = kwhosttest::bindColumns(t);
        ASSERT_EQ(+t.block().status, 0) << t.message();
        ASSERT_EQ(bound.columns.size(), columns);
        for (size_t i = 0; i < rows; ++i) {
            const int32_t status = t.call(REQ_FETCH);
            check(i, status, kwhosttest::formatRow(bound), bound.indicators);
        }
        EXPECT_EQ(t.call(REQ_FETCH), KW_STATUS_NO_DATA) << t.message();
    }
    SCOPED_TRACE("bindings, request 56");
    ASSERT_EQ(t.execute(sql), 0) << t.message();
    Bindings b(t);
    ASSERT_EQ(b.records.size(), columns);
    for (size_t i = 0; i < rows; ++i) {
        const int32_t status = t.call(REQ_FETCH_BINDINGS);
        check(i, status, b.row(), b.indicators);
    }
    EXPECT_EQ(t.call(REQ_FETCH_BINDINGS), KW_STATUS_NO_MORE_RESULTS) << t.message();
}

TEST_F(ExecLiveTest, BindingsAreDescribedBoundAndRefetchedAndOnlyChangedOnesAreRebound) {
    ASSERT_EQ(
        t.execute("SELECT C_VARCHAR, C_INT, C_SMALL, C_FLOAT, C_DEC, C_DATE, C_TIME, C_TS FROM ALLTYPES "
                  "WHERE C_INT < 3 ORDER BY C_INT DESC"),
        0)
        << t.message();
    Bindings b(t);
    ASSERT_EQ(b.records.size(), 8u);
    const std::tuple<int32_t, int32_t, int32_t> described[] = {
        // host type, length, scale
        {HOST_CHAR, 41, 0},    {HOST_INTEGER, 4, 0}, {HOST_VARCHAR, 44, 0}, {HOST_DOUBLE, 44, 0},
        {HOST_DECIMAL, 44, 2}, {HOST_DATE, 27, 0},   {HOST_TIME, 27, 0},    {HOST_DATETIME, 27, 0}};
    for (size_t i = 0; i < 8; ++i) {
        EXPECT_EQ(std::make_tuple(+b.records[i].hostType, +b.records[i].length, +b.records[i].scale),
                  described[i])
            << "binding " << i + 1;
    }
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
    int sets = 0;
    for (; sets < 20 && t.block().status != KW_STATUS_NO_MORE_RESULTS; ++sets) {
        Bindings b(t);
        const Rows rows = b.rows();
        seen.insert(seen.end(), rows.begin(), rows.end());
        ASSERT_TRUE(t.block().status == KW_STATUS_NO_DATA || t.block().status == KW_STATUS_NO_MORE_RESULTS)
            << t.message();
    }
    EXPECT_EQ(sets, 2);
    EXPECT_EQ(seen, (Rows{{"1"}, {"2"}, {"hello world", "7"}}));
    EXPECT_EQ(env.queryValue("SELECT n FROM joe.counter"), "1") << "the update ran";
}

// The values of DB2 decimals that reach 31 digits: the host decimal holds 28 after the point and a
// 96-bit mantissa (28 or 29 digits). A value it cannot hold exactly fails its row, keeps its text
// and is never handed over as a number; the rows around it convert as usual. Both ways of fetching.
TEST_F(ExecLiveTest, ADecimalTheHostDecimalCannotHoldFailsItsRowWithItsTextAndTheNextRowsStillConvert) {
    env.exec(R"SQL(
        CREATE TABLE joe.wide (k INTEGER, d0 DECIMAL(31,0), d30 DECIMAL(31,30));
        INSERT INTO joe.wide VALUES (1, 79228162514264337593543950335, 0.5),
            (2, 1234567890123456789012345678901, -0.5), (3, -12, 1.234567890123456789012345678901),
            (4, -79228162514264337593543950335, 1.234567890123456789012345678900);
        ALTER TABLE joe.wide OWNER TO joe;)SQL");
    const struct {
        int32_t status;
        std::vector<std::string> row;  // for a failed row, the refused column reads as its text
        size_t refusedColumn;          // 1-based; 0 when the row converted
    } expected[] = {
        {KW_STATUS_OK, {"1", "79228162514264337593543950335", "0.5000000000000000000000000000"}, 0},
        {KW_STATUS_DRIVER_FAILURE,
         {"2", "1234567890123456789012345678901", "-0.5000000000000000000000000000"},
         2},
        {KW_STATUS_DRIVER_FAILURE, {"3", "-12", "1.234567890123456789012345678901"}, 3},
        {KW_STATUS_OK, {"4", "-79228162514264337593543950335", "1.2345678901234567890123456789"}, 0},
    };
    fetchBothWays(t, "SELECT K, D0, D30 FROM WIDE ORDER BY K", std::size(expected), 3,
                  [&](size_t i, int32_t status, const auto& row, const auto& indicators) {
                      SCOPED_TRACE("row " + std::to_string(i + 1));
                      const auto& e = expected[i];
                      EXPECT_EQ(status, e.status) << t.message();
                      EXPECT_EQ(row, e.row);
                      for (size_t c = 0; c < indicators.size(); ++c) {
                          EXPECT_EQ(indicators[c], c + 1 == e.refusedColumn ? 44 : 0) << "column " << c + 1;
                      }
                      EXPECT_EQ(+t.block().sqlCode, e.refusedColumn == 0 ? 0 : -1);
                      if (e.refusedColumn != 0) {
                          EXPECT_NE(t.message().find("column " + std::to_string(e.refusedColumn) + " "),
                                    std::string::npos)
                              << t.message();
                          EXPECT_NE(t.message().find(e.row[e.refusedColumn - 1]), std::string::npos)
                              << t.message();
                      }
                  });
}

// Values at the limits of their types, and NULLs between them, read row after row into the
// buffers of the row before (longer texts before shorter ones), both ways of fetching.
TEST_F(ExecLiveTest, ValuesAtTheLimitsOfTheirTypesConvertExactlyOverWhatTheRowBeforeLeft) {
    env.exec(R"SQL(
        CREATE TABLE joe.limits (k INTEGER, d92 DECIMAL(9,2), d5 DECIMAL(5,0), d31 DECIMAL(31,2),
            dt DATE, tm TIME, ts TIMESTAMP);
        INSERT INTO joe.limits VALUES
            (1, 9999999.99, -99999, -123456789012345678901234567.89, '9999-12-31', '23:59:59',
             '9999-12-31 23:59:59.999999'),
            (2, NULL, NULL, NULL, NULL, NULL, NULL),
            (3, -9999999.99, 0, -0.01, '0001-01-01', '00:00:00', '0001-01-01 00:00:00'),
            (4, -0.01, 7, 0.00, '2000-02-29', '12:00:00', '2000-02-29 12:00:00.5'),
            (5, 0.00, -1, NULL, '1999-12-31', '23:59:58', '1999-12-31 23:59:58.000001'),
            (6, 0.10, 99999, 123456789012345678901234567.89, '1970-01-01', '00:00:01',
             '1970-01-01 00:00:00.010203');
        ALTER TABLE joe.limits OWNER TO joe;)SQL");
    const Rows expected = {
        {"1", "9999999.99", "-99999", "-123456789012345678901234567.89", "9999-12-31", "23.59.59",
         "9999-12-31-23.59.59.999999"},
        {"2", "<null>", "<null>", "<null>", "<null>", "<null>", "<null>"},
        {"3", "-9999999.99", "0", "-0.01", "0001-01-01", "00.00.00", "0001-01-01-00.00.00.000000"},
        {"4", "-0.01", "7", "0.00", "2000-02-29", "12.00.00", "2000-02-29-12.00.00.500000"},
        {"5", "0.00", "-1", "<null>", "1999-12-31", "23.59.58", "1999-12-31-23.59.58.000001"},
        {"6", "0.10", "99999", "123456789012345678901234567.89", "1970-01-01", "00.00.01",
         "1970-01-01-00.00.00.010203"},
    };
    fetchBothWays(t, "SELECT K, D92, D5, D31, DT, TM, TS FROM LIMITS ORDER BY K", expected.size(), 7,
                  [&](size_t i, int32_t status, const auto& row, const auto& indicators) {
                      SCOPED_TRACE("row " + std::to_string(i + 1));
                      EXPECT_EQ(status, 0) << t.message();
                      EXPECT_EQ(row, expected[i]);
                      for (size_t c = 0; c < indicators.size(); ++c) {
                          EXPECT_EQ(indicators[c], expected[i][c] == "<null>" ? -1 : 0) << "column " << c + 1;
                      }
                  });
}

TEST_F(ExecLiveTest, ALongVarcharOfItsFullDeclaredLengthComesBackWholeWithoutAWarning) {
    env.exec(R"SQL(
        CREATE TABLE joe.longest (k INTEGER, t TEXT);
        INSERT INTO joe.longest VALUES (1, repeat('x', 32699) || 'z'), (2, 'short');
        ALTER TABLE joe.longest OWNER TO joe;)SQL");
    const std::string longest = std::string(32699, 'x') + "z";
    const char kSelect[] = "SELECT T FROM LONGEST ORDER BY K";

    ASSERT_EQ(t.execute(kSelect), 0) << t.message();
    const auto set = kwhosttest::fetchAll(t);
    EXPECT_EQ(set.lastStatus, KW_STATUS_NO_DATA) << t.message();
    EXPECT_EQ(set.rows, (Rows{{longest}, {"short"}})) << "no row failed or came with a warning";

    // Through bindings, into a buffer of the length request 54 gives: the declared 32700 and the
    // terminator.
    ASSERT_EQ(t.execute(kSelect), 0) << t.message();
    Bindings b(t, 'Q');
    ASSERT_EQ(b.records.size(), 1u);
    EXPECT_EQ(std::make_tuple(+b.records[0].hostType, +b.records[0].length),
              std::make_tuple(HOST_CHAR, 32701));
    EXPECT_EQ(b.buffers[0].size(), 32701u);
    ASSERT_EQ(t.call(REQ_FETCH_BINDINGS), KW_STATUS_OK) << t.message();
    EXPECT_EQ(b.indicators[0], 0);
    EXPECT_EQ(std::string(b.buffers[0].data()), longest);
    t.call(REQ_CANCEL);
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

// SQUARES holds 10, 20 and 100000, in that order: the square of the third overflows an INTEGER.
const char kSquares[] = "SELECT D, D * D FROM SQUARES";
const char kOverflowCode[] = "DB2 Return Code:  -802";

TEST_F(ExecLiveTest, AnErrorAfterTheFirstRowsIsTheAnswerWhereTheRowsEndAndNotLaterOn) {
    // Through request 23: two rows, then the overflow instead of "no more rows".
    ASSERT_EQ(t.execute(kSquares), 0) << t.message();
    const auto set = kwhosttest::fetchAll(t);
    EXPECT_EQ(set.rows, (Rows{{"10", "100"}, {"20", "400"}}));
    EXPECT_EQ(set.lastStatus, -802);
    EXPECT_NE(t.message().find(kOverflowCode), std::string::npos) << t.message();
    EXPECT_EQ(+t.block().sqlCode, -1);

    // Through request 56, likewise.
    ASSERT_EQ(t.execute(kSquares), 0) << t.message();
    {
        Bindings b(t);
        EXPECT_EQ(b.rows(), (Rows{{"10", "100"}, {"20", "400"}}));
        EXPECT_EQ(+t.block().status, -802);
        EXPECT_NE(t.message().find(kOverflowCode), std::string::npos) << t.message();
        EXPECT_EQ(+t.block().sqlCode, -1);
    }

    // Through request 96: the first statement of the batch gives its rows, the second fails
    // before it has any (its sort meets the overflow).
    ASSERT_EQ(
        t.execute("SELECT D FROM SQUARES WHERE D < 100 ORDER BY D; SELECT D * D FROM SQUARES ORDER BY D"), 0)
        << t.message();
    EXPECT_EQ(kwhosttest::fetchAll(t).rows, (Rows{{"10"}, {"20"}}));
    EXPECT_EQ(t.call(REQ_NEXT_RESULT_SET), -802) << t.message();
    EXPECT_NE(t.message().find(kOverflowCode), std::string::npos) << t.message();
    EXPECT_EQ(+t.block().sqlCode, -1);
    t.call(REQ_CANCEL);

    // None of them surfaces again on the next statement.
    EXPECT_EQ(t.execute("SELECT C_INT FROM ALLTYPES WHERE C_INT = 2"), 0) << t.message();
    EXPECT_EQ(kwhosttest::fetchAll(t).rows, Rows{{"2"}});
}

TEST_F(ExecLiveTest, WhatEarlierWorkLeftQueuedIsDroppedWhenANoticeAndAnsweredWhenAnError) {
    const struct {
        const char* claim;
        int32_t number, severity;
        bool cancelFirst;
        int32_t status;  // of the next statement
    } cases[] = {
        {"a warning that came after a result's last row is dropped", 21500, 4, false, 0},
        {"an error nobody reported is the answer, and the statement is not sent", 21500, 16, false, 21500},
        {"an error of work the host cancelled goes with that work", 21500, 16, true, 0},
    };
    const std::string statement = "SELECT C_INT FROM ALLTYPES WHERE C_INT = 1";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.claim);
        kwhost_queueMessage(t.block().dbproc, KW_MESSAGE_SERVER, c.number, c.severity, "DG21500: left over");
        if (c.cancelFirst) {
            ASSERT_EQ(t.call(REQ_CANCEL), 0) << t.message();
        }
        const size_t mark = env.gateway().mark();
        EXPECT_EQ(t.execute(statement), c.status) << t.message();
        if (c.status == 0) {
            EXPECT_EQ(kwhosttest::fetchAll(t).rows, Rows{{"1"}});
        } else {
            EXPECT_EQ(t.message(), "DG21500: left over");
            EXPECT_EQ(env.gateway().requestsSince(mark), std::vector<std::string>{});
        }
        EXPECT_EQ(kwhost_queuedMessageCount(t.block().dbproc), 0);
    }
    EXPECT_EQ(t.execute(statement), 0) << "reported once, the error is gone: " << t.message();
}

TEST_F(ExecLiveTest, AQuestionMarkDbLibraryWouldTakeForAParameterIsRefusedClearlyAndLeavesNothingBehind) {
    const struct {
        std::string sql;
        bool refused;
    } cases[] = {
        {"SELECT C_INT FROM ALLTYPES WHERE C_INT = ?", true},
        {"SELECT C_INT FROM ALLTYPES WHERE C_VARCHAR = 'why?' OR C_INT = ?", true},
        {"SELECT C_INT FROM ALLTYPES WHERE C_VARCHAR <> 'why?' AND C_INT = 1", false},
        {"SELECT C_INT AS \"what?\" FROM ALLTYPES WHERE C_INT = 1", false},
        {"SELECT C_INT FROM ALLTYPES -- which one?\nWHERE C_INT = 1", false},
        {"SELECT C_INT /* which one? */ FROM ALLTYPES WHERE C_INT = 1", false},
    };
    const std::string good = "SELECT C_INT FROM ALLTYPES WHERE C_INT = 2";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sql);
        const size_t mark = env.gateway().mark();
        if (c.refused) {
            EXPECT_EQ(t.execute(c.sql), KW_STATUS_DRIVER_FAILURE);
            EXPECT_NE(t.message().find("question mark"), std::string::npos) << t.message();
            EXPECT_EQ(+t.block().sqlCode, -1);
            // The refused text is not sent again with the next statement.
            ASSERT_EQ(t.execute(good), 0) << t.message();
            EXPECT_EQ(kwhosttest::fetchAll(t).rows, Rows{{"2"}});
            EXPECT_EQ(env.gateway().requestsSince(mark), std::vector<std::string>{good});
        } else {
            ASSERT_EQ(t.execute(c.sql), 0) << t.message();
            EXPECT_EQ(kwhosttest::fetchAll(t).rows, Rows{{"1"}});
        }
    }
}

// The host's message loop during an asynchronous wait, on its first call: it cancels (when told
// to), then calls another request, which must return at once; it records what it saw.
struct WaitWatch {
    Transaction* transaction = nullptr;
    bool cancel = false;
    int calls = 0;
    int32_t pendingSeen = -1, pendingAfterCancel = -1, refusedStatus = -1;
    intptr_t refusedResult = -1;

    void install() {
        kwhost_setWaitHook(
            [](RequestBlock* block, void* context) {
                auto* watch = static_cast<WaitWatch*>(context);
                if (block != &watch->transaction->block() || watch->calls++ > 0) {
                    return;
                }
                watch->pendingSeen = block->pendingState;
                const int32_t code = block->requestCode;
                if (watch->cancel) {
                    watch->transaction->call(REQ_CANCEL);
                    watch->pendingAfterCancel = block->pendingState;
                }
                watch->refusedStatus = watch->transaction->call(REQ_MAX_NAME_LENGTH);
                watch->refusedResult = block->result;
                block->requestCode = code;
            },
            this);
    }
    // Runs `sql` sent asynchronously under this watch.
    int32_t execute(const std::string& sql) {
        calls = 0;
        install();
        transaction->block().asyncSend = 1;
        const int32_t status = transaction->execute(sql);
        transaction->block().asyncSend = 0;
        kwhost_setWaitHook(nullptr, nullptr);
        return status;
    }
};

// Statements of this test database still active in PostgreSQL whose text contains `tag` (other test
// programs share the cluster, each in a database of its own).
std::string activeStatements(const std::string& tag) {
    return Environment::get().queryValue("SELECT count(*) FROM pg_stat_activity WHERE query ILIKE '%" + tag +
                                         "%' AND state = 'active' AND pid <> pg_backend_pid() AND datname = "
                                         "current_database()");
}

TEST_F(ExecLiveTest, CancelWhileWaitingAsynchronouslyStopsTheStatementOnTheServer) {
    WaitWatch watch{&t, true};
    const auto start = std::chrono::steady_clock::now();
    watch.execute("SELECT PG_SLEEP(60)");
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_GE(watch.calls, 1);
    EXPECT_EQ(watch.pendingSeen, KW_PENDING_RESPONSE);
    EXPECT_EQ(watch.pendingAfterCancel, KW_PENDING_CANCELLED);
    // Every further call while the driver still waits returns at once, doing nothing.
    EXPECT_EQ(watch.refusedStatus, 0);
    EXPECT_EQ(watch.refusedResult, 0);
    EXPECT_EQ(+t.block().pendingState, KW_PENDING_NONE);
    EXPECT_LT(elapsed, std::chrono::seconds(20)) << "the statement was cancelled, not waited out";
    EXPECT_EQ(activeStatements("pg_sleep(60)"), "0");
    EXPECT_EQ(t.execute("SELECT C_INT FROM ALLTYPES WHERE C_INT = 1"), 0) << t.message();
    EXPECT_EQ(kwhosttest::fetchAll(t).rows.size(), 1u) << "the connection is usable again";
}

TEST_F(ExecLiveTest, ACallRefusedDuringTheWaitLeavesTheWaitingStatementItsOwnAnswer) {
    const struct {
        const char* sql;
        int32_t status;
    } cases[] = {
        {"SELECT PG_SLEEP(1.5) AS S FROM ALLTYPES WHERE C_INT = 1", 0},
        {"SELECT SLOW_FAIL(1.5) AS S FROM ALLTYPES WHERE C_INT = 1", -802},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sql);
        WaitWatch watch{&t};
        const int32_t status = watch.execute(c.sql);
        ASSERT_GE(watch.calls, 1) << "the statement waited long enough for the hook to run";
        EXPECT_EQ(watch.pendingSeen, KW_PENDING_RESPONSE);
        EXPECT_EQ(watch.refusedStatus, KW_STATUS_DRIVER_FAILURE);
        EXPECT_EQ(status, c.status) << t.message();
        if (c.status == 0) {
            EXPECT_EQ(t.message(), "");
            EXPECT_EQ(kwhosttest::fetchAll(t).rows.size(), 1u);
        } else {
            EXPECT_NE(t.message().find(kOverflowCode), std::string::npos) << t.message();
        }
    }
}

TEST_F(ExecLiveTest, AStatementPastTheConfiguredTimeoutIsCancelledAndTheConnectionAndItsTransactionGoOn) {
    // The same gateway, reached through a freetds.conf section with a two-second timeout.
    env.addServer("KWGW_TIMEOUT", env.gateway().port(), {"timeout = 2"});
    for (int32_t asyncSend : {0, 1}) {
        SCOPED_TRACE(asyncSend != 0 ? "sent and awaited" : "sent and run at once");
        Transaction u;
        ASSERT_EQ(u.connect("KWGW_TIMEOUT"), 0) << u.message();
        u.block().asyncSend = asyncSend;
        ASSERT_EQ(u.call(REQ_BEGIN_LONG_TRANSACTION), 0) << u.message();
        const std::string kept = "n = " + std::to_string(50 + asyncSend);
        ASSERT_EQ(u.execute("INSERT INTO COUNTER VALUES (" + std::to_string(50 + asyncSend) + ")"), 0)
            << u.message();

        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(u.execute("SELECT PG_SLEEP(30) AS S FROM ALLTYPES WHERE C_INT = 1"), 20003);
        const auto elapsed = std::chrono::steady_clock::now() - start;
        EXPECT_NE(u.message().find("Timeout: the server did not answer the statement within 2 seconds"),
                  std::string::npos)
            << "the message names the timeout and its limit: " << u.message();
        EXPECT_EQ(+u.block().sqlCode, -1);
        EXPECT_LT(elapsed, std::chrono::seconds(15)) << "cancelled at the timeout, not waited out";
        EXPECT_EQ(activeStatements("pg_sleep(30)"), "0") << "the statement was stopped on the server";

        ASSERT_EQ(u.execute("SELECT C_INT FROM ALLTYPES WHERE C_INT = 2"), 0) << u.message();
        EXPECT_EQ(kwhosttest::fetchAll(u).rows, Rows{{"2"}});
        EXPECT_EQ(count(kept), "0") << "still inside the open transaction";
        EXPECT_EQ(u.call(REQ_COMMIT), 0) << u.message();
        EXPECT_EQ(count(kept), "1") << "the work before the timeout is committed";
        EXPECT_EQ(u.disconnect(), 0) << u.message();
    }
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
