// results.h - result sets read through the driver: described (request 22), bound (25), fetched (23).
//
// Serves the shell's statements and its compile-only describe. A ResultSet owns one buffer and
// one indicator per column for as long as it is open, and the descriptors point at them only then;
// closing detaches them and gives the driver's column list back to the host (releaseBlockData).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "output.h"
#include "session.h"

namespace kwsh {

struct ResultColumn {
    std::string name;
    int32_t db2Type = 0, hostType = 0, length = 0, precision = 0, scale = 0;
};

// The descriptors of the block's result-column list, in column order.
std::vector<ColumnDescriptor*> columnDescriptors(RequestBlock& block);

class ResultSet {
  public:
    explicit ResultSet(Session& session) : session_(session) {}
    ~ResultSet() { close(); }
    ResultSet(const ResultSet&) = delete;
    ResultSet& operator=(const ResultSet&) = delete;

    // Describes the current result set and binds every column to a buffer of this set.
    Outcome open();
    const std::vector<ResultColumn>& columns() const { return columns_; }

    // Fetches the next row into `row`: status 0 (a row), 2 (a row with a warning, whose text is in
    // the message), 1 (no more rows) or a failure.
    Outcome fetch(OutputRow& row);

    void close();

  private:
    Session& session_;
    std::vector<ResultColumn> columns_;
    std::vector<std::vector<char>> buffers_;
    std::vector<int32_t> indicators_;
    bool open_ = false;
};

// Compiles the statement without running it (requests 21 and 22 with inValue 0) and answers the
// columns it would give; an INSERT, UPDATE or DELETE gives none.
Outcome describeOnly(Session& session, const std::string& sql, std::vector<ResultColumn>& columns);

}  // namespace kwsh
