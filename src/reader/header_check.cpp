// The header check that starts every file pushed on a reading handle: it
// reads the first record raw, decides the file's syntax version from it and
// leaves the header record current for the caller's first ckpGets.
#include "reader/header_check.hpp"

#include <cstring>

#include "core/error.hpp"
#include "core/memory.hpp"
#include "core/record.hpp"
#include "core/syntax_chars.hpp"
#include "reader/input.hpp"
#include "reader/physline.hpp"
#include "reader/scanner.hpp"

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
    ckpLine* first = info->files.top->firstLine;
    info->read.line = first;
    info->read.pos = first->text;
    if (!tiPeek(info, 0)) {
        return notCheckpoint();
    }
    const char* keyword = ckpKeywords[kwCheckpoint];
    std::size_t length = std::strlen(keyword);
    if (std::strncmp(info->read.pos, keyword, length) != 0 ||
        tiIsWordChar(static_cast<unsigned char>(info->read.pos[length]))) {
        return notCheckpoint();
    }
    info->read.pos += length;
    if (!tiPeek(info, '=')) {
        return notCheckpoint();
    }
    ++info->read.pos;
    if (!tiPeek(info, '"')) {
        return notCheckpoint();
    }
    ++info->read.pos;
    char* close = std::strchr(info->read.pos, '"');
    if (close == nullptr) {
        return notCheckpoint();
    }
    if (!tiIsDigit(static_cast<unsigned char>(*info->read.pos))) {
        tiSetError("illegal major version in syntax");
        return -1;
    }
    char* pos = info->read.pos;
    int result = tiScanInt(&pos, -1);
    if (!(pos[0] == '.' && pos[1] == '0' && pos + 2 == close)) {
        tiSetError("illegal minor version in syntax");
        result = -1;
    }
    info->read.pos = close + 1;
    info->read.line->headEnd = info->read.pos;
    return result;
}

// A file without header: its first record is read again as the first
// ordinary record, from the pieces the header check kept, so that a record
// of several lines comes back whole and exactly as read, from a stream
// that can seek or not. Its lines are counted when they are read again:
// the header record then holds no line and stands on line 0, as for an
// empty file, and no line is claimed by two records. A blank first line is
// not read again and stays the header's; a line of blanks without line end
// is no blank line but an empty record, and is read again.
int keepFirstRecord(ckpInfo* info, bool nothingKept) {
    ckpFile* file = info->files.top;
    if (nothingKept) {
        tiDropReplay(file);
        return 1;
    }
    if (file->replayLost) {
        tiDropReplay(file);
        tiSetError("first record allocation failed in tiStart");
        return 0;
    }
    ckpLine* first = nullptr;
    if (!tiNewRecord(info, "tiStart", tiKeepCount, nullptr, &first)) {
        return 0;
    }
    first->lineNumber = 0;
    return 1;
}

// A header line that held a NUL byte is a syntax error in the header's place.
void markNulInHeader(ckpInfo* info) {
    for (ckpLine* line = info->files.top->firstLine; line != nullptr; line = line->next) {
        if (line->hasNul) {
            tiMarkNul(info, line);
            return;
        }
    }
}
} // namespace

int tiCheckHeader(ckpInfo* info) {
    ckpFile* file = info->files.top;
    file->syntax = ckpSyntaxUnknown;
    info->record.type = ckpTypeNone;
    info->oneShot.armed = tiActionArmed;
    info->oneShot.action = ckpActionRaw;
    // A read error at the first record fails the open instead of making the
    // file look like one without a header.
    if (!ckpGets(info) || info->record.type == ckpTypeError || info->files.top != file) {
        tiDropReplay(file);
        return ckpSyntaxReadFailed;
    }
    bool nul = info->record.type == ckpTypeSyntax; // the raw read finds no other fault
    // An empty file and a blank first line leave nothing to read again.
    bool nothingKept =
        info->record.type == ckpTypeEnd ||
        (info->record.type == ckpTypeComment && *tiSkipBlanks(file->firstLine->text) == '\0');
    int syntax = 0;
    if (info->record.type != ckpTypeEnd) {
        syntax = parseHeaderLine(info);
        file->syntax = syntax;
        if (syntax < 0) {
            tiDropReplay(file);
            return syntax;
        }
    }
    file->syntax = syntax;
    info->record.type = ckpTypeHeader;
    if (syntax == 0) {
        if (!keepFirstRecord(info, nothingKept)) {
            return ckpSyntaxReadFailed;
        }
    } else {
        tiDropReplay(file);
        ckpLine* headLine = info->read.line;
        char* headPos = info->read.pos;
        info->oneShot.armed = tiActionArmed;
        info->oneShot.action = ckpActionBuild;
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
    info->oneShot.armed = tiActionArmed;
    info->oneShot.action = ckpActionKeep;
    return syntax;
}
