// The canonical form of a checkpoint file with its comments kept: what
// `ckp fmt` writes and what the Python package's format() returns.
#include "format_text.hpp"

#include <algorithm>
#include <optional>
#include <vector>

#include "canonical.hpp"

namespace ckptool {
namespace {

// A record of the canonical text that gets its comments back, or a record
// kept as it was written: its bytes there and what takes their place.
struct Splice {
    long start;
    long end;
    RecordComments comments;
    bool below = false;        // the header's comments: it stays the first line
    bool keptVerbatim = false; // its own lines, where they lie in the file's bytes:
    std::size_t from = 0;
    std::size_t size = 0;
};

int syntaxVersion(const ckp::Record& record) {
    int version = -1;
    ckpGetSyntax(record.handle(), nullptr, &version);
    return version;
}

// A comment or blank line that ends in carriage returns: its text without
// them, which reads back the same; nullopt for any other record. The text
// is the record's last line: a blank line before it that the reader dropped
// (the first line of a file without a header) may precede it.
std::optional<std::string> commentWithoutCarriageReturns(const SourceRecord& source) {
    std::string_view text = withoutLineEnd(source.lines);
    text.remove_prefix(std::min(text.size(), text.rfind('\n') + 1));
    if (source.record.type() != ckp::Type::Comment || text.empty() || text.back() != '\r') {
        return std::nullopt;
    }
    return std::string(withoutCarriageReturns(text));
}

// Writes one record of the main file in canonical form; an include record
// is copied, the records of the included file stay in their own file. A
// file without a header record gets one. Returns false, having written
// nothing, for a record that the writer cannot write so that it reads back
// as it is: one without a path (the writer gives it a bare line end) or one
// the writer refuses.
bool writeCanonical(CanonicalText& canonical, const SourceRecord& source) {
    const ckp::Record& record = source.record;
    if (record.type() == ckp::Type::Header && syntaxVersion(record) < 1) {
        canonical.writer().write_header();
    } else if (std::optional<std::string> comment = commentWithoutCarriageReturns(source)) {
        canonical.writer().raw(*comment, false);
    } else if (record.type() == ckp::Type::None) {
        return false;
    } else {
        try {
            canonical.writer().transfer(record);
        } catch (const ckp::Error& e) {
            if (e.operation() != "ckpXfer") {
                throw;
            }
            return false;
        }
    }
    return true;
}

std::string putBack(std::string text, const std::vector<Splice>& splices,
                    const std::string& bytes) {
    if (splices.empty()) {
        return text;
    }
    std::string out;
    out.reserve(text.size());
    std::size_t at = 0;
    for (const Splice& splice : splices) {
        auto start = static_cast<std::size_t>(splice.start);
        auto end = static_cast<std::size_t>(splice.end);
        out.append(text, at, start - at);
        if (splice.keptVerbatim) {
            out.append(bytes, splice.from, splice.size);
        } else {
            std::string_view record = std::string_view(text).substr(start, end - start);
            out += withComments(record, splice.comments, splice.below);
        }
        at = end;
    }
    out.append(text, at);
    return out;
}

// Formats the records handed to it one by one.
class Formatter {
  public:
    Formatter(const SyntaxErrorSink& onError, long& errors) : onError_(onError), errors_(errors) {}

    void take(const SourceRecord& source) {
        ckp::Type type = source.record.type();
        if (type == ckp::Type::Syntax) {
            onError_(source.record.syntax_error());
            ++errors_;
            return;
        }
        if (source.included || type == ckp::Type::EndInclude || errors_ > 0 || keepFile_) {
            return;
        }
        if (type == ckp::Type::Header) {
            version_ = syntaxVersion(source.record);
            // A file without a header whose first line is continued: the
            // reader drops what the header check took beyond that line, and
            // whatever it held (comments too) would be lost with it.
            keepFile_ = version_ < 1 && source.record.end_line() > 1;
        }
        claimed_ = source.offset + source.lines.size();
        RecordComments comments;
        if (type != ckp::Type::Comment) {
            comments = commentsOf(source.lines);
        }
        if (comments.empty() && writeCanonical(canonical_, source)) {
            return;
        }
        long start = canonical_.offset();
        if (comments.empty() || !writeCanonical(canonical_, source)) {
            keepAsWritten(source, start);
            return;
        }
        splices_.push_back(
            {start, canonical_.offset(), std::move(comments), type == ckp::Type::Header});
    }

    // The canonical text; `bytes` unchanged when some record had to be kept
    // as written in a file whose records are all rewritten in another syntax.
    std::string finish(const std::string& bytes) {
        std::string text = putBack(canonical_.finish(), splices_, bytes);
        // Lines at the end that no record holds: read by the header check
        // of a file without a header, then dropped by the reader.
        keepFile_ = keepFile_ || (errors_ == 0 && claimed_ != bytes.size());
        if (keepFile_) {
            return bytes;
        }
        return text;
    }

  private:
    // A record that has no canonical form keeps its lines, comments and all.
    // In a file of syntax version 0 its lines would read differently below
    // the header that the rest gets, so the whole file stays as it is.
    void keepAsWritten(const SourceRecord& source, long at) {
        if (version_ < 1) {
            keepFile_ = true;
            return;
        }
        splices_.push_back({at, at, {}, false, true, source.offset, source.lines.size()});
    }

    const SyntaxErrorSink& onError_;
    long& errors_;
    CanonicalText canonical_;
    std::vector<Splice> splices_;
    int version_ = 1;
    bool keepFile_ = false;
    std::size_t claimed_ = 0; // the end of the last record's lines
};

using Walk = std::function<SourceFile(const std::function<void(const SourceRecord&)>&)>;

Formatted formatWalked(const Walk& walk, const SyntaxErrorSink& onError) {
    Formatted result;
    Formatter formatter(onError, result.errors);
    result.source = walk([&](const SourceRecord& source) { formatter.take(source); });
    result.text = formatter.finish(result.source.bytes);
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
