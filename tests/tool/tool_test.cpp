// The ckp command run as a process on files made here: output and exit
// codes exactly.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "common/testutil.hpp"
#include "tool/run_tool.hpp"

namespace {

using ckptest::readFile;
using ckptest::TempDir;
using tooltest::ckp;
using tooltest::expectSteps;
using tooltest::listing;
using tooltest::Outcome;
using tooltest::shell;

const std::string header = "WRXCHECKPOINT=\"1.0\"\n";
const std::string sub = header + "sub/x k=\"1\"\n";

// bad.ckpt with faults of its own, in a file it includes (inc.ckpt) and in
// an include that names no file; ok.ckpt, clean, includes sub.ckpt.
void writeBadAndClean(const TempDir& dir) {
    dir.write("bad.ckpt", header + "ok a=\"1\"\n"
                                   "p a=\"unclosed\n"
                                   "\tq\tb=\"1\" \"c\n"
                                   "inc.ckpt WRXinc\n"
                                   "none.ckpt WRXinc\n"
                                   "last z=\"9\"\n");
    dir.write("inc.ckpt", header + "s \"open\n");
    dir.write("ok.ckpt", header + "; cells\nsub.ckpt WRXinc\n");
    dir.write("sub.ckpt", sub);
}

// Faults where they are, with their line shown or without, as JSON, from
// standard input among files, columns in characters. Clean files pass
// quietly; an included file with a faulty header is reported at that file
// and checking goes on; a file that cannot be opened fails the run with 2
// and the others are still checked. Colour on a terminal unless NO_COLOR
// is set.
TEST(ToolCheck, OutputsAndExitCodes) {
    TempDir dir;
    writeBadAndClean(dir);
    // A fault after a path of multi-byte characters.
    dir.write("utf8.ckpt", header + "m\xC3\xA9t\xE2\x82\xAC a=\"x\n");
    dir.write("sub/future.ckpt", "WRXCHECKPOINT=\"9.0\"\nq r=\"1\"\n");
    dir.write("uses.ckpt", header + "sub/future.ckpt WRXinc\nb y=\"2\n");
    dir.write("cont.ckpt", header + "p a=\"open \\\n b=\"2\"\n");
    expectSteps(
        dir,
        {
            {"check ok.ckpt sub.ckpt", 0, "", ""},
            {"check bad.ckpt", 1,
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
             ""},
            {"check --no-context ok.ckpt - utf8.ckpt <bad.ckpt", 1,
             "stdin:3:14: error: missing '\"' for property value\n"
             "stdin:4:10: error: illegal character in property name\n"
             "inc.ckpt:2:3: error: illegal character in property name\n"
             "stdin:6:1: error: none.ckpt: file not found\n"
             "utf8.ckpt:2:10: error: missing '\"' for property value\n"},
            {"check --format=json utf8.ckpt", 1,
             R"({"column":10,"file":"utf8.ckpt","line":2,"message":"missing '\"' )"
             R"(for property value","severity":"error","text":")"
             "m\xC3\xA9t\xE2\x82\xAC a=\\\"x\"}\n"},
            {"check utf8.ckpt", 1,
             "utf8.ckpt:2:10: error: missing '\"' for property value\n"
             "     2 | m\xC3\xA9t\xE2\x82\xAC a=\"x\n"
             "       |          ^\n"},
            {"check --quiet bad.ckpt ok.ckpt", 1, "4\n", ""},
            {"check uses.ckpt", 1,
             "sub/future.ckpt:1: error: unknown syntax version\n"
             "uses.ckpt:3:7: error: missing '\"' for property value\n"
             "     3 | b y=\"2\n"
             "       |       ^\n",
             ""},
            // A fault on the first line of a continued record is shown there.
            {"check cont.ckpt", 1,
             "cont.ckpt:2:11: error: missing '\"' for property value\n"
             "     2 | p a=\"open \n"
             "       |           ^\n"},
            {"check --no-context nothere.ckpt uses.ckpt", 2,
             "sub/future.ckpt:1: error: unknown syntax version\n"
             "uses.ckpt:3:7: error: missing '\"' for property value\n",
             "ckp: nothere.ckpt: file not found\n"},
            {"check ok.ckpt nothere.ckpt", 2},
            {"check -j 0 ok.ckpt", 2, "", "ckp: --jobs: Value 0 not in range 1 to 1024\n"},
            {"check -j 1025 ok.ckpt", 2, "", "ckp: --jobs: Value 1025 not in range 1 to 1024\n"},
            {"check -j x ok.ckpt", 2, "", "ckp: --jobs: Value x not in range 1 to 1024\n"},
            {"check --jobs 3 ok.ckpt", 0, "", ""},
        });
    // script(1) gives the command a terminal; its log stays in the directory.
    const std::string onTerminal = "script -qec \"\\\"$CKP\\\" check --no-context utf8.ckpt\" log "
                                   ">tty\n";
    if (shell(dir, onTerminal).code == 1) {
        EXPECT_NE(readFile(dir.file("tty")).find("\033[1;31merror:"), std::string::npos);
        EXPECT_EQ(shell(dir, "NO_COLOR=1 " + onTerminal).code, 1);
        EXPECT_EQ(readFile(dir.file("tty")).find("\033["), std::string::npos);
        EXPECT_NE(readFile(dir.file("tty")).find("utf8.ckpt:2:10: error:"), std::string::npos);
    }
    // Includes nested deeper than the file descriptors allowed: a failure of
    // the run (2), not a fault of the file.
    for (int i = 0; i < 60; ++i) {
        dir.write("deep" + std::to_string(i) + ".ckpt",
                  header + "deep" + std::to_string(i + 1) + ".ckpt WRXinc\n");
    }
    dir.write("deep60.ckpt", header);
    EXPECT_EQ(ckp(dir, "check deep0.ckpt").code, 0);
    for (const char* command : {"check", "json"}) {
        Outcome deep = shell(dir, std::string("ulimit -n 24; \"$CKP\" ") + command + " deep0.ckpt");
        EXPECT_EQ(deep.code, 2) << command;
        EXPECT_NE(deep.out.find("Too many open files"), std::string::npos) << deep;
    }
}

