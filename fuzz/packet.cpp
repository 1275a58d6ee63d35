// packet.cpp - fuzzes the packet layer: headers read from the input are checked and reassembled
// the way the connection reads them, and every message that comes out is split into packets and
// read back.
//
// Invariants: a checked packet never takes a message past its limit; a message is exactly the
// payloads of its packets joined; packets written by splitPackets carry their own length, never
// exceed the packet size, end the message only on the last one, and reassemble to the payload.
#include <cstring>
#include <string>

#include "check.h"
#include "protocol/packet.h"

namespace {

using gw::tds::kHeaderSize;

constexpr size_t kMaxMessage = 4096;

// Splits `payload` as a reply and reads it back through a fresh reassembler.
void checkSplit(std::string_view payload, size_t packetSize) {
    std::string wire;
    gw::tds::splitPackets(wire, gw::tds::PacketType::Reply, payload, packetSize, true);
    gw::tds::Reassembler reader(packetSize, payload.size());
    std::string_view rest = wire;
    bool done = false;
    while (!rest.empty()) {
        KW_FUZZ_CHECK(!done);  // nothing follows the end of the message
        KW_FUZZ_CHECK(rest.size() >= kHeaderSize);
        unsigned char raw[kHeaderSize];
        std::memcpy(raw, rest.data(), kHeaderSize);
        gw::tds::PacketHeader h = gw::tds::parseHeader(raw);
        KW_FUZZ_CHECK(h.length >= kHeaderSize && h.length <= packetSize && h.length <= rest.size());
        KW_FUZZ_CHECK(!reader.check(h).has_value());
        std::optional<gw::tds::Message> m = reader.add(h, rest.substr(kHeaderSize, h.length - kHeaderSize));
        rest.remove_prefix(h.length);
        KW_FUZZ_CHECK(m.has_value() == h.endOfMessage());
        if (m) {
            KW_FUZZ_CHECK(m->payload == payload);
            KW_FUZZ_CHECK(m->type == static_cast<uint8_t>(gw::tds::PacketType::Reply));
            done = true;
        }
    }
    KW_FUZZ_CHECK(done);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    kwfuzz::InputReader in(data, size);
    // The negotiated packet size: from 512 (a client that asked for nothing) up to 4 KiB.
    const size_t packetSize = gw::tds::kDefaultPacketSize + (in.byte() << 4);
    gw::tds::Reassembler reassembler(packetSize, kMaxMessage);
    std::string expected;
    std::string_view stream = in.rest();
    while (stream.size() >= kHeaderSize) {
        unsigned char raw[kHeaderSize];
        std::memcpy(raw, stream.data(), kHeaderSize);
        stream.remove_prefix(kHeaderSize);
        const gw::tds::PacketHeader h = gw::tds::parseHeader(raw);
        if (reassembler.check(h).has_value()) {
            break;  // the session ends here
        }
        KW_FUZZ_CHECK(h.length >= kHeaderSize && h.length <= packetSize);
        const size_t want = h.length - kHeaderSize;
        if (stream.size() < want) {
            break;  // the client went away mid-packet
        }
        std::string_view payload = stream.substr(0, want);
        stream.remove_prefix(want);
        expected.append(payload);
        KW_FUZZ_CHECK(expected.size() <= kMaxMessage);
        std::optional<gw::tds::Message> m = reassembler.add(h, payload);
        KW_FUZZ_CHECK(m.has_value() == h.endOfMessage());
        KW_FUZZ_CHECK(reassembler.inMessage() != h.endOfMessage());
        if (m) {
            KW_FUZZ_CHECK(m->payload == expected);
            checkSplit(m->payload, packetSize);
            expected.clear();
        }
    }
    return 0;
}
