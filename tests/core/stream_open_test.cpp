// Handles on a caller's open stream (ckpxOpenStream), and streams over
// bytes in memory (kvoOpenMemory) and into memory (kvoOpenMemoryOutput).
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <string>
#include <vector>

#include "ckp/ckpx.h"
#include "common/testutil.hpp"

namespace {
const std::string v1 = "WRXCHECKPOINT=\"1.0\"\n";

// The stream is still open and readable from its start: its first byte.
int firstByte(std::FILE* stream) {
    if (std::fseek(stream, 0, SEEK_SET) != 0) {
        return -2;
    }
    return std::getc(stream);
}

// The paths of the object records up to the end of the main file.
std::vector<std::string> objects(ckpInfo* r) {
    std::vector<std::string> seen;
    for (int n = 0; ckpGets(r) && ckpGetType(r) != ckpTypeEnd && n < 20; ++n) {
        if (ckpGetType(r) == ckpTypeObject) {
            seen.emplace_back(ckpGetObjPath(r));
        }
    }
    return seen;
}
} // namespace

TEST(StreamOpen, ReadsMemoryFromWhereItStandsWithIncludesBesideItsName) {
    ckptest::TempDir dir;
    dir.write("sub/a.ckp", v1 + "a1\n");
    std::string name = dir.file("main.ckp"); // never made: the bytes are in memory
    std::string bytes = "skipped\n" + v1 + "m1\nsub/a.ckp WRXinc\nm2\n";
    int err = 0;
    std::FILE* mem = kvoOpenMemory(bytes.data(), bytes.size(), &err);
    ASSERT_NE(mem, nullptr) << std::strerror(err);
    ASSERT_EQ(std::fseek(mem, 8, SEEK_SET), 0);

    ckptest::resetErrors();
    ckpInfo* r = ckpxOpenStream(mem, name.c_str(), "R");
    ASSERT_NE(r, nullptr) << ckpGetError();
    int syntax = 0;
    EXPECT_EQ(ckpGetSyntax(r, nullptr, &syntax), 1);
    EXPECT_EQ(syntax, 1);
    char* shown = nullptr;
    ASSERT_EQ(ckpGetName(r, 0, &shown), 1);
    EXPECT_EQ(std::string(shown), name);
    EXPECT_EQ(objects(r), (std::vector<std::string>{"m1", "a1", "m2"}));
    EXPECT_EQ(ckpGetNumError(), 0) << ckpGetError();
    EXPECT_EQ(ckpClose(r), 0);
    EXPECT_EQ(firstByte(mem), 's');
    EXPECT_EQ(std::fclose(mem), 0);

    // An empty memory stream is an empty file.
    mem = kvoOpenMemory(nullptr, 0, &err);
    ASSERT_NE(mem, nullptr);
    r = ckpxOpenStream(mem, "empty", "R");
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(objects(r), std::vector<std::string>{});
    EXPECT_EQ(ckpClose(r), 0);
    EXPECT_EQ(std::fclose(mem), 0);
    err = 0;
    EXPECT_EQ(kvoOpenMemory(nullptr, 1, &err), nullptr);
    EXPECT_EQ(err, EINVAL);
}

TEST(StreamOpen, WritesAtTheStreamsPlaceAndLeavesItOpen) {
    std::FILE* out = std::tmpfile();
    ASSERT_NE(out, nullptr);
    std::fputs("before\n", out);
    ckpInfo* w = ckpxOpenStream(out, "out.ckp", "W");
    ASSERT_NE(w, nullptr);
    ASSERT_EQ(ckpCreateHdr(w), 1);
    ASSERT_EQ(ckpPuts(w), 1);
    ASSERT_EQ(ckpCreateObj(w, "lib/a"), 1);
    ASSERT_EQ(ckpPutProp(w, "v", "1"), 1);
    ASSERT_EQ(ckpPuts(w), 1);
    EXPECT_EQ(ckpFlush(w), 1);
    EXPECT_EQ(ckpClose(w), 0);
    // Still the caller's: it writes on after the records.
    EXPECT_GE(std::fputs("after\n", out), 0);
    std::rewind(out);
    std::string text;
    for (int c = std::getc(out); c != EOF; c = std::getc(out)) {
        text.push_back(static_cast<char>(c));
    }
    EXPECT_EQ(text, "before\n" + v1 + "lib/a v=\"1\"\nafter\n");
    EXPECT_EQ(std::fclose(out), 0);
}

