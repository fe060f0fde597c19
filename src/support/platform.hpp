// The one platform module: every difference between POSIX and Windows lives
// here and in platform.cpp, so that no other file needs to know which system
// it runs on. The stdio calls of the hot paths are inline; the rest are
// calls into kvo (platform.cpp), which the exported file services and the
// safe replacement of files are built on.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

namespace platform {

// Handles are used from one thread at a time, so the stream's lock is not
// taken for every character.
#if defined(_WIN32)
inline int getcUnlocked(std::FILE* stream) {
    return _getc_nolock(stream);
}
inline int putcUnlocked(int c, std::FILE* stream) {
    return _putc_nolock(c, stream);
}
// msvcrt has no unlocked fwrite; runs are long, so the lock costs little there.
inline std::size_t fwriteUnlocked(const void* p, std::size_t n, std::FILE* stream) {
    return std::fwrite(p, 1, n, stream);
}
inline constexpr char dirSep = '\\';
inline constexpr char listSep = ';';
inline bool isDirSep(char c) {
    return c == '\\' || c == '/';
}
// Where a file name within a path may begin after: a separator or a drive.
inline bool endsDirPart(char c) {
    return c == '/' || c == '\\' || c == ':';
}
#else
inline int getcUnlocked(std::FILE* stream) {
    return getc_unlocked(stream);
}
inline int putcUnlocked(int c, std::FILE* stream) {
    return putc_unlocked(c, stream);
}
inline std::size_t fwriteUnlocked(const void* p, std::size_t n, std::FILE* stream) {
    return fwrite_unlocked(p, 1, n, stream);
}
inline constexpr char dirSep = '/';
inline constexpr char listSep = ':';
inline bool isDirSep(char c) {
    return c == '/';
}
inline bool endsDirPart(char c) {
    return c == '/';
}
#endif

// ---- Below: kvo's own calls (platform.cpp), for the support layer only.

// A rooted path: '/' on POSIX; a drive with separator, a separator or UNC.
bool isRooted(const char* path);

// Kind of a path (links followed): 0 missing, else a KVO_KIND_* value.
int pathKind(const char* path);

// Creates one directory; 0 or the system's error number.
int makeDir(const char* path);

// The working directory, or an empty string with errno set.
std::string currentDir();

// The final file behind path after every symbolic link ("" with errno set
// on a loop or an unreadable link); a dangling link gives the path it names.
std::string resolveLinks(const char* path);

// True for a target that is written in place, never replaced: an existing
// file that is not a regular one (device, FIFO, socket), or a path among
// the system's special files (/dev, /proc), given or reached through links.
bool writtenInPlace(const char* given, const std::string& final);

// The directory part of path ("." when it has none).
std::string dirOf(const std::string& path);

// The path of a file called name in the directory of file.
std::string beside(const std::string& file, const std::string& name);

// Facts about an existing file that a replacement must carry over.
struct FileFacts {
    bool exists = false;
    bool regular = false;
    unsigned mode = 0; // permission bits
    long long owner = -1;
    long long group = -1;
    int error = 0; // why the file could not be looked at, other than its absence
};
FileFacts fileFacts(const std::string& path);

// Creates path exclusively (never through a link), for writing, with mode
// 0600. A stream, or null with errno set.
std::FILE* createExclusive(const std::string& path);

// Opens an existing special file for writing in place; null with errno set.
std::FILE* openInPlace(const std::string& path);

// Gives an open new file the mode (and owner and group where allowed) of
// the file it replaces, or 0666 & ~umask for a new file.
void carryOver(std::FILE* stream, const FileFacts& facts);

// Flushes the stream to the device; 0 or the system's error number.
int syncStream(std::FILE* stream);

// Renames from over to (noReplace: fail with EEXIST if to exists); 0 or
// the system's error number.
int renameOver(const std::string& from, const std::string& to, bool noReplace);

// Syncs a directory's entries, best effort.
void syncDir(const std::string& dir);

// Removes a file; async-signal-safe.
void removeFile(const char* path);

// A fresh short random name part, letters and digits.
std::string uniqueTag();

// Opens the lock file at path (made if missing, never through a link, never
// a special file) and tells its identity; the handle is a file descriptor or
// a Windows HANDLE. Returns 0 or an error number.
int openLockFile(const std::string& path, long long* handleOut, unsigned long long* deviceOut,
                 unsigned long long* indexOut);
// Takes the exclusive lock of an open lock file, waiting for its holder.
int lockHandle(long long handle);
// Closes a lock file, which releases its lock.
void closeLockFile(long long handle);

// The failure hook: true when the armed failure of this kind fires now (its
// error number is then in errno).
bool ioFails(int call);

} // namespace platform
