#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "ckp/ckp.h"
#include "common/records.hpp"
#include "common/testutil.hpp"
#include "core/props.hpp"
#include "core/types.hpp"

using ckptest::readFile;
using ckptest::resetErrors;
using ckptest::TempDir;
using ckptest::written;

TEST(RecordWriter, HeadTextsAndTypes) {
    resetErrors();
    EXPECT_EQ(written([](ckpInfo* w) {
                  ASSERT_EQ(ckpCreateHdr(w), 1);
                  EXPECT_EQ(ckpGetType(w), ckpTypeHeader);
                  EXPECT_EQ(ckptest::reportedLine(w), "1"); // each record starts a line
                  ASSERT_EQ(ckpPuts(w), 1);
                  ASSERT_EQ(ckpCreateObj(w, "dir/a\"b\\;c\\d"), 1);
                  EXPECT_EQ(ckpGetType(w), ckpTypeObject);
                  EXPECT_EQ(ckptest::reportedLine(w), "2");
                  ASSERT_EQ(ckpPuts(w), 1);
                  ASSERT_EQ(ckpCreateObj(w, "my \"dir\"/f"), 1);
                  EXPECT_STREQ(ckpGetObjPath(w), "my \"dir\"/f");
                  EXPECT_EQ(ckptest::reportedLine(w), "3");
                  ASSERT_EQ(ckpPuts(w), 1);
                  ASSERT_EQ(ckpCreateObj(w, "t\tab"), 1);
                  ASSERT_EQ(ckpPuts(w), 1);
                  ASSERT_EQ(ckpCreateObj(w, "v\vt"), 1);
                  ASSERT_EQ(ckpPuts(w), 1);
                  ASSERT_EQ(ckpSetConfigPath(w, "/cfg"), 1);
                  EXPECT_EQ(ckpGetType(w), ckpTypeConfigPath);
                  ASSERT_EQ(ckpPuts(w), 1);
                  ASSERT_EQ(ckpPuts(w), 1); // the same record again, no uniqueness fault
                  ASSERT_EQ(ckpSetSubDir(w, "sub dir"), 1);
                  EXPECT_EQ(ckpGetType(w), ckpTypeSubDir);
                  ASSERT_EQ(ckpPuts(w), 1);
                  ASSERT_EQ(ckpCreateObj(w, "x"), 1);
                  EXPECT_STREQ(ckpGetConfigPath(w), "/cfg"); // kept across records
                  EXPECT_STREQ(ckpGetSubDir(w), "sub dir");
                  ASSERT_EQ(ckpRecord(w, " note", 1), 1);
                  EXPECT_EQ(ckpGetType(w), ckpTypeComment);
                  ASSERT_EQ(ckpPuts(w), 1);
                  ASSERT_EQ(ckpRecord(w, nullptr, 1), 1);
                  ASSERT_EQ(ckpPuts(w), 1);
                  ASSERT_EQ(ckpRecord(w, nullptr, 0), 1);
                  ASSERT_EQ(ckpPuts(w), 1);
                  ASSERT_EQ(ckpRecord(w, "raw text", 0), 1);
                  ASSERT_EQ(ckpPuts(w), 1);
              }),
              "WRXCHECKPOINT=\"1.0\"\n"
              "dir/a\"b\\;c\\d\n"
              "\"my \\\"dir\\\"/f\"\n"
              "\"t\tab\"\n"
              "\"v\vt\"\n"
              "/cfg WRXc\n/cfg WRXc\n"
              "\"sub dir\" WRXsd\n"
              "; note\n;\n\nraw text\n");
    EXPECT_EQ(resetErrors(), 0);
}

