// output.cpp - the aligned and CSV result printers.
//
// Serves every result set the shell shows. The aligned printer owns the rows of the set being
// printed until its end (column widths depend on every value); the CSV printer owns nothing. A
// table line never contains a line break: values are escaped, so one row is always one line.
#include "output.h"

#include <fmt/format.h>

#include <algorithm>
#include <cwchar>
#include <ostream>

namespace kwsh {

namespace {

constexpr const char* kNullText = "NULL";

std::string pad(const std::string& text, size_t width, bool right) {
    const size_t used = displayWidth(text);
    const std::string fill(width > used ? width - used : 0, ' ');
    return right ? fill + text : text + fill;
}

class AlignedPrinter : public ResultPrinter {
  public:
    AlignedPrinter(std::ostream& out, bool rowCounts) : out_(out), rowCounts_(rowCounts) {}

    void begin(const std::vector<OutputColumn>& columns) override {
        columns_ = columns;
        rows_.clear();
    }

    void row(const OutputRow& values) override {
        std::vector<std::string> cells;
        for (const auto& value : values) {
            cells.push_back(value ? escapeForTable(*value) : kNullText);
        }
        rows_.push_back(std::move(cells));
    }

    void end(bool complete) override {
        const std::vector<size_t> widths = columnWidths();
        writeLine(headings(), widths, false);
        std::string rule;
        for (size_t c = 0; c < widths.size(); ++c) {
            rule += (c > 0 ? "+" : "") + std::string(widths[c] + 2, '-');
        }
        out_ << rule << '\n';
        for (const auto& cells : rows_) {
            writeLine(cells, widths, true);
        }
        if (rowCounts_) {
            out_ << rowCountLine(static_cast<int64_t>(rows_.size()), false)
                 << (complete ? "" : " (incomplete)") << '\n';
        } else if (!complete) {
            out_ << "(incomplete)\n";
        }
        out_ << '\n';
        rows_.clear();
    }

  private:
    std::vector<std::string> headings() const {
        std::vector<std::string> names;
        for (const OutputColumn& column : columns_) {
            names.push_back(escapeForTable(column.name));
        }
        return names;
    }

    std::vector<size_t> columnWidths() const {
        std::vector<size_t> widths;
        for (const std::string& name : headings()) {
            widths.push_back(displayWidth(name));
        }
        for (const auto& cells : rows_) {
            for (size_t c = 0; c < cells.size() && c < widths.size(); ++c) {
                widths[c] = std::max(widths[c], displayWidth(cells[c]));
            }
        }
        return widths;
    }

    // Headings are centred over their columns as psql does; values follow their column's side.
    void writeLine(const std::vector<std::string>& cells, const std::vector<size_t>& widths, bool values) {
        std::string line;
        for (size_t c = 0; c < widths.size(); ++c) {
            const std::string& cell = c < cells.size() ? cells[c] : std::string();
            std::string text;
            if (values) {
                text = pad(cell, widths[c], columns_[c].alignRight && cell != kNullText);
            } else {
                const size_t spare = widths[c] - std::min(widths[c], displayWidth(cell));
                text = std::string(spare / 2, ' ') + cell + std::string(spare - spare / 2, ' ');
            }
            line += (c > 0 ? "| " : " ") + text + ' ';
        }
        // Trailing blanks of the last column carry nothing.
        line.erase(line.find_last_not_of(' ') + 1);
        out_ << line << '\n';
    }

    std::ostream& out_;
    bool rowCounts_;
    std::vector<OutputColumn> columns_;
    std::vector<std::vector<std::string>> rows_;
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
    if (format == Format::Csv) {
        return std::make_unique<CsvPrinter>(out);
    }
    return std::make_unique<AlignedPrinter>(out, rowCounts);
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
