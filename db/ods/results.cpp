/*
 * results.cpp - result description, binding and fetch: requests 22, 25, 23 and 53 to 56.
 *
 * Describe turns the current result set's DB-Library columns into ColumnDescriptors in the
 * block's result-column list; the gateway marks DB2 DECIMAL, DATE, TIME and TIMESTAMP columns,
 * which travel as text, by their user type. Binding and fetching go either through those
 * descriptors or through the host's array of ColumnBindings; after each row the values whose host
 * form differs from what DB-Library delivers are converted in place: decimals, dates and times,
 * single-precision floats. A row that came with a server warning is delivered unconverted. A
 * decimal that the host decimal cannot hold exactly stays text, and the fetch reports the row.
 */
#include <cstdint>
#include <cstring>

#include "internal.h"

namespace {

/* User type tags of the gateway's character columns (low byte of the user type). */
enum { TAG_DECIMAL = 3, TAG_DATE = 9, TAG_TIME = 10, TAG_TIMESTAMP = 11 };
enum { WARNING_SEVERITY = 4, NAME_BUFFER_SIZE = 130, NUMERIC_BUFFER_LENGTH = 44 };
enum { RESULT_MARKER_4 = 4, RESULT_MARKER_6 = 6 };
/* A boundType that matches no host type, so that the next bind request binds the column. */
enum { NOT_BOUND = -1 };

int tagOf(DBINT userType) {
    return static_cast<int>(userType & 0xFF);
}
int precisionOf(DBINT userType) {
    return static_cast<int>((static_cast<uint32_t>(userType) >> 16) & 0xFF);
}
int scaleOf(DBINT userType) {
    return static_cast<int>((static_cast<uint32_t>(userType) >> 24) & 0xFF);
}

/* The buffer length of a column bound as zero-terminated text: its longest value and the
 * terminator. The largest length, which a server may declare for text without a limit, stays. */
DBINT withTerminator(DBINT length) {
    return length < INT32_MAX ? length + 1 : length;
}

/* The descriptor fields of one result column, by its DB-Library type and user type. */
void TDX_DescribeColumnType(ColumnDescriptor* d, int type, DBINT userType, DBINT length) {
    switch (type) {
        case SYBTEXT:
            /* Bound as zero-terminated text like CHAR: a value of the full length needs the byte
             * for the terminator too. */
            d->db2Type = DB2_LONG_VARCHAR, d->hostType = HOST_LONG_TEXT, d->length = withTerminator(length);
            return;
        case SYBINTN:
        case SYBINT4:
            d->db2Type = DB2_INTEGER, d->hostType = HOST_INTEGER, d->length = 4, d->precision = 10;
            return;
        case SYBINT2:
            d->db2Type = DB2_SMALLINT, d->hostType = HOST_SMALLINT, d->length = 2, d->precision = 5;
            return;
        case SYBFLT8:
        case SYBFLTN:
            d->db2Type = DB2_FLOAT, d->hostType = HOST_DOUBLE, d->length = NUMERIC_BUFFER_LENGTH;
            return;
        case SYBMONEY:
        case SYBMONEYN:
            d->db2Type = DB2_DECIMAL, d->hostType = HOST_DECIMAL, d->length = NUMERIC_BUFFER_LENGTH,
            d->scale = 2;
            return;
        case SYBDATETIME:
        case SYBDATETIMN:
            d->db2Type = DB2_TIMESTAMP, d->hostType = HOST_DATETIME, d->length = 27;
            return;
        case SYBCHAR:
            switch (tagOf(userType)) {
                case TAG_DECIMAL:
                    d->db2Type = DB2_DECIMAL, d->hostType = HOST_DECIMAL, d->length = NUMERIC_BUFFER_LENGTH;
                    d->precision = precisionOf(userType), d->scale = scaleOf(userType);
                    return;
                case TAG_DATE:
                    d->db2Type = DB2_DATE, d->hostType = HOST_DATE, d->length = 11;
                    return;
                case TAG_TIME:
                    d->db2Type = DB2_TIME, d->hostType = HOST_TIME, d->length = 16;
                    return;
                case TAG_TIMESTAMP:
                    d->db2Type = DB2_TIMESTAMP, d->hostType = HOST_DATETIME, d->length = 27;
                    return;
                default:
                    break;
            }
            break;
        default:
            break;
    }
    d->db2Type = DB2_CHAR, d->hostType = HOST_CHAR, d->length = withTerminator(length);
}

/* The host type and buffer length of one column for request 54. */
void TDX_DescribeBinding(ColumnBinding* b, int type, DBINT userType, DBINT length) {
    switch (type) {
        case SYBBINARY:
            b->hostType = HOST_BINARY, b->length = length;
            return;
        case SYBINT1:
            b->hostType = HOST_CHAR, b->length = NUMERIC_BUFFER_LENGTH;
            return;
        case SYBINT2:
            b->hostType = HOST_VARCHAR, b->length = NUMERIC_BUFFER_LENGTH;
            return;
        case SYBINT4:
            b->hostType = HOST_INTEGER, b->length = 4;
            return;
        case SYBMONEY:
            b->hostType = HOST_MONEY, b->length = NUMERIC_BUFFER_LENGTH;
            return;
        case SYBDATETIME:
            b->hostType = HOST_DATETIME, b->length = 27;
            return;
        case SYBFLT8:
            b->hostType = HOST_DOUBLE, b->length = NUMERIC_BUFFER_LENGTH;
            return;
        case SYBCHAR:
            switch (tagOf(userType)) {
                case TAG_DECIMAL:
                    b->hostType = HOST_DECIMAL, b->length = NUMERIC_BUFFER_LENGTH,
                    b->scale = scaleOf(userType);
                    return;
                case TAG_TIMESTAMP:
                    b->hostType = HOST_DATETIME, b->length = 27;
                    return;
                case TAG_DATE:
                    b->hostType = HOST_DATE, b->length = 27;
                    return;
                case TAG_TIME:
                    b->hostType = HOST_TIME, b->length = 27;
                    return;
                default:
                    break;
            }
            break;
        default:
            break;
    }
    b->hostType = HOST_CHAR, b->length = withTerminator(length);
}

struct BindChoice {
    int32_t driverType;
    DBINT varlen; /* 0: the column's own length */
};

/* Request 25's bind table, by host type. */
BindChoice TDX_DescriptorBind(int32_t hostType) {
    switch (hostType) {
        case HOST_DOUBLE:
        case HOST_REAL:
            return {KW_BIND_DOUBLE, NUMERIC_BUFFER_LENGTH};
        case HOST_INTEGER:
        case 20:
        case 22:
            return {KW_BIND_INT, NUMERIC_BUFFER_LENGTH};
        case HOST_SMALLINT:
        case 19:
            return {KW_BIND_SMALLINT, NUMERIC_BUFFER_LENGTH};
        case 11:
            return {KW_BIND_STRING, NUMERIC_BUFFER_LENGTH};
        default:
            return {KW_BIND_TEXT, 0};
    }
}

/* Request 55's bind table, by host type. */
BindChoice TDX_BindingBind(int32_t hostType) {
    switch (hostType) {
        case HOST_DOUBLE:
        case HOST_REAL:
            return {KW_BIND_DOUBLE, NUMERIC_BUFFER_LENGTH};
        case HOST_INTEGER:
        case 20:
        case 22:
            return {KW_BIND_INT, NUMERIC_BUFFER_LENGTH};
        case HOST_SMALLINT:
        case 11:
        case 19:
            return {KW_BIND_SMALLINT, NUMERIC_BUFFER_LENGTH};
        case HOST_DATE:
        case HOST_TIME:
        case HOST_DATETIME:
            return {KW_BIND_TEXT, 27};
        case HOST_BINARY:
            return {KW_BIND_BINARY, 0};
        case HOST_MONEY:
            return {KW_BIND_MONEY, NUMERIC_BUFFER_LENGTH};
        default:
            return {KW_BIND_TEXT, 0};
    }
}

}  // namespace

