// Pushing and starting files on a handle, and the header check of a reader.
#pragma once

#include <cstdint>
#include <cstdio>

#include "core/types.hpp"

// Pushes an open stream as the handle's new top file and starts it. The file
// takes the stream over: on any failure the new file is taken off the stack
// again and its stream closed (a standard stream never), the includer (if
// any) staying the top.
int tiPushFile(ckpInfo* info, const char* name, std::uint16_t node, std::FILE* stream);
int tiStart(ckpInfo* info);
// Reads and checks the header record of the top file of a reading handle:
// the syntax version (0 or 1), or a negative result on failure.
int tiCheckHeader(ckpInfo* info);
