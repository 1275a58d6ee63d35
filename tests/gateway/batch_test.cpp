// Tests of the batch splitter: separators, quoting, comments and T-SQL commands run together.
#include "session/batch.h"

#include <gtest/gtest.h>

namespace {

using Statements = std::vector<std::string>;

TEST(SplitBatch, SplitsWhereStatementsEndAndNowhereElse) {
    struct Case {
        const char* claim;
        const char* batch;
        Statements expected;
    } cases[] = {
        {"the post-login batch of FreeTDS has no separators",
         "set textsize 65536 select @@spid use [my db]",
         {"set textsize 65536", "select @@spid", "use [my db]"}},
        {"the spid probe alone keeps its statement", "select @@spid ", {"select @@spid"}},
        {"the long-transaction probe with its trailing blank",
         "SELECT @@LONG_TRANS ",
         {"SELECT @@LONG_TRANS"}},
        {"semicolons separate statements",
         "insert into t values (1); select * from t;",
         {"insert into t values (1)", "select * from t"}},
        {"a semicolon in a string literal is text",
         "insert into t values ('a;b')",
         {"insert into t values ('a;b')"}},
        {"a doubled quote stays inside the literal",
         "select 'it''s;x' from t; select 2",
         {"select 'it''s;x' from t", "select 2"}},
        {"a semicolon in a delimited identifier is a name",
         "select \"a;b\" from t",
         {"select \"a;b\" from t"}},
        {"a semicolon in a line comment is comment",
         "select 1 -- one; two\nfrom t",
         {"select 1 -- one; two\nfrom t"}},
        {"a semicolon in a block comment is comment", "select /* ; */ 1", {"select /* ; */ 1"}},
        {"an option switch before a query is cut off",
         "set nocount on select * from t",
         {"set nocount on", "select * from t"}},
        {"a variable in a select list is not cut", "select @@spid, x from t", {"select @@spid, x from t"}},
        {"a set that is not an option switch stays whole",
         "SET CONVERT TIMESTAMP CHAR",
         {"SET CONVERT TIMESTAMP CHAR"}},
        {"use procedure is not a database switch",
         "USE PROCEDURE   P   &A = 'x;y'",
         {"USE PROCEDURE   P   &A = 'x;y'"}},
        {"the group number of a stored request call is not a separator",
         "USE PROCEDURE JOE.P;1 'a'; select 1",
         {"USE PROCEDURE JOE.P;1 'a'", "select 1"}},
        {"empty statements vanish", "  ;\n ; select 1 ;; ", {"select 1"}},
        {"a batch of blanks and comments has no statement", " -- nothing\n /* at all */ ", {}},
        {"a quoted database name may hold blanks", "use \"my db\" select 1", {"use \"my db\"", "select 1"}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(gw::session::splitBatch(c.batch), c.expected) << c.claim;
    }
}

TEST(SplitStatements, SplitsAStoredRequestAtSemicolonsOnly) {
    EXPECT_EQ(
        gw::session::splitStatements("UPDATE T SET A = 1;\r\nSELECT * FROM T;\nSELECT 'x;y' FROM T;\r\n"),
        (Statements{"UPDATE T SET A = 1", "SELECT * FROM T", "SELECT 'x;y' FROM T"}));
    EXPECT_EQ(gw::session::splitStatements("set nocount on select 1"),
              (Statements{"set nocount on select 1"}));
}

}  // namespace
