// Where the reader's lines lie in a file as an editor shows it. The reader
// cuts a line of more than 510 characters into pieces and counts each piece
// as a line; the command names the line and column an editor shows, and
// says where a line was cut.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace ckptool {

class SourceMap {
  public:
    SourceMap() = default;
    explicit SourceMap(std::string_view bytes);

    // A NUL among the first 8000 bytes: the file is no text (as git and grep
    // judge).
    bool binary() const { return binary_; }

    struct Place {
        long long line;
        int column;
    };
    // The editor's line and column of a reader's line and 1-based column
    // (a column of 0 or less stays as it is).
    Place editorPlace(long long readerLine, int column) const;

    // The editor's lines that the reader cuts, with the number of pieces
    // each is read as.
    struct LongLine {
        long long line;
        long long pieces;
    };
    const std::vector<LongLine>& longLines() const { return longLines_; }

  private:
    // Reader lines that continue a cut line, each with its piece's number
    // within that line (1 for the piece after the first cut).
    struct Piece {
        long long readerLine;
        long long index;
    };
    bool binary_ = false;
    std::vector<Piece> pieces_;
    std::vector<LongLine> longLines_;
};

} // namespace ckptool
