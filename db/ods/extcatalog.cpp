/*
 * extcatalog.cpp - the extended attribute catalog's five tables and its three dictionaries.
 *
 * Serves the check that a connect through request 67 runs (probe each table, create a missing one
 * with its unique index and a grant to PUBLIC, seed the formats and edit styles), requests 89, 90
 * and 215 (a dictionary read whole into a keyed set), 217 (the statements that store one edit
 * style), 218 (an edit style removed at once) and 153 (the statements that purge the attribute
 * rows of dropped tables and columns). Owns the table layouts and the seed rows, which are
 * constant data. Every name or text that stands inside a literal has its quotes doubled.
 */
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "internal.h"

namespace {

bool filled(const char* text) {
    return text != nullptr && text[0] != '\0';
}

/* How the check learns more than "present" from a table's probe. */
enum ProbeKind { PROBE_EMPTY_SELECT, PROBE_COUNT, PROBE_ROWS };

struct CatalogLayout {
    const char* name;
    const char* probe; /* owner and table fill the two %s */
    ProbeKind kind;
    const char* body;    /* follows "CREATE TABLE owner." */
    const char* index;   /* table, owner, table, then the key columns fill the %s */
    const char* keys[3]; /* null-terminated when shorter */
};

const CatalogLayout kLayouts[CAT_TABLE_COUNT] = {
    {"KWCATTBL",
     "SELECT * FROM %s.%s WHERE 1 = 2",
     PROBE_EMPTY_SELECT,
     "KWCATTBL (KWT_TNAM CHAR(30),KWT_TID INTEGER,KWT_OWNR CHAR(30),KWD_FHGT SMALLINT,KWD_FWGT SMALLINT,"
     "KWD_FITL CHAR(1),KWD_FUNL CHAR(1),KWD_FCHR SMALLINT,KWD_FPTC SMALLINT,KWD_FFCE CHAR(18),"
     "KWH_FHGT SMALLINT,KWH_FWGT SMALLINT,KWH_FITL CHAR(1),KWH_FUNL CHAR(1),KWH_FCHR SMALLINT,"
     "KWH_FPTC SMALLINT,KWH_FFCE CHAR(18),KWL_FHGT SMALLINT,KWL_FWGT SMALLINT,KWL_FITL CHAR(1),"
     "KWL_FUNL CHAR(1),KWL_FCHR SMALLINT,KWL_FPTC SMALLINT,KWL_FFCE CHAR(18),KWT_CMNT CHAR(254))",
     "CREATE UNIQUE INDEX %s_IDX   ON %s.%s(%s, %s) ",
     {"KWT_TNAM", "KWT_OWNR", nullptr}},
    {"KWCATCOL",
     "SELECT * FROM %s.%s WHERE 1 = 2",
     PROBE_EMPTY_SELECT,
     "KWCATCOL ( KWC_TNAM CHAR(30),KWC_TID INTEGER,KWC_OWNR CHAR(30),KWC_CNAM CHAR(30),KWC_CID SMALLINT,"
     "KWC_LABL CHAR(254),KWC_LPOS SMALLINT,KWC_HDR CHAR(254),KWC_HPOS SMALLINT,KWC_JTFY SMALLINT,"
     "KWC_MASK CHAR(31),KWC_CASE SMALLINT,KWC_HGHT SMALLINT,KWC_WDTH SMALLINT,KWC_PTRN CHAR(31),"
     "KWC_BMAP CHAR(1),KWC_INIT CHAR(254),KWC_CMNT CHAR(254),KWC_EDIT CHAR(31),KWC_TAG CHAR(254))",
     "CREATE UNIQUE INDEX %s_IDX  ON %s.%s(%s, %s, %s)",
     {"KWC_TNAM", "KWC_OWNR", "KWC_CNAM"}},
    {"KWCATFMT",
     "SELECT COUNT(*) FROM %s.%s ",
     PROBE_COUNT,
     "KWCATFMT (KWF_NAME CHAR(30) NOT NULL,KWF_FRMT CHAR(254) NOT NULL,KWF_TYPE SMALLINT NOT NULL,"
     "KWF_CNTR int ) ",
     "CREATE UNIQUE INDEX %s_IDX  ON %s.%s(%s) ",
     {"KWF_NAME", nullptr, nullptr}},
    {"KWCATVLD",
     "SELECT * FROM %s.%s WHERE 1 = 2",
     PROBE_EMPTY_SELECT,
     "KWCATVLD (KWV_NAME CHAR(30) NOT NULL,KWV_VALD CHAR(254) NOT NULL,KWV_TYPE SMALLINT,KWV_CNTR INTEGER,"
     "KWV_MSG CHAR(254)) ",
     "CREATE UNIQUE INDEX %s_IDX  ON %s.%s(%s) CLUSTER ",
     {"KWV_NAME", nullptr, nullptr}},
    {"KWCATEDT",
     "SELECT * FROM %s.%s",
     PROBE_ROWS,
     "KWCATEDT (KWE_NAME CHAR(30) NOT NULL,KWE_EDIT VARCHAR(254),KWE_TYPE SMALLINT,KWE_CNTR INTEGER,"
     "KWE_SEQN SMALLINT,KWE_FLAG INTEGER,KWE_WORK CHAR(32)  ) ",
     "CREATE UNIQUE INDEX %s_IDX  ON %s.%s(%s, %s) ",
     {"KWE_NAME", "KWE_SEQN", nullptr}},
};

/* Host data-type codes of the seeded formats. */
enum { FORMAT_NUMBER = 81, FORMAT_DATE_TIME = 84, EDIT_STYLE_MASK = 90, EDIT_STYLE_FLAG = 32 };

struct FormatSeed {
    const char* name; /* also the format text */
    unsigned type;
};

const FormatSeed kFormatSeeds[] = {
    {"[General]", FORMAT_NUMBER},
    {"0", FORMAT_NUMBER},
    {"0.00", FORMAT_NUMBER},
    {"#,##0", FORMAT_NUMBER},
    {"#,##0.00", FORMAT_NUMBER},
    {"$#,##0;($#,##0)", FORMAT_NUMBER},
    {"$#,##0;[RED]($#,##0)", FORMAT_NUMBER},
    {"$#,##0.00;($#,##0.00)", FORMAT_NUMBER},
    {"$#,##0.00;[RED]($#,##0.00)", FORMAT_NUMBER},
    {"0%", FORMAT_NUMBER},
    {"0.00%", FORMAT_NUMBER},
    {"0.00E+00", FORMAT_NUMBER},
    {"m/d/yy", FORMAT_DATE_TIME},
    {"d-mmm-yy", FORMAT_DATE_TIME},
    {"d-mmm", FORMAT_DATE_TIME},
    {"mmm-yy", FORMAT_DATE_TIME},
    {"h:mm AM/PM", FORMAT_DATE_TIME},
    {"h:mm:ss AM/PM", FORMAT_DATE_TIME},
    {"h:mm:ss", FORMAT_DATE_TIME},
    {"m/d/yy h:mm", FORMAT_DATE_TIME},
};
static_assert(sizeof kFormatSeeds / sizeof kFormatSeeds[0] == TDX_FORMAT_SEED_COUNT);

struct EditStyleSeed {
    const char* name; /* also the edit text */
    const char* work;
};

const EditStyleSeed kEditStyleSeeds[] = {
    {"###,###.00", "10"},
    {"#####", "10"},
    {"###-##-####", "00"},
    {"MM/DD/YY", "20"},
    {"DD/MM/YY", "20"},
    {"MM/DD/YYYY", "20"},
    {"DD/MM/YYYY", "20"},
    {"DD/MMM/YY", "20"},
    {"DDD/YY", "20"},
    {"DDD/YYYY", "20"},
    {"HH:MM:SS", "30"},
    {"HH:MM:SS:FFF", "30"},
    {"HH:MM:SS:FFFFFF", "30"},
    {"MM/DD/YY HH:MM:SS", "40"},
    {"DD/MM/YY HH:MM:SS", "40"},
    {"MM/DD/YYYY HH:MM:SS", "40"},
    {"DD/MM/YYYY HH:MM:SS", "40"},
    {"DD/MMM/YY HH:MM:SS", "40"},
    {"DDD/YY HH:MM:SS", "40"},
    {"DDD/YYYY HH:MM:SS", "40"},
    {"DD/MM/YY HH:MM:SS:FFFFFF", "40"},
};
static_assert(sizeof kEditStyleSeeds / sizeof kEditStyleSeeds[0] == TDX_EDIT_STYLE_SEED_COUNT);

void clear(CatalogStatement* statement) {
    statement->length = 0;
    statement->text[0] = '\0';
}

/* Sends one statement and reads its first result; the messages of a failure stay queued. */
RETCODE TDX_SendCatalogDdl(RequestBlock* block, const CatalogStatement* statement) {
    DBPROCESS* dbproc = block->dbproc;
    if (statement->failed != 0 || dbcmd(dbproc, statement->text) == FAIL || dbsqlexec(dbproc) == FAIL) {
        dbfreebuf(dbproc);
        return FAIL;
    }
    return dbresults(dbproc) == FAIL ? FAIL : SUCCEED;
}

/* The database name the check creates tables in: the block's, upper case, refused when longer
 * than the working buffer holds. */
bool TDX_CatalogDatabase(RequestBlock* block, char* out) {
    out[0] = '\0';
    if (!filled(block->databaseName)) {
        return true;
    }
    if (std::strlen(block->databaseName) > TDX_DATABASE_NAME_MAX) {
        TDX_LoadFormattedMessage(block, IDS_NAME_TOO_LONG, "database", TDX_DATABASE_NAME_MAX);
        block->status = KW_STATUS_DRIVER_FAILURE;
        return false;
    }
    std::strcpy(out, block->databaseName);
    CharUpperA(out);
    return true;
}

/* The count of the formats probe: -1 when a fetch failed. */
int32_t TDX_FetchFormatCount(DBPROCESS* dbproc) {
    int16_t count = 0;
    if (TDX_Bind(dbproc, 1, KW_BIND_SMALLINT, 0, &count) == FAIL) {
        return -1;
    }
    bool failed = false;
    const bool row = TDX_NextCatalogRow(dbproc, &failed);
    const int32_t answer = row ? count : 0;
    while (!failed && TDX_NextCatalogRow(dbproc, &failed)) {
    }
    return failed ? -1 : answer;
}

/* What the check does after one probe. */
enum ProbeOutcome { PROBE_NEXT, PROBE_DONE, PROBE_FAILED, PROBE_UNAVAILABLE };

/* A table that answered its probe: seeds what is empty when allowed. */
ProbeOutcome TDX_TablePresent(RequestBlock* block, int32_t table, const char* owner) {
    DBPROCESS* dbproc = block->dbproc;
    const bool mayCreate = (block->flags & FLAG_NO_CATALOG_CREATE) == 0;
    if (dbresults(dbproc) == FAIL) {
        return PROBE_FAILED;
    }
    switch (kLayouts[table].kind) {
        case PROBE_COUNT: {
            const int32_t count = TDX_FetchFormatCount(dbproc);
            if (count < 0) {
                return PROBE_FAILED;
            }
            dbcancel(dbproc);
            if (count == 0 && mayCreate) {
                TDX_SeedFormats(block, owner);
            }
            return PROBE_NEXT;
        }
        case PROBE_ROWS: {
            const bool rows = dbrows(dbproc) == SUCCEED;
            dbcancel(dbproc);
            if (!rows && mayCreate) {
                TDX_SeedEditStyles(block, owner);
            }
            return PROBE_DONE;
        }
        case PROBE_EMPTY_SELECT:
            break;
    }
    dbcancel(dbproc);
    return PROBE_NEXT;
}

/* A table whose probe failed: created when the server says it does not exist. */
ProbeOutcome TDX_TableMissing(RequestBlock* block, int32_t table, const char* database, const char* owner) {
    DBPROCESS* dbproc = block->dbproc;
    MessageRecord* record = TDX_CollectServerMessage(block);
    if ((block->flags & FLAG_NO_CATALOG_CREATE) != 0) {
        dbcancel(dbproc);
        kwdbt_freeMessage(record);
        return PROBE_UNAVAILABLE;
    }
    enum { UNDEFINED_NAME = -204 };
    if (record == nullptr || record->number != UNDEFINED_NAME) {
        dbcancel(dbproc);
        TDX_ReportRecord(block, record);
        return PROBE_FAILED;
    }
    dbcancel(dbproc);
    kwdbt_freeMessage(record);
    char tableSpace[TDX_PROFILE_VALUE_SIZE] = {};
    TDX_GetProfileSetting(block, "TableSpace", tableSpace);
    if (TDX_CreateCatalogTable(block, table, database, tableSpace, owner) == FAIL) {
        return PROBE_FAILED;
    }
    if (table == CAT_FORMATS) {
        TDX_SeedFormats(block, owner);
    } else if (table == CAT_EDIT_STYLES) {
        TDX_SeedEditStyles(block, owner);
        return PROBE_DONE;
    }
    return PROBE_NEXT;
}

/* Seeds rows one statement each; stops at the first failure, whose messages are dropped: seeding
 * is best effort and never reported. */
template <typename WriteRow>
RETCODE TDX_SeedRows(RequestBlock* block, int32_t count, WriteRow writeRow) {
    CatalogStatement statement;
    if (TDX_BeginStatement(block, &statement) == 0) {
        block->status = KW_STATUS_OK;
        block->message[0] = '\0';
        return FAIL;
    }
    RETCODE rc = SUCCEED;
    for (int32_t row = 0; row < count && rc != FAIL; ++row) {
        clear(&statement);
        writeRow(&statement, row);
        rc = TDX_SendCatalogDdl(block, &statement);
    }
    TDX_EndStatement(block, &statement);
    dbcancel(block->dbproc);
    TDX_DiscardServerMessages(block);
    return rc;
}

void TDX_EndCheck(RequestBlock* block, CatalogStatement* statement, bool failed) {
    TDX_EndStatement(block, statement);
    if (failed) {
        if (block->status == KW_STATUS_OK) {
            TDX_ReportFailure(block);
        }
        TDX_Rollback(block);
    } else {
        TDX_DiscardServerMessages(block);
        TDX_Commit(block);
    }
    dbcancel(block->dbproc);
}

}  // namespace

