/*
 * procs.cpp - the gateway's stored requests and the text of views: requests 73, 74, 75 and 97.
 *
 * The gateway keeps named requests in its table PCSQL_HOSTLIB, owned by the user the profile
 * setting StoredReqOwner names (asked for with the Stored Requests dialog when the profile has
 * none). Request 73 lists them, 74 answers one's text, 75 runs a procedure or stored request and
 * makes one chosen row-returning result set of it current. Request 97 joins a view's SYSVIEWS
 * pieces and answers the text from its SELECT on. Texts go to the host with every line ended by
 * CR LF; the answer has room for the text and 2000 characters more, and is made larger when the
 * added line ends need more than that, so nothing is ever cut or written past it.
 */
#include <strings.h>

#include <cstring>

#include "internal.h"

namespace {

const char kStoredRequestTable[] = "PCSQL_HOSTLIB";
const char kOwnerSetting[] = "StoredReqOwner";
const char kUseProcedure[] = "USE PROCEDURE";
const char kSelectWord[] = "select ";

/* The answer of a text request has this much room beyond the text itself, at least. */
enum { TEXT_ANSWER_EXTRA = 2000 };
/* A stored request name: CHAR(12) and its terminator. */
enum { REQUEST_NAME_SIZE = 13 };
/* SYSVIEWS pieces are read into a buffer of this size; the joined text grows by the same step. */
enum { VIEW_PIECE_SIZE = 256 };
/* The owner qualifier of a procedure has at most this many characters. */
enum { OWNER_QUALIFIER_MAX = 8 };
/* The DB2 return codes of a privilege the user does not hold. */
enum { SQLCODE_NOT_AUTHORIZED = -551, SQLCODE_NOT_AUTHORIZED_FOR_OBJECT = -552 };
static_assert(sizeof kUseProcedure - 1 == 13);
/* The sqlCode request 97 answers when the user may not read the view catalog. */
enum { VIEW_TEXT_REFUSED = 4 };

/* Walks a text line by line as the normalisation cuts it. */
struct LineCursor {
    const char* rest;
    bool noCarriageReturn; /* no CR is left: lines end at LF */
};

/* The next line: [*start, *start + *length). False when the text is used up. */
bool TDX_NextLine(LineCursor* cursor, const char** start, size_t* length) {
    const char* p = cursor->rest;
    if (*p == '\0') {
        return false;
    }
    *start = p;
    if (!cursor->noCarriageReturn) {
        const char* cr = std::strchr(p, '\r');
        if (cr != nullptr) {
            *length = static_cast<size_t>(cr - p);
            cursor->rest = cr + (cr[1] == '\n' ? 2 : 1);
            return true;
        }
        cursor->noCarriageReturn = true;
    }
    const char* lf = std::strchr(p, '\n');
    if (lf != nullptr) {
        *length = static_cast<size_t>(lf - p);
        cursor->rest = lf + 1;
    } else {
        *length = std::strlen(p);
        cursor->rest = p + *length;
    }
    return true;
}

/* Reads the stored request owner: the profile's value, upper-cased, or what the Stored Requests
 * dialog answers (possibly nothing). The dialog hands its answer over in the block's message,
 * which is no message of this request and is cleared. */
void TDX_ReadStoredRequestOwner(RequestBlock* block, char* owner) {
    TDX_GetProfileSetting(block, kOwnerSetting, owner);
    block->message[0] = '\0';
}

void TDX_FreeStoredRequestList(RequestBlock* block, HostList* list) {
    for (auto* entry = static_cast<StoredRequestEntry*>(kwshr_firstListItem(list)); entry != nullptr;
         entry = static_cast<StoredRequestEntry*>(kwshr_nextListItem(list))) {
        kwshr_free(block->memoryContext, entry->owner);
        kwshr_free(block->memoryContext, entry);
    }
    kwshr_destroyList(list);
}

/* One list entry for a fetched name, or null without memory. */
StoredRequestEntry* TDX_NewStoredRequestEntry(RequestBlock* block, const char* name) {
    auto* entry =
        static_cast<StoredRequestEntry*>(kwshr_allocate(block->memoryContext, sizeof(StoredRequestEntry), 0));
    if (entry == nullptr) {
        return nullptr;
    }
    std::memset(entry, 0, sizeof *entry);
    TDX_CopyText(entry->name, REQUEST_NAME_SIZE, name);
    entry->owner = kwshr_duplicateString(block->memoryContext,
                                         block->currentUser != nullptr ? block->currentUser : "", 0);
    if (entry->owner == nullptr) {
        kwshr_free(block->memoryContext, entry);
        return nullptr;
    }
    return entry;
}

/* Fetches the names into the list: the number of rows, or -1 when a fetch failed (`noMemory`
 * tells whether the host ran out of memory instead). */
int32_t TDX_FetchStoredRequests(RequestBlock* block, HostList* list, char* name, bool* noMemory) {
    int32_t count = 0;
    bool failed = false;
    *noMemory = false;
    while (TDX_NextCatalogRow(block->dbproc, &failed)) {
        StoredRequestEntry* entry = TDX_NewStoredRequestEntry(block, name);
        if (entry == nullptr || kwshr_appendToList(list, entry) == 0) {
            if (entry != nullptr) {
                kwshr_free(block->memoryContext, entry->owner);
                kwshr_free(block->memoryContext, entry);
            }
            *noMemory = true;
            return -1;
        }
        ++count;
        std::memset(name, 0, REQUEST_NAME_SIZE);
    }
    return failed ? -1 : count;
}

/* The answer of a text request: the text with CR LF line ends, in memory of the host that has
 * room for the text and TEXT_ANSWER_EXTRA characters more, or for the normalised text when that
 * is longer. Null (reported) without memory. */
char* TDX_LineEndAnswer(RequestBlock* block, const char* text) {
    const size_t textLength = std::strlen(text);
    const size_t needed = TDX_NormalizedSize(text);
    const size_t size = needed > textLength + TEXT_ANSWER_EXTRA ? needed : textLength + TEXT_ANSWER_EXTRA;
    auto* answer = static_cast<char*>(kwshr_allocate(block->memoryContext, size, 0));
    if (answer == nullptr) {
        TDX_ReportNoMemory(block);
        return nullptr;
    }
    TDX_NormalizeLineEnds(text, answer, size);
    return answer;
}

/* Reads the declared length of REQ_TEXT in the owner's stored request table: the length, 0 when
 * the catalog does not know the column, -1 on a failure (reported). */
int32_t TDX_StoredTextLength(RequestBlock* block, const char* owner) {
    CatalogStatement statement;
    if (TDX_BeginStatement(block, &statement) == 0) {
        return -1;
    }
    TDX_AppendStatement(block, &statement,
                        "SELECT LENGTH FROM %s.SYSCOLUMNS WHERE NAME = 'REQ_TEXT' AND       TBNAME = '%q' "
                        "AND       TBCREATOR = '%q' ",
                        {TDX_CatalogQualifier(block), kStoredRequestTable, owner});
    if (statement.failed != 0) {
        TDX_EndStatement(block, &statement);
        TDX_ReportNoMemory(block);
        return -1;
    }
    DBPROCESS* dbproc = block->dbproc;
    int16_t length = 0;
    int32_t answer = -1;
    bool failed = false;
    if (TDX_RunCatalogStatement(block, statement.text) == FAIL) {
        TDX_ReportFailure(block);
    } else if (dbrows(dbproc) == FAIL) {
        answer = 0;
    } else if (TDX_Bind(dbproc, 1, KW_BIND_SMALLINT, 0, &length) == FAIL) {
        TDX_ReportFailure(block);
    } else if (TDX_NextCatalogRow(dbproc, &failed)) {
        answer = length > 0 ? length : 0;
    } else if (failed) {
        TDX_ReportFailure(block);
    } else {
        answer = 0;
    }
    TDX_EndStatement(block, &statement);
    TDX_FinishCatalogStatement(block, false);
    return answer;
}

/* Reads the text of the stored request `name` into a buffer of length + 1 bytes. Answers the
 * buffer (the caller frees it), or null when there is no such request or on a failure
 * (reported). */
char* TDX_ReadStoredText(RequestBlock* block, const char* owner, const char* name, int32_t length) {
    const size_t size = static_cast<size_t>(length) + 1;
    auto* text = static_cast<char*>(kwshr_allocate(block->memoryContext, size, 0));
    if (text == nullptr) {
        TDX_ReportNoMemory(block);
        return nullptr;
    }
    std::memset(text, 0, size);
    CatalogStatement statement;
    if (TDX_BeginStatement(block, &statement) == 0) {
        kwshr_free(block->memoryContext, text);
        return nullptr;
    }
    TDX_AppendStatement(block, &statement, "SELECT REQ_TEXT FROM %s.%s WHERE REQ_NAME  = '%q' ",
                        {owner, kStoredRequestTable, name});
    DBPROCESS* dbproc = block->dbproc;
    bool found = false;
    bool failed = false;
    if (statement.failed != 0) {
        TDX_ReportNoMemory(block);
    } else if (TDX_RunCatalogStatement(block, statement.text) == FAIL) {
        TDX_ReportFailure(block);
    } else if (dbrows(dbproc) == FAIL) {
        /* no such request */
    } else if (TDX_Bind(dbproc, 1, KW_BIND_TEXT, static_cast<DBINT>(size), text) == FAIL) {
        TDX_ReportFailure(block);
    } else if (TDX_NextCatalogRow(dbproc, &failed)) {
        found = true;
    } else if (failed) {
        TDX_ReportFailure(block);
    }
    TDX_EndStatement(block, &statement);
    TDX_FinishCatalogStatement(block, false);
    if (!found) {
        kwshr_free(block->memoryContext, text);
        return nullptr;
    }
    return text;
}

/* Sends the procedure call: notices left from earlier work go first, as they are no answer of it. */
bool TDX_SendProcedure(RequestBlock* block, const char* text) {
    TDX_DiscardNotices(block);
    if (dbcmd(block->dbproc, text) != FAIL && dbsqlexec(block->dbproc) != FAIL) {
        return true;
    }
    dbfreebuf(block->dbproc); /* what did not go must not go with the next statement */
    return false;
}

/* Reads the rows of the current result set to its end, so that the next one can be read. */
bool TDX_SkipRows(DBPROCESS* dbproc) {
    bool failed = false;
    while (TDX_NextCatalogRow(dbproc, &failed)) {
    }
    return !failed;
}

/* Appends a SYSVIEWS piece to the joined text, growing it by whole pieces; false without memory. */
bool TDX_AppendPiece(RequestBlock* block, char** text, size_t* size, const char* piece) {
    const size_t length = std::strlen(*text);
    const size_t pieceLength = std::strlen(piece);
    size_t grown = *size;
    while (length + pieceLength + 1 > grown) {
        grown += VIEW_PIECE_SIZE;
    }
    if (grown != *size) {
        auto* bigger = static_cast<char*>(kwshr_reallocate(block->memoryContext, *text, grown, 0));
        if (bigger == nullptr) {
            return false;
        }
        std::memset(bigger + *size, 0, grown - *size);
        *text = bigger;
        *size = grown;
    }
    std::memcpy(*text + length, piece, pieceLength + 1);
    return true;
}

/* Moves the text from its first "select " (any case) to its start; without one, empties it. */
void TDX_StartAtSelect(char* text) {
    const size_t word = sizeof kSelectWord - 1;
    for (char* p = text; *p != '\0'; ++p) {
        if (strncasecmp(p, kSelectWord, word) == 0) {
            std::memmove(text, p, std::strlen(p) + 1);
            return;
        }
    }
    text[0] = '\0';
}

/* The view query failed to run: the user may not read the catalog. The server's message is not
 * shown; the host gets the explanation as the view's text, and sqlCode 4. */
void TDX_RefuseViewText(RequestBlock* block, char* text, size_t size) {
    dbcancel(block->dbproc);
    if (MessageRecord* record = TDX_CollectServerMessage(block)) {
        kwdbt_freeMessage(record);
    }
    TDX_DiscardServerMessages(block);
    block->status = KW_STATUS_OK;
    block->sqlCode = VIEW_TEXT_REFUSED;
    const int max = size < VIEW_PIECE_SIZE ? static_cast<int>(size) : VIEW_PIECE_SIZE;
    if (LoadStringA(moduleInstance, IDS_NO_VIEW_TEXT_AUTHORITY, text, max) == 0) {
        text[0] = '\0';
    }
}

}  // namespace

