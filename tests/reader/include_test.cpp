// Inclusion: a tree of files, recursion refusal, unreadable targets, and
// scans that cross included files.
#include <gtest/gtest.h>

#include <sys/stat.h>
#if !defined(_WIN32)
#include <fcntl.h>
#include <unistd.h>
#endif

#include <atomic>
#include <chrono>
#include <thread>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "common/testutil.hpp"
#include "reading.hpp"

using readtest::Reader;
using readtest::v1;

namespace {
// main includes sub/a.ckp, which includes b (found as sub/b.Ckpt, a file
// without header).
struct Tree {
    ckptest::TempDir dir;
    std::string main;
    Tree() {
        main = dir.write("main.ckp", v1 + "m1\nsub/a.ckp WRXinc\nm2\n");
        dir.write("sub/a.ckp", v1 + "a1\nb WRXinc\na2 WRXc\n");
        dir.write("sub/b.Ckpt", "b1 3 static\n");
    }
};

std::string currentName(ckpInfo* info) {
    char* name = nullptr;
    ckpGetName(info, 1, &name);
    return name != nullptr ? name : "<null>";
}
} // namespace

TEST(Include, ReadsATreeOfFiles) {
    Tree t;
    Reader r(t.main);
    ASSERT_NE(r.info, nullptr);
    struct Step {
        int type;
        const char* path;
        const char* file;
    };
    const Step steps[] = {
        {ckpTypeHeader, "<null>", "main.ckp"},
        {ckpTypeObject, "m1", "main.ckp"},
        {ckpTypeInclude, "sub/a.ckp", "main.ckp"},
        {ckpTypeHeader, "sub/a.ckp", "sub/a.ckp"},
        {ckpTypeHeader, "sub/a.ckp", "sub/a.ckp"},
        {ckpTypeObject, "a1", "sub/a.ckp"},
        {ckpTypeInclude, "b", "sub/a.ckp"},
        {ckpTypeHeader, "b", "sub/b.Ckpt"},
        {ckpTypeHeader, "b", "sub/b.Ckpt"},
        {ckpTypeObject, "b1", "sub/b.Ckpt"},
        {ckpTypeEndInclude, "b1", "sub/a.ckp"},
        {ckpTypeConfigPath, "a2", "sub/a.ckp"},
        {ckpTypeEndInclude, "a2", "main.ckp"},
        {ckpTypeObject, "m2", "main.ckp"},
        {ckpTypeEnd, "m2", "main.ckp"},
    };
    int i = 0;
    for (const Step& s : steps) {
        EXPECT_EQ(r.next(), s.type) << "step " << i;
        EXPECT_EQ(r.path(), s.path) << "step " << i;
        EXPECT_EQ(currentName(r.info), t.dir.file(s.file)) << "step " << i;
        if (i == 3) {
            EXPECT_EQ(r.text(), "WRXCHECKPOINT=\"1.0\"");
        }
        if (i == 9) {
            EXPECT_EQ(r.prop("WRXb"), "static");
            EXPECT_EQ(r.lineNumber(), 1);
            int syntax = -9;
            ckpGetSyntax(r.info, nullptr, &syntax);
            EXPECT_EQ(syntax, 0);
        }
        if (i == 11) {
            EXPECT_EQ(r.lineNumber(), 4); // the includer's count went on
        }
        ++i;
    }
    EXPECT_EQ(ckpGets(r.info), 0);
    EXPECT_EQ(r.info->file->prev, nullptr);
}

