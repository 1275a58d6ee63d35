/*
 * internal.h - what the driver's subsystems share inside the module.
 *
 * The module-wide state (instance handle, once-flag, the dialog list of the dialogs file), the
 * handlers each subsystem offers the router, and the small helpers every subsystem uses:
 * loading a string into the block's message, writing a trace line, the DB-Library bind table.
 * Nothing here is exported from the module.
 */
#ifndef TDX_INTERNAL_H
#define TDX_INTERNAL_H

#include <sybdb.h>

#include <initializer_list>

#include "kwconst.h"
#include "kwdbt.h"
#include "kwrecords.h"
#include "kwshr.h"
#include "kwtdx.h"
#include "kwuser.h"

/* ---- Module-wide state (module.cpp) ---- */
extern HINSTANCE moduleInstance;
extern int32_t firstAttach;

/* ---- Shared helpers (router.cpp) ---- */

/* Loads string `id` into the block's message, at most bufferMax - 1 characters and a NUL. */
void TDX_LoadMessage(RequestBlock* block, UINT id, int bufferMax);
/* Loads string `id`, a printf format, and writes it with the arguments into the block's message,
 * cut to its size; an unknown id leaves the message empty. */
void TDX_LoadFormattedMessage(RequestBlock* block, UINT id, ...);
/* Copies a text into a buffer of `size` bytes, cut to size - 1 characters and terminated. */
void TDX_CopyText(char* out, size_t size, const char* text);
/* Writes one trace line through the host, leaving requestCode, arg, status and result as they were. */
void TDX_Trace(RequestBlock* block, const char* text);

/* ---- DB-Library binding (bind.cpp) ---- */

/* The FreeTDS bind type of one of the driver's bind numbers (KW_BIND_...), or -1. */
int TDX_DbLibBindType(int32_t driverType);
/* dbbind with the driver's bind number; FAIL for a number the driver does not know. */
RETCODE TDX_Bind(DBPROCESS* dbproc, int column, int32_t driverType, DBINT varlen, void* variable);

/* ---- Diagnostics (diag.cpp) ---- */
/* The most severe message queued for the block's connection, gateway continuations and return
 * codes merged into it, the others released; null when none is left. `first` is the queue's
 * first record. */
MessageRecord* TDX_CollectQueuedMessages(RequestBlock* block, MessageRecord* first);
/* The same from the queue itself. An empty queue, the answer after nearly every fetched row, costs
 * only the host's look at it. */
inline MessageRecord* TDX_CollectServerMessage(RequestBlock* block) {
    MessageRecord* first = kwdbt_firstMessage(block->dbproc);
    return first != nullptr ? TDX_CollectQueuedMessages(block, first) : nullptr;
}
MessageRecord* TDX_MergeGatewayMessage(RequestBlock* block, MessageRecord* candidate, MessageRecord* record);
int32_t TDX_ParseGatewayReturnCode(const char* text, char* out);
void TDX_ReportFailure(RequestBlock* block);
/* Reports a collected record (null: the default text with status 999) and releases it. */
void TDX_ReportRecord(RequestBlock* block, MessageRecord* record);
/* Reports that the host had no memory for the request: status 999. */
void TDX_ReportNoMemory(RequestBlock* block);
void TDX_DiscardServerMessages(RequestBlock* block);
/* Severities up to this one are notices (informational messages, warnings); above it, errors. */
enum { TDX_MOST_SEVERE_NOTICE = 10 };
/* Whether the connection's queue holds an error (a message more severe than a notice). */
bool TDX_ErrorPending(RequestBlock* block);
/* Reports the queued messages as a failure when they hold an error; answers whether it did. A
 * queue of notices is left as it is. */
bool TDX_ReportPendingError(RequestBlock* block);
/* Empties a queue that holds only notices; a queue that holds an error is left whole. */
void TDX_DiscardNotices(RequestBlock* block);

/* Size of the buffer TDX_ParseGatewayReturnCode writes into. */
enum { TDX_RETURN_CODE_BUFFER = 64 };

/* ---- Connections (connect.cpp) ---- */

/* Output buffers of TDX_GetProfileSetting hold this many characters. */
enum { TDX_PROFILE_VALUE_SIZE = 130 };

