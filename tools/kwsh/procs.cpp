// procs.cpp - \requests, \request, \call and \dv through the driver's stored request and view
// text requests (73, 74, 75, 97).
//
// Serves the command table. The block's input fields a request reads are cleared again after it
// answers, and the lists and texts it hands back are freed as a host frees them.
#include "procs.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>
#include <ostream>
#include <vector>

#include "hostlist.h"
#include "kwconst.h"
#include "kwshr.h"
#include "output.h"
#include "shell.h"

namespace kwsh {

namespace {

// The sqlCode of request 97 when the user may not read the view catalog.
constexpr int32_t kViewTextRefused = 4;

bool startsWithWord(const std::string& text, const std::string& word) {
    if (text.size() < word.size()) {
        return false;
    }
    for (size_t i = 0; i < word.size(); ++i) {
        if (std::toupper(static_cast<unsigned char>(text[i])) != word[i]) {
            return false;
        }
    }
    return text.size() == word.size() || std::isspace(static_cast<unsigned char>(text[word.size()]));
}

std::string trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) {
        return "";
    }
    const size_t last = text.find_last_not_of(" \t\r\n;");
    return last == std::string::npos || last < first ? "" : text.substr(first, last - first + 1);
}

bool requireConnection(Shell& shell) {
    if (!shell.session().connected()) {
        shell.failText("ERROR: not connected");
        return false;
    }
    return true;
}

// A text the driver allocated in the block's context, freed when the command ends.
struct DriverText {
    KWCTX context;
    char* text;
    ~DriverText() {
        if (text != nullptr) {
            kwshr_free(context, text);
        }
    }
};

}  // namespace

std::optional<ProcedureCall> parseProcedureCall(const std::string& text, std::string& error) {
    ProcedureCall call;
    std::string statement = trimmed(text);
    const size_t lastBlank = statement.find_last_of(" \t");
    const std::string lastWord = lastBlank == std::string::npos ? statement : statement.substr(lastBlank + 1);
    if (!lastWord.empty() && lastWord[0] == '#') {
        const std::string digits = lastWord.substr(1);
        if (digits.empty() || digits.size() > 9 ||
            !std::all_of(digits.begin(), digits.end(), [](unsigned char c) { return std::isdigit(c); })) {
            error = "ERROR: the result set is a number after #, not \"" + lastWord + "\"";
            return std::nullopt;
        }
        call.resultSet = std::stoi(digits);
        statement = lastBlank == std::string::npos ? "" : trimmed(statement.substr(0, lastBlank));
    }
    if (statement.empty()) {
        error = "ERROR: \\call needs a procedure";
        return std::nullopt;
    }
    if (!startsWithWord(statement, "EXECUTE") && !startsWithWord(statement, "USE")) {
        statement = "USE PROCEDURE " + statement;
    }
    call.statement = statement;
    return call;
}

std::string plainLines(const char* text) {
    std::string out;
    for (const char* p = text != nullptr ? text : ""; *p != '\0'; ++p) {
        if (*p == '\r' && p[1] == '\n') {
            continue;
        }
        out += *p;
    }
    while (!out.empty() && out.back() == '\n') {
        out.pop_back();
    }
    return out;
}

bool listStoredRequestsCommand(Shell& shell) {
    if (!requireConnection(shell)) {
        return false;
    }
    Session& session = shell.session();
    RequestBlock& block = session.block();
    const Outcome listed = session.call(REQ_LIST_STORED_REQUESTS);
    auto* list = reinterpret_cast<HostList*>(block.result);
    std::vector<std::string> names;
    for (HostListNode* node = list != nullptr ? list->first : nullptr; node != nullptr; node = node->next) {
        auto* entry = static_cast<StoredRequestEntry*>(node->data);
        names.emplace_back(entry->name);
        kwshr_free(block.memoryContext, entry->owner);
        kwshr_free(block.memoryContext, entry);
    }
    if (list != nullptr) {
        kwshr_destroyList(list);
    }
    if (!listed.ok()) {
        shell.fail(listed);
        return false;
    }
    if (names.empty()) {
        shell.say("Did not find any stored requests.");
        return true;
    }
    std::sort(names.begin(), names.end());
    std::unique_ptr<ResultPrinter> printer = shell.newPrinter(!shell.settings().quiet);
    printer->begin({{"Name", false}});
    for (const std::string& name : names) {
        printer->row({name});
    }
    printer->end(true);
    return true;
}

bool showStoredRequestCommand(Shell& shell, const std::string& name) {
    if (!requireConnection(shell)) {
        return false;
    }
    Session& session = shell.session();
    RequestBlock& block = session.block();
    block.arg = const_cast<char*>(name.c_str());
    const Outcome answered = session.call(REQ_STORED_REQUEST_TEXT);
    block.arg = nullptr;
    DriverText text{block.memoryContext, reinterpret_cast<char*>(block.result)};
    if (!answered.ok()) {
        shell.fail(answered);
        return false;
    }
    if (text.text == nullptr) {
        shell.failText("ERROR: did not find a stored request named \"" + name + "\"");
        return false;
    }
    shell.out() << plainLines(text.text) << '\n';
    return true;
}

bool callProcedureCommand(Shell& shell, const std::string& line) {
    if (!requireConnection(shell)) {
        return false;
    }
    std::string error;
    const std::optional<ProcedureCall> call = parseProcedureCall(line, error);
    if (!call) {
        shell.failText(error);
        return false;
    }
    Session& session = shell.session();
    RequestBlock& block = session.block();
    session.setStatement(call->statement);
    block.inValue = call->resultSet;
    const Outcome ran = session.call(REQ_RUN_PROCEDURE);
    block.inValue = 0;
    session.setStatement("");
    if (!ran.ok()) {
        shell.fail(ran);
        return false;
    }
    const bool printed = shell.printCurrentResultSet();
    // The result sets after the one shown are not wanted: they go, and the connection is free.
    session.call(REQ_CANCEL);
    return printed;
}

bool viewTextCommand(Shell& shell, const std::string& view) {
    if (!requireConnection(shell)) {
        return false;
    }
    Session& session = shell.session();
    RequestBlock& block = session.block();
    const size_t dot = view.find('.');
    const std::string owner = dot == std::string::npos ? lower(session.user()) : lower(view.substr(0, dot));
    const std::string name = dot == std::string::npos ? lower(view) : lower(view.substr(dot + 1));
    session.setStatement(name);
    kwhost_setBlockText(&block, &block.ownerName, owner.c_str());
    const Outcome answered = session.call(REQ_VIEW_TEXT);
    session.setStatement("");
    kwhost_setBlockText(&block, &block.ownerName, nullptr);
    DriverText text{block.memoryContext, reinterpret_cast<char*>(block.result)};
    if (!answered.ok()) {
        shell.fail(answered);
        return false;
    }
    if (block.sqlCode == kViewTextRefused) {
        shell.failText("ERROR: " + plainLines(text.text));
        return false;
    }
    if (text.text == nullptr) {
        shell.failText("ERROR: did not find a view named \"" + owner + "." + name + "\"");
        return false;
    }
    shell.out() << plainLines(text.text) << '\n';
    return true;
}

}  // namespace kwsh
