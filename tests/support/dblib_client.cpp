// dblib_client.cpp - DB-Library connections for tests, with recording handlers.
//
// Serves the gateway and driver test suites. Owns each connection's DBPROCESS and the table of
// recorded messages, keyed by DBPROCESS (and, during dbopen, by the thread making the login).
// Invariant: the handlers never return INT_EXIT, so no failure ends the test process.
#include "kwtest/dblib_client.h"

#include <map>
#include <mutex>

namespace kwtest {
namespace {

std::mutex g_mutex;
std::map<const DBPROCESS*, std::vector<Message>> g_messages;
thread_local std::vector<Message>* t_login = nullptr;  // the login being made on this thread

void record(DBPROCESS* dbproc, Message m) {
    std::lock_guard lock(g_mutex);
    if (t_login) {
        t_login->push_back(std::move(m));
        return;
    }
    g_messages[dbproc].push_back(std::move(m));
}

int errHandler(DBPROCESS* dbproc, int, int dberr, int, char* dberrstr, char*) {
    record(dbproc, Message{false, dberr, 0, dberrstr ? dberrstr : ""});
    return INT_CANCEL;
}

int msgHandler(DBPROCESS* dbproc, DBINT msgno, int, int severity, char* msgtext, char*, char*, int) {
    record(dbproc, Message{true, static_cast<int>(msgno), severity, msgtext ? msgtext : ""});
    return 0;
}

}  // namespace

void initDbLib() {
    static std::once_flag once;
    std::call_once(once, [] {
        dbinit();
        dberrhandle(errHandler);
        dbmsghandle(msgHandler);
    });
}

DbClient::DbClient(const std::string& server, const std::string& user, const std::string& password,
                   const std::function<void(LOGINREC*)>& adjust) {
    initDbLib();
    LOGINREC* login = dblogin();
    DBSETLUSER(login, user.c_str());
    DBSETLPWD(login, password.c_str());
    DBSETLAPP(login, "kwtest");
    if (adjust) {
        adjust(login);
    }
    t_login = &login_;
    dbproc_ = dbopen(login, server.c_str());
    t_login = nullptr;
    dbloginfree(login);
}

DbClient::~DbClient() {
    if (dbproc_) {
        dbclose(dbproc_);
        std::lock_guard lock(g_mutex);
        g_messages.erase(dbproc_);
    }
}

std::vector<Message> DbClient::messages() const {
    std::lock_guard lock(g_mutex);
    std::vector<Message> all = login_;
    auto it = g_messages.find(dbproc_);
    if (dbproc_ && it != g_messages.end()) {
        all.insert(all.end(), it->second.begin(), it->second.end());
    }
    return all;
}

void DbClient::clearMessages() {
    std::lock_guard lock(g_mutex);
    login_.clear();
    g_messages.erase(dbproc_);
}

std::unique_ptr<Message> DbClient::find(int number) const {
    for (const Message& m : messages()) {
        if (m.number == number) {
            return std::make_unique<Message>(m);
        }
    }
    return nullptr;
}

bool DbClient::exec(const std::string& sql) {
    if (!dbproc_ || dbcmd(dbproc_, sql.c_str()) != SUCCEED) {
        return false;
    }
    return dbsqlexec(dbproc_) == SUCCEED;
}

void DbClient::drain() {
    if (!dbproc_) {
        return;
    }
    RETCODE rc;
    while ((rc = dbresults(dbproc_)) != NO_MORE_RESULTS && rc != FAIL) {
        while (dbnextrow(dbproc_) != NO_MORE_ROWS) {
        }
    }
}

std::vector<std::string> DbClient::column(const std::string& sql) {
    std::vector<std::string> out;
    if (!exec(sql) || dbresults(dbproc_) != SUCCEED) {
        drain();
        return out;
    }
    char buf[4096];
    dbbind(dbproc_, 1, NTBSTRINGBIND, sizeof buf, reinterpret_cast<BYTE*>(buf));
    STATUS st;
    while ((st = dbnextrow(dbproc_)) != NO_MORE_ROWS && st != FAIL) {
        out.push_back(dbdatlen(dbproc_, 1) == 0 ? "<null>" : buf);
    }
    drain();
    return out;
}

}  // namespace kwtest
