// Table-driven character classes for the builder's inner loops: one load
// per character where the plain predicates of reader/syntax.hpp take a few
// comparisons each. ASCII is answered by the table; beyond it the locale
// decides, as tiIsWordChar does.
#pragma once

#include <cstdint>
#include <cstring>

#include "core/syntax_chars.hpp"

namespace chartable {
enum : std::uint8_t {
    word = 1,     // an ASCII letter or digit, or '_'
    valueEnd = 2, // what ends a run of plain value text: '"', '\\' or NUL
    beyondAscii = 4
};

struct Table {
    std::uint8_t of[256];
};

constexpr Table makeTable() {
    Table t{};
    for (int c = 0; c < 256; ++c) {
        std::uint8_t k = 0;
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
            c == '_') {
            k |= word;
        }
        if (c == '"' || c == '\\' || c == 0) {
            k |= valueEnd;
        }
        if (c >= 0x80) {
            k |= beyondAscii;
        }
        t.of[c] = k;
    }
    return t;
}

inline constexpr Table table = makeTable();

inline std::uint8_t classOf(const char* p) {
    return table.of[static_cast<unsigned char>(*p)];
}
} // namespace chartable

// Past the run of word characters at p (tiSkipName without its null test).
inline char* tiSkipNameFast(char* p) {
    for (;;) {
        std::uint8_t k = chartable::classOf(p);
        if ((k & chartable::word) == 0 &&
            ((k & chartable::beyondAscii) == 0 || !tiIsWordCharOutsideAscii(uc(p)))) {
            return p;
        }
        ++p;
    }
}

namespace chartable {
// Bytes of word that are zero get their high bit set; bytes after the first
// such byte may be set too, so only the lowest set bit is exact.
inline std::uint64_t zeroBytes(std::uint64_t word) {
    constexpr std::uint64_t ones = 0x0101010101010101ull;
    constexpr std::uint64_t highs = 0x8080808080808080ull;
    return (word - ones) & ~word & highs;
}
} // namespace chartable

// Past the run of value text at p that holds no quote and no backslash.
// The bytes up to safeEnd may all be read (they lie in the line's block,
// whatever follows its terminator): there the text is taken eight bytes at
// a time.
inline char* tiSkipPlainValue(char* p, const char* safeEnd) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    constexpr std::uint64_t quotes = 0x2222222222222222ull;
    constexpr std::uint64_t backslashes = 0x5c5c5c5c5c5c5c5cull;
    while (safeEnd - p >= 8) {
        std::uint64_t word = 0;
        std::memcpy(&word, p, 8);
        std::uint64_t hits = chartable::zeroBytes(word) | chartable::zeroBytes(word ^ quotes) |
                             chartable::zeroBytes(word ^ backslashes);
        if (hits != 0) {
            return p + (__builtin_ctzll(hits) >> 3);
        }
        p += 8;
    }
#else
    (void)safeEnd;
#endif
    while ((chartable::classOf(p) & chartable::valueEnd) == 0) {
        ++p;
    }
    return p;
}
