// Owned string copies.
#include "core/memory.hpp"

#include <cstring>

char* tiStrDup(const char* text) {
    if (text == nullptr) {
        return nullptr;
    }
    std::size_t n = std::strlen(text) + 1;
    char* copy = static_cast<char*>(tiAlloc(n));
    if (copy != nullptr) {
        std::memcpy(copy, text, n);
    }
    return copy;
}

int tiReplaceStr(char** slot, const char* text) {
    char* copy = tiStrDup(text);
    if (text != nullptr && copy == nullptr) {
        return 0;
    }
    // The copy is taken first: text may be the very string held in *slot.
    tiFree(*slot);
    *slot = copy;
    return 1;
}
