// login.cpp - reads the login record and its capability token.
//
// Serves the session's first step. The record is a run of fixed-width fields, each string
// followed by its actual length; the table below names them with their offsets so that no code
// counts bytes by hand. Invariant: a LoginRecord is returned only when every field fitted.
#include "login.h"

#include <charconv>

#include "bytes.h"

namespace gw::tds {
namespace {

// A fixed-width string field followed by a one-byte actual length.
struct StringField {
    size_t offset;
    size_t width;
};

constexpr StringField kHostName{0, 30};
constexpr StringField kUserName{31, 30};
constexpr StringField kPassword{62, 30};
constexpr StringField kHostProcess{93, 30};
constexpr StringField kAppName{140, 30};
constexpr StringField kServerName{171, 30};
constexpr size_t kRemotePasswordLength = 203;  // byte count of the password in the long block
constexpr size_t kRemotePassword = 204;
constexpr size_t kRemotePasswordWidth = 253;
constexpr size_t kTdsVersion = 458;
constexpr StringField kLibraryName{462, 10};
constexpr StringField kLanguage{480, 30};
constexpr StringField kCharset{525, 30};
constexpr StringField kPacketSize{557, 6};
constexpr size_t kFixedPartSize = 568;
constexpr uint8_t kCapabilityToken = 0xE2;

static_assert(kUserName.offset == kHostName.offset + kHostName.width + 1);
static_assert(kPassword.offset == kUserName.offset + kUserName.width + 1);
static_assert(kHostProcess.offset == kPassword.offset + kPassword.width + 1);
static_assert(kServerName.offset == kAppName.offset + kAppName.width + 1);
static_assert(kRemotePassword + kRemotePasswordWidth <= kTdsVersion);
static_assert(kPacketSize.offset + kPacketSize.width + 1 + 4 == kFixedPartSize);

bool readString(std::string_view payload, StringField field, std::string& out, std::string& error,
                const char* name) {
    size_t length = static_cast<uint8_t>(payload[field.offset + field.width]);
    if (length > field.width) {
        error = std::string("login field ") + name + " has a length past its width";
        return false;
    }
    out.assign(payload.substr(field.offset, length));
    return true;
}

// The password: the 30-byte field, or the remote-password block when the field is full and the
// block holds a longer one.
std::string readPassword(std::string_view payload, std::string shortPassword) {
    size_t longLength = static_cast<uint8_t>(payload[kRemotePasswordLength]);
    if (shortPassword.size() == kPassword.width && longLength > kPassword.width &&
        longLength <= kRemotePasswordWidth) {
        return std::string(payload.substr(kRemotePassword, longLength));
    }
    return shortPassword;
}

size_t parsePacketSize(std::string_view text) {
    size_t value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size()) {
        return 0;
    }
    return value;
}

// The capability token that follows the fixed part: E2, u16 length, then exactly that many bytes.
bool readCapabilities(std::string_view rest, std::string& out, std::string& error) {
    if (rest.empty()) {
        return true;
    }
    ByteReader r(rest);
    uint8_t token = r.u8();
    uint16_t length = r.u16();
    std::string_view body = r.bytes(length);
    if (!r.ok() || token != kCapabilityToken || !r.atEnd()) {
        error = "login record ends in something other than one capability token of its declared length";
        return false;
    }
    out.assign(body);
    return true;
}

}  // namespace

std::variant<LoginRecord, LoginError> parseLogin(std::string_view payload) {
    if (payload.size() < kFixedPartSize) {
        return LoginError{"login record is shorter than its fixed part"};
    }
    LoginRecord rec;
    std::string error;
    std::string shortPassword;
    std::string packetSize;
    if (!readString(payload, kHostName, rec.hostName, error, "host name") ||
        !readString(payload, kUserName, rec.userName, error, "user name") ||
        !readString(payload, kPassword, shortPassword, error, "password") ||
        !readString(payload, kHostProcess, rec.hostProcess, error, "host process") ||
        !readString(payload, kAppName, rec.appName, error, "application name") ||
        !readString(payload, kServerName, rec.serverName, error, "server name") ||
        !readString(payload, kLibraryName, rec.libraryName, error, "library name") ||
        !readString(payload, kLanguage, rec.language, error, "language") ||
        !readString(payload, kCharset, rec.charset, error, "charset") ||
        !readString(payload, kPacketSize, packetSize, error, "packet size") ||
        !readCapabilities(payload.substr(kFixedPartSize), rec.capabilities, error)) {
        return LoginError{error};
    }
    rec.password = readPassword(payload, shortPassword);
    rec.tdsMajor = static_cast<uint8_t>(payload[kTdsVersion]);
    rec.packetSize = parsePacketSize(packetSize);
    return rec;
}

size_t grantPacketSize(size_t requested, size_t serverDefault) {
    if (requested <= 512 || requested > 65535) {
        return serverDefault;
    }
    return requested;
}

}  // namespace gw::tds
