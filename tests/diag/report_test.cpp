#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "ckp/ckp.h"
#include "common/testutil.hpp"
#include "core/handle.hpp"
#include "core/types.hpp"
#include "diag/report.hpp"

using ckptest::ReportCapture;
using ckptest::resetErrors;

namespace {
// A handle whose top file has the given name and stream and a record of the
// given lines, the first counting `number`.
ckpInfo* handleWith(const char* name, std::FILE* stream, int number,
                    std::initializer_list<const char*> lines) {
    ckpInfo* info = tiNewInfo();
    ckpFile* file = tiNewFile(info, name, 0, stream);
    for (const char* text : lines) {
        ckpLine* line = tiNewLine(file);
        std::snprintf(line->text, ckpLineSize, "%s", text);
    }
    if (file->firstLine != nullptr) {
        file->firstLine->lineNumber = number;
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

TEST(Report, ReportLineAndNames) {
    ReportCapture cap;
    ckpInfo* info = handleWith("F", nullptr, 7, {"p a=\"1\""});
    EXPECT_EQ(ckpReport(info, nullptr, 0, 0, "B", "A"), 1);
    EXPECT_EQ(cap.joined(), "B on line 7 of \"F\" A\n");
    cap.clear();
    EXPECT_EQ(ckpReport(info, nullptr, 0, 0, nullptr, ""), 1);
    EXPECT_EQ(cap.joined(), " on line 7 of \"F\" \n");
    tiFreeInfo(info);

    struct {
        const char* name;
        std::FILE* stream;
        const char* shown;
    } cases[] = {{nullptr, stdin, "stdin"},
                 {"", stdout, "stdout"},
                 {nullptr, stderr, "stderr"},
                 {nullptr, nullptr, "file"}};
    for (const auto& c : cases) {
        cap.clear();
        info = handleWith(c.name, c.stream, 2, {"x"});
        ckpReport(info, nullptr, 0, 0, "b", "a");
        EXPECT_EQ(cap.joined(), std::string("b on line 2 of \"") + c.shown + "\" a\n");
        tiFreeInfo(info);
    }
}

TEST(Report, RecordLinesBeforeAndAfter) {
    ckpInfo* info = handleWith("f.ckp", nullptr, 3, {"first", "second", "third"});
    std::FILE* out = std::tmpfile();
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(ckpReport(info, out, 0, -1, "B", "A"), 1);
    EXPECT_EQ(streamText(out), "first\n\nB on line 3 of \"f.ckp\" A\n");
    std::fclose(out);
    out = std::tmpfile();
    EXPECT_EQ(ckpReport(info, out, 1, 1, "B", "A"), 1);
    EXPECT_EQ(streamText(out), "B on line 3 of \"f.ckp\" A\nfirst\n\nsecond\n\nthird\n\n");
    std::fclose(out);
    ReportCapture cap;
    EXPECT_EQ(ckpReport(info, nullptr, 1, -1, "B", "A"), 1);
    EXPECT_EQ(cap.messages(), (std::vector<std::string>{"first\n", "second\n", "third\n",
                                                        "B on line 3 of \"f.ckp\" A"}));
    tiFreeInfo(info);
}

TEST(Report, IncompleteHandles) {
    ReportCapture cap;
    resetErrors();
    EXPECT_EQ(ckpReport(nullptr, nullptr, 0, 1, "B", "A"), 0);
    EXPECT_EQ(cap.joined(), "B (no ckpInfo in ckpReport) A\n");
    EXPECT_EQ(resetErrors(), 1);
    cap.clear();
    ckpInfo* info = handleWith("f", nullptr, 1, {});
    EXPECT_EQ(ckpReport(info, nullptr, 0, -1, nullptr, nullptr), 0);
    EXPECT_EQ(cap.joined(), " (no ckpLine in ckpReport) \n");
    tiFreeInfo(info);
}

TEST(Report, LongTextsArePrintedWhole) {
    ReportCapture cap;
    std::string longName(900, 'n');
    std::string before(700, 'b');
    std::string line(511, 'l');
    ckpInfo* info = handleWith(longName.c_str(), nullptr, 4, {line.c_str()});
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
    tiFreeInfo(info);
}