/* ---- Line ends and the USE PROCEDURE cleaner ---- */

size_t TDX_NormalizedSize(const char* text) {
    LineCursor cursor{text, false};
    const char* start = nullptr;
    size_t length = 0;
    size_t size = 1;
    while (TDX_NextLine(&cursor, &start, &length)) {
        size += length + 2;
    }
    return size;
}

size_t TDX_NormalizeLineEnds(const char* text, char* out, size_t outSize) {
    if (outSize == 0) {
        return 0;
    }
    LineCursor cursor{text, false};
    const char* start = nullptr;
    size_t length = 0;
    size_t written = 0;
    out[0] = '\0';
    while (TDX_NextLine(&cursor, &start, &length)) {
        if (written + length + 2 + 1 > outSize) {
            return written; /* only whole lines: the caller sized the answer with TDX_NormalizedSize */
        }
        std::memcpy(out + written, start, length);
        written += length;
        out[written++] = '\r';
        out[written++] = '\n';
        out[written] = '\0';
    }
    return written;
}

void TDX_CleanUseProcedure(char* text) {
    char* p = text;
    while (TDX_IsLineSpace(*p)) {
        ++p;
    }
    const size_t word = sizeof kUseProcedure - 1;
    if (strncasecmp(p, kUseProcedure, word) == 0 && TDX_IsLineSpace(p[word])) {
        p += word + 1;
        while (TDX_IsLineSpace(*p)) {
            ++p;
        }
    }
    /* An owner qualifier: at most eight name characters and a point before the name. A point
     * after anything else belongs to the arguments ('a.b', 1.5) and stays. */
    int i = 0;
    while (i <= OWNER_QUALIFIER_MAX && TDX_IsNameCharacter(p[i])) {
        ++i;
    }
    if (i > 0 && i <= OWNER_QUALIFIER_MAX && p[i] == '.') {
        std::memset(p, ' ', static_cast<size_t>(i) + 1);
        p += i + 1;
    }
    /* A group number: from the semicolon up to the first parameter. A semicolon inside a quoted
     * argument or after the first parameter belongs to the arguments and stays. */
    char* semicolon = p;
    while (*semicolon != '\0' && *semicolon != ';' && *semicolon != '&' && *semicolon != '\'') {
        ++semicolon;
    }
    if (*semicolon != ';') {
        return;
    }
    for (char* q = semicolon; *q != '\0' && *q != '&'; ++q) {
        *q = ' ';
    }
}

