// types.h - PostgreSQL result columns as the gateway's wire types, and their values as cells.
//
// planColumn decides, from a column's type oid and type modifier alone, how it travels (so the
// row format is fixed before the first row); convertValue turns one value in PostgreSQL's text
// output (DateStyle ISO) into a cell of that format, reformatting DB2's DATE, TIME, TIMESTAMP
// and DECIMAL text forms, and convertBinary makes the very same cell of the value's binary form.
// A value the wire type cannot carry fails with a DB2 SQLCODE, the same from either form.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/result.h"

namespace gw::backend {

// How the text of a value becomes a cell.
enum class Conversion : uint8_t {
    Integer,      // int2, int4: parsed
    BigInteger,   // int8: parsed, must fit 32 bits
    Real,         // float4, float8: parsed
    Characters,   // character data: passed through
    Decimal,      // numeric(p,s): passed through
    FreeDecimal,  // numeric without precision: rounded to kFreeDecimalScale digits
    Date,         // yyyy-mm-dd
    Time,         // hh.mm.ss
    Timestamp,    // yyyy-mm-dd-hh.mm.ss.nnnnnn
    Other,        // any other type: its text, cut to 254 bytes
};

// A numeric without declared precision is sent as DECIMAL(31,6): DB2's largest precision, and
// six fraction digits, which keep every amount and the usual averages exact enough.
constexpr int kFreeDecimalPrecision = 31;
constexpr int kFreeDecimalScale = 6;
// LONG VARCHAR (PostgreSQL text) is declared with DB2's LONG VARCHAR limit, in characters.
constexpr uint32_t kLongVarCharLength = 32700;
// Types without a DB2 equivalent travel as their text in VARCHAR(254).
constexpr uint32_t kOtherTypeLength = 254;

struct ColumnPlan {
    ColumnFormat format;
    Conversion conversion = Conversion::Other;
    uint32_t typeOid = 0;  // the PostgreSQL type, which fixes the binary form of its values
};

// The wire format of a result column of PostgreSQL type `typeOid` with modifier `typmod`.
// Character data is announced in bytes of the client's character set: a length in characters
// times `bytesPerChar`, the set's longest character, so that no value is ever cut.
ColumnPlan planColumn(uint32_t typeOid, int typmod, std::string label, uint32_t bytesPerChar = 1);

// True for PostgreSQL's DATE, TIME and TIMESTAMP, whose parameters may come in DB2's text forms.
bool isDatetimeType(uint32_t typeOid);

struct ConversionError {
    int sqlcode = 0;
    std::string message;  // DB2-style text
};

// Converts one non-NULL value. `scratch` holds reformatted text that `cell.text` may point to.
std::optional<ConversionError> convertValue(const ColumnPlan& plan, std::string_view text, Cell& cell,
                                            std::string& scratch);

// True when the column's values can be read in PostgreSQL's binary form (every type but Other).
bool readsBinary(const ColumnPlan& plan);

// Converts one non-NULL value in PostgreSQL's binary form (what the type's send function writes)
// into the cell, or the failure, that convertValue makes of the same value's text. `scratch`
// holds the text that `cell.text` may point to.
std::optional<ConversionError> convertBinary(const ColumnPlan& plan, std::string_view bytes, Cell& cell,
                                             std::string& scratch);

// PostgreSQL's ISO text of a date (days from 2000-01-01), a timestamp (microseconds from
// 2000-01-01 00:00) and a numeric's binary form, as the messages about them quote it. False when
// the bytes are not a numeric.
std::string isoDate(int32_t days);
std::string isoTimestamp(int64_t micros);
bool numericText(std::string_view bytes, std::string& out);

// The DB2 text forms of PostgreSQL's ISO output, exposed for testing. Each returns false when
// the value has no DB2 form (BC dates, infinity, years past 9999).
bool db2Date(std::string_view iso, std::string& out);
bool db2Time(std::string_view iso, std::string& out);
bool db2Timestamp(std::string_view iso, std::string& out);
// Rounds a decimal text to `scale` fraction digits (half away from zero); false when the integer
// part then needs more than `precision - scale` digits or the text is not a finite number.
bool roundDecimal(std::string_view text, int precision, int scale, std::string& out);

}  // namespace gw::backend