/* ---- Owner and texts ---- */

int32_t TDX_ResolveCatalogOwner(RequestBlock* block, int32_t fallback, char* out) {
    out[0] = '\0';
    ConnectionRecord* record = block->connection;
    if (record != nullptr && record->catalogOwner == nullptr) {
        TDX_AskCatalogOwner(block);
    }
    const char* owner = record != nullptr ? record->catalogOwner : nullptr;
    if (!filled(owner)) {
        owner = fallback == OWNER_FROM_LOGIN ? block->loginId : block->currentUser;
    }
    if (owner == nullptr) {
        return 1;
    }
    if (std::strlen(owner) > TDX_OWNER_NAME_MAX) {
        TDX_LoadFormattedMessage(block, IDS_NAME_TOO_LONG, "catalog owner", TDX_OWNER_NAME_MAX);
        block->status = KW_STATUS_DRIVER_FAILURE;
        return 0;
    }
    std::strcpy(out, owner);
    return 1;
}

const char* TDX_CatalogTableName(int32_t table) {
    return table >= 0 && table < CAT_TABLE_COUNT ? kLayouts[table].name : "";
}

void TDX_CatalogProbeText(RequestBlock* block, CatalogStatement* statement, int32_t table,
                          const char* owner) {
    TDX_AppendStatement(block, statement, kLayouts[table].probe, {owner, kLayouts[table].name});
}

