// silent_listener.h - a TCP listener on a loopback port that accepts and never answers.
//
// Connect tests point a client at it to check that a server which accepts the connection but
// never answers the login cannot hang the client for ever. Connections are held open until the
// listener is destroyed.
#pragma once

#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

namespace kwtest {

class SilentListener {
  public:
    SilentListener();
    ~SilentListener();
    SilentListener(const SilentListener&) = delete;
    SilentListener& operator=(const SilentListener&) = delete;

    uint16_t port() const { return port_; }
    // How many connections it has accepted so far.
    int accepted() const { return accepted_; }

  private:
    void loop();

    int listener_ = -1;
    int wake_[2] = {-1, -1};
    uint16_t port_ = 0;
    std::atomic<int> accepted_{0};
    std::vector<int> held_;
    std::thread thread_;
};

}  // namespace kwtest
