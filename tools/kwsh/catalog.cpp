// catalog.cpp - \dt, \d, \di and \dT through the driver's catalog requests.
//
// Serves the command table. A command asks the driver as a painter would: the table list
// (request 7 or 8), the columns of an entry (9), its indexes and their keys (10, 11), its primary
// and foreign keys (199, 200) and dependent tables (210), the type descriptors (252) and the type
// lengths (17, 39). The Answers record owns what the driver handed back until the command ends
// and frees it as a host does; the block's input fields are cleared again after every request.
#include "catalog.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "hostlist.h"
#include "kwconst.h"
#include "kwshr.h"
#include "shell.h"

namespace kwsh {

namespace {

// What the driver handed back during one command, freed as the host frees it.
class Answers {
  public:
    explicit Answers(KWCTX context) : context_(context) {}
    ~Answers() {
        for (HostList* list : columnLists_) {
            for (ColumnDescriptor* c : itemsOf<ColumnDescriptor>(list)) {
                kwshr_free(context_, c->name);
                kwshr_free(context_, c);
            }
            kwshr_destroyList(list);
        }
        for (HostList* list : tableLists_) {
            for (TableEntry* e : itemsOf<TableEntry>(list)) {
                kwshr_free(context_, e->owner);
                kwshr_free(context_, e);
            }
            kwshr_destroyList(list);
        }
        for (HostList* list : plainLists_) {
            kwshr_freeResultList(context_, list);
        }
        for (void* record : records_) {
            kwshr_free(context_, record);
        }
    }
    Answers(const Answers&) = delete;
    Answers& operator=(const Answers&) = delete;

    HostList* tables(intptr_t result) { return keep(tableLists_, result); }
    HostList* columns(intptr_t result) { return keep(columnLists_, result); }
    HostList* plain(intptr_t result) { return keep(plainLists_, result); }
    void* record(intptr_t result) {
        void* record = reinterpret_cast<void*>(result);
        if (record != nullptr) {
            records_.push_back(record);
        }
        return record;
    }

