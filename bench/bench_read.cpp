// Reading: the ckp record loop against a bare fgets loop over the same file
// and against inih over an INI file of the same information; and the copy
// of a file through ckpXfer against a fgets/fputs copy.
#include <ckp/ckp.h>
#include <ini.h>

#include <cstdio>
#include <string>

#include "harness.hpp"

namespace bench {
namespace {

struct ReadStats {
    Counts counts;
    std::uint64_t syntax = 0;
    std::uint64_t other = 0; // records of a type no input holds
    unsigned long sum = 0;   // touches every byte handed out
    bool failed = false;
    std::string error;
};

// The loop every caller writes: each record, its path and every property.
ReadStats ckpReadAll(const std::string& path) {
    ReadStats st;
    ckpInfo* info = ckpOpen(path.c_str(), "R");
    if (!info) {
        st.failed = true;
        st.error = std::string("ckpOpen: ") + ckpGetError();
        return st;
    }
    while (ckpGets(info)) {
        int type = ckpGetType(info);
        if (type == ckpTypeEnd)
            break;
        if (type == ckpTypeError) {
            st.failed = true;
            st.error = std::string("ckpGets: ") + ckpGetError();
            break;
        }
        if (type == ckpTypeComment) {
            ++st.counts.comments;
            continue;
        }
        if (type == ckpTypeSyntax) {
            ++st.syntax;
            continue;
        }
        if (type == ckpTypeHeader)
            continue;
        if (type != ckpTypeObject) {
            ++st.other;
            continue;
        }
        ++st.counts.records;
        const char* objPath = ckpGetObjPath(info);
        if (objPath)
            st.sum += static_cast<unsigned char>(objPath[0]);
        int id = 0;
        char* name = nullptr;
        char* value = nullptr;
        while (ckpGenProp(info, &id, &name, &value)) {
            ++st.counts.props;
            st.sum += static_cast<unsigned char>(name[0]);
            if (value)
                st.sum += static_cast<unsigned char>(value[0]);
            else
                ++st.counts.flags;
        }
    }
    ckpClose(info);
    return st;
}

std::string describe(const Counts& c) {
    return std::to_string(c.records) + " records, " + std::to_string(c.props) + " properties (" +
           std::to_string(c.flags) + " flags), " + std::to_string(c.comments) + " comment lines";
}

// Compares what a read found with what the generator wrote.
void checkRead(const std::string& what, const ReadStats& st, const Counts& want,
               bool withComments) {
    if (st.failed) {
        note(what + ": " + st.error);
        return;
    }
    bool same = st.counts.records == want.records && st.counts.props == want.props &&
                st.counts.flags == want.flags &&
                (!withComments || st.counts.comments == want.comments);
    if (!same)
        note(what + ": read " + describe(st.counts) + "; the input holds " + describe(want));
    if (st.syntax)
        note(what + ": " + std::to_string(st.syntax) + " records read as syntax errors");
    if (st.other)
        note(what + ": " + std::to_string(st.other) + " records of unexpected types");
}

void readCkp(benchmark::State& state, std::string tag) {
    std::string path = dataPath("records-" + tag + ".Ckpt");
    double bytes = static_cast<double>(fileSize(path));
    Counts want;
    bool haveWant = expectedCounts(tag, want);
    ckpGetNumError();
    for (auto _ : state) {
        ReadStats st = ckpReadAll(path);
        benchmark::DoNotOptimize(st.sum);
        if (st.failed) {
            state.SkipWithError(st.error.c_str());
            break;
        }
        if (haveWant)
            checkRead("read/ckp/" + tag, st, want, true);
    }
    if (int errors = ckpGetNumError())
        note("read/ckp/" + tag + ": " + std::to_string(errors) +
             " library messages, the last: " + ckpGetError());
    state.SetBytesProcessed(static_cast<int64_t>(bytes) * state.iterations());
    state.counters["bytes"] = bytes;
}

// The limit for any line-by-line reader: every physical line through fgets
// into a buffer the size of a record line.
void readFgets(benchmark::State& state, std::string tag) {
    std::string path = dataPath("records-" + tag + ".Ckpt");
    double bytes = static_cast<double>(fileSize(path));
    for (auto _ : state) {
        std::FILE* f = std::fopen(path.c_str(), "r");
        if (!f) {
            state.SkipWithError("cannot open the input");
            break;
        }
        char line[512];
        unsigned long sum = 0;
        while (std::fgets(line, sizeof line, f))
            sum += static_cast<unsigned char>(line[0]);
        std::fclose(f);
        benchmark::DoNotOptimize(sum);
    }
    state.SetBytesProcessed(static_cast<int64_t>(bytes) * state.iterations());
    state.counters["bytes"] = bytes;
}

int iniHandler(void* user, const char* section, const char* name, const char* value) {
    auto* st = static_cast<ReadStats*>(user);
    ++st->counts.props;
    st->sum += static_cast<unsigned char>(section[0]) + static_cast<unsigned char>(name[0]) +
               static_cast<unsigned char>(value[0]);
    if (!value[0])
        ++st->counts.flags;
    return 1;
}

void readInih(benchmark::State& state, std::string tag) {
    std::string path = dataPath("records-" + tag + ".ini");
    double bytes = static_cast<double>(fileSize(path));
    Counts want;
    bool haveWant = expectedCounts(tag, want);
    for (auto _ : state) {
        ReadStats st;
        int rc = ini_parse(path.c_str(), iniHandler, &st);
        benchmark::DoNotOptimize(st.sum);
        if (rc != 0) {
            state.SkipWithError(("ini_parse failed at line " + std::to_string(rc)).c_str());
            break;
        }
        // INI writes a flag as an empty value, so flags and empty values
        // count alike here; the property count must match.
        if (haveWant && st.counts.props != want.props)
            note("read/inih/" + tag + ": " + std::to_string(st.counts.props) +
                 " properties, the input holds " + std::to_string(want.props));
    }
    state.SetBytesProcessed(static_cast<int64_t>(bytes) * state.iterations());
    state.counters["bytes"] = bytes;
}

// Copies every record but the end marker: header, comments and objects.
bool ckpCopy(const std::string& from, const std::string& to, std::string& error) {
    ckpInfo* in = ckpOpen(from.c_str(), "R");
    if (!in) {
        error = std::string("ckpOpen R: ") + ckpGetError();
        return false;
    }
    ckpInfo* out = ckpOpen(to.c_str(), "W");
    if (!out) {
        error = std::string("ckpOpen W: ") + ckpGetError();
        ckpClose(in);
        return false;
    }
    bool ok = true;
    while (ok && ckpGets(in)) {
        int type = ckpGetType(in);
        if (type == ckpTypeEnd)
            break;
        if (type == ckpTypeError) {
            error = std::string("ckpGets: ") + ckpGetError();
            ok = false;
        } else if (type != ckpTypeSyntax) {
            if (!ckpXfer(in, out) || !ckpPuts(out)) {
                error = std::string("ckpXfer/ckpPuts: ") + ckpGetError();
                ok = false;
            }
        }
    }
    if (ckpClose(out) != 0 && ok) {
        error = std::string("ckpClose: ") + ckpGetError();
        ok = false;
    }
    ckpClose(in);
    return ok;
}

void transferCkp(benchmark::State& state, std::string tag) {
    std::string from = dataPath("records-" + tag + ".Ckpt");
    std::string to = outPath("transfer-" + tag + ".Ckpt");
    double bytes = static_cast<double>(fileSize(from));
    bool ran = false;
    for (auto _ : state) {
        std::string error;
        if (!ckpCopy(from, to, error)) {
            state.SkipWithError(error.c_str());
            break;
        }
        ran = true;
    }
    state.SetBytesProcessed(static_cast<int64_t>(bytes) * state.iterations());
    state.counters["bytes"] = bytes;
    Counts want;
    if (ran && expectedCounts(tag, want)) {
        // The copy must carry the same records and properties; comments too.
        checkRead("transfer/ckp/" + tag + " (its output read back)", ckpReadAll(to), want, true);
    }
}

void transferStdio(benchmark::State& state, std::string tag) {
    std::string from = dataPath("records-" + tag + ".Ckpt");
    std::string to = outPath("transfer-" + tag + ".Ckpt");
    double bytes = static_cast<double>(fileSize(from));
    for (auto _ : state) {
        std::FILE* in = std::fopen(from.c_str(), "r");
        std::FILE* out = in ? std::fopen(to.c_str(), "w") : nullptr;
        if (!out) {
            if (in)
                std::fclose(in);
            state.SkipWithError("cannot open the files");
            break;
        }
        char line[512];
        while (std::fgets(line, sizeof line, in))
            std::fputs(line, out);
        std::fclose(out);
        std::fclose(in);
    }
    state.SetBytesProcessed(static_cast<int64_t>(bytes) * state.iterations());
    state.counters["bytes"] = bytes;
}

// One record of a million properties against a million records of one
// property each: the per-property cost must not depend on the record size.
void readScale(benchmark::State& state, std::string tag) {
    std::string path = dataPath(tag + "-1M.Ckpt");
    double bytes = static_cast<double>(fileSize(path));
    for (auto _ : state) {
        ReadStats st = ckpReadAll(path);
        benchmark::DoNotOptimize(st.sum);
        if (st.failed) {
            state.SkipWithError(st.error.c_str());
            break;
        }
        if (st.counts.props != 1000000 || st.syntax != 0)
            note("read/" + tag + "/1M: read " + describe(st.counts) + ", " +
                 std::to_string(st.syntax) + " syntax errors; the input holds 1000000 properties");
    }
    state.SetBytesProcessed(static_cast<int64_t>(bytes) * state.iterations());
    state.counters["bytes"] = bytes;
}

void add(const std::string& name, void (*fn)(benchmark::State&, std::string),
         const std::string& tag, int repetitions) {
    benchmark::RegisterBenchmark(name.c_str(), fn, tag)
        ->Unit(benchmark::kMillisecond)
        ->MeasureProcessCPUTime()
        ->Iterations(1)
        ->Repetitions(repetitions);
}

} // namespace

void registerRead() {
    for (const char* tag : {"10M", "100M"}) {
        std::string t = tag;
        if (!haveInput("records-" + t + ".Ckpt")) {
            note("records-" + t + ".Ckpt is missing: run ckp_bench_gen");
            continue;
        }
        int n = reps(t == "10M" ? 7 : 3);
        add("read/fgets/" + t, readFgets, t, n);
        add("read/ckp/" + t, readCkp, t, n);
        add("read/inih/" + t, readInih, t, n);
    }
}

void registerScale() {
    if (!haveInput("wide-1M.Ckpt") || !haveInput("narrow-1M.Ckpt")) {
        note("wide-1M.Ckpt or narrow-1M.Ckpt is missing: run ckp_bench_gen");
        return;
    }
    add("read/narrow/1M", readScale, "narrow", reps(3));
    add("read/wide/1M", readScale, "wide", reps(3));
}

void registerTransfer() {
    if (!haveInput("records-100M.Ckpt"))
        return;
    add("transfer/stdio/100M", transferStdio, "100M", reps(3));
    add("transfer/ckp/100M", transferCkp, "100M", reps(3));
}

} // namespace bench
