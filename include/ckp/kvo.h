/*
 * kvo.h - the support layer under ckp: sorted tables, string copies and
 * lists, message reporting, file and path services, and the one allocation
 * wrapper pair that both libraries use.
 *
 * Valid C99 and C++. Every function returns its documented value and never
 * throws. kvo keeps no error state of its own: a failure is told by the
 * result (and, for the file services that say so, a system error number).
 */
#ifndef CKP_KVO_H
#define CKP_KVO_H

#include <stddef.h>
#include <stdio.h>

#if defined(_WIN32) || defined(__CYGWIN__)
#if defined(KVO_BUILDING)
#define KVO_API __declspec(dllexport)
#elif defined(KVO_STATIC)
#define KVO_API
#else
#define KVO_API __declspec(dllimport)
#endif
#else
#define KVO_API __attribute__((visibility("default")))
#endif

/* The test hooks are exported only by a library built for the tests
 * (CMake option CKP_TEST_HOOKS); a release library keeps them inside, and a
 * program linked to the static library reaches them in any build. */
#if defined(CKP_TEST_HOOKS)
#define KVO_TEST_API KVO_API
#else
#define KVO_TEST_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Memory --------------------------------------------------------- */

/* malloc, realloc and free as every allocation of ckp and kvo takes them.
 * kvoFree accepts NULL and always returns NULL, so that callers can write
 * `p = kvoFree(p);`. Blocks come from the C runtime's malloc: a caller may
 * release strings handed out by the libraries with plain free().
 * kvoMalloc and kvoRealloc return NULL when no memory is left (a failed
 * kvoRealloc leaves the old block as it was); a size of 0 still gets a
 * block. */
KVO_API void* kvoMalloc(size_t size);
KVO_API void* kvoRealloc(void* block, size_t size);
KVO_API void* kvoFree(void* block);

/* Test hook. With n > 0 the n-th allocation from now (kvoMalloc or
 * kvoRealloc) fails once, as if no memory were left; n <= 0 disarms.
 * kvoAllocFailureHit() tells whether the armed failure has happened since
 * the last kvoSetAllocFailure call; kvoAllocCount() counts every allocation
 * attempt since the process started. All three concern the allocations of
 * the calling thread. */
KVO_TEST_API void kvoSetAllocFailure(long n);
KVO_TEST_API int kvoAllocFailureHit(void);
KVO_TEST_API long kvoAllocCount(void);

/* ---- Messages ------------------------------------------------------- */

/* Hands one message (no line end; NULL: empty) to the user: by default it
 * is written to standard error followed by "\n" and flushed, and 1 is
 * returned. */
KVO_API int kvoReportError(const char* text);

/* Replaces the default reporter; a NULL handler restores it. The handler's
 * result becomes kvoReportError's result. */
typedef int (*kvoReportHandler)(const char* text, void* userdata);
KVO_API void kvoSetReportHandler(kvoReportHandler handler, void* userdata);

/* The handler in place (NULL: the default) and its userdata, so that a
 * caller can catch messages for a while and then put the old handler back.
 * Either pointer may be NULL. */
KVO_API void kvoGetReportHandler(kvoReportHandler* handler, void** userdata);

/* ---- Sorted tables -------------------------------------------------- */

/* A table of fixed-size elements held by value, one after the other.
 * Element i lies at (char*)first + i * elementSize. The first four fields
 * are public and read directly; `capacity` is the table's own. */
typedef struct kvoTable {
    void* first;     /* first element */
    void* end;       /* just past the last element */
    int elementSize; /* bytes per element */
    int count;       /* number of elements */
    int capacity;    /* elements that fit before the storage grows */
} kvoTable;

/* Compares two elements (insertion) or a key string with an element
 * (search, removal); negative, zero or positive. */
typedef int (*kvoElemCompare)(const void* a, const void* b);
typedef int (*kvoKeyCompare)(const char* key, const void* element);

/* A new empty table, the caller's until kvoFreeTable; sizeHint is the
 * initial capacity (both sizes at least 1). NULL without memory. */
KVO_API kvoTable* kvoNewTable(int elementSize, int sizeHint);

/* Copies the element's bytes in at its sorted place and returns 1. Returns 0,
 * leaving the table unchanged, when an equal element is already present, no
 * memory is left, or table, element or compare is NULL. */
