// `ckp check` over directories and in the forms that CI and code-scanning
// tools read: every error once, excluded paths left out, exact annotations.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>

#include "common/testutil.hpp"
#include "tool/run_tool.hpp"

namespace {

using ckptest::TempDir;
using tooltest::ckp;
using tooltest::Outcome;

const char* const header = "WRXCHECKPOINT=\"1.0\"\n";

// A tree: two faulty files (one also included by a clean one), a file
// that is no checkpoint file, an excluded directory and a link that would
// loop.
void writeTree(const TempDir& dir) {
    std::filesystem::create_directories(dir.file("tree/sub"));
    std::filesystem::create_directories(dir.file("tree/vendor"));
    dir.write("tree/a.ckpt", std::string(header) + "a k=\"v\"\nsub/b.Ckpt WRXinc\n");
    dir.write("tree/sub/b.Ckpt", std::string(header) + "b k=\"open\n");
    dir.write("tree/sub/c.setup", std::string(header) + "c a.b=\"v\"\n");
    dir.write("tree/notes.txt", "not \" a checkpoint file\n");
    dir.write("tree/vendor/d.ckpt", std::string(header) + "d k=\"open\n");
    std::filesystem::create_directory_symlink("..", dir.file("tree/sub/loop"));
}

// The text with each '@' replaced by the name.
std::string named(std::string text, const std::string& name) {
    for (std::size_t at; (at = text.find('@')) != std::string::npos;) {
        text.replace(at, 1, name);
    }
    return text;
}

// Directories walked, every error shown once, excluded paths left out;
// the forms for CI and code scanning, colour as asked. Places as an editor
// shows them: a line the reader cuts is named once, and the lines after it
// keep their numbers; a file without a header is read in the old syntax,
// with one note that says so; a binary file is one error.
TEST(ToolCheckTree, WalksFormsAndPlaces) {
    TempDir dir;
    writeTree(dir);
    dir.write("we,ird:name.ckpt", std::string(header) + "x k=\"100%\n");
    dir.write("bad.ckpt", std::string(header) + "x k=\"v\n");
    dir.write("long.ckpt", std::string(header) + "a k=\"" + std::string(600, 'x') + "\"\n" + "c " +
                               std::string(1100, 'y') + " b.d\n" + "e f=\"open\n");
    dir.write("old.ckpt", "; a comment first\nWRXCHECKPOINT=\"1.0\"\n");
    dir.write("blob.ckpt", std::string("WRXCHECKPOINT=\"1.0\"\nab\0cd\n\0\0\n", 27));
    const std::string b = "tree/sub/b.Ckpt:2:10: error: missing '\"' for property value\n";
    const std::string cut =
        "@:2:511: warning: line longer than 510 characters: it is read as 2 lines, cut after "
        "every 510\n"
        "@:3:511: warning: line longer than 510 characters: it is read as 3 lines, cut after "
        "every 510\n"
        "@:2:511: error: missing '\"' for property value\n"
        "@:3:1105: error: illegal character in property name\n"
        "@:4:10: error: missing '\"' for property value\n";
    tooltest::expectSteps(
        dir, {
                 {"check --no-context --summary --exclude vendor tree tree/sub/b.Ckpt", 1,
                  b + "tree/sub/c.setup:2:4: error: illegal character in property name\n"
                      "2 syntax errors in 2 of 3 files\n",
                  ""},
                 {"check -q tree", 1, "3\n"},
                 {"check --no-context --exclude '*.setup' --exclude 'vendor' tree", 1, b},
                 // An include is read whatever the globs say.
                 {"check --summary tree/a.ckpt --exclude 'b.*'", 1,
                  b + "     2 | b k=\"open\n"
                      "       |          ^\n"
                      "1 syntax error in 1 of 1 file\n"},
                 {"check --format=github 'we,ird:name.ckpt'", 1,
                  "::error file=we%2Cird%3Aname.ckpt,line=2,col=10::missing '\"' for "
                  "property value\n"},
                 {"check --color=always bad.ckpt", 1,
                  "\033[1mbad.ckpt:2:7:\033[0m \033[1;31merror:\033[0m missing '\"' for "
                  "property value\n"
                  "     2 | x k=\"v\n"
                  "       |       \033[1;32m^\033[0m\n"},
                 {"check --color=never bad.ckpt", 1,
                  "bad.ckpt:2:7: error: missing '\"' for property value\n"
                  "     2 | x k=\"v\n"
                  "       |       ^\n"},
                 {"check --color=sometimes bad.ckpt", 2, "",
                  "ckp: --color: sometimes not in {auto,always,never}\n"},
                 {"check --no-context long.ckpt", 1, named(cut, "long.ckpt")},
                 {"check --no-context - <long.ckpt", 1, named(cut, "stdin")},
                 {"check --format=github old.ckpt", 1,
                  "::notice file=old.ckpt,line=1,col=1::no header: the file is read in the old "
                  "syntax without one (version 0); a first line WRXCHECKPOINT=\"1.0\" makes it a "
                  "file of the current syntax\n"
                  "::error file=old.ckpt,line=2,col=20::missing <WRX_version>\n"},
                 {"check blob.ckpt", 1, "blob.ckpt:1: error: binary file\n"},
             });
    Outcome sarif = ckp(dir, "check --format=sarif 'we,ird:name.ckpt'");
    EXPECT_EQ(sarif.code, 1);
    nlohmann::json doc = nlohmann::json::parse(sarif.out);
    EXPECT_EQ(doc["version"], "2.1.0");
    const nlohmann::json& results = doc["runs"][0]["results"];
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0]["ruleId"], "syntax-error");
    const nlohmann::json& where = results[0]["locations"][0]["physicalLocation"];
    EXPECT_EQ(where["artifactLocation"]["uri"], "we%2Cird%3Aname.ckpt");
    EXPECT_EQ(where["region"]["startLine"], 2);
    EXPECT_EQ(where["region"]["startColumn"], 10);
    Outcome none = ckp(dir, "check --format=sarif --exclude '*' 'we,ird:name.ckpt'");
    EXPECT_EQ(none.code, 0);
    EXPECT_TRUE(nlohmann::json::parse(none.out)["runs"][0]["results"].empty());
}

} // namespace
