// Saving a setup into a file that people also edit by hand: the changes made
// in memory since the setup was loaded are applied to the file's bytes as
// they are now. Records the save does not change keep their text, order and
// comments; a changed record keeps its comments; new records go where their
// name sorts; the file's line ends (LF or CR LF) are kept.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ckptool {

// An entry's properties; a flag has no value.
using SetupProps = std::vector<std::pair<std::string, std::optional<std::string>>>;

struct SetupEntry {
    std::string name;
    SetupProps props;
};

// A setup's entries, each name once.
using SetupEntries = std::vector<SetupEntry>;

// One entry as it was loaded and as it is in memory now; nullopt where it
// did not exist.
struct EntryChange {
    std::string entry;
    std::optional<SetupProps> before;
    std::optional<SetupProps> after;
};

// The entries that differ between two states of a setup, in name order.
// Properties compare by name and value, whatever their order.
std::vector<EntryChange> changesBetween(const SetupEntries& loaded, const SetupEntries& now);

// The setup file `bytes` (named `name` in messages) with the changes
// applied. An entry that the file holds differently from `before` was
// changed on disk meanwhile as well: unless the file already holds `after`,
// that is a conflict, and a ToolError naming the entry is thrown. Throws
// ToolError too for an entry that lives in an included file, and for a
// file that does not read as a setup file.
std::string applySetupChanges(const std::string& name, std::string bytes,
                              const std::vector<EntryChange>& changes);

// The whole setup as ckpSetupSave writes it: the header, then each entry
// with its properties in the order given.
std::string setupText(const SetupEntries& entries);

} // namespace ckptool
