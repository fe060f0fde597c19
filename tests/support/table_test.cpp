// The support layer's sorted tables and string lists.
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

// The keys in table order, then "=" and the value found for `key`.
std::string keys(kvoTable* t, const char* key) {
    std::string out;
    const auto* items = static_cast<const Item*>(t->first);
    for (int i = 0; i < t->count; ++i) {
        out += items[i].key;
    }
    EXPECT_EQ(static_cast<char*>(t->end) - static_cast<char*>(t->first),
              t->count * static_cast<long>(sizeof(Item)));
    auto* found =
        static_cast<Item*>(kvoBsearch(key, t->first, t->count, t->elementSize, compareKey));
    return out + "=" + (found != nullptr ? std::to_string(found->value) : "none");
}

// Inserts keep the order and refuse equals, also after a trim and when the
// memory runs out; a removal hands out a copy.
TEST(Table, SortedInsertRemoveAndTrim) {
    kvoTable* t = kvoNewTable(sizeof(Item), 1);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(kvoBsearch("a", t->first, 0, t->elementSize, compareKey), nullptr);
    const Item items[] = {{"m", 1}, {"c", 2}, {"x", 3}, {"a", 4}, {"p", 5}, {"c", 6}};
    for (const Item& item : items) {
        EXPECT_EQ(kvoSortInsert(t, &item, compareItems), item.value == 6 ? 0 : 1) << item.key;
    }
    EXPECT_EQ(keys(t, "c"), "acmpx=2");
    EXPECT_EQ(keys(t, "b"), "acmpx=none");
    void* removed = nullptr;
    kvoTableRemoveEntry(t, compareKey, "m", &removed);
    ASSERT_NE(removed, nullptr);
    EXPECT_EQ(static_cast<Item*>(removed)->value, 1);
    std::free(removed);
    void* untouched = &t; // a missing key leaves the pointer as it was
    kvoTableRemoveEntry(t, compareKey, "zz", &untouched);
    EXPECT_EQ(untouched, &t);
    kvoTrimTable(t);
    EXPECT_EQ(t->capacity, t->count);
    Item late{"b", 9};
    kvoSetAllocFailure(1);
    EXPECT_EQ(kvoSortInsert(t, &late, compareItems), 0);
    EXPECT_EQ(kvoAllocFailureHit(), 1);
    EXPECT_EQ(keys(t, "b"), "acpx=none");
    EXPECT_EQ(kvoSortInsert(t, &late, compareItems), 1);
    EXPECT_EQ(keys(t, "b"), "abcpx=9");
    kvoFreeTable(&t);
    EXPECT_EQ(t, nullptr);
}

TEST(Table, StringListsAndCopiesSurviveAllocationFailures) {
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
