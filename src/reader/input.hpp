// A read stream's input: taken in blocks into the file's input buffer and
// handed out as physical pieces of lines.
#pragma once

#include "core/types.hpp"

enum class tiPiece { Read, End, Error };

// Reads the next piece of at most 510 characters (with its LF when the line
// ends within them) into text (ckpLineSize bytes) and terminates it. A NUL
// byte ends the text there and sets *nulOut; CR LF reads as LF. End and
// Error leave text untouched; Error puts the system's errno (or 0) into
// *errnumOut.
tiPiece tiReadPiece(ckpFile* file, char* text, int* errnumOut, int* nulOut);
// The stream was repositioned: input taken before no longer follows.
void tiDropInput(ckpFile* file);
