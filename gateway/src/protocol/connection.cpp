// connection.cpp - socket reading and writing for one client.
//
// Serves the session: readLogin/readNext turn packets into events, the answer methods turn
// tokens into packets. Owns the client socket (closed on destruction). Invariant: bytes are read
// only through readExact, against a deadline for the whole message (the login's runs from the
// connect, a request's from its first byte), and written only through sendAll, which stops for
// good at the first failure.
#include "connection.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <variant>

#include <fmt/format.h>

namespace gw::tds {
namespace {
// Full packets are held back until this many bytes of them are waiting, so that a stream of small rows
// costs one send for many packets; flushFullPackets and endReply send them at once.
constexpr size_t kSendBatchBytes = 32768;
// A message that has not started yet has no deadline: an idle session may wait for ever.
constexpr std::chrono::steady_clock::time_point kNotStarted = std::chrono::steady_clock::time_point::max();

int millisecondsUntil(std::chrono::steady_clock::time_point deadline) {
    auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
    return left <= 0 ? 0 : left > INT32_MAX ? INT32_MAX : static_cast<int>(left);
}
}  // namespace

ClientConnection::ClientConnection(int fd, ConnectionLimits limits)
    : fd_(fd),
      limits_(limits),
      loginDeadline_(Clock::now() + std::chrono::milliseconds(limits.loginTimeoutMs)),
      reassembler_(kDefaultPacketSize, limits.maxLoginSize) {}

int ClientConnection::loginTimeLeftMs() const {
    return millisecondsUntil(loginDeadline_);
}

ClientConnection::~ClientConnection() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

void ClientConnection::setPacketSize(size_t size) {
    packetSize_ = size;
    reassembler_.setMaxPacketSize(size < kDefaultPacketSize ? kDefaultPacketSize : size);
}

bool ClientConnection::readable(int timeoutMs) const {
    pollfd p{fd_, POLLIN, 0};
    int n;
    do {
        n = ::poll(&p, 1, timeoutMs);
    } while (n < 0 && errno == EINTR);
    return n > 0;
}

// Reads n bytes. A deadline of kNotStarted waits for the first byte for ever and then starts
// the request's deadline; any other deadline bounds every wait.
ClientConnection::ReadOutcome ClientConnection::readExact(char* buf, size_t n, bool firstOfMessage,
                                                          Clock::time_point& deadline, std::string& reason) {
    size_t got = 0;
    while (got < n) {
        if (deadline != kNotStarted) {
            int left = millisecondsUntil(deadline);
            if (left == 0 || !readable(left)) {
                reason = deadline == loginDeadline_
                             ? fmt::format("no complete login within the login timeout ({} ms)",
                                           limits_.loginTimeoutMs)
                             : fmt::format("request not complete within the read timeout ({} ms)",
                                           limits_.readTimeoutMs);
                return ReadOutcome::Broken;
            }
        }
        ssize_t r = ::recv(fd_, buf + got, n - got, 0);
        if (r < 0 && errno == EINTR) {
            continue;
        }
        if (r < 0) {
            reason = "read error";
            return ReadOutcome::Broken;
        }
        if (r == 0) {
            if (got == 0 && firstOfMessage) {
                return ReadOutcome::Closed;
            }
            reason = "client closed the connection in the middle of a packet";
            return ReadOutcome::Broken;
        }
        if (deadline == kNotStarted) {
            deadline = Clock::now() + std::chrono::milliseconds(limits_.readTimeoutMs);
        }
        got += static_cast<size_t>(r);
    }
    return ReadOutcome::Ok;
}

// Reads one packet: its header, checked against the message it continues, then its payload.
// Closed only when the peer hung up before the first byte of a message's first packet.
ClientConnection::ReadOutcome ClientConnection::readPacket(PacketHeader& header, std::string& payload,
                                                           bool firstOfMessage, Clock::time_point& deadline,
                                                           std::string& reason) {
    unsigned char raw[kHeaderSize];
    ReadOutcome o = readExact(reinterpret_cast<char*>(raw), kHeaderSize, firstOfMessage, deadline, reason);
    if (o != ReadOutcome::Ok) {
        return o;
    }
    header = parseHeader(raw);
    if (auto problem = reassembler_.check(header)) {
        reason = *problem;
        return ReadOutcome::Broken;
    }
    payload.assign(header.length - kHeaderSize, '\0');
    if (readExact(payload.data(), payload.size(), false, deadline, reason) != ReadOutcome::Ok) {
        return ReadOutcome::Broken;
    }
    return ReadOutcome::Ok;
}

ClientEvent ClientConnection::readMessage(Message& message, Clock::time_point deadline) {
    ClientEvent ev;
    bool first = true;
    for (;;) {
        PacketHeader h;
        std::string payload;
        ReadOutcome o = readPacket(h, payload, first, deadline, ev.reason);
        if (o != ReadOutcome::Ok) {
            ev.kind = o == ReadOutcome::Closed ? ClientEvent::Kind::Closed : ClientEvent::Kind::Broken;
            return ev;
        }
        first = false;
        if (loggedIn_ && h.type == static_cast<uint8_t>(PacketType::Bulk) && !reassembler_.inMessage()) {
            ev.kind = ClientEvent::Kind::Bulk;
            ev.bulk = std::move(payload);
            ev.bulkEnds = h.endOfMessage();
            return ev;
        }
        if (auto done = reassembler_.add(h, payload)) {
            message = std::move(*done);
            ev.kind = ClientEvent::Kind::Request;
            return ev;
        }
    }
}

ClientEvent ClientConnection::readLogin() {
    Message m;
    ClientEvent ev = readMessage(m, loginDeadline_);
    if (ev.kind != ClientEvent::Kind::Request) {
        return ev;
    }
    if (m.type != static_cast<uint8_t>(PacketType::Login)) {
        ev.kind = ClientEvent::Kind::Broken;
        ev.reason = "first message is not a TDS 5.0 login";
        return ev;
    }
    auto parsed = parseLogin(m.payload);
    if (auto* err = std::get_if<LoginError>(&parsed)) {
        ev.kind = ClientEvent::Kind::Broken;
        ev.reason = err->reason;
        return ev;
    }
    ev.kind = ClientEvent::Kind::Login;
    ev.login = std::move(std::get<LoginRecord>(parsed));
    return ev;
}

ClientEvent ClientConnection::readNext(bool withinLogin) {
    Message m;
    ClientEvent ev = readMessage(m, withinLogin ? loginDeadline_ : kNotStarted);
    if (ev.kind != ClientEvent::Kind::Request) {
        return ev;
    }
    if (m.type == static_cast<uint8_t>(PacketType::Attention)) {
        ev.kind = ClientEvent::Kind::Attention;
        return ev;
    }
    auto parsed = parseRequest(m);
    if (auto* bad = std::get_if<MalformedRequest>(&parsed)) {
        ev.kind = ClientEvent::Kind::Broken;
        ev.reason = bad->reason;
        return ev;
    }
    ev.request = std::move(std::get<Request>(parsed));
    return ev;
}

ClientEvent ClientConnection::readBulkPacket() {
    ClientEvent ev;
    Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(limits_.readTimeoutMs);
    PacketHeader h;
    std::string payload;
    if (readPacket(h, payload, false, deadline, ev.reason) != ReadOutcome::Ok) {
        ev.kind = ClientEvent::Kind::Broken;
        return ev;
    }
    if (h.type == static_cast<uint8_t>(PacketType::Attention)) {
        ev.kind = ClientEvent::Kind::Attention;
        return ev;
    }
    if (h.type != static_cast<uint8_t>(PacketType::Bulk)) {
        ev.kind = ClientEvent::Kind::Broken;
        ev.reason = fmt::format("a packet of type {:#04x} inside a bulk copy message", h.type);
        return ev;
    }
    ev.kind = ClientEvent::Kind::Bulk;
    ev.bulk = std::move(payload);
    ev.bulkEnds = h.endOfMessage();
    return ev;
}

bool ClientConnection::sendAll(std::string_view bytes) {
    while (!bytes.empty() && !writeFailed_) {
        ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            writeFailed_ = true;
            break;
        }
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return !writeFailed_;
}

namespace {
// Writes the header of the packet at `at` in place.
void patchHeader(std::string& out, size_t at, PacketType type, uint8_t status, size_t length) {
    PacketHeader h;
    h.type = static_cast<uint8_t>(type);
    h.status = status;
    h.length = static_cast<uint16_t>(length);
    std::string raw;  // eight bytes: held in the string itself, no allocation
    writeHeader(raw, h);
    out.replace(at, kHeaderSize, raw);
}
}  // namespace

void ClientConnection::sealPackets() {
    if (out_.size() - open_ <= packetSize_) {
        return;
    }
    const size_t room = packetSize_ - kHeaderSize;
    overflow_.assign(out_, open_ + packetSize_);
    out_.resize(open_ + packetSize_);
    std::string_view rest = overflow_;
    while (!rest.empty()) {
        patchHeader(out_, open_, PacketType::Reply, 0, packetSize_);
        open_ = out_.size();
        out_.append(kHeaderSize, '\0');
        const size_t n = rest.size() < room ? rest.size() : room;
        out_.append(rest.substr(0, n));
        rest.remove_prefix(n);
    }
}

// A full packet stays open until a byte follows it, so that the answer's last packet, sent by
// endReply, is never empty.
void ClientConnection::sendFullPackets(size_t threshold) {
    sealPackets();
    if (open_ == 0 || open_ < threshold) {
        return;
    }
    sendAll(std::string_view(out_).substr(0, open_));
    out_.erase(0, open_);
    open_ = 0;
}

void ClientConnection::flushFullPackets() {
    sendFullPackets(0);
}

bool ClientConnection::endReply() {
    sealPackets();
    patchHeader(out_, open_, PacketType::Reply, kStatusEndOfMessage, out_.size() - open_);
    bool sent = sendAll(out_);
    out_.assign(kHeaderSize, '\0');
    open_ = 0;
    return sent;
}

void ClientConnection::loginAck(LoginStatus status, std::string_view product, const uint8_t (&version)[4]) {
    writeLoginAck(out_, status, product, version);
    sendFullPackets(kSendBatchBytes);
}

void ClientConnection::envChange(EnvChangeType type, std::string_view newValue, std::string_view oldValue) {
    writeEnvChange(out_, type, newValue, oldValue);
    sendFullPackets(kSendBatchBytes);
}

void ClientConnection::capability(std::string_view body) {
    writeCapability(out_, body);
    sendFullPackets(kSendBatchBytes);
}

void ClientConnection::message(const ServerMessage& m) {
    writeEed(out_, m);
    sendFullPackets(kSendBatchBytes);
}

void ClientConnection::rowFormat(std::span<const ColumnFormat> columns) {
    writeRowFormat(out_, columns);
    sendFullPackets(kSendBatchBytes);
}

void ClientConnection::row(std::span<const ColumnFormat> columns, std::span<const Cell> cells) {
    if (textSize_ == 0) {
        writeRow(out_, columns, cells);
    } else {
        cutCells_.assign(cells.begin(), cells.end());
        for (size_t i = 0; i < cutCells_.size() && i < columns.size(); ++i) {
            if (columns[i].type == WireType::Text && !cutCells_[i].null) {
                cutCells_[i].text = fitText(cutCells_[i].text, textSize_);
            }
        }
        writeRow(out_, columns, cutCells_);
    }
    sendFullPackets(kSendBatchBytes);
}

void ClientConnection::done(Token kind, uint16_t status, int32_t count) {
    writeDone(out_, kind, status, count);
    sendFullPackets(kSendBatchBytes);
}

void ClientConnection::optionInfo(uint8_t option, std::string_view value) {
    writeOptionInfo(out_, option, value);
    sendFullPackets(kSendBatchBytes);
}

void ClientConnection::dynamicAck(std::string_view id) {
    writeDynamicAck(out_, id);
    sendFullPackets(kSendBatchBytes);
}

void ClientConnection::paramFormat(std::span<const ColumnFormat> params) {
    writeParamFormat(out_, params);
    sendFullPackets(kSendBatchBytes);
}

void ClientConnection::returnedParams(const ParamSet& params) {
    writeReturnedParams(out_, params);
    sendFullPackets(kSendBatchBytes);
}

void ClientConnection::returnStatus(int32_t status) {
    writeReturnStatus(out_, status);
    sendFullPackets(kSendBatchBytes);
}

}  // namespace gw::tds
