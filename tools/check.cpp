// ckp check: every record of every file read, includes followed; each
// syntax error shown with its place.
#include <cerrno>
#include <cstdio>
#include <string>

#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <unistd.h>

#include "canonical.hpp"
#include "check_files.hpp"
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

// Reads one file's records; an include whose file cannot be started (a
// faulty header) is reported at that file, and reading goes on in the
// includer, where the reader picks up again after handing out the failure
// (once or twice). Places are given as an editor shows them; the command's
// advice (a cut line, a file without a header, a binary file) goes with the
// library's errors.
class FileCheck {
  public:
    explicit FileCheck(DiagnosticReport& report) : report_(report) {}

    int run(const std::string& file) {
        if (isStdout(file)) {
            std::string bytes = readStream(stdin, "stdin");
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
            report_.add({file, 1, 0, "binary file", std::string()});
            return false;
        }
        for (const SourceMap::LongLine& cut : map.longLines()) {
            report_.add({file, cut.line, 511,
                         "line longer than 510 characters: it is read as " +
                             std::to_string(cut.pieces) + " lines, cut after every 510",
                         std::string()},
                        Severity::Warning);
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
            report_.add({file, 1, 1,
                         "no header: the file is read in the old syntax without one (version "
                         "0); a first line WRXCHECKPOINT=\"1.0\" makes it a file of the "
                         "current syntax",
                         std::string()},
                        Severity::Note);
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
        if (report_.add(error, Severity::Error, context)) {
            checkStdout();
        }
        status_ = resourceFault(error.message) ? exitFailure : status_;
    }

    DiagnosticReport& report_;
    std::map<std::string, SourceMap> maps_;
    int status_ = exitOk;
};

// Counts the syntax errors of one file; a file that cannot be read to its
// end is reported on stderr and makes the whole run fail with 2, as does a
// resource failure.
int checkFile(const std::string& file, DiagnosticReport& report) {
    try {
        int status = FileCheck(report).run(file);
        report.closeFiles();
        return status;
    } catch (const ckp::Error& e) {
        report.closeFiles();
        std::fflush(stdout);
        std::string message = escapeControls(aboutFile(file, e.what()));
        std::fprintf(stderr, "ckp: %s\n", message.c_str());
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
