// catalog_live.h - running DB2 statements through the live gateway for the catalog tests, and the
// schema they read.
//
// The catalog tests speak to kwgateway over TDS with DB-Library, as the driver does: a statement's
// first result set comes back with its columns' wire types and lengths and with every value as
// text, trailing blanks removed (the driver's binding removes them too); a failure comes back as
// the SQLCODE of the gateway's 21002 message and the DB2 text of its 21000 message.
#pragma once

#include <algorithm>

#include "live.h"

namespace kwcat {

using kwtest::env;
using kwtest::Rows;

struct Column {
    std::string name;
    int type = 0;    // SYBCHAR, SYBVARCHAR, SYBINTN, ...
    int length = 0;  // the wire length (dbcollen)
};

struct Answer {
    bool ok = false;
    std::string sqlcode;  // of a failure: "-204", ...
    std::string message;  // of a failure: the DB2 text after "DG21000: "
    std::vector<Column> columns;
    Rows rows;        // values as text without trailing blanks; NULL is "<null>"
    int status = -1;  // the return status a procedure ended with
};

// Reads the answer of a batch or call just sent (`failed` when sending it failed): its first
// result set, its return status and its failure.
inline Answer readAnswer(kwtest::DbClient& client, bool failed) {
    Answer a;
    DBPROCESS* dbp = client.get();
    RETCODE rc;
    while (!failed && (rc = dbresults(dbp)) != NO_MORE_RESULTS && !(failed = rc == FAIL)) {
        if (!a.columns.empty() || dbnumcols(dbp) == 0) {
            kwtest::fetchAll(dbp);  // a later result set
            continue;
        }
        for (int c = 1; c <= dbnumcols(dbp); ++c) {
            a.columns.push_back(Column{dbcolname(dbp, c), dbcoltype(dbp, c), dbcollen(dbp, c)});
        }
        a.rows = kwtest::fetchAll(dbp);
        for (auto& row : a.rows) {
            for (std::string& value : row) {
                value.erase(value.find_last_not_of(' ') + 1);
            }
        }
    }
    if (dbhasretstat(dbp)) {
        a.status = dbretstatus(dbp);
    }
    client.drain();
    a.sqlcode = kwtest::reportedCode(client);
    for (const kwtest::Message& m : kwtest::serverMessages(client, 21000)) {
        if (m.text.rfind("DG21000: ", 0) == 0) {
            a.message = m.text.substr(9);
        }
    }
    a.ok = !failed && a.sqlcode.empty();
    return a;
}

// Runs one batch and answers its first result set (or its failure).
inline Answer ask(kwtest::DbClient& client, const std::string& sql) {
    client.clearMessages();
    return readAnswer(client, !client.exec(sql));
}

// Runs a statement that must succeed.
inline Answer must(kwtest::DbClient& client, const std::string& sql) {
    Answer a = ask(client, sql);
    if (!a.ok) {
        ADD_FAILURE() << "failed (" << a.sqlcode << " " << a.message << "): " << sql;
    }
    return a;
}

// Rows in a fixed order, for results that come without ORDER BY.
inline Rows sorted(Rows rows) {
    std::sort(rows.begin(), rows.end());
    return rows;
}

// The schema the catalog tests read, created once per program through the gateway in DB2 SQL by
// JOE and SMITH: DEPT, EMP (every DB2 type) and PROJ with their keys, indexes and foreign keys (one
// index under another creator, KWCX), a view EMPDEPT; SMITH's stored request table, ASSIGN with a
// three-column key referring to JOE's tables, and a view SMITHEMP of JOE.EMP; and grants to
// SMITH and PUBLIC.
inline void buildFixture() {
    static bool built = false;
    if (built) {
        return;
    }
    built = true;
    auto joe = kwtest::connectAs(kwtest::kJoe);
    for (const char* sql : {
             "CREATE TABLE DEPT (DEPTNO CHAR(3) NOT NULL, DEPTNAME VARCHAR(36) NOT NULL, MGRNO INTEGER, "
             "PRIMARY KEY (DEPTNO))",
             "CREATE UNIQUE INDEX XDEPT ON DEPT (DEPTNO)",
             "CREATE TABLE EMP (EMPNO INTEGER NOT NULL, WORKDEPT CHAR(3) NOT NULL, LASTNAME VARCHAR(15) NOT "
             "NULL, SALARY DECIMAL(9,2), BONUS FLOAT, EDLEVEL SMALLINT NOT NULL WITH DEFAULT, HIREDATE DATE, "
             "STARTTIME TIME, CHANGED TIMESTAMP, RESUME LONG VARCHAR, PRIMARY KEY (EMPNO, WORKDEPT), FOREIGN "
             "KEY FDEPT (WORKDEPT) REFERENCES DEPT ON DELETE CASCADE)",
             "CREATE UNIQUE INDEX XEMPNAME ON EMP (LASTNAME, EMPNO DESC)",
             "CREATE INDEX XEMPHIRE ON EMP (HIREDATE DESC) CLUSTER",
             "CREATE TABLE PROJ (PROJNO CHAR(6) NOT NULL, DEPTNO CHAR(3), RESPEMP INTEGER, RESPDEPT CHAR(3), "
             "PRIMARY KEY (PROJNO), FOREIGN KEY FPDEPT (DEPTNO) REFERENCES DEPT ON DELETE SET NULL, FOREIGN "
             "KEY FPEMP (RESPEMP, RESPDEPT) REFERENCES EMP)",
             "CREATE INDEX KWCX.XPROJ ON PROJ (RESPEMP)",
             "CREATE VIEW EMPDEPT (EMPNO, LASTNAME, DEPTNAME) AS SELECT E.EMPNO, E.LASTNAME, D.DEPTNAME FROM "
             "EMP E, DEPT D WHERE E.WORKDEPT = D.DEPTNO",
             "INSERT INTO DEPT VALUES ('A00', 'SPIFFY COMPUTER SERVICE DIV.', 10)",
             "INSERT INTO DEPT VALUES ('D11', 'MANUFACTURING SYSTEMS', 60)",
             "INSERT INTO EMP VALUES (10, 'A00', 'HAAS', 52750.00, 1000, 18, '1965-01-01', '8.00.00', "
             "'2001-3-5-7.43.54.000120', 'President')",
             "INSERT INTO EMP (EMPNO, WORKDEPT, LASTNAME, SALARY, HIREDATE, STARTTIME, CHANGED) VALUES (60, "
             "'D11', 'STERN', 32250.00, '9/14/1973', '17.30.15', '1999-12-31-23.59.59.999999')",
             "INSERT INTO PROJ VALUES ('AD3100', 'D11', 10, 'A00')",
             "GRANT SELECT, UPDATE (SALARY, BONUS) ON EMP TO SMITH",
             "GRANT ALTER ON EMP TO SMITH",
             "GRANT SELECT ON DEPT TO PUBLIC",
             "GRANT ALTER, INDEX, INSERT ON PROJ TO SMITH WITH GRANT OPTION",
         }) {
        must(*joe, sql);
    }
    auto smith = kwtest::connectAs(kwtest::kSmith);
    for (const char* sql : {
             "CREATE TABLE PCSQL_HOSTLIB (REQ_NAME CHAR(12) NOT NULL, REQ_TEXT VARCHAR(4046) NOT NULL)",
             "CREATE UNIQUE INDEX XHOSTLIB ON PCSQL_HOSTLIB (REQ_NAME)",
             "CREATE TABLE ASSIGN (EMPNO INTEGER NOT NULL, WORKDEPT CHAR(3) NOT NULL, PROJNO CHAR(6) NOT "
             "NULL, PRIMARY KEY (EMPNO, WORKDEPT, PROJNO), FOREIGN KEY FAEMP (EMPNO, WORKDEPT) REFERENCES "
             "JOE.EMP ON DELETE CASCADE, FOREIGN KEY FAPROJ (PROJNO) REFERENCES JOE.PROJ)",
             "CREATE VIEW SMITHEMP AS SELECT EMPNO, LASTNAME FROM JOE.EMP",
             "GRANT SELECT ON ASSIGN TO PUBLIC",
         }) {
        must(*smith, sql);
    }
}

// A test with a session of JOE and one of SMITH; joe() and smith() answer the rows of statements
// that must succeed.
class Sessions : public ::testing::Test {
  protected:
    void SetUp() override {
        joe_ = kwtest::connectAs(kwtest::kJoe);
        smith_ = kwtest::connectAs(kwtest::kSmith);
        ASSERT_TRUE(joe_->connected() && smith_->connected());
    }
    Rows joe(const std::string& sql) { return must(*joe_, sql).rows; }
    Rows smith(const std::string& sql) { return must(*smith_, sql).rows; }
    std::unique_ptr<kwtest::DbClient> joe_;
    std::unique_ptr<kwtest::DbClient> smith_;
};

// Sessions that read the fixture schema.
class FixtureSessions : public Sessions {
  protected:
    static void SetUpTestSuite() { buildFixture(); }
};

// The table-list statement the driver sends for a user: visible mode (SELECTAUTH G or Y) or
// grant-only mode (G), optionally for one table.
inline std::string tableListStatement(const std::string& user, bool visible, const std::string& creator = "",
                                      const std::string& table = "") {
    std::string sql =
        "SELECT DISTINCT SYSIBM.SYSTABAUTH.TCREATOR, SYSIBM.SYSTABAUTH.TTNAME, SYSIBM.SYSTABLES.TYPE FROM "
        "SYSIBM.SYSTABAUTH, SYSIBM.SYSTABLES WHERE ( SYSIBM.SYSTABAUTH.TTNAME = SYSIBM.SYSTABLES.NAME AND "
        "SYSIBM.SYSTABAUTH.TCREATOR = SYSIBM.SYSTABLES.CREATOR AND ( SYSIBM.SYSTABAUTH.GRANTEE = '" +
        user +
        "' OR SYSIBM.SYSTABAUTH.GRANTEE = 'PUBLIC' OR SYSIBM.SYSTABAUTH.GRANTEE = 'public' ) ) AND "
        "(SYSIBM.SYSTABAUTH.SELECTAUTH = 'G' ";
    if (!visible) {
        return sql + ") ";
    }
    sql += "OR SYSIBM.SYSTABAUTH.SELECTAUTH = 'Y') ";
    return table.empty() ? sql : sql + " AND  (CREATOR = '" + creator + "' AND NAME = '" + table + "') ";
}

}  // namespace kwcat
