// Edits (a replacement made from the file's old content) and the editors'
// lock: what a swapped file, a held or stale lock, a killed writer and a
// file's extended attributes do to an edit.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "ckp/kvo.h"
#include "common/testutil.hpp"
#include "support/platform.hpp"

namespace {
namespace fs = std::filesystem;

void renameOtherOver(const char* target, void* other) {
    std::string from = *static_cast<const std::string*>(other);
    fs::copy_file(from, from + ".copy");
    fs::rename(from + ".copy", target);
}

// What every system does alike: an edit reads the old content and refuses a
// directory, a file replaced at the critical moment fails the commit, a
// stale temporary goes, and a lock leaves no file.
TEST(EditEverywhere, EditLockAndLeftovers) {
    ckptest::TempDir dir;
    std::string target = dir.write("team.setup", "old");
    std::string other = dir.write("other", "theirs");
    dir.write(".ckp-abcd1234", "half"); // a killed writer's
    int err = 0;
    EXPECT_EQ(kvoReplaceBegin(dir.path().c_str(), KVO_REPLACE_EDIT, &err), nullptr);
    EXPECT_EQ(err, KVO_ENOTREGULAR);

    kvoReplacement* edit = kvoReplaceBegin(target.c_str(), KVO_REPLACE_EDIT, &err);
    ASSERT_NE(edit, nullptr) << kvoStrError(err);
    EXPECT_EQ(ckptest::temporaryCount(dir.path()), 1); // the stale one went, this one is there
    char old[16] = {};
    ASSERT_NE(kvoReplaceSource(edit), nullptr);
    EXPECT_EQ(std::fread(old, 1, sizeof old - 1, kvoReplaceSource(edit)), 3u);
    EXPECT_STREQ(old, "old");
    std::fputs("new", kvoReplaceStream(edit));
    kvoSetCommitHook(renameOtherOver, &other);
    EXPECT_EQ(kvoReplaceCommit(edit), KVO_ECHANGED);
    kvoSetCommitHook(nullptr, nullptr);
    EXPECT_EQ(ckptest::readFile(target), "theirs");
    EXPECT_EQ(ckptest::temporaryCount(dir.path()), 0);

    edit = kvoReplaceBegin(target.c_str(), KVO_REPLACE_EDIT, &err);
    ASSERT_NE(edit, nullptr);
    std::fputs("mine", kvoReplaceStream(edit));
    EXPECT_EQ(kvoReplaceCommit(edit), 0);
    EXPECT_EQ(ckptest::readFile(target), "mine");

    char* lockPath = nullptr;
    kvoFileLock* lock = kvoLockFileNamed(target.c_str(), &err, &lockPath);
    ASSERT_NE(lock, nullptr) << kvoStrError(err);
    ASSERT_NE(lockPath, nullptr);
    EXPECT_STREQ(kvoLockPath(lock), lockPath);
    EXPECT_TRUE(fs::exists(lockPath));
    kvoFileLock* again = kvoLockFile(target.c_str(), &err);
    EXPECT_EQ(again, lock);
    kvoUnlockFile(again);
    EXPECT_TRUE(fs::exists(lockPath));
    kvoUnlockFile(lock);
    EXPECT_FALSE(fs::exists(lockPath));
    kvoFree(lockPath);
}
} // namespace

#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace {
using ckptest::readFile;
using ckptest::TempDir;

std::string slurp(std::FILE* stream) {
    std::string bytes;
    char block[4096];
    std::size_t n = 0;
    while (stream != nullptr && (n = std::fread(block, 1, sizeof block, stream)) > 0) {
        bytes.append(block, n);
    }
    return bytes;
}

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Sets CKP_LOCK_TIMEOUT while alive.
struct LockTimeout {
    explicit LockTimeout(const char* seconds) { setenv("CKP_LOCK_TIMEOUT", seconds, 1); }
    ~LockTimeout() { unsetenv("CKP_LOCK_TIMEOUT"); }
};

// A child that does `work`, tells the parent through a pipe whether it
// succeeded, and waits until killed. Returns its pid once the work is done.
pid_t pausedChild(const std::function<bool()>& work) {
    int ready[2];
    if (pipe(ready) != 0) {
        return -1;
    }
    pid_t child = fork();
    if (child == 0) {
        char ok = work() ? 'y' : 'n';
        (void)!write(ready[1], &ok, 1);
        pause();
        _exit(0);
    }
    close(ready[1]);
    char ok = 'n';
    (void)!read(ready[0], &ok, 1);
    close(ready[0]);
    return ok == 'y' ? child : -1;
}

