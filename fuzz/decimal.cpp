// decimal.cpp - fuzzes the decimal text conversion against a plain reading of the text.
//
// Invariants: a text is taken exactly when it is blanks, an optional sign, digits with an optional
// point, and blanks, and its value fits 96 bits at a scale of at most 28 (trailing fraction zeros
// dropped as far as needed); the decimal taken has exactly the text's value, its scale is the
// text's as far as it fits, and zero is never negative; a refused text leaves a zero decimal.
#include <algorithm>
#include <cstring>
#include <string>

#include "check.h"
#include "kwconst.h"
#include "kwshr.h"

namespace {

using u128 = unsigned __int128;

struct Reading {
    bool wellFormed = false;
    bool negative = false;
    std::string digits;  // integer digits then fraction digits
    size_t scale = 0;    // fraction digits as written
};

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

Reading readText(std::string_view t) {
    Reading r;
    size_t i = 0;
    while (i < t.size() && (t[i] == ' ' || t[i] == '\t')) {
        ++i;
    }
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) {
        r.negative = t[i++] == '-';
    }
    size_t count = 0;
    for (; i < t.size() && isDigit(t[i]); ++i, ++count) {
        r.digits += t[i];
    }
    if (i < t.size() && t[i] == '.') {
        for (++i; i < t.size() && isDigit(t[i]); ++i, ++count, ++r.scale) {
            r.digits += t[i];
        }
    }
    while (i < t.size() && (t[i] == ' ' || t[i] == '\t')) {
        ++i;
    }
    r.wellFormed = i == t.size() && count > 0;
    return r;
}

// The digits without leading zeros and the scale without trailing fraction zeros: equal values
// have equal canonical forms.
std::pair<std::string, size_t> canonical(std::string digits, size_t scale) {
    while (scale > 0 && !digits.empty() && digits.back() == '0') {
        digits.pop_back();
        --scale;
    }
    size_t lead = digits.find_first_not_of('0');
    digits.erase(0, lead == std::string::npos ? digits.size() : lead);
    return {digits, digits.empty() ? 0 : scale};
}

std::string digitsOf(u128 m) {
    std::string s;
    do {
        s.insert(s.begin(), static_cast<char>('0' + static_cast<int>(m % 10)));
        m /= 10;
    } while (m != 0);
    return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text = kwfuzz::cText(kwfuzz::asText(data, size));
    HostDecimal d;
    std::memset(&d, 0x5A, sizeof d);
    const int32_t taken = kwshr_textToDecimal(&d, text.c_str());
    const Reading r = readText(text);
    const auto [digits, minimalScale] = canonical(r.digits, r.scale);
    // The value fits when its significant digits do at the smallest scale it can have.
    const bool fits =
        r.wellFormed && minimalScale <= 28 &&
        (digits.size() < 29 || (digits.size() == 29 && digits <= "79228162514264337593543950335"));
    KW_FUZZ_CHECK((taken != 0) == fits);
    if (taken == 0) {
        KW_FUZZ_CHECK(d.scale == 0 && d.sign == 0 && d.high == 0 && d.low == 0 && d.reserved == 0);
        return 0;
    }
    // The scale as written, or as near to it as 28 and the mantissa allow.
    u128 value = 0;
    for (char c : digits) {
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    const u128 limit = static_cast<u128>(1) << 96;
    size_t scale = minimalScale;
    while (scale < std::min<size_t>(r.scale, 28) && value * 10 < limit) {
        value *= 10;
        ++scale;
    }
    KW_FUZZ_CHECK(d.reserved == 0 && d.scale == scale);
    const u128 mantissa = (static_cast<u128>(d.high) << 64) | d.low;
    const auto [got, gotScale] = canonical(digitsOf(mantissa), d.scale);
    KW_FUZZ_CHECK(got == digits && gotScale == minimalScale);
    KW_FUZZ_CHECK(d.sign == ((r.negative && mantissa != 0) ? KW_DECIMAL_NEGATIVE : 0));
    return 0;
}
