// Inclusion: a tree of files, recursion refusal, unreadable targets, and
// scans that cross included files.
#include <gtest/gtest.h>

#include <sys/stat.h>
#if !defined(_WIN32)
#include <fcntl.h>
#include <unistd.h>
#endif

#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/testutil.hpp"
#include "reading.hpp"

using readtest::Reader;
using readtest::v1;

namespace {
// main includes sub/a.ckp, which includes b (found as sub/b.Ckpt, a file
// without header whose first record is continued from a blank line).
struct Tree {
    ckptest::TempDir dir;
    std::string main;
    Tree() {
        main = dir.write("main.ckp", v1 + "m1\nsub/a.ckp WRXinc\nm2\n");
        dir.write("sub/a.ckp", v1 + "a1\nb WRXinc\na2 WRXc\n");
        dir.write("sub/b.Ckpt", " \\\nb1 3 static\n");
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
    // The record's type and path, and the file it comes from.
    const std::vector<std::pair<std::string, const char*>> steps = {
        {"header", "main.ckp"},      {"object m1", "main.ckp"},   {"include sub/a.ckp", "main.ckp"},
        {"header", "sub/a.ckp"},     {"header", "sub/a.ckp"},     {"object a1", "sub/a.ckp"},
        {"include b", "sub/a.ckp"},  {"header", "sub/b.Ckpt"},    {"header", "sub/b.Ckpt"},
        {"object b1", "sub/b.Ckpt"}, {"endinclude", "sub/a.ckp"}, {"config a2", "sub/a.ckp"},
        {"endinclude", "main.ckp"},  {"object m2", "main.ckp"},   {"end", "main.ckp"},
    };
    for (std::size_t i = 0; i < steps.size(); ++i) {
        EXPECT_EQ(readtest::trace(r, 1)[0], steps[i].first) << "step " << i;
        EXPECT_EQ(currentName(r.info), t.dir.file(steps[i].second)) << "step " << i;
        if (i == 3) {
            EXPECT_EQ(r.text(), "WRXCHECKPOINT=\"1.0\"");
        } else if (i == 8) {
            EXPECT_EQ(r.lineNumber(), 0); // the header holds no line
        } else if (i == 9) {
            EXPECT_EQ(r.prop("WRXb"), "static");
            EXPECT_EQ(r.firstLine(), 1); // read whole again
            EXPECT_EQ(r.lineNumber(), 2);
            int syntax = -9;
            ckpGetSyntax(r.info, nullptr, &syntax);
            EXPECT_EQ(syntax, 0);
        } else if (i == 11) {
            EXPECT_EQ(r.lineNumber(), 4); // the includer's count went on
        }
    }
    EXPECT_EQ(ckpGets(r.info), 0);
}

TEST(Include, RefusesRecursionAndUnreadableTargets) {
    ckptest::TempDir dir;
    // The file itself, and its includer reached by another spelling.
    std::string main = dir.write("main.ckp", v1 + "self.ckp WRXinc\nnext\n");
    dir.write("self.ckp", v1 + "self.ckp WRXinc\ns2\nup/../main.ckp WRXinc\ns3\n");
    dir.write("up/keep", "");
    Reader r(main);
    const std::string recursive = "syntax recursive file inclusion";
    EXPECT_EQ(readtest::trace(r),
              (std::vector<std::string>{"header", "include self.ckp", "header", "header",
                                        "include self.ckp", recursive, "object s2",
                                        "include up/../main.ckp", recursive, "object s3",
                                        "endinclude", "object next", "end"}));

    // A file whose header fails: the push fails, the includer reads on; an
    // empty file gives an empty header record, then its end.
    std::string other = dir.write("other.ckp", v1 + "sub WRXinc\n"
                                                    "missing WRXinc\n"
                                                    "badhdr WRXinc\n"
                                                    "v2 WRXinc\n"
                                                    "empty WRXinc\n"
                                                    "last\n");
    dir.write("sub/x", "");
    dir.write("badhdr", "WRXCHECKPOINT=\"1.5\"\nz\n");
    dir.write("v2", "WRXCHECKPOINT=\"2.0\"\nz\n");
    dir.write("empty", "");
    Reader u(other);
    EXPECT_EQ(readtest::trace(u),
              (std::vector<std::string>{
                  "header", "include sub", "syntax " + dir.file("sub") + ": Is a directory",
                  "include missing", "syntax " + dir.file("missing") + ": file not found",
                  "include badhdr", "error illegal minor version in syntax", "include v2",
                  "error unknown syntax version in tiStart", "include empty", "header", "header",
                  "endinclude", "object last", "end"}));
}

// Scans that cross included files: to the end of the main file (included
// files passed over), into an included file (the found record not delivered
// twice), past an include (target 1: not followed), armed on an included
// header (that file ends), for a record after included ends.
TEST(Include, ScansCrossIncludedFiles) {
    struct Case {
        int skip; // records read before the scan is armed
        int type;
        const char* name;
        std::vector<std::string> after;
    };
    const Case cases[] = {
        {1, ckpTypeEnd, nullptr, {"end"}},
        {1, ckpTypeObject, "b1", {"object b1", "endinclude", "config a2", "endinclude"}},
        {1, 1, "kept", {"object m2", "end"}},
        {4, ckpTypeEnd, nullptr, {"endinclude", "object m2", "end"}},
        {1, 0, "m2", {"object m2", "end"}},
    };
    for (const Case& c : cases) {
        Tree t;
        Reader r(t.main);
        readtest::trace(r, c.skip);
        ckpSetScan(r.info, 0, c.type, c.name);
        EXPECT_EQ(readtest::trace(r, static_cast<int>(c.after.size())), c.after)
            << c.type << " " << (c.name != nullptr ? c.name : "");
        if (c.type == 0) {
            EXPECT_STREQ(ckpGetConfigPath(r.info), "a2");
        }
    }
}

TEST(Include, FromAStreamWithoutName) {
    ckptest::TempDir dir;
    dir.write("inc.ckp", v1 + "i1\n");
    // Without an includer's name the path is taken as given.
    std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    std::unique_ptr<Reader> r(Reader::onPipe(v1 + "inc.ckp WRXinc\n", nullptr));
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(readtest::trace(*r, 3),
              (std::vector<std::string>{"header", "include inc.ckp", "header"}));
    EXPECT_EQ(currentName(r->info), "inc.ckp");
    EXPECT_EQ(readtest::trace(*r, 2), (std::vector<std::string>{"header", "object i1"}));
    std::filesystem::current_path(before);
}

#if !defined(_WIN32)
// An include names a file: a FIFO (or a device) is refused with a message
// naming it, before it is opened (an open would wait for a writer until the
// test times out), as a directory is; the main file may still be any stream.
TEST(Include, FilesThatAreNotRegularAreRefused) {
    ckptest::TempDir dir;
    ASSERT_EQ(mkfifo(dir.file("fifo").c_str(), 0600), 0);
    ASSERT_EQ(mkfifo(dir.file("pipe.Ckpt").c_str(), 0600), 0);
    std::string main = dir.write("main.ckp", v1 + "fifo WRXinc\npipe WRXinc\nlast\n");
    Reader included(main);
    EXPECT_EQ(readtest::trace(included),
              (std::vector<std::string>{
                  "header", "include fifo", "syntax " + dir.file("fifo") + ": not a regular file",
                  "include pipe", "syntax " + dir.file("pipe") + ": not a regular file",
                  "object last", "end"}));
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
