/*
 * exec.cpp - statement execution: requests 5, 88 and 21, and the end of a compile-only describe.
 *
 * One statement is sent on the block's connection and its first result set made current. The
 * host's EXECUTE form is rewritten into the gateway's USE PROCEDURE form. With asyncSend the
 * statement is sent and then awaited, pendingState being 1 exactly while the driver waits; what a
 * host call made during the wait answers never becomes the statement's answer. A statement that
 * fails to go leaves DB-Library's command buffer empty. A compile-only request wraps the
 * statement in SET NOEXEC YES / NO; the switching commands never report, they are traced and
 * their messages discarded.
 */
#include <cstring>

#include "internal.h"

namespace {

const char kExecuteWord[] = "EXECUTE";
const char kUseProcedure[] = "USE PROCEDURE ";
static_assert(sizeof kUseProcedure - 1 == 14);
/* The rewritten copy has room for the statement, its terminator and what the rewrite adds. */
enum { REWRITE_EXTRA = 19, EXECUTE_PREFIX_LENGTH = 8 };
static_assert(sizeof kUseProcedure - sizeof kExecuteWord < REWRITE_EXTRA);

/* Stops a drain that cannot make progress (rows outstanding, a dead connection). */
enum { DRAIN_FAILURES_BEFORE_CANCEL = 2 };

const char* skipLineSpace(const char* text) {
    while (TDX_IsLineSpace(*text)) {
        ++text;
    }
    return text;
}

/* Whether the text starts with the word EXECUTE (any case) followed by one blank, tab, CR or LF. */
bool startsWithExecute(const char* text) {
    for (size_t i = 0; i < sizeof kExecuteWord - 1; ++i) {
        const char c = text[i];
        const char upper = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
        if (upper != kExecuteWord[i]) {
            return false;
        }
    }
    return TDX_IsLineSpace(text[sizeof kExecuteWord - 1]);
}

/* The answers of a request that a call made during its wait may overwrite. */
struct WaitingAnswers {
    char message[sizeof RequestBlock{}.message];
    int32_t requestCode;
    int32_t status;
    intptr_t result;
    int32_t sqlCode;
};

void TDX_SaveAnswers(const RequestBlock* block, WaitingAnswers* saved) {
    std::memcpy(saved->message, block->message, sizeof saved->message);
    saved->requestCode = block->requestCode;
    saved->status = block->status;
    saved->result = block->result;
    saved->sqlCode = block->sqlCode;
}

void TDX_RestoreAnswers(RequestBlock* block, const WaitingAnswers* saved) {
    std::memcpy(block->message, saved->message, sizeof saved->message);
    block->requestCode = saved->requestCode;
    block->status = saved->status;
    block->result = saved->result;
    block->sqlCode = saved->sqlCode;
}

/* Whether DB-Library would take a character of the text for a parameter marker: a question mark
 * outside quotes ('...', "...", [...]) and comments (-- to the end of the line, slash-star to
 * star-slash). With TDS 5.0 it then wants parameters that a language statement never has, and
 * refuses to send the statement without a word. */
bool hasParameterMarker(const char* text) {
    for (const char* p = text; *p != '\0'; ++p) {
        if (*p == '\'' || *p == '"' || *p == '[') {
            const char close = *p == '[' ? ']' : *p;
            for (++p; *p != '\0'; ++p) {
                if (*p == close) {
                    if (p[1] != close) {
                        break;
                    }
                    ++p; /* a doubled closing character stands for itself */
                }
            }
            if (*p == '\0') {
                return false;
            }
        } else if (p[0] == '-' && p[1] == '-') {
            while (p[1] != '\0' && p[1] != '\n') {
                ++p;
            }
        } else if (p[0] == '/' && p[1] == '*') {
            const char* end = std::strstr(p + 2, "*/");
            if (end == nullptr) {
                return false;
            }
            p = end + 1;
        } else if (*p == '?') {
            return true;
        }
    }
    return false;
}

/* Reports a statement that could not be sent or failed on the server, and empties DB-Library's
 * command buffer: a statement that was never sent stays in it and would be sent again, joined
 * to the next one. A failure that left no message is explained when the text explains it. */
void TDX_ReportSendFailure(RequestBlock* block, const char* sent) {
    dbfreebuf(block->dbproc);
    if (TDX_ErrorPending(block) || !hasParameterMarker(sent)) {
        TDX_ReportFailure(block);
        return;
    }
    TDX_DiscardServerMessages(block);
    TDX_LoadMessage(block, IDS_PARAMETER_MARKER, 255);
    block->status = KW_STATUS_DRIVER_FAILURE;
}

/* Puts the text into the command buffer and sends it; with asyncSend the wait is separate. */
RETCODE TDX_Send(RequestBlock* block, const char* text) {
    TDX_DiscardServerMessages(block);
    if (dbcmd(block->dbproc, text) == FAIL) {
        return FAIL;
    }
    return block->asyncSend != 0 ? TDX_SendAndWait(block) : dbsqlexec(block->dbproc);
}

/* Sends SET NOEXEC YES or NO; answers whether the command went through. Its messages are
 * discarded and its results drained; nothing reaches status. */
bool TDX_SwitchNoExec(RequestBlock* block, bool on) {
    dbcmd(block->dbproc, on ? "SET NOEXEC YES" : "SET NOEXEC NO");
    if (dbsqlexec(block->dbproc) == FAIL) {
        TDX_Trace(block, on ? "Set noexec yes failed" : "Set noexec no failed");
        TDX_DiscardServerMessages(block);
        return false;
    }
    TDX_DrainResults(block, "Noexec result drained");
    TDX_Trace(block, on ? "Set noexec yes succeeded" : "Set noexec no succeeded");
    return true;
}

}  // namespace

