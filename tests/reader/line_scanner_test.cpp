// The line scanner over a record of hand-made lines.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "common/testutil.hpp"
#include "core/error.hpp"
#include "core/handle.hpp"
#include "reader/scanner.hpp"

namespace {
// A handle whose current record holds the given lines; every line but the
// last is continued.
struct Lines {
    ckpInfo* info = tiNewInfo();
    explicit Lines(const std::vector<std::string>& texts) {
        tiNewFile(info, "f", 1, nullptr);
        for (std::size_t i = 0; i < texts.size(); ++i) {
            ckpLine* l = tiNewLine(info->file);
            std::snprintf(l->text, ckpLineSize, "%s", texts[i].c_str());
            l->continued = i + 1 < texts.size() ? 1 : 0;
        }
        info->curLine = info->file->firstLine;
        info->cursor = info->curLine->text;
    }
    ~Lines() { tiFreeInfo(info); }
    ckpLine* line(int i) const {
        ckpLine* l = info->file->firstLine;
        while (i-- > 0) {
            l = l->next;
        }
        return l;
    }
    long column() const { return info->cursor - info->curLine->text; }
};
} // namespace

TEST(Scanner, TextOperations) {
    char text[] = " \t\vword_1-x rest";
    EXPECT_EQ(tiSkipBlanks(text), text + 3);
    EXPECT_EQ(tiSkipWord(text + 3), text + 11);
    EXPECT_EQ(tiSkipName(text + 3), text + 9);
    EXPECT_EQ(tiFindChar('-', text), text + 9);
    EXPECT_EQ(tiFindChar('#', text), text + std::strlen(text));
    EXPECT_EQ(tiSkipBlanks(static_cast<char*>(nullptr)), nullptr);
    // Read-only texts get read-only positions in them.
    const char* fixed = text;
    EXPECT_EQ(tiSkipBlanks(fixed), fixed + 3);
    EXPECT_EQ(tiSkipWord(fixed + 3), fixed + 11);
    EXPECT_EQ(tiSkipName(fixed + 3), fixed + 9);
    EXPECT_EQ(tiFindChar('-', fixed), fixed + 9);
    char empty[] = "";
    EXPECT_EQ(tiSkipWord(empty), empty);

    char number[] = "12.0";
    char* pos = number;
    EXPECT_EQ(tiScanInt(&pos, -1), 12);
    EXPECT_EQ(*pos, '.');
    char dot[] = ".0";
    pos = dot;
    EXPECT_EQ(tiScanInt(&pos, -1), -1);
    EXPECT_EQ(pos, dot);
    // Numbers beyond an int read as INT_MAX, never as a wrapped small one.
    for (const char* big :
         {"2147483647", "2147483648", "4294967295", "4294967297", "99999999999999999999999"}) {
        const char* end = big;
        EXPECT_EQ(tiScanInt(&end, -1), INT_MAX) << big;
        EXPECT_EQ(*end, '\0') << big;
    }
    const char* at = "7 ";
    EXPECT_EQ(tiScanInt(&at, -1), 7);
    EXPECT_EQ(*at, ' ');
}

TEST(Scanner, PeekCrossesOneContinuedLineEndAtATime) {
    Lines r({"a  ", "", "  b"});
    r.info->cursor = r.line(0)->text + 1;
    EXPECT_EQ(tiPeek(r.info, 0), 1); // onto the empty second line
    EXPECT_EQ(r.info->curLine, r.line(1));
    EXPECT_EQ(tiPeek(r.info, 'b'), 1);
    EXPECT_EQ(r.info->curLine, r.line(2));
    EXPECT_EQ(r.column(), 2);
    EXPECT_EQ(tiPeek(r.info, 'x'), 0);
    ++r.info->cursor;
    EXPECT_EQ(tiPeek(r.info, 0), 0); // last line, not continued
    EXPECT_EQ(tiNextLine(r.info, 0), 0);
}

TEST(Scanner, WordsStayOnTheirLine) {
    Lines r({"  first second", "third"});
    char buffer[512];
    char* start = tiGetWord(r.info, buffer);
    EXPECT_STREQ(buffer, "first");
    EXPECT_EQ(start, r.line(0)->text + 2);
    tiGetWord(r.info, buffer);
    EXPECT_STREQ(buffer, "second");
    EXPECT_EQ(tiGetWord(r.info, buffer), nullptr);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(r.info->curLine, r.line(0));
}

TEST(Scanner, TokenMatching) {
    Lines r({"  WRXc=\"x\""});
    EXPECT_EQ(tiMatchToken(r.info, ".-", "WRXc"), 1);
    EXPECT_EQ(r.column(), 2); // blanks skipped, token not consumed
    EXPECT_EQ(tiMatchToken(r.info, ".-", "WRX"), 0);
    EXPECT_EQ(tiMatchToken(r.info, ".+", "WRXc"), 1);
    EXPECT_EQ(r.column(), 6);

    Lines tail({"WRXc"});
    EXPECT_EQ(tiMatchToken(tail.info, ".-", "WRXc"), 1);
    Lines longer({"WRXcx"});
    EXPECT_EQ(tiMatchToken(longer.info, ".-", "WRXc"), 0);
    Lines folded({"wrxC"});
    EXPECT_EQ(tiMatchToken(folded.info, nullptr, "WRXc"), 1);
    EXPECT_EQ(folded.column(), 4); // the default mode consumes
    Lines lower({"abc"});
    EXPECT_EQ(tiMatchToken(lower.info, "L-", "ABC"), 1);
    EXPECT_EQ(tiMatchToken(lower.info, "U-", "ABC"), 0);
}

TEST(Scanner, ScanForTokenOnTheFirstLineOnly) {
    Lines r({"path a=\"1\" WRXc=\"v\"", "WRXsd"});
    r.line(0)->headEnd = r.line(0)->text + 4;
    ASSERT_EQ(tiScanForToken(r.info, "WRXc", 0), 1);
    EXPECT_EQ(r.column(), 11);
    ASSERT_EQ(tiScanForToken(r.info, "WRXc", 1), 1);
    EXPECT_EQ(r.column(), 17); // on the value
    EXPECT_EQ(tiScanForToken(r.info, "WRXsd", 0), 0);
    EXPECT_EQ(r.info->curLine, r.line(0));
    EXPECT_EQ(r.column(), 4); // the fallback: headEnd

    Lines flag({"p WRXc"});
    ASSERT_EQ(tiScanForToken(flag.info, "WRXc", 1), 1);
    EXPECT_EQ(flag.column(), 6); // no value: just after the name
}

TEST(Scanner, SetSyntaxRecordsTheMessage) {
    ckptest::resetErrors();
    tiSetError("");
    Lines r({"x"});
    r.info->cursor = r.line(0)->text + 1;
    tiSetSyntax(r.info, "");
    EXPECT_EQ(r.info->type, ckpTypeSyntax);
    EXPECT_STREQ(r.info->syntaxMsg, "unknown error");
    tiSetSyntax(r.info, "missing path name");
    EXPECT_STREQ(r.info->syntaxMsg, "missing path name");
    EXPECT_STREQ(ckpGetError(), "missing path name");
    EXPECT_EQ(r.column(), 1); // the cursor stays where the fault is
    EXPECT_EQ(ckpGetNumError(), 2);

    ckptest::ReportCapture reports;
    tiSetSyntax(nullptr, "x");
    ASSERT_EQ(reports.messages().size(), 1u);
    EXPECT_EQ(reports.messages()[0], "no ti_struct in tiSetSyntax");
}
