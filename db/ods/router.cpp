/*
 * router.cpp - the one entry KW_TDX_Rout: entry checks, two-level dispatch, exit mapping.
 *
 * Every host request passes here. The router clears the block's answers, refuses everything but
 * cancel while a server response or rows are pending, dispatches the request code through the
 * first-level table (codes 1 to 275) or the second-level one (every other code), answers the
 * constant and lookup requests itself, and maps status to the host's SQL code on the way out.
 * The dispatch tables are constant data sorted by code; the router keeps no state of its own.
 */
#include <algorithm>
#include <array>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "internal.h"

namespace {

/* ---- Requests the router answers itself ---- */

/* Function names offered by the host's SQL painter; the host must not free or change them. */
const char* const kFunctionList28[] = {"", nullptr};
const char* const kFunctionList29[] = {
    "DIGITS()",  "LENGTH()",      "SUBSTR()", "VALUE()",   "CHAR()",   "DATE()", "DAY()",      "DAYS()",
    "HOUR()",    "MICROSECOND()", "MINUTE()", "MONTH()",   "SECOND()", "TIME()", "DATETIME()", "YEAR()",
    "DECIMAL()", "FLOAT()",       "HEX()",    "INTEGER()", "",         nullptr,
};
static_assert(sizeof kFunctionList29 / sizeof kFunctionList29[0] == 21 + 1);

void TDX_RowCount(RequestBlock* block) {
    block->result = dbcount(block->dbproc);
}

void TDX_ColumnCount(RequestBlock* block) {
    block->result = dbnumcols(block->dbproc);
}

void TDX_AlwaysNoData(RequestBlock* block) {
    block->status = KW_STATUS_NO_DATA;
}

/* Makes the next result set current. An error that ended the previous one or came with this
 * one is the answer; so is a failing dbresults. */
void TDX_NextResultSet(RequestBlock* block) {
    const RETCODE rc = dbresults(block->dbproc);
    if (TDX_ReportPendingError(block)) {
        return;
    }
    if (rc == NO_MORE_RESULTS) {
        block->status = KW_STATUS_NO_MORE_RESULTS;
    } else if (rc == FAIL) {
        TDX_ReportFailure(block);
    }
}

/* Cancels what is pending on the connection; while the driver waits for a response, every
 * further call is then answered at once. Outside that wait the cancelled work's messages,
 * errors included, go with it: the host asked for none of its answers, and they must not be
 * taken for the failure of the next statement. (Inside the wait the statement itself reports.) */
void TDX_Cancel(RequestBlock* block) {
    if (dbcancel(block->dbproc) == FAIL) {
        TDX_ReportFailure(block);
        return;
    }
    if (block->pendingState == KW_PENDING_RESPONSE) {
        block->pendingState = KW_PENDING_CANCELLED;
    } else {
        TDX_DiscardServerMessages(block);
    }
}

void TDX_Explain(RequestBlock* block) {
    TDX_LoadMessage(block, IDS_EXPLAIN_NOT_SUPPORTED, 255);
    block->status = KW_STATUS_DRIVER_FAILURE;
}

void TDX_EchoArg(RequestBlock* block) {
    block->result = reinterpret_cast<intptr_t>(block->arg);
}

void TDX_FunctionList28(RequestBlock* block) {
    block->result = reinterpret_cast<intptr_t>(kFunctionList28);
}

void TDX_FunctionList29(RequestBlock* block) {
    block->result = reinterpret_cast<intptr_t>(kFunctionList29);
}

void TDX_LongTransState(RequestBlock* block) {
    block->result = block->connection != nullptr && block->connection->longTrans != 0 ? 1 : 0;
}

void TDX_StaticBindState(RequestBlock* block) {
    block->result = block->connection != nullptr && block->connection->staticBind == 1 ? 1 : 0;
}

void TDX_CopyLoginId(RequestBlock* block) {
    if (block->currentUser != nullptr) {
        kwshr_free(block->memoryContext, block->currentUser);
    }
    block->currentUser = kwshr_duplicateString(block->memoryContext, block->loginId, 0);
}

/* ---- Dispatch tables ---- */

enum RouteKind : uint8_t {
    ROUTE_NOTHING, /* status 0, nothing done */
    ROUTE_RESULT,  /* result = value */
    ROUTE_HANDLER, /* the handler does the work */
};

/* Route flags. */
enum : uint8_t {
    NEEDS_SERVER = 0x01,  /* refused on a block without a DB-Library connection */
    NEEDS_CATALOG = 0x02, /* skipped while the extended catalog is unavailable */
};

struct Route {
    int32_t code;
    RouteKind kind;
    uint8_t flags;
    TDX_Handler handler;
    intptr_t value;
};

constexpr Route nothing(int32_t code) {
    return {code, ROUTE_NOTHING, 0, nullptr, 0};
}
constexpr Route constant(int32_t code, intptr_t value) {
    return {code, ROUTE_RESULT, 0, nullptr, value};
}
constexpr Route handler(int32_t code, TDX_Handler h, uint8_t flags = 0) {
    return {code, ROUTE_HANDLER, flags, h, 0};
}

/* Codes 1 to 275 that the first level dispatches itself; sorted by code. */
constexpr Route kFirstLevel[] = {
    handler(REQ_COMMIT, TDX_Commit, NEEDS_SERVER),
    nothing(2),
    nothing(3),
    handler(REQ_DISCONNECT, TDX_Disconnect),
    handler(REQ_EXECUTE, TDX_Execute, NEEDS_SERVER),
    handler(REQ_ROLLBACK, TDX_Rollback, NEEDS_SERVER),
    handler(REQ_LIST_ALL_TABLES, TDX_ListAllTables, NEEDS_SERVER),
    handler(REQ_LIST_TABLES, TDX_ListSomeTables, NEEDS_SERVER),
    handler(REQ_LIST_COLUMNS, TDX_ListColumns, NEEDS_SERVER),
    handler(REQ_LIST_INDEXES, TDX_ListIndexes, NEEDS_SERVER),
    handler(REQ_READ_INDEX_KEYS, TDX_ReadIndexKeys, NEEDS_SERVER),
    handler(REQ_SELECT_TYPE_IN_COMBO, TDX_SelectTypeInCombo),
    handler(REQ_READ_TYPE_FROM_COMBO, TDX_ReadTypeFromCombo),
    handler(REQ_FILL_TYPE_COMBO, TDX_FillTypeCombo),
    handler(REQ_TYPE_MAX_LENGTH, TDX_TypeMaxLength),
    handler(REQ_IS_IDENTIFIER, TDX_IsIdentifier),
    nothing(20),
    handler(REQ_PREPARE, TDX_Prepare, NEEDS_SERVER),
    handler(REQ_DESCRIBE, TDX_Describe, NEEDS_SERVER),
    handler(REQ_FETCH, TDX_Fetch, NEEDS_SERVER),
    handler(REQ_BIND, TDX_BindDescriptors, NEEDS_SERVER),
    nothing(26),
    handler(REQ_FUNCTIONS_28, TDX_FunctionList28),
    handler(REQ_FUNCTIONS_29, TDX_FunctionList29),
    nothing(30),
    handler(REQ_CONNECT, TDX_Connect),
    handler(REQ_TYPE_HOST_TYPE, TDX_TypeHostType),
    handler(REQ_ROW_COUNT, TDX_RowCount, NEEDS_SERVER),
    handler(REQ_TYPE_DEFAULT_LENGTH, TDX_TypeDefaultLength),
    handler(REQ_IS_SYSTEM_TABLE, TDX_IsSystemTable),
    handler(REQ_IS_CATALOG_COLUMN, TDX_IsCatalogColumn),
    handler(REQ_DATETIME_LITERAL, TDX_DateTimeLiteral),
    handler(REQ_ALWAYS_NO_DATA, TDX_AlwaysNoData),
    handler(REQ_COLUMN_COUNT, TDX_ColumnCount, NEEDS_SERVER),
    handler(REQ_DESCRIBE_BINDINGS, TDX_DescribeBindings, NEEDS_SERVER),
    handler(REQ_BIND_BINDINGS, TDX_BindBindings, NEEDS_SERVER),
    handler(REQ_FETCH_BINDINGS, TDX_FetchBindings, NEEDS_SERVER),
    handler(REQ_MENU_COMMAND, TDX_MenuCommand),
    handler(REQ_BEGIN_LONG_TRANSACTION, TDX_BeginLongTransaction),
    handler(REQ_UNIQUE_KEY_COLUMNS, TDX_UniqueKeyColumns, NEEDS_SERVER),
    handler(REQ_COMPLETE_COLUMN, TDX_CompleteColumn),
    handler(REQ_CONNECT_WITH_DIALOG, TDX_ConnectWithDialog),
    handler(REQ_DESCRIBE_TABLE, TDX_DescribeTable, NEEDS_SERVER),
    handler(REQ_CANCEL, TDX_Cancel, NEEDS_SERVER),
    handler(REQ_ADD_SECURITY_MENU, TDX_AddSecurityMenuItem),
    handler(REQ_LIST_STORED_REQUESTS, TDX_ListStoredRequests, NEEDS_SERVER),
    handler(REQ_STORED_REQUEST_TEXT, TDX_StoredRequestText, NEEDS_SERVER),
    handler(REQ_RUN_PROCEDURE, TDX_RunProcedure, NEEDS_SERVER),
    nothing(76),
    constant(77, 1),
    constant(78, 1),
    constant(79, 0),
    constant(80, 0),
    constant(81, 1),
    constant(82, 0),
    constant(83, 0),
    nothing(84),
    constant(85, 0),
    constant(86, 1),
    constant(87, 1),
    handler(REQ_EXECUTE_88, TDX_Execute, NEEDS_SERVER),
    handler(REQ_READ_FORMATS, TDX_ReadFormats, NEEDS_SERVER),
    handler(REQ_READ_VALIDATIONS, TDX_ReadValidations, NEEDS_SERVER),
    handler(REQ_CATALOG_OWNER, TDX_CatalogOwner),
    constant(95, 0),
    handler(REQ_NEXT_RESULT_SET, TDX_NextResultSet, NEEDS_SERVER),
    handler(REQ_VIEW_TEXT, TDX_ViewText, NEEDS_SERVER),
    handler(REQ_EXPLAIN, TDX_Explain),
    constant(100, 1),
    constant(101, 0),
    nothing(102),
    constant(103, 0),
    constant(105, 1),
    handler(REQ_ECHO_ARG, TDX_EchoArg),
    handler(REQ_READ_ATTRIBUTES, TDX_ReadAttributes, NEEDS_CATALOG | NEEDS_SERVER),
    constant(108, 0),
    constant(109, 1),
    handler(REQ_READ_COLUMN_ATTRIBUTES, TDX_ReadColumnAttributesForTables, NEEDS_CATALOG | NEEDS_SERVER),
    handler(REQ_COLUMN_EXISTS, TDX_ColumnExists, NEEDS_SERVER),
    constant(115, 1),
    constant(118, 1),
    constant(REQ_MAX_NAME_LENGTH, 18),
    constant(REQ_MAX_OWNER_LENGTH, 8),
    constant(REQ_CONSTANT_124, 10),
    constant(REQ_CONSTANT_125, 15),
    constant(REQ_CONSTANT_126, 16),
    constant(131, 0),
    handler(REQ_LONG_TRANS_STATE, TDX_LongTransState),
    constant(133, 1),
    constant(135, 1),
    constant(136, 1),
    constant(137, 1),
    handler(REQ_APPLY_DBPARM, TDX_ApplyDbParmRequest),
    handler(REQ_COPY_LOGIN_ID, TDX_CopyLoginId),
    constant(173, 0),
    constant(174, 0),
    handler(REQ_READ_EDIT_STYLES, TDX_ReadEditStyles, NEEDS_SERVER),
    constant(240, 1),
    handler(REQ_TYPE_DESCRIPTORS, TDX_TypeDescriptors),
    handler(REQ_STATIC_BIND, TDX_StaticBindState),
};

/* Every code the first level does not list comes here; codes not listed do nothing. */
constexpr Route kSecondLevel[] = {
    handler(REQ_WRITE_ATTRIBUTES, TDX_WriteAttributes),
    handler(REQ_DELETE_ATTRIBUTES, TDX_DeleteAttributes, NEEDS_CATALOG),
    constant(104, 0),
    constant(127, 0),
    constant(128, 0),
    constant(129, 0),
    constant(130, 0),
    handler(REQ_CREATE_TABLE, TDX_CreateTable),
    handler(REQ_CREATE_INDEX, TDX_CreateIndex),
    handler(REQ_DROP_INDEX, TDX_DropIndex),
    handler(REQ_ADD_COLUMNS, TDX_AddColumns),
    handler(REQ_DROP_TABLE, TDX_DropTable),
    handler(REQ_CLEAN_CATALOG, TDX_CleanCatalog),
    constant(156, 0),
    constant(157, 0),
    constant(158, 0),
    constant(159, 0),
    constant(161, 0),
    constant(162, 0),
    constant(163, 0),
    handler(REQ_QUOTE_TABLE_NAME, TDX_QuoteTableName),
    constant(195, 1),
    constant(196, 1),
    constant(197, 1),
    constant(198, 1),
    handler(REQ_PRIMARY_KEY, TDX_PrimaryKey, NEEDS_SERVER),
    handler(REQ_FOREIGN_KEYS, TDX_ForeignKeys, NEEDS_SERVER),
    handler(REQ_DELETE_RULE_CHOICES, TDX_DeleteRuleChoices),
    handler(REQ_ADD_PRIMARY_KEY_CLAUSE, TDX_AddPrimaryKeyClause),
    handler(REQ_ALTER_PRIMARY_KEY, TDX_AlterPrimaryKey),
    handler(REQ_ADD_FOREIGN_KEY_CLAUSES, TDX_AddForeignKeyClauses),
    handler(REQ_ALTER_FOREIGN_KEYS, TDX_AlterForeignKeys),
    handler(REQ_DEPENDENT_TABLES, TDX_DependentTables, NEEDS_SERVER),
    constant(213, 0),
    constant(214, 1),
    handler(REQ_WRITE_EDIT_STYLE, TDX_WriteEditStyle),
    handler(REQ_DROP_EDIT_STYLE, TDX_DropEditStyle, NEEDS_SERVER),
    constant(221, 1),
    handler(REQ_WIDEN_LITERAL_222, TDX_WidenIntegerLiteral),
    constant(250, 1),
    handler(REQ_WIDEN_LITERAL_251, TDX_WidenIntegerLiteral),
    constant(269, 1),
};

template <size_t N>
constexpr bool sortedByCode(const Route (&table)[N]) {
    for (size_t i = 1; i < N; ++i) {
        if (table[i - 1].code >= table[i].code) {
            return false;
        }
    }
    return true;
}
template <size_t N>
constexpr bool withinFirstLevel(const Route (&table)[N]) {
    return table[0].code >= 1 && table[N - 1].code <= KW_FIRST_LEVEL_LAST_CODE;
}
static_assert(sortedByCode(kFirstLevel), "first-level routes must be sorted by code");
static_assert(sortedByCode(kSecondLevel), "second-level routes must be sorted by code");
static_assert(withinFirstLevel(kFirstLevel), "the first level covers codes 1 to 275");

template <size_t N>
const Route* findRoute(const Route (&table)[N], int32_t code) {
    const Route* end = table + N;
    const Route* it =
        std::lower_bound(table, end, code, [](const Route& r, int32_t c) { return r.code < c; });
    return it != end && it->code == code ? it : nullptr;
}

/* The first level by code, so that the requests of a fetch loop find their route at once: the
 * index of each code's route in kFirstLevel, or -1. */
constexpr auto kFirstLevelIndex = [] {
    std::array<int16_t, KW_FIRST_LEVEL_LAST_CODE + 1> index{};
    index.fill(-1);
    for (size_t i = 0; i < std::size(kFirstLevel); ++i) {
        index[static_cast<size_t>(kFirstLevel[i].code)] = static_cast<int16_t>(i);
    }
    return index;
}();

const Route* routeOf(int32_t code) {
    if (code >= 1 && code <= KW_FIRST_LEVEL_LAST_CODE) {
        const int16_t i = kFirstLevelIndex[static_cast<size_t>(code)];
        if (i >= 0) {
            return &kFirstLevel[i];
        }
    }
    return findRoute(kSecondLevel, code);
}

/* Answers the pending-state guard: true when the request may go on. */
bool TDX_PassesPendingGuard(RequestBlock* block) {
    if (block->pendingState == KW_PENDING_NONE) { /* nearly every call */
        return true;
    }
    switch (block->pendingState) {
        case KW_PENDING_NONE:
            return true;
        case KW_PENDING_CANCELLED:
            return false;
        case KW_PENDING_ROWS:
            if (block->requestCode == REQ_CANCEL || block->requestCode == REQ_FETCH_BINDINGS ||
                block->requestCode == REQ_FETCH) {
                return true;
            }
            TDX_LoadMessage(block, IDS_ROWS_PENDING, 254);
            block->status = KW_STATUS_DRIVER_FAILURE;
            return false;
        case KW_PENDING_RESPONSE:
            if (block->requestCode == REQ_CANCEL) {
                return true;
            }
            TDX_LoadMessage(block, IDS_RESPONSE_PENDING, 254);
            block->status = KW_STATUS_DRIVER_FAILURE;
            return false;
        default:
            /* A state the host should never set: treat it as idle, as the guard only knows 1 to 3. */
            return true;
    }
}

/* Follows one route: the catalog and server checks, then what the route does. */
inline void TDX_Follow(RequestBlock* block, const Route& route) {
    if ((route.flags & NEEDS_CATALOG) != 0 && (block->flags & FLAG_CATALOG_UNAVAILABLE) != 0) {
        return;
    }
    if ((route.flags & NEEDS_SERVER) != 0 && block->dbproc == nullptr) {
        TDX_LoadMessage(block, IDS_NO_CONNECTION, 255);
        block->status = KW_STATUS_DRIVER_FAILURE;
        return;
    }
    switch (route.kind) {
        case ROUTE_NOTHING:
            break;
        case ROUTE_RESULT:
            block->result = route.value;
            break;
        case ROUTE_HANDLER:
            route.handler(block);
            break;
    }
}

/* The route of a first-level code, taken from the table while compiling. */
constexpr Route firstLevelRoute(int32_t code) {
    for (const Route& route : kFirstLevel) {
        if (route.code == code) {
            return route;
        }
    }
    return nothing(code);
}

/* The two fetch requests come once for every row: their routes are constants here, so that
 * following them reads no table (its lines are seldom still cached when the next row comes). */
constexpr Route kFetchRoute = firstLevelRoute(REQ_FETCH);
constexpr Route kFetchBindingsRoute = firstLevelRoute(REQ_FETCH_BINDINGS);
static_assert(kFetchRoute.kind == ROUTE_HANDLER && kFetchBindingsRoute.kind == ROUTE_HANDLER);

void TDX_Dispatch(RequestBlock* block) {
    switch (block->requestCode) {
        case REQ_FETCH:
            TDX_Follow(block, kFetchRoute);
            return;
        case REQ_FETCH_BINDINGS:
            TDX_Follow(block, kFetchBindingsRoute);
            return;
        default:
            break;
    }
    if (const Route* route = routeOf(block->requestCode)) {
        TDX_Follow(block, *route);
    }
}

int32_t TDX_SqlCodeOf(int32_t status) {
    if (status == KW_STATUS_OK) {
        return KW_SQLCODE_OK;
    }
    if (status == KW_STATUS_NO_DATA || status == KW_STATUS_NO_MORE_RESULTS) {
        return KW_SQLCODE_NO_DATA;
    }
    return KW_SQLCODE_ERROR;
}

}  // namespace

