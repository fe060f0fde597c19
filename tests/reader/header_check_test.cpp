// The header check of a reading open: syntax versions and the first records.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

#include "common/testutil.hpp"
#include "core/types.hpp"

namespace {
struct Opened {
    ckpInfo* info;
    explicit Opened(const std::string& path) : info(ckpOpen(path.c_str(), "R")) {}
    ~Opened() { ckpClose(info); }
    int next() {
        ckpGets(info);
        return ckpGetType(info);
    }
    int syntax() {
        int s = -9;
        ckpGetSyntax(info, nullptr, &s);
        return s;
    }
    long long line() const { return info->files.top->firstLine->lineNumber; }
};
} // namespace

TEST(HeaderCheck, VersionValues) {
    ckptest::TempDir dir;
    ckptest::resetErrors();
    {
        Opened one(dir.write("one", "WRXCHECKPOINT=\"1.0\"\n"));
        ASSERT_NE(one.info, nullptr);
        EXPECT_EQ(ckpGetNumError(), 0);
        EXPECT_EQ(one.syntax(), 1);
        EXPECT_EQ(one.next(), ckpTypeHeader);
        EXPECT_EQ(one.next(), ckpTypeEnd);
        EXPECT_EQ(ckpGets(one.info), 0);
    }
    const std::pair<const char*, const char*> bad[] = {
        {"WRXCHECKPOINT=\"2.0\"\n", "unknown syntax version in tiStart"},
        {"WRXCHECKPOINT=\"1.5\"\n", "illegal minor version in syntax"},
        {"WRXCHECKPOINT=\"1.00\"\n", "illegal minor version in syntax"},
        {"WRXCHECKPOINT=\"A.0\"\n", "illegal major version in syntax"},
        // Major versions beyond 32 bits, or an int, do not wrap to 0 or 1.
        {"WRXCHECKPOINT=\"4294967296.0\"\n", "unknown syntax version in tiStart"},
        {"WRXCHECKPOINT=\"4294967297.0\"\n", "unknown syntax version in tiStart"},
        {"WRXCHECKPOINT=\"2147483648.0\"\n", "unknown syntax version in tiStart"},
        {"WRXCHECKPOINT=\"4294967295.0\"\n", "unknown syntax version in tiStart"},
        {"WRXCHECKPOINT=\"18446744073709551617.0\"\n", "unknown syntax version in tiStart"},
    };
    for (const auto& [text, message] : bad) {
        EXPECT_EQ(ckpOpen(dir.write("bad", text).c_str(), "R"), nullptr) << text;
        EXPECT_STREQ(ckpGetError(), message) << text;
    }
    // Blanks and line breaks around the '=' are allowed.
    Opened spread(dir.write("spread", "  WRXCHECKPOINT \\\n = \"1.0\" owner=\"x\"\n"));
    ASSERT_NE(spread.info, nullptr);
    EXPECT_EQ(spread.syntax(), 1);
    EXPECT_EQ(spread.next(), ckpTypeHeader);
    char* value = nullptr;
    EXPECT_EQ(ckpGetProp(spread.info, "owner", &value), 1);
    EXPECT_STREQ(value, "x");
}

TEST(HeaderCheck, EmptyFileHasSyntaxZero) {
    ckptest::TempDir dir;
    ckptest::resetErrors();
    Opened empty(dir.write("empty", ""));
    ASSERT_NE(empty.info, nullptr);
    EXPECT_EQ(ckpGetNumError(), 0);
    EXPECT_EQ(empty.syntax(), 0);
    EXPECT_EQ(empty.next(), ckpTypeHeader);
    EXPECT_EQ(empty.next(), ckpTypeEnd);
}

TEST(HeaderCheck, FileWithoutHeaderReadsFromItsFirstLine) {
    ckptest::TempDir dir;
    ckptest::resetErrors();
    Opened plain(dir.write("plain", "lib/a 3 static\nlib/b 4 dynamic\n"));
    ASSERT_NE(plain.info, nullptr);
    EXPECT_STREQ(ckpGetError(), "not a checkpoint file");
    EXPECT_EQ(ckpGetNumError(), 1);
    EXPECT_EQ(plain.syntax(), 0);
    EXPECT_EQ(plain.next(), ckpTypeHeader);
    EXPECT_EQ(plain.next(), ckpTypeObject);
    EXPECT_STREQ(ckpGetObjPath(plain.info), "lib/a");
    EXPECT_EQ(plain.line(), 1); // the first line is not counted twice
    EXPECT_EQ(plain.next(), ckpTypeObject);
    EXPECT_EQ(plain.line(), 2);
}

