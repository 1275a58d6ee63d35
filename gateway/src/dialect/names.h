// names.h - DB2 identifiers and their PostgreSQL form.
//
// A DB2 name N is stored in PostgreSQL as N with the case of its ASCII letters swapped, so
// ordinary names (EMP) pass through PostgreSQL's own folding and delimited ones ("emp") stay
// distinct. This file owns that mapping, the 18 / 8 character limits (-107), and the quoting of
// names and string constants in generated SQL: every name and constant enters SQL through
// quoteIdent or quoteLiteral, so a quote inside one can never break a statement.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "lexer.h"

namespace gw::dialect {

// Longest table, view, column, index and alias names; longest authorization ids, creators,
// databases, table spaces and referential constraint names.
inline constexpr std::size_t kMaxLongName = 18;
inline constexpr std::size_t kMaxShortName = 8;

// A DB2 name: ordinary ones folded to upper case, delimited ones as written without trailing blanks.
struct Ident {
    std::string db2;
    bool delimited = false;

    std::string pg() const;   // its PostgreSQL name
    std::string sql() const;  // its PostgreSQL name, quoted for generated SQL
};

// [creator.]name, with the creator the statement would default to already filled in.
struct QualifiedName {
    Ident creator;
    Ident name;

    std::string sql() const;  // "creator"."name"
};

// ASCII case swap: the DB2 name of a PostgreSQL name and the other way round.
std::string swapCase(std::string_view text);

std::string quoteIdent(std::string_view pgName);
std::string quoteLiteral(std::string_view text);

// The DB2 name a Word or Delimited token stands for (throws -104 for an empty delimited name).
Ident identOf(const Token& token);

// Whether an ordinary identifier needs quoting in PostgreSQL: it holds # or @, or starts with $.
bool needsQuoting(std::string_view word);

// Length in characters (UTF-8).
std::size_t charCount(std::string_view text);

// Throws -107 when the name is longer than max characters.
void checkLength(const Ident& name, std::size_t max);

}  // namespace gw::dialect
