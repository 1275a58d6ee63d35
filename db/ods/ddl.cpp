/*
 * ddl.cpp - the DB2 statement text the host's table and index painters ask for.
 *
 * Serves requests 139 (CREATE TABLE with its columns), 205 and 208 (that statement again with its
 * PRIMARY KEY or FOREIGN KEY clauses), 201 (the delete-rule choices), 147 (ADD columns), 148
 * (DROP TABLE or VIEW), 140 and 145 (CREATE and DROP INDEX), 206 and 209 (primary and foreign keys
 * of an existing table) and 172 (a quoted table name). The driver never runs these statements: it
 * writes them line by line through the host's statement text builder and the host takes them from
 * the block's statementList.
 */
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

#include "internal.h"

namespace {

enum { kLineWidth = KW_STATEMENT_LINE_WIDTH, kTypeNameMax = 18, kDatabaseNameMax = 129 };

/* Reports a request the host gave too little to work on; nothing is written. */
void refuse(RequestBlock* block, const char* text) {
    TDX_CopyText(block->message, sizeof block->message, text);
    block->status = KW_STATUS_DRIVER_FAILURE;
    block->result = 0;
}

bool delimited(const RequestBlock* block) {
    return (block->options & OPT_NO_DELIMIT) == 0;
}

/* The builder a request writes through; `failed` is set when the host had no memory, after which
 * nothing more is written. */
struct Writer {
    RequestBlock* block;
    StatementBuilder* builder;
    bool failed;
};

bool open(Writer& w, RequestBlock* block, int32_t lineCapacity) {
    w = Writer{block, kwshr_beginStatementText(block, lineCapacity), false};
    if (w.builder == nullptr) {
        TDX_ReportNoMemory(block);
        return false;
    }
    return true;
}

void put(Writer& w, const char* text, size_t length, bool upper = false) {
    if (w.failed || length == 0) {
        return;
    }
    if (kwshr_reserveStatementText(w.block, w.builder, length) == 0) {
        w.failed = true;
        return;
    }
    char* at = w.builder->writePos;
    for (size_t i = 0; i < length; ++i) {
        at[i] = upper ? static_cast<char>(std::toupper(static_cast<unsigned char>(text[i]))) : text[i];
    }
    at[length] = '\0';
    w.builder->writePos = at + length;
}

void put(Writer& w, const char* text, bool upper = false) {
    put(w, text != nullptr ? text : "", text != nullptr ? std::strlen(text) : 0, upper);
}

/* A name between double quotes (a quote inside it doubled) when identifiers are delimited, else
 * the name as it is. */
void putName(Writer& w, const char* name, bool quote, bool upper) {
    if (!quote) {
        put(w, name, upper);
        return;
    }
    std::string text = "\"";
    for (const char* p = name != nullptr ? name : ""; *p != '\0'; ++p) {
        text += *p;
        if (*p == '"') {
            text += '"';
        }
    }
    text += '"';
    put(w, text.c_str(), upper);
}

void endLine(Writer& w) {
    if (!w.failed) {
        kwshr_endStatementLine(w.block, 0, w.builder);
    }
}

/* Ends the statement: it joins statementList and the block carries its handle and line count. A
 * statement whose last line was already ended (no IN clause after the column list) gets no empty
 * line after it. */
void endStatement(Writer& w) {
    if (!w.failed) {
        StatementBuilder* b = w.builder;
        if (b->writePos != b->lineStart || b->lineStart == b->bufferStart) {
            kwshr_endStatementLine(w.block, 1, b);
        }
        kwshr_finishStatementText(w.block, w.builder);
        w.block->statementHandle = w.builder->statementHandle;
        w.block->statementLines = w.builder->lineCount;
        w.block->result = w.block->statementLines;
    }
}

/* Releases the builder; a request that ran out of memory says so. */
void close(Writer& w) {
    if (w.failed) {
        TDX_ReportNoMemory(w.block);
        w.block->result = 0;
    }
    kwshr_releaseStatementText(w.block, w.builder);
}

/* Sets the builder back to an empty first line for the next statement. */
void rewind(Writer& w) {
    StatementBuilder* b = w.builder;
    b->writePos = b->lineStart = b->bufferStart;
    b->lineEnd = b->bufferStart + kLineWidth;
}

int32_t countOf(HostList* list) {
    return list != nullptr ? kwshr_listCount(list) : 0;
}

/* The item at a 1-based position of a list, or null. */
void* itemAt(HostList* list, int32_t position) {
    if (list == nullptr || position < 1) {
        return nullptr;
    }
    int32_t i = 1;
    for (HostListNode* node = list->first; node != nullptr; node = node->next, ++i) {
        if (i == position) {
            return node->data;
        }
        if (node == list->last) {
            break;
        }
    }
    return nullptr;
}

TableEntry* firstTable(RequestBlock* block) {
    return static_cast<TableEntry*>(itemAt(static_cast<HostList*>(block->arg), 1));
}

void putColumnType(Writer& w, const ColumnDescriptor* column, const char* placeholder) {
    char text[64] = {};
    RequestBlock* block = w.block;
    block->inValue = column->db2Type;
    block->arg = reinterpret_cast<void*>(static_cast<uintptr_t>(
        (static_cast<uint32_t>(column->length) & 0xFFFF) | (static_cast<uint32_t>(column->scale) << 16)));
    TDX_ColumnTypeText(block, text);
    put(w, block->result != 0 ? text : placeholder);
}

/* OWNER.NAME upper-cased, the name quoted when identifiers are delimited, the owner never. */
void putQualifiedName(Writer& w, const TableEntry* table) {
    put(w, table->owner, true);
    put(w, ".");
    putName(w, table->name, delimited(w.block), true);
}

/* OWNER. (when there is an owner) and the name, upper-cased, never quoted. */
void putPlainQualifiedName(Writer& w, const char* owner, const char* name) {
    if (owner != nullptr && owner[0] != '\0') {
        put(w, owner, true);
        put(w, ".");
    }
    put(w, name, true);
}

/* " IN db.space" or " IN DATABASE db" when connected to a named database, else nothing. */
void putInClause(Writer& w, const char* databaseName) {
    RequestBlock* block = w.block;
    if (w.failed || block->dbproc == nullptr || databaseName == nullptr || databaseName[0] == '\0') {
        return;
    }
    char tableSpace[TDX_PROFILE_VALUE_SIZE] = {};
    TDX_GetProfileSetting(block, "TableSpace", tableSpace);
    if (tableSpace[0] != '\0') {
        put(w, " IN ");
        put(w, databaseName);
        put(w, ".");
        put(w, tableSpace);
    } else {
        put(w, " IN DATABASE ");
        put(w, databaseName);
    }
}

/* Checks a key against its table: every key position names a column. */
bool keyIsUsable(RequestBlock* block, const KeyEntry* key) {
    if (key == nullptr || key->table == nullptr) {
        refuse(block, "The key has no table.");
        return false;
    }
    if (key->keyCount < 0 || key->keyCount > 20) {
        refuse(block, "The key has more columns than a key may have.");
        return false;
    }
    for (int32_t i = 0; i < key->keyCount; ++i) {
        if (itemAt(key->table->columns, key->keyColumns[i]) == nullptr) {
            char text[320];
            std::snprintf(text, sizeof text, "Key column %d of %s is not a column of the table.", i + 1,
                          key->name);
            refuse(block, text);
            return false;
        }
    }
    return true;
}

const char* keyColumnName(const KeyEntry* key, int32_t i) {
    return static_cast<ColumnDescriptor*>(itemAt(key->table->columns, key->keyColumns[i]))->name;
}

void putDeleteRule(Writer& w, uint8_t rule) {
    put(w, " ON DELETE ");
    put(w, (rule & KW_DELETE_CASCADE) != 0    ? " CASCADE "
           : (rule & KW_DELETE_SET_NULL) != 0 ? " SET NULL "
                                              : " RESTRICT ");
}

/* ", FOREIGN KEY name (" (or " FOREIGN KEY name (" for ALTER TABLE). A name that is no DB2
 * identifier (such as the "[foreign key 1]" the catalog requests make up for keys the server does
 * not name) is left out and the server names the constraint: written delimited it would still be
 * refused, constraint names being at most eight characters. */
void putForeignKeyStart(Writer& w, const char* lead, const char* name) {
    put(w, lead);
    put(w, "FOREIGN KEY ");
    if (TDX_IsIdentifierText(name)) {
        put(w, name);
        put(w, " ");
    }
    put(w, "(");
}

/* The CREATE TABLE statement that requests 205 and 208 extend: the last statement of the list,
 * cut at its last ")" and taken out of the list. */
struct CarriedText {
    std::string text;
    bool found;
};

CarriedText takeCreateTable(RequestBlock* block) {
    CarriedText carried{std::string(), false};
    HostList* list = block->statementList;
    if (list == nullptr || list->last == nullptr) {
        return carried;
    }
    auto* record = static_cast<StatementRecord*>(list->last->data);
    const char* close =
        record != nullptr && record->text != nullptr ? std::strrchr(record->text, ')') : nullptr;
    if (close == nullptr) {
        return carried;
    }
    carried.text.assign(record->text, static_cast<size_t>(close - record->text));
    carried.found = true;
    block->inValue = static_cast<int32_t>(block->statementHandle);
    block->inValue2 = block->statementLines;
    list->cursor = list->last;
    kwshr_removeCurrentListItem(list);
    kwshr_free(block->memoryContext, record->text);
    kwshr_free(block->memoryContext, record);
    return carried;
}

/* Writes the carried text back line by line, each line in pieces of at most 120 characters. */
void putCarried(Writer& w, const std::string& text) {
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        for (size_t at = start; at < end; at += kLineWidth) {
            put(w, text.data() + at, end - at < size_t(kLineWidth) ? end - at : size_t(kLineWidth));
            endLine(w);
        }
        start = end + 1;
    }
}

