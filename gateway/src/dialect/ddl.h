// ddl.h - DB2 DDL (CREATE, ALTER, DROP) as PostgreSQL plans.
//
// Serves CREATE TABLE (DB2 types, NOT NULL WITH DEFAULT, PRIMARY KEY, named FOREIGN KEY with its
// delete rule, IN DATABASE d / IN d.ts / IN ts), CREATE [UNIQUE] INDEX (DESC, CLUSTER), CREATE
// VIEW (its text kept for SYSVIEWS), CREATE DATABASE / TABLESPACE (the registry), ALTER TABLE (ADD
// column, PRIMARY KEY, DROP PRIMARY KEY, FOREIGN KEY, DROP FOREIGN KEY) and DROP TABLE / VIEW /
// INDEX with DB2's cascading. Each translator is handed the statement's tokens with the cursor
// past the leading keyword(s) and answers the plan, or throws Failure.
#pragma once

#include <string_view>
#include <vector>

#include "cursor.h"
#include "dialect.h"
#include "lexer.h"

namespace gw::dialect {

// The cursor stands after CREATE.
Plan translateCreate(Cursor& cursor, const std::vector<Token>& tokens, const Context& context,
                     std::string_view statement);
// The cursor stands after ALTER.
Plan translateAlter(Cursor& cursor, const std::vector<Token>& tokens, const Context& context);
// The cursor stands after DROP.
Plan translateDrop(Cursor& cursor, const Context& context);

}  // namespace gw::dialect
