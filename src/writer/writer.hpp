// The record writer and its output.
#pragma once

#include <cstdio>

#include "core/types.hpp"

int tiCheckWrite(ckpInfo* info, const char* caller, int startRecord, int appendAllowed);
int tiSetPath(ckpInfo* info, const char* path);
int tPutChar(std::FILE* stream, char c);
int tPutField(std::FILE* stream, char lead, const char* text, char trail, char extra);
