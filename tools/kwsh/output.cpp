// output.cpp - the aligned (or expanded), unaligned and CSV result printers.
//
// Serves every result set the shell shows. The table printer owns the rows of the set being
// printed until its end (column widths, and whether an auto-expanded set fits the screen, depend
// on every value); the others own nothing. A table line never contains a line break: values are
// escaped, so one row is always one line.
#include "output.h"

#include <fmt/format.h>

#include <algorithm>
#include <cwchar>
#include <ostream>
#include <utility>

namespace kwsh {

namespace {

std::string pad(const std::string& text, size_t width, bool right) {
    const size_t used = displayWidth(text);
    const std::string fill(width > used ? width - used : 0, ' ');
    return right ? fill + text : text + fill;
}

// One value as a table shows it: escaped to one line, or the null text.
struct Cell {
    std::string text;
    bool null = false;
};

// The aligned table and the expanded blocks: both need every row of the set before the first line.
class TablePrinter : public ResultPrinter {
  public:
    TablePrinter(std::ostream& out, const PrintOptions& options) : out_(out), options_(options) {}

    void begin(const std::vector<OutputColumn>& columns) override {
        columns_ = columns;
        rows_.clear();
    }

    void row(const OutputRow& values) override {
        std::vector<Cell> cells;
        for (const auto& value : values) {
            cells.push_back(value ? Cell{escapeForTable(*value), false} : Cell{options_.nullText, true});
        }
        rows_.push_back(std::move(cells));
    }

    void end(bool complete) override {
        const std::vector<size_t> widths = columnWidths();
        if (expanded(widths)) {
            writeRecords();
            if (rows_.empty() && options_.rowCounts) {
                out_ << rowCountLine(0, false) << '\n';
            }
            if (!complete) {
                out_ << "(incomplete)\n";
            }
        } else {
            writeTable(widths, complete);
        }
        out_ << '\n';
        rows_.clear();
    }

  private:
    // Whether this set is shown as records: always, or (auto) when the table is wider than the screen.
    bool expanded(const std::vector<size_t>& widths) const {
        if (options_.expanded != Expanded::Auto) {
            return options_.expanded == Expanded::On;
        }
        size_t total = 0;
        for (const size_t width : widths) {
            total += width + 3;  // a blank each side and the bar
        }
        return options_.screenWidth > 0 && total > options_.screenWidth + 1;
    }

    void writeTable(const std::vector<size_t>& widths, bool complete) {
        writeLine(headings(), widths, false);
        std::string rule;
        for (size_t c = 0; c < widths.size(); ++c) {
            rule += (c > 0 ? "+" : "") + std::string(widths[c] + 2, '-');
        }
        out_ << rule << '\n';
        for (const auto& cells : rows_) {
            writeLine(cells, widths, true);
        }
        if (options_.rowCounts) {
            out_ << rowCountLine(static_cast<int64_t>(rows_.size()), false)
                 << (complete ? "" : " (incomplete)") << '\n';
        } else if (!complete) {
            out_ << "(incomplete)\n";
        }
    }

    // Each row as "-[ RECORD N ]---" over "name | value" lines, names padded to the widest.
    void writeRecords() {
        const std::vector<Cell> names = headings();
        size_t nameWidth = 0, valueWidth = 0;
        for (const Cell& name : names) {
            nameWidth = std::max(nameWidth, displayWidth(name.text));
        }
        for (const auto& cells : rows_) {
            for (const Cell& cell : cells) {
                valueWidth = std::max(valueWidth, displayWidth(cell.text));
            }
        }
        for (size_t r = 0; r < rows_.size(); ++r) {
            std::string header = fmt::format("-[ RECORD {} ]", r + 1);
            const size_t wanted = nameWidth + 3 + valueWidth;
            if (header.size() < wanted) {
                header += std::string(wanted - header.size(), '-');
            }
            out_ << header << '\n';
            for (size_t c = 0; c < names.size(); ++c) {
                const std::string value = c < rows_[r].size() ? rows_[r][c].text : std::string();
                std::string line = pad(names[c].text, nameWidth, false) + " | " + value;
                line.erase(line.find_last_not_of(' ') + 1);
                out_ << line << '\n';
            }
        }
    }

    std::vector<Cell> headings() const {
        std::vector<Cell> names;
        for (const OutputColumn& column : columns_) {
            names.push_back({escapeForTable(column.name), false});
        }
        return names;
    }

    std::vector<size_t> columnWidths() const {
        std::vector<size_t> widths;
        for (const Cell& name : headings()) {
            widths.push_back(displayWidth(name.text));
        }
        for (const auto& cells : rows_) {
            for (size_t c = 0; c < cells.size() && c < widths.size(); ++c) {
                widths[c] = std::max(widths[c], displayWidth(cells[c].text));
            }
        }
        return widths;
    }

    // Headings are centred over their columns as psql does; values follow their column's side, and
    // NULL stays on the left.
    void writeLine(const std::vector<Cell>& cells, const std::vector<size_t>& widths, bool values) {
        std::string line;
        for (size_t c = 0; c < widths.size(); ++c) {
            const Cell cell = c < cells.size() ? cells[c] : Cell{};
            std::string text;
            if (values) {
                text = pad(cell.text, widths[c], columns_[c].alignRight && !cell.null);
            } else {
                const size_t spare = widths[c] - std::min(widths[c], displayWidth(cell.text));
                text = std::string(spare / 2, ' ') + cell.text + std::string(spare - spare / 2, ' ');
            }
            line += (c > 0 ? "| " : " ") + text + ' ';
        }
        // Trailing blanks of the last column carry nothing.
        line.erase(line.find_last_not_of(' ') + 1);
        out_ << line << '\n';
    }

