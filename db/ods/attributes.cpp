/*
 * attributes.cpp - table and column attributes of the extended catalog: read, write, delete.
 *
 * Serves requests 107 (a table entry's attributes and those of its columns), 110 (column
 * attributes of many tables in one statement), the attribute parts of 70 and 64, and the
 * statement writers of 45 (UPDATE or INSERT of the KWCATTBL and KWCATCOL rows) and 60 (their
 * DELETE). Reads fill the host's records from KWCATTBL and KWCATCOL and never write; the writers
 * only put statements into the block's statementList. Names handed in are upper case in the
 * statements and lower case in the host's records afterwards; every free text inside a literal
 * has its quotes doubled, and SMALLINT values go back to the server as the signed values they are.
 */
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "internal.h"

namespace {

bool filled(const char* text) {
    return text != nullptr && text[0] != '\0';
}

/* A SMALLINT the host holds widened without sign (65535 for -1) as the signed value it is. */
int smallint(int32_t value) {
    return static_cast<int16_t>(static_cast<uint16_t>(value));
}

const char* yesNo(int32_t value) {
    return value != 0 ? "Y" : "N";
}

/* "OWNER." when there is an owner, else nothing. */
std::string qualifier(const char* owner) {
    return filled(owner) ? std::string(owner) + "." : std::string();
}

}  // namespace

/* ---- The statement writer ---- */

int32_t TDX_OpenWriter(RequestBlock* block, StatementWriter* w, int32_t lineCapacity) {
    w->block = block;
    w->builder = kwshr_beginStatementText(block, lineCapacity);
    w->failed = 0;
    if (w->builder == nullptr) {
        TDX_ReportNoMemory(block);
        return 0;
    }
    return 1;
}

static void TDX_WriteBytes(StatementWriter* w, const char* text, size_t length) {
    if (w->failed != 0 || length == 0) {
        return;
    }
    if (kwshr_reserveStatementText(w->block, w->builder, length) == 0) {
        w->failed = 1;
        return;
    }
    std::memcpy(w->builder->writePos, text, length);
    w->builder->writePos += length;
    *w->builder->writePos = '\0';
}

void TDX_Write(StatementWriter* w, const char* text) {
    if (text != nullptr) {
        TDX_WriteBytes(w, text, std::strlen(text));
    }
}

void TDX_WriteFormat(StatementWriter* w, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    va_list again;
    va_copy(again, arguments);
    const int length = std::vsnprintf(nullptr, 0, format, arguments);
    va_end(arguments);
    if (length > 0) {
        std::string text(static_cast<size_t>(length), '\0');
        std::vsnprintf(text.data(), text.size() + 1, format, again);
        TDX_WriteBytes(w, text.data(), text.size());
    }
    va_end(again);
}

/* The host's quoting service leaves arg and result changed, as the host expects of it. */
void TDX_WriteText(StatementWriter* w, const char* text) {
    if (!filled(text) || w->failed != 0) {
        return;
    }
    RequestBlock* block = w->block;
    block->arg = const_cast<char*>(text);
    block->result = 0;
    kwshr_makeSqlStringText(block);
    TDX_Write(w, reinterpret_cast<const char*>(block->result));
}

void TDX_WriteLineEnd(StatementWriter* w, int32_t last) {
    if (w->failed == 0) {
        kwshr_endStatementLine(w->block, last, w->builder);
    }
}

void TDX_WriteStatementEnd(StatementWriter* w) {
    if (w->failed == 0) {
        kwshr_finishStatementText(w->block, w->builder);
    }
}

void TDX_RewindWriter(StatementWriter* w) {
    StatementBuilder* b = w->builder;
    b->writePos = b->lineStart = b->bufferStart;
    b->lineEnd = b->bufferStart + KW_STATEMENT_LINE_WIDTH;
    *b->writePos = '\0';
}

void TDX_CloseWriter(StatementWriter* w) {
    w->block->result = w->builder->lineCount;
    if (w->failed != 0) {
        TDX_ReportNoMemory(w->block);
        w->block->result = 0;
    }
    kwshr_releaseStatementText(w->block, w->builder);
}

int32_t TDX_LendConnection(RequestBlock* block, bool* lent) {
    *lent = false;
    if (block->connection != nullptr) {
        return 1;
    }
    auto* record = static_cast<ConnectionRecord*>(
        kwshr_allocate(block->memoryContext, sizeof(ConnectionRecord), block->allocFlags));
    if (record == nullptr) {
        TDX_ReportNoMemory(block);
        return 0;
    }
    std::memset(record, 0, sizeof *record);
    block->connection = record;
    *lent = true;
    return 1;
}

bool TDX_LendForCatalog(RequestBlock* block, bool* lent, char* owner, const char** system) {
    if (TDX_LendConnection(block, lent) == 0) {
        return false;
    }
    if (system != nullptr) {
        *system = TDX_CatalogQualifier(block);
    }
    if (TDX_ResolveCatalogOwner(block, OWNER_FROM_CURRENT_USER, owner) == 0) {
        TDX_ReturnConnection(block, *lent);
        return false;
    }
    return true;
}

/* Frees the lent record and what a dialog put into it while it was lent. */
void TDX_ReturnConnection(RequestBlock* block, bool lent) {
    if (!lent) {
        return;
    }
    ConnectionRecord* record = block->connection;
    for (char* text : {record->systemOwner, record->catalogOwner, record->groupId, record->tableCriteria,
                       record->conversionTable}) {
        if (text != nullptr) {
            kwshr_free(block->memoryContext, text);
        }
    }
    kwshr_free(block->memoryContext, record);
    block->connection = nullptr;
}

/* ---- Reading: requests 70, 107, 110, 64 ---- */

