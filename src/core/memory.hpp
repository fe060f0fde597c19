// The one allocation wrapper pair of the library and its string helpers.
#pragma once

#include <cstddef>
#include <cstring>

#include "ckp/kvo.h"

// Memory comes from kvoMalloc and goes back through kvoFree (which accepts
// null and returns null, so callers store the result back).
inline void* tiAlloc(std::size_t size) {
    return kvoMalloc(size);
}
inline void* tiFree(void* block) {
    return kvoFree(block);
}

template <class T> T* tiAllocZeroed() {
    void* block = kvoMalloc(sizeof(T));
    if (block != nullptr) {
        std::memset(block, 0, sizeof(T));
    }
    return static_cast<T*>(block);
}

// An owned copy of text, null for null or when no memory is left.
char* tiStrDup(const char* text);
// Copies text (null for null) into *slot, freeing the old string after the
// copy was taken, so text may be the string held in *slot. Returns 1, or 0
// when the copy could not be made (then *slot is unchanged).
int tiReplaceStr(char** slot, const char* text);
