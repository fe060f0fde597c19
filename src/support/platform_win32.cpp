// The platform module on Windows.
#if defined(_WIN32)
#define _CRT_RAND_S // rand_s, the runtime's random numbers from the system
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <direct.h>
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <windows.h>

#include <aclapi.h>

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

namespace {
bool identityOf(HANDLE h, FileFacts* facts) {
    BY_HANDLE_FILE_INFORMATION fi;
    if (!GetFileInformationByHandle(h, &fi)) {
        return false;
    }
    facts->device = fi.dwVolumeSerialNumber;
    facts->index = (static_cast<unsigned long long>(fi.nFileIndexHigh) << 32) | fi.nFileIndexLow;
    return true;
}

// A runtime stream on a Windows handle, which it then owns; null (the
// handle closed) on failure.
std::FILE* streamOnHandle(HANDLE h, int flags, const char* mode) {
    int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), flags);
    if (fd < 0) {
        CloseHandle(h);
        errno = EMFILE;
        return nullptr;
    }
    std::FILE* stream = _fdopen(fd, mode);
    if (stream == nullptr) {
        _close(fd);
    }
    return stream;
}
} // namespace

int openSource(const char* path, bool edit, Source* out) {
    int kind = pathKind(path);
    if (kind == 0) {
        // The runtime's calls take paths shorter than MAX_PATH only; a longer
        // one is refused before a temporary is made for it.
        return std::strlen(path) >= MAX_PATH ? ENAMETOOLONG : 0;
    }
    if (kind != KVO_KIND_REGULAR) {
        return edit ? KVO_ENOTREGULAR : KVO_ECHANGED;
    }
    HANDLE h = CreateFileA(path, GENERIC_READ | READ_CONTROL,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        // A file this process may write but not read is replaced all the
        // same; an edit needs its content.
        int e = errnoOf(GetLastError());
        out->facts.exists = e != ENOENT;
        return e == ENOENT || !edit ? 0 : e;
    }
    if (GetFileType(h) != FILE_TYPE_DISK) {
        CloseHandle(h);
        return edit ? KVO_ENOTREGULAR : KVO_ECHANGED;
    }
    out->facts.exists = true;
    identityOf(h, &out->facts);
    out->stream = streamOnHandle(h, _O_RDONLY | _O_BINARY, "rb");
    return out->stream != nullptr ? 0 : errno;
}

int checkSameFile(const char* path, const FileFacts& facts) {
    HANDLE h = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        int e = errnoOf(GetLastError());
        if (e != ENOENT) {
            return e;
        }
        return facts.exists ? KVO_ECHANGED : 0;
    }
    FileFacts now;
    bool known = identityOf(h, &now);
    CloseHandle(h);
    bool same = facts.exists && known && now.device == facts.device && now.index == facts.index;
    return same ? 0 : KVO_ECHANGED;
}

std::FILE* createExclusive(const char* path, bool binary) {
    if (ioFails(KVO_IO_OPEN)) {
        return nullptr;
    }
    // Shared for deletion, so that the signal path can remove the temporary
    // while it is open; while it is open, a later writer's removal of stale
    // temporaries, which opens them unshared, passes it over.
    HANDLE h = CreateFileA(path, GENERIC_WRITE | WRITE_DAC,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        errno = errnoOf(GetLastError());
        return nullptr;
    }
    return binary ? streamOnHandle(h, _O_WRONLY | _O_BINARY, "wb")
                  : streamOnHandle(h, _O_WRONLY | _O_TEXT, "w");
}

int holdFile(std::FILE* stream) {
    return _dup(_fileno(stream));
}

void releaseHold(int hold) {
    if (hold >= 0) {
        _close(hold);
    }
}

int removeStaleTemporaries(const char* file, const char* prefix) {
    char pattern[16];
    std::snprintf(pattern, sizeof pattern, "%s*", prefix);
    char* glob = beside(file, pattern);
    if (glob == nullptr) {
        return ENOMEM;
    }
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(glob, &found);
    while (search != INVALID_HANDLE_VALUE) {
        char* path = beside(file, found.cFileName);
        // Opened unshared, which fails while its writer has it open, and
        // deleted when closed.
        HANDLE h = path != nullptr ? CreateFileA(path, DELETE, 0, nullptr, OPEN_EXISTING,
                                                 FILE_FLAG_DELETE_ON_CLOSE, nullptr)
                                   : INVALID_HANDLE_VALUE;
        if (h != INVALID_HANDLE_VALUE) {
            CloseHandle(h);
        }
        kvoFree(path);
        if (!FindNextFileA(search, &found)) {
            FindClose(search);
            search = INVALID_HANDLE_VALUE;
        }
    }
    kvoFree(glob);
    return 0;
}

std::FILE* openInPlace(const char* path) {
    return std::fopen(path, "w");
}