namespace {

const char kTableSelect[] =
    "SELECT KWD_FHGT, KWD_FWGT, KWD_FITL, KWD_FUNL, KWD_FCHR, KWD_FPTC, KWD_FFCE, KWH_FHGT, KWH_FWGT, "
    "KWH_FITL, KWH_FUNL, KWH_FCHR, KWH_FPTC, KWH_FFCE, KWL_FHGT, KWL_FWGT, KWL_FITL, KWL_FUNL, KWL_FCHR, "
    "KWL_FPTC, KWL_FFCE, KWT_CMNT";
const char kColumnSelect[] =
    "SELECT KWC_TNAM, KWC_OWNR, KWC_CNAM, KWC_LABL, KWC_LPOS, KWC_HDR, KWC_HPOS, KWC_JTFY, KWC_MASK, "
    "KWC_CASE, KWC_HGHT, KWC_WDTH, KWC_PTRN, KWC_BMAP, KWC_INIT, KWC_EDIT, KWC_CMNT FROM ";

/* Bound buffers of one font of a KWCATTBL row. */
struct FontRow {
    int16_t height;
    int16_t weight;
    char italic;
    char underline;
    int16_t charSet;
    int16_t pitchAndFamily;
    char faceName[sizeof FontAttributes::faceName];
};
enum { FONT_COUNT = 3, FONT_COLUMNS = 7, COMMENT_SIZE = 256 };
struct TableRow {
    FontRow fonts[FONT_COUNT];
    char comment[COMMENT_SIZE];
};

bool TDX_BindTableRow(DBPROCESS* dbproc, TableRow* row) {
    for (int f = 0; f < FONT_COUNT; ++f) {
        FontRow& font = row->fonts[f];
        const int at = f * FONT_COLUMNS;
        if (TDX_Bind(dbproc, at + 1, KW_BIND_SMALLINT, 0, &font.height) == FAIL ||
            TDX_Bind(dbproc, at + 2, KW_BIND_SMALLINT, 0, &font.weight) == FAIL ||
            TDX_Bind(dbproc, at + 3, KW_BIND_CHARS, 1, &font.italic) == FAIL ||
            TDX_Bind(dbproc, at + 4, KW_BIND_CHARS, 1, &font.underline) == FAIL ||
            TDX_Bind(dbproc, at + 5, KW_BIND_SMALLINT, 0, &font.charSet) == FAIL ||
            TDX_Bind(dbproc, at + 6, KW_BIND_SMALLINT, 0, &font.pitchAndFamily) == FAIL ||
            TDX_Bind(dbproc, at + 7, KW_BIND_TEXT, sizeof font.faceName, font.faceName) == FAIL) {
            return false;
        }
    }
    return TDX_Bind(dbproc, FONT_COUNT * FONT_COLUMNS + 1, KW_BIND_TEXT, sizeof row->comment, row->comment) !=
           FAIL;
}

void TDX_CopyFont(FontAttributes* out, const FontRow& in) {
    out->height = in.height;
    out->weight = in.weight;
    out->italic = in.italic == 'Y' ? 1 : 0;
    out->underline = in.underline == 'Y' ? 1 : 0;
    out->charSet = static_cast<uint8_t>(in.charSet & 0xFF);
    out->pitchAndFamily = static_cast<uint8_t>(in.pitchAndFamily & 0xFF);
    TDX_CopyText(out->faceName, sizeof out->faceName, in.faceName);
}

/* Fetches the rows into the entry; false when a fetch failed (or, with `noMemory`, a copy). */
bool TDX_FetchTableRows(RequestBlock* block, TableEntry* entry, TableRow* row, bool* noMemory) {
    bool failed = false;
    for (;;) {
        row->comment[0] = '\0';
        if (!TDX_NextCatalogRow(block->dbproc, &failed)) {
            return !failed;
        }
        FontAttributes* fonts[FONT_COUNT] = {&entry->dataFont, &entry->headingFont, &entry->labelFont};
        for (int f = 0; f < FONT_COUNT; ++f) {
            TDX_CopyFont(fonts[f], row->fonts[f]);
        }
        if (row->comment[0] != '\0') {
            entry->comment = kwshr_duplicateString(block->memoryContext, row->comment, 0);
            *noMemory = *noMemory || entry->comment == nullptr;
        }
    }
}

/* Bound buffers of one KWCATCOL row. */
enum { NAME_SIZE = 130, TEXT_SIZE = 255, SHORT_TEXT_SIZE = 32 };
struct ColumnRow {
    char table[NAME_SIZE];
    char owner[NAME_SIZE];
    char column[NAME_SIZE];
    char label[TEXT_SIZE];
    int16_t labelPosition;
    char heading[TEXT_SIZE];
    int16_t headingPosition;
    int16_t justification;
    char mask[SHORT_TEXT_SIZE];
    int16_t caseConversion;
    int16_t height;
    int16_t width;
    char pattern[SHORT_TEXT_SIZE];
    char bitmap;
    char initial[TEXT_SIZE];
    char edit[SHORT_TEXT_SIZE];
    char comment[TEXT_SIZE];
};

/* Column numbers of the KWCATCOL select list. */
enum {
    COL_TNAM = 1,
    COL_OWNR,
    COL_CNAM,
    COL_LABL,
    COL_LPOS,
    COL_HDR,
    COL_HPOS,
    COL_JTFY,
    COL_MASK,
    COL_CASE,
    COL_HGHT,
    COL_WDTH,
    COL_PTRN,
    COL_BMAP,
    COL_INIT,
    COL_EDIT,
    COL_CMNT,
};

bool TDX_BindColumnRow(DBPROCESS* dbproc, ColumnRow* r) {
    struct Binding {
        int column;
        int32_t type;
        DBINT length;
        void* variable;
    };
    const Binding bindings[] = {
        {COL_TNAM, KW_BIND_TEXT, sizeof r->table, r->table},
        {COL_OWNR, KW_BIND_TEXT, sizeof r->owner, r->owner},
        {COL_CNAM, KW_BIND_TEXT, sizeof r->column, r->column},
        {COL_LABL, KW_BIND_TEXT, sizeof r->label, r->label},
        {COL_LPOS, KW_BIND_SMALLINT, 0, &r->labelPosition},
        {COL_HDR, KW_BIND_TEXT, sizeof r->heading, r->heading},
        {COL_HPOS, KW_BIND_SMALLINT, 0, &r->headingPosition},
        {COL_JTFY, KW_BIND_SMALLINT, 0, &r->justification},
        {COL_MASK, KW_BIND_TEXT, sizeof r->mask, r->mask},
        {COL_CASE, KW_BIND_SMALLINT, 0, &r->caseConversion},
        {COL_HGHT, KW_BIND_SMALLINT, 0, &r->height},
        {COL_WDTH, KW_BIND_SMALLINT, 0, &r->width},
        {COL_PTRN, KW_BIND_TEXT, sizeof r->pattern, r->pattern},
        {COL_BMAP, KW_BIND_CHARS, 1, &r->bitmap},
        {COL_INIT, KW_BIND_TEXT, sizeof r->initial, r->initial},
        {COL_EDIT, KW_BIND_TEXT, sizeof r->edit, r->edit},
        {COL_CMNT, KW_BIND_TEXT, sizeof r->comment, r->comment},
    };
    static_assert(sizeof bindings / sizeof bindings[0] == COL_CMNT);
    for (const Binding& b : bindings) {
        if (TDX_Bind(dbproc, b.column, b.type, b.length, b.variable) == FAIL) {
            return false;
        }
    }
    return true;
}

/* The key a fetched row belongs to: the first with its column name whose table is empty or is the
 * row's table of the row's owner. */
ColumnKey* TDX_MatchColumnKey(KWSET keys, const ColumnRow& row) {
    if (keys == nullptr) {
        return nullptr;
    }
    for (auto* key = static_cast<ColumnKey*>(kwshr_findInKeyedSet(keys, row.column)); key != nullptr;
         key = static_cast<ColumnKey*>(kwshr_findNextInKeyedSet(keys, row.column))) {
        if (key->tableName[0] == '\0' ||
            (lstrcmpiA(key->tableName, row.table) == 0 && lstrcmpiA(key->ownerName, row.owner) == 0)) {
            return key;
        }
    }
    return nullptr;
}

struct Filler {
    RequestBlock* block;
    DBPROCESS* dbproc;
    bool noMemory;
};

bool present(const Filler& f, int column) {
    return dbdatlen(f.dbproc, column) > 0;
}

/* Whether a fetched text is copied: the column is not null, the text not empty (nor starting
 * with a blank, where that rules it out). The host's record is packed, so its fields are set by
 * the callers, never through a pointer. */
bool wanted(const Filler& f, int column, const char* text, bool skipLeadingBlank = false) {
    return present(f, column) && text[0] != '\0' && !(skipLeadingBlank && text[0] == ' ');
}

char* copyOf(Filler& f, const char* text) {
    char* copy = kwshr_duplicateString(f.block->memoryContext, text, 0);
    f.noMemory = f.noMemory || copy == nullptr;
    return copy;
}

/* A SMALLINT in a 32-bit field: widened without sign. */
int32_t widened(int16_t value) {
    return static_cast<uint16_t>(value);
}

/* The display format of a row: the mask itself, or (resolving) a copy of the text of the host's
 * format of that name, null when the host has none. */
void TDX_FillDisplayFormat(Filler& f, ColumnDescriptor* d, const ColumnRow& row, bool resolve) {
    if (!resolve) {
        if (wanted(f, COL_MASK, row.mask, true)) {
            d->displayFormat = copyOf(f, row.mask);
        }
        return;
    }
    if (!present(f, COL_MASK)) {
        return;
    }
    char key[NAME_SIZE] = {};
    TDX_CopyText(key, sizeof key, row.mask);
    KWSET formats = f.block->formatSet;
    const auto* format = formats != nullptr
                             ? static_cast<const DictionaryEntry*>(kwshr_findInKeyedSet(formats, key))
                             : nullptr;
    d->displayFormat = format != nullptr && format->text != nullptr ? copyOf(f, format->text) : nullptr;
}

void TDX_FillDescriptor(Filler& f, ColumnDescriptor* d, const ColumnRow& row, bool resolve) {
    TDX_CopyText(d->tableName, sizeof d->tableName, row.table);
    if (wanted(f, COL_LABL, row.label)) {
        d->label = copyOf(f, row.label);
    }
    if (present(f, COL_LPOS)) {
        d->labelPosition = widened(row.labelPosition);
    }
    if (wanted(f, COL_HDR, row.heading)) {
        d->heading = copyOf(f, row.heading);
    }
    if (present(f, COL_HPOS)) {
        d->headingPosition = widened(row.headingPosition);
    }
    if (present(f, COL_JTFY)) {
        d->justification = widened(row.justification);
    }
    TDX_FillDisplayFormat(f, d, row, resolve);
    if (present(f, COL_CASE)) {
        d->caseConversion = widened(row.caseConversion);
    }
    if (present(f, COL_HGHT)) {
        d->displayHeight = widened(row.height);
    }
    if (present(f, COL_WDTH)) {
        d->displayWidth = widened(row.width);
    }
    if (wanted(f, COL_PTRN, row.pattern, true)) {
        d->validationRule = copyOf(f, row.pattern);
    }
    if (present(f, COL_BMAP) && row.bitmap == 'Y') {
        d->bitmap = 1;
    }
    if (wanted(f, COL_INIT, row.initial)) {
        d->initialValue = copyOf(f, row.initial);
    }
    if (wanted(f, COL_EDIT, row.edit)) {
        d->editStyle = copyOf(f, row.edit);
    }
    if (wanted(f, COL_CMNT, row.comment)) {
        d->comment = copyOf(f, row.comment);
    }
}

/* Date and time columns of the keys get their catalog type; the walk stops at the first that
 * cannot be resolved. */
void TDX_ResolveKeyDateTimes(RequestBlock* block, KWSET keys) {
    for (auto* key = static_cast<ColumnKey*>(kwshr_firstInKeyedSet(keys)); key != nullptr;
         key = static_cast<ColumnKey*>(kwshr_nextInKeyedSet(keys))) {
        ColumnDescriptor* d = key->descriptor;
        if (d != nullptr && d->hostType == HOST_DATETIME &&
            TDX_ResolveDateTimeType(block, d->tableName, d) == 0) {
            return;
        }
    }
}

/* Runs a KWCATCOL statement and fills the descriptors its rows belong to. */
void TDX_FetchColumnAttributes(RequestBlock* block, KWSET keys, char* text, bool resolve) {
    block->status = KW_STATUS_OK;
    DBPROCESS* dbproc = block->dbproc;
    CharUpperA(text);
    ColumnRow row{};
    bool failed = TDX_RunCatalogStatement(block, text) == FAIL || !TDX_BindColumnRow(dbproc, &row);
    Filler f{block, dbproc, false};
    bool dateTimeDue = false;
    while (!failed) {
        std::memset(&row, 0, sizeof row);
        if (!TDX_NextCatalogRow(dbproc, &failed)) {
            break;
        }
        kwshr_trimTrailing(row.table, ' ');
        kwshr_trimTrailing(row.owner, ' ');
        kwshr_trimTrailing(row.column, ' ');
        CharLowerA(row.table);
        CharLowerA(row.owner);
        CharUpperA(row.column);
        ColumnKey* key = TDX_MatchColumnKey(keys, row);
        if (key == nullptr || key->descriptor == nullptr) {
            continue;
        }
        TDX_FillDescriptor(f, key->descriptor, row, resolve);
        dateTimeDue = dateTimeDue || key->descriptor->hostType == HOST_DATETIME;
    }
    if (failed) {
        TDX_ReportFailure(block);
    } else if (f.noMemory) {
        TDX_ReportNoMemory(block);
    }
    TDX_FinishCatalogStatement(block, !failed);
    if (!failed && dateTimeDue && keys != nullptr) {
        const int32_t status = block->status;
        TDX_ResolveKeyDateTimes(block, keys);
        block->status = status;
    }
}

char* TDX_ColumnKeyOf(void* record) {
    return static_cast<char*>(record);
}

/* Frees the keys and the set. */
void TDX_DestroyColumnKeys(RequestBlock* block, KWSET keys) {
    if (keys == nullptr) {
        return;
    }
    for (void* key = kwshr_firstInKeyedSet(keys); key != nullptr; key = kwshr_nextInKeyedSet(keys)) {
        kwshr_free(block->memoryContext, key);
    }
    kwshr_destroyKeyedSet(keys);
}

/* Adds the key of one descriptor; false without memory. */
bool TDX_AddColumnKey(RequestBlock* block, KWSET keys, ColumnDescriptor* d, const char* table,
                      const char* owner, bool upper) {
    auto* key = static_cast<ColumnKey*>(kwshr_allocate(block->memoryContext, sizeof(ColumnKey), 0));
    if (key == nullptr) {
        return false;
    }
    std::memset(key, 0, sizeof *key);
    TDX_CopyText(key->columnName, sizeof key->columnName, d->name);
    if (upper) {
        CharUpperA(key->columnName);
    }
    TDX_CopyText(key->tableName, sizeof key->tableName, table);
    TDX_CopyText(key->ownerName, sizeof key->ownerName, owner);
    key->descriptor = d;
    if (kwshr_addToKeyedSet(keys, key) == 0) {
        kwshr_free(block->memoryContext, key);
        return false;
    }
    return true;
}

/* Refuses a table or owner name that the key records cannot hold. */
bool TDX_NamesFit(RequestBlock* block, const char* table, const char* owner) {
    if ((table != nullptr && std::strlen(table) >= sizeof ColumnKey::tableName) ||
        (owner != nullptr && std::strlen(owner) >= sizeof ColumnKey::ownerName)) {
        TDX_LoadFormattedMessage(block, IDS_NAME_TOO_LONG, "table or owner",
                                 int{sizeof ColumnKey::tableName} - 1);
        block->status = KW_STATUS_DRIVER_FAILURE;
        return false;
    }
    return true;
}

}  // namespace

