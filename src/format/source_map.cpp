#include "source_map.hpp"

#include <algorithm>
#include <cstring>

namespace ckptool {
namespace {

constexpr std::size_t piece = 510;
constexpr std::size_t binaryProbe = 8000;

// The characters of a line that the reader counts: its line feed, and a
// carriage return before it, are no part of it.
std::size_t contentLength(std::string_view line) {
    std::size_t n = line.size();
    if (n > 0 && line[n - 1] == '\n') {
        --n;
        if (n > 0 && line[n - 1] == '\r') {
            --n;
        }
    }
    return n;
}

} // namespace

SourceMap::SourceMap(std::string_view bytes) {
    binary_ = std::memchr(bytes.data(), '\0', std::min(bytes.size(), binaryProbe)) != nullptr;
    long long editorLine = 0;
    long long readerLine = 0;
    std::size_t at = 0;
    while (at < bytes.size()) {
        const void* lf = std::memchr(bytes.data() + at, '\n', bytes.size() - at);
        std::size_t end =
            lf != nullptr
                ? static_cast<std::size_t>(static_cast<const char*>(lf) - bytes.data()) + 1
                : bytes.size();
        std::size_t length = contentLength(bytes.substr(at, end - at));
        auto pieces =
            static_cast<long long>(std::max<std::size_t>(1, (length + piece - 1) / piece));
        ++editorLine;
        ++readerLine;
        if (pieces > 1) {
            longLines_.push_back({editorLine, pieces});
            for (long long k = 1; k < pieces; ++k) {
                pieces_.push_back({++readerLine, k});
            }
        }
        at = end;
    }
}

SourceMap::Place SourceMap::editorPlace(long long readerLine, int column) const {
    // The pieces up to this line, and whether this line is one of them.
    auto after =
        std::upper_bound(pieces_.begin(), pieces_.end(), readerLine,
                         [](long long line, const Piece& p) { return line < p.readerLine; });
    auto cut = static_cast<long long>(after - pieces_.begin());
    Place place{readerLine - cut, column};
    if (after != pieces_.begin() && (after - 1)->readerLine == readerLine && column > 0) {
        place.column =
            column + static_cast<int>((after - 1)->index * static_cast<long long>(piece));
    }
    return place;
}

} // namespace ckptool
