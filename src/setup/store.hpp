// The setup store: named setups of entries of properties, in sorted tables.
#pragma once

#include <cstddef>

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

// The table orders of setups, entries and properties, which all begin with
// their name: -1, 0 or 1 as strcmp orders the names (null taken as "").
int ckpSetupCompareElems(const void* a, const void* b);
int ckpSetupCompareKey(const char* key, const void* element);

// The table of all setups by name; made (empty) when create is set and there
// is none yet. Null when there is none, or no memory was left to make it.
kvoTable* ckpSetupRegistryTable(int create);
// The setup, entry or property of that name, or null when there is none.
ckpSetup* ckpSetupFind(const char* name);
ckpSetupEntry* ckpSetupFindEntry(const char* setup, const char* entry);
ckpSetupProp* ckpSetupFindProp(const char* setup, const char* entry, const char* name);
// Inserts an entry of a copy of name that takes props over. 1, or 0 with the
// reason reported through kvoReportError (no name, the name already there,
// no memory) and props freed.
int ckpSetupAddEntry(ckpSetup* setup, const char* name, kvoTable* props);
// A new unnamed, unmodified setup without entries; null without memory.
ckpSetup* ckpSetupNew();
// Fills prop with copies of name and value; 0 without memory or name.
int ckpSetupMakeProp(ckpSetupProp* prop, const char* name, const char* value);
// Frees prop's strings (not prop itself) and nulls them; null is ignored.
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
// Frees what entry owns (not entry itself, which a table holds by value);
// null is ignored.
void ckpSetupFreeEntry(ckpSetupEntry* entry);
// Frees every entry of the table and the table, and nulls *entries.
void ckpSetupFreeEntries(kvoTable** entries);
// Frees the setup with its name, load path and entries; null is ignored.
void ckpSetupFree(ckpSetup* setup);
