// exec_test.cpp - recognising the host's EXECUTE statements and rewriting them into the gateway's
// USE PROCEDURE form.
#include <string>

#include "driver_block.h"

namespace {

class ExecTest : public DriverBlockTest {
  protected:
    std::string rewrite(const std::string& text) {
        std::string out(TDX_RewrittenSize(text.c_str()), 'X');
        TDX_RewriteExecute(&block, text.c_str(), out.data(), out.size());
        return std::string(out.c_str());
    }
};

TEST_F(ExecTest, ExecuteIsTheWordFollowedByExactlyOneBlankTabCarriageReturnOrLineFeed) {
    const struct {
        const char* text;
        int32_t execute;
    } cases[] = {
        {"EXECUTE sp_x", 1},  {"execute sp_x", 1},  {"ExEcUtE\tsp_x", 1},
        {"EXECUTE\rsp_x", 1}, {"execute\nsp_x", 1}, {"\n\n\t  execute\nsp_x", 1},
        {"EXECUTE", 0},    // the word alone
        {"EXECUTEsp", 0},  // followed by a letter
        {"EXECUTE(", 0},   // followed by any other character
        {"EXEC sp_x", 0},     {"SELECT 1", 0},      {"", 0},
        {"   ", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(TDX_IsExecuteStatement(c.text), c.execute);
    }
    EXPECT_EQ(TDX_IsExecuteStatement(nullptr), 0);
}

TEST_F(ExecTest, RewriteMarksParametersOutsideQuotedStringsOnly) {
    const struct {
        const char* text;
        const char* sent;
    } cases[] = {
        {"EXECUTE sp_x @a,@b, 'x @c'", "USE PROCEDURE sp_x &a,&b, 'x @c'"},
        {"\n\t execute\nsp_x @a", "USE PROCEDURE sp_x &a"},
        {"EXECUTE sp_x(@a)", "USE PROCEDURE sp_x(&a)"},
        {"EXECUTE sp_x a@b", "USE PROCEDURE sp_x a@b"},                  // after a letter
        {"EXECUTE sp_x,\t@b", "USE PROCEDURE sp_x,\t@b"},                // after a tab
        {"EXECUTE @x", "USE PROCEDURE &x"},                              // the prefix's blank counts
        {"EXECUTE\t@x", "USE PROCEDURE @x"},                             // a tab there does not
        {"EXECUTE p 'it''s @a', @b", "USE PROCEDURE p 'it''s @a', &b"},  // '' does not end the string
        {"EXECUTE p '' @a", "USE PROCEDURE p '' &a"},                    // an empty string, then a marker
        {"EXECUTE p 'unterminated @a", "USE PROCEDURE p 'unterminated @a"},
        {"  SELECT @a", "SELECT @a"},  // not EXECUTE: copied from the first non-blank
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(rewrite(c.text), c.sent);
    }
}

TEST_F(ExecTest, RewriteRefusesABufferThatIsTooSmallInsteadOfWritingPastIt) {
    const std::string text = "EXECUTE sp_x @a";
    std::string out(10, 'X');
    TDX_RewriteExecute(&block, text.c_str(), out.data(), out.size());
    EXPECT_EQ(out[0], '\0');
    EXPECT_EQ(out.substr(1), std::string(9, 'X'));
}

TEST_F(ExecTest, ExecuteOfARewrittenStatementFailsCleanlyWhenItsCopyCannotBeAllocated) {
    char text[] = "EXECUTE sp_x @a";
    kwhost_failAllocation(context, 1);
    block.dbproc = nullptr;  // never reached: the copy fails first
    EXPECT_EQ(TDX_ExecuteStatement(&block, text), FAIL);
    EXPECT_EQ(+block.status, KW_STATUS_DRIVER_FAILURE);
    EXPECT_EQ(message(), "The host could not provide the memory this request needs.");
    kwhost_failAllocation(context, 0);
}

}  // namespace
