// Tests of the SQLSTATE to SQLCODE map and of the DB2 message texts.
#include "backend/sqlstate.h"

#include <gtest/gtest.h>

namespace {

using gw::backend::PgErrorFields;
using gw::backend::StatementContext;

TEST(SqlcodeFor, MapsConditionsToTheSqlcodesDb2ProgramsExpect) {
    struct Case {
        const char* sqlstate;
        const char* verb;
        int sqlcode;
    } cases[] = {
        {"42P01", "SELECT", -204}, {"42704", "DROP", -204},   {"42703", "SELECT", -206},
        {"42703", "CREATE", -205}, {"42601", "SELECT", -104}, {"42501", "INSERT", -551},
        {"23505", "INSERT", -803}, {"23505", "CREATE", -603}, {"23502", "INSERT", -407},
        {"23503", "INSERT", -530}, {"23503", "DELETE", -532}, {"23503", "UPDATE", -531},
        {"42P07", "CREATE", -601}, {"40P01", "UPDATE", -911}, {"55P03", "UPDATE", -911},
        {"22012", "SELECT", -802}, {"22003", "INSERT", -413}, {"22003", "SELECT", -802},
        {"22007", "INSERT", -180}, {"22008", "INSERT", -181}, {"22001", "INSERT", -404},
        {"XX000", "SELECT", -901}, {"53100", "SELECT", -904}, {"99999", "SELECT", -901},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(gw::backend::sqlcodeFor(c.sqlstate, c.verb), c.sqlcode) << c.sqlstate << " " << c.verb;
    }
}

TEST(MapError, NamesUndefinedTablesByTheirQualifiedDb2Names) {
    StatementContext joe{"JOE", "SELECT"};
    struct Case {
        const char* message;
        const char* text;
    } cases[] = {
        {"relation \"empx\" does not exist", "JOE.EMPX IS AN UNDEFINED NAME"},
        {"relation \"smith.empx\" does not exist", "SMITH.EMPX IS AN UNDEFINED NAME"},
        {"relation \"Emp\" does not exist", "JOE.eMP IS AN UNDEFINED NAME"},
    };
    for (const Case& c : cases) {
        auto e = gw::backend::mapError(PgErrorFields{"42P01", c.message, {}, {}, {}, {}, {}}, joe);
        EXPECT_EQ(e.code, -204);
        EXPECT_FALSE(e.gateway);
        EXPECT_EQ(e.text, c.text);
    }
}

TEST(MapError, TellsTheTwoSidesOfAForeignKeyApart) {
    PgErrorFields child{"23503", "insert or update on table \"emp\" violates foreign key constraint \"f1\"",
                        {},      {},
                        "emp",   {},
                        "f1"};
    PgErrorFields parent{
        "23503", "update or delete on table \"dept\" violates foreign key constraint \"f1\" on table \"emp\"",
        {},      {},
        "dept",  {},
        "f1"};
    EXPECT_EQ(gw::backend::mapError(child, {"JOE", "UPDATE"}).code, -530);
    EXPECT_EQ(gw::backend::mapError(parent, {"JOE", "UPDATE"}).code, -531);
    EXPECT_EQ(gw::backend::mapError(parent, {"JOE", "DELETE"}).code, -532);
    EXPECT_EQ(gw::backend::mapError(child, {"JOE", "INSERT"}).text,
              "THE INSERT OR UPDATE VALUE OF FOREIGN KEY F1 IS INVALID");
}

TEST(MapError, ReportsALostConnectionAsAGatewayFailure) {
    auto e = gw::backend::mapError(PgErrorFields{"08006", "server closed the connection", {}, {}, {}, {}, {}},
                                   {"JOE", "SELECT"});
    EXPECT_TRUE(e.gateway);
    EXPECT_EQ(e.code, gw::backend::kErrConnectionLost);
}

TEST(RollsBackUnitOfWork, OnlyForDeadlockLockTimeoutAndSerialization) {
    for (const char* s : {"40P01", "55P03", "40001", "25P02"}) {
        EXPECT_TRUE(gw::backend::rollsBackUnitOfWork(s)) << s;
    }
    for (const char* s : {"23505", "42P01", "57014"}) {
        EXPECT_FALSE(gw::backend::rollsBackUnitOfWork(s)) << s;
    }
}

TEST(StatementVerb, IsTheFirstWordInUpperCase) {
    EXPECT_EQ(gw::backend::statementVerb("  insert into t values (1)"), "INSERT");
    EXPECT_EQ(gw::backend::statementVerb("(select 1)"), "SELECT");
    EXPECT_EQ(gw::backend::statementVerb(""), "");
}

}  // namespace
