// ckp check: every record of every file read, includes followed; each
// syntax error shown with its place.
#include <cstdio>

#include "commands.hpp"
#include "diagnostics.hpp"
#include "output.hpp"

namespace ckptool {
namespace {

DiagnosticStyle styleOf(const CheckOptions& options) {
    DiagnosticStyle style;
    style.json = options.format == "json";
    style.context = !options.noContext;
    style.colour = !style.json && (options.colour == "always" ||
                                   (options.colour == "auto" && coloursSuit(stdout)));
    return style;
}

// Counts the syntax errors of one file; a file that cannot be read to its
// end is reported on stderr and makes the whole run fail with 2.
int checkFile(const std::string& file, const CheckOptions& options, long& errors) {
    DiagnosticStyle style = styleOf(options);
    try {
        ckp::Reader reader(isStdout(file) ? std::string() : file);
        for (const ckp::Record& record : reader) {
            if (record.type() != ckp::Type::Syntax) {
                continue;
            }
            ckp::SyntaxError error = record.syntax_error();
            ++errors;
            if (!options.quiet) {
                printSyntaxError(stdout, error, style);
                checkStdout();
            }
        }
        return exitOk;
    } catch (const ckp::Error& e) {
        std::fflush(stdout);
        std::fprintf(stderr, "ckp: %s\n", aboutFile(file, e.what()).c_str());
        return exitFailure;
    }
}

} // namespace

int runCheck(const CheckOptions& options) {
    long errors = 0;
    int status = exitOk;
    for (const std::string& file : options.files) {
        if (checkFile(file, options, errors) == exitFailure) {
            status = exitFailure;
        }
    }
    if (options.quiet) {
        std::printf("%ld\n", errors);
    }
    if (status == exitOk && errors > 0) {
        status = exitFindings;
    }
    return status;
}

} // namespace ckptool
