// attrs.h - the shell's extended-attribute commands: \attrs, \formats, \validations, \editstyles.
//
// Serves the command table. A table's attributes (fonts and comment of the table; label, heading,
// display format, validation rule, edit style, initial value and comment of each column) are read
// with the driver's request 107 and changed by the statements of request 45, which the shell runs
// through request 5, as the host's painter does. The dictionaries come from requests 89, 90 and 215.
#pragma once

#include <string>
#include <vector>

namespace kwsh {

class Shell;

// \attrs TABLE: the table's and its columns' attributes.
bool showAttributesCommand(Shell& shell, const std::string& table);
// \attrs TABLE COLUMN KEY=VALUE ...: changes attributes of a column (or, with COLUMN "-", of the
// table) and stores them; the keys are listed by attributeKeysHelp().
bool setAttributesCommand(Shell& shell, const std::string& table, const std::string& column,
                          const std::vector<std::string>& assignments);
// \formats, \validations, \editstyles: one dictionary of the extended catalog.
bool listDictionaryCommand(Shell& shell, int32_t requestCode);

// The keys \attrs takes, for its help text.
std::string attributeKeysHelp();

}  // namespace kwsh
