// The exports on a setup's entries and properties.
#include <cstdlib>
#include <cstring>

#include "setup/entry.hpp"
#include "setup/registry.hpp"

namespace {
template <class T> T* elementAt(kvoTable* t, int i) {
    return static_cast<T*>(t->first) + i;
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
    if (type != nullptr && type[0] != '\0' && !ckpSetupInsertProp(props, "entrytype", type)) {
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
    if (e == nullptr || name == nullptr || !ckpSetupUnpack(e)) {
        return 0;
    }
    auto* p = static_cast<ckpSetupProp*>(kvoBsearch(name, e->props->first, e->props->count,
                                                    e->props->elementSize, ckpSetupCompareKey));
    if (p != nullptr) {
        ckpSetupProp changed{};
        if (!ckpSetupMakeProp(&changed, p->name, value)) {
            return 0;
        }
        ckpSetupFreeProp(p);
        *p = changed;
    } else if (!ckpSetupInsertProp(e->props, name, value)) {
        return 0;
    }
    ckpSetupFind(setup)->modified = 1;
    return 1;
}

int ckpSetupDelProp(const char* setup, const char* entry, const char* name) {
    ckpSetupEntry* e = ckpSetupFindEntry(setup, entry);
    const char* value = nullptr;
    if (e == nullptr || name == nullptr || !ckpSetupLookupProp(e, name, &value) ||
        !ckpSetupUnpack(e)) {
        return 0;
    }
    void* removed = nullptr;
    kvoTableRemoveEntry(e->props, ckpSetupCompareKey, name, &removed);
    if (removed == nullptr) {
        return 0;
    }
    ckpSetupFreeProp(static_cast<ckpSetupProp*>(removed));
    std::free(removed);
    ckpSetupFind(setup)->modified = 1;
    return 1;
}

int ckpSetupGetProp(const char* setup, const char* entry, const char* name, char** value) {
    ckpSetupEntry* e = ckpSetupFindEntry(setup, entry);
    const char* found = nullptr;
    if (e == nullptr || name == nullptr || value == nullptr ||
        !ckpSetupLookupProp(e, name, &found)) {
        return 0;
    }
    char* copy = kvoCopyString(found);
    if (found != nullptr && copy == nullptr) {
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
    int n = ckpSetupPropCount(e);
    auto** ns = static_cast<char**>(kvoMalloc(sizeof(char*) * std::size_t(n + 1)));
    auto** vs = static_cast<char**>(kvoMalloc(sizeof(char*) * std::size_t(n + 1)));
    bool ok = ns != nullptr && vs != nullptr;
    for (int i = 0; ok && i <= n; ++i) {
        ns[i] = vs[i] = nullptr;
    }
    int copied = 0;
    ckpSetupEachProp(e, [&](const char* name, const char* value) {
        if (ok) {
            ns[copied] = kvoCopyString(name);
            vs[copied] = kvoCopyString(value);
            ok = ns[copied] != nullptr && (value == nullptr || vs[copied] != nullptr);
            ++copied;
        }
    });
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
