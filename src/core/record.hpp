// The record buffer that reader and writer share: the top file's line list.
#pragma once

#include "core/types.hpp"

// Empties the top file's record down to one reused line. number is
// tiKeepCount when reading (the line count carries over) and tiCountRecord
// when writing (the count advances by one).
inline constexpr int tiKeepCount = 0;
inline constexpr int tiCountRecord = 1;
int tiNewRecord(ckpInfo* info, const char* who, int number, ckpFile** fileOut, ckpLine** lineOut);
// Appends text at bufPos (never past the line's 512 bytes; cut when longer).
void tiAppendText(ckpInfo* info, const char* text);
// Pops an included top file, then tiNewRecord on its includer.
int tiPopFile(ckpInfo* info, const char* who, int number, ckpFile** fileOut, ckpLine** lineOut);
// Replaces dst's current record with a deep copy of src's.
int tiCopy(ckpInfo* src, ckpInfo* dst);
// Ends all property generators of the handle.
void tiEndGenerators(ckpInfo* info);
