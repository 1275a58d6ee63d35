/*
 * strings.cpp - the module's string table.
 *
 * Every text the driver shows or writes from its resources, by id: the DB2 type names the DDL and
 * the type pickers use, the messages of the router, the dialogs and the catalog requests, the
 * pieces of GRANT and REVOKE statements. Ids are part of the host interface (kwconst.h).
 */
#include "res/resources.h"

constinit const KwStringResource TDX_STRINGS[] = {
    {1, "CHAR"},
    {2, "VARCHAR"},
    {3, "INTEGER"},
    {4, "SMALLINT"},
    {5, "FLOAT"},
    {6, "LONG VARCHAR"},
    {7, "DECIMAL"},
    {8, "DATE"},
    {9, "TIME"},
    {10, "TIMESTAMP"},
    {11, "char"},
    {12, "varchar"},
    {13, "int"},
    {14, "smallint"},
    {15, "float"},
    {16, "long varchar"},
    {17, "decimal"},
    {18, "date"},
    {19, "time"},
    {20, "timestamp"},
    {IDS_INVALID_LOGIN_ID, "Invalid login id entered"},
    {IDS_INVALID_SERVER_NAME, "Invalid server name entered"},
    {IDS_RESULT_SET_NOT_FOUND, "Requested result set number %u not found"},
    {IDS_EXPLAIN_NOT_SUPPORTED, "Explain option is not supported by Tandrex, Inc."},
    {IDS_NO_VIEW_TEXT_AUTHORITY, "You do not have the authority to see the text for this view."},
    {IDS_ROWS_PENDING, "Only cancel command is allowed when rows are pending."},
    {IDS_RESPONSE_PENDING, "Only cancel command is allowed when the response from the server is pending."},
    {IDS_NO_CONNECTION, "This request needs a database connection, and none is open for it."},
    {IDS_NO_MEMORY, "The host could not provide the memory this request needs."},
    {IDS_ALREADY_CONNECTED, "This transaction is connected already; disconnect it before connecting again."},
    {IDS_LOGIN_FAILED, "The connection to the database server could not be opened."},
    {IDS_CONNECT_SERVICE_UNAVAILABLE, "The database connection service of the host is not available."},
    {IDS_DIALOG_UNAVAILABLE, "The login dialog could not be shown."},
    {IDS_NOT_AVAILABLE, "Request %d is not available in this version of the driver."},
    {IDS_DECIMAL_NOT_HELD,
     "The row was not converted: column %d holds the DECIMAL value %s, which the host's "
     "decimal cannot hold exactly (at most 28 digits after the point, 28 or 29 in all)."},
    {IDS_PARAMETER_MARKER,
     "The statement was not sent: DB-Library takes a question mark outside quotes and comments "
     "for a parameter marker, and a statement has no parameters. Quote the question mark "
     "or remove it."},
    {IDS_CONNECTION_LOST,
     "The connection to the database server was lost: the server closed it or can no longer "
     "be reached. Disconnect, then connect again."},
    {IDS_GRANTEE_TOO_LONG,
     "The user ID \"%s\" is longer than 8 characters, the most a DB2 authorization ID holds. "
     "Correct it; the privilege changes stay pending."},
    {IDS_NAME_TOO_LONG,
     "The %s name is longer than %d characters, the most the extended attribute catalog takes; "
     "nothing was sent."},
    {IDS_FRACTION_OUT_OF_RANGE,
     "The date/time value holds a fraction of %lu microseconds; a fraction of a second is below "
     "1000000. No literal was built."},
    {1008, "ALL"},
    {1009, "ALTER"},
    {1010, "DELETE"},
    {1011, "INDEX"},
    {1012, "INSERT"},
    {1013, "SELECT"},
    {1014, "UPDATE"},
    {IDS_REVOKE, "REVOKE "},
    {IDS_GRANT, "GRANT "},
    {IDS_FROM, " FROM "},
    {IDS_TO, " TO "},
    {IDS_ON, " ON "},
    {IDS_UNDO_SECURITY_CHANGES, "About to undo all security \n  changes, are you sure?"},
    {IDS_LOGIN_BANNER, "Logon to Tandrex DB2 Server:"},
    {IDS_CATALOG_UNAVAILABLE, "Catalog tables could not be created and are not available for use."},
    {IDS_TABLE_SECURITY_MENU, "Table &Security..."},
};
constinit const int TDX_STRING_COUNT = sizeof TDX_STRINGS / sizeof TDX_STRINGS[0];

/* The type names are indexed by DB2 type number (upper case) and that number plus 10. */
static_assert(int{IDS_TYPE_NAME_FIRST} == int{DB2_CHAR} &&
              int{IDS_TYPE_NAME_LOWER_FIRST} == int{DB2_TYPE_COUNT} + 1);
static_assert(sizeof TDX_STRINGS / sizeof TDX_STRINGS[0] == 2 * DB2_TYPE_COUNT + 36);
