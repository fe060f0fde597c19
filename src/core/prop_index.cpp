// The name index of the current record's properties.
#include "core/prop_index.hpp"

#include <cstring>

#include "core/memory.hpp"
#include "core/name_hash.hpp"

namespace {
// Records of up to about this many lines and properties are searched
// without an index.
constexpr int directSearchLimit = 24;
// Index slots kept from one record to the next at the most.
constexpr std::size_t keptSlots = 4096;

// The slot of name, or the free one where it would go. A slot keeps its
// name's hash, so that a probe reads the name only when the hashes agree.
ckpPropSlot* findSlot(const ckpPropIndex* index, const char* name, std::uint64_t hash) {
    std::size_t mask = index->slotCount - 1;
    for (std::size_t i = static_cast<std::size_t>(hash) & mask;; i = (i + 1) & mask) {
        ckpPropSlot* slot = index->slots + i;
        if (slot->prop == nullptr ||
            (slot->hash == hash && std::strcmp(slot->prop->name, name) == 0)) {
            return slot;
        }
    }
}

// Of two properties of one name the one earlier in the record stays: a
// line appended later has a higher sequence number, and a line's own
// properties are appended in order.
void takeIn(ckpPropIndex* index, ckpProp* prop) {
    ckpPropSlot* slot = findSlot(index, prop->name, prop->hash);
    if (slot->prop == nullptr) {
        *slot = ckpPropSlot{prop, prop->hash};
        ++index->used;
    } else if (slot->prop->line->seq > prop->line->seq) {
        slot->prop = prop;
    }
}

bool resize(ckpPropIndex* index, std::size_t names) {
    std::size_t n = 64;
    while (n < 2 * names) {
        n *= 2;
    }
    if (n == index->slotCount) {
        std::memset(index->slots, 0, n * sizeof(ckpPropSlot));
        return true;
    }
    auto* slots = static_cast<ckpPropSlot*>(tiAlloc(n * sizeof(ckpPropSlot)));
    if (slots == nullptr) {
        return false;
    }
    std::memset(slots, 0, n * sizeof(ckpPropSlot));
    tiFree(index->slots);
    index->slots = slots;
    index->slotCount = n;
    return true;
}

// The names an index of file's record is first sized for: one for each of
// its lines (read in full before their properties are made, so that the
// slots of a large record are taken once instead of grown into), at the
// most largestGuess; it grows beyond that as names come.
std::size_t namesGuess(const ckpFile* file) {
    constexpr std::uint64_t largestGuess = std::uint64_t{1} << 21;
    std::uint64_t lines = file->lastLine->seq - file->firstLine->seq + 1;
    return static_cast<std::size_t>(lines < largestGuess ? lines : largestGuess);
}

bool grow(ckpPropIndex* index);

// An index of the whole record, or null when no memory is left for it.
ckpPropIndex* build(ckpInfo* info) {
    ckpPropIndex* index = info->record.propIndex;
    if (index == nullptr) {
        index = tiAllocZeroed<ckpPropIndex>();
        if (index == nullptr) {
            return nullptr;
        }
        info->record.propIndex = index;
    }
    index->file = nullptr;
    index->used = 0;
    if (!resize(index, namesGuess(info->files.top))) {
        return nullptr;
    }
    for (ckpLine* line = info->files.top->firstLine; line != nullptr; line = line->next) {
        for (ckpProp* p = line->firstProp; p != nullptr; p = p->next) {
            if (p->name == nullptr) {
                continue;
            }
            if (2 * (index->used + 1) > index->slotCount && !grow(index)) {
                return nullptr;
            }
            takeIn(index, p);
        }
    }
    index->file = info->files.top;
    return index;
}

// A direct search; with a limit on the lines and properties passed over,
// *passed tells whether it stopped there.
ckpProp* search(const ckpFile* file, const char* name, std::uint64_t hash, int limit,
                bool* passed) {
    int seen = 0;
    for (ckpLine* line = file->firstLine; line != nullptr; line = line->next) {
        for (ckpProp* p = line->firstProp; p != nullptr; p = p->next) {
            if (p->name != nullptr && p->hash == hash && std::strcmp(p->name, name) == 0) {
                return p;
            }
            ++seen;
        }
        if (limit > 0 && ++seen >= limit) {
            *passed = true;
            return nullptr;
        }
    }
    return nullptr;
}
} // namespace

