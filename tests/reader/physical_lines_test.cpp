// Physical lines: comments, blank lines, continuation, line ends, long
// lines, NUL bytes and line numbers.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "common/testutil.hpp"
#include "reading.hpp"

using readtest::Reader;
using readtest::v1;
using Trace = std::vector<std::string>;

TEST(PhysicalLines, CommentsBlankLinesAndContinuation) {
    ckptest::TempDir dir;
    Reader r(dir.write("f", v1 + "a x=\"1\"\n  \n  ; remark\nb\\\n\n ; skipped\ny=\"2\"\n"
                                 "a\\;b\n"
                                 "a ;b\n"
                                 "p x=\"1\" ; note \\\n"
                                 "q\n"
                                 "dir/file a=\"x;y\"\n"
                                 "dir/file a=\"x\\;y\"\n"
                                 "; comment \\\n"
                                 "r\n"
                                 "p a=\"1\" \\\n"
                                 "b=\"2\" \\\n\n; c\n"));
    EXPECT_EQ(readtest::trace(r, 2), (Trace{"header", "object a"}));
    EXPECT_EQ(r.next(), ckpTypeComment);
    EXPECT_EQ(r.text(), "  "); // a blank line keeps its leading blanks only
    EXPECT_EQ(r.next(), ckpTypeComment);
    EXPECT_EQ(r.text(), "  ; remark");
    // Blank and comment lines inside a continued record are skipped.
    EXPECT_EQ(readtest::trace(r, 1, true), (Trace{"object b@8"}));
    EXPECT_EQ(r.lines(), (Trace{"b", "y=\"2\""}));
    EXPECT_EQ(r.prop("y"), "2");
    // The path rule keeps the backslash; a cut line does not continue (a cut
    // inside a value is a fault); a comment line never continues.
    EXPECT_EQ(readtest::trace(r, 6),
              (Trace{"object a\\;b", "object a", "object p", "object q",
                     "syntax missing '\"' for property value", "object dir/file"}));
    EXPECT_EQ(r.prop("a"), "x;y");
    // A continuation before the end of input asks for no further line.
    EXPECT_EQ(readtest::trace(r, 3), (Trace{"comment", "object r", "object p"}));
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
    // A last line of blanks without line end is an empty data line.
    Reader blanks(dir.write("h", v1 + "   "));
    EXPECT_EQ(readtest::trace(blanks), (Trace{"header", "syntax missing path name", "end"}));
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
// line, also where the line would have continued or been blank, or was the
// header line (the file keeps its syntax version).
TEST(PhysicalLines, NulBytesMakeSyntaxErrors) {
    const std::string nul = "syntax NUL character in line";
    ckptest::TempDir dir;
    std::string bytes = v1 + "ab";
    bytes += '\0';
    bytes += "def=\"1\"\nnext\\";
    bytes += '\0';
    bytes += "junk\nv \\\n   ";
    bytes += '\0';
    bytes += " x\nw\n";
    bytes += std::string(700, '\0'); // 510 NULs without line end, then the rest
    bytes += "\ntail\n";
    Reader r(dir.write("f", bytes));
    EXPECT_EQ(readtest::trace(r, 100, true),
              (Trace{"header@1", nul + "@2", nul + "@3", nul + "@5", "object w@6", nul + "@7",
                     nul + "@8", "object tail@9", "end@9"}));

    Reader header(dir.write("h", std::string("WRXCHECKPOINT=\"1.0\" ") + '\0' + "\nq\n"));
    EXPECT_EQ(readtest::trace(header), (Trace{nul, "object q", "end"}));
    // Without header, on a stream that cannot seek, the first line read again
    // keeps its fault.
    std::unique_ptr<Reader> piped(Reader::onPipe(std::string("a 1 static") + '\0' + "x\nb\n"));
    ASSERT_NE(piped, nullptr);
    EXPECT_EQ(readtest::trace(*piped, 2, true), (Trace{"header@0", nul + "@1"}));

    // The report shows the line up to the NUL, marked at the NUL.
    Reader shown(dir.write("g", v1 + std::string("p a=\"1\"") + '\0' + "rest\n"));
    EXPECT_EQ(readtest::trace(shown, 2), (Trace{"header", nul}));
    ckptest::ReportCapture cap;
    ckpSyntax(shown.info);
    EXPECT_EQ(cap.messages(), (Trace{"-- Error on line 2 of \"" + dir.file("g") + "\" --",
                                     "p a=\"1\"", "       ^-- NUL character in line"}));
}
