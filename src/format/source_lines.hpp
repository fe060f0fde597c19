// The physical lines of a checkpoint file as the reader counts them, and the
// comments on them. The reader drops trailing comments and comment lines
// inside a continued record; rewrites that keep comments take them from here.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "ckp/ckp.hpp"

namespace ckptool {

// The file's bytes; throws ToolError when it cannot be read.
std::string readWholeFile(const std::string& path);

// Walks a file's bytes line by line, cut where the reader cuts them: at each
// line end, and after 510 characters of a longer line (the line end that
// follows such a piece belongs to it). Each line keeps its line end.
class LineCursor {
  public:
    explicit LineCursor(std::string_view bytes) : bytes_(bytes) {}
    // The lines after the last one taken, up to line `last` (1-based), or
    // up to the end when the bytes end before it.
    std::string_view takeThrough(long long last);
    long long taken() const { return number_; }
    std::size_t offset() const { return at_; }

  private:
    std::string_view next();
    std::string_view bytes_;
    std::size_t at_ = 0;
    long long number_ = 0;
};

// Where the comment of one line begins: at its first ';' that no backslash
// escapes, as the reader cuts it; npos when the line has none. A NUL ends
// the line's content for the reader, so nothing after it counts.
std::size_t findComment(std::string_view line);

// A line without its line end (LF, or CR LF as the reader takes it).
std::string_view withoutLineEnd(std::string_view line);

// Text without the carriage returns at its end: the reader takes one before
// a line feed as part of the line end, so a comment written with it would
// not read back the same.
std::string_view withoutCarriageReturns(std::string_view text);

// True when the last line of a record's lines that holds content ends in a
// backslash, so that the record goes on with whatever line follows;
// *backslash is then where that backslash is in `lines`.
bool endsContinued(std::string_view lines, std::size_t* backslash);

// The comments of one record that the reader does not hand out.
struct RecordComments {
    std::vector<std::string> lines; // comment lines inside the record, in order
    std::string trailing;           // the comment at the end of its last line
    bool empty() const { return lines.empty() && trailing.empty(); }
};

// The comments in a record's physical lines (the record being no comment
// record itself: those are copied whole by the writer).
RecordComments commentsOf(std::string_view lines);

// A record's canonical text (its lines, each with its line end) with its
// comments put back: the trailing one at the end of the last line when the
// line then still reads as one piece, every other one on a comment line
// directly above the record, or directly below it when `below` (the header,
// which must stay the first line).
std::string withComments(std::string_view canonical, const RecordComments& comments,
                         bool below = false);

// One record of the main file with its physical lines; `lines` is empty for a
// record that has none of its own (the empty header of syntax version 0,
// the end of an include).
struct SourceRecord {
    const ckp::Record& record;
    std::string_view lines;
    std::size_t offset; // where the lines begin in the file's bytes
    bool included;      // a record of an included file: no lines here
};

struct SourceFile {
    std::string name; // as the reader found it
    std::string bytes;
};

// Reads `file` (its name as the reader finds it: NAME or NAME.Ckpt) and hands
// every record to visit, in order, those of the main file itself with their
// lines. Returns the file's name and bytes. Throws ckp::Error when the file cannot be
// read, ToolError when it changed while it was read.
// With rootsOk, paths that start at a root are accepted (as in setups).
// Without followIncludes, an include record is handed over but the file it
// names is not opened.
SourceFile walkMainFile(const std::string& file,
                        const std::function<void(const SourceRecord&)>& visit, bool rootsOk = false,
                        bool followIncludes = true);

// The same for bytes in memory that stand for the file `name`.
SourceFile walkBytes(const std::string& name, std::string bytes,
                     const std::function<void(const SourceRecord&)>& visit, bool rootsOk,
                     bool followIncludes);

} // namespace ckptool
