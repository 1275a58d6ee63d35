// soak_test.cpp - many sessions at once inserting and reading through the gateway: every row each
// session wrote is there exactly once, each session reads back its own rows as it goes, and once
// the sessions end the gateway holds no more threads or descriptors than before they began.
//
// The size is reduced unless KW_SOAK=full (scripts/soak): 16 sessions of 200 rows in the normal
// suite, 64 sessions of 1,000 rows in full. The test prints its figures.
#include <dirent.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "live.h"

namespace {

using namespace kwtest;
using Clock = std::chrono::steady_clock;

bool fullSoak() {
    const char* mode = std::getenv("KW_SOAK");
    return mode != nullptr && std::string(mode) == "full";
}

// Entries of a /proc folder of the gateway process (its threads or its descriptors).
int entries(const std::string& path) {
    DIR* dir = opendir(path.c_str());
    if (dir == nullptr) {
        return -1;
    }
    int n = 0;
    while (const dirent* e = readdir(dir)) {
        n += e->d_name[0] != '.';
    }
    closedir(dir);
    return n;
}

// One session's work: rows (session, seq) for seq 0..rows-1, one insert each; every 25th insert it
// counts its own rows through the gateway and checks the count. Failures are added to the test.
void sessionWork(const std::string& server, int session, int rows, std::atomic<int>& readsChecked) {
    auto c = connectAs(kJoe, server);
    if (!c->connected()) {
        std::string why;
        for (const Message& m : c->messages()) {
            why += " [" + std::to_string(m.number) + "] " + m.text;
        }
        ADD_FAILURE() << "session " << session << " could not log in:" << why;
        return;
    }
    const std::string s = std::to_string(session);
    for (int seq = 0; seq < rows; ++seq) {
        const std::string q = std::to_string(seq);
        ASSERT_TRUE(
            c->exec("insert into soak values (" + s + ", " + q + ", 'session " + s + " row " + q + "')"))
            << "session " << session << " row " << seq;
        c->drain();
        if (seq % 25 == 24) {
            ASSERT_EQ(c->column("select count(*) from soak where who = " + s),
                      std::vector<std::string>{std::to_string(seq + 1)})
                << "session " << session << " after row " << seq;
            ++readsChecked;
        }
    }
    ASSERT_EQ(c->column("select sum(seq) from soak where who = " + s),
              std::vector<std::string>{std::to_string(static_cast<long long>(rows) * (rows - 1) / 2)})
        << "session " << session;
}

TEST(Soak, ManySessionsAtOnceInsertAndReadAndEveryRowIsAccountedFor) {
    const int sessions = fullSoak() ? 64 : 16;
    const int rows = fullSoak() ? 1000 : 200;
    // Commits need not wait for the disk: the soak measures the gateway.
    env().exec("ALTER DATABASE \"" + env().databaseName() + "\" SET synchronous_commit = off");
    createJoeTable("soak", "who INTEGER, seq INTEGER, note VARCHAR(40)");
    // Sixty-four logins at once under the sanitizers can outlast the default login deadline.
    const Gateway& gateway = env().startGateway("KWGW_SOAK", {"--login-timeout", "30"});
    const std::string proc = "/proc/" + std::to_string(gateway.pid());
    // The gateway at rest: reaping a finished session can take its accept loop a second.
    std::this_thread::sleep_for(std::chrono::milliseconds(1200));
    const int threadsBefore = entries(proc + "/task");
    const int descriptorsBefore = entries(proc + "/fd");
    ASSERT_GT(threadsBefore, 0);

    const auto start = Clock::now();
    std::atomic<int> readsChecked{0};
    std::vector<std::thread> workers;
    for (int k = 0; k < sessions; ++k) {
        workers.emplace_back(sessionWork, gateway.serverName(), k, rows, std::ref(readsChecked));
    }
    for (std::thread& w : workers) {
        w.join();
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();

    const long long total = static_cast<long long>(sessions) * rows;
    EXPECT_EQ(readsChecked, sessions * (rows / 25));
    EXPECT_EQ(env().queryValue("SELECT count(*) FROM joe.soak"), std::to_string(total));
    EXPECT_EQ(env().queryValue("SELECT count(DISTINCT (who, seq)) FROM joe.soak"), std::to_string(total))
        << "no row twice";
    EXPECT_EQ(env().queryValue("SELECT count(*) FROM (SELECT who FROM joe.soak GROUP BY who HAVING "
                               "count(*) = " +
                               std::to_string(rows) +
                               " AND min(seq) = 0 AND max(seq) = " + std::to_string(rows - 1) + ") s"),
              std::to_string(sessions))
        << "every session has all its rows";
    EXPECT_EQ(
        env().queryValue("SELECT count(*) FROM joe.soak WHERE note <> 'session ' || who || ' row ' || seq"),
        "0");

    int threadsAfter = -1, descriptorsAfter = -1;
    const auto settle = Clock::now();
    do {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        threadsAfter = entries(proc + "/task");
        descriptorsAfter = entries(proc + "/fd");
    } while ((threadsAfter != threadsBefore || descriptorsAfter != descriptorsBefore) &&
             Clock::now() - settle < std::chrono::seconds(10));
    EXPECT_EQ(threadsAfter, threadsBefore) << "every session thread was let go";
    EXPECT_EQ(descriptorsAfter, descriptorsBefore) << "every session socket was closed";
    std::printf(
        "soak: %d sessions at once, %lld rows inserted and accounted for in %.1f s; gateway threads %d "
        "before and %d after, descriptors %d before and %d after\n",
        sessions, total, seconds, threadsBefore, threadsAfter, descriptorsBefore, descriptorsAfter);
}

}  // namespace
