// Properties of the current record: making, finding, walking and freeing
// them.
#pragma once

#include <cstddef>
#include <cstdint>

#include <new>

#include "core/name_hash.hpp"
#include "core/pool.hpp"
#include "core/prop_index.hpp"
#include "core/types.hpp"

// A new property holding copies of name and value (value null: a flag).
// With a line it is appended to that line and taken into the record's name
// index; with checkDup a name the record already has is warned about first.
// Null, with "ckpProp allocation failed" recorded, when no memory is left.
ckpProp* tiAddProp(ckpLine* line, int checkDup, const char* name, const char* value);
inline constexpr int tiNoDupCheck = 0;
inline constexpr int tiWarnDup = 1;
// A property's texts with their lengths and the name's hash (nameHash),
// so that a caller that has them is not made to count again. The texts
// need no terminator: their lengths tell where they end.
struct tiPropText {
    const char* name; // null for none
    std::size_t nameLength;
    const char* value; // null for a flag
    std::size_t valueLength;
    std::uint64_t hash;
    // Neither text holds anything that the writer escapes.
    bool plain = false;
};
// tiAddProp for texts already measured and hashed.
ckpProp* tiAddPropText(ckpLine* line, int checkDup, const tiPropText& text);
// tiNewPropIn for a line of no file: a block of the property's own.
ckpProp* tiNewOwnProp(std::size_t stringBytes);
// A property of line's record with room for stringBytes bytes after it
// (name and value are the caller's to place there), not yet on the line;
// null when no memory is left (nothing recorded: the caller tells of it in
// its order). Inline, with tiAppendProp: the reader makes every property
// through them.
inline ckpProp* tiNewPropIn(ckpLine* line, std::size_t stringBytes) {
    if (line == nullptr || line->file == nullptr) {
        return tiNewOwnProp(stringBytes);
    }
    void* block = tiArenaTakeFast(&line->file->propArena, sizeof(ckpProp) + stringBytes);
    if (block == nullptr) {
        return nullptr;
    }
    auto* prop = new (block) ckpProp{};
    prop->sizeClass = ckpInArena;
    return prop;
}
// Appends prop (whose name and hash are set) to line and to the record's
// name filter, not to its name index.
inline void tiLinkProp(ckpLine* line, ckpProp* prop) {
    prop->line = line;
    if (line->lastProp != nullptr) {
        line->lastProp->next = prop;
    } else {
        line->firstProp = prop;
    }
    line->lastProp = prop;
    if (line->file != nullptr && prop->name != nullptr) {
        line->file->nameBits |= tiNameBit(prop->hash);
    }
}
// Appends prop (whose name and hash are set) to line and to the record's
// name index.
inline void tiAppendProp(ckpLine* line, ckpProp* prop) {
    tiLinkProp(line, prop);
    ckpFile* file = line->file;
    if (file == nullptr || prop->name == nullptr) {
        return;
    }
    // Only a large record has an index to take the property in.
    const ckpPropIndex* index = file->info != nullptr ? file->info->record.propIndex : nullptr;
    if (index != nullptr && index->file == file) {
        tiPropIndexAdd(prop);
    }
}
// Records "duplicate "name" property" when the current record of line's
// handle already has a property of that name.
void tiWarnDupProp(ckpLine* line, const char* name);
// The same for a name whose nameHash is known.
void tiWarnDupPropHashed(ckpLine* line, const char* name, std::uint64_t hash);
// Frees every property of file's record, ending the walks over them; its
// name filter is cleared with them.
void tiClearProps(ckpFile* file);
// tiClearProps when the lines after the first go next: only the first
// line's list is emptied, so that a record of many lines is not walked for
// it.
void tiClearPropsOfFirstLine(ckpFile* file);
// Unlinks prop from its line and frees it; generators that would hand it
// out next move on to the following property. Returns 0, also for null.
int tiFreeProp(ckpProp* prop);
// The first property of the handle's current record named name, or null
// when there is none or no record.
ckpProp* tiFindProp(ckpInfo* info, const char* name);
// The same for a name whose nameHash is known.
ckpProp* tiFindPropHashed(ckpInfo* info, const char* name, std::uint64_t hash);
// The first property on line or a line after it in the record, or null.
inline ckpProp* tiFirstPropFrom(const ckpLine* line) {
    for (; line != nullptr; line = line->next) {
        if (line->firstProp != nullptr) {
            return line->firstProp;
        }
    }
    return nullptr;
}
// The property after prop in record order (on to the later lines), or null.
// Inline: every property handed out asks for it.
inline ckpProp* tiNextProp(ckpProp* prop) {
    if (prop == nullptr) {
        return nullptr;
    }
    if (prop->next != nullptr) {
        return prop->next;
    }
    return prop->line != nullptr ? tiFirstPropFrom(prop->line->next) : nullptr;
}
