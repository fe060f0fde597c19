// Opening, flushing and closing handles, and their settings.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include <string>

#include "ckp/ckp.h"
#include "common/testutil.hpp"

TEST(Open, ModeStrings) {
    // The mode letters' faults are the stream open's (StreamOpen tests).
    EXPECT_EQ(ckpOpen(nullptr, "A"), nullptr);
    EXPECT_STREQ(ckpGetError(), "no file name given for append mode");

    ckptest::TempDir dir;
    std::string path = dir.file("out");
    ckpInfo* w = ckpOpen(path.c_str(), "Wxyz");
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(ckpGetType(w), ckpTypeNone);
    int syntax = 0;
    EXPECT_EQ(ckpGetSyntax(w, nullptr, &syntax), 1);
    EXPECT_EQ(syntax, 1);
    EXPECT_EQ(ckpClose(w), 0);

    // "A" appends to what is there; an empty file has no syntax version.
    for (const char* name : {"y", "z"}) {
        ckpInfo* a = ckpOpen(path.c_str(), "A");
        ASSERT_NE(a, nullptr);
        if (name[0] == 'y') {
            EXPECT_EQ(ckpGetSyntax(a, nullptr, &syntax), 0);
            EXPECT_EQ(syntax, -3);
            EXPECT_STREQ(ckpGetError(), "unknown syntax version");
        }
        ASSERT_EQ(ckpCreateObj(a, name), 1);
        ASSERT_EQ(ckpPuts(a), 1);
        EXPECT_EQ(ckpClose(a), 0);
    }
    EXPECT_EQ(ckptest::readFile(path), "y\nz\n");
}

TEST(Open, StandardStreamsAreNeverClosed) {
    ckpInfo* out = ckpOpen(nullptr, "W");
    ASSERT_NE(out, nullptr);
    char* name = reinterpret_cast<char*>(0x1);
    EXPECT_EQ(ckpGetName(out, 1, &name), 1);
    EXPECT_EQ(name, nullptr);
    EXPECT_EQ(ckpFlush(out), 1);
    EXPECT_EQ(ckpClose(out), 0);
    // stdout still works.
    EXPECT_GE(std::fprintf(stdout, "%s", ""), 0);
    EXPECT_EQ(std::fflush(stdout), 0);
}

TEST(Open, AWriteHandleWritesInPlaceAndAFlushShowsItsRecords) {
    ckptest::TempDir dir;
    std::string fresh = dir.file("fresh.ckp");
    std::string old = dir.write("old.ckp", "WRXCHECKPOINT=\"1.0\"\nold\n");
    for (const std::string& path : {fresh, old}) {
        ckpInfo* w = ckpOpen(path.c_str(), "W");
        ASSERT_NE(w, nullptr);
        // There, and truncated, from the open on.
        EXPECT_TRUE(std::filesystem::is_regular_file(path)) << path;
        EXPECT_EQ(ckptest::readFile(path), "");
        ASSERT_EQ(ckpCreateHdr(w), 1);
        ASSERT_EQ(ckpPuts(w), 1);
        ASSERT_EQ(ckpCreateObj(w, "new"), 1);
        ASSERT_EQ(ckpPuts(w), 1);
        ASSERT_EQ(ckpFlush(w), 1);
        ckpInfo* r = ckpOpen(path.c_str(), "R");
        ASSERT_NE(r, nullptr) << ckpGetError();
        ASSERT_EQ(ckpGets(r), 1);
        ASSERT_EQ(ckpGets(r), 1);
        EXPECT_EQ(ckpGetType(r), ckpTypeObject);
        EXPECT_STREQ(ckpGetObjPath(r), "new");
        EXPECT_EQ(ckpClose(r), 0);
        EXPECT_EQ(ckpClose(w), 0);
    }
    // Nothing but the two files: no temporary was made.
    int names = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        ++names;
    }
    EXPECT_EQ(names, 2);
}

TEST(Open, NullHandlesAndSettings) {
    ckptest::resetErrors();
    EXPECT_EQ(ckpClose(nullptr), 0);
    EXPECT_EQ(ckpFlush(nullptr), 0);
    EXPECT_EQ(ckpGetNumError(), 0);
    EXPECT_EQ(ckpSetAction(nullptr, 1, 4), 0);
    EXPECT_STREQ(ckpGetError(), "no ckpInfo in ckpSetAction");
    ckpSetRootsAreOK(nullptr, 1); // ignored
    char* name = nullptr;
    EXPECT_EQ(ckpGetName(nullptr, 0, nullptr), 0);
    EXPECT_STREQ(ckpGetError(), "no fileName pointer in ckpGetName");
    EXPECT_EQ(ckpGetName(nullptr, 0, &name), 0);
    EXPECT_STREQ(ckpGetError(), "no ckpInfo in ckpGetName");

    int syntax = 0;
    EXPECT_EQ(ckpGetSyntax(nullptr, nullptr, &syntax), 1);
    EXPECT_EQ(syntax, 1);
    EXPECT_EQ(ckpGetSyntax(nullptr, "/nonexistent/ckp/file", &syntax), 0);
    EXPECT_EQ(syntax, -3);
}

TEST(Open, FailedFlushAndCloseAreReported) {
    ckptest::resetErrors();
    ckptest::TempDir dir;
    ckpInfo* w = ckpOpen(dir.file("full.ckpt").c_str(), "W");
    ASSERT_NE(w, nullptr);
    ckptest::FileSizeLimit limit(0);
    if (!limit.active()) {
        ckpClose(w);
        GTEST_SKIP() << "no file size limit here";
    }
    ASSERT_EQ(ckpCreateHdr(w), 1);
    ASSERT_EQ(ckpPuts(w), 1);
    EXPECT_EQ(ckpFlush(w), 0);
    EXPECT_STREQ(ckpGetError(), strerror(EFBIG));
    ASSERT_EQ(ckpCreateObj(w, "more"), 1);
    ckpPuts(w);
    EXPECT_EQ(ckpClose(w), 1);
    EXPECT_STREQ(ckpGetError(), strerror(EFBIG));
}
