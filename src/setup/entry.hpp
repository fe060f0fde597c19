// Entries and properties: made by calls one by one, or packed into the
// setup's arena when read from a setup file; looked at in either form; and
// freed.
#pragma once

#include <cstddef>
#include <cstring>

#include "setup/store.hpp"

// Inserts an entry of a copy of name that takes props over. 1, or 0 with the
// reason reported through kvoReportError (no name, the name already there,
// no memory) and props freed.
int ckpSetupAddEntry(ckpSetup* setup, const char* name, kvoTable* props);
// Fills prop with copies of name and value; 0 without memory or name.
int ckpSetupMakeProp(ckpSetupProp* prop, const char* name, const char* value);
// Frees prop's strings (not prop itself) and nulls them; null is ignored.
void ckpSetupFreeProp(ckpSetupProp* prop);
// Inserts {copy of name, copy of value} into a property table in name
// order; 1, or 0 without memory (both copies freed).
int ckpSetupInsertProp(kvoTable* props, const char* name, const char* value);

// Packs an entry of the props (count of them, in file order) into setup's
// arena: sorted by name (scratch holds count more while sorting), of equal
// names the first kept. *dropped tells how many were left out as repeated.
// 0 without memory.
int ckpSetupPack(ckpSetup* setup, ckpSetupEntry* entry, const char* name, ckpSetupProp* props,
                 ckpSetupProp* scratch, int count, int* dropped);
// Gives a packed entry a name and property table of its own, as a call would
// have made them, so that it may change; 1 for an entry that has them
// already, 0 without memory (the entry then stays as it was).
int ckpSetupUnpack(ckpSetupEntry* entry);
// Frees what entry owns (not entry itself, which a table holds by value);
// null is ignored.
void ckpSetupFreeEntry(ckpSetupEntry* entry);
// Frees every entry of the table and the table, and nulls *entries.
void ckpSetupFreeEntries(kvoTable** entries);
// Frees the blocks of the arena and nulls *arena.
void ckpSetupFreeArena(ckpSetupChunk** arena);

// The number of the entry's properties.
int ckpSetupPropCount(const ckpSetupEntry* entry);
// The property of that name: 1 with *value set (null for a flag), or 0.
int ckpSetupLookupProp(const ckpSetupEntry* entry, const char* name, const char** value);

// Calls visit(name, value) for each of the entry's properties in name
// order (value null for a flag).
template <class Visit> void ckpSetupEachProp(const ckpSetupEntry* entry, Visit visit) {
    if (entry->props != nullptr) {
        const auto* props = static_cast<const ckpSetupProp*>(entry->props->first);
        for (int i = 0; i < entry->props->count; ++i) {
            visit(static_cast<const char*>(props[i].name),
                  static_cast<const char*>(props[i].value));
        }
        return;
    }
    const char* at = entry->name + std::strlen(entry->name) + 1;
    while (*at != ckpSetupPackedEnd) {
        bool flag = *at++ == ckpSetupPackedFlag;
        const char* name = at;
        at += std::strlen(at) + 1;
        const char* value = flag ? nullptr : at;
        if (!flag) {
            at += std::strlen(at) + 1;
        }
        visit(name, value);
    }
}
