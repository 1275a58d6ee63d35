// tokens.cpp - writes the server's tokens and reads the client's requests.
//
// Serves the connection layer (answers to login, batches, attention) and nothing else; it owns
// no state. The data types the gateway sends are described once, in kWireTypes, indexed by
// gw::WireType. Invariant: every length field written equals the bytes written after it.
#include "tokens.h"

#include <algorithm>
#include <array>
#include <cassert>

#include "bytes.h"

namespace gw::tds {
namespace {

// How the row-format token describes each wire type: its TDS type byte and the width of its
// declared-length field.
struct WireTypeInfo {
    WireType type;
    uint8_t tdsType;
    uint8_t lengthWidth;  // 1 or 4 bytes
};

constexpr std::array<WireTypeInfo, 6> kWireTypes = {{
    {WireType::Int, 0x26, 1},       // INTN
    {WireType::Float, 0x6D, 1},     // FLTN
    {WireType::Char, 0x2F, 1},      // CHAR
    {WireType::VarChar, 0x27, 1},   // VARCHAR
    {WireType::LongChar, 0xAF, 4},  // LONGCHAR
    {WireType::Text, 0x23, 4},      // TEXT
}};
static_assert(kWireTypes.size() == static_cast<size_t>(WireType::Text) + 1);
static_assert(kWireTypes[static_cast<size_t>(WireType::Int)].type == WireType::Int);
static_assert(kWireTypes[static_cast<size_t>(WireType::Float)].type == WireType::Float);
static_assert(kWireTypes[static_cast<size_t>(WireType::Char)].type == WireType::Char);
static_assert(kWireTypes[static_cast<size_t>(WireType::VarChar)].type == WireType::VarChar);
static_assert(kWireTypes[static_cast<size_t>(WireType::LongChar)].type == WireType::LongChar);
static_assert(kWireTypes[static_cast<size_t>(WireType::Text)].type == WireType::Text);

constexpr const WireTypeInfo& infoOf(WireType t) {
    return kWireTypes[static_cast<size_t>(t)];
}

constexpr uint8_t kColumnNullable = 0x20;
constexpr uint8_t kTextPointerLength = 16;
constexpr size_t kTextTimestampLength = 8;
constexpr size_t kMaxShortString = 255;
constexpr size_t kMaxMessageText = 60000;
constexpr std::string_view kNoSqlState = "ZZZZZ";

void putToken(ByteWriter& w, Token t) {
    w.u8(static_cast<uint8_t>(t));
}

// A string with a one-byte length, cut to 255 bytes.
void putShortString(ByteWriter& w, std::string_view s) {
    s = fitText(s, kMaxShortString);
    w.u8(static_cast<uint8_t>(s.size()));
    w.bytes(s);
}

// The declared length as the row format carries it for this column's type.
uint32_t declaredLength(const ColumnFormat& c) {
    switch (c.type) {
        case WireType::Int:
            return c.length == 2 ? 2 : 4;
        case WireType::Float:
            return 8;
        case WireType::Char:
        case WireType::VarChar:
            return std::clamp<uint32_t>(c.length, 1, 255);
        case WireType::LongChar:
        case WireType::Text:
            return std::max<uint32_t>(c.length, 1);
    }
    return c.length;
}

void putTypeInfo(ByteWriter& w, const ColumnFormat& c) {
    const WireTypeInfo& info = infoOf(c.type);
    w.u8(info.tdsType);
    if (info.lengthWidth == 1) {
        w.u8(static_cast<uint8_t>(declaredLength(c)));
    } else {
        w.u32(declaredLength(c));
    }
    if (c.type == WireType::Text) {
        w.u16(0);  // no table name
    }
}

void putRowFormat(ByteWriter& w, std::span<const ColumnFormat> columns) {
    w.u16(static_cast<uint16_t>(columns.size()));
    for (const ColumnFormat& c : columns) {
        putShortString(w, c.label);
        w.u8(kColumnNullable);
        w.i32(c.userType);
        putTypeInfo(w, c);
        w.u8(0);  // no locale
    }
}

// The wide row format, used only when the ordinary one would not fit its 16-bit length.
void putRowFormat2(ByteWriter& w, std::span<const ColumnFormat> columns) {
    w.u16(static_cast<uint16_t>(columns.size()));
    for (const ColumnFormat& c : columns) {
        putShortString(w, c.label);
        w.u8(0);  // catalog
        w.u8(0);  // schema
        w.u8(0);  // table
        putShortString(w, c.label);
        w.u32(kColumnNullable);
        w.i32(c.userType);
        putTypeInfo(w, c);
        w.u8(0);  // no locale
    }
}

// A character value: NULL is a zero length, an empty string goes out as one blank.
std::string_view characterValue(const ColumnFormat& c, const Cell& cell) {
    std::string_view v = cell.text.empty() ? std::string_view(" ") : cell.text;
    if ((c.type == WireType::Char || c.type == WireType::VarChar) && v.size() > declaredLength(c)) {
        v = fitText(v, declaredLength(c));
    }
    return v;
}

// A row token grows the answer once: by the most its cells can take (no value is longer than its
// cell's text, or than one blank for an empty one), cut back to what they took once written.
constexpr size_t kTextPrefixBytes = 1 + kTextPointerLength + kTextTimestampLength + 4;

size_t cellRoom(const ColumnFormat& c, const Cell& cell) {
    const size_t text = cell.text.empty() ? 1 : cell.text.size();
    switch (c.type) {
        case WireType::Int:
            return 1 + 4;
        case WireType::Float:
            return 1 + sizeof(double);
        case WireType::Char:
        case WireType::VarChar:
            return 1 + text;
        case WireType::LongChar:
            return 4 + text;
        case WireType::Text:
            return kTextPrefixBytes + text;
    }
    return 0;
}

void putCell(FixedWriter& w, const ColumnFormat& c, const Cell& cell) {
    switch (c.type) {
        case WireType::Int:
            if (cell.null) {
                w.u8(0);
            } else if (declaredLength(c) == 2) {
                w.u8(2);
                w.u16(static_cast<uint16_t>(cell.integer));
            } else {
                w.u8(4);
                w.u32(static_cast<uint32_t>(cell.integer));
            }
            return;
        case WireType::Float:
            if (cell.null) {
                w.u8(0);
            } else {
                w.u8(8);
                w.f64(cell.real);
            }
            return;
        case WireType::Char:
        case WireType::VarChar:
            if (cell.null) {
                w.u8(0);
            } else {
                std::string_view v = characterValue(c, cell);
                w.u8(static_cast<uint8_t>(v.size()));
                w.bytes(v);
            }
            return;
        case WireType::LongChar:
            if (cell.null) {
                w.u32(0);
            } else {
                std::string_view v = characterValue(c, cell);
                w.u32(static_cast<uint32_t>(v.size()));
                w.bytes(v);
            }
            return;
        case WireType::Text:
            if (cell.null) {
                w.u8(0);
            } else {
                std::string_view v = characterValue(c, cell);
                w.u8(kTextPointerLength);
                w.zeros(kTextPointerLength + kTextTimestampLength);
                w.u32(static_cast<uint32_t>(v.size()));
                w.bytes(v);
            }
            return;
    }
}

// The request tokens a TDS 5.0 client may send besides LANGUAGE and LOGOUT, each with the width
// of its length field and the name of what it asks for. A message that starts with one the
// gateway does not serve is refused by that name; every one is skipped by its length, so the next
// request is read in step.
struct RequestTokenInfo {
    uint8_t token;
    uint8_t lengthWidth;  // 1, 2 or 4 bytes
    const char* what;     // plural, as in "... ARE NOT SUPPORTED"
};

constexpr RequestTokenInfo kRequestTokens[] = {
    {0x21, 4, "language requests with parameters"},  // LANGUAGE (as the start of a request)
    {0xA6, 2, "option commands"},                    // OPTIONCMD
    {0xE6, 2, "remote procedure calls"},             // DBRPC
    {0xE8, 2, "remote procedure calls"},             // DBRPC2
    {0xE7, 2, "dynamic SQL statements"},             // DYNAMIC
    {0x62, 4, "dynamic SQL statements"},             // DYNAMIC2
    {0x86, 2, "cursors"},                            // CURDECLARE
    {0x23, 4, "cursors"},                            // CURDECLARE2
    {0x10, 4, "cursors"},                            // CURDECLARE3
    {0x84, 2, "cursors"},                            // CUROPEN
    {0x82, 2, "cursors"},                            // CURFETCH
    {0x80, 2, "cursors"},                            // CURCLOSE
    {0x81, 2, "cursors"},                            // CURDELETE
    {0x85, 2, "cursors"},                            // CURUPDATE
    {0x83, 2, "cursors"},                            // CURINFO
    {0x87, 2, "cursors"},                            // CURINFO2
    {0x88, 2, "cursors"},                            // CURINFO3
    {0x65, 1, "messages"},                           // MSG
    {kParamFmtToken, 2, "parameters"},               // PARAMFMT
    {kParamFmt2Token, 4, "parameters"},              // PARAMFMT2
};

const RequestTokenInfo* requestToken(uint8_t token) {
    for (const RequestTokenInfo& info : kRequestTokens) {
        if (info.token == token) {
            return &info;
        }
    }
    return nullptr;
}

uint32_t readLength(ByteReader& r, uint8_t width) {
    switch (width) {
        case 1:
            return r.u8();
        case 2:
            return r.u16();
        default:
            return r.u32();
    }
}

// Walks a request the gateway does not serve, token by token, and names it after its first
// token. PARAMS values carry no length of their own (the format before them gives it), so they
// end the walk once a parameter format has been read: they run to the end of the message.
std::variant<Request, MalformedRequest> walkUnserved(std::string_view payload) {
    ByteReader r(payload);
    const char* what = nullptr;
    bool sawFormat = false;
    while (!r.atEnd()) {
        uint8_t token = r.u8();
        if (token == kParamsToken && sawFormat) {
            break;
        }
        const RequestTokenInfo* info = requestToken(token);
        if (!info) {
            return MalformedRequest{"unknown request token"};
        }
        uint32_t length = readLength(r, info->lengthWidth);
        if (!r.ok() || length > r.remaining()) {
            return MalformedRequest{std::string("the length of a request token (") + info->what +
                                    ") runs past the message"};
        }
        r.skip(length);
        sawFormat = sawFormat || token == kParamFmtToken || token == kParamFmt2Token;
        if (!what) {
            what = info->what;
        }
    }
    return Request{Request::Kind::Unsupported, what, {}, {}, {}, {}};
}

// A parameter list that could not be read: a type the gateway does not take is refused by name,
// anything else is malformed.
std::variant<Request, MalformedRequest> refuseParams(const ParamError& error) {
    if (error.unsupported) {
        return Request{Request::Kind::Unsupported, error.reason, {}, {}, {}, {}};
    }
    return MalformedRequest{error.reason};
}

// LANGUAGE with status 1: the text, then PARAMFMT and PARAMS.
std::variant<Request, MalformedRequest> parseLanguageParams(std::string_view text, std::string_view rest) {
    auto parsed = parseParams(rest);
    if (auto* error = std::get_if<ParamError>(&parsed)) {
        return refuseParams(*error);
    }
    Request request{Request::Kind::Language, std::string(text), {}, {}, {}, {}};
    request.params = std::move(std::get<ParamSet>(parsed));
    return request;
}

// DBRPC or DBRPC2, with the parameters that may follow it.
std::variant<Request, MalformedRequest> parseRpcRequest(std::string_view payload) {
    auto parsed = parseRpc(payload);
    if (auto* error = std::get_if<ParamError>(&parsed)) {
        return refuseParams(*error);
    }
    Request request{Request::Kind::Rpc, {}, {}, {}, {}, {}};
    request.rpc = std::move(std::get<RpcRequest>(parsed));
    return request;
}

// DYNAMIC or DYNAMIC2, with the parameters that may follow it.
std::variant<Request, MalformedRequest> parseDynamicRequest(std::string_view payload) {
    auto parsed = parseDynamic(payload);
    if (auto* error = std::get_if<ParamError>(&parsed)) {
        return refuseParams(*error);
    }
    Request request{Request::Kind::Dynamic, {}, {}, {}, {}, {}};
    request.dynamic = std::move(std::get<DynamicRequest>(parsed));
    return request;
}

std::variant<Request, MalformedRequest> parseLanguage(std::string_view payload) {
    ByteReader r(payload);
    r.u8();  // the token byte
    uint32_t length = r.u32();
    uint8_t status = r.u8();
    if (!r.ok() || length < 1 || length - 1 > r.remaining()) {
        return MalformedRequest{"language token length runs past the message"};
    }
    std::string_view text = r.bytes(length - 1);
    if (status & kHasParameters) {
        return parseLanguageParams(text, payload.substr(r.position()));
    }
    if (status != 0) {
        return walkUnserved(payload);
    }
    if (!r.atEnd()) {
        return MalformedRequest{"bytes follow the language token"};
    }
    return Request{Request::Kind::Language, std::string(text), {}, {}, {}, {}};
}

// One OPTIONCMD: command, option, argument length, argument. A message that holds more than the
// one token is walked as a request the gateway does not serve.
std::variant<Request, MalformedRequest> parseOptionCmd(std::string_view payload) {
    ByteReader r(payload);
    r.u8();
    uint16_t length = r.u16();
    if (!r.ok() || length > r.remaining()) {
        return MalformedRequest{"option command length runs past the message"};
    }
    if (length != r.remaining()) {
        return walkUnserved(payload);
    }
    Request request{Request::Kind::Option, {}, {}, {}, {}, {}};
    request.option.command = r.u8();
    request.option.option = r.u8();
    uint8_t argumentLength = r.u8();
    request.option.argument = std::string(r.bytes(argumentLength));
    if (!r.ok() || !r.atEnd()) {
        return MalformedRequest{"option command length disagrees with its argument"};
    }
    return request;
}

std::variant<Request, MalformedRequest> parseNormal(std::string_view payload) {
    if (payload.empty()) {
        return MalformedRequest{"empty request"};
    }
    switch (static_cast<Token>(static_cast<uint8_t>(payload[0]))) {
        case Token::Language:
            return parseLanguage(payload);
        case Token::Logout:
            if (payload.size() != 2) {
                return MalformedRequest{"logout token of the wrong length"};
            }
            return Request{Request::Kind::Logout, {}, {}, {}, {}, {}};
        case Token::OptionCmd:
            return parseOptionCmd(payload);
        case Token::Dynamic:
        case Token::Dynamic2:
            return parseDynamicRequest(payload);
        case Token::DbRpc:
        case Token::DbRpc2:
            return parseRpcRequest(payload);
        default:
            return walkUnserved(payload);
    }
}

}  // namespace

std::string_view fitText(std::string_view text, size_t limit) {
    if (text.size() <= limit) {
        return text;
    }
    size_t n = limit;
    // Step back over continuation bytes so that no multi-byte character is cut.
    while (n > 0 && (static_cast<uint8_t>(text[n]) & 0xC0) == 0x80) {
        --n;
    }
    return text.substr(0, n);
}

void writeLoginAck(std::string& out, LoginStatus status, std::string_view product,
                   const uint8_t (&version)[4]) {
    ByteWriter w(out);
    product = fitText(product, kMaxShortString);
    putToken(w, Token::LoginAck);
    w.u16(static_cast<uint16_t>(10 + product.size()));
    w.u8(static_cast<uint8_t>(status));
    w.u8(5);  // TDS 5.0.0.0
    w.zeros(3);
    w.u8(static_cast<uint8_t>(product.size()));
    w.bytes(product);
    for (uint8_t b : version) {
        w.u8(b);
    }
}

void writeEnvChange(std::string& out, EnvChangeType type, std::string_view newValue,
                    std::string_view oldValue) {
    ByteWriter w(out);
    newValue = fitText(newValue, kMaxShortString);
    oldValue = fitText(oldValue, kMaxShortString);
    putToken(w, Token::EnvChange);
    w.u16(static_cast<uint16_t>(3 + newValue.size() + oldValue.size()));
    w.u8(static_cast<uint8_t>(type));
    putShortString(w, newValue);
    putShortString(w, oldValue);
}

void writeCapability(std::string& out, std::string_view body) {
    ByteWriter w(out);
    putToken(w, Token::Capability);
    w.u16(static_cast<uint16_t>(body.size()));
    w.bytes(body);
}

void writeEed(std::string& out, const ServerMessage& m) {
    ByteWriter w(out);
    putToken(w, Token::Eed);
    size_t lengthAt = w.position();
    w.u16(0);
    w.i32(m.number);
    w.u8(m.state);
    w.u8(m.severity);
    putShortString(w, kNoSqlState);
    w.u8(0);   // status: no parameters follow
    w.u16(0);  // transaction state
    std::string_view text = fitText(m.text, kMaxMessageText);
    w.u16(static_cast<uint16_t>(text.size()));
    w.bytes(text);
    putShortString(w, m.server);
    putShortString(w, m.procedure);
    w.u16(m.line);
    w.patchU16(lengthAt, static_cast<uint16_t>(w.position() - lengthAt - 2));
}

void writeDone(std::string& out, Token kind, uint16_t status, int32_t count) {
    ByteWriter w(out);
    putToken(w, kind);
    w.u16(status);
    w.u16(0);  // transaction state
    w.i32(count);
}

void writeReturnStatus(std::string& out, int32_t status) {
    ByteWriter w(out);
    putToken(w, Token::ReturnStatus);
    w.i32(status);
}

void writeOptionInfo(std::string& out, uint8_t option, std::string_view value) {
    ByteWriter w(out);
    putToken(w, Token::OptionCmd);
    w.u16(static_cast<uint16_t>(3 + value.size()));
    w.u8(static_cast<uint8_t>(OptionCommandKind::Info));
    w.u8(option);
    w.u8(static_cast<uint8_t>(value.size()));
    w.bytes(value);
}

void writeRowFormat(std::string& out, std::span<const ColumnFormat> columns) {
    ByteWriter w(out);
    size_t start = out.size();
    putToken(w, Token::RowFmt);
    size_t lengthAt = w.position();
    w.u16(0);
    putRowFormat(w, columns);
    size_t length = w.position() - lengthAt - 2;
    if (length <= 0xFFFF) {
        w.patchU16(lengthAt, static_cast<uint16_t>(length));
        return;
    }
    out.resize(start);
    putToken(w, Token::RowFmt2);
    lengthAt = w.position();
    w.u32(0);
    putRowFormat2(w, columns);
    w.patchU32(lengthAt, static_cast<uint32_t>(w.position() - lengthAt - 4));
}

void writeTypeInfo(std::string& out, const ColumnFormat& column) {
    ByteWriter w(out);
    putTypeInfo(w, column);
}

void writeRow(std::string& out, std::span<const ColumnFormat> columns, std::span<const Cell> cells) {
    static const Cell kMissing;
    auto cellAt = [&](size_t i) -> const Cell& { return i < cells.size() ? cells[i] : kMissing; };
    size_t room = 1;
    for (size_t i = 0; i < columns.size(); ++i) {
        room += cellRoom(columns[i], cellAt(i));
    }
    const size_t start = out.size();
    out.resize(start + room);
    FixedWriter w(out.data() + start);
    w.u8(static_cast<uint8_t>(Token::Row));
    for (size_t i = 0; i < columns.size(); ++i) {
        putCell(w, columns[i], cellAt(i));
    }
    assert(w.position() <= out.data() + out.size());
    out.resize(static_cast<size_t>(w.position() - out.data()));
}

std::variant<Request, MalformedRequest> parseRequest(const Message& message) {
    switch (static_cast<PacketType>(message.type)) {
        case PacketType::Normal:
            return parseNormal(message.payload);
        case PacketType::Query:
            return Request{Request::Kind::Language, message.payload, {}, {}, {}, {}};
        case PacketType::Rpc:
            // TDS 7's own call packet; a TDS 5.0 client sends its calls as DBRPC tokens.
            return Request{
                Request::Kind::Unsupported, "remote procedure call packets of TDS 7", {}, {}, {}, {}};
        case PacketType::Bulk:
            return Request{Request::Kind::Unsupported, "bulk copy", {}, {}, {}, {}};
        default:
            return MalformedRequest{"unexpected packet type"};
    }
}

}  // namespace gw::tds
