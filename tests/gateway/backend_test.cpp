// backend_test.cpp - what the gateway makes of PostgreSQL's answers: the wire type of each
// PostgreSQL type, the DB2 text forms of values, and the SQLCODEs and DB2 texts of its errors.
#include <gtest/gtest.h>

#include "backend/sqlstate.h"
#include "backend/types.h"

namespace {

using gw::WireType;
using namespace gw::backend;

// PostgreSQL's type modifier for a length n (char, varchar) and for numeric(p,s).
int lengthMod(int n) {
    return n + 4;
}
int numericMod(int p, int s) {
    return ((p << 16) | s) + 4;
}

TEST(PlanColumn, GivesEachPostgresTypeItsDb2WireType) {
    struct Case {
        const char* claim;
        uint32_t oid;
        int typmod;
        WireType type;
        uint32_t length;
        int32_t userType;
    } cases[] = {
        {"INTEGER as INTN 4", 23, -1, WireType::Int, 4, 0},
        {"SMALLINT as INTN 2", 21, -1, WireType::Int, 2, 0},
        {"bigint as INTN 4 (DB2 has no 64-bit integer)", 20, -1, WireType::Int, 4, 0},
        {"DOUBLE as FLTN 8", 701, -1, WireType::Float, 8, 0},
        {"REAL widened to FLTN 8", 700, -1, WireType::Float, 8, 0},
        {"CHAR(10)", 1042, lengthMod(10), WireType::Char, 10, 0},
        {"VARCHAR(40)", 1043, lengthMod(40), WireType::VarChar, 40, 0},
        {"VARCHAR(255) is still VARCHAR", 1043, lengthMod(255), WireType::VarChar, 255, 0},
        {"VARCHAR(4046) as LONGCHAR", 1043, lengthMod(4046), WireType::LongChar, 4046, 0},
        {"CHAR(300) as LONGCHAR", 1042, lengthMod(300), WireType::LongChar, 300, 0},
        {"LONG VARCHAR (text) as TEXT", 25, -1, WireType::Text, 32700, 0},
        {"varchar without length as TEXT", 1043, -1, WireType::Text, 32700, 0},
        {"DECIMAL(9,2) as CHAR(11) with p and s in the user type", 1700, numericMod(9, 2), WireType::Char, 11,
         3 | (9 << 16) | (2 << 24)},
        {"DECIMAL(31,0)", 1700, numericMod(31, 0), WireType::Char, 33, 3 | (31 << 16)},
        {"numeric without precision as DECIMAL(31,6)", 1700, -1, WireType::Char, 33,
         3 | (31 << 16) | (6 << 24)},
        {"DATE as CHAR(10), user type 9", 1082, -1, WireType::Char, 10, 9},
        {"TIME as CHAR(8), user type 10", 1083, -1, WireType::Char, 8, 10},
        {"TIMESTAMP as CHAR(26), user type 11", 1114, -1, WireType::Char, 26, 11},
        {"boolean as its text in VARCHAR(254)", 16, -1, WireType::VarChar, 254, 0},
        {"timestamptz as its text in VARCHAR(254)", 1184, -1, WireType::VarChar, 254, 0},
    };
    for (const Case& c : cases) {
        auto plan = planColumn(c.oid, c.typmod, "C");
        EXPECT_EQ(plan.format.type, c.type) << c.claim;
        EXPECT_EQ(plan.format.length, c.length) << c.claim;
        EXPECT_EQ(plan.format.userType, c.userType) << c.claim;
        EXPECT_EQ(plan.format.label, "C") << c.claim;
    }
}

TEST(Db2Forms, RewritePostgresIsoOutputAsDb2Text) {
    struct Case {
        const char* claim;
        bool (*convert)(std::string_view, std::string&);
        const char* iso;
        const char* db2;  // nullptr: no DB2 form
    } cases[] = {
        {"a date passes", db2Date, "2001-03-05", "2001-03-05"},
        {"a BC date has no DB2 form", db2Date, "0044-03-15 BC", nullptr},
        {"a five-digit year has no DB2 form", db2Date, "10000-01-01", nullptr},
        {"infinity is no date", db2Date, "infinity", nullptr},
        {"a time uses periods", db2Time, "07:43:54", "07.43.54"},
        {"a time drops its fraction", db2Time, "07:43:54.5", "07.43.54"},
        {"24:00:00 is a DB2 time", db2Time, "24:00:00", "24.00.00"},
        {"a timestamp always has six fraction digits", db2Timestamp, "2001-03-05 07:43:54.00012",
         "2001-03-05-07.43.54.000120"},
        {"a timestamp without fraction gets zeros", db2Timestamp, "2001-03-05 07:43:54",
         "2001-03-05-07.43.54.000000"},
        {"a timestamp with six digits passes", db2Timestamp, "1999-12-31 23:59:59.999999",
         "1999-12-31-23.59.59.999999"},
        {"an infinite timestamp has no DB2 form", db2Timestamp, "infinity", nullptr},
        {"a BC timestamp has no DB2 form", db2Timestamp, "0044-03-15 10:00:00 BC", nullptr},
    };
    for (const Case& c : cases) {
        std::string out;
        bool ok = c.convert(c.iso, out);
        EXPECT_EQ(ok, c.db2 != nullptr) << c.claim;
        if (ok && c.db2) {
            EXPECT_EQ(out, c.db2) << c.claim;
        }
    }
}

TEST(RoundDecimal, RoundsHalfAwayFromZeroToTheScale) {
    const std::pair<const char*, const char*> cases[] = {
        // nullptr: does not fit
        {"2.5000000000000000", "2.500000"},
        {"123.45", "123.450000"},
        {"7", "7.000000"},
        {"-0.0000004", "0.000000"},
        {"-0.0000005", "-0.000001"},
        {"9.9999995", "10.000000"},
        {"0.1234565", "0.123457"},
        {"1234567890123456789012345", "1234567890123456789012345.000000"},
        {"12345678901234567890123456", nullptr},
        {"NaN", nullptr},
        {"Infinity", nullptr},
    };
    for (auto [text, expected] : cases) {
        std::string out;
        bool ok = roundDecimal(text, 31, 6, out);
        EXPECT_EQ(ok, expected != nullptr) << text;
        if (ok && expected) {
            EXPECT_EQ(out, expected) << text;
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

TEST(SqlcodeFor, MapsConditionsToTheSqlcodesDb2ProgramsExpect) {
    struct Case {
        const char* sqlstate;
        const char* verb;
        int sqlcode;
    } cases[] = {
        {"42P01", "SELECT", -204}, {"42704", "DROP", -204},   {"42703", "SELECT", -206},
        {"42703", "CREATE", -205}, {"42601", "SELECT", -104}, {"42501", "INSERT", -551},
        {"23505", "INSERT", -803}, {"23505", "CREATE", -603}, {"23502", "INSERT", -407},
        {"23503", "INSERT", -530}, {"23503", "DELETE", -532}, {"23503", "UPDATE", -531},
        {"42P07", "CREATE", -601}, {"40P01", "UPDATE", -911}, {"55P03", "UPDATE", -911},
        {"22012", "SELECT", -802}, {"22003", "INSERT", -413}, {"22003", "SELECT", -802},
        {"22007", "INSERT", -180}, {"22008", "INSERT", -181}, {"22001", "INSERT", -404},
        {"XX000", "SELECT", -901}, {"53100", "SELECT", -904}, {"99999", "SELECT", -901},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(sqlcodeFor(c.sqlstate, c.verb), c.sqlcode) << c.sqlstate << " " << c.verb;
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

}  // namespace