/* ---- Request 73: the stored requests ---- */

void TDX_ListStoredRequests(RequestBlock* block) {
    block->result = 0;
    char owner[TDX_PROFILE_VALUE_SIZE] = {};
    TDX_ReadStoredRequestOwner(block, owner);
    CatalogStatement statement;
    HostList* list = TDX_BeginListRequest(block, &statement);
    if (list == nullptr) {
        return;
    }
    TDX_AppendStatement(block, &statement, "SELECT REQ_NAME FROM %s.%s", {owner, kStoredRequestTable});
    if (statement.failed != 0) {
        TDX_EndStatement(block, &statement);
        kwshr_destroyList(list);
        TDX_ReportNoMemory(block);
        return;
    }
    DBPROCESS* dbproc = block->dbproc;
    char name[REQUEST_NAME_SIZE] = {};
    int32_t count = -1;
    bool noMemory = false;
    if (TDX_RunCatalogStatement(block, statement.text) == FAIL) {
        TDX_ReportFailure(block);
    } else if (dbrows(dbproc) == FAIL) {
        count = 0;
    } else if (TDX_Bind(dbproc, 1, KW_BIND_TEXT, REQUEST_NAME_SIZE, name) == FAIL) {
        TDX_ReportFailure(block);
    } else {
        count = TDX_FetchStoredRequests(block, list, name, &noMemory);
        if (noMemory) {
            TDX_ReportNoMemory(block);
        } else if (count < 0) {
            TDX_ReportFailure(block);
        }
    }
    TDX_EndStatement(block, &statement);
    TDX_FinishCatalogStatement(block, count >= 0);
    if (count > 0 && block->status == KW_STATUS_OK) {
        block->result = reinterpret_cast<intptr_t>(list);
    } else {
        TDX_FreeStoredRequestList(block, list);
    }
}

