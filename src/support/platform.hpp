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
// msvcrt (the runtime linked) has neither an unlocked fread nor fwrite;
// reads are whole blocks and runs are long, so the lock costs little there.
inline std::size_t freadUnlocked(void* p, std::size_t n, std::FILE* stream) {
    return std::fread(p, 1, n, stream);
}
inline std::size_t fwriteUnlocked(const void* p, std::size_t n, std::FILE* stream) {
    return std::fwrite(p, 1, n, stream);
}
// The directory separator written, the separator of path lists, and the
// characters taken as directory separators ('\\' and '/' on Windows).
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

// True when text begins with prefix.
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

// Facts about the existing final file that a replacement carries over,
// taken from one open descriptor of it.
struct FileFacts {
    bool exists = false;
    unsigned mode = 0; // permission bits
    long long owner = -1;
    long long group = -1;
    unsigned long long device = 0; // identity: device (volume) and inode (file index)
    unsigned long long index = 0;
};

// The existing final file, opened once for an edit's content and for the
// facts carried over. The stream is null when no file exists (or, outside
// an edit, when it cannot be read: the facts then come from its name).
struct Source {
    std::FILE* stream = nullptr;
    FileFacts facts;
};

// Opens the final file at path for reading without following a link (one
// that appeared since the links were resolved gives KVO_ECHANGED) and
// without waiting on a special file. For an edit (edit true) anything but a
// regular file gives KVO_ENOTREGULAR. Returns 0 or a failure code.
int openSource(const char* path, bool edit, Source* out);

// Whether an edit's source may stay open until its file is replaced. While
// it is open, its inode cannot be freed and given to a file put in its
// place, which would then pass for it. Windows refuses to replace a file
// that is open, and does not reuse file indexes soon.
#if defined(_WIN32)
inline constexpr bool sourceOpenThroughRename = false;
#else
inline constexpr bool sourceOpenThroughRename = true;
#endif

// Whether path refers now to the file that facts describe (or, for facts
// of no file, to no file): 0, KVO_ECHANGED, or an error number.
int checkSameFile(const char* path, const FileFacts& facts);

// Creates path exclusively (never through a link), for writing, with mode
// 0600, removable while open, and holds a system lock on it for as long as
// it is open, so that removeStaleTemporaries passes it over. A stream, or
// null with errno set (EEXIST: try another name). A binary stream writes
// bytes as they are; a text one writes line ends as the system has them.
std::FILE* createExclusive(const char* path, bool binary);

// A second descriptor of the stream's file, kept open while the stream is
// closed so that its lock (and on Windows its open state) stays until
// releaseHold; -1 when none could be made.
int holdFile(std::FILE* stream);
void releaseHold(int hold);

// Removes the files of the directory of file whose names begin with prefix
// and that no process holds open for writing (temporaries of killed
// writers). Best effort: 0, or ENOMEM without memory.
int removeStaleTemporaries(const char* file, const char* prefix);

// Opens an existing special file for writing in place (a named descriptor
// is duplicated, keeping its offset; a regular file among the system's is
// truncated), never creating one and never following a link that appeared
// since the links were resolved (errno KVO_ECHANGED); null with errno set.
std::FILE* openInPlace(const char* path);

// Gives an open new file the mode, owner, group and extended attributes
// (security descriptor on Windows) of the file it replaces where the
// process may, or 0666 & ~umask for a new file. source may be null.
// 0, or ENOMEM when there was no memory to copy the attributes.
int carryOver(std::FILE* stream, const FileFacts& facts, std::FILE* source);

// Gives the written new file the set-id bits of facts that it may keep: a
// write by a process other than root clears them, so they are set when the
// content is complete.
void keepSetIdBits(std::FILE* stream, const FileFacts& facts);

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

// True when two paths name the same file by their spelling (case ignored
// on Windows).
bool samePath(const char* a, const char* b);

// A lock file held: a file descriptor or a Windows HANDLE, and the file's
// identity.
struct LockFile {
    long long handle = -1;
    unsigned long long device = 0;
    unsigned long long index = 0;
};
// What tryLockFile answers beside 0 and failure codes.
inline constexpr int lockBusy = -1;  // another holder has it: wait and try again
inline constexpr int lockMoved = -2; // the name changed under the lock: try again now

// One attempt at taking the lock file at path (made if missing, readable by
// every user, never through a link, never a special file): 0 with lock set,
// lockBusy (device and index set where the system tells them), lockMoved,
// or a failure code.
int tryLockFile(const char* path, LockFile* lock);
// Removes the lock file (remove true) and releases the lock; a child of
// fork() that inherited it only closes its copy (remove false).
void releaseLockFile(const char* path, const LockFile& lock, bool remove);

// A clock for timeouts, in seconds, and a pause.
double monotonicSeconds();
void sleepMillis(int ms);

// The failure hook: true when the armed failure of this kind fires now (its
// error number is then in errno).
bool ioFails(int call);

} // namespace platform
