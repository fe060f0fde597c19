// Setups, entries and properties in memory.
#include "setup/store.hpp"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {
kvoTable* registry = nullptr;

int compareNames(const char* a, const char* b) {
    int c = std::strcmp(a != nullptr ? a : "", b != nullptr ? b : "");
    return c < 0 ? -1 : c > 0 ? 1 : 0; // strcmp compares bytes as unsigned
}

template <class T> T* elementAt(kvoTable* t, int i) {
    return static_cast<T*>(t->first) + i;
}
} // namespace

int ckpSetupCompareElems(const void* a, const void* b) {
    return compareNames(*static_cast<char* const*>(a), *static_cast<char* const*>(b));
}

int ckpSetupCompareKey(const char* key, const void* element) {
    return compareNames(key, *static_cast<char* const*>(element));
}

kvoTable* ckpSetupRegistryTable(int create) {
    if (registry == nullptr && create) {
        registry = kvoNewTable(sizeof(ckpSetup), 4);
    }
    return registry;
}

ckpSetup* ckpSetupFind(const char* name) {
    if (name == nullptr || registry == nullptr) {
        return nullptr;
    }
    return static_cast<ckpSetup*>(kvoBsearch(name, registry->first, registry->count,
                                             registry->elementSize, ckpSetupCompareKey));
}

ckpSetupEntry* ckpSetupFindEntry(const char* setup, const char* entry) {
    ckpSetup* s = ckpSetupFind(setup);
    if (s == nullptr || entry == nullptr) {
        return nullptr;
    }
    return static_cast<ckpSetupEntry*>(kvoBsearch(entry, s->entries->first, s->entries->count,
                                                  s->entries->elementSize, ckpSetupCompareKey));
}

ckpSetupProp* ckpSetupFindProp(const char* setup, const char* entry, const char* name) {
    ckpSetupEntry* e = ckpSetupFindEntry(setup, entry);
    if (e == nullptr || name == nullptr) {
        return nullptr;
    }
    return static_cast<ckpSetupProp*>(kvoBsearch(name, e->props->first, e->props->count,
                                                 e->props->elementSize, ckpSetupCompareKey));
}

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

