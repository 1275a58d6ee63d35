// soak_live_test.cpp - the driver kept at work in one process: connect and disconnect cycles, and a
// long run of statements on one connection. At the end nothing may be left: no allocation in the
// block's memory context, no registered connection, no descriptor more than after the first cycle,
// and every row the statements wrote is where they put it.
//
// The sizes are reduced unless KW_SOAK=full (scripts/soak): 500 cycles and 5,000 statements in the
// normal suite, 10,000 cycles and 100,000 statements in full. Each test prints its figures.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <string>

#include "driver_host.h"
#include "kwtest/wait.h"

namespace {

using kwhosttest::Transaction;
using kwhosttest::value;
using kwtest::Clock;
using kwtest::Environment;
using kwtest::secondsSince;

bool fullSoak() {
    const char* mode = std::getenv("KW_SOAK");
    return mode != nullptr && std::string(mode) == "full";
}

std::ptrdiff_t openDescriptors() {
    return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {});
}

class SoakLiveTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        Environment& env = Environment::get();
        // Commits need not wait for the disk: the soak measures the driver and the gateway.
        env.exec("ALTER DATABASE \"" + env.databaseName() + "\" SET synchronous_commit = off");
        env.exec(
            "CREATE SCHEMA IF NOT EXISTS joe AUTHORIZATION joe;"
            "CREATE TABLE joe.soak (id INTEGER PRIMARY KEY, note VARCHAR(40));"
            "ALTER TABLE joe.soak OWNER TO joe");
    }

    Environment& env = Environment::get();
};

TEST_F(SoakLiveTest, ConnectAndDisconnectCyclesLeaveNoAllocationNoConnectionAndNoDescriptor) {
    const int cycles = fullSoak() ? 10000 : 500;
    Transaction t;
    t.setLogin();
    const int64_t texts = t.liveAllocations();  // the host's login texts
    // The first cycle also loads what DB-Library keeps for the whole process.
    ASSERT_EQ(t.call(REQ_CONNECT), KW_STATUS_OK) << t.message();
    ASSERT_EQ(t.disconnect(), KW_STATUS_OK);
    const std::ptrdiff_t descriptors = openDescriptors();
    const auto start = Clock::now();
    for (int i = 0; i < cycles; ++i) {
        ASSERT_EQ(t.call(REQ_CONNECT), KW_STATUS_OK) << "cycle " << i << ": " << t.message();
        if (i % 100 == 0) {
            ASSERT_EQ(value(t, "SELECT COUNT(*) FROM SOAK WHERE ID < 0"), "0") << "cycle " << i;
        }
        ASSERT_EQ(t.disconnect(), KW_STATUS_OK) << "cycle " << i << ": " << t.message();
    }
    const double seconds = secondsSince(start);
    EXPECT_EQ(t.liveAllocations(), texts);
    EXPECT_EQ(kwhost_registeredConnectionCount(), 0);
    EXPECT_EQ(openDescriptors(), descriptors);
    for (char** field : {&t.block().serverName, &t.block().loginId, &t.block().password}) {
        kwhost_setBlockText(&t.block(), field, nullptr);
    }
    EXPECT_EQ(t.liveAllocations(), 0);
    std::printf(
        "soak: %d connect/disconnect cycles in %.1f s; descriptors %td after the first cycle, %td at "
        "the end; %lld live allocations at the end\n",
        cycles, seconds, descriptors, openDescriptors(), static_cast<long long>(t.liveAllocations()));
}

// Statements in a repeating mix: an insert, a point read of the row it wrote, an update of it, a
// read that finds nothing, and every thousandth a statement that fails (an unknown table, -204).
TEST_F(SoakLiveTest, AHundredThousandStatementsOnOneConnectionAnswerRightAndLeaveNothingBehind) {
    const int statements = fullSoak() ? 100000 : 5000;
    env.exec("TRUNCATE joe.soak");
    Transaction t;
    t.setLogin();
    const int64_t texts = t.liveAllocations();
    ASSERT_EQ(t.call(REQ_CONNECT), KW_STATUS_OK) << t.message();
    ASSERT_EQ(t.disconnect(), KW_STATUS_OK);
    const std::ptrdiff_t descriptors = openDescriptors();
    ASSERT_EQ(t.call(REQ_CONNECT), KW_STATUS_OK) << t.message();
    const auto start = Clock::now();
    int inserted = 0, failures = 0;
    for (int i = 0; i < statements; ++i) {
        const std::string id = std::to_string(inserted);
        if (i % 1000 == 999) {
            ASSERT_EQ(t.execute("SELECT ID FROM NOSUCHTABLE"), -204)
                << "statement " << i << ": " << t.message();
            ++failures;
            continue;
        }
        switch (i % 4) {
            case 0:
                ASSERT_EQ(t.execute("INSERT INTO SOAK VALUES (" + id + ", 'row " + id + "')"), KW_STATUS_OK)
                    << "statement " << i << ": " << t.message();
                ++inserted;
                break;
            case 1:
                ASSERT_EQ(value(t, "SELECT NOTE FROM SOAK WHERE ID = " + std::to_string(inserted - 1)),
                          "row " + std::to_string(inserted - 1))
                    << "statement " << i << ": " << t.message();
                break;
            case 2:
                ASSERT_EQ(t.execute("UPDATE SOAK SET NOTE = 'updated " + std::to_string(inserted - 1) +
                                    "' WHERE ID = " + std::to_string(inserted - 1)),
                          KW_STATUS_OK)
                    << "statement " << i << ": " << t.message();
                break;
            case 3:
                ASSERT_EQ(value(t, "SELECT COUNT(*) FROM SOAK WHERE ID = -" + id), "0") << "statement " << i;
                break;
        }
        kwshr_releaseBlockData(&t.block());
    }
    const double seconds = secondsSince(start);
    EXPECT_EQ(t.disconnect(), KW_STATUS_OK);
    EXPECT_EQ(t.liveAllocations(), texts);
    EXPECT_EQ(openDescriptors(), descriptors);
    EXPECT_EQ(env.queryValue("SELECT count(*) FROM joe.soak"), std::to_string(inserted));
    EXPECT_EQ(env.queryValue("SELECT count(*) FROM joe.soak WHERE note = 'updated ' || id"),
              std::to_string(inserted))
        << "every row was updated after its insert";
    std::printf(
        "soak: %d statements on one connection in %.1f s (%d rows inserted and updated, %d failed "
        "as meant); %lld live allocations at the end\n",
        statements, seconds, inserted, failures, static_cast<long long>(t.liveAllocations() - texts));
}

}  // namespace
