// The support layer's sorted tables and string lists, tested directly.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "ckp/kvo.h"

namespace {

struct Item {
    const char* key;
    int value;
};

int compareItems(const void* a, const void* b) {
    return std::strcmp(static_cast<const Item*>(a)->key, static_cast<const Item*>(b)->key);
}

int compareKey(const char* key, const void* element) {
    return std::strcmp(key, static_cast<const Item*>(element)->key);
}

std::vector<std::string> keys(const kvoTable* t) {
    std::vector<std::string> out;
    const auto* items = static_cast<const Item*>(t->first);
    for (int i = 0; i < t->count; ++i) {
        out.emplace_back(items[i].key);
    }
    return out;
}

TEST(Table, SortedInsertRefusesEqualsAndKeepsEndInStep) {
    kvoTable* t = kvoNewTable(sizeof(Item), 1);
    ASSERT_NE(t, nullptr);
    for (const char* k : {"m", "c", "x", "a", "p", "c"}) {
        Item item{k, 1};
        kvoSortInsert(t, &item, compareItems);
    }
    EXPECT_EQ(keys(t), (std::vector<std::string>{"a", "c", "m", "p", "x"}));
    EXPECT_EQ(t->count, 5);
    EXPECT_EQ(static_cast<char*>(t->end) - static_cast<char*>(t->first),
              5 * static_cast<long>(sizeof(Item)));
    Item again{"m", 2};
    EXPECT_EQ(kvoSortInsert(t, &again, compareItems), 0);
    EXPECT_EQ(
        static_cast<Item*>(kvoBsearch("m", t->first, t->count, t->elementSize, compareKey))->value,
        1);
    EXPECT_EQ(kvoBsearch("b", t->first, t->count, t->elementSize, compareKey), nullptr);
    EXPECT_EQ(kvoBsearch("a", t->first, 0, t->elementSize, compareKey), nullptr);
    kvoFreeTable(&t);
    EXPECT_EQ(t, nullptr);
}

TEST(Table, RemoveHandsOutACopyAndTrimKeepsTheTableUsable) {
    kvoTable* t = kvoNewTable(sizeof(Item), 16);
    for (const char* k : {"a", "b", "c", "d"}) {
        Item item{k, k[0]};
        kvoSortInsert(t, &item, compareItems);
    }
    void* removed = nullptr;
    kvoTableRemoveEntry(t, compareKey, "b", &removed);
    ASSERT_NE(removed, nullptr);
    EXPECT_EQ(static_cast<Item*>(removed)->value, 'b');
    std::free(removed);
    EXPECT_EQ(keys(t), (std::vector<std::string>{"a", "c", "d"}));

    void* untouched = &t; // a missing key leaves the pointer as it was
    kvoTableRemoveEntry(t, compareKey, "zz", &untouched);
    EXPECT_EQ(untouched, &t);

    kvoTrimTable(t);
    EXPECT_EQ(t->capacity, t->count);
    Item late{"b", 9};
    EXPECT_EQ(kvoSortInsert(t, &late, compareItems), 1);
    EXPECT_EQ(keys(t), (std::vector<std::string>{"a", "b", "c", "d"}));
    kvoFreeTable(&t);
}

TEST(Table, AllocationFailuresLeaveTablesAndListsUnchanged) {
    kvoTable* t = kvoNewTable(sizeof(Item), 1);
    Item first{"a", 1};
    ASSERT_EQ(kvoSortInsert(t, &first, compareItems), 1);
    kvoSetAllocFailure(1);
    Item second{"b", 2};
    EXPECT_EQ(kvoSortInsert(t, &second, compareItems), 0);
    EXPECT_EQ(kvoAllocFailureHit(), 1);
    EXPECT_EQ(keys(t), (std::vector<std::string>{"a"}));
    kvoFreeTable(&t);

    int count = 0;
    kvoStrlist* list = kvoAddToStrlist(nullptr, "one", &count);
    list = kvoAddToStrlist(list, nullptr, &count); // NULL is kept as ""
    kvoSetAllocFailure(1);
    kvoStrlist* same = kvoAddToStrlist(list, "lost", &count);
    kvoSetAllocFailure(0);
    EXPECT_EQ(same, list);
    EXPECT_EQ(count, 2);
    EXPECT_STREQ(list[0], "one");
    EXPECT_STREQ(list[1], "");
    EXPECT_EQ(list[2], nullptr);
    kvoFreeStrlist(list);
    kvoFreeStrlist(nullptr);

    EXPECT_EQ(kvoCopyString(nullptr), nullptr);
    kvoSetAllocFailure(1);
    EXPECT_EQ(kvoCopyString("x"), nullptr);
    kvoSetAllocFailure(0);
    EXPECT_EQ(kvoFree(nullptr), nullptr);
}

} // namespace
