// The line scanner: a cursor (info->curLine, info->cursor) over the lines of
// the current record.
#pragma once

#include "core/types.hpp"

// Text operations; a null or empty text comes back unchanged.
char* tiFindChar(int c, char* text);
char* tiSkipBlanks(char* text);
char* tiSkipWord(char* text);
char* tiSkipName(char* text);
// Reads a run of digits as an unsigned 32-bit value (wrapping); returns def
// and leaves *pos when there is no digit.
int tiScanInt(char** pos, int def);

int tiNextLine(ckpInfo* info, int skip);
// Skips blanks, crossing at most one line end into a continuation line;
// then 1 when the cursor stands on c (on anything for c == 0), else 0.
int tiPeekSlow(ckpInfo* info, int c);
inline int tiPeek(ckpInfo* info, int c) {
    // Most calls stand on a printable character already.
    if (info != nullptr && info->curLine != nullptr && info->cursor != nullptr) {
        auto k = static_cast<unsigned char>(*info->cursor);
        if (k > ' ') {
            return c == 0 || k == (c & 0xFF) ? 1 : 0;
        }
    }
    return tiPeekSlow(info, c);
}
// Copies the next blank-delimited word of the current line into buffer
// (ckpLineSize bytes); returns where it began, or null.
char* tiGetWord(ckpInfo* info, char* buffer);
int tiMatchToken(ckpInfo* info, const char* mode, const char* token);
int tiScanForToken(ckpInfo* info, const char* token, int wantValue);
void tiSetSyntax(ckpInfo* info, const char* message);
