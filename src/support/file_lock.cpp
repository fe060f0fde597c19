// Directory locks that serialize the editors of one directory's files
// across processes. A lock is a system lock on ".ckp.lock" beside the final
// file, so it dies with its process. The holder removes the file before it
// releases the lock, and a taker checks after locking that the name still
// refers to the file it locked: a lock file never outlives its edit, and a
// removed one is never mistaken for the lock.
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "ckp/kvo.h"
#include "support/platform.hpp"

struct kvoFileLock {
    char* path; // null: a turn without a lock file
    platform::LockFile file;
    int count;
    int owner; // the process that took it; a child of fork() inherits it but does not hold it
    kvoFileLock* next;
};

namespace {
// Locks this process holds. A second system lock on the same file from the
// same process would wait for itself, so a lock taken again is counted.
kvoFileLock* held = nullptr;

constexpr double defaultTimeout = 10.0;

// How long a taker waits for another holder: CKP_LOCK_TIMEOUT seconds.
double lockTimeout() {
    const char* text = std::getenv("CKP_LOCK_TIMEOUT");
    if (text == nullptr || *text == '\0') {
        return defaultTimeout;
    }
    char* end = nullptr;
    double seconds = std::strtod(text, &end);
    bool valid = *end == '\0' && std::isfinite(seconds) && seconds >= 0;
    return valid ? seconds : defaultTimeout;
}

kvoFileLock* newLock(char* path, const platform::LockFile& file) {
    auto* lock = static_cast<kvoFileLock*>(kvoMalloc(sizeof(kvoFileLock)));
    if (lock != nullptr) {
        *lock = kvoFileLock{path, file, 1, platform::processId(), nullptr};
    }
    return lock;
}

bool heldHere(const kvoFileLock* lock) {
    return lock->owner == platform::processId();
}

// A lock of this process on the file at path, or on the file of that
// identity (when known), or null.
kvoFileLock* findHeld(const char* path, const platform::LockFile* file) {
    for (kvoFileLock* lock = held; lock != nullptr; lock = lock->next) {
        bool same = platform::samePath(lock->path, path) ||
                    (file != nullptr && file->index != 0 && lock->file.device == file->device &&
                     lock->file.index == file->index);
        if (same && heldHere(lock)) {
            return lock;
        }
    }
    return nullptr;
}

kvoFileLock* again(kvoFileLock* lock) {
    ++lock->count;
    return lock;
}

// Waits for the lock file at path, polling: each try is non-blocking, and
// the pauses grow from 1 to 8 ms, short beside an edit, so that a waiter
// follows soon after its holder. 0 with file set, or a failure code.
int waitForLock(const char* path, platform::LockFile* file, kvoFileLock** heldOut) {
    double deadline = platform::monotonicSeconds() + lockTimeout();
    int pause = 1;
    for (;;) {
        int e = platform::tryLockFile(path, file);
        if (e == platform::lockMoved) {
            continue;
        }
        if (e != platform::lockBusy) {
            return e;
        }
        if ((*heldOut = findHeld(path, file)) != nullptr) {
            return 0;
        }
        if (platform::monotonicSeconds() >= deadline) {
            return KVO_ELOCKED;
        }
        platform::sleepMillis(pause);
        pause = pause < 8 ? pause * 2 : 8;
    }
}

kvoFileLock* unlockedTurn(int* err) {
    kvoFileLock* lock = newLock(nullptr, platform::LockFile{});
    *err = lock != nullptr ? 0 : ENOMEM;
    return lock;
}

// The lock file for target, or null: *inPlace tells a target that gets
// none (a device, a FIFO); else errno tells why.
char* lockPathFor(const char* target, bool* inPlace) {
    *inPlace = false;
    char* final = platform::resolveLinks(target);
    if (final == nullptr) {
        return nullptr;
    }
    // Devices, pipes and the system's directories get no lock file: writing
    // them is not a replacement, and nothing may be made beside them.
    int special = platform::writtenInPlace(target, final);
    char* path = special == 0 ? platform::beside(final, ".ckp.lock") : nullptr;
    int e = errno;
    kvoFree(final);
    *inPlace = special > 0;
    errno = e;
    return path;
}

kvoFileLock* lockAt(char* path, int* err) {
    if (kvoFileLock* lock = findHeld(path, nullptr)) {
        kvoFree(path);
        return again(lock);
    }
    platform::LockFile file;
    kvoFileLock* mine = nullptr;
    *err = waitForLock(path, &file, &mine);
    if (*err != 0 || mine != nullptr) {
        kvoFree(path);
        return *err == 0 ? again(mine) : nullptr;
    }
    kvoFileLock* lock = newLock(path, file);
    if (lock == nullptr) {
        platform::releaseLockFile(path, file, true);
        kvoFree(path);
        *err = ENOMEM;
        return nullptr;
    }
    lock->next = held;
    held = lock;
    return lock;
}
} // namespace

extern "C" {

kvoFileLock* kvoLockFileNamed(const char* target, int* errnumOut, char** lockPathOut) {
    int dummy = 0;
    int& err = errnumOut != nullptr ? *errnumOut : dummy;
    if (lockPathOut != nullptr) {
        *lockPathOut = nullptr;
    }
    if (target == nullptr || target[0] == '\0') {
        err = EINVAL;
        return nullptr;
    }
    bool inPlace = false;
    char* path = lockPathFor(target, &inPlace);
    if (path == nullptr) {
        err = errno != 0 ? errno : EINVAL;
        return inPlace ? unlockedTurn(&err) : nullptr;
    }
    if (lockPathOut != nullptr) {
        *lockPathOut = platform::copyOf(path, std::strlen(path));
    }
    return lockAt(path, &err);
}

kvoFileLock* kvoLockFile(const char* target, int* errnumOut) {
    return kvoLockFileNamed(target, errnumOut, nullptr);
}

const char* kvoLockPath(const kvoFileLock* lock) {
    return lock != nullptr ? lock->path : nullptr;
}

void kvoUnlockFile(kvoFileLock* lock) {
    if (lock == nullptr || --lock->count > 0) {
        return;
    }
    if (lock->path == nullptr) {
        kvoFree(lock);
        return;
    }
    for (kvoFileLock** p = &held; *p != nullptr; p = &(*p)->next) {
        if (*p == lock) {
            *p = lock->next;
            break;
        }
    }
    // A child that inherited the open file only closes its copy: the lock
    // and its file are its parent's.
    platform::releaseLockFile(lock->path, lock->file, heldHere(lock));
    kvoFree(lock->path);
    kvoFree(lock);
}
}