// A comment first line is read again; a blank one is not.
TEST(HeaderCheck, CommentFirstLineIsReadAgainBlankIsNot) {
    ckptest::TempDir dir;
    Opened comment(dir.write("comment", "; note\nWRXCHECKPOINT=\"1.0\"\n"));
    ASSERT_NE(comment.info, nullptr);
    EXPECT_EQ(comment.syntax(), 0);
    EXPECT_EQ(comment.next(), ckpTypeHeader);
    EXPECT_EQ(comment.next(), ckpTypeComment);
    EXPECT_EQ(comment.line(), 1);
    Opened blank(dir.write("blank", "\nlib/a 1 static\n"));
    EXPECT_EQ(blank.next(), ckpTypeHeader);
    EXPECT_EQ(blank.next(), ckpTypeObject);
    EXPECT_EQ(blank.line(), 2);
}

// A header-less first record of several lines comes back whole.
TEST(HeaderCheck, FirstRecordOfSeveralLinesComesBackWhole) {
    ckptest::TempDir dir;
    Opened multi(dir.write("multi", "lib/a \\\n 3 static\nlib/b 1 dynamic\n"));
    ASSERT_NE(multi.info, nullptr);
    EXPECT_EQ(multi.next(), ckpTypeHeader);
    int first = multi.next();
    EXPECT_STREQ(ckpGetObjPath(multi.info), "lib/a");
    (void)first;
    EXPECT_EQ(multi.line(), 2);
    EXPECT_EQ(multi.next(), ckpTypeObject);
    EXPECT_STREQ(ckpGetObjPath(multi.info), "lib/b");
    EXPECT_EQ(multi.line(), 3);
}

TEST(HeaderCheck, ReadErrorsFailTheOpen) {
    ckptest::resetErrors();
    ckptest::TempDir dir;
    EXPECT_EQ(ckpOpen(dir.path().c_str(), "R"), nullptr);
    EXPECT_EQ(std::string(ckpGetError()), dir.path() + ": " + strerror(EISDIR));
}

using ckptest::reportedLine;

// The header record of a file without one holds no line when its first
// line is read again: it stands on line 0, as an empty file's does, and the
// first record's lines are its own.
TEST(HeaderCheck, HeaderOfAFileWithoutHeaderHoldsNoLine) {
    ckptest::TempDir dir;
    {
        Opened plain(dir.write("plain", "lib/a 3 static\nlib/b 4 dynamic\n"));
        ASSERT_NE(plain.info, nullptr);
        EXPECT_EQ(plain.next(), ckpTypeHeader);
        EXPECT_EQ(plain.line(), 0);
        EXPECT_EQ(reportedLine(plain.info), "0");
        EXPECT_EQ(plain.next(), ckpTypeObject);
        EXPECT_EQ(reportedLine(plain.info), "1");
        EXPECT_EQ(plain.next(), ckpTypeObject);
        EXPECT_EQ(reportedLine(plain.info), "2");
    }
    {
        // A first record of two lines is read again whole, and counted once.
        Opened multi(dir.write("multi", "lib/a 3 static \\\n ; c\n x\nlib/b 1 dynamic\n"));
        ASSERT_NE(multi.info, nullptr);
        EXPECT_EQ(multi.next(), ckpTypeHeader);
        EXPECT_EQ(reportedLine(multi.info), "0");
        EXPECT_EQ(multi.next(), ckpTypeObject);
        EXPECT_EQ(multi.line(), 3);
        EXPECT_EQ(multi.next(), ckpTypeObject);
        EXPECT_EQ(reportedLine(multi.info), "4");
    }
}

// A caller that read the start of standard input itself hands the rest to
// the library: a rest without header is read again from where the library
// took the stream over, not from the start of the input.
TEST(HeaderCheck, StandardInputTakenOverAtAnOffset) {
    ckptest::TempDir dir;
    std::string path = dir.write("in", "caller's own line\nlib/a 3 static\nlib/b 4 dynamic\n");
    int saved = dup(0);
    ASSERT_GE(saved, 0);
    // Binary: the Windows runtime's ftell miscounts a text stream whose lines
    // end in a bare line feed.
    ASSERT_NE(std::freopen(path.c_str(), "rb", stdin), nullptr);
    char own[64];
    ASSERT_NE(std::fgets(own, sizeof own, stdin), nullptr);
    std::vector<std::string> paths;
    ckpInfo* info = ckpOpen(nullptr, "R");
    EXPECT_NE(info, nullptr);
    for (int i = 0; info != nullptr && i < 10 && ckpGets(info); ++i) {
        if (ckpGetType(info) == ckpTypeEnd) {
            break;
        }
        if (ckpGetType(info) != ckpTypeHeader) {
            paths.emplace_back(ckpGetObjPath(info) != nullptr ? ckpGetObjPath(info) : "<null>");
        }
    }
    ckpClose(info);
    std::clearerr(stdin);
    dup2(saved, 0);
    close(saved);
    EXPECT_EQ(paths, (std::vector<std::string>{"lib/a", "lib/b"}));
}
