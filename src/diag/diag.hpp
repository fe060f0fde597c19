// Reports framed with file name and line number, and the texts they are
// composed of.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

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

void tiTextInit(tiText* text);
void tiTextFree(tiText* text);
void tiTextAppend(tiText* text, const char* bytes, std::size_t n);
void tiTextRepeat(tiText* text, char c, std::size_t n);
void tiTextFormat(tiText* text, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;

// Prints the current record's first line (allLines: every line), each
// followed by a line feed. 0 when the handle has no record or a print failed.
int tlReport(ckpInfo* info, std::FILE* stream, int allLines);
// Prints "before on line N of "name" after" for the handle's top file with
// the given line number; returns the print's result.
int tiReportLine(const ckpFile* file, std::FILE* stream, std::int64_t number, const char* before,
                 const char* after);
