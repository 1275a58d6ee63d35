/* odbc_client.c - the FreeTDS ODBC driver against a live gateway: prepared statements with bound
 * parameters of several types, executed more than once, and the values read back; catalog
 * functions, which the driver sends as remote procedure calls (SQLPrimaryKeys, SQLForeignKeys,
 * SQLTables, SQLColumns); and units of work with autocommit off, which it begins and ends with its
 * own transaction statements, checked from a second connection.
 *
 * Usage: odbc_client --probe DRIVER   exits 0 when the driver library can be read (the runner's
 *                                     check that the ODBC packages are installed);
 *        odbc_client DRIVER           runs the checks with the gateway named by KWGW_PORT,
 *                                     KWGW_DATABASE, KWGW_USER and KWGW_PASSWORD.
 * The driver is named by its path in the connection string, so no odbcinst.ini is needed. Every
 * check prints what it expected and what came; the exit status is the number of failed checks
 * (capped), 0 when all passed. */
#include <sql.h>
#include <sqlext.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

static int failures = 0;

static void check(int ok, const char* what, ...) {
    va_list ap;
    va_start(ap, what);
    printf("%s: ", ok ? "ok" : "FAIL");
    vprintf(what, ap);
    printf("\n");
    va_end(ap);
    if (!ok) {
        ++failures;
    }
}

/* The diagnostic records of a handle, joined, for messages and for checks on error texts. */
static void diagnostics(SQLSMALLINT type, SQLHANDLE handle, char* out, size_t size) {
    SQLCHAR state[6], text[512];
    SQLINTEGER native;
    SQLSMALLINT length;
    size_t used = 0;
    out[0] = '\0';
    for (SQLSMALLINT i = 1; used + 1 < size; ++i) {
        if (!SQL_SUCCEEDED(SQLGetDiagRec(type, handle, i, state, &native, text, sizeof text, &length))) {
            break;
        }
        used += (size_t)snprintf(out + used, size - used, "[%s] %s; ", (char*)state, (char*)text);
    }
}

static int succeeded(SQLRETURN rc, SQLSMALLINT type, SQLHANDLE handle, const char* what) {
    if (SQL_SUCCEEDED(rc)) {
        return 1;
    }
    char diag[2048];
    diagnostics(type, handle, diag, sizeof diag);
    check(0, "%s returned %d: %s", what, (int)rc, diag);
    return 0;
}

/* Column `col` of the current row as text; "<null>" for NULL. */
static const char* column(SQLHSTMT st, SQLUSMALLINT col, char* buf, SQLLEN size) {
    SQLLEN ind = 0;
    if (!SQL_SUCCEEDED(SQLGetData(st, col, SQL_C_CHAR, buf, size, &ind))) {
        return "<error>";
    }
    return ind == SQL_NULL_DATA ? "<null>" : buf;
}

static void expectColumn(SQLHSTMT st, SQLUSMALLINT col, const char* expected, const char* what) {
    char buf[128];
    const char* got = column(st, col, buf, sizeof buf);
    check(strcmp(got, expected) == 0, "%s: expected '%s', got '%s'", what, expected, got);
}

/* One row to insert through the prepared INSERT: each pointer NULL means an SQL NULL. */
struct Row {
    SQLINTEGER key;
    const char* amount;
    const char* name;
    const SQL_DATE_STRUCT* born;
    const SQL_TIMESTAMP_STRUCT* seen;
};

