// Physical lines: comments, blank lines, continuation, line ends, long
// lines, NUL bytes and line numbers.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "common/testutil.hpp"
#include "reader/input.hpp"
#include "reader/physline.hpp"
#include "reading.hpp"

using readtest::Reader;
using readtest::v1;
using Trace = std::vector<std::string>;

namespace {
const std::string nul = "NUL character in line";
} // namespace

TEST(PhysicalLines, CommentsAndBlankLines) {
    ckptest::TempDir dir;
    Reader r(dir.write("f", v1 + "a x=\"1\"\n  \n  ; remark\nb\\\n\n ; skipped\ny=\"2\"\n"));
    ASSERT_NE(r.info, nullptr);
    EXPECT_EQ(r.next(), ckpTypeHeader);
    EXPECT_EQ(r.next(), ckpTypeObject);
    EXPECT_EQ(r.path(), "a");
    EXPECT_EQ(r.next(), ckpTypeComment);
    EXPECT_EQ(r.text(), "  "); // a blank line keeps its leading blanks only
    EXPECT_EQ(r.next(), ckpTypeComment);
    EXPECT_EQ(r.text(), "  ; remark");
    // Blank and comment lines inside a continued record are skipped.
    EXPECT_EQ(r.next(), ckpTypeObject);
    EXPECT_EQ(r.path(), "b");
    EXPECT_EQ(r.lineCount(), 2);
    EXPECT_EQ(r.prop("y"), "2");
    EXPECT_EQ(r.lineNumber(), 8);
    EXPECT_EQ(r.next(), ckpTypeEnd);
    EXPECT_EQ(ckpGets(r.info), 0);
}

TEST(PhysicalLines, TrailingCommentsAndContinuation) {
    ckptest::TempDir dir;
    Reader r(dir.write("f", v1 + "a\\;b\n"
                                 "a ;b\n"
                                 "p x=\"1\" ; note \\\n"
                                 "q\n"
                                 "dir/file a=\"x;y\"\n"
                                 "dir/file a=\"x\\;y\"\n"
                                 "; comment \\\n"
                                 "r\n"
                                 "p a=\"1\" \\\n"
                                 "b=\"2\"\n"));
    // The path rule keeps the backslash; a cut line does not continue (a cut
    // inside a value is a fault); a comment line never continues.
    EXPECT_EQ(readtest::trace(r, 7),
              (Trace{"header", "object a\\;b", "object a", "object p", "object q",
                     "syntax missing '\"' for property value", "object dir/file"}));
    EXPECT_EQ(r.prop("a"), "x;y");
    EXPECT_EQ(readtest::trace(r, 3), (Trace{"comment", "object r", "object p"}));
    EXPECT_EQ(r.lineCount(), 2);
    EXPECT_EQ(r.props(), (readtest::Props{{"a", "1"}, {"b", "2"}}));
    EXPECT_EQ(r.next(), ckpTypeEnd);
}

TEST(PhysicalLines, LineEnds) {
    ckptest::TempDir dir;
    Reader r(dir.write("f", "WRXCHECKPOINT=\"1.0\"\r\na v=\"1\"\r\nb\rc v=\"x\ry\"\r\n\r\nlast"));
    // A lone CR stays; a last line needs no line end.
    EXPECT_EQ(readtest::trace(r, 3), (Trace{"header", "object a", "object b\rc"}));
    EXPECT_EQ(r.prop("v"), "x\ry");
    EXPECT_EQ(r.next(), ckpTypeComment);
    EXPECT_EQ(r.text(), "");
    EXPECT_EQ(readtest::trace(r), (Trace{"object last", "end"}));
}

TEST(PhysicalLines, LongLines) {
    ckptest::TempDir dir;
    const std::string l510(510, 'a');
    const std::string l511(511, 'b');
    const std::string l600(600, 'c');
    const std::string l509(509, 'd');
    const std::string l1020(1020, 'e');
    Reader r(dir.write("f", v1 + l510 + "\n" + l510 + "\r\n" + l509 + "\r\n" + l511 + "\n" + l600 +
                                "\n" + l510 + "\rx\n" + l1020 + "\nend\n"));
    // Exactly 510 characters and the line end: one line, also with CR LF.
    // 511 and more: cut after 510, the rest a physical line of its own. A CR
    // after 510 characters that ends no line starts the next piece. Two full
    // pieces: the line end after the second belongs to it.
    const std::string e510 = "object " + std::string(510, 'e') + "@12";
    EXPECT_EQ(
        readtest::trace(r, 1000, true),
        (Trace{"header@1", "object " + l510 + "@2", "object " + l510 + "@3",
               "object " + l509 + "@4", "object " + std::string(510, 'b') + "@5", "object b@6",
               "object " + std::string(510, 'c') + "@7", "object " + std::string(90, 'c') + "@8",
               "object " + l510 + "@9", "object \rx@10", "object " + std::string(510, 'e') + "@11",
               e510, "object end@13", "end@13"}));
}

