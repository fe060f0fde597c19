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

// An entry read from a setup file is packed: it has no property table, and
// its name and properties lie in its setup's arena as the name, then for
// each property in name order a tag (ckpSetupPackedValue: name and value
// follow; ckpSetupPackedFlag: the name alone), each string ended by NUL,
// and a 0 after the last. A load then costs a few bytes over the file's
// text per entry. An entry made by a call, or changed, owns its name and a
// table of properties that each own their block.
struct ckpSetupEntry {
    char* name;
    kvoTable* props; // null while packed
};

enum : char { ckpSetupPackedEnd = 0, ckpSetupPackedValue = 1, ckpSetupPackedFlag = 2 };

// A block of the arena that packed entries lie in.
struct ckpSetupChunk {
    ckpSetupChunk* next;
    std::size_t used;
    std::size_t size;
};

struct ckpSetup {
    char* name;
    char* loadPath;
    int modified;
    kvoTable* entries;
    ckpSetupChunk* arena; // freed with the setup, whatever became of its entries
};

// The table orders of setups, entries and properties, which all begin with
// their name: -1, 0 or 1 as strcmp orders the names (null taken as "").
int ckpSetupCompareElems(const void* a, const void* b);
int ckpSetupCompareKey(const char* key, const void* element);
