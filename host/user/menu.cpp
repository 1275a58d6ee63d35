/*
 * menu.cpp - menus as lists of command items.
 *
 * Serves CreateMenu, DestroyMenu, InsertMenuA, GetMenuItemCount, GetMenuItemID and
 * GetMenuStringA. A menu is an ordered list of string items with command ids; it lives from
 * CreateMenu to DestroyMenu. Items are inserted by position (past the end appends) or before the
 * item with a given command id. Pop-ups, bitmaps, owner-drawn items and separators are not kept.
 */
#include <string>
#include <unordered_map>
#include <vector>

#include "registry.h"
#include "text.h"

namespace kwuser {
namespace {

/* Item kinds the layer does not keep: MF_BITMAP, MF_POPUP, MF_OWNERDRAW, MF_SEPARATOR. */
constexpr UINT kUnsupportedKinds = 0x0004 | 0x0010 | 0x0100 | 0x0800;
constexpr UINT kNoItem = static_cast<UINT>(-1);

struct MenuItem {
    UINT id;
    std::string text;
};

using Menu = std::vector<MenuItem>;

std::unordered_map<uint16_t, Menu>& menus() {
    static std::unordered_map<uint16_t, Menu> table;
    return table;
}

/* Lock held. */
Menu* findMenu(HMENU menu) {
    auto found = menus().find(handleNumber(menu));
    return found == menus().end() ? nullptr : &found->second;
}

/* Lock held. The index an item reference names (by position or by command id), or -1. */
int itemIndex(const Menu& menu, UINT item, UINT flags) {
    if ((flags & MF_BYPOSITION) != 0) {
        return item < menu.size() ? static_cast<int>(item) : -1;
    }
    for (size_t index = 0; index < menu.size(); ++index) {
        if (menu[index].id == item) {
            return static_cast<int>(index);
        }
    }
    return -1;
}

BOOL insertItem(HMENU handle, UINT position, UINT flags, uintptr_t id, const char* text) {
    if ((flags & kUnsupportedKinds) != 0 || text == nullptr) {
        return FALSE;
    }
    Lock lock = lockState();
    Menu* menu = findMenu(handle);
    if (menu == nullptr) {
        return FALSE;
    }
    size_t index = menu->size();
    if ((flags & MF_BYPOSITION) != 0) {
        index = std::min<size_t>(position, menu->size());
    } else {
        int found = itemIndex(*menu, position, flags);
        if (found < 0) {
            return FALSE;
        }
        index = static_cast<size_t>(found);
    }
    menu->insert(menu->begin() + static_cast<std::ptrdiff_t>(index), {static_cast<UINT>(id), text});
    return TRUE;
}

}  // namespace
}  // namespace kwuser

using namespace kwuser;

KW_EXPORT HMENU CreateMenu(void) {
    return shielded<HMENU>(nullptr, [] {
        Lock lock = lockState();
        uint16_t number = allocateHandle(HandleKind::Menu);
        if (number != 0) {
            menus()[number] = Menu();
        }
        return makeHandle<HMENU>(number);
    });
}

KW_EXPORT BOOL DestroyMenu(HMENU menu) {
    return shielded<BOOL>(FALSE, [&] {
        Lock lock = lockState();
        if (menus().erase(handleNumber(menu)) == 0) {
            return FALSE;
        }
        releaseHandle(handleNumber(menu));
        return TRUE;
    });
}

KW_EXPORT BOOL InsertMenuA(HMENU menu, UINT position, UINT flags, uintptr_t idNewItem, const char* text) {
    return shielded<BOOL>(FALSE, [&] { return insertItem(menu, position, flags, idNewItem, text); });
}

KW_EXPORT int GetMenuItemCount(HMENU menu) {
    return shielded(-1, [&] {
        Lock lock = lockState();
        const Menu* found = findMenu(menu);
        return found == nullptr ? -1 : static_cast<int>(found->size());
    });
}

KW_EXPORT UINT GetMenuItemID(HMENU menu, int position) {
    return shielded(kNoItem, [&] {
        Lock lock = lockState();
        const Menu* found = findMenu(menu);
        if (found == nullptr || position < 0 || static_cast<size_t>(position) >= found->size()) {
            return kNoItem;
        }
        return (*found)[static_cast<size_t>(position)].id;
    });
}

/* Copies at most bufferMax - 1 characters and a NUL; with no buffer, answers the text's length. */
KW_EXPORT int GetMenuStringA(HMENU menu, UINT item, char* buffer, int bufferMax, UINT flags) {
    return shielded(0, [&] {
        Lock lock = lockState();
        const Menu* found = findMenu(menu);
        int index = found == nullptr ? -1 : itemIndex(*found, item, flags);
        if (index < 0) {
            copyTruncated("", buffer, bufferMax);
            return 0;
        }
        const std::string& text = (*found)[static_cast<size_t>(index)].text;
        if (buffer == nullptr) {
            return static_cast<int>(text.size());
        }
        return copyTruncated(text, buffer, bufferMax);
    });
}
