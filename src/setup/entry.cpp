// Entries and properties: made one by one by calls, or packed into the
// setup's arena by a load; looked at in either form; and freed.
#include "setup/entry.hpp"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {
template <class T> T* elementAt(kvoTable* t, int i) {
    return static_cast<T*>(t->first) + i;
}
} // namespace

// A property's name and value share one block, the name first: a setup of
// a million entries takes half the allocations.
int ckpSetupMakeProp(ckpSetupProp* prop, const char* name, const char* value) {
    prop->name = nullptr;
    prop->value = nullptr;
    if (name == nullptr) {
        return 0;
    }
    std::size_t nameSize = std::strlen(name) + 1;
    std::size_t valueSize = value != nullptr ? std::strlen(value) + 1 : 0;
    auto* block = static_cast<char*>(kvoMalloc(nameSize + valueSize));
    if (block == nullptr) {
        return 0;
    }
    prop->name = static_cast<char*>(std::memcpy(block, name, nameSize));
    if (value != nullptr) {
        prop->value = static_cast<char*>(std::memcpy(block + nameSize, value, valueSize));
    }
    return 1;
}

void ckpSetupFreeProp(ckpSetupProp* prop) {
    if (prop != nullptr) {
        kvoFree(prop->name); // the value lives in the same block
        prop->name = nullptr;
        prop->value = nullptr;
    }
}

namespace {
// The arena's blocks grow from a page to a megabyte, so that a small setup
// takes little and a large one few blocks.
constexpr std::size_t firstChunk = 4096;
constexpr std::size_t largestChunk = std::size_t(1) << 20;

char* arenaTake(ckpSetup* setup, std::size_t bytes) {
    ckpSetupChunk* last = setup->arena;
    if (last == nullptr || last->size - last->used < bytes) {
        std::size_t size = last == nullptr ? firstChunk : std::min(2 * last->size, largestChunk);
        size = std::max(size, bytes);
        auto* chunk = static_cast<ckpSetupChunk*>(kvoMalloc(sizeof(ckpSetupChunk) + size));
        if (chunk == nullptr) {
            return nullptr;
        }
        *chunk = ckpSetupChunk{last, 0, size};
        setup->arena = last = chunk;
    }
    char* at = reinterpret_cast<char*>(last + 1) + last->used;
    last->used += bytes;
    return at;
}

bool nameBelow(const ckpSetupProp& a, const ckpSetupProp& b) {
    return std::strcmp(a.name, b.name) < 0;
}

// Merges the sorted runs [from, mid) and [mid, to) of `in` into `out`, of
// equal names the left one first.
void mergeRuns(const ckpSetupProp* in, ckpSetupProp* out, int from, int mid, int to) {
    int left = from;
    int right = mid;
    for (int at = from; at < to; ++at) {
        bool takeLeft = right >= to || (left < mid && !nameBelow(in[right], in[left]));
        out[at] = takeLeft ? in[left++] : in[right++];
    }
}

// By name, of equal names the earlier first: insertion sorts runs of 16,
// merges them pairwise through scratch (count entries) until one is left.
// No library sort that may ask for a buffer of its own is used.
void sortByName(ckpSetupProp* props, ckpSetupProp* scratch, int count) {
    constexpr int run = 16;
    for (int from = 0; from < count; from += run) {
        int to = std::min(count, from + run);
        for (int i = from + 1; i < to; ++i) {
            ckpSetupProp moving = props[i];
            int j = i;
            for (; j > from && nameBelow(moving, props[j - 1]); --j) {
                props[j] = props[j - 1];
            }
            props[j] = moving;
        }
    }
    ckpSetupProp* in = props;
    ckpSetupProp* out = scratch;
    for (int width = run; width < count; width *= 2) {
        for (int from = 0; from < count; from += 2 * width) {
            int mid = std::min(count, from + width);
            mergeRuns(in, out, from, mid, std::min(count, from + 2 * width));
        }
        std::swap(in, out);
    }
    if (in != props) {
        std::copy(in, in + count, props);
    }
}

char* putString(char* at, const char* s) {
    std::size_t size = std::strlen(s) + 1;
    std::memcpy(at, s, size);
    return at + size;
}
} // namespace

