// packet.h - the TDS packet layer: 8-byte headers, reassembly of messages, splitting of replies.
//
// A client message arrives as one or more packets; the Reassembler joins their payloads until a
// packet carries the end-of-message bit, refusing packets larger than the negotiated size and
// messages larger than the configured limit. Replies are cut into packets of the negotiated size
// by splitPackets. Invariant: every header this layer writes has a length equal to its packet's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace gw::tds {

enum class PacketType : uint8_t {
    Query = 0x01,
    Login = 0x02,
    Rpc = 0x03,
    Reply = 0x04,
    Attention = 0x06,
    Bulk = 0x07,
    Normal = 0x0F,
    Prelogin = 0x12,
};

constexpr size_t kHeaderSize = 8;
constexpr uint8_t kStatusEndOfMessage = 0x01;
constexpr size_t kDefaultPacketSize = 512;
constexpr size_t kMaxPacketSize = 65535;

struct PacketHeader {
    uint8_t type = 0;
    uint8_t status = 0;
    uint16_t length = 0;  // whole packet, header included (big-endian on the wire)
    uint16_t channel = 0;
    uint8_t number = 0;
    uint8_t window = 0;

    bool endOfMessage() const { return (status & kStatusEndOfMessage) != 0; }
};

PacketHeader parseHeader(const unsigned char (&raw)[kHeaderSize]);
void writeHeader(std::string& out, const PacketHeader& header);

// A complete client message: the type of its packets and their joined payloads.
struct Message {
    uint8_t type = 0;
    std::string payload;
};

// Joins packet payloads into messages and enforces the size limits.
class Reassembler {
  public:
    Reassembler(size_t maxPacketSize, size_t maxMessageSize)
        : maxPacket_(maxPacketSize), maxMessage_(maxMessageSize) {}

    // Checks a header before its payload is read; an empty result means acceptable, otherwise
    // the reason the session must end.
    std::optional<std::string> check(const PacketHeader& header) const;
    // Adds a checked packet's payload; returns the message when this packet completed it.
    std::optional<Message> add(const PacketHeader& header, std::string_view payload);

    void setMaxPacketSize(size_t size) { maxPacket_ = size; }
    void setMaxMessageSize(size_t size) { maxMessage_ = size; }
    bool inMessage() const { return started_; }

  private:
    size_t maxPacket_;
    size_t maxMessage_;
    bool started_ = false;
    Message current_;
};

// Appends `payload` to `out` as packets of at most `packetSize` bytes (header included), all of
// type `type`, the last one marked end-of-message when `last` is set. An empty payload with
// `last` set still yields one (empty) packet so that the message is ended.
void splitPackets(std::string& out, PacketType type, std::string_view payload, size_t packetSize, bool last);

}  // namespace gw::tds