ckpProp* tiPropIndexFindHashed(ckpInfo* info, const char* name, std::uint64_t hash) {
    if (info == nullptr || info->files.top == nullptr || name == nullptr) {
        return nullptr;
    }
    // Most names are new to their record: the filter answers for them.
    if ((info->files.top->nameBits & tiNameBit(hash)) == 0) {
        return nullptr;
    }
    const ckpPropIndex* index = info->record.propIndex;
    if (index == nullptr || index->file != info->files.top) {
        bool passed = false;
        ckpProp* found = search(info->files.top, name, hash, directSearchLimit, &passed);
        if (!passed) {
            return found;
        }
        index = build(info);
        if (index == nullptr) {
            return search(info->files.top, name, hash, 0, &passed); // no memory: the slow way
        }
    }
    return findSlot(index, name, hash)->prop;
}

void tiPropIndexPrefetch(const ckpInfo* info, std::uint64_t hash) {
    const ckpPropIndex* index = info->record.propIndex;
    if (index == nullptr || index->file != info->files.top || index->slots == nullptr) {
        return;
    }
    const ckpPropSlot* slot =
        index->slots + (static_cast<std::size_t>(hash) & (index->slotCount - 1));
#if defined(__GNUC__) || defined(__clang__)
    __builtin_prefetch(slot);
#else
    (void)slot;
#endif
}

namespace {
// Twice the slots, filled from the old ones: a record is walked once only.
bool grow(ckpPropIndex* index) {
    std::size_t n = index->slotCount * 2;
    auto* slots = static_cast<ckpPropSlot*>(tiAlloc(n * sizeof(ckpPropSlot)));
    if (slots == nullptr) {
        return false;
    }
    std::memset(slots, 0, n * sizeof(ckpPropSlot));
    ckpPropSlot* old = index->slots;
    std::size_t oldCount = index->slotCount;
    index->slots = slots;
    index->slotCount = n;
    for (std::size_t i = 0; i < oldCount; ++i) {
        if (old[i].prop != nullptr) {
            *findSlot(index, old[i].prop->name, old[i].hash) = old[i];
        }
    }
    tiFree(old);
    return true;
}
} // namespace

void tiPropIndexAdd(ckpProp* prop) {
    if (prop == nullptr || prop->line == nullptr || prop->line->file == nullptr ||
        prop->name == nullptr) {
        return;
    }
    const ckpFile* file = prop->line->file;
    ckpInfo* info = file->info;
    ckpPropIndex* index = info != nullptr ? info->record.propIndex : nullptr;
    if (index == nullptr || index->file != file) {
        return;
    }
    if (2 * (index->used + 1) > index->slotCount && !grow(index)) {
        index->file = nullptr; // no memory: built again when next needed
        return;
    }
    takeIn(index, prop);
}

ckpProp* tiPropIndexTakeNew(const ckpLine* line, ckpProp* prop, bool* taken) {
    *taken = false;
    const ckpFile* file = line->file;
    ckpPropIndex* index =
        file != nullptr && file->info != nullptr ? file->info->record.propIndex : nullptr;
    if (index == nullptr || index->file != file || file->info->files.top != file ||
        prop->name == nullptr) {
        return nullptr;
    }
    if (2 * (index->used + 1) > index->slotCount && !grow(index)) {
        index->file = nullptr; // no memory: built again when next needed
        return nullptr;
    }
    *taken = true;
    ckpPropSlot* slot = findSlot(index, prop->name, prop->hash);
    if (slot->prop != nullptr) {
        return slot->prop;
    }
    *slot = ckpPropSlot{prop, prop->hash};
    ++index->used;
    return nullptr;
}

void tiPropIndexForget(ckpInfo* info, const ckpFile* file) {
    ckpPropIndex* index = info != nullptr ? info->record.propIndex : nullptr;
    if (index == nullptr || index->file != file) {
        return;
    }
    index->file = nullptr;
    // The slots of a very large record are not kept for the records after it.
    if (index->slotCount > keptSlots) {
        index->slots = static_cast<ckpPropSlot*>(tiFree(index->slots));
        index->slotCount = 0;
    }
}

void tiPropIndexFree(ckpInfo* info) {
    if (info != nullptr && info->record.propIndex != nullptr) {
        tiFree(info->record.propIndex->slots);
        info->record.propIndex = static_cast<ckpPropIndex*>(tiFree(info->record.propIndex));
    }
}
