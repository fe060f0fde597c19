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

// The n bytes at dir, the separator and name, as a kvoMalloc string; null
// without memory.
char* joined(const char* dir, std::size_t n, const char* name) {
    std::size_t nameLength = std::strlen(name);
    auto* path = static_cast<char*>(kvoMalloc(n + 1 + nameLength + 1));
    if (path != nullptr) {
        std::memcpy(path, dir, n);
        path[n] = sep;
        std::memcpy(path + n + 1, name, nameLength + 1);
    }
    return path;
}

// Copies a found path into a caller's buffer of size bytes; 1 when it does
// not fit (the buffer is then emptied) or there was none.
int toBuffer(char* found, char* result, int size) {
    int missed = 1;
    if (found != nullptr && fits(std::strlen(found), size)) {
        std::memcpy(result, found, std::strlen(found) + 1);
        missed = 0;
    } else if (size > 0) {
        result[0] = '\0';
    }
    kvoFree(found);
    return missed;
}

// The directories of a search group, from its environment variable; null
// when the variable is unset or the group's name too long for it.
const char* searchDirs(const char* group) {
    char var[128] = "KVO_SEARCH_";
    std::size_t n = std::strlen(var);
    for (const char* g = group; *g != '\0'; ++g) {
        if (n + 1 >= sizeof var) {
            return nullptr; // a cut name would look in another group
        }
        var[n++] = static_cast<char>(std::toupper(static_cast<unsigned char>(*g)));
    }
    var[n] = '\0';
    return std::getenv(var);
}

// The first directory of the list that holds a file called name, joined
// with it; null when none does or no memory is left.
char* searchIn(const char* dirs, const char* name) {
    while (*dirs != '\0') {
        const char* end = std::strchr(dirs, platform::listSep);
        std::size_t dirLength = end != nullptr ? std::size_t(end - dirs) : std::strlen(dirs);
        if (dirLength > 0) {
            char* path = joined(dirs, dirLength, name);
            if (path == nullptr || kvoFileExists(path)) {
                return path;
            }
            kvoFree(path);
        }
        if (end == nullptr) {
            break;
        }
        dirs = end + 1;
    }
    return nullptr;
}
} // namespace

extern "C" {

char kvoDirSep(void) {
    return sep;
}

int kvoFileExists(const char* path) {
    int kind = platform::pathKind(path);
    return kind != 0 && kind != KVO_KIND_DIRECTORY ? 1 : 0;
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

char* kvoSearchGroupPath(const char* name, const char* group) {
    if (name == nullptr || name[0] == '\0' || group == nullptr) {
        return nullptr;
    }
    const char* dirs = searchDirs(group);
    return dirs != nullptr ? searchIn(dirs, name) : nullptr;
}

char* kvoAbsolutePath(const char* path) {
    if (path == nullptr || path[0] == '\0') {
        return nullptr;
    }
    if (kvoIsRooted(path)) {
        return kvoCopyString(path);
    }
    char* cwd = platform::currentDir();
    if (cwd == nullptr) {
        return nullptr;
    }
    char* absolute = joined(cwd, std::strlen(cwd), path);
    kvoFree(cwd);
    return absolute;
}

int wyrSearchGroup(int flags, const char* name, const char* group, char* result, int size) {
    (void)flags;
    if (result == nullptr) {
        return 1;
    }
    return toBuffer(kvoSearchGroupPath(name, group), result, size);
}

int wyrConvertPathNotThere(const char* path, char* result) {
    if (result == nullptr) {
        return 1;
    }
    return toBuffer(kvoAbsolutePath(path), result, KVO_PATH_BUFFER);
}
}
