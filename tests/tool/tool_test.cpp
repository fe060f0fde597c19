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
#include "tool/run_tool.hpp"

namespace {

using ckptest::readFile;
using ckptest::TempDir;
using tooltest::ckp;
using tooltest::listing;
using tooltest::Outcome;

const char* const clean = "WRXCHECKPOINT=\"1.0\"\n"
                          "; cells\n"
                          "lib/inv type=\"cell\" locked\n"
                          "sub.ckpt WRXinc\n"
                          "lib/nand v=\"a\\;b\"\n";
const char* const sub = "WRXCHECKPOINT=\"1.0\"\n"
                        "sub/x k=\"1\"\n";

// main.ckpt including sub.ckpt, both clean.
void writeClean(const TempDir& dir) {
    dir.write("main.ckpt", clean);
    dir.write("sub.ckpt", sub);
}

// bad.ckpt with faults of its own, in a file it includes (inc.ckpt) and in
// an include that names no file.
void writeBad(const TempDir& dir) {
    dir.write("bad.ckpt", "WRXCHECKPOINT=\"1.0\"\n"
                          "ok a=\"1\"\n"
                          "p a=\"unclosed\n"
                          "\tq\tb=\"1\" \"c\n"
                          "inc.ckpt WRXinc\n"
                          "none.ckpt WRXinc\n"
                          "last z=\"9\"\n");
    dir.write("inc.ckpt", "WRXCHECKPOINT=\"1.0\"\ns \"open\n");
}

// A fault after a path of multi-byte characters.
void writeUtf8(const TempDir& dir) {
    dir.write("utf8.ckpt", "WRXCHECKPOINT=\"1.0\"\nm\xC3\xA9t\xE2\x82\xAC a=\"x\n");
}

TEST(ToolCheck, FaultsAreShownWhereTheyAre) {
    TempDir dir;
    writeBad(dir);
    EXPECT_EQ(ckp(dir, "check bad.ckpt"),
              (Outcome{1,
                       "bad.ckpt:3:14: error: missing '\"' for property value\n"
                       "     3 | p a=\"unclosed\n"
                       "       |              ^\n"
                       "bad.ckpt:4:10: error: illegal character in property name\n"
                       "     4 |  q b=\"1\" \"c\n"
                       "       |          ^\n"
                       "inc.ckpt:2:3: error: illegal character in property name\n"
                       "     2 | s \"open\n"
                       "       |   ^\n"
                       "bad.ckpt:6:1: error: none.ckpt: file not found\n"
                       "     6 | none.ckpt\n"
                       "       | ^\n",
                       ""}));
}

// Without context lines, as JSON, from standard input among files, columns
// in characters.
TEST(ToolCheck, BriefJsonAndStandardInput) {
    TempDir dir;
    writeClean(dir);
    writeBad(dir);
    writeUtf8(dir);
    Outcome brief = ckp(dir, "check --no-context main.ckpt - utf8.ckpt <bad.ckpt");
    EXPECT_EQ(brief.code, 1);
    EXPECT_EQ(brief.out, "stdin:3:14: error: missing '\"' for property value\n"
                         "stdin:4:10: error: illegal character in property name\n"
                         "inc.ckpt:2:3: error: illegal character in property name\n"
                         "stdin:6:1: error: none.ckpt: file not found\n"
                         "utf8.ckpt:2:10: error: missing '\"' for property value\n");
    Outcome json = ckp(dir, "check --format=json utf8.ckpt");
    EXPECT_EQ(json.code, 1);
    EXPECT_EQ(nlohmann::json::parse(json.out),
              nlohmann::json::parse(R"({"file":"utf8.ckpt","line":2,"column":10,)"
                                    R"("severity":"error","message":"missing '\"' for )"
                                    R"(property value","text":"m\u00e9t\u20ac a=\"x"})"));
    Outcome caret = ckp(dir, "check utf8.ckpt");
    EXPECT_NE(caret.out.find("\n       |          ^\n"), std::string::npos) << caret.out;
}

