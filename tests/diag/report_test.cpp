// ckpReport: the record's line and its file's name, the record's lines before
// or after that, a report without a handle, and texts longer than a line.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "ckp/ckp.h"
#include "ckp/ckpx.h"
#include "common/testutil.hpp"

using ckptest::ReportCapture;

namespace {
// A handle on `text` (named `name`), at its first object record.
ckpInfo* atFirstRecord(std::FILE* stream, const char* name, const std::string& text) {
    std::fputs(text.c_str(), stream);
    std::rewind(stream);
    ckpInfo* info = ckpxOpenStream(stream, name, "R");
    while (ckpGets(info) && ckpGetType(info) != ckpTypeObject) {
    }
    return info;
}

std::string streamText(std::FILE* f) {
    std::fflush(f);
    std::rewind(f);
    std::string s;
    for (int c; (c = std::fgetc(f)) != EOF;) {
        s += static_cast<char>(c);
    }
    return s;
}
} // namespace

// A handle's name, or without one a standard stream by its own; missing
// texts before and after are empty.
TEST(Report, ReportLineAndNames) {
    ReportCapture cap;
    std::FILE* scratch = std::tmpfile();
    const struct {
        const char* name;
        std::FILE* stream;
        const char* shown;
    } cases[] = {{"F", scratch, "F"},
                 {nullptr, stdin, "stdin"},
                 {"", stdout, "stdout"},
                 {nullptr, stderr, "stderr"},
                 {nullptr, scratch, "file"}};
    for (const auto& c : cases) {
        cap.clear();
        ckpInfo* info = ckpxOpenStream(c.stream, c.name, "W");
        EXPECT_EQ(ckpReport(info, nullptr, 0, 0, "b", "a"), 1);
        EXPECT_EQ(cap.joined(), std::string("b on line 0 of \"") + c.shown + "\" a\n");
        cap.clear();
        ckpReport(info, nullptr, 0, 0, nullptr, nullptr);
        EXPECT_EQ(cap.joined(), std::string(" on line 0 of \"") + c.shown + "\" \n");
        ckpClose(info);
    }
    std::fclose(scratch);
}

TEST(Report, RecordLinesBeforeAndAfter) {
    std::FILE* in = std::tmpfile();
    ckpInfo* info = atFirstRecord(in, "f.ckp", "WRXCHECKPOINT=\"1.0\"\nfirst\\\nsecond\\\nthird\n");
    std::FILE* out = std::tmpfile();
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(ckpReport(info, out, 0, -1, "B", "A"), 1);
    EXPECT_EQ(streamText(out), "first\n\nB on line 4 of \"f.ckp\" A\n");
    std::fclose(out);
    out = std::tmpfile();
    EXPECT_EQ(ckpReport(info, out, 1, 1, "B", "A"), 1);
    EXPECT_EQ(streamText(out), "B on line 4 of \"f.ckp\" A\nfirst\n\nsecond\n\nthird\n\n");
    std::fclose(out);
    ReportCapture cap;
    EXPECT_EQ(ckpReport(info, nullptr, 1, -1, "B", "A"), 1);
    EXPECT_EQ(cap.messages(), (std::vector<std::string>{"first\n", "second\n", "third\n",
                                                        "B on line 4 of \"f.ckp\" A"}));
    ckpClose(info);
    std::fclose(in);

    cap.clear();
    ckptest::resetErrors();
    EXPECT_EQ(ckpReport(nullptr, nullptr, 0, 1, "B", "A"), 0);
    EXPECT_EQ(cap.joined(), "B (no ckpInfo in ckpReport) A\n");
    EXPECT_EQ(ckptest::resetErrors(), 1);
}

TEST(Report, LongTextsArePrintedWhole) {
    ReportCapture cap;
    std::string longName(900, 'n');
    std::string before(700, 'b');
    std::string line(510, 'l');
    std::FILE* in = std::tmpfile();
    ckpInfo* info = atFirstRecord(in, longName.c_str(), "WRXCHECKPOINT=\"1.0\"\n\n\n" + line);
    EXPECT_EQ(ckpReport(info, nullptr, 0, 1, before.c_str(), "A"), 1);
    ASSERT_EQ(cap.messages().size(), 2u);
    EXPECT_EQ(cap.messages()[0], before + " on line 4 of \"" + longName + "\" A");
    EXPECT_EQ(cap.messages()[1], line + "\n");
    // Without memory for a longer text it is cut to the 511 characters that
    // fit, never written past the buffer.
    cap.clear();
    kvoSetAllocFailure(1);
    EXPECT_EQ(ckpReport(info, nullptr, 0, 0, before.c_str(), "A"), 1);
    kvoSetAllocFailure(0);
    ASSERT_EQ(cap.messages().size(), 1u);
    EXPECT_EQ(cap.messages()[0], before.substr(0, 511));
    ckpClose(info);
    std::fclose(in);
}
