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
//
// An edit (flags KVO_REPLACE_EDIT) makes the new content from the file's
// old content: the file is opened once, at construction, and must be a
// regular file or absent (anything else is refused at once, "not a regular
// file"); source() and readSource() read that same file, and publish()
// fails, leaving the file alone, when the name no longer refers to it.
// Take a FileLock on the file first and hold it until publish:
//
//     FileLock lock(name);
//     Output edit(name, KVO_REPLACE_EDIT);
//     std::string old = edit.readSource();
//     if (changed) edit.publish(text); else edit.discard();
class Output {
  public:
    // A file name, or "" / "-" for standard output; KVO_REPLACE_* flags.
    // Throws ToolError naming the file and the reason.
    explicit Output(const std::string& target, int flags = 0);
    ~Output();
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;

    // An edit's old content as a stream at its start, which the Output owns;
    // null when there was no file (and outside an edit).
    std::FILE* source() const;
    // Whether an edit found a file to edit.
    bool existed() const { return source() != nullptr; }
    // The whole old content of an edit ("" without a file). Throws ToolError
    // naming the file when it cannot be read.
    std::string readSource();

    // Writes the bytes and publishes them. Throws ToolError naming the file
    // and the reason; the file is then unchanged.
    void publish(std::string_view bytes);

    // Leaves the file as it is, unpublished (an edit that changed nothing).
    void discard();

  private:
    [[noreturn]] void fail(int errnum);
    std::string target_;
    kvoReplacement* replacement_ = nullptr;
};

// The editors' lock on a file (the lock file beside it), held while the
// object lives: every read-modify-write of a file in place holds it, so that
// concurrent edits see each other's results. It waits at most
// CKP_LOCK_TIMEOUT seconds (default 10) for another edit; every failure is
// a ToolError (exit 2) that names the lock file.
class FileLock {
  public:
    explicit FileLock(const std::string& file);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

  private:
    kvoFileLock* lock_;
};

// The message for a lock of file that failed with errnum, naming the lock
// file (lockPath, null when none was involved).
std::string lockMessage(const std::string& file, const char* lockPath, int errnum);

// Throws when standard output has failed: a closed pipe ends the command
// quietly (OutputClosed), any other failure as "write error: REASON".
void checkStdout();

// Flushes and closes standard output. Returns the exit code to use: `code`,
// or 2 after a failure, which is shown as "ckp: write error: REASON" (a
// closed pipe quietly).
int closeStdout(int code);

// Removes the temporaries of replacements in progress when the command is
// ended by SIGINT, SIGTERM or SIGHUP, then ends it by that signal. SIGXFSZ
// (a file over the size limit) is ignored, so that the write fails with
// "File too large" and is reported like any failed write, naming the file.
void removeTemporariesOnSignals();

// A write to standard output found its reader gone.
struct OutputClosed {};

} // namespace ckptool
