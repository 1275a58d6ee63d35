// dblib_client.h - a DB-Library client for tests, with handlers that never end the process.
//
// FreeTDS's default error handler exits the process on a lost connection; tests install these
// instead: the error handler records the error and answers INT_CANCEL, the message handler
// records every server message. Messages are kept per connection (and, while dbopen runs, for
// the login being made) so that a test can check exactly what the server said.
#pragma once

#include <sybdb.h>
#include <sybfront.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kwtest {

struct Message {
    bool server = true;  // a server message; false: a DB-Library error
    int number = 0;
    int severity = 0;
    std::string text;
};

class DbClient {
  public:
    // Logs in to `server` (a freetds.conf section); `adjust` may change the login record
    // (packet size, application name) before dbopen.
    DbClient(const std::string& server, const std::string& user, const std::string& password,
             const std::function<void(LOGINREC*)>& adjust = {});
    ~DbClient();
    DbClient(const DbClient&) = delete;
    DbClient& operator=(const DbClient&) = delete;

    bool connected() const { return dbproc_ != nullptr; }
    DBPROCESS* get() const { return dbproc_; }

    // Every message so far (the login's included); clearMessages() forgets them.
    std::vector<Message> messages() const;
    void clearMessages();
    // The first server message with this number, or nullptr.
    std::unique_ptr<Message> find(int number) const;

    // dbcmd + dbsqlexec; true on SUCCEED.
    bool exec(const std::string& sql);
    // Reads all remaining results and rows.
    void drain();
    // Runs a statement and returns the first column of every row of its first result, as text.
    std::vector<std::string> column(const std::string& sql);

  private:
    DBPROCESS* dbproc_ = nullptr;
    std::vector<Message> login_;
};

// Initialises DB-Library and installs the handlers (done by DbClient; idempotent).
void initDbLib();

}  // namespace kwtest