bool TDX_ConvertValue(void* buffer, int32_t hostType) {
    switch (hostType) {
        case HOST_DECIMAL: {
            HostDecimal value{};
            if (kwshr_textToDecimal(&value, static_cast<const char*>(buffer)) == 0) {
                return false;
            }
            std::memcpy(buffer, &value, sizeof value);
            break;
        }
        case HOST_DATE:
        case HOST_TIME:
        case HOST_DATETIME: {
            DateTimeValue value{};
            TDX_ParseDateTime(&value, static_cast<const char*>(buffer), hostType);
            std::memcpy(buffer, &value, sizeof value);
            break;
        }
        case HOST_REAL: {
            double wide = 0;
            std::memcpy(&wide, buffer, sizeof wide);
            const float narrow = static_cast<float>(wide);
            std::memcpy(buffer, &narrow, sizeof narrow);
            break;
        }
        default:
            break;
    }
    return true;
}

namespace {

/* Converts the value of column c of the row just fetched. A value without a host form keeps the
 * text it was delivered as, and its indicator says so with the buffer length, as for a row
 * delivered unconverted; the first such column of the row becomes the request's failure, so the
 * host never takes the text for a value. */
void TDX_ConvertColumn(RequestBlock* block, int column, void* buffer, int32_t hostType, int32_t length,
                       int32_t* indicator) {
    if (TDX_ConvertValue(buffer, hostType)) {
        return;
    }
    if (indicator != nullptr) {
        *indicator = length;
    }
    if (block->status != KW_STATUS_OK) {
        return;
    }
    TDX_LoadFormattedMessage(block, IDS_DECIMAL_NOT_HELD, column, static_cast<const char*>(buffer));
    block->status = KW_STATUS_DRIVER_FAILURE;
}

/* Whether a bound buffer holds what DB-Library writes for a NULL of that bind type (the default
 * null values, which the driver never changes). A buffer that does not cannot be NULL, and asking
 * DB-Library for the length of every column of every row is a noticeable part of a fetch. */
bool TDX_MayHoldNull(const void* buffer, int32_t driverType) {
    if (buffer == nullptr) {
        return true;
    }
    const auto* bytes = static_cast<const unsigned char*>(buffer);
    auto allZero = [bytes](std::size_t count) {
        for (std::size_t i = 0; i < count; ++i) {
            if (bytes[i] != 0) {
                return false;
            }
        }
        return true;
    };
    switch (driverType) {
        case KW_BIND_TEXT:
        case KW_BIND_STRING:
            return bytes[0] == 0;
        case KW_BIND_SMALLINT:
            return allZero(sizeof(int16_t));
        case KW_BIND_INT:
            return allZero(sizeof(int32_t));
        case KW_BIND_DOUBLE:
            return allZero(sizeof(double));
        default:
            return true;
    }
}

/* The indicator of column c of the row just fetched into its bound buffer; the value is converted
 * when it is 0. */
int32_t TDX_Indicator(RequestBlock* block, int column, int32_t length, const void* buffer,
                      int32_t driverType) {
    if (TDX_MayHoldNull(buffer, driverType) && dbdatlen(block->dbproc, column) == 0) {
        return -1;
    }
    return block->status == KW_STATUS_ROW_WITH_WARNING ? length : 0;
}

/* The message check after a fetched row: answers whether the row is to be converted. */
bool TDX_CheckRowMessages(RequestBlock* block) {
    MessageRecord* record = TDX_CollectServerMessage(block);
    if (record == nullptr) {
        return true;
    }
    const bool warning = record->severity == WARNING_SEVERITY;
    TDX_ReportRecord(block, record);
    if (!warning) {
        return false;
    }
    block->status = KW_STATUS_ROW_WITH_WARNING;
    return true;
}

void TDX_FreeDescriptor(RequestBlock* block, ColumnDescriptor* descriptor) {
    if (descriptor->name != nullptr) {
        kwshr_free(block->memoryContext, descriptor->name);
    }
    kwshr_free(block->memoryContext, descriptor);
}

/* Builds the descriptor of column c and appends it; answers false when memory ran out. */
bool TDX_AppendDescriptor(RequestBlock* block, int column) {
    auto* d =
        static_cast<ColumnDescriptor*>(kwshr_allocate(block->memoryContext, sizeof(ColumnDescriptor), 0));
    if (d == nullptr) {
        return false;
    }
    std::memset(d, 0, sizeof *d);
    d->name = static_cast<char*>(kwshr_allocate(block->memoryContext, NAME_BUFFER_SIZE, 0));
    if (d->name == nullptr) {
        TDX_FreeDescriptor(block, d);
        return false;
    }
    std::memset(d->name, 0, NAME_BUFFER_SIZE);
    TDX_CopyText(d->name, NAME_BUFFER_SIZE, dbcolname(block->dbproc, column));
    CharLowerA(d->name);
    d->nameNotIdentifier = TDX_IsIdentifierText(d->name) ? 0 : 1;
    d->resultMarker4 = RESULT_MARKER_4;
    d->resultMarker6 = RESULT_MARKER_6;
    TDX_DescribeColumnType(d, dbcoltype(block->dbproc, column), dbcolutype(block->dbproc, column),
                           dbcollen(block->dbproc, column));
    if (kwshr_appendToList(block->resultColumns, d) == 0) {
        TDX_FreeDescriptor(block, d);
        return false;
    }
    return true;
}

}  // namespace

