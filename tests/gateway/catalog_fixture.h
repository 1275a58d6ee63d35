// catalog_fixture.h - the schema the catalog tests read, built once per test program.
//
// Two owners, JOE and SMITH (the environment's standard users), create through the gateway, in
// DB2 SQL, the tables the catalog tests expect to find:
//   JOE.DEPT   (DEPTNO CHAR(3) key; unique index XDEPT on the key, which becomes the primary index)
//   JOE.EMP    (every DB2 type; key EMPNO, WORKDEPT; FDEPT -> DEPT ON DELETE CASCADE; unique index
//               XEMPNAME (LASTNAME, EMPNO DESC); index XEMPHIRE (HIREDATE DESC) CLUSTER)
//   JOE.PROJ   (key PROJNO; FPDEPT -> DEPT ON DELETE SET NULL; FPEMP (RESPEMP, RESPDEPT) -> EMP,
//               restrict; index KWCX.XPROJ created under another creator)
//   JOE.EMPDEPT, a view of EMP and DEPT
//   SMITH.PCSQL_HOSTLIB (the stored request table), SMITH.ASSIGN (key of three columns; FAEMP ->
//               JOE.EMP ON DELETE CASCADE; FAPROJ -> JOE.PROJ), SMITH.SMITHEMP, a view of JOE.EMP
// Grants: EMP SELECT and UPDATE (SALARY, BONUS) and ALTER to SMITH; DEPT SELECT to PUBLIC; PROJ
// ALTER, INDEX and INSERT to SMITH with grant option; ASSIGN SELECT to PUBLIC.
#pragma once

#include <string>

#include "catalog_live.h"

namespace kwcat {

// Builds the schema on first use; later calls do nothing.
void buildFixture();

// The table-list statement the driver sends for a user: visible mode (SELECTAUTH G or Y) or
// grant-only mode (G), optionally for one table.
std::string tableListStatement(const std::string& user, bool visible, const std::string& creator = "",
                               const std::string& table = "");

}  // namespace kwcat
