// The host profile (where it lives, reading and writing by section and key, keeping the rest of
// the file as it was, replacing it atomically) and the trace (lines from kwshr_trace in the ring and
// the trace file, whole even from many threads).
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "kwconst.h"
#include "kwshr_fixture.h"

namespace {

class ProfileTest : public ::testing::Test {
  protected:
    ProfileTest() : profile(folder.path / "kalwen" / "kw.ini") { kwhost_setProfilePath(profile.c_str()); }
    ~ProfileTest() override { kwhost_setProfilePath(nullptr); }

    std::string read(const std::string& key, const char* section = "database", int32_t size = 130) {
        std::vector<char> buffer(static_cast<size_t>(size));
        int32_t length = kwshr_readProfileString(section, key.c_str(), "(default)", buffer.data(), size);
        EXPECT_EQ(static_cast<size_t>(length), std::strlen(buffer.data()));
        return buffer.data();
    }
    void putFile(const std::string& text) {
        std::filesystem::create_directories(profile.parent_path());
        std::ofstream(profile, std::ios::binary) << text;
    }
    std::string fileText() {
        std::ostringstream text;
        text << std::ifstream(profile, std::ios::binary).rdbuf();
        return text.str();
    }

    TemporaryFolder folder;
    std::filesystem::path profile;
};

TEST_F(ProfileTest, MissingFileReadsAsTheDefaultAndValuesReadBackWhateverTheCaseOfSectionAndKey) {
    EXPECT_EQ(read("TableSpace"), "(default)");
    EXPECT_FALSE(std::filesystem::exists(profile.parent_path())) << "reading creates nothing";
    ASSERT_EQ(kwshr_writeProfileString("database", "TableSpace", "TS1"), 1);
    EXPECT_EQ(fileText(), "[database]\nTableSpace=TS1\n");
    for (auto [key, value] : {std::pair{"StoredReqOwner", "*"},
                              {"DbParm", "SystemOwner='x',Request=1"},
                              {"Database", ""},
                              {"TABLESPACE", "TS2"}}) {
        ASSERT_EQ(kwshr_writeProfileString("database", key, value), 1) << key;
    }
    EXPECT_EQ(read("tablespace", "DATABASE"), "TS2");
    EXPECT_EQ(read("storedreqowner"), "*");
    EXPECT_EQ(read("DBPARM", "Database"), "SystemOwner='x',Request=1");
    EXPECT_EQ(read("Database"), "");
    EXPECT_EQ(read("TableSpace", "other"), "(default)");
    EXPECT_EQ(read("DbParm", "database", 7), "System") << "cut to size - 1";
}

TEST_F(ProfileTest, WritingKeepsEveryOtherLineAndRefusesWhatWouldNotReadBackAsWritten) {
    putFile(
        "; kalwen profile\n[Database]\nDatabase = DB1\n# owner below\nStoredReqOwner=OWN\n\n"
        "[kwsh]\nhistory=on\r\n[database]\nLate=1\n");
    const struct {
        const char *section, *key, *value;
        int32_t written;
    } writes[] = {{"database", "database", "DB2", 1},
                  {"database", "TableSpace", "TS1", 1},
                  {"kwsh", "HISTORY", "off", 1},
                  {"database", "late", "2", 1},
                  {"new", "key", "v", 1},
                  {"database", "Late", "two\nlines", 0},
                  {"database", "Late", " padded", 0},
                  {"database", "A=B", "1", 0},
                  {"data]base", "A", "1", 0},
                  {"", "A", "1", 0},
                  {"database", "", "1", 0},
                  {"database", "Late", nullptr, 0}};
    for (const auto& w : writes) {
        EXPECT_EQ(kwshr_writeProfileString(w.section, w.key, w.value), w.written)
            << w.section << "/" << w.key;
    }
    EXPECT_EQ(
        fileText(),
        "; kalwen profile\n[Database]\nDatabase = DB2\n# owner below\nStoredReqOwner=OWN\nTableSpace=TS1\n\n"
        "[kwsh]\nhistory=off\r\n[database]\nLate=2\n\n[new]\nkey=v\n");
}

TEST_F(ProfileTest, ReplacesTheFileThroughATemporaryThatACrashMayHaveLeft) {
    putFile("[database]\nTableSpace=TS1\n");
    const std::string temporary = profile.string() + ".tmp";
    std::filesystem::create_directory(temporary);  // occupies the temporary's path
    EXPECT_EQ(kwshr_writeProfileString("database", "TableSpace", "TS2"), 0);
    EXPECT_EQ(fileText(), "[database]\nTableSpace=TS1\n") << "the old file stays whole";
    EXPECT_TRUE(std::filesystem::is_directory(temporary));

    std::filesystem::remove(temporary);
    std::ofstream(temporary) << "[database]\nTableSpace=half a profi";
    ASSERT_EQ(kwshr_writeProfileString("database", "TableSpace", "TS2"), 1);
    EXPECT_EQ(fileText(), "[database]\nTableSpace=TS2\n");
    EXPECT_FALSE(std::filesystem::exists(temporary));
}

TEST_F(ProfileTest, ConcurrentWritersLoseNoKey) {
    auto key = [](int w, int i) { return "k" + std::to_string(w) + "_" + std::to_string(i); };
    {
        std::vector<std::jthread> writers;
        for (int w = 0; w < 4; ++w) {
            writers.emplace_back([w, &key] {
                for (int i = 0; i < 25; ++i) {
                    EXPECT_EQ(kwshr_writeProfileString("database", key(w, i).c_str(), "v"), 1);
                }
            });
        }
    }  // joined
    for (int w = 0; w < 4; ++w) {
        for (int i = 0; i < 25; ++i) {
            EXPECT_EQ(read(key(w, i)), "v");
        }
    }
}

TEST(ProfilePath, ComesFromTheChosenPathThenKwProfileThenXdgThenHome) {
    const struct {
        const char* chosen;
        const char* kwProfile;
        const char* xdg;
        const char* path;
    } cases[] = {{"p/chosen.ini", "/e/kw.ini", "/x", "p/chosen.ini"},
                 {nullptr, "/e/kw.ini", "/x", "/e/kw.ini"},
                 {nullptr, nullptr, "/x", "/x/kalwen/kw.ini"},
                 {nullptr, nullptr, "relative", "/h/.config/kalwen/kw.ini"},
                 {nullptr, nullptr, nullptr, "/h/.config/kalwen/kw.ini"}};
    auto setOrClear = [](const char* name, const char* value) {
        value != nullptr ? setenv(name, value, 1) : unsetenv(name);
    };
    setenv("HOME", "/h", 1);
    for (const auto& test : cases) {
        kwhost_setProfilePath(test.chosen);
        setOrClear("KW_PROFILE", test.kwProfile);
        setOrClear("XDG_CONFIG_HOME", test.xdg);
        char path[256];
        EXPECT_EQ(kwhost_profilePath(path, sizeof path), static_cast<int32_t>(std::strlen(test.path)));
        EXPECT_STREQ(path, test.path);
    }
    kwhost_setProfilePath(nullptr);
}

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
    {
        std::vector<std::jthread> threads;
        for (int t = 0; t < 4; ++t) {
            threads.emplace_back([&, t] {
                for (int i = 0; i < 250; ++i) {
                    trace(std::to_string(t) + payload);
                }
            });
        }
    }  // joined
    std::vector<std::string> lines = fileLines(file);
    ASSERT_EQ(lines.size(), 1000u);
    for (const std::string& line : lines) {
        ASSERT_EQ(line.substr(1), payload);
    }
}

}  // namespace
