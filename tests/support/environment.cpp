// environment.cpp - the live test environment: database, users, gateways, freetds.conf.
//
// Serves every test program that needs PostgreSQL and kwgateway. Owns the test database (made
// at first use, dropped at exit), the gateway processes it started and the temporary folder.
// Invariant: a gateway is stopped before the database it serves is dropped.
#include "kwtest/environment.h"

#include "child.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include <fmt/format.h>

extern char** environ;

#ifndef KWTEST_KWGATEWAY
#error "KWTEST_KWGATEWAY must name the kwgateway executable"
#endif
#ifndef KWTEST_BINARY_DIR
#error "KWTEST_BINARY_DIR must name a folder of the build tree"
#endif

namespace kwtest {
namespace {

constexpr int kStartTimeoutMs = 30000;
constexpr int kStopTimeoutMs = 10000;

std::string requireEnv(const char* name) {
    const char* v = std::getenv(name);
    if (!v || !*v) {
        throw std::runtime_error(
            fmt::format("{} is not set: tests that need a server read PGHOST, PGPORT, PGUSER and PGPASSWORD "
                        "(scripts/test "
                        "sets them for a private cluster)",
                        name));
    }
    return v;
}

std::string programName() {
    std::ifstream comm("/proc/self/comm");
    std::string name;
    std::getline(comm, name);
    std::string out;
    for (char c : name) {
        out += std::isalnum(static_cast<unsigned char>(c)) ? static_cast<char>(std::tolower(c)) : '_';
    }
    return out.empty() ? "test" : out.substr(0, 30);
}

std::string makeTempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string root = base && *base ? base : KWTEST_BINARY_DIR;
    std::string templ = root + "/kwtest-XXXXXX";
    std::vector<char> buf(templ.begin(), templ.end());
    buf.push_back('\0');
    if (!mkdtemp(buf.data())) {
        throw std::runtime_error(
            fmt::format("cannot make a temporary folder under {}: {}", root, std::strerror(errno)));
    }
    return buf.data();
}

// Starts a program with its stdout on a pipe (returned in `out`), stderr to `errPath` and
// `input` as its standard input. The child is told to end when the test program does, so a
// crashed test leaves no gateway behind.
pid_t spawn(const std::string& exe, const std::vector<std::string>& args, int& out,
            const std::string& errPath, const std::string& input = {}) {
    int pipefd[2];
    int inputfd[2];
    if (pipe2(pipefd, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe failed");
    }
    if (pipe2(inputfd, O_CLOEXEC) != 0) {
        close(pipefd[0]);
        close(pipefd[1]);
        throw std::runtime_error("pipe failed");
    }
    // A pipe holds far more than a password; the child reads it after the write end closes.
    if (write(inputfd[1], input.data(), input.size()) != static_cast<ssize_t>(input.size())) {
        close(inputfd[0]);
        close(inputfd[1]);
        close(pipefd[0]);
        close(pipefd[1]);
        throw std::runtime_error("cannot write a child's input");
    }
    close(inputfd[1]);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(exe.c_str()));
    for (const std::string& a : args) {
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);
    pid_t parent = getpid();
    pid_t pid = fork();
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent) {
            _exit(127);
        }
        int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        dup2(pipefd[1], STDOUT_FILENO);
        dup2(inputfd[0], STDIN_FILENO);
        if (err >= 0) {
            dup2(err, STDERR_FILENO);
        }
        execv(exe.c_str(), argv.data());
        _exit(127);
    }
    close(pipefd[1]);
    close(inputfd[0]);
    if (pid < 0) {
        close(pipefd[0]);
        throw std::runtime_error(fmt::format("cannot start {}: {}", exe, std::strerror(errno)));
    }
    out = pipefd[0];
    return pid;
}

// Reads from `fd` until it closes or `deadlineMs` passes.
std::string readAll(int fd, int deadlineMs) {
    std::string text;
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(deadlineMs);
    for (;;) {
        int left = static_cast<int>(
            std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now())
                .count());
        pollfd p{fd, POLLIN, 0};
        if (left <= 0 || poll(&p, 1, left) <= 0) {
            break;
        }
        char buf[4096];
        ssize_t n = read(fd, buf, sizeof buf);
        if (n <= 0) {
            break;
        }
        text.append(buf, static_cast<size_t>(n));
    }
    return text;
}

