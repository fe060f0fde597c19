// Syntax errors shown the way compilers show them, so that editors can jump
// to the place: "FILE:LINE:COL: error: MESSAGE", then (unless left out) the
// line and a caret under the faulty character, both set off by " | " so
// that no editor takes them for another place. Or one JSON object per error.
#pragma once

#include <cstdio>
#include <string>

#include "ckp/ckp.hpp"

namespace ckptool {

struct DiagnosticStyle {
    bool json = false;   // one JSON object per line instead
    bool context = true; // the line and the caret
    bool colour = false; // terminal colours
};

void printSyntaxError(std::FILE* out, const ckp::SyntaxError& error,
                      const DiagnosticStyle& style = DiagnosticStyle());

// The column in characters (UTF-8) of a 1-based byte column of text; bytes
// that begin no UTF-8 character count one each.
int characterColumn(const std::string& text, int byteColumn);

// Whether a syntax record's message tells of an include that failed for
// want of file descriptors or memory: a resource failure of this run (exit
// 2), not a fault of the file.
bool resourceFault(const std::string& message);

// Whether terminal colours suit `stream`: it is a terminal and NO_COLOR is
// not set to a non-empty value.
bool coloursSuit(std::FILE* stream);

} // namespace ckptool
