// throttle_test.cpp - the login throttle: which failure starts the delay, how it grows and where
// it stops, that attempts made together queue, that a good login forgives only its own user's
// failures, that a quiet spell clears an address, and that other addresses never wait.
#include "session/throttle.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

namespace {

using gw::session::LoginThrottle;
using gw::session::ThrottlePolicy;
using std::chrono::milliseconds;

ThrottlePolicy policy() {
    ThrottlePolicy p;
    p.freeFailures = 3;
    p.firstDelay = milliseconds(100);
    p.maxDelay = milliseconds(1000);
    p.forgetAfter = std::chrono::seconds(600);
    p.maxAddresses = 4;
    return p;
}

// How long from now the address's next turn is (reserving it), -1 when it would come after
// `latestMs`.
long long turnIn(LoginThrottle& t, const std::string& address, long long latestMs = 100000) {
    auto now = LoginThrottle::Clock::now();
    auto turn = t.turn(address, now + milliseconds(latestMs));
    if (!turn) {
        return -1;
    }
    return std::chrono::duration_cast<milliseconds>(*turn - now).count();
}

TEST(LoginThrottle, TheDelayStartsAfterTheFreeFailuresDoublesAndStopsAtItsCeiling) {
    LoginThrottle t(policy());
    const std::pair<int, long long> cases[] = {{0, 0},   {1, 0},   {2, 0},    {3, 100},  {4, 200},
                                               {5, 400}, {6, 800}, {7, 1000}, {40, 1000}};
    for (auto [failures, delay] : cases) {
        EXPECT_EQ(t.delayAfter(failures).count(), delay) << failures << " failures";
    }
}

TEST(LoginThrottle, FailuresDelayOnlyTheirAddressAndAttemptsMadeTogetherQueue) {
    LoginThrottle t(policy());
    for (int i = 0; i < 3; ++i) {
        EXPECT_LE(turnIn(t, "10.0.0.1"), 5) << "attempt " << i + 1 << ": the free failures wait for nothing";
        t.failed("10.0.0.1", "joe");
    }
    EXPECT_GE(turnIn(t, "10.0.0.1"), 50) << "the attempt after them waits";
    t.failed("10.0.0.1", "joe");
    EXPECT_EQ(t.failures("10.0.0.1"), 4);
    // Four failures: the next attempt waits 200 ms; two more made at once queue behind it.
    const long long first = turnIn(t, "10.0.0.1");
    const long long second = turnIn(t, "10.0.0.1");
    const long long third = turnIn(t, "10.0.0.1");
    // Each figure is the time left when it was taken, so a stall between the calls can only shrink
    // it: the lower bounds leave room for a busy machine.
    EXPECT_GE(first, 100);
    EXPECT_LE(first, 200);
    EXPECT_GE(second - first, 120) << "the second waits a delay more";
    EXPECT_GE(third - second, 120);
    EXPECT_LE(turnIn(t, "10.0.0.2"), 5) << "another address is not slowed";
    EXPECT_EQ(t.failures("10.0.0.2"), 0);
}

TEST(LoginThrottle, ATurnPastTheLoginDeadlineIsNotReservedAndAGoodLoginClearsTheAddress) {
    LoginThrottle t(policy());
    for (int i = 0; i < 6; ++i) {
        t.failed("10.0.0.1", "joe");
    }
    // Six failures: 800 ms. A login with 300 ms left is refused unchecked and pushes nothing.
    EXPECT_EQ(turnIn(t, "10.0.0.1", 300), -1);
    EXPECT_EQ(turnIn(t, "10.0.0.1", 300), -1);
    const long long waited = turnIn(t, "10.0.0.1");
    EXPECT_GE(waited, 500) << "more than the 400 ms of five failures";
    EXPECT_LE(waited, 800) << "refused attempts did not move the turn";
    t.succeeded("10.0.0.1", "joe");
    EXPECT_EQ(t.failures("10.0.0.1"), 0);
    EXPECT_LE(turnIn(t, "10.0.0.1"), 5);
}

TEST(LoginThrottle, AGoodLoginForgivesOnlyTheFailuresOfItsOwnUserName) {
    ThrottlePolicy p = policy();
    p.maxUsersPerAddress = 2;
    LoginThrottle t(p);
    // Guesses at MARY's password from an address that also holds JOE's valid account.
    for (int i = 0; i < 5; ++i) {
        t.failed("10.0.0.1", "mary");
    }
    t.failed("10.0.0.1", "joe");
    t.failed("10.0.0.1", "ann");  // a third name: past the two an entry tracks
    EXPECT_EQ(t.failures("10.0.0.1"), 7);
    t.succeeded("10.0.0.1", "joe");
    EXPECT_EQ(t.failures("10.0.0.1"), 6) << "JOE's good login forgives his one failure, not MARY's";
    t.succeeded("10.0.0.1", "nobody");
    EXPECT_EQ(t.failures("10.0.0.1"), 6) << "a name that never failed forgives nothing";
    t.succeeded("10.0.0.1", "ann");
    EXPECT_EQ(t.failures("10.0.0.1"), 6) << "an untracked name's failures are never forgiven";
    EXPECT_GE(turnIn(t, "10.0.0.1"), 100) << "the address still waits";

    t.succeeded("10.0.0.1", "mary");
    EXPECT_EQ(t.failures("10.0.0.1"), 1) << "MARY forgives her own five; ANN's one stays";
}

TEST(LoginThrottle, AQuietAddressStartsAfreshAndTheTableKeepsItsBound) {
    ThrottlePolicy p = policy();
    p.forgetAfter = std::chrono::seconds(0);
    LoginThrottle quiet(p);
    for (int i = 0; i < 6; ++i) {
        quiet.failed("10.0.0.1", "joe");
    }
    std::this_thread::sleep_for(milliseconds(5));
    EXPECT_LE(turnIn(quiet, "10.0.0.1"), 5) << "failures older than forgetAfter count no more";

    LoginThrottle t(policy());
    for (int a = 1; a <= 6; ++a) {
        t.failed("10.0.1." + std::to_string(a), "joe");
    }
    int remembered = 0;
    for (int a = 1; a <= 6; ++a) {
        remembered += t.failures("10.0.1." + std::to_string(a));
    }
    EXPECT_EQ(remembered, 4) << "at most maxAddresses addresses are kept";
    EXPECT_EQ(t.failures("10.0.1.6"), 1) << "the newest is kept, the oldest forgotten";
    EXPECT_EQ(t.failures("10.0.1.1"), 0);
}

}  // namespace
