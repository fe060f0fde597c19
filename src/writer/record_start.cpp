// The record-starting calls: each begins a new record and gives it its head
// text and its type.
#include <cstdio>
#include <cstring>

#include "core/error.hpp"
#include "core/memory.hpp"
#include "core/record.hpp"
#include "reader/syntax.hpp"
#include "writer/writer.hpp"

namespace {
// A refused head leaves the emptied record without a type, so that a
// ckpPuts that follows anyway writes no more than a line end.
int refuseHead(ckpInfo* info, const char* fault, const char* caller) {
    info->type = ckpTypeNone;
    tiSetErrorf("%s in %s", fault, caller);
    return 0;
}

// The common steps of the three path records: check, keep the unquoted path
// in *slot for the queries, write the head text, set the type.
int startPathRecord(ckpInfo* info, const char* caller, const char* path, char* ckpInfo::*slot,
                    int type) {
    if (!tiCheckWrite(info, caller, 1, 1)) {
        return 0;
    }
    if (path == nullptr) {
        return refuseHead(info, "no path name", caller);
    }
    if (tiPathTextSize(path) > static_cast<std::size_t>(ckpHeadMax)) {
        return refuseHead(info, "path name too long for one line", caller);
    }
    if (!tiReplaceStr(&(info->*slot), path)) {
        return refuseHead(info, "path name allocation failed", caller);
    }
    if (!tiSetPath(info, path)) {
        return 0;
    }
    info->type = type;
    return 1;
}

} // namespace

extern "C" {

int ckpCreateHdr(ckpInfo* info) {
    if (!tiCheckWrite(info, "ckpCreateHdr", 1, 0)) {
        return 0;
    }
    char head[ckpLineSize];
    std::snprintf(head, sizeof head, "%s=\"%d.0\"", ckpKeywords[kwCheckpoint], 1);
    info->type = ckpTypeHeader;
    tiAppendText(info, head);
    return 1;
}

int ckpCreateObj(ckpInfo* info, const char* path) {
    return startPathRecord(info, "ckpCreateObj", path, &ckpInfo::objPath, ckpTypeObject);
}

int ckpSetConfigPath(ckpInfo* info, const char* path) {
    if (!startPathRecord(info, "ckpSetConfigPath", path, &ckpInfo::configPath, ckpTypeConfigPath)) {
        return 0;
    }
    return ckpPutProp(info, ckpKeywords[kwC], nullptr);
}

int ckpSetSubDir(ckpInfo* info, const char* path) {
    if (!startPathRecord(info, "ckpSetSubDir", path, &ckpInfo::subDir, ckpTypeSubDir)) {
        return 0;
    }
    return ckpPutProp(info, ckpKeywords[kwSd], nullptr);
}

int ckpRecord(ckpInfo* info, const char* text, int comment) {
    if (!tiCheckWrite(info, "ckpRecord", 1, 1)) {
        return 0;
    }
    if (text == nullptr) {
        text = "";
    }
    std::size_t size = std::strlen(text) + (comment ? 1 : 0);
    if (size > static_cast<std::size_t>(ckpHeadMax)) {
        return refuseHead(info, "record text too long for one line", "ckpRecord");
    }
    info->type = ckpTypeComment;
    if (comment) {
        *info->bufPos++ = ';';
        *info->bufPos = '\0';
    }
    tiAppendText(info, text);
    return 1;
}
}
