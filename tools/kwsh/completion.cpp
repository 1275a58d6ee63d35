// completion.cpp - the candidates Tab offers, from the command table and the catalog requests.
//
// Serves the editing terminal. It owns nothing: each call reads the line as typed, decides what the
// word being completed names (a command, a table, a column, a file) from the words before it, and
// asks the command table or the driver for the names.
#include "completion.h"

#include <algorithm>
#include <cctype>
#include <set>
#include <string_view>

#include "catalog.h"
#include "commands.h"
#include "shell.h"

namespace kwsh {

namespace {

std::string upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

bool breaksWords(char c) {
    return std::isspace(static_cast<unsigned char>(c)) != 0 ||
           std::string_view(",()=<>;+*|").find(c) != std::string_view::npos;
}

std::vector<std::string> wordsOf(const std::string& text) {
    std::vector<std::string> words;
    std::string word;
    for (const char c : text) {
        if (breaksWords(c)) {
            if (!word.empty()) {
                words.push_back(word);
            }
            word.clear();
        } else {
            word += c;
        }
    }
    if (!word.empty()) {
        words.push_back(word);
    }
    return words;
}

// Words after which a statement names a table.
bool namesTableNext(const std::string& word) {
    static const char* const kWords[] = {"FROM", "JOIN", "INTO", "UPDATE", "TABLE", "VIEW"};
    const std::string w = upper(word);
    return std::any_of(std::begin(kWords), std::end(kWords), [&w](const char* k) { return w == k; });
}

// The commands whose first word is a table or view, and those whose word is a file.
bool commandTakesTable(const std::string& name) {
    static const char* const kNames[] = {"d", "di", "dv", "ddl", "dt"};
    return std::any_of(std::begin(kNames), std::end(kNames), [&name](const char* k) { return name == k; });
}

bool commandTakesFile(const std::string& name) {
    static const char* const kNames[] = {"i",  "include", "ir",  "include_relative", "o", "out", "g",
                                         "gx", "e",       "edit"};
    return std::any_of(std::begin(kNames), std::end(kNames), [&name](const char* k) { return name == k; });
}

// The tables a person may name: the login user's by name alone, every one as owner.name.
std::vector<std::string> tableCandidates(Shell& shell) {
    std::vector<std::string> names;
    const std::string user = upper(shell.session().user());
    for (const auto& [owner, name] : visibleTables(shell.session())) {
        if (upper(owner) == user) {
            names.push_back(name);
        }
        names.push_back(owner + "." + name);
    }
    return names;
}

// The columns of every table the line names after FROM, JOIN, INTO or UPDATE, before the word or
// after it (SELECT comes before FROM).
std::vector<std::string> columnCandidates(Shell& shell, const std::vector<std::string>& words) {
    std::set<std::string> tables;
    for (size_t i = 0; i + 1 < words.size(); ++i) {
        if (namesTableNext(words[i])) {
            tables.insert(words[i + 1]);
        }
    }
    std::vector<std::string> names;
    for (const std::string& table : tables) {
        for (std::string& column : columnNamesOf(shell.session(), table)) {
            names.push_back(std::move(column));
        }
    }
    return names;
}

}  // namespace

size_t wordStart(const std::string& line, size_t end) {
    size_t start = std::min(end, line.size());
    while (start > 0 && !breaksWords(line[start - 1])) {
        --start;
    }
    return start;
}

std::vector<std::string> matchingNames(const std::vector<std::string>& names, const std::string& word) {
    const bool lowerCase =
        std::any_of(word.begin(), word.end(), [](unsigned char c) { return std::islower(c) != 0; });
    const std::string wanted = upper(word);
    std::set<std::string> matches;
    for (const std::string& name : names) {
        if (upper(name).compare(0, wanted.size(), wanted) == 0) {
            std::string spelt = lowerCase ? name : upper(name);
            if (lowerCase) {
                std::transform(spelt.begin(), spelt.end(), spelt.begin(),
                               [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
            }
            // What was typed stays as typed; only the rest is added.
            matches.insert(word + spelt.substr(word.size()));
        }
    }
    return {matches.begin(), matches.end()};
}

std::optional<std::vector<std::string>> completeLine(Shell& shell, const std::string& line, size_t end) {
    end = std::min(end, line.size());
    const size_t start = wordStart(line, end);
    const std::string word = line.substr(start, end - start);
    const std::vector<std::string> before = wordsOf(line.substr(0, start));
    if (before.empty() && !word.empty() && word.front() == '\\') {
        std::vector<std::string> commands;
        for (const std::string& name : commandNames()) {
            commands.push_back("\\" + name);
        }
        std::vector<std::string> matches;
        for (const std::string& name : commands) {
            if (name.compare(0, word.size(), word) == 0) {
                matches.push_back(name);  // commands keep their case: \dt and \dT differ
            }
        }
        return matches;
    }
    if (!before.empty() && before.front().front() == '\\') {
        const std::string command = before.front().substr(1);
        if (before.size() == 1 && commandTakesFile(command)) {
            return std::nullopt;
        }
        if (commandTakesTable(command)) {
            return matchingNames(tableCandidates(shell), word);
        }
        return std::vector<std::string>{};
    }
    if (!before.empty() && namesTableNext(before.back())) {
        return matchingNames(tableCandidates(shell), word);
    }
    return matchingNames(columnCandidates(shell, wordsOf(line)), word);
}

}  // namespace kwsh
