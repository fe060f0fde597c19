// Bad input and failing allocations: every outcome is a record type with a
// message, never a crash, an overrun or a leak (the asan preset checks).
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

#include "common/testutil.hpp"
#include "reading.hpp"

using readtest::Reader;
using readtest::v1;

namespace {
// Reads every record and touches what a caller would; returns how many
// records came before the end (-1 when reading never ended).
int drain(ckpInfo* info, int limit = 100000) {
    for (int n = 0; n < limit; ++n) {
        if (ckpGets(info) == 0) {
            return n;
        }
        int type = ckpGetType(info);
        ckpGetObjPath(info);
        int id = 0;
        char* name = nullptr;
        char* value = nullptr;
        while (ckpGenProp(info, &id, &name, &value)) {
        }
        if (type == ckpTypeEnd) {
            return n;
        }
    }
    return -1;
}
} // namespace

TEST(Robustness, ContinuationLineCannotBeMade) {
    ckptest::TempDir dir;
    Reader r(dir.write("f", v1 + "p a=\"1\" \\\n b=\"2\"\nq\n"));
    ASSERT_NE(r.info, nullptr);
    r.next();
    // The record's first line is reused; the next allocation is the
    // continuation line.
    kvoSetAllocFailure(1);
    EXPECT_EQ(r.next(), ckpTypeError);
    EXPECT_EQ(kvoAllocFailureHit(), 1);
    EXPECT_STREQ(ckpGetError(), "ckpLine allocation failed");
    EXPECT_EQ(r.text(), "p a=\"1\" "); // the line read stays as it was
    // Reading goes on with the next physical line.
    EXPECT_EQ(readtest::trace(r), (std::vector<std::string>{"object b=\"2\"", "object q", "end"}));
}

TEST(Robustness, IncludeDepth) {
    ckptest::TempDir dir;
    // A deep chain of distinct files.
    const int depth = 60;
    for (int i = 0; i < depth; ++i) {
        std::string include =
            i + 1 < depth ? ckptest::cat("d", std::to_string(i + 1), " WRXinc\n") : "";
        dir.write(ckptest::cat("d", std::to_string(i)),
                  ckptest::cat(v1, include, "r", std::to_string(i), "\n"));
    }
    Reader deep(dir.file("d0"));
    ASSERT_NE(deep.info, nullptr);
    std::vector<std::string> records = readtest::trace(deep, 100000);
    EXPECT_EQ(std::count(records.begin(), records.end(), "object r0"), 1);
    EXPECT_EQ(std::count_if(records.begin(), records.end(),
                            [](const std::string& t) { return t.rfind("object", 0) == 0; }),
              depth);
}

TEST(Robustness, EndlessContinuationAndBadQuotes) {
    ckptest::TempDir dir;
    std::string many = v1 + "p \\\n";
    for (int i = 0; i < 5000; ++i) {
        many += ckptest::cat("a", std::to_string(i), "=\"v\" \\\n");
    }
    many += "\"unbalanced\n\"a \\\" b\n p a=\"x\\\" \n x \"q\" y\n";
    Reader r(dir.write("f", many));
    ASSERT_NE(r.info, nullptr);
    r.next();
    // The record goes on to the first line without backslash.
    EXPECT_EQ(r.next(), ckpTypeSyntax);
    EXPECT_EQ(r.syntaxMsg(), "illegal character in property name");
    EXPECT_EQ(r.lines().size(), 5002u);
    EXPECT_EQ(r.props().size(), 5000U);
    EXPECT_EQ(readtest::trace(r),
              (std::vector<std::string>{"syntax missing '\"' in path name",
                                        "syntax missing '\"' for property value",
                                        "syntax illegal character in property name", "end"}));
}

TEST(Robustness, RandomBytes) {
    ckptest::TempDir dir;
    std::mt19937 gen(12345);
    const char alphabet[] = "ab \t\\\";=\n\r\x01\xff\0WRXc";
    for (int round = 0; round < 300; ++round) {
        std::string bytes = round % 2 == 0 ? v1 : std::string();
        int length = static_cast<int>(gen() % 3000);
        for (int i = 0; i < length; ++i) {
            bytes += gen() % 4 == 0 ? static_cast<char>(gen() % 256)
                                    : alphabet[gen() % (sizeof alphabet - 1)];
        }
        Reader r(dir.write("f", bytes));
        if (r.info != nullptr) {
            EXPECT_GE(drain(r.info), 0) << round;
        }
    }
}
