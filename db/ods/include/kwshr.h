/*
 * kwshr.h - the shared runtime of the host (libkwshr050).
 *
 * The first part lists the services the driver calls, with the call shapes the driver relies
 * on. The second part is the host-side interface that hosts (tests, kwsh) use to set up what
 * the driver works in: memory contexts, the trace, the profile.
 */
#ifndef KW_SHR_H
#define KW_SHR_H

#include "kwrecords.h"

KW_BEGIN_C

/* ---- Memory: every allocation belongs to the context it came from ---- */

/* Returns memory that is not zeroed, or null (also when the context's failure knob fires). */
KW_EXPORT void* kwshr_allocate(KWCTX ctx, size_t size, int32_t flags);
/* Frees memory of the context; a pointer the context did not hand out is counted and ignored. */
KW_EXPORT void kwshr_free(KWCTX ctx, void* memory);
/* Grows or shrinks memory, keeping its contents; null on failure (the old memory stays valid). */
KW_EXPORT void* kwshr_reallocate(KWCTX ctx, void* memory, size_t newSize, int32_t flags);
/* A copy of a zero-terminated text in the context; null for a null text or on failure. */
KW_EXPORT char* kwshr_duplicateString(KWCTX ctx, const char* text, int32_t flags);

/* ---- Lists: {first, last, cursor} headers over {previous, next, data} nodes ---- */

KW_EXPORT HostList* kwshr_createList(KWCTX ctx, int32_t flags);
/* Appends an item; answers 1, or 0 when no node could be allocated. */
KW_EXPORT int32_t kwshr_appendToList(HostList* list, void* item);
/* Moves the list's one cursor to the first (next) node and answers its item, or null. */
KW_EXPORT void* kwshr_firstListItem(HostList* list);
KW_EXPORT void* kwshr_nextListItem(HostList* list);
/* Removes the node at the cursor (not its item); the cursor moves to the node after it. */
KW_EXPORT void kwshr_removeCurrentListItem(HostList* list);
KW_EXPORT int32_t kwshr_listCount(HostList* list);
/* Frees the nodes and the header; the items belong to whoever took them. */
KW_EXPORT void kwshr_destroyList(HostList* list);
/* Frees a list returned in `result` together with its items. */
KW_EXPORT void kwshr_freeResultList(KWCTX ctx, HostList* list);

/* ---- Keyed sets: records ordered by their key text, compared without regard to ASCII case ---- */

enum { KWSHR_KEYED_SET_KIND = 259 };
KW_EXPORT KWSET kwshr_createKeyedSet(int32_t kind, KwKeyFunction key, int32_t unique, int32_t reserved,
                                     KWCTX ctx, int32_t flags);
/* Adds a record; answers 1, or 0 when a unique set already holds its key or memory ran out. */
KW_EXPORT int32_t kwshr_addToKeyedSet(KWSET set, void* record);
/* The first record with the key (in insertion order), then the following ones with the same key. */
KW_EXPORT void* kwshr_findInKeyedSet(KWSET set, const char* key);
KW_EXPORT void* kwshr_findNextInKeyedSet(KWSET set, const char* key);
/* All records in key order (insertion order among equal keys), null at the end. */
KW_EXPORT void* kwshr_firstInKeyedSet(KWSET set);
KW_EXPORT void* kwshr_nextInKeyedSet(KWSET set);
/* Frees the set; its records are the caller's to free first. */
KW_EXPORT void kwshr_destroyKeyedSet(KWSET set);

/* ---- Text ---- */

KW_EXPORT void kwshr_trimTrailing(char* text, int32_t character);
/* Decimal text (blanks, optional sign, digits, optional point and digits, blanks) into the
 * 16-byte host decimal, exactly: zeros at the end of the fraction are dropped only as far as the
 * scale limit of 28 or the 96-bit mantissa needs. Answers 1, or 0 when it refuses: for text that
 * is not such a number, and for a value the host decimal cannot hold exactly (a significant digit
 * beyond 28 after the point, or a mantissa of 2^96 or more, which some 29-digit and every longer
 * number needs). A refused value is all zero bytes and stands for no number. */
KW_EXPORT int32_t kwshr_textToDecimal(HostDecimal* out, const char* text);
/* `arg` = text; `result` = the text with single quotes doubled, in host storage that stays
 * valid until the next call. */
KW_EXPORT void kwshr_makeSqlStringText(RequestBlock* block);

/* ---- Statement text builder ---- */