void TDX_TableAttributesQuery(RequestBlock* block, CatalogStatement* statement, const TableEntry* entry,
                              const char* owner) {
    TDX_AppendStatement(block, statement, kTableSelect, {});
    TDX_AppendStatement(block, statement, " FROM %s.%s WHERE %s = '%q' AND %s = '%q'",
                        {owner, "KWCATTBL", "KWT_OWNR", entry->owner, "KWT_TNAM", entry->name});
}

void TDX_ColumnAttributesQuery(RequestBlock* block, CatalogStatement* statement, const char* table,
                               const char* tableOwner, const char* column, const char* owner) {
    TDX_AppendStatement(block, statement, kColumnSelect, {});
    TDX_AppendStatement(block, statement, "%s.KWCATCOL WHERE KWC_TNAM = '%q' AND KWC_OWNR = '%q' ",
                        {owner, table, tableOwner});
    if (column != nullptr) {
        TDX_AppendStatement(block, statement, " AND KWC_CNAM = '%q'", {column});
    }
}

void TDX_ColumnAttributesForTablesQuery(RequestBlock* block, CatalogStatement* statement, HostList* tables,
                                        const char* owner) {
    TDX_AppendStatement(block, statement, kColumnSelect, {});
    TDX_AppendStatement(block, statement, "%s.KWCATCOL WHERE ", {owner});
    bool first = true;
    for (HostListNode* node = tables != nullptr ? tables->first : nullptr; node != nullptr;
         node = node->next) {
        auto* item = static_cast<TableItem*>(node->data);
        item->name[sizeof item->name - 1] = '\0';
        item->owner[sizeof item->owner - 1] = '\0';
        CharUpperA(item->name);
        CharUpperA(item->owner);
        TDX_AppendStatement(
            block, statement,
            first ? " (KWC_TNAM = '%q' AND KWC_OWNR= '%q')" : " OR  (KWC_TNAM = '%q' AND KWC_OWNR= '%q')",
            {item->name, item->owner});
        first = false;
        if (node == tables->last) {
            break;
        }
    }
}

