// bulk_test.cpp - the rows of a bulk copy: row images read as FreeTDS 1.3.17 builds them
// (tds5_send_record, tds5_bcp_add_fixed_columns, tds5_bcp_add_variable_columns), whole, split
// across packets at every byte and broken in every field; and the COPY text each value becomes.
#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "backend/copy_in.h"
#include "backend/types.h"
#include "protocol/bulk.h"

namespace {

using gw::Cell;
using gw::WireType;
using gw::tds::BulkColumn;
using gw::tds::BulkRead;
using gw::tds::BulkReader;
using gw::tds::BulkRow;
using gw::tds::readBulkRow;

using Value = std::optional<std::string>;  // a column's bytes as the client sends them; nullopt: NULL

constexpr size_t kMaxText = 100000;

std::string bytes(std::initializer_list<int> b) {
    return std::string(b.begin(), b.end());
}

std::string le(uint64_t v, size_t n) {
    std::string out;
    for (size_t i = 0; i < n; ++i) {
        out += static_cast<char>((v >> (8 * i)) & 0xFF);
    }
    return out;
}

std::string float8(double d) {
    uint64_t bits;
    std::memcpy(&bits, &d, sizeof bits);
    return le(bits, 8);
}

bool variable(const BulkColumn& c) {
    return c.nullable || c.type == WireType::VarChar || c.type == WireType::LongChar ||
           c.type == WireType::Text;
}

// A row on the wire as FreeTDS writes it for TDS 5.0: u16 length, the image (variable columns
// count, row number 0, fixed columns, row length, variable columns, adjustment and offset tables)
// and then, for every TEXT column, its header and data.
std::string wireRow(const std::vector<BulkColumn>& cols, const std::vector<Value>& values) {
    std::string rec(2, '\0');
    for (size_t i = 0; i < cols.size(); ++i) {
        if (!variable(cols[i])) {
            std::string v = values[i].value_or("");
            v.resize(cols[i].type == WireType::Float ? 8 : cols[i].length,
                     cols[i].type == WireType::Char ? ' ' : '\0');
            rec += v;
        }
    }
    const size_t sizeAt = rec.size();
    rec += std::string(2, '\0');
    std::vector<size_t> offsets{rec.size()};
    std::vector<size_t> textPos(cols.size(), 0);
    for (size_t i = 0; i < cols.size(); ++i) {
        if (!variable(cols[i])) {
            continue;
        }
        if (values[i]) {
            if (cols[i].type == WireType::Text) {
                textPos[i] = rec.size();
                rec += std::string(16, '\0');
            } else {
                rec += *values[i];
            }
        }
        offsets.push_back(rec.size());
    }
    size_t n = offsets.size() - 1;
    while (n && offsets[n] == offsets[n - 1]) {
        --n;
    }
    if (n == 0) {
        rec.resize(sizeAt);
    } else {
        rec += static_cast<char>(n + 1);
        for (size_t top = offsets[n] / 256; top > 0; --top) {
            size_t count = 1;
            for (size_t i = 0; i <= n; ++i) {
                count += offsets[i] / 256 < top ? 1 : 0;
            }
            rec += static_cast<char>(count);
        }
        for (size_t i = 0; i <= n; ++i) {
            rec += static_cast<char>(offsets[n - i] & 0xFF);
        }
        rec[sizeAt] = static_cast<char>(rec.size() & 0xFF);
        rec[sizeAt + 1] = static_cast<char>(rec.size() >> 8);
        rec[0] = static_cast<char>(n);
    }
    std::string out = le(rec.size(), 2) + rec;
    int blob = 0;
    for (size_t i = 0; i < cols.size(); ++i) {
        if (cols[i].type == WireType::Text) {
            std::string data = values[i].value_or("");
            out += le(0, 2) + bytes({0x23, 0xFF - blob++}) + le(textPos[i], 2) + le(data.size(), 4) + data;
        }
    }
    return out;
}

struct Expected {
    bool null = true;
    int64_t integer = 0;
    double real = 0;
    std::string text;
};

const Expected kNull{};
Expected I(int64_t v) {
    return Expected{false, v, 0, {}};
}
Expected R(double v) {
    return Expected{false, 0, v, {}};
}
Expected T(std::string v) {
    return Expected{false, 0, 0, std::move(v)};
}

void expectRow(const BulkRow& row, const std::vector<Expected>& want) {
    ASSERT_EQ(row.cells.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) {
        SCOPED_TRACE("column " + std::to_string(i + 1));
        const Cell& c = row.cells[i];
        EXPECT_EQ(c.null, want[i].null);
        if (!want[i].null) {
            EXPECT_EQ(c.integer, want[i].integer);
            EXPECT_EQ(c.real, want[i].real);
            EXPECT_EQ(std::string(c.text), want[i].text);
        }
    }
}

BulkRead readOne(std::string_view wire, const std::vector<BulkColumn>& cols, BulkRow& row, size_t& used,
                 std::string& reason, size_t maxText = kMaxText) {
    return readBulkRow(wire, cols, maxText, row, used, reason);
}

const BulkColumn kInt4{WireType::Int, 4, true};
const BulkColumn kVar40{WireType::VarChar, 40, true};
const BulkColumn kLong400{WireType::LongChar, 400, true};
const BulkColumn kFloat{WireType::Float, 8, true};
const BulkColumn kText{WireType::Text, 32700, true};

// The encoder above, checked against images worked out by hand from FreeTDS's algorithm.
TEST(BulkImage, TheTestEncoderWritesFreetdsImages) {
    // INT 7, VARCHAR 'ab': offsets 4, 8, 10; count 3.
    EXPECT_EQ(wireRow({kInt4, kVar40}, {le(7, 4), "ab"}),
              bytes({14, 0, 2, 0, 14, 0, 7, 0, 0, 0, 'a', 'b', 3, 10, 8, 4}));
    // 300 bytes then an INT: offsets 4, 304, 308; one adjustment byte, 2 (offset 1 is the first
    // past 255).
    std::string big = wireRow({kLong400, kInt4}, {std::string(300, 'x'), le(5, 4)});
    EXPECT_EQ(big.size(), 2u + 313u);
    EXPECT_EQ(big.substr(2 + 308), bytes({3, 2, 308 & 0xFF, 304 & 0xFF, 4}));
    // Three 200-byte values: offsets 4, 204, 404, 604; for 512 the first is offset 3, for 256 offset 2.
    std::string v200(200, 'v');
    std::string two = wireRow({kVar40, kVar40, kVar40}, {v200, v200, v200});
    EXPECT_EQ(two.substr(2 + 604), bytes({4, 4, 3, 604 & 0xFF, 404 & 0xFF, 204, 4}));
}

TEST(BulkImage, ReadsEveryKindOfColumn) {
    const BulkColumn int1{WireType::Int, 1, true};
    const BulkColumn int2{WireType::Int, 2, true};
    const BulkColumn int8{WireType::Int, 8, true};
    struct Case {
        const char* name;
        std::vector<BulkColumn> cols;
        std::vector<Value> values;
        std::vector<Expected> want;
    };
    const std::vector<Case> cases = {
        {"int and varchar", {kInt4, kVar40}, {le(7, 4), "ab"}, {I(7), T("ab")}},
        {"negative integers of every size",
         {int1, int2, kInt4, int8},
         {bytes({200}), le(0xFFFE, 2), le(0xFFFFFFFF, 4), le(0x8000000000000000ULL, 8)},
         {I(200), I(-2), I(-1), I(INT64_MIN)}},
        {"float", {kFloat}, {float8(-0.25)}, {R(-0.25)}},
        {"a NULL between values",
         {kInt4, kVar40, kInt4},
         {le(1, 4), std::nullopt, le(3, 4)},
         {I(1), kNull, I(3)}},
        {"trailing NULLs left out",
         {kInt4, kVar40, kFloat, kVar40},
         {le(9, 4), std::nullopt, std::nullopt, std::nullopt},
         {I(9), kNull, kNull, kNull}},
        {"every column NULL", {kInt4, kVar40}, {std::nullopt, std::nullopt}, {kNull, kNull}},
        {"a quote and a tab kept", {kVar40}, {"it's\ta"}, {T("it's\ta")}},
        {"a value past 255 bytes",
         {kLong400, kInt4},
         {std::string(300, 'x'), le(5, 4)},
         {T(std::string(300, 'x')), I(5)}},
        {"offsets past 512",
         {kVar40, kLong400, kLong400, kInt4},
         {"a", std::string(255, 'b'), std::string(300, 'c'), le(11, 4)},
         {T("a"), T(std::string(255, 'b')), T(std::string(300, 'c')), I(11)}},
        {"text columns: a value, NULL, empty, a long one",
         {kInt4, kText, kText, kText, kText},
         {le(1, 4), "long text", std::nullopt, "", std::string(5000, 't')},
         {I(1), T("long text"), kNull, T(""), T(std::string(5000, 't'))}},
        {"fixed columns before the variable ones",
         {BulkColumn{WireType::Int, 4, false}, kVar40, BulkColumn{WireType::Char, 5, false}},
         {le(42, 4), "v", "ab"},
         {I(42), T("v"), T("ab   ")}},
        {"fixed columns only",
         {BulkColumn{WireType::Int, 2, false}, BulkColumn{WireType::Float, 8, false}},
         {le(3, 2), float8(1.5)},
         {I(3), R(1.5)}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string wire = wireRow(c.cols, c.values);
        BulkRow row;
        size_t used = 0;
        std::string reason;
        ASSERT_EQ(readOne(wire, c.cols, row, used, reason), BulkRead::Row) << reason;
        EXPECT_EQ(used, wire.size());
        expectRow(row, c.want);
    }
}

// A row cut anywhere is incomplete, never malformed and never a row; the reader, fed the rows one
// byte at a time, gives each row once, in order.
TEST(BulkImage, RowsSplitAtEveryByte) {
    const std::vector<BulkColumn> cols = {kInt4, kLong400, kText, kVar40};
    const std::vector<std::vector<Value>> rows = {
        {le(1, 4), std::string(290, 'a'), "text one", "x"},
        {le(2, 4), std::nullopt, std::nullopt, std::nullopt},
        {std::nullopt, "b", std::string(700, 'T'), std::nullopt},
    };
    std::string stream;
    for (const auto& r : rows) {
        stream += wireRow(cols, r);
    }
    const std::string first = wireRow(cols, rows[0]);
    for (size_t cut = 0; cut < first.size(); ++cut) {
        BulkRow row;
        size_t used = 0;
        std::string reason;
        ASSERT_EQ(readOne(std::string_view(first).substr(0, cut), cols, row, used, reason),
                  BulkRead::Incomplete)
            << "cut at " << cut << ": " << reason;
        EXPECT_GT(used, cut) << "cut at " << cut;
        EXPECT_LE(used, first.size()) << "cut at " << cut;
    }
    for (size_t step : {size_t{1}, size_t{7}, size_t{512}}) {
        SCOPED_TRACE("packets of " + std::to_string(step));
        BulkReader reader(cols, kMaxText);
        std::vector<int64_t> ids;
        std::vector<std::string> texts;
        for (size_t at = 0; at < stream.size(); at += step) {
            reader.add(std::string_view(stream).substr(at, step));
            BulkRow row;
            BulkRead r;
            while ((r = reader.next(row)) == BulkRead::Row) {
                ids.push_back(row.cells[0].null ? -1 : row.cells[0].integer);
                texts.push_back(row.cells[2].null ? "<null>" : std::string(row.cells[2].text));
            }
            ASSERT_EQ(r, BulkRead::Incomplete) << reader.reason();
        }
        EXPECT_FALSE(reader.pending());
        EXPECT_EQ(ids, (std::vector<int64_t>{1, 2, -1}));
        EXPECT_EQ(texts, (std::vector<std::string>{"text one", "<null>", std::string(700, 'T')}));
    }
    BulkReader truncated(cols, kMaxText);
    truncated.add(std::string_view(stream).substr(0, first.size() + 3));
    BulkRow row;
    EXPECT_EQ(truncated.next(row), BulkRead::Row);
    EXPECT_EQ(truncated.next(row), BulkRead::Incomplete);
    EXPECT_TRUE(truncated.pending());  // at the end of the message: a truncated row
}

// Every field of a row broken in turn: the row is refused with a reason, never read.
TEST(BulkImage, MalformedRowsAreRefused) {
    const std::vector<BulkColumn> cols = {kInt4, kVar40, kText};
    const std::string good = wireRow(cols, {le(7, 4), "abc", "tx"});
    // Layout: [0,1] image length 21; image at 2: [2] count 2 (the text's 16-byte pointer is the
    // third variable column: count 3), ...
    const size_t image = 2;
    const size_t imageSize = static_cast<uint8_t>(good[0]) | (static_cast<uint8_t>(good[1]) << 8);
    const size_t tail = image + imageSize;  // the text header
    auto with = [&](size_t at, std::string b) {
        std::string w = good;
        w.replace(at, b.size(), b);
        return w;
    };
    struct Case {
        const char* name;
        std::string wire;
        std::vector<BulkColumn> cols;
        size_t maxText = kMaxText;
    };
    const std::vector<Case> cases = {
        {"an image shorter than its header", bytes({1, 0, 0}), cols},
        {"more variable columns than the table has", with(image, bytes({9})), cols},
        {"a row length that is not the image's", with(image + 2, le(imageSize - 1, 2)), cols},
        {"an offset count that is not the columns'", with(tail - 4 - 1, bytes({9})), cols},
        {"offsets going backwards", with(tail - 2, bytes({3})), cols},
        {"offsets not starting after the row length", with(tail - 1, bytes({5})), cols},
        {"an integer of 3 bytes", wireRow({kInt4}, {std::string("abc")}), {kInt4}},
        {"a float of 5 bytes", wireRow({kFloat}, {std::string("abcde")}), {kFloat}},
        {"a text pointer of 3 bytes", wireRow({kVar40}, {std::string("abc")}), {kText}},
        {"text data of another type", with(tail + 2, bytes({0x27})), cols},
        {"text data out of place", with(tail + 3, bytes({0xFE})), cols},
        {"text data for another pointer", with(tail + 4, le(1, 2)), cols},
        {"a text longer than allowed", good, cols, 1},
        {"a fixed column cut short", bytes({4, 0, 0, 0, 1, 2}), {BulkColumn{WireType::Int, 4, false}}},
        {"bytes after the fixed columns of a row without variable ones",
         bytes({5, 0, 0, 0, 1, 0, 9}),
         {BulkColumn{WireType::Int, 2, false}, kVar40}},
        {"an image too short for its offset table", bytes({5, 0, 1, 0, 5, 0, 2}), {kVar40}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BulkRow row;
        size_t used = 0;
        std::string reason;
        EXPECT_EQ(readOne(c.wire, c.cols, row, used, reason, c.maxText), BulkRead::Malformed);
        EXPECT_FALSE(reason.empty());
    }
    BulkRow row;
    size_t used = 0;
    std::string reason;
    EXPECT_EQ(readOne(good, cols, row, used, reason), BulkRead::Row) << reason;
}

// --- the COPY text of each value ---------------------------------------------------------

constexpr uint32_t kInt4Oid = 23;
constexpr uint32_t kFloat8Oid = 701;
constexpr uint32_t kVarcharOid = 1043;
constexpr uint32_t kTextOid = 25;
constexpr uint32_t kNumericOid = 1700;
constexpr uint32_t kDateOid = 1082;
constexpr uint32_t kTimeOid = 1083;
constexpr uint32_t kTimestampOid = 1114;

std::string copyText(uint32_t oid, int typmod, const Cell& cell) {
    std::string out;
    gw::backend::appendCopyValue(gw::backend::planColumn(oid, typmod, "C"), cell, out);
    return out;
}

Cell text(std::string_view t) {
    return Cell{false, 0, 0, t};
}

TEST(BulkCopyText, ValuesBecomePostgresInput) {
    struct Case {
        const char* name;
        uint32_t oid;
        int typmod;
        Cell cell;
        std::string want;
    };
    const std::vector<Case> cases = {
        {"NULL", kVarcharOid, 44, Cell{}, "\\N"},
        {"an integer", kInt4Oid, -1, Cell{false, -42, 0, {}}, "-42"},
        {"a float, exactly", kFloat8Oid, -1, Cell{false, 0, 0.1, {}}, "0.1"},
        {"a float's exponent", kFloat8Oid, -1, Cell{false, 0, -1.5e-300, {}}, "-1.5e-300"},
        {"one blank is the empty string", kVarcharOid, 44, text(" "), ""},
        {"two blanks stay", kVarcharOid, 44, text("  "), "  "},
        {"one blank of a LONG VARCHAR", kTextOid, -1, text(" "), ""},
        {"escapes", kVarcharOid, 44, text("a\\b\tc\nd\re"), "a\\\\b\\tc\\nd\\re"},
        {"a quote passes", kVarcharOid, 44, text("it's"), "it's"},
        {"a decimal passes", kNumericOid, (9 << 16 | 2) + 4, text("-0.01"), "-0.01"},
        {"a date passes", kDateOid, -1, text("2024-02-29"), "2024-02-29"},
        {"DB2's time", kTimeOid, -1, text("13.14.15"), "13:14:15"},
        {"an ISO time passes", kTimeOid, -1, text("13:14:15"), "13:14:15"},
        {"DB2's timestamp", kTimestampOid, -1, text("2024-02-29-13.14.15.123456"),
         "2024-02-29 13:14:15.123456"},
        {"DB2's timestamp without fraction", kTimestampOid, -1, text("2000-01-01-00.00.00"),
         "2000-01-01 00:00:00"},
        {"a timestamp with too many digits is left to PostgreSQL", kTimestampOid, -1,
         text("2024-02-29-13.14.15.1234567"), "2024-02-29-13.14.15.1234567"},
        {"a broken time is left to PostgreSQL", kTimeOid, -1, text("13.1x.15"), "13.1x.15"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(copyText(c.oid, c.typmod, c.cell), c.want);
    }
}

}  // namespace