const std::string messy = header + "; kept\n"
                                   "a   x=\"1\"    y \\\n"
                                   "   z=\"q\\\"\"\n"
                                   "sub.ckpt WRXinc\n";
const std::string canonical = header + "; kept\n"
                                       "a x=\"1\" y\\\n"
                                       "z=\"q\\\"\"\n"
                                       "sub.ckpt WRXinc\n";

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

// Files and their canonical forms, each its own canonical form, which
// fmt -i gives the file; only a file that changes is rewritten.
TEST(ToolFmt, CanonicalFormsAndRuns) {
    // A trailing comment that would make its line too long for one piece
    // goes above its record (records of syntax version 0 grow when they
    // become version 1); so does one after a header made canonical.
    const std::string path = "lib/" + std::string(446, 'p');
    const std::string comment = "; " + std::string(43, 'c');
    const std::string wide = ";" + std::string(490, 'c');
    struct Case {
        std::string file;
        std::string formatted;
    };
    const Case cases[] = {
        {"lib/x 1 static\n", header + "lib/x WRXv=\"1\" WRXb=\"static\"\n"},
        // Every kind of comment: full lines (indented too), blank lines,
        // trailing comments (on the header, after escapes, with ';' inside),
        // comment lines inside a continued record and a trailing comment at
        // its end.
        {"WRXCHECKPOINT=\"1.0\" ; header\n"
         "   ; indented\n"
         "\n"
         "a   x=\"1\"   ; trailing\n"
         "b y=\"2\" \\\n"
         " ; inside\n"
         "\n"
         "  z=\"3\" ; last ; still\n"
         "c q=\"\\;\" r=\"\\\\\" ;; x\\;y\r\n",
         "WRXCHECKPOINT=\"1.0\" ; header\n"
         "   ; indented\n"
         "\n"
         "a x=\"1\" ; trailing\n"
         "; inside\n"
         "b y=\"2\"\\\n"
         "z=\"3\" ; last ; still\n"
         "c q=\"\\;\" r=\"\\\\\" ;; x\\;y\n"},
        {path + " 1 static " + comment + "\n",
         header + comment + "\n" + path + " WRXv=\"1\" WRXb=\"static\"\n"},
        // Comments of a continued header go below it.
        {"WRXCHECKPOINT=\"1.0\" \\\n; note\n", header + "; note\n"},
        // No header, and a blank line first: nothing beyond that line was
        // taken for a header, so the file is made canonical.
        {"\np  1   static\n", header + "p WRXv=\"1\" WRXb=\"static\"\n"},
        {"WRXCHECKPOINT=\"1.0\"" + wide + "\na x\n", header + wide + "\na x\n"},
        {"WRXCHECKPOINT=\"1.0\" \\\n; in\n" + wide + "\n", header + "; in\n" + wide + "\n"},
        // Carriage returns that end a comment go: written back they would
        // become part of the line end.
        {header + "p a=\"1\" ; c\r\r\n; last\r", header + "p a=\"1\" ; c\n; last\n"},
        {header + "p a=\"1\" \\\n; in\r\r\n b=\"2\"\n  ; x\r\r\n",
         header + "; in\np a=\"1\"\\\nb=\"2\"\n  ; x\n"},
        // Records the writer cannot write stay as written. No path: a record
        // of no kind, which the writer gives a bare line end.
        {header + "b  x\n\"\" locked=\"yes\" ; note\n",
         header + "b x\n\"\" locked=\"yes\" ; note\n"},
        {header + "\"\"\r\nb x\n", header + "\"\"\r\nb x\n"},
        // A continued line that ends in blanks reads as a flag without a name.
        {header + "a  b=\"1\" \\\n ; why\n\t", header + "a  b=\"1\" \\\n ; why\n\t"},
        // Without a header the kept record would read otherwise below the
        // header that fmt writes: the whole file stays.
        {"a 1 static\n\"\" 2 static\n", "a 1 static\n\"\" 2 static\n"},
        // A blank first line that the header check takes and no record holds.
        {"\t\t\n", "\t\t\n"},
        {header + "\"\" kept=\"as written\"\n", header + "\"\" kept=\"as written\"\n"},
        {header + "; kept\na x=\"1\" ; why\n", header + "; kept\na x=\"1\" ; why\n"},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        std::string file = dir.write("in.ckpt", c.file);
        ageFile(file);
        Identity before = identityOf(file);
        expectSteps(dir, {{"fmt in.ckpt", 0, c.formatted, ""},
                          {"fmt -i in.ckpt", 0, "", ""},
                          {"fmt --check in.ckpt", 0}});
        EXPECT_EQ(readFile(file), c.formatted);
        // A file already canonical is not rewritten.
        EXPECT_EQ(identityOf(file) == before, c.file == c.formatted);
    }
    // One file's canonical form to standard output or a file, compared; several files are checked,
    // compared, go to standard output or in place, never to one -o; a missing one fails the run and
    // the others are still done. A faulty input gives its errors on stderr, exit 1 and no output
    // file at all.
    const std::string good = header + "a x=\"1\"\n";
    dir.write("good.ckpt", good);
    std::string m = header + "a   x=\"1\"\n";
    for (int i = 1; i <= 8; ++i) {
        m += "c" + std::to_string(i) + " k=\"" + std::to_string(i) + "\"\n";
    }
    dir.write("m.ckpt", m + "z   q=\"1\"\ne k=\"1\"");
    dir.write("n.ckpt", header + "b   y\n");
    dir.write("bad.ckpt", header + "p a=\"open\n");
    dir.write("sub.ckpt", sub);
    dir.write("messy.ckpt", messy);
    auto before = listing(dir);
    expectSteps(
        dir,
        {
            {"fmt messy.ckpt", 0, canonical, ""},
            {"fmt - <messy.ckpt", 0, canonical, ""},
            {"fmt --check messy.ckpt", 1},
            // -o writes the file; a canonical file is its own canonical form.
            {"fmt messy.ckpt -o copy.ckpt", 0, "", ""},
            {"fmt --check copy.ckpt", 0, "", ""},
            // Never in place without -i.
            {"fmt messy.ckpt -o ./messy.ckpt", 2, ""},
            {"fmt --check '" CKP_EXAMPLES_DIR "/project/main.ckpt'", 0},
            {"fmt --check '" CKP_EXAMPLES_DIR "/project/libs/views.ckpt'", 0},
            {"fmt --check good.ckpt m.ckpt", 1, "", "ckp: m.ckpt is not in canonical form\n"},
            {"fmt --check good.ckpt - <good.ckpt", 0},
            {"fmt --diff good.ckpt m.ckpt", 1,
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
             ""},
            {"fmt good.ckpt good.ckpt", 0, good + good},
            {"fmt good.ckpt m.ckpt -o out.ckpt", 2},
            {"fmt bad.ckpt -o never.ckpt", 1, "",
             "bad.ckpt:2:10: error: missing '\"' for property value\n"
             "     2 | p a=\"open\n"
             "       |          ^\n"},
            {"fmt nothere.ckpt -o never.ckpt", 2, "", "ckp: nothere.ckpt: file not found\n"},
            {"fmt -i m.ckpt nothere.ckpt n.ckpt", 2, "", "ckp: nothere.ckpt: file not found\n"},
            {"fmt --check m.ckpt n.ckpt", 0},
        });
    EXPECT_EQ(readFile(dir.file("copy.ckpt")), canonical);
    EXPECT_EQ(readFile(dir.file("messy.ckpt")), messy);
    before.insert(before.begin() + 1, "copy.ckpt"); // after bad.ckpt
    EXPECT_EQ(listing(dir), before);
    EXPECT_EQ(readFile(dir.file("n.ckpt")), header + "b y\n");
}

