// The header check that starts every file pushed on a reading handle.
#pragma once

#include "core/types.hpp"

// Reads the first record of the top file of a reading handle and decides
// the file's syntax version from it, leaving the header record current for
// the caller's first ckpGets. Returns the major version of the header (0 for
// a file without one, whose first record is read again), ckpSyntaxBadVersion
// for a malformed version, or ckpSyntaxReadFailed when reading failed.
int tiCheckHeader(ckpInfo* info);
