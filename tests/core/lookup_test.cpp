// Finding files by name or with the default suffix, and their identity.
#include <gtest/gtest.h>

#include <string>
#include <sys/stat.h>

#include "common/testutil.hpp"
#include "core/handle.hpp"
#include "core/lookup.hpp"

TEST(Lookup, SuffixJoining) {
    EXPECT_STREQ(tAddSuffix("a", "Ckpt"), "a.Ckpt");
    EXPECT_STREQ(tAddSuffix("a", ""), "a");
    EXPECT_STREQ(tAddSuffix("", "Ckpt"), ".Ckpt");
    EXPECT_STREQ(tAddSuffix(nullptr, nullptr), "");
}

TEST(Lookup, NameThenSuffixedName) {
    ckptest::TempDir dir;
    std::string plain = dir.write("n", "x\n");
    std::string suffixed = dir.write("only.Ckpt", "y\n");
    dir.write("n.Ckpt", "z\n");
    char* found = nullptr;
    std::uint16_t node = 99;

    ckptest::resetErrors();
    std::FILE* f = tOpen(plain.c_str(), "r", &found, &node);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(std::string(found), plain);
    EXPECT_EQ(ckpGetNumError(), 0);
    std::fclose(f);

    std::string base = dir.file("only");
    f = tOpen(base.c_str(), "r", &found, &node);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(std::string(found), suffixed);
    EXPECT_EQ(std::string(ckpGetError()), base + ": file not found");
    EXPECT_EQ(ckpGetNumError(), 1);
    struct stat st;
    ASSERT_EQ(stat(suffixed.c_str(), &st), 0);
    EXPECT_EQ(node, static_cast<std::uint16_t>(st.st_ino & 0xFFFF));
    std::fclose(f);

    std::string missing = dir.file("none");
    EXPECT_EQ(tOpen(missing.c_str(), "a", &found, &node), nullptr);
    EXPECT_EQ(ckpGetNumError(), 3);
    EXPECT_EQ(std::string(ckpGetError()), missing + ": file not found");
}

TEST(Lookup, WritingNeverTakesTheSuffix) {
    ckptest::TempDir dir;
    dir.write("w.Ckpt", "keep\n");
    std::string target = dir.file("w");
    char* found = nullptr;
    std::uint16_t node = 0;
    std::FILE* f = tOpen(target.c_str(), "w", &found, &node);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(std::string(found), target);
    // The file is there from the open on, with its node.
    struct stat st {};
    ASSERT_EQ(stat(target.c_str(), &st), 0);
    EXPECT_EQ(node, static_cast<std::uint16_t>(st.st_ino & 0xFFFF));
    std::fclose(f);
    EXPECT_EQ(ckptest::readFile(target), "");
    EXPECT_EQ(ckptest::readFile(dir.file("w.Ckpt")), "keep\n");
}

TEST(Lookup, ArgumentAndOpenFailures) {
    ckptest::resetErrors();
    char* found = nullptr;
    std::uint16_t node = 0;
    EXPECT_EQ(tOpen("", "r", &found, &node), nullptr);
    EXPECT_STREQ(ckpGetError(), "no file name in tOpen");
    EXPECT_EQ(tOpen("x", "r", &found, nullptr), nullptr);
    EXPECT_STREQ(ckpGetError(), "illegal node argument in tOpen");
    EXPECT_EQ(tOpen("x", "r", nullptr, &node), nullptr);
    EXPECT_STREQ(ckpGetError(), "illegal name argument in tOpen");
    EXPECT_EQ(tPathExists("x", nullptr), 0);
    EXPECT_STREQ(ckpGetError(), "illegal argument in tPathExists");

    ckptest::TempDir dir;
    std::string sub = dir.file("nowhere/f");
    EXPECT_EQ(tOpen(sub.c_str(), "w", &found, &node), nullptr);
    EXPECT_EQ(std::string(ckpGetError()), sub + ": " + strerror(ENOENT));
    // A directory is not opened as a file.
    EXPECT_EQ(tOpen(dir.path().c_str(), "r", &found, &node), nullptr);
    EXPECT_EQ(std::string(ckpGetError()), dir.path() + ": " + strerror(EISDIR));
    std::string longName(2000, 'a');
    EXPECT_EQ(tOpen(longName.c_str(), "r", &found, &node), nullptr);
}

TEST(Lookup, IdentityOfTheSameFileUnderTwoNames) {
    ckptest::TempDir dir;
    std::string a = dir.write("a", "1\n");
    std::string b = dir.write("b", "2\n");
    std::FILE* fa = std::fopen(a.c_str(), "r");
    std::FILE* fb = std::fopen(b.c_str(), "r");
    std::FILE* fa2 = std::fopen(dir.file("./a").c_str(), "r");
    ckpFile files[3]{};
    files[0].stream = fa;
    files[1].stream = fb;
    files[2].stream = fa2;
    for (auto& f : files) {
        tStreamId(f.stream, &f.id);
        EXPECT_EQ(f.id.valid, 1);
    }
    EXPECT_EQ(tSameFile(&files[0], &files[2]), 1);
    EXPECT_EQ(tSameFile(&files[0], &files[1]), 0);
    // Equal 16-bit nodes do not make two distinct files the same.
    files[0].node = files[1].node = 42;
    EXPECT_EQ(tSameFile(&files[0], &files[1]), 0);
    // Without identities the node decides, and node 0 matches nothing.
    ckpFileId none{};
    files[1].id.valid = 0;
    EXPECT_EQ(tSameFileAs(&none, 42, &files[1]), 1);
    files[1].node = 0;
    EXPECT_EQ(tSameFileAs(&none, 0, &files[1]), 0);
    std::uint16_t n1 = 0, n2 = 0;
    ASSERT_EQ(tPathExists(a.c_str(), &n1), 1);
    ASSERT_EQ(tPathExists(dir.file("./a").c_str(), &n2), 1);
    EXPECT_EQ(n1, n2);
    std::fclose(fa);
    std::fclose(fb);
    std::fclose(fa2);
}
