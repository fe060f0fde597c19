// Helpers shared by the tests: temporary files and captured reports.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

struct ckpInfo;

namespace ckptest {

// A fresh directory under the system's temporary directory, removed with
// everything in it when the object goes.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    // Writes bytes to path()/name and returns the full path.
    std::string write(const std::string& name, const std::string& bytes) const;

  private:
    std::string path_;
};

std::string readFile(const std::string& path);

// Writes through a fresh "W" handle and returns the file's bytes.
std::string written(const std::function<void(ckpInfo*)>& body);

// How many names in dir a file replacement would use for its temporaries
// (".ckp-..."): what a replacement left behind.
int temporaryCount(const std::string& dir);

// The texts one after the other, appended: `"p" + std::to_string(i)` makes
// GCC 12 at -O2 warn of an overlap that cannot happen (-Wrestrict).
template <typename... Texts> std::string cat(const Texts&... texts) {
    std::string joined;
    (joined.append(std::string_view(texts)), ...);
    return joined;
}

// Captures every kvoReportError text while alive, restoring the default
// reporter afterwards.
class ReportCapture {
  public:
    ReportCapture();
    ~ReportCapture();
    ReportCapture(const ReportCapture&) = delete;
    ReportCapture& operator=(const ReportCapture&) = delete;
    const std::vector<std::string>& messages() const { return messages_; }
    std::string joined() const; // every message followed by "\n"
    void clear() { messages_.clear(); }

  private:
    static int handler(const char* text, void* self);
    std::vector<std::string> messages_;
};

// The line number ckpReport prints for the handle's current record.
std::string reportedLine(ckpInfo* info);

// Clears the library's error count (and reads it): call at a test's start.
int resetErrors();

// A limit on the size of the files this process writes while alive: writes
// past it fail with "File too large" (SIGXFSZ ignored), so write failures are
// tested on the test's own files. Without such a limit active() is false.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(unsigned long bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;
    bool active() const { return active_; }

  private:
    bool active_ = false;
    unsigned long long saved_[2] = {0, 0};
};

} // namespace ckptest
