// ckp from-json gives back the file whose records ckp json printed, bytes
// that are no UTF-8 included, and refuses what it cannot write back.
#include <gtest/gtest.h>

#include <string>

#include "common/testutil.hpp"
#include "tool/run_tool.hpp"

namespace {

using ckptest::readFile;
using ckptest::TempDir;
using tooltest::ckp;
using tooltest::Outcome;

// One record a line, as the writer puts them: every record type, escapes,
// Latin-1 bytes, a record of no kind and an include (whose file's records
// stay out).
const char* const canonical = "WRXCHECKPOINT=\"1.0\"\n"
                              "; cells \xE9\n"
                              "\n"
                              "m\xE9t k=\"\xFC\\;x\" q_1=\"\\\"q\\\\\"\n"
                              "\"\" locked=\"yes\"\n"
                              "cfg WRXc z\n"
                              "\"my dir\" k=\"\"\n"
                              "b WRXsd\n"
                              "inc.ckpt WRXinc\n"
                              "last flag\n";

// The sample and the examples whose records each sit on one line come back
// byte for byte (a continued record would come back on one line: the JSON
// does not say where a record's lines break).
TEST(ToolFromJson, GivesTheFileBackOrRefuses) {
    TempDir dir;
    dir.write("c.ckpt", canonical);
    dir.write("inc.ckpt", "WRXCHECKPOINT=\"1.0\"\nq r\n");
    ASSERT_EQ(ckp(dir, "fmt --check c.ckpt").code, 0) << "the sample must be canonical";
    for (std::string file :
         {dir.file("c.ckpt"), std::string(CKP_EXAMPLES_DIR "/project/libs/cells.ckpt"),
          std::string(CKP_EXAMPLES_DIR "/project/team.setup")}) {
        for (const char* form : {"json ", "json --array "}) {
            Outcome back = tooltest::shell(dir, "\"$CKP\" " + std::string(form) + "'" + file +
                                                    "' >j && \"$CKP\" from-json j -o back && "
                                                    "\"$CKP\" from-json <j");
            EXPECT_EQ(back, (Outcome{0, readFile(file), ""})) << form << file;
            EXPECT_EQ(readFile(dir.file("back")), readFile(file)) << form << file;
        }
    }
    // What cannot be written back is refused.
    dir.write("bad.ckpt", "WRXCHECKPOINT=\"1.0\"\nx k=\"open\n");
    dir.write("a.ckpt", "WRXCHECKPOINT=\"1.0\"\na k=\"v\"\n");
    struct Case {
        std::string script;
        std::string message;
    } cases[] = {
        {"\"$CKP\" json bad.ckpt | \"$CKP\" from-json",
         "ckp: stdin: record 2: a syntax error (missing '\"' for property value) cannot be "
         "written back\n"},
        {"\"$CKP\" json a.ckpt a.ckpt | \"$CKP\" from-json",
         "ckp: stdin: record 3: a second file begins here; give from-json one file's records\n"},
        {"printf '{\"type\":\"object\",\\n\"props\":[]' | \"$CKP\" from-json",
         "ckp: stdin:2: not the JSON of ckp json: expected ','\n"},
        {"printf '{\"type\":\"object\",\"path\":\"\\\\ud800\",\"props\":[]}' | \"$CKP\" from-json",
         "ckp: stdin:1: not the JSON of ckp json: a lone surrogate that stands for no byte\n"},
        {"printf '{\"type\":\"odd\",\"props\":[]}' | \"$CKP\" from-json",
         "ckp: stdin: record 1: unknown record type \"odd\"\n"},
        {"printf '[1]' | \"$CKP\" from-json", "ckp: stdin: record 1: not a record of ckp json\n"},
    };
    for (const Case& c : cases) {
        Outcome run = tooltest::shell(dir, c.script);
        EXPECT_EQ(run.code, 2) << c.script;
        EXPECT_EQ(run.err, c.message) << c.script;
    }
    EXPECT_EQ(tooltest::shell(dir, "\"$CKP\" json a.ckpt | \"$CKP\" from-json -o a.ckpt").code, 0);
    EXPECT_EQ(readFile(dir.file("a.ckpt")), "WRXCHECKPOINT=\"1.0\"\na k=\"v\"\n");
}

} // namespace
