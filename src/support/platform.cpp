// The system calls behind kvo's file services, for POSIX and for Windows,
// and the failure hook that lets tests make each of them fail on demand.
#include "support/platform.hpp"

#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>

#include <sys/stat.h>
#include <sys/types.h>

#if defined(_WIN32)
#include <direct.h>
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

#include "ckp/kvo.h"

namespace {
struct IoFailure {
    long countdown = 0;
    int errnum = 0;
};
IoFailure failures[4];
int failureHit = 0;

#if defined(_WIN32)
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
#endif
// A kvoMalloc copy of the n bytes at text, terminated.
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

#if defined(_WIN32)

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

char* resolveLinks(const char* path) {
    return copyOf(path, std::strlen(path));
}

namespace {
// Device names, device paths, and the host's special files as Wine shows
// them.
bool isSystemPath(const char* path) {
    return _stricmp(path, "CON") == 0 || _stricmp(path, "NUL") == 0 ||
           startsWith(path, "\\\\.\\") || startsWith(path, "/dev/") || startsWith(path, "/proc/");
}
} // namespace

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
    int fd = _open(path, _O_CREAT | _O_EXCL | _O_WRONLY | _O_TEXT, _S_IREAD | _S_IWRITE);
    if (fd < 0) {
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
    return MoveFileExA(from, to, flags) ? 0 : errnoOf(GetLastError());
}

void syncDirOf(const char*) {
    // MOVEFILE_WRITE_THROUGH has already put the rename on the disk.
}

void removeFile(const char* path) {
    DeleteFileA(path);
}

int openLockFile(const char* path, long long* handleOut, unsigned long long* deviceOut,
                 unsigned long long* indexOut) {
    if (ioFails(KVO_IO_OPEN)) {
        return errno;
    }
    HANDLE h = CreateFileA(path, GENERIC_READ | GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
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

void closeLockFile(long long handle) {
    CloseHandle(reinterpret_cast<HANDLE>(handle));
}

#else

bool isRooted(const char* path) {
    return path[0] == '/';
}

int pathKind(const char* path) {
    struct stat st;
    if (path == nullptr || stat(path, &st) != 0) {
        return 0;
    }
    if (S_ISDIR(st.st_mode)) {
        return KVO_KIND_DIRECTORY;
    }
    return S_ISREG(st.st_mode) ? KVO_KIND_REGULAR : KVO_KIND_OTHER;
}

int makeDir(const char* path) {
    return mkdir(path, 0777) == 0 ? 0 : errno;
}

char* currentDir() {
    char* cwd = getcwd(nullptr, 0);
    if (cwd == nullptr) {
        return nullptr;
    }
    char* copy = copyOf(cwd, std::strlen(cwd));
    std::free(cwd);
    return copy;
}

namespace {
// The text of the link at path (st_size bytes announced), or null.
char* readLink(const char* path, const struct stat& st) {
    std::size_t size = static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 255) + 1;
    auto* link = static_cast<char*>(kvoMalloc(size));
    if (link == nullptr) {
        errno = ENOMEM;
        return nullptr;
    }
    ssize_t n = readlink(path, link, size);
    if (n < 0 || static_cast<std::size_t>(n) >= size) {
        errno = n < 0 ? errno : ENAMETOOLONG; // the link changed under us
        kvoFree(link);
        return nullptr;
    }
    link[n] = '\0';
    return link;
}

// Where the link at current points, as a path from here.
char* followLink(const char* current, const char* link) {
    if (link[0] == '/') {
        return copyOf(link, std::strlen(link));
    }
    return platform::beside(current, link);
}
} // namespace

char* resolveLinks(const char* path) {
    char* current = copyOf(path, std::strlen(path));
    for (int hop = 0; current != nullptr && hop < 40; ++hop) {
        struct stat st;
        if (lstat(current, &st) != 0 || !S_ISLNK(st.st_mode)) {
            return current; // a missing name is where a dangling link points
        }
        char* link = readLink(current, st);
        char* next = link != nullptr ? followLink(current, link) : nullptr;
        int e = errno;
        kvoFree(link);
        kvoFree(current);
        current = next;
        errno = e;
    }
    if (current != nullptr) {
        kvoFree(current);
        errno = ELOOP;
    }
    return nullptr;
}

namespace {
bool isSystemPath(const char* path) {
    return startsWith(path, "/dev/") || startsWith(path, "/proc/");
}
} // namespace

FileFacts fileFacts(const char* path) {
    FileFacts facts;
    struct stat st;
    if (stat(path, &st) == 0) {
        facts.exists = true;
        facts.regular = S_ISREG(st.st_mode);
        facts.mode = static_cast<unsigned>(st.st_mode & 07777);
        facts.owner = static_cast<long long>(st.st_uid);
        facts.group = static_cast<long long>(st.st_gid);
    } else if (errno != ENOENT) {
        facts.error = errno; // a name too long, a directory not searchable
    }
    return facts;
}

std::FILE* createExclusive(const char* path) {
    if (ioFails(KVO_IO_OPEN)) {
        return nullptr;
    }
    int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        return nullptr;
    }
    std::FILE* stream = fdopen(fd, "w");
    if (stream == nullptr) {
        int e = errno;
        close(fd);
        errno = e;
    }
    return stream;
}

std::FILE* openInPlace(const char* path) {
    // No O_CREAT: a special file that vanished meanwhile is not made as a
    // regular one here.
    int fd = open(path, O_WRONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        return nullptr;
    }
    std::FILE* stream = fdopen(fd, "w");
    if (stream == nullptr) {
        int e = errno;
        close(fd);
        errno = e;
    }
    return stream;
}

void carryOver(std::FILE* stream, const FileFacts& facts) {
    int fd = fileno(stream);
    if (!facts.exists) {
        mode_t mask = umask(0);
        umask(mask);
        fchmod(fd, 0666 & ~mask);
        return;
    }
    // Owner first: a change of owner may clear the set-id bits, which the
    // mode then puts back. A process that may not give the owner away keeps
    // its own, and still the group where it belongs to it.
    if (fchown(fd, static_cast<uid_t>(facts.owner), static_cast<gid_t>(facts.group)) != 0) {
        if (fchown(fd, static_cast<uid_t>(-1), static_cast<gid_t>(facts.group)) != 0) {
            // the new file keeps the process's group
        }
    }
    fchmod(fd, static_cast<mode_t>(facts.mode));
}

int syncStream(std::FILE* stream) {
    if (ioFails(KVO_IO_SYNC)) {
        return errno;
    }
    return fsync(fileno(stream)) == 0 ? 0 : errno;
}

int renameOver(const char* from, const char* to, bool noReplace) {
    if (ioFails(KVO_IO_RENAME)) {
        return errno;
    }
    if (!noReplace) {
        return rename(from, to) == 0 ? 0 : errno;
    }
    // A hard link is made only where no file of that name exists; the
    // temporary's own name then goes.
    if (link(from, to) != 0) {
        return errno;
    }
    unlink(from);
    return 0;
}

void syncDirOf(const char* file) {
    char* dir = dirOf(file);
    int fd = dir != nullptr ? open(dir, O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
    kvoFree(dir);
}

void removeFile(const char* path) {
    unlink(path);
}

int openLockFile(const char* path, long long* handleOut, unsigned long long* deviceOut,
                 unsigned long long* indexOut) {
    if (ioFails(KVO_IO_OPEN)) {
        return errno;
    }
    // Read access is all a lock needs, so a lock file made by another user
    // of a shared directory serves everyone. O_NONBLOCK so that a FIFO
    // planted at the name cannot hang the open; anything but a regular file
    // is refused.
    int fd = open(path, O_RDONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0666);
    if (fd < 0) {
        return errno;
    }
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return EINVAL;
    }
    *deviceOut = static_cast<unsigned long long>(st.st_dev);
    *indexOut = static_cast<unsigned long long>(st.st_ino);
    *handleOut = fd;
    return 0;
}

int lockHandle(long long handle) {
    while (flock(static_cast<int>(handle), LOCK_EX) != 0) {
        if (errno != EINTR) {
            return errno;
        }
    }
    return 0;
}

void closeLockFile(long long handle) {
    close(static_cast<int>(handle));
}

#endif

bool writtenInPlace(const char* given, const char* final) {
    int kind = pathKind(final);
    return isSystemPath(given) || isSystemPath(final) || (kind != 0 && kind != KVO_KIND_REGULAR);
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

void uniqueTag(char tag[9]) {
    static std::mt19937_64 random{std::random_device{}()};
    static const char digits[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::uint64_t bits = random();
    for (int i = 0; i < 8; ++i) {
        tag[i] = digits[bits % 36];
        bits /= 36;
    }
    tag[8] = '\0';
}

} // namespace platform

extern "C" {

int kvoIsRegularFile(const char* path) {
    return platform::pathKind(path) == KVO_KIND_REGULAR ? 1 : 0;
}

int kvoIsDirectory(const char* path) {
    return platform::pathKind(path) == KVO_KIND_DIRECTORY ? 1 : 0;
}

int kvoStreamKind(FILE* stream) {
    if (stream == nullptr) {
        return 0;
    }
#if defined(_WIN32)
    struct _stat st;
    if (_fstat(_fileno(stream), &st) != 0) {
        return 0;
    }
    if ((st.st_mode & _S_IFDIR) != 0) {
        return KVO_KIND_DIRECTORY;
    }
    return (st.st_mode & _S_IFREG) != 0 ? KVO_KIND_REGULAR : KVO_KIND_OTHER;
#else
    struct stat st;
    if (fstat(fileno(stream), &st) != 0) {
        return 0;
    }
    if (S_ISDIR(st.st_mode)) {
        return KVO_KIND_DIRECTORY;
    }
    return S_ISREG(st.st_mode) ? KVO_KIND_REGULAR : KVO_KIND_OTHER;
#endif
}

int kvoStreamIdentity(FILE* stream, unsigned long long* device, unsigned long long* index) {
    if (stream == nullptr || device == nullptr || index == nullptr) {
        return 0;
    }
#if defined(_WIN32)
    // _stat reports no inode on Windows; the volume serial number and the
    // file index of the open handle identify the file instead.
    HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    BY_HANDLE_FILE_INFORMATION fi;
    if (h == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(h, &fi)) {
        return 0;
    }
    *device = fi.dwVolumeSerialNumber;
    *index = (static_cast<unsigned long long>(fi.nFileIndexHigh) << 32) | fi.nFileIndexLow;
#else
    struct stat st;
    if (fstat(fileno(stream), &st) != 0) {
        return 0;
    }
    *device = static_cast<unsigned long long>(st.st_dev);
    *index = static_cast<unsigned long long>(st.st_ino);
#endif
    return 1;
}

int kvoPathIndex(const char* path, unsigned long long* index) {
    if (path == nullptr || index == nullptr) {
        return 0;
    }
#if defined(_WIN32)
    struct _stat st;
    if (_stat(path, &st) != 0) {
        return 0;
    }
#else
    struct stat st;
    if (stat(path, &st) != 0) {
        return 0;
    }
#endif
    *index = static_cast<unsigned long long>(st.st_ino);
    return 1;
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