TEST(RecordWriter, AppendModeRefusesAHeaderAndCountsLines) {
    TempDir dir;
    std::string path = dir.write("a.ckp", "WRXCHECKPOINT=\"1.0\"\np x=\"1\"\n");
    ckpInfo* a = ckpOpen(path.c_str(), "A");
    ASSERT_NE(a, nullptr);
    resetErrors();
    EXPECT_EQ(ckpCreateHdr(a), 0);
    EXPECT_STREQ(ckpGetError(), "illegal access mode in ckpCreateHdr");
    EXPECT_EQ(ckpCreateObj(a, "q"), 1);
    std::string before = ckptest::reportedLine(a);
    EXPECT_EQ(ckpCreateObj(a, "r"), 1);
    EXPECT_EQ(ckpPutProp(a, "k", "v"), 1);
    EXPECT_EQ(std::stoi(ckptest::reportedLine(a)), std::stoi(before) + 1);
    EXPECT_EQ(ckpPuts(a), 1);
    // A refused header leaves no record behind, not an emptied object
    // record that a property would turn into a path.
    EXPECT_EQ(ckpCreateObj(a, "s"), 1);
    EXPECT_EQ(ckpCreateHdr(a), 0);
    EXPECT_EQ(ckpPutProp(a, "k", "v"), 0);
    EXPECT_STREQ(ckpGetError(), "no record to add a property to in ckpPutProp");
    EXPECT_EQ(ckpPuts(a), 1);
    EXPECT_EQ(ckpClose(a), 0);
    EXPECT_EQ(readFile(path), "WRXCHECKPOINT=\"1.0\"\np x=\"1\"\nr k=\"v\"\n\n");
}

// Every writer call fails without a handle and on a reading handle, each
// with a message naming it; the refused calls empty the reading record.
TEST(RecordWriter, CallsWithoutAWritingHandleFail) {
    TempDir dir;
    std::string path = dir.write("a.ckp", "WRXCHECKPOINT=\"1.0\"\np x=\"1\"\n");
    ckpInfo* r = ckpOpen(path.c_str(), "R");
    ASSERT_NE(r, nullptr);
    ASSERT_EQ(ckpGets(r), 1);
    ASSERT_EQ(ckpGets(r), 1);
    struct Call {
        const char* name;
        int (*run)(ckpInfo*);
    };
    const Call calls[] = {
        {"ckpCreateObj", [](ckpInfo* i) { return ckpCreateObj(i, "p"); }},
        {"ckpSetConfigPath", [](ckpInfo* i) { return ckpSetConfigPath(i, "p"); }},
        {"ckpSetSubDir", [](ckpInfo* i) { return ckpSetSubDir(i, "p"); }},
        {"ckpRecord", [](ckpInfo* i) { return ckpRecord(i, "p", 0); }},
        {"ckpCreateHdr", [](ckpInfo* i) { return ckpCreateHdr(i); }},
        {"ckpPutProp", [](ckpInfo* i) { return ckpPutProp(i, "a", nullptr); }},
        {"ckpPuts", [](ckpInfo* i) { return ckpPuts(i); }},
    };
    resetErrors();
    for (const Call& c : calls) {
        EXPECT_EQ(c.run(nullptr), 0) << c.name;
        EXPECT_EQ(std::string(ckpGetError()), std::string("no ckpInfo in ") + c.name);
        EXPECT_EQ(c.run(r), 0) << c.name;
        EXPECT_EQ(std::string(ckpGetError()), std::string("illegal access mode in ") + c.name);
    }
    EXPECT_EQ(resetErrors(), 14);
    char* value = nullptr;
    EXPECT_EQ(ckpGetProp(r, "x", &value), 0);
    ckpClose(r);
}

