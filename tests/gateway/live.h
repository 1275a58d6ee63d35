// live.h - helpers shared by the gateway tests that run against a live gateway.
//
// A test connects with kwtest::DbClient to the environment's gateway, sets up its tables as the
// superuser behind the gateway's back (owned by the user who will query them), and reads
// results with the small helpers here, which bind every column as text.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "kwtest/dblib_client.h"
#include "kwtest/environment.h"

namespace kwtest {

using Rows = std::vector<std::vector<std::string>>;

inline Environment& env() {
    return Environment::get();
}

inline std::unique_ptr<DbClient> connectAs(const TestUser& user, const std::string& server = "") {
    return std::make_unique<DbClient>(server.empty() ? env().serverName() : server, user.name, user.password);
}

// Creates a table in JOE's schema, owned by JOE, from a column list.
inline void createJoeTable(const std::string& name, const std::string& columns) {
    env().exec("DROP TABLE IF EXISTS joe." + name + " CASCADE");
    env().exec("CREATE TABLE joe." + name + " (" + columns + ")");
    env().exec("ALTER TABLE joe." + name + " OWNER TO joe");
}

// Stores the request `name` with `text` in `schema`'s request table, making the table if need be.
inline void createHostlib(const std::string& schema, const std::string& name, const std::string& text) {
    env().exec("CREATE TABLE IF NOT EXISTS " + schema +
               ".pcsql_hostlib (req_name char(12) NOT NULL UNIQUE, req_text varchar(4046) NOT NULL)");
    env().exec("ALTER TABLE " + schema + ".pcsql_hostlib OWNER TO " + schema);
    env().exec("DELETE FROM " + schema + ".pcsql_hostlib WHERE req_name = '" + name + "'");
    env().exec("INSERT INTO " + schema + ".pcsql_hostlib VALUES ('" + name + "', $t$" + text + "$t$)");
}

// The rows of the current result set, each column as text ("<null>" for NULL).
inline Rows fetchAll(DBPROCESS* dbp) {
    int n = dbnumcols(dbp);
    std::vector<std::vector<char>> buffers(static_cast<size_t>(n), std::vector<char>(40000));
    for (int c = 1; c <= n; ++c) {
        dbbind(dbp, c, NTBSTRINGBIND, static_cast<DBINT>(buffers[c - 1].size()),
               reinterpret_cast<BYTE*>(buffers[c - 1].data()));
    }
    Rows rows;
    STATUS st;
    while ((st = dbnextrow(dbp)) != NO_MORE_ROWS && st != FAIL) {
        rows.emplace_back();
        for (int c = 1; c <= n; ++c) {
            rows.back().push_back(dbdatlen(dbp, c) == 0 ? "<null>" : std::string(buffers[c - 1].data()));
        }
    }
    return rows;
}

// Runs a batch and returns the rows of its first result set.
inline Rows query(DbClient& client, const std::string& sql) {
    Rows rows;
    if (!client.exec(sql)) {
        ADD_FAILURE() << "batch failed: " << sql;
    } else if (dbresults(client.get()) == SUCCEED) {
        rows = fetchAll(client.get());
    }
    client.drain();
    return rows;
}

// The number of JOE's backends running a query that contains `marker`.
inline int running(const std::string& marker) {
    return std::stoi(env().queryValue(
        "SELECT count(*) FROM pg_stat_activity WHERE usename = 'joe' AND state = 'active' AND query LIKE '%" +
        marker + "%' AND pid <> pg_backend_pid()"));
}

// Runs a batch that must succeed and drops its results.
inline void run(DbClient& client, const std::string& sql) {
    EXPECT_TRUE(client.exec(sql)) << sql;
    client.drain();
}

// The server messages with `number`, in arrival order.
inline std::vector<Message> serverMessages(const DbClient& client, int number) {
    std::vector<Message> out;
    for (const Message& m : client.messages()) {
        if (m.server && m.number == number) {
            out.push_back(m);
        }
    }
    return out;
}

// The SQLCODE (or ERRn gateway code) a failure reported in its 21002 message, "" when none.
inline std::string reportedCode(const DbClient& client) {
    const std::string prefix = "DG21002: Result failed.  Database server error code ";
    for (const Message& m : serverMessages(client, 21002)) {
        if (m.text.rfind(prefix, 0) == 0) {
            return m.text.substr(prefix.size());
        }
    }
    return "";
}

// Runs a batch that must fail and returns the code its failure reported.
inline std::string failure(DbClient& client, const std::string& sql) {
    client.clearMessages();
    EXPECT_FALSE(client.exec(sql)) << sql;
    client.drain();
    return reportedCode(client);
}

}  // namespace kwtest
