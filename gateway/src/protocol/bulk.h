// bulk.h - the rows of a bulk copy: Sybase's row images, as a TDS 5.0 client sends them in
// packets of type 7 after `insert bulk`.
//
// Each row is a u16 length and a row image: the number of variable columns sent, a row number,
// the fixed columns, the row length, the variable columns, then the adjustment and offset tables
// that say where each variable column starts; the data of its TEXT columns follows the image.
// The reader turns the stream into cells of the table's wire types; a row may span packets, so it
// keeps the bytes of an unfinished row and nothing more. Invariant: every length and offset is
// checked against the bytes before they are used, and no byte past the input is ever read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"

namespace gw::tds {

// One column of the table being loaded, as its row format announced it.
struct BulkColumn {
    WireType type = WireType::VarChar;
    uint32_t length = 0;   // the declared length: the bytes a fixed column takes
    bool nullable = true;  // a nullable column lies in the variable part of the image
};

// One row: a cell per column, NULL for a column the image leaves out. The texts are views of the
// reader's bytes, valid until its next add() or next().
struct BulkRow {
    uint8_t rowNumber = 0;
    std::vector<Cell> cells;
};

enum class BulkRead {
    Row,         // a row was read
    Incomplete,  // the rest of the row is in a later packet
    Malformed,   // the bytes are no row image; the reason says why
};

// Reads the row at the front of `input` into `row`, setting `used` to the bytes it took (for an
// incomplete row: the bytes it needs at least, as far as its fields tell). A TEXT value longer
// than `maxTextBytes` is malformed: the reader would have to hold all of it.
BulkRead readBulkRow(std::string_view input, std::span<const BulkColumn> columns, size_t maxTextBytes,
                     BulkRow& row, size_t& used, std::string& reason);

// The rows of one bulk copy message, fed packet by packet.
class BulkReader {
  public:
    BulkReader(std::vector<BulkColumn> columns, size_t maxTextBytes);

    // Appends the payload of the next packet (dropping the bytes of rows already read).
    void add(std::string_view payload);
    // The next row, or why there is none yet.
    BulkRead next(BulkRow& row);
    // True while bytes of an unfinished row wait: at the end of the message, a truncated row.
    bool pending() const { return pos_ < buffer_.size(); }
    const std::string& reason() const { return reason_; }

  private:
    std::vector<BulkColumn> columns_;
    size_t maxText_;
    std::string buffer_;
    size_t pos_ = 0;   // the start of the first row not yet read
    size_t need_ = 0;  // bytes the unfinished row needs at least, from what it said so far
    std::string reason_;
};

}  // namespace gw::tds
