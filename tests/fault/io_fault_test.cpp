// Failures of the disk and of the files under the library: a file limit that
// makes writes fail halfway, files that shrink or vanish while they are read,
// and saves whose system calls fail.
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#if !defined(_WIN32)
#include <unistd.h>
#endif

#include "ckp/ckp.h"
#include "ckp/kvo.h"
#include "common/testutil.hpp"
#include "core/types.hpp"

namespace {

using ckptest::readFile;
using ckptest::ReportCapture;
using ckptest::resetErrors;
using ckptest::TempDir;

const std::string v1 = "WRXCHECKPOINT=\"1.0\"\n";

// Counts the object records to the end; -1 when the end is not reached.
int countObjects(ckpInfo* info) {
    int objects = 0;
    while (ckpGets(info) == 1) {
        switch (ckpGetType(info)) {
        case ckpTypeObject:
            ++objects;
            break;
        case ckpTypeEnd:
            return objects;
        case ckpTypeError:
            return -1;
        default:
            break;
        }
    }
    return -1;
}

TEST(IoFaults, FileShrinksOrVanishesWhileRead) {
    TempDir dir;
    // Far more than one stream buffer, so that most of it is read after the
    // file has changed.
    std::string body = v1;
    for (int i = 0; i < 5000; ++i) {
        body += ckptest::cat("r", std::to_string(i), " x=\"1\" \\\n z=\"3\"\n");
    }
    std::string path = dir.write("f.ckpt", body);
    struct Case {
        const char* what;
        std::size_t size; // cut to; body.size(): removed
        int least, most;  // objects read
    };
    // Cut in the middle of a continued record: the reader meets the end there
    // and ends the file normally with the records it read. Emptied: what the
    // stream had buffered. Removed: the open stream still reads every record.
    const Case cases[] = {
        {"cut", body.size() / 2 + 7, 1, 4999},
        {"emptied", 0, 0, 4999},
#if !defined(_WIN32)
        {"removed", body.size(), 5000, 5000}
#endif
    };
    for (const Case& c : cases) {
        dir.write("f.ckpt", body);
        ckpInfo* info = ckpOpen(path.c_str(), "R");
        ASSERT_NE(info, nullptr);
        if (c.size == body.size()) {
            std::filesystem::remove(path);
        } else {
            std::filesystem::resize_file(path, c.size);
        }
        int objects = countObjects(info);
        EXPECT_GE(objects, c.least) << c.what;
        EXPECT_LE(objects, c.most) << c.what;
        EXPECT_EQ(ckpClose(info), 0) << c.what;
    }
    resetErrors();
}

#if !defined(_WIN32)
TEST(IoFaults, UnreadableFile) {
    if (geteuid() == 0) {
        GTEST_SKIP() << "permissions do not bind the superuser";
    }
    TempDir dir;
    std::string path = dir.write("locked.ckpt", v1);
    std::filesystem::permissions(path, std::filesystem::perms::none);
    resetErrors();
    EXPECT_EQ(ckpOpen(path.c_str(), "R"), nullptr);
    EXPECT_EQ(std::string(ckpGetError()), path + ": Permission denied");
    EXPECT_EQ(ckpSetupLoad(path.c_str()), 0);
    resetErrors();
}

// One object record of `props` properties of 300 characters each; what
// ckpPuts gives, in `errors` the errors it counted, in `closed` what ckpClose
// gives.
int writeRecord(const std::string& path, int props, int* errors, int* closed) {
    ckpInfo* w = ckpOpen(path.c_str(), "W");
    if (w == nullptr || ckpCreateObj(w, "p") != 1) {
        return -1;
    }
    for (int i = 0; i < props; ++i) {
        std::string name = ckptest::cat("a", std::to_string(i));
        if (ckpPutProp(w, name.c_str(), std::string(300, 'v').c_str()) != 1) {
            return -1;
        }
    }
    resetErrors();
    int put = ckpPuts(w);
    *errors = resetErrors();
    *closed = ckpClose(w);
    return put;
}

// A write past the file size limit fails at the close when the record fits
// the handle's 64 KiB stream buffer, else within the record; either way with
// the reason, and the file holds what fitted.
TEST(IoFaults, WritesPastTheFileSizeLimit) {
    TempDir dir;
    std::string path = dir.file("out.ckpt");
    const std::string efbig = std::strerror(EFBIG);
    struct Case {
        unsigned long limit;
        int props;
        int puts; // what ckpPuts gives: 1 when the failure waits for the close
    };
    for (const Case& c : {Case{0, 1, 1}, Case{0, 300, 0}, Case{100, 1, 1}, Case{100, 300, 0}}) {
        SCOPED_TRACE(ckptest::cat(std::to_string(c.limit), " ", std::to_string(c.props)));
        int errors = -1;
        int closed = -1;
        ASSERT_EQ(writeRecord(path, c.props, &errors, &closed), 1);
        ASSERT_EQ(closed, 0);
        std::string whole = readFile(path);
        ASSERT_GT(whole.size(), c.limit);
        ckptest::FileSizeLimit limit(c.limit);
        if (!limit.active()) {
            GTEST_SKIP() << "no file size limit here";
        }
        EXPECT_EQ(writeRecord(path, c.props, &errors, &closed), c.puts);
        EXPECT_EQ(errors, 1 - c.puts); // one failure, counted once
        EXPECT_EQ(closed, c.puts);     // the close fails only what it found
        EXPECT_EQ(ckpGetError(), efbig);
        EXPECT_EQ(readFile(path), whole.substr(0, c.limit));
    }
}

// A setup file of one entry, and fifty more entries in memory, so that a
// save writes well beyond a small file size limit.
const std::string oldSetup = v1 + "keep entrytype=\"cell\"\n";

void loadAndGrow(const std::string& path) {
    ASSERT_EQ(ckpSetupLoad(path.c_str()), 1);
    for (int i = 0; i < 50; ++i) {
        std::string entry = "entry" + std::to_string(i);
        ASSERT_EQ(ckpSetupCreateEntry(path.c_str(), entry.c_str(), "cell"), 1);
        ASSERT_EQ(ckpSetupSetProp(path.c_str(), entry.c_str(), "note", "a longer value"), 1);
    }
}

// The lock or the temporary cannot be made, a write, the sync or the rename
// fails, or the file grows past its size limit: the save fails with the
// reason, and the file keeps its bytes.
TEST(IoFaults, SetupSaveWithFailedSystemCallsKeepsTheOldFile) {
    TempDir dir;
    const std::string& old = oldSetup;
    std::string path = dir.write("team.setup", old);
    ASSERT_NO_FATAL_FAILURE(loadAndGrow(path));
    struct Case {
        int call; // -1: none fails, the file grows past its size limit
        long nth;
        std::string report;
    };
    for (const Case& c :
         {Case{KVO_IO_OPEN, 1,
               "Error (ckpSetupWriteSetup): couldn't lock " + path + " for write: lock file " +
                   dir.file(".ckp.lock") + ": Input/output error\n"},
          Case{KVO_IO_OPEN, 2,
               "Error (ckpSetupWriteSetup): couldn't open checkpoint file for write.\n"},
          Case{KVO_IO_WRITE, 1,
               "Error (ckpSetupWriteSetup): Error during ckpClose. Input/output error\n"},
          Case{-1, 0, "Error (ckpSetupWriteSetup): Error during ckpClose. File too large\n"}}) {
        ReportCapture reports;
        ckptest::FileSizeLimit limit(c.call < 0 ? 200 : ~0ul);
        ASSERT_TRUE(limit.active() || c.call >= 0);
        kvoSetIoFailure(c.call, c.nth, EIO);
        EXPECT_EQ(ckpSetupSave(path.c_str(), nullptr), 0);
        EXPECT_EQ(reports.joined(), c.report);
        EXPECT_EQ(readFile(path), old);
    }
    // A failed save into a new directory: the directory stays, nothing in it.
    std::string fresh = dir.file("new/deeper/team.setup");
    kvoSetIoFailure(KVO_IO_RENAME, 1, EIO);
    {
        ReportCapture reports;
        EXPECT_EQ(ckpSetupSave(path.c_str(), fresh.c_str()), 0);
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir.file("new/deeper")));
    // No temporary and no lock file is left.
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        EXPECT_EQ(entry.path().filename().string().rfind(".ckp", 0), std::string::npos)
            << entry.path();
    }

    EXPECT_EQ(ckpSetupSave(path.c_str(), nullptr), 1);
    EXPECT_NE(readFile(path), old);
    EXPECT_EQ(ckpSetupClear(path.c_str()), 1);
    resetErrors();
}
#endif

} // namespace
