// Writing the current record to the stream, character by character.
#include <cerrno>
#include <cstring>

#include "core/error.hpp"
#include "support/platform.hpp"
#include "writer/writer.hpp"

namespace {
bool isDelimiter(char c, char lead, char trail, char extra) {
    return c != '\0' && (c == lead || c == trail || c == extra);
}

// Whether the character at p needs a backslash before it. Besides the
// delimiters, a backslash in a delimited field is doubled where the reader
// would otherwise take it as the start of an escape: before another
// backslash, before an escaped character, and before the closing delimiter.
// Everywhere else a backslash is written alone, as the reader keeps it.
bool needsEscape(const char* p, char lead, char trail, char extra) {
    if (isDelimiter(*p, lead, trail, extra)) {
        return true;
    }
    if (*p != '\\' || (lead == '\0' && trail == '\0' && extra == '\0')) {
        return false;
    }
    char next = p[1];
    return next == '\\' || isDelimiter(next, lead, trail, extra) || (next == '\0' && trail != '\0');
}
} // namespace

int tPutChar(std::FILE* stream, char c) {
    if (platform::putcUnlocked(static_cast<unsigned char>(c), stream) == EOF) {
        tiSetSysError(errno);
        return 0;
    }
    return 1;
}

namespace {
// Writes a run of characters that need no escape in one call.
int putRun(std::FILE* stream, const char* from, const char* to) {
    auto n = static_cast<std::size_t>(to - from);
    if (n != 0 && platform::fwriteUnlocked(from, n, stream) != n) {
        tiSetSysError(errno);
        return 0;
    }
    return 1;
}
} // namespace

int tPutField(std::FILE* stream, char lead, const char* text, char trail, char extra) {
    if (text == nullptr) {
        text = "";
    }
    if (lead != '\0' && !tPutChar(stream, lead)) {
        return 0;
    }
    const char* run = text;
    const char* p = text;
    for (; *p != '\0'; ++p) {
        if (needsEscape(p, lead, trail, extra)) {
            if (!putRun(stream, run, p) || !tPutChar(stream, '\\')) {
                return 0;
            }
            run = p;
        }
    }
    if (!putRun(stream, run, p)) {
        return 0;
    }
    return trail == '\0' || tPutChar(stream, trail);
}

std::size_t tFieldSize(char lead, const char* text, char trail, char extra) {
    std::size_t n = (lead != '\0' ? 1 : 0) + (trail != '\0' ? 1 : 0);
    for (const char* p = text != nullptr ? text : ""; *p != '\0'; ++p) {
        n += needsEscape(p, lead, trail, extra) ? 2 : 1;
    }
    return n;
}

std::size_t tPropSize(const ckpProp* prop) {
    char eq = prop->value != nullptr ? '=' : '\0';
    std::size_t n = tFieldSize('\0', prop->name, eq, '\0');
    if (prop->value != nullptr) {
        n += tFieldSize('"', prop->value, '"', ';');
    }
    return n;
}

namespace {
int putProp(std::FILE* stream, char sep, const ckpProp* prop) {
    char eq = prop->value != nullptr ? '=' : '\0';
    if (!tPutField(stream, sep, prop->name, eq, '\0')) {
        return 0;
    }
    return prop->value == nullptr || tPutField(stream, '"', prop->value, '"', ';');
}

int putContinuation(std::FILE* stream) {
    return tPutChar(stream, '\\') && tPutChar(stream, '\n');
}

// One line of the record: its text, then its properties. A line that would
// grow wider than the reader takes in one piece is continued before the
// property that does not fit (a comment line never continues, so it is not).
int putLine(std::FILE* stream, const ckpLine* line, bool wrap) {
    std::size_t column = std::strlen(line->text);
    char sep = '\0';
    if (column != 0) {
        if (!tPutField(stream, '\0', line->text, '\0', '\0')) {
            return 0;
        }
        sep = ' ';
    }
    for (const ckpProp* prop = line->firstProp; prop != nullptr; prop = prop->next) {
        std::size_t size = tPropSize(prop);
        if (wrap && column != 0 && column + 1 + size > static_cast<std::size_t>(ckpHeadMax)) {
            if (!putContinuation(stream)) {
                return 0;
            }
            column = 0;
            sep = '\0';
        }
        if (!putProp(stream, sep, prop)) {
            return 0;
        }
        column += size + (sep != '\0' ? 1 : 0);
        sep = ' ';
    }
    return 1;
}

// A continuation line with neither text nor properties is passed over: as
// the last line it would be written as an empty physical line, which the
// reader skips inside a record, so that the record would swallow the next.
bool hasContent(const ckpLine* line) {
    return line->text[0] != '\0' || line->firstProp != nullptr;
}
} // namespace

extern "C" {

int ckpPuts(ckpInfo* info) {
    if (!tiCheckWrite(info, "ckpPuts", 0, 1)) {
        return 0;
    }
    std::FILE* stream = info->file->stream;
    if (stream == nullptr) {
        tiSetError("no file in ckpPuts");
        return 0;
    }
    const ckpLine* first = info->file->firstLine;
    if (info->type != ckpTypeNone) {
        bool wrap = info->type != ckpTypeComment;
        for (const ckpLine* line = first; line != nullptr; line = line->next) {
            if (line != first && !hasContent(line)) {
                continue;
            }
            if (line != first && !putContinuation(stream)) {
                return 0;
            }
            if (!putLine(stream, line, wrap)) {
                return 0;
            }
        }
    }
    return tPutChar(stream, '\n');
}
}
