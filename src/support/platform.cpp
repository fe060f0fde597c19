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

std::string currentDir() {
    char* cwd = _getcwd(nullptr, 0);
    std::string result = cwd != nullptr ? cwd : "";
    std::free(cwd);
    return result;
}

std::string resolveLinks(const char* path) {
    return path;
}

namespace {
// Device names, device paths, and the host's special files as Wine shows
// them.
bool isSystemPath(const std::string& path) {
    return _stricmp(path.c_str(), "CON") == 0 || _stricmp(path.c_str(), "NUL") == 0 ||
           path.rfind("\\\\.\\", 0) == 0 || path.rfind("/dev/", 0) == 0 ||
           path.rfind("/proc/", 0) == 0;
}
} // namespace

FileFacts fileFacts(const std::string& path) {
    FileFacts facts;
    int kind = pathKind(path.c_str());
    facts.exists = kind != 0;
    facts.regular = kind == KVO_KIND_REGULAR;
    // The runtime's calls take paths shorter than MAX_PATH only; a longer
    // one is refused before a temporary is made for it.
    if (!facts.exists && path.size() >= MAX_PATH) {
        facts.error = ENAMETOOLONG;
    }
    return facts;
}

std::FILE* createExclusive(const std::string& path) {
    if (ioFails(KVO_IO_OPEN)) {
        return nullptr;
    }
    int fd = _open(path.c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_TEXT, _S_IREAD | _S_IWRITE);
    if (fd < 0) {
        return nullptr;
    }
    std::FILE* stream = _fdopen(fd, "w");
    if (stream == nullptr) {
        _close(fd);
    }
    return stream;
}

std::FILE* openInPlace(const std::string& path) {
    return std::fopen(path.c_str(), "w");
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

int renameOver(const std::string& from, const std::string& to, bool noReplace) {
    if (ioFails(KVO_IO_RENAME)) {
        return errno;
    }
    DWORD flags = MOVEFILE_WRITE_THROUGH | (noReplace ? 0 : MOVEFILE_REPLACE_EXISTING);
    return MoveFileExA(from.c_str(), to.c_str(), flags) ? 0 : errnoOf(GetLastError());
}

void syncDir(const std::string&) {
    // MOVEFILE_WRITE_THROUGH has already put the rename on the disk.
}

void removeFile(const char* path) {
    DeleteFileA(path);
}

int openLockFile(const std::string& path, long long* handleOut, unsigned long long* deviceOut,
                 unsigned long long* indexOut) {
    if (ioFails(KVO_IO_OPEN)) {
        return errno;
    }
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
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

std::string currentDir() {
    char* cwd = getcwd(nullptr, 0);
    std::string result = cwd != nullptr ? cwd : "";
    std::free(cwd);
    return result;
}

std::string resolveLinks(const char* path) {
    std::string current = path;
    for (int hop = 0; hop < 40; ++hop) {
        struct stat st;
        if (lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            return current; // a missing name is where a dangling link points
        }
        std::string link(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 255) + 1, '\0');
        ssize_t n = readlink(current.c_str(), link.data(), link.size());
        if (n < 0) {
            return std::string();
        }
        if (static_cast<std::size_t>(n) >= link.size()) {
            errno = ENAMETOOLONG; // the link changed under us
            return std::string();
        }
        link.resize(static_cast<std::size_t>(n));
        if (link.empty() || link[0] == '/') {
            current = link;
        } else {
            current = beside(current, link);
        }
    }
    errno = ELOOP;
    return std::string();
}

namespace {
bool isSystemPath(const std::string& path) {
    return path.rfind("/dev/", 0) == 0 || path.rfind("/proc/", 0) == 0;
}
} // namespace

FileFacts fileFacts(const std::string& path) {
    FileFacts facts;
    struct stat st;
    if (stat(path.c_str(), &st) == 0) {
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

std::FILE* createExclusive(const std::string& path) {
    if (ioFails(KVO_IO_OPEN)) {
        return nullptr;
    }
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
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

std::FILE* openInPlace(const std::string& path) {
    // No O_CREAT: a special file that vanished meanwhile is not made as a
    // regular one here.
    int fd = open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
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

int renameOver(const std::string& from, const std::string& to, bool noReplace) {
    if (ioFails(KVO_IO_RENAME)) {
        return errno;
    }
    if (!noReplace) {
        return rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
    }
    // A hard link is made only where no file of that name exists; the
    // temporary's own name then goes.
    if (link(from.c_str(), to.c_str()) != 0) {
        return errno;
    }
    unlink(from.c_str());
    return 0;
}

void syncDir(const std::string& dir) {
    int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
}

void removeFile(const char* path) {
    unlink(path);
}

int openLockFile(const std::string& path, long long* handleOut, unsigned long long* deviceOut,
                 unsigned long long* indexOut) {
    if (ioFails(KVO_IO_OPEN)) {
        return errno;
    }
    // Read access is all a lock needs, so a lock file made by another user
    // of a shared directory serves everyone. O_NONBLOCK so that a FIFO
    // planted at the name cannot hang the open; anything but a regular file
    // is refused.
    int fd = open(path.c_str(), O_RDONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0666);
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

std::string dirOf(const std::string& path) {
    std::size_t cut = std::string::npos;
    for (std::size_t i = 0; i < path.size(); ++i) {
        if (endsDirPart(path[i])) {
            cut = i;
        }
    }
    if (cut == std::string::npos) {
        return ".";
    }
    if (cut == 0) {
        return path.substr(0, 1); // the root itself
    }
    return path.substr(0, path[cut] == ':' ? cut + 1 : cut);
}

bool writtenInPlace(const char* given, const std::string& final) {
    int kind = pathKind(final.c_str());
    return isSystemPath(given) || isSystemPath(final) || (kind != 0 && kind != KVO_KIND_REGULAR);
}

std::string beside(const std::string& file, const std::string& name) {
    std::size_t cut = std::string::npos;
    for (std::size_t i = 0; i < file.size(); ++i) {
        if (endsDirPart(file[i])) {
            cut = i;
        }
    }
    return cut == std::string::npos ? name : file.substr(0, cut + 1) + name;
}

std::string uniqueTag() {
    static std::mt19937_64 random{std::random_device{}()};
    static const char digits[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::string tag;
    std::uint64_t bits = random();
    for (int i = 0; i < 8; ++i) {
        tag += digits[bits % 36];
        bits /= 36;
    }
    return tag;
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
