// silent_listener.cpp - accepts loopback connections and holds them without a word.
//
// Serves connect tests of the driver and the gateway. Owns the listening socket, the accepted
// sockets and the accepting thread, which a self-pipe wakes for a prompt stop.
#include "kwtest/silent_listener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace kwtest {

SilentListener::SilentListener() {
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        listen(listener_, 16) != 0 || getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len) != 0 ||
        pipe(wake_) != 0) {
        if (listener_ >= 0) {
            close(listener_);
        }
        throw std::runtime_error("cannot open the silent listener");
    }
    port_ = ntohs(addr.sin_port);
    thread_ = std::thread([this] { loop(); });
}

SilentListener::~SilentListener() {
    char c = 0;
    if (write(wake_[1], &c, 1) != 1) {
        shutdown(listener_, SHUT_RDWR);
    }
    thread_.join();
    for (int fd : held_) {
        close(fd);
    }
    close(listener_);
    close(wake_[0]);
    close(wake_[1]);
}

void SilentListener::loop() {
    for (;;) {
        pollfd fds[2] = {{listener_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        if (poll(fds, 2, -1) < 0 || fds[1].revents) {
            return;
        }
        int fd = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd >= 0) {
            held_.push_back(fd);
            ++accepted_;
        }
    }
}

}  // namespace kwtest