static void insertRows(SQLHDBC dbc, const struct Row* rows, int count) {
    SQLHSTMT st;
    SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st);
    SQLRETURN rc = SQLPrepare(
        st, (SQLCHAR*)"INSERT INTO CL_TYPES (K, AMOUNT, NAME, BORN, SEEN) VALUES (?, ?, ?, ?, ?)", SQL_NTS);
    if (!succeeded(rc, SQL_HANDLE_STMT, st, "SQLPrepare of the INSERT")) {
        SQLFreeHandle(SQL_HANDLE_STMT, st);
        return;
    }
    SQLSMALLINT params = 0;
    SQLNumParams(st, &params);
    check(params == 5, "the INSERT has 5 parameter markers (got %d)", params);

    SQLINTEGER key = 0;
    char amount[32], name[32];
    SQL_DATE_STRUCT born;
    SQL_TIMESTAMP_STRUCT seen;
    SQLLEN keyInd = 0, amountInd = 0, nameInd = 0, bornInd = 0, seenInd = 0;
    SQLBindParameter(st, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &key, 0, &keyInd);
    SQLBindParameter(st, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_DECIMAL, 9, 2, amount, sizeof amount,
                     &amountInd);
    SQLBindParameter(st, 3, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 20, 0, name, sizeof name, &nameInd);
    SQLBindParameter(st, 4, SQL_PARAM_INPUT, SQL_C_TYPE_DATE, SQL_TYPE_DATE, 10, 0, &born, 0, &bornInd);
    SQLBindParameter(st, 5, SQL_PARAM_INPUT, SQL_C_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP, 23, 3, &seen, 0,
                     &seenInd);
    for (int i = 0; i < count; ++i) {
        const struct Row* r = &rows[i];
        key = r->key;
        amountInd = r->amount ? SQL_NTS : SQL_NULL_DATA;
        snprintf(amount, sizeof amount, "%s", r->amount ? r->amount : "");
        nameInd = r->name ? SQL_NTS : SQL_NULL_DATA;
        snprintf(name, sizeof name, "%s", r->name ? r->name : "");
        bornInd = r->born ? 0 : SQL_NULL_DATA;
        if (r->born) {
            born = *r->born;
        }
        seenInd = r->seen ? 0 : SQL_NULL_DATA;
        if (r->seen) {
            seen = *r->seen;
        }
        rc = SQLExecute(st);
        if (succeeded(rc, SQL_HANDLE_STMT, st, "SQLExecute of the INSERT")) {
            SQLLEN affected = -1;
            SQLRowCount(st, &affected);
            check(affected == 1, "the INSERT of row %d affected 1 row (got %ld)", (int)key, (long)affected);
        }
        SQLFreeStmt(st, SQL_CLOSE);
    }
    SQLFreeHandle(SQL_HANDLE_STMT, st);
}

/* The prepared SELECT, executed once per key: the statement's columns are known after
 * SQLPrepare, and each execution returns the row stored under its key. */
static void selectRows(SQLHDBC dbc) {
    SQLHSTMT st;
    SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st);
    SQLRETURN rc =
        SQLPrepare(st, (SQLCHAR*)"SELECT K, AMOUNT, NAME, BORN, SEEN FROM CL_TYPES WHERE K = ?", SQL_NTS);
    if (!succeeded(rc, SQL_HANDLE_STMT, st, "SQLPrepare of the SELECT")) {
        SQLFreeHandle(SQL_HANDLE_STMT, st);
        return;
    }
    SQLSMALLINT columns = 0;
    SQLNumResultCols(st, &columns);
    check(columns == 5, "the prepared SELECT describes 5 columns before it runs (got %d)", columns);
    SQLCHAR label[64];
    SQLSMALLINT labelLength = 0;
    SQLColAttribute(st, 3, SQL_DESC_NAME, label, sizeof label, &labelLength, NULL);
    check(strcmp((char*)label, "NAME") == 0, "the third column is NAME (got '%s')", (char*)label);

    SQLINTEGER key = 0;
    SQLLEN keyInd = 0;
    SQLBindParameter(st, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &key, 0, &keyInd);

    static const struct {
        SQLINTEGER key;
        const char* values[5];
    } kExpected[] = {
        /* DECIMAL comes back with its scale, DATE as yyyy-mm-dd, TIMESTAMP in DB2's form. */
        {1, {"1", "1234.56", "O'Brien", "2024-02-29", "2023-12-31-23.59.58.500000"}},
        {2, {"2", "<null>", "<null>", "<null>", "<null>"}},
        {3, {"3", "-0.07", "  padded", "1900-01-01", "1999-01-01-00.00.00.000000"}},
    };
    static const char* const kNames[] = {"K", "AMOUNT", "NAME", "BORN", "SEEN"};
    for (size_t i = 0; i < sizeof kExpected / sizeof kExpected[0]; ++i) {
        key = kExpected[i].key;
        rc = SQLExecute(st);
        if (!succeeded(rc, SQL_HANDLE_STMT, st, "SQLExecute of the SELECT")) {
            continue;
        }
        rc = SQLFetch(st);
        check(rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO, "row %d is found", (int)key);
        if (SQL_SUCCEEDED(rc)) {
            for (int c = 0; c < 5; ++c) {
                char what[64];
                snprintf(what, sizeof what, "row %d column %s", (int)key, kNames[c]);
                expectColumn(st, (SQLUSMALLINT)(c + 1), kExpected[i].values[c], what);
            }
            check(SQLFetch(st) == SQL_NO_DATA, "row %d comes once", (int)key);
        }
        SQLFreeStmt(st, SQL_CLOSE);
    }
    SQLFreeHandle(SQL_HANDLE_STMT, st);
}

