/*
 * internal.h - what the files of the shared runtime (libkwshr050) share with each other and with
 * nobody else: context ownership checks, the trace writer, ASCII case folding and the guard that
 * keeps C++ exceptions inside the library. Nothing here is exported; the C interface the driver
 * and the hosts see is kwshr.h.
 */
#ifndef KW_SHR_INTERNAL_H
#define KW_SHR_INTERNAL_H

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "kwshr.h"

namespace shr {

/* Whether `memory` is a live allocation of `ctx` (false for a null context or pointer). */
bool contextOwns(KWCTX ctx, const void* memory);

/* Frees `memory` when `ctx` handed it out and leaves it alone (without counting a foreign free)
 * otherwise: for fields that may hold either the context's copy or a caller's own text. */
void freeIfOwned(KWCTX ctx, void* memory);

/* Appends one line to the trace ring and the trace file. Never throws. */
void traceLine(std::string_view text) noexcept;

/* ASCII-only case folding and comparison: locale-independent, as keys and names must be. */
inline char foldAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}
int compareIgnoringCase(std::string_view a, std::string_view b);
bool equalIgnoringCase(std::string_view a, std::string_view b);

/* Copies `text` into `buffer` of `size` bytes, cut to size - 1 characters and terminated;
 * answers the number of characters copied (0 when there is no room at all). */
int32_t copyCut(std::string_view text, char* buffer, int32_t size);

/* Runs `body` and turns any exception into `fallback`, so that none crosses the C interface. */
template <typename T, typename Body>
T guarded(T fallback, Body&& body) noexcept {
    try {
        return body();
    } catch (...) {
        traceLine("kwshr: internal failure (exception caught at the interface)");
        return fallback;
    }
}
template <typename Body>
void guardedVoid(Body&& body) noexcept {
    try {
        body();
    } catch (...) {
        traceLine("kwshr: internal failure (exception caught at the interface)");
    }
}

}  // namespace shr

#endif
