// log.cpp - timestamped lines of the server log.
//
// Serves the server and every session. Owns the log file when one was given. Invariant: lines
// from different threads never interleave.
#include "common/log.h"

#include <cerrno>
#include <cstring>

#include "session/statement_log.h"

namespace gw {

ServerLog::~ServerLog() {
    if (file_) {
        std::fclose(file_);
    }
}

bool ServerLog::open(const std::string& path, std::string& error) {
    file_ = std::fopen(path.c_str(), "a");
    if (!file_) {
        error = fmt::format("cannot open the log {}: {}", path, std::strerror(errno));
        return false;
    }
    return true;
}

void ServerLog::write(std::string_view text) {
    std::string line = fmt::format("{} {}\n", session::utcTimestamp(), text);
    std::lock_guard lock(mutex_);
    std::FILE* out = file_ ? file_ : stderr;
    std::fwrite(line.data(), 1, line.size(), out);
    std::fflush(out);
}

}  // namespace gw
