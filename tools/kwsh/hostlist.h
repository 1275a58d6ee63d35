// hostlist.h - small helpers the catalog commands share: the items of a host list as a vector, the
// statements a request wrote taken out of the block, and a name in lower case (the driver answers
// catalog names in upper case, the shell shows them lower).
#pragma once

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "kwrecords.h"
#include "kwshr.h"

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

// Takes the statements out of the block's statement list, in order.
inline std::vector<std::string> takeStatements(RequestBlock& block) {
    std::vector<std::string> out;
    for (StatementRecord* record : itemsOf<StatementRecord>(block.statementList)) {
        out.emplace_back(record->text != nullptr ? record->text : "");
        kwshr_free(block.memoryContext, record->text);
        kwshr_free(block.memoryContext, record);
    }
    if (block.statementList != nullptr) {
        kwshr_destroyList(block.statementList);
        block.statementList = nullptr;
    }
    return out;
}

inline std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

}  // namespace kwsh
