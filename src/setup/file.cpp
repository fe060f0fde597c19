// Setups and their files: load and save.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <cerrno>
#include <climits>

#include "ckp/ckpx.h"
#include "core/error.hpp"
#include "core/handle.hpp"
#include "setup/dump.hpp"
#include "setup/entry.hpp"
#include "setup/load_order.hpp"
#include "setup/registry.hpp"

namespace {

void closeReadHandle(ckpInfo* handle) {
    if (ckpClose(handle) != 0) {
        char message[1024];
        std::snprintf(message, sizeof message,
                      "Error (ckpSetupReadSetup): Error during ckpClose. %s", tiErrorText());
        kvoReportError(message);
    }
}

void warnPropertyDropped() {
    kvoReportError("Warning (ckpSetupMakeEntry): couldn't add property to checkpoint entry.");
}

// The record's properties in order, read straight from its lines.
template <class Visit> void eachRecordProp(ckpInfo* handle, Visit visit) {
    for (ckpLine* line = handle->files.top->firstLine; line != nullptr; line = line->next) {
        for (ckpProp* p = line->firstProp; p != nullptr; p = p->next) {
            visit(p);
        }
    }
}

// A record's properties in file order, and as many again to sort them
// with, in a buffer that a load reuses.
struct PropBuffer {
    ckpSetupProp* props = nullptr;
    int capacity = 0;
};

bool reserve(PropBuffer* buffer, int count) {
    if (count <= buffer->capacity) {
        return true;
    }
    int capacity = std::max(count, 2 * std::min(buffer->capacity, INT_MAX / 4));
    void* grown = kvoRealloc(buffer->props, 2 * sizeof(ckpSetupProp) * std::size_t(capacity));
    if (grown == nullptr) {
        return false;
    }
    buffer->props = static_cast<ckpSetupProp*>(grown);
    buffer->capacity = capacity;
    return true;
}

// An object record becomes a packed entry, its properties sorted by name
// once; a property without a name, or with the name of an earlier one, is
// dropped with a warning.
int ckpSetupMakeEntry(ckpSetupLoadOrder* order, ckpInfo* handle, PropBuffer* buffer) {
    const char* path = ckpGetObjPath(handle);
    int count = 0;
    int unnamed = 0;
    eachRecordProp(handle, [&](const ckpProp* p) {
        if (p->name == nullptr || count == INT_MAX) {
            ++unnamed;
        } else {
            ++count;
        }
    });
    if (!reserve(buffer, count)) {
        return 0;
    }
    int at = 0;
    eachRecordProp(handle, [&](const ckpProp* p) {
        if (p->name != nullptr && at < count) {
            buffer->props[at++] = ckpSetupProp{p->name, p->value};
        }
    });
    ckpSetupEntry entry{};
    int repeated = 0;
    if (!ckpSetupPack(order->setup, &entry, path != nullptr ? path : "", buffer->props,
                      buffer->props + buffer->capacity, count, &repeated)) {
        return 0;
    }
    for (int dropped = unnamed + repeated; dropped > 0; --dropped) {
        warnPropertyDropped();
    }
    if (path == nullptr || path[0] == '\0') {
        kvoReportError("Error (ckpSetupAddEntry): checkpoint add entry called with no name value.");
        return 0;
    }
    if (!ckpSetupLoadAdd(order, &entry)) {
        kvoReportError("Error (kvoSetupAddEntry): couldn't add entry to checkpoint.");
        return 0;
    }
    return 1;
}

// The records after the header: object records become entries; 0 when a
// record was faulty or refused or a read failed.
int readEntries(ckpSetupLoadOrder* order, ckpInfo* handle) {
    PropBuffer buffer;
    int result = 1;
    for (;;) {
        ckpGets(handle);
        int type = ckpGetType(handle);
        if (type == ckpTypeEnd) {
            break;
        }
        if (type == ckpTypeError) {
            kvoReportError(tiErrorText());
            result = -1;
            break;
        }
        if (type == ckpTypeSyntax) {
            ckpSyntax(handle);
            result = 0;
        } else if (type == ckpTypeHeader) {
            kvoReportError("Error (ckpSetupReadSetup): checkpoint file has an extra checkpoint "
                           "header record.");
            result = 0;
        } else if (type == ckpTypeObject && !ckpSetupMakeEntry(order, handle, &buffer)) {
            result = 0;
        }
    }
    kvoFree(buffer.props);
    return result > 0 ? 1 : 0;
}

int ckpSetupReadSetup(ckpSetup* setup) {
    ckpInfo* handle = ckpOpen(setup->loadPath, "R");
    if (handle == nullptr) {
        kvoReportError("Error (ckpSetupReadSetup): unable to open file for read.");
        return 0;
    }
    ckpSetRootsAreOK(handle, 1);
    ckpGets(handle);
    if (ckpGetType(handle) != ckpTypeHeader) {
        kvoReportError(
            "Error (ckpSetupReadSetup): checkpoint file does not have a checkpoint header record.");
        closeReadHandle(handle);
        return 0;
    }
    ckpSetupLoadOrder order{};
    ckpSetupLoadBegin(&order, setup);
    int result = readEntries(&order, handle);
    ckpSetupLoadEnd(&order);
    closeReadHandle(handle);
    return result;
}

// Names the entry that the writer refused, with the writer's reason; line
// ends in the name are shown as \n and \r, so the message stays one line.
void reportRefusedEntry(const char* name) {
    const char* reason = tiErrorText();
    std::size_t size = 2 * std::strlen(name) + std::strlen(reason) + 64;
    auto* message = static_cast<char*>(kvoMalloc(size));
    if (message == nullptr) {
        return;
    }
    int n = std::snprintf(message, size, "Error (ckpSetupWriteEntry): entry \"");
    for (const char* p = name; *p != '\0'; ++p) {
        if (*p == '\n' || *p == '\r') {
            message[n++] = '\\';
            message[n++] = *p == '\n' ? 'n' : 'r';
        } else {
            message[n++] = *p;
        }
    }
    std::snprintf(message + n, size - static_cast<std::size_t>(n), "\" not written: %s", reason);
    kvoReportError(message);
    kvoFree(message);
}

int ckpSetupWriteEntry(const ckpSetupEntry* entry, ckpInfo* handle) {
    if (!ckpCreateObj(handle, entry->name)) {
        kvoReportError("Error (ckpSetupWriteEntry): failed to create checkpoint file.");
        reportRefusedEntry(entry->name);
        return 0;
    }
    bool ok = true;
    ckpSetupEachProp(entry, [&](const char* name, const char* value) {
        ok = ok && ckpPutProp(handle, name, value) != 0;
    });
    if (!ok) {
        kvoReportError("Error (ckpSetupWriteEntry): writing property to checkpoint file failed.");
        return 0;
    }
    if (!ckpPuts(handle)) {
        kvoReportError("Error (ckpSetupWriteEntry): checkpoint buffer write failed.");
        return 0;
    }
    return 1;
}

int ckpSetupWriteHeader(ckpInfo* handle) {
    if (!ckpCreateHdr(handle) || !ckpPuts(handle)) {
        kvoReportError("Error (ckpSetupWriteHeader): checkpoint file header write failed.");
        return 0;
    }
    return 1;
}

void reportCloseFailure() {
    char message[1024];
    std::snprintf(message, sizeof message, "Error (ckpSetupWriteSetup): Error during ckpClose. %s",
                  tiErrorText());
    kvoReportError(message);
}

// Writes every record, then closes the handle; a failure frees the handle
// without closing it. 1 when the whole setup reached the stream.
int writeEntries(const ckpSetup* setup, ckpInfo* handle) {
    int ok = ckpSetupWriteHeader(handle);
    const auto* entries = static_cast<const ckpSetupEntry*>(setup->entries->first);
    for (int i = 0; ok && i < setup->entries->count; ++i) {
        ok = ckpSetupWriteEntry(&entries[i], handle);
    }
    if (!ok) {
        tiFreeInfo(handle);
        return 0;
    }
    if (ckpClose(handle) != 0) {
        reportCloseFailure();
        return 0;
    }
    return 1;
}

// The records go to a replacement of the file, published only when every
// one of them was written: a failed save leaves the file as it was.
int writeToFile(const ckpSetup* setup, const char* path) {
    int errnum = 0;
    kvoReplacement* replacement = kvoReplaceBegin(path, 0, &errnum);
    ckpInfo* handle = nullptr;
    if (replacement == nullptr) {
        tiSetSysErrorOf(path, errnum);
    } else {
        handle = ckpxOpenStream(kvoReplaceStream(replacement), path, "W");
    }
    if (handle == nullptr) {
        kvoReplaceAbort(replacement);
        kvoReportError("Error (ckpSetupWriteSetup): couldn't open checkpoint file for write.");
        return 0;
    }
    if (!writeEntries(setup, handle)) {
        kvoReplaceAbort(replacement);
        return 0;
    }
    errnum = kvoReplaceCommit(replacement);
    if (errnum != 0) {
        tiSetSysError(errnum);
        reportCloseFailure();
        return 0;
    }
    return 1;
}

// The save holds the lock of the target's directory, which the ckp command
// holds for a whole edit, so that writers of one setup take turns; the
// file itself is replaced in one step when it is complete.
int ckpSetupWriteSetup(const ckpSetup* setup, const char* target) {
    if (std::strcmp(target, "-") == 0) {
        ckpSetupDump(setup);
        return 1;
    }
    int errnum = 0;
    char* lockPath = nullptr;
    kvoFileLock* lock = kvoLockFileNamed(target, &errnum, &lockPath);
    if (lock == nullptr) {
        char message[1024];
        std::snprintf(message, sizeof message,
                      "Error (ckpSetupWriteSetup): couldn't lock %s for write: lock file %s: %s",
                      target, lockPath != nullptr ? lockPath : "(none)", kvoStrError(errnum));
        kvoFree(lockPath);
        kvoReportError(message);
        return 0;
    }
    kvoFree(lockPath);
    int ok = writeToFile(setup, target);
    kvoUnlockFile(lock);
    return ok;
}

// Builds the directories of a new target; the path is taken whole, without a
// fixed-size buffer, and cut at its last canonical separator.
int buildTargetDirs(const char* target) {
    char* dir = kvoCopyString(target);
    if (dir == nullptr) {
        return 0;
    }
    char* last = std::strrchr(dir, kvoDirSep());
    int ok = 1;
    if (last != nullptr && last != dir) {
        *last = '\0';
        ok = kvoBuildDirPath(dir);
    }
    kvoFree(dir);
    return ok;
}
} // namespace

