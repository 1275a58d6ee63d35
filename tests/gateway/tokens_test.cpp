// Tests of the token writers and the request reader, against byte streams that FreeTDS 1.3.17
// is known to accept and the request layouts it sends.
#include "protocol/tokens.h"

#include <gtest/gtest.h>

#include <vector>

#include "login_bytes.h"

namespace {

using gw::Cell;
using gw::ColumnFormat;
using gw::WireType;
using namespace gw::tds;

std::string bytes(std::initializer_list<int> b) {
    std::string s;
    for (int v : b) {
        s.push_back(static_cast<char>(v));
    }
    return s;
}

Cell text(std::string_view t) {
    return Cell{false, 0, 0, t};
}
Cell integer(int64_t v) {
    return Cell{false, v, 0, {}};
}

TEST(WriteLoginAck, MatchesTheAcceptedSuccessAnswer) {
    std::string out;
    const uint8_t version[4] = {15, 7, 0, 0};
    writeLoginAck(out, LoginStatus::Succeeded, "PGGW", version);
    EXPECT_EQ(out, bytes({0xAD, 0x0E, 0x00, 0x05, 0x05, 0x00, 0x00, 0x00, 0x04, 'P', 'G', 'G', 'W', 0x0F,
                          0x07, 0x00, 0x00}));
}

TEST(WriteEnvChange, CarriesNewAndOldValueWithTheirLengths) {
    std::string out;
    writeEnvChange(out, EnvChangeType::Database, "master", "");
    EXPECT_EQ(out, bytes({0xE3, 0x09, 0x00, 0x01, 0x06, 'm', 'a', 's', 't', 'e', 'r', 0x00}));
}

TEST(WriteDone, EncodesStatusTransactionStateAndCount) {
    struct Case {
        const char* claim;
        Token kind;
        uint16_t status;
        int32_t count;
        std::string expected;
    } cases[] = {
        {"final done", Token::Done, kDoneFinal, 0, bytes({0xFD, 0, 0, 0, 0, 0, 0, 0, 0})},
        {"done with a count", Token::Done, kDoneCount, 1, bytes({0xFD, 0x10, 0, 0, 0, 1, 0, 0, 0})},
        {"attention acknowledged", Token::Done, kDoneAttention, 0, bytes({0xFD, 0x20, 0, 0, 0, 0, 0, 0, 0})},
        {"error with more", Token::Done, kDoneError | kDoneMore, 0, bytes({0xFD, 0x03, 0, 0, 0, 0, 0, 0, 0})},
        {"done in procedure", Token::DoneInProc, kDoneMore | kDoneCount, 300,
         bytes({0xFF, 0x11, 0, 0, 0, 0x2C, 0x01, 0, 0})},
        {"done of a procedure", Token::DoneProc, kDoneProcedure, 0, bytes({0xFE, 0x08, 0, 0, 0, 0, 0, 0, 0})},
    };
    for (const Case& c : cases) {
        std::string out;
        writeDone(out, c.kind, c.status, c.count);
        EXPECT_EQ(out, c.expected) << c.claim;
    }
}

TEST(WriteReturnStatus, IsTheTokenAndALittleEndianInt) {
    std::string out;
    writeReturnStatus(out, 42);
    EXPECT_EQ(out, bytes({0x79, 42, 0, 0, 0}));
}

TEST(WriteEed, LaysOutEveryFieldAndCountsItsLength) {
    std::string out;
    writeEed(out, ServerMessage{21002, 1, 16, "abc", "S", {}, 0});
    EXPECT_EQ(out,
              bytes({0xE5, 0x19, 0x00, 0x0A, 0x52, 0x00, 0x00, 0x01, 0x10, 0x05, 'Z', 'Z',  'Z',  'Z',
                     'Z',  0x00, 0x00, 0x00, 0x03, 0x00, 'a',  'b',  'c',  0x01, 'S', 0x00, 0x00, 0x00}));
}

TEST(WriteRowFormat, DescribesEachWireTypeWithItsLengthField) {
    struct Case {
        const char* claim;
        ColumnFormat column;
        std::string typeInfo;  // type byte and what follows it
    } cases[] = {
        {"INTEGER as INTN 4", {"", WireType::Int, 4, 0}, bytes({0x26, 4})},
        {"SMALLINT as INTN 2", {"", WireType::Int, 2, 0}, bytes({0x26, 2})},
        {"FLOAT as FLTN 8", {"", WireType::Float, 8, 0}, bytes({0x6D, 8})},
        {"CHAR(10)", {"", WireType::Char, 10, 0}, bytes({0x2F, 10})},
        {"VARCHAR(255)", {"", WireType::VarChar, 255, 0}, bytes({0x27, 255})},
        {"LONGCHAR with a 4-byte length", {"", WireType::LongChar, 4046, 0}, bytes({0xAF, 0xCE, 0x0F, 0, 0})},
        {"TEXT with a length and an empty table name",
         {"", WireType::Text, 32700, 0},
         bytes({0x23, 0xBC, 0x7F, 0, 0, 0, 0})},
    };
    for (const Case& c : cases) {
        std::string out;
        writeRowFormat(out, std::span(&c.column, 1));
        std::string body = bytes({1, 0, 0, 0x20, 0, 0, 0, 0}) + c.typeInfo + bytes({0});
        std::string expected = bytes({0xEE, static_cast<int>(body.size()), 0}) + body;
        EXPECT_EQ(out, expected) << c.claim;
    }
}

TEST(WriteRowFormat, CarriesLabelsAndTheFullUserType) {
    ColumnFormat c{"AMOUNT", WireType::Char, 11, gw::decimalUserType(9, 2)};
    std::string out;
    writeRowFormat(out, std::span(&c, 1));
    EXPECT_EQ(out, bytes({0xEE, 0x11, 0x00, 0x01, 0x00, 0x06, 'A',  'M',  'O',  'U',
                          'N',  'T',  0x20, 0x03, 0x00, 0x09, 0x02, 0x2F, 0x0B, 0x00}));
}

TEST(WriteRowFormat, SwitchesToTheWideTokenWhenTheLengthWouldOverflow) {
    std::vector<ColumnFormat> cols(300, ColumnFormat{std::string(250, 'c'), WireType::Int, 4, 0});
    std::string out;
    writeRowFormat(out, cols);
    ASSERT_EQ(static_cast<uint8_t>(out[0]), 0x61);
    uint32_t length = static_cast<uint8_t>(out[1]) | static_cast<uint8_t>(out[2]) << 8 |
                      static_cast<uint8_t>(out[3]) << 16 |
                      static_cast<uint32_t>(static_cast<uint8_t>(out[4])) << 24;
    EXPECT_EQ(length, out.size() - 5);
}

TEST(WriteRow, EncodesValuesNullsAndEmptyStrings) {
    struct Case {
        const char* claim;
        ColumnFormat column;
        Cell cell;
        std::string expected;  // after the D1 byte
    } cases[] = {
        {"INTN 4 value", {"", WireType::Int, 4, 0}, integer(17), bytes({4, 17, 0, 0, 0})},
        {"INTN 4 negative", {"", WireType::Int, 4, 0}, integer(-2), bytes({4, 0xFE, 0xFF, 0xFF, 0xFF})},
        {"INTN 2 value", {"", WireType::Int, 2, 0}, integer(258), bytes({2, 2, 1})},
        {"INTN NULL", {"", WireType::Int, 4, 0}, Cell{}, bytes({0})},
        {"FLTN 8 value",
         {"", WireType::Float, 8, 0},
         Cell{false, 0, 1.5, {}},
         bytes({8, 0, 0, 0, 0, 0, 0, 0xF8, 0x3F})},
        {"CHAR value", {"", WireType::Char, 5, 0}, text("ab"), bytes({2, 'a', 'b'})},
        {"CHAR empty string as one blank", {"", WireType::Char, 5, 0}, text(""), bytes({1, ' '})},
        {"VARCHAR NULL", {"", WireType::VarChar, 5, 0}, Cell{}, bytes({0})},
        {"VARCHAR value cut to its length",
         {"", WireType::VarChar, 3, 0},
         text("abcdef"),
         bytes({3, 'a', 'b', 'c'})},
        {"LONGCHAR value", {"", WireType::LongChar, 300, 0}, text("xy"), bytes({2, 0, 0, 0, 'x', 'y'})},
        {"LONGCHAR NULL", {"", WireType::LongChar, 300, 0}, Cell{}, bytes({0, 0, 0, 0})},
        {"TEXT NULL", {"", WireType::Text, 32700, 0}, Cell{}, bytes({0})},
        {"TEXT value with pointer and timestamp",
         {"", WireType::Text, 32700, 0},
         text("hi"),
         bytes({16}) + std::string(24, '\0') + bytes({2, 0, 0, 0, 'h', 'i'})},
    };
    for (const Case& c : cases) {
        std::string out;
        writeRow(out, std::span(&c.column, 1), std::span(&c.cell, 1));
        EXPECT_EQ(out, bytes({0xD1}) + c.expected) << c.claim;
    }
}

TEST(FitText, NeverCutsAUtf8Character) {
    EXPECT_EQ(fitText("abc", 5), "abc");
    EXPECT_EQ(fitText("abcdef", 3), "abc");
    EXPECT_EQ(fitText("a\xC3\xA9z", 2), "a");     // é is two bytes
    EXPECT_EQ(fitText("a\xE2\x82\xAC", 3), "a");  // € is three bytes
    EXPECT_EQ(fitText("a\xE2\x82\xAC", 4), "a\xE2\x82\xAC");
}

Message normal(const std::string& payload) {
    return Message{0x0F, payload};
}

TEST(ParseRequest, ReadsLanguageAndLogoutTokens) {
    auto lang = parseRequest(normal(kwtest::languageToken("select 1")));
    ASSERT_TRUE(std::holds_alternative<Request>(lang));
    EXPECT_EQ(std::get<Request>(lang).kind, Request::Kind::Language);
    EXPECT_EQ(std::get<Request>(lang).text, "select 1");

    auto logout = parseRequest(normal(bytes({0x71, 0x00})));
    ASSERT_TRUE(std::holds_alternative<Request>(logout));
    EXPECT_EQ(std::get<Request>(logout).kind, Request::Kind::Logout);
}

TEST(ParseRequest, NamesRequestsTheGatewayDoesNotServe) {
    std::string withParams = kwtest::languageToken("select ?");
    withParams[5] = 1;
    const Message cases[] = {
        normal(withParams),
        normal(bytes({0xE6, 0x03, 0x00, 'a', 'b', 'c'})),
        Message{0x07, "bulk rows"},
    };
    for (const Message& m : cases) {
        auto r = parseRequest(m);
        ASSERT_TRUE(std::holds_alternative<Request>(r));
        EXPECT_EQ(std::get<Request>(r).kind, Request::Kind::Unsupported);
    }
}

TEST(ParseRequest, RefusesMalformedRequests) {
    std::string longer = kwtest::languageToken("select 1");
    longer[1] = 0x40;  // declares 64 bytes
    struct Case {
        const char* claim;
        Message message;
    } cases[] = {
        {"a language token whose length runs past the message", normal(longer)},
        {"bytes after the language token", normal(kwtest::languageToken("select 1") + "zz")},
        {"a language token of length zero", normal(bytes({0x21, 0, 0, 0, 0, 0}))},
        {"a truncated language token", normal(bytes({0x21, 5, 0}))},
        {"a logout of the wrong length", normal(bytes({0x71, 0, 0}))},
        {"an unknown token", normal(bytes({0x99, 1, 2, 3}))},
        {"an empty message", normal("")},
        {"an RPC token whose length runs past the message", normal(bytes({0xE6, 0x30, 0x00, 'a'}))},
        {"a prelogin packet", Message{0x12, "xx"}},
        {"a second login", Message{0x02, kwtest::loginRecord({})}},
    };
    for (const Case& c : cases) {
        EXPECT_TRUE(std::holds_alternative<MalformedRequest>(parseRequest(c.message))) << c.claim;
    }
}

}  // namespace
