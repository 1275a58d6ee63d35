// bulk.cpp - bulk copy into a table: `insert bulk <table> [(<columns>)]`, then its rows.
//
// Serves the session's `insert bulk` command and the bulk copy message after it. The command
// describes the table (the columns a SELECT * of it shows, as the client saw them in its FMTONLY
// describe) and answers a plain DONE; the message's rows, read packet by packet, go to one COPY
// FROM STDIN, which is the statement the message stands for: it runs under the statement's
// savepoint in a unit of work and commits alone otherwise, so a failing row (a type error, a NULL
// in a NOT NULL column, a duplicate key) leaves the table as it was and fails the message with its
// SQLCODE. An attention stops the load and undoes it. Invariant: every packet of a bulk copy
// message is read, whatever happens to the load, so the session stays in step with the client.
#include <cctype>

#include <fmt/format.h>

#include "common/text.h"
#include "protocol/bulk.h"
#include "session.h"

namespace gw::session {

using backend::Outcome;
using tds::ClientEvent;
using tds::kDoneAttention;
using tds::kDoneCount;
using tds::kDoneError;
using tds::Token;

namespace {

// A DB2 name as a delimited identifier of DB2 SQL: the name exactly, whatever its case.
std::string delimited(const std::string& name) {
    std::string out = "\"";
    for (char c : name) {
        out += c;
        if (c == '"') {
            out += '"';
        }
    }
    return out + "\"";
}

bool isNameChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '#' || c == '@' || c == '$' ||
           static_cast<unsigned char>(c) >= 0x80;
}

// One column of an insert bulk's column list: an ordinary identifier, or a delimited one (a
// quote inside doubled).
bool isColumnName(std::string_view item) {
    if (item.size() >= 2 && item.front() == '"' && item.back() == '"') {
        std::string_view inside = item.substr(1, item.size() - 2);
        for (size_t i = 0; i < inside.size(); ++i) {
            if (inside[i] == '"' && (i + 1 == inside.size() || inside[++i] != '"')) {
                return false;
            }
        }
        return !inside.empty();
    }
    for (char c : item) {
        if (!isNameChar(c)) {
            return false;
        }
    }
    return !item.empty();
}

// The SELECT list of `(a, b, "c")`, or an empty string when the text is not such a list.
std::string columnList(std::string_view text) {
    text = trim(text);
    if (text.size() < 2 || text.front() != '(' || text.back() != ')') {
        return {};
    }
    std::string list;
    std::string_view rest = text.substr(1, text.size() - 2);
    for (;;) {
        size_t comma = rest.find(',');
        std::string_view item = trim(rest.substr(0, comma));
        if (!isColumnName(item)) {
            return {};
        }
        list += (list.empty() ? "" : ", ") + std::string(item);
        if (comma == std::string_view::npos) {
            return list;
        }
        rest.remove_prefix(comma + 1);
    }
}

// How the reader finds each column in a row image: every column is announced nullable.
std::vector<tds::BulkColumn> bulkColumns(const backend::CopyTarget& target) {
    std::vector<tds::BulkColumn> out;
    for (const backend::ColumnPlan& c : target.columns) {
        out.push_back(tds::BulkColumn{c.format.type, c.format.length, true});
    }
    return out;
}

}  // namespace

// `insert bulk [[database.]owner.]table [(columns)]`: the table is described (in a scratch
// savepoint inside a unit of work, so that a failure there does not abort it) and kept for the
// bulk copy message that must come next.
Session::End Session::startBulk(const std::string& argument) {
    size_t end = 0;
    auto name = parseProcedureName(argument, end);
    auto* table = std::get_if<ProcedureName>(&name);
    std::string columns = "*";
    if (table && end < argument.size()) {
        columns = columnList(std::string_view(argument).substr(end));
    }
    if (!table || columns.empty()) {
        return gatewayFailure(
            backend::kErrBadArgument,
            "INSERT BULK TAKES A TABLE NAME AND PERHAPS A LIST OF ITS COLUMNS, NOT " + upper(argument));
    }
    if (!table->database.empty() && !servesDatabase(table->database)) {
        return fail(backend::Db2Error{-204, false, upper(table->database) + " IS AN UNDEFINED NAME"});
    }
    std::string select = "SELECT " + columns + " FROM " +
                         (table->owner.empty() ? "" : delimited(table->owner) + ".") + delimited(table->name);
    dialect::Plan plan = translate(select);
    if (plan.error) {
        return fail(backend::Db2Error{plan.error->sqlcode, false, plan.error->message});
    }
    bool scratch = transactionOpen_;
    if (scratch && !command("SAVEPOINT kwgw_noexec")) {
        return gatewayFailure(backend::kErrConnectionLost, "THE STATEMENT COULD NOT BE STARTED");
    }
    backend::CopyTarget target;
    Outcome o = backend::describeCopyTarget(pg_.connection(), plan.statement, bytesPerChar_, this, target);
    if (scratch && o.status != Outcome::Status::ConnectionLost) {
        command("ROLLBACK TO SAVEPOINT kwgw_noexec");
        command("RELEASE SAVEPOINT kwgw_noexec");
    }
    if (!o.ok()) {
        return settle(o, "INSERT", false, false);
    }
    bulkTable_ = (table->owner.empty() ? "" : table->owner + ".") + table->name;
    log_.line("session {}: insert bulk {}: {} columns", id_, bulkTable_, target.columns.size());
    bulkTarget_ = std::move(target);
    return End{};
}