/* A statement PostgreSQL cannot prepare fails at SQLPrepare with the DB2 SQLCODE in the text,
 * and the connection goes on working. */
static void prepareFailure(SQLHDBC dbc) {
    SQLHSTMT st;
    SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st);
    SQLRETURN rc = SQLPrepare(st, (SQLCHAR*)"SELECT NO_SUCH_COLUMN FROM CL_TYPES WHERE K = ?", SQL_NTS);
    char diag[2048];
    diagnostics(SQL_HANDLE_STMT, st, diag, sizeof diag);
    check(rc == SQL_ERROR, "SQLPrepare of an unknown column fails (returned %d)", (int)rc);
    check(strstr(diag, "error code -206") != NULL, "the failure carries SQLCODE -206: %s", diag);
    SQLFreeHandle(SQL_HANDLE_STMT, st);

    SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st);
    rc = SQLExecDirect(st, (SQLCHAR*)"SELECT COUNT(*) FROM CL_TYPES", SQL_NTS);
    if (succeeded(rc, SQL_HANDLE_STMT, st, "SQLExecDirect after a failed prepare") &&
        SQL_SUCCEEDED(SQLFetch(st))) {
        expectColumn(st, 1, "3", "rows in CL_TYPES after the inserts");
    }
    SQLFreeHandle(SQL_HANDLE_STMT, st);
}

/* Runs a statement that must succeed and drops its results. */
static void execute(SQLHDBC dbc, const char* sql) {
    SQLHSTMT st;
    SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st);
    succeeded(SQLExecDirect(st, (SQLCHAR*)sql, SQL_NTS), SQL_HANDLE_STMT, st, sql);
    SQLFreeHandle(SQL_HANDLE_STMT, st);
}

/* The rows of a query, the first `columns` columns of each as text joined by '|', rows by ';'. */
static const char* rowsOf(SQLHDBC dbc, const char* sql, int columns, char* out, size_t size) {
    SQLHSTMT st;
    size_t used = 0;
    out[0] = '\0';
    SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st);
    if (succeeded(SQLExecDirect(st, (SQLCHAR*)sql, SQL_NTS), SQL_HANDLE_STMT, st, sql)) {
        while (SQL_SUCCEEDED(SQLFetch(st)) && used + 1 < size) {
            for (int c = 1; c <= columns && used + 1 < size; ++c) {
                char buf[128];
                used += (size_t)snprintf(out + used, size - used, "%s%s", c > 1 ? "|" : (used ? ";" : ""),
                                         column(st, (SQLUSMALLINT)c, buf, sizeof buf));
            }
        }
    }
    SQLFreeHandle(SQL_HANDLE_STMT, st);
    return out;
}

static void expectRows(SQLHDBC dbc, const char* sql, int columns, const char* expected, const char* what) {
    char got[2048];
    rowsOf(dbc, sql, columns, got, sizeof got);
    check(strcmp(got, expected) == 0, "%s: expected '%s', got '%s'", what, expected, got);
}

static void expectKeys(SQLHDBC dbc, const char* expected, const char* what) {
    expectRows(dbc, "SELECT K FROM CL_TX ORDER BY K", 1, expected, what);
}

static int endTran(SQLHDBC dbc, SQLSMALLINT completion) {
    return succeeded(SQLEndTran(SQL_HANDLE_DBC, dbc, completion), SQL_HANDLE_DBC, dbc,
                     completion == SQL_COMMIT ? "SQLEndTran commit" : "SQLEndTran rollback");
}

static int setAutocommit(SQLHDBC dbc, SQLULEN on) {
    return succeeded(SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, (SQLPOINTER)on, 0), SQL_HANDLE_DBC, dbc,
                     on ? "autocommit on" : "autocommit off");
}

/* SQLPrimaryKeys and SQLForeignKeys reach the gateway as calls of sp_pkeys and sp_fkeys with named
 * parameters; their rows are the keys of the tables, in DB2 names. */