// script(1) gives the command a terminal; its log stays in the directory.
TEST(ToolCheck, ColourOnATerminalUnlessNoColorIsSet) {
    TempDir dir;
    writeUtf8(dir);
    const std::string onTerminal = "script -qec \"\\\"$CKP\\\" check --no-context utf8.ckpt\" log "
                                   ">tty\n";
    if (tooltest::shell(dir, onTerminal) == 1) {
        EXPECT_NE(readFile(dir.file("tty")).find("\033[1;31merror:"), std::string::npos);
        ASSERT_EQ(tooltest::shell(dir, "NO_COLOR=1 " + onTerminal), 1);
        EXPECT_EQ(readFile(dir.file("tty")).find("\033["), std::string::npos);
        EXPECT_NE(readFile(dir.file("tty")).find("utf8.ckpt:2:10: error:"), std::string::npos);
    }
}

TEST(ToolCheck, FaultOnTheFirstLineOfAContinuedRecordIsShownThere) {
    TempDir dir;
    dir.write("cont.ckpt", "WRXCHECKPOINT=\"1.0\"\np a=\"open \\\n b=\"2\"\n");
    EXPECT_EQ(ckp(dir, "check cont.ckpt").out,
              "cont.ckpt:2:11: error: missing '\"' for property value\n"
              "     2 | p a=\"open \n"
              "       |           ^\n");
}

TEST(ToolCheck, CleanFilesPassQuietCountsTheFaults) {
    TempDir dir;
    writeClean(dir);
    EXPECT_EQ(ckp(dir, "check main.ckpt sub.ckpt"), (Outcome{0, "", ""}));
    writeBad(dir);
    EXPECT_EQ(ckp(dir, "check --quiet bad.ckpt main.ckpt"), (Outcome{1, "4\n", ""}));
}

// An included file with a faulty header is reported at that file, and
// checking goes on after it.
TEST(ToolCheck, FaultyHeaderOfAnIncludedFile) {
    TempDir dir;
    dir.write("sub/future.ckpt", "WRXCHECKPOINT=\"9.0\"\nq r=\"1\"\n");
    dir.write("uses.ckpt", "WRXCHECKPOINT=\"1.0\"\nsub/future.ckpt WRXinc\nb y=\"2\n");
    EXPECT_EQ(ckp(dir, "check uses.ckpt"),
              (Outcome{1,
                       "sub/future.ckpt:1: error: unknown syntax version\n"
                       "uses.ckpt:3:7: error: missing '\"' for property value\n"
                       "     3 | b y=\"2\n"
                       "       |       ^\n",
                       ""}));
}

// Includes nested deeper than the file descriptors allowed: a failure of
// the run (2), not a fault of the file.
TEST(ToolCheck, IncludesNestedTooDeepFailTheRun) {
    TempDir dir;
    for (int i = 0; i < 60; ++i) {
        dir.write("deep" + std::to_string(i) + ".ckpt",
                  "WRXCHECKPOINT=\"1.0\"\ndeep" + std::to_string(i + 1) + ".ckpt WRXinc\n");
    }
    dir.write("deep60.ckpt", "WRXCHECKPOINT=\"1.0\"\n");
    EXPECT_EQ(ckp(dir, "check deep0.ckpt").code, 0);
    EXPECT_EQ(tooltest::shell(dir, "ulimit -n 24; \"$CKP\" check deep0.ckpt >out; echo $? >code"),
              0);
    EXPECT_EQ(readFile(dir.file("code")), "2\n");
    EXPECT_NE(readFile(dir.file("out")).find("Too many open files"), std::string::npos);
    EXPECT_EQ(tooltest::shell(dir, "ulimit -n 24; \"$CKP\" json deep0.ckpt >out; echo $? >code"),
              0);
    EXPECT_EQ(readFile(dir.file("code")), "2\n");
    EXPECT_NE(readFile(dir.file("out")).find("Too many open files"), std::string::npos);
}

