// The header check of a reading open: syntax versions and the first records.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "common/testutil.hpp"
#include "reading.hpp"

using readtest::Reader;

namespace {
int syntaxOf(const Reader& r) {
    int s = -9;
    ckpGetSyntax(r.info, nullptr, &s);
    return s;
}
} // namespace

TEST(HeaderCheck, VersionValues) {
    ckptest::TempDir dir;
    // A header alone, and an empty file (syntax 0), open without a message.
    for (const auto& [text, syntax] : {std::pair<const char*, int>{"WRXCHECKPOINT=\"1.0\"\n", 1},
                                       std::pair<const char*, int>{"", 0}}) {
        ckptest::resetErrors();
        Reader one(dir.write("one", text));
        ASSERT_NE(one.info, nullptr);
        EXPECT_EQ(ckpGetNumError(), 0);
        EXPECT_EQ(syntaxOf(one), syntax);
        EXPECT_EQ(readtest::trace(one), (std::vector<std::string>{"header", "end"}));
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
    Reader spread(dir.write("spread", "  WRXCHECKPOINT \\\n = \"1.0\" owner=\"x\"\n"));
    ASSERT_NE(spread.info, nullptr);
    EXPECT_EQ(syntaxOf(spread), 1);
    EXPECT_EQ(spread.next(), ckpTypeHeader);
    EXPECT_EQ(spread.prop("owner"), "x");
}

// A file without header has syntax 0 and is read from its first line
// again (a comment too; a blank one is not, and the header holds it): the
// header record otherwise stands on line 0, as an empty file's does, and a
// first record of several lines is read again whole and counted once.
TEST(HeaderCheck, FileWithoutHeaderIsReadFromItsFirstLine) {
    const std::pair<const char*, std::vector<std::string>> cases[] = {
        {"lib/a 3 static\nlib/b 4 dynamic\n", {"header@0", "object lib/a@1", "object lib/b@2"}},
        {"; note\nWRXCHECKPOINT=\"1.0\"\n",
         {"header@0", "comment@1", "syntax missing <WRX_version>@2"}},
        {"\nlib/a 1 static\n", {"header@1", "object lib/a@2"}},
        {"lib/a \\\n 3 static\nlib/b 1 dynamic\n",
         {"header@0", "syntax missing <WRX_version>@2", "object lib/b@3"}},
        {"lib/a 3 static \\\n ; c\n x\nlib/b 1 dynamic\n",
         {"header@0", "object lib/a@3", "object lib/b@4"}},
    };
    ckptest::TempDir dir;
    for (const auto& [text, want] : cases) {
        ckptest::resetErrors();
        Reader plain(dir.write("plain", text));
        ASSERT_NE(plain.info, nullptr) << text;
        EXPECT_STREQ(ckpGetError(), "not a checkpoint file") << text;
        EXPECT_EQ(syntaxOf(plain), 0) << text;
        EXPECT_EQ(readtest::trace(plain, static_cast<int>(want.size()), true), want) << text;
    }
}

TEST(HeaderCheck, ReadErrorsFailTheOpen) {
    ckptest::resetErrors();
    ckptest::TempDir dir;
    EXPECT_EQ(ckpOpen(dir.path().c_str(), "R"), nullptr);
    EXPECT_EQ(std::string(ckpGetError()), dir.path() + ": " + std::strerror(EISDIR));
}