/* Takes the CREATE TABLE statement out of the list and opens a statement that starts with it, with
 * room for `lines` more lines. */
bool openCarried(Writer& w, RequestBlock* block, int32_t lines) {
    CarriedText carried = takeCreateTable(block);
    if (!open(w, block, lines + static_cast<int32_t>(carried.text.size() / kLineWidth))) {
        return false;
    }
    putCarried(w, carried.text);
    return true;
}

}  // namespace

void TDX_ColumnTypeText(RequestBlock* block, char* out) {
    int32_t type = block->inValue;
    auto packed = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(block->arg));
    unsigned length = packed & 0xFFFF;
    unsigned scale = packed >> 16;
    if (type < 1 || type > 10) {
        block->result = 0;
        return;
    }
    char name[kTypeNameMax + 1] = {};
    LoadStringA(moduleInstance, static_cast<UINT>(IDS_TYPE_NAME_FIRST + type - 1), name, sizeof name);
    if (type == DB2_CHAR || type == DB2_VARCHAR) {
        std::sprintf(out, "%s(%u)", name, length);
    } else if (type == DB2_DECIMAL) {
        std::sprintf(out, "%s(%u,%u)", name, length, scale);
    } else {
        std::strcpy(out, name);
    }
    block->result = reinterpret_cast<intptr_t>(out);
}