void TDX_ApplyDbParm(RequestBlock* block, HostList* parameters);
void TDX_ApplyDbParmRequest(RequestBlock* block);
void TDX_GetProfileSetting(RequestBlock* block, const char* key, char* out);
void TDX_PutProfileSetting(const char* key, char* value);
int32_t TDX_HasProfileSetting(const char* key, char* out, int32_t size);
int32_t TDX_ProbeLongTrans(RequestBlock* block);
void TDX_SendConnectOptions(RequestBlock* block);
void TDX_Connect(RequestBlock* block);
void TDX_Disconnect(RequestBlock* block);
void TDX_SetLongTrans(RequestBlock* block, const char* value);
void TDX_Commit(RequestBlock* block);
void TDX_Rollback(RequestBlock* block);
void TDX_BeginLongTransaction(RequestBlock* block);

/* ---- Dialogs (dialogs.cpp) ---- */
/* The block a driver dialog works for: set just before the dialog is shown. */
extern RequestBlock* currentDialogBlock;
void TDX_ConnectWithDialog(RequestBlock* block);
void TDX_CatalogOwner(RequestBlock* block);
intptr_t TDX_ShowLoginDialog(RequestBlock* block);
intptr_t TDX_AskSystemOwner(RequestBlock* block);
intptr_t TDX_AskCatalogOwner(RequestBlock* block);
intptr_t TDX_AskTableSpace(RequestBlock* block);
intptr_t TDX_AskStoredRequestOwner(RequestBlock* block);

/* The texts the security dialog keeps: a table as its list shows it (an owner, a point and a
 * name at most) and a DB2 authorization id of at most 8 characters. */
enum { TDX_SECURITY_TABLE_TEXT = 160, TDX_GRANTEE_MAX = 8 };

/* One open driver dialog, found by its window. The security dialog's state follows the part
 * every dialog has. */
typedef struct DialogContext {
    HWND window;
    RequestBlock* block;
    /* The TableEntry records behind the security dialog's table list. */
    HostList* tableList;
    HostConnectContext* connectContext;
    /* The table taken up last (or null), its text in the list, and the grantee it was taken up
     * with; whether the last privilege read found a row; whether a privilege box or the column
     * selection changed since the last apply. */
    TableEntry* currentEntry;
    char currentTable[TDX_SECURITY_TABLE_TEXT];
    char currentGrantee[TDX_GRANTEE_MAX + 1];
    int32_t hadPrivileges;
    int32_t dirty;
} DialogContext;
/* Creates the context of a dialog being initialised, for currentDialogBlock; null without one. */
DialogContext* TDX_RegisterDialogContext(HWND window);
DialogContext* TDX_FindDialogContext(HWND window);
/* WM_NCDESTROY: the context leaves the list and is freed (with its table list, when still set). */
void TDX_ReleaseDialogContext(HWND window);

/* ---- Security (security.cpp) ---- */
void TDX_AddSecurityMenuItem(RequestBlock* block);
void TDX_MenuCommand(RequestBlock* block);

/* ---- Statement execution (exec.cpp) ---- */
int32_t TDX_IsExecuteStatement(const char* text);
/* The size of the buffer a rewritten copy of the text needs. */
size_t TDX_RewrittenSize(const char* text);
/* Writes the text, an EXECUTE statement rewritten into USE PROCEDURE form, into `out`; writes an
 * empty text when `outSize` is too small. */
void TDX_RewriteExecute(RequestBlock* block, const char* text, char* out, size_t outSize);
RETCODE TDX_SendAndWait(RequestBlock* block);
RETCODE TDX_ExecuteStatement(RequestBlock* block, const char* text);
/* Reads the results of what was sent until there are none; failures are discarded. Traces the
 * text (when given) for every result read. */
void TDX_DrainResults(RequestBlock* block, const char* traceOnResult);
void TDX_Execute(RequestBlock* block);
void TDX_Prepare(RequestBlock* block);
void TDX_EndCompileOnlyDescribe(RequestBlock* block);

