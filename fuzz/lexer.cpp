// lexer.cpp - fuzzes the DB2 dialect's lexer.
//
// Invariants: the tokens joined give the text back exactly; each token has the shape of its kind
// (quotes around strings and delimited names, comments opened by -- or slash-star, blanks only in
// blank tokens); a text is refused only with SQLCODE -10, an unterminated constant or name.
#include <string>
#include <vector>

#include "check.h"
#include "failure.h"
#include "lexer.h"

namespace {

using gw::dialect::Token;
using gw::dialect::TokenKind;

void checkShape(const Token& t) {
    std::string_view s = t.text;
    KW_FUZZ_CHECK(!s.empty());
    switch (t.kind) {
        case TokenKind::String:
            KW_FUZZ_CHECK(s.size() >= 2 && s.back() == '\'' && s.find('\'') != std::string_view::npos);
            break;
        case TokenKind::Delimited:
            KW_FUZZ_CHECK(s.size() >= 2 && s.front() == '"' && s.back() == '"');
            break;
        case TokenKind::Comment:
            KW_FUZZ_CHECK(s.substr(0, 2) == "--" || s.substr(0, 2) == "/*");
            break;
        case TokenKind::Space:
            for (char c : s) {
                KW_FUZZ_CHECK(c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v');
            }
            KW_FUZZ_CHECK(!gw::dialect::isSignificant(t));
            break;
        case TokenKind::Word:
        case TokenKind::Number:
        case TokenKind::Operator:
            KW_FUZZ_CHECK(gw::dialect::isSignificant(t));
            break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view sql = kwfuzz::asText(data, size);
    std::vector<Token> tokens;
    try {
        tokens = gw::dialect::lex(sql);
    } catch (const gw::dialect::Failure& failure) {
        KW_FUZZ_CHECK(failure.sqlcode == -10 && !failure.message.empty());
        return 0;
    }
    std::string joined;
    for (const Token& t : tokens) {
        checkShape(t);
        KW_FUZZ_CHECK(t.text.data() == sql.data() + joined.size());
        joined.append(t.text);
    }
    KW_FUZZ_CHECK(joined == sql);
    const std::string upper = gw::dialect::upperAscii(sql);
    KW_FUZZ_CHECK(upper.size() == sql.size());
    return 0;
}
