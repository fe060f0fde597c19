// The hash of a name that the property index of a record and the entry
// index of a setup load both use.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace namehash {
inline std::uint64_t load32(const char* p) {
    std::uint32_t word = 0;
    std::memcpy(&word, p, 4);
    return word;
}

// The last 1 to 7 bytes of a name as one word, read with fixed-size loads
// (two overlapping ones from 4 bytes on): a copy of a variable length would
// be a call and a store that the load after it waits for.
inline std::uint64_t tailWord(const char* p, std::size_t n) {
    if (n >= 4) {
        return load32(p) | load32(p + n - 4) << 32;
    }
    return static_cast<std::uint64_t>(static_cast<unsigned char>(p[0])) |
           static_cast<std::uint64_t>(static_cast<unsigned char>(p[n / 2])) << 8 |
           static_cast<std::uint64_t>(static_cast<unsigned char>(p[n - 1])) << 16;
}
} // namespace namehash

// The name's bytes taken eight at a time (names are short, and a
// byte-at-a-time hash waits on one multiplication per byte), with the
// length; the high bits folded down, since a slot is taken from the low
// bits, which must depend on every byte. The tail words read some bytes
// twice: names of one length still differ in some word.
inline std::uint64_t nameHashOf(const char* name, std::size_t length) {
    std::uint64_t h = 14695981039346656037ull ^ length;
    for (; length >= 8; name += 8, length -= 8) {
        std::uint64_t word = 0;
        std::memcpy(&word, name, 8);
        h = (h ^ word) * 0x9e3779b97f4a7c15ull;
        h ^= h >> 29;
    }
    if (length > 0) {
        h = (h ^ namehash::tailWord(name, length)) * 0x9e3779b97f4a7c15ull;
    }
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdull;
    return h ^ (h >> 33);
}

// nameHashOf a terminated name.
inline std::uint64_t nameHash(const char* name) {
    return nameHashOf(name, std::strlen(name));
}

// The bit of a name's hash in a record's name filter (ckpFile::nameBits).
inline std::uint64_t tiNameBit(std::uint64_t hash) {
    return std::uint64_t{1} << (hash >> 58);
}
