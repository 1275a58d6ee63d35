// types.cpp - the DB2 type table of the DDL translator.
//
// kTypeNames maps the words of a DB2 type to its kind; the kind decides the PostgreSQL type and
// the limits of its length attribute. FLOAT(n) with n up to 21 is single precision, as in DB2.
#include "types.h"

#include <array>
#include <string_view>

#include "failure.h"

namespace gw::dialect {
namespace {

struct TypeName {
    std::string_view first;
    std::string_view second;  // a second word, or empty
    TypeKind kind;
};

// Two-word names come before their one-word prefixes.
const std::array<TypeName, 22> kTypeNames = {{
    {"LONG", "VARCHAR", TypeKind::LongVarchar},
    {"LONG", "VARGRAPHIC", TypeKind::LongVarchar},
    {"CHARACTER", "VARYING", TypeKind::Varchar},
    {"CHAR", "VARYING", TypeKind::Varchar},
    {"DOUBLE", "PRECISION", TypeKind::Float},
    {"INTEGER", "", TypeKind::Integer},
    {"INT", "", TypeKind::Integer},
    {"SMALLINT", "", TypeKind::Smallint},
    {"FLOAT", "", TypeKind::Float},
    {"DOUBLE", "", TypeKind::Float},
    {"REAL", "", TypeKind::Real},
    {"DECIMAL", "", TypeKind::Decimal},
    {"DEC", "", TypeKind::Decimal},
    {"NUMERIC", "", TypeKind::Decimal},
    {"CHARACTER", "", TypeKind::Char},
    {"CHAR", "", TypeKind::Char},
    {"VARCHAR", "", TypeKind::Varchar},
    {"GRAPHIC", "", TypeKind::Char},
    {"VARGRAPHIC", "", TypeKind::Varchar},
    {"DATE", "", TypeKind::Date},
    {"TIME", "", TypeKind::Time},
    {"TIMESTAMP", "", TypeKind::Timestamp},
}};
static_assert(kTypeNames.size() == 22);

// Limits of the length attribute: CHAR 1-254, VARCHAR 1-32704, DECIMAL precision 1-15.
constexpr long kMaxChar = 254;
constexpr long kMaxVarchar = 32704;
constexpr long kMaxPrecision = 15;

Failure invalidAttribute() {
    return Failure{-604, "A DATA TYPE DEFINITION SPECIFIES AN INVALID LENGTH, PRECISION, OR SCALE ATTRIBUTE"};
}

long readNumber(Cursor& cursor) {
    const Token& t = cursor.peek();
    if (t.kind != TokenKind::Number || t.text.find_first_not_of("0123456789") != std::string_view::npos ||
        t.text.size() > 6) {
        cursor.fail();
    }
    const long value = std::stol(std::string(t.text));
    cursor.advance();
    return value;
}

// ( n ) after a type name, or `fallback` when there is none (-1: the length is required).
long readLength(Cursor& cursor, long fallback, long max) {
    if (!cursor.acceptOperator("(")) {
        if (fallback < 0) {
            cursor.fail();
        }
        return fallback;
    }
    const long n = readNumber(cursor);
    cursor.expectOperator(")");
    if (n < 1 || n > max) {
        throw invalidAttribute();
    }
    return n;
}

std::string decimalType(Cursor& cursor) {
    long precision = 5;
    long scale = 0;
    if (cursor.acceptOperator("(")) {
        precision = readNumber(cursor);
        if (cursor.acceptOperator(",")) {
            scale = readNumber(cursor);
        }
        cursor.expectOperator(")");
    }
    if (precision < 1 || precision > kMaxPrecision || scale > precision) {
        throw invalidAttribute();
    }
    return "numeric(" + std::to_string(precision) + "," + std::to_string(scale) + ")";
}

std::string pgType(Cursor& cursor, TypeKind kind) {
    switch (kind) {
        case TypeKind::Integer:
            return "integer";
        case TypeKind::Smallint:
            return "smallint";
        case TypeKind::Float:
            return readLength(cursor, 53, 53) <= 21 ? "real" : "double precision";
        case TypeKind::Real:
            return "real";
        case TypeKind::Decimal:
            return decimalType(cursor);
        case TypeKind::Char:
            return "char(" + std::to_string(readLength(cursor, 1, kMaxChar)) + ")";
        case TypeKind::Varchar:
            return "varchar(" + std::to_string(readLength(cursor, -1, kMaxVarchar)) + ")";
        case TypeKind::LongVarchar:
            return "text";
        case TypeKind::Date:
            return "date";
        case TypeKind::Time:
            return "time(0)";
        case TypeKind::Timestamp:
            return "timestamp(6)";
    }
    cursor.fail();
}

}  // namespace

ColumnType parseColumnType(Cursor& cursor) {
    for (const TypeName& name : kTypeNames) {
        if (!cursor.isKeyword(name.first) || (!name.second.empty() && !cursor.isKeyword(name.second, 1))) {
            continue;
        }
        cursor.advance();
        if (!name.second.empty()) {
            cursor.advance();
        }
        const ColumnType type{name.kind, pgType(cursor, name.kind)};
        if (cursor.isKeyword("FOR") &&
            (cursor.isKeyword("BIT", 1) || cursor.isKeyword("SBCS", 1) || cursor.isKeyword("MIXED", 1))) {
            cursor.advance();
            cursor.advance();
            cursor.expectKeyword("DATA");
        }
        return type;
    }
    cursor.fail();
}

std::string neutralDefault(TypeKind kind) {
    switch (kind) {
        case TypeKind::Char:
        case TypeKind::Varchar:
        case TypeKind::LongVarchar:
            return "''";
        case TypeKind::Date:
            return "CURRENT_DATE";
        case TypeKind::Time:
            return "LOCALTIME(0)";
        case TypeKind::Timestamp:
            return "LOCALTIMESTAMP";
        default:
            return "0";
    }
}

bool isDatetime(TypeKind kind) {
    return kind == TypeKind::Date || kind == TypeKind::Time || kind == TypeKind::Timestamp;
}

}  // namespace gw::dialect