/* ---- Result sets (results.cpp) ---- */
void TDX_Describe(RequestBlock* block);
void TDX_BindDescriptors(RequestBlock* block);
void TDX_Fetch(RequestBlock* block);
void TDX_DescribeBindings(RequestBlock* block);
void TDX_BindBindings(RequestBlock* block);
void TDX_FetchBindings(RequestBlock* block);
/* Converts one fetched value in place, by host type (decimals, dates, times, single-precision
 * floats). Answers false, leaving the delivered text in place, for a decimal that the host decimal
 * cannot hold exactly (DB2 decimals reach 31 digits). */
bool TDX_ConvertValue(void* buffer, int32_t hostType);
/* The same for a buffer known to hold `size` bytes (what DB-Library was allowed to write there), so
 * that the gateway's date and time forms are read without looking for the text's end first. */
bool TDX_ConvertValueIn(void* buffer, size_t size, int32_t hostType);

/* ---- Conversions (convert.cpp) ---- */
/* Parses a DB2 date (kind HOST_DATE), time (HOST_TIME) or timestamp (HOST_DATETIME) text. */
void TDX_ParseDateTime(DateTimeValue* out, const char* text, int32_t kind);
/* The same for a text in a buffer of `size` bytes, all of which may be read. `out` may be the
 * buffer itself: the value replaces the text's start. */
void TDX_ParseDateTimeIn(DateTimeValue* out, const char* buffer, size_t size, int32_t kind);
void TDX_DateTimeLiteral(RequestBlock* block);
bool TDX_IsIdentifierText(const char* text);
/* A character of an ordinary DB2 name: a letter, a digit, _, #, @ or $. */
bool TDX_IsNameCharacter(char c);
/* A blank, tab, carriage return or line feed. */
bool TDX_IsLineSpace(char c);
void TDX_IsIdentifier(RequestBlock* block);
void TDX_WidenIntegerLiteral(RequestBlock* block);

/* ---- Request handlers the router dispatches to ---- */
typedef void (*TDX_Handler)(RequestBlock* block);

/* ---- Catalog statements (catalog.cpp) ---- */

/* Catalog statements start in a buffer of this many bytes, which grows when a long owner
 * qualifier, group id or table criteria needs more. */
enum { TDX_STATEMENT_BUFFER = 1500 };

/* A catalog statement being built: text[0..length) is the statement, always terminated. When
 * the host has no memory to grow it, `failed` is set and further appends do nothing. */
typedef struct CatalogStatement {
    char* text;
    size_t size;
    size_t length;
    int32_t failed;
} CatalogStatement;

/* Takes the zero-filled buffer; answers 0 (and reports) when the host has none. */
int32_t TDX_BeginStatement(RequestBlock* block, CatalogStatement* statement);
/* Creates the list a catalog request answers with and begins its statement; answers null (and
 * reports, holding nothing) when the host has no memory for either. */
HostList* TDX_BeginListRequest(RequestBlock* block, CatalogStatement* statement);
/* Appends `pattern` with each %s replaced by the next piece as it is and each %q by the next
 * piece with its single quotes doubled (a name or id inside a quoted literal); a null piece
 * appends nothing. */
void TDX_AppendStatement(RequestBlock* block, CatalogStatement* statement, const char* pattern,
                         std::initializer_list<const char*> pieces);
void TDX_EndStatement(RequestBlock* block, CatalogStatement* statement);
/* The owner qualifier of the DB2 catalog tables: systemOwner, or "SYSIBM" when it is null or
 * empty; a null systemOwner is asked for first with the System Owner dialog. */
const char* TDX_CatalogQualifier(RequestBlock* block);
/* Upper-cases or lower-cases a text of the block in place; a null text is left alone. */
void TDX_UpperInPlace(char* text);
void TDX_LowerInPlace(char* text);
/* Sends the statement and makes its first result current: dbcmd, dbsqlexec, dbresults. */
RETCODE TDX_RunCatalogStatement(RequestBlock* block, const char* text);
/* Reads the next row: true for a row; false at the end or on a failure, which `failed` tells. */
bool TDX_NextCatalogRow(DBPROCESS* dbproc, bool* failed);
/* Leaves the connection ready for the next statement: the rest of an answer whose rows were all
 * read is read to its end, then whatever is still pending is cancelled. */
void TDX_FinishCatalogStatement(RequestBlock* block, bool allRowsRead);

