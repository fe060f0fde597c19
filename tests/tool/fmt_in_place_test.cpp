// fmt -i as an edit: a file already canonical is not rewritten.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "common/testutil.hpp"
#include "tool/run_tool.hpp"

namespace {

using ckptest::readFile;
using ckptest::TempDir;
using tooltest::ckp;
using tooltest::Outcome;

struct Identity {
    ino_t inode;
    time_t mtime;
    bool operator==(const Identity&) const = default;
};

Identity identityOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(stat(path.c_str(), &st), 0) << path;
    return {st.st_ino, st.st_mtime};
}

// Dates the file a day back, so that a rewrite shows in its mtime at once.
void ageFile(const std::string& path) {
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    struct timespec times[2] = {{st.st_mtime - 86400, 0}, {st.st_mtime - 86400, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

TEST(ToolFmtInPlace, OnlyAFileThatChangesIsRewritten) {
    TempDir dir;
    const std::string canonical = "WRXCHECKPOINT=\"1.0\"\n; kept\na x=\"1\" ; why\n";
    struct Case {
        std::string bytes;
        bool rewritten;
    };
    const std::vector<Case> cases = {
        {canonical, false},
        {"WRXCHECKPOINT=\"1.0\"\n\"\" kept=\"as written\"\n", false},
        {"WRXCHECKPOINT=\"1.0\"\na   x=\"1\"\n", true},
        {"a 1 static\n", true},
    };
    for (const Case& c : cases) {
        std::string file = dir.write("f.ckpt", c.bytes);
        ageFile(file);
        Identity before = identityOf(file);
        Outcome fmt = ckp(dir, "fmt -i f.ckpt");
        EXPECT_EQ(fmt.code, 0) << fmt.err;
        EXPECT_EQ(identityOf(file) == before, !c.rewritten) << c.bytes;
        EXPECT_EQ(readFile(file) == c.bytes, !c.rewritten) << c.bytes;
        EXPECT_EQ(ckp(dir, "fmt --check f.ckpt").code, 0) << readFile(file);
    }
}

} // namespace
