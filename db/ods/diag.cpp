/*
 * diag.cpp - server messages and gateway return codes turned into one answer for the host.
 *
 * The host toolkit queues every server and DB-Library message of a connection. Collecting walks
 * that queue and keeps one record: the most severe message, the earliest among equals, with the
 * gateway's continuation messages joined into it and the DB2 or gateway return code of a DG21002
 * text made its number. Reporting copies the record into status and message. Every message that
 * loses is released, so a collection leaves the queue empty but for the record it answers.
 */
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "internal.h"

namespace {

const char kDefaultFailureText[] =
    "A database request resulted in a bad return code or status but no error message was returned";
const char kDg21000Prefix[] = "DG21000: ";
const char kDg21002Prefix[] = "DG21002: Result failed.  Database server error code ";
const char kGatewayCodeMarker[] = "ERR";
const char kGatewayCodeText[] = "\nDatabase Gateway Return Code:  ERR";
const char kDb2CodeText[] = "\nDB2 Return Code:  ";

static_assert(sizeof kDefaultFailureText - 1 == 92);
static_assert(sizeof kDg21000Prefix - 1 == 9);
static_assert(sizeof kDg21002Prefix - 1 == 52);

/* Message numbers with a rule of their own. */
enum {
    MSG_LOGIN_CONTINUATION = 4002,
    MSG_LIBRARY_CONTINUATION = 10003,
    MSG_GATEWAY_CONTINUATION = 23103,
    MSG_GATEWAY_CONTINUATION_PREFIXED = 23110,
    MSG_DG21000 = 21000,
    MSG_DG21001 = 21001,
    MSG_DG21002 = 21002,
    MSG_LANGUAGE_CHANGED = 5703,
};
enum { CONTINUATION_PREFIX_LENGTH = 9, DG21001_SEVERITY = 12 };
/* The longest run of digits and signs taken as a return code. */
enum { RETURN_CODE_DIGITS = 11 };

const char* textOf(const MessageRecord* record) {
    return record->text != nullptr ? record->text : "";
}

/* Sets the record's text to the pieces joined; the text is built in the block's memory context and
 * the record keeps a copy. Without memory the record keeps its text. */
void TDX_SetJoinedText(RequestBlock* block, MessageRecord* record,
                       std::initializer_list<const char*> pieces) {
    size_t length = 0;
    for (const char* piece : pieces) {
        length += std::strlen(piece);
    }
    char* joined = static_cast<char*>(kwshr_allocate(block->memoryContext, length + 1, 0));
    if (joined == nullptr) {
        return;
    }
    char* end = joined;
    for (const char* piece : pieces) {
        const size_t n = std::strlen(piece);
        std::memcpy(end, piece, n);
        end += n;
    }
    *end = '\0';
    kwdbt_setMessageText(record, joined);
    kwshr_free(block->memoryContext, joined);
}

/* The record's text without its first n characters (the whole tail is empty for shorter texts). */
const char* skipPrefix(const MessageRecord* record, size_t n) {
    const char* text = textOf(record);
    const size_t length = std::strlen(text);
    return text + (length < n ? length : n);
}

MessageRecord* TDX_JoinContinuation(RequestBlock* block, MessageRecord* candidate, MessageRecord* record) {
    if (candidate == nullptr) {
        return record;
    }
    const char* tail = record->number == MSG_GATEWAY_CONTINUATION_PREFIXED
                           ? skipPrefix(record, CONTINUATION_PREFIX_LENGTH)
                           : textOf(record);
    TDX_SetJoinedText(block, candidate, {textOf(candidate), "\n", tail, " "});
    kwdbt_freeMessage(record);
    return candidate;
}

MessageRecord* TDX_JoinDg21000(RequestBlock* block, MessageRecord* candidate, MessageRecord* record) {
    if (candidate == nullptr) {
        return record;
    }
    const char* tail = std::strncmp(textOf(record), kDg21000Prefix, CONTINUATION_PREFIX_LENGTH) == 0
                           ? textOf(record) + CONTINUATION_PREFIX_LENGTH
                           : textOf(record);
    TDX_SetJoinedText(block, candidate, {textOf(candidate), tail, " "});
    kwdbt_freeMessage(record);
    return candidate;
}

MessageRecord* TDX_EmptyDg21001(MessageRecord* record) {
    if (record->text != nullptr) {
        record->text[0] = '\0';
    }
    record->severity = DG21001_SEVERITY;
    record->number = MSG_DG21000;
    return record;
}

MessageRecord* TDX_DecodeDg21002(RequestBlock* block, MessageRecord* candidate, MessageRecord* record) {
    MessageRecord* target = candidate != nullptr ? candidate : record;
    if (candidate != nullptr) {
        candidate->severity = record->severity;
    }
    char code[TDX_RETURN_CODE_BUFFER] = {};
    const int32_t value = TDX_ParseGatewayReturnCode(textOf(record), code);
    target->number = value != 0 ? value : record->number;
    TDX_SetJoinedText(block, target, {candidate != nullptr ? textOf(candidate) : "", code, " "});
    if (target == candidate) {
        kwdbt_freeMessage(record);
    }
    return target;
}

}  // namespace

