// Tests of the session's modes and procedures through a DB-Library client: long transactions
// and savepoints, deadlock (-911), NOEXEC, and stored requests from PCSQL_HOSTLIB.
#include "session/session.h"

#include <gtest/gtest.h>

#include <future>
#include <thread>

#include "live.h"

namespace {

using namespace kwtest;

std::string count(const std::string& table) {
    return env().queryValue("SELECT count(*) FROM " + table);
}

TEST(LongTransactions, KeepBatchesInOneUnitOfWorkUntilCommitOrRollbackAndWithoutThemEachIsCommitted) {
    createJoeTable("lt_on", "k int");
    auto c = connectAs(kJoe);
    EXPECT_EQ(query(*c, "SELECT @@LONG_TRANS "), (Rows{{"NO"}}))
        << "the standard gateway lets clients switch";
    run(*c, "insert into lt_on values (1)");
    EXPECT_EQ(count("joe.lt_on"), "1") << "visible to another session at once";
    run(*c, "rollback tran");
    EXPECT_EQ(count("joe.lt_on"), "1") << "a rollback has nothing to undo";

    run(*c, "SET LONG_TRANS YES");
    run(*c, "insert into lt_on values (2)");
    run(*c, "insert into lt_on values (3)");
    EXPECT_EQ(count("joe.lt_on"), "1") << "nothing is committed yet";
    EXPECT_EQ(query(*c, "select count(*) from lt_on"), (Rows{{"3"}})) << "the session sees its own work";
    run(*c, "rollback tran");
    run(*c, "SET LONG_TRANS NO");
    EXPECT_EQ(count("joe.lt_on"), "1") << "rollback undid both batches";

    run(*c, "SET LONG_TRANS YES");
    run(*c, "insert into lt_on values (4)");
    run(*c, "insert into lt_on values (5)");
    run(*c, "commit tran");
    run(*c, "SET LONG_TRANS NO");
    EXPECT_EQ(count("joe.lt_on"), "3");
}

TEST(LongTransactions, AFailedStatementUndoesOnlyItself) {
    createJoeTable("lt_fail", "k int primary key");
    auto c = connectAs(kJoe);
    run(*c, "SET LONG_TRANS YES");
    run(*c, "insert into lt_fail values (1)");
    EXPECT_EQ(failure(*c, "insert into lt_fail values (1)"), "-803");
    run(*c, "SET NOEXEC YES");
    EXPECT_EQ(failure(*c, "select nothing from nosuch"), "-204") << "a failed describe undoes nothing either";
    run(*c, "SET NOEXEC NO");
    run(*c, "insert into lt_fail values (3)");
    run(*c, "commit tran");
    EXPECT_EQ(env().queryValue("SELECT string_agg(k::text, ',' ORDER BY k) FROM joe.lt_fail"), "1,3");
}

TEST(LongTransactions, AreAlwaysOnWhenConfiguredSo) {
    createJoeTable("lt_always", "k int");
    Gateway& always = env().startGateway("KWGW_LT_ALWAYS", {"--long-trans", "always"});
    auto c = connectAs(kJoe, always.serverName());
    ASSERT_TRUE(c->exec("SELECT @@LONG_TRANS "));
    ASSERT_EQ(dbresults(c->get()), SUCCEED);
    char buf[20] = {};
    dbbind(c->get(), 1, NTBSTRINGBIND, sizeof buf, reinterpret_cast<BYTE*>(buf));
    ASSERT_EQ(dbnextrow(c->get()), REG_ROW);
    EXPECT_EQ(std::string(buf, 4), std::string("YES\0", 4)) << "exactly YES and its terminating NUL";
    c->drain();
    run(*c, "SET LONG_TRANS NO");  // ignored: the mode cannot be switched off
    run(*c, "insert into lt_always values (1)");
    EXPECT_EQ(count("joe.lt_always"), "0");
    run(*c, "commit tran");
    EXPECT_EQ(count("joe.lt_always"), "1");
}

TEST(LongTransactions, ADeadlockRollsTheVictimsUnitOfWorkBackWithMinus911) {
    createJoeTable("dl", "k int primary key, v int");
    env().exec("INSERT INTO joe.dl VALUES (1, 0), (2, 0), (3, 0)");
    auto a = connectAs(kJoe);
    auto b = connectAs(kJoe);
    run(*a, "SET LONG_TRANS YES");
    run(*b, "SET LONG_TRANS YES");
    run(*a, "update dl set v = 1 where k = 3");
    run(*a, "update dl set v = 1 where k = 1");
    run(*b, "update dl set v = 2 where k = 2");
    auto blocked = std::async(std::launch::async, [&] {
        bool ok = a->exec("update dl set v = 1 where k = 2");
        a->drain();
        return ok;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    bool bOk = b->exec("update dl set v = 2 where k = 1");
    b->drain();
    bool aOk = blocked.get();
    ASSERT_NE(aOk, bOk) << "exactly one of the two is the deadlock's victim";
    DbClient& victim = aOk ? *b : *a;
    DbClient& winner = aOk ? *a : *b;
    EXPECT_EQ(reportedCode(victim), "-911");
    run(winner, "commit tran");
    run(victim, "commit tran");
    std::string expected = aOk ? "1:1,2:1,3:1" : "1:2,2:2,3:0";
    EXPECT_EQ(env().queryValue("SELECT string_agg(k || ':' || v, ',' ORDER BY k) FROM joe.dl"), expected)
        << "the victim's earlier update is undone too";
}

TEST(Transactions, StatementsOfOtherDialectsCannotOpenOneAndChainedModeIsALongTransaction) {
    createJoeTable("tx", "k int primary key");
    auto c = connectAs(kJoe);
    // One of each kind of refusal (Translate's test names every statement and message), then a
    // failing statement and a normal one: nothing is left open, so each insert is committed at once
    // and the session never answers -911.
    const std::pair<const char*, const char*> refused[] = {{"begin work", "-104"}, {"SAVEPOINT A", "-84"}};
    int k = 0;
    for (auto [statement, code] : refused) {
        EXPECT_EQ(failure(*c, statement), code) << statement;
        EXPECT_EQ(failure(*c, "select * from nosuch"), "-204") << "after " << statement;
        run(*c, "insert into tx values (" + std::to_string(++k) + ")");
        EXPECT_EQ(count("joe.tx"), std::to_string(k)) << "committed at once after " << statement;
    }
    EXPECT_EQ(failure(*c, "set chained maybe"), "ERR1002");

    // SET CHAINED ON: one unit of work until commit or rollback, a failed statement undoing only
    // itself; SET CHAINED OFF commits what is open.
    run(*c, "SET CHAINED ON");
    run(*c, "insert into tx values (100)");
    EXPECT_EQ(failure(*c, "insert into tx values (100)"), "-803");
    run(*c, "insert into tx values (101)");
    EXPECT_EQ(count("joe.tx"), "2") << "nothing committed yet";
    run(*c, "rollback");
    EXPECT_EQ(count("joe.tx"), "2");
    run(*c, "insert into tx values (102)");
    run(*c, "SET CHAINED OFF");
    EXPECT_EQ(count("joe.tx"), "3");
    run(*c, "insert into tx values (103)");
    EXPECT_EQ(count("joe.tx"), "4") << "autocommit again";
}

std::string tranCount(DbClient& c) {
    Rows rows = query(c, "select @@trancount");
    return rows.size() == 1 && rows[0].size() == 1 ? rows[0][0] : "no single value";
}

// BEGIN TRAN opens a unit of work in any mode; it lasts until its COMMIT TRAN (a nested one only
// counts) or a ROLLBACK TRAN (which undoes all of it), and the session's own mode holds again.
TEST(Transactions, BeginTranHoldsWorkUntilItsCommitAndNestedBeginsOnlyCount) {
    createJoeTable("bt", "k int primary key");
    auto c = connectAs(kJoe);
    EXPECT_EQ(tranCount(*c), "0");
    run(*c, "begin tran");
    EXPECT_EQ(tranCount(*c), "1");
    run(*c, "insert into bt values (1)");
    run(*c, "BEGIN TRANSACTION inner");
    EXPECT_EQ(tranCount(*c), "2");
    run(*c, "insert into bt values (2)");
    run(*c, "commit tran inner");
    EXPECT_EQ(tranCount(*c), "1");
    EXPECT_EQ(count("joe.bt"), "0") << "the inner commit commits nothing";
    EXPECT_EQ(failure(*c, "insert into bt values (1)"), "-803");
    run(*c, "commit tran");
    EXPECT_EQ(tranCount(*c), "0");
    EXPECT_EQ(count("joe.bt"), "2") << "the outer commit commits both, without the failed insert";
    run(*c, "insert into bt values (3)");
    EXPECT_EQ(count("joe.bt"), "3") << "autocommit again after the unit of work";

    // A rollback undoes the whole unit of work, however deeply nested.
    run(*c, "begin tran");
    run(*c, "begin tran");
    run(*c, "insert into bt values (4)");
    run(*c, "rollback tran");
    EXPECT_EQ(tranCount(*c), "0");
    run(*c, "insert into bt values (5)");
    EXPECT_EQ(env().queryValue("SELECT string_agg(k::text, ',' ORDER BY k) FROM joe.bt"), "1,2,3,5");

    // Switching chained mode off does not end a unit of work begun by BEGIN TRAN; in chained mode
    // a unit of work is open from the first statement on.
    run(*c, "begin tran");
    run(*c, "insert into bt values (6)");
    run(*c, "set chained off");
    EXPECT_EQ(count("joe.bt"), "4");
    run(*c, "rollback tran");
    EXPECT_EQ(count("joe.bt"), "4");
    run(*c, "set chained on");
    EXPECT_EQ(tranCount(*c), "0");
    EXPECT_EQ(query(*c, "select count(*) from bt"), (Rows{{"4"}}));
    EXPECT_EQ(tranCount(*c), "1") << "the first statement opened a unit of work";
    run(*c, "commit");
    EXPECT_EQ(tranCount(*c), "0");
    run(*c, "set chained off");
}

// SET TRANSACTION ISOLATION LEVEL 0-3 is DB2's UR, CS, RS and RR; PostgreSQL runs the level of
// the same name. Under RR rows that another session commits meanwhile stay out of sight; under CS
// they appear at once. The level cannot change inside a unit of work.
TEST(Transactions, IsolationLevelsAreDb2sAndHoldForTheNextUnitOfWork) {
    createJoeTable("iso", "k int");
    auto a = connectAs(kJoe);
    auto b = connectAs(kJoe);
    run(*a, "SET TRANSACTION ISOLATION LEVEL 3");
    run(*a, "begin tran");
    EXPECT_EQ(query(*a, "select count(*) from iso"), (Rows{{"0"}}));
    run(*b, "insert into iso values (1)");
    EXPECT_EQ(query(*a, "select count(*) from iso"), (Rows{{"0"}})) << "RR: no phantom rows";
    EXPECT_EQ(failure(*a, "SET TRANSACTION ISOLATION LEVEL 1"), "ERR1005");
    run(*a, "commit tran");
    EXPECT_EQ(query(*a, "select count(*) from iso"), (Rows{{"1"}}));

    run(*a, "SET TRANSACTION ISOLATION LEVEL READ COMMITTED");
    run(*a, "begin tran");
    EXPECT_EQ(query(*a, "select count(*) from iso"), (Rows{{"1"}}));
    run(*b, "insert into iso values (2)");
    EXPECT_EQ(query(*a, "select count(*) from iso"), (Rows{{"2"}})) << "CS: committed rows appear";
    run(*a, "commit tran");

    EXPECT_EQ(failure(*a, "SET TRANSACTION ISOLATION LEVEL 4"), "ERR1003");
}

TEST(Transactions, VersionNamesTheGatewayAndNoServerAClientWouldMistakeItFor) {
    auto c = connectAs(kJoe);
    Rows rows = query(*c, "select @@version");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][0].rfind("kwgateway/15.7.0/", 0), 0u) << rows[0][0];
}

TEST(Transactions, NoCountLeavesRowCountsOutUntilSwitchedOff) {
    createJoeTable("nc", "k int");
    auto c = connectAs(kJoe);
    run(*c, "set nocount on");
    ASSERT_TRUE(c->exec("insert into nc values (1)"));
    ASSERT_EQ(dbresults(c->get()), SUCCEED);
    EXPECT_EQ(dbcount(c->get()), -1);
    c->drain();
    run(*c, "set nocount off");
    ASSERT_TRUE(c->exec("insert into nc values (2)"));
    ASSERT_EQ(dbresults(c->get()), SUCCEED);
    EXPECT_EQ(dbcount(c->get()), 1);
    c->drain();
    EXPECT_EQ(failure(*c, "set quoted_identifier off"), "ERR1005") << "DB2 always reads \"x\" as a name";
    EXPECT_EQ(failure(*c, "set forceplan on"), "ERR1002") << "an option the gateway has no use for";
    run(*c, "set ansi_nulls on");  // DB2 compares with NULL this way anyway
    EXPECT_EQ(failure(*c, "set ansi_nulls off"), "ERR1005") << "DB2 cannot compare NULLs the other way";
}

TEST(NoExec, DescribesStatementsWithoutRunningThem) {
    createJoeTable("ne", "k int, name varchar(20)");
    env().exec("INSERT INTO joe.ne VALUES (1, 'one')");
    auto c = connectAs(kJoe);
    run(*c, "SET NOEXEC YES");
    ASSERT_TRUE(c->exec("insert into ne values (99, 'ninety-nine')"));
    ASSERT_EQ(dbresults(c->get()), SUCCEED);
    EXPECT_EQ(DBCMDROW(c->get()), FAIL);
    c->drain();

    ASSERT_TRUE(c->exec("select k, name from ne"));
    ASSERT_EQ(dbresults(c->get()), SUCCEED);
    EXPECT_EQ(DBCMDROW(c->get()), SUCCEED) << "the row format is sent";
    ASSERT_EQ(dbnumcols(c->get()), 2);
    EXPECT_EQ(std::string(dbcolname(c->get(), 2)), "NAME");
    EXPECT_EQ(dbcoltype(c->get(), 1), SYBINT4);
    EXPECT_EQ(dbcollen(c->get(), 2), 20);
    EXPECT_EQ(dbnextrow(c->get()), NO_MORE_ROWS) << "and no rows";
    c->drain();

    createHostlib("joe", "UPDNE", "UPDATE JOE.NE SET K = K + 1; SELECT K, NAME FROM JOE.NE");
    ASSERT_TRUE(c->exec("USE PROCEDURE UPDNE"));
    ASSERT_EQ(dbresults(c->get()), SUCCEED);
    EXPECT_EQ(dbnumcols(c->get()), 2) << "a stored request's select is described";
    EXPECT_EQ(dbnextrow(c->get()), NO_MORE_ROWS);
    c->drain();
    run(*c, "SET NOEXEC NO");
    EXPECT_EQ(query(*c, "select k, name from ne"), (Rows{{"1", "one"}})) << "neither insert nor update ran";
}

TEST(StoredRequests, RunEachStatementWithItsResultAndEndLikeAProcedure) {
    createJoeTable("sr", "k varchar(8), n int");
    env().exec("INSERT INTO joe.sr VALUES ('a', 1), ('b', 2)");
    createHostlib("joe", "UPDSEL",
                  "UPDATE JOE.SR SET N = N + &1 WHERE K = &KEY;\r\nSELECT K, N FROM JOE.SR WHERE K = "
                  "&KEY;\r\nSELECT COUNT(*) FROM JOE.SR");
    for (const char* call :
         {"USE PROCEDURE UPDSEL 10, &KEY = 'a'", "USE PROCEDURE       UPDSEL   10, &key = 'a'",
          "USE PROCEDURE JOE.UPDSEL;1 10, &KEY = 'a'"}) {
        env().exec("UPDATE joe.sr SET n = 1 WHERE k = 'a'");
        auto c = connectAs(kJoe);
        ASSERT_TRUE(c->exec(call)) << call;
        DBPROCESS* dbp = c->get();
        ASSERT_EQ(dbresults(dbp), SUCCEED) << call;
        EXPECT_EQ(fetchAll(dbp), (Rows{{"a", "11"}})) << call;
        EXPECT_EQ(dbcount(dbp), 1);
        ASSERT_EQ(dbresults(dbp), SUCCEED) << call;
        EXPECT_EQ(fetchAll(dbp), (Rows{{"2"}})) << call;
        EXPECT_EQ(dbresults(dbp), NO_MORE_RESULTS) << call;
        EXPECT_EQ(dbhasretstat(dbp), TRUE);
        EXPECT_EQ(dbretstatus(dbp), 0);
        EXPECT_EQ(env().queryValue("SELECT n FROM joe.sr WHERE k = 'a'"), "11") << "the update ran once";
    }
}

TEST(StoredRequests, FallBackToTheConfiguredOwnersTable) {
    createHostlib("smith", "SHARED", "SELECT &1 + &2");
    env().exec("GRANT USAGE ON SCHEMA smith TO joe");
    env().exec("GRANT SELECT ON smith.pcsql_hostlib TO joe");
    EXPECT_EQ(failure(*connectAs(kJoe), "USE PROCEDURE SHARED 1, 2"), "ERR1004")
        << "JOE has no such request and no owner is configured";

    Gateway& withOwner = env().startGateway("KWGW_OWNER", {"--stored-request-owner", "smith"});
    auto c = connectAs(kJoe, withOwner.serverName());
    EXPECT_EQ(query(*c, "USE PROCEDURE SHARED 1, 2"), (Rows{{"3"}}));
}

TEST(StoredRequests, AMissingArgumentOrAFailingStatementEndTheRequestWithAnError) {
    createHostlib("joe", "NEEDS2", "SELECT &1, &2");
    createHostlib("joe", "BROKEN", "SELECT 1; SELECT * FROM NOSUCH; SELECT 3");
    auto c = connectAs(kJoe);
    EXPECT_EQ(failure(*c, "USE PROCEDURE NEEDS2 1"), "ERR1003");
    c->clearMessages();
    ASSERT_TRUE(c->exec("USE PROCEDURE BROKEN"));
    ASSERT_EQ(dbresults(c->get()), SUCCEED);
    EXPECT_EQ(fetchAll(c->get()), (Rows{{"1"}}));
    EXPECT_NE(dbresults(c->get()), SUCCEED);
    c->drain();
    EXPECT_EQ(reportedCode(*c), "-204");
    EXPECT_EQ(query(*c, "select 4"), (Rows{{"4"}}));
}

}  // namespace
