// statement_log.h - the record of every request text the gateway received.
//
// With --statement-log FILE each request is appended as one JSON line
// {"session":N,"time":"...","text":"..."} and flushed at once, so that a test can read exactly
// what a client sent while the gateway is still running. The file is readable by its owner
// only, and the password literal of a statement that sets one is masked. Safe to use from every
// session thread.
#pragma once

#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>

namespace gw::session {

class StatementLog {
  public:
    StatementLog() = default;
    ~StatementLog();
    StatementLog(const StatementLog&) = delete;
    StatementLog& operator=(const StatementLog&) = delete;

    bool open(const std::string& path, std::string& error);
    void append(uint32_t session, std::string_view text);

  private:
    std::mutex mutex_;
    std::FILE* file_ = nullptr;
};

// `text` with every password literal replaced by '********': the literal after the word PASSWORD
// (an optional = between them), and every literal of a call to sp_password.
std::string maskPasswords(std::string_view text);

// `text` as a JSON string literal (quotes included); bytes that are not valid UTF-8 become
// \u00XX escapes of their Latin-1 reading.
std::string jsonString(std::string_view text);

// The current UTC time as yyyy-mm-ddThh:mm:ss.mmmZ.
std::string utcTimestamp();

}  // namespace gw::session
