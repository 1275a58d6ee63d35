// session.h - one client of the gateway, from its login to its logout.
//
// A Session logs the client in to PostgreSQL as its own role, then answers its requests: each
// batch is split into statements, gateway commands and procedure calls (language or remote) are
// answered here, everything else is translated by the dialect layer and run by the backend, with
// the transaction modes (long transactions, a savepoint per statement, NOEXEC) and attention
// handling of the DB2 gateway, and loads the rows of a bulk copy. It knows no bytes (the protocol layer
// encodes) and no pg_catalog (the backend runs SQL).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "backend/copy_in.h"
#include "backend/pg.h"
#include "common/log.h"
#include "dialect.h"
#include "options.h"
#include "prepared.h"
#include "procedure.h"
#include "protocol/connection.h"
#include "statement_log.h"
#include "throttle.h"

namespace gw::session {

struct SessionConfig {
    std::string conninfo;            // PostgreSQL connection string (database, host, port)
    bool longTransAlways = false;    // --long-trans always
    std::string storedRequestOwner;  // DB2 name of the fallback owner of PCSQL_HOSTLIB
    std::string serverName = "KWGATEWAY";
    std::string charset = "iso_1";  // the character set of clients whose login names none
    tds::ConnectionLimits limits;
};

// Why a login is refused; each reason has its own message number and text.
enum class LoginRefusal {
    BadCredentials,       // 4002 "Login failed."
    DatabaseUnavailable,  // PostgreSQL cannot be reached or did not answer in time
    DatabaseFull,         // PostgreSQL has no free connection slot
    GatewayFull,          // the gateway serves --max-sessions sessions already
    NoThread,             // the gateway could not start a session thread
};

// The message that refuses a login for `why`; `maxSessions` fills the GatewayFull text.
tds::ServerMessage loginRefusalMessage(LoginRefusal why, const std::string& serverName,
                                       size_t maxSessions = 0);

// The whole answer that refuses a login (the message, a failed LOGINACK, DONE), as packets.
std::string loginRefusalPackets(const tds::ServerMessage& message);

class Session : private backend::ClientWatch {
  public:
    Session(int fd, uint32_t id, const SessionConfig& config, ServerLog& log, StatementLog* statementLog,
            LoginThrottle* throttle = nullptr);

    // Serves the client until it logs out or goes away. Never throws.
    void run() noexcept;

  private:
    // How a statement's answer ends: the end token the batch loop writes for it.
    struct End {
        tds::Token token = tds::Token::Done;
        uint16_t status = 0;
        int32_t count = 0;
        bool stopBatch = false;  // nothing after this statement runs (unit of work rolled back)
    };
    class ClientSink;
    class CaptureSink;

