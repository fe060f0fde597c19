// What the command's writes do to the files they replace: mode, owner,
// links and special files kept; setup edits locked and complete under
// concurrency; failed and closed standard output; temporaries removed when
// the command is ended by a signal.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <future>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "common/testutil.hpp"
#include "tool/run_tool.hpp"

namespace {

namespace fs = std::filesystem;
using ckptest::readFile;
using ckptest::TempDir;
using tooltest::ckp;
using tooltest::Outcome;
using tooltest::shell;
using tooltest::temporaries;

const std::string messy = "WRXCHECKPOINT=\"1.0\"\na   x=\"1\"\n";
const std::string canonical = "WRXCHECKPOINT=\"1.0\"\na x=\"1\"\n";

// Everything a reader of the FIFO gets until its writer closes it.
std::future<std::string> drain(const std::string& fifo) {
    return std::async(std::launch::async, [fifo] { return readFile(fifo); });
}

// fmt -i and setup set keep a file's mode, its owner (when root edits
// another user's file) and a link to it, whose target gets the new content;
// formatting to standard output leaves no copy anywhere in reach.
TEST(ToolSafeOutput, ModeOwnerLinksAndSpecialTargets) {
    TempDir dir;
    fs::create_directory(dir.file("real"));
    dir.write("in.ckpt", messy);
    dir.write("real/data.ckpt", messy);
    dir.write("real/team.setup", "WRXCHECKPOINT=\"1.0\"\n");
    fs::create_symlink("real/data.ckpt", dir.file("link.ckpt"));
    fs::create_symlink("real/team.setup", dir.file("link.setup"));
    const bool root = geteuid() == 0;
    for (const char* name : {"real/data.ckpt", "real/team.setup"}) {
        ASSERT_EQ(chmod(dir.file(name).c_str(), 0600), 0);
        ASSERT_TRUE(!root || chown(dir.file(name).c_str(), 65534, 65534) == 0);
    }
    ASSERT_EQ(ckp(dir, "fmt -i link.ckpt").code, 0);
    ASSERT_EQ(ckp(dir, "setup set link.setup bob role dev").code, 0);
    EXPECT_EQ(readFile(dir.file("real/data.ckpt")), canonical);
    EXPECT_EQ(readFile(dir.file("real/team.setup")), "WRXCHECKPOINT=\"1.0\"\nbob role=\"dev\"\n");
    for (const char* name : {"real/data.ckpt", "real/team.setup"}) {
        struct stat st {};
        ASSERT_EQ(stat(dir.file(name).c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0600u) << name;
        EXPECT_TRUE(!root || (st.st_uid == 65534 && st.st_gid == 65534)) << name;
    }
    EXPECT_TRUE(fs::is_symlink(dir.file("link.ckpt")));
    EXPECT_TRUE(fs::is_symlink(dir.file("link.setup")));
    // A dangling link makes the file it names; a FIFO is written in place
    // and stays a FIFO; "-" is standard output.
    fs::create_symlink("real/new.ckpt", dir.file("dangling.ckpt"));
    ASSERT_EQ(ckp(dir, "fmt in.ckpt -o dangling.ckpt").code, 0);
    EXPECT_TRUE(fs::is_symlink(dir.file("dangling.ckpt")));
    EXPECT_EQ(readFile(dir.file("real/new.ckpt")), canonical);
    ASSERT_EQ(mkfifo(dir.file("out.fifo").c_str(), 0600), 0);
    std::future<std::string> got = drain(dir.file("out.fifo"));
    ASSERT_EQ(ckp(dir, "fmt in.ckpt -o out.fifo").code, 0);
    EXPECT_EQ(got.get(), canonical);
    EXPECT_TRUE(fs::is_fifo(dir.file("out.fifo")));
    EXPECT_EQ(ckp(dir, "fmt in.ckpt -o -"), (Outcome{0, canonical, ""}));
    EXPECT_FALSE(fs::exists(dir.file("-")));
    dir.write("head.out", "");
    auto before = tooltest::listing(dir);
    ASSERT_EQ(shell(dir, "TMPDIR=\"$PWD\" \"$CKP\" fmt link.ckpt | head -c 5 >head.out").code, 0);
    ASSERT_EQ(shell(dir, "TMPDIR=\"$PWD\" \"$CKP\" fmt --check link.ckpt").code, 0);
    EXPECT_EQ(tooltest::listing(dir), before);
    EXPECT_TRUE(temporaries(dir).empty());
}

// The entries e<P>-<I> that P processes set, I from first to last, sorted.
std::string entriesSet(int processes, int first, int last) {
    std::string names;
    for (int p = 0; p < processes; ++p) {
        for (int i = first; i <= last; ++i) {
            names += "e" + std::to_string(p) + "-" + std::to_string(i) + "\n";
        }
    }
    return names;
}

// 8 processes make 25 edits each of entries of their own in one setup file,
// all at once, while fmt -i rewrites it in a loop. Every edit must survive
// (fmt holds the same lock), and none may report success while its change
// is lost.
TEST(ToolSafeOutput, ConcurrentEditsAllSurvive) {
    TempDir dir;
    dir.write("team.setup", "WRXCHECKPOINT=\"1.0\"\n; the team\n");
    auto began = std::chrono::steady_clock::now();
    Outcome run =
        shell(dir, "( while [ ! -e done ]; do\n"
                   "    \"$CKP\" fmt -i team.setup || echo fmt failed\n"
                   "    echo >>formats\n"
                   "  done ) &\n"
                   "( for p in 0 1 2 3 4 5 6 7; do\n"
                   "    ( for i in $(seq 10 34); do\n"
                   "        \"$CKP\" setup set team.setup e$p-$i n $i || echo e$p-$i failed\n"
                   "      done ) &\n"
                   "  done\n"
                   "  wait )\n"
                   "touch done\n"
                   "wait\n");
    auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    EXPECT_EQ(run, (Outcome{0, "", ""}));
    EXPECT_TRUE(fs::exists(dir.file("formats")));
    EXPECT_EQ(ckp(dir, "setup list team.setup"), (Outcome{0, entriesSet(8, 10, 34), ""}));
    EXPECT_EQ(readFile(dir.file("team.setup")).rfind("WRXCHECKPOINT=\"1.0\"\n; the team\n", 0), 0u);
    EXPECT_TRUE(temporaries(dir).empty());
    std::printf("[ figures  ] 8 processes x 25 setup set beside fmt -i: %.2f s\n", seconds);
}

// Several creators at once: one wins, the others say the file exists.
TEST(ToolSafeOutput, CreateNeverReplacesAFile) {
    TempDir dir;
    for (int round = 0; round < 5; ++round) {
        std::string name = "race" + std::to_string(round) + ".setup";
        Outcome race = shell(dir, "for p in 1 2 3 4 5 6; do\n"
                                  "  ( \"$CKP\" setup create " +
                                      name +
                                      " && echo won ) &\n"
                                      "done\n"
                                      "wait\n");
        EXPECT_EQ(race.out, "won\n") << name;
        EXPECT_EQ(std::count(race.err.begin(), race.err.end(), '\n'), 5) << race.err;
        EXPECT_EQ(readFile(dir.file(name)), "WRXCHECKPOINT=\"1.0\"\n");
    }
}

TEST(ToolOutput, FailedAndClosedStandardOutput) {
    TempDir dir;
    std::string big = "WRXCHECKPOINT=\"1.0\"\n";
    for (int i = 0; i < 30000; ++i) {
        big +=
            "lib/cell" + std::to_string(i) + " owner=\"someone\" n=\"" + std::to_string(i) + "\"\n";
    }
    dir.write("big.ckpt", big);
    dir.write("team.setup", "WRXCHECKPOINT=\"1.0\"\nbob role=\"dev\"\n");
    // Only the command's standard output is limited in size (its errors
    // go through a pipe, which no file size limit reaches).
    for (const char* args :
         {"json big.ckpt", "json --array big.ckpt", "fmt big.ckpt", "setup list team.setup",
          "setup show team.setup", "setup get team.setup bob role", "--version", "fmt --help"}) {
        std::string script = std::string("( ulimit -f 0; exec \"$CKP\" ") + args +
                             " >out ) 2>&1 | cat\nexit ${PIPESTATUS[0]}\n";
        EXPECT_EQ(shell(dir, script), (Outcome{2, "ckp: write error: File too large\n", ""}))
            << args;
    }
    // A closed pipe ends the command quietly, whether the pipe's signal ends
    // it or is ignored and the write fails. The input never ends, so a
    // command that went on after the pipe closed would never finish.
    for (const char* trap : {"", "trap '' PIPE\n"}) {
        std::string script = std::string(trap) +
                             "{ echo 'WRXCHECKPOINT=\"1.0\"'; yes 'a n=\"1\"'; } 2>yes.err |\n"
                             "  \"$CKP\" json - | head -c 10 >head.out\n"
                             "exit ${PIPESTATUS[1]}\n";
        EXPECT_EQ(shell(dir, script), (Outcome{*trap ? 2 : 141, "", ""})) << trap;
    }
}

// A command ended by SIGINT, SIGTERM or SIGHUP removes its temporary. The
// command is held where it has one: its output's replacement is begun, and
// it waits for its input from a FIFO that the test keeps open.
TEST(ToolSignals, EndedCommandLeavesNoTemporary) {
    TempDir dir;
    ASSERT_EQ(mkfifo(dir.file("in.fifo").c_str(), 0600), 0);
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
        int pid = tooltest::start(dir, {"fmt", "in.fifo", "-o", "out.ckpt"});
        ASSERT_GT(pid, 0);
        int fifo = open(dir.file("in.fifo").c_str(), O_WRONLY);
        ASSERT_GE(fifo, 0);
        ASSERT_EQ(write(fifo, "WRXCHECKPOINT=\"1.0\"\n", 20), 20);
        EXPECT_EQ(temporaries(dir).size(), 1u) << signal;
        ASSERT_EQ(kill(pid, signal), 0);
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        close(fifo);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << signal;
        EXPECT_TRUE(temporaries(dir).empty()) << signal;
        EXPECT_FALSE(fs::exists(dir.file("out.ckpt")));
    }
}

// A held lock: the edit waits CKP_LOCK_TIMEOUT seconds, then fails with
// exit 2 naming the lock file, and the file stays. Once its holder is gone,
// the left lock file is taken over, and no lock file remains.
TEST(ToolLock, HeldLockTimesOutNamingTheLockFileAndNothingRemains) {
    TempDir dir;
    const std::string before = "WRXCHECKPOINT=\"1.0\"\nbob role=\"x\"\n";
    dir.write("team.setup", before);
    Outcome held =
        shell(dir, "( exec 9>.ckp.lock; flock 9; touch locked; exec sleep 30 ) &\n"
                   "holder=$!\n"
                   "while [ ! -e locked ]; do sleep 0.02; done\n"
                   "CKP_LOCK_TIMEOUT=0.2 \"$CKP\" setup set team.setup bob role y 2>err\n"
                   "code=$?\n"
                   "kill $holder; wait\n"
                   "exit $code\n");
    EXPECT_EQ(held.code, 2);
    EXPECT_EQ(readFile(dir.file("err")),
              "ckp: cannot lock team.setup: another edit holds the lock file .ckp.lock (waited "
              "CKP_LOCK_TIMEOUT seconds, default 10)\n");
    EXPECT_EQ(readFile(dir.file("team.setup")), before);
    Outcome set = ckp(dir, "setup set team.setup bob role y");
    EXPECT_EQ(set.code, 0) << set.err;
    EXPECT_FALSE(fs::exists(dir.file(".ckp.lock")));
    EXPECT_TRUE(temporaries(dir).empty());
}

// A file over the size limit is a write error, not a silent death by
// SIGXFSZ, and leaves no temporary.
TEST(ToolSignals, FileSizeLimitIsAWriteError) {
    TempDir dir;
    Outcome create = shell(dir, "( ulimit -f 0; exec \"$CKP\" setup create new.setup ) 2>&1 | cat\n"
                                "exit ${PIPESTATUS[0]}\n");
    EXPECT_EQ(create.code, 2);
    EXPECT_NE(create.out.find("File too large"), std::string::npos) << create;
    EXPECT_TRUE(temporaries(dir).empty());
    EXPECT_FALSE(fs::exists(dir.file("new.setup")));

    // The message names the output that could not be written, also when the
    // new text fails on its way there, and the input stays as it was.
    std::string big = "WRXCHECKPOINT=\"1.0\"\n";
    for (int i = 0; i < 3000; ++i) {
        big += "e" + std::to_string(100000 + i) + " k=\"v\"  x=\"y\"\n";
    }
    dir.write("big.ckpt", big);
    struct Case {
        const char* args;
        const char* message;
    } cases[] = {{"fmt big.ckpt -o out.ckpt", "ckp: cannot write out.ckpt: File too large\n"},
                 {"fmt -i big.ckpt", "ckp: cannot write big.ckpt: File too large\n"}};
    for (const Case& c : cases) {
        EXPECT_EQ(shell(dir, std::string("( ulimit -f 40; exec \"$CKP\" ") + c.args + " )"),
                  (Outcome{2, "", c.message}));
        EXPECT_TRUE(temporaries(dir).empty()) << c.args;
        EXPECT_EQ(readFile(dir.file("big.ckpt")), big) << c.args;
    }

    // The new text is put together in memory: the limit binds only the
    // files written, not standard output into a pipe.
    EXPECT_EQ(shell(dir, "( ulimit -f 40; exec \"$CKP\" fmt big.ckpt ) | cat\n"
                         "exit ${PIPESTATUS[0]}\n"),
              ckp(dir, "fmt big.ckpt"));
    EXPECT_GT(ckp(dir, "fmt big.ckpt").out.size(), std::size_t{40 * 1024});
}

} // namespace
