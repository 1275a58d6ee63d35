/*
 * catalog.cpp - system catalog queries: the table list, and what every catalog query shares.
 *
 * Serves requests 7, 8, 70 (the tables and views the user may see), 42 (is this a system table)
 * and 47 (is this a column of the extended catalog), the grant-only list of the Table Security
 * dialog and the visible-table check of the dependent-table list. Shared with the column, index
 * and key queries: the catalog owner qualifier, the statement builder (a buffer that grows, so no
 * text is ever written past it, and that doubles the quotes of every name put inside a literal)
 * and the row loop that stops on a failed fetch. Names the host hands in stay lower case after
 * every request, whatever case they were upper-cased to while a statement was built.
 */
#include <strings.h>

#include <cstring>

#include "internal.h"

namespace {

const char kDefaultQualifier[] = "SYSIBM";

/* The extended catalog's tables: a table of one of these names belongs to the system. */
const char* const kCatalogTables[] = {"KWCATTBL", "KWCATCOL", "KWCATFMT", "KWCATVLD", "KWCATEDT"};
static_assert(sizeof kCatalogTables / sizeof kCatalogTables[0] == 5);

struct CatalogColumn {
    const char* column;
    const char* table;
};

/* Every column of the extended catalog's tables. */
const CatalogColumn kCatalogColumns[] = {
    {"KWT_TNAM", "KWCATTBL"}, {"KWT_TID", "KWCATTBL"},  {"KWT_OWNR", "KWCATTBL"}, {"KWT_CMNT", "KWCATTBL"},
    {"KWD_FHGT", "KWCATTBL"}, {"KWD_FWGT", "KWCATTBL"}, {"KWD_FITL", "KWCATTBL"}, {"KWD_FUNL", "KWCATTBL"},
    {"KWD_FCHR", "KWCATTBL"}, {"KWD_FPTC", "KWCATTBL"}, {"KWD_FFCE", "KWCATTBL"}, {"KWH_FHGT", "KWCATTBL"},
    {"KWH_FWGT", "KWCATTBL"}, {"KWH_FITL", "KWCATTBL"}, {"KWH_FUNL", "KWCATTBL"}, {"KWH_FCHR", "KWCATTBL"},
    {"KWH_FPTC", "KWCATTBL"}, {"KWH_FFCE", "KWCATTBL"}, {"KWL_FHGT", "KWCATTBL"}, {"KWL_FWGT", "KWCATTBL"},
    {"KWL_FITL", "KWCATTBL"}, {"KWL_FUNL", "KWCATTBL"}, {"KWL_FCHR", "KWCATTBL"}, {"KWL_FPTC", "KWCATTBL"},
    {"KWL_FFCE", "KWCATTBL"}, {"KWC_TNAM", "KWCATCOL"}, {"KWC_TID", "KWCATCOL"},  {"KWC_OWNR", "KWCATCOL"},
    {"KWC_CNAM", "KWCATCOL"}, {"KWC_CID", "KWCATCOL"},  {"KWC_CMNT", "KWCATCOL"}, {"KWC_LABL", "KWCATCOL"},
    {"KWC_LPOS", "KWCATCOL"}, {"KWC_HDR", "KWCATCOL"},  {"KWC_HPOS", "KWCATCOL"}, {"KWC_JTFY", "KWCATCOL"},
    {"KWC_MASK", "KWCATCOL"}, {"KWC_CASE", "KWCATCOL"}, {"KWC_HGHT", "KWCATCOL"}, {"KWC_WDTH", "KWCATCOL"},
    {"KWC_PTRN", "KWCATCOL"}, {"KWC_BMAP", "KWCATCOL"}, {"KWC_INIT", "KWCATCOL"}, {"KWC_EDIT", "KWCATCOL"},
    {"KWC_TAG", "KWCATCOL"},  {"KWE_NAME", "KWCATEDT"}, {"KWE_SEQN", "KWCATEDT"}, {"KWE_TYPE", "KWCATEDT"},
    {"KWE_FLAG", "KWCATEDT"}, {"KWE_WORK", "KWCATEDT"}, {"KWE_EDIT", "KWCATEDT"}, {"KWE_CNTR", "KWCATEDT"},
    {"KWF_NAME", "KWCATFMT"}, {"KWF_FRMT", "KWCATFMT"}, {"KWF_TYPE", "KWCATFMT"}, {"KWF_CNTR", "KWCATFMT"},
    {"KWV_NAME", "KWCATVLD"}, {"KWV_VALD", "KWCATVLD"}, {"KWV_TYPE", "KWCATVLD"}, {"KWV_CNTR", "KWCATVLD"},
    {"KWV_MSG", "KWCATVLD"},
};
static_assert(sizeof kCatalogColumns / sizeof kCatalogColumns[0] == 61,
              "the extended catalog has 61 columns");

/* Bound buffers of one table-list row. */
enum { CREATOR_SIZE = 9, TABLE_NAME_SIZE = 19, TYPE_SIZE = 33 };
struct TableRow {
    char creator[CREATOR_SIZE];
    char name[TABLE_NAME_SIZE];
    char type[TYPE_SIZE];
};

bool filled(const char* text) {
    return text != nullptr && text[0] != '\0';
}

/* Makes room for `more` characters and a terminator; false (and `failed`) without memory. */
bool TDX_Reserve(RequestBlock* block, CatalogStatement* statement, size_t more) {
    if (statement->failed != 0) {
        return false;
    }
    if (statement->length + more + 1 <= statement->size) {
        return true;
    }
    size_t size = statement->size * 2;
    while (size < statement->length + more + 1) {
        size *= 2;
    }
    char* grown =
        static_cast<char*>(kwshr_reallocate(block->memoryContext, statement->text, size, block->allocFlags));
    if (grown == nullptr) {
        statement->failed = 1;
        return false;
    }
    std::memset(grown + statement->size, 0, size - statement->size);
    statement->text = grown;
    statement->size = size;
    return true;
}

void TDX_AppendRaw(RequestBlock* block, CatalogStatement* statement, const char* text, size_t n) {
    if (n == 0 || !TDX_Reserve(block, statement, n)) {
        return;
    }
    std::memcpy(statement->text + statement->length, text, n);
    statement->length += n;
    statement->text[statement->length] = '\0';
}

void TDX_AppendDoubled(RequestBlock* block, CatalogStatement* statement, const char* text) {
    for (const char* p = text; *p != '\0';) {
        const char* quote = std::strchr(p, '\'');
        const size_t n = quote != nullptr ? static_cast<size_t>(quote - p) + 1 : std::strlen(p);
        TDX_AppendRaw(block, statement, p, n);
        if (quote == nullptr) {
            break;
        }
        TDX_AppendRaw(block, statement, "'", 1);
        p = quote + 1;
    }
}

/* Builds the table-list statement up to and including the SELECTAUTH condition of the mode. */
void TDX_BuildTableListHead(RequestBlock* block, CatalogStatement* statement, const char* o, int32_t mode) {
    TDX_UpperInPlace(block->loginId);
    TDX_AppendStatement(
        block, statement,
        "SELECT DISTINCT %s.SYSTABAUTH.TCREATOR, %s.SYSTABAUTH.TTNAME, %s.SYSTABLES.TYPE FROM "
        "%s.SYSTABAUTH, %s.SYSTABLES WHERE ( %s.SYSTABAUTH.TTNAME = %s.SYSTABLES.NAME AND "
        "%s.SYSTABAUTH.TCREATOR = %s.SYSTABLES.CREATOR AND ( %s.SYSTABAUTH.GRANTEE = '%q' OR ",
        {o, o, o, o, o, o, o, o, o, o, block->loginId});
    const ConnectionRecord* record = block->connection;
    if (record != nullptr && filled(record->groupId)) {
        TDX_AppendStatement(block, statement, "%s.SYSTABAUTH.GRANTEE = '%q' OR ", {o, record->groupId});
    }
    TDX_AppendStatement(block, statement,
                        "%s.SYSTABAUTH.GRANTEE = 'PUBLIC' OR %s.SYSTABAUTH.GRANTEE = 'public' ) ) AND "
                        "(%s.SYSTABAUTH.SELECTAUTH = 'G' ",
                        {o, o, o});
    TDX_LowerInPlace(block->loginId);
    if (mode == TDX_LIST_GRANTABLE) {
        TDX_AppendStatement(block, statement, ") ", {});
    } else {
        TDX_AppendStatement(block, statement, "OR %s.SYSTABAUTH.SELECTAUTH = 'Y') ", {o});
    }
}

/* Sends a table-list statement and binds its columns; false when a step failed. */
bool TDX_RunTableList(RequestBlock* block, const char* text, TableRow* row) {
    DBPROCESS* dbproc = block->dbproc;
    if (TDX_RunCatalogStatement(block, text) == FAIL) {
        return false;
    }
    return TDX_Bind(dbproc, 1, KW_BIND_TEXT, CREATOR_SIZE, row->creator) != FAIL &&
           TDX_Bind(dbproc, 2, KW_BIND_TEXT, TABLE_NAME_SIZE, row->name) != FAIL &&
           TDX_Bind(dbproc, 3, KW_BIND_CHARS, TYPE_SIZE, row->type) != FAIL;
}

/* The entry of one fetched row, or null without memory. */
TableEntry* TDX_NewTableEntry(RequestBlock* block, const TableRow& row, const char* o) {
    auto* entry = static_cast<TableEntry*>(kwshr_allocate(block->memoryContext, sizeof(TableEntry), 0));
    if (entry == nullptr) {
        return nullptr;
    }
    std::memset(entry, 0, sizeof *entry);
    entry->owner = kwshr_duplicateString(block->memoryContext, row.creator, 0);
    if (entry->owner == nullptr) {
        kwshr_free(block->memoryContext, entry);
        return nullptr;
    }
    TDX_CopyText(entry->name, sizeof entry->name, row.name);
    CharLowerA(entry->name);
    CharLowerA(entry->owner);
    int32_t flags = 0;
    if (lstrcmpiA(row.creator, o) == 0) {
        flags |= KW_TABLE_SYSTEM;
    }
    if (row.type[0] == 'V') {
        flags |= KW_TABLE_VIEW;
    }
    if ((flags & KW_TABLE_SYSTEM) == 0 && TDX_IsSystemTableName(block, entry->name, entry->owner)) {
        flags |= KW_TABLE_SYSTEM;
    }
    entry->flags = flags;
    return entry;
}

/* Fetches every row into entries appended to the list. Answers the number of rows, or -1 when a
 * fetch failed (then `noMemory` tells whether the host ran out of memory instead). */
int32_t TDX_FetchTableEntries(RequestBlock* block, HostList* list, TableRow* row, const char* o,
                              bool* noMemory) {
    int32_t count = 0;
    bool failed = false;
    *noMemory = false;
    std::memset(row, 0, sizeof *row);
    while (TDX_NextCatalogRow(block->dbproc, &failed)) {
        TableEntry* entry = TDX_NewTableEntry(block, *row, o);
        if (entry == nullptr || kwshr_appendToList(list, entry) == 0) {
            if (entry != nullptr) {
                kwshr_free(block->memoryContext, entry->owner);
                kwshr_free(block->memoryContext, entry);
            }
            *noMemory = true;
            return -1;
        }
        ++count;
        std::memset(row, 0, sizeof *row);
    }
    return failed ? -1 : count;
}

}  // namespace

