// ddl.cpp - the \ddl command. The table, its columns, keys and indexes come from the driver's
// catalog requests (8, 9, 199, 200, 10, 11); the statements from its DDL requests (139, 205,
// 208, 140), which write them into the block's statement list; everything the driver handed back
// is freed here before the command ends.
#include "ddl.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <vector>

#include "hostlist.h"
#include "kwconst.h"
#include "kwrecords.h"
#include "kwshr.h"
#include "session.h"
#include "shell.h"

namespace kwsh {
namespace {

// The records one \ddl reads, freed as the host frees them.
struct TableRecords {
    explicit TableRecords(KWCTX context) : ctx(context) {}
    ~TableRecords() {
        for (TableEntry* e : itemsOf<TableEntry>(tables)) {
            kwshr_free(ctx, e->owner);
            kwshr_free(ctx, e);
        }
        if (tables != nullptr) {
            kwshr_destroyList(tables);
        }
        for (ColumnDescriptor* c : itemsOf<ColumnDescriptor>(columns)) {
            kwshr_free(ctx, c->name);
            kwshr_free(ctx, c);
        }
        if (columns != nullptr) {
            kwshr_destroyList(columns);
        }
        for (HostList* list : {foreignKeys, indexes}) {
            if (list != nullptr) {
                kwshr_freeResultList(ctx, list);
            }
        }
        kwshr_free(ctx, primary);
        kwshr_free(ctx, newOwner);
    }
    TableRecords(const TableRecords&) = delete;
    TableRecords& operator=(const TableRecords&) = delete;