// The properties of a packed entry move to a block of their own before the
// table may grow, which reallocates it.
int unpackProps(ckpSetupEntry* entry) {
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

void ckpSetupFree(ckpSetup* setup) {
    if (setup == nullptr) {
        return;
    }
    kvoFree(setup->name);
    kvoFree(setup->loadPath);
    ckpSetupFreeEntries(&setup->entries);
    kvoFree(setup);
}

ckpSetup* ckpSetupNew() {
    auto* s = static_cast<ckpSetup*>(kvoMalloc(sizeof(ckpSetup)));
    if (s == nullptr) {
        return nullptr;
    }
    s->name = nullptr;
    s->loadPath = nullptr;
    s->modified = 0;
    s->entries = kvoNewTable(sizeof(ckpSetupEntry), 20);
    if (s->entries == nullptr) {
        kvoFree(s);
        return nullptr;
    }
    return s;
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

namespace {
// Inserts {copy of name, copy of value}; on failure frees both copies.
int insertProp(kvoTable* props, const char* name, const char* value) {
    ckpSetupProp p{};
    if (!ckpSetupMakeProp(&p, name, value) || !kvoSortInsert(props, &p, ckpSetupCompareElems)) {
        ckpSetupFreeProp(&p);
        return 0;
    }
    return 1;
}
} // namespace

extern "C" {

int ckpSetupGetEntry(const char* setup, const char* entry) {
    return ckpSetupFindEntry(setup, entry) != nullptr ? 1 : 0;
}

int ckpSetupCreateEntry(const char* setup, const char* entry, const char* type) {
    ckpSetup* s = ckpSetupFind(setup);
    if (s == nullptr || ckpSetupFindEntry(setup, entry) != nullptr) {
        return 0;
    }
    kvoTable* props = kvoNewTable(sizeof(ckpSetupProp), 10);
    if (props == nullptr) {
        return 0;
    }
    if (type != nullptr && type[0] != '\0' && !insertProp(props, "entrytype", type)) {
        kvoReportError("Error (kvoSetupCreateEntry): couldn't add property to checkpoint entry.");
        kvoFreeTable(&props);
        return 0;
    }
    if (!ckpSetupAddEntry(s, entry, props)) {
        return 0;
    }
    s->modified = 1;
    return 1;
}

int ckpSetupDelEntry(const char* setup, const char* entry) {
    ckpSetup* s = ckpSetupFind(setup);
    if (s == nullptr || entry == nullptr) {
        return 0;
    }
    void* removed = nullptr;
    kvoTableRemoveEntry(s->entries, ckpSetupCompareKey, entry, &removed);
    if (removed == nullptr) {
        return 0;
    }
    ckpSetupFreeEntry(static_cast<ckpSetupEntry*>(removed));
    std::free(removed);
    s->modified = 1;
    return 1;
}

kvoStrlist* ckpSetupGetEntryList(const char* setup) {
    ckpSetup* s = ckpSetupFind(setup);
    if (s == nullptr) {
        return nullptr;
    }
    // Sized once: a list of a million names is not grown name by name.
    auto n = static_cast<std::size_t>(s->entries->count);
    if (n == 0) {
        return nullptr; // a setup without entries has no list
    }
    auto* list = static_cast<kvoStrlist*>(kvoMalloc((n + 1) * sizeof(kvoStrlist)));
    if (list == nullptr) {
        return nullptr;
    }
    for (std::size_t i = 0; i < n; ++i) {
        const char* name = elementAt<ckpSetupEntry>(s->entries, static_cast<int>(i))->name;
        list[i] = kvoCopyString(name != nullptr ? name : "");
        if (list[i] == nullptr) {
            kvoFreeStrlist(list); // never hand out a list with entries missing
            return nullptr;
        }
        list[i + 1] = nullptr;
    }
    list[n] = nullptr;
    return list;
}

int ckpSetupSetProp(const char* setup, const char* entry, const char* name, const char* value) {
    ckpSetupEntry* e = ckpSetupFindEntry(setup, entry);
    if (e == nullptr || name == nullptr) {
        return 0;
    }
    auto* p = static_cast<ckpSetupProp*>(kvoBsearch(name, e->props->first, e->props->count,
                                                    e->props->elementSize, ckpSetupCompareKey));
    if (p != nullptr) {
        ckpSetupProp changed{};
        if (!ckpSetupMakeProp(&changed, p->name, value)) {
            return 0;
        }
        ckpSetupFreeEntryProp(e, p);
        *p = changed;
    } else if (!unpackProps(e) || !insertProp(e->props, name, value)) {
        return 0;
    }
    ckpSetupFind(setup)->modified = 1;
    return 1;
}

int ckpSetupDelProp(const char* setup, const char* entry, const char* name) {
    ckpSetupEntry* e = ckpSetupFindEntry(setup, entry);
    if (e == nullptr || name == nullptr) {
        return 0;
    }
    void* removed = nullptr;
    kvoTableRemoveEntry(e->props, ckpSetupCompareKey, name, &removed);
    if (removed == nullptr) {
        return 0;
    }
    ckpSetupFreeEntryProp(e, static_cast<ckpSetupProp*>(removed));
    std::free(removed);
    ckpSetupFind(setup)->modified = 1;
    return 1;
}

int ckpSetupGetProp(const char* setup, const char* entry, const char* name, char** value) {
    ckpSetupProp* p = ckpSetupFindProp(setup, entry, name);
    if (p == nullptr || value == nullptr) {
        return 0;
    }
    char* copy = kvoCopyString(p->value);
    if (p->value != nullptr && copy == nullptr) {
        return 0;
    }
    *value = copy;
    return 1;
}

int ckpSetupGetAllProps(const char* setup, const char* entry, char*** names, char*** values) {
    ckpSetupEntry* e = ckpSetupFindEntry(setup, entry);
    if (e == nullptr || names == nullptr || values == nullptr) {
        return 0;
    }
    int n = e->props->count;
    auto** ns = static_cast<char**>(kvoMalloc(sizeof(char*) * std::size_t(n + 1)));
    auto** vs = static_cast<char**>(kvoMalloc(sizeof(char*) * std::size_t(n + 1)));
    bool ok = ns != nullptr && vs != nullptr;
    for (int i = 0; ok && i <= n; ++i) {
        ns[i] = vs[i] = nullptr;
    }
    for (int i = 0; ok && i < n; ++i) {
        ckpSetupProp* p = elementAt<ckpSetupProp>(e->props, i);
        ns[i] = kvoCopyString(p->name);
        vs[i] = kvoCopyString(p->value);
        ok = ns[i] != nullptr && (p->value == nullptr || vs[i] != nullptr);
    }
    if (!ok) {
        for (int i = 0; ns != nullptr && vs != nullptr && i < n; ++i) {
            kvoFree(ns[i]);
            kvoFree(vs[i]);
        }
        kvoFree(ns);
        kvoFree(vs);
        return 0;
    }
    *names = ns;
    *values = vs;
    return 1;
}
}
