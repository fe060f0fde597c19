// Free lists of property and line blocks by size class, per handle.
// A list holds a bounded number of blocks, so that a very large record does
// not leave its memory with the handle.
#include "core/pool.hpp"

#include <cstring>

#include "core/memory.hpp"

#if defined(CKP_POOL_POISON)
#include <sanitizer/asan_interface.h>
#endif

namespace {
// Under the address sanitizer a kept block is poisoned, so that a use after
// it went back is caught as a use after free would be.
void poison(void* block, std::size_t size) {
#if defined(CKP_POOL_POISON)
    ASAN_POISON_MEMORY_REGION(block, size);
#else
    (void)block;
    (void)size;
#endif
}
void unpoison(void* block, std::size_t size) {
#if defined(CKP_POOL_POISON)
    ASAN_UNPOISON_MEMORY_REGION(block, size);
#else
    (void)block;
    (void)size;
#endif
}

// Blocks of 64 << k bytes; a property larger than the largest class has a
// block of its own size.
constexpr std::size_t smallestBlock = 64;
constexpr int keptBlocks = 1024;

int classOf(std::size_t size) {
    std::size_t block = smallestBlock;
    for (int k = 0; k < ckpBlockClasses; ++k, block *= 2) {
        if (size <= block) {
            return k;
        }
    }
    return -1;
}

// A kept block holds the link to the next one in its first bytes.
void*& linkOf(void* block) {
    return *static_cast<void**>(block);
}
} // namespace

void* tiTakeBlock(ckpInfo* info, std::size_t size, int* sizeClass) {
    int k = info != nullptr ? classOf(size) : -1;
    *sizeClass = k;
    if (k < 0) {
        return tiAlloc(size);
    }
    void* block = info->spare.blocks[k];
    if (block != nullptr) {
        unpoison(block, sizeof(void*));
        info->spare.blocks[k] = linkOf(block);
        --info->spare.counts[k];
    } else {
        block = tiAlloc(smallestBlock << k);
        if (block == nullptr) {
            return nullptr;
        }
    }
    // Only what was asked for may be used: the rest of the block stays
    // poisoned, so that running past it is caught.
    poison(block, smallestBlock << k);
    unpoison(block, size);
    return block;
}

void tiGiveBlock(ckpInfo* info, void* block, int sizeClass) {
    if (block == nullptr || sizeClass == ckpInArena) {
        return;
    }
    if (info == nullptr || sizeClass < 0 || info->spare.counts[sizeClass] >= keptBlocks) {
        if (sizeClass >= 0) {
            unpoison(block, smallestBlock << sizeClass);
        }
        tiFree(block);
        return;
    }
    unpoison(block, smallestBlock << sizeClass);
    linkOf(block) = info->spare.blocks[sizeClass];
    info->spare.blocks[sizeClass] = block;
    ++info->spare.counts[sizeClass];
    poison(block, smallestBlock << sizeClass);
}

void tiFreePool(ckpInfo* info) {
    for (int k = 0; k < ckpBlockClasses; ++k) {
        while (info->spare.blocks[k] != nullptr) {
            unpoison(info->spare.blocks[k], smallestBlock << k);
            void* next = linkOf(info->spare.blocks[k]);
            tiFree(info->spare.blocks[k]);
            info->spare.blocks[k] = next;
        }
        info->spare.counts[k] = 0;
    }
}

namespace {
// A record of a few properties fits the first chunk; the chunks of a larger
// one double, so that it takes few allocations.
constexpr std::size_t firstChunk = 4096 - sizeof(ckpArenaChunk);
constexpr std::size_t largestChunk = std::size_t{1} << 20;
constexpr std::size_t keptChunk = 64 * 1024;

std::size_t aligned(std::size_t size) {
    constexpr std::size_t align =
        alignof(ckpLine) > alignof(ckpProp) ? alignof(ckpLine) : alignof(ckpProp);
    return (size + align - 1) & ~(align - 1);
}

char* bytesOf(ckpArenaChunk* chunk) {
    return reinterpret_cast<char*>(chunk + 1);
}

ckpArenaChunk* newChunk(ckpArenaChunk** head, std::size_t need) {
    std::size_t size = *head == nullptr ? firstChunk : 2 * (*head)->size;
    if (size > largestChunk) {
        size = largestChunk;
    }
    if (size < need) {
        size = need;
    }
    auto* chunk = static_cast<ckpArenaChunk*>(tiAlloc(sizeof(ckpArenaChunk) + size));
    if (chunk == nullptr) {
        return nullptr;
    }
    *chunk = ckpArenaChunk{*head, size, 0};
    poison(bytesOf(chunk), size);
    *head = chunk;
    return chunk;
}
} // namespace

void* tiArenaTake(ckpArenaChunk** head, std::size_t size) {
    size = aligned(size);
    ckpArenaChunk* chunk = *head;
    if (chunk == nullptr || chunk->size - chunk->used < size) {
        chunk = newChunk(head, size);
        if (chunk == nullptr) {
            return nullptr;
        }
    }
    char* at = bytesOf(chunk) + chunk->used;
    chunk->used += size;
    unpoison(at, size);
    return at;
}

void tiArenaShrink(ckpArenaChunk* head, void* block, std::size_t size, std::size_t kept) {
    size = aligned(size);
    kept = aligned(kept);
    char* at = static_cast<char*>(block);
    if (head == nullptr || kept >= size || at + size != bytesOf(head) + head->used) {
        return;
    }
    head->used -= size - kept;
    poison(at + kept, size - kept);
}

void tiArenaReset(ckpArenaChunk** head) {
    ckpArenaChunk* chunk = *head;
    if (chunk == nullptr) {
        return;
    }
    // The newest chunk is the largest: kept unless a very large record
    // made it.
    ckpArenaChunk* rest = chunk->next;
    if (chunk->size > keptChunk) {
        rest = chunk;
        *head = nullptr;
    } else {
        chunk->next = nullptr;
        chunk->used = 0;
        poison(bytesOf(chunk), chunk->size);
    }
    while (rest != nullptr) {
        ckpArenaChunk* next = rest->next;
        unpoison(bytesOf(rest), rest->size);
        tiFree(rest);
        rest = next;
    }
}

void tiArenaFree(ckpArenaChunk** head) {
    tiArenaReset(head);
    if (*head != nullptr) {
        unpoison(bytesOf(*head), (*head)->size);
        *head = static_cast<ckpArenaChunk*>(tiFree(*head));
    }
}
