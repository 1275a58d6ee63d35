/*
 * text_conversion.cpp - the text services: trailing-character trimming (kwshr_trimTrailing), quote
 * doubling for SQL string literals (kwshr_makeSqlStringText) and decimal text into the host's
 * 16-byte decimal (kwshr_textToDecimal), plus the ASCII case helpers the other files share.
 * It owns one thread-local text: the last quoted literal, valid until that thread's next call.
 * A decimal it produces is exactly the value of its text, with a mantissa below 2^96 and a scale of
 * at most 28; a text whose value it cannot hold exactly is refused, never rounded. Zero is never
 * negative (a "-0.00" gives a positive zero of scale 2, so every value has one form).
 */
#include <bit>
#include <cstddef>
#include <cstring>
#include <string>

#include "internal.h"
#include "kwconst.h"

namespace shr {

int compareIgnoringCase(std::string_view a, std::string_view b) {
    size_t common = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < common; ++i) {
        auto ca = static_cast<unsigned char>(foldAscii(a[i]));
        auto cb = static_cast<unsigned char>(foldAscii(b[i]));
        if (ca != cb) {
            return ca < cb ? -1 : 1;
        }
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

bool equalIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && compareIgnoringCase(a, b) == 0;
}

int32_t copyCut(std::string_view text, char* buffer, int32_t size) {
    if (buffer == nullptr || size <= 0) {
        return 0;
    }
    size_t room = static_cast<size_t>(size) - 1;
    size_t length = text.size() < room ? text.size() : room;
    std::memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
    return static_cast<int32_t>(length);
}

namespace {

constexpr int kMaxDecimalScale = 28;
/* Every number of this many digits fits the mantissa; some of one digit more do (up to 2^96 - 1,
 * 79228162514264337593543950335). */
constexpr int kAlwaysHeldDigits = 28;

/* The 96-bit mantissa as three 32-bit limbs, lowest first: portable to targets without a
 * 128-bit integer. */
struct Mantissa {
    uint32_t limbs[3] = {0, 0, 0};