// Each of the records followed by `after`.
std::string joined(const std::vector<std::string>& records, const std::string& after) {
    std::string text;
    for (const std::string& record : records) {
        text += record + after;
    }
    return text;
}

// The bytes exactly: escapes by name where JSON has one, other control
// characters as \u00xx, DEL and UTF-8 as they are; each byte that is no
// UTF-8 (also each byte of a character cut short) as the lone surrogate
// \udcXX, which gives the byte back.
TEST(ToolJson, EscapesBytesAndLinesExactly) {
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
    // The same objects as one array, standard input's records after them.
    const std::string stdinRecords =
        R"({"end_line":1,"file":"stdin","line":1,"props":[],"type":"header","version":1},)"
        R"({"end_line":2,"file":"stdin","line":2,"path":"sub/x","props":[["k","1"]],)"
        R"("type":"object"}])"
        "\n";
    // A record's first and last physical line; a continued syntax error has
    // the line of its fault too.
    dir.write("spread.ckpt", header + "a x=\"1\" \\\n"
                                      "  ; inside\n"
                                      "  y=\"2\"\n"
                                      "   \n"
                                      "b \\\n"
                                      "  z=\"open\n");
    const std::vector<std::string> spread = {
        R"({"end_line":1,"file":"spread.ckpt","line":1,"props":[],"type":"header","version":1})",
        R"({"end_line":4,"file":"spread.ckpt","line":2,"path":"a","props":[["x","1"],)"
        R"(["y","2"]],"type":"object"})",
        R"({"end_line":5,"file":"spread.ckpt","line":5,"props":[],"text":"   ",)"
        R"("type":"comment"})",
        R"({"column":10,"end_line":7,"error":"missing '\"' for property value",)"
        R"("error_line":7,"file":"spread.ckpt","line":6,"path":"b","props":[],)"
        R"("type":"syntax"})"};
    expectSteps(dir,
                {
                    {"json t.ckpt", 1, joined(want, "\n"), ""},
                    {"json --array t.ckpt - <sub.ckpt", 1, "[" + joined(want, ",") + stdinRecords},
                    {"json spread.ckpt", 1, joined(spread, "\n")},
                    {"json nothere.ckpt", 2},
                });
}