pid_t holdLockInChild(const std::string& target) {
    return pausedChild([&] { return kvoLockFile(target.c_str(), nullptr) != nullptr; });
}

void killChild(pid_t child) {
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
}

// An edit refuses anything but a regular file at once, whatever waits on
// the other side, and makes nothing beside it.
TEST(Edit, RefusesEveryTargetThatIsNotARegularFileAtOnce) {
    TempDir dir;
    std::string fifo = dir.file("pipe");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    fs::create_directory(dir.file("folder"));
    fs::create_symlink(fifo, dir.file("link-to-pipe"));
    // A writer attached to the FIFO: a read of it would get data and go on.
    int writer = open(fifo.c_str(), O_RDWR | O_NONBLOCK);
    ASSERT_GE(writer, 0);
    ASSERT_EQ(write(writer, "WRXCHECKPOINT=\"1.0\"\n", 20), 20);
    for (bool attached : {true, false}) {
        if (!attached) {
            close(writer);
        }
        for (const std::string& target : {fifo, dir.file("link-to-pipe"), dir.file("folder")}) {
            auto start = std::chrono::steady_clock::now();
            int err = 0;
            EXPECT_EQ(kvoReplaceBegin(target.c_str(), KVO_REPLACE_EDIT, &err), nullptr) << target;
            EXPECT_EQ(err, KVO_ENOTREGULAR) << target;
            EXPECT_LT(secondsSince(start), 1.0) << target;
        }
    }
    EXPECT_STREQ(kvoStrError(KVO_ENOTREGULAR), "not a regular file");
    EXPECT_EQ(ckptest::temporaryCount(dir.path()), 0);
}

// The content and the mode are those of the file first opened, even when
// the link that led to it is retargeted meanwhile; the commit then fails
// and leaves both files.
TEST(Edit, ReadsAndReplacesTheOneFileItOpened) {
    TempDir dir;
    std::string v1 = dir.write("v1.setup", "one\n");
    std::string v2 = dir.write("v2.setup", "two\n");
    chmod(v1.c_str(), 0640);
    std::string cur = dir.file("cur.setup");
    fs::create_symlink("v1.setup", cur);
    for (bool retarget : {true, false}) {
        int err = 0;
        kvoReplacement* edit = kvoReplaceBegin(cur.c_str(), KVO_REPLACE_EDIT, &err);
        ASSERT_NE(edit, nullptr) << kvoStrError(err);
        if (retarget) {
            fs::remove(cur);
            fs::create_symlink("v2.setup", cur);
        }
        std::string old = slurp(kvoReplaceSource(edit));
        EXPECT_EQ(old, "one\n");
        std::fputs((old + "more\n").c_str(), kvoReplaceStream(edit));
        EXPECT_EQ(kvoReplaceCommit(edit), retarget ? KVO_ECHANGED : 0);
        EXPECT_EQ(readFile(v1), retarget ? "one\n" : "one\nmore\n");
        EXPECT_EQ(readFile(v2), "two\n");
        EXPECT_EQ(fs::status(v1).permissions(), fs::perms(0640));
        fs::remove(cur);
        fs::create_symlink("v1.setup", cur);
    }

    // No file yet: no source, and the edit makes the file.
    std::string fresh = dir.file("fresh.setup");
    int err = 0;
    kvoReplacement* edit = kvoReplaceBegin(fresh.c_str(), KVO_REPLACE_EDIT, &err);
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(kvoReplaceSource(edit), nullptr);
    std::fputs("new\n", kvoReplaceStream(edit));
    EXPECT_EQ(kvoReplaceCommit(edit), 0);
    EXPECT_EQ(readFile(fresh), "new\n");
    // A replacement that is not an edit has no source.
    kvoReplacement* plain = kvoReplaceBegin(fresh.c_str(), 0, &err);
    EXPECT_EQ(kvoReplaceSource(plain), nullptr);
    kvoReplaceAbort(plain);
    EXPECT_EQ(ckptest::temporaryCount(dir.path()), 0);
}

