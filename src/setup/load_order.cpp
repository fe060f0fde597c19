// Entries of a setup file in any order, in linear time.
#include "setup/load_order.hpp"

#include <algorithm>
#include <cstring>

#include "core/name_hash.hpp"

namespace {

const ckpSetupEntry* entryAt(const kvoTable* t, std::size_t i) {
    return static_cast<const ckpSetupEntry*>(t->first) + i;
}

// Appending goes through the table's own insertion with an order that puts
// every new element last, so that the table keeps its growth rules.
int afterAll(const void*, const void*) {
    return 1;
}

// The slot that holds name, or the free slot where it would go.
std::uint32_t* findSlot(const ckpSetupLoadOrder* order, const char* name) {
    const kvoTable* t = order->setup->entries;
    std::size_t mask = order->slotCount - 1;
    for (std::size_t i = static_cast<std::size_t>(nameHash(name)) & mask;; i = (i + 1) & mask) {
        std::uint32_t* slot = order->slots + i;
        if (*slot == 0 || std::strcmp(entryAt(t, *slot - 1)->name, name) == 0) {
            return slot;
        }
    }
}

// An index of twice as many slots as needed for count entries, filled with
// the entries the table holds.
bool buildIndex(ckpSetupLoadOrder* order, std::size_t count) {
    std::size_t n = 16;
    while (n < 2 * count) {
        n *= 2;
    }
    auto* slots = static_cast<std::uint32_t*>(kvoMalloc(n * sizeof(std::uint32_t)));
    if (slots == nullptr) {
        return false;
    }
    std::memset(slots, 0, n * sizeof(std::uint32_t));
    kvoFree(order->slots);
    order->slots = slots;
    order->slotCount = n;
    const kvoTable* t = order->setup->entries;
    for (int i = 0; i < t->count; ++i) {
        *findSlot(order, entryAt(t, std::size_t(i))->name) = std::uint32_t(i + 1);
    }
    return true;
}

void sortEntries(kvoTable* t) {
    auto* first = static_cast<ckpSetupEntry*>(t->first);
    std::sort(first, first + t->count, [](const ckpSetupEntry& a, const ckpSetupEntry& b) {
        return std::strcmp(a.name, b.name) < 0;
    });
}

// Without memory for the index the entries are sorted now and the rest go
// in one by one at their place, as a call would add them.
void giveUpIndex(ckpSetupLoadOrder* order) {
    sortEntries(order->setup->entries);
    order->slots = static_cast<std::uint32_t*>(kvoFree(order->slots));
    order->slotCount = 0;
    order->run = 1;
    order->oneByOne = true;
}

int addUnsorted(ckpSetupLoadOrder* order, const ckpSetupEntry* entry) {
    kvoTable* t = order->setup->entries;
    if (2 * (std::size_t(t->count) + 1) > order->slotCount &&
        !buildIndex(order, std::size_t(t->count) + 1)) {
        giveUpIndex(order);
        return kvoSortInsert(t, entry, ckpSetupCompareElems);
    }
    std::uint32_t* slot = findSlot(order, entry->name);
    if (*slot != 0 || t->count >= INT32_MAX - 1 || !kvoSortInsert(t, entry, afterAll)) {
        return 0;
    }
    *slot = std::uint32_t(t->count);
    return 1;
}

} // namespace

void ckpSetupLoadBegin(ckpSetupLoadOrder* order, ckpSetup* setup) {
    *order = ckpSetupLoadOrder{setup, 1, false, nullptr, 0};
}

// While the entries run in one direction, the last one is the only one a new
// name can equal.
int ckpSetupLoadAdd(ckpSetupLoadOrder* order, const ckpSetupEntry* entry) {
    kvoTable* t = order->setup->entries;
    if (order->oneByOne || t->count == 0) {
        return kvoSortInsert(t, entry, order->oneByOne ? ckpSetupCompareElems : afterAll);
    }
    if (order->run != 0) {
        int c = ckpSetupCompareElems(entry, entryAt(t, std::size_t(t->count) - 1));
        if (c == 0) {
            return 0;
        }
        if (t->count == 1) {
            order->run = c;
        }
        if (c == order->run) {
            return kvoSortInsert(t, entry, afterAll);
        }
        order->run = 0; // the first entry against the run
    }
    return addUnsorted(order, entry);
}

void ckpSetupLoadEnd(ckpSetupLoadOrder* order) {
    auto* first = static_cast<ckpSetupEntry*>(order->setup->entries->first);
    if (order->run < 0) {
        std::reverse(first, first + order->setup->entries->count);
    } else if (order->run == 0) {
        sortEntries(order->setup->entries);
    }
    order->run = 1;
    order->slots = static_cast<std::uint32_t*>(kvoFree(order->slots));
    order->slotCount = 0;
}
