// catalog.h - the shell's catalog commands: \dt, \d, \di and \dT.
//
// Serves the command table. Every answer comes from the driver's catalog requests, as the host's
// painters ask them (table list, columns, indexes and their keys, primary and foreign keys,
// dependent tables, the type descriptors); whatever the driver hands back is freed here, so a
// session ends with nothing left in its block's context.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace kwsh {

class Session;
class Shell;

// Whether a table name matches a pattern as psql's \dt reads one: * any run of characters, ? one
// character, other characters themselves without regard to case. A pattern with a dot matches
// owner.name, one without matches the name alone.
bool matchesTablePattern(const std::string& pattern, const std::string& owner, const std::string& name);

// \dt [PATTERN]: the tables and views the user may see.
bool listTablesCommand(Shell& shell, const std::string& pattern);
// \d TABLE: columns, indexes, primary key, foreign keys and the tables that refer to it.
bool describeTableCommand(Shell& shell, const std::string& table);
// \di TABLE: the indexes of a table with their keys.
bool listIndexesCommand(Shell& shell, const std::string& table);
// \dT: the DB2 column types the driver knows.
bool listTypesCommand(Shell& shell);

// For completion, quietly (a failure answers nothing): the tables and views the user may see as
// owner and name, and the column names of one ("owner.name", or a table of the login user).
std::vector<std::pair<std::string, std::string>> visibleTables(Session& session);
std::vector<std::string> columnNamesOf(Session& session, const std::string& table);

}  // namespace kwsh