// A NUL byte is malformed input: the physical line holding one is a syntax
// error of its own, shown up to the NUL, and reading goes on with the next
// line, also where the line would have continued or been blank.
TEST(PhysicalLines, NulBytesMakeSyntaxErrors) {
    ckptest::TempDir dir;
    std::string bytes = v1 + "ab";
    bytes += '\0';
    bytes += "def=\"1\"\nnext\\";
    bytes += '\0';
    bytes += "junk\nv \\\n   ";
    bytes += '\0';
    bytes += " x\nw\n";
    bytes += std::string(700, '\0');
    bytes += "\ntail\n";
    Reader r(dir.write("f", bytes));
    ASSERT_NE(r.info, nullptr);
    r.next();
    struct Step {
        int type;
        const char* path; // or the syntax message
        long long line;
    };
    const Step steps[] = {
        {ckpTypeSyntax, "NUL character in line", 2},
        {ckpTypeSyntax, "NUL character in line", 3},
        {ckpTypeSyntax, "NUL character in line", 5}, // on the continuation line
        {ckpTypeObject, "w", 6},
        {ckpTypeSyntax, "NUL character in line", 7}, // 510 NULs without line end
        {ckpTypeSyntax, "NUL character in line", 8},
        {ckpTypeObject, "tail", 9},
        {ckpTypeEnd, "tail", 9},
    };
    int i = 0;
    for (const Step& s : steps) {
        EXPECT_EQ(r.next(), s.type) << "step " << i;
        EXPECT_EQ(s.type == ckpTypeSyntax ? r.syntaxMsg() : r.path(), s.path) << "step " << i;
        EXPECT_EQ(r.lineNumber(), s.line) << "step " << i;
        ++i;
    }
}

// The report shows the faulty line up to the NUL, marked at the NUL.
TEST(PhysicalLines, NulReportShowsTheLineUpToTheNul) {
    ckptest::TempDir dir;
    Reader again(dir.write("g", v1 + std::string("p a=\"1\"") + '\0' + "rest\n"));
    ASSERT_NE(again.info, nullptr);
    again.next();
    EXPECT_EQ(again.next(), ckpTypeSyntax);
    ckptest::ReportCapture cap;
    ckpSyntax(again.info);
    EXPECT_EQ(cap.messages(),
              (std::vector<std::string>{"-- Error on line 2 of \"" + dir.file("g") + "\" --",
                                        "p a=\"1\"", "       ^-- NUL character in line"}));
}

// Without header and on a stream that cannot seek, the first line read
// again keeps its fault.
TEST(PhysicalLines, NulInAFirstLineReadAgainOnAPipe) {
    std::unique_ptr<Reader> piped(Reader::onPipe(std::string("a 1 static", 10) + '\0' + "x\nb\n"));
    ASSERT_NE(piped, nullptr);
    EXPECT_EQ(piped->next(), ckpTypeHeader);
    EXPECT_EQ(piped->next(), ckpTypeSyntax);
    EXPECT_EQ(piped->syntaxMsg(), nul);
    EXPECT_EQ(piped->lineNumber(), 1);
}

// A header line with a NUL after its version: the file keeps its syntax
// version, and its header record is the syntax error.
TEST(PhysicalLines, NulInTheHeaderLine) {
    ckptest::TempDir dir;
    Reader header(dir.write("h", std::string("WRXCHECKPOINT=\"1.0\" ", 20) + '\0' + "\nq\n"));
    ASSERT_NE(header.info, nullptr);
    EXPECT_EQ(header.next(), ckpTypeSyntax);
    EXPECT_EQ(header.syntaxMsg(), nul);
    EXPECT_EQ(header.next(), ckpTypeObject);
    EXPECT_EQ(header.path(), "q");
}

// Line counts go past 2^31 without overflow, and reports print them whole.
TEST(PhysicalLines, LineCountsBeyondThirtyOneBits) {
    ckptest::TempDir dir;
    Reader r(dir.write("f", v1 + "a\nb x=\"open\nc\n"));
    ASSERT_NE(r.info, nullptr);
    r.next();
    r.info->files.top->firstLine->lineNumber = 2147483646; // 2^31 - 2
    EXPECT_EQ(r.next(), ckpTypeObject);
    EXPECT_EQ(r.lineNumber(), 2147483647LL);
    EXPECT_EQ(r.next(), ckpTypeSyntax);
    EXPECT_EQ(r.lineNumber(), 2147483648LL);
    ckptest::ReportCapture cap;
    ckpSyntax(r.info);
    ASSERT_FALSE(cap.messages().empty());
    EXPECT_EQ(cap.messages()[0], "-- Error on line 2147483648 of \"" + dir.file("f") + "\" --");
    std::FILE* scratch = std::tmpfile();
    ASSERT_NE(scratch, nullptr);
    EXPECT_EQ(r.next(), ckpTypeObject);
    ckpReport(r.info, scratch, 0, 0, "at", "");
    std::rewind(scratch);
    char text[256] = "";
    EXPECT_NE(std::fgets(text, sizeof text, scratch), nullptr);
    std::fclose(scratch);
    EXPECT_EQ(std::string(text), "at on line 2147483649 of \"" + dir.file("f") + "\" \n");
}

