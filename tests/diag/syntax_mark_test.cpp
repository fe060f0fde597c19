#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "ckp/ckp.h"
#include "common/testutil.hpp"

using ckptest::ReportCapture;
using ckptest::resetErrors;
using ckptest::TempDir;

namespace {
const std::string missingQuote = "missing '\"' for property value";

// ckpSyntax's lines for each faulty record of a file holding `lines` after
// its header.
std::vector<std::vector<std::string>> marks(const std::string& lines) {
    TempDir dir;
    ckpInfo* r = ckpOpen(dir.write("f.ckp", "WRXCHECKPOINT=\"1.0\"\n" + lines).c_str(), "R");
    std::vector<std::vector<std::string>> out;
    while (r != nullptr && ckpGets(r) && ckpGetType(r) != ckpTypeEnd) {
        ReportCapture cap;
        ckpSyntax(r);
        if (ckpGetType(r) == ckpTypeSyntax) {
            out.push_back(cap.messages());
            out.back()[0] = out.back()[0].substr(0, out.back()[0].find(" of "));
        } else if (!cap.messages().empty()) {
            out.push_back({"not a fault, yet marked"});
        }
    }
    ckpClose(r);
    return out;
}

// The marker line of a value left open after `length` characters.
std::string markerAt(std::size_t length) {
    return marks("p a=\"" + std::string(length - 5, 'x') + "\n").at(0).at(2);
}
} // namespace

// The message stands left of the caret where it fits, else right of it;
// tabs are echoed as blanks so that the caret stays under its character.
TEST(SyntaxMark, MarkerLayouts) {
    const std::size_t fits = missingQuote.size() + 3;
    EXPECT_EQ(markerAt(45), std::string(45 - fits, ' ') + missingQuote + " --^");
    EXPECT_EQ(markerAt(fits), missingQuote + " --^");
    EXPECT_EQ(markerAt(fits - 1), std::string(fits - 1, ' ') + "^-- " + missingQuote);
    EXPECT_EQ(markerAt(510), std::string(510 - fits, ' ') + missingQuote + " --^");
    // A fault is shown on the physical line that holds it: a continuation
    // line (comment lines passed over), or the first line of a continued
    // record; a record without fault is not shown.
    EXPECT_EQ(
        marks("ok a=\"1\"\n"
              "\tp\ta=\"x\n"
              "p a=\"1\" \\\n"
              "; skipped\n"
              "  b=\"open\n"
              "q c=\"2\" c=\"3\" x=\"unclosed\n"
              "p a=\"open \\\n"
              "  b=\"2\"\n"),
        (std::vector<std::vector<std::string>>{
            {"-- Error on line 3", " p a=\"x", "       ^-- " + missingQuote},
            {"-- Error on line 6", "  b=\"open", std::string(9, ' ') + "^-- " + missingQuote},
            {"-- Error on line 7", "q c=\"2\" c=\"3\" x=\"unclosed",
             std::string(25, ' ') + "^-- " + missingQuote},
            {"-- Error on line 8", "p a=\"open ", std::string(10, ' ') + "^-- " + missingQuote}}));
}

// A message longer than a line (an include's file name) is cut to one.
TEST(SyntaxMark, LongTextsNeverOverflow) {
    std::string name(500, 'n');
    std::vector<std::vector<std::string>> out = marks(name + " WRXinc\n");
    ASSERT_EQ(out.size(), 1u);
    ASSERT_EQ(out[0].size(), 3u);
    EXPECT_EQ(out[0][1], name); // an include record shows its name
    EXPECT_EQ(out[0][2].rfind("^-- ", 0), 0u) << out[0][2];
    EXPECT_EQ(out[0][2].size(), 4u + 511u);
    EXPECT_EQ(out[0][2].substr(out[0][2].size() - 10), std::string(10, 'n'));
}

TEST(SyntaxMark, WithoutAHandle) {
    resetErrors();
    ReportCapture cap;
    ckpSyntax(nullptr);
    EXPECT_EQ(cap.messages(), (std::vector<std::string>{"no ckpInfo in ckpSyntax", "\n"}));
    EXPECT_EQ(resetErrors(), 1);
}
