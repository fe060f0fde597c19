// The platform module on POSIX systems.
#if !defined(_WIN32)
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/xattr.h>
#include <time.h>
#include <unistd.h>

#include "ckp/kvo.h"
#include "support/platform.hpp"

namespace platform {

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

int processId() {
    return static_cast<int>(getpid());
}

namespace {
// The system's own names and files: their links are the kernel's business
// (/dev/stdout names whatever standard output is), and nothing is ever
// created among them.
// /dev/shm is an ordinary directory for files in memory.
bool isSystemPath(const char* path) {
    if (startsWith(path, "/dev/shm/") || std::strcmp(path, "/dev/shm") == 0) {
        return false;
    }
    return startsWith(path, "/dev/") || startsWith(path, "/proc/") ||
           std::strcmp(path, "/dev") == 0 || std::strcmp(path, "/proc") == 0;
}

// The descriptor that a path names directly (/dev/stdout, /dev/fd/3,
// /proc/self/fd/3), or -1.
int namedDescriptor(const char* path) {
    if (std::strcmp(path, "/dev/stdin") == 0) {
        return 0;
    }
    if (std::strcmp(path, "/dev/stdout") == 0) {
        return 1;
    }
    if (std::strcmp(path, "/dev/stderr") == 0) {
        return 2;
    }
    const char* digits = nullptr;
    if (startsWith(path, "/dev/fd/")) {
        digits = path + 8;
    } else if (startsWith(path, "/proc/self/fd/")) {
        digits = path + 14;
    }
    if (digits == nullptr || *digits == '\0') {
        return -1;
    }
    char* end = nullptr;
    long fd = std::strtol(digits, &end, 10);
    return *end == '\0' && fd >= 0 && fd <= INT_MAX ? static_cast<int>(fd) : -1;
}

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

// The kernel's rule for links in shared directories: in a sticky,
// world-writable directory a link is followed only when it belongs to the
// follower or to the directory's owner, so that nobody can steer another
// user's writes through a link planted in /tmp.
int mayFollow(const char* linkPath, const struct stat& link) {
    char* dir = dirOf(linkPath);
    if (dir == nullptr) {
        return -1;
    }
    struct stat st;
    bool shared = stat(dir, &st) == 0 && (st.st_mode & S_ISVTX) != 0 && (st.st_mode & S_IWOTH) != 0;
    kvoFree(dir);
    return !shared || link.st_uid == geteuid() || link.st_uid == st.st_uid ? 1 : 0;
}

// Where the link at current points, as a path from here.
char* followLink(const char* current, const struct stat& st) {
    int may = mayFollow(current, st);
    if (may <= 0) {
        errno = may == 0 ? EACCES : ENOMEM;
        return nullptr;
    }
    char* link = readLink(current, st);
    if (link == nullptr) {
        return nullptr;
    }
    char* next = link[0] == '/' ? copyOf(link, std::strlen(link)) : beside(current, link);
    kvoFree(link);
    return next;
}

// Whether the real directory of path (links and ".." resolved) is among
// the system's: 1 or 0, -1 without memory.
int inSystemDirectory(const char* path) {
    char* dir = dirOf(path);
    if (dir == nullptr) {
        return -1;
    }
    char* real = realpath(dir, nullptr);
    int system = real != nullptr && isSystemPath(real) ? 1 : 0;
    std::free(real);
    kvoFree(dir);
    return system;
}

std::FILE* streamOn(int fd, int savedErrno) {
    std::FILE* stream = fd >= 0 ? fdopen(fd, "w") : nullptr;
    if (stream == nullptr && fd >= 0) {
        savedErrno = errno;
        close(fd);
    }
    if (stream == nullptr) {
        errno = savedErrno;
    }
    return stream;
}
} // namespace

char* resolveLinks(const char* path) {
    char* current = copyOf(path, std::strlen(path));
    for (int hop = 0; current != nullptr && hop < 40; ++hop) {
        struct stat st;
        if (isSystemPath(current) || lstat(current, &st) != 0 || !S_ISLNK(st.st_mode)) {
            return current; // a missing name is where a dangling link points
        }
        char* next = followLink(current, st);
        int e = errno;
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

int writtenInPlace(const char* given, const char* final) {
    if (namedDescriptor(given) >= 0 || namedDescriptor(final) >= 0) {
        return 1;
    }
    struct stat st;
    if (lstat(final, &st) == 0 && !S_ISREG(st.st_mode)) {
        return 1;
    }
    if (isSystemPath(given) || isSystemPath(final)) {
        return 1;
    }
    return inSystemDirectory(final);
}

namespace {
FileFacts factsOf(const struct stat& st) {
    FileFacts facts;
    facts.exists = true;
    facts.mode = static_cast<unsigned>(st.st_mode & 07777);
    facts.owner = static_cast<long long>(st.st_uid);
    facts.group = static_cast<long long>(st.st_gid);
    facts.device = static_cast<unsigned long long>(st.st_dev);
    facts.index = static_cast<unsigned long long>(st.st_ino);
    return facts;
}

int closeWith(int fd, int err) {
    close(fd);
    return err;
}

// The facts of the file at path from its name, for a file this process
// may write but not read.
int factsByName(const char* path, Source* out) {
    struct stat st;
    if (lstat(path, &st) != 0) {
        return errno == ENOENT ? 0 : errno;
    }
    if (S_ISLNK(st.st_mode)) {
        return KVO_ECHANGED;
    }
    out->facts = factsOf(st);
    return 0;
}
} // namespace

int openSource(const char* path, bool edit, Source* out) {
    // O_NONBLOCK: a FIFO put in the file's place must not hang the open.
    int fd = open(path, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        if (errno == ENOENT) {
            return 0;
        }
        if (errno == ELOOP) {
            return KVO_ECHANGED; // a link appeared since the links were resolved
        }
        return edit || errno != EACCES ? errno : factsByName(path, out);
    }
    struct stat st;
    if (fstat(fd, &st) != 0) {
        return closeWith(fd, errno);
    }
    if (!S_ISREG(st.st_mode)) {
        return closeWith(fd, edit ? KVO_ENOTREGULAR : KVO_ECHANGED);
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    out->stream = fdopen(fd, "rb");
    if (out->stream == nullptr) {
        return closeWith(fd, errno);
    }
    out->facts = factsOf(st);
    return 0;
}

int checkSameFile(const char* path, const FileFacts& facts) {
    struct stat st;
    if (lstat(path, &st) != 0) {
        if (errno != ENOENT) {
            return errno;
        }
        return facts.exists ? KVO_ECHANGED : 0;
    }
    bool same = facts.exists && S_ISREG(st.st_mode) &&
                static_cast<unsigned long long>(st.st_dev) == facts.device &&
                static_cast<unsigned long long>(st.st_ino) == facts.index;
    return same ? 0 : KVO_ECHANGED;
}

namespace {
// Whether the name at dirfd/name refers to the open file fd.
bool nameRefersTo(int dirfd, const char* name, int fd) {
    struct stat byName;
    struct stat open;
    return fstatat(dirfd, name, &byName, AT_SYMLINK_NOFOLLOW) == 0 && fstat(fd, &open) == 0 &&
           byName.st_dev == open.st_dev && byName.st_ino == open.st_ino;
}
} // namespace

std::FILE* createExclusive(const char* path, bool) {
    if (ioFails(KVO_IO_OPEN)) {
        return nullptr;
    }
    int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        return nullptr;
    }
    // The lock tells a later writer that this temporary is alive. One that
    // took it first (between the create and this lock) has removed the
    // file: a new name is tried then. Where the file system has no locks,
    // nobody can take it for dead either.
    int locked = -1;
    do {
        locked = flock(fd, LOCK_EX);
    } while (locked != 0 && errno == EINTR);
    if (locked == 0 && !nameRefersTo(AT_FDCWD, path, fd)) {
        close(fd);
        errno = EEXIST;
        return nullptr;
    }
    return streamOn(fd, errno);
}

int holdFile(std::FILE* stream) {
    return fcntl(fileno(stream), F_DUPFD_CLOEXEC, 0);
}

void releaseHold(int hold) {
    if (hold >= 0) {
        close(hold);
    }
}

namespace {
bool isTemporaryName(const char* name, const char* prefix) {
    std::size_t n = std::strlen(prefix);
    if (std::strncmp(name, prefix, n) != 0 || std::strlen(name) != n + 8) {
        return false;
    }
    for (const char* c = name + n; *c != '\0'; ++c) {
        if (!((*c >= 'a' && *c <= 'z') || (*c >= '0' && *c <= '9'))) {
            return false;
        }
    }
    return true;
}

// Removes one temporary when its writer is gone: nobody holds its lock.
void removeIfUnheld(int dirfd, const char* name) {
    int fd = openat(dirfd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        return;
    }
    struct stat st;
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && flock(fd, LOCK_EX | LOCK_NB) == 0 &&
        nameRefersTo(dirfd, name, fd)) {
        unlinkat(dirfd, name, 0);
    }
    close(fd);
}
} // namespace

int removeStaleTemporaries(const char* file, const char* prefix) {
    char* dir = dirOf(file);
    if (dir == nullptr) {
        return ENOMEM;
    }
    DIR* d = opendir(dir);
    kvoFree(dir);
    if (d == nullptr) {
        return 0;
    }
    while (const struct dirent* entry = readdir(d)) {
        if (isTemporaryName(entry->d_name, prefix)) {
            removeIfUnheld(dirfd(d), entry->d_name);
        }
    }
    closedir(d);
    return 0;
}

std::FILE* openInPlace(const char* path) {
    int named = namedDescriptor(path);
    if (named >= 0) {
        // The descriptor itself, with its offset and append mode, as the
        // shell's redirection set it up.
        int fd = fcntl(named, F_DUPFD_CLOEXEC, 0);
        return streamOn(fd, errno);
    }
    // No O_CREAT: nothing is made among the system's files, nor a special
    // file that vanished meanwhile made again as a regular one. Outside the
    // system's directories a link or a regular file found now was put
    // there since the file was looked at: never followed, never truncated.
    bool system = isSystemPath(path) || inSystemDirectory(path) > 0;
    int fd = open(path, O_WRONLY | O_CLOEXEC | O_NOCTTY | (system ? 0 : O_NOFOLLOW));
    if (fd < 0 && errno == ELOOP && !system) {
        errno = KVO_ECHANGED;
        return nullptr;
    }
    struct stat st;
    if (fd >= 0 && fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        int e = !system ? KVO_ECHANGED : ftruncate(fd, 0) != 0 ? errno : 0;
        if (e != 0) {
            close(fd);
            errno = e;
            return nullptr;
        }
    }
    return streamOn(fd, errno);
}

namespace {
// The process's umask, read without changing it (changing it, even for a
// moment, would let another thread create a file with the wrong mode).
mode_t currentUmask() {
    std::FILE* status = std::fopen("/proc/self/status", "r");
    char line[256];
    while (status != nullptr && std::fgets(line, sizeof line, status) != nullptr) {
        if (std::strncmp(line, "Umask:", 6) == 0) {
            std::fclose(status);
            return static_cast<mode_t>(std::strtol(line + 6, nullptr, 8));
        }
    }
    if (status != nullptr) {
        std::fclose(status);
    }
    mode_t mask = umask(0);
    umask(mask);
    return mask;
}
} // namespace

namespace {
// Copies one extended attribute; one the process may not read or set is
// passed over. 0, or ENOMEM.
int copyAttribute(int from, int to, const char* name) {
    ssize_t length = fgetxattr(from, name, nullptr, 0);
    if (length < 0) {
        return 0;
    }
    void* value = kvoMalloc(static_cast<std::size_t>(length) + 1);
    if (value == nullptr) {
        return ENOMEM;
    }
    length = fgetxattr(from, name, value, static_cast<std::size_t>(length) + 1);
    if (length >= 0) {
        fsetxattr(to, name, value, static_cast<std::size_t>(length), 0);
    }
    kvoFree(value);
    return 0;
}

// Copies every extended attribute of from onto to: user.* attributes and
// the ACL (system.posix_acl_access, whose mask then stands for the group
// bits again). 0, or ENOMEM.
int copyAttributes(int from, int to) {
    ssize_t size = flistxattr(from, nullptr, 0);
    if (size <= 0) {
        return 0;
    }
    auto* names = static_cast<char*>(kvoMalloc(static_cast<std::size_t>(size) + 1));
    if (names == nullptr) {
        return ENOMEM;
    }
    size = flistxattr(from, names, static_cast<std::size_t>(size));
    int err = 0;
    for (ssize_t at = 0; err == 0 && at < size;
         at += static_cast<ssize_t>(std::strlen(names + at)) + 1) {
        err = copyAttribute(from, to, names + at);
    }
    kvoFree(names);
    return err;
}

// The mode of facts that the file open at fd may keep: a set-id bit only
// where the file got the owner or group it refers to.
unsigned keptMode(int fd, const FileFacts& facts) {
    struct stat st;
    if (fstat(fd, &st) != 0) {
        return facts.mode & 0777u;
    }
    unsigned mode = facts.mode;
    if (static_cast<long long>(st.st_uid) != facts.owner) {
        mode &= ~static_cast<unsigned>(S_ISUID);
    }
    if (static_cast<long long>(st.st_gid) != facts.group) {
        mode &= ~static_cast<unsigned>(S_ISGID);
    }
    return mode;
}

// Gives the new file its owner and group where allowed; which of them it
// got decides which set-id bit may stay.
unsigned keepOwner(int fd, const FileFacts& facts) {
    uid_t owner = static_cast<uid_t>(facts.owner);
    gid_t group = static_cast<gid_t>(facts.group);
    if (fchown(fd, owner, group) != 0 && fchown(fd, static_cast<uid_t>(-1), group) != 0) {
        // the new file keeps the process's group
    }
    return keptMode(fd, facts);
}
} // namespace

void keepSetIdBits(std::FILE* stream, const FileFacts& facts) {
    if (facts.exists && (facts.mode & (S_ISUID | S_ISGID)) != 0) {
        int fd = fileno(stream);
        fchmod(fd, static_cast<mode_t>(keptMode(fd, facts)));
    }
}

int carryOver(std::FILE* stream, const FileFacts& facts, std::FILE* source) {
    int fd = fileno(stream);
    if (!facts.exists) {
        fchmod(fd, 0666 & ~currentUmask());
        return 0;
    }
    // Owner first: a change of owner clears the set-id bits, which the mode
    // then puts back where they still mean what they meant. The ACL comes
    // last, so that its mask is not overwritten by the group bits.
    fchmod(fd, static_cast<mode_t>(keepOwner(fd, facts)));
    return source != nullptr ? copyAttributes(fileno(source), fd) : 0;
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
#if defined(RENAME_NOREPLACE)
    if (renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) {
        return 0;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return errno;
    }
#endif
    // Without an atomic rename that refuses to replace, a hard link is made
    // only where no file of that name exists; the temporary's name then goes.
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

void uniqueTag(char tag[9]) {
    static const char digits[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    static std::uint64_t counter = 0;
    std::uint64_t bits = 0;
    if (getrandom(&bits, sizeof bits, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof bits)) {
        // Names only need to differ; a taken one is passed over anyway.
        bits = (static_cast<std::uint64_t>(getpid()) << 32) ^ (++counter * 0x9E3779B97F4A7C15ull) ^
               reinterpret_cast<std::uintptr_t>(&counter);
    }
    for (int i = 0; i < 8; ++i) {
        tag[i] = digits[bits % 36];
        bits /= 36;
    }
    tag[8] = '\0';
}

bool samePath(const char* a, const char* b) {
    return std::strcmp(a, b) == 0;
}

namespace {
// Opens a lock file that exists, or creates it exclusively; never through a
// link, never waiting on a special file (O_NONBLOCK). Read and write access
// where allowed, read access alone serving where another user made the
// file: flock works on either. A file made here is readable by all whatever
// the umask, so that no other user who may edit is ever locked out.
int openOrCreateLock(const char* path) {
    const int flags = O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
    for (int attempt = 0; attempt < 10; ++attempt) {
        int fd = open(path, O_RDWR | flags);
        if (fd < 0 && errno == EACCES) {
            fd = open(path, O_RDONLY | flags);
        }
        if (fd >= 0 || errno != ENOENT) {
            return fd;
        }
        fd = open(path, O_RDWR | O_CREAT | O_EXCL | flags, 0644);
        if (fd >= 0) {
            fchmod(fd, 0644);
            return fd;
        }
        if (errno != EEXIST) {
            return fd;
        }
    }
    return -1;
}
} // namespace

int tryLockFile(const char* path, LockFile* lock) {
    if (ioFails(KVO_IO_OPEN)) {
        return errno;
    }
    int fd = openOrCreateLock(path);
    if (fd < 0) {
        return errno == ELOOP || errno == ENXIO ? KVO_EBADLOCK : errno;
    }
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        return closeWith(fd, KVO_EBADLOCK);
    }
    lock->device = static_cast<unsigned long long>(st.st_dev);
    lock->index = static_cast<unsigned long long>(st.st_ino);
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        return closeWith(fd, errno == EWOULDBLOCK || errno == EINTR ? lockBusy : errno);
    }
    // The holder before removed the file it held: this one is no lock.
    if (!nameRefersTo(AT_FDCWD, path, fd)) {
        return closeWith(fd, lockMoved);
    }
    lock->handle = fd;
    return 0;
}

void releaseLockFile(const char* path, const LockFile& lock, bool remove) {
    int fd = static_cast<int>(lock.handle);
    if (remove) {
        // Removed while still locked: whoever opens the name next makes a
        // new file, and whoever waits on this one finds it gone and retries.
        if (nameRefersTo(AT_FDCWD, path, fd)) {
            unlink(path);
        }
        flock(fd, LOCK_UN);
    }
    close(fd);
}

double monotonicSeconds() {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

void sleepMillis(int ms) {
    struct timespec pause {
        ms / 1000, static_cast<long>(ms % 1000) * 1000000L
    };
    nanosleep(&pause, nullptr);
}

} // namespace platform

extern "C" {

FILE* kvoOpenMemory(const void* bytes, size_t size, int* errnumOut) {
    static char nothing[1] = {'\0'};
    FILE* stream = nullptr;
    if (bytes == nullptr && size != 0) {
        errno = EINVAL;
    } else {
        // A "r" stream never writes to its buffer.
        void* buffer = bytes != nullptr ? const_cast<void*>(bytes) : nothing;
        stream = fmemopen(buffer, size, "r");
    }
    if (stream == nullptr && errnumOut != nullptr) {
        *errnumOut = errno;
    }
    return stream;
}

// The bytes grow in one block that realloc can move without copying; a
// stream over memory that grows by copies of its own (open_memstream)
// spends more on growing than on the text.
struct kvoMemoryOutput {
    FILE* stream;
    char* bytes;
    size_t size;
    size_t room;
    bool failed; // an append found no memory: the close reports ENOMEM
};

// Room for n more bytes and the NUL put after them at the close.
static bool makeRoom(kvoMemoryOutput* output, size_t n) {
    if (n < output->room - output->size) {
        return true;
    }
    size_t need = output->size + n + 1;
    if (need <= output->size) {
        return false;
    }
    size_t doubled = output->room <= SIZE_MAX / 2 ? 2 * output->room : need;
    size_t room = need > doubled ? need : (doubled > 65536 ? doubled : 65536);
    auto* grown = static_cast<char*>(kvoRealloc(output->bytes, room));
    if (grown == nullptr) {
        return false;
    }
    output->bytes = grown;
    output->room = room;
    return true;
}

static ssize_t appendBytes(void* cookie, const char* data, size_t n) {
    auto* output = static_cast<kvoMemoryOutput*>(cookie);
    // A failed append is taken as written and remembered for the close: a
    // cookie write that fails sends the C library down a path that reads
    // past the caller's block.
    if (output->failed || !makeRoom(output, n)) {
        output->failed = true;
        return static_cast<ssize_t>(n);
    }
    std::memcpy(output->bytes + output->size, data, n);
    output->size += n;
    return static_cast<ssize_t>(n);
}

// The stream only appends: its position (ftell) is all that can be asked.
static int tellEnd(void* cookie, off64_t* offset, int whence) {
    if (*offset != 0 || whence != SEEK_CUR) {
        errno = EINVAL;
        return -1;
    }
    *offset = static_cast<off64_t>(static_cast<kvoMemoryOutput*>(cookie)->size);
    return 0;
}

kvoMemoryOutput* kvoOpenMemoryOutput(int* errnumOut) {
    auto* output = static_cast<kvoMemoryOutput*>(kvoMalloc(sizeof(kvoMemoryOutput)));
    if (output == nullptr) {
        errno = ENOMEM;
    } else {
        *output = {nullptr, nullptr, 0, 0, false};
        cookie_io_functions_t calls{nullptr, appendBytes, tellEnd, nullptr};
        output->stream = fopencookie(output, "w", calls);
        if (output->stream == nullptr) {
            output = static_cast<kvoMemoryOutput*>(kvoFree(output));
        } else {
            // Fewer, larger appends; the buffer is the runtime's to free.
            setvbuf(output->stream, nullptr, _IOFBF, 65536);
        }
    }
    if (output == nullptr && errnumOut != nullptr) {
        *errnumOut = errno != 0 ? errno : ENOMEM;
    }
    return output;
}

FILE* kvoMemoryOutputStream(const kvoMemoryOutput* output) {
    return output != nullptr ? output->stream : nullptr;
}

int kvoCloseMemoryOutput(kvoMemoryOutput* output, char** bytesOut, size_t* sizeOut) {
    if (output == nullptr) {
        return EINVAL;
    }
    errno = 0;
    bool failed = std::fflush(output->stream) != 0 || std::ferror(output->stream) != 0;
    int errnum = failed ? (errno != 0 ? errno : ENOMEM) : 0;
    if (std::fclose(output->stream) != 0 && errnum == 0) {
        errnum = errno != 0 ? errno : ENOMEM;
    }
    if (errnum == 0 && output->failed) {
        errnum = ENOMEM;
    }
    // The NUL after the bytes: room for it is always left by an append.
    if (errnum == 0 && output->bytes == nullptr) {
        output->bytes = static_cast<char*>(kvoMalloc(1));
        errnum = output->bytes == nullptr ? ENOMEM : 0;
    }
    if (errnum == 0 && bytesOut != nullptr) {
        output->bytes[output->size] = '\0';
        *bytesOut = output->bytes;
        if (sizeOut != nullptr) {
            *sizeOut = output->size;
        }
    } else {
        kvoFree(output->bytes);
    }
    kvoFree(output);
    return errnum;
}

int kvoStreamKind(FILE* stream) {
    struct stat st;
    if (stream == nullptr || fstat(fileno(stream), &st) != 0) {
        return 0;
    }
    if (S_ISDIR(st.st_mode)) {
        return KVO_KIND_DIRECTORY;
    }
    return S_ISREG(st.st_mode) ? KVO_KIND_REGULAR : KVO_KIND_OTHER;
}

int kvoStreamIdentity(FILE* stream, unsigned long long* device, unsigned long long* index) {
    struct stat st;
    if (stream == nullptr || device == nullptr || index == nullptr ||
        fstat(fileno(stream), &st) != 0) {
        return 0;
    }
    *device = static_cast<unsigned long long>(st.st_dev);
    *index = static_cast<unsigned long long>(st.st_ino);
    return 1;
}

int kvoPathIndex(const char* path, unsigned long long* index) {
    struct stat st;
    if (path == nullptr || index == nullptr || stat(path, &st) != 0) {
        return 0;
    }
    *index = static_cast<unsigned long long>(st.st_ino);
    return 1;
}
}
#endif
