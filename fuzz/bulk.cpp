// bulk.cpp - fuzzes the reader of a bulk copy's row images: a table's columns come from the first
// bytes of the input, the rest is the rows, read whole and again packet by packet.
//
// Invariants: every row has a cell per column, and its texts lie within the bytes of that row; a
// text is never longer than the limit; a row cut short is incomplete and asks for more than it
// has; reading packet by packet gives the same rows, and stops the same way, as reading the whole.
#include <string>
#include <vector>

#include "check.h"
#include "protocol/bulk.h"

namespace {

using gw::WireType;
using gw::tds::BulkColumn;
using gw::tds::BulkRead;
using gw::tds::BulkReader;
using gw::tds::BulkRow;

constexpr size_t kMaxText = 4096;
constexpr size_t kMaxColumns = 12;
constexpr WireType kTypes[] = {WireType::Int,     WireType::Float,    WireType::Char,
                               WireType::VarChar, WireType::LongChar, WireType::Text};
constexpr uint32_t kIntLengths[] = {1, 2, 4, 8};

// One column from two bytes: its type, whether it is nullable, its length.
BulkColumn columnOf(uint8_t kind, uint8_t length) {
    BulkColumn c;
    c.type = kTypes[kind % std::size(kTypes)];
    c.nullable = (kind & 0x80) == 0;
    c.length = c.type == WireType::Int     ? kIntLengths[length % 4]
               : c.type == WireType::Float ? 8
                                           : length + 1u;
    return c;
}

// What a row read says, to compare two readings.
std::string summary(const BulkRow& row) {
    std::string s;
    for (const gw::Cell& c : row.cells) {
        s += c.null ? "N"
                    : std::to_string(c.integer) + "/" + std::to_string(c.real) + "/" + std::string(c.text);
        s += '|';
    }
    return s;
}

// Reads `stream` whole with readBulkRow: the rows and how the reading ended.
std::vector<std::string> readWhole(std::string_view stream, const std::vector<BulkColumn>& cols,
                                   BulkRead& end) {
    std::vector<std::string> rows;
    for (;;) {
        BulkRow row;
        size_t used = 0;
        std::string reason;
        end = gw::tds::readBulkRow(stream, cols, kMaxText, row, used, reason);
        if (end == BulkRead::Malformed) {
            KW_FUZZ_CHECK(!reason.empty());
            return rows;
        }
        if (end == BulkRead::Incomplete) {
            KW_FUZZ_CHECK(used > stream.size());
            return rows;
        }
        KW_FUZZ_CHECK(used > 0 && used <= stream.size());
        KW_FUZZ_CHECK(row.cells.size() == cols.size());
        for (size_t i = 0; i < cols.size(); ++i) {
            const gw::Cell& c = row.cells[i];
            if (!c.null && !c.text.empty()) {
                KW_FUZZ_CHECK(c.text.data() >= stream.data() &&
                              c.text.data() + c.text.size() <= stream.data() + used);
                KW_FUZZ_CHECK(cols[i].type != WireType::Text || c.text.size() <= kMaxText);
            }
        }
        rows.push_back(summary(row));
        stream.remove_prefix(used);
        if (stream.empty()) {
            end = BulkRead::Incomplete;
            return rows;
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    kwfuzz::InputReader in(data, size);
    const size_t n = in.byte() % kMaxColumns + 1;
    std::vector<BulkColumn> cols;
    for (size_t i = 0; i < n; ++i) {
        const uint8_t kind = in.byte();
        cols.push_back(columnOf(kind, in.byte()));
    }
    const size_t packet = in.byte() + 1u;
    const std::string_view stream = in.rest();

    BulkRead wholeEnd = BulkRead::Incomplete;
    const std::vector<std::string> whole = readWhole(stream, cols, wholeEnd);

    BulkReader reader(cols, kMaxText);
    std::vector<std::string> pieces;
    BulkRead end = BulkRead::Incomplete;
    for (size_t at = 0; at < stream.size() && end != BulkRead::Malformed; at += packet) {
        reader.add(stream.substr(at, packet));
        BulkRow row;
        while ((end = reader.next(row)) == BulkRead::Row) {
            KW_FUZZ_CHECK(row.cells.size() == cols.size());
            pieces.push_back(summary(row));
        }
        if (end == BulkRead::Malformed) {
            KW_FUZZ_CHECK(!reader.reason().empty());
        }
    }
    KW_FUZZ_CHECK(pieces == whole);
    KW_FUZZ_CHECK(end == wholeEnd);
    return 0;
}
