#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ckp/ckp.h"
#include "common/records.hpp"
#include "common/testutil.hpp"
#include "core/types.hpp"

using ckptest::readFile;
using ckptest::resetErrors;
using ckptest::TempDir;

namespace {
using ckptest::Record;

// Transfers every record of `from` into a new file (the header of a file
// without one is replaced by a new one): the copy reads back as the original.
std::vector<Record> copyAndReread(const TempDir& dir, const std::string& from, std::string* bytes) {
    std::string to = dir.file("copy.ckp");
    ckpInfo* r = ckpOpen(from.c_str(), "R");
    ckpInfo* w = ckpOpen(to.c_str(), "W");
    EXPECT_TRUE(r != nullptr && w != nullptr);
    int version = -1;
    ckpGetSyntax(r, nullptr, &version);
    while (ckpGets(r) && ckpGetType(r) != ckpTypeEnd) {
        EXPECT_NE(ckpGetType(r), ckpTypeSyntax) << r->record.syntaxMsg;
        bool fresh = ckpGetType(r) == ckpTypeHeader && version == 0;
        EXPECT_EQ(fresh ? ckpCreateHdr(w) : ckpXfer(r, w), 1) << ckpGetError();
        EXPECT_EQ(ckpPuts(w), 1);
    }
    ckpClose(r);
    EXPECT_EQ(ckpClose(w), 0);
    *bytes = readFile(to);
    std::vector<Record> original = ckptest::records(from);
    EXPECT_EQ(ckptest::records(to), original);
    return original;
}
} // namespace

// A multi-line record keeps its lines and each property once; a header
// whose "=" and version stand on continuation lines keeps the lines of its
// head whole, only its properties come from the lists.
TEST(Transfer, MultiLineRecordsKeepTheirLines) {
    TempDir dir;
    struct Case {
        std::string source;
        std::vector<Record> records;
        std::string bytes;
    };
    const Case cases[] = {
        {"WRXCHECKPOINT=\"1.0\"\np a=\"1\" \\\n  ; skipped inside the record\n"
         "   b=\"2\" c \\\nd=\"x\\;y\"\nq one=\"1\" two\n",
         {{ckpTypeHeader, "", ""},
          {ckpTypeObject, "p", "a=1|b=2|c|d=x;y|"},
          {ckpTypeObject, "q", "one=1|two|"}},
         "WRXCHECKPOINT=\"1.0\"\np a=\"1\"\\\nb=\"2\" c\\\nd=\"x\\;y\"\nq one=\"1\" two\n"},
        {"  WRXCHECKPOINT \\\n = \\\n \"1.0\" tool=\"x\" \\\n  flag\nobj\n",
         {{ckpTypeHeader, "", "tool=x|flag|"}, {ckpTypeObject, "obj", ""}},
         "  WRXCHECKPOINT \\\n = \\\n \"1.0\" tool=\"x\"\\\nflag\nobj\n"},
    };
    for (const Case& c : cases) {
        std::string bytes;
        EXPECT_EQ(copyAndReread(dir, dir.write("in.ckp", c.source), &bytes), c.records);
        EXPECT_EQ(bytes, c.bytes);
    }
}

TEST(Transfer, SourcesAndTypes) {
    TempDir dir;
    ckpInfo* w = ckpOpen(dir.file("o.ckp").c_str(), "W");
    ASSERT_NE(w, nullptr);
    resetErrors();
    ASSERT_EQ(ckpCreateObj(w, "keep"), 1);
    EXPECT_EQ(ckpXfer(nullptr, w), 0);
    EXPECT_STREQ(ckpGetError(), "no source to ckpXfer");
    EXPECT_STREQ(ckpGetObjPath(w), "keep"); // untouched
    EXPECT_EQ(ckpXfer(w, nullptr), 0);
    EXPECT_STREQ(ckpGetError(), "no ckpInfo in ckpXfer");

    // A record of no type (an empty path) is written as it was read.
    std::string src = dir.write("in.ckp", "WRXCHECKPOINT=\"1.0\"\n\"\" a=\"1\"\np x=\"1\"\n");
    ckpInfo* r = ckpOpen(src.c_str(), "R");
    ASSERT_NE(r, nullptr);
    ASSERT_EQ(ckpGets(r), 1);
    ASSERT_EQ(ckpGets(r), 1);
    ASSERT_EQ(ckpGetType(r), ckpTypeNone);
    std::string before = ckptest::reportedLine(w);
    ASSERT_EQ(ckpXfer(r, w), 1);
    EXPECT_EQ(std::stoi(ckptest::reportedLine(w)), std::stoi(before) + 1);
    ASSERT_EQ(ckpPuts(w), 1);
    ASSERT_EQ(ckpGets(r), 1);
    ASSERT_EQ(ckpXfer(r, w), 1);
    EXPECT_STREQ(ckpGetObjPath(w), "p");
    EXPECT_EQ(ckpPutProp(w, "x", "2"), 0);
    EXPECT_STREQ(ckpGetError(), "non-unique property name");
    EXPECT_EQ(ckpPutProp(w, "y", nullptr), 1);
    ASSERT_EQ(ckpPuts(w), 1);
    // Transferring into a reading handle empties its record and fails.
    EXPECT_EQ(ckpXfer(w, r), 0);
    EXPECT_STREQ(ckpGetError(), "illegal access mode in ckpXfer");
    ckpClose(r);
    EXPECT_EQ(ckpClose(w), 0);
    EXPECT_EQ(readFile(dir.file("o.ckp")), "\"\" a=\"1\"\np x=\"1\" y\n");
    resetErrors();
}