static void catalogCalls(SQLHDBC dbc) {
    SQLHSTMT st;
    SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st);
    SQLRETURN rc = SQLPrimaryKeys(st, NULL, 0, (SQLCHAR*)"JOE", SQL_NTS, (SQLCHAR*)"CL_EMP", SQL_NTS);
    if (succeeded(rc, SQL_HANDLE_STMT, st, "SQLPrimaryKeys of CL_EMP")) {
        rc = SQLFetch(st);
        check(SQL_SUCCEEDED(rc), "CL_EMP has a primary key row");
        if (SQL_SUCCEEDED(rc)) {
            expectColumn(st, 2, "JOE", "the key's table owner");
            expectColumn(st, 3, "CL_EMP", "the key's table");
            expectColumn(st, 4, "EMPNO", "the key's column");
            expectColumn(st, 5, "1", "the column's place in the key");
            check(SQLFetch(st) == SQL_NO_DATA, "the key has one column");
        }
    }
    SQLFreeHandle(SQL_HANDLE_STMT, st);

    SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st);
    rc = SQLForeignKeys(st, NULL, 0, (SQLCHAR*)"JOE", SQL_NTS, (SQLCHAR*)"CL_DEPT", SQL_NTS, NULL, 0,
                        (SQLCHAR*)"JOE", SQL_NTS, (SQLCHAR*)"CL_EMP", SQL_NTS);
    if (succeeded(rc, SQL_HANDLE_STMT, st, "SQLForeignKeys from CL_EMP to CL_DEPT")) {
        rc = SQLFetch(st);
        check(SQL_SUCCEEDED(rc), "CL_EMP refers to CL_DEPT");
        if (SQL_SUCCEEDED(rc)) {
            expectColumn(st, 3, "CL_DEPT", "the parent table");
            expectColumn(st, 4, "DEPTNO", "the parent column");
            expectColumn(st, 7, "CL_EMP", "the child table");
            expectColumn(st, 8, "WORKDEPT", "the child column");
            expectColumn(st, 11, "1", "the delete rule is restrict (SQL_RESTRICT)");
            check(SQLFetch(st) == SQL_NO_DATA, "one foreign key column");
        }
    }
    SQLFreeHandle(SQL_HANDLE_STMT, st);
}

/* With autocommit off the driver sends BEGIN TRANSACTION and ends a unit of work with IF @@TRANCOUNT
 * > 0 COMMIT|ROLLBACK BEGIN TRANSACTION: work is held until SQLEndTran commits it, undone when it
 * rolls back, and a failed statement undoes only itself. When autocommit comes back on, the driver
 * ends the open unit of work with IF @@TRANCOUNT > 0 ROLLBACK. `other` (autocommit on) is the
 * second connection. */
static void transactions(SQLHDBC dbc, SQLHDBC other) {
    if (!setAutocommit(dbc, SQL_AUTOCOMMIT_OFF)) {
        return;
    }
    execute(dbc, "INSERT INTO CL_TX VALUES (1, 'one')");
    execute(dbc, "INSERT INTO CL_TX VALUES (2, 'two')");
    expectKeys(dbc, "1;2", "own uncommitted rows");
    expectRows(dbc, "SELECT @@TRANCOUNT", 1, "1", "@@trancount in the unit of work");
    expectKeys(other, "", "another connection before commit");
    if (endTran(dbc, SQL_COMMIT)) {
        expectKeys(other, "1;2", "another connection after commit");
    }

    execute(dbc, "INSERT INTO CL_TX VALUES (3, 'three')");
    execute(dbc, "UPDATE CL_TX SET NOTE = 'changed' WHERE K = 1");
    execute(dbc, "DELETE FROM CL_TX WHERE K = 2");
    expectKeys(dbc, "1;3", "own work before rollback");
    if (endTran(dbc, SQL_ROLLBACK)) {
        expectKeys(dbc, "1;2", "after rollback, this connection");
        expectKeys(other, "1;2", "after rollback, another connection");
        expectRows(other, "SELECT NOTE FROM CL_TX WHERE K = 1", 1, "one", "the update was undone");
    }

    execute(dbc, "INSERT INTO CL_TX VALUES (4, 'four')");
    SQLHSTMT st;
    SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st);
    SQLRETURN rc = SQLExecDirect(st, (SQLCHAR*)"INSERT INTO CL_TX VALUES (1, 'again')", SQL_NTS);
    char diag[2048];
    diagnostics(SQL_HANDLE_STMT, st, diag, sizeof diag);
    check(rc == SQL_ERROR && strstr(diag, "error code -803") != NULL,
          "a duplicate key in the unit of work fails with -803: %s", diag);
    SQLFreeHandle(SQL_HANDLE_STMT, st);
    execute(dbc, "INSERT INTO CL_TX VALUES (5, 'five')");
    if (endTran(dbc, SQL_COMMIT)) {
        expectKeys(other, "1;2;4;5", "work around a failed statement is committed");
    }
    execute(dbc, "DELETE FROM CL_TX WHERE K = 5");
    if (setAutocommit(dbc, SQL_AUTOCOMMIT_ON)) {
        /* FreeTDS rolls back what is pending when autocommit comes back on. */
        expectKeys(other, "1;2;4;5", "switching autocommit on ends the unit of work");
        execute(dbc, "DELETE FROM CL_TX WHERE K = 5");
        expectKeys(other, "1;2;4", "autocommit on again");
        expectRows(dbc, "SELECT @@TRANCOUNT", 1, "0", "@@trancount with autocommit on");
    }
}

