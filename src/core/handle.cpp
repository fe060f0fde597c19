// Making and freeing handles, files and lines, and ending a handle's property
// generators.
#include "core/handle.hpp"

#include <cstring>
#include <new>

#include "core/error.hpp"
#include "core/list.hpp"
#include "core/lookup.hpp"
#include "core/memory.hpp"
#include "core/pool.hpp"
#include "core/prop_index.hpp"
#include "core/props.hpp"

int tiIsCallerStream(const ckpInfo* info, const std::FILE* stream) {
    return info != nullptr && stream != nullptr && stream == info->opened.callerStream;
}

const char* tiFileShownName(const ckpFile* file) {
    if (file == nullptr) {
        return "file";
    }
    if (file->name != nullptr && file->name[0] != '\0') {
        return file->name;
    }
    if (file->stream == stdin) {
        return "stdin";
    }
    if (file->stream == stdout) {
        return "stdout";
    }
    if (file->stream == stderr) {
        return "stderr";
    }
    return "file";
}

namespace {
// A line block with room for a text of room bytes (zeroed), or null.
ckpLine* takeLine(ckpInfo* info, std::size_t room) {
    int sizeClass = -1;
    void* block = tiTakeBlock(info, sizeof(ckpLine) + room, &sizeClass);
    if (block == nullptr) {
        return nullptr;
    }
    auto* line = new (block) ckpLine{};
    line->text = reinterpret_cast<char*>(line + 1);
    line->textRoom = room;
    line->sizeClass = sizeClass;
    std::memset(line->text, 0, room);
    return line;
}
} // namespace

ckpLine* tiNewLine(ckpFile* file) {
    ckpLine* line = takeLine(file != nullptr ? file->info : nullptr, ckpLineSize);
    if (line == nullptr) {
        tiSetError("ckpLine allocation failed");
        return nullptr;
    }
    if (file != nullptr) {
        line->file = file;
        if (file->lastLine != nullptr) {
            line->seq = file->lastLine->seq + 1;
            file->lastLine->next = line;
        } else {
            file->firstLine = line;
        }
        file->lastLine = line;
    }
    return line;
}

int tiFreeLine(ckpLine* line) {
    if (line == nullptr) {
        return 0;
    }
    while (line->firstProp != nullptr) {
        tiFreeProp(line->firstProp);
    }
    ckpFile* file = line->file;
    if (file != nullptr) {
        tiUnlink(file->firstLine, file->lastLine, line);
    }
    tiGiveBlock(file != nullptr ? file->info : nullptr, line, line->sizeClass);
    return 0;
}

ckpFile* tiNewFile(ckpInfo* info, const char* name, std::uint16_t node, std::FILE* stream) {
    auto* file = tiAllocZeroed<ckpFile>();
    char* nameCopy = tiStrDup(name);
    // A stream that is read takes its input through a buffer of its own.
    bool reading = info != nullptr && info->opened.mode != nullptr && info->opened.mode[0] == 'r';
    char* input = reading ? static_cast<char*>(tiAlloc(ckpInputSize)) : nullptr;
    if (file == nullptr || (name != nullptr && nameCopy == nullptr) ||
        (reading && input == nullptr)) {
        tiFree(file);
        tiFree(nameCopy);
        tiFree(input);
        tiSetError("ckpFile allocation failed");
        return nullptr;
    }
    file->info = info;
    file->node = node;
    file->name = nameCopy;
    file->inBuffer = input;
    file->syntax = ckpSyntaxUnknown;
    file->stream = stream;
    file->startOffset = -1;
    tStreamId(stream, &file->id);
    if (info != nullptr) {
        file->prev = info->files.top;
        info->files.top = file;
    }
    return file;
}

namespace {
// A stream that the caller handed over stays open: the caller closes it.
void closeFileStream(ckpFile* file, const char* mode) {
    if (file->stream == nullptr || tiIsStdStream(file->stream) ||
        tiIsCallerStream(file->info, file->stream)) {
        file->stream = nullptr;
        return;
    }
    tCloseByMode(file->stream, mode);
    file->stream = nullptr;
}
} // namespace

ckpFile* tiFreeFile(ckpFile* file, const char* mode) {
    if (file == nullptr) {
        return nullptr;
    }
    ckpInfo* info = file->info;
    if (info != nullptr) {
        tiEndGenerators(info);
        if (info->files.top == file) {
            info->files.top = file->prev != nullptr ? file->prev : file->next;
        }
        // The scanner and the append position must not point into freed lines.
        if (info->read.line != nullptr && info->read.line->file == file) {
            info->read.line = nullptr;
            info->read.pos = nullptr;
        }
        if (info->write.line != nullptr && info->write.line->file == file) {
            info->write.line = nullptr;
            info->write.pos = nullptr;
        }
    }
    while (file->firstLine != nullptr) {
        tiFreeLine(file->firstLine);
    }
    tiPropIndexForget(info, file);
    tiArenaFree(&file->propArena);
    tiArenaFree(&file->lineArena);
    if (file->prev != nullptr) {
        file->prev->next = file->next;
    }
    if (file->next != nullptr) {
        file->next->prev = file->prev;
    }
    tiFree(file->name);
    tiFree(file->inBuffer);
    tiFree(file->replay);
    closeFileStream(file, mode);
    tiFree(file->streamBuffer); // the stream wrote from it until it was closed
    tiFree(file);
    return nullptr;
}

ckpInfo* tiNewInfo() {
    auto* info = tiAllocZeroed<ckpInfo>();
    if (info == nullptr) {
        tiSetError("ckpInfo allocation failed");
    }
    return info;
}

int tiFreeInfo(ckpInfo* info) {
    if (info == nullptr) {
        return 0;
    }
    tiFreeGenerators(info);
    while (info->files.top != nullptr) {
        tiFreeFile(info->files.top, info->opened.mode);
    }
    tiFree(info->opened.mode);
    tiFree(info->scan.name);
    tiFree(info->record.syntaxMsg);
    tiFree(info->record.configPath);
    tiFree(info->record.subDir);
    tiFree(info->record.objPath);
    tiPropIndexFree(info);
    tiFreePool(info);
    tiFree(info);
    return 0;
}

namespace {
constexpr int keptGenerators = 64;
} // namespace

void tiEndGenerators(ckpInfo* info) {
    // The cursor array is kept for the next record's walks unless a caller
    // started very many.
    if (info->walks.room > keptGenerators) {
        tiFreeGenerators(info);
    }
    info->walks.count = 0;
}

void tiFreeGenerators(ckpInfo* info) {
    info->walks.cursors = static_cast<ckpProp**>(tiFree(info->walks.cursors));
    info->walks.room = 0;
    info->walks.count = 0;
}
