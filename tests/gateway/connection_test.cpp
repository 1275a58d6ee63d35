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

}  // namespace