/* The rows of a catalog call: the named columns of each row, as rowsOf joins them. */
static const char* catalogRows(SQLHSTMT st, const SQLUSMALLINT* columns, int count, char* out, size_t size) {
    size_t used = 0;
    out[0] = '\0';
    while (SQL_SUCCEEDED(SQLFetch(st)) && used + 1 < size) {
        for (int c = 0; c < count && used + 1 < size; ++c) {
            char buf[128];
            used += (size_t)snprintf(out + used, size - used, "%s%s", c ? "|" : (used ? ";" : ""),
                                     column(st, columns[c], buf, sizeof buf));
        }
    }
    SQLFreeStmt(st, SQL_CLOSE);
    return out;
}

/* SQLTables and SQLColumns, with the ODBC 3 names FreeTDS gives the result columns and the ODBC 3
 * codes it gives DATE, TIME and TIMESTAMP (91, 92, 93 for the procedure's 9, 10, 11). */
static void catalog(SQLHDBC dbc) {
    SQLHSTMT st;
    char got[4096];
    SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st);

    static const SQLUSMALLINT kTableColumns[] = {2, 3, 4}; /* TABLE_SCHEM, TABLE_NAME, TABLE_TYPE */
    SQLRETURN rc = SQLTables(st, NULL, 0, (SQLCHAR*)"JOE", SQL_NTS, (SQLCHAR*)"CL_%", SQL_NTS,
                             (SQLCHAR*)"TABLE", SQL_NTS);
    if (succeeded(rc, SQL_HANDLE_STMT, st, "SQLTables")) {
        SQLCHAR name[64];
        SQLSMALLINT length = 0;
        SQLColAttribute(st, 3, SQL_DESC_NAME, name, sizeof name, &length, NULL);
        check(strcmp((char*)name, "TABLE_NAME") == 0, "SQLTables' third column is TABLE_NAME (got '%s')",
              (char*)name);
        const char* expected =
            "JOE|CL_ALL|TABLE;JOE|CL_DEPT|TABLE;JOE|CL_EMP|TABLE;JOE|CL_TX|TABLE;JOE|CL_TYPES|TABLE";
        catalogRows(st, kTableColumns, 3, got, sizeof got);
        check(strcmp(got, expected) == 0, "SQLTables of JOE's tables: expected '%s', got '%s'", expected,
              got);
    }
    rc = SQLTables(st, NULL, 0, (SQLCHAR*)"JOE", SQL_NTS, (SQLCHAR*)"CL_EMP%", SQL_NTS, (SQLCHAR*)"VIEW",
                   SQL_NTS);
    if (succeeded(rc, SQL_HANDLE_STMT, st, "SQLTables of views")) {
        catalogRows(st, kTableColumns, 3, got, sizeof got);
        check(strcmp(got, "JOE|CL_EMP_V|VIEW") == 0, "SQLTables of views: got '%s'", got);
    }

    /* COLUMN_NAME, DATA_TYPE, TYPE_NAME, COLUMN_SIZE, DECIMAL_DIGITS, NULLABLE, ORDINAL_POSITION: the
     * driver renames the first ten columns and passes on the rest in Sybase's order, where
     * SS_DATA_TYPE and COLID come before COLUMN_DEF and ORDINAL_POSITION is the nineteenth. */
    static const SQLUSMALLINT kColumnColumns[] = {4, 5, 6, 7, 9, 11, 19};
    rc = SQLColumns(st, NULL, 0, (SQLCHAR*)"JOE", SQL_NTS, (SQLCHAR*)"CL_ALL", SQL_NTS, NULL, 0);
    if (succeeded(rc, SQL_HANDLE_STMT, st, "SQLColumns")) {
        static const struct {
            SQLUSMALLINT column;
            const char* name;
        } kNames[] = {
            {7, "COLUMN_SIZE"}, {9, "DECIMAL_DIGITS"}, {19, "ORDINAL_POSITION"}, {20, "IS_NULLABLE"}};
        for (size_t i = 0; i < sizeof kNames / sizeof kNames[0]; ++i) {
            SQLCHAR name[64] = "";
            SQLSMALLINT length = 0;
            SQLColAttribute(st, kNames[i].column, SQL_DESC_NAME, name, sizeof name, &length, NULL);
            check(strcmp((char*)name, kNames[i].name) == 0, "SQLColumns' column %d is %s (got '%s')",
                  (int)kNames[i].column, kNames[i].name, (char*)name);
        }
        const char* expected =
            "K|4|INTEGER|10|0|0|1;SI|5|SMALLINT|5|0|1|2;DEC|3|DECIMAL|11|3|1|3;FL|8|FLOAT|15|<null>|1|4;"
            "CH|1|CHAR|5|<null>|1|5;VC|12|VARCHAR|30|<null>|1|6;LV|-1|LONG VARCHAR|32700|<null>|1|7;"
            "DT|91|DATE|10|<null>|1|8;TM|92|TIME|8|0|1|9;TS|93|TIMESTAMP|26|6|1|10";
        catalogRows(st, kColumnColumns, 7, got, sizeof got);
        check(strcmp(got, expected) == 0, "SQLColumns of CL_ALL: expected '%s', got '%s'", expected, got);
    }
    SQLFreeHandle(SQL_HANDLE_STMT, st);
}

