// grants.h - DB2 GRANT and REVOKE of table privileges as PostgreSQL plans.
//
// Serves GRANT / REVOKE of ALL, ALTER, DELETE, INDEX, INSERT, SELECT, UPDATE and UPDATE (columns)
// on tables and views, to authorization ids and PUBLIC, WITH GRANT OPTION. SELECT, INSERT, UPDATE
// and DELETE become PostgreSQL grants, so PostgreSQL enforces them; ALTER and INDEX go to the side
// table through kwgw routines. The cursor stands after GRANT or REVOKE.
#pragma once

#include "cursor.h"
#include "dialect.h"

namespace gw::dialect {

Plan translateGrant(Cursor& cursor, const Context& context);
Plan translateRevoke(Cursor& cursor, const Context& context);

}  // namespace gw::dialect
