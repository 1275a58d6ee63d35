// names.cpp - DB2 identifiers, the case swap, the length limits and the quoting helpers.
//
// Serves every translator: identifiers enter generated SQL only through Ident::sql, quoteIdent
// and quoteLiteral. DB2 ignores trailing blanks in a delimited identifier but keeps leading ones;
// a doubled quote inside stands for one quote.
#include "names.h"

#include "failure.h"

namespace gw::dialect {

std::string swapCase(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        } else if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return out;
}

std::string quoteIdent(std::string_view pgName) {
    std::string out = "\"";
    for (char c : pgName) {
        out += c;
        if (c == '"') {
            out += '"';
        }
    }
    return out + "\"";
}

std::string quoteLiteral(std::string_view text) {
    std::string out = "'";
    for (char c : text) {
        out += c;
        if (c == '\'') {
            out += '\'';
        }
    }
    return out + "'";
}

std::string Ident::pg() const {
    return swapCase(db2);
}

std::string Ident::sql() const {
    return quoteIdent(pg());
}

std::string QualifiedName::sql() const {
    return creator.sql() + "." + name.sql();
}

Ident identOf(const Token& token) {
    if (token.kind == TokenKind::Word) {
        return Ident{upperAscii(token.text), false};
    }
    std::string name;
    const std::string_view inner = token.text.substr(1, token.text.size() - 2);
    for (size_t i = 0; i < inner.size(); ++i) {
        name += inner[i];
        if (inner[i] == '"') {
            ++i;  // the second quote of a doubled pair
        }
    }
    while (!name.empty() && name.back() == ' ') {
        name.pop_back();
    }
    if (name.empty()) {
        throw illegalSymbol(token.text);
    }
    return Ident{name, true};
}

bool needsQuoting(std::string_view word) {
    return word.find_first_of("#@") != std::string_view::npos || (!word.empty() && word.front() == '$');
}

std::size_t charCount(std::string_view text) {
    std::size_t n = 0;
    for (char c : text) {
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) {
            ++n;
        }
    }
    return n;
}

void checkLength(const Ident& name, std::size_t max) {
    if (charCount(name.db2) > max) {
        throw Failure{
            -107, "THE NAME " + name.db2 + " IS TOO LONG. MAXIMUM ALLOWABLE SIZE IS " + std::to_string(max)};
    }
}

}  // namespace gw::dialect
