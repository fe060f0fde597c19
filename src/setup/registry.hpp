// The setups in memory: one table of them by name, and the lookups of a
// setup or an entry by name.
#pragma once

#include "setup/store.hpp"

// The table of all setups by name; made (empty) when create is set and there
// is none yet. Null when there is none, or no memory was left to make it.
kvoTable* ckpSetupRegistryTable(int create);
// The setup or entry of that name, or null when there is none.
ckpSetup* ckpSetupFind(const char* name);
ckpSetupEntry* ckpSetupFindEntry(const char* setup, const char* entry);
// A new unnamed, unmodified setup without entries; null without memory.
ckpSetup* ckpSetupNew();
// Frees the setup with its name, load path and entries; null is ignored.
void ckpSetupFree(ckpSetup* setup);
// Hands the setup's contents over to the registry and frees the struct;
// 1, or 0 without memory (the setup is then freed whole).
int ckpSetupRegister(ckpSetup* setup);