void TDX_CatalogCreateText(RequestBlock* block, CatalogStatement* statement, int32_t table,
                           const char* database, const char* tableSpace, const char* owner) {
    TDX_AppendStatement(block, statement, "CREATE TABLE %s.%s", {owner, kLayouts[table].body});
    if (filled(database) && filled(tableSpace)) {
        TDX_AppendStatement(block, statement, "IN %s.%s ", {database, tableSpace});
    } else if (filled(database)) {
        TDX_AppendStatement(block, statement, "IN DATABASE %s ", {database});
    }
}

void TDX_CatalogIndexText(RequestBlock* block, CatalogStatement* statement, int32_t table,
                          const char* owner) {
    const CatalogLayout& layout = kLayouts[table];
    TDX_AppendStatement(block, statement, layout.index,
                        {layout.name, owner, layout.name, layout.keys[0], layout.keys[1], layout.keys[2]});
}

void TDX_CatalogGrantText(RequestBlock* block, CatalogStatement* statement, int32_t table,
                          const char* owner) {
    TDX_AppendStatement(block, statement, "GRANT SELECT, UPDATE, INSERT, DELETE ON %s.%s  TO PUBLIC ",
                        {owner, kLayouts[table].name});
}

void TDX_SeedFormatText(RequestBlock* block, CatalogStatement* statement, int32_t row, const char* owner) {
    const FormatSeed& seed = kFormatSeeds[row];
    char type[16];
    std::snprintf(type, sizeof type, "%u", seed.type);
    TDX_AppendStatement(block, statement, "INSERT INTO %s.%s VALUES ('%q', '%q', %s, 0)",
                        {owner, "KWCATFMT", seed.name, seed.name, type});
}

