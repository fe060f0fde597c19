// Reports framed with file name and line number.
#pragma once

#include <cstdio>

#include "core/types.hpp"

int tlReport(ckpInfo* info, std::FILE* stream, int allLines);
