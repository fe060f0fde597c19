// ckp fmt: a file rewritten through the writer in its canonical form, its
// comments kept.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <system_error>
#include <vector>

#include "canonical.hpp"
#include "ckp/kvo.h"
#include "commands.hpp"
#include "diagnostics.hpp"
#include "diff.hpp"
#include "format_text.hpp"
#include "output.hpp"
#include "source_lines.hpp"

namespace ckptool {
namespace {

bool sameFile(const std::string& a, const std::string& b) {
    std::error_code ec;
    return std::filesystem::equivalent(a, b, ec) && !ec;
}

// The file the reader takes for NAME: NAME, else NAME.Ckpt when only that
// exists.
std::string inputFile(const std::string& name) {
    std::string fallback = name + ".Ckpt";
    bool onlyFallback = !kvoFileExists(name.c_str()) && kvoFileExists(fallback.c_str());
    return onlyFallback ? fallback : name;
}

// Rewrites a file in place: locked, read from the one descriptor that the
// edit replaces (so that a link retargeted meanwhile cannot mix two files),
// and left untouched when it is canonical already. Anything but a regular
// file is refused at once.
int fmtInPlace(const std::string& file, DiagnosticCap& shown) {
    std::string target = inputFile(file);
    if (!kvoFileExists(target.c_str()) && !kvoIsDirectory(target.c_str())) {
        throw ToolError(file + ": file not found");
    }
    FileLock lock(target);
    Output edit(target, KVO_REPLACE_EDIT);
    if (!edit.existed()) {
        throw ToolError(file + ": file not found");
    }
    Formatted formatted;
    try {
        formatted = formatBytes(target, edit.readSource(),
                                [&](const ckp::SyntaxError& error) { shown.print(error); });
    } catch (const OutputWriteError& e) {
        throw ToolError("cannot write " + file + ": " + e.reason);
    } catch (const ckp::Error& e) {
        throw ToolError(aboutFile(file, e.what()));
    }
    if (formatted.errors > 0) {
        return exitFindings;
    }
    if (formatted.text == formatted.source.bytes) {
        edit.discard();
    } else {
        edit.publish(formatted.text);
    }
    return exitOk;
}

// Formats one file as the options say: checked, shown as a diff, written
// out or rewritten in place.
int fmtFile(const std::string& file, const FmtOptions& options, DiagnosticCap& shown) {
    if (options.inPlace && isStdout(file)) {
        throw ToolError("-i needs a file, not standard input");
    }
    if (options.inPlace) {
        return fmtInPlace(file, shown);
    }
    if (!isStdout(options.output) && sameFile(file, options.output)) {
        throw ToolError("-o names the input file; use -i to rewrite it in place");
    }
    bool compare = options.check || options.diff;
    std::optional<Output> output;
    if (!compare) {
        output.emplace(options.output);
    }
    Formatted formatted;
    try {
        formatted = formatText(file, [&](const ckp::SyntaxError& error) { shown.print(error); });
    } catch (const OutputWriteError& e) {
        // The new text could not be put down: a failure of the output.
        std::string where = isStdout(options.output) ? "standard output" : options.output;
        throw ToolError("cannot write " + where + ": " + e.reason);
    } catch (const ckp::Error& e) {
        throw ToolError(aboutFile(file, e.what()));
    }
    if (formatted.errors > 0) {
        return exitFindings;
    }
    if (!compare) {
        output->publish(formatted.text);
        return exitOk;
    }
    if (formatted.text == formatted.source.bytes) {
        return exitOk;
    }
    if (options.diff) {
        std::string diff = unifiedDiff(file, formatted.source.bytes, formatted.text);
        std::fputs(diff.c_str(), stdout);
        checkStdout();
    }
    if (options.check) {
        std::fflush(stdout);
        std::fprintf(stderr, "ckp: %s is not in canonical form\n", file.c_str());
    }
    return exitFindings;
}

// The file's diagnostics, closed with the count of those not shown however
// the file ends.
int fmtShown(const std::string& file, const FmtOptions& options) {
    DiagnosticCap shown(stderr, DiagnosticStyle(), file);
    try {
        int status = fmtFile(file, options, shown);
        shown.finish();
        return status;
    } catch (...) {
        shown.finish();
        throw;
    }
}

} // namespace

int runFmt(const FmtOptions& options) {
    if (options.inPlace && !options.output.empty()) {
        throw ToolError("-i and -o exclude each other");
    }
    bool several = options.files.size() > 1;
    if (several && !isStdout(options.output)) {
        throw ToolError("-o takes one input file");
    }
    int status = exitOk;
    for (const std::string& file : options.files) {
        try {
            status = std::max(status, fmtShown(file, options));
        } catch (const ToolError& e) {
            if (!several) {
                throw;
            }
            std::fflush(stdout);
            std::fprintf(stderr, "ckp: %s\n", e.what());
            status = exitFailure;
        }
    }
    return status;
}

} // namespace ckptool
