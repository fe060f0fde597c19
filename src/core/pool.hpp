// Property blocks and lines that a handle keeps for reuse, so that reading
// record after record allocates nothing once the first records are read.
#pragma once

#include <cstddef>

#include "core/types.hpp"

// A block of at least size bytes for a property of info's records, or null
// without memory. *sizeClass tells tiGivePropBlock where it goes back.
void* tiTakePropBlock(ckpInfo* info, std::size_t size, int* sizeClass);
// Takes back a block from tiTakePropBlock (info may be null: then, as for a
// full list, the block is freed).
void tiGivePropBlock(ckpInfo* info, void* block, int sizeClass);
// A zeroed line, or null without memory.
ckpLine* tiTakeLine(ckpInfo* info);
void tiGiveLine(ckpInfo* info, ckpLine* line);
// Frees everything kept; the handle's files must be gone already.
void tiFreePool(ckpInfo* info);
