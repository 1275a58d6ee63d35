// catalog_live.h - running DB2 statements through the live gateway for the catalog tests, and the
// schema they read.
//
// The catalog tests speak to kwgateway over TDS with DB-Library, as the driver does: a statement's
// first result set comes back with its columns' wire types and lengths and with every value as
// text, trailing blanks removed (the driver's binding removes them too); a failure comes back as
// the SQLCODE of the gateway's 21002 message and the DB2 text of its 21000 message.
#pragma once

#include <algorithm>
#include <cstring>
#include <optional>
#include <set>

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
    Rows rows;                  // values as text without trailing blanks; NULL is "<null>"
    std::vector<Rows> results;  // the rows of every result set, `rows` the first's
    int status = -1;            // the return status a procedure ended with
    std::vector<std::pair<std::string, std::string>> returned;  // output parameters: name, value
};

// An output parameter's value as text.
inline std::string returnedValue(DBPROCESS* dbp, int i) {
    const BYTE* data = dbretdata(dbp, i);
    const int length = dbretlen(dbp, i);
    if (data == nullptr || length <= 0) {
        return "<null>";
    }
    if (dbrettype(dbp, i) == SYBINT4 || dbrettype(dbp, i) == SYBINTN) {
        DBINT v = 0;
        std::memcpy(&v, data, sizeof v);
        return std::to_string(v);
    }
    return std::string(reinterpret_cast<const char*>(data), static_cast<size_t>(length));
}

// Reads the answer of a batch or call just sent (`failed` when sending it failed): its result
// sets, the columns of the first, its return status, output parameters and failure.
inline Answer readAnswer(kwtest::DbClient& client, bool failed) {
    Answer a;
    DBPROCESS* dbp = client.get();
    RETCODE rc;
    while (!failed && (rc = dbresults(dbp)) != NO_MORE_RESULTS && !(failed = rc == FAIL)) {
        if (dbnumcols(dbp) == 0) {
            continue;
        }
        for (int c = 1; a.results.empty() && c <= dbnumcols(dbp); ++c) {
            a.columns.push_back(Column{dbcolname(dbp, c), dbcoltype(dbp, c), dbcollen(dbp, c)});
        }
        a.results.push_back(kwtest::fetchAll(dbp));
        for (auto& row : a.results.back()) {
            for (std::string& value : row) {
                value.erase(value.find_last_not_of(' ') + 1);
            }
        }
    }
    client.drain();
    if (!a.results.empty()) {
        a.rows = a.results.front();
    }
    if (dbhasretstat(dbp)) {
        a.status = dbretstatus(dbp);
    }
    for (int i = 1; i <= dbnumrets(dbp); ++i) {
        const char* name = dbretname(dbp, i);
        a.returned.emplace_back(name ? name : "", returnedValue(dbp, i));
    }
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

// A parameter of a remote procedure call: by name ("@x") or by position (""), a text or an
// integer, NULL when it has no value; an output parameter asks for its value back.
struct Param {
    std::string name;
    std::optional<std::string> text;
    std::optional<DBINT> integer;
    bool output = false;
};
inline Param text(const std::string& name, const std::string& value) {
    return Param{name, value, std::nullopt, false};
}
inline Param number(const std::string& name, DBINT value) {
    return Param{name, std::nullopt, value, false};
}
inline Param null(const std::string& name) {
    return Param{name, std::nullopt, std::nullopt, false};
}
inline Param output(Param p) {
    p.output = true;
    return p;
}

// Calls `procedure` by remote procedure call (dbrpcinit, dbrpcparam, dbrpcsend), as FreeTDS ODBC
// and jTDS call procedures, and reads the whole answer.
inline Answer rpc(kwtest::DbClient& client, const std::string& procedure, std::vector<Param> params) {
    DBPROCESS* dbp = client.get();
    client.clearMessages();
    if (dbrpcinit(dbp, const_cast<char*>(procedure.c_str()), 0) != SUCCEED) {
        ADD_FAILURE() << "dbrpcinit " << procedure;
        return Answer{};
    }
    for (Param& p : params) {
        const char* name = p.name.empty() ? nullptr : p.name.c_str();
        const BYTE status = p.output ? DBRPCRETURN : 0;
        const DBINT maxlen = p.output ? 255 : -1;
        RETCODE rc =
            p.integer ? dbrpcparam(dbp, name, status, SYBINT4, -1, -1, reinterpret_cast<BYTE*>(&*p.integer))
            : p.text  ? dbrpcparam(dbp, name, status, SYBVARCHAR, maxlen, static_cast<DBINT>(p.text->size()),
                                   reinterpret_cast<BYTE*>(p.text->data()))
                      : dbrpcparam(dbp, name, status, SYBVARCHAR, maxlen, 0, nullptr);
        if (rc != SUCCEED) {
            ADD_FAILURE() << "dbrpcparam " << p.name;
        }
    }
    return readAnswer(client, dbrpcsend(dbp) != SUCCEED || dbsqlok(dbp) != SUCCEED);
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

// The eight catalog views, which every table list shows.
inline const std::vector<std::string>& catalogViews() {
    static const std::vector<std::string> views = {"SYSCOLAUTH", "SYSCOLUMNS", "SYSDUMMY1", "SYSINDEXES",
                                                   "SYSKEYS",    "SYSTABAUTH", "SYSTABLES", "SYSVIEWS"};
    return views;
}

// The rows whose owner and name (at the given positions) are the fixture's or the catalog's:
// other tests of a program add tables of their own.
inline Rows fixtureTables(const Rows& rows, size_t owner, size_t name) {
    static const std::set<std::string> tables = {"DEPT",          "EMP",    "PROJ",    "EMPDEPT",
                                                 "PCSQL_HOSTLIB", "ASSIGN", "SMITHEMP"};
    Rows kept;
    for (const auto& r : rows) {
        if (r[owner] == "SYSIBM" || tables.count(r[name]) != 0) {
            kept.push_back(r);
        }
    }
    return kept;
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
