/*
 * columns.cpp - the columns of a table, read from the DB2 catalog table SYSCOLUMNS.
 *
 * Serves requests 9 (the column list of a table entry, in column order), 64 (one result-set
 * column completed from the catalog: its date or time type pinned down and its table named) and
 * 111 (does a column exist). Each column becomes a ColumnDescriptor whose type comes from the type
 * table; a COLTYPE the table does not know gives type 0 and host type 0, never the type of the
 * column before it. The table entry's name and owner are lower case again when a request returns.
 */
#include <cstring>
#include <utility>

#include "internal.h"

namespace {

/* Bound buffers of one SYSCOLUMNS row. */
enum { COLUMN_NAME_SIZE = 19, COLTYPE_SIZE = 9, NULLS_SIZE = 2, NAME_BUFFER_SIZE = 129 };
struct ColumnRow {
    char name[COLUMN_NAME_SIZE];
    char colType[COLTYPE_SIZE];
    DBSMALLINT length;
    DBSMALLINT scale;
    char nulls[NULLS_SIZE];
    DBSMALLINT colNo;
};

/* The lengths request 64 gives a column whose catalog type it pins down. */
enum { DATE_LENGTH = 11, TIME_LENGTH = 16, TIMESTAMP_LENGTH = 27 };

bool TDX_BindColumnRow(DBPROCESS* dbproc, ColumnRow* row) {
    return TDX_Bind(dbproc, 1, KW_BIND_TEXT, COLUMN_NAME_SIZE, row->name) != FAIL &&
           TDX_Bind(dbproc, 2, KW_BIND_TEXT, COLTYPE_SIZE, row->colType) != FAIL &&
           TDX_Bind(dbproc, 3, KW_BIND_SMALLINT, 0, &row->length) != FAIL &&
           TDX_Bind(dbproc, 4, KW_BIND_SMALLINT, 0, &row->scale) != FAIL &&
           TDX_Bind(dbproc, 5, KW_BIND_TEXT, NULLS_SIZE, row->nulls) != FAIL &&
           TDX_Bind(dbproc, 6, KW_BIND_SMALLINT, 0, &row->colNo) != FAIL;
}

void TDX_FreeColumnList(RequestBlock* block, HostList* list) {
    if (list == nullptr) {
        return;
    }
    for (auto* column = static_cast<ColumnDescriptor*>(kwshr_firstListItem(list)); column != nullptr;
         column = static_cast<ColumnDescriptor*>(kwshr_nextListItem(list))) {
        kwshr_free(block->memoryContext, column->name);
        kwshr_free(block->memoryContext, column);
    }
    kwshr_destroyList(list);
}

/* Whether a column of the table belongs to the system: every column of a system table, except
 * that of a system table named like the extended catalog's only that catalog's own columns. */
bool TDX_IsSystemColumn(RequestBlock* block, const TableEntry* table, const char* column) {
    if ((table->flags & KW_TABLE_SYSTEM) == 0) {
        return false;
    }
    if (std::strncmp(table->name, "kw", 2) != 0) {
        return true;
    }
    return TDX_IsCatalogColumnName(block, column, table->name, table->owner);
}

/* The descriptor of one fetched row, or null without memory. */
ColumnDescriptor* TDX_NewColumn(RequestBlock* block, const TableEntry* table, const ColumnRow& row,
                                int32_t ordinal) {
    auto* column =
        static_cast<ColumnDescriptor*>(kwshr_allocate(block->memoryContext, sizeof(ColumnDescriptor), 0));
    char* name = static_cast<char*>(kwshr_allocate(block->memoryContext, NAME_BUFFER_SIZE, 0));
    if (column == nullptr || name == nullptr) {
        kwshr_free(block->memoryContext, column);
        kwshr_free(block->memoryContext, name);
        return nullptr;
    }
    std::memset(column, 0, sizeof *column);
    std::memset(name, 0, NAME_BUFFER_SIZE);
    TDX_CopyText(name, NAME_BUFFER_SIZE, row.name);
    CharLowerA(name);
    column->name = name;
    column->db2Type = TDX_TypeOfColType(row.colType);
    const TypeRow* type = TDX_TypeRow(column->db2Type);
    column->hostType = type != nullptr ? type->hostType : 0;
    if (type != nullptr && type->defaultLength != 0) {
        column->hasLength = 1;
        column->length = row.length;
    }
    column->nullability = std::strcmp(row.nulls, "Y") == 0 ? KW_NULLABLE : KW_NOT_NULL;
    column->ordinal = ordinal;
    column->scale = row.scale;
    column->systemColumn = TDX_IsSystemColumn(block, table, row.name) ? 1 : 0;
    return column;
}

/* Fetches the columns into the list: the number of rows, or -1 when a fetch failed or memory ran
 * out (which `noMemory` tells). */
int32_t TDX_FetchColumns(RequestBlock* block, const TableEntry* table, HostList* list, ColumnRow* row,
                         bool* noMemory) {
    int32_t count = 0;
    bool failed = false;
    while (TDX_NextCatalogRow(block->dbproc, &failed)) {
        ColumnDescriptor* column = TDX_NewColumn(block, table, *row, count + 1);
        if (column == nullptr || kwshr_appendToList(list, column) == 0) {
            if (column != nullptr) {
                kwshr_free(block->memoryContext, column->name);
                kwshr_free(block->memoryContext, column);
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

/* Request 9: the columns of the table entry in `arg`, in COLNO order; sets its columnCount. */
void TDX_ListColumns(RequestBlock* block) {
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
    TDX_AppendStatement(
        block, &statement,
        "SELECT NAME, COLTYPE, LENGTH, SCALE, NULLS, COLNO  FROM %s.SYSCOLUMNS  WHERE  TBNAME = "
        "'%q'  AND TBCREATOR = '%q' ORDER BY COLNO ",
        {o, table->name, table->owner});
    CharLowerA(table->name);
    TDX_LowerInPlace(table->owner);
    ColumnRow row{};
    bool noMemory = statement.failed != 0;
    int32_t count = -1;
    if (!noMemory && TDX_RunCatalogStatement(block, statement.text) != FAIL &&
        TDX_BindColumnRow(block->dbproc, &row)) {
        count = TDX_FetchColumns(block, table, list, &row, &noMemory);
    }
    TDX_EndStatement(block, &statement);
    if (noMemory) {
        TDX_ReportNoMemory(block);
    } else if (count < 0) {
        TDX_ReportFailure(block);
    }
    TDX_FinishCatalogStatement(block, count >= 0);
    if (count > 0 && block->status == KW_STATUS_OK) {
        table->columnCount = count;
        block->result = reinterpret_cast<intptr_t>(list);
    } else {
        TDX_FreeColumnList(block, list);
    }
}

int32_t TDX_ResolveDateTimeType(RequestBlock* block, char* tableName, ColumnDescriptor* descriptor) {
    CatalogStatement statement;
    if (TDX_BeginStatement(block, &statement) == 0) {
        return 0;
    }
    TDX_UpperInPlace(block->ownerName);
    TDX_UpperInPlace(descriptor->name);
    CharUpperA(tableName);
    const char* o = TDX_CatalogQualifier(block);
    TDX_AppendStatement(
        block, &statement,
        "SELECT COLTYPE FROM %s.SYSCOLUMNS WHERE  TBNAME = '%q' AND NAME = '%q' AND TBCREATOR = '%q' ",
        {o, tableName, descriptor->name, block->ownerName});
    char colType[COLTYPE_SIZE] = {};
    bool failed = statement.failed != 0 || TDX_RunCatalogStatement(block, statement.text) == FAIL ||
                  TDX_Bind(block->dbproc, 1, KW_BIND_TEXT, COLTYPE_SIZE, colType) == FAIL;
    if (!failed && TDX_NextCatalogRow(block->dbproc, &failed)) {
        if (std::strcmp(colType, "TIMESTMP") == 0) {
            descriptor->hostType = HOST_DATETIME;
            descriptor->db2Type = DB2_TIMESTAMP;
            descriptor->length = TIMESTAMP_LENGTH;
        } else if (std::strcmp(colType, "DATE") == 0) {
            descriptor->hostType = HOST_DATE;
            descriptor->db2Type = DB2_DATE;
            descriptor->length = DATE_LENGTH;
        } else if (std::strcmp(colType, "TIME") == 0) {
            descriptor->hostType = HOST_TIME;
            descriptor->db2Type = DB2_TIME;
            descriptor->length = TIME_LENGTH;
        }
        while (TDX_NextCatalogRow(block->dbproc, &failed)) {
        }
    }
    TDX_EndStatement(block, &statement);
    if (failed) {
        TDX_DiscardServerMessages(block);
    }
    TDX_LowerInPlace(block->ownerName);
    TDX_LowerInPlace(descriptor->name);
    CharLowerA(tableName);
    TDX_FinishCatalogStatement(block, !failed);
    return failed ? 0 : 1;
}

/* Request 64: a copy of the result-set column in `arg`, its catalog date or time type pinned
 * down, named in lower case and tied to its table, with its extended attributes read (which
 * leaves its name in upper case) unless the connection has no extended catalog. */
void TDX_CompleteColumn(RequestBlock* block) {
    block->result = 0;
    auto* input = static_cast<ColumnDescriptor*>(block->arg);
    if (input == nullptr) {
        return;
    }
    char table[sizeof input->tableName] = {};
    if (block->sqlText != nullptr && std::strlen(block->sqlText) >= sizeof table) {
        TDX_CopyText(block->message, sizeof block->message,
                     "The table name is too long for a column description.");
        block->status = KW_STATUS_DRIVER_FAILURE;
        return;
    }
    TDX_CopyText(table, sizeof table, block->sqlText);
    CharLowerA(table);
    auto* column =
        static_cast<ColumnDescriptor*>(kwshr_allocate(block->memoryContext, sizeof(ColumnDescriptor), 0));
    HostList* list = kwshr_createList(block->memoryContext, 0);
    if (column == nullptr || list == nullptr) {
        kwshr_free(block->memoryContext, column);
        kwshr_destroyList(list);
        TDX_ReportNoMemory(block);
        return;
    }
    if (input->db2Type == DB2_TIMESTAMP && block->dbproc != nullptr) {
        TDX_ResolveDateTimeType(block, table, input);
    }
    std::memcpy(column, input, sizeof *column);
    column->name = kwshr_duplicateString(block->memoryContext, input->name, 0);
    std::memcpy(column->tableName, table, sizeof table);
    if ((input->name != nullptr && column->name == nullptr) || kwshr_appendToList(list, column) == 0) {
        kwshr_free(block->memoryContext, column->name);
        kwshr_free(block->memoryContext, column);
        kwshr_destroyList(list);
        TDX_ReportNoMemory(block);
        return;
    }
    TDX_LowerInPlace(column->name);
    if ((block->flags & FLAG_CATALOG_UNAVAILABLE) == 0 && block->dbproc != nullptr) {
        TDX_ReadColumnAttributesOfColumn(block, column->tableName, column);
    }
    if (block->status != KW_STATUS_OK) {
        /* Texts read before the failure are the driver's to free; those copied from the input
         * are the host's. */
        const std::pair<char*, char*> texts[] = {
            {column->comment, input->comment},
            {column->label, input->label},
            {column->heading, input->heading},
            {column->displayFormat, input->displayFormat},
            {column->validationRule, input->validationRule},
            {column->initialValue, input->initialValue},
            {column->editStyle, input->editStyle},
        };
        for (const auto& [read, given] : texts) {
            if (read != given) {
                kwshr_free(block->memoryContext, read);
            }
        }
        kwshr_free(block->memoryContext, column->name);
        kwshr_freeResultList(block->memoryContext, list);
        return;
    }
    block->result = reinterpret_cast<intptr_t>(list);
}

/* Request 111: 1 when the column named by the descriptor in sqlText is a column of the table
 * in `arg`, compared without regard to case; any failure answers 0 and reports nothing. */
void TDX_ColumnExists(RequestBlock* block) {
    block->result = 0;
    const auto* table = static_cast<const TableItem*>(block->arg);
    const auto* column = reinterpret_cast<const ColumnDescriptor*>(block->sqlText);
    if (table == nullptr || column == nullptr || column->name == nullptr) {
        return;
    }
    CatalogStatement statement;
    if (TDX_BeginStatement(block, &statement) == 0) {
        block->status = KW_STATUS_OK;
        block->message[0] = '\0';
        return;
    }
    const char* o = TDX_CatalogQualifier(block);
    TDX_AppendStatement(
        block, &statement,
        "SELECT TBNAME FROM %s.SYSCOLUMNS WHERE TBCREATOR = '%q' AND TBNAME = '%q' AND NAME = '%q'",
        {o, table->owner, table->name, column->name});
    char tbName[COLUMN_NAME_SIZE] = {};
    bool failed = statement.failed != 0;
    if (!failed) {
        CharUpperA(statement.text);
        failed = TDX_RunCatalogStatement(block, statement.text) == FAIL ||
                 TDX_Bind(block->dbproc, 1, KW_BIND_TEXT, COLUMN_NAME_SIZE, tbName) == FAIL;
    }
    while (!failed && TDX_NextCatalogRow(block->dbproc, &failed)) {
        block->result = 1;
    }
    if (failed) {
        TDX_DiscardServerMessages(block);
    }
    TDX_FinishCatalogStatement(block, !failed);
    TDX_EndStatement(block, &statement);
}
