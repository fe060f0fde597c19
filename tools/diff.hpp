// A unified diff of a file and its canonical form, for fmt --diff.
#pragma once

#include <string>
#include <string_view>

namespace ckptool {

// The differences of `before` and `after` line by line, in unified form
// with three lines of context; empty when they are equal. `name` heads it.
std::string unifiedDiff(const std::string& name, std::string_view before, std::string_view after);

} // namespace ckptool
