// variables.h - the shell's variables: \set NAME VALUE, \unset NAME, and their values put into the
// text of statements and commands as :NAME, :'NAME' (a quoted literal) or :"NAME" (a quoted name).
//
// Serves the shell. Variables owns the names and values; a name is letters, digits and
// underscores. Interpolation never changes text inside quotes or after "::", and leaves a
// reference to a variable that is not set as it was written, so SQL that uses colons keeps them.
#pragma once

#include <map>
#include <optional>
#include <string>

namespace kwsh {

class Variables {
  public:
    // Answers false (nothing set) when the name is no variable name.
    bool set(const std::string& name, const std::string& value);
    void unset(const std::string& name);
    std::optional<std::string> get(const std::string& name) const;
    const std::map<std::string, std::string>& all() const { return values_; }

    // `text` with every :NAME, :'NAME' and :"NAME" of a set variable replaced by its value: as is,
    // as a literal in single quotes, or as a name in double quotes (a quote inside is doubled).
    // Text inside single or double quotes is left alone.
    std::string interpolate(const std::string& text) const;

  private:
    std::map<std::string, std::string> values_;
};

bool isVariableName(const std::string& name);

// A boolean variable's value as psql reads one (on/off, true/false, yes/no, 1/0, unambiguous
// prefixes too, without regard to case); nothing for anything else.
std::optional<bool> parseBoolean(const std::string& value);

// `text` in `quote` characters, every quote inside doubled.
std::string quoted(const std::string& text, char quote);

}  // namespace kwsh
