/*
 * indexes.cpp - the indexes of a table and their key columns, from SYSINDEXES and SYSKEYS.
 *
 * Serves requests 10 (the indexes of a table entry), 11 (one index's key columns, in key order
 * whatever order the rows arrive in) and 61 (the key column names of the table's first unique
 * index). An IndexEntry holds at most 20 key columns: a key position beyond them is ignored, so
 * no row ever writes past keyColumns, and keyCount counts only the positions kept.
 */
#include <cstring>

#include "internal.h"

namespace {

/* Bound buffers of one SYSINDEXES row. */
enum { INDEX_NAME_SIZE = 31, FLAG_SIZE = 2, INDEX_CREATOR_SIZE = 130 };
struct IndexRow {
    char name[INDEX_NAME_SIZE];
    char uniqueRule[FLAG_SIZE];
    char clustered[FLAG_SIZE];
    char creator[INDEX_CREATOR_SIZE];
};

/* The packed name list of request 61: names one after another, an empty one after the last. */
enum { NAME_LIST_SIZE = 2601, KEY_NAME_SIZE = 31 };

constexpr int32_t MAX_KEY_COLUMNS = static_cast<int32_t>(sizeof(IndexEntry::keyColumns) / sizeof(int32_t));
static_assert(MAX_KEY_COLUMNS == 20);

const char kIndexStatement[] =
    "SELECT NAME, UNIQUERULE, CLUSTERED, CREATOR  FROM %s.SYSINDEXES  WHERE TBNAME = '%q' AND TBCREATOR = "
    "'%q' ";

bool TDX_BindIndexRow(DBPROCESS* dbproc, IndexRow* row) {
    return TDX_Bind(dbproc, 1, KW_BIND_TEXT, INDEX_NAME_SIZE, row->name) != FAIL &&
           TDX_Bind(dbproc, 2, KW_BIND_TEXT, FLAG_SIZE, row->uniqueRule) != FAIL &&
           TDX_Bind(dbproc, 3, KW_BIND_TEXT, FLAG_SIZE, row->clustered) != FAIL &&
           TDX_Bind(dbproc, 4, KW_BIND_TEXT, INDEX_CREATOR_SIZE, row->creator) != FAIL;
}

bool isUniqueRule(char rule) {
    return rule == 'U' || rule == 'P';
}

IndexEntry* TDX_NewIndex(RequestBlock* block, const IndexRow& row) {
    auto* index = static_cast<IndexEntry*>(kwshr_allocate(block->memoryContext, sizeof(IndexEntry), 0));
    if (index == nullptr) {
        return nullptr;
    }
    std::memset(index, 0, sizeof *index);
    TDX_CopyText(index->name, sizeof index->name, row.name);
    CharLowerA(index->name);
    TDX_CopyText(index->creator, sizeof index->creator, row.creator);
    index->unique = isUniqueRule(row.uniqueRule[0]) ? 1 : 0;
    index->primary = row.uniqueRule[0] == 'P' ? 'Y' : '\0';
    index->clustered = row.clustered[0] == 'Y' ? 1 : 0;
    return index;
}

/* Fetches the indexes into the list: the number of rows, or -1 on a failed fetch or without
 * memory (`noMemory`). */
int32_t TDX_FetchIndexes(RequestBlock* block, HostList* list, IndexRow* row, bool* noMemory) {
    int32_t count = 0;
    bool failed = false;
    while (TDX_NextCatalogRow(block->dbproc, &failed)) {
        IndexEntry* index = TDX_NewIndex(block, *row);
        if (index == nullptr || kwshr_appendToList(list, index) == 0) {
            kwshr_free(block->memoryContext, index);
            *noMemory = true;
            return -1;
        }
        ++count;
        std::memset(row, 0, sizeof *row);
    }
    return failed ? -1 : count;
}

/* Request 61, second step: the key column names of one index into a packed name list. Answers
 * the list, or null when a step failed (reported) or memory ran out (reported). */
char* TDX_ReadKeyNames(RequestBlock* block, CatalogStatement* statement, const char* o,
                       const IndexRow& index) {
    char* names = static_cast<char*>(kwshr_allocate(block->memoryContext, NAME_LIST_SIZE, 0));
    if (names == nullptr) {
        TDX_ReportNoMemory(block);
        return nullptr;
    }
    std::memset(names, 0, NAME_LIST_SIZE);
    statement->length = 0;
    std::memset(statement->text, 0, statement->size);
    TDX_AppendStatement(block, statement,
                        "SELECT COLNAME FROM %s.SYSKEYS WHERE IXNAME = '%q' AND IXCREATOR = '%q' ",
                        {o, index.name, index.creator});
    char column[KEY_NAME_SIZE] = {};
    bool failed = statement->failed != 0 || TDX_RunCatalogStatement(block, statement->text) == FAIL ||
                  TDX_Bind(block->dbproc, 1, KW_BIND_TEXT, KEY_NAME_SIZE, column) == FAIL;
    size_t at = 0;
    while (!failed && TDX_NextCatalogRow(block->dbproc, &failed)) {
        const size_t n = std::strlen(column);
        if (at + n + 2 > NAME_LIST_SIZE) {
            continue; /* no room for this name and the closing empty one */
        }
        std::memcpy(names + at, column, n + 1);
        CharLowerA(names + at);
        at += n + 1;
    }
    names[at] = '\0';
    if (failed) {
        if (statement->failed != 0) {
            TDX_ReportNoMemory(block);
        } else {
            TDX_ReportFailure(block);
        }
        kwshr_free(block->memoryContext, names);
        return nullptr;
    }
    return names;
}

}  // namespace

