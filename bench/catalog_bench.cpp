// catalog_bench.cpp - the table list of 10,000 visible tables through the driver and with a plain
// DB-Library loop.
//
// Makes SMITH's tables in the kwtest environment's database (PGHOST/PGPORT/PGUSER/PGPASSWORD) and
// grants them to JOE, to JOE's group DEVS and to PUBLIC, a third each, some with grant option. Then
// lists them five times each way, interleaved: request 7 on a connection whose DbParm names the
// group, and the same statement read by dbnextrow into the same bound buffers. The best wall-clock
// and thread CPU times count (the gateway and PostgreSQL are other processes). Prints both and the
// ratios driver / DB-Library (goal: at most 1.2 in wall time). An optional argument sets the
// number of tables.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "bench_rows.h"
#include "kwconst.h"
#include "kwshr.h"
#include "session.h"

namespace {

using kwbench::now;
using kwbench::Times;

int gTables = 10000;
constexpr int kRuns = 5;

// The statement request 7 sends for JOE in group DEVS with the catalog owner SYSIBM.
const char kListStatement[] =
    "SELECT DISTINCT SYSIBM.SYSTABAUTH.TCREATOR, SYSIBM.SYSTABAUTH.TTNAME, SYSIBM.SYSTABLES.TYPE FROM "
    "SYSIBM.SYSTABAUTH, SYSIBM.SYSTABLES WHERE ( SYSIBM.SYSTABAUTH.TTNAME = SYSIBM.SYSTABLES.NAME AND "
    "SYSIBM.SYSTABAUTH.TCREATOR = SYSIBM.SYSTABLES.CREATOR AND ( SYSIBM.SYSTABAUTH.GRANTEE = 'JOE' OR "
    "SYSIBM.SYSTABAUTH.GRANTEE = 'DEVS' OR SYSIBM.SYSTABAUTH.GRANTEE = 'PUBLIC' OR SYSIBM.SYSTABAUTH.GRANTEE "
    "= "
    "'public' ) ) AND (SYSIBM.SYSTABAUTH.SELECTAUTH = 'G' OR SYSIBM.SYSTABAUTH.SELECTAUTH = 'Y') ";

[[noreturn]] void giveUp(const std::string& why) {
    kwbench::giveUp("catalog_bench", why);
}

// SMITH's tables T00000 ...: every third to JOE (every sixth of them with grant option), to DEVS,
// to PUBLIC.
void makeTables(kwtest::Environment& env) {
    env.exec("CREATE SCHEMA IF NOT EXISTS smith AUTHORIZATION smith");
    env.exec("DO $$ BEGIN CREATE ROLE devs NOLOGIN; EXCEPTION WHEN duplicate_object THEN NULL; END $$");
    env.exec(
        "DO $$ DECLARE i integer; t text; BEGIN SET LOCAL ROLE smith; FOR i IN 0.." +
        std::to_string(gTables - 1) +
        " LOOP t := format('smith.t%s', lpad(i::text, 5, '0')); EXECUTE format('CREATE TABLE %s (k "
        "integer)', t); "
        "EXECUTE format('GRANT SELECT ON %s TO %s', t, CASE i % 3 WHEN 0 THEN 'joe' WHEN 1 THEN 'devs' ELSE "
        "'public' END) || CASE WHEN i % 6 = 0 THEN ' WITH GRANT OPTION' ELSE '' END; END LOOP; END $$");
    env.exec("ANALYZE");
}

// Request 7 on a block of its own; the list is freed as the host frees it, after the timing.
Times listThroughDriver(const kwsh::Driver& driver, const std::string& server, int& rows) {
    kwsh::Session session(driver);
    const kwsh::Outcome connected = session.connect(
        {server, kwtest::kJoe.name, kwtest::kJoe.password, "SystemOwner='SYSIBM',GroupID='DEVS'"});
    if (!connected.ok()) {
        giveUp("driver connect: " + kwsh::describeFailure(connected));
    }
    RequestBlock& block = session.block();
    const Times start = now();
    block.requestCode = REQ_LIST_ALL_TABLES;
    driver.entry()(&block);
    const Times seconds = kwbench::timeSince(start);
    if (block.status != KW_STATUS_OK) {
        giveUp(std::string("request 7: ") + block.message);
    }
    auto* list = reinterpret_cast<HostList*>(block.result);
    rows = 0;
    for (auto* entry = static_cast<TableEntry*>(kwshr_firstListItem(list)); entry != nullptr;
         entry = static_cast<TableEntry*>(kwshr_nextListItem(list))) {
        ++rows;
        kwshr_free(block.memoryContext, entry->owner);
        kwshr_free(block.memoryContext, entry);
    }
    kwshr_destroyList(list);
    session.disconnect();
    return seconds;
}

// The same statement on a DB-Library connection of its own, bound as the driver binds it.
Times listWithDbLibrary(const std::string& server, int& rows) {
    LOGINREC* login = dblogin();
    DBSETLUSER(login, kwtest::kJoe.name);
    DBSETLPWD(login, kwtest::kJoe.password);
    DBPROCESS* dbp = dbopen(login, server.c_str());
    dbloginfree(login);
    if (dbp == nullptr) {
        giveUp("DB-Library cannot log in to the gateway");
    }
    char creator[9], name[19], type[33];
    const Times start = now();
    if (dbcmd(dbp, kListStatement) != SUCCEED || dbsqlexec(dbp) != SUCCEED || dbresults(dbp) != SUCCEED) {
        giveUp("DB-Library: the table list failed");
    }
    dbbind(dbp, 1, NTBSTRINGBIND, sizeof creator, reinterpret_cast<BYTE*>(creator));
    dbbind(dbp, 2, NTBSTRINGBIND, sizeof name, reinterpret_cast<BYTE*>(name));
    dbbind(dbp, 3, CHARBIND, sizeof type, reinterpret_cast<BYTE*>(type));
    rows = 0;
    long checksum = 0;
    while (dbnextrow(dbp) == REG_ROW) {
        ++rows;
        checksum += creator[0] + name[0] + type[0];
    }
    const Times seconds = kwbench::timeSince(start);
    dbclose(dbp);
    if (checksum == 0 && rows > 0) {
        giveUp("DB-Library read empty rows");
    }
    return seconds;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        if (argc > 1 && (gTables = std::atoi(argv[1])) <= 0) {
            giveUp("the number of tables must be a positive number");
        }
        std::string error;
        const std::unique_ptr<kwsh::Driver> driver = kwsh::Driver::load(kwsh::defaultDriverPath(), error);
        if (!driver) {
            giveUp(error);
        }
        kwtest::Environment& env = kwtest::Environment::get();
        makeTables(env);
        Times viaDriver{1e9, 1e9}, viaDbLibrary{1e9, 1e9};
        int driverRows = 0, dbLibraryRows = 0;
        for (int run = 0; run < kRuns; ++run) {
            kwbench::keepBest(viaDbLibrary, listWithDbLibrary(env.serverName(), dbLibraryRows));
            kwbench::keepBest(viaDriver, listThroughDriver(*driver, env.serverName(), driverRows));
            if (driverRows != dbLibraryRows || driverRows < gTables) {
                giveUp("the driver listed " + std::to_string(driverRows) + " tables, DB-Library read " +
                       std::to_string(dbLibraryRows) + " rows");
            }
        }
        std::printf("tables listed: %d (%d of SMITH's granted to JOE, DEVS or PUBLIC); best of %d runs\n",
                    driverRows, gTables, kRuns);
        std::printf("                          wall      client CPU\n");
        std::printf("driver (request 7)        %.3f s   %.3f s\n", viaDriver.wall, viaDriver.cpu);
        std::printf("plain DB-Library loop     %.3f s   %.3f s\n", viaDbLibrary.wall, viaDbLibrary.cpu);
        std::printf("ratio driver/DB-Library wall %.3f (goal: at most 1.2)\n",
                    viaDriver.wall / viaDbLibrary.wall);
        std::printf("ratio driver/DB-Library CPU  %.3f\n", viaDriver.cpu / viaDbLibrary.cpu);
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "catalog_bench: %s\n", e.what());
        return 1;
    }
}