/* Table list: mode 1 lists the tables the user may see, mode 0 those the user may grant. */
enum { TDX_LIST_GRANTABLE = 0, TDX_LIST_VISIBLE = 1 };
void TDX_ListTables(RequestBlock* block, int32_t mode);
/* Appends the entry of the one table a dependent-table record names, if the user may see it;
 * answers 1 when the statement failed, else 0. */
int32_t TDX_AppendVisibleTable(RequestBlock* block, HostList* list, const DependentTable* record);
/* Whether the table (name, owner) belongs to the system: owned by the system owner or named as
 * one of the extended catalog's tables. Neither test asks for a missing system owner. */
bool TDX_IsSystemTableName(RequestBlock* block, const char* name, const char* owner);
bool TDX_IsCatalogColumnName(RequestBlock* block, const char* column, const char* table, const char* owner);
/* Frees a list of TableEntry records with their owner copies. */
void TDX_FreeTableList(RequestBlock* block, HostList* list);
void TDX_ListAllTables(RequestBlock* block);
void TDX_ListSomeTables(RequestBlock* block);
void TDX_DescribeTable(RequestBlock* block);
void TDX_EnsureSystemOwner(RequestBlock* block);
void TDX_IsSystemTable(RequestBlock* block);
void TDX_IsCatalogColumn(RequestBlock* block);

/* ---- Columns and types (columns.cpp, types.cpp) ---- */
void TDX_ListColumns(RequestBlock* block);
void TDX_CompleteColumn(RequestBlock* block);
int32_t TDX_ResolveDateTimeType(RequestBlock* block, char* tableName, ColumnDescriptor* descriptor);
void TDX_ColumnExists(RequestBlock* block);

/* One row of the type table. */
typedef struct TypeRow {
    int32_t lowerNameId;
    int32_t db2Type;
    int32_t hostType;
    int32_t maxLength;
    int32_t defaultLength;
} TypeRow;
extern const TypeRow TYPE_TABLE[DB2_TYPE_COUNT];
/* The type-table row of a DB2 type code, or null. */
const TypeRow* TDX_TypeRow(int32_t db2Type);
/* The DB2 type code of a catalog COLTYPE (compared exactly), or 0. */
int32_t TDX_TypeOfColType(const char* colType);
void TDX_TypeMaxLength(RequestBlock* block);
void TDX_TypeHostType(RequestBlock* block);
void TDX_TypeDefaultLength(RequestBlock* block);
void TDX_FillTypeCombo(RequestBlock* block);
void TDX_SelectTypeInCombo(RequestBlock* block);
void TDX_ReadTypeFromCombo(RequestBlock* block);
void TDX_TypeDescriptors(RequestBlock* block);

/* ---- Indexes and keys (indexes.cpp, keys.cpp) ---- */
void TDX_ListIndexes(RequestBlock* block);
void TDX_ReadIndexKeys(RequestBlock* block);
void TDX_UniqueKeyColumns(RequestBlock* block);
void TDX_PrimaryKey(RequestBlock* block);
void TDX_ForeignKeys(RequestBlock* block);
void TDX_DependentTables(RequestBlock* block);

/* Exported helper of the keyed set of dependent tables (keys.cpp). */
KW_EXTERN_C char* TDX_FKListHashString(void* record);

/* ---- Stored requests and view text (procs.cpp) ---- */

/* The size (terminator included) of a text with every line ended by CR LF: lines end at each CR
 * (a CR LF counting as one break) or, where no CR is left, at each LF; the last line is ended
 * too, and an empty text stays empty. */
size_t TDX_NormalizedSize(const char* text);
/* Writes that text into `out`, whole lines only, never past outSize; answers its length. */
size_t TDX_NormalizeLineEnds(const char* text, char* out, size_t outSize);
/* Cleans a USE PROCEDURE statement in place, keeping its length: the owner qualifier (at most
 * eight characters and the point) and the group number (from the semicolon up to the first
 * parameter marked with &) become blanks. A semicolon after the first parameter or inside a quoted
 * argument is part of the arguments and stays. */
void TDX_CleanUseProcedure(char* text);
void TDX_ListStoredRequests(RequestBlock* block);
void TDX_StoredRequestText(RequestBlock* block);
void TDX_RunProcedure(RequestBlock* block);
void TDX_ViewText(RequestBlock* block);