void TDX_Describe(RequestBlock* block) {
    kwshr_releaseBlockData(block);
    const int columns = dbnumcols(block->dbproc);
    if (columns > 0) {
        block->resultColumns = kwshr_createList(block->memoryContext, 0);
        bool complete = block->resultColumns != nullptr;
        for (int c = 1; complete && c <= columns; ++c) {
            complete = TDX_AppendDescriptor(block, c);
        }
        if (!complete) {
            kwshr_releaseBlockData(block);
            TDX_ReportNoMemory(block);
        }
    }
    if (block->inValue == 0) {
        TDX_EndCompileOnlyDescribe(block);
    }
}

void TDX_BindDescriptors(RequestBlock* block) {
    HostList* list = block->resultColumns;
    if (list == nullptr) {
        return;
    }
    int column = 1;
    for (HostListNode* node = list->first; node != nullptr; node = node->next, ++column) {
        auto* d = static_cast<ColumnDescriptor*>(node->data);
        const BindChoice bind = TDX_DescriptorBind(d->hostType);
        if (TDX_Bind(block->dbproc, column, bind.driverType, bind.varlen != 0 ? bind.varlen : d->length,
                     d->buffer) == FAIL) {
            TDX_ReportFailure(block);
            return;
        }
        if (node == list->last) {
            break;
        }
    }
}

