// The setup file edit on bytes: what changed since the load is applied to the
// file as it is now, and everything else stays byte for byte.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "format_error.hpp"
#include "setup_edit.hpp"

namespace {

using ckptool::applySetupChanges;
using ckptool::changesBetween;
using ckptool::EntryChange;
using ckptool::SetupEntries;
using ckptool::SetupProps;
using ckptool::ToolError;

const std::string header = "WRXCHECKPOINT=\"1.0\"\n";

// bob as loaded, with spacing and comments of a hand-edited file.
const std::string team = header + "; the team\n"
                                  "alice site=\"north\" ; lead\n"
                                  "bob  site=\"south\"   remote\n";

const SetupProps alice{{"site", "north"}};
const SetupProps bob{{"remote", std::nullopt}, {"site", "south"}};

struct EditCase {
    const char* what;
    std::string bytes;
    std::vector<EntryChange> changes;
    std::string expected;
};

TEST(SetupEdit, AppliesOnlyTheChanges) {
    const std::vector<EditCase> cases = {
        {"new entries go where they sort",
         team,
         {{"aaron", std::nullopt, SetupProps{{"x", "1"}}},
          {"ben", std::nullopt, SetupProps{}},
          {"zoe", std::nullopt, SetupProps{{"y", std::nullopt}}}},
         header + "; the team\naaron x=\"1\"\nalice site=\"north\" ; lead\nben\n"
                  "bob  site=\"south\"   remote\nzoe y\n"},
        {"no line end at the end of the file",
         header + "alice site=\"north\"",
         {{"bob", std::nullopt, bob}},
         header + "alice site=\"north\"\nbob remote site=\"south\"\n"},
        {"a change the file already holds writes nothing",
         team,
         {{"bob", SetupProps{}, bob}},
         team},
        {"a record continued to the end loses its backslash, wherever the other edits are",
         header + "alice site=\"north\"\nzed a=\"1\" \\",
         {{"alice", alice, SetupProps{{"site", "far away"}}}, {"zz", std::nullopt, SetupProps{}}},
         header + "alice site=\"far away\"\nzed a=\"1\" \nzz\n"},
    };
    for (const EditCase& c : cases) {
        EXPECT_EQ(applySetupChanges("team.setup", c.bytes, c.changes), c.expected) << c.what;
    }
}

TEST(SetupEdit, ConflictNamesTheEntry) {
    // bob changed on disk since the load, and in memory too.
    std::string onDisk = header + "bob site=\"west\"\n";
    try {
        applySetupChanges("team.setup", onDisk, {{"bob", bob, SetupProps{{"site", "east"}}}});
        FAIL() << "no conflict";
    } catch (const ToolError& e) {
        EXPECT_NE(std::string(e.what()).find("entry bob "), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("team.setup"), std::string::npos) << e.what();
    }
    // Deleted on disk, changed in memory; added on both sides differently.
    EXPECT_THROW(applySetupChanges("t", header, {{"bob", bob, SetupProps{}}}), ToolError);
    EXPECT_THROW(
        applySetupChanges("t", header + "carl a\n", {{"carl", std::nullopt, SetupProps{}}}),
        ToolError);
}

// The changes since the load, property order aside, applied to the file
// as it is now: another entry's concurrent change survives.
TEST(SetupEdit, AnotherEntrysConcurrentChangeSurvives) {
    SetupEntries loaded{{"alice", alice}, {"bob", bob}, {"erin", {}}};
    SetupEntries now{{"alice", {{"site", "east"}}},
                     {"bob", {{"site", "south"}, {"remote", std::nullopt}}},
                     {"dora", {}}};
    // Meanwhile on disk: bob changed, carl added.
    std::string onDisk = header + "alice site=\"north\"\nbob site=\"west\"\ncarl\nerin\n";
    EXPECT_EQ(applySetupChanges("t", onDisk, changesBetween(loaded, now)),
              header + "alice site=\"east\"\nbob site=\"west\"\ncarl\ndora\n");
}

} // namespace
