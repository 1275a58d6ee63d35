// Memory contexts: accounting, foreign frees, reallocation, threads, and the failure knob driven
// through every service that allocates (each failure must leave state and accounting as before).
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "kwshr_fixture.h"

namespace {

class MemoryTest : public BlockTest {};

TEST_F(MemoryTest, CountsLiveAllocationsAndBytesThroughReallocationAndFree) {
    void* a = kwshr_allocate(ctx, 100, 0);
    auto* text = static_cast<char*>(kwshr_reallocate(ctx, nullptr, 6, 0));
    std::memcpy(text, "hello", 6);
    char* c = kwshr_duplicateString(ctx, "SYSIBM", 0);
    EXPECT_STREQ(c, "SYSIBM");
    EXPECT_EQ(stats().liveAllocations, 3);
    EXPECT_EQ(stats().liveBytes, 100 + 6 + 7);
    text = static_cast<char*>(kwshr_reallocate(ctx, text, 5000, 0));
    EXPECT_STREQ(text, "hello");
    EXPECT_EQ(stats().liveBytes, 100 + 5000 + 7);
    EXPECT_EQ(stats().liveAllocations, 3);
    EXPECT_EQ(stats().totalAllocations, 4);
    int onStack = 0;
    EXPECT_EQ(kwshr_reallocate(ctx, &onStack, 10, 0), nullptr);
    EXPECT_EQ(kwshr_duplicateString(ctx, nullptr, 0), nullptr);
    EXPECT_EQ(stats().totalAllocations, 4) << "a foreign pointer or a null text takes nothing";
    kwshr_free(ctx, a);
    EXPECT_EQ(stats().liveBytes, 5007);
    kwshr_free(ctx, nullptr);
    kwshr_free(ctx, text);
    kwshr_free(ctx, c);
}

TEST_F(MemoryTest, ForeignFreeIsCountedTracedAndIgnored) {
    KWCTX other = kwhost_createContext("other");
    void* theirs = kwshr_allocate(other, 8, 0);
    void* ours = kwshr_allocate(ctx, 8, 0);
    int onStack = 0;
    kwhost_traceClear();
    kwshr_free(ctx, theirs);
    kwshr_free(ctx, &onStack);
    EXPECT_EQ(stats().foreignFrees, 2);
    EXPECT_EQ(stats().liveAllocations, 1);
    EXPECT_EQ(kwhost_traceCount(), 2);
    EXPECT_NE(traceLines()[0].find("'test'"), std::string::npos) << "names the context";
    EXPECT_EQ(kwhost_destroyContext(other), 1) << "the other context's block was not freed";
    kwshr_free(ctx, ours);
    kwhost_destroyContext(ctx);  // the fixture would count the foreign frees made on purpose
    ctx = kwhost_createContext("test");
}

TEST(MemoryContext, KnobFiresOnceAndDestroyAnswersHowManyWereLive) {
    KWCTX ctx = kwhost_createContext("knob");
    kwhost_failAllocation(ctx, 2);
    EXPECT_NE(kwshr_allocate(ctx, 1, 0), nullptr);
    EXPECT_EQ(kwshr_allocate(ctx, 1, 0), nullptr);
    EXPECT_NE(kwshr_allocate(ctx, 1, 0), nullptr);
    EXPECT_EQ(statsOf(ctx).failedAllocations, 1);
    kwshr_createList(ctx, 0);
    EXPECT_EQ(kwhost_destroyContext(ctx), 3);
}

TEST_F(MemoryTest, ThreadsShareOneContextSafely) {
    {
        std::vector<std::jthread> threads;
        for (int t = 0; t < 4; ++t) {
            threads.emplace_back([this] {
                for (int i = 0; i < 2000; ++i) {
                    kwshr_free(ctx, kwshr_reallocate(ctx, kwshr_allocate(ctx, 16, 0), 64, 0));
                }
            });
        }
    }  // joined
    EXPECT_EQ(stats().liveAllocations, 0);
    EXPECT_EQ(stats().totalAllocations, 4 * 2000 * 2);
}

/* ---- The failure knob over every allocating service ---- */

char* keyOf(void* record) {
    return static_cast<char*>(record);
}

/* What a service works on; cleanup frees whatever the setup and the service left. */
struct Env {
    explicit Env(const char* name) : ctx(kwhost_createContext(name)) { block.memoryContext = ctx; }
    void cleanup() {
        kwshr_free(ctx, memory);
        kwshr_destroyList(list);
        kwshr_destroyKeyedSet(set);
        kwshr_closeConnectParameters(&block);
        freeStatements(ctx, block.statementList);
        kwshr_releaseStatementText(&block, builder);
        kwshr_free(ctx, block.dbParm);
        kwshr_free(ctx, block.loginId);
    }
    // Opens a builder and writes the text into it as the driver does.
    void begin(int32_t lines, const std::string& text) {
        builder = kwshr_beginStatementText(&block, lines);
        kwshr_reserveStatementText(&block, builder, text.size());
        std::memcpy(builder->writePos, text.c_str(), text.size() + 1);
        builder->writePos += text.size();
    }
    KWCTX ctx;
    RequestBlock block{};
    HostList* list = nullptr;
    KWSET set = nullptr;
    StatementBuilder* builder = nullptr;
    void* memory = nullptr;
    char record[64] = "a key long enough to need memory of its own";
};

/* `run` answers whether the service succeeded and, when it did not, checks that it left its
 * state as it found it. */
struct Service {
    const char* name;
    std::function<void(Env&)> setup;
    std::function<bool(Env&)> run;
};

KWSET newSet(Env& e) {
    return e.set = kwshr_createKeyedSet(KWSHR_KEYED_SET_KIND, keyOf, 1, 0, e.ctx, 0);
}

const Service kServices[] = {
    {"reallocate", [](Env& e) { e.memory = kwshr_duplicateString(e.ctx, "kept", 0); },
     [](Env& e) {
         void* moved = kwshr_reallocate(e.ctx, e.memory, 4096, 0);
         e.memory = moved ? moved : e.memory;
         EXPECT_STREQ(static_cast<char*>(e.memory), "kept");
         return moved != nullptr;
     }},
    {"duplicateString", nullptr,
     [](Env& e) { return (e.memory = kwshr_duplicateString(e.ctx, "text", 0)) != nullptr; }},
    {"createList", nullptr, [](Env& e) { return (e.list = kwshr_createList(e.ctx, 0)) != nullptr; }},
    {"appendToList", [](Env& e) { e.list = kwshr_createList(e.ctx, 0); },
     [](Env& e) {
         bool ok = kwshr_appendToList(e.list, e.record) == 1;
         EXPECT_EQ(kwshr_listCount(e.list), ok ? 1 : 0);
         EXPECT_EQ(e.list->first == nullptr, !ok);
         return ok;
     }},
    {"createKeyedSet", nullptr, [](Env& e) { return newSet(e) != nullptr; }},
    {"addToKeyedSet", [](Env& e) { newSet(e); },
     [](Env& e) {
         bool ok = kwshr_addToKeyedSet(e.set, e.record) == 1;
         EXPECT_EQ(kwshr_findInKeyedSet(e.set, e.record) != nullptr, ok);
         EXPECT_EQ(kwshr_firstInKeyedSet(e.set) != nullptr, ok);
         return ok;
     }},
    {"openConnectParameters",
     [](Env& e) { e.block.dbParm = kwshr_duplicateString(e.ctx, "A='one',B=2,C=three", 0); },
     [](Env& e) {
         kwshr_openConnectParameters(&e.block);
         e.block.arg = reinterpret_cast<void*>(e.block.result);
         return e.block.result != 0;
     }},
    {"setDbParmValue", [](Env& e) { e.block.dbParm = kwshr_duplicateString(e.ctx, "A=1", 0); },
     [](Env& e) {
         char* before = e.block.dbParm;
         kwshr_setDbParmValue(&e.block, "B", "'x'");
         EXPECT_STREQ(e.block.dbParm, e.block.dbParm == before ? "A=1" : "A=1,B='x'");
         return e.block.dbParm != before;
     }},
    {"setBlockText", [](Env& e) { e.block.loginId = kwshr_duplicateString(e.ctx, "old", 0); },
     [](Env& e) {
         char* before = e.block.loginId;
         kwhost_setBlockText(&e.block, &e.block.loginId, "new");
         EXPECT_STREQ(e.block.loginId, e.block.loginId == before ? "old" : "new");
         return e.block.loginId != before;
     }},
    {"beginStatementText", nullptr,
     [](Env& e) { return (e.builder = kwshr_beginStatementText(&e.block, 4)) != nullptr; }},
    {"reserveStatementText", [](Env& e) { e.begin(1, ""); },
     [](Env& e) {
         StatementBuilder before = *e.builder;
         bool ok = kwshr_reserveStatementText(&e.block, e.builder, 500) == 1;
         EXPECT_TRUE(ok || std::memcmp(&before, e.builder, sizeof before) == 0);
         return ok;
     }},
    {"endStatementLine",
     [](Env& e) {  // a full line ended exactly at the buffer's end: the next end must grow it
         e.begin(1, std::string(KW_STATEMENT_LINE_WIDTH, 'x'));
         kwshr_endStatementLine(&e.block, 0, e.builder);
     },
     [](Env& e) {
         char* writePos = e.builder->writePos;
         kwshr_endStatementLine(&e.block, 1, e.builder);
         bool ok = e.builder->lineCount == 2;
         EXPECT_TRUE(ok || e.builder->writePos == writePos);
         return ok;
     }},
    {"finishStatementText (first statement)", [](Env& e) { e.begin(2, "SELECT 1"); },
     [](Env& e) {
         kwshr_finishStatementText(&e.block, e.builder);
         bool ok = e.block.statementList != nullptr;
         EXPECT_EQ(e.builder->statementHandle != 0, ok);
         return ok;
     }},
    {"finishStatementText (into a list)",
     [](Env& e) {
         e.begin(2, "SELECT 1");
         kwshr_finishStatementText(&e.block, e.builder);
     },
     [](Env& e) {
         kwshr_finishStatementText(&e.block, e.builder);
         return kwshr_listCount(e.block.statementList) == 2;
     }},
};

TEST(FailureKnob, EveryAllocatingServiceFailsCleanlyAtEachOfItsAllocations) {
    for (const Service& service : kServices) {
        SCOPED_TRACE(service.name);
        int failures = 0;
        for (int64_t n = 1; n <= 20; ++n) {
            SCOPED_TRACE("allocation " + std::to_string(n));
            Env env(service.name);
            if (service.setup) {
                service.setup(env);
            }
            const KwContextStats before = statsOf(env.ctx);
            kwhost_failAllocation(env.ctx, n);
            const bool ok = service.run(env);
            kwhost_failAllocation(env.ctx, 0);
            const KwContextStats after = statsOf(env.ctx);
            const bool fired = after.failedAllocations > before.failedAllocations;
            EXPECT_EQ(ok, !fired) << "a failed allocation went unnoticed, or one that worked was refused";
            if (fired) {
                ++failures;
                EXPECT_EQ(after.liveAllocations, before.liveAllocations) << "leaked";
                EXPECT_EQ(after.liveBytes, before.liveBytes);
            }
            env.cleanup();  // a failed run left the setup's state, which cleanup also frees
            EXPECT_EQ(kwhost_destroyContext(env.ctx), 0);
            if (!fired) {
                break;
            }
        }
        EXPECT_GE(failures, 1) << "never allocated";
    }
}

}  // namespace
