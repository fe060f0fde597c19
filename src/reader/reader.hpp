// The record reader: ckpGets and the gathering of one record's lines.
#pragma once

#include "core/types.hpp"

// Reads the next record's physical lines into the top file's record: its
// first line and every line it continues into, the type set to ckpTypeNone
// (or ckpTypeComment or ckpTypeSyntax as the lines make it). 1, also when
// the input ends inside a continued record; 0 at the end of input before
// the record (atEnd set), on a read error (recorded) or without memory.
// The caller has checked that the handle has a file.
int tiGet_tr(ckpInfo* info);