struct Swap {
    const char* what;
    bool existed;                                // a file to edit at the start
    std::function<void(const std::string&)> act; // done to the target at the critical moment
    std::string expected;                        // the target's content afterwards ("" : none)
};

void runHook(const char* target, void* userdata) {
    (*static_cast<std::function<void(const std::string&)>*>(userdata))(target);
}

// Whatever is done to the edited name between the open and the rename makes
// the commit fail and leaves every file as it was.
TEST(Edit, CommitRefusesAFileReplacedAtTheCriticalMoment) {
    TempDir dir;
    std::string other = dir.file("other");
    const std::vector<Swap> swaps = {
        {"removed", true, [](const std::string& t) { fs::remove(t); }, ""},
        {"replaced by a link to another file", true,
         [&](const std::string& t) {
             fs::remove(t);
             fs::create_symlink(other, t);
         },
         "other\n"},
        {"made where there was none", false, [&](const std::string& t) { fs::copy_file(other, t); },
         "other\n"},
    };
    for (const Swap& swap : swaps) {
        dir.write("other", "other\n");
        std::string target = dir.file("target");
        fs::remove(target);
        if (swap.existed) {
            dir.write("target", "mine\n");
        }
        int err = 0;
        kvoReplacement* edit = kvoReplaceBegin(target.c_str(), KVO_REPLACE_EDIT, &err);
        ASSERT_NE(edit, nullptr) << swap.what;
        std::fputs("edited\n", kvoReplaceStream(edit));
        std::function<void(const std::string&)> act = swap.act;
        kvoSetCommitHook(runHook, &act);
        EXPECT_EQ(kvoReplaceCommit(edit), KVO_ECHANGED) << swap.what;
        kvoSetCommitHook(nullptr, nullptr);
        std::error_code ec;
        bool exists = fs::exists(target, ec);
        EXPECT_EQ(exists ? readFile(target) : "", swap.expected) << swap.what;
        EXPECT_EQ(readFile(other), "other\n") << swap.what;
        EXPECT_EQ(ckptest::temporaryCount(dir.path()), 0) << swap.what;
    }
    EXPECT_STREQ(kvoStrError(KVO_ECHANGED), "the file was replaced while it was being edited");
}

// A special file written in place is opened without following a link, and
// a regular file found there instead is neither truncated nor written.
TEST(Edit, SpecialFileSwappedForALinkOrAFileIsNotWritten) {
    TempDir dir;
    std::string victim = dir.write("victim", "precious\n");
    fs::create_symlink(victim, dir.file("swapped-link"));
    dir.write("swapped-file", "also precious\n");
    for (const char* name : {"swapped-link", "swapped-file"}) {
        errno = 0;
        EXPECT_EQ(platform::openInPlace(dir.file(name).c_str()), nullptr) << name;
        EXPECT_EQ(errno, KVO_ECHANGED) << name;
    }
    EXPECT_EQ(readFile(victim), "precious\n");
    EXPECT_EQ(readFile(dir.file("swapped-file")), "also precious\n");
}

// A POSIX ACL as the kernel stores it: user::rw- user:65534:rw- group::---
// mask::rw- other::---.
std::string aclBytes() {
    struct Entry {
        unsigned short tag;
        unsigned short perm;
        unsigned id;
    };
    const Entry entries[] = {
        {0x01, 6, ~0u}, {0x02, 6, 65534u}, {0x04, 0, ~0u}, {0x10, 6, ~0u}, {0x20, 0, ~0u}};
    unsigned version = 2;
    std::string bytes(reinterpret_cast<const char*>(&version), sizeof version);
    for (const Entry& e : entries) {
        bytes.append(reinterpret_cast<const char*>(&e.tag), 2);
        bytes.append(reinterpret_cast<const char*>(&e.perm), 2);
        bytes.append(reinterpret_cast<const char*>(&e.id), 4);
    }
    return bytes;
}

std::string attribute(const std::string& file, const char* name) {
    char value[256];
    ssize_t n = getxattr(file.c_str(), name, value, sizeof value);
    return n >= 0 ? std::string(value, static_cast<std::size_t>(n)) : std::string();
}

