// reply_buffer_test.cpp - answers written straight into packets: the bytes a client reads over a
// real socket are whole packets of the negotiated size, cut anywhere inside a token, each answer's
// last packet (and only it) marked end-of-message and never empty unless the answer is.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "protocol/connection.h"
#include "protocol/packet.h"
#include "protocol/tokens.h"

namespace {

using gw::Cell;
using gw::ColumnFormat;
using gw::WireType;
using namespace gw::tds;

struct Packet {
    uint8_t type = 0;
    uint8_t status = 0;
    size_t length = 0;
    std::string payload;
};

// A connection on one end of a socket pair; the test reads the other end.
class Wire {
  public:
    Wire() {
        int fds[2];
        EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
        peer_ = fds[1];
        conn = std::make_unique<ClientConnection>(fds[0], ConnectionLimits{});
        conn->setPacketSize(512);
    }
    ~Wire() { ::close(peer_); }

    // Every byte sent so far, without waiting.
    std::string received() {
        std::string all;
        char buf[65536];
        ssize_t n;
        while ((n = ::recv(peer_, buf, sizeof buf, MSG_DONTWAIT)) > 0) {
            all.append(buf, static_cast<size_t>(n));
        }
        return all;
    }

    std::unique_ptr<ClientConnection> conn;

  private:
    int peer_ = -1;
};

std::vector<Packet> packets(const std::string& bytes) {
    std::vector<Packet> out;
    size_t at = 0;
    while (at + kHeaderSize <= bytes.size()) {
        Packet p;
        p.type = static_cast<uint8_t>(bytes[at]);
        p.status = static_cast<uint8_t>(bytes[at + 1]);
        p.length = (static_cast<uint8_t>(bytes[at + 2]) << 8) | static_cast<uint8_t>(bytes[at + 3]);
        if (p.length < kHeaderSize || at + p.length > bytes.size()) {
            ADD_FAILURE() << "a packet header at " << at << " claims " << p.length << " bytes";
            return out;
        }
        p.payload = bytes.substr(at + kHeaderSize, p.length - kHeaderSize);
        out.push_back(p);
        at += p.length;
    }
    EXPECT_EQ(at, bytes.size()) << "bytes after the last whole packet";
    return out;
}

ColumnFormat column(WireType type, uint32_t length) {
    return ColumnFormat{"c", type, length, 0};
}

// Checks one answer's packets and returns their joined payloads.
std::string answer(const std::vector<Packet>& ps, const std::string& claim) {
    std::string joined;
    for (size_t i = 0; i < ps.size(); ++i) {
        const bool last = i + 1 == ps.size();
        EXPECT_EQ(ps[i].type, static_cast<uint8_t>(PacketType::Reply)) << claim;
        EXPECT_EQ(ps[i].status, last ? kStatusEndOfMessage : 0) << claim << ": packet " << i;
        if (!last) {
            EXPECT_EQ(ps[i].length, 512u) << claim << ": packet " << i << " is not full";
        } else {
            EXPECT_LE(ps[i].length, 512u) << claim;
        }
        joined += ps[i].payload;
    }
    return joined;
}

TEST(ReplyBuffer, RowsOfEverySizeArriveAsFullPacketsWithTheSameBytesAsTheTokens) {
    // Lengths chosen so that tokens end exactly at, just before and just after packet ends, and
    // one long value spans several packets; the eleventh value is NULL.
    const std::vector<size_t> lengths = {0, 1, 250, 250, 503, 504, 505, 3000, 17, 1200, 0, 511};
    const ColumnFormat formats[] = {column(WireType::Int, 4), column(WireType::LongChar, 4000)};
    Wire w;
    std::string expected;
    std::string got;
    std::vector<std::string> values;
    for (size_t i = 0; i < lengths.size(); ++i) {
        values.emplace_back(lengths[i], static_cast<char>('a' + i));
    }
    w.conn->rowFormat(formats);
    writeRowFormat(expected, formats);
    for (size_t i = 0; i < values.size(); ++i) {
        const Cell cells[] = {Cell{false, static_cast<int64_t>(i), 0, {}},
                              i == 10 ? Cell{} : Cell{false, 0, 0, values[i]}};
        w.conn->row(formats, cells);
        writeRow(expected, formats, cells);
        if (i == 6) {
            w.conn->flushFullPackets();
            const std::string early = w.received();
            EXPECT_GE(early.size(), 512u * 3) << "full packets go out before the answer ends";
            for (const Packet& p : packets(early)) {
                EXPECT_EQ(p.status, 0) << "no early packet ends the answer";
                EXPECT_EQ(p.length, 512u) << "only whole packets go out early";
                got += p.payload;
            }
        }
    }
    w.conn->done(Token::Done, kDoneCount, 12);
    writeDone(expected, Token::Done, kDoneCount, 12);
    ASSERT_TRUE(w.conn->endReply());
    const std::vector<Packet> rest = packets(w.received());
    ASSERT_FALSE(rest.empty());
    got += answer(rest, "the rest of the answer");
    EXPECT_EQ(got, expected);
}

TEST(ReplyBuffer, AnswersThatFillTheirLastPacketExactlyEndInItAndTheNextAnswerStartsAfresh) {
    // VARCHAR rows of one column take 2 + n bytes: 252 + 252 fill a 512-byte packet's 504.
    const std::tuple<const char*, std::vector<size_t>, std::vector<size_t>> cases[] = {
        {"an empty answer is one empty end packet", {}, {8}},
        {"504 bytes fill one packet, which ends the answer", {250, 250}, {512}},
        {"505 bytes need a second packet of one byte", {251, 250}, {512, 9}},
        {"1008 bytes fill two packets exactly", {250, 250, 250, 250}, {512, 512}},
        {"a short answer after the others", {3}, {13}},
    };
    const ColumnFormat format = column(WireType::VarChar, 255);
    Wire w;  // one connection for all: each answer must start from a clean buffer
    for (const auto& [claim, rows, sizes] : cases) {
        std::string expected;
        for (size_t n : rows) {
            const std::string value(n, 'x');
            const Cell cell{false, 0, 0, value};
            w.conn->row(std::span(&format, 1), std::span(&cell, 1));
            writeRow(expected, std::span(&format, 1), std::span(&cell, 1));
        }
        ASSERT_TRUE(w.conn->endReply());
        const std::vector<Packet> ps = packets(w.received());
        std::vector<size_t> lengths;
        for (const Packet& p : ps) {
            lengths.push_back(p.length);
        }
        EXPECT_EQ(lengths, sizes) << claim;
        EXPECT_EQ(answer(ps, claim), expected) << claim;
    }
}

}  // namespace
