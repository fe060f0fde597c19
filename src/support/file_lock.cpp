// Directory locks that serialize the writers of one directory's files
// across processes. A lock is a system lock on ".ckp.lock" beside the final
// file, so it dies with its process and never needs cleaning up. The lock
// file is never removed: a process that removed it could let a later one
// lock a new file while another still holds the old.
#include <cerrno>

#include "ckp/kvo.h"
#include "support/platform.hpp"

struct kvoFileLock {
    long long handle; // -1: a turn without a lock file
    unsigned long long device;
    unsigned long long index;
    int count;
    int owner; // the process that took it; a child of fork() inherits it but does not hold it
    kvoFileLock* next;
};

namespace {
// Locks this process holds. A second system lock on the same file from the
// same process would wait for itself, so a lock taken again is counted.
kvoFileLock* held = nullptr;

kvoFileLock* newLock(long long handle, unsigned long long device, unsigned long long index) {
    auto* lock = static_cast<kvoFileLock*>(kvoMalloc(sizeof(kvoFileLock)));
    if (lock != nullptr) {
        *lock = kvoFileLock{handle, device, index, 1, platform::processId(), nullptr};
    }
    return lock;
}

kvoFileLock* unlockedTurn(int* err) {
    kvoFileLock* lock = newLock(-1, 0, 0);
    *err = lock != nullptr ? 0 : ENOMEM;
    return lock;
}

kvoFileLock* findHeld(unsigned long long device, unsigned long long index) {
    for (kvoFileLock* lock = held; lock != nullptr; lock = lock->next) {
        if (lock->device == device && lock->index == index &&
            lock->owner == platform::processId()) {
            return lock;
        }
    }
    return nullptr;
}

kvoFileLock* takeNew(long long handle, unsigned long long device, unsigned long long index,
                     int* err) {
    kvoFileLock* lock = newLock(handle, device, index);
    *err = lock != nullptr ? platform::lockHandle(handle) : ENOMEM;
    if (*err != 0) {
        platform::closeLockFile(handle);
        kvoFree(lock);
        return nullptr;
    }
    lock->next = held;
    held = lock;
    return lock;
}
} // namespace

extern "C" {

kvoFileLock* kvoLockFile(const char* target, int* errnumOut) {
    int dummy = 0;
    int& err = errnumOut != nullptr ? *errnumOut : dummy;
    if (target == nullptr || target[0] == '\0') {
        err = EINVAL;
        return nullptr;
    }
    char* final = platform::resolveLinks(target);
    if (final == nullptr) {
        err = errno != 0 ? errno : EINVAL;
        return nullptr;
    }
    // Devices, pipes and the system's directories get no lock file: writing
    // them is not a replacement, and nothing may be made beside them.
    int inPlace = platform::writtenInPlace(target, final);
    if (inPlace != 0) {
        int e = errno;
        kvoFree(final);
        if (inPlace < 0) {
            err = e;
            return nullptr;
        }
        return unlockedTurn(&err);
    }
    char* path = platform::beside(final, ".ckp.lock");
    kvoFree(final);
    if (path == nullptr) {
        err = ENOMEM;
        return nullptr;
    }
    long long handle = 0;
    unsigned long long device = 0;
    unsigned long long index = 0;
    err = platform::openLockFile(path, &handle, &device, &index);
    kvoFree(path);
    if (err != 0) {
        return nullptr;
    }
    if (kvoFileLock* lock = findHeld(device, index)) {
        platform::closeLockFile(handle);
        ++lock->count;
        return lock;
    }
    return takeNew(handle, device, index, &err);
}

void kvoUnlockFile(kvoFileLock* lock) {
    if (lock == nullptr || --lock->count > 0) {
        return;
    }
    if (lock->handle == -1) {
        kvoFree(lock);
        return;
    }
    for (kvoFileLock** p = &held; *p != nullptr; p = &(*p)->next) {
        if (*p == lock) {
            *p = lock->next;
            break;
        }
    }
    // The holder gives the lock back explicitly: a child that inherited the
    // open file would otherwise keep it alive.
    if (lock->owner == platform::processId()) {
        platform::unlockHandle(lock->handle);
    }
    platform::closeLockFile(lock->handle);
    kvoFree(lock);
}
}
