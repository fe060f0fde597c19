// Texts composed for a person, without a limit on their length.
#pragma once

#include <cstddef>

#include "core/types.hpp"

// A text composed for a person. It starts in a 512-byte buffer of its own
// and grows on the heap for a longer text; when no memory is left for that,
// the text is cut at what fits. Nothing is ever written past its storage.
struct tiText {
    char small[ckpMsgSize];
    char* data; // small, or a heap block
    std::size_t len;
    std::size_t cap;
};

// Makes text empty, in its own buffer.
void tiTextInit(tiText* text);
// Frees a grown text's heap block and makes it empty again.
void tiTextFree(tiText* text);
// Appends the n bytes at bytes (as many as fit when no memory is left).
void tiTextAppend(tiText* text, const char* bytes, std::size_t n);
// Appends n copies of c (as many as fit when no memory is left).
void tiTextRepeat(tiText* text, char c, std::size_t n);
// Appends a printf-style text (cut at what fits when no memory is left).
void tiTextFormat(tiText* text, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;