/* ---- Request 74: a stored request's text ---- */

void TDX_StoredRequestText(RequestBlock* block) {
    block->result = 0;
    const auto* name = static_cast<const char*>(block->arg);
    if (name == nullptr) {
        return; /* no name: no such request */
    }
    char owner[TDX_PROFILE_VALUE_SIZE] = {};
    TDX_ReadStoredRequestOwner(block, owner);
    const int32_t length = TDX_StoredTextLength(block, owner);
    if (length <= 0) {
        return;
    }
    char* text = TDX_ReadStoredText(block, owner, name, length);
    if (text == nullptr) {
        return;
    }
    block->result = reinterpret_cast<intptr_t>(TDX_LineEndAnswer(block, text));
    kwshr_free(block->memoryContext, text);
}

/* ---- Request 75: run a procedure and make a result set of it current ---- */

void TDX_RunProcedure(RequestBlock* block) {
    const char* source = block->sqlText != nullptr ? block->sqlText : "";
    const int32_t wanted = block->inValue;
    const size_t size = TDX_RewrittenSize(source);
    auto* work = static_cast<char*>(kwshr_allocate(block->memoryContext, size, 0));
    if (work == nullptr) {
        TDX_ReportNoMemory(block);
        return;
    }
    std::memset(work, 0, size);
    TDX_RewriteExecute(block, source, work, size);
    TDX_CleanUseProcedure(work);

    DBPROCESS* dbproc = block->dbproc;
    bool positioned = false;
    bool reported = false;
    /* An error that no request reported is answered now, and nothing is sent under it. */
    if (TDX_ReportPendingError(block)) {
        reported = true;
    } else if (!TDX_SendProcedure(block, work)) {
        dbfreebuf(dbproc);
        TDX_ReportFailure(block);
        reported = true;
    } else if (MessageRecord* record = TDX_CollectServerMessage(block)) {
        dbcancel(dbproc);
        TDX_ReportRecord(block, record);
        reported = true;
    } else {
        int32_t counted = 0;
        for (;;) {
            const RETCODE rc = dbresults(dbproc);
            if (rc == NO_MORE_RESULTS) {
                break;
            }
            if (rc == FAIL) {
                /* A statement of the procedure failed: its message says why. */
                TDX_ReportFailure(block);
                dbcancel(dbproc);
                reported = true;
                break;
            }
            if (dbcmdrow(dbproc) != SUCCEED) {
                continue;
            }
            if (++counted == wanted) {
                positioned = true;
                break;
            }
            if (!TDX_SkipRows(dbproc)) {
                TDX_ReportFailure(block);
                dbcancel(dbproc);
                reported = true;
                break;
            }
        }
    }
    kwshr_free(block->memoryContext, work);
    if (positioned || reported) {
        return;
    }
    /* A statement of the procedure that failed ends its results: the error is the answer. */
    if (TDX_ReportPendingError(block)) {
        return;
    }
    TDX_DiscardNotices(block);
    TDX_LoadFormattedMessage(block, IDS_RESULT_SET_NOT_FOUND, static_cast<unsigned>(wanted));
    block->status = KW_STATUS_DRIVER_FAILURE;
}

