// Socket-level tests of the protocol layer against a live gateway: malformed, oversized and
// truncated input ends that session only, and the gateway keeps serving everyone else.
#include "protocol/connection.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>

#include "live.h"
#include "login_bytes.h"

namespace {

using kwtest::env;
using kwtest::kJoe;

// A raw TCP client of the gateway.
class RawClient {
  public:
    explicit RawClient(uint16_t port) {
        fd_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(port);
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected_ = connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    }
    ~RawClient() { close(fd_); }

    bool connected() const { return connected_; }
    bool send(const std::string& bytes) {
        return ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
    }

    // Reads one whole reply (packets up to the one marked last); empty when the server closed.
    std::string readReply(int timeoutMs = 10000) {
        std::string payload;
        for (;;) {
            std::string header = readExactly(8, timeoutMs);
            if (header.size() < 8) {
                return payload;
            }
            size_t length = (static_cast<uint8_t>(header[2]) << 8) | static_cast<uint8_t>(header[3]);
            payload += readExactly(length - 8, timeoutMs);
            if (header[1] & 1) {
                return payload;
            }
        }
    }

    // True when the server closes the connection within `timeoutMs` (data before the close is
    // read and dropped).
    bool closedByServer(int timeoutMs) {
        auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            int left = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                            until - std::chrono::steady_clock::now())
                                            .count());
            pollfd p{fd_, POLLIN, 0};
            if (left <= 0 || poll(&p, 1, left) <= 0) {
                return false;
            }
            char buf[4096];
            ssize_t n = recv(fd_, buf, sizeof buf, 0);
            if (n <= 0) {
                return true;
            }
        }
    }

    // Logs in as JOE; true when the gateway accepted.
    bool login() {
        kwtest::LoginFields f;
        f.user = kJoe.name;
        f.password = kJoe.password;
        if (!send(kwtest::packets(0x02, kwtest::loginRecord(f)))) {
            return false;
        }
        std::string reply = readReply();
        size_t ack = reply.find('\xAD');
        return ack != std::string::npos && ack + 3 < reply.size() && reply[ack + 3] == 5;
    }

  private:
    std::string readExactly(size_t n, int timeoutMs) {
        std::string out;
        while (out.size() < n) {
            pollfd p{fd_, POLLIN, 0};
            if (poll(&p, 1, timeoutMs) <= 0) {
                break;
            }
            char buf[4096];
            ssize_t got = recv(fd_, buf, std::min(sizeof buf, n - out.size()), 0);
            if (got <= 0) {
                break;
            }
            out.append(buf, static_cast<size_t>(got));
        }
        return out;
    }

    int fd_ = -1;
    bool connected_ = false;
};

std::string header(uint8_t type, uint8_t status, uint16_t length) {
    std::string h(8, '\0');
    h[0] = static_cast<char>(type);
    h[1] = static_cast<char>(status);
    h[2] = static_cast<char>(length >> 8);
    h[3] = static_cast<char>(length & 0xFF);
    return h;
}

void expectGatewayServes() {
    kwtest::DbClient c(env().serverName(), kJoe.name, kJoe.password);
    ASSERT_TRUE(c.connected()) << "the gateway still accepts logins";
    EXPECT_EQ(kwtest::query(c, "select 1"), (std::vector<std::vector<std::string>>{{"1"}}));
}

TEST(MalformedInput, BeforeLoginEndsThatSessionOnly) {
    std::string login = kwtest::packets(0x02, kwtest::loginRecord({}));
    kwtest::LoginFields longUser;
    std::string badLength = kwtest::loginRecord(longUser);
    badLength[61] = 40;  // the user name's length byte runs past its 30-byte field
    struct Case {
        const char* claim;
        std::string bytes;
    } cases[] = {
        {"a login record cut short inside its fixed part",
         kwtest::packets(0x02, kwtest::loginRecord({}).substr(0, 400))},
        {"a length byte past its field", kwtest::packets(0x02, badLength)},
        {"a packet length shorter than its header", header(0x02, 1, 4) + "abcd"},
        {"a login packet larger than 512 bytes", header(0x02, 1, 4096) + std::string(4088, 'x')},
        {"a TDS 7 prelogin", header(0x12, 1, 20) + std::string(12, '\0')},
        {"a request before login", kwtest::packets(0x0F, kwtest::languageToken("select 1"))},
    };
    for (const Case& c : cases) {
        RawClient raw(env().gateway().port());
        ASSERT_TRUE(raw.connected());
        raw.send(c.bytes);
        EXPECT_TRUE(raw.closedByServer(5000)) << c.claim;
    }
    expectGatewayServes();
}

