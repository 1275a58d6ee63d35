// session.h - the driver as kwsh uses it: the module loaded with dlopen, and one request block per
// connection over a memory context of its own.
//
// Serves the shell and the benchmark. A Session owns its block, the block's context and the texts
// it set in the block; whatever the driver allocated for the block is back in the context's hands
// after a disconnect, which the session checks. Every answer is read from the block as the driver
// left it: status, the trimmed message, result.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "kwtdx.h"

namespace kwsh {

// The driver module, loaded once.
class Driver {
  public:
    // Loads the module at `path`; on failure answers null and says why in `error`.
    static std::unique_ptr<Driver> load(const std::string& path, std::string& error);
    ~Driver();
    Driver(const Driver&) = delete;
    Driver& operator=(const Driver&) = delete;

    KW_TDX_RoutFunction entry() const { return entry_; }
    const std::string& path() const { return path_; }

  private:
    Driver(void* module, KW_TDX_RoutFunction entry, std::string path);
    void* module_;
    KW_TDX_RoutFunction entry_;
    std::string path_;
};

// Where the driver is when nothing else says: $KWSH_DRIVER, else the module this build made, else
// (an installed kwsh whose build folder is gone) libkwtdx050.so on the run path.
std::string defaultDriverPath();

// What a request answered.
struct Outcome {
    int32_t status = 0;
    std::string message;  // trimmed, on one line
    bool ok() const { return status == 0; }
};

// A failure as a person reads it: "ERROR -204: JOE.EMPX IS AN UNDEFINED NAME".
std::string describeFailure(const Outcome& outcome);

// The message text of the block on one line: blanks and line breaks collapsed, ends trimmed.
std::string oneLine(const char* text);

struct LoginValues {
    std::string server, user, password, dbParm;
};

class Session {
  public:
    explicit Session(const Driver& driver);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    RequestBlock& block() { return *block_; }
    bool connected() const { return block_->connection != nullptr; }
    // Connected, but DB-Library has given the connection up (the server closed it or stopped
    // answering): only a disconnect is left to do with it.
    bool lost() const;
    const std::string& server() const { return server_; }
    const std::string& user() const { return user_; }

    // Calls the driver with a request code and answers what it left in the block.
    Outcome call(int32_t code);

    // Request 35 with the values.
    Outcome connect(const LoginValues& login);
    // Request 67: the driver's login dialog (shown by whatever presenter the USER layer has),
    // pre-filled with the values; `alwaysAsk` shows it even when every value is there.
    Outcome connectWithDialog(const LoginValues& login, bool alwaysAsk);
    // Request 4. Answers a failure when the driver left allocations behind in the block's context.
    Outcome disconnect();

    // Sets the statement text the next request reads (sqlText); empty clears it.
    void setStatement(const std::string& sql);
    // The number of live allocations of the block's context.
    int64_t liveAllocations() const;

  private:
    void setText(char** field, const std::string& text);
    void rememberLogin();

    const Driver& driver_;
    KWCTX context_;
    std::unique_ptr<RequestBlock> block_;
    std::string statement_;
    std::string server_, user_;
    int64_t allocationsBeforeConnect_ = 0;
};

}  // namespace kwsh
