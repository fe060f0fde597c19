// Setup files: finding them, loading them whole or not at all, saving them
// in place, elsewhere or as a dump, and the dump's exact lines.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

#include "common/records.hpp"
#include "common/testutil.hpp"
#include "setup/store.hpp"

namespace {

using ckptest::readFile;
using ckptest::ReportCapture;
using ckptest::TempDir;

const std::string v1 = "WRXCHECKPOINT=\"1.0\"\n";

// What a dump of the setup writes to standard error.
std::string dumpOf(const char* setup) {
    std::FILE* file = std::tmpfile();
    if (file == nullptr) {
        return "<no temporary file>";
    }
    std::fflush(stderr);
    int saved = dup(2);
    dup2(fileno(file), 2);
    EXPECT_EQ(ckpSetupSave(setup, "-"), 1);
    std::fflush(stderr);
    dup2(saved, 2);
    close(saved);
    std::rewind(file);
    std::string text;
    for (int c; (c = std::fgetc(file)) != EOF;) {
        text += static_cast<char>(c);
    }
    std::fclose(file);
    return text;
}

void setEnv(const char* name, const std::string& value) {
#if defined(_WIN32)
    _putenv_s(name, value.c_str());
#else
    setenv(name, value.c_str(), 1);
#endif
}

char listSep() {
#if defined(_WIN32)
    return ';';
#else
    return ':';
#endif
}

TEST(SetupDump, ExactLinesAndTheModifiedFlag) {
    TempDir dir;
    std::string path = dir.write("team.setup", v1 + "cell entrytype=\"cell\" locked\n"
                                                    "Alpha owner=\"ann\"\n"
                                                    "beta\n");
    ASSERT_EQ(ckpSetupLoad(path.c_str()), 1);
    const std::string head = "setup information for: " + path + "\n\nload path is: " + path + "\n";
    const std::string entries = "Setup Entries: \n"
                                "Name: Alpha\nProp List:\n    name: owner value: ann\n"
                                "Name: beta\nProp List:\n"
                                "Name: cell\nProp List:\n    name: entrytype value: cell\n"
                                "    name: locked value: (no value)\n"
                                "\n";
    EXPECT_EQ(dumpOf(path.c_str()), head + "setup has NOT been modified\n\n" + entries);
    EXPECT_FALSE(std::filesystem::exists("-"));

    // Calls that change nothing leave the flag alone.
    EXPECT_EQ(ckpSetupCreateEntry(path.c_str(), "beta", "x"), 0);
    EXPECT_EQ(ckpSetupDelEntry(path.c_str(), "gamma"), 0);
    EXPECT_EQ(ckpSetupDelProp(path.c_str(), "beta", "none"), 0);
    EXPECT_EQ(ckpSetupSetProp(path.c_str(), "gamma", "a", "1"), 0);
    EXPECT_NE(dumpOf(path.c_str()).find("setup has NOT been modified\n\n"), std::string::npos);

    // Setting a value to what it was is a change, and saving keeps the flag.
    EXPECT_EQ(ckpSetupSetProp(path.c_str(), "Alpha", "owner", "ann"), 1);
    ASSERT_EQ(ckpSetupSave(path.c_str(), nullptr), 1);
    EXPECT_EQ(dumpOf(path.c_str()), head + "setup has been modified\n\n" + entries);
    EXPECT_EQ(ckpSetupClear(path.c_str()), 1);

    // A setup without entries.
    ASSERT_EQ(ckpSetupCreate("empty-dump"), 1);
    EXPECT_EQ(dumpOf("empty-dump"), "setup information for: empty-dump\n\n"
                                    "load path is: empty-dump\n"
                                    "setup has NOT been modified\n\n"
                                    "Setup Entries: \n\n");
    EXPECT_EQ(ckpSetupClear("empty-dump"), 1);
}

// Only files count: a directory named like the setup, in the working
// directory or in an earlier search directory, hides nothing.
TEST(SetupLoad, FindsTheFileDirectlyOrThroughTheSearchGroup) {
    TempDir dir;
    std::filesystem::create_directories(dir.file("a/found-by-search.setup"));
    std::filesystem::create_directories(dir.file("work/found-by-search.setup"));
    std::string inB = dir.write("b/found-by-search.setup", v1 + "x\n");
    EXPECT_EQ(kvoFileExists(dir.file("a/found-by-search.setup").c_str()), 0);
    EXPECT_NE(kvoFileExists(inB.c_str()), 0);
    setEnv("KVO_SEARCH_KVOSETUP", dir.file("a") + listSep() + dir.file("b"));
    std::filesystem::path cwd = std::filesystem::current_path();
    std::filesystem::current_path(dir.file("work"));
    int loaded = ckpSetupLoad("found-by-search.setup");
    std::filesystem::current_path(cwd);
    ASSERT_EQ(loaded, 1);
    EXPECT_EQ(ckpSetupGetEntry("found-by-search.setup", "x"), 1);
    // The search joins directory and name with the canonical separator.
    std::string searched = dir.file("b") + kvoDirSep() + "found-by-search.setup";
    EXPECT_NE(dumpOf("found-by-search.setup").find("load path is: " + searched + "\n"),
              std::string::npos);
    char found[KVO_PATH_BUFFER];
    EXPECT_EQ(wyrSearchGroup(0, "found-by-search.setup", "kvosetup", found, sizeof found), 0);
    EXPECT_EQ(std::string(found), searched);

    // A group of one's own, and a name no directory holds.
    std::string own = dir.write("a/own.setup", v1 + "y\n");
    setEnv("KVO_SEARCH_MYTOOL", dir.file("a"));
    EXPECT_EQ(ckpSetupLoadGroup("own.setup", "mytool"), 1);
    EXPECT_EQ(ckpSetupGetEntry("own.setup", "y"), 1);
    {
        ReportCapture reports;
        EXPECT_EQ(ckpSetupLoad("nowhere.setup"), 0);
        EXPECT_EQ(ckpSetupLoadGroup("own.setup-not", "mytool"), 0);
        EXPECT_EQ(ckpSetupLoadGroup("x", std::string(300, 'g').c_str()), 0);
        EXPECT_EQ(reports.joined(), "");
    }

    // Loaded again: the setup in memory, with its changes, stays.
    EXPECT_EQ(ckpSetupCreateEntry("own.setup", "z", nullptr), 1);
    EXPECT_EQ(ckpSetupLoadGroup("own.setup", "mytool"), 1);
    EXPECT_EQ(ckpSetupGetEntry("own.setup", "z"), 1);
    EXPECT_EQ(readFile(own), v1 + "y\n");

    // A setup whose file exists is loaded, not created.
    EXPECT_EQ(ckpSetupCreate(inB.c_str()), 0);
    EXPECT_EQ(ckpSetupCreate("own.setup"), 1);
    EXPECT_EQ(ckpSetupClear("own.setup"), 1);
    EXPECT_EQ(ckpSetupClear("found-by-search.setup"), 1);
    setEnv("KVO_SEARCH_KVOSETUP", "");
}

// Entry names of a setup, in listed order, joined by blanks.
std::string listed(const char* setup) {
    std::string names;
    kvoStrlist* list = ckpSetupGetEntryList(setup);
    for (kvoStrlist* e = list; e != nullptr && *e != nullptr; ++e) {
        names += (names.empty() ? "" : " ") + std::string(*e);
    }
    kvoFreeStrlist(list);
    return names;
}

// Descending, with properties out of order and one repeated.
const std::string descending = v1 + "e z=\"1\" a=\"2\" z=\"3\"\nd\nc x\nb\na\n";

std::string seventyOutOfOrder(std::string* sorted) {
    std::string body;
    for (int i = 0; i < 70; ++i) {
        body += "n" + std::to_string((i * 37) % 70 + 10) + "\n";
        *sorted += (sorted->empty() ? "n" : " n") + std::to_string(i + 10);
    }
    return v1 + body;
}

// A file loads whole, listing its entries sorted, or not at all: every
// fault is reported in one pass, in the order of the lines, and nothing of
// the file is kept.
TEST(SetupLoad, WholeOrNothingWithEveryFaultReported) {
    TempDir dir;
    dir.write("part.setup", v1 + "p\n");
    const std::string addEntry = "Error (kvoSetupAddEntry): couldn't add entry to checkpoint.\n";
    std::string seventy;
    struct Case {
        const char* what;
        std::string body;
        bool loads;
        std::vector<std::string> messages; // each found after the one before
        std::string entries;
    };
    const Case cases[] = {
        {"empty", "", true, {}, ""},
        {"qualifiers, comments, rooted paths",
         v1 + "; a comment\n/cfg WRXc\nsub WRXsd\n/rooted/entry a=\"1\"\n",
         true,
         {},
         "/rooted/entry"},
        {"two faults", v1 + "a x=\"1\ngood y=\"2\"\nb z=\"3\n", false, {"line 2", "line 4"}, ""},
        {"an include brings a second header",
         v1 + "part.setup WRXinc\n",
         false,
         {"Error (ckpSetupReadSetup): checkpoint file has an extra checkpoint header record.\n"},
         ""},
        {"descending, a property repeated",
         descending,
         true,
         {"Warning (ckpSetupMakeEntry): couldn't add property to checkpoint entry.\n"},
         "a b c d e"},
        {"seventy out of order", seventyOutOfOrder(&seventy), true, {}, seventy},
        {"repeat at the end", v1 + "c\nb\na\nc\nbad x=\"1\n", false, {addEntry, "line 6"}, ""},
        {"repeat after another", v1 + "b\nd\na\nd\nbad x=\"1\n", false, {addEntry, "line 6"}, ""},
        {"repeat of the first", v1 + "a\nc\nb\na\nbad x=\"1\n", false, {addEntry, "line 6"}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string path = dir.write("load.setup", c.body);
        ReportCapture reports;
        EXPECT_EQ(ckpSetupLoad(path.c_str()), c.loads ? 1 : 0);
        std::size_t at = 0;
        for (const std::string& m : c.messages) {
            at = reports.joined().find(m, at);
            ASSERT_NE(at, std::string::npos) << m << " in " << reports.joined();
        }
        if (c.loads) {
            EXPECT_EQ(reports.messages().size(), c.messages.size()) << reports.joined();
        }
        EXPECT_EQ(listed(path.c_str()), c.entries);
        EXPECT_EQ(ckpSetupClear(path.c_str()), c.loads ? 1 : 0);
    }
}

// The first of a repeated property stays; a value replaced, properties
// added beyond what the file held and removed, an entry removed.
TEST(SetupLoad, LoadedEntriesChangeLikeCreatedOnes) {
    TempDir dir;
    std::string down = dir.write("down.setup", descending);
    {
        ReportCapture reports; // the repeated property's warning
        ASSERT_EQ(ckpSetupLoad(down.c_str()), 1);
    }
    EXPECT_EQ(ckptest::setupProps(down.c_str(), "e"), "a=2|z=1|");
    EXPECT_EQ(ckpSetupSetProp(down.c_str(), "e", "z", "new"), 1);
    EXPECT_EQ(ckpSetupSetProp(down.c_str(), "e", "m", nullptr), 1);
    EXPECT_EQ(ckpSetupSetProp(down.c_str(), "c", "y", "2"), 1);
    EXPECT_EQ(ckpSetupDelProp(down.c_str(), "e", "a"), 1);
    EXPECT_EQ(ckpSetupDelProp(down.c_str(), "c", "x"), 1);
    EXPECT_EQ(ckpSetupDelEntry(down.c_str(), "d"), 1);
    std::string saved = dir.path() + "/saved.setup";
    ASSERT_EQ(ckpSetupSave(down.c_str(), saved.c_str()), 1);
    EXPECT_EQ(readFile(saved), v1 + "a\nb\nc y=\"2\"\ne m z=\"new\"\n");
    EXPECT_EQ(ckpSetupClear(down.c_str()), 1);
}

TEST(SetupSave, ElsewhereInNewDirectoriesAndTheLoadPathStays) {
    TempDir dir;
    std::string path = dir.write("home.setup", v1 + "a\n");
    ASSERT_EQ(ckpSetupLoad(path.c_str()), 1);
    ASSERT_EQ(ckpSetupCreateEntry(path.c_str(), "b", "view"), 1);
    std::string elsewhere = dir.file("new/deeper/copy.setup");
    ASSERT_EQ(ckpSetupSave(path.c_str(), elsewhere.c_str()), 1);
    EXPECT_EQ(readFile(elsewhere), v1 + "a\nb entrytype=\"view\"\n");
    EXPECT_EQ(readFile(path), v1 + "a\n");
    EXPECT_NE(dumpOf(path.c_str()).find("load path is: " + path + "\n"), std::string::npos);
    ASSERT_EQ(ckpSetupSave(path.c_str(), ""), 1);
    EXPECT_EQ(readFile(path), v1 + "a\nb entrytype=\"view\"\n");

    EXPECT_EQ(ckpSetupClear(path.c_str()), 1);

    // Created and saved without a path: a file of that name, header only.
    std::string created = dir.file("created.setup");
    ASSERT_EQ(ckpSetupCreate(created.c_str()), 1);
    ASSERT_EQ(ckpSetupSave(created.c_str(), nullptr), 1);
    EXPECT_EQ(readFile(created), v1);
    EXPECT_EQ(ckpSetupClear(created.c_str()), 1);
    EXPECT_EQ(ckpSetupSave(created.c_str(), nullptr), 0);
}

// Paths of any length: a setup in a search directory whose path is longer
// than 260 characters is found, and a save to such a path is written.
TEST(SetupPaths, LongPathsWork) {
#if defined(_WIN32)
    GTEST_SKIP() << "the Windows runtime itself refuses paths of 260 characters and more";
#endif
    TempDir dir;
    std::string deep = dir.path();
    while (deep.size() < 290) {
        deep += "/" + std::string(60, 'd');
    }
    std::string inDeep = dir.write(deep.substr(dir.path().size() + 1) + "/deep.setup", v1 + "x\n");
    ASSERT_GT(inDeep.size(), 300u);
    setEnv("KVO_SEARCH_DEEPGROUP", dir.file("elsewhere") + listSep() + deep);
    {
        ReportCapture reports;
        EXPECT_EQ(ckpSetupLoadGroup("deep.setup", "deepgroup"), 1);
        EXPECT_EQ(reports.joined(), "");
    }
    EXPECT_EQ(ckpSetupGetEntry("deep.setup", "x"), 1);
    EXPECT_NE(dumpOf("deep.setup").find("load path is: " + inDeep + "\n"), std::string::npos);

    std::string target = deep + "/" + std::string(40, 'n') + "/copy.setup";
    {
        ReportCapture reports;
        EXPECT_EQ(ckpSetupSave("deep.setup", target.c_str()), 1);
        EXPECT_EQ(reports.joined(), "");
    }
    EXPECT_EQ(readFile(target), v1 + "x\n");
    EXPECT_EQ(ckpSetupClear("deep.setup"), 1);
    setEnv("KVO_SEARCH_DEEPGROUP", "");
}

// Whatever a setup file may hold is saved back unchanged; an entry whose
// name the syntax cannot carry fails the save with a message naming it, and
// the old file stays.
TEST(SetupSave, WhatLoadsSavesBackAndWhatCannotIsNamed) {
    TempDir dir;
    std::string long509(509, 'e');
    std::string text = v1 + long509 + "\\\n owner=\"ann\"\n" + std::string(510, 'f') + "\n" +
                       "end\\ \n\\\"quoted\n";
    std::string path = dir.write("full.setup", text);
    ASSERT_EQ(ckpSetupLoad(path.c_str()), 1);
    EXPECT_EQ(ckpSetupGetEntry(path.c_str(), long509.c_str()), 1);
    std::string copy = dir.file("copy.setup");
    {
        ReportCapture reports;
        EXPECT_EQ(ckpSetupSave(path.c_str(), copy.c_str()), 1);
        EXPECT_EQ(reports.joined(), "");
    }
    ASSERT_EQ(ckpSetupLoad(copy.c_str()), 1);
    for (const std::string& entry :
         {long509, std::string(510, 'f'), std::string("end\\"), std::string("\"quoted")}) {
        EXPECT_EQ(ckpSetupGetEntry(copy.c_str(), entry.c_str()), 1) << entry;
    }
    char* owner = nullptr;
    EXPECT_EQ(ckpSetupGetProp(copy.c_str(), long509.c_str(), "owner", &owner), 1);
    EXPECT_STREQ(owner, "ann");
    std::free(owner);
    EXPECT_EQ(ckpSetupClear(copy.c_str()), 1);

    struct Refused {
        const char* entry;
        const char* property; // null: the entry itself is refused
        const char* report;
    };
    const Refused refused[] = {
        {"semi;colon", nullptr,
         "Error (ckpSetupWriteEntry): failed to create checkpoint file.\n"
         "Error (ckpSetupWriteEntry): entry \"semi;colon\" not written: path name "
         "\"semi;colon\" cannot be written in ckpCreateObj\n"},
        {"end\\", "bad-name",
         "Error (ckpSetupWriteEntry): writing property to checkpoint file failed.\n"},
    };
    for (const Refused& r : refused) {
        SCOPED_TRACE(r.entry);
        if (r.property == nullptr) {
            ASSERT_EQ(ckpSetupCreateEntry(path.c_str(), r.entry, nullptr), 1);
        } else {
            ASSERT_EQ(ckpSetupSetProp(path.c_str(), r.entry, r.property, "v"), 1);
        }
        ReportCapture reports;
        EXPECT_EQ(ckpSetupSave(path.c_str(), nullptr), 0);
        EXPECT_EQ(reports.joined(), r.report);
        EXPECT_EQ(readFile(path), text);
        EXPECT_EQ(r.property == nullptr ? ckpSetupDelEntry(path.c_str(), r.entry)
                                        : ckpSetupDelProp(path.c_str(), r.entry, r.property),
                  1);
    }
    EXPECT_EQ(ckpSetupClear(path.c_str()), 1);
}

} // namespace
