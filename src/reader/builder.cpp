// The record builder: the path name into objPath and the properties onto
// the lines where their names stand; then the typing of the record from its
// path and its path qualifier.
#include "reader/builder.hpp"

#include <cstdio>
#include <cstring>

#include "ckp/kvo.h"
#include "core/error.hpp"
#include "core/memory.hpp"
#include "core/name_hash.hpp"
#include "core/props.hpp"
#include "core/strmatch.hpp"
#include "core/syntax_chars.hpp"
#include "reader/legacy.hpp"
#include "reader/scanner.hpp"

namespace {
// An allocation that failed while building makes the record a syntax error
// that carries the reason.
int buildAllocFailed(ckpInfo* info, const char* what) {
    tiSetError(what);
    tiSetSyntax(info, nullptr);
    return 0;
}

int valueFailed(ckpInfo* info) {
    tiSetSyntax(info, "missing '\"' for property value");
    return 0;
}

// The quoted value at the cursor (the opening quote already passed) into
// buffer: \" \; and \\ stand for the character after the backslash, any
// other backslash stays. The value ends at the closing quote on the same
// line. Returns its length, or -1 without a closing quote.
int parseValue(ckpInfo* info, char* buffer) {
    int n = 0;
    char* p = info->cursor;
    for (;;) {
        while (*p != '\0' && *p != '"' && *p != '\\') {
            buffer[n++] = *p++;
        }
        if (*p != '\\') {
            break;
        }
        if (p[1] == '"' || p[1] == ';' || p[1] == '\\') {
            ++p;
        }
        buffer[n++] = *p++;
    }
    info->cursor = p;
    if (*p != '"') {
        valueFailed(info);
        return -1;
    }
    info->cursor = p + 1;
    buffer[n] = '\0';
    return n;
}

// One property at the cursor: a name of word characters (possibly empty),
// then optionally `=` and a quoted value, with blanks or line breaks
// allowed around the `=`. The property belongs to the line its name stands
// on; it is made once its value is known.
int parseProp(ckpInfo* info) {
    char name[ckpLineSize];
    int n = 0;
    ckpLine* line = info->curLine;
    char* p = info->cursor;
    for (; *p != '\0' && !tiIsBlank(uc(p)) && *p != '='; ++p) {
        if (!tiIsWordChar(uc(p))) {
            info->cursor = p;
            tiSetSyntax(info, "illegal character in property name");
            return 0;
        }
        name[n++] = *p;
    }
    name[n] = '\0';
    info->cursor = p;
    std::size_t nameLength = static_cast<std::size_t>(n);
    // Hashed and copied from where it stands in the line: words read back
    // from the copy just written byte by byte would wait for those stores.
    tiPropText text{p - n, nameLength, nullptr, 0, nameHashOf(p - n, nameLength)};
    tiWarnDupPropHashed(line, name, text.hash);
    char value[ckpLineSize];
    if (tiPeek(info, '=')) {
        ++info->cursor;
        if (!tiPeek(info, '"')) {
            return valueFailed(info);
        }
        ++info->cursor;
        int length = parseValue(info, value);
        if (length < 0) {
            return 0;
        }
        text.value = value;
        text.valueLength = static_cast<std::size_t>(length);
    }
    if (tiAddPropText(line, tiNoDupCheck, text) == nullptr) {
        tiSetSyntax(info, nullptr);
        return 0;
    }
    return 1;
}

ckpLine* headLine(ckpFile* file) {
    for (ckpLine* line = file->firstLine; line != nullptr; line = line->next) {
        if (line->headEnd != nullptr) {
            return line;
        }
    }
    return nullptr;
}

struct Qualifier {
    int keyword;
    int type;
    char* ckpInfo::*slot; // the handle's path that the record sets, if any
};

const Qualifier qualifiers[] = {
    {kwSd, ckpTypeSubDir, &ckpInfo::subDir},
    {kwC, ckpTypeConfigPath, &ckpInfo::configPath},
    {kwInc, ckpTypeInclude, nullptr},
};

const Qualifier* qualifierOf(const ckpProp* prop) {
    // Every qualifier keyword begins so; most names are passed over here.
    if (prop->name == nullptr || std::strncmp(prop->name, "WRX", 3) != 0) {
        return nullptr;
    }
    for (const Qualifier& q : qualifiers) {
        if (prop->name != nullptr && tiStrMatch(prop->name, ".", ckpKeywords[q.keyword])) {
            return &q;
        }
    }
    return nullptr;
}

// The cursor goes onto the qualifier that made the conflict when it stands
// on the first line, else to where the record's head ends.
void markConflict(ckpInfo* info, ckpFile* file, const char* keyword) {
    if (tiScanForToken(info, keyword, tiAtName)) {
        return;
    }
    ckpLine* line = headLine(file);
    if (line != nullptr) {
        info->curLine = line;
        info->cursor = line->headEnd;
    }
}
} // namespace