TEST(Include, RefusesRecursion) {
    ckptest::TempDir dir;
    std::string main = dir.write("main.ckp", v1 + "self.ckp WRXinc\nnext\n");
    dir.write("self.ckp", v1 + "self.ckp WRXinc\ns2\nup/../main.ckp WRXinc\ns3\n");
    dir.write("up/keep", "");
    Reader r(main);
    ASSERT_NE(r.info, nullptr);
    r.next();
    EXPECT_EQ(r.next(), ckpTypeInclude);
    EXPECT_EQ(r.next(), ckpTypeHeader);
    EXPECT_EQ(r.next(), ckpTypeHeader);
    EXPECT_EQ(r.next(), ckpTypeInclude);
    // The file itself, and its includer reached by another spelling.
    EXPECT_EQ(r.next(), ckpTypeSyntax);
    EXPECT_EQ(r.syntaxMsg(), "recursive file inclusion");
    EXPECT_EQ(r.text(), "self.ckp"); // the record shows the name
    EXPECT_EQ(r.next(), ckpTypeObject);
    EXPECT_EQ(r.path(), "s2");
    EXPECT_EQ(r.next(), ckpTypeInclude);
    EXPECT_EQ(r.next(), ckpTypeSyntax);
    EXPECT_EQ(r.syntaxMsg(), "recursive file inclusion");
    EXPECT_EQ(r.next(), ckpTypeObject);
    EXPECT_EQ(r.path(), "s3");
    EXPECT_EQ(r.next(), ckpTypeEndInclude);
    EXPECT_EQ(r.next(), ckpTypeObject);
    EXPECT_EQ(r.path(), "next");
    EXPECT_EQ(r.next(), ckpTypeEnd);
}

TEST(Include, DistinctFilesWithTheSameNodeAreIncluded) {
    ckptest::TempDir dir;
    std::string main = dir.write("main.ckp", v1 + "other.ckp WRXinc\n");
    std::string other = dir.write("other.ckp", v1 + "o1\n");
    struct stat st;
    ASSERT_EQ(stat(other.c_str(), &st), 0);
    Reader r(main);
    ASSERT_NE(r.info, nullptr);
    // The 16-bit node alone would call the two files the same.
    r.info->file->node = static_cast<std::uint16_t>(st.st_ino);
    r.next();
    EXPECT_EQ(r.next(), ckpTypeInclude);
    EXPECT_EQ(r.next(), ckpTypeHeader);
    r.next();
    EXPECT_EQ(r.next(), ckpTypeObject);
    EXPECT_EQ(r.path(), "o1");
}

TEST(Include, UnreadableTargets) {
    ckptest::TempDir dir;
    std::string main = dir.write("main.ckp", v1 + "sub WRXinc\n"
                                                  "missing WRXinc\n"
                                                  "badhdr WRXinc\n"
                                                  "empty WRXinc\n"
                                                  "last\n");
    dir.write("sub/x", "");
    dir.write("badhdr", "WRXCHECKPOINT=\"1.5\"\nz\n");
    dir.write("empty", "");
    Reader r(main);
    ASSERT_NE(r.info, nullptr);
    r.next();
    EXPECT_EQ(r.next(), ckpTypeInclude);
    EXPECT_EQ(r.next(), ckpTypeSyntax);
    EXPECT_EQ(r.syntaxMsg(), dir.file("sub") + ": Is a directory");
    EXPECT_EQ(r.next(), ckpTypeInclude);
    EXPECT_EQ(r.next(), ckpTypeSyntax);
    EXPECT_EQ(r.syntaxMsg(), dir.file("missing") + ": file not found");
    EXPECT_EQ(r.next(), ckpTypeInclude);
    // A file whose header fails: the push fails, the includer reads on.
    EXPECT_EQ(r.next(), ckpTypeError);
    EXPECT_STREQ(ckpGetError(), "illegal minor version in syntax");
    EXPECT_EQ(r.info->file->prev, nullptr);
    EXPECT_EQ(r.next(), ckpTypeInclude);
    // An empty file: an empty header record, then its end.
    EXPECT_EQ(r.next(), ckpTypeHeader);
    EXPECT_EQ(r.next(), ckpTypeHeader);
    EXPECT_EQ(r.next(), ckpTypeEndInclude);
    EXPECT_EQ(r.next(), ckpTypeObject);
    EXPECT_EQ(r.path(), "last");
    EXPECT_EQ(r.next(), ckpTypeEnd);
}

