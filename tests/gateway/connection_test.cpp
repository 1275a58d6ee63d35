// Socket-level tests of the protocol layer against a live gateway: malformed, oversized and
// truncated input ends that session only, and the gateway keeps serving everyone else; attention
// and logout get their exact answers.
#include "protocol/connection.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "live.h"
#include "login_bytes.h"

namespace {

using kwtest::env;
using kwtest::kJoe;

// A raw TCP client on a loopback port.
class RawClient {
  public:
    explicit RawClient(uint16_t port) {
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(port);
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected_ = connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    }
    ~RawClient() { close(fd_); }

    bool connected() const { return connected_; }
    void send(const std::string& bytes) { ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL); }

    // Up to `n` bytes; fewer when the server closes or is silent for `timeoutMs`.
    std::string read(size_t n, int timeoutMs = 10000) {
        std::string out;
        char buf[4096];
        pollfd p{fd_, POLLIN, 0};
        while (out.size() < n && poll(&p, 1, timeoutMs) > 0) {
            ssize_t got = recv(fd_, buf, std::min(sizeof buf, n - out.size()), 0);
            if (got <= 0) {
                closed_ = true;
                break;
            }
            out.append(buf, static_cast<size_t>(got));
        }
        return out;
    }

    // One whole reply (packets up to the one marked last); empty when the server closed.
    std::string readReply() {
        std::string payload, header;
        while ((header = read(8)).size() == 8) {
            payload += read(((static_cast<uint8_t>(header[2]) << 8) | static_cast<uint8_t>(header[3])) - 8);
            if (header[1] & 1) {
                break;
            }
        }
        return payload;
    }

    // Whether the server closes the connection (data before the close is dropped).
    bool closedByServer() {
        read(SIZE_MAX, 5000);
        return closed_;
    }

    // Logs in as JOE; true when the gateway accepted.
    bool login() {
        kwtest::LoginFields f;
        f.user = kJoe.name;
        f.password = kJoe.password;
        send(kwtest::packets(0x02, kwtest::loginRecord(f)));
        std::string reply = readReply();
        size_t ack = reply.find('\xAD');
        return ack != std::string::npos && ack + 3 < reply.size() && reply[ack + 3] == 5;
    }

  private:
    int fd_ = socket(AF_INET, SOCK_STREAM, 0);
    bool connected_ = false;
    bool closed_ = false;
};

std::string header(uint8_t type, uint8_t status, uint16_t length) {
    return std::string{char(type), char(status), char(length >> 8), char(length & 0xFF)} +
           std::string(4, '\0');
}

void expectGatewayServes(const std::string& server) {
    kwtest::DbClient c(server, kJoe.name, kJoe.password);
    ASSERT_TRUE(c.connected()) << "the gateway still accepts logins";
    EXPECT_EQ(kwtest::query(c, "select 1"), (kwtest::Rows{{"1"}}));
}

TEST(MalformedInput, BeforeLoginEndsThatSessionOnly) {
    std::string badLength = kwtest::loginRecord({});
    badLength[61] = 40;  // the user name's length byte runs past its 30-byte field
    const std::pair<const char*, std::string> cases[] = {
        {"a login record cut short inside its fixed part",
         kwtest::packets(0x02, kwtest::loginRecord({}).substr(0, 400))},
        {"a length byte past its field", kwtest::packets(0x02, badLength)},
        {"a packet length shorter than its header", header(0x02, 1, 4) + "abcd"},
        {"a login packet larger than 512 bytes", header(0x02, 1, 4096) + std::string(4088, 'x')},
        {"a TDS 7 prelogin", header(0x12, 1, 20) + std::string(12, '\0')},
        {"a request before login", kwtest::packets(0x0F, kwtest::languageToken("select 1"))},
    };
    for (const auto& [claim, bytes] : cases) {
        RawClient raw(env().gateway().port());
        ASSERT_TRUE(raw.connected());
        raw.send(bytes);
        EXPECT_TRUE(raw.closedByServer()) << claim;
    }
    expectGatewayServes(env().serverName());
}

TEST(MalformedInput, AfterLoginEndsThatSessionOnly) {
    std::string lengthPast = kwtest::languageToken("select 1");
    lengthPast[1] = 0x7F;  // declares 127 bytes of text
    const std::pair<const char*, std::string> cases[] = {
        {"a language token whose length runs past the packet", kwtest::packets(0x0F, lengthPast)},
        {"an unknown token", kwtest::packets(0x0F, std::string("\x99\x01\x02\x03", 4))},
        {"a cursor token whose length runs past the packet",
         kwtest::packets(0x0F, std::string("\x86\x40\x00\x01\x63", 5))},
        {"garbage that is not a packet", std::string("GET / HTTP/1.1\r\n\r\n")},
        {"a packet larger than the negotiated size", header(0x0F, 1, 2000) + std::string(1992, 'x')},
        {"a second login", kwtest::packets(0x02, kwtest::loginRecord({}))},
    };
    for (const auto& [claim, bytes] : cases) {
        RawClient raw(env().gateway().port());
        ASSERT_TRUE(raw.login()) << claim;
        raw.send(bytes);
        EXPECT_TRUE(raw.closedByServer()) << claim;
    }
    expectGatewayServes(env().serverName());
    EXPECT_NE(env().gateway().log().find("dropped"), std::string::npos) << "the log names dropped sessions";
}

