/*
 * bind.cpp - the driver's DB-Library bind types and the one function every dbbind goes through.
 *
 * The driver's tables name bind types by small numbers of its own (2 a 16-bit integer, 13
 * zero-terminated text without trailing blanks, ...). FreeTDS numbers its bind types differently,
 * so each number is mapped here, once, to the FreeTDS constant with the behaviour the driver
 * relies on. A number the table does not know is refused rather than passed on.
 */
#include "internal.h"

namespace {

struct BindMapping {
    int32_t driverType;
    int dblibType;
};

/* What each driver number relies on, and the FreeTDS bind type that behaves so. */
constexpr BindMapping kBindTypes[] = {
    {KW_BIND_STRING, TINYBIND},    /* host type 11: one byte, read by the host itself */
    {KW_BIND_SMALLINT, SMALLBIND}, /* 16-bit integer */
    {KW_BIND_INT, INTBIND},        /* 32-bit integer */
    {KW_BIND_CHARS, CHARBIND},     /* characters as they are, not terminated */
    {KW_BIND_BINARY, BINARYBIND},  /* host type 15: binary columns, read by the host itself */
    {KW_BIND_MONEY, MONEYBIND},    /* host type 17: money columns, read by the host itself */
    {KW_BIND_DOUBLE, FLT8BIND},    /* 8-byte double */
    {KW_BIND_TEXT, NTBSTRINGBIND}, /* zero-terminated, trailing blanks removed */
};
static_assert(sizeof kBindTypes / sizeof kBindTypes[0] == 8, "every bind number the driver uses is mapped");

}  // namespace

int TDX_DbLibBindType(int32_t driverType) {
    for (const BindMapping& mapping : kBindTypes) {
        if (mapping.driverType == driverType) {
            return mapping.dblibType;
        }
    }
    return -1;
}

RETCODE TDX_Bind(DBPROCESS* dbproc, int column, int32_t driverType, DBINT varlen, void* variable) {
    const int dblibType = TDX_DbLibBindType(driverType);
    if (dblibType < 0) {
        return FAIL;
    }
    return dbbind(dbproc, column, dblibType, varlen, static_cast<BYTE*>(variable));
}
