// Finding a checkpoint file by name (or name.Ckpt), opening and closing its
// stream, and telling streams apart.
#include "core/lookup.hpp"

#include <cerrno>
#include <cstring>

#include "ckp/kvo.h"
#include "core/error.hpp"

namespace {
// Buffers of the lookup, one set per thread: a pointer handed out stays
// valid until the thread's next call of the same operation.
thread_local char pathBuf[ckpPathSize];
thread_local char suffixBuf[ckpPathSize];
const char* const defaultSuffix = "Ckpt";

bool isDirectory(const char* path) {
    return kvoIsDirectory(path) != 0;
}

// Opens path; a directory is refused as the runtime refuses it on Windows, so
// that reading never starts on something that is not a file.
std::FILE* openStream(const char* path, const char* mode) {
    if (isDirectory(path)) {
        errno = EISDIR;
        return nullptr;
    }
    return std::fopen(path, mode);
}

std::FILE* openFailed(const char* name) {
    tiSetSysErrorOf(name, errno);
    return nullptr;
}

// A file opened for writing is created or truncated and written in place,
// so that it exists from now on and a flush makes its records visible.
std::FILE* openForWrite(const char* name, const char* mode, char** foundOut,
                        std::uint16_t* nodeOut) {
    std::FILE* stream = openStream(name, mode);
    if (stream == nullptr) {
        return openFailed(name);
    }
    if (tPathExists(pathBuf, nodeOut)) {
        *foundOut = pathBuf;
        return stream;
    }
    tiSetErrorf("%s: file not found", name);
    if (!tClose(stream)) {
        tiSetErrorf("%s: %s", name, ckpGetError());
    }
    return nullptr;
}

std::FILE* openExisting(const char* name, const char* mode, char** foundOut,
                        std::uint16_t* nodeOut) {
    if (tPathExists(name, nodeOut)) {
        std::FILE* stream = openStream(name, mode);
        if (stream == nullptr) {
            return openFailed(name);
        }
        *foundOut = pathBuf;
        return stream;
    }
    if (tPathExists(suffixBuf, nodeOut)) {
        std::FILE* stream = openStream(suffixBuf, mode);
        if (stream == nullptr) {
            return openFailed(name);
        }
        std::memcpy(pathBuf, suffixBuf, std::strlen(suffixBuf) + 1);
        *foundOut = pathBuf;
        return stream;
    }
    tiSetErrorf("%s: file not found", name);
    return nullptr;
}
} // namespace

int tiIsStdStream(const std::FILE* stream) {
    return stream != nullptr && (stream == stdin || stream == stdout || stream == stderr);
}

int tClose(std::FILE* stream) {
    int ok = 1;
    if (std::fflush(stream) != 0) {
        tiSetSysError(errno);
        ok = 0;
    }
    if (std::fclose(stream) != 0) {
        tiSetSysError(errno);
        return 0;
    }
    return ok;
}

int tCloseByMode(std::FILE* stream, const char* mode) {
    if (mode == nullptr || mode[0] != 'r') {
        return tClose(stream);
    }
    if (std::fclose(stream) != 0) {
        tiSetSysError(errno);
        return 0;
    }
    return 1;
}

char* tAddSuffix(const char* base, const char* suffix) {
    bool hasBase = base != nullptr && base[0] != '\0';
    bool hasSuffix = suffix != nullptr && suffix[0] != '\0';
    if (hasBase && hasSuffix) {
        std::snprintf(suffixBuf, sizeof suffixBuf, "%s.%s", base, suffix);
    } else if (hasBase) {
        std::snprintf(suffixBuf, sizeof suffixBuf, "%s", base);
    } else if (hasSuffix) {
        std::snprintf(suffixBuf, sizeof suffixBuf, ".%s", suffix);
    } else {
        suffixBuf[0] = '\0';
    }
    return suffixBuf;
}

int tPathExists(const char* path, std::uint16_t* nodeOut) {
    if (nodeOut == nullptr) {
        tiSetError("illegal argument in tPathExists");
        return 0;
    }
    *nodeOut = 0;
    unsigned long long index = 0;
    if (path != nullptr && kvoPathIndex(path, &index)) {
        *nodeOut = static_cast<std::uint16_t>(index & 0xFFFFu);
        return 1;
    }
    tiSetErrorf("%s: file not found", path != nullptr ? path : "");
    return 0;
}

std::FILE* tOpen(const char* name, const char* mode, char** foundOut, std::uint16_t* nodeOut) {
    if (name == nullptr || name[0] == '\0') {
        tiSetError("no file name in tOpen");
        return nullptr;
    }
    // The suffixed name must fit the path buffer too, so that the path opened
    // is never cut.
    if (std::strlen(name) + std::strlen(defaultSuffix) + 2 > sizeof pathBuf) {
        tiSetError("file name too long in tOpen");
        return nullptr;
    }
    std::memcpy(pathBuf, name, std::strlen(name) + 1);
    tAddSuffix(name, defaultSuffix);
    if (nodeOut == nullptr) {
        tiSetError("illegal node argument in tOpen");
        return nullptr;
    }
    *nodeOut = 0;
    if (foundOut == nullptr) {
        tiSetError("illegal name argument in tOpen");
        return nullptr;
    }
    if (mode != nullptr && mode[0] == 'w') {
        return openForWrite(name, mode, foundOut, nodeOut);
    }
    return openExisting(name, mode != nullptr ? mode : "r", foundOut, nodeOut);
}

std::uint16_t tStreamNode(std::FILE* stream) {
    unsigned long long device = 0;
    unsigned long long index = 0;
    if (stream == nullptr || tiIsStdStream(stream) || !kvoStreamIdentity(stream, &device, &index)) {
        return 0;
    }
    return static_cast<std::uint16_t>(index & 0xFFFFu);
}

void tStreamId(std::FILE* stream, ckpFileId* out) {
    out->device = 0;
    out->index = 0;
    out->valid = 0;
    if (stream == nullptr || tiIsStdStream(stream)) {
        return;
    }
    unsigned long long device = 0;
    unsigned long long index = 0;
    if (kvoStreamIdentity(stream, &device, &index)) {
        out->device = device;
        out->index = index;
        out->valid = 1;
    }
}

int tSameFileAs(const ckpFileId* id, std::uint16_t node, const ckpFile* file) {
    if (id == nullptr || file == nullptr) {
        return 0;
    }
    if (id->valid && file->id.valid) {
        return id->device == file->id.device && id->index == file->id.index ? 1 : 0;
    }
    // Without a full identity on either side the 16-bit node is all there is;
    // node 0 (a standard stream) matches nothing.
    return node != 0 && node == file->node ? 1 : 0;
}

int tSameFile(const ckpFile* a, const ckpFile* b) {
    if (a == nullptr) {
        return 0;
    }
    return tSameFileAs(&a->id, a->node, b);
}
