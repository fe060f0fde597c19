#include "source_lines.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include "canonical.hpp"
#include "ckp/ckpx.h"
#include "ckp/kvo.h"
#include "format_error.hpp"

namespace ckptool {
namespace {

// The widest piece of a line that the reader takes in one go.
constexpr std::size_t linePiece = 510;

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view skipBlanks(std::string_view text) {
    std::size_t n = 0;
    while (n < text.size() && isBlank(text[n])) {
        ++n;
    }
    return text.substr(n);
}

} // namespace

std::string readWholeFile(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        throw ToolError("cannot read " + path + ": " + std::strerror(errno));
    }
    try {
        std::string bytes = readStream(file, path);
        std::fclose(file);
        return bytes;
    } catch (...) {
        std::fclose(file);
        throw;
    }
}

std::string_view LineCursor::next() {
    // Looks no further than one piece ahead, so that a long line costs its
    // length once, not once per piece.
    std::size_t end = bytes_.substr(0, at_ + linePiece + 1).find('\n', at_);
    end = end == std::string_view::npos ? std::min(bytes_.size(), at_ + linePiece + 1) : end + 1;
    if (end - at_ > linePiece) {
        end = at_ + linePiece;
        if (bytes_.compare(end, 1, "\n") == 0) {
            end += 1;
        } else if (bytes_.compare(end, 2, "\r\n") == 0) {
            end += 2;
        }
    }
    std::string_view line = bytes_.substr(at_, end - at_);
    at_ = end;
    ++number_;
    return line;
}

std::string_view LineCursor::takeThrough(long long last) {
    std::size_t from = at_;
    while (number_ < last && at_ < bytes_.size()) {
        next();
    }
    return bytes_.substr(from, at_ - from);
}

std::size_t findComment(std::string_view line) {
    line = line.substr(0, line.find('\0'));
    for (std::size_t at = line.find(';'); at != std::string_view::npos;
         at = line.find(';', at + 1)) {
        if (at == 0 || line[at - 1] != '\\') {
            return at;
        }
    }
    return std::string_view::npos;
}

std::string_view withoutLineEnd(std::string_view line) {
    if (!line.empty() && line.back() == '\n') {
        line.remove_suffix(1);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
    }
    return line;
}

std::string_view withoutCarriageReturns(std::string_view text) {
    while (!text.empty() && text.back() == '\r') {
        text.remove_suffix(1);
    }
    return text;
}

bool endsContinued(std::string_view lines, std::size_t* backslash) {
    LineCursor cursor(lines);
    bool continued = false;
    while (cursor.offset() < lines.size()) {
        std::size_t start = cursor.offset();
        std::string_view line = withoutLineEnd(cursor.takeThrough(cursor.taken() + 1));
        std::string_view content = line.substr(0, std::min(findComment(line), line.size()));
        if (skipBlanks(line).empty() || skipBlanks(line).front() == ';') {
            continue; // blank and comment lines leave a continuation open
        }
        continued = !content.empty() && content.back() == '\\';
        if (continued) {
            *backslash = start + content.size() - 1;
        }
    }
    return continued;
}

RecordComments commentsOf(std::string_view lines) {
    RecordComments comments;
    LineCursor cursor(lines);
    std::size_t end = 0;
    while (cursor.offset() < lines.size()) {
        std::string_view line = withoutLineEnd(cursor.takeThrough(cursor.taken() + 1));
        end = cursor.offset();
        std::size_t at = findComment(line);
        if (at == std::string_view::npos) {
            continue;
        }
        std::string text(withoutCarriageReturns(line.substr(at)));
        bool wholeLine = skipBlanks(line).front() == ';';
        if (!wholeLine && end == lines.size()) {
            comments.trailing = std::move(text);
        } else {
            comments.lines.push_back(std::move(text));
        }
    }
    return comments;
}

namespace {

std::string commentLines(const std::vector<std::string>& lines) {
    std::string out;
    for (const std::string& line : lines) {
        out += line;
        out += '\n';
    }
    return out;
}

} // namespace