TEST(RecordWriter, PropertyNameRules) {
    EXPECT_EQ(written([](ckpInfo* w) {
                  ASSERT_EQ(ckpCreateObj(w, "p"), 1);
                  resetErrors();
                  for (const char* bad : {"a b", "a-b", "a.b", "\xe9t"}) {
                      EXPECT_EQ(ckpPutProp(w, bad, "v"), 0) << bad;
                      EXPECT_STREQ(ckpGetError(), "illegal property name");
                  }
                  EXPECT_EQ(ckpPutProp(w, nullptr, "v"), 0);
                  EXPECT_EQ(resetErrors(), 5);
                  EXPECT_EQ(ckpPutProp(w, "Name_1", "v"), 1);
                  EXPECT_EQ(ckpPutProp(w, "name_1", nullptr), 1);
                  EXPECT_EQ(ckpPutProp(w, "Name_1", "w"), 0);
                  EXPECT_STREQ(ckpGetError(), "non-unique property name");
                  // A nameless value after a flag would read as the flag's value.
                  EXPECT_EQ(ckpPutProp(w, "", "e"), 0);
                  EXPECT_STREQ(ckpGetError(), "illegal property name");
                  EXPECT_EQ(ckpPutProp(w, "nl", "a\nb"), 0);
                  EXPECT_STREQ(ckpGetError(), "illegal property value");
                  ASSERT_EQ(ckpPuts(w), 1);
                  ASSERT_EQ(ckpSetConfigPath(w, "c"), 1);
                  EXPECT_EQ(ckpPutProp(w, "WRXc", nullptr), 0);
                  EXPECT_STREQ(ckpGetError(), "non-unique property name");
                  ASSERT_EQ(ckpPuts(w), 1);
              }),
              "p Name_1=\"v\" name_1\nc WRXc\n");
}

TEST(RecordWriter, NoMemory) {
    TempDir dir;
    std::string src = dir.write("in.ckp", "WRXCHECKPOINT=\"1.0\"\np a=\"1\" \\\nb=\"2\"\n");
    ckpInfo* r = ckpOpen(src.c_str(), "R");
    ASSERT_NE(r, nullptr);
    ASSERT_EQ(ckpGets(r), 1);
    ASSERT_EQ(ckpGets(r), 1);
    ckpInfo* w = ckpOpen(dir.file("o.ckp").c_str(), "W");
    ASSERT_NE(w, nullptr);
    resetErrors();
    kvoSetAllocFailure(1);
    EXPECT_EQ(ckpCreateObj(w, "p"), 0);
    EXPECT_STREQ(ckpGetError(), "path name allocation failed in ckpCreateObj");
    ASSERT_EQ(ckpCreateObj(w, "p"), 1);
    kvoSetAllocFailure(1);
    EXPECT_EQ(ckpPutProp(w, "a", "1"), 0);
    EXPECT_STREQ(ckpGetError(), "ckpProp allocation failed");
    kvoSetAllocFailure(1);
    EXPECT_EQ(ckpSetConfigPath(w, "c"), 0);
    // Every allocation of a transfer may fail; the handle stays usable.
    for (long n = 1; n < 12; ++n) {
        kvoSetAllocFailure(n);
        int ok = ckpXfer(r, w);
        bool hit = kvoAllocFailureHit() != 0;
        kvoSetAllocFailure(0);
        EXPECT_EQ(ok, hit ? 0 : 1) << n;
        ckpPuts(w);
    }
    ASSERT_EQ(ckpXfer(r, w), 1);
    ASSERT_EQ(ckpPuts(w), 1);
    ckpClose(r);
    EXPECT_EQ(ckpClose(w), 0);
    std::string out = readFile(dir.file("o.ckp"));
    EXPECT_EQ(out.substr(out.size() - 15), "p a=\"1\"\\\nb=\"2\"\n");
    resetErrors();
}

