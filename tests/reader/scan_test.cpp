// Scans: by type, by path, both, to the end, to an include record, with
// rewind; ckpSetIgnore; and a scan that finds nothing.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "common/testutil.hpp"
#include "reading.hpp"

using readtest::Reader;
using readtest::v1;

namespace {
const std::string body = v1 + "cfg1 WRXc\n"
                              "; note\n"
                              "obj1\n"
                              "sub1 WRXsd\n"
                              "bad a=\n"
                              "obj2 x=\"1\"\n"
                              "cfg2 WRXc\n"
                              "obj2 WRXsd\n"
                              "obj3\n";
} // namespace

using Trace = std::vector<std::string>;

// Each scan is one-shot: the record after the found one is read as usual.
// By type, by path whatever the type, and by both; a rewind brings the
// header line back as a data record, the count going on.
TEST(Scan, Targets) {
    ckptest::TempDir dir;
    Reader r(dir.write("f", body));
    ASSERT_NE(r.info, nullptr);
    EXPECT_EQ(r.next(), ckpTypeHeader);
    EXPECT_EQ(ckpSetScan(r.info, 0, ckpTypeSubDir, nullptr), 1);
    EXPECT_EQ(readtest::trace(r, 2), (Trace{"subdir", "syntax missing '\"' for property value"}));
    EXPECT_EQ(r.path(), "bad");
    ckpSetScan(r.info, 0, 0, "obj2");
    EXPECT_EQ(readtest::trace(r, 2), (Trace{"object obj2", "config cfg2"}));
    ckpSetScan(r.info, 0, ckpTypeSubDir, "obj2");
    EXPECT_EQ(r.next(), ckpTypeSubDir);
    EXPECT_EQ(r.path(), "obj2");
    EXPECT_STREQ(ckpGetConfigPath(r.info), "cfg2");
    EXPECT_EQ(readtest::trace(r, 1), (Trace{"object obj3"}));
    ASSERT_EQ(ckpSetScan(r.info, 1, ckpTypeObject, nullptr), 1);
    EXPECT_EQ(readtest::trace(r, 2, true),
              (Trace{"object WRXCHECKPOINT=\"1.0\"@11", "config cfg1@12"}));
    ckpSetScan(r.info, 0, ckpTypeEnd, nullptr);
    EXPECT_EQ(r.next(), ckpTypeEnd);
    EXPECT_EQ(ckpGets(r.info), 0);
}

// Clearing arms nothing: the next call reads normally; armed, then cleared,
// a scan stops only at a record of type none. A target that never comes ends
// the scan at the end of the file; right after the header, a scan for the
// end reads nothing.
TEST(Scan, ClearingAndNothingFound) {
    const struct {
        std::vector<std::pair<int, const char*>> scans;
        Trace want;
    } cases[] = {
        {{{0, nullptr}}, {"config cfg1@2"}},
        {{{ckpTypeObject, nullptr}, {0, ""}}, {"end@10"}},
        {{{ckpTypeObject, "missing"}}, {"end@10"}},
        {{{ckpTypeEnd, nullptr}}, {"end@1"}},
    };
    ckptest::TempDir dir;
    std::string file = dir.write("f", body);
    for (const auto& c : cases) {
        Reader r(file);
        r.next();
        for (const auto& [type, path] : c.scans) {
            EXPECT_EQ(ckpSetScan(r.info, 0, type, path), 1);
        }
        EXPECT_EQ(readtest::trace(r, 1, true), c.want);
    }
}

TEST(Scan, Ignore) {
    ckptest::TempDir dir;
    Reader r(dir.write("f", body));
    ASSERT_NE(r.info, nullptr);
    r.next();
    EXPECT_EQ(r.next(), ckpTypeConfigPath);
    EXPECT_EQ(ckpSetIgnore(r.info), 1);
    EXPECT_EQ(r.next(), ckpTypeConfigPath);
    EXPECT_EQ(r.path(), "cfg2");
    EXPECT_STREQ(ckpGetConfigPath(r.info), "cfg2");
    EXPECT_STREQ(ckpGetSubDir(r.info), "sub1");
    EXPECT_EQ(r.next(), ckpTypeSubDir);
    EXPECT_EQ(ckpSetIgnore(r.info), 1); // the last one: to the end
    EXPECT_EQ(r.next(), ckpTypeEnd);

    // On an object nothing is ignored and nothing is armed.
    Reader o(dir.write("g", body));
    readtest::trace(o, 3);
    EXPECT_EQ(o.next(), ckpTypeObject);
    ckptest::resetErrors();
    EXPECT_EQ(ckpSetIgnore(o.info), 0);
    EXPECT_EQ(ckpGetNumError(), 0);
    EXPECT_EQ(readtest::trace(o, 1), (Trace{"subdir"}));
    EXPECT_EQ(ckpSetIgnore(nullptr), 0);
    EXPECT_STREQ(ckpGetError(), "no ckpInfo in ckpSetIgnore");
    EXPECT_EQ(ckpSetScan(nullptr, 0, 1, nullptr), 0);
    EXPECT_STREQ(ckpGetError(), "no ckpInfo in ckpSetScan");
}

// A failed rewind keeps the target armed before it and loses no buffered
// input.
TEST(Scan, RewindFailure) {
    std::unique_ptr<Reader> r(Reader::onPipe(readtest::v1 + "a\nb WRXc\n"));
    ASSERT_NE(r, nullptr);
    r->next();
    ckpSetScan(r->info, 0, ckpTypeConfigPath, "b");
    EXPECT_EQ(ckpSetScan(r->info, 1, ckpTypeObject, nullptr), 0);
    EXPECT_STREQ(ckpGetError(), "seek failed on \"pipe\"");
    EXPECT_EQ(readtest::trace(*r), (Trace{"config b", "end"}));

    std::unique_ptr<Reader> nameless(Reader::onPipe(readtest::v1 + "a\nb WRXc\n", nullptr));
    ASSERT_NE(nameless, nullptr);
    nameless->next();
    EXPECT_EQ(ckpSetScan(nameless->info, 1, 0, nullptr), 0);
    EXPECT_STREQ(ckpGetError(), "seek failed on \"file\"");
    EXPECT_EQ(readtest::trace(*nameless), (Trace{"object a", "config b", "end"}));
}
