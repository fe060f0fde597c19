// The record reader: ckpGets, which makes the next record current, carries
// out the one-shot actions, follows include records and runs scans; and
// tiGet_tr, which gathers the physical lines of one record.
#include "reader/reader.hpp"

#include <cstring>
#include <new>

#include "core/error.hpp"
#include "core/handle.hpp"
#include "core/memory.hpp"
#include "core/pool.hpp"
#include "core/record.hpp"
#include "core/strmatch.hpp"
#include "reader/builder.hpp"
#include "reader/include.hpp"
#include "reader/physline.hpp"
#include "reader/scanner.hpp"

namespace {
// What one ckpGets call does with the records it reads.
struct Pass {
    bool build = true;
    bool reconcile = true;
    bool scan = false;
    bool firstTurn = true; // the record current when the call began is the previous one
};

bool included(const ckpInfo* info) {
    return info->files.top->prev != nullptr;
}

// The end of input. While a file is being started (its syntax not yet
// known) the end is the empty file that the header check asks about, never
// the end of an included file, which would pop the file being started.
int endType(const ckpInfo* info) {
    if (included(info) && info->files.top->syntax != ckpSyntaxUnknown) {
        return ckpTypeEndInclude;
    }
    return ckpTypeEnd;
}

void buildAndReconcile(ckpInfo* info, const Pass& pass) {
    if (pass.build && !tiBuild_tp(info)) {
        return;
    }
    if (pass.reconcile && info->record.type == ckpTypeNone) {
        tiRecon_tr(info);
    }
}

// A scan for the end, right after a header record: the rest of the file is
// not read. When the scan was armed on that header the end of an included
// file is what it finds; a header met while the scan runs belongs to a file
// that it enters, and that file's end is passed over like its records.
bool skipToEnd(ckpInfo* info, const Pass& pass) {
    if (!(pass.scan && info->record.type == ckpTypeHeader && info->scan.type == ckpTypeEnd)) {
        return false;
    }
    if (!included(info)) {
        info->record.type = ckpTypeEnd;
    } else {
        info->record.type = ckpTypeEndInclude;
        if (pass.firstTurn) {
            info->scan.type = ckpTypeEndInclude;
        }
    }
    return true;
}

// Steps of one record: start it, follow an include record, read the lines,
// build and type them. The previous record's type is still in info->record.type.
void readRecord(ckpInfo* info, Pass& pass) {
    int previous = info->record.type;
    if (!tiNewRecord(info, "ckpGets", tiKeepCount, nullptr, nullptr)) {
        info->record.type = ckpTypeError;
        return;
    }
    info->read.pos = tiSkipBlanks(info->read.pos);
    if (skipToEnd(info, pass)) {
        return;
    }
    if (previous == ckpTypeInclude) {
        if (!(pass.scan && info->scan.type == ckpScanPastInclude)) {
            tiIncludeFile(info);
            return;
        }
        // A scan for include records stops here without following it.
        pass.scan = false;
        info->scan.type = ckpScanAny;
    }
    if (!tiGet_tr(info)) {
        info->record.type = info->read.atEnd ? endType(info) : ckpTypeError;
        return;
    }
    // Comments are not built, nor lines that were faulty as read.
    if (info->record.type == ckpTypeNone) {
        buildAndReconcile(info, pass);
    }
}

// An ended included file is closed and its includer read on.
void finishRecord(ckpInfo* info) {
    if (info->record.type != ckpTypeEndInclude) {
        return;
    }
    if (!tiPopFile(info, "ckpGets", tiKeepCount, nullptr, nullptr)) {
        info->record.type = ckpTypeError;
    }
}

bool scanMatches(const ckpInfo* info) {
    const char* name = info->scan.name;
    if (name != nullptr && name[0] != '\0') {
        return tiStrMatch(name, ".", info->record.objPath) &&
               (info->scan.type == ckpScanAny || info->scan.type == info->record.type);
    }
    return info->scan.type == info->record.type;
}

void clearScan(ckpInfo* info) {
    info->scan.type = ckpScanAny;
    info->scan.name = static_cast<char*>(tiFree(info->scan.name));
}

// Passes over records until one matches the scan target. A scan also ends,
// unmatched, at the end of the main file and at a read error, where reading
// again would never get further.
int runScan(ckpInfo* info, Pass& pass) {
    for (;;) {
        readRecord(info, pass);
        finishRecord(info);
        if (!pass.scan) {
            return 1;
        }
        if (scanMatches(info) || info->record.type == ckpTypeEnd ||
            info->record.type == ckpTypeError) {
            clearScan(info);
            return 1;
        }
        pass.firstTurn = false;
        // An included file's header record, passed over, is not delivered
        // again by the next call.
        if (info->oneShot.armed == tiActionArmed && info->oneShot.action == ckpActionKeep) {
            info->oneShot.action = ckpActionNone;
        }
    }
}
// A continuation line, appended to file's record, in the file's line
// arena: the lines of a record lie side by side and go with it at once.
ckpLine* newContinuationLine(ckpFile* file) {
    void* block = tiArenaTakeFast(&file->lineArena, sizeof(ckpLine) + ckpLineSize);
    if (block == nullptr) {
        tiSetError("ckpLine allocation failed");
        return nullptr;
    }
    auto* line = new (block) ckpLine{};
    line->file = file;
    line->text = reinterpret_cast<char*>(line + 1);
    line->text[0] = '\0';
    line->textRoom = ckpLineSize;
    line->sizeClass = ckpInArena;
    line->seq = file->lastLine->seq + 1;
    file->lastLine->next = line;
    file->lastLine = line;
    return line;
}

// A continuation line just read keeps only the room its text takes, so
// that a record of very many lines holds no more than their texts.
void fitLine(ckpFile* file, ckpLine* line) {
    if (line->sizeClass != ckpInArena || line->firstProp != nullptr || line->headEnd != nullptr) {
        return;
    }
    std::size_t room = std::strlen(line->text) + 1;
    tiArenaShrink(file->lineArena, line, sizeof(ckpLine) + line->textRoom, sizeof(ckpLine) + room);
    line->textRoom = room;
}
} // namespace