void TDX_SeedEditStyleText(RequestBlock* block, CatalogStatement* statement, int32_t row, const char* owner) {
    const EditStyleSeed& seed = kEditStyleSeeds[row];
    char numbers[64];
    std::snprintf(numbers, sizeof numbers, "%u, 1, %u, %ld", static_cast<unsigned>(EDIT_STYLE_MASK), 1u,
                  static_cast<long>(EDIT_STYLE_FLAG));
    TDX_AppendStatement(block, statement, "INSERT INTO %s.%s values ('%q', '%q', %s, '%q')",
                        {owner, "KWCATEDT", seed.name, seed.name, numbers, seed.work});
}

/* ---- The connect-time check ---- */

RETCODE TDX_CreateCatalogTable(RequestBlock* block, int32_t table, const char* database,
                               const char* tableSpace, const char* owner) {
    CatalogStatement statement;
    if (TDX_BeginStatement(block, &statement) == 0) {
        return FAIL;
    }
    TDX_CatalogCreateText(block, &statement, table, database, tableSpace, owner);
    RETCODE rc = TDX_SendCatalogDdl(block, &statement);
    if (rc != FAIL) {
        clear(&statement);
        TDX_CatalogIndexText(block, &statement, table, owner);
        rc = TDX_SendCatalogDdl(block, &statement);
    }
    if (rc != FAIL) {
        clear(&statement);
        TDX_CatalogGrantText(block, &statement, table, owner);
        rc = TDX_SendCatalogDdl(block, &statement);
    }
    if (statement.failed != 0) {
        TDX_ReportNoMemory(block);
    }
    TDX_EndStatement(block, &statement);
    dbcancel(block->dbproc);
    return rc;
}

RETCODE TDX_SeedFormats(RequestBlock* block, const char* owner) {
    return TDX_SeedRows(block, TDX_FORMAT_SEED_COUNT, [&](CatalogStatement* statement, int32_t row) {
        TDX_SeedFormatText(block, statement, row, owner);
    });
}

RETCODE TDX_SeedEditStyles(RequestBlock* block, const char* owner) {
    return TDX_SeedRows(block, TDX_EDIT_STYLE_SEED_COUNT, [&](CatalogStatement* statement, int32_t row) {
        TDX_SeedEditStyleText(block, statement, row, owner);
    });
}

