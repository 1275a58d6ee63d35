/*
 * registry.h - the process-wide state of the USER layer: its lock and its handle space.
 *
 * Every window, menu, cursor and module instance is named by a small integer in 1..65535 carried
 * in a pointer-typed handle, so that a window and a control id fit in one 32-bit value. A handle
 * names one live object at a time; it is handed out again only after the allocator has gone round
 * the whole space. The lock guards all of the layer's state; it is never held while a dialog
 * procedure, a presenter or a test callback runs, because those call back into the layer.
 */
#ifndef KWUSER_REGISTRY_H
#define KWUSER_REGISTRY_H

#include <cstdint>
#include <mutex>

#include "kwuser.h"

namespace kwuser {

using Lock = std::unique_lock<std::mutex>;

/* The one lock over the layer's state. */
std::mutex& stateMutex();
inline Lock lockState() {
    return Lock(stateMutex());
}

enum class HandleKind : uint8_t { Free, Window, Menu, Cursor, Module };

/* Lock held. Answers a free handle number, or 0 when all 65535 are in use. */
uint16_t allocateHandle(HandleKind kind);
void releaseHandle(uint16_t number);
HandleKind handleKind(uint16_t number);

/* A handle's number, or 0 when the value cannot name an object of the layer. */
template <class Handle>
uint16_t handleNumber(Handle handle) {
    auto value = reinterpret_cast<uintptr_t>(handle);
    return value < 65536 ? static_cast<uint16_t>(value) : 0;
}
template <class Handle>
Handle makeHandle(uint16_t number) {
    return reinterpret_cast<Handle>(static_cast<uintptr_t>(number));
}

/* Runs body and answers its value, or fallback if it throws: no exception leaves an exported
 * function of the layer. */
template <class T, class Body>
T shielded(T fallback, Body&& body) noexcept {
    try {
        return body();
    } catch (...) {
        return fallback;
    }
}
template <class Body>
void shieldedVoid(Body&& body) noexcept {
    try {
        body();
    } catch (...) {
    }
}

}  // namespace kwuser

#endif
