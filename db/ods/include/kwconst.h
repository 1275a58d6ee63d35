/*
 * kwconst.h - the numbers of the host interface: request codes, status values, flag bits,
 * type codes, string and dialog ids.
 *
 * Hosts and the driver share these; a value here is part of the interface, so it never changes.
 */
#ifndef KW_CONST_H
#define KW_CONST_H

/* ---- Status values (RequestBlock.status) and the host's SQL codes ---- */
enum {
    KW_STATUS_OK = 0,
    KW_STATUS_NO_DATA = 1,        /* no (more) rows; sqlCode 100 */
    KW_STATUS_ROW_WITH_WARNING = 2,
    KW_STATUS_NO_MORE_RESULTS = 3, /* sqlCode 100 */
    KW_STATUS_DRIVER_FAILURE = 999,
};
enum { KW_SQLCODE_OK = 0, KW_SQLCODE_NO_DATA = 100, KW_SQLCODE_ERROR = -1 };

/* ---- pendingState ---- */
enum {
    KW_PENDING_NONE = 0,
    KW_PENDING_RESPONSE = 1, /* the driver waits for the server (asynchronous send) */
    KW_PENDING_CANCELLED = 2, /* cancelled while waiting: every call returns at once */
    KW_PENDING_ROWS = 3,     /* set by the host while rows are pending */
};

/* ---- RequestBlock.options and RequestBlock.flags bits ---- */
enum { OPT_NO_DELIMIT = 0x08 };
enum { FLAG_NO_CATALOG_CREATE = 0x01, FLAG_CATALOG_UNAVAILABLE = 0x02 };

/* ---- TableEntry.flags bits ---- */
enum { KW_TABLE_VIEW = 0x01, KW_TABLE_SYSTEM = 0x02 };

/* ---- ColumnDescriptor.nullability ---- */
enum { KW_NULLABLE = 20, KW_NOT_NULL = 21 };

/* ---- KeyEntry.deleteRule bits ---- */
enum { KW_DELETE_RESTRICT = 0x01, KW_DELETE_CASCADE = 0x02, KW_DELETE_SET_NULL = 0x04 };

/* ---- DateTimeValue markers, host decimal sign ---- */
#define KW_NO_DATE_PART ((int16_t)0x8001)
#define KW_NO_TIME_PART 0xFF
#define KW_DECIMAL_NEGATIVE 0x80

/* ---- Connect context mode ---- */
enum { KW_CONNECT_MODE_ALWAYS_ASK = 4 };

/* ---- DB2 column type numbers (also the string ids of the upper-case type names) ---- */
enum {
    DB2_CHAR = 1,
    DB2_VARCHAR = 2,
    DB2_INTEGER = 3,
    DB2_SMALLINT = 4,
    DB2_FLOAT = 5,
    DB2_LONG_VARCHAR = 6,
    DB2_DECIMAL = 7,
    DB2_DATE = 8,
    DB2_TIME = 9,
    DB2_TIMESTAMP = 10,
    DB2_TYPE_COUNT = 10,
};

/* ---- Host data type codes ---- */
enum {
    HOST_CHAR = 1,
    HOST_VARCHAR = 2,
    HOST_DOUBLE = 3,
    HOST_DECIMAL = 4,
    HOST_INTEGER = 5,
    HOST_SMALLINT = 6,
    HOST_DATE = 7,
    HOST_TIME = 8,
    HOST_DATETIME = 9,
    HOST_LONG_TEXT = 14,
    HOST_BINARY = 15,
    HOST_MONEY = 17,
    HOST_REAL = 21, /* bound as an 8-byte double, handed to the host as a 4-byte float */
};

