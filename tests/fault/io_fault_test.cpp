// Failures of the disk and of the files under the library: a file limit that
// makes writes fail halfway, files that shrink or vanish while they are read,
// and save targets that are links, devices or cannot be made.
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

    // Cut in the middle of a continued record: the reader meets the end
    // there and ends the file normally with the records it read.
    ckpInfo* info = ckpOpen(path.c_str(), "R");
    ASSERT_NE(info, nullptr);
    std::filesystem::resize_file(path, body.size() / 2 + 7);
    int objects = countObjects(info);
    EXPECT_GT(objects, 0);
    EXPECT_LT(objects, 5000);
    EXPECT_EQ(ckpClose(info), 0);

    // Emptied: what the stream had buffered, then the end.
    dir.write("f.ckpt", body);
    info = ckpOpen(path.c_str(), "R");
    ASSERT_NE(info, nullptr);
    std::filesystem::resize_file(path, 0);
    objects = countObjects(info);
    EXPECT_GE(objects, 0);
    EXPECT_LT(objects, 5000);
    EXPECT_EQ(ckpClose(info), 0);

#if !defined(_WIN32)
    // Removed: the open stream still reads every record.
    dir.write("f.ckpt", body);
    info = ckpOpen(path.c_str(), "R");
    ASSERT_NE(info, nullptr);
    std::filesystem::remove(path);
    EXPECT_EQ(countObjects(info), 5000);
    EXPECT_EQ(ckpClose(info), 0);
#endif
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

// A write past the file size limit fails: buffered, at the close;
// unbuffered, in the record, with the file holding what fitted; with a
// small buffer, in the middle of a long record.
TEST(IoFaults, WritesPastTheFileSizeLimit) {
    TempDir dir;
    std::string path = dir.write("out.ckpt", "old\n");
    const std::string efbig = std::strerror(EFBIG);
    struct Case {
        const char* what;
        unsigned long limit;
        int buffer; // -1: the stream's own; 0: none; else that many bytes
        std::size_t value;
        int puts; // what ckpPuts gives; on 1 the close fails instead
        std::string holds;
    };
    const Case cases[] = {
        {"buffered, nothing fits", 0, -1, 1, 1, ""},
        {"unbuffered, nothing fits", 0, 0, 1, 0, ""},
        {"small buffer, long record", 0, 16, 200, 0, ""},
        {"unbuffered, cut in the value", 100, 0, 300, 0, "p a=\"" + std::string(95, 'v')},
        {"buffered, cut in the value", 100, -1, 300, 1, "p a=\"" + std::string(95, 'v')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ckptest::FileSizeLimit limit(c.limit);
        if (!limit.active()) {
            GTEST_SKIP() << "no file size limit here";
        }
        ckpInfo* w = ckpOpen(path.c_str(), "W");
        ASSERT_NE(w, nullptr);
        char small[16];
        if (c.buffer >= 0) {
            std::setvbuf(w->files.top->stream, c.buffer > 0 ? small : nullptr,
                         c.buffer > 0 ? _IOFBF : _IONBF, static_cast<std::size_t>(c.buffer));
        }
        resetErrors();
        ASSERT_EQ(ckpCreateObj(w, "p"), 1);
        ASSERT_EQ(ckpPutProp(w, "a", std::string(c.value, 'v').c_str()), 1);
        EXPECT_EQ(ckpPuts(w), c.puts);
        if (c.puts == 0) {
            EXPECT_EQ(ckpGetError(), efbig);
            EXPECT_EQ(resetErrors(), 1);
            EXPECT_EQ(ckpPuts(w), 0);
        }
        EXPECT_EQ(ckpClose(w), c.puts);
        if (c.puts == 1) {
            EXPECT_EQ(ckpGetError(), efbig);
            EXPECT_GE(resetErrors(), 1);
        }
        EXPECT_EQ(readFile(path), c.holds);
    }
    resetErrors();
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
          Case{KVO_IO_SYNC, 1,
               "Error (ckpSetupWriteSetup): Error during ckpClose. Input/output error\n"},
          Case{KVO_IO_RENAME, 1,
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

TEST(IoFaults, SaveThroughLinksAndToDevices) {
    TempDir dir;
    std::string real = dir.write("real.setup", v1);
    std::string link = dir.file("link.setup");
    std::filesystem::create_symlink(real, link);
    ASSERT_EQ(ckpSetupLoad(link.c_str()), 1);
    ASSERT_EQ(ckpSetupCreateEntry(link.c_str(), "one", "cell"), 1);
    ASSERT_EQ(ckpSetupSave(link.c_str(), nullptr), 1);
    // The link stays a link, and the file it names holds the new bytes.
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(readFile(real), v1 + "one entrytype=\"cell\"\n");

    EXPECT_EQ(ckpSetupClear(link.c_str()), 1);
    resetErrors();
}
#endif

} // namespace