void TDX_TypeFromHostType(RequestBlock* block) {
    block->result = 0;
    for (const TypeRow& row : TYPE_TABLE) {
        if (static_cast<int16_t>(row.hostType) == static_cast<int16_t>(block->inValue)) {
            block->result = row.db2Type;
            return;
        }
    }
}

void TDX_CreateTable(RequestBlock* block) {
    block->result = 0;
    TableEntry* table = firstTable(block);
    if (table == nullptr) {
        return;
    }
    char database[kDatabaseNameMax + 1] = {};
    if (block->dbproc != nullptr && block->databaseName != nullptr && block->databaseName[0] != '\0') {
        TDX_CopyText(database, kDatabaseNameMax, block->databaseName);
        TDX_UpperInPlace(database);
    }
    Writer w;
    if (!open(w, block, countOf(table->columns) + 10)) {
        return;
    }
    bool quote = delimited(block);
    TDX_UpperInPlace(table->owner);
    TDX_UpperInPlace(table->name);
    put(w, "CREATE TABLE ");
    /* A table without an owner is created in the user's own schema. */
    if (table->owner != nullptr && table->owner[0] != '\0') {
        put(w, table->owner);
        put(w, ".");
    }
    putName(w, table->name, quote, false);
    put(w, " ");
    TDX_LowerInPlace(table->owner);
    TDX_LowerInPlace(table->name);
    endLine(w);
    put(w, "(");
    int32_t i = 1;
    HostList* columns = table->columns;
    for (HostListNode* node = columns != nullptr ? columns->first : nullptr; node != nullptr;
         node = node->next, ++i) {
        auto* column = static_cast<ColumnDescriptor*>(node->data);
        putName(w, column->name, quote, true);
        put(w, " ");
        if (block->dbproc == nullptr && block->deriveColumnTypes == 0) {
            block->inValue = column->hostType;
            TDX_TypeFromHostType(block);
            column->db2Type = static_cast<int32_t>(block->result);
        }
        putColumnType(w, column, "?????");
        if (column->nullability == KW_NOT_NULL) {
            put(w, " NOT NULL");
        }
        if (i < table->columnCount) {
            put(w, ",");
            endLine(w);
        }
        if (node == columns->last) {
            break;
        }
    }
    put(w, ")");
    endLine(w);
    putInClause(w, database);
    block->result = 0;
    endStatement(w);
    close(w);
}