// A file that cannot be opened fails the run with 2, the others are still
// checked.
TEST(ToolCheck, UnopenedFileFailsTheRunAndTheOthersAreChecked) {
    TempDir dir;
    writeClean(dir);
    writeBad(dir);
    Outcome missing = ckp(dir, "check nothere.ckpt bad.ckpt");
    EXPECT_EQ(missing.code, 2);
    EXPECT_EQ(missing.err, "ckp: nothere.ckpt: file not found\n");
    EXPECT_NE(missing.out.find("bad.ckpt:3:14:"), std::string::npos);
    EXPECT_EQ(ckp(dir, "check main.ckpt nothere.ckpt").code, 2);
}

// messy.ckpt, which includes sub.ckpt, and its canonical form.
void writeMessy(const TempDir& dir) {
    dir.write("sub.ckpt", sub);
    dir.write("messy.ckpt", "WRXCHECKPOINT=\"1.0\"\n"
                            "; kept\n"
                            "a   x=\"1\"    y \\\n"
                            "   z=\"q\\\"\"\n"
                            "sub.ckpt WRXinc\n");
}
const std::string canonical = "WRXCHECKPOINT=\"1.0\"\n"
                              "; kept\n"
                              "a x=\"1\" y\\\n"
                              "z=\"q\\\"\"\n"
                              "sub.ckpt WRXinc\n";

TEST(ToolFmt, CanonicalFormKeepsTheInformation) {
    TempDir dir;
    writeMessy(dir);
    Outcome fmt = ckp(dir, "fmt messy.ckpt");
    ASSERT_EQ(fmt.code, 0) << fmt.err;
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
}

TEST(ToolFmt, SyntaxVersionZeroBecomesOneWithTheSameRecords) {
    TempDir dir;
    dir.write("old.ckpt", "lib/x 1 static\n");
    EXPECT_EQ(ckp(dir, "fmt old.ckpt"),
              (Outcome{0, "WRXCHECKPOINT=\"1.0\"\nlib/x WRXv=\"1\" WRXb=\"static\"\n", ""}));
}

// A faulty input: the errors on stderr, exit 1, no output file at all.
TEST(ToolFmt, FaultyInputLeavesNoPartialFile) {
    TempDir dir;
    dir.write("bad.ckpt", "WRXCHECKPOINT=\"1.0\"\np a=\"open\n");
    auto before = listing(dir);
    Outcome bad = ckp(dir, "fmt bad.ckpt -o never.ckpt");
    EXPECT_EQ(bad.code, 1);
    EXPECT_EQ(bad.out, "");
    EXPECT_EQ(bad.err.rfind("bad.ckpt:2:10: error: missing '\"' for property value\n", 0), 0u);
    EXPECT_EQ(listing(dir), before);
    EXPECT_EQ(ckp(dir, "fmt nothere.ckpt -o never.ckpt"),
              (Outcome{2, "", "ckp: nothere.ckpt: file not found\n"}));
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
    EXPECT_EQ(records[2].dump(), R"({"end_line":3,"file":"main.ckpt","line":3,"path":"lib/inv",)"
                                 R"("props":[["type","cell"],["locked",null]],"type":"object"})");
    EXPECT_EQ(records[0]["version"], 1);
    EXPECT_EQ(records[1]["text"], "; cells");
    EXPECT_EQ(records[3]["path"], "sub.ckpt");
    EXPECT_EQ(records[5]["file"], "sub.ckpt");
    EXPECT_EQ(records[5]["line"], 2);
    EXPECT_EQ(records[7]["props"], nlohmann::json::parse(R"([["v","a;b"]])"));

    Outcome array = ckp(dir, "json --array main.ckpt");
    ASSERT_EQ(array.code, 0);
    EXPECT_EQ(nlohmann::json::parse(array.out), nlohmann::json(records));

    EXPECT_EQ(ckp(dir, "json nothere.ckpt").code, 2);

    // Lines: a record's first and last physical line, in its own file;
    // several files, standard input among them; syntax errors give 1.
    dir.write("spread.ckpt", "WRXCHECKPOINT=\"1.0\"\n"
                             "a x=\"1\" \\\n"
                             "  ; inside\n"
                             "  y=\"2\"\n"
                             "   \n"
                             "b z=\"open\n");
    Outcome spread = ckp(dir, "json --array spread.ckpt - <sub.ckpt");
    EXPECT_EQ(spread.code, 1);
    nlohmann::json all = nlohmann::json::parse(spread.out);
    ASSERT_EQ(all.size(), 6u) << spread.out;
    EXPECT_EQ(all[1]["line"], 2);
    EXPECT_EQ(all[1]["end_line"], 4);
    EXPECT_EQ(all[2]["text"], "   ");
    EXPECT_EQ(all[3]["type"], "syntax");
    EXPECT_EQ(all[3]["line"], 6);
    EXPECT_EQ(all[3]["column"], 10);
    EXPECT_EQ(all[5]["file"], "stdin");
    EXPECT_EQ(all[5]["line"], 2);
    EXPECT_EQ(all[5]["end_line"], 2);
}

