// kwsh_procs_test.cpp - how \call reads its line, and how driver texts with CR LF line ends are
// printed.
#include <gtest/gtest.h>

#include <string>

#include "procs.h"

namespace {

TEST(ProcedureCall, TheLastHashWordChoosesTheResultSetAndABareNameIsUsedAsAProcedure) {
    const struct {
        const char* line;
        const char* statement;  // null: refused
        int32_t resultSet;
    } cases[] = {
        {"UPDSEL", "USE PROCEDURE UPDSEL", 1},
        {"UPDSEL 10, 20 #2", "USE PROCEDURE UPDSEL 10, 20", 2},
        {"  joe.updsel;1 &KEY = 'a b' #12 ;", "USE PROCEDURE joe.updsel;1 &KEY = 'a b'", 12},
        {"EXECUTE JOE.P;1 @A = 1", "EXECUTE JOE.P;1 @A = 1", 1},
        {"use procedure P #3", "use procedure P", 3},
        {"P 10", "USE PROCEDURE P 10", 1},  // a number without # is an argument
        {"USEFUL", "USE PROCEDURE USEFUL", 1},
        {"#2", nullptr, 0},
        {"", nullptr, 0},
        {"P #", nullptr, 0},
        {"P #x", nullptr, 0},
        {"P #9999999999", nullptr, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        std::string error;
        const auto call = kwsh::parseProcedureCall(c.line, error);
        if (c.statement == nullptr) {
            EXPECT_FALSE(call.has_value());
            EXPECT_NE(error, "");
            continue;
        }
        ASSERT_TRUE(call.has_value()) << error;
        EXPECT_EQ(call->statement, c.statement);
        EXPECT_EQ(call->resultSet, c.resultSet);
    }
}

TEST(PlainLines, CarriageReturnLineFeedsBecomeLineFeedsWithoutTheLastOne) {
    EXPECT_EQ(kwsh::plainLines("SELECT K\r\nFROM NE\r\n"), "SELECT K\nFROM NE");
    EXPECT_EQ(kwsh::plainLines("A\r\n\r\nB\r\n"), "A\n\nB");
    EXPECT_EQ(kwsh::plainLines("A\rB"), "A\rB");
    EXPECT_EQ(kwsh::plainLines(""), "");
    EXPECT_EQ(kwsh::plainLines(nullptr), "");
}

}  // namespace
