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

TEST_F(MemoryTest, CountsLiveAllocationsAndBytes) {
    void* a = kwshr_allocate(ctx, 100, 0);
    void* b = kwshr_allocate(ctx, 28, 0);
    char* c = kwshr_duplicateString(ctx, "SYSIBM", 0);
    KwContextStats s = stats();
    EXPECT_EQ(s.liveAllocations, 3);
    EXPECT_EQ(s.liveBytes, 100 + 28 + 7);
    EXPECT_EQ(s.totalAllocations, 3);
    EXPECT_STREQ(c, "SYSIBM");
    kwshr_free(ctx, b);
    EXPECT_EQ(stats().liveBytes, 107);
    EXPECT_EQ(kwshr_duplicateString(ctx, nullptr, 0), nullptr);
    EXPECT_EQ(stats().totalAllocations, 3) << "a null text takes nothing";
    kwshr_free(ctx, nullptr);
    kwshr_free(ctx, a);
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
    KwContextStats s = stats();
    EXPECT_EQ(s.foreignFrees, 2);
    EXPECT_EQ(s.liveAllocations, 1);
    EXPECT_EQ(kwhost_traceCount(), 2);
    EXPECT_NE(traceLines()[0].find("'test'"), std::string::npos) << "names the context";
    EXPECT_EQ(kwhost_destroyContext(other), 1) << "the other context's block was not freed";
    kwshr_free(ctx, ours);
    kwhost_destroyContext(ctx);  // the fixture's check would count the foreign frees made on purpose
    ctx = kwhost_createContext("test");
}

TEST_F(MemoryTest, ReallocateKeepsContentsAndAccounting) {
    auto* text = static_cast<char*>(kwshr_reallocate(ctx, nullptr, 6, 0));
    std::memcpy(text, "hello", 6);
    text = static_cast<char*>(kwshr_reallocate(ctx, text, 5000, 0));
    EXPECT_STREQ(text, "hello");
    EXPECT_EQ(stats().liveBytes, 5000);
    EXPECT_EQ(stats().liveAllocations, 1);
    int onStack = 0;
    EXPECT_EQ(kwshr_reallocate(ctx, &onStack, 10, 0), nullptr);
    EXPECT_EQ(stats().liveBytes, 5000);
    kwshr_free(ctx, text);
}

TEST(MemoryContext, DestroyFreesWhatIsLeftAndAnswersHowManyWereLive) {
    KWCTX ctx = kwhost_createContext("leaky");
    for (int i = 0; i < 5; ++i) {
        kwshr_allocate(ctx, 10, 0);
    }
    kwshr_createList(ctx, 0);
    EXPECT_EQ(kwhost_destroyContext(ctx), 6);
}

