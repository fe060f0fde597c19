// The setups in memory: the registry of them by name, their lookups, and
// the exports that make and drop a setup without its file.
#include "setup/registry.hpp"

#include <cstdlib>
#include <cstring>

#include "setup/entry.hpp"

namespace {
kvoTable* registry = nullptr;

int compareNames(const char* a, const char* b) {
    int c = std::strcmp(a != nullptr ? a : "", b != nullptr ? b : "");
    return c < 0 ? -1 : c > 0 ? 1 : 0; // strcmp compares bytes as unsigned
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

void ckpSetupFree(ckpSetup* setup) {
    if (setup == nullptr) {
        return;
    }
    kvoFree(setup->name);
    kvoFree(setup->loadPath);
    ckpSetupFreeEntries(&setup->entries);
    ckpSetupFreeArena(&setup->arena);
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
    s->arena = nullptr;
    s->entries = kvoNewTable(sizeof(ckpSetupEntry), 20);
    if (s->entries == nullptr) {
        kvoFree(s);
        return nullptr;
    }
    return s;
}

int ckpSetupRegister(ckpSetup* setup) {
    if (!kvoSortInsert(ckpSetupRegistryTable(1), setup, ckpSetupCompareElems)) {
        ckpSetupFree(setup);
        return 0;
    }
    kvoFree(setup); // the registry holds its contents now
    return 1;
}

extern "C" {

int ckpSetupCreate(const char* name) {
    if (ckpSetupRegistryTable(1) == nullptr || name == nullptr || name[0] == '\0') {
        return 0;
    }
    if (ckpSetupFind(name) != nullptr) {
        return 1;
    }
    if (kvoFileExists(name)) {
        return 0;
    }
    ckpSetup* setup = ckpSetupNew();
    if (setup == nullptr) {
        return 0;
    }
    setup->loadPath = kvoCopyString(name);
    setup->name = kvoCopyString(name);
    if (setup->loadPath == nullptr || setup->name == nullptr) {
        ckpSetupFree(setup);
        return 0;
    }
    return ckpSetupRegister(setup);
}

int ckpSetupClear(const char* name) {
    kvoTable* reg = ckpSetupRegistryTable(1);
    if (reg == nullptr || name == nullptr || name[0] == '\0' || ckpSetupFind(name) == nullptr) {
        return 0;
    }
    void* removed = nullptr;
    kvoTableRemoveEntry(reg, ckpSetupCompareKey, name, &removed);
    if (removed == nullptr) {
        return 0;
    }
    ckpSetup* setup = static_cast<ckpSetup*>(removed);
    kvoFree(setup->name);
    kvoFree(setup->loadPath);
    ckpSetupFreeEntries(&setup->entries);
    ckpSetupFreeArena(&setup->arena);
    std::free(removed);
    return 1;
}
}
