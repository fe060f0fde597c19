// The header check of a reading open: syntax versions and the first records.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "ckp/ckp.h"
#include "common/testutil.hpp"

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
};
} // namespace

TEST(HeaderCheck, VersionValues) {
    ckptest::TempDir dir;
    // A header alone, and an empty file (syntax 0), open without a message.
    for (const auto& [text, syntax] : {std::pair<const char*, int>{"WRXCHECKPOINT=\"1.0\"\n", 1},
                                       std::pair<const char*, int>{"", 0}}) {
        ckptest::resetErrors();
        Opened one(dir.write("one", text));
        ASSERT_NE(one.info, nullptr);
        EXPECT_EQ(ckpGetNumError(), 0);
        EXPECT_EQ(one.syntax(), syntax);
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

// A file without header has syntax 0 and is read from its first line
// again (a comment too; a blank one is not, and the header holds it): the
// header record otherwise stands on line 0, as an empty file's does, and a
// first record of several lines is read again whole and counted once.
TEST(HeaderCheck, FileWithoutHeaderIsReadFromItsFirstLine) {
    const std::pair<const char*, std::vector<std::string>> cases[] = {
        {"lib/a 3 static\nlib/b 4 dynamic\n", {"header@0", "object lib/a@1", "object lib/b@2"}},
        {"; note\nWRXCHECKPOINT=\"1.0\"\n",
         {"header@0", "comment@1", "syntax WRXCHECKPOINT=\"1.0\"@2"}},
        {"\nlib/a 1 static\n", {"header@1", "object lib/a@2"}},
        {"lib/a \\\n 3 static\nlib/b 1 dynamic\n",
         {"header@0", "syntax lib/a@2", "object lib/b@3"}},
        {"lib/a 3 static \\\n ; c\n x\nlib/b 1 dynamic\n",
         {"header@0", "object lib/a@3", "object lib/b@4"}},
    };
    ckptest::TempDir dir;
    for (const auto& [text, want] : cases) {
        ckptest::resetErrors();
        Opened plain(dir.write("plain", text));
        ASSERT_NE(plain.info, nullptr) << text;
        EXPECT_STREQ(ckpGetError(), "not a checkpoint file") << text;
        EXPECT_EQ(plain.syntax(), 0) << text;
        std::vector<std::string> seen;
        for (std::size_t i = 0; i < want.size(); ++i) {
            int type = plain.next();
            const char* path = ckpGetObjPath(plain.info);
            seen.push_back(std::string(type == ckpTypeHeader    ? "header"
                                       : type == ckpTypeComment ? "comment"
                                       : type == ckpTypeObject  ? "object "
                                                                : "syntax ") +
                           (type == ckpTypeObject || type == ckpTypeSyntax ? path : "") + "@" +
                           ckptest::reportedLine(plain.info));
        }
        EXPECT_EQ(seen, want) << text;
    }
}

TEST(HeaderCheck, ReadErrorsFailTheOpen) {
    ckptest::resetErrors();
    ckptest::TempDir dir;
    EXPECT_EQ(ckpOpen(dir.path().c_str(), "R"), nullptr);
    EXPECT_EQ(std::string(ckpGetError()), dir.path() + ": " + strerror(EISDIR));
}
