// An oracle shared by the fuzz targets: a record reads the same wherever it
// stands. Two rewritings of an input that leave every record as it is must
// read alike:
//  - a file without header, behind a comment line: its first record, read
//    again after the header check, reads as any later record does (one line
//    further down);
//  - every line padded with leading blanks to exactly 510 characters, so
//    that the reader's 510-character piece ends where the line ends: a line
//    reads the same wherever its piece ends.
// A difference aborts.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "ckp/ckp.h"
#include "fuzz_common.hpp"

namespace ckpfuzz {

namespace placement {

inline int collect(const char* text, void* userdata) {
    static_cast<std::string*>(userdata)->append(text);
    return 1;
}

// The reported line number of the current record, and with withText the
// record's first line as the report prints it ahead of that.
inline long long reportOf(ckpInfo* info, bool withText, std::string* text) {
    std::string all;
    kvoReportHandler previous = nullptr;
    void* previousData = nullptr;
    kvoGetReportHandler(&previous, &previousData);
    kvoSetReportHandler(&collect, &all);
    ckpReport(info, nullptr, 0, withText ? -1 : 0, "", "");
    kvoSetReportHandler(previous, previousData);
    std::size_t at = all.rfind(" on line ");
    if (at == std::string::npos) {
        std::abort(); // a record without a report line
    }
    if (text != nullptr) {
        std::size_t end = all.rfind('\n', at);
        *text = end == std::string::npos ? std::string() : all.substr(0, end);
    }
    return std::strtoll(all.c_str() + at + 9, nullptr, 10);
}

// The first and last physical line of each record, the last as reported:
// records partition the lines of their file, so a record begins after the
// one before it in the same file (the way `ckp json` finds its "line").
struct Spans {
    std::vector<long long> before{0};
    std::string of(int type, long long last) {
        long long first = last;
        if (type == ckpTypeEndInclude) {
            if (before.size() > 1) {
                before.pop_back();
            }
        } else {
            first = last > before.back() ? before.back() + 1 : last;
            before.back() = std::max(before.back(), last);
            if (type == ckpTypeInclude) {
                before.push_back(0);
            }
        }
        return std::to_string(first) + "-" + std::to_string(last);
    }
};

// What a caller sees of one record, its line numbers less `shift`. A
// comment's text is taken without its leading blanks, which padding adds.
inline std::string seen(ckpInfo* info, int type, Spans& spans, long long shift) {
    std::string text;
    long long last = reportOf(info, type == ckpTypeComment, &text);
    std::string s = std::to_string(type) + "@" + spans.of(type, last - shift);
    if (type == ckpTypeComment) {
        std::size_t start = text.find_first_not_of(" \t\v");
        return s + " [" + (start == std::string::npos ? "" : text.substr(start)) + "]";
    }
    if (type == ckpTypeSyntax) {
        s += " !" + std::string(ckpGetError());
    }
    if (type != ckpTypeHeader && type != ckpTypeEndInclude) {
        const char* path = ckpGetObjPath(info);
        s += " [" + std::string(path != nullptr ? path : "<null>") + "]";
    }
    int id = 0;
    char* name = nullptr;
    char* value = nullptr;
    while (ckpGenProp(info, &id, &name, &value) == 1) {
        s += " " + std::string(name != nullptr ? name : "<null>") +
             (value != nullptr ? "=" + std::string(value) : "");
    }
    return s;
}

struct Read {
    bool opened = false;
    int syntax = -9;
    std::vector<std::string> records;
};

inline Read readFile(const std::string& path, long long shift) {
    Read r;
    ckpInfo* info = ckpOpen(path.c_str(), "R");
    if (info == nullptr) {
        return r;
    }
    r.opened = true;
    (void)ckpGetSyntax(info, nullptr, &r.syntax);
    Spans spans;
    for (int n = 0; n < maxRecords && ckpGets(info) == 1; ++n) {
        int type = ckpGetType(info);
        if (type == ckpTypeEnd || type == ckpTypeError) {
            break;
        }
        r.records.push_back(seen(info, type, spans, shift));
    }
    (void)ckpClose(info);
    return r;
}

// The input with every line that one piece holds padded with leading
// blanks to 510 characters (not counting the CR of a CR LF line end); at
// most `budget` bytes of padding, so that the file stays small.
inline std::string padLines(const std::string& in, std::size_t budget) {
    std::string out;
    std::size_t pos = 0;
    while (pos < in.size()) {
        std::size_t lf = in.find('\n', pos);
        std::size_t end = lf == std::string::npos ? in.size() : lf;
        std::size_t core = end - pos;
        if (lf != std::string::npos && core > 0 && in[end - 1] == '\r') {
            --core; // the CR of the line end
        }
        if (core < 510 && 510 - core <= budget) {
            out.append(510 - core, ' ');
            budget -= 510 - core;
        }
        out.append(in, pos, (lf == std::string::npos ? end : lf + 1) - pos);
        pos = lf == std::string::npos ? in.size() : lf + 1;
    }
    return out;
}

inline void mismatch(const Read& want, const Read& got, const char* what) {
    if (std::getenv("CKP_FUZZ_EXPLAIN") != nullptr) {
        std::fprintf(stderr, "--- %s: expected\n", what);
        for (const std::string& s : want.records) {
            std::fprintf(stderr, "%s\n", s.c_str());
        }
        std::fprintf(stderr, "--- got\n");
        for (const std::string& s : got.records) {
            std::fprintf(stderr, "%s\n", s.c_str());
        }
    }
    std::abort();
}

// Padding leaves every record as it is.
inline void checkPadding(const std::string& path, const std::string& bytes, const Read& plain) {
    std::string padded = padLines(bytes, 256 * 1024);
    if (padded.size() == bytes.size()) {
        return;
    }
    writeBytes(path, reinterpret_cast<const std::uint8_t*>(padded.data()), padded.size());
    Read got = readFile(path, 0);
    if (got.opened != plain.opened || got.syntax != plain.syntax || got.records != plain.records) {
        mismatch(plain, got, "padded");
    }
}

// A file without header reads the same behind a comment line, one line
// further down; the comment is read again as the first record. A blank first
// line, which is not read again, is then the header's in the plain file, a
// blank record behind the comment.
inline void checkBehindComment(const std::string& path, const std::string& bytes,
                               const Read& plain) {
    if (!plain.opened || plain.syntax != 0 || plain.records.empty()) {
        return;
    }
    std::string shifted = "; neutral\n" + bytes;
    writeBytes(path, reinterpret_cast<const std::uint8_t*>(shifted.data()), shifted.size());
    Read got = readFile(path, 1);
    if (!got.opened || got.syntax != 0 || got.records.size() < 2 ||
        got.records[1] != "3@0-0 [; neutral]") {
        mismatch(plain, got, "behind a comment");
    }
    std::vector<std::string> rest(got.records.begin() + 2, got.records.end());
    std::vector<std::string> want(plain.records.begin() + 1, plain.records.end());
    if (plain.records.front() == "6@1-1" && !rest.empty() && rest.front() == "3@1-1 []") {
        rest.erase(rest.begin()); // the blank first line
    }
    if (rest != want) {
        Read w;
        w.records = want;
        Read g;
        g.records = rest;
        mismatch(w, g, "behind a comment");
    }
}

} // namespace placement

// Both rewritings of `bytes`, the content of the file at `path`, against
// the file itself. Each is written in the file's place, so that include
// records find the same files and the same recursion; the file gets its
// bytes back at the end.
inline void checkPlacement(const std::string& path, const std::string& bytes) {
    placement::Read plain = placement::readFile(path, 0);
    placement::checkPadding(path, bytes, plain);
    placement::checkBehindComment(path, bytes, plain);
    writeBytes(path, reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

} // namespace ckpfuzz