// Reads one line from `fd` (without its newline), giving up at `deadlineMs`.
std::string readLine(int fd, int deadlineMs) {
    std::string text;
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(deadlineMs);
    while (text.find('\n') == std::string::npos) {
        int left = static_cast<int>(
            std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now())
                .count());
        pollfd p{fd, POLLIN, 0};
        if (left <= 0 || poll(&p, 1, left) <= 0) {
            break;
        }
        char c;
        if (read(fd, &c, 1) != 1) {
            break;
        }
        text += c;
    }
    if (!text.empty() && text.back() == '\n') {
        text.pop_back();
    }
    return text;
}

// The value of the "text" member of one statement-log line (the gateway writes them).
std::string jsonText(const std::string& line) {
    size_t at = line.find("\"text\":\"");
    if (at == std::string::npos) {
        return {};
    }
    std::string out;
    for (size_t i = at + 8; i < line.size(); ++i) {
        char c = line[i];
        if (c == '"') {
            break;
        }
        if (c != '\\' || i + 1 >= line.size()) {
            out += c;
            continue;
        }
        char e = line[++i];
        switch (e) {
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case 't':
                out += '\t';
                break;
            case 'u':
                out += static_cast<char>(std::stoi(line.substr(i + 1, 4), nullptr, 16));
                i += 4;
                break;
            default:
                out += e;
                break;
        }
    }
    return out;
}

// Drops the test databases of test programs that are no longer running (killed before they
// could drop their own): each name ends in the pid of the program that made it.
void dropStaleDatabases(PGconn* c) {
    PGresult* r = PQexec(c, "SELECT datname FROM pg_database WHERE datname ~ '^kwtest_.*_[0-9]+$'");
    std::vector<std::string> stale;
    for (int i = 0; PQresultStatus(r) == PGRES_TUPLES_OK && i < PQntuples(r); ++i) {
        std::string name = PQgetvalue(r, i, 0);
        pid_t pid = static_cast<pid_t>(std::stol(name.substr(name.rfind('_') + 1)));
        if (pid > 0 && kill(pid, 0) != 0 && errno == ESRCH) {
            stale.push_back(name);
        }
    }
    PQclear(r);
    for (const std::string& name : stale) {
        PQclear(PQexec(c, fmt::format("DROP DATABASE IF EXISTS \"{}\" WITH (FORCE)", name).c_str()));
    }
}

}  // namespace

std::string conninfoValue(const std::string& value) {
    std::string out = "'";
    for (char c : value) {
        if (c == '\'' || c == '\\') {
            out += '\\';
        }
        out += c;
    }
    return out + "'";
}

// --- Gateway -----------------------------------------------------------------------------

Gateway::Gateway(std::string serverName, std::string executable, std::vector<std::string> args,
                 std::string logPath, std::string statementLogPath)
    : serverName_(std::move(serverName)),
      logPath_(std::move(logPath)),
      statementLogPath_(std::move(statementLogPath)) {
    int out = -1;
    pid_ = spawn(executable, args, out, logPath_);
    std::string line = readLine(out, kStartTimeoutMs);
    close(out);
    size_t colon = line.rfind(':');
    if (line.rfind("listening on ", 0) != 0 || colon == std::string::npos) {
        stop();
        throw std::runtime_error(fmt::format("kwgateway did not start: {}\n{}", line, log()));
    }
    port_ = static_cast<uint16_t>(std::stoi(line.substr(colon + 1)));
}

Gateway::~Gateway() {
    stop();
}

int Gateway::stop() {
    if (pid_ <= 0) {
        return 0;
    }
    kill(pid_, SIGTERM);
    int status = waitChild(pid_, kStopTimeoutMs);
    if (status < 0) {
        kill(pid_, SIGKILL);
        waitChild(pid_, kStopTimeoutMs);
    }
    pid_ = -1;
    return status;
}

