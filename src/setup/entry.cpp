// Entries and properties: made one by one by calls, or packed in one block
// per entry by a load; and freed.
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
bool inPack(const ckpSetupEntry* entry, const void* p) {
    const auto* at = static_cast<const char*>(p);
    return entry->packEnd != nullptr && at >= reinterpret_cast<const char*>(entry->props) &&
           at < entry->packEnd;
}

} // namespace

// The properties of a packed entry move to a block of their own before the
// table may grow, which reallocates it.
int ckpSetupUnpackProps(ckpSetupEntry* entry) {
    kvoTable* t = entry->props;
    if (!inPack(entry, t->first)) {
        return 1;
    }
    int capacity = t->count > 0 ? t->count : 1;
    std::size_t bytes = std::size_t(t->count) * std::size_t(t->elementSize);
    void* own = kvoMalloc(std::size_t(capacity) * std::size_t(t->elementSize));
    if (own == nullptr) {
        return 0;
    }
    std::memcpy(own, t->first, bytes);
    t->first = own;
    t->capacity = capacity;
    t->end = static_cast<char*>(own) + bytes;
    return 1;
}

namespace {
std::size_t stringSize(const char* s) {
    return s != nullptr ? std::strlen(s) + 1 : 0;
}

char* packString(char* at, const char* s) {
    return static_cast<char*>(std::memcpy(at, s, std::strlen(s) + 1));
}

// Where the next string of a packed entry goes: after the last one packed.
char* packCursor(const ckpSetupEntry* entry) {
    int n = entry->props->count;
    if (n == 0) {
        return entry->name + std::strlen(entry->name) + 1;
    }
    const ckpSetupProp* last = static_cast<const ckpSetupProp*>(entry->props->first) + (n - 1);
    return last->value != nullptr ? last->value + stringSize(last->value)
                                  : last->name + stringSize(last->name);
}
} // namespace

void ckpSetupFreeEntryProp(const ckpSetupEntry* entry, ckpSetupProp* prop) {
    if (prop != nullptr && inPack(entry, prop->name)) {
        prop->name = nullptr;
        prop->value = nullptr;
    }
    ckpSetupFreeProp(prop);
}

int ckpSetupNewPacked(ckpSetupEntry* entry, const char* name, int count, std::size_t stringBytes) {
    std::size_t arrayBytes = sizeof(ckpSetupProp) * std::size_t(count > 0 ? count : 1);
    std::size_t total = sizeof(kvoTable) + arrayBytes + stringBytes;
    auto* block = static_cast<char*>(kvoMalloc(total));
    if (block == nullptr) {
        return 0;
    }
    auto* table = reinterpret_cast<kvoTable*>(block);
    table->first = block + sizeof(kvoTable);
    table->end = table->first;
    table->elementSize = int(sizeof(ckpSetupProp));
    table->count = 0;
    table->capacity = count > 0 ? count : 1;
    entry->props = table;
    entry->packEnd = block + total;
    entry->name = packString(block + sizeof(kvoTable) + arrayBytes, name);
    return 1;
}

void ckpSetupPackProp(ckpSetupEntry* entry, const char* name, const char* value) {
    kvoTable* t = entry->props;
    char* at = packCursor(entry);
    ckpSetupProp* p = static_cast<ckpSetupProp*>(t->first) + t->count;
    p->name = packString(at, name);
    p->value = value != nullptr ? packString(at + stringSize(name), value) : nullptr;
    ++t->count;
    t->end = p + 1;
}

int ckpSetupSortPacked(ckpSetupEntry* entry) {
    kvoTable* t = entry->props;
    auto* first = static_cast<ckpSetupProp*>(t->first);
    auto* last = first + t->count;
    // Strings are packed in file order, so their addresses break ties.
    std::sort(first, last, [](const ckpSetupProp& a, const ckpSetupProp& b) {
        int c = std::strcmp(a.name, b.name);
        return c != 0 ? c < 0 : a.name < b.name;
    });
    auto* kept = std::unique(first, last, [](const ckpSetupProp& a, const ckpSetupProp& b) {
        return std::strcmp(a.name, b.name) == 0;
    });
    auto dropped = int(last - kept);
    t->count -= dropped;
    t->end = kept;
    return dropped;
}

void ckpSetupFreeEntry(ckpSetupEntry* entry) {
    if (entry == nullptr) {
        return;
    }
    if (!inPack(entry, entry->name)) {
        kvoFree(entry->name);
    }
    entry->name = nullptr;
    for (int i = 0; entry->props != nullptr && i < entry->props->count; ++i) {
        ckpSetupFreeEntryProp(entry, elementAt<ckpSetupProp>(entry->props, i));
    }
    if (entry->packEnd == nullptr) {
        kvoFreeTable(&entry->props);
        return;
    }
    if (!inPack(entry, entry->props->first)) {
        kvoFree(entry->props->first);
    }
    kvoFree(entry->props); // the packed block
    entry->props = nullptr;
    entry->packEnd = nullptr;
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

int ckpSetupAddEntry(ckpSetup* setup, const char* name, kvoTable* props) {
    ckpSetupEntry element{kvoCopyString(name), props, nullptr};
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
