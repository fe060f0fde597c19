// The path name as the head text of a record, written so that the reader
// gives it back unchanged, or refused where the syntax cannot carry it.
#include "writer/path_text.hpp"

#include <array>
#include <cstring>

#include "core/syntax_chars.hpp"
#include "core/types.hpp"

namespace {
bool endsWith(const char* text, std::size_t n, char c) {
    return n > 0 && text[n - 1] == c;
}

// What one pass over a path finds: only blank, tab and vertical tab select
// the quoted form, in which a double quote gets a backslash; semicolons and
// backslashes are copied as they are in both forms. A semicolon ends the
// line's content unless a backslash stands before it, and the path keeps
// that backslash: only a semicolon that has one in the path itself comes
// back, and no line feed does.
struct Scan {
    std::size_t length = 0;
    std::size_t quotes = 0;
    bool blank = false;
    bool carried = true;
};

// The characters that the pass over a path must look at.
constexpr std::array<bool, 256> pathSpecials = [] {
    std::array<bool, 256> table{};
    for (char c : {'\0', '"', ' ', '\t', '\v', '\n', ';'}) {
        table[static_cast<unsigned char>(c)] = true;
    }
    return table;
}();

Scan scan(const char* path) {
    Scan s;
    const char* p = path;
    for (;; ++p) {
        while (!pathSpecials[static_cast<unsigned char>(*p)]) {
            ++p;
        }
        char c = *p;
        if (c == '\0') {
            break;
        }
        if (c == '"') {
            ++s.quotes;
        } else if (tiIsBlank(static_cast<unsigned char>(c))) {
            s.blank = true;
        } else if (c == '\n' || (p == path || p[-1] != '\\')) {
            s.carried = false; // a line feed, or a semicolon without a backslash
        }
    }
    s.length = static_cast<std::size_t>(p - path);
    return s;
}
} // namespace

// The unquoted form keeps every backslash but that of a leading `\"`, which
// it drops, so a path that begins with `\"` is quoted. The quoted form ends
// at a quote without a backslash before it, so it cannot end in one.
tPathText tiPathText(const char* path) {
    tPathText text{path != nullptr ? path : "", 0, 0, tPathText::Refused};
    Scan s = scan(text.path);
    text.length = s.length;
    if (s.length == 0 || !s.carried) {
        return text;
    }
    const char* p = text.path;
    if (s.blank || (p[0] == '\\' && p[1] == '"')) {
        if (endsWith(p, s.length, '\\')) {
            return text;
        }
        text.form = tPathText::Quoted;
        text.size = s.length + s.quotes + 2;
        return text;
    }
    // A leading quote gets a backslash; a final backslash or carriage return
    // needs a blank after it (ckpPuts) when nothing follows.
    text.form = tPathText::Plain;
    bool blankAfter = endsWith(p, s.length, '\\') || endsWith(p, s.length, '\r');
    text.size = s.length + (p[0] == '"' ? 1 : 0) + (blankAfter ? 1 : 0);
    return text;
}

bool tiHeadNeedsBlank(const char* text) {
    std::size_t n = std::strlen(text);
    return endsWith(text, n, '\\') || endsWith(text, n, '\r');
}

const char* tiContentEnd(const char* text) {
    for (const char* p = std::strchr(text, ';'); p != nullptr; p = std::strchr(p + 1, ';')) {
        if (p == text || p[-1] != '\\') {
            return p;
        }
    }
    return text + std::strlen(text);
}

int tiSetPath(ckpInfo* info, const tPathText& text) {
    if (info == nullptr || info->files.top == nullptr || info->files.top->firstLine == nullptr ||
        text.form == tPathText::Refused) {
        return 0;
    }
    ckpLine* line = info->files.top->firstLine;
    info->write.line = line;
    if (info->write.pos == nullptr || info->write.pos < line->text ||
        info->write.pos >= line->text + ckpLineSize) {
        info->write.pos = line->text;
    }
    std::size_t room = static_cast<std::size_t>(line->text + ckpLineSize - 1 - info->write.pos);
    if (text.size > room) {
        return 0;
    }
    char* out = info->write.pos;
    if (text.form == tPathText::Plain) {
        if (text.path[0] == '"') {
            *out++ = '\\';
        }
        std::memcpy(out, text.path, text.length);
        out += text.length;
    } else {
        *out++ = '"';
        for (const char* p = text.path; *p != '\0'; ++p) {
            if (*p == '"') {
                *out++ = '\\';
            }
            *out++ = *p;
        }
        *out++ = '"';
    }
    *out = '\0';
    info->write.pos = out;
    return 1;
}
