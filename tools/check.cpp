// ckp check: every record of every file read, includes followed; each
// syntax error shown with its place.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include <unistd.h>

#include "check_files.hpp"
#include "ckp/kvo.h"
#include "commands.hpp"
#include "diagnostics.hpp"
#include "output.hpp"
#include "report_formats.hpp"

namespace ckptool {
namespace {

DiagnosticStyle styleOf(const CheckOptions& options) {
    DiagnosticStyle style;
    style.context = !options.noContext;
    bool gcc = reportFormatNamed(options.format) == ReportFormat::Gcc;
    style.colour =
        gcc && (options.colour == "always" || (options.colour == "auto" && coloursSuit(stdout)));
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
    explicit FileCheck(DiagnosticReport& report) : report_(report) {}

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
        if (report_.add(error)) {
            checkStdout();
        }
        status_ = resourceFault(error.message) ? exitFailure : status_;
    }

    DiagnosticReport& report_;
    int status_ = exitOk;
};

// Counts the syntax errors of one file; a file that cannot be read to its
// end is reported on stderr and makes the whole run fail with 2, as does a
// resource failure.
int checkFile(const std::string& file, DiagnosticReport& report) {
    try {
        return FileCheck(report).run(file);
    } catch (const ckp::Error& e) {
        std::fflush(stdout);
        std::fprintf(stderr, "ckp: %s\n", aboutFile(file, e.what()).c_str());
        return exitFailure;
    }
}

} // namespace

// "3 syntax errors in 2 of 5 files", for a person at the end of a run.
void printSummary(const DiagnosticReport& report, std::size_t files) {
    long errors = report.errors();
    std::string count = std::to_string(files) + (files == 1 ? " file" : " files");
    if (errors == 0) {
        std::printf("no syntax errors in %s\n", count.c_str());
        return;
    }
    std::printf("%ld syntax error%s in %ld of %s\n", errors, errors == 1 ? "" : "s",
                report.filesWithErrors(), count.c_str());
}

int runCheck(const CheckOptions& options) {
    std::vector<std::string> files = checkedFiles(options.files, options.excludes);
    ReportFormat format = reportFormatNamed(options.format);
    DiagnosticReport report(stdout, format, styleOf(options), options.quiet);
    int status = exitOk;
    for (const std::string& file : files) {
        if (checkFile(file, report) == exitFailure) {
            status = exitFailure;
        }
    }
    report.finish();
    if (options.quiet) {
        std::printf("%ld\n", report.errors());
    } else if (format == ReportFormat::Gcc && (options.summary || isatty(fileno(stdout)) != 0)) {
        printSummary(report, files.size());
    }
    if (status == exitOk && report.errors() > 0) {
        status = exitFindings;
    }
    return status;
}

} // namespace ckptool
