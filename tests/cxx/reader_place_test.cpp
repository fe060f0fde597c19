// ckp::Reader's count of where records stand: first and last line, include
// level, the included file's header once, and the count kept through a
// failed include.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ckp/ckp.hpp"
#include "common/testutil.hpp"

namespace {

using ckptest::TempDir;

// "FIRST-LAST@LEVEL"
std::string placeText(const ckp::Place& p) {
    return ckptest::cat(std::to_string(p.line), "-", std::to_string(p.end_line), "@",
                        std::to_string(p.level));
}

// "TYPE FIRST-LAST@LEVEL" (the type's number) for each record of a file, "fail" for a read
// failure after which reading went on.
std::vector<std::string> places(const std::string& file, bool follow) {
    std::vector<std::string> seen;
    ckp::Reader reader(file);
    reader.follow_includes(follow);
    for (int failures = 0; failures < 3;) {
        try {
            if (!reader.next_record()) {
                break;
            }
        } catch (const ckp::Error&) {
            seen.emplace_back("fail");
            ++failures;
            continue;
        }
        const ckp::Place& p = reader.place();
        seen.push_back(ckptest::cat(std::to_string(static_cast<int>(reader.record().type())), " ",
                                    placeText(p)));
    }
    return seen;
}

void writeFiles(TempDir& dir) {
    dir.write("sub.ckpt", "WRXCHECKPOINT=\"1.0\"\ns k=\"1\" \\\n  j=\"2\"\n");
    dir.write("old.ckpt", "p 1 static\nq 2 dynamic\n");
    dir.write("bad.ckpt", "WRXCHECKPOINT=\"9.0\"\n");
    dir.write("main.ckpt", "WRXCHECKPOINT=\"1.0\"\n"
                           "; note\n"
                           "sub.ckpt WRXinc\n"
                           "a x=\"1\" \\\n"
                           "  ; inside\n"
                           "  y=\"2\"\n"
                           "old.ckpt WRXinc\n"
                           "missing.ckpt WRXinc\n"
                           "z k=\"1\"\n");
    dir.write("failing.ckpt", "WRXCHECKPOINT=\"1.0\"\nbad.ckpt WRXinc\nz k=\"1\" \\\n j=\"2\"\n");
}

TEST(CxxReaderPlace, LinesAndLevelsOfEveryRecord) {
    TempDir dir;
    writeFiles(dir);
    struct Case {
        const char* file;
        bool follow;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        // An included file counts from its own line 1, one level down; a
        // file that is not found is a fault of the including line.
        {"main.ckpt",
         true,
         {"6 1-1@0", "3 2-2@0", "7 3-3@0", "6 1-1@1", "8 2-3@1", "11 3-3@0", "8 4-6@0", "7 7-7@0",
          "6 0-0@1", "8 1-1@1", "8 2-2@1", "11 7-7@0", "7 8-8@0", "5 8-8@0", "8 9-9@0"}},
        {"main.ckpt",
         false,
         {"6 1-1@0", "3 2-2@0", "7 3-3@0", "8 4-6@0", "7 7-7@0", "7 8-8@0", "8 9-9@0"}},
        // An included file that cannot start fails once; the count goes on
        // in the including file.
        {"failing.ckpt", true, {"6 1-1@0", "7 2-2@0", "fail", "8 3-4@0"}},
        {"old.ckpt", true, {"6 0-0@0", "8 1-1@0", "8 2-2@0"}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(places(dir.file(c.file), c.follow), c.expected)
            << c.file << (c.follow ? "" : " unfollowed");
    }
}

// Read record by record, an included file's header comes twice: the second
// is marked repeated and keeps the first one's place.
TEST(CxxReaderPlace, RepeatedHeaderIsMarkedAndKeepsItsPlace) {
    TempDir dir;
    writeFiles(dir);
    ckp::Reader reader(dir.file("main.ckpt"));
    std::vector<std::string> repeats;
    std::string before;
    while (reader.next()) {
        std::string place = placeText(reader.place());
        if (reader.repeated()) {
            EXPECT_EQ(reader.record().type(), ckp::Type::Header);
            EXPECT_EQ(place, before);
            repeats.emplace_back(reader.record().file());
        }
        before = place;
    }
    EXPECT_EQ(repeats, (std::vector<std::string>{dir.file("sub.ckpt"), dir.file("old.ckpt")}));
}

} // namespace
