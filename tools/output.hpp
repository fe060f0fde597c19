// Where the command's results go: standard output, checked when it is
// closed, or a file replaced safely through the library's replacement
// (links followed, special files written in place, mode and owner kept, the
// new content published whole or not at all).
#pragma once

#include <string>
#include <string_view>

#include "ckp/kvo.h"

namespace ckptool {

// True for the names that mean standard output: "" and "-".
bool isStdout(const std::string& target);

// One result on its way out. A file's replacement is begun at once, so that
// a target that cannot be written fails before any work, and is discarded
// when the object goes unpublished.
class Output {
  public:
    // A file name, or "" / "-" for standard output; KVO_REPLACE_* flags.
    explicit Output(const std::string& target, int flags = 0);
    ~Output();
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;

    // Writes the bytes and publishes them. Throws ToolError naming the file
    // and the reason; the file is then unchanged.
    void publish(std::string_view bytes);

  private:
    [[noreturn]] void fail(int errnum);
    std::string target_;
    kvoReplacement* replacement_ = nullptr;
};

// The writers' lock on a file (the lock file beside it), held while the
// object lives: every read-modify-write of a file in place holds it, so that
// concurrent edits see each other's results.
class FileLock {
  public:
    explicit FileLock(const std::string& file);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

  private:
    kvoFileLock* lock_;
};

// Throws when standard output has failed: a closed pipe ends the command
// quietly (OutputClosed), any other failure as "write error: REASON".
void checkStdout();

// Flushes and closes standard output. Returns the exit code to use: `code`,
// or 2 after a failure, which is shown as "ckp: write error: REASON" (a
// closed pipe quietly).
int closeStdout(int code);

// Removes the temporaries of replacements in progress when the command is
// ended by SIGINT, SIGTERM or SIGHUP, then ends it by that signal.
void removeTemporariesOnSignals();

// A write to standard output found its reader gone.
struct OutputClosed {};

} // namespace ckptool