TEST(PhysicalLines, ContinuationAtTheEndOfInput) {
    ckptest::TempDir dir;
    {
        Reader r(dir.write("f", v1 + "p a=\"1\" \\\n"));
        ASSERT_NE(r.info, nullptr);
        r.next();
        // The record keeps the line read and asks for no further one.
        EXPECT_EQ(r.next(), ckpTypeObject);
        EXPECT_EQ(r.path(), "p");
        EXPECT_EQ(r.lineCount(), 1);
        EXPECT_EQ(r.props(), (readtest::Props{{"a", "1"}}));
        EXPECT_EQ(r.next(), ckpTypeEnd);
    }
    {
        Reader r(dir.write("g", v1 + "p a=\"1\" \\\n\n; c\n"));
        ASSERT_NE(r.info, nullptr);
        r.next();
        EXPECT_EQ(r.next(), ckpTypeObject);
        EXPECT_EQ(r.prop("a"), "1");
        EXPECT_EQ(r.next(), ckpTypeEnd);
    }
    {
        // A last line of blanks without line end is an empty data line.
        Reader r(dir.write("h", v1 + "   "));
        ASSERT_NE(r.info, nullptr);
        r.next();
        EXPECT_EQ(r.next(), ckpTypeSyntax);
        EXPECT_EQ(r.syntaxMsg(), "missing path name");
        EXPECT_EQ(r.next(), ckpTypeEnd);
    }
}

// Without header, on a stream that cannot seek: the first line is
// read again and not counted twice.
TEST(PhysicalLines, FirstLineReadAgainOnAPipeIsCountedOnce) {
    std::unique_ptr<Reader> r(Reader::onPipe("first 1 static\nsecond 2 dynamic\n"));
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(readtest::trace(*r, 1000, true),
              (Trace{"header@0", "object first@1", "object second@2", "end@2"}));
}

// The same on a stream that cannot seek, with a first record of two
// lines: the header holds no line (line 0), the record stands on its last.
TEST(PhysicalLines, FirstRecordOfTwoLinesOnAPipe) {
    std::unique_ptr<Reader> r(Reader::onPipe("first 1 static \\\n x\nsecond 2 dynamic\n"));
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->next(), ckpTypeHeader);
    EXPECT_EQ(r->lineNumber(), 0);
    EXPECT_EQ(r->lineCount(), 1);
    EXPECT_EQ(r->text(), "");
    EXPECT_EQ(readtest::trace(*r, 2, true), (Trace{"object first@2", "object second@3"}));
}

// A seekable file without header whose first record spans lines.
TEST(PhysicalLines, SeekableFirstRecordOfTwoLinesWithoutHeader) {
    ckptest::TempDir dir;
    Reader r(dir.write("g", "first \\\n 1 static\nsecond 2 dynamic\n"));
    ASSERT_NE(r.info, nullptr);
    EXPECT_EQ(r.next(), ckpTypeHeader);
    EXPECT_EQ(r.next(), ckpTypeSyntax); // the fields must stand on the path's line
    EXPECT_EQ(r.syntaxMsg(), "missing <WRX_version>");
    EXPECT_EQ(r.lineNumber(), 2);
    EXPECT_EQ(r.next(), ckpTypeObject);
    EXPECT_EQ(r.lineNumber(), 3);
}

TEST(PhysicalLines, ReadErrors) {
    ckptest::TempDir dir;
    Reader r(dir.write("f", v1 + "a\n"));
    ASSERT_NE(r.info, nullptr);
    r.next();
    std::FILE* stream = r.info->files.top->stream;
    // A stream opened for writing only cannot be read. The input already
    // taken from the real stream is set aside while the other one stands in.
    ckpFile saved = *r.info->files.top;
    tiDropInput(r.info->files.top);
    r.info->files.top->stream = std::fopen(dir.file("w").c_str(), "w");
    ckptest::resetErrors();
    EXPECT_EQ(r.next(), ckpTypeError);
    EXPECT_GE(ckpGetNumError(), 1);
    std::fclose(r.info->files.top->stream);
    r.info->files.top->stream = stream;
    r.info->files.top->inPos = saved.inPos;
    r.info->files.top->inEnd = saved.inEnd;
    EXPECT_EQ(r.next(), ckpTypeObject);

    r.info->files.top->stream = nullptr;
    EXPECT_EQ(r.next(), ckpTypeError);
    EXPECT_STREQ(ckpGetError(), "no file in tiGets");
    r.info->files.top->stream = stream;
}
