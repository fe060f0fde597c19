// How the formatting library fails: a one-line message for a person, and
// the exit code that the command ends with when the failure ends it.
#pragma once

#include <stdexcept>
#include <string>
#include <utility>

namespace ckptool {

// Exit codes shared by the commands.
inline constexpr int exitOk = 0;
inline constexpr int exitFindings = 1; // syntax errors, not canonical, not found
inline constexpr int exitFailure = 2;  // unreadable input, failed output, bad usage

struct ToolError : std::runtime_error {
    explicit ToolError(const std::string& what, int code = exitFailure)
        : std::runtime_error(what), exitCode(code) {}
    int exitCode;
};

// Writing the new text failed (a full disk, the file size limit): a failure
// of the output, whichever file was read. `reason` is the system's.
struct OutputWriteError : ToolError {
    explicit OutputWriteError(const std::string& what, std::string why)
        : ToolError(what), reason(std::move(why)) {}
    std::string reason;
};

} // namespace ckptool