/* Opens a builder with room for `lineCapacity` lines of the conventional width. */
KW_EXPORT StatementBuilder* kwshr_beginStatementText(RequestBlock* block, int32_t lineCapacity);
/* Ends the line being written (last = 1 for the statement's last line). */
KW_EXPORT void kwshr_endStatementLine(RequestBlock* block, int32_t last, StatementBuilder* builder);
/* The text from the buffer start to the write position joins the block's statementList as a
 * StatementRecord (lines joined with a newline); statementHandle and lineCount describe it. */
KW_EXPORT void kwshr_finishStatementText(RequestBlock* block, StatementBuilder* builder);
KW_EXPORT void kwshr_releaseStatementText(RequestBlock* block, StatementBuilder* builder);
/* Makes room for `bytes` more characters and a terminating zero at the write position, moving
 * the buffer (and every pointer of the builder) when it must grow; answers 1, or 0 when no
 * memory could be had, in which case nothing changed. */
KW_EXPORT int32_t kwshr_reserveStatementText(RequestBlock* block, StatementBuilder* builder, size_t bytes);

/* ---- Connect parameters: the block's DbParm text ---- */

/* `result` = list of ParameterEntry parsed from `dbParm`, or 0 when there is none. */
KW_EXPORT void kwshr_openConnectParameters(RequestBlock* block);
/* `arg` = list, `paramKey` = key; `result` = the entry with that key (any case), or 0. */
KW_EXPORT void kwshr_findConnectParameter(RequestBlock* block);
/* `arg` = list: frees it with its entries. */
KW_EXPORT void kwshr_closeConnectParameters(RequestBlock* block);
/* Sets key=value (value already in single quotes) in `dbParm`, replacing the key's entry or
 * appending one; the new text is allocated in the block's context. */
KW_EXPORT void kwshr_setDbParmValue(RequestBlock* block, const char* key, const char* value);

/* ---- Profile: INI file, read and written by section and key ---- */

/* Copies the value (or `defaultValue`) into `buffer`, cut to size - 1; answers its length. */
KW_EXPORT int32_t kwshr_readProfileString(const char* section, const char* key, const char* defaultValue,
                                          char* buffer, int32_t size);
/* Writes the value; answers 1, or 0 when the profile could not be written. */
KW_EXPORT int32_t kwshr_writeProfileString(const char* section, const char* key, const char* value);

/* ---- Trace, block data, dialogs ---- */

/* `requestCode` 241, `arg` = text: one trace line. */
KW_EXPORT void kwshr_trace(RequestBlock* block);
/* Releases host data attached to the block: the result-column list and its descriptors. */
KW_EXPORT void kwshr_releaseBlockData(RequestBlock* block);
/* Runs a modal dialog of the module's templates; answers the value its procedure ended it with,
 * or -1 when it could not be created. */
KW_EXPORT intptr_t kwshr_dialogBox(HINSTANCE module, int32_t templateId, HWND owner, DLGPROC procedure,
                                   LPARAM parameter);
/* The last step of every driver dialog's initialisation. */
KW_EXPORT void kwshr_prepareDialog(HWND dialog);

/* ---- Host-side interface (tests, kwsh) ---- */

typedef struct KwContextStats {
    int64_t liveAllocations;
    int64_t liveBytes;
    int64_t totalAllocations;
    int64_t failedAllocations;  /* refused by the failure knob */
    int64_t foreignFrees;       /* frees of pointers the context never handed out */
} KwContextStats;

KW_EXPORT KWCTX kwhost_createContext(const char* name);
/* Frees whatever the context still holds; answers the number of allocations that were live. */
KW_EXPORT int64_t kwhost_destroyContext(KWCTX ctx);
KW_EXPORT void kwhost_contextStats(KWCTX ctx, KwContextStats* stats);
/* Makes the n-th allocation from now fail (1 = the next one); 0 turns the knob off. */
KW_EXPORT void kwhost_failAllocation(KWCTX ctx, int64_t n);

/* Replaces one of the block's text fields with a copy in the block's context (null clears it). */
KW_EXPORT void kwhost_setBlockText(RequestBlock* block, char** field, const char* text);

/* The trace ring keeps the most recent lines; the file is KW_TRACE unless set here. */
KW_EXPORT int32_t kwhost_traceCount(void);
KW_EXPORT int32_t kwhost_traceLine(int32_t index, char* buffer, int32_t size);
KW_EXPORT void kwhost_traceClear(void);
KW_EXPORT void kwhost_setTraceFile(const char* path);

/* The profile path: KW_PROFILE, else $XDG_CONFIG_HOME/kalwen/kw.ini, else ~/.config/kalwen/kw.ini. */
KW_EXPORT void kwhost_setProfilePath(const char* path);
KW_EXPORT int32_t kwhost_profilePath(char* buffer, int32_t size);

KW_END_C

#endif
