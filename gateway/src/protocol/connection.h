// connection.h - one client's TCP connection as the session sees it: requests in, tokens out.
//
// Reads whole messages (reassembled from packets, checked against the size limits), turns them
// into login records, requests and attentions (a bulk copy's rows come packet by packet), and writes answer
// tokens split into packets of the negotiated size. The session above it never sees a byte. Invariant: an
// answer is ended (end-of-message packet sent) exactly once per endReply(), and nothing is written after the
// connection has failed.
#pragma once

#include <chrono>
#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"
#include "login.h"
#include "packet.h"
#include "tokens.h"

namespace gw::tds {

struct ConnectionLimits {
    size_t maxMessageSize = 16u << 20;  // largest request accepted after login, in bytes
    size_t maxLoginSize = 4096;         // largest message accepted before login (a login is ~600 bytes)
    int readTimeoutMs = 60000;          // longest time from a request's first byte to its last
    int loginTimeoutMs = 5000;          // longest time from the connect to the end of the login exchange
    size_t defaultPacketSize = 4096;    // granted to clients that ask for 512 or less
};

// What the client did next.
struct ClientEvent {
    enum class Kind {
        Login,      // `login` holds the record
        Request,    // `request` holds it
        Attention,  // a cancel
        Bulk,       // a packet of a bulk copy message: `bulk` holds its payload, `bulkEnds` marks the last
        Closed,     // the client closed the connection between messages
        Broken,     // malformed, oversized or truncated input, or a read error; `reason` says
    };
    Kind kind = Kind::Closed;
    LoginRecord login;
    Request request;
    std::string reason;
    std::string bulk;
    bool bulkEnds = false;
};

class ClientConnection {
  public:
    ClientConnection(int fd, ConnectionLimits limits);
    ~ClientConnection();
    ClientConnection(const ClientConnection&) = delete;
    ClientConnection& operator=(const ClientConnection&) = delete;

    int fd() const { return fd_; }

    // The first message, which must be a login record, complete before the login deadline.
    ClientEvent readLogin();
    // Milliseconds left of the login exchange (0 once its deadline has passed).
    int loginTimeLeftMs() const;
    // Lifts the message limit from the login's to the one for requests.
    void loginAccepted() {
        reassembler_.setMaxMessageSize(limits_.maxMessageSize);
        loggedIn_ = true;
    }
    // The next message after login. Blocks until one starts. `withinLogin` holds it to the login's
    // deadline instead (the logout a client sends after a refused login). A bulk copy message is
    // not joined (it may hold any number of rows): its first packet comes alone, as Bulk.
    ClientEvent readNext(bool withinLogin = false);
    // The next packet of the bulk copy message whose first packet readNext gave: Bulk, Attention
    // (the client gave the message up), or Broken. Each packet must come within the read timeout.
    ClientEvent readBulkPacket();
    // True when the client has sent data (or closed) that can be read without waiting longer
    // than `timeoutMs`.
    bool readable(int timeoutMs) const;

    // The packet size granted at login, used for both directions from then on.
    void setPacketSize(size_t size);
    // `set textsize`: TEXT values are cut to this many bytes (0: not cut).
    void setTextSize(size_t size) { textSize_ = size; }

    // Answer tokens. Each call appends one token and sends every packet that is full.
    void loginAck(LoginStatus status, std::string_view product, const uint8_t (&version)[4]);
    void envChange(EnvChangeType type, std::string_view newValue, std::string_view oldValue);
    void capability(std::string_view body);
    void message(const ServerMessage& m);
    void rowFormat(std::span<const ColumnFormat> columns);
    void row(std::span<const ColumnFormat> columns, std::span<const Cell> cells);
    void done(Token kind, uint16_t status, int32_t count);
    void returnStatus(int32_t status);
    void optionInfo(uint8_t option, std::string_view value);
    // Dynamic SQL: the acknowledgement of a request on statement `id`, and the formats of a
    // prepared statement's parameters.
    void dynamicAck(std::string_view id);
    void paramFormat(std::span<const ColumnFormat> params);
    // A procedure call's output parameters, described and valued as the call sent them.
    void returnedParams(const ParamSet& params);
    // Sends what is left of the answer as its last packet. False when the client is gone.
    bool endReply();
    // Sends every full packet of the answer so far (before the session waits for the database,
    // so that rows already produced reach the client).
    void flushFullPackets();

    // False once a write has failed (the client is gone).
    bool writable() const { return !writeFailed_; }

  private:
    using Clock = std::chrono::steady_clock;
    enum class ReadOutcome { Ok, Closed, Broken };
    ReadOutcome readExact(char* buf, size_t n, bool firstOfMessage, Clock::time_point& deadline,
                          std::string& reason);
    ReadOutcome readPacket(PacketHeader& header, std::string& payload, bool firstOfMessage,
                           Clock::time_point& deadline, std::string& reason);
    ClientEvent readMessage(Message& message, Clock::time_point deadline);
    // Cuts the packet being filled when a token overflowed it, writing each full packet's header.
    void sealPackets();
    // After a token: seals full packets and sends them once at least `threshold` bytes of them wait.
    void sendFullPackets(size_t threshold);
    bool sendAll(std::string_view bytes);

    int fd_;
    ConnectionLimits limits_;
    Clock::time_point loginDeadline_;
    size_t packetSize_ = kDefaultPacketSize;
    Reassembler reassembler_;
    // The answer not yet sent, already cut into packets: tokens are written straight into it.
    // Packets before open_ are full and carry their headers; the one at open_ is being filled and
    // its header is written when it is full or the answer ends.
    std::string out_ = std::string(kHeaderSize, '\0');
    size_t open_ = 0;
    std::string overflow_;  // scratch: the bytes of a token that ran past a full packet
    size_t textSize_ = 0;
    std::vector<Cell> cutCells_;  // a row's cells with TEXT values cut to textSize_
    bool writeFailed_ = false;
    bool loggedIn_ = false;
};

}  // namespace gw::tds
