// Strings of every awkward length, around the line buffer's 512 bytes and far
// beyond, through every operation that takes one. Each operation either does
// its work exactly (what is written reads back unchanged) or fails with a
// message; ASan sees any overrun.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "ckp/ckp.h"
#include "ckp/kvo.h"
#include "common/records.hpp"
#include "common/testutil.hpp"

namespace {

using ckptest::readFile;
using ckptest::resetErrors;
using ckptest::TempDir;

const std::vector<std::size_t> lengths = {0, 1, 509, 510, 511, 512, 1023, 1024, 4096, 100000};

// One file of every record kind at each length: an object record with a
// long path, name, value or quoted value, the qualifiers and a comment. Each
// record is written or refused with a message; what is written reads back
// without a syntax error, the object records exactly.
TEST(Limits, RecordsOfEveryLength) {
    TempDir dir;
    std::string file = dir.file("obj.ckpt");
    for (std::size_t n : lengths) {
        SCOPED_TRACE(n);
        std::string text(n, 'c');
        const std::vector<std::vector<std::string>> objects = {{std::string(n, 'p'), "name", "v"},
                                                               {"p", std::string(n, 'n'), "v"},
                                                               {"p", "name", std::string(n, 'v')},
                                                               {"p", "name", std::string(n, '"')}};
        ckpInfo* w = ckpOpen(file.c_str(), "W");
        ASSERT_NE(w, nullptr);
        ASSERT_TRUE(ckpCreateHdr(w) && ckpPuts(w));
        std::vector<ckptest::Record> expected;
        for (const std::vector<std::string>& o : objects) {
            resetErrors();
            if (ckpCreateObj(w, o[0].c_str()) && ckpPutProp(w, o[1].c_str(), o[2].c_str())) {
                expected.push_back({ckpTypeObject, o[0], ckptest::cat(o[1], "=", o[2], "|")});
            } else {
                EXPECT_GT(resetErrors(), 0) << o[0].size() << " " << o[1].size();
            }
            ckpPuts(w);
        }
        int config = ckpSetConfigPath(w, text.c_str()) && ckpPuts(w);
        int subdir = ckpSetSubDir(w, text.c_str()) && ckpPuts(w);
        int comment = ckpRecord(w, text.c_str(), 1) && ckpPuts(w);
        if (!(config && subdir && comment)) {
            EXPECT_GT(resetErrors(), 0);
        }
        EXPECT_EQ(ckpClose(w), 0);
        std::vector<ckptest::Record> records = ckptest::records(file);
        for (const ckptest::Record& record : records) {
            EXPECT_TRUE(record.type != ckpTypeSyntax && record.type != ckpTypeError) << record;
        }
        for (const ckptest::Record& record : expected) {
            EXPECT_NE(std::find(records.begin(), records.end(), record), records.end()) << record;
        }
        if (config && n > 0) {
            // A head that leaves no room for the qualifier is continued.
            std::string after = n < 509 ? " WRXc" : "\\\nWRXc";
            EXPECT_NE(readFile(file).find(text + after), std::string::npos);
        }
        if (comment) {
            EXPECT_NE(readFile(file).find(";" + text + "\n"), std::string::npos);
        }
        resetErrors();
    }
}

TEST(Limits, FileNamesOfEveryLength) {
    TempDir dir;
    for (std::size_t n : lengths) {
        std::string name = dir.path() + "/" + std::string(n, 'f');
        resetErrors();
        ckpInfo* w = ckpOpen(name.c_str(), "W");
        if (w == nullptr) {
            EXPECT_GT(resetErrors(), 0) << n;
            EXPECT_NE(std::strlen(ckpGetError()), 0u) << n;
        } else {
            EXPECT_EQ(ckpClose(w), 0);
            std::remove(name.c_str());
        }
        EXPECT_EQ(ckpOpen(name.c_str(), "R"), nullptr) << n;
        // The path services refuse what does not fit their buffers.
        char result[KVO_PATH_BUFFER];
        int converted = wyrConvertPathNotThere(name.c_str(), result);
        if (converted == 0) {
            EXPECT_LT(std::strlen(result), sizeof result);
        }
        EXPECT_NE(wyrSearchGroup(0, std::string(n, 'g').c_str(), "kvosetup", result, sizeof result),
                  0);
        std::vector<char> copy(name.begin(), name.end());
        copy.push_back('\0');
        kvoCanonicalizeDirSep(copy.data());
        EXPECT_EQ(std::strlen(copy.data()), name.size());
        resetErrors();
    }
}

} // namespace