TEST(MalformedInput, AfterLoginEndsThatSessionOnly) {
    std::string lengthPast = kwtest::languageToken("select 1");
    lengthPast[1] = 0x7F;  // declares 127 bytes of text
    struct Case {
        const char* claim;
        std::string bytes;
    } cases[] = {
        {"a language token whose length runs past the packet", kwtest::packets(0x0F, lengthPast)},
        {"an unknown token", kwtest::packets(0x0F, std::string("\x99\x01\x02\x03", 4))},
        {"garbage that is not a packet", std::string("GET / HTTP/1.1\r\n\r\n")},
        {"a packet larger than the negotiated size", header(0x0F, 1, 2000) + std::string(1992, 'x')},
        {"a second login", kwtest::packets(0x02, kwtest::loginRecord({}))},
    };
    for (const Case& c : cases) {
        RawClient raw(env().gateway().port());
        ASSERT_TRUE(raw.login()) << c.claim;
        raw.send(c.bytes);
        EXPECT_TRUE(raw.closedByServer(5000)) << c.claim;
    }
    expectGatewayServes();
    EXPECT_NE(env().gateway().log().find("dropped"), std::string::npos) << "the log names dropped sessions";
}

TEST(MalformedInput, AClientThatStopsMidPacketIsDroppedAfterTheReadTimeout) {
    kwtest::Gateway& strict =
        env().startGateway("KWGW_STRICT", {"--read-timeout", "1", "--max-request-size", "65536"});
    RawClient stalled(strict.port());
    std::string login = kwtest::packets(0x02, kwtest::loginRecord({}));
    stalled.send(login.substr(0, 300));
    kwtest::DbClient other(strict.serverName(), kJoe.name, kJoe.password);
    EXPECT_TRUE(other.connected()) << "a stalled client blocks nobody else";
    EXPECT_TRUE(stalled.closedByServer(5000));
}

TEST(MalformedInput, ARequestBeyondTheSizeLimitEndsTheSession) {
    kwtest::Gateway& strict = env().startGateway("KWGW_SMALL", {"--max-request-size", "65536"});
    RawClient raw(strict.port());
    ASSERT_TRUE(raw.login());
    raw.send(kwtest::packets(0x0F, kwtest::languageToken("select '" + std::string(100000, 'x') + "'")));
    EXPECT_TRUE(raw.closedByServer(5000));
    kwtest::DbClient other(strict.serverName(), kJoe.name, kJoe.password);
    EXPECT_TRUE(other.connected());
}

TEST(RawProtocol, AnAttentionWhileIdleGetsExactlyOneAttentionDone) {
    RawClient raw(env().gateway().port());
    ASSERT_TRUE(raw.login());
    raw.send(header(0x06, 1, 8));
    std::string reply = raw.readReply();
    EXPECT_EQ(reply, std::string("\xFD\x20\x00\x00\x00\x00\x00\x00\x00", 9));
    raw.send(kwtest::packets(0x0F, kwtest::languageToken("select 1")));
    std::string answer = raw.readReply();
    ASSERT_FALSE(answer.empty());
    EXPECT_EQ(static_cast<uint8_t>(answer[0]), 0xEE) << "the next answer starts with its row format";
}

TEST(RawProtocol, ALogoutIsAnsweredWithDoneAndTheConnectionCloses) {
    RawClient raw(env().gateway().port());
    ASSERT_TRUE(raw.login());
    raw.send(kwtest::packets(0x0F, std::string("\x71\x00", 2)));
    EXPECT_EQ(raw.readReply(), std::string("\xFD\x00\x00\x00\x00\x00\x00\x00\x00", 9));
    EXPECT_TRUE(raw.closedByServer(5000));
}

}  // namespace
