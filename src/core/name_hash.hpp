// The hash of a name that the property index of a record and the entry
// index of a setup load both use.
#pragma once

#include <cstdint>

// FNV-1a over the name's bytes, its high bits folded down: a multiplication
// carries bits upward only, and a slot is taken from the low bits, which
// must depend on every byte.
inline std::uint64_t nameHash(const char* name) {
    std::uint64_t h = 14695981039346656037ull;
    for (const auto* p = reinterpret_cast<const unsigned char*>(name); *p != 0; ++p) {
        h = (h ^ *p) * 1099511628211ull;
    }
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdull;
    return h ^ (h >> 33);
}
