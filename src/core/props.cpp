// Properties of the current record and the two walks over them.
#include <cstring>
#include <new>

#include "core/error.hpp"
#include "core/list.hpp"
#include "core/memory.hpp"
#include "core/name_hash.hpp"
#include "core/pool.hpp"
#include "core/prop_index.hpp"
#include "core/props.hpp"

ckpProp* tiFindProp(ckpInfo* info, const char* name) {
    return name != nullptr ? tiFindPropHashed(info, name, nameHash(name)) : nullptr;
}

ckpProp* tiFindPropHashed(ckpInfo* info, const char* name, std::uint64_t hash) {
    if (info == nullptr || info->files.top == nullptr || info->files.top->firstLine == nullptr) {
        return nullptr;
    }
    return tiPropIndexFindHashed(info, name, hash);
}

// Asked for every property read: the lookup goes through the record's name
// index, so a record of many properties stays linear.
void tiWarnDupProp(ckpLine* line, const char* name) {
    if (name != nullptr) {
        tiWarnDupPropHashed(line, name, nameHash(name));
    }
}

void tiWarnDupPropHashed(ckpLine* line, const char* name, std::uint64_t hash) {
    if (line == nullptr || line->file == nullptr || name == nullptr) {
        return;
    }
    if (tiFindPropHashed(line->file->info, name, hash) != nullptr) {
        tiSetErrorf("duplicate \"%s\" property", name);
    }
}

ckpProp* tiAddProp(ckpLine* line, int checkDup, const char* name, const char* value) {
    tiPropText text{name, name != nullptr ? std::strlen(name) : 0, value,
                    value != nullptr ? std::strlen(value) : 0,
                    name != nullptr ? nameHash(name) : 0};
    return tiAddPropText(line, checkDup, text);
}

namespace {
// A property of a record line lives in its file's arena, with its strings
// after it, and goes with the record; one without a file has a block of
// its own.
char* takePropBlock(ckpLine* line, std::size_t size, int* sizeClass) {
    if (line != nullptr && line->file != nullptr) {
        *sizeClass = ckpInArena;
        return static_cast<char*>(tiArenaTakeFast(&line->file->propArena, size));
    }
    return static_cast<char*>(tiTakeBlock(nullptr, size, sizeClass));
}
} // namespace

ckpProp* tiAddPropText(ckpLine* line, int checkDup, const tiPropText& text) {
    std::size_t nameSize = text.name != nullptr ? text.nameLength + 1 : 0;
    std::size_t valueSize = text.value != nullptr ? text.valueLength + 1 : 0;
    int sizeClass = -1;
    char* block = takePropBlock(line, sizeof(ckpProp) + nameSize + valueSize, &sizeClass);
    if (block == nullptr) {
        tiSetError("ckpProp allocation failed");
        return nullptr;
    }
    auto* prop = new (block) ckpProp{};
    prop->sizeClass = sizeClass;
    prop->hash = text.hash;
    if (text.plain) {
        prop->plain = 1;
        prop->nameLength = static_cast<std::uint32_t>(text.nameLength);
        prop->valueLength = static_cast<std::uint32_t>(text.valueLength);
    }
    char* strings = block + sizeof(ckpProp);
    if (text.name != nullptr) {
        prop->name = static_cast<char*>(std::memcpy(strings, text.name, text.nameLength));
        prop->name[text.nameLength] = '\0';
    }
    if (text.value != nullptr) {
        prop->value =
            static_cast<char*>(std::memcpy(strings + nameSize, text.value, text.valueLength));
        prop->value[text.valueLength] = '\0';
    }
    if (line == nullptr) {
        return prop;
    }
    if (checkDup && prop->name != nullptr) {
        tiWarnDupPropHashed(line, prop->name, text.hash);
    }
    tiAppendProp(line, prop);
    return prop;
}

ckpProp* tiNewOwnProp(std::size_t stringBytes) {
    int sizeClass = -1;
    void* block = tiTakeBlock(nullptr, sizeof(ckpProp) + stringBytes, &sizeClass);
    if (block == nullptr) {
        return nullptr;
    }
    auto* prop = new (block) ckpProp{};
    prop->sizeClass = sizeClass;
    return prop;
}

namespace {
// Generators that would hand out prop next move on to the following one.
void moveGeneratorsPast(ckpProp* prop) {
    if (prop->line == nullptr || prop->line->file == nullptr) {
        return;
    }
    ckpInfo* info = prop->line->file->info;
    if (info == nullptr || info->walks.cursors == nullptr || info->walks.count < 1) {
        return;
    }
    for (int i = 1; i <= info->walks.count; ++i) {
        if (info->walks.cursors[i] == prop) {
            info->walks.cursors[i] = tiNextProp(prop);
        }
    }
}

} // namespace

int tiFreeProp(ckpProp* prop) {
    if (prop == nullptr) {
        return 0;
    }
    moveGeneratorsPast(prop);
    if (prop->line != nullptr && prop->line->file != nullptr) {
        tiPropIndexForget(prop->line->file->info, prop->line->file);
    }
    ckpInfo* info =
        prop->line != nullptr && prop->line->file != nullptr ? prop->line->file->info : nullptr;
    if (prop->line != nullptr) {
        tiUnlink(prop->line->firstProp, prop->line->lastProp, prop);
    }
    tiGiveBlock(info, prop, prop->sizeClass); // the strings live in the same block
    return 0;
}

namespace {
// The properties of a record's lines are all in the file's arena: they go
// at once, with no walk over them. The lines' lists are emptied, all or
// only the first's when the others go next.
void clearProps(ckpFile* file, bool allLines) {
    ckpInfo* info = file->info;
    if (info != nullptr && info->walks.cursors != nullptr) {
        for (int i = 1; i <= info->walks.count; ++i) {
            ckpProp* next = info->walks.cursors[i];
            if (next != nullptr && next->line != nullptr && next->line->file == file) {
                info->walks.cursors[i] = nullptr;
            }
        }
    }
    tiPropIndexForget(info, file);
    for (ckpLine* line = file->firstLine; line != nullptr; line = line->next) {
        line->firstProp = nullptr;
        line->lastProp = nullptr;
        if (!allLines) {
            break;
        }
    }
    file->nameBits = 0;
    tiArenaReset(&file->propArena);
}
} // namespace

void tiClearProps(ckpFile* file) {
    clearProps(file, true);
}

void tiClearPropsOfFirstLine(ckpFile* file) {
    clearProps(file, false);
}
