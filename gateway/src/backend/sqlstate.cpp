// sqlstate.cpp - the SQLSTATE to SQLCODE table and the DB2 texts of the common failures.
//
// Serves the session's failure reports. The table maps PostgreSQL's condition codes to the DB2
// SQLCODEs a DB2 program expects; the texts follow DB2's messages and name objects by their DB2
// names (the case swap of the dialect), qualifying an unqualified table with the auth id.
// Invariant: every SQLSTATE gets a negative SQLCODE; connection failures get a gateway code.
#include "sqlstate.h"

#include <array>
#include <cctype>

#include <fmt/format.h>

#include "common/text.h"
#include "dialect.h"

namespace gw::backend {
namespace {

enum class Text {
    UndefinedName,    // -204
    UndefinedColumn,  // -206, -205
    Syntax,           // -104
    Privilege,        // -551, -552
    Duplicate,        // -803, -603
    NullColumn,       // -407
    ForeignKey,       // -530, -531, -532
    Exists,           // -601
    Deadlock,         // -911
    Arithmetic,       // -802
    Untranslatable,   // -330
    Plain,            // the PostgreSQL message, upper case
};

struct SqlStateEntry {
    std::string_view sqlstate;
    int sqlcode;
    Text text;
};

constexpr std::array<SqlStateEntry, 48> kSqlStates = {{
    {"42P01", -204, Text::UndefinedName},
    {"42704", -204, Text::UndefinedName},
    {"3F000", -204, Text::UndefinedName},
    {"42703", -206, Text::UndefinedColumn},
    {"42702", -203, Text::Plain},
    {"42601", -104, Text::Syntax},
    {"42501", -551, Text::Privilege},
    {"23505", -803, Text::Duplicate},
    {"23502", -407, Text::NullColumn},
    {"23503", -530, Text::ForeignKey},
    {"23514", -545, Text::Plain},
    {"42P07", -601, Text::Exists},
    {"42710", -601, Text::Exists},
    {"42P06", -601, Text::Exists},
    {"42723", -601, Text::Exists},
    {"42701", -612, Text::Plain},
    {"42P16", -624, Text::Plain},
    {"42830", -538, Text::Plain},
    {"42809", -159, Text::Plain},
    {"22001", -404, Text::Plain},
    {"22003", -802, Text::Arithmetic},
    {"22012", -802, Text::Arithmetic},
    {"22007", -180, Text::Plain},
    {"22008", -181, Text::Plain},
    {"22P02", -401, Text::Plain},
    {"42883", -401, Text::Plain},
    {"42804", -408, Text::Plain},
    {"21000", -811, Text::Plain},
    {"42803", -122, Text::Plain},
    {"24000", -501, Text::Plain},
    {"34000", -504, Text::Plain},
    {"42P03", -502, Text::Plain},
    {"40P01", -911, Text::Deadlock},
    {"55P03", -911, Text::Deadlock},
    {"40001", -911, Text::Deadlock},
    {"25P02", -911, Text::Deadlock},
    {"57014", -905, Text::Plain},
    {"54000", -101, Text::Plain},
    {"54001", -101, Text::Plain},
    {"54011", -680, Text::Plain},
    {"25006", -817, Text::Plain},
    {"0A000", -84, Text::Plain},
    // A character the client's character set cannot hold, or bytes that are no character of it.
    {"22P05", -330, Text::Untranslatable},
    {"22021", -330, Text::Untranslatable},
    // Raised by the dialect's kwgw routines with DB2's own SQLSTATEs: REVOKE of a privilege the
    // revoker did not grant, a nullable primary-key column, SUBSTR outside its string, a name
    // too long for the registry.
    {"42504", -556, Text::Plain},
    {"42831", -542, Text::Plain},
    {"22011", -138, Text::Plain},
    {"42622", -107, Text::Plain},
}};
static_assert(kSqlStates.size() == 48, "keep the count in step with the table");

constexpr int kSystemError = -901;
constexpr int kResourceUnavailable = -904;

const SqlStateEntry* findEntry(std::string_view sqlstate) {
    for (const SqlStateEntry& e : kSqlStates) {
        if (e.sqlstate == sqlstate) {
            return &e;
        }
    }
    return nullptr;
}

bool isDataChange(std::string_view verb) {
    return verb == "INSERT" || verb == "UPDATE";
}
bool isDefinition(std::string_view verb) {
    return verb == "CREATE" || verb == "ALTER" || verb == "GRANT";
}

// The first double-quoted name in a PostgreSQL message, as written there.
std::string quotedName(std::string_view message) {
    size_t open = message.find('"');
    if (open == std::string_view::npos) {
        return {};
    }
    size_t close = message.find('"', open + 1);
    if (close == std::string_view::npos) {
        return {};
    }
    return std::string(message.substr(open + 1, close - open - 1));
}

// The token a syntax error names: PostgreSQL writes `at or near "tok"`, and the token itself may
// hold double quotes (a delimited identifier), so it runs to the last quote; `at end of input`
// is DB2's END-OF-STATEMENT.
std::string syntaxToken(std::string_view message) {
    size_t open = message.find('"');
    size_t close = message.rfind('"');
    if (open == std::string_view::npos || close == open) {
        return message.find("end of input") != std::string_view::npos ? "END-OF-STATEMENT" : "";
    }
    return std::string(message.substr(open + 1, close - open - 1));
}

// A PostgreSQL name, possibly qualified with dots, in DB2 form.
std::string db2Qualified(std::string_view pg) {
    std::string out;
    size_t start = 0;
    for (;;) {
        size_t dot = pg.find('.', start);
        out += dialect::db2Name(pg.substr(start, dot - start));
        if (dot == std::string_view::npos) {
            return out;
        }
        out += '.';
        start = dot + 1;
    }
}

std::string undefinedName(const PgErrorFields& e, const StatementContext& ctx) {
    std::string name = quotedName(e.message);
    if (name.empty()) {
        return upper(e.message);
    }
    std::string db2 = db2Qualified(name);
    if (e.sqlstate == "42P01" && name.find('.') == std::string::npos && !ctx.authId.empty()) {
        db2 = ctx.authId + "." + db2;
    }
    return fmt::format("{} IS AN UNDEFINED NAME", db2);
}

std::string objectName(const PgErrorFields& e) {
    if (!e.constraint.empty()) {
        return dialect::db2Name(e.constraint);
    }
    return db2Qualified(quotedName(e.message));
}

std::string textFor(Text kind, int sqlcode, const PgErrorFields& e, const StatementContext& ctx) {
    switch (kind) {
        case Text::UndefinedName:
            return undefinedName(e, ctx);
        case Text::UndefinedColumn:
            return fmt::format(
                "{} IS NOT A COLUMN OF AN INSERTED TABLE, UPDATED TABLE, OR ANY TABLE "
                "IDENTIFIED IN A FROM CLAUSE",
                db2Qualified(quotedName(e.message)));
        case Text::Syntax:
            return fmt::format("ILLEGAL SYMBOL \"{}\"", syntaxToken(e.message));
        case Text::Privilege:
            return fmt::format("{} DOES NOT HAVE THE PRIVILEGE TO PERFORM OPERATION {} ON OBJECT {}",
                               ctx.authId, ctx.verb,
                               e.table.empty() ? upper(e.message) : dialect::db2Name(e.table));
        case Text::Duplicate:
            return fmt::format(
                "AN INSERTED OR UPDATED VALUE IS INVALID BECAUSE THE INDEX {} CONSTRAINS "
                "COLUMNS OF THE TABLE SO NO TWO ROWS CAN CONTAIN DUPLICATE VALUES IN THOSE COLUMNS",
                objectName(e));
        case Text::NullColumn:
            return fmt::format(
                "AN UPDATE OR INSERT VALUE IS NULL, BUT THE OBJECT COLUMN {} CANNOT CONTAIN "
                "NULL VALUES",
                dialect::db2Name(e.column));
        case Text::ForeignKey:
            if (sqlcode == -530) {
                return fmt::format("THE INSERT OR UPDATE VALUE OF FOREIGN KEY {} IS INVALID", objectName(e));
            }
            if (sqlcode == -531) {
                return fmt::format(
                    "PARENT KEY IN A PARENT ROW CANNOT BE UPDATED BECAUSE IT HAS ONE OR MORE "
                    "DEPENDENT ROWS IN RELATIONSHIP {}",
                    objectName(e));
            }
            return fmt::format("THE RELATIONSHIP {} RESTRICTS THE DELETION OF ROW", objectName(e));
        case Text::Exists:
            return fmt::format("THE NAME OF THE OBJECT TO BE CREATED IS IDENTICAL TO THE EXISTING NAME {}",
                               db2Qualified(quotedName(e.message)));
        case Text::Deadlock:
            return "THE CURRENT UNIT OF WORK HAS BEEN ROLLED BACK DUE TO DEADLOCK OR TIMEOUT";
        case Text::Arithmetic:
            return fmt::format("ARITHMETIC EXCEPTION: {}", upper(e.message));
        case Text::Untranslatable:
            return fmt::format("A STRING CANNOT BE USED BECAUSE IT CANNOT BE TRANSLATED: {}",
                               upper(e.message));
        case Text::Plain:
            break;
    }
    return upper(e.message);
}

}  // namespace

std::string statementVerb(std::string_view statement) {
    size_t i = 0;
    while (i < statement.size() &&
           (std::isspace(static_cast<unsigned char>(statement[i])) || statement[i] == '(')) {
        ++i;
    }
    size_t start = i;
    while (i < statement.size() && std::isalpha(static_cast<unsigned char>(statement[i]))) {
        ++i;
    }
    return upper(statement.substr(start, i - start));
}

int sqlcodeFor(std::string_view sqlstate, std::string_view verb) {
    if (sqlstate == "23503") {
        if (verb == "DELETE") {
            return -532;
        }
        return verb == "UPDATE" ? -531 : -530;  // mapError tells the child side by its message
    }
    if (sqlstate == "23505" && isDefinition(verb)) {
        return -603;
    }
    if (sqlstate == "22003" && isDataChange(verb)) {
        return -413;
    }
    if (sqlstate == "42703" && isDefinition(verb)) {
        return -205;
    }
    if (sqlstate == "22P02" && isDataChange(verb)) {
        return -408;
    }
    if (sqlstate == "42883" && verb == "CALL") {
        return -440;  // the routine that answers a procedure call is not there
    }
    if (const SqlStateEntry* e = findEntry(sqlstate)) {
        return e->sqlcode;
    }
    if (sqlstate.substr(0, 2) == "53") {
        return kResourceUnavailable;
    }
    return kSystemError;
}

Db2Error mapError(const PgErrorFields& error, const StatementContext& context) {
    if (error.sqlstate.substr(0, 2) == "08" || error.sqlstate.empty()) {
        return Db2Error{kErrConnectionLost, true,
                        fmt::format("CONNECTION TO THE DATABASE SERVER FAILED: {}", upper(error.message))};
    }
    int code = sqlcodeFor(error.sqlstate, context.verb);
    const SqlStateEntry* e = findEntry(error.sqlstate);
    Text kind = e ? e->text : Text::Plain;
    // 23503 covers both sides of a foreign key: the child side (an insert or update whose value
    // has no parent) and the parent side (a delete or update of a referenced key).
    if (error.sqlstate == "23503" && error.message.rfind("insert or update", 0) == 0) {
        code = -530;
    }
    return Db2Error{code, false, textFor(kind, code, error, context)};
}

bool rollsBackUnitOfWork(std::string_view sqlstate) {
    return sqlstate == "40P01" || sqlstate == "55P03" || sqlstate == "40001" || sqlstate == "25P02";
}

}  // namespace gw::backend
