// catalog_procedures_test.cpp - the metadata procedures of TDS clients (sp_tables, sp_columns,
// sp_statistics, sp_special_columns, sp_stored_procedures, sp_sproc_columns, sp_datatype_info,
// sp_server_info) answer the fixture's DB2 catalog in Sybase's column order. They are called as
// the session calls them: SELECT * FROM kwgw.sp_x($1, ...) in a libpq session of the user, with
// the gateway's search path, every argument text or NULL; and through the gateway, as language
// calls and as DB-Library remote procedure calls.
#include <gtest/gtest.h>
#include <libpq-fe.h>

#include <set>

#include "catalog_live.h"

namespace kwcat {
namespace {

using Arg = std::optional<std::string>;
const Arg kNull = std::nullopt;

struct PgAnswer {
    bool ok = false;
    std::string message;             // of a failure
    std::vector<std::string> names;  // column names in order
    std::vector<Oid> types;
    std::vector<int> typmods;
    Rows rows;  // values as text; NULL is "<null>"
};

// A libpq session of a DB2 user, set up as the gateway sets up its sessions.
class UserSession {
  public:
    explicit UserSession(const kwtest::TestUser& user) {
        std::string role = user.name;
        for (char& c : role) {
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        conn_ = PQconnectdb((env().conninfo() + " user=" + kwtest::conninfoValue(role) +
                             " password=" + kwtest::conninfoValue(user.password))
                                .c_str());
        if (PQstatus(conn_) == CONNECTION_OK) {
            PQclear(PQexec(conn_, ("SET search_path = " + role + ", kwgw_fn").c_str()));
        }
    }
    ~UserSession() { PQfinish(conn_); }
    UserSession(const UserSession&) = delete;
    UserSession& operator=(const UserSession&) = delete;
    bool connected() const { return PQstatus(conn_) == CONNECTION_OK; }

    PgAnswer ask(const std::string& sql, const std::vector<Arg>& args = {}) {
        std::vector<const char*> values;
        for (const Arg& a : args) {
            values.push_back(a ? a->c_str() : nullptr);
        }
        PGresult* r = PQexecParams(conn_, sql.c_str(), static_cast<int>(values.size()), nullptr,
                                   values.data(), nullptr, nullptr, 0);
        PgAnswer a;
        a.ok = PQresultStatus(r) == PGRES_TUPLES_OK || PQresultStatus(r) == PGRES_COMMAND_OK;
        const char* message = PQresultErrorField(r, PG_DIAG_MESSAGE_PRIMARY);
        a.message = a.ok || message == nullptr ? "" : message;
        for (int c = 0; a.ok && c < PQnfields(r); ++c) {
            a.names.push_back(PQfname(r, c));
            a.types.push_back(PQftype(r, c));
            a.typmods.push_back(PQfmod(r, c));
        }
        for (int i = 0; a.ok && i < PQntuples(r); ++i) {
            a.rows.emplace_back();
            for (int c = 0; c < PQnfields(r); ++c) {
                a.rows.back().push_back(PQgetisnull(r, i, c) ? "<null>" : PQgetvalue(r, i, c));
            }
        }
        PQclear(r);
        return a;
    }
    // The rows of kwgw.`procedure` called with `args`; the call must succeed.
    Rows call(const std::string& procedure, const std::vector<Arg>& args) {
        std::string sql = "SELECT * FROM kwgw." + procedure + "(";
        for (size_t i = 0; i < args.size(); ++i) {
            sql += (i ? ", $" : "$") + std::to_string(i + 1);
        }
        PgAnswer a = ask(sql + ")", args);
        EXPECT_TRUE(a.ok) << procedure << ": " << a.message;
        return a.rows;
    }

  private:
    PGconn* conn_ = nullptr;
};

// Some columns of every row, by position.
Rows columns(const Rows& rows, std::initializer_list<size_t> positions) {
    Rows out;
    for (const auto& r : rows) {
        out.emplace_back();
        for (size_t p : positions) {
            out.back().push_back(r.at(p));
        }
    }
    return out;
}

class CatalogProcedures : public FixtureSessions {
  protected:
    void SetUp() override {
        FixtureSessions::SetUp();
        ASSERT_TRUE(pgJoe_.connected() && pgSmith_.connected());
    }
    UserSession pgJoe_{kwtest::kJoe};
    UserSession pgSmith_{kwtest::kSmith};
};

TEST_F(CatalogProcedures, EveryResultHasSybasesColumnsInOrderWithDb2WireTypes) {
    struct Shape {
        const char* call;
        const char* names;  // the column names in order, blank-separated
    };
    const std::vector<Shape> shapes = {
        {"sp_tables(NULL, NULL, NULL, NULL)", "table_qualifier table_owner table_name table_type remarks"},
        {"sp_columns('EMP', 'JOE', NULL, NULL)",
         "table_qualifier table_owner table_name column_name data_type type_name precision length scale "
         "radix nullable remarks ss_data_type colid column_def sql_data_type sql_datetime_sub "
         "char_octet_length ordinal_position is_nullable"},
        {"sp_statistics('EMP', NULL, NULL, NULL, NULL, NULL)",
         "table_qualifier table_owner table_name non_unique index_qualifier index_name type seq_in_index "
         "column_name collation cardinality pages filter_condition"},
        {"sp_special_columns('EMP', NULL, NULL, NULL, NULL, NULL)",
         "scope column_name data_type type_name precision length scale pseudo_column"},
        {"sp_stored_procedures(NULL, NULL, NULL)",
         "procedure_qualifier procedure_owner procedure_name num_input_params num_output_params "
         "num_result_sets remarks procedure_type"},
        {"sp_sproc_columns('sp_tables', NULL, NULL, NULL)",
         "procedure_qualifier procedure_owner procedure_name column_name column_type data_type type_name "
         "precision length scale radix nullable remarks ss_data_type colid column_def sql_data_type "
         "sql_datetime_sub char_octet_length ordinal_position is_nullable"},
        {"sp_datatype_info(NULL)",
         "type_name data_type precision literal_prefix literal_suffix create_params nullable case_sensitive "
         "searchable unsigned_attribute money auto_increment local_type_name minimum_scale maximum_scale "
         "sql_data_type sql_datetime_sub num_prec_radix interval_precision"},
        {"sp_server_info(NULL)", "attribute_id attribute_name attribute_value"},
    };
    constexpr Oid kInt2 = 21, kInt4 = 23, kBpChar = 1042, kVarChar = 1043;
    for (const Shape& s : shapes) {
        const PgAnswer a = pgJoe_.ask(std::string("SELECT * FROM kwgw.") + s.call);
        ASSERT_TRUE(a.ok) << s.call << ": " << a.message;
        std::string names;
        for (const std::string& n : a.names) {
            names += (names.empty() ? "" : " ") + n;
        }
        EXPECT_EQ(names, s.names) << s.call;
        EXPECT_FALSE(a.rows.empty()) << s.call;
        // A column of another type, or a character column without its length, would travel as
        // VARCHAR(254) text or as TEXT instead of the SMALLINT / INTEGER / CHAR(n) clients bind.
        for (size_t c = 0; c < a.types.size(); ++c) {
            const bool character = a.types[c] == kVarChar || a.types[c] == kBpChar;
            EXPECT_TRUE(a.types[c] == kInt2 || a.types[c] == kInt4 || (character && a.typmods[c] > 4))
                << s.call << " column " << a.names[c] << ": type " << a.types[c] << " typmod "
                << a.typmods[c];
        }
    }
    // Through the gateway the same result arrives with character and integer wire types, no TEXT.
    const Answer wire = must(*joe_, "SELECT * FROM kwgw.sp_columns('EMP', 'JOE', NULL, 'EMPNO')");
    ASSERT_EQ(wire.columns.size(), 20u);
    EXPECT_EQ(wire.columns[1].name, "TABLE_OWNER");
    EXPECT_EQ(wire.columns[1].type, SYBCHAR);
    EXPECT_EQ(wire.columns[4].type, SYBINT2);
    EXPECT_EQ(wire.columns[6].type, SYBINT4);
    EXPECT_EQ(wire.columns[19].type, SYBCHAR);
}

TEST_F(CatalogProcedures, TablesAreEveryCatalogRowByTypeOwnerAndNameMatchingPatternsAndTypes) {
    auto tables = [&](Arg name, Arg owner, Arg type) {
        return columns(pgJoe_.call("sp_tables", {name, owner, kNull, type}), {1, 2, 3});
    };
    // Every table of the catalog, also those JOE may not read (SMITH's view), the catalog views as
    // system tables; by type, owner, name.
    Rows expected;
    for (const std::string& t : catalogViews()) {
        expected.push_back({"SYSIBM", t, "SYSTEM TABLE"});
    }
    for (Rows more = {{"JOE", "DEPT", "TABLE"},
                      {"JOE", "EMP", "TABLE"},
                      {"JOE", "PROJ", "TABLE"},
                      {"SMITH", "ASSIGN", "TABLE"},
                      {"SMITH", "PCSQL_HOSTLIB", "TABLE"},
                      {"JOE", "EMPDEPT", "VIEW"},
                      {"SMITH", "SMITHEMP", "VIEW"}};
         auto& r : more) {
        expected.push_back(r);
    }
    EXPECT_EQ(fixtureTables(tables(kNull, kNull, kNull), 0, 1), expected);
    const Rows full = pgJoe_.call("sp_tables", {"DEPT", "JOE", kNull, kNull});
    EXPECT_EQ(full, (Rows{{"<null>", "JOE", "DEPT", "TABLE", "<null>"}})) << "no qualifier, no remarks";

    struct Case {
        const char* claim;
        Arg name, owner, type;
        Rows rows;
    };
    const std::vector<Case> cases = {
        {"% matches any run", "EMP%", "JOE", kNull, {{"JOE", "EMP", "TABLE"}, {"JOE", "EMPDEPT", "VIEW"}}},
        {"_ matches one character", "PR_J", "%", kNull, {{"JOE", "PROJ", "TABLE"}}},
        {"\\ escapes a wildcard", "EMP\\_EPT", kNull, kNull, {}},
        {"an escaped _ matches itself", "PCSQL\\_%", kNull, kNull, {{"SMITH", "PCSQL_HOSTLIB", "TABLE"}}},
        {"_ unescaped matches the D", "EMP_EPT", kNull, kNull, {{"JOE", "EMPDEPT", "VIEW"}}},
        {"[_] is an escaped _ (jTDS)", "PCSQL[_]%", kNull, kNull, {{"SMITH", "PCSQL_HOSTLIB", "TABLE"}}},
        {"[_] matches no other character", "EMP[_]EPT", kNull, kNull, {}},
        {"[%] is an escaped %", "EMP[%]", kNull, kNull, {}},
        {"[D] is the D", "EMP[D]EPT", kNull, kNull, {{"JOE", "EMPDEPT", "VIEW"}}},
        {"a class of several characters matches itself", "EMP[DX]EPT", kNull, kNull, {}},
        {"an owner pattern",
         "%",
         "SMI%",
         "'TABLE'",
         {{"SMITH", "ASSIGN", "TABLE"}, {"SMITH", "PCSQL_HOSTLIB", "TABLE"}}},
        {"names are case-sensitive DB2 names", "emp", "JOE", kNull, {}},
        {"a quoted type list",
         "%EMP%",
         kNull,
         "'TABLE','VIEW'",
         {{"JOE", "EMP", "TABLE"}, {"JOE", "EMPDEPT", "VIEW"}, {"SMITH", "SMITHEMP", "VIEW"}}},
        {"unquoted words in any case",
         "%EMP%",
         kNull,
         "view",
         {{"JOE", "EMPDEPT", "VIEW"}, {"SMITH", "SMITHEMP", "VIEW"}}},
        {"jTDS's list in double quotes",
         "SYST%",
         kNull,
         "\"'SYSTEM TABLE'\"",
         {{"SYSIBM", "SYSTABAUTH", "SYSTEM TABLE"}, {"SYSIBM", "SYSTABLES", "SYSTEM TABLE"}}},
        {"a type that does not exist here", "%", kNull, "'ALIAS'", {}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(fixtureTables(tables(c.name, c.owner, c.type), 0, 1), c.rows) << c.claim;
    }
}

TEST_F(CatalogProcedures, TablesEnumerateOwnersAndTypesForOdbcAndNoQualifiers) {
    const Rows owners = pgJoe_.call("sp_tables", {"", "%", "", kNull});
    std::set<std::string> seen;
    for (const auto& r : owners) {
        EXPECT_EQ(r[0] + r[2] + r[3], "<null><null><null>");
        seen.insert(r[1]);
    }
    EXPECT_EQ(seen.size(), owners.size()) << "each owner once";
    for (const char* o : {"JOE", "SMITH", "SYSIBM"}) {
        EXPECT_EQ(seen.count(o), 1u) << o;
    }
    const Rows types = {{"<null>", "<null>", "<null>", "SYSTEM TABLE"},
                        {"<null>", "<null>", "<null>", "TABLE"},
                        {"<null>", "<null>", "<null>", "VIEW"}};
    EXPECT_EQ(columns(pgJoe_.call("sp_tables", {"", "", "", "%"}), {0, 1, 2, 3}), types);
    EXPECT_EQ(columns(pgJoe_.call("sp_tables", {kNull, kNull, kNull, "'%'"}), {0, 1, 2, 3}), types)
        << "FreeTDS ODBC leaves the empty names out and quotes the %";
    EXPECT_EQ(pgJoe_.call("sp_tables", {kNull, "%", kNull, kNull}),
              pgJoe_.call("sp_tables", {kNull, kNull, kNull, kNull}))
        << "without an empty name, % is every creator's tables";
    EXPECT_EQ(pgJoe_.call("sp_tables", {"", "", "%", kNull}), Rows{}) << "DB2 has one unnamed location here";
}

TEST_F(CatalogProcedures, ColumnsGiveOdbcSizesOfDb2TypesInTableOrder) {
    // COLUMN_NAME, DATA_TYPE, TYPE_NAME, PRECISION, LENGTH, SCALE, RADIX, NULLABLE, COLUMN_DEF,
    // SQL_DATA_TYPE, SQL_DATETIME_SUB, CHAR_OCTET_LENGTH, ORDINAL_POSITION, IS_NULLABLE.
    const std::string n = "<null>";
    EXPECT_EQ(columns(pgJoe_.call("sp_columns", {"EMP", "JOE", kNull, kNull}),
                      {3, 4, 5, 6, 7, 8, 9, 10, 14, 15, 16, 17, 18, 19}),
              (Rows{{"EMPNO", "4", "INTEGER", "10", "4", "0", "10", "0", n, "4", n, n, "1", "NO"},
                    {"WORKDEPT", "1", "CHAR", "3", "3", n, n, "0", n, "1", n, "3", "2", "NO"},
                    {"LASTNAME", "12", "VARCHAR", "15", "15", n, n, "0", n, "12", n, "15", "3", "NO"},
                    {"SALARY", "3", "DECIMAL", "9", "11", "2", "10", "1", n, "3", n, n, "4", "YES"},
                    {"BONUS", "8", "FLOAT", "15", "8", n, "10", "1", n, "8", n, n, "5", "YES"},
                    {"EDLEVEL", "5", "SMALLINT", "5", "2", "0", "10", "0", "0", "5", n, n, "6", "NO"},
                    {"HIREDATE", "9", "DATE", "10", "6", n, n, "1", n, "9", "1", n, "7", "YES"},
                    {"STARTTIME", "10", "TIME", "8", "6", "0", n, "1", n, "9", "2", n, "8", "YES"},
                    {"CHANGED", "11", "TIMESTAMP", "26", "16", "6", n, "1", n, "9", "3", n, "9", "YES"},
                    {"RESUME", "-1", "LONG VARCHAR", "32700", "32700", n, n, "1", n, "-1", n, "32700", "10",
                     "YES"}}));
    // SS_DATA_TYPE is the wire type the column travels as (INTN, CHAR, FLTN, TEXT), COLID its number.
    EXPECT_EQ(columns(pgJoe_.call("sp_columns", {"EMP", "JOE", kNull, "%E"}), {3, 12, 13}),
              (Rows{{"LASTNAME", "39", "3"},
                    {"HIREDATE", "47", "7"},
                    {"STARTTIME", "47", "8"},
                    {"RESUME", "35", "10"}}));
    EXPECT_EQ(columns(pgJoe_.call("sp_columns", {"EMP", "JOE", kNull, "B%"}), {12}), (Rows{{"109"}}));
    // A view's columns; tables by owner and name; a column pattern across tables.
    EXPECT_EQ(columns(pgJoe_.call("sp_columns", {"EMPDEPT", kNull, kNull, kNull}), {1, 2, 3, 10}),
              (Rows{{"JOE", "EMPDEPT", "EMPNO", "0"},
                    {"JOE", "EMPDEPT", "LASTNAME", "0"},
                    {"JOE", "EMPDEPT", "DEPTNAME", "0"}}));
    EXPECT_EQ(
        fixtureTables(columns(pgJoe_.call("sp_columns", {"%", "%", kNull, "WORKDEPT"}), {1, 2, 3}), 0, 1),
        (Rows{{"JOE", "EMP", "WORKDEPT"}, {"SMITH", "ASSIGN", "WORKDEPT"}}));
    EXPECT_EQ(pgJoe_.call("sp_columns", {"NOSUCH", kNull, kNull, kNull}), Rows{});
}

TEST_F(CatalogProcedures, ColumnDefaultsReadAsDb2SqlWroteThem) {
    must(*joe_,
         "CREATE TABLE KWSPDEFS (A INTEGER NOT NULL WITH DEFAULT, B CHAR(4) NOT NULL WITH DEFAULT, D DATE "
         "NOT NULL "
         "WITH DEFAULT, E TIME NOT NULL WITH DEFAULT, F TIMESTAMP WITH DEFAULT CURRENT TIMESTAMP, G "
         "DECIMAL(7,2) "
         "WITH DEFAULT -5.5, H CHAR(8) WITH DEFAULT USER, J TIME WITH DEFAULT '7.30.00', L VARCHAR(20) WITH "
         "DEFAULT 'it''s', M INTEGER WITH DEFAULT -3, N SMALLINT)");
    EXPECT_EQ(columns(pgJoe_.call("sp_columns", {"KWSPDEFS", "JOE", kNull, kNull}), {3, 14}),
              (Rows{{"A", "0"},
                    {"B", "''"},
                    {"D", "CURRENT DATE"},
                    {"E", "CURRENT TIME"},
                    {"F", "CURRENT TIMESTAMP"},
                    {"G", "-5.5"},
                    {"H", "USER"},
                    {"J", "'7.30.00'"},
                    {"L", "'it''s'"},
                    {"M", "-3"},
                    {"N", "<null>"}}));
    must(*joe_, "DROP TABLE KWSPDEFS");
}

TEST_F(CatalogProcedures, StatisticsGiveTheTableRowThenIndexColumnsUniqueOnesFirst) {
    env().exec("ANALYZE joe.emp");
    // NON_UNIQUE, INDEX_QUALIFIER, INDEX_NAME, TYPE, SEQ_IN_INDEX, COLUMN_NAME, COLLATION,
    // CARDINALITY, PAGES
    const std::string n = "<null>";
    const Rows all = pgJoe_.call("sp_statistics", {"EMP", kNull, kNull, kNull, kNull, kNull});
    EXPECT_EQ(columns(all, {0, 1, 2}), Rows(all.size(), {n, "JOE", "EMP"}));
    EXPECT_EQ(columns(all, {3, 4, 5, 6, 7, 8, 9, 10, 11, 12}),
              (Rows{{n, n, n, "0", n, n, n, "2", "1", n},
                    {"0", "JOE", "EMP_PK", "3", "1", "EMPNO", "A", n, n, n},
                    {"0", "JOE", "EMP_PK", "3", "2", "WORKDEPT", "A", n, n, n},
                    {"0", "JOE", "XEMPNAME", "3", "1", "LASTNAME", "A", n, n, n},
                    {"0", "JOE", "XEMPNAME", "3", "2", "EMPNO", "D", n, n, n},
                    {"1", "JOE", "XEMPHIRE", "1", "1", "HIREDATE", "D", n, n, n}}));
    struct Case {
        const char* claim;
        std::vector<Arg> args;
        Rows rows;  // INDEX_QUALIFIER, INDEX_NAME, COLUMN_NAME of the index rows
    };
    const std::vector<Case> cases = {
        {"is_unique Y keeps the unique indexes",
         {"EMP", "JOE", kNull, kNull, "Y", "E"},
         {{"JOE", "EMP_PK", "EMPNO"},
          {"JOE", "EMP_PK", "WORKDEPT"},
          {"JOE", "XEMPNAME", "LASTNAME"},
          {"JOE", "XEMPNAME", "EMPNO"}}},
        {"an index name pattern",
         {"EMP", kNull, kNull, "XEMP%", "n", "q"},
         {{"JOE", "XEMPNAME", "LASTNAME"}, {"JOE", "XEMPNAME", "EMPNO"}, {"JOE", "XEMPHIRE", "HIREDATE"}}},
        {"an index of another creator",
         {"PROJ", "JOE", kNull, kNull, kNull, kNull},
         {{"JOE", "PROJ_PK", "PROJNO"}, {"KWCX", "XPROJ", "RESPEMP"}}},
        {"SMITH's table, named with its owner",
         {"ASSIGN", "SMITH", kNull, kNull, kNull, kNull},
         {{"SMITH", "ASSIGN_PK", "EMPNO"},
          {"SMITH", "ASSIGN_PK", "WORKDEPT"},
          {"SMITH", "ASSIGN_PK", "PROJNO"}}},
        {"a view has no index", {"EMPDEPT", kNull, kNull, kNull, kNull, kNull}, {}},
    };
    for (const Case& c : cases) {
        Rows indexes;
        for (const auto& r : pgJoe_.call("sp_statistics", c.args)) {
            if (r[6] != "0") {
                indexes.push_back({r[4], r[5], r[8]});
            }
        }
        EXPECT_EQ(indexes, c.rows) << c.claim;
    }
    EXPECT_EQ(pgJoe_.call("sp_statistics", {"ASSIGN", kNull, kNull, kNull, kNull, kNull}), Rows{})
        << "no owner is the current user's: JOE has no ASSIGN, so not even the table row";
    const PgAnswer bad =
        pgJoe_.ask("SELECT * FROM kwgw.sp_statistics('NOSUCH', NULL, NULL, NULL, 'X', NULL)");
    EXPECT_FALSE(bad.ok);
    EXPECT_EQ(bad.message, "X IS NOT A VALID VALUE FOR @is_unique: USE ONE OF Y, N");
}

TEST_F(CatalogProcedures, BestRowIdIsThePrimaryKeyElseTheNarrowestUniqueIndexThatFits) {
    // SCOPE, COLUMN_NAME, DATA_TYPE, TYPE_NAME, PRECISION, LENGTH, SCALE, PSEUDO_COLUMN
    EXPECT_EQ(pgJoe_.call("sp_special_columns", {"EMP", kNull, kNull, kNull, kNull, kNull}),
              (Rows{{"0", "EMPNO", "4", "INTEGER", "10", "4", "0", "1"},
                    {"0", "WORKDEPT", "1", "CHAR", "3", "3", "<null>", "1"}}));
    // SMITH's request table has no primary key, only a unique index.
    EXPECT_EQ(pgJoe_.call("sp_special_columns", {"PCSQL_HOSTLIB", "SMITH", kNull, "R", "T", "U"}),
              (Rows{{"0", "REQ_NAME", "1", "CHAR", "12", "12", "<null>", "1"}}));
    must(*joe_, "CREATE TABLE KWSPROWID (A INTEGER, B CHAR(2) NOT NULL, C INTEGER NOT NULL)");
    must(*joe_, "CREATE UNIQUE INDEX XKWSPA ON KWSPROWID (A)");
    must(*joe_, "CREATE UNIQUE INDEX XKWSPCB ON KWSPROWID (C, B)");
    struct Case {
        const char* claim;
        std::vector<Arg> args;
        Rows names;
    };
    const std::vector<Case> cases = {
        {"the narrowest unique index when nulls may be", {"KWSPROWID", kNull, kNull, "R", "T", "U"}, {{"A"}}},
        {"one without nullable columns when nulls may not be",
         {"KWSPROWID", kNull, kNull, "R", "C", "O"},
         {{"C"}, {"B"}}},
        {"col_type V: DB2 updates no column by itself", {"EMP", kNull, kNull, "V", kNull, kNull}, {}},
        {"a view has no row identifier", {"EMPDEPT", kNull, kNull, kNull, kNull, kNull}, {}},
        {"another user's table needs its owner", {"PCSQL_HOSTLIB", kNull, kNull, kNull, kNull, kNull}, {}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(columns(pgJoe_.call("sp_special_columns", c.args), {1}), c.names) << c.claim;
    }
    EXPECT_EQ(pgJoe_.ask("SELECT * FROM kwgw.sp_special_columns('EMP', NULL, NULL, 'Q', NULL, NULL)").message,
              "Q IS NOT A VALID VALUE FOR @col_type: USE ONE OF R, V");
    must(*joe_, "DROP TABLE KWSPROWID");
}

TEST_F(CatalogProcedures, StoredRequestsOfReadableTablesAreListedWithTheirParameters) {
    ASSERT_TRUE(
        pgSmith_
            .ask("INSERT INTO pcsql_hostlib VALUES ('KWSPBYDEPT', 'SELECT LASTNAME FROM JOE.EMP WHERE "
                 "WORKDEPT = &1 AND SALARY > &MinPay; SELECT ''&NOTME'', \"&NOR\" FROM SYSIBM.SYSDUMMY1 "
                 "WHERE 1 = &3 OR &MINPAY = 0'), ('KWSPNOARGS', 'DELETE FROM ASSIGN WHERE 1 = 2')")
            .ok);
    // PROCEDURE_OWNER, PROCEDURE_NAME, NUM_INPUT_PARAMS, NUM_OUTPUT_PARAMS, NUM_RESULT_SETS, PROCEDURE_TYPE
    const Rows smiths = {{"SMITH", "KWSPBYDEPT", "4", "0", "2", "2"},
                         {"SMITH", "KWSPNOARGS", "0", "0", "0", "2"}};
    EXPECT_EQ(columns(pgSmith_.call("sp_stored_procedures", {"KWSP%", kNull, kNull}), {1, 2, 3, 4, 5, 7}),
              smiths);
    EXPECT_EQ(pgJoe_.call("sp_stored_procedures", {"KWSP%", kNull, kNull}), Rows{})
        << "JOE may not read them";
    ASSERT_TRUE(pgSmith_.ask("GRANT SELECT ON pcsql_hostlib TO joe").ok);
    EXPECT_EQ(columns(pgJoe_.call("sp_stored_procedures", {"KWSP%", "SMITH", kNull}), {1, 2, 3, 4, 5, 7}),
              smiths);
    // The return status, then &1 ... &3 (a call gives every position up to the highest) and
    // &MINPAY once; the markers inside a literal and a delimited name are not parameters.
    EXPECT_EQ(
        columns(pgJoe_.call("sp_sproc_columns", {"KWSPBYDEPT", "SMITH", kNull, kNull}),
                {0, 1, 2, 3, 4, 5, 6, 7, 8, 11, 19, 20}),
        (Rows{
            {"<null>", "SMITH", "KWSPBYDEPT", "RETURN_VALUE", "5", "4", "INTEGER", "10", "4", "0", "0", "NO"},
            {"<null>", "SMITH", "KWSPBYDEPT", "&1", "1", "12", "VARCHAR", "254", "254", "1", "1", "YES"},
            {"<null>", "SMITH", "KWSPBYDEPT", "&2", "1", "12", "VARCHAR", "254", "254", "1", "2", "YES"},
            {"<null>", "SMITH", "KWSPBYDEPT", "&3", "1", "12", "VARCHAR", "254", "254", "1", "3", "YES"},
            {"<null>", "SMITH", "KWSPBYDEPT", "&MINPAY", "1", "12", "VARCHAR", "254", "254", "1", "4",
             "YES"}}));
    EXPECT_EQ(columns(pgJoe_.call("sp_sproc_columns", {"KWSP%", kNull, kNull, "&M%"}), {2, 3}),
              (Rows{{"KWSPBYDEPT", "&MINPAY"}}));
    ASSERT_TRUE(pgSmith_.ask("REVOKE SELECT ON pcsql_hostlib FROM joe").ok);
    ASSERT_TRUE(pgSmith_.ask("DELETE FROM pcsql_hostlib WHERE req_name LIKE 'KWSP%'").ok);
    EXPECT_EQ(pgJoe_.call("sp_stored_procedures", {"KWSP%", kNull, kNull}), Rows{});
}

TEST_F(CatalogProcedures, CatalogProceduresListThemselvesWithoutAnOwnerAndWithTheirParameters) {
    // No owner: the session answers them by name alone, so a client calls them as listed.
    const Rows catalog = {{"<null>", "sp_columns", "4"},
                          {"<null>", "sp_datatype_info", "1"},
                          {"<null>", "sp_fkeys", "6"},
                          {"<null>", "sp_pkeys", "3"},
                          {"<null>", "sp_server_info", "1"},
                          {"<null>", "sp_special_columns", "6"},
                          {"<null>", "sp_sproc_columns", "4"},
                          {"<null>", "sp_statistics", "6"},
                          {"<null>", "sp_stored_procedures", "3"},
                          {"<null>", "sp_tables", "4"}};
    EXPECT_EQ(columns(pgJoe_.call("sp_stored_procedures", {"sp%", kNull, kNull}), {1, 2, 3}), catalog);
    EXPECT_EQ(columns(pgJoe_.call("sp_stored_procedures", {"sp%", "%", kNull}), {1, 2, 3}), catalog)
        << "% matches every owner, none included";
    EXPECT_EQ(pgJoe_.call("sp_stored_procedures", {"sp%", "S%", kNull}), Rows{})
        << "an owner pattern excludes them";
    // The session knows them in any case, so an upper-case name finds them too.
    EXPECT_EQ(columns(pgJoe_.call("sp_stored_procedures", {"SP_TABLES", kNull, kNull}), {2}),
              (Rows{{"sp_tables"}}));
    EXPECT_EQ(columns(pgJoe_.call("sp_sproc_columns", {"sp_statistics", kNull, kNull, kNull}), {3, 5, 19}),
              (Rows{{"RETURN_VALUE", "4", "0"},
                    {"@table_name", "12", "1"},
                    {"@table_owner", "12", "2"},
                    {"@table_qualifier", "12", "3"},
                    {"@index_name", "12", "4"},
                    {"@is_unique", "1", "5"},
                    {"@accuracy", "1", "6"}}));
}

TEST_F(CatalogProcedures, DataTypesAreDb2sInOdbcTypeOrder) {
    EXPECT_EQ(columns(pgJoe_.call("sp_datatype_info", {kNull}), {0, 1, 2}),
              (Rows{{"LONG VARCHAR", "-1", "32700"},
                    {"CHAR", "1", "254"},
                    {"DECIMAL", "3", "15"},
                    {"INTEGER", "4", "10"},
                    {"SMALLINT", "5", "5"},
                    {"REAL", "7", "7"},
                    {"FLOAT", "8", "15"},
                    {"DATE", "9", "10"},
                    {"TIME", "10", "8"},
                    {"TIMESTAMP", "11", "26"},
                    {"VARCHAR", "12", "32704"}}));
    EXPECT_EQ(pgJoe_.call("sp_datatype_info", {"3"}),
              (Rows{{"DECIMAL", "3", "15", "<null>", "<null>", "precision,scale", "1", "0", "2", "0", "0",
                     "0", "DECIMAL", "0", "15", "3", "<null>", "10", "<null>"}}));
    EXPECT_EQ(columns(pgJoe_.call("sp_datatype_info", {"12"}), {0, 3, 4, 5, 7, 8}),
              (Rows{{"VARCHAR", "'", "'", "max length", "1", "3"}}));
    EXPECT_EQ(columns(pgJoe_.call("sp_datatype_info", {"93"}), {0, 1}), (Rows{{"TIMESTAMP", "11"}}))
        << "ODBC 3's code of a date/time type finds it too";
    EXPECT_EQ(pgJoe_.call("sp_datatype_info", {"-5"}), Rows{}) << "DB2 has no BIGINT";
    EXPECT_EQ(pgJoe_.call("sp_datatype_info", {"0"}).size(), 11u);
    EXPECT_EQ(pgJoe_.ask("SELECT * FROM kwgw.sp_datatype_info('twelve')").message,
              "twelve IS NOT A VALID VALUE FOR @data_type: A NUMBER IS REQUIRED");
}

TEST_F(CatalogProcedures, ServerInfoDescribesDb2AndTheGatewaysNameRules) {
    const Rows all = pgJoe_.call("sp_server_info", {kNull});
    std::vector<std::string> ids;
    for (const auto& r : all) {
        ids.push_back(r[0]);
    }
    EXPECT_EQ(ids,
              (std::vector<std::string>{"1",   "2",   "10",  "11",  "12",  "13",  "14",  "15",  "16",  "18",
                                        "19",  "20",  "22",  "100", "101", "102", "103", "104", "105", "106",
                                        "107", "108", "109", "110", "111", "112", "113", "500"}));
    struct Case {
        const char* id;
        Rows row;
    };
    for (const Case& c : std::vector<Case>{{"1", {{"1", "DBMS_NAME", "DB2"}}},
                                           {"12", {{"12", "MAX_OWNER_NAME_LENGTH", "8"}}},
                                           {"13", {{"13", "TABLE_LENGTH", "18"}}},
                                           {"15", {{"15", "COLUMN_LENGTH", "18"}}},
                                           {"16", {{"16", "IDENTIFIER_CASE", "UPPER"}}},
                                           {"22", {{"22", "ACCESSIBLE_TABLES", "N"}}},
                                           {"100", {{"100", "USERID_LENGTH", "8"}}},
                                           {"105", {{"105", "MAX_INDEX_COLS", "32"}}},
                                           {"17", {}}}) {
        EXPECT_EQ(pgJoe_.call("sp_server_info", {c.id}), c.row) << c.id;
    }
    // The limits are the ones the gateway keeps: a name or an index at the limit is made, one past
    // it is refused.
    const std::string name18 = "KWSPNAMEEIGHTEEN18", column18 = "COLUMNNAMEEIGHTEEN";
    must(*joe_, "CREATE TABLE " + name18 + " (" + column18 + " INTEGER)");
    EXPECT_EQ(ask(*joe_, "CREATE TABLE " + name18 + "X (A INTEGER)").sqlcode, "-107");
    EXPECT_EQ(ask(*joe_, "CREATE TABLE KWSPCOLUMN19 (" + column18 + "X INTEGER)").sqlcode, "-107");
    must(*joe_, "DROP TABLE " + name18);
    std::string columns33, key32;
    for (int i = 1; i <= 33; ++i) {
        columns33 += (i > 1 ? ", C" : "C") + std::to_string(i) + " INTEGER";
        key32 += i > 32 ? "" : (i > 1 ? ", C" : "C") + std::to_string(i);
    }
    must(*joe_, "CREATE TABLE KWSPWIDE (" + columns33 + ")");
    must(*joe_, "CREATE INDEX XKWSPW32 ON KWSPWIDE (" + key32 + ")");
    EXPECT_FALSE(ask(*joe_, "CREATE INDEX XKWSPW33 ON KWSPWIDE (" + key32 + ", C33)").ok);
    must(*joe_, "DROP TABLE KWSPWIDE");
}

TEST_F(CatalogProcedures, ClientsCallThemThroughTheGatewayByNameOrByRemoteCall) {
    // A language call as DBD::Sybase and the driver write it: unquoted names are DB2 names.
    const Answer salary = must(*joe_, "sp_columns emp, joe, NULL, salary");
    ASSERT_EQ(salary.columns.size(), 20u);
    EXPECT_EQ(salary.columns[3].name, "COLUMN_NAME");
    EXPECT_EQ(salary.columns[19].name, "IS_NULLABLE");
    EXPECT_EQ(columns(salary.rows, {1, 2, 3, 4, 5, 6, 7, 8, 10, 19}),
              (Rows{{"JOE", "EMP", "SALARY", "3", "DECIMAL", "9", "11", "2", "1", "YES"}}));
    EXPECT_EQ(salary.status, 0) << "it ends like a procedure";
    EXPECT_EQ(columns(must(*joe_, "exec sp_tables 'EMP%', 'JOE', NULL, \"'VIEW'\"").rows, {1, 2, 3}),
              (Rows{{"JOE", "EMPDEPT", "VIEW"}}));
    EXPECT_EQ(must(*joe_, "sp_tables 'emp'").rows, Rows{}) << "a quoted name keeps its case";
    EXPECT_EQ(columns(must(*joe_, "exec sp_tables 'PCSQL[_]%', NULL, NULL, NULL").rows, {1, 2}),
              (Rows{{"SMITH", "PCSQL_HOSTLIB"}}))
        << "jTDS escapes a wildcard as a one-character class";
    EXPECT_EQ(columns(must(*joe_, "sp_special_columns EMP").rows, {1}), (Rows{{"EMPNO"}, {"WORKDEPT"}}));

    // Remote calls, by name and by position, with text and integer values.
    const Answer views =
        rpc(*joe_, "sp_tables", {text("@table_name", "%EMP%"), text("@table_type", "'VIEW'")});
    ASSERT_TRUE(views.ok) << views.sqlcode;
    EXPECT_EQ(columns(views.rows, {1, 2, 3}),
              (Rows{{"JOE", "EMPDEPT", "VIEW"}, {"SMITH", "SMITHEMP", "VIEW"}}));
    const Answer unique = rpc(*joe_, "sp_statistics", {text("", "EMP"), text("@is_unique", "Y")});
    ASSERT_TRUE(unique.ok) << unique.sqlcode;
    EXPECT_EQ(columns(unique.rows, {5, 6, 8}), (Rows{{"<null>", "0", "<null>"},
                                                     {"EMP_PK", "3", "EMPNO"},
                                                     {"EMP_PK", "3", "WORKDEPT"},
                                                     {"XEMPNAME", "3", "LASTNAME"},
                                                     {"XEMPNAME", "3", "EMPNO"}}));
    EXPECT_EQ(unique.columns[3].type, SYBINT2) << "NON_UNIQUE";
    const Answer decimal = rpc(*joe_, "sp_datatype_info", {number("@data_type", 3)});
    ASSERT_TRUE(decimal.ok) << decimal.sqlcode;
    EXPECT_EQ(columns(decimal.rows, {0, 1, 2, 5}), (Rows{{"DECIMAL", "3", "15", "precision,scale"}}));
    const Answer dbms = rpc(*joe_, "sp_server_info", {number("", 1)});
    ASSERT_TRUE(dbms.ok) << dbms.sqlcode;
    EXPECT_EQ(dbms.rows, (Rows{{"1", "DBMS_NAME", "DB2"}}));
    EXPECT_EQ(dbms.columns[0].type, SYBINT4);
    // A listed catalog procedure is callable as listed: without an owner.
    const Answer listed = rpc(*joe_, "sp_stored_procedures", {text("@sp_name", "sp_pkeys")});
    ASSERT_EQ(listed.rows.size(), 1u);
    EXPECT_EQ(listed.rows[0][1], "<null>");
    EXPECT_EQ(must(*joe_, "exec " + listed.rows[0][2] + " EMP").rows.size(), 2u);

    // Bad arguments fail with the parameter named, and the session goes on.
    struct Failure {
        const char* call;
        const char* message;
    };
    for (const Failure& f : std::vector<Failure>{
             {"sp_statistics EMP, JOE, NULL, NULL, X",
              "X IS NOT A VALID VALUE FOR @IS_UNIQUE: USE ONE OF Y, N"},
             {"sp_statistics", "@TABLE_NAME IS REQUIRED"},
             {"sp_special_columns ''", "@TABLE_NAME IS REQUIRED"},
             {"sp_server_info one", "ONE IS NOT A VALID VALUE FOR @ATTRIBUTE_ID: A NUMBER IS REQUIRED"}}) {
        const Answer a = ask(*joe_, f.call);
        EXPECT_FALSE(a.ok) << f.call;
        EXPECT_EQ(a.message, f.message) << f.call;
    }
    EXPECT_EQ(must(*joe_, "sp_server_info 13").rows, (Rows{{"13", "TABLE_LENGTH", "18"}}));
}

TEST_F(CatalogProcedures, InitRunTwiceReplacesTheProceduresInPlace) {
    const Rows before = pgJoe_.call("sp_columns", {"EMP", "JOE", kNull, kNull});
    ASSERT_EQ(before.size(), 10u);
    std::string output;
    ASSERT_EQ(env().runKwgateway({"init", "--pg", env().conninfo()}, &output), 0) << output;
    ASSERT_EQ(env().runKwgateway({"init", "--pg", env().conninfo()}, &output), 0) << output;
    // The same session calls them again: replaced in place, not dropped and made anew.
    EXPECT_EQ(pgJoe_.call("sp_columns", {"EMP", "JOE", kNull, kNull}), before);
    EXPECT_EQ(pgJoe_.call("sp_server_info", {"1"}), (Rows{{"1", "DBMS_NAME", "DB2"}}));
}

}  // namespace
}  // namespace kwcat
