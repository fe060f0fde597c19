// The library-wide error state and the guards every operation runs first.
#pragma once

#include <cstdio>

#include "core/types.hpp"

// Records text as the last error and counts it; null or empty clears the
// text and leaves the count alone. Texts longer than 511 characters are cut.
void tiSetError(const char* text);
// printf-style tiSetError, composed in a 512-byte buffer (cut when longer).
void tiSetErrorf(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
// Records strerror(errnum), or "not a system error[%d]" for errnum <= 0.
void tiSetSysError(int errnum);
// Records the system error as tiSetSysError does, then again after the
// prefix "name: " (two messages, both counted).
void tiSetSysErrorOf(const char* name, int errnum);
// The last error text as ckpGetError shows it ("unknown error" when empty),
// without touching the result buffer that ckpGetError hands out.
const char* tiErrorText();

// With a stream: "%s\n" to it, returning fprintf's result. Without: the text
// goes to kvoReportError unchanged.
int tiPrintMsg(std::FILE* stream, const char* text);

inline constexpr int tiGuardQuiet = 0;  // a failed guard only records its message
inline constexpr int tiGuardReport = 1; // and prints it through the reporter too
// Guards: 1 when the handle (and its current file, and that file's first
// line) exist; otherwise record "no ckpInfo in %s" / "no ckpFile in %s" /
// "no ckpLine in %s" with `who`, print it through the reporter when `report`
// is set, and return 0. Out-pointers are set as far as the check got.
int tiCheckFile(ckpInfo* info, int report, const char* who, ckpFile** fileOut);
int tiCheckLine(ckpInfo* info, int report, const char* who, ckpFile** fileOut, ckpLine** lineOut);
