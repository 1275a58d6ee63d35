// Host lists (the header and node layout the driver walks by hand, the cursor, removal at the cursor
// and who frees what) and keyed sets (case-insensitive lookup, duplicate keys in insertion order,
// key-order walks and refusals of unique sets).
#include <cstring>
#include <utility>
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

// A record whose key is its leading text, like the dependent-table and column-key records.
struct Record {
    char key[32];
    int id;
};
char* keyOfRecord(void* record) {
    return static_cast<Record*>(record)->key;
}

class KeyedSetTest : public BlockTest {
  protected:
    void TearDown() override { kwshr_destroyKeyedSet(set); }
    void makeSet(int32_t unique, std::vector<Record>& from) {
        set = kwshr_createKeyedSet(KWSHR_KEYED_SET_KIND, keyOfRecord, unique, 0, ctx, 0);
        for (Record& record : from) {
            EXPECT_EQ(kwshr_addToKeyedSet(set, &record), 1) << record.key;
        }
    }
    std::vector<int> idsInKeyOrder() {
        std::vector<int> ids;
        for (void* r = kwshr_firstInKeyedSet(set); r != nullptr; r = kwshr_nextInKeyedSet(set)) {
            ids.push_back(static_cast<Record*>(r)->id);
        }
        EXPECT_EQ(kwshr_nextInKeyedSet(set), nullptr) << "stays at the end";
        return ids;
    }
    std::vector<int> idsWithKey(const char* key) {
        std::vector<int> ids;
        for (void* r = kwshr_findInKeyedSet(set, key); r != nullptr; r = kwshr_findNextInKeyedSet(set, key)) {
            ids.push_back(static_cast<Record*>(r)->id);
        }
        EXPECT_EQ(kwshr_findNextInKeyedSet(set, key), nullptr) << "stays at the end of the run";
        return ids;
    }
    KWSET set = nullptr;
};

TEST_F(KeyedSetTest, UniqueSetFindsKeysInAnyCaseAndRefusesThemTwice) {
    EXPECT_EQ(kwshr_createKeyedSet(258, keyOfRecord, 1, 0, ctx, 0), nullptr) << "an unknown kind";
    EXPECT_EQ(kwshr_createKeyedSet(KWSHR_KEYED_SET_KIND, nullptr, 1, 0, ctx, 0), nullptr)
        << "no key function";
    EXPECT_EQ(kwshr_addToKeyedSet(nullptr, nullptr), 0);
    EXPECT_EQ(stats().liveAllocations, 0);
    std::vector<Record> records = {{"EMPNO", 1}, {"name", 2}, {"Dept_No", 3}};
    makeSet(1, records);
    const std::pair<const char*, int> lookups[] = {{"empno", 1},   {"EMPNO", 1},   {"NAME", 2},
                                                   {"dept_no", 3}, {"DEPT_NO", 3}, {"EMP", 0},
                                                   {"EMPNO ", 0},  {"", 0}};
    for (const auto& [key, id] : lookups) {  // id 0: not found
        auto* found = static_cast<Record*>(kwshr_findInKeyedSet(set, key));
        EXPECT_EQ(found != nullptr ? found->id : 0, id) << key;
    }
    Record again{"empno", 4}, other{"EMPHR", 5};
    EXPECT_EQ(kwshr_addToKeyedSet(set, &again), 0);
    EXPECT_EQ(kwshr_addToKeyedSet(set, &other), 1);
    // The key is taken when the record is added: the driver lower-cases names after building keys.
    std::strcpy(records[0].key, "AAA");
    EXPECT_EQ(idsWithKey("empno"), std::vector<int>{1});
    EXPECT_EQ(idsWithKey("AAA"), std::vector<int>{});
    EXPECT_EQ(idsInKeyOrder(), (std::vector<int>{3, 5, 1, 2}));
}

TEST_F(KeyedSetTest, EqualKeysKeepInsertionOrderInFindsAndInKeyOrderWalks) {
    std::vector<Record> records = {{"b", 1}, {"A", 2}, {"c", 3}, {"a", 4}, {"B", 5}, {"ab", 6}};
    makeSet(0, records);
    EXPECT_EQ(idsInKeyOrder(), (std::vector<int>{2, 4, 6, 1, 5, 3}));
    EXPECT_EQ(idsWithKey("B"), (std::vector<int>{1, 5}));
    EXPECT_EQ(idsWithKey("a"), (std::vector<int>{2, 4}));
    EXPECT_EQ(idsWithKey("c"), std::vector<int>{3});
    // Without a find for that key, find-next starts at its first record.
    kwshr_findInKeyedSet(set, "c");
    EXPECT_EQ(static_cast<Record*>(kwshr_findNextInKeyedSet(set, "b"))->id, 1);
}

}  // namespace
