// markers.h - parameter markers of dynamic SQL: DB2's `?` and the named `@name` markers some
// clients put in a language request, as PostgreSQL's numbered `$n`.
//
// The session prepares a statement by translating its DB2 text (where `?` passes as an operator)
// and then numbering the markers of the translated text. Only markers outside string constants,
// delimited identifiers and comments count.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace gw::dialect {

// Replaces the k-th `?` of `sql` with `$m`, where m is order[k] when `order` has an entry for
// it and k + 1 otherwise. Returns the number of markers replaced.
size_t numberMarkers(std::string& sql, std::span<const int> order = {});

// Replaces every word of `sql` that names one of `names` (compared without case) with `?`, and
// appends to `order` the 1-based position in `names` of each one replaced, in text order. Text
// that does not tokenize is returned as it is.
std::string namedMarkers(std::string_view sql, std::span<const std::string> names, std::vector<int>& order);

// The names unnamed parameters of a language request stand for: the distinct `@name` variables
// of `sql` in order of their first use (jTDS writes its markers as @P0, @P1, ... and sends the
// values without names). Empty when the text has a `?` marker, whose parameters need no names,
// or does not tokenize.
std::vector<std::string> variableNames(std::string_view sql);

}  // namespace gw::dialect
