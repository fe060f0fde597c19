// Setups: load and save of setup files of 10k, 100k and 1M entries (the
// per-entry cost must not grow with the size), the save against one fwrite
// of the same bytes, the peak memory of a load against the file size, and
// `ckp setup get` and `set` against `ckp check` of the same file.
#include <ckp/ckp.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "harness.hpp"

extern char** environ;

// The setup store may be missing from a library still being built; the
// setup benchmarks are then skipped instead of breaking the link.
#pragma weak ckpSetupLoad
#pragma weak ckpSetupSave
#pragma weak ckpSetupClear
#pragma weak ckpSetupGetEntryList

namespace bench {
namespace {

struct Size {
    const char* tag;
    long entries;
};
const Size kSizes[] = {{"10k", 10000}, {"100k", 100000}, {"1M", 1000000}};

std::string setupFile(const std::string& tag) {
    return dataPath("setup-" + tag + ".Ckpt");
}

// The 1M setup file with its entries in reverse order.
const Size kReversed = {"1M-rev", 1000000};

long countEntries(const std::string& name) {
    kvoStrlist* list = ckpSetupGetEntryList(name.c_str());
    if (!list)
        return -1;
    long n = 0;
    while (list[n])
        ++n;
    kvoFreeStrlist(list);
    return n;
}

// A quadratic load of 1M entries would run for hours: predict its time from
// the 10k and 100k runs, assuming the per-entry cost grows again by the
// factor it grew from 10k to 100k, and refuse to start it past the limit.
bool tooSlowToRun(const std::string& family, std::string& why) {
    const Result* small = result(family + "/10k");
    const Result* mid = result(family + "/100k");
    if (!small || !mid || small->failed || mid->failed || small->wall <= 0)
        return false;
    double growth = (mid->wall / 100000) / (small->wall / 10000);
    double predicted = mid->wall * 10 * (growth > 1 ? growth : 1);
    if (predicted <= options().setupLimit)
        return false;
    char buf[200];
    std::snprintf(
        buf, sizeof buf,
        "skipped: predicted %.0f s (per-entry cost grew %.1fx from 10k to 100k); limit %.0f s",
        predicted, growth, options().setupLimit);
    why = buf;
    return true;
}

void setupLoad(benchmark::State& state, Size size) {
    std::string name = setupFile(size.tag);
    std::string why;
    if (size.entries >= 1000000 && tooSlowToRun("setup/load", why)) {
        note("setup/load/" + std::string(size.tag) + ": " + why);
        state.SkipWithError(why.c_str());
        return;
    }
    ckpSetupClear(name.c_str());
    bool checked = false;
    for (auto _ : state) {
        if (!ckpSetupLoad(name.c_str())) {
            state.SkipWithError("ckpSetupLoad failed");
            break;
        }
        state.PauseTiming();
        if (!checked) {
            long n = countEntries(name);
            if (n != size.entries)
                note("setup/load/" + std::string(size.tag) + ": " + std::to_string(n) +
                     " entries loaded, the file holds " + std::to_string(size.entries));
            checked = true;
        }
        ckpSetupClear(name.c_str());
        state.ResumeTiming();
    }
    double bytes = static_cast<double>(fileSize(name));
    state.SetBytesProcessed(static_cast<int64_t>(bytes) * state.iterations());
    state.counters["bytes"] = bytes;
    state.counters["entries"] = static_cast<double>(size.entries);
}

void setupSave(benchmark::State& state, Size size) {
    std::string name = setupFile(size.tag);
    std::string target = outPath("setup-" + std::string(size.tag) + ".Ckpt");
    std::string why;
    if (size.entries >= 1000000 && tooSlowToRun("setup/save", why)) {
        note("setup/save/" + std::string(size.tag) + ": " + why);
        state.SkipWithError(why.c_str());
        return;
    }
    if (size.entries >= 1000000 && tooSlowToRun("setup/load", why)) {
        state.SkipWithError(why.c_str());
        return;
    }
    ckpSetupClear(name.c_str());
    if (!ckpSetupLoad(name.c_str())) {
        state.SkipWithError("ckpSetupLoad failed");
        return;
    }
    bool ran = false;
    for (auto _ : state) {
        if (!ckpSetupSave(name.c_str(), target.c_str())) {
            state.SkipWithError("ckpSetupSave failed");
            break;
        }
        ran = true;
    }
    ckpSetupClear(name.c_str());
    std::string saved, original;
    if (ran && readWholeFile(target, saved) && readWholeFile(name, original) && saved != original)
        note("setup/save/" + std::string(size.tag) + ": the saved file (" +
             std::to_string(saved.size()) + " bytes) differs from the loaded one (" +
             std::to_string(original.size()) + " bytes)");
    double bytes = static_cast<double>(fileSize(name));
    state.SetBytesProcessed(static_cast<int64_t>(bytes) * state.iterations());
    state.counters["bytes"] = bytes;
    state.counters["entries"] = static_cast<double>(size.entries);
}

void setupFwrite(benchmark::State& state, Size size) {
    std::string data;
    if (!readWholeFile(setupFile(size.tag), data)) {
        state.SkipWithError("cannot read the setup file");
        return;
    }
    std::string target = outPath("setup-" + std::string(size.tag) + ".Ckpt");
    for (auto _ : state) {
        std::FILE* f = std::fopen(target.c_str(), "w");
        if (!f || std::fwrite(data.data(), 1, data.size(), f) != data.size()) {
            if (f)
                std::fclose(f);
            state.SkipWithError("fwrite failed");
            break;
        }
        std::fclose(f);
    }
    state.SetBytesProcessed(static_cast<int64_t>(data.size()) * state.iterations());
    state.counters["bytes"] = static_cast<double>(data.size());
    state.counters["entries"] = static_cast<double>(size.entries);
}

long statusKb(const char* field) {
    std::FILE* f = std::fopen("/proc/self/status", "r");
    if (!f)
        return -1;
    char line[256];
    long kb = -1;
    std::size_t n = std::strlen(field);
    while (std::fgets(line, sizeof line, f))
        if (std::strncmp(line, field, n) == 0 && line[n] == ':')
            kb = std::atol(line + n + 1);
    std::fclose(f);
    return kb;
}

// The load runs in a fresh process, so that neither the benchmark's own
// buffers nor memory freed by earlier loads hide its peak.
void setupPeak(benchmark::State& state, Size size) {
    std::string file = setupFile(size.tag);
    std::string why;
    if (size.entries >= 1000000 && tooSlowToRun("setup/load", why)) {
        state.SkipWithError(why.c_str());
        return;
    }
    for (auto _ : state) {
        int fds[2];
        if (pipe(fds) != 0) {
            state.SkipWithError("pipe failed");
            break;
        }
        std::string arg = "--peak-load=" + file;
        char* argv[] = {const_cast<char*>("ckp_bench"), arg.data(), nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        auto start = std::chrono::steady_clock::now();
        pid_t pid;
        int rc = posix_spawn(&pid, "/proc/self/exe", &actions, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        if (rc != 0) {
            close(fds[0]);
            state.SkipWithError("cannot start the child");
            break;
        }
        char buf[256] = {0};
        std::size_t got = 0;
        ssize_t n;
        while ((n = read(fds[0], buf + got, sizeof buf - 1 - got)) > 0)
            got += static_cast<std::size_t>(n);
        close(fds[0]);
        int status = 0;
        struct rusage usage {};
        wait4(pid, &status, 0, &usage);
        std::chrono::duration<double> wall = std::chrono::steady_clock::now() - start;
        state.SetIterationTime(wall.count());
        long before = 0, peak = 0;
        int loaded = 0;
        if (std::sscanf(buf, "%ld %ld %d", &before, &peak, &loaded) != 3 || !loaded) {
            state.SkipWithError("the child's load failed");
            break;
        }
        double fileBytes = static_cast<double>(fileSize(file));
        double grown = static_cast<double>(peak - before) * 1024;
        state.counters["peak_ratio"] = grown / fileBytes;
        state.counters["peak_mb"] = grown / 1e6;
        state.counters["file_mb"] = fileBytes / 1e6;
        state.counters["child_cpu"] =
            static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
            static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    }
}

// `ckp setup get` and `set` on the 1M setup file against `ckp check` of
// it, each a whole process, timed the same way; the peak resident memory of
// the process against the file's size. The command runs under a fresh
// `ckp_bench --peak-run`: a process started straight from this large one
// would report this one's peak as its own.
void setupCommand(benchmark::State& state, std::string action) {
    std::string file = setupFile("1M");
    std::string target = action == "set" ? outPath("setup-1M-set.Ckpt") : file;
    std::vector<std::string> args = {"ckp_bench", "--peak-run", options().tool};
    if (action == "check") {
        args.insert(args.end(), {"check", "--quiet", file});
    } else {
        args.insert(args.end(), {"setup", action, target, "cells/c0500000", "owner"});
    }
    if (action == "set")
        args.push_back("someone else");
    std::string original;
    if (action == "set" && !readWholeFile(file, original)) {
        state.SkipWithError("cannot read the setup file");
        return;
    }
    for (auto _ : state) {
        if (action == "set" && !writeWholeFile(target, original)) {
            state.SkipWithError("cannot copy the setup file");
            break;
        }
        std::vector<char*> argv;
        for (std::string& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        int fds[2];
        if (pipe(fds) != 0) {
            state.SkipWithError("pipe failed");
            break;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        auto start = std::chrono::steady_clock::now();
        pid_t pid;
        int rc = posix_spawn(&pid, "/proc/self/exe", &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        if (rc != 0) {
            close(fds[0]);
            state.SkipWithError("cannot start the ckp command");
            break;
        }
        char buf[256] = {0};
        std::size_t got = 0;
        for (ssize_t n; (n = read(fds[0], buf + got, sizeof buf - 1 - got)) > 0;)
            got += static_cast<std::size_t>(n);
        close(fds[0]);
        int status = 0;
        waitpid(pid, &status, 0);
        std::chrono::duration<double> wall = std::chrono::steady_clock::now() - start;
        state.SetIterationTime(wall.count());
        long maxKb = 0, exitCode = -1;
        double cpu = 0;
        if (std::sscanf(buf, "%ld %ld %lf", &maxKb, &exitCode, &cpu) != 3 || exitCode != 0) {
            state.SkipWithError(("`ckp " + action + "` failed on the 1M setup").c_str());
            break;
        }
        double fileBytes = static_cast<double>(fileSize(file));
        state.counters["peak_ratio"] = static_cast<double>(maxKb) * 1024 / fileBytes;
        state.counters["peak_mb"] = static_cast<double>(maxKb) * 1024 / 1e6;
        state.counters["child_cpu"] = cpu;
    }
    state.counters["bytes"] = static_cast<double>(fileSize(file));
}

} // namespace

int peakRunChild(char** argv) {
    pid_t pid = fork();
    if (pid == 0) {
        int devnull = open("/dev/null", O_WRONLY);
        dup2(devnull, 1);
        dup2(devnull, 2);
        execv(argv[0], argv);
        _exit(127);
    }
    int status = 0;
    struct rusage usage {};
    if (pid < 0 || wait4(pid, &status, 0, &usage) < 0)
        return 1;
    double cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                 static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    std::printf("%ld %d %f\n", usage.ru_maxrss, WIFEXITED(status) ? WEXITSTATUS(status) : -1, cpu);
    return 0;
}

int peakLoadChild(const char* file) {
    kvoSetReportHandler([](const char*, void*) { return 1; }, nullptr);
    long before = statusKb("VmRSS");
    int loaded = ckpSetupLoad(file);
    long peak = statusKb("VmHWM");
    std::printf("%ld %ld %d\n", before, peak, loaded);
    return loaded ? 0 : 1;
}

void registerSetup() {
    if (!&ckpSetupLoad || !&ckpSetupSave || !&ckpSetupClear || !&ckpSetupGetEntryList) {
        note("setup benchmarks skipped: the library has no setup store yet");
        return;
    }
    for (const Size& s : kSizes)
        if (!haveInput("setup-" + std::string(s.tag) + ".Ckpt")) {
            note("setup-" + std::string(s.tag) + ".Ckpt is missing: run ckp_bench_gen");
            return;
        }
    auto timed = [](const std::string& name, void (*fn)(benchmark::State&, Size), const Size& s) {
        int small = s.entries <= 10000;
        benchmark::RegisterBenchmark(name.c_str(), fn, s)
            ->Unit(benchmark::kMillisecond)
            ->MeasureProcessCPUTime()
            ->Iterations(small ? 10 : 1)
            ->Repetitions(reps(s.entries >= 1000000 ? 3 : 5));
    };
    for (const Size& s : kSizes)
        timed("setup/load/" + std::string(s.tag), setupLoad, s);
    if (haveInput("setup-1M-rev.Ckpt"))
        timed("setup/load/1M-rev", setupLoad, kReversed);
    else
        note("setup-1M-rev.Ckpt is missing: run ckp_bench_gen");
    for (const Size& s : kSizes)
        timed("setup/fwrite/" + std::string(s.tag), setupFwrite, s);
    for (const Size& s : kSizes)
        timed("setup/save/" + std::string(s.tag), setupSave, s);
    if (!options().tool.empty() && access(options().tool.c_str(), X_OK) == 0)
        for (const char* action : {"check", "get", "set"})
            benchmark::RegisterBenchmark(("setup/" + std::string(action) + "/1M").c_str(),
                                         setupCommand, std::string(action))
                ->Unit(benchmark::kMillisecond)
                ->UseManualTime()
                ->Iterations(1)
                ->Repetitions(reps(3));
    for (const Size& s : kSizes)
        benchmark::RegisterBenchmark(("setup/peak/" + std::string(s.tag)).c_str(), setupPeak, s)
            ->Unit(benchmark::kMillisecond)
            ->UseManualTime()
            ->Iterations(1)
            ->Repetitions(1);
}

} // namespace bench
