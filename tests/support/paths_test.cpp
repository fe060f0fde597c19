// Path services of the support layer, tested directly.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "ckp/kvo.h"
#include "common/testutil.hpp"
#include "support/platform.hpp"

namespace {

// A platform string as std::string, freed.
std::string take(char* text) {
    std::string s = text != nullptr ? text : "<null>";
    kvoFree(text);
    return s;
}

#if defined(_WIN32)
TEST(Paths, DirectoryPartsAndNamesBesideWithDrives) {
    EXPECT_EQ(take(platform::dirOf("name")), ".");
    EXPECT_EQ(take(platform::dirOf("C:\\name")), "C:\\");
    EXPECT_EQ(take(platform::dirOf("C:name")), "C:");
    EXPECT_EQ(take(platform::dirOf("C:\\a/b\\name")), "C:\\a/b");
    EXPECT_EQ(take(platform::beside("C:name", "x")), "C:x");
    EXPECT_EQ(take(platform::beside("a\\b/name", ".ckp.lock")), "a\\b/.ckp.lock");
}
#else
TEST(Paths, DirectoryPartsAndNamesBeside) {
    const char* const cases[][3] = {{"name", ".", ".ckp.lock"},
                                    {"/name", "/", "/.ckp.lock"},
                                    {"a/b/name", "a/b", "a/b/.ckp.lock"},
                                    {"a/b/", "a/b", "a/b/.ckp.lock"}};
    for (const auto& c : cases) {
        EXPECT_EQ(take(platform::dirOf(c[0])), c[1]) << c[0];
        EXPECT_EQ(take(platform::beside(c[0], ".ckp.lock")), c[2]) << c[0];
    }
    kvoSetAllocFailure(1);
    EXPECT_EQ(platform::beside("a/b", "x"), nullptr);
    kvoSetAllocFailure(0);
}

TEST(Paths, RootsSeparatorsAndDirectoryBuilding) {
    EXPECT_EQ(kvoIsRooted("/a"), 1);
    EXPECT_EQ(kvoIsRooted("a/b"), 0);
    EXPECT_EQ(kvoIsRooted(""), 0);
    EXPECT_EQ(kvoIsRooted(nullptr), 0);
    char mixed[] = "a\\b/c";
    kvoCanonicalizeDirSep(mixed);
    EXPECT_STREQ(mixed, "a/b/c");
    kvoCanonicalizeDirSep(nullptr);

    ckptest::TempDir dir;
    std::string deep = dir.file("x/y/z");
    EXPECT_EQ(kvoBuildDirPath(deep.c_str()), 1);
    EXPECT_TRUE(std::filesystem::is_directory(deep));
    EXPECT_EQ(kvoBuildDirPath(deep.c_str()), 1); // already there
    std::string file = dir.write("plain", "x");
    EXPECT_EQ(kvoBuildDirPath((file + "/under").c_str()), 0);
    EXPECT_EQ(kvoBuildDirPath(""), 0);
}
#endif

} // namespace