// To the end of the main file: included files are passed over.
TEST(Include, ScanToTheEndPassesOverIncludedFiles) {
    Tree t;
    Reader r(t.main);
    r.next();
    ckpSetScan(r.info, 0, ckpTypeEnd, nullptr);
    EXPECT_EQ(r.next(), ckpTypeEnd);
    EXPECT_EQ(r.info->file->prev, nullptr);
    EXPECT_EQ(ckpGets(r.info), 0);
}

// Into an included file; the found record is not delivered twice.
TEST(Include, ScanFindsARecordInAnIncludedFile) {
    Tree t;
    Reader r(t.main);
    r.next();
    ckpSetScan(r.info, 0, ckpTypeObject, "b1");
    EXPECT_EQ(r.next(), ckpTypeObject);
    EXPECT_EQ(currentName(r.info), t.dir.file("sub/b.Ckpt"));
    EXPECT_EQ(r.next(), ckpTypeEndInclude);
    EXPECT_EQ(r.next(), ckpTypeConfigPath);
}

// Target 1: stops at the include record without following it.
TEST(Include, ScanPastAnIncludeDoesNotFollowIt) {
    Tree t;
    Reader r(t.main);
    r.next();
    ckpSetScan(r.info, 0, 1, "kept");
    EXPECT_EQ(r.next(), ckpTypeObject);
    EXPECT_EQ(r.path(), "m2");
    EXPECT_EQ(r.info->scan.type, 0);
    EXPECT_STREQ(r.info->scan.name, "kept");
    EXPECT_EQ(r.next(), ckpTypeEnd);
}

// Armed on an included file's header: its end, the rest skipped.
TEST(Include, ScanArmedOnAnIncludedHeaderEndsThatFile) {
    Tree t;
    Reader r(t.main);
    r.next();
    r.next();
    r.next();
    EXPECT_EQ(r.next(), ckpTypeHeader);
    ckpSetScan(r.info, 0, ckpTypeEnd, nullptr);
    EXPECT_EQ(r.next(), ckpTypeEndInclude);
    EXPECT_EQ(r.info->scan.type, 0);
    EXPECT_EQ(r.next(), ckpTypeObject);
    EXPECT_EQ(r.path(), "m2");
}

// Included files' ends are passed over by a scan for something else.
TEST(Include, ScanForARecordPassesOverIncludedEnds) {
    Tree t;
    Reader r(t.main);
    r.next();
    ckpSetScan(r.info, 0, 0, "m2");
    EXPECT_EQ(r.next(), ckpTypeObject);
    EXPECT_EQ(r.path(), "m2");
    EXPECT_STREQ(ckpGetConfigPath(r.info), "a2");
}

TEST(Include, FromAStreamWithoutName) {
    ckptest::TempDir dir;
    dir.write("inc.ckp", v1 + "i1\n");
    // Without an includer's name the path is taken as given.
    std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    std::unique_ptr<Reader> r(Reader::onPipe(v1 + "inc.ckp WRXinc\n", nullptr));
    ASSERT_NE(r, nullptr);
    r->next();
    EXPECT_EQ(r->next(), ckpTypeInclude);
    EXPECT_EQ(r->next(), ckpTypeHeader);
    EXPECT_EQ(currentName(r->info), "inc.ckp");
    r->next();
    EXPECT_EQ(r->next(), ckpTypeObject);
    EXPECT_EQ(r->path(), "i1");
    std::filesystem::current_path(before);
}

