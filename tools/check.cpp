// ckp check: every record of every file read, includes followed; each
// syntax error shown with its place.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "ckp/kvo.h"
#include "commands.hpp"
#include "diagnostics.hpp"
#include "escape.hpp"
#include "output.hpp"

namespace ckptool {
namespace {

DiagnosticStyle styleOf(const CheckOptions& options) {
    DiagnosticStyle style;
    style.json = options.format == "json";
    style.context = !options.noContext;
    style.colour = !style.json && coloursSuit(stdout);
    return style;
}

// The file an include record names, as seen from the working directory:
// a relative path is taken from the including file's directory.
std::string includedFile(const ckp::Record& record) {
    std::string path(record.path());
    std::string includer(record.file());
    std::size_t slash = includer.find_last_of("/\\");
    if (kvoIsRooted(path.c_str()) || slash == std::string::npos) {
        return path;
    }
    return includer.substr(0, slash + 1) + path;
}

// Reads one file's records; an include whose file cannot be started (a
// faulty header) is reported at that file, and reading goes on in the
// includer, where the reader picks up again after handing out the failure
// (once or twice).
class FileCheck {
  public:
    FileCheck(const CheckOptions& options, const std::string& file, long& errors)
        : options_(options), shown_(stdout, styleOf(options), file), errors_(errors) {}

    // Closes the file's diagnostics with the count of those not shown.
    void finish() {
        if (!options_.quiet) {
            shown_.finish();
            checkStdout();
        }
    }

    int run(const std::string& file) {
        ckp::Reader reader(isStdout(file) ? std::string() : file);
        std::string include;
        int failures = 0;
        for (;;) {
            int delivered = ckpGets(reader.handle());
            auto type = static_cast<ckp::Type>(ckpGetType(reader.handle()));
            if (type == ckp::Type::End) {
                return status_;
            }
            if (type == ckp::Type::Error || delivered == 0) {
                if (include.empty() || ++failures > maxFailures) {
                    throw ckp::Error("ckpGets", ckpGetError());
                }
                if (failures == 1) {
                    report({include, 1, 0, plainMessage(ckpGetError()), std::string()});
                }
                continue;
            }
            failures = 0;
            ckp::Record record = reader.record();
            include = type == ckp::Type::Include ? includedFile(record) : std::string();
            if (type == ckp::Type::Syntax) {
                report(record.syntax_error());
            }
        }
    }

  private:
    static constexpr int maxFailures = 4;

    void report(const ckp::SyntaxError& error) {
        ++errors_;
        if (!options_.quiet) {
            shown_.print(error);
            checkStdout();
        }
        status_ = resourceFault(error.message) ? exitFailure : status_;
    }

    const CheckOptions& options_;
    DiagnosticCap shown_;
    long& errors_;
    int status_ = exitOk;
};

// Counts the syntax errors of one file; a file that cannot be read to its
// end is reported on stderr and makes the whole run fail with 2, as does a
// resource failure.
int checkFile(const std::string& file, const CheckOptions& options, long& errors) {
    FileCheck check(options, file, errors);
    try {
        int status = check.run(file);
        check.finish();
        return status;
    } catch (const ckp::Error& e) {
        check.finish();
        std::fflush(stdout);
        std::string message = escapeControls(aboutFile(file, e.what()));
        std::fprintf(stderr, "ckp: %s\n", message.c_str());
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
