// The ckp command run as a process on files made here: output and exit
// codes exactly.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <sys/wait.h>

#include "common/testutil.hpp"

namespace {

using ckptest::readFile;
using ckptest::TempDir;

struct Outcome {
    int code;
    std::string out;
    std::string err;
};

// Runs `ckp ARGS` with the directory as working directory.
Outcome ckp(const TempDir& dir, const std::string& args) {
    std::string out = dir.path() + "/.stdout";
    std::string err = dir.path() + "/.stderr";
    std::string command = "cd '" + dir.path() + "' && '" CKP_TOOL_PATH "' " + args + " >'" + out +
                          "' 2>'" + err + "'";
    int status = std::system(command.c_str());
    Outcome run{WIFEXITED(status) ? WEXITSTATUS(status) : -1, readFile(out), readFile(err)};
    std::filesystem::remove(out);
    std::filesystem::remove(err);
    return run;
}

// Names in the directory other than the given ones: a left-over temporary
// file shows here.
std::vector<std::string> listing(const TempDir& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

const char* const clean = "WRXCHECKPOINT=\"1.0\"\n"
                          "; cells\n"
                          "lib/inv type=\"cell\" locked\n"
                          "sub.ckpt WRXinc\n"
                          "lib/nand v=\"a\\;b\"\n";
const char* const sub = "WRXCHECKPOINT=\"1.0\"\n"
                        "sub/x k=\"1\"\n";

TEST(ToolCheck, CleanFilesPassAndFaultsAreShownWhereTheyAre) {
    TempDir dir;
    dir.write("main.ckpt", clean);
    dir.write("sub.ckpt", sub);
    Outcome ok = ckp(dir, "check main.ckpt sub.ckpt");
    EXPECT_EQ(ok.code, 0);
    EXPECT_EQ(ok.out, "");
    EXPECT_EQ(ok.err, "");

    dir.write("bad.ckpt", "WRXCHECKPOINT=\"1.0\"\n"
                          "ok a=\"1\"\n"
                          "p a=\"unclosed\n"
                          "\tq\tb=\"1\" \"c\n"
                          "inc.ckpt WRXinc\n"
                          "none.ckpt WRXinc\n"
                          "last z=\"9\"\n");
    dir.write("inc.ckpt", "WRXCHECKPOINT=\"1.0\"\ns \"open\n");
    Outcome bad = ckp(dir, "check bad.ckpt");
    EXPECT_EQ(bad.code, 1);
    EXPECT_EQ(bad.err, "");
    EXPECT_EQ(bad.out, "bad.ckpt:3:14: error: missing '\"' for property value\n"
                       "p a=\"unclosed\n"
                       "             ^\n"
                       "bad.ckpt:4:10: error: illegal character in property name\n"
                       " q b=\"1\" \"c\n"
                       "         ^\n"
                       "inc.ckpt:2:3: error: illegal character in property name\n"
                       "s \"open\n"
                       "  ^\n"
                       "bad.ckpt:6:1: error: none.ckpt: file not found\n"
                       "none.ckpt\n"
                       "^\n");

    // A fault on the first line of a continued record is shown on that line.
    dir.write("cont.ckpt", "WRXCHECKPOINT=\"1.0\"\np a=\"open \\\n b=\"2\"\n");
    EXPECT_EQ(ckp(dir, "check cont.ckpt").out,
              "cont.ckpt:2:11: error: missing '\"' for property value\n"
              "p a=\"open \n"
              "          ^\n");

    Outcome quiet = ckp(dir, "check --quiet bad.ckpt main.ckpt");
    EXPECT_EQ(quiet.code, 1);
    EXPECT_EQ(quiet.out, "4\n");

    // A file that cannot be opened fails the run with 2, the others are
    // still checked.
    Outcome missing = ckp(dir, "check nothere.ckpt bad.ckpt");
    EXPECT_EQ(missing.code, 2);
    EXPECT_EQ(missing.err, "ckp: nothere.ckpt: file not found\n");
    EXPECT_NE(missing.out.find("bad.ckpt:3:14:"), std::string::npos);
    EXPECT_EQ(ckp(dir, "check main.ckpt nothere.ckpt").code, 2);
}

TEST(ToolFmt, CanonicalFormKeepsTheInformationAndNeverLeavesPartialFiles) {
    TempDir dir;
    dir.write("sub.ckpt", sub);
    dir.write("messy.ckpt", "WRXCHECKPOINT=\"1.0\"\n"
                            "; kept\n"
                            "a   x=\"1\"    y \\\n"
                            "   z=\"q\\\"\"\n"
                            "sub.ckpt WRXinc\n");
    Outcome fmt = ckp(dir, "fmt messy.ckpt");
    ASSERT_EQ(fmt.code, 0) << fmt.err;
    const std::string canonical = "WRXCHECKPOINT=\"1.0\"\n"
                                  "; kept\n"
                                  "a x=\"1\" y\\\n"
                                  "z=\"q\\\"\"\n"
                                  "sub.ckpt WRXinc\n";
    EXPECT_EQ(fmt.out, canonical);
    EXPECT_EQ(ckp(dir, "fmt --check messy.ckpt").code, 1);

    // -o writes the file; a canonical file is its own canonical form.
    EXPECT_EQ(ckp(dir, "fmt messy.ckpt -o out.ckpt").code, 0);
    EXPECT_EQ(readFile(dir.file("out.ckpt")), canonical);
    Outcome again = ckp(dir, "fmt --check out.ckpt");
    EXPECT_EQ(again.code, 0) << again.err;

    // Never in place without -i, and then whole.
    Outcome same = ckp(dir, "fmt messy.ckpt -o ./messy.ckpt");
    EXPECT_EQ(same.code, 2);
    EXPECT_EQ(same.err.rfind("ckp: ", 0), 0u);
    EXPECT_NE(readFile(dir.file("messy.ckpt")), canonical);
    EXPECT_EQ(ckp(dir, "fmt -i messy.ckpt").code, 0);
    EXPECT_EQ(readFile(dir.file("messy.ckpt")), canonical);

    // Syntax version 0 becomes version 1 with the same records.
    dir.write("old.ckpt", "lib/x 1 static\n");
    Outcome v0 = ckp(dir, "fmt old.ckpt");
    EXPECT_EQ(v0.code, 0);
    EXPECT_EQ(v0.out, "WRXCHECKPOINT=\"1.0\"\nlib/x WRXv=\"1\" WRXb=\"static\"\n");

    // A faulty input: the errors on stderr, exit 1, no output file at all.
    dir.write("bad.ckpt", "WRXCHECKPOINT=\"1.0\"\np a=\"open\n");
    auto before = listing(dir);
    Outcome bad = ckp(dir, "fmt bad.ckpt -o never.ckpt");
    EXPECT_EQ(bad.code, 1);
    EXPECT_EQ(bad.out, "");
    EXPECT_EQ(bad.err.rfind("bad.ckpt:2:10: error: missing '\"' for property value\n", 0), 0u);
    EXPECT_EQ(listing(dir), before);
    Outcome none = ckp(dir, "fmt nothere.ckpt -o never.ckpt");
    EXPECT_EQ(none.code, 2);
    EXPECT_EQ(none.err, "ckp: nothere.ckpt: file not found\n");
    EXPECT_EQ(listing(dir), before);
}

TEST(ToolJson, OneObjectPerRecordWithIncludesMarked) {
    TempDir dir;
    dir.write("main.ckpt", clean);
    dir.write("sub.ckpt", sub);
    Outcome lines = ckp(dir, "json main.ckpt");
    ASSERT_EQ(lines.code, 0) << lines.err;
    std::vector<nlohmann::json> records;
    std::istringstream in(lines.out);
    for (std::string line; std::getline(in, line);) {
        records.push_back(nlohmann::json::parse(line));
    }
    ASSERT_EQ(records.size(), 8u) << lines.out;
    const char* types[] = {"header", "comment", "object",     "include",
                           "header", "object",  "endinclude", "object"};
    for (std::size_t i = 0; i < records.size(); ++i) {
        EXPECT_EQ(records[i]["type"], types[i]) << i;
    }
    EXPECT_EQ(records[2].dump(), R"({"file":"main.ckpt","line":3,"path":"lib/inv",)"
                                 R"("props":[["type","cell"],["locked",null]],"type":"object"})");
    EXPECT_EQ(records[3]["path"], "sub.ckpt");
    EXPECT_EQ(records[5]["file"], "sub.ckpt");
    EXPECT_EQ(records[5]["line"], 2);
    EXPECT_EQ(records[7]["props"], nlohmann::json::parse(R"([["v","a;b"]])"));

    Outcome array = ckp(dir, "json --array main.ckpt");
    ASSERT_EQ(array.code, 0);
    EXPECT_EQ(nlohmann::json::parse(array.out), nlohmann::json(records));

    // Bytes that are not UTF-8 still give valid JSON.
    dir.write("latin.ckpt", "WRXCHECKPOINT=\"1.0\"\nm\xE9t v=\"\xFC\"\n");
    Outcome latin = ckp(dir, "json --array latin.ckpt");
    EXPECT_EQ(latin.code, 0);
    nlohmann::json parsed = nlohmann::json::parse(latin.out, nullptr, false);
    EXPECT_FALSE(parsed.is_discarded()) << latin.out;
    EXPECT_EQ(parsed.size(), 2u);
    EXPECT_EQ(ckp(dir, "json nothere.ckpt").code, 2);
}

TEST(ToolSetup, CreateChangeShowAndRefuseWhatIsNotThere) {
    TempDir dir;
    ASSERT_EQ(ckp(dir, "setup create team.setup").code, 0);
    EXPECT_EQ(readFile(dir.file("team.setup")), "WRXCHECKPOINT=\"1.0\"\n");
    EXPECT_EQ(ckp(dir, "setup create team.setup").code, 2);

    EXPECT_EQ(ckp(dir, "setup set team.setup bob role layout").code, 0);
    EXPECT_EQ(ckp(dir, "setup set team.setup alice role lead").code, 0);
    EXPECT_EQ(ckp(dir, "setup set team.setup alice remote").code, 0);
    EXPECT_EQ(ckp(dir, "setup set team.setup alice role 'lead dev'").code, 0);
    EXPECT_EQ(readFile(dir.file("team.setup")),
              "WRXCHECKPOINT=\"1.0\"\nalice remote role=\"lead dev\"\nbob role=\"layout\"\n");

    EXPECT_EQ(ckp(dir, "setup list team.setup").out, "alice\nbob\n");
    EXPECT_EQ(ckp(dir, "setup show team.setup").out,
              "alice\n  remote\n  role=\"lead dev\"\nbob\n  role=\"layout\"\n");
    Outcome get = ckp(dir, "setup get team.setup alice role");
    EXPECT_EQ(get.code, 0);
    EXPECT_EQ(get.out, "lead dev\n");

    Outcome absent = ckp(dir, "setup get team.setup alice site");
    EXPECT_EQ(absent.code, 1);
    EXPECT_EQ(absent.err, "ckp: entry alice has no property site\n");
    EXPECT_EQ(ckp(dir, "setup del team.setup carol").code, 1);

    EXPECT_EQ(ckp(dir, "setup del team.setup alice remote").code, 0);
    EXPECT_EQ(ckp(dir, "setup del team.setup bob").code, 0);
    EXPECT_EQ(readFile(dir.file("team.setup")), "WRXCHECKPOINT=\"1.0\"\nalice role=\"lead dev\"\n");

    // A faulty setup file is not loaded, its errors are shown, it stays.
    const std::string faulty = "WRXCHECKPOINT=\"1.0\"\nx a=\"open\n";
    dir.write("bad.setup", faulty);
    Outcome bad = ckp(dir, "setup set bad.setup x a b");
    EXPECT_EQ(bad.code, 2);
    EXPECT_EQ(bad.err.rfind("ckp: ", 0), 0u);
    EXPECT_NE(bad.err.find("missing '\"' for property value"), std::string::npos) << bad.err;
    EXPECT_EQ(readFile(dir.file("bad.setup")), faulty);
    EXPECT_EQ(ckp(dir, "setup list nothere.setup").code, 2);
}

TEST(ToolUsage, HelpVersionAndBadArguments) {
    TempDir dir;
    Outcome version = ckp(dir, "--version");
    EXPECT_EQ(version.code, 0);
    EXPECT_EQ(version.out, "ckp 1.0.0\n");
    for (const char* command : {"check", "fmt", "json", "setup"}) {
        Outcome help = ckp(dir, std::string(command) + " --help");
        EXPECT_EQ(help.code, 0) << command;
        EXPECT_NE(help.out.find("Usage"), std::string::npos) << command;
    }
    for (const char* args : {"", "frobnicate", "check", "setup rename x", "fmt a b c"}) {
        Outcome bad = ckp(dir, args);
        EXPECT_EQ(bad.code, 2) << args;
        EXPECT_EQ(bad.err.rfind("ckp: ", 0), 0u) << args << ": " << bad.err;
    }
}

} // namespace
