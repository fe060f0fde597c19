// Physical lines: one piece of a line into a record line's text, and the
// line-level rules (blank and comment lines, trailing comments,
// continuation).
#pragma once

#include "core/types.hpp"

// Reads the next physical line (or the next piece kept for reading again)
// into the top file's last line. Inside a continued record blank and comment
// lines are passed over; a first line that is blank or a comment makes the
// record ckpTypeComment. A trailing comment is cut and a final backslash
// marks the line continued. 1 with the cursor at the start of the record's
// first line (a line that held a NUL byte: see tiMarkNul); 0 at the end of
// input (atEnd set), on a read error, or without a line or stream
// (recorded). The caller has checked that the handle has a file.
int tiGets(ckpInfo* info);
// Drops the pieces kept for reading again (see ckpFile::replay), and the
// record of any that could not be kept.
void tiDropReplay(ckpFile* file);
// Makes the record a syntax error for the NUL byte that ended line's text,
// with the cursor at that place.
void tiMarkNul(ckpInfo* info, ckpLine* line);
