// datetime.cpp - fuzzes the date, time and timestamp reader with any text of each kind, and with
// values written as the gateway writes them and as the driver's literal writes them.
//
// Invariants: the reader fills every field of its kind and marks the part a kind lacks; the
// fraction is below one second; a value read from the gateway's fixed form and from the
// driver's own literal of it is the value that was written.
#include <cstdio>
#include <cstring>
#include <string>

#include "driver_block.h"

namespace {

bool sameValue(const DateTimeValue& a, const DateTimeValue& b) {
    return a.year == b.year && a.month == b.month && a.day == b.day && a.hour == b.hour &&
           a.minute == b.minute && a.second == b.second && a.microseconds == b.microseconds;
}

void checkAnyText(const std::string& text) {
    for (int32_t kind : {HOST_DATE, HOST_TIME, HOST_DATETIME}) {
        DateTimeValue value;
        std::memset(&value, 0x5A, sizeof value);
        TDX_ParseDateTime(&value, text.c_str(), kind);
        KW_FUZZ_CHECK(value.zero == 0);
        KW_FUZZ_CHECK(value.microseconds < 1000000);
        if (kind == HOST_DATE) {
            KW_FUZZ_CHECK(value.hour == KW_NO_TIME_PART && value.minute == 0 && value.second == 0);
        }
        if (kind == HOST_TIME) {
            KW_FUZZ_CHECK(value.year == KW_NO_DATE_PART && value.month == 0 && value.day == 0);
        }
    }
}

// A valid timestamp from the input's bytes.
DateTimeValue valueFrom(kwfuzz::InputReader& in) {
    DateTimeValue v{};
    v.year = static_cast<int16_t>(1 + (in.byte() << 8 | in.byte()) % 9999 - 1900);
    v.month = in.byte() % 12;
    v.day = 1 + in.byte() % 31;
    v.hour = in.byte() % 24;
    v.minute = in.byte() % 60;
    v.second = in.byte() % 60;
    v.microseconds = (static_cast<uint32_t>(in.byte()) << 16 | in.byte() << 8 | in.byte()) % 1000000;
    return v;
}

void checkRoundTrips(const DateTimeValue& v) {
    char canonical[40];
    std::snprintf(canonical, sizeof canonical, "%04d-%02u-%02u-%02u.%02u.%02u.%06u", v.year + 1900,
                  v.month + 1u, static_cast<unsigned>(v.day), static_cast<unsigned>(v.hour),
                  static_cast<unsigned>(v.minute), static_cast<unsigned>(v.second),
                  static_cast<unsigned>(v.microseconds));
    DateTimeValue read;
    TDX_ParseDateTime(&read, canonical, HOST_DATETIME);
    KW_FUZZ_CHECK(sameValue(read, v));

    // The literal the driver writes for the value, read back without its quotes.
    kwfuzz::Block b;
    ConnectionRecord record{};
    b.block.connection = &record;
    b.block.arg = const_cast<DateTimeValue*>(&v);
    TDX_DateTimeLiteral(&b.block);
    const auto* literal = reinterpret_cast<const char*>(b.block.result);
    KW_FUZZ_CHECK(literal == record.literalBuffer);
    std::string inner(literal);
    KW_FUZZ_CHECK(inner.size() >= 2 && inner.front() == '\'' && inner.back() == '\'');
    inner = inner.substr(1, inner.size() - 2);
    TDX_ParseDateTime(&read, inner.c_str(), HOST_DATETIME);
    KW_FUZZ_CHECK(sameValue(read, v));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    checkAnyText(kwfuzz::cText(kwfuzz::asText(data, size)));
    kwfuzz::InputReader in(data, size);
    checkRoundTrips(valueFrom(in));
    return 0;
}