int ckpSetupPack(ckpSetup* setup, ckpSetupEntry* entry, const char* name, ckpSetupProp* props,
                 ckpSetupProp* scratch, int count, int* dropped) {
    sortByName(props, scratch, count);
    ckpSetupProp* kept =
        std::unique(props, props + count, [](const ckpSetupProp& a, const ckpSetupProp& b) {
            return std::strcmp(a.name, b.name) == 0;
        });
    int n = int(kept - props);
    std::size_t bytes = std::strlen(name) + 2;
    for (int i = 0; i < n; ++i) {
        bytes += std::strlen(props[i].name) + 2;
        bytes += props[i].value != nullptr ? std::strlen(props[i].value) + 1 : 0;
    }
    char* at = arenaTake(setup, bytes);
    if (at == nullptr) {
        return 0;
    }
    entry->name = at;
    entry->props = nullptr;
    at = putString(at, name);
    for (int i = 0; i < n; ++i) {
        *at++ = props[i].value != nullptr ? ckpSetupPackedValue : ckpSetupPackedFlag;
        at = putString(at, props[i].name);
        if (props[i].value != nullptr) {
            at = putString(at, props[i].value);
        }
    }
    *at = ckpSetupPackedEnd;
    *dropped = count - n;
    return 1;
}

int ckpSetupUnpack(ckpSetupEntry* entry) {
    if (entry->props != nullptr) {
        return 1;
    }
    int count = ckpSetupPropCount(entry);
    ckpSetupEntry own{kvoCopyString(entry->name),
                      kvoNewTable(int(sizeof(ckpSetupProp)), count > 0 ? count : 1)};
    bool ok = own.name != nullptr && own.props != nullptr;
    ckpSetupEachProp(entry, [&](const char* name, const char* value) {
        ok = ok && ckpSetupInsertProp(own.props, name, value);
    });
    if (!ok) {
        if (own.props == nullptr) {
            kvoFree(own.name);
        }
        ckpSetupFreeEntry(&own);
        return 0;
    }
    *entry = own;
    return 1;
}

void ckpSetupFreeEntry(ckpSetupEntry* entry) {
    if (entry == nullptr || entry->props == nullptr) {
        return; // a packed entry lies in its setup's arena
    }
    kvoFree(entry->name);
    entry->name = nullptr;
    for (int i = 0; i < entry->props->count; ++i) {
        ckpSetupFreeProp(elementAt<ckpSetupProp>(entry->props, i));
    }
    kvoFreeTable(&entry->props);
}

void ckpSetupFreeEntries(kvoTable** entries) {
    if (entries == nullptr || *entries == nullptr) {
        return;
    }
    for (int i = 0; i < (*entries)->count; ++i) {
        ckpSetupFreeEntry(elementAt<ckpSetupEntry>(*entries, i));
    }
    kvoFreeTable(entries);
}

void ckpSetupFreeArena(ckpSetupChunk** arena) {
    while (*arena != nullptr) {
        ckpSetupChunk* next = (*arena)->next;
        kvoFree(*arena);
        *arena = next;
    }
}

int ckpSetupPropCount(const ckpSetupEntry* entry) {
    if (entry->props != nullptr) {
        return entry->props->count;
    }
    int count = 0;
    ckpSetupEachProp(entry, [&](const char*, const char*) { ++count; });
    return count;
}

int ckpSetupLookupProp(const ckpSetupEntry* entry, const char* name, const char** value) {
    if (entry->props != nullptr) {
        const auto* p = static_cast<const ckpSetupProp*>(
            kvoBsearch(name, entry->props->first, entry->props->count, entry->props->elementSize,
                       ckpSetupCompareKey));
        if (p != nullptr) {
            *value = p->value;
        }
        return p != nullptr ? 1 : 0;
    }
    int found = 0;
    ckpSetupEachProp(entry, [&](const char* n, const char* v) {
        if (found == 0 && std::strcmp(n, name) == 0) {
            *value = v;
            found = 1;
        }
    });
    return found;
}

int ckpSetupAddEntry(ckpSetup* setup, const char* name, kvoTable* props) {
    ckpSetupEntry element{kvoCopyString(name), props};
    if (name == nullptr || name[0] == '\0') {
        kvoReportError("Error (ckpSetupAddEntry): checkpoint add entry called with no name value.");
        ckpSetupFreeEntry(&element);
        return 0;
    }
    if (element.name == nullptr || !kvoSortInsert(setup->entries, &element, ckpSetupCompareElems)) {
        kvoReportError("Error (kvoSetupAddEntry): couldn't add entry to checkpoint.");
        ckpSetupFreeEntry(&element);
        return 0;
    }
    return 1;
}

int ckpSetupInsertProp(kvoTable* props, const char* name, const char* value) {
    ckpSetupProp p{};
    if (!ckpSetupMakeProp(&p, name, value) || !kvoSortInsert(props, &p, ckpSetupCompareElems)) {
        ckpSetupFreeProp(&p);
        return 0;
    }
    return 1;
}
