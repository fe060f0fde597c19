// Setup files saved on a user's behalf: the changes made since the load are
// applied to the file as it is, under its lock, through one open descriptor.
#pragma once

#include <string>
#include <vector>

#include "setup_edit.hpp"

namespace ckptool {

// Applies the changes made to a setup since it was loaded to `file` as it
// is now, under its lock: the new bytes replace the file in one step, and
// the same bytes leave it untouched, as does an empty list of changes. The
// file's content, mode and owner are taken from one open descriptor, and
// the replacement fails when the name meanwhile went to another file.
// Throws ToolError naming the file (or the lock file) and the reason.
void saveSetupChanges(const std::string& file, const std::vector<EntryChange>& changes);

// The entries and properties of the setup `name` in the store, as they are
// now; throws ckp::Error when it is not loaded.
SetupEntries storeEntries(const std::string& name);

} // namespace ckptool
