// charset.h - the character sets a client may name at login, and how PostgreSQL serves them.
//
// A TDS client names its character set in the login record with a Sybase name (iso_1, cp1252,
// utf8, ...). The session sets PostgreSQL's client_encoding to the matching encoding, so that
// PostgreSQL converts every value both ways and raises an error for a character the client's
// set cannot hold. Character columns are then announced in bytes of that set: a declared length
// in characters times the set's longest character.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace gw::backend {

struct Charset {
    std::string_view sybaseName;  // as a login record and ENVCHANGE name it
    std::string_view pgEncoding;  // PostgreSQL's client_encoding
    uint32_t maxBytesPerChar;     // bytes of the longest character of the set
};

// The character set a login names (any case), or nullptr when the gateway does not serve it.
const Charset* findCharset(std::string_view sybaseName);

// Every character set the gateway serves, for listing and testing.
std::span<const Charset> allCharsets();

}  // namespace gw::backend
