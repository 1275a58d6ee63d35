// commands_test.cpp - what the session reads from a request before PostgreSQL sees it: the
// statements of a batch, the gateway's own commands, stored request calls and their arguments,
// and the statement log's JSON encoding.
#include <gtest/gtest.h>

#include <iterator>
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
        // jTDS's session defaults for a Sybase server: one batch, a line each.
        {"SET TRANSACTION ISOLATION LEVEL 1\r\nSET CHAINED OFF\r\nSET QUOTED_IDENTIFIER ON\r\nSET TEXTSIZE "
         "2147483647",
         {"SET TRANSACTION ISOLATION LEVEL 1", "SET CHAINED OFF", "SET QUOTED_IDENTIFIER ON",
          "SET TEXTSIZE 2147483647"}},
        {"set transaction isolation level read committed select 1",
         {"set transaction isolation level read committed", "select 1"}},
        {"set transaction isolation level serializable\nset nocount on",
         {"set transaction isolation level serializable", "set nocount on"}},
        // jTDS's Statement batch: data-changing statements joined by blanks.
        {"INSERT INTO T VALUES (1, 'a') INSERT INTO T VALUES (2, 'b') UPDATE T SET A = 'c' DELETE FROM T "
         "WHERE K > 10 ",
         {"INSERT INTO T VALUES (1, 'a')", "INSERT INTO T VALUES (2, 'b')", "UPDATE T SET A = 'c'",
          "DELETE FROM T WHERE K > 10"}},
        {"set nocount on delete from t update t set a = 1",
         {"set nocount on", "delete from t", "update t set a = 1"}},
        // Inside parentheses, quotes and comments, and in statements that change nothing, the verbs
        // begin nothing.
        {"insert into t select * from u where k in (select k from v) delete from w",
         {"insert into t select * from u where k in (select k from v)", "delete from w"}},
        {"update t set a = 'delete' -- update\n where b = \"insert\"",
         {"update t set a = 'delete' -- update\n where b = \"insert\""}},
        {"insert into t values (1) on conflict (k) do update set a = 2 delete from u",
         {"insert into t values (1) on conflict (k) do update set a = 2", "delete from u"}},
        {"update t set t.delete = 1, u . insert = 2", {"update t set t.delete = 1, u . insert = 2"}},
        {"select a from t for update of a", {"select a from t for update of a"}},
        {"grant insert, update, delete on t to smith", {"grant insert, update, delete on t to smith"}},
        {"create table t (k int references u on delete cascade)",
         {"create table t (k int references u on delete cascade)"}},
        // jTDS switches autocommit back on with the conditional commit and SET CHAINED OFF; FreeTDS
        // ODBC's conditional end with the next BEGIN TRANSACTION stays one command.
        {"IF @@TRANCOUNT > 0 COMMIT TRAN\r\nSET CHAINED OFF",
         {"IF @@TRANCOUNT > 0 COMMIT TRAN", "SET CHAINED OFF"}},
        {"if @@trancount>0 rollback set chained off", {"if @@trancount>0 rollback", "set chained off"}},
        {"IF @@TRANCOUNT > 0 COMMIT BEGIN TRANSACTION", {"IF @@TRANCOUNT > 0 COMMIT BEGIN TRANSACTION"}},
        {"IF @@TRANCOUNT > 0 ROLLBACK BEGIN TRANSACTION select 1",
         {"IF @@TRANCOUNT > 0 ROLLBACK BEGIN TRANSACTION", "select 1"}},
        {"if @@trancount > 1 commit set chained off", {"if @@trancount > 1 commit set chained off"}},
        // A level that is neither a number nor a name is left whole, for the command to refuse.
        {"set transaction isolation level read set nocount on",
         {"set transaction isolation level read set nocount on"}},
        // bcp's describe: the FMTONLY switch after the query is cut off too, and no other SET.
        {"SET FMTONLY ON select * from joe.t SET FMTONLY OFF",
         {"SET FMTONLY ON", "select * from joe.t", "SET FMTONLY OFF"}},
        {"select * from t where a = 'SET FMTONLY OFF'", {"select * from t where a = 'SET FMTONLY OFF'"}},
        {"select k from t set fmtonly off \r\n", {"select k from t", "set fmtonly off"}},  // blanks after it
        {"alter table t alter column c set default on", {"alter table t alter column c set default on"}},
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
        {"exec sp_fkeys ,,, emp, joe", K::Procedure, "sp_fkeys ,,, emp, joe", true},
        {"SET LONG_TRANS MAYBE", K::BadArgument, "SET LONG_TRANS TAKES YES OR NO", false},
        {"SET ALLOCATE EVERYTHING", K::BadArgument, "SET ALLOCATE TAKES CONNECT OR REQUEST", false},
        {"SET CURRENT SQLID = 'JOE'", K::Sql, "", false},
        {"SELECT @@LONG_TRANS FROM T", K::Sql, "", false},
        {"ROLLBACK TO SAVEPOINT A", K::Sql, "", false},
        {"set chained on", K::SetOption, "CHAINED", true},
        {"select * from emp", K::Sql, "", false},
        {"SET FMTONLY ON", K::FmtOnly, "", true},
        {"set fmtonly off", K::FmtOnly, "", false},
        {"insert  bulk joe.t (a, \"b c\")", K::InsertBulk, "joe.t (a, \"b c\")", false},
        {"INSERT INTO bulk VALUES (1)", K::Sql, "", false},
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