TEST_F(MemoryTest, ThreadsShareOneContextSafely) {
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([this] {
            for (int i = 0; i < 2000; ++i) {
                void* memory = kwshr_allocate(ctx, 16, 0);
                memory = kwshr_reallocate(ctx, memory, 64, 0);
                kwshr_free(ctx, memory);
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(stats().liveAllocations, 0);
    EXPECT_EQ(stats().totalAllocations, 4 * 2000 * 2);
}

/* ---- The failure knob over every allocating service ---- */

char* keyOf(void* record) {
    return static_cast<char*>(record);
}

struct Env {
    KWCTX ctx;
    RequestBlock block{};
    HostList* list = nullptr;
    KWSET set = nullptr;
    StatementBuilder* builder = nullptr;
    void* memory = nullptr;
    char record[64] = "a key long enough to need memory of its own";
};

void writeText(Env& env, const char* text) {
    size_t length = std::strlen(text);
    kwshr_reserveStatementText(&env.block, env.builder, length);
    std::memcpy(env.builder->writePos, text, length + 1);
    env.builder->writePos += length;
}

void freeStatements(Env& env) {
    for (void* r = kwshr_firstListItem(env.block.statementList); r != nullptr;
         r = kwshr_nextListItem(env.block.statementList)) {
        kwshr_free(env.ctx, static_cast<StatementRecord*>(r)->text);
    }
    kwshr_freeResultList(env.ctx, env.block.statementList);
}

/* One service under the knob: `run` answers whether it succeeded and, when it did not, checks
 * that it left its state as it found it. */
struct Service {
    const char* name;
    std::function<void(Env&)> setup;
    std::function<bool(Env&)> run;
    std::function<void(Env&)> cleanup;
};

const Service kServices[] = {
    {"allocate", [](Env&) {}, [](Env& e) { return (e.memory = kwshr_allocate(e.ctx, 64, 0)) != nullptr; },
     [](Env& e) { kwshr_free(e.ctx, e.memory); }},
    {"reallocate", [](Env& e) { e.memory = kwshr_duplicateString(e.ctx, "kept", 0); },
     [](Env& e) {
         void* moved = kwshr_reallocate(e.ctx, e.memory, 4096, 0);
         EXPECT_STREQ(static_cast<char*>(moved ? moved : e.memory), "kept");
         e.memory = moved ? moved : e.memory;
         return moved != nullptr;
     },
     [](Env& e) { kwshr_free(e.ctx, e.memory); }},
    {"duplicateString", [](Env&) {},
     [](Env& e) { return (e.memory = kwshr_duplicateString(e.ctx, "text", 0)) != nullptr; },
     [](Env& e) { kwshr_free(e.ctx, e.memory); }},
    {"createList", [](Env&) {}, [](Env& e) { return (e.list = kwshr_createList(e.ctx, 0)) != nullptr; },
     [](Env& e) { kwshr_destroyList(e.list); }},
    {"appendToList", [](Env& e) { e.list = kwshr_createList(e.ctx, 0); },
     [](Env& e) {
         bool ok = kwshr_appendToList(e.list, e.record) == 1;
         EXPECT_EQ(kwshr_listCount(e.list), ok ? 1 : 0);
         EXPECT_EQ(e.list->first == nullptr, !ok);
         return ok;
     },
     [](Env& e) { kwshr_destroyList(e.list); }},
    {"createKeyedSet", [](Env&) {},
     [](Env& e) {
         return (e.set = kwshr_createKeyedSet(KWSHR_KEYED_SET_KIND, keyOf, 1, 0, e.ctx, 0)) != nullptr;
     },
     [](Env& e) { kwshr_destroyKeyedSet(e.set); }},
    {"addToKeyedSet",
     [](Env& e) { e.set = kwshr_createKeyedSet(KWSHR_KEYED_SET_KIND, keyOf, 1, 0, e.ctx, 0); },
     [](Env& e) {
         bool ok = kwshr_addToKeyedSet(e.set, e.record) == 1;
         EXPECT_EQ(kwshr_findInKeyedSet(e.set, e.record) != nullptr, ok);
         EXPECT_EQ(kwshr_firstInKeyedSet(e.set) != nullptr, ok);
         return ok;
     },
     [](Env& e) { kwshr_destroyKeyedSet(e.set); }},
    {"openConnectParameters", [](Env& e) { e.block.dbParm = const_cast<char*>("A='one',B=2,C=three"); },
     [](Env& e) {
         kwshr_openConnectParameters(&e.block);
         e.block.arg = reinterpret_cast<void*>(e.block.result);
         return e.block.result != 0;
     },
     [](Env& e) { kwshr_closeConnectParameters(&e.block); }},
    {"setDbParmValue", [](Env& e) { e.block.dbParm = kwshr_duplicateString(e.ctx, "A=1", 0); },
     [](Env& e) {
         char* before = e.block.dbParm;
         kwshr_setDbParmValue(&e.block, "B", "'x'");
         EXPECT_STREQ(e.block.dbParm, e.block.dbParm == before ? "A=1" : "A=1,B='x'");
         return e.block.dbParm != before;
     },
     [](Env& e) { kwshr_free(e.ctx, e.block.dbParm); }},
    {"setBlockText", [](Env& e) { e.block.loginId = kwshr_duplicateString(e.ctx, "old", 0); },
     [](Env& e) {
         char* before = e.block.loginId;
         kwhost_setBlockText(&e.block, &e.block.loginId, "new");
         EXPECT_STREQ(e.block.loginId, e.block.loginId == before ? "old" : "new");
         return e.block.loginId != before;
     },
     [](Env& e) { kwshr_free(e.ctx, e.block.loginId); }},
    {"beginStatementText", [](Env&) {},
     [](Env& e) { return (e.builder = kwshr_beginStatementText(&e.block, 4)) != nullptr; },
     [](Env& e) { kwshr_releaseStatementText(&e.block, e.builder); }},
    {"reserveStatementText", [](Env& e) { e.builder = kwshr_beginStatementText(&e.block, 1); },
     [](Env& e) {
         StatementBuilder before = *e.builder;
         bool ok = kwshr_reserveStatementText(&e.block, e.builder, 500) == 1;
         if (!ok) {
             EXPECT_EQ(std::memcmp(&before, e.builder, sizeof before), 0);
         }
         return ok;
     },
     [](Env& e) { kwshr_releaseStatementText(&e.block, e.builder); }},
    {"endStatementLine",
     [](Env& e) {  // a full line ended exactly at the buffer's end: the next end must grow it
         e.builder = kwshr_beginStatementText(&e.block, 1);
         writeText(e, std::string(KW_STATEMENT_LINE_WIDTH, 'x').c_str());
         kwshr_endStatementLine(&e.block, 0, e.builder);
     },
     [](Env& e) {
         char* writePos = e.builder->writePos;
         kwshr_endStatementLine(&e.block, 1, e.builder);
         bool ok = e.builder->lineCount == 2;
         if (!ok) {
             EXPECT_EQ(field(e.builder->writePos), writePos);
         }
         return ok;
     },
     [](Env& e) { kwshr_releaseStatementText(&e.block, e.builder); }},
    {"finishStatementText (first statement)",
     [](Env& e) {
         e.builder = kwshr_beginStatementText(&e.block, 2);
         writeText(e, "SELECT 1");
     },
     [](Env& e) {
         kwshr_finishStatementText(&e.block, e.builder);
         bool ok = e.block.statementList != nullptr;
         EXPECT_EQ(field(e.builder->statementHandle) != 0, ok);
         return ok;
     },
     [](Env& e) {
         freeStatements(e);
         kwshr_releaseStatementText(&e.block, e.builder);
     }},
    {"finishStatementText (into a list)",
     [](Env& e) {
         e.builder = kwshr_beginStatementText(&e.block, 2);
         writeText(e, "SELECT 1");
         kwshr_finishStatementText(&e.block, e.builder);
     },
     [](Env& e) {
         kwshr_finishStatementText(&e.block, e.builder);
         return kwshr_listCount(e.block.statementList) == 2;
     },
     [](Env& e) {
         freeStatements(e);
         kwshr_releaseStatementText(&e.block, e.builder);
     }},
};

TEST(FailureKnob, EveryAllocatingServiceFailsCleanlyAtEachOfItsAllocations) {
    for (const Service& service : kServices) {
        int failures = 0;
        for (int64_t n = 1; n <= 20; ++n) {
            Env env;
            env.ctx = env.block.memoryContext = kwhost_createContext(service.name);
            service.setup(env);
            KwContextStats before{}, after{};
            kwhost_contextStats(env.ctx, &before);
            kwhost_failAllocation(env.ctx, n);
            bool ok = service.run(env);
            kwhost_failAllocation(env.ctx, 0);
            kwhost_contextStats(env.ctx, &after);
            bool fired = after.failedAllocations > before.failedAllocations;
            if (fired) {
                ++failures;
                EXPECT_FALSE(ok) << service.name << ": allocation " << n << " failed unnoticed";
                EXPECT_EQ(after.liveAllocations, before.liveAllocations)
                    << service.name << " leaked at " << n;
                EXPECT_EQ(after.liveBytes, before.liveBytes) << service.name << " at " << n;
            } else {
                EXPECT_TRUE(ok) << service.name;
            }
            service.cleanup(env);  // a failed run left the setup's state, which cleanup also frees
            EXPECT_EQ(kwhost_destroyContext(env.ctx), 0) << service.name << " at " << n;
            if (!fired) {
                break;
            }
        }
        EXPECT_GE(failures, 1) << service.name << " never allocated";
    }
}

TEST(FailureKnob, FiresOnceAndCountsTheRefusal) {
    KWCTX ctx = kwhost_createContext("knob");
    kwhost_failAllocation(ctx, 2);
    void* first = kwshr_allocate(ctx, 1, 0);
    void* second = kwshr_allocate(ctx, 1, 0);
    void* third = kwshr_allocate(ctx, 1, 0);
    EXPECT_NE(first, nullptr);
    EXPECT_EQ(second, nullptr);
    EXPECT_NE(third, nullptr);
    KwContextStats s{};
    kwhost_contextStats(ctx, &s);
    EXPECT_EQ(s.failedAllocations, 1);
    EXPECT_EQ(kwhost_destroyContext(ctx), 2);
}

}  // namespace
