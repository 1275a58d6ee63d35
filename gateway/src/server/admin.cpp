// admin.cpp - `kwgateway init` and `kwgateway user add`.
//
// Serves the command line. Owns nothing beyond one libpq connection per command. The SQL files
// come from the generated table in sql_files.h. Concurrent `user add` runs for the same user
// (test programs starting together) are made safe by tolerating "already exists" and retrying
// on the conflicts PostgreSQL reports for simultaneous role changes.
#include "admin.h"

#include <libpq-fe.h>
#include <termios.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <thread>

#include <fmt/format.h>

#include "dialect.h"
#include "sql_files.h"

namespace gw {
namespace {

constexpr int kUserAddAttempts = 8;
// The advisory lock that serialises concurrent inits of one database.
constexpr long long kInitLock = 0x6b776777;  // "kwgw"

struct ConnCloser {
    void operator()(PGconn* c) const { PQfinish(c); }
};
using Conn = std::unique_ptr<PGconn, ConnCloser>;

Conn connect(const std::string& conninfo) {
    Conn c(PQconnectdb(conninfo.c_str()));
    if (!c || PQstatus(c.get()) != CONNECTION_OK) {
        std::fprintf(stderr, "kwgateway: cannot connect to PostgreSQL: %s",
                     c ? PQerrorMessage(c.get()) : "\n");
        return nullptr;
    }
    PQsetNoticeProcessor(
        c.get(), [](void*, const char*) {}, nullptr);
    return c;
}

// Runs SQL; on failure puts the SQLSTATE and message in `error`.
bool exec(PGconn* c, const std::string& sql, std::string* sqlstate, std::string& error) {
    PGresult* r = PQexec(c, sql.c_str());
    ExecStatusType st = PQresultStatus(r);
    bool ok = st == PGRES_COMMAND_OK || st == PGRES_TUPLES_OK;
    if (!ok) {
        const char* code = PQresultErrorField(r, PG_DIAG_SQLSTATE);
        if (sqlstate) {
            *sqlstate = code ? code : "";
        }
        error = PQresultErrorMessage(r);
    }
    PQclear(r);
    return ok;
}

std::string quoteIdent(PGconn* c, const std::string& s) {
    char* q = PQescapeIdentifier(c, s.c_str(), s.size());
    std::string out = q ? q : "";
    PQfreemem(q);
    return out;
}

std::string quoteLiteral(PGconn* c, const std::string& s) {
    char* q = PQescapeLiteral(c, s.c_str(), s.size());
    std::string out = q ? q : "";
    PQfreemem(q);
    return out;
}

// FNV-1a over every file's name and text: the version recorded for this set of files.
std::string contentHash() {
    uint64_t h = 1469598103934665603ull;
    auto mix = [&h](const unsigned char* p, size_t n) {
        for (size_t i = 0; i < n; ++i) {
            h = (h ^ p[i]) * 1099511628211ull;
        }
    };
    for (size_t i = 0; i < sqlfiles::kCount; ++i) {
        const sqlfiles::File& f = sqlfiles::kFiles[i];
        mix(reinterpret_cast<const unsigned char*>(f.name), std::char_traits<char>::length(f.name));
        mix(f.data, f.size);
    }
    return fmt::format("{:016x}", h);
}

bool runFile(PGconn* c, const sqlfiles::File& f) {
    std::string error;
    std::string text(reinterpret_cast<const char*>(f.data), f.size);
    if (exec(c, "BEGIN", nullptr, error) &&
        exec(c, fmt::format("SELECT pg_advisory_xact_lock({})", kInitLock), nullptr, error) &&
        exec(c, text, nullptr, error) && exec(c, "COMMIT", nullptr, error)) {
        return true;
    }
    std::fprintf(stderr, "kwgateway: %s failed: %s", f.name, error.c_str());
    std::string ignored;
    exec(c, "ROLLBACK", nullptr, ignored);
    return false;
}

// One attempt at creating or updating the user; `retry` says whether a failure was a conflict
// with a concurrent run.
bool addUserOnce(PGconn* c, const std::string& role, const std::string& password, bool& retry,
                 std::string& error) {
    std::string id = quoteIdent(c, role);
    std::string sqlstate;
    const std::string steps[] = {
        fmt::format("DO $kw$ BEGIN CREATE ROLE {} LOGIN; EXCEPTION WHEN duplicate_object OR unique_violation "
                    "THEN NULL; END $kw$",
                    id),
        fmt::format("ALTER ROLE {} LOGIN PASSWORD {}", id, quoteLiteral(c, password)),
        fmt::format("ALTER ROLE {} SET lc_messages = 'C'", id),
        fmt::format("CREATE SCHEMA IF NOT EXISTS {} AUTHORIZATION {}", id, id),
    };
    for (const std::string& step : steps) {
        if (!exec(c, step, &sqlstate, error)) {
            retry = sqlstate == "XX000" || sqlstate == "23505" || sqlstate == "42710" ||
                    sqlstate == "40001" || sqlstate == "40P01" || sqlstate == "42P06";
            return false;
        }
    }
    return true;
}

// The first line of a stream, without its line end; false when the stream held nothing.
bool firstLine(std::FILE* in, std::string& line) {
    line.clear();
    int c;
    bool any = false;
    while ((c = std::fgetc(in)) != EOF && c != '\n') {
        line.push_back(static_cast<char>(c));
        any = true;
    }
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return any || c == '\n';
}

// Asks on the terminal with echo off.
bool prompted(const std::string& prompt, std::string& answer) {
    termios saved{};
    bool restore = ::tcgetattr(STDIN_FILENO, &saved) == 0;
    if (restore) {
        termios quiet = saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    std::fprintf(stderr, "%s", prompt.c_str());
    std::fflush(stderr);
    bool ok = firstLine(stdin, answer);
    std::fprintf(stderr, "\n");
    if (restore) {
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
    }
    return ok;
}

}  // namespace

bool readPassword(const std::string& file, const std::string& prompt, std::string& password,
                  std::string& error) {
    if (!file.empty() && file != "-") {
        std::FILE* in = std::fopen(file.c_str(), "r");
        if (in == nullptr) {
            error = fmt::format("cannot read the password file {}: {}", file, std::strerror(errno));
            return false;
        }
        bool ok = firstLine(in, password);
        std::fclose(in);
        if (!ok) {
            error = fmt::format("the password file {} is empty", file);
        }
        return ok;
    }
    if (file.empty() && ::isatty(STDIN_FILENO)) {
        std::string again;
        if (!prompted(prompt, password) || !prompted("Again: ", again)) {
            error = "no password was typed";
            return false;
        }
        if (again != password) {
            error = "the two passwords typed differ";
            return false;
        }
        return true;
    }
    if (!firstLine(stdin, password)) {
        error = "no password on standard input";
        return false;
    }
    return true;
}

bool conninfoHasPassword(const std::string& conninfo) {
    char* message = nullptr;
    PQconninfoOption* options = PQconninfoParse(conninfo.c_str(), &message);
    PQfreemem(message);
    bool found = false;
    for (PQconninfoOption* o = options; o != nullptr && o->keyword != nullptr; ++o) {
        found = found || (std::strcmp(o->keyword, "password") == 0 && o->val != nullptr && o->val[0] != '\0');
    }
    PQconninfoFree(options);
    return found;
}

bool validAuthId(const std::string& name) {
    if (name.empty() || name.size() > 8 || !std::isalpha(static_cast<unsigned char>(name[0]))) {
        return false;
    }
    for (char ch : name) {
        if (!std::isalnum(static_cast<unsigned char>(ch)) && ch != '_' && ch != '#' && ch != '@' &&
            ch != '$') {
            return false;
        }
    }
    return true;
}

int initDatabase(const std::string& conninfo) {
    Conn c = connect(conninfo);
    if (!c) {
        return 1;
    }
    for (size_t i = 0; i < sqlfiles::kCount; ++i) {
        if (!runFile(c.get(), sqlfiles::kFiles[i])) {
            return 1;
        }
    }
    std::string error;
    std::string record = fmt::format(
        "INSERT INTO kwgw.schema_version (id, files, content_hash, installed_at) VALUES (1, {}, '{}', now()) "
        "ON CONFLICT (id) DO UPDATE SET files = EXCLUDED.files, content_hash = EXCLUDED.content_hash, "
        "installed_at = EXCLUDED.installed_at",
        sqlfiles::kCount, contentHash());
    if (!exec(c.get(), record, nullptr, error)) {
        std::fprintf(stderr, "kwgateway: cannot record the schema version: %s", error.c_str());
        return 1;
    }
    std::printf("installed %zu SQL files (version %s) in database %s\n", sqlfiles::kCount,
                contentHash().c_str(), PQdb(c.get()));
    return 0;
}

int addUser(const std::string& conninfo, const std::string& name, const std::string& password) {
    std::string db2 = name;
    for (char& ch : db2) {
        ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    }
    if (!validAuthId(db2)) {
        std::fprintf(stderr,
                     "kwgateway: '%s' is not a DB2 authorization id (1-8 characters, a letter first)\n",
                     name.c_str());
        return 2;
    }
    if (password.empty()) {
        std::fprintf(stderr, "kwgateway: a user needs a password\n");
        return 2;
    }
    Conn c = connect(conninfo);
    if (!c) {
        return 1;
    }
    std::string role = dialect::roleForLogin(db2);
    std::string error;
    for (int attempt = 1; attempt <= kUserAddAttempts; ++attempt) {
        bool retry = false;
        if (addUserOnce(c.get(), role, password, retry, error)) {
            std::printf("user %s (role %s) is ready\n", db2.c_str(), role.c_str());
            return 0;
        }
        if (!retry) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50 * attempt));
    }
    std::fprintf(stderr, "kwgateway: cannot add user %s: %s", db2.c_str(), error.c_str());
    return 1;
}

}  // namespace gw