/* Reads the entry's KWCATTBL row into its fonts and comment; a missing row changes nothing. */
void TDX_ReadTableAttributes(RequestBlock* block, TableEntry* entry) {
    char owner[TDX_OWNER_NAME_MAX + 1];
    if (TDX_ResolveCatalogOwner(block, OWNER_FROM_CURRENT_USER, owner) == 0) {
        return;
    }
    if (block->connection != nullptr && block->connection->systemOwner == nullptr) {
        TDX_AskSystemOwner(block);
    }
    CatalogStatement statement;
    if (TDX_BeginStatement(block, &statement) == 0) {
        return;
    }
    TDX_UpperInPlace(entry->owner);
    TDX_UpperInPlace(entry->name);
    TDX_TableAttributesQuery(block, &statement, entry, owner);
    TableRow row{};
    bool noMemory = statement.failed != 0;
    bool failed = noMemory || TDX_RunCatalogStatement(block, statement.text) == FAIL;
    if (!failed && dbrows(block->dbproc) == SUCCEED) {
        failed = !TDX_BindTableRow(block->dbproc, &row) || !TDX_FetchTableRows(block, entry, &row, &noMemory);
    }
    TDX_LowerInPlace(entry->owner);
    TDX_LowerInPlace(entry->name);
    TDX_EndStatement(block, &statement);
    if (noMemory) {
        TDX_ReportNoMemory(block);
    } else if (failed) {
        TDX_ReportFailure(block);
    }
    TDX_FinishCatalogStatement(block, !failed && !noMemory);
}