void TDX_AddPrimaryKeyClause(RequestBlock* block) {
    auto* key = static_cast<KeyEntry*>(block->arg);
    if (!keyIsUsable(block, key)) {
        return;
    }
    Writer w;
    if (!openCarried(w, block, key->keyCount + 13)) {
        return;
    }
    put(w, ", PRIMARY KEY (");
    for (int32_t i = 0; i < key->keyCount; ++i) {
        if (i > 0) {
            put(w, ", ");
        }
        endLine(w);
        put(w, keyColumnName(key, i));
    }
    put(w, "))");
    putInClause(w, block->databaseName);
    endStatement(w);
    close(w);
}

void TDX_AddForeignKeyClauses(RequestBlock* block) {
    auto* keys = static_cast<HostList*>(block->arg);
    if (keys == nullptr) {
        refuse(block, "There is no list of foreign keys.");
        return;
    }
    int32_t capacity = 0;
    for (HostListNode* node = keys->first; node != nullptr; node = node->next) {
        auto* key = static_cast<KeyEntry*>(node->data);
        if (!keyIsUsable(block, key)) {
            return;
        }
        capacity += key->keyCount + 3;
        if (node == keys->last) {
            break;
        }
    }
    Writer w;
    if (!openCarried(w, block, capacity + 10)) {
        return;
    }
    for (HostListNode* node = keys->first; node != nullptr; node = node->next) {
        auto* key = static_cast<KeyEntry*>(node->data);
        putForeignKeyStart(w, ", ", key->name);
        for (int32_t i = 0; i < key->keyCount; ++i) {
            if (i > 0) {
                put(w, ",");
            }
            endLine(w);
            put(w, keyColumnName(key, i));
        }
        put(w, ") REFERENCES ");
        if (key->refOwner[0] != '\0') {
            put(w, key->refOwner);
            put(w, ".");
        }
        put(w, key->refTable);
        putDeleteRule(w, key->deleteRule);
        endLine(w);
        if (node == keys->last) {
            break;
        }
    }
    put(w, ")");
    putInClause(w, block->databaseName);
    endStatement(w);
    close(w);
}

namespace {
const char kDeleteRuleTitle[] = "On Delete of Primary Table Row";
const char kDeleteRuleChoices[] =
    "Disallow if Dependent Rows Exist (RESTRICT)\0"
    "Delete any Dependent Rows (CASCADE)\0"
    "Set Dependent Columns to NULL (SET NULL)";
}  // namespace

