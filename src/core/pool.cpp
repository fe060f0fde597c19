// Free lists of property blocks by size class and of lines, per handle.
// A list holds a bounded number of blocks, so that a very large record does
// not leave its memory with the handle.
#include "core/pool.hpp"

#include <cstring>

#include "core/memory.hpp"

#if defined(__SANITIZE_ADDRESS__)
#define CKP_POOL_POISON 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define CKP_POOL_POISON 1
#endif
#endif
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
constexpr int keptLines = 64;

int classOf(std::size_t size) {
    std::size_t block = smallestBlock;
    for (int k = 0; k < ckpPropClasses; ++k, block *= 2) {
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

void* tiTakePropBlock(ckpInfo* info, std::size_t size, int* sizeClass) {
    int k = info != nullptr ? classOf(size) : -1;
    *sizeClass = k;
    if (k < 0) {
        return tiAlloc(size);
    }
    void* block = info->spareProps[k];
    if (block != nullptr) {
        unpoison(block, smallestBlock << k);
        info->spareProps[k] = linkOf(block);
        --info->spareCounts[k];
        return block;
    }
    return tiAlloc(smallestBlock << k);
}

void tiGivePropBlock(ckpInfo* info, void* block, int sizeClass) {
    if (info == nullptr || sizeClass < 0 || info->spareCounts[sizeClass] >= keptBlocks) {
        tiFree(block);
        return;
    }
    linkOf(block) = info->spareProps[sizeClass];
    info->spareProps[sizeClass] = block;
    ++info->spareCounts[sizeClass];
    poison(block, smallestBlock << sizeClass);
}

ckpLine* tiTakeLine(ckpInfo* info) {
    ckpLine* line = info != nullptr ? info->spareLines : nullptr;
    if (line != nullptr) {
        unpoison(line, sizeof *line);
        info->spareLines = line->next;
        --info->spareLineCount;
        std::memset(line, 0, sizeof *line);
        return line;
    }
    return tiAllocZeroed<ckpLine>();
}

void tiGiveLine(ckpInfo* info, ckpLine* line) {
    if (info == nullptr || info->spareLineCount >= keptLines) {
        tiFree(line);
        return;
    }
    line->next = info->spareLines;
    info->spareLines = line;
    ++info->spareLineCount;
    poison(line, sizeof *line);
}

void tiFreePool(ckpInfo* info) {
    for (int k = 0; k < ckpPropClasses; ++k) {
        while (info->spareProps[k] != nullptr) {
            unpoison(info->spareProps[k], smallestBlock << k);
            void* next = linkOf(info->spareProps[k]);
            tiFree(info->spareProps[k]);
            info->spareProps[k] = next;
        }
        info->spareCounts[k] = 0;
    }
    while (info->spareLines != nullptr) {
        unpoison(info->spareLines, sizeof(ckpLine));
        ckpLine* next = info->spareLines->next;
        tiFree(info->spareLines);
        info->spareLines = next;
    }
    info->spareLineCount = 0;
}
