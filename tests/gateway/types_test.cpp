// Tests of the PostgreSQL-to-wire type mapping and of the DB2 text forms of values.
#include "backend/types.h"

#include <gtest/gtest.h>

namespace {

using gw::WireType;
using gw::backend::planColumn;

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
        {"a date passes", gw::backend::db2Date, "2001-03-05", "2001-03-05"},
        {"a BC date has no DB2 form", gw::backend::db2Date, "0044-03-15 BC", nullptr},
        {"a five-digit year has no DB2 form", gw::backend::db2Date, "10000-01-01", nullptr},
        {"infinity is no date", gw::backend::db2Date, "infinity", nullptr},
        {"a time uses periods", gw::backend::db2Time, "07:43:54", "07.43.54"},
        {"a time drops its fraction", gw::backend::db2Time, "07:43:54.5", "07.43.54"},
        {"24:00:00 is a DB2 time", gw::backend::db2Time, "24:00:00", "24.00.00"},
        {"a timestamp always has six fraction digits", gw::backend::db2Timestamp, "2001-03-05 07:43:54.00012",
         "2001-03-05-07.43.54.000120"},
        {"a timestamp without fraction gets zeros", gw::backend::db2Timestamp, "2001-03-05 07:43:54",
         "2001-03-05-07.43.54.000000"},
        {"a timestamp with six digits passes", gw::backend::db2Timestamp, "1999-12-31 23:59:59.999999",
         "1999-12-31-23.59.59.999999"},
        {"an infinite timestamp has no DB2 form", gw::backend::db2Timestamp, "infinity", nullptr},
        {"a BC timestamp has no DB2 form", gw::backend::db2Timestamp, "0044-03-15 10:00:00 BC", nullptr},
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
    struct Case {
        const char* text;
        const char* expected;  // nullptr: does not fit
    } cases[] = {
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
    for (const Case& c : cases) {
        std::string out;
        bool ok = gw::backend::roundDecimal(c.text, 31, 6, out);
        EXPECT_EQ(ok, c.expected != nullptr) << c.text;
        if (ok && c.expected) {
            EXPECT_EQ(out, c.expected) << c.text;
        }
    }
}

TEST(ConvertValue, RefusesABigintOutsideThirtyTwoBitsWithMinus802) {
    auto plan = planColumn(20, -1, "N");
    gw::Cell cell;
    std::string scratch;
    EXPECT_FALSE(gw::backend::convertValue(plan, "-2147483648", cell, scratch));
    EXPECT_EQ(cell.integer, -2147483648LL);
    auto bad = gw::backend::convertValue(plan, "2147483648", cell, scratch);
    ASSERT_TRUE(bad);
    EXPECT_EQ(bad->sqlcode, -802);
}

TEST(ConvertValue, RefusesADateWithoutDb2FormWithMinus181) {
    auto plan = planColumn(1082, -1, "D");
    gw::Cell cell;
    std::string scratch;
    auto bad = gw::backend::convertValue(plan, "infinity", cell, scratch);
    ASSERT_TRUE(bad);
    EXPECT_EQ(bad->sqlcode, -181);
}

}  // namespace