/* ---- Request codes (RequestBlock.requestCode) ---- */
enum {
    REQ_COMMIT = 1,
    REQ_DISCONNECT = 4,
    REQ_EXECUTE = 5,
    REQ_ROLLBACK = 6,
    REQ_LIST_ALL_TABLES = 7,
    REQ_LIST_TABLES = 8,
    REQ_LIST_COLUMNS = 9,
    REQ_LIST_INDEXES = 10,
    REQ_READ_INDEX_KEYS = 11,
    REQ_SELECT_TYPE_IN_COMBO = 12,
    REQ_READ_TYPE_FROM_COMBO = 13,
    REQ_FILL_TYPE_COMBO = 16,
    REQ_TYPE_MAX_LENGTH = 17,
    REQ_IS_IDENTIFIER = 19,
    REQ_PREPARE = 21,
    REQ_DESCRIBE = 22,
    REQ_FETCH = 23,
    REQ_BIND = 25,
    REQ_FUNCTIONS_28 = 28,
    REQ_FUNCTIONS_29 = 29,
    REQ_CONNECT = 35,
    REQ_TYPE_HOST_TYPE = 37,
    REQ_ROW_COUNT = 38,
    REQ_TYPE_DEFAULT_LENGTH = 39,
    REQ_IS_SYSTEM_TABLE = 42,
    REQ_WRITE_ATTRIBUTES = 45,
    REQ_IS_CATALOG_COLUMN = 47,
    REQ_DATETIME_LITERAL = 49,
    REQ_ALWAYS_NO_DATA = 52,
    REQ_COLUMN_COUNT = 53,
    REQ_DESCRIBE_BINDINGS = 54,
    REQ_BIND_BINDINGS = 55,
    REQ_FETCH_BINDINGS = 56,
    REQ_MENU_COMMAND = 57,
    REQ_BEGIN_LONG_TRANSACTION = 58,
    REQ_DELETE_ATTRIBUTES = 60,
    REQ_UNIQUE_KEY_COLUMNS = 61,
    REQ_COMPLETE_COLUMN = 64,
    REQ_CONNECT_WITH_DIALOG = 67,
    REQ_DESCRIBE_TABLE = 70,
    REQ_CANCEL = 71,
    REQ_ADD_SECURITY_MENU = 72,
    REQ_LIST_STORED_REQUESTS = 73,
    REQ_STORED_REQUEST_TEXT = 74,
    REQ_RUN_PROCEDURE = 75,
    REQ_EXECUTE_88 = 88,
    REQ_READ_FORMATS = 89,
    REQ_READ_VALIDATIONS = 90,
    REQ_CATALOG_OWNER = 94,
    REQ_NEXT_RESULT_SET = 96,
    REQ_VIEW_TEXT = 97,
    REQ_EXPLAIN = 98,
    REQ_ECHO_ARG = 106,
    REQ_READ_ATTRIBUTES = 107,
    REQ_READ_COLUMN_ATTRIBUTES = 110,
    REQ_COLUMN_EXISTS = 111,
    REQ_MAX_NAME_LENGTH = 122,
    REQ_MAX_OWNER_LENGTH = 123,
    REQ_CONSTANT_124 = 124,
    REQ_CONSTANT_125 = 125,
    REQ_CONSTANT_126 = 126,
    REQ_LONG_TRANS_STATE = 132,
    REQ_CREATE_TABLE = 139,
    REQ_CREATE_INDEX = 140,
    REQ_DROP_INDEX = 145,
    REQ_ADD_COLUMNS = 147,
    REQ_DROP_TABLE = 148,
    REQ_CLEAN_CATALOG = 153,
    REQ_APPLY_DBPARM = 170,
    REQ_COPY_LOGIN_ID = 171,
    REQ_QUOTE_TABLE_NAME = 172,
    REQ_PRIMARY_KEY = 199,
    REQ_FOREIGN_KEYS = 200,
    REQ_DELETE_RULE_CHOICES = 201,
    REQ_ADD_PRIMARY_KEY_CLAUSE = 205,
    REQ_ALTER_PRIMARY_KEY = 206,
    REQ_ADD_FOREIGN_KEY_CLAUSES = 208,
    REQ_ALTER_FOREIGN_KEYS = 209,
    REQ_DEPENDENT_TABLES = 210,
    REQ_READ_EDIT_STYLES = 215,
    REQ_WRITE_EDIT_STYLE = 217,
    REQ_DROP_EDIT_STYLE = 218,
    REQ_WIDEN_LITERAL_222 = 222,
    REQ_TRACE = 241, /* set by the driver for the duration of a trace call */
    REQ_WIDEN_LITERAL_251 = 251,
    REQ_TYPE_DESCRIPTORS = 252,
    REQ_STATIC_BIND = 275,
};
/* The first-level dispatch covers codes 1 to this one; every other code goes to the second. */
enum { KW_FIRST_LEVEL_LAST_CODE = 275 };

/* ---- DB-Library bind types as the driver names them; see the bind table of the driver ---- */
enum {
    KW_BIND_STRING = 1,       /* passed on for host type 11 */
    KW_BIND_SMALLINT = 2,     /* 16-bit integer */
    KW_BIND_INT = 3,          /* 32-bit integer */
    KW_BIND_CHARS = 4,        /* characters as they are, not terminated */
    KW_BIND_BINARY = 6,       /* passed on for host type 15 */
    KW_BIND_MONEY = 10,       /* passed on for host type 17 */
    KW_BIND_DOUBLE = 11,      /* 8-byte double */
    KW_BIND_TEXT = 13,        /* zero-terminated, trailing blanks removed */
};