    /* this = this * 10 + digit; false when the result no longer fits 96 bits. */
    constexpr bool appendDigit(uint32_t digit) {
        uint64_t carry = digit;
        for (uint32_t& limb : limbs) {
            uint64_t value = uint64_t{limb} * 10 + carry;
            limb = static_cast<uint32_t>(value);
            carry = value >> 32;
        }
        return carry == 0;
    }
    constexpr bool isZero() const { return (limbs[0] | limbs[1] | limbs[2]) == 0; }
};
static_assert(
    [] {
        Mantissa largest;
        for (int i = 0; i < kAlwaysHeldDigits; ++i) {
            if (!largest.appendDigit(9)) {
                return false;
            }
        }
        return true;
    }(),
    "28 decimal digits must fit the 96-bit mantissa");

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

/* The parts of a decimal text: all its digits in order and how many stood after the point. */
struct DecimalText {
    bool negative = false;
    std::string_view integerDigits;
    std::string_view fractionDigits;
};

bool splitDecimal(std::string_view text, DecimalText& parts) {
    size_t at = 0;
    auto digitsFrom = [&](size_t from) {
        size_t end = from;
        while (end < text.size() && isDigit(text[end])) {
            ++end;
        }
        return end;
    };
    while (at < text.size() && isBlank(text[at])) {
        ++at;
    }
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
        parts.negative = text[at] == '-';
        ++at;
    }
    size_t end = digitsFrom(at);
    parts.integerDigits = text.substr(at, end - at);
    at = end;
    if (at < text.size() && text[at] == '.') {
        end = digitsFrom(at + 1);
        parts.fractionDigits = text.substr(at + 1, end - at - 1);
        at = end;
    }
    while (at < text.size() && isBlank(text[at])) {
        ++at;
    }
    return at == text.size() && (!parts.integerDigits.empty() || !parts.fractionDigits.empty());
}

/* The value of the parts, exactly. Zeros at the end of the fraction change no value: they are
 * dropped where the scale limit or the mantissa needs it, and kept otherwise, so the value keeps
 * the scale it was written with. Answers false when the value itself does not fit. */
bool fillDecimal(const DecimalText& parts, HostDecimal& out) {
    std::string_view fraction = parts.fractionDigits;
    while (!fraction.empty() && fraction.back() == '0') {
        fraction.remove_suffix(1);
    }
    if (fraction.size() > static_cast<size_t>(kMaxDecimalScale)) {
        return false;
    }
    Mantissa mantissa;
    for (std::string_view digits : {parts.integerDigits, fraction}) {
        for (char c : digits) {
            if (!mantissa.appendDigit(static_cast<uint32_t>(c - '0'))) {
                return false;
            }
        }
    }
    size_t scale = fraction.size();
    const size_t written = parts.fractionDigits.size();
    const size_t wanted = written < static_cast<size_t>(kMaxDecimalScale) ? written : kMaxDecimalScale;
    while (scale < wanted) {
        Mantissa wider = mantissa;
        if (!wider.appendDigit(0)) {
            break;
        }
        mantissa = wider;
        ++scale;
    }
    out.scale = static_cast<uint8_t>(scale);
    out.sign = (parts.negative && !mantissa.isZero()) ? KW_DECIMAL_NEGATIVE : 0;
    out.high = mantissa.limbs[2];
    out.low = (uint64_t{mantissa.limbs[1]} << 32) | mantissa.limbs[0];
    return true;
}

/* Moves p past the digits there, appending them to value; answers the character after them. A
 * value of more than 19 digits wraps, and its caller refuses it. */
unsigned appendDigits(const unsigned char*& p, uint64_t& value) {
    unsigned c = *p;
    for (unsigned digit; (digit = c - unsigned{'0'}) <= 9; c = *++p) {
        value = value * 10 + digit;
    }
    return c;
}

/* The common shape in one pass (the driver converts a decimal of every fetched row): an optional
 * sign, digits, an optional point and digits, nothing else, at most 19 digits in all. Answers false,
 * leaving `out` alone, for anything else, which the general reading then takes. */
bool quickDecimal(const char* text, HostDecimal& out) {
    constexpr size_t kDigitsIn64Bits = 19;
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    const bool negative = *p == '-';
    p += *p == '-' || *p == '+' ? 1 : 0;
    const unsigned char* const start = p;
    uint64_t value = 0;
    unsigned c = appendDigits(p, value);
    size_t digits = static_cast<size_t>(p - start);
    size_t scale = 0;
    if (c == '.') {
        const unsigned char* const fraction = ++p;
        c = appendDigits(p, value);
        scale = static_cast<size_t>(p - fraction);
        digits += scale;
    }
    /* No digit at all makes `digits - 1` the largest size_t. */
    if (c != '\0' || digits - 1 >= kDigitsIn64Bits) {
        return false;
    }
    out.reserved = 0;
    out.scale = static_cast<uint8_t>(scale);
    out.sign = negative && value != 0 ? KW_DECIMAL_NEGATIVE : 0;
    out.high = 0;
    out.low = value;
    return true;
}

/* Writes the decimal in one 16-byte store where the compiler offers one, put together in
 * registers. The driver reads it back at once; a read that spans several narrower stores still on
 * their way to the cache waits for all of them, one that finds its bytes in one store does not. */
void storeDecimal(HostDecimal* out, const HostDecimal& value) {
    static_assert(offsetof(HostDecimal, scale) == 2 && offsetof(HostDecimal, sign) == 3 &&
                  offsetof(HostDecimal, high) == 4 && offsetof(HostDecimal, low) == 8 &&
                  sizeof(HostDecimal) == 16);
#if defined(__GNUC__)
    if constexpr (std::endian::native == std::endian::little) {
        using Words = uint64_t __attribute__((vector_size(16)));
        const Words words = {uint64_t{value.reserved} | uint64_t{value.scale} << 16 |
                                 uint64_t{value.sign} << 24 | uint64_t{value.high} << 32,
                             value.low};
        std::memcpy(out, &words, sizeof words);
        return;
    }
#endif
    *out = value;
}

/* Any text the quick reading does not take into `out`, and the zero decimal for what no decimal
 * is; answers 1 for a decimal. Kept out of line, so that the quick reading does not pay for its
 * registers. */
[[gnu::noinline]] int32_t readDecimalInto(HostDecimal* out, const char* text) {
    HostDecimal value{};
    DecimalText parts;
    if (text == nullptr || !splitDecimal(text, parts) || !fillDecimal(parts, value)) {
        storeDecimal(out, HostDecimal{});
        return 0;
    }
    storeDecimal(out, value);
    return 1;
}

}  // namespace
}  // namespace shr

extern "C" {

void kwshr_trimTrailing(char* text, int32_t character) {
    if (text == nullptr || character == 0) {
        return;
    }
    auto c = static_cast<char>(character);
    size_t length = std::strlen(text);
    while (length > 0 && text[length - 1] == c) {
        --length;
    }
    text[length] = '\0';
}

int32_t kwshr_textToDecimal(HostDecimal* out, const char* text) {
    if (out == nullptr) {
        return 0;
    }
    /* The quick value stays in registers; the general reading's goes through memory. */
    HostDecimal quick;
    if (text != nullptr && shr::quickDecimal(text, quick)) {
        shr::storeDecimal(out, quick);
        return 1;
    }
    return shr::readDecimalInto(out, text);
}

void kwshr_makeSqlStringText(RequestBlock* block) {
    static const char kEmpty[] = "";
    thread_local std::string quoted;
    if (block == nullptr) {
        return;
    }
    block->result = reinterpret_cast<intptr_t>(kEmpty);
    const auto* text = static_cast<const char*>(block->arg);
    if (text == nullptr) {
        return;
    }
    shr::guardedVoid([&] {
        quoted.clear();
        for (const char* c = text; *c != '\0'; ++c) {
            quoted += *c;
            if (*c == '\'') {
                quoted += '\'';
            }
        }
        block->result = reinterpret_cast<intptr_t>(quoted.c_str());
    });
}

}  // extern "C"
