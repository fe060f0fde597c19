// Directory locks that serialize the writers of one directory's files
// across processes. A lock is a system lock on ".ckp.lock" beside the final
// file, so it dies with its process and never needs cleaning up. The lock
// file is never removed: a process that removed it could let a later one
// lock a new file while another still holds the old.
#include <cerrno>
#include <new>
#include <string>

#include "ckp/kvo.h"
#include "support/platform.hpp"

struct kvoFileLock {
    long long handle = 0;
    unsigned long long device = 0;
    unsigned long long index = 0;
    int count = 0;
    kvoFileLock* next = nullptr;
};

namespace {
// Locks this process holds. A second system lock on the same file from the
// same process would wait for itself, so a lock taken again is counted.
kvoFileLock* held = nullptr;

kvoFileLock* unlockedTurn(int* err) {
    auto* lock = new (std::nothrow) kvoFileLock;
    if (lock == nullptr) {
        *err = ENOMEM;
        return nullptr;
    }
    lock->handle = -1;
    lock->count = 1;
    return lock;
}

kvoFileLock* findHeld(unsigned long long device, unsigned long long index) {
    for (kvoFileLock* lock = held; lock != nullptr; lock = lock->next) {
        if (lock->device == device && lock->index == index) {
            return lock;
        }
    }
    return nullptr;
}

kvoFileLock* takeNew(long long handle, unsigned long long device, unsigned long long index,
                     int* err) {
    auto* lock = new (std::nothrow) kvoFileLock;
    if (lock == nullptr) {
        *err = ENOMEM;
        platform::closeLockFile(handle);
        return nullptr;
    }
    *err = platform::lockHandle(handle);
    if (*err != 0) {
        platform::closeLockFile(handle);
        delete lock;
        return nullptr;
    }
    lock->handle = handle;
    lock->device = device;
    lock->index = index;
    lock->count = 1;
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
    std::string final = platform::resolveLinks(target);
    if (final.empty()) {
        err = errno != 0 ? errno : EINVAL;
        return nullptr;
    }
    // Devices, pipes and the system's directories get no lock file: writing
    // them is not a replacement, and nothing may be made beside them.
    if (platform::writtenInPlace(target, final)) {
        return unlockedTurn(&err);
    }
    std::string path = platform::beside(final, ".ckp.lock");
    long long handle = 0;
    unsigned long long device = 0;
    unsigned long long index = 0;
    err = platform::openLockFile(path, &handle, &device, &index);
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
        delete lock;
        return;
    }
    for (kvoFileLock** p = &held; *p != nullptr; p = &(*p)->next) {
        if (*p == lock) {
            *p = lock->next;
            break;
        }
    }
    platform::closeLockFile(lock->handle);
    delete lock;
}
}
