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
#include "output.hpp"
#include "source_lines.hpp"

namespace ckptool {
namespace {

// A record of the canonical text that gets comments back: its bytes there.
struct Commented {
    long start;
    long end;
    RecordComments comments;
};

struct Formatted {
    SourceFile source;
    std::string text;
    long errors = 0;
};

int syntaxVersion(const ckp::Record& record) {
    int version = -1;
    ckpGetSyntax(record.handle(), nullptr, &version);
    return version;
}

// Writes one record of the main file in canonical form; an include record
// is copied, the records of the included file stay in their own file. A
// file without a header record gets one.
void writeCanonical(CanonicalText& canonical, const SourceRecord& source) {
    const ckp::Record& record = source.record;
    if (record.type() == ckp::Type::Header && syntaxVersion(record) < 1) {
        canonical.writer().write_header();
    } else {
        canonical.writer().transfer(record);
    }
}

std::string putBackComments(const std::string& text, const std::vector<Commented>& commented) {
    std::string out;
    out.reserve(text.size());
    std::size_t at = 0;
    for (const Commented& c : commented) {
        auto start = static_cast<std::size_t>(c.start);
        auto end = static_cast<std::size_t>(c.end);
        out.append(text, at, start - at);
        out += withComments(std::string_view(text).substr(start, end - start), c.comments);
        at = end;
    }
    out.append(text, at);
    return out;
}

// The canonical form of `file` in memory. Syntax errors are shown on stderr
// and counted; with any, the text is not to be used.
Formatted format(const std::string& file) {
    Formatted result;
    CanonicalText canonical;
    std::vector<Commented> commented;
    result.source = walkMainFile(file, [&](const SourceRecord& source) {
        ckp::Type type = source.record.type();
        if (type == ckp::Type::Syntax) {
            printSyntaxError(stderr, source.record.syntax_error());
            ++result.errors;
            return;
        }
        if (source.included || type == ckp::Type::EndInclude || result.errors > 0) {
            return;
        }
        RecordComments comments;
        if (type != ckp::Type::Comment) {
            comments = commentsOf(source.lines);
        }
        if (comments.empty()) {
            writeCanonical(canonical, source);
            return;
        }
        long start = canonical.offset();
        writeCanonical(canonical, source);
        commented.push_back({start, canonical.offset(), std::move(comments)});
    });
    result.text = putBackComments(canonical.finish(), commented);
    return result;
}

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

// Formats one file as the options say: checked, shown as a diff, or
// published.
int fmtFile(const std::string& file, const FmtOptions& options) {
    if (options.inPlace && isStdout(file)) {
        throw ToolError("-i needs a file, not standard input");
    }
    if (!isStdout(options.output) && sameFile(file, options.output)) {
        throw ToolError("-o names the input file; use -i to rewrite it in place");
    }
    bool compare = options.check || options.diff;
    std::optional<Output> output;
    if (!compare) {
        output.emplace(options.inPlace ? inputFile(file) : options.output);
    }
    Formatted formatted;
    try {
        formatted = format(file);
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
            status = std::max(status, fmtFile(file, options));
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