int tiParsePath(ckpInfo* info) {
    info->objPath = static_cast<char*>(tiFree(info->objPath));
    if (!tiPeek(info, 0)) {
        tiSetSyntax(info, "missing path name");
        return 0;
    }
    char* p = info->cursor;
    bool quoted = *p == '"';
    if (quoted) {
        ++p;
    } else if (p[0] == '\\' && p[1] == '"') {
        ++p; // an unquoted path may begin with a literal quote
    }
    char buffer[ckpLineSize];
    int n = 0;
    while (*p != '\0') {
        if (quoted && *p == '"') {
            break;
        }
        if (quoted && p[0] == '\\' && p[1] == '"') {
            ++p;
        } else if (!quoted && tiIsBlank(uc(p))) {
            break;
        }
        buffer[n++] = *p++;
    }
    buffer[n] = '\0';
    info->cursor = p;
    if (quoted) {
        if (*p != '"') {
            char message[ckpMsgSize];
            std::snprintf(message, sizeof message, "missing '%c' in path name", '"');
            tiSetSyntax(info, message);
            return 0;
        }
        info->cursor = p + 1;
    }
    info->objPath = tiStrDup(buffer);
    if (info->objPath == nullptr) {
        return buildAllocFailed(info, "path name allocation failed");
    }
    return 1;
}

int tiParseProps(ckpInfo* info) {
    while (tiPeek(info, 0)) {
        if (!parseProp(info)) {
            return 0;
        }
    }
    return 1;
}

int tiBuild_tp(ckpInfo* info) {
    ckpFile* file = nullptr;
    ckpLine* first = nullptr;
    if (!tiCheckLine(info, tiGuardQuiet, "tiBuild_tp", &file, &first)) {
        return 0;
    }
    // A build makes the record's head end and properties anew, so that
    // building a record twice (action 2 after a read) does not repeat them.
    for (ckpLine* line = first; line != nullptr; line = line->next) {
        line->headEnd = nullptr;
    }
    tiClearProps(file);
    int version = file->syntax;
    if (version < 0) {
        tiSetSyntax(info, "illegal version in tiBuild_tp");
        return 0;
    }
    bool hasPath = !(version >= 1 && info->type == ckpTypeHeader);
    if (hasPath) {
        if (!tiPeek(info, 0)) {
            tiSetSyntax(info, "missing path name");
            return 0;
        }
        if (!tiParsePath(info)) {
            return 0;
        }
        // The head ends on the line that holds the path, which is a
        // continuation line when the first line holds nothing before it:
        // headEnd always points into its own line's text, and a transfer
        // cuts each line at its own head end.
        info->curLine->headEnd = info->cursor;
    }
    int ok = 0;
    if (version == 0) {
        ok = tiParseLegacy(info);
    } else if (version == 1) {
        ok = tiParseProps(info);
    } else {
        tiSetError("unknown syntax version in tiBuild_tp");
        return 0;
    }
    if (!ok) {
        return 0;
    }
    info->curLine = first;
    info->cursor = tiSkipBlanks(first->text);
    if (version >= 1 && tiFindProp(info, ckpKeywords[kwC]) != nullptr) {
        return 1;
    }
    // A header record has no path; objPath still holds an earlier record's.
    if (hasPath && info->objPath != nullptr && kvoIsRooted(info->objPath) && !info->rootsAreOK) {
        tiSetSyntax(info, "use relative path name");
        return 0;
    }
    return 1;
}

int tiRecon_tr(ckpInfo* info) {
    ckpFile* file = nullptr;
    if (!tiCheckLine(info, tiGuardQuiet, "tiRecon_tr", &file, nullptr)) {
        return 0;
    }
    switch (info->type) {
    case ckpTypeComment:
    case ckpTypeSyntax:
    case ckpTypeEnd:
    case ckpTypeEndInclude:
        return 1;
    default:
        break;
    }
    if (info->objPath == nullptr || info->objPath[0] == '\0') {
        info->type = ckpTypeNone;
        return 1;
    }
    info->type = ckpTypeObject;
    int count = 0;
    for (ckpProp* prop = tiFirstPropFrom(file->firstLine); prop != nullptr;
         prop = tiNextProp(prop)) {
        const Qualifier* q = qualifierOf(prop);
        if (q == nullptr) {
            continue;
        }
        info->type = q->type;
        if (q->slot != nullptr && !tiReplaceStr(&(info->*(q->slot)), info->objPath)) {
            buildAllocFailed(info, "ckpInfo path allocation failed");
            return 1;
        }
        if (++count > 1) {
            markConflict(info, file, ckpKeywords[q->keyword]);
            tiSetSyntax(info, "conflicting path quailifier properties");
            return 1;
        }
    }
    return 1;
}
