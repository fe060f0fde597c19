// ckp_bench: the library's throughput against the physical limit (bare stdio
// over the same bytes) and against a peer (inih over the same information).
//
//   ckp_bench --data=DIR [--tool=PATH] [--reps=N] [--setup-limit=SECONDS]
//             [Google Benchmark flags, e.g. --benchmark_filter=read]
//
// Every benchmark reports bytes per second; the ratios are computed from the
// medians of the repetitions of this one run and printed after the last
// benchmark. Times are process CPU time (user + system), which the other
// work on a shared machine disturbs less than elapsed time; elapsed-time
// ratios are printed beside them.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include <ckp/kvo.h>
#include <sys/stat.h>
#include <unistd.h>

#include "harness.hpp"

namespace bench {
namespace {

Options gOptions;

struct Samples {
    std::vector<double> cpu, wall, bytes;
    std::map<std::string, std::vector<double>> counters;
    bool failed = false;
    std::string message;
};
std::map<std::string, Samples> gSamples;
std::map<std::string, Result> gStored;
std::map<std::string, Result> gMedians;
std::vector<std::string> gNotes;

double median(std::vector<double> v) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        std::vector<Run> shown;
        for (const Run& run : runs) {
            bool single = run.repetitions <= 1;
            if (run.run_type == Run::RT_Iteration) {
                collect(run);
                if (single)
                    shown.push_back(run);
            } else if (run.aggregate_name == "median" || run.aggregate_name == "cv") {
                shown.push_back(run);
            }
        }
        if (!shown.empty())
            ConsoleReporter::ReportRuns(shown);
    }

  private:
    static void collect(const Run& run) {
        Samples& s = gSamples[run.run_name.function_name];
        gMedians.erase(run.run_name.function_name);
        if (run.error_occurred) {
            s.failed = true;
            s.message = run.error_message;
            return;
        }
        double iters = run.iterations > 0 ? static_cast<double>(run.iterations) : 1;
        s.wall.push_back(run.real_accumulated_time / iters);
        auto child = run.counters.find("child_cpu");
        s.cpu.push_back(child != run.counters.end() ? child->second.value
                                                    : run.cpu_accumulated_time / iters);
        for (const auto& [name, counter] : run.counters)
            s.counters[name].push_back(counter.value);
        auto bytes = run.counters.find("bytes");
        s.bytes.push_back(bytes != run.counters.end() ? bytes->second.value : 0);
    }
};

// ---- The table of ratios -------------------------------------------------

enum class Kind {
    Speed,    // time(b) / time(a): how many times as fast a is as b
    PerEntry, // (time(a) / entries(a)) / (time(b) / entries(b))
    Peak      // the peak_ratio counter of a
};

struct Row {
    const char* label;
    std::string a, b;
    Kind kind;
    double goal;  // 0: no goal
    bool atLeast; // the goal is a lower bound (else an upper one)
    const char* goalText;
};

std::string fmt(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.2f", v);
    return buf;
}

std::string missing(const std::string& name) {
    const Result* r = result(name);
    if (!r)
        return name + " did not run";
    if (r->failed)
        return name + ": " + r->message;
    return "";
}

