// Opening handles and pushing files on them: a file pushed on a reading
// handle starts with its header check.
#include "reader/open.hpp"

#include "ckp/ckpx.h"

#include "core/error.hpp"
#include "core/handle.hpp"
#include "core/lookup.hpp"
#include "core/memory.hpp"
#include "reader/header_check.hpp"
#include "support/platform.hpp"

namespace {
// The stream mode kept for the first character of the caller's mode string;
// null for any other character (only upper case is accepted).
const char* streamModeFor(char code) {
    switch (code) {
    case 'R':
        return "r";
    case 'W':
        return "w";
    case 'A':
        return "a";
    default:
        return nullptr;
    }
}

ckpInfo* openFailed(ckpInfo* info, const char* message) {
    if (message != nullptr) {
        tiSetError(message);
    }
    tiFreeInfo(info);
    return nullptr;
}

void closeUnpushed(const ckpInfo* info, std::FILE* stream) {
    if (stream != nullptr && !tiIsStdStream(stream) && !tiIsCallerStream(info, stream)) {
        std::fclose(stream);
    }
}

// The stream mode of a new handle, kept in info: null, with the message
// recorded, for a mode string that names no mode or one not allowed here.
const char* takeMode(ckpInfo* info, const char* opCodes, bool appendAllowed) {
    if (opCodes == nullptr || opCodes[0] == '\0') {
        tiSetError("empty opCodes");
        return nullptr;
    }
    const char* mode = streamModeFor(opCodes[0]);
    if (mode == nullptr || (mode[0] == 'a' && !appendAllowed)) {
        tiSetError("unknown access mode");
        return nullptr;
    }
    info->opened.mode = tiStrDup(mode);
    if (info->opened.mode == nullptr) {
        tiSetError("ckpInfo allocation failed");
    }
    return info->opened.mode;
}

// A file written by name gets its bytes in large blocks, one system call
// each, where the runtime's default buffer of a few KB would cost many.
constexpr std::size_t writeBlockSize = std::size_t{64} * 1024;

int bufferWrites(ckpFile* file) {
    file->streamBuffer = static_cast<char*>(tiAlloc(writeBlockSize));
    if (file->streamBuffer == nullptr) {
        tiSetError("ckpFile allocation failed");
        return 0;
    }
    if (std::setvbuf(file->stream, file->streamBuffer, _IOFBF, writeBlockSize) != 0) {
        file->streamBuffer = static_cast<char*>(tiFree(file->streamBuffer));
    }
    return 1;
}
} // namespace

int tiStart(ckpInfo* info) {
    ckpFile* file = info->files.top;
    char mode = info->opened.mode != nullptr ? info->opened.mode[0] : '\0';
    if (mode == 'r') {
        // Where the stream stands now is its start for this library: a
        // caller may have read the start of standard input itself.
        file->startOffset = file->stream != nullptr ? platform::tell(file->stream) : -1;
        int syntax = tiCheckHeader(info);
        if (syntax < 0) {
            return 0;
        }
        if (syntax == 0 || syntax == 1) {
            return 1;
        }
        tiSetError("unknown syntax version in tiStart");
        return 0;
    }
    if (mode == 'w') {
        file->syntax = 1;
    }
    return 1;
}

int tiPushFile(ckpInfo* info, const char* name, std::uint16_t node, std::FILE* stream) {
    ckpFile* file = tiNewFile(info, name, node, stream);
    if (file == nullptr) {
        closeUnpushed(info, stream);
        return 0;
    }
    ckpLine* line = tiNewLine(file);
    int ok = 0;
    if (line != nullptr) {
        info->read.line = line;
        info->read.pos = line->text;
        char mode = info->opened.mode != nullptr ? info->opened.mode[0] : '\0';
        if (mode == 'w' || mode == 'a') {
            info->write.line = line;
            info->write.pos = line->text;
        }
        ok = tiStart(info);
    }
    if (!ok) {
        // The header check may have left its action for a file that is not
        // read after all: the includer reads on after exactly one error.
        info->oneShot.armed = tiActionOff;
        info->oneShot.action = ckpActionNone;
    }
    if (!ok && info->files.top == file) {
        tiFreeFile(file, info->opened.mode);
        if (info->files.top != nullptr && info->files.top->firstLine != nullptr) {
            info->read.line = info->files.top->firstLine;
            info->read.pos = info->read.line->text;
        }
    }
    return ok;
}

extern "C" {

ckpInfo* ckpOpen(const char* name, const char* opCodes) {
    ckpInfo* info = tiNewInfo();
    if (info == nullptr) {
        return nullptr;
    }
    const char* mode = takeMode(info, opCodes, true);
    if (mode == nullptr) {
        return openFailed(info, nullptr);
    }
    std::FILE* stream = nullptr;
    const char* fileName = nullptr;
    std::uint16_t node = 0;
    if (name != nullptr && name[0] != '\0') {
        char* found = nullptr;
        stream = tOpen(name, mode, &found, &node);
        if (stream == nullptr) {
            return openFailed(info, nullptr);
        }
        fileName = found;
    } else if (mode[0] == 'r') {
        stream = stdin;
    } else if (mode[0] == 'w') {
        stream = stdout;
    } else {
        return openFailed(info, "no file name given for append mode");
    }
    if (!tiPushFile(info, fileName, node, stream)) {
        return openFailed(info, nullptr);
    }
    if (fileName != nullptr && mode[0] != 'r' && !bufferWrites(info->files.top)) {
        return openFailed(info, nullptr);
    }
    return info;
}

ckpInfo* ckpxOpenStream(FILE* stream, const char* name, const char* opCodes) {
    ckpInfo* info = tiNewInfo();
    if (info == nullptr) {
        return nullptr;
    }
    if (takeMode(info, opCodes, false) == nullptr) {
        return openFailed(info, nullptr);
    }
    if (stream == nullptr) {
        return openFailed(info, "no stream in ckpxOpenStream");
    }
    info->opened.callerStream = stream;
    const char* fileName = name != nullptr && name[0] != '\0' ? name : nullptr;
    if (!tiPushFile(info, fileName, tStreamNode(stream), stream)) {
        return openFailed(info, nullptr);
    }
    return info;
}

int ckpGetSyntax(ckpInfo* info, const char* name, int* syntaxOut) {
    int dummy = 0;
    int* out = syntaxOut != nullptr ? syntaxOut : &dummy;
    if (info != nullptr) {
        if (info->files.top == nullptr) {
            tiSetError("no ckpFile in ckpGetSyntax");
            return 0;
        }
        int syntax = info->files.top->syntax;
        *out = syntax;
        if (syntax >= 0) {
            return 1;
        }
        tiSetError(syntax == ckpSyntaxUnknown      ? "unknown syntax version"
                   : syntax == ckpSyntaxBadVersion ? "error in syntax version property"
                                                   : "mysterious syntax version");
        return 0;
    }
    if (name != nullptr && name[0] != '\0') {
        ckpInfo* reader = ckpOpen(name, "R");
        if (reader == nullptr) {
            *out = ckpSyntaxUnknown;
            return 0;
        }
        ckpFile* mainFile = reader->files.top;
        while (mainFile->prev != nullptr) {
            mainFile = mainFile->prev;
        }
        int syntax = mainFile->syntax;
        *out = syntax;
        ckpClose(reader);
        return syntax >= 0 ? 1 : 0;
    }
    *out = 1;
    return 1;
}
}
