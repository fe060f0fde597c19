// The input buffer: records read the same wherever the stream's blocks
// happen to break, and standard input is never read past the line in hand.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

#include "common/testutil.hpp"
#include "core/types.hpp"
#include "reading.hpp"

using readtest::Reader;
using readtest::v1;

namespace {
// Everything a caller sees of each record from the first object record on,
// with line numbers counted from that record's.
std::vector<std::string> summary(ckpInfo* info) {
    Reader view;
    view.info = info;
    std::vector<std::string> all;
    long long first = -1;
    for (int i = 0; i < 5000; ++i) {
        int type = view.next();
        if (first < 0 && type == ckpTypeObject) {
            first = view.firstLine();
        }
        if (first >= 0) {
            all.push_back(readtest::seen(view, type, first));
        }
        if (type == ckpTypeEnd || type == ckpTypeError) {
            break;
        }
    }
    view.info = nullptr;
    return all;
}

// Lines that sit on the 510-character rule, CR LF line ends, a NUL byte and
// continuation: each must read the same at any distance from a block end.
std::string tricky() {
    std::string path510 = "p" + std::string(503, 'a') + " v=\"1\""; // 510 characters
    return path510 + "\r\n" +                                       // 510 characters, then CR LF
           path510 + "\r" + "x=\"2\"\n" +                           // 510, then a CR that stays
           "long" + std::string(600, 'b') + "\n" +                  // more than one piece
           "n" + std::string(1, '\0') + "ul\n" +                    // a NUL byte
           "c \\\r\n  k=\"3\"\r\n" +                                // continued, CR LF
           "last w=\"4\"";                                          // no line end at all
}

// fill bytes of comment lines before the tricky part.
std::string fileWith(std::size_t fill) {
    std::string text = v1;
    for (; fill > 102; fill -= 100) {
        text += ";" + std::string(98, 'c') + "\n";
    }
    return text + ";" + std::string(fill - 2, 'c') + "\n" + tricky();
}
} // namespace

TEST(Input, RecordsReadTheSameAcrossBlockEnds) {
    ckptest::TempDir dir;
    std::vector<std::string> want;
    {
        Reader far(dir.write("far", fileWith(10)));
        ASSERT_NE(far.info, nullptr);
        want = summary(far.info);
    }
    ASSERT_GE(want.size(), 6u);
    // Every place of the tricky part, and a little before and after it,
    // once stands at the end of the first block.
    std::size_t length = tricky().size();
    for (std::size_t at = 0; at < length + 4; ++at) {
        std::size_t fill = ckpInputSize - v1.size() - at + 2;
        Reader r(dir.write("near", fileWith(fill)));
        ASSERT_NE(r.info, nullptr);
        ASSERT_EQ(summary(r.info), want) << "block end " << at << " bytes into the part";
    }
}

namespace {
// A handle on standard input, taken over after the caller's own first line.
// Binary: the Windows runtime's ftell miscounts a text stream whose lines end
// in a bare line feed.
ckpInfo* takeOverStandardInput(const std::string& path) {
    char own[64];
    if (std::freopen(path.c_str(), "rb", stdin) == nullptr ||
        std::fgets(own, sizeof own, stdin) == nullptr) {
        return nullptr;
    }
    return ckpOpen(nullptr, "R");
}
} // namespace

// A caller that read the start of standard input itself hands the rest to
// the library: the rest reads as the same bytes in a file do, a rest without
// header read again from where the library took the stream over, not from
// the start of the input; and the caller may read on after the library,
// which takes one line at a time.
TEST(Input, StandardInputTakenOverAtAnOffsetAndLeftAfterTheRecordInHand) {
    ckptest::TempDir dir;
    int saved = dup(0);
    ASSERT_GE(saved, 0);
    for (const std::string& rest :
         {std::string("lib/a 3 static\nlib/b 4 dynamic\n"), v1 + "a x=\"1\"\nb y=\"2\"\n"}) {
        ckpInfo* info = takeOverStandardInput(dir.write("in", "caller's own line\n" + rest));
        ASSERT_NE(info, nullptr);
        Reader file(dir.write("file", rest));
        EXPECT_EQ(summary(info), summary(file.info)) << rest;
        ckpClose(info);
    }
#if !defined(_WIN32)
    ckpInfo* info = takeOverStandardInput(dir.file("in"));
    ASSERT_EQ(ckpGets(info), 1); // the header
    ASSERT_EQ(ckpGets(info), 1);
    EXPECT_STREQ(ckpGetObjPath(info), "a");
    ckpClose(info);
    char rest[64] = "";
    EXPECT_NE(std::fgets(rest, sizeof rest, stdin), nullptr);
    EXPECT_STREQ(rest, "b y=\"2\"\n");
#endif
    std::clearerr(stdin);
    dup2(saved, 0);
    close(saved);
}
