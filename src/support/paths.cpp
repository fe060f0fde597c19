// File and path services: existence, directory creation, rooted paths,
// separators, search groups and absolute paths.
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ckp/kvo.h"
#include "support/platform.hpp"

namespace {
using platform::isDirSep;
constexpr char sep = platform::dirSep;

bool isDir(const char* p) {
    return platform::pathKind(p) == KVO_KIND_DIRECTORY;
}

bool fits(std::size_t length, int size) {
    return size > 0 && length < std::size_t(size);
}
} // namespace

extern "C" {

char kvoDirSep(void) {
    return sep;
}

int kvoFileExists(const char* path) {
    return platform::pathKind(path) != 0 ? 1 : 0;
}

int kvoIsRooted(const char* path) {
    return path != nullptr && path[0] != '\0' && platform::isRooted(path) ? 1 : 0;
}

void kvoCanonicalizeDirSep(char* path) {
    for (; path != nullptr && *path != '\0'; ++path) {
        if (*path == '/' || *path == '\\') {
            *path = sep;
        }
    }
}

int kvoBuildDirPath(const char* path) {
    if (path == nullptr || path[0] == '\0') {
        return 0;
    }
    char* copy = kvoCopyString(path);
    if (copy == nullptr) {
        return 0;
    }
    for (char* p = copy + 1; *p != '\0'; ++p) {
        if (isDirSep(*p)) {
            char c = *p;
            *p = '\0';
            if (!isDir(copy)) {
                platform::makeDir(copy);
            }
            *p = c;
        }
    }
    if (!isDir(copy)) {
        platform::makeDir(copy);
    }
    int ok = isDir(copy) ? 1 : 0;
    kvoFree(copy);
    return ok;
}

int wyrSearchGroup(int flags, const char* name, const char* group, char* result, int size) {
    (void)flags;
    if (name == nullptr || name[0] == '\0' || group == nullptr || result == nullptr) {
        return 1;
    }
    char var[128] = "KVO_SEARCH_";
    std::size_t n = std::strlen(var);
    for (const char* g = group; *g != '\0'; ++g) {
        if (n + 1 >= sizeof var) {
            return 1; // a cut name would look in another group
        }
        var[n++] = static_cast<char>(std::toupper(static_cast<unsigned char>(*g)));
    }
    var[n] = '\0';
    const char* dirs = std::getenv(var);
    if (dirs == nullptr) {
        return 1;
    }
    std::size_t nameLength = std::strlen(name);
    while (*dirs != '\0') {
        const char* end = std::strchr(dirs, platform::listSep);
        std::size_t dirLength = end != nullptr ? std::size_t(end - dirs) : std::strlen(dirs);
        if (dirLength > 0 && fits(dirLength + 1 + nameLength, size)) {
            std::memcpy(result, dirs, dirLength);
            result[dirLength] = sep;
            std::memcpy(result + dirLength + 1, name, nameLength + 1);
            if (kvoFileExists(result)) {
                return 0;
            }
        }
        if (end == nullptr) {
            break;
        }
        dirs = end + 1;
    }
    result[0] = '\0';
    return 1;
}

int wyrConvertPathNotThere(const char* path, char* result) {
    if (path == nullptr || path[0] == '\0' || result == nullptr) {
        return 1;
    }
    std::size_t length = std::strlen(path);
    if (kvoIsRooted(path)) {
        if (!fits(length, KVO_PATH_BUFFER)) {
            return 1;
        }
        std::memcpy(result, path, length + 1);
        return 0;
    }
    char* cwd = platform::currentDir();
    if (cwd == nullptr) {
        return 1;
    }
    std::size_t cwdLength = std::strlen(cwd);
    if (!fits(cwdLength + 1 + length, KVO_PATH_BUFFER)) {
        kvoFree(cwd);
        return 1;
    }
    std::memcpy(result, cwd, cwdLength);
    kvoFree(cwd);
    result[cwdLength] = sep;
    std::memcpy(result + cwdLength + 1, path, length + 1);
    return 0;
}
}
