/*
 * lists.cpp - host lists: the {first, last, cursor} headers over {previous, next, data} nodes that
 * the driver hands back in `result` and walks by hand (kwshr_createList ... kwshr_freeResultList).
 * A list owns its header and nodes, all allocations of the context it was made in; the items are
 * whoever's took them. Invariant: the nodes from `first` along `next` end at `last`, `previous`
 * mirrors `next`, and `count` is the number of nodes.
 */
#include "internal.h"

namespace shr {
namespace {

/* The header the driver sees comes first, so a HostList* and a ListHeader* are one address. */
struct ListHeader {
    HostList list;
    KWCTX ctx;
    int32_t flags;
    int32_t count;
};
static_assert(offsetof(ListHeader, list) == 0, "the public header must lead the private one");

ListHeader* headerOf(HostList* list) {
    return reinterpret_cast<ListHeader*>(list);
}

void unlink(HostList& list, HostListNode* node) {
    (node->previous != nullptr ? node->previous->next : list.first) = node->next;
    (node->next != nullptr ? node->next->previous : list.last) = node->previous;
}

}  // namespace
}  // namespace shr

extern "C" {

HostList* kwshr_createList(KWCTX ctx, int32_t flags) {
    auto* header = static_cast<shr::ListHeader*>(kwshr_allocate(ctx, sizeof(shr::ListHeader), flags));
    if (header == nullptr) {
        return nullptr;
    }
    *header = shr::ListHeader{HostList{nullptr, nullptr, nullptr}, ctx, flags, 0};
    return &header->list;
}

int32_t kwshr_appendToList(HostList* list, void* item) {
    if (list == nullptr) {
        shr::traceLine("kwshr_appendToList: no list");
        return 0;
    }
    shr::ListHeader* header = shr::headerOf(list);
    auto* node = static_cast<HostListNode*>(kwshr_allocate(header->ctx, sizeof(HostListNode), header->flags));
    if (node == nullptr) {
        return 0;
    }
    *node = HostListNode{list->last, nullptr, item};
    (list->last != nullptr ? list->last->next : list->first) = node;
    list->last = node;
    ++header->count;
    return 1;
}

void* kwshr_firstListItem(HostList* list) {
    if (list == nullptr) {
        return nullptr;
    }
    list->cursor = list->first;
    return list->cursor != nullptr ? list->cursor->data : nullptr;
}

void* kwshr_nextListItem(HostList* list) {
    if (list == nullptr || list->cursor == nullptr) {
        return nullptr;
    }
    list->cursor = list->cursor->next;
    return list->cursor != nullptr ? list->cursor->data : nullptr;
}

void kwshr_removeCurrentListItem(HostList* list) {
    if (list == nullptr || list->cursor == nullptr) {
        return;
    }
    shr::ListHeader* header = shr::headerOf(list);
    HostListNode* node = list->cursor;
    shr::unlink(*list, node);
    list->cursor = node->next;
    --header->count;
    kwshr_free(header->ctx, node);
}

int32_t kwshr_listCount(HostList* list) {
    return list != nullptr ? shr::headerOf(list)->count : 0;
}

void kwshr_destroyList(HostList* list) {
    if (list == nullptr) {
        return;
    }
    shr::ListHeader* header = shr::headerOf(list);
    for (HostListNode* node = list->first; node != nullptr;) {
        HostListNode* next = node->next;
        kwshr_free(header->ctx, node);
        node = next;
    }
    kwshr_free(header->ctx, header);
}

void kwshr_freeResultList(KWCTX ctx, HostList* list) {
    if (list == nullptr) {
        return;
    }
    for (HostListNode* node = list->first; node != nullptr; node = node->next) {
        kwshr_free(ctx, node->data);
    }
    kwshr_destroyList(list);
}

}  // extern "C"
