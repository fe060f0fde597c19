// The framing line of a report: file name and line number.
#pragma once

#include <cstdint>
#include <cstdio>

#include "core/types.hpp"

// Prints "before on line N of "name" after" through tiPrintMsg for file with
// the given line number; returns the print's result.
int tiReportLine(const ckpFile* file, std::FILE* stream, std::int64_t number, const char* before,
                 const char* after);
