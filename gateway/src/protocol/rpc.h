// rpc.h - remote procedure calls: the DBRPC and DBRPC2 tokens with the parameters after them in,
// and the output parameters of a call out.
//
// A client calls a procedure by name, with parameters by position (no name) or by name (`@name`),
// each possibly marked as an output parameter. The reader turns the call into named fields and
// reuses the parameter reader of dynamic SQL for the values; it owns no state. Invariant: the
// call token's declared length equals the bytes its fields use, and a call whose options say
// parameters follow has exactly one value per described parameter.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

#include "dynamic.h"

namespace gw::tds {

constexpr uint8_t kDbRpcToken = 0xE6;
constexpr uint8_t kDbRpc2Token = 0xE8;

// Option bits of a call.
constexpr uint16_t kRpcRecompile = 0x0001;
constexpr uint16_t kRpcHasParameters = 0x0002;

struct RpcRequest {
    std::string name;  // the procedure as the client named it, qualifiers included
    uint16_t options = 0;
    ParamSet params;
};

// Reads a whole call: the DBRPC or DBRPC2 token and, when its options say so, PARAMFMT (or
// PARAMFMT2) and PARAMS after it, to the end of `payload`.
std::variant<RpcRequest, ParamError> parseRpc(std::string_view payload);

// Whether any parameter of `params` is an output parameter.
bool hasOutputParams(const ParamSet& params);

// The answer to a call's output parameters: a parameter format (wide when the call's was) and
// PARAMS, each output parameter described and valued as the call sent it.
void writeReturnedParams(std::string& out, const ParamSet& params);

}  // namespace gw::tds
