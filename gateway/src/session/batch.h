// batch.h - splitting a request text into statements.
//
// A batch is split at semicolons outside string literals, delimited identifiers and comments.
// Within each piece, short T-SQL commands that clients send without any separator
// (`set textsize 65536 select @@spid use [db]`) are cut off one by one, but only where what
// follows starts a new statement, so ordinary SQL is never cut apart; INSERT, UPDATE and DELETE
// statements run together (`insert ... insert ... update ...`, a JDBC batch) are cut apart where
// the next one begins; a `set fmtonly on|off` that ends a piece (`select * from t SET FMTONLY
// OFF`) is cut off too.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace gw::session {

// The statements of a client batch, trimmed, without empty ones.
std::vector<std::string> splitBatch(std::string_view text);

// The statements of a stored request: split at semicolons only.
std::vector<std::string> splitStatements(std::string_view text);

}  // namespace gw::session