    KWCTX ctx;
    HostList* tables = nullptr;
    TableEntry* entry = nullptr;
    HostList* columns = nullptr;
    KeyEntry* primary = nullptr;
    HostList* foreignKeys = nullptr;
    HostList* indexes = nullptr;
    char* newOwner = nullptr;
};

Outcome ask(Session& session, int32_t code, const std::string& table, const std::string& owner, void* arg,
            void* paramKey = nullptr) {
    RequestBlock& block = session.block();
    session.setStatement(table);
    kwhost_setBlockText(&block, &block.ownerName, owner.empty() ? nullptr : owner.c_str());
    block.arg = arg;
    block.paramKey = static_cast<char*>(paramKey);
    const Outcome outcome = session.call(code);
    session.setStatement("");
    kwhost_setBlockText(&block, &block.ownerName, nullptr);
    block.arg = nullptr;
    block.paramKey = nullptr;
    return outcome;
}

// Reads the table; false (said why) when it cannot.
bool readTable(Shell& shell, TableRecords& r, const std::string& owner, const std::string& name) {
    Session& session = shell.session();
    RequestBlock& block = session.block();
    Outcome o = ask(session, REQ_LIST_TABLES, name, owner, nullptr);
    r.tables = reinterpret_cast<HostList*>(block.result);
    const auto entries = itemsOf<TableEntry>(r.tables);
    if (!o.ok() || entries.empty()) {
        o.ok() ? shell.failText("ERROR: did not find any table named \"" + owner + "." + name +
                                "\" that you may see")
               : shell.fail(o);
        return false;
    }
    r.entry = entries.front();
    if ((r.entry->flags & KW_TABLE_VIEW) != 0) {
        shell.failText("ERROR: \"" + owner + "." + name + "\" is a view; \\dv shows its text");
        return false;
    }
    const struct {
        int32_t code;
        void* arg;
        void* paramKey;
    } steps[] = {{REQ_LIST_COLUMNS, r.entry, nullptr},
                 {REQ_PRIMARY_KEY, r.entry, nullptr},
                 {REQ_FOREIGN_KEYS, r.entry, nullptr},
                 {REQ_LIST_INDEXES, r.entry, nullptr}};
    for (const auto& step : steps) {
        o = ask(session, step.code, name, owner, step.arg, r.columns);
        if (!o.ok()) {
            shell.fail(o);
            return false;
        }
        switch (step.code) {
            case REQ_LIST_COLUMNS:
                r.columns = r.entry->columns = reinterpret_cast<HostList*>(block.result);
                r.entry->columnCount = static_cast<int32_t>(itemsOf<ColumnDescriptor>(r.columns).size());
                break;
            case REQ_PRIMARY_KEY:
                r.primary = reinterpret_cast<KeyEntry*>(block.result);
                break;
            case REQ_FOREIGN_KEYS:
                r.foreignKeys = reinterpret_cast<HostList*>(block.result);
                break;
            default:
                r.indexes = r.entry->indexes = reinterpret_cast<HostList*>(block.result);
                break;
        }
    }
    for (IndexEntry* index : itemsOf<IndexEntry>(r.indexes)) {
        o = ask(session, REQ_READ_INDEX_KEYS, "", "", index);
        if (!o.ok()) {
            shell.fail(o);
            return false;
        }
    }
    return true;
}

// Calls a DDL request with `arg` and a one-item list holding `table` where the request wants it.
bool write(Shell& shell, int32_t code, void* arg) {
    Session& session = shell.session();
    session.block().arg = arg;
    const Outcome o = session.call(code);
    session.block().arg = nullptr;
    if (!o.ok()) {
        shell.fail(o);
    }
    return o.ok();
}

bool writeStatements(Shell& shell, TableRecords& r, std::vector<std::string>& statements) {
    RequestBlock& block = shell.session().block();
    KWCTX ctx = block.memoryContext;
    HostList* args = kwshr_createList(ctx, 0);
    if (args == nullptr || kwshr_appendToList(args, r.entry) == 0) {
        shell.failText("ERROR: out of memory");
        if (args != nullptr) {
            kwshr_destroyList(args);
        }
        return false;
    }
    bool ok = write(shell, REQ_CREATE_TABLE, args);
    if (ok && r.primary != nullptr && r.primary->keyCount > 0) {
        ok = write(shell, REQ_ADD_PRIMARY_KEY_CLAUSE, r.primary);
    }
    if (ok && !itemsOf<KeyEntry>(r.foreignKeys).empty()) {
        ok = write(shell, REQ_ADD_FOREIGN_KEY_CLAUSES, r.foreignKeys);
    }
    kwshr_destroyList(args);
    const auto columns = itemsOf<ColumnDescriptor>(r.columns);
    for (IndexEntry* index : itemsOf<IndexEntry>(r.indexes)) {
        if (!ok || index->primary == 'Y') {
            continue;  // the primary key makes its own index
        }
        // The index painter passes the index columns, in index order, as the table's columns.
        TableEntry indexed;
        std::memcpy(&indexed, r.entry, sizeof indexed);
        indexed.columns = kwshr_createList(ctx, 0);
        indexed.indexes = kwshr_createList(ctx, 0);
        HostList* one = kwshr_createList(ctx, 0);
        ok = indexed.columns != nullptr && indexed.indexes != nullptr && one != nullptr &&
             kwshr_appendToList(indexed.indexes, index) != 0 && kwshr_appendToList(one, &indexed) != 0;
        for (int32_t i = 0; ok && i < index->keyCount && i < 20; ++i) {
            const int32_t n = index->keyColumns[i];
            ok = n >= 1 && static_cast<size_t>(n) <= columns.size() &&
                 kwshr_appendToList(indexed.columns, columns[static_cast<size_t>(n - 1)]) != 0;
        }
        if (ok) {
            ok = write(shell, REQ_CREATE_INDEX, one);
        } else {
            shell.failText(std::string("ERROR: could not write index ") + index->name);
        }
        for (HostList* list : {indexed.columns, indexed.indexes, one}) {
            if (list != nullptr) {
                kwshr_destroyList(list);
            }
        }
    }
    statements = takeStatements(block);
    return ok;
}

// Exchanges the entry's owner with the new owner (the record is packed: no references into it).
void swapOwner(TableRecords& r) {
    char* owner = r.entry->owner;
    r.entry->owner = r.newOwner;
    r.newOwner = owner;
}

}  // namespace

bool tableDdlCommand(Shell& shell, const std::string& text, const std::string& newOwner, bool run) {
    Session& session = shell.session();
    if (!session.connected()) {
        shell.failText("ERROR: not connected");
        return false;
    }
    const size_t dot = text.find('.');
    const std::string owner = dot == std::string::npos ? lower(session.user()) : lower(text.substr(0, dot));
    const std::string name = lower(dot == std::string::npos ? text : text.substr(dot + 1));
    TableRecords r(session.block().memoryContext);
    if (!readTable(shell, r, owner, name)) {
        return false;
    }
    if (!newOwner.empty()) {
        // The table and the foreign keys to its owner's tables move to the new owner.
        r.newOwner = kwshr_duplicateString(r.ctx, lower(newOwner).c_str(), 0);
        swapOwner(r);
        for (KeyEntry* key : itemsOf<KeyEntry>(r.foreignKeys)) {
            if (owner == lower(key->refOwner)) {
                std::snprintf(key->refOwner, sizeof key->refOwner, "%s", lower(newOwner).c_str());
            }
        }
    }
    std::vector<std::string> statements;
    const bool written = writeStatements(shell, r, statements);
    if (!newOwner.empty()) {
        swapOwner(r);
    }
    if (!written) {
        return false;
    }
    for (const std::string& sql : statements) {
        shell.out() << sql << ";\n";
        if (run && !shell.runStatement(sql)) {
            return false;
        }
    }
    return true;
}

}  // namespace kwsh