// Names stay unique in records of many properties, also in a record
// transferred from several physical lines, and a refused name of one record
// is free again in the next.
TEST(RecordWriter, ManyPropertiesStayUnique) {
    TempDir dir;
    std::string source = "WRXCHECKPOINT=\"1.0\"\nt \\\n";
    for (int i = 0; i < 30; ++i) {
        source += " s" + std::to_string(i) + " \\\n";
    }
    source += " s30\n";
    ckpInfo* r = ckpOpen(dir.write("in.ckp", source).c_str(), "R");
    ASSERT_NE(r, nullptr);
    ASSERT_EQ(ckpGets(r), 1);
    ASSERT_EQ(ckpGets(r), 1);
    std::string expected = "p";
    std::string out = written([&](ckpInfo* w) {
        ASSERT_EQ(ckpCreateObj(w, "p"), 1);
        for (int i = 0; i < 100; ++i) {
            ASSERT_EQ(ckpPutProp(w, ("p" + std::to_string(i)).c_str(), nullptr), 1);
            expected += " p" + std::to_string(i);
        }
        resetErrors();
        EXPECT_EQ(ckpPutProp(w, "p57", "again"), 0);
        EXPECT_STREQ(ckpGetError(), "non-unique property name");
        ASSERT_EQ(ckpPuts(w), 1);
        ASSERT_EQ(ckpCreateObj(w, "q"), 1);
        EXPECT_EQ(ckpPutProp(w, "p57", "now"), 1);
        ASSERT_EQ(ckpPuts(w), 1);
        ASSERT_EQ(ckpXfer(r, w), 1);
        EXPECT_EQ(ckpPutProp(w, "s30", nullptr), 0);
        EXPECT_EQ(ckpPutProp(w, "s0", nullptr), 0);
        EXPECT_EQ(ckpPutProp(w, "s31", nullptr), 1);
        EXPECT_EQ(resetErrors(), 3);
    });
    expected += "\nq p57=\"now\"\n";
    EXPECT_EQ(out, expected);
    ckpClose(r);
}

namespace {
using ckptest::Record;

// Every record after the header, up to the end (syntax errors included).
std::vector<Record> readBack(const std::string& path) {
    std::vector<Record> all = ckptest::records(path);
    all.erase(all.begin());
    return all;
}

// Writes an object record with a flag property or none, then "next".
struct Writer {
    TempDir dir;
    std::string path = dir.file("out.ckp");
    ckpInfo* w = ckpOpen(path.c_str(), "W");
    Writer() { ckpCreateHdr(w) && ckpPuts(w); }
    ~Writer() { ckpClose(w); }
    int object(const std::string& p, bool withProp) {
        int ok =
            ckpCreateObj(w, p.c_str()) && (!withProp || ckpPutProp(w, "f", nullptr)) && ckpPuts(w);
        return ok;
    }
    std::vector<Record> close() {
        ckpCreateObj(w, "next") && ckpPuts(w);
        ckpClose(w);
        w = nullptr;
        return readBack(path);
    }
};
} // namespace

