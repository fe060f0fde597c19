// The positional fields of a syntax-version-0 record.
#pragma once

#include "core/types.hpp"

// Reads the fields after the path on its line (<WRX_version> <binding>
// [rollback|branch] [<PYXE_version> [checkout]]) into properties of that
// line, the cursor standing after the path. 1, the cursor past them; 0 with
// the record made a syntax error at the faulty field.
int tiParseLegacy(ckpInfo* info);
// 1 when text is <digits>.<digits> and nothing else.
int tiIsVersionPair(const char* text);
