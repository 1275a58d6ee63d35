// commands_test.cpp - what the session reads from a request before PostgreSQL sees it: the
// statements of a batch, the gateway's own commands, stored request calls and their arguments,
// and the statement log's JSON encoding.
#include <gtest/gtest.h>

#include <tuple>

#include "session/batch.h"
#include "session/commands.h"
#include "session/procedure.h"
#include "session/statement_log.h"

namespace {

using gw::session::ArgumentError;
using gw::session::Command;
using gw::session::ProcedureCall;
using K = Command::Kind;
using Statements = std::vector<std::string>;

TEST(SplitBatch, SplitsWhereStatementsEndAndNowhereElse) {
    const std::pair<const char*, Statements> cases[] = {
        // FreeTDS's post-login batch has no separators.
        {"set textsize 65536 select @@spid use [my db]",
         {"set textsize 65536", "select @@spid", "use [my db]"}},
        {"insert into t values (1); select * from t;", {"insert into t values (1)", "select * from t"}},
        // Semicolons in literals, delimited identifiers and comments separate nothing.
        {"insert into t values ('a;b')", {"insert into t values ('a;b')"}},
        {"select 'it''s;x' from t; select 2", {"select 'it''s;x' from t", "select 2"}},
        {"select \"a;b\" from t", {"select \"a;b\" from t"}},
        {"select 1 -- one; two\nfrom t", {"select 1 -- one; two\nfrom t"}},
        {"select /* ; */ 1", {"select /* ; */ 1"}},
        // An option switch before a query is cut off; a variable or another SET is not.
        {"set nocount on select * from t", {"set nocount on", "select * from t"}},
        {"select @@spid, x from t", {"select @@spid, x from t"}},
        {"SET CONVERT TIMESTAMP CHAR", {"SET CONVERT TIMESTAMP CHAR"}},
        // USE PROCEDURE is no database switch, and the group number after ; is no separator.
        {"USE PROCEDURE   P   &A = 'x;y'", {"USE PROCEDURE   P   &A = 'x;y'"}},
        {"USE PROCEDURE JOE.P;1 'a'; select 1", {"USE PROCEDURE JOE.P;1 'a'", "select 1"}},
        {"  ;\n ; select 1 ;; ", {"select 1"}},
        {" -- nothing\n /* at all */ ", {}},
        {"use \"my db\" select 1", {"use \"my db\"", "select 1"}},
    };
    for (const auto& [batch, expected] : cases) {
        EXPECT_EQ(gw::session::splitBatch(batch), expected) << batch;
    }
}

TEST(SplitStatements, SplitsAStoredRequestAtSemicolonsOnly) {
    EXPECT_EQ(
        gw::session::splitStatements("UPDATE T SET A = 1;\r\nSELECT * FROM T;\nSELECT 'x;y' FROM T;\r\n"),
        (Statements{"UPDATE T SET A = 1", "SELECT * FROM T", "SELECT 'x;y' FROM T"}));
    EXPECT_EQ(gw::session::splitStatements("set nocount on select 1"),
              (Statements{"set nocount on select 1"}));
}

// The spellings and arguments the live session tests do not send.
TEST(Classify, RecognisesTheGatewayCommandsTheirClientsSend) {
    const std::tuple<const char*, K, std::string, bool> cases[] = {
        {"select   @@long_trans", K::LongTransQuery, "", false},
        {"SET CONVERT ALL = STD", K::Convert, "ALL = STD", false},
        {"SET CONVERT TIMESTAMP CHAR", K::Convert, "TIMESTAMP CHAR", false},
        {"SET ALLOCATE CONNECT", K::Allocate, "CONNECT", false},
        {"set allocate request", K::Allocate, "REQUEST", false},
        {"SET TRANSFORM TSQL0", K::Transform, "TSQL0", false},
        {"SET LONG_TRANS NO", K::LongTrans, "", false},
        {"SET NOEXEC YES", K::NoExec, "", true},
        {"COMMIT WORK", K::Commit, "", false},
        {"ROLLBACK", K::Rollback, "", false},
        {"set quoted_identifier on", K::SetOption, "QUOTED_IDENTIFIER", true},
        {"use kwdb", K::Use, "kwdb", false},
        {"USE PROCEDURE       PROC   &A = 1", K::UseProcedure, "PROC   &A = 1", false},
        {"exec sp_fkeys ,,, emp, joe", K::CatalogFkeys, ",,, emp, joe", false},
        {"SET LONG_TRANS MAYBE", K::BadArgument, "SET LONG_TRANS TAKES YES OR NO", false},
        {"SET ALLOCATE EVERYTHING", K::BadArgument, "SET ALLOCATE TAKES CONNECT OR REQUEST", false},
        {"SET CURRENT SQLID = 'JOE'", K::Sql, "", false},
        {"SELECT @@LONG_TRANS FROM T", K::Sql, "", false},
        {"ROLLBACK TO SAVEPOINT A", K::Sql, "", false},
        {"set chained on", K::SetOption, "CHAINED", true},
        {"select * from emp", K::Sql, "", false},
    };
    for (const auto& [statement, kind, argument, flag] : cases) {
        const Command cmd = gw::session::classify(statement);
        EXPECT_EQ(cmd.kind, kind) << statement;
        EXPECT_EQ(cmd.argument, argument) << statement;
        EXPECT_EQ(cmd.flag, flag) << statement;
    }
    Command textsize = gw::session::classify("set textsize 65536");
    EXPECT_EQ(textsize.kind, K::TextSize);
    EXPECT_EQ(textsize.number, 65536);
    EXPECT_EQ(gw::session::classify("set textsize lots").kind, K::BadArgument);
}

// The transaction statements T-SQL clients send: BEGIN/COMMIT/ROLLBACK TRAN with or without a
// name, @@trancount, and the isolation level by number or by name.
TEST(Classify, RecognisesTransactionStatementsAndTheirVariants) {
    const std::tuple<const char*, K, std::string, long> cases[] = {
        {"BEGIN TRAN", K::BeginTran, "", 0},
        {"begin transaction  t1 ", K::BeginTran, "T1", 0},
        {"COMMIT TRAN", K::Commit, "", 0},
        {"commit transaction t1", K::Commit, "", 0},
        {"ROLLBACK TRAN t1", K::Rollback, "", 0},
        {"select @@trancount", K::TranCountQuery, "", 0},
        {"SET TRANSACTION ISOLATION LEVEL 0", K::Isolation, "", 0},
        {"set transaction isolation level read uncommitted", K::Isolation, "", 0},
        {"SET TRANSACTION ISOLATION LEVEL READ   COMMITTED", K::Isolation, "", 1},
        {"SET TRANSACTION ISOLATION LEVEL 2", K::Isolation, "", 2},
        {"SET TRANSACTION ISOLATION LEVEL REPEATABLE READ", K::Isolation, "", 2},
        {"SET TRANSACTION ISOLATION LEVEL SERIALIZABLE", K::Isolation, "", 3},
        // PostgreSQL's own spellings and anything longer stay SQL, which the dialect refuses.
        {"BEGIN", K::Sql, "", 0},
        {"BEGIN WORK", K::Sql, "", 0},
        {"begin tran a b", K::Sql, "", 0},
        {"COMMIT TRAN A B", K::Sql, "", 0},
        {"ROLLBACK TO SAVEPOINT A", K::Sql, "", 0},
        {"select @@trancount, 1", K::Sql, "", 0},
    };
    for (const auto& [statement, kind, argument, number] : cases) {
        const Command cmd = gw::session::classify(statement);
        EXPECT_EQ(cmd.kind, kind) << statement;
        EXPECT_EQ(cmd.argument, argument) << statement;
        EXPECT_EQ(cmd.number, number) << statement;
    }
    for (const char* bad : {"SET TRANSACTION ISOLATION LEVEL 4", "SET TRANSACTION ISOLATION LEVEL -1",
                            "SET TRANSACTION ISOLATION LEVEL", "SET TRANSACTION ISOLATION LEVEL READ",
                            "SET TRANSACTION READ ONLY", "SET TRANSACTION ISOLATION LEVEL 1 2"}) {
        const Command cmd = gw::session::classify(bad);
        EXPECT_EQ(cmd.kind, K::BadArgument) << bad;
        EXPECT_NE(cmd.argument.find("ISOLATION LEVEL"), std::string::npos) << bad;
    }
}

ProcedureCall call(const std::string& text) {
    auto r = gw::session::parseUseProcedure(text);
    if (auto* e = std::get_if<ArgumentError>(&r)) {
        ADD_FAILURE() << text << ": " << e->message;
        return {};
    }
    return std::get<ProcedureCall>(r);
}

TEST(ParseUseProcedure, ReadsTheCallAsTheDriverBlanksItAndRefusesWhatItCannotRun) {
    // USE PROCEDURE OWNER.PROC;1 &A = 1, &B = 'x' with owner, point and group number blanked
    ProcedureCall c = call("      PROC   &A = 1, &B = 'x, y'");
    EXPECT_EQ(c.owner, "");
    EXPECT_EQ(c.name, "PROC");
    EXPECT_EQ(c.named, (std::vector<std::pair<std::string, std::string>>{{"A", "1"}, {"B", "'x, y'"}}));
    c = call("joe . myreq ; 1 'a', 5, (1 + 2), ");
    EXPECT_EQ(c.owner, "JOE");
    EXPECT_EQ(c.name, "MYREQ");
    EXPECT_EQ(c.positional, (std::vector<std::string>{"'a'", "5", "(1 + 2)", "NULL"}));
    // No name, a named argument without a value, positional after named, an empty value.
    for (const char* text : {"", "P &A", "P &A = 1, 'x'", "P &A ="}) {
        EXPECT_TRUE(std::holds_alternative<ArgumentError>(gw::session::parseUseProcedure(text))) << text;
    }
}

TEST(SubstituteArguments, ReplacesReferencesOutsideQuotesOnlyAndRefusesMissingOnes) {
    ProcedureCall c = call("P 'x''y', 42, &DEPT = 'D11'");
    auto r = gw::session::substituteArguments(
        "SELECT * FROM T WHERE A = &1 AND B = &2 AND C = '&1' AND \"&2\" = &dept AND D = E & 3", c);
    ASSERT_TRUE(std::holds_alternative<std::string>(r));
    EXPECT_EQ(std::get<std::string>(r),
              "SELECT * FROM T WHERE A = 'x''y' AND B = 42 AND C = '&1' AND \"&2\" = 'D11' AND D = E & 3");
    for (const char* text : {"SELECT &3", "SELECT &X", "SELECT &0"}) {
        EXPECT_TRUE(std::holds_alternative<ArgumentError>(gw::session::substituteArguments(text, c))) << text;
    }
}

TEST(CatalogArguments, TakeNamesByPositionOrParameterNameWithNullOrNothingAsNotGiven) {
    using Args = std::vector<std::optional<std::string>>;
    constexpr std::string_view kFkeys[] = {"pktable_name", "pktable_owner", "pktable_qualifier",
                                           "fktable_name", "fktable_owner", "fktable_qualifier"};
    const auto none = std::nullopt;
    const std::tuple<const char*, Args> cases[] = {
        {"emp, joe", {"EMP", "JOE", none, none, none, none}},
        {",,, emp, joe", {none, none, none, "EMP", "JOE", none}},
        {"emp, NULL", {"EMP", none, none, none, none, none}},
        {"null, null, null, emp, null", {none, none, none, "EMP", none, none}},
        {"'NULL', \"Mixed\", 'it''s'", {"NULL", "Mixed", "it's", none, none, none}},
        {"@fktable_name = proj, @FKTABLE_OWNER='JOE'", {none, none, none, "PROJ", "JOE", none}},
        {"emp, @pktable_owner = null", {"EMP", none, none, none, none, none}},
        {"  ", {none, none, none, none, none, none}},
    };
    for (const auto& [text, expected] : cases) {
        auto r = gw::session::catalogArguments(text, kFkeys);
        ASSERT_TRUE(std::holds_alternative<Args>(r)) << text;
        EXPECT_EQ(std::get<Args>(r), expected) << text;
    }
    // Too many, an unknown name, a name twice, positional after named, a name without a value.
    for (const char* text : {"a, b, c, d, e, f, g", "@table_name = emp", "emp, @pktable_name = dept",
                             "@pktable_owner = joe, emp", "@pktable_name"}) {
        EXPECT_TRUE(std::holds_alternative<ArgumentError>(gw::session::catalogArguments(text, kFkeys)))
            << text;
    }
}

TEST(JsonString, EscapesWhatJsonRequiresAndKeepsUtf8) {
    const std::pair<std::string, std::string> cases[] = {
        {"select 1", "\"select 1\""},
        {"a\"b\\c", "\"a\\\"b\\\\c\""},
        {"a\r\n\tb", "\"a\\r\\n\\tb\""},  // short escapes
        {std::string("a\x01z"), "\"a\\u0001z\""},
        {"caf\xC3\xA9", "\"caf\xC3\xA9\""},  // UTF-8 passes unchanged
        {"caf\xE9!", "\"caf\\u00e9!\""},     // a byte that is not UTF-8 becomes an escape
    };
    for (const auto& [text, json] : cases) {
        EXPECT_EQ(gw::session::jsonString(text), json) << text;
    }
}

}  // namespace
