// hostlist.h - small helpers the catalog commands share: the items of a host list as a vector, and
// a name in lower case (the driver answers catalog names in upper case, the shell shows them lower).
#pragma once

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "kwrecords.h"

namespace kwsh {

// The data of every node of `list` (none for a null list), cast to the record type it holds.
template <typename T>
std::vector<T*> itemsOf(const HostList* list) {
    std::vector<T*> out;
    for (HostListNode* node = list != nullptr ? list->first : nullptr; node != nullptr; node = node->next) {
        out.push_back(static_cast<T*>(node->data));
        if (node == list->last) {
            break;
        }
    }
    return out;
}

inline std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

}  // namespace kwsh
