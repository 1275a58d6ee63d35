// Tests of the gateway command recogniser.
#include "session/commands.h"

#include <gtest/gtest.h>

namespace {

using gw::session::Command;
using K = Command::Kind;

TEST(Classify, RecognisesTheGatewayCommandsTheirClientsSend) {
    struct Case {
        const char* statement;
        K kind;
        std::string argument;
        bool flag;
    } cases[] = {
        {"SELECT @@LONG_TRANS ", K::LongTransQuery, "", false},
        {"select   @@long_trans", K::LongTransQuery, "", false},
        {"select @@spid", K::SpidQuery, "", false},
        {"SET CONVERT ALL = STD", K::Convert, "ALL = STD", false},
        {"SET CONVERT TIMESTAMP CHAR", K::Convert, "TIMESTAMP CHAR", false},
        {"SET ALLOCATE CONNECT", K::Allocate, "CONNECT", false},
        {"set allocate request", K::Allocate, "REQUEST", false},
        {"SET TRANSFORM TSQL0", K::Transform, "TSQL0", false},
        {"SET LONG_TRANS YES", K::LongTrans, "", true},
        {"SET LONG_TRANS NO", K::LongTrans, "", false},
        {"SET NOEXEC YES", K::NoExec, "", true},
        {"SET NOEXEC NO", K::NoExec, "", false},
        {"commit tran", K::Commit, "", false},
        {"COMMIT WORK", K::Commit, "", false},
        {"rollback tran", K::Rollback, "", false},
        {"ROLLBACK", K::Rollback, "", false},
        {"set quoted_identifier on", K::SetOption, "QUOTED_IDENTIFIER", true},
        {"use [my db]", K::Use, "my db", false},
        {"use kwdb", K::Use, "kwdb", false},
        {"USE PROCEDURE       PROC   &A = 1", K::UseProcedure, "PROC   &A = 1", false},
        {"sp_pkeys emp, joe", K::CatalogPkeys, "emp, joe", false},
        {"exec sp_fkeys ,,, emp, joe", K::CatalogFkeys, ",,, emp, joe", false},
        {"SET FROBNICATE 7", K::Unknown, "SET FROBNICATE 7", false},
        {"SET LONG_TRANS MAYBE", K::BadArgument, "SET LONG_TRANS TAKES YES OR NO", false},
        {"SET ALLOCATE EVERYTHING", K::BadArgument, "SET ALLOCATE TAKES CONNECT OR REQUEST", false},
        {"SET CURRENT SQLID = 'JOE'", K::Sql, "", false},
        {"SELECT @@LONG_TRANS FROM T", K::Sql, "", false},
        {"ROLLBACK TO SAVEPOINT A", K::Sql, "", false},
        {"select * from emp", K::Sql, "", false},
    };
    for (const Case& c : cases) {
        Command cmd = gw::session::classify(c.statement);
        EXPECT_EQ(cmd.kind, c.kind) << c.statement;
        EXPECT_EQ(cmd.argument, c.argument) << c.statement;
        EXPECT_EQ(cmd.flag, c.flag) << c.statement;
    }
}

TEST(Classify, ReadsTheTextSizeAsANumber) {
    Command ok = gw::session::classify("set textsize 65536");
    EXPECT_EQ(ok.kind, K::TextSize);
    EXPECT_EQ(ok.number, 65536);
    EXPECT_EQ(gw::session::classify("set textsize lots").kind, K::BadArgument);
}

}  // namespace