/* ---- Statement text for the table and index painters (ddl.cpp) ---- */
/* `inValue` = DB2 type number, `arg` = length (low 16 bits) and scale (high 16 bits); writes the
 * column type text into `out` and sets `result` to it, or `result` = 0 for an unknown type. */
void TDX_ColumnTypeText(RequestBlock* block, char* out);
/* `inValue` = host data type; `result` = the DB2 type number of the first type-table row, or 0. */
void TDX_TypeFromHostType(RequestBlock* block);
void TDX_CreateTable(RequestBlock* block);
void TDX_AddPrimaryKeyClause(RequestBlock* block);
void TDX_AddForeignKeyClauses(RequestBlock* block);
void TDX_DeleteRuleChoices(RequestBlock* block);
void TDX_AddColumns(RequestBlock* block);
void TDX_DropTable(RequestBlock* block);
void TDX_CreateIndex(RequestBlock* block);
void TDX_DropIndex(RequestBlock* block);
void TDX_AlterPrimaryKey(RequestBlock* block);
void TDX_AlterForeignKeys(RequestBlock* block);
void TDX_QuoteTableName(RequestBlock* block);

/* ---- Extended attribute catalog (extcatalog.cpp, attributes.cpp) ---- */

/* Owner names of the extended catalog hold at most this many characters, database names at
 * most TDX_DATABASE_NAME_MAX; longer ones are refused before any statement is built. */
enum { TDX_OWNER_NAME_MAX = 129, TDX_DATABASE_NAME_MAX = 11 };

/* The five tables, in the order the connect-time check probes them. */
enum CatalogTable {
    CAT_TABLES = 0,
    CAT_COLUMNS,
    CAT_FORMATS,
    CAT_VALIDATIONS,
    CAT_EDIT_STYLES,
    CAT_TABLE_COUNT
};
enum { TDX_FORMAT_SEED_COUNT = 20, TDX_EDIT_STYLE_SEED_COUNT = 21 };

/* Where the owner falls back to when the connection names no catalog owner. */
enum OwnerFallback { OWNER_FROM_LOGIN, OWNER_FROM_CURRENT_USER };
/* Resolves the catalog owner into `out` (TDX_OWNER_NAME_MAX + 1 bytes): the connection's
 * catalogOwner when set and not empty (asked for first when it is null), else the login id or
 * the current user, else empty. Answers 0 (and reports, status 999) when the name is too long. */
int32_t TDX_ResolveCatalogOwner(RequestBlock* block, int32_t fallback, char* out);

/* Statement texts of the connect-time check, for one table (pure: nothing is sent). */
const char* TDX_CatalogTableName(int32_t table);
void TDX_CatalogProbeText(RequestBlock* block, CatalogStatement* statement, int32_t table, const char* owner);
void TDX_CatalogCreateText(RequestBlock* block, CatalogStatement* statement, int32_t table,
                           const char* database, const char* tableSpace, const char* owner);
void TDX_CatalogIndexText(RequestBlock* block, CatalogStatement* statement, int32_t table, const char* owner);
void TDX_CatalogGrantText(RequestBlock* block, CatalogStatement* statement, int32_t table, const char* owner);
void TDX_SeedFormatText(RequestBlock* block, CatalogStatement* statement, int32_t row, const char* owner);
void TDX_SeedEditStyleText(RequestBlock* block, CatalogStatement* statement, int32_t row, const char* owner);

void TDX_CheckCatalog(RequestBlock* block);
RETCODE TDX_CreateCatalogTable(RequestBlock* block, int32_t table, const char* database,
                               const char* tableSpace, const char* owner);
RETCODE TDX_SeedFormats(RequestBlock* block, const char* owner);
RETCODE TDX_SeedEditStyles(RequestBlock* block, const char* owner);

/* Statements written through the host's statement text builder. `failed` is set when the host
 * had no memory; nothing more is written after it. */
typedef struct StatementWriter {
    RequestBlock* block;
    StatementBuilder* builder;
    int32_t failed;
} StatementWriter;
int32_t TDX_OpenWriter(RequestBlock* block, StatementWriter* w, int32_t lineCapacity);
/* Writes a text as it is, or with printf arguments. */
void TDX_Write(StatementWriter* w, const char* text);
void TDX_WriteFormat(StatementWriter* w, const char* format, ...) __attribute__((format(printf, 2, 3)));
/* Writes a free text made fit to stand between single quotes (its quotes doubled by the host);
 * a null or empty text writes nothing. */
