// values.h - the host values a fetch leaves in a column's buffer, as text a person reads.
//
// Serves the result printer and the benchmark: decimals (the 16-byte HostDecimal), dates, times
// and timestamps (the 12-byte DateTimeValue) in DB2's own forms, integers, doubles and texts, and
// the DB2 type of a described column ("DECIMAL(9,2)"). Pure functions over bytes; they keep no state.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "kwrecords.h"

namespace kwsh {

// The decimal as digits with its scale: "-1234.56", "0.05", "42".
std::string formatDecimal(const HostDecimal& value);

// A DATE as yyyy-mm-dd, a TIME as hh.mm.ss, a TIMESTAMP as yyyy-mm-dd-hh.mm.ss.nnnnnn.
std::string formatDateTime(const DateTimeValue& value);

// The shortest text that reads back as the same double ("2.5", "-0.125", "1e+20").
std::string formatDouble(double value);

// One fetched value. `buffer` holds what the fetch left for a column of `hostType`; `indicator`
// is the fetch's indicator: -1 for NULL (no value), 0 for a converted value, and the buffer's
// length for a value still in the server's text: every decimal and date of a row that came with a
// warning, and a decimal that the host decimal cannot hold (its row fails the fetch).
std::optional<std::string> formatValue(int32_t hostType, const char* buffer, int32_t indicator);

// Whether values of the host type read best aligned to the right (numbers).
bool isNumeric(int32_t hostType);

// The DB2 type of a described result column: "INTEGER", "CHAR(10)", "DECIMAL(9,2)", "DATE" ...
std::string describeType(int32_t db2Type, int32_t hostType, int32_t length, int32_t precision, int32_t scale);

}  // namespace kwsh
