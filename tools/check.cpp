// ckp check: every record of every file read, includes followed; each
// syntax error shown with its place.
#include <cerrno>
#include <cstdio>
#include <string>

#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <sstream>
#include <unistd.h>
#include <vector>

#include "canonical.hpp"
#include "check_files.hpp"
#include "check_jobs.hpp"
#include "ckp/ckpx.h"
#include "ckp/kvo.h"
#include "commands.hpp"
#include "diagnostics.hpp"
#include "escape.hpp"
#include "output.hpp"
#include "report_formats.hpp"
#include "source_map.hpp"

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

// The bytes of a file as the reader will find it (NAME, else NAME.Ckpt);
// empty when it cannot be read here, which the reader then reports.
std::optional<std::string> bytesOf(const std::string& file) {
    for (const std::string& name : {file, file + ".Ckpt"}) {
        std::ifstream in(name, std::ios::binary);
        if (in) {
            std::ostringstream bytes;
            bytes << in.rdbuf();
            if (!in.bad()) {
                return std::move(bytes).str();
            }
        }
    }
    return std::nullopt;
}

// Where a file's diagnostics go: straight into the report, or kept until
// the file's turn when files are read in several threads.
using DiagnosticSink = std::function<void(const ckp::SyntaxError&, Severity, bool context)>;

// Reads one file's records; an include whose file cannot be started (a
// faulty header) is reported at that file, and reading goes on in the
// includer, where the reader picks up again after handing out the failure
// (once or twice). Places are given as an editor shows them; the command's
// advice (a cut line, a file without a header, a binary file) goes with the
// library's errors.
class FileCheck {
  public:
    explicit FileCheck(const DiagnosticSink& report) : report_(report) {}

    // Standard input ("-") is read here unless its bytes are given.
    int run(const std::string& file, const std::string* stdinBytes) {
        if (isStdout(file)) {
            std::string bytes = stdinBytes ? *stdinBytes : readStream(stdin, "stdin");
            if (!mapSource(stdinName, bytes)) {
                return exitFindings;
            }
            MemoryStream memory(bytes, stdinName); // outlives the reader on it
            ckp::Reader reader(ckpxOpenStream(memory.stream(), stdinName, "R"));
            return read(reader);
        }
        if (std::optional<std::string> bytes = bytesOf(file)) {
            if (!mapSource(file, *bytes)) {
                return exitFindings;
            }
        }
        ckp::Reader reader(file);
        return read(reader);
    }

  private:
    static constexpr int maxFailures = 4;
    // Standard input is named as the library names it in its reports.
    static constexpr const char* stdinName = "stdin";

    int read(ckp::Reader& reader) {
        std::string include;
        int failures = 0;
        for (;;) {
            try {
                if (!reader.next_record()) {
                    return status_;
                }
            } catch (const ckp::Error& e) {
                if (include.empty() || ++failures > maxFailures) {
                    throw;
                }
                if (failures == 1) {
                    report({include, 1, 0, plainMessage(e.what()), std::string()});
                }
                continue;
            }
            failures = 0;
            ckp::Record record = reader.record();
            ckp::Type type = record.type();
            include = type == ckp::Type::Include ? includedFile(record) : std::string();
            if (type == ckp::Type::Header) {
                noteHeader(record);
            } else if (type == ckp::Type::Syntax) {
                report(record.syntax_error());
            }
        }
    }

    // Scans a file's bytes for the places of its lines and reports what the
    // reader would make of it; false for a binary file, which is not read.
    bool mapSource(const std::string& file, std::string_view bytes) {
        SourceMap& map = maps_[file];
        map = SourceMap(bytes);
        if (map.binary()) {
            report_({file, 1, 0, "binary file", std::string()}, Severity::Error, true);
            return false;
        }
        for (const SourceMap::LongLine& cut : map.longLines()) {
            report_({file, cut.line, 511,
                     "line longer than 510 characters: it is read as " +
                         std::to_string(cut.pieces) + " lines, cut after every 510",
                     std::string()},
                    Severity::Warning, true);
        }
        return true;
    }

    // An included file is mapped when its first record (its header) comes.
    void noteHeader(const ckp::Record& record) {
        std::string file(record.file());
        if (maps_.find(file) == maps_.end()) {
            std::optional<std::string> bytes = bytesOf(file);
            mapSource(file, bytes ? *bytes : std::string());
        }
        int version = -1;
        ckpGetSyntax(record.handle(), nullptr, &version);
        if (version == 0) {
            report_({file, 1, 1,
                     "no header: the file is read in the old syntax without one (version "
                     "0); a first line WRXCHECKPOINT=\"1.0\" makes it a file of the "
                     "current syntax",
                     std::string()},
                    Severity::Note, true);
        }
    }

