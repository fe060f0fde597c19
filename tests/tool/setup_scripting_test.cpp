// ckp setup for scripts: JSON output, several properties set in one edit,
// and a setup read from standard input.
#include <gtest/gtest.h>

#include <string>

#include "common/testutil.hpp"
#include "tool/run_tool.hpp"

namespace {

using ckptest::readFile;
using ckptest::TempDir;
using tooltest::ckp;
using tooltest::Outcome;

const char* const team = "WRXCHECKPOINT=\"1.0\"\n"
                         "; the team\n"
                         "alice role=\"lead\" note=\"caf\xE9\"\n"
                         "bob remote role=\"layout\"\n";

TEST(ToolSetupScripting, JsonGivesNullForAFlag) {
    TempDir dir;
    dir.write("team.setup", team);
    struct Case {
        const char* args;
        const char* out;
    } cases[] = {
        {"setup list --json team.setup", "[\"alice\",\"bob\"]\n"},
        {"setup show --json team.setup", "{\"alice\":{\"note\":\"caf\\udce9\",\"role\":\"lead\"},"
                                         "\"bob\":{\"remote\":null,\"role\":\"layout\"}}\n"},
        {"setup show --json team.setup bob", "{\"bob\":{\"remote\":null,\"role\":\"layout\"}}\n"},
        {"setup get --json team.setup bob remote", "null\n"},
        {"setup get --json team.setup alice role", "\"lead\"\n"},
    };
    for (const Case& c : cases) {
        Outcome run = ckp(dir, c.args);
        EXPECT_EQ(run.code, 0) << c.args << run.err;
        EXPECT_EQ(run.out, c.out) << c.args;
    }
}

TEST(ToolSetupScripting, SeveralPropertiesInOneEdit) {
    TempDir dir;
    dir.write("team.setup", team);
    ASSERT_EQ(ckp(dir, "setup set team.setup carol role=review 'site=far east' remote").code, 0);
    // The old form keeps a value that holds '=': the property name has none.
    ASSERT_EQ(ckp(dir, "setup set team.setup bob note a=b").code, 0);
    EXPECT_EQ(readFile(dir.file("team.setup")), "WRXCHECKPOINT=\"1.0\"\n"
                                                "; the team\n"
                                                "alice role=\"lead\" note=\"caf\xE9\"\n"
                                                "bob remote role=\"layout\" note=\"a=b\"\n"
                                                "carol remote role=\"review\" site=\"far east\"\n");
    Outcome tooMany = ckp(dir, "setup set team.setup bob role lead extra");
    EXPECT_EQ(tooMany.code, 2);
    EXPECT_EQ(ckp(dir, "setup set team.setup bob 'bad name=x'").code, 2);
}

TEST(ToolSetupScripting, StandardInputIsLookedAtOnly) {
    TempDir dir;
    dir.write("team.setup", team);
    Outcome shown = ckp(dir, "setup show - <team.setup");
    EXPECT_EQ(shown.code, 0);
    EXPECT_EQ(shown.out,
              "alice\n  note=\"caf\xE9\"\n  role=\"lead\"\nbob\n  remote\n  role=\"layout\"\n");
    EXPECT_EQ(ckp(dir, "setup get - bob role <team.setup").out, "layout\n");
    Outcome change = ckp(dir, "setup set - bob role x <team.setup");
    EXPECT_EQ(change.code, 2);
    EXPECT_EQ(change.err, "ckp: standard input can only be looked at: list, show or get\n");
    dir.write("bad.setup", "WRXCHECKPOINT=\"1.0\"\nx k=\"open\n");
    Outcome bad = ckp(dir, "setup show - <bad.setup");
    EXPECT_EQ(bad.code, 2);
    EXPECT_NE(bad.err.find("\"stdin\""), std::string::npos) << bad.err;
    EXPECT_EQ(bad.err.find("ckp-stdin-"), std::string::npos) << bad.err;
}

} // namespace
