// The trace: lines from kwshr_trace in the ring and the trace file, whole even from many threads.
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "kwconst.h"
#include "kwshr_fixture.h"

namespace {

void trace(const std::string& text, int32_t requestCode = REQ_TRACE) {
    RequestBlock block{};
    block.requestCode = requestCode;
    block.arg = const_cast<char*>(text.c_str());
    kwshr_trace(&block);
}

std::vector<std::string> fileLines(const std::filesystem::path& path) {
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

class TraceTest : public ::testing::Test {
  protected:
    TraceTest() { kwhost_traceClear(); }
    ~TraceTest() override { kwhost_setTraceFile(nullptr); }
    TemporaryFolder folder;
};

TEST_F(TraceTest, EachCallIsOneLineInTheRingAndOnlyATraceRequestTracesItsText) {
    trace("secret", REQ_CONNECT);
    ASSERT_EQ(kwhost_traceCount(), 1);
    EXPECT_EQ(traceLines()[0].find("secret"), std::string::npos);
    kwhost_traceClear();
    trace("dbopen: server KWGW");
    trace("two\nparts");
    EXPECT_EQ(traceLines(), (std::vector<std::string>{"dbopen: server KWGW", "two parts"}));
    char cut[4];
    EXPECT_EQ(kwhost_traceLine(0, cut, sizeof cut), 3);
    EXPECT_STREQ(cut, "dbo");
    EXPECT_EQ(kwhost_traceLine(2, cut, sizeof cut), -1);
    EXPECT_EQ(kwhost_traceLine(-1, cut, sizeof cut), -1);
}

TEST_F(TraceTest, RingKeepsAtLeastTheLastThousandLinesInOrder) {
    for (int i = 0; i < 2500; ++i) {
        trace(std::to_string(i));
    }
    std::vector<std::string> lines = traceLines();
    ASSERT_GE(lines.size(), 1000u);
    ASSERT_LT(lines.size(), 2500u);
    for (size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(lines[i], std::to_string(2500 - lines.size() + i));
    }
}

TEST_F(TraceTest, AppendsToTheFileOfKwTraceOrTheOneChosen) {
    std::filesystem::path fromEnv = folder.path / "env.log", chosen = folder.path / "chosen.log";
    std::ofstream(fromEnv) << "earlier line\n";
    setenv("KW_TRACE", fromEnv.c_str(), 1);
    trace("to the environment's file");
    kwhost_setTraceFile(chosen.c_str());
    trace("to the chosen file");
    kwhost_setTraceFile("");
    trace("to no file");
    unsetenv("KW_TRACE");
    EXPECT_EQ(fileLines(fromEnv), (std::vector<std::string>{"earlier line", "to the environment's file"}));
    EXPECT_EQ(fileLines(chosen), std::vector<std::string>{"to the chosen file"});
}

TEST_F(TraceTest, LinesFromManyThreadsReachTheFileWhole) {
    std::filesystem::path file = folder.path / "threads.log";
    kwhost_setTraceFile(file.c_str());
    const std::string payload(200, 'x');
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 250; ++i) {
                trace(std::to_string(t) + payload);
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    std::vector<std::string> lines = fileLines(file);
    ASSERT_EQ(lines.size(), 1000u);
    for (const std::string& line : lines) {
        ASSERT_EQ(line.substr(1), payload);
    }
}

}  // namespace