KVO_API int kvoSortInsert(kvoTable* table, const void* element, kvoElemCompare compare);

/* The element matching key inside [first, first + count), or NULL (also
 * for a NULL key, first or compare). The element is the table's own and
 * stays where it is until the table changes. */
KVO_API void* kvoBsearch(const char* key, void* first, int count, int elementSize,
                         kvoKeyCompare compare);

/* Removes the element matching key (order kept) and stores a heap copy of
 * its bytes in *removed, which the caller releases with free(). With no
 * match, no memory for the copy, or a NULL table or removed, *removed is
 * left as it was and the table is unchanged. */
KVO_API void kvoTableRemoveEntry(kvoTable* table, kvoKeyCompare compare, const char* key,
                                 void** removed);

/* Gives back the storage beyond the elements held; the table stays usable
 * and grows again on the next insertion. Without memory, or for NULL, the
 * table stays as it is. */
KVO_API void kvoTrimTable(kvoTable* table);

/* Releases the table's storage and header and sets *table to NULL; what
 * the elements point to is the caller's to free first. NULL and a NULL
 * *table are accepted. */
KVO_API void kvoFreeTable(kvoTable** table);

/* ---- Strings -------------------------------------------------------- */

/* A heap copy of text (release with free), or NULL for NULL / no memory. */
KVO_API char* kvoCopyString(const char* text);

/* A string list is a NULL-terminated array of heap copies. */
typedef char* kvoStrlist;

/* Appends a copy of text to list (NULL starts a new list) and returns the
 * list, which may have moved; *counter grows by one when counter is given.
 * A NULL text adds an empty string. Without memory the old list is returned
 * unchanged (and *counter too). */
KVO_API kvoStrlist* kvoAddToStrlist(kvoStrlist* list, const char* text, int* counter);

/* Frees the list and every string in it; NULL is accepted. */
KVO_API void kvoFreeStrlist(kvoStrlist* list);

/* ---- Files and paths ------------------------------------------------ */

/* Non-zero when a file of that name exists. Only files count: a directory
 * is not a file, so that a directory named like a file never hides the file
 * elsewhere (a setup in a search directory, for one). Devices, FIFOs and
 * sockets are files. 0 for NULL. */
KVO_API int kvoFileExists(const char* path);

/* Creates the directory with every missing parent (mkdir -p). Non-zero when
 * the directory exists afterwards; 0 for NULL or an empty path. Parents
 * made before a failure stay. */
KVO_API int kvoBuildDirPath(const char* path);

/* Non-zero for a rooted path: a leading '/' on POSIX; a drive letter with a
 * separator, a leading separator or a UNC path on Windows. 0 for NULL or
 * an empty path. */
KVO_API int kvoIsRooted(const char* path);

/* Rewrites the directory separators of path in place into the canonical one
 * ('/' on POSIX, '\\' on Windows). NULL is accepted. */
KVO_API void kvoCanonicalizeDirSep(char* path);

/* The canonical directory separator of this platform. */
KVO_API char kvoDirSep(void);

/* Size of the result buffers of the two wyr* operations. */
#define KVO_PATH_BUFFER 260

/* Looks for a file named `name` in the directories of search group `group`:
 * the environment variable KVO_SEARCH_<GROUP in upper case> lists them,
 * separated by ':' (';' on Windows). Returns 0 and the path "dir/name" in
 * result (size bytes) for the first directory that holds such a file (a
 * directory of that name does not count); non-zero, with result emptied,
 * when none does, the variable is unset or empty, or the path does not
 * fit (or result is NULL). flags is not used. */
KVO_API int wyrSearchGroup(int flags, const char* name, const char* group, char* result, int size);

/* Makes path absolute against the working directory (the file need not
 * exist) into result, a KVO_PATH_BUFFER-byte buffer. Returns 0 on success,
 * non-zero, with result emptied, when the path is NULL or empty, the
 * working directory is unknown, or the result does not fit. */
KVO_API int wyrConvertPathNotThere(const char* path, char* result);

/* The two operations above without a limit on the path's length: the path
 * found, or path made absolute, as a heap string that the caller releases
 * with kvoFree (or free); NULL when nothing is found, the name or path is
 * NULL or empty, the group is NULL, or no memory is left. */
KVO_API char* kvoSearchGroupPath(const char* name, const char* group);
KVO_API char* kvoAbsolutePath(const char* path);

