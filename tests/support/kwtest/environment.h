// environment.h - a live test environment: a fresh PostgreSQL database and kwgateway in front of it.
//
// kwtest::Environment::get() sets up, once per test program and on first use:
//   - a new database named after the program and its pid on the cluster named by PGHOST,
//     PGPORT, PGUSER and PGPASSWORD (a missing variable fails the test with a clear message),
//     dropped again when the program exits;
//   - `kwgateway init` on it, and the standard users JOE and SMITH with fixed passwords
//     (`kwgateway user add`, safe when several test programs do it at once);
//   - `kwgateway serve` on an ephemeral loopback port with a statement log;
//   - a freetds.conf in a private temporary folder (under $TMPDIR, else the build tree) with one
//     section per gateway (`tds version = 5.0`, `client charset = UTF-8`, host and port), and
//     FREETDSCONF pointing to it, so dbopen(login, env.serverName()) reaches the gateway.
// It also offers the superuser connection to the test database (for set-up and checks behind
// the gateway's back), the statement log with marks, and further gateways with other options
// (startGateway). Throws std::runtime_error when something cannot be set up; inside a TEST that
// fails the test with the message.
#pragma once

#include <libpq-fe.h>
#include <sys/types.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace kwtest {

struct TestUser {
    const char* name;  // DB2 authorization id
    const char* password;
};
inline constexpr TestUser kJoe{"JOE", "joe-pw-1"};
inline constexpr TestUser kSmith{"SMITH", "smith-pw-1"};

// One kwgateway process.
class Gateway {
  public:
    Gateway(std::string serverName, std::string executable, std::vector<std::string> args,
            std::string logPath, std::string statementLogPath);
    ~Gateway();
    Gateway(const Gateway&) = delete;
    Gateway& operator=(const Gateway&) = delete;

    // The freetds.conf section that reaches this gateway: the name to give dbopen.
    const std::string& serverName() const { return serverName_; }
    uint16_t port() const { return port_; }
    pid_t pid() const { return pid_; }
    const std::string& logPath() const { return logPath_; }

    // A mark in the statement log: the number of requests logged so far.
    size_t mark() const;
    // The texts of the requests logged after `mark`, in order.
    std::vector<std::string> requestsSince(size_t mark) const;

    // Stops the gateway with SIGTERM; returns its exit status (or -1 when it had to be killed).
    int stop();
    // The server log written so far.
    std::string log() const;

  private:
    std::string serverName_;
    std::string logPath_;
    std::string statementLogPath_;
    pid_t pid_ = -1;
    uint16_t port_ = 0;
};

class Environment {
  public:
    static Environment& get();
    ~Environment();

    const std::string& databaseName() const { return database_; }
    // A libpq connection string for the test database as the cluster's superuser; it holds no
    // password (libpq takes PGPASSWORD from the environment).
    std::string conninfo() const;
    // The superuser's connection to the test database.
    PGconn* admin();
    // Runs SQL as the superuser; throws on failure.
    void exec(const std::string& sql);
    // The first value of the first row of a query as the superuser ("" for no row or NULL).
    std::string queryValue(const std::string& sql);

    // The standard gateway (switchable long transactions, no stored-request owner).
    Gateway& gateway() { return *gateways_.at("KWGW"); }
    const std::string& serverName() { return gateway().serverName(); }
    // Starts another gateway on the same database with extra `serve` options; `name` becomes its
    // freetds.conf section.
    Gateway& startGateway(const std::string& name, const std::vector<std::string>& extraArgs);

    // Adds a freetds.conf section `name` for another server on a loopback port (for example a
    // SilentListener, or a gateway reached with other client settings), so that
    // dbopen(login, name) reaches it; `settings` are further lines of the section, such as
    // "timeout = 2".
    void addServer(const std::string& name, uint16_t port, const std::vector<std::string>& settings = {});

    // Runs kwgateway with `args` and `input` on its standard input and returns its exit status;
    // its output goes to `output`.
    int runKwgateway(const std::vector<std::string>& args, std::string* output = nullptr,
                     const std::string& input = {});
    const std::string& kwgatewayPath() const { return kwgateway_; }
    const std::string& tempDir() const { return tempDir_; }

  private:
    Environment();
    void setUp();
    void tearDown();
    void writeFreetdsConf();

    std::string host_, port_, user_, password_;
    std::string database_;
    std::string kwgateway_;
    std::string tempDir_;
    PGconn* admin_ = nullptr;
    std::map<std::string, std::unique_ptr<Gateway>> gateways_;
    struct Server {
        uint16_t port;
        std::vector<std::string> settings;
    };
    std::map<std::string, Server> servers_;
};

// Quotes a value for a libpq connection string.
std::string conninfoValue(const std::string& value);

}  // namespace kwtest
