// packet.cpp - TDS packet headers, message reassembly and reply splitting.
//
// Serves the connection layer, which reads headers and payloads from the socket and asks the
// Reassembler whether to go on. Owns no socket. Invariant: a message handed out is the exact
// concatenation of the payloads of packets of one type, the last with end-of-message set.
#include "packet.h"

#include <fmt/format.h>

namespace gw::tds {

PacketHeader parseHeader(const unsigned char (&raw)[kHeaderSize]) {
    PacketHeader h;
    h.type = raw[0];
    h.status = raw[1];
    h.length = static_cast<uint16_t>((raw[2] << 8) | raw[3]);
    h.channel = static_cast<uint16_t>((raw[4] << 8) | raw[5]);
    h.number = raw[6];
    h.window = raw[7];
    return h;
}

void writeHeader(std::string& out, const PacketHeader& h) {
    const char raw[kHeaderSize] = {
        static_cast<char>(h.type),         static_cast<char>(h.status),
        static_cast<char>(h.length >> 8),  static_cast<char>(h.length & 0xFF),
        static_cast<char>(h.channel >> 8), static_cast<char>(h.channel & 0xFF),
        static_cast<char>(h.number),       static_cast<char>(h.window),
    };
    out.append(raw, kHeaderSize);
}

std::optional<std::string> Reassembler::check(const PacketHeader& h) const {
    if (h.length < kHeaderSize) {
        return fmt::format("packet length {} is shorter than its header", h.length);
    }
    if (h.length > maxPacket_) {
        return fmt::format("packet of {} bytes exceeds the packet size {}", h.length, maxPacket_);
    }
    if (started_ && h.type != current_.type) {
        return fmt::format("packet of type {:#04x} inside a message of type {:#04x}", h.type, current_.type);
    }
    size_t total = (started_ ? current_.payload.size() : 0) + (h.length - kHeaderSize);
    if (total > maxMessage_) {
        return fmt::format("message of more than {} bytes exceeds the limit", maxMessage_);
    }
    return std::nullopt;
}

std::optional<Message> Reassembler::add(const PacketHeader& h, std::string_view payload) {
    if (!started_) {
        current_ = Message{h.type, {}};
        started_ = true;
    }
    current_.payload.append(payload);
    if (!h.endOfMessage()) {
        return std::nullopt;
    }
    started_ = false;
    return std::move(current_);
}

void splitPackets(std::string& out, PacketType type, std::string_view payload, size_t packetSize, bool last) {
    if (payload.empty() && !last) {
        return;
    }
    const size_t room = packetSize - kHeaderSize;
    do {
        size_t n = payload.size() < room ? payload.size() : room;
        bool final = last && n == payload.size();
        PacketHeader h;
        h.type = static_cast<uint8_t>(type);
        h.status = final ? kStatusEndOfMessage : 0;
        h.length = static_cast<uint16_t>(n + kHeaderSize);
        writeHeader(out, h);
        out.append(payload.substr(0, n));
        payload.remove_prefix(n);
    } while (!payload.empty());
}

}  // namespace gw::tds