std::string withComments(std::string_view canonical, const RecordComments& comments, bool below) {
    std::string before = below ? std::string() : commentLines(comments.lines);
    std::string after = below ? commentLines(comments.lines) : std::string();
    if (comments.trailing.empty()) {
        return before + std::string(canonical) + after;
    }
    std::string_view last = withoutLineEnd(canonical);
    std::size_t lastStart = last.rfind('\n');
    lastStart = lastStart == std::string_view::npos ? 0 : lastStart + 1;
    if (last.size() - lastStart + 1 + comments.trailing.size() > linePiece) {
        (below ? after : before) += comments.trailing + '\n';
        return before + std::string(canonical) + after;
    }
    std::string record(last);
    record += ' ';
    record += comments.trailing;
    record += canonical.substr(last.size());
    return before + record + after;
}

namespace {

// Standard input, a pipe or a device: read once, into memory, and handed to
// the reader from there.
bool readableOnce(const std::string& file) {
    const char* name = file.c_str();
    return file == "-" || (kvoFileExists(name) && !kvoIsRegularFile(name) && !kvoIsDirectory(name));
}

void walkRecords(ckp::Reader& reader, const SourceFile& source,
                 const std::function<void(const SourceRecord&)>& visit, bool followIncludes) {
    LineCursor cursor(source.bytes);
    long long headerLast = 0; // lines read by the header check of a file without one
    reader.follow_includes(followIncludes);
    while (reader.next_record()) {
        ckp::Record record = reader.record();
        const ckp::Place& place = reader.place();
        ckp::Type type = record.type();
        std::size_t offset = cursor.offset();
        std::string_view lines;
        long long last = place.level == 0 && type != ckp::Type::EndInclude ? place.end_line : 0;
        // The header record of a file without one holds no line of its own:
        // its first line is read again as the first record.
        if (type == ckp::Type::Header && reader.syntax_version() < 1) {
            headerLast = last;
            last = 0;
        }
        if (last > cursor.taken()) {
            lines = cursor.takeThrough(last);
            if (cursor.taken() != last) {
                throw ToolError(source.name + ": the file changed while it was read");
            }
        }
        visit(SourceRecord{record, lines, offset, place.level > 0});
    }
    // The lines that the header check of a file without one took, and the
    // reader then dropped, belong to no record (a continued first line
    // that reads as nothing in syntax version 0).
    if (cursor.offset() != source.bytes.size() && cursor.taken() < headerLast) {
        cursor.takeThrough(headerLast);
    }
    if (cursor.offset() != source.bytes.size()) {
        throw ToolError(source.name + ": the file changed while it was read");
    }
}

} // namespace

SourceFile walkBytes(const std::string& name, std::string bytes,
                     const std::function<void(const SourceRecord&)>& visit, bool rootsOk,
                     bool followIncludes) {
    SourceFile source{name, std::move(bytes)};
    MemoryStream input(source.bytes, name);
    // Standard input's name ("-") is no file to take includes relative to.
    const char* shown = name == "-" ? nullptr : name.c_str();
    ckp::Reader reader(ckpxOpenStream(input.stream(), shown, "R"), rootsOk);
    walkRecords(reader, source, visit, followIncludes);
    return source;
}

SourceFile walkMainFile(const std::string& file,
                        const std::function<void(const SourceRecord&)>& visit, bool rootsOk,
                        bool followIncludes) {
    if (readableOnce(file)) {
        std::string bytes = file == "-" ? readStream(stdin, "standard input") : readWholeFile(file);
        return walkBytes(file, std::move(bytes), visit, rootsOk, followIncludes);
    }
    SourceFile source;
    ckp::Reader reader(file, rootsOk);
    char* found = nullptr;
    source.name =
        ckpGetName(reader.handle(), 0, &found) != 0 && found != nullptr ? std::string(found) : file;
    source.bytes = readWholeFile(source.name);
    walkRecords(reader, source, visit, followIncludes);
    return source;
}

} // namespace ckptool
