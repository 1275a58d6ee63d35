/*
 * kwdbt.cpp - the host's database-interface toolkit: DB-Library handlers and message queues.
 *
 * It installs DB-Library's error and message handlers once per process and keeps one FIFO queue of
 * MessageRecords per registered connection. A handler call names a DBPROCESS; messages raised
 * while dbopen runs name a connection nobody has seen yet, or none, and go to the connection being
 * registered, which also answers for a null dbproc. The handlers never let DB-Library exit the
 * process: every error is answered with INT_CANCEL, except a timeout: an unanswered login ends its
 * connection, a statement past the configured timeout is cancelled and its connection kept. While
 * DB-Library waits for a server it asks, about once a second, whether to interrupt; that is where
 * the host's wait hook runs.
 */
#include "kwdbt.h"

#include <sybdb.h>
#include <syberror.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace {

struct Connection;

/* A queued message: the host record first, then what the queue needs to find it again. */
struct QueuedMessage {
    MessageRecord record;
    Connection* owner;
};

struct Connection {
    RequestBlock* block = nullptr;
    DBPROCESS* dbproc = nullptr; /* learnt from the first message or lookup after dbopen */
    std::list<QueuedMessage*> queue;
    /* The seconds the current wait for the server has lasted: DB-Library asks whether to
     * interrupt once a second while it waits, so a timeout comes after as many asks as it has
     * seconds. An ask long after the previous one starts a new wait. */
    int waitSeconds = 0;
    std::chrono::steady_clock::time_point lastAsk;
};

/* The login wait is bounded so that a server that accepts the connection and never answers the
 * login cannot hang the host; KW_LOGIN_TIMEOUT (seconds) changes the bound. */
constexpr int kDefaultLoginTimeoutSeconds = 30;
/* The severity given to the loss of a connection that the toolkit itself ends: that of
 * DB-Library's own communication errors. A timeout that ends the connection is queued before the
 * errors of the closed socket and so, being as severe, is the one reported. */
constexpr int kLostConnectionSeverity = EXCOMM;
/* Asks for an interrupt closer together than this belong to one wait. */
constexpr std::chrono::milliseconds kSameWaitGap{1500};

std::mutex mutex;
std::vector<std::unique_ptr<Connection>> connections;
Connection* registering = nullptr;
/* Read without the mutex by the per-row message check: most rows come with no message at all. */
std::atomic<int> queuedMessages{0};
std::atomic<bool> awaitingDbproc{false}; /* the connection being registered has not learnt its dbproc */
KwWaitHook waitHook = nullptr;
void* waitContext = nullptr;
bool attached = false;
bool available = false;
int openConnects = 0;

char* copyText(const char* text) {
    const char* source = text != nullptr ? text : "";
    const size_t length = std::strlen(source);
    char* copy = static_cast<char*>(std::malloc(length + 1));
    if (copy != nullptr) {
        std::memcpy(copy, source, length + 1);
    }
    return copy;
}

int checkInterrupt(void* dbproc);
int loginTimeoutSeconds();
int handleInterrupt(void*) {
    return INT_CONTINUE;
}

void destroyMessage(QueuedMessage* message) {
    std::free(message->record.text);
    delete message;
    queuedMessages.fetch_sub(1, std::memory_order_relaxed);
}

/* The connection whose queue a dbproc reads (mutex held). An unknown dbproc belongs to the
 * connection being registered while that one has not learnt its own (when `learn` is set, it
 * learns it now); a null one always does. */
Connection* connectionOf(DBPROCESS* dbproc, bool learn = true) {
    if (dbproc == nullptr) {
        return registering;
    }
    for (const auto& connection : connections) {
        if (connection->dbproc == dbproc) {
            return connection.get();
        }
    }
    if (registering != nullptr && registering->dbproc == nullptr) {
        if (learn) {
            registering->dbproc = dbproc;
            awaitingDbproc.store(false, std::memory_order_relaxed);
            dbsetinterrupt(dbproc, checkInterrupt, handleInterrupt);
        }
        return registering;
    }
    return nullptr;
}

