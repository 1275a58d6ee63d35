// cursor.h - reading a tokenized statement by its significant tokens.
//
// The statement translators (DDL, GRANT / REVOKE) walk a statement with a Cursor: it skips blanks
// and comments, matches keywords in any case, reads names with their length limits, and refuses
// anything unexpected with -104 naming the symbol. rawIndex() ties the cursor back to the token
// list, so a translator can hand a stretch of the statement (a view's SELECT, a CHECK condition) to
// the expression rewriter unchanged.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "lexer.h"
#include "names.h"

namespace gw::dialect {

class Cursor {
  public:
    explicit Cursor(const std::vector<Token>& tokens);

    bool atEnd() const;
    // The significant token `ahead` places on (an empty operator token past the end).
    const Token& peek(std::size_t ahead = 0) const;
    std::size_t rawIndex() const;  // index in the token list of the current token (or its size)
    void advance();

    bool isKeyword(std::string_view keyword, std::size_t ahead = 0) const;
    bool acceptKeyword(std::string_view keyword);
    void expectKeyword(std::string_view keyword);
    bool isOperator(std::string_view op, std::size_t ahead = 0) const;
    bool acceptOperator(std::string_view op);
    void expectOperator(std::string_view op);
    bool isName(std::size_t ahead = 0) const;  // a Word or a delimited identifier

    Ident expectName(std::size_t maxLength);
    // [creator.]name; the creator defaults to defaultCreator (itself upper case, never delimited).
    QualifiedName expectQualifiedName(std::string_view defaultCreator);
    // ( name, name, ... )
    std::vector<Ident> expectNameList(std::size_t maxLength);
    // The end of the statement; one trailing ; is allowed.
    void expectEnd();
    // Skips a parenthesized group the cursor stands on, nested groups included.
    void skipGroup();

    [[noreturn]] void fail() const;  // -104 at the current token

  private:
    const std::vector<Token>& tokens_;
    std::vector<std::size_t> significant_;
    std::size_t pos_ = 0;
};

}  // namespace gw::dialect
