// dynamic.h - the tokens of dynamic SQL and parameters: DYNAMIC, DYNAMIC2, PARAMFMT, PARAMFMT2,
// PARAMS in, and the DYNAMIC acknowledgement and PARAMFMT out.
//
// A client prepares a statement under an id, executes it with parameter values, and deallocates
// it; a language request or a remote procedure call (rpc.h) may carry parameter values too. The
// readers turn those tokens into named fields and every value into the text PostgreSQL takes for
// it (NULL stays NULL), keeping the bytes of output parameters; they own no state. Invariant: a
// token's declared length equals the bytes its fields use, and a value list has exactly one value
// per described parameter.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "common/result.h"

namespace gw::tds {

constexpr uint8_t kDynamicToken = 0xE7;
constexpr uint8_t kDynamic2Token = 0x62;
constexpr uint8_t kParamFmtToken = 0xEC;
constexpr uint8_t kParamFmt2Token = 0x20;
constexpr uint8_t kParamsToken = 0xD7;

// What a DYNAMIC token asks for (its type byte).
enum class DynamicOp : uint8_t {
    Prepare = 0x01,
    Execute = 0x02,
    Deallocate = 0x04,
    ExecuteImmediate = 0x08,
    Ack = 0x20,
    DescribeInput = 0x40,
    DescribeOutput = 0x80,
};

// Status bit of DYNAMIC and LANGUAGE: parameter formats and values follow the token.
constexpr uint8_t kHasParameters = 0x01;
// Status bit of a parameter: the caller wants its value back (an output parameter).
constexpr uint32_t kParamOutput = 0x01;

// One parameter as its format token describes it.
struct ParamDescription {
    std::string name;
    uint32_t status = 0;
    int32_t userType = 0;
    uint8_t type = 0;       // the TDS data type
    uint32_t length = 0;    // declared length, for the types that carry one
    uint8_t precision = 0;  // NUMERIC / DECIMAL
    uint8_t scale = 0;
    // Of an output parameter only: the bytes of its format after the status (user type, type,
    // type information, locale) and of its value as sent, so that it can be answered unchanged.
    std::string formatBytes;
    std::string valueBytes;
};

// A parameter value as PostgreSQL takes it: its text, or nothing for NULL.
using ParamValue = std::optional<std::string>;

// Formats and values of the parameters that follow a DYNAMIC, LANGUAGE or DBRPC token.
struct ParamSet {
    std::vector<ParamDescription> formats;
    std::vector<ParamValue> values;
    bool wide = false;  // the formats came as PARAMFMT2 (4-byte statuses)
};

// One DYNAMIC or DYNAMIC2 request with what follows it.
struct DynamicRequest {
    uint8_t op = 0;  // a DynamicOp, as sent
    uint8_t status = 0;
    std::string id;
    std::string statement;  // the text of a prepare or execute-immediate, else empty
    ParamSet params;
};

struct ParamError {
    std::string reason;
    bool unsupported = false;  // well formed, but a type the gateway does not take
};

// Reads PARAMFMT or PARAMFMT2 then PARAMS from `payload` (which starts at the format token) to
// its end.
std::variant<ParamSet, ParamError> parseParams(std::string_view payload);

// Whether a parameter's value text is a number (integer, float, money, bit, numeric types), which
// may enter SQL as written, rather than a string.
bool numericParam(const ParamDescription& param);

// Reads a whole dynamic request: the DYNAMIC or DYNAMIC2 token and, when its status says so, the
// parameters after it.
std::variant<DynamicRequest, ParamError> parseDynamic(std::string_view payload);

// The text of a prepared statement without the "create proc <id> as " wrapping some clients put
// around it.
std::string_view unwrapProcedure(std::string_view text, std::string_view id);

// The DYNAMIC token that acknowledges a request on statement `id`.
void writeDynamicAck(std::string& out, std::string_view id);
// PARAMFMT describing the input parameters of a prepared statement.
void writeParamFormat(std::string& out, std::span<const ColumnFormat> params);

// Text forms of wire values, exposed for testing: a DATETIME (days since 1900-01-01 and 1/300 s
// ticks since midnight) as yyyy-mm-dd hh:mm:ss.ffffff, and a NUMERIC magnitude (big-endian) with
// its sign and scale.
std::string datetimeText(int32_t days, uint32_t ticks);
std::string numericText(bool negative, std::string_view magnitude, uint8_t scale);

}  // namespace gw::tds
