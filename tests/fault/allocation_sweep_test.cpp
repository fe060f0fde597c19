// Every allocation of a scenario fails in turn, the first, then the second,
// and so on, until the scenario runs through without reaching the armed
// failure. Each run must either report its failure (a failure value and a
// message) or give exactly what an undisturbed run gives: nothing may be lost
// silently. Leaks show under the asan preset and valgrind.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>

#include "ckp/ckp.h"
#include "ckp/kvo.h"
#include "common/records.hpp"
#include "common/testutil.hpp"

namespace {

using ckptest::readFile;
using ckptest::ReportCapture;
using ckptest::resetErrors;
using ckptest::TempDir;

const std::string v1 = "WRXCHECKPOINT=\"1.0\"\n";

// What one run of a scenario gives: whether every call succeeded, and a
// digest of everything it produced. A run that fails, or gives less than an
// undisturbed run, must have recorded an error or reported a message.
struct Outcome {
    bool ok = true;
    std::string digest;
};

std::string text(const char* s) {
    return s ? std::string(s) : std::string("(null)");
}

// The reader and writer record a message with every failure; the setup store
// fails some operations with their result alone (an allocation inside a table
// insertion among them).
enum class Report { message, resultSuffices };

// Runs `scenario` with allocation 1, 2, ... failing; returns the number of
// allocations a complete run takes.
long sweep(const std::function<Outcome()>& scenario, const std::function<void()>& cleanUp = {},
           Report report = Report::message) {
    resetErrors();
    Outcome reference = scenario();
    EXPECT_TRUE(reference.ok) << reference.digest;
    EXPECT_EQ(resetErrors(), 0);
    if (cleanUp) {
        cleanUp();
    }
    for (long n = 1; n < 100000; ++n) {
        ReportCapture reports;
        resetErrors();
        kvoSetAllocFailure(n);
        Outcome run = scenario();
        bool hit = kvoAllocFailureHit() != 0;
        kvoSetAllocFailure(0);
        int errors = resetErrors();
        if (cleanUp) {
            cleanUp();
        }
        if (!hit) {
            EXPECT_TRUE(run.ok) << "allocation " << n;
            EXPECT_EQ(run.digest, reference.digest) << "allocation " << n;
            return n - 1;
        }
        bool reported = errors > 0 || !reports.messages().empty() ||
                        (!run.ok && report == Report::resultSuffices);
        if (!run.ok || run.digest != reference.digest) {
            EXPECT_TRUE(reported) << "allocation " << n << " failed or lost data silently:\n"
                                  << run.digest;
        }
    }
    ADD_FAILURE() << "the scenario never completed";
    return -1;
}

void reportSites(const char* scenario, long sites) {
    std::printf("[  sites   ] %s: %ld allocations, each failed once\n", scenario, sites);
    testing::Test::RecordProperty(std::string("sites_") + scenario, static_cast<int>(sites));
    EXPECT_GT(sites, 0);
}

// A file with a header, every record type, continuation lines, a version-0
// record and an include of another file; a record large enough for a name
// index (without memory for it names are looked up the slow way, with the
// same results); a syntax error in a continued record.
struct ReadFiles {
    TempDir dir;
    std::string main, many, bad;
    ReadFiles() {
        std::string record = "many \\\n";
        for (int i = 0; i < 40; ++i) {
            record += ckptest::cat(" p", std::to_string(i), "=\"", std::to_string(i), "\" \\\n");
        }
        many = dir.write("many.ckpt", v1 + record + " x=\"last\"\nnext x=\"1\"\n");
        bad = dir.write("bad.ckpt", v1 + "a x=\"1\" \\\n y=\"unclosed\n");
        dir.write("inc.ckpt", v1 + "i1 x=\"1\" \\\n y=\"two words\"\n; note\n");
        main = dir.write("main.ckpt", v1 + "a x=\"1\" y=\"2\" \\\n z\n"
                                           "\"quoted path\" v=\"a\\\"b\"\n"
                                           "/c WRXc\n"
                                           "inc.ckpt WRXinc\n"
                                           "s WRXsd\n"
                                           "d p=\"q\" flag\n");
    }
};

// Reads a handle to the end, with every query on every record.
Outcome drainWithQueries(ckpInfo* info) {
    Outcome out;
    for (;;) {
        int got = ckpGets(info);
        int type = ckpGetType(info);
        out.digest += std::to_string(got) + ":" + std::to_string(type);
        if (got <= 0 || type == ckpTypeEnd) {
            out.ok = out.ok && got > 0 && type == ckpTypeEnd;
            break;
        }
        if (type == ckpTypeError || type == ckpTypeSyntax) {
            out.ok = false; // seen by the caller as a failure
        }
        char* name = nullptr;
        if (ckpGetName(info, 1, &name)) {
            out.digest += " in " + std::string(name).substr(std::string(name).rfind('/') + 1);
        }
        out.digest += ckptest::cat(" ", text(ckpGetObjPath(info)), " ",
                                   text(ckpGetConfigPath(info)), " ", text(ckpGetSubDir(info)));
        int id = 0;
        char* pname = nullptr;
        char* value = nullptr;
        while (ckpGenProp(info, &id, &pname, &value)) {
            out.digest += ckptest::cat(" ", text(pname), "=", text(value));
        }
        char* x = nullptr;
        out.digest += ckpGetProp(info, "x", &x) ? " x:" + text(x) : std::string(" -x");
        out.digest += "\n";
    }
    return out;
}

// Opens `path` for reading, runs `body` on the handle and closes it; a
// failed open or close fails the run.
Outcome onReader(const std::string& path, const std::function<Outcome(ckpInfo*)>& body) {
    ckpInfo* info = ckpOpen(path.c_str(), "R");
    if (!info) {
        return Outcome{false, ""};
    }
    Outcome out = body(info);
    out.ok = ckpClose(info) == 0 && out.ok;
    return out;
}

// To the object "d", back to the start and on to the config-path record,
// then past every record up to the next one: the end.
Outcome scanAndSkip(ckpInfo* info) {
    Outcome out;
    out.ok = ckpSetScan(info, 0, ckpTypeObject, "d") == 1 && ckpGets(info) == 1;
    out.digest = text(ckpGetObjPath(info));
    out.ok = out.ok && ckpSetScan(info, 1, ckpTypeConfigPath, nullptr) == 1 && ckpGets(info) == 1 &&
             ckpSetIgnore(info) == 1 && ckpGets(info) == 1;
    out.digest += ckptest::cat(" ", std::to_string(ckpGetType(info)));
    return out;
}

// The report of a syntax error, as the handler receives it.
Outcome syntaxReport(ckpInfo* info) {
    ReportCapture reports;
    while (ckpGets(info) == 1 && ckpGetType(info) != ckpTypeEnd) {
        if (ckpGetType(info) == ckpTypeError) {
            ckpSyntax(info);
        }
    }
    resetErrors(); // the syntax error itself counts
    return Outcome{true, reports.joined()};
}

TEST(AllocationSweep, Reading) {
    ReadFiles files;
    const struct {
        const char* name;
        const std::string& path;
        Outcome (*body)(ckpInfo*);
    } scenarios[] = {{"read", files.main, drainWithQueries},
                     {"many properties", files.many, drainWithQueries},
                     {"scan", files.main, scanAndSkip},
                     {"syntax report", files.bad, syntaxReport}};
    for (const auto& s : scenarios) {
        SCOPED_TRACE(s.name);
        reportSites(s.name, sweep([&] { return onReader(s.path, s.body); }));
    }
}

// Writes every kind of record.
Outcome writeAll(const std::string& path) {
    Outcome out;
    ckpInfo* w = ckpOpen(path.c_str(), "W");
    if (!w) {
        out.ok = false;
        return out;
    }
    auto step = [&](int result) { out.ok = out.ok && result == 1; };
    step(ckpCreateHdr(w));
    step(ckpPuts(w));
    step(ckpCreateObj(w, "lib/cell one"));
    step(ckpPutProp(w, "a", "1"));
    step(ckpPutProp(w, "b", "with \"quotes\" and \\"));
    step(ckpPutProp(w, "flag", nullptr));
    step(ckpPuts(w));
    step(ckpSetConfigPath(w, "/config"));
    step(ckpPuts(w));
    step(ckpSetSubDir(w, "sub"));
    step(ckpPuts(w));
    step(ckpRecord(w, "a comment", 1));
    step(ckpPuts(w));
    out.ok = ckpClose(w) == 0 && out.ok;
    out.digest = readFile(path);
    return out;
}

// Copies every record of `from` to `to`.
Outcome transfer(const std::string& from, const std::string& to) {
    Outcome out;
    ckpInfo* r = ckpOpen(from.c_str(), "R");
    ckpInfo* w = ckpOpen(to.c_str(), "W");
    out.ok = r && w;
    while (out.ok && ckpGets(r) == 1 && ckpGetType(r) != ckpTypeEnd) {
        out.ok = ckpGetType(r) != ckpTypeError && ckpGetType(r) != ckpTypeSyntax &&
                 ckpXfer(r, w) == 1 && ckpPuts(w) == 1;
    }
    ckpClose(r);
    out.ok = ckpClose(w) == 0 && out.ok;
    out.digest = readFile(to);
    return out;
}

TEST(AllocationSweep, WritingAndTransfer) {
    ReadFiles files;
    std::string path = files.dir.file("out.ckpt");
    auto remove = [&] { std::remove(path.c_str()); };
    reportSites("write", sweep([&] { return writeAll(path); }, remove));
    reportSites("transfer", sweep([&] { return transfer(files.main, path); }, remove));
}

// The entries and properties of a setup, in order.
std::string setupDigest(const char* name) {
    std::string digest;
    kvoStrlist* entries = ckpSetupGetEntryList(name);
    if (!entries) {
        return "(failed)";
    }
    for (kvoStrlist* e = entries; *e; ++e) {
        digest += std::string(*e) + ":";
        digest += ckptest::setupProps(name, *e);
        digest += "\n";
    }
    kvoFreeStrlist(entries);
    return digest;
}

const std::string setupBytes = v1 + "; a team setup\n"
                                    "alpha entrytype=\"cell\" owner=\"ann\" locked\n"
                                    "beta entrytype=\"view\" owner=\"bob\" \\\n note=\"two\"\n"
                                    "Gamma entrytype=\"cell\"\n";

// A setup loaded and queried; one made, edited and saved over an old file,
// which a failed save leaves as it was.
Outcome loadAndQuery(const std::string& path) {
    Outcome out;
    out.ok = ckpSetupLoad(path.c_str()) == 1;
    if (!out.ok) {
        EXPECT_EQ(ckpSetupGetEntry(path.c_str(), "alpha"), 0) << "a failed load left it";
        return out;
    }
    out.digest = setupDigest(path.c_str());
    char* value = nullptr;
    out.ok = out.digest.find("(failed)") == std::string::npos &&
             ckpSetupGetProp(path.c_str(), "beta", "note", &value) == 1;
    out.digest += text(value);
    kvoFree(value);
    return out;
}

Outcome editAndSave(const char* name, const std::string& path) {
    Outcome out;
    auto step = [&](int result) { out.ok = out.ok && result == 1; };
    step(ckpSetupCreate(name));
    step(ckpSetupCreateEntry(name, "one", "cell"));
    step(ckpSetupCreateEntry(name, "Two", nullptr));
    step(ckpSetupSetProp(name, "one", "owner", "ann"));
    step(ckpSetupSetProp(name, "one", "locked", nullptr));
    step(ckpSetupSetProp(name, "Two", "owner", "bob"));
    step(ckpSetupDelProp(name, "Two", "owner"));
    int saved = ckpSetupSave(name, path.c_str());
    step(saved);
    out.digest = readFile(path);
    if (saved != 1) {
        EXPECT_EQ(out.digest, "old bytes\n") << "a failed save changed the file";
    }
    return out;
}

TEST(AllocationSweep, Setups) {
    TempDir dir;
    std::string team = dir.write("team.setup", setupBytes);
    // A failed load leaves nothing behind; a good one is cleared.
    reportSites("setup load", sweep([&] { return loadAndQuery(team); },
                                    [&] { ckpSetupClear(team.c_str()); }, Report::resultSuffices));
    std::string path = dir.write("edit.setup", "old bytes\n");
    const char* name = "sweep-edit";
    reportSites("setup edit and save", sweep([&] { return editAndSave(name, path); },
                                             [&] {
                                                 ckpSetupClear(name);
                                                 dir.write("edit.setup", "old bytes\n");
                                             },
                                             Report::resultSuffices));
}

} // namespace
