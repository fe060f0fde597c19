// Fuzz target, the formatter's oracle: for every input that reads without
// a syntax error, `ckp fmt` must succeed, and its output must
//   - hold the same records (type, path, properties in order, values and
//     flags) in the main file, the header of a file without one aside;
//   - hold the same comments (a comment's carriage returns at the end of
//     its line aside: they would read back as part of the line end); their
//     order is not compared, as the comments inside a continued header go
//     below it while its trailing one may stay on its last line;
//   - be its own canonical form.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "format_text.hpp"
#include "fuzz_common.hpp"
#include "fuzz_records.hpp"
#include "source_lines.hpp"

namespace {

using fuzzrec::inMainFile;
using fuzzrec::Prop;
using fuzzrec::Record;
using fuzzrec::takeRecord;

struct Reading {
    bool clean = false; // read to its end without a syntax error
    int syntax = -9;
    std::vector<Record> records; // of the main file, comments left out
};

Reading readAll(const std::string& path) {
    Reading got;
    ckpInfo* in = ckpOpen(path.c_str(), "R");
    if (in == nullptr) {
        return got;
    }
    (void)ckpGetSyntax(in, nullptr, &got.syntax);
    for (int n = 0; n < ckpfuzz::maxRecords; ++n) {
        if (ckpGets(in) == 0) {
            break;
        }
        int type = ckpGetType(in);
        if (type == ckpTypeEnd) {
            got.clean = true;
            break;
        }
        if (type == ckpTypeError || type == ckpTypeSyntax) {
            break;
        }
        if (type != ckpTypeComment && type != ckpTypeEndInclude && inMainFile(in)) {
            got.records.push_back(takeRecord(in, type));
        }
    }
    (void)ckpClose(in);
    return got;
}

// Every comment of the file, as the reader cuts its lines, sorted.
std::vector<std::string> commentsIn(const std::string& bytes) {
    std::vector<std::string> comments;
    ckptool::LineCursor cursor(bytes);
    while (cursor.offset() < bytes.size()) {
        std::string_view line = ckptool::withoutLineEnd(cursor.takeThrough(cursor.taken() + 1));
        std::size_t at = ckptool::findComment(line);
        if (at != std::string_view::npos) {
            comments.emplace_back(ckptool::withoutCarriageReturns(line.substr(at)));
        }
    }
    std::sort(comments.begin(), comments.end());
    return comments;
}

std::string formatted(const std::string& path) {
    try {
        ckptool::Formatted out =
            ckptool::formatText(path, [](const ckp::SyntaxError&) { std::abort(); });
        if (out.errors != 0) {
            std::abort();
        }
        return out.text;
    } catch (const std::exception& e) {
        // A file the reader takes is never refused.
        std::fprintf(stderr, "fmt failed: %s\n", e.what());
        std::abort();
    }
}

void explain(const Reading& first, const Reading& second) {
    if (std::getenv("CKP_FUZZ_EXPLAIN") == nullptr) {
        return;
    }
    for (const Reading* reading : {&first, &second}) {
        std::fprintf(stderr, "--- %s (syntax %d)\n", reading == &first ? "input" : "output",
                     reading->syntax);
        fuzzrec::printRecords(reading->records);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ckpfuzz::installQuietReporter();
    std::string inPath = ckpfuzz::scratchFile("in.ckpt");
    std::string outPath = ckpfuzz::scratchFile("out.ckpt");
    ckpfuzz::writeBytes(inPath, data, size);
    Reading input = readAll(inPath);
    if (!input.clean) {
        return 0; // only what the reader takes must be kept
    }
    std::string text = formatted(inPath);
    ckpfuzz::writeBytes(outPath, reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    Reading output = readAll(outPath);
    if (input.syntax < 1 && text != std::string(reinterpret_cast<const char*>(data), size) &&
        !input.records.empty()) {
        input.records.front().props.clear(); // the header that fmt gives
    }
    if (!output.clean || output.records != input.records) {
        explain(input, output);
        std::abort();
    }
    if (commentsIn(text) != commentsIn(std::string(reinterpret_cast<const char*>(data), size))) {
        std::abort();
    }
    if (formatted(outPath) != text) {
        std::abort();
    }
    return 0;
}
