// statement_log.cpp - JSON lines of received requests.
//
// Serves the session (one append per request) and the tests that read the file. Owns the log
// file. Invariant: every line is complete valid JSON followed by a newline when the append
// returns.
#include "statement_log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>

#include <fmt/format.h>

namespace gw::session {
namespace {

// Length of the valid UTF-8 sequence starting at s[i], or 0 when there is none.
size_t utf8Length(std::string_view s, size_t i) {
    auto b = static_cast<unsigned char>(s[i]);
    size_t n = b < 0x80 ? 1 : (b >> 5) == 0x6 ? 2 : (b >> 4) == 0xE ? 3 : (b >> 3) == 0x1E ? 4 : 0;
    if (n == 0 || i + n > s.size()) {
        return 0;
    }
    for (size_t k = 1; k < n; ++k) {
        if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) {
            return 0;
        }
    }
    return n;
}

bool isWordChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '@' || c == '#' || c == '$';
}

bool wordAt(std::string_view text, size_t i, std::string_view word) {
    if (text.size() - i < word.size() || (i > 0 && isWordChar(text[i - 1])) ||
        (i + word.size() < text.size() && isWordChar(text[i + word.size()]))) {
        return false;
    }
    for (size_t k = 0; k < word.size(); ++k) {
        if (std::toupper(static_cast<unsigned char>(text[i + k])) != word[k]) {
            return false;
        }
    }
    return true;
}

// The end of the quoted literal starting at text[i] (one past its closing quote; a doubled
// quote stands for one).
size_t literalEnd(std::string_view text, size_t i) {
    const char quote = text[i];
    for (size_t k = i + 1; k < text.size(); ++k) {
        if (text[k] == quote) {
            if (k + 1 < text.size() && text[k + 1] == quote) {
                ++k;
                continue;
            }
            return k + 1;
        }
    }
    return text.size();
}

constexpr std::string_view kMask = "'********'";

}  // namespace

std::string maskPasswords(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    bool maskAll = false;   // inside a call of sp_password
    bool maskNext = false;  // the word PASSWORD came last
    for (size_t i = 0; i < text.size();) {
        const char c = text[i];
        if (c == '\'' || c == '"') {
            size_t end = literalEnd(text, i);
            if (maskNext || maskAll) {
                out += kMask;
            } else {
                out.append(text.substr(i, end - i));
            }
            maskNext = false;
            i = end;
        } else if (isWordChar(c)) {
            size_t end = i;
            while (end < text.size() && isWordChar(text[end])) {
                ++end;
            }
            maskNext = wordAt(text, i, "PASSWORD");
            maskAll = maskAll || wordAt(text, i, "SP_PASSWORD");
            out.append(text.substr(i, end - i));
            i = end;
        } else {
            // Blanks and an = may stand between PASSWORD and its literal; a ; ends a call.
            if (!std::isspace(static_cast<unsigned char>(c)) && c != '=') {
                maskNext = false;
            }
            if (c == ';') {
                maskAll = false;
            }
            out.push_back(c);
            ++i;
        }
    }
    return out;
}

StatementLog::~StatementLog() {
    if (file_) {
        std::fclose(file_);
    }
}

bool StatementLog::open(const std::string& path, std::string& error) {
    // Requests can hold anything a client sends: the log is for its owner alone, also when it
    // existed before with a wider mode.
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd >= 0) {
        ::fchmod(fd, 0600);
        file_ = ::fdopen(fd, "a");
    }
    if (!file_) {
        error = fmt::format("cannot open the statement log {}: {}", path, std::strerror(errno));
        if (fd >= 0) {
            ::close(fd);
        }
        return false;
    }
    return true;
}

void StatementLog::append(uint32_t session, std::string_view text) {
    if (!file_) {
        return;
    }
    std::string line = fmt::format("{{\"session\":{},\"time\":\"{}\",\"text\":{}}}\n", session,
                                   utcTimestamp(), jsonString(maskPasswords(text)));
    std::lock_guard lock(mutex_);
    std::fwrite(line.data(), 1, line.size(), file_);
    std::fflush(file_);
}

std::string jsonString(std::string_view text) {
    std::string out = "\"";
    for (size_t i = 0; i < text.size();) {
        auto c = static_cast<unsigned char>(text[i]);
        if (c == '"' || c == '\\') {
            out.push_back('\\');
            out.push_back(static_cast<char>(c));
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c < 0x20) {
            out += fmt::format("\\u{:04x}", c);
        } else if (c >= 0x80) {
            size_t n = utf8Length(text, i);
            if (n == 0) {
                out += fmt::format("\\u{:04x}", c);
                ++i;
                continue;
            }
            out.append(text.substr(i, n));
            i += n;
            continue;
        } else {
            out.push_back(static_cast<char>(c));
        }
        ++i;
    }
    out.push_back('"');
    return out;
}

std::string utcTimestamp() {
    using namespace std::chrono;
    auto now = system_clock::now();
    std::time_t t = system_clock::to_time_t(now);
    auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm tm{};
    gmtime_r(&t, &tm);
    return fmt::format("{:04}-{:02}-{:02}T{:02}:{:02}:{:02}.{:03}Z", tm.tm_year + 1900, tm.tm_mon + 1,
                       tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, ms);
}

}  // namespace gw::session