/* ---- Request 97: a view's text ---- */

void TDX_ViewText(RequestBlock* block) {
    block->sqlCode = 0;
    block->result = 0;
    CatalogStatement statement;
    if (TDX_BeginStatement(block, &statement) == 0) {
        return;
    }
    size_t textSize = VIEW_PIECE_SIZE;
    auto* text = static_cast<char*>(kwshr_allocate(block->memoryContext, textSize, 0));
    if (text == nullptr) {
        TDX_EndStatement(block, &statement);
        TDX_ReportNoMemory(block);
        return;
    }
    std::memset(text, 0, textSize);
    const char* o = TDX_CatalogQualifier(block);
    TDX_UpperInPlace(block->sqlText);
    TDX_UpperInPlace(block->ownerName);
    TDX_AppendStatement(block, &statement,
                        "SELECT TEXT, SEQNO FROM %s.SYSVIEWS WHERE  NAME = '%q' AND CREATOR = '%q' ORDER BY "
                        "SEQNO",
                        {o, block->sqlText, block->ownerName});
    TDX_LowerInPlace(block->sqlText);
    TDX_LowerInPlace(block->ownerName);

    DBPROCESS* dbproc = block->dbproc;
    bool produced = false;
    bool failed = false;
    bool noMemory = statement.failed != 0;
    bool allRowsRead = false;
    if (!noMemory) {
        TDX_DiscardServerMessages(block);
        if (dbcmd(dbproc, statement.text) == FAIL || dbsqlexec(dbproc) == FAIL) {
            dbfreebuf(dbproc);
            /* Only a refused privilege means the user may not read the catalog; any other failure
             * (a lost connection, a timeout) is reported as it is. */
            MessageRecord* record = TDX_CollectServerMessage(block);
            if (record != nullptr && (record->number == SQLCODE_NOT_AUTHORIZED ||
                                      record->number == SQLCODE_NOT_AUTHORIZED_FOR_OBJECT)) {
                kwdbt_freeMessage(record);
                TDX_RefuseViewText(block, text, textSize);
                produced = true;
            } else {
                dbcancel(dbproc);
                TDX_ReportRecord(block, record);
            }
        } else if (dbresults(dbproc) != SUCCEED) {
            failed = true;
        } else if (dbrows(dbproc) == FAIL) {
            /* no such view */
        } else {
            char piece[VIEW_PIECE_SIZE] = {};
            if (TDX_Bind(dbproc, 1, KW_BIND_TEXT, VIEW_PIECE_SIZE, piece) == FAIL) {
                failed = true;
            } else {
                while (!noMemory && TDX_NextCatalogRow(dbproc, &failed)) {
                    noMemory = !TDX_AppendPiece(block, &text, &textSize, piece);
                    std::memset(piece, 0, sizeof piece);
                }
                allRowsRead = !failed && !noMemory;
            }
            if (allRowsRead) {
                TDX_StartAtSelect(text);
                produced = true;
            }
        }
    }
    if (produced) {
        block->result = reinterpret_cast<intptr_t>(TDX_LineEndAnswer(block, text));
    }
    kwshr_free(block->memoryContext, text);
    TDX_EndStatement(block, &statement);
    if (noMemory) {
        TDX_ReportNoMemory(block);
    } else if (failed) {
        TDX_ReportFailure(block);
    }
    if (block->status != KW_STATUS_OK) {
        block->sqlCode = KW_SQLCODE_ERROR; /* the router leaves this request's SQL code to it */
    }
    TDX_FinishCatalogStatement(block, allRowsRead);
}
