// commands.h - recognising the gateway's own commands among the statements of a batch.
//
// classify() looks at one statement and says whether the session answers it itself (the
// client's post-login commands, the DB2 gateway's SET commands, transactions and the conditional
// commit and rollback ODBC sends, stored requests, procedure calls, the `insert bulk` that starts a
// bulk copy) or hands it to PostgreSQL as SQL. Matching ignores case and the amount of white
// space, including trailing blanks (`SELECT @@LONG_TRANS `).
#pragma once

#include <string>
#include <string_view>

namespace gw::session {

struct Command {
    enum class Kind {
        Sql,             // not a gateway command
        LongTransQuery,  // SELECT @@LONG_TRANS
        SpidQuery,       // select @@spid
        TextSize,        // set textsize N            (number)
        SetOption,       // set <option> on|off       (argument = option, flag)
        Use,             // use <database>            (argument = database name)
        Convert,         // SET CONVERT ...           (argument = the rest)
        Allocate,        // SET ALLOCATE CONNECT|REQUEST (argument)
        Transform,       // SET TRANSFORM ...         (argument)
        LongTrans,       // SET LONG_TRANS YES|NO     (flag)
        NoExec,          // SET NOEXEC YES|NO         (flag)
        FmtOnly,         // SET FMTONLY ON|OFF        (flag)
        InsertBulk,      // insert bulk <table> [(<columns>)] (argument = what follows the keywords)
        TranCountQuery,  // select @@trancount
        VersionQuery,    // select @@version
        BeginTran,       // begin tran|transaction [name] (argument = the name)
        Commit,          // commit [tran|transaction [name]|work]
        Rollback,        // rollback [tran|transaction [name]|work]
        CommitIfOpen,    // IF @@TRANCOUNT > 0 COMMIT [TRAN|TRANSACTION|WORK] [BEGIN TRAN]
                         //   (flag = a new unit of work begins after it)
        RollbackIfOpen,  // IF @@TRANCOUNT > 0 ROLLBACK [...] [BEGIN TRAN] (flag, as above)
        Isolation,       // set transaction isolation level 0-3 or its name (number = 0 to 3)
        UseProcedure,    // USE PROCEDURE ...         (argument = what follows the keywords)
        Procedure,       // [exec|execute] [db.[owner].]name args (argument = from the name on;
                         //   flag = EXEC or EXECUTE was written; without it only catalog procedures)
        Unknown,         // a SET the gateway does not know (argument = the statement)
        BadArgument,     // a known command with a value it does not accept (argument = why)
    };
    Kind kind = Kind::Sql;
    std::string argument;
    bool flag = false;
    long number = 0;
};

Command classify(std::string_view statement);

}  // namespace gw::session
