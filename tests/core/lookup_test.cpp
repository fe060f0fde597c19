// Finding files by name or with the default suffix, and their identity.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "common/testutil.hpp"
#include "core/handle.hpp"
#include "core/lookup.hpp"

namespace {
std::string nameOf(ckpInfo* info) {
    char* name = nullptr;
    ckpGetName(info, 0, &name);
    return name != nullptr ? name : "<null>";
}
} // namespace

// A name is read as given, else with the default suffix; a name written
// never takes the suffix, and the file is there from the open on.
TEST(Lookup, NameThenSuffixedName) {
    ckptest::TempDir dir;
    std::string plain = dir.write("n", "");
    std::string suffixed = dir.write("only.Ckpt", "");
    dir.write("n.Ckpt", "z\n");
    ckptest::resetErrors();
    ckpInfo* r = ckpOpen(plain.c_str(), "R");
    EXPECT_EQ(nameOf(r), plain);
    EXPECT_EQ(ckpGetNumError(), 0);
    ckpClose(r);

    std::string base = dir.file("only");
    r = ckpOpen(base.c_str(), "R");
    EXPECT_EQ(nameOf(r), suffixed);
    EXPECT_EQ(std::string(ckpGetError()), base + ": file not found");
    EXPECT_EQ(ckpGetNumError(), 1);
    ckpClose(r);

    std::string missing = dir.file("none");
    EXPECT_EQ(ckpOpen(missing.c_str(), "R"), nullptr);
    EXPECT_EQ(std::string(ckpGetError()), missing + ": file not found");

    std::string target = dir.file("n");
    ckpInfo* w = ckpOpen(target.c_str(), "W");
    EXPECT_EQ(nameOf(w), target);
    EXPECT_EQ(ckptest::readFile(target), "");
    EXPECT_EQ(ckpClose(w), 0);
    EXPECT_EQ(ckptest::readFile(dir.file("n.Ckpt")), "z\n");

    std::string sub = dir.file("nowhere/f");
    EXPECT_EQ(ckpOpen(sub.c_str(), "W"), nullptr);
    EXPECT_EQ(std::string(ckpGetError()), sub + ": " + strerror(ENOENT));
    std::string longName(2000, 'a');
    EXPECT_EQ(ckpOpen(longName.c_str(), "R"), nullptr);
}

// Two names of one file are the same file; equal 16-bit nodes do not make two
// distinct files the same; without identities the node decides, and node 0
// matches nothing.
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
    files[0].node = files[1].node = 42;
    EXPECT_EQ(tSameFile(&files[0], &files[1]), 0);
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
