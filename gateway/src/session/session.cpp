// session.cpp - login, batches, gateway commands, server options, transaction modes and cancel
// for one client.
//
// Serves one client connection from its own thread. Owns the client connection and the
// session's PostgreSQL connection. A procedure call, by language or remote, reaches a catalog
// procedure (kCatalogProcedures) or else a stored request of PCSQL_HOSTLIB, and once it runs its
// answer ends like a procedure's: results with DONEINPROC, the return status, the output
// parameters of a remote call, DONEPROC. Invariants: every request gets exactly one final end token
// (or one DONE with the attention bit when the client cancelled it), a request the gateway does
// not serve included; PostgreSQL is inside a transaction only while the session has one open;
// inside a long transaction (chained mode, or a unit of work begun by BEGIN TRAN) every
// statement runs under the savepoint kwgw_statement, so a failed statement undoes only itself,
// except deadlock and lock timeout, which roll the whole unit of work back (-911).
#include "session.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <thread>

#include <fmt/format.h>

#include "batch.h"
#include "commands.h"
#include "common/text.h"
#include "dialect.h"
#include "procedure.h"
#include "protocol/capability.h"

namespace gw::session {

using backend::Outcome;
using tds::kDoneAttention;
using tds::kDoneCount;
using tds::kDoneError;
using tds::kDoneMore;
using tds::kDoneProcedure;
using tds::ServerMessage;
using tds::Token;

namespace {

// Message numbers: a refused login, the one login notice clients expect, the failure pair of
// the DB2 gateway (return code, then readable text), and PostgreSQL WARNINGs, which carry a
// number of their own that clients give no special meaning.
constexpr int32_t kLoginFailed = 4002;
constexpr int32_t kDatabaseUnavailable = 21010;
constexpr int32_t kTooManySessions = 21011;
constexpr int32_t kUnknownCharset = 2409;
constexpr int32_t kLanguageChanged = 5703;
constexpr int32_t kResultFailed = 21002;
constexpr int32_t kGatewayText = 21000;
constexpr int32_t kWarning = 21500;
constexpr uint8_t kSeverityError = 16;
constexpr uint8_t kSeverityLogin = 14;
// PostgreSQL gets at least this long to take a login, however little of the client's login
// time is left.
constexpr int kMinConnectMs = 1000;
constexpr uint8_t kSeverityCharset = 11;
constexpr uint8_t kSeverityInfo = 10;
constexpr uint8_t kSeverityWarning = 4;
constexpr int32_t kProcedureFailed = -6;  // the return status of a stored request that failed
constexpr int kSqlProcedureNotFound = -440;
constexpr int kSqlUndefinedName = -204;
// Databases a client may name before a system procedure besides the session's own.
constexpr std::string_view kSystemDatabases[] = {"master", "sybsystemprocs"};
constexpr std::string_view kProduct = "kwgateway";
// 15.7: a Sybase-era version with the top bit clear, so FreeTDS treats us as a Sybase server.
constexpr uint8_t kProductVersion[4] = {15, 7, 0, 0};
constexpr std::string_view kResultFailedText = "DG21002: Result failed.  Database server error code ";

// The client's address, and its port when `withPort`.
std::string peerName(int fd, bool withPort) {
    sockaddr_in addr{};
    socklen_t len = sizeof addr;
    char buf[INET_ADDRSTRLEN] = "?";
    if (::getpeername(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0) {
        ::inet_ntop(AF_INET, &addr.sin_addr, buf, sizeof buf);
    }
    return withPort ? fmt::format("{}:{}", buf, ntohs(addr.sin_port)) : std::string(buf);
}

// The text of a PostgreSQL array of DB2 names, for a text[] parameter.
std::string textArray(const std::vector<std::string>& items) {
    std::string out = "{";
    for (size_t i = 0; i < items.size(); ++i) {
        if (i) {
            out += ',';
        }
        out += '"';
        for (char c : items[i]) {
            if (c == '"' || c == '\\') {
                out += '\\';
            }
            out += c;
        }
        out += '"';
    }
    return out + "}";
}

}  // namespace

// Streams a statement's rows to the client; warnings go out as severity-4 messages.
class Session::ClientSink : public backend::RowSink {
  public:
    explicit ClientSink(Session& s) : s_(s) {}
    void columns(std::span<const ColumnFormat> formats) override {
        formats_.assign(formats.begin(), formats.end());
        s_.conn_.rowFormat(formats_);
        sawColumns_ = true;
    }
    bool row(std::span<const Cell> cells) override {
        s_.conn_.row(formats_, cells);
        return s_.conn_.writable();
    }
    void warning(const std::string& text) override {
        s_.conn_.message(
            ServerMessage{kWarning, 1, kSeverityWarning, "DG21500: " + text, s_.config_.serverName, {}, 0});
    }
    bool sawColumns() const { return sawColumns_; }