void printRatios() {
    const bool haveTool = !options().tool.empty();
    const std::vector<Row> rows = {
        {"read 10M: ckp vs fgets loop", "read/ckp/10M", "read/fgets/10M", Kind::Speed, 0.5, true,
         ">= 0.50"},
        {"read 100M: ckp vs fgets loop", "read/ckp/100M", "read/fgets/100M", Kind::Speed, 0.5, true,
         ">= 0.50"},
        {"read 10M: API / tokenizer alone, same input", "read/tokenizer/10M", "read/ckp/10M",
         Kind::Speed, 1.25, false, "<= 1.25"},
        {"read 100M: API / tokenizer alone, same input", "read/tokenizer/100M", "read/ckp/100M",
         Kind::Speed, 1.25, false, "<= 1.25"},
        {"read 10M: tokenizer alone vs fgets loop", "read/tokenizer/10M", "read/fgets/10M",
         Kind::Speed, 0, true, ""},
        {"read 10M: ckp vs inih, same information", "read/ckp/10M", "read/inih/10M", Kind::Speed,
         1.0, true, "> 1.00"},
        {"read 100M: ckp vs inih, same information", "read/ckp/100M", "read/inih/100M", Kind::Speed,
         1.0, true, "> 1.00"},
        {"write 10M: ckp vs hand-written stdio", "write/ckp/10M", "write/stdio/10M", Kind::Speed,
         1.0, true, ">= 1.00"},
        {"write 100M: ckp vs hand-written stdio", "write/ckp/100M", "write/stdio/100M", Kind::Speed,
         1.0, true, ">= 1.00"},
        {"write 10M: ckp vs one fwrite", "write/ckp/10M", "write/fwrite/10M", Kind::Speed, 0.7,
         true, ">= 0.70"},
        {"write 100M: ckp vs one fwrite", "write/ckp/100M", "write/fwrite/100M", Kind::Speed, 0.7,
         true, ">= 0.70"},
        {"transfer 100M: ckp vs fgets+fputs copy", "transfer/ckp/100M", "transfer/stdio/100M",
         Kind::Speed, 0, true, ""},
        {"1M props in 1 record: time / 1M records", "read/narrow/1M", "read/wide/1M", Kind::Speed,
         1.5, false, "<= 1.50"},
        {"setup load 1M, reverse order: time / sorted", "setup/load/1M", "setup/load/1M-rev",
         Kind::Speed, 1.5, false, "<= 1.50"},
        {"setup load: per-entry cost 100k / 10k", "setup/load/100k", "setup/load/10k",
         Kind::PerEntry, 1.5, false, "<= 1.50"},
        {"setup load: per-entry cost 1M / 10k", "setup/load/1M", "setup/load/10k", Kind::PerEntry,
         1.5, false, "<= 1.50"},
        {"setup save: per-entry cost 100k / 10k", "setup/save/100k", "setup/save/10k",
         Kind::PerEntry, 1.5, false, "<= 1.50"},
        {"setup save: per-entry cost 1M / 10k", "setup/save/1M", "setup/save/10k", Kind::PerEntry,
         1.5, false, "<= 1.50"},
        {"setup save 10k: ckp vs fwrite", "setup/save/10k", "setup/fwrite/10k", Kind::Speed, 0,
         true, ""},
        {"setup save 100k: ckp vs fwrite", "setup/save/100k", "setup/fwrite/100k", Kind::Speed, 0,
         true, ""},
        {"setup save 1M: ckp vs fwrite", "setup/save/1M", "setup/fwrite/1M", Kind::Speed, 0, true,
         ""},
        {"setup load 10k: peak memory / file size", "setup/peak/10k", "", Kind::Peak, 3, false,
         "<= 3.00"},
        {"setup load 100k: peak memory / file size", "setup/peak/100k", "", Kind::Peak, 3, false,
         "<= 3.00"},
        {"setup load 1M: peak memory / file size", "setup/peak/1M", "", Kind::Peak, 3, false,
         "<= 3.00"},
        {"ckp setup get 1M: time / ckp check (process)", "setup/check/1M", "setup/get/1M",
         Kind::Speed, 1.5, false, "<= 1.50"},
        {"ckp setup set 1M: time / ckp check (process)", "setup/check/1M", "setup/set/1M",
         Kind::Speed, 3, false, "<= 3.00"},
        {"ckp check 1M setup: peak memory / file size", "setup/check/1M", "", Kind::Peak, 0, false,
         ""},
        {"ckp setup get 1M: peak memory / file size", "setup/get/1M", "", Kind::Peak, 0, false, ""},
        {"ckp setup set 1M: peak memory / file size", "setup/set/1M", "", Kind::Peak, 1, false,
         "<= 1.00"},
        {"ckp check 100M (process) vs fgets loop", "check/ckp/100M", "read/fgets/100M", Kind::Speed,
         0, true, ""},
        {"ckp check 100M (process) vs ckp read", "check/ckp/100M", "read/ckp/100M", Kind::Speed, 0,
         true, ""},
        {"ckp json 100M: time / ckp check (process)", "check/ckp/100M", "json/ckp/100M",
         Kind::Speed, 2, false, "<= 2.00"},
        {"ckp json setup-1M: time / ckp check", "check/ckp/setup-1M", "json/ckp/setup-1M",
         Kind::Speed, 2, false, "<= 2.00"},
        {"ckp fmt 100M: time / ckp check (process)", "check/ckp/100M", "fmt/ckp/100M", Kind::Speed,
         2, false, "<= 2.00"},
        {"ckp fmt setup 1M: time / ckp check (process)", "check/ckp/setup-1M", "fmt/ckp/setup-1M",
         Kind::Speed, 2, false, "<= 2.00"},
    };

    std::printf("\n%-44s %10s %10s  %-8s %s\n", "ratio (median of repetitions)", "cpu", "wall",
                "goal", "");
    std::printf("%s\n", std::string(90, '-').c_str());
    for (const Row& row : rows) {
        if (!haveTool && (row.a.rfind("check/", 0) == 0 || row.b.rfind("json/", 0) == 0)) {
            std::printf("%-44s %10s %10s  %-8s skipped: the ckp command is not built\n", row.label,
                        "-", "-", row.goalText);
            continue;
        }
        std::string why = missing(row.a);
        if (why.empty() && !row.b.empty())
            why = missing(row.b);
        if (!why.empty()) {
            std::printf("%-44s %10s %10s  %-8s %s\n", row.label, "-", "-", row.goalText,
                        why.c_str());
            continue;
        }
        const Result& a = *result(row.a);
        double cpu = 0, wall = 0;
        if (row.kind == Kind::Speed) {
            const Result& b = *result(row.b);
            cpu = b.cpu / a.cpu;
            wall = b.wall / a.wall;
        } else if (row.kind == Kind::PerEntry) {
            const Result& b = *result(row.b);
            double na = a.counters.count("entries") ? a.counters.at("entries") : 0;
            double nb = b.counters.count("entries") ? b.counters.at("entries") : 0;
            if (na <= 0 || nb <= 0) {
                std::printf("%-44s %10s %10s  %-8s no entry count\n", row.label, "-", "-",
                            row.goalText);
                continue;
            }
            cpu = (a.cpu / na) / (b.cpu / nb);
            wall = (a.wall / na) / (b.wall / nb);
        } else {
            cpu = wall = a.counters.count("peak_ratio") ? a.counters.at("peak_ratio") : NAN;
        }
        const char* verdict = "";
        if (row.goal > 0) {
            // A goal written "> x" is strict; ">= x" and "<= x" are not.
            bool strict = row.goalText[0] == '>' && row.goalText[1] != '=';
            bool met = row.atLeast ? (strict ? cpu > row.goal : cpu >= row.goal) : cpu <= row.goal;
            verdict = met ? "met" : "NOT MET";
        }
        std::printf("%-44s %10s %10s  %-8s %s\n", row.label, fmt(cpu).c_str(),
                    row.kind == Kind::Peak ? "" : fmt(wall).c_str(), row.goalText, verdict);
    }

    std::printf("\n%-28s %12s %12s %14s\n", "benchmark (median)", "cpu MB/s", "wall MB/s",
                "per entry");
    std::printf("%s\n", std::string(70, '-').c_str());
    for (const auto& [name, samples] : gSamples) {
        const Result* r = result(name);
        if (!r || r->failed || r->bytes <= 0)
            continue;
        std::string perEntry;
        auto entries = r->counters.find("entries");
        if (entries != r->counters.end() && entries->second > 0)
            perEntry = fmt(r->cpu / entries->second * 1e9) + " ns";
        std::printf("%-28s %12.1f %12.1f %14s\n", name.c_str(), r->bytes / r->cpu / 1e6,
                    r->bytes / r->wall / 1e6, perEntry.c_str());
    }

    if (!gNotes.empty()) {
        std::printf("\nnotes:\n");
        for (const std::string& n : gNotes)
            std::printf("  - %s\n", n.c_str());
    }
}

