/*
 * registry.cpp - the USER layer's lock and its handle allocator.
 *
 * Handles are numbers 1..65535 shared by windows, menus, cursors and module instances. The
 * allocator walks forward from the last number it gave, so a released number comes back only
 * after the rest of the space has been offered; a number in use is never given twice.
 */
#include "registry.h"

#include <array>

namespace kwuser {
namespace {

constexpr uint32_t kHandleSpace = 65536;

struct HandleSpace {
    std::array<HandleKind, kHandleSpace> kinds{};
    uint16_t next = 1;
};

HandleSpace& handleSpace() {
    static HandleSpace space;
    return space;
}

}  // namespace

std::mutex& stateMutex() {
    static std::mutex mutex;
    return mutex;
}

uint16_t allocateHandle(HandleKind kind) {
    HandleSpace& space = handleSpace();
    for (uint32_t tried = 0; tried < kHandleSpace - 1; ++tried) {
        uint16_t number = space.next;
        space.next = number == kHandleSpace - 1 ? 1 : static_cast<uint16_t>(number + 1);
        if (space.kinds[number] == HandleKind::Free) {
            space.kinds[number] = kind;
            return number;
        }
    }
    return 0;
}

void releaseHandle(uint16_t number) {
    if (number != 0) {
        handleSpace().kinds[number] = HandleKind::Free;
    }
}

HandleKind handleKind(uint16_t number) {
    return number == 0 ? HandleKind::Free : handleSpace().kinds[number];
}

}  // namespace kwuser