  private:
    HostList* keep(std::vector<HostList*>& lists, intptr_t result) {
        auto* list = reinterpret_cast<HostList*>(result);
        if (list != nullptr) {
            lists.push_back(list);
        }
        return list;
    }
    KWCTX context_;
    std::vector<HostList*> tableLists_, columnLists_, plainLists_;
    std::vector<void*> records_;
};

// The block's inputs of one request, cleared again when it has answered.
struct RequestInputs {
    std::string table = {};
    std::string owner = {};
    void* arg = nullptr;
    char* paramKey = nullptr;
    int32_t inValue = 0;
};

Outcome ask(Session& session, int32_t code, const RequestInputs& in) {
    RequestBlock& block = session.block();
    session.setStatement(in.table);
    kwhost_setBlockText(&block, &block.ownerName, in.owner.empty() ? nullptr : in.owner.c_str());
    block.arg = in.arg;
    block.paramKey = in.paramKey;
    block.inValue = in.inValue;
    const Outcome outcome = session.call(code);
    session.setStatement("");
    kwhost_setBlockText(&block, &block.ownerName, nullptr);
    block.arg = nullptr;
    block.paramKey = nullptr;
    block.inValue = 0;
    return outcome;
}

// The owner and name a command names: "owner.name", or the name of a table of the login user.
std::pair<std::string, std::string> tableName(Session& session, const std::string& text) {
    const size_t dot = text.find('.');
    if (dot == std::string::npos) {
        return {lower(session.user()), lower(text)};
    }
    return {lower(text.substr(0, dot)), lower(text.substr(dot + 1))};
}

bool requireConnection(Shell& shell) {
    if (!shell.session().connected()) {
        shell.failText("ERROR: not connected");
        return false;
    }
    return true;
}

// The one visible table a command names, with its columns attached, or null (said why).
TableEntry* findTable(Shell& shell, Answers& answers, const std::string& text) {
    Session& session = shell.session();
    const auto [owner, name] = tableName(session, text);
    const Outcome listed = ask(session, REQ_LIST_TABLES, {name, owner});
    if (!listed.ok()) {
        shell.fail(listed);
        return nullptr;
    }
    const auto entries = itemsOf<TableEntry>(answers.tables(session.block().result));
    if (entries.empty()) {
        shell.failText("ERROR: did not find any table named \"" + owner + "." + name + "\" that you may see");
        return nullptr;
    }
    TableEntry* entry = entries.front();
    const Outcome described = ask(session, REQ_LIST_COLUMNS, {.arg = entry});
    if (!described.ok()) {
        shell.fail(described);
        return nullptr;
    }
    entry->columns = answers.columns(session.block().result);
    return entry;
}

// The upper-case type names by DB2 type code, from the type descriptors (request 252).
std::map<int32_t, const TypeDescriptor*> typeNames(Session& session, Answers& answers) {
    std::map<int32_t, const TypeDescriptor*> names;
    ask(session, REQ_TYPE_DESCRIPTORS, {});
    for (const TypeDescriptor* d : itemsOf<TypeDescriptor>(answers.plain(session.block().result))) {
        names[+d->typeCode] = d;
    }
    return names;
}

// Names of key columns given by their 1-based positions in the column list.
std::string keyText(const TableEntry& table, const int32_t* positions, int32_t count) {
    const auto columns = itemsOf<ColumnDescriptor>(table.columns);
    std::string text = "(";
    for (int32_t i = 0; i < count; ++i) {
        int32_t position = 0;
        std::memcpy(&position, positions + i, sizeof position);
        const bool known = position >= 1 && static_cast<size_t>(position) <= columns.size();
        text += (i > 0 ? ", " : "") +
                (known ? std::string(columns[position - 1]->name) : "#" + std::to_string(position));
    }
    return text + ")";
}

std::string deleteRuleText(uint8_t rule) {
    std::string text;
    const std::pair<uint8_t, const char*> words[] = {
        {KW_DELETE_CASCADE, "CASCADE"}, {KW_DELETE_RESTRICT, "RESTRICT"}, {KW_DELETE_SET_NULL, "SET NULL"}};
    for (auto [bit, word] : words) {
        if ((rule & bit) != 0) {
            text += (text.empty() ? "" : ", ") + std::string(word);
        }
    }
    return text.empty() ? "" : " ON DELETE " + text;
}

// The indexes of the entry with their keys read (requests 10 and 11).
std::vector<IndexEntry*> indexesOf(Shell& shell, Answers& answers, TableEntry* entry) {
    Session& session = shell.session();
    const Outcome listed = ask(session, REQ_LIST_INDEXES, {.arg = entry});
    if (!listed.ok()) {
        shell.fail(listed);
        return {};
    }
    auto indexes = itemsOf<IndexEntry>(answers.plain(session.block().result));
    // The primary index first, then by name, as a person looks for them.
    std::sort(indexes.begin(), indexes.end(), [](const IndexEntry* a, const IndexEntry* b) {
        return a->primary != b->primary ? a->primary == 'Y' : std::strcmp(a->name, b->name) < 0;
    });
    for (IndexEntry* index : indexes) {
        const Outcome keys = ask(session, REQ_READ_INDEX_KEYS, {.arg = index});
        if (!keys.ok()) {
            shell.fail(keys);
        }
    }
    return indexes;
}

std::string indexLine(const TableEntry& table, const IndexEntry& index) {
    std::string line = std::string(index.name) + (index.primary == 'Y' ? " PRIMARY"
                                                  : index.unique       ? " UNIQUE"
                                                                       : "");
    line += " " + keyText(table, index.keyColumns, index.keyCount) + (index.ascending ? "" : " DESC");
    return line + (index.clustered ? " CLUSTERED" : "");
}

void printColumns(Shell& shell, const TableEntry& table,
                  const std::map<int32_t, const TypeDescriptor*>& types) {
    std::unique_ptr<ResultPrinter> printer = shell.newPrinter(false);
    printer->begin(
        {{"Column", false}, {"Type", false}, {"Length", true}, {"Scale", true}, {"Nullable", false}});
    for (const ColumnDescriptor* c : itemsOf<ColumnDescriptor>(table.columns)) {
        const auto type = types.find(+c->db2Type);
        const bool hasScale = type != types.end() && type->second->hasScale != 0;
        printer->row({std::string(c->name), type != types.end() ? std::string(type->second->name) : "?",
                      c->hasLength ? std::to_string(c->length) : "", hasScale ? std::to_string(c->scale) : "",
                      c->nullability == KW_NULLABLE ? "yes" : "not null"});
    }
    printer->end(true);
}

// The key sections of \d: primary key, foreign keys, dependent tables (requests 199, 200, 210).
void printKeys(Shell& shell, Answers& answers, TableEntry* entry, const std::vector<IndexEntry*>& indexes) {
    Session& session = shell.session();
    std::ostream& out = shell.out();
    const RequestInputs table{entry->name, entry->owner, entry, reinterpret_cast<char*>(entry->columns)};
    if (!indexes.empty()) {
        out << "Indexes:\n";
        for (const IndexEntry* index : indexes) {
            out << "    " << indexLine(*entry, *index) << '\n';
        }
    }
    ask(session, REQ_PRIMARY_KEY, table);
    if (const auto* key = static_cast<const KeyEntry*>(answers.record(session.block().result))) {
        out << "Primary key: " << keyText(*entry, key->keyColumns, key->keyCount) << '\n';
    }
    ask(session, REQ_FOREIGN_KEYS, table);
    const auto foreign = itemsOf<KeyEntry>(answers.plain(session.block().result));
    if (!foreign.empty()) {
        out << "Foreign keys:\n";
        for (const KeyEntry* key : foreign) {
            out << "    " << key->name << ' ' << keyText(*entry, key->keyColumns, key->keyCount)
                << " REFERENCES " << (key->refOwner[0] != '\0' ? std::string(key->refOwner) + "." : "")
                << key->refTable << deleteRuleText(key->deleteRule) << '\n';
        }
    }
    ask(session, REQ_DEPENDENT_TABLES, table);
    const auto dependents = itemsOf<TableEntry>(answers.tables(session.block().result));
    if (!dependents.empty()) {
        out << "Referenced by:\n";
        for (const TableEntry* dependent : dependents) {
            out << "    " << dependent->owner << '.' << dependent->name << '\n';
        }
    }
    out << '\n';
}

bool matchesFrom(const std::string& pattern, size_t p, const std::string& text, size_t t) {
    for (; p < pattern.size(); ++p, ++t) {
        if (pattern[p] == '*') {
            for (size_t rest = t; rest <= text.size(); ++rest) {
                if (matchesFrom(pattern, p + 1, text, rest)) {
                    return true;
                }
            }
            return false;
        }
        if (t >= text.size() ||
            (pattern[p] != '?' && std::tolower(static_cast<unsigned char>(pattern[p])) !=
                                      std::tolower(static_cast<unsigned char>(text[t])))) {
            return false;
        }
    }
    return t == text.size();
}

}  // namespace

bool matchesTablePattern(const std::string& pattern, const std::string& owner, const std::string& name) {
    if (pattern.empty()) {
        return true;
    }
    const std::string text = pattern.find('.') != std::string::npos ? owner + "." + name : name;
    return matchesFrom(pattern, 0, text, 0);
}

bool listTablesCommand(Shell& shell, const std::string& pattern) {
    if (!requireConnection(shell)) {
        return false;
    }
    Session& session = shell.session();
    Answers answers(session.block().memoryContext);
    const Outcome listed = ask(session, REQ_LIST_ALL_TABLES, {});
    if (!listed.ok()) {
        shell.fail(listed);
        return false;
    }
    std::vector<const TableEntry*> shown;
    for (const TableEntry* e : itemsOf<TableEntry>(answers.tables(session.block().result))) {
        if (matchesTablePattern(pattern, e->owner, e->name)) {
            shown.push_back(e);
        }
    }
    if (shown.empty()) {
        shell.say(pattern.empty() ? "Did not find any tables."
                                  : "Did not find any table named \"" + pattern + "\".");
        return true;
    }
    std::sort(shown.begin(), shown.end(), [](const TableEntry* a, const TableEntry* b) {
        const int owner = std::strcmp(a->owner, b->owner);
        return owner != 0 ? owner < 0 : std::strcmp(a->name, b->name) < 0;
    });
    std::unique_ptr<ResultPrinter> printer = shell.newPrinter(!shell.settings().quiet);
    printer->begin({{"Owner", false}, {"Name", false}, {"Type", false}, {"System", false}});
    for (const TableEntry* e : shown) {
        printer->row({std::string(e->owner), std::string(e->name),
                      (e->flags & KW_TABLE_VIEW) != 0 ? "view" : "table",
                      (e->flags & KW_TABLE_SYSTEM) != 0 ? "yes" : ""});
    }
    printer->end(true);
    return true;
}

bool describeTableCommand(Shell& shell, const std::string& text) {
    if (!requireConnection(shell)) {
        return false;
    }
    Session& session = shell.session();
    Answers answers(session.block().memoryContext);
    TableEntry* entry = findTable(shell, answers, text);
    if (entry == nullptr) {
        return false;
    }
    const bool aligned = shell.settings().format == Format::Aligned;
    if (aligned) {
        shell.out() << ((entry->flags & KW_TABLE_VIEW) != 0 ? "View" : "Table") << " \"" << entry->owner
                    << '.' << entry->name << '"' << ((entry->flags & KW_TABLE_SYSTEM) != 0 ? " (system)" : "")
                    << '\n';
    }
    printColumns(shell, *entry, typeNames(session, answers));
    if (aligned) {
        const auto indexes = indexesOf(shell, answers, entry);
        printKeys(shell, answers, entry, indexes);
    }
    return true;
}

bool listIndexesCommand(Shell& shell, const std::string& text) {
    if (!requireConnection(shell)) {
        return false;
    }
    Session& session = shell.session();
    Answers answers(session.block().memoryContext);
    TableEntry* entry = findTable(shell, answers, text);
    if (entry == nullptr) {
        return false;
    }
    const auto indexes = indexesOf(shell, answers, entry);
    std::unique_ptr<ResultPrinter> printer = shell.newPrinter(!shell.settings().quiet);
    printer->begin({{"Index", false},
                    {"Creator", false},
                    {"Kind", false},
                    {"Clustered", false},
                    {"Order", false},
                    {"Columns", false}});
    for (const IndexEntry* index : indexes) {
        printer->row({index->name, index->creator,
                      index->primary == 'Y' ? "primary"
                      : index->unique       ? "unique"
                                            : "duplicates",
                      index->clustered ? "yes" : "", index->ascending ? "ASC" : "DESC",
                      keyText(*entry, index->keyColumns, index->keyCount)});
    }
    printer->end(true);
    return true;
}

bool listTypesCommand(Shell& shell) {
    Session& session = shell.session();
    Answers answers(session.block().memoryContext);
    const auto types = typeNames(session, answers);
    std::unique_ptr<ResultPrinter> printer = shell.newPrinter(!shell.settings().quiet);
    printer->begin({{"Type", false},
                    {"Code", true},
                    {"Host type", true},
                    {"Length", false},
                    {"Scale", false},
                    {"Max length", true},
                    {"Default length", true}});
    for (const auto& [code, d] : types) {
        ask(session, REQ_TYPE_MAX_LENGTH, {.inValue = code});
        const intptr_t maxLength = session.block().result;
        ask(session, REQ_TYPE_DEFAULT_LENGTH, {.inValue = code});
        const intptr_t defaultLength = session.block().result;
        printer->row({d->name, std::to_string(code), std::to_string(d->hostType), d->hasLength ? "yes" : "",
                      d->hasScale ? "yes" : "", std::to_string(maxLength), std::to_string(defaultLength)});
    }
    printer->end(true);
    return true;
}

std::vector<std::pair<std::string, std::string>> visibleTables(Session& session) {
    std::vector<std::pair<std::string, std::string>> tables;
    if (!session.connected() || session.lost()) {
        return tables;
    }
    Answers answers(session.block().memoryContext);
    if (ask(session, REQ_LIST_ALL_TABLES, {}).ok()) {
        for (const TableEntry* e : itemsOf<TableEntry>(answers.tables(session.block().result))) {
            tables.emplace_back(std::string(e->owner), std::string(e->name));  // packed: no reference
        }
    }
    return tables;
}

std::vector<std::string> columnNamesOf(Session& session, const std::string& table) {
    std::vector<std::string> names;
    if (!session.connected() || session.lost()) {
        return names;
    }
    Answers answers(session.block().memoryContext);
    const auto [owner, name] = tableName(session, table);
    if (!ask(session, REQ_LIST_TABLES, {name, owner}).ok()) {
        return names;
    }
    const auto entries = itemsOf<TableEntry>(answers.tables(session.block().result));
    if (entries.empty() || !ask(session, REQ_LIST_COLUMNS, {.arg = entries.front()}).ok()) {
        return names;
    }
    for (const ColumnDescriptor* c : itemsOf<ColumnDescriptor>(answers.columns(session.block().result))) {
        names.emplace_back(std::string(c->name));
    }
    return names;
}

}  // namespace kwsh
