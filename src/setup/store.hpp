// The setup store: named setups of entries of properties, in sorted tables.
#pragma once

#include <cstdio>

#include "ckp/ckp.h"

struct ckpSetupProp {
    char* name;
    char* value; // null for a flag property
};

struct ckpSetupEntry {
    char* name;
    kvoTable* props;
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
void ckpSetupFreeEntry(ckpSetupEntry* entry);
void ckpSetupFreeEntries(kvoTable** entries);
void ckpSetupFree(ckpSetup* setup);

// The dump of a setup; ckpSetupDump writes it to standard error.
void ckpSetupDumpTo(std::FILE* out, const ckpSetup* setup);
void ckpSetupDump(const ckpSetup* setup);
