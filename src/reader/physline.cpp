// Physical lines: reading one piece of a line into a record line's text,
// and the line-level rules (blank and comment lines, trailing comments,
// continuation).
#include <cerrno>
#include <cstring>

#include "core/error.hpp"
#include "core/memory.hpp"
#include "core/types.hpp"
#include "reader/input.hpp"
#include "reader/reader.hpp"
#include "reader/scanner.hpp"

namespace {
// Fills line's text with the next physical line (or the pending text).
// Returns 1, or 0 with atEnd set or the error recorded.
int fillText(ckpInfo* info, ckpFile* file, ckpLine* line) {
    line->continued = 0;
    if (info->pendingText != nullptr) {
        std::size_t n = std::strlen(info->pendingText);
        if (n > ckpLineSize - 1) {
            n = ckpLineSize - 1;
        }
        std::memcpy(line->text, info->pendingText, n);
        line->text[n] = '\0';
        info->pendingText = static_cast<char*>(tiFree(info->pendingText));
        line->hasNul = info->pendingNul;
        info->pendingNul = 0;
        line->physLine = file->firstLine->lineNumber;
        file->firstLine->lineNumber += file->skippedLines;
        file->skippedLines = 0;
        return 1;
    }
    int errnum = 0;
    switch (tiReadPiece(file, line->text, &errnum, &line->hasNul)) {
    case tiPiece::Read:
        break;
    case tiPiece::End:
        info->atEnd = 1;
        line->text[0] = '\0';
        return 0;
    case tiPiece::Error:
        if (errnum > 0) {
            tiSetSysError(errnum);
        } else {
            tiSetError("unknown problem in tiGets");
        }
        line->text[0] = '\0';
        return 0;
    }
    // A line read again after the header check was counted then.
    if (file->uncounted > 0) {
        --file->uncounted;
    } else {
        ++file->firstLine->lineNumber;
    }
    line->physLine = file->firstLine->lineNumber;
    return 1;
}

// The content rules of a line that is neither blank nor a comment: cut the
// trailing comment, then a backslash before the line end continues it.
void endContent(ckpInfo* info, ckpLine* line) {
    tiCutComment(info);
    char* end = tiFindChar('\n', info->cursor);
    if (end == nullptr) {
        end = line->text;
    }
    if (end > line->text && end[-1] == '\\') {
        line->continued = 1;
        --end;
    }
    *end = '\0';
}
} // namespace

void tiMarkNul(ckpInfo* info, ckpLine* line) {
    info->curLine = line;
    info->cursor = line->text + std::strlen(line->text);
    tiSetSyntax(info, "NUL character in line");
}

void tiCutComment(ckpInfo* info) {
    if (info == nullptr || info->curLine == nullptr || info->cursor == nullptr) {
        return;
    }
    char* text = info->curLine->text;
    char* p = info->cursor;
    for (;;) {
        p = tiFindChar(';', p);
        if (p == nullptr || *p == '\0') {
            if (p != nullptr && p > info->cursor) {
                info->cursor = p - 1;
            }
            return;
        }
        if (p > text && p[-1] == '\\') {
            ++p;
            continue;
        }
        *p = '\0';
        info->cursor = p;
        return;
    }
}

int tiGets(ckpInfo* info) {
    if (info != nullptr) {
        info->atEnd = 0;
    }
    ckpFile* file = nullptr;
    if (!tiCheckFile(info, tiGuardQuiet, "tiGets", &file)) {
        return 0;
    }
    ckpLine* line = file->lastLine;
    if (line == nullptr) {
        tiSetError("no ckpLine in tiGets");
        return 0;
    }
    if (file->stream == nullptr) {
        tiSetError("no file in tiGets");
        return 0;
    }
    bool first = file->firstLine == line;
    for (;;) {
        // A failed read empties only the line being read into: the lines of
        // the record read before it stay as they are.
        if (!fillText(info, file, line)) {
            return 0;
        }
        if (line->hasNul) {
            // The line is a fault of its own: it neither continues nor is
            // blank or a comment, and the report marks the NUL.
            tiMarkNul(info, line);
            return 1;
        }
        info->curLine = line;
        info->cursor = tiSkipBlanks(line->text);
        char c = *info->cursor;
        if (c == '\n' || c == ';') {
            // Blank and comment lines are records of their own when they
            // begin one, and are skipped inside a continued record.
            if (!first) {
                continue;
            }
            *(c == '\n' ? info->cursor : tiFindChar('\n', line->text)) = '\0';
            info->type = ckpTypeComment;
            break;
        }
        endContent(info, line);
        break;
    }
    info->curLine = file->firstLine;
    info->cursor = file->firstLine->text;
    return 1;
}