int carryOver(std::FILE* stream, const FileFacts& facts, std::FILE* source) {
    // A new file takes the directory's inherited permissions. A replaced
    // one gets the old file's access list, where the process may set it.
    if (!facts.exists || source == nullptr) {
        return 0;
    }
    HANDLE from = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(source)));
    HANDLE to = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetSecurityInfo(from, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                        nullptr, &descriptor) != ERROR_SUCCESS) {
        return 0;
    }
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    GetSecurityDescriptorControl(descriptor, &control, &revision);
    SECURITY_INFORMATION what = DACL_SECURITY_INFORMATION;
    what |= (control & SE_DACL_PROTECTED) != 0 ? PROTECTED_DACL_SECURITY_INFORMATION
                                               : UNPROTECTED_DACL_SECURITY_INFORMATION;
    SetSecurityInfo(to, SE_FILE_OBJECT, what, nullptr, nullptr, dacl, nullptr);
    LocalFree(descriptor);
    return 0;
}

void keepSetIdBits(std::FILE*, const FileFacts&) {
    // Windows has no set-id bits.
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

bool samePath(const char* a, const char* b) {
    return _stricmp(a, b) == 0;
}

// The lock file is opened with no sharing, which is the lock, and deleted
// when its last handle closes, also when its process dies.
int tryLockFile(const char* path, LockFile* lock) {
    if (ioFails(KVO_IO_OPEN)) {
        return errno;
    }
    // A file whose removal is pending refuses access for a moment.
    for (int attempt = 0;; ++attempt) {
        HANDLE h = CreateFileA(path, GENERIC_READ | DELETE, 0, nullptr, OPEN_ALWAYS,
                               FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            FileFacts facts;
            identityOf(h, &facts);
            lock->handle = reinterpret_cast<long long>(h);
            lock->device = facts.device;
            lock->index = facts.index;
            return 0;
        }
        DWORD code = GetLastError();
        if (code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION) {
            return lockBusy;
        }
        if (code != ERROR_ACCESS_DENIED || attempt == 20 || pathKind(path) == KVO_KIND_DIRECTORY) {
            return code == ERROR_ACCESS_DENIED && pathKind(path) == KVO_KIND_DIRECTORY
                       ? KVO_EBADLOCK
                       : errnoOf(code);
        }
        Sleep(10);
    }
}

void releaseLockFile(const char*, const LockFile& lock, bool) {
    CloseHandle(reinterpret_cast<HANDLE>(lock.handle));
}

double monotonicSeconds() {
    return static_cast<double>(GetTickCount64()) / 1000.0;
}

void sleepMillis(int ms) {
    Sleep(static_cast<DWORD>(ms));
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

// The runtime has no stream that grows in memory either: a temporary file
// takes the bytes, read back when the output is closed.
struct kvoMemoryOutput {
    FILE* stream;
};

kvoMemoryOutput* kvoOpenMemoryOutput(int* errnumOut) {
    auto* output = static_cast<kvoMemoryOutput*>(kvoMalloc(sizeof(kvoMemoryOutput)));
    int errnum = ENOMEM;
    if (output != nullptr && (output->stream = tmpfile()) == nullptr) {
        errnum = errno != 0 ? errno : EIO;
        output = static_cast<kvoMemoryOutput*>(kvoFree(output));
    }
    if (output == nullptr && errnumOut != nullptr) {
        *errnumOut = errnum;
    }
    return output;
}

// The whole content of a scratch stream in a new block, NUL after it; 0 or
// the reason it could not be read.
static int readBack(FILE* stream, char** bytesOut, size_t* sizeOut) {
    if (fflush(stream) != 0 || ferror(stream) != 0 || fseek(stream, 0, SEEK_END) != 0) {
        return errno != 0 ? errno : EIO;
    }
    long end = ftell(stream);
    if (end < 0) {
        return errno != 0 ? errno : EIO;
    }
    auto size = static_cast<size_t>(end);
    auto* bytes = static_cast<char*>(kvoMalloc(size + 1));
    if (bytes == nullptr) {
        return ENOMEM;
    }
    rewind(stream);
    if (fread(bytes, 1, size, stream) != size) {
        kvoFree(bytes);
        return errno != 0 ? errno : EIO;
    }
    bytes[size] = '\0';
    *bytesOut = bytes;
    *sizeOut = size;
    return 0;
}

FILE* kvoMemoryOutputStream(const kvoMemoryOutput* output) {
    return output != nullptr ? output->stream : nullptr;
}

int kvoCloseMemoryOutput(kvoMemoryOutput* output, char** bytesOut, size_t* sizeOut) {
    if (output == nullptr) {
        return EINVAL;
    }
    errno = 0;
    char* bytes = nullptr;
    size_t size = 0;
    int errnum = readBack(output->stream, &bytes, &size);
    fclose(output->stream);
    kvoFree(output);
    if (errnum == 0 && bytesOut != nullptr) {
        *bytesOut = bytes;
        if (sizeOut != nullptr) {
            *sizeOut = size;
        }
    } else {
        kvoFree(bytes);
    }
    return errnum;
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
