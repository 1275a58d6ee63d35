// types.cpp - PostgreSQL types to wire types, and PostgreSQL text output to DB2 text forms.
//
// Serves the backend's result streaming and NOEXEC describe. The type table below is the whole
// policy: INTEGER and SMALLINT as INTN, FLOAT as FLTN 8, CHAR/VARCHAR up to 255 bytes of the
// client's character set as themselves and LONGCHAR above, text as TEXT, DECIMAL/DATE/TIME/
// TIMESTAMP as CHAR with their user types, bigint as INTN 4 (DB2 has no 64-bit integer), anything
// else as VARCHAR(254) text.
#include "types.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdlib>

#include <fmt/format.h>

namespace gw::backend {
namespace {

// PostgreSQL type oids (pg_type.oid, fixed for built-in types).
enum TypeOid : uint32_t {
    kInt8 = 20,
    kInt2 = 21,
    kInt4 = 23,
    kText = 25,
    kFloat4 = 700,
    kFloat8 = 701,
    kBpChar = 1042,
    kVarChar = 1043,
    kDate = 1082,
    kTime = 1083,
    kTimestamp = 1114,
    kNumeric = 1700,
};

constexpr uint32_t kMaxShortCharacter = 255;
constexpr int kVarHeaderSize = 4;  // what PostgreSQL adds to a length in typmod

// The fixed part of the mapping: types whose wire format does not depend on the modifier.
struct FixedType {
    uint32_t oid;
    WireType wire;
    uint32_t length;
    int32_t userType;
    Conversion conversion;
};

constexpr std::array<FixedType, 8> kFixedTypes = {{
    {kInt2, WireType::Int, 2, kUserTypeNone, Conversion::Integer},
    {kInt4, WireType::Int, 4, kUserTypeNone, Conversion::Integer},
    {kInt8, WireType::Int, 4, kUserTypeNone, Conversion::BigInteger},
    {kFloat4, WireType::Float, 8, kUserTypeNone, Conversion::Real},
    {kFloat8, WireType::Float, 8, kUserTypeNone, Conversion::Real},
    {kDate, WireType::Char, 10, kUserTypeDate, Conversion::Date},
    {kTime, WireType::Char, 8, kUserTypeTime, Conversion::Time},
    {kTimestamp, WireType::Char, 26, kUserTypeTimestamp, Conversion::Timestamp},
}};
static_assert(kFixedTypes.size() == 8, "one entry per fixed-shape type");

ColumnPlan make(std::string label, WireType wire, uint32_t length, int32_t userType, Conversion c) {
    return ColumnPlan{ColumnFormat{std::move(label), wire, length, userType}, c};
}

// CHAR(n) and VARCHAR(n): their own type up to 255 bytes, LONGCHAR above, TEXT without a length.
// `n` counts characters; the wire counts bytes of the client's set.
ColumnPlan characterColumn(std::string label, bool fixed, int typmod, uint32_t bytesPerChar) {
    if (typmod < kVarHeaderSize) {
        return make(std::move(label), WireType::Text, kLongVarCharLength * bytesPerChar, kUserTypeNone,
                    Conversion::Characters);
    }
    uint32_t n = static_cast<uint32_t>(typmod - kVarHeaderSize) * bytesPerChar;
    if (n > kMaxShortCharacter) {
        return make(std::move(label), WireType::LongChar, n, kUserTypeNone, Conversion::Characters);
    }
    return make(std::move(label), fixed ? WireType::Char : WireType::VarChar, n, kUserTypeNone,
                Conversion::Characters);
}

ColumnPlan numericColumn(std::string label, int typmod) {
    if (typmod < kVarHeaderSize) {
        return make(std::move(label), WireType::Char, kFreeDecimalPrecision + 2,
                    decimalUserType(kFreeDecimalPrecision, kFreeDecimalScale), Conversion::FreeDecimal);
    }
    int precision = ((typmod - kVarHeaderSize) >> 16) & 0xFFFF;
    int scale = (typmod - kVarHeaderSize) & 0x7FF;
    if (scale & 0x400) {  // PostgreSQL 15 allows a negative scale; DB2 shows 0
        scale = 0;
    }
    if (scale > precision) {
        scale = precision;
    }
    return make(std::move(label), WireType::Char, static_cast<uint32_t>(precision + 2),
                decimalUserType(precision, scale), Conversion::Decimal);
}

bool isDigits(std::string_view s) {
    for (char c : s) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    return !s.empty();
}

std::optional<ConversionError> outOfRange(std::string_view what, std::string_view text) {
    return ConversionError{-802, fmt::format("EXCEPTION ERROR FIXED POINT OVERFLOW HAS OCCURRED DURING "
                                             "CONVERSION OF {} VALUE {}",
                                             what, text)};
}

std::optional<ConversionError> invalidDatetime(std::string_view text) {
    return ConversionError{-181, fmt::format("THE STRING REPRESENTATION OF A DATETIME VALUE IS NOT A VALID "
                                             "VALUE: {}",
                                             text)};
}

bool parseInteger(std::string_view text, int64_t& value) {
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size();
}

}  // namespace

ColumnPlan planColumn(uint32_t typeOid, int typmod, std::string label, uint32_t bytesPerChar) {
    bytesPerChar = std::max<uint32_t>(bytesPerChar, 1);
    if (typeOid == kText) {
        return characterColumn(std::move(label), false, -1, bytesPerChar);
    }
    for (const FixedType& t : kFixedTypes) {
        if (t.oid == typeOid) {
            return make(std::move(label), t.wire, t.length, t.userType, t.conversion);
        }
    }
    switch (typeOid) {
        case kBpChar:
            return characterColumn(std::move(label), true, typmod, bytesPerChar);
        case kVarChar:
            return characterColumn(std::move(label), false, typmod, bytesPerChar);
        case kNumeric:
            return numericColumn(std::move(label), typmod);
        default:
            return make(std::move(label), WireType::VarChar, kOtherTypeLength, kUserTypeNone,
                        Conversion::Other);
    }
}

bool db2Date(std::string_view iso, std::string& out) {
    // yyyy-mm-dd; anything longer carries " BC" or a fifth year digit, "infinity" is no date.
    if (iso.size() != 10 || iso[4] != '-' || iso[7] != '-' || !isDigits(iso.substr(0, 4)) ||
        !isDigits(iso.substr(5, 2)) || !isDigits(iso.substr(8, 2))) {
        return false;
    }
    out.assign(iso);
    return true;
}

bool db2Time(std::string_view iso, std::string& out) {
    // hh:mm:ss[.ffffff] -> hh.mm.ss (DB2 TIME has no fraction)
    if (iso.size() < 8 || iso[2] != ':' || iso[5] != ':' || !isDigits(iso.substr(0, 2)) ||
        !isDigits(iso.substr(3, 2)) || !isDigits(iso.substr(6, 2))) {
        return false;
    }
    if (iso.size() > 8 && iso[8] != '.') {
        return false;  // a time zone: not a DB2 TIME
    }
    out.assign(iso.substr(0, 8));
    out[2] = '.';
    out[5] = '.';
    return true;
}

bool db2Timestamp(std::string_view iso, std::string& out) {
    // yyyy-mm-dd hh:mm:ss[.f...] -> yyyy-mm-dd-hh.mm.ss.ffffff
    if (iso.size() < 19 || iso[10] != ' ') {
        return false;
    }
    std::string date;
    std::string time;
    if (!db2Date(iso.substr(0, 10), date) || !db2Time(iso.substr(11, 8), time)) {
        return false;
    }
    std::string_view fraction;
    if (iso.size() > 19) {
        if (iso[19] != '.' || iso.size() > 26 || !isDigits(iso.substr(20))) {
            return false;
        }
        fraction = iso.substr(20);
    }
    out.clear();
    out.reserve(26);
    out.append(date).append(1, '-').append(time).append(1, '.').append(fraction);
    out.append(6 - fraction.size(), '0');
    return true;
}

bool roundDecimal(std::string_view text, int precision, int scale, std::string& out) {
    bool negative = !text.empty() && text[0] == '-';
    if (negative) {
        text.remove_prefix(1);
    }
    size_t point = text.find('.');
    std::string_view whole = text.substr(0, point);
    std::string_view fraction = point == std::string_view::npos ? std::string_view() : text.substr(point + 1);
    if (!isDigits(whole) || (!fraction.empty() && !isDigits(fraction))) {
        return false;  // NaN, Infinity
    }
    // Work on the digits as one string: whole part, then exactly `scale` fraction digits.
    std::string digits(whole);
    digits.append(fraction.substr(0, std::min<size_t>(fraction.size(), static_cast<size_t>(scale))));
    digits.append(static_cast<size_t>(scale) - std::min<size_t>(fraction.size(), static_cast<size_t>(scale)),
                  '0');
    if (fraction.size() > static_cast<size_t>(scale) && fraction[static_cast<size_t>(scale)] >= '5') {
        size_t i = digits.size();
        while (i > 0 && digits[i - 1] == '9') {
            digits[--i] = '0';
        }
        if (i == 0) {
            digits.insert(digits.begin(), '1');
        } else {
            ++digits[i - 1];
        }
    }
    size_t wholeDigits = digits.size() - static_cast<size_t>(scale);
    size_t firstNonZero = digits.find_first_not_of('0');
    size_t significantWhole = firstNonZero < wholeDigits ? wholeDigits - firstNonZero : 0;
    if (significantWhole > static_cast<size_t>(precision - scale)) {
        return false;
    }
    std::string_view w = std::string_view(digits).substr(0, wholeDigits);
    w.remove_prefix(std::min(w.find_first_not_of('0'), w.size() - 1));
    bool zero = firstNonZero == std::string::npos;
    out.clear();
    if (negative && !zero) {
        out.push_back('-');
    }
    out.append(w.empty() ? "0" : w);
    if (scale > 0) {
        out.push_back('.');
        out.append(digits, wholeDigits, static_cast<size_t>(scale));
    }
    return true;
}

std::optional<ConversionError> convertValue(const ColumnPlan& plan, std::string_view text, Cell& cell,
                                            std::string& scratch) {
    cell.null = false;
    switch (plan.conversion) {
        case Conversion::Integer:
        case Conversion::BigInteger: {
            int64_t v = 0;
            if (!parseInteger(text, v)) {
                return outOfRange("INTEGER", text);
            }
            if (v < INT32_MIN || v > INT32_MAX) {
                return outOfRange("INTEGER", text);
            }
            cell.integer = v;
            return std::nullopt;
        }
        case Conversion::Real:
            scratch.assign(text);
            cell.real = std::strtod(scratch.c_str(), nullptr);
            return std::nullopt;
        case Conversion::Characters:
        case Conversion::Decimal:
        case Conversion::Other:
            cell.text = text;
            return std::nullopt;
        case Conversion::FreeDecimal:
            if (!roundDecimal(text, kFreeDecimalPrecision, kFreeDecimalScale, scratch)) {
                return outOfRange("DECIMAL", text);
            }
            cell.text = scratch;
            return std::nullopt;
        case Conversion::Date:
            if (!db2Date(text, scratch)) {
                return invalidDatetime(text);
            }
            cell.text = scratch;
            return std::nullopt;
        case Conversion::Time:
            if (!db2Time(text, scratch)) {
                return invalidDatetime(text);
            }
            cell.text = scratch;
            return std::nullopt;
        case Conversion::Timestamp:
            if (!db2Timestamp(text, scratch)) {
                return invalidDatetime(text);
            }
            cell.text = scratch;
            return std::nullopt;
    }
    return std::nullopt;
}

}  // namespace gw::backend
