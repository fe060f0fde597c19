// Property and line blocks that a handle keeps for reuse, so that reading
// record after record allocates nothing once the first records are read.
#pragma once

#include <cstddef>

#include "core/types.hpp"

// Under the address sanitizer kept blocks are poisoned (see pool.cpp).
#if defined(__SANITIZE_ADDRESS__)
#define CKP_POOL_POISON 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define CKP_POOL_POISON 1
#endif
#endif

// A block of at least size bytes for a property or line of info's records,
// or null without memory. *sizeClass tells tiGiveBlock where it goes back.
void* tiTakeBlock(ckpInfo* info, std::size_t size, int* sizeClass);
// Takes back a block from tiTakeBlock (info may be null: then, as for a full
// list, the block is freed).
void tiGiveBlock(ckpInfo* info, void* block, int sizeClass);
// Frees everything kept; the handle's files must be gone already.
void tiFreePool(ckpInfo* info);

// Blocks that live in an arena rather than on their own (see below) carry
// this size class; tiGiveBlock leaves them where they are.
inline constexpr int ckpInArena = -2;

// An arena: chunks from which blocks are taken one after the other and
// all given back at once. A chunk's bytes follow it, aligned as the block
// from the allocator is (also where pointers are 4 bytes and a 64-bit
// field wants 8).
struct alignas(std::max_align_t) ckpArenaChunk {
    ckpArenaChunk* next; // the chunk taken before this one
    std::size_t size;    // bytes after the header
    std::size_t used;    // of them, handed out
};
// size bytes (aligned for a property or a line) from the arena *head, or
// null without memory. They stay until tiArenaReset.
void* tiArenaTake(ckpArenaChunk** head, std::size_t size);
// tiArenaTake, answered inline when the newest chunk has room; nothing to
// poison then outside the address sanitizer.
inline void* tiArenaTakeFast(ckpArenaChunk** head, std::size_t size) {
#if !defined(CKP_POOL_POISON)
    constexpr std::size_t align =
        alignof(ckpLine) > alignof(ckpProp) ? alignof(ckpLine) : alignof(ckpProp);
    std::size_t need = (size + align - 1) & ~(align - 1);
    ckpArenaChunk* chunk = *head;
    if (chunk != nullptr && chunk->size - chunk->used >= need) {
        char* at = reinterpret_cast<char*>(chunk + 1) + chunk->used;
        chunk->used += need;
        return at;
    }
#endif
    return tiArenaTake(head, size);
}
// The block last taken, of size bytes, keeps only its first kept bytes.
void tiArenaShrink(ckpArenaChunk* head, void* block, std::size_t size, std::size_t kept);
// Takes back everything the arena handed out; a chunk of modest size is
// kept for the next record.
void tiArenaReset(ckpArenaChunk** head);
// Frees the arena's chunks.
void tiArenaFree(ckpArenaChunk** head);
