// A record reads the same wherever it stands: as the first record of a file
// without header (read again after the header check, from a file or a
// pipe) or further down, and wherever the 510-character piece of its line
// ends.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "common/testutil.hpp"
#include "reading.hpp"

using readtest::Reader;
using readtest::v1;

namespace {
// The records after the first `skip` ones, up to the end.
std::vector<std::string> records(Reader& r, int skip, long long shift) {
    std::vector<std::string> all;
    for (int i = 0; i < 100; ++i) {
        int type = r.next();
        if (type == ckpTypeEnd || type == ckpTypeError) {
            break;
        }
        if (i >= skip) {
            all.push_back(readtest::seen(r, type, shift));
        }
    }
    return all;
}

// Records of a file without header, read from a file and from a pipe.
std::vector<std::string> fromFile(const std::string& bytes, int skip, long long shift) {
    ckptest::TempDir dir;
    Reader r(dir.write("f", bytes));
    return r.info != nullptr ? records(r, skip, shift) : std::vector<std::string>{"no open"};
}

std::vector<std::string> fromPipe(const std::string& bytes, int skip, long long shift) {
    std::unique_ptr<Reader> r(Reader::onPipe(bytes));
    return r != nullptr ? records(*r, skip, shift) : std::vector<std::string>{"no open"};
}
} // namespace

// The first record of a file without header reads as it does behind a
// comment line: whole, with its own line numbers, also when its first line
// holds only blanks and the backslash that continues it.
TEST(Placement, FirstRecordOfAFileWithoutHeader) {
    const char* firsts[] = {
        " \\\np 1 static\nq 2 dynamic\n",       // only blanks before the backslash
        "p 1 static \\\n x\nq 2 dynamic\n",     // fields, then a continuation
        "\t\\\r\n\n; skipped\n p 1 static\r\n", // blank and comment lines inside it
        "p \\\\\nq 1 static\n",                 // a backslash left by continuation
        "p 1 static \\",                        // continued at the end of input
        "   ",                                  // blanks without line end
        "p 1 static ; note \\\nq 2 dynamic\n",  // cut by a comment: not continued
        "; note \\\np 1 static\n",              // a comment never continues
    };
    for (const char* first : firsts) {
        std::string behind = "; neutral\n" + std::string(first);
        std::vector<std::string> want = fromFile(behind, 2, 1);
        ASSERT_FALSE(want.empty()) << first;
        EXPECT_EQ(fromFile(first, 1, 0), want) << first;
        EXPECT_EQ(fromPipe(first, 1, 0), want) << first;
    }
    // The header record holds none of its lines; a blank first line, which
    // is not read again, is the header's.
    EXPECT_EQ(fromFile(" \\\np 1 static\n", 0, 0).front(), "6 @0-0 [<null>]");
    EXPECT_EQ(fromPipe("\np 1 static\n", 0, 0),
              (std::vector<std::string>{"6 @1-1 [<null>]", "8 @2-2 [p] WRXv=1 WRXb=static"}));
}

// A line of exactly 510 characters reads as one, as a shorter one does:
// the CR that ends its content stays, and only the CR of its CR LF goes.
TEST(Placement, PieceBoundaryAtTheLineEnd) {
    const char* contents[] = {
        "p\r",            // a path that ends in a CR
        "p v=\"1\"\r",    // a CR after a value: no property name
        "p v=\"1\" \\\r", // a CR after the backslash: not continued
        "p v=\"1\" \\",   // continued
        "p v=\"1\"",
    };
    for (const char* content : contents) {
        std::string line(content);
        std::vector<std::string> want;
        for (std::size_t width :
             {line.size(), std::size_t{508}, std::size_t{509}, std::size_t{510}}) {
            std::string padded = std::string(width - line.size(), ' ') + line;
            std::vector<std::string> got =
                fromFile(v1 + padded + "\r\n" + "next w=\"2\"\r\n", 1, 0);
            if (width == line.size()) {
                want = got;
                continue;
            }
            EXPECT_EQ(got, want) << width << ": " << content;
        }
    }
    // The path keeps its CR: 510 characters, the last one a CR. Windows'
    // runtime reads a file in text mode, where CR LF is a line feed before
    // the library sees it: there the CR CR LF arrives as CR LF, and its CR
    // goes as any line end's does.
    ckptest::TempDir dir;
    Reader r(dir.write("f", std::string(509, 'p') + "\r\r\n"));
    ASSERT_NE(r.info, nullptr);
    EXPECT_EQ(r.next(), ckpTypeHeader);
    r.next();
#if defined(_WIN32)
    EXPECT_EQ(r.path(), std::string(509, 'p'));
#else
    EXPECT_EQ(r.path(), std::string(509, 'p') + "\r");
#endif
}
