// kwsh_catalog_test.cpp - the catalog commands without a server: \dt patterns as psql reads them,
// \dT from the driver's type table, and what each command says when it cannot run.
#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>

#include "catalog.h"
#include "shell.h"

namespace {

TEST(TablePattern, MatchesNamesOrOwnerDotNameWithStarAndQuestionMarkInAnyCase) {
    const struct {
        const char* pattern;
        const char* owner;
        const char* name;
        bool matches;
    } cases[] = {
        {"", "joe", "emp", true},         {"emp", "joe", "emp", true},
        {"EMP", "joe", "emp", true},      {"em", "joe", "emp", false},
        {"e*", "joe", "emp", true},       {"*p", "joe", "emp", true},
        {"e?p", "joe", "emp", true},      {"e?", "joe", "emp", false},
        {"*", "joe", "emp", true},        {"joe.*", "joe", "emp", true},
        {"smith.*", "joe", "emp", false}, {"*.emp", "joe", "emp", true},
        {"joe", "joe", "emp", false},     {"s*.sys*", "sysibm", "systables", true},
        {"e*m*p*", "joe", "emp", true},   {"**", "joe", "", true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(kwsh::matchesTablePattern(c.pattern, c.owner, c.name), c.matches)
            << c.pattern << " on " << c.owner << "." << c.name;
    }
}

class CatalogCommandTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string error;
        driver = kwsh::Driver::load(kwsh::defaultDriverPath(), error);
        ASSERT_NE(driver, nullptr) << error;
        shell = std::make_unique<kwsh::Shell>(*driver, out, err);
    }
    std::ostringstream out, err;
    std::unique_ptr<kwsh::Driver> driver;
    std::unique_ptr<kwsh::Shell> shell;
};

TEST_F(CatalogCommandTest, TypesNeedNoServerAndTheOthersSayWhatIsMissing) {
    shell->runText("\\dT", "");
    EXPECT_EQ(out.str(),
              "     Type     | Code | Host type | Length | Scale | Max length | Default length\n"
              "--------------+------+-----------+--------+-------+------------+----------------\n"
              " CHAR         |    1 |         1 | yes    |       |        254 |             10\n"
              " VARCHAR      |    2 |         2 | yes    |       |       4046 |             10\n"
              " INTEGER      |    3 |         5 |        |       |          0 |              0\n"
              " SMALLINT     |    4 |         6 |        |       |          0 |              0\n"
              " FLOAT        |    5 |         3 |        |       |          0 |              0\n"
              " LONG VARCHAR |    6 |        14 |        |       |          0 |              0\n"
              " DECIMAL      |    7 |         4 | yes    | yes   |         15 |              5\n"
              " DATE         |    8 |         7 |        |       |          0 |              0\n"
              " TIME         |    9 |         8 |        |       |          0 |              0\n"
              " TIMESTAMP    |   10 |         9 |        |       |          0 |              0\n"
              "(10 rows)\n\n");
    EXPECT_EQ(err.str(), "");
    EXPECT_EQ(shell->session().liveAllocations(), 0) << "the descriptors went back to the host";

    out.str("");
    shell->runText("\\dt\n\\d emp\n\\di emp\n\\d\n\\di a b\n\\dt a b", "");
    EXPECT_EQ(out.str(), "");
    EXPECT_EQ(err.str(),
              "ERROR: not connected\nERROR: not connected\nERROR: not connected\n"
              "ERROR: usage: \\d TABLE\nERROR: usage: \\di TABLE\nERROR: usage: \\dt [PATTERN]\n");
}

}  // namespace
