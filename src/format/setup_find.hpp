// One entry of a setup file as a load of the file would hold it, found by
// reading the file once, record by record, without loading the setup: what
// it takes does not grow with the file.
#pragma once

#include <optional>
#include <string>

#include "setup_edit.hpp"

namespace ckptool {

struct FoundEntry {
    // Whether the read vouches for the answer: the file loads, silently,
    // and its entry names run in one order, so that none repeats. When it
    // does not, only a load tells (and names the faults).
    bool sure = false;
    // The entry's properties as the store holds them (by name, of a repeated
    // name the first); nullopt when the file has no such entry.
    std::optional<SetupProps> props;
};

// The entry of that name in the setup file `file`.
FoundEntry findEntry(const std::string& file, const std::string& entry);

} // namespace ckptool
