// rpc.cpp - reads DBRPC and DBRPC2 calls; writes the answer to their output parameters.
//
// Serves the request reader (tokens.cpp) and the session's procedure calls. The two call tokens
// differ only in the width of the procedure name's length, described once in kRpcTokens; the
// parameters after either are read by the reader of dynamic SQL's parameters.
#include "rpc.h"

#include <array>

#include "bytes.h"
#include "tokens.h"

namespace gw::tds {
namespace {

struct RpcTokenInfo {
    uint8_t token;
    uint8_t nameLengthWidth;  // 1 or 2 bytes
};

// Both carry a 2-byte token length, the name with its length, then 2 bytes of options. DBRPC2
// (for the long qualified names of large identifiers) gives the name a 2-byte length; the
// gateway does not ask clients for it at login, but reads it when one is sent.
constexpr std::array<RpcTokenInfo, 2> kRpcTokens = {{
    {kDbRpcToken, 1},
    {kDbRpc2Token, 2},
}};
static_assert(kRpcTokens[0].token == static_cast<uint8_t>(Token::DbRpc));
static_assert(kRpcTokens[1].token == static_cast<uint8_t>(Token::DbRpc2));

const RpcTokenInfo* rpcToken(uint8_t token) {
    for (const RpcTokenInfo& info : kRpcTokens) {
        if (info.token == token) {
            return &info;
        }
    }
    return nullptr;
}

// The parameter format of the output parameters; false when the ordinary format would not fit
// its 16-bit length (the caller then writes the wide one).
bool putReturnedFormats(std::string& out, const ParamSet& params, bool wide) {
    ByteWriter w(out);
    w.u8(wide ? kParamFmt2Token : kParamFmtToken);
    size_t lengthAt = w.position();
    if (wide) {
        w.u32(0);
    } else {
        w.u16(0);
    }
    uint16_t count = 0;
    for (const ParamDescription& d : params.formats) {
        count = static_cast<uint16_t>(count + ((d.status & kParamOutput) ? 1 : 0));
    }
    w.u16(count);
    for (const ParamDescription& d : params.formats) {
        if (!(d.status & kParamOutput)) {
            continue;
        }
        std::string_view name = fitText(d.name, 255);
        w.u8(static_cast<uint8_t>(name.size()));
        w.bytes(name);
        if (wide) {
            w.u32(d.status);
        } else {
            w.u8(static_cast<uint8_t>(d.status));
        }
        w.bytes(d.formatBytes);
    }
    size_t length = w.position() - lengthAt - (wide ? 4 : 2);
    if (wide) {
        w.patchU32(lengthAt, static_cast<uint32_t>(length));
        return true;
    }
    if (length > 0xFFFF) {
        return false;
    }
    w.patchU16(lengthAt, static_cast<uint16_t>(length));
    return true;
}

}  // namespace

std::variant<RpcRequest, ParamError> parseRpc(std::string_view payload) {
    ByteReader r(payload);
    const RpcTokenInfo* info = rpcToken(r.u8());
    if (!info) {
        return ParamError{"not a remote procedure call"};
    }
    uint16_t length = r.u16();
    if (!r.ok() || length > r.remaining()) {
        return ParamError{"the remote procedure call's length runs past the message"};
    }
    size_t end = r.position() + length;
    RpcRequest call;
    size_t nameLength = info->nameLengthWidth == 1 ? r.u8() : r.u16();
    call.name = std::string(r.bytes(nameLength));
    call.options = r.u16();
    if (!r.ok() || r.position() != end) {
        return ParamError{"the remote procedure call's length disagrees with its fields"};
    }
    std::string_view rest = payload.substr(end);
    if (rest.empty()) {
        return call;  // no parameters, whatever the options say
    }
    if (!(call.options & kRpcHasParameters)) {
        return ParamError{"bytes follow a remote procedure call without parameters"};
    }
    auto parsed = parseParams(rest);
    if (auto* error = std::get_if<ParamError>(&parsed)) {
        error->reason = "remote procedure call " + call.name + ": " + error->reason;
        return *error;
    }
    call.params = std::move(std::get<ParamSet>(parsed));
    return call;
}

bool hasOutputParams(const ParamSet& params) {
    for (const ParamDescription& d : params.formats) {
        if (d.status & kParamOutput) {
            return true;
        }
    }
    return false;
}

void writeReturnedParams(std::string& out, const ParamSet& params) {
    size_t start = out.size();
    if (params.wide || !putReturnedFormats(out, params, false)) {
        out.resize(start);
        putReturnedFormats(out, params, true);
    }
    ByteWriter w(out);
    w.u8(kParamsToken);
    for (const ParamDescription& d : params.formats) {
        if (d.status & kParamOutput) {
            w.bytes(d.valueBytes);
        }
    }
}

}  // namespace gw::tds
