// Sorted tables of fixed-size elements held by value.
#include <cstring>

#include "ckp/kvo.h"

namespace {
// The bytes that n elements of a table take. Counts and element sizes are
// ints in the public structure but never negative in a table.
std::size_t bytes(int n, int elementSize) {
    return static_cast<std::size_t>(n) * static_cast<std::size_t>(elementSize);
}

char* at(const kvoTable* t, int i) {
    return static_cast<char*>(t->first) + bytes(i, t->elementSize);
}

void fixEnd(kvoTable* t) {
    t->end = at(t, t->count);
}

bool grow(kvoTable* t) {
    if (t->count < t->capacity) {
        return true;
    }
    int capacity = t->capacity < 4 ? 4 : t->capacity * 2;
    void* block = kvoRealloc(t->first, bytes(capacity, t->elementSize));
    if (block == nullptr) {
        return false;
    }
    t->first = block;
    t->capacity = capacity;
    fixEnd(t);
    return true;
}

// The first index whose element is not below the new one; appending in sorted
// order is checked first so that loading a sorted file stays linear.
int insertionPoint(const kvoTable* t, const void* element, kvoElemCompare compare, bool* equal) {
    *equal = false;
    if (t->count == 0) {
        return 0;
    }
    int last = compare(element, at(t, t->count - 1));
    if (last > 0) {
        return t->count;
    }
    int lo = 0;
    int hi = t->count;
    while (lo < hi) {
        int mid = lo + (hi - lo) / 2;
        int c = compare(element, at(t, mid));
        if (c == 0) {
            *equal = true;
            return mid;
        }
        if (c > 0) {
            lo = mid + 1;
        } else {
            hi = mid;
        }
    }
    return lo;
}
} // namespace

extern "C" {

kvoTable* kvoNewTable(int elementSize, int sizeHint) {
    auto* t = static_cast<kvoTable*>(kvoMalloc(sizeof(kvoTable)));
    if (t == nullptr) {
        return nullptr;
    }
    t->elementSize = elementSize > 0 ? elementSize : 1;
    t->count = 0;
    t->capacity = sizeHint > 0 ? sizeHint : 1;
    t->first = kvoMalloc(bytes(t->capacity, t->elementSize));
    if (t->first == nullptr) {
        kvoFree(t);
        return nullptr;
    }
    fixEnd(t);
    return t;
}

int kvoSortInsert(kvoTable* table, const void* element, kvoElemCompare compare) {
    if (table == nullptr || element == nullptr || compare == nullptr) {
        return 0;
    }
    bool equal = false;
    int i = insertionPoint(table, element, compare, &equal);
    if (equal || !grow(table)) {
        return 0;
    }
    std::memmove(at(table, i + 1), at(table, i), bytes(table->count - i, table->elementSize));
    std::memcpy(at(table, i), element, bytes(1, table->elementSize));
    ++table->count;
    fixEnd(table);
    return 1;
}

void* kvoBsearch(const char* key, void* first, int count, int elementSize, kvoKeyCompare compare) {
    if (first == nullptr || count <= 0 || compare == nullptr || key == nullptr) {
        return nullptr;
    }
    int lo = 0;
    int hi = count - 1;
    while (lo <= hi) {
        int mid = lo + (hi - lo) / 2;
        char* e = static_cast<char*>(first) + bytes(mid, elementSize);
        int c = compare(key, e);
        if (c == 0) {
            return e;
        }
        if (c > 0) {
            lo = mid + 1;
        } else {
            hi = mid - 1;
        }
    }
    return nullptr;
}

void kvoTableRemoveEntry(kvoTable* table, kvoKeyCompare compare, const char* key, void** removed) {
    if (table == nullptr || removed == nullptr) {
        return;
    }
    auto* e = static_cast<char*>(
        kvoBsearch(key, table->first, table->count, table->elementSize, compare));
    if (e == nullptr) {
        return;
    }
    void* copy = kvoMalloc(bytes(1, table->elementSize));
    if (copy == nullptr) {
        return;
    }
    std::memcpy(copy, e, bytes(1, table->elementSize));
    char* end = at(table, table->count);
    std::memmove(e, e + table->elementSize, std::size_t(end - e - table->elementSize));
    --table->count;
    fixEnd(table);
    *removed = copy;
}

void kvoTrimTable(kvoTable* table) {
    if (table == nullptr || table->count == 0 || table->count >= table->capacity) {
        return;
    }
    void* block = kvoRealloc(table->first, bytes(table->count, table->elementSize));
    if (block == nullptr) {
        return; // the larger storage serves as well
    }
    table->first = block;
    table->capacity = table->count;
    fixEnd(table);
}

void kvoFreeTable(kvoTable** table) {
    if (table == nullptr || *table == nullptr) {
        return;
    }
    kvoFree((*table)->first);
    kvoFree(*table);
    *table = nullptr;
}

char* kvoCopyString(const char* text) {
    if (text == nullptr) {
        return nullptr;
    }
    std::size_t n = std::strlen(text) + 1;
    auto* copy = static_cast<char*>(kvoMalloc(n));
    if (copy != nullptr) {
        std::memcpy(copy, text, n);
    }
    return copy;
}

kvoStrlist* kvoAddToStrlist(kvoStrlist* list, const char* text, int* counter) {
    std::size_t n = 0;
    while (list != nullptr && list[n] != nullptr) {
        ++n;
    }
    char* copy = kvoCopyString(text != nullptr ? text : "");
    if (copy == nullptr) {
        return list;
    }
    auto* grown = static_cast<kvoStrlist*>(kvoRealloc(list, (n + 2) * sizeof(kvoStrlist)));
    if (grown == nullptr) {
        kvoFree(copy);
        return list;
    }
    grown[n] = copy;
    grown[n + 1] = nullptr;
    if (counter != nullptr) {
        ++*counter;
    }
    return grown;
}

void kvoFreeStrlist(kvoStrlist* list) {
    for (std::size_t i = 0; list != nullptr && list[i] != nullptr; ++i) {
        kvoFree(list[i]);
    }
    kvoFree(list);
}
}
