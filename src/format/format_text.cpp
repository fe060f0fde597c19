// The canonical form of a checkpoint file with its comments kept: what
// `ckp fmt` writes and what the Python package's format() returns.
#include "format_text.hpp"

#include <optional>
#include <vector>

#include "canonical.hpp"

namespace ckptool {
namespace {

// A record of the canonical text that gets comments back: its bytes there.
struct Commented {
    long start;
    long end;
    RecordComments comments;
    bool below; // the header's comments: it stays the first line
};

int syntaxVersion(const ckp::Record& record) {
    int version = -1;
    ckpGetSyntax(record.handle(), nullptr, &version);
    return version;
}

// A comment or blank line that ends in carriage returns: its text without
// them, which reads back the same; nullopt for any other record.
std::optional<std::string> commentWithoutCarriageReturns(const SourceRecord& source) {
    std::string_view text = withoutLineEnd(source.lines);
    if (source.record.type() != ckp::Type::Comment || text.empty() || text.back() != '\r' ||
        text.find('\n') != std::string_view::npos) {
        return std::nullopt;
    }
    return std::string(withoutCarriageReturns(text));
}

// Writes one record of the main file in canonical form; an include record
// is copied, the records of the included file stay in their own file. A
// file without a header record gets one.
void writeCanonical(CanonicalText& canonical, const SourceRecord& source) {
    const ckp::Record& record = source.record;
    if (record.type() == ckp::Type::Header && syntaxVersion(record) < 1) {
        canonical.writer().write_header();
    } else if (std::optional<std::string> comment = commentWithoutCarriageReturns(source)) {
        canonical.writer().raw(*comment, false);
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
        out += withComments(std::string_view(text).substr(start, end - start), c.comments, c.below);
        at = end;
    }
    out.append(text, at);
    return out;
}

using Walk = std::function<SourceFile(const std::function<void(const SourceRecord&)>&)>;

Formatted formatWalked(const Walk& walk, const SyntaxErrorSink& onError) {
    Formatted result;
    CanonicalText canonical;
    std::vector<Commented> commented;
    result.source = walk([&](const SourceRecord& source) {
        ckp::Type type = source.record.type();
        if (type == ckp::Type::Syntax) {
            onError(source.record.syntax_error());
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
        commented.push_back(
            {start, canonical.offset(), std::move(comments), type == ckp::Type::Header});
    });
    result.text = putBackComments(canonical.finish(), commented);
    return result;
}

} // namespace

Formatted formatText(const std::string& file, const SyntaxErrorSink& onError, bool followIncludes,
                     bool rootsOk) {
    return formatWalked(
        [&](const auto& visit) { return walkMainFile(file, visit, rootsOk, followIncludes); },
        onError);
}

Formatted formatBytes(const std::string& name, std::string bytes, const SyntaxErrorSink& onError,
                      bool followIncludes, bool rootsOk) {
    return formatWalked(
        [&](const auto& visit) {
            return walkBytes(name, std::move(bytes), visit, rootsOk, followIncludes);
        },
        onError);
}

} // namespace ckptool
