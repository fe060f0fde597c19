// What a person sees of files that are huge or hostile: the time taken
// grows with the input, not with its square, however long a line is; a file
// with thousands of faults shows the first ones and a count of the rest;
// control characters from the file never reach the terminal raw.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "common/testutil.hpp"
#include "tool/run_tool.hpp"

namespace {

using ckptest::TempDir;
using tooltest::ckp;
using tooltest::Outcome;

const std::string header = "WRXCHECKPOINT=\"1.0\"\n";

double secondsFor(const TempDir& dir, const std::string& args) {
    auto start = std::chrono::steady_clock::now();
    (void)ckp(dir, args);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

long countOf(const std::string& text, const std::string& what) {
    long n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
        ++n;
    }
    return n;
}

// One line of 1 MB and one of 8 MB: a step that rescans the rest of the
// line for every piece of it takes about 60 times longer on the second.
TEST(ToolLongInput, TimeGrowsLinearlyWithTheLengthOfALine) {
    TempDir dir;
    for (int mb : {1, 8}) {
        std::string line(static_cast<std::size_t>(mb) << 20, 'a');
        dir.write("l" + std::to_string(mb) + ".ckpt", header + line + "\n");
    }
    for (const char* command : {"fmt", "check", "setup show"}) {
        double small = secondsFor(dir, std::string(command) + " l1.ckpt");
        double large = secondsFor(dir, std::string(command) + " l8.ckpt");
        EXPECT_LT(large, 25 * small + 1.0) << command << ": " << small << " s, then " << large;
    }
}

// Diagnostics per file are capped.
TEST(ToolLongInput, DiagnosticsCappedAndEscaped) {
    TempDir dir;
    std::string faults;
    for (int i = 0; i < 130; ++i) {
        faults += "p a=\"open\n";
    }
    dir.write("many.ckpt", header + faults);
    dir.write("few.ckpt", header + "p a=\"open\n");

    Outcome check = ckp(dir, "check many.ckpt few.ckpt");
    EXPECT_EQ(check.code, 1);
    EXPECT_EQ(countOf(check.out, ": error: "), 101);
    EXPECT_EQ(countOf(check.out, "many.ckpt: \u2026 and 30 more errors\n"), 1) << check.out;
    EXPECT_EQ(countOf(check.out, "few.ckpt:2:"), 1);
    EXPECT_EQ(ckp(dir, "check -q many.ckpt").out, "130\n");
    EXPECT_EQ(countOf(ckp(dir, "check --format json many.ckpt").out, "\"severity\""), 130);

    Outcome fmt = ckp(dir, "fmt many.ckpt");
    EXPECT_EQ(fmt.code, 1);
    EXPECT_EQ(countOf(fmt.err, ": error: "), 100);
    EXPECT_EQ(countOf(fmt.err, "many.ckpt: \u2026 and 30 more errors\n"), 1) << fmt.err;

    // A setup's faults come from the library, three lines each.
    Outcome set = ckp(dir, "setup set many.ckpt q a 1");
    EXPECT_EQ(set.code, 2);
    EXPECT_EQ(countOf(set.err, "-- Error on line"), 100);
    EXPECT_EQ(countOf(set.err, "ckp: \u2026 and 30 more messages\n"), 1) << set.err;

    // Control characters from the file are shown escaped.
    struct Case {
        std::string written; // in a faulty line
        std::string shown;
    };
    const std::vector<Case> cases = {
        {"\x1b[31m", "\\x1b[31m"},
        {"\x7f\x01", "\\x7f\\x01"},
        {"\xc2\x9b"
         "2J",
         "\\xc2\\x9b2J"}, // U+009B, the one-byte CSI
        {"\x9b"
         "2J",
         "\\x9b2J"},
        {"caf\xc3\xa9\\x", "caf\xc3\xa9\\x"}, // kept as written
    };
    for (const Case& c : cases) {
        dir.write("e.ckpt", header + "p" + c.written + " a=\"" + c.written + "\n");
        Outcome report = ckp(dir, "check e.ckpt");
        std::string line = "p" + c.shown + " a=\"" + c.shown;
        EXPECT_NE(report.out.find("     2 | " + line + "\n"), std::string::npos) << report.out;
        // The caret stands under the end of the line as shown.
        std::string caret = "       | " + std::string(line.size(), ' ') + "^\n";
        if (c.shown.find('\xc3') == std::string::npos) { // one byte, one column
            EXPECT_NE(report.out.find(caret), std::string::npos) << report.out;
        }
        Outcome edit = ckp(dir, "setup set e.ckpt q a 1");
        EXPECT_NE(edit.err.find("ckp: " + line + "\n"), std::string::npos) << edit.err;
        EXPECT_EQ(report.out.find('\x1b'), std::string::npos);
        EXPECT_EQ(edit.err.find('\x1b'), std::string::npos);
    }
}

} // namespace
