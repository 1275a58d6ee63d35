// types.cpp - PostgreSQL types to wire types, and PostgreSQL values, in their text output or their
// binary form, to DB2 text forms.
//
// Serves the backend's result streaming and NOEXEC describe. The type table below is the whole
// policy: INTEGER and SMALLINT as INTN, FLOAT as FLTN 8, CHAR/VARCHAR up to 255 bytes of the
// client's character set as themselves and LONGCHAR above, text as TEXT, DECIMAL/DATE/TIME/
// TIMESTAMP as CHAR with their user types, bigint as INTN 4 (DB2 has no 64-bit integer), anything
// else as VARCHAR(254) text. Invariant: both readers give one value the same cell, byte for byte,
// and the same failure; the binary one formats into the column's scratch text without allocating
// once that has grown to the column's widest value.
#include "types.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

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

namespace {
ColumnPlan planByType(uint32_t typeOid, int typmod, std::string label, uint32_t bytesPerChar) {
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
}  // namespace

bool isDatetimeType(uint32_t typeOid) {
    return typeOid == kDate || typeOid == kTime || typeOid == kTimestamp;
}

ColumnPlan planColumn(uint32_t typeOid, int typmod, std::string label, uint32_t bytesPerChar) {
    ColumnPlan plan = planByType(typeOid, typmod, std::move(label), std::max<uint32_t>(bytesPerChar, 1));
    plan.typeOid = typeOid;
    return plan;
}

namespace {
// yyyy-mm-dd; anything longer carries " BC" or a fifth year digit, "infinity" is no date.
bool isDb2DateText(std::string_view iso) {
    return iso.size() == 10 && iso[4] == '-' && iso[7] == '-' && isDigits(iso.substr(0, 4)) &&
           isDigits(iso.substr(5, 2)) && isDigits(iso.substr(8, 2));
}

// hh:mm:ss, the start of every time PostgreSQL shows.
bool isTimeText(std::string_view iso) {
    return iso.size() >= 8 && iso[2] == ':' && iso[5] == ':' && isDigits(iso.substr(0, 2)) &&
           isDigits(iso.substr(3, 2)) && isDigits(iso.substr(6, 2));
}
}  // namespace

bool db2Date(std::string_view iso, std::string& out) {
    if (!isDb2DateText(iso)) {
        return false;
    }
    out.assign(iso);
    return true;
}

bool db2Time(std::string_view iso, std::string& out) {
    // hh:mm:ss[.ffffff] -> hh.mm.ss (DB2 TIME has no fraction)
    if (!isTimeText(iso)) {
        return false;
    }
    if (iso.size() > 8 && iso[8] != '.') {
        return false;  // a time zone: not a DB2 TIME
    }
    char text[8];
    std::memcpy(text, iso.data(), sizeof text);
    text[2] = '.';
    text[5] = '.';
    out.assign(text, sizeof text);
    return true;
}

bool db2Timestamp(std::string_view iso, std::string& out) {
    // yyyy-mm-dd hh:mm:ss[.f...] -> yyyy-mm-dd-hh.mm.ss.ffffff
    constexpr size_t kWhole = 19;  // up to the seconds
    if (iso.size() < kWhole || iso[10] != ' ' || !isDb2DateText(iso.substr(0, 10)) ||
        !isTimeText(iso.substr(11, 8))) {
        return false;
    }
    std::string_view fraction;
    if (iso.size() > kWhole) {
        if (iso[kWhole] != '.' || iso.size() > 26 || !isDigits(iso.substr(kWhole + 1))) {
            return false;
        }
        fraction = iso.substr(kWhole + 1);
    }
    char text[26];
    std::memcpy(text, iso.data(), kWhole);
    text[10] = '-';
    text[13] = '.';
    text[16] = '.';
    text[kWhole] = '.';
    std::copy(fraction.begin(), fraction.end(), text + kWhole + 1);
    std::memset(text + kWhole + 1 + fraction.size(), '0', 6 - fraction.size());
    out.assign(text, sizeof text);
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

// --- binary forms ----------------------------------------------------------------------------

namespace {

constexpr int64_t kPostgresEpochJulian = 2451545;  // 2000-01-01, day 0 of date and timestamp
constexpr int64_t kMicrosPerSecond = 1000000;
constexpr int64_t kMicrosPerMinute = 60 * kMicrosPerSecond;
constexpr int64_t kMicrosPerHour = 60 * kMicrosPerMinute;
constexpr int64_t kMicrosPerDay = 24 * kMicrosPerHour;

// numeric's binary form: four 16-bit words, then base-10000 digits, the first worth 10000^weight.
constexpr size_t kNumericHeader = 8;
constexpr int kNumericBase = 10000;
constexpr uint16_t kNumericNegative = 0x4000;
constexpr uint16_t kNumericNaN = 0xC000;
constexpr uint16_t kNumericPlusInfinity = 0xD000;
constexpr uint16_t kNumericMinusInfinity = 0xF000;
constexpr uint16_t kNumericMaxScale = 0x3FFF;

uint16_t be16(const char* p) {
    return static_cast<uint16_t>((static_cast<uint8_t>(p[0]) << 8) | static_cast<uint8_t>(p[1]));
}
uint32_t be32(const char* p) {
    return (uint32_t{be16(p)} << 16) | be16(p + 2);
}
uint64_t be64(const char* p) {
    return (uint64_t{be32(p)} << 32) | be32(p + 4);
}

// "00" to "99": two digits a step halve the divisions of every number written.
constexpr std::array<char, 200> kDigitPairs = [] {
    std::array<char, 200> pairs{};
    for (int i = 0; i < 100; ++i) {
        pairs[2 * i] = static_cast<char>('0' + i / 10);
        pairs[2 * i + 1] = static_cast<char>('0' + i % 10);
    }
    return pairs;
}();
static_assert(kDigitPairs[2 * 42] == '4' && kDigitPairs[2 * 42 + 1] == '2');

// Writes `v` as exactly `width` digits (v < 10^width) and returns the end.
char* putDigits(char* p, uint32_t v, int width) {
    int i = width;
    for (; i >= 2; i -= 2) {
        std::memcpy(p + i - 2, &kDigitPairs[2 * (v % 100)], 2);
        v /= 100;
    }
    if (i == 1) {
        p[0] = static_cast<char>('0' + v % 10);
    }
    return p + width;
}

struct CivilDate {
    int year = 0;  // 0 is 1 BC, -1 is 2 BC
    int month = 0;
    int day = 0;
};

// The proleptic Gregorian date of Julian day `jd` (PostgreSQL's own algorithm, exact for every
// day a date or timestamp can hold).
CivilDate fromJulian(uint32_t jd) {
    uint32_t julian = jd + 32044;
    uint32_t quad = julian / 146097;
    const uint32_t extra = (julian - quad * 146097) * 4 + 3;
    julian += 60 + quad * 3 + extra / 146097;
    quad = julian / 1461;
    julian -= quad * 1461;
    int y = static_cast<int>(julian * 4 / 1461);
    julian = ((y != 0) ? ((julian + 305) % 365) : ((julian + 306) % 366)) + 123;
    y += static_cast<int>(quad * 4);
    CivilDate d;
    d.year = y - 4800;
    quad = julian * 2141 / 65536;
    d.day = static_cast<int>(julian - 7834 * quad / 256);
    d.month = static_cast<int>((quad + 10) % 12 + 1);
    return d;
}

// The same date for the days DB2 can hold, by Neri and Schneider's Euclidean affine algorithm: a
// handful of multiplications where PostgreSQL's divides, for the value read on every row.
// `days` counts from 2000-01-01, and must lie within years 1 to 9999 give or take a year.
CivilDate fastCivilDate(int32_t days) {
    constexpr uint32_t kShift = 82;  // 400-year cycles added so that every day counted is positive
    constexpr uint32_t kDayShift = 719468 + 146097 * kShift;
    constexpr uint32_t kYearShift = 400 * kShift;
    constexpr int32_t kDaysFrom1970 = 10957;
    const uint32_t n = static_cast<uint32_t>(days + kDaysFrom1970) + kDayShift;
    const uint32_t n1 = 4 * n + 3;
    const uint32_t century = n1 / 146097;
    const uint32_t inCentury = n1 % 146097 / 4;
    const uint32_t n2 = 4 * inCentury + 3;
    const uint64_t p2 = uint64_t{2939745} * n2;
    const uint32_t yearOfCentury = static_cast<uint32_t>(p2 >> 32);
    const uint32_t dayOfYear = static_cast<uint32_t>(p2 & 0xFFFFFFFFu) / 2939745 / 4;
    const uint32_t n3 = 2141 * dayOfYear + 197913;
    const uint32_t month = n3 >> 16;
    const uint32_t day = (n3 & 0xFFFF) / 2141;
    const uint32_t january = dayOfYear >= 306;  // the year counted from March ends in January
    CivilDate d;
    d.year = static_cast<int>(100 * century + yearOfCentury - kYearShift + january);
    d.month = static_cast<int>(january ? month - 12 : month);
    d.day = static_cast<int>(day + 1);
    return d;
}
// The days of DB2's first and last dates, 0001-01-01 and 9999-12-31, from 2000-01-01.
constexpr int32_t kFirstDb2Day = -730119;
constexpr int32_t kLastDb2Day = 2921939;

struct ClockTime {
    uint32_t hour = 0, minute = 0, second = 0, micros = 0;
};

ClockTime fromMicros(int64_t t) {
    ClockTime c;
    c.hour = static_cast<uint32_t>(t / kMicrosPerHour);
    t -= int64_t{c.hour} * kMicrosPerHour;
    c.minute = static_cast<uint32_t>(t / kMicrosPerMinute);
    t -= int64_t{c.minute} * kMicrosPerMinute;
    c.second = static_cast<uint32_t>(t / kMicrosPerSecond);
    c.micros = static_cast<uint32_t>(t - int64_t{c.second} * kMicrosPerSecond);
    return c;
}

// Splits a timestamp into its Julian day and its microseconds into that day; false past the
// range PostgreSQL can show.
bool splitTimestamp(int64_t t, int64_t& julian, int64_t& time) {
    julian = t / kMicrosPerDay;
    time = t - julian * kMicrosPerDay;
    if (time < 0) {
        time += kMicrosPerDay;
        julian -= 1;
    }
    julian += kPostgresEpochJulian;
    return julian >= 0 && julian <= INT32_MAX;
}

// yyyy-mm-dd of a year DB2 can hold; 10 bytes.
char* putDb2Date(char* p, const CivilDate& d) {
    p = putDigits(p, static_cast<uint32_t>(d.year), 4);
    *p++ = '-';
    p = putDigits(p, static_cast<uint32_t>(d.month), 2);
    *p++ = '-';
    return putDigits(p, static_cast<uint32_t>(d.day), 2);
}

// hh.mm.ss; 8 bytes.
char* putDb2Time(char* p, const ClockTime& c) {
    p = putDigits(p, c.hour % 100, 2);
    *p++ = '.';
    p = putDigits(p, c.minute, 2);
    *p++ = '.';
    return putDigits(p, c.second, 2);
}

// PostgreSQL's ISO form of a date: the year of an era, at least four digits, " BC" before year 1.
std::string isoCivilDate(const CivilDate& d) {
    const int year = d.year > 0 ? d.year : 1 - d.year;
    return fmt::format("{:04}-{:02}-{:02}", year, d.month, d.day);
}

std::string_view bcSuffix(const CivilDate& d) {
    return d.year > 0 ? std::string_view() : std::string_view(" BC");
}

std::optional<ConversionError> malformed(std::string_view what) {
    return ConversionError{-901, fmt::format("UNSUCCESSFUL EXECUTION CAUSED BY A SYSTEM ERROR: THE DATABASE "
                                             "SERVER SENT A MALFORMED {} VALUE",
                                             what)};
}

std::optional<ConversionError> binaryInteger(const ColumnPlan& plan, std::string_view bytes, Cell& cell) {
    int64_t v = 0;
    if (plan.typeOid == kInt2 && bytes.size() == 2) {
        v = static_cast<int16_t>(be16(bytes.data()));
    } else if (plan.typeOid == kInt4 && bytes.size() == 4) {
        v = static_cast<int32_t>(be32(bytes.data()));
    } else if (plan.typeOid == kInt8 && bytes.size() == 8) {
        v = static_cast<int64_t>(be64(bytes.data()));
    } else {
        return malformed("INTEGER");
    }
    if (v < INT32_MIN || v > INT32_MAX) {
        return outOfRange("INTEGER", std::to_string(v));
    }
    cell.integer = v;
    return std::nullopt;
}

// A float's value as its text output gives it: float8 as itself (its text is exact), float4
// through its shortest decimal, and every NaN as the one strtod makes of "NaN".
std::optional<ConversionError> binaryReal(const ColumnPlan& plan, std::string_view bytes, Cell& cell) {
    if (plan.typeOid == kFloat8 && bytes.size() == 8) {
        const uint64_t bits = be64(bytes.data());
        std::memcpy(&cell.real, &bits, sizeof cell.real);
    } else if (plan.typeOid == kFloat4 && bytes.size() == 4) {
        const uint32_t bits = be32(bytes.data());
        float f;
        std::memcpy(&f, &bits, sizeof f);
        if (std::isfinite(f)) {
            char text[32];
            auto written = std::to_chars(text, text + sizeof text, f);
            std::from_chars(text, written.ptr, cell.real);
        } else {
            cell.real = f;
        }
    } else {
        return malformed("FLOAT");
    }
    if (std::isnan(cell.real)) {
        cell.real = std::numeric_limits<double>::quiet_NaN();
    }
    return std::nullopt;
}

std::optional<ConversionError> binaryDate(std::string_view bytes, Cell& cell, std::string& scratch) {
    if (bytes.size() != 4) {
        return malformed("DATE");
    }
    const int32_t days = static_cast<int32_t>(be32(bytes.data()));
    if (days < kFirstDb2Day || days > kLastDb2Day) {
        return invalidDatetime(isoDate(days));
    }
    const CivilDate d = fastCivilDate(days);
    char text[10];
    putDb2Date(text, d);
    scratch.assign(text, sizeof text);
    cell.text = scratch;
    return std::nullopt;
}

std::optional<ConversionError> binaryTime(std::string_view bytes, Cell& cell, std::string& scratch) {
    if (bytes.size() != 8) {
        return malformed("TIME");
    }
    const int64_t t = static_cast<int64_t>(be64(bytes.data()));
    if (t < 0 || t > kMicrosPerDay) {
        return malformed("TIME");
    }
    char text[8];
    putDb2Time(text, fromMicros(t));
    scratch.assign(text, sizeof text);
    cell.text = scratch;
    return std::nullopt;
}

std::optional<ConversionError> binaryTimestamp(std::string_view bytes, Cell& cell, std::string& scratch) {
    if (bytes.size() != 8) {
        return malformed("TIMESTAMP");
    }
    const int64_t t = static_cast<int64_t>(be64(bytes.data()));
    int64_t julian = 0, time = 0;
    if (t == INT64_MIN || t == INT64_MAX || !splitTimestamp(t, julian, time) ||
        julian - kPostgresEpochJulian < kFirstDb2Day || julian - kPostgresEpochJulian > kLastDb2Day) {
        return invalidDatetime(isoTimestamp(t));
    }
    const CivilDate d = fastCivilDate(static_cast<int32_t>(julian - kPostgresEpochJulian));
    const ClockTime c = fromMicros(time);
    char text[26];
    char* p = putDb2Date(text, d);
    *p++ = '-';
    p = putDb2Time(p, c);
    *p++ = '.';
    putDigits(p, c.micros, 6);
    scratch.assign(text, sizeof text);
    cell.text = scratch;
    return std::nullopt;
}

}  // namespace

bool readsBinary(const ColumnPlan& plan) {
    return plan.conversion != Conversion::Other;
}

std::string isoDate(int32_t days) {
    const int64_t julian = int64_t{days} + kPostgresEpochJulian;
    if (days == INT32_MIN) {
        return "-infinity";
    }
    if (days == INT32_MAX) {
        return "infinity";
    }
    if (julian < 0 || julian > INT32_MAX) {
        return fmt::format("date {}", days);
    }
    const CivilDate d = fromJulian(static_cast<uint32_t>(julian));
    return isoCivilDate(d).append(bcSuffix(d));
}

std::string isoTimestamp(int64_t micros) {
    if (micros == INT64_MIN) {
        return "-infinity";
    }
    if (micros == INT64_MAX) {
        return "infinity";
    }
    int64_t julian = 0, time = 0;
    if (!splitTimestamp(micros, julian, time)) {
        return fmt::format("timestamp {}", micros);
    }
    const CivilDate d = fromJulian(static_cast<uint32_t>(julian));
    const ClockTime c = fromMicros(time);
    std::string out = fmt::format("{} {:02}:{:02}:{:02}", isoCivilDate(d), c.hour, c.minute, c.second);
    if (c.micros != 0) {
        std::string fraction = fmt::format("{:06}", c.micros);
        fraction.erase(fraction.find_last_not_of('0') + 1);
        out.append(1, '.').append(fraction);
    }
    return out.append(bcSuffix(d));
}

// numeric_out's text: a sign, the integer digits (at least "0"), and exactly dscale fraction digits.
bool numericText(std::string_view bytes, std::string& out) {
    if (bytes.size() < kNumericHeader) {
        return false;
    }
    const char* b = bytes.data();
    const int ndigits = be16(b);
    const int weight = static_cast<int16_t>(be16(b + 2));
    const uint16_t sign = be16(b + 4);
    const int dscale = be16(b + 6);
    if (bytes.size() != kNumericHeader + 2 * static_cast<size_t>(ndigits) || dscale > kNumericMaxScale) {
        return false;
    }
    switch (sign) {
        case 0:
        case kNumericNegative:
            break;
        case kNumericNaN:
            out.assign("NaN");
            return true;
        case kNumericPlusInfinity:
            out.assign("Infinity");
            return true;
        case kNumericMinusInfinity:
            out.assign("-Infinity");
            return true;
        default:
            return false;
    }
    auto digit = [&](int i) -> int { return i >= 0 && i < ndigits ? be16(b + kNumericHeader + 2 * i) : 0; };
    for (int i = 0; i < ndigits; ++i) {
        if (digit(i) >= kNumericBase) {
            return false;
        }
    }
    // Most values fit a small buffer on the stack; the rest are written into `out` itself.
    const size_t wholeGroups = weight >= 0 ? static_cast<size_t>(weight) + 1 : 0;
    const size_t bound = 2 + 4 * wholeGroups + 1 + static_cast<size_t>(dscale) + 4;
    char small[64];
    if (bound > sizeof small) {
        out.resize(bound);
    }
    char* const start = bound > sizeof small ? out.data() : small;
    char* p = start;
    if (sign == kNumericNegative) {
        *p++ = '-';
    }
    int d = 0;
    if (weight < 0) {
        d = weight + 1;
        *p++ = '0';
    } else {
        for (; d <= weight; ++d) {
            const int dig = digit(d);
            if (d > 0) {
                p = putDigits(p, static_cast<uint32_t>(dig), 4);
            } else {
                char first[4];
                putDigits(first, static_cast<uint32_t>(dig), 4);
                const int skip = dig >= 1000 ? 0 : dig >= 100 ? 1 : dig >= 10 ? 2 : 3;
                p = std::copy(first + skip, first + 4, p);
            }
        }
    }
    if (dscale > 0) {
        *p++ = '.';
        char* end = p + dscale;
        for (int i = 0; i < dscale; i += 4, ++d) {
            p = putDigits(p, static_cast<uint32_t>(digit(d)), 4);
        }
        p = end;
    }
    const size_t length = static_cast<size_t>(p - start);
    if (start == small) {
        out.assign(small, length);
    } else {
        out.resize(length);
    }
    return true;
}

std::optional<ConversionError> convertBinary(const ColumnPlan& plan, std::string_view bytes, Cell& cell,
                                             std::string& scratch) {
    cell.null = false;
    switch (plan.conversion) {
        case Conversion::Integer:
        case Conversion::BigInteger:
            return binaryInteger(plan, bytes, cell);
        case Conversion::Real:
            return binaryReal(plan, bytes, cell);
        case Conversion::Characters:
            cell.text = bytes;
            return std::nullopt;
        case Conversion::Decimal:
            if (!numericText(bytes, scratch)) {
                return malformed("DECIMAL");
            }
            cell.text = scratch;
            return std::nullopt;
        case Conversion::FreeDecimal: {
            // The digits first, then rounded as their text would be; the buffer stays with the thread.
            thread_local std::string digits;
            if (!numericText(bytes, digits)) {
                return malformed("DECIMAL");
            }
            return convertValue(plan, digits, cell, scratch);
        }
        case Conversion::Date:
            return binaryDate(bytes, cell, scratch);
        case Conversion::Time:
            return binaryTime(bytes, cell, scratch);
        case Conversion::Timestamp:
            return binaryTimestamp(bytes, cell, scratch);
        case Conversion::Other:
            return malformed("TEXT");
    }
    return std::nullopt;
}

}  // namespace gw::backend
