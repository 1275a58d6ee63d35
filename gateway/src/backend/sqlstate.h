// sqlstate.h - PostgreSQL errors as DB2 SQLCODEs and DB2-style message text.
//
// The session reports every failed statement with an SQLCODE and a readable DB2 text built here
// from PostgreSQL's error fields; failures of the gateway itself carry a gateway return code
// (GatewayCode) instead. The SQLSTATE table is fixed data; a few codes depend on the statement's
// verb (a unique violation while creating an index is -603, not -803).
#pragma once

#include <string>
#include <string_view>

namespace gw::backend {

// The fields of a PostgreSQL error that the mapping reads.
struct PgErrorFields {
    std::string sqlstate;
    std::string message;
    std::string detail;
    std::string schema;
    std::string table;
    std::string column;
    std::string constraint;
};

// What the mapping may depend on besides the error.
struct StatementContext {
    std::string authId;  // the session's DB2 authorization id
    std::string verb;    // the statement's first word, upper case (SELECT, INSERT, CREATE, ...)
};

// Return codes of the gateway's own failures, sent in the "ERR" form.
enum GatewayCode : int {
    kErrConnectionLost = 1001,
    kErrUnknownCommand = 1002,
    kErrBadArgument = 1003,
    kErrStoredRequestMissing = 1004,
    kErrNotSupported = 1005,
    kErrInternal = 1006,
};

struct Db2Error {
    int code = 0;          // SQLCODE, or a GatewayCode when `gateway` is set
    bool gateway = false;  // the failure is the gateway's, not the database's
    std::string text;      // DB2-style text for the 21000 message
};

// The SQLCODE of an SQLSTATE, given the statement's verb.
int sqlcodeFor(std::string_view sqlstate, std::string_view verb);
// The full DB2 error (code and text) of a PostgreSQL error.
Db2Error mapError(const PgErrorFields& error, const StatementContext& context);
// True for the conditions after which DB2 has rolled back the whole unit of work (-911).
bool rollsBackUnitOfWork(std::string_view sqlstate);
// The verb of a statement: its first word, upper case.
std::string statementVerb(std::string_view statement);

}  // namespace gw::backend
