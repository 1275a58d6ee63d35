/*
 * convert.cpp - date, time and literal conversions: requests 49, 19, 222 and 251.
 *
 * The gateway delivers DB2 dates, times and timestamps as text (yyyy-mm-dd, hh.mm.ss,
 * yyyy-mm-dd-hh.mm.ss.nnnnnn); the parser turns them into the host's 12-byte DateTimeValue after
 * every fetched row. The formatter turns a host value back into a quoted DB2 literal, kept in the
 * connection record's literal buffer until the next request 49. The identifier test and the
 * widening of long integer literals serve the host while it writes SQL.
 */
#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdio>
#include <cstring>

#include "internal.h"

namespace {

enum { MAX_FRACTION_DIGITS = 6, MICROSECONDS_PER_SECOND = 1000000, YEAR_BASE = 1900 };
enum { WIDEN_FROM_LENGTH = 10 };

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
bool isLetter(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

/* Reads the decimal digits at p, stopping at the first non-digit (atoi without the sign), and
 * moves p past them. */
unsigned readNumber(const char*& p) {
    unsigned value = 0;
    for (; isDigit(*p); ++p) {
        value = value * 10 + static_cast<unsigned>(*p - '0');
    }
    return value;
}

/* Moves p to the first of the separators, or to the end. */
void skipTo(const char*& p, char first, char second) {
    while (*p != '\0' && *p != first && *p != second) {
        ++p;
    }
}

/* Steps over the separator at p, unless p is at the end; answers whether more text follows. */
bool stepOver(const char*& p) {
    if (*p == '\0') {
        return false;
    }
    ++p;
    return true;
}

void TDX_ParseDatePart(DateTimeValue* out, const char*& p) {
    if (*p == '\0') {
        return;
    }
    /* Unsigned arithmetic: a year of ten digits wraps like the other fields instead of
     * overflowing. */
    out->year = static_cast<int16_t>(readNumber(p) - static_cast<unsigned>(YEAR_BASE));
    skipTo(p, '-', '-');
    if (!stepOver(p)) {
        return;
    }
    out->month = static_cast<uint8_t>(readNumber(p) - 1);
    skipTo(p, '-', '-');
    if (!stepOver(p)) {
        return;
    }
    out->day = static_cast<uint8_t>(readNumber(p));
    skipTo(p, ' ', '-');
    stepOver(p);
}

void TDX_ParseTimePart(DateTimeValue* out, const char*& p) {
    if (*p == '\0') {
        return;
    }
    out->hour = static_cast<uint8_t>(readNumber(p));
    skipTo(p, ':', '.');
    if (!stepOver(p)) {
        return;
    }
    out->minute = static_cast<uint8_t>(readNumber(p));
    skipTo(p, ':', '.');
    if (!stepOver(p)) {
        return;
    }
    out->second = static_cast<uint8_t>(readNumber(p));
    skipTo(p, '.', '.');
}

/* The gateway's own forms come with every fetched row: a '#' stands for a digit, every other
 * character for itself. They are checked and read eight bytes at a time through windows that cover
 * the form, and the terminator after it on its own; any other text takes the general reading
 * above, which gives the same values for these forms. The last window ends where the text does:
 * DB-Library has just copied the text in with stores that end there, and a read that finds its
 * bytes in one earlier store is served at once, while one that spans several (the terminator is a
 * store of its own) waits for them to reach the cache. */
constexpr char kDateForm[] = "####-##-##";
constexpr char kTimeForm[] = "##.##.##";
constexpr char kTimestampForm[] = "####-##-##-##.##.##.######";

/* Eight bytes of a form from `at`. A text byte XORed with `pattern` leaves a digit's value in a
 * digit's place and zero where the form's own character stands; adding `bias` to a byte sets its
 * high bit when it is more than 9 (digits) or not zero (the rest). A byte that is already 128 or
 * more has its high bit set before, so with the byte itself ORed in, the high bits of the whole
 * word are clear exactly when all eight bytes match: a carry out of a byte comes only from a
 * byte that does not match. */
struct FormWindow {
    size_t at;
    uint64_t pattern, bias;
};
enum { WINDOW_BYTES = 8 };
constexpr uint64_t HIGH_BITS = 0x8080808080808080ull;

template <size_t N>
constexpr FormWindow windowOf(const char (&form)[N], size_t at) {
    FormWindow w{at, 0, 0};
    for (size_t i = 0; i < WINDOW_BYTES; ++i) {
        const char c = form[at + i];
        w.pattern |= uint64_t{c == '#' ? static_cast<unsigned char>('0') : static_cast<unsigned char>(c)}
                     << (8 * i);
        w.bias |= uint64_t{c == '#' ? 0x76u : 0x7Fu} << (8 * i);
    }
    return w;
}

/* Whether the windows cover every character of the form and stay before its terminator. */
template <size_t N, size_t W>
constexpr bool covers(const char (&)[N], const FormWindow (&windows)[W]) {
    bool covered[N - 1] = {};
    for (const FormWindow& w : windows) {
        if (w.at + WINDOW_BYTES > N - 1) {
            return false;
        }
        for (size_t i = 0; i < WINDOW_BYTES; ++i) {
            covered[w.at + i] = true;
        }
    }
    for (bool c : covered) {
        if (!c) {
            return false;
        }
    }
    return true;
}

constexpr FormWindow kDateWindows[] = {windowOf(kDateForm, 0), windowOf(kDateForm, 2)};
constexpr FormWindow kTimeWindows[] = {windowOf(kTimeForm, 0)};
constexpr FormWindow kTimestampWindows[] = {windowOf(kTimestampForm, 0), windowOf(kTimestampForm, 8),
                                            windowOf(kTimestampForm, 16), windowOf(kTimestampForm, 18)};
static_assert(covers(kDateForm, kDateWindows) && covers(kTimeForm, kTimeWindows) &&
              covers(kTimestampForm, kTimestampWindows));

/* Eight text bytes, the first in the lowest byte. */
uint64_t loadWindow(const char* t) {
    uint64_t word;
    std::memcpy(&word, t, sizeof word);
    if constexpr (std::endian::native == std::endian::big) {
        word = __builtin_bswap64(word);
    }
    return word;
}

/* Checks the window at t and answers its two-digit numbers: byte i of the answer is ten times the
 * digit at i plus the digit at i + 1 (matched bytes hold at most 9, so nothing carries). */
uint64_t readWindow(const char* t, const FormWindow& w, uint64_t& mismatch) {
    const uint64_t values = loadWindow(t + w.at) ^ w.pattern;
    mismatch |= (values + w.bias) | values;
    return values * 10 + (values >> 8);
}

/* The two-digit number at `offset` of a window read by readWindow. */
unsigned pairAt(uint64_t pairs, size_t offset) {
    return static_cast<unsigned>(pairs >> (8 * offset)) & 0xFF;
}

int16_t TDX_YearField(unsigned century, unsigned year) {
    return static_cast<int16_t>(static_cast<int>(century * 100 + year) - YEAR_BASE);
}

/* Writes a whole value in two stores, its first eight bytes and its last four, each put together
 * in a register. The fetch's caller reads the value at once; a read that spans several narrower
 * stores still on their way to the cache waits for all of them, one that finds its bytes in one
 * store does not. */
void TDX_StoreDateTime(DateTimeValue* out, uint32_t microseconds, int16_t year, unsigned month, unsigned day,
                       unsigned hour, unsigned minute, unsigned second) {
    static_assert(offsetof(DateTimeValue, year) == 4 && offsetof(DateTimeValue, month) == 6 &&
                  offsetof(DateTimeValue, day) == 7 && offsetof(DateTimeValue, hour) == 8 &&
                  offsetof(DateTimeValue, minute) == 9 && offsetof(DateTimeValue, second) == 10 &&
                  sizeof(DateTimeValue) == 12);
    if constexpr (std::endian::native == std::endian::little) {
        const uint64_t head = microseconds | uint64_t{static_cast<uint16_t>(year)} << 32 |
                              uint64_t{month & 0xFF} << 48 | uint64_t{day & 0xFF} << 56;
        const uint32_t tail = (hour & 0xFF) | (minute & 0xFF) << 8 | (second & 0xFF) << 16;
        std::memcpy(out, &head, sizeof head);
        std::memcpy(reinterpret_cast<char*>(out) + sizeof head, &tail, sizeof tail);
    } else {
        *out = DateTimeValue{microseconds,
                             year,
                             static_cast<uint8_t>(month),
                             static_cast<uint8_t>(day),
                             static_cast<uint8_t>(hour),
                             static_cast<uint8_t>(minute),
                             static_cast<uint8_t>(second),
                             0};
    }
}

/* Whether the windows read matched and the text ends where the form does. */
template <size_t N>
bool TDX_Matched(const char* t, const char (&)[N], uint64_t mismatch) {
    return (mismatch & HIGH_BITS) == 0 && t[N - 1] == '\0';
}

/* Each reader below answers whether the text at t, of which the form's size can be read, is that
 * form, and then writes the whole value into `out`, which may lie over the text: every byte is read
 * before any is written. */

/* yyyy-mm-dd: the windows at 0 (yyyy-mm-) and 2 (yy-mm-dd). */
bool TDX_ReadFixedDate(DateTimeValue* out, const char* t) {
    uint64_t mismatch = 0;
    const uint64_t a = readWindow(t, kDateWindows[0], mismatch);
    const uint64_t b = readWindow(t, kDateWindows[1], mismatch);
    if (!TDX_Matched(t, kDateForm, mismatch)) {
        return false;
    }
    TDX_StoreDateTime(out, 0, TDX_YearField(pairAt(a, 0), pairAt(a, 2)), pairAt(a, 5) - 1, pairAt(b, 6),
                      KW_NO_TIME_PART, 0, 0);
    return true;
}

/* hh.mm.ss: one window. */
bool TDX_ReadFixedTime(DateTimeValue* out, const char* t) {
    uint64_t mismatch = 0;
    const uint64_t a = readWindow(t, kTimeWindows[0], mismatch);
    if (!TDX_Matched(t, kTimeForm, mismatch)) {
        return false;
    }
    TDX_StoreDateTime(out, 0, KW_NO_DATE_PART, 0, 0, pairAt(a, 0), pairAt(a, 3), pairAt(a, 6));
    return true;
}

/* yyyy-mm-dd-hh.mm.ss.nnnnnn: the windows at 0 (yyyy-mm-), 8 (dd-hh.mm), 16 (.ss.nnnn) and 18
 * (s.nnnnnn). */
bool TDX_ReadFixedTimestamp(DateTimeValue* out, const char* t) {
    uint64_t mismatch = 0;
    const uint64_t a = readWindow(t, kTimestampWindows[0], mismatch);
    const uint64_t b = readWindow(t, kTimestampWindows[1], mismatch);
    const uint64_t c = readWindow(t, kTimestampWindows[2], mismatch);
    const uint64_t d = readWindow(t, kTimestampWindows[3], mismatch);
    if (!TDX_Matched(t, kTimestampForm, mismatch)) {
        return false;
    }
    const uint32_t microseconds = (pairAt(c, 4) * 100 + pairAt(c, 6)) * 100 + pairAt(d, 6);
    TDX_StoreDateTime(out, microseconds, TDX_YearField(pairAt(a, 0), pairAt(a, 2)), pairAt(a, 5) - 1,
                      pairAt(b, 0), pairAt(b, 3), pairAt(b, 6), pairAt(c, 1));
    return true;
}

/* The size of the gateway's form of that kind, its terminator included (0: none). */
size_t TDX_FixedFormSize(int32_t kind) {
    switch (kind) {
        case HOST_DATE:
            return sizeof kDateForm;
        case HOST_TIME:
            return sizeof kTimeForm;
        case HOST_DATETIME:
            return sizeof kTimestampForm;
        default:
            return 0;
    }
}

/* The empty value of a kind: all zero, with the part the kind lacks marked. */
void TDX_ClearDateTime(DateTimeValue* out, int32_t kind) {
    std::memset(out, 0, sizeof *out);
    if (kind == HOST_DATE) {
        out->hour = KW_NO_TIME_PART;
    } else if (kind == HOST_TIME) {
        out->year = KW_NO_DATE_PART;
    }
}

/* The general reading, for any text, into the empty value of its kind. Kept out of line, so that
 * reading a fixed form does not pay for its registers. */
[[gnu::noinline]] void TDX_ReadDateTimeText(DateTimeValue* out, const char* p, int32_t kind) {
    DateTimeValue value; /* the text may lie under `out` */
    TDX_ClearDateTime(&value, kind);
    if (kind == HOST_DATETIME || kind == HOST_DATE) {
        TDX_ParseDatePart(&value, p);
    }
    if (kind == HOST_DATETIME || kind == HOST_TIME) {
        TDX_ParseTimePart(&value, p);
    }
    if (*p == '.') {
        ++p;
        uint32_t scale = MICROSECONDS_PER_SECOND;
        uint32_t digits = 0;
        for (int n = 0; n < MAX_FRACTION_DIGITS && isDigit(*p); ++n, ++p) {
            digits = digits * 10 + static_cast<uint32_t>(*p - '0');
            scale /= 10;
        }
        value.microseconds = scale * digits;
    }
    TDX_StoreDateTime(out, value.microseconds, value.year, value.month, value.day, value.hour, value.minute,
                      value.second);
}

/* Any text the buffer's size does not let TDX_ParseDateTimeIn read as a fixed form, and any text
 * that is not one. One exactly as long as the gateway's form of its kind can still be read as a
 * buffer of the form's size. Out of line for the same reason as the general reading. */
[[gnu::noinline]] void TDX_ParseOtherText(DateTimeValue* out, const char* buffer, size_t size, int32_t kind) {
    const char* t = buffer != nullptr ? buffer : "";
    const size_t formSize = TDX_FixedFormSize(kind);
    if (size < formSize && strnlen(t, formSize) == formSize - 1) {
        TDX_ParseDateTimeIn(out, t, formSize, kind);
    } else {
        TDX_ReadDateTimeText(out, t, kind);
    }
}

}  // namespace

/* Marked hot, like the router's entry and the fetch: the compiler keeps the code a fetched row
 * runs together, in few lines and pages, which the work between two rows has often pushed out. */
[[gnu::hot]] void TDX_ParseDateTimeIn(DateTimeValue* out, const char* buffer, size_t size, int32_t kind) {
    if (buffer != nullptr) {
        switch (kind) {
            case HOST_DATE:
                if (size >= sizeof kDateForm && TDX_ReadFixedDate(out, buffer)) {
                    return;
                }
                break;
            case HOST_TIME:
                if (size >= sizeof kTimeForm && TDX_ReadFixedTime(out, buffer)) {
                    return;
                }
                break;
            case HOST_DATETIME:
                if (size >= sizeof kTimestampForm && TDX_ReadFixedTimestamp(out, buffer)) {
                    return;
                }
                break;
            default:
                break;
        }
    }
    TDX_ParseOtherText(out, buffer, size, kind);
}

void TDX_ParseDateTime(DateTimeValue* out, const char* text, int32_t kind) {
    TDX_ParseDateTimeIn(out, text, 0, kind);
}

void TDX_DateTimeLiteral(RequestBlock* block) {
    ConnectionRecord* record = block->connection;
    const auto* value = static_cast<const DateTimeValue*>(block->arg);
    if (record == nullptr || value == nullptr) {
        /* The literal lives in the connection record: without one there is nowhere to keep it. */
        TDX_LoadMessage(block, IDS_NO_CONNECTION, 255);
        block->status = KW_STATUS_DRIVER_FAILURE;
        return;
    }
    char* out = record->literalBuffer;
    const size_t size = sizeof record->literalBuffer;
    std::memset(out, 0, size);
    if (value->year != KW_NO_DATE_PART && value->hour != KW_NO_TIME_PART &&
        value->microseconds >= MICROSECONDS_PER_SECOND) {
        /* Six digits cannot hold a second or more: cutting the fraction to six characters would
         * write another instant, so the value is refused. */
        TDX_LoadFormattedMessage(block, IDS_FRACTION_OUT_OF_RANGE,
                                 static_cast<unsigned long>(value->microseconds));
        block->status = KW_STATUS_DRIVER_FAILURE;
        return;
    }
    size_t used = 0;
    auto append = [&](const char* format, auto... args) {
        const int n = std::snprintf(out + used, size - used, format, args...);
        if (n > 0) {
            used = std::min(size - 1, used + static_cast<size_t>(n));
        }
    };
    const bool hasDate = value->year != KW_NO_DATE_PART;
    append("%c", '\'');
    if (hasDate) {
        append("%u-%u-%u", static_cast<unsigned>(value->year + YEAR_BASE), value->month + 1u,
               static_cast<unsigned>(value->day));
    }
    if (value->hour != KW_NO_TIME_PART) {
        if (hasDate) {
            append("%c", '-');
        }
        append("%u.%02u.%02u", static_cast<unsigned>(value->hour), static_cast<unsigned>(value->minute),
               static_cast<unsigned>(value->second));
        if (hasDate) {
            char fraction[24] = {};
            std::snprintf(fraction, sizeof fraction, "%.6lu",
                          static_cast<unsigned long>(value->microseconds));
            fraction[MAX_FRACTION_DIGITS] = '\0';
            append(".%s", fraction);
        }
    }
    append("%c", '\'');
    block->result = reinterpret_cast<intptr_t>(out);
}

bool TDX_IsNameCharacter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '#' || c == '@' || c == '$';
}

bool TDX_IsLineSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool TDX_IsIdentifierText(const char* text) {
    const auto* p = reinterpret_cast<const unsigned char*>(text != nullptr ? text : "");
    if (!(isLetter(*p) || *p == '_' || *p >= 128)) {
        return false;
    }
    for (++p; *p != '\0'; ++p) {
        if (!(isLetter(*p) || isDigit(static_cast<char>(*p)) || *p == '_' || *p == '#' || *p == '$' ||
              *p >= 128)) {
            return false;
        }
    }
    return true;
}

void TDX_IsIdentifier(RequestBlock* block) {
    block->status =
        TDX_IsIdentifierText(static_cast<const char*>(block->arg)) ? KW_STATUS_OK : KW_STATUS_NO_DATA;
}

void TDX_WidenIntegerLiteral(RequestBlock* block) {
    char* text = static_cast<char*>(block->arg);
    block->status = KW_STATUS_OK;
    if (text != nullptr && std::strchr(text, '.') == nullptr && std::strlen(text) >= WIDEN_FROM_LENGTH) {
        std::strcat(text, ".0");
    }
}
