// Keyed sets: case-insensitive lookup, duplicate keys in insertion order, key-order walks and
// refusals of unique sets.
#include <cstring>
#include <vector>

#include "kwshr_fixture.h"

namespace {

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
    const struct {
        const char* key;
        int id;  // 0: not found
    } lookups[] = {{"empno", 1},   {"EMPNO", 1}, {"NAME", 2},   {"dept_no", 3},
                   {"DEPT_NO", 3}, {"EMP", 0},   {"EMPNO ", 0}, {"", 0}};
    for (const auto& lookup : lookups) {
        auto* found = static_cast<Record*>(kwshr_findInKeyedSet(set, lookup.key));
        EXPECT_EQ(found != nullptr ? found->id : 0, lookup.id) << lookup.key;
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
