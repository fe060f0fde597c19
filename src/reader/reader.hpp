// The record reader: physical lines, records, inclusion.
#pragma once

#include "core/types.hpp"

int tiGet_tr(ckpInfo* info);
int tiGets(ckpInfo* info);
void tiCutComment(ckpInfo* info);
// Makes the record a syntax error for the NUL byte that ended line's text,
// with the cursor at that place.
void tiMarkNul(ckpInfo* info, ckpLine* line);
