/*
 * keys.cpp - primary keys, foreign keys and dependent tables, from the gateway's sp_pkeys and
 * sp_fkeys procedures.
 *
 * Serves requests 199 (the primary key of a table), 200 (its foreign keys) and 210 (the tables
 * whose foreign keys refer to it, as far as the user may see them), and owns the key function of
 * the dependent-table set. The procedures' answers are walked result set by result set; a failure
 * ends the walk quietly with what was built so far, and the server's messages are discarded.
 * Key columns are 1-based positions in the table's column list; at most 20 are kept per key.
 */
#include <cstdio>
#include <cstring>

#include "internal.h"

namespace {

enum { PROC_TEXT_SIZE = 33 };

constexpr int32_t MAX_KEY_COLUMNS = static_cast<int32_t>(sizeof(KeyEntry::keyColumns) / sizeof(int32_t));
static_assert(MAX_KEY_COLUMNS == 20);

/* Result columns read, by position. */
enum {
    PKEYS_COLUMN_NAME = 4,
    FKEYS_PK_OWNER = 2,
    FKEYS_PK_TABLE = 3,
    FKEYS_FK_OWNER = 6,
    FKEYS_FK_TABLE = 7,
    FKEYS_FK_COLUMN = 8,
    FKEYS_KEY_SEQ = 9,
    FKEYS_DELETE_RULE = 11,
};
/* Delete rules as sp_fkeys gives them. */
enum { SP_DELETE_CASCADE = 0, SP_DELETE_RESTRICT = 1, SP_DELETE_SET_NULL = 2 };

/* One walk over a procedure's answer: `bind` binds a result set's columns, `row` takes a row
 * (answering false stops the walk). */
struct ProcedureWalk {
    bool (*bind)(DBPROCESS* dbproc, void* context);
    bool (*row)(RequestBlock* block, void* context);
    void* context;
};

bool isPlainName(const char* text) {
    for (const char* p = text; *p != '\0'; ++p) {
        if (!TDX_IsNameCharacter(*p)) {
            return false;
        }
    }
    return true;
}

/* Appends a procedure argument: a plain name as it is (the gateway upper-cases it), any other
 * text upper-cased in quotes with its quotes doubled, so that it stays one argument. */
void TDX_AppendArgument(RequestBlock* block, CatalogStatement* statement, char* text) {
    if (text == nullptr || isPlainName(text)) {
        TDX_AppendStatement(block, statement, "%s", {text});
        return;
    }
    CharUpperA(text);
    TDX_AppendStatement(block, statement, "'%q'", {text});
    CharLowerA(text);
}

/* Runs the call "<head><table>, <owner>" and walks its answer; nothing is reported. */
void TDX_WalkProcedure(RequestBlock* block, const char* head, char* table, char* owner,
                       const ProcedureWalk& walk) {
    DBPROCESS* dbproc = block->dbproc;
    CatalogStatement statement;
    if (TDX_BeginStatement(block, &statement) == 0) {
        block->status = KW_STATUS_OK;
        block->message[0] = '\0';
        return;
    }
    TDX_AppendStatement(block, &statement, head, {});
    TDX_AppendArgument(block, &statement, table);
    TDX_AppendStatement(block, &statement, ", ", {});
    TDX_AppendArgument(block, &statement, owner);
    TDX_DiscardServerMessages(block);
    if (statement.failed == 0 && dbcmd(dbproc, statement.text) != FAIL && dbsqlexec(dbproc) != FAIL) {
        bool stop = false;
        RETCODE rc;
        while (!stop && (rc = dbresults(dbproc)) != NO_MORE_RESULTS && rc != FAIL) {
            if (dbcmdrow(dbproc) == FAIL || dbrows(dbproc) == FAIL) {
                continue; /* the return status, or a set without rows */
            }
            if (!walk.bind(dbproc, walk.context)) {
                break;
            }
            bool failed = false;
            while (!stop && TDX_NextCatalogRow(dbproc, &failed)) {
                stop = !walk.row(block, walk.context);
            }
            stop = stop || failed;
        }
    } else {
        dbfreebuf(dbproc); /* what did not go must not go with the next statement */
    }
    TDX_EndStatement(block, &statement);
    dbcancel(dbproc);
    TDX_DiscardServerMessages(block);
}

/* The 1-based position of a column in the column list, or 0. */
int32_t TDX_ColumnPosition(HostList* columns, const char* name) {
    if (columns == nullptr) {
        return 0;
    }
    int32_t position = 1;
    for (auto* column = static_cast<ColumnDescriptor*>(kwshr_firstListItem(columns)); column != nullptr;
         column = static_cast<ColumnDescriptor*>(kwshr_nextListItem(columns)), ++position) {
        if (column->name != nullptr && lstrcmpiA(column->name, name) == 0) {
            return position;
        }
    }
    return 0;
}

void TDX_AddKeyColumn(KeyEntry* key, HostList* columns, const char* name) {
    const int32_t position = TDX_ColumnPosition(columns, name);
    if (position > 0 && key->keyCount < MAX_KEY_COLUMNS) {
        key->keyColumns[key->keyCount] = position;
        ++key->keyCount;
    }
}

KeyEntry* TDX_NewKey(RequestBlock* block, const char* owner) {
    auto* key = static_cast<KeyEntry*>(kwshr_allocate(block->memoryContext, sizeof(KeyEntry), 0));
    if (key == nullptr) {
        return nullptr;
    }
    std::memset(key, 0, sizeof *key);
    key->table = static_cast<TableEntry*>(block->arg);
    TDX_CopyText(key->owner, sizeof key->owner, owner);
    CharLowerA(key->owner);
    return key;
}

/* The owner of requests 199, 200 (null: the current user) and 210 (null or empty: the current
 * user). */
char* TDX_KeyOwner(RequestBlock* block, bool emptyIsMissing) {
    char* owner = block->ownerName;
    if (owner == nullptr || (emptyIsMissing && owner[0] == '\0')) {
        owner = block->currentUser;
    }
    return owner;
}

/* ---- Request 199 ---- */

struct PrimaryKeyWalk {
    char column[PROC_TEXT_SIZE];
    KeyEntry* key;
    HostList* columns;
    const char* owner;
};

bool TDX_BindPrimaryKey(DBPROCESS* dbproc, void* context) {
    auto* walk = static_cast<PrimaryKeyWalk*>(context);
    return TDX_Bind(dbproc, PKEYS_COLUMN_NAME, KW_BIND_TEXT, PROC_TEXT_SIZE, walk->column) != FAIL;
}

bool TDX_PrimaryKeyRow(RequestBlock* block, void* context) {
    auto* walk = static_cast<PrimaryKeyWalk*>(context);
    if (walk->key == nullptr) {
        walk->key = TDX_NewKey(block, walk->owner);
        if (walk->key == nullptr) {
            return false;
        }
        TDX_CopyText(walk->key->name, sizeof walk->key->name, "primary");
    }
    TDX_AddKeyColumn(walk->key, walk->columns, walk->column);
    return true;
}

/* ---- Request 200 ---- */

struct ForeignKeyWalk {
    char refOwner[PROC_TEXT_SIZE];
    char refTable[PROC_TEXT_SIZE];
    char column[PROC_TEXT_SIZE];
    DBSMALLINT keySeq;
    DBSMALLINT deleteRule;
    HostList* list;
    KeyEntry* current;
    HostList* columns;
    const char* owner;
    int32_t number;
};

bool TDX_BindForeignKeys(DBPROCESS* dbproc, void* context) {
    auto* walk = static_cast<ForeignKeyWalk*>(context);
    return TDX_Bind(dbproc, FKEYS_PK_OWNER, KW_BIND_TEXT, PROC_TEXT_SIZE, walk->refOwner) != FAIL &&
           TDX_Bind(dbproc, FKEYS_PK_TABLE, KW_BIND_TEXT, PROC_TEXT_SIZE, walk->refTable) != FAIL &&
           TDX_Bind(dbproc, FKEYS_FK_COLUMN, KW_BIND_TEXT, PROC_TEXT_SIZE, walk->column) != FAIL &&
           TDX_Bind(dbproc, FKEYS_KEY_SEQ, KW_BIND_SMALLINT, 0, &walk->keySeq) != FAIL &&
           TDX_Bind(dbproc, FKEYS_DELETE_RULE, KW_BIND_SMALLINT, 0, &walk->deleteRule) != FAIL;
}

/* Consecutive rows of one key form its record: a key ends where the parent table changes, and
 * also where the key sequence starts again, so that two keys to the same parent stay two keys
 * (joined, they would make a composite key that does not exist). */
bool TDX_ForeignKeyRow(RequestBlock* block, void* context) {
    auto* walk = static_cast<ForeignKeyWalk*>(context);
    if (walk->list == nullptr && (walk->list = kwshr_createList(block->memoryContext, 0)) == nullptr) {
        return false;
    }
    if (walk->current != nullptr &&
        (lstrcmpiA(walk->current->refTable, walk->refTable) != 0 || walk->keySeq <= 1)) {
        walk->current = nullptr;
    }
    if (walk->current == nullptr) {
        KeyEntry* key = TDX_NewKey(block, walk->owner);
        if (key == nullptr || kwshr_appendToList(walk->list, key) == 0) {
            kwshr_free(block->memoryContext, key);
            return false;
        }
        std::snprintf(key->name, sizeof key->name, "[foreign key %d]", walk->number);
        ++walk->number;
        walk->current = key;
    }
    KeyEntry* key = walk->current;
    if (walk->refOwner[0] != '\0') {
        TDX_CopyText(key->refOwner, sizeof key->refOwner, walk->refOwner);
        CharLowerA(key->refOwner);
    }
    TDX_CopyText(key->refTable, sizeof key->refTable, walk->refTable);
    CharLowerA(key->refTable);
    switch (walk->deleteRule) {
        case SP_DELETE_CASCADE:
            key->deleteRule |= KW_DELETE_CASCADE;
            break;
        case SP_DELETE_RESTRICT:
            key->deleteRule |= KW_DELETE_RESTRICT;
            break;
        case SP_DELETE_SET_NULL:
            key->deleteRule |= KW_DELETE_SET_NULL;
            break;
        default:
            break;
    }
    TDX_AddKeyColumn(key, walk->columns, walk->column);
    walk->refOwner[0] = '\0';
    return true;
}

/* ---- Request 210 ---- */

struct DependentWalk {
    char owner[PROC_TEXT_SIZE];
    char table[PROC_TEXT_SIZE];
    KWSET set;
    DependentTable* last;
};

bool TDX_BindDependents(DBPROCESS* dbproc, void* context) {
    auto* walk = static_cast<DependentWalk*>(context);
    return TDX_Bind(dbproc, FKEYS_FK_OWNER, KW_BIND_TEXT, PROC_TEXT_SIZE, walk->owner) != FAIL &&
           TDX_Bind(dbproc, FKEYS_FK_TABLE, KW_BIND_TEXT, PROC_TEXT_SIZE, walk->table) != FAIL;
}

/* Each dependent table enters the set once, however many of its keys refer to the table. */
bool TDX_DependentRow(RequestBlock* block, void* context) {
    auto* walk = static_cast<DependentWalk*>(context);
    char key[sizeof(DependentTable::key)] = {};
    std::snprintf(key, sizeof key, "%s%s", walk->table, walk->owner);
    const bool repeated = walk->last != nullptr && lstrcmpiA(walk->last->key, key) == 0;
    if (!repeated) {
        if (walk->set == nullptr &&
            (walk->set = kwshr_createKeyedSet(KWSHR_KEYED_SET_KIND, TDX_FKListHashString, 1, 0,
                                              block->memoryContext, 0)) == nullptr) {
            return false;
        }
        if (kwshr_findInKeyedSet(walk->set, key) == nullptr) {
            auto* record =
                static_cast<DependentTable*>(kwshr_allocate(block->memoryContext, sizeof(DependentTable), 0));
            if (record == nullptr) {
                return false;
            }
            std::memset(record, 0, sizeof *record);
            std::memcpy(record->key, key, sizeof key);
            TDX_CopyText(record->owner, sizeof record->owner, walk->owner);
            TDX_CopyText(record->name, sizeof record->name, walk->table);
            if (kwshr_addToKeyedSet(walk->set, record) == 0) {
                kwshr_free(block->memoryContext, record);
                return false;
            }
            walk->last = record;
        }
    }
    walk->owner[0] = '\0';
    return true;
}

/* The visible ones of the set's tables, in key order; frees the set and its records. Answers
 * the list, or null when there is none or the visibility check failed. */
HostList* TDX_VisibleDependents(RequestBlock* block, KWSET set) {
    HostList* list = kwshr_createList(block->memoryContext, 0);
    bool failed = list == nullptr;
    for (auto* record = static_cast<DependentTable*>(kwshr_firstInKeyedSet(set));
         record != nullptr && !failed; record = static_cast<DependentTable*>(kwshr_nextInKeyedSet(set))) {
        failed = TDX_AppendVisibleTable(block, list, record) != 0;
    }
    for (auto* record = static_cast<DependentTable*>(kwshr_firstInKeyedSet(set)); record != nullptr;
         record = static_cast<DependentTable*>(kwshr_nextInKeyedSet(set))) {
        kwshr_free(block->memoryContext, record);
    }
    kwshr_destroyKeyedSet(set);
    if (failed || (list != nullptr && kwshr_listCount(list) == 0)) {
        TDX_FreeTableList(block, list);
        return nullptr;
    }
    return list;
}

}  // namespace

