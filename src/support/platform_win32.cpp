// The platform module on Windows.
#if defined(_WIN32)
#define _CRT_RAND_S // rand_s, the runtime's random numbers from the system
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <direct.h>
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <windows.h>

#include "ckp/kvo.h"
#include "support/platform.hpp"

namespace {
// Windows reports its own error codes; the few a file service meets are
// told in errno's words.
int errnoOf(DWORD code) {
    switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return EACCES;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return EEXIST;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return ENOSPC;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
        return ENOMEM;
    default:
        return EIO;
    }
}

// Device names, device paths, and the host's special files as Wine shows
// them.
bool isSystemPath(const char* path) {
    return _stricmp(path, "CON") == 0 || _stricmp(path, "NUL") == 0 ||
           platform::startsWith(path, "\\\\.\\") || platform::startsWith(path, "/dev/") ||
           platform::startsWith(path, "/proc/");
}

// The final path of an existing link (a reparse point), or null.
char* finalPathOf(const char* path) {
    HANDLE h = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        return nullptr;
    }
    char buffer[MAX_PATH + 8];
    DWORD n = GetFinalPathNameByHandleA(h, buffer, sizeof buffer, FILE_NAME_NORMALIZED);
    CloseHandle(h);
    if (n == 0 || n >= sizeof buffer) {
        return nullptr;
    }
    const char* start = std::strncmp(buffer, "\\\\?\\", 4) == 0 ? buffer + 4 : buffer;
    return platform::copyOf(start, std::strlen(start));
}
} // namespace

namespace platform {

bool isRooted(const char* path) {
    if (isDirSep(path[0])) {
        return true; // \dir and \\server\share
    }
    return std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':';
}

int pathKind(const char* path) {
    struct _stat st;
    if (path == nullptr || _stat(path, &st) != 0) {
        return 0;
    }
    if ((st.st_mode & _S_IFDIR) != 0) {
        return KVO_KIND_DIRECTORY;
    }
    return (st.st_mode & _S_IFREG) != 0 ? KVO_KIND_REGULAR : KVO_KIND_OTHER;
}

int makeDir(const char* path) {
    return _mkdir(path) == 0 ? 0 : errno;
}

char* currentDir() {
    char* cwd = _getcwd(nullptr, 0);
    if (cwd == nullptr) {
        return nullptr;
    }
    char* copy = copyOf(cwd, std::strlen(cwd));
    std::free(cwd);
    return copy;
}

int processId() {
    return _getpid();
}

char* resolveLinks(const char* path) {
    DWORD attributes = GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        if (char* final = finalPathOf(path)) {
            return final;
        }
    }
    return copyOf(path, std::strlen(path));
}

int writtenInPlace(const char* given, const char* final) {
    int kind = pathKind(final);
    return isSystemPath(given) || isSystemPath(final) || (kind != 0 && kind != KVO_KIND_REGULAR)
               ? 1
               : 0;
}

FileFacts fileFacts(const char* path) {
    FileFacts facts;
    int kind = pathKind(path);
    facts.exists = kind != 0;
    facts.regular = kind == KVO_KIND_REGULAR;
    // The runtime's calls take paths shorter than MAX_PATH only; a longer
    // one is refused before a temporary is made for it.
    if (!facts.exists && std::strlen(path) >= MAX_PATH) {
        facts.error = ENAMETOOLONG;
    }
    return facts;
}

std::FILE* createExclusive(const char* path) {
    if (ioFails(KVO_IO_OPEN)) {
        return nullptr;
    }
    // Shared for deletion, so that the signal path can remove the temporary
    // while it is open.
    HANDLE h =
        CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        errno = errnoOf(GetLastError());
        return nullptr;
    }
    int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_WRONLY | _O_TEXT);
    if (fd < 0) {
        CloseHandle(h);
        errno = EMFILE;
        return nullptr;
    }
    std::FILE* stream = _fdopen(fd, "w");
    if (stream == nullptr) {
        _close(fd);
    }
    return stream;
}

std::FILE* openInPlace(const char* path) {
    return std::fopen(path, "w");
}

void carryOver(std::FILE*, const FileFacts&) {
    // The new file takes the directory's inherited permissions, as the
    // replaced one did.
}

int syncStream(std::FILE* stream) {
    if (ioFails(KVO_IO_SYNC)) {
        return errno;
    }
    return _commit(_fileno(stream)) == 0 ? 0 : errno;
}

