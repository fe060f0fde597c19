// Setup files saved on a user's behalf: the changes made since the load are
// applied to the file as it is, under its lock, through one open descriptor.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "setup_edit.hpp"

namespace ckptool {

// Edits `file` under its lock: `change` gets the file's bytes as they are
// now ("" for a file that does not exist yet) and returns the new ones,
// which replace the file in one step; the same bytes leave it untouched.
// The file's content, mode and owner are taken from one open descriptor,
// and the replacement fails when the name meanwhile went to another file.
// Throws ToolError naming the file (or the lock file) and the reason.
void editFile(const std::string& file, const std::function<std::string(std::string)>& change);

// editFile with the changes made to a setup since it was loaded; without
// changes the file is not touched.
void saveSetupChanges(const std::string& file, const std::vector<EntryChange>& changes);

// The entries and properties of the setup `name` in the store, as they are
// now; throws ckp::Error when it is not loaded.
SetupEntries storeEntries(const std::string& name);

} // namespace ckptool
