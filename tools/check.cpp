// ckp check: every record of every file read, includes followed; each
// syntax error shown with its place.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

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

// An include that failed for want of file descriptors or memory is a
// resource failure of this run, not a fault of the file.
bool resourceFault(const std::string& message) {
    for (int errnum : {EMFILE, ENFILE, ENOMEM}) {
        std::string reason = std::string(": ") + std::strerror(errnum);
        if (message.size() >= reason.size() &&
            message.compare(message.size() - reason.size(), reason.size(), reason) == 0) {
            return true;
        }
    }
    return false;
}

// Counts the syntax errors of one file; a file that cannot be read to its
// end is reported on stderr and makes the whole run fail with 2, as does a
// resource failure.
int checkFile(const std::string& file, const CheckOptions& options, long& errors) {
    DiagnosticStyle style = styleOf(options);
    int status = exitOk;
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
            status = resourceFault(error.message) ? exitFailure : status;
        }
        return status;
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
