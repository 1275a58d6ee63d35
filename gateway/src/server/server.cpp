// server.cpp - the accept loop, session threads, and a clean stop on SIGTERM/SIGINT.
//
// Serves `kwgateway serve`. Owns the listening socket and the table of live sessions. A
// session's socket is shut down only while its entry says it is open, under the table's lock,
// so a stop never touches a descriptor that a finished session has already closed.
#include "server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <list>
#include <memory>
#include <mutex>
#include <thread>

#include "common/log.h"

namespace gw {
namespace {

struct LiveSession {
    int fd = -1;  // -1 once the session has finished with its socket
    std::thread thread;
    std::atomic<bool> finished{false};
};

class SessionTable {
  public:
    LiveSession& add(int fd) {
        std::lock_guard lock(mutex_);
        sessions_.emplace_back();
        sessions_.back().fd = fd;
        return sessions_.back();
    }
    void release(LiveSession& s) {
        std::lock_guard lock(mutex_);
        s.fd = -1;
    }
    void shutdownAll() {
        std::lock_guard lock(mutex_);
        for (LiveSession& s : sessions_) {
            if (s.fd >= 0) {
                ::shutdown(s.fd, SHUT_RDWR);
            }
        }
    }
    // Joins the threads of finished sessions (all of them when `all`).
    void reap(bool all) {
        std::list<LiveSession> done;
        {
            std::lock_guard lock(mutex_);
            for (auto it = sessions_.begin(); it != sessions_.end();) {
                auto next = std::next(it);
                if (all || it->finished) {
                    done.splice(done.end(), sessions_, it);
                }
                it = next;
            }
        }
        for (LiveSession& s : done) {
            if (s.thread.joinable()) {
                s.thread.join();
            }
        }
    }

  private:
    std::mutex mutex_;
    std::list<LiveSession> sessions_;
};

int openListener(const ServeOptions& o, ServerLog& log, uint16_t& port) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        log.line("cannot create a socket: {}", std::strerror(errno));
        return -1;
    }
    int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(o.port);
    if (::inet_pton(AF_INET, o.host.c_str(), &addr.sin_addr) != 1) {
        log.line("not an IPv4 address to listen on: {}", o.host);
        ::close(fd);
        return -1;
    }
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 128) != 0) {
        log.line("cannot listen on {}:{}: {}", o.host, o.port, std::strerror(errno));
        ::close(fd);
        return -1;
    }
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    port = ntohs(addr.sin_port);
    return fd;
}

// SIGTERM and SIGINT are taken from a signalfd in the accept loop; every thread inherits the
// blocked mask, so no session thread is ever interrupted by them.
int openSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    ::signal(SIGPIPE, SIG_IGN);
    return ::signalfd(-1, &set, SFD_CLOEXEC);
}

void startSession(int fd, uint32_t id, const ServeOptions& o, ServerLog& log,
                  session::StatementLog* statements, SessionTable& table) {
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    LiveSession& live = table.add(fd);
    live.thread = std::thread([fd, id, &o, &log, statements, &table, &live] {
        {
            session::Session s(fd, id, o.session, log, statements);
            s.run();
            table.release(live);
        }  // the session's socket closes here, after the table no longer names it
        log.line("session {}: ended", id);
        live.finished = true;
    });
}

}  // namespace

int serve(const ServeOptions& o) {
    ServerLog log;
    std::string error;
    if (!o.logFile.empty() && !log.open(o.logFile, error)) {
        std::fprintf(stderr, "kwgateway: %s\n", error.c_str());
        return 1;
    }
    std::unique_ptr<session::StatementLog> statements;
    if (!o.statementLog.empty()) {
        statements = std::make_unique<session::StatementLog>();
        if (!statements->open(o.statementLog, error)) {
            log.line("{}", error);
            return 1;
        }
    }
    int signals = openSignals();
    uint16_t port = 0;
    int listener = openListener(o, log, port);
    if (listener < 0 || signals < 0) {
        return 1;
    }
    log.line("listening on {}:{} (long transactions {}, stored-request owner '{}')", o.host, port,
             o.session.longTransAlways ? "always" : "switchable", o.session.storedRequestOwner);
    std::printf("listening on %s:%u\n", o.host.c_str(), static_cast<unsigned>(port));
    std::fflush(stdout);

    SessionTable table;
    uint32_t nextId = 1;
    for (;;) {
        pollfd fds[2] = {{listener, POLLIN, 0}, {signals, POLLIN, 0}};
        int n = ::poll(fds, 2, 1000);
        table.reap(false);
        if (n < 0 && errno != EINTR) {
            log.line("poll failed: {}", std::strerror(errno));
            break;
        }
        if (n <= 0) {
            continue;
        }
        if (fds[1].revents) {
            signalfd_siginfo info{};
            if (::read(signals, &info, sizeof info) > 0) {
                log.line("stopping on signal {}", info.ssi_signo);
            }
            break;
        }
        if (fds[0].revents) {
            int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd >= 0) {
                startSession(fd, nextId++, o, log, statements.get(), table);
            }
        }
    }
    ::close(listener);
    table.shutdownAll();
    table.reap(true);
    ::close(signals);
    log.line("stopped");
    return 0;
}

}  // namespace gw
