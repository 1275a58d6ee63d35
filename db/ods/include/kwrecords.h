/*
 * kwrecords.h - every record shared by the host and the driver, declared once.
 *
 * The records are packed (one-byte alignment) with the fields in host order. On ILP32 every
 * offset and size is exactly the host's. On LP64 every pointer and handle field is 8 bytes
 * wide instead of 4 and every later offset moves by the bytes added before it; nothing else
 * changes. Both rules are asserted below each record: KW_AT(T, field, offset, n) states the
 * ILP32 offset and the number n of pointer or handle fields in front of the field.
 * Gaps the driver never touches are reserved byte arrays of the host's width.
 * Code reads and writes these records through their fields and sizeof only.
 */
#ifndef KW_RECORDS_H
#define KW_RECORDS_H

#include "kwtypes.h"

#ifndef __cplusplus
#define static_assert _Static_assert
#endif

#define KW_CAT2(a, b) a##b
#define KW_CAT(a, b) KW_CAT2(a, b)
/* A gap of host bytes [from, to) that the driver never reads or writes. */
#define KW_RESERVED(from, to) uint8_t KW_CAT(reserved, __LINE__)[(to) - (from)]

#if UINTPTR_MAX == 0xFFFFFFFFu
#define KW_WIDENED_BYTES 0
#else
#define KW_WIDENED_BYTES 4
#endif
#define KW_AT(T, f, off32, widenedBefore)                                             \
    static_assert(offsetof(T, f) == (off32) + KW_WIDENED_BYTES * (widenedBefore), \
                  #T "." #f " is not at its host offset")
#define KW_SIZE(T, size32, widened)                                                \
    static_assert(sizeof(T) == (size32) + KW_WIDENED_BYTES * (widened), \
                  #T " does not have its host size")

#pragma pack(push, 1)

/* ---- Host lists ---------------------------------------------------------------------------- */

/* One node of a host list; the driver steps through `next` and reads `data`. */
typedef struct HostListNode {
    struct HostListNode* previous;
    struct HostListNode* next;
    void* data;
} HostListNode;
KW_AT(HostListNode, next, 0x04, 1);
KW_AT(HostListNode, data, 0x08, 2);
KW_SIZE(HostListNode, 12, 3);

/* A host list header: the driver may move `cursor` itself while it walks. */
typedef struct HostList {
    HostListNode* first;
    HostListNode* last;
    HostListNode* cursor;
} HostList;
KW_AT(HostList, last, 0x04, 1);
KW_AT(HostList, cursor, 0x08, 2);
KW_SIZE(HostList, 12, 3);

/* One entry of the parameter list the host parses from the DbParm text. */
typedef struct ParameterEntry {
    char* key;
    char* text;     /* null when the parameter has no text value */
    int32_t number; /* the numeric value; 0 for a text value */
} ParameterEntry;
KW_AT(ParameterEntry, text, 0x04, 1);
KW_AT(ParameterEntry, number, 0x08, 2);
KW_SIZE(ParameterEntry, 12, 2);

/* ---- Messages -------------------------------------------------------------------------------- */

/* Where a queued message came from (MessageRecord.source). */
enum { KW_MESSAGE_SERVER = 1, KW_MESSAGE_LIBRARY = 2 };

/* One queued server or DB-Library message. The driver uses number, severity and text; the first
 * three fields are the host toolkit's extras. */
typedef struct MessageRecord {
    int32_t source; /* KW_MESSAGE_SERVER or KW_MESSAGE_LIBRARY */
    int32_t state;  /* server message state, or the operating-system error of a library error */
    int32_t line;   /* server line number, 0 for library errors */
    int32_t number;
    int32_t severity;
    char* text;
} MessageRecord;
KW_AT(MessageRecord, number, 0x0C, 0);
KW_AT(MessageRecord, severity, 0x10, 0);
KW_AT(MessageRecord, text, 0x14, 0);
KW_SIZE(MessageRecord, 0x18, 1);

/* ---- Statement text builder ------------------------------------------------------------------- */

/* Width of one statement line by convention; a line may be longer when a name needs it. */
enum { KW_STATEMENT_LINE_WIDTH = 120 };

/* The host's statement text builder. The driver appends at writePos and may rewind it to an
 * empty line (writePos = lineStart = bufferStart, lineEnd = bufferStart + line width). */
typedef struct StatementBuilder {
    char* bufferStart;
    char* writePos;
    KW_RESERVED(0x08, 0x0C);
    char* lineEnd;
    char* lineStart;
    KW_RESERVED(0x14, 0x22);
    int16_t lineCount;        /* lines of the statement being written or finished last */
    intptr_t statementHandle; /* handle of the statement finished last (a small number) */
} StatementBuilder;
KW_AT(StatementBuilder, writePos, 0x04, 1);
KW_AT(StatementBuilder, lineEnd, 0x0C, 2);
KW_AT(StatementBuilder, lineStart, 0x10, 3);
KW_AT(StatementBuilder, lineCount, 0x22, 4);
KW_AT(StatementBuilder, statementHandle, 0x24, 4);
KW_SIZE(StatementBuilder, 0x28, 5);

/* A finished statement: the item that joins the block's statementList. */
typedef struct StatementRecord {
    char* text;         /* the lines joined with a newline */
    int32_t lineCount;
    intptr_t handle;    /* the number that statementHandle carries */
} StatementRecord;
KW_AT(StatementRecord, lineCount, 0x04, 1);
KW_AT(StatementRecord, handle, 0x08, 1);
KW_SIZE(StatementRecord, 12, 2);

/* ---- Connection -------------------------------------------------------------------------------- */

/* The driver's record of one connection: owners and options from DbParm, facts from the server. */
typedef struct ConnectionRecord {
    char* systemOwner;
    char* catalogOwner;
    char* groupId;
    char* tableCriteria;
    char* conversionTable;
    int16_t sqlQualifiers;
    int32_t longTrans;
    int32_t requestMode;
    int32_t staticBind;
    char literalBuffer[256];
} ConnectionRecord;
KW_AT(ConnectionRecord, catalogOwner, 0x04, 1);
KW_AT(ConnectionRecord, groupId, 0x08, 2);
KW_AT(ConnectionRecord, tableCriteria, 0x0C, 3);
KW_AT(ConnectionRecord, conversionTable, 0x10, 4);
KW_AT(ConnectionRecord, sqlQualifiers, 0x14, 5);
KW_AT(ConnectionRecord, longTrans, 0x16, 5);
KW_AT(ConnectionRecord, requestMode, 0x1A, 5);
KW_AT(ConnectionRecord, staticBind, 0x1E, 5);
KW_AT(ConnectionRecord, literalBuffer, 0x22, 5);
KW_SIZE(ConnectionRecord, 0x122, 5);

/* The host's connect context, in `arg` for request 67. */
typedef struct HostConnectContext {
    int32_t reuseConnection; /* nonzero: an unchanged login dialog ends without connecting */
    KW_RESERVED(0x04, 0x20);
    char* caption;           /* caption of message boxes */
    int16_t mode;            /* KW_CONNECT_MODE_ALWAYS_ASK: always show the login dialog */
    HWND ownerWindow;
} HostConnectContext;
KW_AT(HostConnectContext, caption, 0x20, 0);
KW_AT(HostConnectContext, mode, 0x24, 1);
KW_AT(HostConnectContext, ownerWindow, 0x26, 1);
KW_SIZE(HostConnectContext, 0x2A, 2);

/* ---- Result sets ---------------------------------------------------------------------------------- */

/* The host's date/time value. */
typedef struct DateTimeValue {
    uint32_t microseconds;
    int16_t year;   /* year - 1900; KW_NO_DATE_PART for a TIME */
    uint8_t month;  /* month - 1 */
    uint8_t day;
    uint8_t hour;   /* KW_NO_TIME_PART for a DATE */
    uint8_t minute;
    uint8_t second;
    uint8_t zero;
} DateTimeValue;
KW_AT(DateTimeValue, year, 4, 0);
KW_AT(DateTimeValue, month, 6, 0);
KW_AT(DateTimeValue, day, 7, 0);
KW_AT(DateTimeValue, hour, 8, 0);
KW_AT(DateTimeValue, minute, 9, 0);
KW_AT(DateTimeValue, second, 10, 0);
KW_AT(DateTimeValue, zero, 11, 0);
KW_SIZE(DateTimeValue, 12, 0);

/* The host's 16-byte decimal: a 96-bit unsigned mantissa, a scale and a sign. */
typedef struct HostDecimal {
    uint16_t reserved;
    uint8_t scale;
    uint8_t sign; /* KW_DECIMAL_NEGATIVE when negative */
    uint32_t high;
    uint64_t low;
} HostDecimal;
KW_AT(HostDecimal, scale, 2, 0);
KW_AT(HostDecimal, sign, 3, 0);
KW_AT(HostDecimal, high, 4, 0);
KW_AT(HostDecimal, low, 8, 0);
KW_SIZE(HostDecimal, 16, 0);

/* One host binding of a result column (requests 54, 55, 56). */
typedef struct ColumnBinding {
    void* buffer;
    int32_t* indicator;
    int32_t length;
    int32_t hostType;
    KW_RESERVED(0x10, 0x18);
    int32_t scale;
    int32_t boundType; /* hostType of the last dbbind of this column */
    KW_RESERVED(0x20, 0x44);
} ColumnBinding;
KW_AT(ColumnBinding, indicator, 0x04, 1);
KW_AT(ColumnBinding, length, 0x08, 2);
KW_AT(ColumnBinding, hostType, 0x0C, 2);
KW_AT(ColumnBinding, scale, 0x18, 2);
KW_AT(ColumnBinding, boundType, 0x1C, 2);
KW_SIZE(ColumnBinding, 68, 2);

/* ---- Catalog records ------------------------------------------------------------------------------ */

/* A font of the extended attribute catalog, inside a TableEntry. */
typedef struct FontAttributes {
    int16_t height;
    int16_t weight;
    int16_t italic;
    int16_t underline;
    uint8_t charSet;
    uint8_t pitchAndFamily;
    char faceName[100];
} FontAttributes;
KW_AT(FontAttributes, weight, 2, 0);
KW_AT(FontAttributes, italic, 4, 0);
KW_AT(FontAttributes, underline, 6, 0);
KW_AT(FontAttributes, charSet, 8, 0);
KW_AT(FontAttributes, pitchAndFamily, 9, 0);
KW_AT(FontAttributes, faceName, 10, 0);
KW_SIZE(FontAttributes, 110, 0);

/* One table or view of a table list, with its extended attributes. */
typedef struct TableEntry {
    char name[133];
    char* owner;
    KW_RESERVED(0x89, 0x8D);
    char* comment;
    int32_t columnCount;
    int32_t indexCount;
    FontAttributes dataFont;
    FontAttributes headingFont;
    FontAttributes labelFont;
    HostList* columns;
    HostList* indexes;
    KW_RESERVED(0x1EB, 0x27D);
    int32_t flags; /* KW_TABLE_VIEW, KW_TABLE_SYSTEM */
    KW_RESERVED(0x281, 0x2B5);
} TableEntry;
KW_AT(TableEntry, owner, 0x085, 0);
KW_AT(TableEntry, comment, 0x08D, 1);
KW_AT(TableEntry, columnCount, 0x091, 2);
KW_AT(TableEntry, indexCount, 0x095, 2);
KW_AT(TableEntry, dataFont, 0x099, 2);
KW_AT(TableEntry, headingFont, 0x107, 2);
KW_AT(TableEntry, labelFont, 0x175, 2);
KW_AT(TableEntry, columns, 0x1E3, 2);
KW_AT(TableEntry, indexes, 0x1E7, 3);
KW_AT(TableEntry, flags, 0x27D, 4);
KW_SIZE(TableEntry, 693, 4);

/* One column: of a table (catalog fields), of a result set, and its extended attributes. */
typedef struct ColumnDescriptor {
    char* name;
    KW_RESERVED(0x04, 0x08);
    char* comment;
    KW_RESERVED(0x0C, 0x10);
    int32_t length;
    int32_t db2Type;
    int32_t hostType;
    KW_RESERVED(0x1C, 0x20);
    int32_t scale;
    int32_t ordinal;
    int32_t nullability; /* KW_NULLABLE or KW_NOT_NULL */
    char* label;
    int32_t labelPosition;
    char* heading;
    int32_t headingPosition;
    int32_t justification;
    char* displayFormat;
    int32_t caseConversion;
    int32_t displayHeight;
    int32_t displayWidth;
    char* validationRule;
    char* initialValue;
    int32_t nameNotIdentifier;
    int32_t hasLength;
    int32_t bitmap;
    KW_RESERVED(0x64, 0x68);
    void* buffer;
    int32_t* indicator;
    int32_t resultMarker4; /* always 4 for result columns; its meaning is the host's */
    int32_t resultMarker6; /* always 6 for result columns; its meaning is the host's */
    KW_RESERVED(0x78, 0x7A);
    int32_t precision;
    char tableName[129];
    int32_t systemColumn;
    KW_RESERVED(0x103, 0x10F);
    char* editStyle;
    KW_RESERVED(0x113, 0x161);
} ColumnDescriptor;
KW_AT(ColumnDescriptor, comment, 0x008, 1);
KW_AT(ColumnDescriptor, length, 0x010, 2);
KW_AT(ColumnDescriptor, db2Type, 0x014, 2);
KW_AT(ColumnDescriptor, hostType, 0x018, 2);
KW_AT(ColumnDescriptor, scale, 0x020, 2);
KW_AT(ColumnDescriptor, ordinal, 0x024, 2);
KW_AT(ColumnDescriptor, nullability, 0x028, 2);
KW_AT(ColumnDescriptor, label, 0x02C, 2);
KW_AT(ColumnDescriptor, labelPosition, 0x030, 3);
KW_AT(ColumnDescriptor, heading, 0x034, 3);
KW_AT(ColumnDescriptor, headingPosition, 0x038, 4);
KW_AT(ColumnDescriptor, justification, 0x03C, 4);
KW_AT(ColumnDescriptor, displayFormat, 0x040, 4);
KW_AT(ColumnDescriptor, caseConversion, 0x044, 5);
KW_AT(ColumnDescriptor, displayHeight, 0x048, 5);
KW_AT(ColumnDescriptor, displayWidth, 0x04C, 5);
KW_AT(ColumnDescriptor, validationRule, 0x050, 5);
KW_AT(ColumnDescriptor, initialValue, 0x054, 6);
KW_AT(ColumnDescriptor, nameNotIdentifier, 0x058, 7);
KW_AT(ColumnDescriptor, hasLength, 0x05C, 7);
KW_AT(ColumnDescriptor, bitmap, 0x060, 7);
KW_AT(ColumnDescriptor, buffer, 0x068, 7);
KW_AT(ColumnDescriptor, indicator, 0x06C, 8);
KW_AT(ColumnDescriptor, resultMarker4, 0x070, 9);
KW_AT(ColumnDescriptor, resultMarker6, 0x074, 9);
KW_AT(ColumnDescriptor, precision, 0x07A, 9);
KW_AT(ColumnDescriptor, tableName, 0x07E, 9);
KW_AT(ColumnDescriptor, systemColumn, 0x0FF, 9);
KW_AT(ColumnDescriptor, editStyle, 0x10F, 9);
KW_SIZE(ColumnDescriptor, 353, 10);

/* One index of a table, with its key columns. */
typedef struct IndexEntry {
    char name[129];
    int32_t keyCount;
    int32_t keyColumns[20]; /* slot n-1: column number of key position n */
    int32_t ascending;
    int32_t unique;
    int32_t clustered;
    KW_RESERVED(0xE1, 0xE9);
    /* The host gives the creator 130 bytes whose last one is shared with `primary`; the
     * driver keeps the creator within the 129 bytes before it. */
    char creator[129];
    char primary; /* 'Y' for the primary index, else 0 */
    KW_RESERVED(0x16B, 0x1AB);
} IndexEntry;
KW_AT(IndexEntry, keyCount, 0x081, 0);
KW_AT(IndexEntry, keyColumns, 0x085, 0);
KW_AT(IndexEntry, ascending, 0x0D5, 0);
KW_AT(IndexEntry, unique, 0x0D9, 0);
KW_AT(IndexEntry, clustered, 0x0DD, 0);
KW_AT(IndexEntry, creator, 0x0E9, 0);
KW_AT(IndexEntry, primary, 0x16A, 0);
KW_SIZE(IndexEntry, 427, 0);

/* A primary or foreign key. The host's primary-key record ends inside refTable; the driver
 * allocates the whole record for both kinds. */
typedef struct KeyEntry {
    char name[129];
    int32_t keyCount;
    int32_t keyColumns[20]; /* 1-based positions in the table's column list, in key order */
    TableEntry* table;
    char owner[129];
    char refTable[129];
    char refOwner[129];
    uint8_t deleteRule; /* KW_DELETE_RESTRICT, KW_DELETE_CASCADE, KW_DELETE_SET_NULL bits */
    KW_RESERVED(0x25D, 0x27C);
} KeyEntry;
KW_AT(KeyEntry, keyCount, 0x081, 0);
KW_AT(KeyEntry, keyColumns, 0x085, 0);
KW_AT(KeyEntry, table, 0x0D5, 0);
KW_AT(KeyEntry, owner, 0x0D9, 1);
KW_AT(KeyEntry, refTable, 0x15A, 1);
KW_AT(KeyEntry, refOwner, 0x1DB, 1);
KW_AT(KeyEntry, deleteRule, 0x25C, 1);
KW_SIZE(KeyEntry, 636, 1);

/* Ties a catalog row of column attributes to the descriptor it fills. */
typedef struct ColumnKey {
    char columnName[129]; /* the key */
    char tableName[129];  /* empty: matches a row of any table */
    char ownerName[129];
    ColumnDescriptor* descriptor;
    KW_RESERVED(0x187, 0x1C6);
} ColumnKey;
KW_AT(ColumnKey, tableName, 0x081, 0);
KW_AT(ColumnKey, ownerName, 0x102, 0);
KW_AT(ColumnKey, descriptor, 0x183, 0);
KW_SIZE(ColumnKey, 454, 1);

/* One row of a dictionary of the extended catalog (formats, validation rules, edit styles). */
typedef struct DictionaryEntry {
    char* name; /* the key */
    char* text;
    int32_t type;
    int32_t counter;
    int32_t flag;
    int16_t sequence;
    char* extra;
    KW_RESERVED(0x1A, 0x3A);
} DictionaryEntry;
KW_AT(DictionaryEntry, text, 0x04, 1);
KW_AT(DictionaryEntry, type, 0x08, 2);
KW_AT(DictionaryEntry, counter, 0x0C, 2);
KW_AT(DictionaryEntry, flag, 0x10, 2);
KW_AT(DictionaryEntry, sequence, 0x14, 2);
KW_AT(DictionaryEntry, extra, 0x16, 2);
KW_SIZE(DictionaryEntry, 58, 3);

/* One DB2 column type offered to the host's type pickers (request 252). */
typedef struct TypeDescriptor {
    char name[129];
    int32_t typeCode;
    int32_t hostType;
    int32_t hasLength;
    int32_t hasScale;
    KW_RESERVED(145, 157);
} TypeDescriptor;
KW_AT(TypeDescriptor, typeCode, 129, 0);
KW_AT(TypeDescriptor, hostType, 133, 0);
KW_AT(TypeDescriptor, hasLength, 137, 0);
KW_AT(TypeDescriptor, hasScale, 141, 0);
KW_SIZE(TypeDescriptor, 157, 0);

/* One stored request of a stored request list; the host reads it as it reads a TableEntry. */
typedef struct StoredRequestEntry {
    char name[133];
    char* owner;
    KW_RESERVED(0x89, 0xD9);
} StoredRequestEntry;
KW_AT(StoredRequestEntry, owner, 0x085, 0);
KW_SIZE(StoredRequestEntry, 217, 1);

/* One dependent table in the keyed set of request 210. */
typedef struct DependentTable {
    char key[258]; /* table name immediately followed by its owner */
    char owner[129];
    char name[129];
} DependentTable;
KW_AT(DependentTable, owner, 0x102, 0);
KW_AT(DependentTable, name, 0x183, 0);
KW_SIZE(DependentTable, 516, 0);

/* A table named by the host: the table record of request 111 and the items of request 110. */
typedef struct TableItem {
    char name[258];
    char owner[129];
} TableItem;
KW_AT(TableItem, owner, 0x102, 0);
KW_SIZE(TableItem, 387, 0);

/* The delete-rule choices of request 201. */
typedef struct DeleteRuleChoices {
    int16_t count;
    const char* title;
    const char* choices; /* the choice texts one after another, each zero-terminated */
    int16_t end;         /* 0 */
} DeleteRuleChoices;
KW_AT(DeleteRuleChoices, title, 2, 0);
KW_AT(DeleteRuleChoices, choices, 6, 1);
KW_AT(DeleteRuleChoices, end, 10, 2);
KW_SIZE(DeleteRuleChoices, 12, 2);

/* The pair that `arg` points to for request 57. */
typedef struct MenuCommand {
    HWND ownerWindow;
    int32_t commandId;
} MenuCommand;
KW_AT(MenuCommand, commandId, 4, 1);
KW_SIZE(MenuCommand, 8, 1);

/* ---- The request block ----------------------------------------------------------------------------- */

/* The record through which the host and the driver talk; one per host transaction. */
typedef struct RequestBlock {
    char message[255];
    int32_t requestCode;
    int32_t status;
    DBPROCESS* dbproc;
    intptr_t result; /* a number or a pointer, by request */
    KW_RESERVED(0x10F, 0x197);
    char* loginId;
    char* serverName;
    char* password;
    char* sqlText;
    char* databaseName;
    KW_RESERVED(0x1AB, 0x1AF);
    char* currentUser;
    KW_RESERVED(0x1B3, 0x1B7);
    char* dbParm;
    int32_t inValue;
    void* arg;
    char* paramKey; /* also a column list for requests 199 and 200 */
    KW_RESERVED(0x1C7, 0x1CB);
    int32_t inValue2;
    int32_t inValue3;
    HostList* resultColumns;
    int32_t bindCount;
    ColumnBinding* bindArray;
    KW_RESERVED(0x1DF, 0x1E3);
    char* ownerName;
    KWSET formatSet;
    KW_RESERVED(0x1EB, 0x1EF);
    KWSET editStyleSet;
    int32_t sqlCode;
    KWCTX memoryContext;
    ConnectionRecord* connection;
    HostList* statementList;
    KW_RESERVED(0x203, 0x207);
    int32_t asyncSend;
    int32_t pendingState;
    int32_t deriveColumnTypes;
    uint8_t options;
    KW_RESERVED(0x214, 0x21C);
    uint8_t flags;
    KW_RESERVED(0x21D, 0x221);
    int32_t allocFlags;
    KW_RESERVED(0x225, 0x24B);
    intptr_t statementHandle;
    int16_t statementLines;
} RequestBlock;
KW_AT(RequestBlock, requestCode, 0x0FF, 0);
KW_AT(RequestBlock, status, 0x103, 0);
KW_AT(RequestBlock, dbproc, 0x107, 0);
KW_AT(RequestBlock, result, 0x10B, 1);
KW_AT(RequestBlock, loginId, 0x197, 2);
KW_AT(RequestBlock, serverName, 0x19B, 3);
KW_AT(RequestBlock, password, 0x19F, 4);
KW_AT(RequestBlock, sqlText, 0x1A3, 5);
KW_AT(RequestBlock, databaseName, 0x1A7, 6);
KW_AT(RequestBlock, currentUser, 0x1AF, 7);
KW_AT(RequestBlock, dbParm, 0x1B7, 8);
KW_AT(RequestBlock, inValue, 0x1BB, 9);
KW_AT(RequestBlock, arg, 0x1BF, 9);
KW_AT(RequestBlock, paramKey, 0x1C3, 10);
KW_AT(RequestBlock, inValue2, 0x1CB, 11);
KW_AT(RequestBlock, inValue3, 0x1CF, 11);
KW_AT(RequestBlock, resultColumns, 0x1D3, 11);
KW_AT(RequestBlock, bindCount, 0x1D7, 12);
KW_AT(RequestBlock, bindArray, 0x1DB, 12);
KW_AT(RequestBlock, ownerName, 0x1E3, 13);
KW_AT(RequestBlock, formatSet, 0x1E7, 14);
KW_AT(RequestBlock, editStyleSet, 0x1EF, 15);
KW_AT(RequestBlock, sqlCode, 0x1F3, 16);
KW_AT(RequestBlock, memoryContext, 0x1F7, 16);
KW_AT(RequestBlock, connection, 0x1FB, 17);
KW_AT(RequestBlock, statementList, 0x1FF, 18);
KW_AT(RequestBlock, asyncSend, 0x207, 19);
KW_AT(RequestBlock, pendingState, 0x20B, 19);
KW_AT(RequestBlock, deriveColumnTypes, 0x20F, 19);
KW_AT(RequestBlock, options, 0x213, 19);
KW_AT(RequestBlock, flags, 0x21C, 19);
KW_AT(RequestBlock, allocFlags, 0x221, 19);
KW_AT(RequestBlock, statementHandle, 0x24B, 19);
KW_AT(RequestBlock, statementLines, 0x24F, 20);
KW_SIZE(RequestBlock, 0x251, 20);

#pragma pack(pop)

#endif
