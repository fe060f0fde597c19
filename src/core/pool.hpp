// Property and line blocks that a handle keeps for reuse, so that reading
// record after record allocates nothing once the first records are read.
#pragma once

#include <cstddef>

#include "core/types.hpp"

// A block of at least size bytes for a property or line of info's records,
// or null without memory. *sizeClass tells tiGiveBlock where it goes back.
void* tiTakeBlock(ckpInfo* info, std::size_t size, int* sizeClass);
// Takes back a block from tiTakeBlock (info may be null: then, as for a full
// list, the block is freed).
void tiGiveBlock(ckpInfo* info, void* block, int sizeClass);
// Frees everything kept; the handle's files must be gone already.
void tiFreePool(ckpInfo* info);
