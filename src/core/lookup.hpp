// Finding and opening checkpoint files on disk.
#pragma once

#include <cstdint>
#include <cstdio>

#include "ckp/kvo.h"
#include "core/types.hpp"

inline constexpr int ckpPathSize = 1024;

// Opens name (reading/appending: else name.Ckpt) with stream mode "r", "w"
// or "a". *foundOut points into a static buffer holding the path opened.
// Writing ("w") goes through a replacement, stored in *replacementOut,
// which owns the stream returned.
std::FILE* tOpen(const char* name, const char* mode, char** foundOut, std::uint16_t* nodeOut,
                 kvoReplacement** replacementOut = nullptr);
int tPathExists(const char* path, std::uint16_t* nodeOut);
char* tAddSuffix(const char* base, const char* suffix);

// The full identity of an open stream (device and file index).
void tStreamId(std::FILE* stream, ckpFileId* out);
// 1 when the two files are the same file: by full identity when both have
// one, else by node when both nodes are non-zero.
int tSameFile(const ckpFile* a, const ckpFile* b);
// The same test for a file not pushed yet, known by its identity and node.
int tSameFileAs(const ckpFileId* id, std::uint16_t node, const ckpFile* file);
