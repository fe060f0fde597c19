#include "diff.hpp"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace ckptool {
namespace {

constexpr std::size_t context = 3;
// Beyond this many cells the middle part is shown replaced as a whole
// rather than matched line by line.
constexpr std::size_t maxCells = std::size_t(1) << 22;

std::vector<std::string_view> splitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        std::size_t end = text.find('\n');
        end = end == std::string_view::npos ? text.size() : end + 1;
        lines.push_back(text.substr(0, end));
        text.remove_prefix(end);
    }
    return lines;
}

struct Edit {
    char kind; // ' ' kept, '-' removed, '+' added
    std::string_view line;
};

// The edit script of the middle parts a[0..n) and b[0..m) through their
// longest common subsequence.
void matchMiddle(const std::vector<std::string_view>& a, std::size_t a0, std::size_t n,
                 const std::vector<std::string_view>& b, std::size_t b0, std::size_t m,
                 std::vector<Edit>& edits) {
    if (n * m > maxCells) {
        for (std::size_t i = 0; i < n; ++i) {
            edits.push_back({'-', a[a0 + i]});
        }
        for (std::size_t j = 0; j < m; ++j) {
            edits.push_back({'+', b[b0 + j]});
        }
        return;
    }
    // lcs[i][j]: common lines of a[i..n) and b[j..m).
    std::vector<std::uint32_t> lcs((n + 1) * (m + 1), 0);
    auto at = [&](std::size_t i, std::size_t j) -> std::uint32_t& { return lcs[i * (m + 1) + j]; };
    for (std::size_t i = n; i-- > 0;) {
        for (std::size_t j = m; j-- > 0;) {
            at(i, j) = a[a0 + i] == b[b0 + j] ? at(i + 1, j + 1) + 1
                                              : std::max(at(i + 1, j), at(i, j + 1));
        }
    }
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < n || j < m) {
        if (i < n && j < m && a[a0 + i] == b[b0 + j]) {
            edits.push_back({' ', a[a0 + i]});
            ++i;
            ++j;
        } else if (j == m || (i < n && at(i + 1, j) >= at(i, j + 1))) {
            edits.push_back({'-', a[a0 + i++]});
        } else {
            edits.push_back({'+', b[b0 + j++]});
        }
    }
}

std::vector<Edit> editScript(const std::vector<std::string_view>& a,
                             const std::vector<std::string_view>& b) {
    std::size_t prefix = 0;
    while (prefix < a.size() && prefix < b.size() && a[prefix] == b[prefix]) {
        ++prefix;
    }
    std::size_t suffix = 0;
    while (suffix < a.size() - prefix && suffix < b.size() - prefix &&
           a[a.size() - 1 - suffix] == b[b.size() - 1 - suffix]) {
        ++suffix;
    }
    std::vector<Edit> edits;
    for (std::size_t i = 0; i < prefix; ++i) {
        edits.push_back({' ', a[i]});
    }
    matchMiddle(a, prefix, a.size() - prefix - suffix, b, prefix, b.size() - prefix - suffix,
                edits);
    for (std::size_t i = a.size() - suffix; i < a.size(); ++i) {
        edits.push_back({' ', a[i]});
    }
    return edits;
}

void putLine(std::string& out, char kind, std::string_view line) {
    out += kind;
    out += line;
    if (line.empty() || line.back() != '\n') {
        out += "\n\\ No newline at end of file\n";
    }
}

// "start,count" of a hunk's range; an empty range names the line before it.
std::string range(std::size_t start, std::size_t count) {
    return std::to_string(count == 0 ? start : start + 1) + "," + std::to_string(count);
}

} // namespace

std::string unifiedDiff(const std::string& name, std::string_view before, std::string_view after) {
    std::vector<Edit> edits = editScript(splitLines(before), splitLines(after));
    std::string out;
    std::size_t aLine = 0;
    std::size_t bLine = 0;
    std::size_t k = 0;
    while (k < edits.size()) {
        std::size_t change = k;
        while (change < edits.size() && edits[change].kind == ' ') {
            ++change;
        }
        if (change == edits.size()) {
            break;
        }
        // The hunk: context before the change, changes joined while fewer
        // than twice the context lines lie between them, context after.
        std::size_t start = change - std::min(context, change - k);
        std::size_t last = change;
        for (std::size_t t = change; t < edits.size(); ++t) {
            if (edits[t].kind != ' ') {
                last = t;
            } else if (t - last > 2 * context) {
                break;
            }
        }
        std::size_t end = std::min(edits.size(), last + 1 + context);
        for (; k < start; ++k) {
            ++aLine;
            ++bLine;
        }
        std::size_t aCount = 0;
        std::size_t bCount = 0;
        for (std::size_t t = start; t < end; ++t) {
            aCount += edits[t].kind != '+' ? 1 : 0;
            bCount += edits[t].kind != '-' ? 1 : 0;
        }
        if (out.empty()) {
            out = "--- " + name + "\n+++ " + name + " (canonical)\n";
        }
        out += "@@ -" + range(aLine, aCount) + " +" + range(bLine, bCount) + " @@\n";
        for (; k < end; ++k) {
            putLine(out, edits[k].kind, edits[k].line);
        }
        aLine += aCount;
        bLine += bCount;
    }
    return out;
}

} // namespace ckptool
