// The record builder: path, properties and the typing of the record.
#pragma once

#include "core/types.hpp"

// Builds the current record: its path into objPath (not for a header of
// syntax 1), its properties onto the lines their names stand on (or the
// positional fields of syntax 0), the head end after the path; earlier
// properties and head ends are dropped first. 1, the cursor on the first
// line past its blanks; 0 with the record made a syntax error (or, for an
// unknown syntax, the error recorded). The handle must hold a record (the
// caller's guard has seen to it), as for tiRecon_tr.
int tiBuild_tp(ckpInfo* info);
// Reads the path name at the cursor (quoted or up to a blank) into objPath,
// the cursor past it. 1, or 0 with the record made a syntax error.
int tiParsePath(ckpInfo* info);
// Reads properties from the cursor to the record's end onto their lines,
// warning of repeated names. 1, or 0 with the record made a syntax error.
int tiParseProps(ckpInfo* info);
// Types a built record by its path and path qualifier (object, config path,
// subdirectory, include) and keeps the path where the type wants it;
// comments, syntax errors and ends keep their type. Returns 1 (a conflict of
// qualifiers, or no memory for the path, makes the record a syntax error).
int tiRecon_tr(ckpInfo* info);