int renameOver(const char* from, const char* to, bool noReplace) {
    if (ioFails(KVO_IO_RENAME)) {
        return errno;
    }
    DWORD flags = MOVEFILE_WRITE_THROUGH | (noReplace ? 0 : MOVEFILE_REPLACE_EXISTING);
    // A reader that has the file open refuses the rename for a moment.
    for (int attempt = 0;; ++attempt) {
        if (MoveFileExA(from, to, flags)) {
            return 0;
        }
        DWORD code = GetLastError();
        bool busy = code == ERROR_ACCESS_DENIED || code == ERROR_SHARING_VIOLATION;
        if (!busy || attempt == 10) {
            return errnoOf(code);
        }
        Sleep(50);
    }
}

void syncDirOf(const char*) {
    // MOVEFILE_WRITE_THROUGH has already put the rename on the disk.
}

void removeFile(const char* path) {
    DeleteFileA(path);
}

void uniqueTag(char tag[9]) {
    static const char digits[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    static unsigned long long counter = 0;
    unsigned int a = 0;
    unsigned int b = 0;
    unsigned long long bits = 0;
    if (rand_s(&a) == 0 && rand_s(&b) == 0) {
        bits = (static_cast<unsigned long long>(a) << 32) | b;
    } else {
        // Names only need to differ; a taken one is passed over anyway.
        bits = (static_cast<unsigned long long>(_getpid()) << 32) ^ GetTickCount64() ^ ++counter;
    }
    for (int i = 0; i < 8; ++i) {
        tag[i] = digits[bits % 36];
        bits /= 36;
    }
    tag[8] = '\0';
}

int openLockFile(const char* path, long long* handleOut, unsigned long long* deviceOut,
                 unsigned long long* indexOut) {
    if (ioFails(KVO_IO_OPEN)) {
        return errno;
    }
    HANDLE h =
        CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        return errnoOf(GetLastError());
    }
    BY_HANDLE_FILE_INFORMATION fi;
    if (!GetFileInformationByHandle(h, &fi)) {
        int e = errnoOf(GetLastError());
        CloseHandle(h);
        return e;
    }
    *deviceOut = fi.dwVolumeSerialNumber;
    *indexOut = (static_cast<unsigned long long>(fi.nFileIndexHigh) << 32) | fi.nFileIndexLow;
    *handleOut = reinterpret_cast<long long>(h);
    return 0;
}

int lockHandle(long long handle) {
    OVERLAPPED at{};
    if (!LockFileEx(reinterpret_cast<HANDLE>(handle), LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &at)) {
        return errnoOf(GetLastError());
    }
    return 0;
}

void unlockHandle(long long handle) {
    OVERLAPPED at{};
    UnlockFileEx(reinterpret_cast<HANDLE>(handle), 0, 1, 0, &at);
}

void closeLockFile(long long handle) {
    CloseHandle(reinterpret_cast<HANDLE>(handle));
}

} // namespace platform

extern "C" {

int kvoStreamKind(FILE* stream) {
    struct _stat st;
    if (stream == nullptr || _fstat(_fileno(stream), &st) != 0) {
        return 0;
    }
    if ((st.st_mode & _S_IFDIR) != 0) {
        return KVO_KIND_DIRECTORY;
    }
    return (st.st_mode & _S_IFREG) != 0 ? KVO_KIND_REGULAR : KVO_KIND_OTHER;
}

// The runtime has no stream over memory: a temporary file holds the bytes
// instead, removed by the runtime when the stream is closed.
FILE* kvoOpenMemory(const void* bytes, size_t size, int* errnumOut) {
    FILE* stream = nullptr;
    int errnum = 0;
    if (bytes == nullptr && size != 0) {
        errnum = EINVAL;
    } else if ((stream = tmpfile()) == nullptr) {
        errnum = errno != 0 ? errno : EIO;
    } else if ((size != 0 && fwrite(bytes, 1, size, stream) != size) || fflush(stream) != 0) {
        errnum = errno != 0 ? errno : EIO;
        fclose(stream);
        stream = nullptr;
    } else {
        rewind(stream);
    }
    if (stream == nullptr && errnumOut != nullptr) {
        *errnumOut = errnum;
    }
    return stream;
}

// _stat reports no inode on Windows; the volume serial number and the file
// index of the open handle identify the file instead.
int kvoStreamIdentity(FILE* stream, unsigned long long* device, unsigned long long* index) {
    if (stream == nullptr || device == nullptr || index == nullptr) {
        return 0;
    }
    HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    BY_HANDLE_FILE_INFORMATION fi;
    if (h == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(h, &fi)) {
        return 0;
    }
    *device = fi.dwVolumeSerialNumber;
    *index = (static_cast<unsigned long long>(fi.nFileIndexHigh) << 32) | fi.nFileIndexLow;
    return 1;
}

int kvoPathIndex(const char* path, unsigned long long* index) {
    struct _stat st;
    if (path == nullptr || index == nullptr || _stat(path, &st) != 0) {
        return 0;
    }
    *index = static_cast<unsigned long long>(st.st_ino);
    return 1;
}
}
#endif
