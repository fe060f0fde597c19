// Reading helpers for the reader's tests: a handle on a file or on a pipe,
// and what a caller sees of the current record, through the C API only.
#pragma once

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#else
#include <unistd.h>
#endif

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "ckp/ckp.h"
#include "ckp/ckpx.h"
#include "common/testutil.hpp"

namespace readtest {

using Props = std::vector<std::pair<std::string, std::string>>;

struct Reader {
    ckpInfo* info = nullptr;
    std::FILE* pipeEnd = nullptr; // the caller's stream of a handle on a pipe
    Reader() = default;
    explicit Reader(const std::string& path) : info(ckpOpen(path.c_str(), "R")) {}
    ~Reader() {
        ckpClose(info);
        if (pipeEnd != nullptr) {
            std::fclose(pipeEnd);
        }
    }
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;

    // A handle reading `bytes` through a pipe, which cannot seek.
    // A null name stands for a standard stream.
    static Reader* onPipe(const std::string& bytes, const char* name = "pipe") {
        int fds[2];
#if defined(_WIN32)
        if (_pipe(fds, 65536, _O_BINARY) != 0) {
#else
        if (pipe(fds) != 0) {
#endif
            return nullptr;
        }
        auto written = write(fds[1], bytes.data(), static_cast<unsigned>(bytes.size()));
        close(fds[1]);
        auto* r = new Reader();
        r->pipeEnd = fdopen(fds[0], "r");
        if (written != static_cast<decltype(written)>(bytes.size()) || r->pipeEnd == nullptr) {
            delete r;
            return nullptr;
        }
        r->info = ckpxOpenStream(r->pipeEnd, name, "R");
        return r;
    }

    int next() {
        ckpGets(info);
        return ckpGetType(info);
    }
    std::string path() const {
        const char* p = ckpGetObjPath(info);
        return p != nullptr ? p : "<null>";
    }
    // The value of a property, "<flag>" without value, "<none>" if absent.
    std::string prop(const char* name) const {
        char* value = nullptr;
        if (!ckpGetProp(info, name, &value)) {
            return "<none>";
        }
        return value != nullptr ? value : "<flag>";
    }
    Props props() const {
        Props all;
        int id = 0;
        char* name = nullptr;
        char* value = nullptr;
        while (ckpGenProp(info, &id, &name, &value)) {
            all.emplace_back(name != nullptr ? name : "<null>",
                             value != nullptr ? value : "<flag>");
        }
        return all;
    }
    // The record's first physical line, and its last (the one reports name).
    long long firstLine() const {
        long long first = -1;
        ckpxRecordLines(info, &first, nullptr);
        return first;
    }
    long long lineNumber() const {
        long long last = -1;
        ckpxRecordLines(info, nullptr, &last);
        return last;
    }
    // The record's lines as a report prints them.
    std::vector<std::string> lines() const {
        ckptest::ReportCapture cap;
        ckpReport(info, nullptr, 1, -1, "", "");
        std::vector<std::string> all(cap.messages().begin(), cap.messages().end() - 1);
        for (std::string& line : all) {
            line.pop_back();
        }
        return all;
    }
    std::string text() const {
        return lines().at(0);
    }
    // The fault of a syntax record: its message, the 0-based column of the
    // faulty character, and how many lines after the record's first it is.
    std::string syntaxMsg() const {
        const char* message = nullptr;
        ckpxSyntaxError(info, nullptr, nullptr, &message, nullptr);
        return message != nullptr ? message : "";
    }
    long column() const {
        int column = 0;
        ckpxSyntaxError(info, nullptr, &column, nullptr, nullptr);
        return column - 1;
    }
    long long cursorLine() const {
        long long line = 0;
        ckpxSyntaxError(info, &line, nullptr, nullptr, nullptr);
        return line - firstLine();
    }
};

// Every record up to the main file's end (at most limit), one word each:
// the type, then the path, the syntax message or the error where it has one,
// and with lines "@" and the record's line number.
inline std::vector<std::string> trace(Reader& r, int limit = 1000, bool lines = false) {
    static const char* const names[] = {"none",   "?",          "?",       "comment", "error",
                                        "syntax", "header",     "include", "object",  "config",
                                        "subdir", "endinclude", "end"};
    std::vector<std::string> out;
    while (limit-- > 0) {
        int t = r.next();
        std::string word = t >= 0 && t <= ckpTypeEnd ? names[t] : "?";
        if (t == ckpTypeSyntax) {
            word += " " + r.syntaxMsg();
        } else if (t == ckpTypeError) {
            word += std::string(" ") + ckpGetError();
        } else if (t == ckpTypeObject || t == ckpTypeInclude || t == ckpTypeConfigPath) {
            word += " " + r.path();
        }
        if (lines && t != ckpTypeError) {
            word += "@" + std::to_string(r.lineNumber());
        }
        out.push_back(word);
        if (t == ckpTypeEnd) {
            break;
        }
    }
    return out;
}

// What a caller sees of a record: its type, its line numbers (the first
// physical line and the reported, last one) less `shift`, and a comment's
// text or the path, the properties and a fault's message.
inline std::string seen(const Reader& r, int type, long long shift) {
    std::string s = std::to_string(type) + " @" + std::to_string(r.firstLine() - shift) + "-" +
                    std::to_string(r.lineNumber() - shift);
    if (type == ckpTypeComment) {
        return s + " [" + r.text() + "]";
    }
    s += " [" + r.path() + "]";
    for (const auto& [name, value] : r.props()) {
        s += " " + name + "=" + value;
    }
    return type == ckpTypeSyntax ? s + " !" + r.syntaxMsg() : s;
}

inline const std::string v1 = "WRXCHECKPOINT=\"1.0\"\n";

} // namespace readtest
