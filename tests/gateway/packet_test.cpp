// Tests of the packet layer: header reading, reassembly limits, splitting of replies.
#include "protocol/packet.h"

#include <gtest/gtest.h>

namespace {

using gw::tds::PacketHeader;
using gw::tds::Reassembler;

PacketHeader header(uint8_t type, uint8_t status, size_t payload) {
    PacketHeader h;
    h.type = type;
    h.status = status;
    h.length = static_cast<uint16_t>(payload + 8);
    return h;
}

TEST(PacketHeader, ReadsTheLengthBigEndian) {
    const unsigned char raw[8] = {0x0F, 0x01, 0x02, 0x03, 0x00, 0x00, 0x00, 0x00};
    PacketHeader h = gw::tds::parseHeader(raw);
    EXPECT_EQ(h.type, 0x0F);
    EXPECT_TRUE(h.endOfMessage());
    EXPECT_EQ(h.length, 0x0203);
}

TEST(Reassembler, JoinsPayloadsUntilTheEndOfMessageBit) {
    Reassembler r(512, 1 << 20);
    EXPECT_FALSE(r.add(header(0x02, 0, 504), std::string(504, 'a')));
    EXPECT_TRUE(r.inMessage());
    auto m = r.add(header(0x02, 1, 99), std::string(99, 'b'));
    ASSERT_TRUE(m);
    EXPECT_EQ(m->type, 0x02);
    EXPECT_EQ(m->payload, std::string(504, 'a') + std::string(99, 'b'));
    EXPECT_FALSE(r.inMessage());
}

TEST(Reassembler, RefusesHeadersItCannotAccept) {
    struct Case {
        const char* claim;
        size_t maxMessage;
        bool midMessage;
        PacketHeader h;
    };
    PacketHeader tooShort;
    tooShort.type = 0x0F;
    tooShort.length = 7;
    const Case cases[] = {
        {"a length shorter than the header", 1 << 20, false, tooShort},
        {"a packet larger than the negotiated size", 1 << 20, false, header(0x0F, 1, 600)},
        {"a message past the size limit", 1000, true, header(0x0F, 1, 504)},
        {"a packet of another type inside a message", 1 << 20, true, header(0x06, 1, 0)},
    };
    for (const Case& c : cases) {
        Reassembler r(512, c.maxMessage);
        if (c.midMessage) {
            r.add(header(0x0F, 0, 504), std::string(504, 'x'));
        }
        EXPECT_TRUE(r.check(c.h)) << c.claim;
    }
    Reassembler ok(512, 1 << 20);
    EXPECT_FALSE(ok.check(header(0x0F, 1, 504))) << "a full 512-byte packet is accepted";
}

TEST(SplitPackets, CutsAtThePacketSizeAndMarksOnlyTheLast) {
    std::string out;
    gw::tds::splitPackets(out, gw::tds::PacketType::Reply, std::string(1000, 'z'), 512, true);
    ASSERT_EQ(out.size(), 1000u + 16);
    EXPECT_EQ(std::string(out.data(), 8), std::string("\x04\x00\x02\x00\x00\x00\x00\x00", 8));
    EXPECT_EQ(std::string(out.data() + 512, 8), std::string("\x04\x01\x01\xF8\x00\x00\x00\x00", 8));
}

TEST(SplitPackets, AnEmptyLastPayloadStillEndsTheMessage) {
    std::string out;
    gw::tds::splitPackets(out, gw::tds::PacketType::Reply, "", 512, true);
    EXPECT_EQ(out, std::string("\x04\x01\x00\x08\x00\x00\x00\x00", 8));
    std::string none;
    gw::tds::splitPackets(none, gw::tds::PacketType::Reply, "", 512, false);
    EXPECT_TRUE(none.empty());
}

}  // namespace
