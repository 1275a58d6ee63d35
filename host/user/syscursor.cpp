/*
 * syscursor.cpp - the system cursors and the current cursor.
 *
 * Serves LoadCursorA, SetCursor and GetCursor. Each system cursor gets a handle the first time it
 * is asked for and keeps it for the life of the process, so LoadCursorA(null, IDC_WAIT) always
 * answers the same handle. Nothing is drawn; the current cursor starts as the arrow.
 */
#include "registry.h"

namespace kwuser {
namespace {

constexpr uint16_t kArrow = 32512;

/* The standard system cursor ids (IDC_ARROW ... IDC_HELP). */
constexpr uint16_t kSystemCursorIds[] = {32512, 32513, 32514, 32515, 32516, 32642, 32643,
                                         32644, 32645, 32646, 32648, 32649, 32650, 32651};
constexpr size_t kSystemCursorCount = sizeof kSystemCursorIds / sizeof kSystemCursorIds[0];
static_assert(kSystemCursorCount == 14,
              "arrow, I-beam, wait, cross, up arrow, four sizes, size all, no, hand, "
              "app starting, help");
static_assert(kSystemCursorIds[0] == kArrow && kSystemCursorIds[2] == 32514,
              "IDC_ARROW and IDC_WAIT are listed");

struct CursorState {
    uint16_t handles[kSystemCursorCount] = {};
    uint16_t current = 0;
    bool started = false;
};

CursorState& cursors() {
    static CursorState state;
    return state;
}

/* Lock held. The handle of a system cursor, made on first use; 0 for an id that names none. */
uint16_t systemCursor(uint16_t id) {
    for (size_t i = 0; i < kSystemCursorCount; ++i) {
        if (kSystemCursorIds[i] == id) {
            uint16_t& handle = cursors().handles[i];
            if (handle == 0) {
                handle = allocateHandle(HandleKind::Cursor);
            }
            return handle;
        }
    }
    return 0;
}

/* Lock held. */
uint16_t& currentCursor() {
    CursorState& state = cursors();
    if (!state.started) {
        state.started = true;
        state.current = systemCursor(kArrow);
    }
    return state.current;
}

}  // namespace
}  // namespace kwuser

using namespace kwuser;

/* Only the system cursors exist: a module has no cursor resources. */
KW_EXPORT HCURSOR LoadCursorA(HINSTANCE module, const char* cursorName) {
    return shielded<HCURSOR>(nullptr, [&] {
        if (module != nullptr || !IS_INTRESOURCE(cursorName)) {
            return static_cast<HCURSOR>(nullptr);
        }
        Lock lock = lockState();
        return makeHandle<HCURSOR>(systemCursor(LOWORD(cursorName)));
    });
}

/* Answers the previous cursor; a handle that is no cursor changes nothing and answers null. */
KW_EXPORT HCURSOR SetCursor(HCURSOR cursor) {
    return shielded<HCURSOR>(nullptr, [&] {
        Lock lock = lockState();
        uint16_t number = handleNumber(cursor);
        if (cursor != nullptr && (number == 0 || handleKind(number) != HandleKind::Cursor)) {
            return static_cast<HCURSOR>(nullptr);
        }
        uint16_t& current = currentCursor();
        uint16_t previous = current;
        current = number;
        return makeHandle<HCURSOR>(previous);
    });
}

KW_EXPORT HCURSOR GetCursor(void) {
    return shielded<HCURSOR>(nullptr, [] {
        Lock lock = lockState();
        return makeHandle<HCURSOR>(currentCursor());
    });
}