// A head may be as long as a line holds: 510 characters, quotes and escapes
// included. A head of 510 leaves no room on its line for the backslash that
// continues it, so such a record takes no properties.
TEST(RecordWriter, HeadsAsLongAsALineHolds) {
    for (std::size_t n : {509u, 510u}) {
        Writer w;
        std::string p(n, 'p');
        EXPECT_EQ(w.object(p, false), 1) << n;
        EXPECT_EQ(ckpCreateObj(w.w, p.c_str()), 1);
        EXPECT_EQ(ckpPutProp(w.w, "f", nullptr), n == 509 ? 1 : 0) << n;
        if (n == 510) {
            EXPECT_STREQ(ckpGetError(), "no room for properties after the head in ckpPutProp");
        } else {
            EXPECT_EQ(ckpPuts(w.w), 1);
        }
        std::string quoted = "a " + std::string(n - 4, 'q'); // n once quoted
        EXPECT_EQ(ckpSetConfigPath(w.w, quoted.c_str()), n == 509 ? 1 : 0) << n;
        EXPECT_EQ(ckpPuts(w.w), 1);
        std::vector<Record> expected = {{ckpTypeObject, p, ""}};
        if (n == 509) {
            expected.push_back({ckpTypeObject, p, "f|"});
            expected.push_back({ckpTypeConfigPath, quoted, "WRXc|"});
        } else {
            expected.push_back({ckpTypeComment, "", ""}); // the refused record: a bare line end
        }
        expected.push_back({ckpTypeObject, "next", ""});
        EXPECT_EQ(w.close(), expected) << n;
    }
    // Quoting adds two quotes and a backslash per quote.
    Writer w;
    EXPECT_EQ(ckpCreateObj(w.w, std::string(511, 'p').c_str()), 0);
    EXPECT_STREQ(ckpGetError(), "path name too long for one line in ckpCreateObj");
    EXPECT_EQ(ckpGetType(w.w), ckpTypeNone);
    EXPECT_EQ(ckpCreateObj(w.w, ("a " + std::string(506, 'b')).c_str()), 1);
    EXPECT_EQ(ckpCreateObj(w.w, ("a " + std::string(507, 'b')).c_str()), 0);
    EXPECT_EQ(ckpCreateObj(w.w, ("a \"" + std::string(504, 'b')).c_str()), 1);
    EXPECT_EQ(ckpCreateObj(w.w, ("a \"" + std::string(505, 'b')).c_str()), 0);
    EXPECT_EQ(ckpSetConfigPath(w.w, std::string(5000, 'x').c_str()), 0);
    EXPECT_STREQ(ckpGetError(), "path name too long for one line in ckpSetConfigPath");
    EXPECT_EQ(ckpSetSubDir(w.w, std::string(5000, 'x').c_str()), 0);
    EXPECT_STREQ(ckpGetError(), "path name too long for one line in ckpSetSubDir");
    EXPECT_EQ(ckpCreateObj(w.w, nullptr), 0);
    EXPECT_STREQ(ckpGetError(), "no path name in ckpCreateObj");
    EXPECT_EQ(ckpRecord(w.w, std::string(510, 'r').c_str(), 0), 1);
    EXPECT_EQ(ckpRecord(w.w, std::string(511, 'r').c_str(), 0), 0);
    EXPECT_EQ(ckpRecord(w.w, std::string(509, 'r').c_str(), 1), 1);
    EXPECT_EQ(ckpRecord(w.w, std::string(510, 'r').c_str(), 1), 0);
    EXPECT_STREQ(ckpGetError(), "record text too long for one line in ckpRecord");
    EXPECT_EQ(ckpCreateObj(w.w, "p"), 1);
    EXPECT_EQ(ckpPutProp(w.w, "v", std::string(600, 'v').c_str()), 0);
    EXPECT_STREQ(ckpGetError(), "property too long for one line in ckpPutProp");
}

// A path handed back by the handle may start the next record: the slot
// that holds it is replaced only after its text has been written.
TEST(RecordWriter, APathMayBeTheHandlesOwn) {
    resetErrors();
    EXPECT_EQ(written([](ckpInfo* w) {
                  ASSERT_EQ(ckpCreateObj(w, "my dir/a\"b"), 1);
                  ASSERT_EQ(ckpPuts(w), 1);
                  ASSERT_EQ(ckpCreateObj(w, ckpGetObjPath(w)), 1);
                  EXPECT_STREQ(ckpGetObjPath(w), "my dir/a\"b");
                  ASSERT_EQ(ckpPuts(w), 1);
                  ASSERT_EQ(ckpSetConfigPath(w, "cfg"), 1);
                  ASSERT_EQ(ckpSetConfigPath(w, ckpGetConfigPath(w)), 1);
                  ASSERT_EQ(ckpPuts(w), 1);
                  ASSERT_EQ(ckpSetSubDir(w, "sub"), 1);
                  ASSERT_EQ(ckpSetSubDir(w, ckpGetSubDir(w)), 1);
                  ASSERT_EQ(ckpPuts(w), 1);
              }),
              "\"my dir/a\\\"b\"\n\"my dir/a\\\"b\"\ncfg WRXc\nsub WRXsd\n");
    EXPECT_EQ(resetErrors(), 0);
}