KWSET TDX_CreateColumnKeySet(RequestBlock* block) {
    return kwshr_createKeyedSet(KWSHR_KEYED_SET_KIND, TDX_ColumnKeyOf, 1, 0, block->memoryContext, 0);
}

/* Reads the attributes of one table's columns into the descriptors of the keys (or of the one
 * descriptor named); the keys are freed afterwards, as the driver made them. */
void TDX_ReadColumnAttributesOfTable(RequestBlock* block, char* table, KWSET keys,
                                     ColumnDescriptor* descriptor) {
    char owner[TDX_OWNER_NAME_MAX + 1];
    CatalogStatement statement;
    if (TDX_ResolveCatalogOwner(block, OWNER_FROM_CURRENT_USER, owner) == 0 ||
        TDX_BeginStatement(block, &statement) == 0) {
        TDX_DestroyColumnKeys(block, keys);
        return;
    }
    TDX_UpperInPlace(table);
    TDX_UpperInPlace(block->ownerName);
    if (descriptor != nullptr) {
        TDX_UpperInPlace(descriptor->name);
    }
    TDX_ColumnAttributesQuery(block, &statement, table, block->ownerName,
                              descriptor != nullptr ? descriptor->name : nullptr, owner);
    if (statement.failed != 0) {
        TDX_ReportNoMemory(block);
    } else {
        TDX_FetchColumnAttributes(block, keys, statement.text, false);
    }
    TDX_LowerInPlace(table);
    TDX_LowerInPlace(block->ownerName);
    TDX_EndStatement(block, &statement);
    TDX_DestroyColumnKeys(block, keys);
}

/* The attributes of the one column of request 64, matched by its name, table and owner. */
void TDX_ReadColumnAttributesOfColumn(RequestBlock* block, char* table, ColumnDescriptor* descriptor) {
    char owner[sizeof ColumnKey::ownerName] = {};
    if (!TDX_NamesFit(block, table, block->ownerName)) {
        return;
    }
    TDX_CopyText(owner, sizeof owner, block->ownerName);
    CharLowerA(owner);
    KWSET keys = TDX_CreateColumnKeySet(block);
    if (keys == nullptr || !TDX_AddColumnKey(block, keys, descriptor, table, owner, false)) {
        TDX_DestroyColumnKeys(block, keys);
        TDX_ReportNoMemory(block);
        return;
    }
    TDX_ReadColumnAttributesOfTable(block, table, keys, descriptor);
}

/* Request 107: the table's attributes, then those of every column in its list. */
void TDX_ReadAttributes(RequestBlock* block) {
    block->status = KW_STATUS_OK;
    auto* entry = static_cast<TableEntry*>(block->arg);
    if (entry == nullptr || (block->flags & FLAG_CATALOG_UNAVAILABLE) != 0) {
        return;
    }
    if (!TDX_NamesFit(block, entry->name, entry->owner)) {
        return;
    }
    char* const hostOwnerName = block->ownerName;
    block->ownerName = entry->owner;
    TDX_ReadTableAttributes(block, entry);
    KWSET keys = nullptr;
    bool noMemory = false;
    if (block->status == KW_STATUS_OK) {
        HostList* columns = entry->columns;
        for (HostListNode* node = columns != nullptr ? columns->first : nullptr; node != nullptr && !noMemory;
             node = node->next) {
            auto* d = static_cast<ColumnDescriptor*>(node->data);
            if (keys == nullptr && (keys = TDX_CreateColumnKeySet(block)) == nullptr) {
                noMemory = true;
                break;
            }
            noMemory = !TDX_AddColumnKey(block, keys, d, entry->name, entry->owner, true);
            if (noMemory) {
                break;
            }
            if (node == columns->last) {
                break;
            }
        }
        if (noMemory) {
            TDX_DestroyColumnKeys(block, keys);
            TDX_ReportNoMemory(block);
        } else {
            TDX_ReadColumnAttributesOfTable(block, entry->name, keys, nullptr);
        }
    }
    block->ownerName = hostOwnerName;
}

