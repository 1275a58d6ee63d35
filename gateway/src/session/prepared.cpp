// prepared.cpp - dynamic SQL for one client: PREPARE, DESCRIBE, EXECUTE and DEALLOCATE of
// statements by id, EXECUTE IMMEDIATE, and language requests that carry parameter values.
//
// A prepare translates the DB2 text as a language request's statement would be, numbers its `?`
// markers $1..$n and prepares it in PostgreSQL, so that errors of the text come at PREPARE as in
// DB2; its answer is the acknowledgement, the parameter and row formats, and DONE. An execute
// runs the prepared statement with the values under the same transaction rules as any statement
// (savepoint inside a long transaction); a date, time or timestamp parameter may come in DB2's
// forms, as a literal may; a result set is answered as a light-weight procedure's (DONEINPROC,
// then DONEPROC). Statements whose translation needs setup or after
// statements (DDL) are kept as text and run unprepared each time.
#include <fmt/format.h>

#include "backend/types.h"
#include "batch.h"
#include "common/text.h"
#include "expr.h"
#include "markers.h"
#include "session.h"

namespace gw::session {

using backend::Outcome;
using tds::DynamicOp;
using tds::kDoneAttention;
using tds::Token;

namespace {

// DB2's codes for an EXECUTE that names no prepared statement, for values that do not match the
// markers, and for a system error.
constexpr int kSqlNotPrepared = -518;
constexpr int kSqlMarkerCount = -313;
constexpr int kSqlSystemError = -901;
constexpr int kSqlResourceUnavailable = -904;
constexpr uint32_t kMaxShortCharacter = 255;

// Keeps the row format a describe produces, sending nothing.
class FormatSink : public backend::RowSink {
  public:
    void columns(std::span<const ColumnFormat> formats) override {
        value.assign(formats.begin(), formats.end());
    }
    bool row(std::span<const Cell>) override { return true; }
    void warning(const std::string&) override {}
    std::vector<ColumnFormat> value;
};

// The format a parameter of PostgreSQL type `type` is described with. PostgreSQL knows no length
// for a parameter, so character parameters are described as VARCHAR(255), the longest a client
// sends as plain character data, rather than as LONG VARCHAR.
ColumnFormat parameterFormat(uint32_t type) {
    ColumnFormat f = backend::planColumn(type, -1, {}).format;
    if (f.type == WireType::Text || f.type == WireType::LongChar) {
        f.type = WireType::VarChar;
        f.length = kMaxShortCharacter;
    }
    return f;
}

// Numbers the markers of a translated statement; false when its text does not tokenize.
bool numberPlanMarkers(dialect::Plan& plan, std::span<const int> order, size_t& count) {
    try {
        count = dialect::numberMarkers(plan.statement, order);
        return true;
    } catch (...) {
        return false;
    }
}

// The values with each one of a date, time or timestamp parameter in a DB2 form PostgreSQL does
// not read ('23.59.58', '2001-03-05-07.43.54.000120') given in ISO form instead; other values, and
// character data that looks like a time, as they came. `values` itself when none needs it, else
// the values copied into `converted`.
std::span<const backend::Param> readableDatetimes(std::span<const backend::Param> values,
                                                  std::span<const uint32_t> types,
                                                  std::vector<backend::Param>& converted) {
    for (size_t i = 0; i < values.size() && i < types.size(); ++i) {
        if (!values[i] || !backend::isDatetimeType(types[i])) {
            continue;
        }
        if (std::string iso = dialect::isoDatetime(*values[i]); !iso.empty()) {
            if (converted.empty()) {
                converted.assign(values.begin(), values.end());
            }
            converted[i] = std::move(iso);
        }
    }
    return converted.empty() ? values : std::span<const backend::Param>(converted);
}

// The values one statement uses, in order of first use, with `order` (the 1-based positions of
// its markers' values among all of them) renumbered to match.
std::vector<backend::Param> valuesInUse(std::vector<int>& order, std::span<const backend::Param> values) {
    std::vector<backend::Param> used;
    std::vector<int> local(values.size() + 1, 0);
    for (int& position : order) {
        if (position < 1 || static_cast<size_t>(position) > values.size()) {
            continue;
        }
        if (local[position] == 0) {
            used.push_back(values[position - 1]);
            local[position] = static_cast<int>(used.size());
        }
        position = local[position];
    }
    return used;
}

}  // namespace

const PreparedStatement* PreparedStatements::find(const std::string& id) const {
    auto it = byId_.find(id);
    return it == byId_.end() ? nullptr : &it->second;
}

std::optional<PreparedStatement> PreparedStatements::put(const std::string& id, PreparedStatement statement) {
    std::optional<PreparedStatement> old = remove(id);
    byId_.emplace(id, std::move(statement));
    return old;
}

std::optional<PreparedStatement> PreparedStatements::remove(const std::string& id) {
    auto it = byId_.find(id);
    if (it == byId_.end()) {
        return std::nullopt;
    }
    PreparedStatement old = std::move(it->second);
    byId_.erase(it);
    return old;
}

std::string PreparedStatements::newPgName() {
    return fmt::format("kwgw_dynamic_{}", ++next_);
}

// One dynamic request is one answer: its tokens and a final end token (or the attention's).
void Session::answerDynamic(const tds::DynamicRequest& request) {
    attention_ = false;
    End end;
    switch (static_cast<DynamicOp>(request.op)) {
        case DynamicOp::Prepare:
            end = prepareStatement(request);
            break;
        case DynamicOp::Execute:
            end = executeStatement(request);
            break;
        case DynamicOp::ExecuteImmediate:
            end = runMarked(std::string(tds::unwrapProcedure(request.statement, request.id)), {},
                            request.params.values);
            break;
        case DynamicOp::Deallocate:
            end = deallocateStatement(request);
            break;
        case DynamicOp::DescribeInput:
        case DynamicOp::DescribeOutput:
            end = describeStatement(request, request.op == static_cast<uint8_t>(DynamicOp::DescribeInput));
            break;
        default:
            log_.line("session {}: refused: dynamic request of type {}", id_, request.op);
            end = gatewayFailure(
                backend::kErrNotSupported,
                fmt::format("DYNAMIC SQL REQUESTS OF TYPE {:#04x} ARE NOT SUPPORTED", request.op));
            break;
    }
    endAnswer(end);
}

// LANGUAGE with parameters. Named parameters (`@P1`), or unnamed ones standing for the text's
// variables in order of first use when there are as many variables as values, may serve several
// statements run together (jTDS's PreparedStatement batch): each statement gets the values its
// variables name. Otherwise the text is one statement whose `?` markers take the values in order.
void Session::answerWithParams(const std::string& text, const tds::ParamSet& params) {
    attention_ = false;
    std::vector<std::string> names;
    bool named = false;
    for (const tds::ParamDescription& d : params.formats) {
        names.push_back(d.name);
        named = named || !d.name.empty();
    }
    if (!named) {
        std::vector<std::string> variables = dialect::variableNames(text);
        if (!variables.empty() && variables.size() == params.formats.size()) {
            names = std::move(variables);
            named = true;
        }
    }
    if (!named) {
        endAnswer(runMarked(text, {}, params.values));
        return;
    }
    std::vector<std::string> statements = splitBatch(text);
    if (statements.empty()) {
        statements.push_back(text);
    }
    for (size_t i = 0; i < statements.size(); ++i) {
        if (conn_.readable(0)) {
            clientSpoke();
        }
        std::vector<int> order;
        std::string marked = dialect::namedMarkers(statements[i], names, order);
        // A statement that uses no value (a SET, a unit of work's end) is answered as in a plain
        // batch, where the gateway's own commands are recognised.
        End end = stopping()      ? End{}
                  : order.empty() ? answer(statements[i])
                                  : runMarked(marked, order, valuesInUse(order, params.values));
        bool last = i + 1 == statements.size() || end.stopBatch || backendLost_ || clientGone_ || attention_;
        if (!last) {
            endStatement(end.token, static_cast<uint16_t>(end.status | tds::kDoneMore), end.count);
            continue;
        }
        endAnswer(end);
        return;
    }
}

void Session::endAnswer(const End& end) {
    if (clientGone_) {
        return;
    }
    if (attention_) {
        conn_.done(Token::Done, kDoneAttention, 0);
    } else {
        endStatement(end.token, end.status, end.count);
    }
    conn_.endReply();
}

// Translates and runs one statement with parameter values, unprepared.
Session::End Session::runMarked(const std::string& text, std::span<const int> order,
                                std::span<const backend::Param> values) {
    dialect::Plan plan = translate(text);
    if (plan.error) {
        return fail(backend::Db2Error{plan.error->sqlcode, false, plan.error->message});
    }
    size_t markers = 0;
    if (!numberPlanMarkers(plan, order, markers)) {
        return fail(backend::Db2Error{kSqlSystemError, false, "THE STATEMENT TEXT COULD NOT BE READ AGAIN"});
    }
    if (markers > 0 && order.empty() && markers != values.size()) {
        return fail(backend::Db2Error{kSqlMarkerCount, false,
                                      "THE NUMBER OF HOST VARIABLES SPECIFIED IS NOT EQUAL TO THE NUMBER OF "
                                      "PARAMETER MARKERS"});
    }
    std::span<const backend::Param> used = markers == 0 ? std::span<const backend::Param>() : values;
    return closeUnknownTransaction(runPlan(plan, backend::statementVerb(text), used));
}

// PREPARE: translation, then a PostgreSQL prepare and describe under a savepoint when a unit of
// work is open (a statement that does not parse must not end it).
Session::End Session::prepareStatement(const tds::DynamicRequest& request) {
    PreparedStatement ps;
    ps.text = std::string(tds::unwrapProcedure(request.statement, request.id));
    ps.verb = backend::statementVerb(ps.text);
    if (std::optional<PreparedStatement> old = prepared_.remove(request.id); old && !old->pgName.empty()) {
        command(("DEALLOCATE " + old->pgName).c_str());
    }
    if (prepared_.size() >= PreparedStatements::kMaxStatements) {
        return fail(backend::Db2Error{
            kSqlResourceUnavailable, false,
            fmt::format("UNSUCCESSFUL EXECUTION CAUSED BY AN UNAVAILABLE RESOURCE: THE SESSION HOLDS {} "
                        "PREPARED STATEMENTS; DEALLOCATE ONE FIRST",
                        PreparedStatements::kMaxStatements)});
    }
    ps.plan = translate(ps.text);
    if (ps.plan.error) {
        return fail(backend::Db2Error{ps.plan.error->sqlcode, false, ps.plan.error->message});
    }
    if (!numberPlanMarkers(ps.plan, {}, ps.markers)) {
        return fail(backend::Db2Error{kSqlSystemError, false, "THE STATEMENT TEXT COULD NOT BE READ AGAIN"});
    }
    if (ps.plan.setup.empty() && ps.plan.after.empty()) {
        ps.pgName = prepared_.newPgName();
        bool savepoint = transactionOpen_;
        if (savepoint && !command("SAVEPOINT kwgw_statement")) {
            return gatewayFailure(backend::kErrConnectionLost, "THE STATEMENT COULD NOT BE STARTED");
        }
        std::vector<uint32_t> types;
        FormatSink rows;
        Outcome o = pg_.prepareNamed(ps.pgName, ps.plan.statement, types, rows, this);
        if (!o.ok()) {
            return settle(o, ps.verb, savepoint, false);
        }
        if (savepoint && !command("RELEASE SAVEPOINT kwgw_statement")) {
            return gatewayFailure(backend::kErrConnectionLost, "THE STATEMENT COULD NOT BE COMPLETED");
        }
        for (uint32_t type : types) {
            ps.paramFormats.push_back(parameterFormat(type));
        }
        ps.paramTypes = std::move(types);
        ps.rowFormats = std::move(rows.value);
    }
    log_.line("session {}: prepared {} ({} markers{})", id_, request.id, ps.markers,
              ps.pgName.empty() ? ", run unprepared" : "");
    conn_.dynamicAck(request.id);
    if (!ps.paramFormats.empty()) {
        conn_.paramFormat(ps.paramFormats);
    }
    if (!ps.rowFormats.empty()) {
        conn_.rowFormat(ps.rowFormats);
    }
    prepared_.put(request.id, std::move(ps));
    return End{};
}

Session::End Session::executeStatement(const tds::DynamicRequest& request) {
    const PreparedStatement* ps = prepared_.find(request.id);
    if (!ps) {
        return fail(backend::Db2Error{
            kSqlNotPrepared, false,
            "THE EXECUTE STATEMENT DOES NOT IDENTIFY A VALID PREPARED STATEMENT " + upper(request.id)});
    }
    if (request.params.values.size() != ps->markers) {
        return fail(
            backend::Db2Error{kSqlMarkerCount, false,
                              fmt::format("THE NUMBER OF HOST VARIABLES SPECIFIED ({}) IS NOT EQUAL TO "
                                          "THE NUMBER OF PARAMETER MARKERS ({})",
                                          request.params.values.size(), ps->markers)});
    }
    if (describesOnly()) {
        // NOEXEC (or FMTONLY): the statement was parsed and described at PREPARE; its row format,
        // no rows, ended as an executed result set is (below), so Client-Library reads it as empty.
        if (ps->rowFormats.empty()) {
            return End{};
        }
        conn_.rowFormat(ps->rowFormats);
        endStatement(Token::DoneInProc, static_cast<uint16_t>(tds::kDoneCount | tds::kDoneMore), 0);
        return End{Token::DoneProc, tds::kDoneProcedure, 0};
    }
    std::vector<backend::Param> converted;
    std::span<const backend::Param> values =
        readableDatetimes(request.params.values, ps->paramTypes, converted);
    End end = closeUnknownTransaction(runPlan(ps->plan, ps->verb, values, ps->pgName));
    if (ps->rowFormats.empty() || (end.status & tds::kDoneError) || attention_ || clientGone_) {
        return end;
    }
    // A prepared statement is a light-weight procedure: its result set ends with DONEINPROC and
    // the answer with DONEPROC. Client-Library reads a result set that ends in the final DONE as
    // rows still to come, and a fetch from an empty one waits for ever.
    endStatement(Token::DoneInProc, static_cast<uint16_t>(end.status | tds::kDoneMore), end.count);
    return End{Token::DoneProc, tds::kDoneProcedure, 0};
}

// DEALLOCATE: forgets the statement (an id that was never prepared is already deallocated).
Session::End Session::deallocateStatement(const tds::DynamicRequest& request) {
    std::optional<PreparedStatement> old = prepared_.remove(request.id);
    if (old && !old->pgName.empty() && !command(("DEALLOCATE " + old->pgName).c_str()) && backendLost_) {
        return gatewayFailure(backend::kErrConnectionLost, "THE CONNECTION TO THE DATABASE SERVER WAS LOST");
    }
    conn_.dynamicAck(request.id);
    return End{};
}

// DESCRIBE INPUT / OUTPUT of a prepared statement: the formats kept from its PREPARE.
Session::End Session::describeStatement(const tds::DynamicRequest& request, bool input) {
    const PreparedStatement* ps = prepared_.find(request.id);
    if (!ps) {
        return fail(backend::Db2Error{
            kSqlNotPrepared, false,
            "THE DESCRIBE STATEMENT DOES NOT IDENTIFY A VALID PREPARED STATEMENT " + upper(request.id)});
    }
    conn_.dynamicAck(request.id);
    if (input) {
        conn_.paramFormat(ps->paramFormats);
    } else if (!ps->rowFormats.empty()) {
        conn_.rowFormat(ps->rowFormats);
    }
    return End{};
}

}  // namespace gw::session
