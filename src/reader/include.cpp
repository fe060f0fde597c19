// Following an include record: resolving its path against the including
// file, refusing what is not a regular file and recursion, and pushing the
// file.
#include "reader/include.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "ckp/kvo.h"
#include "core/error.hpp"
#include "core/lookup.hpp"
#include "core/memory.hpp"
#include "core/record.hpp"
#include "reader/open.hpp"
#include "reader/scanner.hpp"
#include "support/platform.hpp"

namespace {
// A relative include path names a file beside the including file; an
// includer without a name (a standard stream) takes the path as given.
int includePath(ckpInfo* info, char* path) {
    const char* target = info->record.objPath != nullptr ? info->record.objPath : "";
    const char* base = info->files.top->name;
    std::size_t dirLength = 0;
    if (base != nullptr && !kvoIsRooted(target)) {
        for (const char* p = base; *p != '\0'; ++p) {
            if (platform::endsDirPart(*p)) {
                dirLength = static_cast<std::size_t>(p - base) + 1;
            }
        }
    }
    std::size_t targetLength = std::strlen(target);
    if (dirLength + targetLength >= static_cast<std::size_t>(ckpPathSize)) {
        tiSetSysErrorOf(target, ENAMETOOLONG);
        return 0;
    }
    if (dirLength > 0) {
        std::memcpy(path, base, dirLength);
    }
    std::memcpy(path + dirLength, target, targetLength + 1);
    return 1;
}

// An include names a regular file. Anything else is refused with a message
// naming it: a directory, as the runtime refuses it on Windows, and a
// device, FIFO or socket, which could block the reader or never end. The
// kind is known by path before the open (opening a FIFO waits for a
// writer) and, for a file changed in between, by the open stream. Returns
// 1 when the kind was refused.
int refuseKind(const char* path, int kind) {
    if (kind == KVO_KIND_DIRECTORY) {
        tiSetSysErrorOf(path, EISDIR);
        return 1;
    }
    if (kind == KVO_KIND_OTHER) {
        tiSetErrorf("%s: not a regular file", path);
        return 1;
    }
    return 0;
}

// The kind of the file that tOpen would open: the name, else the name with
// the suffix; 0 when neither exists.
int kindByPath(const char* path) {
    const char* file = path;
    if (!kvoFileExists(file) && !kvoIsDirectory(file)) {
        file = tAddSuffix(path, "Ckpt");
    }
    if (kvoIsDirectory(file)) {
        return KVO_KIND_DIRECTORY;
    }
    if (!kvoFileExists(file)) {
        return 0;
    }
    return kvoIsRegularFile(file) ? KVO_KIND_REGULAR : KVO_KIND_OTHER;
}

bool onStack(ckpInfo* info, std::FILE* stream, std::uint16_t node) {
    ckpFileId id;
    tStreamId(stream, &id);
    for (const ckpFile* file = info->files.top; file != nullptr; file = file->prev) {
        if (tSameFileAs(&id, node, file)) {
            return true;
        }
    }
    return false;
}

// After a failed push the includer is the top again; its record (the
// include name) stays current, and no cursor may point into the freed file.
void backToIncluder(ckpInfo* info) {
    ckpFile* file = info->files.top;
    if (file == nullptr || file->firstLine == nullptr) {
        return;
    }
    info->read.line = file->firstLine;
    info->read.pos = file->firstLine->text;
    info->write.line = file->lastLine;
    info->write.pos = file->lastLine->text + std::strlen(file->lastLine->text);
}
} // namespace

void tiIncludeFile(ckpInfo* info) {
    tiAppendText(info, info->record.objPath);
    char path[ckpPathSize];
    if (!includePath(info, path)) {
        tiSetSyntax(info, nullptr);
        return;
    }
    if (refuseKind(path, kindByPath(path))) {
        tiSetSyntax(info, nullptr);
        return;
    }
    char* found = nullptr;
    std::uint16_t node = 0;
    std::FILE* stream = tOpen(path, "r", &found, &node);
    if (stream == nullptr) {
        tiSetSyntax(info, nullptr);
        return;
    }
    char name[ckpPathSize];
    std::snprintf(name, sizeof name, "%s", found);
    if (refuseKind(path, kvoStreamKind(stream))) {
        std::fclose(stream);
        tiSetSyntax(info, nullptr);
        return;
    }
    if (onStack(info, stream, node)) {
        std::fclose(stream);
        tiSetSyntax(info, "recursive file inclusion");
        return;
    }
    if (!tiPushFile(info, name, node, stream) ||
        !tiCheckLine(info, tiGuardQuiet, "ckpGets", nullptr, nullptr)) {
        backToIncluder(info);
        info->oneShot.armed = tiActionOff;
        info->oneShot.action = ckpActionNone;
        info->record.type = ckpTypeError;
    }
}
