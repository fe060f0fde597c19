// The one platform module: every difference between POSIX and Windows lives
// here and in platform.cpp, so that no other file needs to know which system
// it runs on. The stdio calls of the hot paths are inline; the rest are
// calls into kvo (platform.cpp), which the exported file services and the
// safe replacement of files are built on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace platform {

// Handles are used from one thread at a time, so the stream's lock is not
// taken for every character. tell and seek (from the start) work in 64-bit
// offsets on every system.
#if defined(_WIN32)
inline int getcUnlocked(std::FILE* stream) {
    return _getc_nolock(stream);
}
inline int putcUnlocked(int c, std::FILE* stream) {
    return _putc_nolock(c, stream);
}
inline std::size_t freadUnlocked(void* p, std::size_t n, std::FILE* stream) {
    return _fread_nolock(p, 1, n, stream);
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
// long is 32 bits on Windows: offsets go through the 64-bit calls, so that a
// file over 2 GiB keeps its place.
inline std::int64_t tell(std::FILE* stream) {
    return _ftelli64(stream);
}
inline int seek(std::FILE* stream, std::int64_t offset) {
    return _fseeki64(stream, offset, SEEK_SET);
}
#else
inline int getcUnlocked(std::FILE* stream) {
    return getc_unlocked(stream);
}
inline int putcUnlocked(int c, std::FILE* stream) {
    return putc_unlocked(c, stream);
}
inline std::size_t freadUnlocked(void* p, std::size_t n, std::FILE* stream) {
    return fread_unlocked(p, 1, n, stream);
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
inline std::int64_t tell(std::FILE* stream) {
    return ftello(stream);
}
inline int seek(std::FILE* stream, std::int64_t offset) {
    return fseeko(stream, static_cast<off_t>(offset), SEEK_SET);
}
#endif

// ---- Below: kvo's own calls, for the support layer only: platform.cpp
// holds what reads the same everywhere, platform_posix.cpp and
// platform_win32.cpp the system calls.
// Strings they hand out are kvoMalloc copies that the caller frees; a null
// result has the reason in errno (ENOMEM without memory). No call throws.

// A kvoMalloc copy of the n bytes at text, terminated.
char* copyOf(const char* text, std::size_t n);

bool startsWith(const char* text, const char* prefix);

// This process's id.
int processId();

// A rooted path: '/' on POSIX; a drive with separator, a separator or UNC.
bool isRooted(const char* path);

// Kind of a path (links followed): 0 missing, else a KVO_KIND_* value.
int pathKind(const char* path);

// Creates one directory; 0 or the system's error number.
int makeDir(const char* path);

// The working directory.
char* currentDir();

// The final file behind path after every symbolic link (a loop gives
// ELOOP); a dangling link gives the path it names. A link in a sticky,
// world-writable directory that belongs neither to this user nor to the
// directory's owner is not followed (EACCES), as the kernel refuses it.
char* resolveLinks(const char* path);

// True for a target that is written in place, never replaced: an existing
// file that is not a regular one (device, FIFO, socket), a descriptor named
// as a file (/dev/stdout, /dev/fd/N), or a path among the system's special
// files (/dev, /proc), given, reached through links or by "..". Links in
// /dev and /proc are left to the kernel.
// Returns 1 or 0, or -1 with errno set.
int writtenInPlace(const char* given, const char* final);

// The directory part of path ("." when it has none).
char* dirOf(const char* path);

// The path of a file called name in the directory of file.
char* beside(const char* file, const char* name);

// Facts about an existing file that a replacement must carry over, looked
// at without following a link (a link there now gives EAGAIN).
struct FileFacts {
    bool exists = false;
    bool regular = false;
    unsigned mode = 0; // permission bits
    long long owner = -1;
    long long group = -1;
    int error = 0; // why the file could not be looked at, other than its absence
};
FileFacts fileFacts(const char* path);

// Creates path exclusively (never through a link), for writing, with mode
// 0600, removable while open. A stream, or null with errno set.
std::FILE* createExclusive(const char* path);

// Opens an existing special file for writing in place (a named descriptor
// is duplicated, keeping its offset; a regular file is truncated), never
// creating one; null with errno set.
std::FILE* openInPlace(const char* path);

// Gives an open new file the mode (and owner and group where allowed) of
// the file it replaces, or 0666 & ~umask for a new file.
void carryOver(std::FILE* stream, const FileFacts& facts);

// Flushes the stream to the device; 0 or the system's error number.
int syncStream(std::FILE* stream);

// Renames from over to (noReplace: fail with EEXIST if to exists); 0 or
// the system's error number.
int renameOver(const char* from, const char* to, bool noReplace);

// Syncs the entries of the directory that holds file, best effort.
void syncDirOf(const char* file);

// Removes a file; async-signal-safe.
void removeFile(const char* path);

// Fills tag with 8 random letters and digits and a terminator.
void uniqueTag(char tag[9]);

// Opens the lock file at path (made if missing, never through a link, never
// a special file) and tells its identity; the handle is a file descriptor or
// a Windows HANDLE. Returns 0 or an error number.
int openLockFile(const char* path, long long* handleOut, unsigned long long* deviceOut,
                 unsigned long long* indexOut);
// Takes the exclusive lock of an open lock file, waiting for its holder,
// and gives it back (for every process that shares the open file).
int lockHandle(long long handle);
void unlockHandle(long long handle);
// Closes a lock file, which releases its lock.
void closeLockFile(long long handle);

// The failure hook: true when the armed failure of this kind fires now (its
// error number is then in errno).
bool ioFails(int call);

} // namespace platform