void TDX_WriteText(StatementWriter* w, const char* text);
/* Ends the current line; `last` for the statement's last line. */
void TDX_WriteLineEnd(StatementWriter* w, int32_t last);
/* The statement written so far joins statementList. */
void TDX_WriteStatementEnd(StatementWriter* w);
/* Sets the builder back to an empty first line. */
void TDX_RewindWriter(StatementWriter* w);
/* result = the builder's line count; releases the builder (reports a lack of memory). */
void TDX_CloseWriter(StatementWriter* w);

/* Requests that may come before any connect work on a zero-filled connection record of their own;
 * answers whether one was lent (and 0 with a report when the host had no memory). */
int32_t TDX_LendConnection(RequestBlock* block, bool* lent);
void TDX_ReturnConnection(RequestBlock* block, bool lent);
/* Lends a connection as above, sets `*system` to the system owner qualifier when asked for it, and
 * resolves the catalog owner into `owner`; on failure the connection is given back and the block
 * holds the report. */
bool TDX_LendForCatalog(RequestBlock* block, bool* lent, char* owner, const char** system = nullptr);

/* Reading attributes (requests 70, 107, 110, 64). */
void TDX_TableAttributesQuery(RequestBlock* block, CatalogStatement* statement, const TableEntry* entry,
                              const char* owner);
void TDX_ColumnAttributesQuery(RequestBlock* block, CatalogStatement* statement, const char* table,
                               const char* tableOwner, const char* column, const char* owner);
void TDX_ColumnAttributesForTablesQuery(RequestBlock* block, CatalogStatement* statement, HostList* tables,
                                        const char* owner);
void TDX_ReadTableAttributes(RequestBlock* block, TableEntry* entry);
void TDX_ReadColumnAttributesOfTable(RequestBlock* block, char* table, KWSET keys,
                                     ColumnDescriptor* descriptor);
KWSET TDX_CreateColumnKeySet(RequestBlock* block);
void TDX_ReadColumnAttributesOfColumn(RequestBlock* block, char* table, ColumnDescriptor* descriptor);
void TDX_ReadAttributes(RequestBlock* block);
void TDX_ReadColumnAttributesForTables(RequestBlock* block);

/* Writing attributes (requests 45, 60): the four statement writers and the requests. */
void TDX_UpdateTableAttributes(StatementWriter* w, TableEntry* table, const char* owner);
void TDX_InsertTableAttributes(StatementWriter* w, TableEntry* table, const char* owner);
void TDX_UpdateColumnAttributes(StatementWriter* w, TableEntry* table, ColumnDescriptor* column,
                                const char* owner);
void TDX_InsertColumnAttributes(StatementWriter* w, TableEntry* table, ColumnDescriptor* column,
                                const char* owner);
void TDX_WriteAttributes(RequestBlock* block);
void TDX_DeleteAttributes(RequestBlock* block);

/* Dictionaries and clean-up (requests 89, 90, 215, 217, 218, 153). */
enum { DICT_FORMATS = 'f', DICT_VALIDATIONS = 'v', DICT_EDIT_STYLES = 'e' };
void TDX_DictionaryQuery(RequestBlock* block, CatalogStatement* statement, int32_t kind, const char* owner);
void TDX_ReadDictionary(RequestBlock* block, int32_t kind);
void TDX_ReadFormats(RequestBlock* block);
void TDX_ReadValidations(RequestBlock* block);
void TDX_ReadEditStyles(RequestBlock* block);
void TDX_InsertEditStyleRow(StatementWriter* w, const DictionaryEntry* row, const char* owner);
void TDX_UpdateEditStyleRow(StatementWriter* w, DictionaryEntry* row, const DictionaryEntry* stored,
                            const char* owner);
void TDX_DeleteEditStyleRow(StatementWriter* w, const DictionaryEntry* stored, const char* owner);
void TDX_WriteEditStyle(RequestBlock* block);
void TDX_DropEditStyle(RequestBlock* block);
void TDX_CleanCatalog(RequestBlock* block);

#endif
