// session.cpp - loading the driver and talking to it through one request block.
//
// Serves every request kwsh makes (connect, statements, results, transactions, the trace). It owns
// the block, its memory context and the texts it put into the block. After a disconnect the
// context holds exactly those texts again: anything more is an allocation the driver kept.
#include "session.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>

#include "kwconst.h"
#include "kwdbt.h"
#include "kwshr.h"

#ifndef KWSH_DRIVER_PATH
#error "KWSH_DRIVER_PATH must name the driver module this build makes"
#endif

namespace kwsh {

std::unique_ptr<Driver> Driver::load(const std::string& path, std::string& error) {
    void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) {
        const char* why = dlerror();
        error = "cannot load the driver " + path + ": " + (why != nullptr ? why : "unknown reason");
        return nullptr;
    }
    auto* entry = reinterpret_cast<KW_TDX_RoutFunction>(dlsym(module, "KW_TDX_Rout"));
    if (entry == nullptr) {
        error = "the module " + path + " exports no KW_TDX_Rout: it is not the driver";
        dlclose(module);
        return nullptr;
    }
    return std::unique_ptr<Driver>(new Driver(module, entry, path));
}

Driver::Driver(void* module, KW_TDX_RoutFunction entry, std::string path)
    : module_(module), entry_(entry), path_(std::move(path)) {}

// The module stays loaded until the process ends: its load-time registration with the USER layer
// has no counterpart, as the host never unloads a driver it may still show dialogs for.
Driver::~Driver() = default;

std::string defaultDriverPath() {
    const char* fromEnvironment = std::getenv("KWSH_DRIVER");
    if (fromEnvironment != nullptr && *fromEnvironment != '\0') {
        return fromEnvironment;
    }
    if (access(KWSH_DRIVER_PATH, R_OK) == 0) {
        return KWSH_DRIVER_PATH;
    }
    // An installed kwsh outlives its build folder: the module is then in the library folder beside
    // kwsh's own (bin/../lib), else wherever the loader finds it.
    char self[4096] = {};
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length > 0) {
        const std::string exe(self, static_cast<size_t>(length));
        const std::string installed =
            exe.substr(0, exe.rfind('/')) + "/../" + KWSH_INSTALL_LIBDIR + "/libkwtdx050.so";
        if (access(installed.c_str(), R_OK) == 0) {
            return installed;
        }
    }
    return "libkwtdx050.so";
}

std::string oneLine(const char* text) {
    std::string out;
    bool blank = false;
    for (const char* p = text; *p != '\0'; ++p) {
        if (std::isspace(static_cast<unsigned char>(*p))) {
            blank = !out.empty();
            continue;
        }
        if (blank) {
            out.push_back(' ');
            blank = false;
        }
        out.push_back(*p);
    }
    return out;
}

std::string describeFailure(const Outcome& outcome) {
    const std::string text = outcome.message.empty() ? "(no message)" : outcome.message;
    if (outcome.status == KW_STATUS_ROW_WITH_WARNING) {
        return "WARNING: " + text;
    }
    return "ERROR " + std::to_string(outcome.status) + ": " + text;
}

Session::Session(const Driver& driver)
    : driver_(driver),
      context_(kwhost_createContext("kwsh session")),
      block_(std::make_unique<RequestBlock>()) {
    block_->memoryContext = context_;
}

Session::~Session() {
    if (connected()) {
        disconnect();
    }
    for (char** field : {&block_->loginId, &block_->serverName, &block_->password, &block_->dbParm,
                         &block_->databaseName, &block_->currentUser}) {
        kwhost_setBlockText(block_.get(), field, nullptr);
    }
    block_->sqlText = nullptr;
    kwshr_releaseBlockData(block_.get());
    kwhost_destroyContext(context_);
}

bool Session::lost() const {
    return connected() && kwhost_connectionLost(block_->dbproc) != 0;
}

Outcome Session::call(int32_t code) {
    block_->requestCode = code;
    driver_.entry()(block_.get());
    return {block_->status, oneLine(block_->message)};
}

void Session::setText(char** field, const std::string& text) {
    kwhost_setBlockText(block_.get(), field, text.empty() ? nullptr : text.c_str());
}

void Session::setStatement(const std::string& sql) {
    statement_ = sql;
    block_->sqlText = sql.empty() ? nullptr : statement_.data();
}

int64_t Session::liveAllocations() const {
    KwContextStats stats{};
    kwhost_contextStats(context_, &stats);
    return stats.liveAllocations;
}

void Session::rememberLogin() {
    server_ = block_->serverName != nullptr ? block_->serverName : "";
    user_ = block_->loginId != nullptr ? block_->loginId : "";
}

Outcome Session::connect(const LoginValues& login) {
    if (connected()) {
        return {KW_STATUS_DRIVER_FAILURE, "already connected to " + server_ + "; \\disconnect first"};
    }
    setText(&block_->serverName, login.server);
    setText(&block_->loginId, login.user);
    setText(&block_->password, login.password);
    setText(&block_->dbParm, login.dbParm);
    Outcome outcome = call(REQ_CONNECT);
    if (outcome.ok() && !connected()) {
        outcome = {KW_STATUS_DRIVER_FAILURE, "the driver could not start a connection"};
    }
    rememberLogin();
    return outcome;
}

Outcome Session::connectWithDialog(const LoginValues& login, bool alwaysAsk) {
    if (connected()) {
        return {KW_STATUS_DRIVER_FAILURE, "already connected to " + server_ + "; \\disconnect first"};
    }
    setText(&block_->serverName, login.server);
    setText(&block_->loginId, login.user);
    setText(&block_->password, login.password);
    setText(&block_->dbParm, login.dbParm);
    static char caption[] = "kwsh";
    HostConnectContext context{};
    context.caption = caption;
    context.mode = alwaysAsk ? KW_CONNECT_MODE_ALWAYS_ASK : 0;
    block_->arg = &context;
    Outcome outcome = call(REQ_CONNECT_WITH_DIALOG);
    block_->arg = nullptr;
    if (outcome.status == KW_STATUS_DRIVER_FAILURE && outcome.message.empty()) {
        outcome.message = "login cancelled";
    } else if (outcome.ok() && !connected()) {
        outcome = {KW_STATUS_DRIVER_FAILURE, "login cancelled"};
    }
    rememberLogin();
    return outcome;
}

Outcome Session::disconnect() {
    if (!connected()) {
        return {KW_STATUS_DRIVER_FAILURE, "not connected"};
    }
    Outcome outcome = call(REQ_DISCONNECT);
    kwshr_releaseBlockData(block_.get());
    block_->dbproc = nullptr;
    // What stays in the context are the block's texts, one allocation each.
    int64_t texts = 0;
    for (const char* text : {block_->loginId, block_->serverName, block_->password, block_->dbParm,
                             block_->databaseName, block_->currentUser}) {
        texts += text != nullptr ? 1 : 0;
    }
    const int64_t kept = liveAllocations() - texts;
    if (outcome.ok() && kept != 0) {
        outcome = {KW_STATUS_DRIVER_FAILURE, "the driver kept " + std::to_string(kept) +
                                                 " allocation(s) of the block after disconnect"};
    }
    return outcome;
}

}  // namespace kwsh
