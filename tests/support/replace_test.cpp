// Replacing files safely and locking their directories: what a hostile
// neighbour, a second writer or a failing system call can do to a save.
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "ckp/kvo.h"
#include "common/testutil.hpp"
#include "support/platform.hpp"

#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {
namespace fs = std::filesystem;
using ckptest::readFile;
using ckptest::TempDir;

// Writes text through a replacement of target; 0 or the error number.
int replaceWith(const std::string& target, const std::string& text, int flags = 0) {
    int err = 0;
    kvoReplacement* r = kvoReplaceBegin(target.c_str(), flags, &err);
    if (r == nullptr) {
        return err;
    }
    std::fputs(text.c_str(), kvoReplaceStream(r));
    return kvoReplaceCommit(r);
}

unsigned modeOf(const std::string& path) {
    struct stat st {};
    stat(path.c_str(), &st);
    return st.st_mode & 07777;
}

TEST(Replace, ContentModeNamesAndPlantedTemporaries) {
    TempDir dir;
    std::string secret = dir.write("secret.ckpt", "old\n");
    chmod(secret.c_str(), 0600);
    EXPECT_EQ(replaceWith(secret, "new\n"), 0);
    EXPECT_EQ(readFile(secret), "new\n");
    EXPECT_EQ(modeOf(secret), 0600u);
    mode_t old = umask(022);
    std::string fresh = dir.file("fresh.ckpt");
    EXPECT_EQ(replaceWith(fresh, "x\n"), 0);
    umask(old);
    EXPECT_EQ(modeOf(fresh), 0644u);
    EXPECT_EQ(replaceWith(secret, "other\n", KVO_REPLACE_NEW), EEXIST);
    EXPECT_EQ(readFile(secret), "new\n");

    // The temporary's name is short whatever the target's.
    EXPECT_EQ(replaceWith(dir.file(std::string(300, 'n')), "x\n"), ENAMETOOLONG);
    std::string longest = dir.file(std::string(255, 'l'));
    EXPECT_EQ(replaceWith(longest, "long\n"), 0);
    EXPECT_EQ(readFile(longest), "long\n");

    // A temporary's name already taken, even by a link, is never opened.
    std::string victim = dir.write("victim", "precious\n");
    fs::create_symlink(victim, dir.file(".ckp-planted"));
    std::string stale = dir.write(".ckp-stale", "stale\n");
    for (const std::string& planted : {dir.file(".ckp-planted"), stale}) {
        errno = 0;
        EXPECT_EQ(platform::createExclusive(planted.c_str(), false), nullptr) << planted;
        EXPECT_EQ(errno, EEXIST) << planted;
    }
    fs::create_symlink(victim, secret + ".ckp-new");
    EXPECT_EQ(replaceWith(secret, "newer\n"), 0);
    EXPECT_EQ(readFile(victim), "precious\n");
    EXPECT_EQ(readFile(stale), "stale\n");
    fs::remove(stale);
    fs::remove(dir.file(".ckp-planted"));
    EXPECT_EQ(ckptest::temporaryCount(dir.path()), 0);
}

TEST(Replace, LinksAreFollowedToTheFinalFile) {
    TempDir dir;
    fs::create_directory(dir.file("real"));
    std::string real = dir.write("real/file.ckpt", "old\n");
    fs::create_symlink("real/file.ckpt", dir.file("hop"));
    fs::create_symlink(dir.file("hop"), dir.file("link"));
    EXPECT_EQ(replaceWith(dir.file("link"), "new\n"), 0);
    EXPECT_TRUE(fs::is_symlink(dir.file("link")));
    EXPECT_TRUE(fs::is_symlink(dir.file("hop")));
    EXPECT_EQ(readFile(real), "new\n");
    EXPECT_EQ(ckptest::temporaryCount(dir.file("real")), 0);
    // A dangling link makes the file it names; a loop of links is refused.
    fs::create_symlink("real/made.ckpt", dir.file("dangling"));
    EXPECT_EQ(replaceWith(dir.file("dangling"), "made\n"), 0);
    EXPECT_TRUE(fs::is_symlink(dir.file("dangling")));
    EXPECT_EQ(readFile(dir.file("real/made.ckpt")), "made\n");
    fs::create_symlink(dir.file("loop2"), dir.file("loop1"));
    fs::create_symlink(dir.file("loop1"), dir.file("loop2"));
    EXPECT_EQ(replaceWith(dir.file("loop1"), "x\n"), ELOOP);
}