// The bytes exactly: escapes by name where JSON has one, other control
// characters as \u00xx, DEL and UTF-8 as they are; each byte that is no
// UTF-8 (also each byte of a character cut short) as the lone surrogate
// \udcXX, which gives the byte back.
TEST(ToolJson, EscapesAndBytesThatAreNotUtf8) {
    TempDir dir;
    dir.write("sub.ckpt", sub);
    dir.write("t.ckpt",
              "WRXCHECKPOINT=\"1.0\"\n"
              ";\ttab \x01 \"q\" \\ \x7F \xE9\n"
              "\"q \\\" p\xE9\" a=\"q\\\"b\\\\c\\;d\" f t=\"\x01\x08\x0C\x1F\x7F\t\" "
              "u=\"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\"\n"
              "b v=\"\xE0\x80"
              "A\xED\xA0\x80\xF4\x90\x80\x80\xF0\x9F\x98\" "
              "w=\"\xE2\x82\" y=\"abcdefgh\\\"ijklmnop\\\\qrstuvwx\xC0\xC1\xF5\xFF\x80\"\n"
              "sub.ckpt WRXinc\n"
              "\xC3\xA9\xE2\x82\xAC x=\"\xE9\n");
    const std::vector<std::string> want = {
        R"({"end_line":1,"file":"t.ckpt","line":1,"props":[],"type":"header","version":1})",
        R"({"end_line":2,"file":"t.ckpt","line":2,"props":[],)"
        R"("text":";\ttab \u0001 \"q\" \\ )"
        "\x7F "
        R"(\udce9","type":"comment"})",
        R"({"end_line":3,"file":"t.ckpt","line":3,"path":"q \" p\udce9",)"
        R"("props":[["a","q\"b\\c;d"],["f",null],["t","\u0001\b\f\u001f)"
        "\x7F"
        R"(\t"],["u","é€😀"]],"type":"object"})",
        R"({"end_line":4,"file":"t.ckpt","line":4,"path":"b","props":[["v","\udce0\udc80A)"
        R"(\udced\udca0\udc80\udcf4\udc90\udc80\udc80\udcf0\udc9f\udc98"],)"
        R"(["w","\udce2\udc82"],["y","abcdefgh\"ijklmnop\\qrstuvwx)"
        R"(\udcc0\udcc1\udcf5\udcff\udc80"]],"type":"object"})",
        R"({"end_line":5,"file":"t.ckpt","line":5,"path":"sub.ckpt","props":[["WRXinc",null]],)"
        R"("type":"include"})",
        R"({"end_line":1,"file":"sub.ckpt","line":1,"props":[],"type":"header","version":1})",
        R"({"end_line":2,"file":"sub.ckpt","line":2,"path":"sub/x","props":[["k","1"]],)"
        R"("type":"object"})",
        R"({"end_line":5,"file":"t.ckpt","line":5,"props":[],"type":"endinclude"})",
        R"({"column":8,"end_line":6,"error":"missing '\"' for property value","error_line":6,"file":"t.ckpt",)"
        R"("line":6,"path":"é€","props":[],"type":"syntax"})"};
    Outcome lines = ckp(dir, "json t.ckpt");
    EXPECT_EQ(lines.code, 1);
    std::string all;
    for (const std::string& line : want) {
        all += line + "\n";
    }
    EXPECT_EQ(lines.out, all);

    // The same objects as one array, standard input's records after them.
    Outcome array = ckp(dir, "json --array t.ckpt - <sub.ckpt");
    EXPECT_EQ(array.code, 1);
    std::string elements;
    for (const std::string& line : want) {
        elements += line + ",";
    }
    EXPECT_EQ(
        array.out,
        "[" + elements +
            R"({"end_line":1,"file":"stdin","line":1,"props":[],"type":"header","version":1},)"
            R"({"end_line":2,"file":"stdin","line":2,"path":"sub/x","props":[["k","1"]],)"
            R"("type":"object"}])"
            "\n");
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
              "WRXCHECKPOINT=\"1.0\"\nalice role=\"lead dev\" remote\nbob role=\"layout\"\n");

    EXPECT_EQ(ckp(dir, "setup list team.setup").out, "alice\nbob\n");
    EXPECT_EQ(ckp(dir, "setup show team.setup").out,
              "alice\n  remote\n  role=\"lead dev\"\nbob\n  role=\"layout\"\n");
    EXPECT_EQ(ckp(dir, "setup get team.setup alice role"), (Outcome{0, "lead dev\n", ""}));
    EXPECT_EQ(ckp(dir, "setup get team.setup alice site"),
              (Outcome{1, "", "ckp: entry alice has no property site\n"}));
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
    EXPECT_EQ(ckp(dir, "--version"), (Outcome{0, "ckp 1.0.0\n", ""}));
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
    // What was not understood is named.
    EXPECT_EQ(ckp(dir, "frob x").err,
              "ckp: unknown subcommand: frob (check, fmt, json, from-json or setup)\n");
    EXPECT_EQ(ckp(dir, "--bogus").err, "ckp: unknown option: --bogus (see ckp --help)\n");
    EXPECT_NE(ckp(dir, "check --bogus x").err.find("--bogus"), std::string::npos);
    // Help gives the exit codes, and for setup each action's arguments.
    EXPECT_NE(ckp(dir, "--help").out.find("Exit codes: 0"), std::string::npos);
    EXPECT_NE(ckp(dir, "json --help").out.find("Exit codes: 0"), std::string::npos);
    EXPECT_NE(ckp(dir, "setup --help").out.find("set NAME ENTRY PROPERTY [VALUE]"),
              std::string::npos);
    // Errors name the file and the cause, not the library's functions.
    Outcome lost = ckp(dir, "setup list team");
    EXPECT_EQ(lost.err, "ckp: cannot load setup team: no such file, nor in the search group "
                        "kvosetup\n");
    dir.write("part.setup", "WRXCHECKPOINT=\"1.0\"\n");
    dir.write("whole.setup", "WRXCHECKPOINT=\"1.0\"\npart.setup WRXinc\n");
    Outcome part = ckp(dir, "setup list whole.setup");
    EXPECT_EQ(part.code, 2);
    EXPECT_EQ(part.err.rfind("ckp: whole.setup: checkpoint file has an extra checkpoint header "
                             "record.\n",
                             0),
              0u)
        << part.err;
    EXPECT_EQ(part.err.find("Error ("), std::string::npos) << part.err;
}

} // namespace