void TDX_LoadMessage(RequestBlock* block, UINT id, int bufferMax) {
    if (LoadStringA(moduleInstance, id, block->message, bufferMax) == 0) {
        block->message[0] = '\0';
    }
}

void TDX_LoadFormattedMessage(RequestBlock* block, UINT id, ...) {
    char format[sizeof block->message] = {};
    if (LoadStringA(moduleInstance, id, format, sizeof format) == 0) {
        block->message[0] = '\0';
        return;
    }
    va_list arguments;
    va_start(arguments, id);
    std::vsnprintf(block->message, sizeof block->message, format, arguments);
    va_end(arguments);
}

void TDX_CopyText(char* out, size_t size, const char* text) {
    if (size == 0) {
        return;
    }
    const size_t length = text != nullptr ? std::min(std::strlen(text), size - 1) : 0;
    if (length > 0) {
        std::memcpy(out, text, length);
    }
    out[length] = '\0';
}

void TDX_Trace(RequestBlock* block, const char* text) {
    const int32_t requestCode = block->requestCode;
    void* const arg = block->arg;
    const int32_t status = block->status;
    const intptr_t result = block->result;
    block->requestCode = REQ_TRACE;
    block->arg = const_cast<char*>(text);
    kwshr_trace(block);
    block->requestCode = requestCode;
    block->arg = arg;
    block->status = status;
    block->result = result;
}

/* Marked hot, like the fetch and the date reading: the compiler keeps the code a fetched row runs
 * together, in few lines and pages, which the work between two rows has often pushed out. */
[[gnu::hot]] int32_t KW_TDX_Rout(RequestBlock* block) {
    if (block == nullptr) {
        return 0;
    }
    block->message[0] = '\0';
    block->status = KW_STATUS_OK;
    block->result = 0;
    if (!TDX_PassesPendingGuard(block)) {
        return 0;
    }
    /* The handlers report through the block and throw nothing of their own, but a few build texts
     * in standard strings, which throw when memory runs out: that becomes the "no memory" answer,
     * never an exception through the host's C call. */
    try {
        TDX_Dispatch(block);
    } catch (...) {
        TDX_ReportNoMemory(block);
    }
    if (block->requestCode != REQ_VIEW_TEXT) {
        block->sqlCode = TDX_SqlCodeOf(block->status);
    }
    return 0;
}
