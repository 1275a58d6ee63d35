// login_bytes.h - TDS 5.0 login records built field by field for tests.
//
// Writes the record as FreeTDS 1.3.17 sends it (fixed-width fields, each followed by its length
// byte, at the offsets of the TDS 5.0 login layout), so that parser tests and socket-level tests
// feed the gateway exactly what a real client would. It shares no code with the gateway.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>

namespace kwtest {

struct LoginFields {
    std::string host = "testhost";
    std::string user = "JOE";
    std::string password = "secret";
    std::string app = "kwtest";
    std::string server = "KWGW";
    std::string packetSize = "512";
    std::string charset;  // FreeTDS leaves it empty; Sybase's own clients name theirs
    bool capability = true;
};

// The 32 capability bytes FreeTDS 1.3.17 sends after E2 20 00.
inline const std::string& freetdsCapabilities() {
    static const std::string bytes = std::string(
        "\x01\x0E\x00\x00\x60\x08\x81\x81\xE8\x0F\x6D\x7F\xFF\xFF\xFF\xFE"
        "\x02\x0E\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x68\x00\x00\x00",
        32);
    return bytes;
}

inline std::string loginRecord(const LoginFields& f) {
    std::string rec(568, '\0');
    auto field = [&rec](size_t offset, size_t width, const std::string& value) {
        size_t n = value.size() < width ? value.size() : width;
        rec.replace(offset, n, value.substr(0, n));
        rec[offset + width] = static_cast<char>(n);
    };
    field(0, 30, f.host);
    field(31, 30, f.user);
    field(62, 30, f.password);
    field(93, 30, "4242");
    const char byteOrder[6] = {3, 1, 6, 10, 9, 1};
    rec.replace(124, 6, byteOrder, 6);
    field(140, 30, f.app);
    field(171, 30, f.server);
    // remote password block: 0, length, password, and at 457 the block length
    size_t p = f.password.size() <= 253 ? f.password.size() : 0;
    rec[202] = 0;
    rec[203] = static_cast<char>(p);
    rec.replace(204, p, f.password.substr(0, p));
    rec[457] = static_cast<char>(p + 2);
    const char tdsVersion[4] = {5, 0, 0, 0};
    rec.replace(458, 4, tdsVersion, 4);
    field(462, 10, "DB-Library");
    rec.replace(473, 4, tdsVersion, 4);
    const char formats[3] = {0, 0x0D, 0x11};
    rec.replace(477, 3, formats, 3);
    field(480, 30, "us_english");
    field(525, 30, f.charset);
    rec[556] = 1;
    field(557, 6, f.packetSize);
    if (f.capability) {
        rec += std::string("\xE2\x20\x00", 3) + freetdsCapabilities();
    }
    return rec;
}

// `payload` as packets of type `type` of at most `packetSize` bytes, the last one marked.
inline std::string packets(uint8_t type, const std::string& payload, size_t packetSize = 512) {
    std::string out;
    size_t at = 0;
    do {
        const size_t n = std::min(payload.size() - at, packetSize - 8), len = n + 8;
        const bool last = at + n == payload.size();
        out += std::string{char(type), char(last), char(len >> 8), char(len & 0xFF), 0, 0, 0, 0};
        out += payload.substr(at, n);
        at += n;
    } while (at < payload.size());
    return out;
}

// A LANGUAGE token with `text`.
inline std::string languageToken(const std::string& text) {
    std::string t = "\x21";
    uint32_t len = static_cast<uint32_t>(text.size() + 1);
    for (int i = 0; i < 4; ++i) {
        t += static_cast<char>((len >> (8 * i)) & 0xFF);
    }
    t += '\0';
    return t + text;
}

}  // namespace kwtest