TEST(MalformedInput, AStalledClientAndARequestBeyondTheSizeLimitAreDropped) {
    kwtest::Gateway& strict =
        env().startGateway("KWGW_STRICT", {"--read-timeout", "1", "--max-request-size", "65536"});
    RawClient stalled(strict.port());
    stalled.send(kwtest::packets(0x02, kwtest::loginRecord({})).substr(0, 300));
    expectGatewayServes(strict.serverName());  // a client that stops mid-packet blocks nobody else
    EXPECT_TRUE(stalled.closedByServer()) << "dropped after the read timeout";

    RawClient big(strict.port());
    ASSERT_TRUE(big.login());
    big.send(kwtest::packets(0x0F, kwtest::languageToken("select '" + std::string(100000, 'x') + "'")));
    EXPECT_TRUE(big.closedByServer());
    expectGatewayServes(strict.serverName());
}

TEST(RawProtocol, ALoginNamingACharacterSetIsServedInItAndOneWithoutAnEncodingIsRefused) {
    kwtest::LoginFields f;
    f.user = kJoe.name;
    f.password = kJoe.password;
    f.charset = "CP1252";
    RawClient served(env().gateway().port());
    served.send(kwtest::packets(0x02, kwtest::loginRecord(f)));
    std::string reply = served.readReply();
    const std::string envChange = std::string("\x03\x06", 2) + "cp1252" + std::string(1, '\0');
    EXPECT_NE(reply.find(envChange), std::string::npos) << "ENVCHANGE charset names the set in use";
    // A Latin-1 byte the client sends is stored as that character and comes back as that byte.
    served.send(kwtest::packets(0x0F, kwtest::languageToken("select '\x80\xE9' x")));
    std::string answer = served.readReply();
    EXPECT_NE(answer.find(std::string("\x02\x80\xE9", 3)), std::string::npos)
        << "a VARCHAR(2) row of 2 bytes: " << ::testing::PrintToString(answer);

    f.charset = "cp850";
    RawClient refused(env().gateway().port());
    refused.send(kwtest::packets(0x02, kwtest::loginRecord(f)));
    reply = refused.readReply();
    EXPECT_NE(reply.find("Cannot find the requested character set in Syscharsets: name = 'cp850'."),
              std::string::npos);
    size_t ack = reply.find('\xAD');
    ASSERT_NE(ack, std::string::npos);
    EXPECT_EQ(reply[ack + 3], 6) << "the login fails";
}

TEST(RawProtocol, AnAttentionWhileIdleGetsOneAttentionDoneAndALogoutADoneAndTheClose) {
    RawClient raw(env().gateway().port());
    ASSERT_TRUE(raw.login());
    raw.send(header(0x06, 1, 8));
    EXPECT_EQ(raw.readReply(), std::string("\xFD\x20\x00\x00\x00\x00\x00\x00\x00", 9));
    raw.send(kwtest::packets(0x0F, kwtest::languageToken("select 1")));
    std::string answer = raw.readReply();
    ASSERT_FALSE(answer.empty());
    EXPECT_EQ(static_cast<uint8_t>(answer[0]), 0xEE) << "the next answer starts with its row format";
    raw.send(kwtest::packets(0x0F, std::string("\x71\x00", 2)));
    EXPECT_EQ(raw.readReply(), std::string("\xFD\x00\x00\x00\x00\x00\x00\x00\x00", 9));
    EXPECT_TRUE(raw.closedByServer());
}

// The DONE that ends a reply: its status bits.
int finalDoneStatus(const std::string& reply) {
    if (reply.size() < 9 || static_cast<uint8_t>(reply[reply.size() - 9]) != 0xFD) {
        return -1;
    }
    return static_cast<uint8_t>(reply[reply.size() - 8]) | static_cast<uint8_t>(reply[reply.size() - 7]) << 8;
}

std::string bytes(std::initializer_list<int> b) {
    return std::string(b.begin(), b.end());
}

