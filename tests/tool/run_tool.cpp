#include "run_tool.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <sys/wait.h>
#include <unistd.h>

namespace tooltest {

using ckptest::readFile;
using ckptest::TempDir;

namespace {

// Runs a shell command line in the directory, its output and errors caught
// in files there.
Outcome runInDir(const TempDir& dir, const std::string& line) {
    std::string out = dir.path() + "/.stdout";
    std::string err = dir.path() + "/.stderr";
    std::string command = "cd '" + dir.path() + "' && " + line + " >'" + out + "' 2>'" + err + "'";
    int status = std::system(command.c_str());
    Outcome run{WIFEXITED(status) ? WEXITSTATUS(status) : -1, readFile(out), readFile(err)};
    std::filesystem::remove(out);
    std::filesystem::remove(err);
    return run;
}

} // namespace

Outcome ckp(const TempDir& dir, const std::string& args) {
    return runInDir(dir, "'" CKP_TOOL_PATH "' " + args);
}

Outcome shell(const TempDir& dir, const std::string& script) {
    std::string file = dir.write(".script", "CKP='" CKP_TOOL_PATH "'\n" + script);
    Outcome run = runInDir(dir, "bash .script");
    std::filesystem::remove(file);
    return run;
}

void expectSteps(const TempDir& dir, const std::vector<Step>& steps) {
    for (const Step& step : steps) {
        SCOPED_TRACE("ckp " + step.args);
        Outcome run = ckp(dir, step.args);
        EXPECT_EQ(run.code, step.code) << run;
        if (step.out) {
            EXPECT_EQ(run.out, *step.out);
        }
        if (step.err) {
            EXPECT_EQ(run.err, *step.err);
        }
    }
}

std::vector<std::string> listing(const TempDir& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> temporaries(const TempDir& dir) {
    std::vector<std::string> names;
    for (const std::string& name : listing(dir)) {
        if (name.rfind(".ckp-", 0) == 0) {
            names.push_back(name);
        }
    }
    return names;
}

int start(const TempDir& dir, const std::vector<std::string>& args) {
    std::string out = dir.file(".stdout");
    std::string err = dir.file(".stderr");
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(CKP_TOOL_PATH));
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (o < 0 || e < 0 || chdir(dir.path().c_str()) != 0 || dup2(o, 1) < 0 || dup2(e, 2) < 0) {
            _exit(127);
        }
        execv(argv[0], argv.data());
        _exit(127);
    }
    return pid;
}

} // namespace tooltest
