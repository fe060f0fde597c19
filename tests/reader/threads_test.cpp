// Handles read in several threads at once share no state: each thread has
// its own error text, and the text a failed include leaves for its syntax
// record is that thread's.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "common/testutil.hpp"
#include "reader/reading.hpp"

namespace {

using readtest::Reader;

TEST(Threads, EachThreadKeepsItsOwnErrorText) {
    ckptest::resetErrors();
    ckpInfo* missing = ckpOpen("no/such/file", "R");
    EXPECT_EQ(missing, nullptr);
    EXPECT_GT(ckpGetNumError(), 0);
    std::string other;
    std::thread([&] {
        EXPECT_EQ(ckpOpen("no/other/file", "R"), nullptr);
        other = ckpGetError();
    }).join();
    EXPECT_EQ(other, "no/other/file: file not found");
    EXPECT_STREQ(ckpGetError(), "no/such/file: file not found");
    EXPECT_EQ(ckpGetNumError(), 0) << "the other thread's errors are not counted here";
}

TEST(Threads, FailedIncludesNameTheirOwnFiles) {
    ckptest::TempDir dir;
    constexpr int threads = 4;
    std::vector<std::string> mains;
    for (int t = 0; t < threads; ++t) {
        std::string body = "WRXCHECKPOINT=\"1.0\"\n";
        for (int i = 0; i < 50; ++i) {
            body += "gone" + std::to_string(t) + "_" + std::to_string(i) + " WRXinc\n";
        }
        mains.push_back(dir.write("main" + std::to_string(t) + ".ckpt", body));
    }
    std::vector<int> wrong(threads, 0);
    std::vector<std::thread> running;
    for (int t = 0; t < threads; ++t) {
        running.emplace_back([&, t] {
            for (int round = 0; round < 20; ++round) {
                Reader r(mains[static_cast<std::size_t>(t)]);
                int i = 0;
                for (int type = r.next(); type != ckpTypeEnd && type != ckpTypeError;
                     type = r.next()) {
                    if (type == ckpTypeSyntax) {
                        std::string want =
                            dir.file("gone" + std::to_string(t) + "_" + std::to_string(i++)) +
                            ": file not found";
                        wrong[static_cast<std::size_t>(t)] += r.syntaxMsg() != want;
                    }
                }
                wrong[static_cast<std::size_t>(t)] += i != 50;
            }
        });
    }
    for (std::thread& thread : running) {
        thread.join();
    }
    EXPECT_EQ(wrong, std::vector<int>(threads, 0));
}

} // namespace
