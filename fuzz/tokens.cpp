// tokens.cpp - fuzzes the request reader with messages of every packet type, and the token
// writers with texts and values taken from the input.
//
// Invariants: a request is read or refused with a reason, never past the message; a language
// request's text is the bytes its token carries; an option's argument is within the message; a
// remote procedure call's name is within the message, it has one value per parameter, and the
// answer to its output parameters reads back as those parameters; a LANGUAGE token built from any
// text reads back as that text; every length field a writer puts out equals the bytes that follow
// it, and short strings never cut a UTF-8 sequence.
#include <string>
#include <variant>
#include <vector>

#include "check.h"
#include "protocol/bytes.h"
#include "protocol/tokens.h"

namespace {

using gw::tds::ByteReader;
using gw::tds::Message;
using gw::tds::PacketType;
using gw::tds::Request;

// The answer to a call's output parameters is a parameter list of exactly those parameters,
// with the values they came with.
void checkReturnedParams(const gw::tds::ParamSet& params) {
    KW_FUZZ_CHECK(params.values.size() == params.formats.size());
    if (!gw::tds::hasOutputParams(params)) {
        return;
    }
    std::string out;
    gw::tds::writeReturnedParams(out, params);
    auto back = gw::tds::parseParams(out);
    const auto* answered = std::get_if<gw::tds::ParamSet>(&back);
    KW_FUZZ_CHECK(answered != nullptr);
    size_t k = 0;
    for (size_t i = 0; i < params.formats.size(); ++i) {
        if (params.formats[i].status & gw::tds::kParamOutput) {
            KW_FUZZ_CHECK(k < answered->values.size() && answered->values[k] == params.values[i]);
            ++k;
        }
    }
    KW_FUZZ_CHECK(k == answered->values.size());
}

void checkRequest(const Message& message) {
    auto parsed = gw::tds::parseRequest(message);
    if (auto* bad = std::get_if<gw::tds::MalformedRequest>(&parsed)) {
        KW_FUZZ_CHECK(!bad->reason.empty());
        return;
    }
    const auto& request = std::get<Request>(parsed);
    switch (request.kind) {
        case Request::Kind::Language:
            KW_FUZZ_CHECK(message.payload.find(request.text) != std::string::npos);
            break;
        case Request::Kind::Option:
            KW_FUZZ_CHECK(request.option.argument.size() + 6 == message.payload.size());
            break;
        case Request::Kind::Unsupported:
            KW_FUZZ_CHECK(!request.text.empty());
            break;
        case Request::Kind::Logout:
            KW_FUZZ_CHECK(message.payload.size() == 2);
            break;
        case Request::Kind::Dynamic:
            KW_FUZZ_CHECK(message.payload.find(request.dynamic.statement) != std::string::npos);
            KW_FUZZ_CHECK(request.dynamic.params.values.size() == request.dynamic.params.formats.size());
            break;
        case Request::Kind::Rpc:
            KW_FUZZ_CHECK(message.payload.find(request.rpc.name) != std::string::npos);
            checkReturnedParams(request.rpc.params);
            break;
    }
    KW_FUZZ_CHECK(request.params.values.size() == request.params.formats.size());
}

// A LANGUAGE token with status 0 carrying `text` reads back as exactly that text.
void checkLanguageRoundTrip(std::string_view text) {
    Message message{static_cast<uint8_t>(PacketType::Normal), {}};
    gw::tds::ByteWriter w(message.payload);
    w.u8(static_cast<uint8_t>(gw::tds::Token::Language));
    w.u32(static_cast<uint32_t>(text.size() + 1));
    w.u8(0);
    w.bytes(text);
    auto parsed = gw::tds::parseRequest(message);
    const auto* request = std::get_if<Request>(&parsed);
    KW_FUZZ_CHECK(request != nullptr && request->kind == Request::Kind::Language && request->text == text);
}

// Whether `cut` is a prefix of `text` that ends on a character boundary of it.
bool cutOnBoundary(std::string_view text, std::string_view cut) {
    if (text.substr(0, cut.size()) != cut) {
        return false;
    }
    return cut.size() == text.size() || (static_cast<uint8_t>(text[cut.size()]) & 0xC0) != 0x80 ||
           cut.empty();
}

// Reads a written token's 16-bit length and checks it against what follows.
void checkLength16(const std::string& out, size_t tokenSize) {
    ByteReader r(out);
    r.u8();
    const uint16_t length = r.u16();
    KW_FUZZ_CHECK(r.ok() && length == r.remaining() && out.size() == tokenSize);
}

void checkWriters(std::string_view a, std::string_view b, int32_t number) {
    std::string out;
    gw::tds::ServerMessage m;
    m.number = number;
    m.text = std::string(a);
    m.server = std::string(b);
    m.procedure = std::string(b.substr(b.size() / 2));
    gw::tds::writeEed(out, m);
    checkLength16(out, out.size());

    out.clear();
    gw::tds::writeEnvChange(out, gw::tds::EnvChangeType::Database, a, b);
    checkLength16(out, out.size());
    ByteReader r(out);
    r.skip(4);
    std::string_view newValue = r.bytes(r.u8());
    std::string_view oldValue = r.bytes(r.u8());
    KW_FUZZ_CHECK(r.ok() && r.atEnd() && cutOnBoundary(a, newValue) && cutOnBoundary(b, oldValue));

    out.clear();
    const uint8_t version[4] = {1, 2, 3, 4};
    gw::tds::writeLoginAck(out, gw::tds::LoginStatus::Succeeded, a, version);
    checkLength16(out, out.size());

    out.clear();
    gw::tds::writeOptionInfo(out, 1, b.substr(0, 255));
    checkLength16(out, out.size());

    // One column of each character type with the text as its value: the row must be exactly the
    // row format's widths apart, which a client reads by the declared lengths.
    std::vector<gw::ColumnFormat> columns = {
        {std::string(b), gw::WireType::VarChar, static_cast<uint32_t>(a.size() % 300), 0},
        {std::string(a), gw::WireType::LongChar, static_cast<uint32_t>(b.size()), 0},
        {"n", gw::WireType::Int, 4, 0},
    };
    std::vector<gw::Cell> cells = {{false, 0, 0, a}, {false, 0, 0, b}, {false, number, 0, {}}};
    out.clear();
    gw::tds::writeRowFormat(out, columns);
    checkLength16(out, out.size());
    out.clear();
    gw::tds::writeRow(out, columns, cells);
    ByteReader row(out);
    KW_FUZZ_CHECK(row.u8() == static_cast<uint8_t>(gw::tds::Token::Row));
    std::string_view first = row.bytes(row.u8());
    std::string_view second = row.bytes(row.u32());
    KW_FUZZ_CHECK(row.u8() == 4);
    row.skip(4);
    KW_FUZZ_CHECK(row.ok() && row.atEnd());
    KW_FUZZ_CHECK(first.size() <= 255 && (first.size() <= std::max<size_t>(a.size() % 300, 1)));
    KW_FUZZ_CHECK(a.empty() ? first == " " : cutOnBoundary(a, first));
    KW_FUZZ_CHECK(b.empty() ? second == " " : second == b);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    kwfuzz::InputReader in(data, size);
    static const uint8_t kTypes[] = {0x0F, 0x01, 0x03, 0x07, 0x02, 0x06};
    const uint8_t type = kTypes[in.byte() % sizeof kTypes];
    checkRequest(Message{type, std::string(in.rest())});
    checkLanguageRoundTrip(in.rest());
    const int32_t number = static_cast<int32_t>(in.byte()) << 24 | in.byte();
    std::string_view a = in.piece('\x01');
    checkWriters(a, in.rest(), number);
    return 0;
}
