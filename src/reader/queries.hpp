// Property generators of the current record.
#pragma once

#include "core/types.hpp"

// A new property generator of the handle, its cursor at the start: its id
// (1 and up), or 0 when no memory is left ("ckpProp state allocation
// failed").
int tiNewGenerator(ckpInfo* info);