void enqueue(DBPROCESS* dbproc, int32_t source, int32_t number, int32_t severity, const char* text,
             int32_t state, int32_t line) {
    std::lock_guard<std::mutex> lock(mutex);
    Connection* connection = connectionOf(dbproc);
    if (connection == nullptr) {
        return; /* a connection the host never registered: nobody will read it */
    }
    auto* message = new (std::nothrow) QueuedMessage{};
    if (message == nullptr) {
        return;
    }
    message->record.source = source;
    message->record.state = state;
    message->record.line = line;
    message->record.number = number;
    message->record.severity = severity;
    message->record.text = copyText(text);
    message->owner = connection;
    if (message->record.text == nullptr) {
        delete message;
        return;
    }
    /* Called from DB-Library's C code: a message that cannot be queued is dropped, never thrown. */
    try {
        connection->queue.push_back(message);
    } catch (...) {
        std::free(message->record.text);
        delete message;
        return;
    }
    queuedMessages.fetch_add(1, std::memory_order_relaxed);
}

/* Runs the host's wait hook for the connection that waits; never asks DB-Library to interrupt. The
 * mutex is not held while the hook runs, because the hook may call back into the driver. */
int checkInterrupt(void* dbproc) {
    KwWaitHook hook = nullptr;
    void* context = nullptr;
    RequestBlock* block = nullptr;
    {
        std::lock_guard<std::mutex> lock(mutex);
        const auto now = std::chrono::steady_clock::now();
        for (const auto& connection : connections) {
            if (connection->dbproc == dbproc) {
                block = connection->block;
                connection->waitSeconds =
                    now - connection->lastAsk < kSameWaitGap ? connection->waitSeconds + 1 : 1;
                connection->lastAsk = now;
            }
        }
        hook = waitHook;
        context = waitContext;
    }
    if (hook != nullptr && block != nullptr) {
        hook(block, context);
    }
    return FALSE;
}

int messageHandler(DBPROCESS* dbproc, DBINT number, int state, int severity, char* text, char*, char*,
                   int line) {
    enqueue(dbproc, KW_MESSAGE_SERVER, number, severity, text, state, line);
    return 0;
}

/* What a timeout means for the connection that waits. */
enum class TimeoutKind {
    Login,           /* the server took the connection and has not answered the login */
    Statement,       /* a statement ran longer than the configured timeout */
    UnansweredCancel /* the cancel sent at the statement's timeout got no answer either */
};

/* The seconds the connection's statement timeout allows: the process-wide setting when there is
 * one, else what the wait that just timed out measured (the timeout of the connection's
 * freetds.conf entry). A timeout ends that wait: the wait for the cancel's answer counts anew. */
int statementTimeoutSeconds(DBPROCESS* dbproc) {
    const int setting = dbgettime();
    std::lock_guard<std::mutex> lock(mutex);
    Connection* connection = connectionOf(dbproc, false);
    const int measured = connection != nullptr ? connection->waitSeconds : 0;
    if (connection != nullptr) {
        connection->waitSeconds = 0;
    }
    return setting > 0 ? setting : measured;
}

/* The text that names a timeout, the limit that applied and what became of the connection. */
/* A timeout's text, formatted without allocating: the handlers that use it are called from
 * DB-Library's C code, which no exception may cross. */
struct TimeoutText {
    char text[512];
};

TimeoutText timeoutText(const char* what, int seconds, const char* limit, const char* outcome) {
    TimeoutText t{};
    if (seconds > 0) {
        std::snprintf(t.text, sizeof t.text, "Timeout: %s within %d second%s (%s); %s", what, seconds,
                      seconds == 1 ? "" : "s", limit, outcome);
    } else {
        std::snprintf(t.text, sizeof t.text, "Timeout: %s within %s; %s", what, limit, outcome);
    }
    return t;
}

TimeoutKind timeoutKind(DBPROCESS* dbproc) {
    std::lock_guard<std::mutex> lock(mutex);
    Connection* connection = connectionOf(dbproc, false);
    /* Until dbopen returns, the host's block does not hold the handle being logged in. */
    if (connection == nullptr || connection->block == nullptr || connection->block->dbproc != dbproc) {
        return TimeoutKind::Login;
    }
    /* The statement's own timeout stays queued until the driver reports the statement. */
    for (const QueuedMessage* message : connection->queue) {
        if (message->record.source == KW_MESSAGE_LIBRARY && message->record.number == SYBETIME) {
            return TimeoutKind::UnansweredCancel;
        }
    }
    return TimeoutKind::Statement;
}

