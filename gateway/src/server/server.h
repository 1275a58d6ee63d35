// server.h - the listening gateway: accepts clients and runs one session thread for each.
//
// serve() binds the listen address (port 0 picks a free one), prints "listening on HOST:PORT"
// on stdout once it accepts connections, and runs until SIGTERM or SIGINT, when it stops
// accepting, ends every session by shutting its socket down, and waits for their threads. A
// client beyond --max-sessions, or one whose session thread cannot be started, gets a refusal
// at login and the server goes on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "session/session.h"

namespace gw {

struct ServeOptions {
    session::SessionConfig session;
    std::string host = "127.0.0.1";
    uint16_t port = 0;
    std::string statementLog;  // empty: none
    std::string logFile;       // empty: stderr
    size_t maxSessions = 100;  // sessions at once, logins included; more are refused at login
};

// Returns the process exit code.
int serve(const ServeOptions& options);

}  // namespace gw
