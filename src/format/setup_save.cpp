#include "setup_save.hpp"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
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

    std::string source() const {
        std::FILE* old = kvoReplaceSource(replacement_);
        return old == nullptr ? std::string() : readStream(old, file_);
    }
    void commit(const std::string& bytes) {
        std::FILE* stream = kvoReplaceStream(replacement_);
        errno = 0;
        if (std::fwrite(bytes.data(), 1, bytes.size(), stream) != bytes.size()) {
            failOn("write", file_, errno);
        }
        int errnum = kvoReplaceCommit(std::exchange(replacement_, nullptr));
        if (errnum != 0) {
            failOn("write", file_, errnum);
        }
    }

  private:
    std::string file_;
    kvoReplacement* replacement_;
};

} // namespace

void editFile(const std::string& file, const std::function<std::string(std::string)>& change) {
    HeldLock lock(file);
    Replacement edit(file, KVO_REPLACE_EDIT);
    std::string old = edit.source();
    std::string bytes = change(old);
    if (bytes != old) {
        edit.commit(bytes);
    }
}

void saveSetupChanges(const std::string& file, const std::vector<EntryChange>& changes) {
    if (changes.empty()) {
        return; // the file stays as it is, whatever happened to it meanwhile
    }
    editFile(file,
             [&](std::string bytes) { return applySetupChanges(file, std::move(bytes), changes); });
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
