// types.h - DB2 data types in DDL and their PostgreSQL columns.
//
// CREATE TABLE and ALTER TABLE ADD name DB2 types; this file reads one (INTEGER, SMALLINT, FLOAT,
// DECIMAL(p,s), CHAR(n), VARCHAR(n), LONG VARCHAR, DATE, TIME, TIMESTAMP and their synonyms),
// checks its length, precision and scale as DB2 does (-604), and names the PostgreSQL type whose
// catalog entry (SYSIBM.SYSCOLUMNS) and wire form give the DB2 type back.
#pragma once

#include <string>

#include "cursor.h"

namespace gw::dialect {

enum class TypeKind {
    Integer,
    Smallint,
    Float,
    Real,
    Decimal,
    Char,
    Varchar,
    LongVarchar,
    Date,
    Time,
    Timestamp
};

struct ColumnType {
    TypeKind kind;
    std::string pg;  // the PostgreSQL type, for example numeric(9,2)
};

// Reads the data type at the cursor, FOR BIT / SBCS / MIXED DATA included.
ColumnType parseColumnType(Cursor& cursor);

// The value NOT NULL WITH DEFAULT gives a column of this type: zero, blanks, the empty string, or
// the current date, time or timestamp.
std::string neutralDefault(TypeKind kind);

bool isDatetime(TypeKind kind);

}  // namespace gw::dialect
