// The setup store's types: named setups of entries of properties, in
// sorted tables. registry.hpp holds the setups, entry.hpp makes and frees
// entries.
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
