// prepared.h - the statements a client has prepared through dynamic SQL, by the id it chose.
//
// A DYNAMIC prepare translates the DB2 text once and, for a query or data change, prepares it in
// PostgreSQL under a name of the gateway's own; each execute runs it with the client's parameter
// values; a deallocate forgets it. The store only keeps the records (the session does the work).
// Invariant: every PostgreSQL statement name in the store is prepared in the session's
// connection, and no two records share one.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "common/result.h"
#include "dialect.h"

namespace gw::session {

struct PreparedStatement {
    std::string text;                        // the DB2 text as the client sent it
    dialect::Plan plan;                      // its translation, markers numbered $1..$n
    std::string verb;                        // its first word, for error texts
    std::string pgName;                      // the PostgreSQL statement, or empty when run unprepared
    size_t markers = 0;                      // parameter markers in the text
    std::vector<ColumnFormat> paramFormats;  // described input parameters
    std::vector<uint32_t> paramTypes;        // their PostgreSQL types
    std::vector<ColumnFormat> rowFormats;    // described result columns (none: no rows)
};

class PreparedStatements {
  public:
    // The most statements one session keeps prepared: each holds a PostgreSQL prepared statement
    // in the session's backend, so a client that prepares without ever deallocating is stopped
    // before it grows the server without bound. Clients cache far fewer (jTDS: 500 by default).
    static constexpr size_t kMaxStatements = 1000;

    // The record under `id`, or null.
    const PreparedStatement* find(const std::string& id) const;
    // Keeps `statement` under `id`; returns the record it replaces, if any.
    std::optional<PreparedStatement> put(const std::string& id, PreparedStatement statement);
    // Forgets `id`; returns its record, if there was one.
    std::optional<PreparedStatement> remove(const std::string& id);
    // A PostgreSQL statement name that no record uses.
    std::string newPgName();
    size_t size() const { return byId_.size(); }

  private:
    std::map<std::string, PreparedStatement> byId_;
    uint64_t next_ = 0;
};

}  // namespace gw::session