MessageRecord* TDX_MergeGatewayMessage(RequestBlock* block, MessageRecord* candidate, MessageRecord* record) {
    switch (record->number) {
        case MSG_LOGIN_CONTINUATION:
        case MSG_LIBRARY_CONTINUATION:
        case MSG_GATEWAY_CONTINUATION:
        case MSG_GATEWAY_CONTINUATION_PREFIXED:
            return TDX_JoinContinuation(block, candidate, record);
        case MSG_DG21000:
            return TDX_JoinDg21000(block, candidate, record);
        case MSG_DG21001:
            return TDX_EmptyDg21001(record);
        case MSG_DG21002:
            return TDX_DecodeDg21002(block, candidate, record);
        default:
            return nullptr;
    }
}

int32_t TDX_ParseGatewayReturnCode(const char* text, char* out) {
    const size_t prefixLength = sizeof kDg21002Prefix - 1;
    if (text == nullptr || std::strncmp(text, kDg21002Prefix, prefixLength) != 0) {
        return 0;
    }
    const char* p = text + prefixLength;
    while (*p == ' ' || *p == '\n' || *p == '\t' || *p == '\r') {
        ++p;
    }
    if (std::strncmp(p, kGatewayCodeMarker, sizeof kGatewayCodeMarker - 1) == 0) {
        std::strcpy(out, kGatewayCodeText);
        p += sizeof kGatewayCodeMarker - 1;
    } else {
        std::strcpy(out, kDb2CodeText);
    }
    /* A longer run of digits and signs is cut to the first eleven characters. */
    char run[RETURN_CODE_DIGITS + 1] = {};
    size_t n = 0;
    while (n < RETURN_CODE_DIGITS && ((p[n] >= '0' && p[n] <= '9') || p[n] == '-' || p[n] == '+')) {
        run[n] = p[n];
        ++n;
    }
    std::strcat(out, run);
    return static_cast<int32_t>(std::atol(run));
}
static_assert(sizeof kGatewayCodeText - 1 + RETURN_CODE_DIGITS < TDX_RETURN_CODE_BUFFER,
              "the readable return code fits its buffer");

MessageRecord* TDX_CollectQueuedMessages(RequestBlock* block, MessageRecord* record) {
    DBPROCESS* dbproc = block->dbproc;
    MessageRecord* candidate = nullptr;
    while (record != nullptr) {
        MessageRecord* merged = TDX_MergeGatewayMessage(block, candidate, record);
        if (merged != nullptr) {
            candidate = merged;
            record = kwdbt_nextMessage(dbproc, merged);
        } else if (candidate == nullptr) {
            candidate = record;
            record = kwdbt_nextMessage(dbproc, record);
        } else if (candidate->severity >= record->severity && record->number != MSG_LANGUAGE_CHANGED) {
            MessageRecord* next = kwdbt_nextMessage(dbproc, record);
            kwdbt_freeMessage(record);
            record = next;
        } else {
            kwdbt_freeMessage(candidate);
            candidate = record;
            record = kwdbt_nextMessage(dbproc, record);
        }
    }
    if (candidate != nullptr && candidate->number == MSG_LANGUAGE_CHANGED) {
        kwdbt_freeMessage(candidate);
        return nullptr;
    }
    return candidate;
}

void TDX_ReportFailure(RequestBlock* block) {
    TDX_ReportRecord(block, TDX_CollectServerMessage(block));
}

void TDX_ReportRecord(RequestBlock* block, MessageRecord* record) {
    if (record == nullptr) {
        /* DB-Library closes a connection whose socket failed under a poll without calling the
         * error handler: the dead connection is then the only trace of what happened. */
        if (block->dbproc != nullptr && dbdead(block->dbproc)) {
            TDX_LoadMessage(block, IDS_CONNECTION_LOST, 255);
        } else {
            std::strcpy(block->message, kDefaultFailureText);
        }
        block->status = KW_STATUS_DRIVER_FAILURE;
        return;
    }
    const char* text = textOf(record);
    const size_t length = std::strlen(text);
    const size_t room = sizeof block->message - 1;
    if (length <= room) {
        std::memcpy(block->message, text, length + 1);
    } else {
        std::memset(block->message, 0, sizeof block->message);
        std::memcpy(block->message, text, room);
    }
    block->status = record->number;
    kwdbt_freeMessage(record);
}

void TDX_DiscardServerMessages(RequestBlock* block) {
    if (MessageRecord* record = TDX_CollectServerMessage(block)) {
        kwdbt_freeMessage(record);
    }
}

bool TDX_ErrorPending(RequestBlock* block) {
    for (MessageRecord* record = kwdbt_firstMessage(block->dbproc); record != nullptr;
         record = kwdbt_nextMessage(block->dbproc, record)) {
        if (record->severity > TDX_MOST_SEVERE_NOTICE) {
            return true;
        }
    }
    return false;
}

bool TDX_ReportPendingError(RequestBlock* block) {
    if (!TDX_ErrorPending(block)) {
        return false;
    }
    TDX_ReportFailure(block);
    return true;
}

void TDX_DiscardNotices(RequestBlock* block) {
    /* Continuations carry severity 10 whatever they continue, so the queue is kept whole while it
     * holds an error: its pieces belong together. */
    if (!TDX_ErrorPending(block)) {
        TDX_DiscardServerMessages(block);
    }
}

void TDX_ReportNoMemory(RequestBlock* block) {
    TDX_LoadMessage(block, IDS_NO_MEMORY, 255);
    block->status = KW_STATUS_DRIVER_FAILURE;
}