/* ---- The statement builder and the pieces every catalog query shares ---- */

int32_t TDX_BeginStatement(RequestBlock* block, CatalogStatement* statement) {
    std::memset(statement, 0, sizeof *statement);
    statement->text =
        static_cast<char*>(kwshr_allocate(block->memoryContext, TDX_STATEMENT_BUFFER, block->allocFlags));
    if (statement->text == nullptr) {
        TDX_ReportNoMemory(block);
        return 0;
    }
    std::memset(statement->text, 0, TDX_STATEMENT_BUFFER);
    statement->size = TDX_STATEMENT_BUFFER;
    return 1;
}

HostList* TDX_BeginListRequest(RequestBlock* block, CatalogStatement* statement) {
    HostList* list = kwshr_createList(block->memoryContext, 0);
    if (list == nullptr) {
        TDX_ReportNoMemory(block);
        return nullptr;
    }
    if (TDX_BeginStatement(block, statement) == 0) {
        kwshr_destroyList(list);
        return nullptr;
    }
    return list;
}

void TDX_AppendStatement(RequestBlock* block, CatalogStatement* statement, const char* pattern,
                         std::initializer_list<const char*> pieces) {
    const char* const* piece = pieces.begin();
    const char* p = pattern;
    while (*p != '\0') {
        const char* mark = std::strchr(p, '%');
        if (mark == nullptr || (mark[1] != 's' && mark[1] != 'q')) {
            TDX_AppendRaw(block, statement, p, std::strlen(p));
            return;
        }
        TDX_AppendRaw(block, statement, p, static_cast<size_t>(mark - p));
        if (piece != pieces.end()) {
            const char* text = *piece++;
            if (text != nullptr && mark[1] == 'q') {
                TDX_AppendDoubled(block, statement, text);
            } else if (text != nullptr) {
                TDX_AppendRaw(block, statement, text, std::strlen(text));
            }
        }
        p = mark + 2;
    }
}