// The library's three lines for the fault of bad.setup, read as NAME.
std::string loadError(const std::string& name) {
    return "ckp: -- Error on line 2 of \"" + name +
           "\" --\nckp: x a=\"open\nckp:          ^-- missing '\"' for property value\n";
}

TEST(ToolSetup, CreateChangeShowAndRefuseWhatIsNotThere) {
    TempDir dir;
    const std::string faulty = header + "x a=\"open\n";
    dir.write("bad.setup", faulty);
    dir.write("v2.setup", "WRXCHECKPOINT=\"2.0\"\na k=\"v\"\n");
    dir.write("t.setup", header + "alice note=\"caf\xE9\"\nbob remote v=\"a\x1b[31mb\"\n");
    const std::string shown = "alice\n  remote\n  role=\"lead dev\"\nbob\n  role=\"layout\"\n";
    expectSteps(
        dir,
        {
            {"setup create team.setup", 0, "", ""},
            {"setup set team.setup bob role layout", 0, "", ""},
            // A file that is there is never replaced.
            {"setup create team.setup", 2, "", "ckp: cannot create team.setup: the file exists\n"},
            {"setup set team.setup alice role lead", 0},
            {"setup set team.setup alice remote", 0},
            {"setup set team.setup alice role 'lead dev'", 0},
            {"setup list team.setup", 0, "alice\nbob\n"},
            {"setup show team.setup", 0, shown},
            {"setup get team.setup alice role", 0, "lead dev\n", ""},
            {"setup get team.setup alice site", 1, "", "ckp: entry alice has no property site\n"},
            {"setup del team.setup carol", 1},
            {"setup list --json team.setup", 0, "[\"alice\",\"bob\"]\n"},
            {"setup show --json team.setup bob", 0, "{\"bob\":{\"role\":\"layout\"}}\n"},
            {"setup get --json team.setup alice remote", 0, "null\n"},
            {"setup get --json team.setup alice role", 0, "\"lead dev\"\n"},
            {"setup show - <team.setup", 0, shown},
            {"setup get - bob role <team.setup", 0, "layout\n"},
            {"setup set - bob role x <team.setup", 2, "",
             "ckp: standard input can only be looked at: list, show or get\n"},
            {"setup del team.setup alice remote", 0},
            {"setup del team.setup bob", 0},
            {"setup set team.setup bob role lead extra", 2},
            {"setup set team.setup bob 'bad name=x'", 2},
            {"setup list nothere.setup", 2},
            {"setup list v2.setup", 2, "", "ckp: v2.setup: unable to open file for read.\n"},
            // A faulty setup file is not loaded, its errors are shown, it
            // stays; from standard input it is named so.
            {"setup set bad.setup x a b", 2, "", loadError("bad.setup")},
            {"setup show - <bad.setup", 2, "", loadError("stdin")},
            // What is shown of values: control characters escaped, other
            // bytes as they are; as JSON, bytes that are no UTF-8 as lone
            // surrogates, a flag null.
            {"setup show t.setup", 0,
             "alice\n  note=\"caf\xE9\"\nbob\n  remote\n  v=\"a\\x1b[31mb\"\n"},
            {"setup get t.setup bob v", 0, "a\\x1b[31mb\n"},
            {"setup show --json t.setup", 0,
             "{\"alice\":{\"note\":\"caf\\udce9\"},"
             "\"bob\":{\"remote\":null,\"v\":\"a\\u001b[31mb\"}}\n"},
        });
    EXPECT_EQ(readFile(dir.file("team.setup")), header + "alice role=\"lead dev\"\n");
    EXPECT_EQ(readFile(dir.file("bad.setup")), faulty);
}

