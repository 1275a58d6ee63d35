// protocol_test.cpp - the TDS 5.0 layer: packet headers and reassembly limits, the login record as
// FreeTDS 1.3.17 lays it out, and the token writers and request reader against the byte streams
// FreeTDS is known to accept and to send.
#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>
#include <vector>

#include "login_bytes.h"
#include "protocol/capability.h"
#include "protocol/login.h"
#include "protocol/packet.h"
#include "protocol/tokens.h"

namespace {

using gw::Cell;
using gw::ColumnFormat;
using gw::WireType;
using namespace gw::tds;

std::string bytes(std::initializer_list<int> b) {
    return std::string(b.begin(), b.end());
}

PacketHeader header(uint8_t type, uint8_t status, size_t payload) {
    return PacketHeader{type, status, static_cast<uint16_t>(payload + 8)};
}

// Headers, reassembly and splitting of well-formed traffic: session_test's PacketSplitting, live.
TEST(Packets, TheReassemblerRefusesHeadersItCannotAccept) {
    const std::tuple<const char*, size_t, bool, PacketHeader> cases[] = {
        {"a length shorter than the header", 1 << 20, false, PacketHeader{0x0F, 0, 7}},
        {"a packet larger than the negotiated size", 1 << 20, false, header(0x0F, 1, 600)},
        {"a message past the size limit", 1000, true, header(0x0F, 1, 504)},
        {"a packet of another type inside a message", 1 << 20, true, header(0x06, 1, 0)},
    };
    for (auto [claim, maxMessage, midMessage, h] : cases) {
        Reassembler r(512, maxMessage);
        if (midMessage) {
            r.add(header(0x0F, 0, 504), std::string(504, 'x'));
        }
        EXPECT_TRUE(r.check(h)) << claim;
    }
    EXPECT_FALSE(Reassembler(512, 1 << 20).check(header(0x0F, 1, 504)))
        << "a full 512-byte packet is accepted";
}

TEST(Packets, AnEmptyPayloadIsAPacketOnlyWhenItEndsTheReply) {
    std::string empty;
    splitPackets(empty, PacketType::Reply, "", 512, true);
    EXPECT_EQ(empty, bytes({0x04, 0x01, 0x00, 0x08, 0, 0, 0, 0})) << "an empty last payload ends the message";
    std::string none;
    splitPackets(none, PacketType::Reply, "", 512, false);
    EXPECT_TRUE(none.empty());
}

LoginRecord parsed(const std::string& bytes) {
    auto r = parseLogin(bytes);
    if (auto* e = std::get_if<LoginError>(&r)) {
        ADD_FAILURE() << e->reason;
        return {};
    }
    return std::get<LoginRecord>(r);
}

TEST(ParseLogin, ReadsTheFieldsOfAFreetdsLogin) {
    kwtest::LoginFields f;
    f.packetSize = "4096";
    LoginRecord rec = parsed(kwtest::loginRecord(f));
    using Texts = std::vector<std::string>;
    EXPECT_EQ((Texts{rec.userName, rec.password, rec.hostName, rec.appName, rec.serverName, rec.libraryName,
                     rec.language}),
              (Texts{"JOE", "secret", "testhost", "kwtest", "KWGW", "DB-Library", "us_english"}));
    EXPECT_EQ(rec.tdsMajor, 5);
    EXPECT_EQ(rec.packetSize, 4096u);
    EXPECT_EQ(rec.capabilities, kwtest::freetdsCapabilities());

    f.password = std::string(40, 'p') + "!";
    f.capability = false;
    rec = parsed(kwtest::loginRecord(f));
    EXPECT_EQ(rec.password, f.password) << "a password longer than its field comes from the remote block";
    EXPECT_TRUE(rec.capabilities.empty()) << "a record without capabilities is accepted";
}

TEST(ParseLogin, RefusesMalformedRecords) {
    std::string good = kwtest::loginRecord({});
    std::string lengthPastField = good;
    lengthPastField[61] = 31;  // user name length byte
    std::string capabilityTooLong = good;
    capabilityTooLong[569] = 0x40;  // declared 64 bytes, 32 follow
    const std::pair<const char*, std::string> cases[] = {
        {"a record cut inside its fixed part", good.substr(0, 300)},
        {"a length byte past its field's width", lengthPastField},
        {"a capability token longer than the bytes that follow", capabilityTooLong},
        {"bytes after the capability token", good + "xyz"},
        {"something other than a capability token after the fixed part", good.substr(0, 568) + "\x99\x01"},
    };
    for (const auto& [claim, record] : cases) {
        EXPECT_TRUE(std::holds_alternative<LoginError>(parseLogin(record))) << claim;
    }
}

TEST(GrantPacketSize, GrantsLargerRequestsAndTheServerDefaultForTheRest) {
    const std::pair<size_t, size_t> cases[] = {{0, 2048},    {100, 2048},    {512, 2048},  {513, 513},
                                               {4096, 4096}, {65535, 65535}, {65536, 2048}};
    for (auto [asked, granted] : cases) {
        EXPECT_EQ(grantPacketSize(asked, 2048), granted) << "asked " << asked;
    }
    EXPECT_EQ(grantPacketSize(512, 512), 512u) << "a server default of 512 keeps FreeTDS's default";
}

// The final DONE and the attention's DONE: connection_test, byte for byte.
TEST(TokenWriters, LayOutEachTokenAsFreetdsReadsIt) {
    const std::tuple<const char*, void (*)(std::string&), std::string> cases[] = {
        {"login ack",
         [](std::string& o) {
             writeLoginAck(o, LoginStatus::Succeeded, "PGGW", {15, 7, 0, 0});
         },
         bytes({0xAD, 0x0E, 0x00, 0x05, 0x05, 0, 0, 0, 0x04, 'P', 'G', 'G', 'W', 0x0F, 0x07, 0, 0})},
        {"env change with new and old value",
         [](std::string& o) { writeEnvChange(o, EnvChangeType::Database, "master", ""); },
         bytes({0xE3, 0x09, 0x00, 0x01, 0x06, 'm', 'a', 's', 't', 'e', 'r', 0x00})},
        {"done with a count", [](std::string& o) { writeDone(o, Token::Done, kDoneCount, 1); },
         bytes({0xFD, 0x10, 0, 0, 0, 1, 0, 0, 0})},
        {"error with more", [](std::string& o) { writeDone(o, Token::Done, kDoneError | kDoneMore, 0); },
         bytes({0xFD, 0x03, 0, 0, 0, 0, 0, 0, 0})},
        {"done in procedure",
         [](std::string& o) { writeDone(o, Token::DoneInProc, kDoneMore | kDoneCount, 300); },
         bytes({0xFF, 0x11, 0, 0, 0, 0x2C, 0x01, 0, 0})},
        {"done of a procedure", [](std::string& o) { writeDone(o, Token::DoneProc, kDoneProcedure, 0); },
         bytes({0xFE, 0x08, 0, 0, 0, 0, 0, 0, 0})},
        {"return status", [](std::string& o) { writeReturnStatus(o, 42); }, bytes({0x79, 42, 0, 0, 0})},
        {"option info: the value of text size",
         [](std::string& o) {
             writeOptionInfo(o, 2, bytes({0, 0x10, 0, 0}));
         },
         bytes({0xA6, 7, 0, 4, 2, 4, 0, 0x10, 0, 0})},
        {"extended error with every field counted",
         [](std::string& o) {
             writeEed(o, ServerMessage{21002, 1, 16, "abc", "S", {}, 0});
         },
         bytes({0xE5, 0x19, 0x00, 0x0A, 0x52, 0x00, 0x00, 0x01, 0x10, 0x05, 'Z', 'Z',  'Z',  'Z',
                'Z',  0x00, 0x00, 0x00, 0x03, 0x00, 'a',  'b',  'c',  0x01, 'S', 0x00, 0x00, 0x00})},
        {"row format with a label and the full user type",
         [](std::string& o) {
             const ColumnFormat c{"AMOUNT", WireType::Char, 11, gw::decimalUserType(9, 2)};
             writeRowFormat(o, std::span(&c, 1));
         },
         bytes({0xEE, 0x11, 0x00, 0x01, 0x00, 0x06, 'A',  'M',  'O',  'U',
                'N',  'T',  0x20, 0x03, 0x00, 0x09, 0x02, 0x2F, 0x0B, 0x00})},
    };
    for (const auto& [claim, write, expected] : cases) {
        std::string out;
        write(out);
        EXPECT_EQ(out, expected) << claim;
    }
}

ColumnFormat column(WireType type, uint32_t length) {
    return ColumnFormat{"", type, length, 0};
}

TEST(TokenWriters, DescribeEachWireTypeWithItsLengthField) {
    // The type byte and what follows it.
    const std::tuple<const char*, ColumnFormat, std::string> cases[] = {
        {"INTEGER as INTN 4", column(WireType::Int, 4), bytes({0x26, 4})},
        {"SMALLINT as INTN 2", column(WireType::Int, 2), bytes({0x26, 2})},
        {"FLOAT as FLTN 8", column(WireType::Float, 8), bytes({0x6D, 8})},
        {"CHAR(10)", column(WireType::Char, 10), bytes({0x2F, 10})},
        {"VARCHAR(255)", column(WireType::VarChar, 255), bytes({0x27, 255})},
        {"LONGCHAR with a 4-byte length", column(WireType::LongChar, 4046), bytes({0xAF, 0xCE, 0x0F, 0, 0})},
        {"TEXT with a length and an empty table name", column(WireType::Text, 32700),
         bytes({0x23, 0xBC, 0x7F, 0, 0, 0, 0})},
    };
    for (const auto& [claim, column, typeInfo] : cases) {
        std::string out;
        writeRowFormat(out, std::span(&column, 1));
        std::string body = bytes({1, 0, 0, 0x20, 0, 0, 0, 0}) + typeInfo + bytes({0});
        EXPECT_EQ(out, bytes({0xEE, static_cast<int>(body.size()), 0}) + body) << claim;
    }
    // A row format longer than 65535 bytes needs the wide token with a 4-byte length.
    std::vector<ColumnFormat> cols(300, ColumnFormat{std::string(250, 'c'), WireType::Int, 4, 0});
    std::string out;
    writeRowFormat(out, cols);
    ASSERT_EQ(static_cast<uint8_t>(out[0]), 0x61);
    uint32_t length = static_cast<uint8_t>(out[1]) | static_cast<uint8_t>(out[2]) << 8 |
                      static_cast<uint8_t>(out[3]) << 16 |
                      static_cast<uint32_t>(static_cast<uint8_t>(out[4])) << 24;
    EXPECT_EQ(length, out.size() - 5);
}

TEST(TokenWriters, EncodeValuesNullsAndEmptyStringsAndNeverCutAUtf8Character) {
    auto text = [](std::string_view t) { return Cell{false, 0, 0, t}; };
    auto integer = [](int64_t v) { return Cell{false, v, 0, {}}; };
    // The row's bytes after its D1 token byte.
    const std::tuple<const char*, ColumnFormat, Cell, std::string> cases[] = {
        {"INTN 4 negative", column(WireType::Int, 4), integer(-2), bytes({4, 0xFE, 0xFF, 0xFF, 0xFF})},
        {"INTN 2 value", column(WireType::Int, 2), integer(258), bytes({2, 2, 1})},
        {"INTN NULL", column(WireType::Int, 4), Cell{}, bytes({0})},
        {"FLTN 8 little-endian", column(WireType::Float, 8), Cell{false, 0, -1.5, {}},
         bytes({8, 0, 0, 0, 0, 0, 0, 0xF8, 0xBF})},
        {"FLTN NULL", column(WireType::Float, 8), Cell{}, bytes({0})},
        {"LONGCHAR value", column(WireType::LongChar, 300), text("xy"), bytes({2, 0, 0, 0, 'x', 'y'})},
        {"CHAR empty string as one blank", column(WireType::Char, 5), text(""), bytes({1, ' '})},
        {"VARCHAR value cut to its length", column(WireType::VarChar, 3), text("abcdef"),
         bytes({3, 'a', 'b', 'c'})},
        {"LONGCHAR NULL", column(WireType::LongChar, 300), Cell{}, bytes({0, 0, 0, 0})},
        {"TEXT NULL", column(WireType::Text, 32700), Cell{}, bytes({0})},
        {"TEXT value with pointer and timestamp", column(WireType::Text, 32700), text("hi"),
         bytes({16}) + std::string(24, '\0') + bytes({2, 0, 0, 0, 'h', 'i'})},
    };
    for (const auto& [claim, column, cell, expected] : cases) {
        std::string out;
        writeRow(out, std::span(&column, 1), std::span(&cell, 1));
        EXPECT_EQ(out, bytes({0xD1}) + expected) << claim;
    }
    EXPECT_EQ(fitText("abc", 5), "abc");
    EXPECT_EQ(fitText("abcdef", 3), "abc");
    EXPECT_EQ(fitText("a\xC3\xA9z", 2), "a");     // é is two bytes
    EXPECT_EQ(fitText("a\xE2\x82\xAC", 3), "a");  // € is three bytes
    EXPECT_EQ(fitText("a\xE2\x82\xAC", 4), "a\xE2\x82\xAC");
}

Message normal(const std::string& payload) {
    return Message{0x0F, payload};
}

// Remote procedure calls are rpc_test's.
TEST(ParseRequest, ReadsLanguageAndOptionCommandsAndNamesEveryOtherRequestByItsTokens) {
    auto lang = parseRequest(normal(kwtest::languageToken("select 1")));
    ASSERT_TRUE(std::holds_alternative<Request>(lang));
    EXPECT_EQ(std::get<Request>(lang).kind, Request::Kind::Language);
    EXPECT_EQ(std::get<Request>(lang).text, "select 1");

    // OPTIONCMD set text size 4096 (a 4-byte argument), then a query of quoted identifiers.
    auto set = parseRequest(normal(bytes({0xA6, 7, 0, 1, 2, 4, 0x00, 0x10, 0, 0})));
    ASSERT_TRUE(std::holds_alternative<Request>(set));
    const Request& r = std::get<Request>(set);
    EXPECT_EQ(r.kind, Request::Kind::Option);
    EXPECT_EQ(std::tuple(r.option.command, r.option.option, r.option.argument),
              std::tuple(1, 2, bytes({0, 0x10, 0, 0})));
    auto list = parseRequest(normal(bytes({0xA6, 3, 0, 3, 35, 0})));
    ASSERT_TRUE(std::holds_alternative<Request>(list));
    EXPECT_EQ(std::get<Request>(list).option.command, 3);
    EXPECT_EQ(std::get<Request>(list).option.argument, "");

    // Requests as ct-library and DB-Library send them; each is read to its end and named.
    const std::string paramFmt = bytes({0xEC, 11, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0x26, 4, 0});  // one INTN 4
    const std::string params = bytes({0xD7, 4, 7, 0, 0, 0});
    const std::string cursorName = bytes({1, 'c'});
    const std::tuple<const char*, Message, std::string> cases[] = {
        {"a TDS 7 call packet", Message{0x03, "sp_who"}, "TDS 7"},
        {"a cursor declared, opened and sized in one message",
         normal(bytes({0x86, 6, 0}) + cursorName + bytes({1, 0, 0, 0}) + bytes({0x84, 7, 0, 0, 0, 0, 0}) +
                cursorName + bytes({0}) + bytes({0x83, 7, 0, 0, 0, 0, 0}) + cursorName + bytes({1})),
         "cursors"},
        {"a cursor fetch", normal(bytes({0x82, 7, 0, 0, 0, 0, 0}) + cursorName + bytes({1})), "cursors"},
        {"a cursor close", normal(bytes({0x80, 5, 0, 7, 0, 0, 0, 0})), "cursors"},
        {"CURDECLARE3", normal(bytes({0x10, 2, 0, 0, 0, 'a', 'b'})), "cursors"},
        {"a message with parameters", normal(bytes({0x65, 3, 0, 1, 0}) + paramFmt + params), "messages"},
        {"two option commands at once", normal(bytes({0xA6, 3, 0, 3, 35, 0, 0xA6, 3, 0, 3, 21, 0})),
         "option commands"},
        {"bulk copy rows", Message{0x07, "bulk rows"}, "bulk copy"},
    };
    for (const auto& [claim, message, what] : cases) {
        auto parsed = parseRequest(message);
        ASSERT_TRUE(std::holds_alternative<Request>(parsed)) << claim;
        EXPECT_EQ(std::get<Request>(parsed).kind, Request::Kind::Unsupported) << claim;
        EXPECT_NE(std::get<Request>(parsed).text.find(what), std::string::npos) << claim;
    }
}

TEST(ParseRequest, RefusesMalformedRequests) {
    std::string longer = kwtest::languageToken("select 1");
    longer[1] = 0x40;  // declares 64 bytes
    const std::pair<const char*, Message> cases[] = {
        {"a language token whose length runs past the message", normal(longer)},
        {"bytes after the language token", normal(kwtest::languageToken("select 1") + "zz")},
        {"a language token of length zero", normal(bytes({0x21, 0, 0, 0, 0, 0}))},
        {"a truncated language token", normal(bytes({0x21, 5, 0}))},
        {"a logout of the wrong length", normal(bytes({0x71, 0, 0}))},
        {"an unknown token", normal(bytes({0x99, 1, 2, 3}))},
        {"an empty message", normal("")},
        {"an RPC token whose length runs past the message", normal(bytes({0xE6, 0x30, 0x00, 'a'}))},
        {"a cursor token whose length runs past the message", normal(bytes({0x86, 0x09, 0x00, 1, 'c'}))},
        {"an unknown token after a known one", normal(bytes({0xE7, 1, 0, 1, 0x99}))},
        {"parameter values with no format before them", normal(bytes({0xD7, 4, 1, 0, 0, 0}))},
        {"an option command whose argument runs past its length", normal(bytes({0xA6, 3, 0, 1, 2, 4}))},
        {"a prelogin packet", Message{0x12, "xx"}},
        {"a second login", Message{0x02, kwtest::loginRecord({})}},
    };
    for (const auto& [claim, message] : cases) {
        EXPECT_TRUE(std::holds_alternative<MalformedRequest>(parseRequest(message))) << claim;
    }
}

// The capability bits set in one block of a capability body, by number (bit N in byte
// len-1-N/8), for every block in order.
std::vector<std::vector<int>> bitsOf(const std::string& body) {
    std::vector<std::vector<int>> blocks;
    for (size_t at = 0; at + 2 <= body.size(); at += 2 + static_cast<uint8_t>(body[at + 1])) {
        const size_t len = static_cast<uint8_t>(body[at + 1]);
        std::vector<int> bits;
        for (size_t n = 0; n < len * 8; ++n) {
            if (static_cast<uint8_t>(body[at + 2 + len - 1 - n / 8]) >> (n % 8) & 1) {
                bits.push_back(static_cast<int>(n));
            }
        }
        blocks.push_back(bits);
    }
    return blocks;
}

// What FreeTDS's own login gets is checked byte for byte by RawProtocol's login test.
TEST(Capabilities, AnswerOnlyWhatTheGatewayServesOfWhatTheClientAsked) {
    // A client asking for everything still gets only the served requests: language, RPC,
    // several statements, dynamic SQL, parameters and the data types they may come in, in-band
    // attention, the DYNAMIC tokens and their procedure form, wide tables, the packet size. Of the
    // wishes, those about what the gateway sends (EED 2, parameters 3, CHAR 8, VARCHAR 9, TEXT
    // 19, LONGCHAR 22, INTN 24, in-band attention 28, wide tables 45) stay clear.
    const std::string all = bytes({1, 12}) + std::string(12, '\xFF') + bytes({2, 8}) + std::string(8, '\xFF');
    const auto blocks = bitsOf(answerCapabilities(all));
    ASSERT_EQ(blocks.size(), 2u);
    std::vector<int> requests = {1, 2, 4, 7, 9};
    for (int dataType = 10; dataType <= 32; ++dataType) {  // INT1 to MONEYN
        requests.push_back(dataType);
    }
    for (int bit : {40, 47, 48, 49, 51, 59, 79}) {  // ..., FLTN, INT8, ...
        requests.push_back(bit);
    }
    EXPECT_EQ(blocks[0], requests);
    // Events, bulk copy, cursors, MSG, BITN, VOID, unsigned integers, DATE and TIME, DBRPC2, the
    // big date-times.
    for (int refused : {3, 5, 6, 8, 50, 52, 61, 62, 63, 64, 71, 72, 87, 93}) {
        EXPECT_EQ(std::count(blocks[0].begin(), blocks[0].end(), refused), 0) << "request bit " << refused;
    }
    for (int kept : {2, 3, 8, 9, 19, 22, 24, 28, 45}) {
        EXPECT_EQ(std::count(blocks[1].begin(), blocks[1].end(), kept), 0) << "answer bit " << kept;
    }
    for (int granted : {1, 27, 29, 30, 33}) {
        EXPECT_EQ(std::count(blocks[1].begin(), blocks[1].end(), granted), 1) << "answer bit " << granted;
    }
    EXPECT_EQ(answerCapabilities(""), "");
}

}  // namespace
