// The writer's output: fields with their escapes, buffered, and the layout
// of a record's lines.
#pragma once

#include <cstddef>
#include <cstdio>

#include "core/types.hpp"

// Output formatted into a buffer that goes to the stream in one call
// whenever it is full and when flushed. A failed write records the system
// error and gives 0; what failed to be written is dropped.
struct tOut {
    std::FILE* stream;
    char* buffer;
    std::size_t size;
    std::size_t used;
};
// Hands the buffered output to the stream and empties the buffer: 1, or 0.
int tOutFlush(tOut& out);
// Appends n bytes of text; a text longer than the buffer goes to the stream
// straight after the buffered output. 1, or 0.
int tOutPut(tOut& out, const char* text, std::size_t n);
// Appends one character: 1, or 0.
inline int tOutChar(tOut& out, char c) {
    if (out.used == out.size && !tOutFlush(out)) {
        return 0;
    }
    out.buffer[out.used++] = c;
    return 1;
}
// A field with its delimiters and escapes (see tPutField).
int tOutField(tOut& out, char lead, const char* text, char trail, char extra);
// Writes one character to the stream: 1, or 0 with the system error.
int tPutChar(std::FILE* stream, char c);
// Writes text (null as empty) between lead and trail (each left out when
// '\0'), with a backslash wherever the reader would otherwise end the field
// or take an escape: 1, or 0 with the system error.
int tPutField(std::FILE* stream, char lead, const char* text, char trail, char extra);
// How many characters tPutField writes for the same arguments.
std::size_t tFieldSize(char lead, const char* text, char trail, char extra);
// How many characters a property of that name and value (null for a flag)
// takes on a line, without its separator; tPropSize for a property.
std::size_t tPropTextSize(const char* name, const char* value);
std::size_t tPropSize(const ckpProp* prop);
// The widest physical line, with its continuation backslash, that ckpPuts
// would write for the current record of a handle that has a file.
std::size_t tiWidestLine(const ckpInfo* info);
