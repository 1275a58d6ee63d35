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

/* The gateway's own forms (yyyy-mm-dd, hh.mm.ss, yyyy-mm-dd-hh.mm.ss.nnnnnn) come with every
 * fetched row; they are read straight from their fixed places. Any other text takes the general
 * reading below, which gives the same values for these forms. */
bool digits2(const char* t) {
    return isDigit(t[0]) && isDigit(t[1]);
}
unsigned twoDigits(const char* t) {
    return static_cast<unsigned>((t[0] - '0') * 10 + (t[1] - '0'));
}

/* yyyy-mm-dd at t, and hh.mm.ss at t; the caller checks what follows. */
bool isCanonicalDate(const char* t) {
    return digits2(t) && digits2(t + 2) && t[4] == '-' && digits2(t + 5) && t[7] == '-' && digits2(t + 8);
}
bool isCanonicalTime(const char* t) {
    return digits2(t) && t[2] == '.' && digits2(t + 3) && t[5] == '.' && digits2(t + 6);
}

void TDX_ReadCanonicalDate(DateTimeValue* out, const char* t) {
    out->year = static_cast<int16_t>(static_cast<int>(twoDigits(t) * 100 + twoDigits(t + 2)) - YEAR_BASE);
    out->month = static_cast<uint8_t>(twoDigits(t + 5) - 1);
    out->day = static_cast<uint8_t>(twoDigits(t + 8));
}
void TDX_ReadCanonicalTime(DateTimeValue* out, const char* t) {
    out->hour = static_cast<uint8_t>(twoDigits(t));
    out->minute = static_cast<uint8_t>(twoDigits(t + 3));
    out->second = static_cast<uint8_t>(twoDigits(t + 6));
}

/* Answers whether the text was one of the gateway's forms of that kind, and then fills `out`. */
bool TDX_ParseCanonical(DateTimeValue* out, const char* t, int32_t kind) {
    enum { DATE_LENGTH = 10, TIME_LENGTH = 8, TIMESTAMP_LENGTH = 26 };
    switch (kind) {
        case HOST_DATE:
            /* Each check stops at the first character that differs, so none reads past the end. */
            if (!isCanonicalDate(t) || t[DATE_LENGTH] != '\0') {
                return false;
            }
            TDX_ReadCanonicalDate(out, t);
            return true;
        case HOST_TIME:
            if (!isCanonicalTime(t) || t[TIME_LENGTH] != '\0') {
                return false;
            }
            TDX_ReadCanonicalTime(out, t);
            return true;
        case HOST_DATETIME: {
            const char* time = t + DATE_LENGTH + 1;
            const char* fraction = time + TIME_LENGTH + 1;
            if (!isCanonicalDate(t) || t[DATE_LENGTH] != '-' || !isCanonicalTime(time) ||
                fraction[-1] != '.' || !digits2(fraction) || !digits2(fraction + 2) ||
                !digits2(fraction + 4) || t[TIMESTAMP_LENGTH] != '\0') {
                return false;
            }
            TDX_ReadCanonicalDate(out, t);
            TDX_ReadCanonicalTime(out, time);
            out->microseconds =
                (twoDigits(fraction) * 100 + twoDigits(fraction + 2)) * 100 + twoDigits(fraction + 4);
            return true;
        }
        default:
            return false;
    }
}

}  // namespace

void TDX_ParseDateTime(DateTimeValue* out, const char* text, int32_t kind) {
    std::memset(out, 0, sizeof *out);
    if (kind == HOST_DATE) {
        out->hour = KW_NO_TIME_PART;
    } else if (kind == HOST_TIME) {
        out->year = KW_NO_DATE_PART;
    }
    const char* p = text != nullptr ? text : "";
    if (TDX_ParseCanonical(out, p, kind)) {
        return;
    }
    if (kind == HOST_DATETIME || kind == HOST_DATE) {
        TDX_ParseDatePart(out, p);
    }
    if (kind == HOST_DATETIME || kind == HOST_TIME) {
        TDX_ParseTimePart(out, p);
    }
    if (*p == '.') {
        ++p;
        uint32_t scale = MICROSECONDS_PER_SECOND;
        uint32_t digits = 0;
        for (int n = 0; n < MAX_FRACTION_DIGITS && isDigit(*p); ++n, ++p) {
            digits = digits * 10 + static_cast<uint32_t>(*p - '0');
            scale /= 10;
        }
        out->microseconds = scale * digits;
    }
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
