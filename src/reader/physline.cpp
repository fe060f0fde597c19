// Physical lines: reading one piece of a line into a record line's text,
// and the line-level rules (blank and comment lines, trailing comments,
// continuation).
#include "reader/physline.hpp"

#include <cerrno>
#include <cstring>

#include "core/error.hpp"
#include "core/memory.hpp"
#include "core/types.hpp"
#include "reader/input.hpp"
#include "reader/scanner.hpp"

namespace {
// A kept piece is a kind byte, its text and a terminator; a piece of kind
// pieceEnd stands for the end of input that the header check met.
constexpr char pieceText = 't';
constexpr char pieceNul = 'n'; // the text ended at a NUL byte
constexpr char pieceEnd = 'e';

// While the header check reads the first record (the file's syntax is not
// known yet), every piece it reads is kept for reading again.
void keepPiece(ckpFile* file, char kind, const char* text) {
    if (file->syntax != ckpSyntaxUnknown || file->replayLost) {
        return;
    }
    std::size_t n = std::strlen(text);
    std::size_t need = file->replaySize + n + 2;
    if (need > file->replayRoom) {
        std::size_t room = need > 2 * file->replayRoom ? need + ckpLineSize : 2 * file->replayRoom;
        auto* block = static_cast<char*>(tiAlloc(room));
        if (block == nullptr) {
            file->replayLost = 1;
            return;
        }
        if (file->replaySize > 0) {
            std::memcpy(block, file->replay, file->replaySize);
        }
        tiFree(file->replay);
        file->replay = block;
        file->replayRoom = room;
    }
    char* to = file->replay + file->replaySize;
    *to++ = kind;
    std::memcpy(to, text, n + 1);
    file->replaySize = need;
}

// Hands out the next kept piece into line's text: 1, or 0 with atEnd set
// for the end of input. The last piece frees the kept ones.
int takePiece(ckpInfo* info, ckpFile* file, ckpLine* line) {
    const char* at = file->replay + file->replayPos;
    char kind = *at++;
    std::size_t n = std::strlen(at);
    file->replayPos += n + 2;
    int got = kind != pieceEnd ? 1 : 0;
    if (got) {
        std::memcpy(line->text, at, n + 1);
        line->hasNul = kind == pieceNul ? 1 : 0;
    } else {
        info->read.atEnd = 1;
        line->text[0] = '\0';
    }
    if (file->replayPos >= file->replaySize) {
        tiDropReplay(file);
    }
    return got;
}

// Reads the next piece from the stream into line's text: 1, or 0 with
// atEnd set or the error recorded.
int readPiece(ckpInfo* info, ckpFile* file, ckpLine* line) {
    int errnum = 0;
    switch (tiReadPiece(file, line->text, &errnum, &line->hasNul)) {
    case tiPiece::Read:
        keepPiece(file, line->hasNul ? pieceNul : pieceText, line->text);
        return 1;
    case tiPiece::End:
        keepPiece(file, pieceEnd, "");
        info->read.atEnd = 1;
        break;
    case tiPiece::Error:
        if (errnum > 0) {
            tiSetSysError(errnum);
        } else {
            tiSetError("unknown problem in tiGets");
        }
        break;
    }
    line->text[0] = '\0';
    return 0;
}

// Fills line's text with the next physical line, kept or from the stream.
// Returns 1, or 0 with atEnd set or the error recorded.
int fillText(ckpInfo* info, ckpFile* file, ckpLine* line) {
    line->continued = 0;
    bool kept = file->replayPos < file->replaySize && file->syntax != ckpSyntaxUnknown;
    if (!(kept ? takePiece(info, file, line) : readPiece(info, file, line))) {
        return 0;
    }
    ++file->firstLine->lineNumber;
    line->physLine = file->firstLine->lineNumber;
    return 1;
}

// The content rules of a line that is neither blank nor a comment: cut the
// trailing comment at the first ';' that has no backslash before it, then a
// backslash before the line end continues it. The text is measured once: a line end can only be its
// last character.
void endContent(ckpInfo* info, ckpLine* line) {
    char* start = info->read.pos;
    char* stop = start + std::strlen(start);
    bool cut = false;
    for (char* p = start;;) {
        p = static_cast<char*>(std::memchr(p, ';', static_cast<std::size_t>(stop - p)));
        if (p == nullptr) {
            break;
        }
        if (p > line->text && p[-1] == '\\') {
            ++p;
            continue;
        }
        *p = '\0';
        stop = p;
        cut = true;
        break;
    }
    char* end = !cut && stop > start && stop[-1] == '\n' ? stop - 1 : stop;
    if (end > line->text && end[-1] == '\\') {
        line->continued = 1;
        --end;
    }
    *end = '\0';
}
} // namespace

void tiDropReplay(ckpFile* file) {
    file->replay = static_cast<char*>(tiFree(file->replay));
    file->replaySize = 0;
    file->replayRoom = 0;
    file->replayPos = 0;
    file->replayLost = 0;
}

void tiMarkNul(ckpInfo* info, ckpLine* line) {
    info->read.line = line;
    info->read.pos = line->text + std::strlen(line->text);
    tiSetSyntax(info, "NUL character in line");
}

int tiGets(ckpInfo* info) {
    info->read.atEnd = 0;
    ckpFile* file = info->files.top;
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
        info->read.line = line;
        info->read.pos = tiSkipBlanks(line->text);
        char c = *info->read.pos;
        if (c == '\n' || c == ';') {
            // Blank and comment lines are records of their own when they
            // begin one, and are skipped inside a continued record.
            if (!first) {
                continue;
            }
            *(c == '\n' ? info->read.pos : tiFindChar('\n', line->text)) = '\0';
            info->record.type = ckpTypeComment;
            break;
        }
        endContent(info, line);
        break;
    }
    info->read.line = file->firstLine;
    info->read.pos = file->firstLine->text;
    return 1;
}