void TDX_DeleteRuleChoices(RequestBlock* block) {
    auto* out = static_cast<unsigned char*>(block->arg);
    if (out == nullptr) {
        refuse(block, "There is no record for the delete rules.");
        return;
    }
    const int16_t count = 3;
    const int16_t end = 0;
    const char* title = kDeleteRuleTitle;
    const char* choices = kDeleteRuleChoices;
    std::memcpy(out, &count, sizeof count);
    std::memcpy(out + sizeof count, &title, sizeof title);
    std::memcpy(out + sizeof count + sizeof title, &choices, sizeof choices);
    std::memcpy(out + sizeof count + sizeof title + sizeof choices, &end, sizeof end);
}

void TDX_AddColumns(RequestBlock* block) {
    TableEntry* table = firstTable(block);
    if (table == nullptr) {
        refuse(block, "There is no table to add columns to.");
        return;
    }
    Writer w;
    if (!open(w, block, countOf(table->columns) + 10)) {
        return;
    }
    block->result = 0;
    HostList* columns = table->columns;
    for (HostListNode* node = columns != nullptr ? columns->first : nullptr; node != nullptr;
         node = node->next) {
        auto* column = static_cast<ColumnDescriptor*>(node->data);
        put(w, "ALTER TABLE ");
        putQualifiedName(w, table);
        endLine(w);
        put(w, "ADD ");
        putName(w, column->name, delimited(block), true);
        put(w, " ");
        putColumnType(w, column, "");
        if (column->nullability == KW_NOT_NULL) {
            put(w, " NOT NULL");
        }
        if (!w.failed) {
            kwshr_endStatementLine(block, 1, w.builder);
            kwshr_finishStatementText(block, w.builder);
            block->result = w.builder->lineCount;
            rewind(w);
        }
        if (node == columns->last) {
            break;
        }
    }
    close(w);
}

void TDX_DropTable(RequestBlock* block) {
    TableEntry* table = firstTable(block);
    if (table == nullptr) {
        refuse(block, "There is no table to drop.");
        return;
    }
    Writer w;
    if (!open(w, block, 10)) {
        return;
    }
    put(w, (table->flags & KW_TABLE_VIEW) != 0 ? "DROP VIEW " : "DROP TABLE ");
    putQualifiedName(w, table);
    endStatement(w);
    close(w);
}

namespace {
IndexEntry* firstIndex(RequestBlock* block, TableEntry** table, const char* missing) {
    *table = firstTable(block);
    IndexEntry* index = *table != nullptr ? static_cast<IndexEntry*>(itemAt((*table)->indexes, 1)) : nullptr;
    if (index == nullptr) {
        refuse(block, *table == nullptr ? "There is no table for the index." : missing);
    }
    return index;
}
}  // namespace

void TDX_CreateIndex(RequestBlock* block) {
    TableEntry* table = nullptr;
    IndexEntry* index = firstIndex(block, &table, "The table has no index to create.");
    if (index == nullptr) {
        return;
    }
    Writer w;
    if (!open(w, block, countOf(table->columns) + 10)) {
        return;
    }
    bool quote = delimited(block);
    put(w, index->unique != 0 ? "CREATE UNIQUE INDEX " : "CREATE INDEX ");
    putName(w, index->name, quote, true);
    endLine(w);
    put(w, " ON ");
    putQualifiedName(w, table);
    endLine(w);
    put(w, "(");
    int32_t i = 1;
    HostList* columns = table->columns;
    for (HostListNode* node = columns != nullptr ? columns->first : nullptr; node != nullptr;
         node = node->next, ++i) {
        auto* column = static_cast<ColumnDescriptor*>(node->data);
        putName(w, column->name, quote, true);
        put(w, " ");
        if (index->ascending == 0) {
            put(w, "DESC ");
        }
        if (i < index->keyCount) {
            put(w, ",");
            endLine(w);
        }
        if (node == columns->last) {
            break;
        }
    }
    put(w, ")");
    if (index->clustered != 0) {
        put(w, " CLUSTER");
    }
    endStatement(w);
    close(w);
}

