// Finding, opening and closing the streams of checkpoint files, and telling
// them apart.
#pragma once

#include <cstdint>
#include <cstdio>

#include "ckp/kvo.h"
#include "core/types.hpp"

// The size of the path buffers: a path opened or followed is never cut, a
// longer one is refused.
inline constexpr int ckpPathSize = 1024;

// Opens name (reading/appending: else name.Ckpt) with stream mode "r", "w"
// or "a". *foundOut points into a static buffer holding the path opened.
// Writing ("w") creates or truncates name itself, never name.Ckpt. Null,
// with the reason recorded ("%s: file not found", a too long name, the
// system error), when nothing was opened.
std::FILE* tOpen(const char* name, const char* mode, char** foundOut, std::uint16_t* nodeOut);
// 1 when path exists, with the low 16 bits of its file index in *nodeOut;
// else 0 with "%s: file not found" recorded (and *nodeOut 0).
int tPathExists(const char* path, std::uint16_t* nodeOut);
// "base.suffix" (either part left out when null or empty) in a static
// buffer, cut at its size; the buffer is reused by the next call and tOpen.
char* tAddSuffix(const char* base, const char* suffix);

// The low 16 bits of an open stream's file index, as tPathExists gives
// them for a path; 0 for a standard stream or where the platform cannot tell.
std::uint16_t tStreamNode(std::FILE* stream);
// The full identity of an open stream (device and file index); not valid
// for a standard stream or where the platform cannot tell.
void tStreamId(std::FILE* stream, ckpFileId* out);
// 1 when the two files are the same file: by full identity when both have
// one, else by node when both nodes are non-zero.
int tSameFile(const ckpFile* a, const ckpFile* b);
// The same test for a file not pushed yet, known by its identity and node.
int tSameFileAs(const ckpFileId* id, std::uint16_t node, const ckpFile* file);

// 1 for the process's standard input, output or error.
int tiIsStdStream(const std::FILE* stream);
// Flushes and closes a written stream: 1 when both succeeded; a failure
// records the system error.
int tClose(std::FILE* stream);
// Closes a stream by the mode it was opened in: a read stream plainly, any
// other through tClose. 1 on success; a failure records the system error.
int tCloseByMode(std::FILE* stream, const char* mode);