// Special files are written in place, never replaced; the decision never
// makes a file among the system's, however its directory is spelled.
TEST(Replace, SpecialFilesAndSystemDirectoriesAreWrittenInPlace) {
    TempDir dir;
    std::string fifo = dir.file("pipe");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    EXPECT_EQ(replaceWith(fifo, "through the pipe\n"), 0);
    char buffer[64] = {};
    EXPECT_EQ(read(reader, buffer, sizeof buffer), 17);
    EXPECT_STREQ(buffer, "through the pipe\n");
    close(reader);
    struct stat st {};
    ASSERT_EQ(lstat(fifo.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    EXPECT_EQ(ckptest::temporaryCount(dir.path()), 0);
    EXPECT_EQ(replaceWith(fifo, "x\n", KVO_REPLACE_NEW), EEXIST);
    fs::create_directory(dir.file("d"));
    EXPECT_EQ(replaceWith(dir.file("d"), "x\n"), EISDIR);

    std::string up = dir.path();
    for (char c : dir.path()) {
        up += c == '/' ? "/.." : "";
    }
    for (const std::string& path :
         {std::string("/dev/null"), std::string("//dev/x"), std::string("/tmp/../dev/x"),
          up + "/dev/ckp-x", std::string("/proc/self/status")}) {
        EXPECT_EQ(platform::writtenInPlace(path.c_str(), path.c_str()), 1) << path;
    }
    std::string plain = dir.file("plain");
    EXPECT_EQ(platform::writtenInPlace(plain.c_str(), plain.c_str()), 0);
    if (fs::is_directory("/dev/shm")) {
        EXPECT_EQ(platform::writtenInPlace("/dev/shm/x.ckpt", "/dev/shm/x.ckpt"), 0);
    }
    // A name that became a link after the links were followed.
    fs::create_symlink(plain, dir.file("late"));
    platform::Source late;
    EXPECT_EQ(platform::openSource(dir.file("late").c_str(), false, &late), KVO_ECHANGED);

    // What an open stream reads, told from the stream alone.
    int pipeEnd = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    std::FILE* streams[] = {std::fopen(plain.c_str(), "w"), std::fopen(dir.file("d").c_str(), "r"),
                            fdopen(pipeEnd, "r")};
    const int kinds[] = {KVO_KIND_REGULAR, KVO_KIND_DIRECTORY, KVO_KIND_OTHER};
    for (int i = 0; i < 3; ++i) {
        ASSERT_NE(streams[i], nullptr) << i;
        EXPECT_EQ(kvoStreamKind(streams[i]), kinds[i]) << i;
        std::fclose(streams[i]);
    }
    EXPECT_EQ(kvoStreamKind(nullptr), 0);
}

TEST(Replace, LinksOfOtherUsersInSharedDirectoriesAreNotFollowed) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root to plant another user's link";
    }
    TempDir dir;
    std::string victim = dir.write("victim", "precious\n");
    std::string shared = dir.file("shared");
    fs::create_directory(shared);
    chmod(shared.c_str(), 01777);
    std::string planted = shared + "/team.setup";
    fs::create_symlink(victim, planted);
    ASSERT_EQ(lchown(planted.c_str(), 4321, 4321), 0);
    EXPECT_EQ(replaceWith(planted, "owned\n"), EACCES);
    EXPECT_EQ(readFile(victim), "precious\n");
    ASSERT_EQ(lchown(planted.c_str(), 0, 0), 0); // the directory owner's own link
    EXPECT_EQ(replaceWith(planted, "mine\n"), 0);
    EXPECT_EQ(readFile(victim), "mine\n");
}

// Each system call of a save fails in turn, or the stream fails a write:
// the target keeps its bytes and no temporary stays. The signal path
// removes every pending temporary, however many.
TEST(Replace, FailuresKeepTheTargetAndLeaveNoTemporary) {
    TempDir dir;
    std::string target = dir.write("keep.ckpt", "old\n");
    for (int call : {KVO_IO_OPEN, KVO_IO_WRITE, KVO_IO_SYNC, KVO_IO_RENAME}) {
        kvoSetIoFailure(call, 1, EIO);
        EXPECT_EQ(replaceWith(target, "new\n"), EIO) << call;
        EXPECT_EQ(kvoIoFailureHit(), 1) << call;
        EXPECT_EQ(readFile(target), "old\n") << call;
        EXPECT_EQ(ckptest::temporaryCount(dir.path()), 0) << call;
    }
    kvoSetIoFailure(KVO_IO_WRITE, 0, 0);
    EXPECT_EQ(kvoIoFailureHit(), 0);
    int err = 0;
    kvoReplacement* r = kvoReplaceBegin(target.c_str(), 0, &err);
    ASSERT_NE(r, nullptr);
    std::fputs("half", kvoReplaceStream(r));
    std::fgetc(kvoReplaceStream(r)); // reading a write-only stream sets its error flag
    EXPECT_NE(kvoReplaceCommit(r), 0);
    EXPECT_EQ(readFile(target), "old\n");

    std::vector<kvoReplacement*> open;
    for (int i = 0; i < 70; ++i) {
        open.push_back(
            kvoReplaceBegin(dir.file(ckptest::cat("f", std::to_string(i))).c_str(), 0, &err));
        ASSERT_NE(open.back(), nullptr) << err;
    }
    EXPECT_EQ(ckptest::temporaryCount(dir.path()), 70);
    kvoRemoveTemporaries();
    EXPECT_EQ(ckptest::temporaryCount(dir.path()), 0);
    for (kvoReplacement* pending : open) {
        kvoReplaceAbort(pending);
    }
    EXPECT_EQ(readFile(target), "old\n");
}

