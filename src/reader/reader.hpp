// The record reader: physical lines, records, inclusion.
#pragma once

#include "core/types.hpp"

int tiGet_tr(ckpInfo* info);
int tiGets(ckpInfo* info);
void tiCutComment(ckpInfo* info);
