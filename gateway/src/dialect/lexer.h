// lexer.h - DB2 SQL text as a sequence of tokens.
//
// The dialect layer rewrites statements token by token, so that string constants and comments are
// never touched by accident. Tokens are views into the statement text and, joined in order, give
// the text back exactly. Words are DB2 ordinary identifiers and keywords (letters, digits, _, #, @
// and $); delimited identifiers keep their double quotes, string constants their single quotes.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace gw::dialect {

enum class TokenKind {
    Word,       // EMP, select, EMP#NO
    Delimited,  // "Emp"
    String,     // 'it''s'
    Number,     // 12, 3.5, 1E10
    Operator,   // ( ) , . = <> <= >= || ¬= ...
    Space,      // blanks, tabs, line ends
    Comment,    // -- to the end of the line, or /* ... */
};

struct Token {
    TokenKind kind;
    std::string_view text;
};

// The tokens of a statement. Throws Failure -10 for a string constant or delimited identifier
// that is not terminated.
std::vector<Token> lex(std::string_view sql);

bool isSignificant(const Token& token);

// ASCII upper case, as DB2 folds ordinary identifiers and keywords.
std::string upperAscii(std::string_view text);

// Whether a token is the given keyword (upper case), in any case.
bool isKeyword(const Token& token, std::string_view keyword);

}  // namespace gw::dialect
