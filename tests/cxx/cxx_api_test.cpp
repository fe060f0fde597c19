// The C++ interface: the same records as the C loop, RAII writing, setups
// as containers, failures as ckp::Error with the library's message.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <fstream>
#include <functional>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "ckp/ckp.hpp"
#include "common/testutil.hpp"

namespace {

using ckptest::readFile;
using ckptest::TempDir;

// Each record as "TYPE PATH NAME[=VALUE]...".
std::vector<std::string> readWithCxx(const std::string& file) {
    std::vector<std::string> seen;
    ckp::Reader reader(file);
    for (const ckp::Record& r : reader) {
        std::string text = ckptest::cat(std::to_string(static_cast<int>(r.type())), " ", r.path());
        for (const ckp::Property& p : r.props()) {
            text +=
                p.has_value ? ckptest::cat(" ", p.name, "=", p.value) : ckptest::cat(" ", p.name);
        }
        seen.push_back(text);
    }
    return seen;
}

// A file of every kind of record, including another; returns its path.
std::string writeVaried(const TempDir& dir) {
    dir.write("sub.ckpt", "WRXCHECKPOINT=\"1.0\"\ns/a k=\"1\"\n");
    return dir.write("main.ckpt", "WRXCHECKPOINT=\"1.0\" owner=\"me\"\n"
                                  "; note\n"
                                  "a x=\"1\" flag \\\n  y=\"\"\n"
                                  "bad \"open\n"
                                  "sub.ckpt WRXinc\n"
                                  "conf WRXc\n"
                                  "z q=\"a\\;b\"\n");
}

// Records that name no path give none, though the handle still holds the
// one before; the included file's header comes twice, as the C loop hands
// it out.
TEST(CxxReader, RecordsAsTheyAre) {
    TempDir dir;
    std::string main = writeVaried(dir);
    EXPECT_EQ(readWithCxx(main),
              (std::vector<std::string>{"6  owner=me", "3 ", "8 a x=1 flag y=", "5 bad",
                                        "7 sub.ckpt WRXinc", "6 ", "6 ", "8 s/a k=1", "11 ",
                                        "9 conf WRXc", "8 z q=a;b"}));
}

TEST(CxxReader, RecordGivesItsPathLineFileAndProperties) {
    TempDir dir;
    std::string main = writeVaried(dir);
    ckp::Reader reader(main);
    ASSERT_TRUE(reader.next());
    EXPECT_EQ(reader.record().type(), ckp::Type::Header);
    EXPECT_EQ(reader.syntax_version(), 1);
    ASSERT_TRUE(reader.next() && reader.next());
    ckp::Record a = reader.record();
    // Lines and syntax errors are read from the reporter without a word
    // reaching the caller's own reporter, which stays in place.
    ckptest::ReportCapture mine;
    EXPECT_EQ(a.line(), 3); // its first physical line
    EXPECT_EQ(a.end_line(), 4);
    EXPECT_EQ(a.file(), main);
    ASSERT_TRUE(a.prop("flag").has_value());
    EXPECT_FALSE(a.prop("flag")->has_value);
    EXPECT_EQ(a.prop("y")->value, "");
    EXPECT_TRUE(a.prop("y")->has_value);
    EXPECT_FALSE(a.prop("nope").has_value());
    ASSERT_TRUE(reader.next());
    ckp::SyntaxError error = reader.record().syntax_error();
    EXPECT_EQ(error.file, main);
    EXPECT_EQ(error.line, 5);
    EXPECT_EQ(error.column, 5);
    EXPECT_EQ(error.message, "illegal character in property name");
    EXPECT_EQ(error.text, "bad \"open");
    EXPECT_TRUE(mine.messages().empty()) << mine.joined();
    kvoReportError("still mine");
    EXPECT_EQ(mine.joined(), "still mine\n");
}

// Names, values and paths may be views that end nowhere near a NUL: each
// is taken by its length. A transfer copies a record read elsewhere; the
// destructor puts the last record and closes.
TEST(CxxWriter, WritesViewsAndTransfers) {
    TempDir dir;
    std::string out = dir.file("out.ckpt");
    const std::string text = "cell/cownerbob";
    std::string_view path(text.data(), 6), name(text.data() + 6, 5), value(text.data() + 11, 3);
    {
        ckp::Writer w(out);
        w.write_header();
        w.object(path)
            .prop(name, value)
            .prop(std::string("k"), std::string("v;w"))
            .flag(std::string_view("lockedXYZ", 6));
        w.raw("a remark", true);
        w.object(std::string("my dir/d")).prop(name, std::string_view());
        w.close();
    }
    const std::string header = "WRXCHECKPOINT=\"1.0\"\n";
    const std::string objects = "cell/c owner=\"bob\" k=\"v\\;w\" locked\n"
                                "\"my dir/d\" owner=\"\"\n";
    EXPECT_EQ(readFile(out), header + "cell/c owner=\"bob\" k=\"v\\;w\" locked\n;a remark\n"
                                      "\"my dir/d\" owner=\"\"\n");
    std::string copy = dir.file("copy.ckpt");
    {
        ckp::Reader reader(out);
        ckp::Writer w(copy);
        for (const ckp::Record& r : reader) {
            if (r.type() == ckp::Type::Object) {
                w.transfer(r);
            } else if (r.type() == ckp::Type::Header) {
                w.write_header();
            }
            if (r.path() == "cell/c") {
                EXPECT_EQ(r.prop(name)->value, "bob");
                EXPECT_EQ(r.prop(std::string_view("kx", 1))->value, "v;w");
            }
        }
    }
    EXPECT_EQ(readFile(copy), header + objects);
}

TEST(CxxWriter, FailuresThrow) {
    TempDir dir;
    ckp::Writer w(dir.file("dup.ckpt"));
    auto record = w.object("x").prop("a", "1");
    EXPECT_THROW(record.prop("a", "2"), ckp::Error);
    EXPECT_THROW(ckp::Writer(dir.file("no/such/dir/f.ckpt")), ckp::Error);

    // More than the stream's buffer: a put or the close must fail.
    ckptest::FileSizeLimit limit(1024);
    if (!limit.active()) {
        return; // no file size limit on this system
    }
    EXPECT_THROW(
        {
            ckp::Writer full(dir.file("full.ckpt"));
            full.write_header();
            for (int i = 0; i < 10000; ++i) {
                full.object(ckptest::cat("p", std::to_string(i))).prop("v", std::string(100, 'x'));
            }
            full.close();
        },
        ckp::Error);
}

// A Writer by path publishes only a write that finished cleanly; whatever
// failed or was given up leaves the old file byte for byte and no
// temporary beside it.
TEST(CxxWriter, PublishesOnlyAFinishedWrite) {
    const std::string old = "WRXCHECKPOINT=\"1.0\"\nold x=\"1\"\n";
    const std::string written = "WRXCHECKPOINT=\"1.0\"\nnew a=\"1\"\n";
    struct Case {
        const char* what;
        void (*use)(ckp::Writer& w);
        bool published;
    };
    const Case cases[] = {
        {"close", [](ckp::Writer& w) { w.close(); }, true},
        {"destroyed after successful calls", [](ckp::Writer&) {}, true},
        {"refused property, then destroyed",
         [](ckp::Writer& w) { EXPECT_THROW(w.object("more").prop("bad name", "x"), ckp::Error); },
         false},
        {"refused property, then close",
         [](ckp::Writer& w) {
             EXPECT_THROW(w.object("more").prop("bad name", "x"), ckp::Error);
             EXPECT_THROW(w.object("after"), ckp::Error);
             EXPECT_THROW(w.close(), ckp::Error);
         },
         false},
        {"discard, then close",
         [](ckp::Writer& w) {
             w.discard();
             w.close();
         },
         false},
        {"exception in flight", [](ckp::Writer&) { throw std::runtime_error("stop"); }, false},
    };
    for (const Case& c : cases) {
        TempDir dir;
        std::string target = dir.write("t.ckpt", old);
        try {
            ckp::Writer w(target);
            w.write_header();
            w.object("new").prop("a", "1");
            c.use(w);
        } catch (const std::runtime_error& e) {
            EXPECT_STREQ(e.what(), "stop") << c.what;
        }
        EXPECT_EQ(readFile(target), c.published ? written : old) << c.what;
        EXPECT_EQ(ckptest::temporaryCount(dir.path()), 0) << c.what;
    }
}

TEST(CxxSetup, EntriesAndPropertiesAsContainers) {
    TempDir dir;
    std::string path = dir.file("team.setup");
    ckp::Setup team = ckp::Setup::create(path);
    team.create_entry("bob");
    team.create_entry("alice", "person");
    team.set("alice", "role", "lead");
    team.set("alice", "remote", nullptr);
    team.set("alice", "site", "");
    team.set("carol", "role", "review"); // a new entry is made first
    EXPECT_EQ(team.entries(), (std::vector<std::string>{"alice", "bob", "carol"}));
    EXPECT_TRUE(team.has_entry("bob"));
    EXPECT_FALSE(team.has_entry("dave"));
    using Value = ckp::Setup::Value;
    EXPECT_EQ(team.get("alice", "role"), Value("lead"));
    EXPECT_EQ(team.get("carol", "role"), Value("review"));
    // A flag, an empty value and a missing property are three answers.
    ASSERT_TRUE(team.get("alice", "remote").has_value());
    EXPECT_FALSE(team.get("alice", "remote")->has_value());
    EXPECT_EQ(team.get("alice", "site"), Value(""));
    EXPECT_EQ(team.get("alice", "office"), std::nullopt);
    EXPECT_EQ(team.get("dave", "role"), std::nullopt);
    team.erase_entry("carol");
    team.save();
    team.clear();

    ckp::Setup loaded = ckp::Setup::load(path);
    using Props = std::vector<std::pair<std::string, Value>>;
    EXPECT_EQ(
        loaded.props("alice"),
        (Props{{"entrytype", "person"}, {"remote", std::nullopt}, {"role", "lead"}, {"site", ""}}));
    loaded.erase("alice", "remote");
    loaded.erase_entry("bob");
    EXPECT_EQ(loaded.entries(), std::vector<std::string>{"alice"});
    EXPECT_THROW(loaded.erase_entry("bob"), ckp::Error);
    EXPECT_THROW(loaded.props("bob"), ckp::Error);
    loaded.clear();
}

// What a call throws: "OPERATION: MESSAGE" of its ckp::Error, "" when it
// throws none.
std::string thrown(const std::function<void()>& call) {
    try {
        call();
    } catch (const ckp::Error& e) {
        return e.operation() + ": " + e.what();
    }
    return "";
}

// Failures throw the library's message; one the store leaves silent names
// what was missing. A setup that is not loaded has no entry to make.
TEST(CxxErrors, FailuresThrowTheLibraryMessage) {
    TempDir dir;
    ckp::Setup gone("not-loaded");
    ckp::Setup team = ckp::Setup::create(dir.file("team.setup"));
    team.set(std::string_view("bobby", 3), "role", "lead");
    const std::string delProp = "ckpSetupDelProp: ckpSetupDelProp failed for \"" + team.name();
    const std::string none = dir.file("none.ckpt");
    struct Case {
        std::function<void()> call;
        std::string expected;
    } cases[] = {
        {[&] { ckp::Reader reader(none); }, "ckpOpen: " + none + ": file not found"},
        {[&] { ckp::Setup::load(dir.file("missing.setup")); },
         "ckpSetupLoad: ckpSetupLoad failed for \"" + dir.file("missing.setup") + "\""},
        {[&] { gone.set("x", "y", "z"); },
         "ckpSetupCreateEntry: ckpSetupCreateEntry failed for \"not-loaded\""},
        {[&] { team.erase("bob", "site"); },
         delProp + "\": entry \"bob\" has no property \"site\""},
        {[&] { team.erase("dave", "site"); }, delProp + "\": no entry \"dave\""},
        {[&] { team.erase_entry("dave"); }, "ckpSetupDelEntry: ckpSetupDelEntry failed for \"" +
                                                team.name() + "\": no entry \"dave\""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(thrown(c.call), c.expected);
    }
    team.clear();
}

} // namespace

// A file's bytes as they are, also on Windows, where readFile drops the CR
// of each line end.
std::string rawBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A load, then edits of the same file by other editors (the same file under
// another name is another setup in the store), then the save under another
// spelling of the loaded file: each edit survives, and the file's comments
// and untouched text stay.
TEST(CxxSetup, SaveAppliesOnlyItsChangesToTheFileAsItIsNow) {
    TempDir dir;
    const std::string kept = "; the team\nbob  site=\"south\"   remote ; far\n";
    std::string path = dir.write("team.setup", "WRXCHECKPOINT=\"1.0\"\r\n" + kept);
    ckp::Setup mine = ckp::Setup::load(path);
    for (int i = 0; i < 5; ++i) {
        ckp::Setup::edit(dir.path() + "/./team.setup", [&](ckp::Setup& other) {
            other.set(ckptest::cat("e", std::to_string(i)), "n", std::to_string(i));
        });
    }
    mine.set("alice", "role", "lead");
    mine.save(dir.path() + "/./team.setup");
    mine.clear();
    std::string saved = rawBytes(path);
    EXPECT_NE(saved.find("bob  site=\"south\"   remote ; far"), std::string::npos) << saved;
    EXPECT_NE(saved.find("alice role=\"lead\"\r\n"), std::string::npos) << saved;
    ckp::Setup after = ckp::Setup::load(path);
    EXPECT_EQ(after.entries(),
              (std::vector<std::string>{"alice", "bob", "e0", "e1", "e2", "e3", "e4"}));
    after.clear();
}

#ifndef _WIN32
// An edit refuses a FIFO at once, where loading it would wait for a writer
// (until the test's timeout).
TEST(CxxSetup, EditRefusesAFifoAtOnce) {
    TempDir dir;
    ASSERT_EQ(mkfifo(dir.file("f.setup").c_str(), 0600), 0);
    EXPECT_EQ(thrown([&] { ckp::Setup::edit(dir.file("f.setup"), [](ckp::Setup&) {}); }),
              "edit: cannot edit " + dir.file("f.setup") + ": not a regular file");
}
#endif

// An edit of a setup this process holds in memory would start from that
// memory and then drop it, so that the holder's next save deleted every
// entry from the file: it is refused.
TEST(CxxSetup, EditOfASetupInMemoryIsRefused) {
    TempDir dir;
    std::string path = dir.write("team.setup", "WRXCHECKPOINT=\"1.0\"\nalice role=\"lead\"\n");
    ckp::Setup mine = ckp::Setup::load(path);
    mine.set("alice", "role", "dev");
    EXPECT_THROW(ckp::Setup::edit(path, [](ckp::Setup& s) { s.set("bob", "x", "1"); }), ckp::Error);
    mine.save();
    mine.clear();
    EXPECT_EQ(readFile(path), "WRXCHECKPOINT=\"1.0\"\nalice role=\"dev\"\n");
}

// The same entry changed on disk and in memory: the save names it and
// writes nothing.
TEST(CxxSetup, ConflictingSaveNamesTheEntryAndWritesNothing) {
    TempDir dir;
    std::string path = dir.write("team.setup", "WRXCHECKPOINT=\"1.0\"\nbob site=\"south\"\n");
    ckp::Setup mine = ckp::Setup::load(path);
    ckp::Setup::edit(dir.path() + "/./team.setup",
                     [](ckp::Setup& other) { other.set("bob", "site", "west"); });
    std::string onDisk = readFile(path);
    mine.set("bob", "site", "east");
    std::string error = thrown([&] { mine.save(); });
    EXPECT_NE(error.find("entry bob "), std::string::npos) << error;
    EXPECT_EQ(readFile(path), onDisk);
    mine.clear();
}
