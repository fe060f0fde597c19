// ckp setup set/del through the setup file edit: concurrent edits of other
// entries survive, CR LF stays, control characters are shown escaped, and
// over-long paths fail with their cause and leave no lock behind.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "common/testutil.hpp"
#include "tool/run_tool.hpp"

namespace {

using ckptest::readFile;
using ckptest::TempDir;
using tooltest::ckp;
using tooltest::listing;
using tooltest::Outcome;
using tooltest::shell;

const std::string header = "WRXCHECKPOINT=\"1.0\"";

TEST(ToolSetupEdit, CrLfFileGetsItsNewRecordWithCrLf) {
    TempDir dir;
    dir.write("t.setup", header + "\r\nbob  remote ; here\r\n");
    ASSERT_EQ(ckp(dir, "setup set t.setup carl role dev").code, 0);
    ASSERT_EQ(ckp(dir, "setup set t.setup bob site x").code, 0);
    EXPECT_EQ(readFile(dir.file("t.setup")),
              header + "\r\nbob remote site=\"x\" ; here\r\ncarl role=\"dev\"\r\n");
}

TEST(ToolSetupEdit, ControlCharactersAreShownEscaped) {
    TempDir dir;
    dir.write("t.setup", header + "\nbob v=\"a\x1b[31mb\"\n");
    Outcome show = ckp(dir, "setup show t.setup");
    Outcome get = ckp(dir, "setup get t.setup bob v");
    EXPECT_EQ(show.out, "bob\n  v=\"a\\x1b[31mb\"\n");
    EXPECT_EQ(get.out, "a\\x1b[31mb\n");
}

TEST(ToolSetupEdit, OverLongPathsNameTheCauseAndLeaveNoLock) {
    TempDir dir;
    std::string part(200, 'd');
    std::string deep = part;
    for (int i = 0; i < 5; ++i) {
        deep += "/" + part;
    }
    std::string group = dir.file("g/" + part + "/" + part);
    std::filesystem::create_directories(group);
    std::filesystem::create_directories(dir.file(deep));
    dir.write("g/" + part + "/" + part + "/s.setup", header + "\n");
    dir.write(deep + "/x.setup", header + "\n");
    struct Case {
        std::string args;
        std::string cause;
    };
    const std::vector<Case> cases = {
        {"setup set " + deep + "/x.setup e p v", "its path is longer than 1023 characters"},
        {"setup set s.setup e p v", "the search group kvosetup finds " + group + "/s.setup"},
    };
    std::vector<std::string> before = listing(dir);
    setenv("KVO_SEARCH_KVOSETUP", group.c_str(), 1);
    for (const Case& c : cases) {
        Outcome out = ckp(dir, c.args);
        EXPECT_EQ(out.code, 2);
        EXPECT_NE(out.err.find(c.cause), std::string::npos) << out.err;
        EXPECT_EQ(listing(dir), before);
    }
    unsetenv("KVO_SEARCH_KVOSETUP");
}

TEST(ToolSetupEdit, SpecialFilesAreRefusedAtOnce) {
    TempDir dir;
    ASSERT_EQ(mkfifo(dir.file("s.fifo").c_str(), 0600), 0);
    std::filesystem::create_symlink("s.fifo", dir.file("link.setup"));
    for (const char* args : {"set s.fifo e p v", "del s.fifo e", "set link.setup e p v"}) {
        // Reading the FIFO would wait for a writer: the timeout ends that with 124.
        int code = shell(dir, std::string("timeout 10 \"$CKP\" setup ") + args +
                                  " 2>err.txt; echo $? >code.txt");
        ASSERT_EQ(code, 0);
        EXPECT_EQ(readFile(dir.file("code.txt")), "2\n") << args;
        EXPECT_NE(readFile(dir.file("err.txt")).find("not a regular file"), std::string::npos)
            << args << ": " << readFile(dir.file("err.txt"));
    }
    EXPECT_EQ(listing(dir),
              (std::vector<std::string>{"code.txt", "err.txt", "link.setup", "s.fifo"}));
}

} // namespace
