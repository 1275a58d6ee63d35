// commands.cpp - the gateway command recogniser.
//
// Serves the session's dispatch. A statement is read as a short list of words; a command is
// recognised by its first one or two words and checked for the values it takes. Anything that
// is not recognised is SQL, except SET statements, which DB2 does not run dynamically apart from
// SET CURRENT ..., so an unknown SET is reported as an unknown gateway command.
#include "commands.h"
#include "common/text.h"
#include "procedure.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <iterator>
#include <vector>

namespace gw::session {
namespace {

// The statement cut at white space: words (upper case) and, for each, the text after it.
struct Words {
    std::vector<std::string> words;
    std::vector<std::string_view> rest;  // rest[i]: trimmed text after words[i]
};

Words splitWords(std::string_view s, size_t maxWords) {
    Words w;
    s = trim(s);
    while (!s.empty() && w.words.size() < maxWords) {
        size_t end = 0;
        while (end < s.size() && !std::isspace(static_cast<unsigned char>(s[end]))) {
            ++end;
        }
        w.words.push_back(upper(s.substr(0, end)));
        s = trim(s.substr(end));
        w.rest.push_back(s);
    }
    return w;
}

Command make(Command::Kind kind, std::string argument = {}, bool flag = false) {
    Command c;
    c.kind = kind;
    c.argument = std::move(argument);
    c.flag = flag;
    return c;
}

Command bad(std::string why) {
    return make(Command::Kind::BadArgument, std::move(why));
}

// YES/NO (also ON/OFF) as a flag; BadArgument otherwise.
Command yesNo(Command::Kind kind, const Words& w, std::string_view name) {
    if (w.words.size() == 3) {
        const std::string& v = w.words[2];
        if (v == "YES" || v == "ON") {
            return make(kind, {}, true);
        }
        if (v == "NO" || v == "OFF") {
            return make(kind, {}, false);
        }
    }
    return bad(std::string("SET ") + std::string(name) + " TAKES YES OR NO");
}

// SET TRANSACTION ISOLATION LEVEL followed by a level number (0 to 3) or its name.
Command isolationLevel(const Words& w) {
    static const char* const kNames[] = {"READ UNCOMMITTED", "READ COMMITTED", "REPEATABLE READ",
                                         "SERIALIZABLE"};
    if (w.words.size() >= 5 && w.words[2] == "ISOLATION" && w.words[3] == "LEVEL") {
        std::string level = w.words[4];
        for (size_t i = 5; i < w.words.size(); ++i) {
            level += ' ' + w.words[i];
        }
        for (long n = 0; n < 4; ++n) {
            if (level == std::to_string(n) || level == kNames[n]) {
                Command c = make(Command::Kind::Isolation);
                c.number = n;
                return c;
            }
        }
    }
    return bad("SET TRANSACTION ISOLATION LEVEL TAKES 0, 1, 2, 3 OR THE NAME OF A LEVEL");
}

Command classifySet(const Words& w, std::string_view statement) {
    if (w.words.size() < 2) {
        return make(Command::Kind::Unknown, std::string(statement));
    }
    const std::string& what = w.words[1];
    if (what == "CURRENT") {
        return make(Command::Kind::Sql);
    }
    if (what == "LONG_TRANS") {
        return yesNo(Command::Kind::LongTrans, w, what);
    }
    if (what == "NOEXEC") {
        return yesNo(Command::Kind::NoExec, w, what);
    }
    if (what == "FMTONLY") {
        return yesNo(Command::Kind::FmtOnly, w, what);
    }
    if (what == "CONVERT") {
        return w.rest[1].empty() ? bad("SET CONVERT NEEDS AN ARGUMENT")
                                 : make(Command::Kind::Convert, std::string(w.rest[1]));
    }
    if (what == "TRANSFORM") {
        return w.rest[1].empty() ? bad("SET TRANSFORM NEEDS AN ARGUMENT")
                                 : make(Command::Kind::Transform, std::string(w.rest[1]));
    }
    if (what == "ALLOCATE") {
        if (w.words.size() == 3 && (w.words[2] == "CONNECT" || w.words[2] == "REQUEST")) {
            return make(Command::Kind::Allocate, w.words[2]);
        }
        return bad("SET ALLOCATE TAKES CONNECT OR REQUEST");
    }
    if (what == "TEXTSIZE") {
        long n = 0;
        std::string_view v = w.words.size() == 3 ? std::string_view(w.words[2]) : std::string_view();
        auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), n);
        if (v.empty() || ec != std::errc() || end != v.data() + v.size() || n < 0) {
            return bad("SET TEXTSIZE TAKES A NUMBER");
        }
        Command c = make(Command::Kind::TextSize);
        c.number = n;
        return c;
    }
    if (what == "TRANSACTION") {
        return isolationLevel(w);
    }
    if (w.words.size() == 3 && (w.words[2] == "ON" || w.words[2] == "OFF")) {
        return make(Command::Kind::SetOption, what, w.words[2] == "ON");
    }
    return make(Command::Kind::Unknown, std::string(statement));
}

bool isTranWord(const std::string& word) {
    return word == "TRAN" || word == "TRANSACTION";
}

// commit / rollback, alone, followed by WORK, or by TRAN or TRANSACTION and perhaps the name
// the transaction was begun with (which names nothing the gateway keeps: there is one unit of
// work, and it is the one that ends).
bool isTransactionEnd(const Words& w) {
    if (w.words.size() == 1) {
        return true;
    }
    if (w.words.size() == 2 && w.words[1] == "WORK") {
        return true;
    }
    return (w.words.size() == 2 || w.words.size() == 3) && isTranWord(w.words[1]);
}

