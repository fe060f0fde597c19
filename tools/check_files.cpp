#include "check_files.hpp"

#include <algorithm>
#include <filesystem>
#include <fnmatch.h>
#include <set>
#include <system_error>

#include "commands.hpp"

namespace ckptool {
namespace {

namespace fs = std::filesystem;

bool endsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

bool globMatches(const std::string& glob, const std::string& text) {
    return fnmatch(glob.c_str(), text.c_str(), 0) == 0;
}

[[noreturn]] void unreadable(const std::string& directory, const std::error_code& error) {
    throw ToolError("cannot read directory " + directory + ": " + error.message());
}

// The checkpoint files under `directory`, sorted; excluded directories are
// not entered.
std::vector<std::string> walk(const std::string& directory,
                              const std::vector<std::string>& excludes) {
    std::vector<std::string> found;
    std::error_code error;
    fs::recursive_directory_iterator it(directory, fs::directory_options::none, error);
    if (error) {
        unreadable(directory, error);
    }
    for (; it != fs::recursive_directory_iterator(); it.increment(error)) {
        if (error) {
            unreadable(directory, error);
        }
        std::string path = it->path().generic_string();
        if (isExcluded(path, excludes)) {
            if (it->is_directory(error)) {
                it.disable_recursion_pending();
            }
            continue;
        }
        if (it->is_regular_file(error) && isCheckpointName(it->path().filename().string())) {
            found.push_back(path);
        }
    }
    if (error) {
        unreadable(directory, error);
    }
    std::sort(found.begin(), found.end());
    return found;
}

} // namespace

bool isCheckpointName(const std::string& name) {
    return endsWith(name, ".ckpt") || endsWith(name, ".Ckpt") || endsWith(name, ".setup");
}

bool isExcluded(const std::string& path, const std::vector<std::string>& excludes) {
    for (const std::string& glob : excludes) {
        if (globMatches(glob, path)) {
            return true;
        }
        for (const fs::path& name : fs::path(path)) {
            if (globMatches(glob, name.generic_string())) {
                return true;
            }
        }
    }
    return false;
}

std::vector<std::string> checkedFiles(const std::vector<std::string>& names,
                                      const std::vector<std::string>& excludes) {
    std::vector<std::string> files;
    std::set<std::string> seen; // a file found twice is read once
    auto add = [&](const std::string& file) {
        std::error_code error;
        fs::path key = fs::weakly_canonical(file, error);
        if (file == "-" || seen.insert(error ? file : key.generic_string()).second) {
            files.push_back(file);
        }
    };
    for (const std::string& name : names) {
        std::error_code error;
        if (name != "-" && fs::is_directory(name, error)) {
            for (const std::string& found : walk(name, excludes)) {
                add(found);
            }
        } else if (name == "-" || !isExcluded(name, excludes)) {
            add(name);
        }
    }
    return files;
}

} // namespace ckptool
