// commands.h - the shell's backslash commands: connect, transactions, describe, output, variables,
// sources, the trace.
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

// The list of commands with their use and aliases, as \help and \? print it.
std::string commandHelp();

// Every command's name and alias, for completion.
std::vector<std::string> commandNames();

// \set NAME VALUE (and -v NAME=VALUE): a variable, and the setting a special one stands for.
bool setShellVariable(Shell& shell, const std::string& name, const std::string& value);

}  // namespace kwsh