// The database name of `use <name>`, without [brackets] or "quotes".
std::string databaseName(std::string_view name) {
    if (name.size() >= 2 &&
        ((name.front() == '[' && name.back() == ']') || (name.front() == '"' && name.back() == '"'))) {
        return std::string(name.substr(1, name.size() - 2));
    }
    return std::string(name);
}

// A procedure call: EXEC or EXECUTE and a name, or the name of a catalog procedure alone
// (`sp_pkeys emp`, `kwdb..sp_pkeys emp`).
Command classifyCall(const Words& w, std::string_view statement) {
    if ((w.words[0] == "EXEC" || w.words[0] == "EXECUTE") && w.words.size() >= 2) {
        return make(Command::Kind::Procedure, std::string(w.rest[0]), true);
    }
    size_t end = 0;
    auto name = parseProcedureName(statement, end);
    auto* parsed = std::get_if<ProcedureName>(&name);
    bool alone = end == statement.size() || isSpace(statement[end]);
    if (parsed && alone && parsed->owner.empty() && findCatalogProcedure(parsed->name)) {
        return make(Command::Kind::Procedure, std::string(statement));
    }
    return make(Command::Kind::Sql);
}

// The conditional end of a unit of work, IF @@TRANCOUNT > 0 COMMIT|ROLLBACK [TRAN|TRANSACTION|
// WORK] [BEGIN TRAN|TRANSACTION], as FreeTDS ODBC sends it to end a transaction (and, with
// autocommit off, begin the next one). `>` is read as a word of its own wherever it stands.
Command conditionalEnd(std::string_view statement) {
    std::vector<std::string> words;
    for (const std::string& word : splitWords(statement, 16).words) {
        size_t start = 0;
        for (size_t gt = word.find('>'); gt != std::string::npos; gt = word.find('>', start)) {
            if (gt > start) {
                words.push_back(word.substr(start, gt - start));
            }
            words.emplace_back(">");
            start = gt + 1;
        }
        if (start < word.size()) {
            words.push_back(word.substr(start));
        }
    }
    static const std::string_view kCondition[] = {"IF", "@@TRANCOUNT", ">", "0"};
    if (words.size() < 5 || !std::equal(std::begin(kCondition), std::end(kCondition), words.begin())) {
        return make(Command::Kind::Sql);
    }
    const std::string& verb = words[4];
    if (verb != "COMMIT" && verb != "ROLLBACK") {
        return make(Command::Kind::Sql);
    }
    size_t at = 5;
    if (at < words.size() && (isTranWord(words[at]) || words[at] == "WORK")) {
        ++at;
    }
    bool begin = at + 2 == words.size() && words[at] == "BEGIN" && isTranWord(words[at + 1]);
    if (at != words.size() && !begin) {
        return make(Command::Kind::Sql);
    }
    return make(verb == "COMMIT" ? Command::Kind::CommitIfOpen : Command::Kind::RollbackIfOpen, {}, begin);
}

}  // namespace

Command classify(std::string_view statement) {
    statement = trim(statement);
    Words w = splitWords(statement, 8);
    if (w.words.empty()) {
        return make(Command::Kind::Sql);
    }
    const std::string& first = w.words[0];
    if (first == "SELECT" && w.words.size() == 2 && w.words[1] == "@@LONG_TRANS") {
        return make(Command::Kind::LongTransQuery);
    }
    if (first == "SELECT" && w.words.size() == 2 && w.words[1] == "@@SPID") {
        return make(Command::Kind::SpidQuery);
    }
    if (first == "SET") {
        return classifySet(w, statement);
    }
    if (first == "USE" && w.words.size() >= 2 && w.words[1] == "PROCEDURE") {
        return make(Command::Kind::UseProcedure, std::string(w.rest[1]));
    }
    if (first == "USE" && w.words.size() >= 2) {
        std::string_view name = trim(statement.substr(3));
        bool delimited =
            (name.front() == '[' && name.back() == ']') || (name.front() == '"' && name.back() == '"');
        if (delimited || w.words.size() == 2) {
            return make(Command::Kind::Use, databaseName(name));
        }
    }
    if (first == "SELECT" && w.words.size() == 2 && w.words[1] == "@@TRANCOUNT") {
        return make(Command::Kind::TranCountQuery);
    }
    if (first == "SELECT" && w.words.size() == 2 && w.words[1] == "@@VERSION") {
        return make(Command::Kind::VersionQuery);
    }
    if (first == "BEGIN" && (w.words.size() == 2 || w.words.size() == 3) && isTranWord(w.words[1])) {
        return make(Command::Kind::BeginTran, w.words.size() == 3 ? w.words[2] : std::string());
    }
    if ((first == "COMMIT" || first == "ROLLBACK") && isTransactionEnd(w)) {
        return make(first == "COMMIT" ? Command::Kind::Commit : Command::Kind::Rollback);
    }
    if (first == "IF") {
        return conditionalEnd(statement);
    }
    if (first == "INSERT" && w.words.size() >= 2 && w.words[1] == "BULK") {
        return make(Command::Kind::InsertBulk, std::string(w.rest[1]));
    }
    return classifyCall(w, statement);
}

}  // namespace gw::session