extern "C" {

int ckpSetupLoad(const char* name) {
    return ckpSetupLoadGroup(name, "kvosetup");
}

int ckpSetupLoadGroup(const char* name, const char* group) {
    if (ckpSetupRegistryTable(1) == nullptr || name == nullptr || name[0] == '\0') {
        return 0;
    }
    if (ckpSetupFind(name) != nullptr) {
        return 1;
    }
    // The path found is taken whole, whatever its length.
    char* path = kvoFileExists(name)
                     ? kvoCopyString(name)
                     : kvoSearchGroupPath(name, group != nullptr ? group : "kvosetup");
    if (path == nullptr) {
        return 0;
    }
    ckpSetup* setup = ckpSetupNew();
    if (setup == nullptr) {
        kvoFree(path);
        return 0;
    }
    setup->loadPath = path;
    setup->name = kvoCopyString(name);
    if (setup->loadPath == nullptr || setup->name == nullptr || !ckpSetupReadSetup(setup)) {
        ckpSetupFree(setup);
        return 0;
    }
    return ckpSetupRegister(setup);
}

int ckpSetupSave(const char* name, const char* path) {
    char* given = path != nullptr && path[0] != '\0' ? kvoCopyString(path) : nullptr;
    if (path != nullptr && path[0] != '\0' && given == nullptr) {
        return 0;
    }
    kvoCanonicalizeDirSep(given);
    ckpSetup* setup = nullptr;
    if (ckpSetupRegistryTable(1) != nullptr && name != nullptr && name[0] != '\0') {
        setup = ckpSetupFind(name);
    }
    int ok = 0;
    if (setup == nullptr) {
        ok = 0;
    } else if (given == nullptr) {
        ok = ckpSetupWriteSetup(setup, setup->loadPath);
    } else if (std::strcmp(given, "-") == 0) {
        ok = ckpSetupWriteSetup(setup, "-");
    } else {
        char* target = kvoAbsolutePath(given);
        ok = target != nullptr && buildTargetDirs(target) && ckpSetupWriteSetup(setup, target);
        kvoFree(target);
    }
    kvoFree(given);
    return ok;
}
}
