// The ckp command as a whole process over the 100 MB record file, start-up
// and exit included: `ckp check --quiet`, and `ckp json` and `ckp fmt`
// against it; the three also over the 1M-entry setup file.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "harness.hpp"

extern char** environ;

namespace bench {
namespace {

// Runs `ckp COMMAND` on the data file INPUT (records-100M.Ckpt, ...).
void runProcess(benchmark::State& state, const std::string& input, const std::string& command,
                const std::string& tag) {
    std::string file = dataPath(input);
    const std::string& tool = options().tool;
    bool check = command == "check";
    std::string name = command + "/ckp/" + tag;
    for (auto _ : state) {
        char* argv[] = {const_cast<char*>(tool.c_str()), const_cast<char*>(command.c_str()),
                        check ? const_cast<char*>("--quiet") : file.data(),
                        check ? file.data() : nullptr, nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        auto start = std::chrono::steady_clock::now();
        pid_t pid;
        int rc = posix_spawn(&pid, tool.c_str(), &actions, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        if (rc != 0) {
            state.SkipWithError("cannot start the ckp command");
            break;
        }
        int status = 0;
        struct rusage usage {};
        wait4(pid, &status, 0, &usage);
        std::chrono::duration<double> wall = std::chrono::steady_clock::now() - start;
        state.SetIterationTime(wall.count());
        state.counters["child_cpu"] =
            static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
            static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            note(name + ": `ckp " + command + "` exited with " +
                 (WIFEXITED(status) ? std::to_string(WEXITSTATUS(status))
                                    : std::string("a signal")) +
                 " on a clean file");
        }
    }
    double bytes = static_cast<double>(fileSize(file));
    state.SetBytesProcessed(static_cast<int64_t>(bytes) * state.iterations());
    state.counters["bytes"] = bytes;
}

void checkProcess(benchmark::State& state, std::string tag) {
    runProcess(state, "records-" + tag + ".Ckpt", "check", tag);
}
void jsonProcess(benchmark::State& state, std::string tag) {
    runProcess(state, "records-" + tag + ".Ckpt", "json", tag);
}
void fmtProcess(benchmark::State& state, std::string tag) {
    runProcess(state, "records-" + tag + ".Ckpt", "fmt", tag);
}
void checkSetupProcess(benchmark::State& state, std::string tag) {
    runProcess(state, "setup-" + tag + ".Ckpt", "check", "setup-" + tag);
}
void jsonSetupProcess(benchmark::State& state, std::string tag) {
    runProcess(state, "setup-" + tag + ".Ckpt", "json", "setup-" + tag);
}
void fmtSetupProcess(benchmark::State& state, std::string tag) {
    runProcess(state, "setup-" + tag + ".Ckpt", "fmt", "setup-" + tag);
}

void registerOne(const char* name, void (*run)(benchmark::State&, std::string), const char* tag) {
    benchmark::RegisterBenchmark(name, run, std::string(tag))
        ->Unit(benchmark::kMillisecond)
        ->UseManualTime()
        ->Iterations(1)
        ->Repetitions(reps(3));
}

} // namespace

void registerProcess() {
    if (options().tool.empty() || access(options().tool.c_str(), X_OK) != 0) {
        note("check/ckp/100M: skipped, the ckp command is not built (pass --tool=PATH)");
        return;
    }
    if (!haveInput("records-100M.Ckpt"))
        return;
    registerOne("check/ckp/100M", checkProcess, "100M");
    registerOne("json/ckp/100M", jsonProcess, "100M");
    registerOne("fmt/ckp/100M", fmtProcess, "100M");
    if (haveInput("setup-1M.Ckpt")) {
        registerOne("check/ckp/setup-1M", checkSetupProcess, "1M");
        registerOne("json/ckp/setup-1M", jsonSetupProcess, "1M");
        registerOne("fmt/ckp/setup-1M", fmtSetupProcess, "1M");
    }
}

} // namespace bench
