// lexer.cpp - the DB2 SQL tokenizer.
//
// Hand-written: no Debian library tokenizes DB2 SQL, and the rules are few. It recognises DB2's
// ordinary identifiers (#, @ and $ count as letters, bytes above 127 too), delimited identifiers
// and string constants with doubled quotes, numbers with an exponent, -- and /* */ comments, and
// the two-character operators, including DB2's not sign (¬=, ¬<, ¬>) written in UTF-8.
#include "lexer.h"

#include <array>

#include "failure.h"

namespace gw::dialect {
namespace {

// Operators of two bytes, tried before single bytes; "\xC2\xAC" is the not sign in UTF-8.
const std::array<std::string_view, 8> kTwoByteOperators = {
    "<>", "<=", ">=", "!=", "||", "^=", "::", "\xC2\xAC"};
static_assert(kTwoByteOperators.size() == 8);

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool isNotSign(std::string_view s, size_t i) {
    return s.substr(i, 2) == "\xC2\xAC";
}

bool isWordStart(std::string_view s, size_t i) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == '#' || c == '@' || c == '$' ||
           (c >= 0x80 && !isNotSign(s, i));
}

bool isWordPart(std::string_view s, size_t i) {
    return isWordStart(s, i) || isDigit(s[i]);
}

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

// The end of a quoted token starting at i: the quote is doubled inside it.
size_t quotedEnd(std::string_view s, size_t i) {
    const char quote = s[i];
    for (size_t j = i + 1; j < s.size(); ++j) {
        if (s[j] != quote) {
            continue;
        }
        if (j + 1 < s.size() && s[j + 1] == quote) {
            ++j;
            continue;
        }
        return j + 1;
    }
    const std::string_view head = s.substr(i, 20);
    throw Failure{-10, "THE STRING CONSTANT BEGINNING " + std::string(head) + " IS NOT TERMINATED"};
}

size_t numberEnd(std::string_view s, size_t i) {
    size_t j = i;
    while (j < s.size() && isDigit(s[j])) {
        ++j;
    }
    if (j < s.size() && s[j] == '.') {
        ++j;
        while (j < s.size() && isDigit(s[j])) {
            ++j;
        }
    }
    if (j < s.size() && (s[j] == 'E' || s[j] == 'e')) {
        size_t k = j + 1;
        if (k < s.size() && (s[k] == '+' || s[k] == '-')) {
            ++k;
        }
        if (k < s.size() && isDigit(s[k])) {
            j = k;
            while (j < s.size() && isDigit(s[j])) {
                ++j;
            }
        }
    }
    return j;
}

size_t operatorEnd(std::string_view s, size_t i) {
    for (std::string_view op : kTwoByteOperators) {
        if (s.substr(i, op.size()) == op) {
            // The not sign joins the comparison that follows it: ¬=, ¬<, ¬>.
            if (op == "\xC2\xAC" && i + 2 < s.size() &&
                (s[i + 2] == '=' || s[i + 2] == '<' || s[i + 2] == '>')) {
                return i + 3;
            }
            return i + op.size();
        }
    }
    return i + 1;
}

size_t commentEnd(std::string_view s, size_t i) {
    if (s[i + 1] == '-') {
        const size_t eol = s.find('\n', i);
        return eol == std::string_view::npos ? s.size() : eol;
    }
    const size_t close = s.find("*/", i + 2);
    return close == std::string_view::npos ? s.size() : close + 2;
}

struct Scan {
    TokenKind kind;
    size_t end;
};

Scan scanOne(std::string_view s, size_t i) {
    const char c = s[i];
    if (isSpace(c)) {
        size_t j = i;
        while (j < s.size() && isSpace(s[j])) {
            ++j;
        }
        return {TokenKind::Space, j};
    }
    if ((c == '-' && i + 1 < s.size() && s[i + 1] == '-') ||
        (c == '/' && i + 1 < s.size() && s[i + 1] == '*')) {
        return {TokenKind::Comment, commentEnd(s, i)};
    }
    if (c == '\'') {
        return {TokenKind::String, quotedEnd(s, i)};
    }
    if (c == '"') {
        return {TokenKind::Delimited, quotedEnd(s, i)};
    }
    if (isDigit(c) || (c == '.' && i + 1 < s.size() && isDigit(s[i + 1]))) {
        return {TokenKind::Number, numberEnd(s, i)};
    }
    if (isWordStart(s, i)) {
        size_t j = i;
        while (j < s.size() && isWordPart(s, j)) {
            ++j;
        }
        return {TokenKind::Word, j};
    }
    return {TokenKind::Operator, operatorEnd(s, i)};
}

}  // namespace

std::vector<Token> lex(std::string_view sql) {
    std::vector<Token> tokens;
    size_t i = 0;
    while (i < sql.size()) {
        const Scan scan = scanOne(sql, i);
        tokens.push_back(Token{scan.kind, sql.substr(i, scan.end - i)});
        i = scan.end;
    }
    return tokens;
}

bool isSignificant(const Token& token) {
    return token.kind != TokenKind::Space && token.kind != TokenKind::Comment;
}

std::string upperAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return out;
}

bool isKeyword(const Token& token, std::string_view keyword) {
    if (token.kind != TokenKind::Word || token.text.size() != keyword.size()) {
        return false;
    }
    for (size_t i = 0; i < keyword.size(); ++i) {
        char c = token.text[i];
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
        if (c != keyword[i]) {
            return false;
        }
    }
    return true;
}

}  // namespace gw::dialect
