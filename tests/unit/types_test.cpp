// types_test.cpp - DB2 column types and the PostgreSQL types that give them back in the catalog.
#include "types.h"

#include <gtest/gtest.h>

#include "failure.h"

namespace gw::dialect {
namespace {

TEST(Types, EachDb2TypeHasItsPostgresColumnType) {
    struct Case {
        const char* db2;
        const char* pg;
    } cases[] = {
        {"INTEGER", "integer"},
        {"int", "integer"},
        {"SMALLINT", "smallint"},
        {"FLOAT", "double precision"},
        {"FLOAT(21)", "real"},
        {"FLOAT(22)", "double precision"},
        {"DOUBLE PRECISION", "double precision"},
        {"REAL", "real"},
        {"DECIMAL", "numeric(5,0)"},
        {"DECIMAL(9,2)", "numeric(9,2)"},
        {"DEC(7)", "numeric(7,0)"},
        {"CHAR", "char(1)"},
        {"CHARACTER(30)", "char(30)"},
        {"VARCHAR(4046)", "varchar(4046)"},
        {"CHAR VARYING(10)", "varchar(10)"},
        {"LONG VARCHAR", "text"},
        {"DATE", "date"},
        {"TIME", "time(0)"},
        {"TIMESTAMP", "timestamp(6)"},
        {"CHAR(8) FOR BIT DATA", "char(8)"},
    };
    for (const Case& c : cases) {
        const std::vector<Token> tokens = lex(c.db2);
        Cursor cursor(tokens);
        EXPECT_EQ(parseColumnType(cursor).pg, c.pg) << c.db2;
        EXPECT_TRUE(cursor.atEnd()) << c.db2;
    }
}

TEST(Types, LengthsPrecisionsAndScalesOutsideDb2sLimitsAreMinus604) {
    for (const char* db2 :
         {"CHAR(255)", "CHAR(0)", "VARCHAR(32705)", "DECIMAL(16,2)", "DECIMAL(5,6)", "FLOAT(54)"}) {
        const std::vector<Token> tokens = lex(db2);
        Cursor cursor(tokens);
        try {
            parseColumnType(cursor);
            ADD_FAILURE() << db2;
        } catch (const Failure& f) {
            EXPECT_EQ(f.sqlcode, -604) << db2;
        }
    }
}

TEST(Types, VarcharWithoutALengthAndUnknownTypesAreMinus104) {
    for (const char* db2 : {"VARCHAR", "BOOLEAN", "CLOB(1M)"}) {
        const std::vector<Token> tokens = lex(db2);
        Cursor cursor(tokens);
        try {
            parseColumnType(cursor);
            ADD_FAILURE() << db2;
        } catch (const Failure& f) {
            EXPECT_EQ(f.sqlcode, -104) << db2;
        }
    }
}

TEST(Types, WithDefaultGivesZeroBlanksOrTheCurrentValue) {
    EXPECT_EQ(neutralDefault(TypeKind::Decimal), "0");
    EXPECT_EQ(neutralDefault(TypeKind::Char), "''");
    EXPECT_EQ(neutralDefault(TypeKind::Date), "CURRENT_DATE");
    EXPECT_EQ(neutralDefault(TypeKind::Time), "LOCALTIME(0)");
    EXPECT_EQ(neutralDefault(TypeKind::Timestamp), "LOCALTIMESTAMP");
}

}  // namespace
}  // namespace gw::dialect
