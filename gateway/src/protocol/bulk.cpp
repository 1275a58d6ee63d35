// bulk.cpp - reads the row images of a bulk copy.
//
// Serves the session's bulk load, which feeds it the packets of one bulk copy message. Owns the
// bytes of the row being read. A row on the wire: u16 image length, the image, then for each TEXT
// column of the table (NULL or not, in column order) u16 0, the type, 0xFF minus its place among
// the TEXT columns, u16 the offset of its text pointer in the image, u32 the length, the data.
// Invariant: a row is handed out only when its image and every text after it were complete and
// consistent with each other.
#include "bulk.h"

#include <cstring>

#include <fmt/format.h>

#include "bytes.h"

namespace gw::tds {
namespace {

constexpr size_t kImageHeader = 2;       // the number of variable columns, the row number
constexpr size_t kRowLengthField = 2;    // the row length before the variable columns
constexpr size_t kTextPointerSize = 16;  // what a TEXT column takes in the image
constexpr uint8_t kTextType = 0x23;
constexpr uint8_t kImageType = 0x22;
constexpr size_t kTextHeaderSize = 10;  // before a text's data: u16, type, place, u16 offset, u32 length

// Whether a column lies in the variable part of the image: nullable, or of a varying-length type.
bool isVariable(const BulkColumn& c) {
    return c.nullable || c.type == WireType::VarChar || c.type == WireType::LongChar ||
           c.type == WireType::Text;
}

// The bytes a fixed column takes in the image.
size_t fixedSize(const BulkColumn& c) {
    return c.type == WireType::Float ? 8 : c.length;
}

// A column's value from its bytes in the image; false when the bytes cannot be one.
bool decodeCell(const BulkColumn& c, std::string_view bytes, Cell& cell, std::string& reason) {
    cell = Cell{};
    cell.null = false;
    ByteReader r(bytes);
    switch (c.type) {
        case WireType::Int:
            switch (bytes.size()) {
                case 1:
                    cell.integer = r.u8();  // TINYINT is unsigned
                    return true;
                case 2:
                    cell.integer = static_cast<int16_t>(r.u16());
                    return true;
                case 4:
                    cell.integer = r.i32();
                    return true;
                case 8: {
                    const uint64_t low = r.u32();
                    const uint64_t high = r.u32();
                    cell.integer = static_cast<int64_t>(low | (high << 32));
                    return true;
                }
            }
            reason = fmt::format("an integer of {} bytes", bytes.size());
            return false;
        case WireType::Float:
            if (bytes.size() == 4) {
                const uint32_t bits = r.u32();
                float f;
                std::memcpy(&f, &bits, sizeof f);
                cell.real = f;
                return true;
            }
            if (bytes.size() == 8) {
                const uint64_t low = r.u32();
                const uint64_t bits = low | (static_cast<uint64_t>(r.u32()) << 32);
                std::memcpy(&cell.real, &bits, sizeof cell.real);
                return true;
            }
            reason = fmt::format("a float of {} bytes", bytes.size());
            return false;
        case WireType::Char:
        case WireType::VarChar:
        case WireType::LongChar:
        case WireType::Text:
            cell.text = bytes;
            return true;
    }
    return false;
}

// The start of each of `count` variable columns, and the end of the last, from the tables at the
// end of the image. The last `count + 1` bytes are the low bytes of the offsets, last column first;
// before them stand the count byte (count + 1) and, when the data reaches past 255, one
// adjustment byte per 256 the largest offset holds, highest first: for k 256s, one more than the
// place of the first offset that holds at least k of them.
bool readOffsets(std::string_view image, size_t dataStart, size_t count, std::vector<size_t>& offsets,
                 std::string& reason) {
    const size_t size = image.size();
    if (size < dataStart + count + 2) {
        reason = "the row image is too short for its offset table";
        return false;
    }
    // The data ends where the tables begin, and the adjustment bytes count the 256s of that end.
    const size_t tablesAt = size - (count + 2);
    size_t adjustments = 0;
    while ((tablesAt - adjustments) / 256 > adjustments) {
        ++adjustments;
    }
    const size_t dataEnd = tablesAt - adjustments;
    if (dataEnd / 256 != adjustments || dataEnd < dataStart) {
        reason = "the row image's offset table has no consistent length";
        return false;
    }
    if (static_cast<uint8_t>(image[dataEnd]) != count + 1) {
        reason = fmt::format("the row image's offset table counts {} offsets, not {}",
                             static_cast<uint8_t>(image[dataEnd]), count + 1);
        return false;
    }
    offsets.assign(count + 1, 0);
    for (size_t i = 0; i <= count; ++i) {
        size_t high = 0;
        for (size_t k = 1; k <= adjustments; ++k) {
            const size_t first = static_cast<uint8_t>(image[dataEnd + 1 + (adjustments - k)]);
            if (first >= 1 && i >= first - 1) {
                ++high;
            }
        }
        offsets[i] = high * 256 + static_cast<uint8_t>(image[size - 1 - i]);
        if (i > 0 && offsets[i] < offsets[i - 1]) {
            reason = "the row image's offsets go backwards";
            return false;
        }
    }
    if (offsets[0] != dataStart || offsets[count] != dataEnd) {
        reason = "the row image's offsets do not span its variable columns";
        return false;
    }
    return true;
}

// A TEXT column in the image: NULL (nothing there) or a text pointer, whose data follows the row.
struct TextSlot {
    size_t column = 0;
    bool present = false;
    size_t offset = 0;
};

// The fixed columns, in column order, from `pos`; `pos` is moved past them.
bool readFixed(std::string_view image, std::span<const BulkColumn> columns, BulkRow& row, size_t& pos,
               size_t& variables, std::string& reason) {
    variables = 0;
    for (size_t i = 0; i < columns.size(); ++i) {
        if (isVariable(columns[i])) {
            ++variables;
            continue;
        }
        const size_t n = fixedSize(columns[i]);
        if (image.size() - pos < n) {
            reason = "the row image ends inside its fixed columns";
            return false;
        }
        if (!decodeCell(columns[i], image.substr(pos, n), row.cells[i], reason)) {
            return false;
        }
        pos += n;
    }
    return true;
}

// Reads an image into cells; TEXT columns get their slots in `texts`, their data comes later.
bool readImage(std::string_view image, std::span<const BulkColumn> columns, BulkRow& row,
               std::vector<TextSlot>& texts, std::string& reason) {
    if (image.size() < kImageHeader) {
        reason = "a row image shorter than its header";
        return false;
    }
    const size_t sent = static_cast<uint8_t>(image[0]);
    row.rowNumber = static_cast<uint8_t>(image[1]);
    row.cells.assign(columns.size(), Cell{});
    texts.clear();
    size_t pos = kImageHeader;
    size_t variables = 0;
    if (!readFixed(image, columns, row, pos, variables, reason)) {
        return false;
    }
    if (sent > variables) {
        reason = fmt::format("the row image sends {} variable columns of {}", sent, variables);
        return false;
    }
    std::vector<size_t> offsets;
    if (sent > 0) {
        ByteReader r(image.substr(pos));
        const size_t rowLength = r.u16();
        if (!r.ok() || rowLength != image.size()) {
            reason = fmt::format("the row image says it has {} bytes, not {}", rowLength, image.size());
            return false;
        }
        if (!readOffsets(image, pos + kRowLengthField, sent, offsets, reason)) {
            return false;
        }
    } else if (pos != image.size()) {
        reason = "bytes follow the fixed columns of a row image without variable columns";
        return false;
    }
    // Variable columns after the last one sent are NULL: a row leaves its trailing NULLs out.
    size_t k = 0;
    for (size_t i = 0; i < columns.size(); ++i) {
        if (!isVariable(columns[i])) {
            continue;
        }
        std::string_view bytes;
        if (k < sent) {
            bytes = image.substr(offsets[k], offsets[k + 1] - offsets[k]);
        }
        if (columns[i].type == WireType::Text) {
            if (!bytes.empty() && bytes.size() != kTextPointerSize) {
                reason = fmt::format("a text pointer of {} bytes", bytes.size());
                return false;
            }
            texts.push_back(TextSlot{i, !bytes.empty(), k < sent ? offsets[k] : 0});
        } else if (!bytes.empty() && !decodeCell(columns[i], bytes, row.cells[i], reason)) {
            return false;
        }
        ++k;
    }
    return true;
}

// Reads the text data after the image, from `pos`: one entry per TEXT column, in order.
BulkRead readTexts(std::string_view input, size_t& pos, std::span<const TextSlot> texts, size_t maxTextBytes,
                   BulkRow& row, size_t& need, std::string& reason) {
    for (size_t t = 0; t < texts.size(); ++t) {
        if (input.size() - pos < kTextHeaderSize) {
            need = pos + kTextHeaderSize;
            return BulkRead::Incomplete;
        }
        ByteReader r(input.substr(pos, kTextHeaderSize));
        r.u16();  // always 0
        const uint8_t type = r.u8();
        const uint8_t place = r.u8();
        const uint16_t offset = r.u16();
        const uint32_t length = r.u32();
        if (type != kTextType && type != kImageType) {
            reason = fmt::format("text data of type {:#04x}", type);
            return BulkRead::Malformed;
        }
        if (place != 0xFF - t) {
            reason = fmt::format("text data marked {:#04x} where {:#04x} was due", place, 0xFF - t);
            return BulkRead::Malformed;
        }
        if (texts[t].present && offset != texts[t].offset) {
            reason = fmt::format("text data for offset {} where the row's text pointer is at {}", offset,
                                 texts[t].offset);
            return BulkRead::Malformed;
        }
        if (length > maxTextBytes) {
            reason = fmt::format("a text value of {} bytes, more than the {} a value may have", length,
                                 maxTextBytes);
            return BulkRead::Malformed;
        }
        if (input.size() - pos - kTextHeaderSize < length) {
            need = pos + kTextHeaderSize + length;
            return BulkRead::Incomplete;
        }
        if (texts[t].present) {
            Cell& cell = row.cells[texts[t].column];
            cell.null = false;
            cell.text = input.substr(pos + kTextHeaderSize, length);
        }
        pos += kTextHeaderSize + length;
    }
    return BulkRead::Row;
}

}  // namespace

BulkRead readBulkRow(std::string_view input, std::span<const BulkColumn> columns, size_t maxTextBytes,
                     BulkRow& row, size_t& used, std::string& reason) {
    ByteReader r(input);
    const size_t imageSize = r.u16();
    if (!r.ok() || input.size() - 2 < imageSize) {
        used = r.ok() ? 2 + imageSize : 2;
        return BulkRead::Incomplete;
    }
    std::vector<TextSlot> texts;
    if (!readImage(input.substr(2, imageSize), columns, row, texts, reason)) {
        used = 0;
        return BulkRead::Malformed;
    }
    size_t pos = 2 + imageSize;
    size_t need = 0;
    const BulkRead status = readTexts(input, pos, texts, maxTextBytes, row, need, reason);
    used = status == BulkRead::Incomplete ? need : status == BulkRead::Row ? pos : 0;
    return status;
}

BulkReader::BulkReader(std::vector<BulkColumn> columns, size_t maxTextBytes)
    : columns_(std::move(columns)), maxText_(maxTextBytes) {}

void BulkReader::add(std::string_view payload) {
    buffer_.erase(0, pos_);
    pos_ = 0;
    buffer_.append(payload);
}

BulkRead BulkReader::next(BulkRow& row) {
    const std::string_view rest = std::string_view(buffer_).substr(pos_);
    if (rest.empty() || rest.size() < need_) {
        return BulkRead::Incomplete;
    }
    size_t used = 0;
    const BulkRead status = readBulkRow(rest, columns_, maxText_, row, used, reason_);
    if (status == BulkRead::Row) {
        pos_ += used;
        need_ = 0;
    } else if (status == BulkRead::Incomplete) {
        need_ = used;
    }
    return status;
}

}  // namespace gw::tds
