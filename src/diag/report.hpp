// Reports framed with file name and line number, and the printing of the
// current record's text.
#pragma once

#include <cstdint>
#include <cstdio>

#include "core/types.hpp"

// Prints the current record's first line (allLines: every line) through
// tiPrintMsg, each text ending in a line feed. 0 when the handle has no
// record (the guard's message is recorded and reported) or a print failed.
int tlReport(ckpInfo* info, std::FILE* stream, int allLines);
// Prints "before on line N of "name" after" through tiPrintMsg for file with
// the given line number; returns the print's result.
int tiReportLine(const ckpFile* file, std::FILE* stream, std::int64_t number, const char* before,
                 const char* after);
