// tokens.h - TDS 5.0 tokens: the server's answers written into a byte stream, and the client's
// requests read from a reassembled message.
//
// Writers append one whole token to a string and compute its length fields from what they wrote.
// The request reader accepts one LANGUAGE (with or without parameters), LOGOUT, OPTIONCMD,
// DYNAMIC or remote procedure call (DBRPC, DBRPC2) request whose declared lengths match the bytes
// that follow; it walks every other request a TDS 5.0 client may send (cursors, messages, bulk
// copy) by its length fields and names it, so the session can refuse it and go on; only bytes
// that are no request at all are malformed.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "common/result.h"
#include "dynamic.h"
#include "packet.h"
#include "rpc.h"

namespace gw::tds {

enum class Token : uint8_t {
    Language = 0x21,
    OptionCmd = 0xA6,
    RowFmt2 = 0x61,
    Logout = 0x71,
    ReturnStatus = 0x79,
    LoginAck = 0xAD,
    Row = 0xD1,
    Params = 0xD7,
    Capability = 0xE2,
    EnvChange = 0xE3,
    Eed = 0xE5,
    DbRpc = 0xE6,
    DbRpc2 = 0xE8,
    Dynamic = 0xE7,
    Dynamic2 = 0x62,
    ParamFmt = 0xEC,
    RowFmt = 0xEE,
    Done = 0xFD,
    DoneProc = 0xFE,
    DoneInProc = 0xFF,
};

// Status bits of DONE, DONEPROC and DONEINPROC.
enum DoneStatus : uint16_t {
    kDoneFinal = 0x00,
    kDoneMore = 0x01,
    kDoneError = 0x02,
    kDoneInTransaction = 0x04,
    kDoneProcedure = 0x08,
    kDoneCount = 0x10,
    kDoneAttention = 0x20,
};

enum class EnvChangeType : uint8_t { Database = 1, Language = 2, Charset = 3, PacketSize = 4 };

enum class LoginStatus : uint8_t { Succeeded = 5, Failed = 6 };

// A server message, sent as an EED token.
struct ServerMessage {
    int32_t number = 0;
    uint8_t state = 1;
    uint8_t severity = 0;
    std::string text;
    std::string server;
    std::string procedure;
    uint16_t line = 0;
};

void writeLoginAck(std::string& out, LoginStatus status, std::string_view product,
                   const uint8_t (&version)[4]);
void writeEnvChange(std::string& out, EnvChangeType type, std::string_view newValue,
                    std::string_view oldValue);
void writeCapability(std::string& out, std::string_view body);
void writeEed(std::string& out, const ServerMessage& message);
void writeDone(std::string& out, Token kind, uint16_t status, int32_t count);
void writeReturnStatus(std::string& out, int32_t status);
// OPTIONCMD with the command "info": the current value of an option, answering a query of it.
void writeOptionInfo(std::string& out, uint8_t option, std::string_view value);
void writeRowFormat(std::string& out, std::span<const ColumnFormat> columns);
void writeRow(std::string& out, std::span<const ColumnFormat> columns, std::span<const Cell> cells);
// The data type byte and type information of a column or parameter, as ROWFMT and PARAMFMT carry it.
void writeTypeInfo(std::string& out, const ColumnFormat& column);

// The longest prefix of `text` that fits in `limit` bytes without cutting a UTF-8 sequence.
std::string_view fitText(std::string_view text, size_t limit);

// The commands of OPTIONCMD.
enum class OptionCommandKind : uint8_t { Set = 1, Default = 2, List = 3, Info = 4 };

// One OPTIONCMD: set an option, reset it to its default, or ask for its value.
struct OptionCommand {
    uint8_t command = 0;   // an OptionCommandKind, as sent
    uint8_t option = 0;    // the option's number
    std::string argument;  // the value's bytes (1 for flags and choices, 4 for numbers)
};

// What a client asked for in one message.
struct Request {
    enum class Kind { Language, Logout, Option, Dynamic, Rpc, Unsupported };
    Kind kind = Kind::Language;
    std::string text;  // the statement text, or what is not supported
    OptionCommand option;
    ParamSet params;         // a language request's parameters (status 1)
    DynamicRequest dynamic;  // Kind::Dynamic
    RpcRequest rpc;          // Kind::Rpc
};

struct MalformedRequest {
    std::string reason;
};

std::variant<Request, MalformedRequest> parseRequest(const Message& message);

}  // namespace gw::tds
