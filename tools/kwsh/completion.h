// completion.h - what Tab offers at the terminal: command names after a backslash, table names
// where a statement or command names a table, column names of the tables a statement names, and
// file names after the commands that take a file.
//
// Serves the editing terminal. Names come from the driver's catalog requests on the shell's
// connection at the moment Tab is pressed; nothing is kept between two presses.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace kwsh {

class Shell;

// The word that ends at `end` in `line`: back to the last blank, comma, parenthesis or operator.
size_t wordStart(const std::string& line, size_t end);

// The candidates for the word that ends at `end` (each one whole, starting with that word, without
// regard to case), or nothing when file names should be offered instead.
std::optional<std::vector<std::string>> completeLine(Shell& shell, const std::string& line, size_t end);

// The names of `names` that start with `word` without regard to case, spelt in the case of the
// word: upper case unless the word has a lower-case letter.
std::vector<std::string> matchingNames(const std::vector<std::string>& names, const std::string& word);

}  // namespace kwsh
