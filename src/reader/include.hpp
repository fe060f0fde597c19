// Following an include record into the file it names.
#pragma once

#include "core/types.hpp"

// The include step of ckpGets: the previous record was an include record
// whose path is objPath. Pushes that file (its header record becomes
// current, with ckpActionKeep pending), or leaves a syntax error
// ("recursive file inclusion", or why the file could not be opened) or
// ckpTypeError when the push itself failed.
void tiIncludeFile(ckpInfo* info);