/* Request 110: the column attributes of every listed table, matched to the host's keys; display
 * formats named in the catalog are resolved through the host's format set. */
void TDX_ReadColumnAttributesForTables(RequestBlock* block) {
    block->status = KW_STATUS_OK;
    char owner[TDX_OWNER_NAME_MAX + 1];
    CatalogStatement statement;
    if (TDX_ResolveCatalogOwner(block, OWNER_FROM_CURRENT_USER, owner) == 0 ||
        TDX_BeginStatement(block, &statement) == 0) {
        return;
    }
    auto keys = reinterpret_cast<KWSET>(block->sqlText);
    TDX_ColumnAttributesForTablesQuery(block, &statement, static_cast<HostList*>(block->arg), owner);
    if (statement.failed != 0) {
        TDX_ReportNoMemory(block);
    } else {
        TDX_FetchColumnAttributes(block, keys, statement.text, true);
    }
    TDX_EndStatement(block, &statement);
    if (block->status == KW_STATUS_OK && keys != nullptr) {
        TDX_DestroyColumnKeys(block, keys);
        block->sqlText = nullptr;
    }
}

/* ---- Writing: requests 45 and 60 ---- */

namespace {

/* Runs an existence probe: true when it ran and found a row. A failure is not reported. */
bool TDX_RowExists(RequestBlock* block, const CatalogStatement* statement) {
    if (statement->failed != 0) {
        return false;
    }
    const bool found =
        TDX_RunCatalogStatement(block, statement->text) != FAIL && dbrows(block->dbproc) == SUCCEED;
    dbcancel(block->dbproc);
    TDX_DiscardServerMessages(block);
    return found;
}

bool TDX_TableAttributesExist(RequestBlock* block, TableEntry* table, const char* owner) {
    CatalogStatement statement;
    if (TDX_BeginStatement(block, &statement) == 0) {
        block->status = KW_STATUS_OK;
        block->message[0] = '\0';
        return false;
    }
    TDX_UpperInPlace(table->name);
    TDX_UpperInPlace(table->owner);
    TDX_AppendStatement(block, &statement,
                        "SELECT KWT_TNAM FROM %sKWCATTBL WHERE KWT_TNAM = '%q' AND KWT_OWNR = '%q' ",
                        {qualifier(owner).c_str(), table->name, table->owner});
    TDX_LowerInPlace(table->name);
    TDX_LowerInPlace(table->owner);
    const bool found = TDX_RowExists(block, &statement);
    TDX_EndStatement(block, &statement);
    return found;
}

bool TDX_ColumnAttributesExist(RequestBlock* block, TableEntry* table, ColumnDescriptor* column,
                               const char* owner) {
    CatalogStatement statement;
    if (TDX_BeginStatement(block, &statement) == 0) {
        block->status = KW_STATUS_OK;
        block->message[0] = '\0';
        return false;
    }
    TDX_UpperInPlace(table->name);
    TDX_UpperInPlace(table->owner);
    TDX_UpperInPlace(column->name);
    TDX_AppendStatement(block, &statement,
                        "SELECT KWC_TNAM FROM %sKWCATCOL WHERE KWC_TNAM = '%q' AND  KWC_OWNR = '%q' AND  "
                        "KWC_CNAM = '%q' ",
                        {qualifier(owner).c_str(), table->name, table->owner, column->name});
    TDX_LowerInPlace(table->name);
    TDX_LowerInPlace(table->owner);
    TDX_LowerInPlace(column->name);
    const bool found = TDX_RowExists(block, &statement);
    TDX_EndStatement(block, &statement);
    return found;
}

/* A name inside a literal: upper case, its quotes doubled. */
void TDX_WriteName(StatementWriter* w, const char* format, char* name) {
    TDX_UpperInPlace(name);
    std::string doubled;
    for (const char* p = name != nullptr ? name : ""; *p != '\0'; ++p) {
        doubled += *p;
        if (*p == '\'') {
            doubled += '\'';
        }
    }
    TDX_LowerInPlace(name);
    TDX_WriteFormat(w, format, doubled.c_str());
}

void line(StatementWriter* w) {
    TDX_WriteLineEnd(w, 0);
}

void lastLine(StatementWriter* w) {
    TDX_WriteLineEnd(w, 1);
    TDX_WriteStatementEnd(w);
}

/* A free text between quotes: the opening piece, the text, the closing piece, one line. */
void textLine(StatementWriter* w, const char* open, const char* text, const char* close) {
    TDX_Write(w, open);
    TDX_WriteText(w, text);
    TDX_Write(w, close);
    line(w);
}

const char* const kFontPrefixes[FONT_COUNT] = {"KWD", "KWH", "KWL"};

}  // namespace