std::string Gateway::log() const {
    return readFile(logPath_);
}

size_t Gateway::mark() const {
    return requestsSince(0).size();
}

std::vector<std::string> Gateway::requestsSince(size_t mark) const {
    std::ifstream in(statementLogPath_);
    std::vector<std::string> out;
    std::string line;
    size_t n = 0;
    while (std::getline(in, line)) {
        if (n++ >= mark) {
            out.push_back(jsonText(line));
        }
    }
    return out;
}

// --- Environment -------------------------------------------------------------------------

Environment& Environment::get() {
    static std::unique_ptr<Environment> env(new Environment());
    return *env;
}

Environment::Environment() {
    host_ = requireEnv("PGHOST");
    port_ = requireEnv("PGPORT");
    user_ = requireEnv("PGUSER");
    password_ = requireEnv("PGPASSWORD");
    const char* exe = std::getenv("KWTEST_KWGATEWAY");
    kwgateway_ = exe && *exe ? exe : KWTEST_KWGATEWAY;
    tempDir_ = makeTempDir();
    database_ = fmt::format("kwtest_{}_{}", programName(), getpid());

    std::string server =
        fmt::format("host={} port={} user={} password={} dbname=postgres", conninfoValue(host_),
                    conninfoValue(port_), conninfoValue(user_), conninfoValue(password_));
    PGconn* c = PQconnectdb(server.c_str());
    if (PQstatus(c) != CONNECTION_OK) {
        std::string err = PQerrorMessage(c);
        PQfinish(c);
        throw std::runtime_error("cannot reach PostgreSQL: " + err);
    }
    dropStaleDatabases(c);
    // UTF8 whatever the cluster's locale gave template1: in a SQL_ASCII database PostgreSQL converts
    // nothing, and the gateway's character sets rest on its conversions.
    PGresult* r = PQexec(
        c, fmt::format("CREATE DATABASE \"{}\" ENCODING 'UTF8' TEMPLATE template0", database_).c_str());
    bool created = PQresultStatus(r) == PGRES_COMMAND_OK;
    std::string err = PQresultErrorMessage(r);
    PQclear(r);
    PQfinish(c);
    if (!created) {
        throw std::runtime_error("cannot create the test database: " + err);
    }
    try {
        setUp();
    } catch (...) {
        tearDown();
        throw;
    }
}

void Environment::setUp() {
    std::string output;
    if (runKwgateway({"init", "--pg", conninfo()}, &output) != 0) {
        throw std::runtime_error("kwgateway init failed: " + output);
    }
    for (const TestUser& u : {kJoe, kSmith}) {
        if (runKwgateway({"user", "add", u.name, "--pg", conninfo()}, &output,
                         std::string(u.password) + "\n") != 0) {
            throw std::runtime_error(fmt::format("kwgateway user add {} failed: {}", u.name, output));
        }
    }
    setenv("FREETDSCONF", (tempDir_ + "/freetds.conf").c_str(), 1);
    startGateway("KWGW", {});
}

Environment::~Environment() {
    tearDown();
}

void Environment::tearDown() {
    gateways_.clear();
    if (admin_) {
        PQfinish(admin_);
        admin_ = nullptr;
    }
    std::string server =
        fmt::format("host={} port={} user={} password={} dbname=postgres", conninfoValue(host_),
                    conninfoValue(port_), conninfoValue(user_), conninfoValue(password_));
    PGconn* c = PQconnectdb(server.c_str());
    if (PQstatus(c) == CONNECTION_OK) {
        PQclear(PQexec(c, fmt::format("DROP DATABASE IF EXISTS \"{}\" WITH (FORCE)", database_).c_str()));
    }
    PQfinish(c);
    std::error_code ec;
    std::filesystem::remove_all(tempDir_, ec);
}

// No password: libpq takes it from PGPASSWORD, and a kwgateway given this string on its command
// line shows no secret in the process list.
std::string Environment::conninfo() const {
    return fmt::format("host={} port={} user={} dbname={}", conninfoValue(host_), conninfoValue(port_),
                       conninfoValue(user_), conninfoValue(database_));
}