// Whatever is written reads back as it was written; what the syntax cannot
// carry is refused with a message naming the record.
TEST(RecordWriter, NeverWritesARecordThatReadsBackDifferent) {
    const std::vector<std::string> carried = {
        "end\\", "a\\\\",   "\"quote",    "\"quote and blank", "\\\"x",
        "a\\;b", "c\\;d e", "cr\r",       "mid\rcr",           "a \\\"b",
        "\\",    "x\\\r",   "tab\tend\\x"};
    for (bool withProp : {false, true}) {
        Writer w;
        std::vector<Record> expected;
        for (const std::string& p : carried) {
            EXPECT_EQ(w.object(p, withProp), 1) << p;
            expected.push_back({ckpTypeObject, p, withProp ? "f|" : ""});
        }
        expected.push_back({ckpTypeObject, "next", ""});
        EXPECT_EQ(w.close(), expected) << withProp;
    }
    const std::vector<std::string> refused = {"a;b", "a b\\", ";x", "line\nfeed", "", "\\\"end\\"};
    Writer w;
    for (const std::string& p : refused) {
        resetErrors();
        EXPECT_EQ(ckpCreateObj(w.w, p.c_str()), 0) << p;
        EXPECT_NE(std::string(ckpGetError()).find("ckpCreateObj"), std::string::npos) << p;
        EXPECT_EQ(ckpGetType(w.w), ckpTypeNone);
        EXPECT_EQ(ckpSetConfigPath(w.w, p.c_str()), 0) << p;
        EXPECT_EQ(ckpSetSubDir(w.w, p.c_str()), 0) << p;
    }
    EXPECT_EQ(ckpCreateObj(w.w, "a;b"), 0);
    EXPECT_STREQ(ckpGetError(), "path name \"a;b\" cannot be written in ckpCreateObj");
    EXPECT_EQ(ckpCreateObj(w.w, "two\nlines"), 0);
    EXPECT_STREQ(ckpGetError(), "path name \"two\\nlines\" cannot be written in ckpCreateObj");
    // Raw records: a line feed, a final carriage return, or a text that
    // would continue on the next line cannot come back.
    EXPECT_EQ(ckpRecord(w.w, "a\nb", 1), 0);
    EXPECT_STREQ(ckpGetError(), "record text \"a\\nb\" cannot be written in ckpRecord");
    EXPECT_EQ(ckpRecord(w.w, "a\r", 1), 0);
    EXPECT_EQ(ckpRecord(w.w, "p x=\"1\" \\", 0), 0);
    EXPECT_EQ(ckpRecord(w.w, "p x=\"1\" \\", 1), 1); // a comment never continues
    EXPECT_EQ(ckpRecord(w.w, "p \\; \\", 0), 0);
    EXPECT_EQ(ckpRecord(w.w, "p ; \\", 0), 1); // the backslash is in the comment
    // A flag needs a name; a value without one is taken first on the line.
    EXPECT_EQ(ckpCreateObj(w.w, "p"), 1);
    EXPECT_EQ(ckpPutProp(w.w, "", nullptr), 0);
    EXPECT_EQ(ckpPutProp(w.w, "", "v"), 1);
}