TEST(StreamOpen, AFailedOpenLeavesTheStreamOpen) {
    const std::string badVersion = "WRXCHECKPOINT=\"2.0\"\n";
    struct Case {
        const char* opCodes;
        bool withStream;
        const char* message;
    };
    const Case cases[] = {
        {nullptr, true, "empty opCodes"},
        {"", true, "empty opCodes"},
        {"A", true, "unknown access mode"},
        {"r", true, "unknown access mode"},
        {"R", false, "no stream in ckpxOpenStream"},
        {"R", true, "unknown syntax version in tiStart"},
    };
    for (const Case& c : cases) {
        std::FILE* mem = kvoOpenMemory(badVersion.data(), badVersion.size(), nullptr);
        ASSERT_NE(mem, nullptr);
        ckptest::resetErrors();
        EXPECT_EQ(ckpxOpenStream(c.withStream ? mem : nullptr, "bad", c.opCodes), nullptr);
        EXPECT_STREQ(ckpGetError(), c.message);
        EXPECT_EQ(firstByte(mem), 'W') << c.message;
        EXPECT_EQ(std::fclose(mem), 0);
    }
#if !defined(_WIN32)
    // A stream that cannot be read: the system's reason for the failed read.
    ckptest::TempDir dir;
    std::FILE* writeOnly = std::fopen(dir.file("w").c_str(), "w");
    ASSERT_NE(writeOnly, nullptr);
    EXPECT_EQ(ckpxOpenStream(writeOnly, "w", "R"), nullptr);
    EXPECT_STREQ(ckpGetError(), std::strerror(EBADF));
    EXPECT_EQ(std::fclose(writeOnly), 0);
#endif
}

// Fail the first, second, ... allocation of an open for writing by name and
// of one reading a stream, until each succeeds without an injected failure:
// a failed open names what failed and leaves the caller's stream open.
TEST(StreamOpen, EveryAllocationFailureIsClean) {
    ckptest::TempDir dir;
    std::string path = dir.file("alloc");
    const std::string text = v1 + "x p=\"1\"\n";
    for (bool onStream : {false, true}) {
        bool hit = true;
        long n = 1;
        for (; hit && n < 50; ++n) {
            std::FILE* mem = kvoOpenMemory(text.data(), text.size(), nullptr);
            ASSERT_NE(mem, nullptr);
            ckptest::resetErrors();
            kvoSetAllocFailure(n);
            ckpInfo* info = onStream ? ckpxOpenStream(mem, "m", "R") : ckpOpen(path.c_str(), "W");
            hit = kvoAllocFailureHit() != 0;
            kvoSetAllocFailure(0);
            // A failure the reading open gets over leaves it a handle.
            EXPECT_TRUE(hit ? onStream || info == nullptr : info != nullptr) << "allocation " << n;
            // The handle's own blocks name what failed; the runtime's stream
            // names the file and the system's reason.
            std::string message = ckpGetError();
            EXPECT_TRUE(info != nullptr || message.find("allocation failed") != std::string::npos ||
                        message == path + ": " + std::strerror(ENOMEM))
                << message;
            EXPECT_EQ(ckpClose(info), 0);
            EXPECT_EQ(firstByte(mem), 'W') << "allocation " << n;
            EXPECT_EQ(std::fclose(mem), 0);
        }
        EXPECT_FALSE(hit) << "the open never completed";
    }
}

// What is written comes back whole, however large, and ftell counts it on
// the way; a discarded output and a failed open leave nothing behind.
TEST(StreamOpen, MemoryOutputGivesBackEveryByteWritten) {
    int err = 0;
    kvoMemoryOutput* out = kvoOpenMemoryOutput(&err);
    ASSERT_NE(out, nullptr) << std::strerror(err);
    std::FILE* stream = kvoMemoryOutputStream(out);
    std::string expected;
    for (int i = 0; i < 200000; ++i) {
        std::string line = "o" + std::to_string(i) + " k=\"v\"\n";
        ASSERT_GE(std::fputs(line.c_str(), stream), 0);
        expected += line;
        if (i % 50000 == 0) {
            EXPECT_EQ(std::ftell(stream), static_cast<long>(expected.size()));
        }
    }
    ASSERT_EQ(std::fputc('\0', stream), 0); // bytes, not a C string
    expected += '\0';
    char* bytes = nullptr;
    std::size_t size = 0;
    ASSERT_EQ(kvoCloseMemoryOutput(out, &bytes, &size), 0);
    ASSERT_NE(bytes, nullptr);
    EXPECT_EQ(std::string(bytes, size), expected);
    EXPECT_EQ(bytes[size], '\0');
    kvoFree(bytes);

    out = kvoOpenMemoryOutput(nullptr);
    ASSERT_NE(out, nullptr);
    std::fputs("dropped", kvoMemoryOutputStream(out));
    EXPECT_EQ(kvoCloseMemoryOutput(out, nullptr, nullptr), 0);

    // No memory for the bytes: the close tells, and hands nothing out.
    out = kvoOpenMemoryOutput(nullptr);
    ASSERT_NE(out, nullptr);
    kvoSetAllocFailure(1);
    std::string block(300000, 'x');
    std::fwrite(block.data(), 1, block.size(), kvoMemoryOutputStream(out));
    bytes = nullptr;
    EXPECT_EQ(kvoCloseMemoryOutput(out, &bytes, &size), ENOMEM);
    kvoSetAllocFailure(0);
    EXPECT_EQ(bytes, nullptr);

    EXPECT_EQ(kvoCloseMemoryOutput(nullptr, &bytes, &size), EINVAL);
    EXPECT_EQ(kvoMemoryOutputStream(nullptr), nullptr);
    kvoSetAllocFailure(1);
    err = 0;
    EXPECT_EQ(kvoOpenMemoryOutput(&err), nullptr);
    kvoSetAllocFailure(0);
    EXPECT_EQ(err, ENOMEM);
}
