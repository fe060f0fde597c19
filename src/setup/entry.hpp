// Entries and properties: made by calls one by one, or packed in one block
// per entry when read from a setup file; and freed.
#pragma once

#include <cstddef>

#include "setup/store.hpp"

// Inserts an entry of a copy of name that takes props over. 1, or 0 with the
// reason reported through kvoReportError (no name, the name already there,
// no memory) and props freed.
int ckpSetupAddEntry(ckpSetup* setup, const char* name, kvoTable* props);
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
// Inserts {copy of name, copy of value} into a property table in name
// order; 1, or 0 without memory (both copies freed).
int ckpSetupInsertProp(kvoTable* props, const char* name, const char* value);
// Moves a packed entry's property array to a block of its own, so that its
// table may grow; 0 without memory.
int ckpSetupUnpackProps(ckpSetupEntry* entry);