/* Probes the five tables in order, creating and seeding what is missing (unless the host forbids
 * it); ends with a commit of its own work, or reports the failure and rolls it back. */
void TDX_CheckCatalog(RequestBlock* block) {
    CatalogStatement statement;
    if (TDX_BeginStatement(block, &statement) == 0) {
        return;
    }
    char owner[TDX_OWNER_NAME_MAX + 1];
    char database[TDX_DATABASE_NAME_MAX + 1];
    if (TDX_ResolveCatalogOwner(block, OWNER_FROM_LOGIN, owner) == 0 ||
        !TDX_CatalogDatabase(block, database)) {
        TDX_EndStatement(block, &statement);
        return;
    }
    DBPROCESS* dbproc = block->dbproc;
    ProbeOutcome outcome = PROBE_NEXT;
    for (int32_t table = 0; table < CAT_TABLE_COUNT && outcome == PROBE_NEXT; ++table) {
        clear(&statement);
        TDX_CatalogProbeText(block, &statement, table, owner);
        if (statement.failed != 0) {
            TDX_ReportNoMemory(block);
            outcome = PROBE_FAILED;
            break;
        }
        TDX_DiscardServerMessages(block);
        if (dbcmd(dbproc, statement.text) == FAIL || dbsqlexec(dbproc) == FAIL) {
            dbfreebuf(dbproc);
            outcome = TDX_TableMissing(block, table, database, owner);
        } else {
            outcome = TDX_TablePresent(block, table, owner);
        }
    }
    if (outcome == PROBE_UNAVAILABLE) {
        block->flags |= FLAG_CATALOG_UNAVAILABLE;
        block->status = KW_STATUS_OK;
    }
    TDX_EndCheck(block, &statement, outcome == PROBE_FAILED);
}

/* ---- Dictionaries: requests 89, 90, 215 ---- */

namespace {

struct DictionaryLayout {
    int32_t kind;
    const char* select;
    const char* table;
};
const DictionaryLayout kDictionaries[] = {
    {DICT_FORMATS, "SELECT KWF_NAME, KWF_FRMT, KWF_TYPE, KWF_CNTR", "KWCATFMT"},
    {DICT_VALIDATIONS, "SELECT KWV_NAME, KWV_VALD, KWV_TYPE, KWV_CNTR, KWV_MSG", "KWCATVLD"},
    {DICT_EDIT_STYLES, "SELECT KWE_NAME, KWE_EDIT, KWE_TYPE, KWE_CNTR, KWE_WORK, KWE_SEQN, KWE_FLAG",
     "KWCATEDT"},
};

const DictionaryLayout* dictionaryOf(int32_t kind) {
    for (const DictionaryLayout& layout : kDictionaries) {
        if (layout.kind == kind) {
            return &layout;
        }
    }
    return nullptr;
}

char* TDX_DictionaryKey(void* record) {
    return static_cast<DictionaryEntry*>(record)->name;
}

/* Bound buffers of one dictionary row. */
enum { DICT_NAME_SIZE = 129, DICT_TEXT_SIZE = 255 };
struct DictionaryRow {
    char name[DICT_NAME_SIZE];
    char text[DICT_TEXT_SIZE];
    int16_t type;
    int32_t counter;
    char extra[DICT_TEXT_SIZE];
    int16_t sequence;
    int32_t flag;
};

bool TDX_BindDictionary(DBPROCESS* dbproc, int32_t kind, DictionaryRow* row) {
    bool ok = TDX_Bind(dbproc, 1, KW_BIND_TEXT, sizeof row->name, row->name) != FAIL &&
              TDX_Bind(dbproc, 2, KW_BIND_TEXT, sizeof row->text, row->text) != FAIL &&
              TDX_Bind(dbproc, 3, KW_BIND_SMALLINT, 0, &row->type) != FAIL &&
              TDX_Bind(dbproc, 4, KW_BIND_INT, 0, &row->counter) != FAIL;
    if (ok && kind != DICT_FORMATS) {
        ok = TDX_Bind(dbproc, 5, KW_BIND_TEXT, sizeof row->extra, row->extra) != FAIL;
    }
    if (ok && kind == DICT_EDIT_STYLES) {
        ok = TDX_Bind(dbproc, 6, KW_BIND_SMALLINT, 0, &row->sequence) != FAIL &&
             TDX_Bind(dbproc, 7, KW_BIND_INT, 0, &row->flag) != FAIL;
    }
    return ok;
}

void TDX_FreeDictionaryEntry(RequestBlock* block, DictionaryEntry* entry) {
    kwshr_free(block->memoryContext, entry->name);
    kwshr_free(block->memoryContext, entry->text);
    kwshr_free(block->memoryContext, entry->extra);
    kwshr_free(block->memoryContext, entry);
}

/* The record of one fetched row, or null without memory. */
DictionaryEntry* TDX_NewDictionaryEntry(RequestBlock* block, int32_t kind, const DictionaryRow& row) {
    auto* entry =
        static_cast<DictionaryEntry*>(kwshr_allocate(block->memoryContext, sizeof(DictionaryEntry), 0));
    if (entry == nullptr) {
        return nullptr;
    }
    std::memset(entry, 0, sizeof *entry);
    entry->name = kwshr_duplicateString(block->memoryContext, row.name, 0);
    entry->text = kwshr_duplicateString(block->memoryContext, row.text, 0);
    entry->type = static_cast<uint16_t>(row.type);
    entry->counter = row.counter;
    if (kind == DICT_EDIT_STYLES) {
        entry->flag = row.flag;
        entry->sequence = row.sequence;
    }
    const bool wantsExtra = kind != DICT_FORMATS && row.extra[0] != '\0';
    if (wantsExtra) {
        entry->extra = kwshr_duplicateString(block->memoryContext, row.extra, 0);
    }
    if (entry->name == nullptr || entry->text == nullptr || (wantsExtra && entry->extra == nullptr)) {
        TDX_FreeDictionaryEntry(block, entry);
        return nullptr;
    }
    return entry;
}

/* Fetches every result set into the set: 0 when done, 1 on a failure of the server, 2 without
 * memory. */
int32_t TDX_FetchDictionary(RequestBlock* block, int32_t kind, KWSET set) {
    DBPROCESS* dbproc = block->dbproc;
    for (;;) {
        const RETCODE rc = dbresults(dbproc);
        if (rc == NO_MORE_RESULTS) {
            return 0;
        }
        if (rc == FAIL) {
            return 1;
        }
        if (dbrows(dbproc) != SUCCEED) {
            return 0;
        }
        DictionaryRow row{};
        if (!TDX_BindDictionary(dbproc, kind, &row)) {
            return 1;
        }
        bool failed = false;
        for (;;) {
            row.text[0] = '\0';
            row.extra[0] = '\0';
            if (!TDX_NextCatalogRow(dbproc, &failed)) {
                break;
            }
            DictionaryEntry* entry = TDX_NewDictionaryEntry(block, kind, row);
            if (entry == nullptr) {
                return 2;
            }
            if (kwshr_addToKeyedSet(set, entry) == 0) {
                /* Names that differ only in case are one key of the host's set: the first stays. */
                const bool duplicate =
                    kind != DICT_EDIT_STYLES && kwshr_findInKeyedSet(set, entry->name) != nullptr;
                TDX_FreeDictionaryEntry(block, entry);
                if (!duplicate) {
                    return 2;
                }
            }
        }
        if (failed) {
            return 1;
        }
    }
}

}  // namespace