/* A dependent-table record begins with its key text, so the record itself is its key. */
char* TDX_FKListHashString(void* record) {
    return static_cast<char*>(record);
}

/* Request 199: the primary key of table sqlText as a KeyEntry named "primary", or 0. */
void TDX_PrimaryKey(RequestBlock* block) {
    block->result = 0;
    char* owner = TDX_KeyOwner(block, false);
    PrimaryKeyWalk walk{};
    walk.columns = reinterpret_cast<HostList*>(block->paramKey);
    walk.owner = owner;
    TDX_WalkProcedure(block, "sp_pkeys ", block->sqlText, owner,
                      ProcedureWalk{TDX_BindPrimaryKey, TDX_PrimaryKeyRow, &walk});
    block->result = reinterpret_cast<intptr_t>(walk.key);
}

/* Request 200: the foreign keys of table sqlText, one KeyEntry per parent table run, or 0. */
void TDX_ForeignKeys(RequestBlock* block) {
    block->result = 0;
    char* owner = TDX_KeyOwner(block, false);
    ForeignKeyWalk walk{};
    walk.columns = reinterpret_cast<HostList*>(block->paramKey);
    walk.owner = owner;
    walk.number = 1;
    TDX_WalkProcedure(block, "sp_fkeys ,,, ", block->sqlText, owner,
                      ProcedureWalk{TDX_BindForeignKeys, TDX_ForeignKeyRow, &walk});
    if (walk.list != nullptr && kwshr_listCount(walk.list) == 0) {
        kwshr_destroyList(walk.list);
        walk.list = nullptr;
    }
    block->result = reinterpret_cast<intptr_t>(walk.list);
}

/* Request 210: the tables whose foreign keys refer to table sqlText and that the user may see,
 * each once, as TableEntry records; 0 when there are none or the visibility check failed. */
void TDX_DependentTables(RequestBlock* block) {
    block->result = 0;
    char* owner = TDX_KeyOwner(block, true);
    DependentWalk walk{};
    TDX_WalkProcedure(block, "sp_fkeys ", block->sqlText, owner,
                      ProcedureWalk{TDX_BindDependents, TDX_DependentRow, &walk});
    if (walk.set == nullptr) {
        return;
    }
    HostList* list = TDX_VisibleDependents(block, walk.set);
    TDX_DiscardServerMessages(block);
    block->result = reinterpret_cast<intptr_t>(list);
}
