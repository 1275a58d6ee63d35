// private_cluster.cpp - a throwaway PostgreSQL cluster that one test program owns, stops and starts.
//
// Serves the fault tests that need PostgreSQL to go away under live sessions. Owns the cluster's
// folder and its server process. Invariant: pid_ names a running server that this program started,
// or is -1; the folder is removed only once no server runs in it.
#include "kwtest/private_cluster.h"

#include "child.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <grp.h>
#include <libpq-fe.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <vector>

#include <fmt/format.h>

namespace kwtest {
namespace {

constexpr int kInitTimeoutMs = 120000;
constexpr int kStartTimeoutMs = 30000;
constexpr int kStopTimeoutMs = 30000;

std::string pgBindir() {
    const char* set = std::getenv("KWTEST_PG_BINDIR");
    std::string dir = set != nullptr ? set : "";
    if (dir.empty()) {
        if (FILE* p = popen("pg_config --bindir 2>/dev/null", "r")) {
            char line[4096] = {};
            if (std::fgets(line, sizeof line, p) != nullptr) {
                dir = line;
            }
            pclose(p);
        }
        while (!dir.empty() && (dir.back() == '\n' || dir.back() == ' ')) {
            dir.pop_back();
        }
    }
    if (dir.empty() || access((dir + "/initdb").c_str(), X_OK) != 0 ||
        access((dir + "/postgres").c_str(), X_OK) != 0) {
        throw std::runtime_error(fmt::format(
            "no PostgreSQL server binaries (initdb, postgres) in '{}': set KWTEST_PG_BINDIR or install "
            "the server package whose pg_config names them",
            dir));
    }
    return dir;
}

uint16_t freeLoopbackPort() {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        if (fd >= 0) {
            close(fd);
        }
        throw std::runtime_error("cannot find a free loopback port");
    }
    close(fd);
    return ntohs(addr.sin_port);
}

}  // namespace

// Starts `args` (the program first) as the cluster's owner with its output appended to `logPath`.
// The child does only what is safe after a fork in a threaded program.
static pid_t spawnAs(const std::vector<std::string>& args, const std::string& logPath, bool switchUser,
                     uid_t uid, gid_t gid) {
    std::vector<char*> argv;
    for (const std::string& a : args) {
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid == 0) {
        if (switchUser && (setgroups(0, nullptr) != 0 || setgid(gid) != 0 || setuid(uid) != 0)) {
            _exit(126);
        }
        // After the change of user, which clears it: an orphaned server shuts down at once.
        prctl(PR_SET_PDEATHSIG, SIGQUIT);
        if (getppid() != parent) {
            _exit(127);
        }
        int out = open(logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
        int null = open("/dev/null", O_RDONLY | O_CLOEXEC);
        if (out >= 0) {
            dup2(out, STDOUT_FILENO);
            dup2(out, STDERR_FILENO);
        }
        if (null >= 0) {
            dup2(null, STDIN_FILENO);
        }
        execv(argv[0], argv.data());
        _exit(127);
    }
    if (pid < 0) {
        throw std::runtime_error(fmt::format("cannot start {}: {}", args[0], std::strerror(errno)));
    }
    return pid;
}

PrivateCluster::PrivateCluster() : bindir_(pgBindir()) {
    if (geteuid() == 0) {
        const passwd* pw = getpwnam("postgres");
        if (pw == nullptr) {
            throw std::runtime_error("running as root, and there is no 'postgres' user to run PostgreSQL as");
        }
        uid_ = pw->pw_uid;
        gid_ = pw->pw_gid;
        switchUser_ = true;
    }
    const char* base = std::getenv("TMPDIR");
    std::string templ = std::string(base != nullptr && *base ? base : "/tmp") + "/kwpg-XXXXXX";
    std::vector<char> buf(templ.begin(), templ.end());
    buf.push_back('\0');
    if (mkdtemp(buf.data()) == nullptr) {
        throw std::runtime_error(
            fmt::format("cannot make a folder for the cluster: {}", std::strerror(errno)));
    }
    dir_ = buf.data();
    if (switchUser_ && chown(dir_.c_str(), uid_, gid_) != 0) {
        throw std::runtime_error(fmt::format("cannot give {} to the postgres user", dir_));
    }
    const std::string initLog = dir_ + "/initdb.log";
    pid_t init = spawnAs({bindir_ + "/initdb", "-D", dir_ + "/data", "-U", "postgres", "-A", "trust", "-E",
                          "UTF8", "--no-locale", "-N"},
                         initLog, switchUser_, uid_, gid_);
    if (waitChild(init, kInitTimeoutMs) != 0) {
        kill(init, SIGKILL);
        waitChild(init, kStopTimeoutMs);
        std::string why = readFile(initLog);
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
        throw std::runtime_error("initdb failed: " + why);
    }
    port_ = freeLoopbackPort();
    start();
}

PrivateCluster::~PrivateCluster() {
    try {
        stop();
    } catch (...) {
        // A server that would not stop was killed; nothing more can be done here.
    }
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
}

std::string PrivateCluster::conninfo(const std::string& database) const {
    return fmt::format("host=127.0.0.1 port={} user=postgres dbname={} connect_timeout=5", port_, database);
}

std::string PrivateCluster::serverConninfo(const std::string& database) const {
    return fmt::format("host=127.0.0.1 port={} dbname={}", port_, database);
}

void PrivateCluster::start() {
    if (pid_ > 0) {
        return;
    }
    pid_ = spawnAs({bindir_ + "/postgres", "-D", dir_ + "/data", "-p", std::to_string(port_), "-k", dir_,
                    "-c", "listen_addresses=127.0.0.1", "-c", "fsync=off", "-c", "max_connections=60"},
                   dir_ + "/server.log", switchUser_, uid_, gid_);
    const std::string ping = conninfo() + " connect_timeout=2";
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(kStartTimeoutMs);
    while (PQping(ping.c_str()) != PQPING_OK) {
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            throw std::runtime_error("PostgreSQL did not start: " + log());
        }
        if (std::chrono::steady_clock::now() > until) {
            stop();
            throw std::runtime_error("PostgreSQL did not accept connections in time: " + log());
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

void PrivateCluster::stop() {
    if (pid_ <= 0) {
        return;
    }
    const pid_t pid = pid_;
    pid_ = -1;
    kill(pid, SIGINT);  // fast shutdown: sessions are ended, the server exits cleanly
    if (waitChild(pid, kStopTimeoutMs) < 0) {
        kill(pid, SIGKILL);
        waitChild(pid, kStopTimeoutMs);
        throw std::runtime_error("PostgreSQL did not stop in time and was killed");
    }
}

std::string PrivateCluster::log() const {
    return readFile(dir_ + "/server.log");
}

}  // namespace kwtest
