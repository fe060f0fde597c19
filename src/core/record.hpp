// The record buffer that reader and writer share: the top file's line list.
#pragma once

#include "core/types.hpp"

// Empties the top file's record down to one reused, empty line, ends the
// generators and puts the scanner and the append position at its start.
// number is tiKeepCount when reading (the line count carries over) and
// tiCountRecord when writing (the count advances by one). 1, or 0 when the
// handle has no file (the guard's message names who) or no memory is left
// for the line.
inline constexpr int tiKeepCount = 0;
inline constexpr int tiCountRecord = 1;
int tiNewRecord(ckpInfo* info, const char* who, int number, ckpFile** fileOut, ckpLine** lineOut);
// Appends text at write.pos (never past the line's 512 bytes; cut when longer).
void tiAppendText(ckpInfo* info, const char* text);
// Pops an included top file, then tiNewRecord on its includer.
int tiPopFile(ckpInfo* info, const char* who, int number, ckpFile** fileOut, ckpLine** lineOut);
// Replaces dst's current record with a deep copy of src's (lines, type and
// paths), the scanner at its start and the append position at its end.
// 1, or 0 with the reason recorded: a missing handle or file, src == dst, or
// no memory left.
int tiCopy(ckpInfo* src, ckpInfo* dst);
