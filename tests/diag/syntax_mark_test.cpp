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
    EXPECT_EQ(marks("\tp\ta=\"x\n"),
              (std::vector<std::vector<std::string>>{
                  {"-- Error on line 2", " p a=\"x", "       ^-- " + missingQuote}}));
    EXPECT_EQ(marks("ok a=\"1\"\n").size(), 0u);
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

TEST(SyntaxMark, FaultsReadFromAFile) {
    TempDir dir;
    std::string path = dir.write("s.ckp", "WRXCHECKPOINT=\"1.0\"\n"
                                          "ok a=\"1\"\n"
                                          "p a=\"1\" \\\n"
                                          "; skipped\n"
                                          "  b=\"open\n"
                                          "q c=\"2\" c=\"3\" x=\"unclosed\n");
    ckpInfo* r = ckpOpen(path.c_str(), "R");
    ASSERT_NE(r, nullptr);
    std::vector<std::vector<std::string>> reports;
    while (ckpGets(r) && ckpGetType(r) != ckpTypeEnd) {
        if (ckpGetType(r) == ckpTypeSyntax) {
            ReportCapture cap;
            ckpSyntax(r);
            reports.push_back(cap.messages());
        }
    }
    ckpClose(r);
    ASSERT_EQ(reports.size(), 2u);
    ASSERT_EQ(reports[0].size(), 3u);
    // The fault stands on the continuation line, physical line 5.
    EXPECT_EQ(reports[0][0], "-- Error on line 5 of \"" + path + "\" --");
    EXPECT_EQ(reports[0][1], "  b=\"open");
    EXPECT_NE(reports[0][2].find('^'), std::string::npos);
    EXPECT_EQ(reports[1][0], "-- Error on line 6 of \"" + path + "\" --");
    resetErrors();
}

// A fault on the first line of a continued record is shown on that line, as
// one on a continuation line is shown on its own; a report of the record
// itself keeps the record's line.
TEST(SyntaxMark, FaultOnTheFirstLineOfAContinuedRecord) {
    TempDir dir;
    std::string path = dir.write("c.ckp", "WRXCHECKPOINT=\"1.0\"\n"
                                          "p a=\"open \\\n"
                                          "  b=\"2\"\n"
                                          "q \\\n"
                                          " c=\"3\"\n");
    ckpInfo* r = ckpOpen(path.c_str(), "R");
    ASSERT_NE(r, nullptr);
    ckpGets(r);
    ckpGets(r);
    ASSERT_EQ(ckpGetType(r), ckpTypeSyntax);
    std::vector<std::string> report;
    {
        ReportCapture cap;
        ckpSyntax(r);
        report = cap.messages();
    }
    ASSERT_EQ(report.size(), 3u);
    EXPECT_EQ(report[0], "-- Error on line 2 of \"" + path + "\" --");
    EXPECT_EQ(report[1], "p a=\"open ");
    ckpGets(r);
    ASSERT_EQ(ckpGetType(r), ckpTypeObject);
    std::FILE* scratch = std::tmpfile();
    ASSERT_NE(scratch, nullptr);
    ckpReport(r, scratch, 0, 0, "at", "");
    std::rewind(scratch);
    char text[256] = "";
    EXPECT_NE(std::fgets(text, sizeof text, scratch), nullptr);
    std::fclose(scratch);
    EXPECT_EQ(std::string(text), "at on line 5 of \"" + path + "\" \n");
    ckpClose(r);
    resetErrors();
}
