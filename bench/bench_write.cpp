// Writing: the records of a record file through ckpCreateObj, ckpPutProp and
// ckpPuts, against one fwrite of the bytes the writer must produce and
// against a hand-written stdio writer of the same bytes.
#include <ckp/ckp.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>

#include "harness.hpp"

namespace bench {
namespace {

// The records of a record file, and their canonical spelling, made once.
struct Workload {
    RecordSet set;
    std::string canonical;
};

const Workload* workload(const std::string& tag) {
    static std::map<std::string, std::unique_ptr<Workload>> cache;
    auto it = cache.find(tag);
    if (it != cache.end())
        return it->second.get();
    Counts want;
    if (!expectedCounts(tag, want))
        return nullptr;
    auto w = std::make_unique<Workload>();
    RecordStream stream(kRecordSeed);
    for (std::uint64_t r = 0; r < want.records; ++r)
        stream.next(w->set);
    w->canonical = kHeaderLine;
    for (std::size_t r = 0; r < w->set.records.size(); ++r)
        appendCanonical(w->set, r, w->canonical);
    return (cache[tag] = std::move(w)).get();
}

bool ckpWriteAll(const RecordSet& set, const std::string& path, std::string& error) {
    ckpInfo* out = ckpOpen(path.c_str(), "W");
    if (!out) {
        error = std::string("ckpOpen W: ") + ckpGetError();
        return false;
    }
    bool ok = ckpCreateHdr(out) && ckpPuts(out);
    for (std::size_t r = 0; ok && r < set.records.size(); ++r) {
        const RecordSet::Record& rec = set.records[r];
        ok = ckpCreateObj(out, set.str(rec.path));
        for (std::uint32_t i = 0; ok && i < rec.propCount; ++i) {
            const RecordSet::Prop& prop = set.props[rec.firstProp + i];
            ok = ckpPutProp(out, set.str(prop.name),
                            prop.value == RecordSet::kNoValue ? nullptr : set.str(prop.value));
        }
        ok = ok && ckpPuts(out);
    }
    if (!ok)
        error = std::string("writing: ") + ckpGetError();
    if (ckpClose(out) != 0 && ok) {
        error = std::string("ckpClose: ") + ckpGetError();
        ok = false;
    }
    return ok;
}

void compareOutput(const std::string& what, const std::string& path, const std::string& expected) {
    std::string got;
    if (!readWholeFile(path, got)) {
        note(what + ": cannot read its output back");
        return;
    }
    if (got == expected)
        return;
    std::size_t at = 0;
    while (at < got.size() && at < expected.size() && got[at] == expected[at])
        ++at;
    std::size_t lineStart = expected.rfind('\n', at == 0 ? 0 : at - 1);
    lineStart = lineStart == std::string::npos ? 0 : lineStart + 1;
    std::size_t lineEnd = expected.find('\n', at);
    std::size_t gotEnd = got.find('\n', lineStart);
    note(what + ": output differs from the canonical bytes at offset " + std::to_string(at) +
         " (sizes " + std::to_string(got.size()) + " and " + std::to_string(expected.size()) +
         "); expected line: " + expected.substr(lineStart, lineEnd - lineStart) + " | written: " +
         (lineStart < got.size() ? got.substr(lineStart, gotEnd - lineStart) : std::string()));
}

void writeCkp(benchmark::State& state, std::string tag) {
    const Workload* w = workload(tag);
    std::string path = outPath("write-" + tag + ".Ckpt");
    if (!w) {
        state.SkipWithError("no record counts: run ckp_bench_gen");
        return;
    }
    bool ran = false;
    for (auto _ : state) {
        std::string error;
        if (!ckpWriteAll(w->set, path, error)) {
            state.SkipWithError(error.c_str());
            break;
        }
        ran = true;
    }
    auto bytes = static_cast<double>(w->canonical.size());
    state.SetBytesProcessed(static_cast<int64_t>(bytes) * state.iterations());
    state.counters["bytes"] = bytes;
    if (ran)
        compareOutput("write/ckp/" + tag, path, w->canonical);
}

// What a caller would write by hand with stdio for the same bytes: fprintf
// for the plain parts, putc where a character needs a backslash.
void putEscaped(std::FILE* f, const char* text, const char* special) {
    for (const char* p = text; *p; ++p) {
        if (std::strchr(special, *p))
            std::putc('\\', f);
        std::putc(*p, f);
    }
}

bool stdioWriteAll(const RecordSet& set, const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "w");
    if (!f)
        return false;
    std::fputs(kHeaderLine, f);
    for (const RecordSet::Record& rec : set.records) {
        const char* p = set.str(rec.path);
        if (std::strpbrk(p, " \t\v")) {
            std::putc('"', f);
            putEscaped(f, p, "\"");
            std::putc('"', f);
        } else {
            std::fputs(p, f);
        }
        for (std::uint32_t i = 0; i < rec.propCount; ++i) {
            const RecordSet::Prop& prop = set.props[rec.firstProp + i];
            const char* name = set.str(prop.name);
            if (prop.value == RecordSet::kNoValue) {
                std::fprintf(f, " %s", name);
                continue;
            }
            const char* value = set.str(prop.value);
            if (!std::strpbrk(value, "\";")) {
                std::fprintf(f, " %s=\"%s\"", name, value);
                continue;
            }
            std::fprintf(f, " %s=\"", name);
            putEscaped(f, value, "\";");
            std::putc('"', f);
        }
        std::putc('\n', f);
    }
    return std::fclose(f) == 0;
}

void writeStdio(benchmark::State& state, std::string tag) {
    const Workload* w = workload(tag);
    std::string path = outPath("write-stdio-" + tag + ".Ckpt");
    if (!w) {
        state.SkipWithError("no record counts: run ckp_bench_gen");
        return;
    }
    bool ran = false;
    for (auto _ : state) {
        if (!stdioWriteAll(w->set, path)) {
            state.SkipWithError("stdio write failed");
            break;
        }
        ran = true;
    }
    auto bytes = static_cast<double>(w->canonical.size());
    state.SetBytesProcessed(static_cast<int64_t>(bytes) * state.iterations());
    state.counters["bytes"] = bytes;
    if (ran)
        compareOutput("write/stdio/" + tag, path, w->canonical);
}

void writeFwrite(benchmark::State& state, std::string tag) {
    const Workload* w = workload(tag);
    std::string path = outPath("write-" + tag + ".Ckpt");
    if (!w) {
        state.SkipWithError("no record counts: run ckp_bench_gen");
        return;
    }
    for (auto _ : state) {
        std::FILE* f = std::fopen(path.c_str(), "w");
        if (!f ||
            std::fwrite(w->canonical.data(), 1, w->canonical.size(), f) != w->canonical.size()) {
            if (f)
                std::fclose(f);
            state.SkipWithError("fwrite failed");
            break;
        }
        std::fclose(f);
    }
    auto bytes = static_cast<double>(w->canonical.size());
    state.SetBytesProcessed(static_cast<int64_t>(bytes) * state.iterations());
    state.counters["bytes"] = bytes;
}

} // namespace

void registerWrite() {
    for (const char* tag : {"10M", "100M"}) {
        std::string t = tag;
        Counts want;
        if (!expectedCounts(t, want))
            continue;
        int n = reps(t == "10M" ? 7 : 3);
        using Fn = void (*)(benchmark::State&, std::string);
        const std::pair<std::string, Fn> family[] = {
            {"write/fwrite/", writeFwrite}, {"write/stdio/", writeStdio}, {"write/ckp/", writeCkp}};
        for (const auto& [name, fn] : family) {
            benchmark::RegisterBenchmark((name + t).c_str(), fn, t)
                ->Unit(benchmark::kMillisecond)
                ->MeasureProcessCPUTime()
                ->Iterations(1)
                ->Repetitions(n);
        }
    }
}

} // namespace bench
