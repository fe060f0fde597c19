// The error state and the string helpers.
#include <gtest/gtest.h>

#include <string>

#include "common/testutil.hpp"
#include "core/error.hpp"
#include "core/memory.hpp"
#include "core/strmatch.hpp"

TEST(ErrorState, CountsMessagesAndKeepsTheLastText) {
    ckptest::resetErrors();
    tiSetError("first");
    tiSetError("second");
    EXPECT_STREQ(ckpGetError(), "second");
    EXPECT_EQ(ckpGetNumError(), 2);
    EXPECT_EQ(ckpGetNumError(), 0);
    EXPECT_STREQ(ckpGetError(), "second");

    // An empty text clears the text but is not counted.
    tiSetError("");
    EXPECT_STREQ(ckpGetError(), "unknown error");
    tiSetError(nullptr);
    EXPECT_EQ(ckpGetNumError(), 0);
}

TEST(ErrorState, SystemErrorsAndLongMessages) {
    ckptest::resetErrors();
    tiSetSysError(0);
    EXPECT_STREQ(ckpGetError(), "not a system error[0]");
    tiSetSysError(-5);
    EXPECT_STREQ(ckpGetError(), "not a system error[-5]");
    tiSetSysError(ENOENT);
    EXPECT_STREQ(ckpGetError(), strerror(ENOENT));
    EXPECT_EQ(ckpGetNumError(), 3);

    std::string longName(2000, 'x');
    tiSetErrorf("%s: file not found", longName.c_str());
    EXPECT_EQ(std::string(ckpGetError()), longName.substr(0, 511));

    // The result buffer may be quoted in a new message.
    tiSetError("inner");
    tiSetErrorf("%s: %s", "outer", ckpGetError());
    EXPECT_STREQ(ckpGetError(), "outer: inner");
}

TEST(StrMatch, ExactAndFoldingRules) {
    EXPECT_EQ(tiStrMatch("abc", ".", "abc"), 1);
    EXPECT_EQ(tiStrMatch("abc", ".", "abcd"), 0);
    EXPECT_EQ(tiStrMatch("abc", nullptr, "abC"), 0);
    EXPECT_EQ(tiStrMatch("ST", "*", "static"), 1);
    EXPECT_EQ(tiStrMatch("static", "*", "STATICALLY"), 1);
    EXPECT_EQ(tiStrMatch("static", "*", "dynamic"), 0);
    EXPECT_EQ(tiStrMatch("", "*", "anything"), 1);
    EXPECT_EQ(tiStrMatch("ABC", "U", "abc"), 1);
    EXPECT_EQ(tiStrMatch("abc", "U", "abc"), 0);
    EXPECT_EQ(tiStrMatch("abc", "L", "ABC"), 1);
    for (const char* mode : {".", "*", "L", "U"}) {
        EXPECT_EQ(tiStrMatch(nullptr, mode, nullptr), 1) << mode;
        EXPECT_EQ(tiStrMatch(nullptr, mode, ""), 0) << mode;
        EXPECT_EQ(tiStrMatch("", mode, nullptr), 0) << mode;
    }
}

TEST(Strings, ReplaceMayTakeItsOwnSlot) {
    char* slot = tiStrDup("hello");
    ASSERT_NE(slot, nullptr);
    EXPECT_EQ(tiReplaceStr(&slot, slot), 1);
    EXPECT_STREQ(slot, "hello");
    EXPECT_EQ(tiReplaceStr(&slot, nullptr), 1);
    EXPECT_EQ(slot, nullptr);
    EXPECT_EQ(tiStrDup(nullptr), nullptr);
}
