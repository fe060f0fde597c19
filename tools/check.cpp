// ckp check: every record of every file read, includes followed; each
// syntax error shown with its place.
#include <cstdio>

#include "commands.hpp"
#include "diagnostics.hpp"

namespace ckptool {
namespace {

// Counts the syntax errors of one file; a file that cannot be read to its
// end is reported on stderr and makes the whole run fail with 2.
int checkFile(const std::string& file, bool quiet, long& errors) {
    try {
        ckp::Reader reader(file);
        for (const ckp::Record& record : reader) {
            if (record.type() != ckp::Type::Syntax) {
                continue;
            }
            ckp::SyntaxError error = record.syntax_error();
            ++errors;
            if (!quiet) {
                printSyntaxError(stdout, error);
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
        if (checkFile(file, options.quiet, errors) == exitFailure) {
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
