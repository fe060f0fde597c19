// The line scanner: a cursor (info->read.line, info->read.pos) over the lines of
// the current record.
#pragma once

#include "core/text_scan.hpp"
#include "core/types.hpp"

// Moves the cursor to the start of the next line (past its blanks with
// skip == tiSkipLeadingBlanks) when the current line is continued: 1, else
// 0 with the cursor left.
int tiNextLine(ckpInfo* info, int skip);
inline constexpr int tiKeepBlanks = 0;
inline constexpr int tiSkipLeadingBlanks = 1;
// Skips blanks, crossing at most one line end into a continuation line;
// then 1 when the cursor stands on c (on anything for c == 0), else 0.
int tiPeekSlow(ckpInfo* info, int c);
// tiPeekSlow, answered at once when the cursor stands on a character that
// is no blank and no line end.
inline int tiPeek(ckpInfo* info, int c) {
    // Most calls stand on a printable character, or on blanks before one.
    if (info != nullptr && info->read.line != nullptr && info->read.pos != nullptr) {
        char* p = info->read.pos;
        while (*p == ' ' || *p == '\t' || *p == '\v') {
            ++p;
        }
        auto k = static_cast<unsigned char>(*p);
        if (k > ' ') {
            info->read.pos = p;
            return c == 0 || k == (c & 0xFF) ? 1 : 0;
        }
    }
    return tiPeekSlow(info, c);
}
// Skips blanks and copies the next blank-delimited word of the current line
// into buffer (ckpLineSize bytes), moving the cursor past it; returns where
// the word began, or null when there is none (the cursor then past the
// blanks). Never crosses a line end.
char* tiGetWord(ckpInfo* info, char* buffer);
// Skips blanks; then 1 when token stands at the cursor as a whole word,
// compared by mode[0] ('.' exact, 'L' or 'U' the token folded to lower or
// upper case, else both folded to upper case). With mode[1] '+' a match moves
// the cursor past the token. A null or empty mode is "*+".
int tiMatchToken(ckpInfo* info, const char* mode, const char* token);
// Looks for token as an exact word on the first line of the record. Found:
// 1, the cursor on the token (tiAtName), or with tiAtValue on its value (past `="` when
// both follow, else just past the name). Else 0, the cursor where the head
// ends on the first line (at its start when unknown). The handle must hold
// a record.
int tiScanForToken(ckpInfo* info, const char* token, int wantValue);
inline constexpr int tiAtName = 0;
inline constexpr int tiAtValue = 1;
// Makes the current record a syntax error with message (the last error text
// when message is null or empty), kept in syntaxMsg and recorded as the
// last error.
void tiSetSyntax(ckpInfo* info, const char* message);
