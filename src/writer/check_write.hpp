// The write-access check that guards every writer call.
#pragma once

#include "core/types.hpp"

// The write-access check of every writer call; with startRecord it first
// begins a new record (line number advanced), even when the mode test fails.
// 1 when the handle has a record and writes ("w", or "a" with appendAllowed);
// else 0 with the guard's message or "illegal access mode in <caller>".
int tiCheckWrite(ckpInfo* info, const char* caller, int startRecord, int appendAllowed);
inline constexpr int tiKeepRecord = 0;  // startRecord: the current record stays
inline constexpr int tiStartRecord = 1; // startRecord: a new record begins
inline constexpr int tiWriteOnly = 0;   // appendAllowed: only a "w" handle passes
inline constexpr int tiAppendOK = 1;    // appendAllowed: an "a" handle passes too