void TDX_UpdateTableAttributes(StatementWriter* w, TableEntry* table, const char* owner) {
    TDX_RewindWriter(w);
    TDX_WriteFormat(w, "UPDATE  %sKWCATTBL SET ", qualifier(owner).c_str());
    line(w);
    const FontAttributes* fonts[FONT_COUNT] = {&table->dataFont, &table->headingFont, &table->labelFont};
    for (int f = 0; f < FONT_COUNT; ++f) {
        const char* p = kFontPrefixes[f];
        const FontAttributes* font = fonts[f];
        TDX_WriteFormat(w, "%s_FHGT = %d, ", p, font->height);
        line(w);
        TDX_WriteFormat(w, "%s_FWGT = %d ,", p, font->weight);
        line(w);
        TDX_WriteFormat(w, "%s_FITL = '%s', ", p, yesNo(font->italic));
        line(w);
        TDX_WriteFormat(w, "%s_FUNL = '%s', ", p, yesNo(font->underline));
        line(w);
        TDX_WriteFormat(w, f == 2 ? " %s_FCHR = %u, " : "%s_FCHR = %u, ", p, unsigned{font->charSet});
        line(w);
        TDX_WriteFormat(w, "%s_FPTC = %u, ", p, unsigned{font->pitchAndFamily});
        line(w);
        textLine(w, (std::string(p) + "_FFCE = '").c_str(), font->faceName, "', ");
    }
    TDX_Write(w, "KWT_CMNT = '");
    TDX_WriteText(w, table->comment);
    TDX_Write(w, "'  ");
    line(w);
    TDX_WriteName(w, " WHERE KWT_TNAM = '%s'", table->name);
    TDX_WriteName(w, "  AND KWT_OWNR = '%s' ", table->owner);
    lastLine(w);
}

void TDX_InsertTableAttributes(StatementWriter* w, TableEntry* table, const char* owner) {
    TDX_RewindWriter(w);
    TDX_WriteFormat(w, "INSERT INTO %sKWCATTBL", qualifier(owner).c_str());
    line(w);
    TDX_Write(w, "(KWT_TNAM, ");
    line(w);
    TDX_Write(w, "KWT_OWNR, ");
    line(w);
    for (int f = 0; f < FONT_COUNT; ++f) {
        const char* p = kFontPrefixes[f];
        const char* formats[FONT_COLUMNS] = {"%s_FHGT,    ",
                                             "%s_FWGT,    ",
                                             "%s_FITL,    ",
                                             "%s_FUNL, ",
                                             "%s_FCHR,   ",
                                             "%s_FPTC, ",
                                             f == 2 ? "%s_FFCE, " : "%s_FFCE,  "};
        for (const char* format : formats) {
            TDX_WriteFormat(w, format, p);
            line(w);
        }
    }
    TDX_Write(w, "KWT_CMNT)   ");
    line(w);
    TDX_Write(w, "VALUES ");
    line(w);
    TDX_WriteName(w, "('%s', ", table->name);
    line(w);
    TDX_WriteName(w, " '%s', ", table->owner);
    line(w);
    const FontAttributes* fonts[FONT_COUNT] = {&table->dataFont, &table->headingFont, &table->labelFont};
    for (int f = 0; f < FONT_COUNT; ++f) {
        const FontAttributes* font = fonts[f];
        TDX_WriteFormat(w, " %d, ", font->height);
        line(w);
        TDX_WriteFormat(w, f == 2 ? " %d ," : " %d, ", font->weight);
        line(w);
        TDX_WriteFormat(w, " '%s', ", yesNo(font->italic));
        line(w);
        TDX_WriteFormat(w, " '%s', ", yesNo(font->underline));
        line(w);
        TDX_WriteFormat(w, " %u, ", unsigned{font->charSet});
        line(w);
        TDX_WriteFormat(w, " %u, ", unsigned{font->pitchAndFamily});
        line(w);
        textLine(w, " '", font->faceName, "', ");
    }
    TDX_Write(w, "'");
    TDX_WriteText(w, table->comment);
    TDX_Write(w, "') ");
    lastLine(w);
}

void TDX_UpdateColumnAttributes(StatementWriter* w, TableEntry* table, ColumnDescriptor* column,
                                const char* owner) {
    TDX_RewindWriter(w);
    TDX_WriteFormat(w, "UPDATE %sKWCATCOL SET ", qualifier(owner).c_str());
    line(w);
    textLine(w, "KWC_LABL = '", column->label, "', ");
    TDX_WriteFormat(w, "KWC_LPOS = %d ,", smallint(column->labelPosition));
    line(w);
    textLine(w, "KWC_HDR = '", column->heading, "', ");
    TDX_WriteFormat(w, "KWC_HPOS = %d ,", smallint(column->headingPosition));
    line(w);
    TDX_WriteFormat(w, "KWC_JTFY = %d ,", smallint(column->justification));
    line(w);
    textLine(w, "KWC_MASK = '", column->displayFormat, "', ");
    TDX_WriteFormat(w, "KWC_CASE = %d ,", smallint(column->caseConversion));
    line(w);
    TDX_WriteFormat(w, "KWC_HGHT = %d ,", smallint(column->displayHeight));
    line(w);
    TDX_WriteFormat(w, "KWC_WDTH = %d ,", smallint(column->displayWidth));
    line(w);
    textLine(w, "KWC_PTRN = '", column->validationRule, "', ");
    TDX_WriteFormat(w, "KWC_BMAP = '%s', ", yesNo(column->bitmap));
    line(w);
    textLine(w, "KWC_INIT = '", column->initialValue, "', ");
    textLine(w, "KWC_CMNT = '", column->comment, "', ");
    textLine(w, "KWC_EDIT = '", column->editStyle, "' ");
    TDX_WriteName(w, "WHERE KWC_OWNR = '%s'", table->owner);
    TDX_WriteName(w, " AND KWC_TNAM = '%s'", table->name);
    TDX_WriteName(w, " AND KWC_CNAM = '%s'", column->name);
    lastLine(w);
}

