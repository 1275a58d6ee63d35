// Host lists: the header and node layout the driver walks by hand, the cursor, removal at the
// cursor and who frees what.
#include <vector>

#include "kwshr_fixture.h"

namespace {

class ListTest : public BlockTest {
  protected:
    HostList* listOf(std::vector<int*> items) {
        HostList* list = kwshr_createList(ctx, 0);
        for (int* item : items) {
            EXPECT_EQ(kwshr_appendToList(list, item), 1);
        }
        return list;
    }
    // The driver's walk: cursor = first node, then node->next until the last node; the links
    // back, the last node and the count must agree with it.
    static std::vector<int*> walkByHand(HostList* list) {
        std::vector<int*> items;
        EXPECT_TRUE(list->first == nullptr || list->first->previous == nullptr);
        for (list->cursor = list->first; list->cursor != nullptr; list->cursor = list->cursor->next) {
            items.push_back(static_cast<int*>(list->cursor->data));
            EXPECT_EQ(list->cursor->next == nullptr, list->cursor == list->last);
            if (list->cursor->next != nullptr) {
                EXPECT_EQ(list->cursor->next->previous, list->cursor);
            }
        }
        EXPECT_EQ(kwshr_listCount(list), static_cast<int32_t>(items.size()));
        return items;
    }
    int a = 1, b = 2, c = 3;
};

TEST_F(ListTest, WalksInAppendOrderByHandAndWithTheOneCursor) {
    HostList* list = listOf({&a, &b, &c});
    EXPECT_EQ(walkByHand(list), (std::vector<int*>{&a, &b, &c}));
    EXPECT_EQ(kwshr_firstListItem(list), &a);
    EXPECT_EQ(list->cursor, list->first);
    EXPECT_EQ(kwshr_nextListItem(list), &b);
    EXPECT_EQ(kwshr_nextListItem(list), &c);
    EXPECT_EQ(kwshr_nextListItem(list), nullptr);
    EXPECT_EQ(kwshr_nextListItem(list), nullptr);
    kwshr_destroyList(list);

    HostList* empty = listOf({});
    EXPECT_EQ(kwshr_firstListItem(empty), nullptr);
    EXPECT_EQ(walkByHand(empty), std::vector<int*>{});
    kwshr_destroyList(empty);
}

TEST_F(ListTest, RemovingAtTheCursorUnlinksThatNodeAndMovesToTheNext) {
    const std::vector<int*> left[] = {{&b, &c}, {&a, &c}, {&a, &b}};  // after removing at step 0, 1, 2
    for (int steps = 0; steps < 3; ++steps) {
        SCOPED_TRACE(steps);
        HostList* list = listOf({&a, &b, &c});
        kwshr_firstListItem(list);
        for (int i = 0; i < steps; ++i) {
            kwshr_nextListItem(list);
        }
        HostListNode* following = list->cursor->next;
        kwshr_removeCurrentListItem(list);
        EXPECT_EQ(list->cursor, following);
        EXPECT_EQ(walkByHand(list), left[steps]);
        kwshr_removeCurrentListItem(list);  // the walk left the cursor null: nothing happens
        EXPECT_EQ(kwshr_listCount(list), 2);
        kwshr_destroyList(list);
    }
}

TEST_F(ListTest, DestroyFreesNodesButNotItemsWhileFreeResultListFreesBoth) {
    auto* item = static_cast<int*>(kwshr_allocate(ctx, sizeof(int), 0));
    HostList* list = listOf({item, item});
    EXPECT_EQ(stats().liveAllocations, 4);  // item, header, two nodes
    kwshr_destroyList(list);
    EXPECT_EQ(stats().liveAllocations, 1);

    kwshr_freeResultList(ctx, listOf({item, static_cast<int*>(kwshr_allocate(ctx, 8, 0))}));
    EXPECT_EQ(stats().liveAllocations, 0);
}

}  // namespace
