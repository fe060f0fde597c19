#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "ckp/ckp.h"
#include "common/testutil.hpp"
#include "core/handle.hpp"
#include "core/memory.hpp"
#include "core/types.hpp"

using ckptest::ReportCapture;
using ckptest::resetErrors;
using ckptest::TempDir;

namespace {
// A handle with one line of text whose syntax error lies at `column`.
ckpInfo* faulty(const std::string& text, int column, const char* message, int number = 9) {
    ckpInfo* info = tiNewInfo();
    ckpFile* file = tiNewFile(info, "f.ckp", 0, nullptr);
    ckpLine* line = tiNewLine(file);
    std::snprintf(line->text, ckpLineSize, "%s", text.c_str());
    line->lineNumber = number;
    info->curLine = line;
    info->cursor = line->text + column;
    info->syntaxMsg = tiStrDup(message);
    return info;
}

std::vector<std::string> marked(ckpInfo* info) {
    ReportCapture cap;
    ckpSyntax(info);
    tiFreeInfo(info);
    return cap.messages();
}
} // namespace

TEST(SyntaxMark, MarkerLayouts) {
    std::string text = "dir/one two three four five six seven";
    EXPECT_EQ(marked(faulty(text, 30, "missing path name")),
              (std::vector<std::string>{"-- Error on line 9 of \"f.ckp\" --", text,
                                        std::string(10, ' ') + "missing path name --^"}));
    EXPECT_EQ(marked(faulty(text, 5, "missing path name"))[2],
              std::string(5, ' ') + "^-- missing path name");
    // W = 20: column 20 still fits left of the caret, 19 does not.
    EXPECT_EQ(marked(faulty(text, 20, "missing path name"))[2], "missing path name --^");
    EXPECT_EQ(marked(faulty(text, 19, "missing path name"))[2],
              std::string(19, ' ') + "^-- missing path name");
    // Tabs are echoed as blanks, so the caret stays under the faulty character.
    std::vector<std::string> tabbed = marked(faulty("\tp\ta=\"x", 5, "no closing quote"));
    EXPECT_EQ(tabbed[1], " p a=\"x");
    EXPECT_EQ(tabbed[2], "     ^-- no closing quote");
    // A final line feed is not echoed.
    EXPECT_EQ(marked(faulty("p x\n", 2, "m"))[1], "p x");
    // A cursor outside the text counts as at its end.
    ckpInfo* info = faulty("abc", 0, "m");
    info->cursor = nullptr;
    EXPECT_EQ(marked(info)[2], "   ^-- m");
}

TEST(SyntaxMark, LongTextsNeverOverflow) {
    std::string text(511, 'x');
    std::string message(600, 'm');
    std::vector<std::string> out = marked(faulty(text, 511, message.c_str()));
    ASSERT_EQ(out.size(), 3u);
    EXPECT_EQ(out[1], text);
    EXPECT_EQ(out[2], std::string(511, ' ') + "^-- " + message);
    out = marked(faulty(text, 511, "short"));
    EXPECT_EQ(out[2], std::string(511 - 8, ' ') + "short --^");
    EXPECT_EQ(out[2].find('^'), 511u);
}

TEST(SyntaxMark, IncompleteHandles) {
    resetErrors();
    EXPECT_EQ(marked(nullptr), (std::vector<std::string>{"no ckpInfo in ckpSyntax", "\n"}));
    EXPECT_EQ(resetErrors(), 1);
    ckpInfo* info = faulty("p", 0, "bad");
    info->curLine = nullptr;
    EXPECT_EQ(marked(info), (std::vector<std::string>{"bad\n", "no ckpLine in ckpSyntax\n"}));
    EXPECT_EQ(resetErrors(), 0); // printed only
    info = faulty("p", 0, "bad");
    info->syntaxMsg = static_cast<char*>(tiFree(info->syntaxMsg));
    EXPECT_TRUE(marked(info).empty());
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
