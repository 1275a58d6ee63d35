// markers.cpp - `?` and `@name` parameter markers to PostgreSQL's `$n`.
//
// Serves the session's dynamic SQL. Works on the lexer's tokens, so a `?` or `@name` inside a
// string constant, a delimited identifier or a comment is never taken for a marker.
#include "markers.h"

#include <algorithm>

#include "failure.h"
#include "lexer.h"

namespace gw::dialect {

size_t numberMarkers(std::string& sql, std::span<const int> order) {
    std::vector<Token> tokens = lex(sql);
    std::string out;
    out.reserve(sql.size() + 8);
    size_t count = 0;
    for (const Token& t : tokens) {
        if (t.kind == TokenKind::Operator && t.text == "?") {
            int number = count < order.size() ? order[count] : static_cast<int>(count + 1);
            out += '$';
            out += std::to_string(number);
            ++count;
        } else {
            out += t.text;
        }
    }
    sql = std::move(out);
    return count;
}

std::string namedMarkers(std::string_view sql, std::span<const std::string> names, std::vector<int>& order) {
    std::vector<Token> tokens;
    try {
        tokens = lex(sql);
    } catch (const Failure&) {
        return std::string(sql);
    }
    std::string out;
    out.reserve(sql.size());
    for (const Token& t : tokens) {
        int found = 0;
        if (t.kind == TokenKind::Word) {
            std::string word = upperAscii(t.text);
            for (size_t i = 0; i < names.size() && !found; ++i) {
                if (!names[i].empty() && upperAscii(names[i]) == word) {
                    found = static_cast<int>(i + 1);
                }
            }
        }
        if (found) {
            out += '?';
            order.push_back(found);
        } else {
            out += t.text;
        }
    }
    return out;
}

std::vector<std::string> variableNames(std::string_view sql) {
    std::vector<Token> tokens;
    try {
        tokens = lex(sql);
    } catch (const Failure&) {
        return {};
    }
    std::vector<std::string> names;
    for (const Token& t : tokens) {
        if (t.kind == TokenKind::Operator && t.text == "?") {
            return {};
        }
        if (t.kind != TokenKind::Word || t.text.size() < 2 || t.text[0] != '@' || t.text[1] == '@') {
            continue;
        }
        std::string name = upperAscii(t.text);
        if (std::find(names.begin(), names.end(), name) == names.end()) {
            names.push_back(std::move(name));
        }
    }
    return names;
}

}  // namespace gw::dialect
