// Scans: by type, by path, both, to the end, to an include record, with
// rewind; ckpSetIgnore; and a scan that finds nothing.
#include <gtest/gtest.h>

#include <memory>
#include <string>

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

TEST(Scan, Targets) {
    ckptest::TempDir dir;
    Reader r(dir.write("f", body));
    ASSERT_NE(r.info, nullptr);
    EXPECT_EQ(r.next(), ckpTypeHeader);
    EXPECT_EQ(ckpSetScan(r.info, 0, ckpTypeSubDir, nullptr), 1);
    EXPECT_EQ(r.next(), ckpTypeSubDir);
    EXPECT_EQ(r.path(), "sub1");
    EXPECT_EQ(r.info->scan.type, 0);
    // By path, whatever the type: passes over the syntax error.
    ckpSetScan(r.info, 0, 0, "obj2");
    EXPECT_EQ(r.next(), ckpTypeObject);
    EXPECT_EQ(r.prop("x"), "1");
    EXPECT_EQ(r.info->scan.name, nullptr);
    // By type and path.
    ckpSetScan(r.info, 0, ckpTypeSubDir, "obj2");
    EXPECT_EQ(r.next(), ckpTypeSubDir);
    EXPECT_EQ(r.path(), "obj2");
    EXPECT_STREQ(ckpGetConfigPath(r.info), "cfg2");
    EXPECT_EQ(r.next(), ckpTypeObject); // the scan was one-shot
    EXPECT_EQ(r.path(), "obj3");

    // Rewind: the header line comes back as a data record.
    ASSERT_EQ(ckpSetScan(r.info, 1, ckpTypeObject, nullptr), 1);
    EXPECT_EQ(r.next(), ckpTypeObject);
    EXPECT_EQ(r.path(), "WRXCHECKPOINT=\"1.0\"");
    EXPECT_EQ(r.lineNumber(), 11); // the count goes on
    // To the end of the file.
    ckpSetScan(r.info, 0, ckpTypeEnd, nullptr);
    EXPECT_EQ(r.next(), ckpTypeEnd);
    EXPECT_EQ(ckpGets(r.info), 0);
}

TEST(Scan, ClearingAndNothingFound) {
    ckptest::TempDir dir;
    {
        Reader r(dir.write("f", body));
        ASSERT_NE(r.info, nullptr);
        r.next();
        // Clearing arms nothing: the next call reads normally.
        EXPECT_EQ(ckpSetScan(r.info, 0, 0, nullptr), 1);
        EXPECT_EQ(r.info->action, 0);
        EXPECT_EQ(r.next(), ckpTypeConfigPath);
        // Armed, then cleared: it stops only at a record of type none.
        ckpSetScan(r.info, 0, ckpTypeObject, nullptr);
        ckpSetScan(r.info, 0, 0, "");
        EXPECT_EQ(r.next(), ckpTypeEnd);
    }
    {
        // A target that never comes ends the scan at the end of the file.
        Reader r(dir.write("g", body));
        ASSERT_NE(r.info, nullptr);
        r.next();
        ckpSetScan(r.info, 0, ckpTypeObject, "missing");
        EXPECT_EQ(r.next(), ckpTypeEnd);
        EXPECT_EQ(r.info->scan.type, 0);
        EXPECT_EQ(r.info->scan.name, nullptr);
        EXPECT_EQ(ckpGets(r.info), 0);
    }
    {
        // Right after the header, a scan for the end reads nothing.
        Reader r(dir.write("h", body));
        ASSERT_NE(r.info, nullptr);
        r.next();
        ckpSetScan(r.info, 0, ckpTypeEnd, nullptr);
        EXPECT_EQ(r.next(), ckpTypeEnd);
        EXPECT_EQ(r.lineNumber(), 1);
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

    Reader o(dir.write("g", body));
    o.next();
    o.next();
    o.next();
    EXPECT_EQ(o.next(), ckpTypeObject);
    ckptest::resetErrors();
    EXPECT_EQ(ckpSetIgnore(o.info), 0);
    EXPECT_EQ(ckpGetNumError(), 0);
    EXPECT_EQ(o.info->action, 0);
    EXPECT_EQ(ckpSetIgnore(nullptr), 0);
    EXPECT_STREQ(ckpGetError(), "no ckpInfo in ckpSetIgnore");
    EXPECT_EQ(ckpSetScan(nullptr, 0, 1, nullptr), 0);
    EXPECT_STREQ(ckpGetError(), "no ckpInfo in ckpSetScan");
}

TEST(Scan, RewindFailure) {
    std::unique_ptr<Reader> r(Reader::onPipe(readtest::v1 + "a\nb WRXc\n"));
    ASSERT_NE(r, nullptr);
    r->next();
    ckpSetScan(r->info, 0, ckpTypeObject, "old");
    EXPECT_EQ(ckpSetScan(r->info, 1, ckpTypeConfigPath, nullptr), 0);
    EXPECT_STREQ(ckpGetError(), "seek failed on \"pipe\"");
    EXPECT_EQ(r->info->scan.type, ckpTypeObject); // the target is kept
    EXPECT_STREQ(r->info->scan.name, "old");
    ckpSetScan(r->info, 0, 0, nullptr);
    r->info->file->name = static_cast<char*>(tiFree(r->info->file->name));
    EXPECT_EQ(ckpSetScan(r->info, 1, 0, nullptr), 0);
    EXPECT_STREQ(ckpGetError(), "seek failed on \"file\"");
    // The scan armed before stays armed; disarmed, reading goes on where it
    // was: the failed rewinds lost no buffered input.
    ckpSetAction(r->info, 0, 0);
    EXPECT_EQ(r->next(), ckpTypeObject);
    EXPECT_EQ(r->path(), "a");
}
