// main.cpp - the kwgateway command line: init, user add, serve.
//
// Parses the command line with CLI11 and hands each subcommand to its module (admin.cpp for
// init and user add, server.cpp for serve). No secret is taken from the command line, where
// `ps` shows it: a user's password is read from a prompt, standard input or a file, and the
// PostgreSQL password comes from the environment or a password file, as libpq finds them. New
// subcommands (for example a registry of DB2 databases) are added as further CLI11 subcommands
// here.
#include <CLI/CLI.hpp>

#include <cctype>
#include <cstdio>
#include <exception>
#include <string>

#include "backend/charset.h"
#include "common/text.h"
#include "server/admin.h"
#include "server/server.h"

namespace {

bool parseListen(const std::string& text, gw::ServeOptions& o) {
    size_t colon = text.rfind(':');
    if (colon == std::string::npos) {
        return false;
    }
    o.host = text.substr(0, colon);
    if (o.host == "localhost") {
        o.host = "127.0.0.1";
    }
    std::string port = text.substr(colon + 1);
    if (port.empty() || port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    unsigned long p = std::stoul(port);
    if (p > 65535) {
        return false;
    }
    o.port = static_cast<uint16_t>(p);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"kwgateway - a DB2 gateway (TDS 5.0 server) on PostgreSQL"};
    app.require_subcommand(1);

    std::string initPg;
    CLI::App* init = app.add_subcommand("init", "install or upgrade the gateway's SQL objects in a database");
    init->add_option("--pg", initPg, "PostgreSQL connection string (a superuser)")->required();

    CLI::App* user = app.add_subcommand("user", "manage DB2 users (PostgreSQL login roles)");
    user->require_subcommand(1);
    std::string userName;
    std::string userPasswordFile;
    std::string userPg;
    CLI::App* userAdd = user->add_subcommand(
        "add",
        "create a DB2 user or set its password; the password is asked for (twice) on a terminal, "
        "else read from the first line of standard input or of --password-file");
    userAdd->add_option("name", userName, "DB2 authorization id")->required();
    userAdd->add_option("--password-file", userPasswordFile,
                        "read the password from this file ('-': standard input)");
    userAdd->add_option("--pg", userPg, "PostgreSQL connection string (a superuser)")->required();

    gw::ServeOptions serve;
    std::string listen;
    std::string longTrans = "switchable";
    std::string owner;
    size_t maxRequest = serve.session.limits.maxMessageSize;
    int readTimeout = serve.session.limits.readTimeoutMs / 1000;
    int loginTimeout = serve.session.limits.loginTimeoutMs / 1000;
    size_t packetSize = serve.session.limits.defaultPacketSize;
    CLI::App* srv = app.add_subcommand("serve", "accept TDS 5.0 clients and run their SQL on PostgreSQL");
    srv->add_option("--pg", serve.session.conninfo, "PostgreSQL connection string (database, host, port)")
        ->required();
    srv->add_option("--listen", listen, "address to listen on, HOST:PORT (port 0 picks a free one)")
        ->required();
    srv->add_option("--long-trans", longTrans, "long transactions: always, or switchable with SET LONG_TRANS")
        ->check(CLI::IsMember({"always", "switchable"}));
    srv->add_option("--stored-request-owner", owner,
                    "owner of the PCSQL_HOSTLIB used when the user has none");
    srv->add_option("--statement-log", serve.statementLog,
                    "append every request text to this file (JSON lines)");
    srv->add_option("--server-name", serve.session.serverName, "server name shown in messages");
    srv->add_option("--charset", serve.session.charset,
                    "character set (Sybase name) of clients whose login names none, e.g. iso_1, cp1252, utf8")
        ->check([](const std::string& name) {
            return gw::backend::findCharset(name) ? std::string() : "no such character set: " + name;
        });
    srv->add_option("--log", serve.logFile, "write the server log to this file instead of stderr");
    srv->add_option("--max-request-size", maxRequest, "largest request accepted, in bytes")
        ->check(CLI::Range(size_t{4096}, size_t{1} << 30));
    srv->add_option("--read-timeout", readTimeout,
                    "seconds a client has to send a whole request once it starts")
        ->check(CLI::Range(1, 3600));
    srv->add_option("--login-timeout", loginTimeout,
                    "seconds a client has for the whole login, from its connect to the answer")
        ->check(CLI::Range(1, 600));
    srv->add_option("--max-sessions", serve.maxSessions,
                    "sessions served at once (logins included); more are refused at login")
        ->check(CLI::Range(size_t{1}, size_t{100000}));
    srv->add_option("--packet-size", packetSize,
                    "packet size granted to clients that ask for the default 512")
        ->check(CLI::Range(size_t{512}, size_t{65535}));

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e);
    }

    try {
        for (const std::string* pg : {&initPg, &userPg, &serve.session.conninfo}) {
            if (gw::conninfoHasPassword(*pg)) {
                std::fprintf(stderr,
                             "kwgateway: warning: the --pg connection string holds a password, which other "
                             "users can read in the process list; set PGPASSWORD or use a password file "
                             "(PGPASSFILE, ~/.pgpass) instead\n");
            }
        }
        if (*init) {
            return gw::initDatabase(initPg);
        }
        if (*userAdd) {
            if (!gw::validAuthId(gw::upper(userName))) {
                std::fprintf(
                    stderr,
                    "kwgateway: '%s' is not a DB2 authorization id (1-8 characters, a letter first)\n",
                    userName.c_str());
                return 2;
            }
            std::string password;
            std::string error;
            if (!gw::readPassword(userPasswordFile, "Password for " + userName + ": ", password, error)) {
                std::fprintf(stderr, "kwgateway: %s\n", error.c_str());
                return 2;
            }
            return gw::addUser(userPg, userName, password);
        }
        if (!parseListen(listen, serve)) {
            std::fprintf(stderr, "kwgateway: --listen wants HOST:PORT, not '%s'\n", listen.c_str());
            return 2;
        }
        serve.session.longTransAlways = longTrans == "always";
        serve.session.storedRequestOwner = gw::upper(owner);
        serve.session.limits.maxMessageSize = maxRequest;
        serve.session.limits.readTimeoutMs = readTimeout * 1000;
        serve.session.limits.loginTimeoutMs = loginTimeout * 1000;
        serve.session.limits.defaultPacketSize = packetSize;
        return gw::serve(serve);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kwgateway: %s\n", e.what());
        return 1;
    }
}