int32_t TDX_IsExecuteStatement(const char* text) {
    if (text == nullptr) {
        return 0;
    }
    return startsWithExecute(skipLineSpace(text)) ? 1 : 0;
}

size_t TDX_RewrittenSize(const char* text) {
    return std::strlen(text) + 1 + REWRITE_EXTRA;
}

void TDX_RewriteExecute(RequestBlock*, const char* text, char* out, size_t outSize) {
    const char* source = skipLineSpace(text);
    /* Room for the longest rewrite: the whole text grown by the prefix change, and a NUL. */
    if (outSize < std::strlen(source) + (sizeof kUseProcedure - sizeof kExecuteWord) + 1) {
        if (outSize > 0) {
            out[0] = '\0';
        }
        return;
    }
    if (!startsWithExecute(source)) {
        std::memcpy(out, source, std::strlen(source) + 1);
        return;
    }
    char* write = out;
    std::memcpy(write, kUseProcedure, sizeof kUseProcedure - 1);
    write += sizeof kUseProcedure - 1;
    bool quoted = false;
    for (const char* p = source + EXECUTE_PREFIX_LENGTH; *p != '\0'; ++p) {
        if (*p == '\'' && p[1] == '\'') {
            *write++ = *p++;
            *write++ = *p;
            continue;
        }
        if (*p == '\'') {
            quoted = !quoted;
            *write++ = *p;
            continue;
        }
        const char before = p[-1];
        if (*p == '@' && !quoted && (before == ' ' || before == ',' || before == '(')) {
            *write++ = '&';
            continue;
        }
        *write++ = *p;
    }
    *write = '\0';
}

void TDX_DrainResults(RequestBlock* block, const char* traceOnResult) {
    int failures = 0;
    for (;;) {
        const RETCODE rc = dbresults(block->dbproc);
        if (rc == NO_MORE_RESULTS) {
            return;
        }
        if (rc == FAIL) {
            TDX_DiscardServerMessages(block);
            if (++failures >= DRAIN_FAILURES_BEFORE_CANCEL) {
                /* dbresults keeps failing (rows left unread, or a dead connection): throw the
                 * rest away instead of asking for ever. */
                dbcancel(block->dbproc);
                TDX_DiscardServerMessages(block);
                return;
            }
            continue;
        }
        failures = 0;
        if (traceOnResult != nullptr) {
            TDX_Trace(block, traceOnResult);
        }
    }
}

RETCODE TDX_SendAndWait(RequestBlock* block) {
    if (dbsqlsend(block->dbproc) == FAIL) {
        return FAIL;
    }
    /* The host may call in on this block while the driver waits (its message loop runs in the
     * wait). Whatever such a call answers, a refusal included, is the host's answer to that call:
     * the block's answers are the waiting statement's again once the wait ends. */
    WaitingAnswers saved;
    TDX_SaveAnswers(block, &saved);
    block->pendingState = KW_PENDING_RESPONSE;
    const RETCODE rc = dbsqlok(block->dbproc);
    block->pendingState = KW_PENDING_NONE;
    TDX_RestoreAnswers(block, &saved);
    return rc;
}

RETCODE TDX_ExecuteStatement(RequestBlock* block, const char* text) {
    char* rewritten = nullptr;
    const char* sent = text != nullptr ? text : "";
    if (TDX_IsExecuteStatement(sent)) {
        const size_t size = TDX_RewrittenSize(sent);
        rewritten = static_cast<char*>(kwshr_allocate(block->memoryContext, size, 0));
        if (rewritten == nullptr) {
            TDX_ReportNoMemory(block);
            return FAIL;
        }
        std::memset(rewritten, 0, size);
        TDX_RewriteExecute(block, sent, rewritten, size);
        sent = rewritten;
    }
    /* Whatever is still queued belongs to earlier work. Notices (a warning that came after a
     * result's last row, say) must not be taken for this statement's failure and go. An error
     * that no request reported is answered now instead of being lost, and the statement is not
     * sent: nothing runs under an answer that belongs to something else. */
    RETCODE rc = FAIL;
    if (TDX_ReportPendingError(block)) {
        /* not sent */
    } else if ((rc = TDX_Send(block, sent)) == FAIL) {
        TDX_ReportSendFailure(block, sent);
    } else if (MessageRecord* record = TDX_CollectServerMessage(block)) {
        dbcancel(block->dbproc);
        TDX_ReportRecord(block, record);
    } else {
        rc = dbresults(block->dbproc);
        if (rc == FAIL) {
            TDX_ReportFailure(block);
        }
    }
    if (rewritten != nullptr) {
        kwshr_free(block->memoryContext, rewritten);
    }
    return rc;
}

void TDX_Execute(RequestBlock* block) {
    TDX_ExecuteStatement(block, block->sqlText);
}

void TDX_Prepare(RequestBlock* block) {
    if (block->inValue != 0) {
        TDX_ExecuteStatement(block, block->sqlText);
        return;
    }
    TDX_DrainResults(block, nullptr);
    if (!TDX_SwitchNoExec(block, true)) {
        TDX_ExecuteStatement(block, block->sqlText);
        return;
    }
    TDX_ExecuteStatement(block, block->sqlText);
    if (block->status == KW_STATUS_OK) {
        return; /* compiled: NOEXEC stays on until the describe */
    }
    TDX_SwitchNoExec(block, false);
}

void TDX_EndCompileOnlyDescribe(RequestBlock* block) {
    dbcancel(block->dbproc);
    TDX_Trace(block, "Cancel result sets");
    TDX_SwitchNoExec(block, false);
}
