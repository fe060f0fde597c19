// The setup dump for a person.
#pragma once

#include <cstdio>

#include "setup/store.hpp"

// Prints the setup's name, load path, modified state and every entry with
// its properties (a flag shown as "(no value)") to out.
void ckpSetupDumpTo(std::FILE* out, const ckpSetup* setup);
// The dump to standard error.
void ckpSetupDump(const ckpSetup* setup);
