// throttle.h - the growing delay imposed on logins from an address that keeps failing them.
//
// Sessions ask for their address's turn before checking a password and report the verdict after.
// The first few failures cost nothing; each one after them doubles the delay, up to a ceiling,
// and attempts from one address made at the same time queue behind each other. A good login
// forgives the failures its own user name made from that address, and only those: a client that
// holds one valid account cannot log in with it between guesses at another account's password to
// wipe its record. Addresses never seen, or quiet for long, wait for nothing, so one client's
// guessing never slows anyone else. Safe to use from every session thread.
#pragma once

#include <chrono>
#include <cstddef>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

namespace gw::session {

struct ThrottlePolicy {
    int freeFailures = 3;                       // failures before any delay
    std::chrono::milliseconds firstDelay{250};  // the delay after them, doubled by each further one
    std::chrono::milliseconds maxDelay{8000};   // the ceiling
    std::chrono::seconds forgetAfter{600};      // an address quiet for this long starts afresh
    size_t maxAddresses = 4096;                 // addresses remembered at most
    size_t maxUsersPerAddress = 16;             // user names whose failures a good login can forgive
};

class LoginThrottle {
  public:
    using Clock = std::chrono::steady_clock;
    explicit LoginThrottle(ThrottlePolicy policy = {}) : policy_(policy) {}

    // The delay that `failures` earlier failures impose on the next attempt.
    std::chrono::milliseconds delayAfter(int failures) const;

    // Reserves the address's next turn and answers when it comes (now for an address in good
    // standing); attempts made at the same time get successive turns. A turn later than `latest`
    // is not reserved: the answer is empty and the attempt must be refused unchecked.
    std::optional<Clock::time_point> turn(const std::string& address, Clock::time_point latest);
    void failed(const std::string& address, const std::string& user);
    void succeeded(const std::string& address, const std::string& user);

    // Failures counted against the address (for the log and tests).
    int failures(const std::string& address);

  private:
    struct Entry {
        int failures = 0;
        Clock::time_point nextTurn;
        Clock::time_point lastFailure;
        // Failures by user name, for the first maxUsersPerAddress names; failures of further
        // names count in `failures` only, and no good login forgives them.
        std::unordered_map<std::string, int> byUser;
    };
    void forgetOld(Clock::time_point now);

    ThrottlePolicy policy_;
    std::mutex mutex_;
    std::unordered_map<std::string, Entry> entries_;
};

}  // namespace gw::session
