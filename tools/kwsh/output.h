// output.h - result sets as a person or a program reads them: an aligned table, one record per
// block (expanded), fields apart by bars (unaligned), or CSV.
//
// Serves the shell's printing of every result set. A printer gets the columns, then the rows one by
// one, then the end; the aligned and expanded printers keep the rows of one set to size their
// columns, the unaligned and CSV printers write each row as it comes. NULL is a missing value: the
// null text ("NULL" unless set) in a table, an empty unquoted field in CSV (an empty text is "").
#pragma once

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kwsh {

enum class Format { Aligned, Csv, Unaligned };

// Expanded display: each row as a block of "column | value" lines. Auto chooses it for a result
// set whose aligned table would be wider than the screen.
enum class Expanded { Off, On, Auto };

struct PrintOptions {
    Format format = Format::Aligned;
    bool rowCounts = true;          // "(N rows)" under a table
    std::string nullText = "NULL";  // how a table shows NULL (CSV always leaves the field empty)
    Expanded expanded = Expanded::Off;
    size_t screenWidth = 0;  // the terminal's columns, for Expanded::Auto; 0 never expands
};

struct OutputColumn {
    std::string name;
    bool alignRight = false;  // numbers
};

using OutputRow = std::vector<std::optional<std::string>>;

class ResultPrinter {
  public:
    virtual ~ResultPrinter() = default;
    virtual void begin(const std::vector<OutputColumn>& columns) = 0;
    virtual void row(const OutputRow& values) = 0;
    // Ends the set; `complete` is false when the fetch stopped early (an error or an interrupt).
    virtual void end(bool complete) = 0;
};

// `rowCounts` false leaves out the "(N rows)" line under a table.
std::unique_ptr<ResultPrinter> makePrinter(Format format, std::ostream& out, bool rowCounts = true);
std::unique_ptr<ResultPrinter> makePrinter(const PrintOptions& options, std::ostream& out);

// The names of the formats, as \pset format takes and shows them; nothing for an unknown name.
const char* formatName(Format format);
std::optional<Format> formatNamed(const std::string& name);

// The number of terminal columns a text takes, in the charset of the locale: a wide (East Asian)
// character takes two, a combining character none, a byte that is no character of the charset one.
size_t displayWidth(const std::string& text);

// A value as one line of a table: line breaks, tabs and other control characters as escapes.
std::string escapeForTable(const std::string& text);

// A value as one CSV field: quoted when it holds a comma, a quote, a line break or is empty.
std::string csvField(const std::optional<std::string>& value);

// "(1 row)", "(3 rows)"; with `affected`, "(1 row affected)".
std::string rowCountLine(int64_t count, bool affected);

}  // namespace kwsh