// An include that fails after its file was opened gives one error, leaves
// no action pending, and the includer reads on.
TEST(Include, AFailedIncludeLeavesNothingBehind) {
    ckptest::TempDir dir;
    std::string main = dir.write("main.ckp", v1 + "v2 WRXinc\nafter1\nbad WRXinc\nafter2\n");
    dir.write("v2", "WRXCHECKPOINT=\"2.0\"\nz\n");
    dir.write("bad", "WRXCHECKPOINT=\"1.5\"\nz\n");
    Reader r(main);
    ASSERT_NE(r.info, nullptr);
    r.next();
    EXPECT_EQ(r.next(), ckpTypeInclude);
    EXPECT_EQ(r.next(), ckpTypeError);
    EXPECT_STREQ(ckpGetError(), "unknown syntax version in tiStart");
    EXPECT_FALSE(r.info->actionSet == 1 && r.info->action != 0);
    EXPECT_EQ(r.next(), ckpTypeObject);
    EXPECT_EQ(r.path(), "after1");
    EXPECT_EQ(r.next(), ckpTypeInclude);
    EXPECT_EQ(r.next(), ckpTypeError);
    EXPECT_EQ(r.next(), ckpTypeObject);
    EXPECT_EQ(r.path(), "after2");
    EXPECT_EQ(r.next(), ckpTypeEnd);
}

#if !defined(_WIN32)
namespace {
// Opens the FIFOs for writing whenever a reader waits on one, so that a
// reader that opened one by mistake sees an empty file instead of hanging.
class FifoUnblocker {
  public:
    explicit FifoUnblocker(std::vector<std::string> paths)
        : paths_(std::move(paths)), thread_([this] { run(); }) {}
    ~FifoUnblocker() {
        stop_ = true;
        thread_.join();
    }
    FifoUnblocker(const FifoUnblocker&) = delete;
    FifoUnblocker& operator=(const FifoUnblocker&) = delete;
    bool unblocked() const { return unblocked_; }

  private:
    void run() {
        while (!stop_) {
            for (const std::string& path : paths_) {
                int fd = open(path.c_str(), O_WRONLY | O_NONBLOCK);
                if (fd >= 0) {
                    unblocked_ = true;
                    close(fd);
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    std::vector<std::string> paths_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> unblocked_{false};
    std::thread thread_;
};
} // namespace

// An include names a file: a FIFO (or a device) is refused with a message
// naming it, before it is opened, as a directory is; the main file may still
// be any stream.
TEST(Include, FilesThatAreNotRegularAreRefused) {
    ckptest::TempDir dir;
    ASSERT_EQ(mkfifo(dir.file("fifo").c_str(), 0600), 0);
    ASSERT_EQ(mkfifo(dir.file("pipe.Ckpt").c_str(), 0600), 0);
    std::string main = dir.write("main.ckp", v1 + "fifo WRXinc\npipe WRXinc\nlast\n");
    {
        FifoUnblocker unblocker({dir.file("fifo"), dir.file("pipe.Ckpt")});
        Reader r(main);
        ASSERT_NE(r.info, nullptr);
        r.next();
        EXPECT_EQ(r.next(), ckpTypeInclude);
        EXPECT_EQ(r.next(), ckpTypeSyntax);
        EXPECT_EQ(r.syntaxMsg(), dir.file("fifo") + ": not a regular file");
        EXPECT_EQ(r.next(), ckpTypeInclude);
        EXPECT_EQ(r.next(), ckpTypeSyntax);
        EXPECT_EQ(r.syntaxMsg(), dir.file("pipe") + ": not a regular file");
        EXPECT_EQ(r.next(), ckpTypeObject);
        EXPECT_EQ(r.path(), "last");
        EXPECT_EQ(r.next(), ckpTypeEnd);
        EXPECT_FALSE(unblocker.unblocked());
    }
    std::thread writer([&] {
        std::FILE* f = std::fopen(dir.file("fifo").c_str(), "w");
        if (f != nullptr) {
            std::fputs("WRXCHECKPOINT=\"1.0\"\na x=\"1\"\n", f);
            std::fclose(f);
        }
    });
    Reader r(dir.file("fifo"));
    EXPECT_NE(r.info, nullptr);
    if (r.info != nullptr) {
        EXPECT_EQ(r.next(), ckpTypeHeader);
        EXPECT_EQ(r.next(), ckpTypeObject);
        EXPECT_EQ(r.prop("x"), "1");
        EXPECT_EQ(r.next(), ckpTypeEnd);
    }
    writer.join();
}
#endif