void TDX_DictionaryQuery(RequestBlock* block, CatalogStatement* statement, int32_t kind, const char* owner) {
    const DictionaryLayout* layout = dictionaryOf(kind);
    if (layout != nullptr) {
        TDX_AppendStatement(block, statement, "%s FROM %s.%s", {layout->select, owner, layout->table});
    }
}

/* Reads a whole dictionary into a keyed set by name (several records per name for edit styles).
 * A failure is reported; the set, partly filled, is the answer unless the statement never ran. */
void TDX_ReadDictionary(RequestBlock* block, int32_t kind) {
    block->result = 0;
    char owner[TDX_OWNER_NAME_MAX + 1];
    if (TDX_ResolveCatalogOwner(block, OWNER_FROM_CURRENT_USER, owner) == 0) {
        return;
    }
    CatalogStatement statement;
    if (TDX_BeginStatement(block, &statement) == 0) {
        return;
    }
    TDX_DictionaryQuery(block, &statement, kind, owner);
    DBPROCESS* dbproc = block->dbproc;
    TDX_DiscardServerMessages(block);
    if (statement.failed != 0 || dbcmd(dbproc, statement.text) == FAIL || dbsqlexec(dbproc) == FAIL) {
        dbfreebuf(dbproc);
        if (statement.failed != 0) {
            TDX_ReportNoMemory(block);
        } else {
            TDX_ReportFailure(block);
        }
        TDX_EndStatement(block, &statement);
        dbcancel(dbproc);
        return;
    }
    TDX_EndStatement(block, &statement);
    KWSET set = kwshr_createKeyedSet(KWSHR_KEYED_SET_KIND, TDX_DictionaryKey,
                                     kind == DICT_EDIT_STYLES ? 0 : 1, 0, block->memoryContext, 0);
    const int32_t outcome = set != nullptr ? TDX_FetchDictionary(block, kind, set) : 2;
    if (outcome == 1) {
        TDX_ReportFailure(block);
    } else if (outcome == 2) {
        TDX_ReportNoMemory(block);
    }
    /* Whatever is left of the answer (an empty set's results, the rest after a failure) goes,
     * so the next statement starts on a clean connection. */
    dbcancel(dbproc);
    block->result = reinterpret_cast<intptr_t>(set);
}

void TDX_ReadFormats(RequestBlock* block) {
    TDX_ReadDictionary(block, DICT_FORMATS);
}

