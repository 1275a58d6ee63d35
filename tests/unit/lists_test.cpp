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
    // The driver's walk: cursor = first node, then node->next until the last node.
    static std::vector<int*> walkByHand(HostList* list) {
        std::vector<int*> items;
        for (list->cursor = list->first; list->cursor != nullptr; list->cursor = list->cursor->next) {
            items.push_back(static_cast<int*>(list->cursor->data));
            if (list->cursor == list->last) {
                EXPECT_EQ(list->cursor->next, nullptr);
            }
            if (list->cursor->next != nullptr) {
                EXPECT_EQ(list->cursor->next->previous, list->cursor);
            }
        }
        return items;
    }
    int a = 1, b = 2, c = 3;
};

TEST_F(ListTest, NodesCanBeWalkedByHandInAppendOrder) {
    HostList* list = listOf({&a, &b, &c});
    EXPECT_EQ(walkByHand(list), (std::vector<int*>{&a, &b, &c}));
    EXPECT_EQ(list->first->previous, nullptr);
    EXPECT_EQ(kwshr_listCount(list), 3);
    kwshr_destroyList(list);
}

TEST_F(ListTest, FirstAndNextMoveTheOneCursorAndEndWithNull) {
    HostList* list = listOf({&a, &b});
    EXPECT_EQ(kwshr_firstListItem(list), &a);
    EXPECT_EQ(list->cursor, list->first);
    EXPECT_EQ(kwshr_nextListItem(list), &b);
    EXPECT_EQ(kwshr_nextListItem(list), nullptr);
    EXPECT_EQ(kwshr_nextListItem(list), nullptr);
    kwshr_destroyList(list);

    HostList* empty = listOf({});
    EXPECT_EQ(kwshr_firstListItem(empty), nullptr);
    EXPECT_EQ(kwshr_listCount(empty), 0);
    kwshr_destroyList(empty);
}

TEST_F(ListTest, RemovingAtTheCursorUnlinksThatNodeAndMovesToTheNext) {
    struct Case {
        int steps;  // next calls after first
        std::vector<int*> left;
        bool cursorOnNext;
    };
    const Case cases[] = {{0, {&b, &c}, true}, {1, {&a, &c}, true}, {2, {&a, &b}, false}};
    for (const Case& test : cases) {
        HostList* list = listOf({&a, &b, &c});
        kwshr_firstListItem(list);
        for (int i = 0; i < test.steps; ++i) {
            kwshr_nextListItem(list);
        }
        HostListNode* following = list->cursor->next;
        kwshr_removeCurrentListItem(list);
        EXPECT_EQ(list->cursor, following) << "removed step " << test.steps;
        EXPECT_EQ(list->cursor != nullptr, test.cursorOnNext);
        EXPECT_EQ(kwshr_listCount(list), 2);
        EXPECT_EQ(walkByHand(list), test.left);
        kwshr_destroyList(list);
    }
}

TEST_F(ListTest, TheDriverRemovesTheLastItemBySettingTheCursorItself) {
    HostList* list = listOf({&a, &b});
    list->cursor = list->last;
    kwshr_removeCurrentListItem(list);
    EXPECT_EQ(walkByHand(list), std::vector<int*>{&a});
    EXPECT_EQ(list->last, list->first);
    kwshr_removeCurrentListItem(list);  // cursor null after the walk: nothing happens
    EXPECT_EQ(kwshr_listCount(list), 1);
    kwshr_destroyList(list);
}

TEST_F(ListTest, DestroyFreesNodesButNotItemsWhileFreeResultListFreesBoth) {
    auto* item = static_cast<int*>(kwshr_allocate(ctx, sizeof(int), 0));
    HostList* list = listOf({item, item});
    EXPECT_EQ(stats().liveAllocations, 4);  // item, header, two nodes
    kwshr_destroyList(list);
    EXPECT_EQ(stats().liveAllocations, 1);

    HostList* result = listOf({item, static_cast<int*>(kwshr_allocate(ctx, 8, 0))});
    kwshr_freeResultList(ctx, result);
    EXPECT_EQ(stats().liveAllocations, 0);
}

}  // namespace
