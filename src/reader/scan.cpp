// Scan targets: the next ckpGets passes over records until one matches.
#include <cstdio>

#include "core/error.hpp"
#include "core/handle.hpp"
#include "core/memory.hpp"
#include "reader/input.hpp"
#include "reader/physline.hpp"
#include "support/platform.hpp"

extern "C" {

int ckpSetScan(ckpInfo* info, int rewindFlag, int type, const char* name) {
    ckpFile* file = nullptr;
    if (!tiCheckFile(info, tiGuardQuiet, "ckpSetScan", &file)) {
        return 0;
    }
    if (rewindFlag) {
        // tell first: a failed seek on a pipe drops the buffered input
        // with some runtimes (msvcrt), and the reader reads on after it.
        // The start is where the library took the stream over.
        std::int64_t start = file->startOffset > 0 ? file->startOffset : 0;
        if (file->stream == nullptr || platform::tell(file->stream) < 0 ||
            platform::seek(file->stream, start) != 0) {
            tiSetErrorf("seek failed on \"%s\"", tiFileShownName(file));
            return 0;
        }
        // What was read ahead of the old position, or kept for re-reading,
        // would otherwise come back before the file's first line.
        tiDropInput(file);
        tiDropReplay(file);
    }
    if (type == ckpScanAny && (name == nullptr || name[0] == '\0')) {
        info->scan.type = ckpScanAny;
        info->scan.name = static_cast<char*>(tiFree(info->scan.name));
        return 1;
    }
    if (!tiReplaceStr(&info->scan.name, name)) {
        tiSetError("scan name allocation failed");
        return 0;
    }
    info->scan.type = type;
    return ckpSetAction(info, tiActionArmed, ckpActionScan);
}

int ckpSetIgnore(ckpInfo* info) {
    if (!tiCheckFile(info, tiGuardQuiet, "ckpSetIgnore", nullptr)) {
        return 0;
    }
    if (info->record.type == ckpTypeConfigPath || info->record.type == ckpTypeSubDir) {
        return ckpSetScan(info, 0, info->record.type, nullptr);
    }
    return 0;
}
}
