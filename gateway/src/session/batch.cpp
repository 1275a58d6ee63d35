// batch.cpp - the batch splitter.
//
// Serves the session, which runs each statement of a request in turn. The lexer knows string
// literals ('' inside), delimited identifiers ("" inside), -- and /* */ comments; the short
// commands it may cut off are `set <option> on|off`, `set textsize <n>`, `select @@<name>` and
// `use <database>`. Invariant: joining the pieces with separators gives back every
// non-blank character of the input in order.
#include "batch.h"
#include "common/text.h"

#include <array>
#include <cctype>

namespace gw::session {
namespace {

// Words that begin a statement: a short command is cut off only when one of them follows it.
constexpr std::array<std::string_view, 24> kStatementStarts = {
    "SET",   "SELECT",  "USE",    "INSERT", "UPDATE",   "DELETE",    "CREATE",   "DROP",
    "ALTER", "GRANT",   "REVOKE", "COMMIT", "ROLLBACK", "EXEC",      "EXECUTE",  "DECLARE",
    "LOCK",  "COMMENT", "LABEL",  "WITH",   "BEGIN",    "SAVEPOINT", "TRUNCATE", "PRINT",
};

bool isWordChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '@' || c == '#' || c == '$';
}

// Steps over a quoted run starting at s[i] (the opening quote); a doubled closing quote stays
// inside. Returns the index after the closing quote (or the end).
size_t skipQuoted(std::string_view s, size_t i, char close) {
    for (++i; i < s.size(); ++i) {
        if (s[i] == close) {
            if (i + 1 < s.size() && s[i + 1] == close && close != ']') {
                ++i;
                continue;
            }
            return i + 1;
        }
    }
    return s.size();
}

// Steps over a comment starting at s[i], if there is one there; returns i when there is none.
size_t skipComment(std::string_view s, size_t i) {
    if (s.compare(i, 2, "--") == 0) {
        size_t nl = s.find('\n', i);
        return nl == std::string_view::npos ? s.size() : nl + 1;
    }
    if (s.compare(i, 2, "/*") == 0) {
        size_t end = s.find("*/", i + 2);
        return end == std::string_view::npos ? s.size() : end + 2;
    }
    return i;
}

size_t skipSpace(std::string_view s, size_t i) {
    for (;;) {
        while (i < s.size() && isSpace(s[i])) {
            ++i;
        }
        size_t after = skipComment(s, i);
        if (after == i) {
            return i;
        }
        i = after;
    }
}

// The word at s[i] (letters, digits, _ @ # $), possibly empty.
std::string_view wordAt(std::string_view s, size_t i) {
    size_t j = i;
    while (j < s.size() && isWordChar(s[j])) {
        ++j;
    }
    return s.substr(i, j - i);
}

// A name at s[i]: a word, or a [bracketed] or "quoted" name. Returns its end, or i if none.
size_t nameEnd(std::string_view s, size_t i) {
    if (i < s.size() && s[i] == '[') {
        return skipQuoted(s, i, ']');
    }
    if (i < s.size() && s[i] == '"') {
        return skipQuoted(s, i, '"');
    }
    return i + wordAt(s, i).size();
}

bool startsStatement(std::string_view s, size_t i) {
    std::string_view w = wordAt(s, i);
    for (std::string_view start : kStatementStarts) {
        if (equalsIgnoreCase(w, start)) {
            return true;
        }
    }
    return false;
}

bool isNumber(std::string_view w) {
    if (w.empty()) {
        return false;
    }
    for (char c : w) {
        if (!std::isdigit(static_cast<unsigned char>(c))) {
            return false;
        }
    }
    return true;
}

// The end of a short command at the start of `s` (after leading blanks), or 0 when `s` does
// not start with one.
size_t shortCommandEnd(std::string_view s) {
    size_t i = skipSpace(s, 0);
    std::string_view first = wordAt(s, i);
    size_t j = skipSpace(s, i + first.size());
    if (equalsIgnoreCase(first, "SET")) {
        std::string_view option = wordAt(s, j);
        if (option.empty()) {
            return 0;
        }
        size_t k = skipSpace(s, j + option.size());
        std::string_view value = wordAt(s, k);
        bool onOff = equalsIgnoreCase(value, "ON") || equalsIgnoreCase(value, "OFF");
        bool textSize = equalsIgnoreCase(option, "TEXTSIZE") && isNumber(value);
        return onOff || textSize ? k + value.size() : 0;
    }
    if (equalsIgnoreCase(first, "SELECT") && s.compare(j, 2, "@@") == 0) {
        return j + wordAt(s, j).size();
    }
    if (equalsIgnoreCase(first, "USE")) {
        if (equalsIgnoreCase(wordAt(s, j), "PROCEDURE")) {
            return 0;
        }
        size_t end = nameEnd(s, j);
        return end > j ? end : 0;
    }
    return 0;
}

// Cuts the short commands off the front of one piece, leaving the rest as one statement.
void splitPiece(std::string_view piece, std::vector<std::string>& out) {
    for (;;) {
        piece = trim(piece);
        if (piece.empty()) {
            return;
        }
        size_t end = shortCommandEnd(piece);
        if (end == 0) {
            out.emplace_back(piece);
            return;
        }
        size_t next = skipSpace(piece, end);
        if (next < piece.size() && !startsStatement(piece, next)) {
            out.emplace_back(piece);
            return;
        }
        out.emplace_back(trim(piece.substr(0, end)));
        piece.remove_prefix(end);
    }
}

// True when the semicolon at text[i] introduces the group number of a stored request call
// (`USE PROCEDURE OWNER.NAME;1 ...`) rather than ending the statement that starts at `start`.
bool isGroupNumber(std::string_view text, size_t start, size_t i) {
    size_t at = skipSpace(text, start);
    if (!equalsIgnoreCase(wordAt(text, at), "USE")) {
        return false;
    }
    at = skipSpace(text, at + 3);
    if (!equalsIgnoreCase(wordAt(text, at), "PROCEDURE")) {
        return false;
    }
    size_t next = i + 1;
    while (next < text.size() && (text[next] == ' ' || text[next] == '\t')) {
        ++next;
    }
    return next < text.size() && std::isdigit(static_cast<unsigned char>(text[next]));
}

// Splits at semicolons outside literals, identifiers and comments.
std::vector<std::string_view> splitAtSemicolons(std::string_view text) {
    std::vector<std::string_view> pieces;
    size_t start = 0;
    size_t i = 0;
    while (i < text.size()) {
        char c = text[i];
        if (c == '\'' || c == '"') {
            i = skipQuoted(text, i, c);
        } else if (size_t after = skipComment(text, i); after != i) {
            i = after;
        } else if (c == ';' && !isGroupNumber(text, start, i)) {
            pieces.push_back(text.substr(start, i - start));
            start = ++i;
        } else {
            ++i;
        }
    }
    pieces.push_back(text.substr(start));
    return pieces;
}

// True when a piece holds nothing but blanks and comments.
bool blank(std::string_view piece) {
    return skipSpace(piece, 0) == piece.size();
}

}  // namespace

std::vector<std::string> splitBatch(std::string_view text) {
    std::vector<std::string> out;
    for (std::string_view piece : splitAtSemicolons(text)) {
        if (!blank(piece)) {
            splitPiece(piece, out);
        }
    }
    return out;
}

std::vector<std::string> splitStatements(std::string_view text) {
    std::vector<std::string> out;
    for (std::string_view piece : splitAtSemicolons(text)) {
        if (!blank(piece)) {
            out.emplace_back(trim(piece));
        }
    }
    return out;
}

}  // namespace gw::session
