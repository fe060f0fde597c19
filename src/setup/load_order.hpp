// The entries of a setup being read from its file, taken in file order in
// linear time: appended while the file runs in one order (ascending or
// descending), indexed by a hash once it does not, and put in ascending
// order once when the load ends.
#pragma once

#include <cstddef>
#include <cstdint>

#include "setup/store.hpp"

struct ckpSetupLoadOrder {
    ckpSetup* setup;
    int run;               // the entries so far: 1 ascending, -1 descending, 0 neither
    bool oneByOne;         // no memory for the index: sorted insertion
    std::uint32_t* slots;  // entry index + 1 by name hash, 0 when free
    std::size_t slotCount; // a power of two, at least twice the entries
};

// Starts a load into setup, whose entries table the load then fills.
void ckpSetupLoadBegin(ckpSetupLoadOrder* order, ckpSetup* setup);
// Takes the entry in: 1, or 0 when its name is already there or no memory
// is left (the entry is then the caller's to free).
int ckpSetupLoadAdd(ckpSetupLoadOrder* order, const ckpSetupEntry* entry);
// Leaves the setup's entries in ascending order and frees the index.
void ckpSetupLoadEnd(ckpSetupLoadOrder* order);
