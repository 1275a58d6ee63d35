// login.cpp - fuzzes the login record reader with whole records and with records whose fixed part
// is kept well-formed so that the reader gets past it to the capability token.
//
// Invariants: a record is refused or read without reading outside the payload; every field read
// is within its width and is the bytes its length byte names; a granted packet size is the
// server's default or a size between 513 and 65535.
#include <string>
#include <variant>

#include "check.h"
#include "protocol/login.h"

namespace {

// The fields this target checks against their place in the record.
constexpr size_t kHostNameLength = 30;
constexpr size_t kUserNameOffset = 31;
constexpr size_t kUserNameLength = 61;
constexpr size_t kFieldWidth = 30;
constexpr size_t kFixedPartSize = 568;
constexpr size_t kServerDefault = 2048;

void checkRecord(std::string_view payload) {
    auto parsed = gw::tds::parseLogin(payload);
    if (auto* error = std::get_if<gw::tds::LoginError>(&parsed)) {
        KW_FUZZ_CHECK(!error->reason.empty());
        return;
    }
    const auto& rec = std::get<gw::tds::LoginRecord>(parsed);
    KW_FUZZ_CHECK(payload.size() >= kFixedPartSize);
    const auto hostLength = static_cast<uint8_t>(payload[kHostNameLength]);
    const auto userLength = static_cast<uint8_t>(payload[kUserNameLength]);
    KW_FUZZ_CHECK(rec.hostName == payload.substr(0, hostLength));
    KW_FUZZ_CHECK(rec.userName == payload.substr(kUserNameOffset, userLength));
    for (const std::string* field : {&rec.hostName, &rec.userName, &rec.hostProcess, &rec.appName,
                                     &rec.serverName, &rec.language, &rec.charset}) {
        KW_FUZZ_CHECK(field->size() <= kFieldWidth);
    }
    KW_FUZZ_CHECK(rec.password.size() <= 253);
    KW_FUZZ_CHECK(rec.libraryName.size() <= 10);
    KW_FUZZ_CHECK(rec.capabilities.size() + kFixedPartSize + 3 == payload.size() ||
                  (rec.capabilities.empty() && payload.size() == kFixedPartSize));
    const size_t granted = gw::tds::grantPacketSize(rec.packetSize, kServerDefault);
    KW_FUZZ_CHECK(granted == kServerDefault ||
                  (granted > 512 && granted <= 65535 && granted == rec.packetSize));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view input = kwfuzz::asText(data, size);
    checkRecord(input);
    // The same bytes behind a fixed part whose length bytes are all zero: every field is empty and
    // the reader goes on to the capability token the input then supplies.
    if (size > 0 && data[0] == 0xE2) {
        std::string record(kFixedPartSize, '\0');
        record.append(input);
        checkRecord(record);
    }
    return 0;
}
