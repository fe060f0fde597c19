// The write-access check that guards every writer call.
#include "writer/check_write.hpp"

#include "core/error.hpp"
#include "core/record.hpp"

int tiCheckWrite(ckpInfo* info, const char* caller, int startRecord, int appendAllowed) {
    if (caller == nullptr) {
        caller = "";
    }
    // The record is begun before the mode is tested: a record-starting call
    // on a reading handle empties that handle's record and then fails.
    if (startRecord && !tiNewRecord(info, caller, tiCountRecord, nullptr, nullptr)) {
        return 0;
    }
    // A handle with its record in place, the case of every call after the
    // first, needs no guard.
    bool ready =
        info != nullptr && info->files.top != nullptr && info->files.top->firstLine != nullptr;
    if (!ready && !tiCheckLine(info, tiGuardQuiet, caller, nullptr, nullptr)) {
        return 0;
    }
    char mode = info->opened.mode != nullptr ? info->opened.mode[0] : '\0';
    if (mode == 'w' || (appendAllowed && mode == 'a')) {
        return 1;
    }
    tiSetErrorf("illegal access mode in %s", caller);
    return 0;
}