/* Request 10: the indexes of the table entry in `arg`; sets its indexCount. */
void TDX_ListIndexes(RequestBlock* block) {
    block->result = 0;
    auto* table = static_cast<TableEntry*>(block->arg);
    if (table == nullptr) {
        return;
    }
    CatalogStatement statement;
    HostList* list = TDX_BeginListRequest(block, &statement);
    if (list == nullptr) {
        return;
    }
    CharUpperA(table->name);
    TDX_UpperInPlace(table->owner);
    const char* o = TDX_CatalogQualifier(block);
    block->inValue2 = 1;
    TDX_AppendStatement(block, &statement, kIndexStatement, {o, table->name, table->owner});
    CharLowerA(table->name);
    TDX_LowerInPlace(table->owner);
    IndexRow row{};
    bool noMemory = statement.failed != 0;
    int32_t count = -1;
    if (!noMemory && TDX_RunCatalogStatement(block, statement.text) != FAIL &&
        TDX_BindIndexRow(block->dbproc, &row)) {
        count = TDX_FetchIndexes(block, list, &row, &noMemory);
    }
    TDX_EndStatement(block, &statement);
    if (noMemory) {
        TDX_ReportNoMemory(block);
    } else if (count < 0) {
        TDX_ReportFailure(block);
    }
    TDX_FinishCatalogStatement(block, count >= 0);
    if (count > 0) {
        table->indexCount = count;
        block->result = reinterpret_cast<intptr_t>(list);
    } else {
        kwshr_freeResultList(block->memoryContext, list);
    }
}

/* Request 11: the key columns of the index entry in `arg`, by key position. */
void TDX_ReadIndexKeys(RequestBlock* block) {
    auto* index = static_cast<IndexEntry*>(block->arg);
    if (index == nullptr) {
        return;
    }
    const char* o = TDX_CatalogQualifier(block);
    CharUpperA(index->name);
    CharUpperA(index->creator);
    CatalogStatement statement;
    if (TDX_BeginStatement(block, &statement) == 0) {
        CharLowerA(index->name);
        return;
    }
    TDX_AppendStatement(
        block, &statement,
        "SELECT COLNO, COLSEQ, ORDERING FROM %s.SYSKEYS  WHERE IXNAME = '%q' AND IXCREATOR = '%q' ",
        {o, index->name, index->creator});
    CharLowerA(index->name);
    int32_t colNo = 0, colSeq = 0;
    char ordering[FLAG_SIZE] = {};
    bool failed = statement.failed != 0 || TDX_RunCatalogStatement(block, statement.text) == FAIL ||
                  TDX_Bind(block->dbproc, 1, KW_BIND_SMALLINT, 0, &colNo) == FAIL ||
                  TDX_Bind(block->dbproc, 2, KW_BIND_SMALLINT, 0, &colSeq) == FAIL ||
                  TDX_Bind(block->dbproc, 3, KW_BIND_TEXT, FLAG_SIZE, ordering) == FAIL;
    /* The count is that of the positions filled, whatever an earlier call on the same entry or a
     * repeated row left: the host reads keyColumns up to it, and the array holds twenty. */
    index->keyCount = 0;
    std::memset(index->keyColumns, 0, sizeof index->keyColumns);
    while (!failed && TDX_NextCatalogRow(block->dbproc, &failed)) {
        /* A 16-bit value received into a zeroed 32-bit one: read back as the 16 bits it is. */
        const auto position = static_cast<int16_t>(colSeq & 0xFFFF);
        if (position >= 1 && position <= MAX_KEY_COLUMNS) {
            index->keyColumns[position - 1] = static_cast<int16_t>(colNo & 0xFFFF);
            if (position > index->keyCount) {
                index->keyCount = position;
            }
        }
        index->ascending = ordering[0] == 'A' ? 1 : 0;
        colNo = colSeq = 0;
    }
    const bool noMemory = statement.failed != 0;
    TDX_EndStatement(block, &statement);
    if (noMemory) {
        TDX_ReportNoMemory(block);
    } else if (failed) {
        TDX_ReportFailure(block);
    }
    TDX_FinishCatalogStatement(block, !failed && !noMemory);
}

/* Request 61: the key column names of the first unique or primary index of the table sqlText
 * (owner ownerName, else the current user); 0 when the table has no such index. */
void TDX_UniqueKeyColumns(RequestBlock* block) {
    block->result = 0;
    char* owner = kwshr_duplicateString(
        block->memoryContext, block->ownerName != nullptr ? block->ownerName : block->currentUser, 0);
    CatalogStatement statement;
    if (TDX_BeginStatement(block, &statement) == 0) {
        kwshr_free(block->memoryContext, owner);
        return;
    }
    TDX_UpperInPlace(owner);
    TDX_UpperInPlace(block->sqlText);
    const char* o = TDX_CatalogQualifier(block);
    TDX_AppendStatement(block, &statement, kIndexStatement, {o, block->sqlText, owner});
    TDX_LowerInPlace(block->sqlText);
    kwshr_free(block->memoryContext, owner);
    IndexRow row{};
    bool failed = statement.failed != 0 || TDX_RunCatalogStatement(block, statement.text) == FAIL ||
                  !TDX_BindIndexRow(block->dbproc, &row);
    bool found = false;
    while (!failed && !found && TDX_NextCatalogRow(block->dbproc, &failed)) {
        found = isUniqueRule(row.uniqueRule[0]);
    }
    dbcancel(block->dbproc);
    if (failed) {
        if (statement.failed != 0) {
            TDX_ReportNoMemory(block);
        } else {
            TDX_ReportFailure(block);
        }
    } else if (found) {
        char* names = TDX_ReadKeyNames(block, &statement, o, row);
        block->result = reinterpret_cast<intptr_t>(names);
        TDX_FinishCatalogStatement(block, names != nullptr);
    }
    TDX_EndStatement(block, &statement);
}