void TDX_ReadValidations(RequestBlock* block) {
    TDX_ReadDictionary(block, DICT_VALIDATIONS);
}

void TDX_ReadEditStyles(RequestBlock* block) {
    TDX_ReadDictionary(block, DICT_EDIT_STYLES);
}

/* ---- Edit styles: requests 217 and 218 ---- */

namespace {

/* A SMALLINT the host holds widened without sign (65535 for -1) as the signed value the column
 * takes back; written unsigned, the server would refuse it as out of range. */
int smallint(int32_t value) {
    return static_cast<int16_t>(static_cast<uint16_t>(value));
}

}  // namespace

void TDX_InsertEditStyleRow(StatementWriter* w, const DictionaryEntry* row, const char* owner) {
    TDX_RewindWriter(w);
    TDX_WriteFormat(w, "INSERT INTO %s.KWCATEDT", owner);
    TDX_Write(w, " VALUES('");
    TDX_WriteText(w, row->name);
    TDX_Write(w, "', '");
    TDX_WriteText(w, row->text);
    TDX_WriteFormat(w, "', %d, %" PRId32 ", %d, %" PRId32 ", '", smallint(row->type), row->counter,
                    static_cast<int>(row->sequence), row->flag);
    TDX_WriteText(w, row->extra);
    TDX_Write(w, "'");
    TDX_Write(w, " )");
}

/* The row keeps its stored name and sequence; its counter becomes the stored one plus one, in the
 * statement and in the host's row. The type is written as the signed value the column holds. */
void TDX_UpdateEditStyleRow(StatementWriter* w, DictionaryEntry* row, const DictionaryEntry* stored,
                            const char* owner) {
    TDX_RewindWriter(w);
    const auto counter = static_cast<int32_t>(static_cast<uint32_t>(stored->counter) + 1);
    TDX_WriteFormat(w, "UPDATE %s.KWCATEDT", owner);
    TDX_Write(w, " SET KWE_EDIT = '");
    TDX_WriteText(w, row->text);
    TDX_Write(w, "', KWE_TYPE = ");
    TDX_WriteFormat(w, " %d ", smallint(row->type));
    TDX_Write(w, ", KWE_CNTR = ");
    TDX_WriteFormat(w, "%" PRId32 " ", counter);
    row->counter = counter;
    TDX_Write(w, ", KWE_FLAG = ");
    TDX_WriteFormat(w, "%" PRId32 " ", row->flag);
    TDX_Write(w, ", KWE_WORK = '");
    TDX_WriteText(w, row->extra);
    TDX_Write(w, "' where KWE_NAME = '");
    TDX_WriteText(w, stored->name);
    TDX_Write(w, "' and  KWE_CNTR =  ");
    TDX_WriteFormat(w, "%" PRId32 " ", stored->counter);
    TDX_Write(w, " and  KWE_SEQN =  ");
    TDX_WriteFormat(w, "%d ", static_cast<int>(stored->sequence));
}

void TDX_DeleteEditStyleRow(StatementWriter* w, const DictionaryEntry* stored, const char* owner) {
    TDX_RewindWriter(w);
    TDX_WriteFormat(w, "DELETE FROM %s.KWCATEDT", owner);
    TDX_Write(w, " WHERE KWE_NAME = '");
    TDX_WriteText(w, stored->name);
    TDX_Write(w, "' AND  KWE_CNTR =  ");
    TDX_WriteFormat(w, "%" PRId32 " ", stored->counter);
    TDX_Write(w, " AND  KWE_SEQN =  ");
    TDX_WriteFormat(w, "%d ", static_cast<int>(stored->sequence));
}

/* Pairs the new rows of one style (arg) with its stored rows (editStyleSet) in order: a paired
 * row is updated, an unpaired new row inserted, stored rows beyond the last pair deleted. */
void TDX_WriteEditStyle(RequestBlock* block) {
    auto* rows = static_cast<HostList*>(block->arg);
    KWSET stored = block->editStyleSet;
    bool lent = false;
    char owner[TDX_OWNER_NAME_MAX + 1];
    StatementWriter w;
    if (!TDX_LendForCatalog(block, &lent, owner)) {
        return;
    }
    if (TDX_OpenWriter(block, &w, 30) == 0) {
        TDX_ReturnConnection(block, lent);
        return;
    }
    const DictionaryEntry* paired = nullptr;
    bool first = true;
    for (HostListNode* node = rows != nullptr ? rows->first : nullptr; node != nullptr; node = node->next) {
        auto* row = static_cast<DictionaryEntry*>(node->data);
        if (row->counter == 0 && stored != nullptr) {
            if (first) {
                paired = static_cast<const DictionaryEntry*>(kwshr_findInKeyedSet(stored, row->name));
                first = false;
            } else if (paired != nullptr) {
                paired = static_cast<const DictionaryEntry*>(kwshr_findNextInKeyedSet(stored, row->name));
            }
        }
        if (paired != nullptr) {
            TDX_UpdateEditStyleRow(&w, row, paired, owner);
        } else {
            TDX_InsertEditStyleRow(&w, row, owner);
        }
        TDX_WriteStatementEnd(&w);
        if (node == rows->last) {
            break;
        }
    }
    while (paired != nullptr) {
        paired = static_cast<const DictionaryEntry*>(kwshr_findNextInKeyedSet(stored, paired->name));
        if (paired != nullptr) {
            TDX_DeleteEditStyleRow(&w, paired, owner);
            TDX_WriteStatementEnd(&w);
        }
    }
    TDX_CloseWriter(&w);
    TDX_ReturnConnection(block, lent);
}

