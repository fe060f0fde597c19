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
#include "common/testutil.hpp"

namespace {

using ckptest::readFile;
using ckptest::ReportCapture;
using ckptest::resetErrors;
using ckptest::TempDir;

const std::vector<std::size_t> lengths = {0, 1, 509, 510, 511, 512, 1023, 1024, 4096, 100000};

// Every record as read back: its path, then " name=value" for each
// property; syntax errors are added to `problems`.
std::vector<std::string> readAll(const std::string& path, std::string& problems) {
    std::vector<std::string> records;
    ckpInfo* info = ckpOpen(path.c_str(), "R");
    if (!info) {
        problems += "open failed: " + std::string(ckpGetError()) + "\n";
        return records;
    }
    while (ckpGets(info) == 1 && ckpGetType(info) != ckpTypeEnd) {
        if (ckpGetType(info) == ckpTypeSyntax || ckpGetType(info) == ckpTypeError) {
            problems += "record " + std::to_string(records.size()) + ": " + ckpGetError() + "\n";
        }
        const char* objPath = ckpGetObjPath(info);
        std::string record = objPath ? objPath : "";
        int id = 0;
        char* name = nullptr;
        char* value = nullptr;
        while (ckpGenProp(info, &id, &name, &value)) {
            record += ckptest::cat(" ", name ? name : "", "=", value ? value : "(flag)");
        }
        records.push_back(record);
    }
    ckpClose(info);
    return records;
}

// One object record written and read back: path, property name and value of
// the given lengths.
void objectRoundTrip(const TempDir& dir, const std::string& path, const std::string& name,
                     const std::string& value, const std::string& label) {
    std::string file = dir.file("obj.ckpt");
    ckpInfo* w = ckpOpen(file.c_str(), "W");
    ASSERT_NE(w, nullptr);
    resetErrors();
    int ok = ckpCreateHdr(w) && ckpPuts(w) && ckpCreateObj(w, path.c_str()) &&
             ckpPutProp(w, name.c_str(), value.c_str()) && ckpPuts(w);
    ok = ckpClose(w) == 0 && ok;
    int errors = resetErrors();
    if (!ok) {
        EXPECT_GT(errors, 0) << label << ": failed without a message";
        return;
    }
    std::string problems;
    std::vector<std::string> records = readAll(file, problems);
    EXPECT_EQ(problems, "") << label;
    ASSERT_EQ(records.size(), 2u) << label;
    EXPECT_EQ(records[1], ckptest::cat(path, " ", name, "=", value)) << label;
    resetErrors();
}

TEST(Limits, ObjectRecordsOfEveryLength) {
    TempDir dir;
    for (std::size_t n : lengths) {
        std::string len = std::to_string(n);
        if (n > 0) {
            objectRoundTrip(dir, std::string(n, 'p'), "name", "v", "path of " + len);
        }
        objectRoundTrip(dir, "p", std::string(n, 'n'), "v", "name of " + len);
        objectRoundTrip(dir, "p", "name", std::string(n, 'v'), "value of " + len);
        objectRoundTrip(dir, "p", "name", std::string(n, '"'), "value of quotes " + len);
    }
}

TEST(Limits, QualifierAndCommentRecords) {
    TempDir dir;
    for (std::size_t n : lengths) {
        std::string text(n, 'c');
        std::string file = dir.file("q.ckpt");
        ckpInfo* w = ckpOpen(file.c_str(), "W");
        ASSERT_NE(w, nullptr);
        resetErrors();
        ASSERT_TRUE(ckpCreateHdr(w) && ckpPuts(w));
        int config = ckpSetConfigPath(w, text.c_str()) && ckpPuts(w);
        int subdir = ckpSetSubDir(w, text.c_str()) && ckpPuts(w);
        int comment = ckpRecord(w, text.c_str(), 1) && ckpPuts(w);
        ckpClose(w);
        int errors = resetErrors();
        if (!(config && subdir && comment)) {
            EXPECT_GT(errors, 0) << n;
        }
        // Whatever was written reads back without a syntax error.
        std::string problems;
        readAll(file, problems);
        EXPECT_EQ(problems, "") << n;
        if (config && n > 0) {
            // A head that leaves no room for the qualifier is continued.
            std::string after = n < 509 ? " WRXc" : "\\\nWRXc";
            EXPECT_NE(readFile(file).find(text + after), std::string::npos) << n;
        }
        if (comment) {
            EXPECT_NE(readFile(file).find(";" + text + "\n"), std::string::npos) << n;
        }
    }
    resetErrors();
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
        // A save to a new place builds its directories, or fails whole.
        std::string target = dir.path() + "/" + std::string(n, 'd') + "/x.setup";
        ASSERT_EQ(ckpSetupCreate("limits-save"), 1);
        if (ckpSetupSave("limits-save", target.c_str())) {
            EXPECT_EQ(readFile(target), "WRXCHECKPOINT=\"1.0\"\n") << n;
        }
        EXPECT_EQ(ckpSetupClear("limits-save"), 1);
        resetErrors();
    }
}

TEST(Limits, SetupNamesAndValuesOfEveryLength) {
    TempDir dir;
    for (std::size_t n : lengths) {
        std::string setup = dir.file("s" + std::to_string(n) + ".setup");
        std::string entry(n, 'e');
        std::string value(n, 'v');
        std::string prop = n == 0 ? std::string() : std::string(n, 'n');
        ASSERT_EQ(ckpSetupCreate(setup.c_str()), 1);
        ReportCapture reports;
        int made = ckpSetupCreateEntry(setup.c_str(), entry.c_str(), "cell");
        if (n == 0) {
            EXPECT_EQ(made, 0);
            EXPECT_EQ(
                reports.joined(),
                "Error (ckpSetupAddEntry): checkpoint add entry called with no name value.\n");
            reports.clear();
        } else {
            ASSERT_EQ(made, 1) << n;
            ASSERT_EQ(ckpSetupSetProp(setup.c_str(), entry.c_str(), "value", value.c_str()), 1);
            ASSERT_EQ(ckpSetupSetProp(setup.c_str(), entry.c_str(), prop.c_str(), "x"), 1);
        }
        int saved = ckpSetupSave(setup.c_str(), nullptr);
        ASSERT_EQ(ckpSetupClear(setup.c_str()), 1);
        if (!saved) {
            EXPECT_FALSE(reports.messages().empty()) << n;
            continue;
        }
        ASSERT_EQ(ckpSetupLoad(setup.c_str()), 1) << n << reports.joined();
        if (n > 0) {
            EXPECT_EQ(ckpSetupGetEntry(setup.c_str(), entry.c_str()), 1) << n;
            char* got = nullptr;
            ASSERT_EQ(ckpSetupGetProp(setup.c_str(), entry.c_str(), "value", &got), 1) << n;
            EXPECT_EQ(std::string(got), value);
            kvoFree(got);
            ASSERT_EQ(ckpSetupGetProp(setup.c_str(), entry.c_str(), prop.c_str(), &got), 1) << n;
            kvoFree(got);
        }
        EXPECT_EQ(ckpSetupClear(setup.c_str()), 1);
    }
    resetErrors();
}

} // namespace