// Procedure calls by language, with or without EXEC, and the conditional end of a unit of work
// FreeTDS ODBC sends (autocommit off: the next unit of work begins after it).
TEST(Classify, RecognisesProcedureCallsAndTheConditionalEndOfAUnitOfWork) {
    const std::tuple<const char*, K, std::string, bool> cases[] = {
        {"sp_pkeys emp, joe", K::Procedure, "sp_pkeys emp, joe", false},
        {"SP_TABLES", K::Procedure, "SP_TABLES", false},
        {"kwdb..sp_columns t", K::Procedure, "kwdb..sp_columns t", false},
        {"  ..sp_datatype_info 12 ", K::Procedure, "..sp_datatype_info 12", false},
        {"sybsystemprocs.dbo.sp_server_info 1", K::Procedure, "sybsystemprocs.dbo.sp_server_info 1", false},
        {"EXECUTE myreq 1, 'x'", K::Procedure, "myreq 1, 'x'", true},
        {"exec   joe.myreq", K::Procedure, "joe.myreq", true},
        // Without EXEC only a catalog procedure is a call; an owner other than dbo names a stored
        // request, which needs EXEC.
        {"sp_who", K::Sql, "", false},
        {"joe.sp_pkeys emp", K::Sql, "", false},
        {"sp_pkeys(emp)", K::Sql, "", false},
        {"exec", K::Sql, "", false},
        {"IF @@TRANCOUNT > 0 COMMIT", K::CommitIfOpen, "", false},
        {"if @@trancount>0 rollback", K::RollbackIfOpen, "", false},
        {"IF @@TRANCOUNT > 0 COMMIT BEGIN TRANSACTION", K::CommitIfOpen, "", true},
        {"IF @@TRANCOUNT > 0 ROLLBACK BEGIN TRANSACTION", K::RollbackIfOpen, "", true},
        {"  if  @@TRANCOUNT  >0   ROLLBACK  TRAN  begin  tran ", K::RollbackIfOpen, "", true},
        {"IF @@TRANCOUNT > 0 COMMIT WORK", K::CommitIfOpen, "", false},
        {"IF @@TRANCOUNT > 0 COMMIT TRANSACTION", K::CommitIfOpen, "", false},
        // Other conditions, other statements and named transactions are not these forms.
        {"IF @@TRANCOUNT > 1 COMMIT", K::Sql, "", false},
        {"IF @@TRANCOUNT = 0 COMMIT", K::Sql, "", false},
        {"IF @@TRANCOUNT > 0 SELECT 1", K::Sql, "", false},
        {"IF @@TRANCOUNT > 0 COMMIT TRAN T1", K::Sql, "", false},
        {"IF @@TRANCOUNT > 0 ROLLBACK BEGIN", K::Sql, "", false},
        {"IF @@TRANCOUNT > 0 COMMIT BEGIN TRAN X", K::Sql, "", false},
        {"IF @@TRANCOUNT > 0", K::Sql, "", false},
    };
    for (const auto& [statement, kind, argument, flag] : cases) {
        const Command cmd = gw::session::classify(statement);
        EXPECT_EQ(cmd.kind, kind) << statement;
        EXPECT_EQ(cmd.argument, argument) << statement;
        EXPECT_EQ(cmd.flag, flag) << statement;
    }
}

