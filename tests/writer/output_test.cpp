#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "ckp/ckp.h"
#include "common/records.hpp"
#include "common/testutil.hpp"
#include "core/types.hpp"
#include "writer/output.hpp"
#include "writer/writer.hpp"

using ckptest::readFile;
using ckptest::resetErrors;
using ckptest::TempDir;
using ckptest::written;

TEST(Output, FieldsAndEscapes) {
    EXPECT_EQ(written([](ckpInfo* w) {
                  ASSERT_EQ(ckpPuts(w), 1); // nothing begun: a bare line end
                  ASSERT_EQ(ckpCreateObj(w, "p"), 1);
                  ckpPutProp(w, "a", "1");
                  ckpPutProp(w, "flag", nullptr);
                  ckpPutProp(w, "c", "x;y\"z");
                  ckpPutProp(w, "e", "");
                  ckpPutProp(w, "b", "a\\b");
                  ASSERT_EQ(ckpPuts(w), 1);
                  ASSERT_EQ(ckpPuts(w), 1);
                  // An empty path would make a record without kind.
                  ASSERT_EQ(ckpCreateObj(w, ""), 0);
                  ASSERT_EQ(ckpCreateObj(w, "\x80\xff"), 1);
                  ckpPutProp(w, "hi", "\x80\xfe\xff");
                  ASSERT_EQ(ckpPuts(w), 1);
                  // Backslashes doubled only where the reader would take them
                  // as an escape.
                  ASSERT_EQ(ckpCreateObj(w, "q"), 1);
                  ckpPutProp(w, "end", "x\\");
                  ckpPutProp(w, "two", "a\\\\b");
                  ckpPutProp(w, "q", "\\\"");
                  ckpPutProp(w, "s", "\\;");
                  ASSERT_EQ(ckpPuts(w), 1);
              }),
              "\n"
              "p a=\"1\" flag c=\"x\\;y\\\"z\" e=\"\" b=\"a\\b\"\n"
              "p a=\"1\" flag c=\"x\\;y\\\"z\" e=\"\" b=\"a\\b\"\n"
              "\x80\xff hi=\"\x80\xfe\xff\"\n"
              "q end=\"x\\\\\" two=\"a\\\\\\b\" q=\"\\\\\\\"\" s=\"\\\\\\;\"\n");
}

TEST(Output, FieldRoutine) {
    TempDir dir;
    std::FILE* f = std::fopen(dir.file("f").c_str(), "w+");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(tPutField(f, '\0', "a \"b=;\\", '\0', '\0'), 1);
    EXPECT_EQ(tPutField(f, ' ', "n m=", '=', '\0'), 1);
    EXPECT_EQ(tPutField(f, '"', nullptr, '"', ';'), 1);
    std::fclose(f);
    EXPECT_EQ(readFile(dir.file("f")), "a \"b=;\\ n\\ m\\==\"\"");
    EXPECT_EQ(tFieldSize(' ', "n m=", '=', '\0'), 8u);
    // A text longer than the routine's buffer goes to the stream at once; a
    // stream that refuses it leaves the system's reason.
    f = std::fopen(dir.file("f").c_str(), "r");
    ASSERT_NE(f, nullptr);
    resetErrors();
    EXPECT_EQ(tPutField(f, '\0', std::string(4 * ckpLineSize, 'x').c_str(), '\0', '\0'), 0);
#if !defined(_WIN32)
    EXPECT_STREQ(ckpGetError(), std::strerror(EBADF));
#endif
    std::fclose(f);
}

TEST(Output, LongRecordsAreContinued) {
    // A record wider than one readable line is continued before the property
    // that does not fit; a record that fits is written on one line.
    std::string v(200, 'v');
    std::string out = written([&](ckpInfo* w) {
        ASSERT_EQ(ckpCreateObj(w, "p"), 1);
        for (const char* n : {"a", "b", "c", "d", "e"}) {
            ASSERT_EQ(ckpPutProp(w, n, v.c_str()), 1);
        }
        ASSERT_EQ(ckpPuts(w), 1);
    });
    std::string prop = "=\"" + v + "\"";
    EXPECT_EQ(out,
              "p a" + prop + " b" + prop + "\\\nc" + prop + " d" + prop + "\\\ne" + prop + "\n");
    size_t start = 0;
    for (size_t nl; (nl = out.find('\n', start)) != std::string::npos; start = nl + 1) {
        EXPECT_LE(nl - start, static_cast<size_t>(ckpWriteWidth));
    }
    // A line is filled up to the widest head that leaves room for a
    // backslash, and not one character further.
    const std::string first = "p a" + prop;
    for (std::size_t more : {0, 1}) {
        std::string b(ckpHeadMax - first.size() - 5 + more, 'w');
        std::string filled = written([&](ckpInfo* w) {
            ASSERT_EQ(ckpCreateObj(w, "p"), 1);
            ASSERT_EQ(ckpPutProp(w, "a", v.c_str()), 1);
            ASSERT_EQ(ckpPutProp(w, "b", b.c_str()), 1);
            ASSERT_EQ(ckpPuts(w), 1);
        });
        EXPECT_EQ(filled, first + (more == 0 ? " " : "\\\n") + "b=\"" + b + "\"\n");
    }
}

// Every length of value with a character that may need a backslash at every
// place in it: only a quote, a semicolon, and a backslash before the closing
// quote get one, and each value reads back as it was put.
TEST(Output, EscapesWhereverTheyStand) {
    struct Case {
        std::string value, spelled;
    };
    std::vector<Case> cases;
    for (char c : {';', '"', '\\', ' ', '='}) {
        for (std::size_t length = 1; length <= 19; ++length) {
            for (std::size_t at = 0; at < length; ++at) {
                std::string value(length, 'x');
                value[at] = c;
                std::string spelled = value;
                bool escaped = c == ';' || c == '"' || (c == '\\' && at == length - 1);
                if (escaped) {
                    spelled.insert(at, 1, '\\');
                }
                cases.push_back({value, spelled});
            }
        }
    }
    std::string expected = "WRXCHECKPOINT=\"1.0\"\n";
    std::string out = written([&](ckpInfo* w) {
        ASSERT_EQ(ckpCreateHdr(w), 1);
        ASSERT_EQ(ckpPuts(w), 1);
        for (std::size_t i = 0; i < cases.size(); ++i) {
            ASSERT_EQ(ckpCreateObj(w, "p"), 1);
            ASSERT_EQ(ckpPutProp(w, "name_of_some_length", cases[i].value.c_str()), 1) << i;
            ASSERT_EQ(ckpPutProp(w, "f", nullptr), 1);
            ASSERT_EQ(ckpPuts(w), 1);
            expected += "p name_of_some_length=\"" + cases[i].spelled + "\" f\n";
        }
    });
    ASSERT_EQ(out, expected);
    TempDir dir;
    std::vector<ckptest::Record> back = ckptest::records(dir.write("escapes.ckp", out));
    ASSERT_EQ(back.size(), cases.size() + 1);
    for (std::size_t i = 0; i < cases.size(); ++i) {
        EXPECT_EQ(back[i + 1].props, "name_of_some_length=" + cases[i].value + "|f|") << i;
    }
    resetErrors();
}
