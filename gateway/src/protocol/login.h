// login.h - the TDS 5.0 login record a client sends first, read into named fields.
//
// parseLogin checks every length byte against its field's width and the capability token's
// length against the bytes that follow, and refuses anything else with a reason; it never
// reads outside the payload. The password is taken from the long remote-password block when
// the 30-byte field was too small for it.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace gw::tds {

struct LoginRecord {
    std::string hostName;
    std::string userName;
    std::string password;
    std::string hostProcess;
    std::string appName;
    std::string serverName;
    std::string libraryName;  // "DB-Library", "CT-Library", ...
    std::string language;
    std::string charset;
    uint8_t tdsMajor = 0;      // 5 for TDS 5.0
    size_t packetSize = 0;     // what the client asked for; 0 when absent or unreadable
    std::string capabilities;  // the bytes after E2 and its length, empty when absent
};

struct LoginError {
    std::string reason;
};

std::variant<LoginRecord, LoginError> parseLogin(std::string_view payload);

// The packet size to grant for a requested one. A client that asks for 512 (what FreeTDS asks
// unless told otherwise) or for nothing usable gets the server's default, as a Sybase server's
// default network packet size does; a larger request up to 65535 is granted as asked.
size_t grantPacketSize(size_t requested, size_t serverDefault);

}  // namespace gw::tds