// The session refuses every request the parser names unserved in the same way; ParseRequest reads
// the other token kinds, so here are the ones it does not read, and an option the gateway refuses.
TEST(RawProtocol, EveryRequestTheGatewayDoesNotServeIsRefusedAndTheSessionAnswersTheNextOne) {
    const std::pair<const char*, std::string> cases[] = {
        {"OPTIONCMD set ANSI nulls", bytes({0xA6, 4, 0, 1, 34, 1, 1})},
        {"CURDECLARE then CUROPEN",
         bytes({0x86, 6, 0, 1, 'c', 1, 0, 0, 0, 0x84, 7, 0, 0, 0, 0, 0, 1, 'c', 0})},
        {"CURDELETE", bytes({0x81, 5, 0, 7, 0, 0, 0, 0})},
        {"CURUPDATE", bytes({0x85, 5, 0, 7, 0, 0, 0, 0})},
        {"CURINFO", bytes({0x83, 7, 0, 0, 0, 0, 0, 1, 'c', 1})},
        {"CURDECLARE2", bytes({0x23, 2, 0, 0, 0, 1, 'c'})},
        {"CURDECLARE3", bytes({0x10, 2, 0, 0, 0, 1, 'c'})},
    };
    RawClient raw(env().gateway().port());
    ASSERT_TRUE(raw.login());
    for (const auto& [claim, request] : cases) {
        raw.send(kwtest::packets(0x0F, request));
        std::string reply = raw.readReply();
        EXPECT_EQ(static_cast<uint8_t>(reply.empty() ? 0 : reply[0]), 0xE5) << claim << ": a message first";
        EXPECT_EQ(finalDoneStatus(reply), 0x02) << claim << ": then a DONE with the error bit";
        raw.send(kwtest::packets(0x0F, kwtest::languageToken("select 1")));
        std::string answer = raw.readReply();
        ASSERT_FALSE(answer.empty()) << claim << ": the session is still there";
        EXPECT_EQ(static_cast<uint8_t>(answer[0]), 0xEE) << claim << ": and answers the next request";
    }
}

TEST(RawProtocol, OptionCommandsAreAcknowledgedAndAQueryGetsTheValueInForce) {
    RawClient raw(env().gateway().port());
    ASSERT_TRUE(raw.login());
    // set text size 3000, then ask for it: OPTIONCMD info (command 4) for option 2, 4 bytes.
    raw.send(kwtest::packets(0x0F, bytes({0xA6, 7, 0, 1, 2, 4, 0xB8, 0x0B, 0, 0})));
    EXPECT_EQ(raw.readReply(), bytes({0xFD, 0, 0, 0, 0, 0, 0, 0, 0}));
    raw.send(kwtest::packets(0x0F, bytes({0xA6, 3, 0, 3, 2, 0})));
    EXPECT_EQ(raw.readReply(), bytes({0xA6, 7, 0, 4, 2, 4, 0xB8, 0x0B, 0, 0, 0xFD, 0, 0, 0, 0, 0, 0, 0, 0}));
    // chained transactions: off by default, on when set.
    raw.send(kwtest::packets(0x0F, bytes({0xA6, 3, 0, 3, 25, 0})));
    EXPECT_EQ(raw.readReply(), bytes({0xA6, 4, 0, 4, 25, 1, 0, 0xFD, 0, 0, 0, 0, 0, 0, 0, 0}));
    raw.send(kwtest::packets(0x0F, bytes({0xA6, 4, 0, 1, 25, 1, 1})));
    EXPECT_EQ(raw.readReply(), bytes({0xFD, 0, 0, 0, 0, 0, 0, 0, 0}));
    raw.send(kwtest::packets(0x0F, bytes({0xA6, 3, 0, 3, 25, 0})));
    EXPECT_EQ(raw.readReply(), bytes({0xA6, 4, 0, 4, 25, 1, 1, 0xFD, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(RawProtocol, TheLoginAnswersOnlyTheCapabilitiesTheGatewayServes) {
    RawClient raw(env().gateway().port());
    kwtest::LoginFields f;
    f.user = kJoe.name;
    f.password = kJoe.password;
    raw.send(kwtest::packets(0x02, kwtest::loginRecord(f)));
    std::string reply = raw.readReply();
    size_t at = reply.find("\xE2\x20\x00\x01\x0E", 0, 5);
    ASSERT_NE(at, std::string::npos) << "a capability token of FreeTDS's length";
    // Requests: LANG 1, MSTMT 4, CON_INBAND 40, WIDETABLE 59, SRVPKTSIZE 79 - no RPC, cursors,
    // dynamic SQL, bulk copy, messages or parameters. Answers: the four FreeTDS asks for and the
    // gateway keeps (no out-of-band data, text protocol, bulk copy or TDS debug).
    EXPECT_EQ(reply.substr(at + 3, 32),
              bytes({1, 14, 0, 0, 0, 0, 0x80, 0, 0x08, 0, 0x01, 0,    0,    0, 0, 0x12,
                     2, 14, 0, 0, 0, 0, 0,    0, 0,    0, 0,    0x02, 0x68, 0, 0, 0}));
}

}  // namespace