void TDX_Fetch(RequestBlock* block) {
    const RETCODE rc = dbnextrow(block->dbproc);
    if (rc == NO_MORE_ROWS) {
        /* An error raised after the rows already delivered (an overflow in a later row, say)
         * arrives with the end of the result set: it is the answer, not the end of the data. */
        if (!TDX_ReportPendingError(block)) {
            block->status = KW_STATUS_NO_DATA;
        }
        return;
    }
    if (rc == FAIL) {
        TDX_ReportFailure(block);
        return;
    }
    if (!TDX_CheckRowMessages(block) || block->resultColumns == nullptr) {
        return;
    }
    HostList* list = block->resultColumns;
    int column = 1;
    for (HostListNode* node = list->first; node != nullptr; node = node->next, ++column) {
        auto* d = static_cast<ColumnDescriptor*>(node->data);
        /* Request 25 bound every column to the buffer it names. */
        const int32_t indicator =
            TDX_Indicator(block, column, d->length, d->buffer, TDX_DescriptorBind(d->hostType).driverType);
        if (d->indicator != nullptr) {
            *d->indicator = indicator;
        }
        if (indicator == 0 && d->buffer != nullptr) {
            TDX_ConvertColumn(block, column, d->buffer, d->hostType, d->length, d->indicator);
        }
        if (node == list->last) {
            break;
        }
    }
}

void TDX_DescribeBindings(RequestBlock* block) {
    if (block->bindArray == nullptr) {
        return;
    }
    for (int c = 1; c <= block->bindCount; ++c) {
        ColumnBinding* b = &block->bindArray[c - 1];
        TDX_DescribeBinding(b, dbcoltype(block->dbproc, c), dbcolutype(block->dbproc, c),
                            dbcollen(block->dbproc, c));
    }
}

void TDX_BindBindings(RequestBlock* block) {
    if (block->bindArray == nullptr) {
        return;
    }
    for (int c = 1; c <= block->bindCount; ++c) {
        ColumnBinding* b = &block->bindArray[c - 1];
        if (b->boundType == b->hostType) {
            continue;
        }
        b->boundType = b->hostType;
        const BindChoice bind = TDX_BindingBind(b->hostType);
        if (TDX_Bind(block->dbproc, c, bind.driverType, bind.varlen != 0 ? bind.varlen : b->length,
                     b->buffer) == FAIL) {
            TDX_ReportFailure(block);
            return;
        }
    }
}

void TDX_FetchBindings(RequestBlock* block) {
    const RETCODE rc = dbnextrow(block->dbproc);
    if (rc == NO_MORE_ROWS) {
        /* The error that ended this result set is reported before the next one is looked at. */
        if (TDX_ReportPendingError(block)) {
            return;
        }
        const RETCODE next = dbresults(block->dbproc);
        if (next == SUCCEED && block->bindArray != nullptr) {
            /* DB-Library forgets the bindings of a result set when the next one becomes current:
             * the next bind request must bind every column again. */
            for (int c = 0; c < block->bindCount; ++c) {
                block->bindArray[c].boundType = NOT_BOUND;
            }
        }
        if (TDX_ReportPendingError(block)) {
            return; /* a later statement of the batch failed */
        }
        if (next == NO_MORE_RESULTS) {
            block->status = KW_STATUS_NO_MORE_RESULTS;
        } else if (next == FAIL) {
            TDX_ReportFailure(block);
        } else {
            block->status = KW_STATUS_NO_DATA;
        }
        return;
    }
    if (rc == FAIL) {
        TDX_ReportFailure(block);
        return;
    }
    if (!TDX_CheckRowMessages(block) || block->bindArray == nullptr) {
        return;
    }
    for (int c = 1; c <= block->bindCount; ++c) {
        ColumnBinding* b = &block->bindArray[c - 1];
        /* A binding's buffer may have moved since it was bound (only a changed type is bound
         * again), so the length is always asked here. */
        const int32_t indicator = TDX_Indicator(block, c, b->length, nullptr, KW_BIND_TEXT);
        if (b->indicator != nullptr) {
            *b->indicator = indicator;
        }
        if (indicator == 0 && b->buffer != nullptr) {
            TDX_ConvertColumn(block, c, b->buffer, b->hostType, b->length, b->indicator);
        }
    }
}
