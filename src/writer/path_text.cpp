// The path name as the head text of a record, written so that the reader
// gives it back unchanged, or refused where the syntax cannot carry it.
#include <cstring>

#include "core/types.hpp"
#include "reader/scanner.hpp"
#include "writer/writer.hpp"

namespace {
// Only blank, tab and vertical tab select the quoted form; semicolons and
// backslashes are copied as they are in both forms.
bool needsQuotes(const char* path) {
    return *tiSkipWord(const_cast<char*>(path)) != '\0';
}

bool endsWith(const char* text, char c) {
    std::size_t n = std::strlen(text);
    return n > 0 && text[n - 1] == c;
}

// A semicolon ends the line's content unless a backslash stands before it,
// and the path keeps that backslash: only a semicolon that has one in the
// path itself comes back.
bool semicolonsCarried(const char* path) {
    for (const char* p = std::strchr(path, ';'); p != nullptr; p = std::strchr(p + 1, ';')) {
        if (p == path || p[-1] != '\\') {
            return false;
        }
    }
    return true;
}

enum class Form { Plain, Quoted, Refused };

// The unquoted form keeps every backslash but that of a leading `\"`, which
// it drops, so a path that begins with `\"` is quoted. The quoted form ends
// at a quote without a backslash before it, so it cannot end in one.
Form formOf(const char* path) {
    if (path[0] == '\0' || std::strchr(path, '\n') != nullptr || !semicolonsCarried(path)) {
        return Form::Refused;
    }
    if (needsQuotes(path) || (path[0] == '\\' && path[1] == '"')) {
        return endsWith(path, '\\') ? Form::Refused : Form::Quoted;
    }
    return Form::Plain;
}
} // namespace

bool tiHeadNeedsBlank(const char* text) {
    return endsWith(text, '\\') || endsWith(text, '\r');
}

int tiPathWritable(const char* path) {
    return path != nullptr && formOf(path) != Form::Refused ? 1 : 0;
}

std::size_t tiPathTextSize(const char* path) {
    if (path == nullptr) {
        return 0;
    }
    std::size_t n = std::strlen(path);
    if (formOf(path) != Form::Quoted) {
        // A leading quote gets a backslash; a final backslash or carriage
        // return needs a blank after it (ckpPuts) when nothing follows.
        return n + (path[0] == '"' ? 1 : 0) + (tiHeadNeedsBlank(path) ? 1 : 0);
    }
    for (const char* p = path; *p != '\0'; ++p) {
        if (*p == '"') {
            ++n;
        }
    }
    return n + 2;
}

int tiSetPath(ckpInfo* info, const char* path) {
    if (info == nullptr || info->file == nullptr || info->file->firstLine == nullptr) {
        return 0;
    }
    ckpLine* line = info->file->firstLine;
    info->bufLine = line;
    if (info->bufPos == nullptr || info->bufPos < line->text ||
        info->bufPos >= line->text + ckpLineSize) {
        info->bufPos = line->text;
    }
    if (path == nullptr) {
        path = "";
    }
    std::size_t room = static_cast<std::size_t>(line->text + ckpLineSize - 1 - info->bufPos);
    if (tiPathTextSize(path) > room) {
        return 0;
    }
    char* out = info->bufPos;
    if (formOf(path) != Form::Quoted) {
        if (path[0] == '"') {
            *out++ = '\\';
        }
        std::size_t n = std::strlen(path);
        std::memcpy(out, path, n);
        out += n;
    } else {
        *out++ = '"';
        for (const char* p = path; *p != '\0'; ++p) {
            if (*p == '"') {
                *out++ = '\\';
            }
            *out++ = *p;
        }
        *out++ = '"';
    }
    *out = '\0';
    info->bufPos = out;
    return 1;
}