TEST(ParseProcedureName, ReadsDatabaseOwnerAndNameInEveryQuotingClientsUse) {
    // text, database, owner, name, where the name ends
    const std::tuple<const char*, std::string, std::string, std::string, size_t> cases[] = {
        {"sp_pkeys emp", "", "", "SP_PKEYS", 8},
        {"kwdb..sp_tables", "kwdb", "", "SP_TABLES", 15},
        {"..sp_x", "", "", "SP_X", 6},
        {"\"My Db\"..sp_x", "My Db", "", "SP_X", 13},
        {"[my db].dbo.sp_x", "my db", "", "SP_X", 16},
        {"db.\"Joe\".req 1", "db", "Joe", "REQ", 12},
        {"joe.myreq", "", "JOE", "MYREQ", 9},
        {"\"DBO\".x", "", "DBO", "X", 7},  // a delimited DBO is an owner of that name
        {"\"a\"\"b\" 1", "", "", "a\"b", 6},
        {"  sp_who", "", "", "SP_WHO", 8},
    };
    for (const auto& [text, database, owner, name, end] : cases) {
        size_t at = 0;
        auto r = gw::session::parseProcedureName(text, at);
        ASSERT_TRUE(std::holds_alternative<gw::session::ProcedureName>(r)) << text;
        const auto& n = std::get<gw::session::ProcedureName>(r);
        EXPECT_EQ(std::tuple(n.database, n.owner, n.name, at), std::tuple(database, owner, name, end))
            << text;
    }
    for (const char* text : {"", "   ", "a.b.c.d", "\"open", "[open", "db..", "db.joe."}) {
        size_t at = 0;
        EXPECT_TRUE(std::holds_alternative<ArgumentError>(gw::session::parseProcedureName(text, at))) << text;
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

const gw::session::CatalogProcedure& catalog(const char* name) {
    const gw::session::CatalogProcedure* p = gw::session::findCatalogProcedure(name);
    if (!p) {
        ADD_FAILURE() << name << " is not a catalog procedure";
        return gw::session::catalogProcedures().front();
    }
    return *p;
}

// The procedures, their parameters and the statement that answers each are the contract with
// the catalog's SQL functions.
TEST(CatalogProcedures, EachIsAnsweredByItsFunctionWithOneTextPerParameter) {
    // The name and the parameters, blank-separated; the statement passes each as $1, $2, ...
    const std::pair<const char*, const char*> cases[] = {
        {"sp_tables", "table_name table_owner table_qualifier table_type"},
        {"sp_columns", "table_name table_owner table_qualifier column_name"},
        {"sp_statistics", "table_name table_owner table_qualifier index_name is_unique accuracy"},
        {"sp_special_columns", "table_name table_owner table_qualifier col_type scope nullable"},
        {"sp_sproc_columns", "procedure_name procedure_owner procedure_qualifier column_name"},
        {"sp_stored_procedures", "sp_name sp_owner sp_qualifier"},
        {"sp_datatype_info", "data_type"},
        {"sp_server_info", "attribute_id"},
        {"sp_pkeys", "table_name table_owner table_qualifier"},
        {"sp_fkeys",
         "pktable_name pktable_owner pktable_qualifier fktable_name fktable_owner fktable_qualifier"},
    };
    EXPECT_EQ(gw::session::catalogProcedures().size(), std::size(cases)) << "no procedure beyond these";
    for (const auto& [name, parameters] : cases) {
        const gw::session::CatalogProcedure& p = catalog(name);
        std::string names, statement = std::string("SELECT * FROM kwgw.") + name + "(";
        for (size_t i = 0; i < p.parameters.size(); ++i) {
            names += std::string(i ? " " : "") + std::string(p.parameters[i]);
            statement += (i ? ", $" : "$") + std::to_string(i + 1);
        }
        EXPECT_EQ(names, parameters) << name;
        EXPECT_EQ(gw::session::catalogStatement(p), statement + ")") << name;
    }
    EXPECT_EQ(gw::session::findCatalogProcedure("SP_PKEYS"), &catalog("sp_pkeys")) << "any case";
    EXPECT_EQ(gw::session::findCatalogProcedure("sp_who"), nullptr);
}

TEST(CatalogArguments, TakeNamesByPositionOrParameterNameWithNullOrNothingAsNotGiven) {
    using Args = std::vector<std::optional<std::string>>;
    const auto none = std::nullopt;
    const std::tuple<const char*, Args> cases[] = {
        {"emp, joe", {"EMP", "JOE", none, none, none, none}},
        {",,, emp, joe", {none, none, none, "EMP", "JOE", none}},
        {"emp, NULL", {"EMP", none, none, none, none, none}},
        {"null, null, null, emp, null", {none, none, none, "EMP", none, none}},
        {"'NULL', \"Mixed\", 'it''s'", {"NULL", "Mixed", "it's", none, none, none}},
        {"@fktable_name = proj, @FKTABLE_OWNER='JOE'", {none, none, none, "PROJ", "JOE", none}},
        {"emp, @pktable_owner = null", {"EMP", none, none, none, none, none}},
        {"emp, @ODBCVer = 3, @fUsePattern = 1", {"EMP", none, none, none, none, none}},
        {"  ", {none, none, none, none, none, none}},
    };
    for (const auto& [text, expected] : cases) {
        auto r = gw::session::catalogArguments(text, catalog("sp_fkeys"));
        ASSERT_TRUE(std::holds_alternative<Args>(r)) << text;
        EXPECT_EQ(std::get<Args>(r), expected) << text;
    }
    // Too many, an unknown name, a name twice, positional after named (an ignored name too), a
    // name without a value, and an alias of another procedure.
    for (const char* text :
         {"a, b, c, d, e, f, g", "@table_name = emp", "emp, @pktable_name = dept",
          "@pktable_owner = joe, emp", "@ODBCVer = 3, emp", "@pktable_name", "emp, @qualifier = db"}) {
        EXPECT_TRUE(
            std::holds_alternative<ArgumentError>(gw::session::catalogArguments(text, catalog("sp_fkeys"))))
            << text;
    }
    // @qualifier stands for sp_special_columns' @table_qualifier, and is one with it.
    auto aliased = gw::session::catalogArguments("t, o, @qualifier = kwdb, @col_type = 'R'",
                                                 catalog("sp_special_columns"));
    ASSERT_TRUE(std::holds_alternative<Args>(aliased));
    EXPECT_EQ(std::get<Args>(aliased), (Args{"T", "O", "KWDB", "R", none, none}));
    EXPECT_TRUE(std::holds_alternative<ArgumentError>(gw::session::catalogArguments(
        "t, @qualifier = a, @table_qualifier = b", catalog("sp_special_columns"))));
}

TEST(CatalogArguments, TakeTheOdbcVersionJtdsPassesByPositionAfterTheLastParameter) {
    using Args = std::vector<std::optional<std::string>>;
    const auto none = std::nullopt;
    // jTDS's calls: sp_columns ?, ?, ?, ?, 3; sp_sproc_columns the same; sp_special_columns with
    // 3 after its six; sp_datatype_info's version after the type.
    const std::tuple<const char*, const char*, Args> taken[] = {
        {"sp_columns", "'CL_ALL', 'JOE', NULL, '%', 3", {"CL_ALL", "JOE", none, "%"}},
        {"sp_columns", "'CL_ALL', 'JOE', NULL, '%', NULL", {"CL_ALL", "JOE", none, "%"}},
        {"sp_sproc_columns", "'REQ%', NULL, NULL, NULL, 3", {"REQ%", none, none, none}},
        {"sp_special_columns", "'T', 'O', NULL, 'R', 'T', 'U', 3", {"T", "O", none, "R", "T", "U"}},
        {"sp_datatype_info", "4, 3", {"4"}},
    };
    for (const auto& [procedure, text, expected] : taken) {
        auto r = gw::session::catalogArguments(text, catalog(procedure));
        ASSERT_TRUE(std::holds_alternative<Args>(r)) << procedure << " " << text;
        EXPECT_EQ(std::get<Args>(r), expected) << procedure << " " << text;
    }
    // Only a number, only one, only there, and only for procedures that take one: sp_tables' fifth
    // and sp_pkeys' fourth are still too many.
    const std::pair<const char*, const char*> refused[] = {
        {"sp_columns", "'T', 'O', NULL, '%', 'X'"},
        {"sp_columns", "'T', 'O', NULL, '%', 3, 3"},
        {"sp_tables", "'T', 'O', NULL, NULL, 3"},
        {"sp_pkeys", "'T', 'O', NULL, 3"},
    };
    for (const auto& [procedure, text] : refused) {
        EXPECT_TRUE(
            std::holds_alternative<ArgumentError>(gw::session::catalogArguments(text, catalog(procedure))))
            << procedure << " " << text;
    }
}

// A parameter set as a remote procedure call brings it: its formats and values.
gw::tds::ParamSet paramSet(const std::vector<std::tuple<std::string, uint8_t, gw::tds::ParamValue>>& params) {
    gw::tds::ParamSet set;
    for (const auto& [name, type, value] : params) {
        gw::tds::ParamDescription d;
        d.name = name;
        d.type = type;
        set.formats.push_back(d);
        set.values.push_back(value);
    }
    return set;
}

TEST(RpcArguments, TakeValuesAsSentAndQuoteStringsForStoredRequests) {
    // VARCHAR 0x27, INT4 0x38, FLT8 0x3E, CHAR 0x2F, NUMERIC 0x6C
    const gw::tds::ParamSet set = paramSet({
        {"", 0x27, "Emp"},
        {"", 0x38, "-42"},
        {"@Table_Owner", 0x27, "O'Brien"},
        {"@ratio", 0x3E, "inf"},
        {"@code", 0x2F, "12"},
        {"@amount", 0x6C, "-0.07"},
        {"@none", 0x27, std::nullopt},
    });
    const auto args = gw::session::rpcArguments(set);
    using Row = std::tuple<std::string, std::optional<std::string>, std::string>;
    std::vector<Row> seen;
    for (const auto& a : args) {
        seen.emplace_back(a.name, a.value, a.literal);
    }
    EXPECT_EQ(seen, (std::vector<Row>{{"", "Emp", "'Emp'"},
                                      {"", "-42", "-42"},
                                      {"TABLE_OWNER", "O'Brien", "'O''Brien'"},
                                      {"RATIO", "inf", "'inf'"},
                                      {"CODE", "12", "'12'"},
                                      {"AMOUNT", "-0.07", "-0.07"},
                                      {"NONE", std::nullopt, "NULL"}}));

    // A catalog procedure gets the values unfolded.
    auto bound = gw::session::bindCatalogArguments(
        catalog("sp_pkeys"),
        gw::session::rpcArguments(
            paramSet({{"", 0x27, "Emp"}, {"@table_owner", 0x27, "joe"}, {"@ODBCVer", 0x38, "3"}})));
    ASSERT_TRUE(std::holds_alternative<gw::session::CatalogArguments>(bound));
    EXPECT_EQ(std::get<gw::session::CatalogArguments>(bound),
              (gw::session::CatalogArguments{"Emp", "joe", std::nullopt}));

    // A stored request gets them as literals: a quote in a value cannot end its string.
    gw::session::ProcedureName name{"", "", "MYREQ"};
    auto stored = gw::session::storedRequestCall(name, args);
    ASSERT_TRUE(std::holds_alternative<ProcedureCall>(stored));
    auto text = gw::session::substituteArguments("SELECT &1, &2 FROM T WHERE O = &TABLE_OWNER AND N = &none",
                                                 std::get<ProcedureCall>(stored));
    ASSERT_TRUE(std::holds_alternative<std::string>(text));
    EXPECT_EQ(std::get<std::string>(text), "SELECT 'Emp', -42 FROM T WHERE O = 'O''Brien' AND N = NULL");

    // Positional after named, and a name twice, are refused.
    for (const auto& bad :
         {paramSet({{"@a", 0x27, "x"}, {"", 0x27, "y"}}), paramSet({{"@a", 0x27, "x"}, {"@A", 0x27, "y"}})}) {
        EXPECT_TRUE(std::holds_alternative<ArgumentError>(
            gw::session::storedRequestCall(name, gw::session::rpcArguments(bad))));
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
