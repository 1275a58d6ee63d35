/*
 * kwshr_fixture.h - what the runtime's tests share: a request block over a fresh memory context that
 * must be empty again when the test ends (so every test also proves it leaked nothing and freed
 * nothing foreign), the trace ring as strings, and a private temporary folder.
 */
#ifndef KW_TESTS_KWSHR_FIXTURE_H
#define KW_TESTS_KWSHR_FIXTURE_H

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "kwshr.h"

class BlockTest : public ::testing::Test {
  protected:
    BlockTest() { block.memoryContext = ctx; }
    ~BlockTest() override {
        KwContextStats end = stats();
        EXPECT_EQ(end.foreignFrees, 0) << "a free of a pointer the context never handed out";
        EXPECT_EQ(kwhost_destroyContext(ctx), 0) << "allocations left when the test ended";
    }
    KwContextStats stats() const {
        KwContextStats s{};
        kwhost_contextStats(ctx, &s);
        return s;
    }

    KWCTX ctx = kwhost_createContext("test");
    RequestBlock block{};
};

/* The value of a field of a packed record. GoogleTest takes its operands by reference, and a
 * reference to a packed field may be misaligned; a copy never is. */
template <typename T>
T field(T value) {
    return value;
}

inline std::vector<std::string> traceLines() {
    std::vector<std::string> lines;
    char line[512];
    for (int32_t i = 0; kwhost_traceLine(i, line, sizeof line) >= 0; ++i) {
        lines.emplace_back(line);
    }
    return lines;
}

/* A fresh folder under the system's temporary folder, removed again by the destructor. */
struct TemporaryFolder {
    TemporaryFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "kwshr-XXXXXX").string();
        path = mkdtemp(pattern.data());
    }
    ~TemporaryFolder() { std::filesystem::remove_all(path); }
    std::filesystem::path path;
};

#endif
