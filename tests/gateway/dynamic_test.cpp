// dynamic_test.cpp - the dynamic SQL tokens: DYNAMIC, DYNAMIC2, PARAMFMT(2) and PARAMS read from
// the byte streams FreeTDS 1.3.17 sends (tds_submit_prepare, tds_submit_execute, tds5_put_params,
// tds_submit_query_params), every parameter data type as PostgreSQL input text, and the
// acknowledgement and parameter format written as FreeTDS reads them (tds_process_dynamic,
// tds_process_dyn_result).
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "protocol/dynamic.h"
#include "protocol/tokens.h"

namespace {

using gw::ColumnFormat;
using gw::WireType;
using namespace gw::tds;

std::string bytes(std::initializer_list<int> b) {
    return std::string(b.begin(), b.end());
}

Message normal(const std::string& payload) {
    return Message{0x0F, payload};
}

// PARAMFMT with one unnamed input parameter: its type byte and type information.
std::string oneParamFormat(const std::string& typeAndInfo) {
    std::string body = bytes({1, 0}) + bytes({0, 0, 0, 0, 0, 0}) + typeAndInfo + bytes({0});
    return bytes({0xEC, static_cast<int>(body.size()), 0}) + body;
}

// A DYNAMIC execute of statement "d1" as tds_submit_execute sends it, with parameters.
std::string executeWith(const std::string& formatAndValues) {
    return bytes({0xE7, 7, 0, 0x02, 0x01, 2, 'd', '1', 0, 0}) + formatAndValues;
}

DynamicRequest dynamicOf(const Message& m) {
    auto parsed = parseRequest(m);
    if (!std::holds_alternative<Request>(parsed)) {
        ADD_FAILURE() << "malformed: " << std::get<MalformedRequest>(parsed).reason;
        return {};
    }
    const Request& r = std::get<Request>(parsed);
    EXPECT_EQ(r.kind, Request::Kind::Dynamic) << r.text;
    return r.dynamic;
}

TEST(Dynamic, ReadsPrepareExecuteAndDeallocateAsFreeTdsSendsThem) {
    // Prepare without the procedure wrapping (FreeTDS wraps it only when offered PROTO_DYNPROC).
    DynamicRequest prepare =
        dynamicOf(normal(bytes({0xE7, 19, 0, 0x01, 0x00, 2, 'd', '1', 12, 0}) + "select ? + 1"));
    EXPECT_EQ(prepare.op, 0x01);
    EXPECT_EQ(prepare.id, "d1");
    EXPECT_EQ(prepare.statement, "select ? + 1");
    EXPECT_TRUE(prepare.params.formats.empty());

    DynamicRequest execute =
        dynamicOf(normal(executeWith(oneParamFormat(bytes({0x26, 4})) + bytes({0xD7, 4, 0x2A, 0, 0, 0}))));
    EXPECT_EQ(execute.op, 0x02);
    EXPECT_EQ(execute.id, "d1");
    ASSERT_EQ(execute.params.formats.size(), 1u);
    EXPECT_EQ(execute.params.formats[0].type, 0x26);
    EXPECT_EQ(execute.params.formats[0].length, 4u);
    EXPECT_EQ(execute.params.values, (std::vector<ParamValue>{"42"}));

    DynamicRequest dealloc = dynamicOf(normal(bytes({0xE7, 7, 0, 0x04, 0x00, 2, 'd', '1', 0, 0})));
    EXPECT_EQ(dealloc.op, 0x04);
    EXPECT_EQ(dealloc.statement, "");

    // DYNAMIC2: 4-byte token and statement lengths.
    DynamicRequest wide =
        dynamicOf(normal(bytes({0x62, 13, 0, 0, 0, 0x08, 0x00, 1, 'x', 5, 0, 0, 0}) + "set x"));
    EXPECT_EQ(std::tuple(wide.op, wide.id, wide.statement),
              std::tuple(0x08, std::string("x"), std::string("set x")));
}

TEST(Dynamic, TurnsEveryParameterTypeIntoPostgreSqlInputText) {
    const std::tuple<const char*, std::string, std::string, ParamValue> cases[] = {
        {"INTN 1 is unsigned", bytes({0x26, 1}), bytes({1, 0xFF}), "255"},
        {"INTN 2 is signed", bytes({0x26, 2}), bytes({2, 0xFE, 0xFF}), "-2"},
        {"INTN 8", bytes({0x26, 8}), bytes({8, 0xFB, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}), "-5"},
        {"INTN NULL", bytes({0x26, 4}), bytes({0}), std::nullopt},
        {"INT4 has no length", bytes({0x38}), bytes({7, 0, 0, 0}), "7"},
        {"INT2 fixed", bytes({0x34}), bytes({0x00, 0x80}), "-32768"},
        {"FLTN 8", bytes({0x6D, 8}), bytes({8, 0, 0, 0, 0, 0, 0, 0xF8, 0x3F}), "1.5"},
        {"FLTN 4", bytes({0x6D, 4}), bytes({4, 0, 0, 0x80, 0x3E}), "0.25"},
        {"BIT", bytes({0x32}), bytes({1}), "1"},
        {"CHAR keeps quotes and blanks", bytes({0x2F, 20}), bytes({8}) + " O'Brien", " O'Brien"},
        {"VARCHAR of length 0 is NULL", bytes({0x27, 20}), bytes({0}), std::nullopt},
        {"LONGCHAR", bytes({0xAF, 0, 1, 0, 0}), bytes({3, 0, 0, 0}) + "abc", "abc"},
        {"DECIMAL(9,2)", bytes({0x6A, 5, 9, 2}), bytes({5, 0, 0, 0x01, 0xE2, 0x40}), "1234.56"},
        {"NUMERIC negative below one", bytes({0x6C, 5, 9, 2}), bytes({5, 1, 0, 0, 0, 7}), "-0.07"},
        {"NUMERIC NULL", bytes({0x6C, 5, 9, 2}), bytes({0}), std::nullopt},
        {"DATETIMN 8: days and 1/300 s ticks", bytes({0x6F, 8}), bytes({8, 37, 177, 0, 0, 62, 128, 139, 1}),
         "2024-02-29 23:59:58.500000"},
        {"DATETIME4: days and minutes", bytes({0x3A}), bytes({171, 142, 242, 2}),
         "1999-12-31 12:34:00.000000"},
        {"DATE", bytes({0x31}), bytes({37, 177, 0, 0}), "2024-02-29"},
        {"TIME", bytes({0x33}), bytes({62, 128, 139, 1}), "23:59:58.500000"},
        {"MONEYN 8 negative", bytes({0x6E, 8}), bytes({8, 255, 255, 255, 255, 104, 197, 255, 255}),
         "-1.5000"},
        {"MONEY4", bytes({0x7A}), bytes({0x40, 0xE2, 0x01, 0}), "12.3456"},
        {"VARBINARY as bytea hex", bytes({0x25, 10}), bytes({2, 0xDE, 0xAD}), "\\xdead"},
        {"TEXT with a text pointer", bytes({0x23, 0, 1, 0, 0, 0, 0}),
         bytes({16}) + std::string(24, 'p') + bytes({2, 0, 0, 0}) + "hi", "hi"},
        {"TEXT NULL has no text pointer", bytes({0x23, 0, 1, 0, 0, 0, 0}), bytes({0}), std::nullopt},
    };
    for (const auto& [claim, typeInfo, value, expected] : cases) {
        DynamicRequest r = dynamicOf(normal(executeWith(oneParamFormat(typeInfo) + bytes({0xD7}) + value)));
        ASSERT_EQ(r.params.values.size(), 1u) << claim;
        EXPECT_EQ(r.params.values[0], expected) << claim;
    }
}

TEST(Dynamic, ReadsTheWideFormatAndLanguageRequestsWithNamedParameters) {
    // PARAMFMT2: 4-byte length and status.
    std::string body = bytes({2, 0}) + bytes({3, '@', 'P', '1', 0, 0, 0, 0, 0, 0, 0, 0, 0x26, 4, 0}) +
                       bytes({0, 0, 0, 0, 0, 0, 0, 0, 0, 0x27, 30, 0});
    std::string wide = bytes({0x20, static_cast<int>(body.size()), 0, 0, 0}) + body +
                       bytes({0xD7, 4, 9, 0, 0, 0, 2, 'o', 'k'});
    DynamicRequest r = dynamicOf(normal(executeWith(wide)));
    ASSERT_EQ(r.params.formats.size(), 2u);
    EXPECT_EQ(r.params.formats[0].name, "@P1");
    EXPECT_EQ(r.params.values, (std::vector<ParamValue>{"9", "ok"}));

    // tds_submit_query_params: the text with @P1, status 1, then the parameters.
    std::string text = "select @P1";
    std::string language = bytes({0x21, static_cast<int>(text.size() + 1), 0, 0, 0, 1}) + text;
    std::string named = bytes({1, 0, 3, '@', 'P', '1', 0, 0, 0, 0, 0, 0x26, 4, 0});
    auto parsed = parseRequest(normal(language + bytes({0xEC, static_cast<int>(named.size()), 0}) + named +
                                      bytes({0xD7, 4, 5, 0, 0, 0})));
    ASSERT_TRUE(std::holds_alternative<Request>(parsed));
    const Request& lang = std::get<Request>(parsed);
    EXPECT_EQ(lang.kind, Request::Kind::Language);
    EXPECT_EQ(lang.text, text);
    ASSERT_EQ(lang.params.formats.size(), 1u);
    EXPECT_EQ(lang.params.formats[0].name, "@P1");
    EXPECT_EQ(lang.params.values, (std::vector<ParamValue>{"5"}));
}

TEST(Dynamic, RefusesUnknownTypesByNameAndMalformedParametersAsMalformed) {
    auto uintn =
        parseRequest(normal(executeWith(oneParamFormat(bytes({0x44, 4})) + bytes({0xD7, 4, 1, 0, 0, 0}))));
    ASSERT_TRUE(std::holds_alternative<Request>(uintn));
    EXPECT_EQ(std::get<Request>(uintn).kind, Request::Kind::Unsupported);
    EXPECT_EQ(std::get<Request>(uintn).text, "parameters of data type 0x44");

    const std::pair<const char*, std::string> cases[] = {
        {"a value shorter than its length",
         executeWith(oneParamFormat(bytes({0x27, 20})) + bytes({0xD7, 5, 'a'}))},
        {"no values after the format", executeWith(oneParamFormat(bytes({0x26, 4})))},
        {"values without a format", executeWith(bytes({0xD7, 4, 1, 0, 0, 0}))},
        {"bytes after the values", executeWith(oneParamFormat(bytes({0x26, 4})) + bytes({0xD7, 0, 0}))},
        {"a fixed integer of the wrong size",
         executeWith(oneParamFormat(bytes({0x26, 4})) + bytes({0xD7, 3, 1, 2, 3}))},
        {"a format whose length disagrees with its fields",
         bytes({0xE7, 7, 0, 0x02, 0x01, 2, 'd', '1', 0,    0, 0xEC, 12,   0,
                1,    0, 0, 0,    0,    0, 0,   0,   0x26, 4, 0,    0xD7, 0})},
        {"a statement length past the token", bytes({0xE7, 9, 0, 0x01, 0, 2, 'd', '1', 9, 0, 'x'})},
        {"a status saying parameters follow, and none do",
         bytes({0xE7, 7, 0, 0x02, 0x01, 2, 'd', '1', 0, 0})},
        {"bytes after a dynamic token without parameters",
         bytes({0xE7, 7, 0, 0x02, 0x00, 2, 'd', '1', 0, 0, 0xD7})},
    };
    for (const auto& [claim, payload] : cases) {
        EXPECT_TRUE(std::holds_alternative<MalformedRequest>(parseRequest(normal(payload)))) << claim;
    }
}

TEST(Dynamic, WritesTheAcknowledgementAndParameterFormatAsFreeTdsReadsThem) {
    std::string ack;
    writeDynamicAck(ack, "d1");
    EXPECT_EQ(ack, bytes({0xE7, 5, 0, 0x20, 0x00, 2, 'd', '1'}))
        << "type ACK, status, id: FreeTDS reads no statement length after the id";

    std::string fmt;
    const ColumnFormat params[] = {
        {"", WireType::Int, 4, 0},
        {"", WireType::Char, 11, gw::decimalUserType(9, 2)},
    };
    writeParamFormat(fmt, params);
    EXPECT_EQ(fmt, bytes({0xEC, 20, 0, 2, 0,                     // length, count
                          0,    0,  0, 0, 0, 0, 0x26, 4,  0,     // INTN 4
                          0,    0,  3, 0, 9, 2, 0x2F, 11, 0}));  // CHAR(11), user type DECIMAL(9,2)
}

TEST(Dynamic, UnwrapsTheProcedureSomeClientsPutAroundAStatement) {
    const std::tuple<const char*, const char*, const char*> cases[] = {
        {"create proc d1 as select 1", "d1", "select 1"},
        {"  CREATE  PROC d1\nAS\tselect 1", "d1", "select 1"},
        {"create proc d2 as select 1", "d1", "create proc d2 as select 1"},
        {"create procedure d1 as select 1", "d1", "create procedure d1 as select 1"},
        {"create proc d1 asselect 1", "d1", "create proc d1 asselect 1"},
        {"select 1", "d1", "select 1"},
    };
    for (const auto& [text, id, expected] : cases) {
        EXPECT_EQ(unwrapProcedure(text, id), expected) << text;
    }
}

TEST(Dynamic, FormatsNumericMagnitudesAndDatetimesExactly) {
    EXPECT_EQ(numericText(false, "", 0), "0");
    EXPECT_EQ(numericText(true, bytes({0}), 2), "0.00") << "no negative zero";
    EXPECT_EQ(numericText(false, bytes({7}), 3), "0.007");
    EXPECT_EQ(numericText(false,
                          bytes({0x4B, 0x3B, 0x4C, 0xA8, 0x5A, 0x86, 0xC4, 0x7A, 0x09, 0x8A, 0x22, 0x3F, 0xFF,
                                 0xFF, 0xFF, 0xFF}),
                          0),
              "99999999999999999999999999999999999999")
        << "38 digits, more than 64 bits";
    EXPECT_EQ(datetimeText(0, 0), "1900-01-01 00:00:00.000000");
    EXPECT_EQ(datetimeText(-1, 1), "1899-12-31 00:00:00.003333");
    EXPECT_EQ(datetimeText(0, 299), "1900-01-01 00:00:00.996667");
    EXPECT_EQ(datetimeText(2958463, 0), "9999-12-31 00:00:00.000000");
}

}  // namespace