  private:
    Session& s_;
    std::vector<ColumnFormat> formats_;
    bool sawColumns_ = false;
};

// Keeps the text of the first column of the first row (the gateway's own lookups).
class Session::CaptureSink : public backend::RowSink {
  public:
    void columns(std::span<const ColumnFormat>) override {}
    bool row(std::span<const Cell> cells) override {
        if (!found && !cells.empty() && !cells[0].null) {
            value.assign(cells[0].text);
            found = true;
        }
        return true;
    }
    void warning(const std::string&) override {}
    std::string value;
    bool found = false;
};

tds::ServerMessage loginRefusalMessage(LoginRefusal why, const std::string& serverName, size_t maxSessions) {
    int32_t number = kTooManySessions;
    std::string text;
    switch (why) {
        case LoginRefusal::BadCredentials:
            number = kLoginFailed;
            text = "Login failed.";
            break;
        case LoginRefusal::DatabaseUnavailable:
            number = kDatabaseUnavailable;
            text = "DG21010: Login failed: the database server is unavailable.";
            break;
        case LoginRefusal::DatabaseFull:
            text =
                "DG21011: Login failed: too many sessions; the database server has no free connection slot.";
            break;
        case LoginRefusal::GatewayFull:
            text = fmt::format(
                "DG21011: Login failed: too many sessions; the gateway serves at most {} at once.",
                maxSessions);
            break;
        case LoginRefusal::NoThread:
            text = "DG21011: Login failed: too many sessions; the gateway cannot start another one now.";
            break;
    }
    return ServerMessage{number, 1, kSeverityLogin, std::move(text), serverName, {}, 0};
}

std::string loginRefusalPackets(const tds::ServerMessage& message) {
    std::string tokens;
    tds::writeEed(tokens, message);
    const uint8_t noVersion[4] = {0, 0, 0, 0};
    tds::writeLoginAck(tokens, tds::LoginStatus::Failed, "", noVersion);
    tds::writeDone(tokens, Token::Done, 0, 0);
    std::string packets;
    tds::splitPackets(packets, tds::PacketType::Reply, tokens, tds::kDefaultPacketSize, true);
    return packets;
}

Session::Session(int fd, uint32_t id, const SessionConfig& config, ServerLog& log, StatementLog* statementLog,
                 LoginThrottle* throttle)
    : conn_(fd, config.limits),
      id_(id),
      config_(config),
      log_(log),
      statementLog_(statementLog),
      throttle_(throttle),
      peer_(peerName(fd, true)),
      address_(peerName(fd, false)) {}

void Session::run() noexcept {
    try {
        log_.line("session {}: connect from {}", id_, peer_);
        if (login()) {
            serve();
        }
    } catch (const std::exception& e) {
        log_.line("session {}: ended by an internal error: {}", id_, e.what());
    } catch (...) {
        log_.line("session {}: ended by an internal error", id_);
    }
}

// --- login -------------------------------------------------------------------------------

bool Session::login() {
    tds::ClientEvent ev = conn_.readLogin();
    if (ev.kind != tds::ClientEvent::Kind::Login) {
        log_.line("session {}: dropped before login: {}", id_,
                  ev.kind == tds::ClientEvent::Kind::Closed ? "client closed the connection" : ev.reason);
        return false;
    }
    const tds::LoginRecord& rec = ev.login;
    if (rec.tdsMajor != 5) {
        log_.line("session {}: dropped: login for TDS version {}, not 5.0", id_, rec.tdsMajor);
        return false;
    }
    authId_ = upper(rec.userName);
    std::string error;
    // An empty password would let libpq fall back to the gateway's own credentials
    // (PGPASSWORD, a password file), so it is refused here.
    if (rec.userName.empty() || rec.password.empty()) {
        refuseLogin(rec.userName, rec.userName.empty() ? "no user name" : "no password");
        return false;
    }
    // The character set the login names, else the gateway's; one PostgreSQL cannot serve is
    // refused, so that no value is ever converted to something the client did not ask for.
    const std::string& charsetName = rec.charset.empty() ? config_.charset : rec.charset;
    const backend::Charset* charset = backend::findCharset(charsetName);
    if (charset == nullptr) {
        conn_.message(ServerMessage{kUnknownCharset,
                                    1,
                                    kSeverityCharset,
                                    fmt::format("Cannot find the requested character set in Syscharsets: "
                                                "name = '{}'.",
                                                charsetName),
                                    config_.serverName,
                                    {},
                                    0});
        refuseLogin(rec.userName, "unknown character set '" + charsetName + "'");
        return false;
    }
    if (!awaitThrottle(rec.userName)) {
        return false;
    }
    backend::ConnectFailure failure = backend::ConnectFailure::None;
    if (!pg_.connect(config_.conninfo, dialect::roleForLogin(rec.userName), rec.password, *charset,
                     std::max(conn_.loginTimeLeftMs(), kMinConnectMs), error, failure)) {
        LoginRefusal why = LoginRefusal::DatabaseUnavailable;
        if (failure == backend::ConnectFailure::Credentials) {
            why = LoginRefusal::BadCredentials;
            if (throttle_) {
                throttle_->failed(address_, dialect::roleForLogin(rec.userName));
            }
        } else if (failure == backend::ConnectFailure::TooManySessions) {
            why = LoginRefusal::DatabaseFull;
        }
        refuseLogin(rec.userName, error, why);
        return false;
    }
    if (throttle_) {
        throttle_->succeeded(address_, dialect::roleForLogin(rec.userName));
    }
    bytesPerChar_ = charset->maxBytesPerChar;
    size_t packetSize = tds::grantPacketSize(rec.packetSize, config_.limits.defaultPacketSize);
    database_ = pg_.databaseName();
    conn_.message(ServerMessage{kLanguageChanged,
                                1,
                                kSeverityInfo,
                                "Changed language setting to 'us_english'.",
                                config_.serverName,
                                {},
                                0});
    conn_.loginAck(tds::LoginStatus::Succeeded, kProduct, kProductVersion);
    conn_.envChange(tds::EnvChangeType::Database, database_, "");
    conn_.envChange(tds::EnvChangeType::Language, "us_english", "");
    conn_.envChange(tds::EnvChangeType::Charset, std::string(charset->sybaseName), "");
    conn_.envChange(tds::EnvChangeType::PacketSize, std::to_string(packetSize), "512");
    if (!rec.capabilities.empty()) {
        conn_.capability(tds::answerCapabilities(rec.capabilities));
    }
    conn_.done(Token::Done, 0, 0);
    if (!conn_.endReply()) {
        log_.line("session {}: client went away during login", id_);
        return false;
    }
    conn_.setPacketSize(packetSize);
    conn_.loginAccepted();
    log_.line(
        "session {}: {} logged in (application '{}', host '{}', packet size {}, charset {}, backend pid {})",
        id_, authId_, rec.appName, rec.hostName, packetSize, charset->sybaseName, pg_.backendPid());
    return true;
}

// Waits for the client address's turn when it has failed logins before. A turn that would come
// after the login deadline is not waited for: the login is refused unchecked, and the client
// learns nothing about its password.
bool Session::awaitThrottle(const std::string& user) {
    if (!throttle_) {
        return true;
    }
    auto latest = std::chrono::steady_clock::now() + std::chrono::milliseconds(conn_.loginTimeLeftMs());
    std::optional<LoginThrottle::Clock::time_point> turn = throttle_->turn(address_, latest);
    if (!turn) {
        refuseLogin(user, fmt::format("{} failed logins from {}; refused unchecked",
                                      throttle_->failures(address_), address_));
        return false;
    }
    std::this_thread::sleep_until(*turn);
    return true;
}

void Session::refuseLogin(const std::string& user, const std::string& reason, LoginRefusal why) {
    log_.line("session {}: login refused for '{}': {}", id_, user, reason);
    conn_.message(loginRefusalMessage(why, config_.serverName));
    const uint8_t noVersion[4] = {0, 0, 0, 0};
    conn_.loginAck(tds::LoginStatus::Failed, "", noVersion);
    conn_.done(Token::Done, 0, 0);
    if (!conn_.endReply()) {
        return;
    }
    // The client answers a refusal with a logout; acknowledge it before closing, if it comes
    // within the login's time.
    if (!conn_.readable(conn_.loginTimeLeftMs())) {
        return;
    }
    tds::ClientEvent ev = conn_.readNext(/*withinLogin=*/true);
    if (ev.kind == tds::ClientEvent::Kind::Request && ev.request.kind == tds::Request::Kind::Logout) {
        conn_.done(Token::Done, 0, 0);
        conn_.endReply();
    }
}

// --- the request loop --------------------------------------------------------------------

void Session::serve() {
    for (;;) {
        tds::ClientEvent ev = conn_.readNext();
        if (ev.kind != tds::ClientEvent::Kind::Bulk) {
            bulkTarget_.reset();  // a bulk copy's rows come right after its insert bulk, or not at all
        }
        switch (ev.kind) {
            case tds::ClientEvent::Kind::Bulk:
                answerBulk(ev);
                if (clientGone_ || !conn_.writable() || backendLost_) {
                    log_.line("session {}: {}", id_,
                              backendLost_ ? "closed: the PostgreSQL connection was lost"
                                           : "dropped during a bulk copy: client gone");
                    return;
                }
                continue;
            case tds::ClientEvent::Kind::Closed:
                log_.line("session {}: client disconnected without logout", id_);
                return;
            case tds::ClientEvent::Kind::Broken:
                log_.line("session {}: dropped: {}", id_, ev.reason);
                return;
            case tds::ClientEvent::Kind::Login:
                log_.line("session {}: dropped: a second login", id_);
                return;
            case tds::ClientEvent::Kind::Attention:
                conn_.done(Token::Done, kDoneAttention, 0);
                conn_.endReply();
                continue;
            case tds::ClientEvent::Kind::Request:
                break;
        }
        switch (ev.request.kind) {
            case tds::Request::Kind::Logout:
                conn_.done(Token::Done, 0, 0);
                conn_.endReply();
                log_.line("session {}: logged out", id_);
                return;
            case tds::Request::Kind::Unsupported:
                log_.line("session {}: refused: {}", id_, ev.request.text);
                gatewayFailure(backend::kErrNotSupported, upper(ev.request.text) + " ARE NOT SUPPORTED");
                conn_.done(Token::Done, kDoneError, 0);
                conn_.endReply();
                continue;
            case tds::Request::Kind::Option: {
                End end = answerOption(ev.request.option);
                conn_.done(Token::Done, end.status, end.count);
                conn_.endReply();
                if (backendLost_) {
                    log_.line("session {}: closed: the PostgreSQL connection was lost", id_);
                    return;
                }
                continue;
            }
            case tds::Request::Kind::Rpc:
                answerRpc(ev.request.rpc);
                if (clientGone_ || !conn_.writable() || backendLost_) {
                    log_.line("session {}: {}", id_,
                              backendLost_ ? "closed: the PostgreSQL connection was lost"
                                           : "dropped while answering: client gone");
                    return;
                }
                continue;
            case tds::Request::Kind::Language:
            case tds::Request::Kind::Dynamic:
                break;
        }
        bool dynamic = ev.request.kind == tds::Request::Kind::Dynamic;
        const std::string& logged = dynamic ? ev.request.dynamic.statement : ev.request.text;
        if (statementLog_ && !logged.empty()) {
            statementLog_->append(id_, logged);
        }
        if (dynamic) {
            answerDynamic(ev.request.dynamic);
        } else if (!ev.request.params.formats.empty()) {
            answerWithParams(ev.request.text, ev.request.params);
        } else {
            answerBatch(ev.request.text);
        }
        if (clientGone_ || !conn_.writable()) {
            log_.line("session {}: dropped while answering: client gone", id_);
            return;
        }
        if (backendLost_) {
            log_.line("session {}: closed: the PostgreSQL connection was lost", id_);
            return;
        }
    }
}

void Session::answerBatch(const std::string& text) {
    attention_ = false;
    std::vector<std::string> statements = splitBatch(text);
    if (statements.empty()) {
        conn_.done(Token::Done, 0, 0);
        conn_.endReply();
        return;
    }
    // `SET FMTONLY ON <select> SET FMTONLY OFF`: the select's DONE ends the batch and the trailing
    // switch answers nothing, so a client that reads the row format after its last result (freebcp
    // in native mode) still finds it.
    const bool quietTail =
        statements.size() > 1 && classify(statements.back()).kind == Command::Kind::FmtOnly;
    const size_t answered = statements.size() - (quietTail ? 1 : 0);
    for (size_t i = 0; i < answered; ++i) {
        if (conn_.readable(0)) {
            clientSpoke();
        }
        End end = stopping() ? End{} : answer(statements[i]);
        if (clientGone_) {
            return;
        }
        if (attention_) {
            conn_.done(Token::Done, kDoneAttention, 0);
            conn_.endReply();
            return;
        }
        bool last = i + 1 == answered || end.stopBatch || backendLost_;
        if (last && quietTail && !end.stopBatch && !backendLost_) {
            answer(statements.back());
        }
        endStatement(end.token, static_cast<uint16_t>(end.status | (last ? 0 : kDoneMore)), end.count);
        if (last) {
            break;
        }
    }
    conn_.endReply();
}

// Called by the backend while a statement runs and the client socket has something to read.
bool Session::clientSpoke() {
    tds::ClientEvent ev = conn_.readNext();
    switch (ev.kind) {
        case tds::ClientEvent::Kind::Attention:
            attention_ = true;
            log_.line("session {}: attention: statement cancelled", id_);
            return true;
        case tds::ClientEvent::Kind::Closed:
            log_.line("session {}: client went away during a statement", id_);
            break;
        case tds::ClientEvent::Kind::Broken:
            log_.line("session {}: dropped during a statement: {}", id_, ev.reason);
            break;
        default:
            log_.line("session {}: dropped: a new request arrived before the answer ended", id_);
            break;
    }
    clientGone_ = true;
    return true;
}

int Session::clientFd() const {
    return conn_.fd();
}

void Session::waiting() {
    conn_.flushFullPackets();
}

// --- dispatch ----------------------------------------------------------------------------

Session::End Session::answer(const std::string& statement) {
    Command cmd = classify(statement);
    switch (cmd.kind) {
        case Command::Kind::Sql:
            return describesOnly() ? describeOnly(statement) : runSql(statement);
        case Command::Kind::LongTransQuery:
            return oneRow(ColumnFormat{"", WireType::Char, 3, 0},
                          Cell{false, 0, 0, config_.longTransAlways ? "YES" : "NO"});
        case Command::Kind::SpidQuery:
            return oneRow(ColumnFormat{"", WireType::Int, 4, 0}, Cell{false, id_, 0, {}});
        case Command::Kind::TextSize:
            textSize_ = cmd.number;
            conn_.setTextSize(static_cast<size_t>(textSize_));
            return End{};
        case Command::Kind::SetOption:
            return setOption(cmd.argument, cmd.flag);
        case Command::Kind::Use:
            // The session reaches one database, the one it logged in to; naming another fails.
            if (!equalsIgnoreCase(cmd.argument, pg_.databaseName())) {
                return fail(backend::Db2Error{-204, false, upper(cmd.argument) + " IS AN UNDEFINED NAME"});
            }
            conn_.envChange(tds::EnvChangeType::Database, cmd.argument, database_);
            database_ = cmd.argument;
            return End{};
        case Command::Kind::Convert:
            convert_ = cmd.argument;
            return End{};
        case Command::Kind::Allocate:
            allocate_ = cmd.argument;
            return End{};
        case Command::Kind::Transform:
            transform_ = cmd.argument;
            return End{};
        case Command::Kind::LongTrans:
            return setLongTrans(cmd.flag);
        case Command::Kind::NoExec:
            noExec_ = cmd.flag;
            return End{};
        case Command::Kind::FmtOnly:
            fmtOnly_ = cmd.flag;
            return End{};
        case Command::Kind::InsertBulk:
            return startBulk(cmd.argument);
        case Command::Kind::TranCountQuery:
            return oneRow(ColumnFormat{"", WireType::Int, 4, 0}, Cell{false, tranCount(), 0, {}});
        case Command::Kind::VersionQuery: {
            // The gateway's product, version and role; a client that looks for a server it knows by
            // this text (Adaptive Server, SQL Server) finds neither and treats it as a TDS server.
            std::string version = fmt::format("{}/{}.{}.{}/DB2 gateway on PostgreSQL", kProduct,
                                              kProductVersion[0], kProductVersion[1], kProductVersion[2]);
            return oneRow(ColumnFormat{"", WireType::VarChar, static_cast<uint32_t>(version.size()), 0},
                          Cell{false, 0, 0, version});
        }
        case Command::Kind::BeginTran:
            return beginTransaction();
        case Command::Kind::Isolation: {
            tds::OptionCommand option;
            option.command = static_cast<uint8_t>(tds::OptionCommandKind::Set);
            option.option = static_cast<uint8_t>(OptionId::Isolation);
            option.argument = std::string(1, static_cast<char>(cmd.number));
            return applyOption(decideOption(option, optionValues()));
        }
        case Command::Kind::Commit:
            return endTransaction(true);
        case Command::Kind::Rollback:
            return endTransaction(false);
        case Command::Kind::CommitIfOpen:
            return endTransactionIfOpen(true, cmd.flag);
        case Command::Kind::RollbackIfOpen:
            return endTransactionIfOpen(false, cmd.flag);
        case Command::Kind::UseProcedure:
            return runProcedure(cmd.argument);
        case Command::Kind::Procedure:
            return runLanguageCall(cmd.argument);
        case Command::Kind::Unknown:
            return gatewayFailure(backend::kErrUnknownCommand,
                                  "UNKNOWN GATEWAY COMMAND: " + upper(cmd.argument));
        case Command::Kind::BadArgument:
            return gatewayFailure(backend::kErrBadArgument, cmd.argument);
    }
    return End{};
}

Session::End Session::oneRow(const ColumnFormat& format, const Cell& cell) {
    conn_.rowFormat(std::span(&format, 1));
    conn_.row(std::span(&format, 1), std::span(&cell, 1));
    return End{Token::Done, kDoneCount, 1};
}

// --- transactions ------------------------------------------------------------------------

bool Session::command(const char* sql) {
    Outcome o = pg_.command(sql);
    if (o.status == Outcome::Status::ConnectionLost) {
        backendLost_ = true;
    }
    return o.ok();
}

Session::End Session::setLongTrans(bool on) {
    if (config_.longTransAlways) {
        return End{};  // always on: the switch has nothing to change
    }
    longTrans_ = on;
    // Switching the mode off commits the mode's open unit of work, not one begun by BEGIN TRAN,
    // which lasts until its own COMMIT or ROLLBACK.
    if (!on && transactionOpen_ && tranCount_ == 0) {
        return endTransaction(true);
    }
    return End{};
}

// BEGIN TRAN: a unit of work that lasts until COMMIT TRAN or ROLLBACK TRAN, whatever the
// session's mode, like a long transaction. PostgreSQL's transaction starts with the first
// statement, as a long transaction's does. A nested BEGIN TRAN only counts, so that the commit
// that matches it leaves the outer unit of work open.
Session::End Session::beginTransaction() {
    ++tranCount_;
    return End{};
}

// What @@trancount answers: the BEGIN TRAN nesting depth, else 1 while a unit of work is open.
int32_t Session::tranCount() const {
    return tranCount_ > 0 ? tranCount_ : (transactionOpen_ ? 1 : 0);
}

// COMMIT / ROLLBACK: a commit that matches a nested BEGIN TRAN only counts down; anything else
// ends the unit of work (a rollback always ends all of it) and the session's own mode is in force
// again.
Session::End Session::endTransaction(bool commit) {
    if (commit && tranCount_ > 1) {
        --tranCount_;
        return End{};
    }
    tranCount_ = 0;
    if (!transactionOpen_) {
        return End{};
    }
    transactionOpen_ = false;
    Outcome o = pg_.command(commit ? "COMMIT" : "ROLLBACK");
    if (o.ok()) {
        return End{};
    }
    return settle(o, commit ? "COMMIT" : "ROLLBACK", false, false);
}

// IF @@TRANCOUNT > 0 COMMIT|ROLLBACK [BEGIN TRAN]: the end of the unit of work @@trancount
// reports, if there is one, and with `beginAfter` a BEGIN TRAN after it whatever the end did (as
// the batch would go on to it), so that a client without autocommit always has its unit of work.
Session::End Session::endTransactionIfOpen(bool commit, bool beginAfter) {
    End end;
    if (tranCount() > 0) {
        end = endTransaction(commit);
    }
    if (beginAfter && !backendLost_) {
        beginTransaction();
    }
    return end;
}

// The dialect lets no transaction statement through, but should anything else (a function, a
// procedure) leave PostgreSQL inside a transaction the session did not open, it is rolled back
// and the statement fails: the session never runs on inside a unit of work it does not know.
Session::End Session::closeUnknownTransaction(End end) {
    if (transactionOpen_ || backendLost_ || !pg_.inTransaction()) {
        return end;
    }
    command("ROLLBACK");
    log_.line("session {}: a statement left a transaction open; rolled back", id_);
    return gatewayFailure(backend::kErrNotSupported,
                          "THE STATEMENT OPENED A TRANSACTION OF ITS OWN, WHICH WAS ROLLED BACK");
}

// --- server options ----------------------------------------------------------------------

OptionValues Session::optionValues() const {
    OptionValues v;
    v.chained = longTransActive();
    v.chainedFixed = config_.longTransAlways;
    v.textSize = static_cast<int32_t>(textSize_);
    v.noCount = noCount_;
    v.noExec = noExec_;
    v.isolation = isolation_;
    return v;
}

// OPTIONCMD: a value set (answered by the DONE alone), or a query answered with the value.
Session::End Session::answerOption(const tds::OptionCommand& command) {
    OptionDecision decision = decideOption(command, optionValues());
    log_.line("session {}: option command {} for option {}", id_, command.command, command.option);
    return applyOption(decision);
}

// `set <option> on|off` for the options the gateway serves or whose value is fixed.
Session::End Session::setOption(const std::string& name, bool on) {
    return applyOption(decideNamedOption(name, on, optionValues()));
}

Session::End Session::applyOption(const OptionDecision& decision) {
    static const char* const kIsolation[] = {"READ UNCOMMITTED", "READ COMMITTED", "REPEATABLE READ",
                                             "SERIALIZABLE"};
    switch (decision.kind) {
        case OptionDecision::Kind::Keep:
            return End{};
        case OptionDecision::Kind::Refuse:
            return gatewayFailure(backend::kErrNotSupported, decision.refusal);
        case OptionDecision::Kind::Unknown:
            return gatewayFailure(backend::kErrUnknownCommand, decision.refusal);
        case OptionDecision::Kind::Report:
            conn_.optionInfo(static_cast<uint8_t>(decision.option), decision.reply);
            return End{};
        case OptionDecision::Kind::Change:
            break;
    }
    switch (decision.option) {
        case OptionId::TextSize:
            textSize_ = decision.value;
            conn_.setTextSize(static_cast<size_t>(textSize_));
            return End{};
        case OptionId::NoCount:
            noCount_ = decision.value != 0;
            return End{};
        case OptionId::NoExec:
            noExec_ = decision.value != 0;
            return End{};
        case OptionId::Chained:
            return setLongTrans(decision.value != 0);
        case OptionId::Isolation: {
            if (transactionOpen_) {
                return gatewayFailure(backend::kErrNotSupported,
                                      "THE ISOLATION LEVEL CANNOT CHANGE INSIDE A UNIT OF WORK");
            }
            std::string sql = std::string("SET SESSION CHARACTERISTICS AS TRANSACTION ISOLATION LEVEL ") +
                              kIsolation[decision.value & 3];
            if (!command(sql.c_str())) {
                return gatewayFailure(backend::kErrConnectionLost, "THE ISOLATION LEVEL COULD NOT BE SET");
            }
            isolation_ = static_cast<uint8_t>(decision.value);
            return End{};
        }
        default:
            return gatewayFailure(backend::kErrInternal, "AN OPTION WITH A FIXED VALUE CANNOT CHANGE");
    }
}

// Writes a statement's end token; with no count in force its row count is left out.
void Session::endStatement(Token token, uint16_t status, int32_t count) {
    if (noCount_) {
        status = static_cast<uint16_t>(status & ~kDoneCount);
        count = 0;
    }
    conn_.done(token, status, count);
}

// --- statements --------------------------------------------------------------------------

Session::End Session::runSql(const std::string& statement) {
    dialect::Plan plan = translate(statement);
    if (plan.error) {
        return fail(backend::Db2Error{plan.error->sqlcode, false, plan.error->message});
    }
    return closeUnknownTransaction(runPlan(plan, backend::statementVerb(statement), {}));
}

// Runs a plan: its setup statements, the statement (whose result goes to the client) and its
// after statements, under the savepoint of a long transaction or, when there is more than one
// statement to run outside one, in a transaction of their own.
Session::End Session::runPlan(const dialect::Plan& plan, const std::string& verb,
                              std::span<const backend::Param> params, const std::string& preparedName) {
    bool savepoint = longTransActive();
    bool wrapped = !savepoint && (!plan.setup.empty() || !plan.after.empty());
    if (savepoint && !transactionOpen_) {
        if (!command("BEGIN")) {
            return gatewayFailure(backend::kErrConnectionLost, "THE TRANSACTION COULD NOT BE STARTED");
        }
        transactionOpen_ = true;
    }
    if ((savepoint && !command("SAVEPOINT kwgw_statement")) || (wrapped && !command("BEGIN"))) {
        return gatewayFailure(backend::kErrConnectionLost, "THE STATEMENT COULD NOT BE STARTED");
    }
    Outcome o;
    for (const std::string& s : plan.setup) {
        o = pg_.run(s, {}, nullptr, this);
        if (!o.ok()) {
            return settle(o, verb, savepoint, wrapped);
        }
    }
    ClientSink sink(*this);
    Outcome main = preparedName.empty() ? pg_.run(plan.statement, params, &sink, this)
                                        : pg_.runPrepared(preparedName, params, &sink, this);
    if (!main.ok()) {
        return settle(main, verb, savepoint, wrapped);
    }
    for (const std::string& s : plan.after) {
        o = pg_.run(s, {}, nullptr, this);
        if (!o.ok()) {
            return settle(o, verb, savepoint, wrapped);
        }
    }
    return settle(main, verb, savepoint, wrapped);
}

// The dialect's plan for a statement; a translation that throws becomes a statement failure
// (-901) instead of the end of the session.
dialect::Plan Session::translate(const std::string& statement) {
    try {
        return dialect::translate(statement, dialect::Context{authId_});
    } catch (const std::exception& e) {
        log_.line("session {}: the translation of a statement failed: {}", id_, e.what());
        dialect::Plan plan;
        plan.error =
            dialect::Error{-901, std::string("UNSUCCESSFUL EXECUTION CAUSED BY A SYSTEM ERROR: ") + e.what()};
        return plan;
    }
}

// Ends a statement after it ran: keeps or undoes its work and says how its answer ends.
Session::End Session::settle(const Outcome& o, const std::string& verb, bool savepoint, bool wrapped) {
    if (o.ok()) {
        if ((savepoint && !command("RELEASE SAVEPOINT kwgw_statement")) || (wrapped && !command("COMMIT"))) {
            return gatewayFailure(backend::kErrConnectionLost, "THE STATEMENT COULD NOT BE COMPLETED");
        }
        End end;
        if (o.hasColumns || o.countValid) {
            end.status = kDoneCount;
            end.count = static_cast<int32_t>(o.rows);
        }
        return end;
    }
    if (o.status == Outcome::Status::ConnectionLost) {
        backendLost_ = true;
        transactionOpen_ = false;
        return gatewayFailure(backend::kErrConnectionLost, "THE CONNECTION TO THE DATABASE SERVER WAS LOST");
    }
    bool wholeUnit = o.status == Outcome::Status::Failed && !o.conversion &&
                     backend::rollsBackUnitOfWork(o.error.sqlstate);
    if (wholeUnit) {
        if (transactionOpen_ || wrapped) {
            command("ROLLBACK");
        }
        transactionOpen_ = false;
    } else if (savepoint) {
        command("ROLLBACK TO SAVEPOINT kwgw_statement");
        command("RELEASE SAVEPOINT kwgw_statement");
    } else if (wrapped) {
        command("ROLLBACK");
    }
    if (o.status == Outcome::Status::Stopped) {
        return End{};
    }
    backend::Db2Error err = o.conversion
                                ? backend::Db2Error{o.conversion->sqlcode, false, o.conversion->message}
                                : backend::mapError(o.error, backend::StatementContext{authId_, verb});
    End end = fail(err);
    end.stopBatch = wholeUnit;
    return end;
}

// NOEXEC: the statement is parsed and described, its row format sent with no rows.
Session::End Session::describeOnly(const std::string& statement) {
    dialect::Plan plan = translate(statement);
    if (plan.error) {
        return fail(backend::Db2Error{plan.error->sqlcode, false, plan.error->message});
    }
    std::string verb = backend::statementVerb(statement);
    // Setup statements may be needed for the statement to parse; they run in a scratch
    // savepoint that is rolled back. Inside an open transaction the savepoint also keeps a
    // parse error from aborting it.
    bool scratch = transactionOpen_ || !plan.setup.empty();
    bool began = scratch && !transactionOpen_;
    if ((began && !command("BEGIN")) || (scratch && !command("SAVEPOINT kwgw_noexec"))) {
        return gatewayFailure(backend::kErrConnectionLost, "THE STATEMENT COULD NOT BE STARTED");
    }
    Outcome o;
    for (const std::string& s : plan.setup) {
        o = pg_.run(s, {}, nullptr, this);
        if (!o.ok()) {
            break;
        }
    }
    ClientSink sink(*this);
    if (o.ok()) {
        o = pg_.describe(plan.statement, sink, this);
    }
    if (scratch) {
        command("ROLLBACK TO SAVEPOINT kwgw_noexec");
        command("RELEASE SAVEPOINT kwgw_noexec");
    }
    if (began) {
        command("ROLLBACK");
    }
    if (o.ok()) {
        return closeUnknownTransaction(
            End{Token::Done, static_cast<uint16_t>(sink.sawColumns() ? kDoneCount : 0), 0});
    }
    return closeUnknownTransaction(settle(o, verb, false, false));
}

// --- stored requests and catalog procedures ----------------------------------------------

// The text of the stored request `name` of `owner` (or of the session's user, then of the
// configured owner). A request that is not there fails as DB2's missing procedure when it was
// `called` as a procedure, else as the gateway's missing stored request.
bool Session::lookupStoredRequest(const std::string& owner, const std::string& name, bool called,
                                  std::string& text, End& failure) {
    std::vector<std::string> owners;
    if (!owner.empty()) {
        owners.push_back(owner);
    } else {
        owners.push_back(authId_);
        if (!config_.storedRequestOwner.empty() && config_.storedRequestOwner != authId_) {
            owners.push_back(config_.storedRequestOwner);
        }
    }
    std::vector<std::string> schemas;
    for (const std::string& o : owners) {
        schemas.push_back(dialect::pgName(o));
    }
    backend::Param params[] = {textArray(schemas), name};
    CaptureSink capture;
    // Inside an open transaction a failed lookup must not abort it: it gets a savepoint too.
    bool savepoint = transactionOpen_;
    if (savepoint && !command("SAVEPOINT kwgw_statement")) {
        failure = gatewayFailure(backend::kErrConnectionLost, "THE STATEMENT COULD NOT BE STARTED");
        return false;
    }
    Outcome o = pg_.run("SELECT kwgw.stored_request_text($1::text[], $2)", params, &capture, this);
    if (!o.ok()) {
        failure = settle(o, "SELECT", savepoint, false);
        return false;
    }
    if (savepoint && !command("RELEASE SAVEPOINT kwgw_statement")) {
        failure = gatewayFailure(backend::kErrConnectionLost, "THE STATEMENT COULD NOT BE COMPLETED");
        return false;
    }
    if (!capture.found && called) {
        failure = fail(backend::Db2Error{
            kSqlProcedureNotFound, false,
            fmt::format("NO PROCEDURE BY THE NAME {}{} HAVING COMPATIBLE ARGUMENTS WAS FOUND",
                        owner.empty() ? "" : owner + ".", name)});
        return false;
    }
    if (!capture.found) {
        failure = gatewayFailure(
            backend::kErrStoredRequestMissing,
            fmt::format("STORED REQUEST {} IS NOT IN PCSQL_HOSTLIB OF {}", name, fmt::join(owners, " OR ")));
        return false;
    }
    text = std::move(capture.value);
    return true;
}

// USE PROCEDURE: the stored request's statements, each answered like a statement of a
// procedure, then the return status.
Session::End Session::runProcedure(const std::string& argument) {
    auto parsed = parseUseProcedure(argument);
    if (auto* err = std::get_if<ArgumentError>(&parsed)) {
        return gatewayFailure(backend::kErrBadArgument, err->message);
    }
    return runStoredRequest(std::get<ProcedureCall>(parsed), false, nullptr);
}

// A stored request with its arguments: each statement answered like a statement of a procedure,
// then the end of the procedure (with the output parameters of a remote call).
Session::End Session::runStoredRequest(const ProcedureCall& call, bool called, const tds::ParamSet* outputs) {
    std::string text;
    End failure;
    if (!lookupStoredRequest(call.owner, call.name, called, text, failure)) {
        return failure;
    }
    auto substituted = substituteArguments(text, call);
    if (auto* err = std::get_if<ArgumentError>(&substituted)) {
        return gatewayFailure(backend::kErrBadArgument, err->message);
    }
    End last;
    for (const std::string& statement : splitStatements(std::get<std::string>(substituted))) {
        last = describesOnly() ? describeOnly(statement) : runSql(statement);
        if (stopping() || backendLost_) {
            return last;
        }
        if (last.status & kDoneError) {
            break;
        }
        endStatement(Token::DoneInProc, static_cast<uint16_t>(last.status | kDoneMore), last.count);
        last = End{};
    }
    return endProcedure(last, outputs);
}

// The end of a procedure's answer: a failed statement's DONEINPROC, the return status, the
// output parameters (none of the procedures changes one, so each goes back as it came), and the
// DONEPROC that the caller writes.
Session::End Session::endProcedure(End last, const tds::ParamSet* outputs) {
    bool failed = (last.status & kDoneError) != 0;
    if (failed) {
        conn_.done(Token::DoneInProc, static_cast<uint16_t>(last.status | kDoneMore), last.count);
    }
    conn_.returnStatus(failed ? kProcedureFailed : 0);
    if (outputs && tds::hasOutputParams(*outputs)) {
        conn_.returnedParams(*outputs);
    }
    return End{Token::DoneProc, static_cast<uint16_t>(kDoneProcedure | (failed ? kDoneError : 0)), 0,
               last.stopBatch};
}

// A remote procedure call is one answer: the procedure's, then its final end token (or the
// attention's). The statement log gets the call as the language call that would do the same.
void Session::answerRpc(const tds::RpcRequest& request) {
    attention_ = false;
    CallArguments arguments = rpcArguments(request.params);
    if (statementLog_) {
        std::vector<std::string> written;
        for (const CallArgument& a : arguments) {
            written.push_back(a.written);
        }
        statementLog_->append(id_, fmt::format("exec {} {}", request.name, fmt::join(written, ", ")));
    }
    size_t end = 0;
    auto name = parseProcedureName(request.name, end);
    End result;
    if (auto* err = std::get_if<ArgumentError>(&name)) {
        result = gatewayFailure(backend::kErrBadArgument, err->message);
    } else if (!trim(std::string_view(request.name).substr(end)).empty()) {
        result = gatewayFailure(backend::kErrBadArgument,
                                fmt::format("{} IS NOT THE NAME OF A PROCEDURE", upper(request.name)));
    } else {
        result = callProcedure(std::get<ProcedureName>(name), arguments, &request.params);
    }
    endAnswer(result);
}

// `[exec] name arguments` in a batch.
Session::End Session::runLanguageCall(const std::string& text) {
    size_t end = 0;
    auto name = parseProcedureName(text, end);
    if (auto* err = std::get_if<ArgumentError>(&name)) {
        return gatewayFailure(backend::kErrBadArgument, err->message);
    }
    if (end < text.size() && !isSpace(text[end])) {
        return gatewayFailure(backend::kErrBadArgument, fmt::format("{} IS NOT THE NAME OF A PROCEDURE",
                                                                    upper(text.substr(0, end + 1))));
    }
    auto arguments = languageArguments(std::string_view(text).substr(end));
    if (auto* err = std::get_if<ArgumentError>(&arguments)) {
        return gatewayFailure(backend::kErrBadArgument, err->message);
    }
    return callProcedure(std::get<ProcedureName>(name), std::get<CallArguments>(arguments), nullptr);
}

// A call by name: a catalog procedure (named without an owner, or with dbo), else a stored
// request; a database before the name must be the session's or a system one.
Session::End Session::callProcedure(const ProcedureName& name, const CallArguments& arguments,
                                    const tds::ParamSet* outputs) {
    if (!name.database.empty() && !servesDatabase(name.database)) {
        return fail(
            backend::Db2Error{kSqlUndefinedName, false, upper(name.database) + " IS AN UNDEFINED NAME"});
    }
    if (const CatalogProcedure* catalog = name.owner.empty() ? findCatalogProcedure(name.name) : nullptr) {
        return runCatalogProcedure(*catalog, arguments, outputs);
    }
    auto call = storedRequestCall(name, arguments);
    if (auto* err = std::get_if<ArgumentError>(&call)) {
        return gatewayFailure(backend::kErrBadArgument, err->message);
    }
    return runStoredRequest(std::get<ProcedureCall>(call), true, outputs);
}

bool Session::servesDatabase(const std::string& name) const {
    if (equalsIgnoreCase(name, pg_.databaseName())) {
        return true;
    }
    for (std::string_view system : kSystemDatabases) {
        if (equalsIgnoreCase(name, system)) {
            return true;
        }
    }
    return false;
}

// A catalog procedure: its kwgw function, called with the call's arguments as text parameters.
Session::End Session::runCatalogProcedure(const CatalogProcedure& procedure, const CallArguments& arguments,
                                          const tds::ParamSet* outputs) {
    auto bound = bindCatalogArguments(procedure, arguments);
    if (auto* err = std::get_if<ArgumentError>(&bound)) {
        return gatewayFailure(backend::kErrBadArgument, upper(procedure.name) + ": " + err->message);
    }
    dialect::Plan plan;
    plan.statement = catalogStatement(procedure);
    End result = runPlan(plan, "CALL", std::get<CatalogArguments>(bound));
    if (stopping() || backendLost_) {
        return result;
    }
    if (!(result.status & kDoneError)) {
        endStatement(Token::DoneInProc, static_cast<uint16_t>(result.status | kDoneMore), result.count);
        result = End{};
    }
    return endProcedure(result, outputs);
}

// --- failures ----------------------------------------------------------------------------

Session::End Session::fail(const backend::Db2Error& error) {
    std::string code = error.gateway ? fmt::format("ERR{}", error.code) : std::to_string(error.code);
    conn_.message(ServerMessage{
        kResultFailed, 1, kSeverityError, std::string(kResultFailedText) + code, config_.serverName, {}, 0});
    conn_.message(
        ServerMessage{kGatewayText, 1, kSeverityError, "DG21000: " + error.text, config_.serverName, {}, 0});
    log_.line("session {}: statement failed with {}: {}", id_, code, error.text);
    return End{Token::Done, kDoneError, 0};
}

Session::End Session::gatewayFailure(int code, const std::string& text) {
    return fail(backend::Db2Error{code, true, text});
}

}  // namespace gw::session
