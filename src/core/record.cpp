// The record buffer: starting, filling, popping and copying the current
// record of a handle's top file.
#include "core/record.hpp"

#include <cstring>

#include "core/error.hpp"
#include "core/handle.hpp"
#include "core/memory.hpp"
#include "core/pool.hpp"
#include "core/props.hpp"

namespace {
// The lines after the first, their properties gone already, in one pass:
// the continuation lines of a record all go back to the line arena at once.
// The line that stays takes over what the record's last line tells of the
// input read (its physical line number, a NUL in it), as the last line
// itself once stayed; a continuation line cut down to its text never
// stayed, and a fresh line, knowing nothing, took its place.
void freeLinesAfterFirst(ckpFile* file) {
    ckpLine* last = file->lastLine;
    if (last != file->firstLine) {
        bool cut = last->textRoom < static_cast<std::size_t>(ckpLineSize);
        file->firstLine->physLine = cut ? 0 : last->physLine;
        file->firstLine->hasNul = cut ? 0 : last->hasNul;
    }
    ckpLine* line = file->firstLine->next;
    file->firstLine->next = nullptr;
    file->lastLine = file->firstLine;
    while (line != nullptr) {
        ckpLine* next = line->next;
        tiGiveBlock(file->info, line, line->sizeClass);
        line = next;
    }
    tiArenaReset(&file->lineArena);
}

void pointCursorsAt(ckpInfo* info, ckpLine* line) {
    info->read.line = line;
    info->read.pos = line->text;
    info->write.line = line;
    info->write.pos = line->text;
}
} // namespace

int tiNewRecord(ckpInfo* info, const char* who, int number, ckpFile** fileOut, ckpLine** lineOut) {
    ckpFile* file = nullptr;
    if (!tiCheckFile(info, tiGuardQuiet, who, &file)) {
        return 0;
    }
    if (fileOut != nullptr) {
        *fileOut = file;
    }
    // The line counter lives on the first line, the one that stays, so it
    // is never lost after a record of several lines.
    std::int64_t count = file->firstLine != nullptr ? file->firstLine->lineNumber : 0;
    // The properties go first, all at once, before the lines they stand on.
    tiClearPropsOfFirstLine(file);
    if (file->firstLine == nullptr) {
        if (tiNewLine(file) == nullptr) {
            return 0;
        }
    }
    freeLinesAfterFirst(file);
    // A line cut down to its text cannot be read into again.
    if (file->firstLine->textRoom < static_cast<std::size_t>(ckpLineSize)) {
        tiFreeLine(file->firstLine);
        if (tiNewLine(file) == nullptr) {
            return 0;
        }
    }
    ckpLine* line = file->firstLine;
    line->lineNumber = number != 0 ? count + 1 : count;
    line->headEnd = nullptr;
    line->continued = 0;
    line->loaded = 0;
    if (lineOut != nullptr) {
        *lineOut = line;
    }
    tiEndGenerators(info);
    pointCursorsAt(info, line);
    line->text[0] = '\0';
    return 1;
}

void tiAppendText(ckpInfo* info, const char* text) {
    if (info == nullptr || info->write.line == nullptr || info->write.pos == nullptr) {
        return;
    }
    if (text == nullptr) {
        text = "";
    }
    char* end = info->write.line->text + info->write.line->textRoom - 1;
    if (info->write.pos < info->write.line->text || info->write.pos > end) {
        return;
    }
    std::size_t room = static_cast<std::size_t>(end - info->write.pos);
    std::size_t n = std::strlen(text);
    if (n > room) {
        n = room; // a text longer than the line is cut, never written past it
    }
    std::memcpy(info->write.pos, text, n);
    info->write.pos += n;
    *info->write.pos = '\0';
}

int tiPopFile(ckpInfo* info, const char* who, int number, ckpFile** fileOut, ckpLine** lineOut) {
    if (info != nullptr && info->files.top != nullptr && info->files.top->prev != nullptr) {
        tiFreeFile(info->files.top, info->opened.mode);
    }
    return tiNewRecord(info, who, number, fileOut, lineOut);
}

