// log.h - the gateway's readable server log.
//
// One line per event (start, connects, logins and refusals, failed statements, dropped
// sessions, stop), prefixed with the UTC time, written to stderr or to --log FILE. Safe to use
// from every session thread; each line is written and flushed whole.
#pragma once

#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>

#include <fmt/format.h>

namespace gw {

class ServerLog {
  public:
    ServerLog() = default;
    ~ServerLog();
    ServerLog(const ServerLog&) = delete;
    ServerLog& operator=(const ServerLog&) = delete;

    // Sends the log to `path` (appended) instead of stderr.
    bool open(const std::string& path, std::string& error);

    template <typename... Args>
    void line(fmt::format_string<Args...> format, Args&&... args) {
        write(fmt::format(format, std::forward<Args>(args)...));
    }

  private:
    void write(std::string_view text);

    std::mutex mutex_;
    std::FILE* file_ = nullptr;
};

}  // namespace gw