    bool login();
    void refuseLogin(const std::string& user, const std::string& reason,
                     LoginRefusal why = LoginRefusal::BadCredentials);
    bool awaitThrottle(const std::string& user);
    void serve();
    void answerBatch(const std::string& text);
    End answer(const std::string& statement);
    dialect::Plan translate(const std::string& statement);
    End runSql(const std::string& statement);
    End runPlan(const dialect::Plan& plan, const std::string& verb, std::span<const backend::Param> params,
                const std::string& preparedName = {});
    End describeOnly(const std::string& statement);
    // Dynamic SQL and language requests with parameters (prepared.cpp).
    void answerDynamic(const tds::DynamicRequest& request);
    void answerWithParams(const std::string& text, const tds::ParamSet& params);
    void endAnswer(const End& end);
    End prepareStatement(const tds::DynamicRequest& request);
    End executeStatement(const tds::DynamicRequest& request);
    End deallocateStatement(const tds::DynamicRequest& request);
    End describeStatement(const tds::DynamicRequest& request, bool input);
    End runMarked(const std::string& text, std::span<const int> order,
                  std::span<const backend::Param> values);
    // Procedure calls: USE PROCEDURE, language calls, remote procedure calls.
    End runProcedure(const std::string& argument);
    void answerRpc(const tds::RpcRequest& request);
    End runLanguageCall(const std::string& text);
    End callProcedure(const ProcedureName& name, const CallArguments& arguments,
                      const tds::ParamSet* outputs);
    End runCatalogProcedure(const CatalogProcedure& procedure, const CallArguments& arguments,
                            const tds::ParamSet* outputs);
    End runStoredRequest(const ProcedureCall& call, bool called, const tds::ParamSet* outputs);
    End endProcedure(End last, const tds::ParamSet* outputs = nullptr);
    bool servesDatabase(const std::string& name) const;
    // Bulk copy (bulk.cpp): `insert bulk` names the table, the bulk copy message that follows loads it.
    End startBulk(const std::string& argument);
    void answerBulk(tds::ClientEvent& packet);
    End loadBulk(const backend::CopyTarget& target, tds::ClientEvent& packet);
    bool nextBulkPacket(tds::ClientEvent& packet);
    void skipBulk(tds::ClientEvent& packet);
    bool describesOnly() const { return noExec_ || fmtOnly_; }
    End beginTransaction();
    End endTransaction(bool commit);
    End endTransactionIfOpen(bool commit, bool beginAfter);
    int32_t tranCount() const;
    End setLongTrans(bool on);
    End answerOption(const tds::OptionCommand& command);
    End setOption(const std::string& name, bool on);
    End applyOption(const OptionDecision& decision);
    OptionValues optionValues() const;
    End closeUnknownTransaction(End end);
    void endStatement(tds::Token token, uint16_t status, int32_t count);
    End oneRow(const ColumnFormat& format, const Cell& cell);
    End settle(const backend::Outcome& outcome, const std::string& verb, bool savepoint, bool wrapped);
    End fail(const backend::Db2Error& error);
    End gatewayFailure(int code, const std::string& text);
    bool lookupStoredRequest(const std::string& owner, const std::string& name, bool called,
                             std::string& text, End& failure);
    bool command(const char* sql);
    bool longTransActive() const { return config_.longTransAlways || longTrans_ || tranCount_ > 0; }
    bool stopping() const { return attention_ || clientGone_; }

    int clientFd() const override;
    bool clientSpoke() override;
    void waiting() override;

    tds::ClientConnection conn_;
    uint32_t id_;
    const SessionConfig& config_;
    ServerLog& log_;
    StatementLog* statementLog_;
    LoginThrottle* throttle_;
    backend::PgSession pg_;

    std::string authId_;    // DB2 authorization id (the login name, upper case)
    std::string peer_;      // client address and port for the log
    std::string address_;   // client address alone, for the login throttle
    std::string database_;  // what `use` last named
    long textSize_ = 0;
    bool longTrans_ = false;     // SET LONG_TRANS YES is in force
    bool noExec_ = false;        // SET NOEXEC YES is in force
    bool fmtOnly_ = false;       // SET FMTONLY ON is in force (answered like NOEXEC)
    uint32_t bytesPerChar_ = 1;  // the longest character of the client's character set, in bytes
    // The table the last `insert bulk` named, until the bulk copy message that loads it (or any
    // other request) comes.
    std::optional<backend::CopyTarget> bulkTarget_;
    std::string bulkTable_;  // its name as the client wrote it, for the log
    bool noCount_ = false;   // row counts are left out of end tokens (no count)
    uint8_t isolation_ = 1;  // the isolation level a client chose (0 to 3)
    bool transactionOpen_ = false;
    int32_t tranCount_ = 0;  // BEGIN TRAN not yet matched by COMMIT TRAN (nesting depth)
    std::string convert_;    // SET CONVERT settings, remembered
    std::string allocate_;
    std::string transform_;

    PreparedStatements prepared_;  // dynamic SQL statements by the client's id

    bool attention_ = false;    // the client cancelled the running batch
    bool clientGone_ = false;   // the client went away or broke the protocol
    bool backendLost_ = false;  // PostgreSQL went away; the session ends after this answer
};

}  // namespace gw::session