// A record read from a file comes back through ckpXfer as it was read; a
// record that no layout of lines can carry is refused.
TEST(RecordWriter, TransferredRecordsReadBackEqual) {
    TempDir dir;
    std::string semicolons;
    for (int i = 0; i < 252; ++i) {
        semicolons += "\\;";
    }
    std::string in = dir.write("in.ckp", "WRXCHECKPOINT=\"1.0\"\n"
                                         "end\\ a=\"1\"\n"
                                         "\\\"q\n"
                                         "\"x y\\\"\" f\n"
                                         "n f =\"v\"\n"
                                         "w v=\"" +
                                             semicolons +
                                             "\"\n"
                                             "long \\\nn=\"" +
                                             std::string(504, 'v') +
                                             "\" \\\nm\n"
                                             "\"\" k=\"v\" f\n" // no kind
                                             "last\\ \n"
                                             // comments, blank lines, qualifiers
                                             "; a comment\n\n   \ncfg/root WRXc\n"
                                             "\"sub dir\" WRXsd\n"
                                             "lib/b \\\n  x=\"1\" \\\n  ; inside\n\n"
                                             "  y \\\n  z=\"\xe9\xff\"\n"
                                             "lib/c ;trailing comment\n"
                                             "lib/d a=\"1\" ; comment \\\n"
                                             "lib/e\r\n");
    std::string out = dir.file("out.ckp");
    ckpInfo* r = ckpOpen(in.c_str(), "R");
    ckpInfo* w = ckpOpen(out.c_str(), "W");
    ASSERT_NE(r, nullptr);
    ASSERT_NE(w, nullptr);
    ckpCreateHdr(w) && ckpPuts(w);
    ckpGets(r);
    std::vector<Record> expected;
    std::vector<Record> read = readBack(in);
    std::size_t i = 0;
    while (ckpGets(r) && ckpGetType(r) != ckpTypeEnd) {
        ASSERT_EQ(ckpXfer(r, w), 1);
        ASSERT_EQ(ckpPuts(w), 1);
        expected.push_back(read.at(i));
        ++i;
    }
    // A property that no line can hold, however the record is laid out.
    ckpInfo* again = ckpOpen(in.c_str(), "R");
    ASSERT_NE(again, nullptr);
    ckpGets(again);
    ckpGets(again);
    ASSERT_NE(tiAddProp(again->files.top->firstLine, 0, "big", std::string(508, 'b').c_str()),
              nullptr);
    resetErrors();
    EXPECT_EQ(ckpXfer(again, w), 0);
    ckpClose(again);
    EXPECT_STREQ(ckpGetError(), "record \"end\\\" cannot be written in ckpXfer: line too long");
    EXPECT_EQ(ckpPuts(w), 1); // the refused record: a bare line end
    expected.push_back({ckpTypeComment, "", ""});
    ckpClose(r);
    ckpClose(w);
    EXPECT_EQ(i, 17u);
    EXPECT_EQ(readBack(out), expected);
}

// A property has no place without a head (nothing begun, or a head that was
// refused) nor on a comment or blank line: ckpPuts would write it nowhere,
// or into the comment. It is refused, and the record stays as it was.
TEST(RecordWriter, PropertyWithoutAPlaceIsRefused) {
    const std::string noRecord = "no record to add a property to in ckpPutProp";
    const std::string inComment = "a comment record holds no properties in ckpPutProp";
    struct Case {
        const char* what;
        int (*start)(ckpInfo*);
        const char* message; // of ckpPutProp afterwards; null: accepted
        const char* line;    // what ckpPuts then writes
    };
    const Case cases[] = {
        {"nothing begun", [](ckpInfo*) { return 0; }, noRecord.c_str(), "\n"},
        {"empty path", [](ckpInfo* w) { return ckpCreateObj(w, ""); }, noRecord.c_str(), "\n"},
        {"null path", [](ckpInfo* w) { return ckpCreateObj(w, nullptr); }, noRecord.c_str(), "\n"},
        {"config path", [](ckpInfo* w) { return ckpSetConfigPath(w, "a;b"); }, noRecord.c_str(),
         "\n"},
        {"subdirectory", [](ckpInfo* w) { return ckpSetSubDir(w, "x\ny"); }, noRecord.c_str(),
         "\n"},
        {"record text", [](ckpInfo* w) { return ckpRecord(w, "a\nb", 0); }, noRecord.c_str(), "\n"},
        {"transfer", [](ckpInfo* w) { return ckpCreateObj(w, "p") + ckpXfer(w, w) - 1; },
         noRecord.c_str(), "\n"},
        {"comment", [](ckpInfo* w) { return ckpRecord(w, "note", 1); }, inComment.c_str(),
         ";note\n"},
        {"blank line", [](ckpInfo* w) { return ckpRecord(w, "  ", 0); }, inComment.c_str(), "  \n"},
        {"raw data line", [](ckpInfo* w) { return ckpRecord(w, "p", 0); }, nullptr, "p k=\"v\"\n"},
        {"object", [](ckpInfo* w) { return ckpCreateObj(w, "p"); }, nullptr, "p k=\"v\"\n"},
    };
    for (const Case& c : cases) {
        std::string out = written([&](ckpInfo* w) {
            bool refused = c.message != nullptr && c.message != inComment.c_str();
            EXPECT_EQ(c.start(w), refused ? 0 : 1) << c.what;
            resetErrors();
            EXPECT_EQ(ckpPutProp(w, "k", "v"), c.message != nullptr ? 0 : 1) << c.what;
            if (c.message != nullptr) {
                EXPECT_EQ(ckpGetError(), std::string(c.message)) << c.what;
                EXPECT_EQ(resetErrors(), 1) << c.what;
            }
            EXPECT_EQ(ckpPuts(w), 1) << c.what;
        });
        EXPECT_EQ(out, c.line) << c.what;
    }
    // The faults that came first keep their messages.
    EXPECT_EQ(written([](ckpInfo* w) {
                  EXPECT_EQ(ckpPutProp(w, "a b", "v"), 0);
                  EXPECT_STREQ(ckpGetError(), "illegal property name");
              }),
              "");
}

