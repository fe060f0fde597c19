// Strings of every awkward length, around the line buffer's 512 bytes and far
// beyond, through every operation that takes one. Each operation either does
// its work exactly (what is written reads back unchanged) or fails with a
// message; ASan sees any overrun.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "ckp/ckp.h"
#include "ckp/kvo.h"
#include "common/records.hpp"
#include "common/testutil.hpp"

namespace {

using ckptest::readFile;
using ckptest::ReportCapture;
using ckptest::resetErrors;
using ckptest::TempDir;

const std::vector<std::size_t> lengths = {0, 1, 509, 510, 511, 512, 1023, 1024, 4096, 100000};

// One file of every record kind at each length: an object record with a
// long path, name, value or quoted value, the qualifiers and a comment. Each
// record is written or refused with a message; what is written reads back
// without a syntax error, the object records exactly.
TEST(Limits, RecordsOfEveryLength) {
    TempDir dir;
    std::string file = dir.file("obj.ckpt");
    for (std::size_t n : lengths) {
        SCOPED_TRACE(n);
        std::string text(n, 'c');
        const std::vector<std::vector<std::string>> objects = {{std::string(n, 'p'), "name", "v"},
                                                               {"p", std::string(n, 'n'), "v"},
                                                               {"p", "name", std::string(n, 'v')},
                                                               {"p", "name", std::string(n, '"')}};
        ckpInfo* w = ckpOpen(file.c_str(), "W");
        ASSERT_NE(w, nullptr);
        ASSERT_TRUE(ckpCreateHdr(w) && ckpPuts(w));
        std::vector<ckptest::Record> expected;
        for (const std::vector<std::string>& o : objects) {
            resetErrors();
            if (ckpCreateObj(w, o[0].c_str()) && ckpPutProp(w, o[1].c_str(), o[2].c_str())) {
                expected.push_back({ckpTypeObject, o[0], ckptest::cat(o[1], "=", o[2], "|")});
            } else {
                EXPECT_GT(resetErrors(), 0) << o[0].size() << " " << o[1].size();
            }
            ckpPuts(w);
        }
        int config = ckpSetConfigPath(w, text.c_str()) && ckpPuts(w);
        int subdir = ckpSetSubDir(w, text.c_str()) && ckpPuts(w);
        int comment = ckpRecord(w, text.c_str(), 1) && ckpPuts(w);
        if (!(config && subdir && comment)) {
            EXPECT_GT(resetErrors(), 0);
        }
        EXPECT_EQ(ckpClose(w), 0);
        std::vector<ckptest::Record> records = ckptest::records(file);
        for (const ckptest::Record& record : records) {
            EXPECT_TRUE(record.type != ckpTypeSyntax && record.type != ckpTypeError) << record;
        }
        for (const ckptest::Record& record : expected) {
            EXPECT_NE(std::find(records.begin(), records.end(), record), records.end()) << record;
        }
        if (config && n > 0) {
            // A head that leaves no room for the qualifier is continued.
            std::string after = n < 509 ? " WRXc" : "\\\nWRXc";
            EXPECT_NE(readFile(file).find(text + after), std::string::npos);
        }
        if (comment) {
            EXPECT_NE(readFile(file).find(";" + text + "\n"), std::string::npos);
        }
        resetErrors();
    }
}

// What ckpReport prints.
std::string reportText(ckpInfo* info, int allLines, int recordPos, const char* before,
                       const char* after) {
    std::FILE* sink = std::tmpfile();
    if (sink == nullptr) {
        return "(no temporary file)";
    }
    int ok = ckpReport(info, sink, allLines, recordPos, before, after);
    std::string printed;
    std::rewind(sink);
    char chunk[4096];
    for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, sink)) > 0;) {
        printed.append(chunk, got);
    }
    std::fclose(sink);
    return ok == 1 ? printed : "(failed) " + printed;
}

