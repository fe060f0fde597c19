// A name index of the current record's properties, so that looking a name
// up (the duplicate test of every property read or written, ckpGetProp)
// stays O(1) however many properties a record has. Small records are
// searched directly; the index is built once a search passes over more
// properties than that, and kept while properties are only added.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/types.hpp"

struct ckpPropSlot {
    ckpProp* prop; // null when free
    std::uint64_t hash;
};

struct ckpPropIndex {
    const ckpFile* file;   // the file whose record is indexed; null: none
    ckpPropSlot* slots;    // open addressing
    std::size_t slotCount; // a power of two, at least twice the names held
    std::size_t used;
};

// The first property of the handle's current record named name (whose
// nameHash is hash), or null.
ckpProp* tiPropIndexFindHashed(ckpInfo* info, const char* name, std::uint64_t hash);
// A name of hash is about to be looked up and added: its slot is fetched
// into the cache meanwhile, when the record has an index.
void tiPropIndexPrefetch(const ckpInfo* info, std::uint64_t hash);
// A property of line's record, not yet appended to line, taken into the
// record's index with one probe: the earlier property of its name, or null.
// *taken is false when the record has no index, or no memory to grow it:
// the caller then looks the name up and appends the usual way.
ckpProp* tiPropIndexTakeNew(const ckpLine* line, ckpProp* prop, bool* taken);
// A property just appended to its line: the index takes it in.
void tiPropIndexAdd(ckpProp* prop);
// A property of file's record goes away, or the file does: the index of
// that record is dropped and built again when it is next needed.
void tiPropIndexForget(ckpInfo* info, const ckpFile* file);
// Frees the handle's index, when it has one.
void tiPropIndexFree(ckpInfo* info);
