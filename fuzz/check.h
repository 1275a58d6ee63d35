// check.h - what every fuzz target shares: a failed invariant stops the run as a finding, and the
// fuzz input is taken apart into the pieces a target feeds the code under test.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

// Stops the run with the broken invariant named; libFuzzer then saves the input as a crash.
#define KW_FUZZ_CHECK(condition)                                                                   \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: invariant broken: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)

namespace kwfuzz {

// The fuzz input as bytes and text.
inline std::string_view asText(const uint8_t* data, size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

// Reads the input front to back: a few leading bytes choose parameters, the rest is the text.
class InputReader {
  public:
    InputReader(const uint8_t* data, size_t size) : rest_(asText(data, size)) {}

    // The next byte, or 0 when the input is used up.
    uint8_t byte() {
        if (rest_.empty()) {
            return 0;
        }
        auto b = static_cast<uint8_t>(rest_.front());
        rest_.remove_prefix(1);
        return b;
    }
    // The text up to the next `separator` (which is consumed), or all that is left.
    std::string_view piece(char separator) {
        size_t at = rest_.find(separator);
        std::string_view piece = rest_.substr(0, at);
        rest_.remove_prefix(at == std::string_view::npos ? rest_.size() : at + 1);
        return piece;
    }
    std::string_view rest() const { return rest_; }
    bool empty() const { return rest_.empty(); }

  private:
    std::string_view rest_;
};

// A NUL-terminated copy of the text cut at its first NUL, as C callers pass text.
inline std::string cText(std::string_view text) {
    return std::string(text.substr(0, text.find('\0')));
}

}  // namespace kwfuzz