// Whether another process could take the directory's lock right now.
bool lockIsFree(const std::string& lockFile) {
    pid_t child = fork();
    if (child == 0) {
        int fd = open(lockFile.c_str(), O_RDWR);
        _exit(fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0 ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST(Lock, HeldPerDirectoryReentrantAndDiesWithItsProcess) {
    TempDir dir;
    std::string target = dir.file("team.setup");
    int err = 0;
    kvoFileLock* outer = kvoLockFile(target.c_str(), &err);
    ASSERT_NE(outer, nullptr) << err;
    std::string lockFile = dir.file(".ckp.lock");
    ASSERT_TRUE(fs::is_regular_file(lockFile));
    // Taken again by the same process, through another spelling of the path.
    kvoFileLock* inner = kvoLockFile((dir.path() + "/./other.setup").c_str(), &err);
    ASSERT_NE(inner, nullptr);
    EXPECT_FALSE(lockIsFree(lockFile));
    kvoUnlockFile(inner);
    EXPECT_FALSE(lockIsFree(lockFile));
    kvoUnlockFile(outer);
    EXPECT_FALSE(fs::exists(lockFile));

    // A holder that ends without unlocking frees the lock.
    pid_t child = fork();
    if (child == 0) {
        _exit(kvoLockFile(target.c_str(), nullptr) != nullptr ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    kvoFileLock* again = kvoLockFile(target.c_str(), &err);
    EXPECT_NE(again, nullptr);

    // A child of fork() inherits the open lock file but not the lock: it
    // waits for its parent, and keeps nothing alive once the parent is done.
    pid_t waiter = fork();
    if (waiter == 0) {
        alarm(1);
        kvoLockFile(target.c_str(), nullptr);
        _exit(0); // should not get here while the parent holds it
    }
    waitpid(waiter, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGALRM);
    pid_t sleeper = fork();
    if (sleeper == 0) {
        sleep(5);
        _exit(0);
    }
    kvoUnlockFile(again);
    EXPECT_FALSE(fs::exists(lockFile));
    kill(sleeper, SIGKILL);
    waitpid(sleeper, &status, 0);
}

// A planted lock file (a link, a FIFO) is refused; a special file gets no
// lock file beside it.
TEST(Lock, PlantedLockFilesAreRefused) {
    TempDir dir;
    std::string victim = dir.write("victim", "precious\n");
    fs::create_directory(dir.file("a"));
    fs::create_symlink(victim, dir.file("a/.ckp.lock"));
    fs::create_directory(dir.file("b"));
    ASSERT_EQ(mkfifo(dir.file("b/.ckp.lock").c_str(), 0600), 0);
    for (const char* target : {"a/x", "b/x"}) {
        int err = 0;
        EXPECT_EQ(kvoLockFile(dir.file(target).c_str(), &err), nullptr) << target;
        EXPECT_EQ(err, KVO_EBADLOCK) << target;
    }
    EXPECT_EQ(readFile(victim), "precious\n");
    std::string fifo = dir.file("pipe");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    fs::create_directory(dir.file("c"));
    fs::create_symlink(fifo, dir.file("c/link"));
    kvoFileLock* none = kvoLockFile(dir.file("c/link").c_str(), nullptr);
    EXPECT_NE(none, nullptr);
    kvoUnlockFile(none);
    EXPECT_FALSE(fs::exists(dir.file("c/.ckp.lock")));
}

// Two processes replace one file over and over while a third reads it:
// every read sees one writer's whole content.
TEST(Replace, ConcurrentWritersNeverPublishMixedContent) {
    TempDir dir;
    const std::string a(20000, 'a');
    const std::string b(20000, 'b');
    std::string target = dir.write("shared.ckpt", a);
    pid_t writers[2];
    for (int w = 0; w < 2; ++w) {
        writers[w] = fork();
        if (writers[w] == 0) {
            int failures = 0;
            for (int i = 0; i < 200; ++i) {
                failures += replaceWith(target, w == 0 ? a : b) != 0 ? 1 : 0;
            }
            _exit(failures == 0 ? 0 : 1);
        }
    }
    int torn = 0;
    for (int i = 0; i < 2000; ++i) {
        std::string seen = readFile(target);
        torn += seen == a || seen == b ? 0 : 1;
    }
    for (pid_t w : writers) {
        int status = 0;
        waitpid(w, &status, 0);
        EXPECT_EQ(WEXITSTATUS(status), 0);
    }
    EXPECT_EQ(torn, 0);
    EXPECT_EQ(ckptest::temporaryCount(dir.path()), 0);
}

} // namespace
#endif
