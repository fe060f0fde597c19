// The parts of the platform module that read the same on every system:
// path arithmetic, string copies, the failure hook, and the exported file
// kinds built on the system calls of platform_posix.cpp and
// platform_win32.cpp.
#include "support/platform.hpp"

#include <cerrno>
#include <cstring>

#include "ckp/kvo.h"

namespace {
struct IoFailure {
    long countdown;
    int errnum;
};
IoFailure failures[4];
int failureHit = 0;

// The length of the directory part of path, its last separator included;
// 0 for a bare name.
std::size_t dirPartLength(const char* path) {
    std::size_t length = 0;
    for (std::size_t i = 0; path[i] != '\0'; ++i) {
        if (platform::endsDirPart(path[i])) {
            length = i + 1;
        }
    }
    return length;
}
} // namespace

namespace platform {

bool ioFails(int call) {
    if (call < 0 || call >= 4) {
        return false;
    }
    IoFailure& f = failures[call];
    if (f.countdown > 0 && --f.countdown == 0) {
        failureHit = 1;
        errno = f.errnum;
        return true;
    }
    return false;
}

char* copyOf(const char* text, std::size_t n) {
    auto* copy = static_cast<char*>(kvoMalloc(n + 1));
    if (copy == nullptr) {
        errno = ENOMEM;
        return nullptr;
    }
    std::memcpy(copy, text, n);
    copy[n] = '\0';
    return copy;
}

bool startsWith(const char* text, const char* prefix) {
    return std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

char* dirOf(const char* path) {
    std::size_t length = dirPartLength(path);
    if (length == 0) {
        return copyOf(".", 1);
    }
    // The separator goes, but a root ("/", "C:\\") or a drive ("C:") stays whole.
    bool root = length == 1 || (length <= 3 && path[1] == ':');
    return copyOf(path, root || path[length - 1] == ':' ? length : length - 1);
}

char* beside(const char* file, const char* name) {
    std::size_t dirLength = dirPartLength(file);
    std::size_t nameLength = std::strlen(name);
    auto* path = static_cast<char*>(kvoMalloc(dirLength + nameLength + 1));
    if (path == nullptr) {
        errno = ENOMEM;
        return nullptr;
    }
    std::memcpy(path, file, dirLength);
    std::memcpy(path + dirLength, name, nameLength + 1);
    return path;
}

} // namespace platform

extern "C" {

int kvoIsRegularFile(const char* path) {
    return platform::pathKind(path) == KVO_KIND_REGULAR ? 1 : 0;
}

int kvoIsDirectory(const char* path) {
    return platform::pathKind(path) == KVO_KIND_DIRECTORY ? 1 : 0;
}

void kvoSetIoFailure(int call, long n, int errnum) {
    if (call >= 0 && call < 4) {
        failures[call].countdown = n > 0 ? n : 0;
        failures[call].errnum = errnum;
    }
    failureHit = 0;
}

int kvoIoFailureHit(void) {
    return failureHit;
}
}
