// Socket-level tests of the protocol layer against a live gateway: malformed, oversized and
// truncated input ends that session only, and the gateway keeps serving everyone else; attention
// and logout get their exact answers.
#include "protocol/connection.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>
#include <tuple>

#include "kwtest/wait.h"
#include "live.h"
#include "login_bytes.h"

namespace {

using kwtest::env;
using kwtest::kJoe;
using kwtest::secondsSince;

// JOE's login record, as FreeTDS sends it.
kwtest::LoginFields joeLogin() {
    kwtest::LoginFields f;
    f.user = kJoe.name;
    f.password = kJoe.password;
    return f;
}

// A raw TCP client on a loopback port, from 127.0.0.1 or the loopback address `source`.
class RawClient {
  public:
    explicit RawClient(uint16_t port, const char* source = nullptr) {
        if (source != nullptr) {
            sockaddr_in from{};
            from.sin_family = AF_INET;
            inet_pton(AF_INET, source, &from.sin_addr);
            bind(fd_, reinterpret_cast<sockaddr*>(&from), sizeof from);
        }
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

    // Sends `bytes` and reads the whole reply; request() sends `payload` as one request.
    std::string exchange(const std::string& bytes) {
        send(bytes);
        return readReply();
    }
    std::string request(const std::string& payload) { return exchange(kwtest::packets(0x0F, payload)); }

    // Whether the session answers a query with its row format, as a session that goes on does.
    bool answersAQuery() {
        const std::string answer = request(kwtest::languageToken("select 1"));
        return !answer.empty() && static_cast<uint8_t>(answer[0]) == 0xEE;
    }

    // Whether the server closes the connection (data before the close is dropped).
    bool closedByServer() {
        read(SIZE_MAX, 5000);
        return closed_;
    }
    bool closed() const { return closed_; }

    // Logs in as JOE (with `password` when given); true when the gateway accepted. The reply is
    // kept in `reply` when asked for.
    bool login(const char* password = nullptr, std::string* reply = nullptr) {
        kwtest::LoginFields f = joeLogin();
        f.password = password != nullptr ? password : kJoe.password;
        std::string answer = exchange(kwtest::packets(0x02, kwtest::loginRecord(f)));
        if (reply != nullptr) {
            *reply = answer;
        }
        size_t ack = answer.find('\xAD');
        return ack != std::string::npos && ack + 3 < answer.size() && answer[ack + 3] == 5;
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

TEST(MalformedInput, BeforeOrAfterLoginEndsThatSessionOnly) {
    std::string badLength = kwtest::loginRecord({});
    badLength[61] = 40;  // the user name's length byte runs past its 30-byte field
    std::string lengthPast = kwtest::languageToken("select 1");
    lengthPast[1] = 0x7F;  // declares 127 bytes of text
    // The claim, whether the client logs in first, and what it sends then.
    const std::tuple<const char*, bool, std::string> cases[] = {
        {"a login record cut short inside its fixed part", false,
         kwtest::packets(0x02, kwtest::loginRecord({}).substr(0, 400))},
        {"a length byte past its field", false, kwtest::packets(0x02, badLength)},
        {"a packet length shorter than its header", false, header(0x02, 1, 4) + "abcd"},
        {"a login packet larger than 512 bytes", false, header(0x02, 1, 4096) + std::string(4088, 'x')},
        {"a TDS 7 prelogin", false, header(0x12, 1, 20) + std::string(12, '\0')},
        {"a request before login", false, kwtest::packets(0x0F, kwtest::languageToken("select 1"))},
        {"a language token whose length runs past the packet", true, kwtest::packets(0x0F, lengthPast)},
        {"an unknown token", true, kwtest::packets(0x0F, std::string("\x99\x01\x02\x03", 4))},
        {"a cursor token whose length runs past the packet", true,
         kwtest::packets(0x0F, std::string("\x86\x40\x00\x01\x63", 5))},
        {"a remote procedure call whose name runs past its token", true,
         kwtest::packets(0x0F, std::string("\xE6\x05\x00\x09sp_x\x00\x00", 10))},
        {"garbage that is not a packet", true, std::string("GET / HTTP/1.1\r\n\r\n")},
        {"a packet larger than the negotiated size", true, header(0x0F, 1, 2000) + std::string(1992, 'x')},
        {"a second login", true, kwtest::packets(0x02, kwtest::loginRecord({}))},
    };
    for (const auto& [claim, loggedIn, bytes] : cases) {
        RawClient raw(env().gateway().port());
        ASSERT_TRUE(loggedIn ? raw.login() : raw.connected()) << claim;
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
    kwtest::LoginFields f = joeLogin();
    f.charset = "CP1252";
    RawClient served(env().gateway().port());
    std::string reply = served.exchange(kwtest::packets(0x02, kwtest::loginRecord(f)));
    const std::string envChange = std::string("\x03\x06", 2) + "cp1252" + std::string(1, '\0');
    EXPECT_NE(reply.find(envChange), std::string::npos) << "ENVCHANGE charset names the set in use";
    // A Latin-1 byte the client sends is stored as that character and comes back as that byte.
    std::string answer = served.request(kwtest::languageToken("select '\x80\xE9' x"));
    EXPECT_NE(answer.find(std::string("\x02\x80\xE9", 3)), std::string::npos)
        << "a VARCHAR(2) row of 2 bytes: " << ::testing::PrintToString(answer);

    f.charset = "cp850";
    RawClient refused(env().gateway().port());
    reply = refused.exchange(kwtest::packets(0x02, kwtest::loginRecord(f)));
    EXPECT_NE(reply.find("Cannot find the requested character set in Syscharsets: name = 'cp850'."),
              std::string::npos);
    size_t ack = reply.find('\xAD');
    ASSERT_NE(ack, std::string::npos);
    EXPECT_EQ(reply[ack + 3], 6) << "the login fails";
}

TEST(RawProtocol, AnAttentionWhileIdleGetsOneAttentionDoneAndALogoutADoneAndTheClose) {
    RawClient raw(env().gateway().port());
    ASSERT_TRUE(raw.login());
    EXPECT_EQ(raw.exchange(header(0x06, 1, 8)), std::string("\xFD\x20\x00\x00\x00\x00\x00\x00\x00", 9));
    EXPECT_TRUE(raw.answersAQuery()) << "the next answer starts with its row format";
    EXPECT_EQ(raw.request(std::string("\x71\x00", 2)),
              std::string("\xFD\x00\x00\x00\x00\x00\x00\x00\x00", 9));
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
        // sp_pkeys @flag = a BITN, a type the gateway does not decode.
        {"DBRPC with a BITN parameter",
         bytes({0xE6, 11, 0, 8, 's', 'p', '_', 'p', 'k', 'e', 'y', 's', 2, 0}) +
             bytes({0xEC, 16, 0, 1, 0, 5, '@', 'f', 'l', 'a', 'g', 0, 0, 0, 0, 0, 0x68, 1, 0}) +
             bytes({0xD7, 1, 1})},
    };
    RawClient raw(env().gateway().port());
    ASSERT_TRUE(raw.login());
    for (const auto& [claim, request] : cases) {
        std::string reply = raw.request(request);
        EXPECT_EQ(static_cast<uint8_t>(reply.empty() ? 0 : reply[0]), 0xE5) << claim << ": a message first";
        EXPECT_EQ(finalDoneStatus(reply), 0x02) << claim << ": then a DONE with the error bit";
        ASSERT_TRUE(raw.answersAQuery()) << claim << ": the session is still there and answers";
    }
}

// One row of a bulk copy into (INTEGER, VARCHAR), both given, as FreeTDS writes its image: the
// variable columns count, row number, row length, the values, then offsets 4, 8 and 8 + name
// length, last first, after their count.
std::string bulkRow(int32_t id, const std::string& name) {
    const size_t size = 2 + 2 + 4 + name.size() + 4;
    std::string image = bytes({2, 0, static_cast<int>(size), 0, id & 0xFF, (id >> 8) & 0xFF, 0, 0}) + name;
    image += bytes({3, static_cast<int>(8 + name.size()), 8, 4});
    return bytes({static_cast<int>(image.size()), 0}) + image;
}

// A bulk copy message comes only after `insert bulk`; a malformed row or an attention in the middle
// of one fails or stops it whole and leaves the table as it was; the session goes on either way.
TEST(RawProtocol, BulkCopyRowsAreLoadedWholeOrNotAtAll) {
    kwtest::createJoeTable("RAWBULK", "id integer PRIMARY KEY, name varchar(10)");
    env().exec("INSERT INTO joe.rawbulk VALUES (1, 'one')");
    auto count = [] { return env().queryValue("SELECT count(*) FROM joe.rawbulk"); };
    RawClient raw(env().gateway().port());
    ASSERT_TRUE(raw.login());
    auto startBulk = [&raw] {
        return finalDoneStatus(raw.request(kwtest::languageToken("insert bulk joe.rawbulk")));
    };

    // Rows with no insert bulk before them.
    std::string reply = raw.exchange(kwtest::packets(0x07, bulkRow(2, "two")));
    EXPECT_EQ(static_cast<uint8_t>(reply.empty() ? 0 : reply[0]), 0xE5);
    EXPECT_EQ(finalDoneStatus(reply), 0x02);

    // A good row in the first packet, a malformed one (9 variable columns of 2) in the last.
    ASSERT_EQ(startBulk(), 0x00);
    const std::string good = bulkRow(2, "two");
    raw.send(header(0x07, 0, static_cast<uint16_t>(8 + good.size())) + good);
    reply = raw.exchange(header(0x07, 1, 8 + 5) + bytes({3, 0, 9, 0, 0}));
    EXPECT_NE(reply.find("DG21002"), std::string::npos);
    EXPECT_EQ(finalDoneStatus(reply), 0x02);
    EXPECT_EQ(count(), "1");

    // An attention after the first packet.
    ASSERT_EQ(startBulk(), 0x00);
    raw.send(header(0x07, 0, static_cast<uint16_t>(8 + good.size())) + good);
    EXPECT_EQ(finalDoneStatus(raw.exchange(header(0x06, 1, 8))), 0x20);
    EXPECT_EQ(count(), "1");

    // Two rows, in two packets and a row cut between them: both loaded, the count answered.
    ASSERT_EQ(startBulk(), 0x00);
    const std::string rows = bulkRow(3, "three") + bulkRow(4, "four");
    raw.send(header(0x07, 0, 8 + 10) + rows.substr(0, 10));
    reply = raw.exchange(header(0x07, 1, static_cast<uint16_t>(8 + rows.size() - 10)) + rows.substr(10));
    ASSERT_EQ(reply.size(), 9u);
    EXPECT_EQ(finalDoneStatus(reply), 0x10);
    EXPECT_EQ(static_cast<uint8_t>(reply[5]), 2) << "the rows loaded";
    EXPECT_EQ(env().queryValue("SELECT string_agg(name, ',' ORDER BY id) FROM joe.rawbulk"),
              "one,three,four");
}

// In a unit of work a bulk copy is one statement of it: a failing one (a duplicate key) undoes only
// itself, a good one stays until the unit of work ends, committed or rolled back with the rest.
TEST(RawProtocol, ABulkCopyInAUnitOfWorkIsOneOfItsStatements) {
    kwtest::createJoeTable("RAWBULKTX", "id integer PRIMARY KEY, name varchar(10)");
    RawClient raw(env().gateway().port());
    ASSERT_TRUE(raw.login());
    auto batch = [&raw](const std::string& sql) {
        return finalDoneStatus(raw.request(kwtest::languageToken(sql)));
    };
    auto load = [&raw, &batch](const std::string& rows) {
        EXPECT_EQ(batch("insert bulk joe.rawbulktx"), 0x00);
        return finalDoneStatus(raw.exchange(kwtest::packets(0x07, rows)));
    };
    auto names = [] {
        return env().queryValue("SELECT string_agg(name, ',' ORDER BY id) FROM joe.rawbulktx");
    };

    ASSERT_EQ(batch("SET LONG_TRANS YES"), 0x00);
    EXPECT_EQ(batch("INSERT INTO JOE.RAWBULKTX VALUES (1, 'one')") & 0x02, 0);
    EXPECT_EQ(load(bulkRow(2, "two") + bulkRow(1, "again")), 0x02) << "a duplicate key fails the load";
    EXPECT_EQ(load(bulkRow(3, "three")), 0x10);
    EXPECT_EQ(names(), "") << "nothing is committed yet";
    EXPECT_EQ(batch("commit tran") & 0x02, 0);
    EXPECT_EQ(names(), "one,three");

    EXPECT_EQ(load(bulkRow(4, "four")), 0x10);
    EXPECT_EQ(batch("rollback tran") & 0x02, 0);
    EXPECT_EQ(batch("SET LONG_TRANS NO"), 0x00);
    EXPECT_EQ(names(), "one,three");
}

TEST(RawProtocol, OptionCommandsAreAcknowledgedAndAQueryGetsTheValueInForce) {
    RawClient raw(env().gateway().port());
    ASSERT_TRUE(raw.login());
    const std::string done = bytes({0xFD, 0, 0, 0, 0, 0, 0, 0, 0});
    // set text size 3000, then ask for it: OPTIONCMD info (command 4) for option 2, 4 bytes.
    EXPECT_EQ(raw.request(bytes({0xA6, 7, 0, 1, 2, 4, 0xB8, 0x0B, 0, 0})), done);
    EXPECT_EQ(raw.request(bytes({0xA6, 3, 0, 3, 2, 0})),
              bytes({0xA6, 7, 0, 4, 2, 4, 0xB8, 0x0B, 0, 0}) + done);
    // chained transactions: off by default, on when set.
    EXPECT_EQ(raw.request(bytes({0xA6, 3, 0, 3, 25, 0})), bytes({0xA6, 4, 0, 4, 25, 1, 0}) + done);
    EXPECT_EQ(raw.request(bytes({0xA6, 4, 0, 1, 25, 1, 1})), done);
    EXPECT_EQ(raw.request(bytes({0xA6, 3, 0, 3, 25, 0})), bytes({0xA6, 4, 0, 4, 25, 1, 1}) + done);
}

TEST(RawProtocol, TheLoginAnswersOnlyTheCapabilitiesTheGatewayServes) {
    RawClient raw(env().gateway().port());
    std::string reply = raw.exchange(kwtest::packets(0x02, kwtest::loginRecord(joeLogin())));
    size_t at = reply.find("\xE2\x20\x00\x01\x0E", 0, 5);
    ASSERT_NE(at, std::string::npos) << "a capability token of FreeTDS's length";
    // Requests: LANG 1, RPC 2, MSTMT 4, DYNF 7, PARAM 9, the parameter data types 10-32, CON_INBAND
    // 40, PROTO_DYNPROC 48, FLTN 49, INT8 51, WIDETABLE 59, SRVPKTSIZE 79 - no cursors, bulk copy,
    // messages, BITN, unsigned integers, DATE, TIME or big date-times. Answers: the four FreeTDS
    // asks for and the gateway keeps (no out-of-band data, text protocol, bulk copy or TDS debug).
    EXPECT_EQ(reply.substr(at + 3, 32),
              bytes({1, 14, 0, 0, 0, 0, 0x80, 0x00, 0x08, 0x0B, 0x01, 0x01, 0xFF, 0xFF, 0xFE, 0x96,
                     2, 14, 0, 0, 0, 0, 0,    0,    0,    0,    0,    0x02, 0x68, 0,    0,    0}));
}

// Sends `bytes` one at a time, `intervalMs` apart, until the server closes the connection;
// answers the seconds that took, or -1 when all bytes went out (or 20 s passed) with the
// connection still open. The client never pauses longer than the interval.
double trickleUntilClosed(RawClient& raw, const std::string& bytes, int intervalMs) {
    const auto start = kwtest::Clock::now();
    for (char b : bytes) {
        raw.send(std::string(1, b));
        raw.read(SIZE_MAX, intervalMs);
        if (raw.closed()) {
            return secondsSince(start);
        }
        if (secondsSince(start) > 20) {
            break;
        }
    }
    return -1;
}

TEST(Deadlines, ALoginMustBeWholeWithinTheLoginTimeoutAndARequestWithinTheReadTimeout) {
    kwtest::Gateway& strict =
        env().startGateway("KWGW_DEADLINE", {"--login-timeout", "2", "--read-timeout", "2"});
    {
        RawClient idle(strict.port());
        const auto start = kwtest::Clock::now();
        EXPECT_TRUE(idle.closedByServer()) << "a connection that never logs in is closed";
        const double took = secondsSince(start);
        EXPECT_GE(took, 1.5);
        EXPECT_LT(took, 4.5) << "at the login timeout";
    }
    {
        RawClient slow(strict.port());
        const double took =
            trickleUntilClosed(slow, kwtest::packets(0x02, kwtest::loginRecord(joeLogin())), 100);
        EXPECT_GT(took, 1.5) << "a byte every 100 ms restarts no clock";
        EXPECT_LT(took, 4.5);
    }
    {
        RawClient slow(strict.port());
        ASSERT_TRUE(slow.login());
        const double took = trickleUntilClosed(
            slow, kwtest::packets(0x0F, kwtest::languageToken("select 1 from t where x = 'a'")), 100);
        EXPECT_GT(took, 1.5) << "a request trickled a byte every 100 ms is given the read timeout";
        EXPECT_LT(took, 4.5);
    }
    {
        RawClient idle(strict.port());
        ASSERT_TRUE(idle.login());
        std::this_thread::sleep_for(std::chrono::milliseconds(2500));
        EXPECT_TRUE(idle.answersAQuery()) << "a session idle between requests is kept";
    }
    expectGatewayServes(strict.serverName());
    const std::string log = strict.log();
    EXPECT_NE(log.find("no complete login within the login timeout (2000 ms)"), std::string::npos) << log;
    EXPECT_NE(log.find("request not complete within the read timeout (2000 ms)"), std::string::npos) << log;
}

TEST(Deadlines, BeforeLoginNoMoreIsReadThanALoginNeeds) {
    // Twelve 512-byte login packets without an end: 6 KB, more than any login.
    std::string endless;
    for (int i = 0; i < 12; ++i) {
        endless += header(0x02, 0, 512) + std::string(504, 'x');
    }
    RawClient raw(env().gateway().port());
    raw.send(endless);
    EXPECT_TRUE(raw.closedByServer());
    EXPECT_NE(env().gateway().log().find("message of more than 4096 bytes exceeds the limit"),
              std::string::npos)
        << env().gateway().log();
    expectGatewayServes(env().serverName());
}

// The text of the first EED of a reply, and the status of its LOGINACK (0 without one).
std::pair<std::string, int> refusal(const std::string& reply) {
    std::pair<std::string, int> out{"", 0};
    if (reply.size() > 12 && static_cast<uint8_t>(reply[0]) == 0xE5) {
        // EED: length(2) number(4) state severity sqlstate-length(1)+sqlstate status(1) tran(2) msg-length(2)
        // msg
        size_t at = 3 + 4 + 1 + 1;
        at += 1 + static_cast<uint8_t>(reply[at]) + 1 + 2;
        const size_t length = static_cast<uint8_t>(reply[at]) | static_cast<uint8_t>(reply[at + 1]) << 8;
        out.first = reply.substr(at + 2, length);
    }
    size_t ack = reply.find('\xAD');
    if (ack != std::string::npos && ack + 3 < reply.size()) {
        out.second = reply[ack + 3];
    }
    return out;
}

TEST(MaxSessions, ALoginBeyondTheLimitIsRefusedWithItsOwnMessageAndServedOnceASessionEnds) {
    kwtest::Gateway& two = env().startGateway("KWGW_TWO", {"--max-sessions", "2"});
    auto first = std::make_unique<kwtest::DbClient>(two.serverName(), kJoe.name, kJoe.password);
    kwtest::DbClient second(two.serverName(), kJoe.name, kJoe.password);
    ASSERT_TRUE(first->connected());
    ASSERT_TRUE(second.connected());
    {
        kwtest::DbClient third(two.serverName(), kJoe.name, kJoe.password);
        EXPECT_FALSE(third.connected());
        auto refused = third.find(21011);
        ASSERT_NE(refused, nullptr) << "a message, not a dropped socket";
        EXPECT_EQ(refused->text,
                  "DG21011: Login failed: too many sessions; the gateway serves at most 2 at once.");
        EXPECT_EQ(third.find(4002), nullptr) << "not the text of a wrong password";
    }
    EXPECT_TRUE(second.exec("select 1")) << "the sessions served go on";
    second.drain();
    first.reset();
    EXPECT_TRUE(kwtest::waitUntil(
        [&two] { return kwtest::DbClient(two.serverName(), kJoe.name, kJoe.password).connected(); }, 5))
        << "a place freed is served again";
    EXPECT_NE(two.log().find("refused: 2 sessions already (--max-sessions)"), std::string::npos) << two.log();
}

// Tasks (threads) the user `uid` runs now.
int tasksOf(uid_t uid) {
    int n = 0;
    for (const auto& process : std::filesystem::directory_iterator("/proc")) {
        std::error_code ec;
        for (const auto& task : std::filesystem::directory_iterator(process.path() / "task", ec)) {
            std::ifstream status(task.path() / "status");
            std::string line;
            while (std::getline(status, line)) {
                if (line.rfind("Uid:", 0) == 0) {
                    n += std::stoul(line.substr(4)) == uid ? 1 : 0;
                    break;
                }
            }
        }
    }
    return n;
}

// A session thread that cannot be started (the user's task limit reached) refuses that client
// alone; the gateway goes on and serves the next client once there is room.
TEST(MaxSessions, ASessionThreadThatCannotStartRefusesThatClientAndTheGatewayGoesOn) {
    constexpr uid_t kNobody = 65534;
    if (getuid() != 0) {
        GTEST_SKIP() << "needs root to run the gateway as another user under a task limit";
    }
    const rlim_t limit = static_cast<rlim_t>(tasksOf(kNobody) + 3);  // main thread and two sessions
    int out[2];
    ASSERT_EQ(pipe2(out, O_CLOEXEC), 0);
    const std::string pg = "host=" + kwtest::conninfoValue(std::getenv("PGHOST")) +
                           " port=" + kwtest::conninfoValue(std::getenv("PGPORT")) +
                           " dbname=" + kwtest::conninfoValue(env().databaseName());
    const std::string exe = env().kwgatewayPath();
    pid_t pid = fork();
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        rlimit r{limit, limit};
        dup2(out[1], STDOUT_FILENO);
        int devnull = open("/dev/null", O_WRONLY);
        dup2(devnull, STDERR_FILENO);
        if (setrlimit(RLIMIT_NPROC, &r) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0) {
            _exit(126);
        }
        execl(exe.c_str(), exe.c_str(), "serve", "--pg", pg.c_str(), "--listen", "127.0.0.1:0",
              "--login-timeout", "10", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(out[1]);
    std::string line;
    pollfd p{out[0], POLLIN, 0};
    char c;
    while (poll(&p, 1, 10000) > 0 && ::read(out[0], &c, 1) == 1 && c != '\n') {
        line += c;
    }
    close(out[0]);
    const size_t colon = line.rfind(':');
    if (line.rfind("listening on ", 0) != 0 || colon == std::string::npos) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        GTEST_SKIP() << "the gateway cannot run as nobody here: " << line;
    }
    const auto port = static_cast<uint16_t>(std::stoi(line.substr(colon + 1)));
    {
        auto a = std::make_unique<RawClient>(port);
        auto b = std::make_unique<RawClient>(port);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));  // both sessions are started
        RawClient refused(port);
        std::string reply;
        EXPECT_FALSE(refused.login(nullptr, &reply));
        auto [text, ack] = refusal(reply);
        EXPECT_EQ(text,
                  "DG21011: Login failed: too many sessions; the gateway cannot start another one now.");
        EXPECT_EQ(ack, 6) << "a failed LOGINACK";
        a.reset();
        b.reset();
    }
    // Once the two idle sessions are gone the next client gets a session: whatever PostgreSQL
    // answers, it is no refusal for want of a thread.
    EXPECT_TRUE(kwtest::waitUntil(
        [port] {
            RawClient next(port);
            std::string reply;
            next.login(nullptr, &reply);
            return !reply.empty() && refusal(reply).first.find("cannot start") == std::string::npos;
        },
        5))
        << "the gateway survived and serves again";
    EXPECT_EQ(waitpid(pid, nullptr, WNOHANG), 0) << "the gateway is still running";
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
}

TEST(LoginThrottle, RepeatedWrongPasswordsSlowThatAddressAndNotAGoodLoginFromAnother) {
    kwtest::Gateway& gw = env().startGateway("KWGW_THROTTLE", {"--login-timeout", "10"});
    auto attempt = [&gw](const char* source, const char* password, std::string* text) {
        const auto start = kwtest::Clock::now();
        RawClient raw(gw.port(), source);
        std::string reply;
        raw.login(password, &reply);
        *text = refusal(reply).first;
        return secondsSince(start);
    };
    std::string text;
    double firstSix = 0;
    for (int i = 0; i < 6; ++i) {
        firstSix += attempt("127.0.0.1", "wrong", &text);
        EXPECT_EQ(text, "Login failed.") << "attempt " << i + 1;
    }
    EXPECT_GE(firstSix, 1.5) << "the fourth to sixth failures cost 0.25 + 0.5 + 1 s";
    const double good = attempt("127.0.0.2", nullptr, &text);
    EXPECT_EQ(text, "Changed language setting to 'us_english'.") << "another address logs in";
    const double seventh = attempt("127.0.0.1", "wrong", &text);
    EXPECT_EQ(text, "Login failed.");
    EXPECT_GE(seventh, 1.5) << "six failures: the seventh attempt waits 2 s";
    EXPECT_LT(good + 1.0, seventh) << "the good login from elsewhere waited for nobody";
    EXPECT_NE(gw.log().find("login refused for 'JOE'"), std::string::npos);
}

}  // namespace