void TDX_InsertColumnAttributes(StatementWriter* w, TableEntry* table, ColumnDescriptor* column,
                                const char* owner) {
    TDX_RewindWriter(w);
    TDX_WriteFormat(w, "INSERT INTO %sKWCATCOL", qualifier(owner).c_str());
    line(w);
    for (const char* name :
         {" (KWC_TNAM,    ", "KWC_OWNR,  ", "KWC_CNAM,  ", "KWC_LABL,        ", "KWC_LPOS,  ",
          "KWC_HDR,      ", "KWC_HPOS, ", "KWC_JTFY,      ", "KWC_MASK,         ", "KWC_CASE,         ",
          "KWC_HGHT,       ", "KWC_WDTH,        ", "KWC_PTRN,      ", "KWC_BMAP,       ",
          "KWC_INIT,         ", "KWC_CMNT, ", "KWC_EDIT, ", "KWC_TAG) "}) {
        TDX_Write(w, name);
        line(w);
    }
    TDX_Write(w, " VALUES            ");
    line(w);
    TDX_WriteName(w, " ('%s', ", table->name);
    line(w);
    TDX_WriteName(w, "'%s', ", table->owner);
    line(w);
    TDX_WriteName(w, "'%s', ", column->name);
    line(w);
    textLine(w, " '", column->label, "', ");
    TDX_WriteFormat(w, "%d ,", smallint(column->labelPosition));
    line(w);
    textLine(w, " '", column->heading, "', ");
    TDX_WriteFormat(w, "%d, ", smallint(column->headingPosition));
    line(w);
    TDX_WriteFormat(w, "%d ,", smallint(column->justification));
    line(w);
    textLine(w, " '", column->displayFormat, "', ");
    for (int32_t value : {column->caseConversion, column->displayHeight, column->displayWidth}) {
        TDX_WriteFormat(w, "%d ,", smallint(value));
        line(w);
    }
    textLine(w, " '", column->validationRule, "', ");
    TDX_WriteFormat(w, "'%s', ", yesNo(column->bitmap));
    line(w);
    textLine(w, " '", column->initialValue, "', ");
    textLine(w, " '", column->comment, "', ");
    textLine(w, " '", column->editStyle, "', ");
    TDX_Write(w, "'') ");
    lastLine(w);
}

/* Opens the statement text of requests 45 and 60 with room for `lines` lines, lends them a
 * connection when the block has none, and resolves the catalog owner. On failure nothing is left
 * open and the block holds the report. */
static bool openAttributeWriter(RequestBlock* block, StatementWriter* w, int32_t lines, bool* lent,
                                char* owner) {
    if (TDX_OpenWriter(block, w, lines) == 0) {
        return false;
    }
    if (!TDX_LendForCatalog(block, lent, owner)) {
        kwshr_releaseStatementText(block, w->builder);
        return false;
    }
    return true;
}

/* Request 45: an UPDATE for what the catalog has (asked of the server unless not connected or told
 * not to), an INSERT for the rest; the table's statement, then one per column. */
void TDX_WriteAttributes(RequestBlock* block) {
    enum { NO_PROBE = 42 };
    StatementWriter w;
    bool lent = false;
    char owner[TDX_OWNER_NAME_MAX + 1];
    if (!openAttributeWriter(block, &w, 90, &lent, owner)) {
        return;
    }
    auto* list = static_cast<HostList*>(block->arg);
    auto* table =
        list != nullptr && list->first != nullptr ? static_cast<TableEntry*>(list->first->data) : nullptr;
    const bool probe = block->dbproc != nullptr && block->inValue3 != NO_PROBE;
    if (table != nullptr) {
        if (probe && TDX_TableAttributesExist(block, table, owner)) {
            TDX_UpdateTableAttributes(&w, table, owner);
        } else {
            TDX_InsertTableAttributes(&w, table, owner);
        }
        HostList* columns = table->columns;
        for (HostListNode* node = columns != nullptr ? columns->first : nullptr;
             node != nullptr && block->status == KW_STATUS_OK; node = node->next) {
            auto* column = static_cast<ColumnDescriptor*>(node->data);
            if (probe && TDX_ColumnAttributesExist(block, table, column, owner)) {
                TDX_UpdateColumnAttributes(&w, table, column, owner);
            } else {
                TDX_InsertColumnAttributes(&w, table, column, owner);
            }
            if (node == columns->last) {
                break;
            }
        }
    }
    TDX_ReturnConnection(block, lent);
    TDX_CloseWriter(&w);
}

/* Request 60: the two DELETE statements of a dropped table's attribute rows. */
void TDX_DeleteAttributes(RequestBlock* block) {
    StatementWriter w;
    bool lent = false;
    char owner[TDX_OWNER_NAME_MAX + 1];
    if (!openAttributeWriter(block, &w, 30, &lent, owner)) {
        return;
    }
    auto* list = static_cast<HostList*>(block->arg);
    auto* table =
        list != nullptr && list->first != nullptr ? static_cast<TableEntry*>(list->first->data) : nullptr;
    if (table != nullptr) {
        const std::string o = qualifier(owner);
        const struct {
            const char* table;
            const char* nameColumn;
            const char* ownerColumn;
        } statements[] = {{"KWCATTBL", "KWT_TNAM", "KWT_OWNR"}, {"KWCATCOL", "KWC_TNAM", "KWC_OWNR"}};
        for (const auto& s : statements) {
            TDX_RewindWriter(&w);
            TDX_WriteFormat(&w, "DELETE FROM %s%s", o.c_str(), s.table);
            line(&w);
            TDX_WriteName(&w, (std::string(" WHERE ") + s.nameColumn + " = '%s' ").c_str(), table->name);
            line(&w);
            TDX_WriteName(&w, (std::string(" AND ") + s.ownerColumn + " = '%s' ").c_str(), table->owner);
            lastLine(&w);
        }
    }
    TDX_CloseWriter(&w);
    TDX_ReturnConnection(block, lent);
}
