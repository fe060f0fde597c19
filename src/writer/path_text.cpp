// The path name as the head text of a record.
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
} // namespace

std::size_t tiPathTextSize(const char* path) {
    if (path == nullptr) {
        return 0;
    }
    std::size_t n = std::strlen(path);
    if (!needsQuotes(path)) {
        return n;
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
    if (!needsQuotes(path)) {
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
