// Tests of stored request calls, argument substitution and catalog procedure arguments.
#include "session/procedure.h"

#include <gtest/gtest.h>

namespace {

using gw::session::ArgumentError;
using gw::session::ProcedureCall;

ProcedureCall call(const std::string& text) {
    auto r = gw::session::parseUseProcedure(text);
    if (auto* e = std::get_if<ArgumentError>(&r)) {
        ADD_FAILURE() << text << ": " << e->message;
        return {};
    }
    return std::get<ProcedureCall>(r);
}

TEST(ParseUseProcedure, ReadsTheCallAsTheDriverBlanksIt) {
    // USE PROCEDURE OWNER.PROC;1 &A = 1, &B = 'x' with owner, point and group number blanked
    ProcedureCall c = call("      PROC   &A = 1, &B = 'x, y'");
    EXPECT_EQ(c.owner, "");
    EXPECT_EQ(c.name, "PROC");
    ASSERT_EQ(c.named.size(), 2u);
    EXPECT_EQ(c.named[0], (std::pair<std::string, std::string>{"A", "1"}));
    EXPECT_EQ(c.named[1], (std::pair<std::string, std::string>{"B", "'x, y'"}));
}

TEST(ParseUseProcedure, ReadsOwnerGroupNumberAndPositionalArguments) {
    ProcedureCall c = call("joe . myreq ; 1 'a', 5, (1 + 2), ");
    EXPECT_EQ(c.owner, "JOE");
    EXPECT_EQ(c.name, "MYREQ");
    EXPECT_EQ(c.positional, (std::vector<std::string>{"'a'", "5", "(1 + 2)", "NULL"}));
}

TEST(ParseUseProcedure, RefusesCallsItCannotRun) {
    const char* cases[] = {
        "",               // no name
        "P &A",           // a named argument without a value
        "P &A = 1, 'x'",  // positional after named
        "P &A =",         // empty value
    };
    for (const char* text : cases) {
        EXPECT_TRUE(std::holds_alternative<ArgumentError>(gw::session::parseUseProcedure(text))) << text;
    }
}

TEST(SubstituteArguments, ReplacesReferencesOutsideQuotesOnly) {
    ProcedureCall c = call("P 'x''y', 42, &DEPT = 'D11'");
    auto r = gw::session::substituteArguments(
        "SELECT * FROM T WHERE A = &1 AND B = &2 AND C = '&1' AND \"&2\" = &dept AND D = E & 3", c);
    ASSERT_TRUE(std::holds_alternative<std::string>(r));
    EXPECT_EQ(std::get<std::string>(r),
              "SELECT * FROM T WHERE A = 'x''y' AND B = 42 AND C = '&1' AND \"&2\" = 'D11' AND D = E & 3");
}

TEST(SubstituteArguments, AReferenceToAMissingArgumentIsAnError) {
    ProcedureCall c = call("P 1");
    EXPECT_TRUE(std::holds_alternative<ArgumentError>(gw::session::substituteArguments("SELECT &2", c)));
    EXPECT_TRUE(std::holds_alternative<ArgumentError>(gw::session::substituteArguments("SELECT &X", c)));
    EXPECT_TRUE(std::holds_alternative<ArgumentError>(gw::session::substituteArguments("SELECT &0", c)));
}

TEST(CatalogArguments, FoldsNamesAndKeepsQuotedOnesAndEmptyOnesAsNull) {
    using Args = std::vector<std::optional<std::string>>;
    EXPECT_EQ(gw::session::catalogArguments("emp, joe"), (Args{"EMP", "JOE"}));
    EXPECT_EQ(gw::session::catalogArguments(",,, emp, joe"),
              (Args{std::nullopt, std::nullopt, std::nullopt, "EMP", "JOE"}));
    EXPECT_EQ(gw::session::catalogArguments("\"Mixed\", 'it''s'"), (Args{"Mixed", "it's"}));
    EXPECT_EQ(gw::session::catalogArguments("  "), Args{});
}

}  // namespace
