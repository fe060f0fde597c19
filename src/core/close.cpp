// Closing and flushing handles, and their small settings.
#include "ckp/ckpx.h"

#include <cerrno>

#include "core/error.hpp"
#include "core/handle.hpp"
#include "core/lookup.hpp"

namespace {
// A caller's stream is flushed when it was written, never closed. 1, or 0
// with the system's reason recorded.
int flushCallerStream(const ckpInfo* info, std::FILE* stream) {
    if (info->opened.mode[0] == 'r' || std::fflush(stream) == 0) {
        return 1;
    }
    tiSetSysError(errno);
    return 0;
}
} // namespace

extern "C" {

int ckpClose(ckpInfo* info) {
    if (info == nullptr) {
        return 0;
    }
    int result = 0;
    ckpFile* file = info->files.top;
    if (file != nullptr && tiIsCallerStream(info, file->stream)) {
        result = flushCallerStream(info, file->stream) ? 0 : 1;
    } else if (file != nullptr && file->stream != nullptr && !tiIsStdStream(file->stream)) {
        result = tCloseByMode(file->stream, info->opened.mode) ? 0 : 1;
    }
    // The stream is never closed twice, also after a failed close.
    if (file != nullptr) {
        file->stream = nullptr;
    }
    tiFreeInfo(info);
    return result;
}

int ckpFlush(ckpInfo* info) {
    if (info == nullptr) {
        return 0;
    }
    ckpFile* file = info->files.top;
    if (file == nullptr || file->stream == nullptr ||
        (tiIsStdStream(file->stream) && !tiIsCallerStream(info, file->stream))) {
        return 1;
    }
    if (std::fflush(file->stream) != 0) {
        tiSetSysError(errno);
        return 0;
    }
    return 1;
}

void ckpSetRootsAreOK(ckpInfo* info, int flag) {
    if (info != nullptr) {
        info->files.rootsAreOK = flag;
    }
}

int ckpSetAction(ckpInfo* info, int actionSet, int action) {
    if (info == nullptr) {
        tiSetError("no ckpInfo in ckpSetAction");
        return 0;
    }
    info->oneShot.armed = actionSet;
    info->oneShot.action = action;
    return 1;
}

int ckpGetName(ckpInfo* info, int current, char** nameOut) {
    if (nameOut == nullptr) {
        tiSetError("no fileName pointer in ckpGetName");
        return 0;
    }
    *nameOut = nullptr;
    ckpFile* file = nullptr;
    if (!tiCheckFile(info, tiGuardQuiet, "ckpGetName", &file)) {
        return 0;
    }
    if (!current) {
        while (file->prev != nullptr) {
            file = file->prev;
        }
    }
    *nameOut = file->name;
    return 1;
}
}
