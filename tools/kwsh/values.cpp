// values.cpp - turns the host values that a fetch leaves in column buffers into text.
//
// Serves the result printer (every row kwsh shows) and the benchmark's driver path. Owns nothing:
// each function reads the bytes it is given with memcpy (the host records are packed, so a field
// is never read through a typed pointer) and answers a new string.
#include "values.h"

#include <fmt/format.h>

#include <cstring>

#include "kwconst.h"

namespace kwsh {

namespace {

// Divides the 96-bit number held in three 32-bit limbs (most significant first) by 10 in place
// and answers the remainder. Plain 64-bit arithmetic, so it reads the same on every compiler.
unsigned divideBy10(uint32_t (&limbs)[3]) {
    uint64_t remainder = 0;
    for (uint32_t& limb : limbs) {
        const uint64_t current = (remainder << 32) | limb;
        limb = static_cast<uint32_t>(current / 10);
        remainder = current % 10;
    }
    return static_cast<unsigned>(remainder);
}

template <typename T>
T load(const char* buffer) {
    T value;
    std::memcpy(&value, buffer, sizeof value);
    return value;
}

}  // namespace

std::string formatDecimal(const HostDecimal& value) {
    uint32_t limbs[3] = {value.high, static_cast<uint32_t>(value.low >> 32),
                         static_cast<uint32_t>(value.low)};
    std::string digits;
    do {
        digits.push_back(static_cast<char>('0' + divideBy10(limbs)));
    } while (limbs[0] != 0 || limbs[1] != 0 || limbs[2] != 0);
    while (digits.size() <= value.scale) {
        digits.push_back('0');
    }
    std::string text;
    const bool zero = digits.find_first_not_of('0') == std::string::npos;
    if ((value.sign & KW_DECIMAL_NEGATIVE) != 0 && !zero) {
        text.push_back('-');
    }
    for (size_t i = digits.size(); i-- > 0;) {
        text.push_back(digits[i]);
        if (i == value.scale && value.scale > 0) {
            text.push_back('.');
        }
    }
    return text;
}

std::string formatDateTime(const DateTimeValue& v) {
    const bool hasDate = v.year != KW_NO_DATE_PART;
    const bool hasTime = v.hour != KW_NO_TIME_PART;
    const int year = v.year + 1900;
    const unsigned month = v.month + 1u, day = v.day, hour = v.hour, minute = v.minute, second = v.second;
    const uint32_t micro = v.microseconds;
    if (hasDate && hasTime) {
        return fmt::format("{:04}-{:02}-{:02}-{:02}.{:02}.{:02}.{:06}", year, month, day, hour, minute,
                           second, micro);
    }
    if (hasDate) {
        return fmt::format("{:04}-{:02}-{:02}", year, month, day);
    }
    return fmt::format("{:02}.{:02}.{:02}", hour, minute, second);
}

std::string formatDouble(double value) {
    return fmt::format("{}", value);
}

std::optional<std::string> formatValue(int32_t hostType, const char* buffer, int32_t indicator) {
    if (indicator == -1) {
        return std::nullopt;
    }
    // With a warning the fetch converts nothing: decimals and dates are still text, while the
    // numeric bindings hold their binary values as always. A decimal the host decimal cannot hold
    // is left as text too, never shown as a number.
    const bool converted = indicator == 0;
    switch (hostType) {
        case HOST_INTEGER:
            return std::to_string(load<int32_t>(buffer));
        case HOST_SMALLINT:
            return std::to_string(load<int16_t>(buffer));
        case HOST_DOUBLE:
            return formatDouble(load<double>(buffer));
        case HOST_REAL:
            return formatDouble(converted ? load<float>(buffer) : load<double>(buffer));
        case HOST_DECIMAL:
            if (converted) {
                return formatDecimal(load<HostDecimal>(buffer));
            }
            break;
        case HOST_DATE:
        case HOST_TIME:
        case HOST_DATETIME:
            if (converted) {
                return formatDateTime(load<DateTimeValue>(buffer));
            }
            break;
        default:
            break;
    }
    return std::string(buffer);
}

bool isNumeric(int32_t hostType) {
    switch (hostType) {
        case HOST_INTEGER:
        case HOST_SMALLINT:
        case HOST_DOUBLE:
        case HOST_REAL:
        case HOST_DECIMAL:
        case HOST_MONEY:
            return true;
        default:
            return false;
    }
}

std::string describeType(int32_t db2Type, int32_t hostType, int32_t length, int32_t precision,
                         int32_t scale) {
    switch (db2Type) {
        case DB2_CHAR:
        case DB2_VARCHAR:
            // A character column's buffer holds the value and its terminating zero.
            return fmt::format("{}({})", db2Type == DB2_CHAR ? "CHAR" : "VARCHAR",
                               length > 0 ? length - 1 : 0);
        case DB2_INTEGER:
            return "INTEGER";
        case DB2_SMALLINT:
            return "SMALLINT";
        case DB2_FLOAT:
            return "FLOAT";
        case DB2_LONG_VARCHAR:
            return "LONG VARCHAR";
        case DB2_DECIMAL:
            return precision > 0 ? fmt::format("DECIMAL({},{})", precision, scale) : "DECIMAL";
        case DB2_DATE:
            return "DATE";
        case DB2_TIME:
            return "TIME";
        case DB2_TIMESTAMP:
            return "TIMESTAMP";
        default:
            return fmt::format("type {} (host type {})", db2Type, hostType);
    }
}

}  // namespace kwsh