// A bulk copy message: loaded into the table of the insert bulk before it, or refused when none
// came; either way answered once, with the rows loaded, the failure, or the attention.
void Session::answerBulk(ClientEvent& packet) {
    attention_ = false;
    End end;
    if (!bulkTarget_) {
        skipBulk(packet);
        if (!clientGone_ && !attention_) {
            log_.line("session {}: refused: bulk copy rows without insert bulk", id_);
            end = gatewayFailure(backend::kErrNotSupported, "BULK COPY ROWS MUST FOLLOW AN INSERT BULK");
        }
    } else {
        backend::CopyTarget target = std::move(*bulkTarget_);
        bulkTarget_.reset();
        end = loadBulk(target, packet);
    }
    if (clientGone_) {
        return;
    }
    if (attention_) {
        conn_.done(Token::Done, kDoneAttention, 0);
    } else {
        // The count is the answer to the bulk copy itself, so no-count leaves it in.
        conn_.done(Token::Done, end.status, end.count);
    }
    conn_.endReply();
}

// Reads the next packet of a bulk copy message; false when the client gave the message up with an
// attention or broke off.
bool Session::nextBulkPacket(ClientEvent& packet) {
    packet = conn_.readBulkPacket();
    if (packet.kind == ClientEvent::Kind::Attention) {
        log_.line("session {}: attention: bulk copy cancelled", id_);
        attention_ = true;
        return false;
    }
    if (packet.kind != ClientEvent::Kind::Bulk) {
        log_.line("session {}: dropped during a bulk copy: {}", id_, packet.reason);
        clientGone_ = true;
        return false;
    }
    return true;
}

// Reads the rest of a bulk copy message without loading it.
void Session::skipBulk(ClientEvent& packet) {
    while (!packet.bulkEnds && nextBulkPacket(packet)) {
    }
}

// The load: one COPY for the message's rows, under the statement's savepoint in a unit of work.
// A malformed row abandons the COPY (the rest of the message is still read) and fails the message.
Session::End Session::loadBulk(const backend::CopyTarget& target, ClientEvent& packet) {
    const bool savepoint = longTransActive();
    if (savepoint && !transactionOpen_) {
        if (!command("BEGIN")) {
            skipBulk(packet);
            return gatewayFailure(backend::kErrConnectionLost, "THE TRANSACTION COULD NOT BE STARTED");
        }
        transactionOpen_ = true;
    }
    if (savepoint && !command("SAVEPOINT kwgw_statement")) {
        skipBulk(packet);
        return gatewayFailure(backend::kErrConnectionLost, "THE STATEMENT COULD NOT BE STARTED");
    }
    backend::CopyLoad load(pg_.connection(), this);
    const bool started = load.start(target);
    tds::BulkReader reader(bulkColumns(target), config_.limits.maxMessageSize);
    tds::BulkRow row;
    int64_t rows = 0;
    std::string malformed;
    for (;;) {
        if (started && malformed.empty()) {
            reader.add(packet.bulk);
            tds::BulkRead read;
            while ((read = reader.next(row)) == tds::BulkRead::Row) {
                ++rows;
                load.addRow(row.cells);
            }
            if (read == tds::BulkRead::Malformed) {
                malformed = fmt::format("ROW {} IS MALFORMED: {}", rows + 1, upper(reader.reason()));
            }
        }
        if (packet.bulkEnds) {
            break;
        }
        if (!nextBulkPacket(packet)) {
            load.stopByClient();
            break;
        }
    }
    if (started && malformed.empty() && !attention_ && !clientGone_ && reader.pending()) {
        malformed = fmt::format("THE MESSAGE ENDS INSIDE ROW {}", rows + 1);
    }
    Outcome o = load.finish(malformed.empty() ? nullptr : "a malformed bulk copy row");
    if (!malformed.empty() && o.status == Outcome::Status::Failed) {
        if (savepoint) {
            command("ROLLBACK TO SAVEPOINT kwgw_statement");
            command("RELEASE SAVEPOINT kwgw_statement");
        }
        log_.line("session {}: bulk copy into {} refused: {}", id_, bulkTable_, malformed);
        return gatewayFailure(backend::kErrBadArgument, "BULK COPY " + malformed);
    }
    End end = settle(o, "INSERT", savepoint, false);
    if (o.ok()) {
        log_.line("session {}: bulk copy into {}: {} rows", id_, bulkTable_, o.rows);
    }
    return end;
}

}  // namespace gw::session
