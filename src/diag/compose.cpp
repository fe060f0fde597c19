// Composing texts for a person without a limit on their length.
#include <cstdarg>
#include <cstring>

#include "core/memory.hpp"
#include "diag/compose.hpp"

void tiTextInit(tiText* text) {
    text->small[0] = '\0';
    text->data = text->small;
    text->len = 0;
    text->cap = sizeof text->small;
}

void tiTextFree(tiText* text) {
    if (text->data != text->small) {
        tiFree(text->data);
    }
    tiTextInit(text);
}

namespace {
// Makes room for n more characters and the terminator; returns how many of
// the n fit (all of them unless no memory was left for growing).
std::size_t reserve(tiText* text, std::size_t n) {
    std::size_t need = text->len + n + 1;
    if (need <= text->cap) {
        return n;
    }
    std::size_t cap = text->cap * 2 > need ? text->cap * 2 : need;
    auto* block = static_cast<char*>(tiAlloc(cap));
    if (block == nullptr) {
        return text->cap - text->len - 1;
    }
    std::memcpy(block, text->data, text->len + 1);
    if (text->data != text->small) {
        tiFree(text->data);
    }
    text->data = block;
    text->cap = cap;
    return n;
}
} // namespace

void tiTextAppend(tiText* text, const char* bytes, std::size_t n) {
    n = reserve(text, n);
    std::memcpy(text->data + text->len, bytes, n);
    text->len += n;
    text->data[text->len] = '\0';
}

void tiTextRepeat(tiText* text, char c, std::size_t n) {
    n = reserve(text, n);
    std::memset(text->data + text->len, c, n);
    text->len += n;
    text->data[text->len] = '\0';
}

void tiTextFormat(tiText* text, const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    int n = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    if (n > 0) {
        std::size_t fit = reserve(text, static_cast<std::size_t>(n));
        // vsnprintf cuts at the room given and always terminates.
        std::vsnprintf(text->data + text->len, fit + 1, format, again);
        text->len += fit;
    }
    va_end(again);
}
