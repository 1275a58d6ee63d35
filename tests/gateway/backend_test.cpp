// backend_test.cpp - what the gateway makes of PostgreSQL's answers: the wire type of each
// PostgreSQL type, the DB2 text forms of values, and the SQLCODEs and DB2 texts of its errors.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <tuple>

#include "backend/pg.h"
#include "backend/sqlstate.h"
#include "backend/types.h"

namespace {

using gw::WireType;
using namespace gw::backend;

// The types session_test's wire columns do not cover: the length limits between the wire types,
// numeric precisions and types DB2 does not have.
TEST(PlanColumn, GivesEachPostgresTypeItsDb2WireType) {
    // PostgreSQL's type modifier for a length n (char, varchar) and for numeric(p,s).
    auto lengthMod = [](int n) { return n + 4; };
    auto numericMod = [](int p, int s) { return ((p << 16) | s) + 4; };
    const std::tuple<const char*, uint32_t, int, WireType, uint32_t, int32_t> cases[] = {
        {"VARCHAR(255) is still VARCHAR", 1043, lengthMod(255), WireType::VarChar, 255, 0},
        {"VARCHAR(4046) as LONGCHAR", 1043, lengthMod(4046), WireType::LongChar, 4046, 0},
        {"CHAR(300) as LONGCHAR", 1042, lengthMod(300), WireType::LongChar, 300, 0},
        {"varchar without length as TEXT", 1043, -1, WireType::Text, 32700, 0},
        {"DECIMAL(31,0)", 1700, numericMod(31, 0), WireType::Char, 33, 3 | (31 << 16)},
        {"timestamptz as its text in VARCHAR(254)", 1184, -1, WireType::VarChar, 254, 0},
    };
    for (auto [claim, oid, typmod, type, length, userType] : cases) {
        auto plan = planColumn(oid, typmod, "C");
        EXPECT_EQ(plan.format.type, type) << claim;
        EXPECT_EQ(plan.format.length, length) << claim;
        EXPECT_EQ(plan.format.userType, userType) << claim;
        EXPECT_EQ(plan.format.label, "C") << claim;
    }
}

// Character lengths count bytes of the client's set: n characters of at most k bytes each need
// n * k, and past 255 bytes the long form; types whose text is ASCII keep their lengths.
TEST(PlanColumn, AnnouncesCharacterLengthsInBytesOfTheClientSet) {
    auto lengthMod = [](int n) { return n + 4; };
    const std::tuple<const char*, uint32_t, int, uint32_t, WireType, uint32_t> cases[] = {
        {"CHAR(5), single-byte", 1042, lengthMod(5), 1, WireType::Char, 5},
        {"CHAR(5), UTF-8", 1042, lengthMod(5), 4, WireType::Char, 20},
        {"VARCHAR(63), UTF-8: the short form's last fit", 1043, lengthMod(63), 4, WireType::VarChar, 252},
        {"VARCHAR(64), UTF-8: the long form", 1043, lengthMod(64), 4, WireType::LongChar, 256},
        {"CHAR(254), two bytes a character", 1042, lengthMod(254), 2, WireType::LongChar, 508},
        {"LONG VARCHAR, UTF-8", 25, -1, 4, WireType::Text, 32700 * 4},
        {"DATE stays CHAR(10)", 1082, -1, 4, WireType::Char, 10},
        {"INTEGER stays INTN 4", 23, -1, 4, WireType::Int, 4},
    };
    for (auto [claim, oid, typmod, perChar, type, length] : cases) {
        auto plan = planColumn(oid, typmod, "C", perChar);
        EXPECT_EQ(plan.format.type, type) << claim;
        EXPECT_EQ(plan.format.length, length) << claim;
    }
}

// DECIMAL values without precision travel as DECIMAL(31,6).
bool db2Decimal(std::string_view text, std::string& out) {
    return roundDecimal(text, 31, 6, out);
}

TEST(Db2Forms, RewritePostgresOutputAsDb2TextAndRoundDecimalsHalfAwayFromZero) {
    const std::tuple<bool (*)(std::string_view, std::string&), const char*, const char*> cases[] = {
        // nullptr: no DB2 form
        {db2Date, "0044-03-15 BC", nullptr},
        {db2Date, "10000-01-01", nullptr},
        {db2Date, "infinity", nullptr},
        {db2Time, "07:43:54.5", "07.43.54"},  // the fraction goes
        {db2Time, "24:00:00", "24.00.00"},
        {db2Timestamp, "2001-03-05 07:43:54", "2001-03-05-07.43.54.000000"},
        {db2Timestamp, "1999-12-31 23:59:59.999999", "1999-12-31-23.59.59.999999"},
        {db2Timestamp, "infinity", nullptr},
        {db2Timestamp, "0044-03-15 10:00:00 BC", nullptr},
        {db2Decimal, "2.5000000000000000", "2.500000"},
        {db2Decimal, "123.45", "123.450000"},
        {db2Decimal, "7", "7.000000"},
        {db2Decimal, "-0.0000004", "0.000000"},
        {db2Decimal, "-0.0000005", "-0.000001"},
        {db2Decimal, "9.9999995", "10.000000"},
        {db2Decimal, "0.1234565", "0.123457"},
        {db2Decimal, "1234567890123456789012345", "1234567890123456789012345.000000"},
        {db2Decimal, "12345678901234567890123456", nullptr},
        {db2Decimal, "NaN", nullptr},
        {db2Decimal, "Infinity", nullptr},
    };
    for (auto [convert, text, db2] : cases) {
        std::string out;
        const bool ok = convert(text, out);
        EXPECT_EQ(ok, db2 != nullptr) << text;
        if (ok && db2) {
            EXPECT_EQ(out, db2) << text;
        }
    }
}

TEST(ConvertValue, RefusesValuesWithoutADb2FormWithTheirSqlcodes) {
    gw::Cell cell;
    std::string scratch;
    auto bigint = planColumn(20, -1, "N");
    EXPECT_FALSE(convertValue(bigint, "-2147483648", cell, scratch));
    EXPECT_EQ(cell.integer, -2147483648LL);
    auto bad = convertValue(bigint, "2147483648", cell, scratch);
    ASSERT_TRUE(bad);
    EXPECT_EQ(bad->sqlcode, -802) << "a bigint outside 32 bits";
    bad = convertValue(planColumn(1082, -1, "D"), "infinity", cell, scratch);
    ASSERT_TRUE(bad);
    EXPECT_EQ(bad->sqlcode, -181) << "a date without DB2 form";
}

// PostgreSQL's binary forms, built by hand: big-endian integers, numeric as base-10000 digits.
std::string be(uint64_t v, int bytes) {
    std::string out;
    for (int i = bytes - 1; i >= 0; --i) {
        out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
    }
    return out;
}
std::string numeric(int weight, uint16_t sign, int dscale, std::initializer_list<int> digits) {
    std::string out =
        be(digits.size(), 2) + be(static_cast<uint16_t>(weight), 2) + be(sign, 2) + be(dscale, 2);
    for (int d : digits) {
        out += be(static_cast<uint64_t>(d), 2);
    }
    return out;
}
constexpr int64_t kDay = 86400000000;  // microseconds
constexpr uint16_t kNegative = 0x4000;

// What a DB2 program must read for each binary value, or the failure it must get; the texts in the
// messages are PostgreSQL's own output for those values.
TEST(ConvertBinary, GivesTheDb2FormsAndTheFailuresOfTheTextReads) {
    const uint32_t kDate = 1082, kTime = 1083, kTimestamp = 1114, kNumeric = 1700;
    auto numericMod = [](int p, int s) { return ((p << 16) | s) + 4; };
    const std::tuple<const char*, uint32_t, int, std::string, const char*, int> cases[] = {
        // claim, type, typmod, bytes, DB2 text or message, SQLCODE (0: no failure)
        {"day 0", kDate, -1, be(0, 4), "2000-01-01", 0},
        {"the day before", kDate, -1, be(static_cast<uint32_t>(-1), 4), "1999-12-31", 0},
        {"a leap day", kDate, -1, be(59, 4), "2000-02-29", 0},
        {"year 1", kDate, -1, be(static_cast<uint32_t>(-730119), 4), "0001-01-01", 0},
        {"year 9999", kDate, -1, be(2921939, 4), "9999-12-31", 0},
        {"1 BC", kDate, -1, be(static_cast<uint32_t>(-729755 - 365), 4),
         "THE STRING REPRESENTATION OF A DATETIME VALUE IS NOT A VALID VALUE: 0001-12-31 BC", -181},
        {"year 10000", kDate, -1, be(2921940, 4),
         "THE STRING REPRESENTATION OF A DATETIME VALUE IS NOT A VALID VALUE: 10000-01-01", -181},
        {"infinity", kDate, -1, be(0x7FFFFFFF, 4),
         "THE STRING REPRESENTATION OF A DATETIME VALUE IS NOT A VALID VALUE: infinity", -181},
        {"-infinity", kDate, -1, be(0x80000000, 4),
         "THE STRING REPRESENTATION OF A DATETIME VALUE IS NOT A VALID VALUE: -infinity", -181},
        {"midnight", kTime, -1, be(0, 8), "00.00.00", 0},
        {"the last microsecond", kTime, -1, be(static_cast<uint64_t>(kDay - 1), 8), "23.59.59", 0},
        {"24:00", kTime, -1, be(static_cast<uint64_t>(kDay), 8), "24.00.00", 0},
        {"timestamp 0", kTimestamp, -1, be(0, 8), "2000-01-01-00.00.00.000000", 0},
        {"a microsecond before 2000", kTimestamp, -1, be(static_cast<uint64_t>(-1), 8),
         "1999-12-31-23.59.59.999999", 0},
        {"a leap day's noon and a microsecond", kTimestamp, -1, be(59 * kDay + kDay / 2 + 1, 8),
         "2000-02-29-12.00.00.000001", 0},
        {"the first instant of year 1", kTimestamp, -1, be(static_cast<uint64_t>(-730119 * kDay), 8),
         "0001-01-01-00.00.00.000000", 0},
        {"BC, with its fraction as PostgreSQL shows it", kTimestamp, -1,
         be(static_cast<uint64_t>(-730120 * kDay + 36000500000), 8),
         "THE STRING REPRESENTATION OF A DATETIME VALUE IS NOT A VALID VALUE: 0001-12-31 10:00:00.5 BC",
         -181},
        {"timestamp infinity", kTimestamp, -1, be(0x7FFFFFFFFFFFFFFF, 8),
         "THE STRING REPRESENTATION OF A DATETIME VALUE IS NOT A VALID VALUE: infinity", -181},
        {"DECIMAL(9,2) negative", kNumeric, numericMod(9, 2), numeric(1, kNegative, 2, {123, 4567, 8900}),
         "-1234567.89", 0},
        {"DECIMAL(9,2) zero", kNumeric, numericMod(9, 2), numeric(0, 0, 2, {}), "0.00", 0},
        {"DECIMAL(4,4)", kNumeric, numericMod(4, 4), numeric(-1, 0, 4, {1}), "0.0001", 0},
        {"DECIMAL(5,0) negative", kNumeric, numericMod(5, 0), numeric(1, kNegative, 0, {9, 9999}), "-99999",
         0},
        {"DECIMAL(31,0) of 31 digits", kNumeric, numericMod(31, 0),
         numeric(7, 0, 0, {123, 4567, 8901, 2345, 6789, 123, 4567, 8901}), "1234567890123456789012345678901",
         0},
        {"DECIMAL(9,2) NaN passes as PostgreSQL shows it", kNumeric, numericMod(9, 2),
         numeric(0, 0xC000, 0, {}), "NaN", 0},
        {"free DECIMAL rounded to six places", kNumeric, -1, numeric(0, 0, 8, {1, 2345, 6789}), "1.234568",
         0},
        {"free DECIMAL, half away from zero", kNumeric, -1, numeric(-2, kNegative, 7, {50}), "-0.000001", 0},
        {"free DECIMAL of 29 digits", kNumeric, -1, numeric(7, 0, 0, {1, 0, 0, 0, 0, 0, 0, 0}),
         "EXCEPTION ERROR FIXED POINT OVERFLOW HAS OCCURRED DURING CONVERSION OF DECIMAL VALUE "
         "10000000000000000000000000000",
         -802},
        {"free DECIMAL -Infinity", kNumeric, -1, numeric(0, 0xF000, 0, {}),
         "EXCEPTION ERROR FIXED POINT OVERFLOW HAS OCCURRED DURING CONVERSION OF DECIMAL VALUE -Infinity",
         -802},
        {"a numeric whose digits do not match its count", kNumeric, -1, numeric(0, 0, 0, {1}).substr(0, 9),
         "UNSUCCESSFUL EXECUTION CAUSED BY A SYSTEM ERROR: THE DATABASE SERVER SENT A MALFORMED DECIMAL "
         "VALUE",
         -901},
        {"a date of three bytes", kDate, -1, be(0, 3),
         "UNSUCCESSFUL EXECUTION CAUSED BY A SYSTEM ERROR: THE DATABASE SERVER SENT A MALFORMED DATE VALUE",
         -901},
        {"a bigint past 32 bits", 20, -1, be(2147483648, 8),
         "EXCEPTION ERROR FIXED POINT OVERFLOW HAS OCCURRED DURING CONVERSION OF INTEGER VALUE 2147483648",
         -802},
        {"an integer of two bytes", 23, -1, be(1, 2),
         "UNSUCCESSFUL EXECUTION CAUSED BY A SYSTEM ERROR: THE DATABASE SERVER SENT A MALFORMED INTEGER "
         "VALUE",
         -901},
        {"characters as they come", 1043, 44, std::string("caf\xE9 "), "caf\xE9 ", 0},
    };
    for (const auto& [claim, type, typmod, bytes, expected, sqlcode] : cases) {
        const ColumnPlan plan = planColumn(type, typmod, "C");
        gw::Cell cell;
        std::string scratch;
        auto bad = convertBinary(plan, bytes, cell, scratch);
        if (sqlcode == 0) {
            ASSERT_FALSE(bad) << claim << ": " << bad->message;
            EXPECT_EQ(cell.text, expected) << claim;
        } else {
            ASSERT_TRUE(bad) << claim;
            EXPECT_EQ(bad->sqlcode, sqlcode) << claim;
            EXPECT_EQ(bad->message, expected) << claim;
        }
    }
}

// Every date DB2 can hold, against PostgreSQL's own calendar (isoDate is its date_out).
TEST(ConvertBinary, GivesEveryDateFromYear1To9999AsPostgresShowsIt) {
    const ColumnPlan plan = planColumn(1082, -1, "D");
    gw::Cell cell;
    std::string scratch;
    int checked = 0;
    for (int32_t day = -730119; day <= 2921939; ++day) {
        auto bad = convertBinary(plan, be(static_cast<uint32_t>(day), 4), cell, scratch);
        const std::string iso = isoDate(day);
        if (bad || cell.text != iso) {
            ADD_FAILURE() << "day " << day << ": " << (bad ? bad->message : std::string(cell.text)) << " for "
                          << iso;
            break;
        }
        ++checked;
    }
    EXPECT_EQ(checked, 3652059) << "every day of 9999 years";
    EXPECT_TRUE(convertBinary(plan, be(static_cast<uint32_t>(-730120), 4), cell, scratch));
    EXPECT_TRUE(convertBinary(plan, be(2921940, 4), cell, scratch));
}

TEST(ConvertBinary, GivesNumbersTheValuesTheirTextGives) {
    gw::Cell cell;
    std::string scratch;
    ASSERT_FALSE(convertBinary(planColumn(21, -1, "S"), be(0x8000, 2), cell, scratch));
    EXPECT_EQ(cell.integer, -32768);
    ASSERT_FALSE(
        convertBinary(planColumn(20, -1, "B"), be(static_cast<uint64_t>(-2147483648LL), 8), cell, scratch));
    EXPECT_EQ(cell.integer, -2147483648LL);
    // float4 0.1 prints as "0.1", which reads as the double 0.1, not as the float's exact value.
    float tenth = 0.1f;
    uint32_t bits4;
    std::memcpy(&bits4, &tenth, sizeof bits4);
    ASSERT_FALSE(convertBinary(planColumn(700, -1, "R"), be(bits4, 4), cell, scratch));
    EXPECT_EQ(cell.real, 0.1);
    // A NaN with its sign bit set reads as the NaN that "NaN" reads as.
    ASSERT_FALSE(convertBinary(planColumn(701, -1, "F"), be(0xFFF8000000000000, 8), cell, scratch));
    const double nan = std::strtod("NaN", nullptr);
    EXPECT_EQ(std::memcmp(&cell.real, &nan, sizeof nan), 0);
    ASSERT_FALSE(convertBinary(planColumn(701, -1, "F"), be(0x3FF8000000000000, 8), cell, scratch));
    EXPECT_EQ(cell.real, 1.5);
    EXPECT_FALSE(readsBinary(planColumn(16, -1, "BOOL"))) << "a boolean is read as text";
    EXPECT_TRUE(readsBinary(planColumn(1114, -1, "TS")));
}

TEST(ReadCache, KeepsTheMostRecentlyUsedStatementsWithinItsCapacity) {
    ReadCache cache(2, 0);
    EXPECT_EQ(cache.minRows(), 1) << "a statement of no rows is never worth a describe";
    const std::string a = ReadCache::keyFor("joe", "select a"), b = ReadCache::keyFor("joe", "select b"),
                      c = ReadCache::keyFor("joe", "select c");
    EXPECT_NE(ReadCache::keyFor("ann", "select a"), a) << "another role, another statement";
    cache.remember(a);
    cache.remember(b);
    EXPECT_TRUE(cache.manyRows(a));  // now the most recent
    cache.remember(c);
    EXPECT_EQ(cache.size(), 2u);
    EXPECT_TRUE(cache.manyRows(a));
    EXPECT_FALSE(cache.manyRows(b)) << "the least recently used went";
    EXPECT_TRUE(cache.manyRows(c));
    cache.forget(a);
    EXPECT_FALSE(cache.manyRows(a));
    ReadCache none(0);
    none.remember(a);
    EXPECT_FALSE(none.manyRows(a)) << "a cache of no capacity keeps nothing";
}

TEST(SqlcodeFor, MapsConditionsToTheSqlcodesDb2ProgramsExpect) {
    const std::tuple<const char*, const char*, int> cases[] = {
        {"42P01", "SELECT", -204}, {"42704", "DROP", -204},   {"42703", "SELECT", -206},
        {"42703", "CREATE", -205}, {"42601", "SELECT", -104}, {"42501", "INSERT", -551},
        {"23505", "INSERT", -803}, {"23505", "CREATE", -603}, {"23502", "INSERT", -407},
        {"23503", "INSERT", -530}, {"23503", "DELETE", -532}, {"23503", "UPDATE", -531},
        {"42P07", "CREATE", -601}, {"40P01", "UPDATE", -911}, {"55P03", "UPDATE", -911},
        {"22012", "SELECT", -802}, {"22003", "INSERT", -413}, {"22003", "SELECT", -802},
        {"22007", "INSERT", -180}, {"22008", "INSERT", -181}, {"22001", "INSERT", -404},
        {"XX000", "SELECT", -901}, {"53100", "SELECT", -904}, {"99999", "SELECT", -901},
        {"42883", "SELECT", -401}, {"42883", "CALL", -440},  // a procedure's routine is missing
    };
    for (auto [sqlstate, verb, sqlcode] : cases) {
        EXPECT_EQ(sqlcodeFor(sqlstate, verb), sqlcode) << sqlstate << " " << verb;
    }
}

// A PostgreSQL error with the fields the mapping reads.
PgErrorFields pgError(const char* sqlstate, const char* message, const char* table = "",
                      const char* constraint = "") {
    return PgErrorFields{sqlstate, message, {}, {}, table, {}, constraint};
}

TEST(MapError, NamesUndefinedTablesByQualifiedDb2NamesAndTellsTheSidesOfAForeignKeyApart) {
    const std::pair<const char*, const char*> undefined[] = {
        {"relation \"empx\" does not exist", "JOE.EMPX IS AN UNDEFINED NAME"},
        {"relation \"smith.empx\" does not exist", "SMITH.EMPX IS AN UNDEFINED NAME"},
        {"relation \"Emp\" does not exist", "JOE.eMP IS AN UNDEFINED NAME"},
    };
    for (auto [message, text] : undefined) {
        auto e = mapError(pgError("42P01", message), {"JOE", "SELECT"});
        EXPECT_EQ(e.code, -204);
        EXPECT_FALSE(e.gateway);
        EXPECT_EQ(e.text, text);
    }
    auto child = pgError("23503", "insert or update on table \"emp\" violates foreign key constraint \"f1\"",
                         "emp", "f1");
    auto parent = pgError(
        "23503", "update or delete on table \"dept\" violates foreign key constraint \"f1\" on table \"emp\"",
        "dept", "f1");
    EXPECT_EQ(mapError(child, {"JOE", "UPDATE"}).code, -530);
    EXPECT_EQ(mapError(parent, {"JOE", "UPDATE"}).code, -531);
    EXPECT_EQ(mapError(parent, {"JOE", "DELETE"}).code, -532);
    EXPECT_EQ(mapError(child, {"JOE", "INSERT"}).text,
              "THE INSERT OR UPDATE VALUE OF FOREIGN KEY F1 IS INVALID");
    auto lost = mapError(pgError("08006", "server closed the connection"), {"JOE", "SELECT"});
    EXPECT_TRUE(lost.gateway) << "a lost connection is the gateway's failure";
    EXPECT_EQ(lost.code, kErrConnectionLost);
}

TEST(MapError, NamesTheIllegalSymbolWholeAndUntranslatableTextIs330) {
    const std::pair<const char*, const char*> syntax[] = {
        {"syntax error at or near \"FROMM\"", "ILLEGAL SYMBOL \"FROMM\""},
        {"syntax error at or near \"\"My Table\"\"", "ILLEGAL SYMBOL \"\"My Table\"\""},
        {"syntax error at end of input", "ILLEGAL SYMBOL \"END-OF-STATEMENT\""},
    };
    for (auto [message, text] : syntax) {
        auto e = mapError(pgError("42601", message), {"JOE", "SELECT"});
        EXPECT_EQ(e.code, -104);
        EXPECT_EQ(e.text, text) << message;
    }
    for (const char* sqlstate : {"22P05", "22021"}) {
        EXPECT_EQ(mapError(pgError(sqlstate,
                                   "character with byte sequence 0xe4 0xb8 0xad in encoding \"UTF8\" "
                                   "has no equivalent in encoding \"LATIN1\""),
                           {"JOE", "SELECT"})
                      .code,
                  -330)
            << sqlstate;
    }
}

TEST(MapError, OnlyDeadlocksLockTimeoutsAndSerializationRollTheUnitOfWorkBack) {
    for (const char* s : {"40P01", "55P03", "40001", "25P02"}) {
        EXPECT_TRUE(rollsBackUnitOfWork(s)) << s;
    }
    for (const char* s : {"23505", "42P01", "57014"}) {
        EXPECT_FALSE(rollsBackUnitOfWork(s)) << s;
    }
    EXPECT_EQ(statementVerb("  insert into t values (1)"), "INSERT");
    EXPECT_EQ(statementVerb("(select 1)"), "SELECT");
    EXPECT_EQ(statementVerb(""), "");
}

// The texts are libpq's, with the SQLSTATE that verbose errors carry; the failure decides the
// message a refused client gets.
TEST(ClassifyConnectFailure, TellsCredentialsFromAFullOrAnAbsentServer) {
    const std::tuple<const char*, const char*, ConnectFailure> cases[] = {
        {"a wrong password",
         "connection to server at \"localhost\" (127.0.0.1), port 5432 failed: FATAL:  28P01: password "
         "authentication failed for user \"joe\"\nLOCATION:  auth_failed, auth.c:326\n",
         ConnectFailure::Credentials},
        {"a role that does not exist", "FATAL:  28000: role \"nobody\" does not exist",
         ConnectFailure::Credentials},
        {"no right to connect to the database", "FATAL:  42501: permission denied for database \"kw\"",
         ConnectFailure::Credentials},
        {"no free connection slot", "FATAL:  53300: sorry, too many clients already",
         ConnectFailure::TooManySessions},
        {"slots kept for superusers",
         "FATAL:  53300: remaining connection slots are reserved for non-replication superuser connections",
         ConnectFailure::TooManySessions},
        {"a server that is starting", "FATAL:  57P03: the database system is starting up",
         ConnectFailure::Unavailable},
        {"a database that does not exist", "FATAL:  3D000: database \"gone\" does not exist",
         ConnectFailure::Unavailable},
        {"nothing listening (no SQLSTATE)",
         "connection to server at \"127.0.0.1\", port 1 failed: Connection refused\n\tIs the server running "
         "on "
         "that host and accepting TCP/IP connections?",
         ConnectFailure::Unavailable},
        {"a refused address before one that refuses the password",
         "connection to server at \"localhost\" (::1), port 5432 failed: Connection refused\nconnection to "
         "server at \"localhost\" (127.0.0.1), port 5432 failed: FATAL:  28P01: password authentication "
         "failed",
         ConnectFailure::Credentials},
        {"FATAL without a code (not verbose) is no credential verdict",
         "FATAL:  password authentication failed for user \"joe\"", ConnectFailure::Unavailable},
        {"a cut text", "FATAL:  28P", ConnectFailure::Unavailable},
    };
    for (auto [claim, text, expected] : cases) {
        EXPECT_EQ(classifyConnectFailure(text), expected) << claim;
    }
}

}  // namespace
