// Running the built ckp command as a process, in a test's own directory.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "common/testutil.hpp"

namespace tooltest {

struct Outcome {
    int code;
    std::string out;
    std::string err;
    bool operator==(const Outcome&) const = default;
};

// Shown by a failed EXPECT_EQ of two outcomes.
inline std::ostream& operator<<(std::ostream& os, const Outcome& o) {
    return os << "exit " << o.code << ", out:\n" << o.out << "err:\n" << o.err;
}

// Runs `ckp ARGS` through the shell with the directory as working
// directory; its output and errors are caught in files there.
Outcome ckp(const ckptest::TempDir& dir, const std::string& args);

// Runs a bash script in the directory; $CKP names the command. Its exit
// status (-1 when it did not exit), output and errors.
Outcome shell(const ckptest::TempDir& dir, const std::string& script);

// One run of `ckp ARGS` and what it must give; an output left out is not
// looked at.
struct Step {
    std::string args;
    int code;
    std::optional<std::string> out = std::nullopt;
    std::optional<std::string> err = std::nullopt;
};

// Runs the steps in order in the directory, each checked.
void expectSteps(const ckptest::TempDir& dir, const std::vector<Step>& steps);

// The names in the directory, sorted: a left-over temporary shows here.
std::vector<std::string> listing(const ckptest::TempDir& dir);

// Names in the directory that a replacement in progress would use.
std::vector<std::string> temporaries(const ckptest::TempDir& dir);

// Starts `ckp ARGS...` in the directory with its output in files there, and
// returns its process id.
int start(const ckptest::TempDir& dir, const std::vector<std::string>& args);

} // namespace tooltest
