// The record-starting calls: each begins a new record and gives it its head
// text and its type.
#include <cstdio>
#include <cstring>

#include "core/error.hpp"
#include "core/memory.hpp"
#include "core/record.hpp"
#include "core/syntax_chars.hpp"
#include "core/text_scan.hpp"
#include "writer/check_write.hpp"
#include "writer/path_text.hpp"
#include "writer/writer.hpp"

namespace {
// A refused head leaves the emptied record without a type, so that a
// ckpPuts that follows anyway writes no more than a line end.
int refuseHead(ckpInfo* info, const char* fault, const char* caller) {
    info->record.type = ckpTypeNone;
    tiSetErrorf("%s in %s", fault, caller);
    return 0;
}

// A text that cannot come back as written is refused with a message naming
// it; line ends in it are shown as \n and \r, so the message stays one line.
int refuseText(ckpInfo* info, const char* what, const char* text, const char* caller) {
    info->record.type = ckpTypeNone;
    std::size_t n = std::strlen(text);
    auto* shown = static_cast<char*>(tiAlloc(2 * n + 1));
    if (shown == nullptr) {
        tiSetErrorf("%s cannot be written in %s", what, caller);
        return 0;
    }
    char* out = shown;
    for (const char* p = text; *p != '\0'; ++p) {
        if (*p == '\n' || *p == '\r') {
            *out++ = '\\';
            *out++ = *p == '\n' ? 'n' : 'r';
        } else {
            *out++ = *p;
        }
    }
    *out = '\0';
    tiSetErrorf("%s \"%s\" cannot be written in %s", what, shown, caller);
    tiFree(shown);
    return 0;
}

// The slot's block is written over when the new path is no longer than the
// text it holds, so that records in a row seldom allocate for their paths.
int keepPath(char** slot, const tPathText& text) {
    if (*slot != nullptr && std::strlen(*slot) >= text.length) {
        std::memmove(*slot, text.path, text.length + 1); // the path may be the slot's own
        return 1;
    }
    return tiReplaceStr(slot, text.path);
}

// The common steps of the three path records: check, keep the unquoted path
// in *slot for the queries, write the head text, set the type. A head may
// fill its line, unless a property must follow it: then the line keeps room
// for the backslash that continues it.
int startPathRecord(ckpInfo* info, const char* caller, const char* path,
                    char* ckpCurrentRecord::*slot, int type) {
    if (!tiCheckWrite(info, caller, tiStartRecord, tiAppendOK)) {
        return 0;
    }
    if (path == nullptr) {
        return refuseHead(info, "no path name", caller);
    }
    tPathText text = tiPathText(path);
    if (text.form == tPathText::Refused) {
        return refuseText(info, "path name", path, caller);
    }
    int width = type == ckpTypeObject ? ckpLinePiece : ckpWriteWidth;
    if (text.size > static_cast<std::size_t>(width)) {
        return refuseHead(info, "path name too long for one line", caller);
    }
    if (!keepPath(&(info->record.*slot), text)) {
        return refuseHead(info, "path name allocation failed", caller);
    }
    // The path may be the very string the slot held until now.
    text.path = info->record.*slot;
    if (!tiSetPath(info, text)) {
        return 0;
    }
    info->record.type = type;
    return 1;
}

// A raw record comes back as written when it is one line: no line feed, no
// final carriage return (it would join the line end), and, unless it is a
// comment or blank line, no backslash ending its content, which would
// continue it on the next record's line.
bool recordTextCarried(const char* text, bool comment) {
    std::size_t n = std::strlen(text);
    if (std::strchr(text, '\n') != nullptr || (n > 0 && text[n - 1] == '\r')) {
        return false;
    }
    const char* start = tiSkipBlanks(text);
    if (comment || *start == '\0' || *start == ';') {
        return true;
    }
    const char* end = tiContentEnd(text);
    return !(end > text && end[-1] == '\\');
}
} // namespace

extern "C" {

int ckpCreateHdr(ckpInfo* info) {
    if (!tiCheckWrite(info, "ckpCreateHdr", tiStartRecord, tiWriteOnly)) {
        // An appending handle has emptied its record before refusing the
        // header: it holds no head now, as after any refused head.
        if (info != nullptr && info->opened.mode != nullptr && info->opened.mode[0] == 'a') {
            info->record.type = ckpTypeNone;
        }
        return 0;
    }
    char head[ckpLineSize];
    std::snprintf(head, sizeof head, "%s=\"%d.0\"", ckpKeywords[kwCheckpoint], 1);
    info->record.type = ckpTypeHeader;
    tiAppendText(info, head);
    return 1;
}

int ckpCreateObj(ckpInfo* info, const char* path) {
    return startPathRecord(info, "ckpCreateObj", path, &ckpCurrentRecord::objPath, ckpTypeObject);
}

int ckpSetConfigPath(ckpInfo* info, const char* path) {
    if (!startPathRecord(info, "ckpSetConfigPath", path, &ckpCurrentRecord::configPath,
                         ckpTypeConfigPath)) {
        return 0;
    }
    return ckpPutProp(info, ckpKeywords[kwC], nullptr);
}

int ckpSetSubDir(ckpInfo* info, const char* path) {
    if (!startPathRecord(info, "ckpSetSubDir", path, &ckpCurrentRecord::subDir, ckpTypeSubDir)) {
        return 0;
    }
    return ckpPutProp(info, ckpKeywords[kwSd], nullptr);
}

int ckpRecord(ckpInfo* info, const char* text, int comment) {
    if (!tiCheckWrite(info, "ckpRecord", tiStartRecord, tiAppendOK)) {
        return 0;
    }
    if (text == nullptr) {
        text = "";
    }
    std::size_t size = std::strlen(text) + (comment ? 1 : 0);
    if (size > static_cast<std::size_t>(ckpLinePiece)) {
        return refuseHead(info, "record text too long for one line", "ckpRecord");
    }
    if (!recordTextCarried(text, comment != 0)) {
        return refuseText(info, "record text", text, "ckpRecord");
    }
    info->record.type = ckpTypeComment;
    if (comment) {
        *info->write.pos++ = ';';
        *info->write.pos = '\0';
    }
    tiAppendText(info, text);
    return 1;
}
}
