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
int tiPeek(ckpInfo* info, int c);
// Copies the next blank-delimited word of the current line into buffer
// (ckpLineSize bytes); returns where it began, or null.
char* tiGetWord(ckpInfo* info, char* buffer);
int tiMatchToken(ckpInfo* info, const char* mode, const char* token);
int tiScanForToken(ckpInfo* info, const char* token, int wantValue);
void tiSetSyntax(ckpInfo* info, const char* message);
