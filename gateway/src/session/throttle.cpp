// throttle.cpp - per-address delays for failing logins.
//
// Serves the session's login. Owns the table of addresses with failures. Invariant: the table
// never holds more than the policy's number of addresses, an address with no failure has no
// entry, and an entry's failures are at least the sum of its failures by user name.
#include "throttle.h"

#include <algorithm>

namespace gw::session {

std::chrono::milliseconds LoginThrottle::delayAfter(int failures) const {
    if (failures < policy_.freeFailures) {
        return std::chrono::milliseconds(0);
    }
    std::chrono::milliseconds delay = policy_.firstDelay;
    for (int i = policy_.freeFailures; i < failures && delay < policy_.maxDelay; ++i) {
        delay *= 2;
    }
    return std::min(delay, policy_.maxDelay);
}

std::optional<LoginThrottle::Clock::time_point> LoginThrottle::turn(const std::string& address,
                                                                    Clock::time_point latest) {
    std::lock_guard lock(mutex_);
    Clock::time_point now = Clock::now();
    auto it = entries_.find(address);
    if (it == entries_.end()) {
        return now;
    }
    Entry& e = it->second;
    if (now - e.lastFailure > policy_.forgetAfter) {
        entries_.erase(it);
        return now;
    }
    Clock::time_point at = std::max(now, e.nextTurn);
    if (at > latest) {
        return std::nullopt;
    }
    // Whoever comes next from this address waits one more delay behind this attempt.
    e.nextTurn = at + delayAfter(e.failures);
    return at;
}

void LoginThrottle::failed(const std::string& address, const std::string& user) {
    std::lock_guard lock(mutex_);
    Clock::time_point now = Clock::now();
    auto it = entries_.find(address);
    if (it == entries_.end()) {
        if (entries_.size() >= policy_.maxAddresses) {
            forgetOld(now);
        }
        it = entries_.emplace(address, Entry{0, now, now, {}}).first;
    }
    Entry& e = it->second;
    ++e.failures;
    auto named = e.byUser.find(user);
    if (named != e.byUser.end()) {
        ++named->second;
    } else if (e.byUser.size() < policy_.maxUsersPerAddress) {
        e.byUser.emplace(user, 1);
    }
    e.lastFailure = now;
    e.nextTurn = std::max(e.nextTurn, now + delayAfter(e.failures));
}

void LoginThrottle::succeeded(const std::string& address, const std::string& user) {
    std::lock_guard lock(mutex_);
    auto it = entries_.find(address);
    if (it == entries_.end()) {
        return;
    }
    Entry& e = it->second;
    auto named = e.byUser.find(user);
    if (named == e.byUser.end()) {
        return;
    }
    e.failures -= named->second;
    e.byUser.erase(named);
    if (e.failures <= 0) {
        entries_.erase(it);
    }
}

int LoginThrottle::failures(const std::string& address) {
    std::lock_guard lock(mutex_);
    auto it = entries_.find(address);
    return it == entries_.end() ? 0 : it->second.failures;
}

// Drops the addresses quiet for longest until there is room for one more (mutex held).
void LoginThrottle::forgetOld(Clock::time_point now) {
    for (auto it = entries_.begin(); it != entries_.end();) {
        it = now - it->second.lastFailure > policy_.forgetAfter ? entries_.erase(it) : std::next(it);
    }
    while (entries_.size() >= policy_.maxAddresses) {
        auto oldest = std::min_element(entries_.begin(), entries_.end(), [](const auto& a, const auto& b) {
            return a.second.lastFailure < b.second.lastFailure;
        });
        entries_.erase(oldest);
    }
}

}  // namespace gw::session
