// batch.cpp - the batch splitter.
//
// Serves the session, which runs each statement of a request in turn. The lexer knows string
// literals ('' inside), delimited identifiers ("" inside), -- and /* */ comments; the short
// commands it may cut off the front of a statement are `set <option> on|off`, `set textsize <n>`,
// `select @@<name>` and `use <database>`, and off its end `set fmtonly on|off`. Invariant: joining the
// pieces with separators gives back every non-blank character of the input in order.
#include "batch.h"
#include "common/text.h"

#include <array>
#include <cctype>
#include <initializer_list>
#include <span>

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

// The isolation levels by name, as `set transaction isolation level` takes them.
constexpr std::array<std::array<std::string_view, 2>, 4> kIsolationNames = {{
    {"READ", "UNCOMMITTED"},
    {"READ", "COMMITTED"},
    {"REPEATABLE", "READ"},
    {"SERIALIZABLE", ""},
}};

// The end of the words `words` at s[i] (an empty word ends the list), or 0 when they are not there.
size_t wordsEnd(std::string_view s, size_t i, std::span<const std::string_view> words) {
    size_t end = 0;
    for (std::string_view expected : words) {
        if (expected.empty()) {
            break;
        }
        i = skipSpace(s, i);
        std::string_view w = wordAt(s, i);
        if (!equalsIgnoreCase(w, expected)) {
            return 0;
        }
        i += w.size();
        end = i;
    }
    return end;
}

// The end of `isolation level <number or name>` at s[i], or 0.
size_t isolationLevelEnd(std::string_view s, size_t i) {
    static constexpr std::string_view kIsolationLevel[] = {"ISOLATION", "LEVEL"};
    size_t j = wordsEnd(s, i, kIsolationLevel);
    if (j == 0) {
        return 0;
    }
    size_t k = skipSpace(s, j);
    if (std::string_view number = wordAt(s, k); isNumber(number)) {
        return k + number.size();
    }
    for (const auto& name : kIsolationNames) {
        if (size_t end = wordsEnd(s, k, name); end != 0) {
            return end;
        }
    }
    return 0;
}

// The end of the word at s[i] (after blanks) when it is one of `words`, or 0.
size_t oneOfEnd(std::string_view s, size_t i, std::initializer_list<std::string_view> words) {
    i = skipSpace(s, i);
    std::string_view w = wordAt(s, i);
    for (std::string_view expected : words) {
        if (equalsIgnoreCase(w, expected)) {
            return i + w.size();
        }
    }
    return 0;
}

// The end of the conditional end of a unit of work at s[i] (after `IF`): `@@TRANCOUNT > 0
// COMMIT|ROLLBACK [TRAN|TRANSACTION|WORK] [BEGIN TRAN|TRANSACTION]`, or 0. jTDS sends it with more
// after it (`... COMMIT TRAN\r\nSET CHAINED OFF`).
size_t conditionalEndEnd(std::string_view s, size_t i) {
    size_t j = oneOfEnd(s, i, {"@@TRANCOUNT"});
    if (j == 0) {
        return 0;
    }
    j = skipSpace(s, j);
    if (j >= s.size() || s[j] != '>' || (j = oneOfEnd(s, j + 1, {"0"})) == 0 ||
        (j = oneOfEnd(s, j, {"COMMIT", "ROLLBACK"})) == 0) {
        return 0;
    }
    if (size_t k = oneOfEnd(s, j, {"TRAN", "TRANSACTION", "WORK"}); k != 0) {
        j = k;
    }
    if (size_t k = oneOfEnd(s, j, {"BEGIN"}); k != 0) {
        size_t l = oneOfEnd(s, k, {"TRAN", "TRANSACTION"});
        return l != 0 ? l : j;
    }
    return j;
}

