// Table-driven character classes for the builder's inner loops: one load
// per character where the plain predicates of reader/syntax.hpp take a few
// comparisons each. ASCII is answered by the table; beyond it the locale
// decides, as tiIsWordChar does.
#pragma once

#include <cstdint>

#include "reader/syntax.hpp"

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

// Past the run of value text at p that holds no quote and no backslash.
inline char* tiSkipPlainValue(char* p) {
    while ((chartable::classOf(p) & chartable::valueEnd) == 0) {
        ++p;
    }
    return p;
}
