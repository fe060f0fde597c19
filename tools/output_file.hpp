// An output file that appears whole or not at all: written under a temporary
// name beside the target and renamed over it only on commit().
#pragma once

#include <string>

namespace ckptool {

class AtomicOutput {
  public:
    // An empty target makes a scratch file in the temporary directory.
    explicit AtomicOutput(const std::string& target);
    ~AtomicOutput();
    AtomicOutput(const AtomicOutput&) = delete;
    AtomicOutput& operator=(const AtomicOutput&) = delete;

    // The temporary file to write.
    const std::string& path() const { return temp_; }
    // Renames the temporary file over the target.
    void commit();

  private:
    std::string target_;
    std::string temp_;
    bool done_ = false;
};

// The file's bytes; throws ToolError when it cannot be read.
std::string readWholeFile(const std::string& path);

} // namespace ckptool