// The end of a short command at the start of `s` (after leading blanks), or 0 when `s` does
// not start with one.
size_t shortCommandEnd(std::string_view s) {
    size_t i = skipSpace(s, 0);
    std::string_view first = wordAt(s, i);
    size_t j = skipSpace(s, i + first.size());
    if (equalsIgnoreCase(first, "IF")) {
        return conditionalEndEnd(s, j);
    }
    if (equalsIgnoreCase(first, "SET")) {
        std::string_view option = wordAt(s, j);
        if (option.empty()) {
            return 0;
        }
        size_t k = skipSpace(s, j + option.size());
        if (equalsIgnoreCase(option, "TRANSACTION")) {
            return isolationLevelEnd(s, k);
        }
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

// The data-changing statements: in one of them, another one's first word at parenthesis depth 0
// can only begin the next statement (each is a reserved word of DB2, and none of them nests in
// another at that depth).
constexpr std::array<std::string_view, 3> kChangeVerbs = {"INSERT", "UPDATE", "DELETE"};

bool isChangeVerb(std::string_view word) {
    for (std::string_view verb : kChangeVerbs) {
        if (equalsIgnoreCase(word, verb)) {
            return true;
        }
    }
    return false;
}

// Where the statement at the start of `s` ends when it is an INSERT, UPDATE or DELETE followed,
// with no separator, by another one (jTDS sends a Statement's batch joined by blanks): the
// position of the next one's first word, or npos.
size_t nextChangeStart(std::string_view s) {
    size_t i = skipSpace(s, 0);
    if (!isChangeVerb(wordAt(s, i))) {
        return std::string_view::npos;
    }
    i += wordAt(s, i).size();
    int depth = 0;
    // A verb that names a column (t.update) or is an action (ON CONFLICT ... DO UPDATE) is no
    // statement's start.
    bool qualified = false;
    std::string_view previous;
    while (i < s.size()) {
        char c = s[i];
        if (c == '\'' || c == '"' || c == '[') {
            i = skipQuoted(s, i, c == '[' ? ']' : c);
            previous = {}, qualified = false;
        } else if (size_t after = skipComment(s, i); after != i) {
            i = after;
        } else if (c == '(' || c == ')') {
            depth += c == '(' ? 1 : -1;
            ++i;
            previous = {}, qualified = false;
        } else if (isWordChar(c)) {
            std::string_view w = wordAt(s, i);
            if (depth == 0 && isChangeVerb(w) && !qualified && !equalsIgnoreCase(previous, "DO")) {
                return i;
            }
            i += w.size();
            previous = w, qualified = false;
        } else {
            if (c != ' ' && c != '\t' && c != '\r' && c != '\n') {
                previous = {}, qualified = c == '.';
            }
            ++i;
        }
    }
    return std::string_view::npos;
}

// Appends one statement, or the data-changing statements it runs together.
void appendStatements(std::string_view piece, std::vector<std::string>& out) {
    for (size_t next = nextChangeStart(piece); next != std::string_view::npos;
         next = nextChangeStart(piece)) {
        out.emplace_back(trim(piece.substr(0, next)));
        piece.remove_prefix(next);
    }
    out.emplace_back(trim(piece));
}

// A token of a statement: a word, or anything else (a literal, an identifier, a sign).
struct Piece {
    size_t start;
    std::string_view text;
    bool word;
};

// Where a `set fmtonly on|off` that ends `s` begins, when a statement stands before it (a bulk
// copy's `SET FMTONLY ON select * from t SET FMTONLY OFF`); npos otherwise.
size_t trailingSetStart(std::string_view s) {
    // Only a text whose last word is ON or OFF can end in the switch, so every other statement
    // is turned away before it is split into tokens.
    std::string_view t = trim(s);
    size_t lastWord = t.size();
    while (lastWord > 0 && isWordChar(t[lastWord - 1])) {
        --lastWord;
    }
    if (!equalsIgnoreCase(t.substr(lastWord), "ON") && !equalsIgnoreCase(t.substr(lastWord), "OFF")) {
        return std::string_view::npos;
    }
    std::vector<Piece> tokens;
    for (size_t i = skipSpace(s, 0); i < s.size(); i = skipSpace(s, i)) {
        size_t end = i + 1;
        if (s[i] == '\'' || s[i] == '"' || s[i] == '[') {
            end = skipQuoted(s, i, s[i] == '[' ? ']' : s[i]);
        } else if (isWordChar(s[i])) {
            end = i + wordAt(s, i).size();
        }
        tokens.push_back(Piece{i, s.substr(i, end - i), isWordChar(s[i])});
        i = end;
    }
    const size_t n = tokens.size();
    if (n < 4 || !tokens[n - 3].word || !tokens[n - 2].word || !tokens[n - 1].word) {
        return std::string_view::npos;
    }
    const bool onOff =
        equalsIgnoreCase(tokens[n - 1].text, "ON") || equalsIgnoreCase(tokens[n - 1].text, "OFF");
    const bool fmtOnly =
        equalsIgnoreCase(tokens[n - 3].text, "SET") && equalsIgnoreCase(tokens[n - 2].text, "FMTONLY");
    return fmtOnly && onOff ? tokens[n - 3].start : std::string_view::npos;
}

// Appends a statement (or the data-changing statements it runs together), with a trailing
// `set fmtonly on|off` cut off as a statement of its own.
void emitStatement(std::string_view piece, std::vector<std::string>& out) {
    size_t set = trailingSetStart(piece);
    if (set == std::string_view::npos) {
        appendStatements(piece, out);
        return;
    }
    appendStatements(trim(piece.substr(0, set)), out);
    out.emplace_back(trim(piece.substr(set)));
}

// Cuts the short commands off the front of one piece, and a FMTONLY switch off its end, leaving
// the rest as one statement (or as the data-changing statements it runs together).
void splitPiece(std::string_view piece, std::vector<std::string>& out) {
    for (;;) {
        piece = trim(piece);
        if (piece.empty()) {
            return;
        }
        size_t end = shortCommandEnd(piece);
        if (end == 0) {
            emitStatement(piece, out);
            return;
        }
        size_t next = skipSpace(piece, end);
        if (next < piece.size() && !startsStatement(piece, next)) {
            emitStatement(piece, out);
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
