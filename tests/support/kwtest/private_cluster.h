// private_cluster.h - a PostgreSQL cluster of one test program's own, which a test may stop and
// start again under live sessions without touching the cluster that other programs share.
//
// The cluster lives in a temporary folder, listens on a free loopback port and trusts local
// connections. Its server process is a child of the test program, told to shut down at once if the
// program dies, so a crashed test leaves no server behind. The binaries come from KWTEST_PG_BINDIR,
// else from `pg_config --bindir`. Run as root, the server runs as the `postgres` user, as
// PostgreSQL refuses to run as root. Throws std::runtime_error when something cannot be set up.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>

namespace kwtest {

class PrivateCluster {
  public:
    // initdb, then start; the superuser is `postgres`.
    PrivateCluster();
    ~PrivateCluster();
    PrivateCluster(const PrivateCluster&) = delete;
    PrivateCluster& operator=(const PrivateCluster&) = delete;

    uint16_t port() const { return port_; }
    // A libpq connection string for `database` as the superuser (no password: trust).
    std::string conninfo(const std::string& database = "postgres") const;
    // A libpq connection string without a user, as a gateway's --pg takes it.
    std::string serverConninfo(const std::string& database) const;

    // Fast shutdown: every session is ended and the server exits; returns when it has.
    void stop();
    // Starts the server again on the same port; returns when it accepts connections.
    void start();
    bool running() const { return pid_ > 0; }
    // The server's log so far.
    std::string log() const;

  private:
    std::string bindir_;
    std::string dir_;
    uint16_t port_ = 0;
    pid_t pid_ = -1;
    uid_t uid_ = 0;
    gid_t gid_ = 0;
    bool switchUser_ = false;
};

}  // namespace kwtest
