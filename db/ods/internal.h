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
MessageRecord* TDX_CollectServerMessage(RequestBlock* block);
MessageRecord* TDX_MergeGatewayMessage(RequestBlock* block, MessageRecord* candidate, MessageRecord* record);
int32_t TDX_ParseGatewayReturnCode(const char* text, char* out);
void TDX_ReportFailure(RequestBlock* block);
/* Reports a collected record (null: the default text with status 999) and releases it. */
void TDX_ReportRecord(RequestBlock* block, MessageRecord* record);
/* Reports that the host had no memory for the request: status 999. */
void TDX_ReportNoMemory(RequestBlock* block);
void TDX_DiscardServerMessages(RequestBlock* block);

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

/* ---- Conversions (convert.cpp) ---- */
/* Parses a DB2 date (kind HOST_DATE), time (HOST_TIME) or timestamp (HOST_DATETIME) text. */
void TDX_ParseDateTime(DateTimeValue* out, const char* text, int32_t kind);
void TDX_DateTimeLiteral(RequestBlock* block);
bool TDX_IsIdentifierText(const char* text);
void TDX_IsIdentifier(RequestBlock* block);
void TDX_WidenIntegerLiteral(RequestBlock* block);

/* ---- Request handlers the router dispatches to ---- */
typedef void (*TDX_Handler)(RequestBlock* block);

/* Handlers of the subsystems that are not built yet answer status 0 and do nothing; the router
 * table names them so (ROUTE_UNBUILT). */

/* Exported helper of the keyed set of dependent tables (catalog.cpp). */
KW_EXTERN_C char* TDX_FKListHashString(void* record);

#endif
