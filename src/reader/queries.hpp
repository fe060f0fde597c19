// Property generators of the current record.
#pragma once

#include "core/types.hpp"

int tiNewGenerator(ckpInfo* info);
