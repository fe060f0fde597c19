// Making, linking and freeing handles, files and lines (closing their
// streams), and ending a handle's property generators.
#pragma once

#include <cstdint>
#include <cstdio>

#include "core/types.hpp"

// A new zeroed line of full room, appended to file's line list when file is
// given. Null, with "ckpLine allocation failed" recorded, when no memory is
// left.
ckpLine* tiNewLine(ckpFile* file);
// Frees line's properties, unlinks it from its file and frees it. Returns 0.
int tiFreeLine(ckpLine* line);

// A new file for stream (which it does not close on failure) with a copy of
// name, pushed as info's top file when info is given; its identity is taken
// from the stream. Null, with "ckpFile allocation failed" recorded, when no
// memory is left.
ckpFile* tiNewFile(ckpInfo* info, const char* name, std::uint16_t node, std::FILE* stream);
// Frees file with its lines and takes it off its handle's stack; its stream
// is closed by mode unless it is a standard stream or the caller's.
// Returns null, for the caller to store back.
ckpFile* tiFreeFile(ckpFile* file, const char* mode);

// A new zeroed handle. Null, with "ckpInfo allocation failed" recorded, when
// no memory is left.
ckpInfo* tiNewInfo();
// Frees info with all its files. Returns 0.
int tiFreeInfo(ckpInfo* info);

// 1 for the stream a caller handed to ckpxOpenStream for info.
int tiIsCallerStream(const ckpInfo* info, const std::FILE* stream);
// The name a report shows for a file: its name, else "stdin", "stdout",
// "stderr" or "file" by its stream.
const char* tiFileShownName(const ckpFile* file);

// Ends all property generators of the handle.
void tiEndGenerators(ckpInfo* info);
// Ends them and frees their cursor array too.
void tiFreeGenerators(ckpInfo* info);
