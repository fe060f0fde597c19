// Syntax errors printed the way compilers print them, so that editors can
// jump to the place: "FILE:LINE:COL: error: MESSAGE", the line, a caret.
#pragma once

#include <cstdio>

#include "ckp/ckp.hpp"

namespace ckptool {

void printSyntaxError(std::FILE* out, const ckp::SyntaxError& error);

} // namespace ckptool
