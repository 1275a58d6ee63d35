// calls_test.cpp - procedure calls against the live gateway. Remote procedure calls from
// DB-Library (dbrpcinit, dbrpcparam, dbrpcsend) and language calls reach the catalog procedures
// and the stored requests of PCSQL_HOSTLIB, and answer like procedures: rows, the return status,
// output parameters. What cannot run is refused with the session going on, an attention cancels
// a call as it cancels a batch, and the conditional commit and rollback FreeTDS ODBC sends end
// units of work.
#include <gtest/gtest.h>

#include "catalog_live.h"
#include "kwtest/wait.h"

namespace kwcat {
namespace {

using kwtest::Clock;

const Rows kEmpKey = {{"<null>", "JOE", "EMP", "EMPNO", "1", "EMP_PK"},
                      {"<null>", "JOE", "EMP", "WORKDEPT", "2", "EMP_PK"}};

using RemoteCalls = FixtureSessions;

TEST_F(RemoteCalls, CatalogProceduresTakeParametersByNameAndPositionAndEndLikeAProcedure) {
    const std::string db = env().databaseName();
    const std::pair<std::string, std::vector<Param>> calls[] = {
        {"sp_pkeys", {text("@table_name", "EMP"), text("@table_owner", "JOE")}},
        {"sp_pkeys", {text("@table_owner", "JOE"), text("@table_name", "EMP")}},
        {"sp_pkeys", {text("", "EMP"), text("", "JOE")}},
        {"sp_pkeys", {text("", "EMP"), text("@table_owner", "JOE"), null("@table_qualifier")}},
        {"sp_pkeys", {text("@table_name", "EMP"), number("@ODBCVer", 3)}},  // the owner is the caller
        // Every way clients qualify a system procedure's name.
        {db + "..sp_pkeys", {text("", "EMP")}},
        {"\"" + db + "\"..sp_pkeys", {text("", "EMP")}},
        {"..sp_pkeys", {text("", "EMP")}},
        {"sybsystemprocs..sp_pkeys", {text("", "EMP")}},
        {"master.dbo.sp_pkeys", {text("", "EMP")}},
        {"dbo.SP_PKEYS", {text("", "EMP")}},
    };
    for (const auto& [procedure, params] : calls) {
        const Answer a = rpc(*joe_, procedure, params);
        EXPECT_TRUE(a.ok) << procedure << ": " << a.sqlcode << " " << a.message;
        EXPECT_EQ(a.results, std::vector<Rows>{kEmpKey}) << procedure;
        EXPECT_EQ(a.status, 0) << procedure;
        EXPECT_TRUE(a.returned.empty()) << procedure;
    }
    // Values go to the procedure as sent: "emp" is not EMP, and no owner means the caller's table.
    EXPECT_EQ(rpc(*joe_, "sp_pkeys", {text("@table_name", "emp")}).results, std::vector<Rows>{Rows{}});
    EXPECT_EQ(
        rpc(*smith_, "sp_pkeys", {text("@table_name", "ASSIGN"), null("@table_owner")}).results[0].size(),
        3u);

    // sp_fkeys both ways: the foreign keys of PROJ, and the tables that refer to DEPT.
    Answer fkeys = rpc(*joe_, "sp_fkeys", {text("@fktable_name", "PROJ"), text("@fktable_owner", "JOE")});
    ASSERT_TRUE(fkeys.ok) << fkeys.message;
    ASSERT_EQ(fkeys.results.size(), 1u);
    Rows seen;
    for (const auto& r : fkeys.results[0]) {
        seen.push_back({r[2], r[3], r[6], r[7], r[11]});  // PK table and column, FK table and column, FK
    }
    EXPECT_EQ(seen, (Rows{{"DEPT", "DEPTNO", "PROJ", "DEPTNO", "FPDEPT"},
                          {"EMP", "EMPNO", "PROJ", "RESPEMP", "FPEMP"},
                          {"EMP", "WORKDEPT", "PROJ", "RESPDEPT", "FPEMP"}}));
    EXPECT_EQ(fkeys.status, 0);
    Answer dependents = rpc(*joe_, "sp_fkeys", {text("", "DEPT"), text("", "JOE")});
    seen.clear();
    for (const auto& r : dependents.results.at(0)) {
        seen.push_back({r[6], r[7], r[11]});
    }
    EXPECT_EQ(seen, (Rows{{"EMP", "WORKDEPT", "FDEPT"}, {"PROJ", "DEPTNO", "FPDEPT"}}));
}

TEST_F(RemoteCalls, LanguageCallsReachTheSameProceduresWithOrWithoutExec) {
    const std::string db = env().databaseName();
    for (const std::string& sql :
         {std::string("exec sp_pkeys emp, joe"),
          std::string("EXECUTE sp_pkeys @table_owner = joe, @table_name = emp"), db + "..sp_pkeys emp",
          std::string("exec sybsystemprocs.dbo.sp_pkeys @table_name = 'EMP', @ODBCVer = 3")}) {
        const Answer a = must(*joe_, sql);
        EXPECT_EQ(a.rows, kEmpKey) << sql;
        EXPECT_EQ(a.status, 0) << sql;
    }
    EXPECT_EQ(must(*joe_, "sp_pkeys emp, joe; select 1 from sysibm.sysdummy1").rows, kEmpKey)
        << "a call is one statement of a batch";
    const Answer unknown = ask(*joe_, "exec sp_nosuch 1");
    EXPECT_EQ(unknown.sqlcode, "-440");
    EXPECT_EQ(ask(*joe_, "exec nodb..sp_pkeys emp").sqlcode, "-204") << "a database that is not served";
    EXPECT_EQ(joe("select 2 from sysibm.sysdummy1"), (Rows{{"2"}}));
}

TEST_F(RemoteCalls, CallsThatCannotRunAreRefusedAndTheSessionGoesOn) {
    const std::tuple<const char*, std::string, std::vector<Param>, std::string, std::string> cases[] = {
        {"an unknown procedure", "sp_nosuch", {text("", "x")}, "-440", "SP_NOSUCH"},
        {"an unknown owner's procedure", "smith.sp_pkeys", {}, "-440", "SMITH.SP_PKEYS"},
        {"an unknown parameter", "sp_pkeys", {text("@tablename", "EMP")}, "ERR1003", "@TABLENAME"},
        {"a parameter given twice",
         "sp_pkeys",
         {text("", "EMP"), text("@table_name", "EMP")},
         "ERR1003",
         "TWICE"},
        {"a positional parameter after a named one",
         "sp_pkeys",
         {text("@table_name", "EMP"), text("", "JOE")},
         "ERR1003",
         "POSITIONAL"},
        {"too many parameters",
         "sp_pkeys",
         {text("", "A"), text("", "B"), text("", "C"), text("", "D")},
         "ERR1003",
         "AT MOST 3"},
        {"a database the gateway does not serve", "nodb..sp_pkeys", {text("", "EMP")}, "-204", "NODB"},
    };
    for (const auto& [claim, procedure, params, code, named] : cases) {
        const Answer a = rpc(*joe_, procedure, params);
        EXPECT_FALSE(a.ok) << claim;
        EXPECT_EQ(a.sqlcode, code) << claim;
        EXPECT_NE(a.message.find(named), std::string::npos) << claim << ": " << a.message;
        EXPECT_EQ(a.status, -1) << claim << ": refused before it ran, so no return status";
        EXPECT_EQ(joe("select 1 from sysibm.sysdummy1"), (Rows{{"1"}})) << claim << ": the session goes on";
    }
}

// A catalog function that is not installed (a database initialised by an older gateway) fails
// the procedure with PostgreSQL's reason; it ran, so it ends with the failure status.
TEST_F(RemoteCalls, AProcedureWhoseFunctionIsMissingFailsClearly) {
    env().exec("ALTER FUNCTION kwgw.sp_fkeys(text, text, text, text, text, text) RENAME TO sp_fkeys_away");
    const Answer missing = rpc(*joe_, "sp_fkeys", {text("", "DEPT")});
    env().exec("ALTER FUNCTION kwgw.sp_fkeys_away(text, text, text, text, text, text) RENAME TO sp_fkeys");
    EXPECT_FALSE(missing.ok);
    EXPECT_EQ(missing.sqlcode, "-440") << "DB2's routine not found";
    EXPECT_NE(missing.message.find("KWGW.SP_FKEYS"), std::string::npos) << missing.message;
    EXPECT_EQ(missing.status, -6);
    EXPECT_EQ(rpc(*joe_, "sp_fkeys", {text("", "DEPT")}).results.at(0).size(), 2u)
        << "and works once it is back";
}

TEST_F(RemoteCalls, OutputParametersComeBackUnchangedAfterTheReturnStatus) {
    const Answer a = rpc(
        *joe_, "sp_pkeys",
        {text("@table_name", "EMP"), output(text("@table_owner", "JOE")), output(null("@table_qualifier"))});
    EXPECT_TRUE(a.ok) << a.message;
    EXPECT_EQ(a.results, std::vector<Rows>{kEmpKey});
    EXPECT_EQ(a.status, 0);
    EXPECT_EQ(a.returned, (std::vector<std::pair<std::string, std::string>>{{"@table_owner", "JOE"},
                                                                            {"@table_qualifier", "<null>"}}));
}

TEST_F(RemoteCalls, StoredRequestsRunWithTheCallsValuesAsLiterals) {
    kwtest::createJoeTable("callt", "k int, name varchar(30)");
    env().exec("INSERT INTO joe.callt VALUES (1, 'O''Brien'), (2, 'x'), (3, 'y')");
    kwtest::createHostlib("joe", "FINDNAME",
                          "SELECT K, NAME FROM JOE.CALLT WHERE NAME = &1 OR K = &K ORDER BY K");
    size_t mark = env().gateway().mark();
    for (const std::string procedure : {"findname", "JOE.FINDNAME", "dbo.findname"}) {
        const Answer a = rpc(*joe_, procedure, {text("", "O'Brien"), output(number("@k", 3))});
        EXPECT_TRUE(a.ok) << procedure << ": " << a.message;
        EXPECT_EQ(a.results, (std::vector<Rows>{{{"1", "O'Brien"}, {"3", "y"}}})) << procedure;
        EXPECT_EQ(a.status, 0) << procedure;
        EXPECT_EQ(a.returned, (std::vector<std::pair<std::string, std::string>>{{"@k", "3"}})) << procedure;
    }
    const std::vector<std::string> logged = env().gateway().requestsSince(mark);
    ASSERT_FALSE(logged.empty());
    EXPECT_EQ(logged[0], "exec findname 'O''Brien', @K = 3") << "the statement log shows the call";

    // A value that tries to close its string stays one string.
    EXPECT_EQ(rpc(*joe_, "findname", {text("", "x' OR 'a' = 'a"), number("@k", 0)}).results,
              std::vector<Rows>{Rows{}});
    // By language, arguments are literals as written.
    EXPECT_EQ(must(*joe_, "exec findname 'x', @k = 3").rows, (Rows{{"2", "x"}, {"3", "y"}}));

    // A stored request that is not there is DB2's missing procedure; one that fails ends with the
    // failure status.
    EXPECT_EQ(rpc(*joe_, "nosuchreq", {}).sqlcode, "-440");
    kwtest::createHostlib("joe", "BADREQ", "SELECT K FROM JOE.CALLT WHERE K = 1; SELECT * FROM JOE.NOSUCH");
    const Answer bad = rpc(*joe_, "badreq", {});
    EXPECT_FALSE(bad.ok);
    EXPECT_EQ(bad.sqlcode, "-204");
    EXPECT_EQ(bad.status, -6);
    EXPECT_EQ(bad.results, (std::vector<Rows>{{{"1"}}})) << "the statements before the failure answered";
}

TEST_F(RemoteCalls, AnAttentionDuringACallCancelsItAndTheSessionGoesOn) {
    kwtest::createHostlib("joe", "SLEEPY", "SELECT PG_SLEEP(60) /* rpc-sleepy */ FROM SYSIBM.SYSDUMMY1");
    DBPROCESS* dbp = joe_->get();
    ASSERT_EQ(dbrpcinit(dbp, const_cast<char*>("sleepy"), 0), SUCCEED);
    ASSERT_EQ(dbrpcsend(dbp), SUCCEED);
    ASSERT_TRUE(kwtest::waitUntil([] { return kwtest::running("rpc-sleepy") == 1; }, 10)) << "the call runs";
    const auto start = Clock::now();
    EXPECT_EQ(dbcancel(dbp), SUCCEED);
    EXPECT_LT(kwtest::secondsSince(start), 5.0) << "the attention is answered promptly";
    EXPECT_TRUE(kwtest::waitUntil([] { return kwtest::running("rpc-sleepy") == 0; }, 5))
        << "the query is gone";
    EXPECT_EQ(rpc(*joe_, "sp_pkeys", {text("", "EMP")}).results, std::vector<Rows>{kEmpKey})
        << "the session answers the next call";
}

// FreeTDS ODBC without autocommit begins with BEGIN TRANSACTION, ends each unit of work with
// IF @@TRANCOUNT > 0 COMMIT|ROLLBACK BEGIN TRANSACTION, and with IF @@TRANCOUNT > 0 ROLLBACK when
// autocommit comes back on.
TEST_F(RemoteCalls, TheConditionalCommitAndRollbackEndTheUnitOfWorkThereIs) {
    kwtest::createJoeTable("callu", "k int");
    auto count = [] { return env().queryValue("SELECT count(*) FROM joe.callu"); };
    auto trancount = [this] { return joe("select @@trancount"); };
    kwtest::run(*joe_, "if @@trancount > 0 commit");
    EXPECT_EQ(trancount(), (Rows{{"0"}})) << "with no unit of work there is nothing to end";
    kwtest::run(*joe_, "BEGIN TRANSACTION");
    kwtest::run(*joe_, "insert into callu values (1)");
    EXPECT_EQ(count(), "0");
    kwtest::run(*joe_, "IF @@TRANCOUNT > 0 COMMIT BEGIN TRANSACTION");
    EXPECT_EQ(count(), "1") << "committed";
    EXPECT_EQ(trancount(), (Rows{{"1"}})) << "and the next unit of work begun";
    kwtest::run(*joe_, "insert into callu values (2)");
    kwtest::run(*joe_, "IF @@TRANCOUNT > 0 ROLLBACK BEGIN TRANSACTION");
    EXPECT_EQ(count(), "1") << "rolled back";
    EXPECT_EQ(trancount(), (Rows{{"1"}}));
    kwtest::run(*joe_, "insert into callu values (3)");
    kwtest::run(*joe_, "if @@TRANCOUNT>0 rollback tran");
    EXPECT_EQ(trancount(), (Rows{{"0"}})) << "autocommit again";
    kwtest::run(*joe_, "insert into callu values (4)");
    EXPECT_EQ(env().queryValue("SELECT string_agg(k::text, ',' ORDER BY k) FROM joe.callu"), "1,4");
}

}  // namespace
}  // namespace kwcat