PGconn* Environment::admin() {
    if (!admin_ || PQstatus(admin_) != CONNECTION_OK) {
        if (admin_) {
            PQfinish(admin_);
        }
        admin_ = PQconnectdb(conninfo().c_str());
        if (PQstatus(admin_) != CONNECTION_OK) {
            throw std::runtime_error(std::string("cannot connect to the test database: ") +
                                     PQerrorMessage(admin_));
        }
        PQsetNoticeProcessor(
            admin_, [](void*, const char*) {}, nullptr);
    }
    return admin_;
}

void Environment::exec(const std::string& sql) {
    PGresult* r = PQexec(admin(), sql.c_str());
    ExecStatusType st = PQresultStatus(r);
    std::string err = PQresultErrorMessage(r);
    PQclear(r);
    if (st != PGRES_COMMAND_OK && st != PGRES_TUPLES_OK) {
        throw std::runtime_error(fmt::format("SQL failed: {}\n{}", sql, err));
    }
}

std::string Environment::queryValue(const std::string& sql) {
    PGresult* r = PQexec(admin(), sql.c_str());
    if (PQresultStatus(r) != PGRES_TUPLES_OK) {
        std::string err = PQresultErrorMessage(r);
        PQclear(r);
        throw std::runtime_error(fmt::format("query failed: {}\n{}", sql, err));
    }
    std::string v = PQntuples(r) > 0 && !PQgetisnull(r, 0, 0) ? PQgetvalue(r, 0, 0) : "";
    PQclear(r);
    return v;
}

Gateway& Environment::startGateway(const std::string& name, const std::vector<std::string>& extraArgs) {
    gateways_.erase(name);
    std::string pg = fmt::format("host={} port={} dbname={}", conninfoValue(host_), conninfoValue(port_),
                                 conninfoValue(database_));
    std::string log = fmt::format("{}/{}.log", tempDir_, name);
    std::string statements = fmt::format("{}/{}.statements", tempDir_, name);
    std::vector<std::string> args = {
        "serve", "--pg", pg, "--listen", "127.0.0.1:0", "--statement-log", statements, "--server-name", name};
    args.insert(args.end(), extraArgs.begin(), extraArgs.end());
    auto gw = std::make_unique<Gateway>(name, kwgateway_, args, log, statements);
    Gateway& ref = *gw;
    gateways_[name] = std::move(gw);
    writeFreetdsConf();
    return ref;
}

void Environment::addServer(const std::string& name, uint16_t port,
                            const std::vector<std::string>& settings) {
    servers_[name] = {port, settings};
    writeFreetdsConf();
}

void Environment::writeFreetdsConf() {
    std::ofstream conf(tempDir_ + "/freetds.conf", std::ios::trunc);
    // The clients play a single-byte host, the gateway's default character set (iso_1), so that
    // columns keep their DB2 lengths; a test that needs another set names it at login.
    conf << "[global]\n\ttds version = 5.0\n\tclient charset = ISO-8859-1\n";
    auto section = [&conf](const std::string& name, uint16_t port, const std::vector<std::string>& settings) {
        conf << fmt::format(
            "[{}]\n\thost = 127.0.0.1\n\tport = {}\n\ttds version = 5.0\n\tclient charset = ISO-8859-1\n",
            name, port);
        for (const std::string& setting : settings) {
            conf << '\t' << setting << '\n';
        }
    };
    for (const auto& [name, gw] : gateways_) {
        section(name, gw->port(), {});
    }
    for (const auto& [name, server] : servers_) {
        section(name, server.port, server.settings);
    }
}

int Environment::runKwgateway(const std::vector<std::string>& args, std::string* output,
                              const std::string& input) {
    std::string errPath = tempDir_ + "/kwgateway-command.err";
    std::filesystem::remove(errPath);
    int out = -1;
    pid_t pid = spawn(kwgateway_, args, out, errPath, input);
    std::string text = readAll(out, kStartTimeoutMs);
    close(out);
    int status = waitChild(pid, kStopTimeoutMs);
    if (output) {
        *output = text + readFile(errPath);
    }
    return status;
}

}  // namespace kwtest
