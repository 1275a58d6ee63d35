// client_runner.cpp - runs one real client program (a Python, Perl or Java program, or a C program
// linked with a client library) against a live gateway.
//
// Usage: kwclient_runner SETUP.sql PROBE-COMMAND... -- CLIENT-COMMAND...
// First PROBE-COMMAND (for example `python3 -c "import pymssql"`) checks that the client's package
// is installed; when it is not, the runner says so and exits with 77, which ctest reports as a
// skip. Otherwise the kwtest environment makes a database and a gateway, runs SETUP.sql on the
// database as the superuser (tables owned by JOE), and runs CLIENT-COMMAND with the gateway's
// freetds.conf section, address, the database and JOE's credentials in its environment
// (KWGW_SERVER, KWGW_HOST, KWGW_PORT, KWGW_DATABASE, KWGW_USER, KWGW_PASSWORD). The client's exit
// status is the test's: a failing client is a failing test, never a skip.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "child.h"
#include "kwtest/environment.h"

namespace {

constexpr int kSkip = 77;
constexpr int kProbeTimeoutMs = 30000;
constexpr int kScriptTimeoutMs = 240000;

// Starts `argv`; with `quiet` its output goes nowhere. Returns the child's pid, or -1.
pid_t start(const std::vector<std::string>& args, bool quiet) {
    std::vector<char*> argv;
    for (const std::string& a : args) {
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        if (quiet) {
            int null = open("/dev/null", O_WRONLY);
            if (null >= 0) {
                dup2(null, STDOUT_FILENO);
                dup2(null, STDERR_FILENO);
            }
        }
        execvp(argv[0], argv.data());
        _exit(127);
    }
    return pid;
}

// Runs `args` to its end; its exit status, 128 + the signal that ended it, or -1 when it did not
// end in time and was killed.
int runToEnd(const std::vector<std::string>& args, bool quiet, int timeoutMs) {
    pid_t pid = start(args, quiet);
    if (pid < 0) {
        return -1;
    }
    int status = kwtest::waitChild(pid, timeoutMs);
    if (status < 0) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    return status;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::string joined(const std::vector<std::string>& words) {
    std::string out;
    for (const std::string& w : words) {
        out += (out.empty() ? "" : " ") + w;
    }
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> probe, client;
    bool separated = false;
    for (int i = 2; i < argc; ++i) {
        if (!separated && std::string(argv[i]) == "--") {
            separated = true;
        } else {
            (separated ? client : probe).push_back(argv[i]);
        }
    }
    if (argc < 2 || probe.empty() || client.empty()) {
        std::fprintf(stderr, "usage: %s SETUP.sql PROBE-COMMAND... -- CLIENT-COMMAND...\n", argv[0]);
        return 2;
    }
    const std::string setup = argv[1];
    if (runToEnd(probe, true, kProbeTimeoutMs) != 0) {
        std::printf("SKIP: `%s` failed: the client package is not installed\n", joined(probe).c_str());
        return kSkip;
    }
    try {
        kwtest::Environment& env = kwtest::Environment::get();
        std::string sql = readFile(setup);
        if (sql.empty()) {
            std::fprintf(stderr, "cannot read %s\n", setup.c_str());
            return 1;
        }
        env.exec(sql);
        setenv("KWGW_SERVER", env.serverName().c_str(), 1);
        setenv("KWGW_HOST", "127.0.0.1", 1);
        setenv("KWGW_PORT", std::to_string(env.gateway().port()).c_str(), 1);
        setenv("KWGW_DATABASE", env.databaseName().c_str(), 1);
        setenv("KWGW_USER", kwtest::kJoe.name, 1);
        setenv("KWGW_PASSWORD", kwtest::kJoe.password, 1);
        std::fflush(stdout);
        int status = runToEnd(client, false, kScriptTimeoutMs);
        if (status != 0) {
            std::fprintf(stderr,
                         "`%s` ended with status %d; the gateway's log:\n%s\nthe requests it received:\n",
                         joined(client).c_str(), status, env.gateway().log().c_str());
            for (const std::string& request : env.gateway().requestsSince(0)) {
                std::fprintf(stderr, "  %s\n", request.c_str());
            }
            return status == kSkip || status < 0 ? 1 : status;
        }
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "the test environment could not be set up: %s\n", e.what());
        return 1;
    }
}
