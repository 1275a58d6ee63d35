// wait.h - time in the live tests: seconds since a moment, and polling for a condition with a bound,
// so a test that waits for the server states its limit and never hangs.
#pragma once

#include <chrono>
#include <functional>
#include <thread>

namespace kwtest {

using Clock = std::chrono::steady_clock;

inline double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// True once `done` holds, polling every 50 ms for up to `seconds`.
inline bool waitUntil(const std::function<bool()>& done, double seconds) {
    const auto start = Clock::now();
    while (!done()) {
        if (secondsSince(start) > seconds) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

}  // namespace kwtest
