// The limits of the lines the record writer writes.
#pragma once

#include "core/types.hpp"

// The longest physical line (without its line end) that the reader takes in
// one piece. The writer never writes a longer one when it can help it.
inline constexpr int ckpWriteWidth = ckpLinePiece - 1;
// The longest head text a record-starting call accepts, and the widest run of
// items ckpPuts puts on one line: one readable line that still has room for
// the backslash of a continuation after it.
inline constexpr int ckpHeadMax = ckpWriteWidth - 1;