bool takeOption(const char* arg, const char* name, std::string& value) {
    std::size_t n = std::strlen(name);
    if (std::strncmp(arg, name, n) != 0 || arg[n] != '=')
        return false;
    value = arg + n + 1;
    return true;
}

} // namespace

const Options& options() {
    return gOptions;
}

const Result* result(const std::string& name) {
    auto stored = gStored.find(name);
    if (stored != gStored.end())
        return &stored->second;
    auto cached = gMedians.find(name);
    if (cached != gMedians.end())
        return &cached->second;
    auto it = gSamples.find(name);
    if (it == gSamples.end())
        return nullptr;
    const Samples& s = it->second;
    Result r;
    r.failed = s.failed || s.cpu.empty();
    r.message = s.failed ? s.message : "no measurement";
    r.cpu = median(s.cpu);
    r.wall = median(s.wall);
    r.bytes = median(s.bytes);
    for (const auto& [counter, values] : s.counters)
        r.counters[counter] = median(values);
    return &(gMedians[name] = r);
}

void storeResult(const std::string& name, const Result& r) {
    gStored[name] = r;
}

void note(const std::string& text) {
    if (std::find(gNotes.begin(), gNotes.end(), text) == gNotes.end())
        gNotes.push_back(text);
}

const std::vector<std::string>& notes() {
    return gNotes;
}

