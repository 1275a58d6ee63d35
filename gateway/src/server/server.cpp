// server.cpp - the accept loop, session threads, and a clean stop on SIGTERM/SIGINT.
//
// Serves `kwgateway serve`. Owns the listening socket, the table of live sessions and the
// connections being refused. A session's socket is shut down only while its entry says it is
// open, under the table's lock, so a stop never touches a descriptor that a finished session has
// already closed. The accept loop never throws: a client it cannot serve (too many sessions, no
// thread) is answered with a login refusal from the loop itself, without a thread.
#include "server.h"

#include <arpa/inet.h>
#include <malloc.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <list>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

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
    // Forgets an entry whose thread never started.
    void remove(LiveSession& s) {
        std::lock_guard lock(mutex_);
        sessions_.remove_if([&s](const LiveSession& e) { return &e == &s; });
    }
    // Sessions whose thread has not finished.
    size_t live() {
        std::lock_guard lock(mutex_);
        size_t n = 0;
        for (const LiveSession& s : sessions_) {
            n += s.finished ? 0 : 1;
        }
        return n;
    }
    void shutdownAll() {
        std::lock_guard lock(mutex_);
        for (LiveSession& s : sessions_) {
            if (s.fd >= 0) {
                ::shutdown(s.fd, SHUT_RDWR);
            }
        }
    }
    // Joins the threads of finished sessions (all of them when `all`); answers how many.
    size_t reap(bool all) {
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
        return done.size();
    }

  private:
    std::mutex mutex_;
    std::list<LiveSession> sessions_;
};

constexpr int kMmapThreshold = 1 << 20;

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

// Connections being refused: the refusal is written at once (it fits any socket buffer), the
// sending side shut, and the client's login read and dropped until the client closes or the
// grace time passes, so that closing never resets the connection before the client has read the
// refusal. At most kMaxRefusing are held; beyond that a connection is closed at once.
class Refusals {
  public:
    static constexpr size_t kMaxRefusing = 64;
    static constexpr auto kGrace = std::chrono::seconds(2);

    void refuse(int fd, const std::string& packets) {
        ::send(fd, packets.data(), packets.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        ::shutdown(fd, SHUT_WR);
        if (pending_.size() >= kMaxRefusing) {
            ::close(fd);
            return;
        }
        pending_.push_back({fd, std::chrono::steady_clock::now() + kGrace});
    }
    // Adds a poll entry for each connection being refused.
    void watch(std::vector<pollfd>& fds) const {
        for (const Pending& p : pending_) {
            fds.push_back({p.fd, POLLIN, 0});
        }
    }
    // Reads what the clients sent and closes those that are done or out of time; `fds` are the
    // entries watch() added.
    void service(const pollfd* fds) {
        auto now = std::chrono::steady_clock::now();
        std::vector<Pending> kept;
        for (size_t i = 0; i < pending_.size(); ++i) {
            bool done = now >= pending_[i].until;
            if (!done && fds[i].revents) {
                char sink[4096];
                ssize_t n = ::recv(pending_[i].fd, sink, sizeof sink, MSG_DONTWAIT);
                done = n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR);
            }
            if (done) {
                ::close(pending_[i].fd);
            } else {
                kept.push_back(pending_[i]);
            }
        }
        pending_.swap(kept);
    }
    void closeAll() {
        for (const Pending& p : pending_) {
            ::close(p.fd);
        }
        pending_.clear();
    }

  private:
    struct Pending {
        int fd;
        std::chrono::steady_clock::time_point until;
    };
    std::vector<Pending> pending_;
};

// Starts a session thread for an accepted client; false (with nothing left behind) when the
// thread cannot be started.
bool startSession(int fd, uint32_t id, const ServeOptions& o, ServerLog& log,
                  session::StatementLog* statements, session::LoginThrottle& throttle, SessionTable& table) {
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    LiveSession& live = table.add(fd);
    try {
        live.thread = std::thread([fd, id, &o, &log, statements, &throttle, &table, &live] {
            // Nothing may leave the thread: an exception there would end the whole gateway.
            try {
                {
                    session::Session s(fd, id, o.session, log, statements, &throttle);
                    s.run();
                    table.release(live);
                }  // the session's socket closes here, after the table no longer names it
                log.line("session {}: ended", id);
            } catch (...) {
                table.release(live);  // a session that could not be made has closed its socket
            }
            live.finished = true;
        });
    } catch (const std::exception& e) {
        table.remove(live);
        log.line("session {}: refused: cannot start a session thread: {}", id, e.what());
        return false;
    }
    return true;
}

// Accepts one client and starts its session, or refuses it at login.
void acceptOne(int listener, uint32_t id, const ServeOptions& o, ServerLog& log,
               session::StatementLog* statements, session::LoginThrottle& throttle, SessionTable& table,
               Refusals& refusals) {
    int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) {
        if (errno == EMFILE || errno == ENFILE) {
            log.line("cannot accept a client: {}", std::strerror(errno));
            // The client stays in the backlog; a pause keeps the loop from spinning on it.
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return;
    }
    try {
        session::LoginRefusal why;
        if (table.live() >= o.maxSessions) {
            log.line("session {}: refused: {} sessions already (--max-sessions)", id, o.maxSessions);
            why = session::LoginRefusal::GatewayFull;
        } else if (startSession(fd, id, o, log, statements, throttle, table)) {
            return;
        } else {
            why = session::LoginRefusal::NoThread;
        }
        refusals.refuse(fd, session::loginRefusalPackets(
                                session::loginRefusalMessage(why, o.session.serverName, o.maxSessions)));
    } catch (const std::exception&) {
        ::close(fd);  // out of memory even for a refusal: the client is dropped, the server goes on
    }
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

    // Large buffers (a big request or answer) go straight back to the system when freed, and
    // what session threads leave in their heaps is returned whenever sessions end.
    ::mallopt(M_MMAP_THRESHOLD, kMmapThreshold);
    SessionTable table;
    Refusals refusals;
    session::LoginThrottle throttle;
    uint32_t nextId = 1;
    std::vector<pollfd> fds;
    for (;;) {
        fds.assign({{listener, POLLIN, 0}, {signals, POLLIN, 0}});
        refusals.watch(fds);
        int n = ::poll(fds.data(), fds.size(), 1000);
        if (table.reap(false) > 0) {
            ::malloc_trim(0);
        }
        refusals.service(fds.data() + 2);
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
            acceptOne(listener, nextId++, o, log, statements.get(), throttle, table, refusals);
        }
    }
    ::close(listener);
    refusals.closeAll();
    table.shutdownAll();
    table.reap(true);
    ::close(signals);
    log.line("stopped");
    return 0;
}

}  // namespace gw
