/*
 * catalog.cpp - system catalog queries: tables, columns, indexes, primary and foreign keys.
 *
 * For now it holds the key function of the dependent-table set, which the module exports; the
 * catalog requests arrive with the catalog subsystem (until then the router answers them with
 * status 0).
 */
#include "internal.h"

/* A dependent-table record begins with its key text, so the record itself is its key. */
char* TDX_FKListHashString(void* record) {
    return static_cast<char*>(record);
}