std::string dataPath(const std::string& file) {
    return gOptions.dataDir + "/" + file;
}
std::string outPath(const std::string& file) {
    return gOptions.dataDir + "/out/" + file;
}
bool haveInput(const std::string& file) {
    return fileSize(dataPath(file)) > 0;
}

bool expectedCounts(const std::string& tag, Counts& counts) {
    std::FILE* f = std::fopen(dataPath("records-" + tag + ".counts").c_str(), "r");
    if (!f)
        return false;
    unsigned long long r, p, fl, c;
    bool ok = std::fscanf(f, "%llu %llu %llu %llu", &r, &p, &fl, &c) == 4;
    std::fclose(f);
    if (ok)
        counts = {r, p, fl, c};
    return ok;
}

int reps(int fallback) {
    return gOptions.reps > 0 ? gOptions.reps : fallback;
}

} // namespace bench

int main(int argc, char** argv) {
    std::vector<char*> rest;
    rest.push_back(argv[0]);
    std::string value;
    if (argc > 2 && std::strcmp(argv[1], "--peak-run") == 0)
        return bench::peakRunChild(argv + 2);
    for (int i = 1; i < argc; ++i) {
        if (bench::takeOption(argv[i], "--peak-load", value))
            return bench::peakLoadChild(value.c_str());
        if (bench::takeOption(argv[i], "--data", value)) {
            bench::gOptions.dataDir = value;
        } else if (bench::takeOption(argv[i], "--tool", value)) {
            bench::gOptions.tool = value;
        } else if (bench::takeOption(argv[i], "--reps", value)) {
            bench::gOptions.reps = std::atoi(value.c_str());
        } else if (bench::takeOption(argv[i], "--setup-limit", value)) {
            bench::gOptions.setupLimit = std::atof(value.c_str());
        } else {
            rest.push_back(argv[i]);
        }
    }
    if (bench::gOptions.dataDir.empty()) {
        std::fprintf(stderr,
                     "usage: %s --data=DIR [--tool=PATH] [--reps=N] [--setup-limit=SECONDS] "
                     "[benchmark flags]\n"
                     "DIR holds the inputs that ckp_bench_gen writes.\n",
                     argv[0]);
        return 2;
    }
    // The outputs go beside the inputs, in a folder of their own.
    std::string out = bench::gOptions.dataDir + "/out";
    if (mkdir(out.c_str(), 0777) != 0 && errno != EEXIST) {
        std::fprintf(stderr, "%s: %s: %s\n", argv[0], out.c_str(), std::strerror(errno));
        return 2;
    }
    if (!bench::gOptions.tool.empty() && access(bench::gOptions.tool.c_str(), X_OK) != 0)
        bench::gOptions.tool.clear();
    // Messages of the library (a setup load's reports) become notes instead
    // of flooding the table.
    kvoSetReportHandler(
        [](const char* text, void*) {
            static int seen = 0;
            if (++seen <= 10)
                bench::note(std::string("library report: ") + text);
            return 1;
        },
        nullptr);
    bench::registerRead();
    bench::registerTokenizer();
    bench::registerScale();
    bench::registerWrite();
    bench::registerTransfer();
    bench::registerSetup();
    bench::registerProcess();

    int count = static_cast<int>(rest.size());
    rest.push_back(nullptr);
    benchmark::Initialize(&count, rest.data());
    if (benchmark::ReportUnrecognizedArguments(count, rest.data()))
        return 2;
    bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    bench::printRatios();
    benchmark::Shutdown();
    return 0;
}
