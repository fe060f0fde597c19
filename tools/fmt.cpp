// ckp fmt: a file rewritten through the writer in its canonical form.
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "commands.hpp"
#include "diagnostics.hpp"
#include "output_file.hpp"

namespace ckptool {
namespace {

// Copies every record of `file` to `out`; the records of included files stay
// in their own files, only the include record is copied. A file without a
// header record gets one. Returns the number of syntax errors, shown on
// stderr; with any, the output is not to be used.
long copyCanonical(const std::string& file, const std::string& out) {
    ckp::Reader reader(file);
    ckp::Writer writer(out);
    long errors = 0;
    int depth = 0;
    for (const ckp::Record& record : reader) {
        ckp::Type type = record.type();
        if (type == ckp::Type::Syntax) {
            printSyntaxError(stderr, record.syntax_error());
            ++errors;
        } else if (type == ckp::Type::EndInclude) {
            --depth;
        } else if (type == ckp::Type::Include) {
            if (depth++ == 0) {
                writer.transfer(record);
            }
        } else if (depth > 0) {
            continue;
        } else if (type == ckp::Type::Header && reader.syntax_version() < 1) {
            writer.write_header();
        } else {
            writer.transfer(record);
        }
    }
    writer.close();
    return errors;
}

bool sameFile(const std::string& a, const std::string& b) {
    std::error_code ec;
    return std::filesystem::equivalent(a, b, ec) && !ec;
}

void copyToStdout(const std::string& path) {
    std::string bytes = readWholeFile(path);
    if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size() ||
        std::fflush(stdout) != 0) {
        throw ToolError("cannot write to standard output");
    }
}

} // namespace

int runFmt(const FmtOptions& options) {
    if (options.inPlace && !options.output.empty()) {
        throw ToolError("-i and -o exclude each other");
    }
    if (!options.output.empty() && sameFile(options.file, options.output)) {
        throw ToolError("-o names the input file; use -i to rewrite it in place");
    }
    const std::string target = options.inPlace ? options.file : options.output;
    AtomicOutput output(options.check ? std::string() : target);
    try {
        if (copyCanonical(options.file, output.path()) > 0) {
            return exitFindings;
        }
    } catch (const ckp::Error& e) {
        throw ToolError(aboutFile(options.file, e.what()));
    }
    if (options.check) {
        if (readWholeFile(options.file) == readWholeFile(output.path())) {
            return exitOk;
        }
        std::fprintf(stderr, "ckp: %s is not in canonical form\n", options.file.c_str());
        return exitFindings;
    }
    if (target.empty()) {
        copyToStdout(output.path());
    } else {
        output.commit();
    }
    return exitOk;
}

} // namespace ckptool