    std::ostream& out_;
    PrintOptions options_;
    std::vector<OutputColumn> columns_;
    std::vector<std::vector<Cell>> rows_;
};

// Fields apart by a bar, no padding: the headings, the rows, the row count. Values are escaped as
// in a table, so one row stays one line.
class UnalignedPrinter : public ResultPrinter {
  public:
    UnalignedPrinter(std::ostream& out, const PrintOptions& options) : out_(out), options_(options) {}

    void begin(const std::vector<OutputColumn>& columns) override {
        std::string line;
        for (size_t c = 0; c < columns.size(); ++c) {
            line += (c > 0 ? "|" : "") + escapeForTable(columns[c].name);
        }
        out_ << line << '\n';
        rows_ = 0;
    }

    void row(const OutputRow& values) override {
        std::string line;
        for (size_t c = 0; c < values.size(); ++c) {
            line += (c > 0 ? "|" : "") + (values[c] ? escapeForTable(*values[c]) : options_.nullText);
        }
        out_ << line << '\n';
        ++rows_;
    }

    void end(bool complete) override {
        if (options_.rowCounts) {
            out_ << rowCountLine(rows_, false) << (complete ? "" : " (incomplete)") << '\n';
        } else if (!complete) {
            out_ << "(incomplete)\n";
        }
        out_ << '\n';
    }

  private:
    std::ostream& out_;
    PrintOptions options_;
    int64_t rows_ = 0;
};

class CsvPrinter : public ResultPrinter {
  public:
    explicit CsvPrinter(std::ostream& out) : out_(out) {}

    void begin(const std::vector<OutputColumn>& columns) override {
        if (sets_++ > 0) {
            out_ << '\n';  // result sets of one statement are apart by an empty line
        }
        std::string line;
        for (size_t c = 0; c < columns.size(); ++c) {
            line += (c > 0 ? "," : "") + csvField(columns[c].name);
        }
        out_ << line << '\n';
    }

    void row(const OutputRow& values) override {
        std::string line;
        for (size_t c = 0; c < values.size(); ++c) {
            line += (c > 0 ? "," : "") + csvField(values[c]);
        }
        out_ << line << '\n';
    }

    void end(bool) override { out_.flush(); }

  private:
    std::ostream& out_;
    int sets_ = 0;
};

}  // namespace

std::unique_ptr<ResultPrinter> makePrinter(Format format, std::ostream& out, bool rowCounts) {
    PrintOptions options;
    options.format = format;
    options.rowCounts = rowCounts;
    return makePrinter(options, out);
}

std::unique_ptr<ResultPrinter> makePrinter(const PrintOptions& options, std::ostream& out) {
    switch (options.format) {
        case Format::Csv:
            return std::make_unique<CsvPrinter>(out);
        case Format::Unaligned:
            return std::make_unique<UnalignedPrinter>(out, options);
        case Format::Aligned:
            break;
    }
    return std::make_unique<TablePrinter>(out, options);
}

namespace {

const std::pair<Format, const char*> kFormatNames[] = {
    {Format::Aligned, "aligned"}, {Format::Csv, "csv"}, {Format::Unaligned, "unaligned"}};

}  // namespace

const char* formatName(Format format) {
    for (const auto& [f, name] : kFormatNames) {
        if (f == format) {
            return name;
        }
    }
    return "aligned";
}

std::optional<Format> formatNamed(const std::string& name) {
    for (const auto& [f, known] : kFormatNames) {
        if (name == known) {
            return f;
        }
    }
    return std::nullopt;
}

size_t displayWidth(const std::string& text) {
    size_t width = 0;
    std::mbstate_t state{};
    for (size_t at = 0; at < text.size();) {
        wchar_t c = 0;
        const size_t used = std::mbrtowc(&c, text.data() + at, text.size() - at, &state);
        if (used == static_cast<size_t>(-1) || used == static_cast<size_t>(-2)) {
            ++width;  // a terminal shows something for a stray byte, often a replacement mark
            ++at;
            state = std::mbstate_t{};
            continue;
        }
        // A character the locale cannot print (unassigned) is taken as one column, like a stray byte.
        const int columns = wcwidth(c);
        width += columns < 0 ? 1 : static_cast<size_t>(columns);
        at += used == 0 ? 1 : used;
    }
    return width;
}

std::string escapeForTable(const std::string& text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
                    out += fmt::format("\\x{:02x}", static_cast<unsigned char>(c));
                } else {
                    out.push_back(c);
                }
        }
    }
    return out;
}

std::string csvField(const std::optional<std::string>& value) {
    if (!value) {
        return "";
    }
    if (!value->empty() && value->find_first_of(",\"\r\n") == std::string::npos) {
        return *value;
    }
    std::string quoted = "\"";
    for (const char c : *value) {
        quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    }
    return quoted + '"';
}

std::string rowCountLine(int64_t count, bool affected) {
    return fmt::format("({} row{}{})", count, count == 1 ? "" : "s", affected ? " affected" : "");
}

}  // namespace kwsh
