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

/* Decimal value of the digits at p, stopping at the first non-digit (atoi without the sign). */
unsigned readNumber(const char* p) {
    unsigned value = 0;
    for (; isDigit(*p); ++p) {
        value = value * 10 + static_cast<unsigned>(*p - '0');
    }
    return value;
}

/* Moves p to the first of the stop characters, or to the end. */
const char* skipTo(const char* p, const char* stops) {
    while (*p != '\0' && std::strchr(stops, *p) == nullptr) {
        ++p;
    }
    return p;
}

const char* TDX_ParseDatePart(DateTimeValue* out, const char* p) {
    if (*p == '\0') {
        return p;
    }
    out->year = static_cast<int16_t>(static_cast<int>(readNumber(p)) - YEAR_BASE);
    p = skipTo(p, "-");
    if (*p == '\0') {
        return p;
    }
    ++p;
    out->month = static_cast<uint8_t>(readNumber(p) - 1);
    p = skipTo(p, "-");
    if (*p == '\0') {
        return p;
    }
    ++p;
    out->day = static_cast<uint8_t>(readNumber(p));
    p = skipTo(p, " -");
    return *p != '\0' ? p + 1 : p;
}

const char* TDX_ParseTimePart(DateTimeValue* out, const char* p) {
    if (*p == '\0') {
        return p;
    }
    out->hour = static_cast<uint8_t>(readNumber(p));
    p = skipTo(p, ":.");
    if (*p == '\0') {
        return p;
    }
    ++p;
    out->minute = static_cast<uint8_t>(readNumber(p));
    p = skipTo(p, ":.");
    if (*p == '\0') {
        return p;
    }
    ++p;
    out->second = static_cast<uint8_t>(readNumber(p));
    return skipTo(p, ".");
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
    if (kind == HOST_DATETIME || kind == HOST_DATE) {
        p = TDX_ParseDatePart(out, p);
    }
    if (kind == HOST_DATETIME || kind == HOST_TIME) {
        p = TDX_ParseTimePart(out, p);
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
    size_t used = 0;
    auto append = [&](const char* format, auto... args) {
        const int n = std::snprintf(out + used, size - used, format, args...);
        if (n > 0) {
            used = std::min(size - 1, used + static_cast<size_t>(n));
        }
    };
    const bool hasDate = value->year != KW_NO_DATE_PART;
    append("'");
    if (hasDate) {
        append("%u-%u-%u", static_cast<unsigned>(value->year + YEAR_BASE), value->month + 1u,
               static_cast<unsigned>(value->day));
    }
    if (value->hour != KW_NO_TIME_PART) {
        if (hasDate) {
            append("-");
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
    append("'");
    block->result = reinterpret_cast<intptr_t>(out);
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
