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
#include "core/prop_index.hpp"
#include "core/props.hpp"
#include "core/strmatch.hpp"
#include "core/syntax_chars.hpp"
#include "reader/char_table.hpp"
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

// Where a quoted value stands in the line: from the cursor (the opening
// quote passed) to its closing quote on the same line, and whether a
// backslash in it escapes a character.
struct ValueSpan {
    const char* start = nullptr; // null for a flag property
    std::size_t length = 0;      // of the text as it stands
    bool escaped = false;
};

// Finds the end of the value at the cursor: \" \; and \\ stand for the
// character after the backslash, any other backslash stays. true with the
// cursor past the closing quote; false, the cursor where the value stopped,
// when there is none.
bool scanValue(ckpInfo* info, ValueSpan* value) {
    char* p = info->read.pos;
    value->start = p;
    const char* safeEnd = info->read.line->text + info->read.line->textRoom;
    for (;;) {
        p = tiSkipPlainValue(p, safeEnd);
        if (*p != '\\') {
            break;
        }
        value->escaped = true;
        p += p[1] == '"' || p[1] == ';' || p[1] == '\\' ? 2 : 1;
    }
    info->read.pos = p;
    if (*p != '"') {
        return false;
    }
    value->length = static_cast<std::size_t>(p - value->start);
    info->read.pos = p + 1;
    return true;
}

// The value after a name, when the name is followed by `=`: blanks and a
// line break may stand around the `=`. true when there is no value or a
// well-formed one; false with the cursor where it went wrong.
bool findValue(ckpInfo* info, ValueSpan* value) {
    if (!tiPeek(info, '=')) {
        return true;
    }
    ++info->read.pos;
    if (!tiPeek(info, '"')) {
        return false;
    }
    ++info->read.pos;
    return scanValue(info, value);
}

// The value's text into to, unescaped, and terminated.
void copyValue(char* to, const ValueSpan& value) {
    if (!value.escaped) {
        std::memcpy(to, value.start, value.length);
        to[value.length] = '\0';
        return;
    }
    const char* p = value.start;
    const char* end = p + value.length;
    while (p < end) {
        if (p[0] == '\\' && (p[1] == '"' || p[1] == ';' || p[1] == '\\')) {
            ++p;
        }
        *to++ = *p++;
    }
    *to = '\0';
}

// The duplicate warning for a name that stands unterminated in the line;
// the record's name filter answers for most names without a copy.
void warnIfRepeated(ckpLine* line, const char* name, std::size_t length, std::uint64_t hash) {
    if (line->file == nullptr || (line->file->nameBits & tiNameBit(hash)) == 0) {
        return;
    }
    char copy[ckpLineSize];
    std::memcpy(copy, name, length);
    copy[length] = '\0';
    tiWarnDupPropHashed(line, copy, hash);
}

// Properties made and not yet looked up among the record's names nor
// appended: that is done a batch at a time, in their order, when the batch
// is full, before a message is recorded and when the record's properties
// end. The name index of a large record then fetches the slots of a whole
// batch at once instead of waiting for each in turn.
constexpr int pendingBatch = 16;
struct Pending {
    ckpLine* lines[pendingBatch];
    ckpProp* props[pendingBatch];
    int count = 0;
};

void settle(ckpInfo* info, Pending* pending) {
    const ckpPropIndex* index = info->record.propIndex;
    if (index != nullptr && index->file == info->files.top) {
        for (int i = 0; i < pending->count; ++i) {
            tiPropIndexPrefetch(info, pending->props[i]->hash);
        }
    }
    for (int i = 0; i < pending->count; ++i) {
        ckpLine* line = pending->lines[i];
        ckpProp* prop = pending->props[i];
        // A large record's index looks the name up and takes it in at once.
        bool taken = false;
        const ckpProp* earlier = tiPropIndexTakeNew(line, prop, &taken);
        if (taken) {
            if (earlier != nullptr) {
                tiSetErrorf("duplicate \"%s\" property", prop->name);
            }
            tiLinkProp(line, prop);
            continue;
        }
        if (line->file != nullptr && (line->file->nameBits & tiNameBit(prop->hash)) != 0) {
            tiWarnDupPropHashed(line, prop->name, prop->hash);
        }
        tiAppendProp(line, prop);
    }
    pending->count = 0;
}

bool syntaxFault(ckpInfo* info, Pending* pending, const char* message) {
    settle(info, pending);
    tiSetSyntax(info, message);
    return false;
}

// One property at the cursor: a name of word characters (possibly empty),
// then optionally `=` and a quoted value, with blanks or line breaks
// allowed around the `=`. The property belongs to the line its name stands
// on; it is made once its value is known, its strings copied once, from
// the line, right behind it, and left pending.
bool parseProp(ckpInfo* info, Pending* pending) {
    if (pending->count == pendingBatch) {
        settle(info, pending);
    }
    ckpLine* line = info->read.line;
    char* name = info->read.pos;
    char* p = tiSkipNameFast(name);
    info->read.pos = p;
    if (*p != '\0' && *p != '=' && !tiIsBlank(uc(p))) {
        return syntaxFault(info, pending, "illegal character in property name");
    }
    auto nameLength = static_cast<std::size_t>(p - name);
    std::uint64_t hash = nameHashOf(name, nameLength);
    ValueSpan value;
    // A repeated name is told of before a fault in its value, or a lack of
    // memory for it.
    if (!findValue(info, &value)) {
        settle(info, pending);
        warnIfRepeated(line, name, nameLength, hash);
        return syntaxFault(info, pending, "missing '\"' for property value");
    }
    std::size_t valueSize = value.start != nullptr ? value.length + 1 : 0;
    ckpProp* prop = tiNewPropIn(line, nameLength + 1 + valueSize);
    if (prop == nullptr) {
        settle(info, pending);
        warnIfRepeated(line, name, nameLength, hash);
        tiSetError("ckpProp allocation failed");
        return syntaxFault(info, pending, nullptr);
    }
    prop->hash = hash;
    prop->name = reinterpret_cast<char*>(prop + 1);
    std::memcpy(prop->name, name, nameLength);
    prop->name[nameLength] = '\0';
    if (value.start != nullptr) {
        prop->value = prop->name + nameLength + 1;
        copyValue(prop->value, value);
    }
    pending->lines[pending->count] = line;
    pending->props[pending->count] = prop;
    ++pending->count;
    return true;
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
    char* ckpCurrentRecord::*slot; // the handle's path that the record sets, if any
};