namespace {
int copyCheck(ckpInfo* src, ckpInfo* dst) {
    const char* fault = nullptr;
    if (src == nullptr) {
        fault = "no source ckpInfo in tiCopy";
    } else if (src->files.top == nullptr) {
        fault = "no source ckpFile in tiCopy";
    } else if (dst == nullptr) {
        fault = "no destination ckpInfo in tiCopy";
    } else if (dst->files.top == nullptr) {
        fault = "no destination ckpFile in tiCopy";
    } else if (src == dst) {
        // The copy frees the destination's lines before reading the source's.
        fault = "source and destination are the same ckpInfo in tiCopy";
    }
    if (fault != nullptr) {
        tiSetError(fault);
        return 0;
    }
    return 1;
}

int copyLine(const ckpLine* from, ckpFile* to, std::int64_t number) {
    ckpLine* line = tiNewLine(to);
    if (line == nullptr) {
        return 0;
    }
    line->lineNumber = number;
    line->loaded = from->loaded;
    line->continued = from->continued;
    line->physLine = from->physLine;
    std::size_t room = from->textRoom < line->textRoom ? from->textRoom : line->textRoom;
    std::memcpy(line->text, from->text, room);
    line->text[room - 1] = '\0';
    if (from->headEnd != nullptr && from->headEnd >= from->text &&
        from->headEnd < from->text + room) {
        line->headEnd = line->text + (from->headEnd - from->text);
    }
    for (const ckpProp* prop = from->firstProp; prop != nullptr; prop = prop->next) {
        if (tiAddProp(line, tiNoDupCheck, prop->name, prop->value) == nullptr) {
            return 0;
        }
    }
    return 1;
}

// Every copied line keeps only its head text: the properties are carried by
// the property lists, so that writing the copy gives each property once. A
// head spread over continuation lines (a header whose "=" or version stands
// on a later line) keeps the whole text of the lines before its end; a line
// after the head carries only its properties. Without a head end (a record
// made by the writer, a comment) the first line keeps its whole text.
void cutToHeads(ckpFile* file) {
    ckpLine* headLine = nullptr;
    for (ckpLine* line = file->firstLine; line != nullptr && headLine == nullptr;
         line = line->next) {
        if (line->headEnd != nullptr) {
            headLine = line;
        }
    }
    bool inHead = headLine != nullptr;
    for (ckpLine* line = file->firstLine; line != nullptr; line = line->next) {
        if (line->headEnd != nullptr) {
            *line->headEnd = '\0';
        } else if (!inHead && line != file->firstLine) {
            line->text[0] = '\0';
        }
        if (line == headLine) {
            inHead = false;
        }
    }
}

int copyPaths(ckpInfo* src, ckpInfo* dst) {
    return tiReplaceStr(&dst->record.configPath, src->record.configPath) &&
           tiReplaceStr(&dst->record.subDir, src->record.subDir) &&
           tiReplaceStr(&dst->record.objPath, src->record.objPath);
}
} // namespace

int tiCopy(ckpInfo* src, ckpInfo* dst) {
    if (!copyCheck(src, dst)) {
        return 0;
    }
    ckpFile* to = dst->files.top;
    std::int64_t number = to->firstLine != nullptr ? to->firstLine->lineNumber : 1;
    // A copy replaces the whole record: its walks end and their cursor
    // array goes.
    tiFreeGenerators(dst);
    dst->read.line = nullptr;
    dst->read.pos = nullptr;
    dst->write.line = nullptr;
    dst->write.pos = nullptr;
    tiClearProps(to);
    while (to->firstLine != nullptr) {
        tiFreeLine(to->firstLine);
    }
    tiArenaReset(&to->lineArena);
    for (const ckpLine* from = src->files.top->firstLine; from != nullptr; from = from->next) {
        if (!copyLine(from, to, number++)) {
            return 0;
        }
    }
    cutToHeads(to);
    ckpLine* first = to->firstLine;
    dst->record.type = src->record.type;
    if (!copyPaths(src, dst)) {
        tiSetError("ckpXfer string allocation failed");
        return 0;
    }
    if (first != nullptr) {
        dst->read.line = first;
        dst->read.pos = first->text;
        dst->write.line = to->lastLine;
        dst->write.pos = to->lastLine->text + std::strlen(to->lastLine->text);
    }
    return 1;
}