// An edit rewrites only what it changes: `after` is `file` with `from`
// replaced by `to`.
TEST(ToolSetup, EditsRewriteOnlyTheirRecord) {
    const std::string team = header + "; the team, by hand\n"
                                      "zed  role=\"x\"   ; last one\n"
                                      "\n"
                                      "; layout people\n"
                                      "bob   role=\"layout\" ; bob here\n"
                                      "alice role=\"lead\" \\\n"
                                      " ; why\n"
                                      "  site=\"b\"\n";
    const std::string crlf = "WRXCHECKPOINT=\"1.0\"\r\nbob  remote ; here\r\n";
    struct Case {
        std::string file;
        std::string args; // after "setup"
        std::string from;
        std::string to;
    };
    const Case cases[] = {
        // A changed record is rewritten, its comments kept; a new entry goes
        // before the first one whose name sorts after it.
        {team, "set s.setup bob role dev", "bob   role=\"layout\"", "bob role=\"dev\""},
        {team, "set s.setup carol role qa", "zed", "carol role=\"qa\"\nzed"},
        {team, "set s.setup zoe remote", "site=\"b\"\n", "site=\"b\"\nzoe remote\n"},
        // A deleted property or entry; the inside comment moves above, the
        // deleted entry's comment stays.
        {team, "del s.setup alice site", "alice role=\"lead\" \\\n ; why\n  site=\"b\"\n",
         "; why\nalice role=\"lead\"\n"},
        {team, "del s.setup zed", "zed  role=\"x\"   ; last one", "; last one"},
        {header + "; list\nbob a=\"1\" \\\n; why b\n b=\"2\" ; two\ncy z\n", "del s.setup bob",
         "bob a=\"1\" \\\n; why b\n b=\"2\" ; two\n", "; why b\n; two\n"},
        // Several properties in one edit; the old form keeps a value that
        // holds '=': the property name has none.
        {team, "set s.setup carol role=review 'site=far east' remote", "zed",
         "carol remote role=\"review\" site=\"far east\"\nzed"},
        {team, "set s.setup bob note a=b", "bob   role=\"layout\"",
         "bob role=\"layout\" note=\"a=b\""},
        // CR LF stays, also for a new record.
        {crlf, "set s.setup carl role dev", "here\r\n", "here\r\ncarl role=\"dev\"\r\n"},
        {crlf, "set s.setup bob site x", "bob  remote", "bob remote site=\"x\""},
        // A setup without a header gets one; records of syntax version 0 are
        // written in the current syntax, the comments kept.
        {"", "set s.setup a b c", "", header + "a b=\"c\"\n"},
        {"; old style\nbob 3 static\namy 1 static ; amy\n", "set s.setup bob x 1",
         "; old style\nbob 3 static\namy 1 static",
         header + "; old style\nbob WRXv=\"3\" WRXb=\"static\" x=\"1\"\namy WRXv=\"1\" "
                  "WRXb=\"static\""},
        {"; old\nbob 3 static\n", "del s.setup bob", "; old\nbob 3 static\n", header + "; old\n"},
        // A new entry after a record continued to the end of the file.
        {header + "zed a=\"1\" \\\n", "set s.setup zz x 1", "\\\n", "\nzz x=\"1\"\n"},
        {header + "zed a=\"1\" \\", "set s.setup zz x 1", "\\", "\nzz x=\"1\"\n"},
        {header + "zed a=\"1\" \\\n; why\n\n", "set s.setup zz x 1", "\\\n; why\n\n",
         "\n; why\n\nzz x=\"1\"\n"},
        {header + "zed a=\"1\" \\\r\n", "set s.setup zz x 1", "\\\r\n", "\r\nzz x=\"1\"\n"},
        {"WRXCHECKPOINT=\"1.0\" \\\n; top\n", "set s.setup zz x 1", "\\\n; top\n",
         "\n; top\nzz x=\"1\"\n"},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args + " on\n" + c.file);
        dir.write("s.setup", c.file);
        Outcome edit = ckp(dir, "setup " + c.args);
        EXPECT_EQ(edit.code, 0) << edit;
        std::string after = c.file;
        after.replace(after.find(c.from), c.from.size(), c.to);
        EXPECT_EQ(readFile(dir.file("s.setup")), after);
    }
    EXPECT_EQ(listing(dir), std::vector<std::string>{"s.setup"});
}

