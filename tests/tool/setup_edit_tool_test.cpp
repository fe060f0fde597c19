// Edits of targets that cannot be edited: special files are refused at once
// instead of being waited on, over-long paths fail with their cause; neither
// leaves anything behind.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "common/testutil.hpp"
#include "tool/run_tool.hpp"

namespace {

using ckptest::TempDir;
using tooltest::ckp;
using tooltest::listing;
using tooltest::Outcome;

const std::string header = "WRXCHECKPOINT=\"1.0\"\n";

TEST(ToolEditTargets, RefusedAtOnceLeavingNothing) {
    TempDir dir;
    ASSERT_EQ(mkfifo(dir.file("in.fifo").c_str(), 0600), 0);
    ASSERT_EQ(mkdir(dir.file("sub").c_str(), 0700), 0);
    std::filesystem::create_symlink("in.fifo", dir.file("link.setup"));
    // Without the refusal the FIFO would be waited on for a writer: the
    // timeout ends that with 124. A setup edit loads the file first, and is
    // refused before that.
    for (const char* edit : {"fmt -i in.fifo", "fmt -i sub", "setup set in.fifo bob role lead",
                             "setup del in.fifo bob", "setup set link.setup e p v"}) {
        Outcome run = tooltest::shell(dir, std::string("timeout 20 \"$CKP\" ") + edit);
        EXPECT_EQ(run.code, 2) << edit;
        EXPECT_NE(run.err.find("not a regular file"), std::string::npos) << edit << ": " << run.err;
    }
    EXPECT_EQ(listing(dir), (std::vector<std::string>{"in.fifo", "link.setup", "sub"}));

    // Over-long paths name their cause and leave no lock.
    std::string part(200, 'd');
    std::string deep = part;
    for (int i = 0; i < 5; ++i) {
        deep += "/" + part;
    }
    std::string group = dir.file("g/" + part + "/" + part);
    std::filesystem::create_directories(group);
    std::filesystem::create_directories(dir.file(deep));
    dir.write("g/" + part + "/" + part + "/s.setup", header);
    dir.write(deep + "/x.setup", header);
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

} // namespace