/* Ends a connection whose server stopped answering. Answering INT_CANCEL would make FreeTDS close
 * the connection from inside its own network loop, where the logout it sends waits on that very
 * loop, five seconds a round, without end. Shutting the socket down instead lets the waiting read
 * see the connection end at once: the request fails promptly and the connection is dead. */
int abandonConnection(DBPROCESS* dbproc) {
    const int socket = dbiordesc(dbproc);
    if (socket >= 0) {
        shutdown(socket, SHUT_RDWR);
    }
    return INT_CONTINUE;
}

/* A timeout. The login wait is bounded: a server that does not answer it loses the connection. A
 * statement that runs past the configured timeout is cancelled: INT_TIMEOUT makes FreeTDS send
 * the attention and read on to its acknowledgement, so the statement fails, and the connection,
 * its session and its transaction stay as they were. If the server does not acknowledge within
 * another timeout it is not answering at all, and the connection is given up. */
int handleTimeout(DBPROCESS* dbproc, int severity) {
    switch (timeoutKind(dbproc)) {
        case TimeoutKind::Login:
            enqueue(dbproc, KW_MESSAGE_LIBRARY, SYBETIME, kLostConnectionSeverity,
                    timeoutText("the server did not answer the login", loginTimeoutSeconds(),
                                "the login timeout, KW_LOGIN_TIMEOUT", "the connection was closed.")
                        .text,
                    0, 0);
            return abandonConnection(dbproc);
        case TimeoutKind::Statement:
            enqueue(
                dbproc, KW_MESSAGE_LIBRARY, SYBETIME, severity,
                timeoutText("the server did not answer the statement", statementTimeoutSeconds(dbproc),
                            "the timeout set for this server",
                            "the statement was cancelled; the connection and its transaction are still open.")
                    .text,
                0, 0);
            return INT_TIMEOUT;
        case TimeoutKind::UnansweredCancel:
            break;
    }
    enqueue(dbproc, KW_MESSAGE_LIBRARY, SYBETIME, kLostConnectionSeverity,
            timeoutText("the server answered neither the statement nor its cancel",
                        statementTimeoutSeconds(dbproc), "the timeout set for this server",
                        "the connection was closed.")
                .text,
            0, 0);
    return abandonConnection(dbproc);
}

int errorHandler(DBPROCESS* dbproc, int severity, int number, int osError, char* text, char*) {
    if (number == SYBETIME && dbproc != nullptr) {
        return handleTimeout(dbproc, severity);
    }
    /* SYBESMSG only points at the server messages, which are queued already. */
    if (number != SYBESMSG) {
        enqueue(dbproc, KW_MESSAGE_LIBRARY, number, severity, text, osError, 0);
    }
    return INT_CANCEL;
}

int loginTimeoutSeconds() {
    const char* setting = std::getenv("KW_LOGIN_TIMEOUT");
    if (setting != nullptr) {
        char* end = nullptr;
        const long seconds = std::strtol(setting, &end, 10);
        if (end != setting && *end == '\0' && seconds > 0 && seconds < 3600) {
            return static_cast<int>(seconds);
        }
    }
    return kDefaultLoginTimeoutSeconds;
}

QueuedMessage* queued(MessageRecord* record) {
    return reinterpret_cast<QueuedMessage*>(record);
}

}  // namespace

void kwdbt_processAttach(void) {
    std::lock_guard<std::mutex> lock(mutex);
    if (attached) {
        return;
    }
    attached = true;
    /* The gateway speaks TDS 5.0 only. Left to probe the version itself, FreeTDS first tries
     * TDS 7.4 and handles the failures of that probe inside its own retry logic, where no handler
     * is called: against a server that accepts the connection and never answers, the login would
     * then wait for ever. A version the user chose is kept. */
    setenv("TDSVER", "5.0", 0);
    available = dbinit() == SUCCEED;
    if (available) {
        dberrhandle(errorHandler);
        dbmsghandle(messageHandler);
        dbsetlogintime(loginTimeoutSeconds());
    }
}