TEST(Limits, LongLinesAreReadAndReported) {
    TempDir dir;
    for (std::size_t n : lengths) {
        // A syntax error at the end of a long line: the report names it.
        std::string file =
            dir.write("bad.ckpt", "WRXCHECKPOINT=\"1.0\"\np a=\"" + std::string(n, 'x') + "\n");
        ckpInfo* info = ckpOpen(file.c_str(), "R");
        ASSERT_NE(info, nullptr);
        ReportCapture reports;
        int syntax = 0;
        std::string before = "before " + std::string(n, 'b');
        while (ckpGets(info) == 1 && ckpGetType(info) != ckpTypeEnd) {
            if (ckpGetType(info) == ckpTypeSyntax && syntax++ == 0) {
                ckpSyntax(info);
                std::string printed = reportText(info, 1, -1, before.c_str(), "after");
                EXPECT_NE(printed.find(before + " on line"), std::string::npos) << n;
                // The line's text, as far as one physical line holds it.
                EXPECT_NE(printed.find("p a=\"" + std::string(std::min<std::size_t>(n, 400), 'x')),
                          std::string::npos)
                    << n;
            }
        }
        EXPECT_GE(syntax, 1) << n;
        EXPECT_FALSE(reports.messages().empty()) << n;
        ckpClose(info);
        resetErrors();
    }
}

TEST(Limits, MessagesAndQueryNamesOfEveryLength) {
    TempDir dir;
    std::string file = dir.write("m.ckpt", "WRXCHECKPOINT=\"1.0\"\np a=\"1\"\n");
    for (std::size_t n : lengths) {
        std::string text(n, 'm');
        {
            ReportCapture reports;
            kvoReportError(text.c_str());
            ASSERT_EQ(reports.messages().size(), 1u);
            EXPECT_EQ(reports.messages()[0], text);
        }
        ckpInfo* info = ckpOpen(file.c_str(), "R");
        ASSERT_NE(info, nullptr);
        ASSERT_EQ(ckpGets(info), 1);
        char* value = nullptr;
        EXPECT_EQ(ckpGetProp(info, text.c_str(), &value), 0) << n;
        // A scan for a long name passes over everything to the end.
        EXPECT_EQ(ckpSetScan(info, 0, ckpTypeObject, text.c_str()), 1);
        ASSERT_EQ(ckpGets(info), 1);
        if (n > 0) {
            EXPECT_EQ(ckpGetType(info), ckpTypeEnd) << n;
        }
        // Report texts of any length are printed whole.
        std::string printed = reportText(info, 0, 1, "b", text.c_str());
        EXPECT_NE(printed.find("\" " + text + "\n"), std::string::npos) << n;
        ckpClose(info);
        resetErrors();
    }
}

TEST(Limits, FileNamesOfEveryLength) {
    TempDir dir;
    for (std::size_t n : lengths) {
        std::string name = dir.path() + "/" + std::string(n, 'f');
        resetErrors();
        ckpInfo* w = ckpOpen(name.c_str(), "W");
        if (w == nullptr) {
            EXPECT_GT(resetErrors(), 0) << n;
            EXPECT_NE(std::strlen(ckpGetError()), 0u) << n;
        } else {
            EXPECT_EQ(ckpClose(w), 0);
            std::remove(name.c_str());
        }
        EXPECT_EQ(ckpOpen(name.c_str(), "R"), nullptr) << n;
        // The path services refuse what does not fit their buffers.
        char result[KVO_PATH_BUFFER];
        int converted = wyrConvertPathNotThere(name.c_str(), result);
        if (converted == 0) {
            EXPECT_LT(std::strlen(result), sizeof result);
        }
        EXPECT_NE(wyrSearchGroup(0, std::string(n, 'g').c_str(), "kvosetup", result, sizeof result),
                  0);
        std::vector<char> copy(name.begin(), name.end());
        copy.push_back('\0');
        kvoCanonicalizeDirSep(copy.data());
        EXPECT_EQ(std::strlen(copy.data()), name.size());
        resetErrors();
    }
}

} // namespace