void TDX_EndStatement(RequestBlock* block, CatalogStatement* statement) {
    if (statement->text != nullptr) {
        kwshr_free(block->memoryContext, statement->text);
    }
    statement->text = nullptr;
}

const char* TDX_CatalogQualifier(RequestBlock* block) {
    const ConnectionRecord* record = block->connection;
    if (record == nullptr) {
        return kDefaultQualifier;
    }
    if (record->systemOwner == nullptr) {
        TDX_AskSystemOwner(block);
    }
    return filled(record->systemOwner) ? record->systemOwner : kDefaultQualifier;
}

void TDX_UpperInPlace(char* text) {
    if (text != nullptr) {
        CharUpperA(text);
    }
}

void TDX_LowerInPlace(char* text) {
    if (text != nullptr) {
        CharLowerA(text);
    }
}

RETCODE TDX_RunCatalogStatement(RequestBlock* block, const char* text) {
    DBPROCESS* dbproc = block->dbproc;
    TDX_DiscardServerMessages(block);
    if (dbcmd(dbproc, text) == FAIL || dbsqlexec(dbproc) == FAIL) {
        /* A statement that did not go stays in the command buffer and would go with the next. */
        dbfreebuf(dbproc);
        return FAIL;
    }
    return dbresults(dbproc) == SUCCEED ? SUCCEED : FAIL;
}

