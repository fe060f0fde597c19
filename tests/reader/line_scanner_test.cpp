// The scanner's text helpers.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

#include "reader/scanner.hpp"

TEST(Scanner, TextOperations) {
    char text[] = " \t\vword_1-x rest";
    EXPECT_EQ(tiSkipBlanks(text), text + 3);
    EXPECT_EQ(tiSkipWord(text + 3), text + 11);
    EXPECT_EQ(tiSkipName(text + 3), text + 9);
    EXPECT_EQ(tiFindChar('-', text), text + 9);
    EXPECT_EQ(tiFindChar('#', text), text + std::strlen(text));
    EXPECT_EQ(tiSkipBlanks(static_cast<char*>(nullptr)), nullptr);
    // Read-only texts get read-only positions in them.
    const char* fixed = text;
    EXPECT_EQ(tiSkipBlanks(fixed), fixed + 3);
    EXPECT_EQ(tiSkipWord(fixed + 3), fixed + 11);
    EXPECT_EQ(tiSkipName(fixed + 3), fixed + 9);
    EXPECT_EQ(tiFindChar('-', fixed), fixed + 9);
    char empty[] = "";
    EXPECT_EQ(tiSkipWord(empty), empty);

    char number[] = "12.0";
    char* pos = number;
    EXPECT_EQ(tiScanInt(&pos, -1), 12);
    EXPECT_EQ(*pos, '.');
    char dot[] = ".0";
    pos = dot;
    EXPECT_EQ(tiScanInt(&pos, -1), -1);
    EXPECT_EQ(pos, dot);
    // Numbers beyond an int read as INT_MAX, never as a wrapped small one.
    for (const char* big :
         {"2147483647", "2147483648", "4294967295", "4294967297", "99999999999999999999999"}) {
        const char* end = big;
        EXPECT_EQ(tiScanInt(&end, -1), INT_MAX) << big;
        EXPECT_EQ(*end, '\0') << big;
    }
    const char* at = "7 ";
    EXPECT_EQ(tiScanInt(&at, -1), 7);
    EXPECT_EQ(*at, ' ');
}
