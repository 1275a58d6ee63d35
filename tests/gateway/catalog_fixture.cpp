// catalog_fixture.cpp - builds the catalog tests' schema through the gateway, in DB2 SQL.
#include "catalog_fixture.h"

#include <fmt/format.h>

namespace kwcat {

void buildFixture() {
    static bool built = false;
    if (built) {
        return;
    }
    built = true;
    auto joe = connect(kwtest::kJoe);
    const char* joeStatements[] = {
        "CREATE TABLE DEPT (DEPTNO CHAR(3) NOT NULL, DEPTNAME VARCHAR(36) NOT NULL, MGRNO INTEGER, "
        "PRIMARY KEY (DEPTNO))",
        "CREATE UNIQUE INDEX XDEPT ON DEPT (DEPTNO)",
        "CREATE TABLE EMP (EMPNO INTEGER NOT NULL, WORKDEPT CHAR(3) NOT NULL, LASTNAME VARCHAR(15) NOT NULL, "
        "SALARY DECIMAL(9,2), BONUS FLOAT, EDLEVEL SMALLINT NOT NULL WITH DEFAULT, HIREDATE DATE, STARTTIME "
        "TIME, "
        "CHANGED TIMESTAMP, RESUME LONG VARCHAR, PRIMARY KEY (EMPNO, WORKDEPT), "
        "FOREIGN KEY FDEPT (WORKDEPT) REFERENCES DEPT ON DELETE CASCADE)",
        "CREATE UNIQUE INDEX XEMPNAME ON EMP (LASTNAME, EMPNO DESC)",
        "CREATE INDEX XEMPHIRE ON EMP (HIREDATE DESC) CLUSTER",
        "CREATE TABLE PROJ (PROJNO CHAR(6) NOT NULL, DEPTNO CHAR(3), RESPEMP INTEGER, RESPDEPT CHAR(3), "
        "PRIMARY KEY (PROJNO), FOREIGN KEY FPDEPT (DEPTNO) REFERENCES DEPT ON DELETE SET NULL, "
        "FOREIGN KEY FPEMP (RESPEMP, RESPDEPT) REFERENCES EMP)",
        "CREATE INDEX KWCX.XPROJ ON PROJ (RESPEMP)",
        "CREATE VIEW EMPDEPT (EMPNO, LASTNAME, DEPTNAME) AS SELECT E.EMPNO, E.LASTNAME, D.DEPTNAME "
        "FROM EMP E, DEPT D WHERE E.WORKDEPT = D.DEPTNO",
        "INSERT INTO DEPT VALUES ('A00', 'SPIFFY COMPUTER SERVICE DIV.', 10)",
        "INSERT INTO DEPT VALUES ('D11', 'MANUFACTURING SYSTEMS', 60)",
        "INSERT INTO EMP VALUES (10, 'A00', 'HAAS', 52750.00, 1000, 18, '1965-01-01', '8.00.00', "
        "'2001-3-5-7.43.54.000120', 'President')",
        "INSERT INTO EMP (EMPNO, WORKDEPT, LASTNAME, SALARY, HIREDATE, STARTTIME, CHANGED) "
        "VALUES (60, 'D11', 'STERN', 32250.00, '9/14/1973', '17.30.15', '1999-12-31-23.59.59.999999')",
        "INSERT INTO PROJ VALUES ('AD3100', 'D11', 10, 'A00')",
        "GRANT SELECT, UPDATE (SALARY, BONUS) ON EMP TO SMITH",
        "GRANT ALTER ON EMP TO SMITH",
        "GRANT SELECT ON DEPT TO PUBLIC",
        "GRANT ALTER, INDEX, INSERT ON PROJ TO SMITH WITH GRANT OPTION",
    };
    for (const char* sql : joeStatements) {
        must(*joe, sql);
    }
    auto smith = connect(kwtest::kSmith);
    const char* smithStatements[] = {
        "CREATE TABLE PCSQL_HOSTLIB (REQ_NAME CHAR(12) NOT NULL, REQ_TEXT VARCHAR(4046) NOT NULL)",
        "CREATE UNIQUE INDEX XHOSTLIB ON PCSQL_HOSTLIB (REQ_NAME)",
        "INSERT INTO PCSQL_HOSTLIB VALUES ('DEPTLIST', 'SELECT DEPTNO, DEPTNAME FROM JOE.DEPT')",
        "CREATE TABLE ASSIGN (EMPNO INTEGER NOT NULL, WORKDEPT CHAR(3) NOT NULL, PROJNO CHAR(6) NOT NULL, "
        "PRIMARY KEY (EMPNO, WORKDEPT, PROJNO), "
        "FOREIGN KEY FAEMP (EMPNO, WORKDEPT) REFERENCES JOE.EMP ON DELETE CASCADE, "
        "FOREIGN KEY FAPROJ (PROJNO) REFERENCES JOE.PROJ)",
        "CREATE VIEW SMITHEMP AS SELECT EMPNO, LASTNAME FROM JOE.EMP",
        "GRANT SELECT ON ASSIGN TO PUBLIC",
    };
    for (const char* sql : smithStatements) {
        must(*smith, sql);
    }
}

std::string tableListStatement(const std::string& user, bool visible, const std::string& creator,
                               const std::string& table) {
    const std::string o = "SYSIBM";
    std::string sql = fmt::format(
        "SELECT DISTINCT {0}.SYSTABAUTH.TCREATOR, {0}.SYSTABAUTH.TTNAME, {0}.SYSTABLES.TYPE FROM "
        "{0}.SYSTABAUTH, "
        "{0}.SYSTABLES WHERE ( {0}.SYSTABAUTH.TTNAME = {0}.SYSTABLES.NAME AND {0}.SYSTABAUTH.TCREATOR = "
        "{0}.SYSTABLES.CREATOR AND ( {0}.SYSTABAUTH.GRANTEE = '{1}' OR ",
        o, user);
    sql += o + ".SYSTABAUTH.GRANTEE = 'PUBLIC' OR " + o + ".SYSTABAUTH.GRANTEE = 'public' ) ) AND (" + o +
           ".SYSTABAUTH.SELECTAUTH = 'G' ";
    if (!visible) {
        return sql + ") ";
    }
    sql += "OR " + o + ".SYSTABAUTH.SELECTAUTH = 'Y') ";
    if (!table.empty()) {
        sql += " AND  (CREATOR = '" + creator + "' AND NAME = '" + table + "') ";
    }
    return sql;
}

}  // namespace kwcat
