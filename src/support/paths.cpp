// File and path services: existence, directory creation, rooted paths,
// separators, search groups and absolute paths.
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>

#if defined(_WIN32)
#include <direct.h>
#define getcwd _getcwd
#else
#include <unistd.h>
#endif

#include "ckp/kvo.h"

namespace {
#if defined(_WIN32)
const char sep = '\\';
const char listSep = ';';
bool isSep(char c) {
    return c == '\\' || c == '/';
}
int makeDir(const char* p) {
    return _mkdir(p);
}
bool isDir(const char* p) {
    struct _stat st;
    return _stat(p, &st) == 0 && (st.st_mode & _S_IFDIR) != 0;
}
#else
const char sep = '/';
const char listSep = ':';
bool isSep(char c) {
    return c == '/';
}
int makeDir(const char* p) {
    return mkdir(p, 0777);
}
bool isDir(const char* p) {
    struct stat st;
    return stat(p, &st) == 0 && S_ISDIR(st.st_mode);
}
#endif

bool fits(std::size_t length, int size) {
    return size > 0 && length < std::size_t(size);
}
} // namespace

extern "C" {

char kvoDirSep(void) {
    return sep;
}

int kvoFileExists(const char* path) {
#if defined(_WIN32)
    struct _stat st;
    return path != nullptr && _stat(path, &st) == 0 ? 1 : 0;
#else
    struct stat st;
    return path != nullptr && stat(path, &st) == 0 ? 1 : 0;
#endif
}

int kvoIsRooted(const char* path) {
    if (path == nullptr || path[0] == '\0') {
        return 0;
    }
#if defined(_WIN32)
    if (isSep(path[0])) {
        return 1; // \dir and \\server\share
    }
    return std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' ? 1 : 0;
#else
    return path[0] == '/' ? 1 : 0;
#endif
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
        if (isSep(*p)) {
            char c = *p;
            *p = '\0';
            if (!isDir(copy)) {
                makeDir(copy);
            }
            *p = c;
        }
    }
    if (!isDir(copy)) {
        makeDir(copy);
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
        const char* end = std::strchr(dirs, listSep);
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
    char cwd[KVO_PATH_BUFFER];
    if (getcwd(cwd, sizeof cwd) == nullptr) {
        return 1;
    }
    std::size_t cwdLength = std::strlen(cwd);
    if (!fits(cwdLength + 1 + length, KVO_PATH_BUFFER)) {
        return 1;
    }
    std::memcpy(result, cwd, cwdLength);
    result[cwdLength] = sep;
    std::memcpy(result + cwdLength + 1, path, length + 1);
    return 0;
}
}
