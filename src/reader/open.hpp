// Pushing and starting files on a handle.
#pragma once

#include <cstdint>
#include <cstdio>

#include "core/types.hpp"

// Pushes an open stream as the handle's new top file and starts it. The file
// takes the stream over: on any failure the new file is taken off the stack
// again and its stream closed (a standard stream never), the includer (if
// any) staying the top. 1 on success, 0 on failure.
int tiPushFile(ckpInfo* info, const char* name, std::uint16_t node, std::FILE* stream);
// Starts the handle's top file, just pushed with its first line, by its
// mode: a read checks its header, a write marks it syntax 1. 1 on success;
// 0 when the header check failed or found an unknown version ("unknown
// syntax version in tiStart").
int tiStart(ckpInfo* info);