const Qualifier qualifiers[] = {
    {kwSd, ckpTypeSubDir, &ckpCurrentRecord::subDir},
    {kwC, ckpTypeConfigPath, &ckpCurrentRecord::configPath},
    {kwInc, ckpTypeInclude, nullptr},
};

const Qualifier* qualifierOf(const ckpProp* prop) {
    // Every qualifier keyword begins so; most names are passed over here.
    const char* name = prop->name;
    if (name == nullptr || name[0] != 'W' || name[1] != 'R' || name[2] != 'X') {
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
        info->read.line = line;
        info->read.pos = line->headEnd;
    }
}
} // namespace

namespace {
int pathFailed(ckpInfo* info, const char* message) {
    info->record.objPath = static_cast<char*>(tiFree(info->record.objPath));
    tiSetSyntax(info, message);
    return 0;
}

// The path's n characters at text into objPath: the block of the previous
// record's path is written over when the new one fits it (a block holds at
// least its string and terminator); the old path is gone either way.
int keepPath(ckpInfo* info, const char* text, std::size_t n) {
    char* old = info->record.objPath;
    if (old == nullptr || std::strlen(old) < n) {
        info->record.objPath = static_cast<char*>(tiFree(old));
        info->record.objPath = static_cast<char*>(tiAlloc(n + 1));
        if (info->record.objPath == nullptr) {
            return buildAllocFailed(info, "path name allocation failed");
        }
    }
    std::memcpy(info->record.objPath, text, n);
    info->record.objPath[n] = '\0';
    return 1;
}
} // namespace

int tiParsePath(ckpInfo* info) {
    if (!tiPeek(info, 0)) {
        return pathFailed(info, "missing path name");
    }
    char* p = info->read.pos;
    bool quoted = *p == '"';
    if (quoted) {
        ++p;
    } else if (p[0] == '\\' && p[1] == '"') {
        ++p; // an unquoted path may begin with a literal quote
    }
    if (!quoted) {
        // Taken as it stands, up to a blank or the line's end.
        char* start = p;
        while (*p != '\0' && !tiIsBlank(uc(p))) {
            ++p;
        }
        info->read.pos = p;
        return keepPath(info, start, static_cast<std::size_t>(p - start));
    }
    // Quoted: up to the closing quote, \" standing for a quote.
    char buffer[ckpLineSize];
    int n = 0;
    while (*p != '\0' && *p != '"') {
        if (p[0] == '\\' && p[1] == '"') {
            ++p;
        }
        buffer[n++] = *p++;
    }
    info->read.pos = p;
    if (*p != '"') {
        char message[ckpMsgSize];
        std::snprintf(message, sizeof message, "missing '%c' in path name", '"');
        return pathFailed(info, message);
    }
    info->read.pos = p + 1;
    return keepPath(info, buffer, static_cast<std::size_t>(n));
}

int tiParseProps(ckpInfo* info) {
    Pending pending;
    while (tiPeek(info, 0)) {
        if (!parseProp(info, &pending)) {
            return 0; // the pending properties were settled first
        }
    }
    settle(info, &pending);
    return 1;
}

int tiBuild_tp(ckpInfo* info) {
    ckpFile* file = info->files.top;
    ckpLine* first = file->firstLine;
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
    bool hasPath = !(version >= 1 && info->record.type == ckpTypeHeader);
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
        info->read.line->headEnd = info->read.pos;
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
    info->read.line = first;
    info->read.pos = tiSkipBlanks(first->text);
    // The qualifier's hash is the same for every record.
    static const std::uint64_t configHash = nameHash(ckpKeywords[kwC]);
    if (version >= 1 && tiFindPropHashed(info, ckpKeywords[kwC], configHash) != nullptr) {
        return 1;
    }
    // A header record has no path; objPath still holds an earlier record's.
    if (hasPath && info->record.objPath != nullptr && kvoIsRooted(info->record.objPath) &&
        !info->files.rootsAreOK) {
        tiSetSyntax(info, "use relative path name");
        return 0;
    }
    return 1;
}

int tiRecon_tr(ckpInfo* info) {
    ckpFile* file = info->files.top;
    switch (info->record.type) {
    case ckpTypeComment:
    case ckpTypeSyntax:
    case ckpTypeEnd:
    case ckpTypeEndInclude:
        return 1;
    default:
        break;
    }
    if (info->record.objPath == nullptr || info->record.objPath[0] == '\0') {
        info->record.type = ckpTypeNone;
        return 1;
    }
    info->record.type = ckpTypeObject;
    int count = 0;
    for (ckpProp* prop = tiFirstPropFrom(file->firstLine); prop != nullptr;
         prop = tiNextProp(prop)) {
        const Qualifier* q = qualifierOf(prop);
        if (q == nullptr) {
            continue;
        }
        info->record.type = q->type;
        if (q->slot != nullptr && !tiReplaceStr(&(info->record.*(q->slot)), info->record.objPath)) {
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
