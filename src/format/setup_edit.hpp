// Saving a setup into a file that people also edit by hand: the changes made
// in memory since the setup was loaded are applied to the file's bytes as
// they are now. Records the save does not change keep their text, order and
// comments; a changed record keeps its comments; new records go where their
// name sorts; the file's line ends (LF or CR LF) are kept.
#pragma once

#include <cstddef>
#include <functional>
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

// applySetupChanges as the parts of the new bytes, so that a large file is
// not held twice: runs of the file's own bytes and new texts.
class EditedSetup {
  public:
    struct Part {
        std::size_t offset; // a run of the edited bytes
        std::size_t size;
        std::string text; // then this
    };
    // Hands the new bytes to out, part after part.
    void write(const std::function<void(const char*, std::size_t)>& out) const;
    // Whether the new bytes are these.
    bool same(std::string_view bytes) const;
    std::string text() const;

  private:
    friend EditedSetup editSetup(const std::string& name, std::string& bytes,
                                 const std::vector<EntryChange>& changes);
    const std::string& base() const { return converted_ ? own_ : *file_; }

    const std::string* file_ = nullptr; // the caller's bytes
    std::string own_;                   // the file written whole with a header
    bool converted_ = false;            // the parts are of own_
    std::vector<Part> parts_;
};

// The edit of `bytes`, which must outlive the result; they are handed back
// as they were unless an exception is thrown.
EditedSetup editSetup(const std::string& name, std::string& bytes,
                      const std::vector<EntryChange>& changes);

// The whole setup as ckpSetupSave writes it: the header, then each entry
// with its properties in the order given.
std::string setupText(const SetupEntries& entries);

} // namespace ckptool