/* A stream that reads the size bytes at bytes (which must stay unchanged
 * until the stream is closed; NULL with size 0 reads nothing), in binary
 * mode and able to seek; the caller closes it with fclose. On Windows the
 * bytes are copied to a temporary file, removed when the stream is closed. NULL, with the system's
 * error number in *errnumOut when errnumOut is given (EINVAL for NULL bytes of a non-zero size). */
KVO_API FILE* kvoOpenMemory(const void* bytes, size_t size, int* errnumOut);

/* A stream that writes into memory, growing as it is written (binary, and
 * ftell counts the bytes written so far). On Windows the bytes go to a
 * temporary file first, removed when the output is closed, and are read
 * back at the end. NULL, with the system's error number in *errnumOut when
 * errnumOut is given (ENOMEM without memory). */
typedef struct kvoMemoryOutput kvoMemoryOutput;
KVO_API kvoMemoryOutput* kvoOpenMemoryOutput(int* errnumOut);

/* The stream to write to; it belongs to the output (never fclose it). NULL
 * for NULL. */
KVO_API FILE* kvoMemoryOutputStream(const kvoMemoryOutput* output);

/* Closes the stream and frees the output, whatever the outcome. Returns 0
 * and, when bytesOut is given, the bytes written in *bytesOut (followed by
 * a NUL that *sizeOut does not count; the caller frees them with kvoFree)
 * and their number in *sizeOut; without bytesOut they are discarded.
 * Returns a system error number, storing nothing, when a write failed
 * (ENOMEM when no memory was left for the bytes) or reading them back
 * failed; EINVAL for NULL. */
KVO_API int kvoCloseMemoryOutput(kvoMemoryOutput* output, char** bytesOut, size_t* sizeOut);

/* ---- File kinds ----------------------------------------------------- */

/* Non-zero when path names an existing regular file (links followed); 0
 * for NULL. */
KVO_API int kvoIsRegularFile(const char* path);

/* Non-zero when path names an existing directory (links followed); 0 for
 * NULL. */
KVO_API int kvoIsDirectory(const char* path);

/* What an open stream reads or writes: 0 unknown (NULL, or the system
 * cannot tell), else one of these. */
#define KVO_KIND_REGULAR 1
#define KVO_KIND_DIRECTORY 2
#define KVO_KIND_OTHER 3 /* device, FIFO, socket, terminal */
KVO_API int kvoStreamKind(FILE* stream);

/* The identity of the file behind an open stream: device (volume serial
 * number on Windows) and file index (inode). Returns 1, or 0, storing
 * nothing, when the system cannot tell or an argument is NULL. */
KVO_API int kvoStreamIdentity(FILE* stream, unsigned long long* device, unsigned long long* index);

/* The file index (inode) of an existing path, links followed; 0 on
 * Windows, whose runtime reports none. Returns 1, or 0, storing nothing,
 * when the path does not exist or an argument is NULL. */
KVO_API int kvoPathIndex(const char* path, unsigned long long* index);

/* ---- Failure codes -------------------------------------------------- */

/* The file services report a failure as a number: a system error number
 * (errno: ENOENT, EACCES, ...) or one of kvo's own codes below, which lie
 * above every system error number. kvoStrError gives the text of either. */
#define KVO_ENOTREGULAR 20001 /* an edit's target is not a regular file */
#define KVO_ECHANGED 20002    /* the edited file was replaced under the edit */
#define KVO_ELOCKED 20003     /* another edit held the lock for the whole wait */
#define KVO_EBADLOCK 20004    /* the lock file is a link or not a regular file */

/* The text for a failure code: kvo's own ("not a regular file", "the file
 * was replaced while it was being edited", "another edit holds the lock",
 * "not a usable lock file (a link or a special file)") or the system's
 * strerror text. Never NULL; valid until the next call. */
KVO_API const char* kvoStrError(int code);

/* ---- Files replaced safely ------------------------------------------ */

