// Reading helpers for the reader's tests: a handle on a file or on a pipe,
// and the current record as plain strings.
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
#include "core/handle.hpp"
#include "core/memory.hpp"
#include "core/props.hpp"
#include "core/types.hpp"
#include "reader/open.hpp"

namespace readtest {

using Props = std::vector<std::pair<std::string, std::string>>;

struct Reader {
    ckpInfo* info = nullptr;
    Reader() = default;
    explicit Reader(const std::string& path) : info(ckpOpen(path.c_str(), "R")) {}
    ~Reader() { ckpClose(info); }
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
        ssize_t written = write(fds[1], bytes.data(), bytes.size());
        close(fds[1]);
        if (written != static_cast<ssize_t>(bytes.size())) {
            close(fds[0]);
            return nullptr;
        }
        auto* r = new Reader();
        r->info = tiNewInfo();
        r->info->opened.mode = tiStrDup("r");
        if (!tiPushFile(r->info, name, 0, fdopen(fds[0], "r"))) {
            delete r;
            return nullptr;
        }
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
    long long lineNumber() const {
        return info->files.top->firstLine->lineNumber;
    }
    std::string text(int i = 0) const {
        ckpLine* l = info->files.top->firstLine;
        while (l != nullptr && i-- > 0) {
            l = l->next;
        }
        return l != nullptr ? l->text : "<no line>";
    }
    int lineCount() const {
        int n = 0;
        for (ckpLine* l = info->files.top->firstLine; l != nullptr; l = l->next) {
            ++n;
        }
        return n;
    }
    // Column of the scanner's cursor in its line, and that line's index.
    long column() const {
        return info->read.pos - info->read.line->text;
    }
    int cursorLine() const {
        int i = 0;
        for (ckpLine* l = info->files.top->firstLine; l != nullptr && l != info->read.line;
             l = l->next) {
            ++i;
        }
        return i;
    }
    std::string syntaxMsg() const {
        return info->record.syntaxMsg != nullptr ? info->record.syntaxMsg : "";
    }
};

// The types of every record up to the end of the main file (at most limit).
inline std::vector<int> allTypes(Reader& r, int limit = 1000) {
    std::vector<int> types;
    while (limit-- > 0) {
        int t = r.next();
        types.push_back(t);
        if (t == ckpTypeEnd || t == ckpTypeError) {
            break;
        }
    }
    return types;
}

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

inline const std::string v1 = "WRXCHECKPOINT=\"1.0\"\n";

} // namespace readtest
