// sqltext.h - the builders of the PostgreSQL statements that plans are made of.
//
// Calls of the kwgw helper routines (SELECT for a function whose result is discarded, CALL for a
// procedure that stands as a plan's statement) and the ALTER TABLE ... OWNER TO that hands an
// object to its DB2 creator. Arguments are already quoted SQL (quoteLiteral, or NULL).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace gw::dialect {

std::string selectCall(std::string_view routine, const std::vector<std::string>& args);
std::string procedureCall(std::string_view routine, const std::vector<std::string>& args);

// A quoted string constant, or NULL for an empty text.
std::string literalOrNull(std::string_view text);

// ARRAY['a', 'b']
std::string textArray(const std::vector<std::string>& items);

}  // namespace gw::dialect