/* ---- Dialog templates and menu command ---- */
enum {
    IDD_TABLE_SECURITY = 1102,
    IDD_CHANGE_DATABASE = 1103,
    IDD_LOGIN = 1104,
    IDD_SYSTEM_OWNER = 1105,
    IDD_TABLE_SPACE = 1106,
    IDD_CATALOG_OWNER = 1107,
    IDD_STORED_REQUESTS = 1108,
};
enum { IDM_TABLE_SECURITY = 4812 };

/* ---- Control ids of the driver's dialogs ---- */
enum {
    IDC_DATABASE_NAME = 304,
    IDC_TABLE_SPACE = 305,
    IDC_STORED_REQUEST_OWNER = 307,
    IDC_GROUP_ID = 308,
    IDC_SERVER_NAME = 311,
    IDC_LOGON_ID = 312,
    IDC_PASSWORD = 313,
    IDC_SYSTEM_OWNER = 315,
    IDC_CATALOG_OWNER = 316,
    IDC_LOGIN_BANNER = 317,
    IDC_PROMPT = 111,
    IDC_PROMPT_FIRST = 100, /* statics 100 to 105 of the catalog-owner dialog */
    IDC_PRIV_ALL = 1008,
    IDC_PRIV_ALTER = 1009,
    IDC_PRIV_DELETE = 1010,
    IDC_PRIV_INDEX = 1011,
    IDC_PRIV_INSERT = 1012,
    IDC_PRIV_SELECT = 1013,
    IDC_PRIV_UPDATE = 1014,
    IDC_TABLE_LIST = 1015,
    IDC_COLUMN_LIST = 1016,
    IDC_GRANTEE = 1017,
};

/* ---- String table ids (texts in db/ods/res) ---- */
enum {
    IDS_TYPE_NAME_FIRST = 1,        /* 1..10: upper-case type names, by DB2 type number */
    IDS_TYPE_NAME_LOWER_FIRST = 11, /* 11..20: lower-case type names */
    IDS_INVALID_LOGIN_ID = 100,
    IDS_INVALID_SERVER_NAME = 101,
    IDS_RESULT_SET_NOT_FOUND = 103,
    IDS_EXPLAIN_NOT_SUPPORTED = 108,
    IDS_NO_VIEW_TEXT_AUTHORITY = 109,
    IDS_ROWS_PENDING = 110,
    IDS_RESPONSE_PENDING = 111,
    IDS_NO_CONNECTION = 112, /* ours: a server request on a block without a connection */
    IDS_NO_MEMORY = 113,     /* ours: the host had no memory for the request */
    IDS_ALREADY_CONNECTED = 114, /* ours: connect on a block that is connected */
    IDS_LOGIN_FAILED = 115,  /* ours: dbopen failed and no message says why */
    IDS_CONNECT_SERVICE_UNAVAILABLE = 116, /* ours: the host's connection service refused */
    IDS_DIALOG_UNAVAILABLE = 117, /* ours: the login dialog could not be created */
    IDS_NOT_AVAILABLE = 118,      /* ours: a request this version of the driver does not serve */
    IDS_DECIMAL_NOT_HELD = 119,   /* ours: a fetched DECIMAL the host decimal cannot hold exactly */
    IDS_PARAMETER_MARKER = 125,   /* ours: a statement DB-Library refused to send for a '?' in it */
    IDS_CONNECTION_LOST = 126,    /* ours: a request failed without a word on a dead connection */
    IDS_GRANTEE_TOO_LONG = 127,   /* ours: a security grantee longer than an authorization id */
    IDS_NAME_TOO_LONG = 135,      /* ours: an extended-catalog owner or database name too long */
    IDS_FRACTION_OUT_OF_RANGE = 136, /* ours: a date/time value with a second's fraction of 1000000 us or more */
    IDS_PRIV_ALL = 1008,     /* 1008..1014: privilege words, by check-box id */
    IDS_REVOKE = 1201,
    IDS_GRANT = 1202,
    IDS_FROM = 1203,
    IDS_TO = 1204,
    IDS_ON = 1209,
    IDS_UNDO_SECURITY_CHANGES = 1210,
    IDS_LOGIN_BANNER = 1211,
    IDS_CATALOG_UNAVAILABLE = 1214,
    IDS_TABLE_SECURITY_MENU = 4812,
};

#endif
