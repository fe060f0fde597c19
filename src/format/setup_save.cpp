#include "setup_save.hpp"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "canonical.hpp"
#include "ckp/ckp.hpp"
#include "ckp/kvo.h"
#include "format_error.hpp"

namespace ckptool {
namespace {

[[noreturn]] void failOn(const std::string& what, const std::string& file, int errnum) {
    throw ToolError("cannot " + what + " " + file + ": " + kvoStrError(errnum));
}

// The lock beside a file, held while the object lives.
class HeldLock {
  public:
    explicit HeldLock(const std::string& file) {
        int errnum = 0;
        char* lockPath = nullptr;
        lock_ = kvoLockFileNamed(file.c_str(), &errnum, &lockPath);
        std::string named = lockPath != nullptr ? lockPath : file;
        kvoFree(lockPath);
        if (lock_ == nullptr) {
            failOn("lock", named, errnum);
        }
    }
    ~HeldLock() { kvoUnlockFile(lock_); }
    HeldLock(const HeldLock&) = delete;
    HeldLock& operator=(const HeldLock&) = delete;

  private:
    kvoFileLock* lock_;
};

// A replacement of a file, discarded unless committed.
class Replacement {
  public:
    Replacement(const std::string& file, int flags) : file_(file) {
        int errnum = 0;
        replacement_ = kvoReplaceBegin(file.c_str(), flags, &errnum);
        if (replacement_ == nullptr) {
            failOn(flags == KVO_REPLACE_EDIT ? "edit" : "write", file, errnum);
        }
    }
    ~Replacement() { kvoReplaceAbort(replacement_); }
    Replacement(const Replacement&) = delete;
    Replacement& operator=(const Replacement&) = delete;

    // Read into one block of the file's size: a string grown while reading
    // would hold the file twice for a moment.
    std::string source() const {
        std::FILE* old = kvoReplaceSource(replacement_);
        std::string bytes;
        if (old == nullptr) {
            return bytes;
        }
        long at = std::ftell(old);
        if (at >= 0 && std::fseek(old, 0, SEEK_END) == 0) {
            long end = std::ftell(old);
            if (std::fseek(old, at, SEEK_SET) != 0) {
                return readStream(old, file_);
            }
            bytes.reserve(end > at ? static_cast<std::size_t>(end - at) : 0);
        }
        char buffer[65536];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, old)) > 0;) {
            bytes.append(buffer, n);
        }
        if (std::ferror(old)) {
            throw ToolError("cannot read " + file_ + ": " + std::strerror(errno));
        }
        return bytes;
    }
    void commit(const EditedSetup& edited) {
        edited.write([&](const char* data, std::size_t size) { write(data, size); });
        finish();
    }

  private:
    void write(const char* data, std::size_t size) {
        std::FILE* stream = kvoReplaceStream(replacement_);
        errno = 0;
        if (std::fwrite(data, 1, size, stream) != size) {
            failOn("write", file_, errno);
        }
    }
    void finish() {
        int errnum = kvoReplaceCommit(std::exchange(replacement_, nullptr));
        if (errnum != 0) {
            failOn("write", file_, errnum);
        }
    }

    std::string file_;
    kvoReplacement* replacement_;
};

} // namespace

// The file is held once: the new bytes go out as runs of it and new texts.
void saveSetupChanges(const std::string& file, const std::vector<EntryChange>& changes) {
    if (changes.empty()) {
        return; // the file stays as it is, whatever happened to it meanwhile
    }
    HeldLock lock(file);
    Replacement edit(file, KVO_REPLACE_EDIT);
    std::string old = edit.source();
    EditedSetup edited = editSetup(file, old, changes);
    if (!edited.same(old)) {
        edit.commit(edited);
    }
}

SetupEntries storeEntries(const std::string& name) {
    ckp::Setup setup(name);
    SetupEntries entries;
    for (std::string& entry : setup.entries()) {
        SetupProps props;
        for (auto& prop : setup.props(entry)) {
            props.emplace_back(std::move(prop));
        }
        entries.push_back({std::move(entry), std::move(props)});
    }
    return entries;
}

} // namespace ckptool