static SQLHDBC connectTo(SQLHENV env, const char* connect) {
    SQLHDBC dbc;
    SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
    SQLRETURN rc =
        SQLDriverConnect(dbc, NULL, (SQLCHAR*)connect, SQL_NTS, NULL, 0, NULL, SQL_DRIVER_NOPROMPT);
    if (!succeeded(rc, SQL_HANDLE_DBC, dbc, "SQLDriverConnect")) {
        SQLFreeHandle(SQL_HANDLE_DBC, dbc);
        return NULL;
    }
    return dbc;
}

int main(int argc, char** argv) {
    if (argc == 3 && strcmp(argv[1], "--probe") == 0) {
        return access(argv[2], R_OK) == 0 ? 0 : 1;
    }
    if (argc != 2) {
        fprintf(stderr, "usage: %s [--probe] DRIVER\n", argv[0]);
        return 2;
    }
    const char* port = getenv("KWGW_PORT");
    const char* database = getenv("KWGW_DATABASE");
    const char* user = getenv("KWGW_USER");
    const char* password = getenv("KWGW_PASSWORD");
    if (!port || !database || !user || !password) {
        fprintf(stderr, "KWGW_PORT, KWGW_DATABASE, KWGW_USER and KWGW_PASSWORD must be set\n");
        return 2;
    }
    char connect[1024];
    snprintf(
        connect, sizeof connect,
        "DRIVER=%s;SERVER=127.0.0.1;PORT=%s;TDS_Version=5.0;ClientCharset=UTF-8;DATABASE=%s;UID=%s;PWD=%s",
        argv[1], port, database, user, password);

    SQLHENV env;
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, (SQLPOINTER)SQL_OV_ODBC3, 0);
    SQLHDBC dbc = connectTo(env, connect);
    SQLHDBC other = connectTo(env, connect);
    if (!dbc || !other) {
        return 1;
    }

    static const SQL_DATE_STRUCT kLeapDay = {2024, 2, 29};
    static const SQL_TIMESTAMP_STRUCT kNewYearsEve = {2023, 12, 31, 23, 59, 58, 500000000};
    static const SQL_DATE_STRUCT kFirstDay = {1900, 1, 1};
    static const SQL_TIMESTAMP_STRUCT kMidnight = {1999, 1, 1, 0, 0, 0, 0};
    const struct Row rows[] = {
        {1, "1234.56", "O'Brien", &kLeapDay, &kNewYearsEve},
        {2, NULL, NULL, NULL, NULL},
        {3, "-0.07", "  padded", &kFirstDay, &kMidnight},
    };
    insertRows(dbc, rows, 3);
    selectRows(dbc);
    prepareFailure(dbc);
    catalogCalls(dbc);
    transactions(dbc, other);
    catalog(dbc);

    SQLDisconnect(other);
    SQLFreeHandle(SQL_HANDLE_DBC, other);
    SQLDisconnect(dbc);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, env);
    printf("%d check(s) failed\n", failures);
    return failures > 100 ? 100 : failures;
}
