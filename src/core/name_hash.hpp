// The hash of a name that the property index of a record and the entry
// index of a setup load both use.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

// The name's bytes taken eight at a time (names are short, and a
// byte-at-a-time hash waits on one multiplication per byte), then the
// length; the high bits folded down, since a slot is taken from the low
// bits, which must depend on every byte.
inline std::uint64_t nameHashOf(const char* name, std::size_t length) {
    std::uint64_t h = 14695981039346656037ull ^ length;
    for (; length >= 8; name += 8, length -= 8) {
        std::uint64_t word = 0;
        std::memcpy(&word, name, 8);
        h = (h ^ word) * 0x9e3779b97f4a7c15ull;
        h ^= h >> 29;
    }
    if (length > 0) {
        std::uint64_t word = 0;
        std::memcpy(&word, name, length);
        h = (h ^ word) * 0x9e3779b97f4a7c15ull;
    }
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdull;
    return h ^ (h >> 33);
}

inline std::uint64_t nameHash(const char* name) {
    return nameHashOf(name, std::strlen(name));
}

// The bit of a name's hash in a record's name filter (ckpFile::nameBits).
inline std::uint64_t tiNameBit(std::uint64_t hash) {
    return std::uint64_t{1} << (hash >> 58);
}