/* The saves made on a user's behalf (ckpSetupSave, the ckp command, the
 * C++ and Python Writers) go through a replacement, so that the name always
 * holds either the old content or the whole new one (a raw ckpOpen "W"
 * handle writes in place instead):
 *  - links are followed to the final file, which is the one replaced; a
 *    dangling link makes the file it names;
 *  - the new content goes to a temporary created exclusively (never through
 *    a link, mode 0600) under the name ".ckp-XXXXXXXX" in the final file's
 *    directory. It gets the old file's permission bits, its owner and group
 *    where the process may give them, and its extended attributes (ACLs,
 *    user.* attributes; on Windows its security descriptor) where the
 *    process may set them; a new file gets 0666 & ~umask;
 *  - set-id bits (POSIX) are kept only with what they refer to: set-user-id
 *    when the file's owner is kept, set-group-id when its group is kept.
 *    Root keeps both always. Any other editor makes the new file as itself:
 *    it keeps set-user-id only on a file of its own, and set-group-id only
 *    when the file's group is one of its own groups; otherwise the bit is
 *    dropped, never given to the editor's own user or group;
 *  - commit flushes and syncs the temporary, renames it over the final file
 *    and syncs the directory; any failure removes the temporary and leaves
 *    the final file as it was;
 *  - the writer holds a system lock on its temporary, and every replacement
 *    begun in a directory first removes the ".ckp-*" temporaries there that
 *    no live writer holds: a killed writer's temporary does not outlive the
 *    next replacement in its directory;
 *  - a target that is not a regular file (device, FIFO, socket, anything
 *    under /dev or /proc) is written in place and never replaced; it is
 *    opened without following a link that appeared after the links were
 *    resolved (KVO_ECHANGED then). An edit (KVO_REPLACE_EDIT) refuses it.
 * A file with several hard links is replaced like any other: the name given
 * gets the new content, its other names keep the old one. */
typedef struct kvoReplacement kvoReplacement;

/* Flags of kvoReplaceBegin. */
#define KVO_REPLACE_NEW 1 /* commit fails with EEXIST when the file exists by then */

/* An edit: the new content is made from the old. The target (after links)
 * must be a regular file or absent: anything else (directory, FIFO, device,
 * socket, a system file) fails at once with KVO_ENOTREGULAR, never waiting
 * on it. Its stream writes bytes as they are (on Windows too, where other
 * replacements write text). The final file is opened once; kvoReplaceSource reads its content,
 * and its mode, owner, group and extended attributes are taken from that
 * same open file. Commit renames only when the target still resolves
 * (through its links) to the same final name, and that name still refers to
 * that same file (device and inode), or still to no file when there was
 * none; otherwise it fails with KVO_ECHANGED and every file stays as it
 * was. Both streams of an edit are binary: bytes, line ends included, go
 * as they are. Hold the directory's lock (kvoLockFile) from before
 * kvoReplaceBegin until after commit, so that concurrent editors take
 * turns instead of failing:
 *
 *     kvoFileLock* lock = kvoLockFile(name, &err);
 *     kvoReplacement* edit = kvoReplaceBegin(name, KVO_REPLACE_EDIT, &err);
 *     FILE* old = kvoReplaceSource(edit);   // NULL: a new file
 *     ... read old, write kvoReplaceStream(edit) ...
 *     err = unchanged ? (kvoReplaceAbort(edit), 0) : kvoReplaceCommit(edit);
 *     kvoUnlockFile(lock);
 */
#define KVO_REPLACE_EDIT 2

/* Starts replacing target. Returns the replacement, the caller's until
 * kvoReplaceCommit or kvoReplaceAbort, or NULL with a failure code (see
 * kvoStrError) in *errnumOut when errnumOut is given (EINVAL for a NULL or
 * empty target, EEXIST with KVO_REPLACE_NEW for a target that exists,
 * KVO_ENOTREGULAR for an edit of a file that is not regular, ENOMEM without
 * memory); nothing is left behind then. */
KVO_API kvoReplacement* kvoReplaceBegin(const char* target, int flags, int* errnumOut);

/* The stream to write the new content to; it belongs to the replacement,
 * which closes it (never fclose it). NULL for NULL. */
KVO_API FILE* kvoReplaceStream(const kvoReplacement* replacement);

/* An edit's old content: a binary stream at the start of the file that
 * kvoReplaceBegin opened, which belongs to the replacement (never fclose
 * it). NULL when there was no file, for a replacement that is not an edit,
 * and for NULL. */
KVO_API FILE* kvoReplaceSource(const kvoReplacement* replacement);

/* The file that commit will replace: the target after its links. Valid
 * until the replacement ends; NULL for NULL. */
KVO_API const char* kvoReplaceTarget(const kvoReplacement* replacement);