TEST(ToolUsage, HelpVersionAndBadArguments) {
    TempDir dir;
    // What was not understood is named; errors name the file and the cause,
    // not the library's functions.
    expectSteps(
        dir,
        {
            {"--version", 0, "ckp 1.0.0\n", ""},
            {"", 2, "", "ckp: A subcommand is required\n"},
            {"frob x", 2, "",
             "ckp: unknown subcommand: frob (check, fmt, json, from-json or setup)\n"},
            {"--bogus", 2, "", "ckp: unknown option: --bogus (see ckp --help)\n"},
            {"check", 2, "", "ckp: files is required\n"},
            {"check --bogus x", 2, "", "ckp: The following argument was not expected: --bogus\n"},
            {"setup rename x", 2, "",
             "ckp: action: rename not in {list,show,get,set,del,create}\n"},
            {"fmt a b", 2, "", "ckp: a: file not found\nckp: b: file not found\n"},
            {"setup list team", 2, "",
             "ckp: cannot load setup team: no such file, nor in the search group kvosetup\n"},
        });
    for (const char* command : {"check", "fmt", "json", "setup"}) {
        Outcome help = ckp(dir, std::string(command) + " --help");
        EXPECT_EQ(help.code, 0) << command;
        EXPECT_NE(help.out.find("Usage"), std::string::npos) << command;
    }
    // Help gives the exit codes, and for setup each action's arguments.
    EXPECT_NE(ckp(dir, "--help").out.find("Exit codes: 0"), std::string::npos);
    EXPECT_NE(ckp(dir, "json --help").out.find("Exit codes: 0"), std::string::npos);
    EXPECT_NE(ckp(dir, "setup --help").out.find("set NAME ENTRY PROPERTY [VALUE]"),
              std::string::npos);
    dir.write("part.setup", header);
    dir.write("whole.setup", header + "part.setup WRXinc\n");
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
