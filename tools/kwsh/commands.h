// commands.h - the shell's backslash commands: connect, transactions, describe, output, trace.
//
// Serves Shell::runCommand. The commands live in one table (name, words, help); a command line is
// split into words as a shell would (blanks apart, quotes group), and a command that takes SQL
// reads the rest of the line as it was typed.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace kwsh {

class Shell;

// Splits a command line into words: blanks separate them, single or double quotes group blanks
// into one word, and a doubled quote inside quotes stands for one. Answers nothing (and says why
// in `error`) when a quote is not closed.
std::optional<std::vector<std::string>> splitWords(const std::string& text, std::string& error);

// Runs one command line (without its backslash); answers whether it succeeded.
bool runShellCommand(Shell& shell, const std::string& line);

// The list of commands with their use, as \help prints it.
std::string commandHelp();

}  // namespace kwsh
