// Physical lines: reading one piece of a line from the stream straight into
// a record line's text, and the line-level rules (blank and comment lines,
// trailing comments, continuation).
#include <cerrno>
#include <cstring>

#include "core/error.hpp"
#include "core/memory.hpp"
#include "core/types.hpp"
#include "reader/reader.hpp"
#include "reader/scanner.hpp"
#include "support/platform.hpp"

namespace {
enum class Piece { Read, End, Error };

// After a piece of exactly 510 characters the line end that follows belongs
// to it, so that such a line reads as one line and not as a line and an
// empty one. A CR LF after the piece counts the same (the CR is dropped, as
// for every CR before the final LF). A CR followed by anything else is kept
// for the next piece.
void takeLineEnd(ckpFile* file, char* text, int* length, bool* lineEnd) {
    std::FILE* stream = file->stream;
    int c = platform::getcUnlocked(stream);
    if (c == '\n') {
        text[(*length)++] = '\n';
        *lineEnd = true;
        return;
    }
    if (c == '\r') {
        int after = platform::getcUnlocked(stream);
        if (after == '\n') {
            text[(*length)++] = '\n';
            *lineEnd = true;
            return;
        }
        if (after != EOF) {
            std::ungetc(after, stream);
        }
        file->readAhead = '\r' + 1;
        return;
    }
    if (c != EOF) {
        std::ungetc(c, stream);
    }
}

// Reads one physical piece of at most 510 characters (with its LF, when the
// line ends within them) into text. A NUL byte is malformed input: the text
// ends there, the rest of the piece is dropped and *nulOut is set, so that
// the line becomes a syntax error instead of hiding text behind a terminator.
Piece readPiece(ckpFile* file, char* text, int* errnumOut, int* nulOut) {
    std::FILE* stream = file->stream;
    int length = 0;
    bool lineEnd = false;
    *nulOut = 0;
    if (file->readAhead != 0) {
        int c = file->readAhead - 1;
        file->readAhead = 0;
        text[length++] = static_cast<char>(c);
        lineEnd = c == '\n';
    }
    // The error flag is sticky: cleared first, it tells of this read only.
    if (std::ferror(stream)) {
        std::clearerr(stream);
    }
    errno = 0;
    while (!lineEnd && length < ckpLinePiece) {
        int c = platform::getcUnlocked(stream);
        if (c == EOF) {
            break;
        }
        text[length++] = static_cast<char>(c);
        lineEnd = c == '\n';
    }
    if (!lineEnd && length == ckpLinePiece) {
        takeLineEnd(file, text, &length, &lineEnd);
    }
    if (length == 0) {
        *errnumOut = errno;
        if (std::ferror(stream)) {
            return Piece::Error;
        }
        return std::feof(stream) ? Piece::End : Piece::Error;
    }
    const char* nul = static_cast<const char*>(std::memchr(text, '\0', length));
    *nulOut = nul != nullptr ? 1 : 0;
    if (nul != nullptr) {
        text[nul - text] = '\0';
        return Piece::Read;
    }
    // CR LF reads as LF; any other CR stays.
    if (lineEnd && length >= 2 && text[length - 2] == '\r') {
        text[length - 2] = '\n';
        --length;
    }
    text[length] = '\0';
    return Piece::Read;
}

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
    switch (readPiece(file, line->text, &errnum, &line->hasNul)) {
    case Piece::Read:
        break;
    case Piece::End:
        info->atEnd = 1;
        line->text[0] = '\0';
        return 0;
    case Piece::Error:
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
