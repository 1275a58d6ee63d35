/*
 * listbox.cpp - list boxes and combo boxes: adding (sorted lists keep case-insensitive order),
 * finding by prefix, single and multiple selection.
 *
 * Serves LB_ADDSTRING ... LB_GETSELITEMS and CB_ADDSTRING ... CB_SETCURSEL. Each item carries
 * its own selection mark, so a selection stays with its item when a sorted insert moves it; a
 * single-selection list or combo box has at most one item marked.
 */
#include "listbox.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "text.h"

namespace kwuser {
namespace {

/* The list and combo messages mean the same operations; one table maps both onto them. */
enum class ListOp {
    Add,
    Reset,
    Count,
    GetText,
    GetTextLength,
    Find,
    SetCurrent,
    GetCurrent,
    SetSel,
    GetSel,
    SelCount,
    SelItems
};

struct ListMessage {
    UINT message;
    ListOp op;
};

const ListMessage kListBoxMessages[] = {
    {LB_ADDSTRING, ListOp::Add},
    {LB_RESETCONTENT, ListOp::Reset},
    {LB_GETCOUNT, ListOp::Count},
    {LB_GETTEXT, ListOp::GetText},
    {LB_GETTEXTLEN, ListOp::GetTextLength},
    {LB_FINDSTRING, ListOp::Find},
    {LB_SETCURSEL, ListOp::SetCurrent},
    {LB_GETCURSEL, ListOp::GetCurrent},
    {LB_SETSEL, ListOp::SetSel},
    {LB_GETSEL, ListOp::GetSel},
    {LB_GETSELCOUNT, ListOp::SelCount},
    {LB_GETSELITEMS, ListOp::SelItems},
};
static_assert(sizeof kListBoxMessages / sizeof kListBoxMessages[0] == 12, "one row per list-box operation");

const ListMessage kComboBoxMessages[] = {
    {CB_ADDSTRING, ListOp::Add},
    {CB_RESETCONTENT, ListOp::Reset},
    {CB_GETCOUNT, ListOp::Count},
    {CB_GETLBTEXT, ListOp::GetText},
    {CB_GETLBTEXTLEN, ListOp::GetTextLength},
    {CB_FINDSTRING, ListOp::Find},
    {CB_SETCURSEL, ListOp::SetCurrent},
    {CB_GETCURSEL, ListOp::GetCurrent},
};
static_assert(sizeof kComboBoxMessages / sizeof kComboBoxMessages[0] == 8,
              "a combo box has no multiple selection: eight operations");
static_assert(LB_ERR == CB_ERR, "list and combo boxes share their error answer");

constexpr LRESULT kError = LB_ERR;

/* Indexes travel in WPARAM; -1 arrives as all bits set. */
int indexArgument(WPARAM wParam) {
    return static_cast<int>(static_cast<int32_t>(wParam));
}

bool isValidIndex(const Window& window, int index) {
    return index >= 0 && static_cast<size_t>(index) < window.items.size();
}

bool isSorted(const Window& window) {
    return window.kind == WindowKind::ListBox ? (window.style & LBS_SORT) != 0
                                              : (window.style & CBS_SORT) != 0;
}

LRESULT addItem(Window& window, const char* text) {
    if (text == nullptr) {
        return kError;
    }
    ListItem item{text, false};
    auto position = window.items.end();
    if (isSorted(window)) {
        position = std::upper_bound(
            window.items.begin(), window.items.end(), item,
            [](const ListItem& a, const ListItem& b) { return compareNoCase(a.text, b.text) < 0; });
    }
    auto inserted = window.items.insert(position, std::move(item));
    auto index = static_cast<int>(inserted - window.items.begin());
    if (window.caret >= index) {
        ++window.caret;
    }
    return index;
}

/* Case-insensitive prefix search that starts after `start` (-1 or out of range: from the top)
 * and wraps round to `start` itself. */
LRESULT findItem(const Window& window, int start, const char* prefix) {
    if (prefix == nullptr || window.items.empty()) {
        return kError;
    }
    auto count = static_cast<int>(window.items.size());
    if (!isValidIndex(window, start)) {
        start = -1;
    }
    for (int step = 1; step <= count; ++step) {
        int index = (start + step) % count;
        if (startsWithNoCase(window.items[static_cast<size_t>(index)].text, prefix)) {
            return index;
        }
    }
    return kError;
}

LRESULT copyItemText(const Window& window, int index, char* buffer) {
    if (!isValidIndex(window, index) || buffer == nullptr) {
        return kError;
    }
    // The caller sizes the buffer from LB_GETTEXTLEN / CB_GETLBTEXTLEN, as with Windows.
    const std::string& text = window.items[static_cast<size_t>(index)].text;
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return static_cast<LRESULT>(text.size());
}

/* LB_SETCURSEL / CB_SETCURSEL: -1 or an index out of range clears the selection and answers an
 * error, as Windows does. A multiple-selection list refuses it. */
LRESULT setCurrent(Window& window, int index) {
    if (isMultipleSelection(window)) {
        return kError;
    }
    for (ListItem& item : window.items) {
        item.selected = false;
    }
    if (!isValidIndex(window, index)) {
        return kError;
    }
    window.items[static_cast<size_t>(index)].selected = true;
    return index;
}

LRESULT getCurrent(const Window& window) {
    if (isMultipleSelection(window)) {
        return window.caret >= 0 ? window.caret : kError;
    }
    int current = currentItem(window);
    return current >= 0 ? current : kError;
}

/* LB_SETSEL: wParam selects or deselects, lParam names the item, -1 meaning all of them. */
LRESULT setSelection(Window& window, bool selected, int index) {
    if (!isMultipleSelection(window)) {
        return kError;
    }
    if (index == -1) {
        for (ListItem& item : window.items) {
            item.selected = selected;
        }
        return 0;
    }
    if (!isValidIndex(window, index)) {
        return kError;
    }
    window.items[static_cast<size_t>(index)].selected = selected;
    window.caret = index;
    return 0;
}

LRESULT selectedCount(const Window& window) {
    if (!isMultipleSelection(window)) {
        return kError;
    }
    return std::count_if(window.items.begin(), window.items.end(),
                         [](const ListItem& item) { return item.selected; });
}

LRESULT selectedItems(const Window& window, int maximum, int* buffer) {
    if (!isMultipleSelection(window) || buffer == nullptr) {
        return kError;
    }
    int written = 0;
    for (size_t index = 0; index < window.items.size() && written < maximum; ++index) {
        if (window.items[index].selected) {
            buffer[written++] = static_cast<int>(index);
        }
    }
    return written;
}

LRESULT perform(Window& window, ListOp op, WPARAM wParam, LPARAM lParam) {
    switch (op) {
        case ListOp::Add:
            return addItem(window, reinterpret_cast<const char*>(lParam));
        case ListOp::Reset:
            window.items.clear();
            window.caret = -1;
            return 0;
        case ListOp::Count:
            return static_cast<LRESULT>(window.items.size());
        case ListOp::GetText:
            return copyItemText(window, indexArgument(wParam), reinterpret_cast<char*>(lParam));
        case ListOp::GetTextLength: {
            int index = indexArgument(wParam);
            return isValidIndex(window, index)
                       ? static_cast<LRESULT>(window.items[static_cast<size_t>(index)].text.size())
                       : kError;
        }
        case ListOp::Find:
            return findItem(window, indexArgument(wParam), reinterpret_cast<const char*>(lParam));
        case ListOp::SetCurrent:
            return setCurrent(window, indexArgument(wParam));
        case ListOp::GetCurrent:
            return getCurrent(window);
        case ListOp::SetSel:
            return setSelection(window, wParam != 0, static_cast<int>(lParam));
        case ListOp::GetSel: {
            int index = indexArgument(wParam);
            return isValidIndex(window, index) ? (window.items[static_cast<size_t>(index)].selected ? 1 : 0)
                                               : kError;
        }
        case ListOp::SelCount:
            return selectedCount(window);
        case ListOp::SelItems:
            return selectedItems(window, static_cast<int>(wParam), reinterpret_cast<int*>(lParam));
    }
    return kError;
}

}  // namespace

bool isMultipleSelection(const Window& window) {
    return window.kind == WindowKind::ListBox && (window.style & LBS_MULTIPLESEL) != 0;
}

int currentItem(const Window& window) {
    for (size_t index = 0; index < window.items.size(); ++index) {
        if (window.items[index].selected) {
            return static_cast<int>(index);
        }
    }
    return -1;
}

void chooseItem(Window& window, int index, bool selected) {
    if (!isValidIndex(window, index)) {
        return;
    }
    if (isMultipleSelection(window)) {
        window.items[static_cast<size_t>(index)].selected = selected;
        window.caret = index;
    } else if (selected || window.kind == WindowKind::ComboBox) {
        setCurrent(window, index);
    } else {
        window.items[static_cast<size_t>(index)].selected = false;
    }
}

std::optional<LRESULT> listMessage(Window& window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (window.kind == WindowKind::ListBox) {
        for (const ListMessage& row : kListBoxMessages) {
            if (row.message == message) {
                return perform(window, row.op, wParam, lParam);
            }
        }
    } else if (window.kind == WindowKind::ComboBox) {
        for (const ListMessage& row : kComboBoxMessages) {
            if (row.message == message) {
                return perform(window, row.op, wParam, lParam);
            }
        }
    }
    return std::nullopt;
}

}  // namespace kwuser
