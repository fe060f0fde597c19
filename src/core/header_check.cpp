// The header check that starts every file pushed on a reading handle: it
// reads the first record raw, decides the file's syntax version from it and
// leaves the header record current for the caller's first ckpGets.
#include <cstring>

#include "core/error.hpp"
#include "core/memory.hpp"
#include "core/open.hpp"
#include "core/record.hpp"
#include "reader/input.hpp"
#include "reader/reader.hpp"
#include "reader/scanner.hpp"
#include "reader/syntax.hpp"
#include "support/platform.hpp"

namespace {
int notCheckpoint() {
    tiSetError("not a checkpoint file");
    return 0;
}

// Parses `WRXCHECKPOINT = "<major>.0"` at the start of the record. Returns
// the major version, 0 when the record is no header, -1 for a malformed
// version; on success the line holding the closing quote gets its headEnd
// just past it, and the scanner stands there.
int parseHeaderLine(ckpInfo* info) {
    ckpLine* first = info->file->firstLine;
    info->curLine = first;
    info->cursor = first->text;
    if (!tiPeek(info, 0)) {
        return notCheckpoint();
    }
    const char* keyword = ckpKeywords[kwCheckpoint];
    std::size_t length = std::strlen(keyword);
    if (std::strncmp(info->cursor, keyword, length) != 0 ||
        tiIsWordChar(static_cast<unsigned char>(info->cursor[length]))) {
        return notCheckpoint();
    }
    info->cursor += length;
    if (!tiPeek(info, '=')) {
        return notCheckpoint();
    }
    ++info->cursor;
    if (!tiPeek(info, '"')) {
        return notCheckpoint();
    }
    ++info->cursor;
    char* close = std::strchr(info->cursor, '"');
    if (close == nullptr) {
        return notCheckpoint();
    }
    if (!tiIsDigit(static_cast<unsigned char>(*info->cursor))) {
        tiSetError("illegal major version in syntax");
        return -1;
    }
    char* pos = info->cursor;
    int result = tiScanInt(&pos, -1);
    if (!(pos[0] == '.' && pos[1] == '0' && pos + 2 == close)) {
        tiSetError("illegal minor version in syntax");
        result = -1;
    }
    info->cursor = close + 1;
    info->curLine->headEnd = info->cursor;
    return result;
}

bool onlyBlanks(const char* text) {
    return *tiSkipBlanks(const_cast<char*>(text)) == '\0';
}

// A file without header: its first record is read again as the first
// ordinary record. A seekable file is read again from where the library
// took it over (a caller may have read the start of standard input itself),
// so that a first record of several lines comes back whole; its first line
// was counted for the header record, which stands on it, and is not counted
// again. A stream that cannot seek keeps the first line's text for the next
// physical read; the header record then holds no line of the first record
// either, and stands on line 1 too. A blank first line is not read again.
int keepFirstRecord(ckpInfo* info) {
    ckpFile* file = info->file;
    ckpLine* first = file->firstLine;
    if (onlyBlanks(first->text) && !first->hasNul) {
        return 1;
    }
    // The offset was taken with a tell, never a failed seek: that drops the
    // buffered input of a pipe with some runtimes (msvcrt).
    if (file->stream != nullptr && file->startOffset >= 0 &&
        platform::seek(file->stream, file->startOffset) == 0) {
        tiDropInput(file);
        if (!tiNewRecord(info, "tiStart", tiKeepCount, nullptr, &first)) {
            return 0;
        }
        first->lineNumber = 1;
        file->uncounted = 1;
        return 1;
    }
    std::clearerr(file->stream);
    if (!tiReplaceStr(&info->pendingText, first->text)) {
        return 0;
    }
    info->pendingNul = first->hasNul;
    std::int64_t read = first->lineNumber;
    if (!tiNewRecord(info, "tiStart", tiKeepCount, nullptr, &first)) {
        return 0;
    }
    first->lineNumber = 1;
    file->skippedLines = read - 1;
    return 1;
}

// A header line that held a NUL byte is a syntax error in the header's place.
void markNulInHeader(ckpInfo* info) {
    for (ckpLine* line = info->file->firstLine; line != nullptr; line = line->next) {
        if (line->hasNul) {
            tiMarkNul(info, line);
            return;
        }
    }
}
} // namespace

int tiCheckHeader(ckpInfo* info) {
    ckpFile* file = info->file;
    file->syntax = ckpSyntaxUnknown;
    info->type = ckpTypeNone;
    info->actionSet = tiActionArmed;
    info->action = ckpActionRaw;
    // A read error at the first record fails the open instead of making the
    // file look like one without a header.
    if (!ckpGets(info) || info->type == ckpTypeError || info->file != file) {
        return ckpSyntaxReadFailed;
    }
    bool nul = info->type == ckpTypeSyntax; // the raw read finds no other fault
    int syntax = 0;
    if (info->type != ckpTypeEnd) {
        syntax = parseHeaderLine(info);
        file->syntax = syntax;
        if (syntax < 0) {
            return syntax;
        }
    }
    file->syntax = syntax;
    info->type = ckpTypeHeader;
    if (syntax == 0) {
        if (!keepFirstRecord(info)) {
            return ckpSyntaxReadFailed;
        }
    } else {
        ckpLine* headLine = info->curLine;
        char* headPos = info->cursor;
        info->actionSet = tiActionArmed;
        info->action = ckpActionBuild;
        if (!ckpGets(info)) {
            return ckpSyntaxReadFailed;
        }
        // Building clears the head end; it belongs just past the version, so
        // that a transfer writes the keyword and version once.
        headLine->headEnd = headPos;
        if (nul) {
            markNulInHeader(info);
        }
    }
    info->actionSet = tiActionArmed;
    info->action = ckpActionKeep;
    return syntax;
}
