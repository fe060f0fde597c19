// The setup store: named setups of entries of properties, in sorted tables.
#pragma once

#include <cstddef>
#include <cstdio>

#include "ckp/ckp.h"

struct ckpSetupProp {
    char* name;
    char* value; // null for a flag property
};

struct ckpSetupEntry {
    char* name;
    kvoTable* props;
    // Null for an entry made by a call. An entry read from a setup file is
    // packed: its property table, the table's first array, its name and its
    // properties' strings lie in one block that begins at props and ends
    // here, so that a load takes one block per entry. What is changed later
    // gets blocks of its own; only those are freed one by one.
    char* packEnd;
};

struct ckpSetup {
    char* name;
    char* loadPath;
    int modified;
    kvoTable* entries;
};

int ckpSetupCompareElems(const void* a, const void* b);
int ckpSetupCompareKey(const char* key, const void* element);

kvoTable* ckpSetupRegistryTable(int create);
ckpSetup* ckpSetupFind(const char* name);
ckpSetupEntry* ckpSetupFindEntry(const char* setup, const char* entry);
ckpSetupProp* ckpSetupFindProp(const char* setup, const char* entry, const char* name);
int ckpSetupAddEntry(ckpSetup* setup, const char* name, kvoTable* props);
ckpSetup* ckpSetupNew();
// Fills prop with copies of name and value; 0 without memory or name.
int ckpSetupMakeProp(ckpSetupProp* prop, const char* name, const char* value);
void ckpSetupFreeProp(ckpSetupProp* prop);
// Frees what of prop lies outside the entry's packed block.
void ckpSetupFreeEntryProp(const ckpSetupEntry* entry, ckpSetupProp* prop);
// A packed entry for count properties and strings of stringBytes bytes in
// all (the name's included), its name copied in; 0 without memory.
int ckpSetupNewPacked(ckpSetupEntry* entry, const char* name, int count, std::size_t stringBytes);
// Appends a property to a packed entry made for it (copies in the block).
void ckpSetupPackProp(ckpSetupEntry* entry, const char* name, const char* value);
// Sorts a packed entry's properties once; of equal names the first packed
// stays. Returns how many were dropped as repeated.
int ckpSetupSortPacked(ckpSetupEntry* entry);
void ckpSetupFreeEntry(ckpSetupEntry* entry);
void ckpSetupFreeEntries(kvoTable** entries);
void ckpSetupFree(ckpSetup* setup);

// The dump of a setup; ckpSetupDump writes it to standard error.
void ckpSetupDumpTo(std::FILE* out, const ckpSetup* setup);
void ckpSetupDump(const ckpSetup* setup);
