// rpc_test.cpp - remote procedure calls read from the byte streams FreeTDS 1.3.17 sends
// (tds_submit_rpc: DBRPC, then tds5_put_params with the parameters' names), every length field
// of the call checked, and the answer to output parameters written as FreeTDS reads it
// (tds_process_dyn_result, tds5_process_dyn_result2, tds_process_params_result_token).
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "protocol/rpc.h"
#include "protocol/tokens.h"

namespace {

using namespace gw::tds;

std::string bytes(std::initializer_list<int> b) {
    return std::string(b.begin(), b.end());
}

std::string le16(size_t v) {
    return bytes({static_cast<int>(v & 0xFF), static_cast<int>(v >> 8 & 0xFF)});
}

std::string le32(size_t v) {
    return le16(v & 0xFFFF) + le16(v >> 16);
}

// DBRPC as tds_submit_rpc writes it: the token length, the name with a 1-byte length, and the
// options (2 when parameters follow).
std::string dbrpc(const std::string& name, uint16_t options) {
    return bytes({0xE6}) + le16(name.size() + 3) + static_cast<char>(name.size()) + name + le16(options);
}

// One parameter of a parameter format: name, status (1 byte, or 4 in PARAMFMT2), user type 0,
// the type byte with its type information, and no locale.
std::string entry(const std::string& name, uint32_t status, const std::string& typeInfo, bool wide = false) {
    std::string s = static_cast<char>(name.size()) + name;
    s += wide ? le32(status) : std::string(1, static_cast<char>(status));
    return s + le32(0) + typeInfo + bytes({0});
}

std::string paramFormat(const std::vector<std::string>& entries, bool wide = false) {
    std::string body = le16(entries.size());
    for (const std::string& e : entries) {
        body += e;
    }
    return wide ? bytes({0x20}) + le32(body.size()) + body : bytes({0xEC}) + le16(body.size()) + body;
}

const std::string kVarChar255 = bytes({0x27, 0xFF});
const std::string kIntN4 = bytes({0x26, 4});

Message normal(const std::string& payload) {
    return Message{0x0F, payload};
}

// The call a message holds, or a failure of the test.
RpcRequest callOf(const std::string& payload) {
    auto parsed = parseRequest(normal(payload));
    if (!std::holds_alternative<Request>(parsed)) {
        ADD_FAILURE() << "malformed: " << std::get<MalformedRequest>(parsed).reason;
        return {};
    }
    const Request& r = std::get<Request>(parsed);
    EXPECT_EQ(r.kind, Request::Kind::Rpc) << r.text;
    return r.rpc;
}

TEST(Rpc, ReadsCallsWithoutParametersAndWithNamedAndPositionalOnes) {
    RpcRequest bare = callOf(dbrpc("sp_who", 0));
    EXPECT_EQ(bare.name, "sp_who");
    EXPECT_EQ(bare.options, 0);
    EXPECT_TRUE(bare.params.formats.empty());

    // sp_pkeys @table_name = 'EMP', @table_owner = NULL, then an unnamed INTN 4 of 7.
    RpcRequest call = callOf(dbrpc("..sp_pkeys", 2) +
                             paramFormat({entry("@table_name", 0, kVarChar255),
                                          entry("@table_owner", 0, kVarChar255), entry("", 0, kIntN4)}) +
                             bytes({0xD7, 3, 'E', 'M', 'P', 0, 4, 7, 0, 0, 0}));
    EXPECT_EQ(call.name, "..sp_pkeys");
    EXPECT_EQ(call.options, kRpcHasParameters);
    ASSERT_EQ(call.params.formats.size(), 3u);
    EXPECT_EQ(call.params.formats[0].name, "@table_name");
    EXPECT_EQ(call.params.formats[2].name, "");
    EXPECT_EQ(call.params.values, (std::vector<ParamValue>{"EMP", std::nullopt, "7"}));
    EXPECT_FALSE(call.params.wide);
    EXPECT_FALSE(hasOutputParams(call.params));
    EXPECT_TRUE(call.params.formats[0].formatBytes.empty()) << "an input parameter keeps no bytes";

    // Options that announce parameters with none after them: a call without parameters.
    EXPECT_TRUE(callOf(dbrpc("sp_who", 2)).params.formats.empty());

    // DBRPC2 gives the name a 2-byte length.
    RpcRequest wideName = callOf(bytes({0xE8}) + le16(2 + 4 + 2) + le16(4) + "proc" + le16(0));
    EXPECT_EQ(wideName.name, "proc");
}

TEST(Rpc, KeepsTheBytesOfOutputParametersToAnswerThemUnchanged) {
    // PARAMFMT2 (4-byte statuses): an input VARCHAR, an output INTN 4 of 7, an output NULL VARCHAR.
    RpcRequest call = callOf(dbrpc("myreq", 2) +
                             paramFormat({entry("@in", 0, kVarChar255, true), entry("@n", 1, kIntN4, true),
                                          entry("@s", 1, kVarChar255, true)},
                                         true) +
                             bytes({0xD7, 1, 'x', 4, 7, 0, 0, 0, 0}));
    ASSERT_EQ(call.params.formats.size(), 3u);
    EXPECT_TRUE(call.params.wide);
    EXPECT_TRUE(hasOutputParams(call.params));
    EXPECT_EQ(call.params.values, (std::vector<ParamValue>{"x", "7", std::nullopt}));
    EXPECT_EQ(call.params.formats[1].formatBytes, le32(0) + kIntN4 + bytes({0}));
    EXPECT_EQ(call.params.formats[1].valueBytes, bytes({4, 7, 0, 0, 0}));
    EXPECT_EQ(call.params.formats[2].valueBytes, bytes({0}));

    // The answer describes the two output parameters in the call's own (wide) format, then their
    // values as they came.
    std::string out;
    writeReturnedParams(out, call.params);
    const std::string expectedFormat =
        paramFormat({entry("@n", 1, kIntN4, true), entry("@s", 1, kVarChar255, true)}, true);
    EXPECT_EQ(out, expectedFormat + bytes({0xD7, 4, 7, 0, 0, 0, 0}));
    // Read back as a client would, names and values are the call's.
    auto back = parseParams(out);
    ASSERT_TRUE(std::holds_alternative<ParamSet>(back));
    const ParamSet& answered = std::get<ParamSet>(back);
    ASSERT_EQ(answered.formats.size(), 2u);
    EXPECT_EQ(answered.formats[0].name, "@n");
    EXPECT_EQ(answered.values, (std::vector<ParamValue>{"7", std::nullopt}));

    // A call in the ordinary format is answered in it.
    RpcRequest narrow =
        callOf(dbrpc("p", 2) + paramFormat({entry("", 0, kIntN4), entry("@o", 1, bytes({0x38}))}) +
               bytes({0xD7, 4, 1, 0, 0, 0, 9, 0, 0, 0}));
    out.clear();
    writeReturnedParams(out, narrow.params);
    EXPECT_EQ(out, paramFormat({entry("@o", 1, bytes({0x38}))}) + bytes({0xD7, 9, 0, 0, 0}));
}

TEST(Rpc, ACallWhoseLengthsDisagreeWithItsBytesIsMalformed) {
    const std::string params = paramFormat({entry("@a", 0, kIntN4)}) + bytes({0xD7, 4, 1, 0, 0, 0});
    std::string shortLength = dbrpc("sp_x", 2);
    shortLength[1] = static_cast<char>(shortLength[1] - 1);
    std::string longLength = dbrpc("sp_x", 2);
    longLength[1] = static_cast<char>(longLength[1] + 1);
    std::string nameTooLong = dbrpc("sp_x", 2);
    nameTooLong[3] = 9;
    std::string fewerEntries = paramFormat({entry("@a", 0, kIntN4)});
    fewerEntries[3] = 2;  // two parameters announced, one described
    std::string formatTooLong = paramFormat({entry("@a", 0, kIntN4)});
    formatTooLong[1] = static_cast<char>(formatTooLong[1] + 1);
    const std::pair<const char*, std::string> cases[] = {
        {"a call token cut after its length", bytes({0xE6, 7, 0})},
        {"a call token of length zero", bytes({0xE6, 0, 0})},
        {"a token length short of its fields", shortLength + params},
        {"a token length past its fields (into the parameters)", longLength + params},
        {"a token length past the message", longLength},
        {"a name length past the token", nameTooLong},
        {"a token without its options", bytes({0xE6, 5, 0, 4}) + "sp_x"},
        {"a DBRPC2 name length past the token", bytes({0xE8, 6, 0, 9, 0, 'p', 'r', 0, 0})},
        {"parameters after a call whose options say none follow", dbrpc("sp_x", 0) + params},
        {"a parameter format with fewer entries than announced",
         dbrpc("sp_x", 2) + fewerEntries + bytes({0xD7, 4, 1, 0, 0, 0})},
        {"a parameter format length past its entries",
         dbrpc("sp_x", 2) + formatTooLong + bytes({0xD7, 4, 1, 0, 0, 0})},
        {"a parameter format without values", dbrpc("sp_x", 2) + paramFormat({entry("@a", 0, kIntN4)})},
        {"a value cut short", dbrpc("sp_x", 2) + paramFormat({entry("@a", 0, kIntN4)}) + bytes({0xD7, 4, 1})},
        {"bytes after the values", dbrpc("sp_x", 2) + params + "z"},
        {"values without a format", dbrpc("sp_x", 2) + bytes({0xD7, 4, 1, 0, 0, 0})},
    };
    for (const auto& [claim, payload] : cases) {
        EXPECT_TRUE(std::holds_alternative<MalformedRequest>(parseRequest(normal(payload)))) << claim;
    }
}

TEST(Rpc, AParameterTypeTheGatewayDoesNotTakeRefusesTheCallByName) {
    // BITN (0x68) is well formed but not decoded: the call is refused, naming it and the type.
    auto parsed = parseRequest(normal(
        dbrpc("sp_pkeys", 2) + paramFormat({entry("@flag", 0, bytes({0x68, 1}))}) + bytes({0xD7, 1, 1})));
    ASSERT_TRUE(std::holds_alternative<Request>(parsed));
    const Request& r = std::get<Request>(parsed);
    EXPECT_EQ(r.kind, Request::Kind::Unsupported);
    EXPECT_NE(r.text.find("sp_pkeys"), std::string::npos) << r.text;
    EXPECT_NE(r.text.find("0x68"), std::string::npos) << r.text;
}

}  // namespace