bool TDX_NextCatalogRow(DBPROCESS* dbproc, bool* failed) {
    for (;;) {
        const STATUS status = dbnextrow(dbproc);
        if (status == REG_ROW) {
            return true;
        }
        if (status == NO_MORE_ROWS) {
            return false;
        }
        if (status == FAIL) {
            *failed = true;
            return false;
        }
        /* A compute row: not part of a catalog answer. */
    }
}

/* Reading the end of an answer costs nothing more than its last packet, while a cancel makes the
 * gateway answer an attention and stop its backend's work, which it has no more of. */
void TDX_FinishCatalogStatement(RequestBlock* block, bool allRowsRead) {
    DBPROCESS* dbproc = block->dbproc;
    if (allRowsRead) {
        while (dbresults(dbproc) == SUCCEED) {
            bool failed = false;
            while (TDX_NextCatalogRow(dbproc, &failed)) {
            }
            if (failed) {
                break;
            }
        }
    }
    dbcancel(dbproc);
}

/* ---- Table list ---- */

void TDX_FreeTableList(RequestBlock* block, HostList* list) {
    if (list == nullptr) {
        return;
    }
    for (auto* entry = static_cast<TableEntry*>(kwshr_firstListItem(list)); entry != nullptr;
         entry = static_cast<TableEntry*>(kwshr_nextListItem(list))) {
        kwshr_free(block->memoryContext, entry->owner);
        kwshr_free(block->memoryContext, entry);
    }
    kwshr_destroyList(list);
}

/* Lists the tables and views the user may see (mode 1) or grant (mode 0). A failed statement,
 * bind or fetch is reported and lists nothing; no visible table is no error. */
void TDX_ListTables(RequestBlock* block, int32_t mode) {
    block->result = 0;
    CatalogStatement statement;
    HostList* list = TDX_BeginListRequest(block, &statement);
    if (list == nullptr) {
        return;
    }
    const char* o = TDX_CatalogQualifier(block);
    TDX_BuildTableListHead(block, &statement, o, mode);
    const ConnectionRecord* record = block->connection;
    if (mode == TDX_LIST_VISIBLE && filled(block->sqlText)) {
        TDX_UpperInPlace(block->ownerName);
        TDX_UpperInPlace(block->sqlText);
        TDX_AppendStatement(block, &statement, " AND  (CREATOR = '%q' AND NAME = '%q') ",
                            {block->ownerName, block->sqlText});
        TDX_LowerInPlace(block->ownerName);
        TDX_LowerInPlace(block->sqlText);
    } else if (mode == TDX_LIST_VISIBLE && record != nullptr && filled(record->tableCriteria)) {
        TDX_AppendStatement(block, &statement, " AND  (%s) ", {record->tableCriteria});
    }
    if (statement.failed != 0) {
        TDX_EndStatement(block, &statement);
        kwshr_destroyList(list);
        TDX_ReportNoMemory(block);
        return;
    }
    TableRow row{};
    const bool ran = TDX_RunTableList(block, statement.text, &row);
    bool noMemory = false;
    const int32_t count = ran ? TDX_FetchTableEntries(block, list, &row, o, &noMemory) : -1;
    TDX_EndStatement(block, &statement);
    if (noMemory) {
        TDX_ReportNoMemory(block);
    } else if (count < 0) {
        TDX_ReportFailure(block);
    }
    TDX_FinishCatalogStatement(block, count >= 0);
    if (count > 0) {
        block->result = reinterpret_cast<intptr_t>(list);
    } else {
        TDX_FreeTableList(block, list);
    }
}

