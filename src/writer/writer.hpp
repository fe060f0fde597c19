// The record writer and its output.
#pragma once

#include <cstddef>
#include <cstdio>

#include "core/types.hpp"

// The longest physical line (without its line end) that the reader takes in
// one piece. The writer never writes a longer one when it can help it.
inline constexpr int ckpWriteWidth = ckpLinePiece - 1;
// The longest head text a record-starting call accepts, and the widest run of
// items ckpPuts puts on one line: one readable line that still has room for
// the backslash of a continuation after it.
inline constexpr int ckpHeadMax = ckpWriteWidth - 1;

// The write-access check of every writer call; with startRecord it first
// begins a new record (line number advanced), even when the mode test fails.
int tiCheckWrite(ckpInfo* info, const char* caller, int startRecord, int appendAllowed);
inline constexpr int tiKeepRecord = 0;  // startRecord: the current record stays
inline constexpr int tiStartRecord = 1; // startRecord: a new record begins
inline constexpr int tiWriteOnly = 0;   // appendAllowed: only a "w" handle passes
inline constexpr int tiAppendOK = 1;    // appendAllowed: an "a" handle passes too
// A path name as the head text of a record, from one pass over it: its
// form (quoted when it holds a blank, tab or vertical tab), its length, and
// the characters it takes as head text with the blank that may follow it.
// Refused when it cannot be written so that it reads back unchanged: empty
// (a record without path has no kind), with a line feed, with a semicolon
// that has no backslash before it, or both quoted and ending in a backslash.
struct tPathText {
    enum Form { Refused, Plain, Quoted };
    const char* path;
    std::size_t length;
    std::size_t size;
    Form form;
};
tPathText tiPathText(const char* path);
// True for a head text that must not end its line: a final backslash would
// continue it, a final carriage return would be taken as part of the line
// end.
bool tiHeadNeedsBlank(const char* text);
// Makes the path the head text of the current record; 0 without a line, for
// a refused path, or when the text would not fit the line (callers test its
// size first).
int tiSetPath(ckpInfo* info, const tPathText& text);
// Output formatted into a buffer that goes to the stream in one call
// whenever it is full and when flushed. A failed write records the system
// error and gives 0; what failed to be written is dropped.
struct tOut {
    std::FILE* stream;
    char* buffer;
    std::size_t size;
    std::size_t used;
};
int tOutFlush(tOut& out);
int tOutPut(tOut& out, const char* text, std::size_t n);
inline int tOutChar(tOut& out, char c) {
    if (out.used == out.size && !tOutFlush(out)) {
        return 0;
    }
    out.buffer[out.used++] = c;
    return 1;
}
// A field with its delimiters and escapes (see tPutField).
int tOutField(tOut& out, char lead, const char* text, char trail, char extra);
// The same, written straight to the stream.
int tPutChar(std::FILE* stream, char c);
int tPutField(std::FILE* stream, char lead, const char* text, char trail, char extra);
// How many characters tPutField writes for the same arguments.
std::size_t tFieldSize(char lead, const char* text, char trail, char extra);
// How many characters a property takes on a line, without its separator.
std::size_t tPropSize(const ckpProp* prop);
// The widest physical line, with its continuation backslash, that ckpPuts
// would write for the current record of a handle that has a file.
std::size_t tiWidestLine(const ckpInfo* info);