// A raw data line takes properties as any record does, and they must read
// back with it: a trailing comment would swallow them, so a property after
// one is refused. After a long raw data line they go on continuation lines,
// as after any head: on its own line they would grow past what the reader
// takes in one piece, and be cut off.
TEST(RecordWriter, PropertiesOfARawDataLineReadBack) {
    const std::string value(40, 'v');
    const std::string kept = "k=" + value;
    struct Case {
        std::string text;
        std::string path; // read back; empty: the property is refused
    };
    const Case cases[] = {
        {"p x=\"1\"", "p"},
        {"p\\; x", "p\\;"}, // an escaped ';' cuts nothing
        {"p x=\"1\" ; note", ""},
        {"p ;", ""},
        {std::string(470, 'r'), std::string(470, 'r')},
        {std::string(480, 'r'), std::string(480, 'r')},
        {std::string(509, 'r'), std::string(509, 'r')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        Writer w;
        ASSERT_EQ(ckpRecord(w.w, c.text.c_str(), 0), 1);
        resetErrors();
        bool takes = !c.path.empty();
        EXPECT_EQ(ckpPutProp(w.w, "k", value.c_str()), takes ? 1 : 0);
        if (!takes) {
            EXPECT_STREQ(ckpGetError(), "a trailing comment would hide the property in ckpPutProp");
        }
        EXPECT_EQ(ckpPutProp(w.w, "f", nullptr), takes ? 1 : 0);
        EXPECT_EQ(ckpPuts(w.w), 1);
        std::vector<Record> back = w.close();
        ASSERT_EQ(back.size(), 2u);
        if (takes) {
            EXPECT_EQ(back[0].path, c.path);
            EXPECT_TRUE(back[0].props.ends_with(kept + "|f|")) << back[0].props;
        }
    }
}

// A record transferred without a head (the empty header of a file without
// one, the end of the file, a blank line read as a record without path) has
// nothing for a property to follow: written first on its line, the property
// would read back as a path. It is refused.
TEST(RecordWriter, TransferredRecordWithoutHeadTakesNoProperty) {
    TempDir dir;
    std::string source = dir.write("in.ckp", "p 1 static\n\t");
    ckpInfo* r = ckpOpen(source.c_str(), "R");
    ASSERT_NE(r, nullptr);
    const int types[] = {ckpTypeHeader, ckpTypeObject, ckpTypeSyntax, ckpTypeEnd};
    for (int type : types) {
        ASSERT_EQ(ckpGets(r), 1);
        ASSERT_EQ(ckpGetType(r), type);
        std::string out = written([&](ckpInfo* w) {
            ASSERT_EQ(ckpXfer(r, w), 1) << type;
            resetErrors();
            bool head = type == ckpTypeObject;
            EXPECT_EQ(ckpPutProp(w, "k", "v"), head ? 1 : 0) << type;
            if (!head) {
                EXPECT_STREQ(ckpGetError(),
                             "a record without head holds no properties in ckpPutProp")
                    << type;
            }
            EXPECT_EQ(ckpPuts(w), 1) << type;
        });
        EXPECT_EQ(out.find("k=\"v\"") == std::string::npos, type != ckpTypeObject) << out;
    }
    ckpClose(r);
}
