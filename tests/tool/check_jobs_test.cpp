// `ckp check -j N` reads files in several threads and reports exactly what
// one thread reports: the same lines in the same order, in every form.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "common/testutil.hpp"
#include "tool/run_tool.hpp"

namespace {

using ckptest::TempDir;

const std::string header = "WRXCHECKPOINT=\"1.0\"\n";

// Files of every kind, the slowest first so that later ones are done
// before it: many errors (past the cap of the gcc form), clean, header-less,
// binary, a cut long line, and one file included by two others, whose
// errors are shown once, where the first includer comes.
void writeMixedTree(const TempDir& dir) {
    std::filesystem::create_directories(dir.file("tree/sub"));
    std::string many = header;
    for (int i = 0; i < 300; ++i) {
        many += "r" + std::to_string(i) + " k=\"open\n";
    }
    dir.write("tree/a_many.ckpt", many);
    dir.write("tree/b_clean.Ckpt", header + "b k=\"v\" flag\n; a comment\n");
    dir.write("tree/c_old.ckpt", "c one two\nc three\n");
    dir.write("tree/d_binary.ckpt", std::string("WRX\0\0\x01 bytes", 12));
    dir.write("tree/e_long.setup", header + "e k=\"" + std::string(700, 'x') + "\"\n");
    dir.write("tree/sub/shared.ckpt", header + "s k=\"open\ns2 =\"v\"\n");
    for (int i = 0; i < 12; ++i) {
        dir.write("tree/sub/inc" + std::to_string(i) + ".ckpt",
                  header + "shared.ckpt WRXinc\nx" + std::to_string(i) + " k=\"\xff\x01\n");
    }
    dir.write("stdin.ckpt", header + "in k=\"open\n");
}

// Everything a run prints (stdout and stderr as a terminal would interleave
// them) and its exit status.
std::string runWithJobs(const TempDir& dir, const std::string& args, int jobs) {
    tooltest::Outcome run =
        tooltest::shell(dir, "$CKP check -j " + std::to_string(jobs) + " " + args + " 2>&1");
    return run.out + "exit " + std::to_string(run.code) + "\n";
}

TEST(ToolCheckJobs, ManyThreadsPrintWhatOneThreadPrints) {
    TempDir dir;
    writeMixedTree(dir);
    const std::string files = "tree/sub tree missing.ckpt tree/sub/inc3.ckpt - < stdin.ckpt";
    struct Case {
        std::string options;
        std::string expectedEnd; // how the single-threaded report ends
    };
    const Case cases[] = {
        {"--summary", "318 syntax errors in 18 of 20 files\nexit 2\n"},
        {"--no-context --color=always", "exit 2\n"},
        {"--format=json", "exit 2\n"},
        {"--format=github", "exit 2\n"},
        {"--format=sarif", "}\nexit 2\n"},
        {"-q", "\n318\nexit 2\n"},
        {"--format=json tree/b_clean.Ckpt tree/c_old.ckpt", "exit 1\n"},
    };
    for (const Case& c : cases) {
        bool clean = c.options.find("b_clean") != std::string::npos;
        std::string args = clean ? c.options : c.options + " " + files;
        std::string one = runWithJobs(dir, args, 1);
        EXPECT_TRUE(one.ends_with(c.expectedEnd))
            << c.options << "\n"
            << one.substr(one.size() - std::min<std::size_t>(one.size(), 300));
        EXPECT_NE(one.find(clean ? "no header" : "missing.ckpt: file not found"), std::string::npos)
            << c.options;
        for (int jobs : {2, 4, 16}) {
            EXPECT_EQ(runWithJobs(dir, args, jobs), one) << c.options << " -j " << jobs;
        }
    }
}

} // namespace