/* Publishes the new content and frees the replacement, whatever the
 * outcome. A stream whose error flag is set is never published. Returns 0,
 * or a failure code (the target is then unchanged and the temporary
 * removed; EINVAL for NULL, KVO_ECHANGED for an edit whose file was
 * replaced meanwhile). A target written in place is only flushed and
 * closed. */
KVO_API int kvoReplaceCommit(kvoReplacement* replacement);

/* Discards the new content: closes the streams, removes the temporary, frees
 * the replacement. A target written in place keeps what was written. NULL is
 * accepted. */
KVO_API void kvoReplaceAbort(kvoReplacement* replacement);

/* Removes the temporaries of every replacement in progress. Safe to call
 * from a signal handler; a program calls it from its SIGINT, SIGTERM and
 * SIGHUP handlers before it ends. */
KVO_API void kvoRemoveTemporaries(void);

/* Test hook: hook(target, userdata) runs in kvoReplaceCommit of every edit
 * just before the final name is checked and the temporary renamed, so that
 * a test can replace the file at that moment. NULL disarms. */
typedef void (*kvoCommitHook)(const char* target, void* userdata);
KVO_TEST_API void kvoSetCommitHook(kvoCommitHook hook, void* userdata);

/* ---- Locks ---------------------------------------------------------- */

/* An exclusive lock that serializes the editors of the files of one
 * directory across processes. It is the file ".ckp.lock" in the directory of
 * target's final file (after links), and never a file anywhere else:
 *  - POSIX: the file is made if missing (mode 0644 whatever the umask, so
 *    that any user who may edit can open it, read-only if need be) and
 *    flock'ed; after locking, the name must still refer to the locked file,
 *    else the lock is taken again. It is removed before it is released, so
 *    that nothing remains after an edit, successful or not. A lock file left
 *    by a killed holder holds no lock: the next editor takes it over and
 *    removes it. Windows: the file is opened with no sharing and deleted
 *    when closed.
 *  - The lock dies with its process. Taking it waits at most
 *    CKP_LOCK_TIMEOUT seconds (environment; a decimal number, default 10,
 *    0 tries once) and then fails with KVO_ELOCKED.
 *  - The same process may take it again; each kvoLockFile needs its
 *    kvoUnlockFile.
 *  - A target that is written in place (a device, a FIFO) gets a lock that
 *    serializes nothing and makes no file.
 * Returns the lock, the caller's until kvoUnlockFile, or NULL with a failure
 * code in *errnumOut when errnumOut is given (EINVAL for a NULL or empty
 * target, KVO_ELOCKED, KVO_EBADLOCK, a system error number). */
typedef struct kvoFileLock kvoFileLock;
KVO_API kvoFileLock* kvoLockFile(const char* target, int* errnumOut);

/* kvoLockFile, telling also which lock file it took or failed to take, so
 * that every message about the lock can name it: *lockPathOut (when
 * lockPathOut is given) receives a kvoMalloc copy of the lock file's path,
 * on success and on failure alike, which the caller frees; NULL when no lock
 * file is involved (a target written in place, a NULL target) or no memory
 * is left. */
KVO_API kvoFileLock* kvoLockFileNamed(const char* target, int* errnumOut, char** lockPathOut);

/* The path of a held lock's file; NULL for a lock without a file and for
 * NULL. Valid until kvoUnlockFile. */
KVO_API const char* kvoLockPath(const kvoFileLock* lock);

/* Releases a lock (removing its file when this was the last hold); NULL is
 * accepted. */
KVO_API void kvoUnlockFile(kvoFileLock* lock);

/* Test hook. With n > 0 the n-th call from now of the given kind fails once
 * with the error number errnum, as if the system had refused it; n <= 0
 * disarms; a call kind outside these four only clears the hit mark.
 * kvoIoFailureHit() tells whether an armed failure has happened since. */
#define KVO_IO_OPEN 0   /* creating a temporary or a lock file */
#define KVO_IO_WRITE 1  /* flushing the new content */
#define KVO_IO_SYNC 2   /* syncing the new content */
#define KVO_IO_RENAME 3 /* publishing it */
KVO_TEST_API void kvoSetIoFailure(int call, long n, int errnum);
KVO_TEST_API int kvoIoFailureHit(void);

#ifdef __cplusplus
}
#endif

#endif /* CKP_KVO_H */