namespace {

// Every kind of comment: full lines (indented too), blank lines, trailing
// comments (on the header, after escapes, with ';' inside), comment lines
// inside a continued record and a trailing comment at its end.
const char* const commented = "WRXCHECKPOINT=\"1.0\" ; header\n"
                              "   ; indented\n"
                              "\n"
                              "a   x=\"1\"   ; trailing\n"
                              "b y=\"2\" \\\n"
                              " ; inside\n"
                              "\n"
                              "  z=\"3\" ; last ; still\n"
                              "c q=\"\\;\" r=\"\\\\\" ;; x\\;y\r\n";
const char* const commentedCanonical = "WRXCHECKPOINT=\"1.0\" ; header\n"
                                       "   ; indented\n"
                                       "\n"
                                       "a x=\"1\" ; trailing\n"
                                       "; inside\n"
                                       "b y=\"2\"\\\n"
                                       "z=\"3\" ; last ; still\n"
                                       "c q=\"\\;\" r=\"\\\\\" ;; x\\;y\n";

TEST(ToolFmt, CommentsAreKept) {
    TempDir dir;
    dir.write("c.ckpt", commented);
    Outcome out = ckp(dir, "fmt c.ckpt");
    ASSERT_EQ(out.code, 0) << out.err;
    EXPECT_EQ(out.out, commentedCanonical);
    EXPECT_EQ(ckp(dir, "fmt c.ckpt -o o.ckpt").code, 0);
    EXPECT_EQ(readFile(dir.file("o.ckpt")), commentedCanonical);
    EXPECT_EQ(ckp(dir, "fmt -i c.ckpt").code, 0);
    EXPECT_EQ(readFile(dir.file("c.ckpt")), commentedCanonical);
    // The output is its own canonical form.
    Outcome check = ckp(dir, "fmt --check c.ckpt");
    EXPECT_EQ(check.code, 0) << check.err;
    EXPECT_EQ(ckp(dir, "fmt c.ckpt").out, commentedCanonical);

    // A trailing comment that would make its line too long for one piece
    // goes above its record (syntax version 0 records grow when they become
    // version 1).
    std::string path = "lib/" + std::string(446, 'p');
    std::string comment = "; " + std::string(43, 'c');
    dir.write("long.ckpt", path + " 1 static " + comment + "\n");
    Outcome longer = ckp(dir, "fmt long.ckpt");
    EXPECT_EQ(longer.out,
              "WRXCHECKPOINT=\"1.0\"\n" + comment + "\n" + path + " WRXv=\"1\" WRXb=\"static\"\n");
    dir.write("long2.ckpt", longer.out);
    EXPECT_EQ(ckp(dir, "fmt --check long2.ckpt").code, 0);

    // The same file from standard input; the example project is canonical.
    Outcome piped = ckp(dir, "fmt - <c.ckpt");
    EXPECT_EQ(piped.out, commentedCanonical);
    Outcome example = ckp(dir, "fmt --check '" CKP_EXAMPLES_DIR "/project/main.ckpt'");
    EXPECT_EQ(example.code, 0) << example.err;
    EXPECT_EQ(ckp(dir, "fmt --check '" CKP_EXAMPLES_DIR "/project/libs/views.ckpt'").code, 0);
}

// good.ckpt, canonical, and m.ckpt, not canonical at its start and its end.
void writeGoodAndNot(const TempDir& dir) {
    dir.write("good.ckpt", "WRXCHECKPOINT=\"1.0\"\na x=\"1\"\n");
    std::string m = "WRXCHECKPOINT=\"1.0\"\na   x=\"1\"\n";
    for (int i = 1; i <= 8; ++i) {
        m += "c" + std::to_string(i) + " k=\"" + std::to_string(i) + "\"\n";
    }
    m += "z   q=\"1\"\ne k=\"1\"";
    dir.write("m.ckpt", m);
}

TEST(ToolFmt, SeveralFilesAreChecked) {
    TempDir dir;
    writeGoodAndNot(dir);
    EXPECT_EQ(ckp(dir, "fmt --check good.ckpt m.ckpt"),
              (Outcome{1, "", "ckp: m.ckpt is not in canonical form\n"}));
    EXPECT_EQ(ckp(dir, "fmt --check good.ckpt - <good.ckpt").code, 0);
}

TEST(ToolFmt, DiffShowsTheChangesOfEveryFile) {
    TempDir dir;
    writeGoodAndNot(dir);
    EXPECT_EQ(ckp(dir, "fmt --diff good.ckpt m.ckpt"), (Outcome{1,
                                                                "--- m.ckpt\n"
                                                                "+++ m.ckpt (canonical)\n"
                                                                "@@ -1,5 +1,5 @@\n"
                                                                " WRXCHECKPOINT=\"1.0\"\n"
                                                                "-a   x=\"1\"\n"
                                                                "+a x=\"1\"\n"
                                                                " c1 k=\"1\"\n"
                                                                " c2 k=\"2\"\n"
                                                                " c3 k=\"3\"\n"
                                                                "@@ -8,5 +8,5 @@\n"
                                                                " c6 k=\"6\"\n"
                                                                " c7 k=\"7\"\n"
                                                                " c8 k=\"8\"\n"
                                                                "-z   q=\"1\"\n"
                                                                "-e k=\"1\"\n"
                                                                "\\ No newline at end of file\n"
                                                                "+z q=\"1\"\n"
                                                                "+e k=\"1\"\n",
                                                                ""}));
}

// Several files go to standard output or in place, never to one -o; a
// missing one fails the run and the others are still done.
TEST(ToolFmt, SeveralFilesGoToStandardOutputOrInPlace) {
    TempDir dir;
    writeGoodAndNot(dir);
    EXPECT_EQ(ckp(dir, "fmt good.ckpt good.ckpt").out,
              "WRXCHECKPOINT=\"1.0\"\na x=\"1\"\nWRXCHECKPOINT=\"1.0\"\na x=\"1\"\n");
    EXPECT_EQ(ckp(dir, "fmt good.ckpt m.ckpt -o out.ckpt").code, 2);
    EXPECT_FALSE(std::filesystem::exists(dir.file("out.ckpt")));
    dir.write("n.ckpt", "WRXCHECKPOINT=\"1.0\"\nb   y\n");
    EXPECT_EQ(ckp(dir, "fmt -i m.ckpt nothere.ckpt n.ckpt"),
              (Outcome{2, "", "ckp: nothere.ckpt: file not found\n"}));
    EXPECT_EQ(ckp(dir, "fmt --check m.ckpt n.ckpt").code, 0);
    EXPECT_EQ(readFile(dir.file("n.ckpt")), "WRXCHECKPOINT=\"1.0\"\nb y\n");
}

TEST(ToolSetup, EditsChangeOnlyTheirRecord) {
    TempDir dir;
    const std::string head = "WRXCHECKPOINT=\"1.0\"\n"
                             "; the team, by hand\n"
                             "zed  role=\"x\"   ; last one\n"
                             "\n"
                             "; layout people\n"
                             "bob   role=\"layout\" ; bob here\n";
    const std::string alice = "alice role=\"lead\" \\\n"
                              " ; why\n"
                              "  site=\"b\"\n";
    dir.write("team.setup", head + alice);
    // A changed entry's record is rewritten, its comments kept.
    ASSERT_EQ(ckp(dir, "setup set team.setup bob role dev").code, 0);
    std::string now = "WRXCHECKPOINT=\"1.0\"\n"
                      "; the team, by hand\n"
                      "zed  role=\"x\"   ; last one\n"
                      "\n"
                      "; layout people\n"
                      "bob role=\"dev\" ; bob here\n" +
                      alice;
    EXPECT_EQ(readFile(dir.file("team.setup")), now);

    // A new entry goes before the first one whose name sorts after it.
    ASSERT_EQ(ckp(dir, "setup set team.setup carol role qa").code, 0);
    ASSERT_EQ(ckp(dir, "setup set team.setup zoe remote").code, 0);
    now.insert(now.find("zed"), "carol role=\"qa\"\n");
    now += "zoe remote\n";
    EXPECT_EQ(readFile(dir.file("team.setup")), now);

    // A deleted property or entry; the inside comment moves above, the
    // deleted entry's comment stays.
    ASSERT_EQ(ckp(dir, "setup del team.setup alice site").code, 0);
    ASSERT_EQ(ckp(dir, "setup del team.setup zed").code, 0);
    now.replace(now.find(alice), alice.size(), "; why\nalice role=\"lead\"\n");
    const std::string zed = "zed  role=\"x\"   ; last one\n";
    now.replace(now.find(zed), zed.size(), "; last one\n");
    EXPECT_EQ(readFile(dir.file("team.setup")), now);

    EXPECT_TRUE(tooltest::temporaries(dir).empty());
}

} // namespace
