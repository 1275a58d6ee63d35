// ddl.h - the shell's \ddl command: a table's statements as the table painter would save them.
#pragma once

#include <string>

namespace kwsh {

class Shell;

// \ddl [--run NEWOWNER] TABLE: reads the table through the catalog requests and prints the
// statements the driver writes for it (CREATE TABLE with its keys, then its indexes); with --run
// they are written for NEWOWNER and run, one after another, stopping at the first failure.
bool tableDdlCommand(Shell& shell, const std::string& table, const std::string& newOwner, bool run);

}  // namespace kwsh
