// catalog_live.h - running DB2 statements through the live gateway for the catalog tests.
//
// The catalog tests speak to kwgateway over TDS with DB-Library, as the driver does: a statement's
// first result set comes back with its columns' wire types and lengths and with every value as
// text, trailing blanks removed (the driver's binding removes them too); a failure comes back as
// the SQLCODE of the gateway's 21002 message and the DB2 text of its 21000 message.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "kwtest/dblib_client.h"
#include "kwtest/environment.h"

namespace kwcat {

using Rows = std::vector<std::vector<std::string>>;

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
    Rows rows;  // values as text without trailing blanks; NULL is "<null>"
};

inline kwtest::Environment& env() {
    return kwtest::Environment::get();
}

inline std::unique_ptr<kwtest::DbClient> connect(const kwtest::TestUser& user) {
    auto client = std::make_unique<kwtest::DbClient>(env().serverName(), user.name, user.password);
    if (!client->connected()) {
        ADD_FAILURE() << "cannot log in to the gateway as " << user.name;
    }
    return client;
}

inline std::string valueText(DBPROCESS* dbp, int c) {
    BYTE* data = dbdata(dbp, c);
    const DBINT len = dbdatlen(dbp, c);
    if (data == nullptr && len == 0) {
        return "<null>";
    }
    const int type = dbcoltype(dbp, c);
    std::string text;
    if (type == SYBCHAR || type == SYBVARCHAR || type == SYBTEXT) {
        text.assign(reinterpret_cast<const char*>(data), static_cast<size_t>(len));
    } else {
        char buf[128] = {};
        const DBINT n =
            dbconvert(dbp, type, data, len, SYBCHAR, reinterpret_cast<BYTE*>(buf), sizeof buf - 1);
        text.assign(buf, n > 0 ? static_cast<size_t>(n) : 0);
    }
    while (!text.empty() && text.back() == ' ') {
        text.pop_back();
    }
    return text;
}

// Runs one batch and answers its first result set (or its failure).
inline Answer run(kwtest::DbClient& client, const std::string& sql) {
    Answer a;
    client.clearMessages();
    DBPROCESS* dbp = client.get();
    bool failed = !client.exec(sql);
    bool first = true;
    RETCODE rc;
    while (!failed && (rc = dbresults(dbp)) != NO_MORE_RESULTS) {
        if (rc == FAIL) {
            failed = true;
            break;
        }
        const int n = dbnumcols(dbp);
        if (first && n > 0) {
            first = false;
            for (int c = 1; c <= n; ++c) {
                a.columns.push_back(Column{dbcolname(dbp, c), dbcoltype(dbp, c), dbcollen(dbp, c)});
            }
            while ((rc = dbnextrow(dbp)) != NO_MORE_ROWS && rc != FAIL) {
                std::vector<std::string> row;
                for (int c = 1; c <= n; ++c) {
                    row.push_back(valueText(dbp, c));
                }
                a.rows.push_back(row);
            }
        } else {
            while ((rc = dbnextrow(dbp)) != NO_MORE_ROWS && rc != FAIL) {
            }
        }
    }
    client.drain();
    for (const kwtest::Message& m : client.messages()) {
        const std::string code = "DG21002: Result failed.  Database server error code ";
        if (m.server && m.number == 21002 && m.text.rfind(code, 0) == 0) {
            a.sqlcode = m.text.substr(code.size());
        } else if (m.server && m.number == 21000 && m.text.rfind("DG21000: ", 0) == 0) {
            a.message = m.text.substr(9);
        }
    }
    a.ok = !failed && a.sqlcode.empty();
    return a;
}

// Runs a statement that must succeed.
inline Answer must(kwtest::DbClient& client, const std::string& sql) {
    Answer a = run(client, sql);
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

// The eight catalog views, as the table list shows them to anyone (PUBLIC may read them).
inline Rows catalogTableRows() {
    Rows rows;
    for (const char* t : {"SYSCOLAUTH", "SYSCOLUMNS", "SYSDUMMY1", "SYSINDEXES", "SYSKEYS", "SYSTABAUTH",
                          "SYSTABLES", "SYSVIEWS"}) {
        rows.push_back({"SYSIBM", t, "T"});
    }
    return rows;
}

inline Rows concat(Rows a, const Rows& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

}  // namespace kwcat