// user.* attributes go with the content, and an ACL with its mask: the
// group bits stay the mask's, and the owning group gets no access it did
// not have.
TEST(Edit, ExtendedAttributesAndAclAreKept) {
    TempDir dir;
    std::string file = dir.write("private.setup", "old\n");
    std::string acl = aclBytes();
    bool user = setxattr(file.c_str(), "user.origin", "north", 5, 0) == 0;
    bool hasAcl = setxattr(file.c_str(), "system.posix_acl_access", acl.data(), acl.size(), 0) == 0;
    if (!user && !hasAcl) {
        GTEST_SKIP() << "the file system takes no user attributes and no ACL";
    }
    for (int flags : {0, KVO_REPLACE_EDIT}) {
        kvoReplacement* r = kvoReplaceBegin(file.c_str(), flags, nullptr);
        ASSERT_NE(r, nullptr);
        std::fputs("new\n", kvoReplaceStream(r));
        ASSERT_EQ(kvoReplaceCommit(r), 0);
        if (user) {
            EXPECT_EQ(attribute(file, "user.origin"), "north") << flags;
        }
        if (hasAcl) {
            EXPECT_EQ(attribute(file, "system.posix_acl_access"), acl) << flags;
            EXPECT_EQ(fs::status(file).permissions(), fs::perms(0660)) << flags;
        }
    }
}

struct SetIdCase {
    const char* what;
    uid_t owner;
    gid_t group;
    unsigned mode;
    uid_t editor; // 0: root; else the editor's user and group
    int flags;
    unsigned expected;
};

// Owner and group stay; set-id bits stay only with what they refer to:
// never given to an editor who could not keep the owner or the group.
TEST(Edit, OwnerGroupAndSetIdBitsStayOnlyWithTheirOwner) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root to make files of other users";
    }
    TempDir dir;
    chmod(dir.path().c_str(), 0777);
    const SetIdCase cases[] = {
        {"root edits another user's file", 65534, 65534, 06755, 0, KVO_REPLACE_EDIT, 06755},
        {"root replaces another user's file", 4321, 4321, 0640, 0, 0, 0640},
        {"a user edits its own file", 65534, 65534, 04755, 65534, KVO_REPLACE_EDIT, 04755},
        {"a user edits root's shared file", 0, 0, 06777, 65534, KVO_REPLACE_EDIT, 0777},
    };
    for (const SetIdCase& c : cases) {
        std::string file = dir.write("tool", "old\n");
        ASSERT_EQ(chown(file.c_str(), c.owner, c.group), 0);
        ASSERT_EQ(chmod(file.c_str(), c.mode), 0);
        pid_t child = fork();
        if (child == 0) {
            if (c.editor != 0 && (setgid(c.editor) != 0 || setuid(c.editor) != 0)) {
                _exit(3);
            }
            kvoReplacement* r = kvoReplaceBegin(file.c_str(), c.flags, nullptr);
            if (r == nullptr) {
                _exit(4);
            }
            std::fputs("new\n", kvoReplaceStream(r));
            _exit(kvoReplaceCommit(r) == 0 ? 0 : 5);
        }
        int status = 0;
        waitpid(child, &status, 0);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << c.what << " " << status;
        struct stat st {};
        ASSERT_EQ(stat(file.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, c.expected) << c.what;
        // Root keeps the owner; a user who cannot becomes the owner.
        EXPECT_EQ(st.st_uid, c.editor == 0 ? c.owner : c.editor) << c.what;
        EXPECT_EQ(st.st_gid, c.editor == 0 ? c.group : c.editor) << c.what;
        EXPECT_EQ(readFile(file), "new\n") << c.what;
        fs::remove(file);
    }
}