    void report(ckp::SyntaxError error) {
        bool context = true;
        auto map = maps_.find(error.file);
        if (map != maps_.end()) {
            SourceMap::Place place = map->second.editorPlace(error.line, error.column);
            // A later piece of a cut line is not the line an editor shows.
            context = place.column == error.column;
            error.line = place.line;
            error.column = place.column;
        }
        report_(error, Severity::Error, context);
        status_ = resourceFault(error.message) ? exitFailure : status_;
    }

    const DiagnosticSink& report_;
    std::map<std::string, SourceMap> maps_;
    int status_ = exitOk;
};

// What reading one file came to: its exit status, and the message for
// stderr when it could not be read to its end.
struct FileOutcome {
    int status = exitOk;
    std::string failure;
};

FileOutcome checkFile(const std::string& file, const DiagnosticSink& sink,
                      const std::string* stdinBytes) {
    try {
        return {FileCheck(sink).run(file, stdinBytes), std::string()};
    } catch (const ckp::Error& e) {
        return {exitFailure, escapeControls(aboutFile(file, e.what()))};
    }
}

// Ends a file's part of the report; a file that cannot be read to its end
// is reported on stderr and makes the whole run fail with 2, as does a
// resource failure.
int closeFile(DiagnosticReport& report, const FileOutcome& outcome) {
    report.closeFiles();
    if (!outcome.failure.empty()) {
        std::fflush(stdout);
        std::fprintf(stderr, "ckp: %s\n", outcome.failure.c_str());
    }
    return outcome.status;
}

// A file read in a thread of its own: what the report is to get, in order.
struct CheckedFile {
    struct Diagnostic {
        ckp::SyntaxError error;
        Severity severity;
        bool context;
    };
    std::vector<Diagnostic> diagnostics;
    FileOutcome outcome;
    std::exception_ptr thrown; // a failure that ends the whole run
};

// Reads the files in `jobs` threads and reports them in the order given,
// as one thread would. Standard input is read beforehand, in that order.
int checkFiles(const std::vector<std::string>& files, unsigned jobs, DiagnosticReport& report) {
    DiagnosticSink shown = [&](const ckp::SyntaxError& error, Severity severity, bool context) {
        if (report.add(error, severity, context) && severity == Severity::Error) {
            checkStdout();
        }
    };
    int status = exitOk;
    auto tally = [&](const FileOutcome& outcome) {
        if (closeFile(report, outcome) == exitFailure) {
            status = exitFailure;
        }
    };
    if (jobs <= 1 || files.size() <= 1) {
        for (const std::string& file : files) {
            tally(checkFile(file, shown, nullptr));
        }
        return status;
    }
    std::vector<std::optional<std::string>> stdinBytes(files.size());
    std::vector<std::exception_ptr> stdinFailures(files.size());
    for (std::size_t i = 0; i < files.size(); ++i) {
        try {
            if (isStdout(files[i])) {
                stdinBytes[i] = readStream(stdin, "stdin");
            }
        } catch (...) {
            stdinFailures[i] = std::current_exception();
        }
    }
    auto work = [&](std::size_t i) {
        CheckedFile checked;
        DiagnosticSink kept = [&](const ckp::SyntaxError& error, Severity severity, bool context) {
            checked.diagnostics.push_back({error, severity, context});
        };
        try {
            if (stdinFailures[i]) {
                std::rethrow_exception(stdinFailures[i]);
            }
            checked.outcome = checkFile(files[i], kept, stdinBytes[i] ? &*stdinBytes[i] : nullptr);
        } catch (...) {
            checked.thrown = std::current_exception();
        }
        stdinBytes[i].reset();
        return checked;
    };
    forEachInOrder<CheckedFile>(files.size(), jobs, work, [&](std::size_t, CheckedFile&& checked) {
        for (const CheckedFile::Diagnostic& one : checked.diagnostics) {
            shown(one.error, one.severity, one.context);
        }
        if (checked.thrown) {
            std::rethrow_exception(checked.thrown);
        }
        tally(checked.outcome);
    });
    return status;
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
    unsigned jobs = options.jobs > 0 ? options.jobs : availableCores();
    int status = checkFiles(files, jobs, report);
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
