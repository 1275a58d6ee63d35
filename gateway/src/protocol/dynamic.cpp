// dynamic.cpp - reads DYNAMIC, DYNAMIC2, PARAMFMT(2) and PARAMS; writes the DYNAMIC
// acknowledgement and PARAMFMT.
//
// Serves the request reader (tokens.cpp) and the session's dynamic SQL. Each data type a client
// may send a parameter in is described once, in kParamTypes: how its format carries a length and
// how its value is framed. Values become PostgreSQL input text: integers and floats in decimal,
// NUMERIC with its scale, dates and times in ISO form, binary data as bytea hex.
#include "dynamic.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>

#include <fmt/format.h>

#include "bytes.h"
#include "tokens.h"

namespace gw::tds {
namespace {

// How a parameter's format gives its length, and how its value is framed.
enum class Framing : uint8_t {
    Fixed,    // no length in the format, the value has the type's size
    Short,    // a 1-byte length in the format and before the value (0 = NULL)
    Long,     // a 4-byte length in the format and before the value (0 = NULL)
    Blob,     // TEXT / IMAGE: 4-byte length and a table name; text pointer framing
    Numeric,  // length, precision and scale; a 1-byte length before the value
};

// What the value's bytes are.
enum class Decode : uint8_t {
    Integer,   // signed little-endian, 1 byte unsigned
    Float,     // IEEE 754 little-endian
    Money,     // 8 bytes: high i32 then low u32, or 4 bytes: i32, in 1/10000
    DateTime,  // 8 bytes: days i32 and 1/300 s ticks, or 4 bytes: days u16 and minutes u16
    Date,      // days since 1900-01-01, i32
    Time,      // 1/300 s ticks since midnight, u32
    Bit,       // 0 or 1
    Chars,     // text as sent
    Bytes,     // binary: bytea hex
    Number,    // sign byte and big-endian magnitude
};

struct ParamType {
    uint8_t type;
    Framing framing;
    Decode decode;
    uint8_t size;  // the value's size for Fixed types
};

constexpr std::array<ParamType, 28> kParamTypes = {{
    {0x30, Framing::Fixed, Decode::Integer, 1},   // INT1
    {0x34, Framing::Fixed, Decode::Integer, 2},   // INT2
    {0x38, Framing::Fixed, Decode::Integer, 4},   // INT4
    {0xBF, Framing::Fixed, Decode::Integer, 8},   // INT8
    {0x26, Framing::Short, Decode::Integer, 0},   // INTN
    {0x3B, Framing::Fixed, Decode::Float, 4},     // REAL
    {0x3E, Framing::Fixed, Decode::Float, 8},     // FLT8
    {0x6D, Framing::Short, Decode::Float, 0},     // FLTN
    {0x3C, Framing::Fixed, Decode::Money, 8},     // MONEY
    {0x7A, Framing::Fixed, Decode::Money, 4},     // MONEY4
    {0x6E, Framing::Short, Decode::Money, 0},     // MONEYN
    {0x3D, Framing::Fixed, Decode::DateTime, 8},  // DATETIME
    {0x3A, Framing::Fixed, Decode::DateTime, 4},  // DATETIME4
    {0x6F, Framing::Short, Decode::DateTime, 0},  // DATETIMN
    {0x31, Framing::Fixed, Decode::Date, 4},      // DATE
    {0x7B, Framing::Short, Decode::Date, 0},      // DATEN
    {0x33, Framing::Fixed, Decode::Time, 4},      // TIME
    {0x93, Framing::Short, Decode::Time, 0},      // TIMEN
    {0x32, Framing::Fixed, Decode::Bit, 1},       // BIT
    {0x2F, Framing::Short, Decode::Chars, 0},     // CHAR
    {0x27, Framing::Short, Decode::Chars, 0},     // VARCHAR
    {0xAF, Framing::Long, Decode::Chars, 0},      // LONGCHAR
    {0x23, Framing::Blob, Decode::Chars, 0},      // TEXT
    {0x2D, Framing::Short, Decode::Bytes, 0},     // BINARY
    {0x25, Framing::Short, Decode::Bytes, 0},     // VARBINARY
    {0xE1, Framing::Long, Decode::Bytes, 0},      // LONGBINARY
    {0x22, Framing::Blob, Decode::Bytes, 0},      // IMAGE
    {0x6C, Framing::Numeric, Decode::Number, 0},  // NUMERIC (DECIMAL 0x6A below)
}};
constexpr ParamType kDecimalType = {0x6A, Framing::Numeric, Decode::Number, 0};

const ParamType* paramType(uint8_t type) {
    if (type == kDecimalType.type) {
        return &kDecimalType;
    }
    for (const ParamType& t : kParamTypes) {
        if (t.type == type) {
            return &t;
        }
    }
    return nullptr;
}

constexpr size_t kMaxNumericBytes = 33;  // precision 77, the longest Sybase allows
constexpr size_t kTextTimestampLength = 8;
constexpr int32_t kDaysFrom1900To1970 = 25567;

uint32_t readLength(ByteReader& r, size_t width) {
    return width == 1 ? r.u8() : width == 2 ? r.u16() : r.u32();
}

// The type and its format-time information of one parameter (type byte already read).
bool readTypeInfo(ByteReader& r, ParamDescription& d, ParamError& error) {
    const ParamType* t = paramType(d.type);
    if (!t) {
        error = ParamError{fmt::format("parameters of data type {:#04x}", d.type), true};
        return false;
    }
    switch (t->framing) {
        case Framing::Fixed:
            d.length = t->size;
            break;
        case Framing::Short:
            d.length = r.u8();
            break;
        case Framing::Long:
            d.length = r.u32();
            break;
        case Framing::Blob:
            d.length = r.u32();
            r.skip(r.u16());  // table name
            break;
        case Framing::Numeric:
            d.length = r.u8();
            d.precision = r.u8();
            d.scale = r.u8();
            break;
    }
    return true;
}

// PARAMFMT (1-byte status) or PARAMFMT2 (4-byte status): the formats of every parameter.
bool readFormats(ByteReader& r, bool wide, std::vector<ParamDescription>& out, ParamError& error) {
    uint32_t length = wide ? r.u32() : r.u16();
    if (!r.ok() || length > r.remaining()) {
        error = ParamError{"the parameter format's length runs past the message"};
        return false;
    }
    size_t end = r.position() + length;
    uint16_t count = r.u16();
    for (uint16_t i = 0; i < count && r.ok(); ++i) {
        ParamDescription d;
        d.name = std::string(r.bytes(r.u8()));
        d.status = wide ? r.u32() : r.u8();
        size_t described = r.position();
        d.userType = r.i32();
        d.type = r.u8();
        if (!r.ok()) {
            break;
        }
        if (!readTypeInfo(r, d, error)) {
            return false;
        }
        r.skip(r.u8());  // locale
        if (r.ok() && (d.status & kParamOutput)) {
            d.formatBytes = std::string(r.since(described));
        }
        out.push_back(std::move(d));
    }
    if (!r.ok() || r.position() != end) {
        error = ParamError{"the parameter format's length disagrees with its fields"};
        return false;
    }
    return true;
}

int64_t signedLittleEndian(std::string_view b) {
    uint64_t v = 0;
    for (size_t i = b.size(); i-- > 0;) {
        v = (v << 8) | static_cast<uint8_t>(b[i]);
    }
    if (b.size() < 8 && !b.empty() && (static_cast<uint8_t>(b.back()) & 0x80)) {
        v |= ~uint64_t{0} << (8 * b.size());  // sign extension
    }
    return static_cast<int64_t>(v);
}

uint32_t unsignedLittleEndian(std::string_view b) {
    return static_cast<uint32_t>(signedLittleEndian(b.substr(0, 4)) & 0xFFFFFFFF);
}

std::string floatText(std::string_view b) {
    if (b.size() == 4) {
        uint32_t bits = unsignedLittleEndian(b);
        float f;
        std::memcpy(&f, &bits, sizeof f);
        return fmt::format("{}", f);
    }
    uint64_t bits = static_cast<uint64_t>(signedLittleEndian(b));
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return fmt::format("{}", d);
}

std::string moneyText(std::string_view b) {
    int64_t units = 0;
    if (b.size() == 8) {
        int64_t high = signedLittleEndian(b.substr(0, 4));
        uint32_t low = unsignedLittleEndian(b.substr(4, 4));
        units = static_cast<int64_t>(static_cast<uint64_t>(high) << 32 | low);
    } else {
        units = signedLittleEndian(b);
    }
    uint64_t magnitude = units < 0 ? 0 - static_cast<uint64_t>(units) : static_cast<uint64_t>(units);
    return fmt::format("{}{}.{:04}", units < 0 ? "-" : "", magnitude / 10000, magnitude % 10000);
}

// yyyy-mm-dd of a day count since 1970-01-01 (proleptic Gregorian calendar).
std::string civilDate(int64_t z) {
    z += 719468;
    int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    int64_t doe = z - era * 146097;
    int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    int64_t y = yoe + era * 400;
    int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    int64_t mp = (5 * doy + 2) / 153;
    int64_t d = doy - (153 * mp + 2) / 5 + 1;
    int64_t m = mp < 10 ? mp + 3 : mp - 9;
    return fmt::format("{:04}-{:02}-{:02}", y + (m <= 2), m, d);
}

// hh:mm:ss.ffffff of 1/300 s ticks since midnight.
std::string tickTime(uint32_t ticks) {
    uint64_t micros = (static_cast<uint64_t>(ticks) * 10000 + 1) / 3;
    uint64_t seconds = micros / 1000000;
    return fmt::format("{:02}:{:02}:{:02}.{:06}", seconds / 3600, seconds / 60 % 60, seconds % 60,
                       micros % 1000000);
}

std::string hexBytes(std::string_view b) {
    std::string out = "\\x";
    for (char c : b) {
        out += fmt::format("{:02x}", static_cast<uint8_t>(c));
    }
    return out;
}

// The text of one non-NULL value of `t` made of `b`.
std::optional<std::string> decodeValue(const ParamType& t, const ParamDescription& d, std::string_view b) {
    switch (t.decode) {
        case Decode::Integer:
            if (b.size() == 1) {
                return std::to_string(static_cast<uint8_t>(b[0]));
            }
            if (b.size() != 2 && b.size() != 4 && b.size() != 8) {
                return std::nullopt;
            }
            return std::to_string(signedLittleEndian(b));
        case Decode::Float:
            if (b.size() != 4 && b.size() != 8) {
                return std::nullopt;
            }
            return floatText(b);
        case Decode::Money:
            if (b.size() != 4 && b.size() != 8) {
                return std::nullopt;
            }
            return moneyText(b);
        case Decode::DateTime:
            if (b.size() == 8) {
                return datetimeText(static_cast<int32_t>(signedLittleEndian(b.substr(0, 4))),
                                    unsignedLittleEndian(b.substr(4, 4)));
            }
            if (b.size() == 4) {
                uint32_t days = static_cast<uint8_t>(b[0]) | static_cast<uint8_t>(b[1]) << 8;
                uint32_t minutes = static_cast<uint8_t>(b[2]) | static_cast<uint8_t>(b[3]) << 8;
                return datetimeText(static_cast<int32_t>(days), minutes * 60 * 300);
            }
            return std::nullopt;
        case Decode::Date:
            if (b.size() != 4) {
                return std::nullopt;
            }
            return civilDate(signedLittleEndian(b) - kDaysFrom1900To1970);
        case Decode::Time:
            if (b.size() != 4) {
                return std::nullopt;
            }
            return tickTime(unsignedLittleEndian(b));
        case Decode::Bit:
            if (b.size() != 1) {
                return std::nullopt;
            }
            return std::string(b[0] ? "1" : "0");
        case Decode::Chars:
            return std::string(b);
        case Decode::Bytes:
            return hexBytes(b);
        case Decode::Number:
            if (b.empty() || b.size() > kMaxNumericBytes) {
                return std::nullopt;
            }
            return numericText(b[0] != 0, b.substr(1), d.scale);
    }
    return std::nullopt;
}

// One value of PARAMS, framed as its format says.
bool readValue(ByteReader& r, const ParamDescription& d, ParamValue& out, ParamError& error) {
    const ParamType& t = *paramType(d.type);
    uint32_t size = 0;
    switch (t.framing) {
        case Framing::Fixed:
            size = t.size;
            break;
        case Framing::Short:
        case Framing::Numeric:
            size = r.u8();
            break;
        case Framing::Long:
            size = r.u32();
            break;
        case Framing::Blob: {
            uint8_t pointer = r.u8();
            if (pointer == 0) {
                out.reset();
                return r.ok();
            }
            r.skip(pointer + kTextTimestampLength);
            size = r.u32();
            if (!r.ok()) {
                break;
            }
            std::string_view b = r.bytes(size);
            out = decodeValue(t, d, b);
            return r.ok() && out;
        }
    }
    if (!r.ok() || size > r.remaining()) {
        error = ParamError{"a parameter value runs past the message"};
        return false;
    }
    if (size == 0 && t.framing != Framing::Fixed) {
        out.reset();
        return true;
    }
    out = decodeValue(t, d, r.bytes(size));
    if (!out) {
        error = ParamError{
            fmt::format("a parameter value of data type {:#04x} has a length of {}", d.type, size)};
        return false;
    }
    return true;
}

bool readParams(ByteReader& r, ParamSet& set, ParamError& error) {
    uint8_t token = r.u8();
    if (token != kParamFmtToken && token != kParamFmt2Token) {
        error = ParamError{"parameters without a parameter format"};
        return false;
    }
    set.wide = token == kParamFmt2Token;
    if (!readFormats(r, set.wide, set.formats, error)) {
        return false;
    }
    if (r.u8() != kParamsToken || !r.ok()) {
        error = ParamError{"a parameter format without parameter values"};
        return false;
    }
    for (ParamDescription& d : set.formats) {
        ParamValue v;
        size_t from = r.position();
        if (!readValue(r, d, v, error)) {
            if (error.reason.empty()) {
                error = ParamError{"a parameter value runs past the message"};
            }
            return false;
        }
        if (d.status & kParamOutput) {
            d.valueBytes = std::string(r.since(from));
        }
        set.values.push_back(std::move(v));
    }
    if (!r.atEnd()) {
        error = ParamError{"bytes follow the parameter values"};
        return false;
    }
    return true;
}

}  // namespace

std::string datetimeText(int32_t days, uint32_t ticks) {
    return civilDate(static_cast<int64_t>(days) - kDaysFrom1900To1970) + " " + tickTime(ticks);
}

std::string numericText(bool negative, std::string_view magnitude, uint8_t scale) {
    // Base-256 big-endian to decimal digits, by repeated multiply-and-add on a digit string.
    std::string digits = "0";
    for (char c : magnitude) {
        unsigned carry = static_cast<uint8_t>(c);
        for (size_t i = digits.size(); i-- > 0;) {
            unsigned v = static_cast<unsigned>(digits[i] - '0') * 256 + carry;
            digits[i] = static_cast<char>('0' + v % 10);
            carry = v / 10;
        }
        while (carry) {
            digits.insert(digits.begin(), static_cast<char>('0' + carry % 10));
            carry /= 10;
        }
    }
    size_t first = digits.find_first_not_of('0');
    digits = first == std::string::npos ? "0" : digits.substr(first);
    if (digits.size() <= scale) {
        digits.insert(0, scale + 1 - digits.size(), '0');
    }
    if (scale > 0) {
        digits.insert(digits.size() - scale, 1, '.');
    }
    bool zero = digits.find_first_not_of("0.") == std::string::npos;
    return (negative && !zero ? "-" : "") + digits;
}

bool numericParam(const ParamDescription& param) {
    const ParamType* t = paramType(param.type);
    if (!t) {
        return false;
    }
    switch (t->decode) {
        case Decode::Integer:
        case Decode::Float:
        case Decode::Money:
        case Decode::Bit:
        case Decode::Number:
            return true;
        default:
            return false;
    }
}

std::variant<ParamSet, ParamError> parseParams(std::string_view payload) {
    ByteReader r(payload);
    ParamSet set;
    ParamError error;
    if (!readParams(r, set, error)) {
        return error;
    }
    return set;
}

std::variant<DynamicRequest, ParamError> parseDynamic(std::string_view payload) {
    ByteReader r(payload);
    uint8_t token = r.u8();
    bool wide = token == kDynamic2Token;
    uint32_t length = wide ? r.u32() : r.u16();
    if (!r.ok() || length > r.remaining()) {
        return ParamError{"the dynamic token's length runs past the message"};
    }
    size_t end = r.position() + length;
    DynamicRequest request;
    request.op = r.u8();
    request.status = r.u8();
    request.id = std::string(r.bytes(r.u8()));
    // The statement length is absent in some acknowledgement-style requests; when present it
    // must account for the rest of the token.
    if (r.position() < end) {
        uint32_t textLength = readLength(r, wide ? 4 : 2);
        request.statement = std::string(r.bytes(textLength));
    }
    if (!r.ok() || r.position() != end) {
        return ParamError{"the dynamic token's length disagrees with its fields"};
    }
    if (request.status & kHasParameters) {
        ParamError error;
        if (!readParams(r, request.params, error)) {
            return error;
        }
    } else if (!r.atEnd()) {
        return ParamError{"bytes follow the dynamic token"};
    }
    return request;
}

std::string_view unwrapProcedure(std::string_view text, std::string_view id) {
    auto skipBlanks = [&](size_t i) {
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n' || text[i] == '\r')) {
            ++i;
        }
        return i;
    };
    auto keyword = [&](size_t i, std::string_view word) {
        if (text.size() - i < word.size()) {
            return std::string_view::npos;
        }
        for (size_t k = 0; k < word.size(); ++k) {
            char c = text[i + k];
            if ((c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c) != word[k]) {
                return std::string_view::npos;
            }
        }
        size_t after = i + word.size();
        if (after < text.size() && text[after] != ' ' && text[after] != '\t' && text[after] != '\n' &&
            text[after] != '\r') {
            return std::string_view::npos;
        }
        return after;
    };
    size_t i = skipBlanks(0);
    for (std::string_view word : {std::string_view("create"), std::string_view("proc")}) {
        i = keyword(i, word);
        if (i == std::string_view::npos) {
            return text;
        }
        i = skipBlanks(i);
    }
    if (text.substr(i, id.size()) != id) {
        return text;
    }
    i = keyword(skipBlanks(i + id.size()), "as");
    if (i == std::string_view::npos) {
        return text;
    }
    return text.substr(skipBlanks(i));
}

void writeDynamicAck(std::string& out, std::string_view id) {
    ByteWriter w(out);
    id = fitText(id, 255);
    w.u8(kDynamicToken);
    w.u16(static_cast<uint16_t>(3 + id.size()));
    w.u8(static_cast<uint8_t>(DynamicOp::Ack));
    w.u8(0);  // status
    w.u8(static_cast<uint8_t>(id.size()));
    w.bytes(id);
}

void writeParamFormat(std::string& out, std::span<const ColumnFormat> params) {
    ByteWriter w(out);
    w.u8(kParamFmtToken);
    size_t lengthAt = w.position();
    w.u16(0);
    w.u16(static_cast<uint16_t>(params.size()));
    for (const ColumnFormat& p : params) {
        std::string_view name = fitText(p.label, 255);
        w.u8(static_cast<uint8_t>(name.size()));
        w.bytes(name);
        w.u8(0);  // status: an input parameter
        w.i32(p.userType);
        writeTypeInfo(out, p);
        w.u8(0);  // no locale
    }
    w.patchU16(lengthAt, static_cast<uint16_t>(w.position() - lengthAt - 2));
}

}  // namespace gw::tds