void TDX_DropIndex(RequestBlock* block) {
    TableEntry* table = nullptr;
    IndexEntry* index = firstIndex(block, &table, "The table has no index to drop.");
    if (index == nullptr) {
        return;
    }
    Writer w;
    if (!open(w, block, 10)) {
        return;
    }
    put(w, "DROP INDEX ");
    putName(w, index->name, delimited(block), true);
    endStatement(w);
    close(w);
}

void TDX_AlterPrimaryKey(RequestBlock* block) {
    auto* key = static_cast<KeyEntry*>(block->arg);
    if (!keyIsUsable(block, key)) {
        return;
    }
    block->result = 0;
    Writer w;
    if (block->inValue2 != 0) {
        if (!open(w, block, 3)) {
            return;
        }
        put(w, "ALTER TABLE ");
        putPlainQualifiedName(w, key->table->owner, key->table->name);
        endLine(w);
        put(w, " DROP PRIMARY KEY ");
        endStatement(w);
        close(w);
        if (w.failed) {
            return;
        }
    }
    if (key->keyCount == 0) {
        return;
    }
    if (!open(w, block, key->keyCount + 5)) {
        return;
    }
    put(w, "ALTER TABLE ");
    putPlainQualifiedName(w, key->table->owner, key->table->name);
    endLine(w);
    put(w, " PRIMARY KEY  (");
    endLine(w);
    for (int32_t i = 0; i < key->keyCount; ++i) {
        if (i > 0) {
            put(w, ", ");
            endLine(w);
        }
        put(w, keyColumnName(key, i));
    }
    put(w, ") ");
    endStatement(w);
    close(w);
}

void TDX_AlterForeignKeys(RequestBlock* block) {
    auto* keys = static_cast<HostList*>(block->arg);
    if (keys == nullptr) {
        refuse(block, "There is no list of foreign keys.");
        return;
    }
    for (HostListNode* node = keys->first; node != nullptr; node = node->next) {
        if (!keyIsUsable(block, static_cast<KeyEntry*>(node->data))) {
            return;
        }
        if (node == keys->last) {
            break;
        }
    }
    block->result = 0;
    for (HostListNode* node = keys->first; node != nullptr; node = node->next) {
        auto* key = static_cast<KeyEntry*>(node->data);
        Writer w;
        if (!open(w, block, key->keyCount + 10)) {
            return;
        }
        put(w, "ALTER TABLE ");
        putPlainQualifiedName(w, key->table->owner, key->table->name);
        endLine(w);
        putForeignKeyStart(w, " ", key->name);
        endLine(w);
        for (int32_t i = 0; i < key->keyCount; ++i) {
            if (i > 0) {
                put(w, ", ");
                endLine(w);
            }
            put(w, keyColumnName(key, i));
        }
        put(w, ") ");
        endLine(w);
        put(w, " REFERENCES ");
        putPlainQualifiedName(w, key->refOwner, key->refTable);
        endLine(w);
        putDeleteRule(w, key->deleteRule);
        endStatement(w);
        if (!w.failed) {
            block->inValue = static_cast<int32_t>(block->statementHandle);
            block->inValue2 = block->statementLines;
        }
        close(w);
        if (w.failed || node == keys->last) {
            return;
        }
    }
}

void TDX_QuoteTableName(RequestBlock* block) {
    const char* input = block->sqlText;
    auto* out = static_cast<char*>(block->arg);
    if (input == nullptr || out == nullptr) {
        refuse(block, "There is no table name to quote.");
        return;
    }
    size_t length = std::strlen(input);
    std::memset(out, 0, length);
    std::string text;
    const char* point = std::strchr(input, '.');
    const char* name = input;
    if (point != nullptr) {
        text.assign(input, static_cast<size_t>(point - input));
        text += '.';
        name = point + 1;
    }
    text += '"';
    text += name;
    text += '"';
    for (char& c : text) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    std::memcpy(out, text.c_str(), text.size() + 1);
}
