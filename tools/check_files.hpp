// The files that `ckp check` reads: the names given, with each directory
// among them walked for checkpoint files.
#pragma once

#include <string>
#include <vector>

namespace ckptool {

// Whether a file name is that of a checkpoint file: *.ckpt, *.Ckpt or
// *.setup.
bool isCheckpointName(const std::string& name);

// Whether `path` is left out by one of the globs: a glob matches the whole
// path or any one of its names (a directory's or the file's).
bool isExcluded(const std::string& path, const std::vector<std::string>& excludes);

// The names given, in their order, each directory replaced by the
// checkpoint files under it (sorted by path; links to directories are not
// followed, so that no walk loops). A file named outright is kept whatever
// its name, unless excluded; a file found twice is kept once. Throws ToolError for a directory that
// cannot be read.
std::vector<std::string> checkedFiles(const std::vector<std::string>& names,
                                      const std::vector<std::string>& excludes);

} // namespace ckptool
