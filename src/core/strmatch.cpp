// The string matcher behind every property, keyword and field comparison.
#include <cctype>

#include "core/handle.hpp"

namespace {
int upper(unsigned char c) {
    return std::islower(c) ? std::toupper(c) : c;
}
int lower(unsigned char c) {
    return std::isupper(c) ? std::tolower(c) : c;
}

// Under a folding rule the comparison stops where either string ends, so a
// string matches its prefixes and the strings it is a prefix of.
int foldedMatch(const char* a, char rule, const char* b) {
    for (; *a != '\0' && *b != '\0'; ++a, ++b) {
        auto ca = static_cast<unsigned char>(*a);
        auto cb = static_cast<unsigned char>(*b);
        int fa = ca;
        int fb = cb;
        if (rule == '*') {
            fa = upper(ca);
            fb = upper(cb);
        } else if (rule == 'U') {
            fb = upper(cb);
        } else {
            fb = lower(cb);
        }
        if (fa != fb) {
            return 0;
        }
    }
    return 1;
}
} // namespace

int tiStrMatch(const char* a, const char* mode, const char* b) {
    if (a == nullptr) {
        return b == nullptr ? 1 : 0;
    }
    if (b == nullptr) {
        return 0;
    }
    char rule = mode != nullptr ? mode[0] : '\0';
    if (rule != '*' && rule != 'L' && rule != 'U') {
        for (; *a == *b; ++a, ++b) {
            if (*a == '\0') {
                return 1;
            }
        }
        return 0;
    }
    return foldedMatch(a, rule, b);
}
