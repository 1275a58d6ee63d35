// admin.h - the administrative commands: install the gateway's SQL objects, add DB2 users.
//
// initDatabase runs every gateway/sql/NN-*.sql file compiled into the binary, in name order,
// each in its own transaction, and records the schema version in kwgw; every file is written
// to be run again, so init also upgrades a database without losing its data. addUser creates
// or updates a DB2 user (a PostgreSQL login role) and its schema, safely against concurrent
// runs of the same command.
#pragma once

#include <string>

namespace gw {

// Both return the process exit code and print what went wrong on stderr.
int initDatabase(const std::string& conninfo);
int addUser(const std::string& conninfo, const std::string& name, const std::string& password);

// Reads a password without it ever being on a command line: from `file` when one is named ("-"
// is standard input), else from a prompt without echo (asked twice) when standard input is a
// terminal, else from standard input. The first line is the password; its line end is dropped.
// False with `error` set when none could be read or the two typed differ.
bool readPassword(const std::string& file, const std::string& prompt, std::string& password,
                  std::string& error);

// True when a libpq connection string names a password (which `ps` would then show).
bool conninfoHasPassword(const std::string& conninfo);

// True when `name` is a valid DB2 authorization id: 1 to 8 characters, a letter first, then
// letters, digits, _, #, @ or $.
bool validAuthId(const std::string& name);

}  // namespace gw
