// result.h - the shape of a result set as every layer of the gateway sees it.
//
// The backend describes PostgreSQL results in these terms, the session passes them on, and the
// protocol layer encodes them as TDS tokens. A ColumnFormat is fixed before the first row; a Cell
// holds one value of one row, already in the form its column's wire type carries (an integer, a
// double, or bytes of text), and its text view stays valid only until the next row is produced.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace gw {

// The wire types the gateway sends. Each maps to one TDS 5.0 data type.
enum class WireType : uint8_t {
    Int,       // INTN with length 2 or 4
    Float,     // FLTN with length 8
    Char,      // CHAR, length up to 255
    VarChar,   // VARCHAR, length up to 255
    LongChar,  // LONGCHAR, any length
    Text,      // TEXT
};

// The low byte of a column's user type: what a character column really holds.
enum UserTypeTag : int32_t {
    kUserTypeNone = 0,
    kUserTypeDecimal = 3,
    kUserTypeDate = 9,
    kUserTypeTime = 10,
    kUserTypeTimestamp = 11,
};

// DECIMAL(p,s) travels as a character column whose user type carries p in bits 16-23 and s in
// bits 24-31.
constexpr int32_t decimalUserType(int precision, int scale) {
    return static_cast<int32_t>(static_cast<uint32_t>(kUserTypeDecimal) |
                                (static_cast<uint32_t>(precision & 0xFF) << 16) |
                                (static_cast<uint32_t>(scale & 0xFF) << 24));
}

struct ColumnFormat {
    std::string label;  // the column name as the client sees it (may be empty)
    WireType type = WireType::VarChar;
    uint32_t length = 0;   // declared length: bytes for Int/Float, maximum bytes for the others
    int32_t userType = 0;  // user type (see UserTypeTag)
};

struct Cell {
    bool null = true;
    int64_t integer = 0;    // WireType::Int
    double real = 0;        // WireType::Float
    std::string_view text;  // character types
};

}  // namespace gw
