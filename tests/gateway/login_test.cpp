// Tests of the login record reader against records laid out as FreeTDS sends them.
#include "protocol/login.h"

#include <gtest/gtest.h>

#include "login_bytes.h"

namespace {

using gw::tds::LoginError;
using gw::tds::LoginRecord;

LoginRecord parsed(const std::string& bytes) {
    auto r = gw::tds::parseLogin(bytes);
    if (auto* e = std::get_if<LoginError>(&r)) {
        ADD_FAILURE() << e->reason;
        return {};
    }
    return std::get<LoginRecord>(r);
}

TEST(ParseLogin, ReadsTheNamedFieldsOfAFreetdsLogin) {
    kwtest::LoginFields f;
    f.packetSize = "4096";
    LoginRecord rec = parsed(kwtest::loginRecord(f));
    EXPECT_EQ(rec.userName, "JOE");
    EXPECT_EQ(rec.password, "secret");
    EXPECT_EQ(rec.hostName, "testhost");
    EXPECT_EQ(rec.appName, "kwtest");
    EXPECT_EQ(rec.serverName, "KWGW");
    EXPECT_EQ(rec.libraryName, "DB-Library");
    EXPECT_EQ(rec.language, "us_english");
    EXPECT_EQ(rec.tdsMajor, 5);
    EXPECT_EQ(rec.packetSize, 4096u);
    EXPECT_EQ(rec.capabilities, kwtest::freetdsCapabilities());
}

TEST(ParseLogin, TakesAPasswordLongerThanItsFieldFromTheRemoteBlock) {
    kwtest::LoginFields f;
    f.password = std::string(40, 'p') + "!";
    EXPECT_EQ(parsed(kwtest::loginRecord(f)).password, f.password);
}

TEST(ParseLogin, AcceptsARecordWithoutCapabilities) {
    kwtest::LoginFields f;
    f.capability = false;
    EXPECT_TRUE(parsed(kwtest::loginRecord(f)).capabilities.empty());
}

TEST(ParseLogin, RefusesMalformedRecords) {
    std::string good = kwtest::loginRecord({});
    std::string lengthPastField = good;
    lengthPastField[61] = 31;  // user name length byte
    std::string capabilityTooLong = good;
    capabilityTooLong[569] = 0x40;  // declared 64 bytes, 32 follow
    struct Case {
        const char* claim;
        std::string bytes;
    } cases[] = {
        {"a record cut inside its fixed part", good.substr(0, 300)},
        {"a length byte past its field's width", lengthPastField},
        {"a capability token longer than the bytes that follow", capabilityTooLong},
        {"bytes after the capability token", good + "xyz"},
        {"something other than a capability token after the fixed part", good.substr(0, 568) + "\x99\x01"},
    };
    for (const Case& c : cases) {
        EXPECT_TRUE(std::holds_alternative<LoginError>(gw::tds::parseLogin(c.bytes))) << c.claim;
    }
}

TEST(GrantPacketSize, GrantsLargerRequestsAndTheServerDefaultForTheRest) {
    const std::pair<size_t, size_t> cases[] = {{0, 2048},    {100, 2048},    {512, 2048},  {513, 513},
                                               {4096, 4096}, {65535, 65535}, {65536, 2048}};
    for (auto [asked, granted] : cases) {
        EXPECT_EQ(gw::tds::grantPacketSize(asked, 2048), granted) << "asked " << asked;
    }
    EXPECT_EQ(gw::tds::grantPacketSize(512, 512), 512u) << "a server default of 512 keeps FreeTDS's default";
}

}  // namespace