int32_t TDX_AppendVisibleTable(RequestBlock* block, HostList* list, const DependentTable* record) {
    CatalogStatement statement;
    if (TDX_BeginStatement(block, &statement) == 0) {
        return 1;
    }
    const char* o = TDX_CatalogQualifier(block);
    TDX_BuildTableListHead(block, &statement, o, TDX_LIST_VISIBLE);
    TDX_UpperInPlace(block->ownerName);
    TDX_UpperInPlace(block->sqlText);
    TDX_AppendStatement(block, &statement, " AND  (CREATOR = '%q' AND NAME = '%q') ",
                        {record->owner, record->name});
    TDX_LowerInPlace(block->ownerName);
    TDX_LowerInPlace(block->sqlText);
    TableRow row{};
    bool noMemory = false;
    int32_t failed = 1;
    if (statement.failed == 0 && TDX_RunTableList(block, statement.text, &row)) {
        failed = TDX_FetchTableEntries(block, list, &row, o, &noMemory) < 0 ? 1 : 0;
    }
    TDX_EndStatement(block, &statement);
    /* Leaves the connection ready for the next table even when the fetch stopped early. */
    TDX_FinishCatalogStatement(block, failed == 0);
    return failed;
}

bool TDX_IsSystemTableName(RequestBlock* block, const char* name, const char* owner) {
    const ConnectionRecord* record = block->connection;
    const char* systemOwner = record != nullptr ? record->systemOwner : nullptr;
    if (owner != nullptr && systemOwner != nullptr && lstrcmpiA(owner, systemOwner) == 0) {
        return true;
    }
    if (name == nullptr) {
        return false;
    }
    for (const char* table : kCatalogTables) {
        if (strcasecmp(name, table) == 0) {
            return true;
        }
    }
    return false;
}

bool TDX_IsCatalogColumnName(RequestBlock* block, const char* column, const char* table, const char* owner) {
    const ConnectionRecord* record = block->connection;
    const char* systemOwner = record != nullptr ? record->systemOwner : nullptr;
    if (column == nullptr || table == nullptr || owner == nullptr || systemOwner == nullptr ||
        lstrcmpiA(owner, systemOwner) != 0) {
        return false;
    }
    for (const CatalogColumn& pair : kCatalogColumns) {
        if (strcasecmp(column, pair.column) == 0 && strcasecmp(table, pair.table) == 0) {
            return true;
        }
    }
    return false;
}

/* ---- Requests 7, 8, 70, 42, 47 ---- */

/* Request 7 lists every table: a name left in sqlText by an earlier request must not filter it. */
void TDX_ListAllTables(RequestBlock* block) {
    block->sqlText = nullptr;
    TDX_ListTables(block, TDX_LIST_VISIBLE);
}

void TDX_ListSomeTables(RequestBlock* block) {
    TDX_ListTables(block, TDX_LIST_VISIBLE);
}

/* Request 70: the list of request 8, with the first entry's extended attributes read unless the
 * connection has no extended catalog. A failed read answers no list. */
void TDX_DescribeTable(RequestBlock* block) {
    TDX_ListTables(block, TDX_LIST_VISIBLE);
    auto* list = reinterpret_cast<HostList*>(block->result);
    if (list != nullptr && block->status == KW_STATUS_OK && (block->flags & FLAG_CATALOG_UNAVAILABLE) == 0) {
        auto* first = static_cast<TableEntry*>(kwshr_firstListItem(list));
        TDX_ReadTableAttributes(block, first);
        if (block->status != KW_STATUS_OK) {
            kwshr_free(block->memoryContext, first->comment);
            first->comment = nullptr;
            TDX_FreeTableList(block, list);
        }
    }
    if (block->status != KW_STATUS_OK) {
        block->result = 0;
    }
}

/* Asks for the system owner once when the connection has none yet (requests 42 and 47). */
void TDX_EnsureSystemOwner(RequestBlock* block) {
    const ConnectionRecord* record = block->connection;
    if (record != nullptr && record->systemOwner == nullptr) {
        TDX_AskSystemOwner(block);
    }
}

void TDX_IsSystemTable(RequestBlock* block) {
    TDX_EnsureSystemOwner(block);
    block->result =
        TDX_IsSystemTableName(block, static_cast<const char*>(block->arg), block->ownerName) ? 1 : 0;
}

void TDX_IsCatalogColumn(RequestBlock* block) {
    TDX_EnsureSystemOwner(block);
    block->result =
        TDX_IsCatalogColumnName(block, static_cast<const char*>(block->arg), block->sqlText, block->ownerName)
            ? 1
            : 0;
}