int tiGet_tr(ckpInfo* info) {
    ckpFile* file = info->files.top;
    info->record.type = ckpTypeNone;
    if (!tiGets(info)) {
        return 0;
    }
    file->firstLine->loaded = 1;
    while (file->lastLine->continued) {
        ckpLine* last = file->lastLine;
        // Whatever stops the record here, the lines already read stay and
        // the last of them no longer asks for a next one.
        ckpLine* line = newContinuationLine(file);
        if (line == nullptr) {
            last->continued = 0;
            return 0;
        }
        if (!tiGets(info)) {
            tiFreeLine(line);
            last->continued = 0;
            info->read.line = file->firstLine;
            info->read.pos = file->firstLine->text;
            // The end of input ends the record; a read error fails it.
            return info->read.atEnd ? 1 : 0;
        }
        fitLine(file, line);
    }
    return 1;
}

extern "C" int ckpGets(ckpInfo* info) {
    if (info == nullptr) {
        return 0;
    }
    if (!tiCheckLine(info, tiGuardQuiet, "ckpGets", nullptr, nullptr)) {
        info->record.type = ckpTypeError;
        return 1;
    }
    Pass pass;
    int action = ckpActionNone;
    if (info->oneShot.armed == tiActionArmed) {
        action = info->oneShot.action;
        info->oneShot.action = ckpActionNone;
    }
    switch (action) {
    case ckpActionRaw:
        pass.build = false;
        pass.reconcile = false;
        return runScan(info, pass);
    case ckpActionBuild:
        pass.reconcile = false;
        buildAndReconcile(info, pass);
        finishRecord(info);
        return 1;
    case ckpActionReconcile:
        if (info->record.type == ckpTypeNone) {
            tiRecon_tr(info);
        }
        finishRecord(info);
        return 1;
    case ckpActionKeep:
        finishRecord(info);
        return 1;
    case ckpActionScan:
        pass.scan = true;
        break;
    default:
        break;
    }
    if (info->record.type == ckpTypeEnd) {
        return 0;
    }
    return runScan(info, pass);
}