// A killed writer's temporary goes with the next replacement in its
// directory; a live writer's stays and is published.
TEST(Edit, KilledWritersTemporariesGoWithTheNextReplacement) {
    TempDir dir;
    std::string target = dir.write("data.setup", "old\n");
    // Three writers at once: each one's begin passes the others' temporaries
    // over while they live.
    std::vector<pid_t> writers;
    for (int i = 0; i < 3; ++i) {
        writers.push_back(pausedChild([&] {
            kvoReplacement* r = kvoReplaceBegin(target.c_str(), KVO_REPLACE_EDIT, nullptr);
            return r != nullptr && std::fputs("half", kvoReplaceStream(r)) >= 0 &&
                   std::fflush(kvoReplaceStream(r)) == 0;
        }));
        ASSERT_GT(writers.back(), 0);
    }
    for (pid_t child : writers) {
        killChild(child);
    }
    ASSERT_EQ(ckptest::temporaryCount(dir.path()), 3);
    int err = 0;
    kvoReplacement* live = kvoReplaceBegin(target.c_str(), KVO_REPLACE_EDIT, &err);
    ASSERT_NE(live, nullptr);
    EXPECT_EQ(ckptest::temporaryCount(dir.path()), 1);
    kvoReplacement* second = kvoReplaceBegin(dir.file("other.setup").c_str(), 0, &err);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(ckptest::temporaryCount(dir.path()), 2);
    std::fputs("new\n", kvoReplaceStream(live));
    EXPECT_EQ(kvoReplaceCommit(live), 0);
    EXPECT_EQ(kvoReplaceCommit(second), 0);
    EXPECT_EQ(readFile(target), "new\n");
    EXPECT_EQ(ckptest::temporaryCount(dir.path()), 0);
}

// Whether another user could open the stale lock file, even read-only, lock
// that descriptor, and take the lock.
bool anotherUserTakesTheLock(const std::string& lockFile, const std::string& target) {
    pid_t other = fork();
    if (other == 0) {
        setenv("CKP_LOCK_TIMEOUT", "0", 1);
        if (setgid(65534) != 0 || setuid(65534) != 0) {
            _exit(3);
        }
        int fd = open(lockFile.c_str(), O_RDONLY);
        bool readOnlyLocks = fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0;
        close(fd);
        _exit(readOnlyLocks && kvoLockFile(target.c_str(), nullptr) != nullptr ? 0 : 1);
    }
    int status = 0;
    waitpid(other, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// A held lock is waited for CKP_LOCK_TIMEOUT seconds, then refused with the
// lock file named. A lock file made under umask 077 still opens for every
// user. A killed holder's file is stale: taken over at once, then removed.
TEST(Lock, WaitsBoundedNamesTheLockFileAndLeavesNothing) {
    TempDir dir;
    chmod(dir.path().c_str(), 0777);
    std::string target = dir.file("team.setup");
    std::string lockFile = dir.file(".ckp.lock");
    mode_t old = umask(077);
    pid_t holder = holdLockInChild(target);
    umask(old);
    ASSERT_GT(holder, 0);
    struct stat st {};
    ASSERT_EQ(stat(lockFile.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);
    {
        LockTimeout timeout("0.3");
        auto start = std::chrono::steady_clock::now();
        int err = 0;
        char* path = nullptr;
        EXPECT_EQ(kvoLockFileNamed(target.c_str(), &err, &path), nullptr);
        double waited = secondsSince(start);
        EXPECT_EQ(err, KVO_ELOCKED);
        EXPECT_GE(waited, 0.3);
        EXPECT_LT(waited, 3.0);
        ASSERT_NE(path, nullptr);
        EXPECT_EQ(path, lockFile);
        kvoFree(path);
        EXPECT_STREQ(kvoStrError(KVO_ELOCKED), "another edit holds the lock");
    }
    killChild(holder);
    ASSERT_TRUE(fs::exists(lockFile));
    if (geteuid() == 0) {
        EXPECT_TRUE(anotherUserTakesTheLock(lockFile, target));
    }
    {
        LockTimeout timeout("0");
        int err = 0;
        kvoFileLock* lock = kvoLockFile(target.c_str(), &err);
        ASSERT_NE(lock, nullptr) << kvoStrError(err);
        EXPECT_EQ(kvoLockPath(lock), lockFile);
        kvoUnlockFile(lock);
    }
    EXPECT_FALSE(fs::exists(lockFile));
    // A lock in a directory that does not exist fails, names where its file
    // would be, and makes nothing anywhere.
    int err = 0;
    char* path = nullptr;
    std::string missing = dir.file("new/dir/x.setup");
    EXPECT_EQ(kvoLockFileNamed(missing.c_str(), &err, &path), nullptr);
    EXPECT_EQ(err, ENOENT);
    EXPECT_EQ(path ? std::string(path) : "", dir.file("new/dir/.ckp.lock"));
    kvoFree(path);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 0);
}

} // namespace
#endif
