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
#include <array>
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
constexpr BindChoice TDX_DescriptorBind(int32_t hostType) {
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
constexpr BindChoice TDX_BindingBind(int32_t hostType) {
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

/* How the fetch turns a value of a host type from what DB-Library delivers into the host's form. */
enum Conversion : uint8_t {
    CONVERT_NONE,      /* delivered as the host keeps it */
    CONVERT_DECIMAL,   /* decimal text into the host decimal */
    CONVERT_DATE_TIME, /* date, time or timestamp text into a DateTimeValue */
    CONVERT_REAL,      /* an 8-byte double into a 4-byte float */
};

constexpr Conversion TDX_ConversionOf(int32_t hostType) {
    switch (hostType) {
        case HOST_DECIMAL:
            return CONVERT_DECIMAL;
        case HOST_DATE:
        case HOST_TIME:
        case HOST_DATETIME:
            return CONVERT_DATE_TIME;
        case HOST_REAL:
            return CONVERT_REAL;
        default:
            return CONVERT_NONE;
    }
}

/* The bytes of what DB-Library writes for a NULL of that bind type (its default null values, which
 * the driver never changes) that tell it from a value; 0 when no bytes do. */
constexpr uint8_t TDX_NullWidth(int32_t driverType) {
    switch (driverType) {
        case KW_BIND_TEXT:
        case KW_BIND_STRING:
            return 1; /* an empty text */
        case KW_BIND_SMALLINT:
            return sizeof(int16_t);
        case KW_BIND_INT:
            return sizeof(int32_t);
        case KW_BIND_DOUBLE:
            return sizeof(double);
        default:
            return 0;
    }
}

/* What the fetch needs for a column of one host type, in one byte: the null width of request
 * 25's bind type for it, whether request 25 binds it with the numeric buffer length rather than
 * the column's own, and the conversion of its value. */
enum : uint8_t { RULE_NULL_WIDTH = 0x0F, RULE_NUMERIC_LENGTH = 0x10, RULE_CONVERSION_SHIFT = 5 };
constexpr uint8_t TDX_FetchRule(int32_t hostType) {
    const BindChoice bind = TDX_DescriptorBind(hostType);
    return static_cast<uint8_t>(TDX_NullWidth(bind.driverType) |
                                (bind.varlen == NUMERIC_BUFFER_LENGTH ? RULE_NUMERIC_LENGTH : 0) |
                                TDX_ConversionOf(hostType) << RULE_CONVERSION_SHIFT);
}
constexpr Conversion TDX_RuleConversion(unsigned rule) {
    return static_cast<Conversion>(rule >> RULE_CONVERSION_SHIFT);
}
/* Request 25 binds with the column's length or the numeric buffer length, nothing else. */
static_assert([] {
    for (int32_t t = -1; t <= 40; ++t) {
        const DBINT varlen = TDX_DescriptorBind(t).varlen;
        if (varlen != 0 && varlen != NUMERIC_BUFFER_LENGTH) {
            return false;
        }
    }
    return true;
}());

/* The rules of the host types the bind tables name, a byte each. Every other host type is bound
 * and fetched as text, as HOST_CHAR is. */
enum { HOST_TYPE_LAST = 22 };
constexpr auto kFetchRules = [] {
    std::array<uint8_t, HOST_TYPE_LAST + 1> rules{};
    for (size_t t = 0; t < rules.size(); ++t) {
        rules[t] = TDX_FetchRule(static_cast<int32_t>(t));
    }
    return rules;
}();
constexpr uint8_t kOtherTypeRule = TDX_FetchRule(HOST_CHAR);
static_assert([] {
    for (int32_t t = -256; t <= 1024; ++t) {
        if ((t < 0 || t > HOST_TYPE_LAST) && TDX_FetchRule(t) != kOtherTypeRule) {
            return false;
        }
    }
    return true;
}());

unsigned TDX_FetchRuleOf(int32_t hostType) {
    const auto t = static_cast<uint32_t>(hostType);
    return t < kFetchRules.size() ? kFetchRules[t] : kOtherTypeRule;
}

/* The bytes DB-Library may write into the buffer request 25 bound for a column of `length`. */
size_t TDX_BoundSize(unsigned rule, int32_t length) {
    const int32_t varlen = (rule & RULE_NUMERIC_LENGTH) != 0 ? int32_t{NUMERIC_BUFFER_LENGTH} : length;
    return varlen > 0 ? static_cast<size_t>(varlen) : 0;
}

bool TDX_Convert(void* buffer, size_t size, int32_t hostType, Conversion conversion) {
    switch (conversion) {
        case CONVERT_DECIMAL: {
            HostDecimal value{};
            if (kwshr_textToDecimal(&value, static_cast<const char*>(buffer)) == 0) {
                return false;
            }
            std::memcpy(buffer, &value, sizeof value);
            break;
        }
        case CONVERT_DATE_TIME:
            TDX_ParseDateTimeIn(static_cast<DateTimeValue*>(buffer), static_cast<const char*>(buffer), size,
                                hostType);
            break;
        case CONVERT_REAL: {
            double wide = 0;
            std::memcpy(&wide, buffer, sizeof wide);
            const float narrow = static_cast<float>(wide);
            std::memcpy(buffer, &narrow, sizeof narrow);
            break;
        }
        case CONVERT_NONE:
            break;
    }
    return true;
}

}  // namespace

bool TDX_ConvertValueIn(void* buffer, size_t size, int32_t hostType) {
    return TDX_Convert(buffer, size, hostType, TDX_RuleConversion(TDX_FetchRuleOf(hostType)));
}

bool TDX_ConvertValue(void* buffer, int32_t hostType) {
    return TDX_ConvertValueIn(buffer, 0, hostType);
}

namespace {

/* Converts the value of column c of the row just fetched. A value without a host form keeps the
 * text it was delivered as, and its indicator says so with the buffer length, as for a row
 * delivered unconverted; the first such column of the row becomes the request's failure, so the
 * host never takes the text for a value. */
void TDX_ConvertColumn(RequestBlock* block, int column, void* buffer, size_t size, int32_t hostType,
                       Conversion conversion, int32_t length, int32_t* indicator) {
    if (TDX_Convert(buffer, size, hostType, conversion)) {
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

/* Whether a bound buffer may hold a NULL: whether its first `width` bytes are zero, as DB-Library
 * leaves them for a NULL (width 0: nothing tells). A buffer that cannot hold one has a value, and
 * asking DB-Library for the length of every column of every row is a noticeable part of a fetch. */
bool TDX_MayHoldNull(const void* buffer, unsigned width) {
    if (buffer == nullptr) {
        return true;
    }
    auto isZero = [buffer](auto zero) {
        std::memcpy(&zero, buffer, sizeof zero);
        return zero == 0;
    };
    if (width == 1) { /* text, nearly every column */
        return isZero(uint8_t{});
    }
    switch (width) {
        case 2:
            return isZero(uint16_t{});
        case 4:
            return isZero(uint32_t{});
        case 8:
            return isZero(uint64_t{}); /* every byte zero, not a negative zero */
        default:
            return true;
    }
}

/* The indicator of column c of the row just fetched into its bound buffer, whose first `nullWidth`
 * bytes tell a NULL (0: DB-Library is asked); the value is converted when it is 0. A row that came
 * with a warning is delivered unconverted. */
int32_t TDX_Indicator(RequestBlock* block, int column, int32_t length, const void* buffer, unsigned nullWidth,
                      bool warning) {
    if (TDX_MayHoldNull(buffer, nullWidth) && dbdatlen(block->dbproc, column) == 0) {
        return -1;
    }
    return warning ? length : 0;
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

namespace {

/* The indicator and the conversion of column c of the row just fetched into `buffer`, for a
 * buffer that may hold a NULL or none at all: DB-Library is asked for the value's length. */
template <bool warning>
[[gnu::noinline]] void TDX_FetchMaybeNull(RequestBlock* block, int column, const ColumnDescriptor* d,
                                          void* buffer, unsigned rule) {
    int32_t* const indicatorOut = d->indicator;
    const int32_t indicator = TDX_Indicator(block, column, d->length, nullptr, 0, warning);
    if (indicatorOut != nullptr) {
        *indicatorOut = indicator;
    }
    const Conversion conversion = TDX_RuleConversion(rule);
    if (conversion != CONVERT_NONE && indicator == 0 && buffer != nullptr) {
        TDX_ConvertColumn(block, column, buffer, TDX_BoundSize(rule, d->length), d->hostType, conversion,
                          d->length, indicatorOut);
    }
}

/* Sets the indicator of column c of the row just fetched through its descriptor, and converts
 * its value. A buffer that cannot hold a NULL holds a value, which is converted unless the row
 * came with a warning. */
template <bool warning>
void TDX_FetchColumn(RequestBlock* block, int column, const ColumnDescriptor* d) {
    /* Request 25 bound the column to the buffer it names. */
    void* const buffer = d->buffer;
    const unsigned rule = TDX_FetchRuleOf(d->hostType);
    if (TDX_MayHoldNull(buffer, rule & RULE_NULL_WIDTH)) {
        TDX_FetchMaybeNull<warning>(block, column, d, buffer, rule);
        return;
    }
    int32_t* const indicatorOut = d->indicator;
    const int32_t indicator = warning ? d->length : 0;
    if (indicatorOut != nullptr) {
        *indicatorOut = indicator;
    }
    const Conversion conversion = TDX_RuleConversion(rule);
    if (conversion != CONVERT_NONE && indicator == 0) {
        TDX_ConvertColumn(block, column, buffer, TDX_BoundSize(rule, d->length), d->hostType, conversion,
                          d->length, indicatorOut);
    }
}

/* Sets the indicators of the row just fetched through the descriptors and converts its values.
 * Made once for a row that came with a warning and once for every other row, which then needs no
 * look at the warning for each column. */
template <bool warning>
void TDX_ConvertDescriptorColumns(RequestBlock* block, const HostList* list) {
    const HostListNode* const last = list->last;
    int column = 1;
    for (const HostListNode* node = list->first; node != nullptr; node = node->next, ++column) {
        TDX_FetchColumn<warning>(block, column, static_cast<const ColumnDescriptor*>(node->data));
        if (node == last) {
            break;
        }
    }
}

void TDX_ConvertDescriptorRow(RequestBlock* block) {
    if (block->status == KW_STATUS_ROW_WITH_WARNING) {
        TDX_ConvertDescriptorColumns<true>(block, block->resultColumns);
    } else {
        TDX_ConvertDescriptorColumns<false>(block, block->resultColumns);
    }
}

/* Sets the indicators of the row just fetched through the host's bindings and converts its values. */
void TDX_ConvertBindingRow(RequestBlock* block) {
    const bool warning = block->status == KW_STATUS_ROW_WITH_WARNING;
    for (int c = 1; c <= block->bindCount; ++c) {
        ColumnBinding* b = &block->bindArray[c - 1];
        /* A binding's buffer may have moved since it was bound (only a changed type is bound
         * again), so the length is always asked here, and the buffer's size is not known. */
        const int32_t indicator = TDX_Indicator(block, c, b->length, nullptr, 0, warning);
        if (b->indicator != nullptr) {
            *b->indicator = indicator;
        }
        const Conversion conversion = TDX_RuleConversion(TDX_FetchRuleOf(b->hostType));
        if (conversion != CONVERT_NONE && indicator == 0 && b->buffer != nullptr) {
            TDX_ConvertColumn(block, c, b->buffer, 0, b->hostType, conversion, b->length, b->indicator);
        }
    }
}

}  // namespace

/* Marked hot, like the router's entry and the date reading: the compiler keeps the code a fetched
 * row runs together, in few lines and pages, which the work between two rows has often pushed out. */
[[gnu::hot]] void TDX_Fetch(RequestBlock* block) {
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
    if (TDX_CheckRowMessages(block) && block->resultColumns != nullptr) {
        TDX_ConvertDescriptorRow(block);
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
    if (TDX_CheckRowMessages(block) && block->bindArray != nullptr) {
        TDX_ConvertBindingRow(block);
    }
}
