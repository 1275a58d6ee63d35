// cursor.cpp - the statement cursor of the DDL and GRANT / REVOKE translators.
//
// Holds the indexes of the significant tokens of one statement and a position among them; the
// tokens themselves stay in the caller's list.
#include "cursor.h"

#include "failure.h"

namespace gw::dialect {
namespace {
const Token kEndToken{TokenKind::Operator, ""};
}  // namespace

Cursor::Cursor(const std::vector<Token>& tokens) : tokens_(tokens) {
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        if (isSignificant(tokens[i])) {
            significant_.push_back(i);
        }
    }
}

bool Cursor::atEnd() const {
    return pos_ >= significant_.size();
}

const Token& Cursor::peek(std::size_t ahead) const {
    const std::size_t at = pos_ + ahead;
    return at < significant_.size() ? tokens_[significant_[at]] : kEndToken;
}

std::size_t Cursor::rawIndex() const {
    return atEnd() ? tokens_.size() : significant_[pos_];
}

void Cursor::advance() {
    if (!atEnd()) {
        ++pos_;
    }
}

bool Cursor::isKeyword(std::string_view keyword, std::size_t ahead) const {
    return gw::dialect::isKeyword(peek(ahead), keyword);
}

bool Cursor::acceptKeyword(std::string_view keyword) {
    if (!isKeyword(keyword)) {
        return false;
    }
    advance();
    return true;
}

void Cursor::expectKeyword(std::string_view keyword) {
    if (!acceptKeyword(keyword)) {
        fail();
    }
}

bool Cursor::isOperator(std::string_view op, std::size_t ahead) const {
    const Token& t = peek(ahead);
    return t.kind == TokenKind::Operator && t.text == op && !t.text.empty();
}

bool Cursor::acceptOperator(std::string_view op) {
    if (!isOperator(op)) {
        return false;
    }
    advance();
    return true;
}

void Cursor::expectOperator(std::string_view op) {
    if (!acceptOperator(op)) {
        fail();
    }
}

bool Cursor::isName(std::size_t ahead) const {
    const TokenKind kind = peek(ahead).kind;
    return (kind == TokenKind::Word || kind == TokenKind::Delimited) && !peek(ahead).text.empty();
}

Ident Cursor::expectName(std::size_t maxLength) {
    if (!isName()) {
        fail();
    }
    Ident name = identOf(peek());
    checkLength(name, maxLength);
    advance();
    return name;
}

QualifiedName Cursor::expectQualifiedName(std::string_view defaultCreator) {
    Ident first = expectName(kMaxLongName);
    if (!acceptOperator(".")) {
        return QualifiedName{Ident{std::string(defaultCreator), false}, first};
    }
    checkLength(first, kMaxShortName);
    return QualifiedName{first, expectName(kMaxLongName)};
}

std::vector<Ident> Cursor::expectNameList(std::size_t maxLength) {
    std::vector<Ident> names;
    expectOperator("(");
    do {
        names.push_back(expectName(maxLength));
    } while (acceptOperator(","));
    expectOperator(")");
    return names;
}

void Cursor::expectEnd() {
    acceptOperator(";");
    if (!atEnd()) {
        fail();
    }
}

void Cursor::skipGroup() {
    int depth = 0;
    do {
        if (atEnd()) {
            fail();
        }
        if (isOperator("(")) {
            ++depth;
        } else if (isOperator(")")) {
            --depth;
        }
        advance();
    } while (depth > 0);
}

void Cursor::fail() const {
    if (atEnd()) {
        throw Failure{-104, "ILLEGAL SYMBOL \"<END-OF-STATEMENT>\"."};
    }
    throw illegalSymbol(peek().text);
}

}  // namespace gw::dialect
