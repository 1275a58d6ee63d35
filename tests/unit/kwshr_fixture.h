/*
 * kwshr_fixture.h - what the runtime's tests share: a request block over a fresh memory context that
 * must be empty, with no foreign frees, when the test ends (so every test also proves it leaked
 * nothing and freed nothing foreign), the trace ring as strings, and a private temporary folder.
 */
#ifndef KW_TESTS_KWSHR_FIXTURE_H
#define KW_TESTS_KWSHR_FIXTURE_H

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "kwshr.h"

inline KwContextStats statsOf(KWCTX ctx) {
    KwContextStats s{};
    kwhost_contextStats(ctx, &s);
    return s;
}

class BlockTest : public ::testing::Test {
  protected:
    BlockTest() { block.memoryContext = ctx; }
    ~BlockTest() override {
        EXPECT_EQ(stats().foreignFrees, 0) << "a free of a pointer the context never handed out";
        EXPECT_EQ(kwhost_destroyContext(ctx), 0) << "allocations left when the test ended";
    }
    KwContextStats stats() const { return statsOf(ctx); }

    KWCTX ctx = kwhost_createContext("test");
    RequestBlock block{};
};

/* Frees a block's statement list with its records and their texts. */
inline void freeStatements(KWCTX ctx, HostList* list) {
    for (void* r = kwshr_firstListItem(list); r != nullptr; r = kwshr_nextListItem(list)) {
        kwshr_free(ctx, static_cast<StatementRecord*>(r)->text);
    }
    kwshr_freeResultList(ctx, list);
}

inline std::vector<std::string> traceLines() {
    std::vector<std::string> lines;
    char line[512];
    for (int32_t i = 0; kwhost_traceLine(i, line, sizeof line) >= 0; ++i) {
        lines.emplace_back(line);
    }
    return lines;
}

struct TemporaryFolder {
    TemporaryFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "kwshr-XXXXXX").string();
        path = mkdtemp(pattern.data());
    }
    ~TemporaryFolder() { std::filesystem::remove_all(path); }
    std::filesystem::path path;
};

#endif