/* Removes every row of the style named in sqlText at once, and commits (or reports and rolls
 * back). */
void TDX_DropEditStyle(RequestBlock* block) {
    bool lent = false;
    char owner[TDX_OWNER_NAME_MAX + 1];
    CatalogStatement statement;
    if (!TDX_LendForCatalog(block, &lent, owner)) {
        return;
    }
    if (TDX_BeginStatement(block, &statement) == 0) {
        TDX_ReturnConnection(block, lent);
        return;
    }
    TDX_AppendStatement(block, &statement, "DELETE FROM %s.KWCATEDT WHERE KWE_NAME = '%q'",
                        {owner, block->sqlText != nullptr ? block->sqlText : ""});
    DBPROCESS* dbproc = block->dbproc;
    TDX_DiscardServerMessages(block);
    bool ok = statement.failed == 0 && dbcmd(dbproc, statement.text) != FAIL && dbsqlexec(dbproc) != FAIL;
    if (!ok) {
        dbfreebuf(dbproc);
    }
    RETCODE rc = SUCCEED;
    while (ok && (rc = dbresults(dbproc)) != NO_MORE_RESULTS && rc != FAIL) {
    }
    ok = ok && rc != FAIL;
    if (statement.failed != 0) {
        TDX_ReportNoMemory(block);
    }
    TDX_EndStatement(block, &statement);
    if (ok) {
        TDX_Commit(block);
    } else {
        if (block->status == KW_STATUS_OK) {
            TDX_ReportFailure(block);
        }
        TDX_Rollback(block);
    }
    TDX_ReturnConnection(block, lent);
}

/* ---- Clean-up: request 153 ---- */

/* The statements that purge the attribute rows of tables and columns the DB2 catalog no longer
 * has; written, not run. */
void TDX_CleanCatalog(RequestBlock* block) {
    bool lent = false;
    char owner[TDX_OWNER_NAME_MAX + 2];
    StatementWriter w;
    const char* system = nullptr;
    if (!TDX_LendForCatalog(block, &lent, owner, &system)) {
        return;
    }
    if (TDX_OpenWriter(block, &w, 30) == 0) {
        TDX_ReturnConnection(block, lent);
        return;
    }
    if (owner[0] != '\0') {
        std::strcat(owner, ".");
    }
    const char* o = owner;
    struct Line {
        const char* format;
        bool withOwner; /* the owner qualifier fills the %s, else the system owner */
    };
    const Line kTables[] = {
        {"DELETE FROM %sKWCATTBL", true},        {"WHERE NOT EXISTS ", false},
        {"(SELECT * FROM %s.SYSTABLES ", false}, {"WHERE %sKWCATTBL.KWT_TNAM = ", true},
        {"      %s.SYSTABLES.NAME ", false},     {"AND   %sKWCATTBL.KWT_OWNR = ", true},
        {"      %s.SYSTABLES.CREATOR) ", false},
    };
    const Line kColumns[] = {
        {"DELETE FROM %sKWCATCOL", true},          {" WHERE NOT EXISTS ", false},
        {"(SELECT * FROM %s.SYSCOLUMNS ", false},  {"WHERE   %sKWCATCOL.KWC_TNAM = ", true},
        {"      %s.SYSCOLUMNS.TBNAME ", false},    {"AND   %sKWCATCOL.KWC_OWNR = ", true},
        {"      %s.SYSCOLUMNS.TBCREATOR ", false}, {"AND %sKWCATCOL.KWC_CNAM = ", true},
        {"      %s.SYSCOLUMNS.NAME) ", false},
    };
    auto writeStatement = [&](const Line* lines, size_t count) {
        for (size_t i = 0; i < count; ++i) {
            if (std::strstr(lines[i].format, "%s") != nullptr) {
                TDX_WriteFormat(&w, lines[i].format, lines[i].withOwner ? o : system);
            } else {
                TDX_Write(&w, lines[i].format);
            }
            TDX_WriteLineEnd(&w, i + 1 == count ? 1 : 0);
        }
        TDX_WriteStatementEnd(&w);
    };
    writeStatement(kTables, std::size(kTables));
    TDX_RewindWriter(&w);
    writeStatement(kColumns, std::size(kColumns));
    TDX_CloseWriter(&w);
    TDX_ReturnConnection(block, lent);
}