int32_t kwdbt_beginConnect(void) {
    std::lock_guard<std::mutex> lock(mutex);
    if (!available) {
        return -1;
    }
    ++openConnects;
    return 0;
}

void kwdbt_endConnect(void) {
    std::lock_guard<std::mutex> lock(mutex);
    if (openConnects > 0) {
        --openConnects;
    }
}

void kwdbt_registerConnection(RequestBlock* block) {
    std::lock_guard<std::mutex> lock(mutex);
    auto connection = std::make_unique<Connection>();
    connection->block = block;
    registering = connection.get();
    awaitingDbproc.store(true, std::memory_order_relaxed);
    connections.push_back(std::move(connection));
}

void kwdbt_unregisterConnection(RequestBlock* block) {
    std::lock_guard<std::mutex> lock(mutex);
    /* The most recent registration of the block is the one that ends. */
    auto it = std::find_if(connections.rbegin(), connections.rend(),
                           [block](const auto& connection) { return connection->block == block; });
    if (it == connections.rend()) {
        return;
    }
    Connection* connection = it->get();
    for (QueuedMessage* message : connection->queue) {
        destroyMessage(message);
    }
    if (registering == connection) {
        registering = nullptr;
        awaitingDbproc.store(false, std::memory_order_relaxed);
    }
    connections.erase(std::next(it).base());
}

MessageRecord* kwdbt_firstMessage(DBPROCESS* dbproc) {
    /* The driver asks after every fetched row; with nothing queued anywhere, and no connection
     * waiting to learn its dbproc from this lookup, the answer needs no lock. */
    if (queuedMessages.load(std::memory_order_relaxed) == 0 &&
        !awaitingDbproc.load(std::memory_order_relaxed)) {
        return nullptr;
    }
    std::lock_guard<std::mutex> lock(mutex);
    Connection* connection = connectionOf(dbproc);
    if (connection == nullptr || connection->queue.empty()) {
        return nullptr;
    }
    return &connection->queue.front()->record;
}

MessageRecord* kwdbt_nextMessage(DBPROCESS* dbproc, MessageRecord* record) {
    std::lock_guard<std::mutex> lock(mutex);
    Connection* connection = connectionOf(dbproc);
    if (connection == nullptr || record == nullptr) {
        return nullptr;
    }
    auto& queue = connection->queue;
    auto it = std::find(queue.begin(), queue.end(), queued(record));
    if (it == queue.end() || ++it == queue.end()) {
        return nullptr;
    }
    return &(*it)->record;
}

void kwdbt_freeMessage(MessageRecord* record) {
    if (record == nullptr) {
        return;
    }
    std::lock_guard<std::mutex> lock(mutex);
    QueuedMessage* message = queued(record);
    /* Only a record that is still queued is freed: a stray pointer is left alone. */
    for (const auto& connection : connections) {
        auto& queue = connection->queue;
        auto it = std::find(queue.begin(), queue.end(), message);
        if (it != queue.end()) {
            queue.erase(it);
            destroyMessage(message);
            return;
        }
    }
}

void kwdbt_setMessageText(MessageRecord* record, const char* text) {
    if (record == nullptr) {
        return;
    }
    char* copy = copyText(text);
    if (copy == nullptr) {
        return;
    }
    std::free(record->text);
    record->text = copy;
}

void kwhost_queueMessage(DBPROCESS* dbproc, int32_t source, int32_t number, int32_t severity,
                         const char* text) {
    enqueue(dbproc, source, number, severity, text, 0, 0);
}

int32_t kwhost_queuedMessageCount(DBPROCESS* dbproc) {
    std::lock_guard<std::mutex> lock(mutex);
    Connection* connection = connectionOf(dbproc, false);
    return connection != nullptr ? static_cast<int32_t>(connection->queue.size()) : 0;
}

int32_t kwhost_connectionLost(DBPROCESS* dbproc) {
    return dbproc != nullptr && dbdead(dbproc) ? 1 : 0;
}

int32_t kwhost_registeredConnectionCount(void) {
    std::lock_guard<std::mutex> lock(mutex);
    return static_cast<int32_t>(connections.size());
}

void kwhost_setWaitHook(KwWaitHook hook, void* context) {
    std::lock_guard<std::mutex> lock(mutex);
    waitHook = hook;
    waitContext = context;
}
